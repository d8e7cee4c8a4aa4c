#include "output/xls/sst.h"

#include <algorithm>

#include "output/xls/records.h"

namespace vkt::xls {

namespace {
constexpr std::size_t kPendingLimit = 1 << 20;
constexpr std::size_t kStringHeader = 3;  // character count and option byte
constexpr std::uint8_t kUncompressed = 1;
}  // namespace

SstWriter::SstWriter(ByteSink& stream, std::uint32_t strings) : stream_(stream) {
  pending_.reserve(kPendingLimit + record::kMaxData + record::kHeaderSize);
  record_.reserve(record::kMaxData);
  buckets_.reserve(strings / kStringsPerBucket + 1);
  open_record(record::kSst);
  put_u32(record_, strings);  // total
  put_u32(record_, strings);  // unique: equal texts are not merged
}

void SstWriter::open_record(std::uint16_t id) {
  record_id_ = id;
  record_start_ = stream_.size() + pending_.size();
  record_.clear();
}

void SstWriter::close_record() {
  put_u16(pending_, record_id_);
  put_u16(pending_, static_cast<std::uint16_t>(record_.size()));
  put_bytes(pending_, record_);
  record_.clear();
  if (pending_.size() >= kPendingLimit) {
    stream_.write(pending_);
    pending_.clear();
  }
}

std::size_t SstWriter::left() const {
  return record::kMaxData - record_.size();
}

void SstWriter::add(std::u16string_view text) {
  if (left() <= kStringHeader + 1) {
    close_record();
    open_record(record::kContinue);
  }
  if (added_ % kStringsPerBucket == 0) {
    const std::size_t offset = record::kHeaderSize + record_.size();
    buckets_.push_back(
        {static_cast<std::uint32_t>(record_start_ + offset), static_cast<std::uint16_t>(offset)});
  }
  ++added_;
  put_u16(record_, static_cast<std::uint16_t>(text.size()));
  put_u8(record_, kUncompressed);
  for (;;) {
    const std::size_t fit = std::min(text.size(), left() / 2);
    const std::size_t at = record_.size();
    record_.resize(at + 2 * fit);
    std::uint8_t* p = record_.data() + at;
    for (std::size_t i = 0; i < fit; ++i) {
      *p++ = static_cast<std::uint8_t>(text[i]);
      *p++ = static_cast<std::uint8_t>(text[i] >> 8);
    }
    text.remove_prefix(fit);
    if (text.empty()) {
      break;
    }
    close_record();
    open_record(record::kContinue);
    put_u8(record_, kUncompressed);
  }
}

void SstWriter::finish() {
  close_record();
  Bytes ext;
  ext.reserve(2 + 8 * buckets_.size());
  put_u16(ext, kStringsPerBucket);
  for (const Bucket& b : buckets_) {
    put_u32(ext, b.position);
    put_u16(ext, b.offset);
    put_u16(ext, 0);
  }
  record::framed(pending_, record::kExtSst, ext);
  stream_.write(pending_);
  pending_.clear();
}

}  // namespace vkt::xls
