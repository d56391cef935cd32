// Every dialog of the program answers the keyboard as dialogs on a Linux desktop do: Esc
// cancels, Enter presses the default button, from wherever the keys are when it opens.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVRegistry.h"
#include "tests/common/FormTestKit.h"
#include "tests/ui/PageTestUtil.h"
#include "ui/DefInternetD.h"
#include "ui/EditD.h"
#include "ui/IconF.h"
#include "ui/printf.h"
#include "ui/reminderD.h"

using kvtest::Child;

namespace {

// How a dialog ended when a key was pressed in it.
struct TKeyAnswer {
  bool Closed = false;
  int Result = -1;
  QString FocusedAtStart;  // the object name of the control that had the keys
  int Others = 0;          // other dialogs the key opened
};

// Runs Execute while the dialog runner presses Key where the keys are once the dialog shows
// (after Prepare, which may move them).
TKeyAnswer PressIn(Qt::Key key, const std::function<void()>& execute,
                   const std::function<void(QDialog&)>& prepare = {}) {
  TKeyAnswer answer;
  bool inside = false;
  kvtest::Dialogs runner([&](QDialog& d) {
    if (inside) {
      ++answer.Others;
      return int(QDialog::Rejected);
    }
    inside = true;
    d.show();
    QApplication::setActiveWindow(&d);
    if (prepare) prepare(d);
    QWidget* keys = QApplication::focusWidget();
    if (!keys || keys->window() != &d) keys = &d;
    answer.FocusedAtStart = keys->objectName();
    QTest::keyClick(keys, key);
    answer.Closed = !d.isVisible();
    answer.Result = d.result();
    d.hide();
    inside = false;
    return answer.Closed ? d.result() : int(QDialog::Rejected);
  });
  execute();
  return answer;
}

class DialogKeys : public ::testing::Test {
 protected:
  void SetUp() override { RegistryStore::ResetAll(); }
  QTemporaryDir exe;
  kvtest::ScopedOverride<QString> exeDir{ExeDir, exe.path() + "/"};
  kvtest::ScopedOverride<QString> shareDir{ShareDir, QString()};
};

}  // namespace

TEST_F(DialogKeys, TheImageSetNameDialogCancelsOnEscAndCreatesOnEnter) {
  TEditDlg dlg;
  const TKeyAnswer esc = PressIn(Qt::Key_Escape, [&] { EXPECT_FALSE(dlg.Execute()); },
                                 [](QDialog& d) { kvtest::TypeInto(Child<QLineEdit>(d, "Edit1"), "Trips"); });
  EXPECT_TRUE(esc.Closed);
  EXPECT_EQ(esc.Result, QDialog::Rejected);
  EXPECT_FALSE(QFileInfo::exists(exe.filePath("Trips.mcl")));
  const TKeyAnswer enter = PressIn(Qt::Key_Return, [&] { EXPECT_TRUE(dlg.Execute()); },
                                   [](QDialog& d) { kvtest::TypeInto(Child<QLineEdit>(d, "Edit1"), "Trips"); });
  EXPECT_EQ(enter.FocusedAtStart, "Edit1");
  EXPECT_EQ(enter.Result, QDialog::Accepted);
  EXPECT_TRUE(QFileInfo::exists(exe.filePath("Trips.mcl")));
}

TEST_F(DialogKeys, TheReminderDialogCancelsOnEscAndTakesEnterOutsideItsText) {
  TMEventBase events;
  Tini ini;
  TReminderDlg dlg(events, ini);
  // The note's editor has the keys at first: Esc still cancels, Enter is a new line there.
  const TKeyAnswer esc = PressIn(Qt::Key_Escape, [&] { EXPECT_FALSE(dlg.Execute(-1)); });
  EXPECT_EQ(esc.FocusedAtStart, "KVRichEditOLE1");
  EXPECT_TRUE(esc.Closed);
  const TKeyAnswer newLine = PressIn(Qt::Key_Return, [&] { dlg.Execute(-1); });
  EXPECT_FALSE(newLine.Closed);
  const TKeyAnswer enter = PressIn(Qt::Key_Return, [&] { EXPECT_TRUE(dlg.Execute(-1)); },
                                   [](QDialog& d) { Child<QComboBox>(d, "ScheduleBox").setFocus(); });
  EXPECT_EQ(enter.Result, QDialog::Accepted);
}

TEST_F(DialogKeys, ThePrintDialogCancelsOnEscAndPrintsOnEnter) {
  TPrintForm form;
  const TKeyAnswer esc = PressIn(Qt::Key_Escape, [&] { EXPECT_FALSE(form.Execute(true)); });
  EXPECT_TRUE(esc.Closed);
  EXPECT_EQ(esc.Result, QDialog::Rejected);
  // Enter where the keys are at first prints; it opens no printer setup.
  const TKeyAnswer enter = PressIn(Qt::Key_Return, [&] { EXPECT_TRUE(form.Execute(true)); });
  EXPECT_EQ(enter.Result, QDialog::Accepted) << enter.FocusedAtStart.toStdString();
  EXPECT_EQ(enter.Others, 0) << enter.FocusedAtStart.toStdString();
  const TKeyAnswer margin = PressIn(Qt::Key_Enter, [&] { EXPECT_TRUE(form.Execute(true)); },
                                    [](QDialog& d) { Child<QLineEdit>(d, "MLEdit").setFocus(); });
  EXPECT_EQ(margin.Result, QDialog::Accepted);
}

TEST_F(DialogKeys, TheInternetSettingsCancelOnEscAndKeepOnEnter) {
  const QString browser = BrowserPath;
  const TKeyAnswer esc = PressIn(Qt::Key_Escape, [] { EXPECT_FALSE(TDefInternetDialog().Execute()); });
  EXPECT_TRUE(esc.Closed);
  const TKeyAnswer enter = PressIn(Qt::Key_Return, [] { EXPECT_TRUE(TDefInternetDialog().Execute()); });
  EXPECT_EQ(enter.Result, QDialog::Accepted) << "Enter where the keys are at first: " << enter.FocusedAtStart.toStdString();
  EXPECT_EQ(BrowserPath, browser);
}

TEST_F(DialogKeys, TheIconPickerCancelsOnEscAndTakesTheChosenIconOnEnter) {
  pagetest::FormComponent owner;
  TMirModel model{owner};
  TIconForm form(model);
  const TKeyAnswer esc = PressIn(Qt::Key_Escape, [&] { EXPECT_FALSE(form.Execute()); });
  EXPECT_TRUE(esc.Closed);
  // With a favourite chosen by the arrow keys, Enter takes it.
  const TKeyAnswer enter = PressIn(Qt::Key_Return, [&] { EXPECT_TRUE(form.Execute()); }, [](QDialog& d) {
    auto& list = Child<QListWidget>(d, "FavoritesList");
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Right);
    QTest::keyClick(&list, Qt::Key_Right);
  });
  EXPECT_EQ(enter.FocusedAtStart, "FavoritesList");
  EXPECT_EQ(enter.Result, QDialog::Accepted);
}
