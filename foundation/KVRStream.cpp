#include "foundation/KVRStream.h"

#include <QBuffer>
#include <QtEndian>
#include <algorithm>
#include <cstdint>

#include "foundation/KVException.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVSafeSave.h"

namespace {

void CopyBytes(QIODevice& from, QIODevice& to, qint64 count) {
  char buf[65536];
  while (count > 0) {
    const qint64 n = from.read(buf, std::min<qint64>(sizeof buf, count));
    if (n <= 0) throw EStreamError(QStringLiteral("Stream read error"));
    if (to.write(buf, n) != n) throw EStreamError(QStringLiteral("Stream write error"));
    count -= n;
  }
}

void WriteI32(QIODevice& d, qint32 v) {
  const qint32 le = qToLittleEndian(v);
  if (d.write(reinterpret_cast<const char*>(&le), 4) != 4) throw EStreamError(QStringLiteral("Stream write error"));
}

}  // namespace

qint64 PackBudget(qint64 StoredBytes) {
  const qint64 stored = std::max<qint64>(0, StoredBytes);
  if (stored > (INT64_MAX - kPackFreeBytes) / kPackBytesPerStoredByte) return INT64_MAX;
  return kPackFreeBytes + stored * kPackBytesPerStoredByte;
}

TKVResEntry TKVCustomRes::GetEntry(int Index) const {
  if (Index < 0 || size_t(Index) >= directory_.size()) return {};
  return directory_[size_t(Index)];
}

bool TKVResReader::ReadDirectory() {
  auto fail = [this] {
    version_ = 0;
    count_ = 0;
    directory_.clear();
    offsets_.clear();
    budget_ = spent_ = 0;
    return false;
  };
  if (!stream_) return false;
  const qint64 total = stream_->size();
  if (startPos_ < 0 || !stream_->seek(startPos_)) return fail();
  const qint64 avail = total - startPos_;
  char head[8];
  if (avail < 8 || stream_->read(head, 8) != 8) return fail();
  const qint32 version = qFromLittleEndian<qint32>(head);
  const qint32 count = qFromLittleEndian<qint32>(head + 4);
  // The directory and the entries it names must fit in what the stream holds.
  if (count < 0 || qint64(count) * 8 > avail - 8) return fail();
  const QByteArray dir = stream_->read(qint64(count) * 8);
  if (dir.size() != qint64(count) * 8) return fail();
  directory_.assign(size_t(count), {});
  offsets_.assign(size_t(count), 0);
  qint64 running = 8 + qint64(count) * 8;
  for (qint32 i = 0; i < count; ++i) {
    TKVResEntry e{qFromLittleEndian<qint32>(dir.constData() + i * 8), qFromLittleEndian<qint32>(dir.constData() + i * 8 + 4)};
    if (e.Size < 0 || running + e.Size > avail) return fail();
    directory_[size_t(i)] = e;
    offsets_[size_t(i)] = running;
    running += e.Size;
  }
  version_ = version;
  count_ = count;
  budget_ = PackBudget(avail);
  spent_ = 0;
  return true;
}

void TKVResReader::SeekEntry(int Index, TKVResEntry& e) {
  if (!stream_ || Index < 0 || Index >= count_)
    throw EStreamError(QStringLiteral("Resource entry %1 does not exist").arg(Index));
  e = directory_[size_t(Index)];
  if (!stream_->seek(startPos_ + offsets_[size_t(Index)]))
    throw EStreamError(QStringLiteral("Resource entry %1 cannot be read").arg(Index));
}

QByteArray TKVResReader::ReadBuffer(int Index, qint64 MaxSize) {
  QBuffer out;
  out.open(QIODevice::ReadWrite);
  ReadToStream(Index, out, MaxSize);
  return out.data();
}

void TKVResReader::ReadToStream(int Index, QIODevice& Dest, qint64 MaxSize) {
  TKVResEntry e;
  SeekEntry(Index, e);
  Dest.seek(0);
  const qint64 limit = std::min(MaxSize, BudgetLeft());
  if (e.Kind >= 0) {
    if (e.Size > limit)
      throw EZlibBudgetError(e.Size > MaxSize
                                 ? QStringLiteral("Resource entry %1 is larger than %2 bytes").arg(Index).arg(MaxSize)
                                 : QStringLiteral("Resource entry %1 is beyond what the pack can hold").arg(Index));
    spent_ += e.Size;
    if (e.Size > 0) CopyBytes(*stream_, Dest, e.Size);
    if (e.Kind == 1 && e.Size >= 2) {
      Dest.seek(0);
      Dest.write("BM", 2);
    }
    return;
  }
  // The compressed bytes are staged in memory before inflation.
  QBuffer staged;
  staged.open(QIODevice::ReadWrite);
  CopyBytes(*stream_, staged, e.Size);
  staged.seek(0);
  const qint64 start = Dest.pos();
  try {
    ZDecompressStream(staged, e.Size, Dest, limit);
  } catch (const EZlibBudgetError&) {
    spent_ += Dest.pos() - start;
    if (limit < MaxSize)
      throw EZlibBudgetError(QStringLiteral("Resource entry %1 is beyond what the pack can hold").arg(Index));
    throw;
  } catch (...) {
    spent_ += Dest.pos() - start;
    throw;
  }
  spent_ += Dest.pos() - start;
}

TKVResFileReader::TKVResFileReader(const QString& FileName, qint64 StartPos) : TKVResReader(StartPos), file_(FileName) {
  if (!file_.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, file_.errorString()));
  stream_ = &file_;
  ReadDirectory();
}

TKVResWriter::TKVResWriter(qint32 Version, bool InMemory) {
  version_ = Version;
  if (InMemory) {
    auto buf = std::make_unique<QBuffer>();
    buf->open(QIODevice::ReadWrite);
    work_ = std::move(buf);
    return;
  }
  tempName_ = MakeUniqueFileName((TempDir.isEmpty() ? GetTempDir() : TempDir) + QStringLiteral("KVRW.TMP"));
  auto f = std::make_unique<QFile>(tempName_);
  if (!f->open(QIODevice::ReadWrite | QIODevice::Truncate))
    throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(tempName_, f->errorString()));
  work_ = std::move(f);
}

TKVResWriter::~TKVResWriter() {
  work_.reset();
  if (!tempName_.isEmpty()) QFile::remove(tempName_);
}

void TKVResWriter::Append(qint32 Kind, QIODevice& Source) {
  work_->seek(work_->size());
  qint64 size = 0;
  if (Kind >= 0) {
    const qint64 n = Source.size() - Source.pos();
    CopyBytes(Source, *work_, n);
    size = n;
  } else {
    size = ZCompressStream(Source, *work_);
  }
  if (size > INT32_MAX) throw EStreamError(QStringLiteral("Resource entry too large"));
  directory_.push_back({Kind, qint32(size)});
  offsets_.push_back(0);
  ++count_;
}

void TKVResWriter::AddBuffer(qint32 Kind, const QByteArray& Buffer) {
  QBuffer b;
  b.setData(Buffer);
  b.open(QIODevice::ReadOnly);
  Append(Kind, b);
}

void TKVResWriter::AddStream(qint32 Kind, QIODevice& Source) {
  Source.seek(0);
  Append(Kind, Source);
}

void TKVResWriter::SaveToStream(QIODevice& Dest) {
  WriteI32(Dest, version_);
  WriteI32(Dest, count_);
  for (const TKVResEntry& e : directory_) {
    WriteI32(Dest, e.Kind);
    WriteI32(Dest, e.Size);
  }
  // A work file whose buffered bytes never reached the disk would copy out short.
  if (auto* f = dynamic_cast<QFile*>(work_.get()); f && !f->flush())
    throw EStreamError(QStringLiteral("Stream write error: %1").arg(f->errorString()));
  work_->seek(0);
  CopyBytes(*work_, Dest, work_->size());
}

void TKVResFileWriter::Save() {
  // Made in memory first: a file that holds these bytes already is not written again.
  QByteArray bytes;
  QBuffer out(&bytes);
  out.open(QIODevice::WriteOnly);
  try {
    QFile old(fileName_);
    if (startPos_ > 0 && old.exists() && old.open(QIODevice::ReadOnly)) {
      // Bytes before the pack stay, and so do those after it.
      const qint64 before = std::min(startPos_, old.size());
      CopyBytes(old, out, before);
      for (qint64 i = before; i < startPos_; ++i)
        if (!out.putChar('\0')) throw EStreamError(QStringLiteral("Stream write error"));
      SaveToStream(out);
      const qint64 after = out.pos();
      if (old.size() > after && old.seek(after)) CopyBytes(old, out, old.size() - after);
    } else {
      SaveToStream(out);
    }
  } catch (const EFCreateError&) {
    throw;
  } catch (const EKVError& e) {
    throw EFCreateError(QStringLiteral("Cannot write file \"%1\". %2").arg(fileName_, e.Message()), e.Reason());
  }
  out.close();
  SafeSaveChangedBytes(fileName_, bytes);
}
