#include "output/report/reportdataset.h"

#include <stdexcept>

namespace vkt::report {

MemoryDataset::MemoryDataset(std::vector<std::string> fields) : fields_(std::move(fields)) {}

std::size_t MemoryDataset::add_row() {
  rows_.emplace_back(fields_.size());
  return rows_.size() - 1;
}

std::ptrdiff_t MemoryDataset::find_column(std::string_view field) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i] == field) {
      return static_cast<std::ptrdiff_t>(i);
    }
  }
  return -1;
}

std::size_t MemoryDataset::column(std::string_view field) {
  const std::ptrdiff_t found = find_column(field);
  if (found >= 0) {
    return static_cast<std::size_t>(found);
  }
  fields_.emplace_back(field);
  for (auto& row : rows_) {
    row.resize(fields_.size());
  }
  return fields_.size() - 1;
}

void MemoryDataset::set(std::size_t row, std::string_view field, FieldValue value) {
  if (row >= rows_.size()) {
    throw std::out_of_range("report dataset: no row " + std::to_string(row));
  }
  const std::size_t c = column(field);
  rows_[row][c] = std::move(value);
}

FieldValue MemoryDataset::value(std::size_t row, std::string_view field) const {
  const std::ptrdiff_t c = find_column(field);
  if (row >= rows_.size() || c < 0) {
    return {};
  }
  return rows_[row][static_cast<std::size_t>(c)];
}

}  // namespace vkt::report
