#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "foundation/KVSysUtils.h"
#include "platform/KVLaunch.h"
#include "tests/common/FormTestKit.h"
#include "tests/ui/DialogTestUtil.h"
#include "ui/DefInternetD.h"

using kvtest::Child;

namespace {

struct Launch {
  QString program;
  QStringList args;
  QString browserPath, mailPath;  // the globals while the program starts
};

class InternetSettings : public ::testing::Test {
 protected:
  kvtest::ScopedOverride<QString> browser{BrowserPath, QString()};
  kvtest::ScopedOverride<QString> mail{MailProgramPath, QString()};
  std::vector<Launch> launches;
  bool starts = true;
  QString chosen;  // what the file chooser answers

  void SetUp() override {
    SetProgramStarter([this](const QString& program, const QStringList& args) {
      launches.push_back({program, args, BrowserPath, MailProgramPath});
      return starts;
    });
  }
  void TearDown() override { SetProgramStarter(nullptr); }
  kvtest::ScopedOverride<decltype(TFileDialogs::OpenFileName)> files{
      FileDialogs().OpenFileName, [this](QWidget*, const QString&, const QString&, const QString& filter) {
        EXPECT_TRUE(filter.startsWith("Program files (*)"));
        return chosen;
      }};

  // Runs the dialog of the settings page's button; Act drives it.
  bool Run(const std::function<void(QDialog&)>& act) {
    kvtest::Dialogs answer([&](QDialog& d) {
      d.show();
      act(d);
      return d.isVisible() ? int(QDialog::Rejected) : d.result();
    });
    return TDefInternetDialog().Execute();
  }
  static QString Text(QDialog& d, const char* label) { return Child<QLabel>(d, label).text(); }
};

TEST_F(InternetSettings, OpensOnTheAutomaticChoicesWithTheTableTexts) {
  EXPECT_FALSE(Run([&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Internet Settings");
    EXPECT_TRUE(d.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Child<QGroupBox>(d, "GroupBox1").title(), "Current Web Browser Settings");
    EXPECT_EQ(Child<QGroupBox>(d, "GroupBox2").title(), "Current Mail Program Settings");
    EXPECT_EQ(Text(d, "BLabel"), "Automatic Settings");
    EXPECT_EQ(Text(d, "MLabel"), "Automatic Settings");
    EXPECT_EQ(Child<QPushButton>(d, "MFindBtn").text(), "Find Mailer");
    EXPECT_EQ(Child<QPushButton>(d, "BAutoBtn").text(), "Use Automatic Settings");
    const QStringList memo = Child<QPlainTextEdit>(d, "Memo1").toPlainText().split('\n');
    ASSERT_EQ(memo.size(), 5);
    EXPECT_TRUE(memo[2].contains("by clicking \"Find\""));
    EXPECT_EQ(memo[4], "To test the performance of new settings, click \"Test\"");
    EXPECT_TRUE(Child<QPlainTextEdit>(d, "Memo1").isReadOnly());
    dialogtest::ExpectTextsFit(d);
    dialogtest::Screenshot(d, "DefInternetDlg");
    kvtest::Click(Child<QPushButton>(d, "CancelBtn"));
  }));
}

TEST_F(InternetSettings, FindAndAutomaticChangeTheProgramsOnlyOnOK) {
  MailProgramPath = "/usr/bin/mutt";
  chosen = "/opt/web/browser";
  EXPECT_FALSE(Run([&](QDialog& d) {
    EXPECT_EQ(Text(d, "MLabel"), "/usr/bin/mutt");
    kvtest::Click(Child<QPushButton>(d, "BFindBtn"));
    EXPECT_EQ(Text(d, "BLabel"), "/opt/web/browser");
    kvtest::Click(Child<QPushButton>(d, "CancelBtn"));
  }));
  EXPECT_EQ(BrowserPath, "");

  EXPECT_TRUE(Run([&](QDialog& d) {
    kvtest::Click(Child<QPushButton>(d, "BFindBtn"));
    kvtest::Click(Child<QPushButton>(d, "MAutoBtn"));
    EXPECT_EQ(Text(d, "MLabel"), "Automatic Settings");
    chosen.clear();  // a cancelled chooser changes nothing
    kvtest::Click(Child<QPushButton>(d, "BFindBtn"));
    EXPECT_EQ(Text(d, "BLabel"), "/opt/web/browser");
    kvtest::Click(Child<QPushButton>(d, "OKBtn"));
  }));
  EXPECT_EQ(BrowserPath, "/opt/web/browser");
  EXPECT_EQ(MailProgramPath, "");

  // A long path is shortened with leading folders left out.
  BrowserPath = "/usr/local/share/some/very/long/folder/names/that/go/on/and/on/and/on/for/ever/browser-bin";
  Run([&](QDialog& d) {
    const QString shown = Text(d, "BLabel");
    EXPECT_NE(shown, BrowserPath);
    EXPECT_TRUE(shown.contains(".../")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("/browser-bin"));
    kvtest::Click(Child<QPushButton>(d, "CancelBtn"));
  });
}

TEST_F(InternetSettings, TestUsesTheChoicesWithoutKeepingThem) {
  BrowserPath = "/usr/bin/old-browser";
  chosen = "/opt/web/browser";
  EXPECT_FALSE(Run([&](QDialog& d) {
    kvtest::Click(Child<QPushButton>(d, "BFindBtn"));
    kvtest::Click(Child<QPushButton>(d, "BTestBtn"));
    kvtest::Click(Child<QPushButton>(d, "MTestBtn"));
    kvtest::Click(Child<QPushButton>(d, "CancelBtn"));
  }));
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[0].program, "/opt/web/browser");
  EXPECT_EQ(launches[0].args, QStringList{kInternetTestURL});
  EXPECT_EQ(launches[0].browserPath, "/opt/web/browser");
  // The mail program is automatic: the desktop's handler gets the address.
  EXPECT_EQ(launches[1].program, "xdg-open");
  EXPECT_EQ(launches[1].args, QStringList{QString("mailto:") + kInternetTestAddress});
  EXPECT_EQ(launches[1].browserPath, "/opt/web/browser");
  EXPECT_EQ(BrowserPath, "/usr/bin/old-browser");
  EXPECT_EQ(MailProgramPath, "");

  // A program that does not start is reported, and the globals still come back.
  starts = false;
  kvtest::MessageBoxes boxes;
  Run([&](QDialog& d) {
    kvtest::Click(Child<QPushButton>(d, "BTestBtn"));
    kvtest::Click(Child<QPushButton>(d, "CancelBtn"));
  });
  EXPECT_EQ(boxes.Count(), 1);
  EXPECT_EQ(BrowserPath, "/usr/bin/old-browser");
}

}  // namespace
