#pragma once
// Whether a notification area ("tray") is there to take an icon, and when one (re)appears.
// Two kinds exist: a StatusNotifierWatcher on the session bus with a host registered (the kind
// Qt uses when it sees one), and an XEmbed tray owning the selection _NET_SYSTEM_TRAY_S<screen>
// of the X display.
//
// Qt 6.4 on xcb decides once per process which kind its QSystemTrayIcon uses: the platform
// theme asks the session bus on the first QSystemTrayIcon (or isSystemTrayAvailable call) and
// keeps the answer. A program that asks before the panel is up is held to XEmbed for good and
// never shows on a desktop that only has a StatusNotifier host. So nothing may construct a
// QSystemTrayIcon or call isSystemTrayAvailable until this watch says a tray is there.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>

class TKVTrayHost : public QObject {
  Q_OBJECT
 public:
  // Watches Bus and, when X11Display is not empty, that X display.
  TKVTrayHost(const QDBusConnection& Bus, const QString& X11Display, QObject* parent = nullptr);
  // For the running application: the session bus, and $DISPLAY when Qt draws through xcb.
  explicit TKVTrayHost(QObject* parent = nullptr);
  ~TKVTrayHost() override;

  bool StatusNotifierAvailable();
  bool XEmbedAvailable();
  bool Available() { return StatusNotifierAvailable() || XEmbedAvailable(); }

 signals:
  // A tray appeared or replaced another (the panel restarted): icons must be added again.
  void HostChanged();

 private slots:
  void WatcherOwnerChanged(const QString& Service, const QString& OldOwner, const QString& NewOwner);
  void WatcherHostRegistered();

 private:
  void ReadX11Events();

  QDBusConnection bus_;
  struct TX11;
  std::unique_ptr<TX11> x11_;
};
