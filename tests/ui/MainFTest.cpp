#include "ui/MainF.h"

#include <QAction>
#include <QMenu>
#include <QTabWidget>
#include <gtest/gtest.h>

#include "calendar/iniData.h"
#include "foundation/KVException.h"
#include "foundation/KVForms.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVRegistry.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"
#include "ui/MirImageF.h"

namespace {

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegistryStore::ResetAll();
    InitializeFolders();
    hooks.Terminate = [this] { ++terminated; };
    hooks.Model.ScreenSize = [] { return QSize(320, 240); };
    hooks.Model.Rotation.SetDesktopBackground = [this](const QString&) {
      ++applied;
      return TDesktopStatus{};
    };
  }
  TMirMainHooks hooks;
  int terminated = 0, applied = 0;
};

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
