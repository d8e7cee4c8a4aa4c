#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "biffwalk.h"

namespace vkt::xls::test {

// "09 08 10 00" -> bytes.
inline Data hex(const std::string& text) {
  Data out;
  std::istringstream in(text);
  std::string byte;
  while (in >> byte) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
  }
  return out;
}

inline void appendU16(Data& d, std::uint16_t v) {
  d.push_back(static_cast<std::uint8_t>(v));
  d.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void appendText(Data& d, std::u16string_view text) {
  for (char16_t c : text) {
    appendU16(d, c);
  }
}

inline std::vector<const Record*> recordsWithId(const std::vector<Record>& records, std::uint16_t id) {
  std::vector<const Record*> out;
  for (const Record& r : records) {
    if (r.id == id) {
      out.push_back(&r);
    }
  }
  return out;
}

// Records of the n-th worksheet, BOF to EOF inclusive.
inline std::vector<Record> sheetRecords(const std::vector<Record>& records, std::size_t n) {
  std::vector<Record> out;
  std::size_t seen = 0;
  bool inside = false;
  for (const Record& r : records) {
    if (r.id == 0x0809 && u16(r.data, 2) == 0x0010) {
      inside = seen++ == n;
    }
    if (inside) {
      out.push_back(r);
      if (r.id == 0x000A) {
        break;
      }
    }
  }
  return out;
}

}  // namespace vkt::xls::test
