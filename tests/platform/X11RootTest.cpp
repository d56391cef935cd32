#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QRegion>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "platform/KVDesktop.h"
#include "tests/common/DesktopTestUtil.h"
#include "tests/common/SkipMissing.h"

// Xlib's macros clash with Qt names: it comes last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace kvtest;

namespace {

int g_xerror = 0;
int RecordError(Display*, XErrorEvent* e) {
  g_xerror = e->error_code;
  return 0;
}

int Channel(unsigned long pixel, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0, bits = 0;
  for (; !(mask & 1); mask >>= 1) ++shift;
  for (; mask & 1; mask >>= 1) ++bits;
  const int v = int((pixel >> shift) & ((1ul << bits) - 1));
  return bits >= 8 ? v >> (bits - 8) : v << (8 - bits);
}

class X11Root : public ::testing::Test {
 protected:
  void SetUp() override {
    display_ = qEnvironmentVariable("KV_TEST_DISPLAY");
    if (display_.isEmpty())
      KV_SKIP_MISSING() << "KV_TEST_DISPLAY is not set: the X11 checks run under scripts/setup.sh test";
    env_.Set("DISPLAY", display_);
    // Every test process on this display shares its root window.
    const QString lockName =
        "/tmp/kv-x11-root-" + QString(display_).replace(QRegularExpression("[^0-9A-Za-z]"), "_");
    lock_ = ::open(lockName.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(lock_, 0);
    ASSERT_EQ(::flock(lock_, LOCK_EX), 0);
    // A server started without -noreset refuses connections for a moment while it resets
    // after its last client left.
    for (int attempt = 0; attempt < 40 && !dpy_; ++attempt) {
      dpy_ = XOpenDisplay(display_.toLocal8Bit().constData());
      if (!dpy_) ::usleep(50000);
    }
    ASSERT_NE(dpy_, nullptr) << "cannot open the X display " << display_.toStdString();
    previous_ = XSetErrorHandler(&RecordError);
    root_ = DefaultRootWindow(dpy_);
    screen_ = QSize(DisplayWidth(dpy_, DefaultScreen(dpy_)), DisplayHeight(dpy_, DefaultScreen(dpy_)));
    ASSERT_TRUE(dir_.isValid());
  }
  void TearDown() override {
    if (dpy_) {
      XSetErrorHandler(previous_);
      XCloseDisplay(dpy_);
    }
    if (lock_ >= 0) ::close(lock_);
  }

  Pixmap Property(const char* name) {
    const Atom atom = XInternAtom(dpy_, name, False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Pixmap result = 0;
    if (XGetWindowProperty(dpy_, root_, atom, 0, 1, False, XA_PIXMAP, &type, &format, &count, &after,
                           &data) == Success &&
        type == XA_PIXMAP && count == 1)
      result = *reinterpret_cast<Pixmap*>(data);
    if (data) XFree(data);
    return result;
  }

  bool PixmapExists(Pixmap p) {
    g_xerror = 0;
    Window r;
    int x, y;
    unsigned w, h, border, depth;
    const Status ok = XGetGeometry(dpy_, p, &r, &x, &y, &w, &h, &border, &depth);
    XSync(dpy_, False);
    return ok && g_xerror == 0;
  }

  QImage Grab(Drawable d) {
    XImage* img = XGetImage(dpy_, d, 0, 0, unsigned(screen_.width()), unsigned(screen_.height()),
                            AllPlanes, ZPixmap);
    if (!img) return {};
    // A pixmap's image carries no colour masks: they come from the visual.
    const Visual* v = DefaultVisual(dpy_, DefaultScreen(dpy_));
    QImage out(screen_, QImage::Format_RGB32);
    for (int y = 0; y < screen_.height(); ++y)
      for (int x = 0; x < screen_.width(); ++x) {
        const unsigned long p = XGetPixel(img, x, y);
        out.setPixel(x, y, qRgb(Channel(p, v->red_mask), Channel(p, v->green_mask),
                                Channel(p, v->blue_mask)));
      }
    XDestroyImage(img);
    return out;
  }

  // The part of the root window hidden by other programs' windows.
  QRegion Covered() {
    QRegion covered;
    Window rootReturn, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy_, root_, &rootReturn, &parent, &children, &count)) return covered;
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(dpy_, children[i], &a) && a.map_state == IsViewable)
        covered += QRect(a.x, a.y, a.width + 2 * a.border_width, a.height + 2 * a.border_width);
    }
    if (children) XFree(children);
    return covered;
  }

  // Counts the pixels of got that differ from want, outside skip.
  static int Differences(const QImage& got, const QImage& want, const QRegion& skip = {}) {
    int diff = 0;
    for (int y = 0; y < want.height(); ++y)
      for (int x = 0; x < want.width(); ++x)
        if ((skip.isEmpty() || !skip.contains(QPoint(x, y))) &&
            (got.pixel(x, y) & 0xFFFFFF) != (want.pixel(x, y) & 0xFFFFFF))
          ++diff;
    return diff;
  }

  TDesktopStatus Apply(const QString& file) {
    TDesktopBackground desktop;
    desktop.Kind = TDesktopKind::dkX11;
    return desktop.Apply(file, TWallpaperStyle::wsCentered);
  }

  ScopedEnv env_;
  QString display_;
  int lock_ = -1;
  Display* dpy_ = nullptr;
  XErrorHandler previous_ = nullptr;
  Window root_ = 0;
  QSize screen_;
  QTemporaryDir dir_{TestRoot() + "/x11-XXXXXX"};
};

}  // namespace

TEST_F(X11Root, PictureLargerThanTheScreenIsCentredOnRootPixmapAndWindow) {
  const QImage pic = PatternImage(2000, 1500, 11);
  const QString file = dir_.path() + "/kvmir.bmp";
  SavePicture(pic, file);
  const TDesktopStatus st = Apply(file);
  ASSERT_TRUE(st.Ok()) << st.Message.toStdString();

  QImage want(screen_, QImage::Format_RGB32);
  const int ox = (screen_.width() - pic.width()) / 2, oy = (screen_.height() - pic.height()) / 2;
  for (int y = 0; y < screen_.height(); ++y)
    for (int x = 0; x < screen_.width(); ++x) {
      const QPoint src(x - ox, y - oy);
      want.setPixel(x, y, pic.rect().contains(src) ? pic.pixel(src) : qRgb(0, 0, 0));
    }

  const Pixmap pixmap = Property("_XROOTPMAP_ID");
  ASSERT_NE(pixmap, 0u);
  EXPECT_EQ(Property("ESETROOT_PMAP_ID"), pixmap);
  ASSERT_TRUE(PixmapExists(pixmap)) << "the pixmap must outlive the setter's connection";
  EXPECT_EQ(Differences(Grab(pixmap), want), 0);

  const QRegion covered = Covered();
  EXPECT_LT(covered.boundingRect().width() * covered.boundingRect().height(),
            screen_.width() * screen_.height())
      << "the root window is hidden entirely";
  EXPECT_EQ(Differences(Grab(root_), want, covered), 0);
}

TEST_F(X11Root, NextApplyFreesOnlyRetainedPixmaps) {
  const QString first = dir_.path() + "/first.bmp", second = dir_.path() + "/second.bmp";
  SavePicture(PatternImage(300, 200), first);
  QImage red(100, 80, QImage::Format_RGB32);
  red.fill(qRgb(255, 0, 0));
  SavePicture(red, second);

  ASSERT_TRUE(Apply(first).Ok());
  const Pixmap old = Property("_XROOTPMAP_ID");
  ASSERT_TRUE(PixmapExists(old));
  ASSERT_TRUE(Apply(second).Ok());
  const Pixmap current = Property("_XROOTPMAP_ID");
  EXPECT_NE(current, old);
  EXPECT_FALSE(PixmapExists(old)) << "the replaced pixmap leaks";
  ASSERT_TRUE(PixmapExists(current));
  const QImage shown = Grab(current);
  EXPECT_EQ(shown.pixel(screen_.width() / 2, screen_.height() / 2) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(shown.pixel(0, 0) & 0xFFFFFF, 0u);

  // A pixmap named only by _XROOTPMAP_ID belongs to a running program: it is left alone and
  // that program is not killed.
  const Pixmap foreign = XCreatePixmap(dpy_, root_, 16, 16, unsigned(DefaultDepth(dpy_, DefaultScreen(dpy_))));
  XChangeProperty(dpy_, root_, XInternAtom(dpy_, "_XROOTPMAP_ID", False), XA_PIXMAP, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&foreign), 1);
  XSync(dpy_, False);
  ASSERT_TRUE(Apply(first).Ok());
  EXPECT_TRUE(PixmapExists(foreign));
  EXPECT_TRUE(PixmapExists(current)) << "not named by both properties any more, so not freed";
  XFreePixmap(dpy_, foreign);
  XKillClient(dpy_, current);  // its retained owner, as the next setter would
  XSync(dpy_, False);
}

TEST_F(X11Root, BadPicturesLeaveTheBackgroundAlone) {
  const QString good = dir_.path() + "/kvmir.bmp";
  SavePicture(PatternImage(40, 30), good);
  ASSERT_TRUE(Apply(good).Ok());
  const Pixmap pixmap = Property("_XROOTPMAP_ID");

  const QString garbage = dir_.path() + "/garbage.bmp";
  WriteFile(garbage, QByteArray(5000, 'x'));
  for (const QString& bad : {dir_.path() + "/missing.bmp", garbage, dir_.path()}) {
    const TDesktopStatus st = Apply(bad);
    EXPECT_EQ(st.Result, TDesktopResult::drBadPicture) << bad.toStdString();
    EXPECT_TRUE(st.Message.contains(bad));
  }
  EXPECT_EQ(Property("_XROOTPMAP_ID"), pixmap);
  EXPECT_TRUE(PixmapExists(pixmap));
}

TEST_F(X11Root, ThePictureInMemoryIsShownAsItIsWithoutReadingTheFileAgain) {
  // The file holds another picture: what the root shows can only have come from memory.
  const QString file = dir_.path() + "/kvmir.bmp";
  QImage red(64, 48, QImage::Format_RGB32);
  red.fill(qRgb(255, 0, 0));
  SavePicture(red, file);
  TDesktopBackground desktop;
  desktop.Kind = TDesktopKind::dkX11;

  // The calendar bitmap: 24-bit, the screen's size, every channel different.
  const QImage drawn = PatternImage(screen_.width(), screen_.height(), 5).convertToFormat(QImage::Format_BGR888);
  TDesktopStatus st = desktop.Apply(file, TWallpaperStyle::wsCentered, drawn);
  ASSERT_TRUE(st.Ok()) << st.Message.toStdString();
  Pixmap pixmap = Property("_XROOTPMAP_ID");
  ASSERT_TRUE(PixmapExists(pixmap));
  EXPECT_EQ(Differences(Grab(pixmap), drawn.convertToFormat(QImage::Format_RGB32)), 0);

  // A smaller picture in memory is placed as a file's would be: centred on black.
  const QImage small = PatternImage(200, 100, 9);
  st = desktop.Apply(file, TWallpaperStyle::wsCentered, small);
  ASSERT_TRUE(st.Ok()) << st.Message.toStdString();
  pixmap = Property("_XROOTPMAP_ID");
  const QImage shown = Grab(pixmap);
  const QPoint at((screen_.width() - 200) / 2, (screen_.height() - 100) / 2);
  EXPECT_EQ(Differences(shown.copy(QRect(at, small.size())), small), 0);
  EXPECT_EQ(shown.pixel(0, 0) & 0xFFFFFF, 0u);

  // Without a picture the file is read, as before.
  ASSERT_TRUE(desktop.Apply(file, TWallpaperStyle::wsCentered).Ok());
  EXPECT_EQ(Grab(Property("_XROOTPMAP_ID")).pixel(screen_.width() / 2, screen_.height() / 2) & 0xFFFFFF, 0xFF0000u);
}
