#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "output/xls/bytes.h"
#include "output/xls/outputfile.h"

namespace vkt::xls {

// Where a writer puts its bytes: appended at the end, or laid over bytes written before (positions
// are patched once known).
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(const std::uint8_t* data, std::size_t size) = 0;
  virtual void write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
  virtual std::uint64_t size() const = 0;

  void write(const Bytes& data) { write(data.data(), data.size()); }
};

class MemorySink : public ByteSink {
 public:
  using ByteSink::write;
  void write(const std::uint8_t* data, std::size_t size) override {
    bytes_.insert(bytes_.end(), data, data + size);
  }
  void write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override {
    if (offset + size > bytes_.size()) {
      throw std::out_of_range("patch past the end of the written bytes");
    }
    std::memcpy(bytes_.data() + offset, data, size);
  }
  std::uint64_t size() const override { return bytes_.size(); }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// Collects bytes into pieces of about 1 MiB before handing them to the file.
class FileSink : public ByteSink {
 public:
  static constexpr std::size_t kPieceSize = 1 << 20;

  explicit FileSink(OutputFile& file) : file_(file) { buffer_.reserve(kPieceSize); }
  using ByteSink::write;

  void write(const std::uint8_t* data, std::size_t size) override {
    while (size > 0) {
      const std::size_t room = kPieceSize - buffer_.size();
      const std::size_t take = size < room ? size : room;
      buffer_.insert(buffer_.end(), data, data + take);
      data += take;
      size -= take;
      if (buffer_.size() == kPieceSize) {
        flush();
      }
    }
  }

  void write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override {
    if (offset >= flushed_) {
      if (offset - flushed_ + size > buffer_.size()) {
        throw std::out_of_range("patch past the end of the written bytes");
      }
      std::memcpy(buffer_.data() + (offset - flushed_), data, size);
      return;
    }
    const std::size_t in_file =
        offset + size <= flushed_ ? size : static_cast<std::size_t>(flushed_ - offset);
    file_.write_at(offset, data, in_file);
    if (in_file < size) {
      write_at(flushed_, data + in_file, size - in_file);
    }
  }

  std::uint64_t size() const override { return flushed_ + buffer_.size(); }

  void flush() {
    if (!buffer_.empty()) {
      file_.write_at(flushed_, buffer_.data(), buffer_.size());
      flushed_ += buffer_.size();
      buffer_.clear();
    }
  }

 private:
  OutputFile& file_;
  Bytes buffer_;
  std::uint64_t flushed_ = 0;
};

}  // namespace vkt::xls
