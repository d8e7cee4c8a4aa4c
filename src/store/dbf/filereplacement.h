#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "store/dbf/osfile.h"

namespace vkt::dbf {

// The one way this program puts a whole new content in place of a file: the content is written
// into a new file with a unique name in the target's folder (created only if the name is free,
// never through a link), flushed, given the old file's owner and permissions, renamed over the
// target, and the folder flushed. A crash at any moment leaves the target naming the old content
// or the new one, whole. A temporary file of a killed run is never opened again; the next
// replacement in that folder removes it.
//
// A target that is a symbolic link is followed: the link stays and the file it names gets the
// new content. A target with other names (hard links) is refused, since a rename would leave
// them holding the old content.
class FileReplacement {
 public:
  explicit FileReplacement(const std::filesystem::path& target);
  // Without a commit the temporary file is removed.
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  OsFile& file() { return file_; }
  // The file that gets the content: the target with its links followed.
  const std::filesystem::path& target() const { return target_; }
  const std::filesystem::path& temporary() const { return temporary_; }

  // Puts the content in place. `holder`, when given, may hold the old file open; afterwards it
  // holds the new one, open and locked. Otherwise the new file is closed.
  void commit(OsFile* holder = nullptr);
  bool committed() const { return committed_; }

  // The file a path names, its symbolic links followed (the last part may not exist yet).
  static std::filesystem::path resolve(const std::filesystem::path& target);
  // Refuses, with the reason, a target that could not be replaced: its folder cannot be written,
  // it has other names, or its owner could not be kept. Meant for before long work (a download).
  static void check_replaceable(const std::filesystem::path& target);
  // Whether a file name is one of the temporary names this class gives.
  static bool is_temporary_name(const std::filesystem::path& name);

  // Called with the temporary file's path once it is flushed and just before the rename, for
  // tests of interrupted writes.
  static void set_test_hook(std::function<void(const std::filesystem::path&)> hook);

 private:
  void remove_leftovers() const;

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  OsFile file_;
  OsFile::Identity identity_;
  bool committed_ = false;
};

// Whether two paths name one file: the same spelling or another, a symbolic or a hard link.
// False when either does not exist.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace vkt::dbf
