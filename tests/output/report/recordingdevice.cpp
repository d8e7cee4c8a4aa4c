#include "recordingdevice.h"

#include <QTextItem>
#include <cmath>

namespace vkt::testing {

class RecordingDevice::Engine : public QPaintEngine {
 public:
  Engine() : QPaintEngine(QPaintEngine::AllFeatures) {}

  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  Type type() const override { return QPaintEngine::User; }

  void updateState(const QPaintEngineState& state) override {
    if (state.state() & QPaintEngine::DirtyPen) {
      pen_ = state.pen();
    }
  }

  using QPaintEngine::drawRects;
  void drawRects(const QRectF* rects, int count) override {
    for (int i = 0; i < count; ++i) {
      rects_.append({rects[i], pen_.widthF()});
    }
  }

  using QPaintEngine::drawLines;
  void drawLines(const QLineF* lines, int count) override {
    for (int i = 0; i < count; ++i) {
      segments_.append({lines[i], pen_.widthF(), pen_.capStyle()});
    }
  }

  void drawTextItem(const QPointF& p, const QTextItem& item) override {
    texts_.append({p, item.width(), item.text(), item.font()});
  }

  void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
  void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
  using QPaintEngine::drawPolygon;

  QList<Rect> rects_;
  QList<Segment> segments_;
  QList<Text> texts_;
  QPen pen_;
};

RecordingDevice::RecordingDevice(int dpi, bool landscape)
    : dpi_(dpi),
      width_mm_(landscape ? 297 : 210),
      height_mm_(landscape ? 210 : 297),
      engine_(std::make_unique<Engine>()) {}

RecordingDevice::~RecordingDevice() = default;

QPaintEngine* RecordingDevice::paintEngine() const {
  return engine_.get();
}

const QList<RecordingDevice::Rect>& RecordingDevice::rects() const {
  return engine_->rects_;
}

const QList<RecordingDevice::Segment>& RecordingDevice::segments() const {
  return engine_->segments_;
}

QList<RecordingDevice::Text> RecordingDevice::lines() const {
  QList<Text> out;
  for (const Text& t : engine_->texts_) {
    if (!out.isEmpty()) {
      Text& last = out.last();
      if (std::abs(last.baseline.y() - t.baseline.y()) < 0.5 &&
          std::abs(last.baseline.x() + last.width - t.baseline.x()) < 0.5) {
        last.text += t.text;
        last.width += t.width;
        continue;
      }
    }
    out.append(t);
  }
  return out;
}

void RecordingDevice::clear() {
  engine_->rects_.clear();
  engine_->segments_.clear();
  engine_->texts_.clear();
}

int RecordingDevice::metric(PaintDeviceMetric metric) const {
  switch (metric) {
    case PdmWidth:
      return static_cast<int>(std::lround(width_mm_ / 25.4 * dpi_));
    case PdmHeight:
      return static_cast<int>(std::lround(height_mm_ / 25.4 * dpi_));
    case PdmWidthMM:
      return width_mm_;
    case PdmHeightMM:
      return height_mm_;
    case PdmNumColors:
      return INT_MAX;
    case PdmDepth:
      return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
      return dpi_;
    case PdmDevicePixelRatio:
      return 1;
    case PdmDevicePixelRatioScaled:
      return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
  }
  return 0;
}

}  // namespace vkt::testing
