#include "calendar/MirDiaryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirModel.h"
#include "calendar/MirNotesStore.h"
#include "calendar/encr.h"
#include "calendar/iniData.h"
#include "controls/KVNbModule.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVZlib.h"
#include "platform/KVClock.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/MainFormComponent.h"
#include "tests/common/TestUtil.h"

namespace {

using kvtest::FormComponent;

const QString kRtf1 = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Dentist at nine \\'e9\\par\r\n}";
const QString kRtf2 = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\b Garden\\b0  day\\par\r\n}";

QStringList Entries(TMirModel& m) {
  QStringList out;
  const TNbData& s = *m.NbDiary->Data().Items(0);
  for (int i = 0; i < s.Count(); ++i)
    out << s.Items(i)->ID + "|" + s.Items(i)->Title + "|" + QString::number(s.Items(i)->Color) + "|" +
               s.Items(i)->Text;
  return out;
}

// One program start: a model with its store, counting what the windows were asked to do.
struct Program {
  FormComponent form;
  TMirModel model{form};
  int showAll = 0, loaded = 0, notesLoaded = 0;
  TMirDiaryStore store{model};
  Program() {
    QObject::connect(&model.Changes, &TMirModelChanges::DiaryListChanged, [this] { ++showAll; });
    QObject::connect(&model.Changes, &TMirModelChanges::DiaryLoaded, [this] { ++loaded; });
    QObject::connect(&model.Changes, &TMirModelChanges::QuickNotesLoaded, [this] { ++notesLoaded; });
  }
};

class DiaryStore : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  kvtest::ScopedOverride<QString> exe{ExeDir, dir.path() + "/"};
  QString File(const QString& name) const { return dir.filePath(name); }
};

}  // namespace

TEST_F(DiaryStore, EntriesAndNotesKeepOrderIdsTitlesTextAndColoursThroughSaveAndLoad) {
  {
    Program p;
    TNbDataList& data = p.model.NbDiary->Data();
    data.StoreEntry("2004/03/07", "Dentist", kRtf1, clRed, 0, nbsmOverwrite);
    data.StoreEntry("2003/12/31", "Garden", kRtf2, 0x00123456, 0, nbsmOverwrite);
    data.StoreEntry("2004/01/01", "", QString(), clBlack, 0, nbsmOverwrite);
    p.model.Notes->QuickNote.SetText(kRtf2);
    ASSERT_TRUE(p.store.SaveDiary());
  }
  EXPECT_EQ(QFile::permissions(File("mdiary.dat")) & (QFile::ReadOther | QFile::ReadGroup), 0);
  EXPECT_FALSE(kvtest::ReadFile(File("mdiary.dat")).contains("Dentist"));  // compressed
  EXPECT_FALSE(QFile::exists(File("config.dat")));                         // no password

  Program again;
  ASSERT_TRUE(again.store.LoadDiaryAndNotes());
  EXPECT_EQ(Entries(again.model),
            (QStringList{"2004/03/07|Dentist|" + QString::number(clRed) + "|" + kRtf1,
                         "2003/12/31|Garden|" + QString::number(0x00123456) + "|" + kRtf2, "2004/01/01||0|"}));
  EXPECT_TRUE(again.model.Notes->QuickNote.Text().contains("Garden"));
  EXPECT_EQ(again.showAll, 2);  // the emptied list, then the loaded one
  EXPECT_EQ(again.loaded, 1);
  EXPECT_EQ(again.notesLoaded, 1);
  EXPECT_FALSE(again.model.NbDiary->Data().Items(0)->Modified);
}

TEST_F(DiaryStore, ThePasswordFileFollowsTheDiarysPasswordOnLoadAndOnSave) {
  {
    Program p;
    p.model.Diary->Safe = "secret";
    p.model.NbDiary->Data().StoreEntry("2004/03/07", "Dentist", kRtf1, clBlack, 0, nbsmOverwrite);
    ASSERT_TRUE(p.store.SaveDiary());
    ASSERT_TRUE(QFile::exists(File("config.dat")));
    EXPECT_EQ(kvtest::ReadFile(File("config.dat")).size(), kPasswordBlockSize);
    EXPECT_EQ(QFile::permissions(File("config.dat")) & (QFile::ReadOther | QFile::ReadGroup), 0);
  }
  // A load writes the block as well.
  QFile::remove(File("config.dat"));
  {
    Program p;
    ASSERT_TRUE(p.store.LoadDiaryAndNotes());
    EXPECT_EQ(p.model.Diary->Safe, "secret");
    EXPECT_TRUE(QFile::exists(File("config.dat")));
    // The password cleared: the next save deletes the file.
    p.model.Diary->Safe.clear();
    ASSERT_TRUE(p.store.SaveDiary());
    EXPECT_FALSE(QFile::exists(File("config.dat")));
  }
  // A diary without a password removes a stray block when it loads.
  kvtest::WriteFile(File("config.dat"), "stale");
  Program p;
  ASSERT_TRUE(p.store.LoadDiaryAndNotes());
  EXPECT_FALSE(QFile::exists(File("config.dat")));
}

TEST_F(DiaryStore, AnUnreadableDiaryIsKeptAsideAndItsPasswordFileLeftAlone) {
  const QByteArray damaged = "object DiaryBase: TMDiaryBase\r\n  Data = <\r\n    item\r\n";
  kvtest::WriteFile(File("mdiary.dat"), damaged);
  kvtest::WriteFile(File("config.dat"), "block of the unread diary");
  Program p;
  EXPECT_FALSE(p.store.LoadDiaryAndNotes());
  EXPECT_EQ(p.model.NbDiary->Data().Items(0)->Count(), 0);
  EXPECT_EQ(kvtest::ReadFile(File("mdiary.dat")), damaged);  // loading changed nothing on disk
  EXPECT_EQ(kvtest::ReadFile(File("config.dat")), "block of the unread diary");

  p.model.NbDiary->Data().StoreEntry("2004/03/07", "New", kRtf1, clBlack, 0, nbsmOverwrite);
  ASSERT_TRUE(p.store.SaveDiary());
  EXPECT_EQ(kvtest::ReadFile(File("mdiary.dat.bak")), damaged);
  Program again;
  ASSERT_TRUE(again.store.LoadDiaryAndNotes());
  EXPECT_EQ(again.model.NbDiary->Data().Items(0)->Count(), 1);
}

TEST_F(DiaryStore, AFolderThatCannotBeWrittenIsReportedOncePerFileAndNothingIsLost) {
  kvtest::WriteFile(File("not-a-folder"), "x");
  Program p;
  p.model.NbDiary->Data().StoreEntry("2004/03/07", "Dentist", kRtf1, clBlack, 0, nbsmOverwrite);
  p.model.Notes->QuickNote.SetText(kRtf2);
  kvtest::ScopedOverride<QString> nowhere(ExeDir, File("not-a-folder") + "/");
  kvtest::MessageBoxes boxes;
  {
    const TSaveReport command;
    EXPECT_FALSE(p.store.SaveDiary());
  }
  // Both files in one box, with the system's reason.
  ASSERT_EQ(boxes.Count(), 1);
  EXPECT_EQ(boxes.Texts()[0], "Cannot save " + File("not-a-folder/mdiary.dat") + ", " +
                                  File("not-a-folder/mnotes.dat") + ".\nNot a directory");
  EXPECT_EQ(p.model.NbDiary->Data().FindEntry("2004/03/07")->Text, kRtf1);
  EXPECT_TRUE(p.model.Notes->QuickNote.Text().contains("Garden"));
}

TEST_F(DiaryStore, ALinkedDiaryIsOpenedFromTheOtherProductAndNeverWritten) {
  QTemporaryDir other;
  {
    TNbDataList notavel(false);
    notavel.AddSection();
    notavel.StoreEntry("17", "Linked", kRtf2, clBlack, 0, nbsmOverwrite);
    notavel.SaveSection(other.filePath("diary.dat"), 0);
  }
  const QByteArray linkedDiary = kvtest::ReadFile(other.filePath("diary.dat"));
  kvtest::WriteFile(other.filePath("config.dat"), "their password block");
  kvtest::WriteFile(File("config.dat"), "ours");

  Program p;
  p.model.Ini->NotavelDiary = true;
  p.model.Ini->NotavelPath = other.path();  // no trailing slash: one is added
  ASSERT_TRUE(p.store.LoadDiaryAndNotes());
  EXPECT_EQ(kvtest::ReadFile(File("config.dat")), "their password block");
  EXPECT_EQ(QFile::permissions(File("config.dat")) & (QFile::ReadOther | QFile::ReadGroup), 0);
  ASSERT_NE(p.model.NbDiary->Data().FindEntry("17"), nullptr);
  EXPECT_TRUE(p.model.NbDiary->Data().FindEntry("17")->Text.contains("Garden"));
  EXPECT_TRUE(p.store.DiaryPassword.isEmpty());

  ASSERT_TRUE(p.store.SaveDiary());
  EXPECT_TRUE(QFile::exists(File("mnotes.dat")));
  EXPECT_FALSE(QFile::exists(File("mdiary.dat")));
  EXPECT_EQ(kvtest::ReadFile(other.filePath("diary.dat")), linkedDiary);

  // Without a folder there is nothing to open, and nothing relative to the working folder is read.
  p.model.Ini->NotavelPath.clear();
  EXPECT_FALSE(p.store.LoadDiary());
  EXPECT_EQ(p.model.NbDiary->Data().Items(0)->Count(), 0);
}

TEST_F(DiaryStore, SwitchingToTheLinkedDiarySavesTheOwnOneFirstAndSwitchingBackBringsItBack) {
  QTemporaryDir other;
  {
    TNbDataList notavel(false);
    notavel.AddSection();
    notavel.StoreEntry("2001/01/01", "Linked", kRtf2, clBlack, 0, nbsmOverwrite);
    notavel.SaveSection(other.filePath("diary.dat"), 0);
  }
  Program p;
  p.model.Ini->NotavelPath = other.path();
  ASSERT_TRUE(p.store.LoadDiaryAndNotes());
  p.model.NbDiary->Data().StoreEntry("2004/03/07", "Own", kRtf1, clBlack, 0, nbsmOverwrite);

  ASSERT_TRUE(p.store.SwitchDiary(true));
  EXPECT_TRUE(p.model.Ini->NotavelDiary);
  EXPECT_NE(p.model.NbDiary->Data().FindEntry("2001/01/01"), nullptr);
  EXPECT_EQ(p.model.NbDiary->Data().FindEntry("2004/03/07"), nullptr);

  ASSERT_TRUE(p.store.SwitchDiary(false));
  EXPECT_FALSE(p.model.Ini->NotavelDiary);
  ASSERT_NE(p.model.NbDiary->Data().FindEntry("2004/03/07"), nullptr);
  EXPECT_EQ(p.model.NbDiary->Data().FindEntry("2001/01/01"), nullptr);

  // The own diary that cannot be saved is not given up for the linked one.
  kvtest::WriteFile(File("not-a-folder"), "x");
  kvtest::ScopedOverride<QString> nowhere(ExeDir, File("not-a-folder") + "/");
  kvtest::MessageBoxes boxes;
  EXPECT_FALSE(p.store.SwitchDiary(true));
  EXPECT_EQ(boxes.Count(), 1);
  EXPECT_FALSE(p.model.Ini->NotavelDiary);
  EXPECT_NE(p.model.NbDiary->Data().FindEntry("2004/03/07"), nullptr);
}

TEST_F(DiaryStore, HolidaysComeFromTheUsersFileWhenThereIsOneElseFromTheBuiltInList) {
  {
    Program p;
    ASSERT_TRUE(LoadHolidayDocument(p.model));
    ASSERT_EQ(p.model.Holidays->Data().Count(), 1);
    EXPECT_EQ(p.model.Holidays->Data()[0]->Title, "New Year");
    EXPECT_NE(p.model.Holidays->HolidayOf(QDate(KVNow().date().year(), 1, 1)), nullptr);
    TKVXBHolidayItem* h = p.model.Holidays->Data().Add();
    h->idx = "2004/03/07";
    h->Title = "Spring";
    h->Schedule = schYearly;
    ASSERT_TRUE(SaveHolidayDocument(p.model));
  }
  EXPECT_FALSE(kvtest::ReadFile(File("mholiday.dat")).contains("Spring"));  // compressed
  {
    Program p;
    ASSERT_TRUE(LoadHolidayDocument(p.model));
    ASSERT_EQ(p.model.Holidays->Data().Count(), 2);
    EXPECT_NE(p.model.Holidays->HolidayOf(QDate(KVNow().date().year(), 3, 7)), nullptr);
  }
  // A file that cannot be read gives the built-in list and is kept aside before a save.
  kvtest::WriteFile(File("mholiday.dat"), "object HolidayBase: TMHolidayBase\r\n  Data = <");
  Program p;
  EXPECT_FALSE(LoadHolidayDocument(p.model));
  EXPECT_EQ(p.model.Holidays->Data().Count(), 1);
  ASSERT_TRUE(SaveHolidayDocument(p.model));
  EXPECT_TRUE(kvtest::ReadFile(File("mholiday.dat.bak")).startsWith("object HolidayBase"));
}

TEST_F(DiaryStore, ADiaryCutShortIsToldOnceLoadsItsWholeEntriesAndIsKeptAsideOnSave) {
  {
    Program p;
    p.model.Diary->Safe = "secret";
    for (int d = 1; d <= 28; ++d)
      p.model.NbDiary->Data().StoreEntry(QString("2004/02/%1").arg(d, 2, 10, QChar('0')), "Day",
                                         kRtf1 + QString::number(d * 7919), clBlack, 0, nbsmOverwrite);
    ASSERT_TRUE(p.store.SaveDiary());
  }
  QByteArray bytes = kvtest::ReadFile(File("mdiary.dat"));
  bytes.truncate(bytes.size() * 2 / 3);
  kvtest::WriteFile(File("mdiary.dat"), bytes);
  kvtest::WriteFile(File("config.dat"), "block");

  Program p;
  {
    kvtest::MessageBoxes boxes;
    EXPECT_FALSE(p.store.LoadDiaryAndNotes());
    EXPECT_EQ(boxes.Count(), 1);
  }
  const int recovered = p.model.NbDiary->Data().Items(0)->Count();
  EXPECT_GT(recovered, 0);
  EXPECT_LT(recovered, 28);
  EXPECT_EQ(kvtest::ReadFile(File("config.dat")), "block");
  ASSERT_TRUE(p.store.SaveDiary());
  EXPECT_EQ(kvtest::ReadFile(File("mdiary.dat.bak")), bytes);
}

TEST_F(DiaryStore, OnlyWhatChangedIsWrittenAgainAfterALoadOrASave) {
  {
    Program p;
    p.model.Diary->Safe = "secret";
    p.model.NbDiary->Data().StoreEntry("2004/03/07", "Dentist", kRtf1, clRed, 0, nbsmOverwrite);
    p.model.NbDiary->Data().StoreEntry("2004/03/08", "Garden", kRtf2, clBlack, 0, nbsmOverwrite);
    p.model.Notes->QuickNote.SetText(kRtf2);
    ASSERT_TRUE(p.store.SaveDiary());
  }
  const QStringList files{File("mdiary.dat"), File("mnotes.dat"), File("config.dat")};
  const auto stamps = [&] { return kvtest::FileStamps(files); };
  const QStringList saved = stamps();
  ASSERT_FALSE(saved.contains("missing"));

  Program p;
  ASSERT_TRUE(p.store.LoadDiaryAndNotes());
  EXPECT_EQ(stamps(), saved);  // the load rewrote neither the password block nor anything else
  ASSERT_TRUE(p.store.SaveDiary());
  ASSERT_TRUE(p.store.SaveDiary());
  EXPECT_EQ(stamps(), saved);

  // One entry's text changes: the diary alone is written, and read back with the change.
  p.model.NbDiary->Data().FindEntry("2004/03/08")->Text = kRtf1;
  ASSERT_TRUE(p.store.SaveDiary());
  const QStringList changed = stamps();
  EXPECT_NE(changed[0], saved[0]);
  EXPECT_EQ(changed.mid(1), saved.mid(1));
  // So are a new colour, a removed entry and a new password.
  p.model.NbDiary->Data().FindEntry("2004/03/07")->Color = clBlue;
  ASSERT_TRUE(p.store.SaveDiary());
  EXPECT_NE(kvtest::FileStamp(files[0]), changed[0]);
  p.model.Diary->Safe = "other";
  ASSERT_TRUE(p.store.SaveDiary());
  EXPECT_NE(kvtest::FileStamp(files[2]), saved[2]);
  p.model.NbDiary->Data().Items(0)->Remove(p.model.NbDiary->Data().FindEntry("2004/03/07"));
  ASSERT_TRUE(p.store.SaveDiary());

  Program again;
  ASSERT_TRUE(again.store.LoadDiaryAndNotes());
  EXPECT_EQ(Entries(again.model), QStringList{"2004/03/08|Garden|" + QString::number(clBlack) + "|" + kRtf1});
  EXPECT_EQ(again.model.Diary->Safe, "other");

  // A file removed behind the program's back is written again, though nothing changed.
  QFile::remove(File("mdiary.dat"));
  ASSERT_TRUE(again.store.SaveDiary());
  EXPECT_TRUE(QFile::exists(File("mdiary.dat")));
}

TEST_F(DiaryStore, ADiarySavedInTheBackgroundIsWrittenAsInTheForegroundAndItsFailureToldWhenItEnds) {
  Program p;
  QRandomGenerator rng(5);
  for (int i = 0; i < 300; ++i)
    p.model.NbDiary->Data().StoreEntry(DateKey(QDate(2020, 1, 1).addDays(i)), "Note " + QString::number(i),
                                       kRtf1 + QString::number(rng.generate()), clBlack, 0, nbsmOverwrite);
  ASSERT_TRUE(p.store.SaveDiary(false));
  p.store.WaitForSaves();
  const QByteArray background = kvtest::ReadFile(File("mdiary.dat"));
  // The document as the program holds it, written here the ordinary way, gives the same text.
  p.model.Diary->SaveToFile(File("same.dat"), true);
  EXPECT_EQ(ZDecompress(background, kMaxRichTextSize), ZDecompress(kvtest::ReadFile(File("same.dat")), kMaxRichTextSize));

  kvtest::WriteFile(File("not-a-folder"), "x");
  kvtest::ScopedOverride<QString> nowhere(ExeDir, File("not-a-folder") + "/");
  p.model.NbDiary->Data().FindEntry(DateKey(QDate(2020, 1, 1)))->Text = kRtf2;
  kvtest::MessageBoxes boxes;
  {
    const TSaveReport command;
    EXPECT_FALSE(p.store.SaveDiary(false));  // the notes fail at once, the diary later
    ASSERT_EQ(TSaveReport::Pending(), QStringList{File("not-a-folder/mnotes.dat")});
    p.store.WaitForSaves();
    EXPECT_EQ(TSaveReport::Pending(),
              (QStringList{File("not-a-folder/mnotes.dat"), File("not-a-folder/mdiary.dat")}));
    EXPECT_EQ(boxes.Count(), 0);
  }
  EXPECT_EQ(boxes.Count(), 1);  // one box for the command, once both are known
  EXPECT_TRUE(p.model.SaveFailed);

  // Outside any command the failure is only logged when the write is over; the next save tries
  // again although the entries are those it failed to write.
  EXPECT_TRUE(p.store.SaveOwnDiary(false));
  p.store.WaitForSaves();
  EXPECT_EQ(boxes.Count(), 1);
  kvtest::ScopedOverride<QString> back(ExeDir, dir.path() + "/");
  EXPECT_TRUE(p.store.SaveDiary());
  Program again;
  ASSERT_TRUE(again.store.LoadDiaryAndNotes());
  EXPECT_EQ(again.model.NbDiary->Data().FindEntry(DateKey(QDate(2020, 1, 1)))->Text, kRtf2);
}

// What a drawing reads ahead of the diary are the very entries of those days that the whole load
// gives, plain or compressed, whatever else the diary holds; a file it cannot read so gives nothing.
TEST_F(DiaryStore, TheDaysReadAheadAreThoseTheWholeDiaryHoldsForThem) {
  const QDate from(2024, 3, 1), to(2024, 3, 31);
  const QString tricky = "{\\rtf1 first line\\par\r\n    item\r\n      idx = '2024/03/02'\r\nend\r\n    end>\\par}";
  {
    Program p;
    TNbDataList& data = p.model.NbDiary->Data();
    data.StoreEntry("2024/02/29", "Before", kRtf1, clBlack, 0, nbsmOverwrite);
    data.StoreEntry("2024/03/01", "First day", kRtf1, clBlack, 0, nbsmOverwrite);
    data.StoreEntry("2024/03/15", "Text that looks like items", tricky, clBlack, 0, nbsmOverwrite);
    data.StoreEntry("2024/03/20", "Empty", QString(), clBlack, 0, nbsmOverwrite);
    data.StoreEntry("2024/03/31", "Last day", kRtf2, clRed, 0, nbsmOverwrite);
    data.StoreEntry("2024/04/01", "After", kRtf2, clBlack, 0, nbsmOverwrite);
    data.StoreEntry("item", "An odd key", kRtf2, clBlack, 0, nbsmOverwrite);
    // A second entry of a day: the notebook finds the first.
    data.Items(0)->Add(data.NewObject());
    data.Items(0)->Items(data.Items(0)->Count() - 1)->SetData("2024/03/31", "Again", kRtf1, clBlack, false);
    ASSERT_TRUE(p.store.SaveDiary());
  }
  const QHash<QString, QString> expected{
      {"2024/03/01", kRtf1}, {"2024/03/15", tricky}, {"2024/03/20", QString()}, {"2024/03/31", kRtf2}};
  EXPECT_EQ(ReadDiaryDays(File("mdiary.dat"), from, to), expected);
  {
    Program whole;
    ASSERT_TRUE(whole.store.LoadDiary());
    for (QDate d = from; d <= to; d = d.addDays(1)) {
      const std::optional<QString> text = whole.model.FindDiaryEntry(DateKey(d));
      EXPECT_EQ(text.value_or(QString()), expected.value(DateKey(d))) << DateKey(d).toStdString();
    }
  }
  // Stored plain: the same.
  TMDiaryBase doc;
  doc.OnVerify.Set(&DiaryBaseVerify);
  doc.LoadFromFile(File("mdiary.dat"));
  ASSERT_EQ(doc.Data().Count(), 8);
  doc.SaveToFile(File("plain.dat"), false);
  ASSERT_TRUE(kvtest::ReadFile(File("plain.dat")).startsWith("object"));
  EXPECT_EQ(ReadDiaryDays(File("plain.dat"), from, to), expected);
  // No days of the diary, no diary, an empty one.
  EXPECT_EQ(ReadDiaryDays(File("mdiary.dat"), QDate(2030, 1, 1), QDate(2030, 12, 31)), (QHash<QString, QString>{}));
  EXPECT_EQ(ReadDiaryDays(File("none.dat"), from, to), (QHash<QString, QString>{}));
  TMDiaryBase().SaveToFile(File("empty.dat"), true);
  EXPECT_EQ(ReadDiaryDays(File("empty.dat"), from, to), (QHash<QString, QString>{}));

  // Cut short, of another kind, not a document: only the whole load can tell.
  const QByteArray stored = kvtest::ReadFile(File("mdiary.dat"));
  kvtest::WriteFile(File("cut.dat"), stored.left(stored.size() / 2));
  EXPECT_EQ(ReadDiaryDays(File("cut.dat"), from, to), std::nullopt);
  const QByteArray plain = kvtest::ReadFile(File("plain.dat"));
  kvtest::WriteFile(File("cutplain.dat"), plain.left(plain.indexOf("Last day")));
  EXPECT_EQ(ReadDiaryDays(File("cutplain.dat"), from, to), std::nullopt);
  QByteArray other = plain;
  other.replace("Kel Voro Diary", "Kel Voro Notes");
  kvtest::WriteFile(File("other.dat"), other);
  EXPECT_EQ(ReadDiaryDays(File("other.dat"), from, to), std::nullopt);
  kvtest::WriteFile(File("junk.dat"), "not a document");
  EXPECT_EQ(ReadDiaryDays(File("junk.dat"), from, to), std::nullopt);
}

// A diary far larger than what is inflated at a time, its entries of many sizes, some of their
// texts looking like items: what is read ahead for any days is what the whole load holds for them,
// wherever the pieces end; cut anywhere, it gives nothing.
TEST_F(DiaryStore, TheDaysReadAheadOfALargeDiaryAreThoseTheWholeDiaryHoldsForThem) {
  const QDate day0(2020, 1, 1);
  QRandomGenerator rng(7);
  {
    Program p;
    TNbDataList& data = p.model.NbDiary->Data();
    for (int i = 0; i < 1500; ++i) {
      QString text = "{\\rtf1\\ansi ";
      const int words = int(rng.bounded(5, 600));
      for (int w = 0; w < words; ++w) text += w % 97 == 5 ? "\\par\r\n    item\r\n  end\r\n" : "word" + QString::number(w) + " ";
      text += "\\par\r\n}";
      // Now and then a day twice, and days out of order.
      const int d = i % 211 == 3 ? i - 1 : i % 307 == 4 ? 3000 + i : i;
      data.Items(0)->Add(data.NewObject());
      data.Items(0)->Items(data.Items(0)->Count() - 1)->SetData(DateKey(day0.addDays(d)), "Day", text, clBlack, false);
    }
    ASSERT_TRUE(p.store.SaveDiary());
  }
  Program whole;
  ASSERT_TRUE(whole.store.LoadDiary());
  TMDiaryBase doc;
  doc.OnVerify.Set(&DiaryBaseVerify);
  doc.LoadFromFile(File("mdiary.dat"));
  doc.SaveToFile(File("plain.dat"), false);
  ASSERT_GT(QFileInfo(File("plain.dat")).size(), 2 * 1024 * 1024);
  for (const auto& [from, to] : {std::pair{day0, day0.addDays(30)}, {day0.addDays(300), day0.addDays(673)},
                                 {day0.addDays(1400), day0.addDays(4000)}, {day0.addDays(-10), day0.addDays(5000)}}) {
    QHash<QString, QString> expected;
    for (QDate d = from; d <= to; d = d.addDays(1))
      if (const TNbObject* e = whole.model.NbDiary->Data().FindEntry(DateKey(d))) expected.insert(e->ID, e->Text);
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(ReadDiaryDays(File("mdiary.dat"), from, to), expected) << DateKey(from).toStdString();
    EXPECT_EQ(ReadDiaryDays(File("plain.dat"), from, to), expected) << DateKey(from).toStdString();
  }
  const QByteArray stored = kvtest::ReadFile(File("mdiary.dat"));
  for (qsizetype cut : {qsizetype(100), stored.size() / 3, stored.size() - 20}) {
    kvtest::WriteFile(File("cut.dat"), stored.left(cut));
    EXPECT_EQ(ReadDiaryDays(File("cut.dat"), day0, day0.addDays(5000)), std::nullopt) << cut;
  }
}

// The read begun ahead gives what reading then would; for other days, or once the file was
// replaced, the days are read again.
TEST_F(DiaryStore, TheDaysReadAheadOnAThreadAreThoseOfTheFileAsItIsWhenTaken) {
  const QDate from(2024, 3, 1), to(2024, 3, 31);
  const auto save = [](const QString& text) {
    Program p;
    TNbDataList& data = p.model.NbDiary->Data();
    data.StoreEntry("2024/03/02", "Day", text, clBlack, 0, nbsmOverwrite);
    data.StoreEntry("2024/05/02", "Later", kRtf2, clBlack, 0, nbsmOverwrite);
    ASSERT_TRUE(p.store.SaveDiary());
  };
  Program p;
  // No file yet: nothing to show.
  p.store.ReadDaysAhead(from, to);
  EXPECT_EQ(p.store.DaysAhead(from, to), (QHash<QString, QString>{}));
  save(kRtf1);
  p.store.ReadDaysAhead(from, to);
  EXPECT_EQ(p.store.DaysAhead(from, to), (QHash<QString, QString>{{"2024/03/02", kRtf1}}));
  // Nothing begun: read when asked.
  EXPECT_EQ(p.store.DaysAhead(from, to), (QHash<QString, QString>{{"2024/03/02", kRtf1}}));
  p.store.ReadDaysAhead(from, to);
  EXPECT_EQ(p.store.DaysAhead(from.addMonths(2), to.addMonths(2)), (QHash<QString, QString>{{"2024/05/02", kRtf2}}));
  p.store.ReadDaysAhead(from, to);
  save(kRtf2);
  EXPECT_EQ(p.store.DaysAhead(from, to), (QHash<QString, QString>{{"2024/03/02", kRtf2}}));
  // Cut short: only the whole load can tell.
  const QByteArray stored = kvtest::ReadFile(File("mdiary.dat"));
  p.store.ReadDaysAhead(from, to);
  kvtest::WriteFile(File("mdiary.dat"), stored.left(stored.size() / 2));
  EXPECT_EQ(p.store.DaysAhead(from, to), std::nullopt);
  // A read nobody took ends with the whole load.
  p.store.ReadDaysAhead(from, to);
  kvtest::MessageBoxes boxes;  // the damage is told
  EXPECT_FALSE(p.store.LoadDiary());
  EXPECT_EQ(boxes.Count(), 1);
}

// However the file's text falls into the pieces inflated at a time (here shifted a character at a
// time over the length of an item), the days read ahead are those the whole diary holds.
TEST_F(DiaryStore, TheDaysReadAheadDoNotDependOnWhereThePiecesInflatedEnd) {
  const QDate day0(2000, 1, 1);
  for (int shift = 0; shift < 90; ++shift) {
    TMDiaryBase doc;
    for (int i = 0; i < 4000; ++i) {
      TKVXBDiaryItem* item = doc.Data().Add();
      item->idx = DateKey(day0.addDays(i));
      item->Lines = i == 0 ? QString(shift, 'a') : QStringLiteral("{\\rtf1 x}");
    }
    doc.SaveToFile(File("mdiary.dat"), true);
    for (const auto& [from, to] : {std::pair{day0.addDays(1), day0.addDays(3999)}, {day0.addDays(1), day0.addDays(9)}}) {
      QHash<QString, QString> expected;
      for (QDate d = from; d <= to; d = d.addDays(1)) expected.insert(DateKey(d), QStringLiteral("{\\rtf1 x}"));
      ASSERT_EQ(ReadDiaryDays(File("mdiary.dat"), from, to), expected) << shift;
    }
  }
}
