#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QScopeGuard>
#include <cstring>

#include "foundation/KVSysUtils.h"
#include "foundation/KVTrovanaRem.h"
#include "platform/KVClock.h"
#include "platform/KVInstance.h"
#include "platform/KVLaunch.h"
#include "platform/KVRegistry.h"
#include "tests/common/DesktopTestUtil.h"
#include "tests/common/TestUtil.h"

using namespace kvtest;

namespace {

const QString kReminderKey = "\\Software\\Kel Voro\\Trovana";

class TrovanaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegistryStore::ResetAll();
    TKVRegistry reg;
    for (const QString& key : {QString("\\Software\\Kel Voro\\Install"), kReminderKey})
      if (reg.KeyExists(key)) reg.DeleteKey(key);
    TrovanaPath.clear();
    SetProgramStarter([this](const QString& program, const QStringList& args) {
      launches_.push_back(QStringList{program} + args);
      return true;
    });
  }
  void TearDown() override {
    SetProgramStarter({});
    SetClock({});
  }
  void Install() {
    const QString folder = TestRoot() + "/trovana folder";
    WriteStub(folder, "trovana", "exit 0\n");
    TKVRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\Software\\Kel Voro\\Install\\", true));
    reg.WriteString("Kel Voro Trovana", folder);
    reg.CloseKey();
    InitializeTrovanaPath();
    ASSERT_EQ(TrovanaPath, folder + "/trovana");
  }
  void Now(const QDateTime& when) {
    SetClock([when] { return when; });
  }
  void Reminder(std::optional<QDateTime> started, std::optional<int> options) {
    TKVRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kReminderKey, true));
    if (started) WriteTrovanaStarted(ToDateTime(*started));
    if (options) reg.WriteInteger("StartOptions", *options);
    reg.CloseKey();
  }
  std::optional<QDateTime> Started() {
    TKVRegistry reg;
    if (!reg.OpenKeyReadOnly(kReminderKey) || !reg.ValueExists("Started")) return std::nullopt;
    const QByteArray raw = reg.ReadBinaryData("Started");
    if (raw.size() != 8) return std::nullopt;
    double v;
    std::memcpy(&v, raw.constData(), 8);
    return QDateTime(DateTimeToDate(v), DateTimeToTime(v));
  }
  std::vector<QStringList> launches_;
};

QDateTime At(int y, int m, int d, int h = 12) { return QDateTime(QDate(y, m, d), QTime(h, 0)); }

}  // namespace

TEST_F(TrovanaTest, WithoutTheCompanionNothingRunsAndNothingIsWritten) {
  InitializeTrovanaPath();
  EXPECT_TRUE(TrovanaPath.isEmpty());
  EXPECT_FALSE(TrovanaAvailable());
  EXPECT_FALSE(CheckTrovanaReminder());
  StartTrovana();
  EXPECT_TRUE(launches_.empty());
  EXPECT_FALSE(TKVRegistry().KeyExists(kReminderKey));
  // A folder that is named but holds no program is no companion either.
  TKVRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Kel Voro\\Install\\", true));
  reg.WriteString("Kel Voro Trovana", TestRoot() + "/nothing here");
  reg.CloseKey();
  InitializeTrovanaPath();
  EXPECT_FALSE(TrovanaPath.isEmpty());
  EXPECT_FALSE(TrovanaAvailable());
}

TEST_F(TrovanaTest, TheFirstCheckOnlyBeginsTheSchedule) {
  Install();
  Now(At(2024, 5, 6, 9));
  EXPECT_FALSE(CheckTrovanaReminder());
  EXPECT_TRUE(launches_.empty());
  EXPECT_EQ(Started(), At(2024, 5, 6, 9));
}

TEST_F(TrovanaTest, ComesDueAfterTheChosenCalendarMonths) {
  Install();
  // Option 7 is out of range: three months.
  Reminder(At(2024, 1, 10), 7);
  Now(At(2024, 4, 9, 23));
  EXPECT_FALSE(CheckTrovanaReminder());
  EXPECT_EQ(Started(), At(2024, 1, 10));
  Now(At(2024, 4, 10, 0));
  SetApplicationTitle("Kel Voro Mirova Calendar 5.0");
  const auto untitled = qScopeGuard([] { SetApplicationTitle({}); });
  EXPECT_TRUE(CheckTrovanaReminder());
  ASSERT_EQ(launches_.size(), 1u);
  // The application title, not the program's short name, follows "-r" without a blank.
  EXPECT_EQ(launches_[0], (QStringList{TrovanaPath, QCoreApplication::applicationFilePath(),
                                       "-rKel Voro Mirova Calendar 5.0"}));
  EXPECT_EQ(Started(), At(2024, 4, 10, 0));
  // The next start of the program does not start it again.
  EXPECT_FALSE(CheckTrovanaReminder());
  EXPECT_EQ(launches_.size(), 1u);
}

TEST_F(TrovanaTest, TheEndOfAShortMonthCounts) {
  Install();
  Reminder(At(2024, 1, 31), 0);
  Now(At(2024, 2, 28));
  EXPECT_FALSE(CheckTrovanaReminder());
  Now(At(2024, 2, 29));
  EXPECT_TRUE(CheckTrovanaReminder());
}

TEST_F(TrovanaTest, NeverMeansNeverAndTheDateStays) {
  Install();
  Reminder(At(2000, 1, 1), 4);
  Now(At(2024, 6, 1));
  EXPECT_FALSE(CheckTrovanaReminder());
  EXPECT_TRUE(launches_.empty());
  EXPECT_EQ(Started(), At(2000, 1, 1));
}

TEST_F(TrovanaTest, ARunningCompanionOrAnotherCheckStopsIt) {
  Install();
  Reminder(At(2020, 1, 1), 1);
  Now(At(2024, 6, 1));
  {
    TKVInstanceLock companion{QLatin1String(kTrovanaMutexName)};
    ASSERT_TRUE(companion.TryLock());
    EXPECT_FALSE(CheckTrovanaReminder());
  }
  {
    TKVInstanceLock reminder{QLatin1String(kTrovanaReminderMutexName)};
    ASSERT_TRUE(reminder.TryLock());
    EXPECT_FALSE(CheckTrovanaReminder());
  }
  EXPECT_TRUE(launches_.empty());
  EXPECT_EQ(Started(), At(2020, 1, 1));
  EXPECT_TRUE(CheckTrovanaReminder());
}

TEST_F(TrovanaTest, ADamagedDateBeginsTheScheduleAnew) {
  Install();
  TKVRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kReminderKey, true));
  const double nan = std::nan("");
  reg.WriteBinaryData("Started", QByteArray(reinterpret_cast<const char*>(&nan), 8));
  reg.CloseKey();
  Now(At(2024, 6, 1));
  EXPECT_FALSE(CheckTrovanaReminder());
  EXPECT_EQ(Started(), At(2024, 6, 1));
  ASSERT_TRUE(reg.OpenKey(kReminderKey, true));
  reg.WriteBinaryData("Started", "four");
  reg.CloseKey();
  EXPECT_FALSE(CheckTrovanaReminder());
  EXPECT_EQ(Started(), At(2024, 6, 1));
  EXPECT_TRUE(launches_.empty());
}

TEST_F(TrovanaTest, StartingOnRequestPassesTheProgramPathAndLeavesTheSchedule) {
  Install();
  StartTrovana();
  ASSERT_EQ(launches_.size(), 1u);
  EXPECT_EQ(launches_[0], (QStringList{TrovanaPath, QCoreApplication::applicationFilePath()}));
  EXPECT_FALSE(Started().has_value());
}
