#include <gtest/gtest.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTest>

#include "platform/KVSystemEvents.h"

TEST(ClockWatch, TheKernelTakesTheWatch) {
  TKVClockWatch watch;
  EXPECT_TRUE(watch.IsActive());
}

TEST(ClockWatch, ASetClockIsReportedOnceAndTheWatchArmedAgain) {
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  int arms = 0;
  bool nextIsSet = true;
  TKVClockWatch::THooks hooks;
  hooks.Create = [&] { return pipeFds[0]; };
  hooks.Arm = [&](int) { ++arms; return true; };
  hooks.Consume = [&](int fd) {
    char c;
    [[maybe_unused]] const ssize_t n = ::read(fd, &c, 1);
    return nextIsSet;
  };
  hooks.Close = [](int fd) { ::close(fd); };
  TKVClockWatch watch(hooks);
  ASSERT_TRUE(watch.IsActive());
  EXPECT_EQ(arms, 1);
  QSignalSpy spy(&watch, &TKVClockWatch::ClockSet);

  ASSERT_EQ(::write(pipeFds[1], "x", 1), 1);
  EXPECT_TRUE(spy.wait(2000));
  EXPECT_EQ(spy.count(), 1);
  EXPECT_EQ(arms, 2);
  // The far-ahead timer running out is no set clock, but it is armed again too.
  nextIsSet = false;
  ASSERT_EQ(::write(pipeFds[1], "x", 1), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return arms == 3; }, 2000));
  EXPECT_EQ(arms, 3);
  EXPECT_EQ(spy.count(), 1);
  ::close(pipeFds[1]);
}

// Setting the clock needs the right to do so; it is set to the time it already shows, so that
// nothing else on the machine notices. Runs only when asked for: KV_TEST_SET_CLOCK=1.
TEST(ClockWatch, SettingTheRealClockIsNoticed) {
  if (qEnvironmentVariable("KV_TEST_SET_CLOCK") != QLatin1String("1"))
    GTEST_SKIP() << "sets the system clock: run with KV_TEST_SET_CLOCK=1";
  TKVClockWatch watch;
  ASSERT_TRUE(watch.IsActive());
  QSignalSpy spy(&watch, &TKVClockWatch::ClockSet);
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  if (::clock_settime(CLOCK_REALTIME, &now) != 0) GTEST_SKIP() << "not allowed to set the clock";
  EXPECT_TRUE(spy.wait(2000));
  EXPECT_EQ(spy.count(), 1);
  // Armed again: the next set is noticed as well.
  ::clock_gettime(CLOCK_REALTIME, &now);
  ASSERT_EQ(::clock_settime(CLOCK_REALTIME, &now), 0);
  EXPECT_TRUE(spy.wait(2000));
}

namespace {
volatile sig_atomic_t g_previousHandlerRan = 0;
void PreviousHandler(int) { g_previousHandlerRan = 1; }
}  // namespace

TEST(SignalWatch, EndingSignalsArriveAsQtSignalsAndThePreviousHandlersReturn) {
  struct sigaction mine {};
  mine.sa_handler = &PreviousHandler;
  sigemptyset(&mine.sa_mask);
  struct sigaction saved {};
  ASSERT_EQ(::sigaction(SIGHUP, &mine, &saved), 0);
  {
    TKVSignalWatch watch;
    ASSERT_TRUE(watch.IsActive());
    TKVSignalWatch second;
    EXPECT_FALSE(second.IsActive());
    QSignalSpy spy(&watch, &TKVSignalWatch::Signalled);
    ::raise(SIGTERM);
    ::raise(SIGHUP);
    ::raise(SIGINT);
    EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() == 3; }, 2000));
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy[0][0].toInt(), SIGTERM);
    EXPECT_EQ(spy[1][0].toInt(), SIGHUP);
    EXPECT_EQ(spy[2][0].toInt(), SIGINT);
    EXPECT_EQ(g_previousHandlerRan, 0);
  }
  ::raise(SIGHUP);
  EXPECT_EQ(g_previousHandlerRan, 1);
  ::sigaction(SIGHUP, &saved, nullptr);
}

TEST(TaskbarHeight, FromTheBottomOfTheAvailableArea) {
  const QRect screen(0, 0, 1920, 1080);
  EXPECT_EQ(TaskbarHeightOf(screen, QRect(0, 0, 1920, 1040), 1.0), 40);
  EXPECT_EQ(TaskbarHeightOf(screen, QRect(0, 0, 1920, 1040), 2.0), 80);
  EXPECT_EQ(TaskbarHeightOf(screen, QRect(0, 0, 1920, 1055), 1.5), 38);  // 37.5, half to even
  EXPECT_EQ(TaskbarHeightOf(screen, QRect(0, 0, 1920, 1053), 1.5), 40);  // 40.5
  // A panel at the top or the side only, none at all, or no report: 0.
  EXPECT_EQ(TaskbarHeightOf(screen, QRect(0, 30, 1920, 1050), 1.0), 0);
  EXPECT_EQ(TaskbarHeightOf(screen, QRect(48, 0, 1872, 1080), 1.0), 0);
  EXPECT_EQ(TaskbarHeightOf(screen, screen, 1.0), 0);
  EXPECT_EQ(TaskbarHeightOf(screen, QRect(), 1.0), 0);
  // A second monitor to the right of the first.
  EXPECT_EQ(TaskbarHeightOf(QRect(1920, 0, 1280, 1024), QRect(1920, 0, 1280, 1000), 1.0), 24);
  // The offscreen test screen reports its whole area as available.
  EXPECT_EQ(TaskbarHeight(), 0);
}
