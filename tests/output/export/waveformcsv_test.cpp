// The waveform export's text: one line per sample, each drop scaled to its own stored values.
#include "output/export/waveformcsv.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace vkt::output {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    out.push_back(line.substr(0, line.size() - 1));  // the CR of CR LF
  }
  return out;
}

TEST(WaveformCsv, OneLinePerSampleWithEachDropOnItsOwnScale) {
  waveform::MeasurementWaveforms m;
  m.key.displacement = {0, 400, 500, 600};
  m.key.force = {0, 7000, 8000, 9000};
  for (waveform::Drop& drop : m.drops) {
    for (std::size_t k = 0; k < waveform::kCurveSamples; ++k) {
      drop.displacement[k] = static_cast<std::uint32_t>(k <= 300 ? k * 10 : 6000 - k * 10);
      drop.force[k] = k == 40 ? 3000 : 1;
    }
  }
  waveform::MeasurementWaveforms flat = m;
  flat.drops[1].force.fill(0);
  const std::vector<WaveformPoint> points = {{7, &m}, {8, nullptr}, {12.5, &flat}};

  const WaveformCsv csv = waveform_csv_text(points, CsvStyle{';', ','});
  EXPECT_EQ(csv.drops, 5u);
  EXPECT_EQ(csv.unscaled_drops, 1u);
  const auto l = lines(csv.text);
  ASSERT_EQ(l.size(), 1 + 5 * 510u);
  EXPECT_EQ(l[0], "\xEF\xBB\xBFТочка;Измерение;Время, мкс;Перемещение, мкм;Сила, Н");
  EXPECT_EQ(l[1], "7;1;0;0;2,33");              // 1 × 7000 / 3000
  EXPECT_EQ(l[1 + 300], "7;1;30000;400;2,33");  // the peak on the drop's own P9
  EXPECT_EQ(l[1 + 510 + 40], "7;2;4000;66,67;8000");
  EXPECT_EQ(l[1 + 2 * 510 + 509], "7;3;50900;182;3");
  EXPECT_EQ(l[1 + 3 * 510 + 300], "12,5;1;30000;400;2,33");
  EXPECT_EQ(l[1 + 4 * 510 + 300], "12,5;3;30000;600;3");  // drop 2 left out

  EXPECT_EQ(lines(waveform_csv_text({}, CsvStyle{',', '.'}).text)[0],
            "\xEF\xBB\xBFТочка,Измерение,\"Время, мкс\",\"Перемещение, мкм\",\"Сила, Н\"");
  EXPECT_THROW(waveform_csv_text(points, CsvStyle{',', ','}), std::invalid_argument);
}

}  // namespace
}  // namespace vkt::output
