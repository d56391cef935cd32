#include "controls/KVFormatRange.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>
#include <map>
#include <set>

#include "controls/KVRichText.h"

TKVFormatter::TKVFormatter(const QTextDocument& source) : source_(source) {
  changed_ = QObject::connect(&source, &QTextDocument::contentsChanged, [this] { Reset(); });
}

TKVFormatter::~TKVFormatter() { QObject::disconnect(changed_); }

void TKVFormatter::SetMarkLinks(bool on) {
  if (on != markLinks_) Reset();
  markLinks_ = on;
}

void TKVFormatter::SetDesignMetrics(bool on) {
  if (on != designMetrics_) Reset();
  designMetrics_ = on;
}

void TKVFormatter::Reset() {
  copy_.reset();
  widthTw_ = -1;
  start_ = end_ = lead_ = 0;
}

int TKVFormatter::TextLength() const { return std::max(0, source_.characterCount() - 1); }

namespace {

// A window starts with the paragraph of its first character, so that the lines are broken as
// in the whole text, unless more than this many characters of the paragraph come before it.
constexpr int kMaxLead = 4096;
// The first window, in characters and in paragraphs; a box of the calendar or a printed page of
// ordinary text needs less.
constexpr int kFirstWindow = 4096, kFirstParagraphs = 128;

bool Numbered(const QTextList* list) { return list->format().style() <= QTextListFormat::ListDecimal; }

}  // namespace

void TKVFormatter::Copy(int start, int end) {
  copy_ = std::make_unique<QTextDocument>();
  QTextDocument& d = *copy_;
  d.setUndoRedoEnabled(false);
  d.setDefaultFont(source_.defaultFont());
  d.setDefaultTextOption(source_.defaultTextOption());
  d.setIndentWidth(source_.indentWidth());
  d.rootFrame()->setFrameFormat(source_.rootFrame()->frameFormat());
  KVPrepareDocument(d);
  start_ = start;
  end_ = end;
  lead_ = 0;

  QTextCursor out(&d);
  bool firstBlock = true;
  const auto newBlock = [&](const QTextBlockFormat& bf, const QTextCharFormat& cf) {
    if (firstBlock) {
      out.setBlockFormat(bf);
      out.setBlockCharFormat(cf);
      firstBlock = false;
    } else {
      out.insertBlock(bf, cf);
    }
  };
  std::map<const QTextList*, QTextList*> lists;
  const auto addToList = [&](const QTextList* source) {
    QTextList*& l = lists[source];
    if (l) l->add(out.block());
    else l = out.createList(source->format());
  };
  const QTextBlock first = source_.findBlock(start);
  // A numbered list that began before the window counts its earlier items in hidden paragraphs.
  std::set<const QTextList*> seen;
  for (QTextBlock b = first; b.isValid() && b.position() < end; b = b.next()) {
    const QTextList* l = b.textList();
    if (!l || !Numbered(l) || !seen.insert(l).second) continue;
    const int before = b.position() < start ? l->itemNumber(b) + 1 : l->itemNumber(b);
    if (before <= 0) continue;
    for (int i = 0; i < before; ++i) {
      newBlock(QTextBlockFormat(), QTextCharFormat());
      out.block().setVisible(false);
      addToList(l);
    }
  }
  lead_ = out.position() + (firstBlock ? 0 : 1);

  for (QTextBlock b = first; b.isValid() && b.position() < end; b = b.next()) {
    const int from = std::max(start, b.position());
    QTextBlockFormat bf = b.blockFormat();
    bf.setObjectIndex(-1);
    const QTextList* l = b.textList();
    if (from > b.position()) {
      // The rest of a paragraph: its first line was before the window, and so was its number.
      bf.setTextIndent(0);
      if (l) bf.setIndent(bf.indent() + l->format().indent());
      l = nullptr;
    }
    newBlock(bf, b.charFormat());
    if (l) addToList(l);
    for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      const int fs = f.position(), fe = fs + f.length();
      if (fe <= from) continue;
      if (fs >= end) break;
      const int a = std::max(from, fs), z = std::min(end, fe);
      out.insertText(f.text().mid(a - fs, z - a), f.charFormat());
    }
  }

  d.setDocumentMargin(0);
  d.setUseDesignMetrics(designMetrics_);
  QTextOption opt = d.defaultTextOption();
  opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  d.setDefaultTextOption(opt);
  if (markLinks_) {
    QTextCharFormat link;
    link.setFontUnderline(true);
    link.setForeground(QColor(0, 0, 255));
    QTextCursor c(&d);
    for (QTextBlock b = d.begin(); b.isValid(); b = b.next())
      for (const TKVLinkRange& r : KVFindLinks(b.text())) {
        c.setPosition(b.position() + r.Start);
        c.setPosition(b.position() + r.Start + r.Length, QTextCursor::KeepAnchor);
        c.mergeCharFormat(link);
      }
  }
  widthTw_ = -1;
}

void TKVFormatter::Prepare(int start, int end, int widthTw) {
  if (!copy_ || start != start_ || end != end_) Copy(start, end);
  if (widthTw != widthTw_) {
    copy_->setTextWidth(widthTw / KVTwipsPerPixel);
    widthTw_ = widthTw;
  }
}

int TKVFormatter::Format(TKVFormatRange& fr, bool render) {
  const int len = TextLength();
  const int cpMin = std::clamp(fr.cpMin, 0, len);
  const int cpMax = (fr.cpMax < 0 || fr.cpMax > len) ? len : std::max(fr.cpMax, cpMin);
  const int widthTw = fr.rc.Right - fr.rc.Left;
  const double heightPx = (fr.rc.Bottom - fr.rc.Top) / KVTwipsPerPixel;
  fr.rc.Bottom = fr.rc.Top;
  if (cpMin >= cpMax) return cpMin >= len ? len : cpMin;
  if (widthTw <= 0 || heightPx <= 0) return cpMin;

  const QTextBlock startBlock = source_.findBlock(cpMin);
  const int start = cpMin - startBlock.position() <= kMaxLead ? startBlock.position() : cpMin;
  const int room = kMaxWindow - (cpMin - start);
  int want = std::clamp(2 * lastFitted_, kFirstWindow, room);
  int paragraphs = kFirstParagraphs;
  double startY = 0, usedBottom = 0;
  int next = cpMin;
  for (;;) {
    int end = int(std::min<qint64>(len, qint64(cpMin) + want));
    // Many short paragraphs: the window ends after some of them, the more the more are needed.
    QTextBlock after = startBlock;
    for (int i = 0; i < paragraphs && after.isValid() && after.position() < end; ++i) after = after.next();
    if (after.isValid() && after.position() < end) end = after.position();
    // The window of the last call serves when it begins here and reaches as far.
    if (copy_ && start_ == start && end_ >= end) end = end_;
    Prepare(start, end, widthTw);
    const int shift = lead_ - start_;  // copy position = source position + shift
    // The window's last paragraph goes on after it: where its last line breaks is not known.
    const QTextBlock lastSource = source_.findBlock(std::max(start, end - 1));
    const bool lastCut = end < len && end < lastSource.position() + lastSource.length() - 1;

    QAbstractTextDocumentLayout* layout = copy_->documentLayout();
    QTextBlock block = copy_->findBlock(cpMin + shift);
    layout->blockBoundingRect(block);  // lays the copy out up to the block
    QTextLayout* tl = block.layout();
    int lineNo = 0;
    if (tl->lineCount() > 0) {
      const QTextLine first = tl->lineForTextPosition(cpMin + shift - block.position());
      lineNo = first.isValid() ? first.lineNumber() : 0;
    }
    startY = tl->position().y() + (tl->lineCount() > 0 ? tl->lineAt(lineNo).y() : 0);
    usedBottom = startY;
    next = cpMin + shift;
    bool stopped = false, onLastLine = false;
    while (block.isValid() && !stopped) {
      layout->blockBoundingRect(block);
      tl = block.layout();
      const QTextBlockFormat bf = block.blockFormat();
      const bool lastBlock = !block.next().isValid();
      for (; lineNo < tl->lineCount(); ++lineNo) {
        const QTextLine line = tl->lineAt(lineNo);
        const bool lastLine = lineNo == tl->lineCount() - 1;
        onLastLine = lastBlock && lastLine;
        const double top = tl->position().y() + line.y();
        const double bottom = top + std::max(line.height(), bf.lineHeight(line.height(), 1.0));
        if (bottom - startY > heightPx + 1e-6) {
          stopped = true;
          break;
        }
        usedBottom = bottom;
        next = lastLine ? block.position() + block.length() : block.position() + line.textStart() + line.textLength();
        if (next - shift >= cpMax) {
          stopped = true;
          break;
        }
      }
      lineNo = 0;
      block = block.next();
    }
    next -= shift;
    // Settled: the whole text was in the window, or the lines ended before its last, unsure one.
    const bool settled = end >= len || (stopped && !(lastCut && onLastLine));
    if (settled || end - cpMin >= room) {
      if (lastCut) next = std::min(next, end);
      break;
    }
    want = std::min(room, 2 * (end - cpMin));
    paragraphs *= 2;
  }
  next = std::min(next, len);
  if (next <= cpMin) return cpMin;
  lastFitted_ = next - cpMin;
  fr.rc.Bottom = fr.rc.Top + int(std::nearbyint((usedBottom - startY) * KVTwipsPerPixel));

  if (render && fr.hdc) {
    QAbstractTextDocumentLayout* layout = copy_->documentLayout();
    QPainter* p = fr.hdc;
    p->save();
    p->scale(fr.LogX / double(KVLayoutDpi), fr.LogY / double(KVLayoutDpi));
    const double left = fr.rc.Left / KVTwipsPerPixel, top = fr.rc.Top / KVTwipsPerPixel;
    p->translate(left, top - startY);
    // Lines are whole: the clip runs along line edges, so nothing of the lines before or after
    // shows; sideways only the page limits what is painted.
    const double pageLeft = fr.rcPage.Left / KVTwipsPerPixel - left;
    const double pageRight = std::max(fr.rcPage.Right, fr.rc.Right) / KVTwipsPerPixel - left;
    const QRectF clip(pageLeft, startY, pageRight - pageLeft, usedBottom - startY);
    p->setClipRect(clip, Qt::IntersectClip);
    QAbstractTextDocumentLayout::PaintContext ctx;
    ctx.cursorPosition = -1;
    ctx.clip = clip;
    ctx.palette.setColor(QPalette::Text, autoColor_);
    layout->draw(p, ctx);
    p->restore();
  }
  return next;
}
