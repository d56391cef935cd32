#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include "platform/KVDesktop.h"
#include "tests/common/DesktopTestUtil.h"
#include "tests/common/SkipMissing.h"

using namespace kvtest;

namespace {

QProcessEnvironment Env(std::initializer_list<std::pair<const char*, const char*>> vars) {
  QProcessEnvironment env;
  for (const auto& [name, value] : vars) env.insert(name, value);
  return env;
}

class DesktopBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.path() + "/pictures";
    bin_ = dir_.path() + "/bin";
    log_ = dir_.path() + "/calls.log";
    picture_ = folder_ + "/kvmir.bmp";
    SavePicture(PatternImage(64, 48), picture_);
    QDir().mkpath(bin_);
  }
  QString Copy(char which) const { return folder_ + "/kvmir-" + which + ".bmp"; }

  QTemporaryDir dir_{TestRoot() + "/desk-XXXXXX"};
  QString folder_, bin_, log_, picture_;
  ScopedEnv env_;
};

}  // namespace

TEST(DesktopDetection, OverrideSessionVariablesAndDisplays) {
  struct Case {
    QProcessEnvironment env;
    TDesktopKind kind;
  } cases[] = {
      {Env({{"KV_DESKTOP", "XFCE"}, {"XDG_CURRENT_DESKTOP", "GNOME"}}), TDesktopKind::dkXfce},
      {Env({{"KV_DESKTOP", "auto"}, {"XDG_CURRENT_DESKTOP", "KDE"}}), TDesktopKind::dkKde},
      {Env({{"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}}), TDesktopKind::dkGnome},
      {Env({{"XDG_CURRENT_DESKTOP", "X-Cinnamon"}}), TDesktopKind::dkCinnamon},
      {Env({{"XDG_CURRENT_DESKTOP", "MATE"}}), TDesktopKind::dkMate},
      {Env({{"XDG_CURRENT_DESKTOP", "Budgie:GNOME"}}), TDesktopKind::dkGnome},
      {Env({{"XDG_CURRENT_DESKTOP", "LXQt:KDE"}, {"DISPLAY", ":0"}}), TDesktopKind::dkLxqt},
      {Env({{"XDG_CURRENT_DESKTOP", "LXDE"}, {"DISPLAY", ":0"}}), TDesktopKind::dkLxde},
      {Env({{"XDG_CURRENT_DESKTOP", "LXDE-pi"}, {"DISPLAY", ":0"}}), TDesktopKind::dkLxde},
      {Env({{"DESKTOP_SESSION", "Lubuntu"}, {"DISPLAY", ":0"}}), TDesktopKind::dkLxqt},
      {Env({{"XDG_CURRENT_DESKTOP", "LXQt"}, {"WAYLAND_DISPLAY", "wayland-0"}}), TDesktopKind::dkLxqt},
      {Env({{"XDG_CURRENT_DESKTOP", "sway"}, {"WAYLAND_DISPLAY", "wayland-1"}, {"DISPLAY", ":0"}}),
       TDesktopKind::dkSway},
      {Env({{"SWAYSOCK", "/run/user/1000/sway-ipc.sock"}, {"WAYLAND_DISPLAY", "wayland-1"}}),
       TDesktopKind::dkSway},
      {Env({{"XDG_CURRENT_DESKTOP", "Hyprland"}, {"WAYLAND_DISPLAY", "wayland-1"}}),
       TDesktopKind::dkWlroots},
      {Env({{"XDG_CURRENT_DESKTOP", "labwc:wlroots"}, {"WAYLAND_DISPLAY", "wayland-0"}}),
       TDesktopKind::dkWlroots},
      {Env({{"XDG_CURRENT_DESKTOP", "niri"}, {"WAYLAND_DISPLAY", "wayland-0"}}), TDesktopKind::dkWlroots},
      {Env({{"XDG_CURRENT_DESKTOP", "wayfire"}, {"WAYLAND_DISPLAY", "wayland-0"}}), TDesktopKind::dkWlroots},
      {Env({{"XDG_CURRENT_DESKTOP", "river"}, {"WAYLAND_DISPLAY", "wayland-0"}}), TDesktopKind::dkWlroots},
      {Env({{"HYPRLAND_INSTANCE_SIGNATURE", "abc"}, {"WAYLAND_DISPLAY", "wayland-1"}}),
       TDesktopKind::dkWlroots},
      {Env({{"KV_DESKTOP", "wlroots"}}), TDesktopKind::dkWlroots},
      {Env({{"DESKTOP_SESSION", "plasmawayland"}, {"WAYLAND_DISPLAY", "wayland-0"}}),
       TDesktopKind::dkKde},
      {Env({{"DESKTOP_SESSION", "xubuntu"}}), TDesktopKind::dkXfce},
      {Env({{"KDE_FULL_SESSION", "true"}, {"DISPLAY", ":0"}}), TDesktopKind::dkKde},
      {Env({{"MATE_DESKTOP_SESSION_ID", "this-is-deprecated"}}), TDesktopKind::dkMate},
      {Env({{"XDG_CURRENT_DESKTOP", "i3"}, {"DISPLAY", ":0"}}), TDesktopKind::dkX11},
  };
  for (const auto& c : cases) {
    const TDesktopDetection d = DetectDesktop(c.env);
    EXPECT_EQ(d.Kind, c.kind) << c.env.toStringList().join(' ').toStdString();
  }

  // XWayland's root window is not what a Wayland compositor shows.
  TDesktopDetection d = DetectDesktop(
      Env({{"XDG_CURRENT_DESKTOP", "weston"}, {"WAYLAND_DISPLAY", "wayland-1"}, {"DISPLAY", ":0"}}));
  EXPECT_EQ(d.Kind, TDesktopKind::dkNone);
  EXPECT_TRUE(d.Reason.contains("cannot be set on this Wayland desktop (weston)")) << d.Reason.toStdString();
  d = DetectDesktop(Env({{"XDG_CURRENT_DESKTOP", "LXDE"}, {"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}}));
  EXPECT_EQ(d.Kind, TDesktopKind::dkNone) << "pcmanfm draws on X11 only";
  EXPECT_TRUE(d.Reason.contains("Wayland desktop (LXDE)")) << d.Reason.toStdString();
  d = DetectDesktop(QProcessEnvironment());
  EXPECT_EQ(d.Kind, TDesktopKind::dkNone);
  EXPECT_TRUE(d.Reason.contains("DISPLAY"));
  d = DetectDesktop(Env({{"KV_DESKTOP", "windows"}, {"DISPLAY", ":0"}}));
  EXPECT_EQ(d.Kind, TDesktopKind::dkNone);
  EXPECT_TRUE(d.Reason.contains("windows") && d.Reason.contains("lxqt, sway, wlroots"))
      << d.Reason.toStdString();
  d = DetectDesktop(Env({{"KV_DESKTOP", "none"}, {"XDG_CURRENT_DESKTOP", "GNOME"}}));
  EXPECT_EQ(d.Kind, TDesktopKind::dkNone);
}

TEST(DesktopCompose, TilesFitsAndFillsWithinTheScreen) {
  const QImage pic = PatternImage(30, 20);
  const QImage tiled = ComposeWallpaper(pic, QSize(70, 50), TWallpaperStyle::wsTiled);
  ASSERT_EQ(tiled.size(), QSize(70, 50));
  EXPECT_EQ(tiled.pixel(0, 0), pic.pixel(0, 0));
  EXPECT_EQ(tiled.pixel(65, 45), pic.pixel(5, 5));

  // 30x20 in 90x100: fit gives 90x60 at y 20, fill gives 150x100 at x -30.
  const QImage fit = ComposeWallpaper(pic, QSize(90, 100), TWallpaperStyle::wsFit);
  EXPECT_EQ(fit.pixel(45, 10), qRgb(0, 0, 0));
  EXPECT_EQ(fit.pixel(45, 89), qRgb(0, 0, 0));
  EXPECT_NE(fit.pixel(45, 21), qRgb(0, 0, 0));
  const QImage fill = ComposeWallpaper(pic, QSize(90, 100), TWallpaperStyle::wsFill);
  for (QPoint p : {QPoint(0, 0), QPoint(89, 0), QPoint(0, 99), QPoint(89, 99)})
    EXPECT_NE(fill.pixel(p), qRgb(0, 0, 0));
}

TEST(DesktopCompose, EachMonitorGetsItsOwnPlacementSpanCrossesThemAll) {
  const QImage pic = PatternImage(40, 20, 3);
  // Two monitors of different sizes side by side, and a third partly outside the root.
  const QList<QRect> monitors{QRect(0, 0, 100, 60), QRect(100, 10, 60, 40), QRect(150, 0, 100, 10)};
  const QImage out = ComposeWallpaperOnMonitors(pic, QSize(170, 70), monitors, TWallpaperStyle::wsCentered);
  ASSERT_EQ(out.size(), QSize(170, 70));
  auto at = [&](int x, int y) { return out.pixel(x, y) & 0xFFFFFF; };
  auto src = [&](int x, int y) { return pic.pixel(x, y) & 0xFFFFFF; };
  // Centred on the first: the picture starts at (30, 20).
  EXPECT_EQ(at(30, 20), src(0, 0));
  EXPECT_EQ(at(69, 39), src(39, 19));
  EXPECT_EQ(at(29, 20), 0u);
  // Centred on the second (60 x 40 at 100, 10): at (110, 20). The third is cut to the root
  // (20 x 10 at 150, 0): its copy starts 10 columns and 5 rows before it.
  EXPECT_EQ(at(110, 20), src(0, 0));
  EXPECT_EQ(at(149, 39), src(39, 19));
  EXPECT_EQ(at(150, 0), src(10, 5));
  EXPECT_EQ(at(130, 65), 0u) << "outside every monitor stays black";

  // Left half red, right half blue: filling each monitor repeats both halves, spanning shows
  // each half once.
  QImage halves(40, 20, QImage::Format_RGB32);
  halves.fill(qRgb(255, 0, 0));
  for (int y = 0; y < 20; ++y)
    for (int x = 20; x < 40; ++x) halves.setPixel(x, y, qRgb(0, 0, 255));
  const QList<QRect> pair{QRect(0, 0, 100, 60), QRect(100, 0, 100, 60)};
  const QImage fill = ComposeWallpaperOnMonitors(halves, QSize(200, 60), pair, TWallpaperStyle::wsFill);
  const QImage span = ComposeWallpaperOnMonitors(halves, QSize(200, 60), pair, TWallpaperStyle::wsSpan);
  EXPECT_EQ(fill.pixel(90, 30) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(fill.pixel(110, 30) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(span.pixel(90, 30) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(span.pixel(110, 30) & 0xFFFFFF, 0x0000FFu);

  // No monitors: the whole screen is one, as ComposeWallpaper places it.
  EXPECT_EQ(ComposeWallpaperOnMonitors(pic, QSize(90, 50), {}, TWallpaperStyle::wsFit),
            ComposeWallpaper(pic, QSize(90, 50), TWallpaperStyle::wsFit));
}

TEST_F(DesktopBackend, KdeGetsAFreshCopyOnEveryApply) {
  WriteRecordingStub(bin_, "plasma-apply-wallpaperimage", log_);
  env_.PrependPath(bin_);
  TDesktopBackground desktop;
  desktop.Kind = TDesktopKind::dkKde;

  for (char expected : {'a', 'b', 'a'}) {
    SavePicture(PatternImage(64, 48, expected), picture_);
    const TDesktopStatus st = desktop.Apply(picture_, TWallpaperStyle::wsCentered);
    ASSERT_TRUE(st.Ok()) << st.Message.toStdString();
    const auto calls = ReadCalls(log_);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), QStringList{Copy(expected)});
    EXPECT_EQ(ReadFile(Copy(expected)), ReadFile(picture_));
    EXPECT_FALSE(QFileInfo::exists(Copy(expected == 'a' ? 'b' : 'a'))) << "stale copy left behind";
  }
  EXPECT_EQ(ReadCalls(log_).size(), 3u);
  EXPECT_TRUE(QFileInfo::exists(picture_));
}

TEST_F(DesktopBackend, MateAndCinnamonArgumentVectors) {
  WriteRecordingStub(bin_, "gsettings", log_);
  env_.PrependPath(bin_);
  QDir().mkpath(dir_.path() + "/it's here");
  const QString quoted = dir_.path() + "/it's here/kvmir.bmp";
  SavePicture(PatternImage(8, 8), quoted);
  const QString copy = dir_.path() + "/it's here/kvmir-a.bmp";

  TDesktopBackground mate;
  mate.Kind = TDesktopKind::dkMate;
  ASSERT_TRUE(mate.Apply(quoted, TWallpaperStyle::wsStretched).Ok());
  auto calls = ReadCalls(log_);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], (QStringList{"set", "org.mate.background", "picture-options", "'stretched'"}));
  EXPECT_EQ(calls[1],
            (QStringList{"set", "org.mate.background", "picture-filename",
                         "'" + QString(copy).replace("'", "\\'") + "'"}));

  QFile::remove(log_);
  TDesktopBackground cinnamon;
  cinnamon.Kind = TDesktopKind::dkCinnamon;
  ASSERT_TRUE(cinnamon.Apply(quoted, TWallpaperStyle::wsTiled).Ok());
  calls = ReadCalls(log_);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0],
            (QStringList{"set", "org.cinnamon.desktop.background", "picture-options", "'wallpaper'"}));
  const QString uri = QUrl::fromLocalFile(dir_.path() + "/it's here/kvmir-b.bmp").toEncoded();
  EXPECT_EQ(calls[1], (QStringList{"set", "org.cinnamon.desktop.background", "picture-uri",
                                   "'" + QString(uri).replace("'", "\\'") + "'"}));
  EXPECT_TRUE(uri.contains("it's%20here")) << uri.toStdString();
}

TEST_F(DesktopBackend, GnomeKeyfileSettingsChangeOnEveryApply) {
  KV_REQUIRE_PROGRAM("gsettings");
  env_.Set("GSETTINGS_BACKEND", "keyfile");
  env_.Set("XDG_CONFIG_HOME", dir_.path() + "/config");
  if (RunProgram("gsettings", {"list-keys", "org.gnome.desktop.background"}).exitCode != 0)
    KV_SKIP_MISSING() << "the schema org.gnome.desktop.background is not installed";
  auto get = [](const char* key) {
    const RunResult r = RunProgram("gsettings", {"get", "org.gnome.desktop.background", key});
    return r.out.trimmed();
  };
  // The value comes back as a GVariant text in single or double quotes.
  auto path = [&](const char* key) { return QUrl(get(key).mid(1).chopped(1)).toLocalFile(); };

  const QString folder = dir_.path() + "/it's a folder";
  const QString file = folder + "/kvmir.bmp";
  SavePicture(PatternImage(16, 16), file);
  TDesktopBackground desktop;
  desktop.Kind = TDesktopKind::dkGnome;
  for (char expected : {'a', 'b', 'a'}) {
    const TDesktopStatus st = desktop.Apply(file, TWallpaperStyle::wsCentered);
    ASSERT_TRUE(st.Ok()) << st.Message.toStdString();
    const QString copy = folder + "/kvmir-" + expected + ".bmp";
    EXPECT_EQ(path("picture-uri"), copy);
    EXPECT_EQ(path("picture-uri-dark"), copy);
    EXPECT_EQ(get("picture-options"), "'centered'");
    EXPECT_TRUE(QFileInfo::exists(copy));
  }
  ASSERT_TRUE(desktop.Apply(file, TWallpaperStyle::wsFill).Ok());
  EXPECT_EQ(get("picture-options"), "'zoom'");
}

TEST_F(DesktopBackend, FailuresAreClearAndReportedOnce) {
  TDesktopBackground desktop;
  desktop.Kind = TDesktopKind::dkKde;
  env_.Set("PATH", bin_);  // nothing on it yet
  TDesktopStatus st = desktop.Apply(picture_, TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drProgramMissing);
  EXPECT_TRUE(st.Message.contains("plasma-apply-wallpaperimage"));
  EXPECT_FALSE(st.Repeated);
  st = desktop.Apply(picture_, TWallpaperStyle::wsCentered);
  EXPECT_TRUE(st.Repeated);
  EXPECT_FALSE(QFileInfo::exists(Copy('a'))) << "no copy without a program to take it";

  WriteStub(bin_, "plasma-apply-wallpaperimage", "echo 'The wallpaper plugin is gone' >&2\nexit 3\n");
  st = desktop.Apply(picture_, TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drProgramFailed);
  EXPECT_TRUE(st.Message.contains("exit code 3") && st.Message.contains("plugin is gone"))
      << st.Message.toStdString();
  EXPECT_FALSE(st.Repeated) << "a different failure is reported again";

  WriteStub(bin_, "plasma-apply-wallpaperimage", "exec /bin/sleep 30\n");
  desktop.TimeoutMs = 300;
  QElapsedTimer clock;
  clock.start();
  st = desktop.Apply(picture_, TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drTimeout);
  EXPECT_LT(clock.elapsed(), 5000);

  WriteRecordingStub(bin_, "plasma-apply-wallpaperimage", log_);
  EXPECT_TRUE(desktop.Apply(picture_, TWallpaperStyle::wsCentered).Ok());
  // Both copies were left while failing; success keeps only the one in use.
  EXPECT_EQ(QFileInfo::exists(Copy('a')) + QFileInfo::exists(Copy('b')), 1);

  st = desktop.Apply(folder_ + "/missing.bmp", TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drBadPicture);
  EXPECT_FALSE(st.Repeated) << "a failure after a success is new";
  WriteFile(folder_ + "/notes.bmp", "this is not a picture");
  st = desktop.Apply(folder_ + "/notes.bmp", TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drBadPicture);
  EXPECT_EQ(ReadCalls(log_).size(), 1u) << "bad pictures never reach the desktop";

  desktop.Kind = TDesktopKind::dkNone;
  st = desktop.Apply(picture_, TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drUnsupported);
}

TEST_F(DesktopBackend, XfceWithoutASessionBusFailsClearly) {
  env_.Unset("DBUS_SESSION_BUS_ADDRESS");
  env_.Set("XDG_RUNTIME_DIR", dir_.path());  // no bus socket in it
  TDesktopBackground desktop;
  desktop.Kind = TDesktopKind::dkXfce;
  const TDesktopStatus st = desktop.Apply(picture_, TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drUnsupported);
  EXPECT_EQ(st.Message.toStdString(), "The XFCE settings cannot be reached. There is no session bus.");
}

TEST_F(DesktopBackend, DetectedDesktopWithoutDisplayFails) {
  for (const char* name : {"KV_DESKTOP", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                           "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "WAYLAND_DISPLAY",
                           "XDG_SESSION_TYPE", "DISPLAY"})
    env_.Unset(name);
  TDesktopBackground desktop;
  TDesktopStatus st = desktop.Apply(picture_, TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drUnsupported);
  EXPECT_FALSE(st.Message.isEmpty());

  // An X display that is not there.
  desktop.Kind = TDesktopKind::dkX11;
  env_.Set("DISPLAY", ":917");
  st = desktop.Apply(picture_, TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drUnsupported);
  EXPECT_TRUE(st.Message.contains(":917"));
}

TEST_F(DesktopBackend, ScreenSaverThroughXdgOrAClearFailure) {
  WriteRecordingStub(bin_, "xdg-screensaver", log_);
  env_.Set("PATH", bin_);
  ASSERT_TRUE(ActivateScreenSaver().Ok());
  ASSERT_EQ(ReadCalls(log_).size(), 1u);
  EXPECT_EQ(ReadCalls(log_)[0], QStringList{"activate"});

  QFile::remove(bin_ + "/xdg-screensaver");
  env_.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir_.path() + "/no-bus");
  const TDesktopStatus st = ActivateScreenSaver(2000);
  EXPECT_FALSE(st.Ok());
  EXPECT_TRUE(st.Message.contains("xdg-screensaver")) << st.Message.toStdString();
}

// XFCE keeps its settings in the xfconf daemon, reached over a session bus: the checks run in
// this binary started again under a private one.
TEST(XfceDesktop, SetsEveryMonitorAndWorkspace) {
  KV_REQUIRE_PROGRAM("dbus-run-session");
  KV_REQUIRE_PROGRAM("xfconf-query");
  ScopedEnv env;
  env.Set("KV_XFCE_SESSION_TEST", "1");
  const RunResult r = RunProgram(
      "dbus-run-session",
      {"--", QCoreApplication::applicationFilePath(), "--gtest_filter=XfceDesktop.InsideSession"},
      60000);
  EXPECT_TRUE(r.finished && r.exitCode == 0) << r.out.toStdString() << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("[  PASSED  ] 1 test.")) << r.out.toStdString();
}

TEST(XfceDesktop, InsideSession) {
  if (qEnvironmentVariable("KV_XFCE_SESSION_TEST") != "1")
    GTEST_SKIP() << "runs inside the D-Bus session started by XfceDesktop.SetsEveryMonitorAndWorkspace";
  QTemporaryDir dir(TestRoot() + "/xfce-XXXXXX");
  const QString file = dir.path() + "/kvmir.bmp";
  SavePicture(PatternImage(32, 32), file);
  auto query = [](QStringList args) {
    return RunProgram("xfconf-query", QStringList{"-c", "xfce4-desktop"} + args);
  };

  TDesktopBackground desktop;
  desktop.Kind = TDesktopKind::dkXfce;
  TDesktopStatus st = desktop.Apply(file, TWallpaperStyle::wsCentered);
  EXPECT_EQ(st.Result, TDesktopResult::drUnsupported) << "an empty channel has nothing to set";
  EXPECT_TRUE(st.Message.contains("xfce4-desktop"));

  QStringList images;
  for (const char* monitor : {"monitorVirtual-1", "monitorHDMI-2"})
    for (const char* workspace : {"workspace0", "workspace1"})
      images << QString("/backdrop/screen0/%1/%2/last-image").arg(monitor, workspace);
  for (const QString& p : images)
    ASSERT_EQ(query({"-p", p, "-n", "-t", "string", "-s", "/usr/share/old.png"}).exitCode, 0);
  ASSERT_EQ(query({"-p", "/backdrop/screen0/monitorHDMI-2/workspace0/image-style", "-n", "-t", "int",
                   "-s", "0"}).exitCode, 0);
  ASSERT_EQ(query({"-p", "/desktop-icons/style", "-n", "-t", "int", "-s", "2"}).exitCode, 0);

  // The failed attempt may have left a copy: each apply names the other one.
  QStringList used;
  for (int round = 0; round < 2; ++round) {
    st = desktop.Apply(file, TWallpaperStyle::wsFill);
    ASSERT_TRUE(st.Ok()) << st.Message.toStdString();
    used << query({"-p", images[0]}).out.trimmed();
    EXPECT_TRUE(used.last().endsWith("/kvmir-a.bmp") || used.last().endsWith("/kvmir-b.bmp"));
    EXPECT_TRUE(QFileInfo::exists(used.last()));
    for (const QString& p : images) {
      EXPECT_EQ(query({"-p", p}).out.trimmed().toStdString(), used.last().toStdString());
      QString style = p;
      style.replace("last-image", "image-style");
      EXPECT_EQ(query({"-p", style}).out.trimmed().toStdString(), "5") << style.toStdString();
    }
  }
  EXPECT_NE(used[0], used[1]);
  EXPECT_FALSE(QFileInfo::exists(used[0]));
  EXPECT_EQ(query({"-p", "/desktop-icons/style"}).out.trimmed(), "2");
}
