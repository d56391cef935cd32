#include "controls/KVRichEdOLE.h"

#include "foundation/KVForms.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QScrollBar>
#include <QSpinBox>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QTextList>
#include <QVBoxLayout>
#include <cmath>

#include "controls/KVRichText.h"
#include "controls/KVRtfReader.h"
#include "controls/KVRtfWriter.h"
#include "foundation/KVTextHelper.h"
#include "platform/KVSafeSave.h"

const char* const KVMimeRtf = "text/rtf";

namespace {

const char* const kRtfMimes[] = {"text/rtf", "application/rtf", "text/richtext"};
constexpr int kSelectionBarWidth = 8;
constexpr int kDefaultMaxLength = 0xFFFFFF;

int Twips(double px) { return int(std::nearbyint(px * KVTwipsPerPixel)); }

// Indents of a paragraph in twips: our own values while Qt's margins still agree with them.
void BlockIndents(const QTextBlockFormat& bf, int& fi, int& li, int& ri) {
  const int qli = Twips(bf.leftMargin()), qri = Twips(bf.rightMargin());
  if (bf.hasProperty(kvpLeftIndentTw) && std::abs(std::max(0, bf.intProperty(kvpLeftIndentTw)) - qli) <= 8 &&
      std::abs(std::max(0, bf.intProperty(kvpRightIndentTw)) - qri) <= 8) {
    fi = bf.intProperty(kvpFirstIndentTw);
    li = bf.intProperty(kvpLeftIndentTw);
    ri = bf.intProperty(kvpRightIndentTw);
    return;
  }
  fi = Twips(bf.textIndent());
  li = qli;
  ri = qri;
}

void SetBlockIndents(QTextBlockFormat& bf, int fi, int li, int ri, bool listed) {
  bf.setProperty(kvpFirstIndentTw, fi);
  bf.setProperty(kvpLeftIndentTw, li);
  bf.setProperty(kvpRightIndentTw, ri);
  bf.setLeftMargin(std::max(0, li) / KVTwipsPerPixel);
  bf.setRightMargin(std::max(0, ri) / KVTwipsPerPixel);
  bf.setTextIndent(listed ? 0 : std::max(fi, -std::max(0, li)) / KVTwipsPerPixel);
}

int NumberingOf(const QTextList* list) {
  if (!list) return nbNone;
  const QTextListFormat lf = list->format();
  if (lf.hasProperty(kvpNumbering)) return lf.intProperty(kvpNumbering);
  switch (lf.style()) {
    case QTextListFormat::ListDecimal: return nbArabic;
    case QTextListFormat::ListLowerAlpha: return nbLowerLetter;
    case QTextListFormat::ListUpperAlpha: return nbUpperLetter;
    case QTextListFormat::ListLowerRoman: return nbLowerRoman;
    case QTextListFormat::ListUpperRoman: return nbUpperRoman;
    default: return nbBullet;
  }
}

QTextListFormat ListFormat(int numbering) {
  QTextListFormat lf = KVListFormat(numbering);
  lf.setProperty(kvpNumberStart, 1);
  return lf;
}

struct ConversionFormat {
  QString extension;
  TConversionClass make;
  bool plain;
};

std::vector<ConversionFormat>& ConversionFormats() {
  static std::vector<ConversionFormat> list = {
      {QStringLiteral("txt"), [] { return std::make_unique<TConversion>(); }, true},
      {QStringLiteral("rtf"), [] { return std::make_unique<TConversion>(); }, false},
  };
  return list;
}

class LinkHighlighter : public QSyntaxHighlighter {
 public:
  explicit LinkHighlighter(QTextDocument* doc) : QSyntaxHighlighter(doc) {
    format_.setFontUnderline(true);
    format_.setForeground(QColor(0, 0, 255));
  }

 protected:
  void highlightBlock(const QString& text) override {
    for (const TKVLinkRange& r : KVFindLinks(text)) setFormat(r.Start, r.Length, format_);
  }

 private:
  QTextCharFormat format_;
};

}  // namespace

bool KVMimeHasRtf(const QMimeData* data) {
  if (!data) return false;
  for (const char* m : kRtfMimes)
    if (data->hasFormat(QLatin1String(m))) return true;
  return false;
}

QByteArray KVMimeRtfData(const QMimeData* data) {
  if (!data) return {};
  for (const char* m : kRtfMimes)
    if (data->hasFormat(QLatin1String(m))) return data->data(QLatin1String(m));
  return {};
}


// =============================================================================================
// Text attributes

const ClassInfo& TKVTextAttributes::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVTextAttributes>("TKVTextAttributes", &TPersistent::StaticClass()).Build();
  return ci;
}

QTextCharFormat TKVTextAttributes::Format() const {
  QTextCharFormat full = owner_->DefaultFormat();
  if (type_ == atDefaultText) return full;
  const QTextCursor c = owner_->textCursor();
  // A selection reads as its first character; without one the typing format counts.
  const QTextCharFormat f = c.hasSelection()
                                ? owner_->RangeCursor(c.selectionStart(), c.selectionStart() + 1).charFormat()
                                : owner_->currentCharFormat();
  if (f.hasProperty(QTextFormat::ForegroundBrush)) full.clearForeground();
  full.merge(f);
  return full;
}

void TKVTextAttributes::Apply(const QTextCharFormat& changes) {
  owner_->ChangeFormat(type_, [&](QTextCharFormat& f) { f.merge(changes); });
}

int TKVTextAttributes::Charset() const {
  const QTextCharFormat f = Format();
  return f.hasProperty(kvpCharset) ? f.intProperty(kvpCharset) : 1;
}

void TKVTextAttributes::SetCharset(int value) {
  QTextCharFormat c;
  c.setProperty(kvpCharset, std::clamp(value, 0, 255));
  Apply(c);
}

TColor TKVTextAttributes::Color() const {
  const QTextCharFormat f = Format();
  if (!f.hasProperty(QTextFormat::ForegroundBrush) || f.foreground().style() == Qt::NoBrush) return clWindowText;
  return FromQColor(f.foreground().color());
}

void TKVTextAttributes::SetColor(TColor value) {
  if (value == clWindowText || value == clDefaultColor) {
    owner_->ChangeFormat(type_, [](QTextCharFormat& f) { f.clearForeground(); });
    return;
  }
  const QColor c = ToQColor(value);
  owner_->ChangeFormat(type_, [&](QTextCharFormat& f) { f.setForeground(c); });
}

QString TKVTextAttributes::Name() const {
  const QTextCharFormat f = Format();
  const QStringList families = f.fontFamilies().toStringList();
  return families.isEmpty() ? owner_->document()->defaultFont().family() : families.first();
}

void TKVTextAttributes::SetName(const QString& value) {
  QTextCharFormat c;
  c.setFontFamilies(QStringList{value.left(31)});
  Apply(c);
}

TFontStyles TKVTextAttributes::Style() const {
  const QTextCharFormat f = Format();
  TFontStyles s = 0;
  if (f.fontWeight() >= QFont::DemiBold) s |= FontStyle(fsBold);
  if (f.fontItalic()) s |= FontStyle(fsItalic);
  if (f.fontUnderline()) s |= FontStyle(fsUnderline);
  if (f.fontStrikeOut()) s |= FontStyle(fsStrikeOut);
  return s;
}

void TKVTextAttributes::SetStyle(TFontStyles value) {
  QTextCharFormat c;
  c.setFontWeight(value & FontStyle(fsBold) ? QFont::Bold : QFont::Normal);
  c.setFontItalic(value & FontStyle(fsItalic));
  c.setFontUnderline(value & FontStyle(fsUnderline));
  c.setFontStrikeOut(value & FontStyle(fsStrikeOut));
  Apply(c);
}

int TKVTextAttributes::Size() const {
  const double pt = Format().fontPointSize();
  return int(std::nearbyint(pt * 20)) / 20;
}

void TKVTextAttributes::SetSize(int value) {
  QTextCharFormat c;
  c.setFontPointSize(std::clamp(value * 20, 20, 32760) / 20);
  Apply(c);
}

TFontPitch TKVTextAttributes::Pitch() const {
  const QTextCharFormat f = Format();
  const int pitch = f.hasProperty(kvpPitchFamily) ? (f.intProperty(kvpPitchFamily) & 3) : 0;
  return pitch == 2 ? fpVariable : pitch == 1 ? fpFixed : fpDefault;
}

void TKVTextAttributes::SetPitch(TFontPitch) {
  // The rich-edit control takes the pitch only together with a face name, so alone it changes
  // nothing.
}

TConsistentAttributes TKVTextAttributes::ConsistentAttributes() const {
  if (type_ == atDefaultText) return 0;
  const QTextCursor c = owner_->textCursor();
  TConsistentAttributes all = 0xFFFF;
  if (!c.hasSelection()) return all;
  const int s = c.selectionStart(), e = c.selectionEnd();
  std::optional<QTextCharFormat> first;
  auto bit = [](TConsistentAttribute a) { return TConsistentAttributes(1) << a; };
  for (QTextBlock b = owner_->document()->findBlock(s); b.isValid() && b.position() < e; b = b.next())
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment fr = it.fragment();
      if (fr.position() + fr.length() <= s || fr.position() >= e) continue;
      const QTextCharFormat f = fr.charFormat();
      if (!first) {
        first = f;
        continue;
      }
      const QTextCharFormat& g = *first;
      if ((f.fontWeight() >= QFont::DemiBold) != (g.fontWeight() >= QFont::DemiBold)) all &= ~(bit(caBold) | bit(caWeight));
      if (f.foreground() != g.foreground()) all &= ~bit(caColor);
      if (f.fontFamilies() != g.fontFamilies()) all &= ~bit(caFace);
      if (f.fontItalic() != g.fontItalic()) all &= ~bit(caItalic);
      if (f.fontPointSize() != g.fontPointSize()) all &= ~bit(caSize);
      if (f.fontStrikeOut() != g.fontStrikeOut()) all &= ~bit(caStrikeOut);
      if (f.fontUnderline() != g.fontUnderline()) all &= ~bit(caUnderline);
      if (f.boolProperty(kvpProtected) != g.boolProperty(kvpProtected)) all &= ~bit(caProtected);
      if (f.verticalAlignment() != g.verticalAlignment()) all &= ~(bit(caOffset) | bit(caSubscript));
      if (f.isAnchor() != g.isAnchor()) all &= ~bit(caLink);
      if (f.background() != g.background()) all &= ~bit(caBackColor);
    }
  return all;
}

void TKVTextAttributes::Assign(const TPersistent& source) {
  if (source.InheritsFrom(TFont::StaticClass())) {
    const auto& font = static_cast<const TFont&>(source);
    owner_->ChangeFormat(type_, [&](QTextCharFormat& f) { KVMergeFont(f, font); });
    return;
  }
  if (source.InheritsFrom(TKVTextAttributes::StaticClass())) {
    const QTextCharFormat whole = static_cast<const TKVTextAttributes&>(source).Format();
    owner_->ChangeFormat(type_, [&](QTextCharFormat& f) {
      f.merge(whole);
      if (!whole.hasProperty(QTextFormat::ForegroundBrush)) f.clearForeground();
    });
    return;
  }
  TPersistent::Assign(source);
}

void TKVTextAttributes::AssignTo(TPersistent& dest) const {
  if (dest.InheritsFrom(TFont::StaticClass())) {
    auto& font = static_cast<TFont&>(dest);
    font.Color = Color();
    font.Name = Name();
    font.Charset = Charset();
    font.Style = Style();
    font.Size = Size();
    return;
  }
  TPersistent::AssignTo(dest);
}

// =============================================================================================
// Paragraph attributes

const ClassInfo& TKVParaAttributes::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVParaAttributes>("TKVParaAttributes", &TPersistent::StaticClass()).Build();
  return ci;
}

struct TKVParaAttributes::Record {
  int align = 0;
  int numbering = nbNone;
  int fi = 0, li = 0, ri = 0;
  std::vector<int> tabs;  // twips
};

namespace {

// The paragraph record of a block (twips, rich-edit alignment numbers less one).
struct BlockRecord {
  static void Read(const QTextBlock& b, int& align, int& numbering, int& fi, int& li, int& ri, std::vector<int>& tabs) {
    const QTextBlockFormat bf = b.blockFormat();
    const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
    align = (a & Qt::AlignRight) ? 1 : (a & Qt::AlignHCenter) ? 2 : (a & Qt::AlignJustify) ? 3 : 0;
    numbering = NumberingOf(b.textList());
    BlockIndents(bf, fi, li, ri);
    tabs.clear();
    for (const QTextOption::Tab& t : bf.tabPositions()) tabs.push_back(Twips(t.position));
  }
};

}  // namespace

TKVParaAttributes::Record TKVParaAttributes::Read() const {
  Record r;
  const QTextBlock b = owner_->document()->findBlock(owner_->textCursor().selectionStart());
  if (b.isValid()) BlockRecord::Read(b, r.align, r.numbering, r.fi, r.li, r.ri, r.tabs);
  return r;
}

void TKVParaAttributes::Write(const std::function<void(Record&)>& change, bool numbering) {
  QTextDocument* doc = owner_->document();
  const QTextCursor sel = owner_->textCursor();
  QTextCursor c(doc);
  c.beginEditBlock();
  const QTextBlock first = doc->findBlock(sel.selectionStart());
  const QTextBlock last = doc->findBlock(sel.selectionEnd());
  QTextList* list = nullptr;
  for (QTextBlock b = first; b.isValid(); b = b.next()) {
    Record r;
    BlockRecord::Read(b, r.align, r.numbering, r.fi, r.li, r.ri, r.tabs);
    const int oldNumbering = r.numbering;
    change(r);
    QTextBlockFormat bf = b.blockFormat();
    static const Qt::Alignment kAlign[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter, Qt::AlignJustify};
    bf.setAlignment(kAlign[std::clamp(r.align, 0, 3)]);
    SetBlockIndents(bf, r.fi, r.li, r.ri, r.numbering != nbNone);
    QList<QTextOption::Tab> tabs;
    for (int t : r.tabs) tabs.append(QTextOption::Tab(t / KVTwipsPerPixel, QTextOption::LeftTab));
    bf.setTabPositions(tabs);
    c.setPosition(b.position());
    if (numbering && r.numbering != oldNumbering) {
      if (QTextList* old = b.textList()) old->remove(b);
      bf.setObjectIndex(-1);
      bf.clearProperty(QTextFormat::ObjectIndex);
    }
    c.setBlockFormat(bf);
    if (numbering && r.numbering != nbNone && NumberingOf(b.textList()) != r.numbering) {
      if (!list) {
        // Join the list just before when it numbers the same way.
        const QTextBlock prev = b.previous();
        if (prev.isValid() && prev.textList() && NumberingOf(prev.textList()) == r.numbering) list = prev.textList();
      }
      if (list) list->add(b);
      else list = c.createList(ListFormat(r.numbering));
    }
    if (b == last) break;
  }
  c.endEditBlock();
}

int TKVParaAttributes::Alignment() const { return Read().align; }
void TKVParaAttributes::SetAlignment(int value) {
  Write([&](Record& r) { r.align = std::clamp(value, 0, 3); });
}

int TKVParaAttributes::Numbering() const { return Read().numbering; }
void TKVParaAttributes::SetNumbering(int value) {
  value = std::clamp(value, 0, int(nbUpperRoman));
  if (value == nbNone) SetLeftIndent(0);
  else if (LeftIndent() < 10) SetLeftIndent(10);
  Write([&](Record& r) { r.numbering = value; }, true);
}

// FirstIndent is the first line's indent (\li + \fi); LeftIndent the following lines' indent
// relative to it (-\fi).
int TKVParaAttributes::FirstIndent() const {
  const Record r = Read();
  return (r.li + r.fi) / 20;
}
void TKVParaAttributes::SetFirstIndent(int value) {
  Write([&](Record& r) {
    const int offset = -r.fi;
    r.li = value * 20 + offset;
  });
}

int TKVParaAttributes::LeftIndent() const { return -Read().fi / 20; }
void TKVParaAttributes::SetLeftIndent(int value) {
  Write([&](Record& r) {
    const int start = r.li + r.fi;
    r.fi = -value * 20;
    r.li = start + value * 20;
  });
}

int TKVParaAttributes::RightIndent() const { return Read().ri / 20; }
void TKVParaAttributes::SetRightIndent(int value) {
  Write([&](Record& r) { r.ri = value * 20; });
}

int TKVParaAttributes::Tab(int index) const {
  const Record r = Read();
  return index >= 0 && size_t(index) < r.tabs.size() ? r.tabs[size_t(index)] / 20 : 0;
}
void TKVParaAttributes::SetTab(int index, int value) {
  if (index < 0 || index > 31) return;
  Write([&](Record& r) {
    if (size_t(index) >= r.tabs.size()) r.tabs.resize(size_t(index) + 1, 0);
    r.tabs[size_t(index)] = value * 20;
  });
}

int TKVParaAttributes::TabCount() const { return int(Read().tabs.size()); }

void TKVParaAttributes::Assign(const TPersistent& source) {
  if (source.InheritsFrom(TKVParaAttributes::StaticClass())) {
    const Record src = static_cast<const TKVParaAttributes&>(source).Read();
    Write([&](Record& r) { r = src; }, true);
    return;
  }
  TPersistent::Assign(source);
}

// =============================================================================================
// Streaming

qint64 TConversion::ConvertReadStream(QIODevice& stream, char* buffer, qint64 count) {
  return stream.read(buffer, count);
}

qint64 TConversion::ConvertWriteStream(QIODevice& stream, const char* buffer, qint64 count) {
  return stream.write(buffer, count);
}

void RegisterConversionFormat(const QString& extension, TConversionClass conversion, bool plainText) {
  auto& list = ConversionFormats();
  list.insert(list.begin(), ConversionFormat{extension.toLower(), std::move(conversion), plainText});
}

std::vector<TRichEditStrings::Range> TRichEditStrings::Ranges() const {
  std::vector<Range> r;
  for (QTextBlock b = owner_->document()->begin(); b.isValid(); b = b.next()) {
    const QString text = b.text();
    int start = 0;
    for (int i = 0; i < text.size(); ++i)
      if (text[i].unicode() == 0x2028) {
        r.push_back({b.position() + start, i - start});
        start = i + 1;
      }
    r.push_back({b.position() + start, int(text.size()) - start});
  }
  return r;
}

int TRichEditStrings::Count() const {
  const auto r = Ranges();
  int n = int(r.size());
  if (n > 0 && r.back().length == 0) --n;
  return n;
}

QString TRichEditStrings::Get(int index) const {
  const auto r = Ranges();
  if (index < 0 || size_t(index) >= r.size()) return {};
  return owner_->GetTextRange(r[size_t(index)].start, r[size_t(index)].start + r[size_t(index)].length);
}

void TRichEditStrings::Put(int index, const QString& s) {
  const auto r = Ranges();
  if (index < 0 || size_t(index) >= r.size()) return;
  QTextCursor c = owner_->RangeCursor(r[size_t(index)].start, r[size_t(index)].start + r[size_t(index)].length);
  c.insertText(KVDocumentReady(s));
}

void TRichEditStrings::Insert(int index, const QString& s) {
  if (index < 0) return;
  const auto r = Ranges();
  QTextCursor c(owner_->document());
  c.beginEditBlock();
  if (size_t(index) < r.size()) {
    c.setPosition(r[size_t(index)].start);
    c.insertText(KVDocumentReady(s));
    c.insertBlock();
  } else {
    const size_t prev = size_t(index) - 1;
    if (index == 0 || prev >= r.size() || r[prev].length == 0) {
      c.endEditBlock();
      return;
    }
    c.setPosition(r[prev].start + r[prev].length);
    c.insertBlock();
    c.insertText(KVDocumentReady(s));
  }
  c.endEditBlock();
}

void TRichEditStrings::Delete(int index) {
  const auto r = Ranges();
  if (index < 0 || size_t(index) >= r.size()) return;
  const int start = r[size_t(index)].start;
  const int end = size_t(index) + 1 < r.size() ? r[size_t(index) + 1].start : start + r[size_t(index)].length;
  QTextCursor c = owner_->RangeCursor(start, end);
  c.removeSelectedText();
}

void TRichEditStrings::Clear() { owner_->Clear(); }

QStringList TRichEditStrings::Strings() const {
  QStringList out;
  const int n = Count();
  for (int i = 0; i < n; ++i) out << Get(i);
  return out;
}

QString TRichEditStrings::Text() const {
  QString out;
  for (const QString& line : Strings()) out += line + QLatin1String("\r\n");
  return out;
}

void TRichEditStrings::SetText(const QString& text) {
  QStringList lines = KVDocumentReady(text).split(QLatin1Char('\n'));
  if (!text.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  Assign(lines);
}

void TRichEditStrings::Assign(const QStringList& strings) {
  const bool blocked = owner_->signalsBlocked();
  owner_->blockSignals(true);
  owner_->Clear();
  AddStrings(strings);
  owner_->blockSignals(blocked);
  if (!blocked) emit owner_->textChanged();
}

void TRichEditStrings::AddStrings(const QStringList& strings) {
  auto saved = owner_->OnSelectionChange;
  owner_->OnSelectionChange.Clear();
  for (const QString& s : strings) Add(s);
  owner_->OnSelectionChange = saved;
}

void TRichEditStrings::BeginUpdate() {
  if (updating_++ == 0) owner_->viewport()->setUpdatesEnabled(false);
}

void TRichEditStrings::EndUpdate() {
  if (updating_ == 0 || --updating_ > 0) return;
  owner_->viewport()->setUpdatesEnabled(true);
  owner_->viewport()->update();
  owner_->OnChange(owner_);
}

bool TRichEditStrings::RichFormat() const {
  return StreamFormat == sfRichText || (StreamFormat == sfDefault && !owner_->PlainText());
}

void TRichEditStrings::LoadFromStream(QIODevice& stream) {
  std::unique_ptr<TConversion> temporary;
  TConversion* conv = converter_.get();
  if (!conv) {
    temporary = std::make_unique<TConversion>();
    conv = temporary.get();
  }
  QByteArray raw;
  QByteArray buffer(chunk_, '\0');
  for (;;) {
    const qint64 n = conv->ConvertReadStream(stream, buffer.data(), chunk_);
    if (n < 0) throw EOutOfResources(QStringLiteral("Failed to Load Stream"));
    if (n == 0) break;
    raw.append(buffer.constData(), n);
  }
  const bool unicode = StreamMode & smUnicode;
  if (StreamMode & smSelection) {
    // RTF that is none goes in again as plain text, as the control does after a failed stream-in.
    if (!RichFormat() || !owner_->LoadRich(raw, true)) owner_->LoadPlain(KVStreamPlainText(raw, unicode), true);
    return;
  }
  owner_->rich_.Load(raw, RichFormat(), unicode);
  owner_->SetSelection(0, 0, true);
}

void TRichEditStrings::SaveToStream(QIODevice& stream) {
  QTextDocument* doc = owner_->document();
  const bool selection = StreamMode & smSelection;
  const int from = selection ? owner_->SelStart() : 0;
  const int to = selection ? owner_->SelStart() + owner_->SelLength() : -1;
  QByteArray data;
  if (RichFormat()) {
    data = KVWriteRtf(*doc, from, to, StreamMode & smNoObjects);
  } else {
    QString text = KVDocumentText(*doc, from, to);
    text.remove(QChar(QChar::ObjectReplacementCharacter));
    text.replace(QLatin1Char('\v'), QLatin1Char('\r'));
    text.replace(QLatin1Char('\r'), QLatin1String("\r\n"));
    if (StreamMode & smUnicode) data = QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    else data = text.toUtf8();
  }
  std::unique_ptr<TConversion> temporary;
  TConversion* conv = converter_.get();
  if (!conv) {
    temporary = std::make_unique<TConversion>();
    conv = temporary.get();
  }
  if (conv->ConvertWriteStream(stream, data.constData(), data.size()) != data.size())
    throw EOutOfResources(QStringLiteral("Failed to Save Stream"));
}

namespace {
// Chooses the conversion of a file's extension for one load or save and puts the stream format
// back afterwards.
struct TFileFormatScope {
  TRichEditStrings* s;
  TStreamFormat saved;
  ~TFileFormatScope() { s->StreamFormat = saved; }
};
}  // namespace

void TRichEditStrings::UseFileConversion(const QString& fileName) {
  const QString ext = QFileInfo(fileName).suffix().toLower();
  for (const ConversionFormat& f : ConversionFormats())
    if (f.extension == ext) {
      if (!converter_) converter_ = f.make();
      StreamFormat = f.plain ? sfPlainText : sfRichText;
      break;
    }
}

void TRichEditStrings::LoadFromFile(const QString& fileName) {
  TFileFormatScope restore{this, StreamFormat};
  UseFileConversion(fileName);
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
  LoadFromStream(file);
}

void TRichEditStrings::SaveToFile(const QString& fileName) {
  TFileFormatScope restore{this, StreamFormat};
  UseFileConversion(fileName);
  SafeSaveFile(fileName, [this](QIODevice& file) { SaveToStream(file); });
}

// =============================================================================================
// The editor

TKVCustomRichEdit::TKVCustomRichEdit(QWidget* parent) : QTextEdit(parent) {
  // The document drawn and printed marks links itself; this one marks them on the screen.
  links_ = new LinkHighlighter(document());
  resize(185, 89);
  setTabChangesFocus(!wantTabs_);
  setViewportMargins(kSelectionBarWidth, 0, 0, 0);
  SetFont(font_);
  UpdatePalette();
  UpdateScrollBars();
  connect(this, &QTextEdit::textChanged, this, [this] { OnChange(this); });
  connect(this, &QTextEdit::cursorPositionChanged, this, [this] { SelectionChanged(); });
  connect(this, &QTextEdit::selectionChanged, this, [this] { SelectionChanged(); });
  connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
          [this](const QSizeF& size) {
            OnResizeRequest(this, Rect(0, 0, viewport()->width(), int(std::ceil(size.height()))));
          });
}

TKVCustomRichEdit::~TKVCustomRichEdit() {
  // The clipboard may still hold what this control put there; the handler decides whether it stays.
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (ownClipboard_ && clipboard && clipboard->mimeData() == ownClipboard_ && OnSaveClipboard) {
    const QString text = clipboard->mimeData()->text();
    bool save = true;
    OnSaveClipboard(this, int(text.count(QChar(QChar::ObjectReplacementCharacter))), int(text.size()), save);
    if (!save) clipboard->clear();
  }
}

// ---- properties

void TKVCustomRichEdit::SetAutoURLDetect(bool on) {
  if (on == rich_.MarkLinks()) return;
  rich_.SetMarkLinks(on);
  delete links_;
  links_ = on ? new LinkHighlighter(document()) : nullptr;
}

void TKVCustomRichEdit::SetHideSelection(bool on) {
  hideSelection_ = on;
  UpdatePalette();
}

void TKVCustomRichEdit::SetHideScrollBars(bool on) {
  hideScrollBars_ = on;
  UpdateScrollBars();
}

void TKVCustomRichEdit::SetSelectionBar(bool on) {
  selectionBar_ = on;
  setViewportMargins(on ? kSelectionBarWidth : 0, 0, 0, 0);
}

void TKVCustomRichEdit::SetScrollBars(TScrollStyle style) {
  scrollBars_ = style;
  UpdateScrollBars();
}

void TKVCustomRichEdit::SetPlainText(bool on) {
  if (on == rich_.PlainText()) return;
  if (on) {
    const QString text = KVDocumentText(*document());
    rich_.SetPlainText(true);
    LoadPlain(text, false);
  }
  rich_.SetPlainText(on);
  setAcceptRichText(!on);
}

void TKVCustomRichEdit::SetUndoLimit(int limit) {
  undoLimit_ = std::max(0, limit);
  document()->setUndoRedoEnabled(undoLimit_ > 0);
}

void TKVCustomRichEdit::SetWantTabs(bool on) {
  wantTabs_ = on;
  setTabChangesFocus(!on);
}

void TKVCustomRichEdit::SetWordWrap(bool on) {
  wordWrap_ = on;
  setLineWrapMode(on ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
  UpdateScrollBars();
}

void TKVCustomRichEdit::SetReadOnly(bool on) {
  setReadOnly(on);
  if (on) setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void TKVCustomRichEdit::SetColor(TColor color) {
  rich_.SetColor(color);
  UpdatePalette();
}

void TKVCustomRichEdit::SetFont(const TFont& font) {
  font_.Assign(font);
  defAttributes_.Assign(font_);
}

bool TKVCustomRichEdit::Modified() const { return document()->isModified(); }
void TKVCustomRichEdit::SetModified(bool on) { document()->setModified(on); }

void TKVCustomRichEdit::UpdatePalette() {
  QPalette p = palette();
  const QColor base = ToQColor(rich_.Color());
  const QColor text = ToQColor(rich_.DefaultColor());
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(g, QPalette::Base, base);
    p.setColor(g, QPalette::Text, text);
  }
  if (hideSelection_) {
    p.setColor(QPalette::Inactive, QPalette::Highlight, base);
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, text);
  } else {
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText, p.color(QPalette::Active, QPalette::HighlightedText));
  }
  setPalette(p);
}

void TKVCustomRichEdit::UpdateScrollBars() {
  const Qt::ScrollBarPolicy shown = hideScrollBars_ ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOn;
  setVerticalScrollBarPolicy(scrollBars_ == ssVertical || scrollBars_ == ssBoth ? shown : Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy((scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) && !wordWrap_
                                   ? shown
                                   : Qt::ScrollBarAlwaysOff);
}

// ---- formats

QTextCharFormat TKVCustomRichEdit::DefaultFormat() const { return rich_.DefaultFormat(); }

void TKVCustomRichEdit::SetDefaultFormat(const QTextCharFormat& f) {
  // The control's own font first: it hands its font to the document, which then gets its own.
  const QFont font = rich_.DefaultFontOf(f);
  QWidget::setFont(font);
  rich_.SetDefaultFont(font, f);
  UpdatePalette();
}

QTextCursor TKVCustomRichEdit::RangeCursor(int start, int end) const {
  const int len = GetTextLen();
  QTextCursor c(document());
  c.setPosition(std::clamp(start, 0, len));
  c.setPosition(std::clamp(end, 0, len), QTextCursor::KeepAnchor);
  return c;
}

// Changes the runs of Start..End one by one, each keeping what the change leaves alone.
static void EditRuns(QTextDocument* doc, int start, int end, const std::function<void(QTextCharFormat&)>& fn) {
  struct Run {
    int start, end;
    QTextCharFormat format;
  };
  std::vector<Run> runs;
  for (QTextBlock b = doc->findBlock(start); b.isValid() && b.position() < end; b = b.next())
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment fr = it.fragment();
      const int s = std::max(fr.position(), start), e = std::min(fr.position() + fr.length(), end);
      if (s < e) runs.push_back({s, e, fr.charFormat()});
    }
  QTextCursor c(doc);
  c.beginEditBlock();
  for (Run& r : runs) {
    fn(r.format);
    c.setPosition(r.start);
    c.setPosition(r.end, QTextCursor::KeepAnchor);
    c.setCharFormat(r.format);
  }
  c.endEditBlock();
}

void TKVCustomRichEdit::ChangeFormat(int type, const std::function<void(QTextCharFormat&)>& fn) {
  if (type == atDefaultText) {
    QTextCharFormat f = DefaultFormat();
    fn(f);
    SetDefaultFormat(f);
    return;
  }
  QTextCursor c = textCursor();
  if (type == atWord && !c.hasSelection()) c.select(QTextCursor::WordUnderCursor);
  if (c.hasSelection()) {
    EditRuns(document(), c.selectionStart(), c.selectionEnd(), fn);
    return;
  }
  QTextCharFormat f = currentCharFormat();
  fn(f);
  setCurrentCharFormat(f);
}

// ---- text and selection

int TKVCustomRichEdit::GetTextLen() const { return rich_.TextLength(); }

int TKVCustomRichEdit::SelStart() const { return textCursor().selectionStart(); }

void TKVCustomRichEdit::SetSelStart(int start) {
  const int h = horizontalScrollBar()->value(), v = verticalScrollBar()->value();
  QTextCursor c = textCursor();
  c.setPosition(std::clamp(start, 0, GetTextLen()));
  setTextCursor(c);
  horizontalScrollBar()->setValue(h);
  verticalScrollBar()->setValue(v);
}

int TKVCustomRichEdit::SelLength() const {
  const QTextCursor c = textCursor();
  return c.selectionEnd() - c.selectionStart();
}

void TKVCustomRichEdit::SetSelLength(int length) {
  const int start = SelStart();
  SetSelection(start, start + std::max(0, length), true);
}

QString TKVCustomRichEdit::SelText() const {
  const QTextCursor c = textCursor();
  return KVDocumentText(*document(), c.selectionStart(), c.selectionEnd());
}

void TKVCustomRichEdit::ReplaceSelection(const std::function<void(QTextCursor&)>& insert) {
  QTextCursor c = textCursor();
  const int start = c.selectionStart();
  c.beginEditBlock();
  insert(c);
  c.endEditBlock();
  const int end = c.position();
  c.setPosition(start);
  c.setPosition(end, QTextCursor::KeepAnchor);
  setTextCursor(c);
  ensureCursorVisible();
}

void TKVCustomRichEdit::SetSelText(const QString& text) {
  const QString ready = KVDocumentReady(text);
  ReplaceSelection([&](QTextCursor& c) { c.insertText(ready); });
}

void TKVCustomRichEdit::SetSelection(int start, int end, bool scrollCaret) {
  const int len = GetTextLen();
  if (end < 0) end = len;
  QTextCursor c = textCursor();
  c.setPosition(std::clamp(start, 0, len));
  c.setPosition(std::clamp(end, 0, len), QTextCursor::KeepAnchor);
  const int h = horizontalScrollBar()->value(), v = verticalScrollBar()->value();
  setTextCursor(c);
  if (scrollCaret) {
    ensureCursorVisible();
  } else {
    horizontalScrollBar()->setValue(h);
    verticalScrollBar()->setValue(v);
  }
}

std::uint32_t TKVCustomRichEdit::SelectionType() const {
  const QTextCursor c = textCursor();
  const int s = c.selectionStart(), e = c.selectionEnd();
  if (s == e) return 0;
  int objects = 0;
  for (QTextBlock b = document()->findBlock(s); b.isValid() && b.position() < e; b = b.next())
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment fr = it.fragment();
      if (!KVIsPicture(fr.charFormat())) continue;
      objects += std::max(0, std::min(fr.position() + fr.length(), e) - std::max(fr.position(), s));
    }
  const int chars = e - s - objects;
  std::uint32_t t = 0;
  if (chars > 0) t |= stText;
  if (chars > 1) t |= stMultiChar;
  if (objects == 1) t |= stObject;
  if (objects > 1) t |= stMultiObject;
  return t;
}

QString TKVCustomRichEdit::GetTextRange(int start, int end) const {
  if (end < start) return {};
  return KVDocumentText(*document(), start, end);
}

namespace {

// Starts of the visual lines as laid out; a paragraph not laid out counts as one line.
std::vector<int> LineStarts(const QTextDocument* doc) {
  std::vector<int> starts;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    const QTextLayout* tl = b.layout();
    if (!tl || tl->lineCount() == 0) {
      starts.push_back(b.position());
      continue;
    }
    for (int i = 0; i < tl->lineCount(); ++i) starts.push_back(b.position() + tl->lineAt(i).textStart());
  }
  return starts;
}

}  // namespace

int TKVCustomRichEdit::LineFromChar(int charIndex) const {
  if (charIndex < 0) charIndex = SelStart();
  const auto starts = LineStarts(document());
  const auto it = std::upper_bound(starts.begin(), starts.end(), charIndex);
  return std::max(0, int(it - starts.begin()) - 1);
}

int TKVCustomRichEdit::LineIndex(int line) const {
  if (line < 0) line = LineFromChar(-1);
  const auto starts = LineStarts(document());
  return size_t(line) < starts.size() ? starts[size_t(line)] : -1;
}

int TKVCustomRichEdit::LineLength(int charIndex) const {
  const int line = LineFromChar(charIndex);
  const auto starts = LineStarts(document());
  const int start = starts[size_t(line)];
  const QTextBlock b = document()->findBlock(start);
  int end = b.position() + b.length() - 1;
  if (size_t(line) + 1 < starts.size()) end = std::min(end, starts[size_t(line) + 1]);
  return std::max(0, end - start);
}

int TKVCustomRichEdit::LineCount() const { return int(LineStarts(document()).size()); }

TPoint TKVCustomRichEdit::CaretPos() const {
  const int start = SelStart();
  const int line = LineFromChar(start);
  return TPoint{start - LineIndex(line), line};
}

QString TKVCustomRichEdit::GetLineText(int index) const {
  if (index < 0) return {};
  std::unique_ptr<QTextDocument> copy(document()->clone());
  KVPrepareDocument(*copy);
  copy->setTextWidth(wordWrap_ ? viewport()->width() : -1);
  int n = 0;
  for (QTextBlock b = copy->begin(); b.isValid(); b = b.next()) {
    copy->documentLayout()->blockBoundingRect(b);
    const QTextLayout* tl = b.layout();
    for (int i = 0; i < tl->lineCount(); ++i, ++n)
      if (n == index) {
        const QTextLine line = tl->lineAt(i);
        QString text = b.text().mid(line.textStart(), line.textLength());
        for (QChar& c : text)
          if (c.unicode() == 0x2028) c = QLatin1Char('\v');
        return text;
      }
  }
  return {};
}

bool TKVCustomRichEdit::CanPaste() const {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  return clipboard && canInsertFromMimeData(clipboard->mimeData());
}

void TKVCustomRichEdit::ClearUndo() { document()->clearUndoRedoStacks(); }

void TKVCustomRichEdit::Clear() {
  CloseObjects();
  QTextEdit::clear();
  KVPrepareDocument(*document());
  SetModified(false);
}

void TKVCustomRichEdit::SelectionChanged() {
  const QTextCursor c = textCursor();
  if (c.selectionStart() == lastSelStart_ && c.selectionEnd() == lastSelEnd_) return;
  lastSelStart_ = c.selectionStart();
  lastSelEnd_ = c.selectionEnd();
  OnSelectionChange(this);
}

// ---- loading

void TKVCustomRichEdit::LoadPlain(const QString& text, bool selectionOnly) {
  if (!selectionOnly) return rich_.LoadPlain(text);
  const QString ready = KVDocumentReady(text);
  ReplaceSelection([&](QTextCursor& c) { c.insertText(ready); });
}

bool TKVCustomRichEdit::LoadRich(QByteArrayView data, bool selectionOnly) {
  if (!selectionOnly) return rich_.LoadRich(data);
  if (!KVIsRtf(data)) return false;
  QTextDocument tmp;
  if (PlainText()) {
    KVReadRtf(data, tmp);
    LoadPlain(KVDocumentText(tmp), true);
    return true;
  }
  tmp.setDefaultFont(document()->defaultFont());
  KVReadRtf(data, tmp);
  const QTextDocumentFragment fragment(&tmp);
  ReplaceSelection([&](QTextCursor& c) { c.insertFragment(fragment); });
  return true;
}

// ---- rendering and printing

int TKVCustomRichEdit::FormatRange(TKVFormatRange* range, bool render) { return rich_.FormatRange(range, render); }

bool TKVCustomRichEdit::RenderToPainter(QPainter& painter, const QRect& area, int leftMargin, int topMargin,
                                        int rightMargin, int bottomMargin, int* usedHeight) {
  const QSize size(area.width() > 0 ? area.width() : viewport()->width(),
                   area.height() > 0 ? area.height() : viewport()->height());
  return rich_.RenderToPainter(painter, QRect(area.topLeft(), size), leftMargin, topMargin, rightMargin, bottomMargin,
                               usedHeight);
}

bool TKVCustomRichEdit::RenderToBitmap(QImage& bitmap, int width, int height, int leftMargin, int topMargin,
                                       int rightMargin, int bottomMargin, int pixelsPerInch) {
  if (width <= 0) width = viewport()->width();
  if (height <= 0) height = viewport()->height();
  return rich_.RenderToBitmap(bitmap, width, height, leftMargin, topMargin, rightMargin, bottomMargin, pixelsPerInch);
}

bool TKVCustomRichEdit::RenderToBitmap(TKVBitmap& bitmap, int width, int height, int leftMargin, int topMargin,
                                       int rightMargin, int bottomMargin, int pixelsPerInch) {
  if (width <= 0) width = viewport()->width();
  if (height <= 0) height = viewport()->height();
  return rich_.RenderToBitmap(bitmap, width, height, leftMargin, topMargin, rightMargin, bottomMargin, pixelsPerInch);
}

void TKVCustomRichEdit::Print(const QString& caption, QPagedPaintDevice& device) { rich_.Print(caption, device, PageRect); }

// ---- search and style commands

int TKVCustomRichEdit::FindText(const QString& searchStr, int startPos, int length, TKVSearchTypes options) {
  if (searchStr.isEmpty()) return -1;
  const QString text = KVDocumentText(*document());
  const qint64 len = text.size();
  const qint64 lo = std::clamp<qint64>(startPos, 0, len);
  const qint64 hi = std::clamp<qint64>(qint64(startPos) + std::abs(qint64(length)), lo, len);
  const Qt::CaseSensitivity cs = options & stMatchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
  const qint64 n = searchStr.size();
  auto wordChar = [&](qint64 i) {
    return i >= 0 && i < len && (text[i].isLetterOrNumber() || text[i] == QLatin1Char('_'));
  };
  auto accept = [&](qint64 p) {
    return !(options & stWholeWord) || (!wordChar(p - 1) && !wordChar(p + n));
  };
  qint64 found = -1;
  if (hi - lo < n) {
    // The range is shorter than what is sought.
  } else if (options & stBackwards) {
    for (qint64 p = text.lastIndexOf(searchStr, hi - n, cs); p >= lo; p = p > 0 ? text.lastIndexOf(searchStr, p - 1, cs) : -1)
      if (p + n <= hi && accept(p)) {
        found = p;
        break;
      }
  } else {
    for (qint64 p = text.indexOf(searchStr, lo, cs); p >= 0 && p + n <= hi; p = text.indexOf(searchStr, p + 1, cs))
      if (accept(p)) {
        found = p;
        break;
      }
  }
  if (found >= 0 && (options & stSelect)) SetSelection(int(found), int(found + n), true);
  return int(found);
}

void TKVCustomRichEdit::ToggleStyle(TFontStyle style) {
  // Decided once, from the first character: set everywhere, or taken away everywhere.
  const bool on = !(selAttributes_.Style() & FontStyle(style));
  ChangeFormat(atSelected, [&](QTextCharFormat& f) {
    switch (style) {
      case fsBold: f.setFontWeight(on ? QFont::Bold : QFont::Normal); break;
      case fsItalic: f.setFontItalic(on); break;
      case fsUnderline:
        // The toolbar's underline is the single one, on or off.
        f.setFontUnderline(on);
        f.clearProperty(kvpUnderlineKind);
        break;
      case fsStrikeOut: f.setFontStrikeOut(on); break;
    }
  });
}

void TKVCustomRichEdit::SizeRuns(int delta) {
  const double fallback = DefaultFormat().fontPointSize();
  ChangeFormat(atSelected, [&](QTextCharFormat& f) {
    const double pt = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : fallback;
    const int size = int(std::nearbyint(pt * 20)) / 20;
    if ((delta > 0 && size < 72) || (delta < 0 && size > 6)) f.setFontPointSize(size + delta);
  });
}

void TKVCustomRichEdit::IncFontSize() { SizeRuns(+1); }
void TKVCustomRichEdit::DecFontSize() { SizeRuns(-1); }

// ---- protection, limits and links

bool TKVCustomRichEdit::ProtectChange(const TKVEditRequest& request, int startPos, int endPos) {
  bool touched = false;
  const int len = GetTextLen();
  auto protectedAt = [&](int p) {
    return p >= 0 && p < len && RangeCursor(p, p + 1).charFormat().boolProperty(kvpProtected);
  };
  if (startPos == endPos) {
    touched = protectedAt(startPos - 1) && protectedAt(startPos);
  } else {
    for (QTextBlock b = document()->findBlock(startPos); b.isValid() && b.position() < endPos && !touched; b = b.next())
      for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment fr = it.fragment();
        if (fr.position() < endPos && fr.position() + fr.length() > startPos && fr.charFormat().boolProperty(kvpProtected)) {
          touched = true;
          break;
        }
      }
  }
  if (!touched) return true;
  bool allow = false;
  if (OnProtectChangeEx) OnProtectChangeEx(this, request, startPos, endPos, allow);
  else OnProtectChange(this, startPos, endPos, allow);
  return allow;
}

bool TKVCustomRichEdit::EditAllowed(const TKVEditRequest& request, int start, int end) {
  return ProtectChange(request, start, end);
}

bool TKVCustomRichEdit::InsertAllowed(int count) const {
  const int limit = maxLength_ > 0 ? maxLength_ : kDefaultMaxLength;
  return GetTextLen() - SelLength() + count <= limit;
}

TKVCustomRichEdit::TLink TKVCustomRichEdit::LinkAt(int position) const {
  TLink link;
  const int len = GetTextLen();
  if (position < 0 || position >= len) return link;
  const QTextCharFormat f = RangeCursor(position, position + 1).charFormat();
  if (f.isAnchor() && !f.anchorHref().isEmpty()) {
    const QString href = f.anchorHref();
    int s = position, e = position + 1;
    while (s > 0 && RangeCursor(s - 1, s).charFormat().anchorHref() == href) --s;
    while (e < len && RangeCursor(e, e + 1).charFormat().anchorHref() == href) ++e;
    return TLink{s, e, href};
  }
  if (!rich_.MarkLinks()) return link;
  const QTextBlock b = document()->findBlock(position);
  for (const TKVLinkRange& r : KVFindLinks(b.text())) {
    const int s = b.position() + r.Start;
    if (position >= s && position < s + r.Length) return TLink{s, s + r.Length, b.text().mid(r.Start, r.Length)};
  }
  return link;
}

namespace {

// The character under a point of the viewport, -1 when the point is beside the text.
int CharAtPoint(const QTextEdit* edit, const QPoint& pt) {
  QTextCursor c = edit->cursorForPosition(pt);
  const QRect at = edit->cursorRect(c);
  int ch = pt.x() >= at.x() ? c.position() : c.position() - 1;
  if (ch < 0) return -1;
  QTextCursor a(edit->document()), b(edit->document());
  a.setPosition(ch);
  if (ch + 1 > edit->document()->characterCount() - 1) return -1;
  b.setPosition(ch + 1);
  const QRect ra = edit->cursorRect(a), rb = edit->cursorRect(b);
  if (ra.top() != rb.top() || pt.x() < ra.x() || pt.x() >= rb.x() || pt.y() < ra.top() || pt.y() > ra.bottom())
    return -1;
  return ch;
}

}  // namespace

// ---- events

bool TKVCustomRichEdit::event(QEvent* e) {
  // Clicks in the selection bar (outside the viewport) select lines and paragraphs.
  if (selectionBar_ && (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick)) {
    auto* me = static_cast<QMouseEvent*>(e);
    const QPoint vp = viewport()->mapFrom(this, me->position().toPoint());
    if (me->button() == Qt::LeftButton && vp.x() < 0 && vp.y() >= 0 && vp.y() < viewport()->height()) {
      QTextCursor c = cursorForPosition(QPoint(0, vp.y()));
      if (e->type() == QEvent::MouseButtonDblClick) {
        c.movePosition(QTextCursor::StartOfBlock);
        c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
      } else {
        c.movePosition(QTextCursor::StartOfLine);
        c.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
      }
      setTextCursor(c);
      return true;
    }
  }
  return QTextEdit::event(e);
}

std::optional<TFontStyle> StyleKeyOf(const QKeyEvent& e) {
  if ((e.modifiers() & ~Qt::KeypadModifier) != Qt::ControlModifier) return std::nullopt;
  switch (e.key()) {
    case Qt::Key_B: return fsBold;
    case Qt::Key_I: return fsItalic;
    case Qt::Key_U: return fsUnderline;
    default: return std::nullopt;
  }
}

void TKVCustomRichEdit::keyPressEvent(QKeyEvent* e) {
  // The text control has no style keys of its own.
  if (const std::optional<TFontStyle> style = StyleKeyOf(*e)) {
    if (!isReadOnly()) {
      ToggleStyle(*style);
      // The typing style may have changed without any text: toolbars look again.
      OnSelectionChange(this);
    }
    return;
  }
  if (isReadOnly()) {
    QTextEdit::keyPressEvent(e);
    return;
  }
  const QTextCursor c = textCursor();
  const int s = c.selectionStart(), end = c.selectionEnd();
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !wantReturns_) {
    e->ignore();
    return;
  }
  if (e == QKeySequence::Cut && s != end && !EditAllowed({TKVEditRequest::Cut, {}}, s, end)) return;
  if (e == QKeySequence::Paste) {
    QTextEdit::keyPressEvent(e);  // insertFromMimeData checks
    return;
  }
  const bool ctrl = e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete) {
    int from = s, to = end;
    if (s == end) {
      if (e->key() == Qt::Key_Backspace) from = std::max(0, s - 1);
      else to = std::min(GetTextLen(), s + 1);
    }
    if (from < to && !EditAllowed({TKVEditRequest::Delete, {}}, from, to)) return;
  } else {
    QString text = e->text();
    const bool breaks = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (breaks) text = QStringLiteral("\r");
    if (!ctrl && !text.isEmpty() && (breaks || text[0].isPrint() || text[0] == QLatin1Char('\t'))) {
      if (!EditAllowed({TKVEditRequest::Typing, text}, s, end)) return;
      if (!InsertAllowed(int(text.size()))) {
        QApplication::beep();
        return;
      }
    }
  }
  QTextEdit::keyPressEvent(e);
}

void TKVCustomRichEdit::inputMethodEvent(QInputMethodEvent* e) {
  if (!isReadOnly() && !e->commitString().isEmpty()) {
    const QTextCursor c = textCursor();
    if (!EditAllowed({TKVEditRequest::Typing, e->commitString()}, c.selectionStart(), c.selectionEnd()) ||
        !InsertAllowed(int(e->commitString().size()))) {
      e->ignore();
      return;
    }
  }
  QTextEdit::inputMethodEvent(e);
}

void TKVCustomRichEdit::mousePressEvent(QMouseEvent* e) {
  pressedLink_ = TLink{};
  if (e->button() == Qt::LeftButton) {
    const int ch = CharAtPoint(this, e->position().toPoint());
    if (ch >= 0) pressedLink_ = LinkAt(ch);
  }
  QTextEdit::mousePressEvent(e);
}

void TKVCustomRichEdit::mouseMoveEvent(QMouseEvent* e) {
  QTextEdit::mouseMoveEvent(e);
  const int ch = CharAtPoint(this, e->position().toPoint());
  viewport()->setCursor(ch >= 0 && LinkAt(ch).start >= 0 ? Qt::PointingHandCursor : Qt::IBeamCursor);
}

void TKVCustomRichEdit::mouseReleaseEvent(QMouseEvent* e) {
  QTextEdit::mouseReleaseEvent(e);
  if (e->button() != Qt::LeftButton || pressedLink_.start < 0) return;
  const TLink pressed = pressedLink_;
  pressedLink_ = TLink{};
  const int ch = CharAtPoint(this, e->position().toPoint());
  const TLink released = ch >= 0 ? LinkAt(ch) : TLink{};
  if (released.start == pressed.start && released.end == pressed.end) OnURLClick(this, pressed.target, Qt::LeftButton);
}

void TKVCustomRichEdit::contextMenuEvent(QContextMenuEvent* e) {
  QMenu* menu = VerbMenu();
  if (menu) menu->exec(e->globalPos());
}

QMimeData* TKVCustomRichEdit::createMimeDataFromSelection() const {
  const QTextCursor c = textCursor();
  auto* data = new QMimeData;
  if (!PlainText()) data->setData(QLatin1String(KVMimeRtf), KVWriteRtf(*document(), c.selectionStart(), c.selectionEnd()));
  QString text = KVDocumentText(*document(), c.selectionStart(), c.selectionEnd());
  text.remove(QChar(QChar::ObjectReplacementCharacter));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  text.replace(QLatin1Char('\v'), QLatin1Char('\n'));
  data->setText(text);
  const_cast<TKVCustomRichEdit*>(this)->ownClipboard_ = data;
  return data;
}

bool TKVCustomRichEdit::canInsertFromMimeData(const QMimeData* source) const {
  if (!source) return false;
  if (!PlainText() && KVMimeHasRtf(source)) return true;
  if (!PlainText() && allowObjects_ && source->hasImage()) return true;
  return source->hasText();
}

void TKVCustomRichEdit::insertFromMimeData(const QMimeData* source) {
  if (!source || isReadOnly()) return;
  for (TKVPasteFormat f : {TKVPasteFormat::RichText, TKVPasteFormat::Picture, TKVPasteFormat::PlainText}) {
    bool offered = false;
    switch (f) {
      case TKVPasteFormat::RichText: offered = !PlainText() && KVMimeHasRtf(source) && KVIsRtf(KVMimeRtfData(source)); break;
      case TKVPasteFormat::Picture: offered = !PlainText() && allowObjects_ && source->hasImage(); break;
      case TKVPasteFormat::PlainText: offered = source->hasText(); break;
    }
    if (!offered) continue;
    const QTextCursor c = textCursor();
    if (!EditAllowed({TKVEditRequest::Paste, source->text()}, c.selectionStart(), c.selectionEnd())) return;
    if (f == TKVPasteFormat::RichText) {
      QTextDocument tmp;
      tmp.setDefaultFont(document()->defaultFont());
      KVReadRtf(KVMimeRtfData(source), tmp);
      if (!InsertAllowed(tmp.characterCount() - 1)) return;
      const QTextDocumentFragment fragment(&tmp);
      ReplaceSelection([&](QTextCursor& cur) { cur.insertFragment(fragment); });
    } else if (f == TKVPasteFormat::Picture) {
      const QImage image = qvariant_cast<QImage>(source->imageData());
      if (image.isNull()) continue;
      InsertPicture(KVPictureFromImage(image));
    } else {
      const QString text = KVDocumentReady(source->text());
      if (!InsertAllowed(int(text.size()))) return;
      ReplaceSelection([&](QTextCursor& cur) { cur.insertText(text); });
    }
    // A paste leaves the caret after what came in.
    QTextCursor after = textCursor();
    after.setPosition(after.selectionEnd());
    setTextCursor(after);
    return;
  }
}

// ---- pictures

std::optional<TKVPicture> TKVCustomRichEdit::SelectedPicture() const {
  const QTextCursor c = textCursor();
  if (c.selectionEnd() - c.selectionStart() != 1) return std::nullopt;
  const QTextCharFormat f = RangeCursor(c.selectionStart(), c.selectionEnd()).charFormat();
  if (!KVIsPicture(f)) return std::nullopt;
  return KVPictureOf(f);
}

bool TKVCustomRichEdit::InsertPicture(const TKVPicture& picture) {
  if (!allowObjects_ || isReadOnly() || PlainText()) return false;
  const QTextCursor sel = textCursor();
  if (!EditAllowed({TKVEditRequest::Paste, {}}, sel.selectionStart(), sel.selectionEnd()) || !InsertAllowed(1))
    return false;
  QTextCharFormat f = currentCharFormat();
  f.setAnchor(false);
  f.clearProperty(QTextFormat::AnchorHref);
  f.clearProperty(kvpFieldInst);
  f.merge(KVPictureFormat(picture));
  ReplaceSelection([&](QTextCursor& c) { c.insertText(QString(QChar::ObjectReplacementCharacter), f); });
  return true;
}

bool TKVCustomRichEdit::ResizeSelectedPicture(int widthTw, int heightTw) {
  if (isReadOnly() || !SelectedPicture()) return false;
  const QTextCursor sel = textCursor();
  QTextCursor c = RangeCursor(sel.selectionStart(), sel.selectionEnd());
  QTextCharFormat f = c.charFormat();
  if (f.intProperty(kvpPicWidthTw) == widthTw && f.intProperty(kvpPicHeightTw) == heightTw) return true;
  f.setProperty(kvpPicWidthTw, std::clamp(widthTw, 1, KVMaxPictureTwips));
  f.setProperty(kvpPicHeightTw, std::clamp(heightTw, 1, KVMaxPictureTwips));
  // A changed picture is written as a picture of its own; the group it came from no longer fits.
  f.clearProperty(kvpPicRaw);
  c.setCharFormat(f);
  return true;
}

QList<TKVPasteFormat> TKVCustomRichEdit::PasteFormats() const {
  QList<TKVPasteFormat> out;
  const QClipboard* clipboard = QGuiApplication::clipboard();
  const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
  if (!data) return out;
  if (!PlainText() && KVMimeHasRtf(data)) out << TKVPasteFormat::RichText;
  if (!PlainText() && allowObjects_ && data->hasImage()) out << TKVPasteFormat::Picture;
  if (data->hasText()) out << TKVPasteFormat::PlainText;
  return out;
}

bool TKVCustomRichEdit::PasteAs(TKVPasteFormat format) {
  if (isReadOnly()) return false;
  const QClipboard* clipboard = QGuiApplication::clipboard();
  const QMimeData* source = clipboard ? clipboard->mimeData() : nullptr;
  if (!source) return false;
  const QTextCursor c = textCursor();
  switch (format) {
    case TKVPasteFormat::RichText: {
      const QByteArray rtf = KVMimeRtfData(source);
      if (PlainText() || !KVIsRtf(rtf)) return false;
      if (!EditAllowed({TKVEditRequest::Paste, {}}, c.selectionStart(), c.selectionEnd())) return false;
      QTextDocument tmp;
      tmp.setDefaultFont(document()->defaultFont());
      KVReadRtf(rtf, tmp);
      if (!InsertAllowed(tmp.characterCount() - 1)) return false;
      const QTextDocumentFragment fragment(&tmp);
      ReplaceSelection([&](QTextCursor& cur) { cur.insertFragment(fragment); });
      return true;
    }
    case TKVPasteFormat::Picture: {
      const QImage image = qvariant_cast<QImage>(source->imageData());
      return !image.isNull() && InsertPicture(KVPictureFromImage(image));
    }
    case TKVPasteFormat::PlainText: {
      if (!source->hasText()) return false;
      const QString text = KVDocumentReady(source->text());
      if (!EditAllowed({TKVEditRequest::Paste, text}, c.selectionStart(), c.selectionEnd()) ||
          !InsertAllowed(int(text.size())))
        return false;
      // Unformatted: the text takes the formatting at the insertion point.
      QTextCharFormat f = currentCharFormat();
      f.setAnchor(false);
      f.clearProperty(QTextFormat::AnchorHref);
      f.clearProperty(kvpFieldInst);
      f.clearProperty(QTextFormat::ObjectType);
      ReplaceSelection([&](QTextCursor& cur) { cur.insertText(text, f); });
      return true;
    }
  }
  return false;
}

bool TKVCustomRichEdit::PasteSpecialDialog() {
  const QList<TKVPasteFormat> formats = PasteFormats();
  if (formats.isEmpty() || isReadOnly()) return false;
  QDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Paste Special"));
  auto* list = new QListWidget(&dialog);
  list->setObjectName(QStringLiteral("formats"));
  auto* result = new QLabel(&dialog);
  result->setObjectName(QStringLiteral("result"));
  for (TKVPasteFormat f : formats) {
    switch (f) {
      case TKVPasteFormat::RichText: list->addItem(QStringLiteral("Rich Text Format")); break;
      case TKVPasteFormat::Picture: list->addItem(QStringLiteral("Picture")); break;
      case TKVPasteFormat::PlainText: list->addItem(QStringLiteral("Unformatted text")); break;
    }
  }
  QObject::connect(list, &QListWidget::currentRowChanged, &dialog, [&](int row) {
    if (row < 0 || row >= formats.size()) return;
    switch (formats[row]) {
      case TKVPasteFormat::RichText: result->setText(QStringLiteral("Rich Text Format")); break;
      case TKVPasteFormat::Picture: result->setText(QStringLiteral("picture")); break;
      case TKVPasteFormat::PlainText: result->setText(QStringLiteral("text without any formatting")); break;
    }
  });
  list->setCurrentRow(0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(list);
  layout->addWidget(result);
  layout->addWidget(buttons);
  if (ExecDialog(dialog) != QDialog::Accepted) return false;
  const int row = list->currentRow();
  if (row < 0 || row >= formats.size()) return false;
  return PasteAs(formats[row]);
}

bool TKVCustomRichEdit::InsertObjectDialog() {
  if (!allowObjects_ || isReadOnly() || PlainText()) return false;
  const QString name = FileDialogs().OpenFileName(
      this, QStringLiteral("Insert Picture"), QString(),
      QStringLiteral("Pictures (*.png *.jpg *.jpeg *.bmp *.gif);;All files (*)"));
  if (name.isEmpty()) return false;
  const TKVPicture picture = KVPictureFromFile(name);
  const int start = SelStart();
  if (!InsertPicture(picture)) return false;
  SetSelection(start, start + 1, true);
  return true;
}

bool TKVCustomRichEdit::ObjectPropertiesDialog() {
  const std::optional<TKVPicture> picture = SelectedPicture();
  if (!picture || isReadOnly()) return false;
  QDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("%1 Properties").arg(picture->TypeName()));
  auto* form = new QFormLayout(&dialog);
  form->addRow(QStringLiteral("Type:"), new QLabel(picture->TypeName(), &dialog));
  const QString pixels = picture->Image.isNull()
                             ? QStringLiteral("-")
                             : QStringLiteral("%1 x %2").arg(picture->Image.width()).arg(picture->Image.height());
  form->addRow(QStringLiteral("Picture size:"), new QLabel(pixels, &dialog));
  auto* width = new QSpinBox(&dialog);
  auto* height = new QSpinBox(&dialog);
  width->setObjectName(QStringLiteral("width"));
  height->setObjectName(QStringLiteral("height"));
  for (QSpinBox* box : {width, height}) {
    box->setRange(1, KVMaxPictureTwips / 15);
    box->setSuffix(QStringLiteral(" px"));
  }
  width->setValue(int(std::nearbyint(picture->WidthTw / KVTwipsPerPixel)));
  height->setValue(int(std::nearbyint(picture->HeightTw / KVTwipsPerPixel)));
  // Only pictures that can be shown can be sized; a kept object keeps its group.
  const bool sizable = !picture->Image.isNull();
  width->setEnabled(sizable);
  height->setEnabled(sizable);
  form->addRow(QStringLiteral("Width:"), width);
  form->addRow(QStringLiteral("Height:"), height);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  const int oldW = width->value(), oldH = height->value();
  if (ExecDialog(dialog) != QDialog::Accepted) return false;
  if (sizable && (width->value() != oldW || height->value() != oldH))
    return ResizeSelectedPicture(int(width->value() * KVTwipsPerPixel), int(height->value() * KVTwipsPerPixel));
  return true;
}

QMenu* TKVCustomRichEdit::VerbMenu() {
  // Items added for the previous click go first.
  for (QAction* a : verbActions_) delete a;
  verbActions_.clear();
  delete verbMenu_;
  verbMenu_ = nullptr;
  const std::optional<TKVPicture> picture = SelectedPicture();
  if (!autoVerbMenu_ || !picture) return PopupMenu;
  const QString caption = QStringLiteral("%1 Properties").arg(picture->TypeName());
  if (PopupMenu && !PopupMenu->actions().isEmpty()) {
    verbActions_.push_back(PopupMenu->addSeparator());
    QAction* props = PopupMenu->addAction(caption);
    connect(props, &QAction::triggered, this, [this] { ObjectPropertiesDialog(); });
    verbActions_.push_back(props);
    return PopupMenu;
  }
  verbMenu_ = new QMenu(this);
  QAction* props = verbMenu_->addAction(caption);
  connect(props, &QAction::triggered, this, [this] { ObjectPropertiesDialog(); });
  return verbMenu_;
}

// =============================================================================================

void TKVRichEditOLE::AssignLines(const QStringList& strings) {
  QString text;
  for (const QString& s : strings) text += s + QLatin1String("\r\n");
  SetRTFText(text);
}

void TKVRichEditOLE::SetRTFText(const QString& text) { LoadRTFText(text); }

bool TKVRichEditOLE::SetRTFTextPart(const QString& text, int minChars) {
  if (PlainText() || StreamFormat() == sfPlainText || !KVIsRtf(text.left(16).toLatin1())) {
    LoadRTFText(text);
    return false;
  }
  const bool more = RichDocument().ReadRtfPart(text, minChars);
  SetSelection(0, 0, true);
  return more;
}

QString TKVRichEditOLE::GetRTFText() { return SaveRTFText(); }

void TKVCustomRichEdit::LoadRTFText(const QString& text) {
  QByteArray bytes = KVStreamBytes(text, StreamFormat() == sfPlainText);
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  Lines().LoadFromStream(buffer);
}

QString TKVCustomRichEdit::SaveRTFText() {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  Lines().SaveToStream(buffer);
  while (bytes.endsWith('\0')) bytes.chop(1);
  const bool rich = StreamFormat() == sfRichText || (StreamFormat() == sfDefault && !PlainText());
  return rich ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
}
