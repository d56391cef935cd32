// One drawing of the calendar (the built-in layout 151 over a picture, real fonts, the settings
// saved as after every drawing) against the bare work it cannot avoid: a full-screen 40 percent
// blend for a redraw with the picture cached, decoding and fitting for a picture change.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cmath>
#include <memory>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MDataDM.h"
#include "calendar/MirData.h"
#include "calendar/MirRender.h"
#include "calendar/iniData.h"
#include "foundation/KVObjectText.h"
#include "foundation/KVPicture.h"
#include "foundation/KVRStream.h"
#include "bench/BenchUtil.h"

namespace {

using kvbench::BuiltinLayout;
using kvbench::ThePhoto;
using kvbench::TheSandbox;

struct Scene {
  Tini ini;
  TLayoutIni layout;
  TMHolidayBase holidays;
  TRenderState state;
  TRenderInputs in;

  explicit Scene(QSize screen) {
    ini.UserImageSet = true;
    ini.ImagePosition = 0;
    ini.ImageIndex = 0;
    ini.WorkStyle.DayFont.Name = QStringLiteral("DejaVu Sans");
    ini.WorkStyle.MonthBarTransparency = 60;
    layout.LoadLayout(BuiltinLayout(151));
    in.Settings = &ini;
    in.Layout = &layout;
    in.Holidays = &holidays;
    in.UsedImages = QStringList{ThePhoto().path};
    in.ScreenSize = screen;
    in.PixelsPerInch = 96;
    FitCalendarFont(state, ini.WorkStyle.DayFont, ini.WorkStyle.DaySpace, screen.height() - 40, 96);
  }
};

void BM_Blend40FullScreen(benchmark::State& st) {
  const int w = int(st.range(0)), h = int(st.range(1));
  TKVBitmap work(w, h);
  TKVBitmap item;
  item.BrushColor = RGB(0, 159, 69);
  item.SetSize(w, h);
  for (auto _ : st) {
    AlphaBlendBitmap(work, 0, 0, item, 0.4f);
    benchmark::DoNotOptimize(work.ScanLine(h / 2));
  }
}

// A redraw with the picture cached (colour, transparency or notes changes).
void BM_RenderCached(benchmark::State& st) {
  Scene s(QSize(int(st.range(0)), int(st.range(1))));
  RenderCalendar(s.state, s.in, true);
  for (auto _ : st) {
    RenderCalendar(s.state, s.in, false);
    benchmark::DoNotOptimize(s.state.Preview.ScanLine(0));
  }
}

// The same with the layout recalculated.
void BM_RenderCachedRecalc(benchmark::State& st) {
  Scene s(QSize(int(st.range(0)), int(st.range(1))));
  for (auto _ : st) {
    RenderCalendar(s.state, s.in, true);
    benchmark::DoNotOptimize(s.state.Preview.ScanLine(0));
  }
}

// A new picture: the 4000 x 3000 JPEG decoded, fitted and drawn over.
void BM_RenderNewPicture(benchmark::State& st) {
  Scene s(QSize(int(st.range(0)), int(st.range(1))));
  for (auto _ : st) {
    s.state.DropPicture();
    RenderCalendar(s.state, s.in, true);
    benchmark::DoNotOptimize(s.state.Preview.ScanLine(0));
  }
}

// What a picture change cannot avoid: decoding for the screen and fitting.
void BM_DecodeAndFit(benchmark::State& st) {
  const int w = int(st.range(0)), h = int(st.range(1));
  TKVBitmap work;
  for (auto _ : st) {
    const QImage pic = LoadPictureFromFile(ThePhoto().path, QSize(w, h));
    PaintStretchFit(work, &pic, w, h);
    benchmark::DoNotOptimize(work.ScanLine(0));
  }
}

}  // namespace

BENCHMARK(BM_Blend40FullScreen)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderCached)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderCachedRecalc)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAndFit)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderNewPicture)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  return kvbench::RunBenchmarks(argc, argv, [] { kvbench::ThePhoto(); });
}
