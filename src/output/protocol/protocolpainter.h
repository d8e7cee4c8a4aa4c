#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QRectF>
#include <QString>
#include <map>
#include <utility>

#include "image/dropanalysis.h"
#include "output/protocol/protocoldata.h"

class QPainter;
class QPaintDevice;

namespace vkt::protocol {

// The protocol's paper: A4 portrait, drawn up to the paper's edge (the page keeps its own
// margins, wide enough for any printer's unprintable border).
inline constexpr double kPageWidthMm = 210;
inline constexpr double kPageHeightMm = 297;

// Paints the pages of a protocol on any paint device (PDF writer, printer, preview) whose origin
// is the paper's top-left corner; the device's resolution turns millimetres into its units. Page
// `index` (from 0) is a point's page, or the summary page after the last point.
class ProtocolPainter {
 public:
  explicit ProtocolPainter(const QPaintDevice* device);

  void paint_page(QPainter& painter, const Protocol& protocol, int index);

 private:
  struct FontEntry {
    QFont font;
    QFontMetricsF metrics;
  };
  const FontEntry& font(double point_size, bool bold);

  qreal x(double mm) const { return mm * dpmm_x_; }
  qreal y(double mm) const { return mm * dpmm_y_; }
  QRectF box(double left, double top, double width, double height) const;
  qreal pen(double mm) const { return mm * dpmm_x_; }

  // A text in a box, in a font made smaller (down to a limit) until it fits, and shortened with
  // an ellipsis only when even that is too wide.
  void text(QPainter& painter, const QRectF& area, const QString& text, double point_size, bool bold,
            int alignment);

  double title(QPainter& painter, const QString& line1, const QString& line2);
  double header(QPainter& painter, const Protocol& protocol, const ProtocolPoint& point, double top);
  double drop_table(QPainter& painter, const ProtocolPoint& point, double top);
  double verdict(QPainter& painter, const Protocol& protocol, const ProtocolPoint& point, double top);
  void curves(QPainter& painter, const ProtocolPoint& point, double top, double bottom);
  void chart(QPainter& painter, const ProtocolPoint& point, bool force, const QRectF& frame);
  void footer(QPainter& painter, const Protocol& protocol, int index);
  void point_page(QPainter& painter, const Protocol& protocol, int index);
  void summary_page(QPainter& painter, const Protocol& protocol, int index);

  const QPaintDevice* device_;
  qreal dpmm_x_;
  qreal dpmm_y_;
  std::map<std::pair<int, bool>, FontEntry> fonts_;
};

// Texts of the protocol, shared with its tests.
QString decimal(double value, int decimals);  // with a decimal comma
QString flags_text(const image::DropFlags& flags);

}  // namespace vkt::protocol
