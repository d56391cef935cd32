#pragma once
// The notes boxes of the calendar: the notes box (sponsor text, quick notes, then each coming
// day's holidays and diary entry from today on), the general quick-notes box and the seven
// week-day boxes. Rich text is rendered as the rich-text editor renders it, but without a widget,
// into a white panel that is blended onto the picture; text cut at a panel's bottom is marked
// with the "more" arrow.
//
// The program sets TRenderInputs::DrawNotes to DrawNotesBoxes.
#include <QDate>
#include <QImage>
#include <QString>
#include <array>
#include <memory>

#include "calendar/MirRender.h"

// What the notes are drawn through: rich text in, a panel of the used height out.
class TNotesEditor {
 public:
  virtual ~TNotesEditor() = default;
  // Replaces the content: RTF, or plain text when it is none.
  virtual void SetRTFText(const QString& Text) = 0;
  // Sizes Bitmap to Width and the height the text used (top margin included, bottom margin not),
  // fills it white and draws the text, cut after the last whole line that fits into Height. True
  // when all the text fitted or there is none; a height of 0 when nothing was drawn.
  virtual bool RenderToBitmap(TKVBitmap& Bitmap, int Width, int Height, int LeftMargin, int TopMargin,
                              int RightMargin, int BottomMargin) = 0;
};

// The rich-text editor's document (TKVRichDocument) on white, without the editor control; it
// draws sizes in points at PixelsPerInch.
std::unique_ptr<TNotesEditor> MakeRichNotesEditor(int PixelsPerInch = 96);

// The 22 x 16 arrow that marks text that did not fit (transparent around the arrow).
const QImage& NotesArrow();

// Whether each box is drawn with the current settings (Visible, ShowNotes and the notes mode).
bool NotesBoxShown(TRenderContext& Ctx);
bool GeneralNotesShown(TRenderContext& Ctx);
bool WDayNotesShown(TRenderContext& Ctx, int Day);  // 1 .. 7
// Any of them: the sponsor picture is drawn only when this is false.
bool AnyNotesShown(TRenderContext& Ctx);
// The notes mode draws diary entries (in the notes box or the week-day boxes): what the
// calendar shows depends on the diary only then.
bool DiaryNotesShown(bool ShowNotes, int ShowNotesOptions);

// The dates of the week-day boxes, index 0 Sunday .. 6 Saturday: the week that holds Today,
// Sunday first, or Monday first (Sunday closing it) when SundayFirst is clear.
std::array<QDate, 7> WeekDates(const QDate& Today, bool SundayFirst);

// The heading of a day: the long day name, a blank and the locale's short date.
QString DayHeading(const QLocale& Locale, const QDate& Date);

// The notes box, the general notes box and the week-day boxes, in that order.
void DrawNotesBoxes(TRenderContext& Ctx);
