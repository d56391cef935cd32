// sway and the other wlroots compositors: sway through its own command, the others through a
// swaybg that the program owns. The real checks run a headless sway (as a user other than root,
// as sway wants) and look at the screen with grim.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/KVDesktop.h"
#include "tests/common/DesktopTestUtil.h"
#include "tests/platform/DesktopSession.h"
#include "tests/platform/SwaySession.h"

using namespace kvtest;

namespace {

// Gone, or a zombie that nobody reaps: either way it shows nothing any more.
bool ProcessGone(qint64 pid) {
  QFile stat(QString("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return true;
  const QByteArray text = stat.readAll();
  const int close = text.lastIndexOf(')');
  return close > 0 && text.mid(close + 2, 1) == "Z";
}

::testing::AssertionResult ApplyAndLook(TDesktopBackground& desktop, TSway& sway, const QString& file, int shift) {
  const QImage picture = PatternImage(1920, 1080, shift);
  SavePicture(picture, file);
  QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
  const TDesktopStatus st = desktop.Apply(file, TWallpaperStyle::wsCentered);
  if (!st.Ok()) return ::testing::AssertionFailure() << st.Message.toStdString();
  double ratio = 0;
  WaitUntil([&] { return (ratio = MatchRatio(sway.Grab(), picture)) >= 0.99; });
  if (ratio < 0.99)
    return ::testing::AssertionFailure() << "only " << ratio * 100 << "% of the screen shows picture " << shift;
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(SwayDesktop, SwaymsgShowsEveryApplyEvenFromAFolderSwayWouldMisread) {
  TSway sway;
  // The user's own background, set by sway's configuration: ours must replace it.
  if (const QString reason = sway.Start("output HEADLESS-1 resolution 1920x1080 bg #102030 solid_color\n");
      !reason.isEmpty())
    KV_SKIP_OR_FAIL(reason.toStdString());
  ASSERT_TRUE(WaitUntil([&] { return (sway.Grab().pixel(960, 540) & 0xFFFFFF) == 0x102030u; }));
  ScopedEnv env;
  sway.Enter(env, "sway", true);
  TSharedFolder pictures;

  TDesktopBackground desktop;
  for (int shift : {40, 80, 120}) EXPECT_TRUE(ApplyAndLook(desktop, sway, pictures.Path() + "/kvmir.bmp", shift));
  EXPECT_EQ(desktop.BackgroundProgramPid(), 0) << "sway runs its own swaybg";

  // Quotes, blanks, '$', ';' and ',' would reach sway's parser: a copy in the runtime folder
  // is handed over instead.
  const QString awkward = pictures.Path("it's $HOME; a,b") + "/kvmir.bmp";
  EXPECT_TRUE(ApplyAndLook(desktop, sway, awkward, 160));
  const QDir copies(sway.RuntimeDir() + "/mirova-calendar");
  EXPECT_EQ(copies.entryList({"kvmir-?.bmp"}, QDir::Files).size(), 1) << "the copy in use, and only that one";
}

TEST(WlrootsDesktop, OwnedSwaybgShowsEveryApplyAndEndsWithItsOwner) {
  TSway sway;
  if (const QString reason = sway.Start("output HEADLESS-1 resolution 1920x1080\n"); !reason.isEmpty())
    KV_SKIP_OR_FAIL(reason.toStdString());
  ScopedEnv env;
  sway.Enter(env, "Hyprland", false);  // any compositor without a command of its own
  TSharedFolder pictures;
  const QString file = pictures.Path() + "/kvmir.bmp";

  qint64 last = 0;
  {
    TDesktopBackground desktop;
    for (int shift : {40, 80, 120}) {
      EXPECT_TRUE(ApplyAndLook(desktop, sway, file, shift));
      const qint64 pid = desktop.BackgroundProgramPid();
      EXPECT_GT(pid, 0);
      EXPECT_NE(pid, last) << "each apply starts a new swaybg";
      if (last) {
        EXPECT_TRUE(ProcessGone(last)) << "the one before is ended";
      }
      last = pid;
    }
    EXPECT_FALSE(ProcessGone(last));
  }
  EXPECT_TRUE(ProcessGone(last)) << "swaybg ends with its owner";
  EXPECT_TRUE(WaitUntil([&] { return MatchRatio(sway.Grab(), PatternImage(1920, 1080, 120)) < 0.5; }));
}

namespace {

class SwaybgStub : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSessionVariables(env_);
    env_.Set("XDG_CURRENT_DESKTOP", "river");
    env_.Set("WAYLAND_DISPLAY", "wayland-kv-none");
    env_.PrependPath(bin_);
    SavePicture(PatternImage(64, 48), file_);
  }
  // A swaybg that records its arguments and its process id, says what it is told and then
  // either ends with the code or stays.
  void Stub(const QByteArray& say, std::optional<int> exitCode) {
    QByteArray body = "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + log_.toUtf8() +
                      "'; done\nprintf -- '--\\n' >> '" + log_.toUtf8() + "'\necho $$ >> '" + pids_.toUtf8() + "'\n";
    if (!say.isEmpty()) body += "echo '" + say + "' >&2\n";
    body += exitCode ? "exit " + QByteArray::number(*exitCode) + "\n" : QByteArray("exec sleep 600\n");
    WriteStub(bin_, "swaybg", body);
  }
  qint64 LastStubPid() {
    const QList<QByteArray> lines = ReadFile(pids_).trimmed().split('\n');
    return lines.last().toLongLong();
  }

  ScopedEnv env_;
  QTemporaryDir dir_{TestRoot() + "/swaybg-XXXXXX"};
  QString bin_ = dir_.path() + "/bin", log_ = dir_.path() + "/calls.log", pids_ = dir_.path() + "/pids";
  QString file_ = dir_.path() + "/kvmir.bmp";
};

}  // namespace

TEST_F(SwaybgStub, FailuresKeepTheSwaybgBeforeAndSayWhy) {
  TDesktopBackground desktop;
  Stub({}, std::nullopt);
  ASSERT_TRUE(desktop.Apply(file_, TWallpaperStyle::wsCentered).Ok());
  const qint64 good = desktop.BackgroundProgramPid();
  EXPECT_EQ(good, LastStubPid());
  const QString copy = ReadCalls(log_).back().value(3);
  EXPECT_EQ(ReadCalls(log_).back(), (QStringList{"-o", "*", "-i", copy, "-m", "center"}));
  EXPECT_TRUE(copy.endsWith("/kvmir-a.bmp")) << copy.toStdString();

  // A compositor it cannot use: it ends at once, and its last word is the message.
  Stub("2026-01-01 10:00:00 - [main.c:573] Unable to connect to the compositor.", 1);
  TDesktopStatus st = desktop.Apply(file_, TWallpaperStyle::wsFill);
  EXPECT_EQ(st.Result, TDesktopResult::drProgramFailed);
  EXPECT_EQ(st.Message.toStdString(),
            "\"swaybg\" ended at once (exit code 1). Unable to connect to the compositor.");
  EXPECT_EQ(ReadCalls(log_).back().value(5), "fill");
  EXPECT_EQ(desktop.BackgroundProgramPid(), good);
  EXPECT_FALSE(ProcessGone(good)) << "the picture before stays on the screen";

  // A picture it cannot read: it says so and stays; it is ended.
  Stub("2026-01-01 10:00:00 - [main.c:621] Failed to load image: /tmp/x.bmp", std::nullopt);
  st = desktop.Apply(file_, TWallpaperStyle::wsSpan);
  EXPECT_EQ(st.Result, TDesktopResult::drProgramFailed);
  EXPECT_EQ(st.Message.toStdString(), "\"swaybg\" cannot show the picture: Failed to load image: /tmp/x.bmp");
  EXPECT_EQ(ReadCalls(log_).back().value(5), "fill") << "no spanning: each output is filled";
  EXPECT_TRUE(WaitUntil([&] { return ProcessGone(LastStubPid()); }, 3000));
  EXPECT_EQ(desktop.BackgroundProgramPid(), good);

  // Without swaybg the clear message stays.
  QFile::remove(bin_ + "/swaybg");
  env_.Set("PATH", bin_);
  st = desktop.Apply(file_, TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drUnsupported);
  EXPECT_EQ(st.Message.toStdString(),
            "The desktop background cannot be set on this Wayland desktop (river): it needs the "
            "program \"swaybg\", which is not installed.");
  EXPECT_EQ(desktop.BackgroundProgramPid(), good);
}

// The owned swaybg must not outlive a program that dies without cleaning up: this test runs
// the next one in a process of its own that ends abruptly.
TEST_F(SwaybgStub, EndsWhenTheProgramDiesAbruptly) {
  Stub({}, std::nullopt);
  env_.Set("KV_SWAYBG_ORPHAN_TEST", pids_);
  const RunResult r = RunProgram(QCoreApplication::applicationFilePath(),
                                 {"--gtest_filter=SwaybgStub.OwnerThatDiesAbruptly"}, 30000);
  ASSERT_TRUE(r.finished) << r.out.toStdString();
  EXPECT_EQ(r.exitCode, 7) << r.out.toStdString() << r.err.toStdString();
  ASSERT_TRUE(QFileInfo::exists(pids_));
  EXPECT_TRUE(WaitUntil([&] { return ProcessGone(LastStubPid()); }, 5000)) << "swaybg outlived the program";
}

TEST_F(SwaybgStub, OwnerThatDiesAbruptly) {
  if (qEnvironmentVariable("KV_SWAYBG_ORPHAN_TEST").isEmpty())
    GTEST_SKIP() << "runs in the process started by SwaybgStub.EndsWhenTheProgramDiesAbruptly";
  pids_ = qEnvironmentVariable("KV_SWAYBG_ORPHAN_TEST");
  auto* desktop = new TDesktopBackground;  // never freed: the process dies with it
  if (!desktop->Apply(file_, TWallpaperStyle::wsCentered).Ok()) std::_Exit(1);
  std::_Exit(LastStubPid() == desktop->BackgroundProgramPid() ? 7 : 2);
}
