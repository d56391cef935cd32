#pragma once
// The colour picker: a channel slider drawn as a gradient with a triangular marker, and a panel
// combining a colour field to pick from, three sliders, three number fields and a rectangle
// showing the current colour. Both keep the colour as a pixel triple, not as a colour value.
#include <QImage>
#include <QWidget>
#include <memory>

#include "foundation/KVClasses.h"
#include "foundation/KVControls.h"
#include "foundation/KVGraphics.h"
#include "foundation/KVSkinData.h"

class QLineEdit;
class TKVImage;

// The channel a slider shows. The last three exist for the stored form only: such a slider shows
// no gradient and no marker and does not react to the mouse.
enum TRGBEnum { eRed, eGreen, eBlue, eHue, eLight, eSaturation };

class TKVRGBSlider : public QWidget {
  Q_OBJECT
 public:
  explicit TKVRGBSlider(QWidget* parent = nullptr);

  TRGBEnum SliderColor() const { return sliderColor_; }
  void SetSliderColor(TRGBEnum kind);

  // The whole colour as 0x00RRGGBB: the slider edits its own channel and draws its gradient from
  // the other two. Fires nothing.
  void SetValue(TPixelValue value);
  TPixelValue Value() const { return PixelValue(triple_); }
  const TRGBTriple& Triple() const { return triple_; }
  // The own channel (0 for the kinds without one).
  int Channel() const;
  bool Dragging() const { return dragging_; }

  // The marker's tip for a channel value, and the value for a mouse position (clamped to 0..255).
  int MarkerX(int value) const;
  int ValueAt(int x) const;

  // The user moved the marker (dragged it, or released the left button somewhere on the slider).
  TEvent<void(TKVRGBSlider* sender)> OnChange;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool HasChannel() const { return sliderColor_ <= eBlue; }
  void SetChannelFromX(int x);

  TRGBEnum sliderColor_ = eRed;
  TRGBTriple triple_{0, 0, 0};
  bool dragging_ = false;
};

// A field of hues from left to right, white at the top through the pure hue to black at the
// bottom: the picker's default colour field.
QImage ColorSwatchImage(int width, int height);

// Published besides the control's: Skin, Color, OnChange.
class TKVSkinColorPicker : public TKVCustomControl {
  Q_OBJECT
  KV_CLASS(TKVSkinColorPicker)
 public:
  // 240 x 105 with its colour field, sliders and fields laid out for that size.
  explicit TKVSkinColorPicker(TComponent* owner = nullptr, QWidget* parent = nullptr);
  ~TKVSkinColorPicker() override;

  // The picker's look in skin texts; owned, and bound to the default skin until a skin is applied.
  TKVSkinData& Skin() { return *skin_; }
  const TKVSkinData& Skin() const { return *skin_; }
  void Notification(TComponent* component, TOperation operation) override;

  // The current colour as a colour value; setting it resolves system colours.
  TColor Color() const;
  void SetColor(TColor color);
  const TRGBTriple& Triple() const { return triple_; }
  // Shows the colour in the fields, sliders and rectangle and fires OnChange; nothing when it is
  // the current colour.
  void SetRGB(const TRGBTriple& triple);

  // The picture of the colour field, stretched over it (the default is ColorSwatchImage).
  void SetSwatchPicture(const QImage& picture);

  TKVImage& Swatch() const { return *swatch_; }
  QLineEdit& Edit(int channel) const { return *edits_[channel]; }      // 0 red, 1 green, 2 blue
  TKVRGBSlider& Slider(int channel) const { return *sliders_[channel]; }

  // After every change of the colour, from any source; the sender is the picker.
  TNotifyEvent OnChange;

  // Where the current colour is shown (its frame included).
  static QRect ColorRect() { return QRect(1, 8, 29, 54); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Relayout();
  void FillSwatch();
  void SliderChange(TKVRGBSlider* slider);
  void FieldChange(int channel);
  void SwatchPick(int x, int y);

  std::unique_ptr<TKVSkinData> skin_;
  TRGBTriple triple_{0, 0, 0};
  TKVImage* swatch_;
  QLineEdit* edits_[3];
  TKVRGBSlider* sliders_[3];
  QImage swatchPicture_;
};
