// The real program meeting faults as a user meets them: a home on a small file system that fills
// up, a home nobody lets it write to, and holidays of the user's own edited after a restart. Each
// failure must be told once, with the system's reason, over the window, and nothing typed may be
// lost without the user being told.
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "calendar/KVXSkinBaseM1.h"
#include "controls/KVNbModule.h"
#include "tests/app/MirovaProgram.h"

using namespace kvtest;

namespace {

// The settings window's controls at a scale of 100 %, from its frame.
const int kTabX[] = {38, 96, 158, 247, 340, 409, 467, 525};
enum TPage { pgCover, pgDiary, pgImages, pgStyle, pgOptions };
const QPoint kOk(590, 459), kDiaryEditor(470, 260), kAddHoliday(570, 80), kSecondHolidayTitle(390, 120);

QString TodayKey() { return QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")); }

template <class Doc>
Doc& LoadDocument(Doc& doc, const QString& file) {
  doc.OnVerify.Set([](TPersistent*, const QString&, bool& accept) { accept = true; });
  doc.LoadFromFile(file);
  return doc;
}

int RunCommand(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(20000)) return -1;
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class FaultsProgram : public TProgramFixture {
 protected:
  bool WaitForSettings(int ms = 10000) {
    settings = WaitForWindow(kMirovaTitle, ms);
    return !settings.isEmpty();
  }
  QPoint At(const QPoint& p) const { return settings.topLeft() + p; }
  void Tab(TPage page) { Click(At(QPoint(kTabX[page], 22)), 900); }
  bool Boxes(int n, int ms = 8000) {
    return WaitUntil([&] { return MessageBoxes() == n; }, ms);
  }
  // One box shows, and no second one follows it; what the program printed by then.
  QString OneBox(TMirova& m) {
    EXPECT_TRUE(Boxes(1)) << m.Output().toStdString();
    QThread::msleep(800);
    EXPECT_EQ(MessageBoxes(), 1);
    return m.Output();
  }
  // The one box's frame.
  QRect Box() {
    for (const QString& id : Windows(kBoxTitle))
      if (const QRect r = Geometry(id); r.size() != QSize(1024, 768)) return r;
    return {};
  }
  // The program keeps everything in the home Home, as it does where the desktop's folders are
  // its defaults; its program folder there gets the image pack (a link when Link).
  void EverythingIn(const QString& Home, bool Link) {
    programDir = Home + "/.local/share/MirovaCalendar";
    ASSERT_TRUE(QDir(programDir).mkpath("."));
    const QString pack = programDir + "/landscapes.mcp";
    ASSERT_TRUE(Link ? QFile::link(QStringLiteral(KV_DEFAULT_PACK), pack) : QFile::copy(QStringLiteral(KV_DEFAULT_PACK), pack));
    env.insert("XDG_CONFIG_HOME", Home + "/.config");
    env.insert("XDG_DATA_HOME", Home + "/.local/share");
    env.insert("XDG_CACHE_HOME", Home + "/.cache");
    env.insert("KV_PROGRAM_DIR", programDir);
    env.insert("TMPDIR", home.Path("cache"));
  }
  QString ExeFile(const QString& name) const { return (programDir.isEmpty() ? home.ExeDir() : programDir) + '/' + name; }

  QRect settings;
  // The program folder the program is given, when not the home's default one.
  QString programDir;
};

// A home of 2 MB: the calendar picture never fits, and the diary stops fitting once the disk fills.
class FullDiskProgram : public FaultsProgram {
 protected:
  void SetUp() override {
    FaultsProgram::SetUp();
    if (HasFatalFailure()) return;
    if (::geteuid() != 0) KV_SKIP_MISSING() << "a small file system for the home is mounted as root";
    KV_REQUIRE_PROGRAM("mount");
    KV_REQUIRE_PROGRAM("umount");
    mounted = home.Path("home");
    ASSERT_EQ(RunCommand("mount", {"-t", "tmpfs", "-o", "size=2m,mode=0755", "tmpfs", mounted}), 0);
    // Everything the program writes lives in that home; the image pack stays outside as a link.
    for (const char* sub : {".config", ".cache", "Documents"}) ASSERT_TRUE(QDir(mounted).mkpath(sub));
    EverythingIn(mounted, true);
  }
  void TearDown() override {
    if (!mounted.isEmpty()) RunCommand("umount", {"-l", mounted});
  }
  // Fills what is left of the disk.
  void FillDisk() {
    QFile filler(mounted + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();
  }
  QString mounted;
};

}  // namespace

// Full disk: the start tells once why the calendar picture cannot be written; OK tells once what
// it could not save and why; Exit asks, and No keeps the program; with room again Exit saves, and
// the next start has what was typed.
TEST_F(FullDiskProgram, OkTellsOnceExitAsksAndWhatWasTypedIsThereAfterARestart) {
  StartTray();
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  const QString startup = OneBox(m);
  EXPECT_TRUE(startup.contains(QRegularExpression("Cannot save [^\\n]*kvmir\\.bmp\\.\\nNo space left on device")))
      << startup.toStdString();
  EXPECT_FALSE(startup.contains("Unknown error"));
  // Over the settings window and inside the screen.
  const QRect box = Box();
  EXPECT_TRUE(settings.contains(box.center())) << box.x() << "," << box.y();
  EXPECT_TRUE(QRect(0, 0, 1024, 768).contains(box));
  Keys({"Return"}, 600);
  ASSERT_TRUE(Boxes(0));

  FillDisk();
  Tab(pgDiary);
  Click(At(kDiaryEditor));
  Type("Typed on a full disk");
  Click(At(kOk), 1200);
  const QString ok = OneBox(m);
  EXPECT_TRUE(ok.contains(QRegularExpression("Cannot save [^\\n]*mdiary\\.dat[^\\n]*\\.\\nNo space left on device")))
      << ok.toStdString();
  EXPECT_FALSE(ok.contains("Error writing to registry"));
  Keys({"Return"}, 1000);
  EXPECT_TRUE(Boxes(0));
  EXPECT_TRUE(WaitUntil([&] { return Windows(kMirovaTitle).isEmpty(); }, 5000));

  // Exit from the tray asks first; Escape answers No and the program keeps running.
  TrayMenu({"Up", "Return"});
  ASSERT_TRUE(Boxes(1)) << m.Output().toStdString();
  Keys({"Escape"}, 1500);
  EXPECT_TRUE(Boxes(0));
  EXPECT_TRUE(m.Running());

  // Room again: Exit saves what OK could not and ends without a question.
  ASSERT_TRUE(QFile::remove(mounted + "/filler"));
  TrayMenu({"Up", "Return"});
  ASSERT_TRUE(m.WaitForExit(10000)) << m.Output().toStdString();
  EXPECT_EQ(m.ExitCode(), 0);
  TMDiaryBase diary;
  LoadDocument(diary, ExeFile("mdiary.dat"));
  ASSERT_EQ(diary.Data().Count(), 1);
  EXPECT_EQ(diary.Data()[0]->idx, TodayKey());
  EXPECT_TRUE(NbPlainText(diary.Data()[0]->Lines).startsWith("Typed on a full disk"));

  // The next start loads it and keeps it.
  TMirova again;
  ASSERT_TRUE(again.Start(env, {"/a"}));
  QThread::msleep(3000);
  EXPECT_TRUE(again.Running()) << again.Output().toStdString();
  again.Signal(SIGTERM);
  ASSERT_TRUE(again.WaitForExit(10000));
  TMDiaryBase kept;
  LoadDocument(kept, ExeFile("mdiary.dat"));
  ASSERT_EQ(kept.Data().Count(), 1);
  EXPECT_TRUE(NbPlainText(kept.Data()[0]->Lines).startsWith("Typed on a full disk"));
}

// A home the user may read but not write: one message naming it, over the window, and no claim
// that reading failed; each OK tells it once more.
TEST_F(FaultsProgram, AReadOnlyHomeIsToldOnceNamingTheFolderAndOncePerOk) {
  if (::geteuid() != 0) KV_SKIP_MISSING() << "the program runs as another user, which root starts";
  KV_REQUIRE_PROGRAM("setpriv");
  const QString h = home.Path("home");
  EverythingIn(h, false);
  // The user "nobody" may pass every folder and read the home; only its runtime and temporary
  // folders are its own.
  for (QString up = QFileInfo(home.Path("")).absolutePath(); up != "/"; up = QFileInfo(up).absolutePath()) {
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(up).constData(), &st), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(up).constData(), st.st_mode | S_IROTH | S_IXOTH), 0) << up.toStdString();
  }
  for (const char* own : {"runtime", "cache"})
    ASSERT_EQ(::chown(QFile::encodeName(home.Path(own)).constData(), 65534, 65534), 0);
  TMirova m;
  ASSERT_TRUE(m.Start(env, {"--reuid=65534", "--regid=65534", "--clear-groups", "--pdeathsig", "KILL", "--",
                            QStringLiteral(KV_MIROVA)},
                      QStringLiteral("setpriv")));
  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  const QString startup = OneBox(m);
  EXPECT_EQ(startup.count("Nothing can be saved in " + h + ".\nPermission denied"), 1) << startup.toStdString();
  EXPECT_FALSE(startup.contains("Error reading from registry"));
  EXPECT_FALSE(startup.contains("Error writing to registry"));
  const QRect box = Box();
  EXPECT_TRUE(settings.contains(box.center())) << box.x() << "," << box.y();
  Keys({"Return"}, 600);
  ASSERT_TRUE(Boxes(0));

  Tab(pgDiary);
  Click(At(kDiaryEditor));
  Type("Read only");
  Click(At(kOk), 1200);
  OneBox(m);
  // Told again by this OK, once.
  EXPECT_EQ(m.Output().count("Nothing can be saved in " + h + "."), 2) << m.Output().toStdString();
  Keys({"Return"}, 800);
  EXPECT_TRUE(Boxes(0));
  EXPECT_TRUE(m.Running());
}

// The user's own holidays stay the user's after a restart: edited then, and kept.
TEST_F(FaultsProgram, AHolidayOfTheUsersOwnIsEditedAfterARestart) {
  {
    TMirova m;
    ASSERT_TRUE(m.Start(env));
    ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
    Tab(pgOptions);
    Click(At(kAddHoliday), 600);
    Click(At(kSecondHolidayTitle), 200);
    Type("Bell Ringing Day");
    Click(At(kOk), 1200);
    m.Signal(SIGTERM);
    ASSERT_TRUE(m.WaitForExit(10000));
  }
  {
    TMirova m;
    ASSERT_TRUE(m.Start(env));
    ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
    Tab(pgOptions);
    Click(At(kSecondHolidayTitle), 200);
    Keys({"ctrl+a"}, 100);
    Type("Bell Ringing Night");
    Click(At(kOk), 1200);
    m.Signal(SIGTERM);
    ASSERT_TRUE(m.WaitForExit(10000));
  }
  TMHolidayBase doc;
  LoadDocument(doc, ExeFile("mholiday.dat"));
  QStringList titles;
  for (int i = 0; i < doc.Data().Count(); ++i) titles << doc.Data()[i]->Title;
  EXPECT_EQ(titles, QStringList({"New Year", "Bell Ringing Night"}));
}
