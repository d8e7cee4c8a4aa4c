#include "link/linkcodec.h"

#include <cstring>

namespace vkt::link {

std::optional<std::size_t> find_marker(const char* buffer, std::size_t count, char marker) {
  const void* hit = count == 0 ? nullptr : std::memchr(buffer, marker, count);
  if (hit == nullptr) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(static_cast<const char*>(hit) - buffer);
}

std::uint32_t link_checksum(std::string_view payload) {
  std::uint32_t sum = 0;
  std::uint32_t k = 1;
  for (char c : payload) {
    sum += static_cast<std::uint32_t>(static_cast<unsigned char>(c)) ^ k;
    ++k;
  }
  return sum;
}

bool link_checksum_ok(const char* buffer, std::size_t count) {
  const auto p = find_marker(buffer, count, kEndMarker);
  const auto s = find_marker(buffer, count, kStartMarker);
  // At least one payload character must lie between 'S' and the checksum field.
  if (!p || !s || *p < *s + 1 + 1 + kChecksumChars) {
    return false;
  }
  const std::size_t first = *s + 1;
  const std::size_t end = *p - kChecksumChars;
  // Each checksum character must be a data character: the byte arithmetic alone would let a
  // character that differs by 16 in a high half go unnoticed.
  for (std::size_t i = end; i < *p; ++i) {
    if ((static_cast<unsigned char>(buffer[i]) & 0xF0u) != 0x30u) {
      return false;
    }
  }
  const std::uint32_t expected = link_long(buffer, end);
  return link_checksum(std::string_view(buffer + first, end - first)) == expected;
}

namespace {

void append_number(std::string& out, unsigned value) {
  if (value < 10) {
    out += '0';
  }
  out += std::to_string(value);
}

}  // namespace

std::string version_text(const char* buffer, std::size_t i) {
  std::string text;
  append_number(text, link_byte(buffer, i + 4));
  text += '.';
  append_number(text, link_byte(buffer, i + 2));
  text += '.';
  append_number(text, link_byte(buffer, i));
  return text;
}

void append_link_byte(std::string& out, std::uint8_t value) {
  out += static_cast<char>(kFirstDataChar + (value & 0x0F));
  out += static_cast<char>(kFirstDataChar + (value >> 4));
}

void append_link_word(std::string& out, std::uint16_t value) {
  append_link_byte(out, static_cast<std::uint8_t>(value & 0xFF));
  append_link_byte(out, static_cast<std::uint8_t>(value >> 8));
}

void append_link_long(std::string& out, std::uint32_t value) {
  append_link_word(out, static_cast<std::uint16_t>(value & 0xFFFF));
  append_link_word(out, static_cast<std::uint16_t>(value >> 16));
}

std::string encode_link_bytes(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    append_link_byte(out, b);
  }
  return out;
}

std::string frame_answer(std::string_view payload) {
  std::string out;
  out.reserve(payload.size() + 2 + kChecksumChars);
  out += kStartMarker;
  out += payload;
  append_link_long(out, link_checksum(payload));
  out += kEndMarker;
  return out;
}

}  // namespace vkt::link
