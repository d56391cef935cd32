// The installed program: `cmake --install` into a temporary DESTDIR, the Debian package, and the
// installed and portable programs started under the test X server with a temporary HOME.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

#include "foundation/KVRStream.h"
#include "tests/common/DesktopTestUtil.h"
#include "ui/MirIcon.h"

// Xlib's macros clash with Qt names: it comes last.
#include <X11/Xlib.h>

using namespace kvtest;

namespace {

const QString kAppId = "org.kelvoro.MirovaCalendar";
const QString kPrefix = KV_INSTALL_PREFIX;
constexpr qint32 kImagePackVersion = 0x564B0065;
// Installing and packaging copy and strip a large program.
constexpr int kSlowMs = 180000;

// Fails under CI, where the set-up installs every program the tests use; skips elsewhere.
#define REQUIRE_PROGRAM(program, package)                                                       \
  if (QStandardPaths::findExecutable(program).isEmpty()) {                                     \
    if (qEnvironmentVariableIsSet("CI")) FAIL() << program << " (" << package << ") is missing"; \
    GTEST_SKIP() << program << " (" << package << ") is not installed";                        \
  }

QStringList ExpectedFiles() {
  QStringList files{"bin/mirova", "share/applications/" + kAppId + ".desktop",
                    "share/metainfo/" + kAppId + ".metainfo.xml", "share/mirova-calendar/landscapes.mcp"};
  for (int size : kProgramIconSizes)
    files << QString("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId);
  files.sort();
  return files;
}

// Every file and link below root (relative path) with its size and time: what a run must not touch.
QMap<QString, QString> Tree(const QString& root) {
  QMap<QString, QString> tree;
  QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QFileInfo fi(it.next());
    tree[QDir(root).relativeFilePath(fi.filePath())] =
        QString("%1 %2").arg(fi.size()).arg(fi.lastModified().toMSecsSinceEpoch());
  }
  return tree;
}

QStringList FilesBelow(const QString& root) {
  QStringList files;
  for (const QString& path : Tree(root).keys())
    if (!QFileInfo(root + "/" + path).isDir()) files << path;
  return files;
}

// The value of a key of a desktop entry's main group.
QString DesktopValue(const QString& file, const QString& key) {
  for (const QString& line : QString::fromUtf8(ReadFile(file)).split('\n'))
    if (line.startsWith(key + "=")) return line.mid(key.size() + 1);
  return {};
}

// A user of the program: a fresh HOME and runtime folder on the test X server, with none of the
// test process's own folders (KV_PROGRAM_DIR, XDG) or a desktop session to reach.
class User {
 public:
  User(const QString& root, const QString& display) : home_(root + "/home"), runtime_(root + "/run") {
    QDir().mkpath(home_);
    QDir().mkpath(runtime_);
    QFile::setPermissions(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env_ = QProcessEnvironment::systemEnvironment();
    for (const QString& name : env_.keys())
      if (name.startsWith("XDG_") || name.startsWith("KV_") || name.startsWith("DBUS_") || name == "WAYLAND_DISPLAY" ||
          name == "DESKTOP_SESSION" || name == "QT_QPA_PLATFORM")
        env_.remove(name);
    env_.insert("HOME", home_);
    env_.insert("XDG_RUNTIME_DIR", runtime_);
    env_.insert("DISPLAY", display);
  }
  ~User() { Stop(); }

  QString Home() const { return home_; }
  QString DataFolder() const { return home_ + "/.local/share/MirovaCalendar/"; }

  bool Start(const QString& program) {
    process_.setProcessEnvironment(env_);
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(program, {});
    return process_.waitForStarted(10000);
  }
  bool Running() { return process_.state() == QProcess::Running; }
  // Ends the program as the session's end does; true when it ended cleanly.
  bool Stop() {
    if (process_.state() == QProcess::NotRunning) return true;
    process_.terminate();
    if (process_.waitForFinished(20000)) return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    process_.kill();
    process_.waitForFinished(2000);
    return false;
  }

 private:
  QString home_, runtime_;
  QProcessEnvironment env_;
  QProcess process_;
};

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    dest_ = dir_.path() + "/dest";
    prefix_ = dest_ + kPrefix;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", dest_);
    const RunResult r = RunProgram(KV_CMAKE_COMMAND, {"--install", KV_BUILD_DIR}, kSlowMs, env);
    ASSERT_TRUE(r.finished && r.exitCode == 0) << r.out.toStdString() << r.err.toStdString();
  }

  // The test X server's screen size, which the calendar bitmap takes.
  QSize ScreenSize() {
    Display* dpy = nullptr;
    for (int attempt = 0; attempt < 40 && !dpy; ++attempt) {
      dpy = XOpenDisplay(display_.toLocal8Bit().constData());
      if (!dpy) QThread::msleep(50);
    }
    if (!dpy) return {};
    const QSize size(DisplayWidth(dpy, DefaultScreen(dpy)), DisplayHeight(dpy, DefaultScreen(dpy)));
    XCloseDisplay(dpy);
    return size;
  }

  // Waits until the program has written the whole calendar bitmap to file.
  static bool WaitForCalendar(const QString& file, qint64 size, User& user) {
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired() && user.Running()) {
      if (QFileInfo(file).size() == size) return true;
      QThread::msleep(100);
    }
    return QFileInfo(file).size() == size;
  }

  bool NeedDisplay() {
    display_ = qEnvironmentVariable("KV_TEST_DISPLAY");
    return !display_.isEmpty();
  }

  QTemporaryDir dir_;
  QString dest_, prefix_, display_;
};

#define REQUIRE_DISPLAY()                                                                    \
  if (!NeedDisplay()) {                                                                      \
    if (qEnvironmentVariableIsSet("CI")) FAIL() << "KV_TEST_DISPLAY is not set";             \
    GTEST_SKIP() << "KV_TEST_DISPLAY is not set: the program runs under scripts/setup.sh test"; \
  }

// A 24-bit BMP of the screen's size: header and rows padded to four bytes.
qint64 CalendarFileSize(QSize screen) { return 54 + qint64((screen.width() * 3 + 3) & ~3) * screen.height(); }

}  // namespace

TEST_F(InstallTest, PutsTheProgramItsPackAndItsDesktopFilesUnderThePrefix) {
  EXPECT_EQ(FilesBelow(prefix_), ExpectedFiles());
  EXPECT_EQ(QDir(dest_).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1);
  EXPECT_TRUE(QFileInfo(prefix_ + "/bin/mirova").isExecutable());

  // The theme icons are the program's own icon, drawn by the same code.
  for (int size : kProgramIconSizes) {
    const QImage png(QString("%1/share/icons/hicolor/%2x%2/apps/%3.png").arg(prefix_).arg(size).arg(kAppId));
    ASSERT_EQ(png.size(), QSize(size, size));
    EXPECT_EQ(png.convertToFormat(QImage::Format_ARGB32), DrawProgramIcon(size).convertToFormat(QImage::Format_ARGB32))
        << size;
  }

  // The menu entry starts the installed program by name and shows its icon; the metainfo
  // describes that entry.
  const QString desktop = prefix_ + "/share/applications/" + kAppId + ".desktop";
  const QString metainfo = prefix_ + "/share/metainfo/" + kAppId + ".metainfo.xml";
  EXPECT_EQ(DesktopValue(desktop, "Exec"), "mirova");
  EXPECT_EQ(DesktopValue(desktop, "Icon"), kAppId);
  const QString xml = QString::fromUtf8(ReadFile(metainfo));
  EXPECT_TRUE(xml.contains("<id>" + kAppId + "</id>"));
  EXPECT_TRUE(xml.contains("<launchable type=\"desktop-id\">" + kAppId + ".desktop</launchable>"));
  EXPECT_TRUE(xml.contains("<binary>mirova</binary>"));
}

TEST_F(InstallTest, DesktopEntryAndMetainfoPassTheirValidators) {
  REQUIRE_PROGRAM("desktop-file-validate", "desktop-file-utils");
  REQUIRE_PROGRAM("appstreamcli", "appstream");
  const RunResult entry = RunProgram("desktop-file-validate", {prefix_ + "/share/applications/" + kAppId + ".desktop"});
  EXPECT_TRUE(entry.finished && entry.exitCode == 0) << entry.out.toStdString() << entry.err.toStdString();
  // Warnings fail too; --no-net: nothing here reaches the network.
  const RunResult meta =
      RunProgram("appstreamcli", {"validate", "--no-net", "--no-color", prefix_ + "/share/metainfo/" + kAppId + ".metainfo.xml"});
  EXPECT_TRUE(meta.finished && meta.exitCode == 0) << meta.out.toStdString() << meta.err.toStdString();
}

TEST_F(InstallTest, InstalledProgramKeepsTheUsersDataInTheUsersFolderAndFindsTheShippedPack) {
  REQUIRE_DISPLAY();
  const RootWindowLock lock(display_);
  const QSize screen = ScreenSize();
  ASSERT_FALSE(screen.isEmpty()) << "cannot open the X display " << display_.toStdString();
  // Root may write under any prefix: the program must still leave it alone.
  const QMap<QString, QString> before = Tree(dest_);
  User user(dir_.path() + "/user", display_);
  ASSERT_TRUE(user.Start(prefix_ + "/bin/mirova"));
  ASSERT_TRUE(WaitForCalendar(user.DataFolder() + "kvmir.bmp", CalendarFileSize(screen), user))
      << "no calendar bitmap of " << CalendarFileSize(screen) << " bytes in " << user.DataFolder().toStdString();

  // The shipped pack is found in the user's folder as a link, not a copy, and reads as a pack.
  const QFileInfo pack(user.DataFolder() + "landscapes.mcp");
  EXPECT_TRUE(pack.isSymLink());
  EXPECT_EQ(pack.canonicalFilePath(), QFileInfo(prefix_ + "/share/mirova-calendar/landscapes.mcp").canonicalFilePath());
  TKVResFileReader reader(pack.filePath());
  EXPECT_EQ(reader.Version(), kImagePackVersion);
  EXPECT_GT(reader.Count(), 2);

  EXPECT_EQ(Tree(dest_), before);
  EXPECT_TRUE(user.Stop());
  EXPECT_EQ(Tree(dest_), before) << "the program wrote under the prefix on its way out";
}

TEST_F(InstallTest, PortableProgramKeepsItsDataBesideItself) {
  REQUIRE_DISPLAY();
  const RootWindowLock lock(display_);
  const QSize screen = ScreenSize();
  ASSERT_FALSE(screen.isEmpty()) << "cannot open the X display " << display_.toStdString();
  // A writable folder holding the program and its pack, as a build folder does.
  const QString folder = dir_.path() + "/portable/";
  QDir().mkpath(folder);
  ASSERT_TRUE(QFile::copy(prefix_ + "/bin/mirova", folder + "mirova"));
  ASSERT_TRUE(QFile::copy(prefix_ + "/share/mirova-calendar/landscapes.mcp", folder + "landscapes.mcp"));
  User user(dir_.path() + "/user", display_);
  ASSERT_TRUE(user.Start(folder + "mirova"));
  ASSERT_TRUE(WaitForCalendar(folder + "kvmir.bmp", CalendarFileSize(screen), user));
  EXPECT_TRUE(user.Stop());
  EXPECT_FALSE(QFileInfo::exists(user.DataFolder()));
  EXPECT_FALSE(QFileInfo(folder + "landscapes.mcp").isSymLink());
}

TEST_F(InstallTest, DebianPackageHoldsTheInstalledFilesAndDependsOnTheLinkedLibraries) {
  REQUIRE_PROGRAM("dpkg-shlibdeps", "dpkg-dev");
  REQUIRE_PROGRAM("file", "file");
  const QString out = dir_.path() + "/package";
  const RunResult pack =
      RunProgram(KV_CPACK_COMMAND, {"-G", "DEB", "-B", out, "--config", KV_BUILD_DIR "/CPackConfig.cmake"}, kSlowMs);
  ASSERT_TRUE(pack.finished && pack.exitCode == 0) << pack.out.toStdString() << pack.err.toStdString();
  const QStringList debs = QDir(out).entryList({"*.deb"}, QDir::Files);
  ASSERT_EQ(debs.size(), 1);
  const QString deb = out + "/" + debs.first();

  const RunResult contents = RunProgram("dpkg-deb", {"--contents", deb});
  ASSERT_EQ(contents.exitCode, 0);
  QStringList files;
  for (const QString& line : contents.out.split('\n', Qt::SkipEmptyParts))
    if (!line.startsWith('d')) files << line.section(' ', -1).remove(QRegularExpression("^\\./usr/"));
  files.sort();
  EXPECT_EQ(files, ExpectedFiles());

  const RunResult depends = RunProgram("dpkg-deb", {"--field", deb, "Depends"});
  QStringList names;
  for (const QString& alt : depends.out.split(',', Qt::SkipEmptyParts)) names << alt.trimmed().section(' ', 0, 0);
  for (const char* lib : {"libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6printsupport6",
                          "libqt6dbus6", "libqt6network6", "zlib1g", "libjpeg62-turbo", "libgif7", "libx11-6",
                          "libxrandr2", "fonts-liberation2"})
    EXPECT_TRUE(names.contains(lib)) << lib << " missing from " << depends.out.toStdString();
}
