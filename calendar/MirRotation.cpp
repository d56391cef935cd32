#include "calendar/MirRotation.h"

#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtGlobal>
#include <algorithm>
#include <exception>

#include "calendar/iniData.h"
#include "foundation/KVPicture.h"
#include "foundation/KVSaveReport.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVTypes.h"
#include "foundation/KVUtils.h"
#include "foundation/KVXSkinBase.h"
#include "platform/KVClock.h"

const QString kBackgroundFileName = QStringLiteral("kvmir.bmp");

int LocaleFirstDayOfWeek(const QLocale& Locale) {
  const Qt::DayOfWeek d = Locale.firstDayOfWeek();
  return d == Qt::Sunday ? 1 : int(d) + 1;
}

qint64 RotationPeriod(int Frequency, const QDate& Date, int Hour, int FirstDayOfWeek) {
  if (!Date.isValid()) return -1;
  const qint64 day = Date.toJulianDay();
  switch (Frequency) {
    case 0: return qint64(Date.year()) * 12 + Date.month() - 1;
    case 1: return day - (DayOfWeekSundayFirst(Date) - FirstDayOfWeek + 7) % 7;
    case 2: return day;
    case 3: return day * 24 + Hour;
    default: return -1;
  }
}

int RotationUnit(int Frequency, const QDate& Date, int Hour) {
  switch (Frequency) {
    case 0: return Date.month();
    case 1:
    case 2: return Date.day();
    case 3: return Hour;
    default: return -1;
  }
}

QString FormatChangeTime(const QDateTime& Moment) {
  return Moment.date().toString(Qt::ISODate) + QLatin1Char('T') + Moment.time().toString(Qt::ISODate);
}

std::optional<TChangeTime> ParseChangeTime(const QString& Text) {
  // Date and time are read apart: a local time that a zone's clock change skips is kept as it is.
  if (Text.size() != 19 || Text.at(10) != QLatin1Char('T')) return std::nullopt;
  const QDate date = QDate::fromString(Text.left(10), Qt::ISODate);
  const QTime time = QTime::fromString(Text.mid(11), Qt::ISODate);
  if (!date.isValid() || !time.isValid()) return std::nullopt;
  return TChangeTime{date, time.hour()};
}

TMirRotation::TMirRotation(Tini& Settings, TMirRotationHooks Hooks) : ini_(Settings), hooks_(std::move(Hooks)) {
  TMirRotationHooks& h = hooks_;
  if (!h.Now) h.Now = [] { return KVNow(); };
  if (!h.MonotonicMSecs) h.MonotonicMSecs = [] { return KVMonotonicMSecs(); };
  if (!h.Random) h.Random = [](int count) { return int(QRandomGenerator::global()->bounded(count)); };
  if (!h.Busy) h.Busy = [] { return false; };
  if (!h.FullScreenVisible) h.FullScreenVisible = [] { return false; };
  if (!h.SettingsVisible) h.SettingsVisible = [] { return false; };
  if (!h.UsedImageCount) h.UsedImageCount = [] { return 0; };
  if (!h.DropPicture) h.DropPicture = [] {};
  if (!h.RenderCalendar) h.RenderCalendar = [](bool) {};
  if (!h.LastRenderDate) h.LastRenderDate = [this] { return drawnDate_; };
  if (!h.PreviewBitmap) h.PreviewBitmap = [] { return QImage(); };
  if (!h.ReleasePreview) h.ReleasePreview = [] {};
  if (!h.ClearDirty) h.ClearDirty = [] {};
  if (!h.RebuildHolidayIndex) h.RebuildHolidayIndex = [] {};
  if (!h.SetDesktopBackground)
    h.SetDesktopBackground = [this](const QString& file) {
      // The bitmap has the screen's size: neither tiled nor stretched. The desktop gets the drawn
      // bitmap too, so that a setter that can take pixels need not read the file back.
      return SetDesktopBackground(file, QStringLiteral("0"), QStringLiteral("0"),
                                  file == BackgroundPath ? written_ : QImage());
    };
  if (!h.Report) h.Report = [](const QString& message) { qWarning("%s", qUtf8Printable(message)); };

  BackgroundPath = ExeDir + kBackgroundFileName;
  FirstDayOfWeek = LocaleFirstDayOfWeek(QLocale());
  appTimer_.setInterval(kAppTimerInterval);
  // Armed anew at the end of each tick, so that a slow tick never queues the next one.
  appTimer_.setSingleShot(true);
  QObject::connect(&appTimer_, &QTimer::timeout, &appTimer_, [this] { OnTimer(); });
}

TMirRotation::~TMirRotation() = default;

void TMirRotation::OnTimer() {
  // No exception may leave the event loop's call; one that repeats on every tick is told once.
  QString error;
  try {
    AppTimerTimer();
  } catch (const std::exception& e) {
    error = QString::fromUtf8(e.what());
  } catch (...) {
    error = QStringLiteral("unknown error");
  }
  if (!error.isEmpty() && error != lastTickError_)
    hooks_.Report(QStringLiteral("The calendar could not be drawn or saved: %1").arg(error));
  lastTickError_ = error;
}

bool TMirRotation::ClockWasSet(const QDateTime& now, qint64 mono) {
  // Both clocks run alike, also across a suspend, unless the wall clock was set.
  const qint64 wall = now.toMSecsSinceEpoch();
  const bool set = haveClockBase_ && qAbs((wall - wallBase_) - (mono - monoBase_)) > kTimeJumpToleranceMs;
  wallBase_ = wall;
  monoBase_ = mono;
  haveClockBase_ = true;
  return set;
}

bool TMirRotation::NewPeriod(const QDateTime& now) {
  const int freq = ini_.Frequency;
  if (freq < 0 || freq > 3) return false;
  const QDate today = now.date();
  const int hour = now.time().hour();
  const int unit = RotationUnit(freq, today, hour);
  bool changed;
  const std::optional<TChangeTime> last = ParseChangeTime(ini_.LastChangeTime);
  if (last && RotationUnit(freq, last->Date, last->Hour) == ini_.LastChange) {
    // The time of the last change agrees with LastChange: compare whole periods, so that a
    // period begun on the same day number, month or hour as the last one still counts, and a
    // week whose first day the machine was off still gets its picture.
    changed = RotationPeriod(freq, today, hour, FirstDayOfWeek) !=
              RotationPeriod(freq, last->Date, last->Hour, FirstDayOfWeek);
  } else {
    // No usable time (first run, an older version wrote LastChange, the frequency was switched):
    // LastChange alone decides.
    if (freq == 1)
      changed = ini_.LastChange != today.day() && DayOfWeekSundayFirst(today) == FirstDayOfWeek;
    else
      changed = unit != ini_.LastChange;
    // Still in the period of the last change: from now on its time is known. It is stored with
    // the next save of the settings; an idle tick writes nothing.
    if (!changed && unit == ini_.LastChange) ini_.LastChangeTime = FormatChangeTime(now);
  }
  if (changed) {
    ini_.LastChange = unit;
    ini_.LastChangeTime = FormatChangeTime(now);
  }
  return changed;
}

void TMirRotation::NextPicture() {
  const int count = std::max(0, hooks_.UsedImageCount());
  int& index = ini_.ImageIndex;
  if (ini_.RandomImages)
    index = count > 0 ? std::clamp(hooks_.Random(count), 0, count - 1) : 0;
  else
    // The next picture, the first after the last one; an index from the registry that lies
    // outside the list (or below it) starts again at the first.
    index = index < 0 || index >= count - 1 ? 0 : index + 1;
}

QDate TMirRotation::LastRenderDate() const { return hooks_.LastRenderDate(); }

void TMirRotation::Render(bool recalcLayout) {
  const bool busy = hooks_.Busy();
  hooks_.RenderCalendar(recalcLayout);
  if (!busy) drawnDate_ = CurrentDate;
}

void TMirRotation::Redraw() {
  hooks_.DropPicture();
  if (hooks_.Busy()) {
    pendingApply_ = true;
    return;
  }
  if (hooks_.FullScreenVisible()) {
    // The view covers the desktop and shows the new calendar; the desktop gets it once the view
    // is gone.
    Render(true);
    pendingApply_ = true;
    return;
  }
  actChangeMirovaExecute();
}

void TMirRotation::AppTimerTimer() {
  if (inTick_) return;
  inTick_ = true;
  const auto finish = qScopeGuard([this] {
    inTick_ = false;
    appTimer_.start();
  });

  const QDateTime now = hooks_.Now();
  const bool clockSet = ClockWasSet(now, hooks_.MonotonicMSecs());
  SetDateState(now);

  const bool changed = NewPeriod(now);
  if (changed) {
    NextPicture();
    ini_.SaveSettings();
  }
  if (clockSet) hooks_.RebuildHolidayIndex();
  const bool dayChanged = LastRenderDate() != CurrentDate;
  if (changed || dayChanged || clockSet)
    Redraw();
  else if (pendingApply_ && !hooks_.Busy() && !hooks_.FullScreenVisible())
    actChangeMirovaExecute();
}

void TMirRotation::WMTimeChange() {
  const QDateTime now = hooks_.Now();
  SetDateState(now);
  // The next tick must not take this change for another one.
  wallBase_ = now.toMSecsSinceEpoch();
  monoBase_ = hooks_.MonotonicMSecs();
  haveClockBase_ = true;
  hooks_.RebuildHolidayIndex();
  // The calendar shows days: a clock set within the day of the last drawing changes nothing on
  // it, and a time service that steps the clock again and again must not rewrite it each time.
  // A new period is the next tick's business.
  if (LastRenderDate() != CurrentDate) Redraw();
}

void TMirRotation::actChangeMirovaExecute() {
  if (inSave_) return;
  hooks_.DropPicture();
  Render(true);
  actSaveMirovaExecute();
  if (!hooks_.SettingsVisible() && !hooks_.FullScreenVisible()) hooks_.ReleasePreview();
}

void TMirRotation::actSaveMirovaExecute() {
  // Reached again from inside itself (a nested event loop while the desktop is told, a handler
  // of the drawing): the calendar on its way out is the one to show.
  if (inSave_) return;
  inSave_ = true;
  const auto done = qScopeGuard([this] { inSave_ = false; });
  QImage bitmap = hooks_.PreviewBitmap();
  if (bitmap.width() == 0) {
    Render(true);
    bitmap = hooks_.PreviewBitmap();
  }
  // Nothing drawn (the renderer is busy): an empty file would only blank the desktop.
  if (bitmap.width() == 0 || bitmap.height() == 0) return;
  // Whatever becomes of this attempt, the cause that asked for it is served: a file that cannot
  // be written is told once and not drawn and tried again by every tick.
  pendingApply_ = false;
  try {
    SaveBitmap24(BackgroundPath, bitmap);
  } catch (const std::exception&) {
    // The program folder is not writable: My Documents for the rest of the run. A failure there
    // is told with the command's other save failures; the desktop keeps what it showed.
    BackgroundPath = MyDocumentsDir + kBackgroundFileName;
    ForceDirs(MyDocumentsDir);
    try {
      SaveBitmap24(BackgroundPath, bitmap);
    } catch (const EKVError& e) {
      ReportSaveFailure(BackgroundPath, e.Reason(), true);
      return;
    }
  }
  written_ = bitmap;
  const auto forget = qScopeGuard([this] { written_ = QImage(); });
  const TDesktopStatus status = hooks_.SetDesktopBackground(BackgroundPath);
  // Where nothing can set the background the file is still written; the failure is told once.
  if (!status.Ok() && !status.Repeated)
    hooks_.Report(QStringLiteral("The calendar is saved in \"%1\" but cannot be made the desktop background: %2")
                      .arg(BackgroundPath, status.Message));
  if (ini_.TransparentIcons) MakeDesktopIconLabelsTransparent();
  hooks_.ClearDirty();
}
