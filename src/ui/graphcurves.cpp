#include "ui/graphcurves.h"

#include <algorithm>
#include <cmath>

#include "core/programstate.h"

namespace vkt {

std::optional<std::size_t> drop_block_start(int row_number, int drop) {
  if (row_number < kFirstRowNumber || row_number > kLastRowNumber || drop < 1 ||
      drop > kDropsPerMeasurement) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(row_number - 1) * kSamplesPerMeasurement +
         static_cast<std::size_t>(drop - 1) * kDropBlockSize;
}

CurveBuild build_drop_curves(std::span<const double> store, int row_number, int drop, double displacement_um,
                             double force_n) {
  CurveBuild out;
  const auto start = drop_block_start(row_number, drop);
  if (!start || *start + kDropBlockSize > store.size()) {
    out.fault = CurveFault::RowOutsideStore;
    return out;
  }
  const auto displacement = store.subspan(*start, kDropSamples);
  const auto force = store.subspan(*start + kDropSamples, kDropSamples);
  const double peak = displacement_peak(displacement);
  if (peak == 0) {
    out.fault = CurveFault::NoDisplacementPeak;
    return out;
  }
  const double fmax = force_maximum(force);
  if (fmax == 0) {
    out.fault = CurveFault::NoForceMaximum;
    return out;
  }
  DropCurves& c = out.curves;
  c.displacement_scale = displacement_um / peak;
  c.force_scale = force_n / fmax;
  c.force.reserve(kDropSamples);
  c.displacement.reserve(kDropSamples);
  for (int k = 0; k < kDropSamples; ++k) {
    const double t = static_cast<double>(kSampleSpacingUs) * k;
    c.force.push_back({t, force[k] * c.force_scale});
    c.displacement.push_back({t, displacement[k] * c.displacement_scale});
  }
  return out;
}

ValueRange curve_range(const std::vector<CurvePoint>& curve) {
  if (curve.empty()) {
    return {-1, 1};
  }
  const auto [lo, hi] = std::minmax_element(
      curve.begin(), curve.end(), [](const CurvePoint& a, const CurvePoint& b) { return a.value < b.value; });
  ValueRange r{lo->value, hi->value};
  if (!(r.max > r.min)) {
    r.min -= 1;
    r.max += 1;
  }
  return r;
}

double label_step(double span, double length_px, double min_spacing_px, double min_step) {
  if (!(min_step > 0) || !std::isfinite(min_step)) {
    min_step = 1;
  }
  if (!(span > 0) || !std::isfinite(span)) {
    return min_step;
  }
  // An axis not laid out yet gets a single label rather than thousands.
  const double fitting = length_px > 0 && min_spacing_px > 0 ? std::floor(length_px / min_spacing_px) : 1;
  const double most_labels = std::max(1.0, fitting);
  const double wanted = std::max(min_step, span / most_labels);
  // The smallest 1-2-5 multiple of min_step that is at least the wanted distance.
  double decade = min_step;
  while (decade * 10 <= wanted) {
    decade *= 10;
  }
  for (double f : {1.0, 2.0, 5.0, 10.0}) {
    if (decade * f >= wanted) {
      return decade * f;
    }
  }
  return decade * 10;
}

int label_decimals(double step) {
  if (!(step > 0) || !std::isfinite(step)) {
    return 0;
  }
  for (int decimals = 0; decimals < 3; ++decimals) {
    const double scaled = step * std::pow(10.0, decimals);
    if (std::abs(scaled - std::round(scaled)) < 1e-9 * std::max(1.0, scaled)) {
      return decimals;
    }
  }
  return 3;
}

QString readout_number(double value, const QLocale& locale) {
  // The mouse can map to any value on a zoomed axis; keep the truncation inside 64 bits.
  constexpr double kLimit = 9.0e18;
  if (!std::isfinite(value)) {
    value = 0;
  }
  const auto whole = static_cast<long long>(std::trunc(std::clamp(value, -kLimit, kLimit)));
  const unsigned long long magnitude =
      whole < 0 ? 0ULL - static_cast<unsigned long long>(whole) : static_cast<unsigned long long>(whole);
  const QString digits = QString::number(magnitude);
  const QString separator =
      locale.numberOptions().testFlag(QLocale::OmitGroupSeparator) ? QString() : locale.groupSeparator();
  QString out;
  for (qsizetype i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) {
      out += separator;
    }
    out += digits[i];
  }
  return whole < 0 ? QLatin1Char('-') + out : out;
}

QString force_readout(double force, double time_us, const QLocale& locale) {
  return QStringLiteral("Сила удара: ") + readout_number(force, locale) + QStringLiteral(" Н. ") +
         QStringLiteral("Время: ") + readout_number(time_us, locale) + QStringLiteral(" мкс.");
}

QString displacement_readout(double displacement, double time_us, const QLocale& locale) {
  return QStringLiteral("Перемещение: ") + readout_number(displacement, locale) + QStringLiteral(" мкм. ") +
         QStringLiteral("Время: ") + readout_number(time_us, locale) + QStringLiteral(" мкс.");
}

double value_at(std::span<const QPointF> curve, double time_us) {
  if (curve.empty()) {
    return 0;
  }
  // The samples lie at increasing times; find the first at or after the time.
  const auto after = std::lower_bound(curve.begin(), curve.end(), time_us,
                                      [](const QPointF& p, double t) { return p.x() < t; });
  if (after == curve.begin()) {
    return curve.front().y();
  }
  if (after == curve.end()) {
    return curve.back().y();
  }
  const QPointF& b = *after;
  const QPointF& a = *(after - 1);
  const double span = b.x() - a.x();
  return span > 0 ? a.y() + (b.y() - a.y()) * (time_us - a.x()) / span : b.y();
}

bool inside_plot(const QRectF& plot, const QPointF& point) {
  return point.x() >= plot.left() && point.x() < plot.right() && point.y() >= plot.top() &&
         point.y() < plot.bottom();
}

}  // namespace vkt
