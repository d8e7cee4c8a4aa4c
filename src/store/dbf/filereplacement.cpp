#include "store/dbf/filereplacement.h"

#include <atomic>
#include <charconv>
#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include "store/dbf/dbferror.h"

namespace vkt::dbf {

namespace {

constexpr std::string_view kTemporarySuffix = ".vkt-tmp";

std::function<void(const std::filesystem::path&)>& test_hook() {
  static std::function<void(const std::filesystem::path&)> hook;
  return hook;
}

std::string quoted(const std::filesystem::path& path) {
  std::string text(1, '"');
  text += path.string();
  text += '"';
  return text;
}

// ".<name>.<process>-<counter>-<random>.vkt-tmp": hidden, tied to the file it replaces and to the
// process that writes it, so leftovers of a killed process can be told from work in progress.
std::string temporary_name(const std::string& base) {
  static std::atomic<unsigned> counter{0};
  static std::mt19937_64 random(
      static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  std::string name = "." + base + "." + std::to_string(OsFile::current_process()) + "-" +
                     std::to_string(counter++) + "-" + std::to_string(random() & 0xFFFFFF);
  name += kTemporarySuffix;
  return name;
}

// The process number inside a temporary name of `base`, when it is one.
std::optional<std::uint64_t> writer_of(const std::string& name, const std::string& base) {
  const std::string prefix = "." + base + ".";
  if (name.size() <= prefix.size() + kTemporarySuffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      !name.ends_with(kTemporarySuffix)) {
    return std::nullopt;
  }
  std::uint64_t pid = 0;
  const char* begin = name.data() + prefix.size();
  const auto [end, ec] = std::from_chars(begin, name.data() + name.size(), pid);
  if (ec != std::errc() || *end != '-') {
    return std::nullopt;
  }
  return pid;
}

}  // namespace

std::filesystem::path FileReplacement::resolve(const std::filesystem::path& target) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(target, ec);
  if (ec) {
    absolute = target;
  }
  // A chain of links is followed to its end; a link to a missing file names the file to create.
  for (int hops = 0; hops < 40; ++hops) {
    if (!std::filesystem::is_symlink(absolute, ec)) {
      break;
    }
    const std::filesystem::path next = std::filesystem::read_symlink(absolute, ec);
    if (ec) {
      break;
    }
    absolute = next.is_absolute() ? next : absolute.parent_path() / next;
  }
  const std::filesystem::path folder = std::filesystem::weakly_canonical(absolute.parent_path(), ec);
  return ec ? absolute.lexically_normal() : folder / absolute.filename();
}

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
  if (a.empty() || b.empty()) {
    return false;
  }
  std::error_code ec;
  const bool same = std::filesystem::equivalent(a, b, ec);
  return !ec && same;
}

void FileReplacement::check_replaceable(const std::filesystem::path& target) {
  // A trial file in the folder shows at once whether the folder takes new files.
  FileReplacement trial(target);
}

bool FileReplacement::is_temporary_name(const std::filesystem::path& name) {
  return name.filename().string().ends_with(kTemporarySuffix);
}

void FileReplacement::set_test_hook(std::function<void(const std::filesystem::path&)> hook) {
  test_hook() = std::move(hook);
}

FileReplacement::FileReplacement(const std::filesystem::path& target) : target_(resolve(target)) {
  std::error_code ec;
  if (std::filesystem::is_directory(target_, ec)) {
    throw DbfError(ErrorKind::NoAccess,
                   "На месте файла " + quoted(target_) + " находится папка: её нельзя заменить файлом");
  }
  identity_ = OsFile::identity_of(target_);
  if (identity_.exists && identity_.links > 1) {
    throw DbfError(ErrorKind::NoAccess,
                   "У файла " + quoted(target_) +
                       " есть другие имена (жёсткие ссылки): замена разделила бы их, файл не изменён");
  }
  remove_leftovers();
  const std::string base = target_.filename().string();
  for (int attempt = 0;; ++attempt) {
    temporary_ = target_.parent_path() / temporary_name(base);
    try {
      file_ = OsFile::create_new(temporary_);
      break;
    } catch (const DbfError& e) {
      if (e.kind() != ErrorKind::Exists || attempt >= 16) {
        throw;
      }
    }
  }
  try {
    file_.take_identity(identity_, target_);
  } catch (...) {
    file_.close();
    remove_file_quietly(temporary_);
    throw;
  }
}

FileReplacement::~FileReplacement() {
  if (!committed_) {
    file_.close();
    remove_file_quietly(temporary_);
  }
}

void FileReplacement::remove_leftovers() const {
  const std::string base = target_.filename().string();
  std::error_code ec;
  for (std::filesystem::directory_iterator it(target_.parent_path(), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const auto pid = writer_of(name, base);
    // Removing a name never follows it, even when a link was put there.
    if (pid && !OsFile::process_alive(*pid)) {
      remove_file_quietly(it->path());
    }
  }
}

void FileReplacement::commit(OsFile* holder) {
  try {
    file_.sync();
    if (test_hook()) {
      test_hook()(temporary_);
    }
    OsFile placeholder;
    OsFile::replace(holder != nullptr ? *holder : placeholder, target_, file_, temporary_);
  } catch (...) {
    file_.close();
    remove_file_quietly(temporary_);
    throw;
  }
  committed_ = true;
}

}  // namespace vkt::dbf
