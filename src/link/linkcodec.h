#pragma once

// Link text: the instrument never sends raw binary. Every byte travels as two characters from
// '0' (0x30) to '?' (0x3F), low four bits first; an answer is framed by 'S' and 'P' and carries a
// 32-bit checksum of its payload characters just before the 'P'.
//
// The decoding functions work on a character buffer and an index and do not validate the
// characters: the checksum is the only guard on the text. The caller keeps every index inside
// the buffer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vkt::link {

inline constexpr char kStartMarker = 'S';
inline constexpr char kEndMarker = 'P';
inline constexpr char kRestartMarker = 'Z';
inline constexpr char kIdentificationRequest = 'V';
inline constexpr char kDataRequest = 'Q';
inline constexpr char kFirstDataChar = '0';
inline constexpr std::size_t kChecksumChars = 8;

// Index of the first `marker` among the first `count` characters of `buffer`.
std::optional<std::size_t> find_marker(const char* buffer, std::size_t count, char marker);

// The byte of the characters at i and i + 1: (second - '0') * 16 + (first - '0'), modulo 256.
inline std::uint8_t link_byte(const char* buffer, std::size_t i) {
  const auto low = static_cast<unsigned>(static_cast<unsigned char>(buffer[i])) - 0x30u;
  const auto high = static_cast<unsigned>(static_cast<unsigned char>(buffer[i + 1])) - 0x30u;
  return static_cast<std::uint8_t>(high * 16u + low);
}

// Little-endian word of the characters at i to i + 3.
inline std::uint16_t link_word(const char* buffer, std::size_t i) {
  return static_cast<std::uint16_t>(link_byte(buffer, i) + 256u * link_byte(buffer, i + 2));
}

// Little-endian 32-bit value of the characters at i to i + 7.
inline std::uint32_t link_long(const char* buffer, std::size_t i) {
  return link_word(buffer, i) + 65536u * link_word(buffer, i + 4);
}

// The checksum the instrument sends for the payload characters: the sum, modulo 2^32, of each
// character's code XOR its 1-based position.
std::uint32_t link_checksum(std::string_view payload);

// True when the answer framed by the first 'S' and the first 'P' among the first `count`
// characters carries at least one payload character, its eight checksum characters are data
// characters and the checksum matches.
bool link_checksum_ok(const char* buffer, std::size_t count);

// The firmware version "a.b.c" of the bytes c, b, a at i, i + 2, i + 4; each number is padded to
// two digits ("07.12.03").
std::string version_text(const char* buffer, std::size_t i);

// Encoding, as the instrument does it.
void append_link_byte(std::string& out, std::uint8_t value);
void append_link_word(std::string& out, std::uint16_t value);
void append_link_long(std::string& out, std::uint32_t value);
std::string encode_link_bytes(std::span<const std::uint8_t> bytes);

// A whole answer around already encoded payload characters: 'S', payload, checksum, 'P'.
std::string frame_answer(std::string_view payload);

}  // namespace vkt::link
