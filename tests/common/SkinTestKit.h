#pragma once
// Small skins built in tests: images painted in blocks of plain colour, strips and skin packages
// made of them, and pixel reads of what a widget painted.
#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <functional>
#include <vector>

#include "foundation/KVBitmapList.h"
#include "foundation/KVRStream.h"
#include "foundation/KVSkin.h"
#include "foundation/KVTextHelper.h"

namespace kvtest {

// A W x H image of one colour, with optional rectangles of other colours painted over it.
struct Block {
  QRect rect;
  QColor color;
};
inline QImage SkinImage(int w, int h, const QColor& fill, const std::vector<Block>& blocks = {}) {
  QImage img(w, h, QImage::Format_BGR888);
  img.fill(fill);
  QPainter p(&img);
  for (const Block& b : blocks) p.fillRect(b.rect, b.color);
  return img;
}

// A strip of the images, side by side, with an optional transparent colour.
inline void FillStrip(TKVBitmapList& strip, const std::vector<QImage>& images, TColor transparent = clNone) {
  strip.Clear();
  for (const QImage& i : images) strip.AddBitmap(i);
  strip.SetTransparentColor(transparent);
}

inline QByteArray StripBytes(const TKVBitmapList& strip) {
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  strip.SaveToStream(b);
  return b.data();
}

// A skin package: the values, a nested pack (holding Nested when given), the strips (stream
// bytes) and the form texts (first line the form's name).
inline QByteArray SkinPackage(const QString& values, const std::vector<QByteArray>& strips, const QStringList& forms,
                              const QByteArray& nested = QByteArray()) {
  TKVResWriter w(0x564B0001, true);
  w.AddBuffer(-2, values.toLatin1());
  TKVResWriter inner(5, true);
  if (!nested.isNull()) inner.AddBuffer(3, nested);
  QBuffer nb;
  nb.open(QIODevice::WriteOnly);
  inner.SaveToStream(nb);
  w.AddBuffer(-2, nb.data());
  for (const QByteArray& s : strips) w.AddBuffer(-4, s);
  for (const QString& f : forms) w.AddBuffer(-2, f.toLatin1());
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  w.SaveToStream(out);
  return out.data();
}

// The same with the counts as its values and an empty nested pack.
inline QByteArray SkinPackage(const std::vector<QByteArray>& strips, const QStringList& forms) {
  return SkinPackage(QStringLiteral("imagescount=%1\r\nformscount=%2\r\n").arg(strips.size()).arg(forms.size()),
                     strips, forms);
}

inline void LoadSkinPackage(TAppSkin& skin, const QByteArray& bytes) {
  QBuffer b;
  b.setData(bytes);
  b.open(QIODevice::ReadOnly);
  skin.LoadSkinPackage(b);
}

// What the widget shows, its children included, at one image pixel per widget pixel.
inline QImage Shot(QWidget& w) {
  QImage img = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
  img.setDevicePixelRatio(1.0);
  return img;
}

inline QColor ColorOf(TColor c) { return ToQColor(c); }

// The pixel as "#rrggbb", so a failure names the colour seen.
inline std::string At(const QImage& img, int x, int y) {
  return QColor(img.pixel(x, y)).name().toStdString();
}
inline std::string Name(const QColor& c) { return c.name().toStdString(); }

}  // namespace kvtest
