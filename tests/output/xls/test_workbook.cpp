// The workbook model: sheet names, the Cells lookup with its replacement of overlapping ranges,
// and cell values.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "output/xls/workbook.h"

namespace vkt::xls {
namespace {

TEST(SheetNames, NewSheetsTakeTheFirstFreeNumberIgnoringCase) {
  XlsWorkbook book;
  EXPECT_EQ(book.Title(), "PReport");
  EXPECT_EQ(book.AddSheet().Name(), "Sheet1");
  XlsWorksheet& second = book.AddSheet();
  EXPECT_EQ(second.Name(), "Sheet2");
  second.Name("sHEET3");
  EXPECT_EQ(book.AddSheet().Name(), "Sheet4");
  EXPECT_EQ(book.sheet_count(), 3u);
  EXPECT_EQ(&book.sheet(1), &second);
  EXPECT_EQ(&second.owner(), &book);
}

TEST(SheetNames, CutTo31CharactersThenTrimmed) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Name("  " + std::string(27, 'x') + "  tail beyond the limit");
  EXPECT_EQ(sheet.Name(), std::string(27, 'x'));
  sheet.Name("Лист измерений прибора ВКТ-РС7 номер два");  // 40 letters
  EXPECT_EQ(sheet.Name(), "Лист измерений прибора ВКТ-РС7");
  sheet.Name(" ВКТ-РС7 ");
  EXPECT_EQ(sheet.Name(), "ВКТ-РС7");
}

TEST(SheetNames, CaseFoldingCoversCyrillic) {
  EXPECT_TRUE(same_sheet_name("ВКТ-рс7", "вкт-РС7"));
  EXPECT_TRUE(same_sheet_name("Ёлка", "ёЛКА"));
  EXPECT_FALSE(same_sheet_name("Sheet1", "Sheet10"));
}

TEST(Cells, SameRectangleTwiceIsTheSameRangeAndTheLaterValueWins) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Cells(2, 3, 2, 3).Value(1.0);
  sheet.Cells(2, 3, 2, 3).Value("второе");
  EXPECT_EQ(sheet.range_count(), 1u);
  EXPECT_EQ(sheet.Cells(2, 3, 2, 3).Value(), CellValue("второе"));
}

TEST(Cells, OverlappingRangesAreRemovedWithTheirValues) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Cells(0, 0, 3, 1).Value("шапка");  // merged, rows 0-1
  sheet.Cells(0, 2, 0, 2).Value(5.0);
  sheet.Cells(5, 0, 5, 0).Value(6.0);
  ASSERT_EQ(sheet.tallest_height(), 2);
  XlsRange cell = sheet.Cells(2, 1, 2, 1);
  EXPECT_EQ(cell.Value(), CellValue());
  ASSERT_EQ(sheet.range_count(), 3u);
  const auto& r = sheet.ranges();
  EXPECT_TRUE(r[0].covers(5, 0, 5, 0));
  EXPECT_TRUE(r[1].covers(2, 1, 2, 1));
  EXPECT_TRUE(r[2].covers(0, 2, 0, 2));
  EXPECT_EQ(sheet.tallest_height(), 1) << "recomputed after the removal";
  // The used area keeps what was ever requested.
  EXPECT_EQ(sheet.used_area().first_column, 0);
  EXPECT_EQ(sheet.used_area().last_column, 5);
  EXPECT_EQ(sheet.used_area().last_row, 2);
}

TEST(Cells, ATallRangeAboveIsFoundThroughTheTallestHeight) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Cells(4, 0, 4, 9).Value("столбец");
  for (int row = 1; row < 12; ++row) {
    sheet.Cells(0, row, 0, row).Value(static_cast<double>(row));
  }
  sheet.Cells(4, 8, 4, 8).Value(8.5);
  for (const RangeData& r : sheet.ranges()) {
    EXPECT_FALSE(r.covers(4, 0, 4, 9)) << "the tall range overlaps row 8 and must be gone";
  }
}

TEST(Cells, NewRangesGoAfterOlderOnesWithTheSameTopRow) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Cells(5, 1, 5, 1);
  sheet.Cells(1, 1, 1, 1);
  sheet.Cells(0, 0, 0, 0);
  sheet.Cells(3, 1, 3, 1);
  const auto& r = sheet.ranges();
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].left, 0);
  EXPECT_EQ(r[1].left, 5);
  EXPECT_EQ(r[2].left, 1);
  EXPECT_EQ(r[3].left, 3);
}

// Straightforward model of the lookup: remove every other range that meets the rectangle, keep
// an exact one, else insert after the last range whose top row is at most the new top.
struct Reference {
  struct R {
    int l, t, r, b;
    int value;
  };
  std::vector<R> list;
  void cells(int l, int t, int r, int b, int value) {
    std::vector<R> kept;
    bool exact = false;
    for (const R& x : list) {
      if (x.l == l && x.t == t && x.r == r && x.b == b) {
        exact = true;
        kept.push_back({l, t, r, b, value});
      } else if (!(x.l <= r && l <= x.r && x.t <= b && t <= x.b)) {
        kept.push_back(x);
      }
    }
    if (!exact) {
      std::size_t at = 0;
      for (std::size_t i = 0; i < kept.size(); ++i) {
        if (kept[i].t <= t) {
          at = i + 1;
        }
      }
      kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(at), {l, t, r, b, value});
    }
    list = kept;
  }
};

TEST(Cells, RandomRequestsAgreeWithAStraightforwardModel) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 40; ++round) {
    XlsWorkbook book;
    XlsWorksheet& sheet = book.AddSheet();
    Reference reference;
    int cursor = 0;  // half of the rounds mostly fill row by row, as the export does
    for (int step = 0; step < 300; ++step) {
      const bool in_order = round % 2 == 1 && random() % 8 != 0;
      const int l = in_order ? cursor % 12 : static_cast<int>(random() % 12);
      const int t = in_order ? cursor / 12 : static_cast<int>(random() % 40);
      cursor += in_order ? 1 + static_cast<int>(random() % 2) : 0;
      const int w = random() % 4 == 0 ? static_cast<int>(random() % 4) : 0;
      const int h = random() % 5 == 0 ? static_cast<int>(random() % 8) : 0;
      sheet.Cells(l, t, l + w, t + h).Value(static_cast<std::int32_t>(step));
      reference.cells(l, t, l + w, t + h, step);
    }
    const auto& ours = sheet.ranges();
    ASSERT_EQ(ours.size(), reference.list.size()) << "round " << round;
    int tallest = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
      const auto& x = reference.list[i];
      ASSERT_TRUE(ours[i].covers(x.l, x.t, x.r, x.b)) << "round " << round << " range " << i;
      EXPECT_EQ(sheet.value(ours[i]), CellValue(static_cast<std::int32_t>(x.value)));
      tallest = std::max(tallest, x.b - x.t + 1);
    }
    EXPECT_LE(tallest, sheet.tallest_height());
  }
}

TEST(Values, TextsLoseTheCarriageReturnOfEachLineBreakPair) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Cells(0, 0, 0, 0).Value("строка 1\r\nстрока 2\r\n\r\nконец\rи\n");
  EXPECT_EQ(sheet.Cells(0, 0, 0, 0).Value().text(), "строка 1\nстрока 2\n\nконец\rи\n");
}

TEST(Values, NumberKindsKeepTheirKindAndValue) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  const std::vector<CellValue> values = {CellValue(1.25),
                                         CellValue(2.5f),
                                         CellValue(std::int32_t{-70000}),
                                         CellValue(std::int16_t{-12}),
                                         CellValue(std::uint8_t{200}),
                                         CellValue(Currency{123456}),
                                         CellValue(true),
                                         CellValue()};
  for (std::size_t i = 0; i < values.size(); ++i) {
    sheet.Cells(static_cast<int>(i), 0, static_cast<int>(i), 0).Value(values[i]);
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(sheet.Cells(static_cast<int>(i), 0, static_cast<int>(i), 0).Value(), values[i]) << i;
  }
  EXPECT_DOUBLE_EQ(CellValue(Currency{123456}).number(), 12.3456);
  EXPECT_TRUE(CellValue(std::uint8_t{1}).is_number());
  EXPECT_FALSE(CellValue(true).is_number());
  EXPECT_EQ(CellValue(false).text(), "False");
}

}  // namespace
}  // namespace vkt::xls
