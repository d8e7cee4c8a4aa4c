#pragma once

// The export as an Office Open XML workbook (.xlsx), written with libxlsxwriter: the sheet of the
// Excel 97-2003 export (name, 19 columns, header texts, row order) with numbers as numbers, dates
// and times as real ones, columns as wide as their contents and the header row frozen.
// Built only where the library is found (VKT_WITH_XLSX).

#include <cstdint>
#include <stdexcept>
#include <string>

#include "store/dbf/table.h"

namespace vkt::output {

// A sheet of the format holds 1,048,576 rows: the header and as many data rows less one.
inline constexpr std::uint32_t kMaxXlsxRows = 1048575;

// Number formats of the date and time columns.
inline constexpr const char* kXlsxDateFormat = "dd.mm.yyyy";
inline constexpr const char* kXlsxTimeFormat = "hh:mm:ss";

class XlsxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes the rows the table's filter admits to `file_name`: the workbook is built under a
// temporary name beside it and renamed over it when complete. More than kMaxXlsxRows rows are
// refused before anything is written. A date or time text that is not a valid "dd.mm.yyyy" or
// "hh:mm:ss" stays a text cell.
void export_table_to_xlsx(dbf::Table& table, std::uint8_t device_code, const std::string& file_name);

}  // namespace vkt::output
