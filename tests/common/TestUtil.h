#pragma once
#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <functional>
#include <sys/resource.h>

namespace kvtest {

// Points HOME, XDG folders and the program folder at a fresh temporary folder so that
// tests never touch the real user's settings or files.
void IsolateUserFolders();

// Removes the temporary root (at the end of the test program).
void RemoveUserFolders();

// The temporary root made by IsolateUserFolders().
QString TestRoot();

QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& data);
// Which file stands under Path and when it was last written ("missing" when none): a save puts
// another file in place, so the stamp changes with every save.
QString FileStamp(const QString& path);
QStringList FileStamps(const QStringList& paths);

// While it lives, every write that would make a file larger than Bytes fails (EFBIG), as writes
// do on a full disk: the process's file-size limit. Pipes and terminals are not affected.
class FullDisk {
 public:
  explicit FullDisk(qint64 bytes = 0);
  ~FullDisk();
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

// Prefix followed by zeros up to Size bytes, made as it is read: hostile data far larger than
// the test should hold, to be compressed on the way into a file.
class ZeroTail : public QIODevice {
 public:
  ZeroTail(const QByteArray& prefix, qint64 size) : prefix_(prefix), size_(size) { open(QIODevice::ReadOnly); }
  qint64 size() const override { return size_; }

 protected:
  qint64 readData(char* data, qint64 max) override {
    const qint64 at = pos(), n = std::min(max, size_ - at);
    if (n <= 0) return 0;
    std::memset(data, 0, size_t(n));
    if (at < prefix_.size()) std::memcpy(data, prefix_.constData() + at, size_t(std::min(n, prefix_.size() - at)));
    return n;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  QByteArray prefix_;
  qint64 size_;
};

// How far Work raised the memory of a child process that runs it, above what the child had
// when it started (the kernel restarts both peaks at a fork), in bytes: the address space (what
// was allocated, touched or not) and the resident pages. Negative values when the child died.
struct PeakGrowth {
  qint64 allocated = -1;
  qint64 resident = -1;
};
PeakGrowth MeasurePeakGrowth(const std::function<void()>& work);

// The names in a folder (files and folders, hidden ones too), sorted.
QStringList FolderEntries(const QString& folder);

}  // namespace kvtest
