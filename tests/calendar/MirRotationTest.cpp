#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <deque>
#include <memory>
#include <stdexcept>

#include "calendar/MirRotation.h"
#include "foundation/KVSaveReport.h"
#include "calendar/iniData.h"
#include "foundation/KVPicture.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVTypes.h"
#include "foundation/KVXSkinBase.h"
#include "tests/common/DesktopTestUtil.h"
#include "tests/common/FormTestKit.h"

using namespace kvtest;

namespace {

class CountingTini : public Tini {
 public:
  int saves = 0;
  void SaveSettings() override {
    ++saves;
    Tini::SaveSettings();
  }
};

// A wall clock and a monotonic clock that move together unless the wall clock is set.
struct FakeClock {
  QTimeZone zone = QTimeZone::utc();
  qint64 wall = 0;
  qint64 mono = 5'000'000;
  QDateTime Now() const { return QDateTime::fromMSecsSinceEpoch(wall, zone); }
  void Pass(const QDateTime& t) {
    mono += t.toMSecsSinceEpoch() - wall;
    wall = t.toMSecsSinceEpoch();
  }
  // The clock is set to t while one tick interval passes.
  void Set(const QDateTime& t) {
    mono += kAppTimerInterval;
    wall = t.toMSecsSinceEpoch();
  }
};

// The main window as the rotation sees it, with a renderer that draws a new pattern each time.
struct FakeWindow {
  bool busy = false, fullScreen = false, settings = false;
  int count = 3;
  int drops = 0, renders = 0, releases = 0, dirtyClears = 0, holidayRebuilds = 0;
  QSize screen{64, 40};
  QImage preview;
  QImage drawn;  // the last drawing, kept when the preview is released
  QDate lastRender;
  std::deque<int> randoms;
  int randomCalls = 0;
  QStringList applied, reports;
  TDesktopStatus status;
  std::function<void()> duringRender;
};

QDateTime At(int y, int m, int d, int h = 12, int mi = 0, int s = 0) { return QDateTime(QDate(y, m, d), QTime(h, mi, s)); }

class RotationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QFile::remove(TestRoot() + "/config/KelVoro/registry.json");
    RegistryStore::ResetAll();
    SetMessageBoxAnswerer([](const QString&, const QString&, int, const TKVButtons&) { return 1; });
    InitializeFolders();
    QFile::remove(ExeDir + kBackgroundFileName);
    QFile::remove(MyDocumentsDir + kBackgroundFileName);
    ini.Frequency = 2;
    ini.LastChange = 1;
    ini.ImageIndex = 0;
    ini.RandomImages = false;
  }
  void TearDown() override {
    SetMessageBoxAnswerer(kvtest::UnexpectedMessageBox);
    InitializeFolders();
  }

  TMirRotationHooks Hooks() {
    TMirRotationHooks h;
    h.Now = [this] { return clock.Now(); };
    h.MonotonicMSecs = [this] { return clock.mono; };
    h.Random = [this](int n) {
      ++win.randomCalls;
      if (win.randoms.empty()) return 0;
      const int v = win.randoms.front();
      win.randoms.pop_front();
      EXPECT_LT(v, n);
      return v;
    };
    h.Busy = [this] { return win.busy; };
    h.FullScreenVisible = [this] { return win.fullScreen; };
    h.SettingsVisible = [this] { return win.settings; };
    h.UsedImageCount = [this] { return win.count; };
    h.DropPicture = [this] { ++win.drops; };
    h.RenderCalendar = [this](bool) {
      if (win.busy) return;
      ++win.renders;
      if (win.duringRender) win.duringRender();
      win.preview = PatternImage(win.screen.width(), win.screen.height(), win.renders)
                        .convertToFormat(QImage::Format_BGR888);
      win.drawn = win.preview;
      win.lastRender = CurrentDate;
    };
    h.LastRenderDate = [this] { return win.lastRender; };
    h.PreviewBitmap = [this] { return win.preview; };
    h.ReleasePreview = [this] {
      ++win.releases;
      win.preview = QImage();
    };
    h.ClearDirty = [this] { ++win.dirtyClears; };
    h.RebuildHolidayIndex = [this] { ++win.holidayRebuilds; };
    h.SetDesktopBackground = [this](const QString& file) {
      win.applied << file;
      return win.status;
    };
    h.Report = [this](const QString& m) { win.reports << m; };
    return h;
  }

  // A rotation whose first tick (at start) has drawn and applied, with the counters cleared.
  std::unique_ptr<TMirRotation> Started(const QDateTime& start, int firstDayOfWeek = 2) {
    Clear();
    auto r = std::make_unique<TMirRotation>(ini, Hooks());
    r->FirstDayOfWeek = firstDayOfWeek;
    clock.Pass(start);
    r->AppTimerTimer();
    startSaves = ini.saves;
    Clear();
    return r;
  }
  void Clear() {
    ini.saves = 0;
    win.drops = win.renders = win.releases = win.dirtyClears = win.holidayRebuilds = win.randomCalls = 0;
    win.applied.clear();
    win.reports.clear();
  }
  void Tick(TMirRotation& r, const QDateTime& t) {
    clock.Pass(t);
    r.AppTimerTimer();
  }
  // Nothing happened: no save, no drawing, no file, no desktop.
  void ExpectIdle(const char* where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(ini.saves, 0);
    EXPECT_EQ(win.renders, 0);
    EXPECT_EQ(win.drops, 0);
    EXPECT_TRUE(win.applied.isEmpty());
  }

  CountingTini ini;
  int startSaves = 0;
  FakeClock clock;
  FakeWindow win;
};

// ---------------------------------------------------------------------------------------------

TEST(RotationPeriods, WeeksStartOnTheGivenDayAndStampsRoundTrip) {
  // 2024-01-07 is a Sunday; 1 = Sunday .. 7 = Saturday.
  for (int fdow = 1; fdow <= 7; ++fdow) {
    SCOPED_TRACE(fdow);
    const QDate first = QDate(2024, 1, 6).addDays(fdow);
    ASSERT_EQ(DayOfWeekSundayFirst(first), fdow);
    const qint64 week = RotationPeriod(1, first, 0, fdow);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(RotationPeriod(1, first.addDays(i), 23, fdow), week);
    EXPECT_NE(RotationPeriod(1, first.addDays(-1), 0, fdow), week);
    EXPECT_NE(RotationPeriod(1, first.addDays(7), 0, fdow), week);
  }
  EXPECT_NE(RotationPeriod(0, QDate(2024, 3, 1), 0, 1), RotationPeriod(0, QDate(2025, 3, 1), 0, 1));
  EXPECT_NE(RotationPeriod(0, QDate(2024, 12, 31), 0, 1), RotationPeriod(0, QDate(2025, 1, 1), 0, 1));
  EXPECT_NE(RotationPeriod(3, QDate(2024, 3, 5), 5, 1), RotationPeriod(3, QDate(2024, 3, 6), 5, 1));
  EXPECT_EQ(RotationPeriod(7, QDate(2024, 3, 5), 5, 1), -1);
  EXPECT_EQ(RotationUnit(0, QDate(2024, 3, 5), 7), 3);
  EXPECT_EQ(RotationUnit(1, QDate(2024, 3, 5), 7), 5);
  EXPECT_EQ(RotationUnit(3, QDate(2024, 3, 5), 7), 7);

  EXPECT_EQ(LocaleFirstDayOfWeek(QLocale(QLocale::English, QLocale::UnitedStates)), 1);
  EXPECT_EQ(LocaleFirstDayOfWeek(QLocale(QLocale::German, QLocale::Germany)), 2);

  EXPECT_EQ(FormatChangeTime(At(2024, 3, 5, 7, 8, 9)), "2024-03-05T07:08:09");
  const auto t = ParseChangeTime("2024-03-05T07:08:09");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->Date, QDate(2024, 3, 5));
  EXPECT_EQ(t->Hour, 7);
  for (const char* bad : {"", "2024-03-05", "2024-13-05T07:08:09", "2024-03-05 07:08:09", "2024-03-05T25:00:00"})
    EXPECT_FALSE(ParseChangeTime(bad)) << bad;
}

TEST_F(RotationTest, MonthlyChangesOnceAMonthAcrossYearsAndKeepsLastChangeAsTheMonth) {
  ini.Frequency = 0;
  ini.LastChange = 1;  // a first start: no time of a last change yet
  auto r = Started(At(2024, 1, 20));
  EXPECT_EQ(startSaves, 0) << "January with LastChange 1";
  EXPECT_EQ(ini.LastChange, 1);
  EXPECT_EQ(ini.ImageIndex, 0);

  Tick(*r, At(2024, 2, 1, 0, 0, 5));
  EXPECT_EQ(ini.LastChange, 2);
  EXPECT_EQ(ini.ImageIndex, 1);
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(win.applied.size(), 1);
  Clear();
  Tick(*r, At(2024, 2, 1, 0, 0, 15));
  ExpectIdle("later in February");

  // December to January of the next year.
  ini.LastChange = 12;
  ini.LastChangeTime = "2024-12-01T00:00:05";
  Tick(*r, At(2024, 12, 31, 23, 59, 55));
  EXPECT_EQ(ini.saves, 0) << "December";
  Tick(*r, At(2025, 1, 1, 0, 0, 5));
  EXPECT_EQ(ini.LastChange, 1);
  EXPECT_EQ(ini.saves, 1);

  // Started again in the same month a year later: a new period, though the month number agrees.
  Clear();
  ini.LastChange = 3;
  ini.LastChangeTime = "2025-03-10T09:00:00";
  Tick(*r, At(2026, 3, 2));
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(ini.LastChange, 3);
  EXPECT_EQ(ini.LastChangeTime, "2026-03-02T12:00:00");
}

TEST_F(RotationTest, WeeklyChangesAtTheStartOfEachWeekForEveryFirstDayOfTheWeek) {
  ini.Frequency = 1;
  for (int fdow = 1; fdow <= 7; ++fdow) {
    SCOPED_TRACE(fdow);
    const QDate first = QDate(2024, 1, 6).addDays(fdow);  // that weekday, 7 .. 13 January
    ini.LastChange = 1;
    ini.LastChangeTime.clear();
    ini.ImageIndex = 0;
    auto r = Started(QDateTime(first.addDays(-1), QTime(23, 59, 55)), fdow);
    EXPECT_EQ(startSaves, 0);

    Tick(*r, QDateTime(first, QTime(0, 0, 5)));
    EXPECT_EQ(ini.saves, 1);
    EXPECT_EQ(ini.LastChange, first.day());
    EXPECT_EQ(ini.ImageIndex, 1);
    Clear();
    for (int d = 0; d < 7; ++d) Tick(*r, QDateTime(first.addDays(d), QTime(18, 0)));
    EXPECT_EQ(ini.saves, 0) << "no other change within the week";
    Tick(*r, QDateTime(first.addDays(7), QTime(0, 0, 5)));
    EXPECT_EQ(ini.saves, 1);
    EXPECT_EQ(ini.LastChange, first.addDays(7).day());
    EXPECT_EQ(ini.ImageIndex, 2);
  }
}

TEST_F(RotationTest, WeeklyWithoutAKnownTimeWaitsForTheFirstDayButFullDatesCatchMissedWeeks) {
  ini.Frequency = 1;
  // As an older version left it: only the day number, Monday the 5th of February.
  ini.LastChange = 5;
  auto r = Started(At(2024, 2, 7));  // Wednesday
  EXPECT_EQ(startSaves, 0) << "without the time of the last change, only the first day counts";
  Tick(*r, At(2024, 2, 12, 0, 0, 5));  // Monday
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(ini.LastChange, 12);

  // A Monday six months on with the same day number: a new week all the same.
  Clear();
  ini.LastChange = 5;
  ini.LastChangeTime = "2024-02-05T08:00:00";
  Tick(*r, At(2024, 8, 5, 8, 0));
  EXPECT_EQ(ini.saves, 1);

  // The machine was off on Monday: the first tick of the week changes the picture.
  Clear();
  Tick(*r, At(2024, 8, 14, 9, 0));  // Wednesday of the next week
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(ini.LastChange, 14);
  Clear();
  Tick(*r, At(2024, 8, 18, 9, 0));  // Sunday, same week
  EXPECT_EQ(ini.saves, 0);
}

TEST_F(RotationTest, DailyUsesFullDatesAndRedrawsAtMidnight) {
  ini.Frequency = 2;
  ini.LastChange = 5;
  ini.LastChangeTime = "2024-03-05T10:00:00";
  auto r = Started(At(2024, 3, 5, 23, 59, 45));
  EXPECT_EQ(startSaves, 0);
  Tick(*r, At(2024, 3, 5, 23, 59, 55));
  ExpectIdle("same day");
  Tick(*r, At(2024, 3, 6, 0, 0, 5));
  EXPECT_EQ(ini.LastChange, 6);
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(win.applied, QStringList{ExeDir + "kvmir.bmp"});

  // A month later on the same day number.
  Clear();
  ini.LastChangeTime = "2024-03-06T00:00:05";
  r.reset();
  r = Started(At(2024, 4, 6, 9, 0));
  EXPECT_EQ(startSaves, 1);
  EXPECT_EQ(ini.LastChange, 6);
  EXPECT_EQ(ini.LastChangeTime, "2024-04-06T09:00:00");
  EXPECT_EQ(ini.ImageIndex, 2);
}

TEST_F(RotationTest, HourlyLeftOverDayNumberAndSameHourOnAnotherDay) {
  ini.Frequency = 3;
  ini.LastChange = 5;  // left over from a daily setting on the 5th
  ini.LastChangeTime = "2024-03-05T00:00:03";
  auto r = Started(At(2024, 3, 5, 5, 10));
  EXPECT_EQ(startSaves, 0) << "the first tick in hour 5 changes nothing";
  Tick(*r, At(2024, 3, 5, 5, 59, 55));
  EXPECT_EQ(ini.saves, 0);
  Tick(*r, At(2024, 3, 5, 6, 0, 5));
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(ini.LastChange, 6);
  EXPECT_EQ(ini.ImageIndex, 1);
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(win.applied.size(), 1);

  // The machine slept from 06:10 until 06:20 the next day: the same hour, another period.
  Clear();
  Tick(*r, At(2024, 3, 5, 6, 10));
  EXPECT_EQ(ini.saves, 0);
  Tick(*r, At(2024, 3, 6, 6, 20));
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(ini.LastChange, 6);
  EXPECT_EQ(ini.ImageIndex, 2);
}

TEST_F(RotationTest, HourlyAcrossDaylightSavingChangesIsNoClockChange) {
  const QTimeZone berlin("Europe/Berlin");
  ASSERT_TRUE(berlin.isValid());
  clock.zone = berlin;
  ini.Frequency = 3;
  ini.LastChange = 1;
  const auto berlinAt = [&](const char* utc) {
    return QDateTime::fromString(QString::fromLatin1(utc), Qt::ISODate).toTimeZone(berlin);
  };
  // Spring: 01:59:55 CET is followed by 03:00:05 CEST.
  auto r = Started(berlinAt("2024-03-31T00:59:45Z"));
  EXPECT_EQ(clock.Now().time().hour(), 1);
  EXPECT_EQ(startSaves, 0);
  Tick(*r, berlinAt("2024-03-31T00:59:55Z"));
  EXPECT_EQ(ini.saves, 0);
  Tick(*r, berlinAt("2024-03-31T01:00:05Z"));
  EXPECT_EQ(clock.Now().time().hour(), 3);
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(ini.LastChange, 3);
  EXPECT_EQ(win.holidayRebuilds, 0) << "a new offset is not a set clock";
  EXPECT_EQ(win.renders, 1);

  // Autumn: 02:59:55 CEST is followed by 02:00:05 CET, the same hour on the clock again.
  Clear();
  Tick(*r, berlinAt("2024-10-27T00:30:00Z"));  // 02:30 CEST
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(ini.LastChange, 2);
  Clear();
  Tick(*r, berlinAt("2024-10-27T00:59:55Z"));
  Tick(*r, berlinAt("2024-10-27T01:00:05Z"));  // 02:00:05 CET
  EXPECT_EQ(clock.Now().time().hour(), 2);
  EXPECT_EQ(ini.saves, 0) << "the repeated hour is the same hour";
  Tick(*r, berlinAt("2024-10-27T01:59:55Z"));
  EXPECT_EQ(ini.saves, 0);
  Tick(*r, berlinAt("2024-10-27T02:00:05Z"));  // 03:00:05 CET
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(ini.LastChange, 3);
  EXPECT_EQ(win.holidayRebuilds, 0);
}

TEST_F(RotationTest, ASetClockRebuildsTheHolidaysAndDrawsOnce) {
  ini.Frequency = 2;
  auto r = Started(At(2024, 3, 10, 12, 0));
  ASSERT_EQ(ini.LastChange, 10);
  Clear();

  // Back a day: a new period, the holidays placed anew, one drawing and one apply.
  clock.Set(At(2024, 3, 9, 12, 0));
  r->AppTimerTimer();
  EXPECT_EQ(win.holidayRebuilds, 1);
  EXPECT_EQ(ini.LastChange, 9);
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(win.applied.size(), 1);
  EXPECT_EQ(CurrentDate, QDate(2024, 3, 9));

  // An hour ahead on the same day: no new picture, but drawn and applied anew.
  Clear();
  clock.Set(At(2024, 3, 9, 13, 0, 10));
  r->AppTimerTimer();
  EXPECT_EQ(win.holidayRebuilds, 1);
  EXPECT_EQ(ini.saves, 0);
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(win.applied.size(), 1);

  // A second of drift is no set clock.
  Clear();
  clock.mono += kAppTimerInterval;
  clock.wall += kAppTimerInterval + 1000;
  r->AppTimerTimer();
  EXPECT_EQ(win.holidayRebuilds, 0);
  ExpectIdle("drift");

  // The time-change handler itself, and the next tick does not repeat it.
  Clear();
  clock.Set(At(2024, 12, 31, 23, 0));
  r->WMTimeChange();
  EXPECT_EQ(win.holidayRebuilds, 1);
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(CurrentYear, 2024);
  EXPECT_EQ(CurrentMonth, 12);
  // The period is left to the next tick, which sees a new day and changes the picture.
  Clear();
  Tick(*r, At(2024, 12, 31, 23, 0, 10));
  EXPECT_EQ(win.holidayRebuilds, 0);
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(ini.LastChange, 31);
}

TEST_F(RotationTest, PictureIndexInOrderAndAtRandom) {
  ini.Frequency = 2;
  auto r = Started(At(2024, 5, 1));
  std::vector<int> seen;
  for (int d = 2; d <= 5; ++d) {
    Tick(*r, At(2024, 5, d));
    seen.push_back(ini.ImageIndex);
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 0, 1}));

  ini.ImageIndex = 7;  // restored from the registry with 3 pictures
  Tick(*r, At(2024, 5, 6));
  EXPECT_EQ(ini.ImageIndex, 0);
  ini.ImageIndex = -4;
  Tick(*r, At(2024, 5, 7));
  EXPECT_EQ(ini.ImageIndex, 0);
  win.count = 0;
  ini.ImageIndex = 2;
  Tick(*r, At(2024, 5, 8));
  EXPECT_EQ(ini.ImageIndex, 0);

  ini.RandomImages = true;
  win.count = 4;
  win.randoms = {3, 3, 0};
  win.randomCalls = 0;
  for (int d = 9; d <= 11; ++d) {
    Tick(*r, At(2024, 5, d));
    seen.push_back(ini.ImageIndex);
  }
  EXPECT_EQ(std::vector<int>(seen.end() - 3, seen.end()), (std::vector<int>{3, 3, 0}));
  win.count = 0;
  Tick(*r, At(2024, 5, 12));
  EXPECT_EQ(ini.ImageIndex, 0);
  EXPECT_EQ(win.randomCalls, 3) << "no draw from an empty list";

  // The index and the period are in the registry for the next start.
  Tini loaded;
  loaded.LoadSettings();
  EXPECT_EQ(loaded.LastChange, 12);
  EXPECT_EQ(loaded.LastChangeTime, "2024-05-12T12:00:00");
  EXPECT_EQ(loaded.ImageIndex, 0);
}

TEST_F(RotationTest, BusyTickKeepsTheBooksAndTheDesktopFollowsLater) {
  ini.Frequency = 2;
  ini.LastChange = 1;
  win.busy = true;  // start-up: the first tick only keeps the books
  TMirRotation r(ini, Hooks());
  clock.Pass(At(2024, 6, 3, 8, 0));
  r.AppTimerTimer();
  EXPECT_EQ(ini.ImageIndex, 1);
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(win.renders, 0);
  EXPECT_EQ(win.drops, 1);
  EXPECT_TRUE(win.applied.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(ExeDir + "kvmir.bmp"));
  EXPECT_TRUE(r.AppTimer().isActive());
  EXPECT_EQ(r.AppTimer().interval(), 10000);

  // Start-up goes on to draw and apply; the next tick has nothing to do.
  win.busy = false;
  r.actChangeMirovaExecute();
  Clear();
  Tick(r, At(2024, 6, 3, 8, 0, 10));
  ExpectIdle("after start-up");

  // The style page's undo is busy while a new hour begins: the picture changes, nothing is
  // drawn, and the first free tick draws and applies it.
  ini.Frequency = 3;
  Tick(r, At(2024, 6, 3, 8, 59, 45));  // LastChange still holds the day: a change
  Clear();
  Tick(r, At(2024, 6, 3, 8, 59, 55));
  ExpectIdle("same hour");
  const int index = ini.ImageIndex;
  win.busy = true;
  Tick(r, At(2024, 6, 3, 9, 0, 5));
  EXPECT_EQ(ini.saves, 1);
  EXPECT_EQ(ini.ImageIndex, (index + 1) % 3);
  EXPECT_EQ(win.drops, 1);
  EXPECT_EQ(win.renders, 0);
  win.busy = false;
  Clear();
  Tick(r, At(2024, 6, 3, 9, 0, 15));
  EXPECT_EQ(ini.saves, 0);
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(win.applied.size(), 1);
  Clear();
  Tick(r, At(2024, 6, 3, 9, 0, 25));
  ExpectIdle("applied once");
}

TEST_F(RotationTest, FullScreenViewIsRedrawnButTheDesktopWaitsForItToClose) {
  ini.Frequency = 0;
  auto r = Started(At(2024, 6, 3, 23, 59, 55));
  QFile::remove(ExeDir + "kvmir.bmp");
  win.fullScreen = true;
  Tick(*r, At(2024, 6, 4, 0, 0, 5));
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(win.drops, 1);
  EXPECT_TRUE(win.applied.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(ExeDir + "kvmir.bmp"));
  EXPECT_EQ(win.releases, 0);
  Clear();
  Tick(*r, At(2024, 6, 4, 0, 0, 15));
  ExpectIdle("still shown");

  win.fullScreen = false;
  Tick(*r, At(2024, 6, 4, 0, 0, 25));
  EXPECT_EQ(win.applied.size(), 1);
  EXPECT_TRUE(QFileInfo::exists(ExeDir + "kvmir.bmp"));
  EXPECT_EQ(win.releases, 1) << "no window shows the preview";
  Clear();
  Tick(*r, At(2024, 6, 4, 0, 0, 35));
  ExpectIdle("applied once");
}

TEST_F(RotationTest, IdleTickDoesNoWorkAndATickInsideATickDoesNothing) {
  ini.Frequency = 3;
  auto r = Started(At(2024, 7, 1, 10, 0));
  const QByteArray registry = ReadFile(TestRoot() + "/config/KelVoro/registry.json");
  QFile::remove(ExeDir + "kvmir.bmp");
  for (int s = 10; s < 600; s += 10) Tick(*r, At(2024, 7, 1, 10, s / 60, s % 60));
  ExpectIdle("within the hour");
  EXPECT_EQ(win.releases, 0);
  EXPECT_EQ(win.holidayRebuilds, 0);
  EXPECT_FALSE(QFileInfo::exists(ExeDir + "kvmir.bmp"));
  EXPECT_EQ(ReadFile(TestRoot() + "/config/KelVoro/registry.json"), registry);

  // A tick reached again from inside its own drawing (a nested event loop) does nothing.
  int nowCalls = 0;
  TMirRotationHooks h = Hooks();
  h.Now = [&] {
    ++nowCalls;
    return clock.Now();
  };
  TMirRotation inner(ini, h);
  win.duringRender = [&] { inner.AppTimerTimer(); };
  clock.Pass(At(2024, 7, 1, 11, 0));
  inner.AppTimerTimer();
  EXPECT_EQ(nowCalls, 1);
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(ini.saves, 1);
  EXPECT_TRUE(inner.AppTimer().isActive());
}

TEST_F(RotationTest, TimerRunsTheTickAndReportsARepeatedFailureOnce) {
  ini.Frequency = 3;
  TMirRotationHooks h = Hooks();
  h.RenderCalendar = [](bool) { throw EKVError("out of memory"); };
  TMirRotation failing(ini, h);
  clock.Pass(At(2024, 7, 1, 10, 0));
  failing.AppTimer().setInterval(1);
  failing.AppTimer().start();
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 200) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    clock.Pass(clock.Now().addMSecs(5));
  }
  // Each tick tried to draw (a new day is never drawn) and failed; the timer kept running.
  EXPECT_EQ(win.reports.size(), 1);
  EXPECT_TRUE(win.reports.value(0).contains("out of memory"));
  EXPECT_TRUE(failing.AppTimer().isActive());
  EXPECT_EQ(failing.AppTimer().interval(), 1);
  EXPECT_GE(win.drops, 2);
}

TEST_F(RotationTest, ReadOnlyProgramFolderFallsBackToMyDocumentsForTheRun) {
  // A folder that cannot take a new file even for the superuser: its path runs through a file.
  const QString blocker = TestRoot() + "/blocker";
  WriteFile(blocker, "x");
  ExeDir = blocker + "/program/";
  TMirRotation r(ini, Hooks());
  EXPECT_EQ(r.BackgroundPath, blocker + "/program/kvmir.bmp");
  QDir(MyDocumentsDir).removeRecursively();

  clock.Pass(At(2024, 8, 1));
  r.actChangeMirovaExecute();
  const QString docs = MyDocumentsDir + "kvmir.bmp";
  EXPECT_EQ(r.BackgroundPath, docs);
  EXPECT_EQ(win.applied, QStringList{docs});
  EXPECT_EQ(DecodeBMP(ReadFile(docs)), win.drawn);
  EXPECT_EQ(win.dirtyClears, 1);

  // Later applies stay there, even with a writable program folder.
  ExeDir = TestRoot() + "/exe/";
  r.actChangeMirovaExecute();
  EXPECT_EQ(win.applied.value(1), docs);
  EXPECT_FALSE(QFileInfo::exists(ExeDir + "kvmir.bmp"));

  // Nowhere to write: the failure goes to the command's report, with the others, and nothing
  // is applied.
  r.BackgroundPath = blocker + "/program/kvmir.bmp";
  const QString docsDir = MyDocumentsDir;
  MyDocumentsDir = blocker + "/docs/";
  {
    const TSaveReport command;
    EXPECT_NO_THROW(r.actSaveMirovaExecute());
    EXPECT_EQ(TSaveReport::Pending(), QStringList{blocker + "/docs/kvmir.bmp"});
    ASSERT_NE(TSaveReport::Current(), nullptr);
    // Drawn anew at every apply: nothing of the user's is lost with it.
    EXPECT_TRUE(LostFailures(TSaveReport::Current()->Take()).isEmpty());
  }
  EXPECT_EQ(win.applied.size(), 2);
  MyDocumentsDir = docsDir;
}

TEST_F(RotationTest, SaveDrawsWhenNothingIsDrawnAndReleasesThePreviewOnlyWhenUnseen) {
  TMirRotation r(ini, Hooks());
  clock.Pass(At(2024, 8, 1));
  SetDateState(clock.Now());

  win.busy = true;
  r.actSaveMirovaExecute();
  EXPECT_TRUE(win.applied.isEmpty()) << "nothing drawn: nothing written, nothing applied";
  EXPECT_FALSE(QFileInfo::exists(r.BackgroundPath));
  EXPECT_EQ(win.dirtyClears, 0);

  win.busy = false;
  r.actSaveMirovaExecute();
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(win.applied.size(), 1);
  r.actSaveMirovaExecute();
  EXPECT_EQ(win.renders, 1) << "an existing preview is written as it is";
  EXPECT_EQ(win.applied.size(), 2);

  win.settings = true;
  r.actChangeMirovaExecute();
  EXPECT_EQ(win.releases, 0);
  EXPECT_FALSE(win.preview.isNull());
  win.settings = false;
  r.actChangeMirovaExecute();
  EXPECT_EQ(win.releases, 1);
  EXPECT_EQ(win.renders, 3);
  EXPECT_EQ(win.drops, 2);
}

TEST_F(RotationTest, WithoutALastRenderDateHookTheRotationTracksItsOwnDrawings) {
  ini.Frequency = 0;
  TMirRotationHooks h = Hooks();
  h.LastRenderDate = nullptr;
  TMirRotation r(ini, h);
  clock.Pass(At(2024, 9, 9, 23, 59, 50));
  r.AppTimerTimer();
  EXPECT_EQ(win.renders, 1);
  Tick(r, At(2024, 9, 9, 23, 59, 59));
  EXPECT_EQ(win.renders, 1);
  Tick(r, At(2024, 9, 10, 0, 0, 9));
  EXPECT_EQ(win.renders, 2);
}

// End to end: a new day writes kvmir.bmp with the drawn pixels and hands it to the desktop layer;
// a desktop that cannot be set is reported once.
TEST_F(RotationTest, ChangeWritesTheCalendarBitmapAndAppliesItThroughTheDesktopLayer) {
  QTemporaryDir dir(TestRoot() + "/rot-XXXXXX");
  const QString bin = dir.path() + "/bin", log = dir.path() + "/calls.log";
  WriteRecordingStub(bin, "plasma-apply-wallpaperimage", log);
  ScopedEnv env;
  env.PrependPath(bin);
  env.Set("KV_DESKTOP", "kde");

  TMirRotationHooks h = Hooks();
  h.SetDesktopBackground = nullptr;  // the real desktop layer
  win.screen = QSize(97, 61);        // rows that need padding
  ini.Frequency = 2;
  TMirRotation r(ini, h);
  clock.Pass(At(2024, 10, 1, 23, 59, 55));
  r.AppTimerTimer();
  const QString file = ExeDir + "kvmir.bmp";
  ASSERT_TRUE(QFileInfo::exists(file));
  const QImage drawn = win.drawn;
  EXPECT_EQ(DecodeBMP(ReadFile(file)), drawn);
  auto calls = ReadCalls(log);
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_EQ(calls[0].size(), 1);
  EXPECT_EQ(DecodeBMP(ReadFile(calls[0][0])), drawn) << "the desktop got a copy of the calendar";

  Tick(r, At(2024, 10, 1, 23, 59, 59));
  EXPECT_EQ(ReadCalls(log).size(), 1u) << "an idle tick leaves the desktop alone";
  Tick(r, At(2024, 10, 2, 0, 0, 5));
  ASSERT_EQ(ReadCalls(log).size(), 2u);
  EXPECT_NE(win.drawn, drawn);
  EXPECT_EQ(DecodeBMP(ReadFile(file)), win.drawn);
  EXPECT_TRUE(win.reports.isEmpty());

  // Nothing can set the background: the file is still written, the failure told once.
  env.Set("KV_DESKTOP", "none");
  for (int d = 3; d <= 5; ++d) {
    Tick(r, At(2024, 10, d, 0, 0, 5));
    EXPECT_EQ(DecodeBMP(ReadFile(file)), win.drawn);
  }
  ASSERT_EQ(win.reports.size(), 1);
  EXPECT_TRUE(win.reports[0].contains("KV_DESKTOP=none")) << win.reports[0].toStdString();
  EXPECT_EQ(win.dirtyClears, 5);
}

}  // namespace

TEST_F(RotationTest, ClockSetNoticesRedrawOnlyForANewDay) {
  ini.Frequency = 0;
  auto r = Started(At(2024, 5, 10, 9, 0));
  // A time service stepping the clock again and again within the day: the holidays are placed
  // each time, the calendar is neither drawn nor written.
  for (int i = 0; i < 20; ++i) {
    clock.Set(At(2024, 5, 10, 9 + i % 5, i));
    r->WMTimeChange();
  }
  EXPECT_EQ(win.holidayRebuilds, 20);
  ExpectIdle("within the day");
  EXPECT_EQ(CurrentHour, 13);
  Tick(*r, clock.Now().addSecs(10));
  ExpectIdle("the tick after them");

  // Set to another day: drawn and applied once; the same day again: nothing more.
  clock.Set(At(2024, 5, 11, 8, 0));
  r->WMTimeChange();
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(win.applied.size(), 1);
  Clear();
  clock.Set(At(2024, 5, 11, 8, 30));
  r->WMTimeChange();
  ExpectIdle("the new day again");
}

TEST_F(RotationTest, ACalendarThatCannotBeWrittenIsNotRedrawnByEveryTick) {
  const QString blocker = TestRoot() + "/blocker-ticks";
  WriteFile(blocker, "x");
  const QString docsDir = MyDocumentsDir;
  ini.Frequency = 2;
  auto r = Started(At(2024, 6, 3, 23, 59, 55));
  // A new day while the full-screen view is shown: drawn for the view, the desktop waits.
  win.fullScreen = true;
  Tick(*r, At(2024, 6, 4, 0, 0, 5));
  EXPECT_EQ(win.renders, 1);
  EXPECT_TRUE(win.applied.isEmpty());
  win.fullScreen = false;
  // Nowhere to write: the one attempt is told, and later ticks leave it at that.
  r->BackgroundPath = blocker + "/program/kvmir.bmp";
  MyDocumentsDir = blocker + "/docs/";
  Clear();
  Tick(*r, At(2024, 6, 4, 0, 0, 15));
  EXPECT_EQ(win.renders, 1);
  EXPECT_TRUE(win.applied.isEmpty());
  Clear();
  for (int s = 25; s < 120; s += 10) Tick(*r, At(2024, 6, 4, 0, s / 60, s % 60));
  ExpectIdle("after the failed write");
  MyDocumentsDir = docsDir;
}

TEST_F(RotationTest, ASaveReachedFromInsideASaveDoesNothing) {
  ini.Frequency = 0;
  TMirRotationHooks h = Hooks();
  TMirRotation* self = nullptr;
  int inner = 0;
  // A nested event loop while the desktop is told runs the commands again.
  h.SetDesktopBackground = [&](const QString& file) {
    win.applied << file;
    if (inner++ < 5) {
      self->actChangeMirovaExecute();
      self->actSaveMirovaExecute();
    }
    return TDesktopStatus{};
  };
  TMirRotation r(ini, h);
  self = &r;
  clock.Pass(At(2024, 8, 1));
  SetDateState(clock.Now());
  r.actChangeMirovaExecute();
  EXPECT_EQ(win.renders, 1);
  EXPECT_EQ(win.applied.size(), 1);
  EXPECT_EQ(win.dirtyClears, 1);
  // Once it is done the commands work again.
  r.actSaveMirovaExecute();
  EXPECT_EQ(win.applied.size(), 2);
}
