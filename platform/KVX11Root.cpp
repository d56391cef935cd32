#include "platform/KVX11Root.h"

#include <QImage>
#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

// Xlib defines macros (None, Bool, Status ...) that clash with Qt names: it comes last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

namespace {

// Xlib's default error handler ends the process; here errors are collected instead.
class TErrorTrap {
 public:
  TErrorTrap() : previous_(XSetErrorHandler(&Handler)) { code_ = 0; }
  ~TErrorTrap() { XSetErrorHandler(previous_); }
  TErrorTrap(const TErrorTrap&) = delete;
  TErrorTrap& operator=(const TErrorTrap&) = delete;
  int Take() {
    const int c = code_;
    code_ = 0;
    return c;
  }

 private:
  static int Handler(Display*, XErrorEvent* e) {
    if (!code_) code_ = e->error_code;
    return 0;
  }
  static inline int code_ = 0;
  XErrorHandler previous_;
};

struct TChannel {
  int shift = 0, bits = 0;
};

TChannel ChannelOf(unsigned long mask) {
  TChannel c;
  if (!mask) return c;
  for (; !(mask & 1); mask >>= 1) ++c.shift;
  for (; mask & 1; mask >>= 1) ++c.bits;
  return c;
}

unsigned long ChannelValue(int v8, TChannel c) {
  const unsigned long v = c.bits >= 8 ? static_cast<unsigned long>(v8) << (c.bits - 8)
                                      : static_cast<unsigned long>(v8) >> (8 - c.bits);
  return v << c.shift;
}

Pixmap ReadPixmapProperty(Display* dpy, Window root, Atom atom) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Pixmap result = 0;
  if (XGetWindowProperty(dpy, root, atom, 0, 1, False, XA_PIXMAP, &type, &format, &count, &after,
                         &data) == Success &&
      type == XA_PIXMAP && format == 32 && count == 1 && data)
    result = *reinterpret_cast<Pixmap*>(data);  // 32-bit items arrive as longs
  if (data) XFree(data);
  return result;
}

QString ErrorText(Display* dpy, int code) {
  char text[256] = {};
  XGetErrorText(dpy, code, text, sizeof text);
  return QString::fromLocal8Bit(text);
}

TDesktopStatus Failure(TDesktopResult result, const QString& message) {
  TDesktopStatus st;
  st.Result = result;
  st.Message = message;
  return st;
}

// Puts the picture on the drawable in the visual's pixel layout, a band of rows at a time: no
// screen-sized buffer is made (nor its pages touched for the first time) besides the pixmap on the
// server. A 24-bit picture (the calendar bitmap) is read as it is; others go through RGB32. False
// when memory runs out.
bool PutPicture(Display* dpy, Drawable target, Visual* visual, int depth, const QImage& given) {
  const bool triples = given.format() == QImage::Format_BGR888;
  const QImage picture = triples ? given : given.convertToFormat(QImage::Format_RGB32);
  if (picture.isNull()) return false;
  const int w = picture.width(), h = picture.height();
  constexpr int kBandRows = 64;
  const int band = std::min(h, kBandRows);
  XImage* image = XCreateImage(dpy, visual, unsigned(depth), ZPixmap, 0, nullptr, unsigned(w),
                               unsigned(band), 32, 0);
  if (!image) return false;
  image->data = static_cast<char*>(std::malloc(size_t(image->bytes_per_line) * size_t(band)));
  if (!image->data) {
    XDestroyImage(image);
    return false;
  }
  // Each channel's share of a pixel, looked up rather than shifted per pixel.
  const TChannel r = ChannelOf(visual->red_mask), g = ChannelOf(visual->green_mask),
                 b = ChannelOf(visual->blue_mask);
  unsigned long red[256], green[256], blue[256];
  for (int v = 0; v < 256; ++v) {
    red[v] = ChannelValue(v, r);
    green[v] = ChannelValue(v, g);
    blue[v] = ChannelValue(v, b);
  }
  const bool swap = image->byte_order != (Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? LSBFirst : MSBFirst);
  const bool direct = image->bits_per_pixel == 32;
  GC gc = XCreateGC(dpy, target, 0, nullptr);
  for (int top = 0; top < h; top += band) {
    const int rows = std::min(band, h - top);
    for (int j = 0; j < rows; ++j) {
      const uchar* src = picture.constScanLine(top + j);
      auto* dst = reinterpret_cast<std::uint32_t*>(image->data + size_t(j) * size_t(image->bytes_per_line));
      for (int x = 0; x < w; ++x) {
        int cr, cg, cb;
        if (triples) {
          cb = src[3 * x];
          cg = src[3 * x + 1];
          cr = src[3 * x + 2];
        } else {
          const QRgb c = reinterpret_cast<const QRgb*>(src)[x];
          cr = qRed(c);
          cg = qGreen(c);
          cb = qBlue(c);
        }
        const unsigned long pixel = red[cr] | green[cg] | blue[cb];
        if (direct) {
          const auto v = static_cast<std::uint32_t>(pixel);
          dst[x] = swap ? qbswap(v) : v;
        } else {
          XPutPixel(image, x, j, pixel);
        }
      }
    }
    XPutImage(dpy, target, gc, image, 0, 0, 0, top, unsigned(w), unsigned(rows));
  }
  XFreeGC(dpy, gc);
  XDestroyImage(image);
  return true;
}

QList<QRect> MonitorsOf(Display* dpy, Window root, QSize rootSize) {
  const QRect whole(QPoint(0, 0), rootSize);
  QList<QRect> monitors;
  int event = 0, error = 0, major = 0, minor = 0;
  if (XRRQueryExtension(dpy, &event, &error) && XRRQueryVersion(dpy, &major, &minor) &&
      (major > 1 || (major == 1 && minor >= 5))) {
    int count = 0;
    if (XRRMonitorInfo* info = XRRGetMonitors(dpy, root, True, &count)) {
      for (int i = 0; i < count; ++i) {
        const QRect r = QRect(info[i].x, info[i].y, info[i].width, info[i].height) & whole;
        if (!r.isEmpty() && !monitors.contains(r)) monitors << r;
      }
      XRRFreeMonitors(info);
    }
  }
  if (monitors.isEmpty()) monitors << whole;
  return monitors;
}

bool HasDesktopType(Display* dpy, Window w, Atom typeAtom, Atom desktopAtom) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool desktop = false;
  if (XGetWindowProperty(dpy, w, typeAtom, 0, 32, False, XA_ATOM, &type, &format, &count, &after,
                         &data) == Success &&
      type == XA_ATOM && format == 32 && data) {
    const auto* atoms = reinterpret_cast<const Atom*>(data);  // 32-bit items arrive as longs
    for (unsigned long i = 0; i < count && !desktop; ++i) desktop = atoms[i] == desktopAtom;
  }
  if (data) XFree(data);
  return desktop;
}

QString ProgramOf(Display* dpy, Window w) {
  XClassHint hint{};
  QString name;
  if (XGetClassHint(dpy, w, &hint)) {
    name = QString::fromLocal8Bit(hint.res_name ? hint.res_name : "").trimmed();
    if (name.isEmpty()) name = QString::fromLocal8Bit(hint.res_class ? hint.res_class : "").trimmed();
  }
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return name;
}

std::optional<TX11DesktopWindow> DesktopWindowOf(Display* dpy, Window root,
                                                 const QList<QRect>& monitors) {
  const Atom typeAtom = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
  const Atom desktopAtom = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
  auto coversAMonitor = [&](const QRect& r) {
    for (const QRect& m : monitors) {
      const QRect common = r & m;
      if (qint64(common.width()) * common.height() * 10 >= qint64(m.width()) * m.height() * 9)
        return true;
    }
    return false;
  };
  Window rootReturn = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  std::optional<TX11DesktopWindow> found;
  if (!XQueryTree(dpy, root, &rootReturn, &parent, &children, &count)) return found;
  // Topmost first: the window that hides the others is the one to name.
  for (unsigned i = count; i-- > 0 && !found;) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, children[i], &a) || a.map_state != IsViewable ||
        a.c_class != InputOutput)
      continue;
    const QRect r(a.x, a.y, a.width + 2 * a.border_width, a.height + 2 * a.border_width);
    if (!coversAMonitor(r)) continue;
    Window client = 0;
    if (HasDesktopType(dpy, children[i], typeAtom, desktopAtom)) {
      client = children[i];
    } else {
      // A window manager's frame holds the program's window one level down.
      Window* inner = nullptr;
      unsigned innerCount = 0;
      if (XQueryTree(dpy, children[i], &rootReturn, &parent, &inner, &innerCount)) {
        for (unsigned j = 0; j < innerCount && !client; ++j)
          if (HasDesktopType(dpy, inner[j], typeAtom, desktopAtom)) client = inner[j];
      }
      if (inner) XFree(inner);
    }
    if (client) found = TX11DesktopWindow{ProgramOf(dpy, client), r};
  }
  if (children) XFree(children);
  return found;
}

}  // namespace

std::optional<TX11DesktopWindow> FindX11DesktopWindow() {
  TErrorTrap trap;  // a window that goes away while it is looked at is skipped
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return std::nullopt;
  const int screen = DefaultScreen(dpy);
  const Window root = RootWindow(dpy, screen);
  const auto found = DesktopWindowOf(
      dpy, root, MonitorsOf(dpy, root, QSize(DisplayWidth(dpy, screen), DisplayHeight(dpy, screen))));
  XCloseDisplay(dpy);
  return found;
}

QList<QRect> X11Monitors() {
  TErrorTrap trap;
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return {};
  const int screen = DefaultScreen(dpy);
  const QList<QRect> monitors = MonitorsOf(
      dpy, RootWindow(dpy, screen), QSize(DisplayWidth(dpy, screen), DisplayHeight(dpy, screen)));
  XCloseDisplay(dpy);
  return monitors;
}

TDesktopStatus SetX11RootPicture(const QString& fileName, TWallpaperStyle style,
                                 const QString& sessionName, const QImage& Picture) {
  QImage picture = Picture.isNull() ? QImage(fileName) : Picture;
  if (picture.isNull())
    return Failure(TDesktopResult::drBadPicture,
                   QStringLiteral("The picture file \"%1\" cannot be read.").arg(fileName));

  TErrorTrap trap;
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy)
    return Failure(TDesktopResult::drUnsupported,
                   QStringLiteral("The X display \"%1\" cannot be opened.")
                       .arg(qEnvironmentVariable("DISPLAY")));

  const int screen = DefaultScreen(dpy);
  const Window root = RootWindow(dpy, screen);
  Visual* visual = DefaultVisual(dpy, screen);
  const int depth = DefaultDepth(dpy, screen);
  const int w = DisplayWidth(dpy, screen), h = DisplayHeight(dpy, screen);
  auto fail = [&](TDesktopResult result, const QString& message) {
    XCloseDisplay(dpy);  // close-down mode is still DestroyAll: whatever was made goes too
    return Failure(result, message);
  };
  if (visual->c_class != TrueColor && visual->c_class != DirectColor)
    return fail(TDesktopResult::drX11Error,
                QStringLiteral("The X display's colour mode (depth %1 with a palette) is not supported.")
                    .arg(depth));

  const QList<QRect> monitors = MonitorsOf(dpy, root, QSize(w, h));
  // A desktop window drawn over the root would hide the picture: setting it would be a
  // success in name only.
  if (const auto desktop = DesktopWindowOf(dpy, root, monitors)) {
    trap.Take();
    const QString session = sessionName.trimmed();
    const QString name = !desktop->Program.isEmpty() ? desktop->Program
                         : !session.isEmpty()        ? session
                                                     : QStringLiteral("unknown");
    return fail(TDesktopResult::drUnsupported,
                QStringLiteral("The desktop background cannot be set: this desktop (%1) is not "
                               "supported; its desktop window covers the screen's background.")
                    .arg(name));
  }
  trap.Take();  // windows that went away while they were looked at

  const Pixmap pixmap = XCreatePixmap(dpy, root, unsigned(w), unsigned(h), unsigned(depth));
  bool put = false;
  if (picture.size() == QSize(w, h) && !picture.hasAlphaChannel() && monitors.size() == 1 &&
      monitors.first() == QRect(0, 0, w, h)) {
    // An opaque picture of the screen's size on one monitor covers it as it is, whatever the style.
    put = PutPicture(dpy, pixmap, visual, depth, picture);
  } else {
    const QImage composed = ComposeWallpaperOnMonitors(picture, QSize(w, h), monitors, style);
    picture = QImage();
    put = !composed.isNull() && PutPicture(dpy, pixmap, visual, depth, composed);
  }
  if (!put)
    return fail(TDesktopResult::drX11Error,
                QStringLiteral("There is not enough memory for a %1 x %2 background.").arg(w).arg(h));
  XSync(dpy, False);
  if (const int code = trap.Take())
    return fail(TDesktopResult::drX11Error,
                QStringLiteral("The X server refused the background picture: %1").arg(ErrorText(dpy, code)));

  const Atom rootId = XInternAtom(dpy, "_XROOTPMAP_ID", False);
  const Atom esetrootId = XInternAtom(dpy, "ESETROOT_PMAP_ID", False);
  const Pixmap oldRoot = ReadPixmapProperty(dpy, root, rootId);
  const Pixmap oldEsetroot = ReadPixmapProperty(dpy, root, esetrootId);

  XSetWindowBackgroundPixmap(dpy, root, pixmap);
  XClearWindow(dpy, root);
  XSync(dpy, False);
  if (const int code = trap.Take())
    return fail(TDesktopResult::drX11Error,
                QStringLiteral("The X server refused the background picture: %1").arg(ErrorText(dpy, code)));

  // A setter that keeps its pixmap after closing names it in both properties; killing its
  // retained client frees it. A pixmap named only by _XROOTPMAP_ID belongs to a live program.
  if (oldRoot && oldRoot == oldEsetroot && oldRoot != pixmap) {
    XKillClient(dpy, oldRoot);
    XSync(dpy, False);
    trap.Take();  // already gone: nothing to free
  }
  XChangeProperty(dpy, root, rootId, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pixmap), 1);
  XChangeProperty(dpy, root, esetrootId, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pixmap), 1);
  XSetCloseDownMode(dpy, RetainPermanent);
  XSync(dpy, False);
  const int code = trap.Take();
  XCloseDisplay(dpy);
  if (code)
    return Failure(TDesktopResult::drX11Error,
                   QStringLiteral("The X server refused the background properties (error %1).").arg(code));
  return {};
}
