#include "calendar/MirImageSet.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QSet>
#include <algorithm>
#include <memory>

#include "calendar/MDataDM.h"
#include "calendar/MirModel.h"
#include "calendar/MirPicture.h"
#include "calendar/iniData.h"
#include "controls/MirThumbSizes.h"
#include "foundation/KVException.h"
#include "foundation/KVGraphics.h"
#include "foundation/KVPicture.h"
#include "foundation/KVRStream.h"
#include "foundation/KVSaveReport.h"
#include "foundation/KVSkin.h"
#include "foundation/KVSysUtils.h"

namespace {

// A header record is 8 bytes; an entry 1 much larger is no header record.
constexpr qint32 kMaxHeaderEntry = 64;
// Sponsor settings are made per sponsor image; no pack has more.
constexpr int kMaxSponsorImages = 1024;
// Pictures that cannot be read keep a placeholder, so that the user can uncheck them; a set of
// thousands of them is no set of pictures, and the rest are left out.
constexpr int kMaxUnreadablePictures = 64;

// The thumbnail of a picture that cannot be read: a grey face with a cross, so that the user
// still sees, checks and orders it.
QImage PlaceholderThumbnail(QSize size) {
  TKVBitmap b;
  b.BrushColor = 0xC8C8C8;
  b.SetSize(size.width(), size.height());
  b.FillRect(TRect{0, 0, size.width(), size.height()});
  QImage& img = b.Image();
  QPainter p(&img);
  p.setPen(QPen(QColor(128, 128, 128), 2));
  const QRect r = img.rect().adjusted(size.width() / 3, size.height() / 3, -size.width() / 3, -size.height() / 3);
  p.drawLine(r.topLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomLeft());
  p.end();
  return img;
}

// A picture file of an own set by its real path, one however its name is spelled ("//", "./",
// links); empty when there is no such file.
QString RealPicturePath(const QString& Path) {
  const QFileInfo f(Path);
  return f.isFile() ? f.canonicalFilePath() : QString();
}

}  // namespace

TMirImageSet::TMirImageSet(TMirModel& Model) : model_(Model) { ApplyThumbSize(); }

QString TMirImageSet::SetPath(const QString& FileName) const { return ExeDir + FileName; }

QString TMirImageSet::SideFile(const QString& Extension) const { return SideFileName(ExeDir, loaded_, Extension); }

// ---------------------------------------------------------------------------------------------
// The set list

int TMirImageSet::LoadList() {
  Tini& ini = *model_.Ini;
  listed_ = ListImageSetFiles(ExeDir);
  sets_ = ReadImageSets(listed_);
  int selected = -1;
  for (size_t i = 0; i < sets_.size() && selected < 0; ++i)
    if (sets_[i].FileName == ini.MirPack) selected = int(i);
  // A name stored with other letter cases still finds its set; it is then spelled as on disk.
  for (size_t i = 0; i < sets_.size() && selected < 0; ++i)
    if (sets_[i].FileName.compare(ini.MirPack, Qt::CaseInsensitive) == 0) selected = int(i);
  if (selected < 0 && !sets_.empty()) selected = 0;
  model_.NoImageSets = selected < 0;
  if (selected >= 0) {
    ini.MirPack = sets_[size_t(selected)].FileName;
    ini.UserImageSet = sets_[size_t(selected)].UserSet;
  }
  return selected;
}

bool TMirImageSet::FilesChanged() const {
  const QStringList now = ListImageSetFiles(ExeDir);
  if (now.size() != listed_.size()) return true;
  for (qsizetype i = 0; i < now.size(); ++i)
    if (now[i].compare(listed_[i], Qt::CaseInsensitive) != 0) return true;
  return false;
}

void TMirImageSet::Clear() {
  pictures_.clear();
  model_.UsedImages.clear();
  cache_.Clear();
  loaded_.clear();
  loadedUser_ = false;
  model_.Ini->UserImageSet = false;
  model_.DropPicture();
  emit model_.Changes.ImageSetLoaded();
}

void TMirImageSet::Delete(int Index) {
  if (Index < 0 || size_t(Index) >= sets_.size()) return;
  const QString file = sets_[size_t(Index)].FileName;
  QFile::remove(SetPath(file));
  for (const char* ext : kImageSetSideExtensions) QFile::remove(SideFileName(ExeDir, file, QLatin1String(ext)));
}

// ---------------------------------------------------------------------------------------------
// Switching sets

bool TMirImageSet::Switch(int Index) {
  if (Index < 0 || size_t(Index) >= sets_.size()) return false;
  const TMImageSet set = sets_[size_t(Index)];
  Tini& ini = *model_.Ini;
  const bool visible = model_.SettingsVisible();
  // What is loaded decides, not MirPack: a rebuilt list may have renamed MirPack to another set
  // while these pictures are still the ones before.
  if (visible && set.FileName == loaded_) return false;
  if (visible && !loaded_.isEmpty()) Save();

  ini.MirPack = set.FileName;
  ini.UserImageSet = set.UserSet;
  loaded_ = set.FileName;
  loadedUser_ = set.UserSet;
  pictures_.clear();
  cache_.Clear();
  thumbsMade_ = 0;

  if (!set.UserSet) {
    // A pack that vanished or cannot be read since it was listed loads as a set without pictures.
    std::unique_ptr<TKVResFileReader> reader;
    try {
      reader = std::make_unique<TKVResFileReader>(SetPath(set.FileName));
      if (reader->Version() != kImagePackVersion1 && reader->Version() != kImagePackVersion2) reader.reset();
    } catch (const EKVError&) {
      reader.reset();
    }
    model_.Header.Title = ReadImagePackTitle(SetPath(set.FileName)).value_or(QString());
    model_.Header.Header[0] = model_.Header.Header[1] = 0;
    QBuffer skin;
    int pictures = 0;
    if (reader) {
      try {
        if (reader->GetEntry(1).Size <= kMaxHeaderEntry) {
          QBuffer header;
          header.setData(reader->ReadBuffer(1));
          header.open(QIODevice::ReadOnly);
          model_.Header.ReadHeaderRecord(header);
        }
      } catch (const EKVError&) {
      }
      pictures = ClampedPictureCount(model_.Header.PictureCount(), reader->Count());
      try {
        if (reader->Count() > 2) skin.setData(reader->ReadBuffer(2));
      } catch (const EKVError&) {
        skin.setData(QByteArray());
      }
    }
    skin.open(QIODevice::ReadOnly);
    LoadPackSkin(&skin);

    const QString sel = SideFile(QStringLiteral(".sel"));
    const bool haveSel = QFileInfo::exists(sel);
    if (haveSel) model_.UsedImages = LoadLines(sel);
    const QString mcl = SideFile(QStringLiteral(".mcl"));
    const QStringList order = QFileInfo::exists(mcl) ? LoadLines(mcl) : QStringList();
    LoadThumbCache();
    LoadPackPictures(reader.get(), pictures, order);
    reader.reset();
    if (!haveSel) CheckAll(true);
  } else {
    QByteArray skinBytes = MData ? MData->DefaultSkin->Bytes() : QByteArray();
    QBuffer skin(&skinBytes);
    skin.open(QIODevice::ReadOnly);
    LoadPackSkin(&skin);
    LoadThumbCache();
    const QString file = SetPath(set.FileName);
    LoadUserPictures(QFileInfo(file).isFile() ? LoadLines(file) : QStringList());
  }

  UpdateSponsors();
  emit model_.Changes.ImageSetLoaded();
  model_.DropPicture();
  UpdateSelection(true);
  return true;
}

void TMirImageSet::SaveMadeThumbnails() {
  // A cache that did not hold every thumbnail is written anew.
  if (thumbsMade_ > 0) SaveThumbnails();
  cache_.Clear();
}

void TMirImageSet::LoadPackSkin(QIODevice* Stream) {
  Tini& ini = *model_.Ini;
  TMirovaIni& pack = *model_.PackIni;
  const auto reset = [&] {
    emit model_.Changes.PackSkinLoading();
    ini.ResetDefaults();
    pack.ResetDefaults();
  };
  reset();
  try {
    model_.MirPackSkin->LoadSkinPackage(*Stream);
  } catch (const EKVError&) {
    // A damaged skin keeps the defaults; whatever it set so far is undone.
    reset();
    QBuffer none;
    none.open(QIODevice::ReadOnly);
    try {
      model_.MirPackSkin->LoadSkinPackage(none);
    } catch (const EKVError&) {
    }
  }
  pack.ShowSponsorImg = true;
  QSize cover;
  if (const TKVBitmapList* strip = model_.MirPackSkin->Images.Items(0); strip && strip->IsIndex(0))
    cover = QSize(strip->EntryWidth(0), strip->EntryHeight(0));
  emit model_.Changes.PackSkinLoaded(cover);
}

void TMirImageSet::LoadThumbCache() {
  const QString thn = SideFile(QStringLiteral(".thn"));
  if (!QFileInfo::exists(thn)) return;
  const qint32 w = cache_.ThumbWidth, h = cache_.ThumbHeight;
  cache_.ReadThumbHeader(thn);
  // Thumbnails of another size are not used: the cache is made anew at this one.
  if (cache_.ThumbWidth == w && cache_.ThumbHeight == h) cache_.LoadThumbs(thn);
  cache_.ThumbWidth = w;
  cache_.ThumbHeight = h;
}

int TMirImageSet::FindThumb(const QString& Key) const {
  for (int i = 0; i < cache_.Count(); ++i)
    if (cache_.Keys(i) == Key) return i;
  return -1;
}

TMSetPicture TMirImageSet::MakePicture(const QString& Key, const std::function<QImage(QSize)>& Load) {
  TMSetPicture picture;
  picture.Key = Key;
  QImage thumb;
  if (const int i = FindThumb(Key); i >= 0) thumb = cache_.Thumb(i);
  if (thumb.isNull()) {
    try {
      thumb = Load(thumbnail_);
    } catch (const std::exception&) {
      thumb = QImage();
    }
    if (!thumb.isNull()) ++thumbsMade_;
  }
  if (thumb.isNull()) {
    picture.Placeholder = true;
    picture.Thumb = PlaceholderThumbnail(thumbnail_);
    return picture;
  }
  TKVBitmap fitted;
  PaintBestFit(fitted, &thumb, thumbnail_.width(), thumbnail_.height());
  picture.Thumb = fitted.Image();
  return picture;
}

void TMirImageSet::LoadPackPictures(TKVResReader* Reader, int PictureCount, const QStringList& OrderLines) {
  const std::vector<int> order = Reader ? PackPictureOrder(OrderLines, PictureCount) : std::vector<int>();
  const QSet<QString> used(model_.UsedImages.begin(), model_.UsedImages.end());
  int unreadable = 0;
  for (const int n : order) {
    // An empty entry holds no picture, whatever the header counts.
    if (Reader->GetEntry(n + 2).Size <= 0) continue;
    const QString key = QString::number(n);
    TMSetPicture picture = MakePicture(key, [Reader, n](QSize box) {
      QImage image;
      LoadPackImage(image, n, *Reader, box);
      return image;
    });
    if (picture.Placeholder && ++unreadable > kMaxUnreadablePictures) continue;
    picture.Checked = used.contains(key);
    pictures_.push_back(std::move(picture));
  }
}

void TMirImageSet::LoadUserPictures(const QStringList& OrderLines) {
  // Lists name one file in many spellings: each spelling is looked up once, each file shown once.
  QHash<QString, QString> real;
  const auto realPath = [&real](const QString& line) {
    auto it = real.constFind(line);
    if (it == real.constEnd()) it = real.insert(line, line.trimmed().isEmpty() ? QString() : RealPicturePath(line));
    return *it;
  };
  QSet<QString> keys;
  int unreadable = 0;
  for (const QString& line : OrderLines) {
    const QString path = realPath(line);
    if (path.isEmpty() || keys.contains(path)) continue;
    TMSetPicture picture = MakePicture(path, [path](QSize box) { return LoadPictureFromFile(path, box); });
    if (picture.Placeholder && ++unreadable > kMaxUnreadablePictures) continue;
    keys.insert(path);
    pictures_.push_back(std::move(picture));
  }
  const QString sel = SideFile(QStringLiteral(".sel"));
  if (!QFileInfo::exists(sel)) {
    CheckAll(true);
    return;
  }
  QStringList used;
  QSet<QString> checked;
  for (const QString& line : LoadLines(sel)) {
    const QString path = realPath(line);
    if (!path.isEmpty() && !checked.contains(path)) {
      checked.insert(path);
      used << path;
    }
  }
  model_.UsedImages = used;
  for (TMSetPicture& p : pictures_) p.Checked = checked.contains(p.Key);
}

void TMirImageSet::UpdateSponsors() {
  Tini& ini = *model_.Ini;
  TMirovaIni& pack = *model_.PackIni;
  const TKVBitmapList* sponsors = model_.MirPackSkin->Images.Items(1);
  if (!pack.ShowSponsorImg || !sponsors) {
    pack.Ads.Clear();
    return;
  }
  // The images the strip really holds, not the count its text claims.
  const int count = std::min<int>(int(sponsors->Rects().size()), kMaxSponsorImages);
  ini.SponsorNo = ini.SponsorNo < 0 || ini.SponsorNo >= count - 1 ? 0 : ini.SponsorNo + 1;
  while (pack.Ads.Count() < count) {
    TMirovaAdItem* ad = pack.Ads.Add();
    ad->BlendImage = true;
    ad->BlendContrast = 50;
    ad->SponsorText.clear();
  }
}

// ---------------------------------------------------------------------------------------------
// Pictures

void TMirImageSet::SetChecked(int Index, bool Checked) {
  if (Index >= 0 && size_t(Index) < pictures_.size()) pictures_[size_t(Index)].Checked = Checked;
}

void TMirImageSet::CheckAll(bool Checked) {
  for (TMSetPicture& p : pictures_) p.Checked = Checked;
}

void TMirImageSet::Exchange(int A, int B) {
  const int n = int(pictures_.size());
  if (A < 0 || B < 0 || A >= n || B >= n) return;
  std::swap(pictures_[size_t(A)], pictures_[size_t(B)]);
}

void TMirImageSet::Remove(int Index) {
  if (Index >= 0 && size_t(Index) < pictures_.size()) pictures_.erase(pictures_.begin() + Index);
}

QStringList TMirImageSet::AddPictures(const QStringList& Files) {
  QStringList keys, bad;
  for (const TMSetPicture& p : pictures_) keys << p.Key;
  for (const QString& file : Files) {
    const QString real = RealPicturePath(file);
    const QString path = real.isEmpty() ? QFileInfo(file).absoluteFilePath() : real;
    if (keys.contains(path)) continue;
    QImage image;
    try {
      // A name with a line break cannot be a line of the set's list.
      if (!path.contains(QLatin1Char('\n')) && !path.contains(QLatin1Char('\r')))
        image = LoadPictureFromFile(path, thumbnail_);
    } catch (const std::exception&) {
      image = QImage();
    }
    if (image.isNull()) {
      bad << QDir::toNativeSeparators(path);
      continue;
    }
    TMSetPicture picture = MakePicture(path, [&image](QSize) { return image; });
    picture.Checked = true;
    pictures_.push_back(std::move(picture));
    keys << path;
  }
  return bad;
}

void TMirImageSet::UpdateSelection(bool Redraw) {
  const Tini& ini = *model_.Ini;
  QStringList& used = model_.UsedImages;
  const auto current = [&]() -> QString {
    return ini.ImageIndex >= 0 && ini.ImageIndex < used.size() ? used[ini.ImageIndex] : QString();
  };
  const QString before = current();
  used.clear();
  for (const TMSetPicture& p : pictures_)
    if (p.Checked) used << p.Key;
  if (!used.isEmpty() && !Redraw) return;
  if (ini.ImageIndex >= 0 && ini.ImageIndex < used.size() && used[ini.ImageIndex] == before) return;
  model_.DropPicture();
  emit model_.Changes.CurrentPictureChanged();
}

// ---------------------------------------------------------------------------------------------
// Saving

bool TMirImageSet::SaveSideFile(const QString& FileName, const std::function<void()>& Save) {
  try {
    Save();
    failedSaves_.erase(FileName);
    return true;
  } catch (const EKVError& e) {
    saveReasons_[FileName] = e.Reason();
    return false;
  }
}

void TMirImageSet::ReportSaveFailures(const QStringList& Failed) {
  QStringList news;
  for (const QString& f : Failed)
    if (failedSaves_.insert(f).second) news << f;
  if (news.isEmpty()) return;
  // Told in one box, or with the rest of a save-all.
  const TSaveReport report;
  // The thumbnail cache is made anew from the pictures; the order and the choice are the user's.
  for (const QString& f : news) ReportSaveFailure(f, saveReasons_[f], f.endsWith(QLatin1String(".thn")));
}

void TMirImageSet::Save() {
  // A set whose file is gone gets no side files: they would outlive it, or make an order list
  // that lists as a set of its own.
  if (loaded_.isEmpty() || !QFileInfo(SetPath(loaded_)).isFile()) return;
  UpdateSelection(false);
  QStringList order;
  for (const TMSetPicture& p : pictures_) order << p.Key;
  QStringList failed;
  const QString mcl = SideFile(QStringLiteral(".mcl")), sel = SideFile(QStringLiteral(".sel"));
  if (!SaveSideFile(mcl, [&] { SaveLines(mcl, order); })) failed << mcl;
  if (!SaveSideFile(sel, [&] { SaveLines(sel, model_.UsedImages); })) failed << sel;
  if (!WriteThumbnails()) failed << SideFile(QStringLiteral(".thn"));
  ReportSaveFailures(failed);
}

bool TMirImageSet::WriteThumbnails() {
  if (loaded_.isEmpty()) return true;
  cache_.Clear();
  cache_.ThumbWidth = thumbnail_.width();
  cache_.ThumbHeight = thumbnail_.height();
  // A placeholder is no thumbnail: the picture is tried again next time.
  for (const TMSetPicture& p : pictures_)
    if (!p.Placeholder) cache_.AddThumb(p.Key, p.Thumb);
  const QString thn = SideFile(QStringLiteral(".thn"));
  return SaveSideFile(thn, [&] {
    QString reason;
    const bool saved = cache_.SaveThumbs(thn, &reason);
    cache_.Clear();
    if (!saved) throw EFCreateError(thn, reason);
  });
}

void TMirImageSet::SaveThumbnails() {
  if (!WriteThumbnails()) ReportSaveFailures({SideFile(QStringLiteral(".thn"))});
}

// ---------------------------------------------------------------------------------------------
// Thumbnail size

void TMirImageSet::ApplyThumbSize() {
  const int thn = model_.Ini->ThnSize;
  thumbSize_ = thn == 0 ? 0 : thn == 1 ? 1 : 2;
  thumbnail_ = ThumbSizes(thumbSize_).Image;
  cache_.ThumbWidth = thumbnail_.width();
  cache_.ThumbHeight = thumbnail_.height();
}

void TMirImageSet::ChangeThumbSize(int ThnSize) {
  Save();
  model_.Ini->ThnSize = ThnSize;
  ApplyThumbSize();
  // Loaded again at the new size, drawn and applied as a new set.
  model_.Ini->MirPack.clear();
  loaded_.clear();
}
