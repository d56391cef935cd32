#pragma once
// The layout engine: turns the 24 items of a layout into sizes and pixel rectangles on the
// screen-sized picture (direct sizes, the sponsor picture's size, a horizontal and a vertical pass
// with content sizes and snapping, rectangles from the position lists, centring groups).
#include <QFont>
#include <QString>

class TLayoutIni;
class TKVBitmapObjectList;

// Computed sizes and coordinates are held within this distance of 0, so that no sum over a
// hostile layout can overflow.
constexpr int kMaxLayoutCoord = 1 << 28;

struct TLayoutMetrics {
  int ScreenWidth = 0, ScreenHeight = 0;
  // The day font at the calendar font size (the vertical month line) and the title font (twice
  // that size, its height doubled again).
  QFont DayFont, TitleFont;
  int DayNameWidth = 0;
  // A day row of the vertical month line, with its leading.
  int DayRowHeight = 0;
  // The month-and-year title of the month line's month.
  QString TitleText;
  // The pack skin's strips (strip 1 holds the sponsor pictures) and the sponsor in use.
  const TKVBitmapObjectList* PackImages = nullptr;
  int SponsorNo = 0;
};

// Writes every visible item's rule sizes and rectangle; invisible items keep theirs.
void CalculateLayout(TLayoutIni& Layout, const TLayoutMetrics& Metrics);

// The height the calendar font is fitted to (FitCalendarFont) on a screen ScreenHeight pixels high
// whose work area (the part no panel covers) runs from WorkAreaTop to WorkAreaBottom: the room
// the 31 day rows of a visible vertical month line have. A line sized by its content (lsCalc) has
// the room from its anchored edge to the far edge of the work area; one of a given height has that
// height, and no more than the work area's. Without such a line, or when its place depends on
// other items, the work area's height.
int MonthLineRoom(const TLayoutIni& Layout, int ScreenHeight, int WorkAreaTop, int WorkAreaBottom);
