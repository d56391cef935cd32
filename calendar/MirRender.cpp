#include "calendar/MirRender.h"

#include <QGuiApplication>
#include <QScopeGuard>
#include <QScreen>
#include <algorithm>
#include <optional>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirData.h"
#include "calendar/MirLayout.h"
#include "calendar/MirMonths.h"
#include "calendar/MirNotes.h"
#include "calendar/iniData.h"
#include "foundation/KVBitmapList.h"
#include "foundation/KVXSkinBase.h"
#include "platform/KVClock.h"

const QString kMeasuringText = QStringLiteral("Wq\u0160");

namespace {

enum TImagePosition { ipBestFit = 0, ipCenter = 1, ipStretch = 2, ipTile = 3, ipHideImage = 4 };

}  // namespace

// ---------------------------------------------------------------------------------------------
// State

void TRenderState::ReleaseMemory() {
  Preview = TKVBitmap();
  Spare = TKVBitmap();
  NotesCache.reset();
  DropPicture();
}

// ---------------------------------------------------------------------------------------------
// Colours

TRenderColors ResolvedColors(const TCalendarStyle& S, const TPackDefaults& P) {
  TRenderColors c;
  if (S.UseDefaultColors) {
    c.BackColor = P.BackColor;
    c.SaturdayBackColor = P.SaturdayBackColor == clNone
                              ? BlendColors(c.BackColor, LightenColor(c.BackColor, P.DayContrast), 0.4f)
                              : P.SaturdayBackColor;
    c.SundayBackColor = P.SundayBackColor == clNone ? LightenColor(c.BackColor, P.DayContrast) : P.SundayBackColor;
    c.DayColor = P.DayColor;
    c.SaturdayColor = P.SaturdayColor == clNone ? c.DayColor : P.SaturdayColor;
    c.SundayColor = P.SundayColor;
    c.TodayColor = P.TodayColor;
    c.DayShadowColor = P.DayShadowColor;
  } else {
    c.BackColor = S.BackColor;
    if (S.CalculateBackColors) {
      c.SaturdayBackColor = BlendColors(c.BackColor, LightenColor(c.BackColor, S.DayContrast), 0.4f);
      c.SundayBackColor = LightenColor(c.BackColor, S.DayContrast);
    } else {
      c.SaturdayBackColor = S.SaturdayBackColor;
      c.SundayBackColor = S.SundayBackColor;
    }
    c.DayColor = S.DayColor;
    c.SaturdayColor = S.SaturdayColor;
    c.SundayColor = S.SundayColor;
    c.TodayColor = S.TodayColor;
    c.DayShadowColor = S.DayShadowColor;
  }
  return c;
}

QSize PrimaryScreenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return QSize(1024, 768);
  const double ratio = screen->devicePixelRatio();
  return QSize(RoundHalfEven(screen->geometry().width() * ratio), RoundHalfEven(screen->geometry().height() * ratio));
}

int ScreenPixelsPerInch() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return 96;
  const int ppi = RoundHalfEven(screen->logicalDotsPerInchY() * screen->devicePixelRatio());
  return ppi > 0 ? ppi : 96;
}

// ---------------------------------------------------------------------------------------------
// Item canvas

bool TItemCanvas::Begin(const TRect& ItemRect, int ScreenWidth, int ScreenHeight) {
  Item = ItemRect;
  if (ItemRect.Width() <= 0 || ItemRect.Height() <= 0) return false;
  TRect vis;
  IntersectRects(vis, ItemRect, TRect{-1, -1, ScreenWidth + 1, ScreenHeight + 1});
  if (vis.Width() <= 0 || vis.Height() <= 0) return false;
  OX = vis.Left - ItemRect.Left;
  OY = vis.Top - ItemRect.Top;
  Bitmap.BrushStyle = bsSolid;
  Bitmap.SetSize(vis.Width(), vis.Height());
  return true;
}

void TItemCanvas::Fill(const TRect& r, TColor Color) {
  Bitmap.BrushStyle = bsSolid;
  Bitmap.BrushColor = Color;
  Bitmap.FillRect(Local(r));
}

void TItemCanvas::Line(TPoint a, TPoint b, TColor Color) {
  if (a.Y == b.Y && a.X != b.X) {
    const int from = b.X > a.X ? a.X : b.X + 1, to = b.X > a.X ? b.X : a.X + 1;
    Fill(TRect{from, a.Y, to, a.Y + 1}, Color);
  } else if (a.X == b.X && a.Y != b.Y) {
    const int from = b.Y > a.Y ? a.Y : b.Y + 1, to = b.Y > a.Y ? b.Y : a.Y + 1;
    Fill(TRect{a.X, from, a.X + 1, to}, Color);
  }
}

void TItemCanvas::Polyline(TPoint a, TPoint b, TPoint c, TColor Color) {
  Line(a, b, Color);
  Line(b, c, Color);
}

void TItemCanvas::Text(int x, int y, const QString& text, TColor Color) {
  Bitmap.BrushStyle = bsClear;
  Bitmap.FontColor = Color;
  Bitmap.TextOut(x - OX, y - OY, text);
}

void TItemCanvas::BlendOnto(TKVBitmap& Work, float Opacity) const {
  AlphaBlendBitmap(Work, Item.Left + OX, Item.Top + OY, Bitmap, Opacity);
}

void TItemCanvas::DrawOnto(TKVBitmap& Work) const { Work.Draw(Item.Left + OX, Item.Top + OY, Bitmap); }

void TItemCanvas::TakeBack(const TKVBitmap& Work) {
  const int x = Item.Left + OX, y = Item.Top + OY;
  Bitmap.CopyRect(GraphicBounds(Bitmap), Work, TRect{x, y, x + Bitmap.Width(), y + Bitmap.Height()});
}

void DrawBevel(int Style, TItemCanvas& Canvas, TColor B) {
  TColor topLeft, bottomRight;
  if (Style == 1) {
    topLeft = clBlack;
    bottomRight = clWhite;
  } else if (Style == 2) {
    topLeft = clWhite;
    bottomRight = clBlack;
  } else {
    return;
  }
  const int W = Canvas.Width(), H = Canvas.Height();
  Canvas.Polyline({0, H}, {0, 0}, {W, 0}, BlendColors(topLeft, B, 0.25f));
  Canvas.Polyline({W - 1, 0}, {W - 1, H - 1}, {0, H - 1}, BlendColors(B, bottomRight, 0.75f));
  Canvas.Polyline({1, H - 2}, {1, 1}, {W - 2, 1}, BlendColors(topLeft, B, 0.5f));
  Canvas.Polyline({W - 2, 1}, {W - 2, H - 2}, {1, H - 2}, BlendColors(B, bottomRight, 0.5f));
  Canvas.Polyline({2, H - 3}, {2, 2}, {W - 3, 2}, BlendColors(topLeft, B, 0.75f));
  Canvas.Polyline({W - 3, 2}, {W - 3, H - 3}, {2, H - 3}, BlendColors(B, bottomRight, 0.25f));
}

// ---------------------------------------------------------------------------------------------
// Fonts

QFont FontOfHeight(const QFont& Base, int Height) {
  QFont f = Base;
  if (Height < 0) {
    f.setPixelSize(-Height);
    return f;
  }
  if (Height == 0) return f;
  // The cell is at least as tall as the characters: start at the height and come down.
  f.setPixelSize(Height);
  const int full = TextHelper().TextHeight(f, kMeasuringText);
  if (full <= Height) return f;
  int p = std::clamp(int(qint64(Height) * Height / std::max(full, 1)), 1, Height);
  f.setPixelSize(p);
  while (p > 1 && TextHelper().TextHeight(f, kMeasuringText) > Height) f.setPixelSize(--p);
  while (p < Height) {
    QFont bigger = f;
    bigger.setPixelSize(p + 1);
    if (TextHelper().TextHeight(bigger, kMeasuringText) > Height) break;
    f = bigger;
    ++p;
  }
  return f;
}

QFont FontAtPoints(const TFont& Font, int Points, int PixelsPerInch) {
  QFont f = Font.ToQFont();
  f.setPixelSize(std::max(1, MulDiv(Points, PixelsPerInch > 0 ? PixelsPerInch : 96, 72)));
  return f;
}

// ---------------------------------------------------------------------------------------------
// Context

TRenderContext::TRenderContext(TRenderState& S, const TRenderInputs& In)
    : State(S), Inputs(In), Settings(*In.Settings), Style(In.Settings->WorkStyle), Layout(*In.Layout) {}

int TRenderContext::HolidayRow(int Year, int Month) const {
  return Inputs.Holidays ? Inputs.Holidays->HolidayRow(Year, Month) : -1;
}

bool TRenderContext::IsHolidayCell(int Row, int Day) const {
  return Row >= 0 && Inputs.Holidays && Inputs.Holidays->HolidayCell(Row, Day) != nullptr;
}

bool TRenderContext::IsHoliday(const QDate& Date) const {
  return Date.isValid() && IsHolidayCell(HolidayRow(Date.year(), Date.month()), Date.day());
}

QFont TRenderContext::DayFontAt(int Points) const { return FontAtPoints(Style.DayFont, Points, PixelsPerInch); }

float TRenderContext::MonthBarOpacity() const { return float(Style.MonthBarTransparency / 100.0); }

bool TRenderContext::ItemBackground(const TRect& ItemRect, TColor Color) {
  if (!Item.Begin(ItemRect, ScreenWidth, ScreenHeight)) return false;
  Item.Fill(TRect{0, 0, Item.Width(), Item.Height()}, Color);
  DrawBevel(Style.BevelStyle, Item, Colors.BackColor);
  Item.BlendOnto(WorkBitmap, MonthBarOpacity());
  return true;
}

void TRenderContext::ShadowText(TItemCanvas& Canvas, int x, int y, const QString& text, TColor Color) {
  ShadowText(Canvas.Bitmap, x - Canvas.OX, y - Canvas.OY, text, Color);
}

void TRenderContext::ShadowText(TKVBitmap& Target, int x, int y, const QString& text, TColor Color) {
  Target.BrushStyle = bsClear;
  if (Style.DayShadow > 0) {
    Target.FontColor = Colors.DayShadowColor;
    Target.TextOut(x + Style.DayShadow, y + Style.DayShadow, text);
  }
  Target.FontColor = Color;
  Target.TextOut(x, y, text);
}

void TRenderContext::TodayFrame(TItemCanvas& Canvas, const TRect& r) { TodayFrame(Canvas.Bitmap, Canvas.Local(r)); }

void TRenderContext::TodayFrame(TKVBitmap& Target, const TRect& r) {
  Target.BrushStyle = bsSolid;
  if (Style.DayShadow > 0) {
    Target.BrushColor = Colors.DayShadowColor;
    Target.FrameRect(OffsetRectBy(r, Style.DayShadow, Style.DayShadow));
  }
  Target.BrushColor = Colors.TodayColor;
  Target.FrameRect(r);
  Target.BrushStyle = bsClear;
}

QString TRenderContext::MonthName(int Month) const { return Inputs.Locale.monthName(Month, QLocale::LongFormat); }

QString TRenderContext::ShortDayName(int DayOfWeek) const {
  return Inputs.Locale.dayName(DayOfWeek == 1 ? 7 : DayOfWeek - 1, QLocale::ShortFormat);
}

// ---------------------------------------------------------------------------------------------
// Calendar font fitting

TCalendarFontMetrics FitCalendarFont(const TFont& DayFont, int DaySpace, int WorkAreaHeight, int PixelsPerInch,
                                     const QLocale& Locale) {
  QStringList names;
  for (int qtDay = 1; qtDay <= 7; ++qtDay) names << Locale.dayName(qtDay, QLocale::ShortFormat);
  TCalendarFontMetrics m;
  int size = 19, rowHeight = 0;
  QFont font;
  do {
    --size;
    font = FontAtPoints(DayFont, size, PixelsPerInch);
    rowHeight = 0;
    for (const QString& n : names) rowHeight = std::max(rowHeight, TextHelper().TextHeight(font, n));
    // Below size 1 there is nothing left to try.
  } while (!(qint64(2 * qint64(DaySpace) + rowHeight) * 31 + 6 < WorkAreaHeight) && size > 1);
  m.CalendarFontSize = size;
  for (const QString& n : names) m.DayNameWidth = std::max(m.DayNameWidth, TextHelper().TextWidth(font, n));
  m.DayRowHeight = rowHeight + 2 * DaySpace;
  return m;
}

void FitCalendarFont(TRenderState& State, const TFont& DayFont, int DaySpace, int WorkAreaHeight, int PixelsPerInch,
                     const QLocale& Locale) {
  const TCalendarFontMetrics m = FitCalendarFont(DayFont, DaySpace, WorkAreaHeight, PixelsPerInch, Locale);
  State.CalendarFontSize = m.CalendarFontSize;
  State.DayNameWidth = m.DayNameWidth;
  State.DayRowHeight = m.DayRowHeight;
}

// ---------------------------------------------------------------------------------------------
// Phases

namespace {

// A screen-sized bitmap to draw into, with a fresh canvas (brush, font, blur state): the spare one
// of the state when it has the size and no one else holds its pixels, else a new one. Its pixels
// are whatever they were.
void TakeScreenBitmap(TRenderContext& c) {
  TKVBitmap& work = c.WorkBitmap;
  work = TKVBitmap();
  QImage pixels = std::move(c.State.Spare.Image());
  c.State.Spare = TKVBitmap();
  if (pixels.size() == QSize(c.ScreenWidth, c.ScreenHeight) && pixels.format() == QImage::Format_BGR888 &&
      pixels.isDetached())
    work = TKVBitmap(pixels);
  pixels = QImage();
  work.BrushStyle = bsSolid;
  work.BrushColor = clBackground;
  work.SetSize(c.ScreenWidth, c.ScreenHeight);
}

// The screen bitmap in the desktop colour with the current picture placed on it. The placed
// picture is kept with the picture and copied into the screen bitmap, which is filled only where
// nothing is placed.
void PlacePicture(TRenderContext& c) {
  TakeScreenBitmap(c);
  TKVBitmap& work = c.WorkBitmap;
  const TRect screen{0, 0, c.ScreenWidth, c.ScreenHeight};

  const int position = c.Settings.ImagePosition;
  // Tiled pictures are used at full size; the others need no more pixels than the screen has.
  const QSize target = position == ipTile ? QSize() : QSize(c.ScreenWidth, c.ScreenHeight);
  LoadCurrentImage(c.State.CurrentPicture, c.Settings, c.Inputs.UsedImages, c.Inputs.ExeDir, target);
  if (position == ipHideImage) {
    work.FillRect(screen);
    return;
  }

  TCurrentPicture& picture = *c.State.CurrentPicture;
  TKVBitmap& placed = picture.Placed;
  if (picture.PlacedPosition != position || placed.Width() != c.ScreenWidth || placed.Height() != c.ScreenHeight) {
    placed = TKVBitmap();
    placed.BrushStyle = bsSolid;
    placed.BrushColor = clBackground;
    const QImage& graphic = picture.Graphic;
    switch (position) {
      case ipBestFit: PaintStretchFit(placed, &graphic, c.ScreenWidth, c.ScreenHeight); break;
      case ipCenter: PaintBestFit(placed, &graphic, c.ScreenWidth, c.ScreenHeight); break;
      case ipTile: PaintTiled(placed, graphic, c.ScreenWidth, c.ScreenHeight); break;
      default:
        placed.SetSize(c.ScreenWidth, c.ScreenHeight);
        placed.FillRect(screen);
        placed.StretchDraw(screen, graphic);
        break;
    }
    picture.PlacedPosition = position;
  }
  work.CopyRect(screen, placed, screen);
}

void DrawTransparent(TKVBitmap& work, int x, int y, const TKVBitmap& picture, TColor transparent) {
  TRGBTriple key;
  ColorToTriple(transparent, key);
  const int x0 = std::max(0, -x), y0 = std::max(0, -y);
  const int x1 = std::min(picture.Width(), work.Width() - x), y1 = std::min(picture.Height(), work.Height() - y);
  for (int j = y0; j < y1; ++j) {
    const TRGBTriple* s = picture.ScanLine(j);
    TRGBTriple* d = work.ScanLine(y + j) + x;
    for (int i = x0; i < x1; ++i)
      if (s[i].rgbtRed != key.rgbtRed || s[i].rgbtGreen != key.rgbtGreen || s[i].rgbtBlue != key.rgbtBlue) d[i] = s[i];
  }
}

void DrawSponsorImage(TRenderContext& c) {
  const TLayoutItem& item = c.Layout.SponsorImage();
  const TMirovaIni* pack = c.Inputs.PackIni;
  if (!item.Visible || !pack || !pack->ShowSponsorImg || pack->Ads.Count() < 1 || AnyNotesShown(c)) return;
  try {
    const int no = c.Settings.SponsorNo;
    if (no < 0 || no >= pack->Ads.Count()) return;
    const TMirovaAdItem& ad = *pack->Ads[no];
    const TKVBitmapList* strip = c.Inputs.PackImages ? c.Inputs.PackImages->Items(1) : nullptr;
    if (!strip || !strip->IsIndex(no)) return;
    TKVBitmap& bitmap = c.Item.Bitmap;
    bitmap = TKVBitmap();
    strip->GetBitmap(bitmap, no);
    if (bitmap.Empty()) return;
    const int X = item.Rect.Left;
    const int Y = item.HasAnchor(akTop) ? item.Rect.Top : item.Rect.Top - c.State.TaskbarHeight;
    if (ad.BlendImage) {
      DarkenGrey(bitmap, 255 - AddSaturated(50, ad.BlendContrast));
      SubtractBitmapSaturated(c.WorkBitmap, X, Y, bitmap);
      AddBitmapSaturated(c.WorkBitmap, X - 1, Y - 1, bitmap);
    } else if (ad.TransparentColor == clNone) {
      c.WorkBitmap.Draw(X, Y, bitmap);
    } else {
      DrawTransparent(c.WorkBitmap, X, Y, bitmap, ad.TransparentColor);
    }
  } catch (const std::exception&) {
    // The calendar stays without the sponsor picture.
  }
}

void HandOver(TRenderContext& c) {
  // The bitmap handed over before becomes the next drawing's.
  TKVBitmap previous = std::move(c.State.Preview);
  c.State.Preview = std::move(c.WorkBitmap);
  c.State.Spare = std::move(previous);
  c.WorkBitmap = TKVBitmap();
  c.Item.Bitmap = TKVBitmap();
  c.State.Dirty = true;
  c.Settings.SaveSettings();
  if (c.State.OnHandOver) c.State.OnHandOver();
}

}  // namespace

bool RenderCalendar(TRenderState& State, const TRenderInputs& Inputs, bool RecalcLayout) {
  if (State.Busy || State.Drawing) return false;
  State.Drawing = true;
  const auto drawn = qScopeGuard([&State] { State.Drawing = false; });
  if (!Inputs.Settings || !Inputs.Layout) throw EKVError(QStringLiteral("The calendar has no settings or layout to draw"));
  std::optional<TKVTextHelperScope> textScope;
  if (Inputs.TextHelper) textScope.emplace(*Inputs.TextHelper);

  TRenderContext c(State, Inputs);
  c.Colors = ResolvedColors(c.Style, c.Settings.PackDefaults);

  // One clock reading serves the whole drawing.
  c.Now = Inputs.Now.isValid() ? Inputs.Now : KVNow();
  SetDateState(c.Now);
  State.LastRenderDay = c.Now.date().day();
  State.LastRenderDate = c.Now.date();

  const QSize screen = Inputs.ScreenSize.isValid() && !Inputs.ScreenSize.isEmpty() ? Inputs.ScreenSize : PrimaryScreenSize();
  c.ScreenWidth = screen.width();
  c.ScreenHeight = screen.height();
  c.PixelsPerInch = Inputs.PixelsPerInch > 0 ? Inputs.PixelsPerInch : ScreenPixelsPerInch();
  PlacePicture(c);
  c.Today = c.Now.date();

  if (RecalcLayout) {
    std::uint16_t year = 0, month = 0;
    TLayoutIni::MonthIdToYearMonth(c.Layout.MonthLine().MonthID, c.Today.year(), c.Today.month(), year, month);
    TLayoutMetrics m;
    m.ScreenWidth = c.ScreenWidth;
    m.ScreenHeight = c.ScreenHeight;
    m.DayFont = c.DayFontAt(State.CalendarFontSize);
    m.TitleFont = c.DayFontAt(2 * State.CalendarFontSize);
    m.TitleFont.setPixelSize(2 * m.TitleFont.pixelSize());
    m.DayNameWidth = State.DayNameWidth;
    m.DayRowHeight = State.DayRowHeight;
    m.TitleText = MonthTitle(c, year, month);
    m.PackImages = Inputs.PackImages;
    m.SponsorNo = c.Settings.SponsorNo;
    CalculateLayout(c.Layout, m);
  }

  DrawMonthLine(c);
  DrawMonthYear(c);
  DrawMonthBoxes(c);
  if (Inputs.DrawNotes) Inputs.DrawNotes(c);
  DrawSponsorImage(c);
  HandOver(c);
  return true;
}
