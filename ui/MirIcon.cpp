#include "ui/MirIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

QImage DrawProgramIcon(int Size) {
  QImage img(Size, Size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(Size / 64.0, Size / 64.0);
  // The page with a soft shadow.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 60));
  p.drawRoundedRect(QRectF(6, 9, 54, 52), 7, 7);
  p.setBrush(QColor(0xfa, 0xfa, 0xf7));
  p.drawRoundedRect(QRectF(4, 6, 54, 52), 7, 7);
  // The heading band.
  QPainterPath band;
  band.addRoundedRect(QRectF(4, 6, 54, 16), 7, 7);
  band.addRect(QRectF(4, 14, 54, 8));
  p.setBrush(QColor(0xc8, 0x32, 0x2d));
  p.drawPath(band.simplified());
  // The picture: sky, sun, hills.
  const QRectF pic(9, 26, 44, 27);
  QPainterPath clip;
  clip.addRoundedRect(pic, 3, 3);
  p.save();
  p.setClipPath(clip);
  QLinearGradient sky(pic.topLeft(), pic.bottomLeft());
  sky.setColorAt(0, QColor(0x4a, 0x90, 0xd9));
  sky.setColorAt(1, QColor(0xbf, 0xe0, 0xf5));
  p.fillRect(pic, sky);
  p.setBrush(QColor(0xff, 0xd2, 0x4a));
  p.drawEllipse(QPointF(43, 33), 4.5, 4.5);
  QPainterPath far;
  far.moveTo(9, 46);
  far.cubicTo(20, 34, 28, 36, 36, 44);
  far.cubicTo(42, 40, 48, 39, 53, 43);
  far.lineTo(53, 53);
  far.lineTo(9, 53);
  p.setBrush(QColor(0x5b, 0x8c, 0x4a));
  p.drawPath(far);
  QPainterPath near;
  near.moveTo(9, 50);
  near.cubicTo(22, 44, 36, 47, 53, 50);
  near.lineTo(53, 53);
  near.lineTo(9, 53);
  p.setBrush(QColor(0x3d, 0x6e, 0x34));
  p.drawPath(near);
  p.restore();
  // The binding rings.
  p.setBrush(QColor(0x50, 0x50, 0x50));
  for (qreal x : {18.0, 44.0}) p.drawRoundedRect(QRectF(x - 2, 2, 4, 9), 2, 2);
  return img;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int s : kProgramIconSizes) icon.addPixmap(QPixmap::fromImage(DrawProgramIcon(s)));
  return icon;
}
