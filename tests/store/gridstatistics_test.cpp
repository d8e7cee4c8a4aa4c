#include "store/gridstatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include "core/numbertext.h"
#include "store/gridcolumns.h"
#include "store/measurement/measurementschema.h"

namespace vkt {
namespace {

TEST(ToTenth, HalvesGoUpAndTruncationIsTowardsZero) {
  EXPECT_DOUBLE_EQ(to_tenth(12.345), 12.3);
  EXPECT_DOUBLE_EQ(to_tenth(0.25), 0.3);
  // In double precision 12.35 lies just below the half, so the formula keeps 12.3.
  EXPECT_DOUBLE_EQ(to_tenth(12.35), 12.3);
  EXPECT_DOUBLE_EQ(to_tenth(0.04), 0.0);
  EXPECT_DOUBLE_EQ(to_tenth(7), 7.0);
  // Negative values: x / 0.1 + 0.5 truncated towards zero.
  EXPECT_DOUBLE_EQ(to_tenth(-1.26), -1.2);
}

TEST(GridStatistics, TwoSelectedRowsOfDeviceB) {
  const std::vector<PRValues> rows = {{12.34, 1.5}, {12.35, 2.5}};
  const GridStatistics s = statistics_of(rows);
  EXPECT_EQ(footer_text(s.p_min, s.p_avg, s.p_max, '.'), "12.34/12.3/12.35");
  EXPECT_EQ(footer_text(s.p_min, s.p_avg, s.p_max, ','), "12,34/12,3/12,35");
  EXPECT_EQ(footer_text(s.r_min, s.r_avg, s.r_max, '.'), "1.5/2/2.5");
}

TEST(GridStatistics, EmptyAndSingleRowViews) {
  const GridStatistics empty = statistics_of({});
  EXPECT_EQ(footer_text(empty.p_min, empty.p_avg, empty.p_max, '.'), "0/0/0");
  const std::vector<PRValues> one = {{152.6, 98}};
  const GridStatistics s = statistics_of(one);
  EXPECT_EQ(s.p_min, 152.6);
  EXPECT_EQ(s.p_avg, 152.6);  // not rounded to a tenth: a single row shows its own value
  EXPECT_EQ(s.r_max, 98);
}

TEST(GridStatistics, MinimumAndMaximumOverManyRows) {
  std::vector<PRValues> rows;
  for (int i = 0; i < 20; ++i) {
    rows.push_back({static_cast<double>((i * 7) % 20), static_cast<double>(100 - i)});
  }
  const GridStatistics s = statistics_of(rows);
  EXPECT_EQ(s.p_min, 0);
  EXPECT_EQ(s.p_max, 19);
  EXPECT_DOUBLE_EQ(s.p_avg, 9.5);
  EXPECT_EQ(s.r_min, 81);
  EXPECT_EQ(s.r_max, 100);
  EXPECT_DOUBLE_EQ(s.r_avg, 90.5);
}

TEST(GeneralNumberText, ShortestFormWithTheGivenSeparator) {
  EXPECT_EQ(general_number_text(0.3, ','), "0,3");
  EXPECT_EQ(general_number_text(0.05, '.'), "0.05");
  EXPECT_EQ(general_number_text(1, '.'), "1");
  EXPECT_EQ(general_number_text(2.55, '.'), "2.55");
  EXPECT_EQ(general_number_text(65535, '.'), "65535");
  EXPECT_EQ(general_number_text(to_tenth(12.345), '.'), "12.3");
  EXPECT_EQ(general_number_text(-7.25, ','), "-7,25");
}

TEST(GridColumns, EveryColumnShowsAFieldOfTheFileAsItsKindAllowsAndOnlyShownOnesAreEdited) {
  for (const DeviceKind kind : {DeviceKind::A, DeviceKind::B}) {
    std::set<std::string_view> seen;
    for (const GridColumn& c : grid_columns(kind)) {
      const auto field =
          std::find_if(measurement::kMeasurementFields.begin(), measurement::kMeasurementFields.end(),
                       [&c](const auto& f) { return f.name == c.field; });
      ASSERT_NE(field, measurement::kMeasurementFields.end()) << c.field;
      EXPECT_TRUE(seen.insert(c.field).second) << "shown twice: " << c.field;
      if (c.shown) {
        // A number shown as text would show its blanks; text shown as a number, nothing.
        EXPECT_EQ(c.display == DisplayFormat::Text, field->kind == measurement::ValueKind::Text) << c.field;
        EXPECT_FALSE(c.title.empty()) << c.field;
        EXPECT_GT(c.width, 0) << c.field;
      }
      // Every shown device A column is edited in place; on device B only the remark is.
      EXPECT_EQ(c.editable, kind == DeviceKind::A ? c.shown : c.field == "COMMENT") << c.field;
    }
  }
}

}  // namespace
}  // namespace vkt
