#pragma once
// The full-screen view: a borderless window of the primary screen's size showing the calendar
// picture. It covers the desktop icons when the user hides them and serves as the live preview
// behind the settings window; its bitmap is the renderer's preview bitmap.
#include <QString>
#include <QWidget>
#include <functional>

#include "foundation/KVGraphics.h"

class QAction;
class QMenu;

class TMirImageForm : public QWidget {
  Q_OBJECT
 public:
  explicit TMirImageForm(QWidget* parent = nullptr);

  // The bitmap shown (not owned: the main form's render state keeps it).
  void SetPreview(TKVBitmap* preview) { preview_ = preview; }
  TKVBitmap* Preview() const { return preview_; }
  // The calendar bitmap file, shown when the view opens with no picture drawn.
  QString BackgroundPath;
  // Draws the calendar into the preview (the main form's renderer; the argument recalculates
  // the layout).
  std::function<void(bool)> Render;
  // Whether the settings window is open, and bringing it in front of the view.
  std::function<bool()> SettingsOpen;
  std::function<void()> BringSettingsToFront;

  // The main form's command that restores the desktop icons: Esc and the pop-up menu's item.
  void SetRestoreAction(QAction* action);
  // The pop-up menu is offered while the view hides the icons.
  void SetPopupMenuEnabled(bool on) { popupEnabled_ = on; }
  bool PopupMenuEnabled() const { return popupEnabled_; }
  QMenu* MirPopupMenu() const { return popupMenu_; }

 protected:
  // Takes the whole screen and makes sure there is something to show.
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void FormShow();
  void FormActivate();

  TKVBitmap* preview_ = nullptr;
  QAction* restoreAction_ = nullptr;
  QMenu* popupMenu_ = nullptr;
  bool popupEnabled_ = false;
};
