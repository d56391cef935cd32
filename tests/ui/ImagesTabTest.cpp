#include "tests/common/MainFormComponent.h"
#include "ui/ImagesTab.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtEndian>
#include <gtest/gtest.h>

#include "calendar/MirData.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "controls/KVPanels.h"
#include "controls/KVStdCtrls.h"
#include "controls/MirPanels.h"
#include "foundation/KVPicture.h"
#include "foundation/KVRStream.h"
#include "foundation/KVSkinData.h"
#include "foundation/KVSysUtils.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"
#include "tests/ui/DialogTestUtil.h"
#include "tools/kvpack/PackWriter.h"
#include "ui/EditD.h"

using kvtest::Child;

namespace {

using kvtest::FormComponent;

const QColor kColours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta};

QImage Solid(QColor c, int w = 320, int h = 240) {
  QImage i(w, h, QImage::Format_RGB32);
  i.fill(c);
  return i;
}

std::vector<kvpack::PackPicture> Pictures(int n) {
  std::vector<kvpack::PackPicture> p;
  for (int i = 0; i < n; ++i) p.push_back(kvpack::PictureFromImage(Solid(kColours[i % 6]), i % 2 == 0));
  return p;
}

QByteArray Skin(const QString& text, const std::vector<std::vector<QImage>>& strips = {}) {
  return kvpack::SkinPackage(strips, {{kMainFormName, text}});
}

QString Banners(const QStringList& captions, const QStringList& links) {
  const auto list = [](const char* name, const QStringList& lines) {
    QString t = QStringLiteral("object %1: TKVSkinStrings\r\n  Lines.Strings = (").arg(QLatin1String(name));
    for (const QString& l : lines) t += QStringLiteral("\r\n    '%1'").arg(l);
    return t + ")\r\nend\r\n";
  };
  return list("BannerCaptions", captions) + list("BannerLinks", links);
}

// The colour in the middle of a thumbnail.
QColor Middle(const TMImgPanel& p) {
  const QImage& i = p.Image().Bitmap().Image();
  return i.pixelColor(i.width() / 2, i.height() / 2);
}

bool Near(QColor a, QColor b) {
  return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 && std::abs(a.blue() - b.blue()) < 40;
}

class ImagesPage : public ::testing::Test {
 protected:
  QTemporaryDir exe, photos;
  kvtest::ScopedOverride<QString> exeDir{ExeDir, exe.path() + "/"};
  kvtest::ScopedOverride<QString> shareDir{ShareDir, QString()};
  FormComponent form;
  bool visible = false, fullScreen = false;
  int renders = 0, applies = 0, ticks = 0, cancels = 0;
  QSize cover;
  QStringList opened;
  std::unique_ptr<TMirModel> model;
  std::unique_ptr<TImagesTab> page;
  QMenu menu;
  QAction *first = nullptr, *n1 = nullptr, *n2 = nullptr, *last = nullptr;

  void SetUp() override {
    first = menu.addAction("Help");
    n1 = menu.addSeparator();
    n2 = menu.addSeparator();
    last = menu.addAction("Exit");
    TMirModelHooks mh;
    mh.SettingsVisible = [this] { return visible; };
    mh.FullScreenVisible = [this] { return fullScreen; };
    model = std::make_unique<TMirModel>(form, mh);
    model->Ini->MirPack.clear();
    model->Ini->ThnSize = 1;
    model->Ini->ImageIndex = 0;
    model->Ini->SponsorNo = 0;
    NewPage();
  }

  void NewPage() {
    page.reset();
    // Panels of a page freed before wait for the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const char* name : {"BannerCaptions", "BannerLinks"}) delete form.FindComponent(QLatin1String(name));
    TImagesTabHooks h;
    h.RenderCalendar = [this](bool) { ++renders; };
    h.ChangeMirova = [this] { ++applies; };
    h.AppTimerTimer = [this] { ++ticks; };
    h.CancelAllModes = [this] { ++cancels; };
    h.PackSkinLoaded = [this](QSize s) { cover = s; };
    h.OpenLink = [this](const QString& l) { opened << l; };
    page = std::make_unique<TImagesTab>(*model, h);
    page->SetBannerPlace(&menu, n1, n2);
    page->resize(620, 400);
  }

  QString Exe(const QString& name) const { return exe.filePath(name); }
  void Pack(const QString& name, const QString& title, int pictures, const QByteArray& skin = {},
            qint32 version = kvpack::kImagePackVersion) {
    kvpack::WriteImagePack(Exe(name), title, skin, Pictures(pictures), version);
  }
  QString Photo(const QString& name, QColor c) {
    const QString path = photos.filePath(name);
    EXPECT_TRUE(Solid(c, 200, 150).save(path));
    return path;
  }
  // Starts as the program does: list, then load the current set while busy.
  void Start() {
    model->SetBusy(true);
    page->LoadImageSets();
    page->ResTitlesChange();
    page->ShowSettings();
    model->SetBusy(false);
  }
  QStringList Titles() const {
    QStringList t;
    for (const TMImageSet& s : page->Sets()) t << s.Title;
    return t;
  }
  QStringList Keys() const {
    QStringList k;
    for (int i = 0; i < page->ImagesScroll().Count(); ++i) k << page->Panel(i)->Key;
    return k;
  }
  QList<int> Numbers() const {
    QList<int> n;
    for (int i = 0; i < page->ImagesScroll().Count(); ++i) n << page->Panel(i)->Number();
    return n;
  }
  QStringList BannerTexts() const {
    QStringList t;
    for (QAction* a : page->BannerItems()) t << a->text();
    return t;
  }
  void Select(int i) { QTest::mouseClick(&page->Panel(i)->Image(), Qt::LeftButton); }
  QPushButton& Button(const char* name) { return Child<QPushButton>(*page, name); }
};

// ---------------------------------------------------------------------------------------------

TEST(ImageSetFiles, PictureOrderTakesEachNumberOfThePackOnce) {
  EXPECT_EQ(PackPictureOrder({"3", "1"}, 3), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(PackPictureOrder({"abc", "0", "99", "3", "3", "-1", " 2 ", "+1", "0x1", "$1", ""}, 3),
            (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(PackPictureOrder({"99999999999999999999"}, 2), (std::vector<int>{1, 2}));
  EXPECT_TRUE(PackPictureOrder({"1"}, 0).empty());
  EXPECT_EQ(ClampedPictureCount(50, 53), 50);
  EXPECT_EQ(ClampedPictureCount(0x7FFFFFFF, 9), 6);
  EXPECT_EQ(ClampedPictureCount(-4, 9), 0);
  EXPECT_EQ(ClampedPictureCount(3, 2), 0);
}

TEST(ImageSetFiles, LinesAreSavedWithCrLfAfterEveryLine) {
  QTemporaryDir d;
  SaveLines(d.filePath("a.mcl"), {"3", "1", "2"});
  EXPECT_EQ(kvtest::ReadFile(d.filePath("a.mcl")), "3\r\n1\r\n2\r\n");
  kvtest::WriteFile(d.filePath("b.mcl"), "/x/\xc3\xa9t\xc3\xa9.jpg\r\n/y.png\n\r\n");
  EXPECT_EQ(LoadLines(d.filePath("b.mcl")), (QStringList{QString::fromUtf8("/x/été.jpg"), "/y.png", ""}));
  EXPECT_TRUE(LoadLines(d.filePath("missing.mcl")).isEmpty());
}

TEST(ImageSetFiles, BannerLinksOpenOnlyWebAndMail) {
  EXPECT_EQ(BannerLinkKind("http://example.org"), TBannerLinkKind::Web);
  EXPECT_EQ(BannerLinkKind(" HTTPS://example.org/x "), TBannerLinkKind::Web);
  EXPECT_EQ(BannerLinkKind("mailto:me@example.org"), TBannerLinkKind::Mail);
  for (const char* bad : {"file:///etc/passwd", "/usr/bin/xterm", "javascript:alert(1)", "ftp://x", "", "example.org"})
    EXPECT_EQ(BannerLinkKind(bad), TBannerLinkKind::None) << bad;
}

// ---------------------------------------------------------------------------------------------

TEST_F(ImagesPage, ListsPacksOfEitherMarkAndOwnSetsButNothingElse) {
  Pack("b-nature.mcp", "Nature", 2);
  Pack("A-cities.mcp", "Cities", 1, {}, kvpack::kImagePackVersion + 5);  // the second mark
  kvpack::WritePack(Exe("empty.mcp"), kvpack::kImagePackVersion, {});
  kvpack::WritePack(Exe("other.mcp"), 0x564B0066, {{0, "Thumbs"}});
  kvtest::WriteFile(Exe("junk.mcp"), "not a pack at all");
  QDir(exe.path()).mkdir("folder.mcp");
  QFile::link(Exe("gone.mcp"), Exe("dangling.mcp"));
  // A title entry larger than any title is a hostile file.
  kvpack::WritePack(Exe("huge.mcp"), kvpack::kImagePackVersion, {{0, QByteArray(100000, 'x')}, {0, "12345678"}});
  kvtest::WriteFile(Exe("B-NATURE.mcl"), "2\r\n");  // a side file of the pack, whatever the case
  kvtest::WriteFile(Exe("My Photos.mcl"), " ");
  kvtest::WriteFile(Exe("notes.txt"), "x");

  page->LoadImageSets();
  EXPECT_EQ(Titles(), (QStringList{"Cities", "Nature", "My Photos"}));
  EXPECT_FALSE(page->Sets()[0].UserSet);
  EXPECT_TRUE(page->Sets()[2].UserSet);
  EXPECT_EQ(page->Sets()[2].FileName, "My Photos.mcl");
  // First start: the first set by file name, spelled as on disk.
  EXPECT_EQ(model->Ini->MirPack, "A-cities.mcp");
  EXPECT_EQ(Child<QComboBox>(*page, "ResTitles").currentText(), "Cities");
  EXPECT_FALSE(model->NoImageSets);
  EXPECT_FALSE(page->ImageSetFilesChanged());
  // A pack of the second mark loads like any other.
  page->ResTitlesChange();
  EXPECT_EQ(Keys(), QStringList{"1"});

  // A name stored with other letter cases still finds its set.
  model->Ini->MirPack = "B-NATURE.MCP";
  page->LoadImageSets();
  EXPECT_EQ(model->Ini->MirPack, "b-nature.mcp");
  EXPECT_EQ(Child<QComboBox>(*page, "ResTitles").currentIndex(), 1);
  model->Ini->MirPack = "My Photos.mcl";
  page->LoadImageSets();
  EXPECT_TRUE(model->Ini->UserImageSet);

  kvtest::WriteFile(Exe("Trip.mcl"), " ");
  EXPECT_TRUE(page->ImageSetFilesChanged());
}

TEST_F(ImagesPage, NoSetAtAllIsToldAndMarked) {
  kvtest::MessageBoxes boxes;
  page->LoadImageSets();
  EXPECT_TRUE(model->NoImageSets);
  EXPECT_EQ(boxes.Texts(), QStringList{"Error: No images!"});
  EXPECT_TRUE(page->Sets().empty());
}

TEST_F(ImagesPage, APackLoadsItsSkinPanelsAndSideFilesInOrder) {
  Pack("nature.mcp", "Nature", 3,
       Skin("object ini: Tini\r\n  DayColor = clRed\r\nend\r\n", {{Solid(Qt::gray, 300, 200)}}));
  kvtest::WriteFile(Exe("nature.mcl"), "3\r\n1\r\n");
  Start();
  EXPECT_EQ(page->LoadedSet(), "nature.mcp");
  EXPECT_EQ(model->Header.Title, "Nature");
  EXPECT_EQ(model->Header.PictureCount(), 3);
  EXPECT_EQ(model->Ini->PackDefaults.DayColor, clRed);
  EXPECT_EQ(cover, QSize(300, 200));
  EXPECT_EQ(Keys(), (QStringList{"3", "1", "2"}));
  EXPECT_EQ(Numbers(), (QList<int>{1, 2, 3}));
  EXPECT_TRUE(Near(Middle(*page->Panel(0)), Qt::blue));
  EXPECT_TRUE(Near(Middle(*page->Panel(1)), Qt::red));
  // No ".sel": every picture is checked.
  EXPECT_EQ(model->UsedImages, (QStringList{"3", "1", "2"}));
  EXPECT_FALSE(Button("ImgAddNewBtn").isEnabled());
  EXPECT_FALSE(Button("ImgRemoveBtn").isEnabled());
  EXPECT_EQ(applies, 0);  // loaded while busy: nothing drawn

  page->SaveImageSetBtnClick();
  EXPECT_EQ(kvtest::ReadFile(Exe("nature.mcl")), "3\r\n1\r\n2\r\n");
  EXPECT_EQ(kvtest::ReadFile(Exe("nature.sel")), "3\r\n1\r\n2\r\n");

  // Junk and repeats are skipped; a ".sel" checks what it names.
  kvtest::WriteFile(Exe("nature.mcl"), "abc\r\n0\r\n99\r\n3\r\n3\r\n");
  kvtest::WriteFile(Exe("nature.sel"), "1\r\nxyz\r\n");
  NewPage();
  Start();
  EXPECT_EQ(Keys(), (QStringList{"3", "1", "2"}));
  EXPECT_EQ(Numbers(), (QList<int>{1, 2, 3}));
  EXPECT_EQ(model->UsedImages, QStringList{"1"});
  EXPECT_FALSE(page->Panel(0)->CheckBox().isChecked());
  EXPECT_TRUE(page->Panel(1)->CheckBox().isChecked());
}

TEST_F(ImagesPage, SideFilesAndThumbnailsAreWrittenOnlyWhenTheyChange) {
  Pack("nature.mcp", "Nature", 3);
  Start();
  page->SaveImageSetBtnClick();
  const QStringList files{Exe("nature.mcl"), Exe("nature.sel"), Exe("nature.thn")};
  const auto stamps = [&] { return kvtest::FileStamps(files); };
  const QStringList first = stamps();
  ASSERT_FALSE(first.contains("missing"));
  page->SaveImageSetBtnClick();
  NewPage();
  Start();
  page->SaveImageSetBtnClick();
  EXPECT_EQ(stamps(), first);

  // A picture unchecked: the selection alone is written.
  kvtest::Click(page->Panel(1)->CheckBox());
  page->SaveImageSetBtnClick();
  const QStringList unchecked = stamps();
  EXPECT_EQ(unchecked[0], first[0]);
  EXPECT_NE(unchecked[1], first[1]);
  EXPECT_EQ(unchecked[2], first[2]);
  EXPECT_EQ(kvtest::ReadFile(Exe("nature.sel")), "1\r\n3\r\n");
}

TEST_F(ImagesPage, HostileAndDamagedPacksLoadWhatTheyCan) {
  // A header claiming two billion pictures, a damaged skin and a picture that is no picture.
  std::vector<kvpack::PackEntry> e = kvpack::ImagePackEntries("Odd", "damaged skin", Pictures(2));
  qToLittleEndian<qint32>(0x7FFFFFFF, e[1].Data.data() + 4);
  e.push_back({kvpack::kKindJpeg, "not a jpeg"});
  kvpack::WritePack(Exe("odd.mcp"), kvpack::kImagePackVersion, e);
  model->Ini->PackDefaults.DayColor = clRed;  // the last pack's colour
  kvtest::MessageBoxes boxes;
  Start();
  EXPECT_EQ(model->Ini->PackDefaults.DayColor, TPackDefaults().DayColor);
  EXPECT_FALSE(cover.isValid());
  ASSERT_EQ(Keys(), (QStringList{"1", "2", "3"}));
  // The bad picture keeps its place with a placeholder and can be checked.
  EXPECT_TRUE(page->Panel(2)->property("kvPlaceholder").toBool());
  EXPECT_EQ(model->UsedImages.size(), 3);
  // The ".thn" holds the real thumbnails only.
  TMThnList thumbs;
  thumbs.LoadThumbs(Exe("odd.thn"));
  EXPECT_EQ(thumbs.Count(), 2);
  EXPECT_EQ(boxes.Count(), 0);
}

TEST_F(ImagesPage, APackShowsPanelsOnlyForThePicturesItHolds) {
  // The header claims as many pictures as there are entries: nearly all are empty, then come
  // thousands that hold a byte each.
  std::vector<kvpack::PackEntry> e = kvpack::ImagePackEntries("Hollow", Skin(""), Pictures(5));
  for (int n : {2, 3, 4}) e[size_t(n + 2)] = kvpack::PackEntry{};
  e.resize(e.size() + 30000);
  e.resize(e.size() + 20000, kvpack::PackEntry{kvpack::kKindRaw, "x"});
  qToLittleEndian<qint32>(qint32(e.size() - 3), e[1].Data.data() + 4);
  kvpack::WritePack(Exe("hollow.mcp"), kvpack::kImagePackVersion, e);
  kvtest::MessageBoxes boxes;
  Start();
  visible = true;
  page->show();
  const QStringList keys = Keys();
  ASSERT_EQ(keys.size(), 2 + 64);
  EXPECT_EQ(keys.mid(0, 3), (QStringList{"1", "5", "30006"}));
  EXPECT_TRUE(page->Panel(2)->property("kvPlaceholder").toBool());
  EXPECT_EQ(Numbers().mid(0, 3), (QList<int>{1, 2, 3}));
  EXPECT_EQ(model->UsedImages, keys);
  // The user orders and chooses among them.
  Select(1);
  kvtest::Click(Button("ImgMoveUpBtn"));
  kvtest::Click(Button("ImgUncheckAllBtn"));
  page->Panel(0)->CheckBox().click();
  EXPECT_EQ(Keys().mid(0, 2), (QStringList{"5", "1"}));
  EXPECT_EQ(model->UsedImages, QStringList{"5"});
  EXPECT_EQ(boxes.Count(), 0);
}

TEST_F(ImagesPage, AnOwnSetShowsEachPictureOnceByItsRealPath) {
  const QString beach = Photo("beach.png", Qt::blue), hills = Photo("hills.png", Qt::green);
  const QString folder = photos.path(), up = QFileInfo(folder).fileName();
  QStringList lines{beach};
  for (int i = 0; i < 1500; ++i) {
    lines << folder + "//beach.png" << folder + "/./beach.png" << folder + "/../" + up + "/beach.png";
    lines << folder + QString("/.").repeated(i % 40) + "/hills.png";
  }
  // Files that are no pictures keep a placeholder each, but not thousands of them.
  QStringList junk;
  for (int i = 0; i < 200; ++i) {
    junk << photos.filePath(QString("junk%1.png").arg(i));
    kvtest::WriteFile(junk.back(), "no picture");
  }
  lines += junk;
  kvtest::WriteFile(Exe("Mine.mcl"), lines.join("\r\n").toUtf8() + "\r\n");
  // The checked pictures, in other spellings again.
  kvtest::WriteFile(Exe("Mine.sel"), (folder + "//hills.png\r\n" + folder + "/./hills.png\r\n").toUtf8());
  Start();
  visible = true;
  page->show();
  const QStringList keys = QStringList{beach, hills} + junk.mid(0, 64);
  EXPECT_EQ(Keys(), keys);
  EXPECT_EQ(model->UsedImages, QStringList{hills});
  EXPECT_FALSE(page->Panel(0)->CheckBox().isChecked());
  EXPECT_TRUE(page->Panel(1)->CheckBox().isChecked());
  // Adding a picture the set holds, named another way, adds nothing.
  kvtest::ScopedOverride<decltype(FileDialogs().OpenFileNames)> choose(
      FileDialogs().OpenFileNames,
      [&](QWidget*, const QString&, const QString&, const QString&) { return QStringList{folder + "/./beach.png"}; });
  kvtest::Click(Button("ImgAddNewBtn"));
  EXPECT_EQ(Keys(), keys);
  // Saved once each, by the real path.
  page->SaveImageSetBtnClick();
  EXPECT_EQ(kvtest::ReadFile(Exe("Mine.mcl")), (keys.join("\r\n") + "\r\n").toUtf8());
  EXPECT_EQ(kvtest::ReadFile(Exe("Mine.sel")), (hills + "\r\n").toUtf8());
}

TEST_F(ImagesPage, ThumbnailCacheIsReusedAtItsSizeAndRewrittenOtherwise) {
  Pack("nature.mcp", "Nature", 2);
  // A cache at the current size whose thumbnail of picture 1 is magenta: it is taken as it is.
  TMThnList t;
  t.ThumbWidth = 128;
  t.ThumbHeight = 96;
  t.AddThumb("1", Solid(Qt::magenta, 128, 96));
  t.AddThumb("2", Solid(Qt::magenta, 128, 96));
  ASSERT_TRUE(t.SaveThumbs(Exe("nature.thn")));
  const QByteArray cached = kvtest::ReadFile(Exe("nature.thn"));
  Start();
  EXPECT_TRUE(Near(Middle(*page->Panel(0)), Qt::magenta));
  EXPECT_EQ(kvtest::ReadFile(Exe("nature.thn")), cached);

  // At another size it is not used, and it is written anew at the current size.
  t.ThumbWidth = 94;
  t.ThumbHeight = 70;
  ASSERT_TRUE(t.SaveThumbs(Exe("nature.thn")));
  NewPage();
  Start();
  EXPECT_TRUE(Near(Middle(*page->Panel(0)), Qt::red));
  TMThnList back;
  back.LoadThumbs(Exe("nature.thn"));
  EXPECT_EQ(back.ThumbWidth, 128);
  EXPECT_EQ(back.ThumbHeight, 96);
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.Keys(0), "1");
  EXPECT_EQ(back.Thumb(0).size(), QSize(128, 96));
  EXPECT_TRUE(Near(back.Thumb(1).pixelColor(64, 48), Qt::green));

  // A change of thumbnail size saves, reloads at the new size, redraws, applies and rewrites.
  visible = true;
  page->show();
  const int appliedBefore = applies;
  kvtest::ChooseItem(Child<QComboBox>(*page, "ThnSizeBox"), 0);
  EXPECT_EQ(model->Ini->ThnSize, 0);
  EXPECT_EQ(page->ThumbnailSize(), QSize(94, 70));
  EXPECT_EQ(page->ImagesScroll().Columns(), 4);
  EXPECT_EQ(applies, appliedBefore + 1);
  back.Clear();
  back.LoadThumbs(Exe("nature.thn"));
  EXPECT_EQ(back.ThumbWidth, 94);
  EXPECT_EQ(back.Thumb(0).size(), QSize(94, 70));
}

TEST_F(ImagesPage, AThumbnailCacheCostsWhatItsFileHoldsNotWhatItsEntriesClaim) {
  Pack("nature.mcp", "Nature", 2);
  // At the page's own size: the two real thumbnails, then 8,000 entries of a whole thumbnail of
  // zeros each, 300 MB from under a megabyte when every entry was kept.
  {
    TKVResFileWriter w(kThumbPackVersion, true, Exe("nature.thn"));
    QByteArray head(12, '\0');
    qToLittleEndian<qint32>(128, head.data() + 4);
    qToLittleEndian<qint32>(96, head.data() + 8);
    w.AddBuffer(kThumbHeaderKind, head);
    const auto entry = [](const QByteArray& key, const QByteArray& data) {
      QByteArray e(8, '\0');
      qToLittleEndian<qint32>(qint32(key.size()), e.data());
      qToLittleEndian<qint32>(qint32(data.size()), e.data() + 4);
      return e + key + data;
    };
    const auto bitmap = [](const QImage& image) {
      QBuffer b;
      b.open(QIODevice::WriteOnly);
      WriteBitmap24(b, image);
      return b.data();
    };
    const QByteArray magenta = bitmap(Solid(Qt::magenta, 128, 96));
    w.AddBuffer(kThumbEntryKind, entry("1", magenta));
    w.AddBuffer(kThumbEntryKind, entry("2", magenta));
    QByteArray zeros = bitmap(Solid(Qt::black, 128, 96));
    zeros.replace(54, zeros.size() - 54, QByteArray(zeros.size() - 54, '\0'));
    for (int i = 0; i < 8000; ++i) w.AddBuffer(kThumbEntryKind, entry("x" + QByteArray::number(i), zeros));
    w.Save();
  }
  ASSERT_LT(QFileInfo(Exe("nature.thn")).size(), 1 << 20);
  const kvtest::PeakGrowth cost = kvtest::MeasurePeakGrowth([&] { Start(); });
  EXPECT_GE(cost.resident, 0);
  EXPECT_LT(cost.resident, 64 << 20);
  // The thumbnails that fit are still taken from the cache.
  Start();
  ASSERT_EQ(Keys(), (QStringList{"1", "2"}));
  EXPECT_TRUE(Near(Middle(*page->Panel(0)), Qt::magenta));
  EXPECT_TRUE(Near(Middle(*page->Panel(1)), Qt::magenta));
}

TEST_F(ImagesPage, CheckingMovingAndApplyingWorkOnTheSelectedPanel) {
  Pack("nature.mcp", "Nature", 3);
  Start();
  visible = true;
  page->show();
  renders = 0;
  // Move up on the first and down on the last change nothing.
  Select(0);
  kvtest::Click(Button("ImgMoveUpBtn"));
  Select(2);
  kvtest::Click(Button("ImgMoveDownBtn"));
  EXPECT_EQ(Keys(), (QStringList{"1", "2", "3"}));
  kvtest::Click(Button("ImgMoveUpBtn"));
  EXPECT_EQ(Keys(), (QStringList{"1", "3", "2"}));
  EXPECT_EQ(Numbers(), (QList<int>{1, 2, 3}));
  EXPECT_EQ(page->ImagesScroll().ItemIndex(), 1);
  EXPECT_EQ(model->UsedImages, (QStringList{"1", "3", "2"}));

  // Unchecking every picture redraws at once with nothing to show.
  renders = 0;
  kvtest::Click(Button("ImgUncheckAllBtn"));
  EXPECT_TRUE(model->UsedImages.isEmpty());
  EXPECT_EQ(renders, 1);
  kvtest::Click(page->Panel(2)->CheckBox());
  EXPECT_EQ(model->UsedImages, QStringList{"2"});

  // Apply checks the selected picture and makes it the current one.
  Select(0);
  renders = 0;
  kvtest::Click(Button("ApplyImgBtn"));
  EXPECT_EQ(model->UsedImages, (QStringList{"1", "2"}));
  EXPECT_EQ(model->Ini->ImageIndex, 0);
  EXPECT_EQ(renders, 1);
  EXPECT_TRUE(page->Panel(0)->CheckBox().isChecked());

  // The settings: frequency runs the tick, position redraws only when it changes.
  kvtest::ChooseItem(Child<QComboBox>(*page, "FrequencyList"), 2);
  EXPECT_EQ(model->Ini->Frequency, 2);
  EXPECT_GE(ticks, 1);
  renders = 0;
  kvtest::ChooseItem(Child<QComboBox>(*page, "PositionBox"), 3);
  EXPECT_EQ(model->Ini->ImagePosition, 3);
  EXPECT_EQ(renders, 1);
  kvtest::Click(Child<QCheckBox>(*page, "RandomImagesBtn"));
  EXPECT_TRUE(model->Ini->RandomImages);

  // The current set chosen again while the window is open does nothing.
  const int before = applies;
  page->ResTitlesChange();
  EXPECT_EQ(applies, before);
  EXPECT_EQ(Keys(), (QStringList{"1", "3", "2"}));
}

TEST_F(ImagesPage, SwitchingSavesTheOutgoingSetAndMovesSponsorAndBanners) {
  std::vector<QImage> sponsors(4, Solid(Qt::white, 40, 20));
  Pack("a.mcp", "Alpha", 2,
       Skin(Banners({"Visit us", "Write", "Files"}, {"https://example.org/a", "mailto:us@example.org", "file:///etc"}),
            {{Solid(Qt::gray, 100, 80)}, sponsors}));
  Pack("b.mcp", "Beta", 2);
  model->Ini->SponsorNo = 3;
  Start();
  EXPECT_EQ(model->Ini->SponsorNo, 0);
  EXPECT_GE(model->PackIni->Ads.Count(), 4);
  EXPECT_TRUE(model->PackIni->Ads[3]->BlendImage);
  EXPECT_EQ(model->PackIni->Ads[3]->BlendContrast, 50);
  EXPECT_EQ(BannerTexts(), (QStringList{"Visit us", "Write", "Files"}));
  QList<QAction*> actions = menu.actions();
  EXPECT_EQ(actions.indexOf(n1) + 4, actions.indexOf(n2));

  // Clicks open web and mail links; anything else, or an item no longer there, opens nothing.
  for (QAction* a : page->BannerItems()) a->trigger();
  EXPECT_EQ(opened, (QStringList{"https://example.org/a", "mailto:us@example.org"}));
  page->BannerLinks().Lines().removeLast();
  page->BannerLinks().Lines().removeLast();
  opened.clear();
  page->BannerItems()[1]->trigger();  // beyond the links now
  QAction stranger("x");
  page->actOpenSponsorExecute(&stranger);
  EXPECT_TRUE(opened.isEmpty());

  // Another set: the outgoing one is saved, its banners go, its sponsor data goes.
  visible = true;
  page->show();
  const QPointer<QAction> old = page->BannerItems()[0];
  cancels = 0;
  kvtest::ChooseItem(Child<QComboBox>(*page, "ResTitles"), 1);
  EXPECT_EQ(page->LoadedSet(), "b.mcp");
  EXPECT_TRUE(QFileInfo::exists(Exe("a.mcl")) && QFileInfo::exists(Exe("a.sel")));
  EXPECT_TRUE(BannerTexts().isEmpty());
  EXPECT_EQ(menu.actions(), (QList<QAction*>{first, n1, n2, last}));
  EXPECT_GE(cancels, 1);
  old->trigger();  // a stale click
  EXPECT_TRUE(opened.isEmpty());
  EXPECT_EQ(model->PackIni->Ads.Count(), 0);
  EXPECT_EQ(applies, 1);
  EXPECT_FALSE(cover.isValid());
  // Back again: the banners return, once.
  kvtest::ChooseItem(Child<QComboBox>(*page, "ResTitles"), 0);
  EXPECT_EQ(BannerTexts(), (QStringList{"Visit us", "Write", "Files"}));
  EXPECT_EQ(menu.actions().size(), 7);
}

TEST_F(ImagesPage, DeletingAsksAndRefusesTheLastSet) {
  Pack("a.mcp", "Alpha", 1);
  Pack("b.mcp", "Beta", 1);
  kvtest::WriteFile(Exe("a.mcl"), "1\r\n");
  kvtest::WriteFile(Exe("a.ini"), "x");
  Start();
  visible = true;
  {
    kvtest::MessageBoxes no(7);
    kvtest::Click(Button("DeleteImageSetBtn"));
    EXPECT_EQ(no.Texts(), QStringList{"Are you sure you want to delete Alpha image set?"});
  }
  EXPECT_EQ(Titles(), (QStringList{"Alpha", "Beta"}));
  EXPECT_TRUE(QFileInfo::exists(Exe("a.mcp")));
  {
    kvtest::MessageBoxes yes(6);
    kvtest::Click(Button("DeleteImageSetBtn"));
  }
  EXPECT_EQ(Titles(), QStringList{"Beta"});
  EXPECT_EQ(QDir(exe.path()).entryList(QDir::Files), (QStringList{"b.mcp", "b.thn"}));
  EXPECT_EQ(page->LoadedSet(), "b.mcp");
  EXPECT_EQ(model->Ini->MirPack, "b.mcp");
  EXPECT_EQ(applies, 1);  // the remaining set is drawn and applied
  {
    kvtest::MessageBoxes boxes;
    kvtest::Click(Button("DeleteImageSetBtn"));
    EXPECT_EQ(boxes.Texts(), QStringList{"You cannot delete last image set!"});
  }
  EXPECT_TRUE(QFileInfo::exists(Exe("b.mcp")));
}

TEST_F(ImagesPage, AnOwnSetIsCreatedFilledSavedAndReloaded) {
  Pack("a.mcp", "Alpha", 1);
  Start();
  visible = true;
  page->show();
  {
    kvtest::Dialogs answer([](QDialog& d) {
      d.show();
      kvtest::TypeInto(Child<QLineEdit>(d, "Edit1"), "Holiday Photos");
      kvtest::Click(Child<QPushButton>(d, "OKBtn"));
      return d.result();
    });
    kvtest::Click(Button("NewImageSetBtn"));
  }
  EXPECT_EQ(Titles(), (QStringList{"Alpha", "Holiday Photos"}));
  EXPECT_EQ(page->LoadedSet(), "Holiday Photos.mcl");
  EXPECT_TRUE(model->Ini->UserImageSet);
  EXPECT_EQ(Child<QComboBox>(*page, "ResTitles").currentText(), "Holiday Photos");
  EXPECT_TRUE(Button("ImgAddNewBtn").isEnabled());
  EXPECT_TRUE(Keys().isEmpty());
  EXPECT_TRUE(QFileInfo::exists(Exe("a.mcl")));  // the pack was saved on the way out

  const QString beach = Photo("Beach.JPG", Qt::blue), hills = Photo("hills.png", Qt::green);
  const QString broken = photos.filePath("Broken.jpg");
  kvtest::WriteFile(broken, "no picture here");
  // A photo whose copy stopped half way is no more readable than that.
  const QString cut = photos.filePath("Cut.jpg");
  {
    QByteArray whole;
    QBuffer b(&whole);
    b.open(QIODevice::WriteOnly);
    QImage photo(200, 150, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
      for (int x = 0; x < photo.width(); ++x) photo.setPixel(x, y, qRgb((x * 37) ^ (y * 11), (x * y) & 255, y * 5));
    ASSERT_TRUE(photo.save(&b, "JPG"));
    kvtest::WriteFile(cut, whole.left(whole.size() * 3 / 4));
  }
  QStringList folders;
  {
    kvtest::ScopedOverride<decltype(FileDialogs().OpenFileNames)> choose(
        FileDialogs().OpenFileNames, [&](QWidget*, const QString&, const QString& folder, const QString&) {
          folders << QDir::cleanPath(folder);
          return QStringList{beach, broken, hills, cut, beach};
        });
    kvtest::MessageBoxes boxes;
    kvtest::Click(Button("ImgAddNewBtn"));
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Texts()[0], "These pictures cannot be read and were not added:\n" + broken + "\n" + cut);
    // The next pictures are looked for where these came from.
    kvtest::Click(Button("ImgAddNewBtn"));
  }
  ASSERT_EQ(folders.size(), 2);
  EXPECT_NE(folders[0], photos.path());
  EXPECT_EQ(folders[1], photos.path());
  EXPECT_EQ(Keys(), (QStringList{beach, hills}));  // names keep their case
  EXPECT_EQ(model->UsedImages, (QStringList{beach, hills}));
  EXPECT_TRUE(Near(Middle(*page->Panel(0)), Qt::blue));
  page->SaveImageSetBtnClick();
  EXPECT_EQ(kvtest::ReadFile(Exe("Holiday Photos.mcl")), (beach + "\r\n" + hills + "\r\n").toUtf8());
  EXPECT_TRUE(QFileInfo::exists(Exe("Holiday Photos.thn")));

  // A restart finds the set; a picture gone from disk is dropped, the rest keep their checks.
  kvtest::Click(page->Panel(0)->CheckBox());
  page->SaveImageSetBtnClick();
  QFile::remove(hills);
  visible = false;
  NewPage();
  Start();
  EXPECT_EQ(page->LoadedSet(), "Holiday Photos.mcl");
  EXPECT_EQ(Keys(), QStringList{beach});
  EXPECT_FALSE(page->Panel(0)->CheckBox().isChecked());
  EXPECT_TRUE(model->UsedImages.isEmpty());

  // Remove takes the picture from the set, not from the disk.
  visible = true;
  page->show();
  Select(0);
  kvtest::Click(Button("ImgRemoveBtn"));
  EXPECT_TRUE(Keys().isEmpty());
  EXPECT_TRUE(QFileInfo::exists(beach));
}

TEST_F(ImagesPage, TheCurrentSetVanishingFallsBackWithoutMixingSets) {
  Pack("a.mcp", "Alpha", 3);
  Pack("b.mcp", "Beta", 2);
  kvtest::WriteFile(Exe("b.mcl"), "2\r\n1\r\n");
  Start();
  visible = true;
  EXPECT_EQ(page->LoadedSet(), "a.mcp");
  QFile::remove(Exe("a.mcp"));
  // Entering the page again.
  ASSERT_TRUE(page->ImageSetFilesChanged());
  page->LoadImageSets();
  page->ResTitlesChange();
  EXPECT_EQ(page->LoadedSet(), "b.mcp");
  EXPECT_EQ(model->Ini->MirPack, "b.mcp");
  EXPECT_EQ(Keys(), (QStringList{"2", "1"}));
  EXPECT_EQ(model->UsedImages, (QStringList{"2", "1"}));
  EXPECT_EQ(applies, 1);
  // Nothing was written for the vanished set, and Beta's order is its own.
  EXPECT_FALSE(QFileInfo::exists(Exe("a.mcl")) || QFileInfo::exists(Exe("a.sel")));
  page->SaveImageSetBtnClick();
  EXPECT_EQ(kvtest::ReadFile(Exe("b.mcl")), "2\r\n1\r\n");
}

TEST_F(ImagesPage, AFailedSideFileSaveIsToldOnceAndTheProgramGoesOn) {
  Pack("a.mcp", "Alpha", 2);
  Start();
  QDir(exe.path()).mkdir("a.sel");  // a folder where the file should go
  {
    kvtest::MessageBoxes boxes;
    page->SaveImageSetBtnClick();
    page->SaveImageSetBtnClick();
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Texts()[0], "Cannot save " + Exe("a.sel") + ".\nFilename refers to a directory");
  }
  EXPECT_EQ(kvtest::ReadFile(Exe("a.mcl")), "1\r\n2\r\n");
  // Once it saves again, a later failure is told again.
  QDir(exe.path()).rmdir("a.sel");
  page->SaveImageSetBtnClick();
  EXPECT_TRUE(QFileInfo(Exe("a.sel")).isFile());
}

TEST_F(ImagesPage, EveryControlCarriesItsTextAndFits) {
  Pack("a.mcp", "Mirova Landscapes", 6);
  Start();
  page->ShowSettings();
  EXPECT_EQ(Button("ApplyImgBtn").text(), "Apply Selected Image Now");
  EXPECT_EQ(Child<QGroupBox>(*page, "GroupBox18").title(), "Replace Mirova");
  EXPECT_EQ(Child<QComboBox>(*page, "PositionBox").itemText(4), "Hide Image");
  EXPECT_EQ(Child<QComboBox>(*page, "ThnSizeBox").currentText(), "Medium");
  dialogtest::ExpectTextsFit(*page);
  dialogtest::Screenshot(*page, "ImagesTab");
}

}  // namespace
