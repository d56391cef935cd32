#pragma once
// Every target first sends its starting inputs (the corpus checked in beside it) through the same
// code as any other input, once, and stops at once when they do not get through: a target that
// never reaches the code it is meant for passes every run and finds nothing.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

// Run gives the parts of the code an input got through (loaded successfully) as bits; the
// starting inputs together must get through every part in All.
inline void RequireStartingInputsReach(unsigned All, const std::function<unsigned(const uint8_t*, size_t)>& Run) {
  const QDir dir(QStringLiteral(KV_FUZZ_CORPUS));
  unsigned reached = 0;
  int files = 0;
  for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::ReadOnly)) continue;
    const QByteArray bytes = f.readAll();
    ++files;
    reached |= Run(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
  }
  if ((reached & All) != All) {
    std::fprintf(stderr, "The %d starting inputs in %s get through parts %#x of %#x of the code under test\n", files,
                 KV_FUZZ_CORPUS, reached & All, All);
    std::abort();
  }
  std::fprintf(stderr, "The %d starting inputs get through every part of the code under test\n", files);
}
