#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include "platform/KVError.h"
#include "platform/KVSafeSave.h"
#include "tests/common/TestUtil.h"

namespace {

QString FreshFolder(const QString& name) {
  const QString dir = kvtest::TestRoot() + "/" + name;
  QDir(dir).removeRecursively();
  QDir().mkpath(dir);
  return dir;
}

// A small tmpfs of its own, unmounted at the end; only root may mount one.
class SmallTmpfs {
 public:
  explicit SmallTmpfs(const QString& dir) : dir_(dir) {
    mounted_ = geteuid() == 0 && ::mount("tmpfs", dir.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") == 0;
  }
  ~SmallTmpfs() {
    if (mounted_) ::umount2(dir_.toLocal8Bit().constData(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }

 private:
  QString dir_;
  bool mounted_ = false;
};

}  // namespace

TEST(SafeSave, FullDiskFailsTheSaveAndKeepsTheOldFile) {
  const QString dir = FreshFolder("safesave-full");
  const QString file = dir + "/settings.json";
  kvtest::WriteFile(file, "old content");
  // Smaller than Qt's write buffer (the case QSaveFile reports as saved), larger, and a disk
  // with a little room left.
  for (const auto& [room, size] : {std::pair{0, 20}, std::pair{0, 200000}, std::pair{100, 5000}}) {
    bool failed = false;
    {
      kvtest::FullDisk full(room);
      try {
        SafeSaveBytes(file, QByteArray(size, 'n'));
      } catch (const EFCreateError&) {
        failed = true;
      }
    }
    EXPECT_TRUE(failed) << size;
    EXPECT_EQ(kvtest::ReadFile(file), "old content") << size;
    EXPECT_EQ(kvtest::FolderEntries(dir), QStringList{"settings.json"}) << "no temporary file is left behind";
  }
  SafeSaveBytes(file, "new", true);
  EXPECT_EQ(kvtest::ReadFile(file), "new");
  EXPECT_EQ(QFile::permissions(file) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup), 0);
}

TEST(SafeSave, RealFullFileSystem) {
  const QString dir = FreshFolder("safesave-tmpfs");
  SmallTmpfs fs(dir);
  if (!fs.Mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  const QString file = dir + "/mdiary.dat";
  SafeSaveBytes(file, "the diary");
  {
    QFile fill(dir + "/fill");
    ASSERT_TRUE(fill.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (fill.write(block) == block.size() && fill.flush()) {
    }
  }
  EXPECT_THROW(SafeSaveBytes(file, "a short new diary"), EFCreateError);
  EXPECT_EQ(kvtest::ReadFile(file), "the diary");
  QFile::remove(dir + "/fill");
  SafeSaveBytes(file, "a short new diary");
  EXPECT_EQ(kvtest::ReadFile(file), "a short new diary");
}

TEST(SafeSave, WriterErrorsCancelTheSave) {
  const QString dir = FreshFolder("safesave-writer");
  const QString file = dir + "/a.dat";
  kvtest::WriteFile(file, "old");
  auto halfThenFail = [](QIODevice& d) {
    d.write("half");
    throw EStreamError("bad data");
  };
  EXPECT_THROW(SafeSaveFile(file, halfThenFail), EFCreateError);
  EXPECT_THROW(SafeSaveFile(file, [](QIODevice&) { throw std::runtime_error("other"); }), std::runtime_error);
  EXPECT_EQ(kvtest::ReadFile(file), "old");
  EXPECT_EQ(kvtest::FolderEntries(dir), QStringList{"a.dat"});
  EXPECT_THROW(SafeSaveBytes(dir + "/missing/a.dat", "x"), EFCreateError);
}

TEST(SafeSave, KeepFileAsideNeverReplacesAnEarlierCopy) {
  const QString dir = FreshFolder("safesave-aside");
  const QString file = dir + "/mnotes.dat";
  EXPECT_EQ(KeepFileAside(file), QString());  // nothing to keep
  kvtest::WriteFile(file, "first damaged");
  EXPECT_EQ(KeepFileAside(file), file + ".bak");
  kvtest::WriteFile(file, "second damaged");
  EXPECT_EQ(KeepFileAside(file), file + "1.bak");
  EXPECT_EQ(kvtest::ReadFile(file + ".bak"), "first damaged");
  EXPECT_EQ(kvtest::ReadFile(file + "1.bak"), "second damaged");
  EXPECT_EQ(QFile::permissions(file + "1.bak") & (QFile::ReadGroup | QFile::ReadOther), 0);
  {
    kvtest::FullDisk full(3);
    EXPECT_THROW(KeepFileAside(file), EFCreateError);
  }
  EXPECT_FALSE(QFile::exists(file + "2.bak")) << "a copy cut short does not count";
}
