#pragma once

#include <QLocale>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "image/dropanalysis.h"

namespace vkt {

// One drop of a measurement in the waveform store: 510 displacement samples followed by 510
// force samples, 100 µs apart; a measurement holds three drops.
inline constexpr int kDropSamples = 510;
inline constexpr int kDropBlockSize = 2 * kDropSamples;
inline constexpr int kDropsPerMeasurement = 3;
inline constexpr int kSampleSpacingUs = 100;
inline constexpr int kFirstRowNumber = 1;
inline constexpr int kLastRowNumber = 500;

// Where drop `drop` (1..3) of the row numbered `row_number` starts in the store; nothing when
// the row or the drop has no block there.
std::optional<std::size_t> drop_block_start(int row_number, int drop);

// The peak rules the graph scales by are the analysis's own.
using image::displacement_peak;
using image::force_maximum;

struct CurvePoint {
  double time_us = 0;
  double value = 0;
  friend bool operator==(const CurvePoint&, const CurvePoint&) = default;
};

// The two curves of one drop, ready for the charts.
struct DropCurves {
  std::vector<CurvePoint> force;         // N, its largest value drawn at the row's force
  std::vector<CurvePoint> displacement;  // µm, its peak drawn at the row's displacement
  double force_scale = 0;
  double displacement_scale = 0;
};

enum class CurveFault {
  None,
  RowOutsideStore,     // the row number (or drop) has no block in the store
  NoDisplacementPeak,  // no displacement sample qualifies as the peak
  NoForceMaximum,      // every force sample is 0
};

struct CurveBuild {
  CurveFault fault = CurveFault::None;
  DropCurves curves;  // filled only when fault is None
};

// Scales drop `drop` of row `row_number` so that the displacement peak lands on the drop's stored
// displacement (µm) and the force maximum on its stored force (N). A drop that cannot be scaled
// comes back with its fault and no curves.
CurveBuild build_drop_curves(std::span<const double> store, int row_number, int drop, double displacement_um,
                             double force_n);

// The lowest and highest value of a curve; a flat or empty curve gets a unit margin either
// side so an axis over it never has zero length.
struct ValueRange {
  double min = 0;
  double max = 0;
};
ValueRange curve_range(const std::vector<CurvePoint>& curve);

// The distance between axis labels: a 1-2-5 step of at least `min_step` that keeps labels
// `min_spacing_px` apart on an axis `length_px` long showing `span` units.
double label_step(double span, double length_px, double min_spacing_px, double min_step);

// How many decimals the labels of a step need (at most three).
int label_decimals(double step);

// A readout number: truncated toward zero and written with ASCII digits, a leading "-" when
// negative and the locale's digit grouping in threes (none when the locale omits it).
QString readout_number(double value, const QLocale& locale);

// "Сила удара: F Н. Время: T мкс."
QString force_readout(double force, double time_us, const QLocale& locale);
// "Перемещение: L мкм. Время: T мкс."; the displacement as its axis labels it.
QString displacement_readout(double displacement, double time_us, const QLocale& locale);

// A curve's value at a time between its samples (linear between the two around it; the end
// samples beyond the curve's ends); 0 for an empty curve.
double value_at(std::span<const QPointF> curve, double time_us);

// The plotting rectangle holds its left and top edges but not its right and bottom ones.
bool inside_plot(const QRectF& plot, const QPointF& point);

}  // namespace vkt
