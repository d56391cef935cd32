#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "platform/KVDesktopEntry.h"
#include "platform/KVRegistry.h"
#include "tests/common/DesktopTestUtil.h"
#include "tests/common/TestUtil.h"
#include "tests/platform/helpers/ProcessTestUtil.h"

using namespace kvtest;

namespace {

// What a launcher reads back from the file's Exec line.
std::optional<QStringList> ReadBack(const QString& execLine) {
  return DesktopExecArguments(UnescapeDesktopString(execLine));
}

QString ExecLineOf(const QString& desktopFile) {
  const QString text = QString::fromUtf8(ReadFile(desktopFile));
  const auto m = QRegularExpression(QStringLiteral("^Exec=(.*)$"), QRegularExpression::MultilineOption).match(text);
  return m.hasMatch() ? m.captured(1) : QString();
}

}  // namespace

TEST(DesktopEntry, ExecQuotingReadsBackEveryArgument) {
  const QList<QStringList> cases = {
      {"/usr/bin/mirova", "/a"},
      {"/opt/my apps/mirova", "/a"},
      {"/opt/say \"hi\"/mirova", "/a"},
      {"/home/u/$HOME/mirova", "/a"},
      {"/home/u/100%/mir%uova", "/a"},
      {"/home/u/back\\slash/mirova", "/a"},
      {"/home/u/`tick`/it's/mirova", "/a"},
      {"/home/u/a;b&c|d<e>f*g?h#i(j)k~l/mirova", "", "x y"},
      {"/home/ü/Календарь/mirova", "/a"},
      {"/home/u/tab\there/new\nline/mirova", "/a"},
  };
  for (const QStringList& args : cases) {
    const QString exec = DesktopExecFromArguments(args);
    const QString line = EscapeDesktopString(exec);
    EXPECT_FALSE(line.contains(QLatin1Char('\n'))) << line.toStdString();
    const auto back = ReadBack(line);
    ASSERT_TRUE(back.has_value()) << line.toStdString();
    EXPECT_EQ(*back, args) << line.toStdString();
  }
}

TEST(DesktopEntry, ExecIsWrittenAsTheXdgFormatSpellsIt) {
  EXPECT_EQ(DesktopExecFromArguments({"/usr/bin/mirova", "/a"}), "/usr/bin/mirova /a");
  EXPECT_EQ(EscapeDesktopString(DesktopExecFromArguments({"/opt/my apps/mirova", "/a"})), "\"/opt/my apps/mirova\" /a");
  // A literal dollar in a quoted argument is "\\$" in the file, a backslash four of them.
  EXPECT_EQ(EscapeDesktopString(DesktopExecFromArguments({"/a$b/m"})), "\"/a\\\\$b/m\"");
  EXPECT_EQ(EscapeDesktopString(DesktopExecFromArguments({"/a\\b/m"})), "\"/a\\\\\\\\b/m\"");
  EXPECT_EQ(DesktopExecFromArguments({"/a%b/m", "50%"}), "/a%%b/m 50%%");
}

TEST(DesktopEntry, ReadingRefusesWhatLaunchersMayReadDifferently) {
  EXPECT_FALSE(DesktopExecArguments("/a/$b/m").has_value());      // reserved outside quotes
  EXPECT_FALSE(DesktopExecArguments("\"/a/b/m /a").has_value());  // unclosed quote
  EXPECT_FALSE(DesktopExecArguments("\"/a\\q\"").has_value());    // unknown escape in quotes
  EXPECT_FALSE(DesktopExecArguments("\"/a %f\"").has_value());    // field code in quotes
  EXPECT_EQ(*DesktopExecArguments("/bin/m %U  /a"), (QStringList{"/bin/m", "", "/a"}));
}

TEST(DesktopEntry, ProgramsWithPercentStartThroughTheShell) {
  EXPECT_EQ(LauncherExec({"/bin/mirova", "/a"}), "/bin/mirova /a");
  const auto back = DesktopExecArguments(LauncherExec({"/x/100%/mirova", "/a"}));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, (QStringList{"/bin/sh", "-c", "exec \"$0\" \"$@\"", "/x/100%/mirova", "/a"}));
}

TEST(DesktopEntry, RunCommandsSplitLikeTheirPlatformReadsThem) {
  const QStringList files = {"/opt/say \"hi\" now/mirova", "/opt/my apps/mirova", "/opt/plain/mirova"};
  const auto exists = [&](const QString& p) { return files.contains(p); };
  EXPECT_EQ(SplitRunCommand("\"/opt/my apps/mirova\" /a", exists), (QStringList{"/opt/my apps/mirova", "/a"}));
  // The closing quote is the one after which the program exists.
  EXPECT_EQ(SplitRunCommand("\"/opt/say \"hi\" now/mirova\" /a", exists),
            (QStringList{"/opt/say \"hi\" now/mirova", "/a"}));
  // A bare program with blanks: the shortest start that names a file.
  EXPECT_EQ(SplitRunCommand("/opt/my apps/mirova /a \"x y\"", exists),
            (QStringList{"/opt/my apps/mirova", "/a", "x y"}));
  EXPECT_EQ(SplitRunCommand("/opt/plain/mirova", exists), (QStringList{"/opt/plain/mirova"}));
  // Nothing exists: the first word, as written.
  EXPECT_EQ(SplitRunCommand("/nowhere/m /a", exists), (QStringList{"/nowhere/m", "/a"}));
  EXPECT_EQ(SplitRunCommand("\"/nowhere/a b\" /a", exists), (QStringList{"/nowhere/a b", "/a"}));
}

// The Run value written through the registry store starts the program with a launcher that
// follows the XDG rules, whatever its path holds.
TEST(DesktopEntry, RunValueStartsWithADesktopEntryLauncher) {
  KV_REQUIRE_PROGRAM("gio");
  const QString name = "Kel Voro Mirova Calendar";
  const QString desktop = TestRoot() + "/config/autostart/kel-voro-mirova-calendar.desktop";
  const QString log = TestRoot() + "/launched.log";
  // Without '%' the program is started directly, with it through the shell.
  for (const QString& folder : {QString("/odd \"folder\" $HOME `x` back\\slash"), QString("/odd $HOME 100% `x`")}) {
    SCOPED_TRACE(folder.toStdString());
    const QString root = TestRoot() + folder;
    QDir().mkpath(root);
    const QString program =
        WriteStub(root, "mir \"o\" va", "printf '%s\\n' \"$0\" \"$@\" > '" + log.toUtf8() + "'\n");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\" + RunKeyPath(), true));
    reg.WriteString(name, "\"" + program + "\" /a");
    EXPECT_EQ(reg.ReadString(name), "\"" + program + "\" /a");  // reads back as written
    reg.CloseKey();

    const auto args = DesktopExecArguments(UnescapeDesktopString(ExecLineOf(desktop)));
    ASSERT_TRUE(args.has_value()) << ExecLineOf(desktop).toStdString();
    EXPECT_EQ(args->mid(args->size() - 2), (QStringList{program, "/a"}));
    EXPECT_EQ(args->first() == "/bin/sh", folder.contains('%'));

    QFile::remove(log);
    const RunResult run = RunProgram("gio", {"launch", desktop});
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run.err.toStdString();
    for (int i = 0; i < 100 && !QFileInfo::exists(log); ++i) QThread::msleep(50);
    ASSERT_TRUE(QFileInfo::exists(log)) << "the launcher did not start " << program.toStdString();
    QThread::msleep(100);
    EXPECT_EQ(QString::fromUtf8(ReadFile(log)), program + "\n/a\n");
  }

  // An entry written by the older mapping (the command line itself as Exec) reads the same and
  // is rewritten when the value is written again.
  const QString program = TestRoot() + "/odd $HOME 100% `x`/mir \"o\" va";
  WriteFile(desktop, "[Desktop Entry]\nType=Application\nName=x\nExec=\"" + program.toUtf8() +
                         "\" /a\nX-KelVoro-RunValue=" + name.toUtf8() + "\n");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\" + RunKeyPath(), false));
  EXPECT_EQ(reg.ReadString(name), "\"" + program + "\" /a");
  reg.WriteString(name, "\"" + program + "\" /a");
  EXPECT_TRUE(DesktopExecArguments(UnescapeDesktopString(ExecLineOf(desktop))).has_value());
  EXPECT_TRUE(QString::fromUtf8(ReadFile(desktop)).contains("X-KelVoro-RunCommand="));
  EXPECT_TRUE(reg.DeleteValue(name));
  reg.CloseKey();
}
