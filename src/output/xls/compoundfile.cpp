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

std::uint32_t sectorsFor(std::uint64_t bytes, std::uint64_t unit) {
  return static_cast<std::uint32_t>((bytes + unit - 1) / unit);
}

void directoryEntry(Bytes& out, std::u16string_view name, std::uint8_t type, std::uint32_t child,
                    std::uint32_t start, std::uint64_t size) {
  const std::size_t at = out.size();
  putUtf16(out, name);
  out.resize(at + 64, 0);
  putU16(out, static_cast<std::uint16_t>(name.empty() ? 0 : 2 * (name.size() + 1)));
  putU8(out, type);
  putU8(out, type == 0 ? 0 : kBlack);
  putU32(out, CompoundFileWriter::kNoStream);  // left sibling
  putU32(out, CompoundFileWriter::kNoStream);  // right sibling
  putU32(out, child);
  out.resize(out.size() + 16 + 4 + 8 + 8, 0);  // class id, state bits, creation and change times
  putU32(out, start);
  putU64(out, size);
}

}  // namespace

CompoundFileWriter::CompoundFileWriter(ByteSink& container, std::u16string streamName)
    : out_(container), streamName_(std::move(streamName)) {
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

void CompoundFileWriter::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  if (offset + size > size_) {
    throw std::out_of_range("patch past the end of the stream");
  }
  if (!spilled_) {
    std::copy(data, data + size, head_.begin() + static_cast<std::ptrdiff_t>(offset));
  } else {
    out_.writeAt(kSectorSize + offset, data, size);
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
    finishRegular();
  } else {
    finishMini();
  }
}

void CompoundFileWriter::finishRegular() {
  const std::uint32_t streamSectors = sectorsFor(size_, kSectorSize);
  pad(std::uint64_t{streamSectors} * kSectorSize - size_);
  const std::uint32_t directoryStart = streamSectors;

  // FAT and DIFAT sectors map themselves too: grow both until they cover every sector.
  std::uint32_t fatSectors = 1;
  std::uint32_t difatSectors = 0;
  for (;;) {
    const std::uint64_t total = std::uint64_t{streamSectors} + 1 + fatSectors + difatSectors;
    const std::uint32_t needFat = sectorsFor(total, kEntriesPerSector);
    const std::uint32_t needDifat =
        needFat > kHeaderFatEntries ? sectorsFor(needFat - kHeaderFatEntries, kDifatEntriesPerSector) : 0;
    if (needFat == fatSectors && needDifat == difatSectors) {
      break;
    }
    fatSectors = needFat;
    difatSectors = needDifat;
  }
  const std::uint32_t fatStart = directoryStart + 1;
  const std::uint32_t difatStart = fatStart + fatSectors;

  writeDirectory(kEndOfChain, 0, 0);

  std::vector<std::uint32_t> fat(std::size_t{fatSectors} * kEntriesPerSector, kFreeSector);
  for (std::uint32_t i = 0; i < streamSectors; ++i) {
    fat[i] = i + 1 == streamSectors ? kEndOfChain : i + 1;
  }
  fat[directoryStart] = kEndOfChain;
  std::vector<std::uint32_t> fatSectorNumbers;
  for (std::uint32_t i = 0; i < fatSectors; ++i) {
    fat[fatStart + i] = kFatSector;
    fatSectorNumbers.push_back(fatStart + i);
  }
  for (std::uint32_t i = 0; i < difatSectors; ++i) {
    fat[difatStart + i] = kDifatSector;
  }
  writeFat(fat);

  // DIFAT sectors list the FAT sectors the header has no room for.
  Bytes difat;
  for (std::uint32_t d = 0; d < difatSectors; ++d) {
    for (std::size_t k = 0; k < kDifatEntriesPerSector; ++k) {
      const std::size_t index = kHeaderFatEntries + d * kDifatEntriesPerSector + k;
      putU32(difat, index < fatSectorNumbers.size() ? fatSectorNumbers[index] : kFreeSector);
    }
    putU32(difat, d + 1 < difatSectors ? difatStart + d + 1 : kEndOfChain);
  }
  out_.write(difat);

  writeHeader(fatSectors, directoryStart, kEndOfChain, 0, difatSectors > 0 ? difatStart : kEndOfChain,
              difatSectors, fatSectorNumbers);
}

void CompoundFileWriter::finishMini() {
  const std::uint32_t miniSectors = sectorsFor(size_, kMiniSectorSize);
  const std::uint64_t miniStreamSize = std::uint64_t{miniSectors} * kMiniSectorSize;
  const std::uint32_t miniStreamSectors = sectorsFor(miniStreamSize, kSectorSize);
  const std::uint32_t miniFatStart = miniStreamSectors;
  const std::uint32_t directoryStart = miniFatStart + 1;
  const std::uint32_t fatStart = directoryStart + 1;

  pad(kSectorSize);  // the header, written last
  out_.write(head_);
  pad(std::uint64_t{miniStreamSectors} * kSectorSize - size_);

  Bytes miniFat;
  for (std::uint32_t i = 0; i < kEntriesPerSector; ++i) {
    putU32(miniFat, i < miniSectors ? (i + 1 == miniSectors ? kEndOfChain : i + 1) : kFreeSector);
  }
  out_.write(miniFat);

  writeDirectory(miniSectors > 0 ? 0 : kEndOfChain, miniStreamSize, miniSectors > 0 ? 0 : kEndOfChain);

  std::vector<std::uint32_t> fat(kEntriesPerSector, kFreeSector);
  for (std::uint32_t i = 0; i < miniStreamSectors; ++i) {
    fat[i] = i + 1 == miniStreamSectors ? kEndOfChain : i + 1;
  }
  fat[miniFatStart] = kEndOfChain;
  fat[directoryStart] = kEndOfChain;
  fat[fatStart] = kFatSector;
  writeFat(fat);

  writeHeader(1, directoryStart, miniFatStart, 1, kEndOfChain, 0, {fatStart});
}

void CompoundFileWriter::writeDirectory(std::uint32_t rootStart, std::uint64_t rootSize,
                                        std::uint32_t streamStart) {
  Bytes sector;
  sector.reserve(kSectorSize);
  directoryEntry(sector, u"Root Entry", kTypeRoot, 1, rootStart, rootSize);
  directoryEntry(sector, streamName_, kTypeStream, kNoStream, size_ > 0 ? streamStart : kEndOfChain, size_);
  directoryEntry(sector, u"", 0, kNoStream, 0, 0);
  directoryEntry(sector, u"", 0, kNoStream, 0, 0);
  out_.write(sector);
}

void CompoundFileWriter::writeFat(const std::vector<std::uint32_t>& entries) {
  Bytes bytes;
  bytes.reserve(entries.size() * 4);
  for (std::uint32_t e : entries) {
    putU32(bytes, e);
  }
  out_.write(bytes);
}

void CompoundFileWriter::writeHeader(std::uint32_t fatSectors, std::uint32_t directoryStart,
                                     std::uint32_t miniFatStart, std::uint32_t miniFatSectors,
                                     std::uint32_t difatStart, std::uint32_t difatSectors,
                                     const std::vector<std::uint32_t>& fatSectorNumbers) {
  Bytes h;
  h.reserve(kSectorSize);
  h.insert(h.end(), std::begin(kSignature), std::end(kSignature));
  h.resize(24, 0);    // class id
  putU16(h, 0x003E);  // minor version
  putU16(h, 0x0003);  // major version 3
  putU16(h, 0xFFFE);  // little-endian
  putU16(h, 9);       // 512-byte sectors
  putU16(h, 6);       // 64-byte mini sectors
  h.resize(h.size() + 6, 0);
  putU32(h, 0);  // directory sector count: always 0 in version 3
  putU32(h, fatSectors);
  putU32(h, directoryStart);
  putU32(h, 0);  // transaction signature
  putU32(h, static_cast<std::uint32_t>(kMiniStreamCutoff));
  putU32(h, miniFatStart);
  putU32(h, miniFatSectors);
  putU32(h, difatStart);
  putU32(h, difatSectors);
  for (std::size_t i = 0; i < kHeaderFatEntries; ++i) {
    putU32(h, i < fatSectorNumbers.size() ? fatSectorNumbers[i] : kFreeSector);
  }
  out_.writeAt(0, h.data(), h.size());
}

}  // namespace vkt::xls
