// What loading a user's document costs: peak memory beyond the moment before the load and wall
// time, for hostile files of under 1 MB (many empty entries, lines or items, one huge title) and
// for a large diary the program itself saved. Each load runs in a process of its own (this
// program started again with --child=KIND FILE), so that one peak does not hide another; the
// baseline is reading the same file's bytes in such a process.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <cstdio>
#include <cstring>
#include <functional>

#include "bench/BenchUtil.h"
#include "calendar/KVXSkinBaseM1.h"
#include "foundation/KVZlib.h"

namespace {

long StatusKB(const char* key) {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith(key)) return line.mid(int(std::strlen(key))).trimmed().split(' ').first().toLong();
  return -1;
}

// Starts a new peak from the memory in use now.
void ResetPeak() {
  QFile f(QStringLiteral("/proc/self/clear_refs"));
  if (f.open(QIODevice::WriteOnly)) f.write("5");
}

void Accept(TPersistent*, const QString&, bool& ok) { ok = true; }

template <class Doc>
int LoadInChild(const QString& file, const std::function<int(Doc&)>& count) {
  Doc doc;
  doc.OnVerify.Set(&Accept);
  ResetPeak();
  const long before = StatusKB("VmRSS:");
  QElapsedTimer t;
  t.start();
  doc.LoadFromFile(file);
  const qint64 ms = t.elapsed();
  std::printf("RESULT %ld %lld %d %d\n", StatusKB("VmHWM:") - before, qlonglong(ms), doc.LoadFailed ? 1 : 0,
              count(doc));
  std::fflush(stdout);
  return 0;
}

int Child(const QString& kind, const QString& file) {
  if (kind == QLatin1String("bare")) {
    ResetPeak();
    const long before = StatusKB("VmRSS:");
    QElapsedTimer t;
    t.start();
    QFile f(file);
    QByteArray bytes;
    if (f.open(QIODevice::ReadOnly)) bytes = f.readAll();
    std::printf("RESULT %ld %lld 0 %lld\n", StatusKB("VmHWM:") - before, qlonglong(t.elapsed()), qlonglong(bytes.size()));
    return 0;
  }
  if (kind == QLatin1String("diary"))
    return LoadInChild<TMDiaryBase>(file, [](TMDiaryBase& d) { return d.Data().Count(); });
  if (kind == QLatin1String("notes"))
    return LoadInChild<TMNotesBase>(file, [](TMNotesBase& d) { return int(d.QuickNote.size()); });
  if (kind == QLatin1String("holidays"))
    return LoadInChild<TMHolidayBase>(file, [](TMHolidayBase& d) { return d.Data().Count(); });
  if (kind == QLatin1String("events"))
    return LoadInChild<TMEventBase>(file, [](TMEventBase& d) { return d.Data().Count(); });
  return 1;
}

struct Figures {
  double mb = -1, ms = -1;
  bool failed = false;
  long items = 0;
};

Figures RunChild(const QString& kind, const QString& file) {
  QProcess p;
  p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child=") + kind, file});
  Figures r;
  if (!p.waitForFinished(600000)) {
    p.kill();
    p.waitForFinished();
    return r;
  }
  for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
    if (!line.startsWith("RESULT ")) continue;
    const QList<QByteArray> f = line.mid(7).split(' ');
    if (f.size() < 4) break;
    r.mb = f[0].toDouble() / 1024.0;
    r.ms = f[1].toDouble();
    r.failed = f[2] == "1";
    r.items = f[3].toLong();
  }
  return r;
}

QString Write(const QString& name, const QByteArray& bytes) {
  const QString path = kvbench::TheSandbox().dir.path() + QLatin1Char('/') + name;
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(bytes);
  return path;
}

QByteArray Head(const char* component, const char* cls, const char* type) {
  return QByteArray("object ") + component + ": " + cls + "\r\n  DocType = '" + type + "'\r\n  DocVer = 1\r\n";
}

QByteArray Repeat(const QByteArray& piece, qint64 n) {
  QByteArray out;
  out.reserve(piece.size() * n);
  for (qint64 i = 0; i < n; ++i) out += piece;
  return out;
}

QString EmptyDiaryEntries() {
  static const QString path = Write(
      "diary-5m.dat", ZCompress(Head("DiaryBase", "TMDiaryBase", "Kel Voro Diary") + "  Data = <" +
                                Repeat(" item end", 5000000) + ">\r\nend\r\n"));
  return path;
}
QString EmptyNoteLines() {
  static const QString path =
      Write("notes-10m.dat", ZCompress(Head("NotesBase", "TMNotesBase", "Kel Voro Quick Notes") +
                                       "  QuickNote.Strings = (" + Repeat(" ''", 10000000) + ")\r\nend\r\n"));
  return path;
}
QString HugeHolidayTitle() {
  static const QString path = Write(
      "holiday-title.dat", ZCompress(Head("HolidayBase", "TMHolidayBase", "Kel Voro Holidays") +
                                     "  Data = <\r\n    item\r\n      Title = '" + QByteArray(16 * 1024 * 1024 - 256, 'x') +
                                     "'\r\n    end>\r\nend\r\n"));
  return path;
}
QString EmptyEvents() {
  static const QString path =
      Write("events-55k.dat", ZCompress(Head("EventBase", "TMEventBase", "Kel Voro Events") + "  Data = <" +
                                        Repeat(" item end", 55000) + ">\r\nend\r\n"));
  return path;
}
QString EmptyHolidays() {
  static const QString path =
      Write("holidays-55k.dat", ZCompress(Head("HolidayBase", "TMHolidayBase", "Kel Voro Holidays") + "  Data = <" +
                                          Repeat(" item end", 55000) + ">\r\nend\r\n"));
  return path;
}
// 100,000 entries of about 2 KB of text each (2.4 KB as rich text), saved by the program: some
// 300 MB of document text.
QString LargeDiary() {
  static const QString path = [] {
    TMDiaryBase doc;
    QRandomGenerator rng(11);
    QStringList pool;
    for (int k = 0; k < 64; ++k) {
      QString body;
      while (body.size() < 2200) {
        body += QStringLiteral("Note about the ");
        for (int w = 0; w < 6; ++w) body += QLatin1String(kvbench::kNoteWords[rng.bounded(14)]) + QLatin1Char(' ');
        body += QStringLiteral("with \\b bold\\b0  and \\cf1 colour\\cf0  words.\\par\r\n");
      }
      pool << QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
                             "{\\colortbl ;\\red0\\green0\\blue255;}\r\n\\viewkind4\\uc1\\pard\\f0\\fs20 ") +
                  body + QStringLiteral("}\r\n");
    }
    const QDate first(1800, 1, 1);
    for (int i = 0; i < 100000; ++i) {
      TKVXBDiaryItem* item = doc.Data().Add();
      item->idx = first.addDays(i).toString(QStringLiteral("yyyy/MM/dd"));
      item->Lines = pool[i % pool.size()];
    }
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    doc.SaveToStream(b, true);
    return Write("diary-100k.dat", b.data());
  }();
  return path;
}

void Report(benchmark::State& st, const QString& kind, const QString& file) {
  Figures load, bare;
  for (auto _ : st) {
    bare = RunChild(QStringLiteral("bare"), file);
    load = RunChild(kind, file);
  }
  if (load.mb < 0 || bare.mb < 0) {
    st.SkipWithError("a child process printed no figure");
    return;
  }
  st.counters["file_KB"] = double(QFileInfo(file).size()) / 1024.0;
  st.counters["load_MB"] = load.mb;
  st.counters["load_ms"] = load.ms;
  st.counters["bare_MB"] = bare.mb;
  st.counters["bare_ms"] = bare.ms;
  st.counters["refused"] = load.failed ? 1 : 0;
  st.counters["items"] = double(load.items);
}

void BM_DiaryFiveMillionEmptyEntries(benchmark::State& st) { Report(st, "diary", EmptyDiaryEntries()); }
void BM_NotesTenMillionEmptyLines(benchmark::State& st) { Report(st, "notes", EmptyNoteLines()); }
void BM_HolidayTitle16MiB(benchmark::State& st) { Report(st, "holidays", HugeHolidayTitle()); }
void BM_Events55kEmptyItems(benchmark::State& st) { Report(st, "events", EmptyEvents()); }
void BM_Holidays55kEmptyItems(benchmark::State& st) { Report(st, "holidays", EmptyHolidays()); }
void BM_Diary100kEntriesOf2KB(benchmark::State& st) { Report(st, "diary", LargeDiary()); }
BENCHMARK(BM_DiaryFiveMillionEmptyEntries)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NotesTenMillionEmptyLines)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HolidayTitle16MiB)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Events55kEmptyItems)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Holidays55kEmptyItems)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Diary100kEntriesOf2KB)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--child=", 8) != 0) continue;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return Child(QString::fromLatin1(argv[i] + 8), i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString());
  }
  return kvbench::RunBenchmarks(argc, argv);
}
