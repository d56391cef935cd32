#include "foundation/KVObjectText.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cmath>

TextValue TextValue::Int(qint64 v) {
  TextValue t;
  t.type = Type::Integer;
  t.integer = v;
  return t;
}
TextValue TextValue::Float(double v, char suffix) {
  TextValue t;
  t.type = Type::Float;
  t.number = v;
  t.floatSuffix = suffix;
  return t;
}
TextValue TextValue::Str(const QString& s) {
  TextValue t;
  t.type = Type::String;
  t.text = s;
  return t;
}
TextValue TextValue::Ident(const QString& s) {
  TextValue t;
  t.type = Type::Ident;
  t.text = s;
  return t;
}
TextValue TextValue::Set(const QStringList& elements) {
  TextValue t;
  t.type = Type::Set;
  t.set = elements;
  return t;
}
TextValue TextValue::Binary(const QByteArray& data) {
  TextValue t;
  t.type = Type::Binary;
  t.bytes = data;
  return t;
}
TextValue TextValue::StringList(const QStringList& lines) {
  TextValue t;
  t.type = Type::List;
  for (const QString& l : lines) t.list.push_back(Str(l));
  return t;
}
bool TextValue::IsIdent(const char* name) const {
  return type == Type::Ident && text.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// ---------------------------------------------------------------------------------------------
// Windows-1252

namespace {

// Code points of bytes 0x80..0x9F; the five undefined bytes map to themselves.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QChar Cp1252ToChar(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return QChar(kCp1252High[b - 0x80]);
  return QChar(b);
}

// The byte of a character in Windows-1252, or -1 when it has none.
int CharToCp1252(QChar c) {
  const char16_t u = c.unicode();
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == u) return 0x80 + i;
  return -1;
}

}  // namespace

QString DecodeObjectTextBytes(const QByteArray& bytes) {
  // Windows-1252 is Latin-1 but for 0x80..0x9F: the text is widened at once (a layout's runs to
  // tens of kilobytes, read at start-up), then those few bytes are mapped.
  QString s = QString::fromLatin1(bytes.constData(), bytes.size());
  const uchar* in = reinterpret_cast<const uchar*>(bytes.constData());
  QChar* out = nullptr;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    if (in[i] < 0x80 || in[i] >= 0xA0) continue;
    if (!out) out = s.data();
    out[i] = Cp1252ToChar(in[i]);
  }
  return s;
}

QByteArray EncodeObjectTextBytes(const QString& text) {
  // One byte for each character, written in place: a diary's text runs to tens of megabytes.
  QByteArray out(text.size(), Qt::Uninitialized);
  char* d = out.data();
  const QChar* s = text.constData();
  for (qsizetype i = 0; i < text.size(); ++i) {
    const int b = CharToCp1252(s[i]);
    d[i] = b >= 0 ? char(b) : '?';
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Parser

namespace {

constexpr int kMaxDepth = 64;

class Parser {
 public:
  // Recover: stop at the first error and keep what stands complete before it (see
  // ParseObjectTextPartial) instead of failing.
  Parser(const QString& text, const TextParseOptions& options, bool recover = false)
      : s_(text), n_(text.size()), recover_(recover), options_(options) {}

  TextObject ParseRoot() {
    if (options_.wrap) return ParseObject(0, true);
    SkipBlanks();
    TextObject obj = ParseObject(0);
    return obj;
  }

  const TextDamage& Damage() const { return damage_; }

 private:
  const QString& s_;
  const qsizetype n_;
  qsizetype pos_ = 0;
  int line_ = 1;
  const bool recover_;
  const TextParseOptions& options_;
  TextDamage damage_;

  // Counted before the element is built, so that a text that would cost too much stops early.
  void Charge(qint64 cost) {
    if (options_.budget) options_.budget->Charge(cost);
  }

  // In recovery, the error ends parsing where it happened; every container returns what it had
  // complete, and each one around it stops there too.
  void NoteDamage(const EParserError& e) {
    if (!recover_) throw e;
    if (damage_.damaged) return;
    damage_.damaged = true;
    damage_.line = e.Line();
    damage_.message = e.Message();
  }
  bool Damaged() const { return damage_.damaged; }

  [[noreturn]] void Fail(const QString& what) const { throw EParserError(what, line_); }

  QChar Peek(qsizetype ahead = 0) const {
    return pos_ + ahead < n_ ? s_[pos_ + ahead] : QChar(0);
  }
  bool AtEnd() const { return pos_ >= n_; }

  void SkipBlanks() {
    while (pos_ < n_) {
      const QChar c = s_[pos_];
      if (c == QLatin1Char('\n')) {
        ++line_;
        ++pos_;
      } else if (c.unicode() <= ' ') {
        ++pos_;
      } else {
        break;
      }
    }
  }

  static bool IsIdentStart(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c == QLatin1Char('_');
  }
  static bool IsIdentChar(QChar c) {
    return IsIdentStart(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
  }

  // An identifier at the current position (no blanks skipped), or empty.
  QString PeekIdent() const {
    if (!IsIdentStart(Peek())) return {};
    qsizetype e = pos_;
    while (e < n_ && IsIdentChar(s_[e])) ++e;
    return s_.mid(pos_, e - pos_);
  }

  QString ReadIdent(const char* what) {
    SkipBlanks();
    const QString id = PeekIdent();
    if (id.isEmpty()) Fail(QStringLiteral("%1 expected").arg(QLatin1String(what)));
    pos_ += id.size();
    return id;
  }

  // A dotted name such as Font.Name.
  QString ReadDottedName() {
    QString name = ReadIdent("Identifier");
    while (Peek() == QLatin1Char('.') && IsIdentStart(Peek(1))) {
      ++pos_;
      name += QLatin1Char('.') + PeekIdent();
      pos_ += PeekIdent().size();
    }
    return name;
  }

  bool PeekKeyword(const char* kw) {
    SkipBlanks();
    const QString id = PeekIdent();
    return !id.isEmpty() && id.compare(QLatin1String(kw), Qt::CaseInsensitive) == 0;
  }

  void Expect(char c) {
    SkipBlanks();
    if (Peek() != QLatin1Char(c)) Fail(QStringLiteral("'%1' expected").arg(QLatin1Char(c)));
    ++pos_;
  }

  qint64 ReadInteger() {
    SkipBlanks();
    bool neg = false;
    if (Peek() == QLatin1Char('-') || Peek() == QLatin1Char('+')) {
      neg = Peek() == QLatin1Char('-');
      ++pos_;
    }
    TextValue v = ParseNumber(neg);
    if (v.type != TextValue::Type::Integer) Fail(QStringLiteral("Integer expected"));
    return v.integer;
  }

  // Wrapped: the first line stands for "object <rootName>: <rootClass>" (as if it had been
  // replaced by it) and parsing goes on from its end.
  TextObject ParseObject(int depth, bool wrapped = false) {
    if (depth > kMaxDepth) Fail(QStringLiteral("Objects nested too deeply"));
    Charge(TextCost::kPerObject);
    TextObject obj;
    if (wrapped) {
      obj.line = line_;
      obj.kind = TextObject::Kind::Object;
      obj.name = options_.rootName;
      obj.className = options_.rootClass;
      const qsizetype eol = s_.indexOf(QLatin1Char('\n'));
      pos_ = eol < 0 ? n_ : eol;
    } else {
      SkipBlanks();
      obj.line = line_;
      const QString kw = ReadIdent("'object'");
      if (kw.compare(QLatin1String("object"), Qt::CaseInsensitive) == 0)
        obj.kind = TextObject::Kind::Object;
      else if (kw.compare(QLatin1String("inherited"), Qt::CaseInsensitive) == 0)
        obj.kind = TextObject::Kind::Inherited;
      else if (kw.compare(QLatin1String("inline"), Qt::CaseInsensitive) == 0)
        obj.kind = TextObject::Kind::Inline;
      else
        Fail(QStringLiteral("'object' expected"));

      QString first = ReadIdent("Identifier");
      SkipBlanks();
      if (Peek() == QLatin1Char(':')) {
        ++pos_;
        obj.name = first;
        obj.className = ReadIdent("Class name");
      } else {
        obj.className = first;
      }
    }
    SkipBlanks();
    if (Peek() == QLatin1Char('[')) {
      ++pos_;
      obj.position = ReadInteger();
      Expect(']');
    }
    while (!Damaged()) {
      try {
        SkipBlanks();
        if (AtEnd()) Fail(QStringLiteral("'end' expected"));
        if (PeekKeyword("end")) {
          pos_ += 3;
          break;
        }
        if (PeekKeyword("object") || PeekKeyword("inherited") || PeekKeyword("inline")) {
          obj.children.push_back(ParseObject(depth + 1));
          continue;
        }
        if (!obj.children.empty()) Fail(QStringLiteral("'end' expected"));
        // A collection or list cut by damage keeps its complete part.
        obj.props.push_back(ParseProperty(depth));
      } catch (const EParserError& e) {
        NoteDamage(e);
      }
    }
    return obj;
  }

  TextProperty ParseProperty(int depth) {
    Charge(TextCost::kPerProperty);
    TextProperty p;
    SkipBlanks();
    p.line = line_;
    p.name = ReadDottedName();
    Expect('=');
    p.value = ParseValue(depth);
    return p;
  }

  TextValue ParseValue(int depth) {
    if (depth > kMaxDepth) Fail(QStringLiteral("Values nested too deeply"));
    SkipBlanks();
    const int line = line_;
    TextValue v;
    const QChar c = Peek();
    if (c == QLatin1Char('\'') || c == QLatin1Char('#')) {
      v = TextValue::Str(ParseString());
    } else if (c == QLatin1Char('-') || c == QLatin1Char('+')) {
      ++pos_;
      SkipBlanks();
      v = ParseNumber(c == QLatin1Char('-'));
    } else if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('$')) {
      v = ParseNumber(false);
    } else if (IsIdentStart(c)) {
      // Identifiers may be dotted (component references such as Form1.Skin).
      v = TextValue::Ident(ReadDottedName());
    } else if (c == QLatin1Char('[')) {
      v = ParseSet();
    } else if (c == QLatin1Char('(')) {
      ++pos_;
      v.type = TextValue::Type::List;
      while (!Damaged()) {
        try {
          SkipBlanks();
          if (AtEnd()) Fail(QStringLiteral("')' expected"));
          if (Peek() == QLatin1Char(')')) {
            ++pos_;
            break;
          }
          Charge(options_.elementCost);
          TextValue e = ParseValue(depth + 1);
          if (!Damaged()) v.list.push_back(std::move(e));  // an element cut short is left out
        } catch (const EParserError& e) {
          NoteDamage(e);
        }
      }
    } else if (c == QLatin1Char('<')) {
      v = ParseCollection(depth);
    } else if (c == QLatin1Char('{')) {
      v = TextValue::Binary(ParseBinary());
    } else if (AtEnd()) {
      Fail(QStringLiteral("Value expected"));
    } else {
      Fail(QStringLiteral("Invalid property value"));
    }
    v.line = line;
    return v;
  }

  TextValue ParseNumber(bool negative) {
    if (Peek() == QLatin1Char('$')) {
      ++pos_;
      qsizetype s = pos_;
      while (pos_ < n_ && isxdigit(s_[pos_].unicode() < 128 ? s_[pos_].unicode() : 'g')) ++pos_;
      if (pos_ == s || pos_ - s > 16) Fail(QStringLiteral("Invalid hexadecimal number"));
      bool ok = false;
      const quint64 u = s_.mid(s, pos_ - s).toULongLong(&ok, 16);
      if (!ok) Fail(QStringLiteral("Invalid hexadecimal number"));
      // Negated as unsigned: -$8000000000000000 is the smallest 64-bit integer, not an overflow.
      return TextValue::Int(qint64(negative ? 0 - u : u));
    }
    const qsizetype start = pos_;
    bool isFloat = false;
    while (pos_ < n_ && s_[pos_].isDigit() && s_[pos_].unicode() < 128) ++pos_;
    if (pos_ == start) Fail(QStringLiteral("Number expected"));
    if (Peek() == QLatin1Char('.') && Peek(1).isDigit()) {
      isFloat = true;
      ++pos_;
      while (pos_ < n_ && s_[pos_].isDigit() && s_[pos_].unicode() < 128) ++pos_;
    }
    if (Peek() == QLatin1Char('e') || Peek() == QLatin1Char('E')) {
      qsizetype save = pos_;
      ++pos_;
      if (Peek() == QLatin1Char('+') || Peek() == QLatin1Char('-')) ++pos_;
      if (Peek().isDigit()) {
        isFloat = true;
        while (pos_ < n_ && s_[pos_].isDigit() && s_[pos_].unicode() < 128) ++pos_;
      } else {
        pos_ = save;
      }
    }
    const QString num = s_.mid(start, pos_ - start);
    char suffix = 0;
    const QChar sc = Peek().toLower();
    if ((sc == QLatin1Char('s') || sc == QLatin1Char('c') || sc == QLatin1Char('d')) &&
        !IsIdentChar(Peek(1))) {
      suffix = char(sc.unicode());
      isFloat = true;
      ++pos_;
    }
    if (IsIdentChar(Peek())) Fail(QStringLiteral("Invalid number"));
    if (!isFloat) {
      bool ok = false;
      const quint64 u = num.toULongLong(&ok);
      // -9223372036854775808 is the smallest integer (as written back); beyond 64 bits the
      // number is kept as a floating value, as the class library does.
      if (ok && u <= (negative ? quint64(INT64_MAX) + 1 : quint64(INT64_MAX)))
        return TextValue::Int(qint64(negative ? 0 - u : u));
    }
    bool ok = false;
    const double d = num.toDouble(&ok);
    if (!ok || !std::isfinite(d)) Fail(QStringLiteral("Invalid floating point number"));
    return TextValue::Float(negative ? -d : d, suffix);
  }

  // 'abc'#13#10'def' pieces, joined across lines by '+'.
  QString ParseString() {
    QString out;
    for (;;) {
      bool any = false;
      for (;;) {
        const QChar c = Peek();
        if (c == QLatin1Char('\'')) {
          any = true;
          ++pos_;
          for (;;) {
            // The run up to the next quote or line end, taken at once.
            qsizetype e = pos_;
            while (e < n_ && s_[e] != QLatin1Char('\'') && s_[e] != QLatin1Char('\n') && s_[e] != QLatin1Char('\r')) ++e;
            out += QStringView(s_).mid(pos_, e - pos_);
            pos_ = e;
            if (AtEnd() || Peek() == QLatin1Char('\n') || Peek() == QLatin1Char('\r'))
              Fail(QStringLiteral("Unterminated string"));
            if (Peek(1) == QLatin1Char('\'')) {
              out += QLatin1Char('\'');
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
        } else if (c == QLatin1Char('#')) {
          any = true;
          ++pos_;
          int base = 10;
          if (Peek() == QLatin1Char('$')) {
            base = 16;
            ++pos_;
          }
          const qsizetype s = pos_;
          while (pos_ < n_ && s_[pos_].unicode() < 128 &&
                 (base == 16 ? isxdigit(s_[pos_].unicode()) : isdigit(s_[pos_].unicode())))
            ++pos_;
          bool ok = false;
          const uint code = s_.mid(s, pos_ - s).toUInt(&ok, base);
          if (pos_ == s || !ok || code > 0xFFFF) Fail(QStringLiteral("Invalid character code"));
          out += code <= 0xFF ? Cp1252ToChar(uchar(code)) : QChar(char16_t(code));
        } else {
          break;
        }
      }
      if (!any) Fail(QStringLiteral("String expected"));
      // A '+' after blanks continues the string with the next piece.
      const qsizetype save = pos_;
      const int saveLine = line_;
      SkipBlanks();
      if (Peek() == QLatin1Char('+')) {
        ++pos_;
        SkipBlanks();
        if (Peek() != QLatin1Char('\'') && Peek() != QLatin1Char('#'))
          Fail(QStringLiteral("String expected"));
        continue;
      }
      pos_ = save;
      line_ = saveLine;
      // Grown piece by piece: what it holds, not twice that, stays in memory.
      if (out.capacity() - out.size() > 64) out.squeeze();
      return out;
    }
  }

  TextValue ParseSet() {
    Expect('[');
    QStringList elems;
    SkipBlanks();
    if (Peek() == QLatin1Char(']')) {
      ++pos_;
      return TextValue::Set(elems);
    }
    for (;;) {
      Charge(options_.elementCost);
      elems << ReadIdent("Identifier");
      SkipBlanks();
      if (Peek() == QLatin1Char(',')) {
        ++pos_;
        continue;
      }
      Expect(']');
      break;
    }
    return TextValue::Set(elems);
  }

  TextValue ParseCollection(int depth) {
    Expect('<');
    TextValue v;
    v.type = TextValue::Type::Collection;
    while (!Damaged()) {
      try {
        SkipBlanks();
        if (AtEnd()) Fail(QStringLiteral("'>' expected"));
        if (Peek() == QLatin1Char('>')) {
          ++pos_;
          break;
        }
        if (!PeekKeyword("item")) Fail(QStringLiteral("'item' expected"));
        Charge(options_.itemCost);
        pos_ += 4;
        TextItem item;
        SkipBlanks();
        if (Peek() == QLatin1Char('[')) {
          ++pos_;
          item.index = ReadInteger();
          Expect(']');
        }
        for (;;) {
          SkipBlanks();
          if (AtEnd()) Fail(QStringLiteral("'end' expected"));
          if (PeekKeyword("end")) {
            pos_ += 3;
            break;
          }
          item.props.push_back(ParseProperty(depth + 1));
          if (Damaged()) break;
        }
        if (!Damaged()) v.items.push_back(std::move(item));  // only whole items count
      } catch (const EParserError& e) {
        NoteDamage(e);
      }
    }
    return v;
  }

  QByteArray ParseBinary() {
    Expect('{');
    // Two digits a byte: what lies before the next brace is room enough. Written in place, as
    // a picture runs to tens of thousands of bytes.
    const qsizetype close = s_.indexOf(QLatin1Char('}'), pos_);
    QByteArray out(((close < 0 ? n_ : close) - pos_) / 2, Qt::Uninitialized);
    char* bytes = out.data();
    qsizetype count = 0;
    const QChar* text = s_.constData();
    int hi = -1;
    for (;;) {
      if (AtEnd()) Fail(QStringLiteral("'}' expected"));
      const ushort u = text[pos_++].unicode();
      if (u == '}') break;
      if (u == '\n') {
        ++line_;
        continue;
      }
      if (u <= ' ') continue;
      int d = -1;
      if (u >= '0' && u <= '9') d = u - '0';
      else if (u >= 'a' && u <= 'f') d = u - 'a' + 10;
      else if (u >= 'A' && u <= 'F') d = u - 'A' + 10;
      if (d < 0) Fail(QStringLiteral("Invalid binary value"));
      if (hi < 0) {
        hi = d;
      } else {
        bytes[count++] = char(hi * 16 + d);
        hi = -1;
      }
    }
    out.truncate(count);
    if (hi >= 0) Fail(QStringLiteral("Odd number of hexadecimal digits"));
    return out;
  }
};

}  // namespace

TextObject ParseObjectText(const QString& text, const TextParseOptions& options) {
  Parser p(text, options);
  return p.ParseRoot();
}

TextObject ParseObjectTextPartial(const QString& text, TextDamage& damage, const TextParseOptions& options) {
  Parser p(text, options, true);
  TextObject o = p.ParseRoot();
  damage = p.Damage();
  return o;
}

void TextBudget::Charge(qint64 Cost) {
  used += Cost;
  if (used > limit)
    throw ETextBudgetError(QStringLiteral("The text would take more than %1 MB to read").arg(limit / (1024 * 1024)));
}

namespace {

qint64 ValueCost(const TextValue& v, qint64 itemCost, qint64 elementCost) {
  qint64 cost = 0;
  switch (v.type) {
    case TextValue::Type::Set: cost += v.set.size() * elementCost; break;
    case TextValue::Type::List:
      for (const TextValue& e : v.list) cost += elementCost + ValueCost(e, itemCost, elementCost);
      break;
    case TextValue::Type::Collection:
      for (const TextItem& item : v.items) {
        cost += itemCost;
        for (const TextProperty& p : item.props)
          cost += TextCost::kPerProperty + ValueCost(p.value, itemCost, elementCost);
      }
      break;
    default: break;
  }
  return cost;
}

}  // namespace

qint64 TextCost::OfTree(const TextObject& object, qint64 ItemCost, qint64 ElementCost) {
  qint64 cost = kPerObject;
  for (const TextProperty& p : object.props) cost += kPerProperty + ValueCost(p.value, ItemCost, ElementCost);
  for (const TextObject& c : object.children) cost += OfTree(c, ItemCost, ElementCost);
  return cost;
}

// ---------------------------------------------------------------------------------------------
// Writer

namespace {

constexpr int kLineLength = 64;
constexpr int kBytesPerLine = 32;

class Writer {
 public:
  QString out;

  void WriteObject(const TextObject& o, int level) {
    Indent(level);
    switch (o.kind) {
      case TextObject::Kind::Object: out += QLatin1String("object "); break;
      case TextObject::Kind::Inherited: out += QLatin1String("inherited "); break;
      case TextObject::Kind::Inline: out += QLatin1String("inline "); break;
    }
    if (!o.name.isEmpty()) out += o.name + QLatin1String(": ");
    out += o.className;
    if (o.position) out += QStringLiteral(" [%1]").arg(*o.position);
    out += QLatin1String("\r\n");
    for (const TextProperty& p : o.props) WriteProperty(p, level + 1);
    for (const TextObject& c : o.children) WriteObject(c, level + 1);
    Indent(level);
    out += QLatin1String("end\r\n");
  }

 private:
  void Indent(int level) { out.resize(out.size() + level * 2, QLatin1Char(' ')); }
  void NewLine(int level) {
    out += QLatin1String("\r\n");
    Indent(level);
  }
  void AppendNumber(uint n) {
    char digits[12];
    int k = 0;
    do {
      digits[k++] = char('0' + n % 10);
      n /= 10;
    } while (n > 0);
    while (k > 0) out += QLatin1Char(digits[--k]);
  }

  void WriteProperty(const TextProperty& p, int level) {
    Indent(level);
    out += p.name + QLatin1String(" = ");
    WriteValue(p.value, level);
    out += QLatin1String("\r\n");
  }

  static QString FormatFloat(double d) {
    QString s = QString::number(d, 'g', 15);
    // Exponents as the class library writes them: 1E20, 1E-5.
    if (s.contains(QLatin1Char('e'))) {
      s.replace(QLatin1String("e+"), QLatin1String("E"));
      s.replace(QLatin1Char('e'), QLatin1Char('E'));
    }
    return s;
  }

  void WriteValue(const TextValue& v, int level) {
    switch (v.type) {
      case TextValue::Type::Integer: out += QString::number(v.integer); break;
      case TextValue::Type::Float:
        out += FormatFloat(v.number);
        if (v.floatSuffix) out += QLatin1Char(v.floatSuffix);
        break;
      case TextValue::Type::String: WriteString(v.text, level); break;
      case TextValue::Type::Ident: out += v.text; break;
      case TextValue::Type::Set: out += QLatin1Char('[') + v.set.join(QLatin1String(", ")) + QLatin1Char(']'); break;
      case TextValue::Type::List:
        out += QLatin1Char('(');
        for (const TextValue& e : v.list) {
          NewLine(level + 1);
          WriteValue(e, level + 1);
        }
        out += QLatin1Char(')');
        break;
      case TextValue::Type::Collection:
        out += QLatin1Char('<');
        for (const TextItem& item : v.items) {
          NewLine(level + 1);
          out += QLatin1String("item");
          if (item.index) out += QStringLiteral(" [%1]").arg(*item.index);
          out += QLatin1String("\r\n");
          for (const TextProperty& p : item.props) WriteProperty(p, level + 2);
          Indent(level + 1);
          out += QLatin1String("end");
        }
        out += QLatin1Char('>');
        break;
      case TextValue::Type::Binary: WriteBinary(v.bytes, level); break;
    }
  }

  // Printable ASCII runs in quotes, everything else as #n; a new line every 64 characters.
  void WriteString(const QString& s, int level) {
    const qsizetype len = s.size();
    if (len == 0) {
      out += QLatin1String("''");
      return;
    }
    const int inner = level + 1;
    if (len > kLineLength) NewLine(inner);
    qsizetype i = 0, k = 0;
    while (i < len) {
      bool lineBreak = false;
      const ushort c = s[i].unicode();
      if (c >= ' ' && c != '\'' && c < 127) {
        const qsizetype j = i;
        do {
          ++i;
        } while (i < len && s[i].unicode() >= ' ' && s[i].unicode() != '\'' &&
                 s[i].unicode() < 127 && (i - k) < kLineLength);
        if (i - k >= kLineLength) lineBreak = true;
        out += QLatin1Char('\'');
        out += QStringView(s).sliced(j, i - j);
        out += QLatin1Char('\'');
      } else {
        const int b = CharToCp1252(s[i]);
        // Characters outside Windows-1252 keep their code point; codes above 255 mark them.
        const uint code = (c >= 128 && b >= 128) ? uint(b) : uint(c);
        out += QLatin1Char('#');
        AppendNumber(code);
        ++i;
        if (i - k >= kLineLength) lineBreak = true;
      }
      if (lineBreak && i < len) {
        out += QLatin1String(" +");
        NewLine(inner);
        k = i;
      }
    }
  }

  void WriteBinary(const QByteArray& data, int level) {
    static const char kHex[] = "0123456789ABCDEF";
    const bool multiLine = data.size() >= kBytesPerLine;
    out += QLatin1Char('{');
    qsizetype pos = 0;
    do {
      if (multiLine) NewLine(level + 1);
      const qsizetype n = std::min<qsizetype>(kBytesPerLine, data.size() - pos);
      for (qsizetype i = 0; i < n; ++i) {
        const uchar b = uchar(data[pos + i]);
        out += QLatin1Char(kHex[b >> 4]);
        out += QLatin1Char(kHex[b & 15]);
      }
      pos += n;
    } while (pos < data.size());
    out += QLatin1Char('}');
  }
};

}  // namespace

QString FormatObjectText(const TextObject& object) {
  Writer w;
  w.WriteObject(object, 0);
  return w.out;
}
