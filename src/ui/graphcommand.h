#pragma once

#include <QString>
#include <array>

class QWidget;

namespace vkt::waveform {
struct MeasurementWaveforms;
}

namespace vkt {

class Dialogs;
class GraphWindow;
class MeasurementChoiceWindow;
struct DropCurves;
struct ProgramState;

// The current row of the visible grid, as the graph needs it.
struct GraphRow {
  enum class Tab { DeviceA, DeviceB };
  Tab tab = Tab::DeviceA;
  QString file;  // path of the open measurement file
  double n = 0;  // `N`, the row number
  QString date;  // `DATE`, dd.mm.yyyy
  QString time;  // `TIME`, hh:mm:ss
  // Each drop is drawn at its own stored values: its displacement peak at `P9`, `P2`, `P4` (µm)
  // and its force maximum at `D4`, `D5`, `D6` (N) for drops 1, 2 and 3.
  std::array<double, 3> displacement{};
  std::array<double, 3> force{};
  // The row's waveforms kept beside the file, when it has them: the graph then needs no download.
  const waveform::MeasurementWaveforms* kept = nullptr;
  // Its waveforms are in the file beside it but failed their checksum.
  bool kept_damaged = false;
};

// Whether a row has curves in the waveform store.
enum class GraphRowCheck {
  Ready,            // its block holds the samples imported for this very row
  NeedsDownload,    // nothing downloaded, no row, a device B row, or the block belongs to another row
  RowOutsideStore,  // its number has no block in the store
};
GraphRowCheck check_graph_row(const ProgramState& state, const GraphRow& row);

// `N` as the store's row number (the nearest whole number), or 0 when it is no number.
int graph_row_number(double n);

// The graph command (Grid1DblClick; "Сервис" → "График"; the context menu's "График"): asks
// for the drop and shows its force and displacement. Owns the choice and graph windows, which
// live as long as the command, so the choice is kept between uses.
class GraphCommand {
 public:
  GraphCommand(ProgramState& state, Dialogs& dialogs, QWidget* parent = nullptr);
  ~GraphCommand();
  GraphCommand(const GraphCommand&) = delete;
  GraphCommand& operator=(const GraphCommand&) = delete;

  void run(const GraphRow& row);

  MeasurementChoiceWindow* choice_window() const { return choice_; }
  GraphWindow* graph_window() const { return graph_; }

 private:
  void show_drop(const GraphRow& row, int row_number, int drop);
  void show_kept_drop(const waveform::MeasurementWaveforms& kept, int drop);
  void show_curves(const DropCurves& curves);

  ProgramState& state_;
  Dialogs& dialogs_;
  QWidget* parent_;
  MeasurementChoiceWindow* choice_;
  GraphWindow* graph_;
};

}  // namespace vkt
