#include "image/dropanalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

using vkt::image::analyse_drop;
using vkt::image::DropAnalysis;
using vkt::image::kDropSamples;

// A half sine of the given width (ms) and height starting at `start_ms`, zero elsewhere.
std::vector<double> half_sine(double width_ms, double height, double start_ms = 1.0) {
  std::vector<double> out(kDropSamples, 0.0);
  for (int k = 0; k < kDropSamples; ++k) {
    const double t = 0.1 * k - start_ms;
    if (t > 0 && t < width_ms) {
      out[k] = height * std::sin(std::numbers::pi * t / width_ms);
    }
  }
  return out;
}

TEST(DropAnalysis, HalfSinePulsesGiveTheirKnownDurationAndSOverV) {
  // Displacement rising over 10 ms to its peak: v = s·π/20 ms, so s/v = 20/π ms whatever the
  // raw units; the force half sine of 18 ms crosses kPulseThreshold of its peak
  // 18·asin(kPulseThreshold)/π ms inside.
  const auto d = half_sine(20.0, 1000.0);
  const auto f = half_sine(18.0, 3000.0);
  const DropAnalysis a = analyse_drop(d, f, 500.0, 7000.0);
  ASSERT_TRUE(a.s_over_v_ms);
  EXPECT_NEAR(*a.s_over_v_ms, 20.0 / std::numbers::pi, 0.02);
  EXPECT_NEAR(a.peak_velocity, 500.0 * std::numbers::pi / 20.0, 0.5);
  ASSERT_TRUE(a.pulse_ms);
  EXPECT_NEAR(*a.pulse_ms, 18.0 - 36.0 * std::asin(vkt::image::kPulseThreshold) / std::numbers::pi, 0.01);
  EXPECT_EQ(a.flags, vkt::image::DropFlags{});

  const DropAnalysis wide = analyse_drop(d, half_sine(25.0, 3000.0), 500.0, 7000.0);
  EXPECT_TRUE(wide.flags.pulse_out_of_range);
  // A pulse that has not ended when the block does has no duration.
  const DropAnalysis cut = analyse_drop(d, half_sine(60.0, 3000.0), 500.0, 7000.0);
  EXPECT_FALSE(cut.pulse_ms);
  EXPECT_TRUE(cut.flags.pulse_out_of_range);
}

TEST(DropAnalysis, SaturatedAndDeadChannelsAreFlagged) {
  auto f = half_sine(18.0, 3000.0);
  for (auto& v : f) {
    v = std::min(v, 2900.0);  // the converter's ceiling cuts the top of the pulse
  }
  EXPECT_TRUE(analyse_drop(half_sine(20.0, 1000.0), f, 500.0, 7000.0).flags.clipped);

  const std::vector<double> zeros(kDropSamples, 0.0);
  const DropAnalysis dead = analyse_drop(zeros, half_sine(18.0, 3000.0), 500.0, 7000.0);
  EXPECT_TRUE(dead.flags.flat);
  EXPECT_FALSE(dead.s_over_v_ms);
}

TEST(DropAnalysis, DropsDifferBeyondTheirStatedSpread) {
  std::array<DropAnalysis, 3> drops{};
  drops[0].settlement_um = 300;
  drops[1].settlement_um = 310;
  drops[2].settlement_um = 320;  // 20 µm of a 310 µm mean
  EXPECT_FALSE(vkt::image::drops_differ(drops));
  drops[2].settlement_um = 350;  // 50 µm of 320
  EXPECT_TRUE(vkt::image::drops_differ(drops));
}

}  // namespace
