#include "app/rankedtexts.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace vkt {

RankedTexts::RankedTexts(std::uint32_t places, std::uint32_t places_per_bucket, std::size_t memory_budget)
    : places_per_bucket_(std::max<std::uint32_t>(places_per_bucket, 1)),
      buckets_(places / places_per_bucket_ + 1),
      offsets_(places, 0),
      lengths_(places, 0) {
  buffer_bytes_ = memory_budget / buckets_.size();
}

RankedTexts::~RankedTexts() = default;

RankedTexts::Bucket& RankedTexts::bucket_for(std::uint32_t place) {
  if (place >= offsets_.size()) {
    throw std::out_of_range("RankedTexts: no such place");
  }
  Bucket& bucket = buckets_[place / places_per_bucket_];
  if (bucket.held.capacity() < buffer_bytes_) {
    bucket.held.reserve(buffer_bytes_);
  }
  return bucket;
}

void RankedTexts::placed(Bucket& bucket, std::uint32_t place, std::size_t offset_in_held,
                         std::size_t length) {
  const std::uint64_t offset = bucket.spilled + offset_in_held;
  if (offset + length > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("RankedTexts: a bucket outgrew 4 GB");
  }
  offsets_[place] = static_cast<std::uint32_t>(offset);
  lengths_[place] = static_cast<std::uint32_t>(length);
  // Half full: the next texts still fit without the buffer growing.
  if (bucket.held.size() > buffer_bytes_ / 2) {
    spill(bucket);
  }
}

void RankedTexts::spill(Bucket& bucket) {
  if (!file_) {
    file_ = std::make_unique<QTemporaryFile>();
    if (!file_->open()) {
      throw std::runtime_error("Не удалось создать временный файл: " + file_->errorString().toStdString());
    }
  }
  const auto length = static_cast<std::uint32_t>(bucket.held.size());
  if (file_->write(bucket.held.data(), length) != static_cast<qint64>(length)) {
    throw std::runtime_error("Не удалось записать временный файл: " + file_->errorString().toStdString());
  }
  bucket.pieces.push_back({spilled_, length});
  bucket.spilled += length;
  spilled_ += length;
  bucket.held.clear();
}

std::string RankedTexts::read_bucket(Bucket& bucket) {
  std::string bytes;
  bytes.resize(static_cast<std::size_t>(bucket.spilled) + bucket.held.size());
  std::size_t at = 0;
  for (const Piece& piece : bucket.pieces) {
    if (!file_->seek(static_cast<qint64>(piece.offset)) ||
        file_->read(bytes.data() + at, piece.length) != static_cast<qint64>(piece.length)) {
      throw std::runtime_error("Не удалось прочитать временный файл: " + file_->errorString().toStdString());
    }
    at += piece.length;
  }
  bytes.replace(at, bucket.held.size(), bucket.held);
  bucket = Bucket();
  return bytes;
}

void RankedTexts::for_each_in_order(const std::function<void(std::string_view)>& sink) {
  if (file_) {
    file_->flush();
  }
  const auto places = static_cast<std::uint32_t>(offsets_.size());
  for (std::size_t b = 0; b < buckets_.size(); ++b) {
    const std::string bytes = read_bucket(buckets_[b]);
    const auto begin = static_cast<std::uint32_t>(b * places_per_bucket_);
    const auto end = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(places, std::uint64_t{begin} + places_per_bucket_));
    for (std::uint32_t place = begin; place < end; ++place) {
      if (lengths_[place] == 0) {
        continue;
      }
      sink(std::string_view(bytes).substr(offsets_[place], lengths_[place]));
    }
  }
}

}  // namespace vkt
