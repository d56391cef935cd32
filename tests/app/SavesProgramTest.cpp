// What the real program writes as a user goes through its pages: closing the settings window
// with nothing edited rewrites none of the user's files, and an edit of the diary writes the
// diary alone.
#include <QDate>
#include <QDirIterator>
#include <QThread>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "tests/app/ProgramUser.h"
#include "tests/common/TestUtil.h"
#include "tests/platform/helpers/ProcessTestUtil.h"

using namespace kvtest;

namespace {

const QPoint kDiaryEditor(470, 260);

class SavesProgram : public TProgramUser {
 protected:
  void WriteDiary(int entries) {
    TMDiaryBase doc;
    const QDate today = QDate::currentDate();
    for (int i = 0; i < entries; ++i) {
      TKVXBDiaryItem* item = doc.Data().Add();
      item->idx = today.addDays(-i).toString(QStringLiteral("yyyy/MM/dd"));
      item->Title = QStringLiteral("Note %1").arg(i);
      item->Lines = QStringLiteral("{\\rtf1\\ansi Entry %1 about the garden and the dentist.\\par\r\n}").arg(i);
    }
    doc.SaveToFile(ExeFile(kDiaryFileName), true);
  }
  // Every file the program may write (its folder, the settings, the cache, the data folder), each
  // as the file in place and its time: a save puts another file in place.
  QMap<QString, QString> Files() const {
    QMap<QString, QString> files;
    for (const char* sub : {"exe", "config", "cache", "data", "home"}) {
      QDirIterator it(home.Path(sub), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
      while (it.hasNext()) {
        const QString path = it.next();
        files[path.mid(home.Path("").size() - 1)] = FileStamp(path);
      }
    }
    return files;
  }
  // The files written, made or removed between two looks (none: ""), but the calendar picture,
  // which OK draws anew for the desktop.
  static std::string Written(const QMap<QString, QString>& before, const QMap<QString, QString>& after) {
    QStringList written;
    for (auto it = after.begin(); it != after.end(); ++it)
      if (before.value(it.key()) != it.value()) written << it.key();
    for (auto it = before.begin(); it != before.end(); ++it)
      if (!after.contains(it.key())) written << it.key();
    written.removeIf([](const QString& f) { return f.endsWith(QLatin1String("/kvmir.bmp")); });
    return written.join(QStringLiteral(", ")).toStdString();
  }
  // A second start brings the settings window back; its first page shows.
  bool Reopen() {
    TMirova second;
    if (!second.Start(env) || !second.WaitForExit(10000)) return false;
    return WaitForSettings();
  }
  // Every page in turn, chosen from the tab bar with the keyboard, and back to the first.
  void EveryPage() {
    Tab(pgCover);
    for (int page = pgCover; page < pgAbout; ++page) Keys({"Right"}, 700);
    Keys({"Home"}, 700);
  }
  // OK, then the time the saving takes to reach the disk.
  void OkAndSettle() {
    Ok();
    ASSERT_TRUE(SettingsClosed());
    QThread::msleep(2000);
  }
};

}  // namespace

TEST_F(SavesProgram, ClosingTheWindowWritesOnlyWhatWasEdited) {
  WriteDiary(2000);
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  // The first start makes what a new user lacks, and the first look at each page keeps where its
  // window and panels were; from then on only edits are written.
  EveryPage();
  OkAndSettle();
  const QMap<QString, QString> first = Files();

  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(Reopen()) << m.Output().toStdString();
    EveryPage();
    OkAndSettle();
  }
  const QMap<QString, QString> unedited = Files();
  EXPECT_EQ(Written(first, unedited), "") << m.Output().toStdString();

  // One word typed into today's entry: the diary alone is written, with the word in it.
  ASSERT_TRUE(Reopen());
  Tab(pgDiary);
  Click(At(kDiaryEditor));
  Keys({"ctrl+Home"});
  Type("Tulips ");
  OkAndSettle();
  EXPECT_EQ(Written(unedited, Files()), ("/exe/" + kDiaryFileName).toStdString()) << m.Output().toStdString();
  const QString today = QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"));
  EXPECT_TRUE(DiaryOnDisk(home.ExeDir()).value(today).startsWith("Tulips Entry 0"))
      << DiaryOnDisk(home.ExeDir()).value(today).toStdString();
  EXPECT_EQ(DiaryOnDisk(home.ExeDir()).size(), 2000);

  // The end of the session after an edit: the diary is whole on disk when the program is gone.
  ASSERT_TRUE(Reopen());
  Tab(pgDiary);
  Click(At(kDiaryEditor));
  Keys({"ctrl+Home"});
  Type("Roses ");
  m.Signal(SIGTERM);
  ASSERT_TRUE(m.WaitForExit(10000));
  EXPECT_TRUE(DiaryOnDisk(home.ExeDir()).value(today).startsWith("Roses Tulips Entry 0"))
      << DiaryOnDisk(home.ExeDir()).value(today).toStdString();
}
