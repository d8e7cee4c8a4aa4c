// Whole-file replacement: unique temporary names that are never followed, links and permissions
// kept, hard links refused, and the same file recognised under any name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "store/dbf/filereplacement.h"
#include "testfiles.h"

namespace vkt::dbf {
namespace {

using testing::file_bytes;
using testing::ScratchDir;
using testing::write_bytes;
namespace fs = std::filesystem;

void replace_with(const fs::path& target, const std::string& bytes) {
  FileReplacement r(target);
  r.file().write_at(0, bytes.data(), bytes.size());
  r.commit();
}

std::size_t entries_in(const fs::path& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(FileReplacement, ReplacesWholeAndLeavesNothingBeside) {
  ScratchDir dir;
  write_bytes(dir / "a.db", "old");
  replace_with(dir / "a.db", "new content");
  EXPECT_EQ(file_bytes(dir / "a.db"), "new content");
  EXPECT_EQ(entries_in(dir.path()), 1u);
  {
    FileReplacement dropped(dir / "a.db");
    dropped.file().write_at(0, "x", 1);
    EXPECT_TRUE(fs::exists(dropped.temporary()));
    EXPECT_TRUE(FileReplacement::is_temporary_name(dropped.temporary()));
  }
  EXPECT_EQ(file_bytes(dir / "a.db"), "new content");
  EXPECT_EQ(entries_in(dir.path()), 1u);
}

TEST(FileReplacement, LinksLeftByOthersAreNeverFollowedAndDeadLeftoversGo) {
  ScratchDir dir;
  write_bytes(dir / "a.db", "old");
  write_bytes(dir / "victim", "keep me");
  // Names earlier versions used, and a leftover of a killed process under today's pattern.
  for (const char* name : {"a.db.part", "a.db.tmp", "a.db.part.tmp"}) {
    fs::create_symlink(dir / "victim", dir / name);
  }
  const fs::path dead = dir / ".a.db.999999999-0-1.vkt-tmp";
  fs::create_symlink(dir / "victim", dead);
  const fs::path alive = dir / (".a.db." + std::to_string(OsFile::current_process()) + "-9999-1.vkt-tmp");
  write_bytes(alive, "a run in progress");

  replace_with(dir / "a.db", "new");
  EXPECT_EQ(file_bytes(dir / "a.db"), "new");
  EXPECT_FALSE(fs::is_symlink(dir / "a.db"));
  EXPECT_EQ(file_bytes(dir / "victim"), "keep me");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dead)));
  EXPECT_EQ(file_bytes(alive), "a run in progress");
}

TEST(FileReplacement, SymlinkKeepsPointingAtTheUpdatedFileWithItsMode) {
  ScratchDir dir;
  fs::create_directory(dir / "real");
  write_bytes(dir / "real" / "data.db", "old");
  fs::permissions(dir / "real" / "data.db",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(fs::path("real") / "data.db", dir / "link.db");

  replace_with(dir / "link.db", "new");
  EXPECT_TRUE(fs::is_symlink(dir / "link.db"));
  EXPECT_EQ(file_bytes(dir / "real" / "data.db"), "new");
  EXPECT_EQ(fs::status(dir / "real" / "data.db").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(entries_in(dir / "real"), 1u);
}

TEST(FileReplacement, HardLinkedFileIsRefusedUntouched) {
  ScratchDir dir;
  write_bytes(dir / "a.db", "old");
  fs::create_hard_link(dir / "a.db", dir / "b.db");
  try {
    replace_with(dir / "b.db", "new");
    FAIL() << "replaced";
  } catch (const DbfError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::NoAccess);
    EXPECT_NE(std::string(e.what()).find("жёсткие ссылки"), std::string::npos) << e.what();
  }
  EXPECT_THROW(FileReplacement::check_replaceable(dir / "a.db"), DbfError);
  EXPECT_EQ(file_bytes(dir / "a.db"), "old");
  EXPECT_EQ(entries_in(dir.path()), 2u);
}

TEST(FileReplacement, SameFileUnderAnyName) {
  ScratchDir dir;
  write_bytes(dir / "a.db", "x");
  write_bytes(dir / "c.db", "x");
  fs::create_directory(dir / "sub");
  fs::create_symlink(dir / "a.db", dir / "s.db");
  fs::create_hard_link(dir / "a.db", dir / "h.db");
  for (const fs::path& other : {dir / "a.db", dir / "sub" / ".." / "a.db", dir / "s.db", dir / "h.db"}) {
    EXPECT_TRUE(same_file(dir / "a.db", other)) << other;
  }
  EXPECT_FALSE(same_file(dir / "a.db", dir / "c.db"));
  EXPECT_FALSE(same_file(dir / "a.db", dir / "missing.xls"));
}

}  // namespace
}  // namespace vkt::dbf
