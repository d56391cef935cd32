// Start-up as the user waits for it: the real program started with a program folder of its own
// (the default image pack, a diary of 0 or 20,000 entries of about 2 KB, the notes box showing
// the quick notes only, as by default, or the coming days' diary entries too), wall time from the
// start to the calendar picture written for the desktop. Floor in the same run: a bare Qt
// program of the same toolkit that starts, draws a screen-sized picture and writes it as a BMP.
// Goal: within 2x the floor and independent of the diary's size.
#include <benchmark/benchmark.h>

#include "bench/BenchUtil.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
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

// One value of the stored settings set, as the settings window would store it.
void SetSetting(const kvbench::ProgramHome& home, const QString& name, int value) {
  QFile file(home.Path("config/KelVoro/registry.json"));
  if (!file.open(QIODevice::ReadOnly)) return;
  QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
  file.close();
  // Software\Kel Voro\Mirova Calendar
  QJsonObject keys = root["keys"].toObject(), software = keys["Software"].toObject();
  QJsonObject softwareKeys = software["keys"].toObject(), maker = softwareKeys["Kel Voro"].toObject();
  QJsonObject makerKeys = maker["keys"].toObject(), program = makerKeys["Mirova Calendar"].toObject();
  QJsonObject values = program["values"].toObject();
  values[name] = QJsonObject{{"data", value}, {"type", "dword"}};
  program["values"] = values;
  makerKeys["Mirova Calendar"] = program;
  maker["keys"] = makerKeys;
  softwareKeys["Kel Voro"] = maker;
  software["keys"] = softwareKeys;
  keys["Software"] = software;
  root["keys"] = keys;
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(QJsonDocument(root).toJson());
}

void StartUp(benchmark::State& state, int entries, int notesMode) {
  const kvbench::ProgramHome home(entries, QStringLiteral(KV_DEFAULT_PACK));
  const QString picture = home.Path("exe/kvmir.bmp");
  StartUntilWritten(QStringLiteral(KV_MIROVA), {}, home.Environment(), picture);  // the first start makes the settings
  SetSetting(home, QStringLiteral("ShowNotesOptions"), notesMode);
  for (auto _ : state) {
    const double ms = StartUntilWritten(QStringLiteral(KV_MIROVA), {}, home.Environment(), picture);
    if (ms < 0) state.SkipWithError("no picture was written");
    state.SetIterationTime(ms / 1000);
  }
}

// Arguments: the diary's entries, the notes mode (1 quick notes only, 0 diary and quick notes).
void BM_StartToBackground(benchmark::State& state) { StartUp(state, int(state.range(0)), int(state.range(1))); }
BENCHMARK(BM_StartToBackground)
    ->Args({0, 1})
    ->Args({20000, 1})
    ->Args({0, 0})
    ->Args({20000, 0})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

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
