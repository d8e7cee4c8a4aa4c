// Opens arbitrary bytes as the window opens a measurement file and shows it: the first row's
// instrument code, both grids' models cell by cell, the footer statistics and the graph's lookup
// of every row. A damaged file may be refused with DbfError; nothing else may escape.
#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/programstate.h"
#include "store/dbf/storage.h"
#include "store/dbf/table.h"
#include "store/gridstatistics.h"
#include "store/measurement/measurementdocument.h"
#include "ui/graphcommand.h"
#include "ui/measurementmodel.h"

namespace {

void show_rows(vkt::measurement::MeasurementDocument& document, vkt::DeviceKind kind,
               const vkt::ProgramState& state) {
  document.set_filter(kind == vkt::DeviceKind::B ? "NB_TYPE=1" : "NB_TYPE=0");
  vkt::MeasurementModel model(kind);
  model.attach(&document);
  std::vector<vkt::PRValues> rows;
  for (int row = 0; row < model.rowCount(); ++row) {
    for (int column = 0; column < model.columnCount(); ++column) {
      (void)model.data(model.index(row, column));
    }
    rows.push_back(model.pr_values(row));
    vkt::GraphRow graph;
    graph.tab = kind == vkt::DeviceKind::B ? vkt::GraphRow::Tab::DeviceB : vkt::GraphRow::Tab::DeviceA;
    graph.n = model.number(row, "N").value_or(0.0);
    graph.date = model.text(row, "DATE");
    graph.time = model.text(row, "TIME");
    (void)vkt::check_graph_row(state, graph);
    (void)vkt::graph_row_number(graph.n);
  }
  (void)vkt::statistics_of(rows);
  model.attach(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static int argc = 1;
  static char name[] = "window_open_fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  static const vkt::ProgramState state;

  using namespace vkt::dbf;
  vkt::measurement::MeasurementDocument document;
  try {
    document.open(std::make_unique<MemoryStorage>(std::vector<std::uint8_t>(data, data + size)));
    show_rows(document, vkt::DeviceKind::A, state);
    show_rows(document, vkt::DeviceKind::B, state);
  } catch (const DbfError&) {
    // refused as damaged: the window says so and shows no file
  }
  return 0;
}
