#include "foundation/KVTextHelper.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStringList>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

TKVTextHelper* g_helper = nullptr;
quint64 g_generation = 0;

TKVQtTextHelper& RealHelper() {
  static TKVQtTextHelper helper;
  return helper;
}

QStringList SplitLines(const QString& text) {
  QString t = text;
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return t.split(QLatin1Char('\n'));
}

int AlignOffset(TAlignment alignment, int room, int lineWidth) {
  switch (alignment) {
    case taRightJustify: return room - lineWidth;
    case taCenter: return (room - lineWidth) / 2;
    default: return 0;
  }
}

// Lays out one paragraph per source line, wrapped at blanks in the given width.
struct QtLines {
  std::vector<std::unique_ptr<QTextLayout>> layouts;
  struct Line {
    QTextLayout* layout;
    int index;
    int width;
  };
  std::vector<Line> lines;
  int lineHeight = 0;
  int widest = 0;

  QtLines(const QFont& font, const QString& text, int width) {
    const QFontMetrics fm(font);
    lineHeight = std::max(fm.height(), fm.lineSpacing());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    option.setTabStopDistance(8.0 * fm.averageCharWidth());
    for (const QString& para : SplitLines(text)) {
      auto layout = std::make_unique<QTextLayout>(para, font);
      layout->setTextOption(option);
      layout->setCacheEnabled(true);
      layout->beginLayout();
      for (;;) {
        QTextLine line = layout->createLine();
        if (!line.isValid()) break;
        line.setLineWidth(std::max(0, width));
        const int w = int(std::ceil(line.naturalTextWidth()));
        widest = std::max(widest, w);
        lines.push_back({layout.get(), line.lineNumber(), w});
      }
      layout->endLayout();
      layouts.push_back(std::move(layout));
    }
  }
};

}  // namespace

TKVTextHelper& TextHelper() { return g_helper ? *g_helper : RealHelper(); }

void SetTextHelper(TKVTextHelper* helper) {
  g_helper = helper;
  ++g_generation;
}

quint64 TextHelperGeneration() { return g_generation; }

TKVTextHelperScope::TKVTextHelperScope(TKVTextHelper& helper) : previous_(g_helper) {
  g_helper = &helper;
  ++g_generation;
}

TKVTextHelperScope::~TKVTextHelperScope() {
  g_helper = previous_;
  ++g_generation;
}

QColor ToQColor(TColor c) {
  const TColor rgb = ColorToRGB(c);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor FromQColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

// ---------------------------------------------------------------------------------------------
// Qt

int TKVQtTextHelper::TextWidth(const QFont& font, const QString& text) {
  return QFontMetrics(font).horizontalAdvance(text);
}

int TKVQtTextHelper::TextHeight(const QFont& font, const QString&) { return QFontMetrics(font).height(); }

void TKVQtTextHelper::TextOut(QImage& image, int x, int y, const QFont& font, TColor color, const QString& text,
                              std::optional<TColor> background) {
  if (image.isNull() || text.isEmpty()) return;
  QPainter p(&image);
  p.setFont(font);
  const QFontMetrics fm(font);
  if (background) p.fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), ToQColor(*background));
  p.setPen(ToQColor(color));
  p.drawText(QPoint(x, y + fm.ascent()), text);
}

TRect TKVQtTextHelper::MeasureWrapped(const QFont& font, const QString& text, const TRect& rect) {
  if (text.isEmpty()) return TRect{rect.Left, rect.Top, rect.Left, rect.Top};
  const QtLines lines(font, text, rect.Width());
  return TRect{rect.Left, rect.Top, rect.Left + lines.widest, rect.Top + int(lines.lines.size()) * lines.lineHeight};
}

void TKVQtTextHelper::DrawWrapped(QImage& image, const QFont& font, TColor color, const QString& text,
                                  const TRect& rect, TAlignment alignment, std::optional<TColor> background) {
  if (image.isNull() || text.isEmpty()) return;
  const QtLines lines(font, text, rect.Width());
  QPainter p(&image);
  p.setFont(font);
  p.setPen(ToQColor(color));
  int y = rect.Top;
  for (const auto& line : lines.lines) {
    const int x = rect.Left + AlignOffset(alignment, rect.Width(), line.width);
    if (background) p.fillRect(QRect(x, y, line.width, lines.lineHeight), ToQColor(*background));
    QTextLine tl = line.layout->lineAt(line.index);
    tl.draw(&p, QPointF(x - tl.x(), y - tl.y()));
    y += lines.lineHeight;
  }
}

// ---------------------------------------------------------------------------------------------
// Fixed metrics

namespace {

int PixelSize(const QFont& font) {
  if (font.pixelSize() > 0) return font.pixelSize();
  return int(std::lround(font.pointSizeF() * 96.0 / 72.0));
}

// Greedy wrapping at blanks; a word wider than the room stays on its own line.
QStringList FixedLines(const QString& text, int room, int advance) {
  QStringList out;
  for (QString para : SplitLines(text)) {
    para.replace(QLatin1Char('\t'), QLatin1Char(' '));
    const QStringList words = para.split(QLatin1Char(' '));
    QString line;
    bool first = true;
    for (const QString& w : words) {
      const QString candidate = first ? w : line + QLatin1Char(' ') + w;
      if (!first && candidate.size() * advance > room) {
        out << line;
        line = w;
      } else {
        line = candidate;
      }
      first = false;
    }
    out << line;
  }
  return out;
}

void FillCell(QImage& image, int x, int y, int w, int h, TColor color) {
  QPainter p(&image);
  p.fillRect(QRect(x, y, w, h), ToQColor(color));
}

}  // namespace

int TKVFixedTextHelper::Advance(const QFont& font) { return std::max(1, PixelSize(font) / 2); }

int TKVFixedTextHelper::CellHeight(const QFont& font) { return std::max(1, PixelSize(font)); }

int TKVFixedTextHelper::TextWidth(const QFont& font, const QString& text) { return int(text.size()) * Advance(font); }

int TKVFixedTextHelper::TextHeight(const QFont& font, const QString&) { return CellHeight(font); }

void TKVFixedTextHelper::TextOut(QImage& image, int x, int y, const QFont& font, TColor color, const QString& text,
                                 std::optional<TColor> background) {
  ++textOutCalls;
  if (image.isNull()) return;
  const int a = Advance(font), h = CellHeight(font);
  if (background) FillCell(image, x, y, TextWidth(font, text), h, *background);
  for (int i = 0; i < text.size(); ++i)
    if (text[i] != QLatin1Char(' ')) FillCell(image, x + i * a, y, a, h, color);
}

TRect TKVFixedTextHelper::MeasureWrapped(const QFont& font, const QString& text, const TRect& rect) {
  if (text.isEmpty()) return TRect{rect.Left, rect.Top, rect.Left, rect.Top};
  const QStringList lines = FixedLines(text, rect.Width(), Advance(font));
  int widest = 0;
  for (const QString& l : lines) widest = std::max(widest, int(l.size()) * Advance(font));
  return TRect{rect.Left, rect.Top, rect.Left + widest, rect.Top + int(lines.size()) * CellHeight(font)};
}

void TKVFixedTextHelper::DrawWrapped(QImage& image, const QFont& font, TColor color, const QString& text,
                                     const TRect& rect, TAlignment alignment, std::optional<TColor> background) {
  if (text.isEmpty()) return;
  int y = rect.Top;
  for (const QString& l : FixedLines(text, rect.Width(), Advance(font))) {
    const int w = int(l.size()) * Advance(font);
    TextOut(image, rect.Left + AlignOffset(alignment, rect.Width(), w), y, font, color, l, background);
    y += CellHeight(font);
  }
}

void PrepareTextRendering() {
  if (qEnvironmentVariableIsEmpty("QT_MAX_CACHED_GLYPH_SIZE")) qputenv("QT_MAX_CACHED_GLYPH_SIZE", "512");
}
