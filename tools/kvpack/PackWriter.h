#pragma once
// Writing the program's resource packs from files and pictures: image packs (title, header,
// skin package, pictures), skin packages, layout packs, layout previews, the pictures of the
// default image pack, and C++ sources that carry data blocks into the program. Used by the
// kvpack tool at build time and by tests for their fixtures.
#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace kvpack {

constexpr qint32 kImagePackVersion = 0x564B0065;
constexpr qint32 kLayoutPackVersion = 0x564B0069;
constexpr qint32 kSkinPackVersion = 0x564B0067;
// Entry kinds of the packs written here: raw data, a JPEG picture, a compressed bitmap file,
// a compressed text, a compressed layout text.
constexpr qint32 kKindRaw = 0, kKindJpeg = 7, kKindBitmap = -2, kKindText = -4, kKindLayout = -3,
                 kKindLayoutPlain = 3;

struct PackEntry {
  qint32 Kind = kKindRaw;
  QByteArray Data;  // uncompressed; negative kinds are compressed on writing
};

// The bytes of a resource pack.
QByteArray PackBytes(qint32 Version, const std::vector<PackEntry>& Entries);
// Writes a pack file atomically; raises the writer's error when it cannot.
void WritePack(const QString& FileName, qint32 Version, const std::vector<PackEntry>& Entries);

// A bitmap strip stream: images side by side, their sizes as comma-closed lists, no
// transparent colour unless given.
QByteArray BitmapStripStream(const std::vector<QImage>& Images, quint32 TransparentColor = 0x1FFFFFFF);

struct SkinForm {
  QString Name;
  QString Text;  // the form's property text (object blocks)
};
// A skin package: "imagescount"/"formscount" values (plus Values), an empty nested pack, the
// strips, then the forms (their name on the first line).
QByteArray SkinPackage(const std::vector<std::vector<QImage>>& Strips, const std::vector<SkinForm>& Forms,
                       const QStringList& Values = {});

struct PackPicture {
  QByteArray Data;  // a JPEG or a bitmap file
  bool Jpeg = true;
};
// A picture file's bytes as a pack picture: JPEG files stay as they are, other pictures become
// bitmap files. Raises EKVError when the file cannot be read as a picture.
PackPicture PictureFromFile(const QString& FileName);
PackPicture PictureFromImage(const QImage& Image, bool Jpeg, int Quality = 90);

// Entry 0 the title (single-byte text), entry 1 the header record (Header0, picture count),
// entry 2 the skin package, then the pictures.
std::vector<PackEntry> ImagePackEntries(const QString& Title, const QByteArray& SkinPackage,
                                        const std::vector<PackPicture>& Pictures, qint32 Header0 = 1);
void WriteImagePack(const QString& FileName, const QString& Title, const QByteArray& SkinPackage,
                    const std::vector<PackPicture>& Pictures, qint32 Version = kImagePackVersion);

// The layout text with a drawn "Picture.Data" preview when it has none. Raises EParserError on
// text that is not object text.
QString LayoutWithPreview(const QString& LayoutText);
// Where the 24 items of a layout lie on a W x H screen, worked out as the calendar does with
// fixed guesses for the sizes that depend on fonts; a null rectangle for an invisible item.
std::vector<QRect> SketchLayout(const QString& LayoutText, int W, int H);
// A 120 x 90 sketch of where the layout's visible items lie on a 4:3 screen.
QImage DrawLayoutPreview(const QString& LayoutText);
// The stored form of a picture property: class name, size and bitmap file.
QByteArray PictureData(const QImage& Image);
// Layout pack: one entry per text, compressed unless Plain.
void WriteLayoutPack(const QString& FileName, const QStringList& LayoutTexts, bool Plain = false);

// The pictures of the default image pack, drawn here: landscapes of gradients and shapes.
constexpr int kDefaultPictureCount = 6;
QImage DrawDefaultPicture(int Index, int Width = 1920, int Height = 1080);
// The cover picture of the default pack.
QImage DrawDefaultCover(int Width = 480, int Height = 320);
// The default image pack: the drawn pictures as JPEG files, the cover as the skin's first strip
// and SkinText as the main form's text.
void WriteDefaultImagePack(const QString& FileName, const QString& SkinText,
                           const QString& Title = QStringLiteral("Mirova Landscapes"));

// C++ source defining QByteArray BuiltinDataBlock(const QString& Name) over the given blocks.
QByteArray EmbedSource(const std::vector<std::pair<QString, QByteArray>>& Blocks);

}  // namespace kvpack
