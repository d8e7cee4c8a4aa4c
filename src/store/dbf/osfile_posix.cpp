// POSIX side of OsFile: pread/pwrite, fsync, rename, mmap, and an OFD lock where the system has one.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>

#include "store/dbf/dbferror.h"
#include "store/dbf/osfile.h"

namespace vkt::dbf {

namespace {

std::string quoted(const std::filesystem::path& path) {
  // Built by appending: GCC 12 at -O3 takes `"\"" + text` for an overlapping copy.
  std::string text(1, '"');
  text += path.string();
  text += '"';
  return text;
}

[[noreturn]] void fail_io(const std::string& what, int err) {
  throw DbfError(kind_of(err), what + ": " + cause_of(err));
}

// Locks the whole file without waiting: a write lock for a writer, a read lock (any number of
// readers, no writer) for a reader. Returns false when another open file description holds a lock
// in the way. A reader on a file system without locks (some network shares) still reads; a writer
// there is refused.
bool lock_file(int fd, bool shared) {
#ifdef F_OFD_SETLK
  struct flock fl {};
  fl.l_type = shared ? F_RDLCK : F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) {
    return true;
  }
  const bool held = errno == EAGAIN || errno == EACCES;
#else
  if (::flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0) {
    return true;
  }
  const bool held = errno == EWOULDBLOCK;
#endif
  if (held) {
    return false;
  }
  if (!shared) {
    fail_io("Не удалось заблокировать файл", errno);
  }
  return errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP;
}

int open_and_lock(const std::filesystem::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT && (flags & O_CREAT) == 0) {
      throw DbfError(ErrorKind::NotFound, "Файл " + quoted(path) + " не найден");
    }
    if (err == EEXIST || (err == ELOOP && (flags & O_NOFOLLOW) != 0)) {
      throw DbfError(ErrorKind::Exists, "Файл " + quoted(path) + " уже существует");
    }
    if ((flags & O_ACCMODE) != O_RDONLY && (err == EACCES || err == EPERM || err == EROFS)) {
      throw DbfError(ErrorKind::NoAccess,
                     (flags & O_CREAT) != 0
                         ? "Папка " + quoted(path.parent_path()) + " недоступна для записи: " + cause_of(err)
                         : "Файл " + quoted(path) + " доступен только для чтения");
    }
    fail_io("Не удалось открыть файл " + quoted(path), err);
  }
  if (!lock_file(fd, (flags & O_ACCMODE) == O_RDONLY)) {
    ::close(fd);
    throw DbfError(ErrorKind::Locked, "Файл " + quoted(path) + " открыт другой программой");
  }
  return fd;
}

void sync_directory(const std::filesystem::path& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);  // best effort: some file systems refuse fsync on directories
    ::close(fd);
  }
}

}  // namespace

OsFile OsFile::open_locked(const std::filesystem::path& path) {
  return OsFile(open_and_lock(path, O_RDWR));
}

OsFile OsFile::create_locked(const std::filesystem::path& path) {
  // Lock before emptying, so a file held by someone else is left alone.
  OsFile file(open_and_lock(path, O_RDWR | O_CREAT));
  file.truncate(0);
  return file;
}

OsFile OsFile::open_read_only(const std::filesystem::path& path) {
  return OsFile(open_and_lock(path, O_RDONLY));
}

OsFile OsFile::create_new(const std::filesystem::path& path) {
  return OsFile(open_and_lock(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW));
}

OsFile::Identity OsFile::identity_of(const std::filesystem::path& path) {
  Identity id;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) {
      return id;
    }
    fail_io("Не удалось открыть файл " + quoted(path), errno);
  }
  id.exists = true;
  id.links = static_cast<std::uint64_t>(st.st_nlink);
  id.owner = st.st_uid;
  id.group = st.st_gid;
  id.mode = st.st_mode & 07777;
  return id;
}

void OsFile::take_identity(const Identity& identity, const std::filesystem::path& target) {
  if (!identity.exists) {
    return;
  }
  const int fd = static_cast<int>(handle_);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    fail_io("Не удалось узнать владельца файла", errno);
  }
  if ((st.st_uid != identity.owner || st.st_gid != identity.group) &&
      ::fchown(fd, identity.owner, identity.group) != 0) {
    // Only the owner's group may be out of reach (a user in several groups keeps it anyway).
    if (st.st_uid != identity.owner || ::fchown(fd, static_cast<uid_t>(-1), identity.group) != 0) {
      throw DbfError(ErrorKind::NoAccess, "Файл " + quoted(target) +
                                              " принадлежит другому пользователю: записать его "
                                              "нельзя, не сменив владельца");
    }
  }
  if (::fchmod(fd, static_cast<mode_t>(identity.mode)) != 0) {
    fail_io("Не удалось задать права файла " + quoted(target), errno);
  }
}

bool OsFile::process_alive(std::uint64_t pid) {
  if (pid == 0 || pid > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max())) {
    return false;
  }
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::uint64_t OsFile::current_process() {
  return static_cast<std::uint64_t>(::getpid());
}

std::uint64_t OsFile::size() const {
  struct stat st {};
  if (::fstat(static_cast<int>(handle_), &st) != 0) {
    fail_io("Не удалось узнать размер файла", errno);
  }
  return static_cast<std::uint64_t>(st.st_size);
}

std::size_t OsFile::read_at(std::uint64_t offset, void* out, std::size_t n) const {
  std::size_t done = 0;
  auto* p = static_cast<char*>(out);
  while (done < n) {
    const ssize_t r =
        ::pread(static_cast<int>(handle_), p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) {
        continue;
      }
      fail_io("Ошибка чтения файла", errno);
    }
    if (r == 0) {
      break;
    }
    done += static_cast<std::size_t>(r);
  }
  return done;
}

void OsFile::write_at(std::uint64_t offset, const void* data, std::size_t n) {
#if !defined(__linux__) && !defined(__APPLE__) && !defined(__FreeBSD__)
  // Where the page cache is not known to be shared by mmap and pwrite, a view is not trusted to
  // show what is written next.
  unmap();
#endif
  std::size_t done = 0;
  const auto* p = static_cast<const char*>(data);
  while (done < n) {
    const ssize_t r =
        ::pwrite(static_cast<int>(handle_), p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) {
        continue;
      }
      fail_io("Ошибка записи файла", errno);
    }
    done += static_cast<std::size_t>(r);
  }
}

void OsFile::truncate(std::uint64_t size) {
  // Pages past the new end would fault on access; the next view() maps the new size.
  unmap();
  if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) != 0) {
    fail_io("Ошибка записи файла", errno);
  }
}

void OsFile::sync() {
  if (::fsync(static_cast<int>(handle_)) != 0) {
    fail_io("Не удалось сохранить файл на диск", errno);
  }
}

void OsFile::close() noexcept {
  unmap();
  if (handle_ != kNoHandle) {
    ::close(static_cast<int>(handle_));
    handle_ = kNoHandle;
  }
}

std::span<const char> OsFile::view() {
  if (handle_ == kNoHandle) {
    return {};
  }
  // Asked afresh each time, so a file cut by someone who ignores our lock is noticed here rather
  // than by touching pages that are gone.
  struct stat st {};
  if (::fstat(static_cast<int>(handle_), &st) != 0) {
    unmap();
    return {};
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (map_data_ != nullptr && size == map_size_) {
    return {map_data_, static_cast<std::size_t>(map_size_)};
  }
  unmap();
  if (size == 0 || size > std::numeric_limits<std::size_t>::max()) {
    return {};
  }
  // Shared, so pages this process writes with pwrite show through.
  void* p =
      ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, static_cast<int>(handle_), 0);
  if (p == MAP_FAILED) {
    return {};
  }
  map_data_ = static_cast<const char*>(p);
  map_size_ = size;
  return {map_data_, static_cast<std::size_t>(map_size_)};
}

void OsFile::unmap() noexcept {
  if (map_data_ != nullptr) {
    ::munmap(const_cast<char*>(map_data_), static_cast<std::size_t>(map_size_));
    map_data_ = nullptr;
    map_size_ = 0;
  }
}

void OsFile::replace(OsFile& to_file, const std::filesystem::path& to, OsFile& from_file,
                     const std::filesystem::path& from) {
  // The new file keeps its descriptor and lock across the rename, so no other program can slip in.
  if (::rename(from.c_str(), to.c_str()) != 0) {
    fail_io("Не удалось заменить файл " + quoted(to), errno);
  }
  sync_directory(to.parent_path());
  to_file = std::move(from_file);
}

std::string cause_of(long err) {
  switch (err) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
      return "нет места на диске";
    case EACCES:
    case EPERM:
      return "нет прав доступа";
    case EROFS:
      return "носитель доступен только для чтения";
    case ETXTBSY:
    case EBUSY:
      return "файл занят другой программой";
    case ENOENT:
      return "файл или папка не найдены";
    case ENOTDIR:
      return "часть пути не является папкой";
    case EISDIR:
      return "это папка, а не файл";
    case ELOOP:
      return "имя указывает на символическую ссылку";
    case EEXIST:
      return "файл уже существует";
    case EIO:
      return "ошибка ввода-вывода (носитель неисправен или отключён)";
    case ENOMEM:
      return "недостаточно памяти";
    case ENAMETOOLONG:
      return "слишком длинное имя";
    case EMFILE:
    case ENFILE:
      return "открыто слишком много файлов";
    default:
      return "ошибка системы, код " + std::to_string(err);
  }
}

ErrorKind kind_of(long err) {
  switch (err) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
      return ErrorKind::NoSpace;
    case EACCES:
    case EPERM:
    case EROFS:
      return ErrorKind::NoAccess;
    case ENOENT:
      return ErrorKind::NotFound;
    case EEXIST:
      return ErrorKind::Exists;
    default:
      return ErrorKind::Io;
  }
}

void remove_file_quietly(const std::filesystem::path& path) noexcept {
  ::unlink(path.c_str());
}

CalendarDate local_today() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

}  // namespace vkt::dbf
