#include "output/export/waveformcsv.h"

#include <cmath>
#include <string_view>

#include "core/numbertext.h"

namespace vkt::output {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
constexpr int kSampleSpacingUs = 100;
constexpr std::string_view kHeaders[] = {"Точка", "Измерение", "Время, мкс", "Перемещение, мкм", "Сила, Н"};

std::string hundredths(double value, char decimal) {
  return general_number_text(std::round(value * 100) / 100, decimal);
}

}  // namespace

WaveformCsv waveform_csv_text(std::span<const WaveformPoint> points, CsvStyle style) {
  check_csv_style(style);
  WaveformCsv csv;
  csv.text = kByteOrderMark;
  for (std::string_view header : kHeaders) {
    if (header != kHeaders[0]) {
      csv.text += style.separator;
    }
    // Units follow a comma: with a comma for the separator such a header is quoted.
    if (header.find(style.separator) != std::string_view::npos) {
      csv.text += '"' + std::string(header) + '"';
    } else {
      csv.text += header;
    }
  }
  csv.text += kLineEnd;
  for (const WaveformPoint& p : points) {
    if (p.waveforms == nullptr) {
      continue;
    }
    const std::string point = general_number_text(p.point, style.decimal) + style.separator;
    for (int drop = 1; drop <= static_cast<int>(waveform::kDrops); ++drop) {
      const auto scaled = measurement::scaled_drop(*p.waveforms, drop);
      if (!scaled) {
        ++csv.unscaled_drops;
        continue;
      }
      ++csv.drops;
      for (std::size_t k = 0; k < scaled->force_n.size(); ++k) {
        csv.text += point;
        csv.text += std::to_string(drop) + style.separator;
        csv.text += std::to_string(k * kSampleSpacingUs) + style.separator;
        csv.text += hundredths(scaled->displacement_um[k], style.decimal) + style.separator;
        csv.text += hundredths(scaled->force_n[k], style.decimal);
        csv.text += kLineEnd;
      }
    }
  }
  return csv;
}

}  // namespace vkt::output
