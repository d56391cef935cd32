#include <QBuffer>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "foundation/KVString.h"
#include "tests/common/TestUtil.h"

TEST(KVString, TokensAreClosedByTheirDelimiter) {
  EXPECT_EQ(GetToken("a,b,", 0), "a");
  EXPECT_EQ(GetToken("a,b,", 1), "b");
  EXPECT_EQ(GetToken("a,b,", 3), "");  // no wrap-around to an earlier token
  EXPECT_EQ(GetToken("a,b,", 2), "");
  EXPECT_EQ(GetToken("a,,b,", 1), "");
  EXPECT_EQ(GetToken("a,,b,", 2), "b");
  EXPECT_EQ(GetToken("a", 0), "");
  EXPECT_EQ(GetToken("a,b,c", 1), "b");
  EXPECT_EQ(GetToken("a,b,c", 2), "");
  EXPECT_EQ(GetToken("a,b,", -3), "a");
  EXPECT_EQ(GetToken("x::y::", 1, "::"), "y");
}

TEST(KVString, AllTokensAtOnceFollowGetToken) {
  const struct {
    const char *text, *delim;
    int count;
  } cases[] = {
      {"a,b,", ",", 2}, {"a,,b,", ",", 3}, {"a,b,c", ",", 2}, {"a", ",", 0},      {"", ",", 0},
      {",,,", ",", 3},  {"x::y::", "::", 2}, {"x:::y::", "::", 2}, {"::::", "::", 2}, {"ab", "", 0},
  };
  for (const auto& c : cases) {
    const QStringList all = GetTokens(c.text, c.delim);
    ASSERT_EQ(all.size(), c.count) << c.text;
    for (int i = 0; i < all.size(); ++i) EXPECT_EQ(all[i], GetToken(c.text, i, c.delim)) << c.text << " " << i;
    EXPECT_EQ(GetToken(c.text, c.count, c.delim), "") << c.text;
  }
}

TEST(KVString, SetTokenReplacesOnlyExistingTokens) {
  EXPECT_EQ(SetToken("a,b,", 1, "x"), "a,x,");
  EXPECT_EQ(SetToken("a,b,", 5, "x"), "a,b,");
  EXPECT_EQ(SetToken("a,,b,", 1, "x"), "a,,b,");
  EXPECT_EQ(SetToken("alpha,b,", 0, "z"), "z,b,");
}

TEST(KVString, PosExFindsFromAPositionWithOptionalCaseFolding) {
  EXPECT_EQ(PosEx("ab", "aab", 1, true), 2);
  EXPECT_EQ(PosEx("B", "abc", 1, false), 2);
  EXPECT_EQ(PosEx("B", "abc", 1, true), 0);
  EXPECT_EQ(PosEx("a", "aXa", 0, true), 1);
  EXPECT_EQ(PosEx("a", "aXa", 2, true), 3);
  EXPECT_EQ(PosEx("a", "aXa", 9, true), 0);
  EXPECT_EQ(PosEx("", "abc", 1, true), 0);
  EXPECT_EQ(PosEx("a", "", 1, true), 0);
  // Folding must not shift positions even where upper-casing changes the length.
  EXPECT_EQ(PosEx("X", QString::fromUtf8("\xC3\x9F" "x"), 1, false), 2);
  EXPECT_EQ(PosEx(QString::fromUtf8("\xC3\xA9"), QString::fromUtf8("A\xC3\x89"), 1, false), 2);
}

TEST(KVString, ReplaceAllDoesNotLookInsideInsertedText) {
  EXPECT_EQ(ReplaceAll("a", "aa", "aXa"), "aaXaa");
  EXPECT_EQ(ReplaceAll("x", "", "xaxbx"), "ab");
  EXPECT_EQ(ReplaceAll("AB", "-", "abAbab", false), "---");
  EXPECT_EQ(ReplaceAll("", "-", "abc"), "abc");
}

TEST(KVString, ExtractBetweenAndTextAround) {
  EXPECT_EQ(ExtractBetween("<b>", "</b>", "x<b>bold</b>y"), "bold");
  EXPECT_EQ(ExtractBetween("<b>", "</b>", "x<b>bold"), "");
  EXPECT_EQ(ExtractBetween("<B>", "</B>", "x<b>bold</b>", 1, false), "bold");
  EXPECT_EQ(ExtractBetween("[", "]", "[a][b]", 2), "b");
  EXPECT_EQ(TextBefore("name=value", "="), "name");
  EXPECT_EQ(TextAfter("name=value", "="), "value");
  EXPECT_EQ(TextAfter("novalue", "="), "");
  EXPECT_EQ(TextBefore("novalue", "="), "");
}

TEST(KVString, BooleansAndRectangles) {
  EXPECT_TRUE(StrToBool("true"));
  EXPECT_TRUE(StrToBool("T"));
  EXPECT_FALSE(StrToBool("Yes"));
  EXPECT_TRUE(StrToBool("1"));
  EXPECT_TRUE(StrToBool("-4"));
  EXPECT_FALSE(StrToBool(""));
  EXPECT_FALSE(StrToBool("false"));
  EXPECT_EQ(BoolToStr(true), "true");
  EXPECT_EQ(BoolToStr(false), "false");
  // Only the last number may lack its comma; an unclosed third number reads as 0.
  EXPECT_EQ(StrToRect("1,2,3"), Rect(1, 2, 0, 0));
  EXPECT_EQ(StrToRect("1,2,3,"), Rect(1, 2, 3, 0));
  EXPECT_EQ(RectToStr(Rect(1, 2, 3, 0)), "1,2,3,0");
  EXPECT_EQ(RectToStr(Rect(0, 0, 640, 480)), "0,0,640,480");
  EXPECT_EQ(StrToRect("0,0,640,480"), Rect(0, 0, 640, 480));
  EXPECT_EQ(StrToRect("x,2,,7"), Rect(0, 2, 0, 7));
}

TEST(KVString, PathsAndFileNames) {
  EXPECT_EQ(PathWithSlash("/tmp"), "/tmp/");
  EXPECT_EQ(PathWithSlash("/tmp/"), "/tmp/");
  EXPECT_EQ(PathWithSlash(""), "");
  EXPECT_EQ(QuoteIfSpaced("  /opt/my app/run \t"), "\"/opt/my app/run\"");
  EXPECT_EQ(QuoteIfSpaced("\"/opt/my app/run\""), "\"/opt/my app/run\"");
  EXPECT_EQ(QuoteIfSpaced(" /usr/bin/run "), "/usr/bin/run");

  const QString title = QString(" a:b/c\\d*e?f<g>h|i'j\"k\tl ") + QString(250, 'x');
  const QString name = MakeValidFileName(title);
  EXPECT_LE(name.size(), 200);
  EXPECT_TRUE(name.startsWith("a b c d e f g h i j\"k l x"));
  EXPECT_FALSE(name.startsWith(' '));
  EXPECT_FALSE(name.endsWith(' '));
  // A cut that lands after a blank leaves no trailing blank.
  EXPECT_EQ(MakeValidFileName(QString(199, 'a') + "  b"), QString(199, 'a'));
}

TEST(KVString, StreamBlocks) {
  QBuffer buf;
  buf.open(QIODevice::ReadWrite);
  WriteStrToStream(buf, "hello");
  EXPECT_EQ(buf.size(), 5);
  EXPECT_EQ(ReadStrFromStream(buf, -1), QByteArray());  // at the end
  buf.seek(1);
  EXPECT_EQ(ReadStrFromStream(buf, 3), "ell");
  EXPECT_EQ(ReadStrFromStream(buf, -1), "o");
  buf.seek(0);
  // A count beyond the stream never allocates beyond what is there.
  EXPECT_EQ(ReadStrFromStream(buf, qint64(1) << 40), "hello");
}

TEST(KVString, FilesAreReplacedWholeOrNotAtAll) {
  const QString dir = kvtest::TestRoot() + "/strfiles";
  QDir().mkpath(dir);
  SaveStrToFile(dir + "/a.txt", "first");
  SaveStrToFile(dir + "/a.txt", "second");
  EXPECT_EQ(LoadStrFromFile(dir + "/a.txt"), "second");
  EXPECT_THROW(LoadStrFromFile(dir + "/missing.txt"), EFOpenError);
  EXPECT_THROW(SaveStrToFile(dir + "/no/such/folder/a.txt", "x"), EFCreateError);
  QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
  if (!QFileInfo(dir).isWritable()) {  // root ignores folder permissions
    EXPECT_THROW(SaveStrToFile(dir + "/a.txt", "third"), EFCreateError);
    EXPECT_EQ(LoadStrFromFile(dir + "/a.txt"), "second");
  }
  QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(KVString, ObjStringListOwnsItsObjects) {
  struct Probe {
    int* count;
    ~Probe() { ++*count; }
  };
  int freed = 0;
  {
    TObjStringList<Probe> list;
    list.Add("a", std::unique_ptr<Probe>(new Probe{&freed}));
    list.Add("b", std::unique_ptr<Probe>(new Probe{&freed}));
    list.Add("c");
    EXPECT_EQ(list.IndexOf("B"), 1);
    list.Delete(0);
    EXPECT_EQ(freed, 1);
  }
  EXPECT_EQ(freed, 2);
}
