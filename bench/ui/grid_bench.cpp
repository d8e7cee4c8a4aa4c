// The main window with a large measurement file: opening it and filling the view, a sort by a
// title click, the statistics. Run offscreen (QT_QPA_PLATFORM=offscreen).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "core/programstate.h"
#include "store/appsettings.h"
#include "store/dbf/table.h"
#include "store/measurement/measurementfile.h"
#include "ui/dialogs.h"
#include "ui/filecommands.h"
#include "ui/mainwindow.h"
#include "ui/measurementgrid.h"
#include "ui/measurementmodel.h"
#include "ui/measurementtabs.h"

namespace {

constexpr int kRows = 100'000;

// Resident memory in kB from the process's own status: "VmRSS:" all of it, "RssAnon:" the
// memory the program holds itself (without the file's pages mapped from the system's cache).
long resident_kb(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) {
      return std::stol(line.substr(key.size()));
    }
  }
  return 0;
}

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

struct Fixture {
  QTemporaryDir dir;
  QString file;
  vkt::ProgramState state;
  NullDialogs dialogs;
  std::unique_ptr<vkt::AppSettings> settings;
  std::unique_ptr<vkt::MainWindow> window;

  Fixture() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    settings = std::make_unique<vkt::AppSettings>();
    file = QDir(dir.path()).filePath("big.db");
    vkt::dbf::Table t;
    vkt::measurement::create_measurement_file(t, file.toStdString());
    for (int i = 0; i < kRows; ++i) {
      t.append();
      t.set_double("N", i + 1);
      t.set_text("DATE", "12.05.2011");
      t.set_text("TIME", "10:00:00");
      t.set_double("P", (std::int64_t{i} * 7919) % 1000);
      t.set_double("R", (std::int64_t{i} * 104729) % 997);
      t.set_text("COMMENT", "участок " + std::to_string(i % 50));
      t.post();
    }
    t.close();
    vkt::MainWindowServices s;
    s.state = &state;
    s.dialogs = &dialogs;
    s.settings = settings.get();
    s.program_dir = dir.path();
    s.ports = {"/nonexistent"};
    window = std::make_unique<vkt::MainWindow>(s);
    window->resize(1280, 800);
    window->show();
    QApplication::processEvents();
  }
};

// Built on first use and taken down in main() while the application still exists: widgets left
// for the static destructors would outlive it.
std::unique_ptr<Fixture>& fixture_slot() {
  static std::unique_ptr<Fixture> f;
  return f;
}

Fixture& fixture() {
  if (!fixture_slot()) {
    fixture_slot() = std::make_unique<Fixture>();
  }
  return *fixture_slot();
}

void BM_OpenAndFirstPaint(benchmark::State& st) {
  Fixture& f = fixture();
  const long before = resident_kb("VmRSS:");
  const long before_own = resident_kb("RssAnon:");
  for (auto _ : st) {
    f.window->files().Open_DB(f.file);
    f.window->tabs()->grid1()->viewport()->repaint();
    st.PauseTiming();
    f.window->files().Close_DB();
    st.ResumeTiming();
  }
  f.window->files().Open_DB(f.file);
  f.window->tabs()->grid1()->viewport()->repaint();
  st.counters["rss_growth_MB"] = double(resident_kb("VmRSS:") - before) / 1024.0;
  st.counters["own_growth_MB"] = double(resident_kb("RssAnon:") - before_own) / 1024.0;
  f.window->files().Close_DB();
}
BENCHMARK(BM_OpenAndFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SortByTitleClick(benchmark::State& st) {
  Fixture& f = fixture();
  f.window->files().Open_DB(f.file);
  vkt::MeasurementGrid* grid = f.window->tabs()->grid1();
  const int p = grid->column_of("P");
  for (auto _ : st) {
    emit grid->title_clicked(p, false);
    grid->viewport()->repaint();
    st.PauseTiming();
    emit grid->title_clicked(p, true);
    st.ResumeTiming();
  }
  f.window->files().Close_DB();
}
BENCHMARK(BM_SortByTitleClick)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FindMma(benchmark::State& st) {
  Fixture& f = fixture();
  f.window->files().Open_DB(f.file);
  for (auto _ : st) {
    f.window->tabs()->find_mma();
  }
  f.window->files().Close_DB();
}
BENCHMARK(BM_FindMma)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fixture_slot().reset();
  return 0;
}
