#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <future>
#include <thread>

#include "platform/KVInstance.h"
#include "tests/common/DesktopTestUtil.h"
#include "tests/common/TestUtil.h"

using namespace kvtest;

namespace {

// A later copy's send runs on its own thread, as it would in its own process, while this
// thread serves the running copy.
std::future<TKVSendResult> SendLater(const QString& title, const QString& message, int timeoutMs) {
  return std::async(std::launch::async, [=] { return SendInstanceMessage(title, message, timeoutMs); });
}

TKVSendResult Serve(std::future<TKVSendResult>& pending, int timeoutMs = 15000) {
  (void)QTest::qWaitFor([&] { return pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, timeoutMs);
  return pending.get();
}

}  // namespace

TEST(InstanceLock, OneHolderPerTitleAndFreedWithItsHolder) {
  const QString title = "Lock Test 1.0";
  EXPECT_TRUE(InstanceLockPath(title).startsWith(TestRoot() + "/runtime/"));
  EXPECT_NE(InstanceLockPath("a b"), InstanceLockPath("a_b"));
  EXPECT_FALSE(InstanceRunning(title));
  {
    TKVInstanceLock first(title), second(title), other("Another Title");
    ASSERT_TRUE(first.TryLock());
    EXPECT_TRUE(InstanceRunning(title));
    EXPECT_FALSE(second.TryLock());
    EXPECT_FALSE(second.Failed()) << second.ErrorString().toStdString();
    EXPECT_TRUE(other.TryLock());
    first.Release();
    EXPECT_TRUE(second.TryLock());
  }
  EXPECT_FALSE(InstanceRunning(title));
}

TEST(InstanceLock, ProgramsStartedByTheHolderDoNotKeepIt) {
  const QString title = "Lock Test Exec";
  auto holder = std::make_unique<TKVInstanceLock>(title);
  ASSERT_TRUE(holder->TryLock());
  QProcess child;
  child.start("sleep", {"30"});
  ASSERT_TRUE(child.waitForStarted());
  holder.reset();
  TKVInstanceLock next(title);
  EXPECT_TRUE(next.TryLock()) << "the started program inherited the lock";
  child.kill();
  child.waitForFinished();
}

TEST(InstanceLock, FallsBackToAPrivateTemporaryFolder) {
  ScopedEnv env;
  env.Unset("XDG_RUNTIME_DIR");
  const QString expected = TestRoot() + "/tmp/kv-runtime-" + QString::number(::getuid());
  EXPECT_EQ(InstanceRuntimeFolder(), expected);
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  TKVInstanceLock lock("Fallback");
  EXPECT_TRUE(lock.TryLock());
  lock.Release();
  // A folder that others may enter could hold a planted socket: refused.
  ::chmod(QFile::encodeName(expected).constData(), 0755);
  QString why;
  EXPECT_TRUE(InstanceRuntimeFolder(&why).isEmpty());
  EXPECT_FALSE(why.isEmpty());
  EXPECT_FALSE(lock.TryLock());
  EXPECT_TRUE(lock.Failed());
  EXPECT_EQ(SendInstanceMessage("Fallback", kInstanceActivate, 200), TKVSendResult::NotRunning);
  ::chmod(QFile::encodeName(expected).constData(), 0700);
}

TEST(InstanceServer, AnswersOnceTheMessageIsHandled) {
  const QString title = "Server Test";
  TKVInstanceLock lock(title);
  ASSERT_TRUE(lock.TryLock());
  TKVInstanceServer server(title);
  ASSERT_TRUE(server.Listen()) << server.ErrorString().toStdString();
  QStringList received;
  QObject::connect(&server, &TKVInstanceServer::MessageReceived, [&](const QString& m) { received << m; });

  auto activate = SendLater(title, kInstanceActivate, 5000);
  EXPECT_EQ(Serve(activate), TKVSendResult::Handled);
  auto terminate = SendLater(title, kInstanceTerminate, 5000);
  EXPECT_EQ(Serve(terminate), TKVSendResult::Handled);
  auto unknown = SendLater(title, "format disk", 5000);
  EXPECT_EQ(Serve(unknown), TKVSendResult::NoAnswer);
  EXPECT_EQ(received, (QStringList{kInstanceActivate, kInstanceTerminate}));
}

TEST(InstanceServer, HeldMessagesWaitForTheEndOfStartUp) {
  const QString title = "Held Test";
  TKVInstanceLock lock(title);
  ASSERT_TRUE(lock.TryLock());
  TKVInstanceServer server(title);
  ASSERT_TRUE(server.Listen());
  server.SetHeld(true);
  QStringList received;
  QObject::connect(&server, &TKVInstanceServer::MessageReceived, [&](const QString& m) { received << m; });

  // The sender gives up after its time-out, but the message is still handled later.
  auto early = SendLater(title, kInstanceActivate, 300);
  EXPECT_EQ(Serve(early), TKVSendResult::NoAnswer);
  EXPECT_TRUE(received.isEmpty());
  // One that waits long enough is answered when start-up ends.
  auto patient = SendLater(title, kInstanceTerminate, 5000);
  QTest::qWait(300);
  EXPECT_TRUE(received.isEmpty());
  server.SetHeld(false);
  EXPECT_EQ(Serve(patient), TKVSendResult::Handled);
  EXPECT_EQ(received, (QStringList{kInstanceActivate, kInstanceTerminate}));
}

TEST(InstanceServer, NoCopyMeansNoWaitAndAStartingCopyIsWaitedForBounded) {
  const QString title = "Waiting Test";
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(SendInstanceMessage(title, kInstanceActivate, 5000), TKVSendResult::NotRunning);
  EXPECT_LT(clock.elapsed(), 1000);
  // Locked but not listening yet: the sender retries until its time-out.
  TKVInstanceLock lock(title);
  ASSERT_TRUE(lock.TryLock());
  clock.restart();
  EXPECT_EQ(SendInstanceMessage(title, kInstanceActivate, 400), TKVSendResult::NoAnswer);
  EXPECT_GE(clock.elapsed(), 350);
  EXPECT_LT(clock.elapsed(), 3000);
  // ...and reaches the copy once it listens.
  TKVInstanceServer server(title);
  auto pending = SendLater(title, kInstanceActivate, 5000);
  QTest::qWait(200);
  ASSERT_TRUE(server.Listen());
  EXPECT_EQ(Serve(pending), TKVSendResult::Handled);
}

TEST(InstanceServer, ReplacesWhatAnEndedCopyLeftAtTheSocketPath) {
  const QString title = "Stale Test";
  const QString path = InstanceSocketPath(title);
  // A socket file whose listener is gone, as kill -9 leaves it.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const QByteArray native = QFile::encodeName(path);
  ASSERT_LT(size_t(native.size()), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, native.constData(), size_t(native.size()));
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(fd);
  ASSERT_TRUE(QFileInfo::exists(path));

  TKVInstanceLock lock(title);
  ASSERT_TRUE(lock.TryLock());
  {
    TKVInstanceServer server(title);
    ASSERT_TRUE(server.Listen()) << server.ErrorString().toStdString();
    auto pending = SendLater(title, kInstanceActivate, 5000);
    EXPECT_EQ(Serve(pending), TKVSendResult::Handled);
  }
  EXPECT_FALSE(QFileInfo::exists(path)) << "the socket file outlived its server";
}
