#include "calendar/MirLayout.h"

#include <algorithm>
#include <cstdint>

#include "calendar/iniData.h"
#include "foundation/KVBitmapList.h"
#include "foundation/KVGraphics.h"

namespace {

using std::int64_t;

int Sat(int64_t v) { return int(std::clamp<int64_t>(v, -kMaxLayoutCoord, kMaxLayoutCoord)); }

// The size a rule gives by itself on an extent of D pixels; Current for the sizes worked out later.
int DirectValue(const TLSize& s, int D, int Current) {
  switch (s.ValueType) {
    case lsFixed: return Sat(s.Value);
    case lsPromil: return Sat(RoundHalfEven(double(int64_t(D) * s.Value) / 1000.0));
    case lsScr: return D;
    default: return Current;
  }
}

void DirectSize(TLSize& s, int D) { s.Computed = DirectValue(s, D, s.Computed); }

int Clamped(const TLSize& s, int v) {
  if (s.ValueType != lsPromil && s.ValueType != lsCalc) return v;
  if (s.Min > 0 && s.Min > v) return Sat(s.Min);
  if (s.Max > 0 && s.Max < v) return Sat(s.Max);
  return v;
}

void Clamp(TLSize& s) { s.Computed = Clamped(s, s.Computed); }

// Snaps a size to Cells whole cells plus the 6-pixel margin.
int Snap(int size, int cells) { return Sat(int64_t((size - 6) / cells) * cells + 6); }

void CenterGroups(TLayoutIni& L, const std::vector<std::vector<int>>& groups, bool horizontal, int extent) {
  for (const std::vector<int>& group : groups) {
    int64_t minStart = extent, maxEnd = 0;
    for (int i : group) {
      const TLayoutItem& it = *L.LayoutItems[size_t(i)];
      if (!it.Visible) continue;
      minStart = std::min<int64_t>(minStart, horizontal ? it.Rect.Left : it.Rect.Top);
      maxEnd = std::max<int64_t>(maxEnd, horizontal ? it.Rect.Right : it.Rect.Bottom);
    }
    const int64_t d = (extent - maxEnd + minStart) / 2;
    if (d <= 0) continue;
    for (int i : group) {
      TLayoutItem& it = *L.LayoutItems[size_t(i)];
      if (!it.Visible) continue;
      const bool forward = it.HasAnchor(horizontal ? akLeft : akTop);
      const int64_t move = forward ? d : -d;
      if (horizontal) {
        it.Rect.Left = Sat(it.Rect.Left + move);
        it.Rect.Right = Sat(it.Rect.Right + move);
      } else {
        it.Rect.Top = Sat(it.Rect.Top + move);
        it.Rect.Bottom = Sat(it.Rect.Bottom + move);
      }
    }
  }
}

}  // namespace

void CalculateLayout(TLayoutIni& L, const TLayoutMetrics& M) {
  const int W = M.ScreenWidth, H = M.ScreenHeight;
  const auto item = [&L](int i) -> TLayoutItem& { return *L.LayoutItems[size_t(i)]; };

  // Step 1: direct sizes.
  for (TLayoutItem* it : L.LayoutItems) {
    if (!it->Visible) continue;
    DirectSize(*it->Width, W);
    DirectSize(*it->Height, H);
    DirectSize(*it->XSpace, W);
    DirectSize(*it->YSpace, H);
  }

  // Step 2: the sponsor picture's size, visible or not.
  {
    TLayoutItem& s = L.SponsorImage();
    s.Width->Computed = s.Height->Computed = 0;
    const TKVBitmapList* strip = M.PackImages && M.PackImages->Count() > 1 ? M.PackImages->Items(1) : nullptr;
    if (strip) {
      s.Width->Computed = strip->EntryWidth(M.SponsorNo);
      s.Height->Computed = strip->EntryHeight(M.SponsorNo);
    }
  }

  // Step 3: horizontal pass.
  for (int i : L.XOrder) {
    TLayoutItem& it = item(i);
    if (!it.Visible) continue;
    TLSize& w = *it.Width;
    if (w.ValueType == lsCtrl) {
      int64_t sum = 0;
      bool first = true;
      for (int c : w.CtrlIndices) {
        sum += item(c).Width->Computed;
        if (!first) sum += item(c).XSpace->Computed;
        first = false;
      }
      w.Computed = Sat(sum);
    }
    if (i == liMonthLine) {
      if (L.MonthLine().Horz)
        w.Computed = Snap(w.Computed, 31);
      else
        w.Computed = Sat(int64_t(TextHelper().TextWidth(M.DayFont, QStringLiteral("99"))) + M.DayNameWidth + 34);
    } else if (i >= liMonthBox1 && i <= liMonthBox12) {
      w.Computed = Snap(w.Computed, 7);
    } else if (i == liMonthYear) {
      w.Computed = Sat(TextHelper().TextWidth(M.TitleFont, M.TitleText + QLatin1Char('0')) / 2 + 6);
      it.Height->Computed = Sat(TextHelper().TextHeight(M.TitleFont, M.TitleText) / 2 + 6);
    }
    Clamp(w);
    Clamp(*it.XSpace);
  }

  // Step 4: vertical pass.
  for (int i : L.YOrder) {
    TLayoutItem& it = item(i);
    if (!it.Visible) continue;
    TLSize& h = *it.Height;
    if (h.ValueType == lsCtrl) {
      int64_t sum = 0;
      bool first = true;
      for (int c : h.CtrlIndices) {
        sum += item(c).Height->Computed;
        if (!first) sum += item(c).YSpace->Computed;
        first = false;
      }
      h.Computed = Sat(sum);
    }
    if (i >= liMonthBox1 && i <= liMonthBox12) h.Computed = Snap(h.Computed, 8);
    // A vertical month line sized by its content holds its 31 day rows.
    if (i == liMonthLine && !L.MonthLine().Horz && h.ValueType == lsCalc)
      h.Computed = Sat(31 * int64_t(M.DayRowHeight) + 6);
    Clamp(h);
    Clamp(*it.YSpace);
  }

  // Step 5: rectangles.
  for (TLayoutItem* it : L.LayoutItems) {
    if (!it->Visible) continue;
    int64_t x = it->XSpace->Computed, y = it->YSpace->Computed;
    for (int s : it->SXPosIndices) x += int64_t(item(s).Width->Computed) + item(s).XSpace->Computed;
    for (int s : it->SYPosIndices) y += int64_t(item(s).Height->Computed) + item(s).YSpace->Computed;
    const int64_t w = it->Width->Computed, h = it->Height->Computed;
    if (it->HasAnchor(akLeft)) {
      it->Rect.Left = Sat(x);
      it->Rect.Right = Sat(x + w);
    } else {
      it->Rect.Right = Sat(W - x);
      it->Rect.Left = Sat(W - x - w);
    }
    if (it->HasAnchor(akTop)) {
      it->Rect.Top = Sat(y);
      it->Rect.Bottom = Sat(y + h);
    } else {
      it->Rect.Bottom = Sat(H - y);
      it->Rect.Top = Sat(H - y - h);
    }
  }

  // Step 6: centring groups.
  CenterGroups(L, L.CenterXGroups, true, W);
  CenterGroups(L, L.CenterYGroups, false, H);
}

int MonthLineRoom(const TLayoutIni& L, int ScreenHeight, int WorkAreaTop, int WorkAreaBottom) {
  const int work = std::max(0, WorkAreaBottom - WorkAreaTop);
  const TMonthLine& line = L.MonthLine();
  if (!line.Visible || line.Horz) return work;
  const TLSize &h = *line.Height, &y = *line.YSpace;
  switch (h.ValueType) {
    case lsFixed:
    case lsPromil:
    case lsScr: return std::clamp(Clamped(h, DirectValue(h, ScreenHeight, ScreenHeight)), 0, work);
    case lsCalc: {
      if (!line.SYPosIndices.empty() || y.ValueType == lsCalc || y.ValueType == lsCtrl) return work;
      const int space = Clamped(y, DirectValue(y, ScreenHeight, 0));
      int room = line.HasAnchor(akTop) ? WorkAreaBottom - space : ScreenHeight - space - WorkAreaTop;
      if (h.Max > 0) room = std::min(room, h.Max);
      return std::max(0, room);
    }
    default: return work;
  }
}
