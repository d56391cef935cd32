#include "foundation/KVSysUtils.h"

#include <cmath>

// ---------------------------------------------------------------------------------------------
// TKVRegistry

bool TKVRegistry::ReadBoolDef(const QString& Name, bool Default) {
  if (!ValueExists(Name)) return Default;
  try {
    return ReadBool(Name);
  } catch (const EKVError&) {
    return Default;
  }
}

double TKVRegistry::ReadFloatDef(const QString& Name, double Default) {
  if (!ValueExists(Name)) return Default;
  try {
    const double d = ReadFloat(Name);
    return std::isfinite(d) ? d : Default;
  } catch (const EKVError&) {
    return Default;
  }
}

int TKVRegistry::ReadIntegerDef(const QString& Name, int Default) {
  if (!ValueExists(Name)) return Default;
  try {
    return ReadInteger(Name);
  } catch (const EKVError&) {
    return Default;
  }
}

QString TKVRegistry::ReadStringDef(const QString& Name, const QString& Default) {
  if (!ValueExists(Name)) return Default;
  try {
    return ReadString(Name);
  } catch (const EKVError&) {
    return Default;
  }
}

void TKVRegistry::WriteFont(const QString& Prefix, const TFont& Font) {
  WriteString(Prefix + QStringLiteral("Name"), Font.Name);
  WriteString(Prefix + QStringLiteral("CharSet"), QString::number(Font.Charset));
  WriteColor(Prefix + QStringLiteral("Color"), Font.Color);
  WriteInteger(Prefix + QStringLiteral("Size"), Font.Size);
  QString style;
  if (Font.HasStyle(fsBold)) style += QLatin1Char('B');
  if (Font.HasStyle(fsItalic)) style += QLatin1Char('I');
  if (Font.HasStyle(fsUnderline)) style += QLatin1Char('U');
  if (Font.HasStyle(fsStrikeOut)) style += QLatin1Char('S');
  WriteString(Prefix + QStringLiteral("Style"), style);
}

void TKVRegistry::ReadFont(const QString& Prefix, TFont& Font, const TFont& DefaultFont) {
  Font.Assign(DefaultFont);
  // One guard for all five: a value that cannot be read ends the reading there.
  try {
    const QString name = Prefix + QStringLiteral("Name");
    if (ValueExists(name)) {
      const QString face = ReadString(name);
      if (!face.trimmed().isEmpty()) Font.Name = face;
    }
    const QString charset = Prefix + QStringLiteral("CharSet");
    if (ValueExists(charset)) {
      const int cs = StrToIntDef(ReadString(charset), 0);
      Font.Charset = (cs >= 0 && cs <= 255) ? cs : 0;
    }
    const QString color = Prefix + QStringLiteral("Color");
    if (ValueExists(color)) {
      const auto c = StringToColor(ReadString(color));
      if (!c) throw EConvertError(QStringLiteral("Invalid colour for %1").arg(color));
      Font.Color = *c;
    }
    const QString size = Prefix + QStringLiteral("Size");
    if (ValueExists(size)) {
      const int s = ReadInteger(size);
      // A size no font can have keeps the default size rather than an invisible or huge font.
      if (s >= 1 && s <= 1638) Font.Size = s;
    }
    const QString style = Prefix + QStringLiteral("Style");
    if (ValueExists(style)) {
      Font.Style = 0;
      const QString st = ReadString(style);
      if (st.contains(QLatin1Char('B'))) Font.Style |= FontStyle(fsBold);
      if (st.contains(QLatin1Char('I'))) Font.Style |= FontStyle(fsItalic);
      if (st.contains(QLatin1Char('U'))) Font.Style |= FontStyle(fsUnderline);
      if (st.contains(QLatin1Char('S'))) Font.Style |= FontStyle(fsStrikeOut);
    }
  } catch (const EKVError&) {
  }
}

void TKVRegistry::WriteColor(const QString& Name, TColor Color) { WriteString(Name, ColorToString(Color)); }

TColor TKVRegistry::ReadColorDef(const QString& Name, TColor Default) {
  if (!ValueExists(Name)) return Default;
  try {
    const auto c = StringToColor(ReadString(Name));
    return c ? *c : Default;
  } catch (const EKVError&) {
    return Default;
  }
}
