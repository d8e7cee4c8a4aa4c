#include "link/downloadsession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "link/linkcodec.h"

namespace vkt::link {
namespace {

using Kind = Effect::Kind;
using Effects = DownloadSession::Effects;

// The payload of an identification answer: one byte, the type byte (its low half is the type
// digit), the version bytes c, b, a, an uninterpreted word, the record count.
std::string identification_payload(std::uint8_t type, std::uint16_t records, std::uint8_t a = 1,
                                   std::uint8_t b = 2, std::uint8_t c = 3) {
  std::string p;
  append_link_byte(p, 0x5A);
  append_link_byte(p, type);
  append_link_byte(p, c);
  append_link_byte(p, b);
  append_link_byte(p, a);
  append_link_word(p, 12273);
  append_link_word(p, records);
  return p;
}

std::string identification(std::uint8_t type, std::uint16_t records) {
  return frame_answer(identification_payload(type, records));
}

// A memory image of `records` device A records with a header of count and size.
std::vector<std::uint8_t> image_of(std::uint16_t records, std::uint16_t size = 12273) {
  std::vector<std::uint8_t> image(4 + records * image::kRecordSize);
  image[0] = static_cast<std::uint8_t>(records & 0xFF);
  image[1] = static_cast<std::uint8_t>(records >> 8);
  image[2] = static_cast<std::uint8_t>(size & 0xFF);
  image[3] = static_cast<std::uint8_t>(size >> 8);
  for (std::size_t i = 4; i < image.size(); ++i) {
    image[i] = static_cast<std::uint8_t>((i * 131) ^ (i >> 9));
  }
  return image;
}

std::string data_answer(const std::vector<std::uint8_t>& image) {
  return frame_answer(encode_link_bytes(image));
}

class Exchange : public ::testing::Test {
 protected:
  ProgramState state;
  DownloadSession session{state, {"/dev/first", "/dev/second"}};
  Effects all;  // everything the session asked for, in order

  Effects record(Effects e) {
    all.insert(all.end(), e.begin(), e.end());
    return e;
  }
  Effects show() { return record(session.show()); }
  Effects feed(const std::string& text) { return record(session.chunk(text.data(), text.size())); }
  // Feeds text in pieces of `piece` characters.
  Effects feed_in(const std::string& text, std::size_t piece) {
    Effects out;
    for (std::size_t i = 0; i < text.size(); i += piece) {
      auto e = record(session.chunk(text.data() + i, std::min(piece, text.size() - i)));
      out.insert(out.end(), e.begin(), e.end());
    }
    return out;
  }
  Effects tick() { return record(session.timer()); }

  static std::vector<Kind> kinds(const Effects& e) {
    std::vector<Kind> k;
    for (const auto& x : e) {
      k.push_back(x.kind);
    }
    return k;
  }
  static const Effect* find(const Effects& e, Kind kind) {
    auto it = std::find_if(e.begin(), e.end(), [&](const Effect& x) { return x.kind == kind; });
    return it == e.end() ? nullptr : &*it;
  }
  static std::vector<std::string> errors(const Effects& e) {
    std::vector<std::string> out;
    for (const auto& x : e) {
      if (x.kind == Kind::ErrorBox) {
        out.push_back(x.caption + ": " + x.text);
      }
    }
    return out;
  }
  // Whether the port is open after all effects so far.
  bool port_open() const {
    bool open = false;
    for (const auto& x : all) {
      if (x.kind == Kind::OpenPort) {
        open = true;
      } else if (x.kind == Kind::ClosePort) {
        open = false;
      }
    }
    return open;
  }
  static std::uint32_t result(const Effects& e) {
    const Effect* f = find(e, Kind::Finish);
    return f == nullptr ? 0 : f->value;
  }
  // The exchange up to the data request, on the first port.
  void identify(std::uint16_t records) {
    show();
    auto e = feed(identification(1, records));
    ASSERT_EQ(session.phase(), DownloadSession::Phase::Data);
    ASSERT_EQ(session.request(), 'Q');
    ASSERT_NE(find(e, Kind::Send), nullptr);
  }

  static constexpr std::uint32_t kOk = 1;
  static constexpr std::uint32_t kCancel = 2;
};

TEST_F(Exchange, ShowOpensTheFirstPortAsksAndWaits) {
  const auto e = show();
  const std::vector<Effect> expected = {
      {Kind::ProgressPosition, "", "", 0},
      {Kind::DeviceType, "", "", 0},
      {Kind::Version, "", "", 0},
      {Kind::RecordCount, "", "", 0},
      {Kind::Status, "Ожидание готовности прибора ...", "", 0},
      {Kind::OpenPort, "/dev/first", "", 0},
      {Kind::Send, "", "", 'V'},
      {Kind::StartTimer, "", "", 3000},
  };
  EXPECT_EQ(e, expected);
  EXPECT_EQ(session.phase(), DownloadSession::Phase::Waiting);
}

TEST_F(Exchange, WholeDownloadOfThreeRecords) {
  state.device_code = 7;
  show();
  auto e = feed(frame_answer(identification_payload(0, 3, 7, 12, 3)));
  EXPECT_EQ(state.device_code, 0);
  EXPECT_EQ(state.rec_count, 3);
  const std::vector<Effect> expected = {
      {Kind::StopTimer, "", "", 0},
      {Kind::DeviceType, "ВКТ-РС7", "", 0},
      {Kind::Version, "07.12.03", "", 0},
      {Kind::RecordCount, " 3", "", 0},
      {Kind::Status, "Идет прием информации ...", "", 0},
      {Kind::Send, "", "", 'Q'},
      // S, 2 x (4 + 3 x 12273) image characters, 8 checksum characters, P.
      {Kind::ProgressMaximum, "", "", 73656},
  };
  EXPECT_EQ(e, expected);
  EXPECT_EQ(session.rx_count(), 0u);

  const auto image = image_of(3);
  const std::string answer = data_answer(image);
  ASSERT_EQ(answer.size(), 73656u);
  e = feed_in(answer, 4096);
  EXPECT_EQ(result(e), kOk);
  EXPECT_TRUE(errors(e).empty());
  EXPECT_FALSE(port_open());
  // The bar ends full.
  std::uint32_t last = 0;
  for (const auto& x : e) {
    if (x.kind == Kind::ProgressPosition) {
      EXPECT_GE(x.value, last);
      EXPECT_LE(x.value, 73656u);
      last = x.value;
    }
  }
  EXPECT_EQ(last, 73656u);
  const Effect* status = nullptr;
  for (const auto& x : e) {
    if (x.kind == Kind::Status) {
      status = &x;
    }
  }
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->text, "Данные приняты, прибор можно отключить! Обработка данных");
  // The image, then the answer's checksum least significant byte first.
  ASSERT_EQ(state.image_length, image.size() + 4);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), state.mem_image.begin()));
  const std::uint32_t sum = link_checksum(std::string_view(answer).substr(1, answer.size() - 10));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(state.mem_image[image.size() + i], (sum >> (8 * i)) & 0xFF);
  }
  EXPECT_EQ(session.phase(), DownloadSession::Phase::Finished);
  // Nothing more happens once finished.
  EXPECT_TRUE(tick().empty());
  EXPECT_TRUE(feed("Z").empty());
  EXPECT_TRUE(record(session.cancel()).empty());
}

TEST_F(Exchange, InstrumentOnTheSecondPortOnly) {
  show();
  auto e = tick();
  const std::vector<Effect> expected = {
      {Kind::StopTimer, "", "", 0},        {Kind::ClosePort, "", "", 0},
      {Kind::ProgressPosition, "", "", 0}, {Kind::OpenPort, "/dev/second", "", 0},
      {Kind::Send, "", "", 'V'},           {Kind::StartTimer, "", "", 3000},
  };
  EXPECT_EQ(e, expected);
  EXPECT_EQ(session.port_name(), "/dev/second");
  feed(identification(1, 1));
  e = feed(data_answer(image_of(1)));
  EXPECT_EQ(result(e), kOk);
  EXPECT_TRUE(errors(all).empty());
  EXPECT_EQ(state.device_code, 1);
}

TEST_F(Exchange, NoInstrumentOnAnyPort) {
  show();
  tick();
  auto e = tick();
  EXPECT_EQ(errors(e), std::vector<std::string>{"Ошибка: Прибор не обнаружен! Проверте правильность "
                                                "подключения согласно инструкции!"});
  EXPECT_EQ(result(e), kCancel);
  EXPECT_EQ(kinds(e).front(), Kind::StopTimer);
  EXPECT_FALSE(port_open());
  EXPECT_EQ(session.port_name(), "/dev/first");
  EXPECT_TRUE(tick().empty());
}

TEST_F(Exchange, NoPortsAtAllEndsAsNoInstrument) {
  session.set_ports({});
  const auto shown = show();
  EXPECT_EQ(find(shown, Kind::OpenPort), nullptr);
  EXPECT_NE(find(shown, Kind::StartTimer), nullptr);
  EXPECT_EQ(result(tick()), kCancel);
  EXPECT_EQ(errors(all).size(), 1u);
}

TEST_F(Exchange, IdentificationSplitOverChunks) {
  show();
  const std::string answer = identification(1, 2);
  auto e = feed(answer.substr(0, 1));
  EXPECT_EQ(kinds(e), std::vector<Kind>{Kind::StopTimer});
  EXPECT_EQ(session.phase(), DownloadSession::Phase::Identification);
  // Nothing is judged before the P, and the timer is not stopped again.
  e = feed_in(answer.substr(1, answer.size() - 2), 3);
  EXPECT_TRUE(e.empty());
  e = feed(answer.substr(answer.size() - 1));
  EXPECT_EQ(session.request(), 'Q');
  EXPECT_EQ(state.rec_count, 2);
  // A late tick of the wait timer changes nothing.
  EXPECT_TRUE(tick().empty());
}

TEST_F(Exchange, IdentificationRefusals) {
  struct Case {
    std::string answer;
    std::string error;
    std::uint8_t device_code;  // what the refusal leaves behind
  };
  std::string bad_sum = identification(1, 5);
  bad_sum[bad_sum.size() - 2] = bad_sum[bad_sum.size() - 2] == '0' ? '1' : '0';
  std::string digit2_bad_sum = identification(2, 5);
  digit2_bad_sum[5] = digit2_bad_sum[5] == '0' ? '1' : '0';
  const std::vector<Case> cases = {
      {bad_sum, "Error: Ошибка передачи данных!", 9},
      {identification(2, 5), "Error: Вы подключили не тот прибор !", 2},
      // The checksum is tested before the type digit.
      {digit2_bad_sum, "Error: Ошибка передачи данных!", 9},
      // Too short to hold a record count.
      {frame_answer(identification_payload(1, 5).substr(0, 16)), "Error: Ошибка передачи данных!", 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    state.device_code = 9;
    all.clear();
    show();
    auto e = feed(c.answer);
    EXPECT_EQ(errors(e), std::vector<std::string>{c.error});
    EXPECT_EQ(result(e), kCancel);
    EXPECT_EQ(kinds(e)[kinds(e).size() - 3], Kind::ClosePort);
    EXPECT_FALSE(port_open());
    EXPECT_EQ(state.device_code, c.device_code);
  }
}

TEST_F(Exchange, CharactersAfterTheIdentificationAreDropped) {
  show();
  feed(identification(1, 1) + "12345");
  EXPECT_EQ(session.rx_count(), 0u);
  EXPECT_EQ(result(feed(data_answer(image_of(1)))), kOk);
}

TEST_F(Exchange, EmptyHeaderRefusedAsSoonAsNinePayloadCharactersArrive) {
  identify(5);
  std::vector<std::uint8_t> header = {5, 0, 0, 0, 1, 2, 3};
  const std::string text = "S" + encode_link_bytes(header);
  auto e = feed(text.substr(0, 9));
  EXPECT_TRUE(errors(e).empty());
  e = feed(text.substr(9, 1));
  EXPECT_EQ(errors(e), std::vector<std::string>{"Error: Нет данных для передачи!"});
  EXPECT_EQ(result(e), kCancel);
  EXPECT_FALSE(port_open());
}

TEST_F(Exchange, ZeroRecordCountInTheHeaderIsEmptyToo) {
  identify(0);
  auto e = feed(data_answer(image_of(0)));
  EXPECT_EQ(errors(e), std::vector<std::string>{"Error: Нет данных для передачи!"});
}

TEST_F(Exchange, RestartMarkerInTheMiddleOfTheData) {
  identify(2);
  const std::string answer = data_answer(image_of(2));
  feed(answer.substr(0, 1000));
  auto e = feed(answer.substr(1000, 500) + "Z" + answer.substr(1500, 100));
  EXPECT_EQ(kinds(e), std::vector<Kind>{Kind::Send});
  EXPECT_EQ(e[0].value, static_cast<std::uint32_t>('V'));
  EXPECT_EQ(session.rx_count(), 0u);
  EXPECT_EQ(session.request(), 'V');
  // No time limit now: a tick changes nothing.
  EXPECT_TRUE(tick().empty());
  feed(identification(1, 2));
  EXPECT_EQ(result(feed_in(answer, 777)), kOk);
  EXPECT_TRUE(errors(all).empty());
}

TEST_F(Exchange, RestartRightAfterAnEndMarkerForgetsIt) {
  show();
  // A P from a broken answer and the instrument's restart in one chunk.
  EXPECT_EQ(kinds(feed("S0P1Z")), (std::vector<Kind>{Kind::StopTimer, Kind::Send}));
  EXPECT_FALSE(session.end_seen());
  EXPECT_FALSE(session.start_seen());
  auto e = feed(identification(1, 1));
  EXPECT_TRUE(errors(e).empty());
  EXPECT_EQ(session.request(), 'Q');
}

TEST_F(Exchange, DataAnswerRefusals) {
  const auto image = image_of(2);
  std::string bad = data_answer(image);
  bad[bad.size() / 2] = bad[bad.size() / 2] == '5' ? '6' : '5';
  // A header that announces more records than the answer carries, with a valid checksum.
  auto short_image = image_of(2);
  short_image.resize(4 + image::kRecordSize);
  std::string p_only = data_answer(image);
  p_only[0] = '0';
  for (const std::string& answer : {bad, data_answer(short_image), p_only}) {
    std::fill(state.mem_image.begin(), state.mem_image.begin() + 100, 0xAB);
    state.image_length = 77;
    all.clear();
    identify(2);
    auto e = feed_in(answer, 4096);
    EXPECT_EQ(errors(e), std::vector<std::string>{"Error: Ошибка передачи данных!"});
    EXPECT_EQ(result(e), kCancel);
    EXPECT_FALSE(port_open());
    // The image of the earlier download is untouched.
    EXPECT_EQ(state.image_length, 77u);
    EXPECT_EQ(state.mem_image[0], 0xAB);
    EXPECT_EQ(state.mem_image[99], 0xAB);
  }
}

TEST_F(Exchange, ImageTakesEveryPairBetweenStartAndEnd) {
  identify(1);
  // The instrument's answer may run longer than its header says; every byte is kept.
  auto image = image_of(1);
  image.push_back(0x42);
  image.push_back(0x43);
  feed_in(data_answer(image) + "garbage", 5000);
  ASSERT_EQ(state.image_length, image.size() + 4);
  EXPECT_EQ(state.mem_image[image.size() - 1], 0x43);
}

TEST_F(Exchange, AnswerLongerThanTheBuffer) {
  identify(1);
  const std::string start = "S" + encode_link_bytes(image_of(1));
  feed(start);
  const std::string filler(1 << 20, '0');
  Effects e;
  while (session.phase() != DownloadSession::Phase::Finished) {
    e = feed(filler);
    ASSERT_LE(session.rx_count(), kRxBufferSize);
  }
  EXPECT_EQ(session.rx_count(), kRxBufferSize);
  EXPECT_EQ(errors(e), std::vector<std::string>{"Error: Ошибка передачи данных!"});
  EXPECT_EQ(result(e), kCancel);
  EXPECT_FALSE(port_open());
}

TEST_F(Exchange, AnswerFillingTheBufferExactlyIsAccepted) {
  // The largest image: every character of the buffer used, trailing characters ignored.
  identify(438);
  const std::size_t image_bytes = (kRxBufferSize - 2) / 2 - 4;
  auto image = image_of(438);
  image.resize(image_bytes, 0x3C);
  const std::string answer = data_answer(image);
  ASSERT_EQ(answer.size(), kRxBufferSize);
  auto e = feed_in(answer + "0000", 4096);
  EXPECT_EQ(result(e), kOk);
  EXPECT_EQ(state.image_length, image_bytes + 4);
}

TEST_F(Exchange, PortFailure) {
  show();
  // While waiting, a failing port counts as silence.
  auto e = record(session.port_failed());
  EXPECT_EQ(kinds(e), std::vector<Kind>{Kind::ClosePort});
  tick();
  EXPECT_EQ(session.port_name(), "/dev/second");
  feed(identification(1, 3));
  feed(data_answer(image_of(3)).substr(0, 5000));
  e = record(session.port_failed());
  EXPECT_EQ(errors(e), std::vector<std::string>{"Error: Ошибка передачи данных!"});
  EXPECT_EQ(result(e), kCancel);
  EXPECT_FALSE(port_open());
}

TEST_F(Exchange, CancelAndCloseAlwaysCloseThePort) {
  show();
  auto e = record(session.cancel());
  EXPECT_EQ(kinds(e),
            (std::vector<Kind>{Kind::StopTimer, Kind::ClosePort, Kind::ProgressPosition, Kind::Finish}));
  EXPECT_EQ(result(e), kCancel);
  EXPECT_TRUE(errors(all).empty());
  EXPECT_EQ(kinds(record(session.close())), std::vector<Kind>{Kind::StopTimer});

  // Closed some other way in the middle of the data.
  identify(2);
  feed("S0000");
  e = record(session.close());
  EXPECT_EQ(kinds(e), (std::vector<Kind>{Kind::StopTimer, Kind::ClosePort}));
  EXPECT_TRUE(feed("0000").empty());
}

TEST_F(Exchange, ShownAgainStartsAfresh) {
  identify(1);
  feed(data_answer(image_of(1)));
  ASSERT_EQ(session.phase(), DownloadSession::Phase::Finished);
  all.clear();
  identify(2);
  EXPECT_EQ(session.progress_maximum(), DownloadSession::data_answer_chars(2));
  EXPECT_EQ(result(feed_in(data_answer(image_of(2)), 100000)), kOk);
  EXPECT_EQ(state.image_length, 4 + 2 * image::kRecordSize + 4);
}

}  // namespace
}  // namespace vkt::link
