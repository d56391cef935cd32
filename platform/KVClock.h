#pragma once
// The wall clock, replaceable so that tests and the renderer can run at any date.
#include <QDateTime>
#include <functional>

QDateTime KVNow();
// Replaces the clock (an empty function restores the real one).
void SetClock(std::function<QDateTime()> clock);
