#pragma once
// The notebook store: entries (keyed rich text with a title and a colour) in sections, and the
// notebook file format: an entry is a marker line followed by its text, and a file may be
// scrambled with a password.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/KVClasses.h"
#include "foundation/KVException.h"
#include "foundation/KVString.h"
#include "foundation/KVTypes.h"

// A notebook file whose first line is no entry: a wrong password, or no notebook at all.
KV_DECLARE_ERROR(ENbDataCrypt, EKVError)

// What storing does when the ID is taken already; a free ID is always added under that ID.
enum TNbStoreMode : std::uint8_t {
  nbsmKeep = 0,       // the existing entry stays as it is
  nbsmOverwrite = 1,  // the existing entry takes the new content
  nbsmAddNew = 2,     // a new entry under a fresh ID from OnNextID
};

// Notebook files larger than this are refused before they are read.
constexpr qint64 NbMaxFileSize = qint64(256) * 1024 * 1024;

class TNbData;
class TNbDataList;

class TNbObject {
 public:
  virtual ~TNbObject() = default;

  // The key. The notebook finds entries through an index of their IDs: once an entry is in a
  // notebook its ID changes only through SetData or LoadFromStrings, which keep the index in step.
  QString ID;
  QString Title;
  TKVText Text;  // RTF as the editor writes it
  TColor Color = clBlack;
  TColor DisplayColor = clBlack;
  bool IsFolder = false;
  // The plain text that the notebook component's search read from Text (case-folded, UTF-8), and
  // the Text it read (sharing its characters, so that any change of Text is seen): read again only then.
  struct TSearchCache {
    TKVText Source;
    QByteArray Folded;
    std::shared_ptr<const void> Room;  // what Folded lies in when it shares it with other entries'
  };
  mutable TSearchCache SearchCache;

  virtual void SetData(const QString& id, const QString& title, const TKVText& text, TColor color,
                       bool isFolder);
  // Raises EConvertError for a colour text that is neither a colour name nor a number.
  virtual void LoadFromStrings(const QString& headerLine, const QStringList& bodyLines);
  // The marker line and the trimmed text, each ended by CR LF.
  virtual QString SaveToString() const;
  // "i" the ID, "t" the title, "dt"/"ddt" the ID's date (short/long) and the title, else both.
  virtual QString GetCaption(const QString& format) const;
  // The ID's date, short for "dt", long for "ddt" (the ID itself when it makes no date).
  QString GetDateCaption(const QString& format) const;

 protected:
  QString HeaderFields() const;
  QString BodyText() const;
  // Tells the notebook that holds the entry that its ID is no longer OldID.
  void IDChanged(const QString& oldID);

 private:
  friend class TNbData;
  friend class TNbDataList;
  TNbData* section_ = nullptr;  // the section holding the entry; none for headers and loose entries
};

// An entry that also names a picture.
class TNbThnObject : public TNbObject {
 public:
  QString Image;
  bool Link = false;

  void LoadFromStrings(const QString& headerLine, const QStringList& bodyLines) override;
  QString SaveToString() const override;
  QString GetCaption(const QString& format) const override;
};

// One section: an owning list of entries with its own header entry.
class TNbData {
 public:
  explicit TNbData(bool useThumbnails);
  ~TNbData();
  TNbData(const TNbData&) = delete;
  TNbData& operator=(const TNbData&) = delete;

  bool Modified = false;
  bool Open = false;
  bool Loaded = true;
  // The file whose last load or merge into this section stopped at an error (empty when it did
  // not): saving over it keeps it aside first, as it holds entries the section lacks.
  QString DamagedFile;
  QString FileName;           // the section's ".DAT" file in folder mode
  TNbData* Parent = nullptr;  // not owned
  std::vector<TNbData*> Children;
  // IsFolder; its Title is the section's title, its Text the ancestor path.
  TNbObject& Header() const { return *header_; }

  int Count() const { return int(items_.size()); }
  TNbObject* Items(int index) const { return items_.at(size_t(index)).get(); }
  TNbObject* Add(std::unique_ptr<TNbObject> entry);
  int IndexOf(const TNbObject* entry) const;
  // Sets Modified when there were entries, then frees them.
  void Clear();
  // Sets Modified, then removes and frees the entry; nothing when the section does not hold it.
  void Remove(TNbObject* entry);
  // Told of entries just before they are freed.
  std::function<void(const std::vector<TNbObject*>& entries)> OnFreeing;

 private:
  friend class TNbDataList;
  friend class TNbObject;
  std::unique_ptr<TNbObject> header_;
  std::vector<std::unique_ptr<TNbObject>> items_;
  TNbDataList* list_ = nullptr;  // the notebook whose index holds the entries; none for a loose section
};

// The notebook: an owning list of sections.
class TNbDataList {
 public:
  explicit TNbDataList(bool useThumbnails);
  ~TNbDataList();
  TNbDataList(const TNbDataList&) = delete;
  TNbDataList& operator=(const TNbDataList&) = delete;

  bool UseThumbnails() const { return useThumbnails_; }
  // Empty: files are plain text.
  QString FilePassword;
  // Yields a fresh ID; NextID unless replaced.
  TEvent<void(QString& id)> OnNextID;
  // Told of entries of any section just before they are freed, so that lists showing them can
  // let go of them first.
  TEvent<void(const std::vector<TNbObject*>& entries)> OnEntriesFreeing;

  int Count() const { return int(sections_.size()); }
  TNbData* Items(int index) const { return sections_.at(size_t(index)).get(); }
  TNbData* AddSection();
  void Clear();
  // An empty entry of the list's entry class.
  std::unique_ptr<TNbObject> NewObject() const;
  // A fresh ID from OnNextID.
  QString FreshID() const;

  // The largest whole-number ID plus one.
  void NextID(QString& id) const;
  // The first entry with the ID, in section order then entry order; through the index of IDs.
  TNbObject* FindEntry(const QString& id) const;
  TNbObject* FindEntryPos(const QString& id, int& sectionIndex, int& itemIndex) const;
  bool LocateEntry(const TNbObject* entry, int& sectionIndex, int& itemIndex) const;
  int IndexOfSectionHeader(const TNbObject* entry) const;

  TNbObject* StoreEntry(const QString& id, const QString& title, const QString& text, TColor color,
                        int sectionIndex, TNbStoreMode mode);
  TNbObject* AddEntryFromLines(const QString& headerLine, const QStringList& bodyLines,
                               TNbStoreMode mode, int sectionIndex);
  void ParseLines(const QStringList& lines, int sectionIndex, TNbStoreMode mode);
  // A missing file leaves the section empty. Raises ENbDataCrypt, EConvertError, EFOpenError;
  // entries read before the error stay, and the file is noted as DamagedFile.
  void LoadSection(const QString& fileName, int sectionIndex);
  void MergeFile(const QString& fileName, int sectionIndex, TNbStoreMode mode);
  void LoadSectionFromStrings(const QStringList& lines, int sectionIndex);
  // The section's entries as notebook text.
  QString SectionText(int sectionIndex) const;
  // Writes the section as a notebook file (never scrambled), atomically and readable by the
  // owner only; clears Modified. A file that the section could not read whole is first kept
  // aside (KeepFileAside). Raises EFCreateError.
  void SaveSection(const QString& fileName, int sectionIndex);

  // Folder mode.
  bool SectionTitleExists(const QString& title) const;
  QString UniqueSectionTitle(const QString& base) const;
  void UpdateSectionPaths(TNbData* section);
  void RenameSection(TNbData* section, const QString& newTitle);
  void RenameSectionFiles(TNbData* section);
  void ParseSectionHeader(const QString& text, int sectionIndex);
  void LoadSectionHeader(const QString& fileName, int sectionIndex);

 private:
  friend class TNbData;
  friend class TNbObject;
  bool useThumbnails_;
  std::vector<std::unique_ptr<TNbData>> sections_;
  // Each ID's first entry (in section order, then entry order) and how many entries carry it, kept
  // in step as entries are added, renamed and removed, so that a look-up or a store does not
  // search the whole notebook.
  struct TIndexSlot {
    TNbObject* first = nullptr;
    int count = 0;
  };
  mutable QHash<QString, TIndexSlot> index_;

  TNbData& Section(int index) const;
  int SectionIndexOf(const TNbData* section) const;
  // The first entry with the ID other than Skip, by searching every section.
  TNbObject* ScanFirst(const QString& id, const TNbObject* skip) const;
  void RebuildIndex() const;
  // Entry was appended to its section.
  void Indexed(TNbObject* entry);
  // Entry no longer carries ID (it is leaving, or it was renamed).
  void Unindexed(const TNbObject* entry, const QString& id);
  void Renamed(TNbObject* entry, const QString& oldID);
};

// ---- the file format

// Colour text of a header field: a colour name or "$" and eight upper-case hex digits.
QString NbColorToString(TColor color);
// Raises EConvertError for text that is neither a colour name nor a number.
TColor NbStringToColor(const QString& text);
// The text between the first Marker of Line and the first "*-->" after it; empty when absent.
QString NbField(const QString& line, const QString& marker);
// Scrambling with a password is its own inverse; only the first 223 password characters count.
QByteArray DescrambleNotebookText(const QByteArray& text, const QString& password);
// The text of a notebook file's bytes: UTF-8 when they are valid UTF-8, else Windows-1252.
QString DecodeNotebookBytes(const QByteArray& bytes);
// The bytes of notebook text: Windows-1252 when every character has a byte there, else UTF-8.
QByteArray EncodeNotebookText(const QString& text);
// Lines ended by CR LF, LF or CR; a final line end adds no empty line.
QStringList SplitNotebookLines(const QString& text);
// The lines of a notebook file, descrambled with Password when it is not plain. No lines for a
// missing file. Raises ENbDataCrypt when the first line is no entry, EFOpenError when the file
// cannot be read or is too large.
QStringList ReadNotebookFile(const QString& fileName, const QString& password);
// The (year, month, day) of a date key, read by position: characters 1-4, 6-7 and 9-10, with
// 2000, 1 and 1 for parts that are no numbers. The date may be invalid.
void NbKeyDateParts(const QString& id, int& year, int& month, int& day);
