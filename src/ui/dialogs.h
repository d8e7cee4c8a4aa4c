#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <optional>

class QWidget;
class QPrinter;

namespace vkt {

// Every modal interaction of the program goes through this interface: the Qt implementation
// shows real dialogs, tests script the answers and record what was asked.
class Dialogs {
 public:
  enum class Icon { None, Information, Warning, Error, Question };
  enum class Button { Ok, Yes, No, Cancel };

  struct FileRequest {
    QString caption;
    QString filter;          // "Базы данных|*.db": description and pattern, as the user sees them
    QString default_suffix;  // "db", without the point
    QString directory;       // where the dialog starts
    bool confirm_overwrite = false;  // save dialogs: ask before replacing an existing file
    int* chosen_filter = nullptr;    // save dialogs: receives which filter entry (from 0) was chosen
  };

  virtual ~Dialogs() = default;

  // A message box; returns the button pressed (the first button when there is only one).
  virtual Button message(QWidget* parent, const QString& caption, const QString& text, Icon icon,
                         const QList<Button>& buttons) = 0;
  // File dialogs; an empty text means cancelled.
  virtual QString open_file(QWidget* parent, const FileRequest& request) = 0;
  virtual QString save_file(QWidget* parent, const FileRequest& request) = 0;
  // The colour dialog; nothing when cancelled.
  virtual std::optional<QColor> color(QWidget* parent, const QColor& initial) = 0;
  // The print dialog on printer; false when cancelled.
  virtual bool print_setup(QWidget* parent, QPrinter* printer) = 0;

  // Shorthands for the program's usual boxes.
  void error(QWidget* parent, const QString& caption, const QString& text) {
    message(parent, caption, text, Icon::Error, {Button::Ok});
  }
  void information(QWidget* parent, const QString& caption, const QString& text) {
    message(parent, caption, text, Icon::Information, {Button::Ok});
  }
};

// Turns "Описание|*.ext" into the form Qt's file dialogs take ("Описание (*.ext)").
QString qt_file_filter(const QString& filter);

class QtDialogs : public Dialogs {
 public:
  Button message(QWidget* parent, const QString& caption, const QString& text, Icon icon,
                 const QList<Button>& buttons) override;
  QString open_file(QWidget* parent, const FileRequest& request) override;
  QString save_file(QWidget* parent, const FileRequest& request) override;
  std::optional<QColor> color(QWidget* parent, const QColor& initial) override;
  bool print_setup(QWidget* parent, QPrinter* printer) override;
};

}  // namespace vkt
