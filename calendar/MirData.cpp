#include "calendar/MirData.h"

#include <QBuffer>
#include <QtEndian>
#include <algorithm>

#include "foundation/KVPicture.h"
#include "foundation/KVRStream.h"

// ---------------------------------------------------------------------------------------------
// TMirovaAdItem, TMirovaIni

const ClassInfo& TMirovaAdItem::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMirovaAdItem>("TMirovaAdItem", &TCollectionItem::StaticClass())
                                  .Bool("BlendImage", &TMirovaAdItem::BlendImage, false)
                                  .Int("BlendContrast", &TMirovaAdItem::BlendContrast, 0)
                                  .Color("TransparentColor", &TMirovaAdItem::TransparentColor, 0)
                                  .Str("SponsorText", &TMirovaAdItem::SponsorText)
                                  .Build();
  return ci;
}

const ClassInfo& TMirovaIni::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMirovaIni>("TMirovaIni", &TKVSkinIni::StaticClass())
                                  .Bool("ShowSponsorImg", &TMirovaIni::ShowSponsorImg)
                                  .Obj("Ads", [](TMirovaIni& m) -> TPersistent* { return &m.Ads; })
                                  .Build();
  return ci;
}

TMirovaIni::TMirovaIni(TComponent* owner) : TKVSkinIni(owner), Ads(this) { SetName(QStringLiteral("MirPackIni")); }

void TMirovaIni::ResetDefaults() {
  ShowSponsorImg = true;
  Ads.Clear();
}

// ---------------------------------------------------------------------------------------------
// TMirovaHeaderObject

const ClassInfo& TMirovaHeaderObject::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMirovaHeaderObject>("TMirovaHeaderObject", &TPersistent::StaticClass()).Build();
  return ci;
}

bool TMirovaHeaderObject::ReadHeaderRecord(QIODevice& Stream) {
  char raw[8] = {};
  const qint64 n = Stream.read(raw, 8);
  Header[0] = qFromLittleEndian<qint32>(raw);
  Header[1] = qFromLittleEndian<qint32>(raw + 4);
  return n == 8;
}

// ---------------------------------------------------------------------------------------------
// TMThnList

int TMThnList::IndexOf(const QString& Key) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].key.compare(Key, Qt::CaseInsensitive) == 0) return int(i);
  return -1;
}

void TMThnList::Add(const QString& Key, const QByteArray& Data) { items_.push_back({Key, Data}); }

void TMThnList::Clear() { items_.clear(); }

bool TMThnList::ReadHeaderEntry(TKVResFileReader& r) {
  if (r.Version() != kThumbPackVersion || r.Count() < 1) return false;
  const QByteArray h = r.ReadBuffer(0);
  if (h.size() < 12) return false;
  Tag = qFromLittleEndian<qint32>(h.constData());
  ThumbWidth = qFromLittleEndian<qint32>(h.constData() + 4);
  ThumbHeight = qFromLittleEndian<qint32>(h.constData() + 8);
  return true;
}

void TMThnList::ReadThumbHeader(const QString& FileName) {
  Tag = ThumbWidth = ThumbHeight = 0;
  try {
    TKVResFileReader r(FileName);
    ReadHeaderEntry(r);
  } catch (const EKVError&) {
    Tag = ThumbWidth = ThumbHeight = 0;
  }
}

namespace {

// The bytes of a bitmap file of Width x Height at up to 32 bits per pixel, with a full palette.
qint64 ThumbFileBudget(qint64 Width, qint64 Height) { return 54 + 1024 + Width * 4 * Height; }

}  // namespace

void TMThnList::LoadThumbs(const QString& FileName) {
  try {
    TKVResFileReader r(FileName);
    if (!ReadHeaderEntry(r)) return;
    if (ThumbWidth < 0 || ThumbHeight < 0 || ThumbWidth > kMaxThumbSide || ThumbHeight > kMaxThumbSide) return;
    const qint64 budget = 8 + kMaxThumbKeyBytes + ThumbFileBudget(ThumbWidth, ThumbHeight);
    for (int i = 1; i < r.Count(); ++i) {
      const QByteArray e = r.ReadBuffer(i, budget);
      if (e.size() < 8) return;
      const qint64 nameLen = qFromLittleEndian<qint32>(e.constData());
      const qint64 dataSize = qFromLittleEndian<qint32>(e.constData() + 4);
      // Lengths that the entry cannot hold end the load here.
      if (nameLen < 0 || dataSize < 0 || nameLen > kMaxThumbKeyBytes || 8 + nameLen + dataSize > e.size()) return;
      Add(QString::fromUtf8(e.constData() + 8, nameLen), e.mid(8 + nameLen, dataSize));
    }
  } catch (const EKVError&) {
  }
}

bool TMThnList::SaveThumbs(const QString& FileName, QString* Reason) const {
  try {
    TKVResFileWriter w(kThumbPackVersion, true, FileName);
    char head[12];
    qToLittleEndian<qint32>(Tag, head);
    qToLittleEndian<qint32>(ThumbWidth, head + 4);
    qToLittleEndian<qint32>(ThumbHeight, head + 8);
    w.AddBuffer(kThumbHeaderKind, QByteArray(head, 12));
    for (const Item& it : items_) {
      const QByteArray key = it.key.toUtf8();
      QByteArray e(8, '\0');
      qToLittleEndian<qint32>(qint32(key.size()), e.data());
      qToLittleEndian<qint32>(qint32(it.data.size()), e.data() + 4);
      e.append(key).append(it.data);
      w.AddBuffer(kThumbEntryKind, e);
    }
    w.Save();
    return true;
  } catch (const EKVError& e) {
    if (Reason) *Reason = e.Reason();
    return false;
  }
}

void TMThnList::AddThumb(const QString& Key, const QImage& Graphic) {
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  WriteBitmap24(b, Graphic);
  Add(Key, b.data());
}

QImage TMThnList::Thumb(int i) const {
  if (i < 0 || i >= Count() || Streams(i).isEmpty()) return {};
  const bool sized = ThumbWidth > 0 && ThumbHeight > 0;
  const qint64 most = sized ? qint64(std::min(ThumbWidth, kMaxThumbSide)) * std::min(ThumbHeight, kMaxThumbSide)
                            : qint64(kMaxThumbSide) * kMaxThumbSide;
  try {
    return DecodeBMP(Streams(i), most);
  } catch (const EKVError&) {
    return {};
  }
}
