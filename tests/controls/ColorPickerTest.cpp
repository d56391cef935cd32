#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/KVSkinExtCtrls.h"
#include "controls/KVStdCtrls.h"
#include "foundation/KVTextHelper.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/SkinTestKit.h"

namespace {

QColor At(QWidget& w, int x, int y) { return QColor(w.grab().toImage().pixel(x, y)); }

// The picker on screen, counting its change events.
struct Picker {
  TKVSkinColorPicker picker;
  int changes = 0;
  Picker() {
    picker.OnChange.Set([this](TPersistent* sender) {
      EXPECT_EQ(sender, static_cast<TPersistent*>(&picker));
      ++changes;
    });
    picker.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&picker));
  }
  QString Text(int c) const { return picker.Edit(c).text(); }
  int Channel(int c) const {
    const TRGBTriple& t = picker.Triple();
    return c == 0 ? t.rgbtRed : c == 1 ? t.rgbtGreen : t.rgbtBlue;
  }
};

}  // namespace

TEST(RGBSlider, DragTheMarkerOrReleaseAnywhereToSetTheChannel) {
  TKVRGBSlider s;
  s.resize(200, 14);
  s.SetSliderColor(eGreen);
  s.SetValue(0x00102030);  // red 0x10, green 0x20, blue 0x30
  EXPECT_EQ(s.Channel(), 0x20);
  std::vector<int> changes;
  s.OnChange.Set([&](TKVRGBSlider* sender) { changes.push_back(sender->Channel()); });
  s.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&s));

  // The ends of the track are 0 and 255.
  EXPECT_EQ(s.MarkerX(0), 5);
  EXPECT_EQ(s.ValueAt(5), 0);
  EXPECT_EQ(s.ValueAt(195), 255);
  EXPECT_EQ(s.ValueAt(-40), 0);
  EXPECT_EQ(s.ValueAt(4000), 255);

  // Press on the marker, drag, release.
  const int x = s.MarkerX(0x20);
  QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(x, 10));
  EXPECT_TRUE(s.Dragging());
  QTest::mouseMove(&s, QPoint(100, 10));
  EXPECT_EQ(s.Channel(), 128);
  QTest::mouseMove(&s, QPoint(500, 10));
  EXPECT_EQ(s.Channel(), 255);
  QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(150, 10));
  EXPECT_FALSE(s.Dragging());
  EXPECT_EQ(s.Channel(), s.ValueAt(150));
  // The other channels stay.
  EXPECT_EQ(s.Value() & 0xFF00FF, 0x100030u);

  // A press away from the marker does not drag, but the release sets the channel where it is.
  changes.clear();
  QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(20, 4));
  EXPECT_FALSE(s.Dragging());
  QTest::mouseMove(&s, QPoint(60, 4));
  EXPECT_TRUE(changes.empty());
  QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(5, 4));
  EXPECT_EQ(changes, std::vector<int>{0});
  QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(195, 12));
  EXPECT_EQ(s.Channel(), 255);
  // Releasing on the same value fires nothing; a right click changes nothing.
  QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(195, 12));
  QTest::mouseClick(&s, Qt::RightButton, {}, QPoint(100, 12));
  EXPECT_EQ(changes, (std::vector<int>{0, 255}));
  // Setting the value from code fires nothing.
  s.SetValue(0x000000);
  EXPECT_EQ(changes.size(), 2u);
}

TEST(RGBSlider, PaintsTheChannelGradientAndAMarkerGreyedWhenDisabled) {
  TKVRGBSlider s;
  s.resize(200, 14);
  s.SetValue(0x000080FF);  // red 0, green 0x80, blue 0xFF
  // Red runs from 0 to 255 over the track with the other two as they are.
  EXPECT_EQ(At(s, 5, 3), QColor(0, 0x80, 0xFF));
  EXPECT_EQ(At(s, 194, 3), QColor(255, 0x80, 0xFF));
  EXPECT_EQ(At(s, 4, 3), QColor(Qt::black));  // the frame
  const int x = s.MarkerX(0);
  EXPECT_EQ(At(s, x, 8), ToQColor(clBtnText));
  EXPECT_EQ(At(s, x, 13), ToQColor(clBtnText));
  s.setEnabled(false);
  EXPECT_EQ(At(s, x, 8), ToQColor(clGrayText));
  // A kind without a channel shows no gradient and no marker.
  s.setEnabled(true);
  s.SetSliderColor(eHue);
  EXPECT_EQ(At(s, 100, 3), ToQColor(clBtnFace));
  EXPECT_EQ(At(s, x, 8), ToQColor(clBtnFace));
  EXPECT_EQ(s.Channel(), 0);
  // Too small to draw a track: nothing breaks.
  s.SetSliderColor(eRed);
  s.resize(6, 3);
  s.grab();
  EXPECT_EQ(s.ValueAt(3), 0);
}

TEST(ColorPicker, LaysOutItsPartsAndFollowsItsSize) {
  Picker p;
  EXPECT_EQ(p.picker.size(), QSize(240, 105));
  EXPECT_EQ(p.picker.Swatch().geometry(), QRect(0, 75, 240, 30));
  EXPECT_EQ(p.picker.Swatch().Bitmap().Width(), 240);
  EXPECT_EQ(p.picker.Edit(1).geometry().topLeft(), QPoint(207, 26));
  EXPECT_EQ(p.picker.Edit(2).maxLength(), 3);
  EXPECT_EQ(p.picker.Slider(2).geometry(), QRect(42, 55, 163, 14));
  EXPECT_EQ(p.picker.Slider(2).SliderColor(), eBlue);
  EXPECT_EQ(p.Text(0), "0");
  p.picker.resize(300, 125);
  EXPECT_EQ(p.picker.Edit(0).x(), 267);
  EXPECT_EQ(p.picker.Slider(0).width(), 223);
  EXPECT_EQ(p.picker.Swatch().geometry(), QRect(0, 75, 300, 50));
  EXPECT_EQ(p.picker.Swatch().Bitmap().Height(), 50);
  EXPECT_EQ(&kvtest::Child<QLineEdit>(p.picker, "GreenEdit"), &p.picker.Edit(1));
}

TEST(ColorPicker, ColourInAndOutAsAPixelTriple) {
  Picker p;
  p.picker.SetColor(RGB(10, 20, 30));
  EXPECT_EQ(p.changes, 1);
  EXPECT_EQ(p.picker.Color(), RGB(10, 20, 30));
  EXPECT_EQ(p.Text(0), "10");
  EXPECT_EQ(p.Text(2), "30");
  EXPECT_EQ(p.picker.Slider(1).Value(), 0x0A141Eu);
  // The same colour again changes nothing.
  p.picker.SetColor(RGB(10, 20, 30));
  EXPECT_EQ(p.changes, 1);
  // A system colour is resolved first.
  p.picker.SetColor(clBtnFace);
  EXPECT_EQ(p.picker.Color(), ColorToRGB(clBtnFace));
  EXPECT_EQ(p.Text(0), QString::number(GetRValue(ColorToRGB(clBtnFace))));
  EXPECT_EQ(p.changes, 2);
  // The current-colour rectangle shows it inside a sunken frame.
  EXPECT_EQ(At(p.picker, 15, 35), ToQColor(clBtnFace));
  p.picker.SetColor(RGB(200, 0, 90));
  EXPECT_EQ(At(p.picker, 15, 35), QColor(200, 0, 90));
  EXPECT_EQ(At(p.picker, 1, 8), ToQColor(clBtnShadow));
  EXPECT_EQ(At(p.picker, 29, 61), ToQColor(clBtnHighlight));
}

TEST(ColorPicker, TypedNumbersAreClampedAndOtherTextCountsAsZero) {
  Picker p;
  p.picker.SetColor(RGB(40, 50, 60));
  p.changes = 0;
  kvtest::TypeInto(p.picker.Edit(0), "300");
  EXPECT_EQ(p.Channel(0), 255);
  EXPECT_EQ(p.Text(0), "255");
  EXPECT_EQ(p.picker.Slider(0).Channel(), 255);
  EXPECT_GT(p.changes, 0);

  kvtest::TypeInto(p.picker.Edit(1), "abc");
  EXPECT_EQ(p.Channel(1), 0);
  EXPECT_EQ(p.Text(1), "abc");

  kvtest::TypeInto(p.picker.Edit(2), "-7");
  EXPECT_EQ(p.Channel(2), 0);
  EXPECT_EQ(p.Text(2), "0");
  kvtest::TypeInto(p.picker.Edit(2), "$1F");  // the number reader takes hex after "$"
  EXPECT_EQ(p.Channel(2), 0x1F);
  // A text that already means the value keeps its form.
  kvtest::TypeInto(p.picker.Edit(2), "007");
  EXPECT_EQ(p.Channel(2), 7);
  EXPECT_EQ(p.Text(2), "007");
  // Too long a text is cut at three characters.
  kvtest::TypeInto(p.picker.Edit(0), "12345");
  EXPECT_EQ(p.Text(0), "123");
  EXPECT_EQ(p.picker.Color(), RGB(123, 0, 7));
}

TEST(ColorPicker, SlidersAndTheColourFieldSetTheColour) {
  Picker p;
  TKVRGBSlider& red = p.picker.Slider(0);
  QTest::mouseClick(&red, Qt::LeftButton, {}, QPoint(red.width() - 5, 4));
  EXPECT_EQ(p.Channel(0), 255);
  EXPECT_EQ(p.Text(0), "255");
  EXPECT_EQ(p.changes, 1);
  // The other sliders redraw their gradients from the new red.
  EXPECT_EQ(At(p.picker.Slider(1), 5, 3), QColor(255, 0, 0));

  TKVImage& swatch = p.picker.Swatch();
  const TKVBitmap& field = swatch.Bitmap();
  QTest::mouseClick(&swatch, Qt::LeftButton, {}, QPoint(80, 15));
  const TRGBTriple picked = field.ScanLine(15)[80];
  EXPECT_EQ(PixelValue(p.picker.Triple()), PixelValue(picked));
  EXPECT_EQ(p.Text(1), QString::number(picked.rgbtGreen));
  // A drag leaving the field keeps its edge colour.
  QTest::mousePress(&swatch, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseMove(&swatch, QPoint(-50, 400));
  EXPECT_EQ(PixelValue(p.picker.Triple()), PixelValue(field.ScanLine(field.Height() - 1)[0]));
  QTest::mouseRelease(&swatch, Qt::LeftButton, {}, QPoint(2000, -30));
  EXPECT_EQ(PixelValue(p.picker.Triple()), PixelValue(field.ScanLine(0)[field.Width() - 1]));
  // An owner's picture is stretched over the field.
  QImage picture(4, 1, QImage::Format_RGB32);
  picture.fill(QColor(1, 2, 3));
  p.picker.SetSwatchPicture(picture);
  QTest::mouseClick(&swatch, Qt::LeftButton, {}, QPoint(200, 20));
  EXPECT_EQ(p.picker.Color(), RGB(1, 2, 3));
}

TEST(ColorPicker, ADisabledPickerTakesNoInputAndGreysItsMarkers) {
  Picker p;
  p.picker.SetColor(RGB(100, 100, 100));
  p.changes = 0;
  p.picker.setEnabled(false);
  for (int c = 0; c < 3; ++c) {
    EXPECT_FALSE(p.picker.Edit(c).isEnabled());
    EXPECT_FALSE(p.picker.Slider(c).isEnabled());
  }
  TKVRGBSlider& green = p.picker.Slider(1);
  const int x = green.MarkerX(100);
  EXPECT_EQ(At(green, x, 8), ToQColor(clGrayText));
  QTest::mouseClick(&green, Qt::LeftButton, {}, QPoint(20, 4));
  QTest::mouseClick(&p.picker.Swatch(), Qt::LeftButton, {}, QPoint(20, 4));
  QTest::keyClicks(&p.picker.Edit(0), "9");
  EXPECT_EQ(p.changes, 0);
  EXPECT_EQ(p.picker.Color(), RGB(100, 100, 100));
  p.picker.setEnabled(true);
  EXPECT_EQ(At(green, x, 8), ToQColor(clBtnText));
  EXPECT_TRUE(p.picker.Edit(0).isEnabled());
}

TEST(ColorPicker, TheDefaultFieldOffersEveryHueFromWhiteToBlack) {
  const QImage f = ColorSwatchImage(360, 31);
  ASSERT_FALSE(f.isNull());
  const auto at = [&](int x, int y) { return QColor(f.pixel(x, y)); };
  EXPECT_EQ(at(0, 0), QColor(Qt::white));
  EXPECT_EQ(at(200, 30), QColor(Qt::black));
  EXPECT_EQ(at(0, 15), QColor(255, 0, 0));
  EXPECT_EQ(at(120, 15), QColor(0, 255, 0));
  EXPECT_EQ(at(240, 15), QColor(0, 0, 255));
  EXPECT_EQ(at(60, 15), QColor(255, 255, 0));
  // Lighter above, darker below.
  EXPECT_GT(at(240, 7).red(), 100);
  EXPECT_LT(at(240, 23).blue(), 160);
  EXPECT_TRUE(ColorSwatchImage(0, 10).isNull());
  EXPECT_TRUE(ColorSwatchImage(-3, -3).isNull());
  EXPECT_TRUE(ColorSwatchImage(1 << 20, 1 << 20).isNull());
}

TEST(ColorPicker, AnAbsurdSizeKeepsTheFieldBitmapBounded) {
  TKVSkinColorPicker picker;
  picker.setAttribute(Qt::WA_DontShowOnScreen);
  picker.show();
  picker.resize(100000, 100000);
  const TKVBitmap& b = picker.Swatch().Bitmap();
  EXPECT_GT(b.Width(), 0);
  EXPECT_LE(qint64(b.Width()) * b.Height(), 4096LL * 1024);
  picker.resize(10, 20);  // no field at all
  EXPECT_TRUE(picker.Swatch().Bitmap().Empty());
  EXPECT_EQ(picker.Slider(0).width(), 0);
}

// Under Xvfb with KV_SCREENSHOT_DIR set, the picker is saved as a picture to look at.
TEST(ColorPicker, Screenshot) {
  Picker p;
  p.picker.resize(240, 105);
  p.picker.SetColor(RGB(64, 160, 220));
  const QImage shot = p.picker.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(15, 35)), QColor(64, 160, 220));
  const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    EXPECT_TRUE(shot.scaled(shot.size() * 3).save(dir + "/color-picker.png"));
    p.picker.setEnabled(false);
    EXPECT_TRUE(p.picker.grab().toImage().scaled(shot.size() * 3).save(dir + "/color-picker-disabled.png"));
  }
}

namespace {

// The form the picker lives on; its published method is the picker's change handler.
class TPickerForm : public TKVForm {
  KV_CLASS(TPickerForm)
 public:
  TPickerForm() { SetName(QStringLiteral("StyleForm")); }
  std::vector<TColor> seen;
  TKVSkinColorPicker* picker = nullptr;
  void PickerChange(TPersistent* sender) { seen.push_back(static_cast<TKVSkinColorPicker*>(sender)->Color()); }
};

const ClassInfo& TPickerForm::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TPickerForm>("TPickerForm", &TKVForm::StaticClass())
                                  .Method("PickerChange", &TPickerForm::PickerChange)
                                  .Build();
  return ci;
}

}  // namespace

TEST(ColorPicker, SkinTextReachesThePickerByNameAndClass) {
  TAppSkin skin;
  QPointer<TKVSkinColorPicker> gone;
  {
    auto* form = new TPickerForm;
    auto* picker = new TKVSkinColorPicker(form, form);
    picker->SetName(QStringLiteral("RGBPicker"));
    EXPECT_EQ(picker->objectName(), "RGBPicker");
    picker->Skin().SetAppSkin(&skin);
    kvtest::LoadSkinPackage(skin, kvtest::SkinPackage({}, {QStringLiteral("StyleForm\r\n"
                                                                          "object RGBPicker: TKVSkinColorPicker\r\n"
                                                                          "  Left = 12\r\n"
                                                                          "  OnChange = PickerChange\r\n"
                                                                          "  Color = $00336699\r\n"
                                                                          "  Skin.colOff = clWhite\r\n"
                                                                          "end\r\n")}));
    EXPECT_EQ(picker->x(), 12);
    EXPECT_EQ(picker->OnChange.name, "PickerChange");
    EXPECT_EQ(picker->Color(), TColor(0x336699));
    EXPECT_EQ(picker->Edit(0).text(), QString::number(0x99));
    EXPECT_EQ(picker->Skin().Col(0), clWhite);
    EXPECT_EQ(form->seen, std::vector<TColor>{0x336699});
    // The user's change reaches the form's handler too.
    kvtest::TypeInto(picker->Edit(2), "0");
    EXPECT_EQ(form->seen.back(), TColor(0x006699));
    // The form frees its picker (owned and parented) while both are whole.
    gone = picker;
    delete form;
  }
  EXPECT_TRUE(gone.isNull());
}
