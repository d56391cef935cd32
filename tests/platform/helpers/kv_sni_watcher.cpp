// A minimal StatusNotifierWatcher with a host for tests: owns org.kde.StatusNotifierWatcher on
// the session bus, reports "ready" and every item that registers ("item <service> <path>"), and
// takes commands on stdin: "activate" and "contextmenu" call the last item as a panel would on a
// left or right click; "icon <file>" saves the item's largest icon picture as PNG ("saved");
// "menu" prints the item's exported menu path ("menu <path>"); "tooltip" prints the title of the
// item's tip ("tooltip <title>"); "alive" tells from how many of the registrations' connections
// the item can still be called ("alive <n> of <registrations>"), as a panel that keeps the sender
// finds; "host" registers a host
// when started with --no-host (a watcher whose panel is not up yet); "quit".
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QImage>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

namespace {

void Say(const QString& line) {
  std::printf("%s\n", qPrintable(line));
  std::fflush(stdout);
}

}  // namespace

class Watcher : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
  Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)

 public:
  QStringList RegisteredStatusNotifierItems() const { return items_; }
  bool IsStatusNotifierHostRegistered() const { return hostRegistered; }
  int ProtocolVersion() const { return 0; }
  QString lastService, lastPath;
  // The connection each registration came from, as a panel that calls the sender keeps it.
  QStringList senders;
  bool hostRegistered = true;

 public slots:
  void RegisterStatusNotifierItem(const QString& serviceOrPath) {
    QString service = serviceOrPath, path = QStringLiteral("/StatusNotifierItem");
    if (serviceOrPath.startsWith(QLatin1Char('/'))) {
      service = message().service();
      path = serviceOrPath;
    }
    lastService = service;
    lastPath = path;
    if (!items_.contains(service + path)) items_ << service + path;
    senders << message().service();
    Say(QStringLiteral("item %1 %2").arg(service, path));
    emit StatusNotifierItemRegistered(service + path);
  }
  void RegisterStatusNotifierHost(const QString&) {
    hostRegistered = true;
    emit StatusNotifierHostRegistered();
  }

 signals:
  void StatusNotifierItemRegistered(const QString& item);
  void StatusNotifierItemUnregistered(const QString& item);
  void StatusNotifierHostRegistered();

 private:
  QStringList items_;
};

namespace {

QDBusMessage ItemCall(const Watcher& w, const QString& method) {
  return QDBusMessage::createMethodCall(w.lastService, w.lastPath, QStringLiteral("org.kde.StatusNotifierItem"), method);
}

QVariant ItemProperty(const Watcher& w, const QString& name) {
  QDBusMessage get = QDBusMessage::createMethodCall(w.lastService, w.lastPath,
                                                    QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Get"));
  get << QStringLiteral("org.kde.StatusNotifierItem") << name;
  const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 3000);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
}

// The title of a (sa(iiay)ss) tip: icon name, pictures, title, text.
QString TipTitle(const QVariant& value) {
  const QDBusArgument arg = value.value<QDBusArgument>();
  QString iconName, title;
  arg.beginStructure();
  arg >> iconName;
  arg.beginArray();
  while (!arg.atEnd()) {
    int w = 0, h = 0;
    QByteArray data;
    arg.beginStructure();
    arg >> w >> h >> data;
    arg.endStructure();
  }
  arg.endArray();
  arg >> title;
  return title;
}

// The largest picture of an a(iiay) icon: ARGB32 pixels in network byte order.
QImage LargestPicture(const QVariant& value) {
  QImage best;
  const QDBusArgument arg = value.value<QDBusArgument>();
  arg.beginArray();
  while (!arg.atEnd()) {
    int w = 0, h = 0;
    QByteArray data;
    arg.beginStructure();
    arg >> w >> h >> data;
    arg.endStructure();
    if (w <= 0 || h <= 0 || data.size() != qsizetype(w) * h * 4 || w <= best.width()) continue;
    QImage image(w, h, QImage::Format_ARGB32);
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x, p += 4) image.setPixel(x, y, qRgba(p[1], p[2], p[3], p[0]));
    best = image;
  }
  arg.endArray();
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  Watcher watcher;
  watcher.hostRegistered = !QCoreApplication::arguments().contains(QStringLiteral("--no-host"));
  if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                          QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties |
                              QDBusConnection::ExportAllSignals) ||
      !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
    Say(QStringLiteral("error %1").arg(bus.lastError().message()));
    return 1;
  }
  Say(QStringLiteral("ready"));

  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char buffer[512];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
    if (n <= 0) {
      QCoreApplication::quit();
      return;
    }
    for (const QByteArray& line : QByteArray(buffer, int(n)).split('\n')) {
      const QList<QByteArray> words = line.split(' ');
      const QByteArray command = words.value(0);
      if (command == "activate" || command == "contextmenu") {
        QDBusMessage call = ItemCall(watcher, command == "activate" ? QStringLiteral("Activate")
                                                                     : QStringLiteral("ContextMenu"));
        call << 10 << 10;
        bus.call(call, QDBus::NoBlock);
      } else if (command == "icon" && words.size() > 1) {
        const QImage image = LargestPicture(ItemProperty(watcher, QStringLiteral("IconPixmap")));
        Say(!image.isNull() && image.save(QString::fromLocal8Bit(words[1]), "PNG")
                ? QStringLiteral("saved %1x%2").arg(image.width()).arg(image.height())
                : QStringLiteral("no icon"));
      } else if (command == "menu") {
        const QVariant menu = ItemProperty(watcher, QStringLiteral("Menu"));
        Say(QStringLiteral("menu %1").arg(menu.value<QDBusObjectPath>().path()));
      } else if (command == "tooltip") {
        Say(QStringLiteral("tooltip %1").arg(TipTitle(ItemProperty(watcher, QStringLiteral("ToolTip")))));
      } else if (command == "alive") {
        int alive = 0;
        for (const QString& sender : watcher.senders)
          if (bus.interface()->isServiceRegistered(sender).value()) ++alive;
        Say(QStringLiteral("alive %1 of %2").arg(alive).arg(watcher.senders.size()));
      } else if (command == "host") {
        watcher.RegisterStatusNotifierHost(QStringLiteral("org.kde.StatusNotifierHost-test"));
        Say(QStringLiteral("host"));
      } else if (command == "quit") {
        QCoreApplication::quit();
      }
    }
  });
  return app.exec();
}

#include "kv_sni_watcher.moc"
