#include "image/imagelayout.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace vkt::image {
namespace {

std::vector<std::uint8_t> bytes_at(std::size_t offset, std::vector<std::uint8_t> values,
                                   std::size_t size = 16) {
  std::vector<std::uint8_t> image(size, 0xEE);
  std::copy(values.begin(), values.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
  return image;
}

TEST(ImageNumbers, WordsAndLongsAreLittleEndianAtAnyOffset) {
  EXPECT_EQ(image_word(bytes_at(3, {0x34, 0x12}), 3), 0x1234);
  EXPECT_EQ(image_word(bytes_at(0, {0xFF, 0xFF}), 0), 65535);
  EXPECT_EQ(image_long(bytes_at(5, {0x78, 0x56, 0x34, 0x12}), 5), 0x12345678u);
  EXPECT_EQ(image_long(bytes_at(1, {0xFF, 0xFF, 0xFF, 0xFF}), 1), 0xFFFFFFFFu);
}

TEST(ImageNumbers, ReadsPastTheEndAreRefused) {
  const std::vector<std::uint8_t> image(8, 0);
  EXPECT_NO_THROW(image_word(image, 6));
  EXPECT_THROW(image_word(image, 7), ImageError);
  EXPECT_NO_THROW(image_long(image, 4));
  EXPECT_THROW(image_long(image, 5), ImageError);
  EXPECT_THROW(image_long(image, std::size_t(-2)), ImageError);
  EXPECT_THROW(time_text(image, 6), ImageError);
  EXPECT_THROW(date_text(image, 6), ImageError);
}

std::string time_of(std::uint8_t s, std::uint8_t m, std::uint8_t h) {
  return time_text(bytes_at(1, {s, m, h}), 1);
}
std::string date_of(std::uint8_t d, std::uint8_t mo, std::uint8_t y) {
  return date_text(bytes_at(2, {d, mo, y}), 2);
}

TEST(StoredTime, PartsArePaddedAndOutOfRangePartsReadZero) {
  EXPECT_EQ(time_of(5, 7, 9), "09:07:05");
  EXPECT_EQ(time_of(60, 60, 24), "00:00:00");
  EXPECT_EQ(time_of(59, 59, 23), "23:59:59");
  EXPECT_EQ(time_of(0, 0, 0), "00:00:00");
  EXPECT_EQ(time_of(255, 10, 255), "00:10:00");
}

TEST(StoredTime, EveryStoredTimeGivesAValidTimeOfDay) {
  for (unsigned s = 0; s < 256; s += 3) {
    for (unsigned m = 0; m < 256; m += 5) {
      for (unsigned h = 0; h < 256; h += 7) {
        const std::string text = time_of(std::uint8_t(s), std::uint8_t(m), std::uint8_t(h));
        ASSERT_EQ(text.size(), 8u) << text;
        char expected[16];
        std::snprintf(expected, sizeof expected, "%02u:%02u:%02u", h > 23 ? 0 : h, m > 59 ? 0 : m,
                      s > 59 ? 0 : s);
        ASSERT_EQ(text, expected);
        ASSERT_NO_THROW(date_time_seconds("01.01.2000", text)) << text;
      }
    }
  }
}

TEST(StoredDate, PartsArePaddedAndOutOfRangePartsReadOne) {
  EXPECT_EQ(date_of(0, 0, 0), "01.01.2000");
  EXPECT_EQ(date_of(31, 12, 255), "31.12.2255");
  EXPECT_EQ(date_of(32, 13, 11), "01.01.2011");
  EXPECT_EQ(date_of(5, 9, 7), "05.09.2007");
  // The day is not checked against its month.
  EXPECT_EQ(date_of(31, 2, 11), "31.02.2011");
}

TEST(DateTimeKey, FollowsTheCalendar) {
  const std::int64_t base = date_time_seconds("01.01.2000", "00:00:00");
  // 1999 years of 365 days and 484 leap days lie before 1 January 2000, which is day 730120.
  EXPECT_EQ(base, std::int64_t{730120} * 86400);
  EXPECT_EQ(date_time_seconds("01.01.2000", "00:00:01"), base + 1);
  EXPECT_EQ(date_time_seconds("02.01.2000", "00:00:00"), base + 86400);
  EXPECT_EQ(date_time_seconds("01.03.2000", "00:00:00") - date_time_seconds("28.02.2000", "00:00:00"),
            2 * 86400);
  EXPECT_EQ(date_time_seconds("01.03.2100", "00:00:00") - date_time_seconds("28.02.2100", "00:00:00"), 86400);
  EXPECT_EQ(date_time_seconds("01.01.2001", "00:00:00") - date_time_seconds("31.12.2000", "23:59:59"), 1);
  EXPECT_EQ(date_time_seconds("12.05.2011", "10:00:00") + 1, date_time_seconds("12.05.2011", "10:00:01"));
}

TEST(DateTimeKey, LaterStoredMomentsGiveLargerKeys) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 2000; ++i) {
    auto a = bytes_at(0, {std::uint8_t(byte(random) % 61), std::uint8_t(byte(random) % 61),
                          std::uint8_t(byte(random) % 25), std::uint8_t(1 + byte(random) % 27),
                          std::uint8_t(1 + byte(random) % 12), std::uint8_t(byte(random))});
    auto b = a;
    b[byte(random) % 6] += 1;  // one part one step later (or out of range, which reads as the lowest)
    const auto key = [](const std::vector<std::uint8_t>& x) {
      return date_time_seconds(date_text(x, 3), time_text(x, 0));
    };
    const bool differs = time_text(b, 0) + date_text(b, 3) != time_text(a, 0) + date_text(a, 3);
    const auto parts = [](const std::vector<std::uint8_t>& x) {
      const std::string d = date_text(x, 3);
      return d.substr(6) + d.substr(3, 2) + d.substr(0, 2) + time_text(x, 0);
    };
    ASSERT_EQ(key(a) < key(b), parts(a) < parts(b)) << parts(a) << " " << parts(b);
    ASSERT_EQ(key(a) == key(b), !differs);
  }
}

TEST(DateTimeKey, LeapDaysAndForeignTextsAreChecked) {
  EXPECT_NO_THROW(date_time_seconds(date_of(29, 2, 12), "00:00:00"));
  EXPECT_EQ(date_of(29, 2, 11), "29.02.2011");
  try {
    date_time_seconds(date_of(29, 2, 11), "10:20:30");
    FAIL() << "29.02.2011 named a day";
  } catch (const ImageError& e) {
    EXPECT_STREQ(e.what(), "'29.02.2011 10:20:30' is not a valid date and time");
  }
  for (const auto& [date, time] : std::vector<std::pair<std::string, std::string>>{
           {"", ""},
           {"", "10:00:00"},
           {"31.04.2011", "10:00:00"},
           {"12.13.2011", "10:00:00"},
           {"00.05.2011", "10:00:00"},
           {"12.05.2011", "24:00:00"},
           {"12.05.2011", "10:60:00"},
           {"12.05.2011", "10:00:60"},
           {"12-05-2011", "10:00:00"},
           {"12.05.2011", "10 00 00"},
           {"12.05.2011", "10:00:00x"},
           {"123.05.2011", "10:00:00"},
           {"дата", "время"},
       }) {
    EXPECT_THROW(date_time_seconds(date, time), ImageError) << date << " " << time;
  }
  try {
    date_time_seconds("", "");
  } catch (const ImageError& e) {
    EXPECT_STREQ(e.what(), "' ' is not a valid date and time");
  }
}

TEST(DateTimeKey, AcceptsTheLooserFormsAUserMayHaveTyped) {
  const std::int64_t key = date_time_seconds("02.03.2011", "04:05:00");
  EXPECT_EQ(date_time_seconds("2.3.2011", "4:5"), key);
  EXPECT_EQ(date_time_seconds("02.03.2011 ", " 04:05:00 "), key);
  EXPECT_EQ(date_time_seconds("02.03.2011", ""), date_time_seconds("02.03.2011", "00:00:00"));
}

TEST(Names, TablesAndCodesBeyondThem) {
  EXPECT_EQ(dependency_name(0), "Базовая зависимость №1");
  EXPECT_EQ(dependency_name(5), "Индивидуальная зависимость №1");
  EXPECT_EQ(dependency_name(12), "Индивидуальная зависимость №8");
  EXPECT_EQ(dependency_name(13), "Зависимость №13 (неизвестная)");
  EXPECT_EQ(dependency_name(255), "Зависимость №255 (неизвестная)");
  EXPECT_EQ(material_name(0), "Скальный грунт");
  EXPECT_EQ(material_name(9), "Пески, супеси");
  EXPECT_EQ(material_name(15), "Грунт");
  EXPECT_EQ(material_name(16), "Материал №16 (неизвестный)");
  EXPECT_EQ(material_name(200), "Материал №200 (неизвестный)");
}

DeviceARecord sample_record(std::uint32_t seed) {
  DeviceARecord r;
  for (std::size_t j = 0; j < r.samples.size(); ++j) {
    r.samples[j] = seed * 2654435761u + static_cast<std::uint32_t>(j) * 40503u;
  }
  r.dependency = std::uint8_t(seed % 13);
  r.material = std::uint8_t(seed % 16);
  r.mu = std::uint8_t(seed * 7);
  for (std::size_t i = 0; i < 4; ++i) {
    r.modulus[i] = std::uint16_t(seed * 100 + i);
    r.displacement[i] = std::uint16_t(seed * 200 + i);
    r.force[i] = std::uint16_t(65535 - seed - i);
  }
  r.time = {std::uint8_t(seed % 60), std::uint8_t(seed % 59), std::uint8_t(seed % 24)};
  r.date = {std::uint8_t(1 + seed % 28), std::uint8_t(1 + seed % 12), std::uint8_t(seed % 30)};
  return r;
}

TEST(RecordEncoder, PutsEveryFieldAtItsPlace) {
  DeviceARecord r;
  r.samples[0] = 0x04030201;
  r.samples[1019] = 0xA1B2C3D4;
  r.samples[3059] = 0xFFFFFFFF;
  r.dependency = 12;
  r.material = 9;
  r.mu = 30;
  r.modulus = {0x0102, 0x0304, 0x0506, 0x0708};
  r.displacement = {0x1112, 0x1314, 0x1516, 0x1718};
  r.force = {0x2122, 0x2324, 0x2526, 0xFFFF};
  r.time = {5, 7, 9};
  r.date = {12, 5, 11};
  const auto b = encode_record(r);
  ASSERT_EQ(b.size(), 12273u);
  EXPECT_EQ((std::vector<std::uint8_t>{b[0], b[1], b[2], b[3], b[4]}),
            (std::vector<std::uint8_t>{1, 2, 3, 4, 0}));
  EXPECT_EQ((std::vector<std::uint8_t>{b[4076], b[4077], b[4078], b[4079]}),
            (std::vector<std::uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
  EXPECT_EQ(b[12236], 0xFF);
  EXPECT_EQ(b[12239], 0xFF);
  EXPECT_EQ(b[12240], 12);
  EXPECT_EQ(b[12241], 9);
  EXPECT_EQ(b[12242], 30);
  const std::vector<std::uint8_t> words(b.begin() + 12243, b.begin() + 12267);
  EXPECT_EQ(words, (std::vector<std::uint8_t>{0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0x08, 0x07,
                                              0x12, 0x11, 0x14, 0x13, 0x16, 0x15, 0x18, 0x17,
                                              0x22, 0x21, 0x24, 0x23, 0x26, 0x25, 0xFF, 0xFF}));
  const std::vector<std::uint8_t> moment(b.begin() + 12267, b.end());
  EXPECT_EQ(moment, (std::vector<std::uint8_t>{5, 7, 9, 12, 5, 11}));
  EXPECT_EQ(time_text(b, kTimeOffset), "09:07:05");
  EXPECT_EQ(date_text(b, kDateOffset), "12.05.2011");

  std::vector<std::uint8_t> too_small(kRecordSize - 1);
  EXPECT_THROW(encode_record(r, too_small), ImageError);
}

TEST(RecordEncoder, DecoderGivesBackWhatWasEncoded) {
  for (std::uint32_t seed : {0u, 1u, 77u, 255u}) {
    const DeviceARecord r = sample_record(seed);
    std::vector<std::uint8_t> image(3 + kRecordSize, 0);
    encode_record(r, std::span<std::uint8_t>(image).subspan(3, kRecordSize));
    EXPECT_EQ(decode_record(image, 3), r) << seed;
    EXPECT_THROW(decode_record(image, 4), ImageError);
  }
}

TEST(ImageBuilder, HeaderWordsThenRecordsBackToBack) {
  const std::vector<DeviceARecord> records = {sample_record(1), sample_record(2)};
  const auto image = build_image(records);
  ASSERT_EQ(image.size(), 4 + 2 * 12273u);
  EXPECT_EQ(image_word(image, 0), 2);
  EXPECT_EQ(image_word(image, 2), 12273);
  EXPECT_EQ(record_offset(1), 12277u);
  EXPECT_EQ(decode_record(image, 4), records[0]);
  EXPECT_EQ(decode_record(image, 12277), records[1]);

  // The records stay where they are whatever the record size word says.
  const auto odd = build_image(records, 100);
  EXPECT_EQ(image_word(odd, 2), 100);
  EXPECT_EQ(decode_record(odd, 12277), records[1]);

  const auto empty = build_image({});
  EXPECT_EQ(empty, (std::vector<std::uint8_t>{0, 0, 0xF1, 0x2F}));
}

}  // namespace
}  // namespace vkt::image
