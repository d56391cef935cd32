#pragma once
// Text measuring and drawing in the conventions of the drawing code: a position names the top-left
// corner of the text cell (Qt places text on its baseline), a width is the advance of the text and
// a height the cell height (ascent plus descent). Fonts are pixel-sized QFonts (96 dpi).
// All drawing reaches text through TextHelper(), which tests replace with the fixed-metric helper.
#include <QFont>
#include <QImage>
#include <QString>
#include <optional>

#include "foundation/KVTypes.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TKVTextHelper {
 public:
  virtual ~TKVTextHelper() = default;

  virtual int TextWidth(const QFont& font, const QString& text) = 0;
  virtual int TextHeight(const QFont& font, const QString& text) = 0;
  // One line with its cell's top-left corner at (x, y); the cell is filled first when a
  // background is given.
  virtual void TextOut(QImage& image, int x, int y, const QFont& font, TColor color, const QString& text,
                       std::optional<TColor> background) = 0;
  // Word-wrapped text (breaks at blanks and line ends, tabs expanded, lines spaced by the cell
  // height plus the font's leading): the rectangle it needs when laid out in Rect's width; Left and
  // Top are kept, Right becomes Left plus the widest line, Bottom Top plus the lines' height.
  virtual TRect MeasureWrapped(const QFont& font, const QString& text, const TRect& rect) = 0;
  // Draws it, each line aligned within Rect's width.
  virtual void DrawWrapped(QImage& image, const QFont& font, TColor color, const QString& text, const TRect& rect,
                           TAlignment alignment, std::optional<TColor> background) = 0;
};

// The helper in use: the real one unless a test installed another.
TKVTextHelper& TextHelper();
// Installs a helper (not owned); nullptr reinstalls the real one.
void SetTextHelper(TKVTextHelper* helper);
// Counts the installations of helpers (scopes included): what was measured or drawn through
// TextHelper() under one count may be kept while the count stays.
quint64 TextHelperGeneration();

// Installs a helper for the lifetime of the scope.
class TKVTextHelperScope {
 public:
  explicit TKVTextHelperScope(TKVTextHelper& helper);
  ~TKVTextHelperScope();
  TKVTextHelperScope(const TKVTextHelperScope&) = delete;
  TKVTextHelperScope& operator=(const TKVTextHelperScope&) = delete;

 private:
  TKVTextHelper* previous_;
};

// Text through QPainter and QFontMetrics (needs the QGuiApplication).
class TKVQtTextHelper : public TKVTextHelper {
 public:
  int TextWidth(const QFont& font, const QString& text) override;
  int TextHeight(const QFont& font, const QString& text) override;
  void TextOut(QImage& image, int x, int y, const QFont& font, TColor color, const QString& text,
               std::optional<TColor> background) override;
  TRect MeasureWrapped(const QFont& font, const QString& text, const TRect& rect) override;
  void DrawWrapped(QImage& image, const QFont& font, TColor color, const QString& text, const TRect& rect,
                   TAlignment alignment, std::optional<TColor> background) override;
};

// Deterministic metrics for tests: every character is a cell of Advance(font) x CellHeight(font)
// pixels (half the pixel size, at least 1, by the pixel size, at least 1); drawing fills the
// cell of every character but a blank with the text colour. Lines break at blanks and line ends.
class TKVFixedTextHelper : public TKVTextHelper {
 public:
  static int Advance(const QFont& font);
  static int CellHeight(const QFont& font);

  int TextWidth(const QFont& font, const QString& text) override;
  int TextHeight(const QFont& font, const QString& text) override;
  void TextOut(QImage& image, int x, int y, const QFont& font, TColor color, const QString& text,
               std::optional<TColor> background) override;
  TRect MeasureWrapped(const QFont& font, const QString& text, const TRect& rect) override;
  void DrawWrapped(QImage& image, const QFont& font, TColor color, const QString& text, const TRect& rect,
                   TAlignment alignment, std::optional<TColor> background) override;

  // Calls of TextOut, for tests that check what was drawn where.
  int textOutCalls = 0;
};

// A colour value as a Qt colour (system colours resolved), and back.
QColor ToQColor(TColor c);
TColor FromQColor(const QColor& c);

// Before the application object exists: glyphs up to 512 pixels come from Qt's glyph cache.
// Larger ones are drawn as outlines spread over threads, which made a 5K screen's calendar
// digits cost a third of a redraw.
void PrepareTextRendering();
