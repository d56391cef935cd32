#pragma once
// The real program as a user runs it: its own X server, a temporary home, a program folder with
// the default image pack, started and watched as a child process.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QDirIterator>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "calendar/KVXSkinBaseM1.h"
#include "controls/KVNbModule.h"
#include "tests/common/SkipMissing.h"
#include "tests/platform/DesktopSession.h"
#include "tests/platform/helpers/ProcessTestUtil.h"

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
  qint64 Pid() const { return p_.processId(); }
  bool WaitForExit(int ms) { return p_.waitForFinished(ms) || p_.state() == QProcess::NotRunning; }
  int ExitCode() const { return p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1; }
  void Signal(int sig) const { ::kill(pid_t(p_.processId()), sig); }
  void Kill() {
    if (Running()) {
      p_.kill();
      p_.waitForFinished(5000);
    }
  }
  // Everything the program printed so far (what it is printing now included).
  QString Output() {
    while (p_.state() == QProcess::Running && p_.waitForReadyRead(150)) out_ += QString::fromLocal8Bit(p_.readAll());
    out_ += QString::fromLocal8Bit(p_.readAll());
    return out_;
  }

 private:
  QProcess p_;
  QString out_;
};

// The diary entries in the program folder's diary file: date key -> plain text, trimmed.
inline QMap<QString, QString> DiaryOnDisk(const QString& exeDir) {
  TMDiaryBase doc;
  doc.OnVerify.Set([](TPersistent*, const QString&, bool& accept) { accept = true; });
  doc.LoadFromFile(exeDir + QLatin1Char('/') + kDiaryFileName);
  QMap<QString, QString> entries;
  for (int i = 0; i < doc.Data().Count(); ++i)
    entries[doc.Data()[i]->idx] = NbPlainText(doc.Data()[i]->Lines).trimmed();
  return entries;
}

// The settings window's title.
inline const QString kMirovaTitle = QStringLiteral("Kel Voro Mirova Calendar 5.0");
// Message boxes and the full-screen view carry the program's display name.
inline const QString kBoxTitle = QStringLiteral("Mirova Calendar");

// Runs xdotool with the environment's display; what it printed.
inline QString Xdotool(const QProcessEnvironment& env, const QStringList& args) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QStringLiteral("xdotool"), args);
  p.waitForFinished(10000);
  return QString::fromLatin1(p.readAllStandardOutput());
}

// The visible top-level windows with this title on the display.
inline QStringList VisibleWindowIds(const QProcessEnvironment& env, const QString& title) {
  return Xdotool(env, {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                       QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')})
      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
inline int VisibleWindows(const QProcessEnvironment& env, const QString& title) {
  return int(VisibleWindowIds(env, title).size());
}

// A window's frame on the screen.
inline QRect WindowGeometry(const QProcessEnvironment& env, const QString& id) {
  const QString g = Xdotool(env, {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
  const auto value = [&](const char* name) {
    return QRegularExpression(QStringLiteral("\\b%1=(\\d+)").arg(QLatin1String(name))).match(g).captured(1).toInt();
  };
  return QRect(value("X"), value("Y"), value("WIDTH"), value("HEIGHT"));
}

// A test of the real program: an X server of its own of the given size and a temporary home
// with the default image pack.
class TProgramFixture : public ::testing::Test {
 protected:
  explicit TProgramFixture(QSize screen = QSize(1024, 768)) : screen_(screen) {}
  void SetUp() override {
    KV_REQUIRE_PROGRAM("Xvfb");
    KV_REQUIRE_PROGRAM("xdotool");
    const QString why = x.Start(screen_);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    ASSERT_TRUE(home.AddDefaultPack());
    env = home.Environment(x.Name());
  }
  QString Xdo(const QStringList& args) const { return Xdotool(env, args); }

  QStringList Windows(const QString& title) { return VisibleWindowIds(env, title); }
  QRect Geometry(const QString& id) { return WindowGeometry(env, id); }
  // The frame of the first visible window with this title once it shows (empty when none does).
  QRect WaitForWindow(const QString& title, int ms = 10000) {
    QRect r;
    WaitUntil([&] {
      const QStringList ids = Windows(title);
      for (const QString& id : ids) {
        r = Geometry(id);
        if (r.width() > 0 && r.size() != screen_) return true;
      }
      return false;
    }, ms);
    return r;
  }
  // The message boxes on the screen (the full-screen view has the same title and the screen's size).
  int MessageBoxes() {
    int n = 0;
    for (const QString& id : Windows(kBoxTitle))
      if (Geometry(id).size() != screen_) ++n;
    return n;
  }

  void Click(const QPoint& p, int settle = 400) {
    Xdo({"mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"});
    QThread::msleep(settle);
  }
  void Keys(const QStringList& keys, int settle = 300) {
    for (const QString& k : keys) {
      Xdo({"key", k});
      QThread::msleep(60);
    }
    QThread::msleep(settle);
  }
  void Type(const QString& text) {
    Xdo({"type", "--delay", "25", text});
    QThread::msleep(300);
  }

  // A tray at the screen's top right and the program's icon docked in it.
  void StartTray() {
    KV_REQUIRE_PROGRAM("trayer");
    ASSERT_TRUE(trayer.Start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                                        "--transparent", "false", "--SetDockType", "true"},
                             env));
  }
  // The icon's red heading band in the tray (a null point while it is not there).
  QPoint TrayIcon(int ms = 10000) {
    QPoint icon;
    WaitUntil([&] {
      const QImage screen = x.Grab();
      for (int y = 0; y < 24; ++y)
        for (int x0 = screen.width() - 1; x0 > screen.width() - 200; --x0) {
          const QRgb p = screen.pixel(x0, y);
          if (qRed(p) > 170 && qGreen(p) < 80 && qBlue(p) < 80) {
            icon = QPoint(x0, y + 4);
            return true;
          }
        }
      return false;
    }, ms);
    return icon;
  }
  // Opens the tray menu and chooses with the keyboard (the items from the top: Quick Notes,
  // Diary, ...; Up from the top reaches Exit).
  void TrayMenu(const QStringList& keys) {
    const QPoint icon = TrayIcon();
    ASSERT_FALSE(icon.isNull());
    // The menu opens below the icon, light over whatever the top right corner shows.
    const auto open = [&] {
      const QRgb p = x.Grab().pixel(screen_.width() - 30, 60);
      return qGray(p) > 200 && std::abs(qRed(p) - qBlue(p)) < 30;
    };
    for (int attempt = 0; attempt < 3 && !open(); ++attempt) {
      Xdo({"mousemove", QString::number(icon.x()), QString::number(icon.y()), "click", "3"});
      WaitUntil(open, 3000);
    }
    ASSERT_TRUE(open()) << "the tray menu did not open";
    QThread::msleep(200);
    Keys(keys, 800);
  }

  TXServer x;
  TMirovaHome home;
  QProcessEnvironment env;
  TChild trayer;

 private:
  QSize screen_;
};

}  // namespace kvtest
