#pragma once
// The program as one tray-resident copy per user: finding and waking the running copy, the
// notification-area icon, and a form's remembered size and position.
//
// The messages the copies exchange: where the class library registered "KVMActivateApplication"
// (wParam 0 activate, 2 terminate), a later copy sends "activate" or "terminate" over the
// instance socket (platform/KVInstance.h); where the shell broadcast "TaskbarCreated", the tray
// watch reports HostChanged (platform/KVTrayHost.h).
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <optional>


class QWidget;
class TKVInstanceLock;
class TKVInstanceServer;
class TKVTrayHost;

// Asks the running copy with this title to come forward and waits (bounded) until it has: true
// when a running copy was found, whatever it then did; false when none runs.
bool ActivatePrevInstance(const QString& Title);

// The start of the program: true when this process is the first copy (Lock then holds the
// title's lock for the life of the process); false when another copy runs and was asked to come
// forward, so the caller ends at once with exit code 0. A copy that ends while this one looks
// for it does not make both give up: the lock is tried again. When the lock cannot be tried at
// all (no private runtime folder), the program runs unguarded rather than not at all. Call it
// once the application object exists, before any window or tray icon is made.
bool ClaimSingleInstance(TKVInstanceLock& Lock, const QString& Title);

// Shows Window normally (restored when minimised) and brings it to the front.
void ShowAndForeground(QWidget* Window);

// The window of this program that a second start brings forward: the one last active when it is
// still shown, else another one on the screen (a modal box first). Windows kept out of the
// window list (the full-screen view), notices shown without the keyboard, pop-ups and the
// tray's own icon window do not count.
// Null when the program shows none.
QWidget* FormOnScreen();

// Keeps Window out of taskbars, pagers and window switchers (platform/KVWindowList.h) at every
// showing from now on, and out of FormOnScreen.
void KeepOffWindowList(QWidget* Window);

// The notification-area icon of the program (the main form's component Tray). The icon is added
// once a tray exists and retried every 1000 ms until then; a tray that appears anew (the panel
// restarted) gets it again: an XEmbed icon is docked anew, an icon on the session bus registers
// itself with each new watcher, once. Clicks become OnClick, OnDblClick, the popup menu or
// OnRightClick; unbound clicks restore the main form. Handlers must not throw (bind them through
// the guarded runner); one that does is logged and stopped here.
class TKVTray : public QObject {
  Q_OBJECT
 public:
  using TTrayEvent = std::function<void(TKVTray* Sender)>;
  // The platform as the tray sees it; tests replace it. Without TrayAvailable the tray watches
  // the session bus and the X display itself (TKVTrayHost).
  struct THooks {
    std::function<bool()> TrayAvailable;
    // The tray there is a StatusNotifier host: Qt shows the icon over the session bus.
    std::function<bool()> StatusNotifierTray;
    // How long after Loaded a tray may take to appear before NoTrayFound (5000 ms when unset).
    std::optional<int> NoTrayDelayMs;
    // Where the menu goes when a StatusNotifier host asks the item to show it (the pointer's
    // place when unset or nullopt; on sway, beside its bar's tray), and what follows its
    // showing (on sway under Wayland, moving its window there: the menu's window title names
    // it).
    std::function<std::optional<QPoint>(QSize MenuSize)> TrayMenuPosition;
    std::function<void(QMenu* Menu, QPoint At)> MenuShown;
  };

  explicit TKVTray(QWidget* MainForm, QObject* parent = nullptr, THooks Hooks = {});
  ~TKVTray() override;

  // Whether the main form has a taskbar button while shown (false makes it a tool window).
  bool ShowTaskBar() const { return showTaskBar_; }
  void SetShowTaskBar(bool Value);
  // The icon shown; the application's window icon at creation.
  QIcon Icon() const { return icon_; }
  void SetIcon(const QIcon& Value);
  // The tip; empty means the application title.
  QString Hint() const { return hint_; }
  void SetHint(const QString& Value);
  QMenu* PopupMenu() const { return menu_; }
  void SetPopupMenu(QMenu* Menu);

  TTrayEvent OnClick, OnRightClick, OnDblClick, OnTerminate;

  // After the main form is built: adds the icon, or starts the retry timer.
  void Loaded();
  // Shows the main form with its taskbar button and brings it to the front.
  void RestoreFromTray();
  // Closes other pop-ups, releases a mouse grab and hides the tool tip.
  void CancelAllModes();

  // A tray (re)appeared: add the icon again, once.
  void TaskbarCreated();
  // A message from another copy: "terminate" runs OnTerminate; anything else brings the form on
  // the screen (FormOnScreen) to the front, or acts as a click when there is none.
  void ActivateApplication(const QString& Message);
  // Messages of Server reach ActivateApplication.
  void ListenTo(TKVInstanceServer* Server);
  // The icon's mouse notification.
  void Activated(QSystemTrayIcon::ActivationReason Reason);

  bool IconAdded() const { return added_; }
  bool Retrying() const { return retry_.isActive(); }
  // Null until a tray was first found.
  QSystemTrayIcon* TrayIcon() const { return trayIcon_; }
  QString TipText() const;

 signals:
  // The icon was added or added again.
  void IconShown();
  // No tray has taken the icon NoTrayDelayMs after Loaded; once per run.
  void NoTrayFound();

 private:
  bool AddIcon();
  void PopupAtTray();
  void RetryTick();
  void ApplyTaskBar();
  void Run(const TTrayEvent& handler, const char* what);

  QPointer<QWidget> mainForm_;
  THooks hooks_;
  TKVTrayHost* host_ = nullptr;
  QSystemTrayIcon* trayIcon_ = nullptr;
  QTimer retry_, noTray_;
  QIcon icon_;
  QString hint_;
  QPointer<QMenu> menu_;
  bool showTaskBar_ = true, loaded_ = false, added_ = false, busIcon_ = false, noTrayTold_ = false;
};

// A form's maximised state, size and position kept in the user's registry store between runs.
// The owner decides when: at start LoadState and ApplyBounds, at close StoreBounds and (when
// the settings are saved) SaveState. Sizes are the form's client size, positions its frame's
// top-left corner, as Qt moves and resizes windows.
class TKVFormState {
 public:
  explicit TKVFormState(QWidget* Owner);

  bool SaveSize = true;
  bool SavePos = true;
  // Key of the values; empty means "Software\Kel Voro\<application title>". The owner's
  // object name is appended either way.
  QString RegKey;
  bool Maximized = false;
  qint32 Width = 0, Height = 0, Left = 0, Top = 0;
  // The screen area the form is kept on; the whole desktop unless a test replaces it.
  std::function<QRect()> ScreenRect;

  QString KeyPath() const;
  void StoreBounds();
  // Registry errors are swallowed.
  void SaveState();
  void LoadState();
  void ApplyBounds();

 private:
  QPointer<QWidget> owner_;
  bool stored_ = false;  // LoadState found the key
};
