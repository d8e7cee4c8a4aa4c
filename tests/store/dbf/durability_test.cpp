// A rewrite interrupted at any step leaves the table whole: the old rows or the packed ones.
#include <gtest/gtest.h>

#include <cstdlib>
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
