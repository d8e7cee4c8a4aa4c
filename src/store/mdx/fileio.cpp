#include "store/mdx/fileio.h"

#include <fstream>
#include <system_error>

#include "store/dbf/dbferror.h"
#include "store/dbf/filereplacement.h"
#include "store/mdx/indexkey.h"

namespace vkt::mdx {
namespace {

// Index files beyond this size are not ours: a production index of a measurement table stays far
// below it.
constexpr std::uintmax_t kMaxIndexFileSize = std::uintmax_t{1} << 30;

}  // namespace

std::string display_name(const std::filesystem::path& path) {
  const std::u8string name = path.filename().u8string();
  return std::string(name.begin(), name.end());
}

void write_file_atomically(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  try {
    dbf::FileReplacement replacement(path);
    replacement.file().write_at(0, bytes.data(), bytes.size());
    replacement.commit();
  } catch (const dbf::DbfError& e) {
    throw MdxError(ErrorKind::Io,
                   "Не удалось записать индексный файл " + display_name(path) + ": " + e.what());
  }
}

std::vector<std::uint8_t> read_whole_file(const std::filesystem::path& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    throw MdxError(ErrorKind::Io, "Не удалось открыть индексный файл " + display_name(path));
  }
  if (size > kMaxIndexFileSize) {
    throw MdxError(ErrorKind::Damaged, "Индексный файл " + display_name(path) + " слишком велик");
  }
  std::ifstream file(path, std::ios::binary);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file || file.gcount() != static_cast<std::streamsize>(bytes.size())) {
    throw MdxError(ErrorKind::Io, "Не удалось прочитать индексный файл " + display_name(path));
  }
  return bytes;
}

}  // namespace vkt::mdx
