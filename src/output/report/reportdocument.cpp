#include "output/report/reportdocument.h"

#include <QLocale>
#include <stdexcept>

#include "output/report/cellformat.h"

namespace vkt::report {

std::string system_decimal_separator() {
  const QString point = QLocale::system().decimalPoint();
  return point.isEmpty() ? std::string(",") : point.toStdString();
}

ReportDocument::ReportDocument(const ReportLayout& layout, const ReportDataset& data, RenderOptions options)
    : layout_(layout),
      data_(&data),
      options_(std::move(options)),
      plan_(paginate(layout_, data.row_count())) {}

void ReportDocument::place_band(std::vector<PlacedCell>& out, const Band& band, double top, std::size_t row,
                                bool has_row, const PagePlacement& page) const {
  for (const Cell& cell : band.cells) {
    PlacedCell placed;
    placed.left = cell.left;
    placed.top = top + cell.top;
    placed.width = cell.width;
    placed.height = cell.height;
    placed.cell = &cell;
    placed.text = expand_page_numbers(cell.text, page.number, page_count());
    if (!cell.field.empty() && has_row) {
      placed.text += field_text(data_->value(row, cell.field), cell.format, cell.number_format,
                                options_.decimal_separator);
    }
    out.push_back(std::move(placed));
  }
}

std::vector<PlacedCell> ReportDocument::page_cells(int index) const {
  if (index < 0 || index >= page_count()) {
    throw std::out_of_range("report page " + std::to_string(index + 1) + " of " +
                            std::to_string(page_count()));
  }
  const PagePlacement& page = plan_.pages[static_cast<std::size_t>(index)];
  std::vector<PlacedCell> out;
  out.reserve(layout_.title.cells.size() + layout_.page_header.cells.size() +
              page.row_count * layout_.row.cells.size() + layout_.page_footer.cells.size());
  // Fields in the title read the row current when the report starts: the first.
  const bool any_rows = data_->row_count() > 0;
  if (page.has_title) {
    place_band(out, layout_.title, page.title_top, 0, any_rows, page);
  }
  place_band(out, layout_.page_header, page.header_top, 0, false, page);
  for (std::size_t i = 0; i < page.row_count; ++i) {
    place_band(out, layout_.row, page.rows_top + static_cast<double>(i) * layout_.row.height,
               page.first_row + i, true, page);
  }
  place_band(out, layout_.page_footer, page.footer_top, 0, false, page);
  return out;
}

}  // namespace vkt::report
