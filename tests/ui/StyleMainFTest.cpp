// The Calendar Style page inside the settings window: start-up, the page switch with its preview,
// OK, Undo and the hide-notes command.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "calendar/iniData.h"
#include "controls/MirPanels.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVRegistry.h"
#include "tests/common/FormTestKit.h"
#include "tests/ui/MainFormTestUtil.h"
#include "tests/ui/StyleTestUtil.h"
#include "ui/MainF.h"
#include "ui/MirImageF.h"

using namespace styletest;
using kvtest::Child;

namespace {

class StyleInMainForm : public kvtest::MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    // A stored style the page must show after start-up.
    TKVRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
    reg.WriteInteger("MonthBarTransparency", 35);
    reg.WriteInteger("LayoutID", 152);
  }
  void TearDown() override {
    TKVRegistry().DeleteKey(kSettingsKey);  // later tests start from the defaults
  }
  QByteArray Registry() {
    RegistryStore::Of(TRootKey::HKEY_CURRENT_USER).Flush();
    return kvtest::ReadFile(RegistryStore::Of(TRootKey::HKEY_CURRENT_USER).FileName());
  }
};

}  // namespace

TEST_F(StyleInMainForm, StartUpShowsTheStoredStyleWithItsLayoutAndFittedFont) {
  TKVMirovaCalendar form(hooks);
  form.Model().Ini->LoadSettings();
  ASSERT_TRUE(form.InitializeMainForm());
  TMirModel& m = form.Model();
  TStyleTab& page = *form.StyleTab();
  EXPECT_EQ(Child<QSlider>(page, "TransparencyTrack").value(), 13);
  EXPECT_EQ(m.Ini->WorkStyle.MonthBarTransparency, 35);
  EXPECT_EQ(m.Layout->LayoutID, 152);
  EXPECT_EQ(page.LayoutScroll().Panel(page.LayoutScroll().ItemIndex())->LayoutID, 152);
  EXPECT_GT(m.Render.DayRowHeight, 0);
  EXPECT_FALSE(m.Busy());
}

TEST_F(StyleInMainForm, ThePageShowsThePreviewAndOkCommitsWhatWasChanged) {
  TKVMirovaCalendar form(hooks);
  form.Model().Ini->LoadSettings();
  ASSERT_TRUE(form.InitializeMainForm());
  TMirModel& m = form.Model();
  TStyleTab& page = *form.StyleTab();
  form.Action("actOpen")->trigger();
  const QByteArray before = Registry();

  // A layout pack file that came since start-up is listed on entering the page.
  kvpack::WritePack(ExeDir + "style-test.mlt", kLayoutPackVersion, {LayoutEntry(LayoutText(9999))});
  form.SetActivePage(pgStyle);
  EXPECT_TRUE(form.MirImageForm()->isVisible());
  EXPECT_TRUE(page.LayoutScroll().LayoutIds().contains(9999));
  EXPECT_EQ(m.Layout->LayoutID, 152);

  QTest::keyClick(&Child<QSlider>(page, "TransparencyTrack"), Qt::Key_End);
  kvtest::Click(Child<QToolButton>(page, "CalItalicBtn"));
  Settle();
  EXPECT_EQ(m.Ini->WorkStyle.MonthBarTransparency, 0);
  EXPECT_EQ(m.Ini->StoredStyle.MonthBarTransparency, 35);
  EXPECT_EQ(Registry(), before);  // previews save the settings, but the stored style is unchanged

  // Undo goes back; leaving the page leaves the registry as it was.
  kvtest::Click(Child<QPushButton>(page, "UndoChangesBtn"));
  EXPECT_EQ(m.Ini->WorkStyle.MonthBarTransparency, 35);
  form.SetActivePage(pgOptions);
  EXPECT_EQ(Registry(), before);

  // OK takes the working style; a drawing still queued is dropped, the preview released.
  form.SetActivePage(pgStyle);
  QTest::keyClick(&Child<QSlider>(page, "TransparencyTrack"), Qt::Key_Home);
  EXPECT_TRUE(page.RedrawQueued());
  form.Action("actClose")->trigger();
  EXPECT_FALSE(page.RedrawQueued());
  Settle();
  EXPECT_TRUE(m.Render.Preview.Empty());
  EXPECT_EQ(m.Ini->StoredStyle.MonthBarTransparency, 100);
  TKVRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kSettingsKey, false));
  EXPECT_EQ(reg.ReadInteger("MonthBarTransparency"), 100);
  EXPECT_FALSE(form.MirImageForm()->isVisible());
}

TEST_F(StyleInMainForm, ShowingTheNotesAgainLeavesTheNoneMode) {
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  TStyleTab& page = *form.StyleTab();
  auto& box = Child<QComboBox>(page, "ShowNotesBox");
  page.ChooseNotesMode(3);
  QAction* hide = form.Action("actHideNotes");
  EXPECT_TRUE(hide->isChecked());
  EXPECT_FALSE(form.Model().Ini->ShowNotes);
  hide->trigger();
  EXPECT_TRUE(form.Model().Ini->ShowNotes);
  EXPECT_EQ(form.Model().Ini->ShowNotesOptions, 0);
  EXPECT_EQ(box.currentIndex(), 0);
  EXPECT_FALSE(hide->isChecked());
  hide->trigger();  // hidden again: the mode box keeps its choice
  EXPECT_FALSE(form.Model().Ini->ShowNotes);
  EXPECT_EQ(box.currentIndex(), 0);
}
