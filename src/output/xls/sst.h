#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "output/xls/bytesink.h"

namespace vkt::xls {

// Writes the shared string table (SST with its CONTINUE records) and then EXTSST into a stream.
// A record holds at most 8,224 data bytes. A string header (character count and option byte) is
// never parted from its first character: with 4 bytes or fewer left the string starts in a new
// CONTINUE record. Characters that do not fit go on in a CONTINUE record that begins with the
// option byte. Every eighth string, from the first, is noted in EXTSST with its stream position
// and its offset in its record.
class SstWriter {
 public:
  static constexpr std::uint16_t kStringsPerBucket = 8;

  struct Bucket {
    std::uint32_t position;  // stream position of the string's first byte
    std::uint16_t offset;    // from the start of its record, header included
  };

  SstWriter(ByteSink& stream, std::uint32_t strings);
  void add(std::u16string_view text);
  // Writes what is left of the SST and the EXTSST record.
  void finish();

  const std::vector<Bucket>& buckets() const { return buckets_; }

 private:
  void open_record(std::uint16_t id);
  void close_record();
  std::size_t left() const;

  ByteSink& stream_;
  Bytes pending_;  // closed records waiting to go out in one piece
  Bytes record_;   // data of the open record
  std::uint16_t record_id_ = 0;
  std::uint64_t record_start_ = 0;
  std::uint32_t added_ = 0;
  std::vector<Bucket> buckets_;
};

}  // namespace vkt::xls
