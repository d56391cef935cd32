#pragma once
// A check that fails names the property it checks before it stops the run: the fuzzer's report
// of a dead process then says what went wrong, and where, beside the input it keeps.
//
// Every target first sends its starting inputs (the corpus checked in beside it) through the same
// code as any other input, once, and stops at once when they do not get through: a target that
// never reaches the code it is meant for passes every run and finds nothing.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

[[noreturn]] inline void FuzzPropertyFailed(const char* property, const char* condition, const char* file, int line) {
  std::fprintf(stderr, "\n==== Property failed: %s\n==== (%s, at %s:%d)\n", property, condition, file, line);
  std::fflush(stderr);
  std::abort();
}

#define FUZZ_CHECK(condition, property)                                             \
  do {                                                                              \
    if (!(condition)) FuzzPropertyFailed(property, #condition, __FILE__, __LINE__); \
  } while (false)

inline unsigned FuzzCode(QChar c) { return c.unicode(); }
inline unsigned FuzzCode(char c) { return uchar(c); }

// Where two texts or byte strings that should be the same first differ, with a little of each
// around it: enough to see the fault without a debugger.
template <class Text>
void FuzzPrintDifference(const char* firstName, const Text& first, const char* secondName, const Text& second) {
  qsizetype at = 0;
  while (at < first.size() && at < second.size() && first[at] == second[at]) ++at;
  const qsizetype from = at < 16 ? 0 : at - 16;
  const auto around = [&](const Text& t) {
    QByteArray shown;
    for (qsizetype i = from; i < t.size() && i < at + 24; ++i) {
      const unsigned c = FuzzCode(t[i]);
      shown += c >= 0x20 && c < 0x7F ? QByteArray(1, char(c)) : "\\u{" + QByteArray::number(c, 16) + '}';
    }
    return shown;
  };
  std::fprintf(stderr, "==== %s (%lld long) and %s (%lld long) differ first at %lld:\n====   %s\n====   %s\n",
               firstName, (long long)first.size(), secondName, (long long)second.size(), (long long)at,
               around(first).constData(), around(second).constData());
}

#define FUZZ_CHECK_SAME(first, second, property)                               \
  do {                                                                         \
    const auto& fuzzFirst = (first);                                           \
    const auto& fuzzSecond = (second);                                         \
    if (fuzzFirst != fuzzSecond) {                                             \
      FuzzPrintDifference(#first, fuzzFirst, #second, fuzzSecond);             \
      FuzzPropertyFailed(property, #first " == " #second, __FILE__, __LINE__); \
    }                                                                          \
  } while (false)

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
    FuzzPropertyFailed("the starting inputs reach every part of the code under test", "(reached & All) == All",
                       __FILE__, __LINE__);
  }
  std::fprintf(stderr, "The %d starting inputs get through every part of the code under test\n", files);
}
