// The resident memory of the tray after a picture change at 4K (a 5K photo placed on a 3840 x
// 2160 screen, the calendar written as the desktop background, no window showing it) against a
// bare Qt application's (goal: within 8 MB). Each is measured in a process of its own, this
// program started again with --child=bare or --child=tray; the benchmark reports the figures.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTextStream>
#include <cstdio>
#include <cstring>

#include "bench/BenchUtil.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVDesktop.h"
#include "tests/common/MainFormComponent.h"

namespace {

using kvtest::FormComponent;

// VmRSS of this process in kB.
long ResidentKB() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  return -1;
}

// What the tray does on a period change while no window is open.
void TrayChange(const QString& photo) {
  FormComponent form;
  TMirModelHooks hooks;
  hooks.ScreenSize = [] { return QSize(3840, 2160); };
  hooks.Rotation.SetDesktopBackground = [](const QString&) { return TDesktopStatus(); };
  TMirModel m(form, hooks);
  m.Ini->UserImageSet = true;
  m.Ini->ImagePosition = 0;
  m.Ini->WorkStyle.DayFont.Name = QStringLiteral("DejaVu Sans");
  m.Layout->LoadLayout(kvbench::BuiltinLayout(151));
  m.UsedImages = {photo};
  FitCalendarFont(m.Render, m.Ini->WorkStyle.DayFont, m.Ini->WorkStyle.DaySpace, 2160 - 40, 96);
  m.Rotation->BackgroundPath = kvbench::TheSandbox().dir.path() + QStringLiteral("/kvmir.bmp");
  m.SetBusy(false);
  m.Rotation->actChangeMirovaExecute();
  QCoreApplication::processEvents();
  std::printf("RSS %ld\n", ResidentKB());
  std::fflush(stdout);
}

// The figure a child printed, in MB; -1 when it printed none.
double ChildMB(const QString& mode, const QString& photo) {
  QProcess p;
  p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child=") + mode, photo});
  if (!p.waitForFinished(120000)) return -1;
  for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
    if (line.startsWith("RSS ")) return line.mid(4).toDouble() / 1024.0;
  return -1;
}

void BM_IdleTrayAfterChange4K(benchmark::State& st) {
  const QString photo = kvbench::ThePhoto5K().path;
  double bare = 0, tray = 0;
  for (auto _ : st) {
    bare = ChildMB(QStringLiteral("bare"), photo);
    tray = ChildMB(QStringLiteral("tray"), photo);
  }
  if (bare < 0 || tray < 0) st.SkipWithError("a child process printed no figure");
  st.counters["bare_MB"] = bare;
  st.counters["tray_MB"] = tray;
  st.counters["over_bare_MB"] = tray - bare;
}
BENCHMARK(BM_IdleTrayAfterChange4K)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--child=", 8) != 0) continue;
    const QString mode = QString::fromLatin1(argv[i] + 8);
    const QString photo = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("KV_PROGRAM_DIR", (kvbench::TheSandbox().dir.path() + QStringLiteral("/exe")).toUtf8());
    QApplication app(argc, argv);
    if (mode == QLatin1String("tray")) {
      InitializeFolders();
      TrayChange(photo);
    } else {
      QCoreApplication::processEvents();
      std::printf("RSS %ld\n", ResidentKB());
      std::fflush(stdout);
    }
    return 0;
  }
  return kvbench::RunBenchmarks(argc, argv, [] { kvbench::ThePhoto5K(); });
}
