#include "ui/MirImageF.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QtDebug>

#include "foundation/KVApps.h"
#include "foundation/KVPicture.h"

TMirImageForm::TMirImageForm(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("MirImageForm"));
  // The picture covers the whole window: nothing is erased before painting.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::StrongFocus);
  // It stands for the desktop: no taskbar, pager or window switcher lists it.
  KeepOffWindowList(this);
  resize(640, 480);
  popupMenu_ = new QMenu(this);
  popupMenu_->setObjectName(QStringLiteral("MirPopupMenu"));
}

void TMirImageForm::SetRestoreAction(QAction* action) {
  if (restoreAction_) popupMenu_->removeAction(restoreAction_);
  restoreAction_ = action;
  if (action) popupMenu_->addAction(action);
}

void TMirImageForm::showEvent(QShowEvent* event) {
  FormShow();
  QWidget::showEvent(event);
}

void TMirImageForm::FormShow() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->geometry());
  if (!preview_ || preview_->Width() != 0) return;
  try {
    bool loaded = false;
    if (!BackgroundPath.isEmpty() && QFileInfo(BackgroundPath).isFile()) {
      try {
        preview_->SetImage(LoadPictureFromFile(BackgroundPath));
        loaded = !preview_->Empty();
      } catch (const std::exception&) {
        // An unreadable calendar file is drawn anew.
      }
    }
    if (!loaded && Render) Render(true);
  } catch (const std::exception& e) {
    qWarning("The calendar could not be drawn: %s", e.what());
  }
  update();
}

void TMirImageForm::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (preview_ && !preview_->Empty())
    p.drawImage(rect(), preview_->Image());
  else
    p.fillRect(rect(), ToQColor(clBackground));
}

void TMirImageForm::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && restoreAction_) {
    restoreAction_->trigger();
    return;
  }
  QWidget::keyReleaseEvent(event);
}

void TMirImageForm::contextMenuEvent(QContextMenuEvent* event) {
  if (popupEnabled_ && !popupMenu_->actions().isEmpty()) popupMenu_->popup(event->globalPos());
}

bool TMirImageForm::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QWidget::event(event);
}

void TMirImageForm::FormActivate() {
  // The preview stays behind the settings window.
  if (SettingsOpen && SettingsOpen() && BringSettingsToFront) BringSettingsToFront();
}
