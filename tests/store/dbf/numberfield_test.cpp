#include "store/dbf/numberfield.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "store/dbf/dbferror.h"

namespace vkt::dbf {
namespace {

ErrorKind kind_of(auto&& call) {
  try {
    call();
  } catch (const DbfError& e) {
    return e.kind();
  }
  ADD_FAILURE() << "no error raised";
  return ErrorKind::Io;
}

TEST(NumberField, WritesRightAlignedWithExactDecimals) {
  EXPECT_EQ(format_number(1.0, 18, 9), "       1.000000000");
  EXPECT_EQ(format_integer(1, 18, 9), "       1.000000000");
  EXPECT_EQ(format_number(-12.75, 18, 9), "     -12.750000000");
  EXPECT_EQ(format_number(12.34, 18, 9), "      12.340000000");
  EXPECT_EQ(format_number(0.000000001, 18, 9), "       0.000000001");
  EXPECT_EQ(format_number(-0.0000000001, 18, 9), "       0.000000000");  // no "-0"
  EXPECT_EQ(format_number(65535, 9, 0), "    65535");
  EXPECT_EQ(format_integer(-999, 4, 0), "-999");
  EXPECT_EQ(format_number(2.5, 4, 0).size(), 4u);
}

TEST(NumberField, RefusesValuesThatDoNotFitInsteadOfCuttingThem) {
  // N 18.9 holds 8 integer digits, 7 when negative.
  EXPECT_EQ(format_number(99999999.0, 18, 9), "99999999.000000000");
  EXPECT_EQ(format_number(-9999999.0, 18, 9), "-9999999.000000000");
  EXPECT_EQ(kind_of([] { format_number(100000000.0, 18, 9); }), ErrorKind::Usage);
  EXPECT_EQ(kind_of([] { format_number(-10000000.0, 18, 9); }), ErrorKind::Usage);
  EXPECT_EQ(kind_of([] { format_integer(10000, 4, 0); }), ErrorKind::Usage);
  EXPECT_EQ(kind_of([] { format_integer(-1000, 4, 0); }), ErrorKind::Usage);
  EXPECT_EQ(kind_of([] { format_number(1e300, 18, 9); }), ErrorKind::Usage);
  EXPECT_EQ(kind_of([] { format_number(std::numeric_limits<double>::quiet_NaN(), 18, 9); }),
            ErrorKind::Usage);
  EXPECT_EQ(kind_of([] { format_number(std::numeric_limits<double>::infinity(), 9, 0); }), ErrorKind::Usage);
}

TEST(NumberField, ReadsBlanksAndStarsAsEmptyAndRefusesNonNumbers) {
  EXPECT_FALSE(parse_number("                  ").value);
  EXPECT_TRUE(parse_number("                  ").valid);
  EXPECT_FALSE(parse_number("****").value);
  EXPECT_TRUE(parse_number("****").valid);
  EXPECT_FALSE(parse_number(std::string(4, '\0')).value);
  EXPECT_DOUBLE_EQ(*parse_number("       1.000000000").value, 1.0);
  EXPECT_DOUBLE_EQ(*parse_number("  -0.5").value, -0.5);
  EXPECT_DOUBLE_EQ(*parse_number("12  ").value, 12.0);
  EXPECT_DOUBLE_EQ(*parse_number(" +7").value, 7.0);
  EXPECT_DOUBLE_EQ(*parse_number("1.5E+3").value, 1500.0);
  for (const char* bad : {"abc", "inf", "nan", "1 2", "12a", "--1", "*1*", "+"}) {
    EXPECT_FALSE(parse_number(bad).valid) << bad;
  }
}

// The C library's reader, on the text between the blanks.
double c_library_value(const std::string& stored) {
  const std::size_t begin = stored.find_first_not_of(' ');
  const std::size_t end = stored.find_last_not_of(' ');
  const std::string text = stored.substr(begin, end - begin + 1);
  char* stop = nullptr;
  const double v = std::strtod(text.c_str(), &stop);
  EXPECT_EQ(stop, text.c_str() + text.size()) << text;
  return v;
}

bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(NumberField, ReadsEveryStoredFormToTheSameDoubleAsTheCLibrary) {
  std::mt19937_64 rng(20110512);
  const int widths[][2] = {{18, 9}, {18, 2}, {9, 0}, {4, 0}, {20, 4}, {19, 0}, {20, 15}, {12, 9}};
  int checked = 0;
  for (const auto& [width, decimals] : widths) {
    for (int i = 0; i < 4000; ++i) {
      // Spread over every magnitude the field holds, halves and exact ends included.
      const int digits =
          static_cast<int>(rng() % static_cast<unsigned>(width - decimals - (decimals > 0 ? 2 : 1))) + 1;
      const double magnitude = std::pow(10.0, digits) * std::ldexp(static_cast<double>(rng() >> 11), -53);
      const double value = (rng() % 3 == 0) ? -magnitude / 10 : magnitude;
      std::string stored;
      try {
        stored = format_number(value, width, decimals);
      } catch (const DbfError&) {
        continue;  // did not fit; not a stored form
      }
      const StoredNumber n = parse_number(stored);
      ASSERT_TRUE(n.valid && n.value) << stored;
      EXPECT_TRUE(same_bits(*n.value, c_library_value(stored))) << "\"" << stored << "\"";
      ++checked;
    }
  }
  EXPECT_GT(checked, 20000);
  // Forms a hand-written file may hold: no decimals, nothing before the point, a bare point at
  // the end, more digits than a double keeps, NULs for blanks, a negative zero.
  for (const std::string stored :
       {"5.", ".5", "-.25", "0000000000000000012.5", "1234567890123456789", "123456789012345.6",
        "0.1000000000000000055511151231257827", "  -0", "-0.000", "99999999.999999999", "  42  "}) {
    const StoredNumber n = parse_number(stored);
    ASSERT_TRUE(n.valid && n.value) << stored;
    EXPECT_TRUE(same_bits(*n.value, c_library_value(stored))) << "\"" << stored << "\"";
  }
  EXPECT_DOUBLE_EQ(*parse_number(std::string("\0\0 7.5\0", 7)).value, 7.5);
  for (const char* bad : {"-", ".", "-.", "- 5", "5-", "1.2.3", "1..2", "1 .5", "..", "1-2", "0x10", "1e"}) {
    EXPECT_FALSE(parse_number(bad).valid) << bad;
  }
}

}  // namespace
}  // namespace vkt::dbf
