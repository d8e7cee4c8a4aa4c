// Little-endian reads and writes on byte buffers; every read is checked against the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "store/mdx/indexkey.h"

namespace vkt::mdx {

inline void put_u16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void put_u32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

inline void require_bytes(std::span<const std::uint8_t> in, std::size_t at, std::size_t count) {
  if (at > in.size() || in.size() - at < count) {
    throw MdxError(ErrorKind::Damaged, "Индексный файл повреждён: ссылка за пределы файла");
  }
}

inline std::uint16_t get_u16(std::span<const std::uint8_t> in, std::size_t at) {
  require_bytes(in, at, 2);
  return static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
}

inline std::uint32_t get_u32(std::span<const std::uint8_t> in, std::size_t at) {
  require_bytes(in, at, 4);
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(in[at + i]) << (8 * i);
  }
  return value;
}

}  // namespace vkt::mdx
