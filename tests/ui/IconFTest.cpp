#include "tests/common/MainFormComponent.h"
#include "ui/IconF.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVRegistry.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"
#include "tests/controls/IconTestUtil.h"
#include "tests/ui/DialogTestUtil.h"
#include "ui/MirIcon.h"

using kvtest::Child;
using namespace icontest;

namespace {

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 160, 0), kBlue = qRgb(0, 0, 255);

using kvtest::FormComponent;

QStringList Texts(const QListWidget& l) {
  QStringList out;
  for (int i = 0; i < l.count(); ++i) out << l.item(i)->text();
  return out;
}

class IconFormTest : public ::testing::Test {
 protected:
  IconFormTest() {
    RegistryStore::ResetAll();
    // The desktop's icon folders: two application icons and one pixmap.
    QDir().mkpath(Path("share/icons/hicolor/32x32/apps"));
    QDir().mkpath(Path("share/pixmaps"));
    QDir().mkpath(Path("home-share"));
    Write("share/icons/hicolor/32x32/apps/a.png", Png(32, 32, kRed));
    Write("share/icons/hicolor/32x32/apps/b.png", Png(32, 32, kGreen));
    Write("share/pixmaps/c.png", Png(16, 16, kBlue));
    qputenv("XDG_DATA_HOME", Path("home-share").toUtf8());
    qputenv("XDG_DATA_DIRS", Path("share").toUtf8());
  }
  ~IconFormTest() override {
    qputenv("XDG_DATA_HOME", home_);
    qputenv("XDG_DATA_DIRS", dirs_);
    QGuiApplication::clipboard()->clear();
  }

  QString Path(const QString& name) const { return dir.filePath(name); }
  QString Write(const QString& name, const QByteArray& data) {
    kvtest::WriteFile(Path(name), data);
    return Path(name);
  }

  // Runs the picker as the user does: Act drives it, and it ends as the user ended it.
  bool Run(const std::function<void()>& act) {
    kvtest::Dialogs answer([&](QDialog& d) {
      EXPECT_EQ(&d, form.get());
      d.show();
      act();
      return d.isVisible() ? int(QDialog::Rejected) : d.result();
    });
    return form->Execute();
  }
  QListWidget& Imported() { return Child<QListWidget>(*form, "ListBox1"); }
  QListWidget& Favorites() { return Child<QListWidget>(*form, "FavoritesList"); }
  void Press(const char* name) { kvtest::Click(Child<QPushButton>(*form, name)); }
  void Pick(QListWidget& list, int row) { list.setCurrentRow(row); }

  QByteArray home_ = qgetenv("XDG_DATA_HOME"), dirs_ = qgetenv("XDG_DATA_DIRS");
  QTemporaryDir dir;
  QTemporaryDir exeDir;
  kvtest::ScopedOverride<QString> exe{ExeDir, exeDir.path() + "/"};
  FormComponent owner;
  TMirModel model{owner};
  std::unique_ptr<TIconForm> form = std::make_unique<TIconForm>(model);
};

}  // namespace

TEST_F(IconFormTest, FirstUseOffersTheDesktopsIconsAndTheChosenOneGoesToTheClipboard) {
  ASSERT_FALSE(QFileInfo::exists(model.Ini->IconFile));  // the Windows library named by default
  EXPECT_TRUE(Run([&] {
    EXPECT_EQ(form->windowTitle(), "Favorite Icons");
    EXPECT_TRUE(Favorites().isVisible());
    EXPECT_EQ(Favorites().count(), int(DrawFavoriteIcons().size()));
    EXPECT_FALSE(Child<QPushButton>(*form, "OKFavoritesBtn").isEnabled());  // nothing chosen yet
    Press("ImportBtn");
    EXPECT_EQ(form->windowTitle(), "Import Icons");
    EXPECT_EQ(Child<QPushButton>(*form, "AddFavoritesBtn").text(), "Add to favorites");
    EXPECT_EQ(Texts(Imported()), (QStringList{"0", "1", "2"}));
    EXPECT_EQ(Child<QLabel>(*form, "Label1").text(), "Multiple fiels");
    Pick(Imported(), 1);
    Press("OKBtn");
  }));
  const QImage clip = QGuiApplication::clipboard()->image();
  ASSERT_TRUE(QGuiApplication::clipboard()->mimeData()->hasImage());
  EXPECT_EQ(clip.size(), QSize(32, 32));
  EXPECT_EQ(clip.pixel(16, 16) | 0xFF000000u, kGreen);
  // The smaller pixmap sits centred on white in its square.
  EXPECT_EQ(form->IconList()[2].pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(form->IconList()[2].pixel(16, 16), kBlue);
  // OK leaves the favourites view for the next time and saves the favourites.
  EXPECT_EQ(form->windowTitle(), "Favorite Icons");
  EXPECT_TRUE(QFile::exists(exeDir.filePath("mficons.dat")));
}

TEST_F(IconFormTest, BrowsingImportsIconProgramAndPictureFilesAndRemembersTheChoice) {
  const QString ico = Write("several.ico", Ico({{Dib(16, 16, 24, kRed), 16, 24},
                                                {Dib(32, 32, 24, kGreen), 32, 24},
                                                {Png(48, 48, kBlue), 48, 32}}));
  const QString png = Write("big.png", Png(64, 40, kRed));
  const QString exe = Write("tool.exe", Pe({{{Dib(32, 32, 24, kBlue), 32, 24}}, {{Dib(16, 16, 24, kGreen), 16, 24}}}));
  const QString broken = Write("broken.exe", QByteArray("MZ") + QByteArray(100, '\xff'));
  QString filterShown;
  kvtest::ScopedOverride<decltype(TFileDialogs::OpenFileNamesFiltered)> chooser(
      FileDialogs().OpenFileNamesFiltered,
      [&](QWidget*, const QString&, const QString&, const QString& filter, QString* selected) {
        EXPECT_TRUE(filter.startsWith("Program files (*.exe *.dll);;All ("));
        EXPECT_TRUE(filter.contains("*.ico") && filter.contains("*.png") && filter.contains("*.svg"));
        filterShown = *selected;
        *selected = filter.split(";;")[1];
        return QStringList{ico, png, exe, broken};
      });
  EXPECT_FALSE(Run([&] {
    Press("ImportBtn");
    Press("BrowseBtn");
    kvtest::Click(Child<QPushButton>(*form, "CancelBtn"));
  }));
  EXPECT_EQ(filterShown, "Program files (*.exe *.dll)");  // IconFilterIndex 1
  // Three pictures of the icon file, the picture, one per icon group; the damaged file adds none.
  ASSERT_EQ(form->IconList().size(), 6u);
  EXPECT_EQ(Texts(Imported()), (QStringList{"0", "1", "2", "3", "4", "5"}));
  EXPECT_EQ(form->IconList()[3].pixel(16, 16), kRed);            // 64 x 40 shrunk to 32 x 20, centred
  EXPECT_EQ(form->IconList()[3].pixel(16, 2), qRgb(255, 255, 255));
  EXPECT_EQ(form->IconList()[4].pixel(16, 16), kBlue);
  EXPECT_EQ(Child<QLabel>(*form, "Label1").text(), "Multiple fiels");
  EXPECT_EQ(model.Ini->IconFile, QStringList({ico, png, exe, broken}).join("\r\n"));
  EXPECT_EQ(model.Ini->IconFilterIndex, 2);
  // Saved with the settings, and the next picker starts from them.
  Tini stored;
  stored.LoadSettings();
  EXPECT_EQ(stored.IconFile, model.Ini->IconFile);
  EXPECT_EQ(stored.IconFilterIndex, 2);

  // One file: the label names it.
  FileDialogs().OpenFileNamesFiltered = [&](QWidget*, const QString&, const QString&, const QString&, QString*) {
    return QStringList{png};
  };
  Run([&] {
    Press("BrowseBtn");
    EXPECT_TRUE(Child<QLabel>(*form, "Label1").text().endsWith("big.png"));
    kvtest::Click(Child<QPushButton>(*form, "CancelBtn"));
  });
  EXPECT_EQ(Texts(Imported()), QStringList{"0"});
}

TEST_F(IconFormTest, FavouritesAreAddedAndRemovedAndKeptOnlyByOK) {
  // Five favourites saved before.
  TMIconBase saved;
  for (QRgb c : {kRed, kGreen, kBlue, qRgb(1, 2, 3), qRgb(4, 5, 6)}) {
    QImage i(32, 32, QImage::Format_BGR888);
    i.fill(QColor(c));
    saved.AddIcon(i);
  }
  saved.SaveToFile(exeDir.filePath("mficons.dat"), false);

  EXPECT_FALSE(Run([&] {
    EXPECT_EQ(Texts(Favorites()), (QStringList{"0", "1", "2", "3", "4"}));
    Pick(Favorites(), 2);
    Press("RemoveBtn");
    EXPECT_EQ(Texts(Favorites()), (QStringList{"0", "1", "2", "3"}));
    Press("ImportBtn");
    Pick(Imported(), 0);  // the red application icon
    Press("AddFavoritesBtn");
    Press("ViewBtn");
    EXPECT_EQ(Texts(Favorites()), (QStringList{"0", "1", "2", "3", "4"}));
    Press("Button3");  // Cancel
  }));
  ASSERT_EQ(model.Icons->Icons.size(), 5u);
  EXPECT_EQ(model.Icons->Icons[2].pixel(0, 0), qRgb(1, 2, 3));  // the former 3 moved down
  EXPECT_EQ(model.Icons->Icons[4].pixel(16, 16), kRed);
  // Cancelled: the file still holds the five of before.
  TMIconBase onDisk;
  onDisk.OnVerify.Set([](TPersistent*, const QString&, bool& ok) { ok = true; });
  onDisk.LoadFromFile(exeDir.filePath("mficons.dat"));
  EXPECT_EQ(onDisk.Icons.size(), 5u);
  EXPECT_EQ(onDisk.Icons[2].pixel(0, 0), kBlue);

  // A later OK writes what the picker holds; the favourites are read only once.
  EXPECT_TRUE(Run([&] {
    EXPECT_EQ(Favorites().count(), 5);
    Pick(Favorites(), 4);
    Press("OKFavoritesBtn");
  }));
  EXPECT_EQ(QGuiApplication::clipboard()->image().pixel(16, 16) | 0xFF000000u, kRed);
  onDisk.LoadFromFile(exeDir.filePath("mficons.dat"));
  ASSERT_EQ(onDisk.Icons.size(), 5u);
  EXPECT_EQ(onDisk.Icons[2].pixel(0, 0), qRgb(1, 2, 3));
  EXPECT_TRUE(kvtest::ReadFile(exeDir.filePath("mficons.dat")).contains("IconData"));  // stored plain
}

TEST_F(IconFormTest, WithoutSavedFavouritesTheProgramFoldersIconLibraryIsUsed) {
  Write("lib.dll", Pe({{{Dib(32, 32, 24, kBlue), 32, 24}}, {{Dib(32, 32, 24, kRed), 32, 24}}}));
  QFile::copy(Path("lib.dll"), exeDir.filePath("kvicons1.dll"));
  Run([&] {
    EXPECT_EQ(Texts(Favorites()), (QStringList{"0", "1"}));
    Press("Button3");
  });
  ASSERT_EQ(model.Icons->Icons.size(), 2u);
  EXPECT_EQ(model.Icons->Icons[1].pixel(16, 16), kRed);
}

TEST_F(IconFormTest, ANewUserPicksAFavouriteAtOnceAndKeepsTheSet) {
  // Without any icon file the favourites are the program's own pictures: each a different one.
  const std::vector<QImage> drawn = DrawFavoriteIcons();
  ASSERT_GE(drawn.size(), 20u);
  for (size_t i = 0; i < drawn.size(); ++i) {
    EXPECT_EQ(drawn[i].size(), QSize(32, 32));
    EXPECT_EQ(drawn[i].format(), QImage::Format_BGR888);
    EXPECT_EQ(drawn[i].pixel(0, 0), qRgb(255, 255, 255)) << i;
    EXPECT_NE(drawn[i].pixel(16, 16), 0u);
    for (size_t j = 0; j < i; ++j) EXPECT_NE(drawn[i], drawn[j]) << i << " and " << j;
  }
  EXPECT_TRUE(Run([&] {
    ASSERT_EQ(Favorites().count(), int(drawn.size()));
    Pick(Favorites(), 1);
    Press("OKFavoritesBtn");
  }));
  EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_BGR888), drawn[1]);
  // They are the user's favourites from now on.
  TMIconBase onDisk;
  onDisk.OnVerify.Set([](TPersistent*, const QString&, bool& ok) { ok = true; });
  onDisk.LoadFromFile(exeDir.filePath("mficons.dat"));
  ASSERT_EQ(onDisk.Icons.size(), drawn.size());
  EXPECT_EQ(onDisk.Icons[5].convertToFormat(QImage::Format_BGR888), drawn[5]);
}

TEST_F(IconFormTest, BothViewsLookRight) {
  for (int i = 0; i < 12; ++i) Write(QString("share/icons/hicolor/32x32/apps/x%1.png").arg(i, 2, 10, QChar('0')),
                                     Png(32, 32, qRgb(20 * i, 100, 255 - 20 * i)));
  Run([&] {
    Press("ImportBtn");
    Pick(Imported(), 3);
    dialogtest::ExpectTextsFit(*form);
    dialogtest::Screenshot(*form, "IconFormImport");
    Press("AddFavoritesBtn");
    Pick(Imported(), 5);
    Press("AddFavoritesBtn");
    Press("ViewBtn");
    Pick(Favorites(), 1);
    dialogtest::ExpectTextsFit(*form);
    dialogtest::Screenshot(*form, "IconFormFavorites");
    Press("Button3");
  });
}
