// What the user waits for around the diary, wall time, the first time included: the settings
// window's OK with and without an edit (the part the window waits for, and the time until the
// file is on disk), the first search after the diary loaded and a repeated one. Floors from the
// libraries in the same run: the diary file's bytes written and fsynced (POSIX), and a bare
// case-blind scan of the raw texts (QStringView::contains).
// Goals: OK under 100 ms of blocked window at 20,000 entries; the first search within 1.5x a
// repeated one and under 150 ms at 50,000 entries.
#include <benchmark/benchmark.h>

#include "bench/BenchUtil.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirDiaryStore.h"
#include "calendar/MirModel.h"
#include "controls/KVListBox.h"
#include "controls/KVNbModule.h"
#include "foundation/KVSysUtils.h"

namespace {

class FormComponent : public TComponent {
 public:
  FormComponent() { SetName(kMainFormName); }
  bool IsForm() const override { return true; }
};

QDate Day(int i) { return QDate(1900, 1, 1).addDays(i); }

// A program folder with a diary file of Entries entries of about 2 KB of rich text.
struct DiaryFolder {
  QTemporaryDir dir;
  explicit DiaryFolder(int entries) {
    TMDiaryBase doc;
    QRandomGenerator rng(42);
    for (int i = 0; i < entries; ++i) {
      TKVXBDiaryItem* item = doc.Data().Add();
      item->idx = DateKey(Day(i));
      item->Title = QStringLiteral("Note");
      item->Lines = kvbench::NoteRtf(rng);
    }
    doc.SaveToFile(Path(), true);
  }
  QString Folder() const { return dir.path() + QLatin1Char('/'); }
  QString Path() const { return Folder() + kDiaryFileName; }
};

DiaryFolder& Folder(int entries) {
  static std::map<int, std::unique_ptr<DiaryFolder>> folders;
  auto& f = folders[entries];
  if (!f) f = std::make_unique<DiaryFolder>(entries);
  return *f;
}

// One program start: the model and its store, the diary loaded from the folder, with the Diary
// page's search field and list, the page shown.
struct Program {
  FormComponent form;
  std::unique_ptr<TMirModel> model;
  std::unique_ptr<TMirDiaryStore> store;
  QLineEdit search;
  TKVListBox list;
  explicit Program(int entries) {
    ExeDir = Folder(entries).Folder();
    model = std::make_unique<TMirModel>(form);
    model->NbDiary->SetSearchEdit(&search);
    model->NbDiary->SetSearchBox(&list);
    store = std::make_unique<TMirDiaryStore>(*model);
    store->LoadDiary();
    // The Diary page shows.
    model->NbDiary->PrepareSearch();
  }
  ~Program() {
    store.reset();
    model.reset();
  }
  int Search(const QString& text) {
    search.setText(text);
    model->NbDiary->SetShowAll(false);
    return list.Count();
  }
};

// ---- OK

void BM_OkWithoutEdits(benchmark::State& state) {
  Program p(int(state.range(0)));
  for (auto _ : state) {
    p.store->SaveDiary(false);
    state.PauseTiming();
    p.store->WaitForSaves();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OkWithoutEdits)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One entry edited: what the window waits for, or the time until the file is on disk.
void OkAfterAnEdit(benchmark::State& state, bool untilOnDisk) {
  Program p(int(state.range(0)));
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    p.model->NbDiary->Data().Items(0)->Items(n % 100)->Text += QStringLiteral("x");
    ++n;
    state.ResumeTiming();
    p.store->SaveDiary(false);
    if (!untilOnDisk) state.PauseTiming();
    p.store->WaitForSaves();
    if (!untilOnDisk) state.ResumeTiming();
  }
}
void BM_OkAfterAnEdit_WindowWaits(benchmark::State& state) { OkAfterAnEdit(state, false); }
BENCHMARK(BM_OkAfterAnEdit_WindowWaits)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_OkAfterAnEdit_OnDisk(benchmark::State& state) { OkAfterAnEdit(state, true); }
BENCHMARK(BM_OkAfterAnEdit_OnDisk)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Floor: the diary file's bytes to a new file, fsynced, renamed over the old one.
void BM_Floor_WriteFsyncRename(benchmark::State& state) {
  const DiaryFolder& f = Folder(int(state.range(0)));
  QFile in(f.Path());
  in.open(QIODevice::ReadOnly);
  const QByteArray bytes = in.readAll();
  const QByteArray tmp = QFile::encodeName(f.Folder() + QStringLiteral("floor.tmp"));
  const QByteArray target = QFile::encodeName(f.Folder() + QStringLiteral("floor.dat"));
  for (auto _ : state) {
    const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size()) state.SkipWithError("write failed");
    ::fsync(fd);
    ::close(fd);
    ::rename(tmp.constData(), target.constData());
  }
  state.counters["file_MB"] = double(bytes.size()) / (1 << 20);
}
BENCHMARK(BM_Floor_WriteFsyncRename)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- Search

// The first search after a start: the diary loads (not timed), the user takes a second to reach
// the search field and type, then the search runs.
void BM_FirstSearchAfterLoad(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto p = std::make_unique<Program>(int(state.range(0)));
    QThread::msleep(1000);
    state.ResumeTiming();
    benchmark::DoNotOptimize(p->Search(QStringLiteral("dentist")));
    state.PauseTiming();
    p.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FirstSearchAfterLoad)->Arg(50000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same without the second: a search typed the moment the diary loaded.
void BM_SearchTheMomentTheDiaryLoaded(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto p = std::make_unique<Program>(int(state.range(0)));
    state.ResumeTiming();
    benchmark::DoNotOptimize(p->Search(QStringLiteral("dentist")));
    state.PauseTiming();
    p.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SearchTheMomentTheDiaryLoaded)->Arg(50000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RepeatedSearch(benchmark::State& state) {
  Program p(int(state.range(0)));
  p.Search(QStringLiteral("garden"));
  for (auto _ : state) benchmark::DoNotOptimize(p.Search(QStringLiteral("dentist")));
}
BENCHMARK(BM_RepeatedSearch)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Floor: a case-blind scan of every entry's raw text.
void BM_Floor_CaseBlindScan(benchmark::State& state) {
  Program p(int(state.range(0)));
  const TNbData& section = *p.model->NbDiary->Data().Items(0);
  std::vector<QString> texts;
  for (int i = 0; i < section.Count(); ++i) texts.push_back(section.Items(i)->Text);
  for (auto _ : state) {
    int found = 0;
    for (const QString& text : texts) found += QStringView(text).contains(QLatin1String("dentist"), Qt::CaseInsensitive);
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_Floor_CaseBlindScan)->Arg(50000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return kvbench::RunBenchmarks(argc, argv); }
