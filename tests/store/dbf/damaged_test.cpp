// Files that do not hold together are refused with the right kind of error, built byte by byte
// from the published layout rather than by our writer.
#include <gtest/gtest.h>

#include <string>

#include "store/dbf/table.h"
#include "testfiles.h"

namespace vkt::dbf {
namespace {

std::string u16le(unsigned v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string u32le(unsigned v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
          static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

// A two-field table (NUM N 4.0, TXT C 3) with the given rows, built by hand.
struct HandBuilt {
  unsigned header_length = 32 + 2 * 32 + 1;
  unsigned record_length = 1 + 4 + 3;
  unsigned declared_count = 0;
  char second_type = 'C';
  bool dbase3_pad = false;
  char terminator = 0x0D;
  std::vector<std::string> rows;

  std::string bytes() const {
    std::string b(32, '\0');
    b[0] = 0x03;
    b[1] = 124;
    b[2] = 5;
    b[3] = 12;
    b.replace(4, 4, u32le(declared_count));
    b.replace(8, 2, u16le(header_length));
    b.replace(10, 2, u16le(record_length));
    b[29] = static_cast<char>(0xC9);
    std::string d1(32, '\0');
    d1.replace(0, 3, "NUM");
    d1[11] = 'N';
    d1[16] = 4;
    std::string d2(32, '\0');
    d2.replace(0, 3, "TXT");
    d2[11] = second_type;
    d2[16] = 3;
    b += d1 + d2;
    b += terminator;
    if (dbase3_pad) {
      b += '\0';
    }
    for (const std::string& r : rows) {
      b += r;
    }
    b += '\x1A';
    return b;
  }
};

HandBuilt two_rows() {
  HandBuilt h;
  h.declared_count = 2;
  h.rows = {"    1abc", "*  -2xyz"};
  return h;
}

ErrorKind open_error(const std::string& bytes) {
  Table t;
  try {
    t.open(std::make_unique<MemoryStorage>(std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
  } catch (const DbfError& e) {
    EXPECT_FALSE(t.is_open());
    return e.kind();
  }
  ADD_FAILURE() << "opened";
  return ErrorKind::Io;
}

TEST(DamagedTable, InconsistentHeadersAreRefusedAsDamaged) {
  {
    HandBuilt h = two_rows();
    h.header_length += 5;  // not 32n + 33
    EXPECT_EQ(open_error(h.bytes()), ErrorKind::Damaged);
  }
  {
    HandBuilt h = two_rows();
    h.record_length = 9;  // not 1 + sum of widths
    EXPECT_EQ(open_error(h.bytes()), ErrorKind::Damaged);
  }
  {
    HandBuilt h = two_rows();
    h.second_type = 'X';
    EXPECT_EQ(open_error(h.bytes()), ErrorKind::Damaged);
  }
  {
    HandBuilt h = two_rows();
    h.declared_count = 3;  // the file is shorter than three records
    EXPECT_EQ(open_error(h.bytes()), ErrorKind::Damaged);
  }
  {
    HandBuilt h = two_rows();
    h.terminator = ' ';
    EXPECT_EQ(open_error(h.bytes()), ErrorKind::Damaged);
  }
  {
    HandBuilt h = two_rows();
    h.header_length = 32 + 3 * 32 + 1;  // claims a third descriptor where the terminator is
    EXPECT_EQ(open_error(h.bytes()), ErrorKind::Damaged);
  }
  {
    HandBuilt h = two_rows();
    h.declared_count = 1;  // a count that lost a row would hide it, and a write would cut it off
    EXPECT_EQ(open_error(h.bytes()), ErrorKind::Damaged);
    h.declared_count = 0;
    EXPECT_EQ(open_error(h.bytes()), ErrorKind::Damaged);
  }
  EXPECT_EQ(open_error(""), ErrorKind::Damaged);
  EXPECT_EQ(open_error(two_rows().bytes().substr(0, 31)), ErrorKind::Damaged);
  EXPECT_EQ(open_error(two_rows().bytes().substr(0, 60)), ErrorKind::Damaged);
}

TEST(DamagedTable, ToleratedVariantsOpenAndRead) {
  HandBuilt h = two_rows();
  h.dbase3_pad = true;  // 0x00 after the terminator, counted in the header length
  h.header_length += 1;
  const std::string bytes = h.bytes();
  Table t;
  t.open(std::make_unique<MemoryStorage>(std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
  EXPECT_EQ(t.count(), 1u);  // the second row is deleted
  ASSERT_TRUE(t.first());
  EXPECT_EQ(*t.read_integer("num"), 1);
  EXPECT_EQ(t.read_text("TXT"), "abc");
  ASSERT_TRUE(t.go_to(2));
  EXPECT_EQ(*t.read_integer("NUM"), -2);

  // The records exactly, without the end mark, are a whole table too.
  const std::string bare = two_rows().bytes().substr(0, two_rows().bytes().size() - 1);
  Table u;
  u.open(std::make_unique<MemoryStorage>(std::vector<std::uint8_t>(bare.begin(), bare.end())));
  EXPECT_EQ(u.record_count(), 2u);
}

// What an append that stopped before the header counted its rows leaves: bytes after the end
// mark, which every reader passes over and a writer cuts off as soon as it opens the file.
TEST(DamagedTable, BytesAfterTheEndMarkAreNoPartOfTheTable) {
  const std::string whole = two_rows().bytes();
  for (const std::string& bytes : {whole + "garbage", whole + "\x1A"}) {
    auto storage = std::make_unique<MemoryStorage>(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    const MemoryStorage& seen = *storage;
    Table t;
    t.open(std::move(storage));
    EXPECT_EQ(t.record_count(), 2u);
    EXPECT_EQ(std::string(seen.bytes().begin(), seen.bytes().end()), whole);
  }
}

TEST(DamagedTable, UnreadableNumberIsReportedWhenRead) {
  HandBuilt h;
  h.declared_count = 1;
  h.rows = {" 1x2 abc"};
  const std::string bytes = h.bytes();
  Table t;
  t.open(std::make_unique<MemoryStorage>(std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
  ASSERT_TRUE(t.first());
  try {
    t.read_double("NUM");
    FAIL() << "read a number out of \"1x2 \"";
  } catch (const DbfError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Damaged);
  }
  EXPECT_EQ(t.read_text("TXT"), "abc");
  t.set_filter("NUM=0");  // the filter counts it as 0, so the row stays in sight
  EXPECT_EQ(t.count(), 1u);
}

TEST(DamagedTable, MissingFileIsNotFound) {
  testing::ScratchDir dir;
  Table t;
  try {
    t.open(dir / "none.db");
    FAIL();
  } catch (const DbfError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::NotFound);
  }
}

}  // namespace
}  // namespace vkt::dbf
