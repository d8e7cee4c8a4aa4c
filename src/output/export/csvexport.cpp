#include "output/export/csvexport.h"

#include <stdexcept>
#include <string_view>

#include "output/export/exportrows.h"
#include "output/xls/errors.h"
#include "output/xls/outputfile.h"

namespace vkt::output {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

void append_cell(std::string& out, std::string_view text, char separator) {
  const char special[] = {separator, '"', '\r', '\n', '\0'};
  if (text.find_first_of(special) == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') {
      out += '"';
    }
    out += c;
  }
  out += '"';
}

}  // namespace

void check_csv_style(CsvStyle style) {
  auto bad = [](char c) { return c == '"' || c == '\r' || c == '\n' || c == '\0'; };
  if (style.separator == style.decimal || bad(style.separator) || bad(style.decimal)) {
    throw std::invalid_argument(
        "Разделитель полей CSV должен отличаться от десятичного знака, кавычки и "
        "перевода строки.");
  }
}

CsvStyle csv_style_for_decimal(char decimal_point) {
  return decimal_point == ',' ? CsvStyle{';', ','} : CsvStyle{',', '.'};
}

std::string export_table_to_csv_text(dbf::Table& table, CsvStyle style) {
  check_csv_style(style);
  std::string out(kByteOrderMark);
  for (std::size_t c = 0; c < kExportColumnCount; ++c) {
    if (c > 0) {
      out += style.separator;
    }
    append_cell(out, kExportColumns[c].header, style.separator);
  }
  out += kLineEnd;
  for_each_export_row(
      table, [&out](std::uint32_t count) { out.reserve(out.size() + std::size_t{count} * 200); },
      [&out, style](std::span<const ExportValue> values) {
        bool first = true;
        for (const ExportValue& v : values) {
          if (!first) {
            out += style.separator;
          }
          first = false;
          if (v.cell == ExportCell::Text) {
            append_cell(out, v.text, style.separator);
          } else {
            out += export_number_text(v.number, style.decimal);
          }
        }
        out += kLineEnd;
      });
  return out;
}

void export_table_to_csv(dbf::Table& table, CsvStyle style, const std::string& file_name) {
  const std::string text = export_table_to_csv_text(table, style);
  try {
    xls::OutputFile file(file_name);
    file.write_at(0, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    file.commit();
  } catch (const xls::XlsError&) {
    throw std::runtime_error("Не удалось записать файл " + file_name + ".");
  }
}

}  // namespace vkt::output
