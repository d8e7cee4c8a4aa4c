#pragma once

#include <string>
#include <vector>

#include "output/report/pagination.h"
#include "output/report/reportdataset.h"
#include "output/report/reportlayout.h"

namespace vkt::report {

struct RenderOptions {
  // The user's decimal separator, used where a number prints "as text".
  std::string decimal_separator = ",";
};

// The user's decimal separator as the system locale gives it.
std::string system_decimal_separator();

// A cell placed on a page, with its text filled in. Millimetres from the paper's top-left corner.
struct PlacedCell {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
  const Cell* cell = nullptr;  // font, alignment and frame
  std::string text;
};

// A layout prepared over a dataset: the pages are counted and every page can be composed on its
// own, in any order. The layout is copied; the dataset must outlive the document.
class ReportDocument {
 public:
  ReportDocument(const ReportLayout& layout, const ReportDataset& data, RenderOptions options = {});

  const ReportLayout& layout() const { return layout_; }
  const ReportDataset& data() const { return *data_; }
  const PagePlan& plan() const { return plan_; }
  int page_count() const { return plan_.page_count(); }

  // The cells of page `index` (from 0): the title on the first page, the page header, one row
  // band per row of the page, the page footer.
  std::vector<PlacedCell> page_cells(int index) const;

 private:
  void place_band(std::vector<PlacedCell>& out, const Band& band, double top, std::size_t row, bool has_row,
                  const PagePlacement& page) const;

  ReportLayout layout_;
  const ReportDataset* data_;
  RenderOptions options_;
  PagePlan plan_;
};

}  // namespace vkt::report
