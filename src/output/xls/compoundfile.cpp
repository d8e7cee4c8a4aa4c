#include "output/xls/compoundfile.h"

#include <algorithm>

#include "output/xls/utf16.h"

namespace vkt::xls {

namespace {

constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kEntriesPerSector = 128;       // 4-byte FAT entries in a sector
constexpr std::size_t kDifatEntriesPerSector = 127;  // the last entry links to the next DIFAT sector
constexpr std::size_t kDirectoryEntrySize = 128;
static_assert(kDirectoryEntrySize * 4 == CompoundFileWriter::kSectorSize);
constexpr std::uint8_t kTypeStream = 2;
constexpr std::uint8_t kTypeRoot = 5;
constexpr std::uint8_t kBlack = 1;

std::uint32_t sectors_for(std::uint64_t bytes, std::uint64_t unit) {
  return static_cast<std::uint32_t>((bytes + unit - 1) / unit);
}

void directory_entry(Bytes& out, std::u16string_view name, std::uint8_t type, std::uint32_t child,
                     std::uint32_t start, std::uint64_t size) {
  const std::size_t at = out.size();
  put_utf16(out, name);
  out.resize(at + 64, 0);
  put_u16(out, static_cast<std::uint16_t>(name.empty() ? 0 : 2 * (name.size() + 1)));
  put_u8(out, type);
  put_u8(out, type == 0 ? 0 : kBlack);
  put_u32(out, CompoundFileWriter::kNoStream);  // left sibling
  put_u32(out, CompoundFileWriter::kNoStream);  // right sibling
  put_u32(out, child);
  out.resize(out.size() + 16 + 4 + 8 + 8, 0);  // class id, state bits, creation and change times
  put_u32(out, start);
  put_u64(out, size);
}

}  // namespace

CompoundFileWriter::CompoundFileWriter(ByteSink& container, std::u16string stream_name)
    : out_(container), stream_name_(std::move(stream_name)) {
  head_.reserve(kMiniStreamCutoff);
}

void CompoundFileWriter::write(const std::uint8_t* data, std::size_t size) {
  size_ += size;
  if (spilled_) {
    out_.write(data, size);
    return;
  }
  head_.insert(head_.end(), data, data + size);
  if (head_.size() >= kMiniStreamCutoff) {
    spill();
  }
}

void CompoundFileWriter::spill() {
  // The stream is too large for the mini stream: its sectors follow the header directly.
  const Bytes header(kSectorSize, 0);
  out_.write(header);
  out_.write(head_);
  Bytes().swap(head_);
  spilled_ = true;
}

void CompoundFileWriter::write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  if (offset + size > size_) {
    throw std::out_of_range("patch past the end of the stream");
  }
  if (!spilled_) {
    std::copy(data, data + size, head_.begin() + static_cast<std::ptrdiff_t>(offset));
  } else {
    out_.write_at(kSectorSize + offset, data, size);
  }
}

void CompoundFileWriter::pad(std::uint64_t bytes) {
  if (bytes > 0) {
    const Bytes zeros(static_cast<std::size_t>(bytes), 0);
    out_.write(zeros);
  }
}

void CompoundFileWriter::finish() {
  if (spilled_) {
    finish_regular();
  } else {
    finish_mini();
  }
}

void CompoundFileWriter::finish_regular() {
  const std::uint32_t stream_sectors = sectors_for(size_, kSectorSize);
  pad(std::uint64_t{stream_sectors} * kSectorSize - size_);
  const std::uint32_t directory_start = stream_sectors;

  // FAT and DIFAT sectors map themselves too: grow both until they cover every sector.
  std::uint32_t fat_sectors = 1;
  std::uint32_t difat_sectors = 0;
  for (;;) {
    const std::uint64_t total = std::uint64_t{stream_sectors} + 1 + fat_sectors + difat_sectors;
    const std::uint32_t need_fat = sectors_for(total, kEntriesPerSector);
    const std::uint32_t need_difat =
        need_fat > kHeaderFatEntries ? sectors_for(need_fat - kHeaderFatEntries, kDifatEntriesPerSector) : 0;
    if (need_fat == fat_sectors && need_difat == difat_sectors) {
      break;
    }
    fat_sectors = need_fat;
    difat_sectors = need_difat;
  }
  const std::uint32_t fat_start = directory_start + 1;
  const std::uint32_t difat_start = fat_start + fat_sectors;

  write_directory(kEndOfChain, 0, 0);

  std::vector<std::uint32_t> fat(std::size_t{fat_sectors} * kEntriesPerSector, kFreeSector);
  for (std::uint32_t i = 0; i < stream_sectors; ++i) {
    fat[i] = i + 1 == stream_sectors ? kEndOfChain : i + 1;
  }
  fat[directory_start] = kEndOfChain;
  std::vector<std::uint32_t> fat_sector_numbers;
  for (std::uint32_t i = 0; i < fat_sectors; ++i) {
    fat[fat_start + i] = kFatSector;
    fat_sector_numbers.push_back(fat_start + i);
  }
  for (std::uint32_t i = 0; i < difat_sectors; ++i) {
    fat[difat_start + i] = kDifatSector;
  }
  write_fat(fat);

  // DIFAT sectors list the FAT sectors the header has no room for.
  Bytes difat;
  for (std::uint32_t d = 0; d < difat_sectors; ++d) {
    for (std::size_t k = 0; k < kDifatEntriesPerSector; ++k) {
      const std::size_t index = kHeaderFatEntries + d * kDifatEntriesPerSector + k;
      put_u32(difat, index < fat_sector_numbers.size() ? fat_sector_numbers[index] : kFreeSector);
    }
    put_u32(difat, d + 1 < difat_sectors ? difat_start + d + 1 : kEndOfChain);
  }
  out_.write(difat);

  write_header(fat_sectors, directory_start, kEndOfChain, 0, difat_sectors > 0 ? difat_start : kEndOfChain,
               difat_sectors, fat_sector_numbers);
}

void CompoundFileWriter::finish_mini() {
  const std::uint32_t mini_sectors = sectors_for(size_, kMiniSectorSize);
  const std::uint64_t mini_stream_size = std::uint64_t{mini_sectors} * kMiniSectorSize;
  const std::uint32_t mini_stream_sectors = sectors_for(mini_stream_size, kSectorSize);
  const std::uint32_t mini_fat_start = mini_stream_sectors;
  const std::uint32_t directory_start = mini_fat_start + 1;
  const std::uint32_t fat_start = directory_start + 1;

  pad(kSectorSize);  // the header, written last
  out_.write(head_);
  pad(std::uint64_t{mini_stream_sectors} * kSectorSize - size_);

  Bytes mini_fat;
  for (std::uint32_t i = 0; i < kEntriesPerSector; ++i) {
    put_u32(mini_fat, i < mini_sectors ? (i + 1 == mini_sectors ? kEndOfChain : i + 1) : kFreeSector);
  }
  out_.write(mini_fat);

  write_directory(mini_sectors > 0 ? 0 : kEndOfChain, mini_stream_size, mini_sectors > 0 ? 0 : kEndOfChain);

  std::vector<std::uint32_t> fat(kEntriesPerSector, kFreeSector);
  for (std::uint32_t i = 0; i < mini_stream_sectors; ++i) {
    fat[i] = i + 1 == mini_stream_sectors ? kEndOfChain : i + 1;
  }
  fat[mini_fat_start] = kEndOfChain;
  fat[directory_start] = kEndOfChain;
  fat[fat_start] = kFatSector;
  write_fat(fat);

  write_header(1, directory_start, mini_fat_start, 1, kEndOfChain, 0, {fat_start});
}

void CompoundFileWriter::write_directory(std::uint32_t root_start, std::uint64_t root_size,
                                         std::uint32_t stream_start) {
  Bytes sector;
  sector.reserve(kSectorSize);
  directory_entry(sector, u"Root Entry", kTypeRoot, 1, root_start, root_size);
  directory_entry(sector, stream_name_, kTypeStream, kNoStream, size_ > 0 ? stream_start : kEndOfChain,
                  size_);
  directory_entry(sector, u"", 0, kNoStream, 0, 0);
  directory_entry(sector, u"", 0, kNoStream, 0, 0);
  out_.write(sector);
}

void CompoundFileWriter::write_fat(const std::vector<std::uint32_t>& entries) {
  Bytes bytes;
  bytes.reserve(entries.size() * 4);
  for (std::uint32_t e : entries) {
    put_u32(bytes, e);
  }
  out_.write(bytes);
}

void CompoundFileWriter::write_header(std::uint32_t fat_sectors, std::uint32_t directory_start,
                                      std::uint32_t mini_fat_start, std::uint32_t mini_fat_sectors,
                                      std::uint32_t difat_start, std::uint32_t difat_sectors,
                                      const std::vector<std::uint32_t>& fat_sector_numbers) {
  Bytes h;
  h.reserve(kSectorSize);
  h.insert(h.end(), std::begin(kSignature), std::end(kSignature));
  h.resize(24, 0);     // class id
  put_u16(h, 0x003E);  // minor version
  put_u16(h, 0x0003);  // major version 3
  put_u16(h, 0xFFFE);  // little-endian
  put_u16(h, 9);       // 512-byte sectors
  put_u16(h, 6);       // 64-byte mini sectors
  h.resize(h.size() + 6, 0);
  put_u32(h, 0);  // directory sector count: always 0 in version 3
  put_u32(h, fat_sectors);
  put_u32(h, directory_start);
  put_u32(h, 0);  // transaction signature
  put_u32(h, static_cast<std::uint32_t>(kMiniStreamCutoff));
  put_u32(h, mini_fat_start);
  put_u32(h, mini_fat_sectors);
  put_u32(h, difat_start);
  put_u32(h, difat_sectors);
  for (std::size_t i = 0; i < kHeaderFatEntries; ++i) {
    put_u32(h, i < fat_sector_numbers.size() ? fat_sector_numbers[i] : kFreeSector);
  }
  out_.write_at(0, h.data(), h.size());
}

}  // namespace vkt::xls
