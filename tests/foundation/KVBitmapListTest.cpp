#include <gtest/gtest.h>

#include <QBuffer>
#include <QPainter>

#include "foundation/KVBitmapList.h"
#include "foundation/KVPicture.h"

namespace {

QImage SolidImage(int w, int h, TColor c) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(ToQColor(c));
  return img;
}

TColor At(const QImage& img, int x, int y) {
  const QColor c = img.pixelColor(x, y);
  return RGB(c.red(), c.green(), c.blue());
}

TColor At(const TKVBitmap& b, int x, int y) { return At(b.Image(), x, y); }

QByteArray Saved(const TKVBitmapList& list) {
  QBuffer buf;
  buf.open(QIODevice::ReadWrite);
  list.SaveToStream(buf);
  return buf.data();
}

void Load(TKVBitmapList& list, const QByteArray& data) {
  QByteArray copy = data;
  QBuffer buf(&copy);
  buf.open(QIODevice::ReadOnly);
  list.LoadFromStream(buf);
}

QByteArray Header(qint32 lw, qint32 lh, qint32 count, quint32 color) {
  QByteArray h;
  for (quint32 v : {quint32(lw), quint32(lh), quint32(count), color})
    for (int k = 0; k < 4; ++k) h.append(char(v >> (8 * k)));
  return h;
}

// The strip of the examples: 40 x 30 red, 64 x 20 lime, 10 x 50 blue.
class KVBitmapListTest : public ::testing::Test {
 protected:
  TKVBitmapList list;
  void SetUp() override {
    list.AddBitmap(SolidImage(40, 30, clRed));
    list.AddBitmap(SolidImage(64, 20, clLime));
    list.AddBitmap(SolidImage(10, 50, clBlue));
  }
};

}  // namespace

TEST_F(KVBitmapListTest, AddingPlacesImagesSideBySide) {
  EXPECT_EQ(list.Picture().Width(), 114);
  EXPECT_EQ(list.Picture().Height(), 50);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.WidthS(), QStringLiteral("40,64,10,"));
  EXPECT_EQ(list.HeightS(), QStringLiteral("30,20,50,"));
  EXPECT_EQ(list.EntryRect(1), Rect(40, 0, 104, 20));
  EXPECT_EQ(list.EntryWidth(2), 10);
  EXPECT_EQ(list.EntryHeight(3), 0);
  EXPECT_EQ(list.EntryRect(-1), TRect{});
  EXPECT_EQ(At(list.Picture(), 39, 29), clRed);
  EXPECT_EQ(At(list.Picture(), 40, 0), clLime);
  EXPECT_EQ(At(list.Picture(), 113, 49), clBlue);

  TKVBitmap one;
  list.GetBitmap(one, 1);
  EXPECT_EQ(std::make_pair(one.Width(), one.Height()), std::make_pair(64, 20));
  EXPECT_EQ(At(one, 63, 19), clLime);
  list.GetBitmap(one, 7);  // bad index: unchanged
  EXPECT_EQ(one.Width(), 64);
}

TEST_F(KVBitmapListTest, ReplacingKeepsTheOrder) {
  list.ReplaceBitmap(1, SolidImage(20, 60, clYellow));
  EXPECT_EQ(list.Picture().Width(), 70);
  EXPECT_EQ(list.Picture().Height(), 60);
  EXPECT_EQ(list.EntryRect(2).Left, 60);
  EXPECT_EQ(list.WidthS(), QStringLiteral("40,20,10,"));
  EXPECT_EQ(list.HeightS(), QStringLiteral("30,60,50,"));
  EXPECT_EQ(At(list.Picture(), 0, 0), clRed);
  EXPECT_EQ(At(list.Picture(), 59, 59), clYellow);
  EXPECT_EQ(At(list.Picture(), 69, 49), clBlue);
  list.ReplaceBitmap(3, SolidImage(5, 5, clAqua));  // not an index: appended
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.EntryRect(3), Rect(70, 0, 75, 5));
}

TEST_F(KVBitmapListTest, SizeTextsAreCommaClosed) {
  TKVBitmapList l;
  l.SetCount(2);
  l.SetWidthS(QStringLiteral("40,64"));
  EXPECT_EQ(l.Widths(), (std::vector<int>{40, 0}));
  l.SetWidthS(QStringLiteral("x,99999999999,$10,"));
  EXPECT_EQ(l.Widths(), (std::vector<int>{0, 0}));
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_TRUE(l.Picture().Empty());
  EXPECT_TRUE(l.Rects().empty());
}

TEST_F(KVBitmapListTest, SaveAndLoadRoundTrip) {
  list.SetTransparentColor(clLime);
  const QByteArray data = Saved(list);
  EXPECT_EQ(data.mid(34, 2), QByteArray("BM"));  // LW = LH = 9
  EXPECT_EQ(data.left(16), Header(9, 9, 3, clLime));

  TKVBitmapList back;
  QByteArray shifted = data;
  QBuffer buf(&shifted);
  buf.open(QIODevice::ReadOnly);
  buf.seek(20);  // read from the start whatever the position
  back.LoadFromStream(buf);
  EXPECT_EQ(back.Count(), 3);
  EXPECT_EQ(back.WidthS(), list.WidthS());
  EXPECT_EQ(back.Rects(), list.Rects());
  EXPECT_EQ(back.TransparentColor(), clLime);
  EXPECT_EQ(back.Picture().Image(), list.Picture().Image());
  EXPECT_EQ(At(back.Mask(), 50, 5), clWhite);  // rebuilt from the colour
  EXPECT_EQ(At(back.Mask(), 5, 5), clBlack);

  TKVBitmapList empty;
  Load(back, Saved(empty));
  EXPECT_EQ(back.Count(), 0);
  EXPECT_TRUE(back.Picture().Empty());
}

TEST_F(KVBitmapListTest, HostileStreamsFailCleanlyAndKeepTheStrip) {
  const QByteArray good = Saved(list);
  const QByteArray bmp = good.mid(34);
  const auto expectRead = [this](const QByteArray& data) {
    EXPECT_THROW(Load(list, data), EReadError);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Picture().Width(), 114);
  };
  expectRead(good.left(10));                                                  // shorter than the header
  expectRead(Header(0x7FFFFFFF, 0x7FFFFFFF, 3, clNone) + "40,64,10,");          // huge text lengths
  expectRead(Header(-1, 9, 3, clNone) + "40,64,10,30,20,50," + bmp);            // negative length
  expectRead(Header(9, 9, 1000000, clNone) + "40,64,10,30,20,50," + bmp);       // count beyond the sizes
  expectRead(Header(9, 9, -2, clNone) + "40,64,10,30,20,50," + bmp);            // negative count
  expectRead(Header(12, 9, 3, clNone) + "40,64,99999,30,20,50," + bmp);         // wider than the strip
  expectRead(Header(9, 10, 3, clNone) + "40,64,10,30,20,500," + bmp);           // taller than the strip
  expectRead(Header(9, 9, 3, clNone) + "40,-4,10,30,20,50," + bmp);             // negative size
  expectRead(Header(4, 4, 2, clNone) + "0,0,0,0,");                              // images without a bitmap
  // More images than the strip has columns: 400,000 empty images once made 2 GB of icons.
  QByteArray zeros;
  for (int i = 0; i < 200; ++i) zeros += "0,";
  QBuffer narrow;
  narrow.open(QIODevice::WriteOnly);
  WriteBitmap24(narrow, SolidImage(100, 1, clRed));
  expectRead(Header(400, 400, 200, clNone) + zeros + zeros + narrow.data());
  EXPECT_THROW(Load(list, Header(9, 9, 3, clNone) + "40,64,10,30,20,50,BMxx"), EInvalidGraphic);
  EXPECT_EQ(list.Count(), 3);
  // Fewer images than sizes is fine.
  Load(list, Header(9, 9, 2, clNone) + "40,64,10,30,20,50," + bmp);
  EXPECT_EQ(list.Count(), 2);
}

TEST_F(KVBitmapListTest, TransparentDrawingMaskAndRegions) {
  QImage canvas(60, 60, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  {
    QPainter p(&canvas);
    list.DrawTransparent(p, 0, 0, 0);  // no transparent colour: opaque
    list.CopyMaskPart(p, Rect(50, 50, 55, 55), 0, Rect(0, 0, 5, 5));
  }
  EXPECT_EQ(At(canvas, 10, 10), clRed);
  EXPECT_EQ(At(canvas, 52, 52), clBlack);

  // An image with a transparent frame: only its centre is shown.
  QImage framed = SolidImage(6, 4, clFuchsia);
  for (int y = 1; y < 3; ++y)
    for (int x = 1; x < 5; ++x) framed.setPixel(x, y, qRgb(1, 2, 3));
  list.AddBitmap(framed);
  list.SetTransparentColor(clFuchsia);
  canvas.fill(Qt::white);
  {
    QPainter p(&canvas);
    list.DrawTransparent(p, -1, 3, 10);
    list.DrawImage(p, 20, 3, 20);
    list.DrawTransparent(p, 0, 9, 0);
  }
  EXPECT_EQ(At(canvas, 0, 10), clWhite);
  EXPECT_EQ(At(canvas, 0, 11), RGB(1, 2, 3));
  EXPECT_EQ(At(canvas, 20, 20), clFuchsia);
  EXPECT_EQ(At(list.Mask(), 114, 0), clWhite);
  EXPECT_EQ(At(list.Mask(), 115, 1), clBlack);

  const QRegion r = list.ImageRegion(3, 100, 200);
  EXPECT_TRUE(r.xored(QRegion(101, 201, 4, 2)).isEmpty());
  const QRegion part = list.ImagePartRegion(3, 0, 0, Rect(0, 0, 2, 4));
  EXPECT_TRUE(part.xored(QRegion(1, 1, 1, 2)).isEmpty());
  EXPECT_TRUE(list.ImageRegion(4, 0, 0).isEmpty());

  QImage scaled(8, 8, QImage::Format_RGB32);
  scaled.fill(Qt::white);
  {
    QPainter p(&scaled);
    list.CopyPart(p, Rect(0, 0, 8, 8), 3, Rect(1, 1, 3, 3));  // 2 x 2 scaled up
  }
  EXPECT_EQ(At(scaled, 7, 7), RGB(1, 2, 3));
}

TEST_F(KVBitmapListTest, AssignCopiesAndRefusesOtherClasses) {
  list.SetTransparentColor(clBlue);
  TKVBitmapList copy;
  copy.Assign(list);
  EXPECT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.Rects(), list.Rects());
  EXPECT_EQ(copy.Mask().Image(), list.Mask().Image());
  TFont font;
  EXPECT_THROW(copy.Assign(font), EConvertError);

  TKVBitmapObjectList strips;
  strips.Add().Assign(list);
  strips.Add();
  EXPECT_EQ(strips.Count(), 2);
  EXPECT_EQ(strips.Items(0)->Count(), 3);
  EXPECT_EQ(strips.Items(2), nullptr);
  strips.Delete(0);
  EXPECT_EQ(strips.Items(0)->Count(), 0);
}
