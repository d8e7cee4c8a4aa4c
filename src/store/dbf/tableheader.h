#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbf/osfile.h"

namespace vkt::dbf {

// Layout of a dBase IV table file (no memo): a 32-byte header, 32-byte field descriptors, the
// terminator, then fixed-length records of a flag byte and the fields, and one end mark.
inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr std::uint8_t kVersionDbase = 0x03;
inline constexpr std::uint8_t kHeaderTerminator = 0x0D;
inline constexpr std::uint8_t kEndOfData = 0x1A;
inline constexpr char kLiveFlag = ' ';
inline constexpr char kDeletedFlag = '*';
inline constexpr std::size_t kFieldNameMax = 10;

// Header offsets.
inline constexpr std::size_t kOffVersion = 0;
inline constexpr std::size_t kOffDate = 1;  // year - 1900, month, day
inline constexpr std::size_t kOffRecordCount = 4;
inline constexpr std::size_t kOffHeaderLength = 8;
inline constexpr std::size_t kOffRecordLength = 10;
inline constexpr std::size_t kOffProductionIndex = 28;
inline constexpr std::size_t kOffLanguageDriver = 29;

// Descriptor offsets.
inline constexpr std::size_t kOffFieldType = 11;
inline constexpr std::size_t kOffFieldWidth = 16;
inline constexpr std::size_t kOffFieldDecimals = 17;
inline constexpr std::size_t kOffFieldHasTag = 31;

enum class FieldType : char {
  Character = 'C',
  Numeric = 'N',
  Float = 'F',
  Date = 'D',
  Logical = 'L',
  Memo = 'M',
};

bool is_numeric(FieldType type);

// A field as the caller asks for it when creating a table.
struct FieldSpec {
  std::string name;  // at most 10 characters: letters, digits, '_'; stored upper case
  FieldType type = FieldType::Character;
  std::uint8_t width = 1;
  std::uint8_t decimals = 0;
};

// A field as found in a file.
struct Field : FieldSpec {
  std::size_t offset = 0;  // of its first byte within a record (the flag byte is at 0)
  bool has_tag = false;    // descriptor byte 31: the production index has a tag on it
};

struct TableHeader {
  std::uint8_t version = kVersionDbase;
  CalendarDate last_update;
  std::uint32_t record_count = 0;
  std::uint16_t header_length = 0;
  std::uint16_t record_length = 0;
  bool production_index = false;
  std::uint8_t language_driver = 0;
};

struct TableLayout {
  TableHeader header;
  std::vector<Field> fields;

  std::uint64_t record_offset(std::uint32_t recno) const {
    return header.header_length + std::uint64_t{recno - 1} * header.record_length;
  }
  std::uint64_t data_end() const {
    return header.header_length + std::uint64_t{header.record_count} * header.record_length;
  }
  std::optional<std::size_t> find(std::string_view name) const;
};

// Reads and checks the header and descriptors (`head` holds at least the first header_length
// bytes of the file, or the whole file when shorter). A layout that does not hold together is
// refused with ErrorKind::Damaged.
TableLayout parse_layout(std::string_view head, std::uint64_t file_size);

// Header, descriptors and terminator of a new, empty table. Bad field lists are refused with
// ErrorKind::Usage.
std::string build_header(const std::vector<FieldSpec>& fields, std::uint8_t language_driver,
                         const CalendarDate& date);

// The 7 bytes at kOffDate: date and record count.
std::string date_and_count_bytes(const CalendarDate& date, std::uint32_t record_count);

}  // namespace vkt::dbf
