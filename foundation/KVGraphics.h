#pragma once
// The drawing arithmetic and the 24-bit bitmap: rectangles, colours and pixel triples, fitting,
// picture placement, blending, gradients, recolouring, saturating channel operations, regions,
// blur and shadowed text. Rounding is to the nearest integer with halves to even, opacity
// products are computed in double, and every pixel routine clips against all four edges of
// every bitmap it touches.
#include <QFont>
#include <QImage>
#include <QRegion>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>

#include "foundation/KVException.h"
#include "foundation/KVTextHelper.h"
#include "foundation/KVTypes.h"

class TFont;

KV_DECLARE_ERROR(EInvalidGraphic, EKVError)   // a picture that cannot be read or is too large
KV_DECLARE_ERROR(EOutOfResources, EKVError)   // a bitmap that cannot be allocated

enum TBrushStyle { bsSolid, bsClear };

// A large buffer (a picture, a screen bitmap, a file's bytes) in memory of its own, on huge pages
// where the system gives them: it is written whole as soon as it is made, and a page fault for
// every 4 KB of fresh memory costs more than the writing. Small sizes, or a system that cannot map
// memory, take the heap. A few freed ones are kept for the next buffers asked for.
class TKVPixelMemory {
 public:
  explicit TKVPixelMemory(std::size_t size);
  ~TKVPixelMemory();
  TKVPixelMemory(const TKVPixelMemory&) = delete;
  TKVPixelMemory& operator=(const TKVPixelMemory&) = delete;
  std::uint8_t* Data() const { return data_; }
  std::size_t Size() const { return size_; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  void* map_ = nullptr;
  std::size_t mapped_ = 0;
};

// Gives back to the system the memory of buffers freed and kept for the next ones.
void KVGiveBackPixelMemory();

// A Width x Height image of Format (rows as QImage lays them out) in TKVPixelMemory, freed with
// the last copy of the image; a null image when it cannot be allocated.
QImage NewPixelImage(int width, int height, QImage::Format format);

// One pixel of a 24-bit row as it lies in memory.
struct TRGBTriple {
  std::uint8_t rgbtBlue, rgbtGreen, rgbtRed;
};
static_assert(sizeof(TRGBTriple) == 3);

// A pixel triple read as a little-endian word: 0x00RRGGBB (the opposite order of a colour value).
using TPixelValue = std::uint32_t;
constexpr TPixelValue PixelValue(const TRGBTriple& t) {
  return TPixelValue(t.rgbtBlue) | (TPixelValue(t.rgbtGreen) << 8) | (TPixelValue(t.rgbtRed) << 16);
}

// A 24-bit bitmap (QImage::Format_BGR888, rows top-down) with the state of its canvas and the
// blur kernel it keeps between blurs. Width and height are kept even while one of them is 0.
class TKVBitmap {
 public:
  TKVBitmap() = default;
  TKVBitmap(int width, int height);
  explicit TKVBitmap(const QImage& image);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return image_.isNull(); }
  // Resizing keeps the pixels that remain and fills new ones with the brush (white when clear).
  void SetWidth(int w) { SetSize(w, height_); }
  void SetHeight(int h) { SetSize(width_, h); }
  void SetSize(int w, int h);
  // Resizes keeping no pixel and filling none: for a caller that writes every one of them.
  void SetSizeForOverwrite(int w, int h);
  TRGBTriple* ScanLine(int y) { return reinterpret_cast<TRGBTriple*>(image_.scanLine(y)); }
  const TRGBTriple* ScanLine(int y) const { return reinterpret_cast<const TRGBTriple*>(image_.constScanLine(y)); }
  // The pixels; callers keep the format (e.g. for painting through QPainter).
  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }
  // Takes the picture's size and pixels, converted to 24 bits (alpha dropped).
  void SetImage(const QImage& image);

  // Canvas state. Font is pixel-sized.
  TColor BrushColor = clWhite;
  TBrushStyle BrushStyle = bsSolid;
  QFont Font = DefaultFont();
  TColor FontColor = clWindowText;
  void SetFont(const TFont& font);
  static QFont DefaultFont();

  // Canvas operations, clipped to the bitmap.
  void FillRect(const TRect& r);  // with the brush; nothing when it is clear
  void FrameRect(const TRect& r);  // one-pixel frame inside r, in the brush colour
  // Draws a picture at (x, y); pictures with alpha are composed over the bitmap.
  void Draw(int x, int y, const QImage& graphic);
  void Draw(int x, int y, const TKVBitmap& graphic) { Draw(x, y, graphic.Image()); }
  // Scales a picture into r: area averaging when shrinking, interpolation when enlarging.
  void StretchDraw(const TRect& r, const QImage& graphic);
  // Copies sourceRect of source to dest, scaling by nearest pixel when the sizes differ.
  void CopyRect(const TRect& dest, const TKVBitmap& source, const TRect& sourceRect);
  // Text with its cell's top-left corner at (x, y); the cell is filled with a solid brush first.
  void TextOut(int x, int y, const QString& text);
  int TextWidth(const QString& text) const;
  int TextHeight(const QString& text) const;

  // Blur state: Radius is that of the kernel last computed (0 before any blur); Weights holds the
  // normalised kernel, index k + 100 for k = -100 .. 100, non-zero within +-KernelHalfWidth.
  double Radius = 0.0;
  int KernelHalfWidth = 0;
  std::array<float, 201> Weights{};
  float Weight(int k) const { return Weights[std::size_t(k + 100)]; }
  // Computes the kernel for radius unless it is the kept one.
  void PrepareBlurKernel(double radius);

 private:
  QImage image_;
  int width_ = 0, height_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Text

// Lays word-wrapped text out in r with the canvas's font and updates r to what the text needs
// (Right to Left plus the widest line, Bottom to Top plus the lines); draws it there unless
// measureOnly. A clear brush draws the text alone, a solid one fills behind each line.
void DrawTextInRect(TKVBitmap& canvas, const QString& text, TAlignment alignment, TRect& r, bool measureOnly);

// ---------------------------------------------------------------------------------------------
// Rectangles

constexpr TRect InflateRectBy(const TRect& r, int dx, int dy) {
  return TRect{r.Left - dx, r.Top - dy, r.Right + dx, r.Bottom + dy};
}
constexpr TRect GrowRectBy(const TRect& r, int dx, int dy) { return TRect{r.Left, r.Top, r.Right + dx, r.Bottom + dy}; }
constexpr TRect OffsetRectBy(const TRect& r, int dx, int dy) {
  return TRect{r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}
constexpr TRect ZeroBasedRect(const TRect& r) { return TRect{0, 0, r.Right - r.Left, r.Bottom - r.Top}; }
constexpr bool RectIsEmpty(const TRect& r) { return r.Right - r.Left < 1 || r.Bottom - r.Top < 1; }
constexpr bool PointInRect(const TRect& r, const TPoint& p) {
  return r.Left <= p.X && p.X < r.Right && r.Top <= p.Y && p.Y < r.Bottom;
}
constexpr int RectWidth(const TRect& r) { return r.Right - r.Left; }
constexpr int RectHeight(const TRect& r) { return r.Bottom - r.Top; }
constexpr int RectWidthNonNeg(const TRect& r) { return r.Right > r.Left ? r.Right - r.Left : 0; }
constexpr int RectHeightNonNeg(const TRect& r) { return r.Bottom > r.Top ? r.Bottom - r.Top : 0; }
// The overlap of a and b; true when it has no negative extent (a zero width or height still
// counts), else r becomes (0, 0, 0, 0) and the result is false.
bool IntersectRects(TRect& r, const TRect& a, const TRect& b);
inline TRect GraphicBounds(const QImage& g) { return TRect{0, 0, g.width(), g.height()}; }
inline TRect GraphicBounds(const TKVBitmap& g) { return TRect{0, 0, g.Width(), g.Height()}; }

// ---------------------------------------------------------------------------------------------
// Colours, triples and channels. Fractions are single-precision; products are taken in double.

// Nearest integer, halves to even; NaN gives 0 and the result saturates at the int range.
int RoundHalfEven(double v);

void SplitColor(TColor c, int& r, int& g, int& b);
TColor RGBClamped(int r, int g, int b);
void SetTriple(int r, int g, int b, TRGBTriple& t);
void ColorToTriple(TColor c, TRGBTriple& t);
std::uint32_t SwapRB(std::uint32_t v);
// Per channel C1 + round((C2 - C1) x F), clamped.
TColor BlendColors(TColor c1, TColor c2, float f);
// Per channel B + round((A - B) x F), clamped.
void BlendTriple(TRGBTriple& out, float f, TPixelValue a, TPixelValue b);
TColor LightenColor(TColor c, int n);
// Per channel B - A, not below 0.
void SubtractTriple(TRGBTriple& out, TPixelValue a, TPixelValue b);
// Per channel A + B, not above 255.
void AddTriple(TRGBTriple& out, TPixelValue a, TPixelValue b);
constexpr int SubtractSaturated(int a, int b) { return b < a ? a - b : 0; }
constexpr int AddSaturated(int a, int b) { return a + b < 255 ? a + b : 255; }

// Shrinks W x H to fit MaxW x MaxH keeping the aspect ratio; never enlarges. Products are 64-bit.
void FitInside(int& fw, int& fh, int w, int h, int maxW, int maxH);
// The same, but a smaller picture is first enlarged to the box width.
void FitInsideEnlarge(int& fw, int& fh, int w, int h, int maxW, int maxH);

// ---------------------------------------------------------------------------------------------
// Picture placement. Each sizes the bitmap to W x H and fills it with its brush first.

// Centred, shrunk to fit, never enlarged. graphic may be null (size and fill only).
void PaintBestFit(TKVBitmap& bitmap, const QImage* graphic, int w, int h);
// Centred, shrunk or enlarged until it touches the box on one side.
void PaintStretchFit(TKVBitmap& bitmap, const QImage* graphic, int w, int h);
// Repeated from the top-left corner.
void PaintTiled(TKVBitmap& bitmap, const QImage& graphic, int w, int h);

// ---------------------------------------------------------------------------------------------
// Regions

// The black pixels of r (clipped to the bitmap) as one-pixel-high runs, moved by (x, y).
QRegion BitmapRegion(const TKVBitmap& bitmap, int x, int y, TRect r);
QRegion BitmapRegionWhole(const TKVBitmap& bitmap, int x, int y);

// ---------------------------------------------------------------------------------------------
// Blending and channel operations (source pixel for destination (x, y): (x - X + Left, y - Y + Top))

// Opacity is the source's weight: 0 leaves dest alone, 1 copies, others D + round((S - D) x op).
void AlphaBlendRect(TKVBitmap& dest, int x, int y, const TRect& sourceRect, const TKVBitmap& source, float opacity);
void AlphaBlendBitmap(TKVBitmap& dest, int x, int y, const TKVBitmap& source, float opacity);
void AddBitmapSaturated(TKVBitmap& dest, int x, int y, const TKVBitmap& source);
void SubtractBitmapSaturated(TKVBitmap& dest, int x, int y, const TKVBitmap& source);
// Every pixel grey at its red value minus amount, not below 0.
void DarkenGrey(TKVBitmap& bitmap, int amount);

// ---------------------------------------------------------------------------------------------
// Gradients: from color1 at the first row (column) to color2 at the last of the clipped rectangle.

void GradientFillRect(TKVBitmap& bitmap, TRect r, TColor color1, bool vertical, TColor color2);
void GradientFill(TKVBitmap& bitmap, TColor color1, TColor color2, bool vertical);

// ---------------------------------------------------------------------------------------------
// Recolouring grey artwork around a grey level (coloured pixels stay).

void RecolourGrey(TKVBitmap& bitmap, TColor color, std::uint8_t level, float factor, std::uint8_t threshold,
                  std::uint8_t offset);
// The same with a texture (tiled, or stretched over the bitmap) in place of the colour; an empty
// texture leaves the bitmap unchanged.
void TextureGrey(TKVBitmap& bitmap, const QImage& texture, std::uint8_t level, bool stretch, float factor,
                 std::uint8_t threshold, std::uint8_t offset);

// ---------------------------------------------------------------------------------------------
// Blur and shadowed text

// Separable Gaussian blur; radius 0 or below leaves the bitmap unchanged.
void Blur(TKVBitmap& bitmap, double radius);
// Text drawn at twice the canvas font's size, averaged down, blurred unless radius is 0 and put
// at (x, y): mode 0 and 1 opaque (1 on the brush colour, else on black), 2 added, 3 subtracted;
// other modes draw nothing.
void DrawShadowText(TKVBitmap& target, int x, int y, const QString& text, int mode, double radius);
// The picture DrawShadowText puts (or adds, or subtracts) at (x, y), made anew; DrawShadowText keeps
// the last few while the text helper stays.
TKVBitmap ShadowTextBitmap(const TKVBitmap& target, const QString& text, int mode, double radius);
