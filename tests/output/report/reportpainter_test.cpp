#include "output/report/reportpainter.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <optional>

#include "output/report/reportlayouts.h"
#include "recordingdevice.h"

namespace vkt::report {
namespace {

using testing::RecordingDevice;

constexpr double kTolMm = 0.02;

class ReportPainterTest : public ::testing::Test {
 protected:
  static void paint(RecordingDevice& device, const ReportDocument& doc, int page) {
    QPainter painter(&device);
    ReportPainter(&device).paint_page(painter, doc, page);
  }

  // The pen of the frame drawn at this place and size, in millimetres: its four edges each lie on a
  // line drawn with square caps (which fill the corners).
  static std::optional<RecordingDevice::Segment> frame_at(const RecordingDevice& d, double left, double top,
                                                          double width, double height) {
    const auto covered = [&d](double x1, double y1, double x2,
                              double y2) -> std::optional<RecordingDevice::Segment> {
      for (const auto& s : d.segments()) {
        const QLineF& l = s.line;
        const bool across = std::abs(d.mm(l.y1()) - y1) < kTolMm && std::abs(d.mm(l.y2()) - y2) < kTolMm &&
                            d.mm(std::min(l.x1(), l.x2())) < x1 + kTolMm &&
                            d.mm(std::max(l.x1(), l.x2())) > x2 - kTolMm;
        const bool down = std::abs(d.mm(l.x1()) - x1) < kTolMm && std::abs(d.mm(l.x2()) - x2) < kTolMm &&
                          d.mm(std::min(l.y1(), l.y2())) < y1 + kTolMm &&
                          d.mm(std::max(l.y1(), l.y2())) > y2 - kTolMm;
        if ((across || down) && s.cap == Qt::SquareCap) {
          return s;
        }
      }
      return std::nullopt;
    };
    const double right = left + width;
    const double bottom = top + height;
    const auto top_edge = covered(left, top, right, top);
    if (top_edge && covered(left, bottom, right, bottom) && covered(left, top, left, bottom) &&
        covered(right, top, right, bottom)) {
      return top_edge;
    }
    return std::nullopt;
  }

  static std::optional<RecordingDevice::Text> line(const RecordingDevice& d, const QString& text) {
    for (const auto& t : d.lines()) {
      if (t.text == text) {
        return t;
      }
    }
    return std::nullopt;
  }
};

MemoryDataset one_device_a_row() {
  MemoryDataset data;
  const auto r = data.add_row();
  data.set(r, "N", 1.0);
  data.set(r, "DATE", std::string("12.04.2022"));
  data.set(r, "TIME", std::string("09:41:05"));
  data.set(r, "P", 152.6);
  data.set(r, "T", 152.6);
  data.set(r, "D2", std::string("Щебень"));
  return data;
}

TEST_F(ReportPainterTest, DeviceACellsLieWhereTheLayoutPutsThem) {
  const MemoryDataset data = one_device_a_row();
  const ReportDocument doc(report1(), data, {","});
  RecordingDevice device(600, true);
  paint(device, doc, 0);

  // Header and row cells are boxed; title and footer are not. An edge cells share is drawn once.
  ASSERT_FALSE(device.segments().isEmpty());
  for (const auto& a : device.segments()) {
    EXPECT_GT(device.mm(std::min(a.line.y1(), a.line.y2())), 24.6 - kTolMm);  // below the title
    for (const auto& b : device.segments()) {
      // Two lines along one edge that overlap: that stretch would be drawn twice.
      const bool same_row =
          a.line.y1() == a.line.y2() && b.line.y1() == b.line.y2() && a.line.y1() == b.line.y1();
      const bool same_column =
          a.line.x1() == a.line.x2() && b.line.x1() == b.line.x2() && a.line.x1() == b.line.x1();
      if (&a != &b && (same_row || same_column)) {
        const QRectF ra = QRectF(a.line.p1(), a.line.p2()).normalized();
        const QRectF rb = QRectF(b.line.p1(), b.line.p2()).normalized();
        const bool overlap = same_row ? ra.left() < rb.right() && rb.left() < ra.right()
                                      : ra.top() < rb.bottom() && rb.top() < ra.bottom();
        EXPECT_FALSE(overlap) << "an edge drawn twice";
      }
    }
  }
  const auto date_head = frame_at(device, 14.1, 6.9 + 17.7, 16.6, 16.6);
  ASSERT_TRUE(date_head.has_value());
  EXPECT_NEAR(device.mm(date_head->pen_width), 0.3, 1e-6);
  EXPECT_TRUE(frame_at(device, 277.5, 24.6, 12.2, 16.6).has_value());
  EXPECT_TRUE(frame_at(device, 6.9, 41.2, 8.0, 11.1).has_value());
  EXPECT_TRUE(frame_at(device, 117.8, 41.2, 16.6, 11.1).has_value());

  // Header text bold, centred in its cell.
  const auto date = line(device, QStringLiteral("Дата"));
  ASSERT_TRUE(date.has_value());
  EXPECT_TRUE(date->font.bold());
  EXPECT_DOUBLE_EQ(date->font.pointSizeF(), 8.0);
  EXPECT_NEAR(device.mm(date->baseline.x() + date->width / 2), 14.1 + 16.6 / 2, kTolMm);

  // F1 rounded, F3 as text, both centred in their row cells.
  const auto f1 = line(device, QStringLiteral("153"));
  ASSERT_TRUE(f1.has_value());
  EXPECT_FALSE(f1->font.bold());
  EXPECT_NEAR(device.mm(f1->baseline.x() + f1->width / 2), 117.8 + 16.6 / 2, kTolMm);
  const auto f3 = line(device, QStringLiteral("152,6"));
  ASSERT_TRUE(f3.has_value());
  EXPECT_NEAR(device.mm(f3->baseline.x() + f3->width / 2), 151.1 + 16.6 / 2, kTolMm);

  // The title starts inside its padding at the top left of the page.
  const auto title = line(device, QStringLiteral("ВКТ-РС7 "));
  ASSERT_TRUE(title.has_value());
  EXPECT_DOUBLE_EQ(title->font.pointSizeF(), 14.0);
  EXPECT_NEAR(device.mm(title->baseline.x()), 6.9 + 0.6, kTolMm);
  const QFontMetricsF title_metrics(title->font, &device);
  EXPECT_NEAR(device.mm(title->baseline.y() - title_metrics.ascent()), 6.9 + 0.3, kTolMm);

  // The footer ends at the right padding and is centred in its 5.5 mm.
  const auto footer = line(device, QStringLiteral("Стр. 1 из 1"));
  ASSERT_TRUE(footer.has_value());
  EXPECT_NEAR(device.mm(footer->baseline.x() + footer->width), 234.0 + 56.0 - 0.6, kTolMm);
  const QFontMetricsF fm(footer->font, &device);
  const double middle = device.mm(footer->baseline.y() - fm.ascent() + fm.height() / 2);
  EXPECT_NEAR(middle, 210 - 6.9 - 5.5 / 2, kTolMm);
}

TEST_F(ReportPainterTest, LongCommentWrapsAndIsCutInsideItsRow) {
  const std::string comment =
      "Отбор проб выполнен у северного края площадки, покрытие сухое, трещин не обнаружено, "
      "повторить через неделю";
  MemoryDataset data;
  for (int i = 1; i <= 2; ++i) {
    const auto r = data.add_row();
    data.set(r, "N", static_cast<double>(i));
    data.set(r, "COMMENT", i == 1 ? comment : std::string("ок"));
  }
  for (const ReportLayout* layout : {&report2(), &report3()}) {
    SCOPED_TRACE(layout->name);
    const double row_top = 41.2;
    const double row_height = layout->row.height;
    const double cell_left = layout->row.cells.back().left;
    const double cell_height = layout->row.cells.back().height;
    const ReportDocument doc(*layout, data, {","});
    RecordingDevice device(600, false);
    paint(device, doc, 0);

    QStringList shown;
    for (const auto& t : device.lines()) {
      const double x = device.mm(t.baseline.x());
      const double y = device.mm(t.baseline.y());
      if (std::abs(x - (cell_left + 0.6)) < kTolMm && y > row_top && y < row_top + row_height) {
        const QFontMetricsF fm(t.font, &device);
        EXPECT_GE(device.mm(t.baseline.y() - fm.ascent()), row_top + 0.3 - kTolMm);
        EXPECT_LE(device.mm(t.baseline.y() + fm.descent()), row_top + cell_height - 0.3 + kTolMm);
        EXPECT_LE(device.mm(t.width), 52.4 - 1.2 + kTolMm);
        shown << t.text;
      }
    }
    ASSERT_GE(shown.size(), 2);
    const QString printed = shown.join(QLatin1Char(' '));
    const QString whole = QString::fromStdString(comment);
    EXPECT_TRUE(whole.startsWith(printed)) << printed.toStdString();
    EXPECT_LT(printed.size(), whole.size());
    // The next row starts one row height further down, whatever the comment above it.
    EXPECT_TRUE(frame_at(device, cell_left, row_top + row_height, 52.4, cell_height).has_value());
    EXPECT_TRUE(line(device, QStringLiteral("ок")).has_value());
  }
}

// Column titles wrap at blanks only: a word too wide for its cell ("Перемещение") is printed whole
// in a smaller font, never as "Перемещен" and "ие".
TEST_F(ReportPainterTest, HeaderWordsArePrintedWhole) {
  for (const ReportLayout* layout : {&report1(), &report2(), &report3()}) {
    SCOPED_TRACE(layout->name);
    QSet<QString> words;
    for (const Cell& cell : layout->page_header.cells) {
      for (const QString& w :
           QString::fromStdString(cell.text).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts)) {
        words.insert(w);
      }
    }
    const MemoryDataset data = one_device_a_row();
    const ReportDocument doc(*layout, data, {","});
    RecordingDevice device(600, layout->page.orientation == Orientation::Landscape);
    paint(device, doc, 0);
    for (const auto& t : device.lines()) {
      for (const QString& w : t.text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts)) {
        bool part_of_a_title_word = false;
        for (const QString& title_word : words) {
          part_of_a_title_word =
              part_of_a_title_word || (title_word != w && title_word.contains(w) && w.size() > 2);
        }
        EXPECT_FALSE(part_of_a_title_word && !words.contains(w)) << w.toStdString();
      }
    }
  }
}

TEST_F(ReportPainterTest, WrapBreaksAtBlanksAndSplitsOnlyOverlongWords) {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(10);
  const QFontMetricsF fm(font);
  const qreal width = fm.horizontalAdvance(QStringLiteral("пластина круглая"));

  const QString text = QStringLiteral("пластина круглая диаметром 300 мм");
  const QStringList lines = wrap_text(text, fm, width);
  EXPECT_GE(lines.size(), 2);
  EXPECT_EQ(lines.front(), QStringLiteral("пластина круглая"));
  EXPECT_EQ(lines.join(QLatin1Char(' ')), text);
  for (const auto& l : lines) {
    EXPECT_LE(fm.horizontalAdvance(l), width);
  }

  const QString word = QStringLiteral("сверхдлинноесловобезпробелов");
  const QStringList pieces = wrap_text(word, fm, fm.horizontalAdvance(QStringLiteral("сверх")));
  EXPECT_GT(pieces.size(), 2);
  EXPECT_EQ(pieces.join(QString()), word);

  EXPECT_EQ(wrap_text(QStringLiteral("одна\nдве"), fm, 1000),
            (QStringList{QStringLiteral("одна"), QStringLiteral("две")}));
  EXPECT_EQ(wrap_text(QStringLiteral("короткий"), fm, 1000), QStringList{QStringLiteral("короткий")});
}

TEST_F(ReportPainterTest, PaintsOnAnImage) {
  const MemoryDataset data = one_device_a_row();
  const ReportDocument doc(report1(), data, {","});
  constexpr int kDpi = 150;
  QImage image(static_cast<int>(297 / 25.4 * kDpi), static_cast<int>(210 / 25.4 * kDpi),
               QImage::Format_RGB32);
  image.setDotsPerMeterX(static_cast<int>(kDpi / 0.0254));
  image.setDotsPerMeterY(static_cast<int>(kDpi / 0.0254));
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    ReportPainter(&image).paint_page(painter, doc, 0);
  }
  auto px = [&](double x_mm, double y_mm) {
    return qGray(image.pixel(static_cast<int>(x_mm / 25.4 * kDpi), static_cast<int>(y_mm / 25.4 * kDpi)));
  };
  EXPECT_LT(px(14.1, 30.0), 160);   // the left line of the "Дата" header cell
  EXPECT_LT(px(20.0, 41.2), 160);   // the line between header and first row
  EXPECT_EQ(px(20.0, 60.0), 255);   // below the only row nothing is drawn
  EXPECT_EQ(px(150.0, 15.0), 255);  // right of the title
}

}  // namespace
}  // namespace vkt::report
