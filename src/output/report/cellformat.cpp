#include "output/report/cellformat.h"

#include <array>
#include <charconv>
#include <cmath>

namespace vkt::report {

namespace {

constexpr int kSignificantDigits = 15;
// Beyond this the rounding below cannot be done in whole numbers; such values are not
// measurements, they only must not break the page.
constexpr double kLargestRounded = 1e15;

std::string shortest_general(double value) {
  std::array<char, 64> buf{};
  const auto result = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::general,
                                    kSignificantDigits);
  return std::string(buf.data(), result.ptr);
}

bool is_blank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

void replace_all(std::string& text, std::string_view what, std::string_view with) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
}

int decimals_of(std::string_view pattern) {
  const auto point = pattern.find('.');
  return point == std::string_view::npos ? 0 : static_cast<int>(pattern.size() - point - 1);
}

}  // namespace

std::string general_number_text(double value, std::string_view decimal_separator) {
  if (!std::isfinite(value)) {
    return {};
  }
  if (value == 0) {
    value = 0;  // no "-0"
  }
  std::string text = shortest_general(value);
  std::string out;
  out.reserve(text.size() + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.') {
      out += decimal_separator;
    } else if (c == 'e') {
      out += 'E';
      std::size_t j = i + 1;
      if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
        if (text[j] == '-') {
          out += '-';
        }
        ++j;
      }
      while (j + 1 < text.size() && text[j] == '0') {
        ++j;
      }
      out.append(text, j);
      break;
    } else {
      out += c;
    }
  }
  return out;
}

std::string format_number(double value, std::string_view pattern) {
  if (!std::isfinite(value)) {
    return {};
  }
  const int decimals = decimals_of(pattern);
  const double scaled = value * std::pow(10.0, decimals);
  if (std::fabs(scaled) >= kLargestRounded) {
    return general_number_text(value, ",");
  }
  // Round the scaled value as its 15 significant digits read, so that a stored 1.005 (in binary
  // a little below) still rounds up as it is written.
  const std::string digits = shortest_general(scaled);
  double as_written = scaled;
  std::from_chars(digits.data(), digits.data() + digits.size(), as_written);
  const auto whole = static_cast<long long>(std::llround(as_written));

  const bool negative = whole < 0;
  std::string magnitude = std::to_string(negative ? -whole : whole);
  if (decimals > 0) {
    if (magnitude.size() <= static_cast<std::size_t>(decimals)) {
      magnitude.insert(0, static_cast<std::size_t>(decimals) + 1 - magnitude.size(), '0');
    }
    magnitude.insert(magnitude.size() - static_cast<std::size_t>(decimals), 1, ',');
  }
  return negative ? "-" + magnitude : magnitude;
}

std::string field_text(const FieldValue& value, ValueFormat format, std::string_view number_format,
                       std::string_view decimal_separator) {
  if (const auto* number = std::get_if<double>(&value)) {
    return format == ValueFormat::Number ? format_number(*number, number_format)
                                         : general_number_text(*number, decimal_separator);
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (is_blank(*text)) {
      return {};
    }
    if (format == ValueFormat::Number) {
      // A number kept as text still goes through the number format when it reads as one.
      double parsed = 0;
      const auto first = text->find_first_not_of(' ');
      const auto last = text->find_last_not_of(' ');
      const char* begin = text->data() + first;
      const char* end = text->data() + last + 1;
      const auto result = std::from_chars(begin, end, parsed);
      if (result.ec == std::errc() && result.ptr == end) {
        return format_number(parsed, number_format);
      }
    }
    return *text;
  }
  return {};
}

std::string expand_page_numbers(std::string_view text, int page, int page_count) {
  std::string out(text);
  replace_all(out, "[PAGE#]", std::to_string(page));
  replace_all(out, "[TOTALPAGES]", std::to_string(page_count));
  return out;
}

}  // namespace vkt::report
