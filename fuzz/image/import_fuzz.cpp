// Imports arbitrary bytes as a memory image. The first byte chooses the mode and how many of the
// remaining bytes the download is said to have decoded; the rest is the image. The image is held
// in an array of exactly its own size so that any read beyond it is caught.
#include <cstddef>
#include <cstdint>
#include <string>

#include "image/devicea_import.h"
#include "image/imagelayout.h"

namespace {

class CountingTable : public vkt::image::ImportTable {
 public:
  explicit CountingTable(std::string last_date) : last_date_(std::move(last_date)) {}
  bool is_open() const override { return true; }
  std::string file_name() const override { return "fuzz.db"; }
  void set_filter(const std::string&) override {}
  bool last() override { return !last_date_.empty(); }
  std::string text(std::string_view field) override { return field == "DATE" ? last_date_ : "12:00:00"; }
  void append() override { ++rows_; }
  void set_int(std::string_view, std::int32_t) override {}
  void set_double(std::string_view, double) override {}
  void set_text(std::string_view, std::string_view) override {}
  void post() override {}

 private:
  std::string last_date_;
  int rows_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  static vkt::ProgramState state;
  const std::uint8_t control = data[0];
  state.mem_image.assign(data + 1, data + size);
  state.image_length = (control & 0x80) != 0 ? state.mem_image.size() : state.mem_image.size() / 2 + 3;
  const auto mode = (control & 1) != 0 ? vkt::image::ImportMode::kAppend : vkt::image::ImportMode::kNewFile;
  CountingTable table((control & 2) != 0 ? "15.06.2011" : "");
  try {
    vkt::image::flash2lmf(table, state, mode, ",");
  } catch (const vkt::image::ImageError&) {
  }
  return 0;
}
