#include "platform/KVClock.h"

#include <time.h>

namespace {
std::function<QDateTime()>& Clock() {
  static std::function<QDateTime()> c;
  return c;
}
std::function<qint64()>& MonotonicClock() {
  static std::function<qint64()> c;
  return c;
}
}  // namespace

QDateTime KVNow() { return Clock() ? Clock()() : QDateTime::currentDateTime(); }

void SetClock(std::function<QDateTime()> clock) { Clock() = std::move(clock); }

qint64 KVMonotonicMSecs() {
  if (MonotonicClock()) return MonotonicClock()();
  timespec ts{};
  if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) clock_gettime(CLOCK_MONOTONIC, &ts);
  return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SetMonotonicClock(std::function<qint64()> clock) { MonotonicClock() = std::move(clock); }
