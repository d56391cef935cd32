// The rich-text document without the editor control: it starts, loads and draws as the editor
// does, so that what draws rich text without a widget (the calendar's notes) shows what an editor
// would show.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTextDocument>
#include <QTextFrame>
#include <QWidget>

#include "controls/KVRichDoc.h"
#include "controls/KVRichEdOLE.h"
#include "controls/KVRtfWriter.h"
#include "tests/controls/RtfTestUtil.h"

using namespace rtftest;

namespace {

QString Rtf(const QString& body) {
  return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss DejaVu Sans;}{\\f1\\froman DejaVu Serif;}}"
         "{\\colortbl;\\red200\\green0\\blue0;\\red0\\green0\\blue128;}\\f0\\fs20 " +
         body + "}";
}

// What the editor and the document were given to hold, by what it shows.
struct TCase {
  const char* what;
  QString text;
};

std::vector<TCase> Texts() {
  const QByteArray png = Encoded(Solid(6, 4, Qt::blue), "PNG");
  return {
      {"plain text with line ends", "Buy milk\r\nCall the garage\rWater\nthe plants\r\n"},
      {"plain text with accents", QString::fromUtf8("Café à la crème, naïve façade")},
      {"RTF without a font table", "{\\rtf1 Buy milk\\par Call the garage\\par Water the plants\\par}"},
      {"RTF with fonts, sizes, colours and styles",
       Rtf("\\b Bold\\b0  and \\i italic\\i0 , \\ul under\\ulnone , {\\f1\\fs32 large serif} "
           "\\cf1 red\\cf0  and \\cf2\\highlight1 marked\\highlight0\\cf0\\par next line\\line broken")},
      {"RTF with links", Rtf("See www.example.com and http://example.org/a?b=c, or mailto:me@example.com\\par")},
      {"RTF with lists, indents and tabs",
       Rtf("{\\pntext 1.\\tab}{\\*\\pn\\pnlvlbody\\pndec\\pnstart1{\\pntxta .}}\\fi-360\\li720 one\\par "
           "{\\pntext 2.\\tab}two\\par\\pard\\qc centred\\par\\pard\\tx2000 a\\tab b\\par")},
      {"RTF with a picture",
       Rtf("before {\\pict\\pngblip\\picwgoal900\\pichgoal600 " + QString::fromLatin1(png.toHex()) + "} after")},
      {"many short paragraphs", Rtf(QString("Line of the note\\par ").repeated(300))},
      {"a long paragraph", Rtf(QString("word and more words ").repeated(600))},
      {"empty RTF", "{\\rtf1 }"},
      {"nothing", ""},
  };
}

// An editor that only draws: hidden, 1 x 1 pixels, on white.
struct THiddenEditor {
  TKVRichEditOLE editor;
  THiddenEditor() {
    editor.setAttribute(Qt::WA_DontShowOnScreen);
    editor.resize(1, 1);
    editor.SetColor(clWhite);
  }
};

}  // namespace

TEST(RichDocument, StartsAndTakesFontsAsTheEditorDoes) {
  THiddenEditor hidden;
  TKVRichDocument doc;
  const auto same = [&](const char* when) {
    SCOPED_TRACE(when);
    const QTextDocument& e = *hidden.editor.document();
    const QTextDocument& d = doc.Document();
    EXPECT_EQ(d.defaultFont(), e.defaultFont());
    EXPECT_EQ(d.defaultFont().toString(), e.defaultFont().toString());
    EXPECT_EQ(d.defaultFont().resolveMask(), e.defaultFont().resolveMask());
    EXPECT_TRUE(doc.DefaultFormat() == hidden.editor.DefAttributes().Format());
    const QTextOption a = d.defaultTextOption(), b = e.defaultTextOption();
    EXPECT_EQ(a.tabStopDistance(), b.tabStopDistance());
    EXPECT_EQ(a.wrapMode(), b.wrapMode());
    EXPECT_EQ(a.alignment(), b.alignment());
    EXPECT_EQ(a.textDirection(), b.textDirection());
    EXPECT_EQ(a.flags(), b.flags());
    EXPECT_EQ(d.indentWidth(), e.indentWidth());
    EXPECT_TRUE(d.rootFrame()->frameFormat() == e.rootFrame()->frameFormat());
  };
  same("new");
  TFont font;
  font.Name = "DejaVu Serif";
  font.Size = 14;
  font.Style = FontStyle(fsBold) | FontStyle(fsItalic);
  font.Color = RGB(0, 0, 128);
  font.Charset = 0;
  hidden.editor.SetFont(font);
  doc.SetFont(font);
  same("with a font of its own");
  font.Color = clWindowText;
  font.Style = FontStyle(fsUnderline);
  hidden.editor.SetFont(font);
  doc.SetFont(font);
  same("with the automatic colour");
}

TEST(RichDocument, DrawsWhatTheHiddenEditorDraws) {
  TFont serif;
  serif.Name = "DejaVu Serif";
  serif.Size = 11;
  serif.Color = RGB(0, 90, 0);
  for (const bool ownFont : {false, true})
    for (const TCase& c : Texts()) {
      SCOPED_TRACE(std::string(c.what) + (ownFont ? ", own font" : ""));
      THiddenEditor hidden;
      TKVRichDocument doc;
      doc.SetColor(clWhite);
      if (ownFont) {
        hidden.editor.SetFont(serif);
        doc.SetFont(serif);
      }
      hidden.editor.SetRTFText(c.text);
      doc.SetRTFText(c.text);
      ASSERT_EQ(KVDocumentText(doc.Document()), KVDocumentText(*hidden.editor.document()));
      for (const int ppi : {96, 144, 192})
        for (const QSize room : {QSize(300, 10000), QSize(180, 120), QSize(40, 60)}) {
          SCOPED_TRACE(QString("%1 ppi, %2 x %3").arg(ppi).arg(room.width()).arg(room.height()).toStdString());
          TKVBitmap got, want;
          const bool fitted = doc.RenderToBitmap(got, room.width(), room.height(), 6, 6, 6, 6, ppi);
          EXPECT_EQ(fitted, hidden.editor.RenderToBitmap(want, room.width(), room.height(), 6, 6, 6, 6, ppi));
          EXPECT_EQ(got.Width(), want.Width());
          EXPECT_EQ(got.Height(), want.Height());
          EXPECT_TRUE(got.Image() == want.Image());
          EXPECT_EQ(got.BrushColor, want.BrushColor);
        }
    }
}

TEST(RichDocument, ReadsTheBeginningOfALongTextAsTheEditorDoes) {
  const QString text = Rtf(QString("A paragraph of the diary\\par ").repeated(5000));
  THiddenEditor hidden;
  TKVRichDocument doc;
  doc.SetColor(clWhite);
  for (const int part : {1, 4096, 1 << 20}) {
    SCOPED_TRACE(part);
    EXPECT_EQ(doc.SetRTFTextPart(text, part), hidden.editor.SetRTFTextPart(text, part));
    EXPECT_EQ(doc.TextLength(), hidden.editor.GetTextLen());
    TKVBitmap got, want;
    EXPECT_EQ(doc.RenderToBitmap(got, 300, 2000, 6, 6, 6, 6), hidden.editor.RenderToBitmap(want, 300, 2000, 6, 6, 6, 6));
    EXPECT_TRUE(got.Image() == want.Image());
  }
  // Plain text, and anything in plain mode, is read whole, as the editor reads it.
  for (const bool plain : {false, true}) {
    hidden.editor.SetPlainText(plain);
    doc.SetPlainText(plain);
    for (const QString& t : {QString("plain\r\ntext"), Rtf("\\b bold\\b0\\par next")}) {
      SCOPED_TRACE(t.toStdString());
      if (plain || !t.startsWith("{")) EXPECT_FALSE(doc.SetRTFTextPart(t, 1));
      else doc.SetRTFTextPart(t, 1);
      hidden.editor.SetRTFTextPart(t, 1);
      EXPECT_EQ(KVDocumentText(doc.Document()), KVDocumentText(*hidden.editor.document()));
    }
  }
}

TEST(RichDocument, MakesNoWidget) {
  const qsizetype before = QApplication::allWidgets().size();
  {
    TKVRichDocument doc;
    doc.SetRTFText(Rtf("Some \\b rich\\b0  text\\par"));
    TKVBitmap b;
    EXPECT_TRUE(doc.RenderToBitmap(b, 200, 200, 6, 6, 6, 6));
    EXPECT_GT(b.Height(), 0);
    EXPECT_EQ(QApplication::allWidgets().size(), before);
  }
}
