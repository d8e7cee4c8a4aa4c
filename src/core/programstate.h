#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vkt {

// Sizes fixed by the instrument: the receive buffer and the memory image both hold
// 10,760,024 elements; the waveform store holds 500 measurements of 3,060 samples (plus one).
inline constexpr std::size_t kImageCapacity = 10'760'024;
inline constexpr std::size_t kWaveformStoreSize = 1'530'001;
inline constexpr std::size_t kSamplesPerMeasurement = 3060;
inline constexpr std::size_t kWaveformStoreMeasurements = 500;

// The row a block of the waveform store was imported as: the graph shows a block only for the
// very row it belongs to, never for another file's row that happens to carry the same number.
struct WaveformOwner {
  std::string file;  // path of the measurement file the row went into
  int row_number = 0;
  std::string date;
  std::string time;
  friend bool operator==(const WaveformOwner&, const WaveformOwner&) = default;
};

// Everything the program keeps between commands. One instance is owned by the application
// and handed by reference to whoever reads or writes it; tests make their own.
struct ProgramState {
  // The memory image of the last accepted download and how many of its bytes that download
  // actually decoded (the rest is left over from earlier downloads or zero).
  std::vector<std::uint8_t> mem_image = std::vector<std::uint8_t>(kImageCapacity, 0);
  std::size_t image_length = 0;

  std::uint8_t device_code = 0;  // instrument type code
  std::uint16_t rec_count = 0;   // records reported by the instrument, then rows imported
  std::string firmware_version;  // "07.12.03" of the instrument identified last; empty: none yet

  // Displacement and force samples of the imported measurements, by row number.
  std::vector<double> waveforms = std::vector<double>(kWaveformStoreSize, 0.0);
  // For each of the store's blocks, the row its samples were imported as (none yet: empty).
  std::vector<std::optional<WaveformOwner>> waveform_owners =
      std::vector<std::optional<WaveformOwner>>(kWaveformStoreMeasurements);

  bool db_open = false;      // a measurement file is open
  bool db_modified = false;  // the user began editing a cell since open, create or save
  std::string work_dir;      // where the open and save dialogs start (UTF-8)
};

}  // namespace vkt
