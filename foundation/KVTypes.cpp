#include "foundation/KVTypes.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace {

struct IdentEntry {
  TColor value;
  const char* name;
};

constexpr std::array<IdentEntry, 42> kColors = {{
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
    {clNone, "clNone"},
}};

// Classic desktop scheme, indexed by system colour number.
constexpr std::array<TColor, 25> kSystemColors = {
    RGB(212, 208, 200), RGB(58, 110, 165),  RGB(10, 36, 106),   RGB(128, 128, 128),
    RGB(212, 208, 200), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),
    RGB(255, 255, 225)};

struct CharsetEntry {
  int value;
  const char* name;
};

constexpr std::array<CharsetEntry, 19> kCharsets = {{
    {0, "ANSI_CHARSET"},         {1, "DEFAULT_CHARSET"},     {2, "SYMBOL_CHARSET"},
    {77, "MAC_CHARSET"},         {128, "SHIFTJIS_CHARSET"},  {129, "HANGEUL_CHARSET"},
    {130, "JOHAB_CHARSET"},      {134, "GB2312_CHARSET"},    {136, "CHINESEBIG5_CHARSET"},
    {161, "GREEK_CHARSET"},      {162, "TURKISH_CHARSET"},   {163, "VIETNAMESE_CHARSET"},
    {177, "HEBREW_CHARSET"},     {178, "ARABIC_CHARSET"},    {186, "BALTIC_CHARSET"},
    {204, "RUSSIAN_CHARSET"},    {222, "THAI_CHARSET"},      {238, "EASTEUROPE_CHARSET"},
    {255, "OEM_CHARSET"},
}};

}  // namespace

TColor ColorToRGB(TColor c) {
  if (c & clSystemColor) {
    const unsigned idx = c & 0xFF;
    return idx < kSystemColors.size() ? kSystemColors[idx] : clBlack;
  }
  return c;
}

QString ColorToIdent(TColor c) {
  for (const auto& e : kColors)
    if (e.value == c) return QString::fromLatin1(e.name);
  return {};
}

std::optional<TColor> IdentToColor(const QString& name) {
  for (const auto& e : kColors)
    if (name.compare(QLatin1String(e.name), Qt::CaseInsensitive) == 0) return e.value;
  return std::nullopt;
}

QString ColorToString(TColor c) {
  const QString ident = ColorToIdent(c);
  if (!ident.isEmpty()) return ident;
  return QStringLiteral("$%1").arg(c, 8, 16, QLatin1Char('0')).toUpper();
}

std::optional<TColor> StringToColor(const QString& text) {
  if (auto c = IdentToColor(text.trimmed())) return c;
  const QString t = text.trimmed();
  // Colours are full 32-bit values: "$80000005" is a system colour, not an overflow.
  if (t.startsWith(QLatin1Char('$'))) {
    bool ok = false;
    const qulonglong v = t.mid(1).toULongLong(&ok, 16);
    if (ok && t.size() > 1 && v <= 0xFFFFFFFFull) return TColor(v);
    return std::nullopt;
  }
  bool ok = false;
  const qlonglong v = t.toLongLong(&ok, 10);
  if (ok && v >= INT32_MIN && v <= 0xFFFFFFFFll) return TColor(std::uint32_t(v));
  return std::nullopt;
}

QString CharsetToIdent(int charset) {
  for (const auto& e : kCharsets)
    if (e.value == charset) return QString::fromLatin1(e.name);
  return {};
}

std::optional<int> IdentToCharset(const QString& name) {
  for (const auto& e : kCharsets)
    if (name.compare(QLatin1String(e.name), Qt::CaseInsensitive) == 0) return e.value;
  return std::nullopt;
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t p = std::int64_t(a) * b;
  const bool neg = (p < 0) != (c < 0);
  std::int64_t q = ((p < 0 ? -p : p) + (std::int64_t(c < 0 ? -std::int64_t(c) : c) / 2)) /
                   (c < 0 ? -std::int64_t(c) : c);
  if (neg) q = -q;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return int(q);
}

std::optional<int> StrToIntOpt(const QString& s) {
  int i = 0;
  const int n = s.size();
  while (i < n && s[i] == QLatin1Char(' ')) ++i;
  bool neg = false;
  if (i < n && (s[i] == QLatin1Char('-') || s[i] == QLatin1Char('+'))) {
    neg = s[i] == QLatin1Char('-');
    ++i;
  }
  int base = 10;
  if (i < n && s[i] == QLatin1Char('$')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && s[i] == QLatin1Char('0') &&
             (s[i + 1] == QLatin1Char('x') || s[i + 1] == QLatin1Char('X'))) {
    base = 16;
    i += 2;
  }
  if (i >= n) return std::nullopt;
  std::int64_t v = 0;
  for (; i < n; ++i) {
    const int d = QChar(s[i]).isDigit() && s[i].unicode() < 128 ? s[i].unicode() - '0'
                  : base == 16 && s[i].toLower() >= QLatin1Char('a') && s[i].toLower() <= QLatin1Char('f')
                      ? s[i].toLower().unicode() - 'a' + 10
                      : -1;
    if (d < 0) return std::nullopt;
    v = v * base + d;
    // Hex texts may name the full 32-bit pattern, decimal ones must fit the signed range.
    if (v > (base == 16 ? 0xFFFFFFFFll : 0x80000000ll)) return std::nullopt;
  }
  if (base == 16) {
    const auto u = std::uint32_t(v);
    return int(neg ? std::uint32_t(0u - u) : u);
  }
  if (neg) return int(-v);
  if (v > INT32_MAX) return std::nullopt;
  return int(v);
}

int StrToIntDef(const QString& s, int def) {
  const auto v = StrToIntOpt(s);
  return v ? *v : def;
}

namespace {
const QDate kEpoch(1899, 12, 30);
}

TDateTime DateToDateTime(const QDate& d) { return d.isValid() ? double(kEpoch.daysTo(d)) : 0.0; }

TDateTime TimeToDateTime(const QTime& t) { return t.isValid() ? t.msecsSinceStartOfDay() / 86400000.0 : 0.0; }

TDateTime ToDateTime(const QDateTime& dt) { return DateToDateTime(dt.date()) + TimeToDateTime(dt.time()); }

QDate DateTimeToDate(TDateTime v) {
  if (!std::isfinite(v) || v > 3e6 || v < -7e5) return kEpoch;  // outside 1 Jan 0100 .. year 9999
  return kEpoch.addDays(qint64(std::trunc(v)));
}

QTime DateTimeToTime(TDateTime v) {
  if (!std::isfinite(v)) return QTime(0, 0);
  const double frac = std::fabs(v - std::trunc(v));
  const int ms = int(std::nearbyint(frac * 86400000.0)) % 86400000;
  return QTime::fromMSecsSinceStartOfDay(ms);
}

int DayOfWeekSundayFirst(const QDate& d) { return d.dayOfWeek() % 7 + 1; }
