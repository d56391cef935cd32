// A picture change as the user waits for it on a bare X11 session: a 1080p photo decoded, the
// calendar drawn over it, the calendar bitmap written and the root window's picture set, against
// what the libraries alone need for the same (libjpeg's decode of the photo, as many bytes written
// and flushed as the bitmap has, and Xlib putting a screen of pixels on a root pixmap). Also the
// apply alone, from the drawn bitmap and from the file read back, and the X server's own floor.
//
// Needs an X server of 1920 x 1080: the one of $DISPLAY, else a private Xvfb started here.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <cstdlib>

#include "calendar/MirRender.h"
#include "foundation/KVPicture.h"
#include "platform/KVDesktop.h"
#include "bench/BenchUtil.h"

// Xlib's macros clash with Qt names: last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

const QSize kScreen(1920, 1080);

QString BitmapPath() { return kvbench::TheSandbox().dir.path() + QStringLiteral("/kvmir.bmp"); }

bool HaveDisplay(benchmark::State& st) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    st.SkipWithError("no X display");
    return false;
  }
  return true;
}

// The root window setter of this program, told which desktop it is on.
TDesktopBackground& Desktop() {
  static TDesktopBackground d;
  d.Kind = TDesktopKind::dkX11;
  return d;
}

void Fail(benchmark::State& st, const TDesktopStatus& s) {
  if (!s.Ok()) st.SkipWithError(s.Message.toStdString().c_str());
}

// The change as the tray's rotation does it: drawn, written, applied; with HandOver the drawn
// bitmap goes to the setter, without it the setter reads the file it was given.
void ChangeAndApply(benchmark::State& st, bool HandOver) {
  if (!HaveDisplay(st)) return;
  kvbench::CalendarScene s(kScreen, kvbench::ThePhoto1080p().path);
  for (auto _ : st) {
    s.state.DropPicture();
    RenderCalendar(s.state, s.in, true);
    SaveBitmap24(BitmapPath(), s.state.Preview.Image());
    Fail(st, Desktop().Apply(BitmapPath(), TWallpaperStyle::wsCentered, HandOver ? s.state.Preview.Image() : QImage()));
  }
}
void BM_ChangeAndApply1080p(benchmark::State& st) { ChangeAndApply(st, true); }
void BM_ChangeAndApply1080p_FileReadBack(benchmark::State& st) { ChangeAndApply(st, false); }

// The apply alone, of a calendar drawn and written once.
void Apply(benchmark::State& st, bool HandOver) {
  if (!HaveDisplay(st)) return;
  kvbench::CalendarScene s(kScreen, kvbench::ThePhoto1080p().path);
  RenderCalendar(s.state, s.in, true);
  SaveBitmap24(BitmapPath(), s.state.Preview.Image());
  const QImage picture = HandOver ? s.state.Preview.Image() : QImage();
  for (auto _ : st) Fail(st, Desktop().Apply(BitmapPath(), TWallpaperStyle::wsCentered, picture));
}
void BM_Apply1080p(benchmark::State& st) { Apply(st, true); }
void BM_Apply1080p_FileReadBack(benchmark::State& st) { Apply(st, false); }

// Xlib alone: a screen of 32-bit pixels put on a new root pixmap that becomes the root's
// background, the old one freed.
void BareRootPicture(Display* dpy, std::vector<char>& pixels) {
  const int screen = DefaultScreen(dpy);
  const Window root = RootWindow(dpy, screen);
  const int w = DisplayWidth(dpy, screen), h = DisplayHeight(dpy, screen);
  pixels.resize(size_t(w) * size_t(h) * 4, char(0x40));
  XImage* image = XCreateImage(dpy, DefaultVisual(dpy, screen), unsigned(DefaultDepth(dpy, screen)), ZPixmap, 0,
                               pixels.data(), unsigned(w), unsigned(h), 32, 0);
  const Pixmap pixmap = XCreatePixmap(dpy, root, unsigned(w), unsigned(h), unsigned(DefaultDepth(dpy, screen)));
  GC gc = XCreateGC(dpy, pixmap, 0, nullptr);
  XPutImage(dpy, pixmap, gc, image, 0, 0, 0, 0, unsigned(w), unsigned(h));
  XFreeGC(dpy, gc);
  image->data = nullptr;
  XDestroyImage(image);
  XSetWindowBackgroundPixmap(dpy, root, pixmap);
  XClearWindow(dpy, root);
  XFreePixmap(dpy, pixmap);
  XSync(dpy, False);
}

void BM_Baseline_BareRootPicture(benchmark::State& st) {
  if (!HaveDisplay(st)) return;
  Display* dpy = XOpenDisplay(nullptr);
  std::vector<char> pixels;
  for (auto _ : st) BareRootPicture(dpy, pixels);
  XCloseDisplay(dpy);
}

// The floor of the whole change: the photo decoded by libjpeg, the bitmap's bytes written and
// flushed, a screen of pixels on the root.
void BM_Baseline_DecodeWriteRoot1080p(benchmark::State& st) {
  if (!HaveDisplay(st)) return;
  Display* dpy = XOpenDisplay(nullptr);
  std::vector<char> pixels;
  const QString out = kvbench::TheSandbox().dir.path() + QStringLiteral("/bare.bmp");
  for (auto _ : st) {
    kvbench::BareDecode(kvbench::ThePhoto1080p().path, 8);
    kvbench::BareWriteAndSync(out, kScreen);
    BareRootPicture(dpy, pixels);
  }
  XCloseDisplay(dpy);
}

}  // namespace

BENCHMARK(BM_Baseline_DecodeWriteRoot1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChangeAndApply1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChangeAndApply1080p_FileReadBack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_BareRootPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Apply1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Apply1080p_FileReadBack)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  // A private X server of the screen's size when none is given.
  QProcess xvfb;
  if (qEnvironmentVariableIsEmpty("DISPLAY") && !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                        QStringLiteral("0"), QStringLiteral("1920x1080x24"), QStringLiteral("-nolisten"),
                                        QStringLiteral("tcp")});
    QByteArray number;
    while (!number.contains('\n') && xvfb.waitForReadyRead(10000)) number += xvfb.readAllStandardOutput();
    if (number.contains('\n')) qputenv("DISPLAY", ":" + number.trimmed());
  }
  for (const char* name : {"WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"})
    qunsetenv(name);
  const int rc = kvbench::RunBenchmarks(argc, argv, [] {
    kvbench::ThePhoto1080p();
  });
  if (xvfb.state() == QProcess::Running) {
    xvfb.terminate();
    xvfb.waitForFinished(3000);
  }
  return rc;
}
