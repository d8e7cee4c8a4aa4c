#pragma once

// The export as comma-separated text: UTF-8 with a byte order mark (so spreadsheet programs take
// the Cyrillic headers for what they are), the header row and one line per row, CR LF line ends.

#include <cstdint>
#include <string>

#include "store/dbf/table.h"

namespace vkt::output {

struct CsvStyle {
  char separator = ',';
  char decimal = '.';
};

// Where the decimal mark is a comma (a Russian locale), fields are separated by semicolons;
// otherwise by commas with a decimal point.
CsvStyle csv_style_for_decimal(char decimal_point);

// Throws std::invalid_argument when the separator and the decimal mark are the same character,
// or either is a quote or a line break (the text could not be read back).
void check_csv_style(CsvStyle style);

// The whole text of the export: the same columns, headers and rows as the Excel sheet; numbers
// with the style's decimal mark, texts quoted when they hold the separator, a quote or a line break.
// Throws when the separator and the decimal mark are the same character, or either is a quote or a
// line break (the text could not be read back).
std::string export_table_to_csv_text(dbf::Table& table, CsvStyle style);

// The same text written to `file_name` under a temporary name and renamed over it when complete.
void export_table_to_csv(dbf::Table& table, CsvStyle style, const std::string& file_name);

}  // namespace vkt::output
