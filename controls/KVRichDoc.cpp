#include "controls/KVRichDoc.h"

#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>

#include "controls/KVRtfReader.h"
#include "controls/KVRtfWriter.h"
#include "foundation/KVClasses.h"
#include "foundation/KVException.h"
#include "foundation/KVTextHelper.h"

QByteArray TKVLineBreakExpander::Feed(QByteArrayView piece) {
  QByteArray out;
  out.reserve(piece.size() + 16);
  for (char c : piece) {
    if (heldCR_) {
      heldCR_ = false;
      out += "\r\n";
      if (c == '\n') continue;
    }
    if (c == '\r') heldCR_ = true;
    else if (c == '\n') out += "\r\n";
    else out += c;
  }
  return out;
}

QByteArray TKVLineBreakExpander::Finish() {
  if (!heldCR_) return {};
  heldCR_ = false;
  return "\r\n";
}

void KVMergeFont(QTextCharFormat& f, const TFont& font) {
  QTextCharFormat c;
  c.setFontPointSize(std::clamp(font.Size, 1, 1638));
  c.setFontFamilies(QStringList{font.Name.left(31)});
  c.setFontWeight(font.HasStyle(fsBold) ? QFont::Bold : QFont::Normal);
  c.setFontItalic(font.HasStyle(fsItalic));
  c.setFontUnderline(font.HasStyle(fsUnderline));
  c.setFontStrikeOut(font.HasStyle(fsStrikeOut));
  c.setProperty(kvpCharset, font.Charset);
  f.merge(c);
  if (font.Color == clWindowText || font.Color == KVAutoTextColor) f.clearForeground();
  else f.setForeground(ToQColor(font.Color));
}

QString KVDocumentReady(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  text.replace(QLatin1Char('\v'), QChar(0x2028));
  text.replace(QChar(0x2029), QLatin1Char('\n'));
  text.replace(QChar(QChar::ObjectReplacementCharacter), QChar(0xFFFD));
  return text;
}

QByteArray KVStreamBytes(const QString& text, bool plain) {
  return KVIsRtf(text.left(16).toLatin1()) && !plain ? KVRtfBytes(text) : text.toUtf8();
}

QString KVStreamPlainText(QByteArrayView bytes, bool unicode) {
  TKVLineBreakExpander expander;
  QByteArray expanded = expander.Feed(bytes);
  expanded += expander.Finish();
  QByteArrayView v(expanded);
  if (unicode) {
    if (v.size() >= 2 && uchar(v[0]) == 0xFF && uchar(v[1]) == 0xFE) v = v.sliced(2);
    QStringDecoder dec(QStringConverter::Utf16LE);
    return dec.decode(v);
  }
  if (v.size() >= 3 && uchar(v[0]) == 0xEF && uchar(v[1]) == 0xBB && uchar(v[2]) == 0xBF) v = v.sliced(3);
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString s = utf8.decode(v);
  if (!utf8.hasError()) return s;
  QStringDecoder cp("windows-1252");
  return cp.decode(v);
}


// =============================================================================================

TKVRichDocument::TKVRichDocument() : own_(std::make_unique<QTextDocument>()), doc_(*own_), formatter_(doc_) {
  KVPrepareDocument(doc_);
  // Never laid out itself: the formatter lays out copies of it.
  doc_.setPageSize(QSizeF(0, 0));
  SetFont(TFont());
}

TKVRichDocument::TKVRichDocument(QTextDocument& document) : doc_(document), formatter_(doc_) {
  KVPrepareDocument(doc_);
}

TKVRichDocument::~TKVRichDocument() = default;

int TKVRichDocument::TextLength() const { return std::max(0, doc_.characterCount() - 1); }

// ---- the default format

QTextCharFormat TKVRichDocument::DefaultFormat() const {
  const QFont df = doc_.defaultFont();
  QTextCharFormat f;
  f.setFontFamilies(QStringList{df.family()});
  double pt = df.pointSizeF();
  if (pt <= 0 && df.pixelSize() > 0) pt = df.pixelSize() * 72.0 / KVLayoutDpi;
  f.setFontPointSize(pt > 0 ? pt : 12);
  f.setFontWeight(df.weight());
  f.setFontItalic(df.italic());
  f.setFontUnderline(df.underline());
  f.setFontStrikeOut(df.strikeOut());
  if (defaultColor_ != clWindowText) f.setForeground(ToQColor(defaultColor_));
  f.setProperty(kvpCharset, defaultCharset_);
  return f;
}

QFont TKVRichDocument::DefaultFontOf(const QTextCharFormat& f) const {
  QFont font = doc_.defaultFont();
  const QStringList families = f.fontFamilies().toStringList();
  if (!families.isEmpty()) font.setFamilies(families);
  if (f.fontPointSize() > 0) font.setPointSizeF(f.fontPointSize());
  font.setWeight(QFont::Weight(f.fontWeight()));
  font.setItalic(f.fontItalic());
  font.setUnderline(f.fontUnderline());
  font.setStrikeOut(f.fontStrikeOut());
  return font;
}

void TKVRichDocument::SetDefaultFont(const QFont& font, const QTextCharFormat& f) {
  doc_.setDefaultFont(font);
  defaultColor_ = f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush
                      ? FromQColor(f.foreground().color())
                      : clWindowText;
  defaultCharset_ = f.hasProperty(kvpCharset) ? f.intProperty(kvpCharset) : 1;
}

void TKVRichDocument::SetFont(const TFont& font) {
  QTextCharFormat f = DefaultFormat();
  KVMergeFont(f, font);
  SetDefaultFormat(f);
}

// ---- loading

void TKVRichDocument::LoadPlain(const QString& text) {
  const QString ready = KVDocumentReady(text);
  const bool undo = doc_.isUndoRedoEnabled();
  doc_.setUndoRedoEnabled(false);
  doc_.clear();
  KVPrepareDocument(doc_);
  QTextCursor(&doc_).insertText(ready);
  doc_.setUndoRedoEnabled(undo);
  doc_.setModified(false);
}

bool TKVRichDocument::LoadRich(QByteArrayView data) {
  if (!KVIsRtf(data)) return false;
  if (plainText_) {
    QTextDocument tmp;
    KVReadRtf(data, tmp);
    LoadPlain(KVDocumentText(tmp));
    return true;
  }
  KVReadRtf(data, doc_);
  return true;
}

void TKVRichDocument::Load(QByteArrayView bytes, bool rich, bool unicode) {
  // RTF that is none loads as plain text, as the control does after a failed stream-in.
  if (!rich || !LoadRich(bytes)) LoadPlain(KVStreamPlainText(bytes, unicode));
}

bool TKVRichDocument::SetRTFTextPart(const QString& text, int minChars) {
  if (plainText_ || !KVIsRtf(text.left(16).toLatin1())) {
    SetRTFText(text);
    return false;
  }
  return ReadRtfPart(text, minChars);
}

bool TKVRichDocument::ReadRtfPart(const QString& rtf, int minChars) {
  bool more = false;
  KVReadRtfPart(KVRtfBytes(rtf), doc_, minChars, more);
  return more;
}

// ---- rendering and printing

int TKVRichDocument::FormatRange(TKVFormatRange* range, bool render) {
  if (!range) {
    formatter_.Reset();
    return 0;
  }
  formatter_.SetAutoColor(ToQColor(defaultColor_));
  formatter_.SetMarkLinks(markLinks_);
  formatter_.SetDesignMetrics(range->LogX != KVLayoutDpi || range->LogY != KVLayoutDpi);
  return formatter_.Format(*range, render);
}

bool TKVRichDocument::RenderToPainter(QPainter& painter, const QRect& area, int leftMargin, int topMargin,
                                      int rightMargin, int bottomMargin, int* usedHeight) {
  const int width = std::min(area.width(), 32767);
  const int height = std::min(area.height(), 32767);
  const int len = TextLength();
  TKVFormatRange fr;
  fr.hdc = &painter;
  fr.LogX = fr.LogY = KVLayoutDpi;
  fr.rcPage = Rect(0, 0, MulDiv(width, 1440, KVLayoutDpi), MulDiv(height, 1440, KVLayoutDpi));
  fr.rc = Rect(MulDiv(leftMargin, 1440, KVLayoutDpi), MulDiv(topMargin, 1440, KVLayoutDpi),
               fr.rcPage.Right - MulDiv(rightMargin, 1440, KVLayoutDpi),
               fr.rcPage.Bottom - MulDiv(bottomMargin, 1440, KVLayoutDpi));
  painter.save();
  painter.translate(area.topLeft());
  const int next = FormatRange(&fr, true);
  painter.restore();
  const bool formatted = next > 0;
  if (usedHeight) *usedHeight = formatted ? MulDiv(fr.rc.Bottom, KVLayoutDpi, 1440) : 0;
  // Text that exists but of which nothing fitted has not been drawn.
  return len == 0 || (formatted && next >= len);
}

bool TKVRichDocument::RenderToBitmap(QImage& bitmap, int width, int height, int leftMargin, int topMargin,
                                     int rightMargin, int bottomMargin, int pixelsPerInch) {
  width = std::min(width, 32767);
  height = std::min(height, 32767);
  const int ppi = std::clamp(pixelsPerInch, 1, 9600);
  const int len = TextLength();
  struct Release {
    TKVRichDocument* d;
    ~Release() { d->FormatRange(nullptr, false); }
  } release{this};
  // Measure first: the bitmap is as high as the text used.
  TKVFormatRange fr;
  fr.LogX = fr.LogY = ppi;
  fr.rcPage = Rect(0, 0, MulDiv(width, 1440, ppi), MulDiv(height, 1440, ppi));
  fr.rc = Rect(MulDiv(leftMargin, 1440, ppi), MulDiv(topMargin, 1440, ppi),
               fr.rcPage.Right - MulDiv(rightMargin, 1440, ppi), fr.rcPage.Bottom - MulDiv(bottomMargin, 1440, ppi));
  const TKVFormatRange area = fr;
  const int next = width > 0 ? FormatRange(&fr, false) : 0;
  const int used = next > 0 ? MulDiv(fr.rc.Bottom, ppi, 1440) : 0;
  if (used <= 0) {
    bitmap = QImage();
    return len == 0;
  }
  // Painting on 32-bit pixels and converting once is about twice as fast as painting on
  // 24-bit pixels directly.
  QImage canvas(width, used, QImage::Format_RGB32);
  canvas.fill(ToQColor(color_));
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::TextAntialiasing);
  TKVFormatRange paint = area;
  paint.hdc = &painter;
  FormatRange(&paint, true);
  painter.end();
  bitmap = canvas.convertToFormat(QImage::Format_BGR888);
  return next >= len;
}

bool TKVRichDocument::RenderToBitmap(TKVBitmap& bitmap, int width, int height, int leftMargin, int topMargin,
                                     int rightMargin, int bottomMargin, int pixelsPerInch) {
  QImage image;
  const bool fitted =
      RenderToBitmap(image, width, height, leftMargin, topMargin, rightMargin, bottomMargin, pixelsPerInch);
  bitmap.BrushColor = color_;
  bitmap.BrushStyle = bsSolid;
  if (image.isNull()) bitmap.SetSize(std::clamp(width, 0, 32767), 0);
  else bitmap.SetImage(image);
  return fitted;
}

void TKVRichDocument::Print(const QString& caption, QPagedPaintDevice& device, const TRect& pageRect) {
  auto* printer = dynamic_cast<QPrinter*>(&device);
  if (printer) printer->setDocName(caption);
  else if (auto* pdf = dynamic_cast<QPdfWriter*>(&device)) pdf->setTitle(caption);
  QPainter painter;
  if (!painter.begin(&device)) throw EKVError(QStringLiteral("Printing could not be started"));
  const int logX = device.logicalDpiX(), logY = device.logicalDpiY();
  TRect rc;
  if (pageRect.Width() <= 0 || pageRect.Height() <= 0)
    rc = Rect(0, 0, device.width() * 1440 / logX, device.height() * 1440 / logY);
  else
    rc = Rect(pageRect.Left * 1440 / logX, pageRect.Top * 1440 / logY, pageRect.Right * 1440 / logX,
              pageRect.Bottom * 1440 / logY);
  const int len = TextLength();
  FormatRange(nullptr, false);
  try {
    int last = 0;
    do {
      TKVFormatRange fr;
      fr.hdc = &painter;
      fr.LogX = logX;
      fr.LogY = logY;
      fr.rc = rc;
      fr.rcPage = rc;
      fr.cpMin = last;
      const int next = FormatRange(&fr, true);
      // A page that takes no line would be followed by the same page again and again.
      if (next <= last && last < len) throw EKVError(QStringLiteral("The page is too small to print a line of text"));
      last = next;
      if (last < len) device.newPage();
    } while (last < len);
  } catch (...) {
    if (printer) printer->abort();
    painter.end();
    FormatRange(nullptr, false);
    throw;
  }
  painter.end();
  FormatRange(nullptr, false);
}
