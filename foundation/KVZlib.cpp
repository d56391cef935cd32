#include "foundation/KVZlib.h"

#include <QBuffer>
#include <algorithm>
#include <zlib.h>


namespace {
constexpr int kChunk = 16384;

[[noreturn]] void Fail(const char* what) { throw EZlibError(QStringLiteral("Compressed data error: %1").arg(QLatin1String(what))); }
}  // namespace

qint64 ZCompressStream(QIODevice& In, QIODevice& Out, int level) {
  z_stream zs{};
  if (deflateInit(&zs, level) != Z_OK) Fail("cannot start compression");
  char inBuf[kChunk];
  char outBuf[kChunk];
  qint64 written = 0;
  int flush = Z_NO_FLUSH;
  try {
    do {
      const qint64 n = In.read(inBuf, kChunk);
      if (n < 0) Fail("read error");
      flush = (n == 0 || In.atEnd()) ? Z_FINISH : Z_NO_FLUSH;
      zs.next_in = reinterpret_cast<Bytef*>(inBuf);
      zs.avail_in = uInt(n);
      do {
        zs.next_out = reinterpret_cast<Bytef*>(outBuf);
        zs.avail_out = kChunk;
        if (deflate(&zs, flush) == Z_STREAM_ERROR) Fail("deflate");
        const qint64 have = kChunk - zs.avail_out;
        if (have > 0 && Out.write(outBuf, have) != have) throw EStreamError(QStringLiteral("Stream write error"));
        written += have;
      } while (zs.avail_out == 0);
    } while (flush != Z_FINISH);
  } catch (...) {
    deflateEnd(&zs);
    throw;
  }
  deflateEnd(&zs);
  return written;
}

void ZDecompressStream(QIODevice& In, qint64 Count, QIODevice& Out, qint64 maxSize) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) Fail("cannot start decompression");
  char inBuf[kChunk];
  char outBuf[kChunk];
  qint64 remaining = Count, total = 0;
  int ret = Z_OK;
  try {
    while (ret != Z_STREAM_END) {
      if (zs.avail_in == 0) {
        if (remaining <= 0) Fail("unexpected end");
        const qint64 n = In.read(inBuf, std::min<qint64>(kChunk, remaining));
        if (n <= 0) Fail("unexpected end");
        remaining -= n;
        zs.next_in = reinterpret_cast<Bytef*>(inBuf);
        zs.avail_in = uInt(n);
      }
      zs.next_out = reinterpret_cast<Bytef*>(outBuf);
      zs.avail_out = kChunk;
      ret = inflate(&zs, Z_NO_FLUSH);
      if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_MEM_ERROR || ret == Z_STREAM_ERROR) Fail("corrupt");
      const qint64 have = kChunk - zs.avail_out;
      total += have;
      if (total > maxSize)
        throw EZlibBudgetError(QStringLiteral("Compressed data error: more than %1 bytes would come out").arg(maxSize));
      if (have > 0 && Out.write(outBuf, have) != have) throw EStreamError(QStringLiteral("Stream write error"));
      if (ret == Z_BUF_ERROR && zs.avail_in == 0 && remaining <= 0) Fail("unexpected end");
    }
  } catch (...) {
    inflateEnd(&zs);
    throw;
  }
  inflateEnd(&zs);
}

QByteArray ZCompress(const QByteArray& data, int level) {
  QBuffer in;
  in.setData(data);
  in.open(QIODevice::ReadOnly);
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  ZCompressStream(in, out, level);
  return out.data();
}

QByteArray ZDecompress(const QByteArray& data, qint64 maxSize) {
  QBuffer in;
  in.setData(data);
  in.open(QIODevice::ReadOnly);
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  ZDecompressStream(in, data.size(), out, maxSize);
  return out.data();
}

struct TZInflater::TState {
  static constexpr int kIn = 1 << 16;
  z_stream zs{};
  char in[kIn];
};

TZInflater::TZInflater(QIODevice& In, qint64 Count, qint64 maxSize)
    : z_(std::make_unique<TState>()), in_(In), remaining_(Count), most_(maxSize) {
  if (inflateInit(&z_->zs) != Z_OK) Fail("cannot start decompression");
}

TZInflater::~TZInflater() { inflateEnd(&z_->zs); }

qsizetype TZInflater::Read(char* To, qsizetype Room) {
  if (ended_) return 0;
  z_stream& zs = z_->zs;
  zs.next_out = reinterpret_cast<Bytef*>(To);
  zs.avail_out = uInt(std::min<qsizetype>(Room, qsizetype(1) << 30));
  const uInt room = zs.avail_out;
  while (zs.avail_out > 0 && !ended_) {
    if (zs.avail_in == 0) {
      if (remaining_ <= 0) Fail("unexpected end");
      const qint64 n = in_.read(z_->in, std::min<qint64>(TState::kIn, remaining_));
      if (n <= 0) Fail("unexpected end");
      remaining_ -= n;
      zs.next_in = reinterpret_cast<Bytef*>(z_->in);
      zs.avail_in = uInt(n);
    }
    const int ret = inflate(&zs, Z_NO_FLUSH);
    if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_MEM_ERROR || ret == Z_STREAM_ERROR) Fail("corrupt");
    if (ret == Z_STREAM_END) ended_ = true;
    if (ret == Z_BUF_ERROR && zs.avail_in == 0 && remaining_ <= 0) Fail("unexpected end");
  }
  const qsizetype have = room - zs.avail_out;
  total_ += have;
  if (total_ > most_)
    throw EZlibBudgetError(QStringLiteral("Compressed data error: more than %1 bytes would come out").arg(most_));
  return have;
}
