#include "output/export/exportformat.h"

#include <algorithm>
#include <cctype>

#include "output/export/tableexport.h"
#ifdef VKT_WITH_XLSX
#include "output/export/xlsxexport.h"
#endif

namespace vkt::output {

namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool ends_with(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::optional<ExportFormat> export_format_named(std::string_view name) {
  const std::string n = lower(name);
  if (n == "xls") {
    return ExportFormat::Xls;
  }
  if (n == "xlsx") {
    return ExportFormat::Xlsx;
  }
  if (n == "csv") {
    return ExportFormat::Csv;
  }
  return std::nullopt;
}

ExportFormat export_format_for_file(std::string_view file_name) {
  const std::string n = lower(file_name);
  if (ends_with(n, ".xlsx")) {
    return ExportFormat::Xlsx;
  }
  if (ends_with(n, ".csv")) {
    return ExportFormat::Csv;
  }
  return ExportFormat::Xls;
}

bool xlsx_supported() {
#ifdef VKT_WITH_XLSX
  return true;
#else
  return false;
#endif
}

void export_table(dbf::Table& table, const ExportRequest& request, const std::string& file_name) {
  refuse_own_input(table, file_name);
  switch (request.format) {
    case ExportFormat::Xls:
      export_table_to_file(table, request.device_code, file_name);
      return;
    case ExportFormat::Xlsx:
#ifdef VKT_WITH_XLSX
      export_table_to_xlsx(table, request.device_code, file_name);
      return;
#else
      throw ExportFormatUnavailable(kNoXlsxText);
#endif
    case ExportFormat::Csv:
      export_table_to_csv(table, request.csv, file_name);
      return;
  }
}

}  // namespace vkt::output
