#include "store/waveform/crc32.h"

#include <array>

namespace vkt::waveform {

namespace {

// Four tables let the loop take four bytes per step (the "slicing" method); a whole download's
// waveforms are several megabytes.
using Tables = std::array<std::array<std::uint32_t, 256>, 4>;

constexpr Tables make_tables() {
  Tables t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) {
      c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
    }
    t[0][n] = c;
  }
  for (std::uint32_t n = 0; n < 256; ++n) {
    for (std::size_t s = 1; s < 4; ++s) {
      t[s][n] = (t[s - 1][n] >> 8) ^ t[0][t[s - 1][n] & 0xFFU];
    }
  }
  return t;
}

constexpr Tables kTables = make_tables();

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
  std::uint32_t c = ~crc;
  std::size_t i = 0;
  for (; i + 4 <= bytes.size(); i += 4) {
    c ^= static_cast<std::uint32_t>(bytes[i]) | (static_cast<std::uint32_t>(bytes[i + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[i + 2]) << 16) | (static_cast<std::uint32_t>(bytes[i + 3]) << 24);
    c = kTables[3][c & 0xFFU] ^ kTables[2][(c >> 8) & 0xFFU] ^ kTables[1][(c >> 16) & 0xFFU] ^
        kTables[0][c >> 24];
  }
  for (; i < bytes.size(); ++i) {
    c = kTables[0][(c ^ bytes[i]) & 0xFFU] ^ (c >> 8);
  }
  return ~c;
}

}  // namespace vkt::waveform
