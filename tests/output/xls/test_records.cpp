// Each record's bytes against the published layout and the writer's fixed tables. The expected
// bytes are written out here by hand.
#include <gtest/gtest.h>

#include "output/xls/records.h"
#include "output/xls/workbook.h"
#include "output/xls/writer.h"
#include "testutil.h"

namespace vkt::xls {
namespace {

using test::Data;
using test::hex;

template <typename F>
Data bytesOf(F&& write) {
  Bytes out;
  write(out);
  return Data(out.begin(), out.end());
}

Data withHeader(const std::string& head, const Data& body) {
  Data d = hex(head);
  d.insert(d.end(), body.begin(), body.end());
  return d;
}

TEST(Records, GlobalsRecordsMatchTheirLayouts) {
  EXPECT_EQ(bytesOf([](Bytes& o) { record::bof(o, record::BofType::Globals); }),
            hex("09 08 10 00 00 06 05 00 BB 0D CC 07 00 00 00 00 00 06 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::interface_hdr(o); }), hex("E1 00 02 00 E4 04"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::interface_end(o); }), hex("E2 00 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::code_page(o); }), hex("42 00 02 00 E4 04"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::excel9_file(o); }), hex("C0 01 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::tab_id(o, 3); }), hex("3D 01 06 00 01 00 02 00 03 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::fn_group_count(o); }), hex("9C 00 02 00 0E 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::window1(o); }),
            hex("3D 00 12 00 68 01 1E 00 1E 1D 60 18 38 00 00 00 00 00 01 00 58 02"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::precision(o); }), hex("0E 00 02 00 01 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::country(o); }), hex("8C 00 04 00 07 00 07 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::eof(o); }), hex("0A 00 00 00"));
}

TEST(Records, WriteAccessIsTheCountedTitleFilledWithBlanksTo112Bytes) {
  Data body = hex("07 00 01");
  test::appendText(body, u"PReport");
  body.resize(112, 0x20);
  EXPECT_EQ(bytesOf([](Bytes& o) { record::write_access(o, "PReport"); }), withHeader("5C 00 70 00", body));
}

TEST(Records, FontHasWeight100AndCharacterSet1) {
  Data body = hex("C8 00 00 00 08 00 64 00 00 00 00 00 01 00 05 01");
  test::appendText(body, u"Arial");
  EXPECT_EQ(bytesOf([](Bytes& o) { record::font(o, record::FontRecord{}); }),
            withHeader("31 00 1A 00", body));

  record::FontRecord styled;
  styled.italic = true;
  styled.strike_out = true;
  styled.bold = true;
  styled.underline = true;
  styled.colour_index = 10;
  const Data styledBytes = bytesOf([&](Bytes& o) { record::font(o, styled); });
  EXPECT_EQ(Data(styledBytes.begin() + 4, styledBytes.begin() + 16),
            hex("C8 00 0A 00 0A 00 E8 03 00 00 01 00"));
}

TEST(Records, FormatBoundSheetAndTextsAreUncompressedUtf16) {
  Data format = hex("29 00 03 00 01");
  test::appendText(format, u"0.0");
  EXPECT_EQ(bytesOf([](Bytes& o) { record::format(o, 41, "0.0"); }), withHeader("1E 04 0B 00", format));

  Data sheet = hex("00 00 00 00 00 00 07 01");
  test::appendText(sheet, u"ВКТ-РС7");
  EXPECT_EQ(bytesOf([](Bytes& o) { record::bound_sheet(o, "ВКТ-РС7"); }), withHeader("85 00 16 00", sheet));
}

TEST(Records, SheetSettingsRecords) {
  EXPECT_EQ(bytesOf([](Bytes& o) { record::bof(o, record::BofType::Worksheet); }),
            hex("09 08 10 00 00 06 10 00 BB 0D CC 07 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::delta(o); }), hex("10 00 08 00 FC A9 F1 D2 4D 62 50 3F"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::guts(o); }), hex("80 00 08 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::default_row_height(o); }), hex("25 02 04 00 00 00 FF 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::ws_bool(o); }), hex("81 00 02 00 C1 04"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::left_margin(o, 2.0); }),
            hex("26 00 08 00 00 00 00 00 00 00 00 40"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::top_margin(o, 2.5); }),
            hex("28 00 08 00 00 00 00 00 00 00 04 40"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::setup(o, XlsPageSetup{}); }),
            hex("A1 00 22 00 09 00 64 00 01 00 01 00 01 00 02 00 00 00 00 00 "
                "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::def_col_width(o); }), hex("55 00 02 00 08 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::window2(o, true); }),
            hex("3E 02 12 00 B6 06 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::window2(o, false); }),
            hex("3E 02 12 00 B6 04 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::selection(o); }),
            hex("1D 00 0F 00 03 00 00 00 00 00 00 01 00 00 00 00 00 00 00"));
}

TEST(Records, IndexAndDimensions) {
  EXPECT_EQ(bytesOf([](Bytes& o) { record::index(o, 0, 0, 0); }),
            hex("0B 02 10 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::index(o, 3, 40, 2); }),
            hex("0B 02 18 00 00 00 00 00 03 00 00 00 28 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::dimensions(o, UsedArea{}); }),
            hex("00 02 0E 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) {
              record::dimensions(o, UsedArea{1, 2, 18, 65535});
            }),
            hex("00 02 0E 00 02 00 00 00 00 00 01 00 01 00 13 00 00 00"));
}

TEST(Records, RowAndCellRecords) {
  EXPECT_EQ(bytesOf([](Bytes& o) { record::row(o, 0x1234, 2, 19); }),
            hex("08 02 10 00 34 12 02 00 13 00 FF 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::number(o, 1, 2, 21, 1.5); }),
            hex("03 02 0E 00 01 00 02 00 15 00 00 00 00 00 00 00 F8 3F"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::label_sst(o, 1, 3, 21, 0x010203); }),
            hex("FD 00 0A 00 01 00 03 00 15 00 03 02 01 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::blank(o, 7, 4, 22); }), hex("01 02 06 00 07 00 04 00 16 00"));
  EXPECT_EQ(bytesOf([](Bytes& o) { record::mul_blank(o, 7, 4, 6, 22); }),
            hex("BE 00 0C 00 07 00 04 00 16 00 16 00 16 00 06 00"));
  const std::uint16_t offsets[] = {0x0264, 0x0012, 0};
  EXPECT_EQ(bytesOf([&](Bytes& o) { record::db_cell(o, 0x1000, offsets); }),
            hex("D7 00 0A 00 00 10 00 00 64 02 12 00 00 00"));
  const record::MergedArea areas[] = {{1, 2, 3, 4}, {5, 5, 0, 255}};
  EXPECT_EQ(bytesOf([&](Bytes& o) { record::merged_cells(o, areas); }),
            hex("E5 00 12 00 02 00 01 00 02 00 03 00 04 00 05 00 05 00 00 00 FF 00"));
}

TEST(Records, PaletteListsRedGreenBlueAndAZeroByte) {
  const std::uint32_t colours[] = {0x102030, 0xFFFFFF};
  EXPECT_EQ(bytesOf([&](Bytes& o) { record::palette(o, colours); }),
            hex("92 00 0A 00 02 00 10 20 30 00 FF FF FF 00"));
}

TEST(Records, LongDataContinueInContinueRecords) {
  Data data(8224 * 2 + 5);
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<std::uint8_t>(i * 7);
  }
  const Data out = bytesOf([&](Bytes& o) { record::framed(o, 0x00FF, data); });
  const auto records = test::splitRecords(out);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].id, 0x00FF);
  EXPECT_EQ(records[1].id, 0x003C);
  EXPECT_EQ(records[2].id, 0x003C);
  EXPECT_EQ(records[0].data.size(), 8224u);
  EXPECT_EQ(records[2].data.size(), 5u);
  Data joined;
  for (const auto& r : records) {
    joined.insert(joined.end(), r.data.begin(), r.data.end());
  }
  EXPECT_EQ(joined, data);
  EXPECT_EQ(bytesOf([](Bytes& o) { record::framed(o, 0x0015, {}); }), hex("15 00 00 00"));
}

// The globals of a real workbook: font, format, XF and STYLE tables as the writer's tables fix
// them, written out here from those tables.
class WorkbookGlobals : public ::testing::Test {
 protected:
  void SetUp() override {
    XlsWorksheet& sheet = book.AddSheet();
    sheet.Cells(0, 0, 0, 0).Value("текст");
    sheet.Cells(1, 0, 1, 0).Value(2.0);
    const Bytes stream = workbook_stream(book);
    records = test::splitRecords(Data(stream.begin(), stream.end()));
  }
  XlsWorkbook book;
  std::vector<test::Record> records;
};

TEST_F(WorkbookGlobals, GlobalsComeInTheirOrder) {
  std::vector<std::uint16_t> ids;
  for (const auto& r : records) {
    ids.push_back(r.id);
    if (r.id == 0x000A) {
      break;
    }
  }
  std::vector<std::uint16_t> expected = {0x0809, 0x00E1, 0x00C1, 0x00E2, 0x005C, 0x0042, 0x0161, 0x01C0,
                                         0x013D, 0x009C, 0x0019, 0x0012, 0x0013, 0x01AF, 0x01BC, 0x003D,
                                         0x0040, 0x008D, 0x0022, 0x000E, 0x01B7, 0x00DA};
  expected.insert(expected.end(), 5, 0x0031);
  expected.insert(expected.end(), 8, 0x041E);
  expected.insert(expected.end(), 22, 0x00E0);
  expected.insert(expected.end(), 6, 0x0293);
  for (std::uint16_t id : {0x0160, 0x0085, 0x008C, 0x00FC, 0x00FF, 0x000A}) {
    expected.push_back(id);
  }
  EXPECT_EQ(ids, expected);
}

TEST_F(WorkbookGlobals, FourDefaultFontsAndTheCellFontAllBlackArial10) {
  const auto fonts = test::recordsWithId(records, 0x0031);
  ASSERT_EQ(fonts.size(), 5u);
  Data body = hex("C8 00 00 00 08 00 64 00 00 00 00 00 01 00 05 01");
  test::appendText(body, u"Arial");
  for (const auto* f : fonts) {
    EXPECT_EQ(f->data, body);
  }
}

TEST_F(WorkbookGlobals, EightRoubleCurrencyFormats) {
  const std::vector<std::pair<std::uint16_t, std::u16string>> expected = {
      {5, u"#,##0\"р.\";\\-#,##0\"р.\""},
      {6, u"#,##0\"р.\";[Red]\\-#,##0\"р.\""},
      {7, u"#,##0.00\"р.\";\\-#,##0.00\"р.\""},
      {8, u"#,##0.00\"р.\";[Red]\\-#,##0.00\"р.\""},
      {42, u"_-* #,##0\"р.\"_-;\\-* #,##0\"р.\"_-;_-* \"-\"\"р.\"_-;_-@_-"},
      {41, u"_-* #,##0_р_._-;\\-* #,##0_р_._-;_-* \"-\"_р_._-;_-@_-"},
      {44, u"_-* #,##0.00\"р.\"_-;\\-* #,##0.00\"р.\"_-;_-* \"-\"??\"р.\"_-;_-@_-"},
      {43, u"_-* #,##0.00_р_._-;\\-* #,##0.00_р_._-;_-* \"-\"??_р_._-;_-@_-"},
  };
  const auto formats = test::recordsWithId(records, 0x041E);
  ASSERT_EQ(formats.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    Data body;
    test::appendU16(body, expected[i].first);
    test::appendU16(body, static_cast<std::uint16_t>(expected[i].second.size()));
    body.push_back(1);
    test::appendText(body, expected[i].second);
    EXPECT_EQ(formats[i]->data, body) << "format " << expected[i].first;
  }
}

TEST_F(WorkbookGlobals, StyleXfsFixedCellXfsAndXf21) {
  const auto xfs = test::recordsWithId(records, 0x00E0);
  ASSERT_EQ(xfs.size(), 22u);
  const Data style0 = hex("00 00 00 00 F5 FF 20 00 00 00 00 00 00 00 00 00 00 00 C0 20");
  const Data style12 = hex("01 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20");
  const Data style34 = hex("02 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20");
  const Data styleRest = hex("00 00 00 00 F5 FF 20 00 00 F4 00 00 00 00 00 00 00 00 C0 20");
  EXPECT_EQ(xfs[0]->data, style0);
  EXPECT_EQ(xfs[1]->data, style12);
  EXPECT_EQ(xfs[2]->data, style12);
  EXPECT_EQ(xfs[3]->data, style34);
  EXPECT_EQ(xfs[4]->data, style34);
  for (int i = 5; i < 15; ++i) {
    EXPECT_EQ(xfs[static_cast<std::size_t>(i)]->data, styleRest) << "XF " << i;
  }
  EXPECT_EQ(xfs[15]->data, hex("00 00 00 00 01 00 20 00 00 00 00 00 00 00 00 00 00 00 C0 20"));
  EXPECT_EQ(xfs[16]->data, hex("01 00 2C 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20"));
  EXPECT_EQ(xfs[17]->data, hex("01 00 2A 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20"));
  EXPECT_EQ(xfs[18]->data, hex("01 00 09 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20"));
  EXPECT_EQ(xfs[19]->data, hex("01 00 2B 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20"));
  EXPECT_EQ(xfs[20]->data, hex("01 00 29 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20"));
  EXPECT_EQ(xfs[21]->data, hex("05 00 00 00 01 00 20 00 00 7C 00 00 00 00 00 00 00 00 08 04"));

  const auto styles = test::recordsWithId(records, 0x0293);
  ASSERT_EQ(styles.size(), 6u);
  const char* expected[] = {"10 80 04 FF", "11 80 07 FF", "00 80 00 FF",
                            "12 80 05 FF", "13 80 03 FF", "14 80 06 FF"};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(styles[i]->data, hex(expected[i]));
  }
  EXPECT_TRUE(test::recordsWithId(records, 0x0092).empty()) << "no PALETTE while every colour is standard";
}

TEST(WorkbookGlobalsMerged, AMergedRangeGetsTheMergedFlagInItsXf) {
  XlsWorkbook book;
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Cells(0, 0, 1, 0).Value("объединено");
  sheet.Cells(0, 1, 0, 1).Value(1.0);
  const Bytes stream = workbook_stream(book);
  const auto records = test::splitRecords(Data(stream.begin(), stream.end()));
  const auto xfs = test::recordsWithId(records, 0x00E0);
  ASSERT_EQ(xfs.size(), 23u);
  // First use decides the numbering: the merged range came first.
  EXPECT_EQ(xfs[21]->data, hex("05 00 00 00 01 00 20 00 20 7C 00 00 00 00 00 00 00 00 08 04"));
  EXPECT_EQ(xfs[22]->data, hex("05 00 00 00 01 00 20 00 00 7C 00 00 00 00 00 00 00 00 08 04"));
}

}  // namespace
}  // namespace vkt::xls
