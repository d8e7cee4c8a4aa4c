#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QLineF>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QTextLayout>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "output/report/reportdocument.h"

class QPainter;
class QPaintDevice;

namespace vkt::report {

// Breaks text into lines no wider than max_width: at blanks, and inside a word only when the word
// alone is wider than the line. Line breaks in the text are kept.
QStringList wrap_text(const QString& text, const QFontMetricsF& metrics, qreal max_width);

// Paints the pages of a document on any paint device (printer, PDF writer, image, preview). The
// device's resolution turns millimetres into device units; its origin must be the paper's top-left
// corner. Fonts and their metrics are kept for the device the painter was made for.
class ReportPainter {
 public:
  // A line of text shaped for one font and width, drawn with its top-left corner at a point.
  struct ShapedLine {
    std::unique_ptr<QTextLayout> layout;
    QString text;
    // The glyphs, placed from the top-left corner.
    QList<QGlyphRun> runs;
    qreal advance = 0;
    qreal ascent = 0;
  };
  struct PlacedLine {
    const ShapedLine* line;
    QPointF at;
  };
  // What a page shows, in device units: frame lines, all of one width, and lines of text.
  struct PageDrawing {
    std::vector<QLineF> frames;
    qreal frame_width = 0;
    std::vector<PlacedLine> texts;
  };

  explicit ReportPainter(const QPaintDevice* device);

  // The page's lines and texts; its texts stay valid until the next page is composed.
  PageDrawing compose_page(const ReportDocument& document, int index);
  void paint_page(QPainter& painter, const ReportDocument& document, int index);

  // Device units per millimetre.
  qreal dots_per_mm_x() const { return dpmm_x_; }
  qreal dots_per_mm_y() const { return dpmm_y_; }

 private:
  struct FontEntry {
    QFont font;
    QFontMetricsF metrics;
  };
  // A text broken into lines and shaped for one font and width, each line laid out once.
  struct ShapedText {
    std::vector<ShapedLine> lines;
  };
  const FontEntry& font_for(const CellFont& font);
  ShapedLine lay_out_line(const FontEntry& entry, const QString& line, qreal width) const;
  const ShapedText& shaped(const FontEntry& entry, const std::string& text, qreal width);
  // The cell's font, or a smaller one in which the text's widest word fits the width.
  const FontEntry& fitting_font(const CellFont& font, const std::string& text, qreal width);
  QRectF box_of(const PlacedCell& placed) const;
  void place_cell(const PlacedCell& placed, std::vector<PlacedLine>& out);

  const QPaintDevice* device_;
  qreal dpmm_x_;
  qreal dpmm_y_;
  std::map<std::pair<std::string, std::pair<int, bool>>, FontEntry> fonts_;
  // Pages repeat the same texts over and over (band titles, column heads, values): each is shaped
  // once. The key is the font's address, the width in hundredths of a unit and the text.
  std::unordered_map<std::string, ShapedText> shaped_;
  // The fitting font of a text too wide for its cell, by the same key with the cell's font.
  std::unordered_map<std::string, const FontEntry*> fitted_;
};

}  // namespace vkt::report
