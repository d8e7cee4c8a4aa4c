#pragma once

// A device A as the program meets it on the line: it answers 'V' with its identification and 'Q'
// with its whole memory, in link text. Faults make it misbehave in the ways a real line or a
// wrong instrument can.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/imagelayout.h"

namespace vkt::sim {

enum class Fault {
  None,
  IdentificationChecksum,  // the identification answer carries a wrong checksum
  DataChecksum,            // the data answer carries a wrong checksum
  WrongType,               // the type digit is 2: some other instrument
  EmptyHeader,             // the image header says record size 0
  RestartInData,           // the first data answer breaks off half-way with 'Z'
  Silence,                 // nothing is ever answered
  GarbageAfterEnd,         // line noise follows each answer's 'P'
};

// The fault names of the command line: "checksum-id", "checksum-data", "type2", "empty-header",
// "restart", "silence", "garbage".
std::optional<Fault> fault_from_name(std::string_view name);
std::string_view fault_name(Fault fault);
std::vector<std::string_view> fault_names();

struct InstrumentOptions {
  std::size_t records = 3;  // measurements in memory; 438 fill it
  std::uint32_t seed = 1;   // the same seed gives the same measurements
  std::uint8_t type_digit = 0;
  Fault fault = Fault::None;
};

class Instrument {
 public:
  static constexpr std::size_t kMaxRecords = 500;
  // Firmware version 02.14.05.
  static constexpr std::uint8_t kVersion[3] = {2, 14, 5};

  explicit Instrument(const InstrumentOptions& options);

  const InstrumentOptions& options() const { return options_; }
  const std::vector<image::DeviceARecord>& records() const { return records_; }
  // The memory as it is sent: header and records, without the link checksum.
  const std::vector<std::uint8_t>& image() const { return image_; }

  // Appends to `out` what the instrument sends back on receiving `request`; returns true when
  // that was a complete data answer.
  bool respond(char request, std::string& out);

  std::string identification_answer() const;
  const std::string& data_answer() const { return data_answer_; }

 private:
  void add_garbage(std::string& out);

  InstrumentOptions options_;
  std::vector<image::DeviceARecord> records_;
  std::vector<std::uint8_t> image_;
  std::string data_answer_;
  bool restart_spent_ = false;
  std::uint32_t noise_ = 0x9E3779B9u;
};

}  // namespace vkt::sim
