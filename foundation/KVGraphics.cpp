#include "foundation/KVGraphics.h"

#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include <sys/mman.h>

#include "foundation/KVClasses.h"

namespace {

using std::int64_t;
using std::uint8_t;

inline uint8_t ClampByte(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

inline TRGBTriple TripleOf(TPixelValue v) {
  return TRGBTriple{uint8_t(v & 0xFF), uint8_t((v >> 8) & 0xFF), uint8_t((v >> 16) & 0xFF)};
}

// A copy of a source rectangle to (x, y), clipped against every edge of source and destination.
struct Blit {
  int dx = 0, dy = 0, sx = 0, sy = 0, w = 0, h = 0;
};

bool ClipBlit(int destW, int destH, int x, int y, const TRect& src, int srcW, int srcH, Blit& out) {
  int64_t sl = src.Left, st = src.Top, sr = src.Right, sb = src.Bottom, dx = x, dy = y;
  if (sl < 0) {
    dx -= sl;
    sl = 0;
  }
  if (st < 0) {
    dy -= st;
    st = 0;
  }
  sr = std::min<int64_t>(sr, srcW);
  sb = std::min<int64_t>(sb, srcH);
  if (dx < 0) {
    sl -= dx;
    dx = 0;
  }
  if (dy < 0) {
    st -= dy;
    dy = 0;
  }
  const int64_t w = std::min<int64_t>(sr - sl, destW - dx), h = std::min<int64_t>(sb - st, destH - dy);
  if (w <= 0 || h <= 0) return false;
  out = Blit{int(dx), int(dy), int(sl), int(st), int(w), int(h)};
  return true;
}

// r clipped to a width x height bitmap; false when nothing is left.
bool ClipRect(TRect& r, int width, int height) {
  r.Left = std::max(r.Left, 0);
  r.Top = std::max(r.Top, 0);
  r.Right = std::min(r.Right, width);
  r.Bottom = std::min(r.Bottom, height);
  return r.Right > r.Left && r.Bottom > r.Top;
}

void FillRow(TRGBTriple* row, int count, TRGBTriple t) {
  for (int i = 0; i < count; ++i) row[i] = t;
}

int FontPixels(const QFont& f) {
  if (f.pixelSize() > 0) return f.pixelSize();
  return std::max(1, RoundHalfEven(f.pointSizeF() * 96.0 / 72.0));
}

// Rows [y0, y0 + h) of a picture without alpha as 24-bit pixels, columns [x0, x0 + w).
void CopyOpaqueRows(const QImage& g, int x0, int y0, int w, int h, TKVBitmap& dest, int dx, int dy) {
  if (g.format() == QImage::Format_BGR888) {
    for (int j = 0; j < h; ++j)
      std::memcpy(dest.ScanLine(dy + j) + dx, g.constScanLine(y0 + j) + 3 * x0, size_t(w) * 3);
  } else if (g.format() == QImage::Format_RGB32 || g.format() == QImage::Format_ARGB32 ||
             g.format() == QImage::Format_ARGB32_Premultiplied) {
    for (int j = 0; j < h; ++j) {
      const auto* s = reinterpret_cast<const std::uint32_t*>(g.constScanLine(y0 + j)) + x0;
      TRGBTriple* d = dest.ScanLine(dy + j) + dx;
      for (int i = 0; i < w; ++i) d[i] = TripleOf(s[i]);
    }
  } else {
    const QImage part = g.copy(x0, y0, w, h).convertToFormat(QImage::Format_BGR888);
    for (int j = 0; j < h; ++j) std::memcpy(dest.ScanLine(dy + j) + dx, part.constScanLine(j), size_t(w) * 3);
  }
}

// Per-channel table of D + round((S - D) x opacity) - D, indexed by S - D + 255, kept within
// what still clamps the same.
std::array<int, 511> BlendTable(float opacity) {
  std::array<int, 511> t{};
  for (int d = -255; d <= 255; ++d) t[size_t(d + 255)] = std::clamp(RoundHalfEven(double(d) * double(opacity)), -256, 256);
  return t;
}

template <class Op>
void ChannelBlit(TKVBitmap& dest, int x, int y, const TRect& sourceRect, const TKVBitmap& source, Op op) {
  if (dest.Empty() || source.Empty()) return;
  Blit b;
  if (!ClipBlit(dest.Width(), dest.Height(), x, y, sourceRect, source.Width(), source.Height(), b)) return;
  const TKVBitmap* src = &source;
  TKVBitmap copy;
  if (&source == &dest) {
    copy = TKVBitmap(source.Image().copy());
    src = &copy;
  }
  for (int j = 0; j < b.h; ++j) {
    auto* d = reinterpret_cast<uint8_t*>(dest.ScanLine(b.dy + j) + b.dx);
    const auto* s = reinterpret_cast<const uint8_t*>(src->ScanLine(b.sy + j) + b.sx);
    op(d, s, b.w * 3);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pixel memory

namespace {

// Below this a buffer's page faults cost little next to a mapping of its own.
constexpr std::size_t kMappedPixelBytes = 1 << 20;
constexpr std::uintptr_t kHugePageBytes = 2 << 20;

void FreePixelMemory(void* memory) { delete static_cast<TKVPixelMemory*>(memory); }

// Mappings let go of, kept for the next ones asked for: a new picture frees the last one's memory
// and asks for as much again right away. Given back to the system with the rest of the freed memory.
struct TKeptMapping {
  void* map = nullptr;
  std::size_t mapped = 0;
  std::uint8_t* data = nullptr;
  std::size_t Capacity() const { return std::size_t(static_cast<std::uint8_t*>(map) + mapped - data); }
};
constexpr std::size_t kKeptMappings = 4;
constexpr std::size_t kKeptBytes = std::size_t(96) << 20;

struct TKeptMappings {
  std::mutex lock;
  std::vector<TKeptMapping> list;
  std::size_t bytes = 0;
};

TKeptMappings& Kept() {
  // Not destroyed: images may be freed after it at exit. Room for one more than are kept, so
  // that keeping never allocates.
  static TKeptMappings* kept = [] {
    auto* k = new TKeptMappings;
    k->list.reserve(kKeptMappings + 1);
    return k;
  }();
  return *kept;
}

}  // namespace

TKVPixelMemory::TKVPixelMemory(std::size_t size) : size_(size) {
#if defined(MADV_HUGEPAGE)
  if (size >= kMappedPixelBytes) {
    {
      // The smallest kept mapping that holds the buffer.
      TKeptMappings& kept = Kept();
      const std::lock_guard<std::mutex> guard(kept.lock);
      auto best = kept.list.end();
      for (auto it = kept.list.begin(); it != kept.list.end(); ++it)
        if (it->Capacity() >= size && (best == kept.list.end() || it->Capacity() < best->Capacity())) best = it;
      if (best != kept.list.end()) {
        map_ = best->map;
        mapped_ = best->mapped;
        data_ = best->data;
        kept.bytes -= best->mapped;
        kept.list.erase(best);
        return;
      }
    }
    // Mapped with room to start on a huge page. The huge pages it spans are asked for as such,
    // the last one too when little of it would be left unused; else the tail takes small pages.
    const std::size_t whole = size & ~(kHugePageBytes - 1);
    const std::size_t huge = size - whole <= kHugePageBytes - kHugePageBytes / 4 ? whole : whole + kHugePageBytes;
    const std::size_t mapped = whole + 2 * kHugePageBytes;
    void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p != MAP_FAILED) {
      map_ = p;
      mapped_ = mapped;
      const auto start = (reinterpret_cast<std::uintptr_t>(p) + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
      data_ = reinterpret_cast<std::uint8_t*>(start);
      if (huge) ::madvise(data_, huge, MADV_HUGEPAGE);
      return;
    }
  }
#endif
  data_ = new (std::nothrow) std::uint8_t[size ? size : 1];
  if (!data_) size_ = 0;
}

TKVPixelMemory::~TKVPixelMemory() {
  if (!map_) {
    delete[] data_;
    return;
  }
  // Kept, the longest kept given back when there are too many.
  std::array<TKeptMapping, kKeptMappings + 1> dropped;
  std::size_t drops = 0;
  {
    TKeptMappings& kept = Kept();
    const std::lock_guard<std::mutex> guard(kept.lock);
    kept.list.push_back(TKeptMapping{map_, mapped_, data_});
    kept.bytes += mapped_;
    while (!kept.list.empty() && (kept.list.size() > kKeptMappings || kept.bytes > kKeptBytes)) {
      dropped[drops++] = kept.list.front();
      kept.bytes -= kept.list.front().mapped;
      kept.list.erase(kept.list.begin());
    }
  }
  for (std::size_t i = 0; i < drops; ++i) ::munmap(dropped[i].map, dropped[i].mapped);
}

void KVGiveBackPixelMemory() {
  TKeptMappings& kept = Kept();
  const std::lock_guard<std::mutex> guard(kept.lock);
  for (const TKeptMapping& m : kept.list) ::munmap(m.map, m.mapped);
  kept.list.clear();
  kept.bytes = 0;
}

QImage NewPixelImage(int width, int height, QImage::Format format) {
  if (width <= 0 || height <= 0 || format == QImage::Format_Invalid) return QImage();
  const int bits = QImage::toPixelFormat(format).bitsPerPixel();
  // The row length QImage gives its own pictures: whole 32-bit words.
  const int64_t bytesPerLine = ((int64_t(width) * bits + 31) >> 5) << 2;
  const int64_t bytes = bytesPerLine * height;
  if (bits <= 8 || bytes < int64_t(kMappedPixelBytes) || bytesPerLine > INT_MAX) return QImage(width, height, format);
  auto* memory = new (std::nothrow) TKVPixelMemory(size_t(bytes));
  if (!memory || !memory->Data()) {
    delete memory;
    return QImage();
  }
  QImage image(memory->Data(), width, height, qsizetype(bytesPerLine), format, FreePixelMemory, memory);
  if (image.isNull()) delete memory;
  return image;
}

// ---------------------------------------------------------------------------------------------
// TKVBitmap

TKVBitmap::TKVBitmap(int width, int height) { SetSize(width, height); }

TKVBitmap::TKVBitmap(const QImage& image) { SetImage(image); }

QFont TKVBitmap::DefaultFont() { return TFont().ToQFont(); }

void TKVBitmap::SetSize(int w, int h) {
  w = std::max(w, 0);
  h = std::max(h, 0);
  if (w == width_ && h == height_) return;
  const QImage old = image_;
  const int cw = std::min(w, width_), ch = std::min(h, height_);
  SetSizeForOverwrite(w, h);
  if (image_.isNull()) return;
  image_.fill(BrushStyle == bsSolid ? ToQColor(BrushColor) : QColor(Qt::white));
  if (!old.isNull())
    for (int y = 0; y < ch; ++y) std::memcpy(image_.scanLine(y), old.constScanLine(y), size_t(cw) * 3);
}

void TKVBitmap::SetSizeForOverwrite(int w, int h) {
  w = std::max(w, 0);
  h = std::max(h, 0);
  if (w == width_ && h == height_) return;
  QImage n;
  if (w > 0 && h > 0) {
    n = NewPixelImage(w, h, QImage::Format_BGR888);
    if (n.isNull()) throw EOutOfResources(QStringLiteral("Not enough memory for a bitmap of %1 x %2").arg(w).arg(h));
  }
  image_ = n;
  width_ = w;
  height_ = h;
}

void TKVBitmap::SetImage(const QImage& image) {
  if (image.isNull()) {
    image_ = QImage();
    width_ = height_ = 0;
    return;
  }
  QImage n = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_RGB32) : image;
  n = n.convertToFormat(QImage::Format_BGR888);
  if (n.isNull())
    throw EOutOfResources(
        QStringLiteral("Not enough memory for a bitmap of %1 x %2").arg(image.width()).arg(image.height()));
  image_ = n;
  width_ = n.width();
  height_ = n.height();
}

void TKVBitmap::SetFont(const TFont& font) {
  Font = font.ToQFont();
  FontColor = font.Color;
}

void TKVBitmap::FillRect(const TRect& r) {
  TRect c = r;
  if (BrushStyle == bsClear || Empty() || !ClipRect(c, width_, height_)) return;
  TRGBTriple t;
  ColorToTriple(BrushColor, t);
  for (int y = c.Top; y < c.Bottom; ++y) FillRow(ScanLine(y) + c.Left, c.Width(), t);
}

void TKVBitmap::FrameRect(const TRect& r) {
  if (RectIsEmpty(r)) return;
  FillRect(TRect{r.Left, r.Top, r.Right, r.Top + 1});
  FillRect(TRect{r.Left, r.Bottom - 1, r.Right, r.Bottom});
  FillRect(TRect{r.Left, r.Top, r.Left + 1, r.Bottom});
  FillRect(TRect{r.Right - 1, r.Top, r.Right, r.Bottom});
}

void TKVBitmap::Draw(int x, int y, const QImage& graphic) {
  if (Empty() || graphic.isNull()) return;
  Blit b;
  if (!ClipBlit(width_, height_, x, y, GraphicBounds(graphic), graphic.width(), graphic.height(), b)) return;
  if (!graphic.hasAlphaChannel()) {
    CopyOpaqueRows(graphic, b.sx, b.sy, b.w, b.h, *this, b.dx, b.dy);
    return;
  }
  QPainter p(&image_);
  p.drawImage(QPoint(x, y), graphic);
}

void TKVBitmap::StretchDraw(const TRect& r, const QImage& graphic) {
  if (Empty() || graphic.isNull() || RectIsEmpty(r)) return;
  const int rw = r.Width(), rh = r.Height();
  if (rw == graphic.width() && rh == graphic.height()) {
    Draw(r.Left, r.Top, graphic);
    return;
  }
  TRect vis = r;
  if (!ClipRect(vis, width_, height_)) return;
  if (int64_t(rw) * rh <= 4 * int64_t(width_) * height_ + 4096) {
    const QImage scaled = graphic.scaled(rw, rh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull()) throw EOutOfResources(QStringLiteral("Not enough memory to scale a picture to %1 x %2").arg(rw).arg(rh));
    Draw(r.Left, r.Top, scaled);
    return;
  }
  // Far larger than the bitmap: only the visible part is scaled.
  QImage part(vis.Width(), vis.Height(), QImage::Format_RGB32);
  if (part.isNull()) throw EOutOfResources(QStringLiteral("Not enough memory to scale a picture"));
  part.fill(Qt::black);
  for (int j = 0; j < vis.Height(); ++j) {
    const TRGBTriple* s = ScanLine(vis.Top + j) + vis.Left;
    auto* d = reinterpret_cast<std::uint32_t*>(part.scanLine(j));
    for (int i = 0; i < vis.Width(); ++i) d[i] = 0xFF000000u | PixelValue(s[i]);
  }
  {
    QPainter p(&part);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(r.Left - vis.Left, r.Top - vis.Top, rw, rh), graphic);
  }
  CopyOpaqueRows(part, 0, 0, vis.Width(), vis.Height(), *this, vis.Left, vis.Top);
}

void TKVBitmap::CopyRect(const TRect& dest, const TKVBitmap& source, const TRect& sourceRect) {
  if (Empty() || source.Empty() || RectIsEmpty(dest) || RectIsEmpty(sourceRect)) return;
  if (&source == this) {
    const TKVBitmap copy(source.Image().copy());
    CopyRect(dest, copy, sourceRect);
    return;
  }
  const int dw = dest.Width(), dh = dest.Height(), sw = sourceRect.Width(), sh = sourceRect.Height();
  if (dw == sw && dh == sh) {
    Blit b;
    if (!ClipBlit(width_, height_, dest.Left, dest.Top, sourceRect, source.Width(), source.Height(), b)) return;
    for (int j = 0; j < b.h; ++j)
      std::memcpy(ScanLine(b.dy + j) + b.dx, source.ScanLine(b.sy + j) + b.sx, size_t(b.w) * 3);
    return;
  }
  // Nearest pixel, sampled at pixel centres.
  TRect vis = dest;
  if (!ClipRect(vis, width_, height_)) return;
  std::vector<int> cols(size_t(vis.Width()));
  for (int x = vis.Left; x < vis.Right; ++x)
    cols[size_t(x - vis.Left)] =
        int(sourceRect.Left + (int64_t(2 * int64_t(x - dest.Left) + 1) * sw) / (2 * int64_t(dw)));
  for (int y = vis.Top; y < vis.Bottom; ++y) {
    const int64_t sy = sourceRect.Top + ((2 * int64_t(y - dest.Top) + 1) * sh) / (2 * int64_t(dh));
    if (sy < 0 || sy >= source.Height()) continue;
    const TRGBTriple* s = source.ScanLine(int(sy));
    TRGBTriple* d = ScanLine(y);
    for (int x = vis.Left; x < vis.Right; ++x) {
      const int sx = cols[size_t(x - vis.Left)];
      if (sx >= 0 && sx < source.Width()) d[x] = s[sx];
    }
  }
}

void TKVBitmap::TextOut(int x, int y, const QString& text) {
  if (Empty()) return;
  TextHelper().TextOut(image_, x, y, Font, FontColor, text,
                       BrushStyle == bsSolid ? std::optional<TColor>(BrushColor) : std::nullopt);
}

int TKVBitmap::TextWidth(const QString& text) const { return TextHelper().TextWidth(Font, text); }

int TKVBitmap::TextHeight(const QString& text) const { return TextHelper().TextHeight(Font, text); }

void TKVBitmap::PrepareBlurKernel(double radius) {
  if (radius == Radius) return;
  Radius = radius;
  double sum = 0.0;
  for (int i = -100; i <= 100; ++i) {
    const double q = double(i) / radius;
    Weights[size_t(i + 100)] = float(std::exp(-(q * q) / 2.0));
    sum += Weights[size_t(i + 100)];
  }
  for (float& w : Weights) w = float(w / sum);
  int r = 100;
  double removed = 0.0;
  while (removed < 1.0 / 510.0 && r > 1) {
    removed += 2.0 * Weight(r);
    --r;
  }
  KernelHalfWidth = r;
  sum = 0.0;
  for (int i = -r; i <= r; ++i) sum += Weight(i);
  for (int i = -100; i <= 100; ++i) {
    float& w = Weights[size_t(i + 100)];
    w = (i < -r || i > r) ? 0.0f : float(w / sum);
  }
}

// ---------------------------------------------------------------------------------------------
// Text

void DrawTextInRect(TKVBitmap& canvas, const QString& text, TAlignment alignment, TRect& r, bool measureOnly) {
  r = TextHelper().MeasureWrapped(canvas.Font, text, r);
  if (measureOnly || canvas.Empty()) return;
  TextHelper().DrawWrapped(canvas.Image(), canvas.Font, canvas.FontColor, text, r, alignment,
                           canvas.BrushStyle == bsSolid ? std::optional<TColor>(canvas.BrushColor) : std::nullopt);
}

// ---------------------------------------------------------------------------------------------
// Rectangles and colours

bool IntersectRects(TRect& r, const TRect& a, const TRect& b) {
  r = TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  if (r.Right >= r.Left && r.Bottom >= r.Top) return true;
  r = TRect{};
  return false;
}

int RoundHalfEven(double v) {
  if (std::isnan(v)) return 0;
  const double n = std::nearbyint(v);
  if (n >= double(INT_MAX)) return INT_MAX;
  if (n <= double(INT_MIN)) return INT_MIN;
  return int(n);
}

void SplitColor(TColor c, int& r, int& g, int& b) {
  const TColor v = ColorToRGB(c);
  r = GetRValue(v);
  g = GetGValue(v);
  b = GetBValue(v);
}

TColor RGBClamped(int r, int g, int b) { return RGB(ClampByte(r), ClampByte(g), ClampByte(b)); }

void SetTriple(int r, int g, int b, TRGBTriple& t) {
  t.rgbtRed = ClampByte(r);
  t.rgbtGreen = ClampByte(g);
  t.rgbtBlue = ClampByte(b);
}

void ColorToTriple(TColor c, TRGBTriple& t) {
  const TColor v = ColorToRGB(c);
  t.rgbtRed = uint8_t(GetRValue(v));
  t.rgbtGreen = uint8_t(GetGValue(v));
  t.rgbtBlue = uint8_t(GetBValue(v));
}

std::uint32_t SwapRB(std::uint32_t v) { return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF); }

namespace {

// from + round((to - from) x f), clamped to a channel; f far outside 0..1 cannot overflow.
uint8_t MixChannel(int from, int to, float f) {
  return ClampByte(from + std::clamp(RoundHalfEven((to - from) * double(f)), -512, 512));
}

}  // namespace

TColor BlendColors(TColor c1, TColor c2, float f) {
  int r1, g1, b1, r2, g2, b2;
  SplitColor(c1, r1, g1, b1);
  SplitColor(c2, r2, g2, b2);
  return RGB(MixChannel(r1, r2, f), MixChannel(g1, g2, f), MixChannel(b1, b2, f));
}

void BlendTriple(TRGBTriple& out, float f, TPixelValue a, TPixelValue b) {
  const TRGBTriple ta = TripleOf(a), tb = TripleOf(b);
  out.rgbtRed = MixChannel(tb.rgbtRed, ta.rgbtRed, f);
  out.rgbtGreen = MixChannel(tb.rgbtGreen, ta.rgbtGreen, f);
  out.rgbtBlue = MixChannel(tb.rgbtBlue, ta.rgbtBlue, f);
}

TColor LightenColor(TColor c, int n) {
  int r, g, b;
  SplitColor(c, r, g, b);
  n = std::clamp(n, -512, 512);
  return RGBClamped(r + n, g + n, b + n);
}

void SubtractTriple(TRGBTriple& out, TPixelValue a, TPixelValue b) {
  const TRGBTriple ta = TripleOf(a), tb = TripleOf(b);
  out.rgbtRed = uint8_t(SubtractSaturated(tb.rgbtRed, ta.rgbtRed));
  out.rgbtGreen = uint8_t(SubtractSaturated(tb.rgbtGreen, ta.rgbtGreen));
  out.rgbtBlue = uint8_t(SubtractSaturated(tb.rgbtBlue, ta.rgbtBlue));
}

void AddTriple(TRGBTriple& out, TPixelValue a, TPixelValue b) {
  const TRGBTriple ta = TripleOf(a), tb = TripleOf(b);
  out.rgbtRed = uint8_t(AddSaturated(ta.rgbtRed, tb.rgbtRed));
  out.rgbtGreen = uint8_t(AddSaturated(ta.rgbtGreen, tb.rgbtGreen));
  out.rgbtBlue = uint8_t(AddSaturated(ta.rgbtBlue, tb.rgbtBlue));
}

void FitInside(int& fw, int& fh, int w, int h, int maxW, int maxH) {
  if (w < 1 || h < 1 || (w <= maxW && h <= maxH)) {
    fw = w;
    fh = h;
    return;
  }
  fw = maxW;
  fh = RoundHalfEven(double(int64_t(h) * maxW) / w);
  if (fh <= maxH) return;
  fh = maxH;
  fw = RoundHalfEven(double(int64_t(w) * maxH) / h);
}

void FitInsideEnlarge(int& fw, int& fh, int w, int h, int maxW, int maxH) {
  if (w >= 1 && w < maxW && h < maxH) {
    const int h2 = RoundHalfEven(double(int64_t(h) * maxW) / w);
    FitInside(fw, fh, maxW, h2, maxW, maxH);
  } else {
    FitInside(fw, fh, w, h, maxW, maxH);
  }
}

// ---------------------------------------------------------------------------------------------
// Picture placement

namespace {

void PaintFitted(TKVBitmap& bitmap, const QImage* graphic, int w, int h, bool enlarge) {
  int fw = 0, fh = 0;
  if (graphic && !graphic->isNull()) {
    if (enlarge)
      FitInsideEnlarge(fw, fh, graphic->width(), graphic->height(), w, h);
    else
      FitInside(fw, fh, graphic->width(), graphic->height(), w, h);
  }
  // An opaque picture on a solid brush writes every pixel once: the picture its rectangle, the
  // brush the bands around it.
  if (bitmap.BrushStyle == bsSolid && graphic && !graphic->isNull() && !graphic->hasAlphaChannel() && fw > 0 &&
      fh > 0 && w > 0 && h > 0) {
    bitmap.SetSizeForOverwrite(w, h);
    const int left = (w - fw) / 2, top = (h - fh) / 2;
    bitmap.FillRect(TRect{0, 0, w, top});
    bitmap.FillRect(TRect{0, top + fh, w, h});
    bitmap.FillRect(TRect{0, top, left, top + fh});
    bitmap.FillRect(TRect{left + fw, top, w, top + fh});
    bitmap.StretchDraw(TRect{left, top, left + fw, top + fh}, *graphic);
    return;
  }
  bitmap.SetSize(w, h);
  // An opaque picture that covers the whole bitmap leaves nothing of the brush to be seen.
  const bool covers = graphic && !graphic->isNull() && fw == w && fh == h && !graphic->hasAlphaChannel();
  if (!covers) bitmap.FillRect(TRect{0, 0, w, h});
  if (!graphic || graphic->isNull()) return;
  const int left = (w - fw) / 2, top = (h - fh) / 2;
  bitmap.StretchDraw(TRect{left, top, left + fw, top + fh}, *graphic);
}

}  // namespace

void PaintBestFit(TKVBitmap& bitmap, const QImage* graphic, int w, int h) { PaintFitted(bitmap, graphic, w, h, false); }

void PaintStretchFit(TKVBitmap& bitmap, const QImage* graphic, int w, int h) {
  PaintFitted(bitmap, graphic, w, h, true);
}

void PaintTiled(TKVBitmap& bitmap, const QImage& graphic, int w, int h) {
  bitmap.SetSize(w, h);
  bitmap.FillRect(TRect{0, 0, w, h});
  const int gw = graphic.width(), gh = graphic.height();
  if (gw < 1 || gh < 1 || bitmap.Empty()) return;
  for (int64_t x = 0; x < bitmap.Width(); x += gw) bitmap.Draw(int(x), 0, graphic);
  for (int64_t y = gh; y < bitmap.Height(); y += gh)
    bitmap.CopyRect(TRect{0, int(y), bitmap.Width(), int(std::min<int64_t>(y + gh, INT_MAX))}, bitmap,
                    TRect{0, 0, bitmap.Width(), gh});
}

// ---------------------------------------------------------------------------------------------
// Regions

QRegion BitmapRegion(const TKVBitmap& bitmap, int x, int y, TRect r) {
  if (bitmap.Empty() || !ClipRect(r, bitmap.Width(), bitmap.Height())) return QRegion();
  std::vector<QRect> runs;
  for (int row = r.Top; row < r.Bottom; ++row) {
    const TRGBTriple* s = bitmap.ScanLine(row);
    int col = r.Left;
    while (col < r.Right) {
      while (col < r.Right && PixelValue(s[col]) != 0) ++col;
      const int x0 = col;
      while (col < r.Right && PixelValue(s[col]) == 0) ++col;
      if (col > x0) runs.emplace_back(x + x0, y + row, col - x0, 1);
    }
  }
  QRegion region;
  if (!runs.empty()) region.setRects(runs.data(), int(runs.size()));
  return region;
}

QRegion BitmapRegionWhole(const TKVBitmap& bitmap, int x, int y) {
  return BitmapRegion(bitmap, x, y, GraphicBounds(bitmap));
}

// ---------------------------------------------------------------------------------------------
// Blending and channel operations

void AlphaBlendRect(TKVBitmap& dest, int x, int y, const TRect& sourceRect, const TKVBitmap& source, float opacity) {
  if (opacity == 0.0f) return;
  if (opacity == 1.0f) {
    ChannelBlit(dest, x, y, sourceRect, source,
                [](uint8_t* d, const uint8_t* s, int n) { std::memcpy(d, s, size_t(n)); });
    return;
  }
  const std::array<int, 511> table = BlendTable(opacity);
  ChannelBlit(dest, x, y, sourceRect, source, [&table](uint8_t* d, const uint8_t* s, int n) {
    for (int i = 0; i < n; ++i) d[i] = ClampByte(d[i] + table[size_t(s[i] - d[i] + 255)]);
  });
}

void AlphaBlendBitmap(TKVBitmap& dest, int x, int y, const TKVBitmap& source, float opacity) {
  AlphaBlendRect(dest, x, y, GraphicBounds(source), source, opacity);
}

void AddBitmapSaturated(TKVBitmap& dest, int x, int y, const TKVBitmap& source) {
  ChannelBlit(dest, x, y, GraphicBounds(source), source, [](uint8_t* d, const uint8_t* s, int n) {
    for (int i = 0; i < n; ++i) d[i] = uint8_t(AddSaturated(s[i], d[i]));
  });
}

void SubtractBitmapSaturated(TKVBitmap& dest, int x, int y, const TKVBitmap& source) {
  ChannelBlit(dest, x, y, GraphicBounds(source), source, [](uint8_t* d, const uint8_t* s, int n) {
    for (int i = 0; i < n; ++i) d[i] = uint8_t(SubtractSaturated(d[i], s[i]));
  });
}

void DarkenGrey(TKVBitmap& bitmap, int amount) {
  for (int y = 0; y < bitmap.Height(); ++y) {
    TRGBTriple* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      const uint8_t v = ClampByte(SubtractSaturated(row[x].rgbtRed, amount));
      row[x] = TRGBTriple{v, v, v};
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Gradients

void GradientFillRect(TKVBitmap& bitmap, TRect r, TColor color1, bool vertical, TColor color2) {
  if (color1 == color2) {
    bitmap.BrushStyle = bsSolid;
    bitmap.BrushColor = color1;
    bitmap.FillRect(r);
    return;
  }
  TRGBTriple t1, t2;
  ColorToTriple(color1, t1);
  ColorToTriple(color2, t2);
  if (bitmap.Empty() || !ClipRect(r, bitmap.Width(), bitmap.Height())) return;
  const TPixelValue a = PixelValue(t2), b = PixelValue(t1);
  if (vertical) {
    const int n = r.Height() - 1;
    for (int y = r.Top; y < r.Bottom; ++y) {
      TRGBTriple t;
      BlendTriple(t, n == 0 ? 0.0f : float(double(y - r.Top) / n), a, b);
      FillRow(bitmap.ScanLine(y) + r.Left, r.Width(), t);
    }
  } else {
    const int n = r.Width() - 1;
    std::vector<TRGBTriple> row(size_t(r.Width()));
    for (int x = 0; x < r.Width(); ++x) BlendTriple(row[size_t(x)], n == 0 ? 0.0f : float(double(x) / n), a, b);
    for (int y = r.Top; y < r.Bottom; ++y)
      std::memcpy(bitmap.ScanLine(y) + r.Left, row.data(), row.size() * sizeof(TRGBTriple));
  }
}

void GradientFill(TKVBitmap& bitmap, TColor color1, TColor color2, bool vertical) {
  GradientFillRect(bitmap, GraphicBounds(bitmap), color1, vertical, color2);
}

// ---------------------------------------------------------------------------------------------
// Recolouring grey artwork

namespace {

// What happens to a grey pixel of each level: 0 becomes the colour, -1 subtracts k, +1 adds k.
struct GreyRule {
  int op = 0;
  int k = 0;
};

std::array<GreyRule, 256> GreyRules(uint8_t level, float factor, uint8_t threshold, uint8_t offset) {
  std::array<GreyRule, 256> rules{};
  for (int g = 0; g < 256; ++g) {
    if (g == level) continue;
    const int d = g < level ? level - g : g - level;
    const int64_t k = d < threshold ? d + offset : int64_t(RoundHalfEven(double(d) * double(factor))) + offset;
    rules[size_t(g)] = GreyRule{g < level ? -1 : 1, int(k & 0xFF)};
  }
  return rules;
}

inline TRGBTriple ApplyGreyRule(const GreyRule& rule, const TRGBTriple& c) {
  if (rule.op == 0) return c;
  TRGBTriple out;
  const TPixelValue k = TPixelValue(rule.k) * 0x010101u;
  if (rule.op < 0)
    SubtractTriple(out, k, PixelValue(c));
  else
    AddTriple(out, k, PixelValue(c));
  return out;
}

inline bool IsGrey(const TRGBTriple& p) { return p.rgbtRed == p.rgbtBlue && p.rgbtRed == p.rgbtGreen; }

}  // namespace

void RecolourGrey(TKVBitmap& bitmap, TColor color, uint8_t level, float factor, uint8_t threshold, uint8_t offset) {
  TRGBTriple c;
  ColorToTriple(color, c);
  const auto rules = GreyRules(level, factor, threshold, offset);
  std::array<TRGBTriple, 256> result;
  for (int g = 0; g < 256; ++g) result[size_t(g)] = ApplyGreyRule(rules[size_t(g)], c);
  for (int y = 0; y < bitmap.Height(); ++y) {
    TRGBTriple* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x)
      if (IsGrey(row[x])) row[x] = result[row[x].rgbtRed];
  }
}

void TextureGrey(TKVBitmap& bitmap, const QImage& texture, uint8_t level, bool stretch, float factor,
                 uint8_t threshold, uint8_t offset) {
  if (bitmap.Empty() || texture.isNull()) return;
  const int w = bitmap.Width(), h = bitmap.Height();
  TKVBitmap tex(w, h);
  if (stretch) {
    tex.StretchDraw(TRect{0, 0, w, h}, texture);
  } else {
    for (int64_t x = 0; x <= w; x += texture.width()) tex.Draw(int(x), 0, texture);
    for (int64_t y = texture.height(); y <= h; y *= 2)
      tex.CopyRect(TRect{0, int(y), w, int(std::min<int64_t>(2 * y, INT_MAX))}, tex, TRect{0, 0, w, int(y)});
  }
  const auto rules = GreyRules(level, factor, threshold, offset);
  for (int y = 0; y < h; ++y) {
    TRGBTriple* row = bitmap.ScanLine(y);
    const TRGBTriple* t = tex.ScanLine(y);
    for (int x = 0; x < w; ++x)
      if (IsGrey(row[x])) row[x] = ApplyGreyRule(rules[row[x].rgbtRed], t[x]);
  }
}

// ---------------------------------------------------------------------------------------------
// Blur

void Blur(TKVBitmap& bitmap, double radius) {
  if (bitmap.Empty() || !(radius > 0.0)) return;
  bitmap.PrepareBlurKernel(radius);
  const int r = bitmap.KernelHalfWidth, w = bitmap.Width(), h = bitmap.Height();
  std::vector<double> weights(size_t(2 * r + 1));
  for (int k = -r; k <= r; ++k) weights[size_t(k + r)] = bitmap.Weight(k);

  // Horizontal: each row padded with copies of its end pixels; taps summed from k = -R to R.
  std::vector<double> padded(size_t(w + 2 * r) * 3);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint8_t*>(bitmap.ScanLine(y));
    for (int i = 0; i < w + 2 * r; ++i) {
      const int sx = std::clamp(i - r, 0, w - 1);
      for (int c = 0; c < 3; ++c) padded[size_t(i) * 3 + c] = row[sx * 3 + c];
    }
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        double sum = 0.0;
        for (int k = -r; k <= r; ++k) sum += padded[size_t(x - k + r) * 3 + c] * weights[size_t(k + r)];
        row[x * 3 + c] = ClampByte(int(sum));
      }
  }

  // Vertical: row by row over a copy, each pixel's taps again summed from k = -R to R.
  const QImage src = bitmap.Image().copy();
  std::vector<double> acc(size_t(w) * 3);
  for (int y = 0; y < h; ++y) {
    std::fill(acc.begin(), acc.end(), 0.0);
    for (int k = -r; k <= r; ++k) {
      const uint8_t* s = src.constScanLine(std::clamp(y - k, 0, h - 1));
      const double wk = weights[size_t(k + r)];
      for (size_t i = 0; i < acc.size(); ++i) acc[i] += s[i] * wk;
    }
    auto* row = reinterpret_cast<uint8_t*>(bitmap.ScanLine(y));
    for (size_t i = 0; i < acc.size(); ++i) row[i] = ClampByte(int(acc[i]));
  }
}

// ---------------------------------------------------------------------------------------------
// Shadowed text

namespace {

// What the averaged, blurred text depends on. The month title is the same text on every redraw:
// the last few are kept, as long as the same text helper is installed.
struct ShadowTextKey {
  quint64 generation = 0;
  QString font, text;
  TColor color = 0, background = 0;
  double radius = 0.0;
  bool operator==(const ShadowTextKey& o) const {
    return generation == o.generation && color == o.color && background == o.background && radius == o.radius &&
           text == o.text && font == o.font;
  }
};

struct ShadowTextCache {
  static constexpr int kSize = 4;
  std::array<std::pair<ShadowTextKey, TKVBitmap>, kSize> entries;
  int next = 0;
};

ShadowTextCache& TheShadowTextCache() {
  thread_local ShadowTextCache cache;
  return cache;
}

}  // namespace

void DrawShadowText(TKVBitmap& target, int x, int y, const QString& text, int mode, double radius) {
  if (mode < 0 || mode > 3) return;
  ShadowTextKey key;
  key.generation = TextHelperGeneration();
  key.font = target.Font.toString() + QLatin1Char('/') + QString::number(FontPixels(target.Font));
  key.text = text;
  key.color = target.FontColor;
  key.background = mode == 1 ? target.BrushColor : clBlack;
  key.radius = radius;
  ShadowTextCache& cache = TheShadowTextCache();
  const TKVBitmap* kept = nullptr;
  for (const auto& e : cache.entries)
    if (!e.second.Empty() && e.first == key) kept = &e.second;
  if (!kept) {
    auto& slot = cache.entries[size_t(cache.next)];
    cache.next = (cache.next + 1) % ShadowTextCache::kSize;
    slot = {key, TKVBitmap()};
    slot.second = ShadowTextBitmap(target, text, mode, radius);
    kept = &slot.second;
  }
  switch (mode) {
    case 0:
    case 1: target.Draw(x, y, *kept); break;
    case 2: AddBitmapSaturated(target, x, y, *kept); break;
    case 3: SubtractBitmapSaturated(target, x, y, *kept); break;
  }
}

TKVBitmap ShadowTextBitmap(const TKVBitmap& target, const QString& text, int mode, double radius) {
  TKVBitmap big, small;
  big.Font = target.Font;
  big.Font.setPixelSize(2 * FontPixels(target.Font));
  big.FontColor = target.FontColor;
  big.BrushColor = mode == 1 ? target.BrushColor : clBlack;
  big.BrushStyle = bsSolid;
  big.SetSize(big.TextWidth(text + QLatin1Char('0')), big.TextHeight(text) + 2);
  small.SetSize(big.Width() / 2, big.Height() / 2);
  big.FillRect(GraphicBounds(big));
  big.TextOut(big.TextWidth(QStringLiteral("0")) / 2, 1, text);

  for (int r = 0; r < small.Height(); ++r) {
    const auto* a = reinterpret_cast<const uint8_t*>(big.ScanLine(2 * r));
    const auto* b = reinterpret_cast<const uint8_t*>(big.ScanLine(2 * r + 1));
    auto* d = reinterpret_cast<uint8_t*>(small.ScanLine(r));
    for (int i = 0; i < small.Width() * 3; ++i) {
      const int c = i % 3, col = (i / 3) * 2;
      const int sum = a[col * 3 + c] + a[(col + 1) * 3 + c] + b[col * 3 + c] + b[(col + 1) * 3 + c];
      d[i] = uint8_t(RoundHalfEven(sum / 4.0));
    }
  }
  if (radius != 0.0) Blur(small, radius);
  return small;
}
