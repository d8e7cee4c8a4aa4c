#include "store/dbf/storage.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "store/dbf/dbferror.h"
#include "store/dbf/filereplacement.h"

namespace vkt::dbf {

std::size_t MemoryStorage::read_at(std::uint64_t offset, void* out, std::size_t n) const {
  if (offset >= bytes_.size()) {
    return 0;
  }
  const std::size_t count = std::min<std::uint64_t>(n, bytes_.size() - offset);
  std::memcpy(out, bytes_.data() + offset, count);
  return count;
}

void MemoryStorage::write_at(std::uint64_t offset, const void* data, std::size_t n) {
  if (offset + n > bytes_.size()) {
    bytes_.resize(offset + n, 0);
  }
  std::memcpy(bytes_.data() + offset, data, n);
}

void MemoryStorage::truncate(std::uint64_t size) {
  bytes_.resize(size, 0);
}

std::unique_ptr<Storage> MemoryStorage::begin_replacement() {
  return std::make_unique<MemoryStorage>();
}

void MemoryStorage::commit_replacement(std::unique_ptr<Storage> replacement) {
  auto* fresh = dynamic_cast<MemoryStorage*>(replacement.get());
  if (fresh == nullptr) {
    throw DbfError(ErrorKind::Usage, "replacement of another storage kind");
  }
  step(ReplaceStep::ReplacementFlushed);
  bytes_.swap(fresh->bytes_);
  step(ReplaceStep::Replaced);
}

std::unique_ptr<FileStorage> FileStorage::open(const std::filesystem::path& path) {
  return std::unique_ptr<FileStorage>(new FileStorage(path, OsFile::open_locked(path)));
}

std::unique_ptr<FileStorage> FileStorage::open_read_only(const std::filesystem::path& path) {
  auto storage = std::unique_ptr<FileStorage>(new FileStorage(path, OsFile::open_read_only(path)));
  storage->read_only_ = true;
  return storage;
}

std::unique_ptr<FileStorage> FileStorage::claim(const std::filesystem::path& path) {
  OsFile existing;
  try {
    existing = OsFile::open_locked(FileReplacement::resolve(path));
  } catch (const DbfError& e) {
    if (e.kind() != ErrorKind::NotFound) {
      throw;
    }
  }
  return std::unique_ptr<FileStorage>(new FileStorage(path, std::move(existing)));
}

std::unique_ptr<FileStorage> FileStorage::replacing(const std::filesystem::path& target) {
  return std::unique_ptr<FileStorage>(new FileStorage(std::make_unique<FileReplacement>(target)));
}

void FileStorage::put_in_place() {
  if (!replacement_) {
    throw DbfError(ErrorKind::Usage, "the file is not a replacement");
  }
  replacement_->file().sync();
  step(ReplaceStep::ReplacementFlushed);
  replacement_->commit(&file_);
  path_ = replacement_->target();
  replacement_.reset();
  step(ReplaceStep::Replaced);
}

FileStorage::FileStorage(std::filesystem::path path, OsFile file)
    : path_(std::move(path)), file_(std::move(file)) {}

FileStorage::FileStorage(std::unique_ptr<FileReplacement> replacement)
    : path_(replacement->temporary()), replacement_(std::move(replacement)) {}

FileStorage::~FileStorage() = default;

OsFile& FileStorage::file() {
  return replacement_ ? replacement_->file() : file_;
}

const OsFile& FileStorage::file() const {
  return replacement_ ? replacement_->file() : file_;
}

void FileStorage::require_open() const {
  if (!file().is_open()) {
    throw DbfError(ErrorKind::Usage, "Файл \"" + path_.string() + "\" ещё не записан");
  }
}

std::uint64_t FileStorage::size() const {
  return file().is_open() ? file().size() : 0;
}

std::size_t FileStorage::read_at(std::uint64_t offset, void* out, std::size_t n) const {
  return file().is_open() ? file().read_at(offset, out, n) : 0;
}

void FileStorage::write_at(std::uint64_t offset, const void* data, std::size_t n) {
  require_open();
  file().write_at(offset, data, n);
}

void FileStorage::truncate(std::uint64_t size) {
  require_open();
  file().truncate(size);
}

void FileStorage::sync() {
  // A file open for reading only has nothing to flush, and Windows refuses to flush it.
  if (file().is_open() && !read_only_) {
    file().sync();
  }
}

std::span<const char> FileStorage::view() {
  // A mapping keeps every page a walk has touched in the program's memory until it is dropped, so
  // a big file is read through the table's window instead, a bounded piece at a time.
  if (!file().is_open() || file().size() > kMaxMappedBytes) {
    return {};
  }
  return file().view();
}

std::unique_ptr<Storage> FileStorage::begin_replacement() {
  return std::unique_ptr<Storage>(new FileStorage(std::make_unique<FileReplacement>(path_)));
}

void FileStorage::commit_replacement(std::unique_ptr<Storage> replacement) {
  auto* fresh = dynamic_cast<FileStorage*>(replacement.get());
  if (fresh == nullptr || !fresh->replacement_) {
    throw DbfError(ErrorKind::Usage, "replacement of another storage kind");
  }
  // The hook sees the flushed content before it takes the old file's name.
  fresh->replacement_->file().sync();
  step(ReplaceStep::ReplacementFlushed);
  fresh->replacement_->commit(&file_);
  step(ReplaceStep::Replaced);
}

}  // namespace vkt::dbf
