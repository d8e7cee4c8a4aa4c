#pragma once

#include <cstddef>
#include <vector>

#include "output/report/reportlayout.h"

namespace vkt::report {

// Where the bands of one page go. Positions are millimetres from the top edge of the paper.
struct PagePlacement {
  int number = 1;  // from 1
  bool has_title = false;
  double title_top = 0;
  double header_top = 0;
  double rows_top = 0;  // top of the first row band
  double footer_top = 0;
  std::size_t first_row = 0;
  std::size_t row_count = 0;
};

// The pages of a layout over a number of rows. Row bands have a fixed height, so pagination is
// arithmetic alone: the first pass counts the pages, and every page then knows the total.
struct PagePlan {
  std::vector<PagePlacement> pages;
  int page_count() const { return static_cast<int>(pages.size()); }
};

// How many row bands fit between the page header and the page footer; the first page also
// carries the title. At least one, so that a layout too tall for its paper still ends.
std::size_t rows_per_page(const ReportLayout& layout, bool first_page);

// Always at least one page: a report without rows still prints its title, header and footer.
PagePlan paginate(const ReportLayout& layout, std::size_t row_count);

}  // namespace vkt::report
