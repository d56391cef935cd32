#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "foundation/KVSysUtils.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"
#include "tests/ui/DialogTestUtil.h"
#include "ui/EditD.h"

using kvtest::Child;

namespace {

TEST(ImageSetName, UnsafeAndTakenNamesAreRefused) {
  QTemporaryDir exe, share;
  kvtest::WriteFile(exe.filePath("Nature.mcp"), "pack");
  kvtest::WriteFile(share.filePath("Cities.MCL"), " ");
  const QStringList folders{exe.path() + "/", share.path() + "/"};
  EXPECT_EQ(CheckImageSetName("Holiday 2024", folders), TImageSetNameCheck::Ok);
  EXPECT_EQ(CheckImageSetName("x..y", folders), TImageSetNameCheck::Unsafe);
  EXPECT_EQ(CheckImageSetName("", folders), TImageSetNameCheck::Empty);
  for (const QString& bad : {QString("a/b"), QString("..\\up"), QString(".."), QString(".hidden"),
                             QString("tab\there"), QString("new\nline"), QString(QChar(0x7F)), QString(QChar(0)),
                             QString(252, QChar('n')), QString(126, QChar(0x00E9))})
    EXPECT_EQ(CheckImageSetName(bad, folders), TImageSetNameCheck::Unsafe) << bad.toStdString();
  EXPECT_EQ(CheckImageSetName(QString(251, QChar('n')), folders), TImageSetNameCheck::Ok);
  // The program folder's packs and the installed ones, whatever the case of the letters.
  EXPECT_EQ(CheckImageSetName("nature", folders), TImageSetNameCheck::Exists);
  EXPECT_EQ(CheckImageSetName("NATURE", folders), TImageSetNameCheck::Exists);
  EXPECT_EQ(CheckImageSetName("cities", folders), TImageSetNameCheck::Exists);
  EXPECT_EQ(CheckImageSetName("Nature2", folders), TImageSetNameCheck::Ok);
}

class SetNameDialog : public ::testing::Test {
 protected:
  QTemporaryDir exe;
  kvtest::ScopedOverride<QString> exeDir{ExeDir, exe.path() + "/"};
  kvtest::ScopedOverride<QString> shareDir{ShareDir, QString()};
  TEditDlg dlg;
  QLineEdit& edit = Child<QLineEdit>(dlg, "Edit1");
  QPushButton& ok = Child<QPushButton>(dlg, "OKBtn");
  QPushButton& cancel = Child<QPushButton>(dlg, "CancelBtn");

  bool Run(const std::function<void()>& act) {
    kvtest::Dialogs answer([&](QDialog& d) {
      d.show();
      act();
      return d.isVisible() ? int(QDialog::Rejected) : d.result();
    });
    return dlg.Execute();
  }
  QStringList Files() const { return QDir(exe.path()).entryList(QDir::Files | QDir::Hidden); }
};

TEST_F(SetNameDialog, ANewSetStartsWithAnOrderListOfOneBlank) {
  EXPECT_TRUE(Run([&] {
    EXPECT_EQ(dlg.windowTitle(), "Create New Image Set");
    EXPECT_EQ(Child<QLabel>(dlg, "Label1").text(), "Enter Image Set Name:");
    EXPECT_FALSE(ok.isEnabled());
    dialogtest::ExpectTextsFit(dlg);
    QTest::keyClicks(&edit, "   ");
    EXPECT_FALSE(ok.isEnabled());  // blanks only
    QTest::keyClicks(&edit, "My Photos  ");
    EXPECT_TRUE(ok.isEnabled());
    dialogtest::Screenshot(dlg, "EditDlg");
    kvtest::Click(ok);
  }));
  EXPECT_EQ(dlg.SetName, "My Photos");
  EXPECT_EQ(dlg.SetFile, exe.filePath("My Photos.mcl"));
  EXPECT_EQ(Files(), QStringList{"My Photos.mcl"});
  EXPECT_EQ(kvtest::ReadFile(dlg.SetFile), " ");

  // The next use starts empty, and the name just made is taken now.
  kvtest::MessageBoxes boxes;
  EXPECT_FALSE(Run([&] {
    EXPECT_TRUE(edit.text().isEmpty());
    kvtest::TypeInto(edit, "my photos");
    kvtest::Click(ok);
    EXPECT_TRUE(dlg.isVisible());
    kvtest::Click(cancel);
  }));
  EXPECT_EQ(boxes.Texts(), QStringList{"Image set with the same name already exists!"});
  EXPECT_EQ(Files(), QStringList{"My Photos.mcl"});
}

TEST_F(SetNameDialog, TakenAndUnsafeNamesKeepTheDialogOpenAndCreateNothing) {
  kvtest::WriteFile(exe.filePath("Nature.mcp"), "pack");
  kvtest::MessageBoxes boxes;
  EXPECT_TRUE(Run([&] {
    for (const char* name : {"Nature", "../escape", "sub/dir", ".hidden"}) {
      kvtest::TypeInto(edit, name);
      kvtest::Click(ok);
      EXPECT_TRUE(dlg.isVisible()) << name;
    }
    kvtest::TypeInto(edit, "Nature 2");
    kvtest::Click(ok);
  }));
  EXPECT_EQ(boxes.Texts(), (QStringList{"Image set with the same name already exists!",
                                        "This name cannot be used for an image set file!",
                                        "This name cannot be used for an image set file!",
                                        "This name cannot be used for an image set file!"}));
  EXPECT_EQ(Files(), (QStringList{"Nature 2.mcl", "Nature.mcp"}));
  EXPECT_FALSE(QFile::exists(QDir(exe.path()).absoluteFilePath("../escape.mcl")));
}

TEST_F(SetNameDialog, AFolderThatCannotBeWrittenIsReported) {
  const kvtest::ScopedOverride<QString> gone(ExeDir, exe.filePath("missing") + "/");
  kvtest::MessageBoxes boxes;
  EXPECT_FALSE(Run([&] {
    kvtest::TypeInto(edit, "Trip");
    kvtest::Click(ok);
    EXPECT_TRUE(dlg.isVisible());
    kvtest::Click(cancel);
  }));
  ASSERT_EQ(boxes.Count(), 1);
  EXPECT_EQ(boxes.Texts()[0], "Cannot save " + exe.filePath("missing") + "/Trip.mcl.\nDisk may be full or write protected!");
}

}  // namespace
