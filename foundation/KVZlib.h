#pragma once
// zlib streams at the default level (window 15, memory level 8, default strategy); inflation in
// 16,384-byte steps within a budget: the most bytes the kind of data inflated could plausibly
// be, so that a few hostile kilobytes (deflate reaches about 1:1000) never become gigabytes.
#include <QByteArray>
#include <QIODevice>
#include <memory>

#include "foundation/KVException.h"

// Texts of documents and settings: holidays, events, icons, layouts, skin and built-in texts.
// 16 MiB holds some 100,000 holidays or 2,000 favourite icons.
constexpr qint64 kMaxTextSize = qint64(16) * 1024 * 1024;
// Texts the user writes in rich text, pictures included (diary, quick notes, stored help
// texts): as large as a notebook file may be.
constexpr qint64 kMaxRichTextSize = qint64(256) * 1024 * 1024;
// The user's own rich-text documents as a whole (the diary, the quick notes): they hold many
// such texts, so they may grow far beyond one; kept within what a 32-bit length holds.
constexpr qint64 kMaxUserDocumentSize = qint64(1) << 30;

// More would come out than the budget allows: not damage, so nothing of it is used.
KV_DECLARE_ERROR(EZlibBudgetError, EZlibError)

// Level: zlib's 0 (stored) to 9 (smallest); -1 its default. Any level inflates alike.
constexpr int kZFastest = 1;
QByteArray ZCompress(const QByteArray& data, int level = -1);
// Raises EZlibError on corrupt or cut data, EZlibBudgetError when more than maxSize bytes would
// come out.
QByteArray ZDecompress(const QByteArray& data, qint64 maxSize);
// Compresses all of In (from its position) into Out; returns the number of bytes written.
qint64 ZCompressStream(QIODevice& In, QIODevice& Out, int level = -1);
// Inflates Count bytes of In into Out; raises as ZDecompress. What was inflated before an error
// is in Out.
void ZDecompressStream(QIODevice& In, qint64 Count, QIODevice& Out, qint64 maxSize);

// Inflation piece by piece into the caller's memory, for data that is looked through as it comes
// out and need not be held whole. Raises as ZDecompressStream; what Read gave before is good.
class TZInflater {
 public:
  // Inflates Count bytes of In (from its position), at most maxSize bytes coming out.
  TZInflater(QIODevice& In, qint64 Count, qint64 maxSize);
  ~TZInflater();
  TZInflater(const TZInflater&) = delete;
  TZInflater& operator=(const TZInflater&) = delete;
  // Fills To with up to Room bytes (fewer only at the end); 0 once the stream has ended.
  qsizetype Read(char* To, qsizetype Room);
  bool AtEnd() const { return ended_; }

 private:
  struct TState;
  std::unique_ptr<TState> z_;
  QIODevice& in_;
  qint64 remaining_, most_, total_ = 0;
  bool ended_ = false;
};
