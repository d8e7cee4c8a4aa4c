#include "output/export/exportrows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "output/export/csvexport.h"
#include "output/export/exportformat.h"
#include "store/dbf/storage.h"
#include "store/measurement/measurementschema.h"

namespace vkt::output {
namespace {

TEST(ExportDates, OnlyRealCalendarDatesAndTimesOfTheInstrumentsTexts) {
  const auto d = parse_export_date("29.02.2024");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->year, 2024);
  EXPECT_EQ(d->month, 2);
  EXPECT_EQ(d->day, 29);
  for (const char* bad : {"29.02.2023", "31.04.2024", "00.01.2024", "01.13.2024", "1.1.2024", "01-01-2024",
                          "01.01.1899", "", "01.01.20245", "0a.01.2024"}) {
    EXPECT_FALSE(parse_export_date(bad)) << bad;
  }
  const auto t = parse_export_time("23:59:58");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->hour * 3600 + t->minute * 60 + t->second, 86398);
  for (const char* bad : {"24:00:00", "12:60:00", "12:00:60", "12.00.00", "1:00:00", ""}) {
    EXPECT_FALSE(parse_export_time(bad)) << bad;
  }
}

TEST(ExportCsv, QuotingDecimalMarkAndStyles) {
  dbf::Table t;
  t.create(std::make_unique<dbf::MemoryStorage>(), measurement::measurement_field_specs());
  t.append();
  t.set_double("N", 1);
  t.set_double("P", -12.5);
  t.set_integer("D3", 7001);
  t.set_text("COMMENT", "a;b, \"c\"\nd");
  t.post();

  const std::string ru = export_table_to_csv_text(t, csv_style_for_decimal(','));
  const std::string row_ru = ru.substr(ru.find("\r\n") + 2);
  EXPECT_EQ(row_ru, "1;;;;;;0;-12,5;0;0;0;0;0;0;7001;0;0;0;\"a;b, \"\"c\"\"\nd\"\r\n");
  const std::string en = export_table_to_csv_text(t, csv_style_for_decimal('.'));
  EXPECT_EQ(en.substr(en.find("\r\n") + 2),
            "1,,,,,,0,-12.5,0,0,0,0,0,0,7001,0,0,0,\"a;b, \"\"c\"\"\nd\"\r\n");
  EXPECT_EQ(ru.rfind("\xEF\xBB\xBFN;", 0), 0u);

  EXPECT_THROW(export_table_to_csv_text(t, CsvStyle{',', ','}), std::invalid_argument);
  EXPECT_THROW(export_table_to_csv_text(t, CsvStyle{'"', '.'}), std::invalid_argument);
}

TEST(ExportFormats, NamedOrByExtension) {
  EXPECT_EQ(export_format_named("XLSX"), ExportFormat::Xlsx);
  EXPECT_FALSE(export_format_named("ods"));
  EXPECT_EQ(export_format_for_file("/a/b.CSV"), ExportFormat::Csv);
  EXPECT_EQ(export_format_for_file("b.xlsx"), ExportFormat::Xlsx);
  EXPECT_EQ(export_format_for_file("b.xlsx.bak"), ExportFormat::Xls);
}

// A build without libxlsxwriter says so instead of writing anything.
TEST(ExportFormats, XlsxOnlyWhereTheBuildHasIt) {
  dbf::Table t;
  t.create(std::make_unique<dbf::MemoryStorage>(), measurement::measurement_field_specs());
  const auto dir = std::filesystem::temp_directory_path() /
                   ("vkt-xlsx-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                    std::to_string(reinterpret_cast<std::uintptr_t>(&t)));
  std::filesystem::create_directories(dir);
  const std::string out = (dir / "e.xlsx").string();
  ExportRequest request;
  request.format = ExportFormat::Xlsx;
  if (xlsx_supported()) {
    export_table(t, request, out);
    std::ifstream file(out, std::ios::binary);
    char magic[2] = {};
    file.read(magic, 2);
    EXPECT_EQ(std::string(magic, 2), "PK");
  } else {
    try {
      export_table(t, request, out);
      ADD_FAILURE() << "no error";
    } catch (const ExportFormatUnavailable& e) {
      EXPECT_STREQ(e.what(), kNoXlsxText);
    }
    EXPECT_FALSE(std::filesystem::exists(out));
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), xlsx_supported() ? 1 : 0);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vkt::output
