#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vkt::dbf {

// Single-byte code pages a table's text may be stored in.
enum class CodePage { Cp1251, Cp866, Cp1252 };

// Language driver byte (header offset 29) we write for Windows Cyrillic text.
inline constexpr std::uint8_t kLanguageDriverCp1251 = 0xC9;

// The code page a language driver byte declares. Unknown drivers and 0 are read as cp1251,
// the code page of the machines these files come from.
CodePage code_page_for_driver(std::uint8_t driver);

// Stored bytes to UTF-8.
std::string decode_text(CodePage page, std::string_view bytes);

// UTF-8 to stored bytes, one byte per character. Characters the code page lacks, NUL, and
// malformed UTF-8 sequences become '?'.
std::string encode_text(CodePage page, std::string_view utf8);

}  // namespace vkt::dbf
