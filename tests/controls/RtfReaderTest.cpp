#include <gtest/gtest.h>
#include <zlib.h>

#include <QBuffer>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include "controls/KVRichPicture.h"
#include "controls/KVRichText.h"
#include "controls/KVRtfReader.h"
#include "controls/KVRtfWriter.h"
#include "foundation/KVZlib.h"
#include "tests/common/TestUtil.h"
#include "tests/controls/RtfTestUtil.h"

using namespace rtftest;

namespace {

QTextDocument* Read(const QByteArray& rtf) {
  static QTextDocument* doc = nullptr;
  delete doc;
  doc = new QTextDocument;
  EXPECT_TRUE(KVReadRtf(rtf, *doc));
  return doc;
}

// A picture group with the data as hex in lines.
QByteArray Pict(const char* kind, const QByteArray& data, const QByteArray& extra = {}) {
  return QByteArray("{\\pict\\") + kind + extra + "\r\n" + data.toHex() + "}";
}

}  // namespace

TEST(RtfReader, ReadsWhatTheRichEditControlWrites) {
  const QByteArray rtf =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
      "{\\f1\\froman\\fprq2\\fcharset0 Times New Roman;}}\r\n"
      "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue0;}\r\n"
      "\\viewkind4\\uc1\\pard\\cf1\\b\\f0\\fs20 Red bold\\cf0\\b0  auto \\cf2 black\\par\r\n"
      "\\pard\\qc\\f1\\fs32 Centre\\par\r\n}\r\n";
  QTextDocument* doc = Read(rtf);
  EXPECT_EQ(Blocks(*doc), "Red bold auto black|Centre");
  const QTextCharFormat red = FormatAt(*doc, 0);
  EXPECT_EQ(red.foreground().color(), QColor(255, 0, 0));
  EXPECT_EQ(red.fontWeight(), QFont::Bold);
  EXPECT_EQ(red.fontPointSize(), 10);
  EXPECT_EQ(red.fontFamilies().toStringList().value(0), "Arial");
  EXPECT_EQ(red.intProperty(kvpPitchFamily), 0x20);
  // \cf0 names the empty first entry: the automatic colour, which is no colour at all.
  EXPECT_FALSE(FormatAt(*doc, 10).hasProperty(QTextFormat::ForegroundBrush));
  // An explicit black is kept apart from the automatic colour.
  const QTextCharFormat black = FormatAt(*doc, 15);
  ASSERT_TRUE(black.hasProperty(QTextFormat::ForegroundBrush));
  EXPECT_EQ(black.foreground().color(), QColor(0, 0, 0));
  const QTextBlock second = doc->begin().next();
  EXPECT_EQ(second.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_EQ(FormatAt(*doc, second.position()).fontPointSize(), 16);
  EXPECT_EQ(FormatAt(*doc, second.position()).fontFamilies().toStringList().value(0), "Times New Roman");
}

TEST(RtfReader, TrailingParagraphMarkEndsTheLastParagraph) {
  EXPECT_EQ(Blocks(*Read("{\\rtf1 a\\par}")), "a");
  EXPECT_EQ(Blocks(*Read("{\\rtf1 a\\par\\par}")), "a|");
  EXPECT_EQ(Blocks(*Read("{\\rtf1 a\\par b}")), "a|b");
  EXPECT_EQ(Blocks(*Read("{\\rtf1 \\par}")), "");
  EXPECT_EQ(Blocks(*Read("{\\rtf1 a\\line b\\tab c}")), QString("a") + QChar(0x2028) + "b\tc");
}

TEST(RtfReader, CodePagesComeFromTheFontCharsetOrTheDocument) {
  // Cyrillic by \ansicpg for a font without a charset of its own.
  QTextDocument* doc = Read("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fnil Tahoma;}}\\f0 \\'cf\\'f0\\'e8}");
  EXPECT_EQ(Blocks(*doc), QString::fromUtf8("При"));
  // The font's charset wins over the document code page; raw 8-bit bytes decode the same way.
  doc = Read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}{\\f1\\fnil\\fcharset204 Arial;}"
             "{\\f2\\fnil\\fcharset161 Arial;}}\\f0\\'e9\\f1\\'e9\\f2\\'e9 \xe9}");
  EXPECT_EQ(Blocks(*doc), QString::fromUtf8("éйι ι"));
  // Double-byte: a lead byte and its trail byte, also when the trail byte is plain ASCII.
  doc = Read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil\\fcharset128 MS Gothic;}}\\f0\\'82\\'a0\\'83A}");
  EXPECT_EQ(Blocks(*doc), QString::fromUtf8("あア"));
  // Font names in the code page of their charset.
  doc = Read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil\\fcharset204 \\'d2\\'e0\\'e9\\'ec\\'f1;}}\\f0 x}");
  EXPECT_EQ(FormatAt(*doc, 0).fontFamilies().toStringList().value(0), QString::fromUtf8("Таймс"));
  // The Symbol font's bullet and Greek letters.
  doc = Read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil\\fcharset2 Symbol;}}\\f0\\'b7 ab}");
  EXPECT_EQ(Blocks(*doc), QString::fromUtf8("• αβ"));
}

TEST(RtfReader, UnicodeEscapesSkipTheirFallback) {
  EXPECT_EQ(Blocks(*Read("{\\rtf1\\uc1\\u1055?\\u-1218?x}")), QString::fromUtf8("П\uFB3Ex"));
  // \'hh counts as one skipped character; \uc0 skips nothing; \uc2 two.
  EXPECT_EQ(Blocks(*Read("{\\rtf1\\uc1\\u1055\\'cfy}")), QString::fromUtf8("Пy"));
  EXPECT_EQ(Blocks(*Read("{\\rtf1\\uc0\\u1055 y}")), QString::fromUtf8("Пy"));
  EXPECT_EQ(Blocks(*Read("{\\rtf1\\uc2\\u1055??y}")), QString::fromUtf8("Пy"));
  // \uc is scoped to its group; a group end stops skipping.
  EXPECT_EQ(Blocks(*Read("{\\rtf1\\uc1{\\uc3 a}\\u1055?b{\\u1055}c}")), QString::fromUtf8("aПbПc"));
  // Surrogate pairs.
  EXPECT_EQ(Blocks(*Read("{\\rtf1\\uc1\\u-10179?\\u-8704?}")), QString::fromUtf8("😀"));
  // Escaped braces and backslash, non-breaking space and hyphens.
  EXPECT_EQ(Blocks(*Read("{\\rtf1 \\{\\}\\\\\\~\\-\\_}")), QString::fromUtf8("{}\\\u00a0\u00ad\u2011"));
}

TEST(RtfReader, BulletsAndNumberingBecomeListsWithoutTheirNumberText) {
  const QByteArray rtf =
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}{\\f1\\fnil\\fcharset2 Symbol;}}"
      "\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}"
      "\\fi-200\\li200\\f0 one\\par{\\pntext\\f1\\'B7\\tab}two\\par"
      "\\pard{\\pntext\\f0 1.\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec{\\pntxta.}}"
      "\\fi-360\\li360 first\\par{\\pntext\\f0 2.\\tab}second\\par\\pard plain\\par}";
  QTextDocument* doc = Read(rtf);
  EXPECT_EQ(Blocks(*doc), "one|two|first|second|plain");
  QTextBlock b = doc->begin();
  ASSERT_NE(b.textList(), nullptr);
  EXPECT_EQ(b.textList()->format().intProperty(kvpNumbering), nbBullet);
  EXPECT_EQ(b.textList(), b.next().textList());
  EXPECT_EQ(b.blockFormat().intProperty(kvpLeftIndentTw), 200);
  EXPECT_EQ(b.blockFormat().intProperty(kvpFirstIndentTw), -200);
  b = b.next().next();
  ASSERT_NE(b.textList(), nullptr);
  EXPECT_EQ(b.textList()->format().intProperty(kvpNumbering), nbArabic);
  EXPECT_EQ(b.textList()->format().numberSuffix(), ".");
  EXPECT_EQ(b.textList()->count(), 2);
  EXPECT_EQ(b.next().next().textList(), nullptr);
}

TEST(RtfReader, WordListsResolveThroughTheOverrideTable) {
  const QByteArray rtf =
      "{\\rtf1\\ansi{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc4\\levelstartat1"
      "{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}}\\listid77}}"
      "{\\*\\listoverridetable{\\listoverride\\listid77\\listoverridecount0\\ls3}}"
      "\\pard\\ls3\\ilvl0{\\listtext a.\\tab}x\\par{\\listtext b.\\tab}y\\par}";
  QTextDocument* doc = Read(rtf);
  EXPECT_EQ(Blocks(*doc), "x|y");
  ASSERT_NE(doc->begin().textList(), nullptr);
  EXPECT_EQ(doc->begin().textList()->format().intProperty(kvpNumbering), nbLowerLetter);
}

TEST(RtfReader, IndentsAndTabsInTwips) {
  QTextDocument* doc = Read("{\\rtf1\\pard\\fi300\\li600\\ri150\\sb120\\sa240\\tx1440\\tqr\\tx2880 a\\tab b}");
  const QTextBlockFormat bf = doc->begin().blockFormat();
  EXPECT_DOUBLE_EQ(bf.leftMargin(), 40);
  EXPECT_DOUBLE_EQ(bf.textIndent(), 20);
  EXPECT_DOUBLE_EQ(bf.rightMargin(), 10);
  EXPECT_DOUBLE_EQ(bf.topMargin(), 8);
  EXPECT_DOUBLE_EQ(bf.bottomMargin(), 16);
  ASSERT_EQ(bf.tabPositions().size(), 2);
  EXPECT_DOUBLE_EQ(bf.tabPositions()[0].position, 96);
  EXPECT_EQ(bf.tabPositions()[1].type, QTextOption::RightTab);
}

TEST(RtfReader, HyperlinkFieldsShowTheirResultAsLink) {
  QTextDocument* doc = Read(
      "{\\rtf1 see {\\field{\\*\\fldinst{HYPERLINK \"http://example.org/a\" }}{\\fldrslt{\\ul\\cf1 site}}} "
      "and {\\field{\\*\\fldinst PAGE}{\\fldrslt 7}}.}");
  EXPECT_EQ(Blocks(*doc), "see site and 7.");
  const QTextCharFormat link = FormatAt(*doc, 4);
  EXPECT_TRUE(link.isAnchor());
  EXPECT_EQ(link.anchorHref(), "http://example.org/a");
  EXPECT_FALSE(FormatAt(*doc, 9).isAnchor());
  EXPECT_EQ(FormatAt(*doc, 13).stringProperty(kvpFieldInst), "PAGE");
  EXPECT_EQ(KVHyperlinkTarget("HYPERLINK \\l \"top\""), "#top");
}

TEST(RtfReader, TablesBecomeTabSeparatedRows) {
  QTextDocument* doc = Read(
      "{\\rtf1\\trowd\\trgaph108\\cellx1000\\cellx2000\\cellx3000\\pard\\intbl a\\cell b\\cell c\\cell\\row"
      "\\trowd\\cellx1000\\cellx2000\\pard\\intbl d\\cell\\cell\\row\\pard after\\par}");
  EXPECT_EQ(Blocks(*doc), "a\tb\tc|d\t|after");
}

TEST(RtfReader, PicturesOfEveryKindDecode) {
  const QByteArray dib = Dib24(4, 3, qRgb(0, 0, 255), qRgb(255, 0, 0));
  const QImage png = Solid(5, 2, Qt::green);
  const QByteArray rtf = "{\\rtf1 " + Pict("dibitmap0", dib, "\\picw4\\pich3\\picwgoal600\\pichgoal450") +
                         Pict("wmetafile8", WmfWithDib(dib, 4, 3), "\\picw106\\pich79") +
                         Pict("pngblip", Encoded(png, "PNG"), "\\picscalex200\\picscaley50") +
                         Pict("jpegblip", Encoded(Solid(8, 8, Qt::white), "JPEG")) +
                         Pict("emfblip", EmfWithDib(dib, 4, 3)) + "}";
  QTextDocument* doc = Read(rtf);
  ASSERT_EQ(doc->characterCount() - 1, 5);
  for (int i = 0; i < 5; ++i) {
    const TKVPicture p = KVPictureOf(FormatAt(*doc, i));
    ASSERT_FALSE(p.Image.isNull()) << i;
    EXPECT_FALSE(p.Raw.isEmpty());
  }
  const TKVPicture d = KVPictureOf(FormatAt(*doc, 0));
  EXPECT_EQ(d.Image.size(), QSize(4, 3));
  EXPECT_EQ(d.Image.pixelColor(0, 0), QColor(255, 0, 0));  // bottom-up rows come out upright
  EXPECT_EQ(d.Image.pixelColor(3, 2), QColor(0, 0, 255));
  EXPECT_EQ(d.WidthTw, 600);
  EXPECT_EQ(d.HeightTw, 450);
  EXPECT_EQ(KVPictureOf(FormatAt(*doc, 1)).Image.pixelColor(0, 0), QColor(255, 0, 0));
  EXPECT_EQ(KVPictureOf(FormatAt(*doc, 1)).WidthTw, 106 * 1440 / 2540);  // HIMETRIC
  const TKVPicture g = KVPictureOf(FormatAt(*doc, 2));
  EXPECT_EQ(g.WidthTw, 5 * 15 * 2);
  EXPECT_EQ(g.HeightTw, 2 * 15 / 2);
  EXPECT_EQ(KVPictureOf(FormatAt(*doc, 4)).Image.pixelColor(0, 0), QColor(255, 0, 0));
}

TEST(RtfReader, WordPicturesAndObjectsShowTheirResult) {
  const QByteArray png = Encoded(Solid(3, 3, Qt::red), "PNG");
  const QByteArray object = "{\\object\\objemb{\\*\\objclass Paint.Picture}\\objw300\\objh200"
                            "{\\*\\objdata 0105000002000000}{\\result" + Pict("pngblip", png) + "}}";
  const QByteArray rtf = "{\\rtf1 a{\\*\\shppict" + Pict("pngblip", png) + "}{\\nonshppict" +
                         Pict("wmetafile8", "0100") + "}b" + object +
                         "c{\\object\\objemb{\\*\\objclass Word.Document}\\objw500\\objh400{\\*\\objdata 00}}d}";
  QTextDocument* doc = Read(rtf);
  EXPECT_EQ(Blocks(*doc), QString("a") + QChar(0xFFFC) + "b" + QChar(0xFFFC) + "c" + QChar(0xFFFC) + "d");
  const TKVPicture obj = KVPictureOf(FormatAt(*doc, 3));
  EXPECT_EQ(obj.ClassName, "Paint.Picture");
  EXPECT_EQ(obj.Raw, object);
  EXPECT_FALSE(obj.Image.isNull());
  const TKVPicture bare = KVPictureOf(FormatAt(*doc, 5));
  EXPECT_TRUE(bare.Image.isNull());
  EXPECT_EQ(bare.WidthTw, 500);
  EXPECT_EQ(bare.ClassName, "Word.Document");
}

TEST(RtfReader, SkipsWhatIsNeverShown) {
  QTextDocument* doc = Read(
      "{\\rtf1{\\info{\\title T}{\\author A}}{\\stylesheet{\\s0 Normal;}}{\\*\\generator G;}"
      "{\\header H}{\\*\\unknowndest Z}{\\footnote F}a{\\v hidden}b{\\*\\bkmkstart x}c"
      "{\\upr{ansi}{\\*\\ud{uni}}}}");
  EXPECT_EQ(Blocks(*doc), "abcuni");
}

TEST(RtfReader, RefusesWhatIsNoRtf) {
  QTextDocument doc;
  doc.setPlainText("keep");
  EXPECT_FALSE(KVReadRtf("plain text", doc));
  EXPECT_FALSE(KVReadRtf("", doc));
  EXPECT_FALSE(KVReadRtf("{\\rt", doc));
  EXPECT_EQ(doc.toPlainText(), "keep");
  EXPECT_FALSE(KVRtfToText("{\\pict}").has_value());
  EXPECT_TRUE(KVIsRtf("  \r\n{\\rtf1}"));
}

TEST(RtfReader, BadInputLoadsLenientlyWithinLimits) {
  QTextDocument doc;
  // Truncated inside a group and inside a picture: the text before stays, the picture goes.
  ASSERT_TRUE(KVReadRtf("{\\rtf1 abc{\\b def", doc));
  EXPECT_EQ(Blocks(doc), "abcdef");
  ASSERT_TRUE(KVReadRtf("{\\rtf1 abc{\\pict\\pngblip 89504e47", doc));
  EXPECT_EQ(Blocks(doc), "abc");
  // Extra closing braces end the document; what follows is not read.
  ASSERT_TRUE(KVReadRtf("{\\rtf1 a}}}b", doc));
  EXPECT_EQ(Blocks(doc), "a");
  // Nesting far beyond the limit.
  QByteArray deep = "{\\rtf1 ";
  deep += QByteArray(200000, '{') + "x" + QByteArray(200000, '}') + "y}";
  ASSERT_TRUE(KVReadRtf(deep, doc));
  EXPECT_EQ(Blocks(doc), "xy");
  // Bad hex, overlong numbers and words, \bin beyond the end.
  ASSERT_TRUE(KVReadRtf("{\\rtf1 a\\'zz\\'4 b\\fs99999999999999999999 c\\" + QByteArray(500, 'x') +
                            " d\\u99999999999?e\\bin999999 tail}",
                        doc));
  EXPECT_TRUE(Blocks(doc).startsWith("azz"));
  // Pictures whose headers claim enormous sizes are kept but not decoded.
  QByteArray huge = Dib24(2, 2, 0, 0);
  huge[4] = char(0xFF);
  huge[5] = char(0xFF);
  huge[8] = char(0xFF);
  huge[9] = char(0xFF);
  const QByteArray bigPng = PngClaiming(Encoded(Solid(2, 2, Qt::red), "PNG"), 30000, 30000);
  EXPECT_TRUE(KVDecodeEncodedImage(bigPng, "png").isNull());
  EXPECT_FALSE(KVDecodeEncodedImage(PngClaiming(Encoded(Solid(2, 2, Qt::red), "PNG"), 2, 2), "png").isNull());
  ASSERT_TRUE(KVReadRtf("{\\rtf1 " + Pict("dibitmap0", huge) + Pict("pngblip", bigPng) +
                            Pict("wmetafile8", "0100090000") + "}",
                        doc));
  ASSERT_EQ(doc.characterCount() - 1, 3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(KVPictureOf(FormatAt(doc, i)).Image.isNull()) << i;
  EXPECT_TRUE(KVDecodeDib(QByteArray(10, 'x')).isNull());
  EXPECT_TRUE(KVDecodeEmfBitmap(QByteArray(100, '\xff')).isNull());
}

TEST(RtfReader, TextOnlyModeMatchesTheDocument) {
  const QByteArray rtf =
      "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 Arial;}}\\f0 \\'cf\\'f0\\par b\\line c\\tab "
      "{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt link}}" +
      Pict("pngblip", Encoded(Solid(2, 2, Qt::red), "PNG")) + "\\par\\par}";
  QTextDocument doc;
  ASSERT_TRUE(KVReadRtf(rtf, doc));
  const std::optional<QString> text = KVRtfToText(rtf);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, KVDocumentText(doc));
  EXPECT_EQ(*text, QString::fromUtf8("Пр\rb\vc\tlink\uFFFC\r"));
}

// The text-only reading takes a shorter way through what editors write and the long one through
// the rest: either way it is the document's text.
TEST(RtfReader, TextOnlyModeMatchesTheDocumentWhateverTheTextHolds) {
  const QByteArray fonts =
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\fcharset204 Arial Cyr;}"
      "{\\f2\\fcharset161 Times Greek;}{\\f3\\fnil\\fcharset2 Symbol;}{\\f4\\fcharset2  sYmbol ;}{\\f5\\cpg1253 Cp;}"
      "{\\f6\\fcharset2 SymbolMT;}{\\f7\\fcharset128 MS Mincho;}{\\f8 Odd{\\*\\panose 020b0604}{\\*\\falt Alt};}}";
  const QByteArray png = Encoded(Solid(2, 2, Qt::red), "PNG");
  const QList<QByteArray> bodies = {
      // Code pages: of fonts, of the document, escaped and raw bytes, symbol fonts.
      "\\f1 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2 \xcc\xe8\xf0\\f0  caf\\'e9 \xe9",
      "\\f2 \\'e1\\'e3\\'d3 \\f5 \\'e1\\f3 abc\\'b7\\f4 abc\\f6 abc\\plain abc",
      "\\ansicpg1251 \\'e0\\f0 \\'e0{\\f9 \\'e0}\\deff1 \\'e0\\plain \\'e0",
      "\\mac \\'8e\\pc \\'82\\pca \\'82\\ansi \\'82",
      // Unicode and what stands in for it.
      "\\uc1 \\u1055?\\u-3913?\\uc0 \\u945\\u946 \\uc2 \\u8364\\'80\\'80x\\u8364 ?y\\u8364\\par z\\u8364{a}b",
      "\\uc1 \\u8232?\\u8233?\\u65532?\\u64976?\\u133?\\u55357?\\u56832?\\u9?\\u0?",
      "{\\uc3 \\u20320\\'e4\\'bd\\'a0}after{\\u8364\\tab}x\\u8364\ty\\u8364\\\r\nz",
      // Destinations left out, and text around them.
      "a{\\*\\bkmkstart x}b{\\*\\unknown {nested}\\bin3 }}}c}d{\\info{\\title T}}e{\\stylesheet{\\s1 S;}}f",
      "a{x\\*\\foo y}b{\\*\\fldinst z}c{\\*\\b bold}d\\*e\\foo f{\\*\\generator G;}g{\\nonshppict n}h",
      "a\\bin4 {}}\\b\\bin-3 b\\bin c\\bin99999 ",
      // Fields, numbering, hidden text.
      "{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt {\\ul link}}} {\\field{\\*\\fldinst PAGE}}",
      "{\\pntext\\f0 1.\\tab}{\\*\\pn\\pnlvlbody\\pndec{\\pntxta .}{\\pntxtb (}}item\\par{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}b",
      "a\\v hidden\\par\\'e0\\u1055?\\tab\\v0 b{\\v c}d\\v e\\plain f\\v1 g\\v0 h",
      // Paragraphs, lines and signs.
      "a\\par\\par b\\line c\\sect d\\page e\\column f\\\n g\\\rh\\par\\par",
      "\\~\\-\\_\\{\\}\\\\\\emdash\\endash\\emspace\\enspace\\qmspace\\bullet\\lquote\\rquote\\ldblquote\\rdblquote"
      "\\zwj\\zwnj\\ltrmark\\rtlmark\\:\\|\\'\\'4\\'zz\x01\x7f",
      // Pictures: alone in their group or not, kept aside, broken off.
      "a" + Pict("pngblip", png) + "b{x" + Pict("pngblip", png).mid(1) + "c{\\*\\shppict" + Pict("pngblip", png) +
          "}{\\nonshppict" + Pict("wmetafile8", "0100") + "}d{\r\n\\pict\\pngblip 00}e{\\v{\\pict 00}}f\\pict 00 g",
      "a{\\*\\pn{\\pict 00}\\pict 00}b{\\fonttbl{\\pict 00}}c{\\colortbl{\\pict 00};}d{\\pict\\bin2 }}x}e",
      // What only the reader follows: objects, tables, lists, alternatives, double-byte text.
      "a{\\object\\objemb{\\*\\objclass Paint}{\\result{\\pict 00}}}b",
      "\\trowd\\cellx100\\cellx200 a\\cell b\\cell\\row c\\cell\\cell\\cell\\row",
      "{\\*\\listtable{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\'b7;}}\\listid7}}{\\*\\listoverridetable"
      "{\\listoverride\\listid7\\ls1}}\\ls1 item\\par",
      "{\\upr{a}{\\*\\ud{b}}}c",
      "\\f7 \\'82\\'a0\\'82\\'a2 x\\f0 y",
      // Damaged: braces that do not match, a backslash at the end.
      "a{b{c}d", "a}b", "a{\\f1 \\'e0", "abc\\",
  };
  for (const QByteArray& body : bodies) {
    for (const QByteArray& in : {fonts + body + "}", "{\\rtf1 " + body + "}", fonts + body}) {
      QTextDocument doc;
      ASSERT_TRUE(KVReadRtf(in, doc));
      EXPECT_EQ(KVRtfToText(in).value_or("?"), KVDocumentText(doc)) << in.constData();
    }
  }
  EXPECT_EQ(KVRtfToText(fonts + bodies[0] + "}"), QString::fromUtf8("Привет Мир café é"));
  // Greek by the font's character set and by its code page; Symbol by name, not SymbolMT.
  EXPECT_EQ(KVRtfToText(fonts + bodies[1] + "}"), QString::fromUtf16(u"αγΣ ααβχ•αβχ\uF061\uF062\uF063abc"));
  // Many texts through one string: each gives its own text, and what is no RTF leaves it be.
  QString text;
  ASSERT_TRUE(KVRtfToText(fonts + bodies[7] + "}", text));
  EXPECT_EQ(text, KVRtfToText(fonts + bodies[7] + "}"));
  ASSERT_TRUE(KVRtfToText("{\\rtf1 ab\\cell}", text));
  EXPECT_EQ(text, "ab");
  ASSERT_TRUE(KVRtfToText("{\\rtf1 x}", text));
  EXPECT_EQ(text, "x");
  EXPECT_FALSE(KVRtfToText("plain", text));
  EXPECT_EQ(text, "x");
}

TEST(RtfReader, CharactersTheDocumentTakesAsItsOwnMarksStayInTheirParagraph) {
  // U+2029 ends a paragraph, U+FDD0 and U+FDD1 open and close a frame, U+FFFC is a picture: as
  // text they would change the document's structure, and the text-only reader would disagree.
  const QByteArray rtf = "{\\rtf1\\uc1 a\\u8233?b\\u64976?c\\u-559?d\\u65532?e\\par f}";
  QTextDocument doc;
  ASSERT_TRUE(KVReadRtf(rtf, doc));
  EXPECT_EQ(doc.blockCount(), 2);
  const QString text = QString::fromUtf16(u"a b\uFFFDc\uFFFDd\uFFFDe\rf");
  EXPECT_EQ(KVDocumentText(doc), text);
  EXPECT_EQ(KVRtfToText(rtf), text);
  QTextDocument back;
  ASSERT_TRUE(KVReadRtf(KVWriteRtf(doc), back));
  EXPECT_EQ(KVDocumentText(back), text);
}

TEST(RtfReader, AFontNameThatBeginsWithSymbolIsPlainTextThroughout) {
  const QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil\\fcharset2 SymbolMT\\'bc;}}\\f0 x}";
  QTextDocument doc, back;
  ASSERT_TRUE(KVReadRtf(rtf, doc));
  EXPECT_EQ(FormatAt(doc, 0).fontFamilies().toStringList(), QStringList{QString::fromUtf8("SymbolMT¼")});
  const QByteArray written = KVWriteRtf(doc);
  ASSERT_TRUE(KVReadRtf(written, back));
  EXPECT_EQ(KVWriteRtf(back), written);
}

TEST(RtfReader, KeptGroupsShowOnceAndReadBackTheSame) {
  const QByteArray png = Encoded(Solid(2, 2, Qt::red), "PNG").toHex();
  // Text of an object's own (outside its result) is not shown: the kept group would bring it back.
  QTextDocument doc;
  ASSERT_TRUE(KVReadRtf("{\\rtf1 a{\\object\\objemb stray{\\*\\objclass P}{\\result text{\\pict\\pngblip " + png +
                            "}}}b}",
                        doc));
  EXPECT_EQ(Blocks(doc), QString("a") + QChar(0xFFFC) + "b");
  // A picture group with text before \pict is damaged; it is left out rather than doubled.
  ASSERT_TRUE(KVReadRtf("{\\rtf1 a{x\\pict\\pngblip " + png + "}b}", doc));
  EXPECT_EQ(Blocks(doc), "axb");
  // Write, read and write again: the same bytes, also for inputs like these.
  const QList<QByteArray> inputs = {
      "{\\rtf1{\\fonttbl{\\f0\\fnil\\fcharset2 Symbol;}}\\pard{\\*\\pn\\pnlvlbody\\pndec{\\pntxta .}}\\f0 x\\par}",
      "{\\rtf1{\\fonttbl{\\f0 A;}{\\f1 B;}}\\pard{\\*\\pn\\pnlvlbody\\pndec}\\f1{\\pict\\pngblip " + png + "}\\f0 t\\par}",
      "{\\rtf1\\pard{\\*\\pn\\pnlvlblt{\\pntxtb ~}}a\\par\\pard{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}b\\par}",
      "{\\rtf1{\\fonttbl{\\f0\\fcharset255 \\'01Odd\\tab name  ;}}\\f0 \x7f x}",
      "{\\rtf1 {\\object\\objemb{\\fonttbl{\\f0 Inner;}}{\\result{\\pict\\pngblip " + png + "}}}\\ansicpg1251 \\'e0}",
      "{\\rtf1 {\\pict\\pngblip{\\result{\\pict\\dibitmap0 00}}" + png + "}}",
  };
  for (const QByteArray& in : inputs) {
    QTextDocument a, b;
    ASSERT_TRUE(KVReadRtf(in, a));
    const QByteArray once = KVWriteRtf(a);
    ASSERT_TRUE(KVReadRtf(once, b));
    EXPECT_EQ(KVWriteRtf(b), once) << in.constData();
    EXPECT_EQ(KVRtfToText(in).value_or("?"), KVDocumentText(a)) << in.constData();
  }
}

namespace {

QByteArray PngChunk(const char* type, const QByteArray& data) {
  QByteArray c;
  for (int i = 3; i >= 0; --i) c.append(char((quint32(data.size()) >> (8 * i)) & 255));
  const QByteArray body = QByteArray(type) + data;
  const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size())));
  c += body;
  for (int i = 3; i >= 0; --i) c.append(char((crc >> (8 * i)) & 255));
  return c;
}

// A black RGB PNG of W x H, made without holding its pixels.
QByteArray BlackPng(quint32 w, quint32 h) {
  QByteArray ihdr;
  for (const quint32 v : {w, h})
    for (int i = 3; i >= 0; --i) ihdr.append(char((v >> (8 * i)) & 255));
  ihdr += QByteArray("\x08\x02\x00\x00\x00", 5);
  kvtest::ZeroTail rows({}, qint64(h) * (1 + 3 * qint64(w)));
  QBuffer idat;
  idat.open(QIODevice::WriteOnly);
  ZCompressStream(rows, idat);
  return QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr) + PngChunk("IDAT", idat.data()) +
         PngChunk("IEND", {});
}

}  // namespace

TEST(RtfReaderBudget, OneDocumentDecodesItsPicturesWithinOneBudget) {
  // Four pictures of 31 million pixels in 700 KB of RTF: each fitted the per-picture ceiling,
  // together they took 500 MB.
  const QByteArray big = BlackPng(5600, 5600);
  QByteArray four = "{\\rtf1 ";
  for (int i = 0; i < 4; ++i) four += Pict("pngblip", big);
  four += "}";
  ASSERT_LT(four.size(), 1 << 20);
  const kvtest::PeakGrowth cost = kvtest::MeasurePeakGrowth([&] {
    QTextDocument doc;
    KVReadRtf(four, doc);
  });
  EXPECT_GE(cost.resident, 0);
  EXPECT_LT(cost.resident, 64 << 20);

  // Pictures past the budget are kept undecoded; small ones around them still show.
  const QByteArray small = Encoded(Solid(20, 10, Qt::red), "PNG");
  const QByteArray mixed = "{\\rtf1 " + Pict("pngblip", small) + Pict("pngblip", big) + Pict("pngblip", small) + "}";
  QTextDocument doc;
  ASSERT_TRUE(KVReadRtf(mixed, doc));
  ASSERT_EQ(doc.characterCount() - 1, 3);
  EXPECT_EQ(KVPictureOf(FormatAt(doc, 0)).Image.size(), QSize(20, 10));
  const TKVPicture kept = KVPictureOf(FormatAt(doc, 1));
  EXPECT_TRUE(kept.Image.isNull());
  EXPECT_EQ(kept.Data, big);
  EXPECT_FALSE(kept.Raw.isEmpty());
  EXPECT_EQ(KVPictureOf(FormatAt(doc, 2)).Image.size(), QSize(20, 10));
  // The budget is told from the header: the picture's own pixels are enough, one fewer is not.
  EXPECT_FALSE(KVDecodePicture(TKVPictureKind::Png, big, 5600LL * 5600).isNull());
  EXPECT_TRUE(KVDecodePicture(TKVPictureKind::Png, big, 5600LL * 5600 - 1).isNull());
}

TEST(RtfReader, APartEndsWithAWholeParagraphOnceEnoughIsRead) {
  QByteArray rtf = "{\\rtf1\\ansi ";
  for (int i = 0; i < 100; ++i) rtf += "\\pard Paragraph " + QByteArray::number(i) + (i == 2 ? " centred\\qc\\par " : "\\par ");
  rtf += "}";
  QTextDocument doc;
  bool more = false;
  ASSERT_TRUE(KVReadRtfPart(rtf, doc, 30, more));
  EXPECT_TRUE(more);
  // "Paragraph 0" to "Paragraph 2 centred", each with its own format, set at its end.
  EXPECT_EQ(doc.blockCount(), 3);
  EXPECT_EQ(doc.lastBlock().text(), "Paragraph 2 centred");
  EXPECT_EQ(doc.lastBlock().blockFormat().alignment(), Qt::AlignHCenter);
  // Asked for more than there is: the whole text, as the full reading gives it.
  ASSERT_TRUE(KVReadRtfPart(rtf, doc, 1 << 20, more));
  EXPECT_FALSE(more);
  QTextDocument whole;
  ASSERT_TRUE(KVReadRtf(rtf, whole));
  EXPECT_EQ(doc.toPlainText(), whole.toPlainText());
  EXPECT_EQ(doc.blockCount(), 100);
  // A paragraph is never cut, however long.
  ASSERT_TRUE(KVReadRtfPart("{\\rtf1 " + QByteArray(100000, 'x') + "\\par next\\par}", doc, 10, more));
  EXPECT_TRUE(more);
  EXPECT_EQ(doc.toPlainText(), QString(100000, 'x'));
  EXPECT_FALSE(KVReadRtfPart("no rtf", doc, 10, more));
}
