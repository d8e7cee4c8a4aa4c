#pragma once

// The download exchange with the instrument, free of I/O: the window (or the command line) feeds
// it events (shown, a received chunk, the answer-wait timer, "Отмена", the port failing) and
// carries out the effects it returns (open or close a port, send a request, run the timer, show
// texts and progress, an error box, finish with OK or Cancel).
//
// The exchange: open the first port, send 'V' and wait for an answer; after the wait interval
// try the next port, and so on; when none answers report that no instrument was found. The
// identification answer gives the type digit, firmware version and record count; then 'Q'
// fetches the whole memory, which is checked and decoded into the program's memory image.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/programstate.h"
#include "image/imagelayout.h"

namespace vkt::link {

// The receive buffer holds the largest answer the instrument can send.
inline constexpr std::size_t kRxBufferSize = kImageCapacity;
inline constexpr unsigned kAnswerWaitMs = 3000;
// The identification answer carries at least this many payload characters.
inline constexpr std::size_t kIdentificationPayloadChars = 18;

// Texts shown by the exchange.
inline constexpr const char* kStatusWaiting = "Ожидание готовности прибора ...";
inline constexpr const char* kStatusReceiving = "Идет прием информации ...";
inline constexpr const char* kStatusReceived = "Данные приняты, прибор можно отключить! Обработка данных";
inline constexpr const char* kDeviceTypeName = "ВКТ-РС7";
inline constexpr const char* kTransferError = "Ошибка передачи данных!";
inline constexpr const char* kWrongDevice = "Вы подключили не тот прибор !";
inline constexpr const char* kNoData = "Нет данных для передачи!";
inline constexpr const char* kNotFound =
    "Прибор не обнаружен! Проверте правильность подключения согласно инструкции!";
inline constexpr const char* kExchangeErrorCaption = "Error";
inline constexpr const char* kNotFoundCaption = "Ошибка";

// Checks a complete data answer among the first `count` characters of `buffer` and decodes it
// into state.mem_image: every complete character pair between 'S' and 'P' (the image, then the
// checksum's four bytes). Refused, leaving the state untouched, when the checksum fails or the
// image header announces more records than the answer carries. Returns whether it was accepted.
bool accept_data_answer(const char* buffer, std::size_t count, ProgramState& state);

struct Effect {
  enum class Kind {
    OpenPort,  // text: port name
    ClosePort,
    Send,        // value: the request character
    StartTimer,  // value: interval in ms
    StopTimer,
    Status,            // text
    DeviceType,        // text of the "Тип прибора:" line
    Version,           // text of the "Версия ПО:" line
    RecordCount,       // text of the "Количество записей:" line
    ProgressMaximum,   // value
    ProgressPosition,  // value
    ErrorBox,          // caption and text; an error icon and one OK button
    Finish,            // value: 1 OK, 2 Cancel
    TryingPort,        // text: the port the search tries now; value: its place in the order
  };
  Kind kind;
  std::string text;
  std::string caption;
  std::uint32_t value = 0;

  bool operator==(const Effect&) const = default;
};

enum class Result : std::uint32_t { Ok = 1, Cancel = 2 };

class DownloadSession {
 public:
  enum class Phase { Idle, Waiting, Identification, Data, Finished };
  using Effects = std::vector<Effect>;

  // `ports` are tried in order; `state` receives device_code, rec_count and the memory image.
  DownloadSession(ProgramState& state, std::vector<std::string> ports);

  // The window is shown: a new exchange starts on the first port.
  Effects show();
  // A chunk of characters arrived from the port.
  Effects chunk(const char* data, std::size_t length);
  // The answer-wait timer ran out.
  Effects timer();
  // "Отмена".
  Effects cancel();
  // The window closes, whatever the way out.
  Effects close();
  // The port failed for good (device unplugged, read error).
  Effects port_failed();

  void set_ports(std::vector<std::string> ports);
  void set_answer_wait_ms(unsigned ms) { wait_ms_ = ms; }
  unsigned answer_wait_ms() const { return wait_ms_; }

  Phase phase() const { return phase_; }
  char request() const { return request_; }
  std::size_t rx_count() const { return rx_count_; }
  const char* rx_buffer() const { return rx_buffer_.get(); }
  bool start_seen() const { return start_seen_; }
  bool end_seen() const { return end_seen_; }
  bool header_ok() const { return header_ok_; }
  // The port in use (empty when the list is empty).
  std::string port_name() const;
  std::uint32_t progress_maximum() const { return progress_max_; }
  std::string firmware_version() const { return version_; }

  // Characters in a complete data answer for `records` device A records.
  static std::uint32_t data_answer_chars(std::uint32_t records);

 private:
  void clear_flags();
  void restart_wait(Effects& out);
  void finish(Effects& out, Result result);
  void fail(Effects& out, const char* text);
  void identification_complete(Effects& out);
  void check_data_header(Effects& out);
  void data_complete(Effects& out);
  void progress(Effects& out, std::uint32_t position, bool always = false);

  // The steps of a received chunk.
  // Acts on the markers among `length` characters about to be stored at rx_count_; false when the
  // instrument restarted the exchange, which drops the chunk.
  bool scan_markers(Effects& out, const char* data, std::size_t length);
  // One character of a block that holds a marker, to be stored at index `at`; false on a restart.
  bool marker(Effects& out, char c, std::size_t at);
  void answer_started(Effects& out, std::size_t at);  // 'S'
  void restart_exchange(Effects& out);                // the instrument starts over
  // More arrived than the longest answer the instrument can send.
  void answer_too_long(Effects& out);
  // What the characters now stored complete: the identification, the data header, progress, the data.
  void answer_received(Effects& out);

  ProgramState& state_;
  std::vector<std::string> ports_;
  std::size_t port_index_ = 0;
  unsigned wait_ms_ = kAnswerWaitMs;

  std::unique_ptr<char[]> rx_buffer_;
  std::size_t rx_count_ = 0;
  std::size_t first_start_ = 0;  // index of the first 'S' in rx_buffer, valid while start_seen_
  bool start_in_buffer_ = false;
  char request_ = 'V';
  bool start_seen_ = false;
  bool end_seen_ = false;
  bool header_ok_ = false;
  Phase phase_ = Phase::Idle;
  std::uint32_t progress_max_ = 0;
  std::uint32_t progress_pos_ = 0;
  std::string version_;
};

}  // namespace vkt::link
