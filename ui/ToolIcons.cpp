#include "ui/ToolIcons.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cstring>

#include "ui/MirIcon.h"

namespace {

constexpr int kSide = 16;

// The drawn pictures, on a 16 x 16 grid.
void Draw(QPainter& p, const char* name) {
  const QColor ink(40, 40, 40);
  p.setPen(QPen(ink, 1));
  const auto letter = [&](const QString& text, bool bold, bool italic, bool underline) {
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setPixelSize(13);
    f.setBold(bold);
    f.setItalic(italic);
    p.setFont(f);
    p.drawText(QRect(0, -1, kSide, kSide - 2), Qt::AlignCenter, text);
    if (underline) p.drawLine(4, 14, 11, 14);
  };
  const auto lines = [&](int align) {
    const int widths[] = {12, 8, 12, 6};
    for (int i = 0; i < 4; ++i) {
      const int w = widths[i];
      const int x = align == 0 ? 2 : align == 1 ? (kSide - w) / 2 : kSide - 2 - w;
      p.drawLine(x, 3 + i * 3, x + w - 1, 3 + i * 3);
    }
  };
  if (!std::strcmp(name, "format-text-bold")) letter(QStringLiteral("B"), true, false, false);
  else if (!std::strcmp(name, "format-text-italic")) letter(QStringLiteral("I"), false, true, false);
  else if (!std::strcmp(name, "format-text-underline")) letter(QStringLiteral("U"), false, false, true);
  else if (!std::strcmp(name, "format-text-color")) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, -2, kSide, 13), Qt::AlignCenter, QStringLiteral("A"));
    p.fillRect(2, 12, 12, 3, QColor(220, 0, 0));
  } else if (!std::strcmp(name, "format-justify-left")) lines(0);
  else if (!std::strcmp(name, "format-justify-center")) lines(1);
  else if (!std::strcmp(name, "format-justify-right")) lines(2);
  else if (!std::strcmp(name, "format-list-unordered")) {
    p.setBrush(ink);
    for (int i = 0; i < 3; ++i) {
      p.drawEllipse(QRectF(1.5, 2.5 + i * 4.5, 2, 2));
      p.drawLine(6, 3 + i * 5, 14, 3 + i * 5);
    }
  } else if (!std::strcmp(name, "edit-cut")) {
    p.setRenderHint(QPainter::Antialiasing);
    p.drawLine(5, 1, 10, 10);
    p.drawLine(10, 1, 5, 10);
    p.drawEllipse(QRectF(1.5, 10.5, 4, 4));
    p.drawEllipse(QRectF(9.5, 10.5, 4, 4));
  } else if (!std::strcmp(name, "edit-copy")) {
    p.setBrush(Qt::white);
    p.drawRect(1, 1, 8, 10);
    p.drawRect(6, 4, 8, 10);
  } else if (!std::strcmp(name, "edit-paste")) {
    p.setBrush(QColor(200, 160, 100));
    p.drawRect(2, 2, 10, 12);
    p.setBrush(Qt::white);
    p.drawRect(6, 6, 8, 9);
    p.drawRect(5, 1, 4, 2);
  } else if (!std::strcmp(name, "insert-image")) {
    // The favourite icons' smiling face, at half size.
    p.save();
    p.scale(0.5, 0.5);
    DrawFace(p, true);
    p.restore();
  } else if (!std::strcmp(name, "appointment-new")) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.drawLine(QPointF(8, 8), QPointF(8, 4));
    p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
  }
}

}  // namespace

QIcon RichEditToolIcon(const char* Name) {
  const QString name = QLatin1String(Name);
  if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
  QIcon icon;
  for (int scale : {1, 2}) {
    QPixmap pm(kSide * scale, kSide * scale);
    pm.setDevicePixelRatio(scale);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    Draw(p, Name);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}
