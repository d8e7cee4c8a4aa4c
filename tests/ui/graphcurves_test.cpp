#include "ui/graphcurves.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/programstate.h"

namespace vkt {
namespace {

// A store where every position holds a different, non-monotonic value, so a curve read from
// the wrong place never matches.
std::vector<double> marked_store() {
  std::vector<double> store(kWaveformStoreSize);
  for (std::size_t i = 0; i < store.size(); ++i) {
    store[i] = static_cast<double>((i * 7919) % 100003 + 1);
  }
  return store;
}

TEST(DropBlock, RowAndDropSelectTheirPlaceInTheStore) {
  EXPECT_EQ(drop_block_start(3, 2), 7140u);
  EXPECT_EQ(drop_block_start(1, 1), 0u);
  EXPECT_EQ(drop_block_start(1, 3), 2040u);
  EXPECT_EQ(drop_block_start(500, 3), 499u * 3060 + 2040);
  for (auto [row, drop] : {std::pair{0, 1}, {501, 1}, {-3, 1}, {1, 0}, {1, 4}}) {
    EXPECT_FALSE(drop_block_start(row, drop)) << row << " " << drop;
  }
}

TEST(DropCurves, Row3Drop2ReadsItsOwnSamples) {
  const auto store = marked_store();
  const std::span<const double> whole(store);
  const double peak = displacement_peak(whole.subspan(7140, 510));
  const double fmax = force_maximum(whole.subspan(7650, 510));
  ASSERT_GT(peak, 0);
  ASSERT_GT(fmax, 0);

  const auto built = build_drop_curves(store, 3, 2, 2 * peak, 3 * fmax);
  ASSERT_EQ(built.fault, CurveFault::None);
  const DropCurves& c = built.curves;
  ASSERT_EQ(c.displacement.size(), 510u);
  ASSERT_EQ(c.force.size(), 510u);
  for (std::size_t k = 0; k < 510; ++k) {
    EXPECT_DOUBLE_EQ(c.displacement[k].value, 2 * store[7140 + k]) << k;
    EXPECT_DOUBLE_EQ(c.force[k].value, 3 * store[7650 + k]) << k;
  }
}

TEST(DropCurves, TimeRunsFrom0To50900InStepsOf100) {
  const auto store = marked_store();
  const auto built = build_drop_curves(store, 1, 1, 100, 100);
  ASSERT_EQ(built.fault, CurveFault::None);
  for (const auto* curve : {&built.curves.force, &built.curves.displacement}) {
    ASSERT_EQ(curve->size(), 510u);
    for (std::size_t k = 0; k < curve->size(); ++k) {
      EXPECT_EQ((*curve)[k].time_us, 100.0 * k);
    }
    EXPECT_EQ(curve->back().time_us, 50900.0);
  }
}

TEST(DropCurves, ForceMaximum2000WithRowForce5000ScalesBy2Point5) {
  std::vector<double> store(kWaveformStoreSize, 0.0);
  const std::size_t start = *drop_block_start(4, 3);
  store[start + 10] = 7;  // a displacement peak, so the drop can be drawn
  for (int k = 0; k < 510; ++k) {
    store[start + 510 + k] = (k * 37) % 1999;
  }
  store[start + 510 + 222] = 2000;

  const auto built = build_drop_curves(store, 4, 3, 70, 5000);
  ASSERT_EQ(built.fault, CurveFault::None);
  EXPECT_DOUBLE_EQ(built.curves.force_scale, 2.5);
  double highest = 0;
  for (int k = 0; k < 510; ++k) {
    EXPECT_DOUBLE_EQ(built.curves.force[k].value, store[start + 510 + k] * 2.5);
    highest = std::max(highest, built.curves.force[k].value);
  }
  EXPECT_DOUBLE_EQ(highest, 5000);
  EXPECT_DOUBLE_EQ(built.curves.displacement[10].value, 70);
}

TEST(DropCurves, TheSameRowValuesScaleEveryDrop) {
  std::vector<double> store(kWaveformStoreSize, 0.0);
  for (int drop = 1; drop <= 3; ++drop) {
    const std::size_t start = *drop_block_start(2, drop);
    store[start + 50] = 10.0 * drop;         // displacement peak
    store[start + 510 + 60] = 100.0 * drop;  // force maximum
  }
  for (int drop = 1; drop <= 3; ++drop) {
    const auto built = build_drop_curves(store, 2, drop, 400, 9000);
    ASSERT_EQ(built.fault, CurveFault::None);
    EXPECT_DOUBLE_EQ(built.curves.displacement[50].value, 400) << drop;
    EXPECT_DOUBLE_EQ(built.curves.force[60].value, 9000) << drop;
  }
}

// A rising ramp never qualifies (each sample is lower than the one four places on).
std::vector<double> ramp() {
  std::vector<double> d(510);
  for (int k = 0; k < 510; ++k) {
    d[k] = k;
  }
  return d;
}

TEST(DisplacementPeak, AHumpAtK300IsThePeak) {
  auto d = ramp();
  d[300] = 400;
  EXPECT_EQ(displacement_peak(d), 400);
}

TEST(DisplacementPeak, SamplesFrom506OnAreNeverThePeak) {
  auto d = ramp();
  d[300] = 400;
  for (int k = 506; k < 510; ++k) {
    d[k] = 9000 + k;
  }
  EXPECT_EQ(displacement_peak(d), 400);
  d[505] = 9600;  // the last position searched still counts
  EXPECT_EQ(displacement_peak(d), 9600);
}

TEST(DisplacementPeak, ASampleLowerThanTheOneFourPlacesOnDoesNotCount) {
  std::vector<double> d(510, 0.0);
  d[100] = 50;
  d[101] = 60;
  d[105] = 61;  // 101 is lower than 105, so only 105 and 100 qualify
  EXPECT_EQ(displacement_peak(d), 61);
  d[105] = 0;
  d[109] = 61;
  EXPECT_EQ(displacement_peak(d), 61);
  d[109] = 59;  // now 101 is not lower than four places either side
  EXPECT_EQ(displacement_peak(d), 60);
}

TEST(DisplacementPeak, TheFirstFourSamplesHaveNoLeftNeighbourToBeat) {
  std::vector<double> d(510, 0.0);
  d[2] = 30;
  EXPECT_EQ(displacement_peak(d), 30);
}

TEST(DropCurves, UndrawableDropsReportWhyInsteadOfDividingByZero) {
  std::vector<double> store(kWaveformStoreSize, 0.0);
  EXPECT_EQ(build_drop_curves(store, 1, 1, 100, 100).fault, CurveFault::NoDisplacementPeak);

  const std::size_t start = *drop_block_start(1, 1);
  for (int k = 0; k < 510; ++k) {
    store[start + k] = k + 1;  // rises through the whole block
  }
  store[start + 510 + 5] = 10;
  EXPECT_EQ(build_drop_curves(store, 1, 1, 100, 100).fault, CurveFault::NoDisplacementPeak);

  store[start + 200] = 1000;
  store[start + 510 + 5] = 0;
  const auto no_force = build_drop_curves(store, 1, 1, 100, 100);
  EXPECT_EQ(no_force.fault, CurveFault::NoForceMaximum);
  EXPECT_TRUE(no_force.curves.force.empty());

  store[start + 510 + 5] = 10;
  EXPECT_EQ(build_drop_curves(store, 1, 1, 100, 100).fault, CurveFault::None);
}

TEST(DropCurves, RowsWithoutABlockAreRefusedWithoutReadingTheStore) {
  const auto store = marked_store();
  for (int row : {0, -1, 501, 100000}) {
    EXPECT_EQ(build_drop_curves(store, row, 1, 1, 1).fault, CurveFault::RowOutsideStore) << row;
  }
  EXPECT_EQ(build_drop_curves(store, 500, 3, 1, 1).fault, CurveFault::None);
  // A store shorter than the block asked for.
  const std::vector<double> short_store(store.begin(), store.begin() + 3060 + 2040);
  EXPECT_EQ(build_drop_curves(short_store, 2, 3, 1, 1).fault, CurveFault::RowOutsideStore);
  EXPECT_EQ(build_drop_curves(short_store, 2, 2, 1, 1).fault, CurveFault::None);
}

TEST(CurveRange, SpansTheCurveAndNeverCollapses) {
  const std::vector<CurvePoint> curve{{0, 3}, {100, -2}, {200, 8}};
  const auto r = curve_range(curve);
  EXPECT_EQ(r.min, -2);
  EXPECT_EQ(r.max, 8);
  const auto flat = curve_range({{0, 5}, {100, 5}});
  EXPECT_LT(flat.min, 5);
  EXPECT_GT(flat.max, 5);
  const auto none = curve_range({});
  EXPECT_LT(none.min, none.max);
}

TEST(AxisLabels, TimeLabelsStayOnMultiplesOf100AndDoNotCrowd) {
  const double whole = label_step(50900, 800, 60, 100);
  EXPECT_EQ(whole, 5000);
  EXPECT_LE(50900 / whole * 60, 800 + 60 * 1.0);
  EXPECT_EQ(label_step(300, 800, 60, 100), 100);  // zoomed in: never below 100
  EXPECT_EQ(label_step(2000, 800, 60, 100), 200);
  EXPECT_EQ(label_step(0, 800, 60, 100), 100);
  // Before the axis has a length: one label, not one per thousandth.
  EXPECT_GE(label_step(5000, 0, 30, 0.001), 5000);
  EXPECT_DOUBLE_EQ(label_step(1.7, 300, 40, 0.001), 0.5);
  EXPECT_DOUBLE_EQ(label_step(1.7, 800, 40, 0.001), 0.1);
}

TEST(AxisLabels, DecimalsFollowTheStepUpToThree) {
  EXPECT_EQ(label_decimals(5000), 0);
  EXPECT_EQ(label_decimals(0.5), 1);
  EXPECT_EQ(label_decimals(0.02), 2);
  EXPECT_EQ(label_decimals(0.0001), 3);
}

TEST(Readout, NumbersAreTruncatedAndGroupedByTheLocale) {
  const QLocale en(QLocale::English, QLocale::UnitedStates);
  const QLocale de(QLocale::German, QLocale::Germany);
  EXPECT_EQ(readout_number(1234567.9, en), QStringLiteral("1,234,567"));
  EXPECT_EQ(readout_number(1234567.9, de), QStringLiteral("1.234.567"));
  EXPECT_EQ(readout_number(-1234.99, en), QStringLiteral("-1,234"));
  EXPECT_EQ(readout_number(999.99, en), QStringLiteral("999"));
  EXPECT_EQ(readout_number(-0.7, en), QStringLiteral("0"));
  EXPECT_EQ(readout_number(0, en), QStringLiteral("0"));

  QLocale plain = en;
  plain.setNumberOptions(QLocale::OmitGroupSeparator);
  EXPECT_EQ(readout_number(50900, plain), QStringLiteral("50900"));

  const QLocale ru(QLocale::Russian, QLocale::Russia);
  EXPECT_EQ(readout_number(50900, ru), QStringLiteral("50") + ru.groupSeparator() + QStringLiteral("900"));
  EXPECT_NE(ru.groupSeparator(), QStringLiteral(","));
}

TEST(Readout, ValuesBeyondAnyAxisDoNotBreakTheText) {
  const QLocale en(QLocale::English, QLocale::UnitedStates);
  EXPECT_EQ(readout_number(std::numeric_limits<double>::quiet_NaN(), en), QStringLiteral("0"));
  EXPECT_EQ(readout_number(-1e300, en), QStringLiteral("-9,000,000,000,000,000,000"));
}

TEST(Readout, LinesReadAsTheWindowShowsThem) {
  const QLocale en(QLocale::English, QLocale::UnitedStates);
  EXPECT_EQ(force_readout(4999.6, 12345.9, en), QStringLiteral("Сила удара: 4,999 Н. Время: 12,345 мкс."));
  // The displacement as its axis labels it, settlements downwards being positive there.
  EXPECT_EQ(displacement_readout(523.7, 12345.9, en),
            QStringLiteral("Перемещение: 523 мкм. Время: 12,345 мкс."));
  EXPECT_EQ(displacement_readout(-12.3, 0, en), QStringLiteral("Перемещение: -12 мкм. Время: 0 мкс."));
}

TEST(Readout, CurvesAreReadBetweenTheirSamples) {
  const std::vector<QPointF> curve = {{0, 10}, {100, 30}, {200, -10}};
  EXPECT_DOUBLE_EQ(value_at(curve, 25), 15);
  EXPECT_DOUBLE_EQ(value_at(curve, 150), 10);
  EXPECT_DOUBLE_EQ(value_at(curve, 100), 30);
  EXPECT_DOUBLE_EQ(value_at(curve, -5), 10);
  EXPECT_DOUBLE_EQ(value_at(curve, 900), -10);
  EXPECT_DOUBLE_EQ(value_at({}, 50), 0);
}

TEST(PlotRectangle, LeftAndTopEdgesAreInsideRightAndBottomAreNot) {
  const QRectF plot(10, 20, 100, 50);
  EXPECT_TRUE(inside_plot(plot, {10, 20}));
  EXPECT_TRUE(inside_plot(plot, {109.5, 69.5}));
  EXPECT_FALSE(inside_plot(plot, {110, 30}));
  EXPECT_FALSE(inside_plot(plot, {50, 70}));
  EXPECT_FALSE(inside_plot(plot, {9.9, 30}));
  EXPECT_FALSE(inside_plot(plot, {50, 19.9}));
}

}  // namespace
}  // namespace vkt
