// How often the real program writes the calendar bitmap while a user only looks around: every
// page of the settings window visited again and again, then the program left alone on the Diary
// page and on the Images page (which shows the preview) for longer than a rotation tick. Nothing
// changes, so nothing may be written, and the program must stay idle.
#include <QDate>
#include <QDir>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "calendar/KVXSkinBaseM1.h"
#include "tests/app/ProgramUser.h"

using namespace kvtest;

namespace {

// Counts the times a file in a folder is replaced or written and closed.
class TWriteCounter {
 public:
  TWriteCounter(const QString& folder, const QString& name) : name_(QFile::encodeName(name)) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) ::inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_MOVED_TO | IN_CLOSE_WRITE);
  }
  ~TWriteCounter() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  // The writes since the last call.
  int Take() {
    alignas(inotify_event) char buf[4096];
    ssize_t n;
    while ((n = ::read(fd_, buf, sizeof buf)) > 0) {
      for (char* p = buf; p < buf + n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(p);
        if (e->len > 0 && name_ == e->name) ++count_;
        p += sizeof(inotify_event) + e->len;
      }
    }
    const int c = count_;
    count_ = 0;
    return c;
  }

 private:
  int fd_ = -1;
  QByteArray name_;
  int count_ = 0;
};

// The CPU time the process has used, in milliseconds.
qint64 CpuMs(qint64 pid) {
  QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  const QByteArray stat = f.readAll();
  // After the command's closing parenthesis: state is field 3, utime 14 and stime 15.
  const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
  if (fields.size() < 13) return -1;
  return (fields[11].toLongLong() + fields[12].toLongLong()) * 1000 / ::sysconf(_SC_CLK_TCK);
}

class BackgroundWrites : public TProgramUser {};

}  // namespace

TEST_F(BackgroundWrites, LookingThroughEveryPageWritesNothingAndLeavesTheProgramIdle) {
  // A diary of a thousand days, the coming ones among them (the notes box shows those).
  {
    TMDiaryBase doc;
    const QDate today = QDate::currentDate();
    for (int d = -990; d < 10; ++d) {
      TKVXBDiaryItem* item = doc.Data().Add();
      item->idx = today.addDays(d).toString(QStringLiteral("yyyy/MM/dd"));
      item->Lines = QStringLiteral("{\\rtf1\\ansi Day %1 of the garden diary\\par}").arg(d);
    }
    doc.SaveToFile(home.ExeDir() + QLatin1Char('/') + kDiaryFileName, true);
  }
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(home.Background()).size() > 0; }, 10000)) << m.Output().toStdString();
  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  TWriteCounter writes(home.ExeDir(), QStringLiteral("kvmir.bmp"));
  ASSERT_TRUE(writes.Ok());
  QThread::msleep(1500);
  writes.Take();  // what start-up still had under way

  const TPage pages[] = {pgCover, pgDiary, pgImages, pgStyle, pgOptions, pgSpecial, pgHelp, pgAbout};
  for (int round = 0; round < 4; ++round)
    for (const TPage p : pages) Tab(p);
  // Back and forth between the pages that show the preview and the Diary page.
  for (int round = 0; round < 4; ++round)
    for (const TPage p : {pgImages, pgDiary, pgStyle, pgDiary}) Tab(p);
  EXPECT_EQ(writes.Take(), 0) << "pages looked at, nothing changed";

  // Left alone on the Diary page, then on the Images page, each for more than a rotation tick.
  for (const TPage p : {pgDiary, pgImages}) {
    Tab(p);
    writes.Take();
    const qint64 before = CpuMs(m.Pid());
    QThread::msleep(12000);
    const qint64 used = CpuMs(m.Pid()) - before;
    EXPECT_EQ(writes.Take(), 0) << "idle on page " << int(p);
    EXPECT_LT(used, 1500) << "CPU milliseconds used while idle on page " << int(p);
  }
  ASSERT_TRUE(m.Running()) << m.Output().toStdString();

  // A real change still reaches the file once: OK draws and applies.
  Ok();
  ASSERT_TRUE(SettingsClosed());
  QThread::msleep(1500);
  EXPECT_EQ(writes.Take(), 1);
}
