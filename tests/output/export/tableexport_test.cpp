#include "output/export/tableexport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "output/xls/workbook.h"
#include "store/dbf/storage.h"
#include "store/measurement/measurementschema.h"

namespace vkt::output {
namespace {

using xls::CellValue;
using Kind = xls::CellValue::Kind;

std::unique_ptr<dbf::Table> new_table() {
  auto table = std::make_unique<dbf::Table>();
  table->create(std::make_unique<dbf::MemoryStorage>(), measurement::measurement_field_specs());
  return table;
}

void add_device_a_row(dbf::Table& t, int n, const std::string& date, int modulus,
                      const std::string& comment = {}) {
  t.append();
  t.set_double("N", n);
  t.set_text("DATE", date);
  t.set_text("TIME", "10:00:0" + std::to_string(n % 10));
  t.set_text("P5", "Базовая зависимость №1");
  t.set_text("D2", "Суглинки");
  t.set_text("P3", "0.3");
  t.set_integer("D9", modulus);
  t.set_double("P", modulus - 1);
  t.set_double("R", modulus);
  t.set_double("T", modulus + 1);
  t.set_double("P10", 300);
  t.set_double("P9", 301);
  t.set_double("P2", 302);
  t.set_double("P4", 303);
  t.set_integer("D3", 7000);
  t.set_integer("D4", 7001);
  t.set_integer("D5", 7002);
  t.set_integer("D6", 7003);
  if (!comment.empty()) {
    t.set_text("COMMENT", comment);
  }
  t.post();
}

void add_device_b_row(dbf::Table& t, int n, double p, double r) {
  t.append();
  t.set_double("N", n);
  t.set_text("DATE", "01.02.2010");
  t.set_text("TIME", "12:30:00");
  t.set_integer("DEV_TYPE", 15);
  t.set_double("SERIAL", 1234);
  t.set_integer("NB_TYPE", 1);
  t.set_double("P", p);
  t.set_double("R", r);
  t.set_text("ZAV", "базовая");
  t.set_text("COMMENT", "отрыв");
  t.post();
}

// The sheet as rows of cell values, for comparing whole sheets.
std::vector<std::vector<CellValue>> cells_of(const xls::XlsWorksheet& sheet) {
  std::vector<std::vector<CellValue>> rows;
  for (const auto& range : sheet.ranges()) {
    EXPECT_FALSE(range.is_merged());
    if (rows.size() <= std::size_t(range.top)) {
      rows.resize(std::size_t(range.top) + 1, std::vector<CellValue>(kExportColumnCount));
    }
    rows[std::size_t(range.top)].at(std::size_t(range.left)) = sheet.value(range);
  }
  return rows;
}

TEST(ExportSheet, DeviceARowsUnderTheExportHeadersWithTheirTypes) {
  auto table = new_table();
  add_device_a_row(*table, 1, "05.05.2011", 120, "край\nплощадки");
  add_device_b_row(*table, 1, 1.25, 0.5);
  add_device_a_row(*table, 2, "06.05.2011", 95);
  table->set_filter("NB_TYPE=0");

  xls::XlsWorkbook book;
  auto& sheet = book.AddSheet();
  export_table_to_sheet(*table, 0, sheet);
  EXPECT_EQ(sheet.Name(), "ВКТ-РС7");
  const auto rows = cells_of(sheet);
  ASSERT_EQ(rows.size(), 3u);

  const std::vector<std::string> headers = {"N",
                                            "Дата",
                                            "Время",
                                            "Вид зависимости",
                                            "Материал",
                                            "\xC2\xB5",
                                            "Модуль упругости, Fср, МН/м.кв",
                                            "Модуль упругости, F1, МН/м.кв",
                                            "Модуль упругости, F2, МН/м.кв",
                                            "Модуль упругости, F3, МН/м.кв",
                                            "Перемещение Lср, мкм.",
                                            "Перемещение L1, мкм.",
                                            "Перемещение L2, мкм.",
                                            "Перемещение L3, мкм.",
                                            "Сила удара Fmax.ср, H",
                                            "Сила удара Fmax1, H",
                                            "Сила удара Fmax2, H",
                                            "Сила удара Fmax3, H",
                                            "Примечание"};
  for (std::size_t c = 0; c < headers.size(); ++c) {
    EXPECT_EQ(rows[0][c], CellValue(headers[c])) << c;
  }
  // Latin letters where the headers have them.
  EXPECT_NE(rows[0][6].text().find("F"), std::string::npos);
  EXPECT_NE(rows[0][10].text().find("L"), std::string::npos);
  EXPECT_EQ(rows[0][14].text().back(), 'H');

  const std::vector<CellValue> first = {CellValue(1.0),
                                        CellValue("05.05.2011"),
                                        CellValue("10:00:01"),
                                        CellValue("Базовая зависимость №1"),
                                        CellValue("Суглинки"),
                                        CellValue("0.3"),
                                        CellValue(std::int32_t{120}),
                                        CellValue(119.0),
                                        CellValue(120.0),
                                        CellValue(121.0),
                                        CellValue(300.0),
                                        CellValue(301.0),
                                        CellValue(302.0),
                                        CellValue(303.0),
                                        CellValue(std::int32_t{7000}),
                                        CellValue(std::int32_t{7001}),
                                        CellValue(std::int32_t{7002}),
                                        CellValue(std::int32_t{7003}),
                                        CellValue("край\nплощадки")};
  EXPECT_EQ(rows[1], first);
  EXPECT_EQ(rows[2][0], CellValue(2.0));
  EXPECT_EQ(rows[2][6], CellValue(std::int32_t{95}));
  EXPECT_EQ(rows[2][18].kind(), Kind::Empty);  // no comment: a blank cell
}

TEST(ExportSheet, DeviceBRowsPutPAndRUnderTheModulusColumnsAndZerosElsewhere) {
  auto table = new_table();
  add_device_a_row(*table, 1, "05.05.2011", 120);
  add_device_b_row(*table, 7, 1.25, 0.5);
  add_device_b_row(*table, 8, 2.75, 1.1);
  table->set_filter("NB_TYPE=1");

  xls::XlsWorkbook book;
  auto& sheet = book.AddSheet();
  export_table_to_sheet(*table, 15, sheet);
  EXPECT_EQ(sheet.Name(), "ВКТ-РС");
  const auto rows = cells_of(sheet);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][7], CellValue("Модуль упругости, F1, МН/м.кв"));
  const auto& row = rows[1];
  EXPECT_EQ(row[0], CellValue(7.0));
  EXPECT_EQ(row[1], CellValue("01.02.2010"));
  EXPECT_EQ(row[2], CellValue("12:30:00"));
  for (std::size_t c : {3u, 4u, 5u}) {
    EXPECT_EQ(row[c].kind(), Kind::Empty) << c;
  }
  EXPECT_EQ(row[7], CellValue(1.25));
  EXPECT_EQ(row[8], CellValue(0.5));
  EXPECT_EQ(row[6], CellValue(std::int32_t{0}));
  for (std::size_t c = 9; c <= 13; ++c) {
    EXPECT_EQ(row[c], CellValue(0.0)) << c;
  }
  for (std::size_t c = 14; c <= 17; ++c) {
    EXPECT_EQ(row[c], CellValue(std::int32_t{0})) << c;
  }
  EXPECT_EQ(row[18], CellValue("отрыв"));
  EXPECT_EQ(rows[2][8], CellValue(1.1));
}

TEST(ExportSheet, SheetNameFollowsTheTypeCodeAndAnEmptyKindGivesTheHeaderOnly) {
  EXPECT_EQ(export_sheet_name(0), "ВКТ-РС7");
  EXPECT_EQ(export_sheet_name(14), "ВКТ-РС7");
  EXPECT_EQ(export_sheet_name(15), "ВКТ-РС");
  EXPECT_EQ(export_sheet_name(255), "ВКТ-РС");

  auto table = new_table();
  add_device_a_row(*table, 1, "05.05.2011", 120);
  table->set_filter("NB_TYPE=1");
  xls::XlsWorkbook book;
  auto& sheet = book.AddSheet();
  export_table_to_sheet(*table, 1, sheet);
  EXPECT_EQ(cells_of(sheet).size(), 1u);
  EXPECT_EQ(sheet.range_count(), kExportColumnCount);
}

TEST(ExportSheet, RowsComeInFileOrderWhateverOrderTheTableWasWalkedInAndTwoExportsAgree) {
  auto table = new_table();
  for (int n = 1; n <= 5; ++n) {
    add_device_a_row(*table, n, "05.05.2011", 100 + n);
  }
  table->set_filter("NB_TYPE=0");
  table->set_order({5, 3, 1, 4, 2});
  table->last();

  xls::XlsWorkbook book;
  auto& once = book.AddSheet();
  export_table_to_sheet(*table, 0, once);
  auto& twice = book.AddSheet();
  export_table_to_sheet(*table, 0, twice);
  const auto rows = cells_of(once);
  ASSERT_EQ(rows.size(), 6u);
  for (int n = 1; n <= 5; ++n) {
    EXPECT_EQ(rows[std::size_t(n)][0], CellValue(double(n)));
  }
  EXPECT_EQ(rows, cells_of(twice));
  EXPECT_EQ(table->recno(), 5u);  // left on the last exported row
}

TEST(ExportSheet, MoreRowsThanASheetHoldsAreRefusedBeforeAnythingIsWritten) {
  auto table = new_table();
  for (std::uint32_t n = 1; n <= kMaxExportRows + 1; ++n) {
    table->append();
    table->set_double("N", n);
    table->post();
  }
  table->set_filter("NB_TYPE=0");
  xls::XlsWorkbook book;
  auto& sheet = book.AddSheet();
  try {
    export_table_to_sheet(*table, 0, sheet);
    FAIL() << "a sheet of 65,537 rows was written";
  } catch (const ExportTooLargeError& e) {
    EXPECT_NE(std::string(e.what()).find("65535"), std::string::npos);
  }
  EXPECT_EQ(sheet.range_count(), 0u);

  // One row fewer fits exactly.
  table->last();
  table->delete_row();
  auto& full = book.AddSheet();
  export_table_to_sheet(*table, 0, full);
  EXPECT_EQ(full.used_area().last_row, std::int32_t(kMaxExportRows));
}

}  // namespace
}  // namespace vkt::output
