#include "image/tableimport.h"

namespace vkt::image {

std::string DbfImportTable::file_name() const {
  const std::u8string name = table_.path().u8string();
  return std::string(name.begin(), name.end());
}

void DbfImportTable::set_filter(const std::string& expression) {
  table_.set_filter(expression);
  table_.refresh();
}

ImportResult flash2lmf(dbf::Table& table, ProgramState& state, ImportMode mode,
                       std::string_view decimal_separator) {
  DbfImportTable adapter(table);
  return flash2lmf(adapter, state, mode, decimal_separator);
}

}  // namespace vkt::image
