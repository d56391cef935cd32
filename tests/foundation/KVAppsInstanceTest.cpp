// The single instance as the program lives it: copies started as child processes.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QFileInfo>

#include "foundation/KVApps.h"
#include "platform/KVInstance.h"
#include "tests/platform/helpers/ProcessTestUtil.h"

using namespace kvtest;

namespace {

const QString kHelper = QStringLiteral(KV_INSTANCE_HELPER);

// Starts a copy and waits until it knows what it is.
bool StartCopy(TChild& copy, const QString& title, const QStringList& extra = {}) {
  return copy.Start(kHelper, QStringList{"run", title} + extra);
}

}  // namespace

TEST(SingleInstance, ASecondStartWakesTheFirstAndEndsWithoutWaitingLong) {
  const QString title = "Copies 1";
  TChild first, second;
  ASSERT_TRUE(StartCopy(first, title));
  ASSERT_EQ(first.WaitForLine("first"), "first");
  ASSERT_EQ(first.WaitForLine("listening"), "listening");

  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(StartCopy(second, title));
  ASSERT_TRUE(second.WaitForExit(15000));
  EXPECT_EQ(second.ExitCode(), 0);
  EXPECT_EQ(second.Lines(), QStringList{"second"});
  EXPECT_LT(clock.elapsed(), 5000);
  // The first had handled the message before the second ended.
  EXPECT_TRUE(first.Saw("message activate", 1000));

  // A terminate request ends the first cleanly.
  TChild sender;
  ASSERT_TRUE(sender.Start(kHelper, {"send", title, kInstanceTerminate, "10000"}));
  EXPECT_EQ(sender.WaitForLine(""), "handled");
  ASSERT_TRUE(first.WaitForExit(10000));
  EXPECT_FALSE(first.CrashedOrKilled());
  EXPECT_EQ(first.ExitCode(), 0);
}

TEST(SingleInstance, AKilledFirstCopyNeverBlocksTheNextStart) {
  const QString title = "Copies 2";
  TChild first;
  ASSERT_TRUE(StartCopy(first, title));
  ASSERT_EQ(first.WaitForLine("listening"), "listening");
  ASSERT_EQ(::kill(pid_t(first.Pid()), SIGKILL), 0);
  ASSERT_TRUE(first.WaitForExit(5000));
  // Its socket file stays behind.
  EXPECT_TRUE(QFileInfo::exists(InstanceSocketPath(title)));

  QElapsedTimer clock;
  clock.start();
  TChild next;
  ASSERT_TRUE(StartCopy(next, title));
  EXPECT_EQ(next.WaitForLine("first", 5000), "first");
  EXPECT_EQ(next.WaitForLine("listening", 5000), "listening");
  EXPECT_LT(clock.elapsed(), 3000);

  TChild third;
  ASSERT_TRUE(StartCopy(third, title));
  ASSERT_TRUE(third.WaitForExit(15000));
  EXPECT_EQ(third.Lines(), QStringList{"second"});
  EXPECT_TRUE(next.Saw("message activate", 1000));
}

TEST(SingleInstance, ASecondStartDuringStartUpWaitsUntilTheFirstIsReady) {
  const QString title = "Copies 3";
  TChild first, second;
  ASSERT_TRUE(StartCopy(first, title, {"--hold-ms", "1500"}));
  ASSERT_EQ(first.WaitForLine("listening"), "listening");
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(StartCopy(second, title));
  ASSERT_TRUE(second.WaitForExit(15000));
  EXPECT_EQ(second.ExitCode(), 0);
  EXPECT_EQ(second.Lines(), QStringList{"second"});
  EXPECT_GE(clock.elapsed(), 1000) << "the second did not wait for the first to handle it";
  EXPECT_TRUE(first.Saw("message activate", 1000));
}

TEST(SingleInstance, CopiesStartedTogetherEndWithExactlyOneRunning) {
  const QString title = "Copies 4";
  constexpr int kCopies = 6;
  TChild copies[kCopies];
  for (TChild& c : copies) ASSERT_TRUE(StartCopy(c, title));
  int firsts = 0, seconds = 0;
  for (TChild& c : copies) {
    const QString role = c.WaitForLine("", 15000);
    if (role == "first") ++firsts;
    if (role == "second") {
      ++seconds;
      EXPECT_TRUE(c.WaitForExit(15000));
      EXPECT_EQ(c.ExitCode(), 0);
    }
  }
  EXPECT_EQ(firsts, 1);
  EXPECT_EQ(seconds, kCopies - 1);
}
