#include <gtest/gtest.h>

#include <QDateTime>
#include <QThread>

#include "platform/KVClock.h"

TEST(Clocks, MonotonicClockRunsWithTheWallClockAndCanBeReplaced) {
  const qint64 wall0 = QDateTime::currentMSecsSinceEpoch(), mono0 = KVMonotonicMSecs();
  QThread::msleep(50);
  const qint64 wall = QDateTime::currentMSecsSinceEpoch() - wall0, mono = KVMonotonicMSecs() - mono0;
  EXPECT_GE(mono, 45);
  EXPECT_LT(qAbs(wall - mono), 40);

  SetMonotonicClock([] { return qint64(42); });
  EXPECT_EQ(KVMonotonicMSecs(), 42);
  SetMonotonicClock({});
  EXPECT_GE(KVMonotonicMSecs(), mono0 + mono);
}
