// The installed program: `cmake --install` into a temporary DESTDIR, the Debian package, and the
// installed and portable programs started on an X server of the test's own with a fresh home.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "foundation/KVRStream.h"
#include "tests/app/MirovaProgram.h"
#include "tests/common/DesktopTestUtil.h"
#include "tests/platform/helpers/ProcessTestUtil.h"
#include "ui/MirIcon.h"

using namespace kvtest;

namespace {

const QString kAppId = "org.kelvoro.MirovaCalendar";
const QString kPrefix = KV_INSTALL_PREFIX;
constexpr qint32 kImagePackVersion = 0x564B0065;
// Installing and packaging copy and strip a large program.
constexpr int kSlowMs = 180000;

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

// A 24-bit BMP of the screen's size: header and rows padded to four bytes.
qint64 CalendarFileSize(QSize screen) { return 54 + qint64((screen.width() * 3 + 3) & ~3) * screen.height(); }

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

  QTemporaryDir dir_;
  QString dest_, prefix_;
};

// A user on an X server of the test's own, with a fresh home and none of the test's folders.
class RunTest : public InstallTest {
 protected:
  void SetUp() override {
    InstallTest::SetUp();
    KV_REQUIRE_PROGRAM("Xvfb");
    const QString why = x_.Start(QSize(1024, 768));
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    env_ = home_.Environment(x_.Name());
    // The program finds its folder itself, as it does for a user.
    env_.remove("KV_PROGRAM_DIR");
  }
  QString DataFolder() const { return home_.Path("data") + "/MirovaCalendar/"; }
  // Waits until the program has written the whole calendar bitmap.
  bool CalendarWritten(const QString& file) {
    return WaitUntil([&] { return QFileInfo(file).size() == CalendarFileSize(x_.Size()); }, 30000);
  }

  TXServer x_;
  TMirovaHome home_;
  QProcessEnvironment env_;
};

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
  KV_REQUIRE_PROGRAM("desktop-file-validate");  // desktop-file-utils
  KV_REQUIRE_PROGRAM("appstreamcli");           // appstream
  const RunResult entry = RunProgram("desktop-file-validate", {prefix_ + "/share/applications/" + kAppId + ".desktop"});
  EXPECT_TRUE(entry.finished && entry.exitCode == 0) << entry.out.toStdString() << entry.err.toStdString();
  // Warnings fail too; --no-net: nothing here reaches the network.
  const RunResult meta =
      RunProgram("appstreamcli", {"validate", "--no-net", "--no-color", prefix_ + "/share/metainfo/" + kAppId + ".metainfo.xml"});
  EXPECT_TRUE(meta.finished && meta.exitCode == 0) << meta.out.toStdString() << meta.err.toStdString();
}

TEST_F(RunTest, InstalledProgramKeepsTheUsersDataInTheUsersFolderAndFindsTheShippedPack) {
  // Root may write under any prefix: the program must still leave it alone.
  const QMap<QString, QString> before = Tree(dest_);
  TMirova m;
  ASSERT_TRUE(m.Start(env_, {}, prefix_ + "/bin/mirova"));
  ASSERT_TRUE(CalendarWritten(DataFolder() + "kvmir.bmp")) << m.Output().toStdString();

  // The shipped pack is found in the user's folder as a link, not a copy, and reads as a pack.
  const QFileInfo pack(DataFolder() + "landscapes.mcp");
  EXPECT_TRUE(pack.isSymLink());
  EXPECT_EQ(pack.canonicalFilePath(), QFileInfo(prefix_ + "/share/mirova-calendar/landscapes.mcp").canonicalFilePath());
  TKVResFileReader reader(pack.filePath());
  EXPECT_EQ(reader.Version(), kImagePackVersion);
  EXPECT_GT(reader.Count(), 2);

  EXPECT_EQ(Tree(dest_), before);
  // Ends as at the session's end, saving what it holds.
  m.Signal(SIGTERM);
  ASSERT_TRUE(m.WaitForExit(20000));
  EXPECT_EQ(m.ExitCode(), 0) << m.Output().toStdString();
  EXPECT_EQ(Tree(dest_), before) << "the program wrote under the prefix on its way out";
}

TEST_F(RunTest, PortableProgramKeepsItsDataBesideItself) {
  // A writable folder holding the program and its pack, as a build folder does.
  const QString folder = dir_.path() + "/portable/";
  QDir().mkpath(folder);
  ASSERT_TRUE(QFile::copy(prefix_ + "/bin/mirova", folder + "mirova"));
  ASSERT_TRUE(QFile::copy(prefix_ + "/share/mirova-calendar/landscapes.mcp", folder + "landscapes.mcp"));
  TMirova m;
  ASSERT_TRUE(m.Start(env_, {}, folder + "mirova"));
  ASSERT_TRUE(CalendarWritten(folder + "kvmir.bmp")) << m.Output().toStdString();
  EXPECT_FALSE(QFileInfo::exists(DataFolder()));
  EXPECT_FALSE(QFileInfo(folder + "landscapes.mcp").isSymLink());
}

TEST_F(InstallTest, DebianPackageHoldsTheInstalledFilesAndDependsOnTheLinkedLibraries) {
  KV_REQUIRE_PROGRAM("dpkg-shlibdeps");  // dpkg-dev
  KV_REQUIRE_PROGRAM("file");
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
