#include "platform/KVTrayHost.h"

#include <xcb/xcb.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdlib>

#include "platform/KVXcbAtom.h"

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
// The watcher may hang; the program must not.
constexpr int kBusTimeoutMs = 1000;

}  // namespace

// Our own connection to the X server: errors come back as events on it, so a tray window that
// vanishes between two requests cannot end the process.
struct TKVTrayHost::TX11 {
  xcb_connection_t* c = nullptr;
  xcb_window_t root = 0, owner = 0;
  xcb_atom_t selection = XCB_ATOM_NONE, manager = XCB_ATOM_NONE;
  QSocketNotifier* notifier = nullptr;

  ~TX11() {
    delete notifier;
    if (c) xcb_disconnect(c);
  }
  void Listen(xcb_window_t window) {
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
  }
  // The tray manager that owns the selection now (0: none), listening for its end.
  xcb_window_t QueryOwner() {
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const xcb_window_t now = reply ? reply->owner : 0;
    std::free(reply);
    if (now && now != owner) Listen(now);
    owner = now;
    return now;
  }
};

TKVTrayHost::TKVTrayHost(QObject* parent)
    : TKVTrayHost(QDBusConnection::sessionBus(),
                  QGuiApplication::platformName() == QLatin1String("xcb") ? qEnvironmentVariable("DISPLAY") : QString(),
                  parent) {}

TKVTrayHost::TKVTrayHost(const QDBusConnection& Bus, const QString& X11Display, QObject* parent)
    : QObject(parent), bus_(Bus) {
  if (bus_.isConnected()) {
    auto* watcher = new QDBusServiceWatcher(kWatcherService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &TKVTrayHost::WatcherOwnerChanged);
    // A watcher may come up before its host: the host's arrival makes it usable.
    bus_.connect(kWatcherService, kWatcherPath, kWatcherService, QStringLiteral("StatusNotifierHostRegistered"),
                 this, SLOT(WatcherHostRegistered()));
  }
  if (X11Display.isEmpty()) return;
  auto x = std::make_unique<TX11>();
  int screenNumber = 0;
  x->c = xcb_connect(X11Display.toLocal8Bit().constData(), &screenNumber);
  if (xcb_connection_has_error(x->c)) return;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(x->c));
  for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
  if (!it.rem) return;
  x->root = it.data->root;
  x->selection = XcbAtom(x->c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber));
  x->manager = XcbAtom(x->c, "MANAGER");
  if (x->selection == XCB_ATOM_NONE || x->manager == XCB_ATOM_NONE) return;
  // A new tray manager announces itself to the root window's structure listeners.
  x->Listen(x->root);
  x->QueryOwner();
  x->notifier = new QSocketNotifier(xcb_get_file_descriptor(x->c), QSocketNotifier::Read);
  connect(x->notifier, &QSocketNotifier::activated, this, &TKVTrayHost::ReadX11Events);
  x11_ = std::move(x);
}

TKVTrayHost::~TKVTrayHost() = default;

bool TKVTrayHost::StatusNotifierAvailable() {
  if (!bus_.isConnected() || !bus_.interface()) return false;
  const QDBusReply<bool> registered = bus_.interface()->isServiceRegistered(kWatcherService);
  if (!registered.isValid() || !registered.value()) return false;
  // Qt 6.4 takes the bus route only when a host is registered with the watcher.
  QDBusMessage get = QDBusMessage::createMethodCall(kWatcherService, kWatcherPath,
                                                    QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Get"));
  get << kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusMessage reply = bus_.call(get, QDBus::Block, kBusTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
  return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
}

bool TKVTrayHost::XEmbedAvailable() {
  if (!x11_ || xcb_connection_has_error(x11_->c)) return false;
  const bool there = x11_->QueryOwner() != 0;
  // The reply may have brought events along that the socket will not announce again.
  ReadX11Events();
  return there;
}

void TKVTrayHost::ReadX11Events() {
  if (!x11_) return;
  bool announced = false;
  while (xcb_generic_event_t* event = xcb_poll_for_event(x11_->c)) {
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_CLIENT_MESSAGE) {
      const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
      if (message->type == x11_->manager && message->format == 32 &&
          message->data.data32[1] == x11_->selection) {
        const xcb_window_t owner = message->data.data32[2];
        if (owner && owner != x11_->owner) x11_->Listen(owner);
        x11_->owner = owner;
        announced = true;
      }
    } else if (type == XCB_DESTROY_NOTIFY) {
      if (reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == x11_->owner) x11_->owner = 0;
    }
    std::free(event);  // errors (type 0) about windows already gone are of no interest
  }
  if (xcb_connection_has_error(x11_->c) && x11_->notifier) {
    // The X server went away: nothing more will come from it.
    x11_->notifier->setEnabled(false);
  }
  if (announced) QTimer::singleShot(0, this, [this] { emit HostChanged(); });
}

void TKVTrayHost::WatcherOwnerChanged(const QString&, const QString&, const QString& NewOwner) {
  if (!NewOwner.isEmpty()) QTimer::singleShot(0, this, [this] { emit HostChanged(); });
}

void TKVTrayHost::WatcherHostRegistered() {
  QTimer::singleShot(0, this, [this] { emit HostChanged(); });
}
