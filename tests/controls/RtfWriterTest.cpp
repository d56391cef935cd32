#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include "controls/KVRichPicture.h"
#include "controls/KVRichText.h"
#include "controls/KVRtfReader.h"
#include "controls/KVRtfWriter.h"
#include "tests/controls/RtfTestUtil.h"

using namespace rtftest;

namespace {

QByteArray RoundTrip(const QByteArray& rtf) {
  QTextDocument doc;
  EXPECT_TRUE(KVReadRtf(rtf, doc));
  return KVWriteRtf(doc);
}

}  // namespace

TEST(RtfWriter, WritesTheRichEditDialect) {
  QTextDocument doc;
  ASSERT_TRUE(KVReadRtf(
      "{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}{\\colortbl ;\\red255\\green0\\blue0;}"
      "\\pard\\f0\\fs20 plain \\cf1\\b bold red\\cf0\\b0  and a \\{brace\\}\\par}",
      doc));
  const QByteArray rtf = KVWriteRtf(doc);
  EXPECT_EQ(rtf,
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
            "{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
            "\\viewkind4\\uc1\\pard\\f0\\fs20 plain \\cf1\\b bold red\\cf0\\b0  and a \\{brace\\}\\par\r\n}\r\n");
  // The same document always gives the same bytes, and reading them back gives them again.
  EXPECT_EQ(KVWriteRtf(doc), rtf);
  EXPECT_EQ(RoundTrip(rtf), rtf);
}

TEST(RtfWriter, KeepsFormattingThroughARoundTrip) {
  const QByteArray source =
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\fnil\\fcharset204 Tahoma;}"
      "{\\f2\\fnil\\fcharset2 Symbol;}}{\\colortbl ;\\red0\\green0\\blue0;\\red0\\green128\\blue0;}"
      "\\pard\\qc\\li720\\ri360\\fi-360\\sb120\\sa60\\tx1440\\tqr\\tx2880\\f0\\fs24 "
      "\\i italic\\i0  \\ul under\\ulnone  \\strike gone\\strike0  \\cf1 black\\cf0  \\highlight2 mark\\highlight0 "
      "\\super up\\nosupersub  \\f1\\'cf\\'f0\\'e8\\u241?\\par"
      "\\pard\\f2\\'b7\\f0  see {\\field{\\*\\fldinst{HYPERLINK \"http://x.org/\"}}{\\fldrslt{\\ul link}}}\\line next\\tab t\\par}";
  QTextDocument a, b;
  ASSERT_TRUE(KVReadRtf(source, a));
  const QByteArray written = KVWriteRtf(a);
  ASSERT_TRUE(KVReadRtf(written, b));
  EXPECT_EQ(Blocks(a), Blocks(b));
  EXPECT_EQ(KVWriteRtf(b), written);
  // Spot checks of what must survive.
  EXPECT_TRUE(written.contains("\\f1\\fnil\\fcharset204 Tahoma;"));
  EXPECT_TRUE(written.contains("\\'cf\\'f0\\'e8"));      // Cyrillic in the font's code page
  EXPECT_TRUE(written.contains("\\u241?"));               // no place for it in code page 1251
  EXPECT_TRUE(written.contains("\\qc\\fi-360\\li720\\ri360\\sb120\\sa60\\tx1440\\tqr\\tx2880"));
  EXPECT_TRUE(written.contains("{\\field{\\*\\fldinst{HYPERLINK \"http://x.org/\"}}{\\fldrslt{"));
  EXPECT_TRUE(written.contains("\\line next\\tab t"));
  const QTextBlock first = b.begin();
  EXPECT_EQ(FormatAt(b, 7).foreground().color(), QColor(0, 0, 0));  // explicit black stays black
  EXPECT_TRUE(FormatAt(b, 0).fontItalic());
  EXPECT_EQ(first.blockFormat().intProperty(kvpLeftIndentTw), 720);
  EXPECT_EQ(first.blockFormat().intProperty(kvpFirstIndentTw), -360);
}

TEST(RtfWriter, WritesListsWithNumberText) {
  QTextDocument doc;
  ASSERT_TRUE(KVReadRtf(
      "{\\rtf1{\\fonttbl{\\f0 Arial;}}\\pard{\\*\\pn\\pnlvlbody\\pnstart1\\pnlcrm{\\pntxta )}}\\fi-300\\li300\\f0 a\\par b\\par"
      "\\pard{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}\\fi-200\\li200 dot\\par}",
      doc));
  const QByteArray rtf = KVWriteRtf(doc);
  EXPECT_TRUE(rtf.contains("{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pnlcrm{\\pntxta )}}"));
  EXPECT_TRUE(rtf.contains("{\\pntext\\f0 i)\\tab}"));
  EXPECT_TRUE(rtf.contains("{\\pntext\\f0 ii)\\tab}"));
  EXPECT_TRUE(rtf.contains("{\\pntext\\f1\\'b7\\tab}"));
  EXPECT_TRUE(rtf.contains("{\\f1\\fnil\\fcharset2 Symbol;}"));
  QTextDocument back;
  ASSERT_TRUE(KVReadRtf(rtf, back));
  EXPECT_EQ(Blocks(back), "a|b|dot");
  ASSERT_NE(back.begin().textList(), nullptr);
  EXPECT_EQ(back.begin().textList()->count(), 2);
  EXPECT_EQ(back.begin().textList()->format().intProperty(kvpNumbering), nbLowerRoman);
}

TEST(RtfWriter, PicturesAndObjectsGoBackByteForByteUntilChanged) {
  const QByteArray dib = Dib24(3, 2, qRgb(1, 2, 3), qRgb(4, 5, 6));
  const QByteArray pict = "{\\pict\\wmetafile8\\picw79\\pich53\\picwgoal45\\pichgoal30 \r\n" +
                          WmfWithDib(dib, 3, 2).toHex() + "\r\n}";
  const QByteArray object = "{\\object\\objemb{\\*\\objclass Paint.Picture}\\objw45\\objh30{\\*\\objdata 0105}"
                            "{\\result{\\pict\\dibitmap0 " + dib.toHex() + "}}}";
  QTextDocument doc;
  ASSERT_TRUE(KVReadRtf("{\\rtf1 a" + pict + "b" + object + "c\\par}", doc));
  QByteArray out = KVWriteRtf(doc);
  EXPECT_TRUE(out.contains(pict));
  EXPECT_TRUE(out.contains(object));
  EXPECT_FALSE(KVWriteRtf(doc, 0, -1, true).contains("\\pict"));
  // A picture whose size changed is written anew, as PNG.
  QTextCursor c(&doc);
  c.setPosition(1);
  c.setPosition(2, QTextCursor::KeepAnchor);
  QTextCharFormat f = c.charFormat();
  f.setProperty(kvpPicWidthTw, 900);
  f.clearProperty(kvpPicRaw);
  c.setCharFormat(f);
  out = KVWriteRtf(doc);
  EXPECT_FALSE(out.contains(pict));
  EXPECT_TRUE(out.contains("{\\pict\\pngblip\\picw3\\pich2\\picwgoal900\\pichgoal30\r\n"));
  QTextDocument back;
  ASSERT_TRUE(KVReadRtf(out, back));
  const TKVPicture p = KVPictureOf(FormatAt(back, 1));
  EXPECT_EQ(p.Image.pixelColor(0, 0), QColor(4, 5, 6));
  EXPECT_EQ(p.WidthTw, 900);
}

TEST(RtfWriter, NewPicturesKeepTheirFileData) {
  QTextDocument doc;
  KVPrepareDocument(doc);
  TKVPicture jpeg;
  jpeg.Image = Solid(4, 4, Qt::white);
  jpeg.Data = Encoded(jpeg.Image, "JPEG");
  jpeg.DataIsJpeg = true;
  jpeg.WidthTw = jpeg.HeightTw = 60;
  QTextCursor(&doc).insertText(QString(QChar::ObjectReplacementCharacter), KVPictureFormat(jpeg));
  const QByteArray out = KVWriteRtf(doc);
  EXPECT_TRUE(out.contains("{\\pict\\jpegblip\\picw4\\pich4\\picwgoal60\\pichgoal60\r\n" + jpeg.Data.toHex().left(128) + "\r\n"));
}

TEST(RtfWriter, WritesARangeWithoutItsLastParagraphMark) {
  QTextDocument doc;
  ASSERT_TRUE(KVReadRtf("{\\rtf1 one\\par two\\par three}", doc));
  QTextDocument part;
  ASSERT_TRUE(KVReadRtf(KVWriteRtf(doc, 2, 6), part));
  EXPECT_EQ(Blocks(part), "e|tw");
  EXPECT_EQ(KVDocumentText(doc, 2, 6), "e\rtw");
  EXPECT_EQ(KVDocumentText(doc), "one\rtwo\rthree");
}

TEST(RtfWriter, DoubleByteTextWhoseSecondByteIsABraceOrBackslashReadsBack) {
  // In code page 932 the second byte of U+30BD and U+8868 is '\\', of U+30DC '{', of U+30DE '}'.
  QTextDocument doc;
  ASSERT_TRUE(KVReadRtf("{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil\\fcharset128 Gothic;}}\\f0 "
                        "a\\'83\\'5c\\'95\\'5c\\'83\\'7b\\'83\\'7db\\par}",
                        doc));
  const QString text = QString::fromUtf16(u"a\u30BD\u8868\u30DC\u30DEb");
  ASSERT_EQ(KVDocumentText(doc), text);
  const QByteArray rtf = KVWriteRtf(doc);
  EXPECT_TRUE(rtf.contains("a\\'83\\'5c\\'95\\'5c\\'83\\'7b\\'83\\'7db")) << rtf.constData();
  QTextDocument back;
  ASSERT_TRUE(KVReadRtf(rtf, back));
  EXPECT_EQ(KVDocumentText(back), text);
  EXPECT_EQ(KVRtfToText(rtf), text);
  // Written escaped, as older files have them, they read as the same characters.
  const QByteArray escaped = "{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil\\fcharset128 Gothic;}}\\f0 "
                             "a\\'83\\\\\\'95\\\\\\'83\\{\\'83\\}b\\par}";
  QTextDocument old;
  ASSERT_TRUE(KVReadRtf(escaped, old));
  EXPECT_EQ(KVDocumentText(old), text);
  EXPECT_EQ(KVRtfToText(escaped), text);
  // In a symbol font U+2234 is the byte of the backslash.
  QTextDocument symbol, symbolBack;
  ASSERT_TRUE(KVReadRtf("{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil\\fcharset2 Symbol;}}\\f0 \\'5c\\'7b}", symbol));
  ASSERT_EQ(KVDocumentText(symbol), QString::fromUtf16(u"\u2234{"));
  ASSERT_TRUE(KVReadRtf(KVWriteRtf(symbol), symbolBack));
  EXPECT_EQ(KVDocumentText(symbolBack), KVDocumentText(symbol)) << KVWriteRtf(symbol).constData();
  // Outside a double-byte character they are the signs themselves.
  EXPECT_EQ(KVRtfToText("{\\rtf1\\ansi{\\fonttbl{\\f0\\fnil\\fcharset128 Gothic;}}\\f0 \\\\\\{\\}}"), "\\{}");
}
