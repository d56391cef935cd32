#pragma once
// A row of frames side by side in one bitmap that can draw any of them (frames from a resource
// pack or from bitmap resources), the base of a clock display, and a timer that reports each new
// minute and each new day of the wall clock.
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "foundation/KVClasses.h"
#include "foundation/KVException.h"
#include "foundation/KVGraphics.h"

class QPainter;
class TKVResReader;

KV_DECLARE_ERROR(EResNotFound, EKVError)  // a bitmap resource that does not exist

class TKVCustomImageList : public QWidget {
  Q_OBJECT
 public:
  // 100 x 100, variable-size frames, sized by its first frame.
  explicit TKVCustomImageList(QWidget* parent = nullptr);

  // The frames side by side, frame 0 at the left, all from row 0.
  const TKVBitmap& Picture() const { return picture_; }
  int ImgWidth() const { return imgWidth_; }
  int ImgHeight() const { return imgHeight_; }
  // Fixed-size mode only: re-lays the frames at the new width, or sets the picture's height.
  void SetImgWidth(int value);
  void SetImgHeight(int value);
  int Count() const { return count_; }
  // Stores the value only (as the stored form sets it before the texts); Loaded makes it count.
  void SetCount(int value) { count_ = std::max(value, 0); }
  // Frame sizes in variable-size mode, each a decimal number closed by a comma.
  const QString& VarWidthS() const { return varWidthS_; }
  const QString& VarHeightS() const { return varHeightS_; }
  void SetVarWidthS(const QString& text) { varWidthS_ = text; }
  void SetVarHeightS(const QString& text) { varHeightS_ = text; }
  // Kept for the stored form; 24-bit pictures have no palette.
  bool IgnorePalette = false;

  // Frames keep their own sizes (true after construction), or all are ImgWidth x ImgHeight.
  bool VariableSize() const { return varSize_; }
  void SetVariableSize(bool on);
  // The control takes the size of the first frame.
  bool AutoSizeFrames() const { return autoSize_; }
  void SetAutoSizeFrames(bool on) { autoSize_ = on; }

  // After the stored properties were set: the sizes are parsed from the texts.
  virtual void Loaded();

  // Frame i's rectangle in the picture; empty for an index outside 0 .. Count - 1.
  TRect FrameRect(int i) const;
  void AddFrame(const QImage& graphic);
  void Clear();
  // Frame i at (X, Y) with its own size; nothing for an index outside 0 .. Count - 1.
  void DrawFrame(QPainter& canvas, int x, int i, int y) const;
  void DrawFrame(TKVBitmap& canvas, int x, int i, int y) const;

  // Clears, then one frame per entry number: a negative number adds an empty frame, else the
  // pack's entry is read as a bitmap. Raises for an entry that is no bitmap.
  virtual void LoadFromPack(const std::vector<int>& numbers, TKVResReader& pack);
  // Adds the bitmap resources Prefix + n for n = First .. Last (the frames already there stay).
  // A module is a folder of bitmap resources, "Name.bmp" each (":/..." for built-in ones).
  virtual void LoadFromResources(const QString& module, const QString& prefix, int first, int last);
  // Clears, then one frame per item of the comma text: an empty item adds an empty frame, another
  // the resource of that name, or of the control's object name followed by it when PrefixOwnName.
  virtual void LoadFromResourceList(const QString& module, const QString& commaText, bool prefixOwnName);

  // Takes the frames, flags and texts of Source; the frame size is Source's control size.
  void Assign(const TKVCustomImageList& source);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Rebuild();
  static QImage LoadResource(const QString& module, const QString& name);

  TKVBitmap picture_;
  int imgWidth_ = 100, imgHeight_ = 100;
  int count_ = 0;
  QString varWidthS_, varHeightS_;
  bool varSize_ = true;
  bool autoSize_ = true;
  // Variable-size frames as parsed; frames beyond the texts have no size.
  std::vector<TRect> rects_;
};

// The base of a clock display: its painting, in parts, is left to descendants.
class TCustomClock : public TKVCustomImageList {
  Q_OBJECT
 public:
  using TKVCustomImageList::TKVCustomImageList;

  // Asked by the clock timer. Qt paints only in paint events, so these ask for a repaint, in
  // which PaintDay, PaintMinute and PaintTick run; a display may redraw less.
  virtual void RefreshTick() { update(); }
  virtual void RefreshMinute() { update(); }
  virtual void RefreshDay() { update(); }

 protected:
  virtual void PaintDay(QPainter& canvas) = 0;
  virtual void PaintMinute(QPainter& canvas) = 0;
  virtual void PaintTick(QPainter& canvas) = 0;
  void paintEvent(QPaintEvent* event) override;
};

// Ticks once a second (enabled at creation) and reports a new minute and a new day of the wall
// clock (KVNow). It compares whole dates and minutes, so a minute or a midnight missed while the
// machine slept, or skipped or repeated by a set clock, is still reported on the next tick.
class TClockTimer : public QTimer {
  Q_OBJECT
 public:
  explicit TClockTimer(QObject* parent = nullptr);

  bool Enabled() const { return isActive(); }
  void SetEnabled(bool on);

  // Repainted on ticks, new minutes and new days while visible; forgotten when it is freed.
  TCustomClock* Display() const { return display_; }
  void SetDisplay(TCustomClock* display);

  // The time decoded at the last tick.
  int Hour() const { return hour_; }
  int Minute() const { return minute_; }
  int Second() const { return second_; }
  int MSec() const { return msec_; }

  // A new day (fired before OnMinute of the same tick), and a new minute.
  TEvent<void(TClockTimer* sender)> OnDay;
  TEvent<void(TClockTimer* sender)> OnMinute;

  // One tick (the timer's own handler).
  void Ticker();

 private:
  void Decode();

  QPointer<TCustomClock> display_;
  int hour_ = 0, minute_ = 0, second_ = 0, msec_ = 0;
  qint64 day_ = 0;          // Julian day of the last minute seen
  qint64 minuteOfDay_ = 0;  // and its minute of the day
};
