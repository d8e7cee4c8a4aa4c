#include "image/imagelayout.h"

#include <chrono>
#include <optional>

namespace vkt::image {

const std::array<std::string_view, kDependencyCount> kDependencyNames = {
    "Базовая зависимость №1",        "Базовая зависимость №2",        "Базовая зависимость №3",
    "Базовая зависимость №4",        "Базовая зависимость №5",        "Индивидуальная зависимость №1",
    "Индивидуальная зависимость №2", "Индивидуальная зависимость №3", "Индивидуальная зависимость №4",
    "Индивидуальная зависимость №5", "Индивидуальная зависимость №6", "Индивидуальная зависимость №7",
    "Индивидуальная зависимость №8",
};

const std::array<std::string_view, kMaterialCount> kMaterialNames = {
    "Скальный грунт",
    "Полускальный грунт",
    "Дисперсный грунт",
    "Глинистый грунт",
    "Крупнообломочный грунт",
    "Заторфованный грунт",
    "Набухающий грунт",
    "Просадочный грунт",
    "Пучинистый грунт",
    "Пески, супеси",
    "Суглинки",
    "Глина",
    "Ил",
    "Торф",
    "Почва",
    "Грунт",
};

namespace {

void require(std::span<const std::uint8_t> image, std::size_t offset, std::size_t width) {
  if (offset > image.size() || image.size() - offset < width) {
    throw ImageError("memory image read of " + std::to_string(width) + " bytes at offset " +
                     std::to_string(offset) + " lies beyond its " + std::to_string(image.size()) + " bytes");
  }
}

// Two decimal digits of a time or date part, or the replacement when the part is out of range.
void append_part(std::string& text, unsigned value, unsigned low, unsigned high, const char* replacement) {
  if (value < low || value > high) {
    text += replacement;
    return;
  }
  text += static_cast<char>('0' + value / 10);
  text += static_cast<char>('0' + value % 10);
}

// Reads 1 to max_digits decimal digits at `pos`; advances `pos` past them.
std::optional<int> read_number(std::string_view text, std::size_t& pos, std::size_t max_digits) {
  std::size_t digits = 0;
  int value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < max_digits) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++digits;
  }
  if (digits == 0 || (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')) {
    return std::nullopt;
  }
  return value;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
  if (pos < text.size() && text[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

void skip_blanks(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && text[pos] == ' ') {
    ++pos;
  }
}

// Days from 1 January of year 1 (day 1) to 1 January 1970.
constexpr std::int64_t kDayNumberOfUnixEpoch = 719163;

// Reads "d.m.yyyy[ h:m[:s]]" (blanks around the parts allowed); nullopt when it names no moment.
std::optional<std::int64_t> parse_moment(std::string_view text) {
  std::size_t pos = 0;
  skip_blanks(text, pos);
  const auto day = read_number(text, pos, 2);
  if (!day || !expect(text, pos, '.')) {
    return std::nullopt;
  }
  const auto month = read_number(text, pos, 2);
  if (!month || !expect(text, pos, '.')) {
    return std::nullopt;
  }
  const auto year = read_number(text, pos, 4);
  if (!year || *year < 1) {
    return std::nullopt;
  }
  const std::chrono::year_month_day ymd{std::chrono::year{*year},
                                        std::chrono::month{static_cast<unsigned>(*month)},
                                        std::chrono::day{static_cast<unsigned>(*day)}};
  if (!ymd.ok()) {
    return std::nullopt;
  }
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  skip_blanks(text, pos);
  if (pos < text.size()) {
    const auto h = read_number(text, pos, 2);
    if (!h || !expect(text, pos, ':')) {
      return std::nullopt;
    }
    const auto m = read_number(text, pos, 2);
    if (!m) {
      return std::nullopt;
    }
    hours = *h;
    minutes = *m;
    if (expect(text, pos, ':')) {
      const auto s = read_number(text, pos, 2);
      if (!s) {
        return std::nullopt;
      }
      seconds = *s;
    }
    skip_blanks(text, pos);
    if (pos != text.size() || hours > 23 || minutes > 59 || seconds > 59) {
      return std::nullopt;
    }
  }
  const std::int64_t day_number =
      std::chrono::sys_days{ymd}.time_since_epoch().count() + kDayNumberOfUnixEpoch;
  return day_number * 86400 + hours * 3600 + minutes * 60 + seconds;
}

void put_word(std::span<std::uint8_t> out, std::size_t offset, std::uint16_t value) {
  out[offset] = static_cast<std::uint8_t>(value & 0xFF);
  out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put_long(std::span<std::uint8_t> out, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

}  // namespace

std::uint16_t image_word(std::span<const std::uint8_t> image, std::size_t offset) {
  require(image, offset, 2);
  return static_cast<std::uint16_t>(image[offset] | (image[offset + 1] << 8));
}

std::uint32_t image_long(std::span<const std::uint8_t> image, std::size_t offset) {
  require(image, offset, 4);
  return static_cast<std::uint32_t>(image[offset]) | (static_cast<std::uint32_t>(image[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(image[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(image[offset + 3]) << 24);
}

std::string time_text(std::span<const std::uint8_t> image, std::size_t offset) {
  require(image, offset, 3);
  std::string text;
  text.reserve(8);
  append_part(text, image[offset + 2], 0, 23, "00");
  text += ':';
  append_part(text, image[offset + 1], 0, 59, "00");
  text += ':';
  append_part(text, image[offset], 0, 59, "00");
  return text;
}

std::string date_text(std::span<const std::uint8_t> image, std::size_t offset) {
  require(image, offset, 3);
  std::string text;
  text.reserve(10);
  append_part(text, image[offset], 1, 31, "01");
  text += '.';
  append_part(text, image[offset + 1], 1, 12, "01");
  text += '.';
  text += std::to_string(2000 + image[offset + 2]);
  return text;
}

std::int64_t date_time_seconds(std::string_view date, std::string_view time) {
  std::string joined;
  joined.reserve(date.size() + 1 + time.size());
  joined.append(date).append(" ").append(time);
  if (const auto key = parse_moment(joined)) {
    return *key;
  }
  throw ImageError("'" + joined + "' is not a valid date and time");
}

std::string dependency_name(std::uint8_t code) {
  if (code < kDependencyNames.size()) {
    return std::string(kDependencyNames[code]);
  }
  return "Зависимость №" + std::to_string(code) + " (неизвестная)";
}

std::string material_name(std::uint8_t code) {
  if (code < kMaterialNames.size()) {
    return std::string(kMaterialNames[code]);
  }
  return "Материал №" + std::to_string(code) + " (неизвестный)";
}

void encode_record(const DeviceARecord& record, std::span<std::uint8_t> out) {
  if (out.size() != kRecordSize) {
    throw ImageError("a device A record takes " + std::to_string(kRecordSize) + " bytes, not " +
                     std::to_string(out.size()));
  }
  for (std::size_t j = 0; j < kSamplesPerRecord; ++j) {
    put_long(out, kWaveformOffset + 4 * j, record.samples[j]);
  }
  out[kDependencyOffset] = record.dependency;
  out[kMaterialOffset] = record.material;
  out[kMuOffset] = record.mu;
  for (std::size_t i = 0; i < 4; ++i) {
    put_word(out, kModulusOffset + 2 * i, record.modulus[i]);
    put_word(out, kDisplacementOffset + 2 * i, record.displacement[i]);
    put_word(out, kForceOffset + 2 * i, record.force[i]);
  }
  out[kTimeOffset] = record.time.seconds;
  out[kTimeOffset + 1] = record.time.minutes;
  out[kTimeOffset + 2] = record.time.hours;
  out[kDateOffset] = record.date.day;
  out[kDateOffset + 1] = record.date.month;
  out[kDateOffset + 2] = record.date.year;
}

std::vector<std::uint8_t> encode_record(const DeviceARecord& record) {
  std::vector<std::uint8_t> bytes(kRecordSize);
  encode_record(record, bytes);
  return bytes;
}

DeviceARecord decode_record(std::span<const std::uint8_t> image, std::size_t offset) {
  require(image, offset, kRecordSize);
  const auto bytes = image.subspan(offset, kRecordSize);
  DeviceARecord record;
  for (std::size_t j = 0; j < kSamplesPerRecord; ++j) {
    record.samples[j] = image_long(bytes, kWaveformOffset + 4 * j);
  }
  record.dependency = bytes[kDependencyOffset];
  record.material = bytes[kMaterialOffset];
  record.mu = bytes[kMuOffset];
  for (std::size_t i = 0; i < 4; ++i) {
    record.modulus[i] = image_word(bytes, kModulusOffset + 2 * i);
    record.displacement[i] = image_word(bytes, kDisplacementOffset + 2 * i);
    record.force[i] = image_word(bytes, kForceOffset + 2 * i);
  }
  record.time = {bytes[kTimeOffset], bytes[kTimeOffset + 1], bytes[kTimeOffset + 2]};
  record.date = {bytes[kDateOffset], bytes[kDateOffset + 1], bytes[kDateOffset + 2]};
  return record;
}

std::vector<std::uint8_t> build_image(std::span<const DeviceARecord> records,
                                      std::uint16_t record_size_word) {
  if (records.size() > 0xFFFF) {
    throw ImageError("a memory image holds at most 65535 records, not " + std::to_string(records.size()));
  }
  std::vector<std::uint8_t> image(record_offset(records.size()));
  put_word(image, kRecordCountOffset, static_cast<std::uint16_t>(records.size()));
  put_word(image, kRecordSizeOffset, record_size_word);
  for (std::size_t k = 0; k < records.size(); ++k) {
    encode_record(records[k], std::span<std::uint8_t>(image).subspan(record_offset(k), kRecordSize));
  }
  return image;
}

}  // namespace vkt::image
