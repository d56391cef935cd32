#pragma once
// The calendar's documents: diary, quick notes, holidays (with the month-and-day index the
// calendar draws from), favourite icons and events. Each accepts only texts of its own type and
// saves itself as type and version 1.
#include <QDate>
#include <QImage>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

#include "foundation/KVXSkinBase.h"

extern const QString kDiaryDocType, kNotesDocType, kHolidaysDocType, kIconsDocType, kEventsDocType;
extern const QString kDiaryFileName, kNotesFileName, kIconsFileName;

class TMDiaryBase : public TKVXSkinDiaryBase {
  KV_CLASS(TMDiaryBase)
 public:
  explicit TMDiaryBase(TComponent* owner = nullptr);
  qint64 MaxTextSize() const override;  // rich text with pictures
  // Each entry becomes a notebook entry and a row of the diary's list as well (measured: 460
  // bytes an entry).
  qint64 ItemCost() const override { return 512; }
  int CheckDocument(const QString& docType, int docVer) override;
  void SaveToStream(QIODevice& Stream, bool Compress) override;
};

class TMNotesBase : public TKVXSkinSafeIni {
  KV_CLASS(TMNotesBase)
 public:
  explicit TMNotesBase(TComponent* owner = nullptr);
  TStringList QuickNote;  // the quick notes' rich text, line by line
  qint64 MaxTextSize() const override;  // rich text with pictures
  // The lines are joined and read into the quick-notes editor (measured: 820 bytes a line).
  qint64 ElementCost() const override { return 1024; }
  void ResetDefaults() override;
  int CheckDocument(const QString& docType, int docVer) override;
  void SaveToStream(QIODevice& Stream, bool Compress) override;
};

class TMHolidayBase : public TKVXSkinHolidayBase {
  KV_CLASS(TMHolidayBase)
 public:
  static constexpr int kRows = 25, kDays = 31;

  explicit TMHolidayBase(TComponent* owner = nullptr);
  // Each holiday becomes a row of the holidays page as well (measured: 24 KB a row).
  qint64 ItemCost() const override { return 24 * 1024; }
  void ResetDefaults() override;
  int CheckDocument(const QString& docType, int docVer) override;
  void SaveToStream(QIODevice& Stream, bool Compress) override;

  // Rebuilds the index for the year of the clock: row 0 is December of the year before, rows
  // 1 .. 12 the months of the year, 13 .. 24 those of the next year; a later item wins a cell.
  void RebuildIndex() override;
  // The year the index was built for; 0 while it is empty.
  int IndexYear() const { return indexYear_; }
  // Rebuilds the index when the clock's year is no longer the one it was built for.
  void CheckIndexYear();
  // The index row of a month (-1 when the index does not reach it), counted from the year the
  // index was built for, after CheckIndexYear.
  int HolidayRow(int Year, int Month);
  // The item of a cell (day 1 .. 31); nullptr when the cell is empty.
  TKVXBHolidayItem* HolidayCell(int Row, int Day) const;
  // The item shown on a date, or nullptr.
  TKVXBHolidayItem* HolidayOf(const QDate& Date);
  // The titles of the yearly holidays on the date's month and day and of the one-time holidays
  // on the date itself, in collection order.
  void ListHolidaysOfDate(QStringList& List, const QDate& Date) const;

 private:
  std::array<int, kRows * kDays> index_{};  // item numbers of Data, -1 for an empty cell
  int indexYear_ = 0;
  void ClearIndex();
};

// The favourite icons: 32 x 32 pictures on white, stored as the bitmap strip "IconData".
class TMIconBase : public TKVXSkinSafeIni {
  KV_CLASS(TMIconBase)
 public:
  static constexpr int kIconSize = 32;

  explicit TMIconBase(TComponent* owner = nullptr);
  std::vector<QImage> Icons;  // Format_BGR888, kIconSize x kIconSize
  // Adds a picture as an icon: drawn at the top left of a white 32 x 32 square, cut at its edge.
  void AddIcon(const QImage& picture);
  void ResetDefaults() override;
  int CheckDocument(const QString& docType, int docVer) override;
  void SaveToStream(QIODevice& Stream, bool Compress) override;
  void DefineProperties(TFiler& filer) override;
  // An "IconData" that cannot be read leaves no icons and marks the load LoadDamaged, so that the
  // file is kept aside before a save.
  void LoadFromStream(QIODevice& Stream) override;
  // The "IconData" stream and back; reading raises on data that is not a strip.
  QByteArray WriteIconData() const;
  void ReadIconData(const QByteArray& data);

 private:
  QString iconDataError_;
};

class TMEventBase : public TKVXSkinEventBase {
  KV_CLASS(TMEventBase)
 public:
  explicit TMEventBase(TComponent* owner = nullptr);
  int CheckDocument(const QString& docType, int docVer) override;
  void SaveToStream(QIODevice& Stream, bool Compress) override;
};

// Saves a document over FileName. When the document's last load failed or found the file
// damaged, the file is first kept aside under a new ".bak" name (KeepFileAside), so that what the
// program could not read is never lost to a save. A file that holds the document already is not
// written again. Raises EFCreateError when the file cannot be written.
void SaveDocumentFile(TKVXSkinIni& Doc, const QString& FileName, bool Compress);
// Loads a document from FileName. When the file was damaged and only what came before the
// damage was loaded, the user is told so once, with the number of entries recovered, through
// the message box; so too when it was refused for holding more than a file of its size may
// (TellDocumentRefused).
void LoadDocumentFile(TKVXSkinIni& Doc, const QString& FileName);
// When Doc's last load refused FileName for what reading it would take (LoadTooLarge), tells the
// user once that it was not loaded and will be kept aside.
void TellDocumentRefused(const TKVXSkinIni& Doc, const QString& FileName);
