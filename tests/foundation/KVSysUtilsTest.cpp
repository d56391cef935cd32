#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QScreen>
#include <gtest/gtest.h>

#include "foundation/KVRes.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVLaunch.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"

namespace {

struct Launches {
  QList<QPair<QString, QStringList>> calls;
  QStringList failing;  // programs that "fail to start"
  Launches() {
    SetProgramStarter([this](const QString& p, const QStringList& a) {
      calls.append({p, a});
      return !failing.contains(p);
    });
  }
  ~Launches() { SetProgramStarter({}); }
};

int PressLater(QDialog* d, const std::function<void(QDialog*)>& act) {
  QTimer::singleShot(0, d, [d, act] { act(d); });
  return d->exec();
}

}  // namespace

TEST(KVMessageBox, ButtonSetsComeFromTheLanguageTable) {
  ASSERT_EQ(ButtonsYesNo.size(), 2u);
  EXPECT_EQ(ButtonsYesNo[0].Caption, "Yes");
  EXPECT_EQ(ButtonsYesNo[0].Result, 6);
  EXPECT_EQ(ButtonsYesNo[1].Result, 7);
  EXPECT_EQ(ButtonsOverwriteResumeCancel[1].Caption, "Resume");
  EXPECT_EQ(ButtonsExitInstall[0].Result, 2);
}

TEST(KVMessageBox, LayoutFollowsTextIconAndButtons) {
  QApplication::setApplicationDisplayName("App Title");
  auto d = CreateKVMessageDialog("Short", "", IDI_WARNING_ICON, 1, ButtonsYesNo);
  EXPECT_EQ(d->windowTitle(), "App Title");
  auto* label = d->findChild<QLabel*>("MessageLabel");
  auto* icon = d->findChild<QLabel*>("IconImage");
  auto* b0 = d->findChild<QPushButton*>("Button0");
  auto* b1 = d->findChild<QPushButton*>("Button1");
  ASSERT_TRUE(label && icon && b0 && b1);
  // A one-line text beside the icon is centred on the icon's 32 pixels.
  EXPECT_EQ(label->y() + label->height() / 2, icon->y() + 16 - (32 - label->height()) % 2 / 2);
  EXPECT_GT(label->x(), icon->x() + 32);
  EXPECT_EQ(b0->width(), b1->width());
  EXPECT_EQ(b0->y(), b1->y());
  EXPECT_GE(b0->y(), icon->y() + 32);
  EXPECT_TRUE(b1->isDefault());
  // Buttons are centred as a group.
  EXPECT_EQ(b0->x(), d->width() - (b1->x() + b1->width()));

  // A long caption widens the box; a long message wraps at half the screen.
  auto wide = CreateKVMessageDialog("x", QString(120, 'W'), 0, 0, ButtonsOK);
  EXPECT_GT(wide->width(), QFontMetrics(QApplication::font()).horizontalAdvance(QString(120, 'W')) / 2);
  auto wrapped = CreateKVMessageDialog(QString("word ").repeated(400), "c", 0, 0, ButtonsOK);
  auto* wl = wrapped->findChild<QLabel*>("MessageLabel");
  EXPECT_LE(wl->width(), QApplication::primaryScreen()->geometry().width() / 2);
  EXPECT_GT(wl->height(), 3 * QFontMetrics(QApplication::font()).height());

  // A caption too wide for 75 pixels widens every button equally.
  TKVButtons long_ = {{"A very long button caption indeed", 1}, {"B", 2}};
  auto lb = CreateKVMessageDialog("m", "c", 0, 0, long_);
  auto* l0 = lb->findChild<QPushButton*>("Button0");
  auto* l1 = lb->findChild<QPushButton*>("Button1");
  EXPECT_GT(l0->width(), 75);
  EXPECT_EQ(l0->width(), l1->width());
}

TEST(KVMessageBox, ButtonsEscapeAndCloseBoxResults) {
  auto d1 = CreateKVMessageDialog("q", "c", IDI_QUESTION_ICON, 0, ButtonsYesNo);
  EXPECT_EQ(PressLater(d1.get(), [](QDialog* d) { d->findChild<QPushButton*>("Button1")->click(); }), 7);

  // The close box gives 2, which is neither Yes nor No.
  auto d2 = CreateKVMessageDialog("q", "c", 0, 0, ButtonsYesNo);
  EXPECT_EQ(PressLater(d2.get(), [](QDialog* d) { d->close(); }), 2);

  // With a cancel button Escape presses it.
  TKVButtons set = {{"Go", 1}, {"Stop", 2}};
  auto d3 = CreateKVMessageDialog("q", "c", 0, 0, set);
  EXPECT_EQ(PressLater(d3.get(),
                       [](QDialog* d) {
                         QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                         QApplication::sendEvent(d, &esc);
                       }),
            2);
}

// The keys as a user presses them, on whatever has the box's focus.
int KeysOnBox(const TKVButtons& Buttons, int DefaultIndex, const QList<Qt::Key>& Keys, bool Repeat = false) {
  auto d = CreateKVMessageDialog("Are you sure?", "c", IDI_QUESTION_ICON, DefaultIndex, Buttons);
  return PressLater(d.get(), [Keys, Repeat](QDialog* dlg) {
    for (Qt::Key k : Keys) {
      QWidget* target = dlg->focusWidget() ? dlg->focusWidget() : dlg;
      QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, QString(), Repeat);
      QApplication::sendEvent(target, &press);
      QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier, QString(), Repeat);
      if (dlg->isVisible()) QApplication::sendEvent(target, &release);
      if (!dlg->isVisible()) return;
    }
    // Nothing answered the box.
    dlg->done(99);
  });
}

TEST(KVMessageBox, EscapeIsCancelOrNoAndEnterTheDefaultButton) {
  // A delete confirmation: No is the default.
  EXPECT_EQ(KeysOnBox(ButtonsYesNo, 1, {Qt::Key_Escape}), 7);
  EXPECT_EQ(KeysOnBox(ButtonsYesNo, 1, {Qt::Key_Return}), 7);
  EXPECT_EQ(KeysOnBox(ButtonsYesNo, 0, {Qt::Key_Enter}), 6);
  EXPECT_EQ(KeysOnBox(ButtonsYesNo, 0, {Qt::Key_Escape}), 7);
  // The focus moved to Yes: Enter presses Yes.
  EXPECT_EQ(KeysOnBox(ButtonsYesNo, 1, {Qt::Key_Backtab, Qt::Key_Return}), 6);
  EXPECT_EQ(KeysOnBox(ButtonsYesNoCancel, 0, {Qt::Key_Escape}), 2);
  EXPECT_EQ(KeysOnBox(ButtonsReplaceAppendCancel, 0, {Qt::Key_Escape}), 2);
  // A notice closes with Escape as with its OK.
  EXPECT_EQ(KeysOnBox(ButtonsOK, 0, {Qt::Key_Escape}), 1);
  EXPECT_EQ(KeysOnBox(ButtonsOK, 0, {Qt::Key_Space}), 1);
  // A key held down while the box opened answers nothing.
  EXPECT_EQ(KeysOnBox(ButtonsOK, 0, {Qt::Key_Return, Qt::Key_Space, Qt::Key_Escape}, true), 99);
  EXPECT_EQ(KeysOnBox(ButtonsYesNo, 0, {Qt::Key_Return}, true), 99);
}

TEST(KVMessageBox, ALongFileNameWrapsAndTheBoxStaysOnTheScreenOverItsWindow) {
  const QRect screen = QApplication::primaryScreen()->availableGeometry();
  const QString path = "/home/someone/" + QString("very-long-folder-name/").repeated(40) + "mdiary.dat";
  auto d = CreateKVMessageDialog("Cannot save " + path + ".\nNo space left on device", QString(200, 'W'),
                                 IDI_ERROR_ICON, 0, ButtonsOK);
  auto* label = d->findChild<QLabel*>("MessageLabel");
  ASSERT_TRUE(label);
  EXPECT_LE(label->width(), screen.width() / 2);
  EXPECT_LE(d->width(), screen.width());
  EXPECT_TRUE(screen.contains(d->geometry())) << d->x() << "," << d->y() << " " << d->width();
  // Every character is still there, in order.
  QString shown = label->text();
  shown.remove(QChar(0x200B));
  EXPECT_EQ(shown, "Cannot save " + path + ".\nNo space left on device");
  // The text fits the label it wraps in.
  const QRect needed = QFontMetrics(label->font()).boundingRect(QRect(0, 0, label->width(), 0), Qt::TextWordWrap,
                                                                label->text());
  EXPECT_LE(needed.width(), label->width());
  EXPECT_LE(needed.height(), label->height());

  // Over the active window, not the middle of the screen.
  QWidget window;
  window.setGeometry(screen.left() + 10, screen.top() + 10, 300, 200);
  window.show();
  window.activateWindow();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  auto over = CreateKVMessageDialog("Short", "c", 0, 0, ButtonsOK);
  EXPECT_TRUE(window.frameGeometry().contains(over->geometry().center())) << over->x() << "," << over->y();
  EXPECT_TRUE(screen.contains(over->geometry()));

  // With no window of the program's open, a tray icon's frameless window is no place for it.
  window.hide();
  QWidget icon(nullptr, Qt::Window | Qt::FramelessWindowHint);
  icon.setAttribute(Qt::WA_ShowWithoutActivating);
  icon.setGeometry(screen.left(), screen.top(), 22, 22);
  icon.show();
  QApplication::setActiveWindow(nullptr);
  if (QApplication::activeWindow() == nullptr) {
    auto alone = CreateKVMessageDialog("Short", "c", 0, 0, ButtonsOK);
    const QRect full = QApplication::primaryScreen()->geometry();
    EXPECT_LE(std::abs(alone->geometry().center().x() - full.center().x()), 1) << alone->x();
    EXPECT_LE(std::abs(alone->geometry().center().y() - full.center().y()), 1) << alone->y();
  }
}

TEST(KVMessageBox, AnswererReplacesTheDialog) {
  QString seen;
  SetMessageBoxAnswerer([&](const QString& m, const QString&, int, const TKVButtons&) {
    seen = m;
    return 6;
  });
  EXPECT_EQ(KVMessageBox("Delete?", "", IDI_QUESTION_ICON, 0, ButtonsYesNo), 6);
  EXPECT_EQ(seen, "Delete?");
  SetMessageBoxAnswerer(kvtest::UnexpectedMessageBox);
}

TEST(KVMessageBox, CenterInParentClampsAtZero) {
  QWidget parent;
  parent.resize(100, 50);
  QWidget child(&parent);
  child.resize(40, 80);
  CenterInParent(&child);
  EXPECT_EQ(child.pos(), QPoint(30, 0));
  child.resize(200, 10);
  CenterInParent(&child);
  EXPECT_EQ(child.pos(), QPoint(0, 20));
}

class FoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeFolders();
    dir_ = kvtest::TestRoot() + "/folders/";
    QDir(dir_).removeRecursively();
    QDir().mkpath(dir_);
  }
  QString dir_;
};

TEST_F(FoldersTest, GlobalsEndWithASlash) {
  for (const QString* f : {&MyDocumentsDir, &AppDataDir, &HomeDir, &TempDir, &WindowsDir, &SystemDir,
                           &ProgramFilesDir, &ExeDir})
    EXPECT_TRUE(f->endsWith('/')) << f->toStdString();
  EXPECT_EQ(ExeDir, kvtest::TestRoot() + "/exe/");
  EXPECT_EQ(HomeDir, kvtest::TestRoot() + "/home/");
}

TEST_F(FoldersTest, UniqueNamesCountUp) {
  kvtest::WriteFile(dir_ + "a.txt", "");
  kvtest::WriteFile(dir_ + "a1.txt", "");
  EXPECT_EQ(MakeUniqueFileName(dir_ + "a.txt"), dir_ + "a2.txt");
  EXPECT_EQ(MakeUniqueFileName(dir_ + "b.txt"), dir_ + "b.txt");
  kvtest::WriteFile(dir_ + "noext", "");
  EXPECT_EQ(MakeUniqueFileName(dir_ + "noext"), dir_ + "noext1");
  QDir().mkpath(dir_ + "sub.d");
  EXPECT_EQ(MakeUniqueFileName(dir_ + "sub.d"), dir_ + "sub1.d");
}

TEST_F(FoldersTest, ForceDirsAndWritability) {
  EXPECT_TRUE(ForceDirs(dir_ + "x/y/z/"));
  EXPECT_TRUE(DirExists(dir_ + "x/y/z"));
  EXPECT_TRUE(IsDirWritable(dir_ + "x/y/z"));
  EXPECT_EQ(QDir(dir_ + "x/y/z").entryList(QDir::Files).size(), 0);  // the probe leaves nothing
  kvtest::WriteFile(dir_ + "file", "");
  EXPECT_FALSE(ForceDirs(dir_ + "file/below"));
  EXPECT_FALSE(IsDirWritable(dir_ + "missing"));
}

TEST_F(FoldersTest, ListFilesSkipsFolders) {
  kvtest::WriteFile(dir_ + "one.mcp", "");
  kvtest::WriteFile(dir_ + "TWO.MCP", "");
  kvtest::WriteFile(dir_ + "three.txt", "");
  QDir().mkpath(dir_ + "four.mcp");
  QStringList l{"stale"};
  ListFiles(dir_, "*.mcp", l);
  l.sort();
  EXPECT_EQ(l, QStringList({dir_ + "TWO.MCP", dir_ + "one.mcp"}));
  ListFilesInto(dir_, "*.txt", l);
  EXPECT_EQ(l.size(), 3);
}

TEST_F(FoldersTest, PathMacrosInAnyCase) {
  EXPECT_EQ(ExpandPathMacros("<EXE>Data/"), ExeDir + "Data/");
  EXPECT_EQ(ExpandPathMacros("<tmp>x<MyDoc>"), TempDir + "x" + MyDocumentsDir);
  EXPECT_EQ(ExpandPathMacros("plain"), "plain");
}

TEST_F(FoldersTest, UnwritableTempFallsBackToHomeTemp) {
  const QString locked = kvtest::TestRoot() + "/locked-tmp";
  QDir().mkpath(locked);
  QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
  if (IsDirWritable(locked)) GTEST_SKIP() << "running as root: folder permissions are not enforced";
  const QByteArray old = qgetenv("TMPDIR");
  qputenv("TMPDIR", locked.toUtf8());
  const QString t = GetTempDir();
  qputenv("TMPDIR", old);
  EXPECT_EQ(t, HomeDir + "Temp/");
  EXPECT_TRUE(DirExists(t));
}

TEST(MinimizePath, ShortensTheFolderStepByStep) {
  const QFontMetrics fm(QApplication::font());
  const QString path = "/Alphabet/Bravissimo/Charleston/x.dat";
  const QStringList steps = {path, "/.../Bravissimo/Charleston/x.dat", "/.../Charleston/x.dat", "/.../x.dat",
                             ".../x.dat", "x.dat"};
  for (const QString& s : steps) EXPECT_EQ(MinimizePath(path, fm, fm.horizontalAdvance(s)), s);
  // The name itself is never shortened.
  EXPECT_EQ(MinimizePath(path, fm, 1), "x.dat");
  EXPECT_EQ(MinimizePath("x.dat", fm, 1), "x.dat");
}

TEST(Links, OpenCommandsSplitIntoProgramAndParameters) {
  QString prog, params;
  ASSERT_TRUE(SplitOpenCommand("\"C:\\Program Files\\Web\\web.exe\" -nohome \"%1\"", prog, params));
  EXPECT_EQ(prog, "C:\\Program Files\\Web\\web.exe");
  EXPECT_EQ(params, "-nohome");
  ASSERT_TRUE(SplitOpenCommand("/usr/bin/firefox --new-window %u", prog, params));
  EXPECT_EQ(prog, "/usr/bin/firefox");
  EXPECT_EQ(params, "--new-window");
  EXPECT_FALSE(SplitOpenCommand("   ", prog, params));
}

TEST(Links, OpenURLAndMailUseArgumentVectors) {
  Launches l;
  EXPECT_TRUE(OpenURL("http://example.test/a b", "/opt/web/browser", false));
  ASSERT_EQ(l.calls.size(), 1);
  EXPECT_EQ(l.calls[0].first, "/opt/web/browser");
  EXPECT_EQ(l.calls[0].second, QStringList({"http://example.test/a b"}));

  l.calls.clear();
  BrowserPath.clear();
  EXPECT_TRUE(OpenURL("http://x.test", "", false));
  EXPECT_EQ(l.calls[0].first, "xdg-open");

  l.calls.clear();
  EXPECT_TRUE(SendMailTo("mailto:me@x.test", "", false));
  EXPECT_EQ(l.calls[0].second, QStringList({"mailto:me@x.test"}));
  l.calls.clear();
  EXPECT_TRUE(SendMailTo("me@x.test", "", false));
  EXPECT_EQ(l.calls[0].second, QStringList({"mailto:me@x.test"}));
}

TEST(Links, FailureShowsTheWarningWhenAsked) {
  Launches l;
  l.failing << "xdg-open" << "/bad/browser";
  QString msg, caption;
  SetMessageBoxAnswerer([&](const QString& m, const QString& c, int icon, const TKVButtons&) {
    msg = m;
    caption = c;
    EXPECT_EQ(icon, IDI_WARNING_ICON);
    return 1;
  });
  qputenv("XDG_DATA_DIRS", (kvtest::TestRoot() + "/nowhere").toUtf8());  // no default handler
  EXPECT_FALSE(OpenURL("http://x.test", "/bad/browser", true));
  EXPECT_EQ(msg, "Unable to connect to http://x.test");
  EXPECT_EQ(caption, "Default web browser not found");
  msg.clear();
  EXPECT_FALSE(OpenURL("http://x.test", "/bad/browser", false));
  EXPECT_TRUE(msg.isEmpty());
  EXPECT_FALSE(SendMailTo("a@b", "/bad/browser", true));
  EXPECT_EQ(msg, "Unable to send mail to mailto:a@b");
  SetMessageBoxAnswerer(kvtest::UnexpectedMessageBox);
}

TEST_F(FoldersTest, ShippedPacksAreLinkedOnceAndDeletingALinkKeepsTheShippedFile) {
  const QString share = dir_ + "share/", user = dir_ + "user/";
  ForceDirs(share);
  ForceDirs(user);
  kvtest::WriteFile(share + "landscapes.mcp", "pack");
  kvtest::WriteFile(share + "extra.mlt", "layouts");
  kvtest::WriteFile(share + "notes.txt", "not a pack");
  kvtest::WriteFile(user + "mine.mcp", "the user's own");

  EXPECT_EQ(LinkShippedPacks(share, user), QStringList({"extra.mlt", "landscapes.mcp"}));
  EXPECT_EQ(QFileInfo(user + "landscapes.mcp").symLinkTarget(), share + "landscapes.mcp");
  EXPECT_EQ(kvtest::ReadFile(user + "landscapes.mcp"), "pack");
  EXPECT_FALSE(QFileInfo::exists(user + "notes.txt"));
  EXPECT_TRUE(LinkShippedPacks(share, user).isEmpty());

  // Deleting the set removes the user's link only, and the next start does not bring it back.
  ASSERT_TRUE(QFile::remove(user + "landscapes.mcp"));
  EXPECT_EQ(kvtest::ReadFile(share + "landscapes.mcp"), "pack");
  EXPECT_TRUE(LinkShippedPacks(share, user).isEmpty());
  EXPECT_FALSE(QFileInfo::exists(user + "landscapes.mcp"));

  // A pack shipped later is offered; a file of the user's under a shipped name is kept.
  kvtest::WriteFile(share + "mine.mcp", "shipped");
  kvtest::WriteFile(share + "winter.mcp", "winter");
  EXPECT_EQ(LinkShippedPacks(share, user), QStringList({"winter.mcp"}));
  EXPECT_EQ(kvtest::ReadFile(user + "mine.mcp"), "the user's own");
  ASSERT_TRUE(QFile::remove(user + "mine.mcp"));
  EXPECT_TRUE(LinkShippedPacks(share, user).isEmpty());
}

TEST_F(FoldersTest, ALinkLeftByAMovedInstallPointsAtTheNewOne) {
  const QString oldShare = dir_ + "old/", share = dir_ + "share/", user = dir_ + "user/";
  ForceDirs(oldShare);
  ForceDirs(share);
  ForceDirs(user);
  kvtest::WriteFile(oldShare + "landscapes.mcp", "old");
  kvtest::WriteFile(share + "landscapes.mcp", "new");
  EXPECT_EQ(LinkShippedPacks(oldShare, user), QStringList({"landscapes.mcp"}));
  ASSERT_TRUE(QDir(oldShare).removeRecursively());
  EXPECT_EQ(LinkShippedPacks(share, user), QStringList({"landscapes.mcp"}));
  EXPECT_EQ(kvtest::ReadFile(user + "landscapes.mcp"), "new");
  // Neither the share folder itself nor a missing one gets links.
  EXPECT_TRUE(LinkShippedPacks(share, share).isEmpty());
  EXPECT_TRUE(LinkShippedPacks(QString(), user).isEmpty());
  EXPECT_EQ(QDir(share).entryList(QDir::Files | QDir::Hidden), QStringList({"landscapes.mcp"}));
}
