// The parts of OsFile that are the same on every system: ownership of the handle and the view.
#include "store/dbf/osfile.h"

namespace vkt::dbf {

OsFile::~OsFile() {
  close();
}

OsFile::OsFile(OsFile&& other) noexcept {
  take_from(other);
}

OsFile& OsFile::operator=(OsFile&& other) noexcept {
  if (this != &other) {
    close();
    take_from(other);
  }
  return *this;
}

void OsFile::take_from(OsFile& other) noexcept {
  handle_ = other.handle_;
  map_data_ = other.map_data_;
  map_size_ = other.map_size_;
  map_handle_ = other.map_handle_;
  other.handle_ = kNoHandle;
  other.map_data_ = nullptr;
  other.map_size_ = 0;
  other.map_handle_ = kNoHandle;
}

}  // namespace vkt::dbf
