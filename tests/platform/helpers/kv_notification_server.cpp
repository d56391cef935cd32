// A minimal desktop notification service for tests: owns org.freedesktop.Notifications on the
// session bus, reports "ready" and every notification it is given ("notify <app name>|<summary>|
// <body>|<desktop entry>"), and ends when its input closes.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QSocketNotifier>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>
#include <unistd.h>

class Notifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public slots:
  uint Notify(const QString& appName, uint, const QString&, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap& hints, int) {
    std::printf("notify %s|%s|%s|%s\n", qPrintable(appName), qPrintable(summary), qPrintable(body),
                qPrintable(hints.value(QStringLiteral("desktop-entry")).toString()));
    std::fflush(stdout);
    return ++count_;
  }
  QStringList GetCapabilities() { return {QStringLiteral("body")}; }

 private:
  uint count_ = 0;
};

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  Notifications service;
  if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                          QDBusConnection::ExportAllSlots) ||
      !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
    std::printf("error %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[64];
    if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) QCoreApplication::quit();
  });
  return app.exec();
}

#include "kv_notification_server.moc"
