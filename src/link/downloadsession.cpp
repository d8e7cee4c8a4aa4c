#include "link/downloadsession.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "link/linkcodec.h"

namespace vkt::link {

namespace {

Effect effect(Effect::Kind kind, std::string text = {}, std::uint32_t value = 0) {
  return Effect{kind, std::move(text), {}, value};
}

// True when every character of the block is a data character ('0' to '?'), so that no marker
// can hide in it. Written to let the compiler test many characters at once.
bool only_data_chars(const char* data, std::size_t length) {
  unsigned char acc = 0;
  for (std::size_t i = 0; i < length; ++i) {
    acc |= static_cast<unsigned char>(static_cast<unsigned char>(data[i]) - 0x30u) & 0xF0u;
  }
  return acc == 0;
}

}  // namespace

DownloadSession::DownloadSession(ProgramState& state, std::vector<std::string> ports)
    : state_(state), ports_(std::move(ports)), rx_buffer_(new char[kRxBufferSize]) {}

void DownloadSession::set_ports(std::vector<std::string> ports) {
  ports_ = std::move(ports);
  port_index_ = 0;
}

std::string DownloadSession::port_name() const {
  return port_index_ < ports_.size() ? ports_[port_index_] : std::string();
}

std::uint32_t DownloadSession::data_answer_chars(std::uint32_t records) {
  // 'S', two characters per image byte, the checksum, 'P'.
  return static_cast<std::uint32_t>(1 + 2 * (image::kHeaderSize + records * image::kRecordSize) +
                                    kChecksumChars + 1);
}

void DownloadSession::clear_flags() {
  start_seen_ = false;
  end_seen_ = false;
}

void DownloadSession::progress(Effects& out, std::uint32_t position, bool always) {
  if (always || position != progress_pos_) {
    progress_pos_ = position;
    out.push_back(effect(Effect::Kind::ProgressPosition, {}, position));
  }
}

void DownloadSession::finish(Effects& out, Result result) {
  phase_ = Phase::Finished;
  out.push_back(effect(Effect::Kind::Finish, {}, static_cast<std::uint32_t>(result)));
}

void DownloadSession::fail(Effects& out, const char* text) {
  out.push_back(effect(Effect::Kind::ClosePort));
  out.push_back(Effect{Effect::Kind::ErrorBox, text, kExchangeErrorCaption, 0});
  clear_flags();
  finish(out, Result::Cancel);
}

DownloadSession::Effects DownloadSession::show() {
  Effects out;
  phase_ = Phase::Waiting;
  port_index_ = 0;
  clear_flags();
  header_ok_ = false;
  rx_count_ = 0;
  start_in_buffer_ = false;
  progress(out, 0, true);
  out.push_back(effect(Effect::Kind::DeviceType));
  out.push_back(effect(Effect::Kind::Version));
  out.push_back(effect(Effect::Kind::RecordCount));
  out.push_back(effect(Effect::Kind::Status, kStatusWaiting));
  restart_wait(out);
  return out;
}

void DownloadSession::restart_wait(Effects& out) {
  if (port_index_ < ports_.size()) {
    out.push_back(effect(Effect::Kind::OpenPort, ports_[port_index_]));
  }
  request_ = kIdentificationRequest;
  out.push_back(effect(Effect::Kind::Send, {}, static_cast<unsigned char>(kIdentificationRequest)));
  out.push_back(effect(Effect::Kind::StartTimer, {}, wait_ms_));
}

DownloadSession::Effects DownloadSession::timer() {
  Effects out;
  if (phase_ != Phase::Waiting) {
    return out;  // a tick that was already queued when an answer began
  }
  out.push_back(effect(Effect::Kind::StopTimer));
  out.push_back(effect(Effect::Kind::ClosePort));
  clear_flags();
  rx_count_ = 0;
  start_in_buffer_ = false;
  if (port_index_ + 1 < ports_.size()) {
    ++port_index_;
    progress(out, 0, true);
    restart_wait(out);
    return out;
  }
  port_index_ = 0;
  progress(out, 0, true);
  out.push_back(Effect{Effect::Kind::ErrorBox, kNotFound, kNotFoundCaption, 0});
  finish(out, Result::Cancel);
  return out;
}

DownloadSession::Effects DownloadSession::cancel() {
  Effects out;
  if (phase_ == Phase::Idle || phase_ == Phase::Finished) {
    return out;
  }
  if (phase_ == Phase::Waiting) {
    out.push_back(effect(Effect::Kind::StopTimer));
  }
  out.push_back(effect(Effect::Kind::ClosePort));
  clear_flags();
  rx_count_ = 0;
  start_in_buffer_ = false;
  progress(out, 0, true);
  finish(out, Result::Cancel);
  return out;
}

DownloadSession::Effects DownloadSession::close() {
  Effects out;
  out.push_back(effect(Effect::Kind::StopTimer));
  if (phase_ != Phase::Idle && phase_ != Phase::Finished) {
    // Closed by some other way than the exchange's own: the port must not stay open.
    out.push_back(effect(Effect::Kind::ClosePort));
    phase_ = Phase::Finished;
  }
  return out;
}

DownloadSession::Effects DownloadSession::port_failed() {
  Effects out;
  switch (phase_) {
    case Phase::Waiting:
      // While the wait runs a failing port counts as silence: the next port gets its turn.
      out.push_back(effect(Effect::Kind::ClosePort));
      break;
    case Phase::Identification:
    case Phase::Data:
      fail(out, kTransferError);
      break;
    case Phase::Idle:
    case Phase::Finished:
      break;
  }
  return out;
}

DownloadSession::Effects DownloadSession::chunk(const char* data, std::size_t length) {
  Effects out;
  if (phase_ == Phase::Idle || phase_ == Phase::Finished || length == 0) {
    return out;
  }
  // Never write past the receive buffer: what does not fit is looked at no further.
  const std::size_t take = std::min(length, kRxBufferSize - rx_count_);
  if (!scan_markers(out, data, take)) {
    return out;
  }
  std::memcpy(rx_buffer_.get() + rx_count_, data, take);
  rx_count_ += take;
  if (take < length && !end_seen_) {
    answer_too_long(out);
    return out;
  }
  answer_received(out);
  return out;
}

bool DownloadSession::scan_markers(Effects& out, const char* data, std::size_t length) {
  constexpr std::size_t kBlock = 64;
  for (std::size_t block = 0; block < length; block += kBlock) {
    const std::size_t block_end = std::min(length, block + kBlock);
    if (only_data_chars(data + block, block_end - block)) {
      continue;
    }
    for (std::size_t i = block; i < block_end; ++i) {
      if (!marker(out, data[i], rx_count_ + i)) {
        return false;
      }
    }
  }
  return true;
}

bool DownloadSession::marker(Effects& out, char c, std::size_t at) {
  if (c == kEndMarker) {
    end_seen_ = true;
  } else if (c == kStartMarker) {
    answer_started(out, at);
  } else if (c == kRestartMarker) {
    restart_exchange(out);
    return false;
  }
  return true;
}

void DownloadSession::answer_started(Effects& out, std::size_t at) {
  start_seen_ = true;
  if (!start_in_buffer_) {
    start_in_buffer_ = true;
    first_start_ = at;
  }
  if (phase_ == Phase::Waiting) {
    out.push_back(effect(Effect::Kind::StopTimer));
    phase_ = Phase::Identification;
  }
}

void DownloadSession::restart_exchange(Effects& out) {
  // Everything received so far is dropped, including what the flags say about it, and the
  // identification is asked again.
  if (phase_ == Phase::Waiting) {
    out.push_back(effect(Effect::Kind::StopTimer));
  }
  phase_ = Phase::Identification;
  request_ = kIdentificationRequest;
  rx_count_ = 0;
  start_in_buffer_ = false;
  clear_flags();
  header_ok_ = false;
  out.push_back(effect(Effect::Kind::Send, {}, static_cast<unsigned char>(kIdentificationRequest)));
}

void DownloadSession::answer_too_long(Effects& out) {
  if (phase_ == Phase::Waiting) {
    out.push_back(effect(Effect::Kind::StopTimer));
  }
  fail(out, kTransferError);
}

void DownloadSession::answer_received(Effects& out) {
  if (request_ == kIdentificationRequest && end_seen_) {
    identification_complete(out);
    return;
  }
  if (request_ == kDataRequest && start_seen_) {
    check_data_header(out);
    if (phase_ == Phase::Finished) {
      return;
    }
  }
  if (header_ok_) {
    progress(out, static_cast<std::uint32_t>(std::min<std::size_t>(rx_count_, progress_max_)));
  }
  if (request_ == kDataRequest && end_seen_) {
    data_complete(out);
  }
}

void DownloadSession::identification_complete(Effects& out) {
  const char* rx = rx_buffer_.get();
  if (!link_checksum_ok(rx, rx_count_)) {
    fail(out, kTransferError);
    return;
  }
  const std::size_t s = *find_marker(rx, rx_count_, kStartMarker);
  const std::size_t p = *find_marker(rx, rx_count_, kEndMarker);
  // Too short to hold the fields below: they would be read from beyond the answer.
  if (p - s - 1 - kChecksumChars < kIdentificationPayloadChars) {
    fail(out, kTransferError);
    return;
  }
  const std::size_t payload = s + 1;
  state_.device_code = static_cast<std::uint8_t>(static_cast<unsigned char>(rx[payload + 2]) - 0x30u);
  state_.rec_count = link_word(rx, payload + 14);
  version_ = version_text(rx, payload + 4);
  state_.firmware_version = version_;
  if (state_.device_code > 1) {
    fail(out, kWrongDevice);
    return;
  }
  out.push_back(effect(Effect::Kind::DeviceType, kDeviceTypeName));
  out.push_back(effect(Effect::Kind::Version, version_));
  out.push_back(effect(Effect::Kind::RecordCount, " " + std::to_string(state_.rec_count)));

  clear_flags();
  request_ = kDataRequest;
  phase_ = Phase::Data;
  out.push_back(effect(Effect::Kind::Status, kStatusReceiving));
  header_ok_ = false;
  out.push_back(effect(Effect::Kind::Send, {}, static_cast<unsigned char>(kDataRequest)));
  // Whatever followed the 'P' in this chunk is dropped.
  rx_count_ = 0;
  start_in_buffer_ = false;
  progress_max_ = data_answer_chars(state_.rec_count);
  out.push_back(effect(Effect::Kind::ProgressMaximum, {}, progress_max_));
}

void DownloadSession::check_data_header(Effects& out) {
  const std::size_t s = first_start_;
  if (s + 9 >= rx_count_) {
    return;  // the record count and record size have not all arrived
  }
  const char* rx = rx_buffer_.get();
  const std::uint64_t product = std::uint64_t{link_word(rx, s + 1)} * link_word(rx, s + 5);
  if (product == 0) {
    fail(out, kNoData);
    return;
  }
  header_ok_ = true;
}

void DownloadSession::data_complete(Effects& out) {
  out.push_back(effect(Effect::Kind::ClosePort));
  progress(out, progress_max_);
  out.push_back(effect(Effect::Kind::Status, kStatusReceived));
  clear_flags();

  if (!accept_data_answer(rx_buffer_.get(), rx_count_, state_)) {
    out.push_back(Effect{Effect::Kind::ErrorBox, kTransferError, kExchangeErrorCaption, 0});
    finish(out, Result::Cancel);
    return;
  }
  finish(out, Result::Ok);
}

bool accept_data_answer(const char* rx, std::size_t count, ProgramState& state) {
  if (!link_checksum_ok(rx, count)) {
    return false;
  }
  const std::size_t s = *find_marker(rx, count, kStartMarker);
  const std::size_t p = *find_marker(rx, count, kEndMarker);
  const std::size_t bytes = (p - s - 1) / 2;
  // The records the header announces must all have come with this answer: the import must never
  // read bytes that did not come from this download.
  const std::uint64_t announced =
      image::kHeaderSize + std::uint64_t{link_word(rx, s + 1)} * image::kRecordSize + kChecksumChars / 2;
  if (announced > bytes) {
    return false;
  }
  if (state.mem_image.size() < bytes) {
    state.mem_image.resize(std::max(bytes, kImageCapacity));
  }
  std::uint8_t* image = state.mem_image.data();
  const char* pairs = rx + s + 1;
  for (std::size_t j = 0; j < bytes; ++j) {
    image[j] = link_byte(pairs, 2 * j);
  }
  state.image_length = bytes;
  return true;
}

}  // namespace vkt::link
