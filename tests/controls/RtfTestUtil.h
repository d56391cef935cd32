#pragma once
// Fixtures for the rich-text tests, made by code: DIBs, metafiles wrapping them, PNG and JPEG.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>

namespace rtftest {

inline void Put16(QByteArray& b, int v) {
  b.append(char(v & 0xFF));
  b.append(char((v >> 8) & 0xFF));
}
inline void Put32(QByteArray& b, qint64 v) {
  for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}

// A 24-bit bottom-up DIB (BITMAPINFOHEADER + bits) of a w x h image filled with rgb, its top-left
// pixel set to topLeft.
inline QByteArray Dib24(int w, int h, QRgb rgb, QRgb topLeft) {
  QByteArray b;
  Put32(b, 40);
  Put32(b, w);
  Put32(b, h);
  Put16(b, 1);
  Put16(b, 24);
  Put32(b, 0);
  const int stride = ((w * 24 + 31) / 32) * 4;
  Put32(b, stride * h);
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, 0);
  Put32(b, 0);
  for (int y = h - 1; y >= 0; --y) {
    QByteArray row;
    for (int x = 0; x < w; ++x) {
      const QRgb c = (x == 0 && y == 0) ? topLeft : rgb;
      row.append(char(qBlue(c)));
      row.append(char(qGreen(c)));
      row.append(char(qRed(c)));
    }
    while (row.size() < stride) row.append('\0');
    b += row;
  }
  return b;
}

// A Windows metafile (no placeable header) drawing the DIB with META_STRETCHDIB.
inline QByteArray WmfWithDib(const QByteArray& dib, int w, int h) {
  QByteArray rec;
  const qint64 words = (28 + dib.size() + 1) / 2;
  Put32(rec, words);
  Put16(rec, 0x0F43);
  Put32(rec, 0x00CC0020);  // SRCCOPY
  Put16(rec, 0);           // DIB_RGB_COLORS
  Put16(rec, h);
  Put16(rec, w);
  Put16(rec, 0);
  Put16(rec, 0);
  Put16(rec, h);
  Put16(rec, w);
  Put16(rec, 0);
  Put16(rec, 0);
  rec += dib;
  if (rec.size() % 2) rec.append('\0');
  QByteArray m;
  Put16(m, 1);  // memory metafile
  Put16(m, 9);
  Put16(m, 0x0300);
  Put32(m, (18 + rec.size() + 6) / 2);
  Put16(m, 0);
  Put32(m, rec.size() / 2);
  Put16(m, 0);
  // SetMapMode record first, as metafiles usually begin
  Put32(m, 4);
  Put16(m, 0x0103);
  Put16(m, 8);
  m += rec;
  Put32(m, 3);  // META_EOF
  Put16(m, 0);
  return m;
}

// An enhanced metafile with a header and one EMR_STRETCHDIBITS record.
inline QByteArray EmfWithDib(const QByteArray& dib, int w, int h) {
  const int bmiSize = 40;
  QByteArray rec;
  const qint64 size = 80 + dib.size() + (4 - dib.size() % 4) % 4;
  Put32(rec, 81);
  Put32(rec, size);
  for (int i = 0; i < 4; ++i) Put32(rec, 0);  // bounds
  Put32(rec, 0);
  Put32(rec, 0);
  Put32(rec, 0);
  Put32(rec, 0);
  Put32(rec, w);
  Put32(rec, h);
  Put32(rec, 80);
  Put32(rec, bmiSize);
  Put32(rec, 80 + bmiSize);
  Put32(rec, dib.size() - bmiSize);
  Put32(rec, 0);
  Put32(rec, 0x00CC0020);
  Put32(rec, w);
  Put32(rec, h);
  rec += dib;
  while (rec.size() < size) rec.append('\0');
  QByteArray header;
  Put32(header, 1);
  Put32(header, 88);
  while (header.size() < 88) header.append('\0');
  QByteArray eof;
  Put32(eof, 14);
  Put32(eof, 20);
  Put32(eof, 0);
  Put32(eof, 0);
  Put32(eof, 20);
  return header + rec + eof;
}

inline QByteArray Encoded(const QImage& img, const char* format) {
  QByteArray out;
  QBuffer buf(&out);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, format);
  return out;
}

inline QImage Solid(int w, int h, QColor c) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(c);
  return img;
}

// The text of every block, "|" between blocks.
inline QString Blocks(const QTextDocument& doc) {
  QStringList parts;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) parts << b.text();
  return parts.join(QLatin1Char('|'));
}

// The character format at position pos (the character after pos).
inline QTextCharFormat FormatAt(const QTextDocument& doc, int pos) {
  QTextCursor c(const_cast<QTextDocument*>(&doc));
  c.setPosition(pos);
  c.setPosition(pos + 1, QTextCursor::KeepAnchor);
  return c.charFormat();
}

}  // namespace rtftest

namespace rtftest {

// PNG chunk checksum (CRC-32 of type and data).
inline quint32 Crc32(const char* data, int len) {
  quint32 c = 0xFFFFFFFFu;
  for (int i = 0; i < len; ++i) {
    c ^= uchar(data[i]);
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

// The PNG with its IHDR claiming width x height (checksum fixed up).
inline QByteArray PngClaiming(QByteArray png, quint32 width, quint32 height) {
  for (int i = 0; i < 4; ++i) {
    png[16 + i] = char((width >> (24 - 8 * i)) & 0xFF);
    png[20 + i] = char((height >> (24 - 8 * i)) & 0xFF);
  }
  const quint32 crc = Crc32(png.constData() + 12, 17);
  for (int i = 0; i < 4; ++i) png[29 + i] = char((crc >> (24 - 8 * i)) & 0xFF);
  return png;
}

}  // namespace rtftest
