#pragma once
// The calendar renderer: the whole desktop calendar (background picture, month line, month-and-year
// title, month grids, notes boxes and sponsor image) drawn into one screen-sized 24-bit bitmap from
// a snapshot of the settings, the layout, the documents and one clock reading, then handed over as
// the preview bitmap. Also the drawing conventions the phases share and the calendar font fitting.
#include <QDate>
#include <QDateTime>
#include <QFont>
#include <QLocale>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "calendar/MirPicture.h"
#include "foundation/KVGraphics.h"
#include "foundation/KVTextHelper.h"

class Tini;
class TLayoutIni;
class TLayoutItem;
class TMHolidayBase;
class TMNotesBase;
class TNotesEditor;
class TMirovaIni;
class TKVBitmapObjectList;
class TFont;
struct TCalendarStyle;
struct TPackDefaults;

// What the main form keeps between drawings and the renderer reads or writes.
struct TRenderState {
  // While set, the renderer does nothing (start-up, refilling the style page).
  bool Busy = false;
  // A drawing is under way: one asked for from inside it (a handler it calls, a nested event
  // loop) does nothing, so that drawings can never feed each other.
  bool Drawing = false;
  // The preview differs from the applied desktop background.
  bool Dirty = false;
  std::unique_ptr<TCurrentPicture> CurrentPicture;
  // The day of month of the last drawing, and its whole date (invalid before the first).
  int LastRenderDay = 0;
  QDate LastRenderDate;
  // 1 Sunday .. 7 Saturday.
  int FirstDayOfWeek = 1;
  // Screen height minus the bottom of the work area.
  int TaskbarHeight = 0;
  // The calendar font fitted to the work area (FitCalendarFont).
  int CalendarFontSize = 10;
  int DayNameWidth = 0;
  int DayRowHeight = 0;
  // The finished picture (the full-screen view shows it, the save command writes it); empty while
  // nothing is drawn.
  TKVBitmap Preview;
  // The screen bitmap the drawing before last was handed over in: the next drawing draws into it,
  // so that a redraw allocates no screen-sized memory (a 5K bitmap is above the allocator's
  // mapping threshold: a fresh one costs a page fault every 4 KB). Empty until then.
  TKVBitmap Spare;
  // What the notes boxes keep between drawings (MirNotes): the rich-text document and the panels
  // rendered from each text. Rebuilt when missing.
  std::shared_ptr<void> NotesCache;
  // Told after every hand-over, so that whoever shows the preview repaints.
  std::function<void()> OnHandOver;

  void DropPicture() { CurrentPicture.reset(); }
  // Frees all that is kept between drawings: the preview, the spare bitmap, the picture and what
  // the notes keep. The next drawing loads and renders it all again.
  void ReleaseMemory();
};

// The eight colours of one drawing, resolved once from the working style or the pack's defaults.
struct TRenderColors {
  TColor BackColor = 0, SaturdayBackColor = 0, SundayBackColor = 0, DayColor = 0, SaturdayColor = 0,
         SundayColor = 0, DayShadowColor = 0, TodayColor = 0;
};
TRenderColors ResolvedColors(const TCalendarStyle& WorkStyle, const TPackDefaults& PackDefaults);

struct TRenderContext;

// Everything a drawing reads besides the state.
struct TRenderInputs {
  // Working style, pack defaults, picture position and index, image set, notes options; the
  // settings are saved after every drawing (and when the picture index is corrected).
  Tini* Settings = nullptr;
  // Its computed sizes and rectangles are written when the layout is recalculated.
  TLayoutIni* Layout = nullptr;
  TMHolidayBase* Holidays = nullptr;             // none: no holidays
  TMirovaIni* PackIni = nullptr;                 // the pack's sponsor items; none: no sponsor
  const TKVBitmapObjectList* PackImages = nullptr;  // the pack skin's strips; strip 1 the sponsors
  // The used pictures of the current set: file paths of a user set, picture numbers of a pack.
  QStringList UsedImages;
  // The program folder, with its trailing separator, where the image packs lie.
  QString ExeDir;
  // The screen in physical pixels; invalid: the primary screen.
  QSize ScreenSize;
  // Pixels per inch that font sizes in points are converted at (the bitmap is in physical pixels,
  // so 192 on a 200 % screen); 0: the primary screen's (ScreenPixelsPerInch).
  int PixelsPerInch = 0;
  // The clock reading of the drawing; invalid: the clock is read once.
  QDateTime Now;
  // The text metrics; none: the installed text helper.
  TKVTextHelper* TextHelper = nullptr;
  // Month and day names.
  QLocale Locale;
  // Draws the notes, general notes and week-day boxes after the month grids (the program's is
  // DrawNotesBoxes, MirNotes.h).
  std::function<void(TRenderContext&)> DrawNotes;
  // The quick notes; none: no quick notes.
  const TMNotesBase* QuickNotes = nullptr;
  // The rich text of the diary entry of a date key "yyyy/MM/dd"; nullopt (or no function): none.
  std::function<std::optional<QString>(const QString& Key)> FindDiaryEntry;
  // Makes the editor the notes are rendered through; none: the rich-text editor's document.
  std::function<std::unique_ptr<TNotesEditor>()> NotesEditor;
};

// Draws the calendar and hands it over: State.Preview holds it, Dirty is set and the settings are
// saved. Does nothing and returns false while State.Busy is set or another drawing is under way
// (from inside which it was called). RecalcLayout recomputes every
// item's size and rectangle; otherwise those of the last recalculation are used. A failure raises
// and leaves the preview, Dirty and the settings as they were.
bool RenderCalendar(TRenderState& State, const TRenderInputs& Inputs, bool RecalcLayout);

// The primary screen's size in physical pixels.
QSize PrimaryScreenSize();
// The primary screen's pixels per inch in physical pixels: its logical resolution times its device
// pixel ratio; 96 when there is no screen.
int ScreenPixelsPerInch();

// ---------------------------------------------------------------------------------------------
// Drawing conventions

// The measuring text for vertical centring: W, q and capital S with caron.
extern const QString kMeasuringText;

// The scratch bitmap of one item. It holds the part of the item that lies on the screen (plus one
// pixel around it), so that an item larger than the screen costs no more than the screen; all
// coordinates given to it are the item's own, with (0, 0) at the item's top-left corner.
class TItemCanvas {
 public:
  TKVBitmap Bitmap;
  TRect Item;          // the item on the screen
  int OX = 0, OY = 0;  // the item coordinates of the bitmap's top-left pixel

  // Prepares the canvas for an item on a screen of the given size; false when the item has no
  // pixels or lies wholly off the screen (nothing of it would be seen).
  bool Begin(const TRect& ItemRect, int ScreenWidth, int ScreenHeight);
  int Width() const { return Item.Width(); }
  int Height() const { return Item.Height(); }
  // r in item coordinates, moved into the bitmap's.
  TRect Local(const TRect& r) const { return OffsetRectBy(r, -OX, -OY); }

  void Fill(const TRect& r, TColor Color);
  // A one-pixel line from a towards b (b itself not drawn), horizontal or vertical.
  void Line(TPoint a, TPoint b, TColor Color);
  void Polyline(TPoint a, TPoint b, TPoint c, TColor Color);
  // Text in the bitmap's font with a transparent brush.
  void Text(int x, int y, const QString& text, TColor Color);

  // The bitmap onto the screen bitmap at the item's place, blended or opaque.
  void BlendOnto(TKVBitmap& Work, float Opacity) const;
  void DrawOnto(TKVBitmap& Work) const;
  // The item's area of the screen bitmap back into the whole bitmap.
  void TakeBack(const TKVBitmap& Work);
};

// The bevel of a style (1 lowered, 2 raised, others none), three pixels wide, blended towards
// BackColor.
void DrawBevel(int Style, TItemCanvas& Canvas, TColor BackColor);

// A pixel-sized font whose cell (ascent plus descent) is at most Height pixels; a negative Height
// is the character height itself, as the drawing code's fonts count it.
QFont FontOfHeight(const QFont& Base, int Height);
// The font at a point size, converted to pixels at PixelsPerInch.
QFont FontAtPoints(const TFont& Font, int Points, int PixelsPerInch);

// One drawing in progress: what the phases read and the bitmaps they draw into.
struct TRenderContext {
  TRenderState& State;
  const TRenderInputs& Inputs;
  Tini& Settings;
  const TCalendarStyle& Style;
  TLayoutIni& Layout;
  TRenderColors Colors;
  QDateTime Now;
  QDate Today;
  int ScreenWidth = 0, ScreenHeight = 0;
  // Of the inputs, resolved once.
  int PixelsPerInch = 96;
  TKVBitmap WorkBitmap;
  TItemCanvas Item;

  TRenderContext(TRenderState& State, const TRenderInputs& Inputs);

  // The holiday index row of a month (-1: none) and whether a day is a holiday.
  int HolidayRow(int Year, int Month) const;
  bool IsHolidayCell(int Row, int Day) const;
  bool IsHoliday(const QDate& Date) const;
  float MonthBarOpacity() const;

  // Item background: the canvas sized to the item and filled with Color, the bevel, blended onto
  // the work bitmap at the month-bar opacity. False (and nothing drawn) for an item without pixels
  // on the screen.
  bool ItemBackground(const TRect& ItemRect, TColor Color);
  // Text in DayShadowColor moved by DayShadow pixels first when DayShadow is above 0.
  void ShadowText(TItemCanvas& Canvas, int x, int y, const QString& text, TColor Color);
  void ShadowText(TKVBitmap& Target, int x, int y, const QString& text, TColor Color);
  // A one-pixel frame in TodayColor, its shadow first when DayShadow is above 0; the target's
  // brush is left transparent.
  void TodayFrame(TItemCanvas& Canvas, const TRect& r);
  void TodayFrame(TKVBitmap& Target, const TRect& r);

  // The day font at a point size.
  QFont DayFontAt(int Points) const;

  // Names of the locale: the long month name, the short day name (1 Sunday .. 7 Saturday).
  QString MonthName(int Month) const;
  QString ShortDayName(int DayOfWeek) const;
};

// ---------------------------------------------------------------------------------------------
// Calendar font fitting

struct TCalendarFontMetrics {
  int CalendarFontSize = 1;
  int DayNameWidth = 0;
  int DayRowHeight = 0;
};

// The largest point size from 18 down (at least 1) at which 31 rows of the tallest short day name
// with their leading, and 6 pixels more, fit into the work area's height (the room of the
// layout's vertical month line, MonthLineRoom, which is no more than that); the widest day name at
// that size, and the row height with the leading. Points are converted at PixelsPerInch, as the
// renderer draws them (its inputs' PixelsPerInch).
TCalendarFontMetrics FitCalendarFont(const TFont& DayFont, int DaySpace, int WorkAreaHeight, int PixelsPerInch,
                                     const QLocale& Locale = QLocale());
void FitCalendarFont(TRenderState& State, const TFont& DayFont, int DaySpace, int WorkAreaHeight, int PixelsPerInch,
                     const QLocale& Locale = QLocale());
