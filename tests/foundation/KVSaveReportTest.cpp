// What a command could not save is told once: grouped by the folder that cannot be written or
// by the system's reason, and in a box that never takes keys the user is typing.
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "foundation/KVSaveReport.h"
#include "foundation/KVSysUtils.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"

namespace {

QDialog* OpenNotice() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) return d;
  return nullptr;
}

}  // namespace

TEST(SaveReport, FilesAreToldByFolderThatCannotBeWrittenOrByReasonInOneText) {
  const QString dir = kvtest::TestRoot() + "/report";
  QDir().mkpath(dir);
  // /proc takes no files, whoever runs the test.
  EXPECT_EQ(UnwritableFolder("/proc/mirova/registry.json"), "/proc");
  EXPECT_EQ(UnwritableFolder(dir + "/mdiary.dat"), "");
  EXPECT_EQ(UnwritableFolder(dir + "/not/made/yet/mdiary.dat"), "");

  const QString text = SaveFailureText({{dir + "/mdiary.dat", "No space left on device"},
                                        {"/proc/mirova/registry.json", "Permission denied"},
                                        {dir + "/mnotes.dat", "No space left on device"},
                                        {"/proc/mirova/autostart.desktop", ""},
                                        {dir + "/kvmir.bmp", ""}});
  EXPECT_EQ(text, "Cannot save " + dir + "/mdiary.dat, " + dir + "/mnotes.dat.\nNo space left on device\n\n" +
                      "Nothing can be saved in /proc.\nPermission denied\n\n" + "Cannot save " + dir +
                      "/kvmir.bmp.\nDisk may be full or write protected!");
}

TEST(SaveReport, OneBoxForTheOutermostReportAndNoneOutsideAReport) {
  kvtest::MessageBoxes boxes;
  {
    const TSaveReport command;
    ReportSaveFailure("/proc/a/x.dat", "Permission denied");
    {
      const TSaveReport step;
      ReportSaveFailure("/proc/a/x.dat", "Permission denied");
      ReportSaveFailure("/proc/a/y.dat", "Permission denied", true);
    }
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_EQ(TSaveReport::Pending(), QStringList({"/proc/a/x.dat", "/proc/a/y.dat"}));
    EXPECT_EQ(LostFailures(TSaveReport::Current()->Items()).size(), 1);
  }
  ASSERT_EQ(boxes.Count(), 1);
  EXPECT_EQ(boxes.Texts()[0], "Nothing can be saved in /proc.\nPermission denied");
  // The rotation tick or a drawing: logged only.
  ReportSaveFailure("/proc/a/z.dat", "Permission denied");
  EXPECT_EQ(boxes.Count(), 1);
  // A command that tells them its own way takes them: nothing else is shown.
  {
    TSaveReport exit;
    ReportSaveFailure("/proc/a/x.dat", "Permission denied");
    EXPECT_EQ(exit.Take().size(), 1);
  }
  EXPECT_EQ(boxes.Count(), 1);
  // A save that ends after its command keeps the collector; the box comes when it is done.
  std::shared_ptr<TSaveFailures> later;
  {
    const TSaveReport command;
    later = TSaveReport::Current();
  }
  EXPECT_EQ(boxes.Count(), 1);
  later->Add({"/proc/a/w.dat", "Permission denied"});
  later.reset();
  EXPECT_EQ(boxes.Count(), 2);
}

TEST(SaveReport, ABoxThatOpensWhileTheUserTypesLeavesTheKeysWhereTheyGo) {
  SetMessageBoxAnswerer({});
  QLineEdit edit;
  edit.show();
  edit.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
  edit.setFocus();

  // Nothing typed since the command began: the box answers it and takes the keyboard.
  bool modal = false;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    modal = box != nullptr;
    if (box) box->close();
  });
  {
    const TSaveReport command;
    ReportSaveFailure("/proc/a/x.dat", "Permission denied");
  }
  EXPECT_TRUE(modal);

  // Keys typed while the command ran: the box opens beside the window and the keys stay there.
  {
    const TSaveReport command;
    ReportSaveFailure("/proc/a/x.dat", "Permission denied");
    QTest::keyClicks(&edit, "abc");
  }
  QDialog* notice = OpenNotice();
  ASSERT_NE(notice, nullptr);
  EXPECT_FALSE(notice->isModal());
  EXPECT_TRUE(notice->testAttribute(Qt::WA_ShowWithoutActivating));
  QTest::keyClicks(&edit, " def");
  EXPECT_EQ(edit.text(), "abc def");
  EXPECT_TRUE(notice->isVisible());
  notice->close();

  // A start at log-on answers no command of the user's: never the keyboard.
  {
    const TSaveReport startup(false);
    ReportSaveFailure("/proc/a/x.dat", "Permission denied");
  }
  notice = OpenNotice();
  ASSERT_NE(notice, nullptr);
  EXPECT_FALSE(notice->isModal());
  notice->close();
  QCoreApplication::processEvents();
  SetMessageBoxAnswerer(kvtest::UnexpectedMessageBox);
}
