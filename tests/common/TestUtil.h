#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
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

// The names in a folder (files and folders, hidden ones too), sorted.
QStringList FolderEntries(const QString& folder);

}  // namespace kvtest
