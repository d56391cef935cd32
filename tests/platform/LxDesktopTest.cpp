// LXDE and LXQt: pcmanfm and pcmanfm-qt draw their desktop window over the root window, so
// the picture must reach them. Each test runs the real program on a private X server and looks
// at the screen.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTemporaryDir>

#include "platform/KVDesktop.h"
#include "platform/KVX11Root.h"
#include "tests/common/DesktopTestUtil.h"
#include "tests/platform/DesktopSession.h"

using namespace kvtest;

namespace {

constexpr double kShown = 0.97;  // the desktop's own icons cover a little of the picture
const QString kPcmanfmQtBusName = QStringLiteral("org.pcmanfm.PCManFM");

bool DesktopWindowOf(const QString& program) {
  const auto w = FindX11DesktopWindow();
  return w && w->Program == program;
}

// Whether a name on the bus at Address has an owner.
bool BusNameOwned(const QString& address, const QString& name) {
  bool owned = false;
  {
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("lx-test-probe"));
    owned = bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(name).value();
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("lx-test-probe"));
  return owned;
}

class LxDesktop : public ::testing::Test {
 protected:
  // The reason the desktop cannot run here, or an empty text.
  QString StartSession(const QString& program, const char* session) {
    if (QStandardPaths::findExecutable(program).isEmpty()) return program + " is not installed";
    if (const QString reason = x_.Start(QSize(1920, 1080)); !reason.isEmpty()) return reason;
    ClearSessionVariables(env_);
    env_.Set("DISPLAY", x_.Name());
    env_.Set("XDG_CURRENT_DESKTOP", session);
    QProcessEnvironment childEnv = QProcessEnvironment::systemEnvironment();
    if (program == "pcmanfm-qt") {
      if (const QString reason = bus_.Start(childEnv); !reason.isEmpty()) return reason;
      env_.Set("DBUS_SESSION_BUS_ADDRESS", bus_.Address());
      childEnv.insert("DBUS_SESSION_BUS_ADDRESS", bus_.Address());
      childEnv.insert("QT_QPA_PLATFORM", "xcb");
    }
    if (!desktop_.Start(program, {"--desktop"}, childEnv)) return program + " does not start";
    if (!WaitUntil([&] { return DesktopWindowOf(program); }))
      return program + " showed no desktop window: " + desktop_.Output();
    return {};
  }

  // Applies a screen-sized picture through the calendar's file and waits until it is shown.
  ::testing::AssertionResult ApplyAndLook(TDesktopBackground& desktop, int shift, double shown = kShown) {
    const QImage picture = PatternImage(1920, 1080, shift);
    SavePicture(picture, file_);
    const TDesktopStatus st = desktop.Apply(file_, TWallpaperStyle::wsCentered);
    if (!st.Ok()) return ::testing::AssertionFailure() << st.Message.toStdString();
    double ratio = 0;
    WaitUntil([&] { return (ratio = MatchRatio(x_.Grab(), picture)) >= shown; });
    if (ratio < shown)
      return ::testing::AssertionFailure() << "only " << ratio * 100 << "% of the screen shows picture " << shift;
    return ::testing::AssertionSuccess();
  }

  ScopedEnv env_;
  TXServer x_;
  TSessionBus bus_;
  TBackgroundProgram desktop_;
  QTemporaryDir dir_{TestRoot() + "/lx-XXXXXX"};
  QString file_ = dir_.path() + "/kvmir.bmp";
};

}  // namespace

TEST_F(LxDesktop, PcmanfmShowsEveryApplyAndTheRootTakesOverWithoutIt) {
  if (const QString reason = StartSession("pcmanfm", "LXDE"); !reason.isEmpty()) KV_SKIP_OR_FAIL(reason.toStdString());
  TDesktopBackground desktop;  // detected as the rotation does it
  for (int shift : {40, 80, 120}) EXPECT_TRUE(ApplyAndLook(desktop, shift));

  // Without its desktop window the root window is what shows.
  desktop_.Stop();
  ASSERT_TRUE(WaitUntil([] { return !FindX11DesktopWindow(); }));
  EXPECT_TRUE(ApplyAndLook(desktop, 160, 1.0));
}

TEST_F(LxDesktop, PcmanfmQtShowsEveryApplyOnX11AndOnWayland) {
  if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) KV_SKIP_OR_FAIL("dbus-daemon is not installed");
  if (const QString reason = StartSession("pcmanfm-qt", "LXQt"); !reason.isEmpty())
    KV_SKIP_OR_FAIL(reason.toStdString());
  TDesktopBackground desktop;
  for (int shift : {40, 80, 120}) EXPECT_TRUE(ApplyAndLook(desktop, shift));

  // In a Wayland session there is no window to look for: the running program is asked, by its
  // bus name. Should it be gone, the failure says whether the program still runs and what it said.
  env_.Set("WAYLAND_DISPLAY", "wayland-kv-none");
  ASSERT_TRUE(WaitUntil([&] { return BusNameOwned(bus_.Address(), kPcmanfmQtBusName); }, 5000))
      << "pcmanfm-qt " << (desktop_.Running() ? "runs" : "has ended") << " without its bus name: "
      << desktop_.Output().toStdString();
  EXPECT_TRUE(ApplyAndLook(desktop, 160)) << desktop_.Output().toStdString();
  desktop_.Stop();
  SavePicture(PatternImage(64, 48), file_);
  const TDesktopStatus st = desktop.Apply(file_, TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drUnsupported);
  EXPECT_TRUE(st.Message.contains("cannot be set on this Wayland desktop (LXQt)") &&
              st.Message.contains("pcmanfm-qt"))
      << st.Message.toStdString();
}

TEST(LxqtOnWayland, WithoutASessionBusNothingIsAsked) {
  QTemporaryDir dir(TestRoot() + "/lxargs-XXXXXX");
  const QString bin = dir.path() + "/bin", log = dir.path() + "/calls.log";
  WriteRecordingStub(bin, "pcmanfm", log);
  WriteRecordingStub(bin, "pcmanfm-qt", log);
  ScopedEnv env;
  ClearSessionVariables(env);
  env.PrependPath(bin);
  env.Set("XDG_CURRENT_DESKTOP", "LXQt");
  env.Set("WAYLAND_DISPLAY", "wayland-kv-none");
  env.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.path() + "/no-bus");
  const QString file = dir.path() + "/kvmir.bmp";
  SavePicture(PatternImage(32, 32), file);
  TDesktopBackground desktop;
  desktop.TimeoutMs = 2000;
  const TDesktopStatus st = desktop.Apply(file, TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drUnsupported) << "no bus, so no pcmanfm-qt to ask";
  EXPECT_TRUE(ReadCalls(log).empty());
}
