#pragma once

// The formats a measurement table can be exported to, and the one call that writes any of them.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "output/export/csvexport.h"
#include "store/dbf/table.h"

namespace vkt::output {

enum class ExportFormat {
  Xls,   // Excel 97-2003, our own writer
  Xlsx,  // Office Open XML, where the build has libxlsxwriter
  Csv,
};

// "xls", "xlsx", "csv" (any case); nothing for another name.
std::optional<ExportFormat> export_format_named(std::string_view name);
// By the file's extension: ".xlsx" and ".csv" (any case) name theirs, anything else is .xls.
ExportFormat export_format_for_file(std::string_view file_name);

// Whether this build writes .xlsx.
bool xlsx_supported();

// This build was made without the .xlsx writer.
class ExportFormatUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
inline constexpr const char* kNoXlsxText = "Эта сборка программы не записывает книги Excel .xlsx.";

struct ExportRequest {
  ExportFormat format = ExportFormat::Xls;
  std::uint8_t device_code = 0;  // names the sheet of .xls and .xlsx
  CsvStyle csv;
};

// Writes the rows the table's filter admits to `file_name` in the requested format. The file is
// replaced whole or left as it was. Errors of the writers pass through with their texts.
void export_table(dbf::Table& table, const ExportRequest& request, const std::string& file_name);

}  // namespace vkt::output
