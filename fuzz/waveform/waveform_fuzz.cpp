// Reads arbitrary bytes as a waveform file. Loading never throws; what it read must write back
// into a file that reads the same and writes the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "store/waveform/waveformfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using vkt::waveform::WaveformFile;
  const WaveformFile file = WaveformFile::parse(std::span<const std::uint8_t>(data, size), "fuzz.vkw");
  const auto bytes = file.serialize();
  const WaveformFile again = WaveformFile::parse(bytes, "fuzz.vkw");
  if (again.size() != file.size() || again.damaged_count() != file.damaged_count() ||
      again.serialize() != bytes) {
    std::abort();
  }
  return 0;
}
