#include "output/report/cellformat.h"

#include <gtest/gtest.h>

namespace vkt::report {
namespace {

TEST(NumberFormat, WholeNumbersRoundHalvesAwayFromZero) {
  EXPECT_EQ(format_number(152.6, "0"), "153");
  EXPECT_EQ(format_number(152.4, "0"), "152");
  EXPECT_EQ(format_number(0.5, "0"), "1");
  EXPECT_EQ(format_number(-2.5, "0"), "-3");
  EXPECT_EQ(format_number(-0.4, "0"), "0");
  EXPECT_EQ(format_number(7, "0"), "7");
}

TEST(NumberFormat, TwoDecimalsAlwaysWithAComma) {
  EXPECT_EQ(format_number(12.5, "0.00"), "12,50");
  EXPECT_EQ(format_number(3, "0.00"), "3,00");
  EXPECT_EQ(format_number(0.004, "0.00"), "0,00");
  EXPECT_EQ(format_number(0.07, "0.00"), "0,07");
  EXPECT_EQ(format_number(-0.004, "0.00"), "0,00");
  EXPECT_EQ(format_number(-1.239, "0.00"), "-1,24");
  EXPECT_EQ(format_number(1234567.891, "0.00"), "1234567,89");
}

TEST(NumberFormat, RoundsTheValueAsWrittenNotItsBinaryNeighbour) {
  // 1.005 and 2.675 are stored in binary a hair below the half; as written they round up.
  EXPECT_EQ(format_number(1.005, "0.00"), "1,01");
  EXPECT_EQ(format_number(2.675, "0.00"), "2,68");
}

TEST(NumberFormat, HugeAndInvalidValuesDoNotBreakTheCell) {
  EXPECT_EQ(format_number(1e300, "0"), "1E300");
  EXPECT_EQ(format_number(std::numeric_limits<double>::quiet_NaN(), "0"), "");
  EXPECT_EQ(format_number(std::numeric_limits<double>::infinity(), "0.00"), "");
}

TEST(GeneralNumber, ShortestFormWithTheLocaleSeparator) {
  EXPECT_EQ(general_number_text(152.6, "."), "152.6");
  EXPECT_EQ(general_number_text(152.6, ","), "152,6");
  EXPECT_EQ(general_number_text(1234, ","), "1234");
  EXPECT_EQ(general_number_text(0.1 + 0.2, ","), "0,3");
  EXPECT_EQ(general_number_text(-0.0, ","), "0");
  EXPECT_EQ(general_number_text(-12.25, "."), "-12.25");
  EXPECT_EQ(general_number_text(1e20, ","), "1E20");
  EXPECT_EQ(general_number_text(1.5e-7, ","), "1,5E-7");
}

TEST(FieldText, EmptyAndBlankFieldsPrintNothing) {
  EXPECT_EQ(field_text(FieldValue{}, ValueFormat::AsText, "", ","), "");
  EXPECT_EQ(field_text(FieldValue{std::string("   ")}, ValueFormat::AsText, "", ","), "");
  EXPECT_EQ(field_text(FieldValue{std::string()}, ValueFormat::Number, "0", ","), "");
  EXPECT_EQ(field_text(FieldValue{}, ValueFormat::Number, "0.00", ","), "");
}

TEST(FieldText, TextPrintsAsStoredAndNumbersByFormat) {
  EXPECT_EQ(field_text(FieldValue{std::string("  песок, 10 мм")}, ValueFormat::AsText, "", ","),
            "  песок, 10 мм");
  EXPECT_EQ(field_text(FieldValue{152.6}, ValueFormat::AsText, "", "."), "152.6");
  EXPECT_EQ(field_text(FieldValue{152.6}, ValueFormat::Number, "0", "."), "153");
  EXPECT_EQ(field_text(FieldValue{std::string(" 12.5 ")}, ValueFormat::Number, "0.00", "."), "12,50");
  EXPECT_EQ(field_text(FieldValue{std::string("базовая")}, ValueFormat::Number, "0.00", "."), "базовая");
}

TEST(PageNumbers, BothPlaceholdersAreReplacedWherever) {
  EXPECT_EQ(expand_page_numbers("Стр. [PAGE#] из [TOTALPAGES]", 2, 5), "Стр. 2 из 5");
  EXPECT_EQ(expand_page_numbers("[PAGE#]/[PAGE#]", 12, 40), "12/12");
  EXPECT_EQ(expand_page_numbers("без номера", 1, 1), "без номера");
}

}  // namespace
}  // namespace vkt::report
