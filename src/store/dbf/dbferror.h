#pragma once

#include <stdexcept>
#include <string>

namespace vkt::dbf {

// What went wrong, so callers can tell a missing file from a damaged one without parsing text.
enum class ErrorKind {
  NotFound,      // the file does not exist
  Locked,        // another program (or another open here) holds the file
  Damaged,       // header, descriptors or sizes are inconsistent, or a stored value is unreadable
  NotOurSchema,  // a readable table, but not a measurement table
  Io,            // the operating system refused a read, write, flush or rename
  NoSpace,       // the disk (or the user's quota) is full
  NoAccess,      // no permission, or a read-only medium or file: it cannot be written
  Exists,        // a file that had to be new is already there
  Usage,         // the caller asked for something impossible: unknown field, bad filter, value too wide
};

// Every failure of the table engine. The text is shown to the user as it is.
class DbfError : public std::runtime_error {
 public:
  DbfError(ErrorKind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
  ErrorKind kind() const noexcept { return kind_; }

 private:
  ErrorKind kind_;
};

}  // namespace vkt::dbf
