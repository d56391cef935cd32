// The diary of the real program: an entry typed on the Diary page and confirmed with OK is on disk,
// and the next start shows it for editing, so that what is typed then adds to it.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "controls/KVNbModule.h"
#include "tests/app/MirovaProgram.h"
#include "tests/platform/helpers/ProcessTestUtil.h"

using namespace kvtest;

namespace {

const QString& kTitle = kMirovaTitle;

class DiaryProgram : public TProgramFixture {
 protected:
  // The settings window's frame on the screen, once it is shown.
  QRect SettingsWindow() {
    QRect r;
    WaitUntil([&] {
      const QStringList ids = VisibleWindowIds(env, kTitle);
      if (ids.isEmpty()) return false;
      r = WindowGeometry(env, ids.first());
      return r.width() > 0;
    });
    return r;
  }
  void ClickAt(const QPoint& p) {
    Xdo({"mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"});
    QThread::msleep(300);
  }
  // The user opens the Diary page (the tab after Cover, chosen from the tab bar with the keyboard)
  // and types; the editor has the focus on that page.
  void TypeOnTheDiaryPage(const QRect& w, const QString& text) {
    ClickAt(w.topLeft() + QPoint(24, 20));
    Xdo({"key", "Right"});
    QThread::msleep(500);
    Xdo({"key", "ctrl+Home"});
    Xdo({"type", "--delay", "20", text});
    QThread::msleep(300);
  }
  // OK, at the window's bottom right corner.
  void PressOk(const QRect& w) { ClickAt(w.topLeft() + QPoint(w.width() - 50, w.height() - 21)); }
  QString SavedEntryText() {
    TMDiaryBase doc;
    doc.OnVerify.Set([](TPersistent*, const QString&, bool& accept) { accept = true; });
    doc.LoadFromFile(home.ExeDir() + "/mdiary.dat");
    return doc.Data().Count() == 1 ? NbPlainText(doc.Data()[0]->Lines) : QString();
  }

};

}  // namespace

TEST_F(DiaryProgram, AnEntryTypedAndConfirmedIsFoundAndEditedAfterARestart) {
  {
    TMirova m;
    ASSERT_TRUE(m.Start(env));
    const QRect w = SettingsWindow();
    ASSERT_FALSE(w.isEmpty()) << m.Output().toStdString();
    TypeOnTheDiaryPage(w, "Planted tulips by the gate");
    PressOk(w);
    ASSERT_TRUE(WaitUntil([&] { return SavedEntryText().startsWith("Planted tulips by the gate"); }))
        << m.Output().toStdString();
    EXPECT_TRUE(WaitUntil([&] { return VisibleWindows(env, kTitle) == 0; }, 5000));  // OK hides the window
    EXPECT_TRUE(m.Running());
    m.Signal(SIGTERM);
    ASSERT_TRUE(m.WaitForExit(10000));
  }
  EXPECT_EQ(QFile::permissions(home.ExeDir() + "/mdiary.dat") & (QFile::ReadOther | QFile::ReadGroup), 0);

  TMirova again;
  ASSERT_TRUE(again.Start(env));
  const QRect w = SettingsWindow();
  ASSERT_FALSE(w.isEmpty()) << again.Output().toStdString();
  // The page shows today's entry: what is typed now goes in front of it.
  TypeOnTheDiaryPage(w, "Watered. ");
  PressOk(w);
  EXPECT_TRUE(WaitUntil([&] { return SavedEntryText().startsWith("Watered. Planted tulips by the gate"); }))
      << SavedEntryText().toStdString() << again.Output().toStdString();
}
