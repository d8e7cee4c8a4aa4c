#include "output/report/pagination.h"

#include <algorithm>
#include <cmath>

namespace vkt::report {

namespace {

// Lengths are compared in whole micrometres, so that 11.1 mm rows fill 22.2 mm exactly twice.
long long micrometres(double mm) {
  return std::llround(mm * 1000.0);
}

double header_top(const ReportLayout& layout, bool first_page) {
  return layout.page.margin_top + (first_page ? layout.title.height : 0.0);
}

double footer_top(const ReportLayout& layout) {
  return layout.page.height - layout.page.margin_bottom - layout.page_footer.height;
}

}  // namespace

std::size_t rows_per_page(const ReportLayout& layout, bool first_page) {
  const long long row = micrometres(layout.row.height);
  const long long room = micrometres(footer_top(layout)) -
                         micrometres(header_top(layout, first_page) + layout.page_header.height);
  if (row <= 0 || room < row) {
    return 1;
  }
  return static_cast<std::size_t>(room / row);
}

PagePlan paginate(const ReportLayout& layout, std::size_t row_count) {
  PagePlan plan;
  std::size_t next_row = 0;
  do {
    const bool first = plan.pages.empty();
    PagePlacement page;
    page.number = static_cast<int>(plan.pages.size()) + 1;
    page.has_title = first && layout.title.height > 0;
    page.title_top = layout.page.margin_top;
    page.header_top = header_top(layout, first);
    page.rows_top = page.header_top + layout.page_header.height;
    page.footer_top = footer_top(layout);
    page.first_row = next_row;
    page.row_count = std::min(rows_per_page(layout, first), row_count - next_row);
    next_row += page.row_count;
    plan.pages.push_back(page);
  } while (next_row < row_count);
  return plan;
}

}  // namespace vkt::report
