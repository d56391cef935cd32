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
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirDiaryStore.h"
#include "calendar/iniData.h"
#include "controls/KVListBox.h"
#include "controls/KVNbModule.h"
#include "controls/KVPanels.h"
#include "controls/KVRichEdOLE.h"
#include "controls/MirPanels.h"
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

TEST_F(MainFormDiary, AFolderThatCannotBeWrittenIsReportedInOneBoxAndCloseAndExitStillComplete) {
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
    // The diary is written on the saving thread; the box comes once it is done.
    form.DiaryStore().WaitForSaves();
    EXPECT_FALSE(form.SettingsOpen());
    // One box names every file OK could not save.
    ASSERT_EQ(boxes.Count(), 1) << boxes.Texts().join(" | ").toStdString();
    const QString cannot = boxes.Texts()[0];
    EXPECT_TRUE(cannot.startsWith("Cannot save ")) << cannot.toStdString();
    EXPECT_TRUE(cannot.contains("mdiary.dat"));
    EXPECT_TRUE(cannot.contains("mnotes.dat"));
    EXPECT_EQ(cannot.count("mdiary.dat"), 1);
  }
  const TNbObject* entry = form.Model().NbDiary->Data().FindEntry(DateKey(KVNow().date()));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->Title, "Nothing typed is lost");
  {
    // Exit asks before what could not be saved is lost; the user chooses to end all the same.
    kvtest::MessageBoxes boxes(6);
    form.Action("actOpen")->trigger();
    form.Action("actExit")->trigger();
    EXPECT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Texts().filter("Cannot save").size(), 1);
    EXPECT_TRUE(boxes.Texts()[0].endsWith("Exit anyway?")) << boxes.Texts()[0].toStdString();
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

TEST_F(MainFormDiary, AFullDiskIsToldOnceByOkWithTheSystemsReasonForEveryFile) {
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  OpenDiary(form);
  TKVRichEditOLE& editor = *form.DiaryPage().Editor();
  editor.setFocus();
  QTest::keyClicks(&editor, "Written on a full disk");
  kvtest::MessageBoxes boxes;
  {
    kvtest::FullDisk full;
    form.Action("actClose")->trigger();
    // The diary is written on the saving thread; the box comes once it is done.
    form.DiaryStore().WaitForSaves();
  }
  EXPECT_FALSE(form.SettingsOpen());
  // The diary, the notes and the calendar picture: one box, each file once, and why the system
  // refused them.
  ASSERT_EQ(boxes.Count(), 1) << boxes.Texts().join(" | ").toStdString();
  const QString text = boxes.Texts()[0];
  for (const char* file : {"mdiary.dat", "mnotes.dat", "kvmir.bmp"})
    EXPECT_EQ(text.count(QLatin1String(file)), 1) << file << ": " << text.toStdString();
  EXPECT_TRUE(text.contains("File too large")) << text.toStdString();
  EXPECT_FALSE(text.contains("Unknown error")) << text.toStdString();
  EXPECT_FALSE(text.contains("Error writing to registry")) << text.toStdString();
  EXPECT_TRUE(form.Model().SaveFailed);
}

TEST_F(MainFormDiary, ExitWithUnsavedTextAsksAndTheSessionsEndKeepsItWhereItCanBeWritten) {
  kvtest::WriteFile(exe.filePath("not-a-folder"), "x");
  const QString rescue = QDir::tempPath() + QStringLiteral("/mirova-calendar-%1").arg(::getuid());
  QDir(rescue).removeRecursively();
  {
    TKVMirovaCalendar form(hooks);
    ASSERT_TRUE(form.InitializeMainForm());
    kvtest::ScopedOverride<QString> nowhere(ExeDir, exe.filePath("not-a-folder") + "/");
    OpenDiary(form);
    TKVRichEditOLE& editor = *form.DiaryPage().Editor();
    editor.setFocus();
    QTest::keyClicks(&editor, "Not yet on disk");
    {
      kvtest::MessageBoxes boxes;
      form.Action("actClose")->trigger();
      // The diary is written on the saving thread; the box comes once it is done.
      form.DiaryStore().WaitForSaves();
      ASSERT_EQ(boxes.Count(), 1);
    }
    // Exit from the tray with the window closed: asked, and No keeps the program running.
    {
      QStringList buttons;
      kvtest::MessageBoxes boxes([&](const QString&, const TKVButtons& b) {
        for (const TKVButton& x : b) buttons << x.Caption;
        return 7;
      });
      form.Action("actExit")->trigger();
      ASSERT_EQ(boxes.Count(), 1);
      EXPECT_TRUE(boxes.Texts()[0].contains("mdiary.dat")) << boxes.Texts()[0].toStdString();
      EXPECT_TRUE(boxes.Texts()[0].endsWith("Exit anyway?"));
      EXPECT_EQ(buttons, QStringList({"Yes", "No"}));
    }
    EXPECT_EQ(terminated, 0);
    // The session ends: nobody is asked; the diary goes where it can be written.
    {
      kvtest::MessageBoxes boxes;
      form.SessionEnd();
      EXPECT_EQ(boxes.Count(), 0) << boxes.Texts().join(" | ").toStdString();
    }
    EXPECT_EQ(terminated, 0);
  }
  ASSERT_TRUE(QFile::exists(rescue + "/mdiary.dat"));
  EXPECT_EQ(QFileInfo(rescue).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
  TMDiaryBase kept;
  kept.OnVerify.Set([](TPersistent*, const QString&, bool& accept) { accept = true; });
  kept.LoadFromFile(rescue + "/mdiary.dat");
  ASSERT_EQ(kept.Data().Count(), 1);
  EXPECT_TRUE(NbPlainText(kept.Data()[0]->Lines).startsWith("Not yet on disk"));

  // The next start says where it is kept, beside the window.
  {
    kvtest::MessageBoxes boxes;
    TKVMirovaCalendar again(hooks);
    ASSERT_TRUE(again.InitializeMainForm());
    QCoreApplication::processEvents();
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_TRUE(boxes.Texts()[0].contains(rescue)) << boxes.Texts()[0].toStdString();
    EXPECT_TRUE(boxes.Texts()[0].contains(QDir::toNativeSeparators(ExeDir)));
    // With the folder writable again, Exit saves and ends without asking.
    OpenDiary(again);
    QTest::keyClicks(again.DiaryPage().Editor(), "Saved now");
    again.Action("actExit")->trigger();
    EXPECT_EQ(boxes.Count(), 1);
  }
  EXPECT_EQ(terminated, 1);
  QDir(rescue).removeRecursively();
}

// What the search reads of each entry is let go of while the settings window is put away and
// read again when the Diary page shows: the same words find the same entries, an edit made in
// between included, whether the text is rich text or plain text beyond Latin-1.
TEST_F(MainFormDiary, TheSearchFindsTheSameEntriesAfterTheWindowWasPutAwayAndOpenedAgain) {
  {
    TMDiaryBase doc;
    const std::pair<const char*, QString> entries[] = {
        {"2004/03/07", "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Dentist at \\b nine\\b0\\par\r\n}"},
        {"2004/03/08", QString::fromUtf8("Garden with \u039f\u0394\u039f\u03a3 and Stra\u00dfe")},
        {"2004/03/09", "{\\rtf1\\ansi Nothing here\\par}"}};
    for (const auto& [key, text] : entries) {
      TKVXBDiaryItem* item = doc.Data().Add();
      item->idx = key;
      item->Title = "Note";
      item->Lines = text;
    }
    doc.SaveToFile(exe.filePath(kDiaryFileName), true);
  }
  TKVMirovaCalendar form(hooks);
  ASSERT_TRUE(form.InitializeMainForm());
  const auto find = [&](const QString& words) {
    auto& search = Child<QLineEdit>(form, "SearchEdit");
    // Keys type only ASCII; other letters come as an input method would give them.
    if (QtPrivate::isAscii(QStringView(words))) kvtest::TypeInto(search, words);
    else search.setText(words);
    kvtest::Click(Child<QPushButton>(form, "FindBtn"));
    QStringList found;
    TKVCustomListBox& list = *form.DiaryPage().DiaryList();
    for (int i = 0; i < list.Count(); ++i) found << list.Objects(i)->ID;
    found.sort();
    return found;
  };
  OpenDiary(form);
  EXPECT_EQ(find("dentist"), QStringList{"2004/03/07"});
  EXPECT_EQ(find(QString::fromUtf8("\u03bf\u03b4\u03bf\u03c3")), QStringList{"2004/03/08"});
  kvtest::Click(Child<QPushButton>(form, "CloseBtn"));  // OK
  ASSERT_FALSE(form.SettingsOpen());
  QCoreApplication::processEvents();
  const TNbData& section = *form.Model().NbDiary->Data().Items(0);
  for (int i = 0; i < section.Count(); ++i) EXPECT_TRUE(section.Items(i)->SearchCache.Folded.isEmpty()) << i;
  form.Model().NbDiary->Data().FindEntry("2004/03/09")->Text = "{\\rtf1\\ansi The dentist called\\par}";

  OpenDiary(form);
  EXPECT_EQ(find("dentist"), (QStringList{"2004/03/07", "2004/03/09"}));
  EXPECT_EQ(find(QString::fromUtf8("ΟΔΟΣ")), QStringList{"2004/03/08"});
  EXPECT_EQ(find("garden"), QStringList{"2004/03/08"});
  form.Action("actExit")->trigger();
}
