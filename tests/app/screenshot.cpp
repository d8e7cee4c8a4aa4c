// vkt-screenshot FILE.png: saves the whole screen of the current X display.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vkt-screenshot FILE.png\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
  return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
