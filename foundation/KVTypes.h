#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <cstdint>
#include <optional>

// 32-bit colour of the class library: red in the low byte, then green, then blue.
// 0x80000000 + i names system colour i; clNone (0x1FFFFFFF) means "none" or "derived".
using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clSystemColor = 0x80000000;
constexpr TColor clScrollBar = 0x80000000, clBackground = 0x80000001, clActiveCaption = 0x80000002,
                 clInactiveCaption = 0x80000003, clMenu = 0x80000004, clWindow = 0x80000005,
                 clWindowFrame = 0x80000006, clMenuText = 0x80000007, clWindowText = 0x80000008,
                 clCaptionText = 0x80000009, clActiveBorder = 0x8000000A,
                 clInactiveBorder = 0x8000000B, clAppWorkSpace = 0x8000000C,
                 clHighlight = 0x8000000D, clHighlightText = 0x8000000E, clBtnFace = 0x8000000F,
                 clBtnShadow = 0x80000010, clGrayText = 0x80000011, clBtnText = 0x80000012,
                 clInactiveCaptionText = 0x80000013, clBtnHighlight = 0x80000014,
                 cl3DDkShadow = 0x80000015, cl3DLight = 0x80000016, clInfoText = 0x80000017,
                 clInfoBk = 0x80000018;

constexpr TColor RGB(int r, int g, int b) {
  return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}
constexpr int GetRValue(TColor c) { return int(c & 0xFF); }
constexpr int GetGValue(TColor c) { return int((c >> 8) & 0xFF); }
constexpr int GetBValue(TColor c) { return int((c >> 16) & 0xFF); }

// System colours resolve through a fixed table (the classic desktop scheme), never the theme.
TColor ColorToRGB(TColor c);

// Name of one of the 42 named colours ("clRed", "clBtnFace", "clNone"), or empty.
QString ColorToIdent(TColor c);
// Value of a colour name, compared without regard to case.
std::optional<TColor> IdentToColor(const QString& name);
// Colour text of the registry and skin files: a colour name, or "$" + eight hex digits.
QString ColorToString(TColor c);
// A colour name or an integer text (decimal, or hex after "$"); nullopt when neither.
std::optional<TColor> StringToColor(const QString& text);

// Font character-set names of the class library (DEFAULT_CHARSET ...).
QString CharsetToIdent(int charset);
std::optional<int> IdentToCharset(const QString& name);

struct TPoint {
  int X = 0, Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Left, Top inclusive; Right, Bottom exclusive.
struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};
constexpr TRect Rect(int l, int t, int r, int b) { return TRect{l, t, r, b}; }
constexpr TRect Bounds(int l, int t, int w, int h) { return TRect{l, t, l + w, t + h}; }

// a * b / c with the 64-bit product, rounded half away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);

// Delphi-style integer text: optional blanks, sign, decimal or "$"/"0x" hex; the whole text
// must be a number that fits in 32 bits.
std::optional<int> StrToIntOpt(const QString& s);
int StrToIntDef(const QString& s, int def);

// Date-time values as the class library keeps them: days since 30 December 1899, the time of day
// as the fraction.
using TDateTime = double;
TDateTime DateToDateTime(const QDate& d);
TDateTime TimeToDateTime(const QTime& t);
TDateTime ToDateTime(const QDateTime& dt);
QDate DateTimeToDate(TDateTime v);
QTime DateTimeToTime(TDateTime v);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeekSundayFirst(const QDate& d);
