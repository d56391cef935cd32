// The whole program as a user uses it (tests/app/ProgramUser.h): the real binary driven with the
// mouse and the keyboard, checked by the files in the program folder, the desktop's pixels, the
// windows on the screen and the stored settings.
#include <QDate>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <gtest/gtest.h>
#include <unistd.h>

#include "calendar/KVXSkinBaseM1.h"
#include "controls/KVNbModule.h"
#include "tests/app/ProgramUser.h"
#include "tests/platform/helpers/ProcessTestUtil.h"

using namespace kvtest;

namespace {

const QString& kTitle = kMirovaTitle;
const QSize& kScreen = kUserScreen;
// The settings window's controls.
const QPoint kSearchEdit(118, 224), kDiaryList(160, 300), kPrintDiary(235, 425), kDiaryEditor(470, 260);
const QPoint kCreateSet(490, 74), kAddImage(533, 136), kFrequency(92, 416);
const QPoint kStyleFont(106, 74), kWorkingDaysColor(231, 213), kUndo(550, 425), kShowNotes(550, 400);
const QPoint kAddHoliday(570, 80);
// The day cells of the diary's month calendar (weeks from Monday).
const QPoint kFirstCell(61, 88);
const QSize kCellStep(33, 18);

class WholeProgram : public TProgramUser {
 protected:
  // What a window manager's close box sends: WM_DELETE_WINDOW.
  void CloseBox(const QString& id) {
    Display* dpy = x.Dpy();
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = Window(id.toULong());
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, e.xclient.window, False, NoEventMask, &e);
    XFlush(dpy);
    QThread::msleep(800);
  }

  // The desktop shows the calendar file where no window covers it.
  bool DesktopShowsBackground(const QRect& free, int ms = 8000) {
    return WaitUntil([&] {
      const QImage file = Background();
      return !file.isNull() && MatchRatio(x.Grab(), file, free) > 0.98;
    }, ms);
  }
  // The calendar file was written again (its contents changed from before).
  bool BackgroundChangedFrom(const QImage& before, int ms = 8000) {
    return WaitUntil([&] {
      const QImage now = Background();
      return !now.isNull() && DifferentShare(before, now) > 0.0005;
    }, ms);
  }

  // The diary entries on disk: date key -> plain text.
  QMap<QString, QString> DiaryOnDisk() { return kvtest::DiaryOnDisk(home.ExeDir()); }

  // The diary's calendar cell of a day of the month shown (weeks start on Monday; a month that
  // starts on a Monday begins in the second row).
  QPoint DayCell(const QDate& day) const {
    const QDate first(day.year(), day.month(), 1);
    int offset = first.dayOfWeek() - 1;
    if (offset == 0) offset = 7;
    const int n = offset + day.day() - 1;
    return At(kFirstCell + QPoint((n % 7) * kCellStep.width(), (n / 7) * kCellStep.height()));
  }
};

QString Key(const QDate& d) { return d.toString(QStringLiteral("yyyy/MM/dd")); }

}  // namespace

// 1. A first run with no settings: the calendar becomes the desktop (how soon is printed: on a
// machine shared with other work a time limit would measure the load), the settings window shows
// the Cover page, and the icon is docked in the tray.
TEST_F(WholeProgram, AFirstRunDrawsTheDesktopShowsTheCoverAndDocksInTheTray) {
  StartTray();
  ASSERT_FALSE(QFileInfo::exists(home.Registry()));
  QElapsedTimer clock;
  clock.start();
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(home.Background()).size() > 0; }, 10000)) << m.Output().toStdString();
  const qint64 written = clock.elapsed();
  const QRect free(700, 560, 1200, 500);
  ASSERT_TRUE(DesktopShowsBackground(free, 5000));
  const qint64 shown = clock.elapsed();
  std::printf("calendar written after %lld ms, on the desktop after %lld ms\n", written, shown);
  EXPECT_EQ(Background().size(), kScreen);

  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  // The Cover page: its tab is the raised one, and the page shows the set's cover picture.
  const QImage screen = x.Grab();
  const QRect page(At(QPoint(120, 80)), QSize(400, 260));
  QSet<QRgb> colours;
  for (int y = page.top(); y < page.bottom(); y += 3)
    for (int x0 = page.left(); x0 < page.right(); x0 += 3) colours.insert(screen.pixel(x0, y));
  EXPECT_GT(colours.size(), 200) << "no picture on the page";
  const auto raised = [&](TPage p) { return qGray(screen.pixel(At(QPoint(kTabX[p], 10)))) > 235; };
  EXPECT_TRUE(raised(pgCover));
  EXPECT_FALSE(raised(pgDiary));
  EXPECT_FALSE(TrayIcon().isNull()) << m.Output().toStdString();
  EXPECT_TRUE(m.Running());
}

// 2. An own image set of three pictures, one of them corrupt, changing every hour: OK makes one
// of its pictures the background, and a restart finds the set, its order and its checks.
TEST_F(WholeProgram, AnOwnImageSetIsAppliedAndKeptAfterARestart) {
  const QString pictures = home.Path("home") + "/Pictures";
  QDir().mkpath(pictures);
  const QList<QColor> colours = {QColor(220, 40, 40), QColor(40, 200, 60)};
  for (int i = 0; i < 2; ++i) {
    QImage photo(640, 400, QImage::Format_RGB32);
    photo.fill(colours[i]);
    ASSERT_TRUE(photo.save(pictures + QStringLiteral("/photo%1.png").arg(i + 1)));
  }
  QFile broken(pictures + "/broken.jpg");
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write(QByteArray("\xff\xd8\xff\xe0 this is no picture", 24));
  broken.close();

  {
    TMirova m;
    ASSERT_TRUE(m.Start(env));
    ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
    Tab(pgImages);
    // Create New asks for the set's name.
    Click(At(kCreateSet), 800);
    ASSERT_FALSE(WaitForWindow("Create New Image Set", 5000).isEmpty()) << m.Output().toStdString();
    Type("Holiday");
    Keys({"Return"}, 1200);
    ASSERT_TRUE(QFileInfo::exists(ExeFile("Holiday.mcl"))) << m.Output().toStdString();
    // Add Image opens the file chooser in the Pictures folder; three names at once.
    Click(At(kAddImage), 1200);
    Type("\"photo1.png\" \"broken.jpg\" \"photo2.png\"");
    Keys({"Return"}, 1500);
    // The corrupt one is refused with a warning.
    EXPECT_TRUE(WaitUntil([&] { return MessageBoxes() == 1; }, 5000)) << m.Output().toStdString();
    Keys({"Return"}, 600);
    EXPECT_EQ(MessageBoxes(), 0);
    // Every hour.
    Click(At(kFrequency), 600);
    Keys({"End", "Return"}, 500);
    const QImage before = Background();
    Ok();
    ASSERT_TRUE(SettingsClosed());
    ASSERT_TRUE(BackgroundChangedFrom(before)) << m.Output().toStdString();
    const QColor middle = Background().pixelColor(960, 540);
    EXPECT_TRUE(std::any_of(colours.begin(), colours.end(), [&](const QColor& c) {
      return std::abs(c.red() - middle.red()) < 12 && std::abs(c.green() - middle.green()) < 12 &&
             std::abs(c.blue() - middle.blue()) < 12;
    })) << middle.name().toStdString();
    EXPECT_TRUE(DesktopShowsBackground(QRect(0, 0, 1920, 1080)));
    EXPECT_EQ(Setting("Frequency").toInt(), 3);
    m.Signal(SIGTERM);
    ASSERT_TRUE(m.WaitForExit(10000));
  }
  const QStringList order = QString::fromUtf8(ReadAll(ExeFile("Holiday.mcl"))).split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(order, QStringList({pictures + "/photo1.png", pictures + "/photo2.png"}));
  EXPECT_EQ(QString::fromUtf8(ReadAll(ExeFile("Holiday.sel"))).split("\r\n", Qt::SkipEmptyParts), order);

  // After a restart the set is the program's set: the background is still one of its pictures.
  QFile::remove(home.Background());
  TMirova again;
  ASSERT_TRUE(again.Start(env, {"/a"}));
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(home.Background()).size() > 0; }, 10000));
  const QColor middle = Background().pixelColor(960, 540);
  EXPECT_TRUE(std::any_of(colours.begin(), colours.end(), [&](const QColor& c) {
    return std::abs(c.red() - middle.red()) < 12 && std::abs(c.green() - middle.green()) < 12;
  })) << middle.name().toStdString();
  EXPECT_EQ(Setting("Frequency").toInt(), 3);
  EXPECT_EQ(QString::fromUtf8(ReadAll(ExeFile("Holiday.sel"))).split("\r\n", Qt::SkipEmptyParts), order);
}

// 3. Calendar style with the preview shown: a change, Undo, another change, OK: the desktop shows
// the new style and the registry store holds it.
TEST_F(WholeProgram, AStyleChangedWithThePreviewIsUndoneChangedAgainAndApplied) {
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  const QImage original = Background();
  const QString font = Setting("DayFontName").toString();
  const QString colour = Setting("DayColor").toString();
  const int layout = Setting("LayoutID").toInt();
  Tab(pgStyle);
  ASSERT_TRUE(WaitUntil([&] { return FullScreenViewShown(); }, 5000));
  const QRect free(700, 500, 1200, 560);
  const QImage shownBefore = x.Grab();
  // Another font (from the box's list), the working days' colour from the spectrum, another layout.
  // The family typed whole: a first letter would pick whichever installed family sorts first.
  const auto change = [&](const QString& family, int spectrumX) {
    Click(At(kStyleFont), 900);  // the list opens; the typed name picks, Return takes it
    Type(family);
    Keys({"Return"}, 1000);
    Click(At(kWorkingDaysColor), 300);
    Click(At(QPoint(spectrumX, 395)), 800);
    Click(At(QPoint(535, 138)), 1200);
  };
  change("DejaVu Sans", 300);
  ASSERT_TRUE(WaitUntil([&] { return DifferentShare(shownBefore, x.Grab(), free) > 0.01; }, 5000))
      << "the preview did not change";
  // Undo: the preview is as before.
  Click(At(kUndo), 1500);
  EXPECT_TRUE(WaitUntil([&] { return DifferentShare(shownBefore, x.Grab(), free) < 0.002; }, 5000));
  EXPECT_EQ(Setting("DayFontName").toString(), font);
  change("DejaVu Sans", 420);
  const QImage preview = x.Grab();
  Ok();
  ASSERT_TRUE(SettingsClosed());
  ASSERT_TRUE(BackgroundChangedFrom(original)) << m.Output().toStdString();
  // The desktop shows what the preview showed.
  EXPECT_TRUE(DesktopShowsBackground(QRect(0, 0, 1920, 1080)));
  EXPECT_LT(DifferentShare(preview, x.Grab(), free), 0.01);
  EXPECT_TRUE(Setting("DayFontName").toString().startsWith("DejaVu")) << Setting("DayFontName").toString().toStdString();
  EXPECT_NE(Setting("DayColor").toString(), colour);
  EXPECT_NE(Setting("LayoutID").toInt(), layout);
}

// 4. The diary: entries for today and tomorrow, found by a search and printed to a PDF file; OK
// puts tomorrow's entry in the notes box on the desktop; a restart finds both.
TEST_F(WholeProgram, DiaryEntriesAreFoundPrintedShownOnTheDesktopAndKept) {
  KV_REQUIRE_PROGRAM("pdftotext");
  // With a tray, no box telling that there is none stands over the desktop the test compares.
  StartTray();
  const QDate today = QDate::currentDate(), tomorrow = today.addDays(1);
  {
    TMirova m;
    ASSERT_TRUE(m.Start(env));
    ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
    // The notes box shows the diary and the quick notes.
    Tab(pgStyle);
    Click(At(kShowNotes), 300);
    Keys({"Escape", "Home"}, 800);
    Tab(pgDiary);
    Click(At(kDiaryEditor));
    Type("Tulips planted by the gate");
    Ok();
    ASSERT_TRUE(SettingsClosed());
    ASSERT_TRUE(WaitUntil([&] { return DiaryOnDisk().value(Key(today)).startsWith("Tulips planted"); }))
        << m.Output().toStdString();
    const QImage todayOnly = Background();

    // The tray icon or a second start opens the window again; tomorrow in the calendar.
    TMirova second;
    ASSERT_TRUE(second.Start(env));
    ASSERT_TRUE(second.WaitForExit(10000));
    ASSERT_TRUE(WaitForSettings());
    Tab(pgDiary);
    Click(DayCell(today), 300);
    Keys({"Right"}, 600);
    Click(At(kDiaryEditor));
    Type("Tulips to water tomorrow");
    // Search, then print what was found.
    Click(At(kSearchEdit), 200);
    Type("tulips");
    Keys({"Return"}, 800);
    Click(At(kPrintDiary), 1000);
    const QRect print = WaitForWindow("Print", 5000);
    ASSERT_FALSE(print.isEmpty());
    // Printer Setup: the program's printer becomes a PDF file in the home folder.
    Click(print.topLeft() + QPoint(212, 50), 1500);
    ASSERT_EQ(Windows("Print").size(), 2);
    Keys({"Return"}, 1000);
    ASSERT_EQ(Windows("Print").size(), 1);
    // Scope: what was found (the last choice), then Print.
    Click(print.topLeft() + QPoint(140, 90), 500);
    Keys({"End", "Return"}, 500);
    const QString pdf = home.Path("home") + "/print.pdf";
    QFile::remove(pdf);
    Click(print.topLeft() + QPoint(141, 298), 1500);
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo(pdf).size() > 0; }, 10000)) << m.Output().toStdString();
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    text.waitForFinished(10000);
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(printed.contains("Tulips planted by the gate")) << printed.toStdString();
    EXPECT_TRUE(printed.contains("Tulips to water tomorrow")) << printed.toStdString();

    Ok();
    ASSERT_TRUE(SettingsClosed());
    ASSERT_TRUE(WaitUntil([&] { return DiaryOnDisk().size() == 2; }));
    // Tomorrow's entry is drawn in the notes box: the desktop changed there and only there.
    ASSERT_TRUE(BackgroundChangedFrom(todayOnly));
    EXPECT_TRUE(DesktopShowsBackground(QRect(0, 0, 1920, 1080)));
    const QImage both = Background();
    const QRect notesBox(1480, 150, 400, 550);
    EXPECT_GT(DifferentShare(todayOnly, both, notesBox), 0.002);
    m.Signal(SIGTERM);
    ASSERT_TRUE(m.WaitForExit(10000));
  }
  const QMap<QString, QString> entries = DiaryOnDisk();
  EXPECT_TRUE(entries.value(Key(today)).startsWith("Tulips planted by the gate"));
  EXPECT_TRUE(entries.value(Key(tomorrow)).startsWith("Tulips to water tomorrow"));

  // After a restart the search finds both: the list shows two entries.
  TMirova again;
  ASSERT_TRUE(again.Start(env));
  ASSERT_TRUE(WaitForSettings());
  Tab(pgDiary);
  Click(At(kSearchEdit), 200);
  Type("tulips");
  Keys({"Return"}, 800);
  // The list holds a second entry: a click on its line selects it.
  Click(At(QPoint(160, 295)), 600);
  const QRgb second = x.Grab().pixel(At(QPoint(25, 295)));
  EXPECT_GT(qBlue(second), qRed(second) + 60) << "no second entry listed";
}

// 5. Quick notes from the tray menu: typed, OK, on the desktop.
TEST_F(WholeProgram, QuickNotesTypedFromTheTrayAreOnTheDesktop) {
  StartTray();
  TMirova m;
  ASSERT_TRUE(m.Start(env, {"/a"}));
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(home.Background()).size() > 0; }, 10000));
  ASSERT_FALSE(TrayIcon().isNull());
  const QImage before = Background();
  TrayMenu({"Down", "Return"});
  const QRect notes = WaitForWindow("Quick Notes", 5000);
  ASSERT_FALSE(notes.isEmpty()) << m.Output().toStdString();
  Click(notes.topLeft() + QPoint(180, 150));
  Type("Call the plumber at nine");
  Click(notes.topLeft() + QPoint(229, notes.height() - 18), 1000);
  EXPECT_TRUE(WaitUntil([&] { return Windows("Quick Notes").isEmpty(); }, 5000));
  ASSERT_TRUE(BackgroundChangedFrom(before)) << m.Output().toStdString();
  EXPECT_TRUE(DesktopShowsBackground(QRect(0, 30, 1920, 1050)));
  EXPECT_TRUE(QFileInfo(ExeFile("mnotes.dat")).size() > 0);

  // Hide Notes in the tray menu (Quick Notes, Diary, Hide Notes) takes the notes box off the
  // desktop, and again brings it back.
  const QImage withNotes = Background();
  const QRect notesBox(1480, 150, 400, 550);
  TrayMenu({"Down", "Down", "Down", "Return"});
  ASSERT_TRUE(BackgroundChangedFrom(withNotes));
  EXPECT_GT(DifferentShare(withNotes, Background(), notesBox), 0.2);
  EXPECT_TRUE(DesktopShowsBackground(QRect(0, 30, 1920, 1050)));
  EXPECT_EQ(Setting("ShowNotes").toInt(), 0);
  const QImage withoutNotes = Background();
  TrayMenu({"Down", "Down", "Down", "Return"});
  ASSERT_TRUE(BackgroundChangedFrom(withoutNotes));
  EXPECT_LT(DifferentShare(withNotes, Background()), 0.0005);
  EXPECT_EQ(Setting("ShowNotes").toInt(), 1);
  EXPECT_TRUE(m.Running());
}

// The tray menu's Hide Desktop Icons covers the desktop with the calendar; Esc, or the view's own
// menu, gives the desktop back. Help in the tray menu opens the settings window on its Help page.
TEST_F(WholeProgram, TheTrayHidesTheIconsTheViewGivesThemBackAndOpensHelp) {
  StartTray();
  TMirova m;
  ASSERT_TRUE(m.Start(env, {"/a"}));
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(home.Background()).size() > 0; }, 10000));
  ASSERT_FALSE(TrayIcon().isNull()) << m.Output().toStdString();
  // Quick Notes, Diary, Hide Notes, Hide Desktop Icons (Edit Reminders is disabled: nothing stored).
  TrayMenu({"Down", "Down", "Down", "Down", "Return"});
  ASSERT_TRUE(WaitUntil([&] { return FullScreenViewShown(); }, 5000)) << m.Output().toStdString();
  EXPECT_TRUE(WaitUntil([&] { return MatchRatio(x.Grab(), Background(), QRect(0, 40, 1920, 1040)) > 0.98; }, 5000));
  Keys({"Escape"}, 800);
  EXPECT_TRUE(WaitUntil([&] { return !FullScreenViewShown(); }, 5000));

  TrayMenu({"Down", "Down", "Down", "Down", "Return"});
  ASSERT_TRUE(WaitUntil([&] { return FullScreenViewShown(); }, 5000));
  Xdo({"mousemove", "900", "500", "click", "3"});
  QThread::msleep(700);
  Keys({"Down", "Return"}, 800);
  EXPECT_TRUE(WaitUntil([&] { return !FullScreenViewShown(); }, 5000));
  EXPECT_TRUE(m.Running());

  // Help is the third item from the bottom (Exit, About, Help).
  TrayMenu({"Up", "Up", "Up", "Return"});
  ASSERT_TRUE(WaitForSettings(5000)) << m.Output().toStdString();
  const QImage screen = x.Grab();
  EXPECT_GT(qGray(screen.pixel(At(QPoint(kTabX[pgHelp], 10)))), 235);
  EXPECT_LT(qGray(screen.pixel(At(QPoint(kTabX[pgCover], 10)))), 235);
}

// The window's close box on the Diary page is OK: what was typed is saved, the window closes and
// the program stays in the tray.
TEST_F(WholeProgram, TheCloseBoxSavesAndTheProgramStays) {
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  Tab(pgDiary);
  Click(At(kDiaryEditor));
  Type("Closed with the box");
  const QStringList ids = Windows(kTitle);
  ASSERT_EQ(ids.size(), 1);
  CloseBox(ids[0]);
  EXPECT_TRUE(SettingsClosed());
  EXPECT_TRUE(WaitUntil([&] { return DiaryOnDisk().value(Key(QDate::currentDate())).startsWith("Closed with the box"); }))
      << m.Output().toStdString();
  EXPECT_GT(Setting("DiarySplit").toInt(), 0);
  EXPECT_TRUE(m.Running());
  // A later start finds it running and opens its window again.
  TMirova second;
  ASSERT_TRUE(second.Start(env));
  ASSERT_TRUE(second.WaitForExit(10000));
  EXPECT_TRUE(WaitForSettings(5000));
}

// A start at log-on ("/a") runs the one start-up action the user chose, or none.
TEST_F(WholeProgram, AStartAtLogOnRunsTheChosenStartUpAction) {
  const auto start = [&](const char* flag) {
    QJsonObject values;
    for (const char* name : {"StartupHideIcons", "StartupOpenDiary", "StartupOpenQuickNotes"})
      values[name] = QJsonObject{{"type", "dword"}, {"data", QString(flag) == name ? 1 : 0}};
    QJsonObject key{{"keys", QJsonObject()}, {"values", values}};
    for (const char* part : {"Mirova Calendar", "Kel Voro", "Software"})
      key = QJsonObject{{"keys", QJsonObject{{part, key}}}, {"values", QJsonObject()}};
    QDir().mkpath(QFileInfo(home.Registry()).path());
    QFile f(home.Registry());
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(QJsonDocument(key).toJson());
  };
  const auto run = [&](const char* flag, const std::function<void(TMirova&)>& check) {
    start(flag);
    QFile::remove(home.Background());
    TMirova m;
    ASSERT_TRUE(m.Start(env, {"/a"}));
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo(home.Background()).size() > 0; }, 10000));
    check(m);
    m.Signal(SIGTERM);
    ASSERT_TRUE(m.WaitForExit(10000));
  };
  run("StartupOpenQuickNotes", [&](TMirova& m) {
    EXPECT_FALSE(WaitForWindow("Quick Notes", 5000).isEmpty()) << m.Output().toStdString();
    EXPECT_TRUE(Windows(kTitle).isEmpty());
  });
  run("StartupOpenDiary", [&](TMirova& m) { EXPECT_TRUE(WaitForSettings(5000)) << m.Output().toStdString(); });
  run("StartupHideIcons", [&](TMirova& m) {
    EXPECT_TRUE(WaitUntil([&] { return FullScreenViewShown(); }, 5000)) << m.Output().toStdString();
    EXPECT_TRUE(Windows(kTitle).isEmpty());
  });
  run("", [&](TMirova&) {
    QThread::msleep(1500);
    EXPECT_TRUE(Windows(kTitle).isEmpty());
    EXPECT_TRUE(Windows("Quick Notes").isEmpty());
    EXPECT_FALSE(FullScreenViewShown());
  });
}

// 6. A holiday for tomorrow: drawn after OK, still there after a restart.
TEST_F(WholeProgram, AHolidayForTomorrowIsDrawnAndKept) {
  const QString name = QStringLiteral("Bell Ringing Day");
  QImage drawn;
  StartTray();  // no box for the missing tray over the desktop
  {
    TMirova m;
    ASSERT_TRUE(m.Start(env));
    ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
    const QImage before = Background();
    Tab(pgOptions);
    Click(At(kAddHoliday), 600);
    // The new row's date: its calendar, one day on.
    Click(At(QPoint(131, 120)), 600);
    Keys({"Right", "Return"}, 400);
    Click(At(QPoint(390, 120)), 200);
    Type(name);
    Ok();
    ASSERT_TRUE(SettingsClosed());
    ASSERT_TRUE(BackgroundChangedFrom(before)) << m.Output().toStdString();
    EXPECT_TRUE(DesktopShowsBackground(QRect(0, 0, 1920, 1080)));
    drawn = Background();
    m.Signal(SIGTERM);
    ASSERT_TRUE(m.WaitForExit(10000));
  }
  TMHolidayBase doc;
  doc.OnVerify.Set([](TPersistent*, const QString&, bool& accept) { accept = true; });
  doc.LoadFromFile(ExeFile("mholiday.dat"));
  bool found = false;
  for (int i = 0; i < doc.Data().Count(); ++i)
    found |= doc.Data()[i]->Title == name && doc.Data()[i]->idx == Key(QDate::currentDate().addDays(1));
  EXPECT_TRUE(found);

  QFile::remove(home.Background());
  TMirova again;
  ASSERT_TRUE(again.Start(env, {"/a"}));
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo(home.Background()).size() > 0; }, 10000));
  EXPECT_LT(DifferentShare(drawn, Background()), 0.0005);
}

// 7. The session ends (SIGTERM) while the diary and the quick notes hold text nobody confirmed:
// both are on disk.
TEST_F(WholeProgram, LoggingOffWithUnsavedTextLosesNothing) {
  TMirova m;
  ASSERT_TRUE(m.Start(env));
  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  Tab(pgDiary);
  Click(At(kDiaryEditor));
  Type("Half a thought before the bus");
  Click(At(QPoint(504, 459)), 800);  // Quick Notes
  const QRect notes = WaitForWindow("Quick Notes", 5000);
  ASSERT_FALSE(notes.isEmpty());
  Click(notes.topLeft() + QPoint(180, 150));
  Type("Buy stamps");
  m.Signal(SIGTERM);
  ASSERT_TRUE(m.WaitForExit(10000));
  EXPECT_EQ(m.ExitCode(), 0) << m.Output().toStdString();
  EXPECT_TRUE(DiaryOnDisk().value(Key(QDate::currentDate())).startsWith("Half a thought before the bus"));
  TMNotesBase doc;
  doc.OnVerify.Set([](TPersistent*, const QString&, bool& accept) { accept = true; });
  doc.LoadFromFile(ExeFile("mnotes.dat"));
  EXPECT_TRUE(NbPlainText(doc.QuickNote.Text()).contains("Buy stamps")) << doc.QuickNote.Text().toStdString();
}

// 8. A program folder nobody may write to: each save that fails is told once, OK and Exit still
// complete, and the program keeps running in between.
TEST_F(WholeProgram, AReadOnlyProgramFolderIsReportedOnceAndOkAndExitComplete) {
  StartTray();
  TMirova m;
  const QString dir = home.ExeDir();
  if (::geteuid() == 0) {
    // The superuser writes anywhere: the program runs as the unprivileged user "nobody", for whom
    // the folder is read-only.
    KV_REQUIRE_PROGRAM("setpriv");
    ASSERT_TRUE(home.GiveToUserWithReadOnlyProgramFolder(65534, 65534));
    ASSERT_TRUE(m.Start(env, {"--reuid=65534", "--regid=65534", "--clear-groups", "--pdeathsig", "KILL", "--",
                              QStringLiteral(KV_MIROVA)},
                        QStringLiteral("setpriv")));
  } else {
    ASSERT_TRUE(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
    ASSERT_TRUE(m.Start(env));
  }
  // The set's thumbnail cache cannot be made: that is told once while the program starts.
  ASSERT_TRUE(WaitUntil([&] { return MessageBoxes() == 1; }, 10000)) << m.Output().toStdString();
  Keys({"Return"}, 800);
  ASSERT_TRUE(WaitForSettings()) << m.Output().toStdString();
  EXPECT_EQ(MessageBoxes(), 0);
  ASSERT_FALSE(QFileInfo::exists(home.Background()));
  Tab(pgDiary);
  Click(At(kDiaryEditor));
  Type("Kept in memory");
  Ok();
  // One report for everything OK could not save, then the window closes.
  ASSERT_TRUE(WaitUntil([&] { return MessageBoxes() == 1; }, 5000)) << m.Output().toStdString();
  Keys({"Return"}, 1500);
  EXPECT_EQ(MessageBoxes(), 0);
  EXPECT_TRUE(SettingsClosed());
  EXPECT_TRUE(m.Running());
  // The calendar went to the documents folder instead.
  EXPECT_TRUE(WaitUntil([&] {
    return QFileInfo(home.Path("home") + "/Documents/kvmir.bmp").size() > 0 ||
           QFileInfo(home.Path("home") + "/kvmir.bmp").size() > 0;
  }, 5000));

  // Open again from the tray (a click), then Exit from its menu: OK runs, and what it could not
  // save is told once, in the question whether to end all the same; Yes ends the program.
  const QPoint icon = TrayIcon();
  ASSERT_FALSE(icon.isNull());
  Click(icon, 1200);
  ASSERT_TRUE(WaitForSettings(5000));
  TrayMenu({"Up", "Return"});
  ASSERT_TRUE(WaitUntil([&] { return MessageBoxes() == 1; }, 5000)) << m.Output().toStdString();
  Keys({"shift+Tab", "Return"}, 500);
  ASSERT_TRUE(m.WaitForExit(10000)) << m.Output().toStdString();
  EXPECT_EQ(m.ExitCode(), 0);
  EXPECT_FALSE(QFileInfo::exists(ExeFile("mdiary.dat")));
}
