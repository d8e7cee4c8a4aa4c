#pragma once

// The instrument's memory image as a download leaves it: a header of two words (record count,
// record size) followed by the device A records, each 12273 bytes. Numbers are unsigned and
// little-endian and are assembled byte by byte, so odd offsets are normal.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vkt::image {

// A malformed image or a date and time text that names no moment.
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Image header.
inline constexpr std::size_t kRecordCountOffset = 0;
inline constexpr std::size_t kRecordSizeOffset = 2;
inline constexpr std::size_t kHeaderSize = 4;

// Device A record. Whatever the header's record size word says, device A records are this long.
inline constexpr std::size_t kRecordSize = 12273;
inline constexpr std::size_t kSamplesPerRecord = 3060;  // three drops of 1020 samples
inline constexpr std::size_t kSamplesPerDrop = 1020;    // 510 displacement, then 510 force samples
inline constexpr std::size_t kSamplesPerCurve = 510;
inline constexpr std::size_t kWaveformOffset = 0;
inline constexpr std::size_t kDependencyOffset = 12240;
inline constexpr std::size_t kMaterialOffset = 12241;
inline constexpr std::size_t kMuOffset = 12242;
inline constexpr std::size_t kModulusOffset = 12243;       // four words: mean, drop 1, 2, 3
inline constexpr std::size_t kDisplacementOffset = 12251;  // four words: mean, drop 1, 2, 3
inline constexpr std::size_t kForceOffset = 12259;         // four words: mean, drop 1, 2, 3
inline constexpr std::size_t kTimeOffset = 12267;          // seconds, minutes, hours
inline constexpr std::size_t kDateOffset = 12270;          // day, month, year - 2000

static_assert(kWaveformOffset + 4 * kSamplesPerRecord == kDependencyOffset);
static_assert(kDateOffset + 3 == kRecordSize);

// Where record k begins in an image.
constexpr std::size_t record_offset(std::size_t k) {
  return kHeaderSize + k * kRecordSize;
}

// The words of the image, least significant byte first. The offset must leave room for the
// value inside `image`; a read past its end is refused with an ImageError.
std::uint16_t image_word(std::span<const std::uint8_t> image, std::size_t offset);
std::uint32_t image_long(std::span<const std::uint8_t> image, std::size_t offset);

// "hh:mm:ss" of the stored time (seconds, minutes, hours) at offset; a part out of range reads 00.
std::string time_text(std::span<const std::uint8_t> image, std::size_t offset);
// "dd.mm.yyyy" of the stored date (day, month, year - 2000) at offset; a day outside 1..31 or a
// month outside 1..12 reads 01. The day is not checked against its month.
std::string date_text(std::span<const std::uint8_t> image, std::size_t offset);

// The moment named by a date text and a time text as seconds counted from the start of
// 1 January of year 1 (proleptic Gregorian, that day being day 1). Only the order of keys
// matters: a later moment always gives a larger key. Throws ImageError
// "'<date> <time>' is not a valid date and time" when the joined text names no moment.
std::int64_t date_time_seconds(std::string_view date, std::string_view time);

// Names of the calibration dependencies and of the materials, by the record's bytes.
inline constexpr std::size_t kDependencyCount = 13;
inline constexpr std::size_t kMaterialCount = 16;
extern const std::array<std::string_view, kDependencyCount> kDependencyNames;
extern const std::array<std::string_view, kMaterialCount> kMaterialNames;

// The name for a record's byte; a byte beyond the table gets a name that keeps its code
// ("Зависимость №13 (неизвестная)", "Материал №16 (неизвестный)").
std::string dependency_name(std::uint8_t code);
std::string material_name(std::uint8_t code);

// Stored time and date as they lie in a record.
struct StoredTime {
  std::uint8_t seconds = 0;
  std::uint8_t minutes = 0;
  std::uint8_t hours = 0;
  friend bool operator==(const StoredTime&, const StoredTime&) = default;
};

struct StoredDate {
  std::uint8_t day = 1;
  std::uint8_t month = 1;
  std::uint8_t year = 0;  // the year minus 2000
  friend bool operator==(const StoredDate&, const StoredDate&) = default;
};

// Index into the four words of a measured quantity.
enum WordIndex : std::size_t { kMean = 0, kDrop1 = 1, kDrop2 = 2, kDrop3 = 3 };

// One device A measurement, field by field.
struct DeviceARecord {
  // Three drops of 1020 samples, each 510 displacement samples followed by 510 force samples.
  std::array<std::uint32_t, kSamplesPerRecord> samples{};
  std::uint8_t dependency = 0;                  // index into kDependencyNames
  std::uint8_t material = 0;                    // index into kMaterialNames
  std::uint8_t mu = 0;                          // coefficient µ in hundredths
  std::array<std::uint16_t, 4> modulus{};       // elastic modulus F, MN/m²: mean, drop 1, 2, 3
  std::array<std::uint16_t, 4> displacement{};  // plate displacement L, µm: mean, drop 1, 2, 3
  std::array<std::uint16_t, 4> force{};         // impact force Fmax, N: mean, drop 1, 2, 3
  StoredTime time;
  StoredDate date;
  friend bool operator==(const DeviceARecord&, const DeviceARecord&) = default;
};

// Writes the record's 12273 bytes to `out`, which must hold exactly kRecordSize bytes.
void encode_record(const DeviceARecord& record, std::span<std::uint8_t> out);
std::vector<std::uint8_t> encode_record(const DeviceARecord& record);

// Reads the record that begins at `offset` of `image`; throws ImageError when the record does
// not lie wholly inside `image`.
DeviceARecord decode_record(std::span<const std::uint8_t> image, std::size_t offset);

// A whole image as the instrument sends it (without the link's checksum): the record count,
// the record size word (12273 unless a test wants another), then the records one after another.
// Throws ImageError when there are more records than a 16-bit count can say.
std::vector<std::uint8_t> build_image(
    std::span<const DeviceARecord> records,
    std::uint16_t record_size_word = static_cast<std::uint16_t>(kRecordSize));

}  // namespace vkt::image
