#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include "foundation/KVSkinData.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/SkinTestKit.h"

using namespace kvtest;

namespace {

// A form with a plain background colour, shown offscreen, holding skinned children.
struct TestForm {
  explicit TestForm(const QString& name = QStringLiteral("F")) {
    form.SetName(name);
    form.resize(400, 300);
    form.setAutoFillBackground(true);
    QPalette pal = form.palette();
    pal.setColor(QPalette::Window, Back);
    form.setPalette(pal);
  }
  void Show() {
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
  }
  static inline const QColor Back{0x12, 0x34, 0x56};
  TKVForm form;
};

TKVSkinPanel* NewPanel(TKVForm& form, const char* name, QRect geometry = QRect(10, 10, 50, 40)) {
  auto* p = new TKVSkinPanel(&form, &form);
  p->SetName(QLatin1String(name));
  p->setGeometry(geometry);
  p->BevelOuter = bvNone;
  return p;
}

// Counts the panel's paints, to see which changes repaint it.
class CountingPanel : public TKVSkinPanel {
 public:
  using TKVSkinPanel::TKVSkinPanel;
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent* e) override {
    ++paints;
    TKVSkinPanel::paintEvent(e);
  }
};

// The 200 x 100 window image of the frame tests: a 10-pixel frame of coloured corners and edges
// around a middle whose left half is dark red and right half dark green; the first 10 pixels of
// the top edge are orange, so tiling and stretching tell apart; the four outer corner pixels carry
// the transparent colour.
const QColor kTL("#ff0000"), kTR("#00ff00"), kBL("#0000ff"), kBR("#ffff00"), kTop("#00ffff"), kTopMark("#ff8000"),
    kBottom("#ff00ff"), kLeft("#808080"), kRight("#c0c0c0"), kMidA("#400000"), kMidB("#004000"), kHole("#ff00fe");
constexpr TColor kHoleColor = RGB(0xff, 0x00, 0xfe);

QImage FrameImage() {
  QImage img = SkinImage(200, 100, kMidA,
                         {{QRect(100, 10, 90, 80), kMidB},
                          {QRect(0, 0, 10, 10), kTL},
                          {QRect(190, 0, 10, 10), kTR},
                          {QRect(0, 90, 10, 10), kBL},
                          {QRect(190, 90, 10, 10), kBR},
                          {QRect(10, 0, 180, 10), kTop},
                          {QRect(10, 0, 10, 10), kTopMark},
                          {QRect(10, 90, 180, 10), kBottom},
                          {QRect(0, 10, 10, 80), kLeft},
                          {QRect(190, 10, 10, 80), kRight}});
  for (QPoint p : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 99), QPoint(199, 99)}) img.setPixelColor(p, kHole);
  return img;
}

const char* kFrameText =
    "  Skin.TLCorner = '0,0,10,10'\n"
    "  Skin.TRCorner = '190,0,200,10'\n"
    "  Skin.BLCorner = '0,90,10,100'\n"
    "  Skin.BRCorner = '190,90,200,100'\n"
    "  Skin.SplitRect = '10,10,190,90'\n";

bool SameRegion(const QRegion& a, const QRegion& b) { return (a ^ b).isEmpty(); }

void ApplyText(TAppSkin& skin, const QString& form, const QString& text) {
  skin.Forms.clear();
  skin.Forms.push_back({form, text.split(QLatin1Char('\n'))});
  skin.ApplyForms();
}

}  // namespace

TEST(KVSkinData, EachStateFallsBackToTheImageItCanShow) {
  TestForm f;
  TKVSkinPanel* p = NewPanel(f.form, "P");
  TKVSkinData& s = p->Skin();
  s.SetIdx(TKVSkinData::ixOff, 2);
  for (TSkinCtrlState st : {cstOff, cstOn, cstDisabled, cstOver, cstClicked}) EXPECT_EQ(s.StateImage(st), 2) << st;
  s.SetIdx(TKVSkinData::ixClicked, 5);
  EXPECT_EQ(s.StateImage(cstOn), 5);
  s.SetIdx(TKVSkinData::ixClicked, -1);
  s.SetIdx(TKVSkinData::ixOver, 4);
  EXPECT_EQ(s.StateImage(cstClicked), 4);
  s.SetIdx(TKVSkinData::ixOver, -1);
  s.SetIdx(TKVSkinData::ixOn, 3);
  EXPECT_EQ(s.StateImage(cstClicked), 3);  // through the on image
  EXPECT_EQ(s.Col(10), clNone);
  EXPECT_EQ(s.Idx(9), -1);
}

TEST(KVSkinData, PaintStateFollowsPressAndHoverAndRepaintsOnlyWhatChanges) {
  TestForm f;
  auto* p = new CountingPanel(&f.form, &f.form);
  p->setGeometry(0, 0, 20, 20);
  TKVSkinData& s = p->Skin();
  f.Show();
  QApplication::processEvents();
  const auto paintsAfter = [p](const std::function<void()>& change) {
    QApplication::processEvents();
    const int before = p->paints;
    change();
    QApplication::processEvents();
    return p->paints - before;
  };

  s.SetHover(true);
  s.SetCtrlState(cstOn);
  EXPECT_EQ(s.PaintState(), cstOver);
  s.SetPressed(true);
  EXPECT_EQ(s.PaintState(), cstClicked);
  s.SetPressed(false);
  s.SetHover(false);
  EXPECT_EQ(s.PaintState(), cstOn);

  // Same image, same colours: nothing to repaint.
  EXPECT_EQ(paintsAfter([&] { s.SetCtrlState(cstDisabled); }), 0);
  s.SetIdx(TKVSkinData::ixOver, 4);
  EXPECT_GT(paintsAfter([&] { s.SetCtrlState(cstOver); }), 0);
  // Same image but another colour still repaints a plain face.
  s.SetCtrlState(cstOn);
  s.SetCol(cstOff, clRed);
  EXPECT_EQ(s.StateImage(cstOn), s.StateImage(cstOff));
  EXPECT_GT(paintsAfter([&] { s.SetCtrlState(cstOff); }), 0);
}

TEST(KVSkinData, PackageTextReachesPanelAndStringsByNameAndClass) {
  TestForm f(QStringLiteral("MainF"));
  TKVSkinPanel* panel = NewPanel(f.form, "CoverPanel");
  auto* links = new TKVSkinStrings(&f.form);
  links->SetName(QStringLiteral("BannerLinks"));
  TAppSkin skin;
  panel->Skin().SetAppSkin(&skin);
  links->Skin().SetAppSkin(&skin);
  EXPECT_EQ(panel->Skin().FormName(), "MainF");

  TKVBitmapList strip;
  FillStrip(strip, {FrameImage(), SkinImage(30, 20, Qt::white)});
  LoadSkinPackage(skin, SkinPackage({StripBytes(strip)},
                                    {"MainF\r\n"
                                     "object Default: TKVSkinPanel\r\n"
                                     "  Skin.colOff = clRed\r\n"
                                     "end\r\n"
                                     "object CoverPanel: TKVSkinPanel\r\n"
                                     "  Caption = 'Hello'\r\n"
                                     "  Skin.idxOff = 0\r\n"
                                     "  Skin.PaintType = ptImage\r\n"
                                     "  Skin.Transparency = 150\r\n"
                                     "  Skin.SplitRect = '10,10,190,90'\r\n"
                                     "end\r\n"
                                     "object BannerLinks: TKVSkinStrings\r\n"
                                     "  Lines.Strings = (\r\n"
                                     "    'http://example.org/a'\r\n"
                                     "    'http://example.org/b')\r\n"
                                     "end\r\n"}));
  EXPECT_EQ(panel->Caption, "Hello");
  EXPECT_EQ(panel->Skin().IdxOff(), 0);
  EXPECT_EQ(panel->Skin().PaintType(), ptImage);
  EXPECT_EQ(panel->Skin().Transparency(), 100);  // out of range: skipped
  EXPECT_EQ(panel->Skin().Col(0), clRed);        // from the form's default block for the class
  EXPECT_EQ(panel->Skin().SplitRect(), Rect(10, 10, 190, 90));
  // Not sizeable: the panel takes the size of its off image.
  EXPECT_EQ(panel->size(), QSize(200, 100));
  EXPECT_EQ(links->Lines().List(), QStringList({"http://example.org/a", "http://example.org/b"}));

  // The skin goes away: both fall back to the default skin.
  links->Skin().SetAppSkin(&skin);
  {
    TAppSkin* doomed = new TAppSkin;
    panel->Skin().SetAppSkin(doomed);
    links->Skin().SetAppSkin(doomed);
    delete doomed;
  }
  EXPECT_EQ(panel->Skin().AppSkin(), &DefaultSkin());
  EXPECT_EQ(links->Skin().AppSkin(), &DefaultSkin());
}

TEST(KVSkinData, NinePartFramePlacesCornersAndEdgesOnALargerPanel) {
  TestForm f;
  TKVSkinPanel* p = NewPanel(f.form, "P");
  TAppSkin skin;
  FillStrip(skin.Images.Add(), {FrameImage()});
  p->Skin().SetAppSkin(&skin);
  ApplyText(skin, "F",
            QStringLiteral("object P: TKVSkinPanel\n  Skin.idxOff = 0\n  Skin.PaintType = ptImage\n"
                           "  Skin.Sizeable = True\n%1end")
                .arg(QLatin1String(kFrameText)));
  EXPECT_EQ(p->size(), QSize(50, 40));  // sizeable: keeps its own size
  p->setGeometry(0, 0, 300, 150);
  f.Show();
  QImage img = Shot(*p);
  // Corners at their places, moved by 100 across and 50 down.
  EXPECT_EQ(At(img, 1, 1), Name(kTL));
  EXPECT_EQ(At(img, 290, 1), Name(kTR));
  EXPECT_EQ(At(img, 289, 1), Name(kTop));
  EXPECT_EQ(At(img, 1, 140), Name(kBL));
  EXPECT_EQ(At(img, 298, 148), Name(kBR));
  // Edges between them.
  EXPECT_EQ(At(img, 150, 5), Name(kTop));
  EXPECT_EQ(At(img, 150, 145), Name(kBottom));
  EXPECT_EQ(At(img, 5, 139), Name(kLeft));
  EXPECT_EQ(At(img, 295, 75), Name(kRight));
  // Tiled: the middle repeats from its own start, and so does the top edge.
  EXPECT_EQ(At(img, 15, 15), Name(kMidA));
  EXPECT_EQ(At(img, 150, 100), Name(kMidB));
  EXPECT_EQ(At(img, 195, 130), Name(kMidA));
  EXPECT_EQ(At(img, 195, 5), Name(kTopMark));

  // Stretched: the middle and the edges scale instead.
  ApplyText(skin, "F",
            QStringLiteral("object P: TKVSkinPanel\n  Skin.BgStretch = True\n  Skin.Stretch = True\nend"));
  img = Shot(*p);
  EXPECT_EQ(At(img, 195, 130), Name(kMidB));
  EXPECT_EQ(At(img, 195, 5), Name(kTop));
  EXPECT_EQ(At(img, 12, 5), Name(kTopMark));
  EXPECT_EQ(At(img, 290, 1), Name(kTR));

  // BgColor: the middle in the state's colour, the frame still drawn.
  ApplyText(skin, "F", "object P: TKVSkinPanel\n  Skin.BgColor = True\n  Skin.colOff = clLime\nend");
  img = Shot(*p);
  EXPECT_EQ(At(img, 150, 75), Name(QColor(Qt::green)));
  EXPECT_EQ(At(img, 1, 1), Name(kTL));

  // At exactly the image's size the image is copied as it is.
  p->resize(200, 100);
  img = Shot(*p);
  EXPECT_EQ(At(img, 195, 5), Name(kTR));
  EXPECT_EQ(At(img, 150, 50), Name(kMidB));
}

TEST(KVSkinData, FacesByPaintTypeAndTransparency) {
  TestForm f;
  TKVSkinPanel* p = NewPanel(f.form, "P", QRect(10, 10, 101, 20));
  TKVSkinPanelData& s = p->Skin();
  s.SetCol(cstOff, clRed);
  f.Show();
  const auto seen = [&f](int x, int y) { return At(Shot(f.form), x, y); };
  EXPECT_EQ(seen(20, 20), Name(Qt::red));

  s.SetTransparency(99);  // shows the form behind it and paints no face
  EXPECT_EQ(seen(20, 20), Name(TestForm::Back));
  s.SetTransparency(100);

  s.SetPaintType(ptCustom);
  EXPECT_EQ(seen(20, 20), Name(TestForm::Back));

  // An image face without images shows the state colour.
  s.SetPaintType(ptImage);
  s.SetIdx(TKVSkinData::ixImages, 3);
  EXPECT_EQ(seen(20, 20), Name(Qt::red));
  TAppSkin skin;
  FillStrip(skin.Images.Add(), {SkinImage(101, 20, Qt::blue)});
  s.SetAppSkin(&skin);
  s.SetIdx(TKVSkinData::ixImages, 0);
  s.SetIdx(TKVSkinData::ixOff, 7);  // beyond the strip
  EXPECT_EQ(seen(20, 20), Name(Qt::red));
  s.SetIdx(TKVSkinData::ixOff, 0);
  EXPECT_EQ(seen(20, 20), Name(Qt::blue));

  s.SetPaintType(ptGradientH);
  s.SetCol(cstOff, clBlack);
  s.SetCol(5 + cstOff, clWhite);
  EXPECT_EQ(seen(10, 20), Name(Qt::black));
  EXPECT_EQ(seen(110, 20), Name(Qt::white));
  s.SetPaintType(ptGradientV);
  EXPECT_EQ(seen(50, 10), Name(Qt::black));
  EXPECT_EQ(seen(50, 29), Name(Qt::white));
}

TEST(KVSkinData, BevelsAndCaption) {
  TestForm f;
  TKVSkinPanel* p = NewPanel(f.form, "P", QRect(0, 0, 40, 30));
  p->BevelOuter = bvRaised;
  p->BevelWidth = 2;
  f.Show();
  QImage img = Shot(*p);
  EXPECT_EQ(At(img, 1, 1), Name(ColorOf(clBtnHighlight)));
  EXPECT_EQ(At(img, 38, 28), Name(ColorOf(clBtnShadow)));
  EXPECT_EQ(At(img, 2, 2), Name(ColorOf(clBtnFace)));
  p->BevelOuter = bvLowered;
  img = Shot(*p);
  EXPECT_EQ(At(img, 0, 0), Name(ColorOf(clBtnShadow)));
  // A skinned face takes its bevel colours from the off colour.
  p->Skin().SetPaintType(ptGradientH);
  p->Skin().SetCol(cstOff, RGB(200, 100, 0));
  p->BevelOuter = bvRaised;
  img = Shot(*p);
  EXPECT_EQ(At(img, 0, 0), Name(ColorOf(BlendColors(RGB(200, 100, 0), clWhite, 0.5f))));
  EXPECT_EQ(At(img, 39, 29), Name(ColorOf(BlendColors(RGB(200, 100, 0), clBlack, 0.5f))));
  // A caption is drawn within what the bevels leave; absurd widths stay inside the panel.
  p->Caption = QStringLiteral("W");
  p->BevelWidth = 1000;
  p->BorderWidth = 1000;
  img = Shot(*p);
  EXPECT_EQ(img.size(), QSize(40, 30));
}

TEST(KVSkinData, RegionsOfShownPixels) {
  TestForm f;
  TKVSkinPanel* p = NewPanel(f.form, "P", QRect(0, 0, 20, 10));
  TAppSkin skin;
  TKVBitmapList& shapes = skin.Images.Add();
  FillStrip(shapes, {SkinImage(20, 10, kHole, {{QRect(5, 0, 10, 10), Qt::black}}), FrameImage()}, kHoleColor);
  p->Skin().SetAppSkin(&skin);
  f.Show();
  // Empty SplitRect: the image's non-transparent pixels.
  ApplyText(skin, "F", "object P: TKVSkinPanel\n  Skin.idxImgRgn = 0\n  Skin.idxRgn = 0\nend");
  EXPECT_TRUE(SameRegion(p->Skin().Region(), QRegion(5, 0, 10, 10)));
  EXPECT_TRUE(SameRegion(p->mask(), QRegion(5, 0, 10, 10)));

  // An image the strip lacks: the whole panel.
  p->Skin().SetIdx(TKVSkinWinData::ixRgn, 9);
  EXPECT_TRUE(SameRegion(p->mask(), QRegion(0, 0, 20, 10)));
  // No region asked for: no mask.
  p->Skin().SetIdx(TKVSkinWinData::ixRgn, -1);
  EXPECT_TRUE(p->mask().isEmpty());

  // The frame image, not sizeable: its own pixels minus the four holes.
  ApplyText(skin, "F",
            QStringLiteral("object P: TKVSkinPanel\n  Skin.idxRgn = 1\n%1end").arg(QLatin1String(kFrameText)));
  QRegion r = p->Skin().Region();
  EXPECT_FALSE(r.contains(QPoint(0, 0)));
  EXPECT_FALSE(r.contains(QPoint(199, 99)));
  EXPECT_TRUE(r.contains(QPoint(1, 0)));
  EXPECT_TRUE(r.contains(QPoint(100, 50)));
  EXPECT_EQ(r.boundingRect(), QRect(0, 0, 200, 100));

  // Sizeable at 300 x 150: the holes move with their corners, edges and middle follow the size.
  for (const char* stretch : {"False", "True"}) {
    ApplyText(skin, "F",
              QStringLiteral("object P: TKVSkinPanel\n  Skin.Sizeable = True\n  Skin.Stretch = %1\nend")
                  .arg(QLatin1String(stretch)));
    p->resize(300, 150);
    r = p->Skin().Region();
    EXPECT_EQ(r.boundingRect(), QRect(0, 0, 300, 150)) << stretch;
    for (QPoint hole : {QPoint(0, 0), QPoint(299, 0), QPoint(0, 149), QPoint(299, 149)})
      EXPECT_FALSE(r.contains(hole)) << stretch << " " << hole.x() << "," << hole.y();
    for (QPoint shown : {QPoint(1, 0), QPoint(150, 0), QPoint(150, 75), QPoint(299, 1), QPoint(298, 149)})
      EXPECT_TRUE(r.contains(shown)) << stretch << " " << shown.x() << "," << shown.y();
    EXPECT_TRUE(SameRegion(p->mask(), r));
  }
}

TEST(KVSkinData, HostileSkinValuesPaintWhatTheyCan) {
  TestForm f;
  TKVSkinPanel* p = NewPanel(f.form, "P");
  TAppSkin skin;
  TKVBitmapList& strip = skin.Images.Add();
  FillStrip(strip, {SkinImage(20, 10, Qt::blue)});
  strip.SetWidthS(QStringLiteral("5000,-7,"));  // claims far more than the picture has
  strip.SetHeightS(QStringLiteral("900000,"));
  strip.SetCount(2);
  strip.SetWidthS(strip.WidthS());
  skin.Images.Add();  // a strip that never loaded
  p->Skin().SetAppSkin(&skin);
  f.Show();
  ApplyText(skin, "F", "object P: TKVSkinPanel\n  Skin.idxOff = 0\n  Skin.PaintType = ptImage\nend");
  EXPECT_EQ(p->size(), QSize(20, 10));  // the pixels there are, not the sizes claimed

  const QStringList texts = {
      "Skin.Sizeable = True\n  Skin.SplitRect = '-50,-50,99999999,99999999'\n  Skin.TLCorner = '30,30,10,10'\n"
      "  Skin.BRCorner = '2147483647,2147483647,-2147483648,5'",
      "Skin.Sizeable = True\n  Skin.SplitRect = '5,5,6,6'\n  Skin.TRCorner = 'garbage'",
      "Skin.idxOff = 1",
      "Skin.idxImages = 1",
      "Skin.idxImages = -1\n  Skin.idxOff = -3",
      "Skin.idxImgRgn = 0\n  Skin.idxRgn = 1\n  Skin.Sizeable = True\n  Skin.SplitRect = '1,1,2,2'"};
  for (const QString& t : texts) {
    ApplyText(skin, "F", QStringLiteral("object P: TKVSkinPanel\n  %1\nend").arg(t));
    p->resize(300, 150);
    const QImage img = Shot(*p);
    EXPECT_EQ(img.size(), QSize(300, 150)) << t.toStdString();
  }
}

TEST(KVSkinData, DraggingMovesTheLinkedControls) {
  TestForm f;
  TKVSkinPanel* p = NewPanel(f.form, "P", QRect(10, 10, 50, 40));
  TKVSkinPanel* q = NewPanel(f.form, "Q", QRect(100, 10, 50, 40));
  f.Show();
  TKVSkinPanelData& s = p->Skin();
  QStringList calls;
  s.MouseDownHandler.Set([&](TPersistent*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    calls << QStringLiteral("down %1,%2").arg(x).arg(y);
  });
  QTest::mouseClick(p, Qt::LeftButton, {}, QPoint(3, 4));
  EXPECT_EQ(calls, QStringList({"down 3,4"}));

  s.LinkedControls = {p, q};
  s.DoMouseDown(Qt::LeftButton, {}, 5, 5);
  EXPECT_TRUE(s.Dragging());
  s.DoMouseMove({}, 12, 8);
  EXPECT_EQ(p->pos(), QPoint(17, 13));
  EXPECT_EQ(q->pos(), QPoint(107, 13));
  s.DoMouseUp(Qt::LeftButton, {}, 5, 5);
  EXPECT_FALSE(s.Dragging());
  EXPECT_EQ(q->pos(), QPoint(107, 13));
  EXPECT_EQ(calls.size(), 1);
}
