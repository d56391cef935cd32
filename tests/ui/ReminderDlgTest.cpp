#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/iniData.h"
#include "controls/KVRichEdOLE.h"
#include "controls/KVRtfReader.h"
#include "platform/KVClock.h"
#include "tests/common/FormTestKit.h"
#include "tests/ui/DialogTestUtil.h"
#include "ui/reminderD.h"

using kvtest::Child;

namespace {

// A check box laid out wider than its text answers clicks on its box and text only.
void ClickBox(QAbstractButton& b) { QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(6, b.height() / 2)); }

TEST(ReminderTime, ANewReminderIsDueAtTheNextHour) {
  EXPECT_EQ(NewReminderTime(QTime(14, 5, 33)), QTime(15, 5, 0));
  EXPECT_EQ(NewReminderTime(QTime(23, 41)), QTime(0, 41));
}

class ReminderDialog : public ::testing::Test {
 protected:
  TMEventBase events;
  Tini ini;
  TReminderDlg dlg{events, ini};
  TKVRichEditOLE& editor = Child<TKVRichEditOLE>(dlg, "KVRichEditOLE1");
  QDateEdit& date = Child<QDateEdit>(dlg, "RemDate");
  QTimeEdit& time = Child<QTimeEdit>(dlg, "RemTime");
  QComboBox& schedule = Child<QComboBox>(dlg, "ScheduleBox");
  QRadioButton& selTime = Child<QRadioButton>(dlg, "SelTimeBtn");
  QRadioButton& startup = Child<QRadioButton>(dlg, "StartupBtn");
  QCheckBox& enabled = Child<QCheckBox>(dlg, "EnabledCheck");
  QCheckBox& sound = Child<QCheckBox>(dlg, "SoundChk");

  void SetUp() override { SetClock([] { return QDateTime(QDate(2024, 5, 14), QTime(14, 5, 20)); }); }
  void TearDown() override { SetClock(nullptr); }

  bool Run(int index, const std::function<void()>& act) {
    kvtest::Dialogs answer([&](QDialog& d) {
      d.show();
      QApplication::setActiveWindow(&d);
      act();
      return d.isVisible() ? int(QDialog::Rejected) : d.result();
    });
    return dlg.Execute(index);
  }
  TKVXBEventItem* Add(TKVXSchType s, bool timed) {
    TKVXBEventItem* item = events.Data().Add();
    item->Schedule = s;
    item->Timed = timed;
    item->Enabled = false;
    item->Sound = false;
    item->StartDate = DateToDateTime(QDate(2023, 12, 24));
    item->StartTime = TimeToDateTime(QTime(18, 30));
    item->Note = "{\\rtf1\\ansi Light the candles}";
    return item;
  }
  QString Plain(const QString& rtf) { return KVRtfToText(KVRtfBytes(rtf)).value_or(QString()).trimmed(); }
};

TEST_F(ReminderDialog, ANewReminderStartsNextHourTodayOnceEnabledWithSound) {
  ini.RichEditFont.Name = "DejaVu Serif";
  ini.RichEditFont.Size = 14;
  EXPECT_TRUE(Run(-1, [&] {
    EXPECT_EQ(dlg.windowTitle(), "Reminder Setup");
    EXPECT_EQ(Child<QGroupBox>(dlg, "GroupBox2").title(), "Start Date:");
    EXPECT_EQ(Child<QGroupBox>(dlg, "GroupBox1").title(), "Start Time:");
    EXPECT_EQ(schedule.count(), 5);
    EXPECT_EQ(schedule.itemText(4), "Yearly");
    EXPECT_EQ(date.date(), QDate(2024, 5, 14));
    EXPECT_EQ(time.time(), QTime(15, 5));
    EXPECT_EQ(schedule.currentText(), "Start Once");
    EXPECT_TRUE(enabled.isChecked());
    EXPECT_TRUE(sound.isChecked());
    EXPECT_TRUE(selTime.isChecked());
    EXPECT_FALSE(startup.isChecked());
    EXPECT_TRUE(time.isEnabled());
    EXPECT_TRUE(editor.toPlainText().isEmpty());
    EXPECT_TRUE(editor.hasFocus());
    // Typed text takes the settings' editor font.
    QTest::keyClicks(&editor, "Call home");
    editor.selectAll();
    EXPECT_EQ(editor.SelAttributes().Name(), "DejaVu Serif");
    EXPECT_EQ(editor.SelAttributes().Size(), 14);
    dialogtest::ExpectTextsFit(dlg);
    dialogtest::Screenshot(dlg, "ReminderDlg");
    kvtest::Click(Child<QPushButton>(dlg, "OKBtn"));
  }));
  EXPECT_EQ(dlg.Item, nullptr);
  EXPECT_EQ(Plain(dlg.Note), "Call home");
  EXPECT_EQ(dlg.StartDate, QDate(2024, 5, 14));
  EXPECT_EQ(dlg.StartTime, QTime(15, 5));
  EXPECT_EQ(dlg.Schedule, schOnce);
  EXPECT_TRUE(dlg.Timed && dlg.Sound && dlg.Enabled);
  EXPECT_FALSE(dlg.DeleteRequested);
}

TEST_F(ReminderDialog, AnItemIsShownAndItsChangesComeBackOnOK) {
  Add(schDaily, true);
  TKVXBEventItem* item = Add(schHourly, false);
  EXPECT_TRUE(Run(1, [&] {
    EXPECT_EQ(Plain(editor.GetRTFText()), "Light the candles");
    EXPECT_EQ(date.date(), QDate(2023, 12, 24));
    EXPECT_EQ(time.time(), QTime(18, 30));
    EXPECT_EQ(schedule.currentText(), "Start Once");  // hourly has no item
    EXPECT_FALSE(enabled.isChecked());
    EXPECT_FALSE(sound.isChecked());
    EXPECT_TRUE(startup.isChecked());
    EXPECT_FALSE(time.isEnabled());
    ClickBox(selTime);
    EXPECT_TRUE(time.isEnabled());
    ClickBox(startup);
    EXPECT_FALSE(time.isEnabled());
    kvtest::Click(Child<QPushButton>(dlg, "OKBtn"));
  }));
  EXPECT_EQ(dlg.Item, item);
  // The schedule the box cannot show stays as it was.
  EXPECT_EQ(dlg.Schedule, schHourly);
  EXPECT_FALSE(dlg.Timed);
  // The dialog only shows the item; the caller stores what it wants.
  EXPECT_EQ(item->Schedule, schHourly);

  EXPECT_TRUE(Run(1, [&] {
    kvtest::ChooseItem(schedule, 2);
    ClickBox(enabled);
    kvtest::Click(Child<QPushButton>(dlg, "OKBtn"));
  }));
  EXPECT_EQ(dlg.Schedule, schWeekly);
  EXPECT_TRUE(dlg.Enabled);

  EXPECT_TRUE(Run(0, [&] {
    EXPECT_EQ(schedule.currentText(), "Daily");
    EXPECT_TRUE(selTime.isChecked());
    kvtest::Click(Child<QPushButton>(dlg, "OKBtn"));
  }));
  EXPECT_EQ(dlg.Schedule, schDaily);
}

TEST_F(ReminderDialog, DeleteClosesLikeCancelAndSaysSo) {
  Add(schYearly, true);
  EXPECT_FALSE(Run(0, [&] { kvtest::Click(Child<QPushButton>(dlg, "DeleteBtn")); }));
  EXPECT_TRUE(dlg.DeleteRequested);
  EXPECT_FALSE(Run(0, [&] { kvtest::Click(Child<QPushButton>(dlg, "CancelBtn")); }));
  EXPECT_FALSE(dlg.DeleteRequested);
}

TEST_F(ReminderDialog, AnIndexTheDocumentLacksIsAnError) {
  Add(schOnce, true);
  EXPECT_THROW(dlg.Init(1), EKVError);
  EXPECT_THROW(dlg.Init(-2), EKVError);
  EXPECT_NO_THROW(dlg.Init(0));
}

}  // namespace
