// Saving to disk: the file appears whole or not at all, errors carry the storage codes, and a
// workbook the format cannot hold is refused before anything is written.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "output/xls/errors.h"
#include "output/xls/writer.h"
#include "testutil.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <csignal>
#endif

namespace vkt::xls {
namespace {

namespace fs = std::filesystem;
using test::Data;

class Save : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("vkt_xls_save_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    XlsWorksheet& sheet = book.AddSheet();
    sheet.Name("ВКТ-РС7");
    sheet.Cells(0, 0, 0, 0).Value("N");
    sheet.Cells(0, 1, 0, 1).Value(1.0);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir, fs::perms::owner_all, ignored);
    fs::remove_all(dir, ignored);
  }

  std::vector<std::string> folderListing(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
      const std::u8string name = e.path().filename().u8string();
      names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  template <typename F>
  std::string errorOf(F&& f) {
    try {
      f();
    } catch (const XlsError& e) {
      return e.what();
    }
    return "no error";
  }

  fs::path dir;
  XlsWorkbook book;
  ExcelWriter writer;
};

TEST_F(Save, WritesTheFileAndLeavesNothingElseBehind) {
  // The writer takes UTF-8 names, whatever the system's own narrow encoding.
  const fs::path target = dir / fs::path(u8"экспорт.xls");
  const std::u8string name = target.u8string();
  writer.Save(book, std::string(name.begin(), name.end()));
  EXPECT_EQ(folderListing(dir), std::vector<std::string>{"экспорт.xls"});
  const Data file = test::readFile(target);
  const Bytes inMemory = workbook_file(book);
  EXPECT_EQ(file, Data(inMemory.begin(), inMemory.end())) << "the same bytes as the in-memory writer";
  const auto cf = test::readCompoundFile(file);
  EXPECT_EQ(cf.entryNames, std::vector<std::string>{"Workbook"});
  EXPECT_TRUE(test::checkPositions(cf.streams.at("Workbook")).empty());
}

TEST_F(Save, AnExistingFileIsReplaced) {
  const fs::path target = dir / "book.xls";
  writeText(target, "old contents");
  writer.Save(book, target.string());
  EXPECT_NO_THROW(test::readCompoundFile(test::readFile(target)));
  EXPECT_EQ(folderListing(dir), std::vector<std::string>{"book.xls"});
}

TEST_F(Save, TheBaseWriterWritesNothing) {
  WorkbookWriter base;
  base.Save(book, (dir / "none.xls").string());
  EXPECT_TRUE(folderListing(dir).empty());
}

TEST_F(Save, AMissingFolderGivesPathNotFound) {
  const fs::path target = dir / "no such folder" / "book.xls";
  EXPECT_EQ(errorOf([&] { writer.Save(book, target.string()); }), "StgCreateDocFile error -2147287037");
  EXPECT_TRUE(folderListing(dir).empty());
}

TEST_F(Save, AFolderWithoutWritePermissionGivesAccessDenied) {
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  {
    std::ofstream probe(dir / "probe");
    if (probe) {
      probe.close();
      fs::permissions(dir, fs::perms::owner_all);
      fs::remove(dir / "probe");
      // Running with rights that ignore folder permissions: a kernel-owned folder refuses even
      // those.
      if (!fs::is_directory("/sys") || std::ofstream("/sys/vkt_probe")) {
        GTEST_SKIP() << "no folder refuses writes to this user";
      }
      EXPECT_EQ(errorOf([&] { writer.Save(book, "/sys/book.xls"); }), "StgCreateDocFile error -2147287035");
      EXPECT_FALSE(fs::exists("/sys/book.xls"));
      return;
    }
  }
  EXPECT_EQ(errorOf([&] { writer.Save(book, (dir / "book.xls").string()); }),
            "StgCreateDocFile error -2147287035");
  fs::permissions(dir, fs::perms::owner_all);
  EXPECT_TRUE(folderListing(dir).empty());
}

TEST_F(Save, ATargetThatCannotBeReplacedStaysAsItWasAndTheTemporaryFileGoes) {
  // A folder of that name cannot be replaced by a file.
  const fs::path target = dir / "book.xls";
  fs::create_directory(target);
  writeText(target / "inside.txt", "keep");
  EXPECT_EQ(errorOf([&] { writer.Save(book, target.string()); }), "StgCreateDocFile error -2147287035");
  EXPECT_EQ(folderListing(dir), std::vector<std::string>{"book.xls"});
  EXPECT_EQ(readText(target / "inside.txt"), "keep");
}

#ifndef _WIN32
TEST_F(Save, AWriteFailureKeepsTheExistingFileAndRemovesThePartialOne) {
  const fs::path target = dir / "book.xls";
  writeText(target, "the previous export");
  XlsWorksheet& big = book.AddSheet();
  for (int r = 0; r < 20000; ++r) {
    big.Cells(0, r, 0, r).Value(static_cast<double>(r));
    big.Cells(1, r, 1, r).Value("значение " + std::to_string(r));
  }
  // Files may not grow past 256 KiB for the duration of the save.
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 256 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  int code = 0;
  try {
    writer.Save(book, target.string());
  } catch (const XlsStorageError& e) {
    error = e.what();
    code = e.code();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_EQ(code, storage_code::kMediumFull);
  EXPECT_NE(error.find("book.xls"), std::string::npos) << error;
  EXPECT_NE(error.find("-2147286928"), std::string::npos) << error;
  EXPECT_EQ(readText(target), "the previous export");
  EXPECT_EQ(folderListing(dir), std::vector<std::string>{"book.xls"});
}
#endif

TEST_F(Save, CellsBeyondTheSheetAreRefusedBeforeWriting) {
  const fs::path target = dir / "book.xls";
  writeText(target, "previous");
  struct Case {
    int l, t, r, b;
  };
  for (Case c : {Case{0, 65536, 0, 65536}, Case{256, 0, 256, 0}, Case{0, 65000, 0, 65536}, Case{0, -1, 0, -1},
                 Case{250, 0, 300, 0}}) {
    XlsWorkbook bad;
    bad.AddSheet().Cells(c.l, c.t, c.r, c.b).Value(1.0);
    const std::string error = errorOf([&] { writer.Save(bad, target.string()); });
    EXPECT_NE(error.find("выходит за пределы листа"), std::string::npos) << error;
    EXPECT_NE(error.find("Файл не записан."), std::string::npos) << error;
  }
  EXPECT_EQ(readText(target), "previous");
  EXPECT_EQ(folderListing(dir), std::vector<std::string>{"book.xls"});
}

TEST_F(Save, TheLastRowAndColumnAreAccepted) {
  XlsWorkbook edge;
  edge.AddSheet().Cells(255, 65535, 255, 65535).Value(9.0);
  const fs::path target = dir / "edge.xls";
  writer.Save(edge, target.string());
  const auto cf = test::readCompoundFile(test::readFile(target));
  EXPECT_TRUE(test::checkPositions(cf.streams.at("Workbook")).empty());
}

TEST_F(Save, RemovedRangesBeyondTheSheetStillCountThroughTheUsedArea) {
  XlsWorkbook bad;
  XlsWorksheet& sheet = bad.AddSheet();
  sheet.Cells(0, 70000, 0, 70000);
  sheet.Cells(0, 0, 0, 70000);  // replaced: the used area still reaches row 70000
  sheet.Cells(0, 0, 0, 0).Value(1.0);
  EXPECT_NE(errorOf([&] { writer.Save(bad, (dir / "b.xls").string()); }).find("занятая область"),
            std::string::npos);
  EXPECT_TRUE(folderListing(dir).empty());
}

TEST_F(Save, TextsLongerThan32767CharactersAreRefused) {
  XlsWorkbook ok;
  ok.AddSheet().Cells(0, 0, 0, 0).Value(std::string(32767, 'a'));
  EXPECT_NO_THROW(writer.Save(ok, (dir / "ok.xls").string()));

  std::string cyrillic;
  for (int i = 0; i < 32768; ++i) {
    cyrillic += "ж";
  }
  for (const std::string& text : {std::string(32768, 'a'), cyrillic}) {
    XlsWorkbook bad;
    bad.AddSheet().Cells(3, 4, 3, 4).Value(text);
    const std::string error = errorOf([&] { writer.Save(bad, (dir / "bad.xls").string()); });
    EXPECT_NE(error.find("длиннее 32767 символов"), std::string::npos) << error;
    EXPECT_NE(error.find("строка 5, столбец 4"), std::string::npos) << error;
  }
  EXPECT_FALSE(fs::exists(dir / "bad.xls"));
}

TEST_F(Save, AWorkbookWithoutSheetsIsRefused) {
  XlsWorkbook none;
  EXPECT_NE(errorOf([&] { writer.Save(none, (dir / "none.xls").string()); }).find("ни одного листа"),
            std::string::npos);
  EXPECT_TRUE(folderListing(dir).empty());
}

TEST(StorageCodes, OsErrorsMapToTheStructuredStorageCodes) {
  EXPECT_EQ(storage_code_from_errno(EACCES), -2147287035);
  EXPECT_EQ(storage_code_from_errno(EROFS), -2147287035);
  EXPECT_EQ(storage_code_from_errno(ENOENT), -2147287037);
  EXPECT_EQ(storage_code_from_errno(ENOSPC), -2147286928);
  EXPECT_EQ(storage_code_from_errno(EMFILE), -2147287036);
  EXPECT_EQ(storage_code_from_win32(5), -2147287035);
  EXPECT_EQ(storage_code_from_win32(32), -2147287008);
  EXPECT_EQ(std::string(create_stream_error(storage_code::kInsufficientMemory).what()),
            "CreateStream error -2147287032");
  EXPECT_EQ(std::string(create_file_error(storage_code::kShareViolation).what()),
            "StgCreateDocFile error -2147287008");
}

}  // namespace
}  // namespace vkt::xls
