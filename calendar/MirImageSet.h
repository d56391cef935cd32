#pragma once
// The current image set as data: the set list of the program folder, the set loaded, its pictures
// in display order with their checks and thumbnails, switching sets (the pack's skin into the
// settings, the sponsor data) and its side files: the order ".mcl", the checked pictures ".sel"
// and the thumbnail cache ".thn". Widget-free; the Images page shows it. What changes is
// announced through the model's Changes (skin loading and loaded, set loaded, current picture).
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "calendar/ImageSets.h"
#include "calendar/MirData.h"

class QIODevice;
class TKVResReader;
class TMirModel;

// One picture of the current set.
struct TMSetPicture {
  // A pack picture number as decimal text, or an own set's picture file by its real path.
  QString Key;
  bool Checked = false;
  // At the thumbnail size; a grey face with a cross when the picture cannot be read.
  QImage Thumb;
  bool Placeholder = false;
};

class TMirImageSet {
 public:
  // Model: its settings, pack skin, pack settings, header and UsedImages are the ones kept.
  explicit TMirImageSet(TMirModel& Model);

  // Lists the sets of the program folder and picks the current one (MirPack, a name in other
  // letter cases respelled as on disk) or the first, naming it in MirPack; its index, or -1 with
  // NoImageSets set when there is none.
  int LoadList();
  // The set files of the program folder differ from those of the last list.
  bool FilesChanged() const;
  const std::vector<TMImageSet>& Sets() const { return sets_; }

  // Loads Sets()[Index]: its skin into the settings and the pack skin, its header, pictures,
  // order, checks and thumbnails, and its sponsor data; then UsedImages from the checks. While the
  // settings window is open, the set already loaded is not loaded again and the outgoing one is
  // saved first. False when nothing was loaded.
  bool Switch(int Index);
  // Writes the cache anew when the last switch made thumbnails that it did not hold; then lets
  // the cache go (the thumbnails live on in the pictures).
  void SaveMadeThumbnails();
  // No set loaded: no pictures, nothing checked.
  void Clear();
  // Deletes Sets()[Index]'s file and its side files (the list is not read again).
  void Delete(int Index);
  // The set whose pictures these are; empty before the first switch.
  const QString& Loaded() const { return loaded_; }
  bool LoadedUserSet() const { return loadedUser_; }

  const std::vector<TMSetPicture>& Pictures() const { return pictures_; }
  void SetChecked(int Index, bool Checked);
  void CheckAll(bool Checked);
  void Exchange(int A, int B);
  void Remove(int Index);
  // Own sets: adds the files not in the set yet, checked, at the end; gives back those that cannot
  // be read (native spelling), which are not added.
  QStringList AddPictures(const QStringList& Files);
  // UsedImages from the checks. CurrentPictureChanged is announced (and the cached picture dropped)
  // when the current picture is another now or there is none; without Redraw only when nothing
  // is checked.
  void UpdateSelection(bool Redraw);

  // Writes the loaded set's ".mcl", ".sel" and ".thn"; a failure is told once per file until it
  // saves again. Nothing for a set whose file is gone.
  void Save();
  void SaveThumbnails();

  // The thumbnail size (0 small, 1 medium, 2 large) and its image size, from the ThnSize setting.
  void ApplyThumbSize();
  int ThumbSize() const { return thumbSize_; }
  QSize ThumbnailSize() const { return thumbnail_; }
  // Saves the set at the old size and takes the new one; the next switch loads the set again.
  void ChangeThumbSize(int ThnSize);

 private:
  QString SetPath(const QString& FileName) const;
  QString SideFile(const QString& Extension) const;
  void LoadPackSkin(QIODevice* Stream);
  void LoadThumbCache();
  void LoadPackPictures(TKVResReader* Reader, int PictureCount, const QStringList& OrderLines);
  void LoadUserPictures(const QStringList& OrderLines);
  // A picture, its thumbnail from the cache or made by Load.
  TMSetPicture MakePicture(const QString& Key, const std::function<QImage(QSize)>& Load);
  int FindThumb(const QString& Key) const;
  void UpdateSponsors();
  bool SaveSideFile(const QString& FileName, const std::function<void()>& Save);
  bool WriteThumbnails();
  void ReportSaveFailures(const QStringList& Failed);

  TMirModel& model_;
  std::vector<TMImageSet> sets_;
  // The set files last listed (sorted), to notice changes.
  QStringList listed_;
  QString loaded_;
  bool loadedUser_ = false;
  std::vector<TMSetPicture> pictures_;
  int thumbSize_ = 1;
  QSize thumbnail_;
  // The side file's thumbnails, held during a switch and a save.
  TMThnList cache_;
  // Thumbnails made from the pictures (not taken from the cache) during the last switch.
  int thumbsMade_ = 0;
  std::set<QString> failedSaves_;
  // The system's reason of each side file's last failed save.
  std::map<QString, QString> saveReasons_;
};
