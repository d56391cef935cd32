#include <QDir>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "calendar/MirMonths.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVXSkinBase.h"
#include "tests/calendar/RenderTestUtil.h"
#include "tests/common/TestUtil.h"
#include "tools/kvpack/PackWriter.h"

using namespace rendertest;

namespace {

QString LayoutOf(const QStringList& lines) { return "object Lini: TLayoutIni\n  " + lines.join("\n  ") + "\nend\n"; }

constexpr TColor kBack = RGB(10, 20, 30), kSatBack = RGB(40, 50, 60), kSunBack = RGB(70, 80, 90),
                 kDay = RGB(200, 200, 200), kSat = RGB(210, 0, 0), kSun = RGB(0, 210, 0), kToday = RGB(0, 0, 210),
                 kShadow = RGB(1, 1, 1), kGrey = RGB(100, 100, 100);

// Distinct colours, opaque items, no bevel and no shadow over a plain grey picture.
void Plain(Scene& s) {
  TCalendarStyle& st = s.ini.WorkStyle;
  st.CalculateBackColors = false;
  st.BackColor = kBack;
  st.SaturdayBackColor = kSatBack;
  st.SundayBackColor = kSunBack;
  st.DayColor = kDay;
  st.SaturdayColor = kSat;
  st.SundayColor = kSun;
  st.TodayColor = kToday;
  st.DayShadowColor = kShadow;
  st.MonthBarTransparency = 100;
  st.BevelStyle = 0;
  st.DayShadow = 0;
  s.SetPicture(Solid(64, 64, QColor(100, 100, 100)));
}

bool RectHasColor(const TKVBitmap& b, const TRect& r, TColor c) {
  for (int y = std::max(0, r.Top); y < std::min(b.Height(), r.Bottom); ++y)
    for (int x = std::max(0, r.Left); x < std::min(b.Width(), r.Right); ++x)
      if (PixelAt(b, x, y) == c) return true;
  return false;
}

void DeleteSavedImageIndex() {
  TKVRegistry r;
  if (r.OpenKey(kSettingsKey, true) && r.ValueExists("ImageIndex")) r.DeleteValue("ImageIndex");
}

bool SavedImageIndex(int* value = nullptr) {
  TKVRegistry r;
  if (!r.OpenKeyReadOnly(kSettingsKey) || !r.ValueExists("ImageIndex")) return false;
  if (value) *value = r.ReadInteger("ImageIndex");
  return true;
}

const QStringList kHorizontalApril = {"MonthLine.Visible = True",
                                      "MonthLine.Horz = True",
                                      "MonthLine.Anchors = [akLeft, akTop]",
                                      "MonthLine.Width.ValueType = lsPromil",
                                      "MonthLine.Width.Value = 900",
                                      "MonthLine.Height.Value = 46",
                                      "MonthLine.XSpace.Value = 10",
                                      "MonthLine.YSpace.Value = 20",
                                      "MonthLine.MonthID = 4"};

QStringList BoxAt(int b, int monthId, int x = 100, int y = 50) {
  const QString p = QString("MonthBox%1.").arg(b);
  return {p + "Visible = True",         p + "Anchors = [akLeft, akTop]",    p + "Width.Value = 200",
          p + "Height.Value = 170",     p + QString("XSpace.Value = %1").arg(x), p + QString("YSpace.Value = %1").arg(y),
          p + QString("MonthID = %1").arg(monthId)};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Colours

TEST(RenderColors, PackDefaultsDeriveTheWeekendBackgroundsFromTheContrast) {
  TCalendarStyle s;
  s.UseDefaultColors = true;
  s.CalculateBackColors = false;  // only the user's branch reads it
  TPackDefaults p;
  p.BackColor = 0x00459F00;
  p.SaturdayBackColor = p.SundayBackColor = p.SaturdayColor = clNone;
  p.DayColor = 0x00123456;
  p.DayContrast = 200;
  const TRenderColors c = ResolvedColors(s, p);
  EXPECT_EQ(c.SundayBackColor, 0x00FFFFC8u);
  EXPECT_EQ(c.SaturdayBackColor, 0x008FC550u);
  EXPECT_EQ(c.SaturdayColor, 0x00123456u);
  EXPECT_EQ(c.BackColor, 0x00459F00u);
  p.SaturdayBackColor = 0x00010203;
  p.SundayBackColor = 0x00040506;
  p.SaturdayColor = 0x00070809;
  const TRenderColors d = ResolvedColors(s, p);
  EXPECT_EQ(d.SaturdayBackColor, 0x00010203u);
  EXPECT_EQ(d.SundayBackColor, 0x00040506u);
  EXPECT_EQ(d.SaturdayColor, 0x00070809u);
}

TEST(RenderColors, TheUsersStyleDerivesOnlyWhenAskedAndNeverTestsForNone) {
  TCalendarStyle s;
  s.UseDefaultColors = false;
  s.CalculateBackColors = false;
  s.DayContrast = -50;
  s.BackColor = RGB(100, 30, 200);
  s.SaturdayBackColor = RGB(1, 2, 3);
  s.SundayBackColor = RGB(4, 5, 6);
  s.SaturdayColor = clNone;
  TPackDefaults p;
  const TRenderColors own = ResolvedColors(s, p);
  EXPECT_EQ(own.SaturdayBackColor, RGB(1, 2, 3));
  EXPECT_EQ(own.SundayBackColor, RGB(4, 5, 6));
  EXPECT_EQ(own.SaturdayColor, clNone);
  s.CalculateBackColors = true;
  const TRenderColors derived = ResolvedColors(s, p);
  EXPECT_EQ(derived.SundayBackColor, RGB(50, 0, 150));
  // 40 % of the way: 100 - 20, 30 - round(12) = 18, 200 - 20.
  EXPECT_EQ(derived.SaturdayBackColor, RGB(80, 18, 180));
}

// ---------------------------------------------------------------------------------------------
// Picture placement

TEST(RenderPlacement, CenterDrawsASmallerPictureUnscaledInTheMiddle) {
  Scene s;
  s.ini.ImagePosition = 1;
  const QImage pic = DrawPicture(640, 480);
  s.SetPicture(pic);
  ASSERT_TRUE(s.Render());
  const QImage frame = s.Frame().Image();
  for (QPoint p : {QPoint(0, 0), QPoint(639, 479), QPoint(600, 100), QPoint(320, 400)})
    EXPECT_EQ(QColor(frame.pixel(p + QPoint(192, 144))), QColor(pic.pixel(p)));
  EXPECT_EQ(PixelAt(s.Frame(), 191, 144), ColorToRGB(clBackground));
  EXPECT_EQ(PixelAt(s.Frame(), 192 + 640, 144), ColorToRGB(clBackground));
}

TEST(RenderPlacement, BestFitStretchAndTileCoverTheScreenHideLeavesTheDesktopColour) {
  QImage halves(640, 480, QImage::Format_RGB32);
  halves.fill(QColor(200, 0, 0));
  for (int y = 0; y < 480; ++y)
    for (int x = 320; x < 640; ++x) halves.setPixel(x, y, qRgb(0, 0, 200));
  QString stretchHash;
  for (int position : {0, 2, 3, 4, 9}) {
    Scene s;
    s.ini.ImagePosition = position;
    s.SetPicture(position == 3 ? DrawPicture(300, 200) : halves);
    ASSERT_TRUE(s.Render());
    const TKVBitmap& f = s.Frame();
    ASSERT_EQ(f.Width(), 1024);
    ASSERT_EQ(f.Height(), 768);
    const TColor desktop = ColorToRGB(clBackground);
    switch (position) {
      case 0:
      case 2:
      case 9:
        EXPECT_EQ(PixelAt(f, 0, 0), RGB(200, 0, 0)) << position;
        EXPECT_EQ(PixelAt(f, 1023, 767), RGB(0, 0, 200)) << position;
        EXPECT_EQ(PixelAt(f, 500, 700), RGB(200, 0, 0)) << position;
        EXPECT_EQ(PixelAt(f, 530, 10), RGB(0, 0, 200)) << position;
        if (position == 2) stretchHash = FrameHash(f);
        if (position == 9) {
          EXPECT_EQ(FrameHash(f), stretchHash);
        }
        break;
      case 3: {
        const QImage tile = DrawPicture(300, 200);
        for (QPoint p : {QPoint(5, 7), QPoint(299, 199), QPoint(150, 30)}) {
          EXPECT_EQ(PixelAt(f, p.x(), p.y()), PixelAt(TKVBitmap(tile), p.x(), p.y()));
          EXPECT_EQ(PixelAt(f, p.x() + 600, p.y() + 400), PixelAt(TKVBitmap(tile), p.x(), p.y()));
        }
        break;
      }
      case 4:
        EXPECT_FALSE(RectHasColor(f, TRect{0, 0, 1024, 768}, RGB(200, 0, 0)));
        EXPECT_EQ(PixelAt(f, 512, 384), desktop);
        break;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Picture source

namespace {

QString PackDir() {
  const QString d = kvtest::TestRoot() + "/renderpacks/";
  QDir().mkpath(d);
  return d;
}

QByteArray BitmapFile(const QImage& img) { return kvpack::PictureFromImage(img, false).Data; }

// Entries 3 .. 14 are bitmaps of colours (10 x n, 0, 0); 15 a raw JPEG, 16 a compressed JPEG,
// 17 a Kind-1 bitmap whose stored first bytes are not "BM".
QString ColourPack() {
  const QString file = PackDir() + "colours.mcp";
  if (QFile::exists(file)) return file;
  std::vector<kvpack::PackEntry> e = {{kvpack::kKindRaw, "Title"}, {kvpack::kKindRaw, QByteArray(8, 0)},
                                      {kvpack::kKindRaw, "skin"}};
  for (int n = 1; n <= 12; ++n) e.push_back({kvpack::kKindBitmap, BitmapFile(Solid(8, 6, QColor(10 * n, 0, 0)))});
  const QByteArray jpeg = kvpack::PictureFromImage(Solid(16, 16, QColor(0, 200, 0)), true).Data;
  e.push_back({7, jpeg});
  e.push_back({-7, jpeg});
  QByteArray odd = BitmapFile(Solid(5, 5, QColor(0, 0, 170)));
  odd[0] = 'X';
  odd[1] = 'Y';
  e.push_back({1, odd});
  kvpack::WritePack(file, kvpack::kImagePackVersion, e);
  return file;
}

struct Source {
  Tini ini;
  std::unique_ptr<TCurrentPicture> picture;
  QColor Load(const QStringList& used, int index, QSize target = QSize(1024, 768)) {
    ini.ImageIndex = index;
    picture.reset();
    LoadCurrentImage(picture, ini, used, PackDir(), target);
    return picture->Graphic.isNull() ? QColor() : QColor(picture->Graphic.pixel(1, 1));
  }
};

bool Near(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 && std::abs(a.blue() - b.blue()) <= 8;
}

}  // namespace

TEST(RenderPictureSource, PackLinesArePictureNumbersTwoEntriesIn) {
  ColourPack();
  Source s;
  s.ini.UserImageSet = false;
  s.ini.MirPack = "colours.mcp";
  EXPECT_EQ(s.Load({"12"}, 0), QColor(120, 0, 0));
  EXPECT_EQ(s.Load({"1", "abc"}, 1), QColor(10, 0, 0));  // not a number: picture 1, entry 3
  EXPECT_TRUE(Near(s.Load({"13"}, 0), QColor(0, 200, 0)));
  EXPECT_TRUE(Near(s.Load({"14"}, 0), QColor(0, 200, 0)));
  EXPECT_EQ(s.Load({"15"}, 0), QColor(0, 0, 170));
  // No such entry, or no such pack: the desktop-coloured square.
  const QColor desktop = QColor(ToQColor(clBackground));
  for (const QString& line : {QString("-3"), QString("99"), QString("2147483647")}) {
    EXPECT_EQ(s.Load({line}, 0), desktop) << line.toStdString();
    EXPECT_EQ(s.picture->Graphic.size(), QSize(100, 100));
  }
  s.ini.MirPack = "missing.mcp";
  EXPECT_EQ(s.Load({"1"}, 0), desktop);
}

TEST(RenderPictureSource, AnIndexOutsideTheListIsResetToTheFirstAndSaved) {
  ColourPack();
  Source s;
  s.ini.UserImageSet = false;
  s.ini.MirPack = "colours.mcp";
  for (int index : {3, -1, 7}) {
    DeleteSavedImageIndex();
    EXPECT_EQ(s.Load({"2", "3", "4"}, index), QColor(20, 0, 0)) << index;
    EXPECT_EQ(s.ini.ImageIndex, 0);
    int saved = -5;
    EXPECT_TRUE(SavedImageIndex(&saved));
    EXPECT_EQ(saved, 0);
  }
  DeleteSavedImageIndex();
  EXPECT_EQ(s.Load({"2", "3", "4"}, 2), QColor(40, 0, 0));
  EXPECT_FALSE(SavedImageIndex());
  // An empty list: index 0, saved, and the square.
  EXPECT_EQ(s.Load({}, 0), QColor(ToQColor(clBackground)));
  EXPECT_TRUE(SavedImageIndex());
}

TEST(RenderPictureSource, UserPicturesAreDecodedForTheScreenUnlessTiled) {
  const QString file = PackDir() + "big.jpg";
  if (!QFile::exists(file)) kvtest::WriteFile(file, kvpack::PictureFromImage(DrawPicture(4000, 3000), true).Data);
  Source s;
  s.ini.UserImageSet = true;
  s.Load({file}, 0);
  EXPECT_LT(s.picture->Graphic.width(), 4000);
  EXPECT_GE(s.picture->Graphic.width(), 1024);
  EXPECT_GE(s.picture->Graphic.height(), 768);
  s.Load({file}, 0, QSize());
  EXPECT_EQ(s.picture->Graphic.size(), QSize(4000, 3000));
  s.Load({PackDir() + "nothing.png"}, 0);
  EXPECT_EQ(s.picture->Graphic.size(), QSize(100, 100));
}

TEST(RenderPictureSource, TwoDrawingsLoadThePictureOnceUntilItIsDropped) {
  const QString file = PackDir() + "once.bmp";
  kvtest::WriteFile(file, BitmapFile(Solid(40, 30, QColor(0, 90, 0))));
  Scene s;
  s.in.UsedImages = {file};
  s.state.DropPicture();
  ASSERT_TRUE(s.Render());
  const TCurrentPicture* first = s.state.CurrentPicture.get();
  EXPECT_EQ(PixelAt(s.Frame(), 500, 400), RGB(0, 90, 0));
  QFile::remove(file);
  ASSERT_TRUE(s.Render(false));
  EXPECT_EQ(s.state.CurrentPicture.get(), first);
  EXPECT_EQ(PixelAt(s.Frame(), 500, 400), RGB(0, 90, 0));
  s.state.DropPicture();
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(PixelAt(s.Frame(), 500, 400), ColorToRGB(clBackground));
}

// ---------------------------------------------------------------------------------------------
// Month line

TEST(RenderMonthLine, HorizontalCellsColoursAndTextPositions) {
  Scene s;
  Plain(s);
  ASSERT_TRUE(s.LoadLayout(LayoutOf(kHorizontalApril)));
  s.AddHoliday("2024/04/10", schOnce);   // a Wednesday
  s.AddHoliday("2024/04/13", schYearly);  // a Saturday
  ASSERT_TRUE(s.Render());
  const TKVBitmap& f = s.Frame();
  EXPECT_EQ(s.layout.MonthLine().Rect, (TRect{10, 20, 915, 66}));
  // 29-pixel cells from x = 3 of the line; April 1 is a Monday.
  const auto cellPixel = [&](int d) { return PixelAt(f, 10 + 3 + (d - 1) * 29 + 1, 21); };
  EXPECT_EQ(cellPixel(1), kBack);
  EXPECT_EQ(cellPixel(6), kSatBack);
  EXPECT_EQ(cellPixel(7), kSunBack);
  EXPECT_EQ(cellPixel(10), kSunBack);
  EXPECT_EQ(cellPixel(13), kSunBack);
  EXPECT_EQ(cellPixel(31), kBack);  // April has no 31st
  // Text cells of 16 pixels (8 wide): Hh 20, Ty 2; letters at y 5, numbers at y 25.
  const auto* m = s.text.Find("M", kDay);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->x, 13);
  EXPECT_EQ(m->y, 5);
  const auto* sat = s.text.Find("6", kSat);
  ASSERT_NE(sat, nullptr);
  EXPECT_EQ(sat->x, 5 * 29 + 10 + 3);
  EXPECT_EQ(sat->y, 25);
  EXPECT_NE(s.text.Find("7", kSun), nullptr);
  EXPECT_NE(s.text.Find("10", kSun), nullptr);
  EXPECT_NE(s.text.Find("13", kSun), nullptr);
  const auto* thirty = s.text.Find("30", kDay);
  ASSERT_NE(thirty, nullptr);
  EXPECT_EQ(thirty->x, 29 * 29 + 6 + 3);
  EXPECT_EQ(s.text.Count("31"), 0);
  // Another month than today's marks no day as today.
  EXPECT_FALSE(RectHasColor(f, s.layout.MonthLine().Rect, kToday));
}

TEST(RenderMonthLine, TodayIsFramedAndEveryTextShadowedWhenAsked) {
  Scene s;
  Plain(s);
  QStringList lines = kHorizontalApril;
  lines.replace(lines.indexOf("MonthLine.MonthID = 4"), "MonthLine.MonthID = 0");
  ASSERT_TRUE(s.LoadLayout(LayoutOf(lines)));
  ASSERT_TRUE(s.Render());
  const int plainCalls = int(s.text.calls.size());
  // March 7th: a frame around (3 + 6 x 29, 3, 3 + 7 x 29, height - 3), the texts in TodayColor.
  EXPECT_EQ(PixelAt(s.Frame(), 10 + 3 + 6 * 29, 20 + 3), kToday);
  EXPECT_EQ(PixelAt(s.Frame(), 10 + 3 + 7 * 29 - 1, 20 + 46 - 4), kToday);
  EXPECT_EQ(PixelAt(s.Frame(), 10 + 3 + 6 * 29 + 1, 20 + 4), kBack);
  EXPECT_NE(s.text.Find("7", kToday), nullptr);
  EXPECT_NE(s.text.Find("T", kToday), nullptr);

  s.ini.WorkStyle.DayShadow = 2;
  ASSERT_TRUE(s.Render(false));
  EXPECT_EQ(int(s.text.calls.size()), 2 * plainCalls);
  for (size_t i = 0; i + 1 < s.text.calls.size(); i += 2) {
    const auto& shadow = s.text.calls[i];
    const auto& text = s.text.calls[i + 1];
    EXPECT_EQ(shadow.color, kShadow);
    EXPECT_EQ(shadow.text, text.text);
    EXPECT_EQ(shadow.x, text.x + 2);
    EXPECT_EQ(shadow.y, text.y + 2);
  }
  // The frame's shadow lies 2 pixels right and down, under the frame itself.
  EXPECT_EQ(PixelAt(s.Frame(), 10 + 3 + 7 * 29 - 1 + 2, 20 + 10), kShadow);
  EXPECT_EQ(PixelAt(s.Frame(), 10 + 3 + 6 * 29, 20 + 3), kToday);
}

TEST(RenderMonthLine, AVerticalLineHasOneRowPerDayWithTheWholeDayName) {
  Scene s;
  Plain(s);
  ASSERT_TRUE(s.LoadLayout(LayoutOf({"MonthLine.Visible = True", "MonthLine.Anchors = [akLeft, akTop]",
                                     "MonthLine.Height.ValueType = lsScr", "MonthLine.MonthID = 4"})));
  ASSERT_TRUE(s.Render());
  const int R = s.state.DayRowHeight, space = s.ini.WorkStyle.DaySpace;
  const TRect r = s.layout.MonthLine().Rect;
  EXPECT_EQ(r.Width(), TKVFixedTextHelper::Advance(FontAtPoints(s.ini.WorkStyle.DayFont, s.state.CalendarFontSize, 96)) * 2 +
                           s.state.DayNameWidth + 34);
  const auto* mon = s.text.Find("Mon", kDay);
  ASSERT_NE(mon, nullptr);
  EXPECT_EQ(mon->x, 12);
  EXPECT_EQ(mon->y, 3 + space);
  const auto* sun = s.text.Find("Sun", kSun);
  ASSERT_NE(sun, nullptr);
  EXPECT_EQ(sun->y, 6 * R + 3 + space);
  const auto* seven = s.text.Find("7", kSun);
  ASSERT_NE(seven, nullptr);
  EXPECT_EQ(seven->x, s.state.DayNameWidth + 22);
  // Row backgrounds across the whole width.
  EXPECT_EQ(PixelAt(s.Frame(), r.Left + r.Width() - 4, r.Top + 3 + 5 * R + 1), kSatBack);
  EXPECT_EQ(PixelAt(s.Frame(), r.Left + 1, r.Top + 3 + 6 * R + 1), kSunBack);
}

// ---------------------------------------------------------------------------------------------
// Title

TEST(RenderTitle, TheEngravingsStrengthFollowsTheMonthContrast) {
  for (int contrast : {130, 0}) {
    Scene s;
    Plain(s);
    s.SetPicture(Solid(8, 8, Qt::black));
    s.ini.WorkStyle.MonthContrast = contrast;
    ASSERT_TRUE(s.LoadLayout(LayoutOf({"MonthYear.Visible = True", "MonthYear.Anchors = [akLeft, akTop]",
                                       "MonthYear.Width.ValueType = lsCalc", "MonthYear.Height.ValueType = lsCalc",
                                       "MonthYear.XSpace.Value = 10", "MonthYear.YSpace.Value = 10"})));
    ASSERT_TRUE(s.Render());
    int brightest = 0, coloured = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 1024; ++x) {
        const TColor c = PixelAt(s.Frame(), x, y);
        coloured += GetRValue(c) != GetBValue(c) || GetRValue(c) != GetGValue(c);
        brightest = std::max(brightest, GetRValue(c));
      }
    EXPECT_EQ(coloured, 0);
    EXPECT_EQ(brightest, 50 + contrast);
  }
}

// ---------------------------------------------------------------------------------------------
// Month grids

TEST(RenderMonthBox, CellsBandsHolidaysAndTodayOfTheCurrentMonth) {
  Scene s;
  Plain(s);
  ASSERT_TRUE(s.LoadLayout(LayoutOf(BoxAt(1, 0) + BoxAt(2, 4, 400))));
  s.AddHoliday("2024/03/23", schOnce);  // a Saturday
  s.AddHoliday("2024/03/13", schOnce);  // a Wednesday
  ASSERT_TRUE(s.Render());
  const TKVBitmap& f = s.Frame();
  EXPECT_EQ(s.layout.MonthBox(1).Rect, (TRect{100, 50, 295, 216}));
  // Cw 27, Ch 20: the title band is 23 pixels high.
  EXPECT_EQ(PixelAt(f, 100 + 31, 50 + 22), kSatBack);
  EXPECT_EQ(PixelAt(f, 100 + 31, 50 + 23), kBack);
  EXPECT_EQ(PixelAt(f, 100 + 4, 50 + 23), kSunBack);            // Sunday column
  EXPECT_EQ(PixelAt(f, 100 + 3 + 6 * 27 + 1, 50 + 23), kSatBack);  // Saturday column
  // March 1st is a Friday: day 13 in row 2 of the weeks, column 4; day 23 in row 3, column 7.
  EXPECT_EQ(PixelAt(f, 100 + 3 + 3 * 27, 50 + 3 + 4 * 20), kSunBack);
  EXPECT_EQ(PixelAt(f, 100 + 3 + 6 * 27, 50 + 3 + 5 * 20), kSunBack);
  EXPECT_NE(s.text.Find("23", kSun), nullptr);
  EXPECT_NE(s.text.Find("13", kSun), nullptr);
  const auto* today = s.text.Find("7", kToday);
  ASSERT_NE(today, nullptr);
  EXPECT_EQ(today->x, 4 * 27 + 3 + 9);     // column 5, (27 - 8) div 2
  EXPECT_EQ(today->y, 2 + 2 * 20 + 20 + 3);  // Ty 2, second week row
  EXPECT_NE(s.text.Find("March 2024", kToday), nullptr);
  EXPECT_NE(s.text.Find("April 2024", kDay), nullptr);
  // The current month's box is framed on the picture, April's is not.
  EXPECT_EQ(PixelAt(f, 100, 50), kToday);
  EXPECT_EQ(PixelAt(f, 294, 215), kToday);
  EXPECT_FALSE(RectHasColor(f, s.layout.MonthBox(2).Rect, kToday));
}

TEST(RenderMonthBox, MondayFirstPutsSundayInTheSeventhColumn) {
  Scene s;
  Plain(s);
  s.state.FirstDayOfWeek = 2;
  ASSERT_TRUE(s.LoadLayout(LayoutOf(BoxAt(1, 9))));  // September 2024 starts on a Sunday
  ASSERT_TRUE(s.Render());
  QStringList header;
  for (const auto& c : s.text.calls)
    if (c.y == 20 + 3 + 2) header << c.text;
  EXPECT_EQ(header, QStringList({"M", "T", "W", "T", "F", "S", "S"}));
  const auto* sunday = s.text.Find("S", kSun);
  ASSERT_NE(sunday, nullptr);
  EXPECT_EQ(sunday->x, 3 + 6 * 27 + 9);
  const auto* first = s.text.Find("1", kSun);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->x, 6 * 27 + 3 + 9);
  EXPECT_EQ(first->y, 2 + 2 * 20 + 3);
  EXPECT_EQ(PixelAt(s.Frame(), 100 + 3 + 6 * 27 + 1, 50 + 30), kSunBack);
  EXPECT_EQ(PixelAt(s.Frame(), 100 + 3 + 5 * 27 + 1, 50 + 30), kSatBack);
  EXPECT_EQ(PixelAt(s.Frame(), 100 + 3 + 1, 50 + 30), kBack);
}

TEST(RenderMonthBox, BevelsBlendTowardsTheBackgroundHalvesToEven) {
  struct Probe {
    int x, y;
    TColor raised, lowered;
  };
  // Outer, middle and inner frames of a 195 x 166 box with BackColor (10, 20, 30); a half goes to
  // the even neighbour, so a raised 0.5 mix and a lowered one are not mirror images.
  const Probe probes[] = {{0, 50, RGB(194, 196, 199), RGB(2, 5, 8)},   {1, 50, RGB(133, 137, 143), RGB(5, 10, 15)},
                          {2, 50, RGB(71, 79, 86), RGB(8, 15, 22)},    {194, 50, RGB(2, 5, 8), RGB(194, 196, 199)},
                          {193, 50, RGB(5, 10, 15), RGB(132, 138, 142)}, {192, 50, RGB(8, 15, 22), RGB(71, 79, 86)},
                          {50, 0, RGB(194, 196, 199), RGB(2, 5, 8)},   {50, 165, RGB(2, 5, 8), RGB(194, 196, 199)},
                          {194, 0, RGB(2, 5, 8), RGB(194, 196, 199)},  {0, 165, RGB(194, 196, 199), RGB(2, 5, 8)},
                          {1, 164, RGB(133, 137, 143), RGB(5, 10, 15)}, {2, 164, RGB(5, 10, 15), RGB(132, 138, 142)}};
  for (int style : {2, 1, 0}) {
    Scene s;
    Plain(s);
    s.ini.WorkStyle.BevelStyle = style;
    ASSERT_TRUE(s.LoadLayout(LayoutOf(BoxAt(1, 4))));
    ASSERT_TRUE(s.Render());
    for (const Probe& p : probes) {
      if (style == 0) break;
      const TColor got = PixelAt(s.Frame(), 100 + p.x, 50 + p.y);
      EXPECT_EQ(got, style == 2 ? p.raised : p.lowered) << style << ": " << p.x << "," << p.y;
    }
    if (style == 0) {
      EXPECT_EQ(PixelAt(s.Frame(), 100, 100), kBack);
      EXPECT_EQ(PixelAt(s.Frame(), 294, 100), kBack);
    }
  }
}

TEST(RenderMonthBox, ItemsAreBlendedAtTheBarTransparencyAndTextsStayOpaque) {
  for (int t : {40, 50, 0}) {
    Scene s;
    Plain(s);
    s.ini.WorkStyle.MonthBarTransparency = t;
    s.ini.WorkStyle.BackColor = RGB(11, 20, 30);
    ASSERT_TRUE(s.LoadLayout(LayoutOf(BoxAt(1, 4))));
    ASSERT_TRUE(s.Render());
    // An empty cell of the last week row.
    const TColor cell = PixelAt(s.Frame(), 100 + 31, 50 + 150);
    // 100 - 44.5 goes to the even 56.
    EXPECT_EQ(cell, t == 40 ? RGB(64, 68, 72) : t == 50 ? RGB(56, 60, 65) : kGrey) << t;
    // Texts are opaque whatever the transparency.
    const auto* two = s.text.Find("2", kDay);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(PixelAt(s.Frame(), 100 + two->x + 1, 50 + two->y + 1), kDay);
  }
}

// ---------------------------------------------------------------------------------------------
// Mended edge cases

TEST(RenderMend, ItemsWithoutPixelsAreSkippedAndHugeItemsDrawOnlyWhatIsSeen) {
  Scene empty;
  Plain(empty);
  ASSERT_TRUE(empty.Render());
  for (const QStringList& lines : {QStringList{"MonthBox1.Visible = True", "MonthBox1.Width.Value = -50",
                                               "MonthBox1.Height.Value = 170", "MonthBox1.MonthID = 4"},
                                   QStringList{"MonthLine.Visible = True", "MonthLine.Horz = True",
                                               "MonthLine.Width.Value = 400", "MonthLine.Height.Value = 0"},
                                   QStringList{"MonthYear.Visible = True", "MonthYear.Anchors = [akLeft, akTop]",
                                               "MonthYear.Width.Value = 300", "MonthYear.Height.Value = 50",
                                               "MonthYear.XSpace.Value = 5000"}}) {
    Scene s;
    Plain(s);
    ASSERT_TRUE(s.LoadLayout(LayoutOf(lines)));
    EXPECT_NO_THROW(s.Render());
    EXPECT_EQ(FrameHash(s.Frame()), FrameHash(empty.Frame()));
  }
  Scene huge;
  Plain(huge);
  huge.ini.WorkStyle.BevelStyle = 2;
  ASSERT_TRUE(huge.LoadLayout(LayoutOf({"MonthBox1.Visible = True", "MonthBox1.Anchors = [akLeft, akTop]",
                                        "MonthBox1.Width.Value = 100000000", "MonthBox1.Height.Value = 100000000",
                                        "MonthBox1.MonthID = 4"})));
  QElapsedTimer t;
  t.start();
  ASSERT_NO_THROW(huge.Render());
  EXPECT_LT(t.elapsed(), 20000);
  EXPECT_EQ(PixelAt(huge.Frame(), 0, 0), RGB(194, 196, 199));
}

TEST(RenderMend, AnItemPartlyOffTheScreenShowsTheSamePixelsAsOnIt) {
  const auto frame = [](const QStringList& lines) {
    auto s = std::make_unique<Scene>();
    Plain(*s);
    s->ini.WorkStyle.BevelStyle = 1;
    s->ini.WorkStyle.MonthBarTransparency = 60;
    s->ini.WorkStyle.DayShadow = 2;
    EXPECT_TRUE(s->LoadLayout(LayoutOf(lines)));
    s->Render();
    return s;
  };
  const QStringList title = {"MonthYear.Visible = True", "MonthYear.Anchors = [akLeft, akTop]",
                             "MonthYear.Width.ValueType = lsCalc", "MonthYear.Height.ValueType = lsCalc",
                             "MonthYear.YSpace.Value = 300"};
  const auto on = frame(BoxAt(1, 4, 100, 50) + title + QStringList{"MonthYear.XSpace.Value = 300"});
  const auto off = frame(BoxAt(1, 4, -50, -20) + title + QStringList{"MonthYear.XSpace.Value = -40"});
  const TRect box = on->layout.MonthBox(1).Rect, title1 = on->layout.MonthYear().Rect;
  ASSERT_GT(title1.Width(), 60);
  for (int y = 0; y < box.Height() - 20; ++y)
    for (int x = 0; x < box.Width() - 50; ++x)
      ASSERT_EQ(PixelAt(off->Frame(), x, y), PixelAt(on->Frame(), box.Left + 50 + x, box.Top + 20 + y)) << x << "," << y;
  for (int y = 0; y <= title1.Height(); ++y)
    for (int x = 0; x <= title1.Width() - 40; ++x)
      ASSERT_EQ(PixelAt(off->Frame(), x, 300 + y), PixelAt(on->Frame(), 340 + x, 300 + y)) << x << "," << y;
}

// ---------------------------------------------------------------------------------------------
// Sponsor picture

namespace {

struct SponsorScene : Scene {
  SponsorScene() {
    Plain(*this);
    packImages.Add();
    TKVBitmapList& strip = packImages.Add();
    strip.AddBitmap(Solid(40, 30, Qt::white));
    QImage half = Solid(40, 30, QColor(0, 200, 0));
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 20; ++x) half.setPixel(x, y, qRgb(255, 0, 255));
    strip.AddBitmap(half);
    for (int i = 0; i < 2; ++i) pack.Ads.Add()->TransparentColor = clNone;
    ini.ShowNotes = true;
    ini.ShowNotesOptions = 0;
    Anchors("[]");
  }
  void Anchors(const QString& a) {
    layout.LoadLayout(LayoutOf({"SponsorImage.Visible = True", "SponsorImage.Anchors = " + a,
                                "SponsorImage.Width.ValueType = lsCalc", "SponsorImage.Height.ValueType = lsCalc",
                                "SponsorImage.XSpace.Value = 20", "SponsorImage.YSpace.Value = 10",
                                "Notes.Visible = True"}));
  }
  // Drawn 30 pixels (the taskbar) above its bottom-anchored rectangle 964, 728.
  TColor At(int dx, int dy) { return PixelAt(Frame(), 964 + dx, 698 + dy); }
};

}  // namespace

TEST(RenderSponsor, DrawnOnlyWhenNoNotesAreShown) {
  SponsorScene s;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.layout.SponsorImage().Rect, (TRect{964, 728, 1004, 758}));
  EXPECT_EQ(s.At(5, 5), kGrey);
  s.ini.ShowNotes = false;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.At(5, 5), clWhite);
  EXPECT_EQ(s.At(39, 29), clWhite);
  EXPECT_EQ(s.At(5, 30), kGrey);
  s.ini.ShowNotes = true;
  s.ini.ShowNotesOptions = 3;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.At(5, 5), clWhite);
  s.pack.ShowSponsorImg = false;
  ASSERT_TRUE(s.Render());
  const QString without = FrameHash(s.Frame());
  s.pack.ShowSponsorImg = true;
  for (int no : {2, -1, 7}) {
    s.ini.SponsorNo = no;
    ASSERT_TRUE(s.Render());
    EXPECT_EQ(FrameHash(s.Frame()), without) << no;
  }
}

TEST(RenderSponsor, EngravedTransparentOrSolidAndPlacedByItsAnchors) {
  SponsorScene s;
  s.ini.ShowNotes = false;
  s.SetPicture(Solid(8, 8, Qt::black));
  s.pack.Ads[0]->BlendImage = true;
  s.pack.Ads[0]->BlendContrast = 100;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.At(-1, -1), RGB(150, 150, 150));  // the light copy one pixel up and left
  EXPECT_EQ(s.At(10, 10), RGB(150, 150, 150));
  EXPECT_EQ(s.At(39, 29), clBlack);
  s.pack.Ads[0]->BlendContrast = 205;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.At(10, 10), clWhite);

  s.SetPicture(Solid(8, 8, QColor(100, 100, 100)));
  s.ini.SponsorNo = 1;
  s.pack.Ads[1]->TransparentColor = RGB(255, 0, 255);
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.At(5, 5), kGrey);
  EXPECT_EQ(s.At(30, 5), RGB(0, 200, 0));
  s.pack.Ads[1]->TransparentColor = clNone;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.At(5, 5), RGB(255, 0, 255));

  s.Anchors("[akTop]");
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(PixelAt(s.Frame(), 964 + 5, 10), RGB(255, 0, 255));
  EXPECT_EQ(PixelAt(s.Frame(), 964 + 5, 9), kGrey);
}

// ---------------------------------------------------------------------------------------------
// Drawing and hand-over

TEST(RenderHandOver, ADrawingIsHandedOverMarkedDirtyAndSaved) {
  Scene s(QDateTime(QDate(2025, 12, 31), QTime(23, 59, 58)));
  int handOvers = 0;
  s.state.OnHandOver = [&handOvers] { ++handOvers; };
  s.state.DropPicture();
  DeleteSavedImageIndex();
  s.ini.ImageIndex = 4;  // beyond the one used picture: reset and saved with the settings
  s.in.UsedImages = {"whatever.bmp"};
  ASSERT_TRUE(s.Render());
  EXPECT_TRUE(s.state.Dirty);
  EXPECT_EQ(handOvers, 1);
  EXPECT_EQ(s.state.Preview.Width(), 1024);
  EXPECT_EQ(s.state.LastRenderDay, 31);
  EXPECT_EQ(s.state.LastRenderDate, QDate(2025, 12, 31));
  EXPECT_EQ(CurrentYear, 2025);
  EXPECT_EQ(CurrentMonth, 12);
  int saved = -1;
  EXPECT_TRUE(SavedImageIndex(&saved));
  EXPECT_EQ(saved, 0);
  // Dirty is set again even for the very same picture.
  s.state.Dirty = false;
  const QString before = FrameHash(s.Frame());
  ASSERT_TRUE(s.Render(false));
  EXPECT_TRUE(s.state.Dirty);
  EXPECT_EQ(FrameHash(s.Frame()), before);
}

TEST(RenderHandOver, BusyOrAFailingDrawingLeavesEverythingAsItWas) {
  Scene s;
  s.state.Busy = true;
  s.state.DropPicture();
  s.state.LastRenderDay = 3;
  DeleteSavedImageIndex();
  EXPECT_FALSE(s.Render());
  EXPECT_TRUE(s.state.Preview.Empty());
  EXPECT_FALSE(s.state.Dirty);
  EXPECT_EQ(s.state.CurrentPicture, nullptr);
  EXPECT_EQ(s.state.LastRenderDay, 3);
  EXPECT_FALSE(SavedImageIndex());

  s.state.Busy = false;
  s.SetPicture(DrawPicture(100, 100));
  ASSERT_TRUE(s.Render());
  const QString first = FrameHash(s.Frame());
  s.state.Dirty = false;
  DeleteSavedImageIndex();
  s.in.DrawNotes = [](TRenderContext&) { throw EKVError("notes failed"); };
  s.ini.ImagePosition = 1;
  EXPECT_THROW(s.Render(), EKVError);
  EXPECT_EQ(FrameHash(s.Frame()), first);
  EXPECT_FALSE(s.state.Dirty);
  EXPECT_FALSE(SavedImageIndex());
}

TEST(RenderHandOver, ADrawingAskedForFromInsideADrawingDoesNothing) {
  Scene s;
  ASSERT_TRUE(s.Render());
  const QString alone = FrameHash(s.Frame());
  // The notes phase and the hand-over's listener ask for drawings of their own (a repaint that
  // draws, a nested event loop): they are refused and the outer drawing is what comes out.
  int inner = 0, refused = 0, handOvers = 0;
  s.in.DrawNotes = [&](TRenderContext&) {
    ++inner;
    if (!RenderCalendar(s.state, s.in, true)) ++refused;
  };
  s.state.OnHandOver = [&] {
    ++handOvers;
    ++inner;
    if (!RenderCalendar(s.state, s.in, false)) ++refused;
  };
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(inner, 2);
  EXPECT_EQ(refused, 2);
  EXPECT_EQ(handOvers, 1);
  EXPECT_EQ(FrameHash(s.Frame()), alone);
  EXPECT_FALSE(s.state.Drawing);
  // A drawing that fails lets the next one run.
  s.in.DrawNotes = [](TRenderContext&) { throw EKVError("notes failed"); };
  EXPECT_THROW(s.Render(), EKVError);
  EXPECT_FALSE(s.state.Drawing);
  s.in.DrawNotes = nullptr;
  s.state.OnHandOver = nullptr;
  EXPECT_TRUE(s.Render());
}

// Drawings reuse the screen bitmap handed over the time before: what another holder of a
// preview sees never changes, every placement gives the pixels of a fresh state, and releasing
// frees it all.
TEST(RenderHandOver, ReusedScreenBitmapsGiveTheSamePixelsAndHeldPreviewsStay) {
  Scene s;
  s.SetPicture(DrawPicture(700, 500));
  for (int position : {0, 1, 2, 3, 4}) {
    s.ini.ImagePosition = position;
    ASSERT_TRUE(s.Render());
    const QImage held = s.Frame().Image();  // the full-screen view or the save holds the preview
    const QString heldHash = FrameHash(s.Frame());
    ASSERT_TRUE(s.Render(false));
    ASSERT_TRUE(s.Render(false));
    EXPECT_EQ(FrameHash(TKVBitmap(held)), heldHash) << position;
    EXPECT_EQ(FrameHash(s.Frame()), heldHash) << position;
    // A fresh state (no spare bitmap, no placed picture) draws the very same.
    Scene fresh;
    fresh.SetPicture(DrawPicture(700, 500));
    fresh.ini.ImagePosition = position;
    ASSERT_TRUE(fresh.Render());
    EXPECT_EQ(FrameHash(fresh.Frame()), heldHash) << position;
  }
  EXPECT_FALSE(s.state.Spare.Empty());
  s.state.ReleaseMemory();
  EXPECT_TRUE(s.state.Preview.Empty());
  EXPECT_TRUE(s.state.Spare.Empty());
  EXPECT_EQ(s.state.CurrentPicture, nullptr);
  // A spare of another size (the screen changed) is not drawn into.
  s.SetPicture(DrawPicture(700, 500));
  ASSERT_TRUE(s.Render());
  ASSERT_TRUE(s.Render(false));
  s.in.ScreenSize = QSize(800, 600);
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.Frame().Width(), 800);
  ASSERT_TRUE(s.Render(false));
  EXPECT_EQ(s.Frame().Height(), 600);
}

TEST(RenderHandOver, TheNotesHookRunsAfterTheGridsAndBeforeTheSponsor) {
  SponsorScene s;
  s.ini.ShowNotes = false;
  ASSERT_TRUE(s.LoadLayout(LayoutOf(BoxAt(1, 4, 600, 500) + QStringList{"SponsorImage.Visible = True",
                                    "SponsorImage.Anchors = []", "SponsorImage.Width.ValueType = lsCalc",
                                    "SponsorImage.Height.ValueType = lsCalc", "SponsorImage.XSpace.Value = 20",
                                    "SponsorImage.YSpace.Value = 10"})));
  QDate today;
  s.in.DrawNotes = [&](TRenderContext& c) {
    today = c.Today;
    // The month box is there, the sponsor not yet.
    EXPECT_EQ(PixelAt(c.WorkBitmap, 600 + 31, 500 + 150), kBack);
    EXPECT_EQ(PixelAt(c.WorkBitmap, 964 + 5, 698 + 5), kGrey);
    EXPECT_TRUE(c.ItemBackground(TRect{10, 10, 60, 40}, RGB(1, 2, 3)));
    c.Item.Text(5, 5, "x", kDay);
    c.Item.DrawOnto(c.WorkBitmap);
    EXPECT_FALSE(c.ItemBackground(TRect{10, 10, 10, 40}, RGB(1, 2, 3)));
  };
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(today, QDate(2024, 3, 7));
  EXPECT_EQ(PixelAt(s.Frame(), 11, 11), RGB(1, 2, 3));
  EXPECT_EQ(s.At(5, 5), clWhite);
}

// ---------------------------------------------------------------------------------------------
// Calendar font fitting

TEST(RenderFontFitting, ThirtyOneRowsOfDayNamesFitTheWorkArea) {
  TKVFixedTextHelper fixed;
  TKVTextHelperScope scope(fixed);
  TFont font;
  const QLocale en(QLocale::English, QLocale::UnitedStates);
  // 15 points are 20 pixels: (4 + 20) x 31 + 6 = 750 < 768; 16 points (21 pixels) give 781.
  TCalendarFontMetrics m = FitCalendarFont(font, 2, 768, 96, en);
  EXPECT_EQ(m.CalendarFontSize, 15);
  EXPECT_EQ(m.DayNameWidth, 30);
  EXPECT_EQ(m.DayRowHeight, 24);
  EXPECT_EQ(FitCalendarFont(font, 0, 2000, 96, en).CalendarFontSize, 18);
  m = FitCalendarFont(font, 4, 10, 96, en);
  EXPECT_EQ(m.CalendarFontSize, 1);
  EXPECT_EQ(m.DayRowHeight, 1 + 8);
}

// ---------------------------------------------------------------------------------------------
// Screen resolution: points are converted at the screen's pixels per inch

TEST(RenderScale, PointsConvertAtThePixelsPerInchGiven) {
  TFont font;
  EXPECT_EQ(FontAtPoints(font, 10, 96).pixelSize(), 13);
  EXPECT_EQ(FontAtPoints(font, 10, 144).pixelSize(), 20);
  EXPECT_EQ(FontAtPoints(font, 10, 192).pixelSize(), 27);
  EXPECT_EQ(FontAtPoints(font, 10, 0).pixelSize(), 13);  // unknown: 96
  TKVFixedTextHelper fixed;
  TKVTextHelperScope scope(fixed);
  const QLocale en(QLocale::English, QLocale::UnitedStates);
  // At 192: 7 points are 19 pixels, (4 + 19) x 31 + 6 = 719 < 768; 8 points (21 pixels) give 781.
  TCalendarFontMetrics m = FitCalendarFont(font, 2, 768, 192, en);
  EXPECT_EQ(m.CalendarFontSize, 7);
  EXPECT_EQ(m.DayRowHeight, 23);
  EXPECT_EQ(m.DayNameWidth, 3 * 9);
  // The 18-point cap is 48 pixels there.
  m = FitCalendarFont(font, 0, 2000, 192, en);
  EXPECT_EQ(m.CalendarFontSize, 18);
  EXPECT_EQ(m.DayRowHeight, 48);
}

TEST(RenderScale, TheMonthLineAndTitleFollowThePixelsPerInchOfTheInputs) {
  Scene s(QDateTime(QDate(2024, 3, 7), QTime(9, 30)), QSize(2048, 1536));
  Plain(s);
  s.in.PixelsPerInch = 192;
  {
    TKVTextHelperScope scope(s.text);
    FitCalendarFont(s.state, s.ini.WorkStyle.DayFont, s.ini.WorkStyle.DaySpace, 1476, 192, s.in.Locale);
  }
  // 16 points at 192 are 43 pixels: (4 + 43) x 31 + 6 = 1463 < 1476.
  ASSERT_EQ(s.state.CalendarFontSize, 16);
  ASSERT_TRUE(s.LoadLayout(LayoutOf({"MonthLine.Visible = True", "MonthLine.Anchors = [akLeft, akTop]",
                                     "MonthLine.Height.ValueType = lsScr", "MonthLine.MonthID = 4",
                                     "MonthYear.Visible = True", "MonthYear.Anchors = [akLeft, akTop]",
                                     "MonthYear.Width.ValueType = lsCalc", "MonthYear.Height.ValueType = lsCalc",
                                     "MonthYear.SXPos = '0,'"})));
  ASSERT_TRUE(s.Render());
  // Two digits of 21 pixels, the widest day name (3 x 21) and the margins.
  EXPECT_EQ(s.layout.MonthLine().Rect.Width(), 2 * 21 + 63 + 34);
  const auto* sun = s.text.Find("Sun", kSun);
  ASSERT_NE(sun, nullptr);
  EXPECT_EQ(sun->y, 6 * 47 + 3 + 2);
  // The title's font: 32 points at 192 are 85 pixels, doubled for measuring and halved again.
  EXPECT_EQ(s.layout.MonthYear().Rect.Height(), 85 + 6);
  EXPECT_EQ(s.layout.MonthYear().Rect.Width(), (QString("April 2024").size() + 1) * 85 / 2 + 6);
}
