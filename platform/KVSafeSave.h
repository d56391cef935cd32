#pragma once
// The one way the program replaces a file: the content goes to a temporary file beside it, which
// takes the file's place only when every byte was written and reached the disk. Qt 6.4's
// QSaveFile::commit() misses a write error raised while its buffer is flushed on close (a full
// disk and a small file): it renames an empty file over the old one and reports success. So the
// buffer is flushed and the device's error checked before the commit.
#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <functional>

class TKVSafeSave {
 public:
  // Opens the temporary file; raises EFCreateError when it cannot be created. OwnerOnly makes
  // the file readable and writable by its owner only.
  explicit TKVSafeSave(const QString& FileName, bool OwnerOnly = false);
  // Without a commit the temporary file is dropped and the old file stays as it was.
  ~TKVSafeSave();
  TKVSafeSave(const TKVSafeSave&) = delete;
  TKVSafeSave& operator=(const TKVSafeSave&) = delete;

  // Write the new content here.
  QIODevice& Device() { return file_; }
  const QString& FileName() const { return name_; }
  // Puts the new file in place; raises EFCreateError (and leaves the old file whole) when any
  // byte could not be written.
  void Commit();
  void Cancel();
  // The system's reason for the device's last failed write (Errno: the error number right after
  // it, 0 when not known); empty when none failed.
  QString WriteError(int Errno = 0);

 private:
  QString name_;
  QSaveFile file_;
  bool done_ = false;
  [[noreturn]] void Fail(const QString& why);
};

// Writes the whole file through TKVSafeSave: Write fills the device; an exception it raises, or a
// failed write, leaves the old file whole and reaches the caller as EFCreateError with the
// system's reason (other exceptions pass unchanged).
void SafeSaveFile(const QString& FileName, const std::function<void(QIODevice&)>& Write, bool OwnerOnly = false);
void SafeSaveBytes(const QString& FileName, const QByteArray& Bytes, bool OwnerOnly = false);

// The file exists and holds exactly Bytes (a file that cannot be read does not).
bool FileHolds(const QString& FileName, const QByteArray& Bytes);
// SafeSaveBytes unless the file holds Bytes already; true when it was written.
bool SafeSaveChangedBytes(const QString& FileName, const QByteArray& Bytes, bool OwnerOnly = false);

// Copies a file that could not be read as a whole to a new name beside it (FileName.bak, then
// FileName1.bak, FileName2.bak, ...), owner-only, so that a save never replaces the only copy of what it could
// not read. Returns the copy's name; raises EFCreateError when no copy could be made. Nothing
// happens (and an empty name is returned) when the file does not exist.
QString KeepFileAside(const QString& FileName);
