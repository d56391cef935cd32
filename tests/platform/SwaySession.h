#pragma once
// A headless sway for the tests (as a user other than root, as sway wants), its sockets, swaymsg
// and the screen as grim takes it. Include after Qt headers (DesktopSession.h brings Xlib).
#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "tests/common/DesktopTestUtil.h"
#include "tests/platform/DesktopSession.h"

namespace kvtest {

// A headless sway with the outputs (and bar) of its configuration.
class TSway {
 public:
  // The reason it cannot run here, or an empty text. Extra adds to sway's environment (what its
  // bar reaches, such as the session bus).
  QString Start(const QByteArray& outputConfig, const QProcessEnvironment& extra = {}) {
    for (const char* program : {"sway", "swaymsg", "swaybg", "grim"})
      if (QStandardPaths::findExecutable(program).isEmpty()) return QString(program) + " is not installed";
    if (!runtime_.isValid()) return "no runtime folder";
    QStringList command{"sway", "-c", runtime_.path() + "/config"};
    if (::geteuid() == 0) {
      // sway refuses to run as root: it runs as nobody, in a runtime folder of nobody's.
      const passwd* nobody = ::getpwnam("nobody");
      if (!nobody) return "there is no user \"nobody\" to run sway as";
      if (QStandardPaths::findExecutable("setpriv").isEmpty()) return "setpriv is not installed";
      if (::chown(QFile::encodeName(runtime_.path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
        return "the runtime folder cannot be given to nobody";
      // A change of user clears the parent-death signal: setpriv sets it again.
      command = QStringList{"setpriv", QString("--reuid=%1").arg(nobody->pw_uid),
                            QString("--regid=%1").arg(nobody->pw_gid), "--clear-groups",
                            "--pdeathsig=SIGKILL", "--"} +
                command;
    }
    WriteFile(runtime_.path() + "/config", outputConfig);
    QFile::setPermissions(runtime_.path() + "/config", QFile::ReadOwner | QFile::ReadOther | QFile::ReadGroup);
    QProcessEnvironment env;
    env.insert("PATH", qEnvironmentVariable("PATH"));
    env.insert("HOME", runtime_.path());
    env.insert("XDG_RUNTIME_DIR", runtime_.path());
    env.insert("WLR_BACKENDS", "headless");
    env.insert("WLR_LIBINPUT_NO_DEVICES", "1");
    env.insert("WLR_RENDERER", "pixman");
    env.insert(extra);
    // Its log goes to a file: a pipe nobody reads while the test waits would fill and stop sway.
    sway_.Process().setStandardOutputFile(Log());
    sway_.Process().setStandardErrorFile(Log(), QIODevice::Append);
    if (!sway_.Start(command.takeFirst(), command, env)) return "sway does not start";
    WaitUntil([&] {
      QDir dir(runtime_.path());
      const QStringList ipc = dir.entryList({"sway-ipc.*.sock"}, QDir::System);
      const QStringList wayland = dir.entryList({"wayland-?"}, QDir::System);
      if (!ipc.isEmpty()) socket_ = dir.filePath(ipc.first());
      if (!wayland.isEmpty()) display_ = wayland.first();
      return (!socket_.isEmpty() && !display_.isEmpty()) || !sway_.Running();
    });
    if (socket_.isEmpty() || display_.isEmpty()) return "sway did not start: " + LogText();
    if (!WaitUntil([&] { return !Grab().isNull(); })) return "grim cannot take the screen: " + LogText();
    return {};
  }

  QImage Grab() {
    QProcess grim;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WAYLAND_DISPLAY", display_);
    env.insert("XDG_RUNTIME_DIR", runtime_.path());
    grim.setProcessEnvironment(env);
    grim.start("grim", {"-t", "ppm", "-"});
    if (!grim.waitForFinished(10000) || grim.exitCode() != 0) return {};
    return QImage::fromData(grim.readAllStandardOutput(), "PPM").convertToFormat(QImage::Format_RGB32);
  }

  // Our side of the session, as a program started in it sees it.
  void Enter(ScopedEnv& env, const char* desktop, bool withSocket) {
    ClearSessionVariables(env);
    env.Set("XDG_CURRENT_DESKTOP", desktop);
    env.Set("WAYLAND_DISPLAY", display_);
    env.Set("XDG_RUNTIME_DIR", runtime_.path());
    if (withSocket) env.Set("SWAYSOCK", socket_);
  }

  QString RuntimeDir() const { return runtime_.path(); }
  QString LogText() const {
    QFile f(Log());
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll().right(4000)) : QString();
  }
  // The compositor's sockets as full paths, which a program of another user can be given.
  QString DisplayPath() const { return runtime_.path() + "/" + display_; }
  QString IpcSocket() const { return socket_; }
  // Runs swaymsg with the arguments; what it printed.
  QByteArray Swaymsg(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SWAYSOCK", socket_);
    p.setProcessEnvironment(env);
    p.start("swaymsg", args);
    p.waitForFinished(10000);
    return p.readAllStandardOutput();
  }

 private:
  QTemporaryDir runtime_{"/tmp/kv-sway-XXXXXX"};
  QString Log() const { return log_.path() + "/sway.log"; }

  QTemporaryDir log_;
  TBackgroundProgram sway_;
  QString socket_, display_;
};

// Pictures that sway's user may read.
class TSharedFolder {
 public:
  TSharedFolder() { QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                       QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                                       QFile::ExeGroup); }
  QString Path(const QString& sub = {}) const {
    const QString path = sub.isEmpty() ? dir_.path() : dir_.path() + "/" + sub;
    QDir().mkpath(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                    QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    return path;
  }

 private:
  QTemporaryDir dir_{"/tmp/kv-swaypic-XXXXXX"};
};

}  // namespace kvtest
