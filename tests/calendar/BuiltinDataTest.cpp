#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include "calendar/MDataDM.h"
#include "calendar/encr.h"
#include "foundation/KVZlib.h"
#include "tests/common/TestUtil.h"

TEST(LanguageDocument, GathersTheHelpAboutAndHolidayStreams) {
  TMData data;
  data.DataModuleCreate();
  ASSERT_NE(MLang, nullptr);
  const QByteArray help = MLang->HelpStream.Bytes();
  EXPECT_TRUE(help.startsWith("{\\rtf1"));
  EXPECT_TRUE(help.contains("Calendar Style"));
  EXPECT_EQ(help, BuiltinDataBlock("HelpStream"));
  EXPECT_TRUE(MLang->AboutStream.Bytes().startsWith("{\\rtf1"));
  EXPECT_EQ(MLang->HolidayStream.Bytes(), data.HolidayStream->Bytes());
  EXPECT_EQ(MLang->Language.RSQuickNotes, LanguageResource().RSQuickNotes);
  // A second reset replaces rather than appends.
  MLang->ResetDefaults();
  EXPECT_EQ(MLang->HelpStream.Bytes(), help);
  EXPECT_TRUE(BuiltinDataBlock("DefaultSkin").isEmpty());
  EXPECT_TRUE(BuiltinDataBlock("Nothing").isEmpty());
  delete MLang;
  MLang = nullptr;
}

TEST(LanguageDocument, AlwaysSavesCompressedAndTakesOnlyItsOwnTypeAndVersion) {
  TMData data;
  TMLang lang(nullptr, &data);
  lang.ResetDefaults();
  lang.Language.RSQuickNotes = "Notes rapides";
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  lang.SaveToStream(b, false);
  const QByteArray bytes = b.data();
  EXPECT_NE(bytes.left(6), QByteArray("object"));
  const QString text = QString::fromLatin1(ZDecompress(bytes, kMaxTextSize));
  EXPECT_TRUE(text.contains("DocType = '" + kLanguageDocType + "'"));
  TMLang back(nullptr, &data);
  QBuffer in;
  in.setData(bytes);
  in.open(QIODevice::ReadOnly);
  back.LoadFromStream(in);
  EXPECT_FALSE(back.LoadFailed);
  EXPECT_EQ(back.Language.RSQuickNotes, "Notes rapides");
  EXPECT_EQ(back.HelpStream.Bytes(), data.HelpStream->Bytes());
  EXPECT_EQ(back.CheckDocument(kLanguageDocType, 2), 2);
  EXPECT_EQ(back.CheckDocument("Kel Voro Diary", 1), 2);
}

namespace {

QByteArray Unscramble(const QByteArray& block) {
  QByteArray b = block;
  for (int i = 0; i < b.size(); ++i) b[i] = char(b[i] ^ kPasswordXorTable[i % 195]);
  return b;
}

}  // namespace

TEST(PasswordBlock, HidesTheTextsAtStridedPositionsAmongRandomBytes) {
  QRandomGenerator rng(42);
  QByteArray block;
  ScramblePasswordBlock("open sesame", "", kPasswordMarker, block, &rng);
  ASSERT_EQ(block.size(), 10000);
  ASSERT_EQ(kPasswordMarker.size(), 248);
  ASSERT_EQ(kPasswordXorTable.size(), 195);
  const QByteArray plain = Unscramble(block);
  const auto at = [&plain](int pos) { return plain[pos - 1]; };
  const int o = at(13);
  ASSERT_GE(o, 17);
  ASSERT_LE(o, 47);
  QByteArray marker, text1, text2;
  for (int k = 1; k <= 248; ++k) marker += at(21 * k + o);
  for (int k = 1; k <= 100; ++k) text1 += at(5229 + o + 21 * k);
  for (int k = 1; k <= 100; ++k) text2 += at(7350 + o + 21 * k);
  EXPECT_EQ(marker, kPasswordMarker);
  EXPECT_EQ(text1, QByteArray("open sesame").leftJustified(100, ' '));
  EXPECT_EQ(text2, QByteArray(100, ' '));
  for (int i = 0; i < plain.size(); ++i) EXPECT_NE(uchar(plain[i]), 0) << i;

  QByteArray other;
  ScramblePasswordBlock("open sesame", "", kPasswordMarker, other);
  EXPECT_EQ(other.size(), 10000);
  EXPECT_NE(other, block);
  QByteArray longer;
  ScramblePasswordBlock(QString(150, 'x'), "", kPasswordMarker, longer, &rng);
  const QByteArray p2 = Unscramble(longer);
  const int o2 = p2[12];
  EXPECT_EQ(p2[5229 + o2 + 21 * 100 - 1], 'x');
}

TEST(PasswordBlock, TheFileIsOwnerOnlyAndGoesAwayWithThePassword) {
  const QString file = kvtest::TestRoot() + "/exe/" + kPasswordFileName;
  ASSERT_TRUE(WritePasswordFile(file, "pw"));
  EXPECT_EQ(QFile(file).size(), 10000);
  EXPECT_EQ(QFile::permissions(file) & 0x0077, 0);
  ASSERT_TRUE(WritePasswordFile(file, ""));
  EXPECT_FALSE(QFile::exists(file));
  EXPECT_TRUE(WritePasswordFile(file, ""));
}
