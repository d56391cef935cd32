#include "controls/KVSkinExtCtrls.h"

#include <QColor>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "controls/KVStdCtrls.h"
#include "foundation/KVForms.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVTextHelper.h"

namespace {

std::uint8_t& ChannelOf(TRGBTriple& t, int channel) {
  return channel == 0 ? t.rgbtRed : channel == 1 ? t.rgbtGreen : t.rgbtBlue;
}
std::uint8_t ChannelOf(const TRGBTriple& t, int channel) {
  return channel == 0 ? t.rgbtRed : channel == 1 ? t.rgbtGreen : t.rgbtBlue;
}

TRGBTriple TripleOf(TPixelValue v) {
  return TRGBTriple{std::uint8_t(v & 0xFF), std::uint8_t((v >> 8) & 0xFF), std::uint8_t((v >> 16) & 0xFF)};
}

bool SameTriple(const TRGBTriple& a, const TRGBTriple& b) { return PixelValue(a) == PixelValue(b); }

// The colour field's bitmap is never larger than this; a larger field shows it stretched.
constexpr qint64 kMaxSwatchPixels = 4096LL * 1024;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TKVRGBSlider

TKVRGBSlider::TKVRGBSlider(QWidget* parent) : QWidget(parent) {}

void TKVRGBSlider::SetSliderColor(TRGBEnum kind) {
  if (kind == sliderColor_) return;
  sliderColor_ = kind;
  update();
}

int TKVRGBSlider::Channel() const { return HasChannel() ? ChannelOf(triple_, int(sliderColor_)) : 0; }

void TKVRGBSlider::SetValue(TPixelValue value) {
  const TRGBTriple t = TripleOf(value);
  const int w = width(), h = height();
  if (HasChannel()) {
    const int own = int(sliderColor_);
    if (ChannelOf(t, own) != ChannelOf(triple_, own)) update(0, h - 6, w, 6);
    for (int c = 0; c < 3; ++c)
      if (c != own && ChannelOf(t, c) != ChannelOf(triple_, c)) update(5, 2, w - 10, h - 10);
  }
  triple_ = t;
}

int TKVRGBSlider::MarkerX(int value) const {
  return RoundHalfEven(double(width() - 10) / 256.0 * value) + 5;
}

int TKVRGBSlider::ValueAt(int x) const {
  const int span = width() - 10;
  if (span <= 0) return 0;
  return std::clamp(RoundHalfEven(double(x - 5) / double(span) * 256.0), 0, 255);
}

void TKVRGBSlider::SetChannelFromX(int x) {
  if (!HasChannel()) return;
  const int v = ValueAt(x);
  std::uint8_t& c = ChannelOf(triple_, int(sliderColor_));
  if (c == v) return;
  c = std::uint8_t(v);
  update(0, height() - 6, width(), 6);
  OnChange(this);
}

void TKVRGBSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int w = width(), h = height();
  p.fillRect(rect(), ToQColor(clBtnFace));
  if (w > 10 && h > 10) {
    TKVBitmap work(w - 10, h - 10);
    work.BrushColor = clBtnFace;
    work.FillRect(GraphicBounds(work));
    if (HasChannel()) {
      TRGBTriple from = triple_, to = triple_;
      ChannelOf(from, int(sliderColor_)) = 0;
      ChannelOf(to, int(sliderColor_)) = 255;
      GradientFill(work, SwapRB(PixelValue(from)), SwapRB(PixelValue(to)), false);
    }
    p.drawImage(5, 2, work.Image());
  }
  p.setPen(Qt::NoPen);
  const QRect frame(QPoint(4, 1), QPoint(w - 5, h - 8));
  if (frame.isValid()) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QColor(Qt::black));
    p.drawRect(frame.adjusted(0, 0, -1, -1));
  }
  DrawFrame3D(p, QRect(QPoint(3, 0), QPoint(w - 4, h - 7)), clBtnShadow, clBtnHighlight);
  if (HasChannel()) {
    const int x = MarkerX(Channel());
    p.setPen(ToQColor(isEnabled() ? clBtnText : clGrayText));
    const QPoint tip(x, h - 6);
    const QPoint marker[] = {tip, QPoint(x - 5, h - 1), QPoint(x + 5, h - 1), tip};
    p.drawPolyline(marker, 4);
  }
}

void TKVRGBSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !HasChannel()) return;
  const QPoint pos = event->position().toPoint();
  const int x0 = MarkerX(Channel()) - 5, h = height();
  // Only the marker itself starts a drag.
  if (PointInRect(TRect{x0, h - 8, x0 + 11, h}, TPoint{pos.x(), pos.y()})) dragging_ = true;
}

// A double click counts as a second press.
void TKVRGBSlider::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void TKVRGBSlider::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  const int x = event->position().toPoint().x();
  RunGuarded([&] { SetChannelFromX(x); });
}

void TKVRGBSlider::mouseReleaseEvent(QMouseEvent* event) {
  // Another button's release changes nothing (it may open a context menu).
  if (event->button() != Qt::LeftButton) return;
  dragging_ = false;
  const int x = event->position().toPoint().x();
  RunGuarded([&] { SetChannelFromX(x); });
}

void TKVRGBSlider::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    dragging_ = false;
    update();
  }
}

// ---------------------------------------------------------------------------------------------
// Colour field

QImage ColorSwatchImage(int width, int height) {
  if (width < 1 || height < 1 || qint64(width) * height > kMaxSwatchPixels) return QImage();
  QImage img(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    const double light = height == 1 ? 0.5 : 1.0 - double(y) / double(height - 1);
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const double hue = double(x) / double(width);
      row[x] = QColor::fromHslF(float(hue), 1.0f, float(light)).rgb();
    }
  }
  return img;
}

// ---------------------------------------------------------------------------------------------
// TKVSkinColorPicker

const ClassInfo& TKVSkinColorPicker::StaticClass() {
  using P = TKVSkinColorPicker;
  static const ClassInfo ci = ClassBuilder<P>("TKVSkinColorPicker", &TKVWidgetComponent::StaticClass())
                                  .Obj("Skin", [](P& p) -> TPersistent* { return p.skin_.get(); })
                                  .Color("Color", [](const P& p) { return p.Color(); },
                                         [](P& p, TColor v) { p.SetColor(v); })
                                  .Event("OnChange", &P::OnChange)
                                  .Build();
  return ci;
}

TKVSkinColorPicker::TKVSkinColorPicker(TComponent* owner, QWidget* parent)
    : TKVCustomControl(owner, parent), skin_(std::make_unique<TKVSkinData>(*this)), swatch_(new TKVImage(this)) {
  static const char* const kEdits[] = {"RedEdit", "GreenEdit", "BlueEdit"};
  static const char* const kSliders[] = {"RedSlider", "GreenSlider", "BlueSlider"};
  swatch_->setObjectName(QStringLiteral("Swatch"));
  swatch_->SetStretch(true);
  swatch_->setCursor(CursorOf(crPick));
  swatch_->OnMouseMove.Set([this](TKVImage*, Qt::MouseButtons buttons, int x, int y) {
    if (buttons & Qt::LeftButton) SwatchPick(x, y);
  });
  swatch_->OnMouseUp.Set([this](TKVImage*, Qt::MouseButton button, int x, int y) {
    if (button == Qt::LeftButton) SwatchPick(x, y);
  });
  for (int c = 0; c < 3; ++c) {
    auto* e = new QLineEdit(QStringLiteral("0"), this);
    e->setObjectName(QLatin1String(kEdits[c]));
    e->setMaxLength(3);
    connect(e, &QLineEdit::textEdited, this, Guarded([this, c] { FieldChange(c); }));
    edits_[c] = e;
    auto* s = new TKVRGBSlider(this);
    s->setObjectName(QLatin1String(kSliders[c]));
    s->SetSliderColor(TRGBEnum(c));
    s->OnChange.Set([this](TKVRGBSlider* sender) { SliderChange(sender); });
    sliders_[c] = s;
  }
  swatchPicture_ = QImage();
  resize(240, 105);
  Relayout();
}

TKVSkinColorPicker::~TKVSkinColorPicker() {
  // What the picker owns goes while the picker and its skin data are whole.
  FreeComponents();
  skin_.reset();
}

void TKVSkinColorPicker::Notification(TComponent* component, TOperation operation) {
  TKVCustomControl::Notification(component, operation);
  if (skin_) RebindRemovedSkin(*skin_, component, operation);
}

TColor TKVSkinColorPicker::Color() const { return SwapRB(PixelValue(triple_)); }

void TKVSkinColorPicker::SetColor(TColor color) {
  TRGBTriple t;
  ColorToTriple(color, t);
  SetRGB(t);
}

void TKVSkinColorPicker::SetRGB(const TRGBTriple& triple) {
  if (SameTriple(triple, triple_)) return;
  triple_ = triple;
  update(ColorRect());
  for (int c = 0; c < 3; ++c) {
    const int v = ChannelOf(triple_, c);
    // A field that already means the value ("007") keeps its text.
    if (StrToIntDef(edits_[c]->text(), 0) != v) edits_[c]->setText(QString::number(v));
  }
  for (TKVRGBSlider* s : sliders_) s->SetValue(PixelValue(triple_));
  OnChange(this);
}

void TKVSkinColorPicker::SetSwatchPicture(const QImage& picture) {
  swatchPicture_ = picture;
  FillSwatch();
}

void TKVSkinColorPicker::SliderChange(TKVRGBSlider* slider) { SetRGB(slider->Triple()); }

void TKVSkinColorPicker::FieldChange(int channel) {
  int v[3];
  for (int c = 0; c < 3; ++c) v[c] = ChannelOf(triple_, c);
  v[channel] = StrToIntDef(edits_[channel]->text(), 0);
  TRGBTriple t;
  SetTriple(v[0], v[1], v[2], t);
  SetRGB(t);
  // A number out of range shows what it was clamped to even when the colour did not change
  // ("-7" on a channel already 0); text that is no number stays as typed.
  QLineEdit* e = edits_[channel];
  const int shown = ChannelOf(triple_, channel);
  if (StrToIntDef(e->text(), 0) != shown) e->setText(QString::number(shown));
}

void TKVSkinColorPicker::SwatchPick(int x, int y) {
  const TKVBitmap& b = swatch_->Bitmap();
  if (b.Empty() || swatch_->width() < 1 || swatch_->height() < 1) return;
  // The field is stretched: map the point to the bitmap, and hold a drag past the edge at the edge.
  const int bx = std::clamp(int(qint64(x) * b.Width() / swatch_->width()), 0, b.Width() - 1);
  const int by = std::clamp(int(qint64(y) * b.Height() / swatch_->height()), 0, b.Height() - 1);
  SetRGB(b.ScanLine(by)[bx]);
}

void TKVSkinColorPicker::resizeEvent(QResizeEvent* event) {
  TKVCustomControl::resizeEvent(event);
  Relayout();
}

void TKVSkinColorPicker::Relayout() {
  const int w = width(), h = height();
  swatch_->setGeometry(0, 75, w, std::max(h - 75, 0));
  for (int c = 0; c < 3; ++c) {
    edits_[c]->setGeometry(w - 33, 2 + 24 * c, 32, 21);
    sliders_[c]->setGeometry(42, 7 + 24 * c, std::max(w - 77, 0), 14);
  }
  FillSwatch();
}

void TKVSkinColorPicker::FillSwatch() {
  int w = swatch_->width(), h = swatch_->height();
  if (w < 1 || h < 1) {
    swatch_->Bitmap().SetSize(0, 0);
    swatch_->Changed();
    return;
  }
  // A huge field keeps a bitmap of bounded size, shown stretched.
  while (qint64(w) * h > kMaxSwatchPixels) {
    w = std::max(w / 2, 1);
    h = std::max(h / 2, 1);
  }
  TKVBitmap& b = swatch_->Bitmap();
  b.SetSize(w, h);
  if (swatchPicture_.isNull()) b.SetImage(ColorSwatchImage(w, h));
  else b.StretchDraw(TRect{0, 0, w, h}, swatchPicture_);
  swatch_->Changed();
}

void TKVSkinColorPicker::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), ToQColor(clBtnFace));
  const QRect r = ColorRect();
  DrawFrame3D(p, r, clBtnShadow, clBtnHighlight);
  p.fillRect(r.adjusted(1, 1, -1, -1), ToQColor(Color()));
  p.setPen(ToQColor(clBtnText));
  const QFontMetrics fm(font());
  const char* const letters[] = {"R", "G", "B"};
  for (int c = 0; c < 3; ++c) p.drawText(34, 5 + 24 * c + fm.ascent(), QLatin1String(letters[c]));
}
