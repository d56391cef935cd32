// The cost of a rotation tick that changes nothing (the case of almost every tick): reading the
// clocks, refreshing the date state, deciding the period and re-arming the timer. Such a tick must
// do no file, desktop or registry work; the benchmark fails when it does.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "calendar/MirRotation.h"
#include "calendar/iniData.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVXSkinBase.h"
#include "platform/KVClock.h"

namespace {

struct Work {
  int saves = 0, drops = 0, renders = 0, applies = 0;
  int Total() const { return saves + drops + renders + applies; }
};

class CountingTini : public Tini {
 public:
  int* saves = nullptr;
  void SaveSettings() override { ++*saves; }
};

// A rotation in the middle of a monthly period whose calendar is drawn for today.
void RunIdleTicks(benchmark::State& state, std::function<QDateTime()> now, std::function<qint64()> mono) {
  Work work;
  CountingTini ini;
  ini.saves = &work.saves;
  ini.Frequency = 0;
  const QDateTime start = now();
  ini.LastChange = start.date().month();
  ini.LastChangeTime = FormatChangeTime(start);

  TMirRotationHooks h;
  h.Now = std::move(now);
  h.MonotonicMSecs = std::move(mono);
  h.UsedImageCount = [] { return 12; };
  h.LastRenderDate = [] { return CurrentDate; };
  h.DropPicture = [&work] { ++work.drops; };
  h.RenderCalendar = [&work](bool) { ++work.renders; };
  h.SetDesktopBackground = [&work](const QString&) {
    ++work.applies;
    return TDesktopStatus();
  };
  TMirRotation rotation(ini, h);
  rotation.AppTimerTimer();

  for (auto _ : state) rotation.AppTimerTimer();

  if (work.Total() != 0) state.SkipWithError("an idle tick did file, desktop or registry work");
  state.counters["work"] = work.Total();
}

void BM_IdleTick_SystemClocks(benchmark::State& state) {
  RunIdleTicks(state, [] { return KVNow(); }, [] { return KVMonotonicMSecs(); });
}

// The decision alone, with clocks that cost nothing and move ten milliseconds per tick.
void BM_IdleTick_FixedClocks(benchmark::State& state) {
  qint64 wall = QDateTime(QDate(2024, 5, 1), QTime(0, 0)).toMSecsSinceEpoch(), mono = 0;
  RunIdleTicks(
      state,
      [&wall] {
        wall += 10;
        return QDateTime::fromMSecsSinceEpoch(wall);
      },
      [&mono] { return mono += 10; });
}

}  // namespace

BENCHMARK(BM_IdleTick_SystemClocks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IdleTick_FixedClocks)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  // Nothing of the user's is read or written.
  QTemporaryDir home;
  qputenv("HOME", home.path().toUtf8());
  qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
  qputenv("KV_PROGRAM_DIR", (home.path() + "/exe").toUtf8());
  QCoreApplication app(argc, argv);
  InitializeFolders();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
