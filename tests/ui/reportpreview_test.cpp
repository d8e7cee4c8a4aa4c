#include "ui/reportpreview.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "core/programstate.h"
#include "scripteddialogs.h"

namespace vkt {
namespace {

report::MemoryDataset rows_of_kind(int kind, int count) {
  report::MemoryDataset data;
  for (int i = 1; i <= count; ++i) {
    const auto r = data.add_row();
    data.set(r, "N", static_cast<double>(i));
    data.set(r, "DATE", std::string("01.06.2023"));
    data.set(r, "TIME", std::string("12:00:00"));
    data.set(r, "NB_TYPE", static_cast<double>(kind));
    data.set(r, "SERIAL", 2001.0);
    data.set(r, "P", 152.6);
    data.set(r, "R", 12.5);
  }
  return data;
}

QString pdf_text(const QString& file) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
  p.waitForFinished(60000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

bool have_pdftotext() {
  return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

class ReportCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    state_.db_open = true;
    state_.device_code = 1;
  }

  ReportServices services() {
    ReportServices s;
    s.state = &state_;
    s.table_open = [this] { return table_open_; };
    s.visible_tab = [this] { return tab_; };
    s.rows = [this](const std::vector<std::string>& fields) -> std::unique_ptr<report::ReportDataset> {
      ++rows_asked_;
      asked_fields_ = fields;
      return std::make_unique<report::MemoryDataset>(tab_ == 1 ? device_b_ : device_a_);
    };
    s.printing.dialogs = &dialogs_;
    s.printing.printer_installed = [this] { return printer_installed_; };
    s.printing.make_printer = [this] {
      auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
      printer->setOutputFormat(QPrinter::PdfFormat);
      printer->setOutputFileName(printed_file());
      return printer;
    };
    s.printing.pdf_directory = [this] { return dir_.path(); };
    s.show_preview = [this](ReportPreview& preview) {
      previewed_layout_ = QString::fromStdString(preview.document().layout().name);
      previewed_pages_ = preview.document().page_count();
    };
    return s;
  }

  QString printed_file() const { return dir_.filePath(QStringLiteral("printed.pdf")); }

  QTemporaryDir dir_;
  ProgramState state_;
  testing::ScriptedDialogs dialogs_;
  report::MemoryDataset device_a_ = rows_of_kind(0, 20);
  report::MemoryDataset device_b_ = rows_of_kind(1, 3);
  bool table_open_ = true;
  int tab_ = 0;
  bool printer_installed_ = true;
  int rows_asked_ = 0;
  std::vector<std::string> asked_fields_;
  QString previewed_layout_;
  int previewed_pages_ = 0;
};

TEST_F(ReportCommandsTest, NothingWithoutAnOpenFileOrTable) {
  ReportCommands commands(services());
  state_.db_open = false;
  commands.N8Click();
  commands.N9Click();
  state_.db_open = true;
  table_open_ = false;
  commands.N8Click();
  commands.N9Click();
  EXPECT_EQ(rows_asked_, 0);
  EXPECT_TRUE(previewed_layout_.isEmpty());
  EXPECT_TRUE(dialogs_.shown.isEmpty());
  EXPECT_FALSE(QFile::exists(printed_file()));
}

TEST_F(ReportCommandsTest, PreviewChoosesTheLayoutOfTheVisibleTab) {
  ReportCommands commands(services());
  struct Case {
    int tab;
    std::uint8_t code;
    const char* layout;
    int pages;
  } cases[] = {{0, 0, "Report1", 2}, {0, 1, "Report1", 2}, {0, 13, "Report3", 2}, {1, 13, "Report2", 1}};
  for (const auto& c : cases) {
    tab_ = c.tab;
    state_.device_code = c.code;
    previewed_layout_.clear();
    commands.N8Click();
    EXPECT_EQ(previewed_layout_.toStdString(), c.layout) << c.tab << " " << int(c.code);
    EXPECT_EQ(previewed_pages_, c.pages) << c.layout;
  }
  // The rows are asked for with the fields of the chosen layout.
  EXPECT_NE(std::find(asked_fields_.begin(), asked_fields_.end(), "COMMENT"), asked_fields_.end());
  EXPECT_EQ(std::find(asked_fields_.begin(), asked_fields_.end(), "D9"), asked_fields_.end());
  EXPECT_TRUE(dialogs_.shown.isEmpty());
}

TEST_F(ReportCommandsTest, PrintWithoutAPrinterPrintsNothingAndSaysSo) {
  printer_installed_ = false;
  ReportCommands commands(services());
  QStringList told;
  QObject::connect(&commands, &ReportCommands::told, [&told](const QString& text) { told << text; });
  commands.N9Click();
  EXPECT_TRUE(dialogs_.shown.isEmpty());
  EXPECT_FALSE(QFile::exists(printed_file()));
  ASSERT_EQ(told.size(), 1);
  EXPECT_TRUE(told.front().startsWith(QStringLiteral("Принтер не установлен")));
}

TEST_F(ReportCommandsTest, CancelledPrintDialogPrintsNothing) {
  ReportCommands commands(services());
  dialogs_.print_answers = {false};
  commands.N9Click();
  ASSERT_EQ(dialogs_.shown.size(), 1);
  EXPECT_EQ(dialogs_.shown.front().kind, QStringLiteral("print"));
  EXPECT_FALSE(QFile::exists(printed_file()));
}

TEST_F(ReportCommandsTest, ConfirmedPrintDialogPrintsEveryPage) {
  if (!have_pdftotext()) {
    GTEST_SKIP() << "pdftotext is not installed";
  }
  tab_ = 1;
  ReportCommands commands(services());
  dialogs_.print_answers = {true};
  commands.N9Click();
  ASSERT_TRUE(QFile::exists(printed_file()));
  const QString text = pdf_text(printed_file());
  EXPECT_TRUE(text.contains(QStringLiteral("ЗРН2-РС7"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("12,50")));
  EXPECT_TRUE(text.contains(QStringLiteral("Стр. 1 из 1")));
  EXPECT_EQ(text.count(QLatin1Char('\f')), 1);
  EXPECT_TRUE(dialogs_.messages().isEmpty());
}

class ReportPreviewTest : public ReportCommandsTest {};

TEST_F(ReportPreviewTest, ShowsEveryPageAndZooms) {
  const report::MemoryDataset rows = rows_of_kind(1, 50);
  const report::ReportDocument doc(report::report2(), rows);
  ReportPrinting printing = services().printing;
  ReportPreview preview(doc, printing);
  preview.show();
  QApplication::processEvents();
  EXPECT_EQ(preview.objectName(), QStringLiteral("ReportPreview"));
  EXPECT_EQ(preview.preview()->pageCount(), 3);
  EXPECT_EQ(preview.preview()->orientation(), QPageLayout::Portrait);
  auto* label = preview.findChild<QLabel*>(QStringLiteral("PreviewPageNumber"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), QStringLiteral("Стр. 1 из 3"));
  preview.action(QStringLiteral("PreviewNextPage"))->trigger();
  EXPECT_EQ(preview.preview()->currentPage(), 2);
  EXPECT_EQ(label->text(), QStringLiteral("Стр. 2 из 3"));

  const qreal before = preview.preview()->zoomFactor();
  preview.action(QStringLiteral("PreviewZoomIn"))->trigger();
  EXPECT_GT(preview.preview()->zoomFactor(), before);
  preview.action(QStringLiteral("PreviewZoomOut"))->trigger();
  preview.action(QStringLiteral("PreviewZoomOut"))->trigger();
  EXPECT_LT(preview.preview()->zoomFactor(), before);
  preview.action(QStringLiteral("PreviewClose"))->trigger();
  EXPECT_FALSE(preview.isVisible());
}

TEST_F(ReportPreviewTest, LandscapeLayoutPreviewsLandscape) {
  const report::ReportDocument doc(report::report1(), device_a_);
  ReportPreview preview(doc, services().printing);
  EXPECT_EQ(preview.preview()->orientation(), QPageLayout::Landscape);
}

TEST_F(ReportPreviewTest, SavesThePagesAsPdfEvenWithoutAPrinter) {
  printer_installed_ = false;
  const report::ReportDocument doc(report::report2(), device_b_);
  ReportPreview preview(doc, services().printing);
  EXPECT_FALSE(preview.action(QStringLiteral("PreviewPrint"))->isEnabled());

  const QString file = dir_.filePath(QStringLiteral("saved.pdf"));
  dialogs_.file_answers = {file};
  preview.action(QStringLiteral("PreviewSavePdf"))->trigger();
  ASSERT_EQ(dialogs_.shown.size(), 1);
  EXPECT_EQ(dialogs_.shown.front().kind, QStringLiteral("save"));
  EXPECT_EQ(dialogs_.shown.front().file.default_suffix, QStringLiteral("pdf"));
  EXPECT_EQ(dialogs_.shown.front().file.directory, dir_.path());
  EXPECT_TRUE(dialogs_.shown.front().file.confirm_overwrite);
  ASSERT_TRUE(QFile::exists(file));
  if (have_pdftotext()) {
    EXPECT_TRUE(pdf_text(file).contains(QStringLiteral("Стр. 1 из 1")));
  }

  // Cancelled: nothing written. An unwritable place: the reason in an error box.
  dialogs_.shown.clear();
  preview.action(QStringLiteral("PreviewSavePdf"))->trigger();
  EXPECT_EQ(dialogs_.shown.size(), 1);
  dialogs_.file_answers = {dir_.filePath(QStringLiteral("no/such/dir/r.pdf"))};
  preview.action(QStringLiteral("PreviewSavePdf"))->trigger();
  ASSERT_EQ(dialogs_.messages().size(), 1);
  EXPECT_EQ(dialogs_.shown.last().caption, QStringLiteral("Ошибка"));
  EXPECT_TRUE(dialogs_.messages().front().contains(QStringLiteral("r.pdf")));

  // The measurement file itself, under another spelling: refused, the file untouched.
  const QString source = dir_.filePath(QStringLiteral("m.db"));
  {
    QFile f(source);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("rows");
  }
  ReportPrinting printing = services().printing;
  printing.source_file = [&] { return source; };
  ReportPreview from_file(doc, printing);
  dialogs_.shown.clear();
  dialogs_.file_answers = {dir_.path() + QStringLiteral("/./m.db")};
  from_file.action(QStringLiteral("PreviewSavePdf"))->trigger();
  ASSERT_EQ(dialogs_.messages().size(), 1);
  EXPECT_TRUE(dialogs_.messages().front().contains(QStringLiteral("это сам файл измерений")));
  QFile f(source);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("rows"));
}

TEST_F(ReportPreviewTest, PrintFromThePreviewGoesThroughThePrintDialog) {
  const report::ReportDocument doc(report::report2(), device_b_);
  ReportPreview preview(doc, services().printing);
  ASSERT_TRUE(preview.action(QStringLiteral("PreviewPrint"))->isEnabled());
  dialogs_.print_answers = {true};
  preview.action(QStringLiteral("PreviewPrint"))->trigger();
  ASSERT_EQ(dialogs_.shown.size(), 1);
  EXPECT_EQ(dialogs_.shown.front().kind, QStringLiteral("print"));
  EXPECT_TRUE(QFile::exists(printed_file()));
}

}  // namespace
}  // namespace vkt
