#pragma once
// The rich text of an editor without the editor control: a QTextDocument with our layout set-up
// and the editor's default character format, loaded from RTF or plain text as the editor loads
// it, and formatted by ranges into bitmaps, onto painters and onto printed pages as the editor
// renders and prints it. The editor control (KVRichEdOLE.h) keeps its text in one; whatever only
// draws rich text uses one of its own and makes no widget.
#include <QByteArray>
#include <QByteArrayView>
#include <QFont>
#include <QImage>
#include <QString>
#include <QTextCharFormat>
#include <memory>

#include "controls/KVFormatRange.h"
#include "controls/KVRichText.h"
#include "foundation/KVGraphics.h"
#include "foundation/KVTypes.h"

class QPagedPaintDevice;
class QPainter;
class QRect;
class QTextDocument;
class TFont;

// The automatic text colour as the class library names it.
constexpr TColor KVAutoTextColor = 0x20000000;

// Merges a font into a character format: size, face, style and character set, and its colour
// (the automatic colour, clWindowText or KVAutoTextColor, as no colour of its own).
void KVMergeFont(QTextCharFormat& format, const TFont& font);

// Text as a document holds it: line ends become paragraphs, VT a line break.
QString KVDocumentReady(QString text);
// The bytes an editor streams in for a text: RTF as its bytes when the text begins with RTF and
// is not to be read as plain text, anything else as UTF-8.
QByteArray KVStreamBytes(const QString& text, bool plain);
// Expands line breaks of plain text as it streams in: LF and lone CR become CR LF. A CR at the
// end of one piece waits for the next, so a break split between pieces is neither lost nor
// doubled.
class TKVLineBreakExpander {
 public:
  QByteArray Feed(QByteArrayView piece);
  QByteArray Finish();

 private:
  bool heldCR_ = false;
};

// The plain text of streamed bytes, line breaks expanded to CR LF: UTF-16 when Unicode, else
// UTF-8 when it is valid UTF-8, else Windows-1252.
QString KVStreamPlainText(QByteArrayView bytes, bool unicode);

class TKVRichDocument {
 public:
  // A document of its own, with the font, colours and formats a new editor starts with.
  TKVRichDocument();
  // The editor's document, which the editor owns.
  explicit TKVRichDocument(QTextDocument& document);
  ~TKVRichDocument();
  TKVRichDocument(const TKVRichDocument&) = delete;
  TKVRichDocument& operator=(const TKVRichDocument&) = delete;

  QTextDocument& Document() const { return doc_; }
  int TextLength() const;

  // ---- the default character format: the document's default font, the automatic colour and
  // the character set
  QTextCharFormat DefaultFormat() const;
  // The default font that Format makes.
  QFont DefaultFontOf(const QTextCharFormat& format) const;
  void SetDefaultFormat(const QTextCharFormat& format) { SetDefaultFont(DefaultFontOf(format), format); }
  // Font as made by DefaultFontOf(Format), with the colour and character set of Format.
  void SetDefaultFont(const QFont& font, const QTextCharFormat& format);
  void SetFont(const TFont& font);
  // clWindowText when the text has the automatic colour.
  TColor DefaultColor() const { return defaultColor_; }

  // Background colour of rendered bitmaps.
  TColor Color() const { return color_; }
  void SetColor(TColor color) { color_ = color; }
  // Plain text only: RTF loads as its text.
  bool PlainText() const { return plainText_; }
  void SetPlainText(bool on) { plainText_ = on; }
  // Links found in the text are drawn as links.
  bool MarkLinks() const { return markLinks_; }
  void SetMarkLinks(bool on) { markLinks_ = on; }

  // ---- loading the whole content
  void LoadPlain(const QString& text);
  // False when Data is no RTF, leaving the content as it was.
  bool LoadRich(QByteArrayView data);
  // Streamed bytes: RTF when Rich and they are RTF, else plain text (KVStreamPlainText).
  void Load(QByteArrayView bytes, bool rich, bool unicode);
  // RTF, or plain text when the text is none.
  void SetRTFText(const QString& text) { Load(KVStreamBytes(text, false), !plainText_, false); }
  // The same, but of rich text only whole paragraphs until the content holds MinChars
  // characters. True when the text goes on after what was loaded.
  bool SetRTFTextPart(const QString& text, int minChars);
  // RTF (the first 16 characters open it), of it whole paragraphs until MinChars characters.
  bool ReadRtfPart(const QString& rtf, int minChars);

  // ---- rendering and printing (see TKVCustomRichEdit)
  int FormatRange(TKVFormatRange* range, bool render);
  bool RenderToBitmap(QImage& bitmap, int width, int height, int leftMargin, int topMargin, int rightMargin,
                      int bottomMargin, int pixelsPerInch = KVLayoutDpi);
  bool RenderToBitmap(TKVBitmap& bitmap, int width, int height, int leftMargin, int topMargin, int rightMargin,
                      int bottomMargin, int pixelsPerInch = KVLayoutDpi);
  bool RenderToPainter(QPainter& painter, const QRect& area, int leftMargin, int topMargin, int rightMargin,
                       int bottomMargin, int* usedHeight = nullptr);
  // PageRect in the device's pixels; empty prints on the whole page.
  void Print(const QString& caption, QPagedPaintDevice& device, const TRect& pageRect);

 private:
  std::unique_ptr<QTextDocument> own_;
  QTextDocument& doc_;
  TKVFormatter formatter_;
  TColor color_ = clWindow;
  TColor defaultColor_ = clWindowText;
  int defaultCharset_ = 1;
  bool plainText_ = false;
  bool markLinks_ = true;
};
