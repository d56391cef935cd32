// Resident memory against a bare Qt application's, each measured in a process of its own:
// - the tray after a picture change at 4K (a 5K photo placed on a 3840 x 2160 screen, the calendar
//   written as the desktop background, no window showing it), this program started again with
//   --child=tray (goal: within 8 MB of the bare one);
// - the real program with a diary of 0, 10,000 and 20,000 entries of about 2 KB of rich text, once
//   its start-up is done and its memory settles (the settings window open on its Cover page),
//   after a click on the Diary page and after OK (goal: under 100 MB with 20,000 entries). The program runs on
//   an X server of the benchmark's own, so that the click reaches it; without Xvfb and xdotool it
//   runs offscreen and only the start-up figure is given.
// The bare application is this program started again with --child=bare.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextStream>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <signal.h>
#include <sys/prctl.h>

#include "bench/BenchUtil.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVDesktop.h"
#include "tests/common/MainFormComponent.h"

namespace {

using kvtest::FormComponent;

// A figure of /proc/<pid>/status ("VmRSS", "VmHWM") in kB; -1 when there is none.
long StatusKB(const QString& pid, const char* field) {
  QFile f(QStringLiteral("/proc/%1/status").arg(pid));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  const QByteArray name = QByteArray(field) + ':';
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith(name)) return line.mid(name.size()).trimmed().split(' ').first().toLong();
  return -1;
}

// VmRSS of this process in kB.
long ResidentKB() { return StatusKB(QStringLiteral("self"), "VmRSS"); }

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
double ChildMB(const QString& mode, const QString& photo,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  p.setProcessEnvironment(env);
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

// ---- the real program with a diary

// The tests' X server (KV_TEST_DISPLAY) or one of the benchmark's own; none when Xvfb or
// xdotool is missing.
class XServer {
 public:
  XServer() {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) return;
    display_ = qEnvironmentVariable("KV_TEST_DISPLAY");
    if (!display_.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) return;
    server_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    server_.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                           QStringLiteral("0"), QStringLiteral("1920x1080x24"),
                                           QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    QByteArray number;
    while (!number.contains('\n') && server_.waitForReadyRead(10000)) number += server_.readAllStandardOutput();
    if (number.contains('\n')) display_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
  }
  ~XServer() {
    if (server_.state() == QProcess::NotRunning) return;
    server_.terminate();
    if (!server_.waitForFinished(3000)) server_.kill();
    server_.waitForFinished(3000);
  }
  // Empty when there is none.
  const QString& Display() const { return display_; }

 private:
  QProcess server_;
  QString display_;
};

XServer& TheXServer() {
  static XServer x;
  return x;
}

QString Xdotool(const QProcessEnvironment& env, const QStringList& args) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QStringLiteral("xdotool"), args);
  p.waitForFinished(10000);
  return QString::fromLatin1(p.readAllStandardOutput());
}

// The frame of the settings window once it shows; empty after 20 s without it.
QRect SettingsWindow(const QProcessEnvironment& env) {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 20000) {
    const QStringList ids = Xdotool(env, {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                          QStringLiteral("^Kel Voro Mirova Calendar")})
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& id : ids) {
      const QString g = Xdotool(env, {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
      const auto value = [&](const char* name) {
        return QRegularExpression(QStringLiteral("\\b%1=(\\d+)").arg(QLatin1String(name))).match(g).captured(1).toInt();
      };
      const QRect r(value("X"), value("Y"), value("WIDTH"), value("HEIGHT"));
      if (r.width() > 0) return r;
    }
    QThread::msleep(100);
  }
  return {};
}

// The resident memory of the process in MB once it has not changed by more than 1 MB for a
// second (the diary's search text is prepared on a thread of its own after the load); -1 when it
// ended.
double SettledMB(const QString& pid) {
  long last = -1;
  QElapsedTimer steady, waited;
  steady.start();
  waited.start();
  while (waited.elapsed() < 60000) {
    const long now = StatusKB(pid, "VmRSS");
    if (now < 0) return -1;
    if (last < 0 || std::abs(now - last) > 1024) {
      last = now;
      steady.restart();
    } else if (steady.elapsed() >= 1000) {
      break;
    }
    QThread::msleep(100);
  }
  return double(last) / 1024;
}

struct ProgramFigures {
  double started = -1, diaryPage = -1, afterOk = -1, peak = -1;
};

// The real program started in Home: its memory once the calendar is written and the memory
// settled, then after a click on the Diary page tab when it runs on an X server.
ProgramFigures MeasureProgram(const kvbench::ProgramHome& home, const QString& display) {
  ProgramFigures f;
  const QProcessEnvironment env = home.Environment(display);
  const QString picture = home.Path("exe/kvmir.bmp");
  QFile::remove(picture);
  QProcess p;
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
  p.start(QStringLiteral(KV_MIROVA), {});
  p.waitForStarted(10000);
  const QString pid = QString::number(p.processId());
  QElapsedTimer waited;
  waited.start();
  while (!QFileInfo::exists(picture) && waited.elapsed() < 60000 && p.state() == QProcess::Running) QThread::msleep(20);
  if (QFileInfo::exists(picture)) {
    f.started = SettledMB(pid);
    const QRect window = display.isEmpty() ? QRect() : SettingsWindow(env);
    if (!window.isEmpty()) {
      // The Diary tab of the settings window, at a scale of 100 %.
      const QPoint tab = window.topLeft() + QPoint(96, 22);
      Xdotool(env, {QStringLiteral("mousemove"), QString::number(tab.x()), QString::number(tab.y()), QStringLiteral("click"),
                    QStringLiteral("1")});
      QThread::msleep(500);
      f.diaryPage = SettledMB(pid);
      // OK puts the settings window away: the program waits in the tray.
      const QPoint ok = window.topLeft() + QPoint(590, 459);
      Xdotool(env, {QStringLiteral("mousemove"), QString::number(ok.x()), QString::number(ok.y()), QStringLiteral("click"),
                    QStringLiteral("1")});
      QThread::msleep(500);
      f.afterOk = SettledMB(pid);
    }
    f.peak = double(StatusKB(pid, "VmHWM")) / 1024;
  }
  p.terminate();
  if (!p.waitForFinished(10000)) p.kill();
  p.waitForFinished(5000);
  return f;
}

void BM_ProgramWithDiary(benchmark::State& st) {
  const kvbench::ProgramHome home(int(st.range(0)), QStringLiteral(KV_DEFAULT_PACK));
  const QString display = TheXServer().Display();
  // The first start makes the settings, as a user's program has them.
  MeasureProgram(home, QString());
  ProgramFigures f;
  double bare = 0;
  for (auto _ : st) {
    bare = ChildMB(QStringLiteral("bare"), QString(), home.Environment(display));
    f = MeasureProgram(home, display);
  }
  if (bare < 0 || f.started < 0) st.SkipWithError("no figure: the program or the bare application did not run");
  st.counters["bare_MB"] = bare;
  st.counters["started_MB"] = f.started;
  if (f.diaryPage >= 0) st.counters["diary_page_MB"] = f.diaryPage;
  if (f.afterOk >= 0) st.counters["tray_after_ok_MB"] = f.afterOk;
  st.counters["peak_MB"] = f.peak;
  st.counters["over_bare_MB"] = std::max(f.started, f.diaryPage) - bare;
}
BENCHMARK(BM_ProgramWithDiary)->Arg(0)->Arg(10000)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond);

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
