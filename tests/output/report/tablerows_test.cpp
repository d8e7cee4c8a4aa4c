#include "output/report/tablerows.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "store/dbf/table.h"
#include "store/measurement/measurementfile.h"

namespace vkt::report {
namespace {

struct Row {
  double n;
  std::optional<int> kind;  // NB_TYPE; empty for an imported device A row
  std::optional<int> dev_type;
  double p;
  std::string comment;
};

class TableRowsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString path(const QString& name) const { return dir_.filePath(name); }

  // A measurement file with these rows, left open in table.
  void make_file(dbf::Table& table, const QString& name, const std::vector<Row>& rows) {
    measurement::create_measurement_file(table, std::filesystem::path(path(name).toStdU16String()));
    for (const Row& r : rows) {
      table.append();
      table.set_double("N", r.n);
      table.set_text("DATE", "01.02.2024");
      table.set_text("TIME", "11:22:33");
      if (r.kind) {
        table.set_integer("NB_TYPE", *r.kind);
        table.set_double("SERIAL", 512);
        table.set_double("R", 12.5);
      }
      if (r.dev_type) {
        table.set_integer("DEV_TYPE", *r.dev_type);
      }
      table.set_double("P", r.p);
      table.set_integer("D9", 150);
      table.set_text("COMMENT", r.comment);
      table.post();
    }
  }

  static QString pdf_text(const QString& file) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
  }

  QTemporaryDir dir_;
};

TEST_F(TableRowsTest, ReadsTheRowsTheFilterAdmitsInTheTablesOrder) {
  dbf::Table table;
  make_file(table, QStringLiteral("m.db"),
            {{1, std::nullopt, std::nullopt, 152.6, "первый"},
             {2, 1, 1, 3.25, "  "},
             {3, 0, std::nullopt, 140, ""},
             {4, 1, 1, 4.5, "у опоры"}});
  table.set_filter("NB_TYPE=1");
  table.go_to(4);

  const MemoryDataset b = read_table_rows(table, {"N", "P", "COMMENT", "TYPE", "NOSUCH"});
  ASSERT_EQ(b.row_count(), 2u);
  EXPECT_EQ(b.value(0, "N"), FieldValue{2.0});
  EXPECT_EQ(b.value(0, "P"), FieldValue{3.25});
  EXPECT_EQ(b.value(0, "COMMENT"), FieldValue{});  // blanks only
  EXPECT_EQ(b.value(1, "COMMENT"), FieldValue{std::string("у опоры")});
  EXPECT_EQ(b.value(1, "TYPE"), FieldValue{});    // never written
  EXPECT_EQ(b.value(1, "NOSUCH"), FieldValue{});  // not a field of the table
  EXPECT_EQ(table.recno(), 4u);                   // the cursor is back where it was

  // Device A rows: the empty NB_TYPE counts as 0; a set order is followed.
  table.set_filter("NB_TYPE=0");
  table.set_order({3, 1});
  const MemoryDataset a = read_table_rows(table, {"N", "D9", "NB_TYPE"});
  ASSERT_EQ(a.row_count(), 2u);
  EXPECT_EQ(a.value(0, "N"), FieldValue{3.0});
  EXPECT_EQ(a.value(1, "N"), FieldValue{1.0});
  EXPECT_EQ(a.value(1, "D9"), FieldValue{150.0});
  EXPECT_EQ(a.value(1, "NB_TYPE"), FieldValue{});
}

TEST_F(TableRowsTest, EmptyViewGivesNoRows) {
  dbf::Table table;
  make_file(table, QStringLiteral("b.db"), {{1, 1, 1, 3, "x"}});
  table.set_filter("NB_TYPE=0");
  EXPECT_EQ(read_table_rows(table, {"N"}).row_count(), 0u);
}

TEST_F(TableRowsTest, FileReportChoosesTheLayoutByKindAndInstrumentCode) {
  if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
    GTEST_SKIP() << "pdftotext is not installed";
  }
  {
    dbf::Table table;
    make_file(table, QStringLiteral("mixed.db"),
              {{1, std::nullopt, std::nullopt, 152.6, ""}, {2, 1, 1, 3.25, "Плита у опоры"}});
    dbf::Table older;
    make_file(older, QStringLiteral("older.db"), {{1, 0, 13, 2.5, ""}});
    dbf::Table only_b;
    make_file(only_b, QStringLiteral("onlyb.db"), {{5, 1, 1, 3.5, ""}});
  }
  QString error;
  const QString a_pdf = path(QStringLiteral("a.pdf"));
  ASSERT_TRUE(write_measurement_report(path(QStringLiteral("mixed.db")), a_pdf, DeviceKind::A, ",", &error))
      << error.toStdString();
  QString text = pdf_text(a_pdf);
  EXPECT_TRUE(text.contains(QStringLiteral("ВКТ-РС7"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("153")));
  EXPECT_FALSE(text.contains(QStringLiteral("Плита у опоры")));

  const QString b_pdf = path(QStringLiteral("b.pdf"));
  ASSERT_TRUE(write_measurement_report(path(QStringLiteral("mixed.db")), b_pdf, DeviceKind::B, ",", &error));
  text = pdf_text(b_pdf);
  EXPECT_TRUE(text.contains(QStringLiteral("№ 512")));
  EXPECT_TRUE(text.contains(QStringLiteral("Плита у опоры")));
  EXPECT_TRUE(text.contains(QStringLiteral("3,25")));

  const QString older_pdf = path(QStringLiteral("older.pdf"));
  ASSERT_TRUE(
      write_measurement_report(path(QStringLiteral("older.db")), older_pdf, DeviceKind::A, ",", &error));
  text = pdf_text(older_pdf);
  EXPECT_TRUE(text.contains(QStringLiteral("ЛМФ-РС7"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("пластины")));

  // Without a kind: device A when there are such rows, else device B.
  const QString any_pdf = path(QStringLiteral("any.pdf"));
  ASSERT_TRUE(write_measurement_report(path(QStringLiteral("onlyb.db")), any_pdf, std::nullopt, ",", &error));
  EXPECT_TRUE(pdf_text(any_pdf).contains(QStringLiteral("ЗРН2-РС7")));
  ASSERT_TRUE(write_measurement_report(path(QStringLiteral("mixed.db")), any_pdf, std::nullopt, ",", &error));
  EXPECT_TRUE(pdf_text(any_pdf).contains(QStringLiteral("ВКТ-РС7")));
}

TEST_F(TableRowsTest, UnreadableFileIsAnErrorAndWritesNothing) {
  QFile junk(path(QStringLiteral("junk.db")));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("this is not a table");
  junk.close();
  const QString out = path(QStringLiteral("out.pdf"));
  QString error;
  EXPECT_FALSE(write_measurement_report(path(QStringLiteral("junk.db")), out, std::nullopt, ",", &error));
  EXPECT_EQ(error, QStringLiteral("База данных повреждена !"));
  EXPECT_FALSE(write_measurement_report(path(QStringLiteral("missing.db")), out, DeviceKind::A, ",", &error));
  EXPECT_TRUE(error.contains(QStringLiteral("не найден"))) << error.toStdString();
  EXPECT_FALSE(QFile::exists(out));
}

}  // namespace
}  // namespace vkt::report
