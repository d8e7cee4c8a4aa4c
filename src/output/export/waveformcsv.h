#pragma once

// The waveform export: every sample of the measurements that have waveforms, as comma-separated
// text in the style of the table's CSV export (UTF-8 with a byte order mark, CR LF line ends).

#include <cstddef>
#include <span>
#include <string>

#include "output/export/csvexport.h"
#include "store/measurement/measurementwaveforms.h"

namespace vkt::output {

// A measurement point: the row's number N and its waveforms.
struct WaveformPoint {
  double point = 0;
  const waveform::MeasurementWaveforms* waveforms = nullptr;
};

struct WaveformCsv {
  std::string text;
  std::size_t drops = 0;           // drops written
  std::size_t unscaled_drops = 0;  // drops left out: no displacement peak or no force
};

// The header "Точка", "Измерение", "Время, мкс", "Перемещение, мкм", "Сила, Н", then for each point
// and each of its drops 510 lines, one per sample: the point, the drop (1..3), the time (0, 100, ...
// 50900) and the displacement and force scaled to the drop's own stored values, rounded to
// hundredths. Throws as export_table_to_csv_text does for a style that cannot be read back.
WaveformCsv waveform_csv_text(std::span<const WaveformPoint> points, CsvStyle style);

}  // namespace vkt::output
