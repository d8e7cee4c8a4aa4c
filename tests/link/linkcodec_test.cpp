#include "link/linkcodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vkt::link {
namespace {

TEST(LinkByte, LowHalfComesFirst) {
  EXPECT_EQ(link_byte("0?", 0), 0xF0);
  EXPECT_EQ(link_byte("?0", 0), 0x0F);
  EXPECT_EQ(link_byte("x91", 1), 0x19);
}

TEST(LinkByte, EveryByteSurvivesTheLink) {
  for (unsigned v = 0; v < 256; ++v) {
    std::string text;
    append_link_byte(text, static_cast<std::uint8_t>(v));
    ASSERT_EQ(text.size(), 2u);
    for (char c : text) {
      EXPECT_GE(c, '0');
      EXPECT_LE(c, '?');
    }
    EXPECT_EQ(link_byte(text.data(), 0), v) << text;
  }
}

TEST(LinkByte, CharactersOutsideTheDataRangeStillCount) {
  // "A" is 0x41: 0x11 above '0'; the value is taken modulo 256 without complaint.
  EXPECT_EQ(link_byte("A0", 0), 0x11);
  EXPECT_EQ(link_byte("0A", 0), 0x10);
  EXPECT_EQ(link_byte(" 0", 0), 0xF0);  // 0x20 - 0x30 wraps round
}

TEST(LinkWord, LittleEndian) {
  EXPECT_EQ(link_word("0000", 0), 0);
  EXPECT_EQ(link_word("1??2", 0), 12273);
  std::string text;
  append_link_word(text, 12273);
  EXPECT_EQ(text, "1??2");
  append_link_word(text, 0xFFFF);
  EXPECT_EQ(link_word(text.data(), 4), 0xFFFF);
}

TEST(LinkLong, LowWordFirst) {
  EXPECT_EQ(link_long("<<000000", 0), 0xCCu);
  for (std::uint32_t v : {0u, 1u, 0x12345678u, 0x80000000u, 0xFFFFFFFFu}) {
    std::string text;
    append_link_long(text, v);
    ASSERT_EQ(text.size(), 8u);
    EXPECT_EQ(link_long(text.data(), 0), v);
  }
  std::string text;
  append_link_long(text, 0x12345678u);
  EXPECT_EQ(text, "87654321");
}

TEST(FindMarker, FirstOccurrenceWithinCount) {
  const std::string text = "01S23S45P";
  EXPECT_EQ(find_marker(text.data(), text.size(), 'S'), 2u);
  EXPECT_EQ(find_marker(text.data(), text.size(), 'P'), 8u);
  EXPECT_FALSE(find_marker(text.data(), 8, 'P').has_value());
  EXPECT_FALSE(find_marker(text.data(), text.size(), 'Z').has_value());
  EXPECT_FALSE(find_marker(text.data(), 0, '0').has_value());
}

TEST(Checksum, PositionWeightsEachCharacter) {
  EXPECT_EQ(link_checksum("0123"), 0xCCu);
  EXPECT_EQ(link_checksum("01"), 0x64u);
  EXPECT_EQ(link_checksum("10"), 0x62u);
  // The position counter is 32 bits wide: past 255 it changes the upper bits of each term.
  EXPECT_EQ(link_checksum(std::string(300, '0')), 0xB35Eu);
}

TEST(Checksum, WorkedExampleAcceptedAndEveryChangeRefused) {
  const std::string frame = "S0123<<000000P";
  ASSERT_TRUE(link_checksum_ok(frame.data(), frame.size()));
  EXPECT_EQ(frame_answer("0123"), frame);
  for (std::size_t i = 0; i < frame.size(); ++i) {
    for (int c = 0; c < 256; ++c) {
      if (static_cast<char>(c) == frame[i]) {
        continue;
      }
      std::string changed = frame;
      changed[i] = static_cast<char>(c);
      EXPECT_FALSE(link_checksum_ok(changed.data(), changed.size())) << "position " << i << " char " << c;
    }
  }
}

TEST(Checksum, FrameRules) {
  const std::string frame = frame_answer("0123");
  // Characters before S (other than S or P) and after P do not matter.
  const std::string padded = "0;" + frame + "S?P";
  EXPECT_TRUE(link_checksum_ok(padded.data(), padded.size()));
  // A stray S before the real one is taken as the start.
  const std::string stray = "S" + frame;
  EXPECT_FALSE(link_checksum_ok(stray.data(), stray.size()));
  // P before S, no S at all, no P at all.
  const std::string p_first = "P" + frame;
  EXPECT_FALSE(link_checksum_ok(p_first.data(), p_first.size()));
  const std::string no_start = frame.substr(1);
  EXPECT_FALSE(link_checksum_ok(no_start.data(), no_start.size()));
  EXPECT_FALSE(link_checksum_ok(frame.data(), frame.size() - 1));
  // Nothing between S and the checksum, even though the empty sum matches the zero checksum.
  const std::string empty = "S00000000P";
  EXPECT_FALSE(link_checksum_ok(empty.data(), empty.size()));
  // The smallest accepted answer has one payload character.
  const std::string one = frame_answer("7");
  EXPECT_TRUE(link_checksum_ok(one.data(), one.size()));
}

TEST(Checksum, LongAnswerRoundTrip) {
  std::vector<std::uint8_t> bytes(70000);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 37 + (i >> 8));
  }
  std::string frame = frame_answer(encode_link_bytes(bytes));
  ASSERT_EQ(frame.size(), 2 + 2 * bytes.size() + 8);
  EXPECT_TRUE(link_checksum_ok(frame.data(), frame.size()));
  for (std::size_t i = 0; i < bytes.size(); i += 997) {
    EXPECT_EQ(link_byte(frame.data(), 1 + 2 * i), bytes[i]);
  }
  frame[frame.size() / 2] ^= 0x01;
  EXPECT_FALSE(link_checksum_ok(frame.data(), frame.size()));
}

TEST(VersionText, ThreeBytesHighestFirst) {
  auto text_of = [](std::uint8_t c, std::uint8_t b, std::uint8_t a) {
    std::string t;
    append_link_byte(t, c);
    append_link_byte(t, b);
    append_link_byte(t, a);
    return version_text(t.data(), 0);
  };
  EXPECT_EQ(text_of(3, 12, 7), "07.12.03");
  EXPECT_EQ(text_of(0, 0, 0), "00.00.00");
  EXPECT_EQ(text_of(5, 10, 200), "200.10.05");
  EXPECT_EQ(text_of(99, 100, 9), "09.100.99");
}

}  // namespace
}  // namespace vkt::link
