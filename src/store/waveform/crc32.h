#pragma once

#include <cstdint>
#include <span>

namespace vkt::waveform {

// CRC-32 as zlib, PNG and ZIP compute it: reflected polynomial 0xEDB88320, start value and final
// exclusive-or 0xFFFFFFFF. "123456789" gives 0xCBF43926. `crc` continues an earlier sum.
std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

}  // namespace vkt::waveform
