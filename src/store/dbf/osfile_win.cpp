// Windows side of OsFile: a handle opened with share mode 0 is the exclusive lock; views are
// read-only file mappings.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <ctime>
#include <limits>
#include <string>

#include "store/dbf/dbferror.h"
#include "store/dbf/osfile.h"

namespace vkt::dbf {

namespace {

HANDLE as_handle(std::intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

std::string quoted(const std::filesystem::path& path) {
  return "\"" + path.string() + "\"";
}

// Paths reach the system through the wide API, so Cyrillic names need no code page. A path
// longer than MAX_PATH works only in the "\\?\" form, which the system takes literally: absolute,
// with backslashes, no "." or "..".
std::wstring system_path(const std::filesystem::path& path) {
  std::wstring p = path.wstring();
  if (p.size() < MAX_PATH - 12 || p.starts_with(LR"(\\?\)")) {
    return p;
  }
  std::error_code ec;
  p = std::filesystem::absolute(path, ec).lexically_normal().make_preferred().wstring();
  if (ec) {
    return path.wstring();
  }
  if (p.starts_with(LR"(\\)")) {
    return LR"(\\?\UNC\)" + p.substr(2);
  }
  return LR"(\\?\)" + p;
}

[[noreturn]] void fail_io(const std::string& what, DWORD err) {
  throw DbfError(ErrorKind::Io, what + " (код " + std::to_string(err) + ")");
}

std::intptr_t open_exclusive(const std::filesystem::path& path, DWORD disposition) {
  HANDLE h = ::CreateFileW(system_path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) {
      throw DbfError(ErrorKind::NotFound, "Файл " + quoted(path) + " не найден");
    }
    if (err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION) {
      throw DbfError(ErrorKind::Locked, "Файл " + quoted(path) + " открыт другой программой");
    }
    fail_io("Не удалось открыть файл " + quoted(path), err);
  }
  return reinterpret_cast<std::intptr_t>(h);
}

}  // namespace

OsFile OsFile::open_locked(const std::filesystem::path& path) {
  return OsFile(open_exclusive(path, OPEN_EXISTING));
}

OsFile OsFile::create_locked(const std::filesystem::path& path) {
  return OsFile(open_exclusive(path, CREATE_ALWAYS));
}

std::uint64_t OsFile::size() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(as_handle(handle_), &size)) {
    fail_io("Не удалось узнать размер файла", ::GetLastError());
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t OsFile::read_at(std::uint64_t offset, void* out, std::size_t n) const {
  std::size_t done = 0;
  auto* p = static_cast<char*>(out);
  while (done < n) {
    OVERLAPPED ov{};
    const std::uint64_t at = offset + done;
    ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(as_handle(handle_), p + done, want, &got, &ov)) {
      const DWORD err = ::GetLastError();
      if (err == ERROR_HANDLE_EOF) {
        break;
      }
      fail_io("Ошибка чтения файла", err);
    }
    if (got == 0) {
      break;
    }
    done += got;
  }
  return done;
}

void OsFile::write_at(std::uint64_t offset, const void* data, std::size_t n) {
  // A view is not promised to show what WriteFile puts into the file (files on a network share
  // in particular), so it is given up here and mapped afresh by the next view().
  unmap();
  std::size_t done = 0;
  const auto* p = static_cast<const char*>(data);
  while (done < n) {
    OVERLAPPED ov{};
    const std::uint64_t at = offset + done;
    ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
    DWORD put = 0;
    if (!::WriteFile(as_handle(handle_), p + done, want, &put, &ov)) {
      fail_io("Ошибка записи файла", ::GetLastError());
    }
    done += put;
  }
}

void OsFile::truncate(std::uint64_t size) {
  // A mapped file cannot be cut (ERROR_USER_MAPPED_FILE).
  unmap();
  FILE_END_OF_FILE_INFO info{};
  info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFileInformationByHandle(as_handle(handle_), FileEndOfFileInfo, &info, sizeof info)) {
    fail_io("Ошибка записи файла", ::GetLastError());
  }
}

void OsFile::sync() {
  if (!::FlushFileBuffers(as_handle(handle_))) {
    fail_io("Не удалось сохранить файл на диск", ::GetLastError());
  }
}

void OsFile::close() noexcept {
  // The mapping holds the file too; it goes first, so that the file can be renamed or reopened.
  unmap();
  if (handle_ != kNoHandle) {
    ::CloseHandle(as_handle(handle_));
    handle_ = kNoHandle;
  }
}

std::span<const char> OsFile::view() {
  if (handle_ == kNoHandle) {
    return {};
  }
  LARGE_INTEGER now{};
  if (!::GetFileSizeEx(as_handle(handle_), &now)) {
    unmap();
    return {};
  }
  const auto size = static_cast<std::uint64_t>(now.QuadPart);
  if (map_data_ != nullptr && size == map_size_) {
    return {map_data_, static_cast<std::size_t>(map_size_)};
  }
  unmap();
  if (size == 0 || size > std::numeric_limits<SIZE_T>::max()) {
    return {};
  }
  // The mapping's size is the file's size exactly: a larger one would make the file grow.
  HANDLE section =
      ::CreateFileMappingW(as_handle(handle_), nullptr, PAGE_READONLY, static_cast<DWORD>(size >> 32),
                           static_cast<DWORD>(size & 0xFFFFFFFFu), nullptr);
  if (section == nullptr) {
    return {};
  }
  const void* p = ::MapViewOfFile(section, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
  if (p == nullptr) {
    ::CloseHandle(section);
    return {};
  }
  map_handle_ = reinterpret_cast<std::intptr_t>(section);
  map_data_ = static_cast<const char*>(p);
  map_size_ = size;
  return {map_data_, static_cast<std::size_t>(map_size_)};
}

void OsFile::unmap() noexcept {
  if (map_data_ != nullptr) {
    ::UnmapViewOfFile(map_data_);
    map_data_ = nullptr;
    map_size_ = 0;
  }
  if (map_handle_ != kNoHandle) {
    ::CloseHandle(as_handle(map_handle_));
    map_handle_ = kNoHandle;
  }
}

void OsFile::replace(OsFile& to_file, const std::filesystem::path& to, OsFile& from_file,
                     const std::filesystem::path& from) {
  // A file opened without sharing cannot be renamed, so both are closed for the moment of the move.
  from_file.close();
  const bool had_target = to_file.is_open();
  to_file.close();
  if (!::MoveFileExW(system_path(from).c_str(), system_path(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD err = ::GetLastError();
    if (had_target) {
      to_file = open_locked(to);
    }
    fail_io("Не удалось заменить файл " + quoted(to), err);
  }
  to_file = open_locked(to);
}

void remove_file_quietly(const std::filesystem::path& path) noexcept {
  ::DeleteFileW(system_path(path).c_str());
}

// --- read-only opening, new files, replacement checks ---

OsFile OsFile::open_read_only(const std::filesystem::path& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    if (err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION) {
      throw DbfError(ErrorKind::Locked, "Файл " + quoted(path) + " открыт другой программой");
    }
    throw DbfError(kind_of(static_cast<long>(err)),
                   "Не удалось открыть файл " + quoted(path) + ": " + cause_of(static_cast<long>(err)));
  }
  return OsFile(reinterpret_cast<std::intptr_t>(h));
}

OsFile OsFile::create_new(const std::filesystem::path& path) {
  // CREATE_NEW refuses any existing name, a link included.
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    throw DbfError(kind_of(static_cast<long>(err)),
                   "Не удалось создать файл " + quoted(path) + ": " + cause_of(static_cast<long>(err)));
  }
  return OsFile(reinterpret_cast<std::intptr_t>(h));
}

OsFile::Identity OsFile::identity_of(const std::filesystem::path& path) {
  Identity id;
  HANDLE h = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    return id;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(h, &info)) {
    id.exists = true;
    id.links = info.nNumberOfLinks;
  }
  ::CloseHandle(h);
  return id;
}

void OsFile::take_identity(const Identity&, const std::filesystem::path&) {
  // A new file takes the folder's permissions, as the one it replaces did.
}

bool OsFile::process_alive(std::uint64_t pid) {
  HANDLE h = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (h == nullptr) {
    return ::GetLastError() == ERROR_ACCESS_DENIED;
  }
  const bool running = ::WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  ::CloseHandle(h);
  return running;
}

std::uint64_t OsFile::current_process() {
  return ::GetCurrentProcessId();
}

std::string cause_of(long err) {
  switch (err) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "нет места на диске";
    case ERROR_ACCESS_DENIED:
      return "нет прав доступа";
    case ERROR_WRITE_PROTECT:
      return "носитель доступен только для чтения";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "файл занят другой программой";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "файл или папка не найдены";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return "файл уже существует";
    default:
      return "ошибка системы, код " + std::to_string(err);
  }
}

ErrorKind kind_of(long err) {
  switch (err) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ErrorKind::NoSpace;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return ErrorKind::NoAccess;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ErrorKind::NotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return ErrorKind::Exists;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return ErrorKind::Locked;
    default:
      return ErrorKind::Io;
  }
}

CalendarDate local_today() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_s(&tm, &now);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

}  // namespace vkt::dbf
