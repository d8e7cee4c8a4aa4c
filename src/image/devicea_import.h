#pragma once

// The device A import: turns the records of the memory image into measurement rows and copies
// their waveforms into the program-wide waveform store.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/programstate.h"

namespace vkt::image {

// What the import needs of the open measurement table.
class ImportTable {
 public:
  virtual ~ImportTable() = default;
  virtual bool is_open() const = 0;
  // The path of the table's file (UTF-8), recorded with each imported waveform block.
  virtual std::string file_name() const = 0;
  // Sets the filter expression and re-reads the rows it admits.
  virtual void set_filter(const std::string& expression) = 0;
  // Goes to the last row the filter admits; false when it admits none.
  virtual bool last() = 0;
  // A field of the current row as text.
  virtual std::string text(std::string_view field) = 0;
  // Starts a new empty row; the setters fill it and post() writes it to the table.
  virtual void append() = 0;
  virtual void set_int(std::string_view field, std::int32_t value) = 0;
  virtual void set_double(std::string_view field, double value) = 0;
  virtual void set_text(std::string_view field, std::string_view value) = 0;
  virtual void post() = 0;
};

enum class ImportMode : int {
  kNewFile = 0,  // the table was just created for this download
  kAppend = 1,   // skip the leading records the table already holds
};

struct ImportResult {
  std::size_t appended = 0;  // rows added to the table
  std::size_t skipped = 0;   // leading records not later than the table's last device A row
};

// The filter that admits the device A rows; the import leaves it set.
inline constexpr std::string_view kDeviceAFilter = "NB_TYPE=0";

// Imports the device A records of `state.mem_image` into `table`: one row per record, the
// waveforms of record k at k × 3060 of `state.waveforms` with the row they belong to in
// `state.waveform_owners[k]`, `state.rec_count` set to the rows appended. `decimal_separator` is the
// system's, used in the µ text. Nothing happens when the table is not open.
//
// Before the table is touched the header's record area is checked against the bytes the
// download decoded (`state.image_length`) and against the capacity of the waveform store; an
// image that fails either is refused with an ImageError. In append mode a date or time that
// names no moment fails with an ImageError before any row is added. An error of the table
// while appending ends the import; rows posted before it stay.
ImportResult flash2lmf(ImportTable& table, ProgramState& state, ImportMode mode,
                       std::string_view decimal_separator);

// The coefficient µ, stored in hundredths, as the shortest decimal text: 30 → "0,3" or "0.3",
// 5 → "0.05", 100 → "1", 255 → "2.55".
std::string mu_text(std::uint8_t hundredths, std::string_view decimal_separator);

}  // namespace vkt::image
