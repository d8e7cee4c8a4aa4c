#include "ui/splashwindow.h"

#include <QCloseEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <cmath>

#include "ui/programtitle.h"

namespace vkt {

SplashWindow::SplashWindow(int show_ms, QWidget* parent)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint), picture_(draw_picture()) {
  setObjectName(QStringLiteral("TForm5"));
  setFixedSize(400, 77);
  setModal(true);
  timer_.setObjectName(QStringLiteral("Timer1"));
  timer_.setSingleShot(true);
  timer_.setInterval(show_ms);
  connect(&timer_, &QTimer::timeout, this, &SplashWindow::Timer1Timer);
}

QPixmap SplashWindow::draw_picture() {
  QPixmap pixmap(400, 78);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, 400, 78);
  sky.setColorAt(0.0, QColor(22, 58, 110));
  sky.setColorAt(1.0, QColor(48, 110, 170));
  p.fillRect(pixmap.rect(), sky);

  // A loading plate on the ground and the falling weight's pulse: what the instrument measures.
  p.fillRect(QRectF(0, 66, 400, 12), QColor(120, 96, 62));
  p.fillRect(QRectF(322, 60, 64, 6), QColor(200, 200, 205));
  p.fillRect(QRectF(349, 14, 10, 46), QColor(170, 170, 178));
  p.fillRect(QRectF(337, 26, 34, 10), QColor(220, 160, 40));

  QPainterPath pulse;
  pulse.moveTo(244, 56);
  for (int x = 0; x <= 70; ++x) {
    const double t = (x - 35) / 10.0;
    pulse.lineTo(244 + x, 56 - 40 * std::exp(-t * t));
  }
  p.setPen(QPen(QColor(255, 120, 90), 2));
  p.drawPath(pulse);

  QFont title = program_font();
  title.setPointSize(22);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(16, 6, 260, 40), Qt::AlignLeft | Qt::AlignVCenter, program_title());

  QFont subtitle = program_font();
  subtitle.setPointSize(8);
  p.setFont(subtitle);
  p.setPen(QColor(220, 230, 245));
  p.drawText(QRectF(16, 44, 280, 18), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Передача данных с приборов ВКТ-РС7"));
  return pixmap;
}

void SplashWindow::showEvent(QShowEvent* event) {
  move(screen()->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
  time_up_ = false;
  timer_.start();
}

void SplashWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, picture_);
}

void SplashWindow::Timer1Timer() {
  time_up_ = true;
  accept();
}

void SplashWindow::closeEvent(QCloseEvent* event) {
  if (!time_up_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void SplashWindow::reject() {
  // Escape and the window manager's close do not shorten the display.
  if (time_up_) {
    QDialog::reject();
  }
}

}  // namespace vkt
