#pragma once

#include <cstdint>
#include <string>

#include "output/xls/bytesink.h"

namespace vkt::xls {

// Writes a compound file (version 3, 512-byte sectors) whose root storage holds exactly one
// stream. The stream's bytes arrive through the ByteSink interface (positions are stream
// offsets); finish() lays out FAT, DIFAT, directory and header around them.
//
// Layout: header; the stream's sectors (or, for a stream under 4,096 bytes, the mini stream and
// its mini FAT); the directory; the FAT; the DIFAT sectors when more than 109 FAT sectors exist.
class CompoundFileWriter : public ByteSink {
 public:
  static constexpr std::size_t kSectorSize = 512;
  static constexpr std::size_t kMiniSectorSize = 64;
  static constexpr std::size_t kMiniStreamCutoff = 4096;
  static constexpr std::size_t kHeaderFatEntries = 109;
  static constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
  static constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
  static constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
  static constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
  static constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

  CompoundFileWriter(ByteSink& container, std::u16string stream_name);

  void write(const std::uint8_t* data, std::size_t size) override;
  void write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
  std::uint64_t size() const override { return size_; }
  using ByteSink::write;

  void finish();

 private:
  void spill();
  void finish_regular();
  void finish_mini();
  void write_directory(std::uint32_t root_start, std::uint64_t root_size, std::uint32_t stream_start);
  void write_header(std::uint32_t fat_sectors, std::uint32_t directory_start, std::uint32_t mini_fat_start,
                    std::uint32_t mini_fat_sectors, std::uint32_t difat_start, std::uint32_t difat_sectors,
                    const std::vector<std::uint32_t>& fat_sector_numbers);
  void write_fat(const std::vector<std::uint32_t>& entries);
  void pad(std::uint64_t bytes);

  ByteSink& out_;
  std::u16string stream_name_;
  Bytes head_;  // the stream while it may still go into the mini stream
  bool spilled_ = false;
  std::uint64_t size_ = 0;
};

}  // namespace vkt::xls
