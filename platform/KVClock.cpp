#include "platform/KVClock.h"

namespace {
std::function<QDateTime()>& Clock() {
  static std::function<QDateTime()> c;
  return c;
}
}  // namespace

QDateTime KVNow() { return Clock() ? Clock()() : QDateTime::currentDateTime(); }

void SetClock(std::function<QDateTime()> clock) { Clock() = std::move(clock); }
