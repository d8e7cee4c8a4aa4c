#include "store/dbf/numberfield.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "store/dbf/dbferror.h"

namespace vkt::dbf {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\0';
}

std::string right_align(std::string digits, int width, std::string_view shown) {
  if (static_cast<int>(digits.size()) > width) {
    throw DbfError(ErrorKind::Usage,
                   "Число " + std::string(shown) + " не помещается в поле шириной " + std::to_string(width));
  }
  digits.insert(0, static_cast<std::size_t>(width) - digits.size(), ' ');
  return digits;
}

// "-0.00" reads back as 0; store it without the sign.
void drop_negative_zero(std::string& text) {
  if (!text.empty() && text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) {
    text.erase(0, 1);
  }
}

// Exact powers of ten as doubles.
constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The form every writer of these fields uses: blanks, an optional '-', digits with at most one
// point, blanks, and at most 15 digits in all. Such a number is an integer below 2^53 divided by
// an exact power of ten, which one correctly rounded division gives exactly as the general
// reader would. Anything else (empty, '*', a '+', an exponent, more digits, stray bytes) is left
// to the general reader.
std::optional<double> parse_plain(std::string_view stored) {
  const char* p = stored.data();
  const char* const end = p + stored.size();
  while (p != end && is_blank(*p)) {
    ++p;
  }
  const bool negative = p != end && *p == '-';
  if (negative) {
    ++p;
  }
  std::uint64_t mantissa = 0;
  int digits = 0;
  int decimals = -1;  // digits after the point, once there is one
  for (; p != end; ++p) {
    const char c = *p;
    if (c >= '0' && c <= '9') {
      mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
      ++digits;
      if (decimals >= 0) {
        ++decimals;
      }
    } else if (c == '.' && decimals < 0) {
      decimals = 0;
    } else {
      break;
    }
  }
  while (p != end && is_blank(*p)) {
    ++p;
  }
  if (p != end || digits == 0 || digits > 15) {
    return std::nullopt;
  }
  const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[decimals > 0 ? decimals : 0];
  return negative ? -magnitude : magnitude;
}

}  // namespace

StoredNumber parse_number(std::string_view stored) {
  if (const std::optional<double> plain = parse_plain(stored)) {
    return {true, *plain};
  }
  std::size_t begin = 0;
  std::size_t end = stored.size();
  while (begin < end && is_blank(stored[begin])) {
    ++begin;
  }
  while (end > begin && is_blank(stored[end - 1])) {
    --end;
  }
  const std::string_view text = stored.substr(begin, end - begin);
  if (text.empty() || text.find_first_not_of('*') == std::string_view::npos) {
    return {};
  }
  std::string_view body = text;
  if (body.front() == '+') {
    body.remove_prefix(1);
  }
  // Only digits, a point, a sign and an exponent; from_chars would also take "inf" and "nan".
  if (body.empty() || body.find_first_not_of("0123456789.-+eE") != std::string_view::npos) {
    return {false, std::nullopt};
  }
  double v = 0.0;
  const auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
  if (ec != std::errc() || ptr != body.data() + body.size()) {
    return {false, std::nullopt};
  }
  return {true, v};
}

std::string format_number(double value, int width, int decimals) {
  if (!std::isfinite(value)) {
    throw DbfError(ErrorKind::Usage, "Недопустимое значение числового поля");
  }
  // 20 integer digits already overflow every dBase field; the guard keeps the buffer small.
  if (std::fabs(value) >= 1e20) {
    throw DbfError(ErrorKind::Usage, "Число " + std::to_string(value) + " не помещается в поле шириной " +
                                         std::to_string(width));
  }
  char buf[64];
  const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) {
    throw DbfError(ErrorKind::Usage, "Недопустимое значение числового поля");
  }
  std::string text(buf, ptr);
  drop_negative_zero(text);
  return right_align(std::move(text), width, std::string(buf, ptr));
}

std::string format_integer(std::int64_t value, int width, int decimals) {
  char buf[32];
  const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
  (void)ec;  // 32 characters hold every 64-bit integer
  std::string text(buf, ptr);
  if (decimals > 0) {
    text += '.';
    text.append(static_cast<std::size_t>(decimals), '0');
  }
  return right_align(std::move(text), width, std::string(buf, ptr));
}

}  // namespace vkt::dbf
