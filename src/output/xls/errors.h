#pragma once

#include <cstdint>
#include <string>

#include "core/error.h"

namespace vkt::xls {

// Every failure of a save: the text is meant for the user as it stands.
class XlsError : public vkt::Error {
 public:
  using vkt::Error::Error;
};

// The file or its stream could not be created or written. The code is the structured-storage
// result the Windows storage functions give for the same cause, so the text reads the same on
// every platform.
class XlsStorageError : public XlsError {
 public:
  XlsStorageError(const std::string& text, std::int32_t code);
  std::int32_t code() const { return code_; }

 private:
  std::int32_t code_;
};

// The workbook holds something the file format cannot carry; nothing was written.
class XlsLimitError : public XlsError {
 public:
  explicit XlsLimitError(const std::string& text) : XlsError(ErrorKind::Limit, text) {}
};

// Structured-storage result codes (HRESULTs of facility STORAGE) as signed numbers.
namespace storage_code {
constexpr std::int32_t kFileNotFound = static_cast<std::int32_t>(0x80030002u);
constexpr std::int32_t kPathNotFound = static_cast<std::int32_t>(0x80030003u);
constexpr std::int32_t kTooManyOpenFiles = static_cast<std::int32_t>(0x80030004u);
constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80030005u);
constexpr std::int32_t kInsufficientMemory = static_cast<std::int32_t>(0x80030008u);
constexpr std::int32_t kWriteFault = static_cast<std::int32_t>(0x8003001Du);
constexpr std::int32_t kShareViolation = static_cast<std::int32_t>(0x80030020u);
constexpr std::int32_t kLockViolation = static_cast<std::int32_t>(0x80030021u);
constexpr std::int32_t kFileAlreadyExists = static_cast<std::int32_t>(0x80030050u);
constexpr std::int32_t kInvalidParameter = static_cast<std::int32_t>(0x80030057u);
constexpr std::int32_t kMediumFull = static_cast<std::int32_t>(0x80030070u);
constexpr std::int32_t kInvalidName = static_cast<std::int32_t>(0x800300FCu);
constexpr std::int32_t kFail = static_cast<std::int32_t>(0x80004005u);
}  // namespace storage_code

// The storage code for a POSIX errno value.
std::int32_t storage_code_from_errno(int error);
// The storage code for a Windows system error number (storage codes carry it in the low word).
std::int32_t storage_code_from_win32(std::uint32_t error);

// The cause a storage code stands for, in the user's words ("нет места на диске").
std::string storage_code_cause(std::int32_t code);

// "StgCreateDocFile error %d": the file could not be created (or put in place).
XlsStorageError create_file_error(std::int32_t code);
// "CreateStream error %d": the workbook stream could not be begun.
XlsStorageError create_stream_error(std::int32_t code);
// A write into the file failed after it was created.
XlsStorageError write_error(const std::string& file_name, std::int32_t code);

}  // namespace vkt::xls
