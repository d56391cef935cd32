#pragma once
// The calendar proper: the month line (all days of a month in one row or column), the engraved
// month-and-year title and up to twelve month grids, each drawn on the item canvas and put onto
// the work bitmap at the item's computed rectangle.
#include "calendar/MirRender.h"

// Font heights the text fitting starts from are held at this many pixels.
constexpr int kMaxFittedTextHeight = 1000;

void DrawMonthLine(TRenderContext& Ctx);
void DrawMonthYear(TRenderContext& Ctx);
// Month boxes 1 .. 12, with the today frame around the box of the current month.
void DrawMonthBoxes(TRenderContext& Ctx);
// One month grid on Canvas: its cell backgrounds and bevel (CellsOnly) or its texts.
void DrawMonth(TRenderContext& Ctx, int Year, int Month, int CellWidth, bool CellsOnly, TItemCanvas& Canvas,
               int CellHeight);

// The font of the day numbers of a cell Height pixels high (its cell height at most), made smaller
// while "000" is wider than CellWidth; the grids and the horizontal month line use it.
QFont FitTextFont(const QFont& Base, int Height, int CellWidth);

// The month-and-year title: the long month name, a blank and the year.
QString MonthTitle(const TRenderContext& Ctx, int Year, int Month);
