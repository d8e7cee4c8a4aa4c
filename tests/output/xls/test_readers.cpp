// Whole workbooks read back by programs that share nothing with the writer: python3-olefile,
// python3-xlrd, LibreOffice and gnumeric. Their exit codes prove nothing, so every test compares
// the content, numbers as numbers.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "biffwalk.h"
#include "output/xls/writer.h"

namespace vkt::xls {
namespace {

namespace fs = std::filesystem;

const char* const kPython = "/usr/bin/python3";

struct Result {
  int status;
  std::string output;
};

Result run(const std::string& command) {
  Result r{-1, {}};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) {
    return r;
  }
  std::array<char, 4096> buffer;
  std::size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    r.output.append(buffer.data(), n);
  }
  r.status = pclose(pipe);
  return r;
}

std::string quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return out + "'";
}

bool hasProgram(const std::string& name) {
  return run("command -v " + quote(name)).status == 0;
}

bool pythonHas(const std::string& module) {
  return fs::exists(kPython) && run(std::string(kPython) + " -c " + quote("import " + module)).status == 0;
}

std::string script() {
  return quote(std::string(VKT_SOURCE_DIR) + "/tests/output/xls/check_xls.py");
}

std::string escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

// What every reader must find, as check_xls.py expects it.
void writeExpected(XlsWorkbook& book, const fs::path& path) {
  std::ofstream out(path, std::ios::binary);
  for (std::size_t s = 0; s < book.sheet_count(); ++s) {
    out << "sheet\t" << s << "\t" << escape(book.sheet(s).Name()) << "\n";
  }
  for (std::size_t s = 0; s < book.sheet_count(); ++s) {
    XlsWorksheet& sheet = book.sheet(s);
    for (const RangeData& r : sheet.ranges()) {
      const CellValue value = sheet.value(r);
      for (int row = r.top; row <= r.bottom; ++row) {
        for (int col = r.left; col <= r.right; ++col) {
          out << "cell\t" << s << "\t" << row << "\t" << col << "\t";
          if (row == r.top && col == r.left && value.is_number()) {
            char number[64];
            std::snprintf(number, sizeof number, "%.17g", value.number());
            out << "n\t" << number << "\n";
          } else if (row == r.top && col == r.left && !value.text().empty()) {
            out << "s\t" << escape(value.text()) << "\n";
          } else {
            out << "b\t\n";
          }
        }
      }
      if (r.is_merged()) {
        out << "merge\t" << s << "\t" << r.top << "\t" << r.bottom + 1 << "\t" << r.left << "\t"
            << r.right + 1 << "\n";
      }
    }
  }
}

void fillMixed(XlsWorkbook& book) {
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Name("ВКТ-РС7");
  const char* headers[] = {"N", "Дата", "µ", "Модуль упругости, Fср, МН/м.кв", "Сила удара Fmax1, H"};
  for (int c = 0; c < 5; ++c) {
    sheet.Cells(c, 0, c, 0).Value(headers[c]);
  }
  sheet.Cells(0, 1, 0, 1).Value(1.0 / 3.0);
  sheet.Cells(1, 1, 1, 1).Value(-2.5e-7);
  sheet.Cells(2, 1, 2, 1).Value(1e15);
  sheet.Cells(3, 1, 3, 1).Value(std::int32_t{-70000});
  sheet.Cells(4, 1, 4, 1).Value(std::int16_t{-12});
  sheet.Cells(5, 1, 5, 1).Value(std::uint8_t{200});
  sheet.Cells(6, 1, 6, 1).Value(Currency{-1234567});
  sheet.Cells(7, 1, 7, 1).Value(0.1f);
  sheet.Cells(8, 1, 8, 1).Value(true);
  sheet.Cells(0, 2, 0, 2).Value("две\r\nстроки");
  sheet.Cells(1, 2, 1, 2).Value("");
  sheet.Cells(2, 2, 4, 3).Value("объединённая область");
  sheet.Cells(5, 2, 5, 4).Value(99.5);
  sheet.Cells(6, 2, 7, 2);
  sheet.Cells(255, 40, 255, 40).Value("последний столбец");
  sheet.Cells(0, 1000, 0, 1000).Value("после пропуска");
  XlsWorksheet& second = book.AddSheet();
  for (int r = 0; r < 100; ++r) {
    second.Cells(0, r, 0, r).Value(std::string(static_cast<std::size_t>(r * 97 % 5000), 'w') + "ю");
    second.Cells(1, r, 1, r).Value(r * 1.5);
  }
}

// The export's shape: 19 columns, six of them texts (one Cyrillic), thirteen numbers.
void fillExport(XlsWorkbook& book, int rows) {
  XlsWorksheet& sheet = book.AddSheet();
  sheet.Name("ВКТ-РС7");
  sheet.reserve(static_cast<std::size_t>(rows) * 19);
  const char* materials[] = {"Песок мелкозернистый", "Щебень фракции 20-40", "Суглинок", "Гравий"};
  for (int r = 0; r < rows; ++r) {
    char date[16];
    char time[16];
    std::snprintf(date, sizeof date, "%02d.%02d.%04d", r % 28 + 1, r % 12 + 1, 2000 + r % 30);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", r % 24, r % 60, (r * 7) % 60);
    sheet.Cells(0, r, 0, r).Value(static_cast<double>(r + 1));
    sheet.Cells(1, r, 1, r).Value(date);
    sheet.Cells(2, r, 2, r).Value(time);
    sheet.Cells(3, r, 3, r).Value(r % 2 ? "Linear" : "Quadratic");
    sheet.Cells(4, r, 4, r).Value(materials[r % 4]);
    sheet.Cells(5, r, 5, r).Value("0." + std::to_string(r % 50));
    sheet.Cells(6, r, 6, r).Value(static_cast<std::int32_t>(100 + r % 900));
    for (int c = 7; c < 14; ++c) {
      sheet.Cells(c, r, c, r).Value(r * 0.25 + c);
    }
    for (int c = 14; c < 18; ++c) {
      sheet.Cells(c, r, c, r).Value(static_cast<std::int32_t>(r * 3 + c));
    }
    sheet.Cells(18, r, 18, r).Value(r % 10 == 0 ? "примечание " + std::to_string(r) : std::string());
  }
}

struct Sample {
  std::string name;
  fs::path file;
  fs::path expected;
};

class Readers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("vkt_xls_readers_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    auto add = [](const std::string& name, auto&& fill) {
      XlsWorkbook book;
      fill(book);
      Sample s{name, dir_ / (name + ".xls"), dir_ / (name + ".expected")};
      ExcelWriter().Save(book, s.file.string());
      writeExpected(book, s.expected);
      samples_.push_back(s);
    };
    add("tiny", [](XlsWorkbook& b) { b.AddSheet().Cells(0, 0, 0, 0).Value(7.0); });
    add("mixed", fillMixed);
    add("export", [](XlsWorkbook& b) { fillExport(b, 65535); });
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static void expectOk(const Result& r, const std::string& what) {
    EXPECT_EQ(r.output.rfind("OK ", 0), 0u) << what << ":\n" << r.output;
  }

  static fs::path dir_;
  static std::vector<Sample> samples_;
};

fs::path Readers::dir_;
std::vector<Sample> Readers::samples_;

TEST_F(Readers, OlefileFindsExactlyTheWorkbookStream) {
  if (!pythonHas("olefile")) {
    GTEST_SKIP() << "python3-olefile is not installed";
  }
  for (const Sample& s : samples_) {
    const Result r = run(std::string(kPython) + " " + script() + " ole " + quote(s.file.string()));
    EXPECT_EQ(r.output, "[['Workbook']]\n") << s.name;
    // And our own walker agrees about every stored position.
    const auto cf = test::readCompoundFile(test::readFile(s.file));
    EXPECT_TRUE(test::checkPositions(cf.streams.at("Workbook")).empty()) << s.name;
  }
}

TEST_F(Readers, XlrdReadsEveryCellSheetNameAndMergedArea) {
  if (!pythonHas("xlrd")) {
    GTEST_SKIP() << "python3-xlrd is not installed";
  }
  for (const Sample& s : samples_) {
    expectOk(run(std::string(kPython) + " " + script() + " xlrd " + quote(s.file.string()) + " " +
                 quote(s.expected.string())),
             "xlrd " + s.name);
  }
}

TEST_F(Readers, LibreOfficeOpensEveryWorkbookWithTheSameValues) {
  if (!hasProgram("soffice")) {
    GTEST_SKIP() << "LibreOffice (libreoffice-calc-nogui) is not installed";
  }
  for (const Sample& s : samples_) {
    const fs::path out = dir_ / ("lo_" + s.name);
    fs::create_directories(out);
    const Result r =
        run("LC_ALL=C.UTF-8 soffice --headless --norestore -env:UserInstallation=file://" +
            (dir_ / "profile").string() +
            " --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1'"
            " --outdir " +
            quote(out.string()) + " " + quote(s.file.string()));
    std::vector<std::string> csvs;
    std::ifstream expected(s.expected);
    std::string line;
    while (std::getline(expected, line) && line.rfind("sheet\t", 0) == 0) {
      const std::string name = line.substr(line.find('\t', 6) + 1);
      csvs.push_back((out / (s.name + "-" + name + ".csv")).string());
    }
    std::string args;
    for (const auto& c : csvs) {
      args += " " + quote(c);
    }
    expectOk(run(std::string(kPython) + " " + script() + " csv " + quote(s.expected.string()) + args),
             "LibreOffice " + s.name + " (" + r.output + ")");
  }
}

TEST_F(Readers, GnumericOpensEveryWorkbookWithoutWarningsAndWithTheSameValues) {
  if (!hasProgram("ssconvert")) {
    GTEST_SKIP() << "gnumeric's ssconvert is not installed";
  }
  for (const Sample& s : samples_) {
    const fs::path out = dir_ / ("gn_" + s.name);
    fs::create_directories(out);
    const Result r = run("LC_ALL=C.UTF-8 ssconvert -S " + quote(s.file.string()) + " " +
                         quote((out / "sheet_%n.csv").string()));
    for (const char* bad : {"WARNING", "CRITICAL", "Error", "error"}) {
      EXPECT_EQ(r.output.find(bad), std::string::npos) << s.name << ":\n" << r.output;
    }
    std::string args;
    std::ifstream expected(s.expected);
    std::string line;
    int sheets = 0;
    while (std::getline(expected, line) && line.rfind("sheet\t", 0) == 0) {
      args += " " + quote((out / ("sheet_" + std::to_string(sheets++) + ".csv")).string());
    }
    expectOk(run(std::string(kPython) + " " + script() + " csv " + quote(s.expected.string()) + args),
             "ssconvert " + s.name);
  }
}

}  // namespace
}  // namespace vkt::xls
