#include "platform/KVNotify.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {
// A hanging service must not hold the program.
constexpr int kNotifyTimeoutMs = 1000;
}  // namespace

bool ShowDesktopNotification(const QString& AppName, const QString& DesktopEntry, const QString& Summary,
                             const QString& Body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage notify = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  QVariantMap hints;
  if (!DesktopEntry.isEmpty()) hints.insert(QStringLiteral("desktop-entry"), DesktopEntry);
  // No expiry chosen: the service's default.
  notify << AppName << uint(0) << QString() << Summary << Body << QStringList() << hints << int(-1);
  const QDBusMessage reply = bus.call(notify, QDBus::Block, kNotifyTimeoutMs);
  return reply.type() == QDBusMessage::ReplyMessage;
}
