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
#include <QDirIterator>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

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
  // Hands the home to another user, who may then read the program folder but not write to it:
  // everything else becomes theirs, and the folders above become passable.
  bool GiveToUserWithReadOnlyProgramFolder(uid_t uid, gid_t gid) const {
    for (QString up = QFileInfo(dir_.path()).absolutePath(); up != QLatin1String("/");
         up = QFileInfo(up).absolutePath()) {
      struct stat st {};
      if (::stat(QFile::encodeName(up).constData(), &st) != 0) return false;
      if (!(st.st_mode & S_IXOTH) && ::chmod(QFile::encodeName(up).constData(), st.st_mode | S_IXOTH) != 0)
        return false;
    }
    const auto give = [&](const QString& path) { return ::chown(QFile::encodeName(path).constData(), uid, gid) == 0; };
    if (!give(dir_.path())) return false;
    QDirIterator it(dir_.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      if (path != ExeDir() && !path.startsWith(ExeDir() + QLatin1Char('/')) && !give(path)) return false;
    }
    return ::chmod(QFile::encodeName(ExeDir()).constData(), 0755) == 0;
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
