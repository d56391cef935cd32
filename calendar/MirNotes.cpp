#include "calendar/MirNotes.h"

#include <algorithm>
#include <optional>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirData.h"
#include "calendar/iniData.h"
#include "controls/KVRichDoc.h"
#include "foundation/KVRes.h"

namespace {

// Margins of every rendered panel, and the room every text keeps from the box's edges.
constexpr int kMargin = 6;
constexpr int kArrowWidth = 22, kArrowHeight = 16;

class TRichNotesEditor : public TNotesEditor {
 public:
  explicit TRichNotesEditor(int PixelsPerInch) : ppi_(PixelsPerInch) { doc_.SetColor(clWhite); }
  void SetRTFText(const QString& Text) override {
    text_ = Text;
    loaded_ = 0;
    whole_ = false;
  }
  // Only the beginning of a long text is read: more of it while all that was read fits the room.
  bool RenderToBitmap(TKVBitmap& Bitmap, int Width, int Height, int LeftMargin, int TopMargin, int RightMargin,
                      int BottomMargin) override {
    for (int part = std::max(kFirstPart, loaded_);; part = loaded_ * 2) {
      if (!whole_ && loaded_ < part) {
        whole_ = !doc_.SetRTFTextPart(text_, part);
        loaded_ = part;
      }
      const bool fitted =
          doc_.RenderToBitmap(Bitmap, Width, Height, LeftMargin, TopMargin, RightMargin, BottomMargin, ppi_);
      if (whole_ || !fitted) return fitted;
    }
  }

 private:
  static constexpr int kFirstPart = 4096;  // characters; more than any box shows of ordinary text
  int ppi_;
  TKVRichDocument doc_;
  QString text_;
  int loaded_ = 0;  // the characters asked for when the text was last read
  bool whole_ = false;
};

// What the notes keep between drawings with the rich-text document: the document with the text
// it holds, and each panel rendered in the last drawing by text and room, so that a redraw
// neither makes a document nor reads any RTF again.
struct TNotesKeep {
  int ppi = 0;
  std::unique_ptr<TNotesEditor> editor;
  QString editorText;
  bool editorHoldsText = false;
  struct TPanel {
    QString text;
    int width = 0, height = 0;
    TKVBitmap bitmap;
    bool fitsAll = true;
    bool used = false;
  };
  std::vector<TPanel> panels;
};

// The keep of the state, when the notes are drawn through the rich-text document (a test's own
// editor is made anew every drawing, as it expects).
TNotesKeep* NotesKeep(TRenderContext& c) {
  if (c.Inputs.NotesEditor) return nullptr;
  auto keep = std::static_pointer_cast<TNotesKeep>(c.State.NotesCache);
  if (!keep || keep->ppi != c.PixelsPerInch) {
    keep = std::make_shared<TNotesKeep>();
    keep->ppi = c.PixelsPerInch;
    c.State.NotesCache = keep;
  }
  return keep.get();
}

// One box in progress: its rectangle and the running offset from its top, the
// editor (made when first needed) and the text panel.
struct TBox {
  TRenderContext& c;
  TRect B;
  int W = 0, H = 0, NotesOffset = 0;
  std::unique_ptr<TNotesEditor> editor;
  TNotesKeep* keep = nullptr;
  QString text;  // the text last rendered
  TKVBitmap panel;
  bool fitsAll = true;

  TBox(TRenderContext& ctx, const TRect& rect)
      : c(ctx), B(rect), W(rect.Width()), H(rect.Height()), keep(NotesKeep(ctx)) {
    panel.BrushStyle = bsSolid;
    panel.BrushColor = clWhite;
  }

  TNotesEditor& Editor() {
    if (!editor && c.Inputs.NotesEditor) editor = c.Inputs.NotesEditor();
    if (!editor) editor = MakeRichNotesEditor(c.PixelsPerInch);
    return *editor;
  }

  void NoPanel() {
    panel.SetSize(std::min(W, c.ScreenWidth), 0);
    fitsAll = true;
  }

  // The text into the panel, Height at most; an empty text needs no editor. A panel whose room is
  // not positive is not rendered. Nothing of a panel wider or taller than the screen is seen
  // beyond the screen's size, so neither is rendered larger.
  void Render(const QString* newText, int height) {
    if (newText && newText->isEmpty()) return NoPanel();
    const int width = std::min(W, c.ScreenWidth);
    height = std::min(height, c.ScreenHeight);
    if (width <= 0 || height <= 0) return NoPanel();
    if (newText) text = *newText;
    if (keep) {
      RenderKept(width, height);
    } else {
      TNotesEditor& e = Editor();
      if (newText) e.SetRTFText(text);
      fitsAll = e.RenderToBitmap(panel, width, height, kMargin, kMargin, kMargin, kMargin);
    }
    panel.BrushStyle = bsSolid;
    panel.BrushColor = clWhite;
  }

  // The panel of the text in this room as rendered before, or rendered now by the kept editor.
  void RenderKept(int width, int height) {
    for (TNotesKeep::TPanel& p : keep->panels)
      if (p.width == width && p.height == height && p.text == text) {
        p.used = true;
        panel = p.bitmap;
        fitsAll = p.fitsAll;
        return;
      }
    if (!keep->editor) keep->editor = MakeRichNotesEditor(keep->ppi);
    if (!keep->editorHoldsText || keep->editorText != text) {
      keep->editorHoldsText = false;
      keep->editor->SetRTFText(text);
      keep->editorText = text;
      keep->editorHoldsText = true;
    }
    fitsAll = keep->editor->RenderToBitmap(panel, width, height, kMargin, kMargin, kMargin, kMargin);
    keep->panels.push_back({text, width, height, panel, fitsAll, true});
  }

  void SetPanelHeight(int height) { panel.SetSize(std::min(W, c.ScreenWidth), std::clamp(height, 0, c.ScreenHeight)); }

  void MoreArrow() {
    if (!fitsAll) panel.Draw(panel.Width() - kMargin - kArrowWidth, panel.Height() - kArrowHeight, NotesArrow());
  }

  // The panel onto the picture at the given distance from the box's top.
  void Blend(int offset) {
    AlphaBlendBitmap(c.WorkBitmap, B.Left, B.Top + offset, panel, float(c.Style.NotesTransparency / 100.0));
  }
};

int MeasureLineHeight(const QFont& font) { return TextHelper().TextHeight(font, kMeasuringText) + 4; }

// Word-wrapped text in r, its shadow first; r is the measured rectangle.
void ShadowWrapped(TRenderContext& c, TKVBitmap& target, const QString& text, TAlignment alignment, const TRect& r,
                   TColor color) {
  target.BrushStyle = bsClear;
  if (c.Style.DayShadow > 0) {
    TRect s = OffsetRectBy(r, c.Style.DayShadow, c.Style.DayShadow);
    target.FontColor = c.Colors.DayShadowColor;
    DrawTextInRect(target, text, alignment, s, false);
  }
  TRect t = r;
  target.FontColor = color;
  DrawTextInRect(target, text, alignment, t, false);
}

// The sponsor text of the pack's sponsor in use; empty when there is none to show.
QString SponsorText(const TRenderContext& c) {
  const TMirovaIni* pack = c.Inputs.PackIni;
  if (!pack || !pack->ShowSponsorImg || pack->Ads.Count() < 1) return QString();
  const int no = c.Settings.SponsorNo;
  if (no < 0 || no >= pack->Ads.Count()) return QString();
  return pack->Ads[no]->SponsorText;
}

QString QuickNotesText(const TRenderContext& c) { return c.Inputs.QuickNotes ? c.Inputs.QuickNotes->QuickNote.Text() : QString(); }

std::optional<QString> DiaryEntry(const TRenderContext& c, const QDate& date) {
  if (!c.Inputs.FindDiaryEntry) return std::nullopt;
  return c.Inputs.FindDiaryEntry(date.toString(QStringLiteral("yyyy/MM/dd")));
}

QStringList HolidayTitles(const TRenderContext& c, const QDate& date) {
  QStringList titles;
  if (c.Inputs.Holidays) c.Inputs.Holidays->ListHolidaysOfDate(titles, date);
  return titles;
}

const QString& QuickNotesHeading() { return LanguageResource().RSQuickNotes; }

void DrawNotesBox(TRenderContext& c) {
  if (!NotesBoxShown(c)) return;
  const TNotes& item = c.Layout.Notes();
  if (!c.ItemBackground(item.Rect, c.Colors.BackColor)) return;
  TBox box(c, item.Rect);
  const TRect& B = box.B;
  const int opt = c.Settings.ShowNotesOptions;
  const bool diaryOnly = item.DiaryOnly;
  TKVBitmap& work = c.WorkBitmap;
  const QFont font10 = c.DayFontAt(10), font8 = c.DayFontAt(8);
  work.Font = font10;
  const int LH = MeasureLineHeight(font10);
  int& NO = box.NotesOffset;

  if (!diaryOnly || opt == 2) {
    const QString text = SponsorText(c);
    if (!text.isEmpty()) {
      work.BrushStyle = bsClear;
      TRect R{B.Left + kMargin, B.Top, B.Right - kMargin, B.Top};
      DrawTextInRect(work, text, taCenter, R, true);
      const int TH = R.Height() + LH;
      const int Dx = std::max(0, (box.W - R.Width()) / 2);
      const int top = diaryOnly ? B.Top : B.Top + LH;
      R.Top = top + LH / 2;
      R.Bottom = top + TH;
      ShadowWrapped(c, work, text, taCenter, OffsetRectBy(R, Dx, 0), c.Colors.TodayColor);
      c.TodayFrame(work, TRect{B.Left, top, B.Right, top + TH});
      NO += c.Style.DayShadow + TH;
    }
  }

  if (!diaryOnly) {
    if (opt == 2) {
      box.NoPanel();
    } else {
      const QString text = QuickNotesText(c);
      box.Render(&text, (opt == 1 ? box.H : MulDiv(box.H, 2, 3)) - NO - LH);
    }
    if (box.panel.Height() > 0 || NO > 0) {
      c.ShadowText(work, B.Left + kMargin, B.Top + 2, QuickNotesHeading(), c.Colors.TodayColor);
      NO += LH;
    }
    if (box.panel.Height() > 0) {
      box.MoreArrow();
      box.SetPanelHeight(box.panel.Height() + kMargin);
      box.Blend(NO);
      NO += box.panel.Height();
    }
  }

  if (opt != 0 && opt != 2) return;
  // At most 366 days, today included; a day below the screen's bottom would not be seen.
  for (int k = 0; k < 366 && box.H - NO - 2 * LH > 0 && B.Top + NO < c.ScreenHeight; ++k) {
    const QDate D = c.Today.addDays(k);
    const int dayTop = NO;
    const std::optional<QString> entry = DiaryEntry(c, D);
    const bool holiday = c.IsHoliday(D);
    if (entry)
      box.Render(&*entry, box.H - NO - LH);
    else
      box.NoPanel();
    if (box.panel.Height() == 0 && !holiday) continue;

    const bool today = D == c.Today;
    const TColor color = today ? c.Colors.TodayColor : c.Colors.DayColor;
    work.Font = font10;
    c.ShadowText(work, B.Left + kMargin, B.Top + NO + 2, DayHeading(c.Inputs.Locale, D), color);
    NO += LH;

    if (holiday) {
      work.Font = font8;
      for (const QString& title : HolidayTitles(c, D)) {
        TRect R{B.Left + kMargin, B.Top + NO + 2, B.Right - kMargin, B.Top + NO + 2};
        DrawTextInRect(work, title, taLeftJustify, R, true);
        if (B.Top + NO + R.Height() > B.Bottom) break;
        ShadowWrapped(c, work, title, taLeftJustify, R, color);
        NO += R.Height() + c.Style.DayShadow + 2;
      }
      NO += 6;
      // The entry is laid out again in the room the titles left, so that it ends at a whole line.
      if (entry && box.panel.Height() > 0) box.Render(nullptr, box.H - NO);
    }

    if (box.panel.Height() == 0) {
      box.fitsAll = true;
      box.SetPanelHeight(kMargin);
    }
    if (box.panel.Height() + B.Top + NO + kMargin > B.Bottom) {
      box.fitsAll = false;
      box.SetPanelHeight(B.Bottom - B.Top - NO - kMargin);
    }
    if (box.panel.Height() > 0) {
      box.MoreArrow();
      box.SetPanelHeight(box.panel.Height() + kMargin);
      box.Blend(NO);
      NO += box.panel.Height();
    }
    if (today) c.TodayFrame(work, TRect{B.Left, B.Top + dayTop, B.Right, B.Top + NO});
  }
}

void DrawGeneralNotesBox(TRenderContext& c) {
  if (!GeneralNotesShown(c)) return;
  const TNotes& item = c.Layout.GeneralNotes();
  if (!c.ItemBackground(item.Rect, c.Colors.BackColor)) return;
  TBox box(c, item.Rect);
  const TRect& B = box.B;
  TKVBitmap& work = c.WorkBitmap;
  work.Font = c.DayFontAt(10);
  const int LH = MeasureLineHeight(work.Font);
  int& NO = box.NotesOffset;
  work.BrushStyle = bsClear;

  c.ShadowText(work, B.Left + kMargin, B.Top + 2, QuickNotesHeading(), c.Colors.TodayColor);
  NO += LH;

  const QString sponsor = SponsorText(c);
  if (!sponsor.isEmpty()) {
    TRect R{B.Left + kMargin, B.Top, B.Right - kMargin, B.Top};
    DrawTextInRect(work, sponsor, taCenter, R, true);
    const int TH = R.Height();
    const int Dx = std::max(0, (box.W - R.Width()) / 2);
    R.Top = R.Bottom = B.Top + NO + LH / 2 - c.Style.DayShadow;
    ShadowWrapped(c, work, sponsor, taCenter, OffsetRectBy(R, Dx, 0), c.Colors.TodayColor);
    c.TodayFrame(work, TRect{B.Left, B.Top + NO, B.Right, B.Top + NO + TH + LH});
    NO += TH + LH + c.Style.DayShadow;
  }

  const QString text = QuickNotesText(c);
  box.Render(&text, box.H - NO);
  if (box.panel.Height() > 0) {
    box.MoreArrow();
    box.SetPanelHeight(c.Layout.WDayNotes(1).Visible ? box.H - NO : box.panel.Height() + kMargin);
    box.Blend(NO);
  }
}

void DrawWeekDayBoxes(TRenderContext& c) {
  const std::array<QDate, 7> dates = WeekDates(c.Today, c.Layout.SundayFirst);
  const QFont font10 = c.DayFontAt(10), font8 = c.DayFontAt(8);
  const int LH = MeasureLineHeight(font10);
  for (int i = 1; i <= 7; ++i) {
    if (!WDayNotesShown(c, i)) continue;
    const TWDayNotes& item = c.Layout.WDayNotes(i);
    const QDate& date = dates[size_t(i - 1)];
    const TColor back = i == 1 ? c.Colors.SundayBackColor : i == 7 ? c.Colors.SaturdayBackColor : c.Colors.BackColor;
    if (!c.ItemBackground(item.Rect, back)) continue;
    TItemCanvas& cv = c.Item;
    cv.TakeBack(c.WorkBitmap);
    cv.Bitmap.BrushStyle = bsClear;
    cv.Bitmap.Font = font10;
    const bool today = date == c.Today;
    const TColor color = today ? c.Colors.TodayColor : c.Colors.DayColor;
    c.ShadowText(cv, 4, 2, DayHeading(c.Inputs.Locale, date), color);
    int NO = LH;
    if (c.IsHoliday(date)) {
      cv.Bitmap.Font = font8;
      for (const QString& title : HolidayTitles(c, date)) {
        TRect R = cv.Local(TRect{kMargin, NO + 2, cv.Width() - kMargin, NO + 2});
        DrawTextInRect(cv.Bitmap, title, taLeftJustify, R, true);
        ShadowWrapped(c, cv.Bitmap, title, taLeftJustify, R, color);
        NO += R.Height() + c.Style.DayShadow + 2;
      }
      NO += 6;
    }
    cv.DrawOnto(c.WorkBitmap);

    const std::optional<QString> entry = DiaryEntry(c, date);
    if (entry && cv.Height() - NO > 0) {
      TBox box(c, item.Rect);
      box.Render(&*entry, box.H - NO);
      box.editor.reset();
      box.SetPanelHeight(box.H - NO);
      box.MoreArrow();
      box.Blend(NO);
    }
    if (today) c.TodayFrame(c.WorkBitmap, item.Rect);
  }
}

}  // namespace

std::unique_ptr<TNotesEditor> MakeRichNotesEditor(int PixelsPerInch) {
  return std::make_unique<TRichNotesEditor>(PixelsPerInch);
}

const QImage& NotesArrow() {
  // A downward arrow in dark blue with a lighter edge, on transparent pixels.
  static const QImage arrow = [] {
    QImage img(kArrowWidth, kArrowHeight, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    const QRgb edge = qRgb(16, 32, 80), fill = qRgb(48, 96, 192);
    const int cx = kArrowWidth / 2;  // the arrow is symmetric about the line between cx - 1 and cx
    // The stem: rows 1 .. 6, 8 pixels wide.
    for (int y = 1; y <= 6; ++y)
      for (int x = cx - 4; x < cx + 4; ++x) img.setPixel(x, y, (x == cx - 4 || x == cx + 3 || y == 1) ? edge : fill);
    // The head: rows 7 .. 14, from 18 pixels wide down to 4.
    for (int y = 7; y <= 14; ++y) {
      const int h = 9 - (y - 7);
      for (int x = cx - h; x < cx + h; ++x) img.setPixel(x, y, (x == cx - h || x == cx + h - 1 || y == 14) ? edge : fill);
    }
    return img;
  }();
  return arrow;
}

bool DiaryNotesShown(bool ShowNotes, int opt) { return ShowNotes && (opt == 0 || opt == 2); }

bool NotesBoxShown(TRenderContext& c) {
  const TNotes& item = c.Layout.Notes();
  const int opt = c.Settings.ShowNotesOptions;
  if (!item.Visible || !c.Settings.ShowNotes) return false;
  return item.DiaryOnly ? DiaryNotesShown(true, opt) : (opt >= 0 && opt <= 2);
}

bool GeneralNotesShown(TRenderContext& c) {
  const int opt = c.Settings.ShowNotesOptions;
  return c.Layout.GeneralNotes().Visible && c.Settings.ShowNotes && (opt == 0 || opt == 1);
}

bool WDayNotesShown(TRenderContext& c, int Day) {
  const int opt = c.Settings.ShowNotesOptions;
  return Day >= 1 && Day <= 7 && c.Layout.WDayNotes(Day).Visible && DiaryNotesShown(c.Settings.ShowNotes, opt);
}

bool AnyNotesShown(TRenderContext& c) {
  if (NotesBoxShown(c) || GeneralNotesShown(c)) return true;
  for (int i = 1; i <= 7; ++i)
    if (WDayNotesShown(c, i)) return true;
  return false;
}

std::array<QDate, 7> WeekDates(const QDate& Today, bool SundayFirst) {
  std::array<QDate, 7> d;
  const int w = DayOfWeekSundayFirst(Today);
  for (int i = 1; i <= 7; ++i) d[size_t(i - 1)] = Today.addDays(i - w);
  if (!SundayFirst) {
    if (w == 1) {
      for (int i = 2; i <= 7; ++i) d[size_t(i - 1)] = d[size_t(i - 1)].addDays(-7);
    } else {
      d[0] = d[0].addDays(7);
    }
  }
  return d;
}

QString DayHeading(const QLocale& Locale, const QDate& Date) {
  return Locale.dayName(Date.dayOfWeek(), QLocale::LongFormat) + QLatin1Char(' ') +
         Locale.toString(Date, QLocale::ShortFormat);
}

void DrawNotesBoxes(TRenderContext& Ctx) {
  DrawNotesBox(Ctx);
  DrawGeneralNotesBox(Ctx);
  DrawWeekDayBoxes(Ctx);
  // Panels this drawing did not show are not kept for the next.
  if (TNotesKeep* keep = NotesKeep(Ctx)) {
    auto& panels = keep->panels;
    panels.erase(std::remove_if(panels.begin(), panels.end(), [](const TNotesKeep::TPanel& p) { return !p.used; }),
                 panels.end());
    for (auto& p : panels) p.used = false;
  }
}
