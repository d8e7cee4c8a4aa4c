#pragma once

#include <cmath>
#include <cstdio>
#include <string>

namespace vkt {

// A number in the general format the program shows everywhere: the shortest decimal form with
// up to 15 significant digits, no trailing zeros, the given decimal separator.
inline std::string general_number_text(double value, char decimal_point) {
  if (value == 0.0 || !std::isfinite(value)) {
    return value == 0.0 ? std::string("0") : std::string();
  }
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::string text(buffer);
  for (char& c : text) {
    if (c == '.') {
      c = decimal_point;
    }
  }
  return text;
}

}  // namespace vkt
