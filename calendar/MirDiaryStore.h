#pragma once
// The diary and the holidays on disk. The diary comes either from the program's own document
// "mdiary.dat" (read and written here, with the password file "config.dat" kept in step with its
// Safe text) or, while the setting NotavelDiary is on, from the other product's notebook file
// "diary.dat", which is shown read-only and never written. The quick notes are the notes store's
// (MirNotesStore.h). The holidays are "mholiday.dat" when the user changed them, else the
// built-in list.
//
// Nothing typed is lost to a failure: a document that could not be read is kept aside before it
// is saved over, and a save that fails is reported once ("Cannot save <file>." and "Disk may be
// full or write protected!") while the program goes on with everything still in memory.
#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "foundation/KVSaveReport.h"
#include "platform/KVSaveQueue.h"

class TMirModel;
class TPersistent;
struct TDiaryDaysAhead;

extern const QString kHolidaysFileName;  // "mholiday.dat"

// The own diary, its password file and the user's holidays in the program folder.
QString DiaryFile();
QString DiaryPasswordFile();
QString HolidaysFile();
// The linked diary's notebook file and password file in the other product's folder.
QString LinkedDiaryFile(const QString& NotavelPath);
QString LinkedPasswordFile(const QString& NotavelPath);

// The entries of the own diary file (DiaryFile()) dated From to To, key to text, the first of
// each key as the notebook finds it: read without building the rest of the diary, whatever its
// size, for a drawing before the diary is loaded. No file gives none; nothing when the file
// cannot be read so (damaged, refused, of another kind): then only a whole load tells.
std::optional<QHash<QString, QString>> ReadDiaryDays(const QString& FileName, const QDate& From, const QDate& To);

// OnVerify of the holiday, icon and event documents: every document is accepted.
void HolidayBaseVerify(TPersistent* Sender, const QString& Safe, bool& Accept);

// Loads announce themselves through the model's Changes (DiaryListChanged, DiaryLoaded,
// QuickNotesLoaded).
class TMirDiaryStore {
 public:
  explicit TMirDiaryStore(TMirModel& Model);
  // Lets a diary save that is still being written finish.
  ~TMirDiaryStore();

  // The password the linked diary is opened with; start-up empties it.
  QString DiaryPassword;
  void ClearDiaryPassword() { DiaryPassword.clear(); }

  // The diary into the notebook (own or linked, by the setting NotavelDiary), then the quick
  // notes. False when a file could not be read (the rest is loaded all the same).
  bool LoadDiaryAndNotes();
  // The entries of the own diary dated From to To, as ReadDiaryDays gives them, read on a thread
  // of its own from now on while the program goes on starting.
  void ReadDaysAhead(const QDate& From, const QDate& To);
  // What that read gave, once it is done; read here and now when none was begun for these days
  // or the file was replaced since.
  std::optional<QHash<QString, QString>> DaysAhead(const QDate& From, const QDate& To);
  // The diary part alone: section 0 of the notebook is emptied and filled from the diary the
  // setting names. The password file follows the own diary's Safe text.
  bool LoadDiary();
  // Without a linked diary: the editor's edit posted, the entries into the document, the
  // document to "mdiary.dat" and the password file; then the quick notes in every case. False
  // when something could not be saved (each failure was reported once). Without Wait the diary
  // file is written on the saving thread and its failure reported when it is done.
  bool SaveDiary(bool Wait = true);
  // The own diary alone (nothing while the diary is linked, nor when the file holds the entries
  // already). The entries are taken at once and the file is written on the saving thread; with
  // Wait this returns when it is written. Without, a failure is added to the report that was open
  // here once the write is done (the event loop or WaitForSaves), and true comes back.
  bool SaveOwnDiary(bool Wait = true);
  // Every diary save begun has reached the disk or failed, and its failure was reported.
  void WaitForSaves();
  // The diary switches to the linked one (true) or back to the own one: the own diary is saved
  // first (when that fails nothing switches and false comes back), the setting is changed and
  // saved, and the diary it names is loaded.
  bool SwitchDiary(bool Linked);
  // The session ends and nobody can be asked: each document among Failures (the diary, the quick
  // notes, the holidays) is written, as the program holds it, to RescueFolder instead. Returns
  // the folder, empty when nothing could be kept there.
  QString KeepUnsaved(const QList<TSaveFailure>& Failures);

 private:
  TMirModel& model_;
  bool LoadOwnDiary();
  bool LoadLinkedDiary();
  // The notebook's entries and the Safe text are those the diary file was last read from or
  // written with, and that file is still there.
  bool DiaryOnDisk() const;
  QString storedSafe_;
  bool diaryWriteFailed_ = false;
  std::unique_ptr<TDiaryDaysAhead> daysAhead_;
  // Last, so that it is gone first: its finished saves refer to the members above.
  TKVSaveQueue saves_;
};

class TMHolidayBase;
class TKVXBHolidayItem;

// The built-in holiday list into Doc.
void LoadBuiltinHolidays(TMHolidayBase& Doc);
// The item is one of Builtin's holidays as shipped (same date, title and schedule).
bool IsBuiltinHoliday(const TKVXBHolidayItem& Item, const TMHolidayBase& Builtin);

// Where the documents the end of a session could not save are kept: a folder of the user's own,
// owner-only, in the user's temporary folder (TMPDIR), else in the system's lasting temporary
// folder or its temporary folder. Empty when there is no such folder that is the user's.
QString RescueFolder();
// The documents kept there by an earlier session's end (full paths); none when nothing is kept.
QStringList RescuedFiles();

// The holidays into the model's holiday document: "mholiday.dat" when it exists, else the
// built-in list; then the month-and-day index is rebuilt. A file that cannot be read gives the
// built-in list and false, and stays marked, so the next save keeps it aside first.
bool LoadHolidayDocument(TMirModel& Model);
// The holiday document, compressed, to "mholiday.dat"; a failure is reported once.
bool SaveHolidayDocument(TMirModel& Model);
