// The main window's life with a measurement file: open, the tab of its rows, statistics, edits,
// save and close, layouts kept in the settings.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <filesystem>

#ifdef __linux__
#include <sys/mount.h>
#endif

#include "core/programstate.h"
#include "indexdumpcheck.h"
#include "store/appsettings.h"
#include "store/dbf/table.h"
#include "store/measurement/measurementdocument.h"
#include "store/measurement/measurementfile.h"
#include "store/measurement/measurementschema.h"
#include "ui/mainwindow.h"
#include "ui/measurementgrid.h"
#include "ui/measurementmodel.h"
#include "windowtest.h"

namespace vkt {
namespace {

struct Row {
  int n;
  int kind;  // NB_TYPE: 0 (left empty) or 1
  double p;
  double r;
  int dev_type = 0;
  const char* comment = "";
};

class MainWindowFileTest : public testing::WindowTest {
 protected:
  void SetUp() override { make_window(); }

  QString write_file(const QString& name, const std::vector<Row>& rows) {
    const QString path = QDir(dir_.path()).filePath(name);
    dbf::Table t;
    measurement::create_measurement_file(t, std::filesystem::path(path.toStdU16String()));
    for (const Row& row : rows) {
      t.append();
      t.set_double("N", row.n);
      t.set_text("DATE", "12.05.2011");
      t.set_text("TIME", "10:00:00");
      if (row.kind == 1) {
        t.set_integer("NB_TYPE", 1);
        t.set_integer("DEV_TYPE", row.dev_type);
      }
      t.set_double("P", row.p);
      t.set_double("R", row.r);
      t.set_text("COMMENT", row.comment);
      t.post();
    }
    t.close();
    return path;
  }

  QString comment_in_file(const QString& path, int row_index) {
    dbf::Table t;
    t.open(std::filesystem::path(path.toStdU16String()));
    t.first();
    for (int i = 0; i < row_index; ++i) {
      t.next();
    }
    return QString::fromStdString(t.read_text("COMMENT"));
  }
};

TEST_F(MainWindowFileTest, FileWithDeviceBRowsShowsOnlyTheSecondTab) {
  const QString path = write_file("mixed.db", {{1, 0, 10, 20},
                                               {2, 0, 11, 21},
                                               {3, 1, 12.34, 1.5, 15},
                                               {4, 0, 13, 23},
                                               {5, 0, 14, 24},
                                               {6, 1, 12.35, 2.5, 15},
                                               {7, 0, 15, 25}});
  window_->files().Open_DB(path);
  ASSERT_TRUE(state_.db_open);
  QTabWidget* tabs = window_->tabs();
  EXPECT_TRUE(tabs->isVisible());
  EXPECT_FALSE(tabs->isTabVisible(0));
  EXPECT_TRUE(tabs->isTabVisible(1));
  EXPECT_EQ(tabs->currentIndex(), 1);
  EXPECT_EQ(window_->tabs()->model2()->rowCount(), 2);
  EXPECT_EQ(window_->tabs()->model1()->rowCount(), 0);
  EXPECT_EQ(window_->windowTitle(), "mixed - ВКТ - РС7");
  EXPECT_TRUE(window_->has_file_look());
  for (QAction* a : window_->actions().toggled + window_->actions().exports) {
    EXPECT_TRUE(a->isEnabled());
  }
  // The device B grid shows P and R with two decimals, right-aligned.
  EXPECT_EQ(window_->tabs()->model2()->index(0, 3).data().toString().right(5),
            QStringLiteral("12") + '.' + "34");

  // Footers: the whole view (2 rows) and the row count under N.
  MeasurementGrid* grid = window_->tabs()->grid2();
  const QStringList footers = grid->footer()->texts();
  EXPECT_EQ(footers[grid->column_of("P")], "12.34/12.3/12.35");
  EXPECT_EQ(footers[grid->column_of("R")], "1.5/2/2.5");
  EXPECT_EQ(footers[grid->column_of("N")], "2");
}

TEST_F(MainWindowFileTest, DeviceAFileAfterDeviceBFileHasItsOwnStatistics) {
  const QString b = write_file("b.db", {{1, 1, 5, 6, 1}, {2, 1, 7, 8, 1}});
  const QString a = write_file("a.db", {{1, 0, 100, 50}, {2, 0, 200, 70}, {3, 0, 300, 90}});
  window_->files().Open_DB(b);
  EXPECT_EQ(state_.device_code, 1);
  window_->files().Open_DB(a);
  EXPECT_TRUE(window_->tabs()->isTabVisible(0));
  EXPECT_FALSE(window_->tabs()->isTabVisible(1));
  EXPECT_EQ(window_->tabs()->model1()->rowCount(), 3);
  const GridStatistics& s = window_->tabs()->statistics();
  EXPECT_EQ(s.p_min, 100);
  EXPECT_EQ(s.p_avg, 200);
  EXPECT_EQ(s.p_max, 300);
  EXPECT_EQ(s.r_avg, 70);
  // An empty DEV_TYPE gives 0.
  EXPECT_EQ(state_.device_code, 0);
}

// Every value shown and every footer text is whole, and every title within the header's lines,
// on the small screens of field laptops and after a stored layout of very narrow columns.
TEST_F(MainWindowFileTest, ValuesFootersAndTitlesAreWholeOnSmallScreens) {
  std::vector<Row> rows;
  for (int i = 1; i <= 30; ++i) {
    rows.push_back({i * 1000, i % 2, 12345.6 + i * 7.7, 98765.4 - i * 3.3});
  }
  const QString a = write_file("a.db", rows);
  for (auto& row : rows) {
    row.kind = 0;
  }
  const QString b = write_file("b.db", rows);
  const auto check = [this](MeasurementGrid* grid, const char* where) {
    SCOPED_TRACE(where);
    const QFontMetrics fm = grid->fontMetrics();
    const auto* model = grid->model();
    const int last_row = grid->rowAt(grid->viewport()->height() - 1);
    ASSERT_GT(model->rowCount(), 0);
    for (int c = 0; c < model->columnCount(); ++c) {
      if (grid->isColumnHidden(c)) {
        continue;
      }
      const QString title = model->headerData(c, Qt::Horizontal).toString();
      const QRect t = grid->horizontalHeader()->fontMetrics().boundingRect(
          QRect(0, 0, grid->columnWidth(c) - 16, 1000), Qt::TextWordWrap | Qt::AlignCenter, title);
      EXPECT_LE(t.width(), grid->columnWidth(c) - 16) << title.toStdString();
      EXPECT_LE(t.height(), grid->horizontalHeader()->height() - 4) << title.toStdString();
      if (c == grid->column_of("COMMENT")) {
        continue;
      }
      for (int r = 0; r <= (last_row < 0 ? model->rowCount() - 1 : last_row); ++r) {
        const QString text = model->index(r, c).data().toString();
        EXPECT_LE(fm.horizontalAdvance(text) + 4, grid->columnWidth(c)) << title.toStdString() << " " << r;
      }
    }
    const GridFooter::Placement p = grid->footer()->placement();
    const QFontMetrics ffm = grid->footer()->fontMetrics();
    for (int c = 0; c < p.rects.size(); ++c) {
      if (p.rects[c].isEmpty()) {
        continue;
      }
      const QRect need = ffm.boundingRect(p.rects[c], Qt::AlignCenter, p.lines[c]);
      EXPECT_LE(need.width(), p.rects[c].width()) << p.lines[c].toStdString();
      EXPECT_LE(need.height(), grid->footer()->height()) << p.lines[c].toStdString();
    }
  };
  for (const QSize size : {QSize(1024, 600), QSize(1366, 768)}) {
    window_->setWindowState(Qt::WindowNoState);
    window_->resize(size);
    window_->files().Open_DB(a);
    check(window_->tabs()->grid2(), "device B");
    window_->files().Open_DB(b);
    MeasurementGrid* grid = window_->tabs()->grid1();
    check(grid, "device A");
    // A layout kept on another screen, every column two pixels wide.
    QList<StoredColumn> narrow = grid->layout();
    for (StoredColumn& c : narrow) {
      c.width = 2;
    }
    grid->apply_layout(narrow);
    check(grid, "narrow stored layout");
    window_->files().Close_DB();
  }
}

TEST_F(MainWindowFileTest, StatusLineCaptionMarkAndDoubleClick) {
  const QString a = write_file("s.db", {{1, 0, 100, 50}, {2, 0, 300, 70}, {3, 0, 200, 90}});
  window_->files().Open_DB(a);
  const auto* file = window_->findChild<QLabel*>("StatusFile");
  const auto* rows = window_->findChild<QLabel*>("StatusRows");
  const auto* sort = window_->findChild<QLabel*>("StatusSort");
  ASSERT_TRUE(file && rows && sort);
  EXPECT_TRUE(file->text().endsWith("s.db")) << file->text().toStdString();
  EXPECT_EQ(rows->text(), "Строк: 3");
  EXPECT_TRUE(sort->text().isEmpty());

  // A double click opens the row's graph (without a download: its message) and edits nothing.
  MeasurementGrid* grid = window_->tabs()->grid1();
  const QModelIndex cell = grid->model()->index(0, grid->column_of("N"));
  int opened = 0;
  QObject::connect(grid, &QAbstractItemView::doubleClicked, [&] { ++opened; });
  // A double click: a click, then the second press that the system reports as a double click.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(grid->viewport()->findChild<QLineEdit*>(), nullptr);
  EXPECT_FALSE(state_.db_modified);
  EXPECT_EQ(dialogs_.shown.size(), 1);
  EXPECT_EQ(window_->windowTitle(), "s - ВКТ - РС7");

  // Typing in a cell marks the caption until the file is saved.
  grid->setCurrentIndex(cell);
  QTest::keyClicks(grid->viewport(), "7");
  EXPECT_EQ(window_->windowTitle(), "*s - ВКТ - РС7");
  testing::command(*window_, "N5")->trigger();
  EXPECT_EQ(window_->windowTitle(), "s - ВКТ - РС7");
  EXPECT_EQ(window_->statusBar()->currentMessage(), "Файл сохранён.");

  // The sorted column by its title.
  const int p = grid->column_of("P");
  QTest::mouseClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {},
                    QPoint(grid->horizontalHeader()->sectionViewportPosition(p) + 5, 5));
  EXPECT_EQ(sort->text(), "Сортировка: Модуль упругости, F1, МН/м.кв, по убыванию");
}

TEST_F(MainWindowFileTest, DelRecentFilesDroppedFileAndSaveAs) {
  const QString a = write_file("a.db", {{1, 0, 100, 50}, {2, 0, 300, 70}, {3, 0, 200, 90}});
  const QString b = write_file("b.db", {{1, 0, 10, 5}});
  const QString gone = write_file("gone.db", {{1, 0, 10, 5}});
  window_->files().Open_DB(gone);
  window_->files().Open_DB(b);

  // A .db dropped on the window is opened.
  QMimeData drag;
  drag.setUrls({QUrl::fromLocalFile(a)});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &drag, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &drag, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window_.get(), &drop);
  ASSERT_EQ(window_->windowTitle(), "a - ВКТ - РС7");

  // Del deletes the marked row after the question.
  MeasurementGrid* grid = window_->tabs()->grid1();
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  grid->setFocus();
  grid->setCurrentIndex(grid->model()->index(1, 0));
  dialogs_.button_answers.push_back(Dialogs::Button::Yes);
  QTest::keyClick(grid, Qt::Key_Delete);
  EXPECT_EQ(grid->model()->rowCount(), 2);

  // The files opened last, the latest first, without those gone since.
  QFile::remove(gone);
  QMenu* recent = window_->actions().recent;
  window_->files().fill_recent(recent);
  ASSERT_EQ(recent->actions().size(), 2);
  EXPECT_TRUE(recent->actions()[0]->text().endsWith("a.db"));
  EXPECT_TRUE(recent->actions()[1]->text().endsWith("b.db"));

  // "Сохранить как…" goes on with a copy; the old file keeps its rows.
  const QString copy = path("copy.db");
  dialogs_.file_answers.push_back(copy);
  testing::command(*window_, "SaveAs1")->trigger();
  EXPECT_EQ(window_->windowTitle(), "copy - ВКТ - РС7");
  EXPECT_EQ(window_->tabs()->model1()->rowCount(), 2);
  window_->files().Close_DB();
  dbf::Table t;
  t.open(std::filesystem::path(copy.toStdU16String()));
  EXPECT_EQ(t.record_count(), 2u);
}

TEST_F(MainWindowFileTest, EmptyFileShowsTheFirstTabWithNoRows) {
  window_->files().Open_DB(write_file("empty.db", {}));
  EXPECT_TRUE(window_->tabs()->isTabVisible(0));
  EXPECT_EQ(window_->tabs()->model1()->rowCount(), 0);
  MeasurementGrid* grid = window_->tabs()->grid1();
  EXPECT_EQ(grid->footer()->texts()[grid->column_of("P")], "0/0/0");
  EXPECT_EQ(grid->footer()->texts()[grid->column_of("N")], "0");
}

TEST_F(MainWindowFileTest, DamagedOrMissingFileIsReportedAndNothingStaysOpen) {
  const QString good = write_file("good.db", {{1, 0, 1, 2}});
  window_->files().Open_DB(good);
  QFile bad(QDir(dir_.path()).filePath("bad.db"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("this is not a table");
  bad.close();
  window_->files().Open_DB(bad.fileName());
  ASSERT_EQ(dialogs_.shown.size(), 1);
  EXPECT_EQ(dialogs_.shown[0].caption, "Ошибка");
  EXPECT_EQ(dialogs_.shown[0].text, "База данных повреждена !");
  EXPECT_EQ(dialogs_.shown[0].icon, Dialogs::Icon::Error);
  EXPECT_FALSE(state_.db_open);
  EXPECT_FALSE(window_->tabs()->isVisible());
  EXPECT_EQ(window_->windowTitle(), "ВКТ - РС7");

  window_->files().Open_DB(QDir(dir_.path()).filePath("missing.db"));
  EXPECT_EQ(dialogs_.messages().size(), 2);
  EXPECT_FALSE(state_.db_open);
}

TEST_F(MainWindowFileTest, UnreadableFirstRowOrAbsurdCountLeavesNoFileOpen) {
  const QString good = write_file("good.db", {{1, 0, 1, 2}, {2, 0, 3, 4}});
  const QString bad = write_file("bad.db", {{1, 0, 1, 2}, {2, 0, 3, 4}});
  {
    // DEV_TYPE of record 1: after the flag, N (18), DATE (10) and TIME (8).
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(measurement::kHeaderLength + 37);
    f.write("abcd");
  }
  const QString huge = write_file("huge.db", {});
  {
    // A header claiming 1,977,423 rows over a sparse file of that size.
    const std::uint32_t rows = 1977423;
    std::filesystem::resize_file(
        std::filesystem::path(huge.toStdU16String()),
        measurement::kHeaderLength + std::uint64_t{rows} * measurement::kRecordLength);
    QFile f(huge);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(4);
    f.write(reinterpret_cast<const char*>(&rows), 4);
  }
  for (const QString& file : {bad, huge}) {
    SCOPED_TRACE(file.toStdString());
    window_->files().Open_DB(good);
    dialogs_.shown.clear();
    window_->files().Open_DB(file);
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].text, "База данных повреждена !");
    EXPECT_FALSE(state_.db_open);
    EXPECT_FALSE(window_->document().is_open());
    EXPECT_FALSE(window_->tabs()->isVisible());
    EXPECT_EQ(window_->windowTitle(), "ВКТ - РС7");
    // Nothing holds the file any more.
    dbf::Table other;
    EXPECT_NO_THROW(other.open(std::filesystem::path(file.toStdU16String())));
  }
}

#ifdef __linux__
TEST_F(MainWindowFileTest, FileOnAReadOnlyMediumIsShownAndChangesAreRefused) {
  QTemporaryDir medium;
  if (::mount("tmpfs", medium.path().toLocal8Bit().constData(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "tmpfs cannot be mounted here: " << std::strerror(errno);
  }
  struct Unmount {
    QString dir;
    ~Unmount() { ::umount2(dir.toLocal8Bit().constData(), MNT_DETACH); }
  } unmount{medium.path()};
  const QString file = QDir(medium.path()).filePath("m.db");
  QFile::copy(write_file("m.db", {{1, 0, 1, 2}, {2, 0, 3, 4}}), file);
  ::mount(nullptr, medium.path().toLocal8Bit().constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
  const QByteArray before = [&] {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();

  window_->files().Open_DB(file);
  EXPECT_TRUE(dialogs_.shown.isEmpty()) << dialogs_.messages().join('\n').toStdString();
  EXPECT_TRUE(state_.db_open);
  EXPECT_EQ(window_->tabs()->model1()->rowCount(), 2);
  EXPECT_TRUE(window_->document().read_only());
  window_->tabs()->model1()->setData(window_->tabs()->model1()->index(0, 21), QStringLiteral("нельзя"));
  EXPECT_THROW(window_->tabs()->model1()->post_pending(), dbf::DbfError);
  window_->tabs()->model1()->drop_pending();
  window_->files().Save_DB();
  EXPECT_TRUE(window_->document().is_open());
  EXPECT_TRUE(window_->document().read_only());
  window_->files().Close_DB();
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before);
}
#endif

TEST_F(MainWindowFileTest, EditedCommentIsSavedOnYesAndDroppedOnNo) {
  const QString path = write_file("edit.db", {{1, 0, 1, 2}, {2, 0, 3, 4}});
  window_->files().Open_DB(path);
  MeasurementModel* model = window_->tabs()->model1();
  const int comment = window_->tabs()->grid1()->column_of("COMMENT");
  emit window_->tabs()->grid1()->edit_started();
  ASSERT_TRUE(model->setData(model->index(0, comment), "у колодца №3"));
  EXPECT_TRUE(state_.db_modified);
  dialogs_.button_answers.push_back(Dialogs::Button::Yes);
  window_->files().Close_DB();
  ASSERT_EQ(dialogs_.shown.size(), 1);
  EXPECT_EQ(dialogs_.shown[0].text, "Сохранить изменения в таблицах ?");
  EXPECT_EQ(dialogs_.shown[0].caption, "ВКТ - РС7");
  EXPECT_EQ(dialogs_.shown[0].buttons, QList<Dialogs::Button>({Dialogs::Button::Yes, Dialogs::Button::No}));
  EXPECT_EQ(comment_in_file(path, 0), "у колодца №3");

  window_->files().Open_DB(path);
  emit window_->tabs()->grid1()->edit_started();
  ASSERT_TRUE(model->setData(model->index(1, comment), "не сохранять"));
  dialogs_.button_answers.push_back(Dialogs::Button::No);
  window_->files().Close_DB();
  EXPECT_EQ(comment_in_file(path, 1), "");
  EXPECT_FALSE(state_.db_open);
}

TEST_F(MainWindowFileTest, RefusedInputKeepsTheOldValue) {
  const QString path = write_file("refuse.db", {{1, 0, 1, 2}});
  window_->files().Open_DB(path);
  MeasurementModel* model = window_->tabs()->model1();
  const int p = window_->tabs()->grid1()->column_of("P");
  EXPECT_FALSE(model->setData(model->index(0, p), "abc"));
  EXPECT_FALSE(model->setData(model->index(0, p), "123456789"));  // nine integer digits: too wide
  EXPECT_EQ(dialogs_.messages().size(), 2);
  EXPECT_EQ(model->index(0, p).data().toString(), "1");
  EXPECT_TRUE(model->setData(model->index(0, p), "152,6"));
  window_->files().Save_DB();
  EXPECT_EQ(model->number(0, "P"), 152.6);
  EXPECT_EQ(model->index(0, p).data().toString(), "153");
}

TEST_F(MainWindowFileTest, CloseDeletesTheIndexFileAndRestoresTheNoFileLook) {
  const QString path = write_file("close.db", {{1, 0, 1, 2}});
  window_->files().Open_DB(path);
  const QString mdx = QDir(dir_.path()).filePath("close.mdx");
  QFile stale(mdx);
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.close();
  testing::command(*window_, "N7")->trigger();
  EXPECT_TRUE(dialogs_.shown.isEmpty());  // nothing was edited: no question
  EXPECT_FALSE(QFile::exists(mdx));
  EXPECT_FALSE(window_->has_file_look());
  EXPECT_FALSE(window_->tabs()->isVisible());
  EXPECT_EQ(window_->windowTitle(), "ВКТ - РС7");
  for (QAction* a : window_->actions().toggled + window_->actions().exports) {
    EXPECT_FALSE(a->isEnabled());
  }
}

TEST_F(MainWindowFileTest, ColoursSurviveOnTheDeviceATabOnly) {
  const QString a = write_file("a.db", {{1, 0, 1, 2}});
  const QString b = write_file("b.db", {{1, 1, 1, 2, 1}});
  window_->files().Open_DB(a);
  MeasurementGrid* g1 = window_->tabs()->grid1();
  g1->setCurrentIndex(window_->tabs()->model1()->index(0, g1->column_of("P")));
  dialogs_.color_answers.push_back(QColor(250, 200, 0));
  testing::command(*window_, "N17")->trigger();
  EXPECT_EQ(g1->column_color(g1->column_of("P")), QColor(250, 200, 0));
  window_->files().Close_DB();
  g1->clear_colors();
  window_->files().Open_DB(a);
  EXPECT_EQ(g1->column_color(g1->column_of("P")), QColor(250, 200, 0));
  window_->files().Close_DB();

  window_->files().Open_DB(b);
  MeasurementGrid* g2 = window_->tabs()->grid2();
  g2->setCurrentIndex(window_->tabs()->model2()->index(0, g2->column_of("R")));
  dialogs_.color_answers.push_back(QColor(0, 0, 255));
  testing::command(*window_, "N17")->trigger();
  EXPECT_TRUE(g2->column_color(g2->column_of("R")).has_value());
  window_->files().Close_DB();
  g2->clear_colors();
  window_->files().Open_DB(b);
  EXPECT_FALSE(g2->column_color(g2->column_of("R")).has_value());
}

TEST_F(MainWindowFileTest, OpenCommandUsesTheDialogAndFollowsTheWorkingDirectory) {
  const QString path = write_file("dialog.db", {{1, 0, 1, 2}});
  dialogs_.file_answers.push_back(path);
  testing::command(*window_, "N3")->trigger();
  ASSERT_FALSE(dialogs_.shown.isEmpty());
  EXPECT_EQ(dialogs_.shown[0].kind, "open");
  EXPECT_EQ(dialogs_.shown[0].file.filter, "Базы данных|*.db");
  EXPECT_EQ(dialogs_.shown[0].file.default_suffix, "db");
  EXPECT_TRUE(state_.db_open);
  EXPECT_EQ(QString::fromStdString(state_.work_dir), QFileInfo(path).absolutePath());
  // Cancelling the dialog leaves the open file open.
  testing::command(*window_, "N3")->trigger();
  EXPECT_TRUE(state_.db_open);
}

}  // namespace
}  // namespace vkt

namespace vkt {
namespace {

TEST_F(MainWindowFileTest, PreviewShowsTheRowsOfTheVisibleTab) {
  window_->files().Open_DB(write_file("preview.db", {{1, 1, 12.5, 3.25, 1}, {2, 1, 7, 8, 1}}));
  QString shown;
  QTimer::singleShot(0, [&shown] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      shown = modal->objectName();
      modal->close();
    }
  });
  testing::command(*window_, "N8")->trigger();
  EXPECT_EQ(shown, "ReportPreview");
  // Without a file the command does nothing.
  window_->files().Close_DB();
  shown.clear();
  testing::command(*window_, "N8")->trigger();
  EXPECT_TRUE(shown.isEmpty());
}

}  // namespace
}  // namespace vkt

#include <QAbstractItemModelTester>

namespace vkt {
namespace {

TEST_F(MainWindowFileTest, ModelsPassTheItemModelChecksThroughTheFileLife) {
  QAbstractItemModelTester tester1(window_->tabs()->model1(),
                                   QAbstractItemModelTester::FailureReportingMode::Fatal);
  QAbstractItemModelTester tester2(window_->tabs()->model2(),
                                   QAbstractItemModelTester::FailureReportingMode::Fatal);
  const QString a = write_file("a.db", {{1, 0, 1, 2}, {2, 0, 3, 4}, {3, 0, 5, 6}});
  const QString b = write_file("b.db", {{1, 1, 1, 2, 1}, {2, 1, 3, 4, 1}});
  window_->files().Open_DB(a);
  emit window_->tabs()->grid1()->title_clicked(window_->tabs()->grid1()->column_of("P"), false);
  testing::expect_index_dump_agrees(QDir(dir_.path()).filePath("a.mdx").toStdString());
  window_->files().Open_DB(b);
  window_->files().Close_DB();
  EXPECT_EQ(window_->tabs()->model1()->rowCount(), 0);
  EXPECT_EQ(window_->tabs()->model2()->rowCount(), 0);
}

TEST_F(MainWindowFileTest, DeleteAndRenumberWorkOnTheDeviceBTabOnly) {
  // Device A rows 1..3 and device B rows numbered 5, 9, 12.
  const QString path = write_file(
      "mixed.db",
      {{1, 0, 1, 2}, {5, 1, 10, 1, 1}, {2, 0, 3, 4}, {9, 1, 11, 2, 1}, {3, 0, 5, 6}, {12, 1, 12, 3, 1}});
  window_->files().Open_DB(path);
  MeasurementModel* model = window_->tabs()->model2();
  MeasurementGrid* grid = window_->tabs()->grid2();
  ASSERT_EQ(model->rowCount(), 3);
  testing::command(*window_, "N37")->trigger();
  std::vector<double> n;
  for (int r = 0; r < model->rowCount(); ++r) {
    n.push_back(model->number(r, "N").value_or(0));
  }
  EXPECT_EQ(n, std::vector<double>({1, 2, 3}));

  grid->setCurrentIndex(model->index(1, 0));  // no row marked: the current row goes
  dialogs_.button_answers.push_back(Dialogs::Button::Yes);
  testing::command(*window_, "N21")->trigger();
  ASSERT_EQ(model->rowCount(), 2);
  EXPECT_EQ(model->number(0, "N"), 1);
  EXPECT_EQ(model->number(1, "N"), 3);  // the rows after it keep their numbers
  EXPECT_FALSE(state_.db_modified);
  window_->files().Close_DB();

  // The device A rows were not touched.
  dbf::Table t;
  t.open(std::filesystem::path(path.toStdU16String()));
  t.set_filter("NB_TYPE=0");
  EXPECT_EQ(t.count(), 3u);
  t.set_filter("NB_TYPE=1");
  EXPECT_EQ(t.count(), 2u);
}

TEST_F(MainWindowFileTest, ColumnWidthsSurviveCloseAndReopen) {
  const QString a = write_file("w.db", {{1, 0, 1, 2}});
  window_->files().Open_DB(a);
  MeasurementGrid* grid = window_->tabs()->grid1();
  const int p = grid->column_of("P");
  const int before = grid->columnWidth(p);
  grid->horizontalHeader()->resizeSection(p, before + 60);
  const int widened = grid->columnWidth(p);
  EXPECT_GT(widened, before);
  window_->files().Close_DB();
  window_->files().Open_DB(a);
  EXPECT_NEAR(grid->columnWidth(p), widened, 2);

  // "Выровнять столбцы" gives every shown column the same width again.
  testing::command(*window_, "N23")->trigger();
  EXPECT_NEAR(grid->columnWidth(p), grid->columnWidth(grid->column_of("R")), 1);
}

}  // namespace
}  // namespace vkt
