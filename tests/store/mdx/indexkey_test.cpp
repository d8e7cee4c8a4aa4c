#include "store/mdx/indexkey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace vkt::mdx {
namespace {

std::vector<int> bytesOf(const NumericKey& key) {
  return {key.begin(), key.end()};
}

// Golden keys written out from the published dBase IV layout: exponent byte (0x34 + integer digits),
// sign/count byte (0x80 negative, digit count << 2, low bit set), then the digits packed high
// nibble first.
TEST(NumericKey, MatchesPublishedExamples) {
  EXPECT_EQ(bytesOf(numeric_key_from_double(1)),
            (std::vector<int>{0x35, 0x05, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytesOf(numeric_key_from_double(50.25)),
            (std::vector<int>{0x36, 0x11, 0x50, 0x25, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytesOf(numeric_key_from_double(-12.75)),
            (std::vector<int>{0x36, 0x91, 0x12, 0x75, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytesOf(numeric_key_from_double(0)),
            (std::vector<int>{0x34, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Trailing zeros are dropped from the digits, leading zeros after the point lower the exponent.
  EXPECT_EQ(bytesOf(numeric_key_from_double(100)),
            (std::vector<int>{0x37, 0x05, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytesOf(numeric_key_from_double(0.05)),
            (std::vector<int>{0x33, 0x05, 0x50, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytesOf(numeric_key_from_double(-0.5)),
            (std::vector<int>{0x34, 0x85, 0x50, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytesOf(numeric_key_from_double(12345)),
            (std::vector<int>{0x39, 0x15, 0x12, 0x34, 0x50, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(NumericKey, ReadsFieldTextAsStored) {
  EXPECT_EQ(numeric_key_from_text("      -12.750000000"), numeric_key_from_double(-12.75));
  EXPECT_EQ(numeric_key_from_text("         1.000000000"), numeric_key_from_double(1));
  EXPECT_EQ(numeric_key_from_text("  42"), numeric_key_from_double(42));
  EXPECT_EQ(numeric_key_from_text("-0.000000000"), numeric_key_from_double(0));
  // Empty, overflowed and foreign fields index as zero.
  EXPECT_EQ(numeric_key_from_text("                  "), numeric_key_from_double(0));
  EXPECT_EQ(numeric_key_from_text("******"), numeric_key_from_double(0));
  EXPECT_EQ(numeric_key_from_text("12a"), numeric_key_from_double(0));
  EXPECT_EQ(numeric_key_from_text("-"), numeric_key_from_double(0));
  // The widest N 18.9 value keeps all 17 digits.
  EXPECT_EQ(numeric_key_to_text(numeric_key_from_text("12345678.123456789")), "12345678.123456789");
  // Beyond 20 digits the tail is cut.
  EXPECT_EQ(numeric_key_to_text(numeric_key_from_text("123456789012345678901234")),
            "123456789012345678900000");
}

TEST(NumericKey, TextRoundTrip) {
  for (const char* text : {"0", "1", "-1", "0.05", "-0.001", "50.25", "-12.75", "100", "99999999.999999999",
                           "-9999999.999999999", "0.000000001"}) {
    EXPECT_EQ(numeric_key_to_text(numeric_key_from_text(text)), text);
  }
}

TEST(NumericKey, OrderFollowsValue) {
  std::vector<double> values = {-1e8,        -9999999.5,
                                -100,        -12.75,
                                -12.7,       -1,
                                -0.5,        -0.05,
                                -0.001,      0,
                                0.000000001, 0.001,
                                0.05,        0.5,
                                1,           1.5,
                                9,           10,
                                12.7,        12.75,
                                50.25,       99.99,
                                100,         101,
                                1e6,         99999999.999999999};
  std::mt19937 random(7);
  std::uniform_int_distribution<int> cents(-10000000, 10000000);
  for (int i = 0; i < 300; ++i) {
    values.push_back(cents(random) / 100.0);
  }
  for (double a : values) {
    for (double b : values) {
      const int expected = a < b ? -1 : (a > b ? 1 : 0);
      ASSERT_EQ(compare_numeric_keys(numeric_key_from_double(a), numeric_key_from_double(b)), expected)
          << a << " vs " << b;
    }
  }
}

TEST(CharacterKey, PadsAndCompares) {
  EXPECT_EQ(character_key("ab", 5), "ab   ");
  EXPECT_EQ(character_key("abcdef", 3), "abc");
  EXPECT_EQ(character_key("", 2), "  ");
  // Code-page bytes compare unsigned: Cyrillic (cp1251 0xC0..0xFF) sorts after Latin.
  EXPECT_LT(compare_keys(KeyType::Character, "Z ", "\xC0 "), 0);
  EXPECT_LT(compare_keys(KeyType::Character, "\xC0\xC1", "\xC0\xC2"), 0);
  EXPECT_LT(compare_keys(KeyType::Character, "A  ", "AB "), 0);
  EXPECT_EQ(compare_keys(KeyType::Character, "AB", "AB"), 0);
}

TEST(KeyLength, RefusesCharacterKeysOver100) {
  EXPECT_EQ(key_length_for(KeyType::Character, 100, "COMMENT"), 100u);
  EXPECT_EQ(key_length_for(KeyType::Numeric, 18, "P"), 12u);
  EXPECT_EQ(key_length_for(KeyType::Date, 8, "D"), 8u);
  for (std::size_t width : {101u, 150u, 200u, 250u}) {
    try {
      key_length_for(KeyType::Character, width, "P5");
      FAIL() << "width " << width << " accepted";
    } catch (const MdxError& e) {
      const std::string text = e.what();
      EXPECT_NE(text.find("P5"), std::string::npos);
      EXPECT_NE(text.find("индекс"), std::string::npos);
      EXPECT_NE(text.find(std::to_string(width)), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace vkt::mdx
