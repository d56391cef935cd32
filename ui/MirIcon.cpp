#include "ui/MirIcon.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPolygonF>
#include <cmath>
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

namespace {

// The program's icon drawn at every size when it is first asked for (a window shown, the tray):
// start-up draws the calendar before any of that.
class TProgramIconEngine : public QIconEngine {
 public:
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().actualSize(size, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().pixmap(size, 1.0, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return Icon().availableSizes(mode, state);
  }
  bool isNull() override { return false; }
  QIconEngine* clone() const override { return new TProgramIconEngine(*this); }

 private:
  const QIcon& Icon() {
    if (icon_.isNull())
      for (int s : kProgramIconSizes) icon_.addPixmap(QPixmap::fromImage(DrawProgramIcon(s)));
    return icon_;
  }
  QIcon icon_;
};

}  // namespace

QIcon ProgramIcon() { return QIcon(new TProgramIconEngine); }

// ---------------------------------------------------------------------------------------------
// Favourite icons

namespace {

using TIconPainter = void (*)(QPainter&);

const QColor kInk(60, 60, 60);

QPainterPath Star(QPointF c, qreal outer, qreal inner, int points) {
  QPainterPath path;
  for (int i = 0; i < 2 * points; ++i) {
    const qreal r = i % 2 ? inner : outer;
    const qreal a = M_PI * i / points - M_PI / 2;
    const QPointF p(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
    if (i == 0) path.moveTo(p);
    else path.lineTo(p);
  }
  path.closeSubpath();
  return path;
}

void Outline(QPainter& p, qreal width = 1.5) { p.setPen(QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)); }

}  // namespace

void DrawFace(QPainter& p, bool Smiling) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  Outline(p);
  p.setBrush(Smiling ? QColor(0xff, 0xd8, 0x3a) : QColor(0x9c, 0xc8, 0xf0));
  p.drawEllipse(QRectF(3, 3, 26, 26));
  p.setBrush(kInk);
  p.drawEllipse(QRectF(10, 10, 3, 4));
  p.drawEllipse(QRectF(19, 10, 3, 4));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
  if (Smiling) p.drawArc(QRectF(9, 9, 14, 13), 200 * 16, 140 * 16);
  else p.drawArc(QRectF(10, 19, 12, 9), 20 * 16, 140 * 16);
  p.restore();
}

namespace {

// Each draws on a 32 x 32 white square.
const TIconPainter kFavoritePainters[] = {
    [](QPainter& p) {  // star
      Outline(p);
      p.setBrush(QColor(0xff, 0xc8, 0x1e));
      p.drawPath(Star(QPointF(16, 17), 14, 6, 5));
    },
    [](QPainter& p) {  // heart
      QPainterPath h;
      h.moveTo(16, 28);
      h.cubicTo(2, 18, 2, 6, 9, 5);
      h.cubicTo(13, 4.5, 15, 7, 16, 10);
      h.cubicTo(17, 7, 19, 4.5, 23, 5);
      h.cubicTo(30, 6, 30, 18, 16, 28);
      Outline(p);
      p.setBrush(QColor(0xe0, 0x28, 0x3c));
      p.drawPath(h);
    },
    [](QPainter& p) { DrawFace(p, true); },
    [](QPainter& p) { DrawFace(p, false); },
    [](QPainter& p) {  // tick
      p.setPen(QPen(QColor(0x2e, 0x9e, 0x3c), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF({QPointF(6, 17), QPointF(13, 24), QPointF(26, 8)}));
    },
    [](QPainter& p) {  // cross
      p.setPen(QPen(QColor(0xd0, 0x20, 0x20), 5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(8, 8), QPointF(24, 24));
      p.drawLine(QPointF(24, 8), QPointF(8, 24));
    },
    [](QPainter& p) {  // warning
      Outline(p);
      p.setBrush(QColor(0xff, 0xa0, 0x10));
      p.drawPolygon(QPolygonF({QPointF(16, 3), QPointF(30, 28), QPointF(2, 28)}));
      p.setPen(Qt::NoPen);
      p.setBrush(kInk);
      p.drawRoundedRect(QRectF(14.5, 10, 3, 10), 1.5, 1.5);
      p.drawEllipse(QRectF(14.5, 22, 3, 3));
    },
    [](QPainter& p) {  // information
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0x2a, 0x6e, 0xd0));
      p.drawEllipse(QRectF(3, 3, 26, 26));
      p.setBrush(Qt::white);
      p.drawEllipse(QRectF(14, 7.5, 4, 4));
      p.drawRoundedRect(QRectF(14, 13, 4, 12), 1.5, 1.5);
    },
    [](QPainter& p) {  // flag
      p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(7, 4), QPointF(7, 29));
      QPainterPath f;
      f.moveTo(8, 5);
      f.cubicTo(14, 2, 18, 9, 26, 5);
      f.lineTo(26, 17);
      f.cubicTo(18, 21, 14, 14, 8, 17);
      f.closeSubpath();
      Outline(p, 1);
      p.setBrush(QColor(0xe0, 0x30, 0x30));
      p.drawPath(f);
    },
    [](QPainter& p) {  // bell
      QPainterPath b;
      b.moveTo(5, 24);
      b.cubicTo(9, 20, 8, 16, 9, 12);
      b.cubicTo(10, 6, 22, 6, 23, 12);
      b.cubicTo(24, 16, 23, 20, 27, 24);
      b.closeSubpath();
      Outline(p);
      p.setBrush(QColor(0xf0, 0xb4, 0x28));
      p.drawPath(b);
      p.drawEllipse(QRectF(13.5, 23, 5, 5));
      p.drawEllipse(QRectF(14.5, 3, 3, 3));
    },
    [](QPainter& p) {  // cake with a candle
      Outline(p);
      p.setBrush(QColor(0xf4, 0xc0, 0xd0));
      p.drawRect(QRectF(5, 17, 22, 11));
      p.setBrush(QColor(0xfa, 0xf0, 0xe0));
      p.drawRect(QRectF(5, 14, 22, 4));
      p.setBrush(QColor(0x50, 0x90, 0xe0));
      p.drawRect(QRectF(14.5, 6, 3, 8));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0xff, 0x90, 0x10));
      p.drawEllipse(QRectF(14, 1.5, 4, 5));
    },
    [](QPainter& p) {  // present
      Outline(p);
      p.setBrush(QColor(0x3c, 0xa0, 0x5a));
      p.drawRect(QRectF(5, 13, 22, 15));
      p.drawRect(QRectF(4, 9, 24, 5));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0xe0, 0x30, 0x30));
      p.drawRect(QRectF(14, 9, 4, 19));
      p.drawEllipse(QRectF(9, 4, 7, 6));
      p.drawEllipse(QRectF(16, 4, 7, 6));
    },
    [](QPainter& p) {  // sun
      p.setPen(QPen(QColor(0xf0, 0x9c, 0x10), 2, Qt::SolidLine, Qt::RoundCap));
      for (int i = 0; i < 8; ++i) {
        const qreal a = M_PI * i / 4;
        p.drawLine(QPointF(16 + 10 * std::cos(a), 16 + 10 * std::sin(a)),
                   QPointF(16 + 14 * std::cos(a), 16 + 14 * std::sin(a)));
      }
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0xff, 0xc8, 0x1e));
      p.drawEllipse(QPointF(16, 16), 7.5, 7.5);
    },
    [](QPainter& p) {  // cloud
      QPainterPath cloud;
      for (const QRectF& r : {QRectF(4, 13, 12, 12), QRectF(10, 7, 14, 14), QRectF(18, 12, 11, 11)}) {
        QPainterPath puff;
        puff.addEllipse(r);
        cloud = cloud.united(puff);
      }
      QPainterPath base;
      base.addRect(QRectF(10, 17, 14, 8));
      Outline(p);
      p.setBrush(QColor(0xc8, 0xd4, 0xe4));
      p.drawPath(cloud.united(base));
    },
    [](QPainter& p) {  // umbrella
      QPainterPath u;
      u.moveTo(3, 15);
      u.cubicTo(4, 4, 28, 4, 29, 15);
      u.closeSubpath();
      Outline(p);
      p.setBrush(QColor(0x8c, 0x3c, 0xc8));
      p.drawPath(u);
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(16, 15), QPointF(16, 25));
      p.drawArc(QRectF(11, 22, 5, 6), 180 * 16, 180 * 16);
    },
    [](QPainter& p) {  // snowflake
      p.setPen(QPen(QColor(0x3c, 0x8c, 0xdc), 2, Qt::SolidLine, Qt::RoundCap));
      for (int i = 0; i < 3; ++i) {
        const qreal a = M_PI * i / 3 + M_PI / 2;
        const QPointF d(12 * std::cos(a), 12 * std::sin(a));
        p.drawLine(QPointF(16, 16) - d, QPointF(16, 16) + d);
        for (int s : {-1, 1}) {
          const QPointF tip = QPointF(16, 16) + s * d * 0.6;
          for (int t : {-1, 1}) {
            const qreal b = a + t * M_PI / 4;
            p.drawLine(tip, tip + s * QPointF(4 * std::cos(b), 4 * std::sin(b)));
          }
        }
      }
    },
    [](QPainter& p) {  // moon
      QPainterPath full, bite;
      full.addEllipse(QRectF(5, 4, 24, 24));
      bite.addEllipse(QRectF(12, 1, 22, 22));
      Outline(p);
      p.setBrush(QColor(0xf4, 0xdc, 0x6c));
      p.drawPath(full.subtracted(bite));
    },
    [](QPainter& p) {  // envelope
      Outline(p);
      p.setBrush(QColor(0xfa, 0xf4, 0xe4));
      p.drawRect(QRectF(3, 8, 26, 17));
      p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(16, 18), QPointF(29, 8)}));
    },
    [](QPainter& p) {  // clock
      Outline(p);
      p.setBrush(Qt::white);
      p.drawEllipse(QRectF(3, 3, 26, 26));
      for (int i = 0; i < 12; i += 3) {
        const qreal a = M_PI * i / 6;
        p.drawPoint(QPointF(16 + 10 * std::cos(a), 16 + 10 * std::sin(a)));
      }
      p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(16, 16), QPointF(16, 8));
      p.drawLine(QPointF(16, 16), QPointF(22, 19));
    },
    [](QPainter& p) {  // house
      Outline(p);
      p.setBrush(QColor(0xf0, 0xe0, 0xc0));
      p.drawRect(QRectF(7, 15, 18, 13));
      p.setBrush(QColor(0xc0, 0x40, 0x30));
      p.drawPolygon(QPolygonF({QPointF(3, 16), QPointF(16, 4), QPointF(29, 16)}));
      p.setBrush(QColor(0x8c, 0x5a, 0x32));
      p.drawRect(QRectF(14, 20, 5, 8));
    },
    [](QPainter& p) {  // musical note
      p.setPen(Qt::NoPen);
      p.setBrush(kInk);
      p.drawEllipse(QRectF(5, 21, 8, 6));
      p.drawEllipse(QRectF(19, 18, 8, 6));
      p.drawRect(QRectF(11, 6, 2, 18));
      p.drawRect(QRectF(25, 3, 2, 18));
      p.drawPolygon(QPolygonF({QPointF(11, 6), QPointF(27, 3), QPointF(27, 7), QPointF(11, 10)}));
    },
    [](QPainter& p) {  // light bulb
      Outline(p);
      p.setBrush(QColor(0xff, 0xf0, 0x78));
      p.drawEllipse(QRectF(7, 2, 18, 18));
      p.setBrush(QColor(0xa8, 0xa8, 0xa8));
      p.drawRect(QRectF(12, 19, 8, 8));
      p.drawLine(QPointF(12, 22), QPointF(20, 22));
      p.drawLine(QPointF(14, 29), QPointF(18, 29));
    },
    [](QPainter& p) {  // pin
      p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(16, 18), QPointF(16, 30));
      Outline(p);
      p.setBrush(QColor(0xe0, 0x30, 0x30));
      p.drawEllipse(QRectF(7, 2, 18, 18));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(255, 255, 255, 170));
      p.drawEllipse(QRectF(11, 6, 5, 5));
    },
    [](QPainter& p) {  // book
      Outline(p);
      p.setBrush(QColor(0x2a, 0x64, 0xb4));
      p.drawRect(QRectF(6, 4, 20, 25));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(9, 24, 17, 5));
      p.setPen(QPen(QColor(0xe8, 0xc8, 0x50), 2));
      p.drawLine(QPointF(12, 11), QPointF(22, 11));
    },
    [](QPainter& p) {  // cup
      Outline(p);
      p.setBrush(QColor(0x8c, 0x50, 0x2a));
      p.drawRect(QRectF(6, 11, 16, 16));
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(kInk, 2));
      p.drawEllipse(QRectF(20, 14, 7, 8));
      p.setPen(QPen(QColor(0xa0, 0xa0, 0xa0), 1.5, Qt::SolidLine, Qt::RoundCap));
      for (qreal x : {10.0, 14.0, 18.0}) p.drawLine(QPointF(x, 3), QPointF(x, 8));
    },
    [](QPainter& p) {  // flower
      p.setPen(QPen(QColor(0x2e, 0x8c, 0x3c), 2));
      p.drawLine(QPointF(16, 16), QPointF(16, 30));
      Outline(p, 1);
      p.setBrush(QColor(0xf0, 0x78, 0xb4));
      for (int i = 0; i < 5; ++i) {
        const qreal a = 2 * M_PI * i / 5 - M_PI / 2;
        p.drawEllipse(QPointF(16 + 7 * std::cos(a), 13 + 7 * std::sin(a)), 5, 5);
      }
      p.setBrush(QColor(0xff, 0xd0, 0x30));
      p.drawEllipse(QPointF(16, 13), 4, 4);
    },
    [](QPainter& p) {  // arrow
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0x2a, 0x8c, 0xd0));
      p.drawPolygon(QPolygonF({QPointF(3, 12), QPointF(17, 12), QPointF(17, 4), QPointF(29, 16), QPointF(17, 28),
                               QPointF(17, 20), QPointF(3, 20)}));
    },
    [](QPainter& p) {  // calendar page
      p.drawImage(QRectF(0, 0, 32, 32), DrawProgramIcon(64));
    },
};

}  // namespace

std::vector<QImage> DrawFavoriteIcons() {
  std::vector<QImage> icons;
  for (const TIconPainter paint : kFavoritePainters) {
    QImage img(32, 32, QImage::Format_BGR888);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    p.end();
    icons.push_back(std::move(img));
  }
  return icons;
}
