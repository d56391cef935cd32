#include "controls/KVRtfWriter.h"

#include <QBuffer>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <cmath>
#include <vector>

#include "controls/KVRichPicture.h"
#include "controls/KVRichText.h"

namespace {

struct FontKey {
  QString name;
  int charset = 0;
  int pitchFamily = 0;
  bool operator==(const FontKey&) const = default;
};

struct CharOut {
  int font = -1;
  int halfPoints = -1;
  int fg = 0, bg = 0;
  int vAlign = 0;
  int ulKind = 0;  // index in KVUnderlineWords
  int caps = 0;    // 1 all capitals, 2 small capitals
  bool bold = false, italic = false, underline = false, strike = false, protect = false;
};

struct ParaOut {
  int align = 0;
  int fi = 0, li = 0, ri = 0, sb = 0, sa = 0, sl = 0;
  bool slmult = false;
  QList<QTextOption::Tab> tabs;
  int numbering = nbNone;
  int numStart = 1;
  QString before, after;
  const QTextList* list = nullptr;  // for the item numbers; adjacent equal lists read back as one
  bool operator==(const ParaOut& o) const {
    return align == o.align && fi == o.fi && li == o.li && ri == o.ri && sb == o.sb && sa == o.sa &&
           sl == o.sl && slmult == o.slmult && tabs == o.tabs && numbering == o.numbering &&
           numStart == o.numStart && before == o.before && after == o.after;
  }
};

int Tw(double px) { return int(std::nearbyint(px * KVTwipsPerPixel)); }

QString RomanNumber(int n, bool upper) {
  if (n <= 0 || n >= 4000) return QString::number(n);
  static const int kValues[] = {1000, 900, 500, 400, 100, 90, 50, 40, 10, 9, 5, 4, 1};
  static const char* kDigits[] = {"m", "cm", "d", "cd", "c", "xc", "l", "xl", "x", "ix", "v", "iv", "i"};
  QString s;
  for (int i = 0; i < 13; ++i)
    while (n >= kValues[i]) {
      s += QLatin1String(kDigits[i]);
      n -= kValues[i];
    }
  return upper ? s.toUpper() : s;
}

QString LetterNumber(int n, bool upper) {
  if (n <= 0) return QString::number(n);
  QString s;
  while (n > 0) {
    --n;
    s.prepend(QChar(char16_t((upper ? 'A' : 'a') + n % 26)));
    n /= 26;
  }
  return s;
}

// The family text without a font of its own is written in: the default font's own family when
// it is installed, else the one it is shown in (a name such as "MS Sans Serif" or "Sans Serif"
// is substituted differently by every program).
QString SharedFamily(const QFont& font) {
  const QString family = font.family();
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return family;
  if (!family.isEmpty() && QFontDatabase::hasFamily(family)) return family;
  const QString shown = QFontInfo(font).family();
  return shown.isEmpty() ? family : shown;
}

class Writer {
 public:
  Writer(const QTextDocument& doc, bool noObjects) : doc_(doc), noObjects_(noObjects) {
    defaultFont_ = doc.defaultFont();
    defaultFamily_ = SharedFamily(defaultFont_);
  }

  QByteArray Write(int from, int to) {
    const int len = doc_.characterCount() - 1;
    if (to < 0 || to > len) to = len;
    from = std::clamp(from, 0, to);
    const bool whole = from == 0 && to == len;
    bool first = true;
    for (QTextBlock block = doc_.findBlock(from); block.isValid(); block = block.next()) {
      const int bpos = block.position();
      if (bpos > to || (bpos == to && !whole && bpos != from)) break;
      const ParaOut pa = Para(block);
      if (first || !(pa == para_)) {
        Word("\\pard");
        if (pa.numbering != nbNone) NumberingGroup(pa, block);
        ParaProps(pa);
        para_ = pa;
        first = false;
      }
      if (pa.numbering != nbNone && bpos >= from) NumberText(pa, block);
      for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        const int fs = std::max(frag.position(), from);
        const int fe = std::min(frag.position() + frag.length(), to);
        if (fs >= fe) continue;
        const QTextCharFormat f = frag.charFormat();
        Field(FieldOf(f));
        Chars(f);
        if (KVIsPicture(f)) {
          for (int i = fs; i < fe; ++i) Picture(f);
          continue;
        }
        Text(frag.text().mid(fs - frag.position(), fe - fs), f);
      }
      const int sep = bpos + block.length() - 1;
      if (whole || sep < to) {
        Field(QString());
        if (block.length() == 1) Chars(block.charFormat());
        Word("\\par");
        body_ += "\r\n";
        needSpace_ = false;
      }
    }
    Field(QString());
    return Header() + body_ + "}\r\n";
  }

 private:
  const QTextDocument& doc_;
  bool noObjects_;
  QFont defaultFont_;
  QString defaultFamily_;
  QByteArray body_;
  bool needSpace_ = false;
  CharOut state_;
  std::vector<CharOut> saved_;
  ParaOut para_;
  QString field_;
  std::vector<FontKey> fonts_;
  std::vector<QRgb> colors_;

  // ---- output helpers

  void Word(const char* w) {
    body_ += w;
    needSpace_ = true;
  }
  void Word(const char* w, int param) {
    body_ += w;
    body_ += QByteArray::number(param);
    needSpace_ = true;
  }
  void Literal(char c) {
    if (needSpace_) body_ += ' ';
    needSpace_ = false;
    body_ += c;
  }
  void HexByte(uchar b) {
    static const char kDigits[] = "0123456789abcdef";
    body_ += "\\'";
    body_ += kDigits[b >> 4];
    body_ += kDigits[b & 15];
    needSpace_ = false;
  }

  int FontIndex(const FontKey& key) {
    for (size_t i = 0; i < fonts_.size(); ++i)
      if (fonts_[i] == key) return int(i);
    fonts_.push_back(key);
    return int(fonts_.size()) - 1;
  }

  int ColorIndex(QRgb rgb) {
    rgb |= 0xFF000000u;
    for (size_t i = 0; i < colors_.size(); ++i)
      if (colors_[i] == rgb) return int(i) + 1;
    colors_.push_back(rgb);
    return int(colors_.size());
  }

  FontKey KeyOf(const QTextCharFormat& f) const {
    FontKey k;
    const QStringList families = f.fontFamilies().toStringList();
    k.name = !families.isEmpty() ? families.first() : defaultFamily_;
    if (k.name.isEmpty()) k.name = defaultFamily_;
    k.charset = f.hasProperty(kvpCharset) ? f.intProperty(kvpCharset) : 0;
    // The bytes are written in the code page DEFAULT_CHARSET stands for, which is the document's
    // (\ansicpg1252); other programs read \fcharset1 as their own locale's and garble them.
    if (k.charset == 1) k.charset = KVCodePageCharset(KVCharsetCodePage(1, 1252));
    k.pitchFamily = f.hasProperty(kvpPitchFamily) ? f.intProperty(kvpPitchFamily) : 0;
    return k;
  }

  int CodePageOf(const FontKey& k) const {
    int cp = KVCharsetCodePage(k.charset, 1252);
    if (cp == 0 && k.name.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0) cp = 42;
    return cp;
  }

  // ---- characters

  CharOut Target(const QTextCharFormat& f) {
    CharOut c;
    c.font = FontIndex(KeyOf(f));
    double pt = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : defaultFont_.pointSizeF();
    if (pt <= 0 && defaultFont_.pixelSize() > 0) pt = defaultFont_.pixelSize() * 72.0 / KVLayoutDpi;
    if (pt <= 0) pt = 12;
    c.halfPoints = std::clamp(int(std::nearbyint(pt * 2)), 2, 3276);
    const int weight = f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() : defaultFont_.weight();
    c.bold = weight >= QFont::DemiBold;
    c.italic = f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : defaultFont_.italic();
    c.underline = f.fontUnderline() || (f.hasProperty(QTextFormat::TextUnderlineStyle) &&
                                        f.underlineStyle() != QTextCharFormat::NoUnderline);
    if (c.underline) {
      const int kind = f.intProperty(kvpUnderlineKind);
      c.ulKind = kind > 0 && kind < KVUnderlineWords().size() ? kind : 0;
    }
    if (f.fontCapitalization() == QFont::AllUppercase) c.caps = 1;
    else if (f.fontCapitalization() == QFont::SmallCaps) c.caps = 2;
    c.strike = f.fontStrikeOut();
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
      c.fg = ColorIndex(f.foreground().color().rgb());
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
      c.bg = ColorIndex(f.background().color().rgb());
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) c.vAlign = 1;
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) c.vAlign = 2;
    c.protect = f.boolProperty(kvpProtected);
    return c;
  }

  void Chars(const QTextCharFormat& f) {
    const CharOut t = Target(f);
    CharOut& s = state_;
    if (t.fg != s.fg) Word("\\cf", t.fg);
    if (t.bg != s.bg) Word("\\highlight", t.bg);
    if (t.bold != s.bold) Word(t.bold ? "\\b" : "\\b0");
    if (t.italic != s.italic) Word(t.italic ? "\\i" : "\\i0");
    if (t.underline != s.underline || t.ulKind != s.ulKind) {
      if (!t.underline) Word("\\ulnone");
      else Word(("\\" + KVUnderlineWords()[t.ulKind]).constData());
    }
    if (t.caps != s.caps) {
      if (s.caps) Word(s.caps == 1 ? "\\caps0" : "\\scaps0");
      if (t.caps) Word(t.caps == 1 ? "\\caps" : "\\scaps");
    }
    if (t.strike != s.strike) Word(t.strike ? "\\strike" : "\\strike0");
    if (t.vAlign != s.vAlign) Word(t.vAlign == 1 ? "\\super" : t.vAlign == 2 ? "\\sub" : "\\nosupersub");
    if (t.protect != s.protect) Word(t.protect ? "\\protect" : "\\protect0");
    if (t.font != s.font) Word("\\f", t.font);
    if (t.halfPoints != s.halfPoints) Word("\\fs", t.halfPoints);
    s = t;
  }

  void Text(const QString& text, const QTextCharFormat& f) {
    const TKVCodePage& cp = TKVCodePage::Get(CodePageOf(KeyOf(f)));
    const bool ascii = cp.AsciiCompatible();
    for (QChar qc : text) {
      const char16_t c = qc.unicode();
      switch (c) {
        case '\t': Word("\\tab"); continue;
        case 0x2028: Word("\\line"); continue;
        case 0x00A0: body_ += "\\~"; needSpace_ = false; continue;
        case 0x00AD: body_ += "\\-"; needSpace_ = false; continue;
        case 0x2011: body_ += "\\_"; needSpace_ = false; continue;
        case 0xFFFC: continue;
        default: break;
      }
      if (c < 0x20) continue;
      if (ascii && c < 0x7F) {
        Ascii(char(c));
        continue;
      }
      const QByteArray bytes = cp.Encode(c);
      if (!bytes.isEmpty()) {
        // A brace or backslash byte (the second of a double-byte character, or a symbol font's)
        // escaped would read back as that sign, not as a byte of the code page.
        for (char b : bytes) {
          if (uchar(b) >= 0x20 && uchar(b) < 0x7F && b != '\\' && b != '{' && b != '}') Literal(b);
          else HexByte(uchar(b));
        }
        continue;
      }
      body_ += "\\u";
      body_ += QByteArray::number(qint16(c));
      body_ += '?';
      needSpace_ = false;
    }
  }

  void Ascii(char c) {
    if (c == '\\' || c == '{' || c == '}') {
      body_ += '\\';
      body_ += c;
      needSpace_ = false;
      return;
    }
    Literal(c);
  }

  // Text without a font of its own (field instructions, numbering texts).
  void PlainText(const QString& text) {
    for (QChar qc : text) {
      const char16_t c = qc.unicode();
      if (c < 0x20) continue;
      if (c < 0x7F) Ascii(char(c));
      else {
        const QByteArray b = TKVCodePage::Get(1252).Encode(c);
        if (b.size() == 1) HexByte(uchar(b[0]));
        else {
          body_ += "\\u";
          body_ += QByteArray::number(qint16(c));
          body_ += '?';
          needSpace_ = false;
        }
      }
    }
  }

  // ---- fields

  static QString FieldOf(const QTextCharFormat& f) {
    QString inst = f.stringProperty(kvpFieldInst);
    if (inst.isEmpty() && f.isAnchor() && !f.anchorHref().isEmpty())
      inst = QStringLiteral("HYPERLINK \"%1\"").arg(f.anchorHref());
    return inst;
  }

  void Field(const QString& inst) {
    if (inst == field_) return;
    if (!field_.isEmpty()) {
      body_ += "}}}";
      needSpace_ = false;
      state_ = saved_.back();
      saved_.pop_back();
    }
    field_ = inst;
    if (!inst.isEmpty()) {
      body_ += "{\\field{\\*\\fldinst{";
      needSpace_ = false;
      PlainText(inst);
      body_ += "}}{\\fldrslt{";
      needSpace_ = false;
      saved_.push_back(state_);
    }
  }

  // ---- pictures

  void Picture(const QTextCharFormat& f) {
    if (noObjects_) return;
    const TKVPicture p = KVPictureOf(f);
    if (!p.Raw.isEmpty()) {
      body_ += p.Raw;
      needSpace_ = false;
      return;
    }
    QByteArray data = p.Data;
    bool jpeg = p.DataIsJpeg;
    if (data.isEmpty()) {
      if (p.Image.isNull()) return;
      QBuffer buffer(&data);
      buffer.open(QIODevice::WriteOnly);
      p.Image.save(&buffer, "PNG");
      jpeg = false;
    }
    body_ += jpeg ? "{\\pict\\jpegblip" : "{\\pict\\pngblip";
    body_ += "\\picw" + QByteArray::number(p.Image.width()) + "\\pich" + QByteArray::number(p.Image.height());
    body_ += "\\picwgoal" + QByteArray::number(p.WidthTw) + "\\pichgoal" + QByteArray::number(p.HeightTw);
    body_ += "\r\n";
    const QByteArray hex = data.toHex();
    for (qsizetype i = 0; i < hex.size(); i += 128) {
      body_ += hex.mid(i, 128);
      body_ += "\r\n";
    }
    body_ += '}';
    needSpace_ = false;
  }

  // ---- paragraphs

  ParaOut Para(const QTextBlock& block) const {
    const QTextBlockFormat bf = block.blockFormat();
    ParaOut p;
    const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignRight) p.align = 1;
    else if (a & Qt::AlignHCenter) p.align = 2;
    else if (a & Qt::AlignJustify) p.align = 3;
    const int li = Tw(bf.leftMargin()), ri = Tw(bf.rightMargin());
    // Our own twips are exact; they are used while Qt's margins still agree with them.
    const bool own = bf.hasProperty(kvpLeftIndentTw) &&
                     std::abs(std::max(0, bf.intProperty(kvpLeftIndentTw)) - li) <= 8 &&
                     std::abs(std::max(0, bf.intProperty(kvpRightIndentTw)) - ri) <= 8;
    if (own) {
      p.fi = bf.intProperty(kvpFirstIndentTw);
      p.li = bf.intProperty(kvpLeftIndentTw);
      p.ri = bf.intProperty(kvpRightIndentTw);
    } else {
      p.fi = Tw(bf.textIndent());
      p.li = li;
      p.ri = ri;
    }
    p.sb = Tw(bf.topMargin());
    p.sa = Tw(bf.bottomMargin());
    switch (bf.lineHeightType()) {
      case QTextBlockFormat::ProportionalHeight:
        if (std::abs(bf.lineHeight() - 100) > 0.01) {
          p.sl = int(std::nearbyint(bf.lineHeight() * 240 / 100));
          p.slmult = true;
        }
        break;
      case QTextBlockFormat::MinimumHeight: p.sl = Tw(bf.lineHeight()); break;
      case QTextBlockFormat::FixedHeight: p.sl = -Tw(bf.lineHeight()); break;
      default: break;
    }
    p.tabs = bf.tabPositions();
    if (const QTextList* list = block.textList()) {
      const QTextListFormat lf = list->format();
      p.list = list;
      p.numbering = lf.hasProperty(kvpNumbering) ? lf.intProperty(kvpNumbering) : nbNone;
      if (p.numbering == nbNone) {
        switch (lf.style()) {
          case QTextListFormat::ListDecimal: p.numbering = nbArabic; break;
          case QTextListFormat::ListLowerAlpha: p.numbering = nbLowerLetter; break;
          case QTextListFormat::ListUpperAlpha: p.numbering = nbUpperLetter; break;
          case QTextListFormat::ListLowerRoman: p.numbering = nbLowerRoman; break;
          case QTextListFormat::ListUpperRoman: p.numbering = nbUpperRoman; break;
          default: p.numbering = nbBullet; break;
        }
      }
      p.numStart = lf.hasProperty(kvpNumberStart) ? lf.intProperty(kvpNumberStart) : 1;
      if (p.numbering != nbBullet) {
        p.before = lf.numberPrefix();
        p.after = lf.hasProperty(QTextFormat::ListNumberSuffix) ? lf.numberSuffix() : QStringLiteral(".");
      }
    }
    return p;
  }

  void ParaProps(const ParaOut& p) {
    static const char* kAlign[] = {nullptr, "\\qr", "\\qc", "\\qj"};
    if (p.align > 0) Word(kAlign[p.align]);
    if (p.fi) Word("\\fi", p.fi);
    if (p.li) Word("\\li", p.li);
    if (p.ri) Word("\\ri", p.ri);
    if (p.sb) Word("\\sb", p.sb);
    if (p.sa) Word("\\sa", p.sa);
    if (p.sl) {
      Word("\\sl", p.sl);
      Word("\\slmult", p.slmult ? 1 : 0);
    }
    for (const QTextOption::Tab& t : p.tabs) {
      if (t.type == QTextOption::CenterTab) Word("\\tqc");
      else if (t.type == QTextOption::RightTab) Word("\\tqr");
      else if (t.type == QTextOption::DelimiterTab) Word("\\tqdec");
      Word("\\tx", Tw(t.position));
    }
  }

  int SymbolFont() { return FontIndex(FontKey{QStringLiteral("Symbol"), 2, 0}); }

  // The number takes the font of the paragraph's text (that of its mark when it has none), which
  // is written right after and so reads back the same.
  static QTextCharFormat LeadFormat(const QTextBlock& block) {
    auto it = block.begin();
    return it.atEnd() ? block.charFormat() : it.fragment().charFormat();
  }

  void NumberingGroup(const ParaOut& p, const QTextBlock& block) {
    if (p.numbering == nbBullet) {
      body_ += "{\\*\\pn\\pnlvlblt";
      Word("\\pnf", SymbolFont());
      Word("\\pnindent", 0);
      body_ += "{\\pntxtb\\'b7}}";
      needSpace_ = false;
      return;
    }
    static const char* kType[] = {"", "", "\\pndec", "\\pnlcltr", "\\pnucltr", "\\pnlcrm", "\\pnucrm"};
    body_ += "{\\*\\pn\\pnlvlbody";
    Word("\\pnf", FontIndex(KeyOf(LeadFormat(block))));
    Word("\\pnindent", 0);
    Word("\\pnstart", p.numStart);
    Word(kType[std::clamp(p.numbering, 2, 6)]);
    if (!p.before.isEmpty()) {
      body_ += "{\\pntxtb";
      needSpace_ = true;
      PlainText(p.before);
      body_ += '}';
    }
    if (!p.after.isEmpty()) {
      body_ += "{\\pntxta";
      needSpace_ = true;
      PlainText(p.after);
      body_ += '}';
    }
    body_ += '}';
    needSpace_ = false;
  }

  void NumberText(const ParaOut& p, const QTextBlock& block) {
    if (p.numbering == nbBullet) {
      body_ += "{\\pntext";
      Word("\\f", SymbolFont());
      body_ += "\\'b7\\tab}";
      needSpace_ = false;
      return;
    }
    const int n = (p.list ? p.list->itemNumber(block) : 0) + p.numStart;
    QString number;
    switch (p.numbering) {
      case nbLowerLetter: number = LetterNumber(n, false); break;
      case nbUpperLetter: number = LetterNumber(n, true); break;
      case nbLowerRoman: number = RomanNumber(n, false); break;
      case nbUpperRoman: number = RomanNumber(n, true); break;
      default: number = QString::number(n); break;
    }
    body_ += "{\\pntext";
    Word("\\f", FontIndex(KeyOf(LeadFormat(block))));
    PlainText(p.before + number + p.after);
    body_ += "\\tab}";
    needSpace_ = false;
  }

  // ---- header

  QByteArray Header() {
    if (fonts_.empty()) FontIndex(KeyOf(QTextCharFormat()));
    QByteArray h = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl";
    for (size_t i = 0; i < fonts_.size(); ++i) {
      const FontKey& k = fonts_[i];
      static const char* kFamily[] = {"\\fnil", "\\froman", "\\fswiss", "\\fmodern", "\\fscript", "\\fdecor"};
      const int family = (k.pitchFamily >> 4) & 0x0F;
      h += "{\\f" + QByteArray::number(int(i)) + (family <= 5 ? kFamily[family] : "\\fnil");
      if (k.pitchFamily & 3) h += "\\fprq" + QByteArray::number(k.pitchFamily & 3);
      h += "\\fcharset" + QByteArray::number(k.charset) + ' ';
      // Names of symbol fonts are plain text.
      const int nameCp = CodePageOf(k);
      const TKVCodePage& cp = TKVCodePage::Get(nameCp == 0 || nameCp == 42 ? 1252 : nameCp);
      for (QChar qc : k.name) {
        const char16_t c = qc.unicode();
        if (c < 0x20 || c == ';') continue;
        if (c < 0x7F && cp.AsciiCompatible()) {
          if (c == '\\' || c == '{' || c == '}') h += '\\';
          h += char(c);
          continue;
        }
        const QByteArray bytes = cp.Encode(c);
        if (bytes.isEmpty()) {
          h += "\\u" + QByteArray::number(qint16(c)) + '?';
          continue;
        }
        for (char b : bytes) h += "\\'" + QByteArray(1, b).toHex();
      }
      h += ";}";
    }
    h += "}\r\n";
    if (!colors_.empty()) {
      h += "{\\colortbl ;";
      for (QRgb c : colors_)
        h += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) + "\\blue" +
             QByteArray::number(qBlue(c)) + ';';
      h += "}\r\n";
    }
    h += "\\viewkind4\\uc1";
    return h;
  }
};

}  // namespace

QByteArray KVWriteRtf(const QTextDocument& doc, int from, int to, bool noObjects) {
  Writer w(doc, noObjects);
  return w.Write(from, to);
}

QString KVDocumentText(const QTextDocument& doc, int from, int to) {
  const int len = doc.characterCount() - 1;
  if (to < 0 || to > len) to = len;
  from = std::clamp(from, 0, to);
  QString out;
  out.reserve(to - from);
  for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
    const QString text = b.text();
    const int bs = std::max(from - b.position(), 0);
    const int be = std::min(to - b.position(), int(text.size()));
    if (be > bs) out += QStringView(text).mid(bs, be - bs);
    if (b.position() + b.length() - 1 < to) out += QLatin1Char('\r');
  }
  for (QChar& c : out)
    if (c.unicode() == 0x2028) c = QLatin1Char('\v');
  return out;
}
