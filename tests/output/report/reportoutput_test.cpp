#include "output/report/reportoutput.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPageRanges>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "output/report/reportlayouts.h"

namespace vkt::report {
namespace {

class ReportOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString path(const QString& name) const { return dir_.filePath(name); }

  // The text of a PDF as pdftotext reads it; pages are separated by form feeds.
  static QString pdf_text(const QString& file) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
      ADD_FAILURE() << "pdftotext failed on " << file.toStdString() << ": "
                    << p.readAllStandardError().toStdString();
      return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
  }

  static QString pdf_info(const QString& file) {
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {file});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
  }

  static int pdf_pages(const QString& text) { return static_cast<int>(text.count(QLatin1Char('\f'))); }

  static bool have_pdftotext() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
  }

  QTemporaryDir dir_;
};

MemoryDataset device_a_rows(int count) {
  MemoryDataset data;
  for (int i = 1; i <= count; ++i) {
    const auto r = data.add_row();
    data.set(r, "N", static_cast<double>(i));
    data.set(r, "DATE", std::string("12.04.2022"));
    data.set(r, "TIME", std::string("09:41:05"));
    data.set(r, "P5", std::string("Зависимость 1"));
    data.set(r, "D2", std::string("Щебень"));
    data.set(r, "D9", 151.0);
    data.set(r, "P", 152.6);
    data.set(r, "R", 149.2);
    data.set(r, "T", 152.6);
    data.set(r, "P10", 412.0);
    data.set(r, "D3", 6850.0);
  }
  return data;
}

MemoryDataset device_b_rows(int count) {
  MemoryDataset data;
  for (int i = 1; i <= count; ++i) {
    const auto r = data.add_row();
    data.set(r, "N", static_cast<double>(i));
    data.set(r, "DATE", std::string("05.03.2021"));
    data.set(r, "TIME", std::string("10:15:00"));
    data.set(r, "SERIAL", 4711.0);
    data.set(r, "P", 3.5);
    data.set(r, "R", 12.5);
    data.set(r, "ZAV", std::string("базовая"));
    data.set(r, "COMMENT", std::string("у опоры ") + std::to_string(i));
  }
  return data;
}

TEST_F(ReportOutputTest, DeviceAPdfReadsBackWithHeadersAndValues) {
  const MemoryDataset data = device_a_rows(20);  // 14 + 6 rows
  const ReportDocument doc(report1(), data, {"."});
  const QString file = path(QStringLiteral("a.pdf"));
  QString error;
  ASSERT_TRUE(write_pdf(doc, file, &error)) << error.toStdString();
  if (!have_pdftotext()) {
    GTEST_SKIP() << "pdftotext is not installed";
  }

  const QString text = pdf_text(file);
  EXPECT_EQ(pdf_pages(text), 2);
  for (const char* expected : {"ВКТ-РС7", "Дата", "Время", "Зависимость", "Материал", "Упругость",
                               "Перемещен", "Сила", "удара", "Fmax.ср,", "12.04.2022", "09:41:05", "Щебень",
                               "153", "152.6", "6850", "Стр. 1 из 2", "Стр. 2 из 2"}) {
    EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
  }
  const QString meta = pdf_info(file);
  EXPECT_TRUE(meta.contains(QRegularExpression(QStringLiteral("Page size:\\s+841.89 x 595.28 pts \\(A4\\)"))))
      << meta.toStdString();
  // The title only on the first page.
  const QString second = text.section(QLatin1Char('\f'), 1, 1);
  EXPECT_FALSE(second.contains(QStringLiteral("ВКТ-РС7")));
  EXPECT_TRUE(second.contains(QStringLiteral("Материал")));
}

TEST_F(ReportOutputTest, DeviceBPdfIsOnePortraitA4Page) {
  if (!have_pdftotext()) {
    GTEST_SKIP() << "pdftotext is not installed";
  }
  const MemoryDataset data = device_b_rows(3);
  const ReportDocument doc(report2(), data, {"."});
  const QString file = path(QStringLiteral("b.pdf"));
  ASSERT_TRUE(write_pdf(doc, file));
  const QString text = pdf_text(file);
  EXPECT_EQ(pdf_pages(text), 1);
  for (const char* expected : {"ЗРН2-РС7", "№ 4711", "P, кН", "R, МПа", "зависимости", "Примечание", "12,50",
                               "3,50", "базовая", "у опоры 3", "Стр. 1 из 1"}) {
    EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
  }
  const QString meta = pdf_info(file);
  EXPECT_TRUE(meta.contains(QRegularExpression(QStringLiteral("Page size:\\s+595.28 x 841.89 pts \\(A4\\)"))))
      << meta.toStdString();
}

TEST_F(ReportOutputTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  const MemoryDataset data = device_b_rows(1);
  const ReportDocument doc(report2(), data);

  // A file that already exists is replaced only by a complete new one.
  const QString file = path(QStringLiteral("old.pdf"));
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("previous report");
  }
  ASSERT_TRUE(write_pdf(doc, file));
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll().startsWith("%PDF-"));

  // A directory that does not exist: an error, and nothing written anywhere.
  QString error;
  EXPECT_FALSE(write_pdf(doc, path(QStringLiteral("missing/r.pdf")), &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("old.pdf")});
}

TEST(PrintOrder, RangesCopiesAndCollation) {
  EXPECT_EQ(print_order(3, {}, 1, true), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(print_order(3, {}, 2, true), (std::vector<int>{1, 2, 3, 1, 2, 3}));
  EXPECT_EQ(print_order(3, {}, 2, false), (std::vector<int>{1, 1, 2, 2, 3, 3}));
  EXPECT_EQ(print_order(5, {{2, 3}, {5, 5}}, 1, true), (std::vector<int>{2, 3, 5}));
  EXPECT_EQ(print_order(5, {{4, 9}}, 1, true), (std::vector<int>{4, 5}));
  EXPECT_TRUE(print_order(5, {{7, 9}}, 1, true).empty());
  EXPECT_EQ(print_order(2, {}, 0, true), (std::vector<int>{1, 2}));
}

TEST_F(ReportOutputTest, PrinterGetsTheChosenPagesAndCopies) {
  if (!have_pdftotext()) {
    GTEST_SKIP() << "pdftotext is not installed";
  }
  const MemoryDataset data = device_b_rows(50);  // three pages
  const ReportDocument doc(report2(), data);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const QString file = path(QStringLiteral("printed.pdf"));
  printer.setOutputFileName(file);
  set_up_printer(printer, doc.layout());
  printer.setPrintRange(QPrinter::PageRange);
  printer.setPageRanges(QPageRanges::fromString(QStringLiteral("2-3")));
  printer.setCopyCount(2);
  printer.setCollateCopies(false);
  ASSERT_TRUE(print_document(printer, doc));

  const QString text = pdf_text(file);
  const int copies_made_here = printer.supportsMultipleCopies() ? 1 : 2;
  ASSERT_EQ(pdf_pages(text), 2 * copies_made_here);
  EXPECT_TRUE(text.section(QLatin1Char('\f'), 0, 0).contains(QStringLiteral("Стр. 2 из 3")));
  EXPECT_TRUE(text.section(QLatin1Char('\f'), -2, -2).contains(QStringLiteral("Стр. 3 из 3")));
  EXPECT_FALSE(text.contains(QStringLiteral("Стр. 1 из 3")));
}

}  // namespace
}  // namespace vkt::report
