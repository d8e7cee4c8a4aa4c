// Our .mdx files read by other tools: index_dump (Debian's libdbd-xbase-perl) and our own
// vkt-mdx-dump, each compared with an order computed here.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "indexdumpcheck.h"
#include "mdxtesthelpers.h"
#include "store/mdx/mdxfile.h"

namespace vkt::mdx {
namespace {

using namespace vkt::mdx::testing;

struct DumpedKey {
  std::string key;
  std::uint32_t record;
};

bool haveIndexDump() {
  int status = -1;
  runCommand("command -v index_dump >/dev/null 2>&1", &status);
  return status == 0;
}

// index_dump prints each key's raw bytes, a blank and the record number, one per line.
std::vector<DumpedKey> indexDump(const std::filesystem::path& file, const std::string& tag) {
  int status = -1;
  const std::string out = runCommand("index_dump '" + file.string() + "' " + tag + " 2>&1", &status);
  EXPECT_EQ(status, 0) << out;
  std::vector<DumpedKey> keys;
  std::size_t start = 0;
  while (start < out.size()) {
    std::size_t end = out.find('\n', start);
    if (end == std::string::npos) {
      end = out.size();
    }
    const std::string line = out.substr(start, end - start);
    start = end + 1;
    const std::size_t blank = line.rfind(' ');
    if (blank == std::string::npos) {
      ADD_FAILURE() << "unexpected line: " << line;
      continue;
    }
    keys.push_back({line.substr(0, blank), static_cast<std::uint32_t>(std::stoul(line.substr(blank + 1)))});
  }
  return keys;
}

// Decodes a numeric key straight from the published layout, independently of our own decoder.
double decodePackedDecimal(const std::string& raw) {
  EXPECT_EQ(raw.size(), 12u);
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(raw[i]); };
  const int exponent = byte(0) - 0x34;
  const int count = (byte(1) >> 2) & 0x1F;
  double value = 0;
  for (int i = 0; i < count; ++i) {
    const int digit = i % 2 == 0 ? byte(2 + i / 2) >> 4 : byte(2 + i / 2) & 0x0F;
    value += digit * std::pow(10.0, exponent - 1 - i);
  }
  return (byte(1) & 0x80) != 0 ? -value : value;
}

class IndependentReader : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveIndexDump()) {
      GTEST_SKIP() << "index_dump (package libdbd-xbase-perl) is not installed";
    }
  }
  TempDir dir_{"check"};
};

TEST_F(IndependentReader, CharacterKeysInOurOrder) {
  std::mt19937 random(5);
  const std::vector<std::string> words = {"\xC0\xE1\xE2",
                                          "\xDF\xEC\xE0",
                                          "abc",
                                          "ABC",
                                          "",
                                          "12.03.2024",
                                          "\xB8\xEB\xEA\xE0",
                                          "zz",
                                          "\xCC\xE0\xF2\xE5\xF0\xE8\xE0\xEB"};
  for (std::size_t count : {0u, 5u, 700u, 5000u}) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i < count; ++i) {
      values.push_back(words[random() % words.size()]);
    }
    for (bool descending : {false, true}) {
      const auto file = dir_.path() / "chars.mdx";
      write_mdx_file(file, "chars",
                     {characterTag("tab1", 100, values, descending), characterTag("short", 10, values)});
      vkt::testing::expect_index_dump_agrees(file);
      const auto dumped = indexDump(file, "TAB1");
      const auto order = expectedOrder(values, descending);
      ASSERT_EQ(dumped.size(), order.size());
      for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(dumped[i].record, order[i]);
        // index_dump may drop the padding blanks; the text itself must match.
        std::string key = dumped[i].key;
        key.erase(key.find_last_not_of(' ') + 1);
        EXPECT_EQ(key, values[order[i] - 1]);
      }
      EXPECT_EQ(indexDump(file, "SHORT").size(), count);
    }
  }
}

TEST_F(IndependentReader, NumericKeysInOurOrder) {
  std::mt19937 random(9);
  std::uniform_int_distribution<int> pick(-100000, 100000);
  for (std::size_t count : {1u, 63u, 64u, 10000u}) {
    std::vector<double> values;
    for (std::size_t i = 0; i < count; ++i) {
      values.push_back(i % 7 == 0 ? 0 : pick(random));
    }
    for (bool descending : {false, true}) {
      const auto file = dir_.path() / "nums.mdx";
      write_mdx_file(file, "nums", {numericTag("tab2", values, descending)});
      vkt::testing::expect_index_dump_agrees(file);
      const auto dumped = indexDump(file, "TAB2");
      const auto order = expectedOrder(values, descending);
      ASSERT_EQ(dumped.size(), order.size());
      for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(dumped[i].record, order[i]);
        EXPECT_EQ(decodePackedDecimal(dumped[i].key), values[order[i] - 1]);
      }
    }
  }
}

#if defined(VKT_MDX_DUMP) && !defined(_WIN32)
TEST(DumpTool, ListsTagsAndKeysInTreeOrder) {
  TempDir dir("dump");
  const auto file = dir.path() / "meas.mdx";
  write_mdx_file(file, "meas",
                 {numericTag("tab1", {2.5, -1, 2.5, 0}, true), characterTag("tab2", 4, {"b", "a\x01"})});
  vkt::testing::expect_index_dump_agrees(file);
  int status = -1;
  const std::string out = runCommand(std::string("'") + VKT_MDX_DUMP + "' '" + file.string() + "'", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out,
            "table MEAS\n"
            "tag TAB1 field P type N length 12 descending keys 4\n"
            "1\t2.5\n3\t2.5\n4\t0\n2\t-1\n"
            "tag TAB2 field FIELD type C length 4 ascending keys 2\n"
            "2\ta\\x01\n1\tb\n");
  std::ofstream(file, std::ios::binary | std::ios::trunc) << "garbage";
  runCommand(std::string("'") + VKT_MDX_DUMP + "' '" + file.string() + "' 2>/dev/null", &status);
  EXPECT_NE(status, 0);
}
#endif

}  // namespace
}  // namespace vkt::mdx
