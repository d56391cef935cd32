#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <stdexcept>

#include "foundation/KVApps.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVInstance.h"
#include "tests/common/TestUtil.h"
#include "tests/platform/helpers/ProcessTestUtil.h"

using namespace kvtest;

// ---- the tray's own logic, offscreen, with the platform replaced ----

class TrayLogic : public ::testing::Test {
 protected:
  TKVTray* MakeTray() {
    TKVTray::THooks hooks;
    hooks.TrayAvailable = [this] { return trayThere_; };
    tray_ = std::make_unique<TKVTray>(&form_, nullptr, hooks);
    tray_->OnClick = [this](TKVTray*) { events_ << "click"; };
    tray_->OnDblClick = [this](TKVTray*) { events_ << "dblclick"; };
    tray_->OnRightClick = [this](TKVTray*) { events_ << "rightclick"; };
    tray_->OnTerminate = [this](TKVTray*) { events_ << "terminate"; };
    return tray_.get();
  }
  bool trayThere_ = false;
  QWidget form_;
  std::unique_ptr<TKVTray> tray_;
  QStringList events_;
};

TEST_F(TrayLogic, TheIconWaitsForATrayAndIsRetriedEverySecond) {
  TKVTray* tray = MakeTray();
  QSignalSpy shown(tray, &TKVTray::IconShown);
  tray->TaskbarCreated();  // before the form is loaded: no shell command
  EXPECT_EQ(tray->TrayIcon(), nullptr);
  tray->Loaded();
  // No tray: no QSystemTrayIcon is even made (Qt would fix its kind of tray for good).
  EXPECT_EQ(tray->TrayIcon(), nullptr);
  EXPECT_FALSE(tray->IconAdded());
  EXPECT_TRUE(tray->Retrying());
  QTest::qWait(1300);
  EXPECT_EQ(shown.count(), 0);
  trayThere_ = true;
  ASSERT_TRUE(shown.wait(1500));
  EXPECT_TRUE(tray->IconAdded());
  ASSERT_NE(tray->TrayIcon(), nullptr);
  EXPECT_TRUE(tray->TrayIcon()->isVisible());
  EXPECT_FALSE(tray->Retrying());
  // The panel restarts: added once more, without the retry timer.
  tray->TaskbarCreated();
  EXPECT_EQ(shown.count(), 2);
  EXPECT_FALSE(tray->Retrying());
}

TEST_F(TrayLogic, ClicksReachTheirHandlersOrRestoreTheForm) {
  trayThere_ = true;
  TKVTray* tray = MakeTray();
  tray->Loaded();
  tray->Activated(QSystemTrayIcon::Trigger);
  tray->Activated(QSystemTrayIcon::DoubleClick);
  tray->Activated(QSystemTrayIcon::Context);  // no menu: the right-click handler
  tray->Activated(QSystemTrayIcon::MiddleClick);
  EXPECT_EQ(events_, (QStringList{"click", "dblclick", "rightclick"}));
  EXPECT_FALSE(form_.isVisible());

  tray->OnClick = nullptr;
  tray->OnDblClick = nullptr;
  tray->OnRightClick = nullptr;
  tray->Activated(QSystemTrayIcon::Context);  // nothing bound, no menu: nothing happens
  EXPECT_FALSE(form_.isVisible());
  tray->Activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(form_.isVisible());
  form_.hide();
  tray->Activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(form_.isVisible());
}

TEST_F(TrayLogic, ARightClickOpensThePopupMenuAndClosesOtherPopups) {
  trayThere_ = true;
  TKVTray* tray = MakeTray();
  QMenu menu, other;
  menu.addAction("Exit");
  other.addAction("Other");
  tray->SetPopupMenu(&menu);
  tray->Loaded();
  EXPECT_EQ(tray->TrayIcon()->contextMenu(), &menu);
  other.popup(QPoint(10, 10));
  ASSERT_TRUE(QTest::qWaitFor([&] { return other.isVisible(); }, 1000));
  tray->Activated(QSystemTrayIcon::Context);
  EXPECT_TRUE(QTest::qWaitFor([&] { return menu.isVisible(); }, 1000));
  EXPECT_FALSE(other.isVisible());
  EXPECT_TRUE(events_.isEmpty());  // the menu, not the right-click handler
  menu.close();
}

TEST_F(TrayLogic, AHostThatAsksForTheMenuGetsItWhereThePlatformSays) {
  trayThere_ = true;
  TKVTray::THooks hooks;
  hooks.TrayAvailable = [] { return true; };
  QSize asked;
  QPoint shownAt;
  hooks.TrayMenuPosition = [&](QSize size) -> std::optional<QPoint> {
    asked = size;
    return QPoint(200, 30);
  };
  hooks.MenuShown = [&](QMenu*, QPoint at) { shownAt = at; };
  TKVTray tray(&form_, nullptr, hooks);
  QMenu menu;
  menu.addAction("Exit");
  tray.SetPopupMenu(&menu);
  tray.Loaded();
  tray.Activated(QSystemTrayIcon::Context);
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu.isVisible(); }, 1000));
  EXPECT_EQ(asked, menu.sizeHint());
  EXPECT_EQ(menu.pos(), QPoint(200, 30));
  EXPECT_EQ(shownAt, QPoint(200, 30));
  menu.close();
}

TEST_F(TrayLogic, AnotherCopysMessagesActLikeAClickOrEndTheProgram) {
  TKVTray* tray = MakeTray();
  tray->ActivateApplication(kInstanceActivate);
  tray->ActivateApplication(kInstanceTerminate);
  EXPECT_EQ(events_, (QStringList{"click", "terminate"}));
  tray->OnClick = nullptr;
  tray->OnTerminate = nullptr;
  tray->ActivateApplication(kInstanceTerminate);  // unbound: nothing
  EXPECT_FALSE(form_.isVisible());
  tray->ActivateApplication(kInstanceActivate);
  EXPECT_TRUE(form_.isVisible());
}

TEST_F(TrayLogic, WithoutATrayItSaysSoOnceAndATrayThatComesLaterTakesTheIcon) {
  TKVTray::THooks hooks;
  hooks.TrayAvailable = [this] { return trayThere_; };
  hooks.NoTrayDelayMs = 300;
  TKVTray tray(&form_, nullptr, hooks);
  QSignalSpy missing(&tray, &TKVTray::NoTrayFound), shown(&tray, &TKVTray::IconShown);
  tray.Loaded();
  ASSERT_TRUE(missing.wait(2000));
  QTest::qWait(1200);  // the retries go on, the notice is not given again
  EXPECT_EQ(missing.count(), 1);
  trayThere_ = true;
  ASSERT_TRUE(shown.wait(1500));
  EXPECT_TRUE(tray.IconAdded());

  // With a tray from the start nothing is said.
  TKVTray docked(&form_, nullptr, hooks);
  QSignalSpy none(&docked, &TKVTray::NoTrayFound);
  docked.Loaded();
  QTest::qWait(500);
  EXPECT_EQ(none.count(), 0);
}

TEST_F(TrayLogic, ASecondStartOnlyBringsAShownFormForwardAndClicksOtherwise) {
  TKVTray* tray = MakeTray();
  QWidget notes, view, notice;
  notes.setWindowTitle("Quick Notes");
  // A window kept off the window list (the full-screen view) and a notice are no forms for this.
  KeepOffWindowList(&view);
  view.show();
  notice.setAttribute(Qt::WA_ShowWithoutActivating);
  notice.show();
  QMenu popup;
  popup.addAction("Exit");
  popup.popup(QPoint(5, 5));
  ASSERT_TRUE(QTest::qWaitFor([&] { return popup.isVisible(); }, 1000));
  tray->ActivateApplication(kInstanceActivate);
  EXPECT_EQ(events_, QStringList{"click"});
  popup.close();
  EXPECT_EQ(FormOnScreen(), nullptr);

  notes.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&notes));
  events_.clear();
  tray->ActivateApplication(kInstanceActivate);
  EXPECT_TRUE(events_.isEmpty());  // no click: no page jumps, no settings window over the notes
  EXPECT_TRUE(notes.isVisible());
  EXPECT_FALSE(form_.isVisible());

  // The form active last comes forward; a minimised one is restored.
  form_.show();
  form_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
  EXPECT_EQ(FormOnScreen(), &form_);
  notes.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&notes));
  notes.showMinimized();
  EXPECT_EQ(FormOnScreen(), &notes);
  tray->ActivateApplication(kInstanceActivate);
  EXPECT_FALSE(notes.isMinimized());
  EXPECT_TRUE(events_.isEmpty());
  notes.hide();
  form_.hide();
  view.hide();
  notice.hide();
}

TEST_F(TrayLogic, TipIsTheHintOrTheApplicationTitleAndAThrowingHandlerIsContained) {
  trayThere_ = true;
  TKVTray* tray = MakeTray();
  const QString title = "Kel Voro Mirova Calendar 5.0";
  SetApplicationTitle(title);
  const auto untitled = qScopeGuard([] { SetApplicationTitle({}); });
  tray->Loaded();
  EXPECT_EQ(tray->TrayIcon()->toolTip(), title);
  tray->SetHint("Mirova: 3 notes today");
  EXPECT_EQ(tray->TrayIcon()->toolTip(), "Mirova: 3 notes today");
  tray->SetHint("");
  EXPECT_EQ(tray->TrayIcon()->toolTip(), title);
  EXPECT_FALSE(tray->TrayIcon()->icon().isNull());  // a stand-in while the program has none

  tray->OnClick = [](TKVTray*) { throw std::runtime_error("boom"); };
  tray->Activated(QSystemTrayIcon::Trigger);  // logged, not thrown through Qt
}

// ---- the icon in real trays under a private X server and session bus ----

namespace {

const QString kTrayHelper = QStringLiteral(KV_TRAY_HELPER);
const QString kWatcher = QStringLiteral(KV_SNI_WATCHER);

// The helper's docked icon: its global rectangle once the tray has taken it in (until then the
// icon's window sits at the origin of the root).
QRect IconGeometry(TChild& helper) {
  for (int attempt = 0; attempt < 40; ++attempt) {
    helper.Write("geometry");
    const QStringList parts = helper.WaitForLine("geometry ", 3000).split(' ');
    if (parts.size() == 5) {
      const QRect r(parts[1].toInt(), parts[2].toInt(), parts[3].toInt(), parts[4].toInt());
      if (r.width() > 1 && r.height() > 1 && r.topLeft() != QPoint(0, 0)) return r;
    }
    QThread::msleep(100);
  }
  return {};
}

QString OutputFolder() {
  // Beside the test program, to be looked at after the run.
  const QString dir = QDir::currentPath() + "/tray-screens";
  QDir().mkpath(dir);
  return QDir(dir).absolutePath();
}

}  // namespace

TEST(TrayOnADesktop, DocksInAnXEmbedTrayThatAppearsLaterAndAgainAfterARestart) {
  KV_REQUIRE_PROGRAM("Xvfb");
  KV_REQUIRE_PROGRAM("trayer");
  KV_REQUIRE_PROGRAM("xdotool");
  TPrivateXServer x;
  ASSERT_TRUE(x.Start("640x480x24"));
  const QProcessEnvironment env = DesktopEnvironment(x.Display(), "unix:path=/nonexistent/bus");
  const QStringList trayerArgs = {"--edge", "top", "--align", "right", "--widthtype", "request",
                                  "--height", "24", "--transparent", "false", "--SetDockType", "true"};

  TChild helper;
  ASSERT_TRUE(helper.Start(kTrayHelper, {}, env));
  ASSERT_EQ(helper.WaitForLine("loaded"), "loaded waiting");  // no tray yet
  QThread::msleep(1200);
  EXPECT_FALSE(helper.Saw("shown"));

  auto trayer = std::make_unique<TChild>();
  ASSERT_TRUE(trayer->Start("trayer", trayerArgs, env));
  ASSERT_EQ(helper.WaitForLine("shown", 5000), "shown") << helper.Errors().toStdString();
  const QRect icon = IconGeometry(helper);
  ASSERT_TRUE(icon.isValid());
  // trayer sits at the top right corner.
  EXPECT_LT(icon.top(), 24);
  EXPECT_GT(icon.left(), 640 - 100);
  helper.Write(("screenshot " + OutputFolder() + "/xembed-tray.png").toUtf8());
  EXPECT_EQ(helper.WaitForLine("saved", 5000), "saved");

  // Clicks on the docked icon, as a user makes them.
  const auto xdotool = [&](const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start("xdotool", args);
    p.waitForFinished(5000);
  };
  const QString cx = QString::number(icon.center().x()), cy = QString::number(icon.center().y());
  xdotool({"mousemove", cx, cy, "click", "1"});
  EXPECT_EQ(helper.WaitForLine("click", 3000), "click");
  QThread::msleep(600);  // not a double click
  xdotool({"click", "--repeat", "2", "--delay", "80", "1"});
  EXPECT_EQ(helper.WaitForLine("dblclick", 3000), "dblclick");
  QThread::msleep(600);
  xdotool({"click", "3"});
  EXPECT_EQ(helper.WaitForLine("menu", 3000), "menu");

  // A screenshot of the screen with the docked icon and its open menu (once it is drawn).
  QThread::msleep(400);
  helper.Write(("screenshot " + OutputFolder() + "/xembed-tray-menu.png").toUtf8());
  EXPECT_EQ(helper.WaitForLine("saved", 5000), "saved");
  EXPECT_FALSE(helper.Saw("menu closed")) << helper.Lines().join(" | ").toStdString();
  helper.Write("menu?");
  EXPECT_TRUE(helper.WaitForLine("menu ", 3000).startsWith("menu open"));
  xdotool({"key", "Escape"});

  // The panel restarts: the icon comes back by itself.
  trayer.reset();
  QThread::msleep(500);
  trayer = std::make_unique<TChild>();
  ASSERT_TRUE(trayer->Start("trayer", trayerArgs, env));
  EXPECT_EQ(helper.WaitForLine("shown", 5000), "shown");
  EXPECT_TRUE(IconGeometry(helper).isValid());
  helper.Write("quit");
  EXPECT_TRUE(helper.WaitForExit(5000));
}

TEST(TrayOnADesktop, RegistersWithAStatusNotifierWatcherThatAppearsLaterAndAfterItsRestart) {
  KV_REQUIRE_PROGRAM("Xvfb");
  KV_REQUIRE_PROGRAM("dbus-daemon");
  TPrivateXServer x;
  ASSERT_TRUE(x.Start("640x480x24"));
  TPrivateSessionBus bus;
  ASSERT_TRUE(bus.Start());
  const QProcessEnvironment env = DesktopEnvironment(x.Display(), bus.Address());

  // The program starts before the panel, as it may at log-on.
  TChild helper;
  ASSERT_TRUE(helper.Start(kTrayHelper, {}, env));
  ASSERT_EQ(helper.WaitForLine("loaded"), "loaded waiting");
  QThread::msleep(1200);

  auto watcher = std::make_unique<TChild>();
  ASSERT_TRUE(watcher->Start(kWatcher, {}, env));
  ASSERT_EQ(watcher->WaitForLine("ready"), "ready");
  EXPECT_EQ(helper.WaitForLine("shown", 5000), "shown") << helper.Errors().toStdString();
  EXPECT_TRUE(watcher->WaitForLine("item ", 5000).endsWith("/StatusNotifierItem"));

  // The panel's clicks reach the program; its menu is exported for the panel to show.
  watcher->Write("activate");
  EXPECT_EQ(helper.WaitForLine("click", 3000), "click");
  watcher->Write("menu");
  const QString menu = watcher->WaitForLine("menu ", 3000);
  EXPECT_GT(menu.size(), QString("menu /").size()) << menu.toStdString();
  watcher->Write("contextmenu");
  EXPECT_EQ(helper.WaitForLine("menu", 3000), "menu");
  const QString picture = OutputFolder() + "/status-notifier-icon.png";
  watcher->Write(("icon " + picture).toUtf8());
  EXPECT_TRUE(watcher->WaitForLine("saved", 3000).startsWith("saved"));

  // The panel restarts: the item registers with the new watcher.
  watcher.reset();
  watcher = std::make_unique<TChild>();
  ASSERT_TRUE(watcher->Start(kWatcher, {}, env));
  ASSERT_EQ(watcher->WaitForLine("ready"), "ready");
  EXPECT_TRUE(watcher->WaitForLine("item ", 5000).endsWith("/StatusNotifierItem"));
  helper.Write("quit");
  EXPECT_TRUE(helper.WaitForExit(5000));
}
