#include <QBuffer>
#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

#include "foundation/KVRStream.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVZlib.h"
#include "tests/common/TestUtil.h"

namespace {

QByteArray Pack(const std::function<void(TKVResWriter&)>& fill, qint32 version = 0x564B0069) {
  TKVResWriter w(version, true);
  fill(w);
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  w.SaveToStream(out);
  return out.data();
}

QByteArray I32(qint32 v) {
  const qint32 le = qToLittleEndian(v);
  return QByteArray(reinterpret_cast<const char*>(&le), 4);
}

struct Reader {
  QBuffer buf;
  TKVResReader r;
  explicit Reader(const QByteArray& data, qint64 start = 0) : r(start) {
    buf.setData(data);
    buf.open(QIODevice::ReadOnly);
    r.SetStream(&buf);
  }
};

}  // namespace

TEST(KVRStream, EmptyPackIsEightBytes) {
  const QByteArray p = Pack([](TKVResWriter&) {});
  EXPECT_EQ(p.size(), 8);
  Reader rd(p);
  EXPECT_TRUE(rd.r.ReadDirectory());
  EXPECT_EQ(rd.r.Version(), 0x564B0069);
  EXPECT_EQ(rd.r.Count(), 0);
  EXPECT_EQ(rd.r.GetEntry(0).Kind, 0);
}

TEST(KVRStream, OffsetsFollowTheDirectory) {
  const QByteArray p = Pack([](TKVResWriter& w) {
    w.AddBuffer(16, QByteArray(12, 'a'));
    w.AddBuffer(16, QByteArray());
    w.AddBuffer(2, "hello");
  });
  EXPECT_EQ(p.size(), 49);
  // Offsets 32, 44 and 44: the bytes sit right after the 32-byte header and directory.
  EXPECT_EQ(p.mid(32, 12), QByteArray(12, 'a'));
  EXPECT_EQ(p.mid(44, 5), "hello");
  Reader rd(p);
  ASSERT_TRUE(rd.r.ReadDirectory());
  EXPECT_EQ(rd.r.ReadBuffer(1), QByteArray());
  EXPECT_EQ(rd.r.ReadBuffer(2), "hello");
}

TEST(KVRStream, BitmapKindRestoresItsSignature) {
  const QByteArray p = Pack([](TKVResWriter& w) {
    w.AddBuffer(1, "XXrest");
    w.AddBuffer(-1, "XXrest");
    w.AddBuffer(2, "XXrest");
    w.AddBuffer(1, "X");
  });
  Reader rd(p);
  ASSERT_TRUE(rd.r.ReadDirectory());
  EXPECT_EQ(rd.r.ReadBuffer(0), "BMrest");
  QBuffer dest;
  dest.open(QIODevice::ReadWrite);
  rd.r.ReadToStream(0, dest);
  EXPECT_EQ(dest.data(), "BMrest");
  EXPECT_EQ(dest.pos(), 2);
  EXPECT_EQ(rd.r.ReadBuffer(1), "XXrest");
  EXPECT_EQ(rd.r.ReadBuffer(2), "XXrest");
  EXPECT_EQ(rd.r.ReadBuffer(3), "X");  // too short to carry a signature
}

TEST(KVRStream, CompressedEntriesRoundTrip) {
  QByteArray big;
  for (int i = 0; i < 100000; ++i) big.append(char(i % 251));
  QBuffer src;
  src.setData(big);
  src.open(QIODevice::ReadOnly);
  src.seek(500);  // AddStream rewinds first
  TKVResWriter w(7, false);
  EXPECT_TRUE(QFile::exists(w.TempFileName()));
  w.AddStream(-20, src);
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  w.SaveToStream(out);
  const QString temp = w.TempFileName();

  Reader rd(out.data());
  ASSERT_TRUE(rd.r.ReadDirectory());
  const TKVResEntry e = rd.r.GetEntry(0);
  EXPECT_EQ(e.Kind, -20);
  EXPECT_EQ(e.Size, out.data().size() - 16);
  EXPECT_EQ(uchar(out.data()[16]), 0x78);  // zlib header
  // The whole entry comes back, however its compressed size compares.
  EXPECT_EQ(rd.r.ReadBuffer(0), big);
  QBuffer dest;
  dest.open(QIODevice::ReadWrite);
  rd.r.ReadToStream(0, dest);
  EXPECT_EQ(dest.data(), big);
}

TEST(KVRStream, TempFileGoesWithTheWriter) {
  QString temp;
  {
    TKVResWriter w(1, false);
    temp = w.TempFileName();
    EXPECT_TRUE(temp.endsWith(".TMP"));
    EXPECT_TRUE(QFile::exists(temp));
  }
  EXPECT_FALSE(QFile::exists(temp));
}

TEST(KVRStream, PackInsideAnotherStream) {
  const QByteArray p = Pack([](TKVResWriter& w) {
    w.AddBuffer(3, "abc");
    w.AddBuffer(-3, "compressed text");
  });
  Reader alone(p);
  Reader inside(QByteArray(100, 'z') + p + "tail", 100);
  ASSERT_TRUE(alone.r.ReadDirectory());
  ASSERT_TRUE(inside.r.ReadDirectory());
  for (int i = 0; i < 2; ++i) EXPECT_EQ(inside.r.ReadBuffer(i), alone.r.ReadBuffer(i));
}

TEST(KVRStream, HostileDirectoriesFailWithoutAllocating) {
  const QByteArray hostile[] = {
      QByteArray("1234"),                                            // short header
      I32(1) + I32(0x7FFFFFFF),                                      // absurd count
      I32(1) + I32(-5),                                              // negative count
      I32(1) + I32(2) + I32(0) + I32(4),                             // directory cut short
      I32(1) + I32(1) + I32(0) + I32(0x7FFFFFF0) + "data",           // size beyond the stream
      I32(1) + I32(1) + I32(0) + I32(-1),                            // negative size
      I32(1) + I32(2) + I32(0) + I32(3) + I32(0) + I32(0x7FFFFFFF),  // running sum overflows
  };
  for (const QByteArray& h : hostile) {
    Reader rd(h);
    EXPECT_FALSE(rd.r.ReadDirectory());
    EXPECT_EQ(rd.r.Version(), 0);
    EXPECT_EQ(rd.r.Count(), 0);
    EXPECT_THROW(rd.r.ReadBuffer(0), EStreamError);
  }
  TKVResReader none;
  EXPECT_FALSE(none.ReadDirectory());
}

TEST(KVRStream, CorruptCompressedEntryRaises) {
  QByteArray p = Pack([](TKVResWriter& w) { w.AddBuffer(-3, QByteArray(5000, 'q')); });
  p[20] = char(p[20] ^ 0x55);
  p.chop(3);
  p = p.left(8) + I32(-3) + I32(p.size() - 16) + p.mid(16);
  Reader rd(p);
  ASSERT_TRUE(rd.r.ReadDirectory());
  EXPECT_THROW(rd.r.ReadBuffer(0), EZlibError);
}

TEST(KVRStream, InflationHasACeiling) {
  const QByteArray bomb = ZCompress(QByteArray(4 * 1024 * 1024, '\0'));
  EXPECT_LT(bomb.size(), 10000);
  EXPECT_THROW(ZDecompress(bomb, 1024 * 1024), EZlibBudgetError);
  EXPECT_EQ(ZDecompress(bomb, kMaxTextSize).size(), 4 * 1024 * 1024);

  // Pack entries are read within the budget of their kind; texts by default.
  const QByteArray pack = Pack([](TKVResWriter& w) {
    w.AddBuffer(-3, QByteArray(20 * 1024 * 1024, ' '));
    w.AddBuffer(7, QByteArray(2 * 1024 * 1024, 'r'));
  });
  EXPECT_LT(pack.size(), 3 * 1024 * 1024);
  Reader rd(pack);
  ASSERT_TRUE(rd.r.ReadDirectory());
  EXPECT_THROW(rd.r.ReadBuffer(0), EZlibBudgetError);
  EXPECT_EQ(rd.r.ReadBuffer(0, 32 * 1024 * 1024).size(), 20 * 1024 * 1024);
  EXPECT_THROW(rd.r.ReadBuffer(1, 1024 * 1024), EZlibBudgetError);
  EXPECT_EQ(rd.r.ReadBuffer(1).size(), 2 * 1024 * 1024);
}

TEST(KVRStream, AllTheEntriesOfAPackShareOneBudget) {
  // 40 entries of 4 MiB in 160 KB: each within the budget of a text, 160 MB together.
  const QByteArray zeros(4 << 20, '\0');
  const QByteArray pack = Pack([&](TKVResWriter& w) {
    for (int i = 0; i < 40; ++i) w.AddBuffer(-3, zeros);
    w.AddBuffer(7, QByteArray(1 << 20, 'r'));
  });
  ASSERT_LT(pack.size(), 2 << 20);
  Reader rd(pack);
  ASSERT_TRUE(rd.r.ReadDirectory());
  int read = 0;
  for (int i = 0; i < 40; ++i) {
    try {
      EXPECT_EQ(rd.r.ReadBuffer(i), zeros);
      ++read;
    } catch (const EZlibBudgetError&) {
    }
  }
  // About 16 MiB and sixteen times the pack's own bytes come out, then no more.
  EXPECT_GE(read, 4);
  EXPECT_LT(read, 10);
  EXPECT_THROW(rd.r.ReadBuffer(40), EZlibBudgetError);
  // Reading the directory again is a new start; a raw entry read again and again counts each time.
  ASSERT_TRUE(rd.r.ReadDirectory());
  EXPECT_EQ(rd.r.ReadBuffer(0).size(), 4 << 20);
  int again = 0;
  for (int i = 0; i < 100; ++i) {
    try {
      rd.r.ReadBuffer(40);
      ++again;
    } catch (const EZlibBudgetError&) {
    }
  }
  EXPECT_GE(again, 16);
  EXPECT_LT(again, 100);
}

TEST(KVRStream, FileWriterAndReader) {
  InitializeFolders();
  const QString file = kvtest::TestRoot() + "/pack.mlt";
  QFile::remove(file);
  {
    TKVResFileWriter w(0x564B0069, true, file);
    w.AddBuffer(5, "entry");
    w.Save();
  }
  TKVResFileReader r(file);
  EXPECT_EQ(r.Count(), 1);
  EXPECT_EQ(r.ReadBuffer(0), "entry");
  EXPECT_THROW(TKVResFileReader(kvtest::TestRoot() + "/missing.mlt"), EFOpenError);

  // StartPos on a missing file: the pack is written at position 0.
  const QString fresh = kvtest::TestRoot() + "/fresh.mlt";
  QFile::remove(fresh);
  TKVResFileWriter w2(3, true, fresh);
  w2.SetStartPos(40);
  w2.AddBuffer(5, "x");
  w2.Save();
  EXPECT_EQ(kvtest::ReadFile(fresh).size(), 8 + 8 + 1);

  // On an existing file the bytes before and after the pack stay.
  const QString host = kvtest::TestRoot() + "/host.bin";
  kvtest::WriteFile(host, QByteArray(40, 'h') + QByteArray(100, 't'));
  TKVResFileWriter w3(3, true, host);
  w3.SetStartPos(40);
  w3.AddBuffer(5, "x");
  w3.Save();
  const QByteArray h = kvtest::ReadFile(host);
  EXPECT_EQ(h.size(), 140);
  EXPECT_EQ(h.left(40), QByteArray(40, 'h'));
  EXPECT_EQ(h.mid(57), QByteArray(83, 't'));
  TKVResFileReader r3(host, 40);
  EXPECT_EQ(r3.ReadBuffer(0), "x");

  // A pack that cannot be written leaves the old file whole.
  TKVResFileWriter bad(3, true, kvtest::TestRoot() + "/no/such/dir/p.mlt");
  EXPECT_THROW(bad.Save(), EFCreateError);
}
