#pragma once
// The wall clock, replaceable so that tests and the renderer can run at any date, and a
// monotonic clock against which the rotation notices that the wall clock was set.
#include <QDateTime>
#include <functional>

QDateTime KVNow();
// Replaces the clock (an empty function restores the real one).
void SetClock(std::function<QDateTime()> clock);

// Milliseconds of a clock that only moves forward and is never set. It counts the time the
// machine spends suspended, so that waking up does not look like a set clock.
qint64 KVMonotonicMSecs();
// Replaces the monotonic clock (an empty function restores the real one).
void SetMonotonicClock(std::function<qint64()> clock);
