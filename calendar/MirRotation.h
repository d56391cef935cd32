#pragma once
// The picture rotation and the desktop output of the main window: the ten-second tick that
// decides when the background picture changes, drawing and applying the calendar, and writing
// the calendar bitmap file. The window, the renderer, the clocks, the random generator and the
// desktop come in as hooks, so that all of it runs without them.
#include <QDate>
#include <QDateTime>
#include <QImage>
#include <QLocale>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

#include "platform/KVDesktop.h"

class Tini;

// The rotation timer's interval.
constexpr int kAppTimerInterval = 10000;
// How far the wall clock may drift from the monotonic clock between two ticks before the tick
// takes it for a set clock (a slewing time service moves it by milliseconds).
constexpr qint64 kTimeJumpToleranceMs = 2000;
// The calendar bitmap's file name, in the program folder or in My Documents.
extern const QString kBackgroundFileName;

// The locale's first day of the week, 1 = Sunday .. 7 = Saturday.
int LocaleFirstDayOfWeek(const QLocale& Locale = QLocale());

// The period that a local date and hour belong to under a picture frequency (0 monthly, 1 weekly
// from FirstDayOfWeek, 2 daily, 3 hourly): equal for two moments of one period, different for two
// periods. -1 for a frequency that never changes the picture.
qint64 RotationPeriod(int Frequency, const QDate& Date, int Hour, int FirstDayOfWeek);
// What LastChange holds for a moment: the month (monthly), the day of the month (weekly and
// daily) or the hour (hourly); -1 for any other frequency.
int RotationUnit(int Frequency, const QDate& Date, int Hour);

// The stored form of Tini.LastChangeTime, and back (nothing for a text of another form).
QString FormatChangeTime(const QDateTime& Moment);
struct TChangeTime {
  QDate Date;
  int Hour = 0;
};
std::optional<TChangeTime> ParseChangeTime(const QString& Text);

// What the main window lends the rotation. Any hook left empty gets the default named.
struct TMirRotationHooks {
  // The wall clock (KVNow) and a clock that is never set (KVMonotonicMSecs).
  std::function<QDateTime()> Now;
  std::function<qint64()> MonotonicMSecs;
  // A uniform draw in 0 .. Count - 1 for Count > 0 (the process's random generator).
  std::function<int(int Count)> Random;

  // Window state: the renderer is idle (false), the full-screen view is shown (false), the
  // settings window's main panel is shown (false), the number of checked pictures (0).
  std::function<bool()> Busy;
  std::function<bool()> FullScreenVisible;
  std::function<bool()> SettingsVisible;
  std::function<int()> UsedImageCount;

  // Frees the cached background picture (nothing).
  std::function<void()> DropPicture;
  // Draws the calendar into the preview bitmap; does nothing while busy (nothing).
  std::function<void(bool RecalcLayout)> RenderCalendar;
  // The date of the last drawing, invalid before the first (the date of the last drawing asked
  // for through the rotation while not busy).
  std::function<QDate()> LastRenderDate;
  // The preview bitmap; a null image while nothing is drawn (a null image).
  std::function<QImage()> PreviewBitmap;
  // Frees the preview bitmap's memory and all else that drawing keeps (nothing).
  std::function<void()> ReleasePreview;
  // The drawn calendar is now the desktop background (nothing).
  std::function<void()> ClearDirty;
  // Places the holidays for the year of the clock (nothing).
  std::function<void()> RebuildHolidayIndex;

  // Makes the file the desktop background (SetDesktopBackground with tile "0", style "0").
  std::function<TDesktopStatus(const QString& FileName)> SetDesktopBackground;
  // Tells the user or the log about a failure that the tick cannot show in a box (qWarning).
  std::function<void(const QString& Message)> Report;
};

class TMirRotation {
 public:
  // BackgroundPath starts as ExeDir + "kvmir.bmp"; FirstDayOfWeek is read from the locale.
  explicit TMirRotation(Tini& Settings, TMirRotationHooks Hooks = {});
  TMirRotation(const TMirRotation&) = delete;
  TMirRotation& operator=(const TMirRotation&) = delete;
  ~TMirRotation();

  // The rotation tick: refresh the date state, notice a set clock, move to the next picture when
  // a new period began (saving the settings), and draw and apply when the picture, the day or
  // the clock changed. Arms the timer when it ends. A call while a tick runs does nothing.
  // Failures of drawing and saving pass to the caller; the timer's own calls report them.
  void AppTimerTimer();
  // Drop the picture, draw with a new layout, write and apply; release the preview (and what
  // drawing keeps) when no window shows it. Nothing while a save is under way.
  void actChangeMirovaExecute();
  // Write the drawn calendar to BackgroundPath (My Documents once the program folder failed) and
  // make it the desktop background. A file that cannot be written there either goes to the open
  // save report (ReportSaveFailure) and the desktop is left as it was; failures of the desktop
  // are reported once, not per apply. A call from inside a save (a nested event loop) does nothing.
  void actSaveMirovaExecute();
  // The system clock was set: refresh the date state, place the holidays anew, and draw and apply
  // when the day is not the one last drawn.
  void WMTimeChange();

  QTimer& AppTimer() { return appTimer_; }
  const TMirRotationHooks& Hooks() const { return hooks_; }

  // Where the calendar bitmap is written.
  QString BackgroundPath;
  // 1 = Sunday .. 7 = Saturday.
  int FirstDayOfWeek = 1;

 private:
  bool ClockWasSet(const QDateTime& now, qint64 mono);
  bool NewPeriod(const QDateTime& now);
  void NextPicture();
  void Redraw();
  void Render(bool recalcLayout);
  QDate LastRenderDate() const;
  void OnTimer();

  Tini& ini_;
  TMirRotationHooks hooks_;
  QTimer appTimer_;
  bool inTick_ = false;
  bool inSave_ = false;
  QString lastTickError_;
  // A drawing was due but did not reach the desktop (busy, or the full-screen view covered it).
  bool pendingApply_ = false;
  QDate drawnDate_;
  bool haveClockBase_ = false;
  qint64 wallBase_ = 0, monoBase_ = 0;
  // The bitmap just written to BackgroundPath, while it is being applied.
  QImage written_;
};
