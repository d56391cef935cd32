#include "calendar/MirImageSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "foundation/KVSysUtils.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/MainFormComponent.h"
#include "tests/common/TestUtil.h"
#include "tools/kvpack/PackWriter.h"

namespace {

QImage Solid(QColor c, int w = 320, int h = 240) {
  QImage i(w, h, QImage::Format_RGB32);
  i.fill(c);
  return i;
}

bool Near(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 && std::abs(a.blue() - b.blue()) < 40;
}

QColor Middle(const QImage& i) { return i.pixelColor(i.width() / 2, i.height() / 2); }

// The side files below were written by the Images page before the image set left it.
QByteArray Golden(const char* name) {
  return kvtest::ReadFile(QStringLiteral(KV_DATA_DIR "/../tests/calendar/golden/imageset/") + QLatin1String(name));
}

class ImageSet : public ::testing::Test {
 protected:
  QTemporaryDir exe, photos;
  kvtest::ScopedOverride<QString> exeDir{ExeDir, exe.path() + "/"};
  kvtest::ScopedOverride<QString> shareDir{ShareDir, QString()};
  kvtest::FormComponent form;
  bool visible = false;
  std::unique_ptr<TMirModel> model;
  QStringList events;

  void SetUp() override {
    TMirModelHooks mh;
    mh.SettingsVisible = [this] { return visible; };
    model = std::make_unique<TMirModel>(form, mh);
    model->Ini->MirPack.clear();
    model->Ini->ThnSize = 1;
    model->Ini->ImageIndex = 0;
    Set().ApplyThumbSize();
    TMirModelChanges& c = model->Changes;
    QObject::connect(&c, &TMirModelChanges::PackSkinLoading, [this] { events << "skin loading"; });
    QObject::connect(&c, &TMirModelChanges::PackSkinLoaded, [this](QSize) { events << "skin loaded"; });
    QObject::connect(&c, &TMirModelChanges::ImageSetLoaded, [this] { events << "set loaded"; });
    QObject::connect(&c, &TMirModelChanges::CurrentPictureChanged, [this] { events << "picture"; });
  }
  TMirImageSet& Set() { return *model->ImageSet; }
  QString Exe(const QString& name) const { return exe.filePath(name); }
  void Pack(const QString& name, int pictures) {
    std::vector<kvpack::PackPicture> p;
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    for (int i = 0; i < pictures; ++i) p.push_back(kvpack::PictureFromImage(Solid(colours[i % 3]), i % 2 == 0));
    kvpack::WriteImagePack(Exe(name), QFileInfo(name).baseName(), kvpack::SkinPackage({}, {}), p);
  }
  // Lists and loads the current set while busy, as the program starts.
  void Start() {
    model->SetBusy(true);
    const int current = Set().LoadList();
    ASSERT_GE(current, 0);
    Set().Switch(current);
    Set().SaveMadeThumbnails();
    model->SetBusy(false);
  }
  int IndexOf(const QString& file) const {
    for (size_t i = 0; i < model->ImageSet->Sets().size(); ++i)
      if (model->ImageSet->Sets()[i].FileName == file) return int(i);
    return -1;
  }
  QStringList Keys() const {
    QStringList k;
    for (const TMSetPicture& p : model->ImageSet->Pictures()) k << p.Key + (p.Checked ? "+" : "-");
    return k;
  }
};

}  // namespace

TEST_F(ImageSet, SwitchingLoadsOrderChecksAndSkinAnnouncesItAndSavesTheOutgoingSet) {
  Pack("a.mcp", 3);
  Pack("b.mcp", 2);
  kvtest::WriteFile(Exe("a.mcl"), "3\r\n1\r\n");
  kvtest::WriteFile(Exe("a.sel"), "1\r\n3\r\n");
  Start();
  EXPECT_EQ(Set().Loaded(), "a.mcp");
  EXPECT_EQ(model->Ini->MirPack, "a.mcp");
  EXPECT_EQ(model->Header.PictureCount(), 3);
  EXPECT_EQ(Keys(), (QStringList{"3+", "1+", "2-"}));
  EXPECT_EQ(model->UsedImages, (QStringList{"3", "1"}));
  // The skin is emptied and loaded before the pictures are there; the current picture is new.
  EXPECT_EQ(events, (QStringList{"skin loading", "skin loaded", "set loaded", "picture"}));
  EXPECT_TRUE(QFileInfo::exists(Exe("a.thn")));

  // Order and checks are the set's; the current picture changing is announced.
  events.clear();
  Set().Exchange(0, 2);
  Set().SetChecked(0, true);
  Set().UpdateSelection(true);
  EXPECT_EQ(Keys(), (QStringList{"2+", "1+", "3+"}));
  EXPECT_EQ(model->UsedImages, (QStringList{"2", "1", "3"}));
  EXPECT_EQ(events, QStringList{"picture"});
  events.clear();
  Set().SetChecked(2, false);
  Set().UpdateSelection(true);
  EXPECT_TRUE(events.isEmpty());  // the current picture is still picture 2
  Set().CheckAll(false);
  Set().UpdateSelection(false);
  EXPECT_EQ(events, QStringList{"picture"});  // nothing checked: drawn again even without Redraw
  Set().CheckAll(true);
  Set().UpdateSelection(true);

  // With the window open the outgoing set is saved, and the set loaded is not loaded again.
  visible = true;
  events.clear();
  EXPECT_FALSE(Set().Switch(IndexOf("a.mcp")));
  EXPECT_TRUE(events.isEmpty());
  ASSERT_TRUE(Set().Switch(IndexOf("b.mcp")));
  EXPECT_EQ(kvtest::ReadFile(Exe("a.mcl")), "2\r\n1\r\n3\r\n");
  EXPECT_EQ(kvtest::ReadFile(Exe("a.sel")), "2\r\n1\r\n3\r\n");
  EXPECT_EQ(Set().Loaded(), "b.mcp");
  EXPECT_EQ(Keys(), (QStringList{"1+", "2+"}));  // no ".sel": all checked
  EXPECT_FALSE(Set().LoadedUserSet());
  ASSERT_TRUE(Set().Switch(IndexOf("a.mcp")));
  EXPECT_EQ(Keys(), (QStringList{"2+", "1+", "3+"}));
}

TEST_F(ImageSet, TheSideFilesAreTheOnesThePageWrote) {
  // A pack of three pictures and one that is no picture, an order list with junk, a selection.
  std::vector<kvpack::PackPicture> pictures;
  for (QColor c : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue)})
    pictures.push_back(kvpack::PictureFromImage(Solid(c), pictures.size() % 2 == 0));
  std::vector<kvpack::PackEntry> e = kvpack::ImagePackEntries("Nature", kvpack::SkinPackage({}, {}), pictures);
  e.push_back({kvpack::kKindJpeg, "not a jpeg"});
  qToLittleEndian<qint32>(4, e[1].Data.data() + 4);
  kvpack::WritePack(Exe("nature.mcp"), kvpack::kImagePackVersion, e);
  kvtest::WriteFile(Exe("nature.mcl"), "3\r\nabc\r\n1\r\n");
  kvtest::WriteFile(Exe("nature.sel"), "1\r\n4\r\n3\r\n");
  Start();
  EXPECT_EQ(kvtest::ReadFile(Exe("nature.thn")), Golden("switch.thn"));
  EXPECT_TRUE(Set().Pictures()[3].Placeholder);

  // The first picture unchecked, the second moved down.
  visible = true;
  Set().SetChecked(0, false);
  Set().UpdateSelection(true);
  Set().Exchange(1, 2);
  Set().UpdateSelection(true);
  Set().Save();
  for (const char* f : {"nature.mcl", "nature.sel", "nature.thn"})
    EXPECT_EQ(kvtest::ReadFile(Exe(f)), Golden((std::string("saved-") + f).c_str())) << f;

  // The small thumbnails: loaded again and the cache written anew at their size.
  Set().ChangeThumbSize(0);
  EXPECT_EQ(Set().ThumbnailSize(), QSize(94, 70));
  ASSERT_TRUE(Set().Switch(IndexOf("nature.mcp")));
  Set().SaveMadeThumbnails();
  EXPECT_EQ(kvtest::ReadFile(Exe("nature.thn")), Golden("small.thn"));
  EXPECT_EQ(Keys().join(",").toUtf8(), Golden("keys.txt"));
}

TEST_F(ImageSet, TheThumbnailCacheIsTakenAtItsSizeAndWrittenOnlyWhenItChanged) {
  Pack("a.mcp", 2);
  Pack("b.mcp", 1);
  // A cache at the current size whose thumbnails are magenta: taken as it is, not written again.
  TMThnList t;
  t.ThumbWidth = 128;
  t.ThumbHeight = 96;
  t.AddThumb("1", Solid(Qt::magenta, 128, 96));
  t.AddThumb("2", Solid(Qt::magenta, 128, 96));
  ASSERT_TRUE(t.SaveThumbs(Exe("a.thn")));
  const QStringList files{Exe("a.mcl"), Exe("a.sel"), Exe("a.thn")};
  const QStringList cached = kvtest::FileStamps(files);
  Start();
  EXPECT_TRUE(Near(Middle(Set().Pictures()[0].Thumb), Qt::magenta));
  EXPECT_EQ(kvtest::FileStamps(files), cached);

  // Saved once; saving an unchanged set again writes nothing.
  Set().Save();
  const QStringList saved = kvtest::FileStamps(files);
  ASSERT_FALSE(saved.contains("missing"));
  Set().Save();
  visible = true;
  ASSERT_TRUE(Set().Switch(IndexOf("b.mcp")));
  Set().SaveMadeThumbnails();
  ASSERT_TRUE(Set().Switch(IndexOf("a.mcp")));
  Set().SaveMadeThumbnails();
  EXPECT_EQ(kvtest::FileStamps(files), saved);

  // A cache of another size is not used: the thumbnails are made and the cache written anew.
  t.ThumbWidth = 94;
  t.ThumbHeight = 70;
  ASSERT_TRUE(t.SaveThumbs(Exe("a.thn")));
  visible = false;
  Start();
  EXPECT_TRUE(Near(Middle(Set().Pictures()[0].Thumb), Qt::red));
  TMThnList back;
  back.LoadThumbs(Exe("a.thn"));
  EXPECT_EQ(back.ThumbWidth, 128);
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.Thumb(0).size(), QSize(128, 96));
}

TEST_F(ImageSet, DamagedMissingOrUnwritableSideFilesLeaveAWorkingSet) {
  Pack("a.mcp", 3);
  kvtest::WriteFile(Exe("a.mcl"), "junk\r\n\r\n2\r\n2\r\n77\r\n");
  kvtest::WriteFile(Exe("a.thn"), "no thumbnail cache");
  kvtest::MessageBoxes boxes;
  Start();
  EXPECT_EQ(Keys(), (QStringList{"2+", "1+", "3+"}));  // no ".sel": every picture is checked
  EXPECT_TRUE(Near(Middle(Set().Pictures()[0].Thumb), Qt::green));
  TMThnList back;
  back.LoadThumbs(Exe("a.thn"));
  EXPECT_EQ(back.Count(), 3);  // the damaged cache made anew

  // A ".sel" that cannot be written is told once until it saves again.
  QDir(exe.path()).mkdir("a.sel");
  Set().Save();
  Set().Save();
  ASSERT_EQ(boxes.Count(), 1);
  EXPECT_EQ(boxes.Texts()[0], "Cannot save " + Exe("a.sel") + ".\nFilename refers to a directory");
  EXPECT_EQ(kvtest::ReadFile(Exe("a.mcl")), "2\r\n1\r\n3\r\n");
  QDir(exe.path()).rmdir("a.sel");
  Set().Save();
  EXPECT_EQ(kvtest::ReadFile(Exe("a.sel")), "2\r\n1\r\n3\r\n");

  // A set whose file is gone gets no side files.
  for (const char* f : {"a.mcl", "a.sel", "a.thn"}) QFile::remove(Exe(f));
  QFile::remove(Exe("a.mcp"));
  Set().Save();
  EXPECT_TRUE(QDir(exe.path()).entryList(QDir::Files).isEmpty());
  EXPECT_TRUE(Set().FilesChanged());
  // No set at all: marked, nothing loaded.
  EXPECT_EQ(Set().LoadList(), -1);
  EXPECT_TRUE(model->NoImageSets);
  Set().Clear();
  EXPECT_TRUE(Set().Pictures().empty() && model->UsedImages.isEmpty() && Set().Loaded().isEmpty());
}

TEST_F(ImageSet, AnOwnSetKeepsEachPictureOnceByItsRealPath) {
  const QString beach = photos.filePath("beach.png"), hills = photos.filePath("hills.png");
  ASSERT_TRUE(Solid(Qt::blue, 200, 150).save(beach));
  ASSERT_TRUE(Solid(Qt::green, 200, 150).save(hills));
  const QString broken = photos.filePath("broken.jpg");
  kvtest::WriteFile(broken, "no picture");
  kvtest::WriteFile(Exe("Mine.mcl"), (beach + "\r\n" + photos.path() + "/./beach.png\r\n").toUtf8());
  kvtest::WriteFile(Exe("Mine.sel"), (photos.path() + "//beach.png\r\n").toUtf8());
  Start();
  EXPECT_TRUE(Set().LoadedUserSet());
  EXPECT_TRUE(model->Ini->UserImageSet);
  EXPECT_EQ(Keys(), QStringList{beach + "+"});

  EXPECT_EQ(Set().AddPictures({photos.path() + "/./beach.png", broken, hills}), QStringList{QDir::toNativeSeparators(broken)});
  EXPECT_EQ(Keys(), (QStringList{beach + "+", hills + "+"}));
  EXPECT_TRUE(Near(Middle(Set().Pictures()[1].Thumb), Qt::green));
  Set().Exchange(0, 1);
  Set().SetChecked(1, false);
  Set().Save();
  EXPECT_EQ(kvtest::ReadFile(Exe("Mine.mcl")), (hills + "\r\n" + beach + "\r\n").toUtf8());
  EXPECT_EQ(kvtest::ReadFile(Exe("Mine.sel")), (hills + "\r\n").toUtf8());
  Set().Remove(0);
  EXPECT_EQ(Keys(), QStringList{beach + "-"});
  EXPECT_TRUE(QFileInfo::exists(hills));  // taken from the set, not from the disk

  // Deleting takes the set file and its side files.
  Set().Delete(IndexOf("Mine.mcl"));
  EXPECT_TRUE(QDir(exe.path()).entryList(QDir::Files).isEmpty());
}
