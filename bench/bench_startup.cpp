// Start-up as the user waits for it: the real program started with a program folder of its own
// (the default image pack, a diary of 0 or 20,000 entries of about 2 KB), wall time from the
// start to the calendar picture written for the desktop. Floor in the same run: a bare Qt
// program of the same toolkit that starts, draws a screen-sized picture and writes it as a BMP.
// Goal: within 2x the floor and independent of the diary's size.
#include <benchmark/benchmark.h>

#include "bench/BenchUtil.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSaveFile>
#include <QThread>
#include <cstring>
#include <sys/stat.h>


namespace {

// Nanoseconds since the epoch at which Path was last written; 0 when it is not there.
qint64 WrittenAt(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return 0;
  return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Starts Program and waits until Picture is written; the milliseconds from the start.
double StartUntilWritten(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                         const QString& picture) {
  QFile::remove(picture);
  QProcess p;
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  const qint64 start = QDateTime::currentMSecsSinceEpoch() * 1000000;
  QElapsedTimer waited;
  waited.start();
  p.start(program, args);
  qint64 at = 0;
  while ((at = WrittenAt(picture)) == 0 && waited.elapsed() < 60000) QThread::usleep(500);
  p.terminate();
  if (!p.waitForFinished(10000)) p.kill();
  p.waitForFinished(5000);
  return at == 0 ? -1 : double(at - start) / 1e6;
}

void StartUp(benchmark::State& state, int entries) {
  const kvbench::ProgramHome home(entries, QStringLiteral(KV_DEFAULT_PACK));
  const QString picture = home.Path("exe/kvmir.bmp");
  StartUntilWritten(QStringLiteral(KV_MIROVA), {}, home.Environment(), picture);  // the first start makes the settings
  for (auto _ : state) {
    const double ms = StartUntilWritten(QStringLiteral(KV_MIROVA), {}, home.Environment(), picture);
    if (ms < 0) state.SkipWithError("no picture was written");
    state.SetIterationTime(ms / 1000);
  }
}

void BM_StartToBackground(benchmark::State& state) { StartUp(state, int(state.range(0))); }
BENCHMARK(BM_StartToBackground)->Arg(0)->Arg(20000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// Floor: this program started again as a bare Qt program that draws a 1920 x 1080 picture and
// writes it.
void BM_Floor_BareQtDrawAndWrite(benchmark::State& state) {
  const kvbench::ProgramHome home(0, QStringLiteral(KV_DEFAULT_PACK));
  const QString picture = home.Path("exe/bare.bmp");
  for (auto _ : state) {
    const double ms = StartUntilWritten(QCoreApplication::applicationFilePath(), {QStringLiteral("--bare"), picture},
                                        home.Environment(), picture);
    if (ms < 0) state.SkipWithError("no picture was written");
    state.SetIterationTime(ms / 1000);
  }
}
BENCHMARK(BM_Floor_BareQtDrawAndWrite)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

int Bare(int argc, char** argv, const QString& picture) {
  QGuiApplication app(argc, argv);
  QImage image(1920, 1080, QImage::Format_RGB888);
  image.fill(Qt::darkGreen);
  QPainter(&image).drawText(QRect(0, 0, 1920, 1080), Qt::AlignCenter, QStringLiteral("Monday"));
  // Written whole, then put in place, as the program does.
  QSaveFile file(picture);
  if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "BMP")) return 1;
  return file.commit() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--bare") == 0) return Bare(argc, argv, QString::fromLocal8Bit(argv[2]));
  return kvbench::RunBenchmarks(argc, argv);
}
