#include "calendar/MirDiaryStore.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MDataDM.h"
#include "calendar/MirModel.h"
#include "calendar/MirNotesStore.h"
#include "calendar/encr.h"
#include "calendar/iniData.h"
#include "controls/KVNbModule.h"
#include "foundation/KVException.h"
#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVSafeSave.h"

const QString kHolidaysFileName = QStringLiteral("mholiday.dat");

namespace {

const QString kLinkedDiaryName = QStringLiteral("diary.dat");

// The linked diary's password file over ours: replaced whole or not at all, owner-only like every
// file that holds a password.
bool CopyPasswordFile(const QString& From, const QString& To) {
  QFile in(From);
  if (!in.open(QIODevice::ReadOnly)) return false;
  try {
    SafeSaveBytes(To, in.readAll(), true);
    return true;
  } catch (const EKVError& e) {
    qWarning("%s", qUtf8Printable(e.Message()));
    return false;
  }
}

}  // namespace

QString DiaryFile() { return ExeDir + kDiaryFileName; }
QString DiaryPasswordFile() { return ExeDir + kPasswordFileName; }
QString HolidaysFile() { return ExeDir + kHolidaysFileName; }
QString LinkedDiaryFile(const QString& NotavelPath) {
  return NotavelPath.isEmpty() ? QString() : PathWithSlash(NotavelPath) + kLinkedDiaryName;
}
QString LinkedPasswordFile(const QString& NotavelPath) {
  return NotavelPath.isEmpty() ? QString() : PathWithSlash(NotavelPath) + kPasswordFileName;
}

void HolidayBaseVerify(TPersistent*, const QString&, bool& Accept) { Accept = true; }

// ---------------------------------------------------------------------------------------------
// The diary

TMirDiaryStore::TMirDiaryStore(TMirModel& Model) : model_(Model) {
  model_.Diary->OnVerify.Set(&DiaryBaseVerify);
  model_.Notes->OnVerify.Set(&DiaryBaseVerify);
  model_.Holidays->OnVerify.Set(&HolidayBaseVerify);
  model_.Icons->OnVerify.Set(&HolidayBaseVerify);
  model_.Events->OnVerify.Set(&HolidayBaseVerify);
}

bool TMirDiaryStore::LoadDiaryAndNotes() {
  const bool diary = LoadDiary();
  const bool notes = LoadQuickNotes(model_);
  emit model_.Changes.QuickNotesLoaded();
  return diary && notes;
}

bool TMirDiaryStore::LoadDiary() {
  TNbModule& nb = *model_.NbDiary;
  // What the editor held was saved by the caller (or is nothing, at start-up); it must not be
  // posted into the diary that comes next.
  if (nb.NbEdit()) nb.NbEdit()->SetModified(false);
  nb.Data().Items(0)->Clear();
  emit model_.Changes.DiaryListChanged();
  const bool ok = model_.Ini->NotavelDiary ? LoadLinkedDiary() : LoadOwnDiary();
  // The empty list started a new entry under the selected day; when the loaded diary has an entry
  // under that ID, the editor shows it instead of an empty page that would be saved over it.
  if (TNbObject* active = nb.Data().FindEntry(nb.ActiveID())) nb.SetActive(active, active->ID, true);
  emit model_.Changes.DiaryLoaded();
  return ok;
}

bool TMirDiaryStore::LoadLinkedDiary() {
  ClearDiaryPassword();
  TNbModule& nb = *model_.NbDiary;
  const QString folder = model_.Ini->NotavelPath;
  if (folder.isEmpty()) {
    qWarning("The linked diary has no folder: it stays empty");
    return false;
  }
  const QString password = LinkedPasswordFile(folder);
  if (QFile::exists(password) && !CopyPasswordFile(password, DiaryPasswordFile()))
    qWarning("Cannot copy %s over %s", qUtf8Printable(password), qUtf8Printable(DiaryPasswordFile()));
  nb.Data().FilePassword = DiaryPassword;
  try {
    nb.OpenNotebook(LinkedDiaryFile(folder));
  } catch (const EKVError& e) {
    // The notebook keeps what it read before the error.
    qWarning("The linked diary was not read: %s", qUtf8Printable(e.Message()));
    return false;
  }
  return true;
}

bool TMirDiaryStore::LoadOwnDiary() {
  TMDiaryBase& doc = *model_.Diary;
  TNbModule& nb = *model_.NbDiary;
  LoadDocumentFile(doc, DiaryFile());
  const bool whole = !doc.LoadFailed && !doc.LoadDamaged;
  if (!whole) {
    // The file stays as it is (the next save keeps it aside first), and so does its password
    // file: the Safe text of a diary that was not read whole says nothing about the password.
    qWarning("The diary was not read whole: %s", qUtf8Printable(doc.LoadError));
  } else if (!WritePasswordFile(DiaryPasswordFile(), doc.Safe)) {
    qWarning("Cannot write or delete %s", qUtf8Printable(DiaryPasswordFile()));
  }
  TNbData& section = *nb.Data().Items(0);
  for (int i = 0; i < doc.Data().Count(); ++i) {
    const TKVXBDiaryItem& item = *doc.Data()[i];
    std::unique_ptr<TNbObject> entry = nb.Data().NewObject();
    entry->SetData(item.idx, item.Title, item.Lines, item.Color, false);
    section.Add(std::move(entry));
  }
  section.Modified = false;
  nb.RefreshColors();
  emit model_.Changes.DiaryListChanged();
  return whole;
}

bool TMirDiaryStore::SaveOwnDiary() {
  if (model_.Ini->NotavelDiary) return true;
  TMDiaryBase& doc = *model_.Diary;
  TNbModule& nb = *model_.NbDiary;
  nb.Post();
  doc.Data().Clear();
  const TNbData& section = *nb.Data().Items(0);
  for (int i = 0; i < section.Count(); ++i) {
    const TNbObject& entry = *section.Items(i);
    TKVXBDiaryItem* item = doc.Data().Add();
    item->idx = entry.ID;
    item->Title = entry.Title;
    item->Lines = entry.Text;
    item->Color = entry.Color;
  }
  if (!SaveDocumentReported(doc, DiaryFile(), true)) return false;
  QString reason;
  if (WritePasswordFile(DiaryPasswordFile(), doc.Safe, &reason)) return true;
  ReportSaveFailure(DiaryPasswordFile(), reason);
  return false;
}

bool TMirDiaryStore::SwitchDiary(bool Linked) {
  // The user's own command: what cannot be saved is told once when it ends.
  const TSaveReport report;
  Tini& ini = *model_.Ini;
  if (Linked == ini.NotavelDiary) return true;
  if (!ini.NotavelDiary && !SaveOwnDiary()) return false;
  ini.NotavelDiary = Linked;
  ini.SaveSettings();
  LoadDiary();
  return true;
}

namespace {

// The user's own temporary folder when TMPDIR names one, else the one that outlasts a restart,
// then the system's.
QStringList RescueBases() {
  if (!qEnvironmentVariableIsEmpty("TMPDIR")) return {QDir::tempPath()};
  return {QStringLiteral("/var/tmp"), QDir::tempPath()};
}

QString RescueName() { return QStringLiteral("mirova-calendar-%1").arg(::getuid()); }

}  // namespace

QString RescueFolder() {
  const QString name = RescueName();
  for (const QString& base : RescueBases()) {
    const QString folder = base + QLatin1Char('/') + name;
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) {
      if (::mkdir(path.constData(), 0700) != 0) continue;
      return folder + QLatin1Char('/');
    }
    // Someone else's folder or a link under that name is not ours to write into.
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) continue;
    ::chmod(path.constData(), 0700);
    return folder + QLatin1Char('/');
  }
  return {};
}

QStringList RescuedFiles() {
  QStringList files;
  const QString name = RescueName();
  for (const QString& base : RescueBases()) {
    const QDir dir(base + QLatin1Char('/') + name);
    const QFileInfo info(dir.path());
    if (!info.isDir() || info.isSymLink() || info.ownerId() != ::getuid()) continue;
    for (const QString& f : dir.entryList({QStringLiteral("*.dat")}, QDir::Files)) files << dir.filePath(f);
  }
  return files;
}

QString TMirDiaryStore::KeepUnsaved(const QList<TSaveFailure>& Failures) {
  const std::pair<QString, TKVXSkinIni*> documents[] = {
      {DiaryFile(), model_.Diary}, {QuickNotesFile(), model_.Notes}, {HolidaysFile(), model_.Holidays}};
  QString folder;
  bool kept = false;
  for (const TSaveFailure& f : Failures)
    for (const auto& [file, doc] : documents) {
      if (f.FileName != file) continue;
      if (folder.isEmpty()) folder = RescueFolder();
      const QString copy = folder + QFileInfo(file).fileName();
      try {
        if (folder.isEmpty()) throw EFCreateError(QStringLiteral("No folder to keep it in"));
        doc->SaveToFile(copy, true);
        kept = true;
        qWarning("%s could not be saved; it was kept as %s", qUtf8Printable(file), qUtf8Printable(copy));
      } catch (const EKVError& e) {
        qWarning("%s could not be saved nor kept elsewhere: %s", qUtf8Printable(file), qUtf8Printable(e.Message()));
      }
    }
  return kept ? folder : QString();
}

bool TMirDiaryStore::SaveDiary() {
  const bool diary = SaveOwnDiary();
  const bool notes = SaveQuickNotes(model_);
  return diary && notes;
}

// ---------------------------------------------------------------------------------------------
// Holidays

void LoadBuiltinHolidays(TMHolidayBase& Doc) {
  Doc.OnVerify.Set(&HolidayBaseVerify);
  QByteArray builtin = MLang ? MLang->HolidayStream.Bytes() : BuiltinDataBlock(QStringLiteral("HolidayStream"));
  QBuffer stream(&builtin);
  stream.open(QIODevice::ReadOnly);
  Doc.LoadFromStream(stream);
}

bool IsBuiltinHoliday(const TKVXBHolidayItem& Item, const TMHolidayBase& Builtin) {
  for (int i = 0; i < Builtin.Data().Count(); ++i) {
    const TKVXBHolidayItem& b = *Builtin.Data()[i];
    if (b.idx == Item.idx && b.Title == Item.Title && b.Schedule == Item.Schedule) return true;
  }
  return false;
}

bool LoadHolidayDocument(TMirModel& Model) {
  TMHolidayBase& doc = *Model.Holidays;
  doc.OnVerify.Set(&HolidayBaseVerify);
  bool fileFailed = false;
  if (QFile::exists(HolidaysFile())) {
    LoadDocumentFile(doc, HolidaysFile());
    if (!doc.LoadFailed) {
      doc.RebuildIndex();
      return true;
    }
    fileFailed = true;
    qWarning("The holidays were not read: %s", qUtf8Printable(doc.LoadError));
  }
  LoadBuiltinHolidays(doc);
  // The user's file that could not be read must be kept aside before anything is saved over it.
  if (fileFailed) doc.LoadFailed = true;
  doc.RebuildIndex();
  return !fileFailed;
}

bool SaveHolidayDocument(TMirModel& Model) { return SaveDocumentReported(*Model.Holidays, HolidaysFile(), true); }
