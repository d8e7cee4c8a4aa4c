#include "output/export/xlsxexport.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "output/export/exportrows.h"
#include "output/export/tableexport.h"

namespace vkt::output {

namespace {

// The columns of the instrument's date and time texts.
constexpr std::size_t kDateColumn = 1;
constexpr std::size_t kTimeColumn = 2;

// Column widths in characters of the default font: a little room beside the longest text, and a
// limit so a long comment does not push everything else off the screen.
constexpr double kWidthPadding = 2;
constexpr double kMinWidth = 6;
constexpr double kMaxWidth = 60;

constexpr double kSecondsPerDay = 86400;

std::string temporary_name(const std::string& target) {
  const std::filesystem::path path(target);
  std::filesystem::path temporary = path;
  // The library writes through a name of its own choosing only at the very end.
  temporary.replace_filename("." + path.filename().string() + ".part.xlsx");
  return temporary.string();
}

// The library's own texts are English; the user reads ours.
std::string error_text(const std::string& file_name, lxw_error error) {
  std::string reason;
  switch (error) {
    case LXW_ERROR_CREATING_XLSX_FILE:
      reason = "файл не создаётся (нет папки или нет прав на запись)";
      break;
    case LXW_ERROR_CREATING_TMPFILE:
      reason = "не создаётся временный файл";
      break;
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
      reason = "недостаточно памяти";
      break;
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
    case LXW_ERROR_READING_TMPFILE:
      reason = "ошибка записи на диск";
      break;
    default:
      reason = "ошибка библиотеки libxlsxwriter " + std::to_string(static_cast<int>(error));
      break;
  }
  return "Не удалось записать книгу Excel " + file_name + ": " + reason + ".";
}

// The widest text of every column, the header included; a first pass over the rows, so the widths
// can be set before the rows stream out.
std::array<double, kExportColumnCount> column_widths(dbf::Table& table) {
  std::array<std::size_t, kExportColumnCount> chars{};
  for (std::size_t c = 0; c < kExportColumnCount; ++c) {
    chars[c] = utf8_length(kExportColumns[c].header);
  }
  for_each_export_row(
      table, [](std::uint32_t) {},
      [&chars](std::span<const ExportValue> values) {
        for (std::size_t c = 0; c < values.size(); ++c) {
          const ExportValue& v = values[c];
          const std::size_t n =
              v.cell == ExportCell::Text ? utf8_length(v.text) : export_number_text(v.number, '.').size();
          chars[c] = std::max(chars[c], n);
        }
      });
  std::array<double, kExportColumnCount> widths{};
  for (std::size_t c = 0; c < kExportColumnCount; ++c) {
    widths[c] = std::clamp(static_cast<double>(chars[c]) + kWidthPadding, kMinWidth, kMaxWidth);
  }
  return widths;
}

// Owns the workbook until it is closed; a workbook never closed is closed (and its temporary file
// removed) on the way out.
class Workbook {
 public:
  Workbook(const std::string& path) : path_(path) {
    lxw_workbook_options options{};
    // Rows go straight to a temporary file instead of staying in memory.
    options.constant_memory = LXW_TRUE;
    book_ = workbook_new_opt(path_.c_str(), &options);
  }
  ~Workbook() {
    if (book_ != nullptr) {
      workbook_close(book_);
      std::error_code ignored;
      std::filesystem::remove(path_, ignored);
    }
  }
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;

  lxw_workbook* get() const { return book_; }
  lxw_error close() {
    const lxw_error result = workbook_close(book_);
    book_ = nullptr;
    return result;
  }

 private:
  std::string path_;
  lxw_workbook* book_ = nullptr;
};

void check(lxw_error error, const std::string& file_name) {
  if (error != LXW_NO_ERROR) {
    throw XlsxError(error_text(file_name, error));
  }
}

}  // namespace

void export_table_to_xlsx(dbf::Table& table, std::uint8_t device_code, const std::string& file_name) {
  const std::uint32_t rows = table.count();
  if (rows > kMaxXlsxRows) {
    throw XlsxError("Экспорт невозможен: строк в таблице " + std::to_string(rows) +
                    ", а лист Excel вмещает не более " + std::to_string(kMaxXlsxRows) + ".");
  }
  // The library reports a missing folder only when it closes the workbook, and in English on the
  // console: look first.
  std::error_code ignored;
  const std::filesystem::path folder = std::filesystem::path(file_name).parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder, ignored)) {
    throw XlsxError(error_text(file_name, LXW_ERROR_CREATING_XLSX_FILE));
  }
  const auto widths = column_widths(table);

  const std::string temporary = temporary_name(file_name);
  Workbook book(temporary);
  if (book.get() == nullptr) {
    throw XlsxError("Не удалось создать книгу Excel " + file_name + ".");
  }
  const std::string sheet_name = export_sheet_name(device_code);
  lxw_worksheet* sheet = workbook_add_worksheet(book.get(), sheet_name.c_str());
  lxw_format* header = workbook_add_format(book.get());
  format_set_bold(header);
  lxw_format* date = workbook_add_format(book.get());
  format_set_num_format(date, kXlsxDateFormat);
  lxw_format* time = workbook_add_format(book.get());
  format_set_num_format(time, kXlsxTimeFormat);
  if (sheet == nullptr || header == nullptr || date == nullptr || time == nullptr) {
    throw XlsxError("Не удалось создать книгу Excel " + file_name + ".");
  }

  for (std::size_t c = 0; c < kExportColumnCount; ++c) {
    const auto col = static_cast<lxw_col_t>(c);
    check(worksheet_set_column(sheet, col, col, widths[c], nullptr), file_name);
  }
  worksheet_freeze_panes(sheet, 1, 0);
  for (std::size_t c = 0; c < kExportColumnCount; ++c) {
    const std::string text(kExportColumns[c].header);
    check(worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), text.c_str(), header), file_name);
  }

  lxw_row_t row = 0;
  for_each_export_row(
      table, [](std::uint32_t) {},
      [&](std::span<const ExportValue> values) {
        ++row;
        for (std::size_t c = 0; c < values.size(); ++c) {
          const ExportValue& v = values[c];
          const auto col = static_cast<lxw_col_t>(c);
          if (v.cell != ExportCell::Text) {
            check(worksheet_write_number(sheet, row, col, v.number, nullptr), file_name);
            continue;
          }
          if (v.text.empty()) {
            continue;
          }
          if (c == kDateColumn) {
            if (const auto d = parse_export_date(v.text)) {
              lxw_datetime when{d->year, d->month, d->day, 0, 0, 0.0};
              check(worksheet_write_datetime(sheet, row, col, &when, date), file_name);
              continue;
            }
          } else if (c == kTimeColumn) {
            if (const auto t = parse_export_time(v.text)) {
              const double seconds = t->hour * 3600.0 + t->minute * 60.0 + t->second;
              check(worksheet_write_number(sheet, row, col, seconds / kSecondsPerDay, time), file_name);
              continue;
            }
          }
          check(worksheet_write_string(sheet, row, col, v.text.c_str(), nullptr), file_name);
        }
      });

  std::error_code error;
  if (const lxw_error closed = book.close(); closed != LXW_NO_ERROR) {
    std::filesystem::remove(temporary, error);
    throw XlsxError(error_text(file_name, closed));
  }
  std::filesystem::rename(temporary, file_name, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    throw XlsxError("Не удалось записать книгу Excel " + file_name + ".");
  }
}

}  // namespace vkt::output
