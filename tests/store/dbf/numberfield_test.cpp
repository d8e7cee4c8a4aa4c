#include "store/dbf/numberfield.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vkt::dbf
