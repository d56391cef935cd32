// The diary, options and special pages inside the main form: start-up loads, OK saves, the page
// switching applies holidays and keeps the diary's split, and a folder that cannot be written
// never keeps the window from closing or the program from ending.
#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirData.h"
#include "calendar/MirDiaryStore.h"
#include "calendar/iniData.h"
#include "controls/KVListBox.h"
#include "controls/KVNbModule.h"
#include "controls/KVPanels.h"
#include "controls/KVRichEdOLE.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVClock.h"
#include "platform/KVRegistry.h"
#include "tests/common/FormTestKit.h"
#include "tests/ui/MainFormTestUtil.h"
#include "tests/common/TestUtil.h"
#include "ui/DiaryTab.h"
#include "ui/MainF.h"
#include "ui/OptionsTab.h"
#include "ui/printf.h"

using kvtest::Child;

namespace {

class MainFormDiary : public kvtest::MainFormFixture {
 protected:
  // Opens the settings window on the Diary page with today's entry active.
  static void OpenDiary(TKVMirovaCalendar& form) {
    form.Action("actOpenDiary")->trigger();
    form.SetActivePage(pgDiary);
  }
};

}  // namespace

TEST_F(MainFormDiary, AnEntryTypedOnTheDiaryPageIsSavedByOkAndFoundAfterARestart) {
  const QString today = DateKey(KVNow().date());
  {
    TKVMirovaCalendar form(hooks);
    ASSERT_TRUE(form.InitializeMainForm());
    OpenDiary(form);
    TKVRichEditOLE& editor = *form.DiaryPage().Editor();
    EXPECT_EQ(form.Model().NbDiary->ActiveID(), today);
    EXPECT_EQ(form.DiaryPage().MonthCalendar()->selectedDate(), KVNow().date());
    editor.setFocus();
    QTest::keyClicks(&editor, "Planted the tulips");
    kvtest::Click(Child<QPushButton>(form, "CloseBtn"));  // OK
    EXPECT_FALSE(form.SettingsOpen());
  }
  ASSERT_TRUE(QFile::exists(exe.filePath("mdiary.dat")));
  TKVMirovaCalendar again(hooks);
  ASSERT_TRUE(again.InitializeMainForm());
  const TNbObject* entry = again.Model().NbDiary->Data().FindEntry(today);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->Title, "Planted the tulips");
  OpenDiary(again);
  EXPECT_TRUE(again.DiaryPage().Editor()->toPlainText().startsWith("Planted the tulips"));
  EXPECT_EQ(again.DiaryPage().DiaryList()->Count(), 1);
  // The renderer finds it under today's key.
  EXPECT_TRUE(again.Model().FindDiaryEntry(today).has_value());
  again.Action("actExit")->trigger();
}

TEST_F(MainFormDiary, AFolderThatCannotBeWrittenIsReportedOncePerFileAndCloseAndExitStillComplete) {
  kvtest::WriteFile(exe.filePath("not-a-folder"), "x");
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  kvtest::ScopedOverride<QString> nowhere(ExeDir, exe.filePath("not-a-folder") + "/");
  OpenDiary(form);
  TKVRichEditOLE& editor = *form.DiaryPage().Editor();
  editor.setFocus();
  QTest::keyClicks(&editor, "Nothing typed is lost");
  {
    kvtest::MessageBoxes boxes;
    form.Action("actClose")->trigger();
    EXPECT_FALSE(form.SettingsOpen());
    QStringList cannot = boxes.Texts().filter("Cannot save");
    ASSERT_EQ(boxes.Count(), 2) << boxes.Texts().join(" | ").toStdString();
    ASSERT_EQ(cannot.size(), 2);
    EXPECT_TRUE(cannot[0].contains("mdiary.dat"));
    EXPECT_TRUE(cannot[1].contains("mnotes.dat"));
  }
  const TNbObject* entry = form.Model().NbDiary->Data().FindEntry(DateKey(KVNow().date()));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->Title, "Nothing typed is lost");
  {
    kvtest::MessageBoxes boxes;
    form.Action("actOpen")->trigger();
    form.Action("actExit")->trigger();
    EXPECT_EQ(boxes.Count(), 2);
    EXPECT_EQ(boxes.Texts().filter("Cannot save").size(), 2);
  }
  EXPECT_EQ(terminated, 1);
}

TEST_F(MainFormDiary, AHolidayAddedOnTheOptionsPageIsDrawnWhenThePageIsLeftAndKeptAfterARestart) {
  {
    TKVMirovaCalendar form(hooks);
    ASSERT_TRUE(form.InitializeMainForm());
    form.Action("actOpen")->trigger();
    form.SetActivePage(pgOptions);
    const int appliedBefore = applied;
    form.SetActivePage(pgSpecial);  // leaving without edits does nothing
    EXPECT_EQ(applied, appliedBefore);
    form.SetActivePage(pgOptions);
    kvtest::Click(Child<QPushButton>(form.OptionsPage(), "AddHolidayBtn"));
    TMHolidayPanel& row = *form.OptionsPage().HolidayRow(form.OptionsPage().HolidayScroll()->Count() - 1);
    row.DatePicker().setDate(QDate(2004, 5, 20));
    kvtest::TypeInto(row.Title(), "Garden day");
    form.SetActivePage(pgSpecial);
    EXPECT_EQ(applied, appliedBefore + 1);  // drawn and applied once
    EXPECT_NE(form.Model().Holidays->HolidayOf(QDate(KVNow().date().year(), 5, 20)), nullptr);
    form.Action("actClose")->trigger();
  }
  ASSERT_TRUE(QFile::exists(exe.filePath("mholiday.dat")));
  TKVMirovaCalendar again(hooks);
  ASSERT_TRUE(again.InitializeMainForm());
  EXPECT_EQ(again.OptionsPage().HolidayScroll()->Count(), 2);
  EXPECT_NE(again.Model().Holidays->HolidayOf(QDate(KVNow().date().year(), 5, 20)), nullptr);
}

TEST_F(MainFormDiary, TheDiaryPageKeepsItsSplitAndALinkedDiaryIsReadOnlyFromTheStart) {
  QTemporaryDir other;
  {
    TNbDataList notavel(false);
    notavel.AddSection();
    notavel.StoreEntry("2001/01/01", "Linked", "{\\rtf1\\ansi Linked\\par}", clBlack, 0, nbsmOverwrite);
    notavel.SaveSection(other.filePath("diary.dat"), 0);
  }
  TKVMirovaCalendar form(hooks);
  form.Model().Ini->NotavelDiary = true;
  form.Model().Ini->NotavelPath = other.path();
  form.Model().Ini->DiarySplit = 280;
  ASSERT_TRUE(form.InitializeMainForm());
  EXPECT_TRUE(form.Model().NbDiary->ReadOnly);
  EXPECT_TRUE(Child<QCheckBox>(form, "UseNotavelDiaryChk").isChecked());
  EXPECT_NE(form.Model().NbDiary->Data().FindEntry("2001/01/01"), nullptr);

  OpenDiary(form);
  EXPECT_EQ(form.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
  form.resize(form.FixedSize() + QSize(300, 100));
  EXPECT_EQ(form.DiaryPage().LeftPanelWidth(), 280);  // the editor takes the room
  form.DiaryPage().SetLeftPanelWidth(300);
  form.SetActivePage(pgOptions);
  EXPECT_EQ(form.Model().Ini->DiarySplit, 300);
  EXPECT_EQ(form.size(), form.FixedSize());
  // Typing in the linked diary warns; the delete command of the list's menu too.
  form.SetActivePage(pgDiary);
  {
    kvtest::MessageBoxes boxes;
    form.DiaryPage().Editor()->setFocus();
    QTest::keyClick(form.DiaryPage().Editor(), Qt::Key_X);
    form.Action("actDeleteDiaryEntry")->trigger();
    EXPECT_EQ(boxes.Count(), 2);
  }
  form.Action("actClose")->trigger();
  EXPECT_FALSE(QFile::exists(exe.filePath("mdiary.dat")));  // the linked diary is never written
}

TEST_F(MainFormDiary, TheDiaryShowsThePrintScopeAndMergeBoxesAfterTheQuickNotesHidThem) {
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  OpenDiary(form);
  std::vector<bool> shown;
  kvtest::Dialogs answer([&](QDialog& d) {
    d.show();
    shown.push_back(Child<QWidget>(d, "FoldersBox").isVisible() && Child<QWidget>(d, "MergeBox").isVisible());
    return int(QDialog::Rejected);
  });
  EXPECT_FALSE(form.PrintForm().Execute(false));  // as the quick notes print a single text
  kvtest::Click(Child<QPushButton>(form.DiaryPage(), "PrintDiaryBtn"));
  EXPECT_EQ(shown, (std::vector<bool>{false, true}));
  form.Action("actClose")->trigger();
}
