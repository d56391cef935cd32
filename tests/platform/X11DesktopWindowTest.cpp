// The X11 root fallback on a private X server: desktop windows that hide the root, pcmanfm's
// windows handed to pcmanfm, and several RandR monitors.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/KVDesktop.h"
#include "platform/KVX11Root.h"
#include "tests/common/DesktopTestUtil.h"
#include "tests/platform/DesktopSession.h"

// Xlib's macros clash with Qt names: it comes last.
#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>

using namespace kvtest;

namespace {

class X11Session : public ::testing::Test {
 protected:
  // Starts the server; false (with the test skipped or failed) when it cannot run.
  QString Start(QSize size) {
    if (const QString reason = x_.Start(size); !reason.isEmpty()) return reason;
    ClearSessionVariables(env_);
    env_.Set("DISPLAY", x_.Name());
    return {};
  }

  // A mapped window of the desktop type; inside a frame window when framed.
  Window DesktopWindow(QRect r, const char* program, bool framed = false) {
    Display* dpy = x_.Dpy();
    const Window root = DefaultRootWindow(dpy);
    Window parent = root;
    if (framed) {
      parent = XCreateSimpleWindow(dpy, root, r.x(), r.y(), unsigned(r.width()), unsigned(r.height()), 0, 0, 0);
      r.moveTo(0, 0);
    }
    const Window w =
        XCreateSimpleWindow(dpy, parent, r.x(), r.y(), unsigned(r.width()), unsigned(r.height()), 0, 0, 0x336699);
    const Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
    const Atom desktop = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
    XChangeProperty(dpy, w, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&desktop), 1);
    if (program) {
      XClassHint hint{const_cast<char*>(program), const_cast<char*>(program)};
      XSetClassHint(dpy, w, &hint);
    }
    XMapWindow(dpy, w);
    if (framed) XMapWindow(dpy, parent);
    XSync(dpy, False);
    return framed ? parent : w;
  }

  bool RootPixmapSet() {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(x_.Dpy(), DefaultRootWindow(x_.Dpy()), XInternAtom(x_.Dpy(), "_XROOTPMAP_ID", False), 0, 1,
                       False, XA_PIXMAP, &type, &format, &count, &after, &data);
    if (data) XFree(data);
    return count == 1;
  }

  // Monitors made as `xrandr --setmonitor` makes them; the first takes the server's output, so
  // that the output's own monitor goes away.
  void SetMonitors(const QList<QRect>& monitors) {
    Display* dpy = x_.Dpy();
    const Window root = DefaultRootWindow(dpy);
    // The server refuses a monitor that takes an output another one holds: the old ones go first.
    int count = 0;
    if (XRRMonitorInfo* old = XRRGetMonitors(dpy, root, False, &count)) {
      for (int i = 0; i < count; ++i)
        if (!old[i].automatic) XRRDeleteMonitor(dpy, root, old[i].name);
      XRRFreeMonitors(old);
    }
    XRRScreenResources* res = XRRGetScreenResources(dpy, root);
    ASSERT_NE(res, nullptr);
    for (int i = 0; i < monitors.size(); ++i) {
      const bool first = i == 0 && res->noutput > 0;
      XRRMonitorInfo* m = XRRAllocateMonitor(dpy, first ? 1 : 0);
      m->name = XInternAtom(dpy, QByteArray("KV-" + QByteArray::number(i)).constData(), False);
      m->primary = i == 0;
      m->automatic = False;
      m->x = monitors[i].x();
      m->y = monitors[i].y();
      m->width = monitors[i].width();
      m->height = monitors[i].height();
      m->mwidth = monitors[i].width() / 4;
      m->mheight = monitors[i].height() / 4;
      if (first) m->outputs[0] = res->outputs[0];
      XRRSetMonitor(dpy, root, m);
      XRRFreeMonitors(m);
    }
    XRRFreeScreenResources(res);
    XSync(dpy, False);
  }

  TDesktopStatus Apply(const QImage& picture, TWallpaperStyle style = TWallpaperStyle::wsCentered) {
    SavePicture(picture, file_);
    return desktop_.Apply(file_, style);
  }

  ScopedEnv env_;
  TXServer x_;
  TDesktopBackground desktop_;  // detected: an unknown session on X11 is the root fallback
  QTemporaryDir dir_{TestRoot() + "/x11s-XXXXXX"};
  QString file_ = dir_.path() + "/kvmir.bmp";
};

}  // namespace

TEST_F(X11Session, DesktopWindowOverTheRootFailsNamingItsProgramOrTheSession) {
  if (const QString reason = Start(QSize(1280, 800)); !reason.isEmpty()) KV_SKIP_OR_FAIL(reason.toStdString());
  env_.Set("XDG_CURRENT_DESKTOP", "Deepin");
  const QImage picture = PatternImage(1280, 800, 5);

  const Window named = DesktopWindow(QRect(0, 0, 1280, 800), "dde-desktop");
  const auto found = FindX11DesktopWindow();
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->Program, "dde-desktop");
  EXPECT_EQ(found->Geometry, QRect(0, 0, 1280, 800));
  TDesktopStatus st = Apply(picture);
  EXPECT_EQ(st.Result, TDesktopResult::drUnsupported);
  EXPECT_TRUE(st.Message.contains("(dde-desktop) is not supported")) << st.Message.toStdString();
  EXPECT_FALSE(RootPixmapSet()) << "the hidden root is left alone";

  // Inside a window manager's frame and without WM_CLASS: the session names it.
  XUnmapWindow(x_.Dpy(), named);
  const Window frame = DesktopWindow(QRect(0, 0, 1280, 800), nullptr, true);
  st = Apply(picture);
  EXPECT_EQ(st.Result, TDesktopResult::drUnsupported);
  EXPECT_TRUE(st.Message.contains("(Deepin) is not supported")) << st.Message.toStdString();
  EXPECT_FALSE(st.Repeated) << "another window, another failure";
  EXPECT_TRUE(Apply(picture).Repeated) << "the same failure again is told once";

  // A desktop widget of the desktop type hides nothing: the root shows the picture around it.
  XUnmapWindow(x_.Dpy(), frame);
  DesktopWindow(QRect(900, 20, 300, 200), "conky");
  EXPECT_FALSE(FindX11DesktopWindow().has_value());
  st = Apply(picture);
  ASSERT_TRUE(st.Ok()) << st.Message.toStdString();
  EXPECT_TRUE(RootPixmapSet());
  const QImage shown = x_.Grab();
  EXPECT_EQ(MatchRatio(shown, picture, QRect(0, 0, 900, 800)), 1.0);
  EXPECT_EQ(shown.pixel(1000, 100) & 0xFFFFFF, 0x336699u) << "the widget stays on top";
}

// pcmanfm's windows are handed to pcmanfm; a stub stands in for it and records the request.
TEST_F(X11Session, PcmanfmWindowsGetTheRequestWithTheirOwnModeNames) {
  if (const QString reason = Start(QSize(800, 600)); !reason.isEmpty()) KV_SKIP_OR_FAIL(reason.toStdString());
  const QString bin = dir_.path() + "/bin", log = dir_.path() + "/calls.log";
  WriteRecordingStub(bin, "pcmanfm", log);
  WriteRecordingStub(bin, "pcmanfm-qt", log);
  env_.PrependPath(bin);
  env_.Set("XDG_CURRENT_DESKTOP", "LXDE");
  const QImage picture = PatternImage(800, 600);

  const Window gtk = DesktopWindow(QRect(0, 0, 800, 600), "pcmanfm");
  const struct {
    TWallpaperStyle style;
    const char* mode;
  } gtkModes[] = {{TWallpaperStyle::wsCentered, "center"}, {TWallpaperStyle::wsFill, "crop"},
                  {TWallpaperStyle::wsSpan, "screen"}, {TWallpaperStyle::wsTiled, "tile"}};
  for (const auto& c : gtkModes) {
    ASSERT_TRUE(Apply(picture, c.style).Ok());
    const auto calls = ReadCalls(log);
    ASSERT_FALSE(calls.empty());
    const QString copy = calls.back().value(0).section('=', 1);
    EXPECT_EQ(calls.back(), (QStringList{"--set-wallpaper=" + copy, QString("--wallpaper-mode=") + c.mode}));
    EXPECT_TRUE(copy.endsWith("/kvmir-a.bmp") || copy.endsWith("/kvmir-b.bmp")) << copy.toStdString();
    EXPECT_EQ(ReadFile(copy), ReadFile(file_));
  }
  EXPECT_FALSE(RootPixmapSet());

  // The session's name does not matter: the window that is there decides.
  XUnmapWindow(x_.Dpy(), gtk);
  env_.Set("XDG_CURRENT_DESKTOP", "openbox");
  DesktopWindow(QRect(0, 0, 800, 600), "pcmanfm-qt");
  ASSERT_TRUE(Apply(picture, TWallpaperStyle::wsFill).Ok());
  EXPECT_EQ(ReadCalls(log).back().value(1), "--wallpaper-mode=zoom");
  ASSERT_TRUE(Apply(picture, TWallpaperStyle::wsSpan).Ok());
  EXPECT_EQ(ReadCalls(log).back().value(1), "--wallpaper-mode=zoom") << "pcmanfm-qt cannot span";
  EXPECT_EQ(ReadCalls(log).size(), 6u);
}

TEST_F(X11Session, EveryMonitorShowsThePictureAsAWallpaperSetterPlacesIt) {
  if (const QString reason = Start(QSize(3840, 1080)); !reason.isEmpty()) KV_SKIP_OR_FAIL(reason.toStdString());
  const QRect left(0, 0, 1920, 1080), right(1920, 0, 1920, 1080);
  SetMonitors({left, right});
  const QList<QRect> monitors = X11Monitors();
  ASSERT_EQ(monitors.size(), 2);
  EXPECT_TRUE(monitors.contains(left) && monitors.contains(right));

  // The calendar's bitmap has one monitor's size: each monitor shows all of it.
  const QImage calendar = PatternImage(1920, 1080, 9);
  ASSERT_TRUE(Apply(calendar).Ok());
  QImage shown = x_.Grab();
  EXPECT_EQ(shown.copy(left), calendar);
  EXPECT_EQ(shown.copy(right), calendar);

  // A smaller picture is centred on each monitor, not across the seam.
  const QImage small = PatternImage(1000, 600, 17);
  ASSERT_TRUE(Apply(small).Ok());
  shown = x_.Grab();
  EXPECT_EQ(shown.copy(QRect(460, 240, 1000, 600)), small);
  EXPECT_EQ(shown.copy(QRect(1920 + 460, 240, 1000, 600)), small);
  for (QPoint black : {QPoint(459, 540), QPoint(1919, 540), QPoint(1920, 540), QPoint(1920 + 1460, 540)})
    EXPECT_EQ(shown.pixel(black) & 0xFFFFFF, 0u) << black.x();

  // Spanning places it once across both.
  QImage halves(40, 20, QImage::Format_RGB32);
  halves.fill(qRgb(255, 0, 0));
  for (int y = 0; y < 20; ++y)
    for (int x = 20; x < 40; ++x) halves.setPixel(x, y, qRgb(0, 0, 255));
  ASSERT_TRUE(Apply(halves, TWallpaperStyle::wsSpan).Ok());
  shown = x_.Grab();
  EXPECT_EQ(shown.pixel(1800, 540) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(shown.pixel(2040, 540) & 0xFFFFFF, 0x0000FFu);

  // A smaller second monitor: its own copy, centred on it, cut at its edges.
  const QRect second(1920, 0, 1280, 1024);
  SetMonitors({left, second});
  ASSERT_TRUE(Apply(calendar).Ok());
  shown = x_.Grab();
  EXPECT_EQ(shown.copy(left), calendar);
  EXPECT_EQ(shown.copy(second), calendar.copy(QRect(320, 28, 1280, 1024)));
  EXPECT_EQ(shown.pixel(3300, 500) & 0xFFFFFF, 0u) << "beyond the monitors";
}
