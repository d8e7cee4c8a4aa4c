#include "store/gridstatistics.h"

#include <cmath>

#include "core/numbertext.h"

namespace vkt {

double to_tenth(double x) {
  return std::trunc(x / 0.1 + 0.5) * 0.1;
}

GridStatistics statistics_of(std::span<const PRValues> rows) {
  GridStatistics s;
  if (rows.empty()) {
    return s;
  }
  if (rows.size() == 1) {
    s.p_min = s.p_avg = s.p_max = rows[0].p;
    s.r_min = s.r_avg = s.r_max = rows[0].r;
    return s;
  }
  s.p_min = s.p_max = rows[0].p;
  s.r_min = s.r_max = rows[0].r;
  double p_sum = rows[0].p;
  double r_sum = rows[0].r;
  for (const PRValues& row : rows.subspan(1)) {
    if (row.p < s.p_min)
      s.p_min = row.p;
    if (row.p > s.p_max)
      s.p_max = row.p;
    if (row.r < s.r_min)
      s.r_min = row.r;
    if (row.r > s.r_max)
      s.r_max = row.r;
    p_sum += row.p;
    r_sum += row.r;
  }
  const auto n = static_cast<double>(rows.size());
  s.p_avg = to_tenth(p_sum / n);
  s.r_avg = to_tenth(r_sum / n);
  return s;
}

std::string footer_text(double min, double avg, double max, char decimal_point) {
  return general_number_text(min, decimal_point) + "/" + general_number_text(avg, decimal_point) + "/" +
         general_number_text(max, decimal_point);
}

}  // namespace vkt
