#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vkt::report {

// One field of one row as the table holds it: empty, a number, or stored text (UTF-8).
using FieldValue = std::variant<std::monostate, double, std::string>;

// The rows a report prints, in the order it prints them.
class ReportDataset {
 public:
  virtual ~ReportDataset() = default;
  virtual std::size_t row_count() const = 0;
  // A field of row `row` by name; a field the rows do not have reads as empty.
  virtual FieldValue value(std::size_t row, std::string_view field) const = 0;
};

// Rows held in memory: a list of field names and one value per name in every row.
class MemoryDataset : public ReportDataset {
 public:
  MemoryDataset() = default;
  explicit MemoryDataset(std::vector<std::string> fields);

  // Adds a row and returns its index; every field starts empty.
  std::size_t add_row();
  // Sets a field of a row; a new field name becomes a new column.
  void set(std::size_t row, std::string_view field, FieldValue value);

  const std::vector<std::string>& fields() const { return fields_; }
  std::size_t row_count() const override { return rows_.size(); }
  FieldValue value(std::size_t row, std::string_view field) const override;

 private:
  std::size_t column(std::string_view field);
  std::ptrdiff_t find_column(std::string_view field) const;

  std::vector<std::string> fields_;
  std::vector<std::vector<FieldValue>> rows_;
};

}  // namespace vkt::report
