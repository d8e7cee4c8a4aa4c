#pragma once

// The rows of an export as typed values, shared by the .xlsx and CSV writers: the same 19
// columns, header texts and row order as the Excel 97-2003 sheet.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "output/export/tableexport.h"
#include "store/dbf/table.h"

namespace vkt::output {

// One cell of an exported row. Numbers hold their value (0 for an empty field); texts their stored
// text ("" gives a blank cell).
struct ExportValue {
  ExportCell cell = ExportCell::Text;
  double number = 0;
  std::string text;
};

// Calls `row` for every row the table's filter admits, in the order the rows are stored (a table
// walked in an index's order is put back into file order first), with its 19 values in column
// order. `rows_ahead` learns the row count before the first row, so a writer can refuse too many
// rows before it writes anything. The cursor ends on the last row.
void for_each_export_row(dbf::Table& table, const std::function<void(std::uint32_t count)>& rows_ahead,
                         const std::function<void(std::span<const ExportValue> values)>& row);

// A calendar date of the instrument's "dd.mm.yyyy" text; nothing for any other text.
struct ExportDate {
  int year = 0;
  int month = 0;
  int day = 0;
};
std::optional<ExportDate> parse_export_date(std::string_view text);

// A time of day of the instrument's "hh:mm:ss" text; nothing for any other text.
struct ExportTime {
  int hour = 0;
  int minute = 0;
  int second = 0;
};
std::optional<ExportTime> parse_export_time(std::string_view text);

// The shortest text that reads back as the same double, with `decimal` as the decimal mark.
std::string export_number_text(double value, char decimal);

// The number of characters (not bytes) of a UTF-8 text.
std::size_t utf8_length(std::string_view text);

}  // namespace vkt::output
