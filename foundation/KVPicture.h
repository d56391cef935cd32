#pragma once
// Pictures loaded by file extension: JPEG through libjpeg (decoded at a reduced scale when a
// target box allows it), GIF through giflib (first frame), Windows bitmaps by our own reader, any
// other format through Qt's image readers. Every reader checks the sizes a header claims against
// the data and against kMaxPicturePixels before it allocates, and fails with EInvalidGraphic.
// Also the 24-bit bitmap writer used for bitmap strips and the calendar picture.
#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QSize>
#include <QString>

#include "foundation/KVGraphics.h"

// The most pixels a decoded picture may have; larger JPEG pictures (and Qt formats whose reader
// scales) are decoded at a reduced scale, others are refused.
constexpr qint64 kMaxPicturePixels = 128LL * 1024 * 1024;
// The most bytes a stored picture can plausibly need (an uncompressed 32-bit bitmap at the pixel
// ceiling): the budget for inflating a picture kept compressed.
constexpr qint64 kMaxPictureDataSize = kMaxPicturePixels * 4 + 64 * 1024;

enum class TPictureFormat { Unknown, JPEG, GIF, BMP, Qt };

// The decoder for a file extension (without the dot, any case).
TPictureFormat PictureFormatOfExtension(const QString& extension);

// Target is the box the picture will be fitted or stretched into; an invalid size means full
// size. A picture larger than the box may come back smaller than its full size, but never
// smaller than the box in either direction (or than itself). Pictures that will be tiled must be
// loaded at full size.
QImage LoadPictureFromFile(const QString& fileName, QSize target = QSize());
QImage LoadPictureFromData(const QByteArray& data, const QString& extension, QSize target = QSize());

// Format_RGB32. Data that ends early or is corrupt raises EInvalidGraphic rather than come back
// partly grey.
QImage DecodeJPEG(const uchar* data, qint64 size, QSize target = QSize());
inline QImage DecodeJPEG(const QByteArray& data, QSize target = QSize()) {
  return DecodeJPEG(reinterpret_cast<const uchar*>(data.constData()), data.size(), target);
}
// The first frame on the logical screen: Format_BGR888, or Format_ARGB32 when some pixels are
// transparent.
QImage DecodeGIF(const uchar* data, qint64 size);
inline QImage DecodeGIF(const QByteArray& data) {
  return DecodeGIF(reinterpret_cast<const uchar*>(data.constData()), data.size());
}
// A Windows bitmap file (1, 4, 8, 16, 24 or 32 bits, uncompressed, run-length or bit fields)
// as Format_BGR888. A run-length picture may leave at most 15 of every 16 pixels beyond the
// first million unset. MaxPixels: a smaller ceiling where the caller knows one (thumbnails).
QImage DecodeBMP(const uchar* data, qint64 size, qint64 maxPixels = kMaxPicturePixels);
inline QImage DecodeBMP(const QByteArray& data, qint64 maxPixels = kMaxPicturePixels) {
  return DecodeBMP(reinterpret_cast<const uchar*>(data.constData()), data.size(), maxPixels);
}

// Writes the picture as a 24-bit bottom-up bitmap file; an empty picture writes nothing.
void WriteBitmap24(QIODevice& device, const QImage& image);
// The same into a file, atomically: the old file stays whole when writing fails.
void SaveBitmap24(const QString& fileName, const QImage& image);
