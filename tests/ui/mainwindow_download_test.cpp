// The whole road through the window: "Создать" against the instrument simulator on a
// pseudo-terminal, edits, save, close, open again, sorting, deleting, "Дополнить".
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QPrintPreviewWidget>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "core/programstate.h"
#include "indexdumpcheck.h"
#include "sim/simulator.h"
#include "store/appsettings.h"
#include "store/measurement/measurementdocument.h"
#include "ui/downloaddialog.h"
#include "ui/mainwindow.h"
#include "ui/measurementgrid.h"
#include "ui/measurementmodel.h"
#include "windowtest.h"

namespace vkt {
namespace {

class MainWindowDownloadTest : public testing::WindowTest {
 protected:
  static constexpr std::size_t kRecords = 6;

  void SetUp() override {
    sim::SimulatorOptions options;
    options.instrument.records = kRecords;
    options.instrument.seed = 7;
    simulator_ = std::make_unique<sim::Simulator>(options);
    make_window({QString::fromStdString(simulator_->start())});
    window_->download_window()->set_polling_delay(5);
  }

  std::vector<double> column(MeasurementModel* model, const char* field) {
    std::vector<double> out;
    for (int row = 0; row < model->rowCount(); ++row) {
      out.push_back(model->number(row, field).value_or(-1));
    }
    return out;
  }

  // The window lets go of the simulator's terminal before the simulator goes.
  void TearDown() override { window_.reset(); }

  std::unique_ptr<sim::Simulator> simulator_;
};

TEST_F(MainWindowDownloadTest, CreateEditSaveCloseAndOpenAgain) {
  const QString file = path("field.db");
  dialogs_.file_answers.push_back(file);
  testing::command(*window_, "N2")->trigger();
  ASSERT_TRUE(state_.db_open) << dialogs_.messages().join("; ").toStdString();
  EXPECT_EQ(dialogs_.shown[0].kind, "save");
  EXPECT_EQ(dialogs_.shown[0].file.filter, "Файлы данных|*.db");
  EXPECT_TRUE(dialogs_.shown[0].file.confirm_overwrite);

  MeasurementModel* model = window_->tabs()->model1();
  ASSERT_EQ(model->rowCount(), int(kRecords));
  EXPECT_EQ(column(model, "N"), std::vector<double>({1, 2, 3, 4, 5, 6}));
  const auto& records = simulator_->instrument().records();
  for (std::size_t k = 0; k < kRecords; ++k) {
    EXPECT_EQ(model->number(int(k), "P"), records[k].modulus[1]);
    EXPECT_EQ(model->number(int(k), "D4"), records[k].force[1]);
  }
  // After "Создать" the caption stays the program's title.
  EXPECT_EQ(window_->windowTitle(), "ВКТ - РС7");
  EXPECT_EQ(state_.rec_count, kRecords);
  MeasurementGrid* grid = window_->tabs()->grid1();
  EXPECT_EQ(grid->footer()->texts()[grid->column_of("N")], QString::number(kRecords));

  const int comment = grid->column_of("COMMENT");
  emit grid->edit_started();
  ASSERT_TRUE(model->setData(model->index(2, comment), "штамп Ø300"));
  testing::command(*window_, "N5")->trigger();
  EXPECT_FALSE(state_.db_modified);
  testing::command(*window_, "N7")->trigger();
  EXPECT_FALSE(state_.db_open);

  dialogs_.file_answers.push_back(file);
  testing::command(*window_, "N3")->trigger();
  ASSERT_TRUE(state_.db_open);
  EXPECT_EQ(window_->windowTitle(), "field - ВКТ - РС7");
  EXPECT_EQ(model->text(2, "COMMENT"), "штамп ?300");  // the file's code page has no Ø
  EXPECT_FALSE(QFile::exists(path("field.mdx")));
}

TEST_F(MainWindowDownloadTest, SortDeleteAppendAndRenumber) {
  const QString file = path("sort.db");
  dialogs_.file_answers.push_back(file);
  testing::command(*window_, "N2")->trigger();
  ASSERT_TRUE(state_.db_open);
  MeasurementModel* model = window_->tabs()->model1();
  MeasurementGrid* grid = window_->tabs()->grid1();
  const int p = grid->column_of("P");

  // First click: descending; second: ascending; Ctrl: file order again.
  std::vector<double> values = column(model, "P");
  emit grid->title_clicked(p, false);
  std::vector<double> down = values;
  std::sort(down.rbegin(), down.rend());
  EXPECT_EQ(column(model, "P"), down);
  EXPECT_EQ(grid->sort_mark(p), SortMark::Up);
  EXPECT_TRUE(QFile::exists(path("sort.mdx")));
  testing::expect_index_dump_agrees(path("sort.mdx").toStdString());
  emit grid->title_clicked(p, false);
  std::vector<double> up = values;
  std::sort(up.begin(), up.end());
  EXPECT_EQ(column(model, "P"), up);
  testing::expect_index_dump_agrees(path("sort.mdx").toStdString());
  emit grid->title_clicked(p, true);
  EXPECT_EQ(column(model, "P"), values);
  EXPECT_EQ(grid->sort_mark(p), SortMark::None);

  // A text column wider than an index key cannot be sorted: the message, the mark, file order.
  emit grid->title_clicked(grid->column_of("P5"), false);
  ASSERT_FALSE(dialogs_.messages().isEmpty());
  EXPECT_TRUE(dialogs_.messages().last().contains("P5"));
  EXPECT_EQ(grid->sort_mark(grid->column_of("P5")), SortMark::Up);
  EXPECT_EQ(column(model, "P"), values);

  // Delete the last two rows (asked first), keep the numbers of the rest.
  grid->setCurrentIndex(model->index(4, 0));
  grid->selectionModel()->select(model->index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  grid->selectionModel()->select(model->index(5, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  dialogs_.button_answers.push_back(Dialogs::Button::Yes);
  testing::command(*window_, "N21")->trigger();
  EXPECT_EQ(dialogs_.messages().last(), "Удалить выбранные строки (2)?");
  EXPECT_EQ(column(model, "N"), std::vector<double>({1, 2, 3, 4}));
  EXPECT_EQ(grid->sort_mark(grid->column_of("P5")), SortMark::None);

  // "Дополнить" downloads the same memory again: only the two later records come back.
  testing::command(*window_, "N4")->trigger();
  EXPECT_EQ(column(model, "N"), std::vector<double>({1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(state_.rec_count, 2);
  // Once more: nothing is later than the last row.
  testing::command(*window_, "N4")->trigger();
  EXPECT_EQ(model->rowCount(), int(kRecords));
  EXPECT_EQ(state_.rec_count, 0);

  // Renumber while sorted by N descending: every row gets exactly one number, in shown order.
  emit grid->title_clicked(grid->column_of("N"), false);
  EXPECT_EQ(column(model, "N"), std::vector<double>({6, 5, 4, 3, 2, 1}));
  testing::expect_index_dump_agrees(path("sort.mdx").toStdString());
  grid->setCurrentIndex(model->index(0, 0));
  grid->clearSelection();
  grid->selectionModel()->select(model->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  dialogs_.button_answers.push_back(Dialogs::Button::Yes);
  testing::command(*window_, "N21")->trigger();  // delete the row numbered 6
  testing::command(*window_, "N37")->trigger();
  std::vector<double> numbers = column(model, "N");
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers, std::vector<double>({1, 2, 3, 4, 5}));
}

// A download keeps the waveforms, so the evaluation columns appear; a required modulus judges
// every row, reddens those below it and counts the share passing in the footer.
TEST_F(MainWindowDownloadTest, RequiredModulusJudgesTheRows) {
  dialogs_.file_answers.push_back(path("judged.db"));
  testing::command(*window_, "N2")->trigger();
  ASSERT_TRUE(state_.db_open);
  MeasurementModel* model = window_->tabs()->model1();
  MeasurementGrid* grid = window_->tabs()->grid1();
  const int sv = grid->column_of(kSOverVColumn);
  const int verdict = grid->column_of(kVerdictColumn);
  ASSERT_FALSE(grid->isColumnHidden(sv));
  EXPECT_FALSE(model->index(0, sv).data().toString().isEmpty());
  EXPECT_TRUE(model->index(0, verdict).data().toString().isEmpty());

  // The median modulus as the requirement: some rows pass, some fail.
  std::vector<double> moduli = column(model, "D9");
  std::vector<double> sorted = moduli;
  std::sort(sorted.begin(), sorted.end());
  const double required = sorted[kRecords / 2];
  measurement::ObjectParameters parameters;
  parameters.required_modulus = required;
  window_->document().set_object_parameters(parameters);
  window_->tabs()->refresh_evaluation();
  int passing = 0;
  for (int row = 0; row < model->rowCount(); ++row) {
    const bool passes = moduli[std::size_t(row)] >= required;
    passing += passes ? 1 : 0;
    EXPECT_EQ(model->index(row, verdict).data().toString(), passes ? "соответствует" : "не соответствует");
    EXPECT_EQ(model->index(row, 0).data(Qt::ForegroundRole).isValid(), !passes);
  }
  EXPECT_EQ(grid->footer()->texts()[verdict], QStringLiteral("%1 из %2 (%3 %)")
                                                  .arg(passing)
                                                  .arg(kRecords)
                                                  .arg(std::lround(100.0 * passing / kRecords)));
  // Sorting by a worked-out column is not offered.
  emit grid->title_clicked(verdict, false);
  EXPECT_EQ(grid->sort_mark(verdict), SortMark::None);

  // "Протокол испытания…" previews a page per chosen point and the summary; the current point alone
  // without a summary.
  const auto preview_pages = [this] {
    int pages = -1;
    QTimer::singleShot(100, [&pages] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal != nullptr && modal->objectName() == "ProtocolPreview") {
        pages = modal->findChild<QPrintPreviewWidget*>()->pageCount();
        modal->close();
      }
    });
    testing::command(*window_, "Protocol1")->trigger();
    return pages;
  };
  grid->selectRow(1);
  grid->selectionModel()->select(model->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  EXPECT_EQ(preview_pages(), 3);
  grid->clearSelection();
  EXPECT_EQ(preview_pages(), 1);
  grid->selectAll();
  EXPECT_EQ(preview_pages(), static_cast<int>(kRecords) + 1);
}

TEST_F(MainWindowDownloadTest, CancelledDownloadCreatesNothing) {
  const QString file = path("none.db");
  dialogs_.file_answers.push_back(file);
  QTimer::singleShot(50, [this] { window_->download_window()->reject(); });
  testing::command(*window_, "N2")->trigger();
  EXPECT_FALSE(state_.db_open);
  EXPECT_FALSE(QFile::exists(file));
}

}  // namespace
}  // namespace vkt
