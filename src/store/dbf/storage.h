#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "store/dbf/osfile.h"

namespace vkt::dbf {

// Steps of a whole-file rewrite, or of rows appended in place, at which a test may step in
// (throw, or end the process) to see what a crash at that moment leaves behind.
enum class ReplaceStep {
  ReplacementFlushed,  // the new content is complete and flushed; the old file is still in place
  Replaced,            // the new content has taken the old file's name
  AppendFlushed,       // appended rows are flushed behind the old end mark; the header counts the old rows
  AppendCounted,       // the header counts them (flushed); the old end mark is still the first one's flag
};
using ReplaceHook = std::function<void(ReplaceStep)>;

// Where a table's bytes live. The table talks only to this, so tests and the fuzzer can run in
// memory and files stay at the edge.
class Storage {
 public:
  virtual ~Storage() = default;

  virtual std::uint64_t size() const = 0;
  // Fewer than n bytes only at the end.
  virtual std::size_t read_at(std::uint64_t offset, void* out, std::size_t n) const = 0;
  virtual void write_at(std::uint64_t offset, const void* data, std::size_t n) = 0;
  virtual void truncate(std::uint64_t size) = 0;
  virtual void sync() = 0;

  // The bytes from the start up to size(), readable in place, or an empty span when this storage
  // cannot show them so (then read_at is the way in). Take it again after every write_at,
  // truncate or commit_replacement: a span handed out before may show old bytes, or be gone.
  virtual std::span<const char> view() { return {}; }
  // Opened for reading only: every change is refused before anything is written.
  virtual bool read_only() const { return false; }

  // A whole-content rewrite: write everything into the storage begin_replacement() returns, then
  // commit_replacement() puts it in place of this one in one step. On failure the old content
  // stays and the replacement is discarded.
  virtual std::unique_ptr<Storage> begin_replacement() = 0;
  virtual void commit_replacement(std::unique_ptr<Storage> replacement) = 0;

  void set_replace_hook(ReplaceHook hook) { hook_ = std::move(hook); }

 protected:
  void step(ReplaceStep s) const {
    if (hook_) {
      hook_(s);
    }
  }

 private:
  ReplaceHook hook_;
};

// Bytes in memory.
class MemoryStorage : public Storage {
 public:
  MemoryStorage() = default;
  explicit MemoryStorage(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  std::uint64_t size() const override { return bytes_.size(); }
  std::size_t read_at(std::uint64_t offset, void* out, std::size_t n) const override;
  void write_at(std::uint64_t offset, const void* data, std::size_t n) override;
  void truncate(std::uint64_t size) override;
  void sync() override {}
  std::span<const char> view() override {
    return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
  }
  std::unique_ptr<Storage> begin_replacement() override;
  void commit_replacement(std::unique_ptr<Storage> replacement) override;

 private:
  std::vector<std::uint8_t> bytes_;
};

class FileReplacement;

// A file held open and locked. Rewrites go to a FileReplacement beside it.
class FileStorage : public Storage {
 public:
  // An existing file.
  static std::unique_ptr<FileStorage> open(const std::filesystem::path& path);
  // An existing file, for reading only (shared with other readers).
  static std::unique_ptr<FileStorage> open_read_only(const std::filesystem::path& path);
  // A place for a new file: nothing is written until a replacement is committed, but an existing
  // file of that name is locked at once, so a file open elsewhere is never replaced.
  static std::unique_ptr<FileStorage> claim(const std::filesystem::path& path);
  // A new, empty file that takes the place of `target` when put_in_place() is called; until then
  // it lives under a temporary name beside it (see FileReplacement), removed when dropped.
  static std::unique_ptr<FileStorage> replacing(const std::filesystem::path& target);
  void put_in_place();
  // A replacement that was never committed removes its file.
  ~FileStorage() override;

  const std::filesystem::path& path() const { return path_; }

  std::uint64_t size() const override;
  std::size_t read_at(std::uint64_t offset, void* out, std::size_t n) const override;
  void write_at(std::uint64_t offset, const void* data, std::size_t n) override;
  void truncate(std::uint64_t size) override;
  void sync() override;
  // The file mapped read-only, where the system allows and the file is no bigger than this.
  static constexpr std::uint64_t kMaxMappedBytes = 16u << 20;
  std::span<const char> view() override;
  bool read_only() const override { return read_only_; }
  std::unique_ptr<Storage> begin_replacement() override;
  void commit_replacement(std::unique_ptr<Storage> replacement) override;

 private:
  FileStorage(std::filesystem::path path, OsFile file);
  explicit FileStorage(std::unique_ptr<FileReplacement> replacement);
  void require_open() const;
  OsFile& file();
  const OsFile& file() const;

  std::filesystem::path path_;
  OsFile file_;
  std::unique_ptr<FileReplacement> replacement_;  // set while this is a rewrite not yet in place
  bool read_only_ = false;
};

}  // namespace vkt::dbf
