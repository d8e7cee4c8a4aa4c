#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "output/xls/bytes.h"

namespace vkt::xls {

// The workbook keeps texts as UTF-8; the file stores them as UTF-16LE. Malformed UTF-8 becomes
// U+FFFD, one per offending byte, so every input gives a well-formed file.
void toUtf16(std::string_view utf8, std::u16string& out);
std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

// Number of UTF-16 code units toUtf16 would produce.
std::size_t utf16Length(std::string_view utf8);

// Appends the code units little-endian, without a terminator.
void putUtf16(Bytes& out, std::u16string_view text);

}  // namespace vkt::xls
