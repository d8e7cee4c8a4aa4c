#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vkt::xls {

// A file written under a temporary name in the target's folder and put in place only when it is
// complete and on disk, so a failed save never leaves a partial file nor harms an existing one.
// The platform parts live in outputfile_posix.cpp and outputfile_win32.cpp.
class OutputFile {
 public:
  // Creates the temporary file; throws "StgCreateDocFile error %d" when that is impossible.
  explicit OutputFile(std::string target);
  // Without a commit the temporary file is removed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
  // Flushes to disk, closes and renames over the target.
  void commit();

  const std::string& target() const { return target_; }
  const std::string& temporary_path() const { return temporary_; }

 private:
  struct Handle;
  std::string target_;
  std::string temporary_;
  std::unique_ptr<Handle> handle_;
  bool committed_ = false;
};

}  // namespace vkt::xls
