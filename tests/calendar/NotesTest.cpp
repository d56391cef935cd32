// The notes boxes: the notes box (sponsor text, quick notes, the coming days), the general notes
// box and the week-day boxes, their fitting rules, the more arrow and the sponsor picture beside
// them; whole calendars with notes compared by hash (fixed-metric text and a fixed-metric editor),
// and the cut at a whole line with the real rich-text editor.
#include <QApplication>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <map>
#include <set>

#include "calendar/MirNotes.h"
#include "controls/KVRichEdOLE.h"
#include "controls/KVRtfReader.h"
#include "foundation/KVRes.h"
#include "tests/calendar/RenderTestUtil.h"

using namespace rendertest;

namespace {

QString LayoutOf(const QStringList& lines) { return "object Lini: TLayoutIni\n  " + lines.join("\n  ") + "\nend\n"; }

QStringList ItemAt(const QString& name, int x, int y, int w, int h) {
  const QString p = name + ".";
  return {p + "Visible = True",
          p + "Anchors = [akLeft, akTop]",
          p + QString("Width.Value = %1").arg(w),
          p + QString("Height.Value = %1").arg(h),
          p + QString("XSpace.Value = %1").arg(x),
          p + QString("YSpace.Value = %1").arg(y)};
}

constexpr TColor kBack = RGB(10, 20, 30), kSatBack = RGB(40, 50, 60), kSunBack = RGB(70, 80, 90),
                 kDay = RGB(200, 200, 200), kToday = RGB(0, 0, 210), kShadow = RGB(1, 1, 1),
                 kGrey = RGB(100, 100, 100);
constexpr int kLine = 10;  // the fake editor's line height

// Rich text as lines of kLine pixels, one paragraph a line, each character but a blank a 3 x 8
// block in black; whole lines only, as the real editor fits them.
class TFakeNotesEditor : public TNotesEditor {
 public:
  explicit TFakeNotesEditor(int* made = nullptr) {
    if (made) ++*made;
  }
  void SetRTFText(const QString& text) override {
    QString plain = text;
    if (KVIsRtf(KVRtfBytes(text))) plain = KVRtfToText(KVRtfBytes(text)).value_or(QString());
    lines_ = plain.split(QRegularExpression("\r\n|[\r\n\v]"));
    while (!lines_.isEmpty() && lines_.last().isEmpty()) lines_.removeLast();
  }
  bool RenderToBitmap(TKVBitmap& b, int w, int h, int l, int t, int r, int bm) override {
    if (lines_.isEmpty()) {
      b.SetSize(w, 0);
      return true;
    }
    const int n = std::min<int>(int(lines_.size()), std::max(0, (h - t - bm) / kLine));
    if (n == 0) {
      b.SetSize(w, 0);
      return false;
    }
    b = TKVBitmap();
    b.BrushStyle = bsSolid;
    b.BrushColor = clWhite;
    b.SetSize(w, t + n * kLine);
    b.BrushColor = clBlack;
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < lines_[j].size(); ++k)
        if (lines_[j][k] != ' ' && l + k * 4 + 3 <= w - r) b.FillRect(TRect{l + k * 4, t + j * kLine + 1, l + k * 4 + 3, t + j * kLine + 9});
    b.BrushColor = clWhite;
    return n == lines_.size();
  }

 private:
  QStringList lines_;
};

// A scene with the notes hook, quick notes, a diary and the fake editor; items opaque, no bevel
// and no shadow over a plain grey picture unless a test says otherwise.
struct NotesScene : Scene {
  TMNotesBase notes;
  std::map<QString, QString> diary;
  int editorsMade = 0;
  int lookups = 0;

  explicit NotesScene(const QDateTime& now = QDateTime(QDate(2024, 3, 7), QTime(9, 30))) : Scene(now) {
    in.DrawNotes = DrawNotesBoxes;
    in.QuickNotes = &notes;
    in.FindDiaryEntry = [this](const QString& key) -> std::optional<QString> {
      ++lookups;
      auto it = diary.find(key);
      if (it == diary.end()) return std::nullopt;
      return it->second;
    };
    in.NotesEditor = [this] { return std::make_unique<TFakeNotesEditor>(&editorsMade); };
    TCalendarStyle& st = ini.WorkStyle;
    st.CalculateBackColors = false;
    st.BackColor = kBack;
    st.SaturdayBackColor = kSatBack;
    st.SundayBackColor = kSunBack;
    st.DayColor = kDay;
    st.TodayColor = kToday;
    st.DayShadowColor = kShadow;
    st.MonthBarTransparency = 100;
    st.NotesTransparency = 100;
    st.BevelStyle = 0;
    st.DayShadow = 0;
    ini.ShowNotes = true;
    SetPicture(Solid(64, 64, QColor(100, 100, 100)));
  }
  void QuickNote(const QStringList& lines) { notes.QuickNote.List() = lines; }
  void Sponsor(const QString& text) { pack.Ads.Add()->SponsorText = text; }
  // The notes box at (600, 40), 300 x 400.
  bool NotesBox(bool diaryOnly = false, int height = 400) {
    QStringList l = ItemAt("Notes", 600, 40, 300, height);
    l << (diaryOnly ? "Notes.DiaryOnly = True" : "Notes.DiaryOnly = False");
    return LoadLayout(LayoutOf(l));
  }
  // Text calls on the work bitmap, in order.
  std::vector<TRecordingTextHelper::Call> WorkTexts() const {
    std::vector<TRecordingTextHelper::Call> out;
    for (const auto& c : text.calls)
      if (c.width == 1024) out.push_back(c);
    return out;
  }
  int YOf(const QString& t) const {
    for (const auto& c : text.calls)
      if (c.text == t && c.width == 1024) return c.y;
    return -1;
  }
};

QString Heading(const QDate& d) { return DayHeading(QLocale(QLocale::English, QLocale::UnitedStates), d); }

bool RowIs(const TKVBitmap& b, int y, int x0, int x1, TColor c) {
  for (int x = x0; x < x1; ++x)
    if (PixelAt(b, x, y) != c) return false;
  return true;
}

// The arrow's pixels where it is drawn at (x, y) on white.
bool ArrowAt(const TKVBitmap& b, int x, int y) {
  const QImage& a = NotesArrow();
  for (int j = 0; j < a.height(); ++j)
    for (int i = 0; i < a.width(); ++i) {
      const QRgb p = a.pixel(i, j);
      const TColor want = qAlpha(p) ? RGB(qRed(p), qGreen(p), qBlue(p)) : clWhite;
      if (PixelAt(b, x + i, y + j) != want) return false;
    }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Which boxes are drawn, and the sponsor picture beside them

TEST(NotesBoxes, ModesDecideWhichBoxesAreDrawn) {
  NotesScene s;
  ASSERT_TRUE(s.LoadLayout(LayoutOf(ItemAt("Notes", 600, 40, 300, 400) + ItemAt("GeneralNotes", 100, 40, 300, 200) +
                                    ItemAt("WDayNotes3", 100, 300, 150, 120) + QStringList{"Notes.DiaryOnly = False"})));
  s.QuickNote({"note"});
  s.diary["2024/03/05"] = "tuesday";
  struct Case {
    bool show;
    int opt;
    bool notes, general, wday;
  } cases[] = {{true, 0, true, true, true},    {true, 1, true, true, false},   {true, 2, true, false, true},
               {true, 3, false, false, false}, {false, 0, false, false, false}};
  for (const Case& k : cases) {
    s.ini.ShowNotes = k.show;
    s.ini.ShowNotesOptions = k.opt;
    ASSERT_TRUE(s.Render());
    EXPECT_EQ(PixelAt(s.Frame(), 899, 439), k.notes ? kBack : kGrey) << k.opt << k.show;
    EXPECT_EQ(PixelAt(s.Frame(), 399, 239), k.general ? kBack : kGrey) << k.opt << k.show;
    EXPECT_EQ(s.text.Find(Heading(QDate(2024, 3, 5)), kDay) != nullptr, k.wday) << k.opt << k.show;
  }
  // A notes box for the diary alone is not drawn for the quick notes alone.
  ASSERT_TRUE(s.NotesBox(true));
  s.ini.ShowNotes = true;
  s.ini.ShowNotesOptions = 1;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(PixelAt(s.Frame(), 899, 439), kGrey);
  s.ini.ShowNotesOptions = 2;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(PixelAt(s.Frame(), 899, 439), kBack);
}

TEST(NotesBoxes, TheSponsorPictureIsDrawnExactlyWhenNoBoxIs) {
  NotesScene s;
  s.packImages.Add();
  s.packImages.Add().AddBitmap(Solid(40, 30, Qt::white));
  s.pack.Ads.Add()->TransparentColor = clNone;
  const QStringList sponsor = {"SponsorImage.Visible = True", "SponsorImage.Anchors = [akLeft, akTop]",
                               "SponsorImage.Width.ValueType = lsCalc", "SponsorImage.Height.ValueType = lsCalc",
                               "SponsorImage.XSpace.Value = 20", "SponsorImage.YSpace.Value = 10"};
  const auto sponsorShown = [&] {
    EXPECT_TRUE(s.Render());
    return PixelAt(s.Frame(), 25, 15) == clWhite;
  };
  ASSERT_TRUE(s.LoadLayout(LayoutOf(sponsor + ItemAt("Notes", 600, 40, 300, 400))));
  s.ini.ShowNotesOptions = 0;
  EXPECT_FALSE(sponsorShown());
  s.ini.ShowNotes = false;
  EXPECT_TRUE(sponsorShown());
  s.ini.ShowNotes = true;
  s.ini.ShowNotesOptions = 3;
  EXPECT_TRUE(sponsorShown());
  // A diary-only notes box with the quick notes alone is not drawn: the picture is.
  ASSERT_TRUE(s.LoadLayout(LayoutOf(sponsor + ItemAt("Notes", 600, 40, 300, 400) + QStringList{"Notes.DiaryOnly = True"})));
  s.ini.ShowNotesOptions = 1;
  EXPECT_TRUE(sponsorShown());
  // Week-day boxes other than the first count as well.
  ASSERT_TRUE(s.LoadLayout(LayoutOf(sponsor + ItemAt("WDayNotes4", 600, 40, 150, 120))));
  s.ini.ShowNotesOptions = 2;
  EXPECT_FALSE(sponsorShown());
  s.ini.ShowNotesOptions = 1;
  EXPECT_TRUE(sponsorShown());
}

// ---------------------------------------------------------------------------------------------
// The notes box

TEST(NotesBoxes, TheComingDaysShowInOrderWithTheirHolidaysAndEntries) {
  NotesScene s;
  ASSERT_TRUE(s.NotesBox());
  s.ini.ShowNotesOptions = 2;
  s.diary["2024/03/08"] = "friday";
  s.diary["2024/03/10"] = "sunday\r\nsecond line";
  s.diary["2024/03/20"] = "{\\rtf1 later\\par}";
  s.diary["2024/03/06"] = "yesterday";
  s.AddHoliday("2024/03/15", schOnce, "Spring fair");
  ASSERT_TRUE(s.Render());

  // Today has neither entry nor holiday: no heading, no frame.
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 7))), -1);
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 6))), -1);
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 9))), -1);
  // Heading (17 pixels: 13 and 4), then the entry's panel: 6 + 10 per line, and 6 more.
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 8))), 42);
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 10))), 42 + 17 + 22);
  const int fair = 42 + 2 * 17 + 22 + 32;
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 15))), fair);
  // The holiday's title in 8-point text (11 pixels), then 6, then a 12-pixel white band.
  EXPECT_EQ(s.YOf("Spring fair"), fair + 17);
  const int bandTop = fair - 2 + 17 + 11 + 2 + 6;
  EXPECT_TRUE(RowIs(s.Frame(), bandTop, 600, 900, clWhite));
  EXPECT_TRUE(RowIs(s.Frame(), bandTop + 11, 600, 900, clWhite));
  EXPECT_FALSE(RowIs(s.Frame(), bandTop + 12, 600, 900, clWhite));
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 20))), bandTop + 12 + 2);
  // The entry texts: the first panel sits right under its heading.
  EXPECT_EQ(PixelAt(s.Frame(), 606, 40 + 17 + 6 + 1), clBlack);
  EXPECT_EQ(PixelAt(s.Frame(), 606, 40 + 17 + 5), clWhite);
  // One editor for the whole box; a year of days looked up at most.
  EXPECT_EQ(s.editorsMade, 1);
  EXPECT_EQ(s.lookups, 366);
}

TEST(NotesBoxes, TodayIsFramedAndTheDaysStopWhereTheBoxEnds) {
  NotesScene s;
  ASSERT_TRUE(s.NotesBox(false, 200));
  s.ini.ShowNotesOptions = 2;
  for (int d = 7; d <= 31; ++d) s.diary[QString("2024/03/%1").arg(d, 2, 10, QChar('0'))] = "entry";
  ASSERT_TRUE(s.Render());
  // Today's part is framed in the today colour: heading and panel, 39 pixels.
  EXPECT_EQ(PixelAt(s.Frame(), 600, 40), kToday);
  EXPECT_EQ(PixelAt(s.Frame(), 899, 78), kToday);
  EXPECT_EQ(PixelAt(s.Frame(), 750, 78), kToday);
  EXPECT_EQ(PixelAt(s.Frame(), 750, 77), clWhite);
  EXPECT_EQ(PixelAt(s.Frame(), 750, 79), kBack);  // the next day is not framed
  EXPECT_EQ(PixelAt(s.Frame(), 899, 79), kBack);
  // 39 pixels a day; a day starts only while its heading and a line have room (200 - 2 x 17).
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 11))), 40 + 4 * 39 + 2);
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 12))), -1);
  EXPECT_LT(s.lookups, 10);
}

TEST(NotesBoxes, HolidayTitlesPastTheBottomAreDropped) {
  NotesScene s;
  ASSERT_TRUE(s.NotesBox(false, 50));
  s.ini.ShowNotesOptions = 2;
  s.AddHoliday("2024/03/07", schOnce, "First");
  s.AddHoliday("2024/03/07", schOnce, "Second");
  s.AddHoliday("2024/03/07", schOnce, "Third");
  ASSERT_TRUE(s.Render());
  // 17 for the heading, then 13 a title: the third (its top at 43, 11 high) would pass the
  // bottom at 50.
  EXPECT_EQ(s.YOf("First"), 40 + 17 + 2);
  EXPECT_EQ(s.YOf("Second"), 40 + 30 + 2);
  EXPECT_EQ(s.YOf("Third"), -1);
}

TEST(NotesBoxes, QuickNotesTakeTwoThirdsWithTheDiaryAndTheArrowMarksTheCut) {
  NotesScene s;
  ASSERT_TRUE(s.NotesBox());
  s.ini.ShowNotesOptions = 0;
  QStringList lines;
  for (int i = 0; i < 60; ++i) lines << QString("line %1").arg(i);
  s.QuickNote(lines);
  s.diary["2024/03/07"] = "today";
  ASSERT_TRUE(s.Render());
  const QString quick = LanguageResource().RSQuickNotes;
  EXPECT_EQ(s.YOf(quick), 42);
  // Room: 2/3 of 400 less the heading, 250: 23 lines (6 + 230), the arrow at the used bottom.
  const int panelTop = 40 + 17;
  EXPECT_TRUE(ArrowAt(s.Frame(), 600 + 300 - 6 - 22, panelTop + 236 - 16));
  EXPECT_TRUE(RowIs(s.Frame(), panelTop + 241, 600, 900, clWhite));
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 7))), panelTop + 242 + 2);

  // The quick notes alone get the whole box less the heading.
  s.ini.ShowNotesOptions = 1;
  ASSERT_TRUE(s.Render());
  EXPECT_TRUE(ArrowAt(s.Frame(), 872, panelTop + 6 + 37 * kLine - 16));
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 7))), -1);
  // Notes that fit carry no arrow.
  s.QuickNote({"short"});
  ASSERT_TRUE(s.Render());
  EXPECT_TRUE(RowIs(s.Frame(), panelTop + 16, 600, 900, clWhite));
  EXPECT_FALSE(ArrowAt(s.Frame(), 872, panelTop + 16 - 16));
  EXPECT_EQ(PixelAt(s.Frame(), 750, panelTop + 22), kBack);
}

TEST(NotesBoxes, SponsorTextAndHeadingRules) {
  NotesScene s;
  ASSERT_TRUE(s.NotesBox());
  const QString quick = LanguageResource().RSQuickNotes;
  // Empty quick notes and no sponsor text: neither heading nor panel.
  s.ini.ShowNotesOptions = 1;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.YOf(quick), -1);
  EXPECT_EQ(s.editorsMade, 0);
  // With a sponsor text the heading comes first and the sponsor one line down, centred and framed.
  s.Sponsor("Sponsored by us");
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.YOf(quick), 42);
  const auto* sp = s.text.Find("Sponsored by us", kToday);
  ASSERT_NE(sp, nullptr);
  EXPECT_EQ(sp->y, 40 + 17 + 8);
  // 15 characters of 6 pixels: (300 - 90) / 2 = 105 right of the margin.
  EXPECT_EQ(sp->x, 600 + 6 + 105);
  EXPECT_EQ(PixelAt(s.Frame(), 600, 57), kToday);
  EXPECT_EQ(PixelAt(s.Frame(), 600, 57 + 13 + 17 - 1), kToday);
  // Only the days (option 2): the heading stays above the sponsor.
  s.ini.ShowNotesOptions = 2;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.YOf(quick), 42);
  // A diary-only box puts the sponsor at its top, without the heading, only with the days.
  ASSERT_TRUE(s.NotesBox(true));
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.YOf(quick), -1);
  EXPECT_EQ(s.text.Find("Sponsored by us", kToday)->y, 40 + 8);
  s.ini.ShowNotesOptions = 0;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.text.Find("Sponsored by us", kToday), nullptr);
  // A sponsor number beyond the list shows no text.
  ASSERT_TRUE(s.NotesBox());
  s.ini.SponsorNo = 3;
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.text.Find("Sponsored by us", kToday), nullptr);
}

TEST(NotesBoxes, PanelsWithoutRoomAreSkippedAndNeverFailTheDrawing) {
  NotesScene s;
  s.QuickNote({"a", "b", "c"});
  s.diary["2024/03/07"] = "today";
  s.ini.ShowNotesOptions = 0;
  // Two thirds of 30 less a line leave no room for the quick notes; no day starts.
  ASSERT_TRUE(s.NotesBox(false, 30));
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(s.YOf(LanguageResource().RSQuickNotes), -1);
  EXPECT_EQ(s.YOf(Heading(QDate(2024, 3, 7))), -1);
  // Boxes without pixels on the screen, or lying off it, draw nothing.
  ASSERT_TRUE(s.LoadLayout(LayoutOf(ItemAt("Notes", 600, 40, 300, 0) + ItemAt("GeneralNotes", 2000, 40, 300, 200) +
                                    ItemAt("WDayNotes5", 100, 900, 150, 100))));
  ASSERT_TRUE(s.Render());
  EXPECT_TRUE(s.WorkTexts().empty());
  // A week-day box too short for its heading and titles gets no entry panel.
  ASSERT_TRUE(s.LoadLayout(LayoutOf(ItemAt("WDayNotes5", 100, 40, 150, 15))));
  s.editorsMade = 0;
  ASSERT_TRUE(s.Render());
  EXPECT_NE(s.text.Find(Heading(QDate(2024, 3, 7)), kToday), nullptr);
  EXPECT_EQ(s.editorsMade, 0);
  // The real editor with a box narrower than its margins.
  s.in.NotesEditor = nullptr;
  ASSERT_TRUE(s.LoadLayout(LayoutOf(ItemAt("Notes", 600, 40, 8, 400) + ItemAt("GeneralNotes", 100, 40, 10, 100))));
  EXPECT_TRUE(s.Render());
}

// ---------------------------------------------------------------------------------------------
// The general notes box

TEST(NotesBoxes, GeneralNotesAlwaysHaveTheirHeadingAndReachTheBottomBesideTheWeek) {
  NotesScene s;
  ASSERT_TRUE(s.LoadLayout(LayoutOf(ItemAt("GeneralNotes", 100, 40, 300, 200))));
  s.ini.ShowNotesOptions = 1;
  ASSERT_TRUE(s.Render());
  const QString quick = LanguageResource().RSQuickNotes;
  EXPECT_EQ(s.YOf(quick), 42);
  EXPECT_EQ(PixelAt(s.Frame(), 200, 60), kBack);
  s.QuickNote({"one", "two"});
  s.Sponsor("Ad");
  ASSERT_TRUE(s.Render());
  // The sponsor half a line below the heading, framed with a line's room; the panel below.
  EXPECT_EQ(s.text.Find("Ad", kToday)->y, 40 + 17 + 8);
  EXPECT_EQ(PixelAt(s.Frame(), 100, 57), kToday);
  EXPECT_EQ(PixelAt(s.Frame(), 100, 57 + 30 - 1), kToday);
  const int panelTop = 40 + 17 + 30;
  EXPECT_TRUE(RowIs(s.Frame(), panelTop, 100, 400, clWhite));
  EXPECT_TRUE(RowIs(s.Frame(), panelTop + 6 + 20 + 5, 100, 400, clWhite));
  EXPECT_EQ(PixelAt(s.Frame(), 200, panelTop + 32), kBack);
  // With the week-day boxes the panel reaches the box's bottom.
  ASSERT_TRUE(s.LoadLayout(LayoutOf(ItemAt("GeneralNotes", 100, 40, 300, 200) + ItemAt("WDayNotes1", 500, 40, 100, 100))));
  s.ini.ShowNotesOptions = 0;
  ASSERT_TRUE(s.Render());
  EXPECT_TRUE(RowIs(s.Frame(), 239, 100, 400, clWhite));
}

// ---------------------------------------------------------------------------------------------
// Week-day boxes

TEST(NotesWeek, DatesOfTheCurrentWeekSundayOrMondayFirst) {
  const QDate wednesday(2024, 3, 6), sunday(2024, 3, 10);
  auto d = WeekDates(wednesday, true);
  EXPECT_EQ(d[0], QDate(2024, 3, 3));
  EXPECT_EQ(d[6], QDate(2024, 3, 9));
  d = WeekDates(wednesday, false);
  EXPECT_EQ(d[0], QDate(2024, 3, 10));  // the coming Sunday closes the week
  EXPECT_EQ(d[1], QDate(2024, 3, 4));
  d = WeekDates(sunday, false);
  EXPECT_EQ(d[0], sunday);
  EXPECT_EQ(d[1], QDate(2024, 3, 4));  // the Monday six days ago
  EXPECT_EQ(d[6], QDate(2024, 3, 9));
  d = WeekDates(sunday, true);
  EXPECT_EQ(d[1], QDate(2024, 3, 11));
}

TEST(NotesWeek, EachBoxShowsItsDayHolidaysAndEntryFillingTheBox) {
  NotesScene s;  // Thursday 7 March 2024
  QStringList l;
  for (int i = 3; i <= 7; ++i) l += ItemAt(QString("WDayNotes%1").arg(i), 100 + (i - 3) * 160, 40, 150, 120);
  ASSERT_TRUE(s.LoadLayout(LayoutOf(l)));
  s.ini.ShowNotesOptions = 2;
  s.AddHoliday("2024/03/06", schYearly, "Mid week");
  s.diary["2024/03/06"] = "entry";
  QStringList longEntry;
  for (int i = 0; i < 20; ++i) longEntry << "x";
  s.diary["2024/03/08"] = longEntry.join("\r\n");
  ASSERT_TRUE(s.Render());
  // Only the visible boxes, still with the dates of this week (Monday first: box 3 is Tuesday).
  EXPECT_EQ(s.text.Find(Heading(QDate(2024, 3, 5)), kDay)->x, 4);
  EXPECT_NE(s.text.Find(Heading(QDate(2024, 3, 7)), kToday), nullptr);
  EXPECT_EQ(s.text.Find(Heading(QDate(2024, 3, 3)), kDay), nullptr);
  // Wednesday: heading, title (11 + 2), 6 more, then the panel to the bottom of the box.
  const int wedLeft = 260, panelTop = 40 + 17 + 13 + 6;
  EXPECT_EQ(PixelAt(s.Frame(), wedLeft + 140, panelTop - 1), kBack);
  EXPECT_TRUE(RowIs(s.Frame(), panelTop, wedLeft, wedLeft + 150, clWhite));
  EXPECT_TRUE(RowIs(s.Frame(), 159, wedLeft, wedLeft + 150, clWhite));
  EXPECT_EQ(PixelAt(s.Frame(), wedLeft + 6, panelTop + 7), clBlack);
  // Thursday is today: the box is framed. Friday's entry is cut and marked.
  EXPECT_EQ(PixelAt(s.Frame(), 420, 40), kToday);
  EXPECT_EQ(PixelAt(s.Frame(), 420 + 149, 159), kToday);
  EXPECT_TRUE(ArrowAt(s.Frame(), 580 + 150 - 28, 160 - 16));
  EXPECT_EQ(s.editorsMade, 2);
  // Saturday and Sunday boxes take their own background colours.
  ASSERT_TRUE(s.LoadLayout(LayoutOf(ItemAt("WDayNotes1", 100, 300, 150, 120) + ItemAt("WDayNotes7", 300, 300, 150, 120))));
  ASSERT_TRUE(s.Render());
  EXPECT_EQ(PixelAt(s.Frame(), 240, 410), kSunBack);
  EXPECT_EQ(PixelAt(s.Frame(), 440, 410), kSatBack);
}

// ---------------------------------------------------------------------------------------------
// The real editor

namespace {

// The real editor, telling what each rendering gave.
struct SpyEditor : TNotesEditor {
  std::unique_ptr<TNotesEditor> real = MakeRichNotesEditor();
  std::vector<std::pair<bool, int>>* results;
  explicit SpyEditor(std::vector<std::pair<bool, int>>* r) : results(r) {}
  void SetRTFText(const QString& t) override { real->SetRTFText(t); }
  bool RenderToBitmap(TKVBitmap& b, int w, int h, int l, int t, int r, int bm) override {
    const bool fits = real->RenderToBitmap(b, w, h, l, t, r, bm);
    results->push_back({fits, b.Height()});
    return fits;
  }
};

QString Paragraphs(int n) {
  QString rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 DejaVu Sans;}}\\f0\\fs20 ";
  for (int i = 0; i < n; ++i) rtf += QString("Line %1\\par ").arg(i);
  return rtf + "}";
}

}  // namespace

TEST(NotesRealEditor, ANoteTooLongForItsBoxIsCutAtAWholeLine) {
  NotesScene s;
  ASSERT_TRUE(s.NotesBox(false, 300));
  s.ini.ShowNotesOptions = 1;
  std::vector<std::pair<bool, int>> results;
  s.in.NotesEditor = [&results] { return std::make_unique<SpyEditor>(&results); };
  s.notes.QuickNote.SetText(Paragraphs(60));
  ASSERT_TRUE(s.Render());
  ASSERT_EQ(results.size(), 1u);
  EXPECT_FALSE(results[0].first);
  const int used = results[0].second;
  EXPECT_LE(used, 300 - 17 - 6);
  // The used height is that of a whole number of lines: the height of the first k lines alone.
  std::vector<int> heights;
  auto editor = MakeRichNotesEditor();
  TKVBitmap b;
  for (int k = 1; k <= 60; ++k) {
    editor->SetRTFText(Paragraphs(k));
    EXPECT_TRUE(editor->RenderToBitmap(b, 300, 10000, 6, 6, 6, 6));
    heights.push_back(b.Height());
  }
  int whole = 0;
  for (int h : heights)
    if (h <= 300 - 17 - 6) whole = h;
  EXPECT_EQ(used, whole);
  EXPECT_TRUE(ArrowAt(s.Frame(), 600 + 300 - 28, 40 + 17 + used - 16));
  // The panel ends 6 pixels below the last line.
  EXPECT_TRUE(RowIs(s.Frame(), 40 + 17 + used + 5, 600, 900, clWhite));
  EXPECT_EQ(PixelAt(s.Frame(), 750, 40 + 17 + used + 6), kBack);
}

// A long text is read only as far as the box shows it: what is drawn is what its beginning alone
// draws, and a text longer than the first part read that fits its box is drawn whole.
TEST(NotesRealEditor, ALongNoteDrawsWhatItsBeginningAloneDraws) {
  const QString head = "{\\rtf1\\ansi{\\fonttbl{\\f0 DejaVu Sans;}}\\f0\\fs20 ";
  const struct {
    const char* what;
    QString whole, beginning;
  } cases[] = {
      {"many paragraphs", Paragraphs(40000), Paragraphs(300)},
      {"one paragraph of a million characters", head + QString(1 << 20, 'x') + "}", head + QString(30000, 'x') + "}"},
      {"a long paragraph of words", head + QString("word ").repeated(200000) + "}", head + QString("word ").repeated(5000) + "}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto editor = MakeRichNotesEditor();
    auto reference = MakeRichNotesEditor();
    TKVBitmap got, want;
    editor->SetRTFText(c.whole);
    reference->SetRTFText(c.beginning);
    EXPECT_FALSE(editor->RenderToBitmap(got, 300, 400, 6, 6, 6, 6));
    EXPECT_FALSE(reference->RenderToBitmap(want, 300, 400, 6, 6, 6, 6));
    ASSERT_GT(got.Height(), 200);
    EXPECT_TRUE(got.Image() == want.Image());
    // A taller box later draws more of the same text.
    EXPECT_FALSE(editor->RenderToBitmap(got, 300, 3000, 6, 6, 6, 6));
    EXPECT_GT(got.Height(), 2000);
  }
  // Some 12,000 characters: more than is read first, and all of it fits.
  auto editor = MakeRichNotesEditor();
  TKVBitmap b;
  editor->SetRTFText(Paragraphs(1200));
  EXPECT_TRUE(editor->RenderToBitmap(b, 300, 30000, 6, 6, 6, 6));
  TKVRichEditOLE whole;
  whole.SetRTFText(Paragraphs(1200));
  TKVBitmap w;
  EXPECT_TRUE(whole.RenderToBitmap(w, 300, 30000, 6, 6, 6, 6));
  EXPECT_EQ(b.Height(), w.Height());
  EXPECT_TRUE(b.Image() == w.Image());
}

// A long text pasted into the quick notes draws the calendar as the text's beginning does.
TEST(NotesRealEditor, ALongQuickNoteDrawsTheCalendarAsItsBeginningDoes) {
  const auto frame = [](const QString& note) {
    NotesScene s;
    s.in.NotesEditor = nullptr;
    EXPECT_TRUE(s.NotesBox(false, 300));
    s.ini.ShowNotesOptions = 0;
    s.notes.QuickNote.SetText(note);
    s.diary["2024/03/08"] = Paragraphs(3);
    EXPECT_TRUE(s.Render());
    return FrameHash(s.Frame());
  };
  EXPECT_EQ(frame(Paragraphs(100000)), frame(Paragraphs(100)));
}

TEST(NotesRealEditor, AnEntryUnderHolidayTitlesEndsAtAWholeLineInsideTheBox) {
  NotesScene s;
  ASSERT_TRUE(s.NotesBox(false, 200));
  s.ini.ShowNotesOptions = 2;
  std::vector<std::pair<bool, int>> results;
  s.in.NotesEditor = [&results] { return std::make_unique<SpyEditor>(&results); };
  s.AddHoliday("2024/03/07", schOnce, "One");
  s.AddHoliday("2024/03/07", schOnce, "Two");
  s.diary["2024/03/07"] = Paragraphs(30);
  ASSERT_TRUE(s.Render());
  // Laid out once before the heading and again in the room the titles left.
  ASSERT_GE(results.size(), 2u);
  const int offset = 17 + 2 * 13 + 6;
  EXPECT_FALSE(results[1].first);
  EXPECT_LE(results[1].second, 200 - offset - 6);
  EXPECT_TRUE(ArrowAt(s.Frame(), 872, 40 + offset + results[1].second - 16));
  // Today's frame closes the panel.
  EXPECT_TRUE(RowIs(s.Frame(), 40 + offset + results[1].second + 4, 601, 899, clWhite));
  EXPECT_TRUE(RowIs(s.Frame(), 40 + offset + results[1].second + 5, 600, 900, kToday));
}

TEST(NotesRealEditor, NotesAndHeadingsFollowThePixelsPerInchOfTheInputs) {
  // The height of the quick notes panel, which starts one heading line below the box's top.
  const auto panelHeight = [](int ppi, int* lineHeight) {
    NotesScene s;
    s.in.PixelsPerInch = ppi;
    s.in.NotesEditor = nullptr;  // the rich-text editor at the inputs' resolution
    EXPECT_TRUE(s.NotesBox(false, 600));
    s.ini.ShowNotesOptions = 1;
    s.notes.QuickNote.SetText(Paragraphs(6));
    EXPECT_TRUE(s.Render());
    // The fixed-metric heading font: 10 points at the resolution, plus 4.
    *lineHeight = FontAtPoints(s.ini.WorkStyle.DayFont, 10, ppi).pixelSize() + 4;
    int h = 0;
    while (40 + *lineHeight + h < 640 && PixelAt(s.Frame(), 601, 40 + *lineHeight + h) == clWhite) ++h;
    EXPECT_EQ(PixelAt(s.Frame(), 601, 40 + *lineHeight - 1), kBack);
    return h;
  };
  int line96 = 0, line192 = 0;
  const int at96 = panelHeight(96, &line96), at192 = panelHeight(192, &line192);
  EXPECT_EQ(line96, 17);
  EXPECT_EQ(line192, 31);
  // Six lines of 10-point text, twice as tall; the 6-pixel margins above and below stay.
  EXPECT_NEAR(double(at192 - 12) / (at96 - 12), 2.0, 0.12);
}

// ---------------------------------------------------------------------------------------------
// Whole calendars with notes

namespace {

const char* const kNotesFrames[] = {"151-opt0", "151-opt1", "151-opt2", "151-opt3", "151-hidden",
                                    "171-diaryonly-opt0", "171-diaryonly-opt2", "171-opt1", "161-week-opt0",
                                    "162-week-opt2"};

QString DrawNotesFrame(const QString& name) {
  NotesScene s;
  TCalendarStyle& st = s.ini.WorkStyle;
  st.CalculateBackColors = true;
  st.BackColor = 0x00459F00;
  st.DayColor = clWhite;
  st.TodayColor = clYellow;
  st.MonthBarTransparency = 50;
  st.NotesTransparency = 60;
  st.BevelStyle = 2;
  st.DayShadow = 1;
  s.SetPicture(DrawPicture(800, 600));
  const QString layout = name.section('-', 0, 0);
  EXPECT_TRUE(s.LoadLayout(LayoutText("layout" + layout + ".txt")));
  const QString opt = name.section("opt", 1);
  s.ini.ShowNotesOptions = opt.isEmpty() ? 0 : opt.toInt();
  s.ini.ShowNotes = !name.endsWith("hidden");
  s.Sponsor("Pictures kindly lent by the club");
  s.QuickNote({"{\\rtf1 Buy milk\\par Call the garage\\par Water the plants\\par}"});
  s.AddHoliday("2024/03/08", schYearly, "Day of the sea");
  s.AddHoliday("2024/03/15", schOnce, "Spring fair");
  s.AddHoliday("2024/03/17", schYearly, "Green day");
  s.diary["2024/03/05"] = "Dentist at ten";
  s.diary["2024/03/07"] = "Team meeting\r\nLunch with Ana";
  s.diary["2024/03/09"] = "Concert";
  s.diary["2024/03/15"] = "Take the camera";
  s.diary["2024/04/02"] = "Renew the pass";
  EXPECT_TRUE(s.Render());
  if (qEnvironmentVariableIsSet("KV_RENDER_DUMP"))
    s.Frame().Image().save(qEnvironmentVariable("KV_RENDER_DUMP") + "/notes-" + name + ".png");
  return FrameHash(s.Frame());
}

}  // namespace

TEST(NotesFrames, WholeCalendarsWithNotesInEachMode) {
  const char* const expected[] = {"44ac126b71191038", "2b9a25adce10fcbf", "9c2e529c177935fe", "6784468bc70ad4a0",
                                  "6784468bc70ad4a0", "4a6b19394bc5f281", "44b548a34289f0cf", "6ba343ebc0aea8b5",
                                  "633581f54aa9d8a9", "e1363b6cef7ebb5c"};
  std::set<QString> distinct;
  for (size_t i = 0; i < std::size(kNotesFrames); ++i) {
    const QString h = DrawNotesFrame(kNotesFrames[i]);
    EXPECT_EQ(h.toStdString(), expected[i]) << kNotesFrames[i];
    distinct.insert(h);
  }
  // Option 3 and hidden notes draw the same calendar; every other mode differs.
  EXPECT_EQ(distinct.size(), std::size(kNotesFrames) - 1);
}

// With the rich-text editor the notes keep their editor and the panels of the last drawing: a
// redraw shows what a fresh drawing shows, and a changed text is rendered anew.
TEST(NotesRealEditor, KeptPanelsDrawWhatAFreshDrawingDraws) {
  const auto scene = [](NotesScene& s, const QString& entry) {
    s.in.NotesEditor = nullptr;
    EXPECT_TRUE(s.LoadLayout(LayoutOf(ItemAt("Notes", 600, 40, 300, 300) + ItemAt("GeneralNotes", 100, 40, 300, 200) +
                                      ItemAt("WDayNotes5", 100, 400, 150, 120) + ItemAt("WDayNotes6", 300, 400, 150, 120))));
    s.ini.ShowNotesOptions = 0;
    s.notes.QuickNote.SetText(Paragraphs(40));  // cut, with the arrow
    s.diary["2024/03/07"] = entry;
    s.diary["2024/03/08"] = Paragraphs(3);
    s.AddHoliday("2024/03/08", schOnce, "Fair");
  };
  NotesScene s;
  scene(s, Paragraphs(4));
  ASSERT_TRUE(s.Render());
  const QString first = FrameHash(s.Frame());
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(s.Render(false));
    EXPECT_EQ(FrameHash(s.Frame()), first);
  }
  // Today's entry changes: the same as a fresh scene with the new entry.
  s.diary["2024/03/07"] = Paragraphs(9);
  ASSERT_TRUE(s.Render(false));
  NotesScene fresh;
  scene(fresh, Paragraphs(9));
  ASSERT_TRUE(fresh.Render());
  EXPECT_EQ(FrameHash(s.Frame()), FrameHash(fresh.Frame()));
  EXPECT_NE(FrameHash(s.Frame()), first);
  // Back again, and after everything kept was released.
  s.diary["2024/03/07"] = Paragraphs(4);
  ASSERT_TRUE(s.Render(false));
  EXPECT_EQ(FrameHash(s.Frame()), first);
  s.state.ReleaseMemory();
  s.SetPicture(Solid(64, 64, QColor(100, 100, 100)));
  ASSERT_TRUE(s.Render(false));
  EXPECT_EQ(FrameHash(s.Frame()), first);
}

// The notes are drawn through the editor's document alone: a drawing makes no widget, and none is
// kept for the next.
TEST(NotesRealEditor, NotesAreDrawnWithoutMakingAWidget) {
  const auto frame = [](bool withText) {
    NotesScene s;
    s.in.NotesEditor = nullptr;
    EXPECT_TRUE(s.LoadLayout(LayoutOf(ItemAt("Notes", 600, 40, 300, 300) + ItemAt("GeneralNotes", 100, 40, 300, 200) +
                                      ItemAt("WDayNotes5", 100, 400, 150, 120))));
    s.ini.ShowNotesOptions = 0;
    if (withText) {
      s.notes.QuickNote.SetText(Paragraphs(5));
      s.diary["2024/03/07"] = Paragraphs(2);
    }
    const qsizetype widgets = QApplication::allWidgets().size();
    EXPECT_TRUE(s.Render());
    EXPECT_TRUE(s.Render(false));
    EXPECT_EQ(QApplication::allWidgets().size(), widgets);
    return FrameHash(s.Frame());
  };
  EXPECT_NE(frame(true), frame(false));
}
