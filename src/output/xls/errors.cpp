#include "output/xls/errors.h"

#include <cerrno>

namespace vkt::xls {

std::int32_t storage_code_from_errno(int error) {
  using namespace storage_code;
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kAccessDenied;
    case ENOENT:
    case ENOTDIR:
      return kPathNotFound;
    case EMFILE:
    case ENFILE:
      return kTooManyOpenFiles;
    case ENOMEM:
      return kInsufficientMemory;
    case EIO:
      return kWriteFault;
    case EBUSY:
    case ETXTBSY:
      return kShareViolation;
    case EEXIST:
      return kFileAlreadyExists;
    case EINVAL:
      return kInvalidParameter;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
      return kMediumFull;
    case ENAMETOOLONG:
      return kInvalidName;
    default:
      return kFail;
  }
}

std::int32_t storage_code_from_win32(std::uint32_t error) {
  if (error == 0 || error > 0xFFFF) {
    return storage_code::kFail;
  }
  return static_cast<std::int32_t>(0x80030000u | error);
}

std::string storage_code_cause(std::int32_t code) {
  using namespace storage_code;
  switch (code) {
    case kMediumFull:
      return "нет места на диске";
    case kAccessDenied:
      return "нет прав на запись в файл или папку";
    case kShareViolation:
    case kLockViolation:
      return "файл открыт другой программой";
    case kFileNotFound:
    case kPathNotFound:
      return "папка не найдена";
    case kWriteFault:
      return "ошибка записи на носитель";
    case kTooManyOpenFiles:
      return "открыто слишком много файлов";
    case kInsufficientMemory:
      return "недостаточно памяти";
    case kInvalidName:
      return "недопустимое имя файла";
    default:
      return "ошибка системы, код " + std::to_string(code);
  }
}

namespace {

ErrorKind kind_of_storage_code(std::int32_t code) {
  using namespace storage_code;
  switch (code) {
    case kMediumFull:
      return ErrorKind::NoSpace;
    case kAccessDenied:
      return ErrorKind::NoAccess;
    case kShareViolation:
    case kLockViolation:
      return ErrorKind::Locked;
    case kFileNotFound:
    case kPathNotFound:
      return ErrorKind::NotFound;
    case kFileAlreadyExists:
      return ErrorKind::Exists;
    default:
      return ErrorKind::Io;
  }
}

}  // namespace

XlsStorageError::XlsStorageError(const std::string& text, std::int32_t code)
    : XlsError(kind_of_storage_code(code), text, storage_code_cause(code)), code_(code) {}

XlsStorageError create_file_error(std::int32_t code) {
  return XlsStorageError("StgCreateDocFile error " + std::to_string(code), code);
}

XlsStorageError create_stream_error(std::int32_t code) {
  return XlsStorageError("CreateStream error " + std::to_string(code), code);
}

XlsStorageError write_error(const std::string& file_name, std::int32_t code) {
  return XlsStorageError("Ошибка записи файла \"" + file_name + "\": " + storage_code_cause(code) + " (код " +
                             std::to_string(code) + ")",
                         code);
}

}  // namespace vkt::xls
