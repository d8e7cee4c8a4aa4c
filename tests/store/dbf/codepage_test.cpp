#include "store/dbf/codepage.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "testfiles.h"

namespace vkt::dbf {
namespace {

// Code point of a UTF-8 string holding one character.
char32_t only_code_point(const std::string& s) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  if (b0 < 0x80) {
    return b0;
  }
  if ((b0 & 0xE0) == 0xC0) {
    return ((b0 & 0x1F) << 6) | (static_cast<unsigned char>(s[1]) & 0x3F);
  }
  return ((b0 & 0x0F) << 12) | ((static_cast<unsigned char>(s[1]) & 0x3F) << 6) |
         (static_cast<unsigned char>(s[2]) & 0x3F);
}

struct PageCase {
  CodePage page;
  const char* python_name;
};

class CodePageTable : public ::testing::TestWithParam<PageCase> {};

// Every byte of the upper half decodes as Python's codec decodes it, and encodes back to itself.
TEST_P(CodePageTable, AllUpperBytesAgreeWithPythonAndRoundTrip) {
  const PageCase c = GetParam();
  std::istringstream expected(testing::run_python("codec_table.py", c.python_name));
  int defined = 0;
  for (int b = 0x80; b <= 0xFF; ++b) {
    std::string token;
    expected >> token;
    ASSERT_FALSE(token.empty());
    const std::string byte(1, static_cast<char>(b));
    const std::string utf8 = decode_text(c.page, byte);
    if (token == "-") {
      EXPECT_EQ(encode_text(c.page, utf8), "?") << "undefined byte " << b << " must not come back";
      continue;
    }
    ++defined;
    EXPECT_EQ(only_code_point(utf8), std::stoul(token, nullptr, 16)) << "byte " << b;
    EXPECT_EQ(encode_text(c.page, utf8), byte) << "byte " << b;
  }
  EXPECT_GE(defined, 123);
  for (int b = 1; b < 0x80; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(encode_text(c.page, decode_text(c.page, byte)), byte);
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, CodePageTable,
                         ::testing::Values(PageCase{CodePage::Cp1251, "cp1251"},
                                           PageCase{CodePage::Cp866, "cp866"},
                                           PageCase{CodePage::Cp1252, "cp1252"}));

TEST(CodePage, MissingCharactersAndBrokenUtf8BecomeQuestionMarks) {
  EXPECT_EQ(encode_text(CodePage::Cp1251, "№ µ"), "\xB9 \xB5");
  EXPECT_EQ(encode_text(CodePage::Cp1251, "м²"), "\xEC?");         // no superscript two in cp1251
  EXPECT_EQ(encode_text(CodePage::Cp1251, "a中b😀"), "a?b?");       // 3- and 4-byte sequences
  EXPECT_EQ(encode_text(CodePage::Cp1251, "x\xFFy\xD0"), "x?y?");  // stray and cut-off bytes
  EXPECT_EQ(encode_text(CodePage::Cp1251, std::string("a\0b", 3)), "a?b");
  EXPECT_EQ(encode_text(CodePage::Cp1251, "\xC0\xAF"), "??");  // overlong '/'
  EXPECT_EQ(encode_text(CodePage::Cp1252, "Привет"), "??????");
  EXPECT_EQ(encode_text(CodePage::Cp866, "Ёё№"), "\xF0\xF1\xFC");
}

TEST(CodePage, LanguageDriverChoosesThePage) {
  EXPECT_EQ(code_page_for_driver(0xC9), CodePage::Cp1251);
  EXPECT_EQ(code_page_for_driver(0x00), CodePage::Cp1251);
  EXPECT_EQ(code_page_for_driver(0x65), CodePage::Cp866);
  EXPECT_EQ(code_page_for_driver(0x26), CodePage::Cp866);
  EXPECT_EQ(code_page_for_driver(0x57), CodePage::Cp1252);
  EXPECT_EQ(code_page_for_driver(0x03), CodePage::Cp1252);
}

}  // namespace
}  // namespace vkt::dbf
