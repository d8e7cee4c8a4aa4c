#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <QStringList>
#include <map>
#include <utility>

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
  explicit ReportPainter(const QPaintDevice* device);

  void paint_page(QPainter& painter, const ReportDocument& document, int index);

  // Device units per millimetre.
  qreal dots_per_mm_x() const { return dpmm_x_; }
  qreal dots_per_mm_y() const { return dpmm_y_; }

 private:
  struct FontEntry {
    QFont font;
    QFontMetricsF metrics;
  };
  const FontEntry& font_for(const CellFont& font);
  void paint_cell(QPainter& painter, const PlacedCell& placed);

  const QPaintDevice* device_;
  qreal dpmm_x_;
  qreal dpmm_y_;
  std::map<std::pair<std::string, std::pair<int, bool>>, FontEntry> fonts_;
};

}  // namespace vkt::report
