#include "ui/graphcommand.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cmath>
#include <functional>
#include <limits>

#include "core/programstate.h"
#include "scripteddialogs.h"
#include "ui/graphwindow.h"
#include "ui/measurementchoice.h"

namespace vkt {
namespace {

const QString kFile = QStringLiteral("/data/site/road.db");

class GraphCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_ = std::make_unique<ProgramState>();
    command_ = std::make_unique<GraphCommand>(*state_, dialogs_);
  }

  // Row n as the import leaves it: its block remembers the row, and every drop can be drawn.
  void import_row(int n, const QString& date, const QString& time) {
    state_->waveform_owners[n - 1] =
        WaveformOwner{kFile.toStdString(), n, date.toStdString(), time.toStdString()};
    for (int drop = 1; drop <= 3; ++drop) {
      const std::size_t start = (n - 1) * 3060 + (drop - 1) * 1020;
      for (int k = 0; k < 510; ++k) {
        store(start + k) = 1 + (k * 13) % 97;                 // displacement, peak 97 somewhere
        store(start + 510 + k) = 1 + (k * 31 + drop) % 1999;  // force, maximum 1999
      }
    }
    state_->rec_count = 3;
  }

  double& store(std::size_t i) { return state_->waveforms[i]; }

  static GraphRow row(double n, const QString& date, const QString& time) {
    GraphRow r;
    r.file = kFile;
    r.n = n;
    r.date = date;
    r.time = time;
    r.displacement = {300, 500, 700};  // P9, P2, P4
    r.force = {4000, 5000, 6000};      // D4, D5, D6
    return r;
  }

  // Runs the command; `on_modal` is handed each modal window that opens, in order, and must
  // close it. Returns the object names of the modal windows that opened.
  QStringList run(const GraphRow& r, std::function<void(QWidget*)> on_modal = {}) {
    QStringList opened;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal != nullptr && modal->isVisible() && !seen_.contains(modal)) {
        seen_.append(modal);
        opened.append(modal->objectName());
        QTimer::singleShot(0, [this, modal, on_modal] {
          if (on_modal) {
            on_modal(modal);
          } else {
            modal->close();
          }
        });
      }
    });
    timer.start();
    command_->run(r);
    timer.stop();
    seen_.clear();
    return opened;
  }

  std::unique_ptr<ProgramState> state_;
  testing::ScriptedDialogs dialogs_;
  std::unique_ptr<GraphCommand> command_;
  QList<QWidget*> seen_;
};

void expect_needs_download(const testing::ScriptedDialogs& dialogs) {
  ASSERT_EQ(dialogs.shown.size(), 1);
  EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Дополнение"));
  EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Необходимо подключение прибора к ПК"));
  EXPECT_EQ(dialogs.shown[0].icon, Dialogs::Icon::Information);
}

TEST_F(GraphCommandTest, NothingDownloadedAsksForTheInstrument) {
  import_row(2, "12.05.2011", "10:00:00");
  state_->rec_count = 0;
  EXPECT_TRUE(run(row(2, "12.05.2011", "10:00:00")).isEmpty());
  expect_needs_download(dialogs_);
}

TEST_F(GraphCommandTest, OnlyTheRowItsBlockWasImportedAsHasCurves) {
  import_row(2, "12.05.2011", "10:00:00");
  const GraphRow same = row(2, "12.05.2011", "10:00:00");
  EXPECT_EQ(check_graph_row(*state_, same), GraphRowCheck::Ready);

  GraphRow other = same;
  other.file = QStringLiteral("/data/site/bridge.db");
  EXPECT_EQ(check_graph_row(*state_, other), GraphRowCheck::NeedsDownload);
  other = same;
  other.date = QStringLiteral("13.05.2011");
  EXPECT_EQ(check_graph_row(*state_, other), GraphRowCheck::NeedsDownload);
  other = same;
  other.time = QStringLiteral("10:00:01");
  EXPECT_EQ(check_graph_row(*state_, other), GraphRowCheck::NeedsDownload);
  other = same;
  other.tab = GraphRow::Tab::DeviceB;
  EXPECT_EQ(check_graph_row(*state_, other), GraphRowCheck::NeedsDownload);
  // Row 1 has no block of its own; row 3 shares nothing with row 2's block either.
  EXPECT_EQ(check_graph_row(*state_, row(1, "12.05.2011", "10:00:00")), GraphRowCheck::NeedsDownload);
  EXPECT_EQ(check_graph_row(*state_, row(3, "12.05.2011", "10:00:00")), GraphRowCheck::NeedsDownload);
  // A block whose record says it went in under another number (the row was renumbered since).
  state_->waveform_owners[0] = WaveformOwner{kFile.toStdString(), 7, "12.05.2011", "10:00:00"};
  EXPECT_EQ(check_graph_row(*state_, row(1, "12.05.2011", "10:00:00")), GraphRowCheck::NeedsDownload);

  // The same file named another way is still the same file.
  other = same;
  other.file = QStringLiteral("/data/site/../site/./road.db");
  EXPECT_EQ(check_graph_row(*state_, other), GraphRowCheck::Ready);
  // No file open (or no row in view): no row to draw, whatever the number says.
  other.file.clear();
  EXPECT_EQ(check_graph_row(*state_, other), GraphRowCheck::NeedsDownload);
  other.n = 0;
  EXPECT_EQ(check_graph_row(*state_, other), GraphRowCheck::NeedsDownload);
}

TEST_F(GraphCommandTest, ARowOfAnotherMeasurementGetsTheSameAnswerAsNoDownload) {
  import_row(2, "12.05.2011", "10:00:00");
  GraphRow other_file = row(2, "12.05.2011", "10:00:00");
  other_file.file = QStringLiteral("/data/site/bridge.db");
  EXPECT_TRUE(run(other_file).isEmpty());
  expect_needs_download(dialogs_);

  dialogs_.shown.clear();
  GraphRow device_b = row(2, "12.05.2011", "10:00:00");
  device_b.tab = GraphRow::Tab::DeviceB;
  EXPECT_TRUE(run(device_b).isEmpty());
  expect_needs_download(dialogs_);
}

TEST_F(GraphCommandTest, RowNumbersWithoutABlockAreRefused) {
  import_row(2, "12.05.2011", "10:00:00");
  for (double n : {0.0, -1.0, 501.0, 1e12, std::numeric_limits<double>::quiet_NaN()}) {
    dialogs_.shown.clear();
    EXPECT_EQ(check_graph_row(*state_, row(n, "12.05.2011", "10:00:00")), GraphRowCheck::RowOutsideStore)
        << n;
    EXPECT_TRUE(run(row(n, "12.05.2011", "10:00:00")).isEmpty()) << n;
    ASSERT_EQ(dialogs_.shown.size(), 1) << n;
    EXPECT_EQ(dialogs_.shown[0].caption, QStringLiteral("График"));
    EXPECT_TRUE(dialogs_.shown[0].text.contains(QStringLiteral("от 1 до 500"))) << n;
  }
  // The last block of the store is a row like any other.
  import_row(500, "01.01.2012", "00:00:00");
  EXPECT_EQ(check_graph_row(*state_, row(500, "01.01.2012", "00:00:00")), GraphRowCheck::Ready);
}

TEST_F(GraphCommandTest, ClosingTheChoiceWithoutOkShowsNoGraph) {
  import_row(2, "12.05.2011", "10:00:00");
  const QStringList opened = run(row(2, "12.05.2011", "10:00:00"));
  EXPECT_EQ(opened, QStringList({"TForm7"}));
  EXPECT_TRUE(dialogs_.shown.isEmpty());
  EXPECT_EQ(command_->graph_window()->series1()->count(), 0);
}

TEST_F(GraphCommandTest, TheChosenDropIsPlottedAndTheChoiceIsKept) {
  import_row(3, "12.05.2011", "10:00:00");
  // Drop 2 of row 3: displacement at 7140.., force at 7650..; force maximum 2000.
  for (int k = 0; k < 510; ++k) {
    store(7140 + k) = k == 300 ? 250 : 10 + k % 5;
    store(7650 + k) = 100 + k;
  }
  store(7650 + 42) = 2000;

  MeasurementChoiceWindow* choice = command_->choice_window();
  EXPECT_EQ(choice->objectName(), QStringLiteral("TForm7"));
  EXPECT_EQ(choice->windowTitle(), QStringLiteral("График"));
  EXPECT_EQ(choice->size(), QSize(146, 154));
  EXPECT_EQ(choice->drop(), 1);  // "Измерение №1" at start

  QList<QPointF> force;
  QList<QPointF> displacement;
  const QStringList opened = run(row(3, "12.05.2011", "10:00:00"), [&](QWidget* modal) {
    if (modal == choice) {
      EXPECT_TRUE(choice->radio_button(1)->isChecked());
      EXPECT_EQ(choice->radio_button(2)->text(), QStringLiteral("Измерение №2"));
      choice->radio_button(2)->click();
      choice->findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    } else {
      auto* graph = qobject_cast<GraphWindow*>(modal);
      ASSERT_NE(graph, nullptr);
      force = graph->series1()->points();
      displacement = graph->line_series1()->points();
      graph->close();
    }
  });
  EXPECT_EQ(opened, QStringList({"TForm7", "TGraff"}));
  EXPECT_TRUE(dialogs_.shown.isEmpty());
  ASSERT_EQ(force.size(), 510);
  ASSERT_EQ(displacement.size(), 510);
  for (int k = 0; k < 510; ++k) {
    EXPECT_DOUBLE_EQ(force[k].y(), store(7650 + k) * 2.5) << k;
    EXPECT_DOUBLE_EQ(displacement[k].y(), store(7140 + k) * 2.0) << k;  // P2 500 over a peak of 250
    EXPECT_EQ(force[k].x(), 100.0 * k);
  }

  // Next time the window opens with the last choice still checked.
  bool kept = false;
  run(row(3, "12.05.2011", "10:00:00"), [&](QWidget* modal) {
    kept = choice->radio_button(2)->isChecked();
    modal->close();
  });
  EXPECT_TRUE(kept);
}

TEST_F(GraphCommandTest, ADropThatCannotBeScaledIsExplainedInsteadOfDrawn) {
  import_row(3, "12.05.2011", "10:00:00");
  auto choose_drop_2 = [this](QWidget* modal) {
    if (modal == command_->choice_window()) {
      command_->choice_window()->set_drop(2);
      command_->choice_window()->accept();
    } else {
      ADD_FAILURE() << "a graph was shown";
      modal->close();
    }
  };
  for (int k = 0; k < 510; ++k) {
    store(7140 + k) = 0;
  }
  EXPECT_EQ(run(row(3, "12.05.2011", "10:00:00"), choose_drop_2), QStringList({"TForm7"}));
  ASSERT_EQ(dialogs_.shown.size(), 1);
  EXPECT_EQ(dialogs_.shown[0].text,
            QStringLiteral("В измерении №2 нет пика перемещения: график не построен"));

  dialogs_.shown.clear();
  store(7140 + 100) = 40;
  for (int k = 0; k < 510; ++k) {
    store(7650 + k) = 0;
  }
  EXPECT_EQ(run(row(3, "12.05.2011", "10:00:00"), choose_drop_2), QStringList({"TForm7"}));
  ASSERT_EQ(dialogs_.shown.size(), 1);
  EXPECT_EQ(dialogs_.shown[0].text,
            QStringLiteral("В измерении №2 сила удара равна нулю: график не построен"));
}

}  // namespace
}  // namespace vkt
