#include "sim/instrument.h"

#include <array>
#include <stdexcept>
#include <utility>

#include "link/linkcodec.h"
#include "sim/measurements.h"

namespace vkt::sim {

namespace {

constexpr std::array<std::pair<Fault, std::string_view>, 8> kFaultNames = {{
    {Fault::None, "none"},
    {Fault::IdentificationChecksum, "checksum-id"},
    {Fault::DataChecksum, "checksum-data"},
    {Fault::WrongType, "type2"},
    {Fault::EmptyHeader, "empty-header"},
    {Fault::RestartInData, "restart"},
    {Fault::Silence, "silence"},
    {Fault::GarbageAfterEnd, "garbage"},
}};

// 'S', the payload, a checksum that is `checksum_error` off the right one, 'P'.
std::string frame(std::string_view payload, std::uint32_t checksum_error) {
  std::string out;
  out.reserve(payload.size() + 10);
  out += link::kStartMarker;
  out += payload;
  link::append_link_long(out, link::link_checksum(payload) + checksum_error);
  out += link::kEndMarker;
  return out;
}

}  // namespace

std::optional<Fault> fault_from_name(std::string_view name) {
  for (const auto& [fault, text] : kFaultNames) {
    if (text == name) {
      return fault;
    }
  }
  return std::nullopt;
}

std::string_view fault_name(Fault fault) {
  for (const auto& [f, text] : kFaultNames) {
    if (f == fault) {
      return text;
    }
  }
  return {};
}

std::vector<std::string_view> fault_names() {
  std::vector<std::string_view> out;
  for (const auto& entry : kFaultNames) {
    out.push_back(entry.second);
  }
  return out;
}

Instrument::Instrument(const InstrumentOptions& options) : options_(options) {
  if (options_.records > kMaxRecords) {
    throw std::invalid_argument("the instrument holds at most " + std::to_string(kMaxRecords) +
                                " measurements");
  }
  records_ = make_measurements(options_.records, options_.seed);
  image_ = image::build_image(records_, options_.fault == Fault::EmptyHeader
                                            ? std::uint16_t{0}
                                            : static_cast<std::uint16_t>(image::kRecordSize));
  data_answer_ = frame(link::encode_link_bytes(image_), options_.fault == Fault::DataChecksum ? 1 : 0);
}

std::string Instrument::identification_answer() const {
  const std::uint8_t type = options_.fault == Fault::WrongType ? 2 : options_.type_digit;
  std::string payload;
  link::append_link_byte(payload, 0x01);  // memory bank, not looked at by the program
  link::append_link_byte(payload, type);
  link::append_link_byte(payload, kVersion[2]);
  link::append_link_byte(payload, kVersion[1]);
  link::append_link_byte(payload, kVersion[0]);
  link::append_link_word(payload, static_cast<std::uint16_t>(image::kRecordSize));
  link::append_link_word(payload, static_cast<std::uint16_t>(records_.size()));
  link::append_link_word(payload, 1207);  // serial number
  return frame(payload, options_.fault == Fault::IdentificationChecksum ? 0x100 : 0);
}

void Instrument::add_garbage(std::string& out) {
  // Anything but the three markers.
  using namespace std::literals;
  static constexpr std::string_view kNoise = "0123456789:;<=>?ABCDEFGHIJKLMNOQRTUVWXY\r\n\x00\xFF"sv;
  for (int i = 0; i < 37; ++i) {
    noise_ = noise_ * 1664525u + 1013904223u;
    out += kNoise[(noise_ >> 16) % kNoise.size()];
  }
}

bool Instrument::respond(char request, std::string& out) {
  if (options_.fault == Fault::Silence) {
    return false;
  }
  if (request == link::kIdentificationRequest) {
    out += identification_answer();
  } else if (request == link::kDataRequest) {
    if (options_.fault == Fault::RestartInData && !restart_spent_) {
      restart_spent_ = true;
      out.append(data_answer_, 0, data_answer_.size() / 2);
      out += link::kRestartMarker;
      return false;
    }
    out += data_answer_;
  } else {
    return false;
  }
  if (options_.fault == Fault::GarbageAfterEnd) {
    add_garbage(out);
  }
  return request == link::kDataRequest;
}

}  // namespace vkt::sim
