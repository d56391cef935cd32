// The built-in layouts on real screens, laid out by the layout engine with the fitted fonts of the
// default style: every visible item clear of a top panel band (40 pixels at 96 pixels per inch) and
// a bottom one (48), day numbers at least 12 pixels high, the vertical month line's 31 rows inside
// it, the months in reading order, boxes that hold their headings and a few lines; and all of
// them drawn over a photograph without a pixel in the bands.
#include <QFontMetrics>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <map>

#include "calendar/MirLayout.h"
#include "calendar/MirMonths.h"
#include "calendar/MirNotes.h"
#include "tests/calendar/LayoutTestUtil.h"
#include "tests/calendar/RenderTestUtil.h"

namespace {

struct ScreenCase {
  int W, H, Ppi;
};

// Every screen at 100 %; the two whose 200 % still leaves a desktop of at least 1280 x 720.
const ScreenCase kScreens[] = {{1366, 768, 96},   {1920, 1080, 96},  {2560, 1440, 96},
                               {3840, 2160, 96},  {2560, 1440, 192}, {3840, 2160, 192}};

int TopBand(int ppi) { return MulDiv(40, ppi, 96); }
int BottomBand(int ppi) { return MulDiv(48, ppi, 96); }

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
// The widest title of the year and the widest day heading.
const QString kTitle = QStringLiteral("September 2024");
const QString kHeading = QStringLiteral("Wednesday 9/25/24");

// A banner-sized sponsor picture in the pack's sponsor strip.
struct SponsorStrip {
  TKVBitmapObjectList images;
  SponsorStrip() {
    images.Add();
    images.Add().AddBitmap(rendertest::Solid(234, 60, Qt::white));
  }
};

// The layout on the screen as the program lays it out, the work area being what both panels
// leave: the calendar font fitted to the room of the vertical month line there.
TCalendarFontMetrics LayOut(TLayoutIni& l, const TCalendarStyle& style, const ScreenCase& sc,
                            const TKVBitmapObjectList& images) {
  const int room = MonthLineRoom(l, sc.H, TopBand(sc.Ppi), sc.H - BottomBand(sc.Ppi));
  const TCalendarFontMetrics fm = FitCalendarFont(style.DayFont, style.DaySpace, room, sc.Ppi, kEnglish);
  TLayoutMetrics m;
  m.ScreenWidth = sc.W;
  m.ScreenHeight = sc.H;
  m.DayFont = FontAtPoints(style.DayFont, fm.CalendarFontSize, sc.Ppi);
  m.TitleFont = FontAtPoints(style.DayFont, 2 * fm.CalendarFontSize, sc.Ppi);
  m.TitleFont.setPixelSize(2 * m.TitleFont.pixelSize());
  m.DayNameWidth = fm.DayNameWidth;
  m.DayRowHeight = fm.DayRowHeight;
  m.TitleText = kTitle;
  m.PackImages = &images;
  CalculateLayout(l, m);
  return fm;
}

int DigitHeight(const QFont& f) { return QFontMetrics(f).tightBoundingRect(QStringLiteral("0123456789")).height(); }

// Months in order: the previous, the shown and the next month, or January .. December.
int MonthOrder(int id) { return id == -101 ? -1 : id == 101 ? 13 : id; }

bool IsNotesBox(int i) { return i >= liNotes && i <= liWDayNotes7; }

QRect Q(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

}  // namespace

TEST(BuiltinLayoutScreens, ItemsClearThePanelsHoldTheirContentAndReadInOrder) {
  const QStringList texts = BuiltinLayoutTexts();
  ASSERT_EQ(texts.size(), 24);
  Tini ini;
  const TCalendarStyle& style = ini.WorkStyle;
  SponsorStrip sponsor;
  for (const ScreenCase& sc : kScreens) {
    const int top = TopBand(sc.Ppi), bottom = sc.H - BottomBand(sc.Ppi);
    const QFont font10 = FontAtPoints(style.DayFont, 10, sc.Ppi);
    const int lineHeight = TextHelper().TextHeight(font10, kMeasuringText) + 4;
    const int headingWidth = TextHelper().TextWidth(font10, kHeading) + 2 * 6;
    for (const QString& text : texts) {
      TLayoutIni l;
      ASSERT_TRUE(l.LoadLayout(text));
      const TCalendarFontMetrics fm = LayOut(l, style, sc, sponsor.images);
      SCOPED_TRACE(QString("layout %1 on %2x%3 at %4 ppi").arg(l.LayoutID).arg(sc.W).arg(sc.H).arg(sc.Ppi).toStdString());
      std::vector<int> shown;
      for (int i = 0; i < 24; ++i) {
        const TLayoutItem& item = *l.LayoutItems[size_t(i)];
        if (item.Visible && item.Rect.Width() > 0 && item.Rect.Height() > 0) shown.push_back(i);
      }
      ASSERT_GE(shown.size(), 2u);

      for (int i : shown) {
        const TRect& r = l.LayoutItems[size_t(i)]->Rect;
        // The today frame's shadow reaches past the item by the largest day shadow.
        EXPECT_TRUE(r.Left >= 0 && r.Right + kMaxDayShadow <= sc.W && r.Top >= top && r.Bottom + kMaxDayShadow <= bottom)
            << "item " << i << " at " << r.Left << "," << r.Top << " .. " << r.Right << "," << r.Bottom;
        for (int j : shown) {
          // The sponsor picture is drawn only while no notes box is.
          const bool apart = j > i && !(j == liSponsorImage && IsNotesBox(i));
          if (apart) {
            EXPECT_FALSE(Q(r).intersects(Q(l.LayoutItems[size_t(j)]->Rect))) << "items " << i << " and " << j;
          }
        }
      }

      // Day numbers and the rows of the month line.
      const TMonthLine& line = l.MonthLine();
      if (line.Visible) {
        const QFont base = FontAtPoints(style.DayFont, fm.CalendarFontSize, sc.Ppi);
        if (line.Horz) {
          const int C = (line.Rect.Width() - 6) / 31, Hh = (line.Rect.Height() - 6) / 2;
          EXPECT_GE(DigitHeight(FitTextFont(base, Hh - 4, C)), 12) << "month line";
        } else {
          EXPECT_GE(DigitHeight(base), 12) << "month line";
          EXPECT_LE(31 * fm.DayRowHeight + 6, line.Rect.Height()) << "rows of the month line";
        }
      }
      std::vector<std::pair<int, QRect>> months;
      for (int b = 1; b <= 12; ++b) {
        const TMonthBox& box = l.MonthBox(b);
        if (!box.Visible) continue;
        const int Cw = (box.Rect.Width() - 6) / 7, Ch = (box.Rect.Height() - 6) / 8;
        EXPECT_GE(DigitHeight(FitTextFont(style.DayFont.ToQFont(), Ch - 4, Cw)), 12) << "month box " << b;
        months.push_back({MonthOrder(box.MonthID), Q(box.Rect)});
      }
      std::sort(months.begin(), months.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      for (size_t k = 1; k < months.size(); ++k) {
        const QRect &a = months[k - 1].second, &b = months[k].second;
        const bool sameRow = a.top() <= b.bottom() && b.top() <= a.bottom();
        EXPECT_TRUE(sameRow ? b.left() > a.right() : b.top() > a.bottom())
            << "month " << months[k].first << " does not follow month " << months[k - 1].first;
      }

      // Notes boxes hold their heading and some lines; a week-day box its day's heading.
      const auto holds = [&](const TLayoutItem& item, int lines, const char* what) {
        if (!item.Visible) return;
        EXPECT_GE(item.Rect.Width(), headingWidth) << what;
        EXPECT_GE(item.Rect.Height(), lines * lineHeight + 12) << what;
      };
      holds(l.Notes(), 10, "notes box");
      holds(l.GeneralNotes(), 6, "general notes box");
      for (int d = 1; d <= 7; ++d) holds(l.WDayNotes(d), 4, "week-day box");
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Drawn over a photograph

namespace {

// Smooth value noise in 0 .. 1 on a unit lattice, summed over octaves.
class Noise {
 public:
  explicit Noise(quint32 key) {
    QRandomGenerator rng(key);
    for (float& v : values_) v = float(rng.generateDouble());
  }
  float At(double x, double y, int octaves) const {
    float sum = 0, weight = 0, amp = 1;
    for (int o = 0; o < octaves; ++o, x *= 2.03, y *= 2.03, amp *= 0.5f) {
      sum += amp * Lattice(x, y);
      weight += amp;
    }
    return sum / weight;
  }

 private:
  std::array<float, 256 * 256> values_;
  float V(int i, int j) const { return values_[size_t((i & 255) * 256 + (j & 255))]; }
  float Lattice(double x, double y) const {
    const int i = int(std::floor(x)), j = int(std::floor(y));
    const float fx = float(x - i), fy = float(y - j);
    const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const float a = V(i, j) + sx * (V(i + 1, j) - V(i, j));
    const float b = V(i, j + 1) + sx * (V(i + 1, j + 1) - V(i, j + 1));
    return a + sy * (b - a);
  }
};

QRgb Mix(QRgb a, QRgb b, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  return qRgb(int(qRed(a) + (qRed(b) - qRed(a)) * t), int(qGreen(a) + (qGreen(b) - qGreen(a)) * t),
              int(qBlue(a) + (qBlue(b) - qBlue(a)) * t));
}

// A mountain lake with a photograph's detail everywhere: clouds over a bright sky, snow and rock,
// a forest, rippled water mirroring them and a meadow; bright and dark areas under every band.
QImage DrawPhotograph(int W, int H) {
  const Noise n(7);
  QImage img(W, H, QImage::Format_RGB32);
  const double k = 1920.0 / W;  // the same picture at every size
  const auto ridge = [&](double x) { return 0.30 + 0.16 * n.At(x * k / 260.0, 3.5, 5) - 0.05 * std::sin(x / W * 5.0); };
  const auto land = [&](int x, int y) -> QRgb {
    const double u = x * k, v = y * k, t = double(y) / H, r = ridge(x);
    if (t < r) {  // sky and clouds
      const QRgb sky = Mix(qRgb(38, 92, 176), qRgb(196, 220, 240), float(t / 0.45));
      const float c = n.At(u / 210.0 + 40, v / 90.0, 6);
      return Mix(sky, Mix(qRgb(255, 255, 255), qRgb(150, 158, 170), n.At(u / 40.0, v / 40.0, 3)), (c - 0.48f) * 3.5f);
    }
    if (t < 0.56) {  // rock with snow on the heights
      const float g = n.At(u / 18.0, v / 30.0, 5);
      const QRgb rock = Mix(qRgb(70, 64, 60), qRgb(150, 140, 128), g);
      return Mix(rock, qRgb(245, 248, 252), float((r + 0.07 - t) * 14.0 + (g - 0.5) * 1.6));
    }
    const float f = n.At(u / 6.0, v / 22.0, 4);  // forest: dark trunks and lit crowns
    return Mix(qRgb(12, 40, 18), qRgb(80, 130, 52), f * f * 1.6f);
  };
  for (int y = 0; y < H; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    const double t = double(y) / H;
    for (int x = 0; x < W; ++x) {
      if (t < 0.68) {
        row[x] = land(x, y);
      } else if (x > W * (0.55 + 0.25 * n.At(y * k / 50.0, 9, 3)) || t > 0.9) {  // meadow
        const float g = n.At(x * k / 5.0, y * k / 3.0, 4);
        row[x] = Mix(qRgb(60, 92, 24), qRgb(206, 196, 86), g * g * 1.8f);
      } else {  // water: the shore mirrored, broken by ripples
        const double ripple = 6.0 * (n.At(x * k / 90.0, y * k / 4.0, 3) - 0.5) / k;
        const int my = std::clamp(int(2 * 0.68 * H - y + ripple * 4), 0, H - 1);
        const int mx = std::clamp(int(x + ripple * 3), 0, W - 1);
        row[x] = Mix(land(mx, my), qRgb(20, 46, 70), 0.35f + 0.2f * float(t - 0.68) * 5);
      }
    }
  }
  return img;
}

// A drawing of a layout as a user sees it: the default pack's colours, the default style with
// diary and quick notes shown, a week of entries and holidays, a sponsor; real fonts and editor.
struct Sheet : rendertest::Scene {
  TMNotesBase notes;
  std::map<QString, QString> diary;

  Sheet(const ScreenCase& sc, const QImage& photo)
      : Scene(QDateTime(QDate(2024, 9, 25), QTime(9, 30)), QSize(sc.W, sc.H)) {
    ini.WorkStyle.AssignStyle(Tini().WorkStyle);
    ini.WorkStyle.UseDefaultColors = true;
    ini.PackDefaults.BackColor = 0x00603818;
    ini.PackDefaults.SundayColor = 0x0080C8FF;
    ini.PackDefaults.TodayColor = clYellow;
    ini.ShowNotes = true;
    ini.ShowNotesOptions = 0;
    ini.ImagePosition = 0;
    in.PixelsPerInch = sc.Ppi;
    in.TextHelper = nullptr;
    in.NotesEditor = nullptr;
    in.DrawNotes = DrawNotesBoxes;
    in.QuickNotes = &notes;
    in.FindDiaryEntry = [this](const QString& key) -> std::optional<QString> {
      auto it = diary.find(key);
      return it == diary.end() ? std::nullopt : std::optional<QString>(it->second);
    };
    state.TaskbarHeight = BottomBand(sc.Ppi);
    SetPicture(photo);
    notes.QuickNote.List() = QStringList{
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Buy milk and bread\\par Call the garage about the brakes\\par "
        "{\\b Water the plants} on Friday\\par Book the train for the 12th\\par}"};
    pack.Ads.Add()->SponsorText = QStringLiteral("Pictures kindly lent by the mountain club");
    QImage banner = rendertest::Solid(234, 60, QColor(250, 245, 230));
    {
      QPainter p(&banner);
      p.setPen(QColor(120, 40, 20));
      p.setFont(QFont(QStringLiteral("DejaVu Sans"), 16, QFont::Bold));
      p.drawText(banner.rect(), Qt::AlignCenter, QStringLiteral("Mountain Club"));
    }
    packImages.Add();
    packImages.Add().AddBitmap(banner);
    AddHoliday("2024/09/22", schYearly, "Autumn equinox");
    AddHoliday("2024/09/27", schOnce, "Harvest fair in the old town");
    AddHoliday("2024/10/03", schYearly, "Day of unity");
    diary["2024/09/23"] = "Dentist at ten";
    diary["2024/09/25"] = "{\\rtf1\\ansi\\f0\\fs20 Team meeting at 9:30\\par Lunch with Ana\\par}";
    diary["2024/09/26"] = "Concert: bring the tickets";
    diary["2024/09/28"] = "Hike to the lake, leave at seven";
    diary["2024/10/02"] = "Renew the pass";
    sc_ = sc;
  }

  // Lays the layout out for this screen and draws it.
  bool Draw(const QString& layoutText) {
    if (!LoadLayout(layoutText)) return false;
    const TCalendarStyle& st = ini.WorkStyle;
    FitCalendarFont(state, st.DayFont, st.DaySpace, MonthLineRoom(layout, sc_.H, TopBand(sc_.Ppi), sc_.H - BottomBand(sc_.Ppi)),
                    sc_.Ppi, in.Locale);
    return Render();
  }

 private:
  ScreenCase sc_{};
};

// Rows of the frame that differ from the placed picture in the band [y0, y1).
int RowsTouched(const TKVBitmap& frame, const TKVBitmap& picture, int y0, int y1) {
  int touched = 0;
  for (int y = y0; y < y1; ++y)
    touched += memcmp(frame.ScanLine(y), picture.ScanLine(y), size_t(frame.Width()) * 3) != 0;
  return touched;
}

}  // namespace

TEST(BuiltinLayoutScreens, DrawnOverAPhotographNothingReachesThePanelBands) {
  const QStringList texts = BuiltinLayoutTexts();
  const QString sheetDir = qEnvironmentVariable("KV_CONTACT_SHEET");
  std::vector<ScreenCase> screens = {{1920, 1080, 96}, {2560, 1440, 192}};
  // KV_CONTACT_SHEET names a folder for every frame and a sheet of all of them per screen.
  if (!sheetDir.isEmpty()) screens = {{1920, 1080, 96}, {3840, 2160, 192}, {3840, 2160, 96}, {1366, 768, 96}};
  for (const ScreenCase& sc : screens) {
    const QImage photo = DrawPhotograph(sc.W, sc.H);
    QImage sheet(4 * 480, 6 * 270, QImage::Format_RGB32);
    QPainter painter(&sheet);
    for (int k = 0; k < texts.size(); ++k) {
      Sheet s(sc, photo);
      ASSERT_TRUE(s.Draw(texts[k]));
      SCOPED_TRACE(QString("layout %1 on %2x%3 at %4 ppi").arg(s.layout.LayoutID).arg(sc.W).arg(sc.H).arg(sc.Ppi).toStdString());
      const TKVBitmap& picture = s.state.CurrentPicture->Placed;
      ASSERT_EQ(picture.Width(), sc.W);
      EXPECT_EQ(RowsTouched(s.Frame(), picture, 0, TopBand(sc.Ppi)), 0);
      EXPECT_EQ(RowsTouched(s.Frame(), picture, sc.H - BottomBand(sc.Ppi), sc.H), 0);
      if (sheetDir.isEmpty()) continue;
      const QImage frame = s.Frame().Image();
      const QString name = QString("%1/layout%2-%3x%4-%5.png").arg(sheetDir).arg(s.layout.LayoutID).arg(sc.W).arg(sc.H).arg(sc.Ppi);
      frame.save(name);
      const QRect cell((k % 4) * 480, (k / 4) * 270, 480, 270);
      painter.drawImage(cell, frame.scaled(480, 270, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
      painter.fillRect(QRect(cell.topLeft(), QSize(60, 22)), QColor(0, 0, 0, 170));
      painter.setPen(Qt::white);
      painter.drawText(QRect(cell.topLeft(), QSize(60, 22)), Qt::AlignCenter, QString::number(s.layout.LayoutID));
    }
    painter.end();
    if (!sheetDir.isEmpty()) sheet.save(QString("%1/sheet-%2x%3-%4.png").arg(sheetDir).arg(sc.W).arg(sc.H).arg(sc.Ppi));
  }
}
