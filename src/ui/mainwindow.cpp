#include "ui/mainwindow.h"

namespace vkt {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName("TForm1");
}

}  // namespace vkt
