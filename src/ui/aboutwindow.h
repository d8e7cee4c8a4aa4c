#pragma once

#include <QDialog>

class QLabel;

namespace vkt {

// "О программе" (Tform6).
class AboutWindow : public QDialog {
  Q_OBJECT
 public:
  explicit AboutWindow(QWidget* parent = nullptr);

  // The version text shown after "Версия ": the version compiled into the program, or
  // "0.0.0.0" when it is missing or shorter than two characters.
  static QString version_text(const QString& compiled);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* version_label_;
};

}  // namespace vkt
