#include "foundation/KVApps.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QToolTip>
#include <QWidget>
#include <QWindow>
#include <exception>

#include "foundation/KVSysUtils.h"
#include "platform/KVError.h"
#include "platform/KVInstance.h"
#include "platform/KVSway.h"
#include "platform/KVTrayHost.h"
#include "platform/KVWindowList.h"

bool ActivatePrevInstance(const QString& Title) {
  return SendInstanceMessage(Title, QLatin1String(kInstanceActivate)) != TKVSendResult::NotRunning;
}

bool ClaimSingleInstance(TKVInstanceLock& Lock, const QString& Title) {
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    if (Lock.TryLock()) return true;
    if (Lock.Failed()) {
      qWarning("Running without the single-instance lock: %s", qPrintable(Lock.ErrorString()));
      return true;
    }
    if (ActivatePrevInstance(Title)) return false;
    // The holder ended between the two steps: try the lock again. A lock that stays taken by
    // something that never answers is another copy all the same.
    if (clock.elapsed() > kInstanceAnswerTimeoutMs) return false;
    QThread::msleep(20);
  }
}

void ShowAndForeground(QWidget* Window) {
  if (!Window) return;
  if (Window->isMinimized())
    Window->showNormal();
  else
    Window->show();
  ForceForegroundWindow(Window);
}

namespace {

const char kOffWindowList[] = "kvOffWindowList";

bool IsListedForm(const QWidget* w) {
  if (!w || !w->isWindow() || !w->isVisible() || w->property(kOffWindowList).toBool()) return false;
  // A notice shown without taking the keyboard is nothing the user works in.
  if (w->testAttribute(Qt::WA_ShowWithoutActivating)) return false;
  const Qt::WindowType type = w->windowType();
  // Pop-up menus and tips are no forms; the XEmbed tray icon is a window the manager never sees.
  return (type == Qt::Window || type == Qt::Dialog || type == Qt::Tool) &&
         !w->windowFlags().testFlag(Qt::BypassWindowManagerHint);
}

QPointer<QWidget>& LastActiveForm() {
  static QPointer<QWidget> form;
  return form;
}

// Which form was active last, for a second start.
void WatchActiveForms() {
  static bool watching = false;
  if (watching || !qApp) return;
  watching = true;
  QObject::connect(qApp, &QGuiApplication::focusWindowChanged, qApp, [](QWindow* now) {
    if (!now) return;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->windowHandle() == now && IsListedForm(w)) LastActiveForm() = w;
  });
}

// Asks sway to move the menu's window once it is there (it maps a moment after popup), a few
// times 50 ms apart at most.
void MoveToWhenShown(QPointer<QMenu> menu, QPoint at, int tries) {
  QTimer::singleShot(tries == 20 ? 0 : 50, menu, [menu, at, tries] {
    if (!menu || !menu->isVisible() || menu->windowTitle().isEmpty()) return;
    if (!SwayMoveWindow(menu->windowTitle(), at) && tries > 1) MoveToWhenShown(menu, at, tries - 1);
  });
}

class TWindowListFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    // The show event comes before the window is mapped.
    if (event->type() == QEvent::Show)
      if (auto* w = qobject_cast<QWidget*>(watched); w && w->isWindow()) SkipWindowLists(w->windowHandle());
    return false;
  }
};

}  // namespace

QWidget* FormOnScreen() {
  if (QWidget* modal = QApplication::activeModalWidget(); IsListedForm(modal)) return modal;
  if (QWidget* last = LastActiveForm(); IsListedForm(last)) return last;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (IsListedForm(w)) return w;
  return nullptr;
}

void KeepOffWindowList(QWidget* Window) {
  if (!Window) return;
  Window->setProperty(kOffWindowList, true);
  Window->installEventFilter(new TWindowListFilter(Window));
  if (Window->isVisible()) SkipWindowLists(Window->windowHandle());
}

// ---------------------------------------------------------------------------------------------

TKVTray::TKVTray(QWidget* MainForm, QObject* parent, THooks Hooks)
    : QObject(parent), mainForm_(MainForm), hooks_(std::move(Hooks)), icon_(QApplication::windowIcon()) {
  retry_.setInterval(1000);
  connect(&retry_, &QTimer::timeout, this, &TKVTray::RetryTick);
  noTray_.setSingleShot(true);
  noTray_.setInterval(hooks_.NoTrayDelayMs.value_or(5000));
  connect(&noTray_, &QTimer::timeout, this, [this] {
    if (added_ || noTrayTold_) return;
    noTrayTold_ = true;
    emit NoTrayFound();
  });
  if (!hooks_.TrayAvailable) {
    host_ = new TKVTrayHost(this);
    hooks_.TrayAvailable = [host = host_] { return host->Available(); };
    hooks_.StatusNotifierTray = [host = host_] { return host->StatusNotifierAvailable(); };
    connect(host_, &TKVTrayHost::HostChanged, this, &TKVTray::TaskbarCreated);
  }
  if (!hooks_.TrayMenuPosition && SwaySession()) {
    hooks_.TrayMenuPosition = [](QSize menu) -> std::optional<QPoint> {
      const auto output = SwayFocusedOutput();
      if (!output) return std::nullopt;
      return TrayMenuPosition(output->first, output->second, menu);
    };
    // On Wayland the menu opens as a window of its own, which sway puts in the middle.
    if (!hooks_.MenuShown && QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
      hooks_.MenuShown = [](QMenu* menu, QPoint at) { MoveToWhenShown(menu, at, 20); };
  }
  WatchActiveForms();
}

TKVTray::~TKVTray() {
  retry_.stop();
  delete trayIcon_;  // takes the icon out of the tray
}

void TKVTray::SetShowTaskBar(bool Value) {
  showTaskBar_ = Value;
  if (loaded_ && mainForm_ && mainForm_->isVisible()) ApplyTaskBar();
}

void TKVTray::SetIcon(const QIcon& Value) {
  icon_ = Value;
  if (loaded_ && trayIcon_) trayIcon_->setIcon(icon_.isNull() ? QApplication::style()->standardIcon(QStyle::SP_ComputerIcon) : icon_);
}

void TKVTray::SetHint(const QString& Value) {
  hint_ = Value;
  if (loaded_ && trayIcon_) trayIcon_->setToolTip(TipText());
}

void TKVTray::SetPopupMenu(QMenu* Menu) {
  if (menu_) disconnect(menu_, &QMenu::aboutToShow, this, &TKVTray::CancelAllModes);
  menu_ = Menu;
  if (menu_) connect(menu_, &QMenu::aboutToShow, this, &TKVTray::CancelAllModes);
  // Handed to the icon so that a StatusNotifier host can show it as its own menu.
  if (trayIcon_) trayIcon_->setContextMenu(menu_);
}

QString TKVTray::TipText() const { return hint_.isEmpty() ? ApplicationTitle() : hint_; }

void TKVTray::Loaded() {
  loaded_ = true;
  if (AddIcon()) return;
  retry_.start();
  noTray_.start();
}

bool TKVTray::AddIcon() {
  // Qt fixes the kind of tray for the whole process when its first icon is made: only make it
  // once a tray is known to be there.
  if (!hooks_.TrayAvailable()) return false;
  if (!trayIcon_) {
    busIcon_ = hooks_.StatusNotifierTray && hooks_.StatusNotifierTray();
    trayIcon_ = new QSystemTrayIcon(this);
    connect(trayIcon_, &QSystemTrayIcon::activated, this, &TKVTray::Activated);
    trayIcon_->setContextMenu(menu_);
  }
  trayIcon_->setIcon(icon_.isNull() ? QApplication::style()->standardIcon(QStyle::SP_ComputerIcon) : icon_);
  trayIcon_->setToolTip(TipText());
  if (!busIcon_ || !trayIcon_->isVisible()) {
    // A new XEmbed tray knows nothing of an icon docked in the old one. An icon on the bus
    // registers itself with each new watcher over the connection it has; showing it anew would
    // register it again from a new connection and leave the watcher one that is gone.
    if (trayIcon_->isVisible()) trayIcon_->hide();
    trayIcon_->show();
  }
  added_ = true;
  retry_.stop();
  noTray_.stop();
  emit IconShown();
  return true;
}

void TKVTray::RetryTick() {
  retry_.stop();
  if (!AddIcon()) retry_.start();
}

void TKVTray::TaskbarCreated() {
  if (loaded_) AddIcon();
}

void TKVTray::ActivateApplication(const QString& Message) {
  if (Message == QLatin1String(kInstanceTerminate))
    Run(OnTerminate, "terminate");
  else if (QWidget* shown = FormOnScreen())
    // A form of this copy is on the screen: it only comes to the front.
    ShowAndForeground(shown);
  else if (OnClick)
    Run(OnClick, "activate");
  else
    RestoreFromTray();
}

void TKVTray::ListenTo(TKVInstanceServer* Server) {
  connect(Server, &TKVInstanceServer::MessageReceived, this, &TKVTray::ActivateApplication);
}

void TKVTray::Activated(QSystemTrayIcon::ActivationReason Reason) {
  switch (Reason) {
    case QSystemTrayIcon::Trigger:
      if (OnClick) Run(OnClick, "click");
      else RestoreFromTray();
      break;
    case QSystemTrayIcon::DoubleClick:
      if (OnDblClick) Run(OnDblClick, "double click");
      else RestoreFromTray();
      break;
    case QSystemTrayIcon::Context:
      if (menu_) {
        // An XEmbed icon has shown the menu itself; a StatusNotifier host that asks the item
        // for its menu instead of reading it comes here with the menu closed.
        if (!menu_->isVisible()) PopupAtTray();
      } else {
        Run(OnRightClick, "right click");
      }
      break;
    default:
      break;
  }
}

void TKVTray::PopupAtTray() {
  QPoint at = QCursor::pos();
  if (hooks_.TrayMenuPosition)
    if (const std::optional<QPoint> place = hooks_.TrayMenuPosition(menu_->sizeHint())) at = *place;
  menu_->popup(at);
  if (hooks_.MenuShown) hooks_.MenuShown(menu_, at);
}

void TKVTray::RestoreFromTray() {
  if (!mainForm_) return;
  ApplyTaskBar();
  ShowAndForeground(mainForm_);
}

void TKVTray::CancelAllModes() {
  for (int i = 0; i < 16; ++i) {
    QWidget* popup = QApplication::activePopupWidget();
    if (!popup || popup == menu_) break;
    popup->close();
  }
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  QToolTip::hideText();
}

void TKVTray::ApplyTaskBar() {
  if (!mainForm_) return;
  // A tool window has no taskbar button.
  const bool tool = !showTaskBar_;
  if (mainForm_->windowFlags().testFlag(Qt::Tool) == tool) return;
  const bool visible = mainForm_->isVisible();
  mainForm_->setWindowFlag(Qt::Tool, tool);
  if (visible) mainForm_->show();
}

void TKVTray::Run(const TTrayEvent& handler, const char* what) {
  if (!handler) return;
  try {
    handler(this);
  } catch (const std::exception& e) {
    qWarning("Tray %s: %s", what, e.what());
  } catch (...) {
    qWarning("Tray %s: unknown error", what);
  }
}

// ---------------------------------------------------------------------------------------------

TKVFormState::TKVFormState(QWidget* Owner) : owner_(Owner) {
  ScreenRect = [] {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualGeometry() : QRect();
  };
}

QString TKVFormState::KeyPath() const {
  const QString name = owner_ ? owner_->objectName() : QString();
  if (!RegKey.isEmpty()) {
    QString key = RegKey;
    if (!key.endsWith(QLatin1Char('\\'))) key += QLatin1Char('\\');
    return key + name;
  }
  return QStringLiteral("Software\\Kel Voro\\") + ApplicationTitle() + QLatin1Char('\\') + name;
}

void TKVFormState::StoreBounds() {
  if (!owner_) return;
  Maximized = owner_->isMaximized();
  // A maximised form keeps the bounds it had before, so they survive.
  if (Maximized) return;
  if (SaveSize) {
    Width = owner_->width();
    Height = owner_->height();
  }
  if (SavePos) {
    Left = owner_->x();
    Top = owner_->y();
    stored_ = true;
  }
}

void TKVFormState::SaveState() {
  try {
    TKVRegistry reg;
    if (!reg.OpenKey(QLatin1Char('\\') + KeyPath(), true)) return;
    reg.WriteBool(QStringLiteral("Maximized"), Maximized);
    if (SaveSize) {
      reg.WriteInteger(QStringLiteral("Width"), Width);
      reg.WriteInteger(QStringLiteral("Height"), Height);
    }
    if (SavePos) {
      reg.WriteInteger(QStringLiteral("Left"), Left);
      reg.WriteInteger(QStringLiteral("Top"), Top);
    }
    reg.CloseKey();
  } catch (const EKVError&) {
  }
}

void TKVFormState::LoadState() {
  Width = Height = Left = Top = 0;
  stored_ = false;
  try {
    TKVRegistry reg;
    if (!reg.OpenKeyReadOnly(QLatin1Char('\\') + KeyPath())) return;
    stored_ = true;
    Maximized = reg.ReadBoolDef(QStringLiteral("Maximized"), false);
    if (SaveSize) {
      Width = reg.ReadIntegerDef(QStringLiteral("Width"), 0);
      Height = reg.ReadIntegerDef(QStringLiteral("Height"), 0);
    }
    if (SavePos) {
      Left = reg.ReadIntegerDef(QStringLiteral("Left"), 0);
      Top = reg.ReadIntegerDef(QStringLiteral("Top"), 0);
    }
  } catch (const EKVError&) {
  }
}

void TKVFormState::ApplyBounds() {
  if (!owner_) return;
  const QRect screen = ScreenRect ? ScreenRect() : QRect();
  const bool sized = SaveSize && Width >= 1 && Height >= 1;
  if (sized) {
    // A size stored on a larger screen (or a damaged value) still fits this one.
    QSize size(Width, Height);
    if (screen.isValid()) size = size.boundedTo(screen.size());
    owner_->resize(size);
  }
  // A first run (nothing stored) leaves the form where the system puts it.
  if (SavePos && stored_) owner_->move(Left, Top);
  if (Maximized) {
    // The normal bounds were set first, so that leaving the maximised state returns to them.
    owner_->setWindowState((owner_->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    return;
  }
  owner_->setWindowState(owner_->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
  if (!screen.isValid()) return;
  const QRect frame = owner_->frameGeometry();
  if (frame.x() + frame.width() > screen.x() + screen.width()) owner_->move(screen.x(), owner_->y());
  if (frame.y() + frame.height() > screen.y() + screen.height()) owner_->move(owner_->x(), screen.y());
}
