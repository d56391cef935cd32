#include "controls/KVStdCtrls.h"

#include <QMouseEvent>
#include <QPainter>

#include "foundation/KVForms.h"

TKVImage::TKVImage(QWidget* parent) : QWidget(parent) {}

void TKVImage::SetPicture(const QImage& picture) {
  bitmap_.SetImage(picture);
  Changed();
}

void TKVImage::Changed() {
  RebuildShown();
  if (autoSize_ && !bitmap_.Empty()) resize(bitmap_.Width(), bitmap_.Height());
  update();
}

void TKVImage::SetStretch(bool on) {
  if (stretch_ == on) return;
  stretch_ = on;
  update();
}

void TKVImage::SetTransparent(bool on) {
  if (transparent_ == on) return;
  transparent_ = on;
  Changed();
}

void TKVImage::SetAutoSize(bool on) {
  if (autoSize_ == on) return;
  autoSize_ = on;
  Changed();
}

void TKVImage::RebuildShown() {
  if (bitmap_.Empty()) {
    shown_ = QImage();
    return;
  }
  if (!transparent_) {
    shown_ = bitmap_.Image();
    return;
  }
  const int w = bitmap_.Width(), h = bitmap_.Height();
  const TPixelValue key = PixelValue(bitmap_.ScanLine(h - 1)[0]);
  QImage shown(w, h, QImage::Format_ARGB32);
  if (shown.isNull()) throw EOutOfResources(QStringLiteral("Not enough memory for a picture of %1 x %2").arg(w).arg(h));
  for (int y = 0; y < h; ++y) {
    const TRGBTriple* s = bitmap_.ScanLine(y);
    auto* d = reinterpret_cast<QRgb*>(shown.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const TPixelValue v = PixelValue(s[x]);
      d[x] = v == key ? 0u : (0xFF000000u | v);
    }
  }
  shown_ = std::move(shown);
}

void TKVImage::paintEvent(QPaintEvent*) {
  if (shown_.isNull()) return;
  QPainter p(this);
  if (stretch_) p.drawImage(rect(), shown_);
  else p.drawImage(0, 0, shown_);
}

void TKVImage::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (event->button() == Qt::LeftButton) pressed_ = true;
  RunGuarded([&] { OnMouseDown(this, event->button(), pos.x(), pos.y()); });
  // Unaccepted, a press goes on to the parent (the item panel counts it as its own click).
  event->setAccepted(bool(OnMouseDown) || bool(OnClick) || bool(OnMouseUp) || bool(OnMouseMove));
}

void TKVImage::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  RunGuarded([&] { OnMouseMove(this, event->buttons(), pos.x(), pos.y()); });
}

void TKVImage::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const bool click = event->button() == Qt::LeftButton && pressed_ && rect().contains(pos);
  if (event->button() == Qt::LeftButton) pressed_ = false;
  RunGuarded([&] { OnMouseUp(this, event->button(), pos.x(), pos.y()); });
  if (click) RunGuarded([&] { OnClick(this); });
}

TKVBevel::TKVBevel(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

void TKVBevel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  DrawFrame3D(p, rect(), clBtnShadow, clBtnHighlight);
}

void DrawFrame3D(QPainter& painter, const QRect& r, TColor topLeft, TColor bottomRight) {
  if (r.width() < 1 || r.height() < 1) return;
  const int l = r.left(), t = r.top(), rt = r.left() + r.width() - 1, b = r.top() + r.height() - 1;
  // As the class library draws it: the bottom-left pixel is the top-left colour's, the top-right
  // pixel the bottom-right colour's.
  painter.fillRect(QRect(l, t, rt - l, 1), ToQColor(topLeft));
  painter.fillRect(QRect(l, t, 1, b - t + 1), ToQColor(topLeft));
  painter.fillRect(QRect(rt, t, 1, b - t + 1), ToQColor(bottomRight));
  painter.fillRect(QRect(l + 1, b, rt - l, 1), ToQColor(bottomRight));
}

TKVTriStateButton::TKVTriStateButton(QWidget* parent) : QToolButton(parent) {
  setCheckable(true);
  setAutoRaise(true);
}

void TKVTriStateButton::SetState(Qt::CheckState state) {
  if (state == state_ && isChecked() == (state == Qt::Checked)) return;
  state_ = state;
  setChecked(state == Qt::Checked);
  update();
}

void TKVTriStateButton::paintEvent(QPaintEvent* event) {
  QToolButton::paintEvent(event);
  if (state_ != Qt::PartiallyChecked) return;
  // A mixed selection: the button half down.
  QPainter p(this);
  p.fillRect(rect().adjusted(2, 2, -2, -2), QBrush(palette().color(QPalette::Highlight), Qt::Dense5Pattern));
}
