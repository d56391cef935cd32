// What other programs' RTF carries and ours must keep, and what ours writes that they must read.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QTextDocument>

#include "controls/KVRichEdOLE.h"
#include "controls/KVRichText.h"
#include "controls/KVRtfReader.h"
#include "controls/KVRtfWriter.h"
#include "tests/controls/RtfTestUtil.h"

using namespace rtftest;

namespace {

QByteArray Written(const QByteArray& rtf, QTextDocument& doc) {
  EXPECT_TRUE(KVReadRtf(rtf, doc));
  return KVWriteRtf(doc);
}

}  // namespace

TEST(RtfFidelity, AFontWithoutCharsetIsTheDocumentsCodePageAndNeverWrittenAsDefaultCharset) {
  QTextDocument doc;
  QByteArray out = Written("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\\f0 caf\\'e9}", doc);
  EXPECT_EQ(doc.toPlainText(), QString::fromUtf8("café"));
  EXPECT_TRUE(out.contains("\\fcharset0 Arial;")) << out.constData();
  EXPECT_TRUE(out.contains("caf\\'e9"));

  // In a Cyrillic document the same byte is a Cyrillic letter, and the font says so when written.
  QTextDocument cyr;
  out = Written("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 Arial;}}\\f0 \\'e9}", cyr);
  EXPECT_EQ(cyr.toPlainText(), QString(QChar(0x0439)));
  EXPECT_TRUE(out.contains("\\fcharset204 Arial;")) << out.constData();
  EXPECT_TRUE(out.contains("\\'e9"));

  // The editor's own default character set (DEFAULT_CHARSET) is written as the code page it
  // encodes in.
  TKVRichEditOLE editor;
  TFont font;
  font.Name = "DejaVu Sans";
  font.Charset = 1;
  editor.SetFont(font);
  editor.SetSelText(QString::fromUtf8("Crème brûlée"));
  const QByteArray rtf = editor.GetRTFText().toLatin1();
  EXPECT_FALSE(rtf.contains("\\fcharset1 ")) << rtf.constData();
  EXPECT_TRUE(rtf.contains("Cr\\'e8me br\\'fbl\\'e9e"));
  // An explicit DEFAULT_CHARSET in a file is read as it stands.
  QTextDocument def;
  ASSERT_TRUE(KVReadRtf("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset1 Arial;}}\\f0 x}", def));
  EXPECT_EQ(FormatAt(def, 0).intProperty(kvpCharset), 1);
}

TEST(RtfFidelity, CharacterShadingIsKeptAsTheBackground) {
  QTextDocument a, b;
  const QByteArray out = Written(
      "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red0\\green0\\blue0;\\red255\\green255\\blue0;}"
      "\\f0 plain {\\chcbpat2\\chshdng0 shaded} plain}",
      a);
  EXPECT_EQ(FormatAt(a, 7).background().color(), QColor(255, 255, 0));
  EXPECT_EQ(FormatAt(a, 0).background().style(), Qt::NoBrush);
  ASSERT_TRUE(KVReadRtf(out, b));
  EXPECT_EQ(FormatAt(b, 7).background().color(), QColor(255, 255, 0));
  EXPECT_EQ(FormatAt(b, 14).background().style(), Qt::NoBrush);
}

TEST(RtfFidelity, UnderlineKindsAndCapitalsSurviveARoundTrip) {
  QTextDocument a, b;
  const QByteArray source =
      "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 "
      "{\\ul s}{\\uldb d}{\\ulth t}{\\ulw w}{\\ulwave v}{\\uld o}n{\\caps c}{\\scaps k}{\\caps\\caps0 x}}";
  const QByteArray out = Written(source, a);
  ASSERT_EQ(a.toPlainText(), "sdtwvonckx");  // capitals are shown, the text stays as typed
  for (const char* word : {"\\ul\\f0\\fs24 s", "\\uldb d", "\\ulth t", "\\ulw w", "\\ulwave v", "\\uld o", "\\ulnone n",
                           "\\caps c", "\\scaps k"})
    EXPECT_TRUE(out.contains(word)) << word << " in " << out.constData();
  ASSERT_TRUE(KVReadRtf(out, b));
  EXPECT_EQ(KVWriteRtf(b), out);
  EXPECT_TRUE(FormatAt(b, 1).fontUnderline());  // every kind is an underline to the editor
  EXPECT_EQ(FormatAt(b, 1).intProperty(kvpUnderlineKind), KVUnderlineKind("uldb"));
  EXPECT_EQ(FormatAt(b, 6).fontCapitalization(), QFont::MixedCase);
  EXPECT_EQ(FormatAt(b, 7).fontCapitalization(), QFont::AllUppercase);
  EXPECT_EQ(FormatAt(b, 8).fontCapitalization(), QFont::SmallCaps);
  EXPECT_EQ(FormatAt(b, 9).fontCapitalization(), QFont::MixedCase);
  EXPECT_EQ(KVUnderlineKind("ulnone"), -1);

  // The toolbar's underline toggle gives the single line back.
  TKVRichEditOLE editor;
  editor.SetRTFText(QString::fromLatin1("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 {\\uldb double}}"));
  editor.SetSelection(0, 6, false);
  editor.ToggleStyle(fsUnderline);
  editor.ToggleStyle(fsUnderline);
  const QString rtf = editor.GetRTFText();
  EXPECT_TRUE(rtf.contains("\\ul\\f0\\fs24 double")) << rtf.toStdString();
}

TEST(RtfFidelity, TextWithoutAFontOfItsOwnIsWrittenInAnInstalledFamily) {
  QTextDocument doc;
  doc.setDefaultFont(QFont("MS Sans Serif"));  // the class library's default face, not installed here
  doc.setPlainText("text");
  const QByteArray rtf = KVWriteRtf(doc);
  const QString shown = QFontInfo(doc.defaultFont()).family();
  ASSERT_FALSE(QFontDatabase::hasFamily("MS Sans Serif"));
  EXPECT_TRUE(QFontDatabase::hasFamily(shown));
  EXPECT_TRUE(rtf.contains(("\\fcharset0 " + shown + ";").toLatin1())) << rtf.constData();

  // An installed face is written as it is; so is a face a run names, installed or not.
  doc.setDefaultFont(QFont("DejaVu Sans"));
  EXPECT_TRUE(KVWriteRtf(doc).contains("\\fcharset0 DejaVu Sans;"));
  QTextDocument named;
  ASSERT_TRUE(KVReadRtf("{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Calibri;}}\\f0 x}", named));
  EXPECT_TRUE(KVWriteRtf(named).contains("\\fcharset0 Calibri;"));
}
