// The calendar's files under hostile conditions: full disks, damaged documents, caches and
// strips that claim more than their bytes hold.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirData.h"
#include "calendar/MirPicture.h"
#include "calendar/encr.h"
#include "foundation/KVBitmapList.h"
#include "foundation/KVPicture.h"
#include "foundation/KVRStream.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVZlib.h"
#include "tests/common/TestUtil.h"
#include "tools/kvpack/PackWriter.h"

namespace {

QString FreshDir(const QString& name) {
  const QString d = kvtest::TestRoot() + "/safety/" + name;
  QDir(d).removeRecursively();
  QDir().mkpath(d);
  return d;
}

void AcceptAll(TKVXSkinSafeIni& d) { d.OnVerify.Set([](TPersistent*, const QString&, bool& a) { a = true; }); }

// Saves once (round 0), then on a full disk (round 1): the failure must be reported and the first
// file stay whole, with nothing else left in the folder.
template <class Save>
void ExpectFullDiskKeepsTheOldFile(const char* what, Save save) {
  const QString dir = FreshDir(QString("full-") + what);
  const QString file = dir + "/saved.dat";
  ASSERT_TRUE(save(file, 0)) << what;
  const QByteArray before = kvtest::ReadFile(file);
  bool saved = true;
  {
    kvtest::FullDisk full;
    try {
      saved = save(file, 1);
    } catch (const EFCreateError&) {
      saved = false;
    }
  }
  EXPECT_FALSE(saved) << what << " reported a save on a full disk as done";
  EXPECT_EQ(kvtest::ReadFile(file), before) << what;
  EXPECT_EQ(kvtest::FolderEntries(dir), QStringList{"saved.dat"}) << what;
}

QImage Solid(int w, int h, QColor c) {
  QImage i(w, h, QImage::Format_RGB888);
  i.fill(c);
  return i;
}

QByteArray ThumbEntry(const QByteArray& key, const QByteArray& data) {
  QByteArray e(8, '\0');
  qToLittleEndian<qint32>(qint32(key.size()), e.data());
  qToLittleEndian<qint32>(qint32(data.size()), e.data() + 4);
  return e + key + data;
}

QByteArray ThumbHeader(qint32 w, qint32 h) {
  QByteArray head(12, '\0');
  qToLittleEndian<qint32>(w, head.data() + 4);
  qToLittleEndian<qint32>(h, head.data() + 8);
  return head;
}

QByteArray Bitmap(const QImage& img) {
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  WriteBitmap24(b, img);
  return b.data();
}

}  // namespace

TEST(CalendarFullDisk, EverySaverReportsTheFailureAndKeepsTheOldFile) {
  ExpectFullDiskKeepsTheOldFile("diary", [](const QString& f, int round) {
    TMDiaryBase diary;
    diary.Data().Add()->Lines = round == 0 ? "first" : "second";
    SaveDocumentFile(diary, f, true);
    return true;
  });
  ExpectFullDiskKeepsTheOldFile("notes", [](const QString& f, int round) {
    TMNotesBase notes;
    notes.QuickNote.append(round == 0 ? "first" : "second");
    SaveDocumentFile(notes, f, true);
    return true;
  });
  ExpectFullDiskKeepsTheOldFile("password", [](const QString& f, int round) {
    return WritePasswordFile(f, round == 0 ? "first" : "second");
  });
  ExpectFullDiskKeepsTheOldFile("thumbnails", [](const QString& f, int round) {
    TMThnList t;
    t.ThumbWidth = 94;
    t.ThumbHeight = 70;
    t.AddThumb("1", Solid(94, 70, round == 0 ? Qt::red : Qt::blue));
    return t.SaveThumbs(f);
  });
  ExpectFullDiskKeepsTheOldFile("image pack", [](const QString& f, int round) {
    kvpack::WriteImagePack(f, round == 0 ? "first" : "second", QByteArray(), {});
    return true;
  });
  ExpectFullDiskKeepsTheOldFile("layout pack", [](const QString& f, int round) {
    kvpack::WriteLayoutPack(f, {round == 0 ? "object Lini: TLayoutIni\r\nend\r\n" : "object Lini: TLayoutIni\r\n  LayoutID = 2\r\nend\r\n"});
    return true;
  });
}

TEST(DamagedDiary, TheEntriesBeforeTheDamageLoadTheUserIsToldOnceAndTheFileIsKept) {
  const QString dir = FreshDir("diary");
  const QString file = dir + "/mdiary.dat";
  TMDiaryBase full;
  for (int i = 1; i <= 5; ++i) {
    TKVXBDiaryItem* item = full.Data().Add();
    item->idx = QString("2024/01/%1").arg(i, 2, 10, QChar('0'));
    item->Lines = QString(4000, QChar('a' + i));  // incompressible enough that a cut lands inside
    for (int k = 0; k < item->Lines.size(); k += 7) item->Lines[k] = QChar('0' + (k * i) % 10);
  }
  SaveDocumentFile(full, file, true);
  QByteArray bytes = kvtest::ReadFile(file);
  // Cut inside the fourth entry.
  const QByteArray text = ZDecompress(bytes, kMaxRichTextSize);
  const qsizetype cutAt = text.indexOf("2024/01/04") + 20;
  for (int n = 1; n < bytes.size(); n += 16) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QBuffer in;
    in.setData(bytes.left(n));
    in.open(QIODevice::ReadOnly);
    try {
      ZDecompressStream(in, n, out, kMaxRichTextSize);
    } catch (const EZlibError&) {
    }
    if (out.data().size() >= cutAt) {
      bytes = bytes.left(n);
      break;
    }
  }
  const QByteArray damaged = bytes;
  kvtest::WriteFile(file, damaged);

  QStringList told;
  SetMessageBoxAnswerer([&told](const QString& msg, const QString&, int icon, const TKVButtons&) {
    EXPECT_EQ(icon, IDI_WARNING_ICON);
    told << msg;
    return 1;
  });
  TMDiaryBase diary;
  AcceptAll(diary);
  LoadDocumentFile(diary, file);
  SetMessageBoxAnswerer(nullptr);
  EXPECT_FALSE(diary.LoadFailed);
  EXPECT_TRUE(diary.LoadDamaged);
  ASSERT_EQ(diary.Data().Count(), 3);
  EXPECT_EQ(diary.Data()[2]->Lines, full.Data()[2]->Lines);
  ASSERT_EQ(told.size(), 1);
  EXPECT_TRUE(told[0].contains("mdiary.dat")) << told[0].toStdString();
  EXPECT_TRUE(told[0].contains("The 3 entries")) << told[0].toStdString();

  // What the user adds is saved beside the damaged file, which is kept.
  diary.Data().Add()->idx = "2024/02/01";
  SaveDocumentFile(diary, file, true);
  EXPECT_EQ(kvtest::ReadFile(file + ".bak"), damaged);
  TMDiaryBase again;
  AcceptAll(again);
  told.clear();
  SetMessageBoxAnswerer([&told](const QString& msg, const QString&, int, const TKVButtons&) {
    told << msg;
    return 1;
  });
  LoadDocumentFile(again, file);
  SetMessageBoxAnswerer(nullptr);
  EXPECT_TRUE(told.isEmpty());
  EXPECT_FALSE(again.LoadDamaged);
  EXPECT_EQ(again.Data().Count(), 4);
}

TEST(ThumbnailBudget, EntriesInflateToNoMoreThanAThumbnailOfTheCachesSize) {
  const QString dir = FreshDir("thumbs");
  const QByteArray good = ThumbEntry("1", Bitmap(Solid(94, 70, Qt::red)));
  // 8 MB of zeros in a few kilobytes after a good thumbnail: the load ends there.
  const QString bomb = dir + "/bomb.thn";
  kvpack::WritePack(bomb, kThumbPackVersion,
                    {{16, ThumbHeader(94, 70)}, {-20, good}, {-20, ThumbEntry("2", QByteArray(8 << 20, '\0'))}, {-20, good}});
  EXPECT_LT(QFileInfo(bomb).size(), 64 * 1024);
  TMThnList t;
  t.LoadThumbs(bomb);
  ASSERT_EQ(t.Count(), 1);
  EXPECT_EQ(t.Thumb(0).size(), QSize(94, 70));
  // A cache of thumbnails larger than any the program makes is not loaded.
  const QString huge = dir + "/huge.thn";
  kvpack::WritePack(huge, kThumbPackVersion, {{16, ThumbHeader(5000, 5000)}, {-20, good}});
  TMThnList h;
  h.LoadThumbs(huge);
  EXPECT_EQ(h.Count(), 0);
  EXPECT_EQ(h.ThumbWidth, 5000);
  // A stored bitmap larger than the cache's size is not decoded.
  TMThnList small;
  small.ThumbWidth = 30;
  small.ThumbHeight = 20;
  small.Add("big", Bitmap(Solid(94, 70, Qt::blue)));
  small.Add("fits", Bitmap(Solid(30, 20, Qt::blue)));
  EXPECT_TRUE(small.Thumb(0).isNull());
  EXPECT_EQ(small.Thumb(1).size(), QSize(30, 20));
}

TEST(IconBudget, AStripWithLessRoomThanItsIconsIsRefusedAndTheFileKept) {
  // 50 icons claimed in a strip 50 pixels wide and 1 high: a count, not icons.
  QString widths, heights;
  for (int i = 0; i < 50; ++i) {
    widths += "1,";
    heights += "1,";
  }
  const QByteArray strip = kvpack::BitmapStripStream({Solid(50, 1, Qt::red)});
  const QByteArray head = strip.left(16);
  const qint32 lw = qFromLittleEndian<qint32>(head.constData()), lh = qFromLittleEndian<qint32>(head.constData() + 4);
  QByteArray newHead(16, '\0');
  qToLittleEndian<qint32>(qint32(widths.size()), newHead.data());
  qToLittleEndian<qint32>(qint32(heights.size()), newHead.data() + 4);
  qToLittleEndian<qint32>(50, newHead.data() + 8);
  newHead.replace(12, 4, head.mid(12, 4));
  const QByteArray hostile = newHead + widths.toLatin1() + heights.toLatin1() + strip.mid(16 + lw + lh);
  TMIconBase icons;
  EXPECT_THROW(icons.ReadIconData(hostile), EKVError);

  TMIconBase good;
  good.AddIcon(Solid(32, 32, Qt::red));
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  good.SaveToStream(b, false);
  QByteArray text = b.data();
  const QByteArray goodHex = good.WriteIconData().toHex().toUpper();
  ASSERT_TRUE(text.contains(goodHex.left(64)));
  // Swap the stored strip for the hostile one (one hex line, as the reader takes any layout).
  const qsizetype from = text.indexOf("IconData = {"), to = text.indexOf('}', from);
  text.replace(from, to - from + 1, "IconData = {" + hostile.toHex() + "}");
  TMIconBase back;
  AcceptAll(back);
  QBuffer in(&text);
  in.open(QIODevice::ReadOnly);
  back.LoadFromStream(in);
  EXPECT_FALSE(back.LoadFailed);
  EXPECT_TRUE(back.LoadDamaged);
  EXPECT_TRUE(back.Icons.empty());
}

TEST(PackBudget, APictureEntryInflatesNoFurtherThanItsPackCanHold) {
  // A bitmap entry claiming 7000 x 7000 pixels, its 147 MB of zeros deflated to some 150 KB:
  // within the picture ceiling, it inflated whole and was then decoded (300 MB).
  QByteArray header = Bitmap(Solid(1, 1, Qt::red)).left(54);
  qToLittleEndian<qint32>(7000, header.data() + 18);
  qToLittleEndian<qint32>(7000, header.data() + 22);
  const qint64 bytes = 54 + 7000LL * 21000;
  const QString dir = FreshDir("pack-picture");
  const auto writePack = [&](const QString& file, QIODevice& picture) {
    TKVResFileWriter w(0x564B0065, true, file);
    w.AddBuffer(0, "Hostile");
    w.AddBuffer(0, QByteArray(8, '\0'));
    w.AddBuffer(0, QByteArray());
    w.AddStream(-1, picture);
    w.Save();
  };
  kvtest::ZeroTail zeros(header, bytes);
  writePack(dir + "/bomb.mcp", zeros);
  ASSERT_LT(QFileInfo(dir + "/bomb.mcp").size(), 1 << 20);
  const kvtest::PeakGrowth cost = kvtest::MeasurePeakGrowth([&] {
    TKVResFileReader r(dir + "/bomb.mcp");
    QImage picture;
    LoadPackImage(picture, 1, r);
  });
  EXPECT_GE(cost.resident, 0);
  EXPECT_LT(cost.resident, 64 << 20);
  TKVResFileReader r(dir + "/bomb.mcp");
  QImage picture;
  EXPECT_THROW(LoadPackImage(picture, 1, r), EZlibBudgetError);
  // A real picture of a screen's size that deflates as well still loads.
  QBuffer solid;
  solid.setData(Bitmap(Solid(1920, 1080, Qt::blue)));
  solid.open(QIODevice::ReadOnly);
  writePack(dir + "/flat.mcp", solid);
  TKVResFileReader flat(dir + "/flat.mcp");
  LoadPackImage(picture, 1, flat);
  EXPECT_EQ(picture.size(), QSize(1920, 1080));
}

