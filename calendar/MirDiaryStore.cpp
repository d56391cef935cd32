#include "calendar/MirDiaryStore.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <future>
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
#include "foundation/KVSaveReport.h"
#include "foundation/KVZlib.h"
#include "foundation/KVXSkin.h"
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

namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The line that starts at From: where its text begins and ends (blanks left out) and where the
// next line starts.
struct TTextLine {
  qsizetype begin, end, next;
};
TTextLine LineAt(QByteArrayView text, qsizetype from) {
  qsizetype next = text.indexOf('\n', from);
  next = next < 0 ? text.size() : next + 1;
  qsizetype b = from, e = next;
  while (b < e && (Blank(text[b]) || text[b] == '\n')) ++b;
  while (e > b && (Blank(text[e - 1]) || text[e - 1] == '\n')) --e;
  return {b, e, next};
}

// The line holding At starts with blanks only before At.
qsizetype LineStartBefore(QByteArrayView text, qsizetype at) {
  qsizetype i = at;
  while (i > 0 && Blank(text[i - 1])) --i;
  return i == 0 || text[i - 1] == '\n' ? i : -1;
}

}  // namespace

namespace {

// Looks through a diary's object text as it comes, for the document's head up to its first item
// and the items of the days First to Last.
class TDayChooser {
 public:
  TDayChooser(QByteArray first, QByteArray last) : first_(std::move(first)), last_(std::move(last)) {}

  // Looks at Text (what was kept of the last call's and what came since) from where the last call
  // stopped. Whole: nothing follows Text. Returns where Text must be kept from for the next call
  // (a line's start), or -1 when an item never ends.
  qsizetype Scan(QByteArrayView text, bool whole) {
    constexpr QByteArrayView kItem("item"), kIdx("idx = '");
    // A line is looked at only once it is there whole.
    const auto complete = [&](qsizetype from, const TTextLine& l) {
      return whole || (l.next > from && text[l.next - 1] == '\n');
    };
    // Until the next lines are there: the hit at At is looked at again from its line on.
    const auto later = [&](qsizetype at) {
      const qsizetype line = text.first(at).lastIndexOf('\n') + 1;
      const qsizetype keep = head_.isNull() ? 0 : line;
      from_ = line - keep;
      return keep;
    };
    // glibc's memmem passes over tens of megabytes several times faster than a general search.
    const auto findItem = [&](qsizetype from) -> qsizetype {
      const void* hit = ::memmem(text.data() + from, size_t(text.size() - from), kItem.data(), size_t(kItem.size()));
      return hit ? static_cast<const char*>(hit) - text.data() : -1;
    };
    qsizetype at = findItem(from_);
    for (; at >= 0; at = findItem(at + kItem.size())) {
      const qsizetype start = LineStartBefore(text, at);
      const TTextLine line = LineAt(text, at);
      if (!complete(at, line)) return later(at);
      if (start < 0 || line.begin != at || line.end != at + kItem.size()) continue;  // a word in a text
      if (head_.isNull()) head_ = text.first(start).toByteArray();
      // Most items name their day first, as the program writes them; any other is read to see.
      const TTextLine idx = LineAt(text, line.next);
      if (!complete(line.next, idx)) return later(at);
      const QByteArrayView idLine = text.sliced(idx.begin, idx.end - idx.begin);
      const bool dated = idLine.size() == kIdx.size() + 11 && idLine.startsWith(kIdx) && idLine.endsWith('\'');
      if (dated) {
        const QByteArrayView key = idLine.sliced(kIdx.size(), 10);
        if (key < QByteArrayView(first_) || key > QByteArrayView(last_)) continue;
      }
      // The item up to its end line; the collection's close is written after the last one chosen.
      TTextLine end = idx;
      for (qsizetype p = line.next; p < text.size(); p = end.next) {
        end = LineAt(text, p);
        if (!complete(p, end)) return later(at);
        const QByteArrayView word = text.sliced(end.begin, end.end - end.begin);
        if (word == "end" || word == "end>") break;
        if (end.next >= text.size()) {
          if (whole) return -1;
          return later(at);
        }
      }
      chosen_ += text.sliced(start, end.begin - start);
      chosen_ += "end\n";
    }
    // The last line may be cut: looked at again with what follows.
    return later(text.size());
  }

  // The head and the chosen items as a document; empty when none was chosen.
  QByteArray Document() {
    if (chosen_.isEmpty()) return {};
    chosen_.chop(1);
    QByteArray doc = head_;
    doc += chosen_;
    doc += ">\nend\n";
    return doc;
  }

 private:
  QByteArray first_, last_;
  QByteArray head_;  // null until the first item is found
  QByteArray chosen_;
  qsizetype from_ = 0;  // where the next call looks from
};

// What is inflated at a time: it stays in the processor's cache while it is looked through.
constexpr qsizetype kDiaryPiece = 256 * 1024;

// The stored file as the read-ahead sees it: it changed when any of this did.
struct TDiaryStamp {
  bool exists = false;
  qint64 size = 0, modified = 0;
  quint64 inode = 0;
  bool operator==(const TDiaryStamp&) const = default;
};

TDiaryStamp StampOf(const QString& FileName) {
  struct stat st {};
  if (::stat(QFile::encodeName(FileName).constData(), &st) != 0) return {};
  return {true, qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, quint64(st.st_ino)};
}

// The document's head and the items of the days From to To, as object text; empty when the file
// holds none or is not there; nothing when it cannot be read so. MostText: the most text the
// diary document takes from the file. Touches nothing but the file: it runs on a thread of its own.
std::optional<QByteArray> ChooseDiaryDays(const QString& FileName, const QDate& From, const QDate& To, qint64 MostText,
                                          qint64 MostPlain) {
  QFile file(FileName);
  if (!file.exists()) return QByteArray();
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  TDayChooser chooser(DateKey(From).toLatin1(), DateKey(To).toLatin1());
  try {
    if (file.peek(6) == "object") {
      if (file.size() > MostPlain) return std::nullopt;
      const QByteArray text = file.readAll();
      if (chooser.Scan(text, true) < 0) return std::nullopt;
      return chooser.Document();
    }
    TZInflater inflater(file, file.size(), MostText);
    QByteArray buffer(kDiaryPiece, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
      if (buffer.size() - used < kDiaryPiece) buffer.resize(used + kDiaryPiece);
      used += inflater.Read(buffer.data() + used, buffer.size() - used);
      const bool whole = inflater.AtEnd();
      const qsizetype keep = chooser.Scan(QByteArrayView(buffer.constData(), used), whole);
      if (keep < 0) return std::nullopt;
      if (whole) break;
      std::memmove(buffer.data(), buffer.constData() + keep, size_t(used - keep));
      used -= keep;
    }
  } catch (const EKVError&) {
    // Cut short, refused or no compressed text: only the whole load tells what it holds.
    return std::nullopt;
  }
  return chooser.Document();
}

// The entries of the days From to To in the text ChooseDiaryDays gave.
std::optional<QHash<QString, QString>> DaysOfChosen(const std::optional<QByteArray>& Chosen, const QDate& From,
                                                   const QDate& To) {
  if (!Chosen) return std::nullopt;
  QHash<QString, QString> days;
  if (Chosen->isEmpty()) return days;
  // Read by the document's own parser, so each is taken exactly as a whole load takes it.
  TMDiaryBase doc;
  doc.OnVerify.Set(&DiaryBaseVerify);
  QByteArray text = *Chosen;
  QBuffer buffer(&text);
  buffer.open(QIODevice::ReadOnly);
  doc.LoadFromStream(buffer);
  if (doc.LoadFailed || doc.LoadDamaged) return std::nullopt;
  const QString firstKey = DateKey(From), lastKey = DateKey(To);
  for (int i = 0; i < doc.Data().Count(); ++i) {
    const TKVXBDiaryItem& item = *doc.Data()[i];
    const bool inRange = item.idx.size() == firstKey.size() && item.idx >= firstKey && item.idx <= lastKey;
    if (inRange && !days.contains(item.idx)) days.insert(item.idx, item.Lines);
  }
  return days;
}

// The most text of a diary file of Size bytes: compressed and plain, as the diary document takes it.
std::pair<qint64, qint64> DiaryTextLimits(qint64 Size) {
  const TMDiaryBase doc;
  return {doc.MostInflatedText(Size), doc.MaxTextSize()};
}

}  // namespace

std::optional<QHash<QString, QString>> ReadDiaryDays(const QString& FileName, const QDate& From, const QDate& To) {
  const auto [mostText, mostPlain] = DiaryTextLimits(QFileInfo(FileName).size());
  return DaysOfChosen(ChooseDiaryDays(FileName, From, To, mostText, mostPlain), From, To);
}

struct TDiaryDaysAhead {
  QString file;
  QDate from, to;
  TDiaryStamp stamp;
  std::future<std::optional<QByteArray>> chosen;
};

void TMirDiaryStore::ReadDaysAhead(const QDate& From, const QDate& To) {
  daysAhead_.reset();
  auto ahead = std::make_unique<TDiaryDaysAhead>();
  ahead->file = DiaryFile();
  ahead->from = From;
  ahead->to = To;
  ahead->stamp = StampOf(ahead->file);
  const std::pair<qint64, qint64> most = DiaryTextLimits(ahead->stamp.size);
  ahead->chosen = std::async(std::launch::async, [file = ahead->file, From, To, most] {
    return ChooseDiaryDays(file, From, To, most.first, most.second);
  });
  daysAhead_ = std::move(ahead);
}

std::optional<QHash<QString, QString>> TMirDiaryStore::DaysAhead(const QDate& From, const QDate& To) {
  const std::unique_ptr<TDiaryDaysAhead> ahead = std::move(daysAhead_);
  if (!ahead) return ReadDiaryDays(DiaryFile(), From, To);
  std::optional<QByteArray> chosen = ahead->chosen.get();
  // Begun for other days, or the file was replaced meanwhile (the thread may have read either).
  if (ahead->file != DiaryFile() || ahead->from != From || ahead->to != To || !(ahead->stamp == StampOf(ahead->file)))
    return ReadDiaryDays(DiaryFile(), From, To);
  return DaysOfChosen(chosen, From, To);
}

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
  // What reading the file took (its text, the parse) lies freed in the allocator's heap, many
  // times the diary's own size: given back.
  KVGiveBackFreedMemory();
  // The first search then finds the entries' plain text read already. Behind a hidden Diary page
  // it is prepared when the page shows: a diary's search text is most of what it takes besides.
  if (nb.SearchShown()) nb.PrepareSearch();
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
  // A save still on its way would land after what is read now; a read ahead nobody took is over.
  WaitForSaves();
  daysAhead_.reset();
  LoadDocumentFile(doc, DiaryFile());
  KVRenewThreadCache();
  storedSafe_ = doc.Safe;
  diaryWriteFailed_ = false;
  const bool whole = !doc.LoadFailed && !doc.LoadDamaged;
  if (!whole) {
    // The file stays as it is (the next save keeps it aside first), and so does its password
    // file: the Safe text of a diary that was not read whole says nothing about the password.
    qWarning("The diary was not read whole: %s", qUtf8Printable(doc.LoadError));
  } else if (!WritePasswordFile(DiaryPasswordFile(), doc.Safe)) {
    qWarning("Cannot write or delete %s", qUtf8Printable(DiaryPasswordFile()));
  }
  TNbData& section = *nb.Data().Items(0);
  const int first = section.Count();
  // Copies of their own: the items' keys and titles share the parse's characters, which lie
  // among what the parse has freed. The items take the copies only once all are made, as memory
  // freed in between would serve the next copy. Entries of one title share one copy: many keep
  // the title they were given.
  {
    QHash<QString, QString> titles;
    for (int i = 0; i < doc.Data().Count(); ++i) {
      const TKVXBDiaryItem& item = *doc.Data()[i];
      auto title = titles.constFind(item.Title);
      if (title == titles.constEnd())
        title = titles.insert(item.Title, QString(item.Title.constData(), item.Title.size()));
      std::unique_ptr<TNbObject> entry = nb.Data().NewObject();
      entry->SetData(QString(item.idx.constData(), item.idx.size()), *title, item.Lines, item.Color, false);
      section.Add(std::move(entry));
    }
  }
  for (int i = 0; i < doc.Data().Count(); ++i) {
    TKVXBDiaryItem& item = *doc.Data()[i];
    item.idx = section.Items(first + i)->ID;
    item.Title = section.Items(first + i)->Title;
  }
  // What was just let go of lies in the parse's arena: the list's captions made next must not
  // take it.
  KVRenewThreadCache();
  section.Modified = false;
  nb.RefreshColors();
  emit model_.Changes.DiaryListChanged();
  return whole;
}

namespace {

// Texts taken from one another share their characters: most are told equal without a look.
bool SameText(const QString& a, const QString& b) {
  return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}
bool SameText(const TKVText& a, const TKVText& b) {
  return (a.Identity() == b.Identity() && a.size() == b.size()) || a == b;
}

void CopyEntries(const TNbData& Section, TMDiaryBase& Doc) {
  Doc.Data().Clear();
  for (int i = 0; i < Section.Count(); ++i) {
    const TNbObject& entry = *Section.Items(i);
    TKVXBDiaryItem* item = Doc.Data().Add();
    item->idx = entry.ID;
    item->Title = entry.Title;
    item->Lines = entry.Text;
    item->Color = entry.Color;
  }
}

}  // namespace

TMirDiaryStore::~TMirDiaryStore() { saves_.Wait(); }

void TMirDiaryStore::WaitForSaves() { saves_.Wait(); }

bool TMirDiaryStore::DiaryOnDisk() const {
  const TMDiaryBase& doc = *model_.Diary;
  if (doc.LoadFailed || doc.LoadDamaged || diaryWriteFailed_ || doc.Safe != storedSafe_) return false;
  const TNbData& section = *model_.NbDiary->Data().Items(0);
  if (section.Count() != doc.Data().Count()) return false;
  for (int i = 0; i < section.Count(); ++i) {
    const TNbObject& entry = *section.Items(i);
    const TKVXBDiaryItem& item = *doc.Data()[i];
    if (entry.Color != item.Color || !SameText(entry.ID, item.idx) || !SameText(entry.Title, item.Title) ||
        !SameText(entry.Text, item.Lines))
      return false;
  }
  return QFileInfo::exists(DiaryFile());
}

bool TMirDiaryStore::SaveOwnDiary(bool Wait) {
  if (model_.Ini->NotavelDiary) return true;
  TMDiaryBase& doc = *model_.Diary;
  TNbModule& nb = *model_.NbDiary;
  nb.Post();
  if (DiaryOnDisk()) return true;
  const TNbData& section = *nb.Data().Items(0);
  CopyEntries(section, doc);
  const QString file = DiaryFile(), passwordFile = DiaryPasswordFile();
  if (doc.LoadFailed || doc.LoadDamaged) {
    try {
      KeepFileAside(file);
    } catch (const EKVError& e) {
      qWarning("%s", qUtf8Printable(e.Message()));
      ReportSaveFailure(file, e.Reason());
      return false;
    }
    doc.LoadFailed = false;
    doc.LoadDamaged = false;
  }
  storedSafe_ = doc.Safe;
  diaryWriteFailed_ = false;
  // The saving thread writes a copy of its own; the document goes on serving the windows.
  auto copy = std::make_shared<TMDiaryBase>();
  copy->Safe = doc.Safe;
  CopyEntries(section, *copy);
  auto failures = std::make_shared<QList<TSaveFailure>>();
  saves_.Run(
      [doc = copy.get(), failures, file, passwordFile] {
        try {
          QByteArray text;
          QBuffer buffer(&text);
          buffer.open(QIODevice::WriteOnly);
          doc->SaveToStream(buffer, false);
          buffer.close();
          // A large diary at zlib's default level would take most of a second: the end of the
          // session waits for this write.
          SafeSaveChangedBytes(file, ZCompress(text, kZFastest), true);
        } catch (const EKVError& e) {
          qWarning("%s", qUtf8Printable(e.Message()));
          failures->append({file, e.Reason()});
          return;
        } catch (const std::exception& e) {
          failures->append({file, QString::fromLocal8Bit(e.what())});
          return;
        }
        QString reason;
        if (!WritePasswordFile(passwordFile, doc->Safe, &reason)) failures->append({passwordFile, reason});
      },
      [this, copy, failures, report = TSaveReport::Current()]() mutable {
        if (failures->isEmpty()) return;
        diaryWriteFailed_ = true;
        model_.SaveFailed = true;
        for (const TSaveFailure& f : *failures) {
          if (report) report->Add(f);
          else qWarning("Cannot save %s: %s", qUtf8Printable(f.FileName), qUtf8Printable(f.Reason));
        }
        // Told now that the write is over, unless the command that saved is still open.
        report.reset();
      });
  if (!Wait) return true;
  WaitForSaves();
  return !diaryWriteFailed_;
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

bool TMirDiaryStore::SaveDiary(bool Wait) {
  const bool diary = SaveOwnDiary(Wait);
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
