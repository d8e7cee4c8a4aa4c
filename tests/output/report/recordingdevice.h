#pragma once

#include <QFont>
#include <QLineF>
#include <QList>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <memory>

namespace vkt::testing {

// A paint device that keeps what is drawn on it: rectangles and straight lines with their pen, and
// text runs with their baseline position and advance, all in device units.
class RecordingDevice : public QPaintDevice {
 public:
  struct Rect {
    QRectF rect;
    qreal pen_width;
  };
  struct Segment {
    QLineF line;
    qreal pen_width;
    Qt::PenCapStyle cap;
  };
  struct Text {
    QPointF baseline;  // start of the run on its baseline
    qreal width;
    QString text;
    QFont font;
  };

  // An A4 sheet at the given resolution, portrait or landscape.
  RecordingDevice(int dpi, bool landscape);
  ~RecordingDevice() override;

  QPaintEngine* paintEngine() const override;

  int dpi() const { return dpi_; }
  qreal mm(qreal device_units) const { return device_units * 25.4 / dpi_; }

  const QList<Rect>& rects() const;
  const QList<Segment>& segments() const;
  // Runs on one baseline that follow each other are joined (the text engine may split a line
  // where the script changes).
  QList<Text> lines() const;
  void clear();

 protected:
  int metric(PaintDeviceMetric metric) const override;

 private:
  class Engine;
  int dpi_;
  int width_mm_;
  int height_mm_;
  std::unique_ptr<Engine> engine_;
};

}  // namespace vkt::testing
