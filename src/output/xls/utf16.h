#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "output/xls/bytes.h"

namespace vkt::xls {

// The workbook keeps texts as UTF-8; the file stores them as UTF-16LE. Malformed UTF-8 becomes
// U+FFFD, one per offending byte, so every input gives a well-formed file.
void to_utf16(std::string_view utf8, std::u16string& out);
std::u16string to_utf16(std::string_view utf8);
std::string to_utf8(std::u16string_view utf16);

// Number of UTF-16 code units to_utf16 would produce.
std::size_t utf16_length(std::string_view utf8);

// Appends the code units little-endian, without a terminator.
void put_utf16(Bytes& out, std::u16string_view text);

}  // namespace vkt::xls
