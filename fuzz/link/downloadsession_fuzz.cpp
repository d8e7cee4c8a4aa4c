// Arbitrary sequences of chunks, timer ticks, cancels, port failures and new showings fed to the
// download exchange. Besides raw chunks, the input can ask for well-formed answers (cut into
// pieces of its choosing) so that the deep paths are reached. An exchange may end OK only with an
// image that independently checks out against the receive buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/imagelayout.h"
#include "link/downloadsession.h"
#include "link/linkcodec.h"

namespace {

using vkt::link::DownloadSession;
using vkt::link::Effect;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::string bytes(std::size_t n) {
    n = std::min(n, size_ - pos_);
    std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// What an accepted download must have left: the image is exactly the pairs between S and P of a
// buffer whose checksum holds, and it carries every record its header announces.
void check_accepted(const DownloadSession& session, const vkt::ProgramState& state) {
  const char* rx = session.rx_buffer();
  const std::size_t count = session.rx_count();
  check(count <= vkt::link::kRxBufferSize);
  check(vkt::link::link_checksum_ok(rx, count));
  const std::size_t s = *vkt::link::find_marker(rx, count, 'S');
  const std::size_t p = *vkt::link::find_marker(rx, count, 'P');
  check(state.image_length == (p - s - 1) / 2);
  check(state.device_code <= 1);
  const std::size_t records = vkt::link::link_word(rx, s + 1);
  check(4 + records * vkt::image::kRecordSize + 4 <= state.image_length);
  for (std::size_t j = 0; j < state.image_length; ++j) {
    check(state.mem_image[j] == vkt::link::link_byte(rx, s + 1 + 2 * j));
  }
}

std::string identification(Input& in) {
  std::string payload;
  vkt::link::append_link_byte(payload, in.byte());
  vkt::link::append_link_byte(payload, static_cast<std::uint8_t>(in.byte() % 3));
  for (int i = 0; i < 3; ++i) {
    vkt::link::append_link_byte(payload, in.byte());
  }
  vkt::link::append_link_word(payload, 12273);
  vkt::link::append_link_word(payload, static_cast<std::uint16_t>(in.byte() % 4));
  payload.resize(payload.size() - in.byte() % 3);  // sometimes too short
  return vkt::link::frame_answer(payload);
}

std::string data_answer(Input& in) {
  const std::uint16_t records = in.byte() % 3;
  const std::uint16_t claimed = static_cast<std::uint16_t>(records + (in.byte() % 5 == 0 ? 1 : 0));
  std::vector<std::uint8_t> image(4 + records * vkt::image::kRecordSize, 0);
  image[0] = static_cast<std::uint8_t>(claimed);
  const bool empty = in.byte() % 4 == 0;  // record size 0
  image[2] = empty ? 0 : 0xF1;
  image[3] = empty ? 0 : 0x2F;
  const std::uint8_t fill = in.byte();
  for (std::size_t i = 4; i < image.size(); ++i) {
    image[i] = static_cast<std::uint8_t>(fill + i);
  }
  std::string text = vkt::link::frame_answer(vkt::link::encode_link_bytes(image));
  if (in.byte() % 7 == 0) {
    text[1 + in.byte() % (text.size() - 1)] ^= 0x01;  // a line error
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vkt::ProgramState state;
  static DownloadSession session(state, {});
  static const std::string filler(1 << 21, '0');

  Input in(data, size);
  std::vector<std::string> ports(in.byte() % 4, "/dev/port");
  session.set_ports(ports);
  state.image_length = 0;
  std::string pending;  // a well-formed answer waiting to be delivered
  bool finished = false;

  auto apply = [&](const DownloadSession::Effects& effects, bool may_act) {
    if (finished && !may_act) {
      check(effects.empty());
    }
    for (const auto& e : effects) {
      if (e.kind == Effect::Kind::Finish) {
        check(!finished);
        finished = true;
        check(session.phase() == DownloadSession::Phase::Finished);
        if (e.value == 1) {
          check_accepted(session, state);
        }
      }
    }
    check(session.rx_count() <= vkt::link::kRxBufferSize);
  };

  apply(session.show(), true);
  finished = false;
  while (!in.empty()) {
    switch (in.byte() % 10) {
      case 0: {
        const std::string chunk = in.bytes(in.byte());
        apply(session.chunk(chunk.data(), chunk.size()), false);
        break;
      }
      case 1:
        apply(session.timer(), false);
        break;
      case 2:
        apply(session.cancel(), false);
        break;
      case 3:
        apply(session.port_failed(), false);
        break;
      case 4:
        finished = false;
        state.image_length = 0;
        apply(session.show(), true);
        break;
      case 5:
        pending += identification(in);
        break;
      case 6:
        pending += data_answer(in);
        break;
      case 7: {
        // Deliver what is pending in pieces.
        const std::size_t piece = 1 + in.byte() * 64u;
        for (std::size_t i = 0; i < pending.size(); i += piece) {
          apply(session.chunk(pending.data() + i, std::min(piece, pending.size() - i)), false);
        }
        pending.clear();
        break;
      }
      case 8:
        apply(session.chunk(filler.data(), filler.size()), false);
        break;
      case 9:
        apply(session.close(), true);
        if (!finished) {
          finished = session.phase() == DownloadSession::Phase::Finished;
        }
        break;
    }
  }
  return 0;
}
