// Every saver of the foundation on a full disk: the save reports the failure and the old file
// stays whole (a save smaller than Qt's write buffer used to leave an empty file behind).
#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>

#include "foundation/KVPicture.h"
#include "foundation/KVRStream.h"
#include "foundation/KVString.h"
#include "foundation/KVXSkinBase.h"
#include "tests/common/TestUtil.h"

namespace {

// Saves once to make the old file, then again on a full disk: the second save must raise
// EFCreateError and leave the first file as it was, with nothing else in the folder.
void ExpectFullDiskKeepsTheOldFile(const char* what, const std::function<void(const QString&, int round)>& save) {
  const QString dir = kvtest::TestRoot() + "/full/" + what;
  QDir(dir).removeRecursively();
  QDir().mkpath(dir);
  const QString file = dir + "/saved.dat";
  save(file, 0);
  const QByteArray before = kvtest::ReadFile(file);
  ASSERT_FALSE(before.isEmpty()) << what;
  bool failed = false;
  {
    kvtest::FullDisk full;
    try {
      save(file, 1);
    } catch (const EFCreateError&) {
      failed = true;
    }
  }
  EXPECT_TRUE(failed) << what << " reported a save on a full disk as done";
  EXPECT_EQ(kvtest::ReadFile(file), before) << what;
  EXPECT_EQ(kvtest::FolderEntries(dir), QStringList{"saved.dat"}) << what;
}

}  // namespace

TEST(FullDisk, StringsDocumentsPacksAndBitmaps) {
  ExpectFullDiskKeepsTheOldFile("SaveStrToFile", [](const QString& f, int round) {
    SaveStrToFile(f, round == 0 ? QByteArray("first") : QByteArray("second, small"));
  });

  ExpectFullDiskKeepsTheOldFile("document", [](const QString& f, int round) {
    TKVXSkinDiaryBase doc(nullptr);
    doc.SetName("DiaryBase");
    doc.Data().Add()->Title = round == 0 ? "first" : "second";
    doc.SaveToFile(f, round == 1);
  });

  for (const bool inMemory : {true, false}) {
    ExpectFullDiskKeepsTheOldFile(inMemory ? "pack" : "pack-through-a-work-file", [inMemory](const QString& f, int round) {
      TKVResFileWriter w(0x564B0066, inMemory, f);
      w.AddBuffer(16, QByteArray(12, char(round)));
      w.AddBuffer(-20, QByteArray(100, 'x'));
      w.Save();
    });
  }

  ExpectFullDiskKeepsTheOldFile("bitmap", [](const QString& f, int round) {
    QImage img(8, 8, QImage::Format_BGR888);
    img.fill(round == 0 ? Qt::red : Qt::blue);
    SaveBitmap24(f, img);
  });
}

TEST(FullDisk, AWriteCutShortGivesTheSystemsReason) {
  const QString dir = kvtest::TestRoot() + "/full/reason";
  QDir(dir).removeRecursively();
  QDir().mkpath(dir);
  QImage img(1024, 768, QImage::Format_BGR888);
  img.fill(Qt::green);
  // Room for part of the picture: the write is cut short, then refused.
  for (const qint64 room : {qint64(0), qint64(100000), qint64(1500000)}) {
    kvtest::FullDisk full(room);
    try {
      SaveBitmap24(dir + "/kvmir.bmp", img);
      ADD_FAILURE() << "saved with room for " << room << " bytes";
    } catch (const EFCreateError& e) {
      EXPECT_EQ(e.Reason(), "File too large") << room << ": " << e.Message().toStdString();
    }
  }
  EXPECT_EQ(kvtest::FolderEntries(dir), QStringList());
}
