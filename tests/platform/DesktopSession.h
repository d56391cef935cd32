#pragma once
// Real desktop programs for the desktop tests: a private X server, a private session bus, and
// programs that run for the length of a test. Include after Qt headers: Xlib's macros clash
// with Qt names.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>
#include <functional>
#include <memory>

#include "tests/common/DesktopTestUtil.h"
#include "tests/common/SkipMissing.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace kvtest {

// Leaves only the variables a test sets to tell the desktop.
inline void ClearSessionVariables(ScopedEnv& env) {
  for (const char* name :
       {"KV_DESKTOP", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
        "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE",
        "DISPLAY", "SWAYSOCK", "HYPRLAND_INSTANCE_SIGNATURE", "NIRI_SOCKET", "WAYFIRE_SOCKET"})
    env.Unset(name);
}

// What the set-up installs must be there under CI: there the test fails instead of skipping.
#define KV_SKIP_OR_FAIL(reason)      \
  do {                               \
    KV_SKIP_MISSING() << (reason);   \
  } while (0)

// Polls until done() holds or timeoutMs passes; the last answer.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    if (done()) return true;
    if (clock.elapsed() > timeoutMs) return false;
    QThread::msleep(40);
  }
}

// A program running for the length of a test.
class TBackgroundProgram {
 public:
  TBackgroundProgram() = default;
  TBackgroundProgram(const TBackgroundProgram&) = delete;
  TBackgroundProgram& operator=(const TBackgroundProgram&) = delete;
  ~TBackgroundProgram() { Stop(); }

  bool Start(const QString& program, const QStringList& args,
             const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    process_.setProcessEnvironment(env);
    process_.setStandardInputFile(QProcess::nullDevice());
    // A test that crashes leaves no server behind.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_.start(program, args);
    return process_.waitForStarted(10000);
  }
  void Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
      process_.kill();
      process_.waitForFinished(3000);
    }
  }
  bool Running() const { return process_.state() == QProcess::Running; }
  QProcess& Process() { return process_; }
  // Everything it wrote so far, both channels.
  QString Output() {
    log_ += QString::fromLocal8Bit(process_.readAllStandardOutput() + process_.readAllStandardError());
    return log_;
  }

 private:
  QProcess process_;
  QString log_;
};

// A private X server on a display number of its own choosing.
class TXServer {
 public:
  ~TXServer() {
    if (dpy_) XCloseDisplay(dpy_);
  }
  // The reason it cannot run, or an empty text.
  QString Start(QSize size) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
      return QStringLiteral("Xvfb is not installed");
    size_ = size;
    const QString screen = QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height());
    if (!server_.Start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                QStringLiteral("-screen"), QStringLiteral("0"), screen,
                                                QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                                QStringLiteral("-noreset")}))
      return QStringLiteral("Xvfb does not start");
    QByteArray number;
    WaitUntil([&] {
      server_.Process().waitForReadyRead(100);
      number += server_.Process().readAllStandardOutput();
      return number.contains('\n') || !server_.Running();
    });
    if (!number.contains('\n')) return QStringLiteral("Xvfb did not tell its display: ") + server_.Output();
    display_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    dpy_ = XOpenDisplay(display_.toLocal8Bit().constData());
    if (!dpy_) return QStringLiteral("the display %1 cannot be opened").arg(display_);
    return {};
  }
  const QString& Name() const { return display_; }
  Display* Dpy() const { return dpy_; }
  QSize Size() const { return size_; }

  // The screen as shown: the root window with every window on it.
  QImage Grab() {
    const Window root = DefaultRootWindow(dpy_);
    XImage* img = XGetImage(dpy_, root, 0, 0, unsigned(size_.width()), unsigned(size_.height()), AllPlanes,
                            ZPixmap);
    if (!img) return {};
    QImage out(size_, QImage::Format_RGB32);
    for (int y = 0; y < size_.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
      for (int x = 0; x < size_.width(); ++x) {
        const unsigned long p = XGetPixel(img, x, y);
        // Xvfb's 24-bit visual: 8 bits per channel, red highest.
        line[x] = qRgb(int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255));
      }
    }
    XDestroyImage(img);
    return out;
  }

 private:
  TBackgroundProgram server_;
  QString display_;
  Display* dpy_ = nullptr;
  QSize size_;
};

// A private session bus.
class TSessionBus {
 public:
  QString Start(const QProcessEnvironment& env) {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
      return QStringLiteral("dbus-daemon is not installed");
    if (!daemon_.Start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")},
                       env))
      return QStringLiteral("dbus-daemon does not start");
    QByteArray line;
    WaitUntil([&] {
      daemon_.Process().waitForReadyRead(100);
      line += daemon_.Process().readAllStandardOutput();
      return line.contains('\n') || !daemon_.Running();
    });
    address_ = QString::fromLatin1(line.trimmed());
    return address_.isEmpty() ? QStringLiteral("dbus-daemon did not tell its address") : QString();
  }
  const QString& Address() const { return address_; }

 private:
  TBackgroundProgram daemon_;
  QString address_;
};

// The share of the pixels of area (every Step-th one in each direction) whose channels all lie
// within Tolerance steps of b's; 0 when the pictures differ in size.
inline double ShareWithin(const QImage& a, const QImage& b, QRect area, int step, int tolerance) {
  if (a.size() != b.size()) return 0;
  if (area.isNull()) area = b.rect();
  qint64 same = 0, all = 0;
  for (int y = area.top(); y <= area.bottom(); y += step)
    for (int x = area.left(); x <= area.right(); x += step) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      ++all;
      if (std::abs(qRed(p) - qRed(q)) <= tolerance && std::abs(qGreen(p) - qGreen(q)) <= tolerance &&
          std::abs(qBlue(p) - qBlue(q)) <= tolerance)
        ++same;
    }
  return all ? double(same) / double(all) : 0;
}

// The share of pixels in area (every second one in each direction) that are within two steps
// per channel of want's; want is as large as the screen.
inline double MatchRatio(const QImage& got, const QImage& want, QRect area = {}) {
  return ShareWithin(got, want, area, 2, 2);
}

}  // namespace kvtest
