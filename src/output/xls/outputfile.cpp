// The workbook file goes through the program's one way of replacing a file; what can go wrong is
// told in the structured-storage codes the workbook's messages use.
#include "output/xls/outputfile.h"

#include <filesystem>

#include "output/xls/errors.h"
#include "store/dbf/dbferror.h"
#include "store/dbf/filereplacement.h"

namespace vkt::xls {
namespace {

std::int32_t storage_code_of(const dbf::DbfError& error) {
  switch (error.kind()) {
    case ErrorKind::NotFound:
      return storage_code::kPathNotFound;
    case ErrorKind::NoAccess:
      return storage_code::kAccessDenied;
    case ErrorKind::NoSpace:
      return storage_code::kMediumFull;
    case ErrorKind::Locked:
      return storage_code::kShareViolation;
    case ErrorKind::Exists:
      return storage_code::kFileAlreadyExists;
    default:
      return storage_code::kWriteFault;
  }
}

std::filesystem::path path_of(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

struct OutputFile::Handle {
  explicit Handle(const std::string& target) : replacement(path_of(target)) {}
  dbf::FileReplacement replacement;
};

OutputFile::OutputFile(std::string target) : target_(std::move(target)) {
  try {
    handle_ = std::make_unique<Handle>(target_);
  } catch (const dbf::DbfError& e) {
    throw create_file_error(storage_code_of(e));
  }
  const std::u8string temporary = handle_->replacement.temporary().u8string();
  temporary_.assign(temporary.begin(), temporary.end());
}

// Without a commit the replacement removes the temporary file.
OutputFile::~OutputFile() = default;

void OutputFile::write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  try {
    handle_->replacement.file().write_at(offset, data, size);
  } catch (const dbf::DbfError& e) {
    throw write_error(target_, storage_code_of(e));
  }
}

void OutputFile::commit() {
  try {
    handle_->replacement.commit();
  } catch (const dbf::DbfError& e) {
    throw write_error(target_, storage_code_of(e));
  }
  committed_ = true;
}

}  // namespace vkt::xls
