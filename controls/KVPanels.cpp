#include "controls/KVPanels.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "controls/KVStdCtrls.h"
#include "foundation/KVForms.h"
#include "foundation/KVTextHelper.h"

namespace {

// Widget coordinates beyond this are not representable.
constexpr qint64 kMaxCoord = QWIDGETSIZE_MAX;

int ClampCoord(qint64 v) { return int(std::clamp<qint64>(v, 0, kMaxCoord)); }

constexpr int kWheelDelta = 120;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TKVIdxPanel

TKVIdxPanel::TKVIdxPanel(QWidget* parent) : QWidget(parent), color_(clBtnFace) {}

TKVIdxPanel::~TKVIdxPanel() {
  if (box_) box_->PanelGone(this);
}

void TKVIdxPanel::SetSelected(bool value) {
  if (value == selected_) return;
  selected_ = value;
  TKVPanelsBox* box = box_;
  if (box && box->IndexOf(this) >= 0) {
    if (value && !box->MultiSelect()) box->SetItemIndex(box->IndexOf(this));
    // A deselected panel is no longer the box's selected one.
    if (!value && box->ItemIndex() == box->IndexOf(this)) box->itemIndex_ = -1;
    SetColor(selected_ ? box->SelectedItemColor() : box->ItemColor());
  }
  if (value) OnSelected(this);
}

void TKVIdxPanel::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  update();
}

void TKVIdxPanel::Click() {
  OnClick(this);
  Select();
}

void TKVIdxPanel::DblClick() {
  OnDblClick(this);
  Select();
}

void TKVIdxPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), ToQColor(color_));
  DrawFrame3D(p, rect(), clBtnHighlight, clBtnShadow);
  // The style's own focus frame shows only after a Tab: this one shows whenever the keys act here,
  // inside the 3D frame, leaving a line of the selection colour around the panel's contents.
  if (box_ && box_->ShowsFocus() && box_->IndexOf(this) == box_->CurrentIndex()) {
    p.setPen(ToQColor(clWindowText));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
  }
}

void TKVIdxPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
}

void TKVIdxPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const bool click = pressed_ && rect().contains(event->position().toPoint());
  pressed_ = false;
  if (click) RunGuarded([this] { Click(); });
}

void TKVIdxPanel::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressed_ = true;
  RunGuarded([this] { DblClick(); });
}

// ---------------------------------------------------------------------------------------------
// TKVPanelsBox

TKVPanelsBox::TKVPanelsBox(QWidget* parent) : QScrollArea(parent) {
  auto* content = new QWidget;
  setWidget(content);
  setWidgetResizable(false);
  // The box's colour shows around the panels (the content itself is transparent).
  QPalette pal = viewport()->palette();
  pal.setColor(QPalette::Window, ToQColor(clBtnFace));
  viewport()->setPalette(pal);
  viewport()->setBackgroundRole(QPalette::Window);
  viewport()->setAutoFillBackground(true);
  content->setAutoFillBackground(false);
  horizontalScrollBar()->setTracking(true);
  verticalScrollBar()->setTracking(true);
}

TKVPanelsBox::~TKVPanelsBox() {
  std::vector<TKVIdxPanel*> panels;
  panels.swap(panels_);
  for (TKVIdxPanel* p : panels) {
    p->box_ = nullptr;
    delete p;
  }
}

TKVIdxPanel* TKVPanelsBox::Items(int n) const { return n >= 0 && n < Count() ? panels_[size_t(n)] : nullptr; }

int TKVPanelsBox::IndexOf(const TKVIdxPanel* panel) const {
  const auto it = std::find(panels_.begin(), panels_.end(), panel);
  return it == panels_.end() ? -1 : int(it - panels_.begin());
}

void TKVPanelsBox::SetItemIndex(int n) {
  if (n == itemIndex_) return;
  itemIndex_ = -1;
  if (multiSelect_) return;
  // A panel's event may change the list: walk a snapshot and skip panels that left it.
  const std::vector<TKVIdxPanel*> panels = panels_;
  for (size_t i = 0; i < panels.size(); ++i) {
    TKVIdxPanel* p = panels[i];
    if (IndexOf(p) < 0) continue;
    if (int(i) == n) {
      itemIndex_ = n;
      p->SetSelected(true);
    } else {
      p->SetSelected(false);
    }
  }
}

void TKVPanelsBox::SetItemSelected(int n, bool value) {
  if (TKVIdxPanel* p = Items(n)) p->SetSelected(value);
}

void TKVPanelsBox::SetSelectedItemColor(TColor color) {
  selectedItemColor_ = color;
  Recolour();
}

void TKVPanelsBox::SetItemColor(TColor color) {
  itemColor_ = color;
  Recolour();
}

void TKVPanelsBox::Recolour() {
  for (TKVIdxPanel* p : panels_) p->SetColor(p->Selected() ? selectedItemColor_ : itemColor_);
}

void TKVPanelsBox::Add(TKVIdxPanel* panel) {
  if (!panel || IndexOf(panel) >= 0) return;
  if (panel->box_) panel->box_->PanelGone(panel);
  panel->box_ = this;
  panel->setParent(widget());
  panels_.push_back(panel);
  if (columns_ == 1 && panel->StretchToWidth()) panel->resize(viewport()->width(), panel->height());
  panel->SetColor(panel->Selected() ? selectedItemColor_ : itemColor_);
  Place(Count() - 1);
  panel->show();
  UpdateExtent();
}

void TKVPanelsBox::Delete(int n) {
  TKVIdxPanel* p = Items(n);
  if (!p) return;
  PanelGone(p);
  p->hide();
  p->setParent(nullptr);
  // Freed once the event that asked for it is over: the request may come from the panel's own
  // handler.
  p->deleteLater();
  ArrangeFrom(n);
}

void TKVPanelsBox::Clear() {
  std::vector<TKVIdxPanel*> panels;
  panels.swap(panels_);
  itemIndex_ = -1;
  for (TKVIdxPanel* p : panels) {
    p->box_ = nullptr;
    p->hide();
    p->setParent(nullptr);
    p->deleteLater();
  }
  UpdateExtent();
}

void TKVPanelsBox::Exchange(int i, int j) {
  if (i == j || !Items(i) || !Items(j)) return;
  std::swap(panels_[size_t(i)], panels_[size_t(j)]);
  ArrangeFrom(std::min(i, j));
  if (i == itemIndex_) SetItemIndex(j);
  else if (j == itemIndex_) SetItemIndex(i);
  if (isVisible() && itemIndex_ >= 0) {
    TKVIdxPanel* p = panels_[size_t(itemIndex_)];
    p->setFocus();
    ensureWidgetVisible(p, 0, 0);
  }
}

void TKVPanelsBox::ArrangeFrom(int n) {
  if (n < 0) n = 0;
  if (n == 0 && columns_ == 1 && !panels_.empty()) verticalScrollBar()->setValue(0);
  for (int i = n; i < Count(); ++i) Place(i);
  UpdateExtent();
}

void TKVPanelsBox::Place(int i) {
  TKVIdxPanel* p = panels_[size_t(i)];
  qint64 x = 0, y = 0;
  if (columns_ > 1) {
    // Positions are in the content's coordinates, so the scroll position does not enter.
    x = qint64(p->width()) * (i % columns_);
    y = qint64(p->height()) * (i / columns_);
  } else if (i > 0) {
    const TKVIdxPanel* prev = panels_[size_t(i - 1)];
    y = qint64(prev->y()) + prev->height();
  }
  p->move(ClampCoord(x), ClampCoord(y));
}

void TKVPanelsBox::UpdateExtent() {
  qint64 w = 0, h = 0;
  for (const TKVIdxPanel* p : panels_) {
    w = std::max<qint64>(w, qint64(p->x()) + p->width());
    h = std::max<qint64>(h, qint64(p->y()) + p->height());
  }
  widget()->resize(ClampCoord(w), ClampCoord(h));
}

void TKVPanelsBox::PanelGone(TKVIdxPanel* panel) {
  const int n = IndexOf(panel);
  if (n < 0) return;
  panels_.erase(panels_.begin() + n);
  panel->box_ = nullptr;
  // The selection stays on the panel it was on.
  if (n == itemIndex_) itemIndex_ = -1;
  else if (n < itemIndex_) --itemIndex_;
}

void TKVPanelsBox::wheelEvent(QWheelEvent* event) {
  wheelRest_ += event->angleDelta().y();
  QScrollBar* bar = verticalScrollBar();
  const int page = viewport()->height();
  while (wheelRest_ >= kWheelDelta) {
    wheelRest_ -= kWheelDelta;
    bar->setValue(bar->value() - page);
  }
  while (wheelRest_ <= -kWheelDelta) {
    wheelRest_ += kWheelDelta;
    bar->setValue(bar->value() + page);
  }
  event->accept();
}

bool TKVPanelsBox::viewportEvent(QEvent* event) {
  const bool handled = QScrollArea::viewportEvent(event);
  if (event->type() == QEvent::Resize) StretchPanels();
  return handled;
}

int TKVPanelsBox::CurrentIndex() const {
  if (itemIndex_ >= 0 && itemIndex_ < Count()) return itemIndex_;
  return Count() > 0 ? 0 : -1;
}

bool TKVPanelsBox::ShowsFocus() const {
  // A panel holds the keys after an exchange; its keys reach the box all the same.
  QWidget* f = QApplication::focusWidget();
  if (f == this) return true;
  auto* panel = qobject_cast<TKVIdxPanel*>(f);
  return panel && IndexOf(panel) >= 0;
}

void TKVPanelsBox::UpdateCurrent() {
  if (TKVIdxPanel* p = Items(CurrentIndex())) p->update();
}

void TKVPanelsBox::focusInEvent(QFocusEvent* event) {
  QScrollArea::focusInEvent(event);
  UpdateCurrent();
}

void TKVPanelsBox::focusOutEvent(QFocusEvent* event) {
  QScrollArea::focusOutEvent(event);
  UpdateCurrent();
}

int TKVPanelsBox::KeyTarget(int key) const {
  const int count = Count();
  if (count == 0) return -1;
  const int at = itemIndex_;
  const int columns = std::max(1, columns_);
  const TKVIdxPanel* p = Items(at >= 0 ? at : 0);
  const int page = std::max(1, viewport()->height() / std::max(1, p->height())) * columns;
  switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
      // With nothing selected the keys start at the first panel.
      if (at < 0) return 0;
      break;
    case Qt::Key_End: return count - 1;
    default: return -1;
  }
  switch (key) {
    case Qt::Key_Left: return std::max(0, at - 1);
    case Qt::Key_Right: return std::min(count - 1, at + 1);
    case Qt::Key_Up: return at >= columns ? at - columns : at;
    // From a column the last row leaves empty, down goes to the last panel.
    case Qt::Key_Down: return at / columns < (count - 1) / columns ? std::min(count - 1, at + columns) : at;
    case Qt::Key_Home: return 0;
    case Qt::Key_PageUp: return std::max(0, at - page);
    case Qt::Key_PageDown: return std::min(count - 1, at + page);
    default: return -1;
  }
}

void TKVPanelsBox::SelectByKey(int n) {
  TKVIdxPanel* target = Items(n);
  if (!target) return;
  // A control of the old panel that had the keys hands them to the same control of the new one.
  int control = -1;
  if (TKVIdxPanel* old = Items(itemIndex_); old && QApplication::focusWidget() && old->isAncestorOf(QApplication::focusWidget()))
    control = int(old->findChildren<QWidget*>().indexOf(QApplication::focusWidget()));
  QPointer<TKVIdxPanel> guard(target);
  RunGuarded([target] { target->Select(); });
  // The selection's handler may have taken the panel away.
  if (!guard || IndexOf(target) < 0) return;
  ensureWidgetVisible(target, 0, 0);
  if (control >= 0) {
    QWidget* w = target->findChildren<QWidget*>().value(control);
    if (w && w->isEnabled() && w->focusPolicy() != Qt::NoFocus) w->setFocus(Qt::OtherFocusReason);
    else setFocus(Qt::OtherFocusReason);
  }
  UpdateCurrent();
}

void TKVPanelsBox::keyPressEvent(QKeyEvent* event) {
  if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
    QScrollArea::keyPressEvent(event);
    return;
  }
  if (event->key() == Qt::Key_Space) {
    bool toggled = false;
    if (TKVIdxPanel* p = Items(CurrentIndex())) RunGuarded([&] { toggled = p->Toggle(); });
    if (toggled) event->accept();
    else QScrollArea::keyPressEvent(event);
    return;
  }
  const int n = KeyTarget(event->key());
  if (n < 0) {
    QScrollArea::keyPressEvent(event);
    return;
  }
  SelectByKey(n);
  event->accept();
}

void TKVPanelsBox::StretchPanels() {
  if (columns_ != 1) return;
  bool changed = false;
  for (TKVIdxPanel* p : panels_)
    if (p->StretchToWidth() && p->width() != viewport()->width()) {
      p->resize(viewport()->width(), p->height());
      changed = true;
    }
  if (changed) UpdateExtent();
}
