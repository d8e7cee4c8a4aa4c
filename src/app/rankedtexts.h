#pragma once

#include <QTemporaryFile>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vkt {

// Texts made in one order (a table's file order) and given back in another (a sort order), in
// bounded memory. Each text is told its place in the output when it is made. Places are grouped
// into buckets of consecutive places, and each bucket gathers its texts in a buffer of its own
// share of the memory budget; a buffer half full goes to a temporary file as one piece, so that at
// the end each bucket is read back in a few long pieces and put in order in memory. Nothing is
// read back one text at a time, and a small set never touches the disk. The buffers keep their
// memory from the first text to the end: freeing and growing them again would leave the heap in
// pieces the C library does not give back.
class RankedTexts {
 public:
  RankedTexts(std::uint32_t places, std::uint32_t places_per_bucket, std::size_t memory_budget);
  ~RankedTexts();
  RankedTexts(const RankedTexts&) = delete;
  RankedTexts& operator=(const RankedTexts&) = delete;

  // Appends the text of a place through append(std::string&), which adds to the end of the string
  // it is given and must leave what is there alone. A place added twice keeps the later text.
  template <typename Append>
  void add(std::uint32_t place, Append&& append) {
    Bucket& bucket = bucket_for(place);
    const std::size_t before = bucket.held.size();
    append(bucket.held);
    placed(bucket, place, before, bucket.held.size() - before);
  }

  // The text of every place in order; places never added (or added empty) are passed over.
  // Throws std::runtime_error when the temporary file fails.
  void for_each_in_order(const std::function<void(std::string_view)>& sink);

  // Bytes written to the temporary file so far (0 while everything fits in memory).
  std::uint64_t spilled_bytes() const { return spilled_; }

 private:
  struct Piece {
    std::uint64_t offset;
    std::uint32_t length;
  };
  struct Bucket {
    std::string held;
    std::uint32_t spilled = 0;  // bytes of this bucket already in the file, before `held`
    std::vector<Piece> pieces;
  };

  Bucket& bucket_for(std::uint32_t place);
  void placed(Bucket& bucket, std::uint32_t place, std::size_t offset_in_held, std::size_t length);
  void spill(Bucket& bucket);
  std::string read_bucket(Bucket& bucket);

  std::uint32_t places_per_bucket_;
  std::size_t buffer_bytes_;  // each bucket's share of the budget
  std::uint64_t spilled_ = 0;
  std::vector<Bucket> buckets_;
  // Where each place's text starts within its bucket's bytes, and how long it is.
  std::vector<std::uint32_t> offsets_;
  std::vector<std::uint32_t> lengths_;
  std::unique_ptr<QTemporaryFile> file_;
};

}  // namespace vkt
