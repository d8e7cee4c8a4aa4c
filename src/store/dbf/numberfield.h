#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vkt::dbf {

// The ASCII form of dBase numeric (N and F) fields.

// Result of reading a stored number: empty (blanks, or '*' written by a tool on overflow), a
// value, or bytes that are not a number at all.
struct StoredNumber {
  bool valid = true;
  std::optional<double> value;
};

StoredNumber parse_number(std::string_view stored);

// The stored form: right-aligned in width characters, exactly `decimals` digits after the point.
// A value that does not fit (or is not finite) is refused with ErrorKind::Usage; nothing is cut.
std::string format_number(double value, int width, int decimals);
std::string format_integer(std::int64_t value, int width, int decimals);

// All blanks: an empty numeric field.
inline std::string blank_number(int width) {
  return std::string(static_cast<std::size_t>(width), ' ');
}

}  // namespace vkt::dbf
