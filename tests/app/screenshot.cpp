// vkt-screenshot FILE.png [X Y W H]: saves the screen of the current X display, or a part of it.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2 && argc != 6) {
    std::fprintf(stderr, "usage: vkt-screenshot FILE.png [X Y W H]\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  QPixmap shot;
  if (argc == 6) {
    shot = QGuiApplication::primaryScreen()->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]),
                                                        std::atoi(argv[4]), std::atoi(argv[5]));
  } else {
    shot = QGuiApplication::primaryScreen()->grabWindow(0);
  }
  return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
