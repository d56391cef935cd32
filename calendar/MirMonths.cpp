#include "calendar/MirMonths.h"

#include <algorithm>
#include <cstdint>

#include "calendar/iniData.h"
#include "foundation/KVGraphics.h"

namespace {

void MonthOf(const TRenderContext& c, int monthId, int& year, int& month) {
  std::uint16_t y = 0, m = 0;
  TLayoutIni::MonthIdToYearMonth(monthId, c.Today.year(), c.Today.month(), y, m);
  year = y;
  month = m;
}

int DaysInMonth(int year, int month) { return QDate(year, month, 1).daysInMonth(); }

// The text colour of a day: Sunday or holiday, Saturday, other days; today overrides.
TColor DayTextColor(const TRenderContext& c, int weekday, bool holiday, bool today) {
  if (today) return c.Colors.TodayColor;
  if (weekday == 1 || holiday) return c.Colors.SundayColor;
  if (weekday == 7) return c.Colors.SaturdayColor;
  return c.Colors.DayColor;
}

TColor WeekdayTextColor(const TRenderContext& c, int weekday) { return DayTextColor(c, weekday, false, false); }

// 1 .. 7 whatever the stored value.
int FirstDay(const TRenderContext& c) { return ((c.State.FirstDayOfWeek - 1) % 7 + 7) % 7 + 1; }

}  // namespace

QFont FitTextFont(const QFont& Base, int Height, int CellWidth) {
  int h = std::min(Height, kMaxFittedTextHeight);
  QFont f = FontOfHeight(Base, h);
  while (TextHelper().TextWidth(f, QStringLiteral("000")) > CellWidth && h > 5) f = FontOfHeight(Base, --h);
  return f;
}

QString MonthTitle(const TRenderContext& Ctx, int Year, int Month) {
  return Ctx.MonthName(Month) + QLatin1Char(' ') + QString::number(Year);
}

// ---------------------------------------------------------------------------------------------
// Month line

void DrawMonthLine(TRenderContext& c) {
  TMonthLine& line = c.Layout.MonthLine();
  if (!line.Visible) return;
  int year = 0, month = 0;
  MonthOf(c, line.MonthID, year, month);
  const int row = c.HolidayRow(year, month);
  const int days = DaysInMonth(year, month);
  TItemCanvas& cv = c.Item;
  if (!cv.Begin(line.Rect, c.ScreenWidth, c.ScreenHeight)) return;
  const QFont font = c.DayFontAt(c.State.CalendarFontSize);
  cv.Bitmap.Font = font;
  const int width = cv.Width(), height = cv.Height();
  const bool horz = line.Horz;
  const int C = (width - 6) / 31, R = c.State.DayRowHeight;
  const auto cell = [&](int d) {
    return horz ? TRect{3 + (d - 1) * C, 0, 3 + d * C, height} : TRect{0, 3 + (d - 1) * R, width, 3 + d * R};
  };

  cv.Fill(TRect{0, 0, width, height}, c.Colors.BackColor);
  for (int d = 1; d <= days; ++d) {
    const QDate date(year, month, d);
    if (!date.isValid()) break;
    const int w = DayOfWeekSundayFirst(date);
    if (w == 1 || c.IsHolidayCell(row, d))
      cv.Fill(cell(d), c.Colors.SundayBackColor);
    else if (w == 7)
      cv.Fill(cell(d), c.Colors.SaturdayBackColor);
  }
  DrawBevel(c.Style.BevelStyle, cv, c.Colors.BackColor);
  cv.BlendOnto(c.WorkBitmap, c.MonthBarOpacity());
  cv.TakeBack(c.WorkBitmap);
  cv.Bitmap.BrushStyle = bsClear;

  if (horz) {
    const int Hh = (height - 6) / 2;
    cv.Bitmap.Font = FitTextFont(font, Hh - 4, C);
    const QFont& f = cv.Bitmap.Font;
    const int Ty = RoundHalfEven((Hh - TextHelper().TextHeight(f, kMeasuringText)) / 2.0);
    for (int d = 1; d <= days; ++d) {
      const QDate date(year, month, d);
      if (!date.isValid()) break;
      const int w = DayOfWeekSundayFirst(date);
      const QString L = c.ShortDayName(w).left(1), S = QString::number(d);
      const int Lx = (C - TextHelper().TextWidth(f, L)) / 2, Sx = (C - TextHelper().TextWidth(f, S)) / 2;
      const bool today = date == c.Today;
      if (today) c.TodayFrame(cv, TRect{3 + (d - 1) * C, 3, 3 + d * C, height - 3});
      const TColor color = DayTextColor(c, w, c.IsHolidayCell(row, d), today);
      c.ShadowText(cv, (d - 1) * C + Lx + 3, Ty + 3, L, color);
      c.ShadowText(cv, (d - 1) * C + Sx + 3, Hh + Ty + 3, S, color);
    }
  } else {
    for (int d = 1; d <= days; ++d) {
      const QDate date(year, month, d);
      if (!date.isValid()) break;
      const int w = DayOfWeekSundayFirst(date);
      const int Y = (d - 1) * R + 3 + c.Style.DaySpace;
      const bool today = date == c.Today;
      if (today) c.TodayFrame(cv, cell(d));
      const TColor color = DayTextColor(c, w, c.IsHolidayCell(row, d), today);
      c.ShadowText(cv, 12, Y, c.ShortDayName(w), color);
      c.ShadowText(cv, c.State.DayNameWidth + 22, Y, QString::number(d), color);
    }
  }
  cv.DrawOnto(c.WorkBitmap);
}

// ---------------------------------------------------------------------------------------------
// Month-and-year title

void DrawMonthYear(TRenderContext& c) {
  const TLayoutItem& item = c.Layout.MonthYear();
  if (!item.Visible) return;
  int year = 0, month = 0;
  MonthOf(c, c.Layout.MonthLine().MonthID, year, month);
  const QString T = MonthTitle(c, year, month);
  TItemCanvas& cv = c.Item;
  if (!cv.Begin(item.Rect, c.ScreenWidth, c.ScreenHeight)) return;
  cv.Bitmap.Font = c.DayFontAt(2 * c.State.CalendarFontSize);
  cv.Bitmap.FontColor = clWhite;
  cv.Fill(TRect{0, 0, cv.Width(), cv.Height()}, clBlack);
  DrawShadowText(cv.Bitmap, 3 - cv.OX, 3 - cv.OY, T, 0, 0.8);
  DarkenGrey(cv.Bitmap, 255 - AddSaturated(50, c.Style.MonthContrast));
  const int x = item.Rect.Left + cv.OX, y = item.Rect.Top + cv.OY;
  SubtractBitmapSaturated(c.WorkBitmap, x + 1, y + 1, cv.Bitmap);
  AddBitmapSaturated(c.WorkBitmap, x, y, cv.Bitmap);
}

// ---------------------------------------------------------------------------------------------
// Month grids

void DrawMonth(TRenderContext& c, int Year, int Month, int Cw, bool CellsOnly, TItemCanvas& cv, int Ch) {
  const int row = c.HolidayRow(Year, Month);
  const int days = DaysInMonth(Year, Month);
  const int F = FirstDay(c);
  const auto columnDay = [F](int col) { return (F + col - 2) % 7 + 1; };
  const QDate first(Year, Month, 1);
  if (!first.isValid()) return;
  const int X1 = Cw * ((DayOfWeekSundayFirst(first) - F + 7) % 7);
  const int width = cv.Width(), height = cv.Height();

  // Calls back with each day's cell position (X, row top Y) until the callback fails.
  const auto forEachDay = [&](int top, auto&& draw) {
    int X = X1, Y = top;
    for (int d = 1; d <= days; ++d) {
      const QDate date(Year, Month, d);
      if (!date.isValid()) break;
      draw(d, date, X, Y);
      X += Cw;
      if (X >= 7 * Cw) {
        X = 0;
        Y += Ch;
      }
    }
  };

  if (CellsOnly) {
    cv.Fill(TRect{0, 0, width, height}, c.Colors.BackColor);
    for (int col = 1; col <= 7; ++col) {
      const TRect column{3 + (col - 1) * Cw, Ch, 3 + col * Cw, height};
      if (columnDay(col) == 1) cv.Fill(column, c.Colors.SundayBackColor);
      if (columnDay(col) == 7) cv.Fill(column, c.Colors.SaturdayBackColor);
    }
    forEachDay(2 * Ch, [&](int d, const QDate&, int X, int Y) {
      if (c.IsHolidayCell(row, d)) cv.Fill(TRect{X + 3, Y + 3, X + 3 + Cw, Y + 3 + Ch}, c.Colors.SundayBackColor);
    });
    cv.Fill(TRect{0, 0, width, Ch + 3}, c.Colors.SaturdayBackColor);
    DrawBevel(c.Style.BevelStyle, cv, c.Colors.BackColor);
    return;
  }

  cv.Bitmap.Font = FitTextFont(c.Style.DayFont.ToQFont(), Ch - 4, Cw);
  cv.Bitmap.BrushStyle = bsClear;
  const QFont& f = cv.Bitmap.Font;
  const int Ty = std::max(0, RoundHalfEven((Ch - TextHelper().TextHeight(f, kMeasuringText)) / 2.0));
  const bool currentMonth = Year == c.Today.year() && Month == c.Today.month();
  c.ShadowText(cv, 5, Ty + 3, MonthTitle(c, Year, Month), currentMonth ? c.Colors.TodayColor : c.Colors.DayColor);
  for (int col = 1; col <= 7; ++col) {
    const int w = columnDay(col);
    const QString L = c.ShortDayName(w).left(1);
    const int Lx = std::max(0, (Cw - TextHelper().TextWidth(f, L)) / 2);
    c.ShadowText(cv, 3 + (col - 1) * Cw + Lx, Ch + 3 + Ty, L, WeekdayTextColor(c, w));
  }
  forEachDay(Ty + 2 * Ch, [&](int d, const QDate& date, int X, int Y) {
    const QString S = QString::number(d);
    const int Sx = (Cw - TextHelper().TextWidth(f, S)) / 2;
    c.ShadowText(cv, X + 3 + Sx, Y + 3, S,
                 DayTextColor(c, DayOfWeekSundayFirst(date), c.IsHolidayCell(row, d), date == c.Today));
  });
}

void DrawMonthBoxes(TRenderContext& c) {
  for (int b = 1; b <= 12; ++b) {
    const TMonthBox& box = c.Layout.MonthBox(b);
    if (!box.Visible) continue;
    int year = 0, month = 0;
    MonthOf(c, box.MonthID, year, month);
    TItemCanvas& cv = c.Item;
    if (cv.Begin(box.Rect, c.ScreenWidth, c.ScreenHeight)) {
      const int Cw = (cv.Width() - 6) / 7, Ch = (cv.Height() - 6) / 8;
      DrawMonth(c, year, month, Cw, true, cv, Ch);
      cv.BlendOnto(c.WorkBitmap, c.MonthBarOpacity());
      cv.TakeBack(c.WorkBitmap);
      DrawMonth(c, year, month, Cw, false, cv, Ch);
      cv.DrawOnto(c.WorkBitmap);
    }
    if (year == c.Today.year() && month == c.Today.month()) c.TodayFrame(c.WorkBitmap, box.Rect);
  }
}
