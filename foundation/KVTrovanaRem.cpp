#include "foundation/KVTrovanaRem.h"

#include <QApplication>
#include <QFileInfo>
#include <cmath>
#include <cstring>

#include "foundation/KVSysUtils.h"
#include "platform/KVClock.h"
#include "platform/KVError.h"
#include "platform/KVInstance.h"
#include "platform/KVLaunch.h"

QString TrovanaPath;

namespace {

const QString kInstallKey = QStringLiteral("\\Software\\Kel Voro\\Install\\");
const QString kReminderKey = QStringLiteral("\\Software\\Kel Voro\\Trovana");
const QString kInstallValue = QStringLiteral("Kel Voro Trovana");

// A lock that someone else holds. One that cannot be tried at all does not stop the check,
// as a mutex that could not be created did not.
bool HeldElsewhere(TKVInstanceLock& lock) { return !lock.TryLock() && !lock.Failed(); }

}  // namespace

void InitializeTrovanaPath() {
  TrovanaPath.clear();
  try {
    TKVRegistry reg;
    if (!reg.OpenKeyReadOnly(kInstallKey)) return;
    QString folder = reg.ReadStringDef(kInstallValue, QString());
    if (folder.isEmpty()) return;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    TrovanaPath = folder + QStringLiteral("trovana");
  } catch (const EKVError&) {
  }
}

bool TrovanaAvailable() {
  if (TrovanaPath.isEmpty()) return false;
  const QFileInfo file(TrovanaPath);
  return file.isFile() && file.isExecutable();
}

void WriteTrovanaStarted(TDateTime When) {
  try {
    TKVRegistry reg;
    if (!reg.OpenKey(kReminderKey, true)) return;
    QByteArray raw(sizeof When, '\0');
    std::memcpy(raw.data(), &When, sizeof When);
    reg.WriteBinaryData(QStringLiteral("Started"), raw);
    reg.CloseKey();
  } catch (const EKVError&) {
  }
}

bool CheckTrovanaReminder() {
  if (!TrovanaAvailable()) return false;
  {
    TKVInstanceLock companion{QLatin1String(kTrovanaMutexName)};
    if (HeldElsewhere(companion)) return false;
  }
  TKVInstanceLock reminder{QLatin1String(kTrovanaReminderMutexName)};
  if (HeldElsewhere(reminder)) return false;

  const TDateTime now = ToDateTime(KVNow());
  TDateTime started = 0;
  int options = 1;
  try {
    TKVRegistry reg;
    if (reg.OpenKey(kReminderKey, true)) {
      if (reg.ValueExists(QStringLiteral("Started")) && reg.GetDataType(QStringLiteral("Started")) == TRegDataType::rdBinary) {
        const QByteArray raw = reg.ReadBinaryData(QStringLiteral("Started"));
        if (raw.size() == int(sizeof started)) std::memcpy(&started, raw.constData(), sizeof started);
      }
      options = reg.ReadIntegerDef(QStringLiteral("StartOptions"), 1);
      reg.CloseKey();
    }
  } catch (const EKVError&) {
  }
  if (options < 0 || options > 4) options = 1;
  // A damaged date begins the schedule anew rather than never coming due.
  if (!std::isfinite(started) || started < 1 || started > 2958465) started = 0;
  if (started == 0) {
    WriteTrovanaStarted(now);
    return false;
  }
  if (options == 4) return false;
  static constexpr int kMonths[] = {1, 3, 6, 12};
  // Calendar months: the same day, or the last day of a shorter month.
  const QDate due = DateTimeToDate(started).addMonths(kMonths[options]);
  if (due > DateTimeToDate(now)) return false;
  WriteTrovanaStarted(now);
  StartProgram(TrovanaPath, {QCoreApplication::applicationFilePath(),
                             QStringLiteral("-r") + ApplicationTitle()});
  return true;
}

void StartTrovana() {
  if (!TrovanaAvailable()) return;
  StartProgram(TrovanaPath, {QCoreApplication::applicationFilePath()});
}
