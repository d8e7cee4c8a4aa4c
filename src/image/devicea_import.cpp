#include "image/devicea_import.h"

#include <algorithm>
#include <span>

#include "image/imagelayout.h"

namespace vkt::image {

namespace {

// Fields of a device A row and the record words they receive.
struct WordField {
  std::string_view name;
  std::size_t offset;
  bool integer;  // an Integer field; the others are Float
};

constexpr WordField kWordFields[] = {
    {"D9", kModulusOffset + 2 * kMean, true},        {"P", kModulusOffset + 2 * kDrop1, false},
    {"R", kModulusOffset + 2 * kDrop2, false},       {"T", kModulusOffset + 2 * kDrop3, false},
    {"P10", kDisplacementOffset + 2 * kMean, false}, {"P9", kDisplacementOffset + 2 * kDrop1, false},
    {"P2", kDisplacementOffset + 2 * kDrop2, false}, {"P4", kDisplacementOffset + 2 * kDrop3, false},
    {"D3", kForceOffset + 2 * kMean, true},          {"D4", kForceOffset + 2 * kDrop1, true},
    {"D5", kForceOffset + 2 * kDrop2, true},         {"D6", kForceOffset + 2 * kDrop3, true},
};

// The record count of the image, after checking that its records lie inside the bytes the
// download decoded and fit the waveform store.
std::size_t checked_record_count(const ProgramState& state) {
  const std::size_t decoded = std::min(state.image_length, state.mem_image.size());
  if (decoded < kHeaderSize) {
    throw ImageError("Образ памяти прибора пуст: принято " + std::to_string(decoded) + " байт");
  }
  const std::size_t n =
      image_word(std::span<const std::uint8_t>(state.mem_image.data(), decoded), kRecordCountOffset);
  if (record_offset(n) > decoded) {
    throw ImageError("Образ памяти прибора повреждён: " + std::to_string(n) + " записей по " +
                     std::to_string(kRecordSize) + " байт не умещаются в принятых " +
                     std::to_string(decoded) + " байтах");
  }
  const std::size_t capacity =
      std::min(state.waveforms.size() / kSamplesPerRecord, state.waveform_owners.size());
  if (n > capacity) {
    throw ImageError("Образ памяти прибора содержит " + std::to_string(n) +
                     " записей, а программа вмещает не более " + std::to_string(capacity));
  }
  return n;
}

std::int64_t record_key(std::span<const std::uint8_t> image, std::size_t r) {
  return date_time_seconds(date_text(image, r + kDateOffset), time_text(image, r + kTimeOffset));
}

// Copies the samples of the record at r to their place in the waveform store; the caller has
// checked that both lie inside their arrays.
void copy_waveforms(const std::uint8_t* record, double* store) {
  for (std::size_t j = 0; j < kSamplesPerRecord; ++j) {
    const std::uint8_t* b = record + kWaveformOffset + 4 * j;
    store[j] = static_cast<double>(
        static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
  }
}

void append_row(ImportTable& table, std::span<const std::uint8_t> image, std::size_t k,
                const WaveformOwner& row, std::string_view decimal_separator) {
  const std::size_t r = record_offset(k);
  table.append();
  table.set_double("N", static_cast<double>(row.row_number));
  table.set_text("TIME", row.time);
  table.set_text("DATE", row.date);
  table.set_text("P5", dependency_name(image[r + kDependencyOffset]));
  table.set_text("D2", material_name(image[r + kMaterialOffset]));
  table.set_text("P3", mu_text(image[r + kMuOffset], decimal_separator));
  for (const WordField& field : kWordFields) {
    const std::uint16_t word = image_word(image, r + field.offset);
    if (field.integer) {
      table.set_int(field.name, word);
    } else {
      table.set_double(field.name, word);
    }
  }
  table.post();
}

}  // namespace

std::string mu_text(std::uint8_t hundredths, std::string_view decimal_separator) {
  std::string text = std::to_string(hundredths / 100);
  const unsigned fraction = hundredths % 100;
  if (fraction != 0) {
    text.append(decimal_separator);
    text += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) {
      text += static_cast<char>('0' + fraction % 10);
    }
  }
  return text;
}

ImportResult flash2lmf(ImportTable& table, ProgramState& state, ImportMode mode,
                       std::string_view decimal_separator) {
  if (!table.is_open()) {
    return {};
  }
  const std::size_t n = checked_record_count(state);
  const std::span<const std::uint8_t> image(state.mem_image.data(), record_offset(n));

  table.set_filter(std::string(kDeviceAFilter));
  const bool has_rows = table.last();

  std::size_t first = 0;
  if (mode == ImportMode::kAppend) {
    const std::int64_t last = has_rows ? date_time_seconds(table.text("DATE"), table.text("TIME")) : 0;
    // The skip ends at the first record later than the table's last row; everything after it
    // is imported even when it is not later.
    while (first < n && record_key(image, record_offset(first)) <= last) {
      ++first;
    }
  }
  state.rec_count = static_cast<std::uint16_t>(n - first);

  const std::string file = table.file_name();
  for (std::size_t k = first; k < n; ++k) {
    const std::size_t r = record_offset(k);
    WaveformOwner row{file, static_cast<int>(k + 1), date_text(image, r + kDateOffset),
                      time_text(image, r + kTimeOffset)};
    // Until its row is posted the block belongs to no row.
    state.waveform_owners[k].reset();
    copy_waveforms(image.data() + r, state.waveforms.data() + k * kSamplesPerRecord);
    append_row(table, image, k, row, decimal_separator);
    state.waveform_owners[k] = std::move(row);
  }
  return {n - first, first};
}

}  // namespace vkt::image
