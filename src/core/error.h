// The one shape every failure of the engines takes: what kind of failure it is, the text the
// user reads, and a detail for logs and the command line (a system cause, a record number).
// The table, the index and the workbook throw subclasses of it, so the window and the command
// line handle them in one place and tell a locked file from a damaged one by the kind.
#pragma once

#include <stdexcept>
#include <string>

namespace vkt {

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
  Limit,         // the data does not fit what the file format can carry
};

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, const std::string& text, std::string detail = {})
      : std::runtime_error(text), kind_(kind), detail_(std::move(detail)) {}
  ErrorKind kind() const noexcept { return kind_; }
  // The text for the user, whole, in Russian.
  const char* text() const noexcept { return what(); }
  // What the text leaves out (empty when nothing): shown on the command line, not in boxes.
  const std::string& detail() const noexcept { return detail_; }

 private:
  ErrorKind kind_;
  std::string detail_;
};

}  // namespace vkt
