// open_window FILE.db [SORT_FIELD]: the main window opens a measurement file, paints its first
// screen (after a sort by a title click when a field is given) and quits; for timing the whole
// process and its peak memory from outside (bench/compare.sh). Runs offscreen.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "core/programstate.h"
#include "store/appsettings.h"
#include "ui/dialogs.h"
#include "ui/filecommands.h"
#include "ui/mainwindow.h"
#include "ui/measurementgrid.h"
#include "ui/measurementtabs.h"

namespace {

class NullDialogs : public vkt::Dialogs {
 public:
  Button message(QWidget*, const QString&, const QString&, Icon, const QList<Button>& b) override {
    return b.isEmpty() ? Button::Ok : b.front();
  }
  QString open_file(QWidget*, const FileRequest&) override { return {}; }
  QString save_file(QWidget*, const FileRequest&) override { return {}; }
  std::optional<QColor> color(QWidget*, const QColor&) override { return std::nullopt; }
  bool print_setup(QWidget*, QPrinter*) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: open_window FILE.db [SORT_FIELD]\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
  vkt::ProgramState state;
  NullDialogs dialogs;
  vkt::AppSettings settings;
  vkt::MainWindowServices s;
  s.state = &state;
  s.dialogs = &dialogs;
  s.settings = &settings;
  s.program_dir = dir.path();
  s.ports = {"/nonexistent"};
  auto window = std::make_unique<vkt::MainWindow>(s);
  window->resize(1280, 800);
  window->show();
  QApplication::processEvents();
  window->files().Open_DB(QString::fromLocal8Bit(argv[1]));
  vkt::MeasurementGrid* grid = window->tabs()->grid1();
  if (argc > 2) {
    emit grid->title_clicked(grid->column_of(argv[2]), false);
  }
  grid->viewport()->repaint();
  QApplication::processEvents();
  const int rows = grid->model() != nullptr ? grid->model()->rowCount() : 0;
  std::printf("rows shown %d\n", rows);
  window->files().Close_DB();
  window.reset();
  return rows > 0 ? 0 : 1;
}
