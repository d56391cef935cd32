#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

#include "calendar/MirData.h"
#include "foundation/KVBitmapList.h"
#include "foundation/KVSkin.h"
#include "calendar/iniData.h"
#include "foundation/KVRStream.h"
#include "tests/common/TestUtil.h"
#include "tools/kvpack/PackWriter.h"

namespace {

QString Dir() {
  const QString d = kvtest::TestRoot() + "/packs/";
  QDir().mkpath(d);
  return d;
}

QImage Solid(int w, int h, QColor c) {
  QImage i(w, h, QImage::Format_RGB888);
  i.fill(c);
  return i;
}

}  // namespace

TEST(PackSettings, APackSetsOnlyWhatItsTextNames) {
  TMirovaIni m;
  m.Ads.Add()->SponsorText = "old";
  m.ShowSponsorImg = false;
  m.ApplyText({"object MirPackIni: TMirovaIni", "  Ads = <", "    item", "      BlendImage = True",
               "      BlendContrast = 50", "      SponsorText = 'Visit us'", "    end>", "end"});
  EXPECT_TRUE(m.ShowSponsorImg);
  ASSERT_EQ(m.Ads.Count(), 1);
  EXPECT_TRUE(m.Ads[0]->BlendImage);
  EXPECT_EQ(m.Ads[0]->BlendContrast, 50);
  EXPECT_EQ(m.Ads[0]->SponsorText, "Visit us");
  EXPECT_EQ(m.Ads[0]->TransparentColor, 0u);
  m.ResetDefaults();
  EXPECT_EQ(m.Ads.Count(), 0);
  TMirovaAdItem* fresh = m.Ads.Add();
  EXPECT_FALSE(fresh->BlendImage);
  EXPECT_TRUE(fresh->SponsorText.isEmpty());
}

TEST(PackSettings, HeaderRecordIsReadRaw) {
  TMirovaHeaderObject h;
  QBuffer b;
  b.setData(QByteArray("\x01\x00\x00\x00\x06\x00\x00\x00", 8));
  b.open(QIODevice::ReadOnly);
  EXPECT_TRUE(h.ReadHeaderRecord(b));
  EXPECT_EQ(h.Header[0], 1);
  EXPECT_EQ(h.PictureCount(), 6);
  QBuffer s;
  s.setData(QByteArray("\x02\x00", 2));
  s.open(QIODevice::ReadOnly);
  EXPECT_FALSE(h.ReadHeaderRecord(s));
  EXPECT_EQ(h.PictureCount(), 0);
}

TEST(ThumbnailCache, EmptyAndZeroLengthThumbnailsRoundTrip) {
  const QString file = Dir() + "empty.thn";
  TMThnList t;
  t.ThumbWidth = 128;
  t.ThumbHeight = 96;
  t.Tag = 9;
  ASSERT_TRUE(t.SaveThumbs(file));
  {
    TKVResFileReader r(file);
    EXPECT_EQ(r.Version(), kThumbPackVersion);
    ASSERT_EQ(r.Count(), 1);
    EXPECT_EQ(r.GetEntry(0).Kind, 16);
    EXPECT_EQ(r.GetEntry(0).Size, 12);
  }
  TMThnList back;
  back.LoadThumbs(file);
  EXPECT_EQ(back.Count(), 0);
  EXPECT_EQ(back.ThumbWidth, 128);
  EXPECT_EQ(back.ThumbHeight, 96);
  EXPECT_EQ(back.Tag, 9);

  t.Add("", QByteArray());
  t.AddThumb("7", Solid(94, 70, QColor(200, 10, 10)));
  ASSERT_TRUE(t.SaveThumbs(file));
  TMThnList two;
  two.ReadThumbHeader(file);
  EXPECT_EQ(two.ThumbWidth, 128);
  EXPECT_EQ(two.Count(), 0);
  two.LoadThumbs(file);
  ASSERT_EQ(two.Count(), 2);
  EXPECT_EQ(two.Keys(0), "");
  EXPECT_TRUE(two.Streams(0).isEmpty());
  EXPECT_EQ(two.IndexOf("7"), 1);
  const QImage img = two.Thumb(1);
  EXPECT_EQ(img.size(), QSize(94, 70));
  EXPECT_EQ(img.pixel(3, 3), qRgb(200, 10, 10));
  EXPECT_TRUE(two.Thumb(0).isNull());
  two.Clear();
  two.Clear();
  EXPECT_EQ(two.Count(), 0);
}

TEST(ThumbnailCache, ForeignOrHostileFilesGiveZerosAndKeepWhatWasRead) {
  TMThnList t;
  t.ReadThumbHeader(Dir() + "missing.thn");
  EXPECT_EQ(t.ThumbWidth, 0);
  const QString other = Dir() + "other.thn";
  kvpack::WritePack(other, 0x564B0065, {{16, QByteArray(12, '\x05')}});
  t.ThumbWidth = 5;
  t.ReadThumbHeader(other);
  EXPECT_EQ(t.ThumbWidth, 0);
  t.LoadThumbs(other);
  EXPECT_EQ(t.Count(), 0);
  kvtest::WriteFile(Dir() + "junk.thn", "not a pack at all");
  t.LoadThumbs(Dir() + "junk.thn");
  EXPECT_EQ(t.Count(), 0);

  // The second thumbnail claims more bytes than its entry holds: the first is kept.
  QByteArray head(12, '\0');
  qToLittleEndian<qint32>(94, head.data() + 4);
  QByteArray good(8, '\0');
  qToLittleEndian<qint32>(1, good.data());
  qToLittleEndian<qint32>(2, good.data() + 4);
  good += "kBM";
  QByteArray bad(8, '\0');
  qToLittleEndian<qint32>(0x7FFFFFF0, bad.data());
  qToLittleEndian<qint32>(3, bad.data() + 4);
  bad += "abc";
  const QString hostile = Dir() + "hostile.thn";
  kvpack::WritePack(hostile, kThumbPackVersion, {{16, head}, {-20, good}, {-20, bad}, {-20, good}});
  TMThnList h;
  h.LoadThumbs(hostile);
  ASSERT_EQ(h.Count(), 1);
  EXPECT_EQ(h.Keys(0), "k");
  EXPECT_EQ(h.Streams(0), QByteArray("BM"));
  EXPECT_EQ(h.ThumbWidth, 94);
}

TEST(PackWriter, ImagePacksCarryTitleHeaderSkinAndPictures) {
  const QString file = Dir() + "three.mcp";
  const QByteArray skin = kvpack::SkinPackage(
      {{Solid(40, 30, Qt::blue), Solid(20, 10, Qt::red)}},
      {{"KVMirovaCalendar", "object ini: Tini\r\n  DayColor = clRed\r\nend\r\n"}});
  kvpack::WriteImagePack(file, "Three Colours", skin,
                         {kvpack::PictureFromImage(Solid(160, 90, Qt::red), true),
                          kvpack::PictureFromImage(Solid(160, 90, Qt::green), false),
                          kvpack::PictureFromImage(Solid(160, 90, Qt::blue), true)});
  TKVResFileReader r(file);
  EXPECT_EQ(r.Version(), 0x564B0065);
  ASSERT_EQ(r.Count(), 6);
  EXPECT_EQ(r.ReadBuffer(0), QByteArray("Three Colours"));
  TMirovaHeaderObject h;
  QBuffer hb;
  hb.setData(r.ReadBuffer(1));
  hb.open(QIODevice::ReadOnly);
  h.ReadHeaderRecord(hb);
  EXPECT_EQ(h.PictureCount(), 3);
  EXPECT_EQ(r.GetEntry(3).Kind, 7);
  EXPECT_TRUE(r.ReadBuffer(3).startsWith("\xFF\xD8"));
  EXPECT_TRUE(r.ReadBuffer(4).startsWith("BM"));
  EXPECT_LT(r.GetEntry(4).Kind, 0);
  QImage green;
  ASSERT_TRUE(green.loadFromData(r.ReadBuffer(4), "BMP"));
  EXPECT_EQ(green.pixel(80, 45), qRgb(0, 255, 0));

  // The skin package: values, a nested pack, one strip, one form.
  QBuffer sb;
  sb.setData(r.ReadBuffer(2));
  sb.open(QIODevice::ReadOnly);
  TKVResReader s;
  s.SetStream(&sb);
  ASSERT_TRUE(s.ReadDirectory());
  ASSERT_EQ(s.Count(), 4);
  EXPECT_EQ(s.ReadBuffer(0), QByteArray("imagescount=1\r\nformscount=1\r\n"));
  const QByteArray strip = s.ReadBuffer(2);
  EXPECT_EQ(qFromLittleEndian<qint32>(strip.constData() + 8), 2);
  EXPECT_EQ(strip.mid(16, 6), QByteArray("40,20,"));
  EXPECT_EQ(strip.mid(22, 6), QByteArray("30,10,"));
  EXPECT_EQ(strip.mid(28, 2), QByteArray("BM"));
  const QStringList form = QString::fromLatin1(s.ReadBuffer(3)).split("\r\n");
  EXPECT_EQ(form[0], "KVMirovaCalendar");
  Tini ini;
  ini.ApplyText(form.mid(1));
  EXPECT_EQ(ini.PackDefaults.DayColor, clRed);
}

TEST(PackWriter, LayoutPacksAndPreviews) {
  const QString text = "object Lini: TLayoutIni\n  LayoutID = 3\n  MonthBox1.Visible = True\n"
                       "  MonthBox1.Anchors = [akLeft, akTop]\n  MonthBox1.Width.ValueType = lsPromil\n"
                       "  MonthBox1.Width.Value = 500\n  MonthBox1.Height.ValueType = lsPromil\n"
                       "  MonthBox1.Height.Value = 500\nend\n";
  const QString withPreview = kvpack::LayoutWithPreview(text);
  EXPECT_EQ(kvpack::LayoutWithPreview(withPreview), withPreview);  // an existing preview is kept
  const QString file = Dir() + "one.mlt";
  kvpack::WriteLayoutPack(file, {withPreview, text}, false);
  TKVResFileReader r(file);
  EXPECT_EQ(r.Version(), 0x564B0069);
  ASSERT_EQ(r.Count(), 2);
  EXPECT_EQ(r.GetEntry(0).Kind, -3);
  TLayoutIni l;
  ASSERT_TRUE(l.LoadLayout(DecodeObjectTextBytes(r.ReadBuffer(0))));
  EXPECT_EQ(l.LayoutID, 3);
  EXPECT_TRUE(l.MonthBox(1).Visible);
  // The box fills the top-left quarter of the preview.
  EXPECT_NE(l.Picture.Image.pixel(20, 20), l.Picture.Image.pixel(100, 80));
  const std::vector<QRect> rects = kvpack::SketchLayout(text, 1000, 800);
  EXPECT_EQ(rects[1], QRect(0, 0, 496, 398));  // snapped to 7 columns and 8 rows
  EXPECT_TRUE(rects[0].isNull());
}

TEST(PackWriter, DefaultPicturesAreWideAndDistinct) {
  QList<QImage> pictures;
  for (int i = 0; i < kvpack::kDefaultPictureCount; ++i) {
    const QImage p = kvpack::DrawDefaultPicture(i, 320, 180);
    EXPECT_EQ(p.size(), QSize(320, 180));
    for (const QImage& q : pictures) EXPECT_NE(p, q);
    pictures << p;
  }
  EXPECT_EQ(kvpack::DrawDefaultPicture(2, 320, 180), pictures[2]);  // drawn the same every time
  EXPECT_EQ(kvpack::DrawDefaultCover().size(), QSize(480, 320));
}

TEST(PackWriter, EmbeddedSourcesNameEveryBlock) {
  const QByteArray src = kvpack::EmbedSource({{"A", QByteArray("\x01\xFF", 2)}, {"Empty", QByteArray()}});
  EXPECT_TRUE(src.contains("QByteArray BuiltinDataBlock(const QString& Name)"));
  EXPECT_TRUE(src.contains("1, 255,"));
  EXPECT_TRUE(src.contains("{\"A\", kBlock0, 2}"));
  EXPECT_TRUE(src.contains("{\"Empty\", kBlock1, 0}"));
}

TEST(DefaultImagePack, TheBuildPutsAWidePackBesideTheProgram) {
  const QString file = QStringLiteral(KV_PROGRAM_BUILD_DIR) + "/landscapes.mcp";
  ASSERT_TRUE(QFile::exists(file));
  TKVResFileReader r(file);
  EXPECT_EQ(r.Version(), 0x564B0065);
  ASSERT_GT(r.Count(), 5);
  EXPECT_EQ(r.ReadBuffer(0), QByteArray("Mirova Landscapes"));
  TMirovaHeaderObject h;
  QBuffer hb;
  hb.setData(r.ReadBuffer(1));
  hb.open(QIODevice::ReadOnly);
  h.ReadHeaderRecord(hb);
  ASSERT_EQ(h.PictureCount(), r.Count() - 3);
  EXPECT_GE(h.PictureCount(), 3);
  QList<QImage> seen;
  for (int k = 1; k <= h.PictureCount(); ++k) {
    ASSERT_EQ(std::abs(r.GetEntry(k + 2).Kind), 7);
    QImage p;
    ASSERT_TRUE(p.loadFromData(r.ReadBuffer(k + 2), "JPEG"));
    EXPECT_EQ(p.width() * 9, p.height() * 16);
    const QImage small = p.scaled(32, 18);
    for (const QImage& s : seen) EXPECT_NE(s, small);
    seen << small;
  }

  // Its skin gives the cover and the pack colours of the settings object.
  class TMainForm : public TComponent {
   public:
    using TComponent::TComponent;
    bool IsForm() const override { return true; }
  } form;
  form.SetName("KVMirovaCalendar");
  auto* ini = new Tini(&form);
  TAppSkin skin;
  ini->Skin().SetAppSkin(&skin);
  ini->PackDefaults.BackColor = clRed;
  ini->ResetDefaults();
  QBuffer sb;
  sb.setData(r.ReadBuffer(2));
  sb.open(QIODevice::ReadOnly);
  skin.LoadSkinPackage(sb);
  ASSERT_EQ(skin.Images.Count(), 1);
  EXPECT_EQ(skin.Images.Items(0)->EntryWidth(0), 480);
  EXPECT_EQ(ini->PackDefaults.BackColor, 0x00603818u);
  EXPECT_EQ(ini->PackDefaults.SundayColor, 0x0080C8FFu);
  EXPECT_EQ(ini->PackDefaults.SaturdayBackColor, clNone);
  // The same skin text as the authored file.
  EXPECT_EQ(skin.Forms.size(), 1u);
  EXPECT_EQ(skin.Forms[0].text.join("\n").trimmed(),
            QString::fromLatin1(kvtest::ReadFile(QStringLiteral(KV_DATA_DIR) + "/defaultpack-skin.txt")).trimmed());
}
