#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "calendar/iniData.h"
#include "foundation/KVRes.h"
#include "foundation/KVSysUtils.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"

namespace {

class TiniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QFile::remove(kvtest::TestRoot() + "/config/KelVoro/registry.json");
    RegistryStore::ResetAll();
    TKVRegistry run;
    if (run.OpenKey("\\" + RunKeyPath(), true) && run.ValueExists(kRunValueName)) run.DeleteValue(kRunValueName);
    messages_.clear();
    SetMessageBoxAnswerer([this](const QString& msg, const QString&, int, const TKVButtons&) {
      messages_ << msg;
      return 1;
    });
  }
  void TearDown() override { SetMessageBoxAnswerer(kvtest::UnexpectedMessageBox); }

  static void Write(const std::function<void(TKVRegistry&)>& fill) {
    TKVRegistry r;
    ASSERT_TRUE(r.OpenKey(kSettingsKey, true));
    fill(r);
    r.CloseKey();
  }
  static bool RunValueExists(QString* value = nullptr) {
    TKVRegistry r;
    if (!r.OpenKey("\\" + RunKeyPath(), true) || !r.ValueExists(kRunValueName)) return false;
    if (value) *value = r.ReadString(kRunValueName);
    return true;
  }

  QStringList messages_;
};

}  // namespace

TEST_F(TiniTest, FirstStartGivesTheDefaultsCreatesTheKeyAndTheRunValue) {
  Tini t;
  t.LoadSettings();
  EXPECT_EQ(t.DiarySplit, 310);
  EXPECT_EQ(t.ThnSize, 1);
  EXPECT_EQ(t.ImagePosition, 2);
  EXPECT_EQ(t.ShowNotesOptions, 1);
  EXPECT_EQ(t.StoredStyle.LayoutID, 151);
  EXPECT_EQ(t.StoredStyle.BackColor, 0x00459F00u);
  EXPECT_EQ(t.StoredStyle.TodayColor, 0x0000FFFFu);
  EXPECT_EQ(t.StoredStyle.DayFont.Name, "Arial");
  EXPECT_TRUE(t.StoredStyle.DayFont.HasStyle(fsBold));
  EXPECT_EQ(t.HideNotesHotKey, 0x4048);
  EXPECT_EQ(t.IconFile, SystemDir + "shell32.dll");
  EXPECT_TRUE(t.AutoStartup);
  EXPECT_TRUE(messages_.isEmpty());
  TKVRegistry r;
  EXPECT_TRUE(r.OpenKeyReadOnly(kSettingsKey));
  QString run;
  ASSERT_TRUE(RunValueExists(&run));
  EXPECT_EQ(run, Tini::RunCommand());
  EXPECT_TRUE(run.endsWith(" /a"));
}

TEST_F(TiniTest, OutOfRangeValuesAreReplacedOrHeldInTheStylePagesRanges) {
  Write([](TKVRegistry& r) {
    r.WriteInteger("ThnSize", 7);
    r.WriteInteger("Frequency", -1);
    r.WriteInteger("ImagePosition", 5);
    r.WriteInteger("ShowNotesOptions", 4);
    r.WriteInteger("DaySpace", 9);
    r.WriteInteger("DayShadow", -2);
    r.WriteInteger("BevelStyle", 300);
    r.WriteInteger("MonthBarTransparency", 150);
    r.WriteInteger("NotesTransparency", 0);
    r.WriteInteger("MonthContrast", 999);
    r.WriteInteger("DayContrast", -999);
  });
  Tini t;
  t.LoadSettings();
  EXPECT_EQ(t.ThnSize, 1);
  EXPECT_EQ(t.Frequency, 0);
  EXPECT_EQ(t.ImagePosition, 2);
  EXPECT_EQ(t.ShowNotesOptions, 0);
  EXPECT_EQ(t.StoredStyle.DaySpace, 4);
  EXPECT_EQ(t.StoredStyle.DayShadow, 0);
  EXPECT_EQ(t.StoredStyle.BevelStyle, 2);
  EXPECT_EQ(t.StoredStyle.MonthBarTransparency, 100);
  EXPECT_EQ(t.StoredStyle.NotesTransparency, 5);
  EXPECT_EQ(t.StoredStyle.MonthContrast, 200);
  EXPECT_EQ(t.StoredStyle.DayContrast, -200);
}

TEST_F(TiniTest, ValuesOfTheWrongTypeOrUnreadableKeepTheirDefaultsAndTheRestIsRead) {
  Write([](TKVRegistry& r) {
    r.WriteString("DiarySplit", "wide");  // a string is not an integer
    r.WriteString("BackColor", "not a colour");
    r.WriteString("DayFontColor", "no colour either");
    r.WriteString("DayFontName", "Courier New");
    r.WriteInteger("LayoutID", 601);
    r.WriteString("MirPack", "sky.mcp");
  });
  Tini t;
  t.LoadSettings();
  EXPECT_EQ(t.DiarySplit, 310);
  EXPECT_EQ(t.StoredStyle.BackColor, 0x00459F00u);
  EXPECT_EQ(t.StoredStyle.DayFont.Name, "Courier New");
  EXPECT_EQ(t.StoredStyle.DayFont.Color, TFont().Color);
  EXPECT_EQ(t.StoredStyle.LayoutID, 601);  // read after the unreadable font colour
  EXPECT_EQ(t.MirPack, "sky.mcp");
  EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(TiniTest, SaveAndLoadRoundTripEveryValue) {
  {
    Tini t;
    t.LoadSettings();
    t.DiarySplit = 222;
    t.NotavelDiary = true;
    t.NotavelPath = "/home/u/notes/";
    t.IconFile = "/a\n/b";
    t.AutoStartup = false;
    t.StartupOpenDiary = true;
    t.MirPack = "landscapes.mcp";
    t.RandomImages = true;
    t.ShowNotes = false;
    t.ShowNotesOptions = 3;
    t.DiaryLongDate = false;
    t.StoredStyle.BevelStyle = 1;
    t.StoredStyle.SundayColor = clRed;
    t.StoredStyle.DayShadowColor = 0x00123456;
    t.StoredStyle.DayFont.Name = "DejaVu Sans";
    t.StoredStyle.DayFont.Size = 14;
    t.StoredStyle.DayFont.Style = FontStyle(fsItalic);
    t.RichEditFont.Name = "Liberation Serif";
    t.StoredStyle.DaySpace = 3;
    t.StoredStyle.MonthContrast = 70;
    t.Frequency = 2;
    t.LastChange = 17;
    t.ImageIndex = 4;
    t.OpenDiaryHotKey = 0x4044;
    t.StoredStyle.LayoutID = 602;
    t.ThnSize = 2;
    BrowserPath = "/usr/bin/browser";
    MailProgramPath = "/usr/bin/mailer";
    t.SaveSettings();
  }
  BrowserPath.clear();
  Tini t;
  t.LoadSettings();
  EXPECT_EQ(t.DiarySplit, 222);
  EXPECT_TRUE(t.NotavelDiary);
  EXPECT_EQ(t.NotavelPath, "/home/u/notes/");
  EXPECT_EQ(t.IconFile, "/a\n/b");
  EXPECT_FALSE(t.AutoStartup);
  EXPECT_TRUE(t.StartupOpenDiary);
  EXPECT_EQ(t.MirPack, "landscapes.mcp");
  EXPECT_TRUE(t.RandomImages);
  EXPECT_FALSE(t.ShowNotes);
  EXPECT_EQ(t.ShowNotesOptions, 3);
  EXPECT_FALSE(t.DiaryLongDate);
  EXPECT_EQ(t.StoredStyle.BevelStyle, 1);
  EXPECT_EQ(t.StoredStyle.SundayColor, clRed);
  EXPECT_EQ(t.StoredStyle.DayShadowColor, 0x00123456u);
  EXPECT_EQ(t.StoredStyle.DayFont.Name, "DejaVu Sans");
  EXPECT_EQ(t.StoredStyle.DayFont.Size, 14);
  EXPECT_TRUE(t.StoredStyle.DayFont.HasStyle(fsItalic));
  EXPECT_FALSE(t.StoredStyle.DayFont.HasStyle(fsBold));
  EXPECT_EQ(t.RichEditFont.Name, "Liberation Serif");
  EXPECT_EQ(t.StoredStyle.DaySpace, 3);
  EXPECT_EQ(t.StoredStyle.MonthContrast, 70);
  EXPECT_EQ(t.Frequency, 2);
  EXPECT_EQ(t.LastChange, 17);
  EXPECT_EQ(t.ImageIndex, 4);
  EXPECT_EQ(t.OpenDiaryHotKey, 0x4044);
  EXPECT_EQ(t.StoredStyle.LayoutID, 602);
  EXPECT_EQ(t.ThnSize, 2);
  EXPECT_EQ(BrowserPath, "/usr/bin/browser");
  EXPECT_EQ(MailProgramPath, "/usr/bin/mailer");
  TKVRegistry r;
  ASSERT_TRUE(r.OpenKeyReadOnly(kSettingsKey));
  EXPECT_EQ(r.ReadString("MirovaPath"), ExeDir);
  EXPECT_FALSE(r.ValueExists("ScrSaverExe"));
  EXPECT_EQ(r.ReadString("SundayColor"), "clRed");
  EXPECT_TRUE(messages_.isEmpty());
  BrowserPath.clear();
  MailProgramPath.clear();
}

TEST_F(TiniTest, RunValueFollowsAutoStartupButAValueNamingAnotherProgramIsNotRewritten) {
  // Another copy of the program, which exists.
  const QString other = kvtest::TestRoot() + "/other copy/mirova";
  QDir().mkpath(kvtest::TestRoot() + "/other copy");
  kvtest::WriteFile(other, "");
  {
    TKVRegistry r;
    ASSERT_TRUE(r.OpenKey("\\" + RunKeyPath(), true));
    r.WriteString(kRunValueName, "\"" + other + "\" /a");
  }
  Tini t;
  t.LoadSettings();  // AutoStartup defaults to True
  QString run;
  ASSERT_TRUE(RunValueExists(&run));
  EXPECT_EQ(run, "\"" + other + "\" /a");
  Write([](TKVRegistry& r) { r.WriteBool("AutoStartup", false); });
  t.LoadSettings();
  EXPECT_FALSE(RunValueExists());
}

TEST_F(TiniTest, RunValueNamingAProgramThatIsGoneNamesThisProgramAgain) {
  // A build folder removed after the program was installed.
  for (const QString& gone : {QString("/removed/build/app/mirova /a"), QString("\"/removed/my build/mirova\" /a"),
                              QString()}) {
    {
      TKVRegistry r;
      ASSERT_TRUE(r.OpenKey("\\" + RunKeyPath(), true));
      r.WriteString(kRunValueName, gone);
    }
    Tini t;
    t.LoadSettings();
    QString run;
    ASSERT_TRUE(RunValueExists(&run));
    EXPECT_EQ(run, Tini::RunCommand()) << gone.toStdString();
  }
}

TEST_F(TiniTest, StyleEditsReachTheRegistryOnlyAfterCommit) {
  Tini t;
  t.LoadSettings();
  t.RevertStyle();
  t.WorkStyle.BackColor = clNavy;
  t.WorkStyle.DayFont.Size = 21;
  t.WorkStyle.LayoutID = 11;
  t.SaveSettings();
  {
    Tini u;
    u.LoadSettings();
    EXPECT_EQ(u.StoredStyle.BackColor, 0x00459F00u);
    EXPECT_EQ(u.StoredStyle.LayoutID, 151);
  }
  t.CommitStyle();
  t.SaveSettings();
  Tini u;
  u.LoadSettings();
  EXPECT_EQ(u.StoredStyle.BackColor, clNavy);
  EXPECT_EQ(u.StoredStyle.DayFont.Size, 21);
  EXPECT_EQ(u.StoredStyle.LayoutID, 11);
  // Revert drops uncommitted edits.
  u.RevertStyle();
  u.WorkStyle.DaySpace = 0;
  u.RevertStyle();
  EXPECT_EQ(u.WorkStyle.DaySpace, 2);
  EXPECT_EQ(u.WorkStyle.BackColor, clNavy);
}

TEST_F(TiniTest, APackTextSetsOnlyThePackDefaultsItNames) {
  Tini t;
  t.PackDefaults.TodayColor = clRed;
  t.ApplyText({"object ini: Tini", "  DayColor = clBlue", "  Unknown = 5", "end"});
  EXPECT_EQ(t.PackDefaults.DayColor, clBlue);
  EXPECT_EQ(t.PackDefaults.TodayColor, 0x0000FFFFu);  // reset before the text
  EXPECT_EQ(t.PackDefaults.SaturdayBackColor, clNone);
  EXPECT_EQ(t.PackDefaults.BackColor, 0x00459F00u);
  EXPECT_EQ(t.PackDefaults.DayContrast, 200);
  // The stored style is not touched by a pack.
  EXPECT_EQ(t.StoredStyle.DayColor, 0x00FFFFFFu);
}

TEST_F(TiniTest, TheDiaryProductsFolderComesFromTheInstallKey) {
  {
    TKVRegistry r;
    ASSERT_TRUE(r.OpenKey(kInstallKey, true));
    r.WriteString(kNotavelPathValueNames[1], "/opt/notavel/");
  }
  Tini t;
  t.LoadSettings();
  EXPECT_EQ(t.NotavelPath, "/opt/notavel/");
  Write([](TKVRegistry& r) { r.WriteString("NotavelPath", "/mine/"); });
  t.LoadSettings();
  EXPECT_EQ(t.NotavelPath, "/mine/");
}
