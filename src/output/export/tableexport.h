#pragma once

// The Excel export's sheet: a header row and one row per measurement row, always the same 19
// columns, whichever device kind the rows are of.

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "output/xls/workbook.h"
#include "store/dbf/table.h"

namespace vkt::output {

// How a column's field goes into its cell.
enum class ExportCell {
  Double,  // a number; an empty field gives 0
  Int32,   // a 32-bit integer number; an empty field gives 0
  Text,    // the stored text; an empty text gives a blank cell
};

struct ExportColumn {
  std::string_view header;
  std::string_view field;
  ExportCell cell;
};

inline constexpr std::size_t kExportColumnCount = 19;
// The export's own header texts. The "F" and "L" before "ср" and the "H" of the forces are Latin
// letters; the header of column 5 is the micro sign.
extern const std::array<ExportColumn, kExportColumnCount> kExportColumns;

// The sheet holds the header in row 0 and data rows 1 to 65,535.
inline constexpr std::uint32_t kMaxExportRows = 65535;

// The sheet's name for the instrument type code: "ВКТ-РС7" below 15, else "ВКТ-РС".
std::string export_sheet_name(std::uint8_t device_code);

// The table holds more rows than a sheet can take; nothing was written.
class ExportTooLargeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Names `sheet` by `device_code` and writes the header row and, from row 1 on, the rows the
// table's filter admits, in the order they are stored in the file. A table still walked in an
// index's order is put back into file order first; the cursor ends on the last exported row.
// More than kMaxExportRows rows are refused with ExportTooLargeError before any cell is written.
void export_table_to_sheet(dbf::Table& table, std::uint8_t device_code, xls::XlsWorksheet& sheet);

// The user's text for a failure of an export: the cause in words (no space left, no permission,
// the file open in another program), the writer's own text after it.
std::string export_failure_text(const std::exception& error);

// Refuses, before anything is written, an output that is the table's own file (under any spelling
// or link).
void refuse_own_input(const dbf::Table& table, const std::string& file_name);

// A workbook of that one sheet, saved to `file_name` (written under a temporary name and renamed,
// so a failed save leaves no half-written file). Errors of the writer pass through. A file name
// that is the table's own file (under any spelling or link) is refused before anything is written.
void export_table_to_file(dbf::Table& table, std::uint8_t device_code, const std::string& file_name);

}  // namespace vkt::output
