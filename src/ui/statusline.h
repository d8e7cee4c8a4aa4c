#pragma once

#include <QObject>
#include <QString>

#include "ui/windowcontext.h"

class QLabel;
class QMainWindow;

namespace vkt {

// The line under the main window: the open file's path, the number of rows shown and the column
// they are sorted by, and for a few seconds what a command has just done ("Файл сохранён.").
class StatusLine : public QObject {
  Q_OBJECT
 public:
  StatusLine(QMainWindow& window, const WindowContext& context);

  // Reads the file, rows and sort from the window again.
  void refresh();
  // Shows what a command did, for a few seconds.
  void tell(const QString& text);

  QString file_text() const;
  QString rows_text() const;
  QString sort_text() const;

 private:
  QMainWindow& window_;
  WindowContext context_;
  QLabel* file_ = nullptr;
  QLabel* rows_ = nullptr;
  QLabel* sort_ = nullptr;
};

}  // namespace vkt
