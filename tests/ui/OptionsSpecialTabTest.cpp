#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "controls/KVListBox.h"
#include "controls/KVPanels.h"
#include "controls/KVRichEdOLE.h"
#include "controls/MirPanels.h"
#include "platform/KVClock.h"
#include "platform/KVRegistry.h"
#include "tests/common/TestUtil.h"
#include "tests/ui/PageTestUtil.h"
#include "ui/DefInternetD.h"

using kvtest::Child;

namespace {

class OptionsPage : public ::testing::Test {
 protected:
  pagetest::Pages p;
  TOptionsTab& page = *p.options;
  TKVPanelsBox& rows = *p.options->HolidayScroll();
  void Open() {
    p.Start();
    p.window.setCurrentIndex(1);
  }
};

}  // namespace

TEST(HolidayDates, KeysNamingNoRealDateAreClampedNeverRaised) {
  EXPECT_EQ(HolidayKeyDate("2004/03/07"), QDate(2004, 3, 7));
  EXPECT_EQ(HolidayKeyDate("2004/02/31"), QDate(2004, 2, 29));
  EXPECT_EQ(HolidayKeyDate("2003/02/31"), QDate(2003, 2, 28));
  EXPECT_EQ(HolidayKeyDate("2004/13/40"), QDate(2004, 12, 31));
  EXPECT_EQ(HolidayKeyDate("0000/00/00"), QDate(1, 1, 1));
  EXPECT_EQ(HolidayKeyDate("abcd/ef/gh"), QDate(2000, 1, 1));
  EXPECT_EQ(HolidayKeyDate(""), QDate(2000, 1, 1));
  EXPECT_EQ(HotKeyText(0x4051), QKeySequence("Ctrl+Q").toString(QKeySequence::NativeText));
  EXPECT_EQ(HotKeyText(0xA070), QKeySequence("Shift+Alt+F1").toString(QKeySequence::NativeText));
  EXPECT_EQ(HotKeyText(0), "");
}

TEST_F(OptionsPage, LoadedHolidaysAreShownAddedRowsAreEditedAndAllAreDrawnAfterARestart) {
  Open();
  ASSERT_EQ(rows.Count(), 1);  // the built-in list
  TMHolidayPanel& newYear = *page.HolidayRow(0);
  EXPECT_EQ(newYear.Title().text(), "New Year");
  EXPECT_EQ(newYear.Schedule().currentText(), "Every Year");
  EXPECT_FALSE(newYear.Title().isEnabled());
  EXPECT_FALSE(newYear.DatePicker().isEnabled());

  kvtest::Click(Child<QPushButton>(page, "AddHolidayBtn"));
  ASSERT_EQ(rows.Count(), 2);
  EXPECT_GE(p.holidayEdits, 1);
  TMHolidayPanel& added = *page.HolidayRow(1);
  EXPECT_EQ(added.DatePicker().date(), KVNow().date());
  EXPECT_EQ(added.Schedule().currentText(), "Every Year");
  EXPECT_TRUE(added.Title().isEnabled());
  added.DatePicker().setDate(QDate(2004, 3, 7));
  kvtest::TypeInto(added.Title(), "Spring");
  kvtest::ChooseItem(added.Schedule(), 0);
  EXPECT_TRUE(page.RowsEdited());

  // Leaving the page applies the rows: the renderer's index has the new day.
  page.ApplyHolidays();
  ASSERT_EQ(p.model.Holidays->Data().Count(), 2);
  EXPECT_EQ(p.model.Holidays->Data()[1]->idx, "2004/03/07");
  EXPECT_EQ(p.model.Holidays->Data()[1]->Schedule, schOnce);
  p.model.Holidays->RebuildIndex();
  QStringList titles;
  p.model.Holidays->ListHolidaysOfDate(titles, QDate(2004, 3, 7));
  EXPECT_EQ(titles, QStringList{"Spring"});

  // A yearly one as well, then save-all and a fresh start.
  kvtest::Click(Child<QPushButton>(page, "AddHolidayBtn"));
  page.HolidayRow(2)->DatePicker().setDate(QDate(2001, 5, 20));
  kvtest::TypeInto(page.HolidayRow(2)->Title(), "Garden day");
  ASSERT_TRUE(page.SaveHolidays());  // applies first
  ASSERT_TRUE(QFile::exists(p.dir.filePath("mholiday.dat")));

  pagetest::Pages restarted;
  kvtest::ScopedOverride<QString> sameFolder(ExeDir, p.dir.path() + "/");
  restarted.Start();
  ASSERT_EQ(restarted.options->HolidayScroll()->Count(), 3);
  EXPECT_EQ(restarted.options->HolidayRow(2)->Title().text(), "Garden day");
  // The built-in row is still shown only; the user's own rows are still the user's to edit.
  EXPECT_FALSE(restarted.options->HolidayRow(0)->Title().isEnabled());
  for (int row : {1, 2}) {
    TMHolidayPanel& own = *restarted.options->HolidayRow(row);
    EXPECT_TRUE(own.Title().isEnabled()) << row;
    EXPECT_TRUE(own.DatePicker().isEnabled()) << row;
    EXPECT_TRUE(own.Schedule().isEnabled()) << row;
  }
  const int year = KVNow().date().year();
  ASSERT_NE(restarted.model.Holidays->HolidayOf(QDate(year, 5, 20)), nullptr);
  EXPECT_EQ(restarted.model.Holidays->HolidayOf(QDate(year, 5, 20))->Title, "Garden day");
  EXPECT_NE(restarted.model.Holidays->HolidayOf(QDate(year, 1, 1)), nullptr);

  // Edited after the restart and kept through another one.
  kvtest::TypeInto(restarted.options->HolidayRow(2)->Title(), "Garden party");
  kvtest::ChooseItem(restarted.options->HolidayRow(2)->Schedule(), 0);
  ASSERT_TRUE(restarted.options->SaveHolidays());
  pagetest::Pages again;
  kvtest::ScopedOverride<QString> stillTheSameFolder(ExeDir, p.dir.path() + "/");
  again.Start();
  ASSERT_EQ(again.options->HolidayScroll()->Count(), 3);
  EXPECT_EQ(again.options->HolidayRow(2)->Title().text(), "Garden party");
  EXPECT_EQ(again.options->HolidayRow(2)->Schedule().currentIndex(), 0);
  EXPECT_TRUE(again.options->HolidayRow(2)->Title().isEnabled());
}

TEST_F(OptionsPage, DeletingAsksFirstAndSelectingAloneSavesNothing) {
  Open();
  // Deleting with no row selected does nothing and asks nothing.
  kvtest::Click(Child<QPushButton>(page, "DeleteHolidayBtn"));
  EXPECT_EQ(rows.Count(), 1);

  QTest::mouseClick(page.HolidayRow(0), Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_EQ(rows.ItemIndex(), 0);
  EXPECT_EQ(p.holidayEdits, 1);  // selecting counts as an edit
  ASSERT_TRUE(page.SaveHolidays());
  EXPECT_FALSE(QFile::exists(p.dir.filePath("mholiday.dat")));  // nothing changed, nothing stored

  {
    kvtest::MessageBoxes no(7);
    kvtest::Click(Child<QPushButton>(page, "DeleteHolidayBtn"));
    EXPECT_EQ(no.Texts(), QStringList{"Are you sure you want to delete selected holiday?"});
  }
  EXPECT_EQ(rows.Count(), 1);
  {
    kvtest::MessageBoxes yes(6);
    kvtest::Click(Child<QPushButton>(page, "DeleteHolidayBtn"));
  }
  EXPECT_EQ(rows.Count(), 0);
  kvtest::Click(Child<QPushButton>(page, "AddHolidayBtn"));
  kvtest::Click(Child<QPushButton>(page, "AddHolidayBtn"));
  {
    kvtest::MessageBoxes yes(6);
    kvtest::Click(Child<QPushButton>(page, "DeleteAllHolidayBtn"));
    EXPECT_EQ(yes.Texts(), QStringList{"Are you sure you want to delete all holidays?"});
  }
  EXPECT_EQ(rows.Count(), 0);
  ASSERT_TRUE(page.SaveHolidays());
  EXPECT_EQ(p.model.Holidays->Data().Count(), 0);
  EXPECT_TRUE(QFile::exists(p.dir.filePath("mholiday.dat")));
}

TEST_F(OptionsPage, TheArrowKeysMoveBetweenHolidayRowsAndTakeTheTitleAlong) {
  Open();
  kvtest::Click(Child<QPushButton>(page, "AddHolidayBtn"));
  kvtest::Click(Child<QPushButton>(page, "AddHolidayBtn"));
  ASSERT_EQ(rows.Count(), 3);
  p.window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&p.window));
  QTest::mouseClick(page.HolidayRow(0), Qt::LeftButton, {}, QPoint(2, 2));
  ASSERT_TRUE(rows.hasFocus());
  const int edits = p.holidayEdits;
  QTest::keyClick(&rows, Qt::Key_Down);
  EXPECT_EQ(rows.ItemIndex(), 1);
  EXPECT_EQ(p.holidayEdits, edits + 1) << "a row chosen by key counts as a click on it";
  // From a row's title, up and down go to the title of the row above or below.
  QTest::mouseClick(&page.HolidayRow(2)->Title(), Qt::LeftButton);
  ASSERT_TRUE(page.HolidayRow(2)->Title().hasFocus());
  QTest::keyClick(&page.HolidayRow(2)->Title(), Qt::Key_Up);
  EXPECT_EQ(rows.ItemIndex(), 1);
  EXPECT_TRUE(page.HolidayRow(1)->Title().hasFocus());
  QTest::keyClick(&page.HolidayRow(1)->Title(), Qt::Key_Up);
  EXPECT_EQ(rows.ItemIndex(), 0);
  // Where that row's title takes no keys (a built-in row), the list keeps them.
  EXPECT_TRUE(page.HolidayRow(0)->Title().isEnabled() ? page.HolidayRow(0)->Title().hasFocus() : rows.hasFocus());
}

TEST_F(OptionsPage, ControlsWithoutBehaviourAreDisabledAndTheCheckBoxesShowTheSettings) {
  p.model.Ini->DiaryLongDate = false;
  p.model.Ini->CheckPasswordOnce = true;
  Open();
  EXPECT_FALSE(Child<QCheckBox>(page, "DiaryLongDateChk").isChecked());
  EXPECT_TRUE(Child<QCheckBox>(page, "PwdCheck").isChecked());
  EXPECT_EQ(p.Nb().TitleFormat, "dt");
  for (const char* name : {"ChangePwdBtn", "PwdCheck", "DeleteOldNotesBtn", "DeleteOldNotesBox",
                           "ChangeDefaultStyleBtn", "QuickNotesHotKey"})
    EXPECT_FALSE(Child<QWidget>(page, name).isEnabled()) << name;
  EXPECT_EQ(Child<QComboBox>(page, "DeleteOldNotesBox").currentText(), "three months");
  EXPECT_EQ(Child<QLabel>(page, "Label3").text(), "Open Diary:");
  EXPECT_EQ(Child<TKVRichEdit>(page, "KVRichEdit").toPlainText(), "This is default style");
  EXPECT_TRUE(Child<QWidget>(page, "AddHolidayBtn").isEnabled());
  pagetest::Screenshot(p.window, "options-page");
}

TEST_F(OptionsPage, TheLinkedDiaryIsReadOnlyFromStartAndTheCheckBoxSwitchesAndStoresIt) {
  QTemporaryDir other;
  {
    TNbDataList notavel(false);
    notavel.AddSection();
    notavel.StoreEntry("2001/01/01", "Linked", "{\\rtf1\\ansi Linked entry\\par}", clBlack, 0, nbsmOverwrite);
    notavel.SaveSection(other.filePath("diary.dat"), 0);
  }
  p.Store("2004/03/07", "{\\rtf1\\ansi Own entry\\par}");
  p.model.Ini->NotavelDiary = true;
  p.model.Ini->NotavelPath = other.path();
  p.Start();
  TSpecialTab& special = *p.special;
  auto& box = Child<QCheckBox>(special, "UseNotavelDiaryChk");
  EXPECT_TRUE(box.isChecked());
  EXPECT_TRUE(p.Nb().ReadOnly);
  EXPECT_TRUE(p.diary->Editor()->ReadOnly());
  EXPECT_EQ(p.diary->DiaryList()->Count(), 1);
  EXPECT_EQ(Child<QLabel>(special, "NotavelPathLabel").toolTip(), other.path());
  for (const char* name : {"NotavelBrowseBtn", "ImportDiaryBtn", "ImportDiaryBox", "ImportHolidaysBtn",
                           "ImportHolidaysBox"})
    EXPECT_FALSE(Child<QWidget>(special, name).isEnabled()) << name;
  EXPECT_EQ(Child<QComboBox>(special, "ImportDiaryBox").currentText(), "Append");

  p.window.setCurrentIndex(2);
  pagetest::Screenshot(p.window, "special-page");
  kvtest::Click(box);  // back to the own diary, stored at once
  EXPECT_FALSE(p.model.Ini->NotavelDiary);
  EXPECT_FALSE(p.Nb().ReadOnly);
  EXPECT_FALSE(p.diary->Editor()->ReadOnly());
  EXPECT_NE(p.Nb().Data().FindEntry("2004/03/07"), nullptr);
  TKVRegistry r;
  ASSERT_TRUE(r.OpenKey("\\Software\\Kel Voro\\Mirova Calendar", false));
  EXPECT_FALSE(r.ReadBool("NotavelDiary"));

  kvtest::Click(box);  // and to the linked one again: the own one is saved first
  EXPECT_TRUE(p.Nb().ReadOnly);
  EXPECT_NE(p.Nb().Data().FindEntry("2001/01/01"), nullptr);
  EXPECT_TRUE(QFile::exists(p.dir.filePath("mdiary.dat")));
}

TEST_F(OptionsPage, InternetSettingsAreSavedWithTheSettingsOnlyOnOk) {
  Open();
  p.window.setCurrentIndex(2);
  const QString savedBrowser = BrowserPath;
  BrowserPath.clear();
  const auto run = [&](bool ok) {
    kvtest::Dialogs answer([&](QDialog& d) {
      auto& dlg = dynamic_cast<TDefInternetDlg&>(d);
      d.show();
      kvtest::ScopedOverride<TFileDialogs> files(FileDialogs(), FileDialogs());
      FileDialogs().OpenFileName = [](QWidget*, const QString&, const QString&, const QString&) {
        return QStringLiteral("/usr/bin/true");
      };
      kvtest::Click(Child<QPushButton>(dlg, "BFindBtn"));
      kvtest::Click(Child<QPushButton>(dlg, ok ? "OKBtn" : "CancelBtn"));
      return d.result();
    });
    kvtest::Click(Child<QPushButton>(*p.special, "InternetSettingsBtn"));
  };
  run(false);
  EXPECT_TRUE(BrowserPath.isEmpty());
  run(true);
  EXPECT_EQ(BrowserPath, "/usr/bin/true");
  TKVRegistry r;
  ASSERT_TRUE(r.OpenKey("\\Software\\Kel Voro\\Mirova Calendar", false));
  EXPECT_EQ(r.ReadString("DefaultBrowser"), "/usr/bin/true");
  BrowserPath = savedBrowser;
}
