#include "controls/KVRtfReader.h"

#include <QColor>
#include <QHash>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <algorithm>
#include <climits>
#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "controls/KVRichPicture.h"
#include "controls/KVRichText.h"

namespace {

constexpr int kMaxDepth = 256;                    // deeper groups share their parent's state
constexpr int kMaxTabs = 64;

enum class Dest : quint8 {
  Text, Skip, Object, FontTable, ColorTable, Pict, FldInst, ObjClass, Pn, PnTxtA, PnTxtB,
  ListTable, List, ListLevel, ListOverrideTable, ListOverride
};

enum Role : quint8 { RoleNone, RolePict, RoleObject, RolePn, RoleList, RoleListLevel, RoleListOverride };

struct CharState {
  int font = -1;
  int halfPoints = 24;
  int fg = 0, bg = 0;
  int field = -1;
  qint8 vAlign = 0;  // 1 superscript, 2 subscript
  qint8 ulKind = 0;  // index in KVUnderlineWords
  qint8 caps = 0;    // 1 all capitals, 2 small capitals
  bool bold = false, italic = false, underline = false, strike = false, hidden = false, protect = false;
  bool operator==(const CharState&) const = default;
};

struct TabStop {
  int pos;
  qint8 kind;  // 0 left, 1 centre, 2 right, 3 decimal
};

struct Numbering {
  int type = nbNone;
  int start = 1;
  QString before, after;
  bool operator==(const Numbering&) const = default;
};

struct ParaState {
  int align = 0;  // 0 left, 1 right, 2 centre, 3 justified
  int fi = 0, li = 0, ri = 0, sb = 0, sa = 0, sl = 0;
  bool slmult = false;
  qint8 nextTabKind = 0;
  std::vector<TabStop> tabs;
  Numbering num;
  int ls = 0, ilvl = 0;
};

struct Group {
  CharState ch;
  ParaState para;
  Dest dest = Dest::Text;
  Role role = RoleNone;
  int uc = 1;
  int field = -1;    // the field whose result this group's text belongs to
  qint64 start = 0;  // offset of the opening brace
  qint64 shown = 0;  // what had been shown when the group opened
  bool upr = false;  // inside \upr, whose \ud part is the one to read
};

struct FontEntry {
  QString name;
  int charset = -1;  // -1: no \fcharset, the document's code page
  int codePage = 0;  // \cpg; 0 when absent
  int pitchFamily = 0;
};

struct ListLevel {
  int nfc = 0;
  int start = 1;
};

// What the document and text builders need to know besides the run's state.
struct Tables {
  QHash<int, FontEntry> fonts;
  std::vector<std::optional<QRgb>> colors;  // nullopt: the automatic colour
  std::vector<QString> fields;
  int deff = -1;
};

class Sink {
 public:
  virtual ~Sink() = default;
  virtual void Text(const QString& text, const CharState& cs) = 0;
  virtual void Paragraph(const ParaState& ps, const CharState& cs) = 0;
  virtual void Picture(TKVPicture&& picture, const CharState& cs) = 0;
  virtual void Finish(const ParaState& ps, const CharState& cs) = 0;
  // Asked at the end of each paragraph: true stops the reading there.
  virtual bool Enough() const { return false; }
};

// ---------------------------------------------------------------------------------------------
// Control words

enum class Kw : quint16 {
  Unknown,
  // document
  Ansi, Mac, Pc, Pca, AnsiCpg, Deff, Uc, U, Bin,
  // destinations
  FontTbl, ColorTbl, Pict, Object, ObjClass, Result, Field, FldInst, FldRslt, ShpPict, Ud, Upr,
  Pn, PnTxtA, PnTxtB, ListTable, List, ListLevel, ListOverrideTable, ListOverride, SkipDest,
  // character
  Plain, B, I, Ul, UlNone, Caps, SCaps, Strike, F, Fs, Cf, Cb, Highlight, Sub, Super, NoSuperSub, V, Protect,
  // paragraph
  Pard, Par, Ql, Qr, Qc, Qj, Fi, Li, Ri, Sb, Sa, Sl, SlMult, Tx, Tqr, Tqc, Tqdec, Tb, Intbl,
  Cell, Row, Ls, Ilvl, PnLvlBlt, PnLvlBody, PnLvlCont, PnLvl, PnDec, PnUcLtr, PnLcLtr, PnUcRm,
  PnLcRm, PnStart, Sect,
  // special characters
  Line, Tab, EmDash, EnDash, EmSpace, EnSpace, QmSpace, Bullet, LQuote, RQuote, LDblQuote,
  RDblQuote, Zwj, Zwnj, LtrMark, RtlMark,
  // pictures and objects
  PicW, PicH, PicWGoal, PicHGoal, PicScaleX, PicScaleY, PngBlip, JpegBlip, EmfBlip, WMetafile,
  DiBitmap, WBitmap, MacPict, PmMetafile, ObjW, ObjH,
  // tables
  FNil, FRoman, FSwiss, FModern, FScript, FDecor, FTech, FBidi, FCharset, FPrq, Cpg, Red, Green,
  Blue, ListId, LevelNfc, LevelStartAt,
};

const std::unordered_map<std::string_view, Kw>& Keywords() {
  static const std::unordered_map<std::string_view, Kw> map = [] {
    std::unordered_map<std::string_view, Kw> m = {
        {"ansi", Kw::Ansi}, {"mac", Kw::Mac}, {"pc", Kw::Pc}, {"pca", Kw::Pca},
        {"ansicpg", Kw::AnsiCpg}, {"deff", Kw::Deff}, {"uc", Kw::Uc}, {"u", Kw::U}, {"bin", Kw::Bin},
        {"fonttbl", Kw::FontTbl}, {"colortbl", Kw::ColorTbl}, {"pict", Kw::Pict},
        {"object", Kw::Object}, {"objclass", Kw::ObjClass}, {"result", Kw::Result},
        {"field", Kw::Field}, {"fldinst", Kw::FldInst}, {"fldrslt", Kw::FldRslt},
        {"shppict", Kw::ShpPict}, {"ud", Kw::Ud}, {"upr", Kw::Upr}, {"pn", Kw::Pn},
        {"pntxta", Kw::PnTxtA}, {"pntxtb", Kw::PnTxtB}, {"listtable", Kw::ListTable},
        {"list", Kw::List}, {"listlevel", Kw::ListLevel}, {"listoverridetable", Kw::ListOverrideTable},
        {"listoverride", Kw::ListOverride},
        {"plain", Kw::Plain}, {"b", Kw::B}, {"i", Kw::I}, {"ul", Kw::Ul}, {"ulnone", Kw::UlNone},
        {"caps", Kw::Caps}, {"scaps", Kw::SCaps}, {"chcbpat", Kw::Cb},
        {"strike", Kw::Strike}, {"striked", Kw::Strike}, {"f", Kw::F}, {"fs", Kw::Fs},
        {"cf", Kw::Cf}, {"cb", Kw::Cb}, {"highlight", Kw::Highlight}, {"sub", Kw::Sub},
        {"super", Kw::Super}, {"nosupersub", Kw::NoSuperSub}, {"v", Kw::V}, {"webhidden", Kw::V},
        {"protect", Kw::Protect},
        {"pard", Kw::Pard}, {"par", Kw::Par}, {"ql", Kw::Ql}, {"qr", Kw::Qr}, {"qc", Kw::Qc},
        {"qj", Kw::Qj}, {"qd", Kw::Qj}, {"fi", Kw::Fi}, {"li", Kw::Li}, {"lin", Kw::Li},
        {"ri", Kw::Ri}, {"rin", Kw::Ri}, {"sb", Kw::Sb}, {"sa", Kw::Sa}, {"sl", Kw::Sl},
        {"slmult", Kw::SlMult}, {"tx", Kw::Tx}, {"tqr", Kw::Tqr}, {"tqc", Kw::Tqc},
        {"tqdec", Kw::Tqdec}, {"tb", Kw::Tb}, {"intbl", Kw::Intbl}, {"cell", Kw::Cell},
        {"nestcell", Kw::Cell}, {"row", Kw::Row}, {"nestrow", Kw::Row}, {"ls", Kw::Ls},
        {"ilvl", Kw::Ilvl}, {"pnlvlblt", Kw::PnLvlBlt}, {"pnlvlbody", Kw::PnLvlBody},
        {"pnlvlcont", Kw::PnLvlCont}, {"pnlvl", Kw::PnLvl}, {"pndec", Kw::PnDec},
        {"pnucltr", Kw::PnUcLtr}, {"pnlcltr", Kw::PnLcLtr}, {"pnucrm", Kw::PnUcRm},
        {"pnlcrm", Kw::PnLcRm}, {"pnstart", Kw::PnStart}, {"sect", Kw::Sect}, {"page", Kw::Sect},
        {"column", Kw::Sect},
        {"line", Kw::Line}, {"tab", Kw::Tab}, {"emdash", Kw::EmDash}, {"endash", Kw::EnDash},
        {"emspace", Kw::EmSpace}, {"enspace", Kw::EnSpace}, {"qmspace", Kw::QmSpace},
        {"bullet", Kw::Bullet}, {"lquote", Kw::LQuote}, {"rquote", Kw::RQuote},
        {"ldblquote", Kw::LDblQuote}, {"rdblquote", Kw::RDblQuote}, {"zwj", Kw::Zwj},
        {"zwnj", Kw::Zwnj}, {"ltrmark", Kw::LtrMark}, {"rtlmark", Kw::RtlMark},
        {"picw", Kw::PicW}, {"pich", Kw::PicH}, {"picwgoal", Kw::PicWGoal},
        {"pichgoal", Kw::PicHGoal}, {"picscalex", Kw::PicScaleX}, {"picscaley", Kw::PicScaleY},
        {"pngblip", Kw::PngBlip}, {"jpegblip", Kw::JpegBlip}, {"emfblip", Kw::EmfBlip},
        {"wmetafile", Kw::WMetafile}, {"dibitmap", Kw::DiBitmap}, {"wbitmap", Kw::WBitmap},
        {"macpict", Kw::MacPict}, {"pmmetafile", Kw::PmMetafile}, {"objw", Kw::ObjW},
        {"objh", Kw::ObjH},
        {"fnil", Kw::FNil}, {"froman", Kw::FRoman}, {"fswiss", Kw::FSwiss}, {"fmodern", Kw::FModern},
        {"fscript", Kw::FScript}, {"fdecor", Kw::FDecor}, {"ftech", Kw::FTech}, {"fbidi", Kw::FBidi},
        {"fcharset", Kw::FCharset}, {"fprq", Kw::FPrq}, {"cpg", Kw::Cpg}, {"red", Kw::Red},
        {"green", Kw::Green}, {"blue", Kw::Blue}, {"listid", Kw::ListId}, {"levelnfc", Kw::LevelNfc},
        {"levelnfcn", Kw::LevelNfc}, {"levelstartat", Kw::LevelStartAt},
    };
    for (const QByteArray& w : KVUnderlineWords()) m.emplace(std::string_view(w.constData(), w.size()), Kw::Ul);
    // Destinations whose content is never shown.
    for (const char* w : {"author", "buptim", "comment", "creatim", "doccomm", "footer", "footerf",
                          "footerl", "footerr", "footnote", "ftncn", "ftnsep", "ftnsepc", "header",
                          "headerf", "headerl", "headerr", "info", "keywords", "operator", "printim",
                          "private", "revtim", "rxe", "stylesheet", "subject", "tc", "title", "txe",
                          "xe", "pntext", "listtext", "nonshppict", "leveltext", "levelnumbers",
                          "annotation", "atnid", "atnauthor", "template", "revtbl", "rsidtbl",
                          "generator", "objdata", "themedata", "colorschememapping", "latentstyles",
                          "datastore", "xmlnstbl", "listpicture", "pnseclvl", "docvar", "userprops",
                          "shpinst", "picprop", "blipuid", "fldtype", "datafield", "background",
                          "pgdsctbl", "filetbl", "mmathPr", "wgrffmtfilter", "falt", "panose"})
      m.emplace(w, Kw::SkipDest);
    return m;
  }();
  return map;
}

// The control word's meaning. Words of up to eight letters, nearly all that are written, are
// looked up by their letters as one number in a table of their own: hashing the text of every
// word was a good part of reading.
Kw LookUpWord(std::string_view word) {
  constexpr int kBits = 10;
  struct Table {
    std::array<quint64, 1 << kBits> keys{};
    std::array<Kw, 1 << kBits> kws{};
  };
  auto key = [](std::string_view w) {
    quint64 k = 0;
    for (char c : w) k = (k << 8) | uchar(c);
    return k;
  };
  auto slot = [](quint64 k) { return size_t((k * 0x9E3779B97F4A7C15ull) >> (64 - kBits)); };
  static const Table table = [&] {
    Table t;
    for (const auto& [w, kw] : Keywords()) {
      if (w.empty() || w.size() > 8) continue;
      size_t i = slot(key(w));
      while (t.keys[i] != 0) i = (i + 1) & ((1 << kBits) - 1);
      t.keys[i] = key(w);
      t.kws[i] = kw;
    }
    return t;
  }();
  if (word.empty() || word.size() > 8) {
    const auto& map = Keywords();
    const auto it = map.find(word);
    return it == map.end() ? Kw::Unknown : it->second;
  }
  const quint64 k = key(word);
  for (size_t i = slot(k);; i = (i + 1) & ((1 << kBits) - 1)) {
    if (table.keys[i] == k) return table.kws[i];
    if (table.keys[i] == 0) return Kw::Unknown;
  }
}

constexpr std::array<qint8, 256> MakeHexTable() {
  std::array<qint8, 256> t{};
  for (auto& v : t) v = -1;
  for (int i = 0; i < 10; ++i) t['0' + i] = qint8(i);
  for (int i = 0; i < 6; ++i) {
    t['a' + i] = qint8(10 + i);
    t['A' + i] = qint8(10 + i);
  }
  return t;
}
constexpr std::array<qint8, 256> kHex = MakeHexTable();

bool IsLetter(uchar c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct ControlWord {
  std::string_view word;
  bool hasParam = false;
  int param = 0;
};

// A control word from its first letter on: the letters, the number that may follow (its first
// ten digits, at most INT_MAX either way) and the blank that ends it.
ControlWord ReadControlWord(const char*& p, const char* end) {
  ControlWord cw;
  const char* w = p;
  while (p < end && IsLetter(uchar(*p))) ++p;
  cw.word = std::string_view(w, size_t(p - w));
  bool negative = false;
  qint64 value = 0;
  if (p < end && *p == '-' && p + 1 < end && IsDigit(p[1])) {
    negative = true;
    ++p;
  }
  int digits = 0;
  while (p < end && IsDigit(*p)) {
    if (digits++ < 10) value = value * 10 + (*p - '0');
    cw.hasParam = true;
    ++p;
  }
  if (p < end && *p == ' ') ++p;
  value = std::min<qint64>(value, INT_MAX);
  cw.param = int(negative ? -value : value);
  return cw;
}

// A control symbol (a backslash and a character that is not a letter) as both readers take it.
// R reads from p_ to end_, keeps star_ for \*, and shows through Byte, Paragraph, Char and
// EscapedDelimiter; SkipForUnicode counts the characters that stand in for a \u.
template <class R>
void TakeControlSymbol(R& r, uchar c) {
  if (c != '*') r.star_ = false;
  switch (c) {
    case '*': r.star_ = true; return;
    case '\'': {
      int v = 0, n = 0;
      while (n < 2 && r.p_ < r.end_ && kHex[uchar(*r.p_)] >= 0) {
        v = v * 16 + kHex[uchar(*r.p_++)];
        ++n;
      }
      if (n > 0) r.Byte(uchar(v));
      return;
    }
    case '\r':
    case '\n':
      if (!r.SkipForUnicode()) r.Paragraph();
      return;
    default: break;
  }
  if (r.SkipForUnicode()) return;
  switch (c) {
    case '\\':
    case '{':
    case '}': r.EscapedDelimiter(c); break;
    case '~': r.Char(0x00A0); break;
    case '-': r.Char(0x00AD); break;
    case '_': r.Char(0x2011); break;
    case '\t': r.Char('\t'); break;
    default: break;
  }
}

// ---------------------------------------------------------------------------------------------

class Reader {
 public:
  Reader(QByteArrayView data, Sink& sink, bool decodePictures)
      : base_(data.data()), p_(data.data()), end_(data.data() + data.size()), sink_(sink),
        decode_(decodePictures), pixelsLeft_(KVDocumentPictureBudget(data.size())) {}

  const Tables& tables() const { return t_; }
  // The character set of a font entry as the run keeps it: a missing \fcharset is the one of
  // the document's code page.
  int Charset(const FontEntry& fe) const { return fe.charset >= 0 ? fe.charset : KVCodePageCharset(ansiCpg_); }

  bool Run() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n')) ++p_;
    if (end_ - p_ < 5 || std::string_view(p_, 5) != "{\\rtf") return false;
    ++p_;
    cur_.start = p_ - 1 - base_;
    depth_ = 1;
    while (p_ < end_ && depth_ > 0 && !stopped_) {
      const uchar c = uchar(*p_);
      switch (c) {
        case '{':
          ++p_;
          Push();
          break;
        case '}':
          ++p_;
          Pop();
          break;
        case '\\':
          ++p_;
          Control();
          break;
        case '\r':
        case '\n':
          ++p_;
          break;
        default:
          if (cur_.dest == Dest::Pict) Hex();
          else Plain();
          break;
      }
    }
    FlushText();
    sink_.Finish(Resolved(cur_.para), cur_.ch);
    return true;
  }
  // The sink had enough before the end of the text.
  bool Stopped() const { return stopped_; }

 private:
  const char* base_;
  const char* p_;
  const char* end_;
  Sink& sink_;
  bool decode_;
  Tables t_;
  int ansiCpg_ = 1252;

  Group cur_;
  std::vector<Group> stack_;
  bool stopped_ = false;
  int depth_ = 0;     // nesting of the braces read, including groups beyond kMaxDepth
  int overflow_ = 0;  // groups beyond kMaxDepth
  bool star_ = false;
  int ucSkip_ = 0;
  int lead_ = -1;     // pending lead byte of a double-byte character
  int cellTabs_ = 0;   // cells ended whose tab is still to come
  qint64 shown_ = 0;   // characters, paragraphs and pictures shown so far

  QString run_;
  CharState runState_;

  // code page cache for the current font
  int cpFont_ = INT_MIN;
  const TKVCodePage* cp_ = nullptr;
  const TKVCodePage* ansiPage_ = nullptr;

  // font table entry being read
  int fontNum_ = -1;
  FontEntry font_;
  bool fontOpen_ = false;
  // colour table entry being read
  int red_ = -1, green_ = -1, blue_ = -1;

  // picture being read
  struct Pict {
    TKVPictureKind kind = TKVPictureKind::Other;
    int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    QByteArray data;
    int nibble = -1;
    bool clean = true;  // nothing of the group was shown before \pict
  } pict_;
  qint64 pixelsLeft_;  // the document's picture budget
  bool pictActive_ = false;
  const char* wordAt_ = nullptr;  // the backslash of the control word being read

  // object group being read (the outermost only)
  struct Object {
    bool active = false;
    int depth = 0;
    int w = 0, h = 0;
    QString className;
    std::optional<TKVPicture> picture;
    CharState ch;
    bool clean = true;  // nothing of the group was shown before \object
  } obj_;

  Numbering pn_;
  std::vector<ListLevel> levels_;
  ListLevel level_;
  int listId_ = 0;
  int overrideListId_ = 0, overrideLs_ = 0;
  QHash<int, std::vector<ListLevel>> lists_;
  QHash<int, int> overrides_;

  // ---- groups

  void Push() {
    ++depth_;
    ucSkip_ = 0;
    lead_ = -1;
    star_ = false;
    if (depth_ > kMaxDepth) {
      ++overflow_;
      return;
    }
    stack_.push_back(cur_);
    cur_.role = RoleNone;
    cur_.start = p_ - 1 - base_;
    cur_.shown = shown_;
  }

  void Pop() {
    --depth_;
    ucSkip_ = 0;
    lead_ = -1;
    star_ = false;
    if (overflow_ > 0) {
      --overflow_;
      return;
    }
    const qint64 closeAt = p_ - base_;
    const Group closing = std::move(cur_);
    if (closing.dest == Dest::FontTable && fontOpen_) EndFont();
    if (stack_.empty()) {
      cur_ = closing;  // the root group: keep its state for the end
      depth_ = 0;
      return;
    }
    cur_ = std::move(stack_.back());
    stack_.pop_back();
    switch (closing.role) {
      case RolePict: EndPicture(closing, closeAt); break;
      case RoleObject: EndObject(closing, closeAt); break;
      case RolePn:
        cur_.para.num = pn_;
        if (pn_.type == nbBullet) cur_.para.num = Numbering{nbBullet, 1, {}, {}};  // a bullet is a bullet
        cur_.para.ls = 0;
        break;
      case RoleListLevel: levels_.push_back(level_); break;
      case RoleList:
        if (listId_ != 0) lists_.insert(listId_, levels_);
        break;
      case RoleListOverride:
        if (overrideLs_ != 0) overrides_.insert(overrideLs_, overrideListId_);
        break;
      case RoleNone: break;
    }
  }

  // ---- text

  const TKVCodePage& CodePage() {
    // Field instructions, numbering texts and class names are plain document text.
    if (cur_.dest != Dest::Text && cur_.dest != Dest::FontTable) {
      if (!ansiPage_ || ansiPage_->CodePage() != ansiCpg_) ansiPage_ = &TKVCodePage::Get(ansiCpg_);
      return *ansiPage_;
    }
    const int fontNum = cur_.dest == Dest::FontTable ? INT_MIN + 1 : (cur_.ch.font >= 0 ? cur_.ch.font : t_.deff);
    if (cp_ && fontNum == cpFont_ && fontNum != INT_MIN + 1) return *cp_;
    int cp = ansiCpg_;
    const FontEntry* fe = nullptr;
    if (cur_.dest == Dest::FontTable) fe = &font_;
    else if (auto it = t_.fonts.constFind(fontNum); it != t_.fonts.constEnd()) fe = &*it;
    if (fe) {
      cp = fe->codePage > 0 ? fe->codePage : KVCharsetCodePage(fe->charset < 0 ? 1 : fe->charset, ansiCpg_);
      // Symbol fonts have plain names, also while a name read so far is "Symbol".
      if (cp == 0 && cur_.dest == Dest::FontTable) cp = ansiCpg_;
      else if (cp == 0 && fe->name.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0) cp = 42;
    }
    cp_ = &TKVCodePage::Get(cp);
    cpFont_ = fontNum;
    return *cp_;
  }

  void FlushText() {
    if (run_.isEmpty()) return;
    sink_.Text(run_, runState_);
    run_.clear();
  }

  void Char(char16_t c) {
    if (c < 0x20 && (c != '\t' || cur_.dest != Dest::Text)) return;
    switch (cur_.dest) {
      case Dest::Text: break;
      case Dest::FontTable:
        if (c == ';') EndFont();
        else font_.name.append(QChar(c));
        return;
      case Dest::FldInst:
        if (cur_.field >= 0) {
          QString& inst = t_.fields[size_t(cur_.field)];
          if (inst.size() < 4096) inst.append(QChar(c));
        }
        return;
      case Dest::ObjClass:
        if (obj_.active && obj_.className.size() < 256) obj_.className.append(QChar(c));
        return;
      case Dest::PnTxtA:
        if (pn_.after.size() < 32) pn_.after.append(QChar(c));
        return;
      case Dest::PnTxtB:
        if (pn_.before.size() < 32) pn_.before.append(QChar(c));
        return;
      case Dest::ColorTable:
        if (c == ';') EndColor();
        return;
      default: return;
    }
    if (cur_.ch.hidden) return;
    // The document takes these as marks of its own: paragraph ends, frame edges, pictures.
    if (c == 0x2029 || c == 0x85) c = ' ';
    else if (c == 0xFFFC || c == 0xFDD0 || c == 0xFDD1) c = 0xFFFD;
    if (!(cur_.ch == runState_)) {
      FlushText();
      runState_ = cur_.ch;
    }
    if (cellTabs_ > 0) {
      run_.append(QString(cellTabs_, QLatin1Char('\t')));
      cellTabs_ = 0;
    }
    run_.append(QChar(c));
    ++shown_;
  }

  // A text byte: raw or from \'hh.
  void Byte(uchar b) {
    if (ucSkip_ > 0) {
      --ucSkip_;
      return;
    }
    if (cur_.dest == Dest::Pict || cur_.dest == Dest::Skip) return;
    const TKVCodePage& cp = CodePage();
    if (lead_ >= 0) {
      const QString s = cp.Pair(uchar(lead_), b);
      lead_ = -1;
      for (QChar ch : s) Char(ch.unicode());
      return;
    }
    if (cp.IsLeadByte(b)) {
      lead_ = b;
      return;
    }
    Char(cp.Byte(b));
  }

  void Plain() {
    // Fast path: a span of printable ASCII that goes straight into the current run.
    if (cur_.dest == Dest::Text && ucSkip_ == 0 && lead_ < 0 && cellTabs_ == 0 && !cur_.ch.hidden &&
        cur_.ch == runState_ && CodePage().AsciiCompatible()) {
      const char* s = p_;
      while (p_ < end_) {
        const uchar c = uchar(*p_);
        if (c < 0x20 || c > 0x7E || c == '\\' || c == '{' || c == '}') break;
        ++p_;
      }
      if (p_ > s) {
        run_.append(QLatin1StringView(s, p_ - s));
        shown_ += p_ - s;
        return;
      }
    }
    const uchar c = uchar(*p_++);
    if (c == '\t') {
      ControlWordTab();
      return;
    }
    if (c < 0x20) return;
    Byte(c);
  }

  void ControlWordTab() {
    if (ucSkip_ > 0) {
      --ucSkip_;
      return;
    }
    Char('\t');
  }

  // Picture data: hex digits, blanks between them ignored.
  void Hex() {
    if (!decode_) {
      while (p_ < end_ && *p_ != '\\' && *p_ != '{' && *p_ != '}') ++p_;
      return;
    }
    QByteArray& d = pict_.data;
    int nibble = pict_.nibble;
    while (p_ < end_) {
      const uchar c = uchar(*p_);
      const int v = kHex[c];
      if (v >= 0) {
        if (nibble < 0) nibble = v;
        else {
          d.append(char((nibble << 4) | v));
          nibble = -1;
        }
      } else if (c == '\\' || c == '{' || c == '}') {
        break;
      }
      ++p_;
    }
    pict_.nibble = nibble;
  }

  // ---- control words and symbols

  void Control() {
    wordAt_ = p_ - 1;
    if (p_ >= end_) return;
    const uchar c = uchar(*p_);
    if (!IsLetter(c)) {
      ++p_;
      Symbol(c);
      return;
    }
    const ControlWord cw = ReadControlWord(p_, end_);
    Word(cw.word, cw.hasParam, cw.param);
  }

  friend void TakeControlSymbol<Reader>(Reader&, uchar);
  void Symbol(uchar c) { TakeControlSymbol(*this, c); }
  void EscapedDelimiter(uchar c) {
    // The second byte of a double-byte character, escaped: our older files have it so.
    if (lead_ >= 0) Byte(c);
    else Char(c);
  }

  bool SkipForUnicode() {
    if (ucSkip_ <= 0) return false;
    --ucSkip_;
    return true;
  }

  void SetDest(Dest d) {
    if (cur_.dest == Dest::Skip) return;  // nothing inside a skipped group is shown
    // An object shows only its result picture: its group is kept whole, and text of its own would
    // come back a second time from the kept group.
    // Tables, lists and the like inside it would act elsewhere when it is written back.
    if (obj_.active) {
      if (d == Dest::Text) return;
      if (d != Dest::ObjClass) d = Dest::Skip;
    }
    // Likewise everything inside a picture group belongs to the picture.
    if (pictActive_ && d != Dest::Skip) return;
    cur_.dest = d;
  }

  void Word(std::string_view word, bool hasParam, int param) {
    const Kw kw = LookUpWord(word);
    const bool star = star_;
    star_ = false;
    if (kw == Kw::Bin) {
      Binary(hasParam ? param : 0);
      return;
    }
    if (SkipForUnicode()) return;
    if (kw == Kw::Unknown || kw == Kw::SkipDest) {
      // An unknown word after \* opens a destination we may ignore.
      if (star || kw == Kw::SkipDest) SetDest(Dest::Skip);
      return;
    }
    if (kw == Kw::Ud && cur_.upr) {
      cur_.upr = false;
      if (!pictActive_ && !obj_.active) cur_.dest = Dest::Text;
      return;
    }
    if (cur_.dest == Dest::Skip) return;
    CharState& ch = cur_.ch;
    ParaState& pa = cur_.para;
    const bool on = !hasParam || param != 0;
    // Document-level words inside a kept picture or object would act elsewhere when it is
    // written back; they mean nothing there.
    if ((pictActive_ || obj_.active) &&
        (kw == Kw::Ansi || kw == Kw::Mac || kw == Kw::Pc || kw == Kw::Pca || kw == Kw::AnsiCpg || kw == Kw::Deff))
      return;
    switch (kw) {
      case Kw::Ansi: ansiCpg_ = 1252; cp_ = nullptr; break;
      case Kw::Mac: ansiCpg_ = 10000; cp_ = nullptr; break;
      case Kw::Pc: ansiCpg_ = 437; cp_ = nullptr; break;
      case Kw::Pca: ansiCpg_ = 850; cp_ = nullptr; break;
      case Kw::AnsiCpg:
        if (param > 0) ansiCpg_ = param;
        cp_ = nullptr;
        break;
      case Kw::Deff:
        t_.deff = param;
        cp_ = nullptr;
        break;
      case Kw::Uc: cur_.uc = std::clamp(param, 0, 16); break;
      case Kw::U: Unicode(param); break;

      case Kw::FontTbl: SetDest(Dest::FontTable); break;
      case Kw::ColorTbl:
        SetDest(Dest::ColorTable);
        red_ = green_ = blue_ = -1;
        break;
      case Kw::Pict: BeginPicture(); break;
      case Kw::Object:
        if (!obj_.active && !pictActive_ && cur_.role == RoleNone) {
          FlushText();
          obj_ = Object{};
          obj_.active = true;
          obj_.depth = depth_;
          obj_.ch = ch;
          obj_.clean = GroupOpensWithWord();
          cur_.role = RoleObject;
          cur_.dest = Dest::Object;
        }
        break;
      case Kw::ObjClass: SetDest(Dest::ObjClass); break;
      case Kw::Result: SetDest(Dest::Text); break;
      case Kw::Field:
        if (t_.fields.size() < 100000) {
          t_.fields.emplace_back();
          cur_.field = int(t_.fields.size()) - 1;
        }
        break;
      case Kw::FldInst: SetDest(Dest::FldInst); break;
      case Kw::FldRslt:
        SetDest(Dest::Text);
        ch.field = cur_.field;
        break;
      case Kw::ShpPict: SetDest(Dest::Text); break;
      case Kw::Ud: break;
      case Kw::Upr:
        cur_.upr = true;
        cur_.dest = Dest::Skip;
        break;
      case Kw::Pn:
        if (cur_.role != RoleNone) break;
        SetDest(Dest::Pn);
        pn_ = Numbering{};
        cur_.role = RolePn;
        break;
      case Kw::PnTxtA:
        SetDest(Dest::PnTxtA);
        pn_.after.clear();
        break;
      case Kw::PnTxtB:
        SetDest(Dest::PnTxtB);
        pn_.before.clear();
        break;
      case Kw::ListTable: SetDest(Dest::ListTable); break;
      case Kw::List:
        if (cur_.dest == Dest::ListTable && cur_.role == RoleNone) {
          SetDest(Dest::List);
          cur_.role = RoleList;
          levels_.clear();
          listId_ = 0;
        }
        break;
      case Kw::ListLevel:
        if (cur_.dest == Dest::List && cur_.role == RoleNone) {
          SetDest(Dest::ListLevel);
          cur_.role = RoleListLevel;
          level_ = ListLevel{};
        }
        break;
      case Kw::ListOverrideTable: SetDest(Dest::ListOverrideTable); break;
      case Kw::ListOverride:
        if (cur_.dest == Dest::ListOverrideTable && cur_.role == RoleNone) {
          SetDest(Dest::ListOverride);
          cur_.role = RoleListOverride;
          overrideListId_ = overrideLs_ = 0;
        }
        break;
      case Kw::ListId:
        if (cur_.dest == Dest::List) listId_ = param;
        else if (cur_.dest == Dest::ListOverride) overrideListId_ = param;
        break;
      case Kw::LevelNfc:
        if (cur_.dest == Dest::ListLevel) level_.nfc = param;
        break;
      case Kw::LevelStartAt:
        if (cur_.dest == Dest::ListLevel) level_.start = param;
        break;
      case Kw::Ls:
        if (cur_.dest == Dest::ListOverride) overrideLs_ = param;
        else pa.ls = param;
        break;
      case Kw::Ilvl: pa.ilvl = std::clamp(param, 0, 8); break;

      case Kw::Plain: {
        const int field = ch.field;
        ch = CharState{};
        ch.field = field;
        break;
      }
      case Kw::B: ch.bold = on; break;
      case Kw::I: ch.italic = on; break;
      case Kw::Ul:
        ch.underline = on;
        ch.ulKind = qint8(on ? std::max(0, KVUnderlineKind(QByteArrayView(word.data(), qsizetype(word.size())))) : 0);
        break;
      case Kw::UlNone:
        ch.underline = false;
        ch.ulKind = 0;
        break;
      case Kw::Caps: ch.caps = on ? 1 : ch.caps == 1 ? 0 : ch.caps; break;
      case Kw::SCaps: ch.caps = on ? 2 : ch.caps == 2 ? 0 : ch.caps; break;
      case Kw::Strike: ch.strike = on; break;
      case Kw::F:
        if (cur_.dest == Dest::FontTable) BeginFont(param);
        else ch.font = param;
        break;
      case Kw::Fs: ch.halfPoints = hasParam ? std::clamp(param, 2, 3276) : 24; break;
      case Kw::Cf: ch.fg = std::max(0, param); break;
      case Kw::Cb:
      case Kw::Highlight: ch.bg = std::max(0, param); break;
      case Kw::Sub: ch.vAlign = on ? 2 : 0; break;
      case Kw::Super: ch.vAlign = on ? 1 : 0; break;
      case Kw::NoSuperSub: ch.vAlign = 0; break;
      case Kw::V: ch.hidden = on; break;
      case Kw::Protect: ch.protect = on; break;

      case Kw::Pard: pa = ParaState{}; break;
      case Kw::Par: Paragraph(); break;
      case Kw::Sect: Paragraph(); break;
      case Kw::Ql: pa.align = 0; break;
      case Kw::Qr: pa.align = 1; break;
      case Kw::Qc: pa.align = 2; break;
      case Kw::Qj: pa.align = 3; break;
      case Kw::Fi: pa.fi = Twips(param); break;
      case Kw::Li: pa.li = Twips(param); break;
      case Kw::Ri: pa.ri = Twips(param); break;
      case Kw::Sb: pa.sb = std::clamp(param, 0, 31680); break;
      case Kw::Sa: pa.sa = std::clamp(param, 0, 31680); break;
      case Kw::Sl: pa.sl = Twips(param); break;
      case Kw::SlMult: pa.slmult = on; break;
      case Kw::Tqr: pa.nextTabKind = 2; break;
      case Kw::Tqc: pa.nextTabKind = 1; break;
      case Kw::Tqdec: pa.nextTabKind = 3; break;
      case Kw::Tx:
        if (pa.tabs.size() < kMaxTabs && param > 0) pa.tabs.push_back({Twips(param), pa.nextTabKind});
        pa.nextTabKind = 0;
        break;
      case Kw::Tb: pa.nextTabKind = 0; break;
      case Kw::Intbl: break;
      case Kw::Cell:
        if (cur_.dest == Dest::Text && cellTabs_ < 1000) ++cellTabs_;
        break;
      case Kw::Row:
        if (cur_.dest == Dest::Text && cellTabs_ > 1) {
          FlushText();
          runState_ = cur_.ch;
          run_ = QString(cellTabs_ - 1, QLatin1Char('\t'));
          cellTabs_ = 0;
        }
        Paragraph();
        break;
      case Kw::PnLvlBlt:
        if (cur_.dest == Dest::Pn) pn_.type = nbBullet;
        break;
      case Kw::PnLvlBody:
      case Kw::PnLvl:
        if (cur_.dest == Dest::Pn && pn_.type != nbBullet) pn_.type = nbArabic;
        break;
      case Kw::PnLvlCont:
        if (cur_.dest == Dest::Pn) pn_.type = nbNone;
        break;
      case Kw::PnDec: PnType(nbArabic); break;
      case Kw::PnUcLtr: PnType(nbUpperLetter); break;
      case Kw::PnLcLtr: PnType(nbLowerLetter); break;
      case Kw::PnUcRm: PnType(nbUpperRoman); break;
      case Kw::PnLcRm: PnType(nbLowerRoman); break;
      case Kw::PnStart:
        if (cur_.dest == Dest::Pn) pn_.start = std::clamp(param, 0, 32767);
        break;

      case Kw::Line: Char(0x2028); break;
      case Kw::Tab: Char('\t'); break;
      case Kw::EmDash: Char(0x2014); break;
      case Kw::EnDash: Char(0x2013); break;
      case Kw::EmSpace: Char(0x2003); break;
      case Kw::EnSpace: Char(0x2002); break;
      case Kw::QmSpace: Char(0x2005); break;
      case Kw::Bullet: Char(0x2022); break;
      case Kw::LQuote: Char(0x2018); break;
      case Kw::RQuote: Char(0x2019); break;
      case Kw::LDblQuote: Char(0x201C); break;
      case Kw::RDblQuote: Char(0x201D); break;
      case Kw::Zwj: Char(0x200D); break;
      case Kw::Zwnj: Char(0x200C); break;
      case Kw::LtrMark: Char(0x200E); break;
      case Kw::RtlMark: Char(0x200F); break;

      case Kw::PicW: pict_.picw = param; break;
      case Kw::PicH: pict_.pich = param; break;
      case Kw::PicWGoal: pict_.goalw = param; break;
      case Kw::PicHGoal: pict_.goalh = param; break;
      case Kw::PicScaleX: pict_.scalex = param; break;
      case Kw::PicScaleY: pict_.scaley = param; break;
      case Kw::PngBlip: pict_.kind = TKVPictureKind::Png; break;
      case Kw::JpegBlip: pict_.kind = TKVPictureKind::Jpeg; break;
      case Kw::EmfBlip: pict_.kind = TKVPictureKind::Emf; break;
      case Kw::WMetafile: pict_.kind = TKVPictureKind::Wmf; break;
      case Kw::DiBitmap: pict_.kind = TKVPictureKind::Dib; break;
      case Kw::WBitmap:
      case Kw::MacPict:
      case Kw::PmMetafile: pict_.kind = TKVPictureKind::Other; break;
      case Kw::ObjW:
        if (obj_.active) obj_.w = param;
        break;
      case Kw::ObjH:
        if (obj_.active) obj_.h = param;
        break;

      case Kw::FNil: font_.pitchFamily = (font_.pitchFamily & 0x0F); break;
      case Kw::FRoman: font_.pitchFamily = (font_.pitchFamily & 0x0F) | 0x10; break;
      case Kw::FSwiss: font_.pitchFamily = (font_.pitchFamily & 0x0F) | 0x20; break;
      case Kw::FModern: font_.pitchFamily = (font_.pitchFamily & 0x0F) | 0x30; break;
      case Kw::FScript: font_.pitchFamily = (font_.pitchFamily & 0x0F) | 0x40; break;
      case Kw::FDecor: font_.pitchFamily = (font_.pitchFamily & 0x0F) | 0x50; break;
      case Kw::FTech:
      case Kw::FBidi: break;
      case Kw::FCharset:
        if (cur_.dest == Dest::FontTable) font_.charset = std::clamp(param, 0, 255);
        break;
      case Kw::FPrq:
        if (cur_.dest == Dest::FontTable) font_.pitchFamily = (font_.pitchFamily & 0xF0) | (param & 3);
        break;
      case Kw::Cpg:
        if (cur_.dest == Dest::FontTable) font_.codePage = std::max(0, param);
        break;
      case Kw::Red: red_ = std::clamp(param, 0, 255); break;
      case Kw::Green: green_ = std::clamp(param, 0, 255); break;
      case Kw::Blue: blue_ = std::clamp(param, 0, 255); break;
      default: break;
    }
  }

  static int Twips(int v) { return std::clamp(v, -31680, 31680); }

  void PnType(int type) {
    if (cur_.dest == Dest::Pn && pn_.type != nbBullet) pn_.type = type;
  }

  void Unicode(int n) {
    lead_ = -1;
    if (n < 0) n += 65536;
    Char(char16_t(n & 0xFFFF));
    ucSkip_ = cur_.uc;
  }

  void Binary(int n) {
    const qint64 len = std::clamp<qint64>(n, 0, end_ - p_);
    if (cur_.dest == Dest::Pict && decode_) pict_.data.append(p_, len);
    p_ += len;
  }

  void Paragraph() {
    if (cur_.dest != Dest::Text) return;
    lead_ = -1;
    cellTabs_ = 0;
    FlushText();
    ++shown_;
    sink_.Paragraph(Resolved(cur_.para), cur_.ch);
    if (sink_.Enough()) stopped_ = true;
  }

  // The paragraph's numbering, taking lists of word processors into account.
  ParaState Resolved(const ParaState& ps) const {
    if (ps.num.type != nbNone || ps.ls <= 0) return ps;
    ParaState out = ps;
    const auto ov = overrides_.constFind(ps.ls);
    const auto list = lists_.constFind(ov == overrides_.constEnd() ? -1 : *ov);
    ListLevel level;
    if (list != lists_.constEnd() && size_t(ps.ilvl) < list->size()) level = (*list)[size_t(ps.ilvl)];
    switch (level.nfc) {
      case 255: return out;
      case 23: out.num.type = nbBullet; break;
      case 1: out.num.type = nbUpperRoman; break;
      case 2: out.num.type = nbLowerRoman; break;
      case 3: out.num.type = nbUpperLetter; break;
      case 4: out.num.type = nbLowerLetter; break;
      default: out.num.type = nbArabic; break;
    }
    if (out.num.type != nbBullet) out.num.after = QStringLiteral(".");
    out.num.start = out.num.type == nbBullet ? 1 : level.start;
    return out;
  }

  // ---- tables

  void BeginFont(int num) {
    if (fontOpen_) EndFont();
    fontNum_ = num;
    font_ = FontEntry{};
    fontOpen_ = true;
    cp_ = nullptr;
  }

  void EndFont() {
    if (!fontOpen_) return;
    fontOpen_ = false;
    font_.name.removeIf([](QChar c) { return c.unicode() < 0x20; });
    font_.name = font_.name.left(64).trimmed();
    if (t_.fonts.size() < 4096 || t_.fonts.contains(fontNum_)) t_.fonts.insert(fontNum_, font_);
    cp_ = nullptr;
  }

  void EndColor() {
    if (t_.colors.size() < 65536) {
      if (red_ < 0 && green_ < 0 && blue_ < 0) t_.colors.push_back(std::nullopt);
      else t_.colors.push_back(qRgb(std::max(red_, 0), std::max(green_, 0), std::max(blue_, 0)));
    }
    red_ = green_ = blue_ = -1;
  }

  // ---- pictures and objects

  void BeginPicture() {
    // One group completes one thing: a group that is already an object or a list is no picture.
    if (cur_.dest == Dest::Skip || pictActive_ || cur_.role != RoleNone) return;
    FlushText();
    pictActive_ = true;
    cur_.dest = Dest::Pict;
    cur_.role = RolePict;
    pict_ = Pict{};
    pict_.clean = GroupOpensWithWord();
  }

  // Whether the current control word is the first thing in its group. Only such a group can be
  // kept and written back as it stands: anything before the word would come back as text.
  bool GroupOpensWithWord() const {
    if (shown_ != cur_.shown || !wordAt_) return false;
    for (const char* q = base_ + cur_.start + 1; q < wordAt_; ++q)
      if (*q != '\r' && *q != '\n') return false;  // line ends are no text; anything else may be
    return true;
  }

  void EndPicture(const Group& g, qint64 closeAt) {
    pictActive_ = false;
    TKVPicture pic;
    const Pict pd = std::move(pict_);
    pict_ = Pict{};
    if (decode_) {
      pic.Image = KVDecodePicture(pd.kind, pd.data, pixelsLeft_);
      pixelsLeft_ -= qint64(pic.Image.width()) * pic.Image.height();
    }
    if (pd.kind == TKVPictureKind::Png || pd.kind == TKVPictureKind::Jpeg) {
      pic.Data = pd.data;
      pic.DataIsJpeg = pd.kind == TKVPictureKind::Jpeg;
    }
    const bool metafile = pd.kind == TKVPictureKind::Wmf || pd.kind == TKVPictureKind::Emf;
    auto side = [&](int goal, int ext, int imagePx, int scale) {
      qint64 tw = goal;
      if (tw <= 0) tw = metafile ? qint64(ext) * 1440 / 2540 : qint64(ext) * 15;
      if (tw <= 0) tw = qint64(imagePx) * 15;
      if (tw <= 0) tw = 1440;
      if (scale > 0 && scale != 100) tw = tw * std::min(scale, 10000) / 100;
      return int(std::clamp<qint64>(tw, 1, KVMaxPictureTwips));
    };
    pic.WidthTw = side(pd.goalw, pd.picw, pic.Image.width(), pd.scalex);
    pic.HeightTw = side(pd.goalh, pd.pich, pic.Image.height(), pd.scaley);
    // The group is kept only when it is the picture alone; shown text of its own would come back
    // a second time from the kept group.
    if (decode_ && pd.clean) pic.Raw = QByteArray(base_ + g.start, int(closeAt - g.start));
    if (obj_.active && depth_ >= obj_.depth) {
      // An object's (first) result picture shows the object; the object group is what is kept.
      if (!obj_.picture) obj_.picture = std::move(pic);
      return;
    }
    // A picture that cannot be kept as it came is damaged RTF; it is left out. It takes the
    // formatting around its group (words inside the group are the group's own).
    if (pd.clean) EmitPicture(std::move(pic), cur_.ch);
  }

  void EndObject(const Group& g, qint64 closeAt) {
    Object o = std::move(obj_);
    obj_ = Object{};
    TKVPicture pic;
    if (o.picture) {
      pic = std::move(*o.picture);
    } else {
      pic.WidthTw = std::clamp(o.w > 0 ? o.w : 1440, 1, KVMaxPictureTwips);
      pic.HeightTw = std::clamp(o.h > 0 ? o.h : 1440, 1, KVMaxPictureTwips);
    }
    pic.ClassName = o.className.trimmed();
    if (pic.ClassName.isEmpty()) pic.ClassName = QStringLiteral("Object");
    if (!o.clean) return;
    if (decode_) pic.Raw = QByteArray(base_ + g.start, int(closeAt - g.start));
    EmitPicture(std::move(pic), o.ch);
  }

  void EmitPicture(TKVPicture&& pic, const CharState& ch) {
    if (cellTabs_ > 0) {
      if (!(runState_ == cur_.ch)) FlushText();
      runState_ = cur_.ch;
      run_.append(QString(cellTabs_, QLatin1Char('\t')));
      cellTabs_ = 0;
    }
    FlushText();
    ++shown_;
    sink_.Picture(std::move(pic), ch);
  }
};

// ---------------------------------------------------------------------------------------------
// Builders

class DocSink : public Sink {
 public:
  DocSink(QTextDocument& doc, const Reader& reader, qint64 minChars = -1)
      : reader_(reader), cur_(&doc), minChars_(minChars) {}

  void Text(const QString& text, const CharState& cs) override {
    EnsureBlock();
    cur_.insertText(text, Format(cs));
    chars_ += text.size();
  }

  void Paragraph(const ParaState& ps, const CharState& cs) override {
    EnsureBlock();
    ApplyBlock(ps, cs);
    needBlock_ = true;
    ++chars_;
  }

  bool Enough() const override { return minChars_ >= 0 && chars_ >= minChars_; }

  void Picture(TKVPicture&& picture, const CharState& cs) override {
    ++chars_;
    EnsureBlock();
    QTextCharFormat f = Format(cs);
    f.merge(KVPictureFormat(picture));
    cur_.insertText(QString(QChar::ObjectReplacementCharacter), f);
  }

  void Finish(const ParaState& ps, const CharState& cs) override {
    if (!needBlock_) ApplyBlock(ps, cs);
  }

 private:
  const Reader& reader_;
  QTextCursor cur_;
  qint64 minChars_ = -1, chars_ = 0;
  bool needBlock_ = false;
  QTextList* list_ = nullptr;
  Numbering listNum_;
  bool lastInList_ = false;
  std::vector<std::pair<CharState, QTextCharFormat>> cache_;

  void EnsureBlock() {
    if (!needBlock_) return;
    cur_.insertBlock(QTextBlockFormat(), QTextCharFormat());
    needBlock_ = false;
  }

  QTextCharFormat Format(const CharState& cs) {
    for (const auto& [state, fmt] : cache_)
      if (state == cs) return fmt;
    const Tables& t = reader_.tables();
    QTextCharFormat f;
    auto font = t.fonts.constFind(cs.font >= 0 ? cs.font : t.deff);
    if (font == t.fonts.constEnd() && cs.font >= 0) font = t.fonts.constFind(t.deff);
    if (font != t.fonts.constEnd()) {
      if (!font->name.isEmpty()) f.setFontFamilies(QStringList{font->name});
      f.setProperty(kvpCharset, reader_.Charset(*font));
      f.setProperty(kvpPitchFamily, font->pitchFamily);
      switch (font->pitchFamily & 0xF0) {
        case 0x10: f.setFontStyleHint(QFont::Serif); break;
        case 0x20: f.setFontStyleHint(QFont::SansSerif); break;
        case 0x30: f.setFontStyleHint(QFont::TypeWriter); break;
        case 0x40: f.setFontStyleHint(QFont::Cursive); break;
        case 0x50: f.setFontStyleHint(QFont::Decorative); break;
        default: break;
      }
    }
    f.setFontPointSize(cs.halfPoints / 2.0);
    f.setFontWeight(cs.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(cs.italic);
    f.setFontUnderline(cs.underline);
    if (cs.underline && cs.ulKind > 0) f.setProperty(kvpUnderlineKind, int(cs.ulKind));
    if (cs.caps == 1) f.setFontCapitalization(QFont::AllUppercase);
    else if (cs.caps == 2) f.setFontCapitalization(QFont::SmallCaps);
    f.setFontStrikeOut(cs.strike);
    if (cs.fg > 0 && size_t(cs.fg) < t.colors.size() && t.colors[size_t(cs.fg)])
      f.setForeground(QColor::fromRgb(*t.colors[size_t(cs.fg)]));
    if (cs.bg > 0 && size_t(cs.bg) < t.colors.size() && t.colors[size_t(cs.bg)])
      f.setBackground(QColor::fromRgb(*t.colors[size_t(cs.bg)]));
    if (cs.vAlign == 1) f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (cs.vAlign == 2) f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (cs.protect) f.setProperty(kvpProtected, true);
    if (cs.field >= 0 && size_t(cs.field) < t.fields.size()) {
      const QString inst = t.fields[size_t(cs.field)].trimmed();
      f.setProperty(kvpFieldInst, inst);
      const QString href = KVHyperlinkTarget(inst);
      if (!href.isEmpty()) {
        f.setAnchor(true);
        f.setAnchorHref(href);
      }
    }
    if (cache_.size() >= 16) cache_.erase(cache_.begin());
    cache_.emplace_back(cs, f);
    return f;
  }

  void ApplyBlock(const ParaState& ps, const CharState& cs) {
    QTextBlockFormat bf;
    static const Qt::Alignment kAlign[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter, Qt::AlignJustify};
    bf.setAlignment(kAlign[std::clamp(ps.align, 0, 3)]);
    const bool listed = ps.num.type != nbNone;
    bf.setProperty(kvpFirstIndentTw, ps.fi);
    bf.setProperty(kvpLeftIndentTw, ps.li);
    bf.setProperty(kvpRightIndentTw, ps.ri);
    bf.setLeftMargin(std::max(0, ps.li) / KVTwipsPerPixel);
    bf.setRightMargin(std::max(0, ps.ri) / KVTwipsPerPixel);
    if (!listed) bf.setTextIndent(std::max(ps.fi, -std::max(0, ps.li)) / KVTwipsPerPixel);
    bf.setTopMargin(ps.sb / KVTwipsPerPixel);
    bf.setBottomMargin(ps.sa / KVTwipsPerPixel);
    if (ps.sl != 0) {
      if (ps.slmult && ps.sl > 0) bf.setLineHeight(ps.sl * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
      else if (ps.sl > 0) bf.setLineHeight(ps.sl / KVTwipsPerPixel, QTextBlockFormat::MinimumHeight);
      else bf.setLineHeight(-ps.sl / KVTwipsPerPixel, QTextBlockFormat::FixedHeight);
    }
    if (!ps.tabs.empty()) {
      QList<QTextOption::Tab> tabs;
      for (const TabStop& t : ps.tabs) {
        static const QTextOption::TabType kType[] = {QTextOption::LeftTab, QTextOption::CenterTab,
                                                     QTextOption::RightTab, QTextOption::DelimiterTab};
        QTextOption::Tab tab(t.pos / KVTwipsPerPixel, kType[std::clamp<int>(t.kind, 0, 3)]);
        if (t.kind == 3) tab.delimiter = QLatin1Char('.');
        tabs.append(tab);
      }
      bf.setTabPositions(tabs);
    }
    cur_.setBlockFormat(bf);
    cur_.setBlockCharFormat(Format(cs));
    if (listed) {
      if (lastInList_ && list_ && ps.num == listNum_) {
        list_->add(cur_.block());
      } else {
        QTextListFormat lf = KVListFormat(ps.num.type, ps.num.before, ps.num.after);
        lf.setProperty(kvpNumberStart, ps.num.start);
        list_ = cur_.createList(lf);
        listNum_ = ps.num;
      }
      lastInList_ = true;
    } else {
      lastInList_ = false;
    }
  }
};

class TextSink : public Sink {
 public:
  QString out;

  void Text(const QString& text, const CharState&) override {
    Pending();
    const qsizetype from = out.size();
    out.append(text);
    for (qsizetype i = from; i < out.size(); ++i)
      if (out[i].unicode() == 0x2028) out[i] = QLatin1Char('\v');
  }
  void Paragraph(const ParaState&, const CharState&) override {
    Pending();
    cr_ = true;
  }
  void Picture(TKVPicture&&, const CharState&) override {
    Pending();
    out.append(QChar(QChar::ObjectReplacementCharacter));
  }
  void Finish(const ParaState&, const CharState&) override {}

 private:
  bool cr_ = false;
  void Pending() {
    if (cr_) out.append(QLatin1Char('\r'));
    cr_ = false;
  }
};

// ---------------------------------------------------------------------------------------------
// The text alone, quickly

// Bytes that are text as they stand: printable ASCII but the braces and the backslash.
constexpr std::array<bool, 256> MakeAsciiTextTable() {
  std::array<bool, 256> t{};
  for (int c = 0x20; c <= 0x7E; ++c) t[size_t(c)] = c != '\\' && c != '{' && c != '}';
  return t;
}
constexpr std::array<bool, 256> kAsciiText = MakeAsciiTextTable();

// How many bytes from P on are text as they stand.
qsizetype AsciiTextSpan(const char* p, const char* end) {
  const char* s = p;
#if defined(__SSE2__)
  // Sixteen at a time: as signed bytes, printable ASCII and DEL are those above 0x1F.
  const __m128i control = _mm_set1_epi8(0x1F), del = _mm_set1_epi8(0x7F), backslash = _mm_set1_epi8('\\'),
                open = _mm_set1_epi8('{'), close = _mm_set1_epi8('}');
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i other = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, del), _mm_cmpeq_epi8(v, backslash)),
                                       _mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)));
    const unsigned text = unsigned(_mm_movemask_epi8(_mm_andnot_si128(other, _mm_cmpgt_epi8(v, control))));
    if (text != 0xFFFF) return p - s + __builtin_ctz(~text);
    p += 16;
  }
#endif
  while (p < end && kAsciiText[uchar(*p)]) ++p;
  return p - s;
}

// Bytes below 0x80 as UTF-16.
void Widen(const char* from, qsizetype n, char16_t* to) {
  qsizetype k = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; n - k >= 16; k += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k + 8), _mm_unpackhi_epi8(v, zero));
  }
#endif
  for (; k < n; ++k) to[k] = char16_t(uchar(from[k]));
}

// The text-only reading in one pass, without the reader's formatting, tables and picture state:
// what editors write (text in any single-byte code page, \u, font and colour tables, fields,
// numbering, pictures and skipped destinations). It gives up at what only the reader follows
// (objects, tables, lists, double-byte code pages, deep nesting); the reader then reads the
// text. Wherever it does not give up, it gives the reader's text.
class QuickText {
 public:
  // Out has room for as many characters as Data has bytes: no character is shown for less than a
  // byte of its own.
  QuickText(QByteArrayView data, char16_t* out) : p_(data.data()), end_(data.data() + data.size()), out_(out) {
    cur_ = G{nullptr, -1, 1, D::Text, false, false};
    font_ = Font{0, -1, 0, false};
  }

  // The length of the text; -1 when it gave up. Data opens with "{\rtf".
  qsizetype Run() {
    while (*p_ != '{') ++p_;
    cur_.start = p_++;
    depth_ = 1;
    while (p_ < end_ && depth_ > 0 && ok_) {
      switch (*p_) {
        case '{':
          ++p_;
          Push();
          break;
        case '}':
          ++p_;
          Pop(true);
          break;
        case '\\':
          ++p_;
          Control();
          break;
        case '\r':
        case '\n':
          ++p_;
          break;
        default: Plain(); break;
      }
    }
    return ok_ ? n_ : -1;
  }

 private:
  static constexpr int kDepth = 200;  // well within the reader's own limit
  static constexpr int kFonts = 64;

  // Text is shown; Fonts names fonts; Hidden is read but not shown (colours, field
  // instructions, numbering texts, class names).
  enum class D : quint8 { Text, Fonts, Hidden };
  // Plain structs: the stack is not cleared for every text.
  struct G {
    const char* start;  // the opening brace
    int font;
    int uc;
    D dest;
    bool hidden;
    bool numbering;  // the group holds \pn: no picture of its own
  };
  struct Font {
    int num;
    int charset;
    int codePage;
    bool symbol;  // named Symbol
  };

  const char* p_;
  const char* end_;
  char16_t* out_;
  qsizetype n_ = 0;
  bool ok_ = true;
  bool cr_ = false;  // a paragraph ended; its CR comes before anything shown after it
  int depth_ = 0;
  int ucSkip_ = 0;
  bool star_ = false;
  int ansiCpg_ = 1252;
  int deff_ = -1;
  G cur_;
  std::array<G, kDepth> stack_;
  int top_ = 0;
  std::array<Font, kFonts> fonts_;
  int fontCount_ = 0;
  Font font_;  // the entry being read
  bool fontOpen_ = false;
  char16_t name_[64];  // as much of its name as counts
  int nameLen_ = 0;
  // The code page last looked up, and for what.
  const TKVCodePage* page_ = nullptr;
  int pageNum_ = -1;   // its number
  int pageFor_ = 0;    // the font it is for (INT_MIN + 1: a hidden text's)
  int pageAnsi_ = 0;   // the document's code page then

  void Push() {
    ++depth_;
    ucSkip_ = 0;
    star_ = false;
    if (depth_ >= kDepth) {
      ok_ = false;
      return;
    }
    stack_[size_t(top_++)] = cur_;
    cur_.numbering = false;
    cur_.start = p_ - 1;
  }

  // EndFonts: the group was read, not read past.
  void Pop(bool endFonts) {
    --depth_;
    ucSkip_ = 0;
    star_ = false;
    if (endFonts && cur_.dest == D::Fonts && fontOpen_) EndFont();
    if (top_ == 0) {
      depth_ = 0;
      return;
    }
    cur_ = stack_[size_t(--top_)];
  }

  // Reads past the rest of the current group and closes it; false when the text ends first.
  bool SkipGroup() {
    int nested = 0;
    while (p_ < end_) {
      const char c = *p_++;
      if (c == '{') {
        ++nested;
      } else if (c == '}') {
        if (nested-- == 0) {
          Pop(false);
          return true;
        }
      } else if (c == '\\' && p_ < end_) {
        if (!IsLetter(uchar(*p_))) {
          ++p_;
          continue;
        }
        const ControlWord cw = ReadControlWord(p_, end_);
        if (cw.word == "bin") p_ += std::clamp<qint64>(cw.hasParam ? cw.param : 0, 0, end_ - p_);
      }
    }
    return false;
  }

  bool SkipForUnicode() {
    if (ucSkip_ <= 0) return false;
    --ucSkip_;
    return true;
  }

  void Put(char16_t c) {
    if (cr_) out_[n_++] = u'\r';
    cr_ = false;
    out_[n_++] = c;
  }

  void Paragraph() {
    if (cur_.dest != D::Text) return;
    if (cr_) out_[n_++] = u'\r';
    cr_ = true;
  }

  void Char(char16_t c) {
    if (c < 0x20 && (c != '\t' || cur_.dest != D::Text)) return;
    if (cur_.dest == D::Fonts) {
      if (c == ';') EndFont();
      else if (nameLen_ < 64) name_[nameLen_++] = c;
      return;
    }
    if (cur_.dest != D::Text || cur_.hidden) return;
    if (c == 0x2029 || c == 0x85) c = ' ';
    else if (c == 0xFFFC || c == 0xFDD0 || c == 0xFDD1) c = 0xFFFD;
    else if (c == 0x2028) c = '\v';
    Put(c);
  }

  int FontCodePage(const Font& f) const {
    return f.codePage > 0 ? f.codePage : KVCharsetCodePage(f.charset < 0 ? 1 : f.charset, ansiCpg_);
  }

  const TKVCodePage& Page() {
    // Looked up again when the font, the document's code page or the font table changes; the
    // entry being read may change at any word.
    const int num = cur_.dest == D::Text ? (cur_.font >= 0 ? cur_.font : deff_) : cur_.dest == D::Fonts ? INT_MIN : INT_MIN + 1;
    if (page_ && num == pageFor_ && ansiCpg_ == pageAnsi_ && num != INT_MIN) return *page_;
    int cp = ansiCpg_;
    if (cur_.dest == D::Fonts) {
      cp = FontCodePage(font_);
      if (cp == 0) cp = ansiCpg_;
    } else if (cur_.dest == D::Text) {
      for (int i = 0; i < fontCount_; ++i)
        if (fonts_[size_t(i)].num == num) {
          cp = FontCodePage(fonts_[size_t(i)]);
          if (cp == 0 && fonts_[size_t(i)].symbol) cp = 42;
          break;
        }
    }
    if (!page_ || cp != pageNum_) page_ = &TKVCodePage::Get(cp);
    pageNum_ = cp;
    pageFor_ = num;
    pageAnsi_ = ansiCpg_;
    return *page_;
  }

  // A text byte: raw or from \'hh.
  void Byte(uchar b) {
    if (SkipForUnicode()) return;
    const TKVCodePage& cp = Page();
    if (cp.IsLeadByte(b)) {
      ok_ = false;
      return;
    }
    Char(cp.Byte(b));
  }

  void Plain() {
    if (ucSkip_ == 0 && kAsciiText[uchar(*p_)]) {
      const qsizetype n = AsciiTextSpan(p_, end_);
      if (cur_.dest == D::Text && !cur_.hidden && Page().AsciiCompatible()) {
        // Shown as it stands where the code page keeps ASCII.
        if (cr_) out_[n_++] = u'\r';
        cr_ = false;
        Widen(p_, n, out_ + n_);
        n_ += n;
      } else if (cur_.dest != D::Hidden) {
        for (qsizetype k = 0; k < n && ok_; ++k) Byte(uchar(p_[k]));
      }
      p_ += n;
      return;
    }
    const uchar c = uchar(*p_++);
    if (c == '\t') {
      if (!SkipForUnicode()) Char('\t');
      return;
    }
    if (c < 0x20) return;
    Byte(c);
  }

  void Control() {
    const char* at = p_ - 1;
    if (p_ >= end_) return;
    const uchar c = uchar(*p_);
    if (!IsLetter(c)) {
      ++p_;
      Symbol(c);
      return;
    }
    const ControlWord cw = ReadControlWord(p_, end_);
    Word(cw, at);
  }

  friend void TakeControlSymbol<QuickText>(QuickText&, uchar);
  void Symbol(uchar c) { TakeControlSymbol(*this, c); }
  void EscapedDelimiter(uchar c) { Char(c); }

  void Word(const ControlWord& cw, const char* at) {
    const Kw kw = LookUpWord(cw.word);
    const bool star = star_;
    star_ = false;
    const int param = cw.param;
    if (kw == Kw::Bin) {
      p_ += std::clamp<qint64>(cw.hasParam ? param : 0, 0, end_ - p_);
      return;
    }
    if (SkipForUnicode()) return;
    if (kw == Kw::Unknown || kw == Kw::SkipDest) {
      if (star || kw == Kw::SkipDest) SkipGroup();
      return;
    }
    switch (kw) {
      case Kw::Ansi: ansiCpg_ = 1252; break;
      case Kw::Mac: ansiCpg_ = 10000; break;
      case Kw::Pc: ansiCpg_ = 437; break;
      case Kw::Pca: ansiCpg_ = 850; break;
      case Kw::AnsiCpg:
        if (param > 0) ansiCpg_ = param;
        break;
      case Kw::Deff: deff_ = param; break;
      case Kw::Uc: cur_.uc = std::clamp(param, 0, 16); break;
      case Kw::U:
        Char(char16_t((param < 0 ? param + 65536 : param) & 0xFFFF));
        ucSkip_ = cur_.uc;
        break;
      case Kw::FontTbl: cur_.dest = D::Fonts; break;
      case Kw::ColorTbl:
      case Kw::ObjClass:
      case Kw::FldInst:
      case Kw::PnTxtA:
      case Kw::PnTxtB: cur_.dest = D::Hidden; break;
      case Kw::Result:
      case Kw::FldRslt:
      case Kw::ShpPict: cur_.dest = D::Text; break;
      case Kw::Pn:
        if (cur_.numbering) break;
        cur_.dest = D::Hidden;
        cur_.numbering = true;
        break;
      case Kw::Pict: Picture(at); break;
      case Kw::Object:
      case Kw::Upr:
      case Kw::ListTable:
      case Kw::List:
      case Kw::ListLevel:
      case Kw::ListOverrideTable:
      case Kw::ListOverride:
      case Kw::Cell:
      case Kw::Row: ok_ = false; break;
      case Kw::Plain:
        cur_.font = -1;
        cur_.hidden = false;
        break;
      case Kw::F:
        if (cur_.dest == D::Fonts) BeginFont(param);
        else cur_.font = param;
        break;
      case Kw::V: cur_.hidden = !cw.hasParam || param != 0; break;
      case Kw::Par:
      case Kw::Sect: Paragraph(); break;
      case Kw::Line: Char(0x2028); break;
      case Kw::Tab: Char('\t'); break;
      case Kw::EmDash: Char(0x2014); break;
      case Kw::EnDash: Char(0x2013); break;
      case Kw::EmSpace: Char(0x2003); break;
      case Kw::EnSpace: Char(0x2002); break;
      case Kw::QmSpace: Char(0x2005); break;
      case Kw::Bullet: Char(0x2022); break;
      case Kw::LQuote: Char(0x2018); break;
      case Kw::RQuote: Char(0x2019); break;
      case Kw::LDblQuote: Char(0x201C); break;
      case Kw::RDblQuote: Char(0x201D); break;
      case Kw::Zwj: Char(0x200D); break;
      case Kw::Zwnj: Char(0x200C); break;
      case Kw::LtrMark: Char(0x200E); break;
      case Kw::RtlMark: Char(0x200F); break;
      case Kw::FCharset:
        if (cur_.dest == D::Fonts) font_.charset = std::clamp(param, 0, 255);
        break;
      case Kw::Cpg:
        if (cur_.dest == D::Fonts) font_.codePage = std::max(0, param);
        break;
      default: break;
    }
  }

  // A picture shows as one character once its group is read, if the group is the picture alone
  // (nothing but line ends before \pict); its content is not text.
  void Picture(const char* at) {
    if (cur_.numbering) return;
    bool alone = top_ > 0;
    for (const char* q = cur_.start + 1; alone && q < at; ++q) alone = *q == '\r' || *q == '\n';
    if (SkipGroup() && alone) Put(0xFFFC);
  }

  void BeginFont(int num) {
    if (fontOpen_) EndFont();
    font_ = Font{num, -1, 0, false};
    nameLen_ = 0;
    fontOpen_ = true;
  }

  void EndFont() {
    if (!fontOpen_) return;
    fontOpen_ = false;
    font_.symbol =
        QStringView(name_, nameLen_).trimmed().compare(QLatin1StringView("Symbol"), Qt::CaseInsensitive) == 0;
    page_ = nullptr;
    for (int i = 0; i < fontCount_; ++i)
      if (fonts_[size_t(i)].num == font_.num) {
        fonts_[size_t(i)] = font_;
        return;
      }
    if (fontCount_ == kFonts) ok_ = false;
    else fonts_[size_t(fontCount_++)] = font_;
  }
};

}  // namespace

bool KVIsRtf(QByteArrayView data) {
  qsizetype i = 0;
  while (i < data.size() && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n')) ++i;
  return data.size() - i >= 5 && data.sliced(i, 5) == QByteArrayView("{\\rtf");
}

bool KVReadRtf(QByteArrayView data, QTextDocument& doc) {
  bool more = false;
  return KVReadRtfPart(data, doc, -1, more);
}

bool KVReadRtfPart(QByteArrayView data, QTextDocument& doc, qint64 MinChars, bool& More) {
  More = false;
  if (!KVIsRtf(data)) return false;
  const bool undo = doc.isUndoRedoEnabled();
  doc.setUndoRedoEnabled(false);
  // No layout while the content grows; one lazy layout of the whole afterwards.
  const QSizeF page = doc.pageSize();
  doc.setPageSize(QSizeF(0, 0));
  doc.clear();
  KVPrepareDocument(doc);
  {
    QTextCursor edit(&doc);
    edit.beginEditBlock();
    // The reader holds the tables the builder needs; the builder is made after it.
    struct Forward : Sink {
      Sink* target = nullptr;
      void Text(const QString& t, const CharState& c) override { target->Text(t, c); }
      void Paragraph(const ParaState& p, const CharState& c) override { target->Paragraph(p, c); }
      void Picture(TKVPicture&& p, const CharState& c) override { target->Picture(std::move(p), c); }
      void Finish(const ParaState& p, const CharState& c) override { target->Finish(p, c); }
      bool Enough() const override { return target->Enough(); }
    } forward;
    Reader reader(data, forward, true);
    DocSink sink(doc, reader, MinChars);
    forward.target = &sink;
    reader.Run();
    More = reader.Stopped();
    edit.endEditBlock();
  }
  doc.setPageSize(page);
  doc.setUndoRedoEnabled(undo);
  doc.setModified(false);
  return true;
}

bool KVRtfToText(QByteArrayView data, QString& text) {
  if (!KVIsRtf(data)) return false;
  // No character is shown for less than a byte of its own: the text fits in as many.
  text.resize(data.size() + 1);
  const qsizetype length = QuickText(data, reinterpret_cast<char16_t*>(text.data())).Run();
  if (length >= 0) {
    text.truncate(length);
    return true;
  }
  TextSink sink;
  Reader reader(data, sink, false);
  reader.Run();
  text = std::move(sink.out);
  return true;
}

std::optional<QString> KVRtfToText(QByteArrayView data) {
  QString text;
  if (!KVRtfToText(data, text)) return std::nullopt;
  text.squeeze();
  return text;
}

QByteArray KVRtfBytes(const QString& text) {
  // RTF as the editors write it is 7-bit: taken whole, without a look at each character.
  if (QtPrivate::isLatin1(QStringView(text))) return text.toLatin1();
  QByteArray out;
  out.reserve(text.size());
  const TKVCodePage& cp1252 = TKVCodePage::Get(1252);
  for (QChar qc : text) {
    const char16_t c = qc.unicode();
    if (c <= 0xFF) {
      out.append(char(c));
      continue;
    }
    const QByteArray b = cp1252.Encode(c);
    if (b.size() == 1) {
      out.append(b);
      continue;
    }
    out.append("\\u");
    out.append(QByteArray::number(qint16(c)));
    out.append('?');
  }
  return out;
}
