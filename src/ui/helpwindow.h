#pragma once

#include <QDialog>

namespace vkt {

// The program's own help, shown when the named help file is not on this machine (there is no
// viewer for the old help format here).
class HelpWindow : public QDialog {
  Q_OBJECT
 public:
  explicit HelpWindow(QWidget* parent = nullptr);

  // The built-in help text (HTML).
  static QString contents();
};

}  // namespace vkt
