#pragma once
// zlib streams at the default level (window 15, memory level 8, default strategy); inflation in
// 16,384-byte steps with a ceiling on the inflated size.
#include <QByteArray>
#include <QIODevice>

constexpr qint64 kMaxInflatedSize = qint64(512) * 1024 * 1024;

QByteArray ZCompress(const QByteArray& data);
// Raises EZlibError on corrupt data or when more than maxSize bytes would come out.
QByteArray ZDecompress(const QByteArray& data, qint64 maxSize = kMaxInflatedSize);
// Compresses all of In (from its position) into Out; returns the number of bytes written.
qint64 ZCompressStream(QIODevice& In, QIODevice& Out);
// Inflates Count bytes of In into Out; raises EZlibError as above.
void ZDecompressStream(QIODevice& In, qint64 Count, QIODevice& Out, qint64 maxSize = kMaxInflatedSize);
