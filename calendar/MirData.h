#pragma once
// The image-pack side of the calendar: the sponsor settings a pack brings, the pack's title and
// header record, and the thumbnail cache of the current image set (a ".thn" resource pack).
#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <vector>

#include "foundation/KVClasses.h"
#include "foundation/KVSkin.h"

constexpr qint32 kThumbPackVersion = 0x564B0066;
constexpr qint32 kThumbHeaderKind = 16, kThumbEntryKind = -20;
// The largest thumbnail side a cache may record: the large thumbnail (196 x 147) at four times
// the standard pixel density fits. Caches of larger thumbnails are not loaded.
constexpr qint32 kMaxThumbSide = 1024;
// The longest key (a picture file's full path as UTF-8).
constexpr qint64 kMaxThumbKeyBytes = 16 * 1024;

class TMirovaAdItem : public TCollectionItem {
  KV_CLASS(TMirovaAdItem)
 public:
  using TCollectionItem::TCollectionItem;
  bool BlendImage = false;
  int BlendContrast = 0;
  TColor TransparentColor = 0;
  QString SponsorText;
};

// The pack's sponsor settings (component name "MirPackIni").
class TMirovaIni : public TKVSkinIni {
  KV_CLASS(TMirovaIni)
 public:
  explicit TMirovaIni(TComponent* owner = nullptr);
  bool ShowSponsorImg = true;
  TKVCollection<TMirovaAdItem> Ads;
  void ResetDefaults() override;
};

// Title (pack entry 0) and the 8-byte header record (pack entry 1) of the current pack.
class TMirovaHeaderObject : public TPersistent {
  KV_CLASS(TMirovaHeaderObject)
 public:
  QString Title;
  qint32 Header[2] = {0, 0};
  // The second value: the number of pictures in the pack.
  qint32 PictureCount() const { return Header[1]; }
  // 8 bytes from the stream's position; a shorter stream leaves zeros for what is missing and
  // gives false.
  bool ReadHeaderRecord(QIODevice& Stream);
};

// The thumbnail cache: image keys with one bitmap file each, and the thumbnail size they were
// made at. Failures are not reported: a load keeps what it read, a failed save leaves the old
// file whole.
class TMThnList {
 public:
  qint32 Tag = 0;
  qint32 ThumbWidth = 0;
  qint32 ThumbHeight = 0;

  int Count() const { return int(items_.size()); }
  const QString& Keys(int i) const { return items_.at(size_t(i)).key; }
  const QByteArray& Streams(int i) const { return items_.at(size_t(i)).data; }
  // -1 when the key is not there (keys compared without regard to case).
  int IndexOf(const QString& Key) const;
  void Add(const QString& Key, const QByteArray& Data);
  void Clear();
  // The picture as a bitmap file under Key.
  void AddThumb(const QString& Key, const QImage& Graphic);
  // The bitmap of entry i; a null image when it cannot be read or is larger than the thumbnail
  // size.
  QImage Thumb(int i) const;

  // Tag, ThumbWidth, ThumbHeight from the file; zeros when it is no thumbnail cache.
  void ReadThumbHeader(const QString& FileName);
  // Adds the file's thumbnails (the list is not cleared first). Each entry may inflate to no
  // more than a key and a bitmap file of the cache's thumbnail size, and all of them together to
  // no more than the file's pack budget; an entry past either ends the load.
  void LoadThumbs(const QString& FileName);
  // False when the file could not be written; Reason then gets the system's reason.
  bool SaveThumbs(const QString& FileName, QString* Reason = nullptr) const;

 private:
  // Tag and thumbnail size from entry 0 of an open cache; false when it is no thumbnail cache.
  bool ReadHeaderEntry(TKVResFileReader& r);
  struct Item {
    QString key;
    QByteArray data;
  };
  std::vector<Item> items_;
};
