#pragma once
// The real program as a user runs it: its own X server, a temporary home, a program folder with
// the default image pack, started and watched as a child process.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <signal.h>
#include <sys/prctl.h>

#include "tests/platform/DesktopSession.h"

namespace kvtest {

class TMirovaHome {
 public:
  TMirovaHome() {
    for (const char* sub : {"home", "config", "data", "cache", "runtime", "exe"}) QDir(dir_.path()).mkpath(sub);
    QFile::setPermissions(Path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  QString Path(const QString& sub) const { return dir_.path() + QLatin1Char('/') + sub; }
  QString ExeDir() const { return Path("exe"); }
  QString Registry() const { return Path("config") + QStringLiteral("/KelVoro/registry.json"); }
  QString Background() const { return ExeDir() + QStringLiteral("/kvmir.bmp"); }
  bool AddDefaultPack() const {
    return QFile::copy(QStringLiteral(KV_DEFAULT_PACK), ExeDir() + QStringLiteral("/landscapes.mcp"));
  }
  QProcessEnvironment Environment(const QString& display, const QString& bus = {}) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"KV_DESKTOP", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                             "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "WAYLAND_DISPLAY",
                             "XDG_SESSION_TYPE", "SWAYSOCK", "SESSION_MANAGER"})
      env.remove(QLatin1String(name));
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("HOME", Path("home"));
    env.insert("XDG_CONFIG_HOME", Path("config"));
    env.insert("XDG_DATA_HOME", Path("data"));
    env.insert("XDG_CACHE_HOME", Path("cache"));
    env.insert("XDG_RUNTIME_DIR", Path("runtime"));
    env.insert("KV_PROGRAM_DIR", ExeDir());
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.isEmpty() ? QStringLiteral("unix:path=/nonexistent/bus") : bus);
    return env;
  }

 private:
  QTemporaryDir dir_;
};

// A started copy of the program.
class TMirova {
 public:
  ~TMirova() { Kill(); }
  // The program of this build, or another copy of it (installed, portable).
  bool Start(const QProcessEnvironment& env, const QStringList& args = {},
             const QString& program = QStringLiteral(KV_MIROVA)) {
    p_.setProcessEnvironment(env);
    p_.setProcessChannelMode(QProcess::MergedChannels);
    p_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    p_.start(program, args);
    return p_.waitForStarted(10000);
  }
  bool Running() const { return p_.state() == QProcess::Running; }
  bool WaitForExit(int ms) { return p_.waitForFinished(ms) || p_.state() == QProcess::NotRunning; }
  int ExitCode() const { return p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1; }
  void Signal(int sig) const { ::kill(pid_t(p_.processId()), sig); }
  void Kill() {
    if (Running()) {
      p_.kill();
      p_.waitForFinished(5000);
    }
  }
  QString Output() { return QString::fromLocal8Bit(p_.readAll()); }

 private:
  QProcess p_;
};

// The visible top-level windows with this title on the display (xdotool).
inline int VisibleWindows(const QProcessEnvironment& env, const QString& title) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                      QStringLiteral("--name"), QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')});
  p.waitForFinished(5000);
  return int(QString::fromLatin1(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
}

}  // namespace kvtest
