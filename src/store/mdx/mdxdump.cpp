#include "store/mdx/mdxdump.h"

#include <bit>
#include <cstdio>

namespace vkt::mdx {

std::string format_key(KeyType type, const std::string& key) {
  switch (type) {
    case KeyType::Numeric:
      return numeric_key_to_text(numeric_key_from_bytes(key));
    case KeyType::Date: {
      std::uint64_t bits = 0;
      for (std::size_t i = 0; i < key.size() && i < 8; ++i) {
        bits |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(key[i])) << (8 * i);
      }
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.17g", std::bit_cast<double>(bits));
      return buffer;
    }
    case KeyType::Character:
      break;
  }
  std::string text;
  const std::size_t end = key.find_last_not_of(' ');
  for (std::size_t i = 0; end != std::string::npos && i <= end; ++i) {
    const auto byte = static_cast<unsigned char>(key[i]);
    if (byte < 0x20 || byte == 0x7F || byte == '\\') {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    } else {
      text.push_back(static_cast<char>(byte));
    }
  }
  return text;
}

std::string dump_mdx(const MdxContents& contents) {
  std::string out = "table " + contents.table_name + "\n";
  for (const Tag& tag : contents.tags) {
    const TagDefinition& d = tag.definition;
    out += "tag " + d.name + " field " + d.field + " type " + static_cast<char>(d.type) + " length " +
           std::to_string(d.key_length) + (d.descending ? " descending" : " ascending") + " keys " +
           std::to_string(tag.entries.size()) + "\n";
    for (const IndexEntry& e : tag.entries) {
      out += std::to_string(e.record) + "\t" + format_key(d.type, e.key) + "\n";
    }
  }
  return out;
}

}  // namespace vkt::mdx
