#include "controls/KVRichPicture.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTextDocument>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "controls/KVRichText.h"
#include "foundation/KVException.h"

namespace {

quint16 U16(const uchar* p) { return quint16(p[0] | (p[1] << 8)); }
qint16 S16(const uchar* p) { return qint16(U16(p)); }
quint32 U32(const uchar* p) { return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24); }
qint32 S32(const uchar* p) { return qint32(U32(p)); }

void Put32(QByteArray& out, quint32 v) {
  for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xFF));
}

constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;

}  // namespace

QImage KVDecodeDib(QByteArrayView dib, qint64 maxPixels) {
  const qint64 n = dib.size();
  if (n < 12) return {};
  const auto* p = reinterpret_cast<const uchar*>(dib.data());
  const quint32 headerSize = U32(p);
  qint64 width = 0, height = 0;
  int bpp = 0, entry = 4;
  quint32 compression = 0, colorsUsed = 0;
  if (headerSize == 12) {
    width = U16(p + 4);
    height = S16(p + 6);
    bpp = U16(p + 10);
    entry = 3;
  } else if (headerSize >= 40 && headerSize <= 124 && n >= 40) {
    width = S32(p + 4);
    height = S32(p + 8);
    bpp = U16(p + 14);
    compression = U32(p + 16);
    colorsUsed = U32(p + 32);
  } else {
    return {};
  }
  const qint64 rows = std::llabs(height);
  if (width <= 0 || rows == 0 || width > 65535 || rows > 65535) return {};
  if (width * rows > std::min(maxPixels, KVMaxPicturePixels)) return {};
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return {};
  qint64 colors = colorsUsed;
  if (bpp <= 8) {
    if (colors == 0) colors = qint64(1) << bpp;
    if (colors > 256) return {};
  } else if (colors > 65536) {
    return {};
  }
  qint64 masks = 0;
  if (compression == 3) {
    if (bpp != 16 && bpp != 32) return {};
    if (headerSize == 40) masks = 12;
  } else if (compression == 1 || compression == 2) {
    if ((compression == 1 && bpp != 8) || (compression == 2 && bpp != 4) || height < 0) return {};
  } else if (compression != 0) {
    return {};
  }
  const qint64 offBits = headerSize + masks + colors * entry;
  if (offBits > n) return {};
  const qint64 available = n - offBits;
  if (compression == 0 || compression == 3) {
    const qint64 stride = ((width * bpp + 31) / 32) * 4;
    if (stride * rows > available) return {};
  } else if (width * rows > available * 256 + 65536) {
    return {};  // more pixels than the run-length data can describe
  }
  QByteArray file;
  file.reserve(int(14 + n));
  file.append("BM", 2);
  Put32(file, quint32(14 + n));
  Put32(file, 0);
  Put32(file, quint32(14 + offBits));
  file.append(dib.data(), n);
  QImage img;
  if (!img.loadFromData(file, "BMP")) return {};
  return img;
}

QImage KVDecodeWmfBitmap(QByteArrayView wmf, qint64 maxPixels) {
  const qint64 n = wmf.size();
  const auto* p = reinterpret_cast<const uchar*>(wmf.data());
  qint64 pos = 0;
  if (n >= 22 && U32(p) == 0x9AC6CDD7u) pos = 22;  // placeable header
  if (n - pos < 18) return {};
  pos += 18;
  while (pos + 6 <= n) {
    const qint64 words = U32(p + pos);
    const quint16 function = U16(p + pos + 4);
    if (words < 3 || function == 0) break;
    qint64 len = words * 2;
    if (len > n - pos) len = n - pos;
    qint64 dibAt = 0;
    switch (function) {
      case 0x0F43: dibAt = 28; break;  // META_STRETCHDIB
      case 0x0B41: dibAt = 26; break;  // META_DIBSTRETCHBLT
      case 0x0940: dibAt = 22; break;  // META_DIBBITBLT
      case 0x0D33: dibAt = 24; break;  // META_SETDIBTODEV
      default: break;
    }
    if (dibAt > 0 && len > dibAt) {
      QImage img = KVDecodeDib(wmf.sliced(pos + dibAt, len - dibAt), maxPixels);
      if (!img.isNull()) return img;
    }
    pos += len;
  }
  return {};
}

QImage KVDecodeEmfBitmap(QByteArrayView emf, qint64 maxPixels) {
  const qint64 n = emf.size();
  const auto* p = reinterpret_cast<const uchar*>(emf.data());
  qint64 pos = 0;
  while (pos + 8 <= n) {
    const quint32 type = U32(p + pos);
    const qint64 size = U32(p + pos + 4);
    if (size < 8 || size > n - pos) break;
    if (type == 14) break;  // EMR_EOF
    qint64 at = 0;
    if (type == 80 || type == 81) at = 48;       // EMR_SETDIBITSTODEVICE, EMR_STRETCHDIBITS
    else if (type == 76 || type == 77) at = 84;  // EMR_BITBLT, EMR_STRETCHBLT
    if (at > 0 && at + 16 <= size) {
      const qint64 offBmi = U32(p + pos + at), cbBmi = U32(p + pos + at + 4);
      const qint64 offBits = U32(p + pos + at + 8), cbBits = U32(p + pos + at + 12);
      if (cbBmi >= 12 && offBmi + cbBmi <= size && offBits + cbBits <= size) {
        QByteArray dib;
        dib.reserve(int(cbBmi + cbBits));
        dib.append(reinterpret_cast<const char*>(p + pos + offBmi), cbBmi);
        dib.append(reinterpret_cast<const char*>(p + pos + offBits), cbBits);
        QImage img = KVDecodeDib(dib, maxPixels);
        if (!img.isNull()) return img;
      }
    }
    pos += size;
  }
  return {};
}

QImage KVDecodeEncodedImage(QByteArrayView data, const char* format, qint64 maxPixels) {
  if (data.isEmpty() || data.size() > kMaxFileBytes) return {};
  QByteArray bytes = QByteArray::fromRawData(data.data(), data.size());
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty()) return {};
  const qint64 pixels = qint64(size.width()) * size.height();
  if (pixels > std::min(maxPixels, KVMaxPicturePixels)) return {};
  // No valid picture packs more pixels into its bytes than these ratios allow.
  const qint64 perByte = qstrcmp(format, "png") == 0 ? 8300 : 4096;
  if (pixels > data.size() * perByte + 65536) return {};
  QImage img = reader.read();
  return img;
}

qint64 KVDocumentPictureBudget(qint64 bytes) {
  const qint64 n = std::clamp<qint64>(bytes, 0, INT64_MAX / KVDocumentPicturePixelsPerByte - KVDocumentFreePicturePixels);
  return KVDocumentFreePicturePixels + n * KVDocumentPicturePixelsPerByte;
}

QImage KVDecodePicture(TKVPictureKind kind, QByteArrayView data, qint64 maxPixels) {
  if (maxPixels <= 0) return {};
  switch (kind) {
    case TKVPictureKind::Png: return KVDecodeEncodedImage(data, "png", maxPixels);
    case TKVPictureKind::Jpeg: return KVDecodeEncodedImage(data, "jpeg", maxPixels);
    case TKVPictureKind::Dib: return KVDecodeDib(data, maxPixels);
    case TKVPictureKind::Wmf: return KVDecodeWmfBitmap(data, maxPixels);
    case TKVPictureKind::Emf: return KVDecodeEmfBitmap(data, maxPixels);
    case TKVPictureKind::Other: break;
  }
  return {};
}

// ---------------------------------------------------------------------------------------------

QString TKVPicture::TypeName() const {
  return ClassName.isEmpty() ? QStringLiteral("Picture") : ClassName;
}

QTextCharFormat KVPictureFormat(const TKVPicture& picture) {
  static std::atomic<int> nextId{1};
  QTextCharFormat f;
  f.setObjectType(KVPictureObjectType);
  f.setProperty(kvpPicId, nextId.fetch_add(1));
  if (!picture.Image.isNull()) f.setProperty(kvpPicImage, QVariant::fromValue(picture.Image));
  if (!picture.Data.isEmpty()) {
    f.setProperty(kvpPicData, picture.Data);
    f.setProperty(kvpPicDataJpeg, picture.DataIsJpeg);
  }
  if (!picture.Raw.isEmpty()) f.setProperty(kvpPicRaw, picture.Raw);
  if (!picture.ClassName.isEmpty()) f.setProperty(kvpPicClass, picture.ClassName);
  f.setProperty(kvpPicWidthTw, std::clamp(picture.WidthTw, 1, KVMaxPictureTwips));
  f.setProperty(kvpPicHeightTw, std::clamp(picture.HeightTw, 1, KVMaxPictureTwips));
  return f;
}

bool KVIsPicture(const QTextFormat& format) {
  return format.objectType() == KVPictureObjectType;
}

TKVPicture KVPictureOf(const QTextFormat& format) {
  TKVPicture p;
  if (!KVIsPicture(format)) return p;
  p.Image = format.property(kvpPicImage).value<QImage>();
  p.Data = format.property(kvpPicData).toByteArray();
  p.DataIsJpeg = format.boolProperty(kvpPicDataJpeg);
  p.Raw = format.property(kvpPicRaw).toByteArray();
  p.ClassName = format.stringProperty(kvpPicClass);
  p.WidthTw = format.intProperty(kvpPicWidthTw);
  p.HeightTw = format.intProperty(kvpPicHeightTw);
  return p;
}

TKVPicture KVPictureFromImage(const QImage& image) {
  TKVPicture p;
  p.Image = image;
  QBuffer buffer(&p.Data);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  p.WidthTw = int(std::min<qint64>(qint64(image.width()) * 15, KVMaxPictureTwips));
  p.HeightTw = int(std::min<qint64>(qint64(image.height()) * 15, KVMaxPictureTwips));
  return p;
}

TKVPicture KVPictureFromFile(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
  if (file.size() > kMaxFileBytes)
    throw EConvertError(QStringLiteral("The picture \"%1\" is too large").arg(fileName));
  const QByteArray bytes = file.readAll();
  QBuffer buffer(const_cast<QByteArray*>(&bytes));
  buffer.open(QIODevice::ReadOnly);
  const QByteArray format = QImageReader(&buffer).format().toLower();
  QImage image;
  if (format == "png" || format == "jpeg" || format == "jpg") {
    image = KVDecodeEncodedImage(bytes, format == "png" ? "png" : "jpeg");
  } else {
    buffer.seek(0);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() <= KVMaxPicturePixels) image = reader.read();
  }
  if (image.isNull()) throw EConvertError(QStringLiteral("\"%1\" is not a picture that can be shown").arg(fileName));
  if (format == "png" || format == "jpeg" || format == "jpg") {
    TKVPicture p;
    p.Image = image;
    p.Data = bytes;
    p.DataIsJpeg = format != "png";
    p.WidthTw = int(std::min<qint64>(qint64(image.width()) * 15, KVMaxPictureTwips));
    p.HeightTw = int(std::min<qint64>(qint64(image.height()) * 15, KVMaxPictureTwips));
    return p;
  }
  return KVPictureFromImage(image);
}

// ---------------------------------------------------------------------------------------------

QSizeF TKVPictureHandler::intrinsicSize(QTextDocument* doc, int, const QTextFormat& format) {
  double dpiX = KVLayoutDpi, dpiY = KVLayoutDpi;
  if (doc && doc->documentLayout()->paintDevice()) {
    dpiX = doc->documentLayout()->paintDevice()->logicalDpiX();
    dpiY = doc->documentLayout()->paintDevice()->logicalDpiY();
  }
  const int w = format.intProperty(kvpPicWidthTw), h = format.intProperty(kvpPicHeightTw);
  return QSizeF(std::max(1, w) * dpiX / 1440.0, std::max(1, h) * dpiY / 1440.0);
}

void TKVPictureHandler::drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int,
                                   const QTextFormat& format) {
  const QImage image = format.property(kvpPicImage).value<QImage>();
  if (!image.isNull()) {
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(rect, image);
    painter->restore();
    return;
  }
  // Nothing to show: a frame marks the place of the kept picture or object.
  painter->save();
  painter->setPen(QPen(QColor(128, 128, 128), 0, Qt::DashLine));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(rect.adjusted(0, 0, -1, -1));
  painter->restore();
}

void KVRegisterPictureHandler(QTextDocument& doc) {
  QAbstractTextDocumentLayout* layout = doc.documentLayout();
  if (layout->handlerForObject(KVPictureObjectType)) return;
  layout->registerHandler(KVPictureObjectType, new TKVPictureHandler(&doc));
}
