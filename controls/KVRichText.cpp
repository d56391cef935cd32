#include "controls/KVRichText.h"

#include <QAbstractTextDocumentLayout>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <cmath>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextDocument>
#include <QTextOption>
#include <algorithm>
#include <map>
#include <mutex>

#include "controls/KVRichPicture.h"

QPaintDevice* KVLayoutDevice() {
  static QImage* device = [] {
    auto* img = new QImage(1, 1, QImage::Format_RGB32);
    const int dpm = int(std::nearbyint(KVLayoutDpi / 0.0254));
    img->setDotsPerMeterX(dpm);
    img->setDotsPerMeterY(dpm);
    return img;
  }();
  return device;
}

void KVPrepareDocument(QTextDocument& doc) {
  doc.documentLayout()->setPaintDevice(KVLayoutDevice());
  QTextOption opt = doc.defaultTextOption();
  opt.setTabStopDistance(720 / KVTwipsPerPixel);  // \deftab720
  doc.setDefaultTextOption(opt);
  KVRegisterPictureHandler(doc);
}

int KVCharsetCodePage(int charset, int ansiCodePage) {
  switch (charset) {
    case 0: return 1252;
    case 1: return ansiCodePage > 0 ? ansiCodePage : 1252;
    case 2: return 0;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return ansiCodePage > 0 ? ansiCodePage : 1252;
  }
}

const QList<QByteArray>& KVUnderlineWords() {
  static const QList<QByteArray> words = {"ul",       "uld",       "uldb",       "uldash",     "uldashd",
                                          "uldashdd", "ulw",       "ulwave",     "ulth",       "ulhair",
                                          "ulldash",  "ulthd",     "ulthdash",   "ulthdashd",  "ulthdashdd",
                                          "ulthldash", "ululdbwave", "ulhwave"};
  return words;
}

int KVUnderlineKind(QByteArrayView word) {
  const QList<QByteArray>& words = KVUnderlineWords();
  for (qsizetype i = 0; i < words.size(); ++i)
    if (words[i] == word) return int(i);
  return -1;
}

int KVCodePageCharset(int codePage) {
  static const int kPairs[][2] = {{1252, 0},  {10000, 77}, {932, 128}, {949, 129}, {1361, 130},
                                  {936, 134}, {950, 136},  {1253, 161}, {1254, 162}, {1258, 163},
                                  {1255, 177}, {1256, 178}, {1257, 186}, {1251, 204}, {874, 222},
                                  {1250, 238}, {437, 254},  {850, 255}, {0, 2}, {42, 2}};
  for (const auto& p : kPairs)
    if (p[0] == codePage) return p[1];
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Code pages

namespace {

// The Symbol font's encoding; bytes without a Unicode counterpart go to U+F000 + byte as Windows
// does for symbol fonts.
char16_t SymbolChar(unsigned char b) {
  static const char16_t kUpper[26] = {0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393,
                                      0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D,
                                      0x039F, 0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5,
                                      0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396};
  static const char16_t kLower[26] = {0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
                                      0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD,
                                      0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5,
                                      0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6};
  if (b >= 0x41 && b <= 0x5A) return kUpper[b - 0x41];
  if (b >= 0x61 && b <= 0x7A) return kLower[b - 0x61];
  switch (b) {
    case 0x22: return 0x2200;
    case 0x24: return 0x2203;
    case 0x27: return 0x220B;
    case 0x2A: return 0x2217;
    case 0x2D: return 0x2212;
    case 0x40: return 0x2245;
    case 0x5C: return 0x2234;
    case 0x5E: return 0x22A5;
    case 0x7E: return 0x223C;
    case 0xA1: return 0x03D2;
    case 0xA2: return 0x2032;
    case 0xA3: return 0x2264;
    case 0xA4: return 0x2044;
    case 0xA5: return 0x221E;
    case 0xA6: return 0x0192;
    case 0xA7: return 0x2663;
    case 0xA8: return 0x2666;
    case 0xA9: return 0x2665;
    case 0xAA: return 0x2660;
    case 0xAB: return 0x2194;
    case 0xAC: return 0x2190;
    case 0xAD: return 0x2191;
    case 0xAE: return 0x2192;
    case 0xAF: return 0x2193;
    case 0xB0: return 0x00B0;
    case 0xB1: return 0x00B1;
    case 0xB2: return 0x2033;
    case 0xB3: return 0x2265;
    case 0xB4: return 0x00D7;
    case 0xB5: return 0x221D;
    case 0xB6: return 0x2202;
    case 0xB7: return 0x2022;
    case 0xB8: return 0x00F7;
    case 0xB9: return 0x2260;
    case 0xBA: return 0x2261;
    case 0xBB: return 0x2248;
    case 0xBC: return 0x2026;
    case 0xC0: return 0x2135;
    case 0xC1: return 0x2111;
    case 0xC2: return 0x211C;
    case 0xC3: return 0x2118;
    case 0xC4: return 0x2297;
    case 0xC5: return 0x2295;
    case 0xC6: return 0x2205;
    case 0xC7: return 0x2229;
    case 0xC8: return 0x222A;
    case 0xC9: return 0x2283;
    case 0xCA: return 0x2287;
    case 0xCB: return 0x2284;
    case 0xCC: return 0x2282;
    case 0xCD: return 0x2286;
    case 0xCE: return 0x2208;
    case 0xCF: return 0x2209;
    case 0xD0: return 0x2220;
    case 0xD1: return 0x2207;
    case 0xD5: return 0x220F;
    case 0xD6: return 0x221A;
    case 0xD7: return 0x22C5;
    case 0xD8: return 0x00AC;
    case 0xD9: return 0x2227;
    case 0xDA: return 0x2228;
    case 0xDB: return 0x21D4;
    case 0xDC: return 0x21D0;
    case 0xDD: return 0x21D1;
    case 0xDE: return 0x21D2;
    case 0xDF: return 0x21D3;
    case 0xE0: return 0x25CA;
    case 0xE1: return 0x2329;
    case 0xE5: return 0x2211;
    case 0xF1: return 0x232A;
    case 0xF2: return 0x222B;
    default: break;
  }
  if (b >= 0x20 && b < 0x7F) return b;  // digits and punctuation are as in ASCII
  return char16_t(0xF000 + b);
}

QByteArray CodecName(int cp) {
  switch (cp) {
    case 10000: return "macintosh";
    case 437: return "IBM437";
    case 850: return "IBM850";
    default: break;
  }
  for (const char* pattern : {"windows-%1", "cp%1"}) {
    const QByteArray name = QString::fromLatin1(pattern).arg(cp).toLatin1();
    if (QStringDecoder(name.constData()).isValid()) return name;
  }
  return {};
}

}  // namespace

struct TKVCodePage::Impl {
  QByteArray name;  // empty: table-only code page
  QHash<char16_t, QByteArray> reverse;
  bool reverseBuilt = false;
};

TKVCodePage::TKVCodePage(int codePage) : cp_(codePage), impl_(std::make_unique<Impl>()) {
  if (cp_ == 0 || cp_ == 42) {
    for (int b = 0; b < 256; ++b) table_[b] = cp_ == 42 ? SymbolChar(uchar(b)) : char16_t(0xF000 + b);
    return;
  }
  impl_->name = CodecName(cp_);
  if (impl_->name.isEmpty()) {
    cp_ = 1252;
    impl_->name = "windows-1252";
  }
  switch (cp_) {
    case 932:
      for (int b = 0x81; b <= 0x9F; ++b) lead_[b] = true;
      for (int b = 0xE0; b <= 0xFC; ++b) lead_[b] = true;
      dbcs_ = true;
      break;
    case 936:
    case 949:
    case 950:
      for (int b = 0x81; b <= 0xFE; ++b) lead_[b] = true;
      dbcs_ = true;
      break;
    default: break;
  }
  QStringDecoder dec(impl_->name.constData(), QStringConverter::Flag::Stateless);
  for (int b = 0; b < 256; ++b) {
    table_[b] = char16_t(b);
    if (lead_[b]) {
      table_[b] = 0xFFFD;
      continue;
    }
    const char c = char(b);
    const QString s = dec.decode(QByteArrayView(&c, 1));
    if (s.size() == 1 && s[0].unicode() != 0xFFFD) table_[b] = s[0].unicode();
  }
}

TKVCodePage::~TKVCodePage() = default;

const TKVCodePage& TKVCodePage::Get(int codePage) {
  // Only the code pages of the Windows character sets are kept apart; any other number (RTF may
  // name any) reads as Windows-1252, so the cache cannot grow without end.
  static const int kKnown[] = {0, 42, 437, 850, 874, 932, 936, 949, 950, 1250, 1251, 1252,
                               1253, 1254, 1255, 1256, 1257, 1258, 10000};
  if (std::find(std::begin(kKnown), std::end(kKnown), codePage) == std::end(kKnown)) codePage = 1252;
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<TKVCodePage>> cache;
  std::lock_guard lock(mutex);
  auto it = cache.find(codePage);
  if (it == cache.end()) it = cache.emplace(codePage, std::make_unique<TKVCodePage>(codePage)).first;
  return *it->second;
}

QString TKVCodePage::Pair(unsigned char lead, unsigned char trail) const {
  if (impl_->name.isEmpty()) return QString(QChar(0xFFFD));
  const char bytes[2] = {char(lead), char(trail)};
  QStringDecoder dec(impl_->name.constData(), QStringConverter::Flag::Stateless);
  QString s = dec.decode(QByteArrayView(bytes, 2));
  if (s.isEmpty()) s = QString(QChar(0xFFFD));
  return s;
}

QByteArray TKVCodePage::Encode(char16_t ch) const {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  if (!impl_->reverseBuilt) {
    impl_->reverseBuilt = true;
    // Later bytes never displace earlier ones, so fallback entries lose to real mappings.
    for (int b = 255; b >= 0; --b)
      if (!lead_[b] && table_[b] != 0xFFFD) impl_->reverse.insert(table_[b], QByteArray(1, char(b)));
  }
  auto it = impl_->reverse.constFind(ch);
  if (it != impl_->reverse.constEnd()) return *it;
  if (!dbcs_ || impl_->name.isEmpty() || ch < 0x80) return {};
  // Double-byte characters: ask the converter once and keep the answer.
  QStringEncoder enc(impl_->name.constData(), QStringConverter::Flag::Stateless);
  QByteArray bytes = enc.encode(QStringView(&ch, 1));
  if (enc.hasError() || bytes.size() != 2 || Pair(uchar(bytes[0]), uchar(bytes[1])) != QString(QChar(ch)))
    bytes.clear();
  impl_->reverse.insert(ch, bytes);
  return bytes;
}

// ---------------------------------------------------------------------------------------------
// Links

QList<TKVLinkRange> KVFindLinks(const QString& text) {
  QList<TKVLinkRange> out;
  if (text.size() < 4) return out;
  static const QRegularExpression re(
      QStringLiteral("(?<![\\w@.])(?:(?:https?|ftp|file|mailto|news|nntp|telnet|gopher|wais|prospero):"
                     "|www\\.)[^\\s<>\"\\x{2028}\\x{FFFC}]+"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
  auto it = re.globalMatch(text);
  while (it.hasNext()) {
    const auto m = it.next();
    int start = int(m.capturedStart()), len = int(m.capturedLength());
    // Closing punctuation belongs to the sentence, not the link.
    while (len > 0) {
      const QChar c = text[start + len - 1];
      if (QStringLiteral(".,;:!?)]}'").contains(c)) --len;
      else break;
    }
    const QString word = text.mid(start, len);
    const int colon = word.indexOf(QLatin1Char(':'));
    if (len > 0 && !(colon >= 0 && colon == len - 1) && word.compare(QLatin1String("www."), Qt::CaseInsensitive) != 0)
      out.append({start, len});
  }
  return out;
}

QString KVHyperlinkTarget(const QString& instruction) {
  QString s = instruction.trimmed();
  if (!s.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive)) return {};
  s = s.mid(9).trimmed();
  QString target, anchor;
  while (!s.isEmpty()) {
    if (s.startsWith(QLatin1Char('\\'))) {
      const QChar sw = s.size() > 1 ? s[1].toLower() : QChar();
      s = s.mid(2).trimmed();
      if (sw == QLatin1Char('l') || sw == QLatin1Char('o') || sw == QLatin1Char('t') ||
          sw == QLatin1Char('m')) {
        // Switches with an argument; only \l (a place in the document) matters.
        QString arg;
        if (s.startsWith(QLatin1Char('"'))) {
          const int end = s.indexOf(QLatin1Char('"'), 1);
          arg = end < 0 ? s.mid(1) : s.mid(1, end - 1);
          s = end < 0 ? QString() : s.mid(end + 1).trimmed();
        } else {
          const int end = s.indexOf(QLatin1Char(' '));
          arg = end < 0 ? s : s.left(end);
          s = end < 0 ? QString() : s.mid(end + 1).trimmed();
        }
        if (sw == QLatin1Char('l')) anchor = arg;
      }
      continue;
    }
    if (s.startsWith(QLatin1Char('"'))) {
      const int end = s.indexOf(QLatin1Char('"'), 1);
      if (target.isEmpty()) target = end < 0 ? s.mid(1) : s.mid(1, end - 1);
      s = end < 0 ? QString() : s.mid(end + 1).trimmed();
    } else {
      const int end = s.indexOf(QLatin1Char(' '));
      if (target.isEmpty()) target = end < 0 ? s : s.left(end);
      s = end < 0 ? QString() : s.mid(end + 1).trimmed();
    }
  }
  if (!anchor.isEmpty()) target += QLatin1Char('#') + anchor;
  return target;
}

QTextListFormat KVListFormat(int numbering, const QString& before, const QString& after) {
  QTextListFormat lf;
  switch (numbering) {
    case nbBullet: lf.setStyle(QTextListFormat::ListDisc); break;
    case nbLowerLetter: lf.setStyle(QTextListFormat::ListLowerAlpha); break;
    case nbUpperLetter: lf.setStyle(QTextListFormat::ListUpperAlpha); break;
    case nbLowerRoman: lf.setStyle(QTextListFormat::ListLowerRoman); break;
    case nbUpperRoman: lf.setStyle(QTextListFormat::ListUpperRoman); break;
    default: lf.setStyle(QTextListFormat::ListDecimal); break;
  }
  lf.setIndent(0);
  if (numbering != nbBullet) {
    lf.setNumberPrefix(before);
    lf.setNumberSuffix(after);
  }
  lf.setProperty(kvpNumbering, numbering);
  return lf;
}
