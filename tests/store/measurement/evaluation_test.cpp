// A point's verdict, derived values and the closing figures of a set of points.
#include "store/measurement/evaluation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace vkt::measurement {
namespace {

// Raw samples of a half sine of the given width (ms) starting 1 ms into the block.
void put_half_sine(std::array<std::uint32_t, waveform::kCurveSamples>& out, double width_ms) {
  for (std::size_t k = 0; k < out.size(); ++k) {
    const double t = 0.1 * static_cast<double>(k) - 1.0;
    out[k] = t > 0 && t < width_ms
                 ? static_cast<std::uint32_t>(std::lround(100000 * std::sin(std::numbers::pi * t / width_ms)))
                 : 0;
  }
}

// A measurement whose drops rise over width/2 ms each, with a 17.5 ms force pulse.
waveform::MeasurementWaveforms measurement(std::array<double, 3> widths_ms) {
  waveform::MeasurementWaveforms m;
  m.key.displacement = {400, 400, 400, 400};
  m.key.force = {7000, 7000, 7000, 7000};
  for (std::size_t k = 0; k < 3; ++k) {
    put_half_sine(m.drops[k].displacement, widths_ms[k]);
    // The threshold crossings of a half sine lie 2·asin(threshold)/π of its width inside it.
    put_half_sine(m.drops[k].force, 17.5 / (1 - 2 * std::asin(image::kPulseThreshold) / std::numbers::pi));
  }
  return m;
}

TEST(Evaluation, RequiredModulusMustBeAPositiveNumber) {
  EXPECT_EQ(parse_required_modulus("45"), 45.0);
  EXPECT_EQ(parse_required_modulus(" 80,5 "), 80.5);
  EXPECT_EQ(parse_required_modulus("120.25"), 120.25);
  for (const char* bad : {"", "  ", "0", "-45", "+45", "45 МН", "abc", "1e999", "nan", "inf", "4,5,6"}) {
    EXPECT_FALSE(parse_required_modulus(bad)) << bad;
  }
}

TEST(Evaluation, DerivedValuesComeFromEachDropsOwnCurve) {
  // A displacement rising over w/2 ms has s/v = w/π ms.
  const auto m = measurement({20.0, 24.0, 28.0});
  const PointEvaluation point = evaluate_point(&m, 50.0, 45.0);
  ASSERT_TRUE(point.drops);
  ASSERT_TRUE(point.s_over_v_ms);
  EXPECT_NEAR(*point.s_over_v_ms, 24.0 / std::numbers::pi, 0.05);
  EXPECT_NEAR(*(*point.drops)[2].s_over_v_ms, 28.0 / std::numbers::pi, 0.05);
  EXPECT_NEAR(*(*point.drops)[0].pulse_ms, 17.5, 0.05);
  EXPECT_EQ(point.verdict, Verdict::Passes);
  EXPECT_FALSE(point.implausible());

  auto dead = m;
  dead.drops[1].displacement.fill(0);
  EXPECT_TRUE(evaluate_point(&dead, 50.0, 45.0).implausible());

  const PointEvaluation bare = evaluate_point(nullptr, 40.0, 45.0);
  EXPECT_FALSE(bare.drops);
  EXPECT_FALSE(bare.s_over_v_ms);
  EXPECT_EQ(bare.verdict, Verdict::Fails);
}

TEST(Evaluation, SummaryCountsOnlyWhatIsKnown) {
  std::vector<PointEvaluation> points;
  for (const std::optional<double> e :
       {std::optional(40.0), std::optional(50.0), std::optional(60.0), std::optional<double>()}) {
    points.push_back(evaluate_point(nullptr, e, 50.0));
  }
  EXPECT_EQ(verdict_text(points[0].verdict), "не соответствует");
  EXPECT_EQ(verdict_text(points[1].verdict), "соответствует");
  EXPECT_EQ(verdict_text(points[3].verdict), "");
  const EvaluationSummary s = summarise(points);
  EXPECT_EQ(s.points, 3U);
  EXPECT_DOUBLE_EQ(s.mean, 50.0);
  EXPECT_DOUBLE_EQ(s.standard_deviation, 10.0);
  EXPECT_EQ(s.minimum, 40.0);
  EXPECT_EQ(s.maximum, 60.0);
  EXPECT_EQ(s.judged, 3U);
  EXPECT_EQ(s.passing, 2U);
  EXPECT_NEAR(*s.share_passing(), 2.0 / 3.0, 1e-12);

  // Without a required modulus nothing is judged.
  points.assign(1, evaluate_point(nullptr, 70.0, std::nullopt));
  EXPECT_FALSE(summarise(points).share_passing());
  EXPECT_EQ(summarise(points).standard_deviation, 0.0);
}

}  // namespace
}  // namespace vkt::measurement
