// Whole calendars at 1024 x 768 compared by hash (fixed-metric text), each with another layout,
// picture placement and colour set, and one drawn with the real fonts compared with a tolerance.
#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include "tests/calendar/RenderTestUtil.h"

using namespace rendertest;

namespace {

void Holidays(Scene& s) {
  s.AddHoliday("2024/03/15", schOnce, "Spring fair");
  s.AddHoliday("2024/12/25", schYearly, "Winter feast");
  s.AddHoliday("2025/01/01", schYearly, "New year");
}

// Layout 151, stretched picture, the user's colours with derived weekend backgrounds.
void Frame151(Scene& s) {
  ASSERT_TRUE(s.LoadLayout(LayoutText("layout151.txt")));
  Holidays(s);
}

const char* const kFrames[] = {"151-stretch-derived", "162-bestfit-pack-monday", "60-tile-own-flat",
                               "151-center-sponsor-yearend"};

QString DrawFrame(const QString& name) {
  const bool yearEnd = name.endsWith("yearend");
  Scene s(yearEnd ? QDateTime(QDate(2024, 12, 31), QTime(18, 0)) : QDateTime(QDate(2024, 3, 7), QTime(9, 30)));
  TCalendarStyle& st = s.ini.WorkStyle;
  if (name == "151-stretch-derived") {
    Frame151(s);
  } else if (name == "162-bestfit-pack-monday") {
    s.ini.ImagePosition = 0;
    s.SetPicture(DrawPicture(640, 400));
    st.UseDefaultColors = true;
    s.ini.PackDefaults.BackColor = 0x00603818;
    s.ini.PackDefaults.SundayColor = 0x0080C8FF;
    s.ini.PackDefaults.TodayColor = clYellow;
    st.BevelStyle = 1;
    st.MonthBarTransparency = 70;
    s.state.FirstDayOfWeek = 2;
    EXPECT_TRUE(s.LoadLayout(LayoutText("layout162.txt")));
    Holidays(s);
  } else if (name == "60-tile-own-flat") {
    s.ini.ImagePosition = 3;
    s.SetPicture(DrawPicture(300, 200));
    st.CalculateBackColors = false;
    st.BackColor = RGB(90, 30, 60);
    st.SaturdayBackColor = RGB(120, 60, 90);
    st.SundayBackColor = RGB(160, 90, 120);
    st.SundayColor = RGB(255, 220, 0);
    st.DayShadow = 0;
    st.BevelStyle = 0;
    st.MonthBarTransparency = 30;
    EXPECT_TRUE(s.LoadLayout(LayoutText("layout60.txt")));
    Holidays(s);
  } else {
    s.ini.ImagePosition = 1;
    s.SetPicture(DrawPicture(640, 480));
    s.ini.ShowNotes = false;
    st.DayShadow = 3;
    st.MonthContrast = 200;
    s.packImages.Add();
    QImage sponsor = Solid(120, 60, QColor(250, 250, 250));
    for (int y = 10; y < 50; ++y)
      for (int x = 10; x < 110; ++x) sponsor.setPixel(x, y, (x / 10 + y / 10) % 2 ? qRgb(255, 0, 255) : qRgb(200, 40, 40));
    s.packImages.Add().AddBitmap(sponsor);
    s.pack.Ads.Add()->TransparentColor = RGB(255, 0, 255);
    EXPECT_TRUE(s.LoadLayout(LayoutText("layout151.txt")));
    Holidays(s);
  }
  EXPECT_TRUE(s.Render());
  // KV_RENDER_DUMP names a folder to keep the frames in, for looking at them.
  if (qEnvironmentVariableIsSet("KV_RENDER_DUMP"))
    s.Frame().Image().save(qEnvironmentVariable("KV_RENDER_DUMP") + "/frame-" + name + ".png");
  return FrameHash(s.Frame());
}

}  // namespace

TEST(RenderFrames, WholeCalendarsDrawnWithFixedMetrics) {
  const char* const expected[] = {"2c1881faa76b06c0", "8c9d21880ce19476", "d196dc6993949a56", "a8dc525f14c4da19"};
  for (size_t i = 0; i < std::size(kFrames); ++i)
    EXPECT_EQ(DrawFrame(kFrames[i]).toStdString(), expected[i]) << kFrames[i];
}

TEST(RenderFrames, RecalculatingAndReusingTheLayoutDrawTheSame) {
  Scene s;
  Frame151(s);
  ASSERT_TRUE(s.Render(true));
  const QString first = FrameHash(s.Frame());
  ASSERT_TRUE(s.Render(false));
  EXPECT_EQ(FrameHash(s.Frame()), first);
  // A colour change without recalculation draws over the same rectangles.
  s.ini.WorkStyle.BackColor = RGB(0, 0, 128);
  ASSERT_TRUE(s.Render(false));
  EXPECT_NE(FrameHash(s.Frame()), first);
  EXPECT_EQ(s.layout.MonthLine().Rect.Width(), 905);
}

TEST(RenderFrames, RealFontsMatchTheReferencePicture) {
  Scene s;
  s.in.TextHelper = nullptr;
  FitCalendarFont(s.state, s.ini.WorkStyle.DayFont, s.ini.WorkStyle.DaySpace, 738, s.in.PixelsPerInch, s.in.Locale);
  Frame151(s);
  ASSERT_TRUE(s.Render());
  const QImage got = s.Frame().Image().convertToFormat(QImage::Format_RGB32);
  const QString reference = QFileInfo(QStringLiteral(KV_DATA_DIR "/../tests/calendar/golden/render151-real.png")).absoluteFilePath();
  if (qEnvironmentVariableIsSet("KV_UPDATE_GOLDEN")) got.save(reference);
  QImage want(reference);
  ASSERT_FALSE(want.isNull()) << reference.toStdString();
  want = want.convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(want.size(), got.size());
  // Font engines differ in hinting and antialiasing: a few pixels along glyph edges may move.
  qint64 differing = 0, total = 0;
  for (int y = 0; y < got.height(); ++y)
    for (int x = 0; x < got.width(); ++x) {
      const QRgb a = got.pixel(x, y), b = want.pixel(x, y);
      const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
      total += d;
      differing += d > 40;
    }
  EXPECT_LT(differing, got.width() * got.height() / 200);
  EXPECT_LT(double(total) / (got.width() * got.height()), 1.5);
}
