#pragma once

#include <string>
#include <string_view>

#include "output/report/reportdataset.h"
#include "output/report/reportlayout.h"

namespace vkt::report {

// A number in general form: up to 15 significant digits, no trailing zeros, with the given
// decimal separator; very large or small values in exponent form ("1,5E-7").
std::string general_number_text(double value, std::string_view decimal_separator);

// A number through a number format: "0" rounds to a whole number, "0.00" to two decimals (one
// zero after the point per decimal). Halves round away from zero, judged on the value's 15
// significant digits, so 1.005 gives "1,01". The decimal separator is always a comma.
std::string format_number(double value, std::string_view pattern);

// A field's value as a cell shows it. Text is printed as stored; text of blanks only and empty
// fields print nothing.
std::string field_text(const FieldValue& value, ValueFormat format, std::string_view number_format,
                       std::string_view decimal_separator);

// Replaces "[PAGE#]" and "[TOTALPAGES]".
std::string expand_page_numbers(std::string_view text, int page, int page_count);

}  // namespace vkt::report
