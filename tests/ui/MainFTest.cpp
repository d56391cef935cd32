#include "ui/MainF.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <map>
#include <optional>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MDataDM.h"
#include "calendar/iniData.h"
#include "controls/KVNbModule.h"
#include "controls/KVRichEdOLE.h"
#include "controls/MirPanels.h"
#include "controls/KVSkinCtrls.h"
#include "foundation/KVException.h"
#include "foundation/KVForms.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVRegistry.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"
#include "tests/ui/MainFormTestUtil.h"
#include "tools/kvpack/PackWriter.h"
#include "controls/KVStdCtrls.h"
#include "ui/DiaryTab.h"
#include "ui/ImagesTab.h"
#include "ui/LayoutList.h"
#include "ui/MirIcon.h"
#include "ui/MirImageF.h"
#include "ui/OptionsTab.h"
#include "ui/QuickNotesF.h"

namespace {

using MainFormTest = kvtest::MainFormFixture;

QStringList MenuTexts(const QMenu& m) {
  QStringList out;
  for (const QAction* a : m.actions()) out << (a->isSeparator() ? QString("-") : a->objectName());
  return out;
}

}  // namespace

TEST_F(MainFormTest, EveryCommandIsOneActionAndTheTrayMenuSharesThem) {
  TKVMirovaCalendar form(hooks);
  for (const char* name : {"actOpen", "actOpenDiary", "actOpenQuickNotes", "actHelp", "actAbout", "actClose",
                           "actSave", "actExit", "actChangeMirova", "actSaveMirova", "actAutoStartup",
                           "actStartupHideIcons", "actStartupOpenDiary", "actStartupOpenQuickNotes",
                           "actStartScreenSaver", "actStartMirScreenSaver", "actHideIcons", "actRestoreIcons",
                           "actDesktopIconTransparent", "actHideNotes", "actTrovana", "actDeleteDiaryEntry",
                           "actPower"})
    EXPECT_NO_THROW(form.Action(name)) << name;
  EXPECT_EQ(MenuTexts(*form.PopupMenu()),
            (QStringList{"actOpenQuickNotes", "actOpenDiary", "-", "", "-", "actHideNotes",
                         "actDesktopIconTransparent", "actHideIcons", "actStartScreenSaver", "actStartMirScreenSaver",
                         "actTrovana", "", "-", "-", "actHelp", "actAbout", "-", "actExit"}));
  EXPECT_EQ(form.Action("actClose")->text(), "OK");
  EXPECT_EQ(form.PageControl()->tabText(3), "Calendar Style");
}

TEST_F(MainFormTest, EachStoredEventIsAnItemUnderEditReminders) {
  {
    TKVMirovaCalendar form(hooks);
    ASSERT_TRUE(form.InitializeMainForm());
    // Nothing stored: the submenu would open onto nothing.
    EXPECT_FALSE(form.PopupMenu()->findChild<QMenu*>("EditReminders1")->isEnabled());
  }
  TKVMirovaCalendar form(hooks);
  TKVXBEventItem* item = form.Model().Events->Data().Add();
  item->Caption = "Dentist";
  item->Enabled = false;
  ASSERT_TRUE(form.InitializeMainForm());
  const QMenu* reminders = form.PopupMenu()->findChild<QMenu*>("EditReminders1");
  ASSERT_TRUE(reminders->isEnabled());
  ASSERT_EQ(reminders->actions().size(), 1);
  const QAction* shown = reminders->actions()[0];
  EXPECT_EQ(shown->text(), EventItemCaption(*item));
  EXPECT_TRUE(shown->text().endsWith("Dentist"));
  EXPECT_FALSE(shown->isChecked());
}

TEST_F(MainFormTest, OnlyOneStartUpActionIsEverChosen) {
  TKVMirovaCalendar form(hooks);
  Tini& ini = *form.Model().Ini;
  form.Action("actStartupHideIcons")->trigger();
  EXPECT_TRUE(ini.StartupHideIcons);
  form.Action("actStartupOpenDiary")->trigger();
  EXPECT_TRUE(ini.StartupOpenDiary);
  EXPECT_FALSE(ini.StartupHideIcons);
  EXPECT_FALSE(form.Action("actStartupHideIcons")->isChecked());
  form.Action("actStartupOpenDiary")->trigger();  // toggles off again
  EXPECT_FALSE(ini.StartupOpenDiary || ini.StartupHideIcons || ini.StartupOpenQuickNotes);
}

TEST_F(MainFormTest, OpeningAndClosingTheSettingsSavesAppliesAndKeepsRunning) {
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  const int appliedAtStart = applied;
  EXPECT_GE(appliedAtStart, 1);  // the first drawing is applied
  form.Action("actOpenDiary")->trigger();
  EXPECT_TRUE(form.SettingsOpen());
  EXPECT_EQ(form.ActivePage(), pgCover);
  EXPECT_EQ(form.size(), form.FixedSize());
  form.close();  // the close box: OK, then only hidden
  EXPECT_FALSE(form.SettingsOpen());
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(applied, appliedAtStart + 1);
  EXPECT_EQ(terminated, 0);
  form.Action("actHelp")->trigger();
  EXPECT_EQ(form.ActivePage(), pgHelp);
  form.Action("actExit")->trigger();  // OK when open, then the end
  EXPECT_FALSE(form.SettingsOpen());
  EXPECT_EQ(applied, appliedAtStart + 2);
  EXPECT_EQ(terminated, 1);
}

TEST_F(MainFormTest, TheDiaryIsReadBeforeTheFirstBackgroundOnlyWhenTheCalendarShowsIt) {
  const auto writeDiary = [] {
    TMDiaryBase doc;
    TKVXBDiaryItem* item = doc.Data().Add();
    item->idx = DateKey(QDate::currentDate());
    item->Lines = "{\\rtf1\\ansi Dentist at nine.\\par\r\n}";
    for (int i = 1; i < 50; ++i) doc.Data().Add()->idx = DateKey(QDate::currentDate().addYears(-1).addDays(-i));
    doc.SaveToFile(ExeDir + kDiaryFileName, true);
  };
  // What the diary held when the first picture was applied, and that picture, for each notes
  // mode; then the picture drawn again once the diary is read whole.
  struct TStart {
    int entries = -1;
    QImage first, again;
  };
  const auto start = [&](bool showNotes, int mode) {
    TStart out;
    TMirMainHooks h = hooks;
    TKVMirovaCalendar* made = nullptr;
    h.Model.Rotation.SetDesktopBackground = [&](const QString& file) {
      if (out.first.isNull()) {
        out.entries = made->Model().NbDiary->Data().Items(0)->Count();
        out.first = QImage(file);
      } else {
        out.again = QImage(file);
      }
      return hooks.Model.Rotation.SetDesktopBackground(file);
    };
    TKVMirovaCalendar form(h);
    made = &form;
    form.Model().Ini->ShowNotes = showNotes;
    form.Model().Ini->ShowNotesOptions = mode;
    EXPECT_TRUE(form.InitializeMainForm());
    EXPECT_EQ(form.Model().NbDiary->Data().Items(0)->Count(), QFile::exists(ExeDir + kDiaryFileName) ? 50 : 0);
    form.Action("actChangeMirova")->trigger();
    return out;
  };
  std::map<int, QImage> withoutDiary;
  for (int mode : {0, 2}) withoutDiary[mode] = start(true, mode).first;
  writeDiary();
  // The background never waits for the whole diary; where it shows diary entries it shows those
  // of its days, as it does once the diary is read whole.
  for (auto [showNotes, mode] : {std::pair{true, 0}, {true, 2}, {true, 1}, {true, 3}, {false, 0}}) {
    const TStart s = start(showNotes, mode);
    EXPECT_EQ(s.entries, 0) << mode;
    ASSERT_FALSE(s.first.isNull());
    EXPECT_EQ(s.first, s.again) << mode;
    if (showNotes && (mode == 0 || mode == 2)) {
      EXPECT_NE(s.first, withoutDiary[mode]) << mode;
    }
  }
  // A diary that cannot be read ahead is read whole first.
  QByteArray cut = kvtest::ReadFile(ExeDir + kDiaryFileName);
  cut.chop(cut.size() / 2);
  kvtest::WriteFile(ExeDir + kDiaryFileName, cut);
  kvtest::MessageBoxes boxes(1);  // the damage is told
  TMirMainHooks h = hooks;
  std::optional<int> entries;
  TKVMirovaCalendar* made = nullptr;
  h.Model.Rotation.SetDesktopBackground = [&](const QString& file) {
    if (!entries) entries = made->Model().NbDiary->Data().Items(0)->Count();
    return hooks.Model.Rotation.SetDesktopBackground(file);
  };
  TKVMirovaCalendar form(h);
  made = &form;
  form.Model().Ini->ShowNotesOptions = 0;
  EXPECT_TRUE(form.InitializeMainForm());
  EXPECT_EQ(entries, form.Model().NbDiary->Data().Items(0)->Count());
  EXPECT_EQ(boxes.Count(), 1);
}

TEST_F(MainFormTest, WithoutATrayTheUserIsToldOnceAndTheWindowOffersTheTrayMenuUntilATrayComes) {
  QStringList told;
  hooks.NoTrayNotice = [&](const QString& summary, const QString&) { told << summary; };
  bool trayThere = false;
  TKVTray::THooks trayHooks;
  trayHooks.TrayAvailable = [&] { return trayThere; };
  trayHooks.NoTrayDelayMs = 200;
  TKVMirovaCalendar form(hooks, trayHooks);
  ASSERT_TRUE(form.InitializeMainForm());
  form.Tray().Loaded();
  form.Action("actOpenDiary")->trigger();
  auto* menuButton = FindNamed<QPushButton>(form, "TrayMenuBtn");
  ASSERT_NE(menuButton, nullptr);
  EXPECT_FALSE(menuButton->isVisible());  // a tray may still come
  ASSERT_TRUE(QTest::qWaitFor([&] { return !told.isEmpty(); }, 3000));
  EXPECT_TRUE(menuButton->isVisible());
  EXPECT_EQ(menuButton->text(), "&Menu");
  auto* here = FindNamed<QLabel>(form, "NoTrayLabel");
  ASSERT_NE(here, nullptr);
  EXPECT_TRUE(here->isVisible());
  EXPECT_EQ(told, QStringList{"Mirova Calendar runs without a tray icon"});

  // The button opens the tray menu; its last item, Exit, saves and ends the program.
  QMenu* opened = nullptr;
  QTimer::singleShot(0, [&] {
    opened = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!opened) return;
    QTest::keyClick(opened, Qt::Key_Up);
    QTest::keyClick(opened, Qt::Key_Return);
  });
  QTest::mouseClick(menuButton, Qt::LeftButton);
  EXPECT_EQ(opened, form.PopupMenu());
  EXPECT_EQ(terminated, 1);
  EXPECT_FALSE(form.SettingsOpen());

  // A tray that comes later takes the icon and the button goes; nothing more is said.
  form.Action("actOpenDiary")->trigger();
  trayThere = true;
  EXPECT_TRUE(QTest::qWaitFor([&] { return !menuButton->isVisible(); }, 3000));
  EXPECT_FALSE(here->isVisible());
  EXPECT_EQ(told.size(), 1);
}

// A holiday added on the Options page reaches the main form through the model: leaving the page
// puts it into the holiday document and applies the calendar again.
TEST_F(MainFormTest, AHolidayAddedOnTheOptionsPageIsAppliedWhenThePageIsLeft) {
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  form.Action("actOpen")->trigger();
  form.SetActivePage(pgOptions);
  EXPECT_FALSE(form.HolidaysModified);
  const int holidays = form.Model().Holidays->Data().Count();
  const int appliedBefore = applied;
  kvtest::Click(kvtest::Child<QPushButton>(form.OptionsPage(), "AddHolidayBtn"));
  EXPECT_TRUE(form.HolidaysModified);
  form.SetActivePage(pgHelp);
  EXPECT_EQ(form.Model().Holidays->Data().Count(), holidays + 1);
  EXPECT_EQ(applied, appliedBefore + 1);
  // Coming back starts unmodified; another added row marks it again.
  form.SetActivePage(pgOptions);
  EXPECT_FALSE(form.HolidaysModified);
  kvtest::Click(kvtest::Child<QPushButton>(form.OptionsPage(), "AddHolidayBtn"));
  EXPECT_TRUE(form.HolidaysModified);
  form.close();
}

TEST_F(MainFormTest, OnlyTheDiaryPageGrows) {
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  form.Action("actOpen")->trigger();
  form.SetActivePage(pgDiary);
  EXPECT_EQ(form.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
  form.resize(form.FixedSize() + QSize(200, 100));
  form.SetActivePage(pgImages);
  EXPECT_EQ(form.size(), form.FixedSize());
  EXPECT_EQ(form.maximumSize(), form.FixedSize());
  // Maximised on the diary page, then another page: the normal, fixed size comes back.
  form.SetActivePage(pgDiary);
  form.showMaximized();
  QCoreApplication::processEvents();
  ASSERT_TRUE(form.isMaximized());
  form.SetActivePage(pgOptions);
  QCoreApplication::processEvents();
  EXPECT_FALSE(form.isMaximized());
  EXPECT_EQ(form.size(), form.FixedSize());
  // Elsewhere maximising is refused.
  form.showMaximized();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_FALSE(form.isMaximized());
  EXPECT_EQ(form.size(), form.FixedSize());
  form.Action("actClose")->trigger();
}

TEST_F(MainFormTest, TheLogOnStartIsTurnedOffAndOn) {
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  Tini& ini = *form.Model().Ini;
  ASSERT_TRUE(ini.AutoStartup);
  form.Action("actAutoStartup")->trigger();
  EXPECT_FALSE(ini.AutoStartup);
  EXPECT_FALSE(form.Action("actStartupOpenDiary")->isEnabled());
  TKVRegistry r;
  ASSERT_TRUE(r.OpenKey("\\" + RunKeyPath(), true));
  EXPECT_FALSE(r.ValueExists(kRunValueName));
  form.Action("actAutoStartup")->trigger();
  EXPECT_TRUE(ini.AutoStartup);
  EXPECT_TRUE(r.ValueExists(kRunValueName));
  EXPECT_TRUE(r.ReadString(kRunValueName).endsWith(" /a"));
}

TEST_F(MainFormTest, AnErrorEndsTheProgramOnlyWhenNoWindowIsOpen) {
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  QStringList shown;
  kvtest::ScopedOverride<std::function<void(const QString&)>> box(ErrorPolicy().ShowException,
                                                                   [&](const QString& m) { shown << m; });
  form.Action("actOpen")->trigger();
  EXPECT_FALSE(RunGuarded([] { throw EKVError("one"); }));
  EXPECT_EQ(terminated, 0);
  form.Action("actClose")->trigger();
  EXPECT_FALSE(RunGuarded([] { throw EKVError("two"); }));
  EXPECT_EQ(terminated, 1);
  EXPECT_EQ(shown, (QStringList{"one", "two"}));
}

TEST_F(MainFormTest, TheStoredSettingsAreReadWhenTheFormIsMade) {
  {
    TKVRegistry r;
    ASSERT_TRUE(r.OpenKey("\\" + kSettingsKey, true));
    r.WriteInteger("Frequency", 3);
  }
  TKVMirovaCalendar form(hooks);
  EXPECT_EQ(form.Model().Ini->Frequency, 3);
}

TEST_F(MainFormTest, WithoutAnyImageSetTheProgramSaysSoAndEnds) {
  QFile::remove(exe.filePath("nature.mcp"));
  TKVMirovaCalendar form(hooks);
  kvtest::MessageBoxes boxes;
  EXPECT_FALSE(form.InitializeMainForm());
  EXPECT_EQ(boxes.Texts(), QStringList{"Error: No images!"});
  EXPECT_EQ(applied, 0);
  EXPECT_TRUE(form.Model().Busy());
}

TEST_F(MainFormTest, TheImagesPageLoadsTheSetSavesItAndPutsBannersInTheTrayMenu) {
  QImage picture(64, 48, QImage::Format_RGB32);
  picture.fill(Qt::darkRed);
  const QString skin =
      "object BannerCaptions: TKVSkinStrings\r\n  Lines.Strings = (\r\n    'Visit')\r\nend\r\n"
      "object BannerLinks: TKVSkinStrings\r\n  Lines.Strings = (\r\n    'https://example.org')\r\nend\r\n";
  kvpack::WriteImagePack(exe.filePath("aaa.mcp"), "Red", kvpack::SkinPackage({{picture}}, {{kMainFormName, skin}}),
                         {kvpack::PictureFromImage(picture, true)});
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  TImagesTab& page = *form.ImagesPage();
  EXPECT_EQ(page.parentWidget(), form.PageControl()->widget(pgImages));
  EXPECT_EQ(form.Model().Ini->MirPack, "aaa.mcp");
  EXPECT_EQ(form.Model().UsedImages, QStringList{"1"});
  EXPECT_EQ(form.CoverMap()->size(), QSize(64, 48));
  // The banner item stands between the separators that bound it.
  const QList<QAction*> items = form.PopupMenu()->actions();
  const qsizetype n1 = items.indexOf(form.PopupMenu()->findChild<QAction*>("N1"));
  ASSERT_GE(n1, 0);
  EXPECT_EQ(items[n1 + 1]->text(), "Visit");
  EXPECT_EQ(items[n1 + 2]->objectName(), "N2");

  // A pack put into the folder while the program runs is listed when the page is entered.
  kvpack::WriteImagePack(exe.filePath("zzz.mcp"), "Late", {}, {kvpack::PictureFromImage(picture, true)});
  form.Action("actOpen")->trigger();
  form.SetActivePage(pgImages);
  EXPECT_EQ(page.Sets().size(), 3u);
  EXPECT_EQ(page.LoadedSet(), "aaa.mcp");
  // Save-all writes the set's side files.
  form.Action("actSave")->trigger();
  EXPECT_EQ(kvtest::ReadFile(exe.filePath("aaa.mcl")), "1\r\n");
  EXPECT_EQ(kvtest::ReadFile(exe.filePath("aaa.sel")), "1\r\n");
  EXPECT_TRUE(QFile::exists(exe.filePath("aaa.thn")));
  form.Action("actClose")->trigger();
}

TEST_F(MainFormTest, AnOwnSetIsTheProgramsSetAfterARestart) {
  QImage photo(80, 60, QImage::Format_RGB32);
  photo.fill(Qt::darkYellow);
  const QString file = exe.filePath("photo.png");
  ASSERT_TRUE(photo.save(file));
  kvtest::WriteFile(exe.filePath("Mine.mcl"), (file + "\r\n").toUtf8());
  {
    TKVMirovaCalendar form(hooks);
    ASSERT_TRUE(form.InitializeMainForm());
    form.Action("actOpen")->trigger();
    form.SetActivePage(pgImages);
    QComboBox& sets = *form.findChild<QComboBox*>("ResTitles");
    kvtest::ChooseItem(sets, 0);  // "Mine" comes before "Nature"
    EXPECT_EQ(form.ImagesPage()->LoadedSet(), "Mine.mcl");
    form.Action("actClose")->trigger();
  }
  // Without any pack the own set is enough to start.
  QFile::remove(exe.filePath("nature.mcp"));
  TKVMirovaCalendar again(hooks);
  ASSERT_TRUE(again.InitializeMainForm());
  EXPECT_EQ(again.Model().Ini->MirPack, "Mine.mcl");
  EXPECT_TRUE(again.Model().Ini->UserImageSet);
  EXPECT_EQ(again.Model().UsedImages, QStringList{file});
  // The calendar file shows the photo.
  const QImage drawn(exe.filePath("kvmir.bmp"));
  ASSERT_FALSE(drawn.isNull());
  EXPECT_EQ(drawn.pixelColor(drawn.width() / 2, drawn.height() / 2), QColor(Qt::darkYellow));
  // The Cover page shows the set's first picture, framed, where a pack shows its cover.
  again.Action("actOpen")->trigger();
  ASSERT_EQ(again.ActivePage(), pgCover);
  auto* cover = again.findChild<QLabel*>("CoverPicture");
  ASSERT_NE(cover, nullptr);
  EXPECT_TRUE(cover->isVisible());
  EXPECT_FALSE(again.CoverMap()->isVisible());
  const QImage shown = cover->grab().toImage();
  EXPECT_EQ(shown.size(), QSize(80, 60));
  EXPECT_EQ(shown.pixelColor(40, 30), QColor(Qt::darkYellow));
  EXPECT_TRUE(again.findChild<QFrame*>("CoverBevel")->geometry().contains(cover->geometry()));
  again.Action("actClose")->trigger();
}

// Every control that Help names in bold is one of the program's, by that name: a button, a
// menu item or command, a group or a label of a box.
TEST_F(MainFormTest, HelpNamesOnlyControlsThatAreThere) {
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  QSet<QString> controls;
  for (const QObject* root : {static_cast<const QObject*>(&form), static_cast<const QObject*>(form.PopupMenu()),
                              static_cast<const QObject*>(&form.QuickNotesForm())}) {
    for (const QAbstractButton* b : root->findChildren<QAbstractButton*>()) controls << StripMnemonics(b->text());
    for (const QAction* a : root->findChildren<QAction*>()) controls << StripMnemonics(a->text());
    for (const QGroupBox* g : root->findChildren<QGroupBox*>()) controls << StripMnemonics(g->title());
    for (const QLabel* l : root->findChildren<QLabel*>())
      if (l->buddy()) controls << StripMnemonics(l->text()).remove(QLatin1Char(':'));
  }
  const QString help = QString::fromLatin1(BuiltinDataBlock("HelpStream"));
  QRegularExpressionMatchIterator named = QRegularExpression(R"(\\b ([^\\]+?)\\b0)").globalMatch(help);
  QStringList names;
  while (named.hasNext()) names << named.next().captured(1);
  EXPECT_GE(names.size(), 10);
  for (const QString& name : names) EXPECT_TRUE(controls.contains(name)) << name.toStdString();
}

// What only the Calendar Style, Help and About pages show is read when the page is first entered:
// the first background does not wait for it, and the page shows it as it always did.
TEST_F(MainFormTest, TheLayoutListAndTheHelpAndAboutTextsAreReadWhenTheirPageIsFirstEntered) {
  kvtest::ScopedOverride<TMLang*> lang(MLang, nullptr);
  TMData data;
  data.DataModuleCreate();
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  auto& list = *form.findChild<TLayoutList*>("LayoutScroll");
  auto& help = *form.findChild<TKVRichEditOLE*>("HelpRichEdit");
  auto& about = *form.findChild<TKVRichEditOLE*>("AboutRichEdit");
  EXPECT_FALSE(list.Loaded());
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(help.Lines().Text().isEmpty());

  form.Action("actOpen")->trigger();
  form.SetActivePage(pgStyle);
  ASSERT_TRUE(list.Loaded());
  ASSERT_GT(list.Count(), 1);
  EXPECT_EQ(list.Panel(list.ItemIndex())->LayoutID, form.Model().Ini->WorkStyle.LayoutID);
  EXPECT_EQ(form.Model().Layout->LayoutID, form.Model().Ini->WorkStyle.LayoutID);

  form.Action("actHelp")->trigger();
  EXPECT_TRUE(help.Lines().Text().startsWith("Mirova Calendar Help")) << help.Lines().Text().left(40).toStdString();
  EXPECT_TRUE(about.Lines().Text().isEmpty());
  form.Action("actAbout")->trigger();
  EXPECT_TRUE(about.Lines().Text().contains("Version 5.0"));
  // Entering a page again reads its text no second time: what is selected in it stays.
  help.SetSelStart(5);
  form.Action("actHelp")->trigger();
  EXPECT_EQ(help.SelStart(), 5);
  EXPECT_TRUE(help.Lines().Text().startsWith("Mirova Calendar Help"));
  form.Action("actClose")->trigger();
}

// The program's icon is drawn when first used, with every usual size as drawn by itself.
TEST(ProgramIconTest, HasEveryUsualSizeDrawnAsTheProgramDrawsIt) {
  const QIcon icon = ProgramIcon();
  EXPECT_FALSE(icon.isNull());
  QList<QSize> sizes;
  for (int s : kProgramIconSizes) sizes << QSize(s, s);
  EXPECT_EQ(icon.availableSizes(), sizes);
  for (int s : kProgramIconSizes)
    EXPECT_EQ(icon.pixmap(QSize(s, s), 1.0).toImage().convertToFormat(QImage::Format_ARGB32),
              DrawProgramIcon(s).convertToFormat(QImage::Format_ARGB32))
        << s;
  // A size between two is the larger one made smaller, as for any icon of pictures.
  EXPECT_EQ(icon.actualSize(QSize(40, 40)), QSize(40, 40));
  EXPECT_EQ(icon.pixmap(QSize(40, 40), 1.0).size(), QSize(40, 40));
  EXPECT_EQ(QIcon(icon).pixmap(QSize(16, 16), 1.0).toImage().convertToFormat(QImage::Format_ARGB32),
            DrawProgramIcon(16).convertToFormat(QImage::Format_ARGB32));
}

// The diary page is made as start-up reads the diary: after the first background when that shows
// the diary's days read ahead, before it when the diary must be read whole first; bound to the
// diary either way.
TEST_F(MainFormTest, TheDiaryPageIsMadeAsTheDiaryIsReadAndShowsIt) {
  TMDiaryBase doc;
  for (int i = 0; i < 3; ++i) {
    TKVXBDiaryItem* item = doc.Data().Add();
    item->idx = DateKey(QDate::currentDate().addDays(-i));
    item->Lines = "{\\rtf1\\ansi Dentist at nine.\\par\r\n}";
  }
  doc.SaveToFile(ExeDir + kDiaryFileName, true);
  for (const bool readAhead : {true, false}) {
    if (!readAhead) {
      QByteArray cut = kvtest::ReadFile(ExeDir + kDiaryFileName);
      cut.chop(cut.size() / 2);
      kvtest::WriteFile(ExeDir + kDiaryFileName, cut);
    }
    kvtest::MessageBoxes boxes(readAhead ? 0 : 1);  // the damage is told
    TMirMainHooks h = hooks;
    std::optional<bool> pageAtFirstBackground;
    TKVMirovaCalendar* made = nullptr;
    h.Model.Rotation.SetDesktopBackground = [&](const QString& file) {
      if (!pageAtFirstBackground) pageAtFirstBackground = made->findChild<TDiaryTab*>() != nullptr;
      return hooks.Model.Rotation.SetDesktopBackground(file);
    };
    TKVMirovaCalendar form(h);
    made = &form;
    form.Model().Ini->ShowNotesOptions = 0;
    ASSERT_TRUE(form.InitializeMainForm());
    EXPECT_EQ(pageAtFirstBackground, std::optional<bool>(!readAhead)) << readAhead;
    TDiaryTab* page = form.findChild<TDiaryTab*>();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(&form.DiaryPage(), page);
    const int entries = form.Model().NbDiary->Data().Items(0)->Count();
    if (readAhead) EXPECT_EQ(entries, 3);
    EXPECT_EQ(page->DiaryList()->Count(), entries) << readAhead;
    form.Action("actOpenDiary")->trigger();
    EXPECT_EQ(page->MonthCalendar()->selectedDate(), QDate::currentDate());
    form.SetActivePage(pgDiary);
    EXPECT_TRUE(page->isVisible());
    if (readAhead) EXPECT_TRUE(page->Editor()->toPlainText().startsWith("Dentist at nine."));
  }
}
