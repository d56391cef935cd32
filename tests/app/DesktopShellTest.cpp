// The program among the desktop's own programs: a window manager (openbox), trays and the
// services a panel offers on the session bus (a StatusNotifier watcher, notifications), and a
// second start, driven with xdotool and checked by what the user and those programs see.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QTemporaryFile>
#include <QProcess>
#include <QThread>
#include <QtEndian>
#include <gtest/gtest.h>

#include "tests/app/MirovaProgram.h"
#include "tests/platform/SwaySession.h"
#include "tests/platform/helpers/ProcessTestUtil.h"

#include <X11/Xatom.h>

using namespace kvtest;

namespace {

const QString& kTitle = kMirovaTitle;
const QSize kScreen(1280, 800);
// The settings window's tabs (x at y 22 from its top left) and the size of its client area.
const int kImagesTabX = 158, kOptionsTabX = 340;
const QSize kSettingsSize(640, 480);

// A value for the program's registry store: key path below the store's root, name, JSON form.
struct TStored {
  QStringList Key;
  QString Name;
  QJsonObject Value;
};
QJsonObject Dword(int v) { return {{"type", "dword"}, {"data", v}}; }
QJsonObject Text(const QString& v) { return {{"type", "string"}, {"data", v}}; }
QJsonObject Binary(const QByteArray& v) { return {{"type", "binary"}, {"data", QString::fromLatin1(v.toBase64())}}; }

QJsonObject Put(QJsonObject node, QStringList key, const TStored& v) {
  QJsonObject keys = node["keys"].toObject(), values = node["values"].toObject();
  if (key.isEmpty()) {
    values[v.Name] = v.Value;
  } else {
    const QString part = key.takeFirst();
    keys[part] = Put(keys[part].toObject(), key, v);
  }
  node["keys"] = keys;
  node["values"] = values;
  return node;
}

void Store(const TMirovaHome& home, const QList<TStored>& values) {
  QJsonObject root;
  for (const TStored& v : values) root = Put(root, v.Key, v);
  QDir().mkpath(QFileInfo(home.Registry()).path());
  QFile f(home.Registry());
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(QJsonDocument(root).toJson());
}

const QStringList kSettingsKey{"Software", "Kel Voro", "Mirova Calendar"};

// A window's text property (UTF-8) and the names of its atom-list property.
QString Utf8Property(Display* dpy, Window w, const char* name) {
  Atom type = None;
  int format = 0;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  QString text;
  if (XGetWindowProperty(dpy, w, XInternAtom(dpy, name, False), 0, 1024, False, XInternAtom(dpy, "UTF8_STRING", False),
                         &type, &format, &n, &after, &data) == Success &&
      data && format == 8)
    text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(n));
  if (data) XFree(data);
  return text;
}
QStringList AtomProperty(Display* dpy, Window w, const char* name) {
  Atom type = None;
  int format = 0;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  QStringList names;
  if (XGetWindowProperty(dpy, w, XInternAtom(dpy, name, False), 0, 1024, False, XA_ATOM, &type, &format, &n, &after,
                         &data) == Success &&
      data && format == 32)
    for (unsigned long i = 0; i < n; ++i) {
      char* atom = XGetAtomName(dpy, reinterpret_cast<const Atom*>(data)[i]);
      names << QString::fromLatin1(atom);
      XFree(atom);
    }
  if (data) XFree(data);
  return names;
}

// Where a window's client area lies on the screen (xdotool adds a frame's offset twice).
QRect ClientRect(Display* dpy, const QString& id) {
  const Window w = Window(id.toULong());
  XWindowAttributes a{};
  int x = 0, y = 0;
  Window child = None;
  if (!XGetWindowAttributes(dpy, w, &a) ||
      !XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, &x, &y, &child))
    return {};
  return QRect(x, y, a.width, a.height);
}

class DesktopShell : public TProgramFixture {
 protected:
  DesktopShell() : TProgramFixture(kScreen) {}

  // The program's visible windows of a size (the settings window, a box, the full-screen view).
  QStringList ProgramWindows() {
    return Xdo({"search", "--onlyvisible", "--classname", "^mirova$"}).split('\n', Qt::SkipEmptyParts);
  }
  QString WindowOfSize(const QSize& size) {
    for (const QString& id : ProgramWindows())
      if (ClientRect(x.Dpy(), id).size() == size) return id;
    return {};
  }
  QString WaitForWindowOfSize(const QSize& size, int ms = 10000) {
    QString id;
    WaitUntil([&] { return !(id = WindowOfSize(size)).isEmpty(); }, ms);
    return id;
  }
  // Message boxes: the program's windows that are neither the settings window nor the view.
  int Boxes() {
    int n = 0;
    for (const QString& id : ProgramWindows()) {
      const QSize size = ClientRect(x.Dpy(), id).size();
      if (size != kScreen && size != kSettingsSize && size.height() < 300) ++n;
    }
    return n;
  }
  void Click(const QPoint& p) {
    Xdo({"mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"});
    QThread::msleep(600);
  }
  void Keys(const QStringList& keys) {
    for (const QString& k : keys) {
      Xdo({"key", k});
      QThread::msleep(250);
    }
  }
  QImage Screen(const QRect& r) { return x.Grab().copy(r); }
  void StartWindowManager() {
    KV_REQUIRE_PROGRAM("openbox");
    ASSERT_TRUE(wm.Start("openbox", {"--sm-disable"}, env));
    ASSERT_TRUE(WaitUntil([&] {
      return !AtomProperty(x.Dpy(), DefaultRootWindow(x.Dpy()), "_NET_SUPPORTED").isEmpty();
    })) << "openbox did not take the screen";
  }

  TChild wm;
};

// The share of pixels (every third in each direction) that differ by more than a few steps.
double Changed(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return 1;
  qint64 differ = 0, all = 0;
  for (int y = 0; y < a.height(); y += 3)
    for (int x0 = 0; x0 < a.width(); x0 += 3) {
      const QRgb p = a.pixel(x0, y), q = b.pixel(x0, y);
      ++all;
      if (std::abs(qRed(p) - qRed(q)) > 8 || std::abs(qGreen(p) - qGreen(q)) > 8 || std::abs(qBlue(p) - qBlue(q)) > 8)
        ++differ;
    }
  return all ? double(differ) / double(all) : 0;
}

// The first node of sway's tree with this name, its rectangle on the screen.
std::optional<QRect> SwayNode(const QJsonObject& node, const QString& name) {
  if (node.value("name").toString() == name) {
    const QJsonObject r = node.value("rect").toObject();
    return QRect(r.value("x").toInt(), r.value("y").toInt(), r.value("width").toInt(), r.value("height").toInt());
  }
  for (const char* children : {"nodes", "floating_nodes"})
    for (const QJsonValue& child : node.value(children).toArray())
      if (auto found = SwayNode(child.toObject(), name)) return found;
  return std::nullopt;
}

}  // namespace

// The title bar reads the application title alone; the tray's tip and the companion program,
// started by its reminder, get the same title.
TEST_F(DesktopShell, TheTitleStandsAloneAndTheTrayTipAndTheCompanionGetTheApplicationTitle) {
  KV_REQUIRE_PROGRAM("dbus-daemon");
  TPrivateSessionBus bus;
  ASSERT_TRUE(bus.Start());
  env = home.Environment(x.Name(), bus.Address());
  TChild watcher;
  ASSERT_TRUE(watcher.Start(QStringLiteral(KV_SNI_WATCHER), {}, env));
  ASSERT_EQ(watcher.WaitForLine("ready"), "ready");

  // The companion, installed and due: it writes down what it was started with.
  const QString folder = home.Path("home") + "/Kel Voro Trovana";
  const QString said = home.Path("home") + "/trovana-arguments";
  QDir().mkpath(folder);
  QFile stub(folder + "/trovana");
  ASSERT_TRUE(stub.open(QIODevice::WriteOnly));
  stub.write(("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + said + ".part' && mv '" + said + ".part' '" + said + "'\n")
                 .toUtf8());
  stub.close();
  stub.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QByteArray longAgo(8, '\0');
  qToLittleEndian(40000.0, longAgo.data());  // 6 July 2009
  Store(home, {{{"Software", "Kel Voro", "Install"}, "Kel Voro Trovana", Text(folder)},
               {{"Software", "Kel Voro", "Trovana"}, "Started", Binary(longAgo)},
               {{"Software", "Kel Voro", "Trovana"}, "StartOptions", Dword(0)}});

  TMirova m;
  ASSERT_TRUE(m.Start(env));
  const QString settings = WaitForWindowOfSize(kSettingsSize);
  ASSERT_FALSE(settings.isEmpty()) << m.Output().toStdString();
  EXPECT_EQ(Utf8Property(x.Dpy(), Window(settings.toULong()), "_NET_WM_NAME").toStdString(), kTitle.toStdString());

  ASSERT_TRUE(watcher.WaitForLine("item ", 10000).endsWith("/StatusNotifierItem")) << m.Output().toStdString();
  watcher.Write("tooltip");
  EXPECT_EQ(watcher.WaitForLine("tooltip", 5000).toStdString(), ("tooltip " + kTitle).toStdString());

  ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(said); })) << m.Output().toStdString();
  QFile args(said);
  ASSERT_TRUE(args.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(args.readAll()).toStdString(), (QStringLiteral(KV_MIROVA) + "\n-r" + kTitle + "\n").toStdString());
}

// A watcher that comes up (its panel later still) and one that replaces it each get one
// registration, from a connection the panel can still call.
TEST_F(DesktopShell, EachWatcherGetsOneRegistrationFromAConnectionThatStays) {
  KV_REQUIRE_PROGRAM("dbus-daemon");
  TPrivateSessionBus bus;
  ASSERT_TRUE(bus.Start());
  env = home.Environment(x.Name(), bus.Address());
  const auto registrations = [](TChild& watcher) {
    // Late registrations come within a second of the first; none may come.
    QThread::msleep(2000);
    watcher.Write("alive");
    return watcher.WaitForLine("alive ", 3000).toStdString();
  };

  auto watcher = std::make_unique<TChild>();
  ASSERT_TRUE(watcher->Start(QStringLiteral(KV_SNI_WATCHER), {"--no-host"}, env));
  ASSERT_EQ(watcher->WaitForLine("ready"), "ready");
  TMirova m;
  ASSERT_TRUE(m.Start(env, {"/a"}));
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(home.Background()).size() > 0; })) << m.Output().toStdString();
  watcher->Write("host");
  ASSERT_FALSE(watcher->WaitForLine("item ", 10000).isEmpty()) << m.Output().toStdString();
  EXPECT_EQ(registrations(*watcher), "alive 1 of 1");

  // The panel restarts with its watcher.
  watcher = std::make_unique<TChild>();
  ASSERT_TRUE(watcher->Start(QStringLiteral(KV_SNI_WATCHER), {}, env));
  ASSERT_EQ(watcher->WaitForLine("ready"), "ready");
  ASSERT_FALSE(watcher->WaitForLine("item ", 10000).isEmpty()) << m.Output().toStdString();
  EXPECT_EQ(registrations(*watcher), "alive 1 of 1");
}

// A second start while a window of the program is on the screen leaves it as it is, in front:
// the settings window keeps its page, and the quick notes get no settings window over them.
TEST_F(DesktopShell, ASecondStartOnlyBringsTheWindowOnTheScreenForward) {
  // No tray here: its notice goes to the notification service, not into the screen looked at.
  KV_REQUIRE_PROGRAM("dbus-daemon");
  TPrivateSessionBus bus;
  ASSERT_TRUE(bus.Start());
  env = home.Environment(x.Name(), bus.Address());
  TChild notifications;
  ASSERT_TRUE(notifications.Start(QStringLiteral(KV_NOTIFICATION_SERVER), {}, env));
  ASSERT_EQ(notifications.WaitForLine("ready"), "ready");
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  const QString settings = WaitForWindowOfSize(kSettingsSize);
  ASSERT_FALSE(settings.isEmpty()) << m.Output().toStdString();
  const QRect frame = ClientRect(x.Dpy(), settings);
  Click(frame.topLeft() + QPoint(kOptionsTabX, 22));
  const QImage before = Screen(frame);
  TMirova second;
  ASSERT_TRUE(second.Start(env));
  ASSERT_TRUE(second.WaitForExit(12000));
  EXPECT_EQ(second.ExitCode(), 0);
  QThread::msleep(1500);  // what the running copy does, it does within this
  EXPECT_LT(Changed(before, Screen(frame)), 0.01) << "the settings window changed its page";
  EXPECT_EQ(ProgramWindows().size(), 1);
  m.Signal(SIGTERM);
  ASSERT_TRUE(m.WaitForExit(10000));

  // Only the quick notes, opened at log-on.
  Store(home, {{kSettingsKey, "AutoStartup", Dword(1)}, {kSettingsKey, "StartupOpenQuickNotes", Dword(1)}});
  TMirova atLogOn;
  ASSERT_TRUE(atLogOn.Start(env, {"/a"}));
  ASSERT_TRUE(WaitUntil([&] { return VisibleWindows(env, "Quick Notes") == 1; })) << atLogOn.Output().toStdString();
  TMirova again;
  ASSERT_TRUE(again.Start(env));
  ASSERT_TRUE(again.WaitForExit(12000));
  QThread::msleep(1500);
  EXPECT_EQ(VisibleWindows(env, kTitle), 0) << "the settings window opened over the quick notes";
  EXPECT_EQ(VisibleWindows(env, "Quick Notes"), 1);
}

// On a desktop with no tray at all (GNOME without its extension) the user is told once, by a
// notification, and the settings window's Menu button reaches the tray menu and Exit. Without a
// notification service either and no window of its own open, a box tells it without taking the
// keyboard.
TEST_F(DesktopShell, WithoutATrayTheUserIsToldOnceAndTheWindowReachesTheTrayMenu) {
  KV_REQUIRE_PROGRAM("dbus-daemon");
  TPrivateSessionBus bus;
  ASSERT_TRUE(bus.Start());
  const QProcessEnvironment withBus = home.Environment(x.Name(), bus.Address());
  TChild notifications;
  ASSERT_TRUE(notifications.Start(QStringLiteral(KV_NOTIFICATION_SERVER), {}, withBus));
  ASSERT_EQ(notifications.WaitForLine("ready"), "ready");
  {
    TMirova m;
    ASSERT_TRUE(m.Start(withBus));
    ASSERT_FALSE(WaitForWindowOfSize(kSettingsSize).isEmpty()) << m.Output().toStdString();
    const QString told = notifications.WaitForLine("notify ", 15000);
    EXPECT_EQ(told.section('|', 1, 1).toStdString(), "Mirova Calendar runs without a tray icon") << told.toStdString();
    EXPECT_EQ(told.section('|', 3, 3).toStdString(), "org.kelvoro.MirovaCalendar");
    EXPECT_TRUE(notifications.WaitForLine("notify ", 3000).isEmpty()) << "told twice";
    EXPECT_EQ(Boxes(), 0);
    // Alt+M opens the window's Menu; Exit is its last item.
    Keys({"alt+m", "Up", "Return"});
    ASSERT_TRUE(m.WaitForExit(10000)) << m.Output().toStdString();
    EXPECT_EQ(m.ExitCode(), 0);
  }
  {
    // Started at log-on, with no window of its own to say it in.
    StartWindowManager();
    TMirova m;
    ASSERT_TRUE(m.Start(env, {"/a"}));
    QString box;
    ASSERT_TRUE(WaitUntil([&] {
      for (const QString& id : ProgramWindows())
        if (ClientRect(x.Dpy(), id).height() < 300) box = id;
      return !box.isEmpty();
    }, 15000)) << m.Output().toStdString();
    // The window manager was asked not to give it the keyboard: typing elsewhere goes on.
    QThread::msleep(500);
    EXPECT_NE(Xdo({"getwindowfocus"}).trimmed().toStdString(), box.toStdString());
    QThread::msleep(1500);
    EXPECT_EQ(Boxes(), 1);
    // As the notice says, starting the program again opens its window.
    TMirova again;
    ASSERT_TRUE(again.Start(env));
    ASSERT_TRUE(again.WaitForExit(12000));
    EXPECT_FALSE(WaitForWindowOfSize(kSettingsSize).isEmpty());
  }
}

// The full-screen view, as the preview behind the settings window and when it hides the
// desktop icons, is one the window manager keeps off taskbars, pagers and window switchers.
TEST_F(DesktopShell, TheFullScreenViewIsKeptOffTheWindowLists) {
  StartWindowManager();
  const auto viewStates = [&] {
    const QString view = WaitForWindowOfSize(kScreen);
    return view.isEmpty() ? QStringList{"no view"} : AtomProperty(x.Dpy(), Window(view.toULong()), "_NET_WM_STATE");
  };
  {
    TMirova m;
    ASSERT_TRUE(m.Start(env));
    const QString settings = WaitForWindowOfSize(kSettingsSize);
    ASSERT_FALSE(settings.isEmpty()) << m.Output().toStdString();
    Click(ClientRect(x.Dpy(), settings).topLeft() + QPoint(kImagesTabX, 22));
    const QStringList states = viewStates();
    EXPECT_TRUE(states.contains("_NET_WM_STATE_SKIP_TASKBAR")) << states.join(' ').toStdString();
    EXPECT_TRUE(states.contains("_NET_WM_STATE_SKIP_PAGER")) << states.join(' ').toStdString();
    m.Signal(SIGTERM);
    ASSERT_TRUE(m.WaitForExit(10000));
  }
  Store(home, {{kSettingsKey, "AutoStartup", Dword(1)}, {kSettingsKey, "StartupHideIcons", Dword(1)}});
  TMirova m;
  ASSERT_TRUE(m.Start(env, {"/a"}));
  const QStringList states = viewStates();
  EXPECT_TRUE(states.contains("_NET_WM_STATE_SKIP_TASKBAR")) << states.join(' ').toStdString();
  EXPECT_TRUE(states.contains("_NET_WM_STATE_SKIP_PAGER")) << states.join(' ').toStdString();
}

// sway 1.7's bar draws no menu: a right click on the icon asks the tray item to show its own at
// a guessed place. The menu opens beside the bar's tray, not as a window in the middle.
TEST_F(DesktopShell, OnSwayTheTrayMenuOpensBesideTheBarsTray) {
  KV_REQUIRE_PROGRAM("dbus-daemon");
  KV_REQUIRE_PROGRAM("swaybar");
  if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms/libqwayland-generic.so"))
    KV_SKIP_MISSING() << "Qt's Wayland platform (qt6-wayland) is not installed";
  // A session bus that the bar, running as sway's user, may join too.
  QTemporaryFile config;
  ASSERT_TRUE(config.open());
  config.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
               "<policy context=\"default\"><allow user=\"*\"/><allow send_destination=\"*\" eavesdrop=\"true\"/>"
               "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
  config.close();
  TChild bus;
  ASSERT_TRUE(bus.Start("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"}));
  const QString address = bus.WaitForLine("unix:", 10000).trimmed();
  ASSERT_FALSE(address.isEmpty());
  QProcessEnvironment barBus;
  barBus.insert("DBUS_SESSION_BUS_ADDRESS", address);
  TSway sway;
  if (const QString reason = sway.Start("output HEADLESS-1 resolution 1280x800\nbar {\n  position top\n  tray_output *\n}\n",
                                        barBus);
      !reason.isEmpty())
    KV_SKIP_OR_FAIL(reason.toStdString());

  // sway, as its own user, reads the calendar picture from the program folder.
  TSharedFolder program;
  ASSERT_TRUE(QFile::copy(home.ExeDir() + "/landscapes.mcp", program.Path() + "/landscapes.mcp"));
  env = home.Environment(x.Name(), address);
  env.insert("KV_PROGRAM_DIR", program.Path());
  env.remove("DISPLAY");
  env.insert("QT_QPA_PLATFORM", "wayland");
  env.insert("WAYLAND_DISPLAY", sway.DisplayPath());
  env.insert("SWAYSOCK", sway.IpcSocket());
  env.insert("XDG_CURRENT_DESKTOP", "sway");
  env.insert("XDG_SESSION_TYPE", "wayland");
  TMirova m;
  ASSERT_TRUE(m.Start(env, {"/a"}));

  // The icon is in the bar's tray once the bar's watcher holds it.
  QDBusConnection connection = QDBusConnection::connectToBus(address, "sway-session");
  QString item;
  ASSERT_TRUE(WaitUntil([&] {
    QDBusMessage get = QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << QString("org.kde.StatusNotifierWatcher") << QString("RegisteredStatusNotifierItems");
    const QDBusMessage reply = connection.call(get, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    item = qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toStringList().value(0);
    return !item.isEmpty();
  }, 15000)) << m.Output().toStdString();
  // Start-up is over once a second start has been answered (it opens the settings window).
  TMirova second;
  ASSERT_TRUE(second.Start(env));
  ASSERT_TRUE(second.WaitForExit(12000));
  const qsizetype slash = item.indexOf('/');
  // What swaybar 1.7 does on a right click on the icon at the bar's top right.
  QDBusMessage ask = QDBusMessage::createMethodCall(item.left(slash), item.mid(slash), "org.kde.StatusNotifierItem",
                                                    "ContextMenu");
  ask << 1270 << 11;
  const QDBusMessage asked = connection.call(ask, QDBus::Block, 5000);
  EXPECT_EQ(asked.type(), QDBusMessage::ReplyMessage) << asked.errorMessage().toStdString();

  const QJsonArray workspaces = QJsonDocument::fromJson(sway.Swaymsg({"-r", "-t", "get_workspaces"})).array();
  ASSERT_FALSE(workspaces.isEmpty());
  const int barBottom = workspaces[0].toObject().value("rect").toObject().value("y").toInt();
  EXPECT_GT(barBottom, 0) << "the bar takes its room at the top";
  std::optional<QRect> menu;
  const bool placed = WaitUntil([&] {
    menu = SwayNode(QJsonDocument::fromJson(sway.Swaymsg({"-r", "-t", "get_tree"})).object(), "Menu");
    // Its own size (not a tile of the workspace), its right edge at the screen's, under the bar.
    return menu && menu->width() < 640 && menu->right() + 1 == 1280 && menu->top() == barBottom;
  });
  ASSERT_TRUE(menu.has_value()) << "no menu: " << sway.LogText().toStdString();
  ASSERT_TRUE(placed) << "the menu is at " << menu->x() << "," << menu->y() << " " << menu->width() << "x"
                      << menu->height();
  // And the screen shows it there: the menu's light grey, not the calendar behind it.
  const QPoint inside = menu->center();
  QImage screen;
  EXPECT_TRUE(WaitUntil([&] {
    screen = sway.Grab();
    const QRgb p = screen.pixel(inside.x() + menu->width() / 4, inside.y());
    return qGray(p) > 200 && std::abs(qRed(p) - qBlue(p)) < 12;
  }));
  const QString screens = QDir::currentPath() + "/tray-screens";
  QDir().mkpath(screens);
  screen.save(screens + "/sway-tray-menu.png");
  QDBusConnection::disconnectFromBus("sway-session");
}
