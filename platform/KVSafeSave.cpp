#include "platform/KVSafeSave.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "platform/KVError.h"

TKVSafeSave::TKVSafeSave(const QString& FileName, bool OwnerOnly) : name_(FileName), file_(FileName) {
  if (!file_.open(QIODevice::WriteOnly)) {
    done_ = true;
    throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(name_, file_.errorString()),
                        file_.errorString());
  }
  if (OwnerOnly) file_.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TKVSafeSave::~TKVSafeSave() { Cancel(); }

void TKVSafeSave::Cancel() {
  if (done_) return;
  done_ = true;
  file_.cancelWriting();
  file_.commit();  // after cancelWriting this only removes the temporary file
}

void TKVSafeSave::Fail(const QString& why) {
  Cancel();
  throw EFCreateError(QStringLiteral("Cannot write file \"%1\". %2").arg(name_, why), why);
}

QString TKVSafeSave::WriteError(int Errno) {
  // A failed write leaves only "Unknown error" behind, or no error at all when it was cut short:
  // the buffer written out again, or the system's error number of the failed write, gives the
  // real reason.
  const bool failed = file_.error() != QFileDevice::NoError;
  if (!done_ && !file_.flush()) return file_.errorString();
  if (Errno != 0) return QString::fromLocal8Bit(std::strerror(Errno));
  return failed ? file_.errorString() : QString();
}

void TKVSafeSave::Commit() {
  if (done_) throw EFCreateError(QStringLiteral("Cannot write file \"%1\". It was given up already").arg(name_));
  // Whatever still sits in Qt's buffer is written now, while an error can still stop the commit.
  if (!file_.flush() || file_.error() != QFileDevice::NoError) Fail(file_.errorString());
  // Space that a file system reserves only at write-back (and quota) shows up here.
  const int fd = file_.handle();
  if (fd >= 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP)
    Fail(QString::fromLocal8Bit(std::strerror(errno)));
  done_ = true;
  if (!file_.commit())
    throw EFCreateError(QStringLiteral("Cannot write file \"%1\". %2").arg(name_, file_.errorString()),
                        file_.errorString());
}

void SafeSaveFile(const QString& FileName, const std::function<void(QIODevice&)>& Write, bool OwnerOnly) {
  TKVSafeSave save(FileName, OwnerOnly);
  try {
    errno = 0;  // what it holds after a failed write is that write's reason
    Write(save.Device());
  } catch (const EFCreateError&) {
    throw;
  } catch (const EKVError& e) {
    const int err = errno;
    const QString reason = save.WriteError(err);
    save.Cancel();
    throw EFCreateError(QStringLiteral("Cannot write file \"%1\". %2").arg(FileName, reason.isEmpty() ? e.Message() : reason),
                        reason.isEmpty() ? e.Reason() : reason);
  }
  save.Commit();
}

void SafeSaveBytes(const QString& FileName, const QByteArray& Bytes, bool OwnerOnly) {
  SafeSaveFile(
      FileName,
      [&Bytes](QIODevice& d) {
        if (d.write(Bytes) != Bytes.size()) throw EStreamError(d.errorString());
      },
      OwnerOnly);
}

QString KeepFileAside(const QString& FileName) {
  QFile source(FileName);
  if (!source.exists()) return {};
  QString aside = FileName + QStringLiteral(".bak");
  for (int n = 1; QFile::exists(aside); ++n) aside = FileName + QString::number(n) + QStringLiteral(".bak");
  if (!source.open(QIODevice::ReadOnly))
    throw EFCreateError(
        QStringLiteral("Cannot keep a copy of \"%1\" before saving over it. %2").arg(FileName, source.errorString()),
        source.errorString());
  // Copied through the same checks as any save: a copy cut short by a full disk must not count.
  try {
    SafeSaveFile(
        aside,
        [&source](QIODevice& d) {
          char buf[65536];
          for (;;) {
            const qint64 n = source.read(buf, sizeof buf);
            if (n < 0) throw EStreamError(source.errorString());
            if (n == 0) break;
            if (d.write(buf, n) != n) throw EStreamError(d.errorString());
          }
        },
        true);
  } catch (const EKVError& e) {
    throw EFCreateError(QStringLiteral("Cannot keep a copy of \"%1\" before saving over it. %2").arg(FileName, e.Message()),
                        e.Reason());
  }
  return aside;
}

bool FileHolds(const QString& FileName, const QByteArray& Bytes) {
  QFile f(FileName);
  // The size is known without reading: most changed files differ in it.
  if (!f.open(QIODevice::ReadOnly) || f.size() != Bytes.size()) return false;
  constexpr qint64 kChunk = 1 << 16;
  QByteArray chunk;
  for (qint64 at = 0; at < Bytes.size(); at += kChunk) {
    chunk = f.read(std::min(kChunk, Bytes.size() - at));
    if (chunk.size() != std::min(kChunk, Bytes.size() - at) ||
        std::memcmp(chunk.constData(), Bytes.constData() + at, size_t(chunk.size())) != 0)
      return false;
  }
  return f.read(1).isEmpty();
}

bool SafeSaveChangedBytes(const QString& FileName, const QByteArray& Bytes, bool OwnerOnly) {
  if (FileHolds(FileName, Bytes)) return false;
  SafeSaveBytes(FileName, Bytes, OwnerOnly);
  return true;
}
