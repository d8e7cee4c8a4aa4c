// A rewrite interrupted at any step leaves the table whole: the old rows or the packed ones. Rows
// appended in place join the table only with the header's count.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "store/dbf/table.h"
#include "testfiles.h"

namespace vkt::dbf {
namespace {

using testing::ScratchDir;

constexpr int kRows = 50;

void make_table_with_deletions(const std::filesystem::path& path) {
  Table t;
  t.create(path, {{"NUM", FieldType::Numeric, 9, 0}, {"TXT", FieldType::Character, 30, 0}});
  for (int i = 1; i <= kRows; ++i) {
    t.append();
    t.set_integer("NUM", i);
    t.set_text("TXT", "строка " + std::to_string(i));
    t.post();
  }
  for (std::uint32_t r = 2; r <= kRows; r += 2) {
    t.delete_record(r);
  }
}

// The odd rows, and the even ones unless they were packed away.
void expect_whole(const std::filesystem::path& path, bool packed) {
  Table t;
  t.open(path);
  EXPECT_EQ(t.record_count(), packed ? kRows / 2u : kRows);
  int expected = 1;
  for (bool ok = t.first(); ok; ok = t.next(), expected += 2) {
    EXPECT_EQ(*t.read_integer("NUM"), expected);
    EXPECT_EQ(t.read_text("TXT"), "строка " + std::to_string(expected));
  }
  EXPECT_EQ(expected, kRows + 1);
  const std::string ours = testing::our_dump(t);
  t.close();
  EXPECT_EQ(testing::run_python("dbf_dump.py", testing::quoted_arg(path)), ours);
}

TEST(InterruptedPack, FailureBeforeTheRenameKeepsTheOldTableOpenAndWhole) {
  ScratchDir dir;
  make_table_with_deletions(dir / "a.db");
  {
    Table t;
    t.open(dir / "a.db");
    t.set_replace_hook([](ReplaceStep s) {
      if (s == ReplaceStep::ReplacementFlushed) {
        throw DbfError(ErrorKind::Io, "disk pulled out");
      }
    });
    EXPECT_THROW(t.pack(), DbfError);
    EXPECT_EQ(t.record_count(), static_cast<std::uint32_t>(kRows));
    EXPECT_EQ(t.count(), kRows / 2u);
    EXPECT_FALSE(std::filesystem::exists(dir / "a.db.tmp"));
    t.last();  // still usable
    t.edit();
    t.set_text("TXT", "строка 49");
    t.post();
  }
  expect_whole(dir / "a.db", false);
}

void add_rows(Table& t, int from, int to) {
  for (int i = from; i <= to; ++i) {
    t.append();
    t.set_integer("NUM", i);
    t.set_text("TXT", "строка " + std::to_string(i));
    t.post();
  }
}

std::string stored_bytes(Table& t) {
  std::string bytes(t.storage()->size(), '\0');
  t.storage()->read_at(0, bytes.data(), bytes.size());
  return bytes;
}

std::string our_dump_of(const std::filesystem::path& path) {
  Table t;
  t.open_read_only(path);
  return testing::our_dump(t);
}

std::string dbfread_dump_of(const std::filesystem::path& path) {
  return testing::run_python("dbf_dump.py", testing::quoted_arg(path));
}

std::string rows_of_dump(const std::string& dump) {
  return dump.substr(dump.find("\nrow "));
}

TEST(InterruptedAppend, LeavesTheOldTableUntilTheCountAndPutsItBackOnFailure) {
  ScratchDir dir;
  make_table_with_deletions(dir / "a.db");
  const std::string old_bytes = testing::file_bytes(dir / "a.db");
  const std::string old_ours = our_dump_of(dir / "a.db");
  const std::string old_dbfread = dbfread_dump_of(dir / "a.db");
  testing::write_bytes(dir / "b.db", old_bytes);

  // The file as a crash at each step of the commit would leave it.
  std::map<ReplaceStep, std::string> left;
  {
    Table t;
    t.open(dir / "a.db");
    t.set_replace_hook([&](ReplaceStep s) { left[s] = stored_bytes(t); });
    t.begin_appending();
    add_rows(t, kRows + 1, kRows + 3);
    t.commit_appended();
    EXPECT_EQ(t.record_count(), kRows + 3u);
  }
  const std::string new_ours = our_dump_of(dir / "a.db");
  EXPECT_EQ(new_ours, dbfread_dump_of(dir / "a.db"));
  EXPECT_NE(rows_of_dump(new_ours), rows_of_dump(old_ours));

  // Rows flushed, the count not yet written: every reader sees the old table, and opened for
  // writing it is the old file again, byte for byte.
  testing::write_bytes(dir / "flushed.db", left.at(ReplaceStep::AppendFlushed));
  EXPECT_EQ(our_dump_of(dir / "flushed.db"), old_ours);
  EXPECT_EQ(dbfread_dump_of(dir / "flushed.db"), old_dbfread);
  {
    Table t;
    t.open(dir / "flushed.db");
  }
  EXPECT_EQ(testing::file_bytes(dir / "flushed.db"), old_bytes);
  // Counted, the old end mark not yet taken: we (and dBase) read the new table, dbfread, which
  // stops at the end mark whatever the count, the old rows, until the flags are mended.
  testing::write_bytes(dir / "counted.db", left.at(ReplaceStep::AppendCounted));
  EXPECT_EQ(our_dump_of(dir / "counted.db"), new_ours);
  EXPECT_EQ(rows_of_dump(dbfread_dump_of(dir / "counted.db")), rows_of_dump(old_dbfread));
  {
    Table t;
    t.open(dir / "counted.db");
    t.repair_row_flags();
  }
  EXPECT_EQ(testing::file_bytes(dir / "counted.db"), testing::file_bytes(dir / "a.db"));

  // A failure at the last step takes the rows off again; the table goes on with the old ones.
  Table t;
  t.open(dir / "b.db");
  t.set_replace_hook([](ReplaceStep s) {
    if (s == ReplaceStep::AppendCounted) {
      throw DbfError(ErrorKind::Io, "disk pulled out");
    }
  });
  t.begin_appending();
  add_rows(t, kRows + 1, kRows + 3);
  EXPECT_THROW(t.commit_appended(), DbfError);
  EXPECT_FALSE(t.appending());
  EXPECT_EQ(t.record_count(), static_cast<std::uint32_t>(kRows));
  EXPECT_EQ(stored_bytes(t), old_bytes);
  ASSERT_TRUE(t.last());
  EXPECT_EQ(*t.read_integer("NUM"), kRows - 1);
}

#ifndef _WIN32
// The process dies at each step of the rewrite, as in a power cut.
TEST(InterruptedPackDeathTest, ProcessKilledAtEachStepLeavesAWholeTable) {
  // The child must share this test's scratch directory, so it is forked, not started anew.
  GTEST_FLAG_SET(death_test_style, "fast");
  for (const ReplaceStep stop_at : {ReplaceStep::ReplacementFlushed, ReplaceStep::Replaced}) {
    ScratchDir dir;
    make_table_with_deletions(dir / "a.db");
    EXPECT_EXIT(
        {
          Table t;
          t.open(dir / "a.db");
          t.set_replace_hook([stop_at](ReplaceStep s) {
            if (s == stop_at) {
              std::_Exit(7);
            }
          });
          t.pack();
        },
        ::testing::ExitedWithCode(7), "");
    expect_whole(dir / "a.db", stop_at == ReplaceStep::Replaced);
    // The leftover of the killed rewrite does not stand in the way of the next one.
    Table t;
    t.open(dir / "a.db");
    t.pack();
    EXPECT_EQ(t.record_count(), kRows / 2u);
  }
}
#endif

}  // namespace
}  // namespace vkt::dbf
