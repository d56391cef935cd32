#include "foundation/KVBitmapList.h"

#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <climits>
#include <cstring>

#include "foundation/KVPicture.h"

namespace {

using std::int64_t;

// The comma-closed pieces of a size text; text after the last comma is not one.
QStringList ClosedPieces(const QString& text) {
  QStringList pieces = text.split(QLatin1Char(','));
  pieces.removeLast();
  return pieces;
}

// A decimal integer (blanks around it allowed) that fits in 32 bits, else 0.
int DecimalOrZero(const QString& piece) {
  const QString t = piece.trimmed();
  int i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) negative = t[i++] == QLatin1Char('-');
  if (i >= t.size()) return 0;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < QLatin1Char('0') || t[i] > QLatin1Char('9')) return 0;
    v = v * 10 + (t[i].unicode() - '0');
    if (v > int64_t(INT_MAX) + 1) return 0;
  }
  v = negative ? -v : v;
  return v > INT_MAX || v < INT_MIN ? 0 : int(v);
}


QString JoinSizes(const std::vector<int>& sizes) {
  QString s;
  for (int v : sizes) s += QString::number(v) + QLatin1Char(',');
  return s;
}

// Replaces the i-th closed number of a size text.
QString ReplaceSize(const QString& text, int i, int value, const std::vector<int>& sizes) {
  QStringList pieces = text.split(QLatin1Char(','));
  if (i < pieces.size() - 1) {
    pieces[i] = QString::number(value);
    return pieces.join(QLatin1Char(','));
  }
  std::vector<int> s = sizes;
  s[size_t(i)] = value;
  return JoinSizes(s);
}

// Copies source (clipped to the image) to dest, keeping the mapping between the two.
void PaintPart(QPainter& canvas, const TRect& dest, const QImage& image, const TRect& source) {
  if (image.isNull() || RectIsEmpty(dest) || RectIsEmpty(source)) return;
  TRect s;
  if (!IntersectRects(s, source, TRect{0, 0, image.width(), image.height()}) || RectIsEmpty(s)) return;
  const double sx = double(dest.Width()) / source.Width(), sy = double(dest.Height()) / source.Height();
  const QRectF target(dest.Left + (s.Left - source.Left) * sx, dest.Top + (s.Top - source.Top) * sy, s.Width() * sx,
                      s.Height() * sy);
  canvas.save();
  canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
  canvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
  canvas.drawImage(target, image, QRectF(s.Left, s.Top, s.Width(), s.Height()));
  canvas.restore();
}

void Need(bool ok, const char* what) {
  if (!ok) throw EReadError(QStringLiteral("Bitmap strip is not valid: %1").arg(QLatin1String(what)));
}

}  // namespace

std::vector<int> ParseSizes(const QString& text, int count) {
  const QStringList pieces = ClosedPieces(text);
  std::vector<int> out(size_t(count), 0);
  for (int i = 0; i < count && i < pieces.size(); ++i) out[size_t(i)] = DecimalOrZero(pieces[i]);
  return out;
}

const ClassInfo& TKVBitmapList::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TKVBitmapList>("TKVBitmapList", &TPersistent::StaticClass())
          .Int("Count", [](const TKVBitmapList& l) { return l.Count(); }, [](TKVBitmapList& l, int v) { l.SetCount(v); })
          .Str("WidthS", [](const TKVBitmapList& l) { return l.WidthS(); },
               [](TKVBitmapList& l, const QString& v) { l.SetWidthS(v); })
          .Str("HeightS", [](const TKVBitmapList& l) { return l.HeightS(); },
               [](TKVBitmapList& l, const QString& v) { l.SetHeightS(v); })
          .Color("TransparentColor", [](const TKVBitmapList& l) { return l.TransparentColor(); },
                 [](TKVBitmapList& l, TColor v) { l.SetTransparentColor(v); }, clNone)
          .Build();
  return ci;
}

void TKVBitmapList::SetWidthS(const QString& text) {
  widthS_ = text;
  RebuildSizes();
}

void TKVBitmapList::SetHeightS(const QString& text) {
  heightS_ = text;
  RebuildSizes();
}

void TKVBitmapList::SetTransparentColor(TColor color) {
  transparentColor_ = color;
  RebuildMask();
}

void TKVBitmapList::RebuildSizes() {
  widths_ = ParseSizes(widthS_, count_);
  heights_ = ParseSizes(heightS_, count_);
  rects_.assign(size_t(count_), TRect{});
  int64_t x = 0;
  for (int i = 0; i < count_; ++i) {
    const int64_t right = std::clamp<int64_t>(x + widths_[size_t(i)], INT_MIN, INT_MAX);
    rects_[size_t(i)] = TRect{int(x), 0, int(right), heights_[size_t(i)]};
    x = right;
  }
}

void TKVBitmapList::RebuildMask() {
  if (transparentColor_ == clNone || picture_.Empty()) {
    mask_ = TKVBitmap();
    masked_ = QImage();
    return;
  }
  TRGBTriple t;
  ColorToTriple(transparentColor_, t);
  const TPixelValue key = PixelValue(t);
  TKVBitmap mask(picture_.Width(), picture_.Height());
  QImage masked(picture_.Width(), picture_.Height(), QImage::Format_ARGB32);
  if (masked.isNull()) throw EOutOfResources(QStringLiteral("Not enough memory for the mask of a bitmap strip"));
  for (int y = 0; y < picture_.Height(); ++y) {
    const TRGBTriple* s = picture_.ScanLine(y);
    TRGBTriple* m = mask.ScanLine(y);
    auto* a = reinterpret_cast<QRgb*>(masked.scanLine(y));
    for (int x = 0; x < picture_.Width(); ++x) {
      const bool clear = PixelValue(s[x]) == key;
      const std::uint8_t v = clear ? 255 : 0;
      m[x] = TRGBTriple{v, v, v};
      a[x] = clear ? 0u : (0xFF000000u | PixelValue(s[x]));
    }
  }
  mask_ = std::move(mask);
  masked_ = std::move(masked);
}

void TKVBitmapList::AddBitmap(const QImage& graphic) {
  const int x = picture_.Width();
  picture_.BrushColor = clWhite;
  picture_.BrushStyle = bsSolid;
  picture_.SetSize(x + graphic.width(), std::max(picture_.Height(), graphic.height()));
  picture_.Draw(x, 0, graphic);
  widthS_ += QString::number(graphic.width()) + QLatin1Char(',');
  heightS_ += QString::number(graphic.height()) + QLatin1Char(',');
  if (transparentColor_ != clNone) RebuildMask();
  ++count_;
  RebuildSizes();
}

void TKVBitmapList::ReplaceBitmap(int i, const QImage& graphic) {
  if (!IsIndex(i)) {
    AddBitmap(graphic);
    return;
  }
  const TRect old = rects_[size_t(i)];
  int64_t width = graphic.width();
  int height = graphic.height();
  for (int j = 0; j < count_; ++j)
    if (j != i) {
      width += widths_[size_t(j)];
      height = std::max(height, heights_[size_t(j)]);
    }
  TKVBitmap strip(int(std::clamp<int64_t>(width, 0, INT_MAX)), height);
  strip.CopyRect(TRect{0, 0, old.Left, picture_.Height()}, picture_, TRect{0, 0, old.Left, picture_.Height()});
  strip.Draw(old.Left, 0, graphic);
  const int right = old.Left + graphic.width();
  strip.CopyRect(TRect{right, 0, right + picture_.Width() - old.Right, picture_.Height()}, picture_,
                 TRect{old.Right, 0, picture_.Width(), picture_.Height()});
  widthS_ = ReplaceSize(widthS_, i, graphic.width(), widths_);
  heightS_ = ReplaceSize(heightS_, i, graphic.height(), heights_);
  picture_.SetImage(strip.Image());
  if (transparentColor_ != clNone) RebuildMask();
  RebuildSizes();
}

void TKVBitmapList::Clear() {
  picture_.SetSize(0, 0);
  mask_ = TKVBitmap();
  masked_ = QImage();
  widthS_.clear();
  heightS_.clear();
  count_ = 0;
  RebuildSizes();
}

void TKVBitmapList::GetBitmap(TKVBitmap& bitmap, int i) const {
  if (!IsIndex(i)) return;
  const TRect r = rects_[size_t(i)];
  // Sizes that reach past the strip (only possible through inconsistent texts) are cut to it.
  const int w = std::clamp(r.Width(), 0, std::max(0, picture_.Width() - r.Left));
  const int h = std::clamp(r.Height(), 0, picture_.Height());
  bitmap.SetSize(w, h);
  bitmap.CopyRect(TRect{0, 0, w, h}, picture_, TRect{r.Left, 0, r.Left + w, h});
}

void TKVBitmapList::DrawImage(QPainter& canvas, int x, int i, int y) const {
  if (!IsIndex(i)) return;
  const TRect r = rects_[size_t(i)];
  PaintPart(canvas, TRect{x, y, x + r.Width(), y + r.Height()}, picture_.Image(), r);
}

void TKVBitmapList::DrawTransparent(QPainter& canvas, int x, int i, int y) const {
  if (!IsIndex(i)) return;
  if (masked_.isNull()) {
    DrawImage(canvas, x, i, y);
    return;
  }
  const TRect r = rects_[size_t(i)];
  PaintPart(canvas, TRect{x, y, x + r.Width(), y + r.Height()}, masked_, r);
}

void TKVBitmapList::CopyPart(QPainter& canvas, const TRect& dest, int i, const TRect& source) const {
  if (!IsIndex(i)) return;
  PaintPart(canvas, dest, picture_.Image(), OffsetRectBy(source, rects_[size_t(i)].Left, 0));
}

void TKVBitmapList::CopyMaskPart(QPainter& canvas, const TRect& dest, int i, const TRect& source) const {
  if (!IsIndex(i)) return;
  if (mask_.Empty()) {
    if (!RectIsEmpty(dest)) canvas.fillRect(QRect(dest.Left, dest.Top, dest.Width(), dest.Height()), Qt::black);
    return;
  }
  PaintPart(canvas, dest, mask_.Image(), OffsetRectBy(source, rects_[size_t(i)].Left, 0));
}

QRegion TKVBitmapList::ImageRegion(int i, int x, int y) const {
  if (!IsIndex(i)) return QRegion();
  const TRect r = rects_[size_t(i)];
  return BitmapRegion(mask_, x - r.Left, y, r);
}

QRegion TKVBitmapList::ImagePartRegion(int i, int x, int y, const TRect& part) const {
  if (!IsIndex(i)) return QRegion();
  const int left = rects_[size_t(i)].Left;
  return BitmapRegion(mask_, x - left, y, OffsetRectBy(part, left, 0));
}

void TKVBitmapList::LoadFromStream(QIODevice& stream) {
  Need(stream.seek(0), "the stream cannot be read from its start");
  const QByteArray header = stream.read(16);
  Need(header.size() == 16, "shorter than its header");
  auto i32 = [&header](int at) {
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | std::uint8_t(header[at + k]);
    return v;
  };
  const int lw = int(i32(0)), lh = int(i32(4)), count = int(i32(8));
  const TColor color = i32(12);
  Need(lw >= 0 && lh >= 0, "negative text length");
  const qint64 rest = stream.size() - stream.pos();
  Need(int64_t(lw) + lh <= rest, "shorter than its texts");
  const QByteArray ws = stream.read(lw), hs = stream.read(lh);
  Need(ws.size() == lw && hs.size() == lh, "shorter than its texts");
  const QString widthS = QString::fromLatin1(ws), heightS = QString::fromLatin1(hs);
  Need(count >= 0 && count <= ClosedPieces(widthS).size() && count <= ClosedPieces(heightS).size(),
       "its count does not match its sizes");

  const QByteArray bmp = stream.readAll();
  // Images need a bitmap to be taken from; only an empty strip may come without one.
  Need(count == 0 || !bmp.isEmpty(), "it has images but no bitmap");
  TKVBitmap picture;
  if (!bmp.isEmpty()) picture.SetImage(DecodeBMP(bmp));
  // Every image has a column of the strip to itself, so the strip's width bounds the count.
  Need(count <= picture.Width(), "more images than the strip has columns");
  const std::vector<int> widths = ParseSizes(widthS, count), heights = ParseSizes(heightS, count);
  int64_t total = 0;
  for (int k = 0; k < count; ++k) {
    Need(widths[size_t(k)] >= 0 && heights[size_t(k)] >= 0, "negative image size");
    Need(heights[size_t(k)] <= picture.Height(), "an image is taller than the strip");
    total += widths[size_t(k)];
  }
  Need(total <= picture.Width(), "its images are wider than the strip");

  picture_ = std::move(picture);
  widthS_ = widthS;
  heightS_ = heightS;
  SetTransparentColor(color);
  count_ = count;
  RebuildSizes();
}

void TKVBitmapList::SaveToStream(QIODevice& stream) const {
  const QByteArray ws = widthS_.toLatin1(), hs = heightS_.toLatin1();
  QByteArray header(16, '\0');
  auto put = [&header](int at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) header[at + k] = char(v >> (8 * k));
  };
  put(0, std::uint32_t(ws.size()));
  put(4, std::uint32_t(hs.size()));
  put(8, std::uint32_t(count_));
  put(12, transparentColor_);
  const QByteArray head = header + ws + hs;
  if (stream.write(head) != head.size())
    throw EStreamError(QStringLiteral("Stream write error: %1").arg(stream.errorString()));
  WriteBitmap24(stream, picture_.Image());
}

void TKVBitmapList::Assign(const TPersistent& source) {
  if (!source.InheritsFrom(TKVBitmapList::StaticClass())) {
    TPersistent::Assign(source);
    return;
  }
  const auto& s = static_cast<const TKVBitmapList&>(source);
  if (&s == this) return;
  count_ = s.count_;
  widthS_ = s.widthS_;
  heightS_ = s.heightS_;
  transparentColor_ = s.transparentColor_;
  picture_ = s.picture_;
  mask_ = s.mask_;
  masked_ = s.masked_;
  RebuildSizes();
}

TKVBitmapList& TKVBitmapObjectList::Add() {
  items_.push_back(std::make_unique<TKVBitmapList>());
  return *items_.back();
}

void TKVBitmapObjectList::Delete(int i) {
  if (i >= 0 && i < Count()) items_.erase(items_.begin() + i);
}
