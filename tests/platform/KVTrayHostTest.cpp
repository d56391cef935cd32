#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

#include "platform/KVTrayHost.h"
#include "tests/platform/helpers/ProcessTestUtil.h"

using namespace kvtest;

TEST(TrayHost, NoBusAndNoDisplayMeanNoTray) {
  TKVTrayHost host(QDBusConnection(QStringLiteral("not connected")), QString());
  EXPECT_FALSE(host.StatusNotifierAvailable());
  EXPECT_FALSE(host.XEmbedAvailable());
  EXPECT_FALSE(host.Available());
}

TEST(TrayHost, AWatcherCountsOnceItsHostIsThereAndEachNewOneIsAnnounced) {
  KV_REQUIRE_PROGRAM("dbus-daemon");
  TPrivateSessionBus bus;
  ASSERT_TRUE(bus.Start());
  QDBusConnection connection = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("tray-host-test"));
  ASSERT_TRUE(connection.isConnected());
  {
    TKVTrayHost host(connection, QString());
    QSignalSpy changed(&host, &TKVTrayHost::HostChanged);
    EXPECT_FALSE(host.Available());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    auto watcher = std::make_unique<TChild>();
    ASSERT_TRUE(watcher->Start(KV_SNI_WATCHER, {"--no-host"}, env));
    ASSERT_EQ(watcher->WaitForLine("ready"), "ready");
    ASSERT_TRUE(changed.wait(3000));
    // Qt takes the bus route only with a host registered: without one it is no tray yet.
    EXPECT_FALSE(host.StatusNotifierAvailable());
    changed.clear();
    watcher->Write("host");
    ASSERT_TRUE(changed.wait(3000));
    EXPECT_TRUE(host.StatusNotifierAvailable());

    // The panel restarts.
    watcher.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !host.StatusNotifierAvailable(); }, 3000));
    changed.clear();
    watcher = std::make_unique<TChild>();
    ASSERT_TRUE(watcher->Start(KV_SNI_WATCHER, {}, env));
    ASSERT_TRUE(changed.wait(3000));
    EXPECT_TRUE(host.Available());
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("tray-host-test"));
}

TEST(TrayHost, AnXEmbedTrayIsSeenAndItsRestartAnnounced) {
  KV_REQUIRE_PROGRAM("Xvfb");
  KV_REQUIRE_PROGRAM("trayer");
  TPrivateXServer x;
  ASSERT_TRUE(x.Start("320x240x24"));
  TKVTrayHost host(QDBusConnection(QStringLiteral("not connected")), x.Display());
  QSignalSpy changed(&host, &TKVTrayHost::HostChanged);
  EXPECT_FALSE(host.XEmbedAvailable());

  const QProcessEnvironment env = DesktopEnvironment(x.Display(), "unix:path=/nonexistent/bus");
  auto trayer = std::make_unique<TChild>();
  ASSERT_TRUE(trayer->Start("trayer", {"--edge", "top", "--height", "24"}, env));
  ASSERT_TRUE(changed.wait(5000));
  EXPECT_TRUE(host.XEmbedAvailable());
  EXPECT_TRUE(host.Available());

  trayer->Kill();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !host.XEmbedAvailable(); }, 3000));
  changed.clear();
  trayer = std::make_unique<TChild>();
  ASSERT_TRUE(trayer->Start("trayer", {"--edge", "top", "--height", "24"}, env));
  ASSERT_TRUE(changed.wait(5000));
  EXPECT_TRUE(host.XEmbedAvailable());
}
