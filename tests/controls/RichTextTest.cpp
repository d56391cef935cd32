#include <gtest/gtest.h>

#include <QTextDocument>

#include "controls/KVRichText.h"
#include "controls/KVRtfReader.h"
#include "controls/KVRtfWriter.h"

namespace {

QStringList Links(const QString& text) {
  QStringList out;
  for (const TKVLinkRange& r : KVFindLinks(text)) out << text.mid(r.Start, r.Length);
  return out;
}

}  // namespace

TEST(RichText, LinksEndBeforeClosingPunctuation) {
  EXPECT_EQ(Links("see http://a.b/c?d=1, or (www.x.org). mailto:me@x.org!"),
            (QStringList{"http://a.b/c?d=1", "www.x.org", "mailto:me@x.org"}));
  EXPECT_EQ(Links("FTP://Host/file.txt;"), (QStringList{"FTP://Host/file.txt"}));
  EXPECT_TRUE(Links("http: alone, www. and mywww.x and user@www.x").isEmpty());
}

TEST(RichText, CodePagesEncodeAndDecodeTheirCharacters) {
  const TKVCodePage& cyr = TKVCodePage::Get(1251);
  EXPECT_EQ(cyr.Byte(0xC0), u'А');
  EXPECT_EQ(cyr.Encode(u'я'), QByteArray("\xff"));
  EXPECT_TRUE(cyr.Encode(u'ñ').isEmpty());
  const TKVCodePage& jp = TKVCodePage::Get(932);
  EXPECT_TRUE(jp.IsLeadByte(0x82));
  EXPECT_EQ(jp.Pair(0x82, 0xA0), QString::fromUtf8("あ"));
  EXPECT_EQ(jp.Encode(u'あ'), QByteArray("\x82\xa0"));
  // Numbers RTF may name that are no Windows code page read as Windows-1252.
  EXPECT_EQ(TKVCodePage::Get(123456).CodePage(), 1252);
  EXPECT_EQ(KVCharsetCodePage(1, 1250), 1250);
  EXPECT_EQ(KVCharsetCodePage(2, 1252), 0);
  EXPECT_EQ(KVCodePageCharset(1251), 204);
}

TEST(RichText, DoubleByteTextWritesInItsFontsCodePage) {
  QTextDocument doc;
  ASSERT_TRUE(KVReadRtf("{\\rtf1{\\fonttbl{\\f0\\fnil\\fcharset128 MS Mincho;}}\\f0\\'82\\'a0\\'82\\'a2 abc}", doc));
  const QByteArray rtf = KVWriteRtf(doc);
  EXPECT_TRUE(rtf.contains("\\'82\\'a0\\'82\\'a2 abc"));
  EXPECT_TRUE(rtf.contains("{\\f0\\fnil\\fcharset128 MS Mincho;}"));
}
