// The Diary page with a diary of 10,000 entries of about 2 KB of RTF each. Goals: opening the
// page, selecting a date and typing a key each under 50 ms; listing all entries under 100 ms.
// Baselines in the same run: a plain text edit taking a key, and a plain list widget taking
// 10,000 captions.
#include <benchmark/benchmark.h>

#include "bench/BenchUtil.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QDate>
#include <QFile>
#include <QListWidget>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QKeyEvent>
#include <QTextEdit>
#include <QVBoxLayout>
#include <memory>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirDiaryStore.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "controls/KVListBox.h"
#include "controls/KVNbModule.h"
#include "controls/KVRichEdOLE.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVZlib.h"
#include "tests/common/MainFormComponent.h"
#include "ui/DiaryTab.h"

namespace {

constexpr int kEntries = 10000;

// A key as the user types it: press and release.
void TypeKey(QWidget& w) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  QApplication::sendEvent(&w, &press);
  QApplication::sendEvent(&w, &release);
}

QDate Day(int i) { return QDate(1990, 1, 1).addDays(i); }

using kvtest::FormComponent;

// The settings window's diary page, loaded through the store from a diary file of kEntries
// entries, shown, with the Diary page and another page to switch between.
struct DiaryWindow {
  QTemporaryDir dir;
  FormComponent form;
  std::unique_ptr<TMirModel> model;
  QTabWidget window;
  TDiaryTab* page = nullptr;
  std::unique_ptr<TMirDiaryStore> store;

  DiaryWindow() {
    ExeDir = dir.path() + "/";
    model = std::make_unique<TMirModel>(form);
    {
      TMDiaryBase doc;
      QRandomGenerator rng(42);
      for (int i = 0; i < kEntries; ++i) {
        TKVXBDiaryItem* item = doc.Data().Add();
        item->idx = DateKey(Day(i));
        item->Title = QStringLiteral("Note");
        item->Lines = kvbench::NoteRtf(rng);
      }
      doc.SaveToFile(DiaryFile(), true);
    }
    auto* host = new QWidget;
    auto* l = new QVBoxLayout(host);
    l->setContentsMargins(0, 0, 0, 0);
    page = new TDiaryTab(*model, {}, host);
    l->addWidget(page);
    window.addTab(host, QStringLiteral("Diary"));
    window.addTab(new QWidget, QStringLiteral("Other"));
    window.resize(640, 480);
    page->InitializePage();
    store = std::make_unique<TMirDiaryStore>(*model);
    store->LoadDiaryAndNotes();
    window.show();
    QApplication::processEvents();
  }
  ~DiaryWindow() {
    store.reset();
    model.reset();
  }
};

DiaryWindow& TheWindow() {
  static DiaryWindow* w = new DiaryWindow;
  return *w;
}

void BM_OpenDiaryPage(benchmark::State& state) {
  DiaryWindow& w = TheWindow();
  for (auto _ : state) {
    state.PauseTiming();
    w.window.setCurrentIndex(1);
    QApplication::processEvents();
    state.ResumeTiming();
    w.window.setCurrentIndex(0);
    w.page->EditorFocus();
    w.window.repaint();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_OpenDiaryPage)->Unit(benchmark::kMillisecond);

void BM_SelectADate(benchmark::State& state) {
  DiaryWindow& w = TheWindow();
  w.window.setCurrentIndex(0);
  int i = 0;
  for (auto _ : state) {
    // A click on another day: its entry is shown in the editor and selected in the list.
    w.page->MonthCalendar()->setSelectedDate(Day(5000 + (i++ % 300)));
    w.page->repaint();
    QApplication::processEvents();
  }
  state.counters["entries"] = w.page->DiaryList()->Count();
}
BENCHMARK(BM_SelectADate)->Unit(benchmark::kMillisecond);

void BM_TypeAKey(benchmark::State& state) {
  DiaryWindow& w = TheWindow();
  w.window.setCurrentIndex(0);
  w.page->MonthCalendar()->setSelectedDate(Day(4000));
  TKVRichEditOLE& editor = *w.page->Editor();
  editor.setFocus();
  editor.moveCursor(QTextCursor::End);
  for (auto _ : state) {
    TypeKey(editor);
    editor.repaint();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_TypeAKey)->Unit(benchmark::kMillisecond);

void BM_ListAllEntries(benchmark::State& state) {
  DiaryWindow& w = TheWindow();
  w.window.setCurrentIndex(0);
  for (auto _ : state) {
    w.page->ShowAllBtnClick();
    w.page->repaint();
    QApplication::processEvents();
  }
  state.counters["entries"] = w.page->DiaryList()->Count();
}
BENCHMARK(BM_ListAllEntries)->Unit(benchmark::kMillisecond);

// Start-up's part: the diary file read into a fresh notebook (no goal; reported).
void BM_LoadDiaryFile(benchmark::State& state) {
  TheWindow();
  for (auto _ : state) {
    FormComponent form;
    TMirModel model(form);
    TMirDiaryStore store(model);
    store.LoadDiary();
    benchmark::DoNotOptimize(model.NbDiary->Data().Items(0)->Count());
  }
}
BENCHMARK(BM_LoadDiaryFile)->Unit(benchmark::kMillisecond);

// Start-up's part where the calendar shows diary entries: the entries of the days it shows read
// ahead of the whole diary. Floor: zlib inflating the file alone.
void BM_ReadDiaryDaysAhead(benchmark::State& state) {
  TheWindow();
  const QDate today = Day(kEntries / 2);
  for (auto _ : state) {
    const auto days = ReadDiaryDays(DiaryFile(), today.addDays(-7), today.addDays(366));
    if (!days) state.SkipWithError("not read");
    benchmark::DoNotOptimize(days->size());
  }
}
BENCHMARK(BM_ReadDiaryDaysAhead)->Unit(benchmark::kMillisecond);

void BM_Floor_InflateDiaryFile(benchmark::State& state) {
  TheWindow();
  for (auto _ : state) {
    QFile file(DiaryFile());
    file.open(QIODevice::ReadOnly);
    benchmark::DoNotOptimize(ZDecompress(file.readAll(), qint64(1) << 30).size());
  }
}
BENCHMARK(BM_Floor_InflateDiaryFile)->Unit(benchmark::kMillisecond);

// ---- baselines

void BM_Baseline_PlainEditKey(benchmark::State& state) {
  QTextEdit edit;
  edit.resize(320, 400);
  edit.show();
  QRandomGenerator rng(3);
  edit.setPlainText(kvbench::NoteRtf(rng));
  edit.setFocus();
  for (auto _ : state) {
    TypeKey(edit);
    edit.repaint();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_Baseline_PlainEditKey)->Unit(benchmark::kMillisecond);

void BM_Baseline_PlainListOf10000(benchmark::State& state) {
  QListWidget list;
  list.setUniformItemSizes(true);
  list.resize(300, 300);
  list.show();
  QStringList captions;
  for (int i = 0; i < kEntries; ++i) captions << QLocale().toString(Day(i), QLocale::LongFormat) + " - Note";
  for (auto _ : state) {
    list.clear();
    list.addItems(captions);
    list.setCurrentRow(0);
    list.repaint();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_Baseline_PlainListOf10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return kvbench::RunBenchmarks(argc, argv, [] { TheWindow(); }); }
