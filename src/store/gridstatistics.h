#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vkt {

// The values of P and R of one row, as the grids record them for every selected row.
struct PRValues {
  double p = 0;
  double r = 0;
};

// Minimum, mean and maximum of P and of R.
struct GridStatistics {
  double p_min = 0, p_avg = 0, p_max = 0;
  double r_min = 0, r_avg = 0, r_max = 0;
  friend bool operator==(const GridStatistics&, const GridStatistics&) = default;
};

// The value to one decimal, halves upwards for positive values (truncation towards zero).
double to_tenth(double x);

// Statistics of a run of rows: minimum and maximum (the first row starts them, a strictly
// smaller or larger value replaces them) and the mean to one decimal. An empty run gives zeros;
// a single row gives its own values for minimum, mean and maximum.
GridStatistics statistics_of(std::span<const PRValues> rows);

// The footer text "minimum/mean/maximum", each in the general format.
std::string footer_text(double min, double avg, double max, char decimal_point);

}  // namespace vkt
