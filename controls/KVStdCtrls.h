#pragma once
// The class library's picture control and bevel as plain widgets, for the item panels and the
// colour picker, and the editors' style button that can show a mixed selection. The picture: a picture held as the calendar's 24-bit bitmap, drawn as it is or stretched,
// optionally transparent, reporting clicks and mouse moves in its own coordinates.
#include <QImage>
#include <QToolButton>
#include <QWidget>

#include "foundation/KVClasses.h"
#include "foundation/KVGraphics.h"

class TKVImage : public QWidget {
  Q_OBJECT
 public:
  explicit TKVImage(QWidget* parent = nullptr);

  // The picture. After drawing into it, call Changed so that it is shown.
  TKVBitmap& Bitmap() { return bitmap_; }
  const TKVBitmap& Bitmap() const { return bitmap_; }
  // Takes a copy of the picture (converted to 24 bits).
  void SetPicture(const QImage& picture);
  // Repaints; with AutoSize the control takes the picture's size.
  void Changed();

  // Scaled to the control's size instead of drawn at its top-left corner.
  bool Stretch() const { return stretch_; }
  void SetStretch(bool on);
  // Pixels of the colour of the picture's bottom-left pixel are not drawn.
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);

  // Left button pressed and released over the control.
  TEvent<void(TKVImage* sender)> OnClick;
  TEvent<void(TKVImage* sender, Qt::MouseButton button, int x, int y)> OnMouseDown;
  // Moves while a button is held.
  TEvent<void(TKVImage* sender, Qt::MouseButtons buttons, int x, int y)> OnMouseMove;
  TEvent<void(TKVImage* sender, Qt::MouseButton button, int x, int y)> OnMouseUp;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void RebuildShown();

  TKVBitmap bitmap_;
  QImage shown_;  // the picture with its transparent pixels cleared
  bool stretch_ = false;
  bool transparent_ = false;
  bool autoSize_ = false;
  bool pressed_ = false;
};

// A lowered one-pixel box: shadow at the top and left, highlight at the bottom and right.
class TKVBevel : public QWidget {
  Q_OBJECT
 public:
  explicit TKVBevel(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A one-pixel 3D frame just inside R (its right and bottom exclusive): TopLeft on the top and
// left lines, BottomRight on the bottom and right lines.
void DrawFrame3D(QPainter& painter, const QRect& r, TColor topLeft, TColor bottomRight);

// A toolbar button for a style (bold, italic, underline) that also shows "part of the selection
// has it": checked, unchecked, or half down for a mixed selection.
class TKVTriStateButton : public QToolButton {
 public:
  explicit TKVTriStateButton(QWidget* parent = nullptr);
  Qt::CheckState State() const { return state_; }
  void SetState(Qt::CheckState state);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Qt::CheckState state_ = Qt::Unchecked;
};
