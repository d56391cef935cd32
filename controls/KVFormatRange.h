#pragma once
// Range formatting of rich text in the manner of the rich-edit control's EM_FORMATRANGE: a copy of
// the document is laid out for the rectangle's width, whole lines are taken from a character
// position while they fit the rectangle's height, the bottom of the used area comes back, and
// the lines are painted at the target's resolution. Rendering into a bitmap and printing both use
// it. Layout is always done at 96 pixels per inch and painting scales from there, so what is
// measured is what is painted.
//
// Only a window of the document from the first character on is copied and laid out, grown until
// the rectangle is full: a long text costs what fits, not what it holds (the text layout takes
// time that grows with the square of a paragraph's length). A window never exceeds a fixed number
// of characters; text that would fit beyond it is treated as not fitted.
#include <QColor>
#include <QMetaObject>
#include <memory>

#include "foundation/KVTypes.h"

class QPainter;
class QTextDocument;

struct TKVFormatRange {
  QPainter* hdc = nullptr;    // painting target; nullptr only measures
  int LogX = 96, LogY = 96;   // pixels per inch of the target
  TRect rc;                   // formatting rectangle in twips; Bottom comes back as the used bottom
  TRect rcPage;               // page rectangle in twips (painting is clipped to it)
  int cpMin = 0, cpMax = -1;  // characters to format; cpMax -1: to the end
};

class TKVFormatter {
 public:
  explicit TKVFormatter(const QTextDocument& source);
  ~TKVFormatter();
  TKVFormatter(const TKVFormatter&) = delete;
  TKVFormatter& operator=(const TKVFormatter&) = delete;

  // Text without a colour of its own is painted in this colour.
  void SetAutoColor(const QColor& color) { autoColor_ = color; }
  // Links found in the text are shown as links (the editor's automatic link detection).
  void SetMarkLinks(bool on);
  // Unhinted glyph metrics, for targets whose resolution differs from the layout's.
  void SetDesignMetrics(bool on);

  // Formats whole lines from fr.cpMin into fr.rc and paints them when Render is set and fr.hdc
  // is given. Returns the first character not formatted: the text length when everything from
  // cpMin fitted, cpMin itself when not even one line fitted (fr.rc.Bottom is then fr.rc.Top).
  int Format(TKVFormatRange& fr, bool render);
  // Drops the laid-out copy; the next Format copies the source again.
  void Reset();
  // Characters of the source, paragraph ends counted once, the final one not.
  int TextLength() const;
  // Characters of the source that the last Format laid out (the window it copied).
  int LaidOut() const { return copy_ ? end_ - start_ : 0; }
  // The most characters one Format lays out.
  static constexpr int kMaxWindow = 1 << 16;

 private:
  const QTextDocument& source_;
  std::unique_ptr<QTextDocument> copy_;
  QMetaObject::Connection changed_;
  QColor autoColor_ = Qt::black;
  bool markLinks_ = false;
  bool designMetrics_ = false;
  int widthTw_ = -1;
  int start_ = 0, end_ = 0;  // the source characters the copy holds
  int lead_ = 0;             // characters of the copy before them (numbering of continued lists)
  int lastFitted_ = 0;       // characters the last Format took, a guess for the next window

  void Copy(int start, int end);
  void Prepare(int start, int end, int widthTw);
};
