#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>
#include <cstdio>
#include <tuple>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <zlib.h>

#include "foundation/KVPicture.h"
#include "tests/common/TestUtil.h"

namespace {

TColor At(const QImage& img, int x, int y) {
  const QColor c = img.pixelColor(x, y);
  return RGB(c.red(), c.green(), c.blue());
}

void Put32(QByteArray& b, quint32 v) {
  for (int k = 0; k < 4; ++k) b.append(char(v >> (8 * k)));
}
void Put16(QByteArray& b, quint16 v) {
  b.append(char(v));
  b.append(char(v >> 8));
}

// A bitmap file with an info header (40 bytes) and what follows it.
QByteArray Bmp(qint32 w, qint32 h, int bpp, quint32 compression, const QByteArray& extra, const QByteArray& pixels,
               quint32 clrUsed = 0) {
  if (clrUsed == 0 && bpp <= 8) clrUsed = quint32(extra.size() / 4);
  QByteArray info;
  Put32(info, 40);
  Put32(info, quint32(w));
  Put32(info, quint32(h));
  Put16(info, 1);
  Put16(info, quint16(bpp));
  Put32(info, compression);
  Put32(info, quint32(pixels.size()));
  Put32(info, 0);
  Put32(info, 0);
  Put32(info, clrUsed);
  Put32(info, 0);
  QByteArray file("BM");
  Put32(file, quint32(14 + info.size() + extra.size() + pixels.size()));
  Put32(file, 0);
  Put32(file, quint32(14 + info.size() + extra.size()));
  return file + info + extra + pixels;
}

QByteArray Palette(std::initializer_list<TColor> colors) {
  QByteArray p;
  for (TColor c : colors) {
    p.append(char(GetBValue(c)));
    p.append(char(GetGValue(c)));
    p.append(char(GetRValue(c)));
    p.append('\0');
  }
  return p;
}

QByteArray Bytes(std::initializer_list<int> v) {
  QByteArray b;
  for (int x : v) b.append(char(x));
  return b;
}

QByteArray Jpeg(const QImage& img, int quality = 90) {
  QBuffer buf;
  buf.open(QIODevice::WriteOnly);
  QImageWriter w(&buf, "jpg");
  w.setQuality(quality);
  EXPECT_TRUE(w.write(img));
  return buf.data();
}

// A JPEG of one colour through libjpeg, in the colour space given (CMYK is marked with the Adobe
// segment), a row at a time: pictures larger than memory would hold cost little.
QByteArray FlatJpeg(int w, int h, J_COLOR_SPACE space, int components, const uchar* pixel) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = components;
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(size_t(w) * size_t(components));
  for (int x = 0; x < w; ++x) std::copy(pixel, pixel + components, row.begin() + qsizetype(components) * x);
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  QByteArray data(reinterpret_cast<const char*>(out), qsizetype(size));
  std::free(out);
  return data;
}

// Changes the size in the first frame header of a baseline JPEG.
QByteArray WithJpegSize(QByteArray data, int w, int h) {
  const int at = data.indexOf(QByteArray("\xFF\xC0", 2));
  EXPECT_GT(at, 0);
  data[at + 5] = char(h >> 8);
  data[at + 6] = char(h);
  data[at + 7] = char(w >> 8);
  data[at + 8] = char(w);
  return data;
}

QImage Noise(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  QRandomGenerator gen(42);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < w; ++x) row[x] = 0xFF000000u | (gen.generate() & 0xFFFFFF);
  }
  return img;
}

// A GIF of w x h palette indices through giflib.
QByteArray Gif(int w, int h, const std::vector<GifByteType>& pixels, std::initializer_list<TColor> colors,
               int transparent = -1, bool interlace = false) {
  QByteArray out;
  int err = 0;
  GifFileType* g = EGifOpen(
      &out,
      [](GifFileType* f, const GifByteType* b, int n) {
        static_cast<QByteArray*>(f->UserData)->append(reinterpret_cast<const char*>(b), n);
        return n;
      },
      &err);
  EGifSetGifVersion(g, true);
  ColorMapObject* map = GifMakeMapObject(4, nullptr);
  int i = 0;
  for (TColor c : colors) map->Colors[i++] = GifColorType{GifByteType(GetRValue(c)), GifByteType(GetGValue(c)),
                                                          GifByteType(GetBValue(c))};
  EGifPutScreenDesc(g, w, h, 2, 0, map);
  if (transparent >= 0) {
    const GifByteType ext[4] = {1, 0, 0, GifByteType(transparent)};
    EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, ext);
  }
  EGifPutImageDesc(g, 0, 0, w, h, interlace, nullptr);
  std::vector<int> rows;
  if (interlace) {
    for (int start : {0, 4, 2, 1})
      for (int r = start; r < h; r += (start == 0 || start == 4) ? 8 : start == 2 ? 4 : 2) rows.push_back(r);
  } else {
    for (int r = 0; r < h; ++r) rows.push_back(r);
  }
  for (int r : rows) EGifPutLine(g, const_cast<GifByteType*>(pixels.data()) + r * w, w);
  EGifCloseFile(g, &err);
  GifFreeMapObject(map);
  return out;
}

QByteArray Png(quint32 w, quint32 h) {
  QByteArray ihdr("IHDR");
  for (quint32 v : {w, h}) {
    for (int k = 3; k >= 0; --k) ihdr.append(char(v >> (8 * k)));
  }
  ihdr.append(Bytes({8, 2, 0, 0, 0}));
  QByteArray png("\x89PNG\r\n\x1a\n", 8);
  png.append(Bytes({0, 0, 0, 13}));
  png.append(ihdr);
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(ihdr.constData()), uInt(ihdr.size()));
  for (int k = 3; k >= 0; --k) png.append(char(crc >> (8 * k)));
  png.append(QByteArray("\0\0\0\4IDATxxxx\0\0\0\0", 16));
  return png;
}

QString TempPath(const QString& name) {
  QDir().mkpath(kvtest::TestRoot() + QStringLiteral("/pictures"));
  return kvtest::TestRoot() + QStringLiteral("/pictures/") + name;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Bitmap files

TEST(KVPictureBmp, WriterRoundTripsAndLaysOutRowsBottomUp) {
  QImage img(3, 2, QImage::Format_RGB32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) img.setPixel(x, y, qRgb(10 * x, 100 + y, 7));
  QBuffer buf;
  buf.open(QIODevice::WriteOnly);
  WriteBitmap24(buf, img);
  const QByteArray data = buf.data();
  ASSERT_EQ(data.size(), 54 + 2 * 12);  // rows of 9 bytes padded to 12
  EXPECT_EQ(data.left(2), QByteArray("BM"));
  EXPECT_EQ(quint8(data[2]), 78);
  EXPECT_EQ(quint8(data[10]), 54);
  EXPECT_EQ(quint8(data[28]), 24);
  EXPECT_EQ(Bytes({7, 101, 0}), data.mid(54, 3));  // first stored row is the bottom one
  const QImage back = DecodeBMP(data);
  EXPECT_EQ(back.format(), QImage::Format_BGR888);
  EXPECT_EQ(back, img.convertToFormat(QImage::Format_BGR888));

  QBuffer none;
  none.open(QIODevice::WriteOnly);
  WriteBitmap24(none, QImage());
  EXPECT_TRUE(none.data().isEmpty());
}

TEST(KVPictureBmp, ReadsPalettedRunLengthAndBitFieldPictures) {
  // 8 bits, top-down.
  QImage p = DecodeBMP(Bmp(2, -2, 8, 0, Palette({clRed, clBlue}), Bytes({0, 1, 0, 0, 1, 0, 0, 0})));
  EXPECT_EQ(At(p, 0, 0), clRed);
  EXPECT_EQ(At(p, 1, 0), clBlue);
  EXPECT_EQ(At(p, 0, 1), clBlue);
  // 1 bit, 9 pixels in two bytes.
  p = DecodeBMP(Bmp(9, 1, 1, 0, Palette({clBlack, clWhite}), Bytes({0x80, 0x80, 0, 0})));
  EXPECT_EQ(At(p, 0, 0), clWhite);
  EXPECT_EQ(At(p, 1, 0), clBlack);
  EXPECT_EQ(At(p, 8, 0), clWhite);
  // 4-bit run lengths: bottom row 1,2,1,2; top row an absolute run 3,4,5 then a delta.
  p = DecodeBMP(Bmp(4, 2, 4, 2, Palette({clBlack, clRed, clLime, clBlue, clYellow, clAqua}),
                    Bytes({4, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1})));
  EXPECT_EQ(At(p, 0, 1), clRed);
  EXPECT_EQ(At(p, 3, 1), clLime);
  EXPECT_EQ(At(p, 0, 0), clBlue);
  EXPECT_EQ(At(p, 2, 0), clAqua);
  EXPECT_EQ(At(p, 3, 0), clBlack);
  // 8-bit run lengths with a delta.
  p = DecodeBMP(Bmp(4, 2, 8, 1, Palette({clBlack, clRed}), Bytes({0, 2, 2, 1, 2, 1, 0, 1})));
  EXPECT_EQ(At(p, 2, 0), clRed);
  EXPECT_EQ(At(p, 3, 0), clRed);
  EXPECT_EQ(At(p, 0, 1), clBlack);
  // 16 bits 5-5-5 and 32 bits with bit fields.
  p = DecodeBMP(Bmp(2, 1, 16, 0, {}, Bytes({0x00, 0x7C, 0x1F, 0x00})));
  EXPECT_EQ(At(p, 0, 0), clRed);
  EXPECT_EQ(At(p, 1, 0), clBlue);
  QByteArray masks;
  Put32(masks, 0x000000FF);
  Put32(masks, 0x0000FF00);
  Put32(masks, 0x00FF0000);
  p = DecodeBMP(Bmp(1, 1, 32, 3, masks, Bytes({10, 20, 30, 0})));
  EXPECT_EQ(At(p, 0, 0), RGB(10, 20, 30));
  // The old 12-byte header with 3-byte palette entries.
  QByteArray core("BM");
  Put32(core, 14 + 12 + 6 + 4);
  Put32(core, 0);
  Put32(core, 14 + 12 + 6);
  Put32(core, 12);
  Put16(core, 1);
  Put16(core, 1);
  Put16(core, 1);
  Put16(core, 1);
  core += Bytes({0, 0, 0, 0x30, 0x20, 0x10, 0x80, 0, 0, 0});
  EXPECT_EQ(At(DecodeBMP(core), 0, 0), RGB(0x10, 0x20, 0x30));
  // The last row's padding may be missing.
  EXPECT_EQ(At(DecodeBMP(Bmp(1, 2, 24, 0, {}, Bytes({1, 2, 3, 0, 4, 5, 6}))), 0, 0), RGB(6, 5, 4));
}

TEST(KVPictureBmp, HostileHeadersFailBeforeAllocating) {
  const QByteArray tiny = Bytes({1, 2, 3, 4, 5, 6});
  EXPECT_THROW(DecodeBMP(Bmp(100000, 100000, 24, 0, {}, tiny)), EInvalidGraphic);
  EXPECT_THROW(DecodeBMP(Bmp(5000, 5000, 24, 0, {}, tiny)), EInvalidGraphic);
  EXPECT_THROW(DecodeBMP(Bmp(4000, 4000, 8, 1, Palette({clRed}), tiny)), EInvalidGraphic);
  EXPECT_THROW(DecodeBMP(Bmp(2, 2, 8, 0, Palette({clRed}), tiny, 1000)), EInvalidGraphic);
  EXPECT_THROW(DecodeBMP(Bmp(2, 2, 7, 0, {}, tiny)), EInvalidGraphic);
  EXPECT_THROW(DecodeBMP(Bmp(-2, 2, 24, 0, {}, tiny)), EInvalidGraphic);
  EXPECT_THROW(DecodeBMP(Bmp(2, 0, 24, 0, {}, tiny)), EInvalidGraphic);
  EXPECT_THROW(DecodeBMP(Bmp(2, -2, 8, 1, Palette({clRed}), tiny)), EInvalidGraphic);  // top-down runs
  EXPECT_THROW(DecodeBMP(Bmp(2, 2, 24, 4, {}, tiny)), EInvalidGraphic);
  EXPECT_THROW(DecodeBMP(QByteArray("BM")), EInvalidGraphic);
  QByteArray badHeader = Bmp(1, 1, 24, 0, {}, tiny);
  badHeader[14] = char(0xFF);
  badHeader[17] = char(0x7F);
  EXPECT_THROW(DecodeBMP(badHeader), EInvalidGraphic);
  QByteArray truncatedPalette = Bmp(2, 2, 8, 0, {}, {});
  EXPECT_THROW(DecodeBMP(truncatedPalette), EInvalidGraphic);
}

TEST(KVPictureBmp, SavingReplacesTheFileWhole) {
  const QString path = TempPath(QStringLiteral("kvmir.bmp"));
  kvtest::WriteFile(path, "old");
  QImage img(5, 4, QImage::Format_BGR888);
  img.fill(Qt::red);
  SaveBitmap24(path, img);
  EXPECT_EQ(DecodeBMP(kvtest::ReadFile(path)), img);
  EXPECT_THROW(SaveBitmap24(TempPath(QStringLiteral("missing/kvmir.bmp")), img), EFCreateError);
  EXPECT_EQ(DecodeBMP(kvtest::ReadFile(path)), img);
}

TEST(KVPictureBmp, AFileHoldsTheBytesTheWriterGivesAnyDevice) {
  // Rows without padding (written to a file straight from the picture, more rows than one call
  // takes), with padding, and in 32 bits.
  for (const auto& [w, h, format] : {std::tuple{64, 1500, QImage::Format_BGR888}, std::tuple{5, 1100, QImage::Format_BGR888},
                                     std::tuple{64, 30, QImage::Format_RGB32}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h << " format " << int(format));
    QImage img(w, h, format);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(x * 3, y & 255, (y >> 8) * 40));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    WriteBitmap24(buffer, img);
    const QString path = TempPath(QStringLiteral("rows.bmp"));
    SaveBitmap24(path, img);
    EXPECT_EQ(kvtest::ReadFile(path), buffer.data());
    EXPECT_EQ(DecodeBMP(buffer.data()).convertToFormat(QImage::Format_RGB32), img.convertToFormat(QImage::Format_RGB32));
  }
}

// ---------------------------------------------------------------------------------------------
// JPEG

TEST(KVPictureJpeg, DecodesAtTheCoarsestHalvingThatCoversTheTarget) {
  QImage src(800, 600, QImage::Format_RGB32);
  src.fill(qRgb(200, 100, 50));
  const QByteArray data = Jpeg(src);
  const QImage full = DecodeJPEG(data);
  EXPECT_EQ(full.size(), QSize(800, 600));
  EXPECT_EQ(full.format(), QImage::Format_RGB32);
  const QColor c = full.pixelColor(400, 300);
  EXPECT_NEAR(c.red(), 200, 3);
  EXPECT_NEAR(c.green(), 100, 3);
  EXPECT_NEAR(c.blue(), 50, 3);
  EXPECT_EQ(DecodeJPEG(data, QSize(200, 150)).size(), QSize(200, 150));
  // Only halvings: 3/8 would do, 1/2 is taken.
  EXPECT_EQ(DecodeJPEG(data, QSize(201, 150)).size(), QSize(400, 300));
  EXPECT_EQ(DecodeJPEG(data, QSize(401, 150)).size(), QSize(800, 600));
  EXPECT_EQ(DecodeJPEG(data, QSize(100, 10)).size(), QSize(100, 75));
  EXPECT_EQ(DecodeJPEG(data, QSize(1920, 1080)).size(), QSize(800, 600));
  EXPECT_EQ(LoadPictureFromData(data, QStringLiteral("JPG"), QSize(200, 150)).size(), QSize(200, 150));
}

TEST(KVPictureJpeg, GreyAndCmykPictures) {
  QImage grey(16, 16, QImage::Format_Grayscale8);
  grey.fill(90);
  const QColor g = DecodeJPEG(Jpeg(grey)).pixelColor(8, 8);
  EXPECT_NEAR(g.red(), 90, 2);
  EXPECT_EQ(g.red(), g.blue());

  const uchar magenta[4] = {255, 0, 255, 255};  // Adobe's inverted CMYK: no cyan, full magenta
  const QColor m = DecodeJPEG(FlatJpeg(16, 16, JCS_CMYK, 4, magenta)).pixelColor(8, 8);
  EXPECT_NEAR(m.red(), 255, 3);
  EXPECT_NEAR(m.green(), 0, 3);
  EXPECT_NEAR(m.blue(), 255, 3);
}

TEST(KVPictureJpeg, HostileAndDamagedData) {
  const QByteArray small = Jpeg(Noise(16, 16));
  QElapsedTimer timer;
  timer.start();
  EXPECT_THROW(DecodeJPEG(WithJpegSize(small, 60000, 60000)), EInvalidGraphic);
  EXPECT_THROW(DecodeJPEG(WithJpegSize(small, 60000, 60000), QSize(1920, 1080)), EInvalidGraphic);
  EXPECT_THROW(DecodeJPEG(WithJpegSize(small, 0, 16)), EInvalidGraphic);
  EXPECT_THROW(DecodeJPEG(QByteArray("not a picture at all")), EInvalidGraphic);
  EXPECT_THROW(DecodeJPEG(QByteArray()), EInvalidGraphic);
  EXPECT_LT(timer.elapsed(), 2000);
  // A cut-off or corrupt picture is refused, not shown half grey, also when decoded small.
  const QByteArray big = Jpeg(Noise(64, 64));
  EXPECT_THROW(DecodeJPEG(big.left(big.size() / 2)), EInvalidGraphic);
  EXPECT_THROW(DecodeJPEG(big.left(big.size() * 9 / 10)), EInvalidGraphic);
  EXPECT_THROW(DecodeJPEG(big.left(big.size() / 2), QSize(8, 8)), EInvalidGraphic);
  const qsizetype scan = big.indexOf("\xFF\xDA");
  ASSERT_GT(scan, 0);
  const qsizetype middle = (scan + big.size()) / 2;
  // An end marker in the middle of the data; bytes no code is made of.
  QByteArray cut = big;
  cut.replace(middle, 2, "\xFF\xD9", 2);
  EXPECT_THROW(DecodeJPEG(cut), EInvalidGraphic);
  QByteArray garbled = big;
  for (qsizetype i = middle; i + 1 < middle + 40; i += 2) garbled.replace(i, 2, "\xFF\x00", 2);
  EXPECT_THROW(DecodeJPEG(garbled), EInvalidGraphic);
  // Stray bytes between the segments or after the end, or an end marker missing after every pixel
  // is in, are harmless and passed over.
  EXPECT_EQ(DecodeJPEG(big.left(big.size() - 2)), DecodeJPEG(big));
  QByteArray stray = big;
  stray.insert(scan, "abc", 3);
  stray.append("trailing");
  EXPECT_EQ(DecodeJPEG(stray), DecodeJPEG(big));

  // A picture beyond the pixel ceiling is decoded at an eighth when a target is given.
  const uchar grey = 128;
  const QByteArray huge = FlatJpeg(12000, 12000, JCS_GRAYSCALE, 1, &grey);
  EXPECT_EQ(DecodeJPEG(huge, QSize(100, 100)).size(), QSize(1500, 1500));
}

// ---------------------------------------------------------------------------------------------
// GIF

TEST(KVPictureGif, FirstFrameColoursTransparencyAndInterlace) {
  const std::vector<GifByteType> px = {0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 1, 1};
  const QImage opaque = DecodeGIF(Gif(4, 3, px, {clRed, clLime, clBlue, clWhite}));
  EXPECT_EQ(opaque.format(), QImage::Format_BGR888);
  EXPECT_EQ(At(opaque, 0, 0), clRed);
  EXPECT_EQ(At(opaque, 3, 0), clWhite);
  EXPECT_EQ(At(opaque, 2, 1), clLime);

  const QImage clear = DecodeGIF(Gif(4, 3, px, {clRed, clLime, clBlue, clWhite}, 1));
  EXPECT_TRUE(clear.hasAlphaChannel());
  EXPECT_EQ(qAlpha(clear.pixel(1, 0)), 0);
  EXPECT_EQ(clear.pixel(2, 0), qRgba(0, 0, 255, 255));

  std::vector<GifByteType> rows(size_t(2 * 10));
  for (int y = 0; y < 10; ++y) rows[size_t(2 * y)] = rows[size_t(2 * y + 1)] = GifByteType(y % 4);
  const QImage inter = DecodeGIF(Gif(2, 10, rows, {clRed, clLime, clBlue, clWhite}, -1, true));
  for (int y = 0; y < 10; ++y) {
    const TColor expected[] = {clRed, clLime, clBlue, clWhite};
    EXPECT_EQ(At(inter, 1, y), expected[y % 4]) << y;
  }
}

TEST(KVPictureGif, HostileHeaders) {
  auto gif = [](int sw, int sh, int w, int h) {
    QByteArray b("GIF89a");
    Put16(b, quint16(sw));
    Put16(b, quint16(sh));
    b += Bytes({0x80, 0, 0, 0, 0, 0, 255, 255, 255});
    b += ',';
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, quint16(w));
    Put16(b, quint16(h));
    b += Bytes({0, 2, 2, 0x4C, 0x01, 0, ';'});
    return b;
  };
  EXPECT_THROW(DecodeGIF(gif(65535, 65535, 65535, 65535)), EInvalidGraphic);
  EXPECT_THROW(DecodeGIF(gif(8000, 8000, 8000, 8000)), EInvalidGraphic);
  EXPECT_THROW(DecodeGIF(gif(8000, 8000, 1, 1)), EInvalidGraphic);
  EXPECT_THROW(DecodeGIF(gif(10, 10, 0, 10)), EInvalidGraphic);
  EXPECT_THROW(DecodeGIF(QByteArray("GIF89a")), EInvalidGraphic);
  EXPECT_THROW(DecodeGIF(QByteArray()), EInvalidGraphic);
  EXPECT_THROW(DecodeGIF(gif(4, 4, 4, 4).left(30)), EInvalidGraphic);
}

// ---------------------------------------------------------------------------------------------
// Loading by extension

TEST(KVPictureFile, LoadsByExtension) {
  QImage img(6, 4, QImage::Format_RGB32);
  img.fill(qRgb(0, 0, 255));
  const QString bmp = TempPath(QStringLiteral("blue.BMP"));
  SaveBitmap24(bmp, img);
  EXPECT_EQ(At(LoadPictureFromFile(bmp), 5, 3), clBlue);

  const QString png = TempPath(QStringLiteral("blue.png"));
  ASSERT_TRUE(img.save(png, "PNG"));
  EXPECT_EQ(At(LoadPictureFromFile(png), 5, 3), clBlue);

  const QString gif = TempPath(QStringLiteral("pal.Gif"));
  kvtest::WriteFile(gif, Gif(2, 1, {0, 1}, {clRed, clLime, clBlue, clWhite}));
  EXPECT_EQ(At(LoadPictureFromFile(gif), 1, 0), clLime);

  const QString jpg = TempPath(QStringLiteral("photo.jpeg"));
  kvtest::WriteFile(jpg, Jpeg(img));
  EXPECT_EQ(LoadPictureFromFile(jpg).size(), QSize(6, 4));

  // The extension decides: a bitmap named .jpg is not a JPEG picture.
  const QString wrong = TempPath(QStringLiteral("wrong.jpg"));
  kvtest::WriteFile(wrong, kvtest::ReadFile(bmp));
  EXPECT_THROW(LoadPictureFromFile(wrong), EInvalidGraphic);
  const QString unknown = TempPath(QStringLiteral("picture.xyz"));
  kvtest::WriteFile(unknown, "data");
  EXPECT_THROW(LoadPictureFromFile(unknown), EInvalidGraphic);
  EXPECT_THROW(LoadPictureFromFile(TempPath(QStringLiteral("missing.png"))), EFOpenError);
  const QString empty = TempPath(QStringLiteral("empty.bmp"));
  kvtest::WriteFile(empty, QByteArray());
  EXPECT_THROW(LoadPictureFromFile(empty), EInvalidGraphic);
  EXPECT_EQ(PictureFormatOfExtension(QStringLiteral("JPEG")), TPictureFormat::JPEG);
  EXPECT_EQ(PictureFormatOfExtension(QString()), TPictureFormat::Unknown);
}

TEST(KVPictureFile, ALargeFileIsReadWholeAndDecodedAsItsData) {
  QImage img(1400, 1000, QImage::Format_RGB32);
  std::uint32_t seed = 12345;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      img.setPixel(x, y, qRgb(int(seed >> 24), (x + y) & 255, int(seed >> 16) & 255));
    }
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(img.save(&buffer, "JPEG", 100));
  const QByteArray data = buffer.data();
  ASSERT_GT(data.size(), 2 << 20);  // beyond the size read into memory of its own
  const QString jpg = TempPath(QStringLiteral("large.jpg"));
  kvtest::WriteFile(jpg, data);
  for (const QSize target : {QSize(), QSize(600, 400)}) {
    const QImage fromFile = LoadPictureFromFile(jpg, target), fromData = DecodeJPEG(data, target);
    ASSERT_EQ(fromFile.size(), fromData.size());
    EXPECT_EQ(fromFile.convertToFormat(QImage::Format_RGB32), fromData.convertToFormat(QImage::Format_RGB32));
  }
  // Cut short, it is refused rather than decoded from what is there.
  kvtest::WriteFile(jpg, data.left(data.size() / 2));
  EXPECT_THROW(LoadPictureFromFile(jpg), EInvalidGraphic);
}

TEST(KVPictureFile, QtFormatsBeyondTheReaderLimit) {
  QImage img(1000, 1000, QImage::Format_RGB32);
  img.fill(qRgb(10, 200, 30));
  const QString png = TempPath(QStringLiteral("large.png"));
  ASSERT_TRUE(img.save(png, "PNG"));
  const int old = QImageReader::allocationLimit();
  QImageReader::setAllocationLimit(1);  // 1 MB: far below the 4 MB this picture needs
  const QImage loaded = LoadPictureFromFile(png);
  EXPECT_EQ(QImageReader::allocationLimit(), 1);
  QImageReader::setAllocationLimit(old);
  EXPECT_EQ(loaded.size(), QSize(1000, 1000));
  EXPECT_EQ(At(loaded, 999, 999), RGB(10, 200, 30));

  const QString huge = TempPath(QStringLiteral("huge.png"));
  kvtest::WriteFile(huge, Png(100000, 100000));
  QElapsedTimer timer;
  timer.start();
  EXPECT_THROW(LoadPictureFromFile(huge), EInvalidGraphic);
  EXPECT_THROW(LoadPictureFromFile(huge, QSize(1920, 1080)), EInvalidGraphic);
  EXPECT_LT(timer.elapsed(), 2000);
}

// ---------------------------------------------------------------------------------------------
// Budgets from the data

namespace {

// A JPEG through libjpeg: progressive or arithmetic-coded.
QByteArray CodedJpeg(const QImage& img, bool progressive, bool arithmetic) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = JDIMENSION(img.width());
  c.image_height = JDIMENSION(img.height());
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  if (progressive) jpeg_simple_progression(&c);
  c.arith_code = arithmetic ? TRUE : FALSE;
  jpeg_start_compress(&c, TRUE);
  const QImage rgb = img.convertToFormat(QImage::Format_RGB888);
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = const_cast<JSAMPROW>(rgb.constScanLine(int(c.next_scanline)));
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  QByteArray data(reinterpret_cast<const char*>(out), qsizetype(size));
  std::free(out);
  return data;
}

// Changes the size in the frame header, whatever the coding.
QByteArray WithFrameSize(QByteArray data, int w, int h) {
  for (int at = 2; at + 9 < data.size(); ++at) {
    const uchar m = uchar(data[at + 1]);
    if (uchar(data[at]) == 0xFF && (m == 0xC0 || m == 0xC1 || m == 0xC2 || m == 0xC9 || m == 0xCA)) {
      data[at + 5] = char(h >> 8);
      data[at + 6] = char(h);
      data[at + 7] = char(w >> 8);
      data[at + 8] = char(w);
      return data;
    }
  }
  ADD_FAILURE() << "no frame header";
  return data;
}

// The first scan (its header and coded data) repeated Times more before the end.
QByteArray WithRepeatedScan(const QByteArray& data, int times) {
  const int sos = data.indexOf(QByteArray("\xFF\xDA", 2));
  int end = sos + 2;
  while (end + 1 < data.size() &&
         !(uchar(data[end]) == 0xFF && uchar(data[end + 1]) != 0 && (uchar(data[end + 1]) < 0xD0 || uchar(data[end + 1]) > 0xD7)))
    ++end;
  const QByteArray scan = data.mid(sos, end - sos);
  return data.left(data.size() - 2) + scan.repeated(times) + data.right(2);
}

}  // namespace

TEST(KVPictureBudget, JpegEveryCodingModeIsMeasuredAgainstItsData) {
  const QImage noise = Noise(32, 32);
  QElapsedTimer timer;
  timer.start();
  for (const auto& [progressive, arithmetic] : {std::pair{true, false}, std::pair{false, true}, std::pair{true, true}}) {
    const QByteArray small = CodedJpeg(noise, progressive, arithmetic);
    EXPECT_EQ(DecodeJPEG(small).size(), QSize(32, 32));
    // A few hundred bytes claiming 60000 x 60000 (an 826 MB decode before).
    EXPECT_THROW(DecodeJPEG(WithFrameSize(small, 60000, 60000)), EInvalidGraphic) << progressive << arithmetic;
    EXPECT_THROW(DecodeJPEG(WithFrameSize(small, 20000, 20000), QSize(1920, 1080)), EInvalidGraphic);
  }
  EXPECT_LT(timer.elapsed(), 3000);
  // Arithmetic coding may spend less than a bit on a block: small pictures pass whatever their data.
  QImage flat(600, 400, QImage::Format_RGB32);
  flat.fill(qRgb(10, 200, 30));
  const QByteArray tiny = CodedJpeg(flat, false, true);
  EXPECT_LT(tiny.size() * 8, 600 * 400 / 64);
  EXPECT_EQ(DecodeJPEG(tiny).size(), QSize(600, 400));
}

TEST(KVPictureBudget, JpegScansAreCounted) {
  const QByteArray progressive = CodedJpeg(Noise(16, 16), true, false);
  // Hundreds of repeated scans still decode; thousands (88 s for 50,000 before) are refused.
  EXPECT_EQ(DecodeJPEG(WithRepeatedScan(progressive, 400)).size(), QSize(16, 16));
  QElapsedTimer timer;
  timer.start();
  try {
    DecodeJPEG(WithRepeatedScan(progressive, 5000));
    ADD_FAILURE() << "5000 scans were decoded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_TRUE(e.Message().contains("500 scans")) << e.what();
  }
  EXPECT_LT(timer.elapsed(), 3000);
}

TEST(KVPictureBudget, JpegCutShortIsRefusedInEveryCodingMode) {
  const QImage noise = Noise(64, 64);
  for (const auto& [progressive, arithmetic] : {std::pair{true, false}, std::pair{false, true}, std::pair{true, true}}) {
    const QByteArray whole = CodedJpeg(noise, progressive, arithmetic);
    EXPECT_EQ(DecodeJPEG(whole).size(), QSize(64, 64));
    EXPECT_THROW(DecodeJPEG(whole.left(whole.size() / 2)), EInvalidGraphic) << progressive << arithmetic;
  }
}

TEST(KVPictureBudget, GifCountsOnlyTheFramesOwnData) {
  const std::vector<GifByteType> px = {1, 2, 1, 2};
  const auto onScreen = [&px](int w, int h) {
    QByteArray framed = Gif(2, 2, px, {clRed, clLime, clBlue, clWhite});
    framed[6] = char(w & 0xFF);
    framed[7] = char(w >> 8);
    framed[8] = char(h & 0xFF);
    framed[9] = char(h >> 8);
    return framed;
  };
  // A 2 x 2 frame on an 8000 x 8000 screen, followed by 47 KB of other bytes (256 MB before).
  EXPECT_THROW(DecodeGIF(onScreen(8000, 8000) + QByteArray(47 * 1024, 'j')), EInvalidGraphic);
  // A small first frame on a screen of ordinary size is fine: the rest is background.
  const QImage screen = DecodeGIF(onScreen(800, 600));
  EXPECT_EQ(screen.size(), QSize(800, 600));
  EXPECT_EQ(At(screen, 1, 0), clBlue);
  EXPECT_EQ(qAlpha(screen.pixel(500, 500)), 0);
}

TEST(KVPictureBudget, RunLengthPicturesAreMeasuredByThePixelsTheySet) {
  // 34 KB of deltas claiming 10000 x 10000 (300 MB before).
  QByteArray deltas;
  for (int i = 0; i < 34 * 1024 / 4; ++i) deltas += Bytes({0, 2, 0, 1});
  EXPECT_THROW(DecodeBMP(Bmp(10000, 10000, 8, 1, Palette({clRed}), deltas)), EInvalidGraphic);
  // Every pixel set by runs: fine at any size; half the rows left empty: fine too.
  const int w = 1275, h = 1000;
  QByteArray full, half;
  for (int y = 0; y < h; ++y) {
    for (int k = 0; k < 5; ++k) full += Bytes({255, 1});
    full += Bytes({0, 0});
    if (y % 2 == 0)
      for (int k = 0; k < 5; ++k) half += Bytes({255, 1});
    half += Bytes({0, 0});
  }
  EXPECT_EQ(At(DecodeBMP(Bmp(w, h, 8, 1, Palette({clBlack, clRed}), full + Bytes({0, 1}))), w - 1, 0), clRed);
  EXPECT_EQ(DecodeBMP(Bmp(w, h, 8, 1, Palette({clBlack, clRed}), half + Bytes({0, 1}))).size(), QSize(w, h));
  // A caller's smaller ceiling holds before anything is allocated.
  EXPECT_THROW(DecodeBMP(Bmp(w, h, 8, 1, Palette({clBlack, clRed}), full), 1000 * 1000), EInvalidGraphic);
}

TEST(KVPictureBudget, FewRunsCannotClaimAPictureFarLargerThanTheySet) {
  // 66 KB of the longest runs set 8.4 million pixels of a picture at the pixel ceiling: 384 MB
  // for a few kilobytes (and about 1 KB once compressed inside a document).
  QByteArray runs;
  for (int y = 0; y < 514; ++y) {
    for (int k = 0; k < 64; ++k) runs += Bytes({255, 1});
    runs += Bytes({0, 0});
  }
  const QByteArray end = Bytes({0, 1});
  ASSERT_LT(runs.size(), 67 * 1024);
  EXPECT_THROW(DecodeBMP(Bmp(16384, 8192, 8, 1, Palette({clBlack, clRed}), runs + end)), EInvalidGraphic);
  // The same runs filling half a picture: the rows they leave are background.
  const QImage half = DecodeBMP(Bmp(16384, 1000, 8, 1, Palette({clBlack, clRed}), runs + end));
  ASSERT_EQ(half.size(), QSize(16384, 1000));
  EXPECT_EQ(At(half, 16319, 999), clRed);
  EXPECT_EQ(At(half, 0, 0), clBlack);
  EXPECT_THROW(DecodeBMP(Bmp(16384, 1030, 8, 1, Palette({clBlack, clRed}), runs + end)), EInvalidGraphic);
}
