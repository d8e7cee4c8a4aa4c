#include "ui/graphwindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <cmath>

#include "scripteddialogs.h"
#include "ui/graphcurves.h"
#include "ui/screenfit.h"

namespace vkt {
namespace {

// Remembers whether the panel was on screen when each message box came up.
class WatchingDialogs : public testing::ScriptedDialogs {
 public:
  QWidget* watched = nullptr;
  QList<bool> watched_visible;
  Button message(QWidget* parent, const QString& caption, const QString& text, Icon icon,
                 const QList<Button>& buttons) override {
    watched_visible.append(watched != nullptr && watched->isVisible());
    return ScriptedDialogs::message(parent, caption, text, icon, buttons);
  }
};

// A drop whose force rises to 5000 N and whose displacement rises to 600 µm.
DropCurves sample_curves() {
  DropCurves c;
  for (int k = 0; k < 510; ++k) {
    c.force.push_back({100.0 * k, 5000.0 * k / 509});
    c.displacement.push_back({100.0 * k, 600.0 * k / 509});
  }
  return c;
}

class GraphWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<GraphWindow>(dialogs_);
    window_->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    dialogs_.watched = window_->panel3();
    window_->set_curves(sample_curves());
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  // The view pixel where a series shows a value.
  static QPoint pixel_of(GraphChartView* view, QLineSeries* series, QPointF value) {
    const QPointF on_chart = view->chart()->mapToPosition(value, series);
    return view->mapFromScene(view->chart()->mapToScene(on_chart));
  }

  // The numbers of a readout line, read back with the window's locale.
  std::pair<double, double> numbers(const QLabel* label) const {
    static const QRegularExpression re(QStringLiteral(": (-?[0-9,]+) .*Время: (-?[0-9,]+) мкс\\.$"));
    const auto m = re.match(label->text());
    EXPECT_TRUE(m.hasMatch()) << label->text().toStdString();
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    return {en.toDouble(m.captured(1)), en.toDouble(m.captured(2))};
  }

  WatchingDialogs dialogs_;
  std::unique_ptr<GraphWindow> window_;
};

TEST_F(GraphWindowTest, LayoutOfTheWindow) {
  GraphWindow& w = *window_;
  EXPECT_EQ(w.objectName(), QStringLiteral("TGraff"));
  EXPECT_EQ(w.windowTitle(), QStringLiteral("График"));
  EXPECT_EQ(w.size(), QSize(870, 640));
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::white));

  EXPECT_EQ(w.chart1()->objectName(), QStringLiteral("Chart1"));
  EXPECT_EQ(w.chart2()->objectName(), QStringLiteral("Chart2"));
  EXPECT_EQ(w.chart1()->geometry().top(), 0);
  EXPECT_EQ(w.chart1()->height(), 297);
  auto* splitter = w.findChild<QSplitter*>();
  ASSERT_NE(splitter, nullptr);
  EXPECT_EQ(splitter->handleWidth(), 3);
  EXPECT_EQ(w.chart2()->geometry().top(), 300);

  QWidget* panel = w.panel3();
  EXPECT_EQ(panel->objectName(), QStringLiteral("Panel3"));
  EXPECT_EQ(panel->height(), 41);
  EXPECT_EQ(panel->geometry().bottom(), 639);
  EXPECT_EQ(w.chart2()->geometry().bottom(), 639 - 41);
  EXPECT_EQ(w.label1()->objectName(), QStringLiteral("Label1"));
  EXPECT_EQ(w.label1()->pos(), QPoint(8, 12));
  EXPECT_EQ(w.label2()->objectName(), QStringLiteral("Label2"));
  EXPECT_EQ(w.label2()->pos(), QPoint(232, 12));
  EXPECT_EQ(w.print_button()->text(), QStringLiteral("Печать"));
  EXPECT_EQ(w.print_button()->geometry(), QRect(752, 8, 75, 25));
}

TEST_F(GraphWindowTest, ScaledDownOntoALaptopScreenWithPrintInside) {
  const QRect area(0, 0, 1024, 600);
  fit_into_area(*window_, area);
  EXPECT_TRUE(area.contains(window_->frameGeometry())) << window_->frameGeometry().height();
  const QRect button(window_->print_button()->mapTo(window_.get(), QPoint(0, 0)),
                     window_->print_button()->size());
  EXPECT_TRUE(window_->rect().contains(button));
  EXPECT_GT(window_->chart2()->height(), 100);
}

TEST_F(GraphWindowTest, EveryZoomCanBeUndone) {
  GraphChartView* view = window_->chart1();
  const QRectF whole = view->span();
  const auto zoom = [&] {
    const QRectF plot = view->plot_rect();
    const QPoint from = plot.topLeft().toPoint() + QPoint(plot.width() / 4, plot.height() / 4);
    const QPoint to = plot.center().toPoint();
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(view->viewport(), to);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
    return view->span();
  };
  const QRectF first = zoom();
  ASSERT_LT(first.width(), whole.width());
  const QRectF second = zoom();
  ASSERT_LT(second.width(), first.width());
  // The right button steps back one zoom at a time, then stays at the whole curve.
  QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->plot_rect().center().toPoint());
  EXPECT_EQ(view->span(), first);
  zoom();
  QTest::keyClick(window_.get(), Qt::Key_Home);
  EXPECT_EQ(view->span(), whole);
  EXPECT_EQ(window_->chart2()->span().width(), whole.width());
  QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->plot_rect().center().toPoint());
  EXPECT_EQ(view->span(), whole);
  EXPECT_NE(window_->findChild<QPushButton*>("ResetZoom"), nullptr);
}

TEST_F(GraphWindowTest, ChartsAxesAndColours) {
  GraphWindow& w = *window_;
  EXPECT_EQ(w.series1()->objectName(), QStringLiteral("Series1"));
  EXPECT_EQ(w.line_series1()->objectName(), QStringLiteral("LineSeries1"));
  EXPECT_EQ(w.series1()->pen().color(), QColor(255, 0, 0));
  EXPECT_EQ(w.line_series1()->pen().color(), QColor(0, 128, 0));
  EXPECT_FALSE(w.chart1()->chart()->legend()->isVisible());
  EXPECT_FALSE(w.chart2()->chart()->legend()->isVisible());
  EXPECT_TRUE(w.chart1()->chart()->title().isEmpty());

  EXPECT_EQ(w.force_axis()->titleText(), QStringLiteral("Сила удара, Н"));
  EXPECT_EQ(w.force_axis()->alignment(), Qt::AlignLeft);
  EXPECT_EQ(w.force_time_axis()->titleText(), QStringLiteral("Время, мкс"));
  EXPECT_EQ(w.force_time_axis()->alignment(), Qt::AlignBottom);
  EXPECT_EQ(w.chart1()->chart()->axes().size(), 2);

  EXPECT_EQ(w.displacement_axis()->titleText(), QStringLiteral("Перемещение, мкм."));
  EXPECT_EQ(w.displacement_axis()->alignment(), Qt::AlignLeft);
  EXPECT_TRUE(w.displacement_axis()->isReverse());
  EXPECT_FALSE(w.force_axis()->isReverse());
  EXPECT_EQ(w.displacement_time_axis()->alignment(), Qt::AlignTop);
  EXPECT_EQ(w.chart2()->chart()->axes().size(), 2);
  EXPECT_EQ(w.line_series1()->attachedAxes(),
            QList<QAbstractAxis*>({w.displacement_time_axis(), w.displacement_axis()}));

  // Time labels stay on multiples of 100 µs.
  for (QValueAxis* axis : {w.force_time_axis(), w.displacement_time_axis()}) {
    EXPECT_EQ(axis->min(), 0);
    EXPECT_EQ(axis->max(), 50900);
    EXPECT_EQ(std::fmod(axis->tickInterval(), 100.0), 0.0);
  }
}

TEST_F(GraphWindowTest, NewCurvesReplaceTheOldOnesAndShowWhole) {
  GraphWindow& w = *window_;
  ASSERT_EQ(w.series1()->count(), 510);
  DropCurves other;
  for (int k = 0; k < 510; ++k) {
    other.force.push_back({100.0 * k, 1000.0 + (k % 7)});
    other.displacement.push_back({100.0 * k, -3.0 * (k % 11)});
  }
  w.force_time_axis()->setRange(1000, 2000);  // as after a zoom
  w.set_curves(other);
  ASSERT_EQ(w.series1()->count(), 510);
  ASSERT_EQ(w.line_series1()->count(), 510);
  EXPECT_EQ(w.series1()->at(3), QPointF(300, 1003));
  EXPECT_EQ(w.line_series1()->at(10), QPointF(1000, -30));
  EXPECT_EQ(w.force_time_axis()->min(), 0);
  EXPECT_EQ(w.force_time_axis()->max(), 50900);
  EXPECT_EQ(w.force_axis()->min(), 1000);
  EXPECT_EQ(w.force_axis()->max(), 1006);
  EXPECT_EQ(w.displacement_axis()->min(), -30);
  EXPECT_EQ(w.displacement_axis()->max(), 0);
}

// Both lines read their own curve at the instant under the mouse, and each chart's crosshair meets
// its curve there: force 5000·k/509 N and displacement 600·k/509 µm at k = t / 100 µs.
TEST_F(GraphWindowTest, ReadoutsAndCrosshairsMeetTheCurvesAtOneInstant) {
  GraphWindow& w = *window_;
  for (GraphChartView* view : {w.chart1(), w.chart2()}) {
    // Away from either curve: the mouse's height does not matter, only its time.
    const QRectF plot = view->plot_rect();
    const QPoint at(int(plot.left() + plot.width() * 0.4), int(plot.top() + 5));
    QTest::mouseMove(view->viewport(), at);
    ASSERT_EQ(w.crosshair_x(), at.x());

    const auto [force, time1] = numbers(w.label1());
    const auto [displacement, time2] = numbers(w.label2());
    EXPECT_EQ(time1, time2);
    EXPECT_NEAR(time1, 0.4 * 50900, 150);
    EXPECT_NEAR(force, 5000.0 * time1 / 50900, 2);
    EXPECT_NEAR(displacement, 600.0 * time1 / 50900, 2);  // as the axis labels it, not negated

    const auto force_cross = w.chart1()->crosshair();
    const auto displacement_cross = w.chart2()->crosshair();
    ASSERT_TRUE(force_cross && displacement_cross);
    EXPECT_NEAR(force_cross->x(), pixel_of(w.chart1(), w.series1(), {time1, force}).x(), 1);
    EXPECT_NEAR(force_cross->y(), pixel_of(w.chart1(), w.series1(), {time1, force}).y(), 1);
    EXPECT_NEAR(displacement_cross->y(), pixel_of(w.chart2(), w.line_series1(), {time1, displacement}).y(),
                1);
  }
  // Readouts are whole numbers with the locale's grouping.
  QTest::mouseMove(w.chart1()->viewport(), pixel_of(w.chart1(), w.series1(), {45000, 10}));
  EXPECT_TRUE(w.label1()->text().contains(QRegularExpression(QStringLiteral("\\d,\\d{3} Н"))));
}

TEST_F(GraphWindowTest, LeavingThePlotRectangleErasesTheCrosshairAndKeepsTheReadouts) {
  GraphWindow& w = *window_;
  QTest::mouseMove(w.chart1()->viewport(), pixel_of(w.chart1(), w.series1(), {10000, 1000}));
  ASSERT_NE(w.crosshair_x(), -1);
  const QString label1 = w.label1()->text();
  const QString label2 = w.label2()->text();

  // Left of the plot, among the axis labels, still on the chart.
  const QRectF plot = w.chart1()->plot_rect();
  QTest::mouseMove(w.chart1()->viewport(), QPoint(int(plot.left()) - 5, int(plot.center().y())));
  EXPECT_EQ(w.crosshair_x(), -1);
  EXPECT_FALSE(w.chart1()->crosshair());
  EXPECT_FALSE(w.chart2()->crosshair());
  EXPECT_EQ(w.label1()->text(), label1);
  EXPECT_EQ(w.label2()->text(), label2);

  // Back in, then off the charts altogether.
  QTest::mouseMove(w.chart1()->viewport(), plot.center().toPoint());
  ASSERT_NE(w.crosshair_x(), -1);
  QTest::mouseMove(w.panel3(), QPoint(400, 20));
  EXPECT_EQ(w.crosshair_x(), -1);
  EXPECT_FALSE(w.chart1()->crosshair());
}

TEST_F(GraphWindowTest, CrosshairIsXoredOntoTheCharts) {
  GraphWindow& w = *window_;
  // A column of the plot well to the right of the curve's start, above the curve: white paper.
  const QPoint at = pixel_of(w.chart1(), w.series1(), {40000, 4500});
  const QRectF plot = w.chart1()->plot_rect();
  const QPoint probe(at.x(), int(plot.top()) + 3);
  const QColor before = w.chart1()->grab().toImage().pixelColor(probe);
  ASSERT_EQ(before, QColor(Qt::white));
  QTest::mouseMove(w.chart1()->viewport(), at);
  const QColor after = w.chart1()->grab().toImage().pixelColor(probe);
  EXPECT_EQ(after, QColor(0, 0, 255));  // white XOR yellow
}

TEST_F(GraphWindowTest, DraggingARectangleZoomsThatChartOnly) {
  GraphWindow& w = *window_;
  const QPoint from = pixel_of(w.chart1(), w.series1(), {10000, 1000});
  const QPoint to = pixel_of(w.chart1(), w.series1(), {20000, 3000});
  QTest::mouseMove(w.chart1()->viewport(), from);
  ASSERT_NE(w.crosshair_x(), -1);
  QTest::mousePress(w.chart1()->viewport(), Qt::LeftButton, {}, from);
  EXPECT_EQ(w.crosshair_x(), -1);  // gone before the rectangle is drawn
  QTest::mouseMove(w.chart1()->viewport(), to);
  QTest::mouseRelease(w.chart1()->viewport(), Qt::LeftButton, {}, to);

  EXPECT_NEAR(w.force_time_axis()->min(), 10000, 150);
  EXPECT_NEAR(w.force_time_axis()->max(), 20000, 150);
  EXPECT_NEAR(w.force_axis()->min(), 1000, 40);
  EXPECT_NEAR(w.force_axis()->max(), 3000, 40);
  EXPECT_EQ(w.crosshair_x(), -1);  // the redraw took it away
  EXPECT_EQ(w.displacement_time_axis()->min(), 0);
  EXPECT_EQ(w.displacement_time_axis()->max(), 50900);
  // Labels still on multiples of 100 µs.
  EXPECT_EQ(std::fmod(w.force_time_axis()->tickInterval(), 100.0), 0.0);
}

TEST_F(GraphWindowTest, PrintsTheChartsLandscapeAndReports) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString pdf = dir.filePath(QStringLiteral("graph.pdf"));
  window_->set_printer_source([pdf] {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    printer->setPageOrientation(QPageLayout::Portrait);
    return printer;
  });
  window_->print_button()->click();

  ASSERT_EQ(dialogs_.shown.size(), 1);
  EXPECT_EQ(dialogs_.shown[0].caption, QStringLiteral("Информация"));
  EXPECT_EQ(dialogs_.shown[0].text, QStringLiteral("Документ отправлен на печать"));
  EXPECT_EQ(dialogs_.shown[0].icon, Dialogs::Icon::Information);
  EXPECT_FALSE(dialogs_.watched_visible[0]);  // the panel stays off the paper
  EXPECT_TRUE(window_->panel3()->isVisible());

  QFile file(pdf);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF"));
  EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 1);
  static const QRegularExpression media(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
  const auto m = media.match(QString::fromLatin1(bytes));
  ASSERT_TRUE(m.hasMatch());
  EXPECT_GT(m.captured(1).toDouble(), m.captured(2).toDouble());  // landscape
  EXPECT_TRUE(bytes.contains("/Subtype /Image"));
}

TEST_F(GraphWindowTest, NoPrinterIsReportedAndThePanelStays) {
  window_->set_printer_source([] { return std::unique_ptr<QPrinter>(); });
  window_->print_button()->click();
  ASSERT_EQ(dialogs_.shown.size(), 1);
  EXPECT_EQ(dialogs_.shown[0].icon, Dialogs::Icon::Error);
  EXPECT_EQ(dialogs_.shown[0].text, QStringLiteral("Принтер не установлен: график не напечатан"));
  EXPECT_TRUE(window_->panel3()->isVisible());
}

TEST_F(GraphWindowTest, AFailedPrintIsReportedAndThePanelComesBack) {
  window_->set_printer_source([] {
    auto printer = std::make_unique<QPrinter>();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QStringLiteral("/nonexistent-folder/for/graph.pdf"));
    return printer;
  });
  window_->print_button()->click();
  ASSERT_EQ(dialogs_.shown.size(), 1);
  EXPECT_EQ(dialogs_.shown[0].icon, Dialogs::Icon::Error);
  EXPECT_EQ(dialogs_.shown[0].text, QStringLiteral("Не удалось напечатать график"));
  EXPECT_TRUE(window_->panel3()->isVisible());
}

}  // namespace
}  // namespace vkt
