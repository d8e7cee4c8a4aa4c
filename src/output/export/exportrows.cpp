#include "output/export/exportrows.h"

#include <array>
#include <charconv>
#include <climits>
#include <vector>

namespace vkt::output {

namespace {

// Two or four decimal digits at `text[at]`; nothing when any is not a digit.
std::optional<int> digits(std::string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return std::nullopt;
    }
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool leap_year(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap_year(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

double clamp_to_int32(std::int64_t value) {
  if (value > INT32_MAX) {
    return INT32_MAX;
  }
  if (value < INT32_MIN) {
    return INT32_MIN;
  }
  return static_cast<double>(value);
}

}  // namespace

void for_each_export_row(dbf::Table& table, const std::function<void(std::uint32_t count)>& rows_ahead,
                         const std::function<void(std::span<const ExportValue> values)>& row) {
  if (table.has_order()) {
    table.clear_order();
  }
  const std::uint32_t count = table.count();
  rows_ahead(count);
  std::array<std::size_t, kExportColumnCount> fields{};
  std::array<ExportValue, kExportColumnCount> values{};
  for (std::size_t c = 0; c < kExportColumnCount; ++c) {
    fields[c] = table.field_index(kExportColumns[c].field);
    values[c].cell = kExportColumns[c].cell;
  }
  table.first();
  for (std::uint32_t i = 1; i <= count; ++i) {
    for (std::size_t c = 0; c < kExportColumnCount; ++c) {
      ExportValue& v = values[c];
      switch (v.cell) {
        case ExportCell::Double:
          v.number = table.read_double(fields[c]).value_or(0.0);
          break;
        case ExportCell::Int32:
          v.number = clamp_to_int32(table.read_integer(fields[c]).value_or(0));
          break;
        case ExportCell::Text:
          v.text = table.read_text(fields[c]);
          break;
      }
    }
    row(values);
    if (i < count) {
      table.next();
    }
  }
}

std::optional<ExportDate> parse_export_date(std::string_view text) {
  if (text.size() != 10 || text[2] != '.' || text[5] != '.') {
    return std::nullopt;
  }
  const auto day = digits(text, 0, 2);
  const auto month = digits(text, 3, 2);
  const auto year = digits(text, 6, 4);
  // Spreadsheet programs count days from 1900 on.
  if (!day || !month || !year || *year < 1900 || *month < 1 || *month > 12 || *day < 1 ||
      *day > days_in_month(*year, *month)) {
    return std::nullopt;
  }
  return ExportDate{*year, *month, *day};
}

std::optional<ExportTime> parse_export_time(std::string_view text) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') {
    return std::nullopt;
  }
  const auto hour = digits(text, 0, 2);
  const auto minute = digits(text, 3, 2);
  const auto second = digits(text, 6, 2);
  if (!hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59) {
    return std::nullopt;
  }
  return ExportTime{*hour, *minute, *second};
}

std::string export_number_text(double value, char decimal) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  std::string text(buffer.data(), result.ptr);
  for (char& c : text) {
    if (c == '.') {
      c = decimal;
    }
  }
  return text;
}

std::size_t utf8_length(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++n;
    }
  }
  return n;
}

}  // namespace vkt::output
