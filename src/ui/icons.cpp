#include "ui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vkt {

namespace {

constexpr int kSize = 16;

const QColor kInk(40, 40, 40);
const QColor kPaper(250, 250, 245);
const QColor kBlue(40, 90, 170);
const QColor kYellow(232, 190, 60);
const QColor kRed(190, 40, 40);

// A sheet of paper with a folded corner, the base of several pictures.
void draw_sheet(QPainter& p) {
  QPainterPath sheet;
  sheet.moveTo(3.5, 1.5);
  sheet.lineTo(10.5, 1.5);
  sheet.lineTo(13.5, 4.5);
  sheet.lineTo(13.5, 14.5);
  sheet.lineTo(3.5, 14.5);
  sheet.closeSubpath();
  p.setPen(QPen(kInk, 1));
  p.setBrush(kPaper);
  p.drawPath(sheet);
  p.drawLine(QPointF(10.5, 1.5), QPointF(10.5, 4.5));
  p.drawLine(QPointF(10.5, 4.5), QPointF(13.5, 4.5));
}

void draw_create(QPainter& p) {
  draw_sheet(p);
  // A small star: something new.
  p.setPen(QPen(kYellow.darker(130), 1.2));
  p.drawLine(QPointF(8.5, 7), QPointF(8.5, 13));
  p.drawLine(QPointF(5.5, 10), QPointF(11.5, 10));
  p.drawLine(QPointF(6.5, 8), QPointF(10.5, 12));
  p.drawLine(QPointF(10.5, 8), QPointF(6.5, 12));
}

void draw_open(QPainter& p) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(kYellow.darker(115));
  p.drawRect(QRectF(1.5, 4.5, 12, 9));
  p.drawRect(QRectF(1.5, 3.5, 5, 1));
  QPainterPath flap;
  flap.moveTo(3.5, 7.5);
  flap.lineTo(15.5, 7.5);
  flap.lineTo(13.5, 13.5);
  flap.lineTo(1.5, 13.5);
  flap.closeSubpath();
  p.setBrush(kYellow);
  p.drawPath(flap);
}

void draw_save(QPainter& p) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(kBlue);
  p.drawRect(QRectF(1.5, 1.5, 13, 13));
  p.setBrush(kPaper);
  p.drawRect(QRectF(4.5, 1.5, 7, 5));
  p.setBrush(QColor(200, 200, 200));
  p.drawRect(QRectF(4.5, 9.5, 7, 5));
  p.fillRect(QRectF(9, 2.5, 1.5, 3), kInk);
}

void draw_preview(QPainter& p) {
  draw_sheet(p);
  p.setPen(QPen(kInk, 1.4));
  p.setBrush(QColor(190, 220, 250));
  p.drawEllipse(QPointF(7.5, 8.0), 3.0, 3.0);
  p.drawLine(QPointF(9.7, 10.2), QPointF(13.5, 14.0));
}

void draw_print(QPainter& p) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(kPaper);
  p.drawRect(QRectF(4.5, 1.5, 7, 5));
  p.setBrush(QColor(170, 170, 170));
  p.drawRect(QRectF(1.5, 6.5, 13, 6));
  p.setBrush(kPaper);
  p.drawRect(QRectF(4.5, 10.5, 7, 4));
  p.fillRect(QRectF(12, 8, 1.5, 1.5), QColor(60, 170, 60));
}

void draw_help(QPainter& p) {
  p.setPen(QPen(kBlue.darker(120), 1));
  p.setBrush(kBlue);
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
  QFont f;
  f.setPixelSize(11);
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, QStringLiteral("?"));
}

void draw_delete_rows(QPainter& p) {
  p.setPen(QPen(kInk, 1));
  for (int row = 0; row < 3; ++row) {
    p.setBrush(row == 1 ? QColor(200, 215, 240) : kPaper);
    p.drawRect(QRectF(1.5, 2.5 + row * 4, 12, 4));
  }
  p.setPen(QPen(kRed, 2));
  p.drawLine(QPointF(8, 8), QPointF(15, 15));
  p.drawLine(QPointF(15, 8), QPointF(8, 15));
}

QIcon paint(void (*draw)(QPainter&)) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  draw(p);
  p.end();
  return QIcon(pixmap);
}

}  // namespace

QList<QIcon> program_pictures() {
  return {paint(draw_create), paint(draw_open), paint(draw_save),       paint(draw_preview),
          paint(draw_print),  paint(draw_help), paint(draw_delete_rows)};
}

}  // namespace vkt
