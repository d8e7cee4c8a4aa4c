// vkt-docs-pictures DIR: renders the README's pictures of the real windows (offscreen): the
// grid of a downloaded device A file, the grid of a device B file, and the graph of one drop
// with its crosshair and readouts. The measurements come from the instrument simulator.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "core/programstate.h"
#include "image/imagelayout.h"
#include "image/tableimport.h"
#include "sim/measurements.h"
#include "store/appsettings.h"
#include "store/dbf/table.h"
#include "store/measurement/measurementfile.h"
#include "ui/dialogs.h"
#include "ui/filecommands.h"
#include "ui/graphcurves.h"
#include "ui/graphwindow.h"
#include "ui/mainwindow.h"
#include "ui/measurementgrid.h"
#include "ui/measurementtabs.h"

namespace {

void save(QWidget& w, const QString& path) {
  w.grab().save(path);
  std::printf("%s\n", path.toLocal8Bit().constData());
}

// A device A file as "Создать" makes it: the simulator's records imported into a new table.
void write_device_a(const QString& file, vkt::ProgramState& state) {
  const auto records = vkt::sim::make_measurements(25, 11);
  const std::vector<std::uint8_t> image = vkt::image::build_image(records);
  std::copy(image.begin(), image.end(), state.mem_image.begin());
  state.image_length = image.size();
  vkt::dbf::Table t;
  vkt::measurement::create_measurement_file(t, file.toStdString());
  vkt::image::flash2lmf(t, state, vkt::image::ImportMode::kNewFile, ",");
}

void write_device_b(const QString& file) {
  vkt::dbf::Table t;
  vkt::measurement::create_measurement_file(t, file.toStdString());
  for (int i = 1; i <= 18; ++i) {
    t.append();
    t.set_double("N", i);
    t.set_text("DATE", "0" + std::to_string(1 + i % 9) + ".06.2011");
    t.set_text("TIME", "1" + std::to_string(i % 10) + ":2" + std::to_string(i % 6) + ":00");
    t.set_integer("DEV_TYPE", 1);
    t.set_double("SERIAL", 117);
    t.set_integer("NB_TYPE", 1);
    t.set_double("P", 10.5 + (i * 37 % 50) / 10.0);
    t.set_double("R", 1.2 + (i * 13 % 30) / 20.0);
    t.set_text("ZAV", i % 3 == 0 ? "2" : "базовая");
    t.set_text("COMMENT", i == 4 ? "стена, 2 этаж" : "");
    t.post();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vkt-docs-pictures DIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir work;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, work.path());

  vkt::ProgramState state;
  vkt::QtDialogs dialogs;
  vkt::AppSettings settings;
  vkt::MainWindowServices services;
  services.state = &state;
  services.dialogs = &dialogs;
  services.settings = &settings;
  services.program_dir = work.path();
  services.ports = {QStringLiteral("/nonexistent")};
  vkt::MainWindow window(services);
  window.setWindowState(Qt::WindowNoState);
  window.resize(1280, 560);
  window.show();

  const QString a = QDir(work.path()).filePath("field.db");
  write_device_a(a, state);
  window.files().Open_DB(a);
  window.tabs()->grid1()->setCurrentIndex(window.tabs()->grid1()->model()->index(2, 1));
  window.tabs()->grid1()->selectRow(2);
  QApplication::processEvents();
  save(window, out.filePath("grid-device-a.png"));

  const QString b = QDir(work.path()).filePath("pulloff.db");
  write_device_b(b);
  window.files().Open_DB(b);
  QApplication::processEvents();
  save(window, out.filePath("grid-device-b.png"));
  window.files().Close_DB();

  // The graph of drop 1 of the third measurement, the crosshair in the middle of the pulse.
  const auto curves = vkt::build_drop_curves(state.waveforms, 3, 1, 223, 7104);
  if (curves.fault != vkt::CurveFault::None) {
    std::fprintf(stderr, "the drop cannot be drawn (%d)\n", static_cast<int>(curves.fault));
    return 1;
  }
  vkt::GraphWindow graph(dialogs);
  graph.set_curves(curves.curves);
  graph.show();
  QTest::qWait(800);  // the charts animate their first drawing
  auto* view = graph.chart1();
  const QPoint at(view->width() * 2 / 5, view->height() / 2);
  QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(view->viewport(), &move);
  QApplication::processEvents();
  save(graph, out.filePath("graph.png"));
  return 0;
}
