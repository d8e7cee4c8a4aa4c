#pragma once

// The device A import over the measurement table engine.

#include <string>
#include <string_view>

#include "image/devicea_import.h"
#include "store/dbf/table.h"

namespace vkt::image {

// Presents an open (or closed) table to the import.
class DbfImportTable final : public ImportTable {
 public:
  explicit DbfImportTable(dbf::Table& table) : table_(table) {}

  bool is_open() const override { return table_.is_open(); }
  std::string file_name() const override;
  void set_filter(const std::string& expression) override;
  bool last() override { return table_.last(); }
  std::string text(std::string_view field) override { return table_.read_text(field); }
  void append() override { table_.append(); }
  void set_int(std::string_view field, std::int32_t value) override { table_.set_integer(field, value); }
  void set_double(std::string_view field, double value) override { table_.set_double(field, value); }
  void set_text(std::string_view field, std::string_view value) override { table_.set_text(field, value); }
  void post() override { table_.post(); }

 private:
  dbf::Table& table_;
};

// flash2lmf on the measurement table itself.
ImportResult flash2lmf(dbf::Table& table, ProgramState& state, ImportMode mode,
                       std::string_view decimal_separator);

}  // namespace vkt::image
