#pragma once
// Pictures embedded in rich text, and object groups kept from stored RTF. There is no OLE here:
// an embedded object is a picture (shown through its result picture when it came from RTF) whose
// RTF group is kept byte for byte while the picture is unchanged.
#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QObject>
#include <QString>
#include <QTextCharFormat>
#include <QTextObjectInterface>

class QTextDocument;

// Pictures larger than this are not decoded (they are shown as a frame and still kept).
constexpr qint64 KVMaxPicturePixels = 40'000'000;
// The pixels of all the pictures decoded from one document of Bytes together: a few screens'
// worth whatever its size, and beyond that what its bytes could hold as photographs or
// screenshots (which need far more than a byte for every eight pixels). Pictures past the budget
// are kept like those too large.
constexpr qint64 KVDocumentFreePicturePixels = 8'000'000;
constexpr qint64 KVDocumentPicturePixelsPerByte = 8;
qint64 KVDocumentPictureBudget(qint64 bytes);
// Shown sizes are kept within 200 inches.
constexpr int KVMaxPictureTwips = 200 * 1440;

enum class TKVPictureKind { Png, Jpeg, Dib, Wmf, Emf, Other };

// The decoders return a null image for data that is damaged, unsupported or of more than
// MaxPixels (told from its header, before anything is decoded); none of them allocates more
// than the data can fill.
QImage KVDecodeDib(QByteArrayView dib, qint64 maxPixels = KVMaxPicturePixels);
// A metafile's bitmap: the first DIB record of a Windows metafile, or the first bitmap record of an
// enhanced metafile.
QImage KVDecodeWmfBitmap(QByteArrayView wmf, qint64 maxPixels = KVMaxPicturePixels);
QImage KVDecodeEmfBitmap(QByteArrayView emf, qint64 maxPixels = KVMaxPicturePixels);
// PNG or JPEG data (format "png" or "jpeg").
QImage KVDecodeEncodedImage(QByteArrayView data, const char* format, qint64 maxPixels = KVMaxPicturePixels);
QImage KVDecodePicture(TKVPictureKind kind, QByteArrayView data, qint64 maxPixels = KVMaxPicturePixels);

// One picture in a document.
struct TKVPicture {
  QImage Image;         // shown; null draws a frame
  QByteArray Data;      // PNG or JPEG data written for a new or changed picture
  bool DataIsJpeg = false;
  QByteArray Raw;       // the RTF group as read; written back while the picture is unchanged
  QString ClassName;    // class of a kept object group; empty for a picture
  int WidthTw = 0;      // shown size in twips
  int HeightTw = 0;

  bool IsObject() const { return !ClassName.isEmpty(); }
  // "Picture", or the object's class name.
  QString TypeName() const;
};

// The character format of a picture; every call gives the picture a fresh identity.
QTextCharFormat KVPictureFormat(const TKVPicture& picture);
bool KVIsPicture(const QTextFormat& format);
TKVPicture KVPictureOf(const QTextFormat& format);
// A picture of an image: PNG data, shown at 96 pixels per inch.
TKVPicture KVPictureFromImage(const QImage& image);
// A picture file: PNG and JPEG data are kept as they are, other formats become PNG.
// Raises EFOpenError when the file cannot be read and EConvertError when it is no picture.
TKVPicture KVPictureFromFile(const QString& fileName);

// Draws pictures in a document; registered once per document.
class TKVPictureHandler : public QObject, public QTextObjectInterface {
  Q_OBJECT
  Q_INTERFACES(QTextObjectInterface)
 public:
  explicit TKVPictureHandler(QObject* parent) : QObject(parent) {}
  QSizeF intrinsicSize(QTextDocument* doc, int posInDocument, const QTextFormat& format) override;
  void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int posInDocument,
                  const QTextFormat& format) override;
};
void KVRegisterPictureHandler(QTextDocument& doc);
