// The Calendar Style page at 1080p: what one change costs from the control to the redrawn preview
// (a colour, a transparency, a contrast; a font, a layout), against a full-screen 40 percent blend
// as the baseline of the same run; and a track dragged through its whole range with every move
// arriving before the program draws, which must queue one drawing, not one per move.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSlider>
#include <QToolButton>
#include <memory>

#include "bench/BenchUtil.h"
#include "calendar/MirData.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "controls/KVSkinExtCtrls.h"
#include "foundation/KVGraphics.h"
#include "tests/common/MainFormComponent.h"
#include "ui/StyleTab.h"

namespace {

using kvtest::FormComponent;

// The main form's model over a photo on a 1080p screen, the page over it, the built-in layouts
// listed and layout 151 chosen, the picture cached by a first drawing.
struct Page {
  FormComponent form;
  std::unique_ptr<TMirModel> model;
  std::unique_ptr<TStyleTab> page;
  int drawings = 0;

  Page() {
    TMirModelHooks mh;
    mh.ScreenSize = [] { return QSize(1920, 1080); };
    model = std::make_unique<TMirModel>(form, mh);
    Tini& ini = *model->Ini;
    ini.UserImageSet = true;
    ini.ImagePosition = 2;
    ini.StoredStyle.DayFont.Name = QStringLiteral("DejaVu Sans");
    ini.StoredStyle.LayoutID = 151;
    model->UsedImages = {kvbench::ThePhoto().path};
    TStyleTabHooks h;
    h.RenderCalendar = [this](bool recalc) {
      ++drawings;
      model->RenderCalendar(recalc);
    };
    h.WorkArea = [] { return TWorkArea{1080, 0, 1040, 96}; };
    page = std::make_unique<TStyleTab>(*model, h);
    page->LoadLayouts();
    page->DefaultSettings();
    model->SetBusy(false);
    model->RenderCalendar(true);
  }
  ~Page() {
    page.reset();
    model.reset();
  }
  template <class T>
  T* Find(const char* name) {
    return page->findChild<T*>(QLatin1String(name));
  }
};

void BM_BaselineBlend40FullScreen(benchmark::State& st) {
  TKVBitmap work(1920, 1080);
  TKVBitmap item;
  item.BrushColor = RGB(0, 159, 69);
  item.SetSize(1920, 1080);
  for (auto _ : st) {
    AlphaBlendBitmap(work, 0, 0, item, 0.4f);
    benchmark::DoNotOptimize(work.ScanLine(540));
  }
}

// The picker's colour into the checked colour, drawn (no layout recalculation).
void BM_ColourChange(benchmark::State& st) {
  Page p;
  int i = 0;
  for (auto _ : st) {
    p.page->RGBPicker().SetColor(RGB(i & 255, 80, 40));
    ++i;
    p.page->FlushRedraw();
  }
}

void BM_TransparencyChange(benchmark::State& st) {
  Page p;
  auto* track = p.Find<QSlider>("TransparencyTrack");
  int i = 0;
  for (auto _ : st) {
    track->setValue(8 + (i++ & 1));
    p.page->FlushRedraw();
  }
}

void BM_DayContrastChange(benchmark::State& st) {
  Page p;
  auto* track = p.Find<QSlider>("DayContrastTrack");
  int i = 0;
  for (auto _ : st) {
    track->setValue((i++ & 1) ? 100 : 125);
    p.page->FlushRedraw();
  }
}

// Bold on and off: the font fitted again and the layout recalculated.
void BM_FontChange(benchmark::State& st) {
  Page p;
  auto* bold = p.Find<QToolButton>("CalBoldBtn");
  for (auto _ : st) {
    bold->click();
    p.page->FlushRedraw();
  }
}

// Two built-in layouts in turn: loaded, the font fitted to the layout, recalculated and drawn.
void BM_LayoutChange(benchmark::State& st) {
  Page p;
  int i = 0;
  for (auto _ : st) {
    p.page->LayoutScroll().SelectLayoutID((i++ & 1) ? 151 : 152);
    p.page->FlushRedraw();
  }
}

// A drag through all 21 positions of a track whose moves all come before the program draws.
void BM_TrackDragWholeRange(benchmark::State& st) {
  Page p;
  auto* track = p.Find<QSlider>("TransparencyTrack");
  int queuedMost = 0, drawn = 0, asked = 0;
  bool up = true;
  for (auto _ : st) {
    const int before = p.drawings, askedBefore = p.page->RedrawsRequested();
    track->setSliderDown(true);
    for (int k = 0; k <= 20; ++k) {
      track->setSliderPosition(up ? k : 20 - k);
      queuedMost = std::max(queuedMost, p.page->RedrawQueued() ? 1 : 0);
    }
    track->setSliderDown(false);
    up = !up;
    QCoreApplication::processEvents();
    drawn += p.drawings - before;
    asked += p.page->RedrawsRequested() - askedBefore;
  }
  st.counters["drawings_per_drag"] = benchmark::Counter(drawn, benchmark::Counter::kAvgIterations);
  st.counters["asked_per_drag"] = benchmark::Counter(asked, benchmark::Counter::kAvgIterations);
  st.counters["queued_at_most"] = queuedMost;
}

}  // namespace

BENCHMARK(BM_BaselineBlend40FullScreen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColourChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransparencyChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DayContrastChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FontChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrackDragWholeRange)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  return kvbench::RunBenchmarks(argc, argv, [] { kvbench::ThePhoto(); });
}
