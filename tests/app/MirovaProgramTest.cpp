// The real program, started as a user starts it, on an X server of the test's own.
#include <QElapsedTimer>
#include <QImage>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "tests/app/MirovaProgram.h"
#include "tests/platform/helpers/ProcessTestUtil.h"

using namespace kvtest;

namespace {

const QString& kTitle = kMirovaTitle;

class ProgramTest : public TProgramFixture {
 protected:
  bool BackgroundWritten(int ms = 10000) {
    return WaitUntil([&] { return QFileInfo(home.Background()).size() > 0; }, ms);
  }
  bool SettingsShown(int ms = 10000) {
    return WaitUntil([&] { return VisibleWindows(env, kTitle) == 1; }, ms);
  }
};

}  // namespace

TEST_F(ProgramTest, AFirstStartDrawsAppliesAndOpensTheSettingsWindow) {
  QElapsedTimer clock;
  clock.start();
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(BackgroundWritten()) << m.Output().toStdString();
  ASSERT_TRUE(SettingsShown()) << m.Output().toStdString();
  std::printf("background applied and window shown after %lld ms\n", clock.elapsed());
  // The root shows the calendar file where no window covers it (the window sits at the top left).
  const QImage drawn = QImage(home.Background()).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(drawn.size(), QSize(1024, 768));
  const QRect free(700, 560, 320, 200);
  EXPECT_TRUE(WaitUntil([&] { return MatchRatio(x.Grab(), drawn, free) > 0.99; }, 5000));
  EXPECT_TRUE(m.Running());
}

TEST_F(ProgramTest, ASecondStartWakesTheFirstAndEndsWithoutAWindow) {
  TMirova first;
  ASSERT_TRUE(first.Start(env, {"/a"}));  // at log-on: no window
  ASSERT_TRUE(BackgroundWritten());
  EXPECT_EQ(VisibleWindows(env, kTitle), 0);
  QElapsedTimer clock;
  clock.start();
  TMirova second;
  ASSERT_TRUE(second.Start(env));
  ASSERT_TRUE(second.WaitForExit(12000));
  EXPECT_EQ(second.ExitCode(), 0);
  EXPECT_LT(clock.elapsed(), 10000);
  EXPECT_TRUE(SettingsShown()) << first.Output().toStdString();
  EXPECT_TRUE(first.Running());
}

TEST_F(ProgramTest, ACrashedFirstCopyNeverBlocksTheNextStart) {
  TMirova first;
  ASSERT_TRUE(first.Start(env, {"/a"}));
  ASSERT_TRUE(BackgroundWritten());
  first.Signal(SIGKILL);
  ASSERT_TRUE(first.WaitForExit(5000));
  TMirova next;
  ASSERT_TRUE(next.Start(env, {"/a"}));
  // It stays: it is the first copy now, and a later start wakes it.
  EXPECT_FALSE(next.WaitForExit(2000));
  TMirova later;
  ASSERT_TRUE(later.Start(env));
  ASSERT_TRUE(later.WaitForExit(12000));
  EXPECT_EQ(later.ExitCode(), 0);
  EXPECT_TRUE(SettingsShown()) << next.Output().toStdString();
}

TEST_F(ProgramTest, TerminatingWithTheSettingsOpenSavesAndEndsCleanly) {
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(SettingsShown()) << m.Output().toStdString();
  QFile::remove(home.Registry());
  m.Signal(SIGTERM);
  ASSERT_TRUE(m.WaitForExit(10000));
  EXPECT_EQ(m.ExitCode(), 0) << m.Output().toStdString();
  // OK ran on the way out: the settings and the window's state are stored.
  const QByteArray stored = QFileInfo::exists(home.Registry()) ? [&] {
    QFile f(home.Registry());
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  }() : QByteArray();
  EXPECT_TRUE(stored.contains("KVMirovaCalendar")) << stored.left(400).toStdString();
  EXPECT_TRUE(stored.contains("DiarySplit"));
}

TEST_F(ProgramTest, TheTrayIconDocksInARealTrayAndItsMenusExitEndsTheProgram) {
  StartTray();
  if (HasFatalFailure() || IsSkipped()) return;
  TMirova m;
  ASSERT_TRUE(m.Start(env, {"/a"}));
  ASSERT_TRUE(BackgroundWritten());
  // The icon's red heading band shows in the tray at the top right.
  const QPoint icon = TrayIcon();
  ASSERT_FALSE(icon.isNull()) << m.Output().toStdString();
  // A right click opens the tray menu; its last item is Exit.
  QProcess xdo;
  xdo.setProcessEnvironment(env);
  xdo.start("xdotool", {"mousemove", QString::number(icon.x()), QString::number(icon.y()), "click", "3"});
  xdo.waitForFinished(5000);
  QThread::msleep(500);
  xdo.start("xdotool", {"key", "Up", "Return"});
  xdo.waitForFinished(5000);
  ASSERT_TRUE(m.WaitForExit(10000)) << m.Output().toStdString();
  EXPECT_EQ(m.ExitCode(), 0);
}

TEST(ProgramOnAStatusNotifierDesktop, TheIconRegistersWithTheWatcher) {
  KV_REQUIRE_PROGRAM("Xvfb");
  KV_REQUIRE_PROGRAM("dbus-daemon");
  TXServer x;
  ASSERT_TRUE(x.Start(QSize(800, 600)).isEmpty());
  TPrivateSessionBus bus;
  ASSERT_TRUE(bus.Start());
  TMirovaHome home;
  ASSERT_TRUE(home.AddDefaultPack());
  const QProcessEnvironment env = home.Environment(x.Name(), bus.Address());
  TChild watcher;
  ASSERT_TRUE(watcher.Start(QStringLiteral(KV_SNI_WATCHER), {}, env));
  ASSERT_EQ(watcher.WaitForLine("ready"), "ready");
  TMirova m;
  ASSERT_TRUE(m.Start(env, {"/a"}));
  EXPECT_TRUE(watcher.WaitForLine("item ", 10000).endsWith("/StatusNotifierItem")) << m.Output().toStdString();
}

TEST(ProgramWithoutPacks, NoImageSetAtAllIsToldAndTheProgramEndsWithoutDrawing) {
  KV_REQUIRE_PROGRAM("Xvfb");
  KV_REQUIRE_PROGRAM("xdotool");
  TXServer x;
  ASSERT_TRUE(x.Start(QSize(800, 600)).isEmpty());
  TMirovaHome home;
  const QProcessEnvironment env = home.Environment(x.Name());
  TMirova m;
  ASSERT_TRUE(m.Start(env, {"/a"}));
  // The error box (the one window) waits for its OK; Return presses it.
  ASSERT_TRUE(WaitUntil([&] { return VisibleWindows(env, "Mirova Calendar") == 1; }, 10000))
      << m.Output().toStdString();
  EXPECT_TRUE(m.Running());
  QProcess xdo;
  xdo.setProcessEnvironment(env);
  xdo.start("xdotool", {"key", "Return"});
  xdo.waitForFinished(5000);
  ASSERT_TRUE(m.WaitForExit(10000)) << m.Output().toStdString();
  EXPECT_EQ(m.ExitCode(), 0);
  EXPECT_FALSE(QFileInfo::exists(home.Background()));
}

TEST(ProgramWithoutPacks, AnOwnSetOfPhotosIsEnoughToRun) {
  KV_REQUIRE_PROGRAM("Xvfb");
  TXServer x;
  ASSERT_TRUE(x.Start(QSize(800, 600)).isEmpty());
  TMirovaHome home;
  QImage photo(400, 300, QImage::Format_RGB32);
  photo.fill(QColor(200, 120, 40));
  const QString file = home.Path("home") + "/Trip Photo.JPG";
  ASSERT_TRUE(photo.save(file, "JPEG", 95));
  QFile set(home.ExeDir() + "/Trip.mcl");
  ASSERT_TRUE(set.open(QIODevice::WriteOnly));
  set.write((file + "\r\n").toUtf8());
  set.close();
  const QProcessEnvironment env = home.Environment(x.Name());
  TMirova m;
  ASSERT_TRUE(m.Start(env, {"/a"}));
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(home.Background()).size() > 0; }, 10000)) << m.Output().toStdString();
  const QImage drawn(home.Background());
  ASSERT_EQ(drawn.size(), QSize(800, 600));
  const QColor middle = drawn.pixelColor(400, 300);
  EXPECT_NEAR(middle.red(), 200, 8);
  EXPECT_NEAR(middle.green(), 120, 8);
  EXPECT_NEAR(middle.blue(), 40, 8);
  // The set's thumbnail cache is made beside it.
  EXPECT_TRUE(WaitUntil([&] { return QFileInfo::exists(home.ExeDir() + "/Trip.thn"); }, 5000));
  EXPECT_TRUE(m.Running());
}
