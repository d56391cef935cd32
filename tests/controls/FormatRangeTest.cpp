#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <memory>

#include "controls/KVFormatRange.h"
#include "controls/KVRichText.h"
#include "controls/KVRtfReader.h"

namespace {

QByteArray Rtf(const QByteArray& body) {
  return "{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss\\fcharset0 DejaVu Sans;}}\\f0\\fs20 " + body + "}";
}

std::unique_ptr<QTextDocument> Doc(const QByteArray& rtf) {
  auto doc = std::make_unique<QTextDocument>();
  EXPECT_TRUE(KVReadRtf(rtf, *doc));
  return doc;
}

int Tw(double px) { return int(std::nearbyint(px * KVTwipsPerPixel)); }

struct TResult {
  int next = 0;
  int bottomTw = 0;
  QImage image;
};

TKVFormatRange Area(int cpMin, int widthPx, int heightPx, QPainter* p = nullptr) {
  TKVFormatRange fr;
  fr.hdc = p;
  fr.rc = fr.rcPage = TRect{0, 0, Tw(widthPx), Tw(heightPx)};
  fr.cpMin = cpMin;
  return fr;
}

TResult Formatted(TKVFormatter& f, int cpMin, int widthPx, int heightPx) {
  TResult r;
  r.image = QImage(widthPx, heightPx, QImage::Format_RGB32);
  r.image.fill(Qt::white);
  QPainter p(&r.image);
  TKVFormatRange fr = Area(cpMin, widthPx, heightPx, &p);
  r.next = f.Format(fr, true);
  r.bottomTw = fr.rc.Bottom;
  return r;
}

// What the rich-edit control gives: the whole text laid out at the width, whole lines taken from
// the line of cpMin while they fit, and painted.
class TWhole {
 public:
  TWhole(const QTextDocument& source, int widthPx) : doc_(source.clone()), width_(widthPx) {
    KVPrepareDocument(*doc_);
    doc_->setDocumentMargin(0);
    QTextOption opt = doc_->defaultTextOption();
    opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc_->setDefaultTextOption(opt);
    doc_->setTextWidth(widthPx);
    doc_->documentLayout()->documentSize();
  }

  TResult Format(int cpMin, int heightPx) const {
    const QTextBlock startBlock = doc_->findBlock(cpMin);
    const QTextLayout* first = startBlock.layout();
    const QTextLine firstLine = first->lineForTextPosition(cpMin - startBlock.position());
    const double startY = first->position().y() + firstLine.y();
    double bottom = startY;
    TResult r;
    r.next = cpMin;
    bool full = false;
    for (QTextBlock b = startBlock; b.isValid() && !full; b = b.next()) {
      const QTextLayout* tl = b.layout();
      for (int i = b == startBlock ? firstLine.lineNumber() : 0; i < tl->lineCount(); ++i) {
        const QTextLine line = tl->lineAt(i);
        const double lineBottom = tl->position().y() + line.y() +
                                  std::max(line.height(), b.blockFormat().lineHeight(line.height(), 1.0));
        if (lineBottom - startY > heightPx + 1e-6) {
          full = true;
          break;
        }
        bottom = lineBottom;
        r.next = i == tl->lineCount() - 1 ? b.position() + b.length() : b.position() + line.textStart() + line.textLength();
      }
    }
    r.next = std::min(r.next, std::max(0, doc_->characterCount() - 1));
    r.bottomTw = Tw(bottom - startY);
    r.image = QImage(width_, heightPx, QImage::Format_RGB32);
    r.image.fill(Qt::white);
    QPainter p(&r.image);
    p.translate(0, -startY);
    const QRectF clip(0, startY, width_, bottom - startY);
    p.setClipRect(clip);
    QAbstractTextDocumentLayout::PaintContext ctx;
    ctx.cursorPosition = -1;
    ctx.clip = clip;
    ctx.palette.setColor(QPalette::Text, Qt::black);
    doc_->documentLayout()->draw(&p, ctx);
    return r;
  }

 private:
  std::unique_ptr<QTextDocument> doc_;
  int width_;
};

void ExpectAsWhole(const QTextDocument& doc, int cpMin, int widthPx, int heightPx, const char* what) {
  SCOPED_TRACE(what);
  TKVFormatter f(doc);
  const TResult got = Formatted(f, cpMin, widthPx, heightPx);
  const TResult want = TWhole(doc, widthPx).Format(cpMin, heightPx);
  EXPECT_EQ(got.next, want.next);
  EXPECT_EQ(got.bottomTw, want.bottomTw);
  EXPECT_TRUE(got.image == want.image);
}

QByteArray Words(int count) {
  QByteArray body;
  static const char* const sizes[] = {"\\fs16 ", "\\fs20 ", "\\fs28 ", "\\fs20 "};
  for (int i = 0; i < count; ++i) {
    if (i % 37 == 0) body += sizes[(i / 37) % 4];
    body += (i % 11 == 0 ? "\\b word" : "word") + QByteArray::number(i) + (i % 11 == 0 ? "\\b0 " : " ");
  }
  return body;
}

}  // namespace

TEST(FormatWindow, LongTextsBreakAndPaintAsTheWholeText) {
  // One paragraph of some 30,000 characters, in a box that takes more than the first window.
  const auto paragraph = Doc(Rtf(Words(3500)));
  ExpectAsWhole(*paragraph, 0, 420, 2500, "a long paragraph");
  // Thousands of short paragraphs, and a page starting in their middle.
  QByteArray lines;
  for (int i = 0; i < 3000; ++i) lines += "Line " + QByteArray::number(i) + (i % 5 ? "\\par " : " with more words\\par ");
  const auto many = Doc(Rtf(lines));
  ExpectAsWhole(*many, 0, 420, 3000, "many paragraphs");
  ExpectAsWhole(*many, many->findBlock(20000).position(), 420, 600, "many paragraphs, a later page");
  // A numbered list continued on a later page keeps counting.
  QByteArray list = "\\pard{\\pntext 1.\\tab}{\\*\\pn\\pnlvlbody\\pndec\\pnstart1\\pnindent360{\\pntxta .}}\\fi-360\\li360 ";
  for (int i = 0; i < 400; ++i) list += "Item " + QByteArray::number(i) + "\\par ";
  const auto numbered = Doc(Rtf(list));
  ASSERT_TRUE(numbered->findBlock(10).textList());
  ExpectAsWhole(*numbered, numbered->findBlock(0).next().position(), 420, 300, "a list from its second item");
  ExpectAsWhole(*numbered, numbered->findBlock(2500).position(), 420, 300, "a list from a later item");
}

TEST(FormatWindow, PagesThroughALongParagraphGoOnWhereTheLastEnded) {
  const auto doc = Doc(Rtf(Words(3000)));
  TKVFormatter f(*doc);
  const TWhole whole(*doc, 420);
  int cpMin = 0, pages = 0;
  const int len = f.TextLength();
  while (cpMin < len && pages < 100) {
    const TResult want = whole.Format(cpMin, 300);
    const TResult got = Formatted(f, cpMin, 420, 300);
    ASSERT_EQ(got.next, want.next) << "page " << pages;
    EXPECT_EQ(got.bottomTw, want.bottomTw) << "page " << pages;
    EXPECT_TRUE(got.image == want.image) << "page " << pages;
    ASSERT_GT(got.next, cpMin);
    cpMin = got.next;
    ++pages;
  }
  EXPECT_EQ(cpMin, len);
  EXPECT_GT(pages, 10);
}

TEST(FormatWindow, HostileTextsLayOutOnlyWhatFitsTheBox) {
  struct Case {
    const char* what;
    QByteArray body;
  };
  const Case cases[] = {
      {"one paragraph of a million characters without a break", QByteArray(1 << 20, 'x')},
      {"sixty thousand tiny tab stops and tabs", QByteArray("\\tx5\\cell\\tab").repeated(60000)},
      {"two hundred thousand empty paragraphs", QByteArray("\\par ").repeated(200000)},
      {"two hundred thousand characters of words in one paragraph", QByteArray("word ").repeated(40000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto doc = Doc(Rtf(c.body));
    TKVFormatter f(*doc);
    TKVFormatRange fr = Area(0, 420, 500);
    const int next = f.Format(fr, false);
    EXPECT_GT(next, 0);
    EXPECT_LT(next, f.TextLength());
    EXPECT_GT(fr.rc.Bottom, 0);
    EXPECT_LE(fr.rc.Bottom, Tw(500));
    EXPECT_LE(f.LaidOut(), 16384);
  }
}

TEST(FormatWindow, TextThatWouldAllFitIsCutAtTheLargestWindow) {
  // Characters without width: the whole text fits on one line, and is never laid out whole.
  const auto doc = Doc(Rtf(QByteArray("\\u8203?").repeated(300000)));
  TKVFormatter f(*doc);
  TKVFormatRange fr = Area(0, 420, 500);
  const int next = f.Format(fr, false);
  EXPECT_GT(next, 0);
  EXPECT_LE(next, TKVFormatter::kMaxWindow);
  EXPECT_LE(f.LaidOut(), TKVFormatter::kMaxWindow);
  // The next page goes on from there.
  TKVFormatRange again = Area(next, 420, 500);
  EXPECT_GT(f.Format(again, false), next);
}

TEST(FormatWindow, ALineCutByTheWindowIsNotTakenAsItLooks) {
  // Small words, then a tall word too wide for any line. Where the first window ends inside the
  // tall word, its beginning would still fit on the last line of small words and make that line
  // tall; in the whole text the tall word starts the next line.
  bool found = false;
  for (int words = 812; words <= 819 && !found; ++words) {
    const QByteArray small = QByteArray("word ").repeated(words);
    const int tallStart = 5 * words, cut = 4096;  // where the first window ends
    const auto doc = Doc(Rtf(small + "\\fs72 " + QByteArray(40, 'W')));
    const auto cutDoc = Doc(Rtf(small + "\\fs72 " + QByteArray(cut - tallStart, 'W')));
    const auto lineOf = [](const QTextDocument& d, int pos) {
      std::unique_ptr<QTextDocument> c(d.clone());
      KVPrepareDocument(*c);
      c->setDocumentMargin(0);
      QTextOption opt = c->defaultTextOption();
      opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
      c->setDefaultTextOption(opt);
      c->setTextWidth(420);
      c->documentLayout()->documentSize();
      const QTextLayout* tl = c->begin().layout();
      const QTextLine line = tl->lineForTextPosition(pos);
      return std::pair<int, double>(line.textStart() + line.textLength(), tl->position().y() + line.y() + line.height());
    };
    const auto [wholeEnd, wholeBottom] = lineOf(*doc, tallStart - 1);
    const auto [cutEnd, cutBottom] = lineOf(*cutDoc, tallStart - 1);
    if (wholeEnd != tallStart || cutEnd == tallStart || cutBottom <= wholeBottom + 4) continue;
    found = true;
    // Room down to that line's bottom in the whole text.
    ExpectAsWhole(*doc, 0, 420, int(std::ceil(wholeBottom)), "a tall word after the first window's end");
  }
  EXPECT_TRUE(found);
}
