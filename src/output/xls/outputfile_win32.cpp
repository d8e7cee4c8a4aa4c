// Windows part of OutputFile.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>
#include <string>

#include "output/xls/errors.h"
#include "output/xls/outputfile.h"

namespace vkt::xls {

struct OutputFile::Handle {
  HANDLE file = INVALID_HANDLE_VALUE;
};

namespace {

std::wstring widen(const std::string& text) {
  if (text.empty()) {
    return {};
  }
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string temporaryName(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  return target + ".~" + std::to_string(GetCurrentProcessId()) + "." + std::to_string(counter++) + "." +
         std::to_string(GetTickCount64() & 0xFFFFFF) + ".tmp";
}

}  // namespace

OutputFile::OutputFile(std::string target) : target_(std::move(target)), handle_(std::make_unique<Handle>()) {
  DWORD error = 0;
  for (int attempt = 0; attempt < 16; ++attempt) {
    temporary_ = temporaryName(target_);
    handle_->file = CreateFileW(widen(temporary_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_->file != INVALID_HANDLE_VALUE) {
      return;
    }
    error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  throw createFileError(storageCodeFromWin32(error));
}

OutputFile::~OutputFile() {
  if (handle_->file != INVALID_HANDLE_VALUE) {
    CloseHandle(handle_->file);
  }
  if (!committed_) {
    DeleteFileW(widen(temporary_).c_str());
  }
}

void OutputFile::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    const DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD done = 0;
    if (!SetFilePointerEx(handle_->file, position, nullptr, FILE_BEGIN) ||
        !WriteFile(handle_->file, data, piece, &done, nullptr)) {
      throw writeError(target_, storageCodeFromWin32(GetLastError()));
    }
    data += done;
    size -= done;
    offset += done;
  }
}

void OutputFile::commit() {
  if (!FlushFileBuffers(handle_->file)) {
    throw writeError(target_, storageCodeFromWin32(GetLastError()));
  }
  CloseHandle(handle_->file);
  handle_->file = INVALID_HANDLE_VALUE;
  if (!MoveFileExW(widen(temporary_).c_str(), widen(target_).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw createFileError(storageCodeFromWin32(GetLastError()));
  }
  committed_ = true;
}

}  // namespace vkt::xls
