#pragma once

#include <array>
#include <optional>
#include <span>

// What the waveforms of a drop tell beyond the values the instrument stores.
//
// A drop's block holds 510 displacement and 510 force samples in the instrument's raw units,
// 100 µs apart. The instrument stores the drop's settlement (µm) and force maximum (N); the
// curves are scaled so that their peaks land on those stored values, and everything below is
// read from the scaled curves:
//
//   settlement s        the stored displacement of the drop, µm (the peak of the scaled curve)
//   peak velocity v     the largest central difference (D[k+1] − D[k−1]) / 0.2 ms up to the
//                       displacement peak, µm/ms (= mm/s)
//   s/v                 s / v, ms; a larger value means a softer, less compacted layer
//   pulse duration      time between the rising and the falling crossing of
//                       kPulseThreshold × the force maximum, crossings interpolated linearly
//                       between samples, ms
//
// Plausibility, with the thresholds named below:
//   pulse out of range  duration outside kPulseNominalMs ± kPulseToleranceMs, or no falling
//                       crossing inside the block
//   clipped             the raw maximum of a channel held for kClippedRun samples or more: the
//                       converter saturated and the peak is not known
//   flat                a channel without any rise (all samples equal, or no displacement peak)
//   drops differ        the settlements of the three drops spread (max − min) by more than
//                       kDropSpread of their mean
namespace vkt::image {

inline constexpr int kDropSamples = 510;
inline constexpr double kSampleSpacingMs = 0.1;
// Low enough that the duration is close to the whole pulse (a half sine loses 1.3 % of its
// width at 2 %), high enough to stay clear of the force channel's noise at rest.
inline constexpr double kPulseThreshold = 0.02;
inline constexpr double kPulseNominalMs = 17.5;
inline constexpr double kPulseToleranceMs = 1.5;
inline constexpr int kClippedRun = 5;
inline constexpr double kDropSpread = 0.10;

// The displacement peak: the highest sample among positions 0..505 that is not lower than the
// samples four places before and after it; 0 when no sample qualifies. The graph and the
// analysis agree on it so that both scale a drop alike.
double displacement_peak(std::span<const double> displacement);
// The position of that peak, or nothing when no sample qualifies.
std::optional<int> displacement_peak_index(std::span<const double> displacement);

// The largest force sample, or 0 when none is above 0.
double force_maximum(std::span<const double> force);

struct DropFlags {
  bool pulse_out_of_range = false;
  bool clipped = false;
  bool flat = false;
  friend bool operator==(const DropFlags&, const DropFlags&) = default;
};

struct DropAnalysis {
  double settlement_um = 0;
  double force_n = 0;
  double peak_velocity = 0;           // µm/ms
  std::optional<double> s_over_v_ms;  // none when the curve never rises
  std::optional<double> pulse_ms;     // none when the pulse does not end inside the block
  DropFlags flags;
};

// Analyses one drop from its raw samples and its stored settlement (µm) and force (N).
DropAnalysis analyse_drop(std::span<const double> displacement, std::span<const double> force,
                          double settlement_um, double force_n);

// Whether the three drops of a measurement spread more than kDropSpread.
bool drops_differ(const std::array<DropAnalysis, 3>& drops);

}  // namespace vkt::image
