#include <gtest/gtest.h>

#include <QPainter>
#include <vector>

#include "foundation/KVGraphics.h"

namespace {

TColor At(const TKVBitmap& b, int x, int y) {
  const TRGBTriple t = b.ScanLine(y)[x];
  return RGB(t.rgbtRed, t.rgbtGreen, t.rgbtBlue);
}

TKVBitmap Solid(int w, int h, TColor c) {
  TKVBitmap b;
  b.BrushColor = c;
  b.SetSize(w, h);
  return b;
}

QImage SolidImage(int w, int h, TColor c) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(ToQColor(c));
  return img;
}

// A picture whose pixel (x, y) is RGB(x, y, 7).
TKVBitmap Numbered(int w, int h) {
  TKVBitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.ScanLine(y)[x] = TRGBTriple{7, std::uint8_t(y), std::uint8_t(x)};
  return b;
}

// The bounding box of the pixels that differ from the background colour.
TRect PaintedArea(const TKVBitmap& b, TColor background) {
  TRect r{b.Width(), b.Height(), 0, 0};
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (At(b, x, y) != background) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Colours and channels

TEST(KVGraphicsColour, BlendFollowsTheFormulaWithHalvesToEven) {
  EXPECT_EQ(BlendColors(RGB(0, 0, 0), RGB(1, 1, 1), 0.5f), RGB(0, 0, 0));
  // 1 + round(0.5) is 1: the half goes to the even 0.
  EXPECT_EQ(BlendColors(RGB(1, 1, 1), RGB(2, 2, 2), 0.5f), RGB(1, 1, 1));
  EXPECT_EQ(BlendColors(RGB(2, 2, 2), RGB(5, 5, 5), 0.5f), RGB(4, 4, 4));
  EXPECT_EQ(BlendColors(RGB(10, 20, 30), RGB(200, 100, 0), 0.0f), RGB(10, 20, 30));
  EXPECT_EQ(BlendColors(RGB(10, 20, 30), RGB(200, 100, 0), 1.0f), RGB(200, 100, 0));
  EXPECT_EQ(BlendColors(RGB(100, 100, 100), RGB(200, 50, 100), 2.0f), RGB(255, 0, 100));
  EXPECT_EQ(BlendColors(clBtnFace, clBlack, 0.5f), RGB(106, 104, 100));
  EXPECT_EQ(BlendColors(RGB(100, 100, 100), RGB(200, 0, 100), 1e30f), RGB(255, 0, 100));
}

TEST(KVGraphicsColour, DerivedWeekendColoursOfThePackExample) {
  const TColor back = 0x00459F00;
  const TColor sunday = LightenColor(back, 200);
  EXPECT_EQ(sunday, 0x00FFFFC8u);
  EXPECT_EQ(BlendColors(back, sunday, 0.4f), 0x008FC550u);
  EXPECT_EQ(LightenColor(back, -100), 0x00003B00u);
  EXPECT_EQ(LightenColor(clBtnFace, 10), RGB(222, 218, 210));
}

TEST(KVGraphicsColour, TriplesValuesAndSaturation) {
  int r, g, b;
  SplitColor(clBtnFace, r, g, b);
  EXPECT_EQ(std::make_tuple(r, g, b), std::make_tuple(212, 208, 200));
  EXPECT_EQ(RGBClamped(256, -1, 128), RGB(255, 0, 128));

  TRGBTriple t{};
  SetTriple(300, 20, -5, t);
  EXPECT_EQ(std::make_tuple(t.rgbtBlue, t.rgbtGreen, t.rgbtRed), std::make_tuple(0, 20, 255));
  ColorToTriple(RGB(1, 2, 3), t);
  EXPECT_EQ(PixelValue(t), 0x00010203u);
  EXPECT_EQ(SwapRB(0x00010203u), RGB(1, 2, 3));
  EXPECT_EQ(SwapRB(SwapRB(0xAB123456u)), 0x00123456u);

  BlendTriple(t, 0.5f, 0x00C9C9C9, 0x00646464);  // 100 + round(50.5) = 150
  EXPECT_EQ(PixelValue(t), 0x00969696u);
  BlendTriple(t, 0.0f, 0x00FFFFFF, 0x00102030);
  EXPECT_EQ(PixelValue(t), 0x00102030u);
  SubtractTriple(t, 0x0010FF05, 0x00200A0A);  // B - A per channel, not below 0
  EXPECT_EQ(PixelValue(t), 0x00100005u);
  AddTriple(t, 0x00F00101, 0x00200203);
  EXPECT_EQ(PixelValue(t), 0x00FF0304u);
  EXPECT_EQ(AddSaturated(50, -100), -50);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(-3.5), -4);
  EXPECT_EQ(RoundHalfEven(std::nan("")), 0);
  EXPECT_EQ(RoundHalfEven(1e300), INT_MAX);
}

// ---------------------------------------------------------------------------------------------
// Rectangles and fitting

TEST(KVGraphicsRect, Arithmetic) {
  TRect r;
  EXPECT_TRUE(IntersectRects(r, Rect(0, 0, 10, 10), Rect(10, 0, 20, 10)));
  EXPECT_EQ(r, Rect(10, 0, 10, 10));
  EXPECT_FALSE(IntersectRects(r, Rect(0, 0, 10, 10), Rect(11, 0, 20, 10)));
  EXPECT_EQ(r, Rect(0, 0, 0, 0));
  EXPECT_TRUE(RectIsEmpty(Rect(5, 5, 5, 9)));
  EXPECT_TRUE(RectIsEmpty(Rect(0, 0, 4, -1)));
  EXPECT_FALSE(RectIsEmpty(Rect(0, 0, 1, 1)));
  EXPECT_TRUE(PointInRect(Rect(0, 0, 10, 10), TPoint{0, 9}));
  EXPECT_FALSE(PointInRect(Rect(0, 0, 10, 10), TPoint{10, 0}));
  EXPECT_EQ(RectWidthNonNeg(Rect(10, 0, 5, 0)), 0);
}

TEST(KVGraphicsFit, ShrinksEnlargesAndRounds) {
  int w = 0, h = 0;
  FitInside(w, h, 200, 100, 100, 100);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(100, 50));
  FitInside(w, h, 100, 200, 100, 100);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(50, 100));
  FitInside(w, h, 50, 40, 100, 100);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(50, 40));
  FitInside(w, h, 0, 500, 100, 100);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(0, 500));
  FitInside(w, h, 4, 5, 2, 10);  // 2.5 rounds to 2
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(2, 2));
  // Products beyond 32 bits.
  FitInside(w, h, 100000, 65000, 65000, 65000);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(65000, 42250));
  FitInsideEnlarge(w, h, 50, 40, 100, 100);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(100, 80));
  FitInsideEnlarge(w, h, 40, 50, 100, 100);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(80, 100));
  FitInsideEnlarge(w, h, 4000, 3000, 1920, 1080);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(1440, 1080));
}

// ---------------------------------------------------------------------------------------------
// The bitmap and its canvas

TEST(KVBitmapCanvas, SizingKeepsPixelsAndFillsWithTheBrush) {
  TKVBitmap b;
  b.SetWidth(4);  // the width survives while the height is still 0
  b.SetHeight(3);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.Height(), 3);
  EXPECT_EQ(At(b, 3, 2), clWhite);
  b.ScanLine(1)[1] = TRGBTriple{1, 2, 3};
  b.BrushColor = clRed;
  b.SetSize(6, 5);
  EXPECT_EQ(At(b, 1, 1), RGB(3, 2, 1));
  EXPECT_EQ(At(b, 5, 4), clRed);
  EXPECT_EQ(At(b, 0, 0), clWhite);
  b.SetSize(0, 7);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Height(), 7);
}

TEST(KVPixelMemory, ImagesAreLaidOutAsQtsOwnAndShareAndDetachAlike) {
  // Below, across and beyond the size that gets memory of its own, with rows of every padding.
  for (const QSize size : {QSize(1, 1), QSize(300, 200), QSize(701, 500), QSize(1001, 701), QSize(1920, 1080)})
    for (const QImage::Format f : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_BGR888}) {
      SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " format " << int(f));
      QImage own = NewPixelImage(size.width(), size.height(), f);
      const QImage qt(size, f);
      ASSERT_FALSE(own.isNull());
      EXPECT_EQ(own.size(), size);
      EXPECT_EQ(own.format(), f);
      EXPECT_EQ(own.bytesPerLine(), qt.bytesPerLine());
      own.fill(Qt::red);
      QImage copy = own;
      copy.setPixel(0, size.height() - 1, qRgb(1, 2, 3));  // the copy detaches
      EXPECT_EQ(own.pixel(0, size.height() - 1), qRgb(255, 0, 0));
      EXPECT_EQ(copy.pixel(0, size.height() - 1), qRgb(1, 2, 3));
      QImage shared = own;
      own = QImage();  // the memory stays while a copy holds it
      EXPECT_EQ(shared.pixel(size.width() - 1, size.height() - 1), qRgb(255, 0, 0));
      QPainter p(&shared);
      p.fillRect(QRect(0, 0, 1, 1), Qt::blue);
      p.end();
      EXPECT_EQ(shared.pixel(0, 0), qRgb(0, 0, 255));
    }
  // Memory freed and kept for the next buffers is never handed out twice, whatever the order
  // of sizes; given back, buffers are made anew.
  for (int round = 0; round < 3; ++round) {
    std::vector<QImage> live;
    for (const int rows : {700, 1500, 300, 1500, 900, 2000})
      live.push_back(NewPixelImage(1000, rows + round, QImage::Format_RGB32));
    for (size_t i = 0; i < live.size(); ++i) live[i].fill(QColor(int(i) * 40, round, 0));
    for (size_t i = 0; i < live.size(); ++i) {
      const QImage& img = live[i];
      EXPECT_EQ(img.pixel(0, 0), qRgb(int(i) * 40, round, 0)) << i;
      EXPECT_EQ(img.pixel(999, img.height() - 1), qRgb(int(i) * 40, round, 0)) << i;
    }
    live.erase(live.begin() + 1);
    live.erase(live.begin() + 2);
    QImage again = NewPixelImage(1000, 1400, QImage::Format_RGB32);
    again.fill(Qt::white);
    for (size_t i = 0; i < live.size(); ++i) EXPECT_NE(live[i].pixel(5, 5), qRgb(255, 255, 255)) << i;
    if (round == 1) KVGiveBackPixelMemory();
  }
  EXPECT_TRUE(NewPixelImage(0, 5, QImage::Format_RGB32).isNull());
  EXPECT_TRUE(NewPixelImage(5, 5, QImage::Format_Invalid).isNull());
  // A large screen bitmap comes out filled with the brush like any other.
  const TKVBitmap screen = Solid(1920, 1080, clNavy);
  EXPECT_EQ(At(screen, 0, 0), clNavy);
  EXPECT_EQ(At(screen, 1919, 1079), clNavy);
  EXPECT_EQ(screen.Image().bytesPerLine(), 1920 * 3);
}

TEST(KVBitmapCanvas, FillFrameAndCopyClipAtEveryEdge) {
  TKVBitmap b = Solid(10, 10, clBlack);
  b.BrushColor = clRed;
  b.FillRect(Rect(-5, -5, 2, 3));
  EXPECT_EQ(PaintedArea(b, clBlack), Rect(0, 0, 2, 3));
  b.BrushColor = clBlack;
  b.FillRect(Rect(-100, -100, 100, 100));
  b.BrushColor = clLime;
  b.FillRect(Rect(8, 7, 50, 50));
  EXPECT_EQ(PaintedArea(b, clBlack), Rect(8, 7, 10, 10));
  b.BrushStyle = bsClear;
  b.FillRect(Rect(0, 0, 10, 10));
  EXPECT_EQ(At(b, 0, 0), clBlack);

  TKVBitmap f = Solid(6, 6, clBlack);
  f.BrushColor = clWhite;
  f.FrameRect(Rect(1, 1, 5, 5));
  EXPECT_EQ(At(f, 1, 1), clWhite);
  EXPECT_EQ(At(f, 4, 4), clWhite);
  EXPECT_EQ(At(f, 2, 2), clBlack);
  EXPECT_EQ(At(f, 5, 5), clBlack);

  const TKVBitmap src = Numbered(8, 8);
  TKVBitmap d = Solid(5, 5, clWhite);
  d.CopyRect(Rect(-2, -1, 3, 4), src, Rect(0, 0, 5, 5));
  EXPECT_EQ(At(d, 0, 0), RGB(2, 1, 7));
  EXPECT_EQ(At(d, 2, 2), RGB(4, 3, 7));
  EXPECT_EQ(At(d, 3, 0), clWhite);
  // A source rectangle reaching outside its bitmap copies only what exists.
  d = Solid(5, 5, clWhite);
  d.CopyRect(Rect(0, 0, 4, 4), src, Rect(-2, -2, 2, 2));
  EXPECT_EQ(At(d, 1, 1), clWhite);
  EXPECT_EQ(At(d, 2, 2), RGB(0, 0, 7));
  EXPECT_EQ(At(d, 3, 3), RGB(1, 1, 7));
  // Scaling by nearest pixel.
  d = Solid(8, 2, clWhite);
  d.CopyRect(Rect(0, 0, 8, 2), src, Rect(0, 0, 4, 1));
  EXPECT_EQ(At(d, 0, 1), RGB(0, 0, 7));
  EXPECT_EQ(At(d, 3, 0), RGB(1, 0, 7));
  EXPECT_EQ(At(d, 7, 0), RGB(3, 0, 7));
}

TEST(KVBitmapCanvas, DrawComposesAlphaAndClips) {
  TKVBitmap b = Solid(4, 4, RGB(100, 100, 100));
  QImage a(2, 2, QImage::Format_ARGB32);
  a.fill(Qt::transparent);
  a.setPixel(0, 0, qRgba(255, 0, 0, 255));
  b.Draw(-1, -1, a);  // only its bottom-right pixel (transparent) is visible
  EXPECT_EQ(At(b, 0, 0), RGB(100, 100, 100));
  b.Draw(3, 3, a);
  EXPECT_EQ(At(b, 3, 3), clRed);
  EXPECT_EQ(At(b, 2, 2), RGB(100, 100, 100));
  b.Draw(-3, 1, SolidImage(4, 1, clBlue));
  EXPECT_EQ(At(b, 0, 1), clBlue);
  EXPECT_EQ(At(b, 1, 1), RGB(100, 100, 100));
  // Stretching far past the bitmap scales only the visible part.
  TKVBitmap s = Solid(4, 4, clBlack);
  s.StretchDraw(Rect(-40000, -40000, 40000, 40000), SolidImage(2, 2, clLime));
  EXPECT_EQ(At(s, 3, 3), clLime);
}

// ---------------------------------------------------------------------------------------------
// Placement

TEST(KVGraphicsPlacement, BestFitCentresAndShrinks) {
  TKVBitmap b;
  b.BrushColor = clBlue;
  const QImage pic = SolidImage(400, 300, clRed);
  PaintBestFit(b, &pic, 200, 200);
  EXPECT_EQ(b.Width(), 200);
  EXPECT_EQ(PaintedArea(b, clBlue), Rect(0, 25, 200, 175));
  EXPECT_EQ(At(b, 100, 100), clRed);

  const QImage small = SolidImage(3, 3, clRed);
  PaintBestFit(b, &small, 10, 10);  // never enlarged
  EXPECT_EQ(PaintedArea(b, clBlue), Rect(3, 3, 6, 6));

  PaintBestFit(b, nullptr, 30, 20);
  EXPECT_EQ(b.Height(), 20);
  EXPECT_EQ(PaintedArea(b, clBlue), Rect(30, 20, 0, 0));
}

TEST(KVGraphicsPlacement, StretchFitEnlargesAndTilesRepeat) {
  TKVBitmap b;
  b.BrushColor = clBlue;
  const QImage pic = SolidImage(100, 50, clRed);
  PaintStretchFit(b, &pic, 300, 300);
  EXPECT_EQ(PaintedArea(b, clBlue), Rect(0, 75, 300, 225));

  QImage tile(3, 2, QImage::Format_RGB32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) tile.setPixel(x, y, qRgb(10 * x, 10 * y, 5));
  PaintTiled(b, tile, 7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(At(b, x, y), RGB(10 * (x % 3), 10 * (y % 2), 5)) << x << "," << y;
  PaintTiled(b, QImage(), 4, 4);  // nothing to tile: only the fill
  EXPECT_EQ(At(b, 3, 3), clBlue);
}

TEST(KVGraphicsPlacement, EveryPixelIsThePicturesOrTheBrushsWhateverTheBitmapHeldBefore) {
  // A picture with a pixel of its own everywhere, wider, taller, as large as and smaller than
  // the box; pictures with alpha and a clear brush keep what lies under them.
  QImage opaque(37, 23, QImage::Format_RGB32), alpha(37, 23, QImage::Format_ARGB32);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) {
      opaque.setPixel(x, y, qRgb(6 * x, 10 * y, 99));
      alpha.setPixel(x, y, qRgba(6 * x, 10 * y, 99, x % 2 ? 255 : 0));
    }
  const QImage pictures[] = {opaque, opaque.scaled(80, 20), opaque.scaled(20, 80), opaque.scaled(64, 48),
                             opaque.scaled(10, 10), alpha};
  for (const bool stretch : {false, true})
    for (const TBrushStyle style : {bsSolid, bsClear})
      for (const QImage& pic : pictures) {
        SCOPED_TRACE(testing::Message() << pic.width() << "x" << pic.height() << (stretch ? " stretched" : " fitted")
                                        << " brush " << int(style));
        const auto place = [&](TKVBitmap& b) {
          b.BrushStyle = style;
          b.BrushColor = clTeal;
          stretch ? PaintStretchFit(b, &pic, 64, 48) : PaintBestFit(b, &pic, 64, 48);
        };
        TKVBitmap fresh, sameSize = Solid(64, 48, clFuchsia), otherSize = Solid(50, 70, clFuchsia);
        place(fresh);
        place(sameSize);
        place(otherSize);
        // The reference: the box filled first, then the picture drawn.
        TKVBitmap want = Solid(64, 48, style == bsSolid ? clTeal : clFuchsia);
        int fw = 0, fh = 0;
        stretch ? FitInsideEnlarge(fw, fh, pic.width(), pic.height(), 64, 48) : FitInside(fw, fh, pic.width(), pic.height(), 64, 48);
        want.StretchDraw(Rect((64 - fw) / 2, (48 - fh) / 2, (64 - fw) / 2 + fw, (48 - fh) / 2 + fh), pic);
        EXPECT_EQ(sameSize.Image(), want.Image());
        if (style == bsSolid) {
          EXPECT_EQ(fresh.Image(), want.Image());
          EXPECT_EQ(otherSize.Image(), want.Image());
        }
      }
}

// ---------------------------------------------------------------------------------------------
// Blending and channel operations

TEST(KVGraphicsBlend, OpacityRules) {
  TKVBitmap d = Solid(4, 1, RGB(100, 100, 100));
  TKVBitmap s = Solid(4, 1, RGB(201, 103, 250));
  AlphaBlendBitmap(d, 0, 0, s, 0.0f);
  EXPECT_EQ(At(d, 0, 0), RGB(100, 100, 100));
  AlphaBlendBitmap(d, 0, 0, s, 0.5f);
  EXPECT_EQ(At(d, 0, 0), RGB(150, 102, 175));  // 100 + round(50.5), 100 + round(1.5)
  d = Solid(1, 1, RGB(0, 100, 100));
  s = Solid(1, 1, RGB(200, 200, 250));
  AlphaBlendBitmap(d, 0, 0, s, 0.4f);
  EXPECT_EQ(At(d, 0, 0), RGB(80, 140, 160));
  d = Solid(1, 1, RGB(100, 100, 100));
  AlphaBlendBitmap(d, 0, 0, s, 1.5f);  // extrapolates and clamps
  EXPECT_EQ(At(d, 0, 0), RGB(250, 250, 255));
  d = Solid(1, 1, RGB(100, 100, 100));
  AlphaBlendBitmap(d, 0, 0, s, -1.0f);
  EXPECT_EQ(At(d, 0, 0), RGB(0, 0, 0));
  AlphaBlendBitmap(d, 0, 0, s, 1.0f);
  EXPECT_EQ(At(d, 0, 0), RGB(200, 200, 250));
}

TEST(KVGraphicsBlend, ClipsAtEveryEdgeAtEveryOpacity) {
  const TKVBitmap src = Numbered(6, 4);
  for (const float op : {1.0f, 0.5f}) {
    TKVBitmap d = Solid(10, 10, clBlack);
    AlphaBlendBitmap(d, 7, 8, src, op);  // past the right and bottom edges
    EXPECT_EQ(PaintedArea(d, clBlack), Rect(7, 8, 10, 10)) << op;
    d = Solid(10, 10, clBlack);
    AlphaBlendBitmap(d, -2, -1, src, op);  // past the left and top edges
    EXPECT_EQ(PaintedArea(d, clBlack), Rect(0, 0, 4, 3)) << op;
    if (op == 1.0f) {
      EXPECT_EQ(At(d, 0, 0), RGB(2, 1, 7));
    }
  }
  // Source rectangles reaching outside the source use only its pixels.
  TKVBitmap d = Solid(10, 10, clBlack);
  AlphaBlendRect(d, 0, 0, Rect(-2, -2, 3, 3), src, 1.0f);
  EXPECT_EQ(PaintedArea(d, clBlack), Rect(2, 2, 5, 5));
  EXPECT_EQ(At(d, 2, 2), RGB(0, 0, 7));
  AlphaBlendRect(d, 9, 9, Rect(0, 0, 1000, 1000), src, 1.0f);
  EXPECT_EQ(At(d, 9, 9), RGB(0, 0, 7));
  AlphaBlendRect(d, INT_MAX - 1, INT_MIN + 1, Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX), src, 0.5f);
  // Blending a bitmap onto itself reads the original pixels.
  TKVBitmap self = Numbered(4, 1);
  AlphaBlendBitmap(self, 1, 0, self, 1.0f);
  EXPECT_EQ(At(self, 3, 0), RGB(2, 0, 7));
}

TEST(KVGraphicsBlend, SaturatingChannelsAndDarkening) {
  TKVBitmap d = Solid(3, 3, RGB(200, 50, 0));
  const TKVBitmap s = Solid(2, 2, RGB(100, 100, 0));
  AddBitmapSaturated(d, -1, -1, s);
  EXPECT_EQ(At(d, 0, 0), RGB(255, 150, 0));
  EXPECT_EQ(At(d, 1, 0), RGB(200, 50, 0));
  SubtractBitmapSaturated(d, 2, 2, s);
  EXPECT_EQ(At(d, 2, 2), RGB(100, 0, 0));
  EXPECT_EQ(At(d, 1, 1), RGB(200, 50, 0));

  TKVBitmap g = Solid(2, 1, RGB(20, 200, 0));
  g.ScanLine(0)[1] = TRGBTriple{0, 50, 100};
  DarkenGrey(g, 30);
  EXPECT_EQ(At(g, 0, 0), clBlack);
  EXPECT_EQ(At(g, 1, 0), RGB(70, 70, 70));
}

// ---------------------------------------------------------------------------------------------
// Gradients

TEST(KVGraphicsGradient, RowsColumnsAndClipping) {
  TKVBitmap b(3, 256);
  GradientFill(b, clBlack, clWhite, true);
  for (int y = 0; y < 256; ++y) ASSERT_EQ(At(b, 1, y), RGB(y, y, y)) << y;

  TKVBitmap h(3, 2);
  GradientFill(h, clRed, clBlue, false);
  EXPECT_EQ(At(h, 0, 1), clRed);
  EXPECT_EQ(At(h, 1, 1), RGB(127, 0, 128));  // 255 + round(-127.5), 0 + round(127.5)
  EXPECT_EQ(At(h, 2, 0), clBlue);

  TKVBitmap band = Solid(4, 4, clBlack);
  GradientFillRect(band, Rect(0, 1, 4, 2), clRed, true, clBlue);  // one row high: colour 1
  EXPECT_EQ(At(band, 2, 1), clRed);
  EXPECT_EQ(At(band, 2, 2), clBlack);

  // Clipped on all four sides; the ramp runs over the visible part.
  TKVBitmap c = Solid(4, 4, clBlack);
  GradientFillRect(c, Rect(-10, -10, 14, 14), RGB(0, 0, 0), true, RGB(30, 30, 30));
  EXPECT_EQ(At(c, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(At(c, 3, 1), RGB(10, 10, 10));
  EXPECT_EQ(At(c, 3, 3), RGB(30, 30, 30));

  TKVBitmap same = Solid(4, 4, clBlack);
  same.BrushStyle = bsClear;
  GradientFillRect(same, Rect(-1, -1, 2, 2), clLime, false, clLime);
  EXPECT_EQ(PaintedArea(same, clBlack), Rect(0, 0, 2, 2));
  EXPECT_EQ(same.BrushStyle, bsSolid);
  EXPECT_EQ(same.BrushColor, clLime);
}

// ---------------------------------------------------------------------------------------------
// Recolouring

TEST(KVGraphicsRecolour, GreyLevelsAroundTheColour) {
  TKVBitmap b(5, 1);
  const std::uint8_t greys[] = {128, 100, 200, 120, 0};
  for (int x = 0; x < 5; ++x) b.ScanLine(0)[x] = TRGBTriple{greys[x], greys[x], greys[x]};
  b.ScanLine(0)[4] = TRGBTriple{0, 0, 255};  // pure red: not grey
  RecolourGrey(b, RGB(100, 110, 120), 128, 0.5f, 50, 2);
  EXPECT_EQ(At(b, 0, 0), RGB(100, 110, 120));
  EXPECT_EQ(At(b, 1, 0), RGB(70, 80, 90));     // d 28 below the threshold: k = 28 + 2
  EXPECT_EQ(At(b, 2, 0), RGB(138, 148, 158));  // d 72: k = round(36.0) + 2
  EXPECT_EQ(At(b, 3, 0), RGB(90, 100, 110));   // d 8: k = 10
  EXPECT_EQ(At(b, 4, 0), clRed);

  TKVBitmap wrap(1, 1);
  wrap.ScanLine(0)[0] = TRGBTriple{138, 138, 138};
  RecolourGrey(wrap, RGB(10, 10, 10), 128, 1.0f, 50, 250);  // k = 260 taken as a byte: 4
  EXPECT_EQ(At(wrap, 0, 0), RGB(14, 14, 14));
}

TEST(KVGraphicsRecolour, TextureTiledOrStretched) {
  QImage tex(2, 1, QImage::Format_RGB32);
  tex.setPixel(0, 0, qRgb(200, 0, 0));
  tex.setPixel(1, 0, qRgb(0, 0, 200));
  TKVBitmap b = Solid(5, 3, RGB(128, 128, 128));
  b.ScanLine(2)[4] = TRGBTriple{0, 255, 0};
  TextureGrey(b, tex, 128, false, 1.0f, 10, 0);
  EXPECT_EQ(At(b, 0, 0), RGB(200, 0, 0));
  EXPECT_EQ(At(b, 3, 2), RGB(0, 0, 200));
  EXPECT_EQ(At(b, 4, 1), RGB(200, 0, 0));
  EXPECT_EQ(At(b, 4, 2), clLime);

  TKVBitmap s = Solid(3, 3, RGB(138, 138, 138));
  TextureGrey(s, SolidImage(1, 1, RGB(50, 60, 70)), 128, true, 1.0f, 20, 0);
  EXPECT_EQ(At(s, 2, 2), RGB(60, 70, 80));
  TextureGrey(s, QImage(), 128, true, 1.0f, 20, 0);
  EXPECT_EQ(At(s, 2, 2), RGB(60, 70, 80));
}

// ---------------------------------------------------------------------------------------------
// Regions

TEST(KVGraphicsRegion, BlackRunsClippedToTheBitmap) {
  EXPECT_TRUE(BitmapRegionWhole(Solid(10, 10, clWhite), 0, 0).isEmpty());
  EXPECT_TRUE(BitmapRegionWhole(TKVBitmap(), 0, 0).isEmpty());
  const QRegion black = BitmapRegionWhole(Solid(10, 10, clBlack), 5, 5);
  EXPECT_EQ(black.rectCount(), 10);
  EXPECT_TRUE(black.xored(QRegion(5, 5, 10, 10)).isEmpty());

  TKVBitmap b = Solid(5, 2, clWhite);
  b.ScanLine(0)[0] = b.ScanLine(0)[1] = b.ScanLine(0)[4] = TRGBTriple{0, 0, 0};
  b.ScanLine(1)[2] = TRGBTriple{0, 0, 1};  // nearly black is not black
  const QRegion runs = BitmapRegion(b, 0, 0, Rect(-5, -5, 50, 50));
  EXPECT_EQ(runs.rectCount(), 2);
  EXPECT_TRUE(runs.xored(QRegion(0, 0, 2, 1) + QRegion(4, 0, 1, 1)).isEmpty());
  EXPECT_TRUE(BitmapRegion(b, 0, 0, Rect(1, 0, 4, 1)).xored(QRegion(1, 0, 1, 1)).isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Blur

TEST(KVGraphicsBlur, KernelHalfWidths) {
  TKVBitmap b;
  const std::pair<double, int> cases[] = {{0.5, 1}, {1, 2},   {2, 5},   {3, 8},  {5, 14},
                                          {10, 30}, {20, 61}, {50, 99}, {100, 99}};
  for (const auto& [radius, half] : cases) {
    b.PrepareBlurKernel(radius);
    EXPECT_EQ(b.KernelHalfWidth, half) << radius;
    double sum = 0;
    for (int k = -half; k <= half; ++k) {
      sum += b.Weight(k);
      EXPECT_EQ(b.Weight(k), b.Weight(-k));
    }
    EXPECT_NEAR(sum, 1.0, 1e-6) << radius;
    EXPECT_EQ(b.Weight(half + 1), 0.0f);
  }
  // The kept kernel is reused while the radius stays.
  b.PrepareBlurKernel(2);
  b.Weights[100] = 0.25f;
  b.PrepareBlurKernel(2);
  EXPECT_EQ(b.Weight(0), 0.25f);
  b.PrepareBlurKernel(2.5);
  EXPECT_NE(b.Weight(0), 0.25f);
}

TEST(KVGraphicsBlur, SpreadsByTheHalfWidthAndRepeatsEdges) {
  TKVBitmap line = Solid(21, 1, clBlack);
  line.ScanLine(0)[10] = TRGBTriple{255, 255, 255};
  Blur(line, 2.0);  // half-width 5
  for (int x = 0; x < 21; ++x) {
    const int v = line.ScanLine(0)[x].rgbtRed;
    if (std::abs(x - 10) <= 5)
      EXPECT_GT(v, 0) << x;
    else
      EXPECT_EQ(v, 0) << x;
    EXPECT_EQ(v, line.ScanLine(0)[20 - x].rgbtRed);
  }
  EXPECT_EQ(line.Radius, 2.0);

  // A single pixel blurs against itself at every tap and keeps its value (up to truncation).
  TKVBitmap dot = Solid(1, 1, RGB(200, 100, 50));
  Blur(dot, 3.0);
  EXPECT_NEAR(dot.ScanLine(0)[0].rgbtRed, 200, 1);
  EXPECT_NEAR(dot.ScanLine(0)[0].rgbtBlue, 50, 1);

  // Vertical pass: a white row at the top edge spreads downward only.
  TKVBitmap col = Solid(1, 12, clBlack);
  col.ScanLine(0)[0] = TRGBTriple{255, 255, 255};
  Blur(col, 1.0);  // half-width 2
  EXPECT_GT(col.ScanLine(2)[0].rgbtGreen, 0);
  EXPECT_EQ(col.ScanLine(3)[0].rgbtGreen, 0);
  EXPECT_GT(col.ScanLine(0)[0].rgbtGreen, col.ScanLine(1)[0].rgbtGreen);

  TKVBitmap same = Solid(3, 3, RGB(9, 9, 9));
  Blur(same, 0.0);
  EXPECT_EQ(same.Radius, 0.0);
  TKVBitmap empty;
  Blur(empty, 5.0);
}

// ---------------------------------------------------------------------------------------------
// Shadowed text and text in a rectangle (fixed text metrics)

class KVGraphicsText : public ::testing::Test {
 protected:
  TKVFixedTextHelper fake;
  TKVTextHelperScope scope{fake};

  // Grey 50 target with a white font of 10 pixels: Big is 20 x 22 for "A", Small 10 x 11.
  TKVBitmap Target(int w = 20, int h = 20) {
    TKVBitmap t = Solid(w, h, RGB(50, 50, 50));
    t.Font.setPixelSize(10);
    t.FontColor = clWhite;
    return t;
  }
  static int Red(const TKVBitmap& b, int x, int y) { return b.ScanLine(y)[x].rgbtRed; }
};

TEST_F(KVGraphicsText, ShadowTextAveragesTheDoubleSizeText) {
  TKVBitmap t = Target();
  DrawShadowText(t, 4, 2, QStringLiteral("A"), 0, 0.0);
  // Big's glyph covers columns 5..14 and rows 1..20; halves of 127.5 and 63.75 round to even.
  EXPECT_EQ(Red(t, 4 + 3, 2 + 5), 255);
  EXPECT_EQ(Red(t, 4 + 2, 2 + 5), 128);
  EXPECT_EQ(Red(t, 4 + 7, 2 + 5), 128);
  EXPECT_EQ(Red(t, 4 + 3, 2 + 0), 128);
  EXPECT_EQ(Red(t, 4 + 2, 2 + 0), 64);
  EXPECT_EQ(Red(t, 4 + 7, 2 + 10), 64);
  EXPECT_EQ(Red(t, 4 + 1, 2 + 5), 0);   // the black background is drawn opaque
  EXPECT_EQ(Red(t, 4 + 10, 2 + 5), 50);  // Small is 10 wide
  EXPECT_EQ(Red(t, 4 + 5, 2 + 11), 50);  // and 11 high
}

TEST_F(KVGraphicsText, ShadowTextModes) {
  TKVBitmap add = Target();
  DrawShadowText(add, 0, 0, QStringLiteral("A"), 2, 0.0);
  EXPECT_EQ(Red(add, 2, 5), 178);
  EXPECT_EQ(Red(add, 3, 5), 255);
  EXPECT_EQ(Red(add, 0, 0), 50);

  TKVBitmap sub = Target();
  DrawShadowText(sub, 0, 0, QStringLiteral("A"), 3, 0.0);
  EXPECT_EQ(Red(sub, 2, 5), 0);
  EXPECT_EQ(Red(sub, 9, 5), 50);

  TKVBitmap onBrush = Target();
  onBrush.BrushColor = RGB(100, 0, 0);
  DrawShadowText(onBrush, 0, 0, QStringLiteral("A"), 1, 0.0);
  EXPECT_EQ(Red(onBrush, 0, 0), 100);
  EXPECT_EQ(Red(onBrush, 4, 4), 255);

  TKVBitmap none = Target();
  fake.textOutCalls = 0;
  DrawShadowText(none, 0, 0, QStringLiteral("A"), 4, 0.0);
  EXPECT_EQ(fake.textOutCalls, 0);
  EXPECT_EQ(PaintedArea(none, RGB(50, 50, 50)), Rect(20, 20, 0, 0));

  TKVBitmap blurred = Target();
  DrawShadowText(blurred, 0, 0, QStringLiteral("A"), 2, 1.0);
  EXPECT_GT(Red(blurred, 1, 5), 50);  // the glow reaches past the glyph

  TKVBitmap clipped = Target();
  DrawShadowText(clipped, -3, -5, QStringLiteral("A"), 2, 0.0);
  EXPECT_EQ(Red(clipped, 0, 0), 255);
}

TEST_F(KVGraphicsText, OddBigWidthLosesItsLastColumn) {
  TKVBitmap t = Target();
  t.Font.setPixelSize(5);  // Big: 3 characters of 5 = 15 wide, Small 7
  t.BrushColor = clRed;
  DrawShadowText(t, 0, 0, QStringLiteral("AB"), 0, 0.0);
  EXPECT_EQ(Red(t, 6, 1), 0);
  EXPECT_EQ(Red(t, 7, 1), 50);
}

TEST_F(KVGraphicsText, TextInRectMeasuresAndDraws) {
  TKVBitmap b = Solid(40, 40, clWhite);
  b.Font.setPixelSize(10);  // 5 x 10 per character
  b.FontColor = clBlack;
  b.BrushStyle = bsClear;
  TRect r = Rect(0, 0, 27, 0);
  DrawTextInRect(b, QStringLiteral("aa bb cc"), taCenter, r, true);
  EXPECT_EQ(r, Rect(0, 0, 25, 20));
  EXPECT_EQ(fake.textOutCalls, 0);
  r = Rect(2, 3, 29, 3);
  DrawTextInRect(b, QStringLiteral("aa bb cc"), taCenter, r, false);
  EXPECT_EQ(r, Rect(2, 3, 27, 23));
  EXPECT_EQ(At(b, 2, 3), clBlack);
  EXPECT_EQ(At(b, 2 + 6, 13), clWhite);  // "cc" centred 7 pixels in
  EXPECT_EQ(At(b, 2 + 7, 13), clBlack);
  EXPECT_EQ(b.TextWidth(QStringLiteral("abc")), 15);
  EXPECT_EQ(b.TextHeight(QStringLiteral("abc")), 10);
}

// The shadowed text is kept between calls with the same font, colours, text and radius, while
// the same text helper stays installed: every call draws what a fresh computation draws.
TEST(KVGraphicsShadowText, KeptTextsDrawWhatFreshOnesDraw) {
  const auto target = [](int mode) {
    TKVBitmap t = Solid(260, 90, RGB(60, 90, 120));
    t.Font = QFont(QStringLiteral("DejaVu Sans"));
    t.Font.setPixelSize(30);
    t.FontColor = clWhite;
    t.BrushColor = mode == 1 ? RGB(0, 0, 90) : clWhite;
    return t;
  };
  const auto expected = [&](int mode, const QString& text, double radius, const QFont* font = nullptr,
                            TColor color = clWhite) {
    TKVBitmap t = target(mode);
    if (font) t.Font = *font;
    t.FontColor = color;
    const TKVBitmap small = ShadowTextBitmap(t, text, mode, radius);
    if (mode <= 1) t.Draw(5, 7, small);
    else if (mode == 2) AddBitmapSaturated(t, 5, 7, small);
    else SubtractBitmapSaturated(t, 5, 7, small);
    return t.Image();
  };
  const auto drawn = [&](int mode, const QString& text, double radius, const QFont* font = nullptr,
                         TColor color = clWhite) {
    TKVBitmap t = target(mode);
    if (font) t.Font = *font;
    t.FontColor = color;
    DrawShadowText(t, 5, 7, text, mode, radius);
    return t.Image();
  };
  QFont bold(QStringLiteral("DejaVu Sans"));
  bold.setPixelSize(30);
  bold.setBold(true);
  QFont bigger = bold;
  bigger.setPixelSize(34);
  for (int round = 0; round < 2; ++round)
    for (int mode = 0; mode <= 3; ++mode) {
      EXPECT_EQ(drawn(mode, QStringLiteral("March 2025"), 0.8), expected(mode, QStringLiteral("March 2025"), 0.8));
      EXPECT_EQ(drawn(mode, QStringLiteral("April 2025"), 0.8), expected(mode, QStringLiteral("April 2025"), 0.8));
      EXPECT_EQ(drawn(mode, QStringLiteral("March 2025"), 1.5), expected(mode, QStringLiteral("March 2025"), 1.5));
      EXPECT_EQ(drawn(mode, QStringLiteral("March 2025"), 0.8, &bold), expected(mode, QStringLiteral("March 2025"), 0.8, &bold));
      EXPECT_EQ(drawn(mode, QStringLiteral("March 2025"), 0.8, &bigger),
                expected(mode, QStringLiteral("March 2025"), 0.8, &bigger));
      EXPECT_EQ(drawn(mode, QStringLiteral("March 2025"), 0.8, nullptr, clYellow),
                expected(mode, QStringLiteral("March 2025"), 0.8, nullptr, clYellow));
    }
  // Another helper installed: its own measures and drawing count, not the kept pictures.
  const QImage real = drawn(0, QStringLiteral("March 2025"), 0.8);
  TKVFixedTextHelper fake;
  {
    TKVTextHelperScope scope(fake);
    const QImage fixed = drawn(0, QStringLiteral("March 2025"), 0.8);
    EXPECT_NE(fixed, real);
    EXPECT_EQ(fixed, expected(0, QStringLiteral("March 2025"), 0.8));
  }
  EXPECT_EQ(drawn(0, QStringLiteral("March 2025"), 0.8), real);
}

TEST(KVTextHelper, QtTextIsPlacedFromTheTopOfTheCell) {
  TKVQtTextHelper qt;
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(20);
  const int h = qt.TextHeight(font, QStringLiteral("Wg"));
  const int w = qt.TextWidth(font, QStringLiteral("Wg"));
  ASSERT_GT(h, 10);
  QImage img(w + 20, h + 40, QImage::Format_BGR888);
  img.fill(Qt::white);
  qt.TextOut(img, 10, 20, font, clBlack, QStringLiteral("Wg"), std::nullopt);
  int top = img.height(), bottom = -1;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixelColor(x, y) != QColor(Qt::white)) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  EXPECT_GE(top, 20);
  EXPECT_LT(top, 20 + h / 2);
  EXPECT_LT(bottom, 20 + h);
  const TRect two = qt.MeasureWrapped(font, QStringLiteral("Wg\nWg"), Rect(0, 0, 500, 0));
  EXPECT_GE(two.Height(), 2 * h);
  EXPECT_NEAR(two.Width(), w, 1);
}
