#include "output/xls/errors.h"

#include <cerrno>

namespace vkt::xls {

std::int32_t storageCodeFromErrno(int error) {
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

std::int32_t storageCodeFromWin32(std::uint32_t error) {
  if (error == 0 || error > 0xFFFF) {
    return storage_code::kFail;
  }
  return static_cast<std::int32_t>(0x80030000u | error);
}

XlsStorageError createFileError(std::int32_t code) {
  return XlsStorageError("StgCreateDocFile error " + std::to_string(code), code);
}

XlsStorageError createStreamError(std::int32_t code) {
  return XlsStorageError("CreateStream error " + std::to_string(code), code);
}

XlsStorageError writeError(const std::string& fileName, std::int32_t code) {
  return XlsStorageError("Ошибка записи файла \"" + fileName + "\": код " + std::to_string(code), code);
}

}  // namespace vkt::xls
