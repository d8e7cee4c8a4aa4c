// Between the download, the rows and the waveform file: the waveforms of the downloaded records
// under the keys their rows receive, and the key of a row of the open file.
#pragma once

#include <cstdint>
#include <optional>
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

}  // namespace vkt::measurement
