// Between the download, the rows and the waveform file: the waveforms of the downloaded records
// under the keys their rows receive, the key of a row of the open file, and a drop scaled to
// physical units.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/programstate.h"
#include "store/waveform/waveformfile.h"

namespace vkt::measurement {

class MeasurementDocument;

// The waveforms of the device A records of the last download, in image order, each under the key
// of the row the import makes of it. Records beyond the bytes the download decoded are left out
// (the import refuses such an image anyway).
std::vector<waveform::MeasurementWaveforms> downloaded_waveforms(const ProgramState& state);

// The key of a row of the open file: its DATE, TIME and stored values as they are now. Nothing
// for a row that has none (a device B row, or a device A row whose key field was emptied or
// edited to a value the instrument cannot store).
std::optional<waveform::MeasurementKey> row_key(const MeasurementDocument& document, std::uint32_t recno);

// One drop in physical units, sample k at k × 100 µs.
struct ScaledDrop {
  std::vector<double> displacement_um;
  std::vector<double> force_n;
};

// Drop `drop` (1, 2 or 3) scaled as the graph scales it, each drop to its own stored values: the
// displacement peak (image::displacement_peak) onto the drop's displacement (P9, P2, P4), the
// force maximum onto its force (D4, D5, D6). Nothing when the drop has no displacement peak or no
// force above 0, or for another drop number.
std::optional<ScaledDrop> scaled_drop(const waveform::MeasurementWaveforms& measurement, int drop);

}  // namespace vkt::measurement
