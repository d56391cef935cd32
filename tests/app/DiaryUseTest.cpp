// The diary of the real program as a user goes through it across windows and restarts: a
// search that finds nothing and then typing, and the diary printed to a PDF file. Without a
// window manager the settings window stands at the top left of the screen; the positions below
// are those of its controls at a scale of 100 %.
#include <QDate>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "tests/app/MirovaProgram.h"
#include "tests/platform/helpers/ProcessTestUtil.h"

using namespace kvtest;

namespace {

const QPoint kDiaryTab(96, 22), kSearchField(118, 224), kEditor(470, 260), kPrintButton(235, 425),
    kOkButton(590, 459);
// In the print options dialog, from its top left corner.
const QPoint kSetup(212, 50), kScope(140, 90), kPrint(141, 298);

class DiaryUse : public TProgramFixture {
 protected:
  DiaryUse() : TProgramFixture(QSize(1920, 1080)) {}

  // A diary of an earlier session: date key and text of each entry.
  void WriteDiary(const QList<std::pair<QString, QString>>& entries) {
    TMDiaryBase doc;
    for (const auto& [key, text] : entries) {
      TKVXBDiaryItem* item = doc.Data().Add();
      item->idx = key;
      item->Lines = QStringLiteral("{\\rtf1\\ansi ") + text + QLatin1Char('}');
    }
    doc.SaveToFile(home.ExeDir() + QLatin1Char('/') + kDiaryFileName, true);
  }
  // The first window with this title that is not the size of the screen, once it shows.
  QRect Shown(const QString& title) {
    QRect frame;
    WaitUntil([&] {
      for (const QString& id : VisibleWindowIds(env, title)) {
        frame = WindowGeometry(env, id);
        if (frame.width() > 0 && frame.size() != x.Size()) return true;
      }
      return false;
    });
    return frame;
  }
  void Press(const QPoint& at, int settleMs = 500) {
    Xdo({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    QThread::msleep(settleMs);
  }
  void Keys(const QString& keys) {
    Xdo(QStringList{"key", "--delay", "80"} + keys.split(' '));
    QThread::msleep(400);
  }
  void Write(const QString& text) {
    Xdo({"type", "--delay", "25", text});
    QThread::msleep(300);
  }
  // Opens the Diary page of a program just started; the settings window's frame.
  QRect DiaryPage(TMirova& m) {
    settings_ = Shown(kMirovaTitle);
    EXPECT_FALSE(settings_.isEmpty()) << m.Output().toStdString();
    Press(settings_.topLeft() + kDiaryTab, 900);
    return settings_;
  }
  // On the Diary page: a search for Word, then Text typed at the end of the editor's text.
  void SearchThenType(TMirova& m, const QString& word, const QString& text) {
    const QRect w = DiaryPage(m);
    Press(w.topLeft() + kSearchField, 200);
    Write(word);
    Keys("Return");
    Press(w.topLeft() + kEditor, 300);
    Keys("ctrl+End");
    Write(text);
  }
  // OK, and the diary on disk is as expected.
  bool OkSaves(const QString& key, const QString& text) {
    Press(settings_.topLeft() + kOkButton, 800);
    return WaitUntil([&] { return DiaryOnDisk(home.ExeDir()).value(key) == text; });
  }
  void Stop(TMirova& m) {
    m.Signal(SIGTERM);
    ASSERT_TRUE(m.WaitForExit(10000));
  }

 private:
  QRect settings_;
};

}  // namespace

// A search for a word the diary does not hold lists nothing; the editor still shows the day's
// entry, and what is typed there adds to it, through OK, a restart and another edit.
TEST_F(DiaryUse, TypingAfterASearchThatFoundNothingAddsToTheDaysEntryAcrossARestart) {
  const QString today = QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"));
  WriteDiary({{today, "Dentist at nine."}});
  {
    TMirova m;
    ASSERT_TRUE(m.Start(env));
    SearchThenType(m, "zebra", " Bring the card.");
    EXPECT_TRUE(OkSaves(today, "Dentist at nine. Bring the card."))
        << DiaryOnDisk(home.ExeDir()).value(today).toStdString() << m.Output().toStdString();
    Stop(m);
  }
  TMirova again;
  ASSERT_TRUE(again.Start(env));
  SearchThenType(again, "nothing like it", " Done.");
  EXPECT_TRUE(OkSaves(today, "Dentist at nine. Bring the card. Done."))
      << DiaryOnDisk(home.ExeDir()).value(today).toStdString() << again.Output().toStdString();
  EXPECT_EQ(DiaryOnDisk(home.ExeDir()).size(), 1);
}

// Print Diary, every entry, to a PDF file: each entry is printed under its date.
TEST_F(DiaryUse, ThePrintedDiaryGivesEveryEntryItsDate) {
  KV_REQUIRE_PROGRAM("pdftotext");
  WriteDiary({{"2004/03/07", "Dentist at nine."}, {"2004/03/08", "Tulips by the gate."}});
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  const QRect w = DiaryPage(m);
  Press(w.topLeft() + kPrintButton, 900);
  const QRect print = Shown("Print");
  ASSERT_FALSE(print.isEmpty()) << m.Output().toStdString();
  // Printer Setup: this machine's printer is a PDF file in the home folder.
  Press(print.topLeft() + kSetup, 1500);
  ASSERT_EQ(VisibleWindows(env, "Print"), 2);
  Keys("Return");
  ASSERT_TRUE(WaitUntil([&] { return VisibleWindows(env, "Print") == 1; }));
  Press(print.topLeft() + kScope);
  Keys("Home Down Return");  // "Print content of all entries"
  const QString pdf = home.Path("home") + "/print.pdf";
  QFile::remove(pdf);
  Press(print.topLeft() + kPrint, 1000);
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(pdf).size() > 0; }, 10000)) << m.Output().toStdString();
  QProcess text;
  text.start("pdftotext", {pdf, "-"});
  text.waitForFinished(10000);
  const QString printed = QString::fromUtf8(text.readAllStandardOutput()).simplified();
  // The program writes dates as the system's locale does, which it shares with this test.
  const QLocale l = QLocale::system();
  const QString first = l.toString(QDate(2004, 3, 7), QLocale::LongFormat) + " Dentist at nine.";
  const QString second = l.toString(QDate(2004, 3, 8), QLocale::LongFormat) + " Tulips by the gate.";
  EXPECT_TRUE(printed.contains(first)) << printed.toStdString();
  EXPECT_TRUE(printed.contains(second)) << printed.toStdString();
  EXPECT_LT(printed.indexOf(first), printed.indexOf(second));
}
