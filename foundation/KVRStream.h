#pragma once
// The resource pack: Version, Count, a directory of (Kind, Size) pairs, then the entries back to
// back; a negative Kind marks a zlib-compressed entry, Kind 1 a bitmap file whose first two
// bytes read back as "BM". A pack may start anywhere in its stream (StartPos).
#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <memory>
#include <vector>

#include "foundation/KVZlib.h"

// What all the entries of a pack of StoredBytes may hold together: a few real packs' worth
// whatever their size (texts and bitmaps deflate to a tenth or less), beyond that a ratio that
// real data stays far below while a few hostile kilobytes (deflate reaches about 1:1000) do not.
constexpr qint64 kPackFreeBytes = qint64(16) * 1024 * 1024;
constexpr qint64 kPackBytesPerStoredByte = 16;
qint64 PackBudget(qint64 StoredBytes);

struct TKVResEntry {
  qint32 Kind = 0;
  qint32 Size = 0;
};

class TKVCustomRes {
 public:
  explicit TKVCustomRes(qint64 StartPos = 0) : startPos_(StartPos) {}
  virtual ~TKVCustomRes() = default;
  TKVCustomRes(const TKVCustomRes&) = delete;
  TKVCustomRes& operator=(const TKVCustomRes&) = delete;

  qint32 Version() const { return version_; }
  void SetVersion(qint32 v) { version_ = v; }
  qint32 Count() const { return count_; }
  qint64 StartPos() const { return startPos_; }
  void SetStartPos(qint64 p) { startPos_ = p; }
  // The directory pair of an entry; (0, 0) when there is no such entry.
  TKVResEntry GetEntry(int Index) const;

 protected:
  qint32 version_ = 0;
  qint32 count_ = 0;
  std::vector<TKVResEntry> directory_;
  std::vector<qint64> offsets_;  // relative to StartPos
  qint64 startPos_ = 0;
};

class TKVResReader : public TKVCustomRes {
 public:
  using TKVCustomRes::TKVCustomRes;
  QIODevice* Stream() const { return stream_; }
  // Not owned; call ReadDirectory after every change.
  void SetStream(QIODevice* s) { stream_ = s; }
  // False (Version and Count 0) without a stream, on a short stream, or when the directory
  // claims more than the stream holds.
  bool ReadDirectory();
  // The whole entry, inflated when compressed; raises EStreamError/EZlibError on bad data and
  // EZlibBudgetError when it is larger than MaxSize, the most the kind of entry read can
  // plausibly hold (the default suits texts).
  QByteArray ReadBuffer(int Index, qint64 MaxSize = kMaxTextSize);
  // Writes the entry, inflated, into Dest from position 0 (Dest is not truncated).
  void ReadToStream(int Index, QIODevice& Dest, qint64 MaxSize = kMaxTextSize);
  // What the entries read since ReadDirectory may still add up to. All reads of one pack share
  // this budget, raw or inflated (see PackBudget), so that many entries, or one entry read many
  // times, cost no more than one pack could plausibly hold; past it a read raises
  // EZlibBudgetError.
  qint64 BudgetLeft() const { return budget_ - spent_; }

 protected:
  QIODevice* stream_ = nullptr;
  qint64 budget_ = 0;
  qint64 spent_ = 0;

 private:
  void SeekEntry(int Index, TKVResEntry& e);
};

class TKVResFileReader : public TKVResReader {
 public:
  // Opens the file read-only and reads its directory; raises EFOpenError when it cannot be opened.
  explicit TKVResFileReader(const QString& FileName, qint64 StartPos = 0);

 private:
  QFile file_;
};

class TKVResWriter : public TKVCustomRes {
 public:
  // Collects entries in memory or in a temporary file.
  TKVResWriter(qint32 Version, bool InMemory);
  ~TKVResWriter() override;
  void AddBuffer(qint32 Kind, const QByteArray& Buffer);
  void AddStream(qint32 Kind, QIODevice& Source);
  // Writes the whole pack at Dest's position.
  void SaveToStream(QIODevice& Dest);
  QString TempFileName() const { return tempName_; }

 private:
  std::unique_ptr<QIODevice> work_;
  QString tempName_;
  void Append(qint32 Kind, QIODevice& Source);
};

class TKVResFileWriter : public TKVResWriter {
 public:
  TKVResFileWriter(qint32 Version, bool InMemory, const QString& FileName)
      : TKVResWriter(Version, InMemory), fileName_(FileName) {}
  // Replaces the file atomically; with StartPos > 0 and an existing file, the bytes around the
  // pack are kept. Raises EFCreateError when the file cannot be written.
  void Save();

 private:
  QString fileName_;
};
