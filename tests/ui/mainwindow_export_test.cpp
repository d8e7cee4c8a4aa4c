// "Экспорт в Excel" through the window, the workbook read back by an independent reader.
#include <gtest/gtest.h>
#include <filesystem>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include "core/programstate.h"
#include "indexdumpcheck.h"
#include "store/appsettings.h"
#include "store/dbf/table.h"
#include "store/measurement/measurementfile.h"
#include "ui/mainwindow.h"
#include "ui/measurementgrid.h"
#include "windowtest.h"

namespace vkt {
namespace {

// The sheet as python3-xlrd reads it: name, then rows of [type, value] cells.
const char* kReader = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
sheet = book.sheet_by_index(0)
rows = [[[c.ctype, c.value] for c in sheet.row(r)] for r in range(sheet.nrows)]
print(json.dumps({"sheets": book.nsheets, "name": sheet.name, "rows": rows}))
)";

class MainWindowExportTest : public testing::WindowTest {
 protected:
  void SetUp() override { make_window(); }

  // Three device A rows, stored in the order N = 3, 1, 2, and, when asked, one device B row
  // (which makes the window show the device B tab).
  QString write_file(const char* name, bool with_device_b, int dev_type = 0) {
    const QString file = path(name);
    dbf::Table t;
    measurement::create_measurement_file(t, std::filesystem::path(file.toStdU16String()));
    for (int n : {3, 1, 2}) {
      t.append();
      t.set_double("N", n);
      t.set_text("DATE", "12.05.2011");
      t.set_text("TIME", "10:00:0" + std::to_string(n));
      t.set_text("P5", "Базовая зависимость №1");
      t.set_double("P", 100 + n);
      t.set_integer("D3", 7000 + n);
      t.set_text("COMMENT", n == 2 ? "строка\r\nвторая" : "");
      if (dev_type != 0) {
        t.set_integer("DEV_TYPE", dev_type);
      }
      t.post();
    }
    if (!with_device_b) {
      return file;
    }
    t.append();
    t.set_double("N", 9);
    t.set_integer("NB_TYPE", 1);
    t.set_integer("DEV_TYPE", dev_type);
    t.set_double("P", 12.34);
    t.set_double("R", 5.5);
    t.set_text("ZAV", "базовая");
    t.post();
    t.close();
    return file;
  }

  QJsonObject read_back(const QString& xls) {
    QProcess p;
    p.start("/usr/bin/python3", {"-c", kReader, xls});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
  }
};

constexpr int kNumber = 2;  // xlrd's cell types
constexpr int kText = 1;
constexpr int kEmpty = 0;

TEST_F(MainWindowExportTest, DeviceARowsInFileOrderWhateverTheSort) {
  window_->files().Open_DB(write_file("a.db", false));
  MeasurementGrid* grid = window_->tabs()->grid1();
  emit grid->title_clicked(grid->column_of("N"), false);  // sorted descending by N
  testing::expect_index_dump_agrees(path("a.mdx").toStdString());
  const QString xls = path("a.xls");
  dialogs_.file_answers.push_back(xls);
  testing::command(*window_, "Excel1")->trigger();
  ASSERT_EQ(dialogs_.shown.size(), 2) << dialogs_.messages().join("; ").toStdString();
  EXPECT_EQ(dialogs_.shown[0].file.filter, "Книга Excel|*.xls");
  EXPECT_EQ(dialogs_.shown[0].file.default_suffix, "xls");
  EXPECT_TRUE(dialogs_.shown[0].file.confirm_overwrite);
  EXPECT_EQ(dialogs_.shown[1].caption, "Экспорт в Excel");
  EXPECT_EQ(dialogs_.shown[1].text, "Экспорт в файл a.xls завершен успешно.");
  EXPECT_EQ(dialogs_.shown[1].icon, Dialogs::Icon::Information);
  EXPECT_EQ(grid->sorted_column(), -1);

  const QJsonObject book = read_back(xls);
  EXPECT_EQ(book["sheets"].toInt(), 1);
  EXPECT_EQ(book["name"].toString(), "ВКТ-РС7");
  const QJsonArray rows = book["rows"].toArray();
  ASSERT_EQ(rows.size(), 4);
  const QJsonArray header = rows[0].toArray();
  ASSERT_EQ(header.size(), 19);
  EXPECT_EQ(header[3].toArray()[1].toString(), "Вид зависимости");
  EXPECT_EQ(header[5].toArray()[1].toString(), "µ");
  EXPECT_EQ(header[15].toArray()[1].toString(), "Сила удара Fmax1, H");
  EXPECT_EQ(header[18].toArray()[1].toString(), "Примечание");
  const double order[] = {3, 1, 2};
  for (int i = 1; i <= 3; ++i) {
    const QJsonArray row = rows[i].toArray();
    EXPECT_EQ(row[0].toArray()[0].toInt(), kNumber);
    EXPECT_EQ(row[0].toArray()[1].toDouble(), order[i - 1]);
    EXPECT_EQ(row[3].toArray()[1].toString(), "Базовая зависимость №1");
    EXPECT_EQ(row[7].toArray()[1].toDouble(), 100 + order[i - 1]);
    EXPECT_EQ(row[14].toArray()[1].toDouble(), 7000 + order[i - 1]);
    EXPECT_EQ(row[9].toArray()[0].toInt(), kNumber);  // an empty T is written as 0
    EXPECT_EQ(row[9].toArray()[1].toDouble(), 0);
  }
  EXPECT_EQ(rows[3].toArray()[18].toArray()[1].toString(), "строка\nвторая");
  EXPECT_EQ(rows[1].toArray()[18].toArray()[0].toInt(), kEmpty);

  // A second export of the same tab gives the same sheet.
  dialogs_.file_answers.push_back(path("again.xls"));
  testing::command(*window_, "Excel1")->trigger();
  EXPECT_EQ(read_back(path("again.xls"))["rows"], book["rows"]);
}

TEST_F(MainWindowExportTest, DeviceBTabAndOlderInstrumentSheetName) {
  window_->files().Open_DB(write_file("b.db", true, 15));
  EXPECT_EQ(state_.device_code, 15);
  dialogs_.file_answers.push_back(path("b.xls"));
  testing::command(*window_, "Excel1")->trigger();
  const QJsonObject book = read_back(path("b.xls"));
  EXPECT_EQ(book["name"].toString(), "ВКТ-РС");
  const QJsonArray rows = book["rows"].toArray();
  ASSERT_EQ(rows.size(), 2);
  const QJsonArray row = rows[1].toArray();
  EXPECT_EQ(row[7].toArray()[1].toDouble(), 12.34);
  EXPECT_EQ(row[8].toArray()[1].toDouble(), 5.5);
  for (int c : {6, 9, 10, 11, 12, 13, 14, 15, 16, 17}) {
    EXPECT_EQ(row[c].toArray()[0].toInt(), kNumber) << c;
    EXPECT_EQ(row[c].toArray()[1].toDouble(), 0) << c;
  }
  for (int c : {3, 4, 5}) {
    EXPECT_EQ(row[c].toArray()[0].toInt(), kEmpty) << c;
  }
}

TEST_F(MainWindowExportTest, CancelAndFailedWriteShowNoSuccess) {
  window_->files().Open_DB(write_file("c.db", false));
  MeasurementGrid* grid = window_->tabs()->grid1();
  emit grid->title_clicked(grid->column_of("P"), false);
  testing::expect_index_dump_agrees(path("c.mdx").toStdString());
  testing::command(*window_, "Excel1")->trigger();  // the dialog is cancelled
  EXPECT_EQ(dialogs_.shown.size(), 1);
  EXPECT_NE(grid->sorted_column(), -1);  // nothing changed, not even the sort

  // A folder that does not exist: the writer's error, no success message, no file.
  const QString target = path("missing/c.xls");
  dialogs_.file_answers.push_back(target);
  testing::command(*window_, "Excel1")->trigger();
  ASSERT_EQ(dialogs_.shown.size(), 3);
  EXPECT_EQ(dialogs_.shown[2].icon, Dialogs::Icon::Error);
  EXPECT_FALSE(dialogs_.messages().last().contains("успешно"));
  EXPECT_FALSE(QFile::exists(target));
}

TEST_F(MainWindowExportTest, NothingWithoutAFile) {
  testing::command(*window_, "Excel1")->trigger();
  EXPECT_TRUE(dialogs_.shown.isEmpty());
}

// The exports beside "Экспорт в Excel": the same rows in file order, whatever the grid's sort.
TEST_F(MainWindowExportTest, XlsxCsvAndPdfBesideTheExcelExport) {
  for (const char* name : {"Xlsx1", "Csv1", "Pdf1"}) {
    testing::command(*window_, name)->trigger();  // no file open: nothing is asked
  }
  EXPECT_TRUE(dialogs_.shown.isEmpty());

  window_->files().Open_DB(write_file("x.db", false));
  MeasurementGrid* grid = window_->tabs()->grid1();
  emit grid->title_clicked(grid->column_of("N"), false);

  dialogs_.file_answers.push_back(path("x.xlsx"));
  testing::command(*window_, "Xlsx1")->trigger();
  ASSERT_EQ(dialogs_.shown.size(), 2) << dialogs_.messages().join("; ").toStdString();
  EXPECT_EQ(dialogs_.shown[0].file.filter, "Книга Excel 2007|*.xlsx");
  EXPECT_EQ(dialogs_.shown[1].text, "Экспорт в файл x.xlsx завершен успешно.");
  EXPECT_EQ(grid->sorted_column(), -1);
  QProcess p;
  p.start("/usr/bin/python3",
          {"-c",
           "import openpyxl, sys; s = openpyxl.load_workbook(sys.argv[1]).active; "
           "print(s.title, [r[0] for r in s.iter_rows(min_row=2, values_only=True)], s['B2'].value.year)",
           path("x.xlsx")});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), "ВКТ-РС7 [3, 1, 2] 2011")
      << p.readAllStandardError().toStdString();

  // CSV as the locale writes numbers (the tests run in an English one), or the other way.
  dialogs_.file_answers.push_back(path("x.csv"));
  testing::command(*window_, "Csv1")->trigger();
  dialogs_.file_answers.push_back(path("y.csv"));
  dialogs_.filter_answers.push_back(1);
  testing::command(*window_, "Csv1")->trigger();
  ASSERT_EQ(dialogs_.shown.size(), 6);
  EXPECT_EQ(dialogs_.shown[2].file.filter,
            "Текст CSV, разделитель «,», десятичный знак «.»|*.csv|"
            "Текст CSV, разделитель «;», десятичный знак «,»|*.csv");
  EXPECT_EQ(dialogs_.shown[3].caption, "Экспорт в CSV");
  for (const auto& [name, start] :
       {std::pair{"x.csv", "3,12.05.2011,10:00:03,Базовая зависимость №1,,,0,103,0,"},
        std::pair{"y.csv", "3;12.05.2011;10:00:03;Базовая зависимость №1;;;0;103;0;"}}) {
    QFile csv(path(name));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("\xEF\xBB\xBFN")) << name;
    EXPECT_TRUE(lines[1].startsWith(start)) << lines[1].toStdString();
  }

  // The report straight into a PDF file, without the preview window.
  dialogs_.file_answers.push_back(path("x.pdf"));
  testing::command(*window_, "Pdf1")->trigger();
  ASSERT_EQ(dialogs_.shown.size(), 7);
  EXPECT_EQ(dialogs_.shown[6].file.filter, "Документы PDF|*.pdf");
  QFile pdf(path("x.pdf"));
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5) == "%PDF-");

  // A folder that does not exist: the error, and no file.
  dialogs_.file_answers.push_back(path("missing/x.xlsx"));
  testing::command(*window_, "Xlsx1")->trigger();
  ASSERT_EQ(dialogs_.shown.size(), 9);
  EXPECT_EQ(dialogs_.shown[8].icon, Dialogs::Icon::Error);
  EXPECT_FALSE(QDir(path("missing")).exists());
}

}  // namespace
}  // namespace vkt
