// The user's documents against what reading them costs: files of under 1 MB that would build
// gigabytes are refused whole and kept; what the program saves, at each of its limits, it reads
// back as it was; a diary of 100,000 long entries saves and loads.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <functional>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirModel.h"
#include "calendar/MirNotesStore.h"
#include "foundation/KVSaveReport.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVZlib.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"

namespace {

QString FreshDir(const QString& name) {
  const QString d = kvtest::TestRoot() + "/budget/" + name;
  QDir(d).removeRecursively();
  QDir().mkpath(d);
  return d;
}

class FormComponent : public TComponent {
 public:
  FormComponent() { SetName(kMainFormName); }
  bool IsForm() const override { return true; }
};

void AcceptAll(TKVXSkinSafeIni& d) { d.OnVerify.Set([](TPersistent*, const QString&, bool& a) { a = true; }); }

QByteArray Head(const char* component, const char* cls, const QString& type) {
  return QByteArray("object ") + component + ": " + cls + "\r\n  DocType = '" + type.toLatin1() + "'\r\n  DocVer = 1\r\n";
}

QByteArray Repeat(const QByteArray& piece, qint64 n) {
  QByteArray out;
  out.reserve(piece.size() * n);
  for (qint64 i = 0; i < n; ++i) out += piece;
  return out;
}

// The messages the load shows, answered.
struct Told {
  QStringList messages;
  Told() {
    SetMessageBoxAnswerer([this](const QString& m, const QString&, int, const TKVButtons&) {
      messages << m;
      return 1;
    });
  }
  ~Told() { SetMessageBoxAnswerer(nullptr); }
};

// Loads File into a document that holds something already: the file is refused whole, the
// document keeps what it held, the user is told once, and the next save keeps the file aside.
void ExpectRefusedAndKept(TKVXSkinSafeIni& Doc, const QString& File, const std::function<bool()>& Kept,
                          const std::function<void()>& Load) {
  const QByteArray stored = kvtest::ReadFile(File);
  EXPECT_LT(stored.size(), 1000 * 1000);
  Told told;
  Load();
  EXPECT_TRUE(Doc.LoadFailed) << File.toStdString();
  EXPECT_TRUE(Doc.LoadTooLarge);
  EXPECT_FALSE(Doc.LoadDamaged);
  EXPECT_FALSE(Doc.LoadError.isEmpty());
  EXPECT_TRUE(Kept()) << File.toStdString();
  ASSERT_EQ(told.messages.size(), 1);
  EXPECT_TRUE(told.messages[0].contains(QFileInfo(File).fileName())) << told.messages[0].toStdString();
  SaveDocumentFile(Doc, File, true);
  EXPECT_EQ(kvtest::ReadFile(File + ".bak"), stored);
}

}  // namespace

TEST(UserDocumentBudget, FilesUnderAMegabyteThatWouldBuildGigabytesAreRefusedWholeAndKept) {
  const QString dir = FreshDir("hostile");
  {
    // Five million empty diary entries.
    const QString file = dir + "/mdiary.dat";
    kvtest::WriteFile(file, ZCompress(Head("DiaryBase", "TMDiaryBase", kDiaryDocType) + "  Data = <" +
                                      Repeat(" item end", 5000000) + ">\r\nend\r\n"));
    TMDiaryBase diary;
    AcceptAll(diary);
    diary.Data().Add()->idx = "2024/01/01";
    ExpectRefusedAndKept(
        diary, file, [&] { return diary.Data().Count() == 1 && diary.Data()[0]->idx == "2024/01/01"; },
        [&] { LoadDocumentFile(diary, file); });
  }
  {
    // Ten million empty quick-notes lines, read as the program reads the quick notes.
    const kvtest::ScopedOverride<QString> exe{ExeDir, dir + "/"};
    const QString file = QuickNotesFile();
    kvtest::WriteFile(file, ZCompress(Head("NotesBase", "TMNotesBase", kNotesDocType) + "  QuickNote.Strings = (" +
                                      Repeat(" ''", 10000000) + ")\r\nend\r\n"));
    FormComponent form;
    TMirModel model(form);
    model.Notes->QuickNote.SetText("Buy milk");
    ExpectRefusedAndKept(
        *model.Notes, file, [&] { return model.Notes->QuickNote.Text() == "Buy milk\r\n"; },
        [&] { EXPECT_FALSE(LoadQuickNotes(model)); });
  }
  // 55,000 empty holidays, each a row of the holidays page; a holiday title of almost 16 MiB.
  const QByteArray holidayTexts[] = {
      "  Data = <" + Repeat(" item end", 55000) + ">\r\nend\r\n",
      "  Data = <\r\n    item\r\n      Title = '" + QByteArray(16 * 1024 * 1024 - 256, 'x') + "'\r\n    end>\r\nend\r\n",
  };
  for (const QByteArray& body : holidayTexts) {
    const QString file = dir + "/mholiday.dat";
    QFile::remove(file + ".bak");
    kvtest::WriteFile(file, ZCompress(Head("HolidayBase", "TMHolidayBase", kHolidaysDocType) + body));
    TMHolidayBase holidays;
    AcceptAll(holidays);
    holidays.Data().Add()->Title = "New Year";
    ExpectRefusedAndKept(
        holidays, file, [&] { return holidays.Data().Count() == 1 && holidays.Data()[0]->Title == "New Year"; },
        [&] { LoadDocumentFile(holidays, file); });
  }
}

namespace {

// The largest n (up to Most) for which Make(n) gives a document the save takes.
template <class Doc>
qsizetype LargestSaved(Doc& doc, qsizetype Most, const std::function<void(Doc&, qsizetype)>& Make) {
  const auto saves = [&](qsizetype n) {
    Make(doc, n);
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    try {
      doc.SaveToStream(b, false);
      return true;
    } catch (const ETextBudgetError&) {
      return false;
    }
  };
  qsizetype lo = 0, hi = Most;
  while (lo < hi) {
    const qsizetype mid = (lo + hi + 1) / 2;
    if (saves(mid))
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

// At its largest the document is saved, compressed as the program saves it, and reads back
// equal (Same); one step more is not saved: the old file stays whole and the user's save report
// names the file and why.
template <class Doc>
qsizetype ExpectEachLimitHolds(const QString& File, qsizetype Most, const std::function<void(Doc&, qsizetype)>& Make,
                               const std::function<bool(const Doc&, const Doc&)>& Same) {
  Doc doc;
  const qsizetype most = LargestSaved<Doc>(doc, Most, Make);
  EXPECT_LT(most, Most) << "no limit found";
  Make(doc, most);
  if (!SaveDocumentReported(doc, File, true)) {
    ADD_FAILURE() << "the largest document was not saved";
    return most;
  }
  const QByteArray saved = kvtest::ReadFile(File);
  Doc back;
  AcceptAll(back);
  LoadDocumentFile(back, File);
  EXPECT_FALSE(back.LoadFailed) << back.LoadError.toStdString();
  EXPECT_FALSE(back.LoadDamaged);
  EXPECT_TRUE(Same(doc, back)) << File.toStdString();

  Make(doc, most + 1);
  const TSaveReport report;
  EXPECT_FALSE(SaveDocumentReported(doc, File, true));
  const QList<TSaveFailure> failures = TSaveReport::Current()->Take();
  EXPECT_EQ(failures.size(), 1);
  if (failures.isEmpty()) return most;
  EXPECT_EQ(failures[0].FileName, File);
  EXPECT_TRUE(failures[0].Reason.contains("read back")) << failures[0].Reason.toStdString();
  EXPECT_EQ(kvtest::ReadFile(File), saved);
  return most;
}

bool SameHolidays(const TMHolidayBase& a, const TMHolidayBase& b) {
  if (a.Data().Count() != b.Data().Count()) return false;
  for (int i = 0; i < a.Data().Count(); ++i)
    if (a.Data()[i]->Title != b.Data()[i]->Title || a.Data()[i]->idx != b.Data()[i]->idx ||
        a.Data()[i]->Schedule != b.Data()[i]->Schedule)
      return false;
  return true;
}

QString Pattern(qsizetype n) {
  QString s(n, 'a');
  for (qsizetype i = 0; i < n; ++i) s[i] = QChar(char16_t('a' + (i * 7 + i / 13) % 26));
  return s;
}

}  // namespace

TEST(UserDocumentBudget, HolidaysAndEventsAtTheMostTheyHoldAreSavedAndReadBackEqual) {
  const QString dir = FreshDir("limits");
  // A year of holidays and one whose title fills what the document may hold.
  ExpectEachLimitHolds<TMHolidayBase>(
      dir + "/mholiday.dat", TMHolidayBase().MaxTextSize() + 1,
      [](TMHolidayBase& d, qsizetype n) {
        if (d.Data().Count() == 0)
          for (int i = 0; i < 365; ++i) {
            TKVXBHolidayItem* h = d.Data().Add();
            h->idx = QDate(2024, 1, 1).addDays(i).toString("yyyy/MM/dd");
            h->Title = QString("Holiday %1").arg(i);
            h->Schedule = schYearly;
          }
        d.Data()[0]->Title = Pattern(n);
      },
      SameHolidays);
  // As many holidays as the holidays page may show from a file of their size.
  const qsizetype rows = ExpectEachLimitHolds<TMHolidayBase>(
      dir + "/rows.dat", 100000,
      [](TMHolidayBase& d, qsizetype n) {
        d.Data().Clear();
        for (qsizetype i = 0; i < n; ++i) {
          TKVXBHolidayItem* h = d.Data().Add();
          h->idx = QDate(2000, 1, 1).addDays(int(i)).toString("yyyy/MM/dd");
          h->Title = QString("Holiday %1").arg(i);
          h->Schedule = schYearly;
        }
      },
      SameHolidays);
  EXPECT_GT(rows, 2000);
  ExpectEachLimitHolds<TMEventBase>(
      dir + "/events.dat", TMEventBase().MaxTextSize() + 1, [](TMEventBase& d, qsizetype n) {
        if (d.Data().Count() == 0) d.Data().Add()->Caption = "Dentist";
        d.Data()[0]->Note = Pattern(n);
      },
      [](const TMEventBase& a, const TMEventBase& b) {
        return b.Data().Count() == 1 && b.Data()[0]->Note == a.Data()[0]->Note && b.Data()[0]->Caption == "Dentist";
      });
}

TEST(UserDocumentBudget, ThousandsOfAlikeEntriesAreSavedSoThatTheyReadBack) {
  // So alike that compressed they would cost more than their few bytes may: saved plain.
  const QString dir = FreshDir("alike");
  TMDiaryBase diary;
  for (int i = 0; i < 50000; ++i) {
    TKVXBDiaryItem* item = diary.Data().Add();
    item->idx = QDate(1900, 1, 1).addDays(i).toString("yyyy/MM/dd");
    item->Lines = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Walk the dog, water the plants\\par}";
  }
  FormComponent form;
  TMirModel model(form);
  for (int i = 0; i < 100000; ++i) model.Notes->QuickNote << "Walk the dog, water the plants\\par";
  const QString diaryFile = dir + "/mdiary.dat";
  const QString notesFile = dir + "/mnotes.dat";
  ASSERT_TRUE(SaveDocumentReported(diary, diaryFile, true));
  ASSERT_TRUE(SaveDocumentReported(*model.Notes, notesFile, true));
  for (const QString& file : {diaryFile, notesFile}) {
    const QByteArray bytes = kvtest::ReadFile(file);
    EXPECT_TRUE(bytes.startsWith("object")) << file.toStdString();
  }
  TMDiaryBase back;
  AcceptAll(back);
  LoadDocumentFile(back, diaryFile);
  EXPECT_FALSE(back.LoadFailed) << back.LoadError.toStdString();
  ASSERT_EQ(back.Data().Count(), 50000);
  for (int i = 0; i < 50000; i += 997) {
    EXPECT_EQ(back.Data()[i]->idx, diary.Data()[i]->idx);
    EXPECT_EQ(back.Data()[i]->Lines, diary.Data()[i]->Lines);
  }
  TMNotesBase notes;
  AcceptAll(notes);
  LoadDocumentFile(notes, notesFile);
  EXPECT_FALSE(notes.LoadFailed) << notes.LoadError.toStdString();
  EXPECT_EQ(notes.QuickNote.size(), 100000);
  // A diary of a few such entries stays compressed.
  TMDiaryBase few;
  for (int i = 0; i < 50; ++i) few.Data().Add()->Lines = diary.Data()[0]->Lines;
  ASSERT_TRUE(SaveDocumentReported(few, diaryFile, true));
  EXPECT_FALSE(kvtest::ReadFile(diaryFile).startsWith("object"));
}

TEST(UserDocumentBudget, ADiaryOfAHundredThousandEntriesOf2KBIsSavedAndReadBack) {
  // About 300 MB of document text in a file of some 20 MB.
  const QString dir = FreshDir("large");
  const QString file = dir + "/mdiary.dat";
  QRandomGenerator rng(5);
  static const char* const kWords[] = {"meeting", "dentist", "garden", "letter", "birthday", "train", "invoice",
                                       "holiday", "coffee", "library", "concert", "doctor", "market", "friend"};
  QStringList pool;
  for (int k = 0; k < 64; ++k) {
    QString body;
    while (body.size() < 2200) {
      body += "Note about the ";
      for (int w = 0; w < 6; ++w) body += QLatin1String(kWords[rng.bounded(14)]) + QLatin1Char(' ');
      body += "with \\b bold\\b0  and \\cf1 colour\\cf0  words.\\par\r\n";
    }
    pool << "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
            "{\\colortbl ;\\red0\\green0\\blue255;}\r\n\\viewkind4\\uc1\\pard\\f0\\fs20 " +
                body + "}\r\n";
  }
  {
    TMDiaryBase diary;
    for (int i = 0; i < 100000; ++i) {
      TKVXBDiaryItem* item = diary.Data().Add();
      item->idx = QDate(1800, 1, 1).addDays(i).toString("yyyy/MM/dd");
      item->Lines = pool[i % pool.size()];
    }
    ASSERT_TRUE(SaveDocumentReported(diary, file, true));
  }
  EXPECT_LT(QFileInfo(file).size(), 64 * 1024 * 1024);
  TMDiaryBase back;
  AcceptAll(back);
  LoadDocumentFile(back, file);
  EXPECT_FALSE(back.LoadFailed) << back.LoadError.toStdString();
  ASSERT_EQ(back.Data().Count(), 100000);
  int same = 0;
  for (int i = 0; i < 100000; ++i)
    same += back.Data()[i]->Lines == pool[i % pool.size()] &&
            back.Data()[i]->idx == QDate(1800, 1, 1).addDays(i).toString("yyyy/MM/dd");
  EXPECT_EQ(same, 100000);
}
