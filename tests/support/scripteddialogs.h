#pragma once

#include <QList>
#include <QString>
#include <deque>

#include "ui/dialogs.h"

namespace vkt::testing {

// Dialogs for tests: records every interaction and answers from prepared queues.
// A message box with no prepared answer returns its first button; a file dialog with none
// is cancelled.
class ScriptedDialogs : public Dialogs {
 public:
  struct Shown {
    QString kind;  // "message", "open", "save", "color", "print"
    QString caption;
    QString text;  // message text, or the file filter
    Icon icon = Icon::None;
    QList<Button> buttons;
    FileRequest file;
  };

  std::deque<Button> button_answers;
  std::deque<QString> file_answers;
  std::deque<int> filter_answers;  // the filter entry a save dialog's answer was chosen with (0)
  std::deque<std::optional<QColor>> color_answers;
  std::deque<bool> print_answers;
  QList<Shown> shown;

  Button message(QWidget* parent, const QString& caption, const QString& text, Icon icon,
                 const QList<Button>& buttons) override;
  QString open_file(QWidget* parent, const FileRequest& request) override;
  QString save_file(QWidget* parent, const FileRequest& request) override;
  std::optional<QColor> color(QWidget* parent, const QColor& initial) override;
  bool print_setup(QWidget* parent, QPrinter* printer) override;

  // The texts of all message boxes shown, in order.
  QStringList messages() const;
};

}  // namespace vkt::testing
