#include "store/dbf/codepage.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

namespace vkt::dbf {

namespace {

using HighHalf = std::array<char16_t, 128>;

// Unicode of bytes 0x80..0xFF. Bytes a code page leaves undefined map to the C1 control of the
// same value, as Windows itself decodes them; they are never produced when encoding.
constexpr HighHalf kCp1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr HighHalf kCp866 = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
    0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429,
    0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436,
    0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, 0x0401, 0x0451, 0x0404, 0x0454, 0x0407,
    0x0457, 0x040E, 0x045E, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

constexpr HighHalf make_cp1252() {
  HighHalf t{};
  constexpr char16_t kFirstRow[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
  };
  for (std::size_t i = 0; i < 32; ++i) {
    t[i] = kFirstRow[i];
  }
  for (std::size_t i = 32; i < 128; ++i) {
    t[i] = static_cast<char16_t>(0x80 + i);  // 0xA0..0xFF are Latin-1
  }
  return t;
}
constexpr HighHalf kCp1252 = make_cp1252();

const HighHalf& table_of(CodePage page) {
  switch (page) {
    case CodePage::Cp866:
      return kCp866;
    case CodePage::Cp1252:
      return kCp1252;
    case CodePage::Cp1251:
      break;
  }
  return kCp1251;
}

// Reads one code point at s[i], advancing i. Malformed input yields 0xFFFD and consumes one byte.
char32_t next_code_point(std::string_view s, std::size_t& i) {
  constexpr char32_t kBad = 0xFFFD;
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  std::size_t len = 0;
  char32_t c = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    c = b0 & 0x1F;
    min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    c = b0 & 0x0F;
    min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    c = b0 & 0x07;
    min = 0x10000;
  } else {
    ++i;
    return kBad;
  }
  if (i + len > s.size()) {
    ++i;
    return kBad;
  }
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kBad;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return kBad;
  }
  i += len;
  return c;
}

// Code point to byte, sorted by code point, for the defined bytes of the upper half.
using ReverseTable = std::array<std::pair<char32_t, char>, 128>;

ReverseTable make_reverse(const HighHalf& table) {
  ReverseTable r{};
  for (std::size_t k = 0; k < table.size(); ++k) {
    r[k] = {table[k], static_cast<char>(0x80 + k)};
  }
  std::sort(r.begin(), r.end());
  return r;
}

const ReverseTable& reverse_of(CodePage page) {
  static const ReverseTable cp1251 = make_reverse(kCp1251);
  static const ReverseTable cp866 = make_reverse(kCp866);
  static const ReverseTable cp1252 = make_reverse(kCp1252);
  switch (page) {
    case CodePage::Cp866:
      return cp866;
    case CodePage::Cp1252:
      return cp1252;
    case CodePage::Cp1251:
      break;
  }
  return cp1251;
}

char encode_one(const ReverseTable& reverse, char32_t c) {
  if (c == 0) {
    return '?';
  }
  if (c < 0x80) {
    return static_cast<char>(c);
  }
  // The C1 controls stand for undefined bytes on decoding; nobody types them.
  if (c < 0xA0) {
    return '?';
  }
  const auto it =
      std::lower_bound(reverse.begin(), reverse.end(), c,
                       [](const std::pair<char32_t, char>& e, char32_t v) { return e.first < v; });
  return (it != reverse.end() && it->first == c) ? it->second : '?';
}

}  // namespace

CodePage code_page_for_driver(std::uint8_t driver) {
  switch (driver) {
    case 0x26:
    case 0x65:
      return CodePage::Cp866;
    case 0x03:
    case 0x57:
      return CodePage::Cp1252;
    default:
      return CodePage::Cp1251;
  }
}

std::string decode_text(CodePage page, std::string_view bytes) {
  const HighHalf& table = table_of(page);
  // Written through a pointer into room for the longest outcome: a text of Cyrillic letters
  // would otherwise grow two bytes at a time.
  std::string out(bytes.size() * 4, '\0');
  char* p = out.data();
  const auto put = [&p](unsigned v) { *p++ = static_cast<char>(v); };
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    const char32_t c = b < 0x80 ? b : table[b - 0x80];
    if (c < 0x80) {
      put(c);
    } else if (c < 0x800) {
      put(0xC0 | (c >> 6));
      put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      put(0xE0 | (c >> 12));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    } else {
      put(0xF0 | (c >> 18));
      put(0x80 | ((c >> 12) & 0x3F));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    }
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
  return out;
}

std::string encode_text(CodePage page, std::string_view utf8) {
  const ReverseTable& reverse = reverse_of(page);
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    out.push_back(encode_one(reverse, next_code_point(utf8, i)));
  }
  return out;
}

}  // namespace vkt::dbf
