#include "store/dbf/storage.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "store/dbf/dbferror.h"

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

std::unique_ptr<FileStorage> FileStorage::claim(const std::filesystem::path& path) {
  OsFile existing;
  try {
    existing = OsFile::open_locked(path);
  } catch (const DbfError& e) {
    if (e.kind() != ErrorKind::NotFound) {
      throw;
    }
  }
  return std::unique_ptr<FileStorage>(new FileStorage(path, std::move(existing)));
}

FileStorage::~FileStorage() {
  if (temporary_) {
    file_.close();
    remove_file_quietly(path_);
  }
}

std::filesystem::path FileStorage::replacement_path() const {
  std::filesystem::path p = path_;
  p += ".tmp";
  return p;
}

void FileStorage::require_open() const {
  if (!file_.is_open()) {
    throw DbfError(ErrorKind::Usage, "Файл \"" + path_.string() + "\" ещё не записан");
  }
}

std::uint64_t FileStorage::size() const {
  return file_.is_open() ? file_.size() : 0;
}

std::size_t FileStorage::read_at(std::uint64_t offset, void* out, std::size_t n) const {
  return file_.is_open() ? file_.read_at(offset, out, n) : 0;
}

void FileStorage::write_at(std::uint64_t offset, const void* data, std::size_t n) {
  require_open();
  file_.write_at(offset, data, n);
}

void FileStorage::truncate(std::uint64_t size) {
  require_open();
  file_.truncate(size);
}

void FileStorage::sync() {
  if (file_.is_open()) {
    file_.sync();
  }
}

std::span<const char> FileStorage::view() {
  // A mapping keeps every page a walk has touched in the program's memory until it is dropped, so
  // a big file is read through the table's window instead, a bounded piece at a time.
  if (!file_.is_open() || file_.size() > kMaxMappedBytes) {
    return {};
  }
  return file_.view();
}

std::unique_ptr<Storage> FileStorage::begin_replacement() {
  // A leftover of an interrupted rewrite is emptied and reused.
  return std::unique_ptr<Storage>(
      new FileStorage(replacement_path(), OsFile::create_locked(replacement_path()), true));
}

void FileStorage::commit_replacement(std::unique_ptr<Storage> replacement) {
  auto* fresh = dynamic_cast<FileStorage*>(replacement.get());
  if (fresh == nullptr) {
    throw DbfError(ErrorKind::Usage, "replacement of another storage kind");
  }
  try {
    fresh->file_.sync();
    step(ReplaceStep::ReplacementFlushed);
    OsFile::replace(file_, path_, fresh->file_, fresh->path_);
    fresh->temporary_ = false;
  } catch (...) {
    fresh->file_.close();
    remove_file_quietly(fresh->path_);
    throw;
  }
  step(ReplaceStep::Replaced);
}

}  // namespace vkt::dbf
