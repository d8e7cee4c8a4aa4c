#pragma once

#include <QDialog>

class QRadioButton;

namespace vkt {

// The measurement choice window (TForm7): which of the three drops to plot. It lives for the
// whole run, so the last choice is still checked the next time it opens.
class MeasurementChoiceWindow : public QDialog {
  Q_OBJECT
 public:
  explicit MeasurementChoiceWindow(QWidget* parent = nullptr);

  // The checked drop, 1 to 3.
  int drop() const;
  void set_drop(int drop);

  QRadioButton* radio_button(int drop) const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QRadioButton* buttons_[3] = {};
};

}  // namespace vkt
