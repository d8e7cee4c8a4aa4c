#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "store/dbf/testfiles.h"
#include "store/measurement/measurementfile.h"
#include "store/measurement/measurementschema.h"

namespace vkt::measurement {
namespace {

using dbf::DbfError;
using dbf::ErrorKind;
using dbf::Table;
using dbf::testing::file_bytes;
using dbf::testing::quoted_arg;
using dbf::testing::run_python;
using dbf::testing::ScratchDir;

// name:type:width:decimals of the 37 fields in file order, as the measurement table is laid out.
constexpr const char* kLayout =
    "N:N:18:9 DATE:C:10:0 TIME:C:8:0 DEV_TYPE:N:4:0 SERIAL:N:18:9 NB_TYPE:N:4:0 P:N:18:9 R:N:18:9 "
    "TYPE:C:15:0 COMMENT:C:100:0 PMAX:N:9:0 DPMAX:N:9:0 NV:N:9:0 DATEV:C:10:0 TIMEV:C:8:0 P1:N:9:0 "
    "D1:N:9:0 D3:N:9:0 D4:N:9:0 D5:N:9:0 P6:N:9:0 D6:N:9:0 P7:N:9:0 D7:N:9:0 P8:N:9:0 D8:N:9:0 "
    "D9:N:9:0 D10:N:9:0 T:N:18:9 P2:N:18:9 P3:C:250:0 D2:C:150:0 P4:N:18:9 P9:N:18:9 P5:C:200:0 "
    "ZAV:C:20:0 P10:N:18:9";

ErrorKind open_error(const std::filesystem::path& path) {
  Table t;
  try {
    open_measurement_file(t, path);
  } catch (const DbfError& e) {
    EXPECT_FALSE(t.is_open());
    return e.kind();
  }
  ADD_FAILURE() << "opened";
  return ErrorKind::Io;
}

TEST(MeasurementFile, NewFileHeaderAndDescriptorsAreExact) {
  ScratchDir dir;
  Table t;
  create_measurement_file(t, dir / "m.db");
  const dbf::CalendarDate today = dbf::local_today();
  t.close();
  const std::string b = file_bytes(dir / "m.db");
  ASSERT_EQ(b.size(), 1217u + 1u);
  EXPECT_EQ(b[0], 0x03);
  EXPECT_EQ(static_cast<unsigned char>(b[1]), today.year - 1900);
  EXPECT_EQ(b[2], today.month);
  EXPECT_EQ(b[3], today.day);
  EXPECT_EQ(b.substr(4, 4), std::string(4, '\0'));
  EXPECT_EQ(b.substr(8, 4), std::string("\xC1\x04\x3E\x04", 4));  // 1217, 1086
  EXPECT_EQ(b.substr(12, 17), std::string(17, '\0'));             // 12-28: flags, index flag clear
  EXPECT_EQ(static_cast<unsigned char>(b[29]), 0xC9);
  EXPECT_EQ(b.substr(30, 2), std::string(2, '\0'));

  std::istringstream layout(kLayout);
  std::string item;
  std::size_t at = 32;
  while (layout >> item) {
    std::istringstream parts(item);
    std::string name, type, width, decimals;
    std::getline(parts, name, ':');
    std::getline(parts, type, ':');
    std::getline(parts, width, ':');
    std::getline(parts, decimals, ':');
    std::string d(32, '\0');
    d.replace(0, name.size(), name);
    d[11] = type[0];
    d[16] = static_cast<char>(std::stoi(width));
    d[17] = static_cast<char>(std::stoi(decimals));
    EXPECT_EQ(b.substr(at, 32), d) << name;
    at += 32;
  }
  EXPECT_EQ(at, 32u + 37u * 32u);
  EXPECT_EQ(b[at], 0x0D);
  EXPECT_EQ(b[at + 1], 0x1A);
}

TEST(MeasurementFile, ImportedRowsAreReadBackByDbfreadAndAdmittedAsDeviceA) {
  ScratchDir dir;
  Table t;
  create_measurement_file(t, dir / "m.db");
  t.set_filter("NB_TYPE=0");
  t.last();
  EXPECT_EQ(t.count(), 0u);
  for (int n = 1; n <= 3; ++n) {
    t.append();
    t.set_integer("N", n);
    t.set_text("DATE", "12.05.2011");
    t.set_text("TIME", "10:00:0" + std::to_string(n));
    t.set_text("P5", "Индивидуальная зависимость №1");
    t.set_text("D2", "Пески, супеси");
    t.set_text("P3", "0.3");
    t.set_integer("D9", 65535);
    t.set_double("P", 120);
    t.set_double("R", 130.5);
    t.set_integer("D3", 2100);
    t.set_text("COMMENT", std::string(60, 'x') + std::string(60, 'y'));  // longer than 100
    t.post();
  }
  EXPECT_EQ(t.count(), 3u);
  EXPECT_EQ(t.raw_field(1, 0), "       1.000000000");
  ASSERT_TRUE(t.last());
  EXPECT_EQ(t.read_text("TIME"), "10:00:03");
  EXPECT_EQ(t.read_text("COMMENT"), std::string(60, 'x') + std::string(40, 'y'));
  EXPECT_TRUE(t.is_empty("NB_TYPE"));
  EXPECT_TRUE(t.is_empty("DEV_TYPE"));
  EXPECT_TRUE(t.is_empty("SERIAL"));
  EXPECT_EQ(*t.read_integer("D9"), 65535);
  t.set_filter("NB_TYPE=1");
  EXPECT_EQ(t.count(), 0u);

  const std::string ours = dbf::testing::our_dump(t);
  t.close();
  EXPECT_EQ(run_python("dbf_dump.py", quoted_arg(dir / "m.db")), ours);
}

TEST(MeasurementFile, IndependentlyWrittenDeviceBFileIsReadAndSplitByKind) {
  ScratchDir dir;
  for (const bool pad : {false, true}) {
    const auto path = dir / (pad ? "b3.db" : "b.db");
    run_python("../measurement/write_device_b.py", quoted_arg(path) + (pad ? " --dbase3-pad" : ""));
    Table t;
    open_measurement_file(t, path);
    EXPECT_EQ(t.count(), 5u);
    t.set_filter("NB_TYPE=1");
    ASSERT_EQ(t.count(), 3u);
    ASSERT_TRUE(t.first());
    EXPECT_EQ(*t.read_integer("DEV_TYPE"), 2);
    EXPECT_EQ(*t.read_double("SERIAL"), 1234.0);
    EXPECT_EQ(*t.read_double("P"), 12.34);
    EXPECT_EQ(*t.read_double("R"), 5.67);
    EXPECT_EQ(t.read_text("ZAV"), "базовая");
    EXPECT_EQ(t.read_text("COMMENT"), "Плита №1, µ");
    EXPECT_EQ(t.read_text("DATE"), "01.02.2010");
    ASSERT_TRUE(t.next());
    EXPECT_EQ(*t.read_double("P"), 12.35);
    EXPECT_EQ(t.read_text("ZAV"), "3");
    EXPECT_TRUE(t.is_empty("COMMENT"));
    ASSERT_TRUE(t.next());
    EXPECT_EQ(*t.read_double("R"), -1.5);
    EXPECT_EQ(t.read_text("COMMENT"), std::string(100, 'x'));
    EXPECT_FALSE(t.next());

    t.set_filter("NB_TYPE=0");
    ASSERT_EQ(t.count(), 2u);  // one with NB_TYPE empty, one with 0
    ASSERT_TRUE(t.last());
    EXPECT_EQ(*t.read_double("R"), 96.0);
    EXPECT_EQ(t.read_text("TIME"), "10:05:00");
  }
}

TEST(MeasurementFile, ForeignTablesAreRefusedAsNotOurSchema) {
  ScratchDir dir;
  std::vector<dbf::FieldSpec> fields = measurement_field_specs();
  {
    auto missing = fields;
    missing.erase(missing.begin() + 10);
    Table t;
    t.create(dir / "missing.db", missing);
  }
  EXPECT_EQ(open_error(dir / "missing.db"), ErrorKind::NotOurSchema);
  {
    auto wider = fields;
    wider[9].width = 101;  // COMMENT
    Table t;
    t.create(dir / "wider.db", wider);
  }
  EXPECT_EQ(open_error(dir / "wider.db"), ErrorKind::NotOurSchema);
  {
    auto text = fields;
    text[5] = {"NB_TYPE", dbf::FieldType::Character, 4, 0};
    Table t;
    t.create(dir / "text.db", text);
  }
  EXPECT_EQ(open_error(dir / "text.db"), ErrorKind::NotOurSchema);
  EXPECT_EQ(open_error(dir / "none.db"), ErrorKind::NotFound);
  {
    Table held;
    create_measurement_file(held, dir / "held.db");
    EXPECT_EQ(open_error(dir / "held.db"), ErrorKind::Locked);
  }
  Table t;
  EXPECT_NO_THROW(open_measurement_file(t, dir / "held.db"));
}

TEST(MeasurementFile, IndexFlagWithoutItsFileIsCleared) {
  ScratchDir dir;
  {
    Table t;
    create_measurement_file(t, dir / "m.db");
    t.set_production_index_flag(true);
    t.set_field_tag_flag(0, true);
  }
  {
    dbf::testing::write_bytes(dir / "k.mdx", "not checked here");
    Table t;
    std::filesystem::copy_file(dir / "m.db", dir / "k.db");
    open_measurement_file(t, dir / "k.db");  // the index is there: the flag stays
    EXPECT_TRUE(t.header().production_index);
  }
  Table t;
  open_measurement_file(t, dir / "m.db");
  EXPECT_FALSE(t.header().production_index);
  EXPECT_FALSE(t.fields()[0].has_tag);
  t.close();
  const std::string b = file_bytes(dir / "m.db");
  EXPECT_EQ(b[28], 0);
  EXPECT_EQ(b[32 + 31], 0);
  EXPECT_EQ(index_path_for(dir / "m.db"), dir / "m.mdx");
}

}  // namespace
}  // namespace vkt::measurement

namespace vkt::measurement {
namespace {

using dbf::testing::ScratchDir;

TEST(MeasurementFile, AbsurdCountIsRefusedAtOnceAndUnreadableRowsAreFoundBeforeWriting) {
  ScratchDir dir;
  {
    dbf::Table t;
    create_measurement_file(t, dir / "huge.db");
  }
  // A sparse file of the size its header claims: 1,977,423 rows, about 2 GB of zeros.
  const std::uint32_t rows = 1977423;
  std::string head = dbf::testing::file_bytes(dir / "huge.db").substr(0, kHeaderLength);
  head.replace(4, 4, std::string(reinterpret_cast<const char*>(&rows), 4));
  dbf::testing::write_bytes(dir / "huge.db", head);
  std::filesystem::resize_file(dir / "huge.db", kHeaderLength + std::uint64_t{rows} * kRecordLength);
  for (const Access access : {Access::ReadOnly, Access::ReadWrite}) {
    dbf::Table t;
    try {
      open_measurement_file(t, dir / "huge.db", access);
      FAIL() << "opened";
    } catch (const dbf::DbfError& e) {
      EXPECT_EQ(e.kind(), dbf::ErrorKind::Damaged);
      EXPECT_EQ(open_failure_text(e), "База данных повреждена !");
    }
    EXPECT_FALSE(t.is_open());
  }

  dbf::Table t;
  create_measurement_file(t, dir / "m.db");
  for (int n = 1; n <= 3; ++n) {
    t.append();
    t.set_double("N", n);
    t.post();
  }
  check_measurement_rows(t);
  t.close();
  std::string bytes = dbf::testing::file_bytes(dir / "m.db");
  // D3 of the second row: after the flag and the fields before it.
  std::size_t offset = 1;
  for (const MeasurementField& f : kMeasurementFields) {
    if (f.name == "D3") {
      break;
    }
    offset += f.width;
  }
  bytes.replace(kHeaderLength + kRecordLength + offset, 3, "x\xFFy");
  dbf::testing::write_bytes(dir / "m.db", bytes);
  open_measurement_file(t, dir / "m.db");
  try {
    check_measurement_rows(t);
    FAIL() << "the second row read";
  } catch (const dbf::DbfError& e) {
    EXPECT_EQ(e.kind(), dbf::ErrorKind::Damaged);
    EXPECT_NE(std::string(e.what()).find("строка 2"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace vkt::measurement
