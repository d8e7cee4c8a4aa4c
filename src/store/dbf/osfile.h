#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "store/dbf/dbferror.h"

namespace vkt::dbf {

// The few operating-system services the table needs, behind one small class so that the rest of
// the engine is portable. Implemented in osfile_posix.cpp and osfile_win.cpp.
//
// Every open file is held exclusively: an OFD lock on Linux (kept until this descriptor closes,
// whatever else the process opens or closes), share mode 0 on Windows. A second open of the same
// file, from this process or another, fails with ErrorKind::Locked.
class OsFile {
 public:
  OsFile() = default;
  ~OsFile();
  OsFile(OsFile&& other) noexcept;
  OsFile& operator=(OsFile&& other) noexcept;
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;

  // An existing file, for reading and writing.
  static OsFile open_locked(const std::filesystem::path& path);
  // A new file (an old one of that name is emptied), for reading and writing.
  static OsFile create_locked(const std::filesystem::path& path);
  // An existing file for reading only: other readers may hold it too, a writer may not. A file
  // on a read-only medium or without write permission opens this way.
  static OsFile open_read_only(const std::filesystem::path& path);
  // A file that must not exist yet under any form, a link of that name included (which is then
  // never followed): created, locked, for reading and writing. Refused with ErrorKind::Exists
  // when the name is taken.
  static OsFile create_new(const std::filesystem::path& path);

  // What a replacement of an existing file must keep: its owner and its permissions. Refused
  // with a clear message when the file has other names (hard links), which a rename would split,
  // or when its owner cannot be kept.
  struct Identity {
    bool exists = false;
    std::uint64_t links = 1;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint32_t mode = 0;
  };
  static Identity identity_of(const std::filesystem::path& path);
  // Gives this (new) file the owner and permissions of the file it is about to replace.
  void take_identity(const Identity& identity, const std::filesystem::path& target);
  // Whether a process of that number still runs (leftovers of killed runs are told by it).
  static bool process_alive(std::uint64_t pid);
  static std::uint64_t current_process();

  bool is_open() const { return handle_ != kNoHandle; }
  std::uint64_t size() const;
  // Reads up to n bytes at offset; fewer only at the end of the file.
  std::size_t read_at(std::uint64_t offset, void* out, std::size_t n) const;
  void write_at(std::uint64_t offset, const void* data, std::size_t n);
  void truncate(std::uint64_t size);
  // Flushes to stable storage.
  void sync();
  void close() noexcept;

  // The file's bytes from its start up to its present size, mapped read-only; empty when the
  // system will not map this file (or it is empty), and then read_at is the way in. Take it again
  // after every write_at or truncate: the span handed out before may no longer show the file, or
  // no longer be mapped. It is remapped only when the file's size has changed.
  std::span<const char> view();

  // Puts the flushed file `from` (open as from_file) in place of `to`: afterwards `to` names the
  // new content, to_file holds it open and locked, from_file is closed. A crash at any moment
  // leaves `to` naming either the old or the new content, whole.
  static void replace(OsFile& to_file, const std::filesystem::path& to, OsFile& from_file,
                      const std::filesystem::path& from);

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  explicit OsFile(std::intptr_t handle) : handle_(handle) {}
  void unmap() noexcept;
  void take_from(OsFile& other) noexcept;

  std::intptr_t handle_ = kNoHandle;
  const char* map_data_ = nullptr;
  std::uint64_t map_size_ = 0;
  std::intptr_t map_handle_ = kNoHandle;  // the file-mapping object, where the system has one
};

// The cause of a failure of the system call that set `err` (errno, or GetLastError on Windows),
// in words a user understands: "нет места на диске", "нет прав на запись" and the like.
std::string cause_of(long err);
// The kind of failure that cause is.
ErrorKind kind_of(long err);

// Deletes a file; a missing file or a failure is ignored (used for leftovers of failed rewrites).
void remove_file_quietly(const std::filesystem::path& path) noexcept;

struct CalendarDate {
  int year = 1900;
  int month = 1;
  int day = 1;
};

// Today in local time, for the header's last-update date.
CalendarDate local_today();

}  // namespace vkt::dbf
