#include "image/dropanalysis.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace vkt::image {

namespace {

// The peak search looks four samples either side and stops where the sample four places
// ahead would be the last one.
constexpr int kPeakNeighbour = 4;
constexpr int kPeakSearchLast = kDropSamples - kPeakNeighbour - 1;

// The longest run of samples equal to the channel's maximum.
int longest_run_at_maximum(std::span<const double> samples) {
  if (samples.empty()) {
    return 0;
  }
  const double top = *std::max_element(samples.begin(), samples.end());
  int longest = 0;
  int run = 0;
  for (double v : samples) {
    run = v == top ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

bool all_equal(std::span<const double> samples) {
  return std::adjacent_find(samples.begin(), samples.end(), std::not_equal_to<>()) == samples.end();
}

// Where the samples between positions k and k + 1 reach `level`, in samples.
double crossing(std::span<const double> f, std::size_t k, double level) {
  const double step = f[k + 1] - f[k];
  return step == 0 ? static_cast<double>(k) : static_cast<double>(k) + (level - f[k]) / step;
}

// The time between the rising and the falling crossing of the threshold around the maximum.
std::optional<double> pulse_duration_ms(std::span<const double> f, double fmax) {
  const double level = kPulseThreshold * fmax;
  const auto top = static_cast<std::size_t>(std::max_element(f.begin(), f.end()) - f.begin());
  double rise = 0;  // a pulse already above the threshold at the start is taken from there
  for (std::size_t k = top; k > 0; --k) {
    if (f[k - 1] < level) {
      rise = crossing(f, k - 1, level);
      break;
    }
  }
  for (std::size_t k = top; k + 1 < f.size(); ++k) {
    if (f[k + 1] < level) {
      return (crossing(f, k, level) - rise) * kSampleSpacingMs;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> displacement_peak_index(std::span<const double> d) {
  double peak = 0;
  std::optional<int> at;
  const int last = std::min<int>(kPeakSearchLast, static_cast<int>(d.size()) - kPeakNeighbour - 1);
  for (int k = 0; k <= last; ++k) {
    if (d[k] > peak && d[k] >= d[k + kPeakNeighbour] &&
        (k < kPeakNeighbour || d[k] >= d[k - kPeakNeighbour])) {
      peak = d[k];
      at = k;
    }
  }
  return at;
}

double displacement_peak(std::span<const double> d) {
  const auto at = displacement_peak_index(d);
  return at ? d[static_cast<std::size_t>(*at)] : 0;
}

double force_maximum(std::span<const double> force) {
  double fmax = 0;
  for (double f : force) {
    fmax = std::max(fmax, f);
  }
  return fmax;
}

DropAnalysis analyse_drop(std::span<const double> displacement, std::span<const double> force,
                          double settlement_um, double force_n) {
  DropAnalysis out;
  out.settlement_um = settlement_um;
  out.force_n = force_n;
  const auto peak_at = displacement_peak_index(displacement);
  const double fmax = force_maximum(force);
  out.flags.flat = !peak_at || all_equal(displacement) || !(fmax > 0) || all_equal(force);
  out.flags.clipped =
      longest_run_at_maximum(displacement) >= kClippedRun || longest_run_at_maximum(force) >= kClippedRun;

  if (fmax > 0) {
    out.pulse_ms = pulse_duration_ms(force, fmax);
  }
  out.flags.pulse_out_of_range =
      !out.pulse_ms || std::abs(*out.pulse_ms - kPulseNominalMs) > kPulseToleranceMs;

  if (peak_at) {
    const double scale = settlement_um / displacement[static_cast<std::size_t>(*peak_at)];
    for (int k = 1; k <= *peak_at && k + 1 < static_cast<int>(displacement.size()); ++k) {
      const double v = (displacement[k + 1] - displacement[k - 1]) * scale / (2 * kSampleSpacingMs);
      out.peak_velocity = std::max(out.peak_velocity, v);
    }
  }
  if (out.peak_velocity > 0 && settlement_um > 0) {
    out.s_over_v_ms = settlement_um / out.peak_velocity;
  }
  return out;
}

bool drops_differ(const std::array<DropAnalysis, 3>& drops) {
  double lo = drops[0].settlement_um;
  double hi = lo;
  double sum = 0;
  for (const auto& d : drops) {
    lo = std::min(lo, d.settlement_um);
    hi = std::max(hi, d.settlement_um);
    sum += d.settlement_um;
  }
  const double mean = sum / static_cast<double>(drops.size());
  return mean > 0 && (hi - lo) > kDropSpread * mean;
}

}  // namespace vkt::image
