#pragma once
// The look of a skinned control: which image strip of its skin it uses, an image and colours per
// state, how its face is painted (plain colour, gradient, image), how transparent it is, and for
// windows and panels the window region and the nine-part frame that lets a window image be resized.
// The skinned panel and the skin-filled string list complete the unit.
//
// A control owns its skin data (its published "Skin"); the data refers to the control and is freed
// with it, so it never outlives it. Bad skin values (missing strips, indices beyond the strip,
// inverted or oversized frame rectangles) paint what they can: rectangles are cut to the image, an
// image that is not there paints the state colour, and nothing is ever allocated from a size the
// skin text claims beyond the pixels it has.
#include <QFont>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QString>
#include <memory>
#include <vector>

#include "foundation/KVControls.h"
#include "foundation/KVSkin.h"
#include "foundation/KVString.h"

enum TSkinCtrlState { cstOff, cstOn, cstDisabled, cstOver, cstClicked };
enum TSkinPaintType { ptDefault, ptGradientH, ptGradientV, ptImage, ptImageText, ptCustom };
extern const EnumInfo kSkinCtrlStateEnum;
extern const EnumInfo kSkinPaintTypeEnum;

// A mouse handler of the class library: sender, button, modifier keys, position.
using TMouseEvent = TEvent<void(TPersistent* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;

// Rebinds a binding to the default skin when the skin it is bound to is removed; owners of a
// binding call it from their Notification.
void RebindRemovedSkin(TKVSkinComponentData& Skin, TComponent* Component, TOperation Operation);

// The skin binding of a control: its form text is read into the control; changes repaint it.
class TKVSkinControlData : public TKVSkinComponentData {
  KV_CLASS(TKVSkinControlData)
 public:
  explicit TKVSkinControlData(TKVWidgetComponent& Control);

  TKVWidgetComponent& Control() const { return control_; }
  QWidget& Widget() const { return control_.Widget(); }
  // The control's own name when it is a form, else its owner's name when that is a form.
  QString FormName() const override;
  void SetAppSkin(TAppSkin* skin) override;
  void EndLoad() override;
  void SkinChanged() override { Invalidate(); }
  // Repaints the control unless a text is being applied.
  void Invalidate();

  // Controls moved together when the control is dragged with the left button.
  std::vector<QPointer<QWidget>> LinkedControls;
  // Called when the control is not being dragged.
  TMouseEvent MouseDownHandler, MouseMoveHandler, MouseUpHandler;
  bool Dragging() const { return dragging_; }
  virtual void DoMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
  virtual void DoMouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
  virtual void DoMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);

 private:
  void MoveLinked(int X, int Y);
  TKVWidgetComponent& control_;
  bool dragging_ = false;
  int startX_ = 0, startY_ = 0;
};

// States, images and colours of a control. Published: Transparency (0..100, default 100),
// idxImages (0), idxOff, idxOn, idxDisabled, idxOver, idxClicked (-1), colOff .. colClicked and
// colTOff .. colTClicked (clBtnFace), CtrlState (cstOff), PaintType (ptDefault).
class TKVSkinData : public TKVSkinControlData {
  KV_CLASS(TKVSkinData)
 public:
  // Indices of SetIdx.
  enum { ixImages = 0, ixOff, ixOn, ixDisabled, ixOver, ixClicked, ixRgn, ixImgRgn };

  explicit TKVSkinData(TKVWidgetComponent& Control);

  int Transparency() const { return transparency_; }
  // Clamped to 0..100. Below 100 a panel paints no face and its parent shows through; Qt paints
  // the parent under every child that is not marked opaque, so no style change is needed.
  virtual void SetTransparency(int value);
  // -1 for an index this class does not have.
  virtual int Idx(int index) const;
  virtual void SetIdx(int index, int value);
  int IdxImages() const { return Idx(ixImages); }
  int IdxOff() const { return Idx(ixOff); }
  int IdxOn() const { return Idx(ixOn); }
  int IdxDisabled() const { return Idx(ixDisabled); }
  int IdxOver() const { return Idx(ixOver); }
  int IdxClicked() const { return Idx(ixClicked); }
  // 0..4 colOff .. colClicked, 5..9 colTOff .. colTClicked; clNone beyond.
  TColor Col(int index) const;
  void SetCol(int index, TColor color);
  TColor StateColor(TSkinCtrlState s) const { return Col(int(s)); }
  TColor StateColorT(TSkinCtrlState s) const { return Col(int(s) + 5); }

  TSkinCtrlState CtrlState() const { return ctrlState_; }
  void SetCtrlState(TSkinCtrlState state);
  TSkinPaintType PaintType() const { return paintType_; }
  void SetPaintType(TSkinPaintType type);
  // The state shown: clicked while pressed, else over while hovered, else CtrlState.
  TSkinCtrlState PaintState() const { return paintState_; }
  bool Hover() const { return hover_; }
  void SetHover(bool on);
  bool Pressed() const { return pressed_; }
  void SetPressed(bool on);

  // The image shown for a state (-1: none given), following the fallbacks of each state.
  int StateImage(TSkinCtrlState state) const;
  // The skin's strip idxImages; nullptr when the skin has none of that index.
  TKVBitmapList* Strip() const;
  // The pixels image i of the strip really has: its rectangle cut to the strip's picture, in the
  // image's own coordinates; empty for a bad index.
  static TRect ImageBounds(const TKVBitmapList& strip, int i);

  // Paints the face over Clip (control coordinates); nothing here.
  virtual void Paint(QPainter& Canvas, const TRect& Clip);
  // One step of an animation; true when finished (no animations here).
  virtual bool AnimateStep() { return true; }

 protected:
  void SetPaintState(TSkinCtrlState state);
  void UpdatePaintState();
  // True when the two states show the same image in the same colours.
  bool StatesLookAlike(TSkinCtrlState a, TSkinCtrlState b) const;
  // Paints Clip in the paint state's colour.
  void FillState(QPainter& Canvas, const TRect& Clip) const;

 private:
  int transparency_ = 100;
  int idx_[6] = {0, -1, -1, -1, -1, -1};
  TColor col_[10];
  TSkinCtrlState ctrlState_ = cstOff;
  TSkinPaintType paintType_ = ptDefault;
  TSkinCtrlState paintState_ = cstOff;
  bool hover_ = false, pressed_ = false;
};

// A window's skin: the region cut from an image (strip idxImgRgn, image idxRgn) and the nine-part
// frame (corners and SplitRect, in the image's coordinates; published as "left,top,right,bottom").
class TKVSkinWinData : public TKVSkinData {
  KV_CLASS(TKVSkinWinData)
 public:
  explicit TKVSkinWinData(TKVWidgetComponent& Control);

  int Idx(int index) const override;
  void SetIdx(int index, int value) override;
  int IdxRgn() const { return Idx(ixRgn); }
  int IdxImgRgn() const { return Idx(ixImgRgn); }

  enum TFramePart { fpTLCorner, fpTRCorner, fpBLCorner, fpBRCorner, fpSplitRect };
  const TRect& FrameRect(TFramePart part) const { return frame_[part]; }
  void SetFrameRect(TFramePart part, const TRect& r);
  TRect TLCorner() const { return frame_[fpTLCorner]; }
  TRect TRCorner() const { return frame_[fpTRCorner]; }
  TRect BLCorner() const { return frame_[fpBLCorner]; }
  TRect BRCorner() const { return frame_[fpBRCorner]; }
  TRect SplitRect() const { return frame_[fpSplitRect]; }
  virtual bool Sizeable() const { return false; }

  // The region of image i of strip idxImgRgn, the control's origin at the image's; empty when
  // there is no such image.
  virtual QRegion CreateRegion(int i) const;
  // Cuts the control to CreateRegion(idxRgn), or to its whole rectangle when that is empty.
  virtual void ApplyRegion();
  const QRegion& Region() const { return region_; }
  // Both region indices are set.
  bool RegionWanted() const { return IdxRgn() >= 0 && IdxImgRgn() >= 0; }
  // The strip idxImgRgn; nullptr when the skin has none of that index.
  TKVBitmapList* RegionStrip() const;

  // The nine parts of image bounds (0, 0, W, H) placed on a control of Width x Height: the image
  // rectangle each part is taken from and the control rectangle it goes to. Rectangles of the
  // frame are first cut to the image. Parts: middle, four corners, top, bottom, left, right edge.
  struct TNinePart {
    TRect source, dest;
    bool middle = false;
    bool edge = false, horizontal = false;  // edges tile or stretch along their length
  };
  std::vector<TNinePart> NineParts(int W, int H, int Width, int Height) const;

 protected:
  void AfterLoad() override;

 private:
  int idxRgn_ = -1, idxImgRgn_ = -1;
  TRect frame_[5];
  QRegion region_;
};

// A window or panel that can be sized: with Sizeable the nine-part frame stretches the image to the
// control; Stretch stretches the edges instead of tiling them, BgStretch the middle, and BgColor
// fills the middle with the state colour.
class TKVSkinSizeWinData : public TKVSkinWinData {
  KV_CLASS(TKVSkinSizeWinData)
 public:
  explicit TKVSkinSizeWinData(TKVWidgetComponent& Control);

  bool UserSizeable = false;
  bool Stretch = false;
  bool BgStretch = false;
  bool BgColor = false;
  bool Sizeable() const override { return sizeable_; }
  void SetSizeable(bool on);

  QRegion CreateRegion(int i) const override;
  void Paint(QPainter& Canvas, const TRect& Clip) override;
  virtual void PaintRect(QPainter& Canvas, const TRect& R);

 private:
  bool sizeable_ = false;
};

class TKVSkinPanelData : public TKVSkinSizeWinData {
  KV_CLASS(TKVSkinPanelData)
 public:
  using TKVSkinSizeWinData::TKVSkinSizeWinData;
};

// A string list whose lines come from the skin text (published Lines and Skin).
class TKVSkinStrings : public TKVStrings {
  KV_CLASS(TKVSkinStrings)
 public:
  explicit TKVSkinStrings(TComponent* owner = nullptr);
  ~TKVSkinStrings() override;
  TKVSkinComponentData& Skin() { return *skin_; }
  void Notification(TComponent* component, TOperation operation) override;

 private:
  std::unique_ptr<TKVSkinComponentData> skin_;
};

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TBorderStyle { bsNone, bsSingle };
extern const EnumInfo kBevelCutEnum;
extern const EnumInfo kBorderStyleEnum;
extern const EnumInfo kAlignmentEnum;

// A panel painted from its skin data. Below Transparency 100 it paints no face and its parent's
// background shows through. Published besides the control's: Skin, Caption, Alignment, BevelInner,
// BevelOuter, BevelWidth, BorderWidth, BorderStyle, Color, Font.
class TKVSkinPanel : public TKVCustomControl {
  Q_OBJECT
  KV_CLASS(TKVSkinPanel)
 public:
  explicit TKVSkinPanel(TComponent* owner = nullptr, QWidget* parent = nullptr);
  ~TKVSkinPanel() override;

  TKVSkinPanelData& Skin() { return *skin_; }
  const TKVSkinPanelData& Skin() const { return *skin_; }

  QString Caption;
  TAlignment Alignment = taCenter;
  TBevelCut BevelInner = bvNone;
  TBevelCut BevelOuter = bvRaised;
  int BevelWidth = 1;
  int BorderWidth = 0;
  TBorderStyle BorderStyle = bsNone;
  TColor Color = clBtnFace;
  TFont Font;

  void Notification(TComponent* component, TOperation operation) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  std::unique_ptr<TKVSkinPanelData> skin_;
};
