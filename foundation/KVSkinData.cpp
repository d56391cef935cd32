#include "foundation/KVSkinData.h"

#include <QBrush>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QTransform>
#include <algorithm>

#include "foundation/KVForms.h"
#include "foundation/KVGraphics.h"

const EnumInfo kSkinCtrlStateEnum{QStringLiteral("TSkinCtrlState"),
                                  {QStringLiteral("cstOff"), QStringLiteral("cstOn"), QStringLiteral("cstDisabled"),
                                   QStringLiteral("cstOver"), QStringLiteral("cstClicked")}};
const EnumInfo kSkinPaintTypeEnum{QStringLiteral("TSkinPaintType"),
                                  {QStringLiteral("ptDefault"), QStringLiteral("ptGradientH"),
                                   QStringLiteral("ptGradientV"), QStringLiteral("ptImage"),
                                   QStringLiteral("ptImageText"), QStringLiteral("ptCustom")}};
const EnumInfo kBevelCutEnum{QStringLiteral("TBevelCut"),
                             {QStringLiteral("bvNone"), QStringLiteral("bvLowered"), QStringLiteral("bvRaised"),
                              QStringLiteral("bvSpace")}};
const EnumInfo kBorderStyleEnum{QStringLiteral("TBorderStyle"), {QStringLiteral("bsNone"), QStringLiteral("bsSingle")}};
const EnumInfo kAlignmentEnum{QStringLiteral("TAlignment"),
                              {QStringLiteral("taLeftJustify"), QStringLiteral("taRightJustify"),
                               QStringLiteral("taCenter")}};

namespace {

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

// The part of r inside bounds; (0, 0, 0, 0) when nothing is.
TRect CutTo(const TRect& r, const TRect& bounds) {
  TRect out;
  if (!IntersectRects(out, r, bounds) || RectIsEmpty(out)) return TRect{};
  return out;
}

TKVBitmapList* SkinStrip(const TAppSkin* skin, int index) { return skin ? skin->Images.Items(index) : nullptr; }

}  // namespace

void RebindRemovedSkin(TKVSkinComponentData& Skin, TComponent* Component, TOperation Operation) {
  if (Operation == TOperation::opRemove && Component && Component == Skin.AppSkin()) Skin.SetAppSkin(&DefaultSkin());
}

// ---------------------------------------------------------------------------------------------
// TKVSkinControlData

const ClassInfo& TKVSkinControlData::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TKVSkinControlData>("TKVSkinControlData", &TKVSkinComponentData::StaticClass()).Build();
  return ci;
}

TKVSkinControlData::TKVSkinControlData(TKVWidgetComponent& Control)
    : TKVSkinComponentData(&Control), control_(Control) {}

QString TKVSkinControlData::FormName() const {
  if (control_.IsForm()) return control_.Name();
  const TComponent* owner = control_.Owner();
  return owner && owner->IsForm() ? owner->Name() : QString();
}

void TKVSkinControlData::SetAppSkin(TAppSkin* skin) {
  if (skin == AppSkin()) return;
  TKVSkinComponentData::SetAppSkin(skin);
  Invalidate();
}

void TKVSkinControlData::EndLoad() {
  TKVSkinComponentData::EndLoad();
  Invalidate();
}

void TKVSkinControlData::Invalidate() {
  if (!Loading()) Widget().update();
}

void TKVSkinControlData::DoMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
  // The widget has the mouse until the button is released (Qt's implicit grab on a press).
  if (Button == Qt::LeftButton && !LinkedControls.empty()) {
    dragging_ = true;
    startX_ = X;
    startY_ = Y;
    return;
  }
  MouseDownHandler(&control_, Button, Shift, X, Y);
}

void TKVSkinControlData::DoMouseMove(Qt::KeyboardModifiers Shift, int X, int Y) {
  if (dragging_) MoveLinked(X, Y);
  else MouseMoveHandler(&control_, Qt::NoButton, Shift, X, Y);
}

void TKVSkinControlData::DoMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
  if (!dragging_) {
    MouseUpHandler(&control_, Button, Shift, X, Y);
    return;
  }
  dragging_ = false;
  MoveLinked(X, Y);
}

void TKVSkinControlData::MoveLinked(int X, int Y) {
  for (const QPointer<QWidget>& w : LinkedControls)
    if (w) w->move(w->x() - (startX_ - X), w->y() - (startY_ - Y));
}

// ---------------------------------------------------------------------------------------------
// TKVSkinData

const ClassInfo& TKVSkinData::StaticClass() {
  using D = TKVSkinData;
  const auto idx = [](int i) {
    return std::make_pair([i](const D& d) { return d.Idx(i); }, [i](D& d, int v) { d.SetIdx(i, v); });
  };
  const auto col = [](int i) {
    return std::make_pair([i](const D& d) { return d.Col(i); }, [i](D& d, TColor v) { d.SetCol(i, v); });
  };
  ClassBuilder<D> b("TKVSkinData", &TKVSkinControlData::StaticClass());
  b.Int("Transparency", [](const D& d) { return d.Transparency(); }, [](D& d, int v) { d.SetTransparency(v); }, 100)
      .Range(0, 100);
  const char* idxNames[] = {"idxImages", "idxOff", "idxOn", "idxDisabled", "idxOver", "idxClicked"};
  for (int i = 0; i < 6; ++i) {
    const auto [get, set] = idx(i);
    b.Int(idxNames[i], get, set, i == 0 ? 0 : -1);
  }
  const char* colNames[] = {"colOff",  "colOn",  "colDisabled",  "colOver",  "colClicked",
                            "colTOff", "colTOn", "colTDisabled", "colTOver", "colTClicked"};
  for (int i = 0; i < 10; ++i) {
    const auto [get, set] = col(i);
    b.Color(colNames[i], get, set, clBtnFace);
  }
  b.Enum<TSkinCtrlState>("CtrlState", kSkinCtrlStateEnum, [](const D& d) { return d.CtrlState(); },
                         [](D& d, TSkinCtrlState v) { d.SetCtrlState(v); }, cstOff)
      .Enum<TSkinPaintType>("PaintType", kSkinPaintTypeEnum, [](const D& d) { return d.PaintType(); },
                            [](D& d, TSkinPaintType v) { d.SetPaintType(v); }, ptDefault);
  static const ClassInfo ci = b.Build();
  return ci;
}

TKVSkinData::TKVSkinData(TKVWidgetComponent& Control) : TKVSkinControlData(Control) {
  std::fill(std::begin(col_), std::end(col_), clBtnFace);
}

void TKVSkinData::SetTransparency(int value) {
  value = std::clamp(value, 0, 100);
  if (value == transparency_) return;
  transparency_ = value;
  Invalidate();
}

int TKVSkinData::Idx(int index) const { return index >= 0 && index < 6 ? idx_[index] : -1; }

void TKVSkinData::SetIdx(int index, int value) {
  if (index >= 0 && index < 6) idx_[index] = value;
  UpdatePaintState();
  Invalidate();
}

TColor TKVSkinData::Col(int index) const { return index >= 0 && index < 10 ? col_[index] : clNone; }

void TKVSkinData::SetCol(int index, TColor color) {
  if (index < 0 || index >= 10) return;
  col_[index] = color;
  Invalidate();
}

void TKVSkinData::SetCtrlState(TSkinCtrlState state) {
  if (state < cstOff || state > cstClicked || state == ctrlState_) return;
  ctrlState_ = state;
  UpdatePaintState();
}

void TKVSkinData::SetPaintType(TSkinPaintType type) {
  if (type < ptDefault || type > ptCustom) return;
  paintType_ = type;
  Invalidate();
}

void TKVSkinData::SetHover(bool on) {
  if (on == hover_) return;
  hover_ = on;
  UpdatePaintState();
}

void TKVSkinData::SetPressed(bool on) {
  if (on == pressed_) return;
  pressed_ = on;
  UpdatePaintState();
}

void TKVSkinData::UpdatePaintState() { SetPaintState(pressed_ ? cstClicked : hover_ ? cstOver : ctrlState_); }

void TKVSkinData::SetPaintState(TSkinCtrlState state) {
  if (state == paintState_) return;
  const TSkinCtrlState old = paintState_;
  paintState_ = state;
  if (!StatesLookAlike(old, state)) Invalidate();
}

bool TKVSkinData::StatesLookAlike(TSkinCtrlState a, TSkinCtrlState b) const {
  // The colours count too: a plain or gradient face shows them even where the images agree.
  return StateImage(a) == StateImage(b) && StateColor(a) == StateColor(b) && StateColorT(a) == StateColorT(b);
}

int TKVSkinData::StateImage(TSkinCtrlState state) const {
  const auto given = [this](int i) { return Idx(i) >= 0; };
  switch (state) {
    case cstOff: return IdxOff();
    case cstOn: return given(ixOn) ? IdxOn() : given(ixClicked) ? IdxClicked() : IdxOff();
    case cstDisabled: return given(ixDisabled) ? IdxDisabled() : IdxOff();
    case cstOver: return given(ixOver) ? IdxOver() : IdxOff();
    case cstClicked: return given(ixClicked) ? IdxClicked() : given(ixOver) ? IdxOver() : StateImage(cstOn);
  }
  return -1;
}

TKVBitmapList* TKVSkinData::Strip() const { return SkinStrip(AppSkin(), IdxImages()); }

TRect TKVSkinData::ImageBounds(const TKVBitmapList& strip, int i) {
  if (!strip.IsIndex(i)) return TRect{};
  const TRect r = strip.EntryRect(i);
  // Sizes the strip's texts claim beyond its picture are not there.
  const TRect inPicture = CutTo(r, GraphicBounds(strip.Picture()));
  if (RectIsEmpty(inPicture)) return TRect{};
  return TRect{0, 0, inPicture.Right - r.Left, inPicture.Bottom - r.Top};
}

void TKVSkinData::Paint(QPainter&, const TRect&) {}

void TKVSkinData::FillState(QPainter& Canvas, const TRect& Clip) const {
  if (!RectIsEmpty(Clip)) Canvas.fillRect(ToQRect(Clip), ToQColor(StateColor(paintState_)));
}

// ---------------------------------------------------------------------------------------------
// TKVSkinWinData

const ClassInfo& TKVSkinWinData::StaticClass() {
  using D = TKVSkinWinData;
  const auto rect = [](TFramePart p) {
    return std::make_pair([p](const D& d) { return RectToStr(d.FrameRect(p)); },
                          [p](D& d, const QString& v) { d.SetFrameRect(p, StrToRect(v)); });
  };
  ClassBuilder<D> b("TKVSkinWinData", &TKVSkinData::StaticClass());
  b.Int("idxRgn", [](const D& d) { return d.IdxRgn(); }, [](D& d, int v) { d.SetIdx(ixRgn, v); }, -1)
      .Int("idxImgRgn", [](const D& d) { return d.IdxImgRgn(); }, [](D& d, int v) { d.SetIdx(ixImgRgn, v); }, -1);
  const char* names[] = {"TLCorner", "TRCorner", "BLCorner", "BRCorner", "SplitRect"};
  for (int i = 0; i < 5; ++i) {
    const auto [get, set] = rect(TFramePart(i));
    b.Str(names[i], get, set);
  }
  static const ClassInfo ci = b.Build();
  return ci;
}

TKVSkinWinData::TKVSkinWinData(TKVWidgetComponent& Control) : TKVSkinData(Control) {}

int TKVSkinWinData::Idx(int index) const {
  if (index == ixRgn) return idxRgn_;
  if (index == ixImgRgn) return idxImgRgn_;
  return TKVSkinData::Idx(index);
}

void TKVSkinWinData::SetIdx(int index, int value) {
  TKVSkinData::SetIdx(index, value);
  int* slot = index == ixRgn ? &idxRgn_ : index == ixImgRgn ? &idxImgRgn_ : nullptr;
  if (!slot || *slot == value) return;
  *slot = value;
  if (!Loading()) ApplyRegion();  // after loading, AfterLoad applies it once
}

void TKVSkinWinData::SetFrameRect(TFramePart part, const TRect& r) {
  if (part < fpTLCorner || part > fpSplitRect) return;
  frame_[part] = r;
  if (!Loading() && RegionWanted()) ApplyRegion();
  Invalidate();
}

TKVBitmapList* TKVSkinWinData::RegionStrip() const { return SkinStrip(AppSkin(), IdxImgRgn()); }

void TKVSkinWinData::AfterLoad() {
  if (!Sizeable()) {
    if (const TKVBitmapList* strip = Strip(); strip && IdxOff() >= 0) {
      const TRect img = ImageBounds(*strip, IdxOff());
      if (!RectIsEmpty(img)) Widget().resize(img.Right, img.Bottom);
    }
  }
  if (RegionWanted()) ApplyRegion();
}

std::vector<TKVSkinWinData::TNinePart> TKVSkinWinData::NineParts(int W, int H, int Width, int Height) const {
  const TRect img{0, 0, std::max(W, 0), std::max(H, 0)};
  const TRect S = CutTo(SplitRect(), img), TL = CutTo(TLCorner(), img), TR = CutTo(TRCorner(), img),
              BL = CutTo(BLCorner(), img), BR = CutTo(BRCorner(), img);
  const int dx = Width - img.Right, dy = Height - img.Bottom;
  std::vector<TNinePart> parts;
  const auto add = [&parts](const TRect& source, const TRect& dest, bool edge, bool horizontal) {
    if (!RectIsEmpty(source) && !RectIsEmpty(dest)) parts.push_back(TNinePart{source, dest, false, edge, horizontal});
  };
  add(S, TRect{S.Left, S.Top, S.Right + dx, S.Bottom + dy}, false, false);
  if (!parts.empty()) parts.front().middle = true;
  add(TL, TL, false, false);
  add(TR, OffsetRectBy(TR, dx, 0), false, false);
  add(BL, OffsetRectBy(BL, 0, dy), false, false);
  add(BR, OffsetRectBy(BR, dx, dy), false, false);
  // Edges: a corner's inner side of 0 means the edge runs to the image's (control's) end.
  add(TRect{TL.Right, 0, TR.Left ? TR.Left : img.Right, S.Top},
      TRect{TL.Right, 0, TR.Left ? TR.Left + dx : Width, S.Top}, true, true);
  add(TRect{BL.Right, S.Bottom, BR.Left ? BR.Left : img.Right, img.Bottom},
      TRect{BL.Right, S.Bottom + dy, BR.Left ? BR.Left + dx : Width, Height}, true, true);
  add(TRect{0, TL.Bottom, S.Left, BL.Top ? BL.Top : img.Bottom},
      TRect{0, TL.Bottom, S.Left, BL.Top ? BL.Top + dy : Height}, true, false);
  add(TRect{S.Right, TR.Bottom, img.Right, BR.Top ? BR.Top : img.Bottom},
      TRect{S.Right + dx, TR.Bottom, Width, BR.Top ? BR.Top + dy : Height}, true, false);
  return parts;
}

QRegion TKVSkinWinData::CreateRegion(int i) const {
  const TKVBitmapList* strip = RegionStrip();
  if (i < 0 || !strip) return QRegion();
  const TRect img = ImageBounds(*strip, i);
  if (RectIsEmpty(img)) return QRegion();
  if (RectIsEmpty(CutTo(SplitRect(), img))) return strip->ImageRegion(i, 0, 0);
  // The middle whole, the corners and edges by their shown pixels, all where they lie in the image.
  QRegion region;
  for (const TNinePart& p : NineParts(img.Right, img.Bottom, img.Right, img.Bottom))
    region += p.middle ? QRegion(ToQRect(p.source)) : strip->ImagePartRegion(i, 0, 0, p.source);
  return region;
}

void TKVSkinWinData::ApplyRegion() {
  QWidget& w = Widget();
  if (!RegionWanted()) {
    region_ = QRegion();
    w.clearMask();
    return;
  }
  region_ = CreateRegion(IdxRgn());
  if (region_.isEmpty()) region_ = QRegion(0, 0, w.width(), w.height());
  w.setMask(region_);
}

// ---------------------------------------------------------------------------------------------
// TKVSkinSizeWinData

const ClassInfo& TKVSkinSizeWinData::StaticClass() {
  using D = TKVSkinSizeWinData;
  static const ClassInfo ci =
      ClassBuilder<D>("TKVSkinSizeWinData", &TKVSkinWinData::StaticClass())
          .Bool("UserSizeable", &D::UserSizeable, false)
          .Bool("Sizeable", [](const D& d) { return d.Sizeable(); }, [](D& d, bool v) { d.SetSizeable(v); }, false)
          .Bool("Stretch", [](const D& d) { return d.Stretch; },
                [](D& d, bool v) {
                  d.Stretch = v;
                  d.Invalidate();
                },
                false)
          .Bool("BgStretch", [](const D& d) { return d.BgStretch; },
                [](D& d, bool v) {
                  d.BgStretch = v;
                  d.Invalidate();
                },
                false)
          .Bool("BgColor", [](const D& d) { return d.BgColor; },
                [](D& d, bool v) {
                  d.BgColor = v;
                  d.Invalidate();
                },
                false)
          .Build();
  return ci;
}

TKVSkinSizeWinData::TKVSkinSizeWinData(TKVWidgetComponent& Control) : TKVSkinWinData(Control) {}

void TKVSkinSizeWinData::SetSizeable(bool on) {
  sizeable_ = on;
  Invalidate();
}

QRegion TKVSkinSizeWinData::CreateRegion(int i) const {
  const TKVBitmapList* strip = RegionStrip();
  const TRect img = strip && i >= 0 ? ImageBounds(*strip, i) : TRect{};
  if (!Sizeable() || RectIsEmpty(img) || RectIsEmpty(CutTo(SplitRect(), img))) return TKVSkinWinData::CreateRegion(i);
  const QWidget& w = Widget();
  const std::vector<TNinePart> parts = NineParts(img.Right, img.Bottom, w.width(), w.height());
  const TKVBitmap& mask = strip->Mask();
  const int left = strip->EntryRect(i).Left;
  QRegion region;
  for (const TNinePart& p : parts) {
    if (p.middle) {
      region += ToQRect(p.dest);  // the middle is whole
    } else if (!p.edge) {
      region += strip->ImagePartRegion(i, p.dest.Left - p.source.Left, p.dest.Top - p.source.Top, p.source);
    } else if (mask.Empty()) {
      region += ToQRect(p.dest);  // without a transparent colour every pixel is shown
    } else if (Stretch) {
      // The band's mask at the band's placed size; bounded by the control, not by the skin text.
      const QImage part = mask.Image().copy(ToQRect(OffsetRectBy(p.source, left, 0)));
      const TKVBitmap scaled(part.scaled(p.dest.Width(), p.dest.Height(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
      region += BitmapRegionWhole(scaled, p.dest.Left, p.dest.Top);
    } else {
      const QRegion unit = strip->ImagePartRegion(i, -p.source.Left, -p.source.Top, p.source);
      const int step = p.horizontal ? p.source.Width() : p.source.Height();
      const int length = p.horizontal ? p.dest.Width() : p.dest.Height();
      QRegion band;
      for (int at = 0; at < length; at += step)
        band += unit.translated(p.dest.Left + (p.horizontal ? at : 0), p.dest.Top + (p.horizontal ? 0 : at));
      region += band & ToQRect(p.dest);
    }
  }
  return region;
}

void TKVSkinSizeWinData::Paint(QPainter& Canvas, const TRect& Clip) {
  if (!RectIsEmpty(Clip)) PaintRect(Canvas, Clip);
}

void TKVSkinSizeWinData::PaintRect(QPainter& Canvas, const TRect& R) {
  const QWidget& w = Widget();
  const TSkinCtrlState ps = PaintState();
  switch (PaintType()) {
    case ptCustom: return;
    case ptDefault: FillState(Canvas, R); return;
    case ptGradientH:
    case ptGradientV: {
      if (w.width() <= 0 || w.height() <= 0) return;
      // The gradient runs along one side only: one line of it, drawn across R.
      const bool vertical = PaintType() == ptGradientV;
      TKVBitmap line(vertical ? 1 : w.width(), vertical ? w.height() : 1);
      GradientFill(line, StateColor(ps), StateColorT(ps), vertical);
      const QRect source = vertical ? QRect(0, R.Top, 1, R.Height()) : QRect(R.Left, 0, R.Width(), 1);
      Canvas.drawImage(ToQRect(R), line.Image(), source);
      return;
    }
    case ptImage:
    case ptImageText: break;
  }
  const TKVBitmapList* strip = Strip();
  const int e = StateImage(ps);
  const TRect img = strip ? ImageBounds(*strip, e) : TRect{};
  if (RectIsEmpty(img)) {
    FillState(Canvas, R);  // no image to show: the state's colour rather than nothing
    return;
  }
  const TRect split = CutTo(SplitRect(), img);
  if (!Sizeable() || (w.width() == img.Right && w.height() == img.Bottom) || RectIsEmpty(split)) {
    const TRect part = CutTo(R, img);
    if (!RectIsEmpty(part)) strip->CopyPart(Canvas, part, e, part);
    return;
  }
  const int left = strip->EntryRect(e).Left;
  const std::vector<TNinePart> parts = NineParts(img.Right, img.Bottom, w.width(), w.height());
  if (BgColor) FillState(Canvas, R);  // the middle in the state's colour, under the frame
  for (const TNinePart& p : parts) {
    if (p.middle && BgColor) continue;
    TRect clip;
    if (!IntersectRects(clip, p.dest, R) || RectIsEmpty(clip)) continue;
    Canvas.save();
    Canvas.setClipRect(ToQRect(clip), Qt::IntersectClip);
    const bool stretch = p.middle ? BgStretch : p.edge ? Stretch : true;
    if (stretch) {
      strip->CopyPart(Canvas, p.dest, e, p.source);  // corners copy at their own size
    } else {
      // Tiles from the part's placed start, as far as the clip reaches.
      QBrush tile(strip->Picture().Image().copy(ToQRect(OffsetRectBy(p.source, left, 0))));
      tile.setTransform(QTransform::fromTranslate(p.dest.Left, p.dest.Top));
      Canvas.fillRect(ToQRect(clip), tile);
    }
    Canvas.restore();
  }
}

const ClassInfo& TKVSkinPanelData::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TKVSkinPanelData>("TKVSkinPanelData", &TKVSkinSizeWinData::StaticClass()).Build();
  return ci;
}

// ---------------------------------------------------------------------------------------------
// TKVSkinStrings

const ClassInfo& TKVSkinStrings::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVSkinStrings>("TKVSkinStrings", &TKVStrings::StaticClass())
                                  .Obj("Skin", [](TKVSkinStrings& s) -> TPersistent* { return s.skin_.get(); })
                                  .Build();
  return ci;
}

TKVSkinStrings::TKVSkinStrings(TComponent* owner)
    : TKVStrings(owner), skin_(std::make_unique<TKVSkinComponentData>(this)) {}

TKVSkinStrings::~TKVSkinStrings() {
  Destroying();
  skin_.reset();
}

void TKVSkinStrings::Notification(TComponent* component, TOperation operation) {
  TKVStrings::Notification(component, operation);
  if (skin_) RebindRemovedSkin(*skin_, component, operation);
}

// ---------------------------------------------------------------------------------------------
// TKVSkinPanel

const ClassInfo& TKVSkinPanel::StaticClass() {
  using P = TKVSkinPanel;
  static const ClassInfo ci =
      ClassBuilder<P>("TKVSkinPanel", &TKVWidgetComponent::StaticClass())
          .Obj("Skin", [](P& p) -> TPersistent* { return p.skin_.get(); })
          .Enum<TAlignment>("Alignment", kAlignmentEnum, [](const P& p) { return p.Alignment; },
                            [](P& p, TAlignment v) {
                              p.Alignment = v;
                              p.update();
                            },
                            taCenter)
          .Enum<TBevelCut>("BevelInner", kBevelCutEnum, [](const P& p) { return p.BevelInner; },
                           [](P& p, TBevelCut v) {
                             p.BevelInner = v;
                             p.update();
                           },
                           bvNone)
          .Enum<TBevelCut>("BevelOuter", kBevelCutEnum, [](const P& p) { return p.BevelOuter; },
                           [](P& p, TBevelCut v) {
                             p.BevelOuter = v;
                             p.update();
                           },
                           bvRaised)
          .Int("BevelWidth", [](const P& p) { return p.BevelWidth; },
               [](P& p, int v) {
                 p.BevelWidth = v;
                 p.update();
               },
               1)
          .Range(1, 1000)
          .Int("BorderWidth", [](const P& p) { return p.BorderWidth; },
               [](P& p, int v) {
                 p.BorderWidth = v;
                 p.update();
               },
               0)
          .Range(0, 1000)
          .Enum<TBorderStyle>("BorderStyle", kBorderStyleEnum, [](const P& p) { return p.BorderStyle; },
                              [](P& p, TBorderStyle v) {
                                p.BorderStyle = v;
                                p.update();
                              },
                              bsNone)
          .Str("Caption", [](const P& p) { return p.Caption; },
               [](P& p, const QString& v) {
                 p.Caption = v;
                 p.update();
               })
          .Color("Color", [](const P& p) { return p.Color; },
                 [](P& p, TColor v) {
                   p.Color = v;
                   p.update();
                 },
                 clBtnFace)
          .Obj("Font", [](P& p) -> TPersistent* { return &p.Font; })
          .Build();
  return ci;
}

TKVSkinPanel::TKVSkinPanel(TComponent* owner, QWidget* parent)
    : TKVCustomControl(owner, parent), skin_(std::make_unique<TKVSkinPanelData>(*this)) {
  setMouseTracking(true);
}

TKVSkinPanel::~TKVSkinPanel() {
  // What the panel owns goes while the panel and its skin data are whole.
  FreeComponents();
  skin_.reset();
}

void TKVSkinPanel::Notification(TComponent* component, TOperation operation) {
  TKVCustomControl::Notification(component, operation);
  if (skin_) RebindRemovedSkin(*skin_, component, operation);
}

namespace {

// The class library's Frame3D: Width rings, top and left in Top, bottom and right in Bottom, each
// ring one pixel inside the last; r shrinks by what was drawn.
void Frame3D(QPainter& p, TRect& r, TColor top, TColor bottom, int width) {
  const QColor t = ToQColor(top), b = ToQColor(bottom);
  for (int k = 0; k < width && r.Width() >= 1 && r.Height() >= 1; ++k) {
    p.fillRect(QRect(r.Left, r.Top, r.Width(), 1), t);
    p.fillRect(QRect(r.Left, r.Top, 1, r.Height()), t);
    p.fillRect(QRect(r.Left, r.Bottom - 1, r.Width(), 1), b);
    p.fillRect(QRect(r.Right - 1, r.Top, 1, r.Height()), b);
    r = InflateRectBy(r, -1, -1);
  }
}

}  // namespace

void TKVSkinPanel::paintEvent(QPaintEvent* event) {
  RunGuarded([&] {
    QPainter p(this);
    const QRect c = event->rect();
    if (skin_->Transparency() == 100) skin_->Paint(p, TRect{c.left(), c.top(), c.right() + 1, c.bottom() + 1});
    TRect r{0, 0, width(), height()};
    const bool plain = skin_->PaintType() == ptDefault;
    const TColor light = plain ? clBtnHighlight : BlendColors(skin_->Col(0), clWhite, 0.5f);
    const TColor dark = plain ? clBtnShadow : BlendColors(skin_->Col(0), clBlack, 0.5f);
    const auto bevel = [&](TBevelCut cut) {
      if (cut == bvLowered) Frame3D(p, r, dark, light, BevelWidth);
      else Frame3D(p, r, light, dark, BevelWidth);
    };
    if (BevelOuter != bvNone) bevel(BevelOuter);
    Frame3D(p, r, Color, Color, BorderWidth);
    if (BevelInner != bvNone) bevel(BevelInner);
    if (Caption.isEmpty() || RectIsEmpty(r)) return;
    const QFont font = Font.ToQFont();
    const int h = QFontMetrics(font).height();
    const int top = (r.Top + r.Bottom - h) / 2;
    const Qt::Alignment align = Alignment == taLeftJustify    ? Qt::AlignLeft
                                : Alignment == taRightJustify ? Qt::AlignRight
                                                              : Qt::AlignHCenter;
    p.setFont(font);
    p.setPen(ToQColor(Font.Color));
    p.drawText(QRect(r.Left, top, r.Width(), h), int(align | Qt::AlignVCenter | Qt::TextExpandTabs), Caption);
  });
}

void TKVSkinPanel::resizeEvent(QResizeEvent* event) {
  TKVCustomControl::resizeEvent(event);
  // A region cut for the old size would clip the resized panel.
  if (skin_->RegionWanted()) skin_->ApplyRegion();
}

void TKVSkinPanel::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  RunGuarded([&] { skin_->DoMouseDown(event->button(), event->modifiers(), at.x(), at.y()); });
}

void TKVSkinPanel::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  RunGuarded([&] { skin_->DoMouseMove(event->modifiers(), at.x(), at.y()); });
}

void TKVSkinPanel::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  RunGuarded([&] { skin_->DoMouseUp(event->button(), event->modifiers(), at.x(), at.y()); });
}
