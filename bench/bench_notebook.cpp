// Notebook: storing 5,000 and 50,000 entries one by one (goal: 50,000 under a second), a keyword
// search over 5,000 and 50,000 diary entries of about 2 KB of RTF each (goal: 50,000 under 150 ms
// once their text is known), sorting 10,000 entries in diary order (goal: well under 100 ms),
// filling the diary list with them, and the renderer's look-up of a year of days.
#include <benchmark/benchmark.h>

#include "bench/BenchUtil.h"

#include <QApplication>
#include <QDate>
#include <QLineEdit>
#include <QRandomGenerator>

#include "controls/KVListBox.h"
#include "controls/KVNbModule.h"

namespace {

QString DateKey(int i) { return QDate(1990, 1, 1).addDays(i).toString(QStringLiteral("yyyy/MM/dd")); }

// Count days in a shuffled order.
std::vector<int> ShuffledDays(int count) {
  QRandomGenerator rng(42);
  std::vector<int> days(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) days[size_t(i)] = i;
  for (int i = count - 1; i > 0; --i) std::swap(days[size_t(i)], days[size_t(rng.bounded(i + 1))]);
  return days;
}

// A notebook of Count entries keyed by consecutive days, in a shuffled order, read as a notebook
// file is (which does not store them one by one).
void Fill(TNbDataList& data, int count) {
  QRandomGenerator rng(42);
  QStringList lines;
  for (int d : ShuffledDays(count)) {
    lines << QStringLiteral("<!--*NB*%1*--><!--*NBT*Note*--><!--*NBC*clBlack*-->").arg(DateKey(d));
    lines << SplitNotebookLines(kvbench::NoteRtf(rng));
  }
  data.LoadSectionFromStrings(lines, 0);
}

// Storing entries one by one, as posting from the editor does, each new.
void BM_StoreEntries(benchmark::State& state) {
  const int count = int(state.range(0));
  const std::vector<int> days = ShuffledDays(count);
  QStringList keys;
  for (int d : days) keys << DateKey(d);
  const QString text = QStringLiteral("{\\rtf1\\ansi Note\\par}");
  for (auto _ : state) {
    TNbDataList data(false);
    data.AddSection();
    for (const QString& key : keys) data.StoreEntry(key, QStringLiteral("Note"), text, clBlack, 0, nbsmOverwrite);
    benchmark::DoNotOptimize(data.Items(0)->Count());
  }
}
BENCHMARK(BM_StoreEntries)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

// A search of every entry's text for three keywords; the first search (not timed) has read the
// texts once.
void BM_SearchEntries(benchmark::State& state) {
  TNbModule nb;
  TKVListBox list;
  QLineEdit edit;
  nb.SetSearchBox(&list);
  nb.SetSearchEdit(&edit);
  list.SetSortStyle(soDiaryDescending);
  Fill(nb.Data(), int(state.range(0)));
  nb.SearchKeywords = nbsAll;
  edit.setText(QStringLiteral("dentist,concert,coffee"));
  nb.Search();
  for (auto _ : state) {
    nb.Search();
    benchmark::DoNotOptimize(list.Count());
  }
  state.counters["found"] = list.Count();
}
BENCHMARK(BM_SearchEntries)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_SortTenThousandDiaryEntries(benchmark::State& state) {
  TNbDataList data(false);
  data.AddSection();
  for (int i = 0; i < 10000; ++i) data.StoreEntry(DateKey(i), QStringLiteral("Note"), QString(), clBlack, 0, nbsmKeep);
  TKVListItems shuffled;
  for (int i = 0; i < 10000; ++i) shuffled.push_back({QStringLiteral("Note"), data.Items(0)->Items(i)});
  QRandomGenerator rng(7);
  for (int i = 9999; i > 0; --i) std::swap(shuffled[size_t(i)], shuffled[size_t(rng.bounded(i + 1))]);
  for (auto _ : state) {
    TKVListItems items = shuffled;
    SortListItems(items, soDiaryAscending);
    benchmark::DoNotOptimize(items.data());
  }
}
BENCHMARK(BM_SortTenThousandDiaryEntries)->Unit(benchmark::kMillisecond);

void BM_ListTenThousandEntries(benchmark::State& state) {
  TNbModule nb;
  TKVListBox list;
  nb.TitleFormat = QStringLiteral("ddt");
  nb.SetSearchBox(&list);
  list.SetSortStyle(soDiaryDescending);
  for (int i = 0; i < 10000; ++i) nb.Data().StoreEntry(DateKey(i), QStringLiteral("Note"), QString(), clBlack, 0, nbsmKeep);
  for (auto _ : state) {
    nb.FillSearchBox();
    benchmark::DoNotOptimize(list.Count());
  }
}
BENCHMARK(BM_ListTenThousandEntries)->Unit(benchmark::kMillisecond);

void BM_FindAYearOfDays(benchmark::State& state) {
  TNbDataList data(false);
  data.AddSection();
  for (int i = 0; i < 5000; ++i) data.StoreEntry(DateKey(i * 2), QStringLiteral("Note"), QString(), clBlack, 0, nbsmKeep);
  for (auto _ : state) {
    int found = 0;
    for (int d = 4000; d < 4366; ++d) found += data.FindEntry(DateKey(d)) != nullptr;
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_FindAYearOfDays)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return kvbench::RunBenchmarks(argc, argv); }
