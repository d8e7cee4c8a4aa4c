#include "output/export/tableexport.h"

#include <filesystem>

#include "output/xls/errors.h"
#include "store/dbf/filereplacement.h"
#include "store/measurement/measurementfile.h"

#include <optional>
#include <vector>

#include "output/xls/writer.h"

namespace vkt::output {

const std::array<ExportColumn, kExportColumnCount> kExportColumns = {{
    {"N", "N", ExportCell::Double},
    {"Дата", "DATE", ExportCell::Text},
    {"Время", "TIME", ExportCell::Text},
    {"Вид зависимости", "P5", ExportCell::Text},
    {"Материал", "D2", ExportCell::Text},
    {"\u00B5", "P3", ExportCell::Text},
    {"Модуль упругости, Fср, МН/м.кв", "D9", ExportCell::Int32},
    {"Модуль упругости, F1, МН/м.кв", "P", ExportCell::Double},
    {"Модуль упругости, F2, МН/м.кв", "R", ExportCell::Double},
    {"Модуль упругости, F3, МН/м.кв", "T", ExportCell::Double},
    {"Перемещение Lср, мкм.", "P10", ExportCell::Double},
    {"Перемещение L1, мкм.", "P9", ExportCell::Double},
    {"Перемещение L2, мкм.", "P2", ExportCell::Double},
    {"Перемещение L3, мкм.", "P4", ExportCell::Double},
    {"Сила удара Fmax.ср, H", "D3", ExportCell::Int32},
    {"Сила удара Fmax1, H", "D4", ExportCell::Int32},
    {"Сила удара Fmax2, H", "D5", ExportCell::Int32},
    {"Сила удара Fmax3, H", "D6", ExportCell::Int32},
    {"Примечание", "COMMENT", ExportCell::Text},
}};

namespace {

// The device type codes from 15 on belong to the other instrument family.
constexpr std::uint8_t kOtherFamilyCode = 15;

std::int32_t to_int32(std::optional<std::int64_t> value) {
  if (!value) {
    return 0;
  }
  // A 9-digit field always fits; anything else is clamped rather than wrapped.
  if (*value > INT32_MAX) {
    return INT32_MAX;
  }
  if (*value < INT32_MIN) {
    return INT32_MIN;
  }
  return static_cast<std::int32_t>(*value);
}

}  // namespace

std::string export_sheet_name(std::uint8_t device_code) {
  return device_code < kOtherFamilyCode ? "ВКТ-РС7" : "ВКТ-РС";
}

void export_table_to_sheet(dbf::Table& table, std::uint8_t device_code, xls::XlsWorksheet& sheet) {
  if (table.has_order()) {
    table.clear_order();
  }
  const std::uint32_t rows = table.count();
  if (rows > kMaxExportRows) {
    throw ExportTooLargeError("Экспорт невозможен: строк в таблице " + std::to_string(rows) +
                              ", а лист Excel вмещает не более " + std::to_string(kMaxExportRows) + ".");
  }
  std::vector<std::size_t> fields;
  fields.reserve(kExportColumnCount);
  for (const ExportColumn& column : kExportColumns) {
    fields.push_back(table.field_index(column.field));
  }

  sheet.Name(export_sheet_name(device_code));
  sheet.reserve(std::size_t{rows + 1} * kExportColumnCount);
  for (std::size_t c = 0; c < kExportColumnCount; ++c) {
    const auto col = static_cast<std::int32_t>(c);
    sheet.Cells(col, 0, col, 0).Value(xls::CellValue(kExportColumns[c].header));
  }

  table.first();
  for (std::uint32_t i = 1; i <= rows; ++i) {
    const auto row = static_cast<std::int32_t>(i);
    for (std::size_t c = 0; c < kExportColumnCount; ++c) {
      const auto col = static_cast<std::int32_t>(c);
      switch (kExportColumns[c].cell) {
        case ExportCell::Double:
          sheet.Cells(col, row, col, row).Value(xls::CellValue(table.read_double(fields[c]).value_or(0.0)));
          break;
        case ExportCell::Int32:
          sheet.Cells(col, row, col, row).Value(xls::CellValue(to_int32(table.read_integer(fields[c]))));
          break;
        case ExportCell::Text: {
          std::string text = table.read_text(fields[c]);
          auto cell = sheet.Cells(col, row, col, row);
          if (!text.empty()) {
            cell.Value(xls::CellValue(std::move(text)));
          }
          break;
        }
      }
    }
    if (i < rows) {
      table.next();
    }
  }
}

std::string export_failure_text(const std::exception& error) {
  if (const auto* e = dynamic_cast<const xls::XlsStorageError*>(&error)) {
    const std::string text = e->what();
    // A write error already names its cause; the others get it in front.
    if (text.rfind("StgCreateDocFile", 0) == 0 || text.rfind("CreateStream", 0) == 0) {
      return "Не удалось записать файл: " + xls::storage_code_cause(e->code()) + " (" + text + ")";
    }
    return text;
  }
  return measurement::failure_text(error);
}

void refuse_own_input(const dbf::Table& table, const std::string& file_name) {
  if (dbf::same_file(table.path(), std::filesystem::path(file_name))) {
    throw dbf::DbfError(dbf::ErrorKind::Usage,
                        "Файл \"" + file_name + "\" — это сам файл измерений: он не будет перезаписан");
  }
}

void export_table_to_file(dbf::Table& table, std::uint8_t device_code, const std::string& file_name) {
  refuse_own_input(table, file_name);
  xls::XlsWorkbook workbook;
  export_table_to_sheet(table, device_code, workbook.AddSheet());
  xls::ExcelWriter writer;
  writer.Save(workbook, file_name);
}

}  // namespace vkt::output
