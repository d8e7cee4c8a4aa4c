#include "store/mdx/mdxfile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>
#include <source_location>

#include "indexdumpcheck.h"
#include "mdxtesthelpers.h"

namespace vkt::mdx {
namespace {

using namespace vkt::mdx::testing;

const FileDate kDate{2024, 3, 9};

// Offsets below are those of the published dBase IV .mdx layout, written out here on purpose.
TEST(MdxLayout, FileHeaderAndTagTable) {
  const auto bytes = build_mdx("meas", {characterTag("tab1", 10, {"b", "a", "c"})}, kDate);
  ASSERT_EQ(bytes.size() % 512, 0u);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(bytes[1], 124);  // 2024 - 1900
  EXPECT_EQ(bytes[2], 3);
  EXPECT_EQ(bytes[3], 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[4]), 5), std::string("MEAS\0", 5));
  EXPECT_EQ(u16At(bytes, 20), 2);     // pages per block
  EXPECT_EQ(u16At(bytes, 22), 1024);  // block size
  EXPECT_EQ(bytes[24], 1);            // production index
  EXPECT_EQ(bytes[25], 0x30);
  EXPECT_EQ(bytes[26], 0x20);
  EXPECT_EQ(u16At(bytes, 28), 1);
  EXPECT_EQ(bytes[31], 0x1B);
  EXPECT_EQ(u32At(bytes, 32) * 512, bytes.size());
  EXPECT_EQ(u32At(bytes, 36), 0u);
  EXPECT_EQ(bytes[44], 124);
  EXPECT_EQ(bytes[529], 1);
  // One tag: header block at page 4, its only leaf right after it.
  EXPECT_EQ(bytes.size(), 8u * 512);
  EXPECT_EQ(u32At(bytes, 544), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[548]), 11),
            std::string("TAB1\0\0\0\0\0\0\0", 11));
  EXPECT_EQ(bytes[544 + 15], 0x10);
  EXPECT_EQ(bytes[544 + 16], 0);
  EXPECT_EQ(bytes[544 + 17], 0);
  EXPECT_EQ(bytes[544 + 18], 0);
  EXPECT_EQ(bytes[544 + 19], 0x02);
  EXPECT_EQ(bytes[544 + 20], 'C');
  // Unused slots stay zero.
  for (std::size_t i = 576; i < 2048; ++i) {
    ASSERT_EQ(bytes[i], 0) << i;
  }
}

TEST(MdxLayout, TagHeaderAndLeaf) {
  const auto bytes = build_mdx("T", {characterTag("tab1", 10, {"b", "a", "c"}, true)}, kDate);
  const std::size_t header = 4 * 512;
  EXPECT_EQ(u32At(bytes, header), 6u);  // root
  EXPECT_EQ(bytes[header + 8], 0x18);   // field key, descending
  EXPECT_EQ(bytes[header + 9], 'C');
  EXPECT_EQ(u16At(bytes, header + 12), 10);
  EXPECT_EQ(u16At(bytes, header + 14), (1024 - 12) / 16);
  EXPECT_EQ(u16At(bytes, header + 16), 0);
  EXPECT_EQ(u16At(bytes, header + 18), 16);  // 10 + 4 rounded up to 4
  EXPECT_EQ(bytes[header + 20], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[header + 24]), 6), std::string("FIELD\0", 6));
  const std::size_t leaf = 6 * 512;
  EXPECT_EQ(u32At(bytes, leaf), 3u);
  EXPECT_EQ(u32At(bytes, leaf + 4), 0u);
  // Descending: c (record 3), b (1), a (2).
  const std::uint32_t records[] = {3, 1, 2};
  const char* keys[] = {"c         ", "b         ", "a         "};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(u32At(bytes, leaf + 8 + 16 * i), records[i]);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[leaf + 12 + 16 * i]), 10), keys[i]);
  }
  // The pointer after the last item is zero: that marks a leaf.
  EXPECT_EQ(u32At(bytes, leaf + 8 + 16 * 3), 0u);
}

TEST(MdxLayout, BranchKeysAreLastKeysOfChildren) {
  std::vector<double> values;
  for (int i = 0; i < 200; ++i) {
    values.push_back(i);
  }
  const auto bytes = build_mdx("T", {numericTag("n", values)}, kDate);
  const std::size_t header = 4 * 512;
  const std::uint32_t root = u32At(bytes, header);
  const std::size_t branch = root * 512;
  const std::uint32_t count = u32At(bytes, branch);
  // 63 keys a leaf: 200 keys need 4 leaves, so the root holds 3 keys and 4 children.
  ASSERT_EQ(count, 3u);
  for (std::uint32_t i = 0; i <= count; ++i) {
    const std::uint32_t child = u32At(bytes, branch + 8 + 16 * i);
    ASSERT_NE(child, 0u);
    const std::size_t leaf = child * 512;
    const std::uint32_t n = u32At(bytes, leaf);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(u32At(bytes, leaf + 8 + 16 * n), 0u);
    if (i < count) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[branch + 12 + 16 * i]), 12),
                std::string(reinterpret_cast<const char*>(&bytes[leaf + 12 + 16 * (n - 1)]), 12));
    }
  }
}

TEST(MdxLayout, TagNamesFormABinaryTree) {
  std::vector<Tag> tags;
  for (const char* name : {"TAB2", "tab1", "ZZ", "A", "TAB3"}) {
    tags.push_back(characterTag(name, 4, {"x"}));
  }
  const auto bytes = build_mdx("T", tags, kDate);
  auto link = [&](int slot, int field) { return bytes[544 + 32 * (slot - 1) + field]; };
  // TAB2 is the root; TAB1 < TAB2 left, ZZ right; A under TAB1 left; TAB3 under ZZ left.
  EXPECT_EQ(link(1, 16), 2);
  EXPECT_EQ(link(1, 17), 3);
  EXPECT_EQ(link(1, 18), 0);
  EXPECT_EQ(link(2, 16), 4);
  EXPECT_EQ(link(2, 18), 1);
  EXPECT_EQ(link(3, 16), 5);
  EXPECT_EQ(link(3, 18), 1);
  EXPECT_EQ(link(4, 18), 2);
  EXPECT_EQ(link(5, 18), 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[544 + 32 + 4])), "TAB1");
}

TEST(MdxRoundTrip, OrdersBothDirectionsWithEqualKeys) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> pick(-50, 50);
  for (std::size_t count : {0u, 1u, 62u, 63u, 64u, 500u, 4000u, 20000u}) {
    std::vector<double> values;
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) {
      values.push_back(pick(random) / 4.0);
      texts.push_back(std::string(1, static_cast<char>('A' + (pick(random) + 50) % 26)) + "\xD0\xC0");
    }
    for (bool descending : {false, true}) {
      const auto bytes = build_mdx(
          "T", {numericTag("num", values, descending), characterTag("chr", 100, texts, descending)}, kDate);
      const MdxContents read = parse_mdx(bytes);
      ASSERT_EQ(read.tags.size(), 2u);
      EXPECT_EQ(read.tags[0].definition.descending, descending);
      EXPECT_EQ(recordsOf(read.tags[0]), expectedOrder(values, descending)) << count;
      EXPECT_EQ(recordsOf(read.tags[1]), expectedOrder(texts, descending)) << count;
      for (const IndexEntry& e : read.tags[0].entries) {
        ASSERT_EQ(e.key, numericKeyBytes(values[e.record - 1]));
      }
    }
  }
}

TEST(MdxRoundTrip, KeepsDefinitions) {
  const auto bytes =
      build_mdx("MEAS", {characterTag("Tab1", 10, {"a"}), numericTag("TAB2", {1}, true)}, kDate);
  const MdxContents read = parse_mdx(bytes);
  EXPECT_EQ(read.table_name, "MEAS");
  ASSERT_EQ(read.tags.size(), 2u);
  EXPECT_EQ(read.tags[0].definition, (TagDefinition{"TAB1", "FIELD", KeyType::Character, 10, false}));
  EXPECT_EQ(read.tags[1].definition, (TagDefinition{"TAB2", "P", KeyType::Numeric, 12, true}));
}

TEST(MdxBuild, RefusesWhatCannotBeStored) {
  EXPECT_THROW(build_mdx("T", {characterTag("tab1", 1, {"a"}), characterTag("TAB1", 1, {"b"})}, kDate),
               MdxError);
  EXPECT_THROW(build_mdx("T", {characterTag("ELEVENCHARS", 1, {"a"})}, kDate), MdxError);
  EXPECT_THROW(build_mdx("T", {characterTag("1ab", 1, {"a"})}, kDate), MdxError);
  EXPECT_THROW(build_mdx("T", {characterTag("", 1, {"a"})}, kDate), MdxError);
  EXPECT_THROW(build_mdx("T", {characterTag("wide", 101, {"a"})}, kDate), MdxError);
  Tag wrongKey = numericTag("n", {1});
  wrongKey.entries[0].key.pop_back();
  EXPECT_THROW(build_mdx("T", {wrongKey}, kDate), MdxError);
  Tag noRecord = numericTag("n", {1});
  noRecord.entries[0].record = 0;
  EXPECT_THROW(build_mdx("T", {noRecord}, kDate), MdxError);
  std::vector<Tag> many;
  for (int i = 0; i < 48; ++i) {
    many.push_back(characterTag("T" + std::to_string(i), 1, {"a"}));
  }
  EXPECT_THROW(build_mdx("T", many, kDate), MdxError);
  many.pop_back();
  EXPECT_EQ(parse_mdx(build_mdx("T", many, kDate)).tags.size(), 47u);
}

TEST(MdxFileIo, WritesThroughATemporaryFile) {
  TempDir dir("io");
  const auto path = dir.path() / "meas.mdx";
  write_mdx_file(path, "meas", {numericTag("tab1", {3, 1, 2})});
  vkt::testing::expect_index_dump_agrees(path);
  write_mdx_file(path, "meas", {numericTag("tab2", {5, 4})});
  vkt::testing::expect_index_dump_agrees(path);
  const MdxContents read = read_mdx_file(path);
  ASSERT_EQ(read.tags.size(), 1u);
  EXPECT_EQ(read.tags[0].definition.name, "TAB2");
  EXPECT_EQ(recordsOf(read.tags[0]), (std::vector<std::uint32_t>{2, 1}));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
    ++files;
  }
  EXPECT_EQ(files, 1u);
  EXPECT_THROW(write_mdx_file(dir.path() / "missing" / "x.mdx", "x", {}), MdxError);
  EXPECT_THROW(read_mdx_file(dir.path() / "absent.mdx"), MdxError);
}

// A damaged file raises MdxError; it never crashes or reads past the buffer (the sanitizer build
// runs these too).
class MdxDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<double> values;
    for (int i = 0; i < 300; ++i) {
      values.push_back((i * 37) % 101);
    }
    good_ = build_mdx("T", {numericTag("n", values), characterTag("c", 20, {"x", "y", "z"}, true)}, kDate);
    ASSERT_NO_THROW(parse_mdx(good_));
  }
  std::uint32_t root() const { return u32At(good_, 4 * 512); }
  std::vector<std::uint8_t> good_;
};

TEST_F(MdxDamage, HeaderFaults) {
  auto expectDamaged = [&](auto change, std::source_location where = std::source_location::current()) {
    auto bytes = good_;
    change(bytes);
    EXPECT_THROW(parse_mdx(bytes), MdxError) << "change on line " << where.line();
  };
  expectDamaged([](auto& b) { b[0] = 3; });
  expectDamaged([](auto& b) { b[23] = 0; });                         // block size
  expectDamaged([](auto& b) { set_u32(b, 32, u32At(b, 32) + 1); });  // more pages than bytes
  expectDamaged([](auto& b) { set_u32(b, 32, 2); });
  expectDamaged([](auto& b) { b[28] = 48; });          // tags in use
  expectDamaged([](auto& b) { b[28] = 3; });           // an empty slot counted as a tag
  expectDamaged([](auto& b) { set_u32(b, 544, 2); });  // tag header inside the tag table
  expectDamaged([](auto& b) { set_u32(b, 544, u32At(b, 32) - 1); });
  expectDamaged([](auto& b) { b[544 + 20] = 'X'; });  // key type
  expectDamaged([](auto& b) { b[544 + 4] = '-'; });   // tag name
  expectDamaged([](auto& b) {
    b[576 + 4] = 'N';
    b[576 + 5] = 0;
  });                                               // duplicate name
  expectDamaged([](auto& b) { b[544 + 17] = 9; });  // name tree link out of range
  expectDamaged([](auto& b) { b[544 + 16] = 1; });  // name tree loop
  EXPECT_THROW(parse_mdx(std::vector<std::uint8_t>(100, 0)), MdxError);
  EXPECT_THROW(parse_mdx(std::vector<std::uint8_t>()), MdxError);
}

TEST_F(MdxDamage, TagHeaderFaults) {
  const std::size_t header = 4 * 512;
  auto expectDamaged = [&](auto change, std::source_location where = std::source_location::current()) {
    auto bytes = good_;
    change(bytes);
    EXPECT_THROW(parse_mdx(bytes), MdxError) << "change on line " << where.line();
  };
  expectDamaged([&](auto& b) { b[header + 9] = 'C'; });   // type differs from the tag table
  expectDamaged([&](auto& b) { b[header + 12] = 13; });   // numeric key length
  expectDamaged([&](auto& b) { b[header + 18] = 20; });   // item length
  expectDamaged([&](auto& b) { b[header + 14] = 200; });  // keys per node beyond the block
  expectDamaged([&](auto& b) {
    b[header + 14] = 0;
    b[header + 15] = 0;
  });
  expectDamaged([&](auto& b) { std::fill(b.begin() + header + 24, b.begin() + header + 244, 'A'); });
  expectDamaged([&](auto& b) { set_u32(b, header, 0); });  // root
  expectDamaged([&](auto& b) { set_u32(b, header, 4); });  // root is the tag header itself
  expectDamaged([&](auto& b) { set_u32(b, header, 1u << 30); });
}

TEST_F(MdxDamage, TreeFaults) {
  const std::size_t branch = root() * 512;
  const std::uint32_t firstLeaf = u32At(good_, branch + 8);
  auto expectDamaged = [&](auto change, std::source_location where = std::source_location::current()) {
    auto bytes = good_;
    change(bytes);
    EXPECT_THROW(parse_mdx(bytes), MdxError) << "change on line " << where.line();
  };
  expectDamaged([&](auto& b) { set_u32(b, branch + 8, root()); });          // loop to itself
  expectDamaged([&](auto& b) { set_u32(b, branch + 8 + 16, firstLeaf); });  // shared child
  expectDamaged([&](auto& b) { set_u32(b, branch + 8, 0); });
  expectDamaged([&](auto& b) { set_u32(b, branch, 100); });  // key count
  expectDamaged([&](auto& b) { set_u32(b, firstLeaf * 512, 64); });
  expectDamaged([&](auto& b) { set_u32(b, firstLeaf * 512 + 8, 0); });  // record 0
  expectDamaged([&](auto& b) {  // first and last key of a leaf swapped
    const std::size_t leaf = firstLeaf * 512;
    const std::uint32_t n = u32At(b, leaf);
    std::swap_ranges(b.begin() + leaf + 12, b.begin() + leaf + 24, b.begin() + leaf + 12 + 16 * (n - 1));
  });
  expectDamaged([&](auto& b) { b[branch + 12] = 0x40; });  // separator below its child
  expectDamaged([&](auto& b) {
    // Turn the first leaf into a branch pointing at a leaf: leaves at different depths.
    const std::uint32_t n = u32At(b, firstLeaf * 512);
    set_u32(b, firstLeaf * 512 + 8 + 16 * n, u32At(b, branch + 8 + 16));
  });
}

TEST_F(MdxDamage, TruncationAndRandomBytesNeverCrash) {
  for (std::size_t size = 0; size < good_.size(); size += 97) {
    std::vector<std::uint8_t> cut(good_.begin(), good_.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_THROW(parse_mdx(cut), MdxError) << size;
  }
  std::mt19937 random(3);
  std::uniform_int_distribution<std::size_t> where(0, good_.size() - 1);
  std::uniform_int_distribution<int> value(0, 255);
  int accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    auto bytes = good_;
    for (int k = 0; k < 1 + round % 4; ++k) {
      bytes[where(random)] = static_cast<std::uint8_t>(value(random));
    }
    try {
      const MdxContents read = parse_mdx(bytes);
      ++accepted;
      for (const Tag& tag : read.tags) {
        for (const IndexEntry& e : tag.entries) {
          ASSERT_EQ(e.key.size(), tag.definition.key_length);
          ASSERT_NE(e.record, 0u);
        }
      }
    } catch (const MdxError&) {
    }
  }
  // Most single-byte changes hit padding or key bytes that keep the order; some must survive.
  EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace vkt::mdx
