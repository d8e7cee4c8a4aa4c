#include "store/dbf/table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testfiles.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vkt::dbf {
namespace {

using testing::file_bytes;
using testing::quoted_arg;
using testing::run_python;
using testing::ScratchDir;

std::vector<FieldSpec> sample_fields() {
  return {{"VALUE", FieldType::Numeric, 18, 9},
          {"COUNT", FieldType::Numeric, 9, 0},
          {"KIND", FieldType::Numeric, 4, 0},
          {"NAME", FieldType::Character, 20, 0},
          {"NOTE", FieldType::Character, 5, 0}};
}

std::string u16le(unsigned v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string descriptor(const std::string& name, char type, int width, int decimals) {
  std::string d(32, '\0');
  d.replace(0, name.size(), name);
  d[11] = type;
  d[16] = static_cast<char>(width);
  d[17] = static_cast<char>(decimals);
  return d;
}

void add_row(Table& t, double value, std::int64_t count, std::optional<int> kind, const std::string& name) {
  t.append();
  t.set_double("VALUE", value);
  t.set_integer("COUNT", count);
  if (kind) {
    t.set_integer("KIND", *kind);
  }
  t.set_text("NAME", name);
  t.post();
}

std::vector<std::string> names_in_view(Table& t) {
  std::vector<std::string> out;
  for (bool ok = t.first(); ok; ok = t.next()) {
    out.push_back(t.read_text("NAME"));
  }
  return out;
}

TEST(TableFile, NewFileHasThePublishedHeaderLayout) {
  ScratchDir dir;
  Table t;
  t.create(dir / "a.db", sample_fields());
  const CalendarDate today = local_today();
  t.close();

  std::string expected(32, '\0');
  expected[0] = 0x03;
  expected[1] = static_cast<char>(today.year - 1900);
  expected[2] = static_cast<char>(today.month);
  expected[3] = static_cast<char>(today.day);
  expected.replace(8, 2, u16le(32 + 5 * 32 + 1));
  expected.replace(10, 2, u16le(1 + 18 + 9 + 4 + 20 + 5));
  expected[29] = static_cast<char>(0xC9);
  expected += descriptor("VALUE", 'N', 18, 9) + descriptor("COUNT", 'N', 9, 0) +
              descriptor("KIND", 'N', 4, 0) + descriptor("NAME", 'C', 20, 0) + descriptor("NOTE", 'C', 5, 0);
  expected += "\x0D\x1A";
  EXPECT_EQ(file_bytes(dir / "a.db"), expected);
}

TEST(TableFile, ValuesSurviveReopenAndMatchDbfread) {
  ScratchDir dir;
  {
    Table t;
    t.create(dir / "a.db", sample_fields());
    add_row(t, 1, 42, 0, "Базовая зависимость №1");  // cut to 20 bytes
    add_row(t, -12.75, -99999999, 1, "µ = 0,3");
    add_row(t, 0.000000001, 0, std::nullopt, "");
    t.append();  // a row with nothing set
    t.post();
    add_row(t, 99999999, 999999999, -999, "Ёё ABC xyz ~!@#$%^&*");
    t.close();
  }
  Table t;
  t.open(dir / "a.db");
  ASSERT_EQ(t.record_count(), 5u);
  ASSERT_TRUE(t.first());
  EXPECT_EQ(*t.read_double("VALUE"), 1.0);
  EXPECT_EQ(*t.read_integer("COUNT"), 42);
  EXPECT_EQ(*t.read_integer("KIND"), 0);
  EXPECT_EQ(t.read_text("NAME"), "Базовая зависимость");  // 20 bytes, trailing blank dropped
  EXPECT_EQ(t.raw_field(1, 0), "       1.000000000");
  ASSERT_TRUE(t.next());
  EXPECT_EQ(*t.read_double("VALUE"), -12.75);
  EXPECT_EQ(*t.read_integer("COUNT"), -99999999);
  EXPECT_EQ(t.read_text("NAME"), "µ = 0,3");
  EXPECT_EQ(t.raw_field(2, 3).substr(0, 8), "\xB5 = 0,3 ");
  ASSERT_TRUE(t.next());
  EXPECT_DOUBLE_EQ(*t.read_double("VALUE"), 0.000000001);
  EXPECT_TRUE(t.is_empty("KIND"));
  EXPECT_FALSE(t.read_integer("KIND"));
  EXPECT_FALSE(t.is_empty("COUNT"));
  EXPECT_TRUE(t.is_empty("NAME"));
  ASSERT_TRUE(t.next());
  for (std::size_t i = 0; i < t.fields().size(); ++i) {
    EXPECT_TRUE(t.is_empty(i)) << i;
  }
  EXPECT_EQ(t.raw_field(4, 0), std::string(18, ' '));
  ASSERT_TRUE(t.next());
  EXPECT_EQ(*t.read_double("VALUE"), 99999999.0);
  EXPECT_EQ(*t.read_integer("COUNT"), 999999999);
  EXPECT_EQ(*t.read_integer("KIND"), -999);
  EXPECT_EQ(t.read_text("NAME"), "Ёё ABC xyz ~!@#$%^&*");
  EXPECT_FALSE(t.next());
  EXPECT_TRUE(t.eof());

  const std::string ours = testing::our_dump(t);
  t.close();
  EXPECT_EQ(run_python("dbf_dump.py", quoted_arg(dir / "a.db")), ours);
}

TEST(TableFile, PostedRowIsInTheFileBeforeClose) {
  ScratchDir dir;
  Table t;
  t.create(dir / "a.db", sample_fields());
  const std::size_t header_length = t.header().header_length;
  const std::size_t record_length = t.header().record_length;
  add_row(t, 5, 1, 0, "one");
  std::string bytes = file_bytes(dir / "a.db");
  ASSERT_EQ(bytes.size(), header_length + record_length + 1);
  EXPECT_EQ(bytes[4], 1);  // record count
  EXPECT_EQ(bytes.substr(header_length, 1 + 18), " " + std::string(7, ' ') + "5.000000000");
  EXPECT_EQ(bytes.back(), '\x1A');

  t.edit();
  t.set_text("NOTE", "edited text");
  t.post();
  bytes = file_bytes(dir / "a.db");
  EXPECT_EQ(bytes.substr(header_length + record_length - 5, 5), "edite");
  EXPECT_EQ(bytes.size(), header_length + record_length + 1);
}

TEST(TableEditing, CancelKeepsTheRowAndRefusedValuesChangeNothing) {
  Table t;
  t.create(std::make_unique<MemoryStorage>(), sample_fields());
  add_row(t, 5, 1, 0, "one");
  t.edit();
  t.set_text("NAME", "two");
  EXPECT_EQ(t.read_text("NAME"), "two");  // reads see the unposted change
  t.cancel();
  EXPECT_EQ(t.read_text("NAME"), "one");

  t.edit();
  try {
    t.set_double("VALUE", 123456789.0);
    FAIL() << "a number wider than its field was accepted";
  } catch (const DbfError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Usage);
  }
  EXPECT_THROW(t.set_text("KIND", "x1"), DbfError);
  t.set_text("KIND", " 7 ");
  t.post();
  EXPECT_EQ(*t.read_double("VALUE"), 5.0);
  EXPECT_EQ(*t.read_integer("KIND"), 7);

  EXPECT_THROW(t.set_text("NAME", "not editing"), DbfError);
  EXPECT_THROW(t.read_text("MISSING"), DbfError);
  EXPECT_THROW(t.set_filter("KIND>0"), DbfError);
}

TEST(TableEditing, MovingAwayPostsAndCloseDropsTheUnpostedRow) {
  ScratchDir dir;
  Table t;
  t.create(dir / "a.db", sample_fields());
  add_row(t, 1, 1, 0, "one");
  add_row(t, 2, 2, 0, "two");
  t.first();
  t.edit();
  t.set_text("NAME", "uno");
  t.next();  // posts
  t.edit();
  t.set_text("NAME", "dos");
  t.append();  // posts the edit, then starts a new row
  t.set_text("NAME", "dropped");
  t.close();  // the new row is dropped
  t.open(dir / "a.db");
  EXPECT_EQ(names_in_view(t), (std::vector<std::string>{"uno", "dos"}));
}

TEST(TableWalk, FilterAndOrderDecideTheViewAndItsCount) {
  Table t;
  t.create(std::make_unique<MemoryStorage>(), sample_fields());
  add_row(t, 1, 1, std::nullopt, "a");  // empty kind counts as 0
  add_row(t, 2, 2, 1, "b");
  add_row(t, 3, 3, 0, "c");
  add_row(t, 4, 4, 1, "d");
  add_row(t, 5, 5, 0, "e");
  EXPECT_EQ(t.count(), 5u);
  t.set_filter("KIND=0");
  EXPECT_EQ(t.count(), 3u);
  EXPECT_EQ(names_in_view(t), (std::vector<std::string>{"a", "c", "e"}));
  t.set_filter("KIND=1");
  EXPECT_EQ(names_in_view(t), (std::vector<std::string>{"b", "d"}));
  t.set_filter("KIND=2");
  EXPECT_FALSE(t.first());
  EXPECT_TRUE(t.eof());
  EXPECT_TRUE(t.bof());
  EXPECT_EQ(t.count(), 0u);
  EXPECT_THROW(t.read_text("NAME"), DbfError);

  t.set_filter("KIND=0");
  ASSERT_TRUE(t.last());
  EXPECT_EQ(t.read_text("NAME"), "e");
  ASSERT_TRUE(t.prior());
  EXPECT_EQ(t.read_text("NAME"), "c");
  ASSERT_TRUE(t.prior());
  EXPECT_FALSE(t.prior());
  EXPECT_TRUE(t.bof());
  EXPECT_EQ(t.read_text("NAME"), "a");

  t.set_order({5, 99, 3, 2, 1, 0});  // out-of-range numbers are passed over
  EXPECT_EQ(names_in_view(t), (std::vector<std::string>{"e", "c", "a"}));
  t.set_filter("");
  EXPECT_EQ(names_in_view(t), (std::vector<std::string>{"e", "c", "b", "a"}));
  add_row(t, 6, 6, 0, "f");
  EXPECT_EQ(names_in_view(t), (std::vector<std::string>{"e", "c", "b", "a", "f"}));
  t.clear_order();
  EXPECT_EQ(t.count(), 6u);

  for (const char* bad : {"KIND", "KIND=", "KIND=x", "NAME=1", "NOPE=1", "KIND<1", "KIND=1 AND VALUE=2"}) {
    EXPECT_THROW(t.set_filter(bad), DbfError) << bad;
  }
}

TEST(TableWalk, DeletedRowsLeaveTheViewAndPackRemovesThem) {
  ScratchDir dir;
  Table t;
  t.create(dir / "a.db", sample_fields());
  std::vector<TableChange> changes;
  t.set_change_listener([&](const TableChange& c) { changes.push_back(c); });
  for (int i = 1; i <= 6; ++i) {
    add_row(t, i, i, i % 2, std::string(1, static_cast<char>('a' + i - 1)));
  }
  t.go_to(2);
  t.delete_row();
  EXPECT_EQ(t.read_text("NAME"), "c");  // moved to the next row
  t.delete_record(6);
  EXPECT_TRUE(t.is_deleted(6));
  t.last();
  t.delete_row();  // the last row of the view: moves back
  EXPECT_EQ(t.read_text("NAME"), "d");
  EXPECT_EQ(names_in_view(t), (std::vector<std::string>{"a", "c", "d"}));
  EXPECT_EQ(t.record_count(), 6u);
  const std::uint64_t before = t.generation();

  t.pack();
  EXPECT_GT(t.generation(), before);
  EXPECT_EQ(t.record_count(), 3u);
  EXPECT_EQ(names_in_view(t), (std::vector<std::string>{"a", "c", "d"}));
  EXPECT_EQ(file_bytes(dir / "a.db").size(), t.header().header_length + 3u * t.header().record_length + 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "a.db.tmp"));
  ASSERT_EQ(changes.size(), 6u + 3u + 1u);
  EXPECT_EQ(changes[6].kind, TableChange::Kind::Deleted);
  EXPECT_EQ(changes[6].recno, 2u);
  EXPECT_EQ(changes[8].recno, 5u);
  EXPECT_EQ(changes.back().kind, TableChange::Kind::Packed);

  const std::string ours = testing::our_dump(t);
  t.close();
  EXPECT_EQ(run_python("dbf_dump.py", quoted_arg(dir / "a.db")), ours);
}

TEST(TableWalk, LongWalksCrossTheReadAheadInBothDirections) {
  Table t;
  t.create(std::make_unique<MemoryStorage>(), sample_fields());
  constexpr int kRows = 40000;  // about 2.3 MB: several read-ahead windows
  for (int i = 1; i <= kRows; ++i) {
    t.append();
    t.set_integer("COUNT", i);
    t.post();
  }
  std::int64_t sum = 0;
  int n = 0;
  for (bool ok = t.last(); ok; ok = t.prior()) {
    sum += *t.read_integer("COUNT");
    ++n;
  }
  EXPECT_EQ(n, kRows);
  EXPECT_EQ(sum, std::int64_t{kRows} * (kRows + 1) / 2);
  t.go_to(20000);
  t.edit();
  t.set_integer("COUNT", -1);
  t.post();
  t.first();
  t.go_to(20000);
  EXPECT_EQ(*t.read_integer("COUNT"), -1);
}

TEST(TableIndexSupport, HeaderFlagsAreWrittenInPlace) {
  ScratchDir dir;
  Table t;
  t.create(dir / "a.db", sample_fields());
  t.set_production_index_flag(true);
  t.set_field_tag_flag(3, true);
  std::string bytes = file_bytes(dir / "a.db");
  EXPECT_EQ(bytes[28], 1);
  EXPECT_EQ(bytes[32 + 3 * 32 + 31], 1);
  EXPECT_EQ(bytes[32 + 2 * 32 + 31], 0);
  t.reopen();
  EXPECT_TRUE(t.header().production_index);
  EXPECT_TRUE(t.fields()[3].has_tag);
  t.set_production_index_flag(false);
  t.set_field_tag_flag(3, false);
  bytes = file_bytes(dir / "a.db");
  EXPECT_EQ(bytes[28], 0);
  EXPECT_EQ(bytes[32 + 3 * 32 + 31], 0);
}

TEST(TableLocking, ASecondOpenIsRefusedUntilClose) {
  ScratchDir dir;
  Table first;
  first.create(dir / "a.db", sample_fields());
  Table second;
  try {
    second.open(dir / "a.db");
    FAIL() << "opened a table held elsewhere";
  } catch (const DbfError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Locked);
  }
  EXPECT_THROW(second.create(dir / "a.db", sample_fields()), DbfError);  // nor replaced
  EXPECT_FALSE(second.is_open());

#ifndef _WIN32
  const pid_t child = ::fork();
  if (child == 0) {
    Table other;
    try {
      other.open(dir / "a.db");
    } catch (const DbfError& e) {
      ::_exit(e.kind() == ErrorKind::Locked ? 0 : 2);
    }
    ::_exit(1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process opened the locked table";
#endif

  first.close();
  EXPECT_NO_THROW(second.open(dir / "a.db"));
}

TEST(TableRepair, AMissingEndMarkIsAddedOnTheNextWrite) {
  ScratchDir dir;
  {
    Table t;
    t.create(dir / "a.db", sample_fields());
    add_row(t, 1, 1, 0, "a");
  }
  const std::string clean = file_bytes(dir / "a.db");
  testing::write_bytes(dir / "a.db", clean.substr(0, clean.size() - 1));
  Table t;
  t.open(dir / "a.db");
  EXPECT_EQ(names_in_view(t), (std::vector<std::string>{"a"}));
  add_row(t, 2, 2, 0, "b");
  t.close();
  const std::string bytes = file_bytes(dir / "a.db");
  EXPECT_EQ(bytes.size(), clean.size() + t.header().record_length);
  EXPECT_EQ(bytes.back(), '\x1A');
}

// Cyrillic names reach the system as they are (the wide API on Windows), and a path longer than
// the old 260-character limit works, through the packing rewrite (temporary file and replace) too.
TEST(TablePaths, CyrillicAndOverlongPathsOpenRewriteAndReopen) {
  ScratchDir dir;
  std::filesystem::path deep = dir.path() / std::filesystem::path(u8"объекты дороги");
  while (deep.u8string().size() < 300) {
    deep /= std::filesystem::path(u8"участок 0123456789 абвгдеёжзий");
  }
  std::filesystem::create_directories(deep);
  for (const std::filesystem::path& file :
       {dir.path() / std::filesystem::path(u8"поле №1.db"), deep / std::filesystem::path(u8"поле.db")}) {
    {
      Table t;
      t.create(file, sample_fields());
      add_row(t, 1, 1, 0, "a");
      add_row(t, 2, 2, 0, "b");
      t.delete_record(1);
      t.pack();
    }
    ASSERT_TRUE(std::filesystem::is_regular_file(file)) << file.u8string().size();
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
      entries += entry.is_regular_file() ? 1 : 0;
      EXPECT_EQ(entry.path().filename() == file.filename(), entry.is_regular_file());
    }
    EXPECT_EQ(entries, 1u) << "the rewrite left its temporary file";
    Table t;
    t.open(file);
    EXPECT_EQ(names_in_view(t), (std::vector<std::string>{"b"}));
  }
}

}  // namespace
}  // namespace vkt::dbf
