#include "ui/screenfit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace vkt {

namespace {

class ScreenFit : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
      auto* widget = static_cast<QWidget*>(watched);
      if (widget->isWindow() && !(widget->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        fit_into_screen(*widget);
      }
    }
    return false;
  }
};

}  // namespace

void fit_into_screen(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) {
    return;
  }
  fit_into_area(window, screen->availableGeometry());
}

void fit_into_area(QWidget& window, const QRect& area) {
  // The frame (title bar and borders) comes on top of the window's own size.
  const QRect frame = window.frameGeometry();
  const QSize decoration = frame.size() - window.size();
  const QSize room = area.size() - decoration;
  if (window.width() > room.width() || window.height() > room.height()) {
    const QSize fitted = window.size().boundedTo(room);
    window.setMinimumSize(window.minimumSize().boundedTo(fitted));
    window.resize(fitted);
  }
  QRect placed = window.frameGeometry();
  placed.moveLeft(
      std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() - placed.width() + 1)));
  placed.moveTop(
      std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() - placed.height() + 1)));
  if (placed.topLeft() != window.frameGeometry().topLeft()) {
    window.move(placed.topLeft());
  }
}

void keep_windows_on_screen(QApplication& application) {
  application.installEventFilter(new ScreenFit(&application));
}

}  // namespace vkt
