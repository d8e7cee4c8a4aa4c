// Opens arbitrary bytes as a table and walks it every way, reading every field; then edits,
// deletes and packs, so the write paths meet damaged input too.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "store/dbf/table.h"

namespace {

void read_every_field(vkt::dbf::Table& t) {
  for (std::size_t i = 0; i < t.fields().size(); ++i) {
    try {
      (void)t.is_empty(i);
      (void)t.read_text(i);
      (void)t.read_double(i);
      (void)t.read_integer(i);
      (void)t.raw_field(t.recno(), i);
    } catch (const vkt::dbf::DbfError&) {
      // unreadable values are reported, never crash
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vkt::dbf;
  Table t;
  try {
    t.open(std::make_unique<MemoryStorage>(std::vector<std::uint8_t>(data, data + size)));
  } catch (const DbfError&) {
    return 0;
  }
  try {
    for (bool ok = t.first(); ok; ok = t.next()) {
      read_every_field(t);
    }
    for (bool ok = t.last(); ok; ok = t.prior()) {
      (void)t.recno();
    }
    if (!t.fields().empty() && is_numeric(t.fields()[0].type)) {
      t.set_filter(t.fields()[0].name + "=0");
      (void)t.count();
      t.set_filter("");
    }
    if (t.first()) {
      t.edit();
      t.set_text(std::size_t{0}, "1");
      t.post();
      t.delete_row();
    }
    t.append();
    t.post();
    t.pack();
    for (bool ok = t.first(); ok; ok = t.next()) {
      read_every_field(t);
    }
  } catch (const DbfError&) {
  }
  return 0;
}
