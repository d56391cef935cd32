#include "controls/KVFormatRange.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

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
}

int TKVFormatter::TextLength() const { return std::max(0, source_.characterCount() - 1); }

void TKVFormatter::Prepare(int widthTw) {
  if (!copy_) {
    copy_.reset(source_.clone());
    KVPrepareDocument(*copy_);
    copy_->setDocumentMargin(0);
    copy_->setUseDesignMetrics(designMetrics_);
    QTextOption opt = copy_->defaultTextOption();
    opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    copy_->setDefaultTextOption(opt);
    if (markLinks_) {
      QTextCharFormat link;
      link.setFontUnderline(true);
      link.setForeground(QColor(0, 0, 255));
      QTextCursor c(copy_.get());
      for (QTextBlock b = copy_->begin(); b.isValid(); b = b.next())
        for (const TKVLinkRange& r : KVFindLinks(b.text())) {
          c.setPosition(b.position() + r.Start);
          c.setPosition(b.position() + r.Start + r.Length, QTextCursor::KeepAnchor);
          c.mergeCharFormat(link);
        }
    }
    widthTw_ = -1;
  }
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
  Prepare(widthTw);

  QAbstractTextDocumentLayout* layout = copy_->documentLayout();
  QTextBlock block = copy_->findBlock(cpMin);
  layout->blockBoundingRect(block);  // lays the document out up to the block
  QTextLayout* tl = block.layout();
  int lineNo = 0;
  if (tl->lineCount() > 0) {
    const QTextLine first = tl->lineForTextPosition(cpMin - block.position());
    lineNo = first.isValid() ? first.lineNumber() : 0;
  }
  const double startY = tl->position().y() + (tl->lineCount() > 0 ? tl->lineAt(lineNo).y() : 0);
  double usedBottom = startY;
  int next = cpMin;
  bool done = false;
  while (block.isValid() && !done) {
    layout->blockBoundingRect(block);
    tl = block.layout();
    const QTextBlockFormat bf = block.blockFormat();
    for (; lineNo < tl->lineCount(); ++lineNo) {
      const QTextLine line = tl->lineAt(lineNo);
      const double top = tl->position().y() + line.y();
      const double bottom = top + std::max(line.height(), bf.lineHeight(line.height(), 1.0));
      if (bottom - startY > heightPx + 1e-6) {
        done = true;
        break;
      }
      usedBottom = bottom;
      next = lineNo == tl->lineCount() - 1 ? block.position() + block.length()
                                           : block.position() + line.textStart() + line.textLength();
      if (next >= cpMax) {
        done = true;
        break;
      }
    }
    lineNo = 0;
    block = block.next();
  }
  next = std::min(next, len);
  if (next <= cpMin) return cpMin;
  fr.rc.Bottom = fr.rc.Top + int(std::nearbyint((usedBottom - startY) * KVTwipsPerPixel));

  if (render && fr.hdc) {
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
