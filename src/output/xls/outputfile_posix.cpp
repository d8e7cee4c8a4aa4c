// POSIX part of OutputFile.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "output/xls/errors.h"
#include "output/xls/outputfile.h"

namespace vkt::xls {

struct OutputFile::Handle {
  int fd = -1;
};

namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string temporaryName(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  const auto slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  const auto ticks =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%ld.%u.%llx.tmp", static_cast<long>(getpid()), counter++,
                ticks & 0xFFFFFF);
  return folder + "." + base + suffix;
}

// Removes the temporary files of earlier saves of `target` whose process no longer runs (killed
// before it could clean up). Removing a name never follows it.
void removeLeftovers(const std::string& target) {
  const auto slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : folderOf(target);
  const std::string prefix = "." + (slash == std::string::npos ? target : target.substr(slash + 1)) + ".";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    return;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0) {
      continue;
    }
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (pid > 0 && end != nullptr && *end == '.' && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
        errno == ESRCH) {
      ::unlink((folder + "/" + name).c_str());
    }
  }
  ::closedir(dir);
}

}  // namespace

OutputFile::OutputFile(std::string target) : target_(std::move(target)), handle_(std::make_unique<Handle>()) {
  removeLeftovers(target_);
  for (int attempt = 0; attempt < 16; ++attempt) {
    temporary_ = temporaryName(target_);
    handle_->fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (handle_->fd >= 0 || errno != EEXIST) {
      break;
    }
  }
  if (handle_->fd < 0) {
    throw createFileError(storageCodeFromErrno(errno));
  }
}

OutputFile::~OutputFile() {
  if (handle_->fd >= 0) {
    ::close(handle_->fd);
  }
  if (!committed_) {
    ::unlink(temporary_.c_str());
  }
}

void OutputFile::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t done = ::pwrite(handle_->fd, data, size, static_cast<off_t>(offset));
    if (done < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw writeError(target_, storageCodeFromErrno(errno));
    }
    data += done;
    size -= static_cast<std::size_t>(done);
    offset += static_cast<std::uint64_t>(done);
  }
}

void OutputFile::commit() {
  if (::fsync(handle_->fd) != 0) {
    throw writeError(target_, storageCodeFromErrno(errno));
  }
  const int fd = handle_->fd;
  handle_->fd = -1;
  if (::close(fd) != 0) {
    throw writeError(target_, storageCodeFromErrno(errno));
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    throw createFileError(storageCodeFromErrno(errno));
  }
  committed_ = true;
  // The new name must survive a crash as well as the contents.
  const int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

}  // namespace vkt::xls
