#include <QApplication>

#include "ui/mainwindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  vkt::MainWindow window;
  window.show();
  return app.exec();
}
