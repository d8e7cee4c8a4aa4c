// Whole Workbook streams: sheet records, row blocks, cell records, merged areas, and every
// stored position checked by the tests' own record walker.
#include <gtest/gtest.h>

#include "output/xls/utf16.h"
#include "output/xls/writer.h"
#include "testutil.h"

namespace vkt::xls {
namespace {

using test::Data;
using test::Record;

std::vector<Record> recordsOf(const XlsWorkbook& book) {
  const Bytes stream = workbook_stream(book);
  const Data data(stream.begin(), stream.end());
  const auto problems = test::checkPositions(data);
  for (const auto& p : problems) {
    ADD_FAILURE() << p;
  }
  return test::splitRecords(data);
}

std::vector<std::uint16_t> ids(const std::vector<Record>& records) {
  std::vector<std::uint16_t> out;
  for (const auto& r : records) {
    out.push_back(r.id);
  }
  return out;
}

void fillRows(XlsWorksheet& sheet, int rows, int columns) {
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      if (c % 2 == 0) {
        sheet.Cells(c, r, c, r).Value(r * 100.0 + c);
      } else {
        sheet.Cells(c, r, c, r).Value("т" + std::to_string(r) + "-" + std::to_string(c));
      }
    }
  }
}

TEST(SheetLayout, ASheetWithoutRangesHasAnEmptyIndexAndDimensionsAndNoRows) {
  XlsWorkbook book;
  book.AddSheet();
  const auto sheet = test::sheetRecords(recordsOf(book), 0);
  const std::vector<std::uint16_t> expected = {0x0809, 0x020B, 0x000D, 0x000C, 0x000F, 0x0011, 0x0010,
                                               0x005F, 0x002A, 0x002B, 0x0082, 0x0080, 0x0225, 0x0081,
                                               0x0014, 0x0015, 0x0083, 0x0084, 0x0026, 0x0027, 0x0028,
                                               0x0029, 0x00A1, 0x0055, 0x0200, 0x023E, 0x001D, 0x000A};
  EXPECT_EQ(ids(sheet), expected);
  EXPECT_EQ(sheet[1].data, Data(16, 0));
  EXPECT_EQ(sheet[24].data, Data(14, 0));
}

TEST(SheetLayout, ThirtyTwoRowsMakeOneBlockThirtyThreeMakeTwo) {
  for (int rows : {32, 33}) {
    XlsWorkbook book;
    fillRows(book.AddSheet(), rows, 3);
    const auto sheet = test::sheetRecords(recordsOf(book), 0);
    const std::size_t blocks = rows == 32 ? 1 : 2;
    EXPECT_EQ(test::recordsWithId(sheet, 0x00D7).size(), blocks);
    EXPECT_EQ(sheet[1].data.size(), 16 + 4 * blocks);
    EXPECT_EQ(test::u32(sheet[1].data, 4), 0u);
    EXPECT_EQ(test::u32(sheet[1].data, 8), static_cast<std::uint32_t>(rows));
    EXPECT_EQ(test::recordsWithId(sheet, 0x0208).size(), static_cast<std::size_t>(rows));
    EXPECT_EQ(test::recordsWithId(sheet, 0x00D7).back()->data.size(), 4u + 2 * (rows == 32 ? 32 : 1));
    const auto dims = test::recordsWithId(sheet, 0x0200);
    EXPECT_EQ(dims[0]->data, test::hex("00 00 00 00 " + std::string(rows == 32 ? "20" : "21") +
                                       " 00 00 00 00 00 03 00 00 00"));
  }
}

TEST(SheetLayout, SingleCellsGiveNumberAndLabelSstRecordsWithXf21AndNoMergedCells) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Cells(2, 2, 2, 2).Value(true);
  sheet.Cells(0, 2, 0, 2).Value("слева");
  sheet.Cells(1, 2, 1, 2).Value(std::int32_t{42});
  const auto records = recordsOf(book);
  const auto s = test::sheetRecords(records, 0);
  EXPECT_TRUE(test::recordsWithId(s, 0x00E5).empty());
  EXPECT_EQ(test::recordsWithId(records, 0x00E0).size(), 22u);
  const auto rows = test::recordsWithId(s, 0x0208);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]->data, test::hex("02 00 00 00 03 00 FF 00 00 00 00 00 00 00 00 00"));
  // Cells of a row in ascending column order, whatever the order they were requested in.
  std::vector<std::uint16_t> cellIds;
  for (const auto& r : s) {
    if (r.id == 0x00FD || r.id == 0x0203 || r.id == 0x0201) {
      cellIds.push_back(r.id);
      EXPECT_EQ(test::u16(r.data, 4), 21u);
    }
  }
  EXPECT_EQ(cellIds, (std::vector<std::uint16_t>{0x00FD, 0x0203, 0x00FD}));
  const auto number = test::recordsWithId(s, 0x0203);
  EXPECT_EQ(test::f64(number[0]->data, 6), 42.0);
  // String indexes follow the order of the ranges, not of the columns; a boolean is its text.
  EXPECT_EQ(test::sstStrings(records), (std::vector<std::u16string>{u"True", u"слева"}));
  const auto labels = test::recordsWithId(s, 0x00FD);
  EXPECT_EQ(test::u32(labels[0]->data, 6), 1u);
  EXPECT_EQ(test::u32(labels[1]->data, 6), 0u);
}

TEST(SheetLayout, EmptyTextsAreBlankCellsAndEqualTextsAreNotMerged) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Cells(0, 0, 0, 0).Value("");
  sheet.Cells(1, 0, 1, 0).Value("одинаково");
  sheet.Cells(2, 0, 2, 0).Value("одинаково");
  sheet.Cells(3, 0, 3, 0);  // never given a value
  const auto records = recordsOf(book);
  EXPECT_EQ(test::sstStrings(records), (std::vector<std::u16string>{u"одинаково", u"одинаково"}));
  const auto sst = test::recordsWithId(records, 0x00FC);
  EXPECT_EQ(test::u32(sst[0]->data, 0), 2u);
  EXPECT_EQ(test::u32(sst[0]->data, 4), 2u);
  const auto s = test::sheetRecords(records, 0);
  const auto blanks = test::recordsWithId(s, 0x0201);
  ASSERT_EQ(blanks.size(), 2u);
  EXPECT_EQ(blanks[0]->data, test::hex("00 00 00 00 15 00"));
  EXPECT_EQ(blanks[1]->data, test::hex("00 00 03 00 15 00"));
}

TEST(SheetLayout, EveryLabelNamesItsOwnStringWhenTextsRepeatAmongNumbersAndBlanks) {
  // Repeated texts share their bytes in the sheet, and the writer numbers strings by position:
  // more than 64 ranges, texts and numbers mixed, cross every boundary of that numbering.
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  const auto text_at = [](int r, int c) -> std::string {
    if (c == 0) {
      return r % 3 == 0 ? "" : r % 2 ? "песок" : "глина " + std::to_string(r % 5);
    }
    return "т" + std::to_string(r);
  };
  for (int r = 0; r < 150; ++r) {
    sheet.Cells(0, r, 0, r).Value(text_at(r, 0));
    sheet.Cells(1, r, 1, r).Value(static_cast<double>(r));
    sheet.Cells(2, r, 2, r).Value(text_at(r, 2));
  }
  const auto records = recordsOf(book);
  const auto strings = test::sstStrings(records);
  const auto cells = test::sheetRecords(records, 0);
  const auto labels = test::recordsWithId(cells, 0x00FD);
  ASSERT_EQ(labels.size(), 250u);
  for (const auto* label : labels) {
    const int r = test::u16(label->data, 0);
    const int c = test::u16(label->data, 2);
    const std::uint32_t n = test::u32(label->data, 6);
    ASSERT_LT(n, strings.size());
    EXPECT_EQ(strings[n], to_utf16(text_at(r, c))) << "row " << r << ", column " << c;
  }
}

TEST(SheetLayout, TextsWithLineBreaksAreStoredWithSingleLineFeeds) {
  XlsWorkbook book;
  book.AddSheet().Cells(0, 0, 0, 0).Value("первая\r\nвторая");
  EXPECT_EQ(test::sstStrings(recordsOf(book)), std::vector<std::u16string>{u"первая\nвторая"});
}

TEST(SheetLayout, MergedRangesFillTheirCellsWithBlanksAndAreListed) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Cells(1, 1, 3, 2).Value("шапка");  // 3 columns × 2 rows
  sheet.Cells(0, 1, 0, 2).Value(7.0);      // 1 column × 2 rows, left of it
  sheet.Cells(4, 1, 5, 1);                 // empty, 2 columns
  const auto s = test::sheetRecords(recordsOf(book), 0);
  std::vector<std::string> cells;
  for (const auto& r : s) {
    if (r.data.size() < 4) {
      continue;
    }
    const std::string where =
        std::to_string(test::u16(r.data, 0)) + ":" + std::to_string(test::u16(r.data, 2));
    if (r.id == 0x0203) {
      cells.push_back("N" + where);
    } else if (r.id == 0x00FD) {
      cells.push_back("L" + where);
    } else if (r.id == 0x0201) {
      cells.push_back("B" + where);
    } else if (r.id == 0x00BE) {
      cells.push_back("M" + where + "-" + std::to_string(test::u16(r.data, r.data.size() - 2)));
    }
  }
  EXPECT_EQ(cells, (std::vector<std::string>{"N1:0", "L1:1", "M1:2-3", "M1:4-5", "B2:0", "M2:1-3"}));
  const auto merged = test::recordsWithId(s, 0x00E5);
  ASSERT_EQ(merged.size(), 1u);
  EXPECT_EQ(merged[0]->data,
            test::hex("03 00 01 00 02 00 01 00 03 00 01 00 02 00 00 00 00 00 01 00 01 00 04 00 05 00"));
  const auto mul = test::recordsWithId(s, 0x00BE);
  EXPECT_EQ(test::u16(mul[0]->data, 4), 21u) << "the first merged range's XF";
}

TEST(SheetLayout, MergedCellsRecordsHoldAtMost1024Areas) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  for (int i = 0; i < 1500; ++i) {
    sheet.Cells((i % 50) * 2, i / 50, (i % 50) * 2 + 1, i / 50).Value(static_cast<double>(i));
  }
  const auto sheetRecords = test::sheetRecords(recordsOf(book), 0);
  const auto merged = test::recordsWithId(sheetRecords, 0x00E5);
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(test::u16(merged[0]->data, 0), 1024u);
  EXPECT_EQ(merged[0]->data.size(), 2u + 8 * 1024);
  EXPECT_EQ(test::u16(merged[1]->data, 0), 476u);
  // The 1025th area (list order) opens the second record.
  EXPECT_EQ(Data(merged[1]->data.begin() + 2, merged[1]->data.begin() + 10),
            test::hex("14 00 14 00 30 00 31 00"));
}

TEST(SheetLayout, RowsNoRangeTouchesAreWrittenEmpty) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Cells(0, 5, 0, 5).Value(1.0);
  sheet.Cells(2, 9, 2, 9).Value(2.0);
  sheet.Cells(0, 7, 4, 7);
  sheet.Cells(1, 7, 1, 7).Value(3.0);  // replaces the wide range: row 7 is left with one cell
  const auto s = test::sheetRecords(recordsOf(book), 0);
  const auto rows = test::recordsWithId(s, 0x0208);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[1]->data, test::hex("06 00 00 00 00 00 FF 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(test::u16(rows[2]->data, 2), 1u);
  const auto db = test::recordsWithId(s, 0x00D7);
  ASSERT_EQ(db.size(), 1u);
  EXPECT_EQ(test::u16(db[0]->data, 6), 0u) << "row 6 has no cells";
  const auto dims = test::recordsWithId(s, 0x0200);
  EXPECT_EQ(dims[0]->data, test::hex("05 00 00 00 0A 00 00 00 00 00 05 00 00 00"))
      << "the used area keeps the removed range's columns";
}

TEST(SheetLayout, SeveralSheetsEachFoundThroughBoundSheetAndOnlyTheFirstSelected) {
  XlsWorkbook book;
  fillRows(book.AddSheet(), 40, 4);
  book.AddSheet();
  fillRows(book.AddSheet(), 70, 19);
  const auto records = recordsOf(book);
  for (std::size_t i = 0; i < 3; ++i) {
    const auto sheet = test::sheetRecords(records, i);
    const auto w2 = test::recordsWithId(sheet, 0x023E);
    ASSERT_EQ(w2.size(), 1u);
    EXPECT_EQ(test::u16(w2[0]->data, 0), i == 0 ? 0x06B6 : 0x04B6);
  }
  EXPECT_EQ(test::recordsWithId(records, 0x013D)[0]->data, test::hex("01 00 02 00 03 00"));
}

TEST(SheetLayout, LargeSheetWithLongTextsKeepsEveryPositionRight) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  for (int r = 0; r < 700; ++r) {
    sheet.Cells(0, r, 0, r).Value(std::string(static_cast<std::size_t>((r * 131) % 9000), 'z') + "ы");
    sheet.Cells(1, r, 1, r).Value(static_cast<double>(r));
  }
  const auto records = recordsOf(book);
  EXPECT_EQ(test::sstStrings(records).size(), 700u);
  EXPECT_GT(test::recordsWithId(records, 0x003C).size(), 100u);
}

}  // namespace
}  // namespace vkt::xls
