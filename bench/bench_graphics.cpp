// The picture path of one drawing: decoding a 4000 x 3000 photo, fitting it to the screen,
// blending items onto it and writing the 24-bit calendar bitmap, with the parts measured alone.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cmath>

#include "foundation/KVGraphics.h"
#include "foundation/KVPicture.h"
#include "bench/BenchUtil.h"

namespace {

using kvbench::ThePhoto;

QString OutPath() { return kvbench::TheSandbox().dir.path() + QStringLiteral("/kvmir.bmp"); }

// 40 percent of the screen as one translucent band.
void BlendBand(TKVBitmap& work, const TKVBitmap& band) { AlphaBlendBitmap(work, 0, work.Height() / 3, band, 0.4f); }

TKVBitmap Band(int w, int h) {
  TKVBitmap band;
  band.BrushColor = RGB(0, 159, 69);
  band.SetSize(w, h * 2 / 5);
  return band;
}

void BM_DecodeFullSize(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(LoadPictureFromFile(ThePhoto().path));
  state.counters["file_MB"] = double(ThePhoto().bytes) / 1e6;
}

// Decoding for the screen and fitting (PaintStretchFit), as the renderer places a picture.
void BM_DecodeAndFit(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  TKVBitmap work;
  for (auto _ : state) {
    const QImage pic = LoadPictureFromFile(ThePhoto().path, QSize(w, h));
    PaintStretchFit(work, &pic, w, h);
    benchmark::DoNotOptimize(work.ScanLine(0));
  }
}

// Fitting alone, the picture decoded once for the screen.
void BM_Fit(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  const QImage pic = LoadPictureFromFile(ThePhoto().path, QSize(w, h));
  TKVBitmap work;
  for (auto _ : state) {
    PaintStretchFit(work, &pic, w, h);
    benchmark::DoNotOptimize(work.ScanLine(0));
  }
  state.SetLabel(QStringLiteral("decoded %1x%2").arg(pic.width()).arg(pic.height()).toStdString());
}

void BM_Blend40Percent(benchmark::State& state) {
  TKVBitmap work(1920, 1080);
  const TKVBitmap band = Band(1920, 1080);
  for (auto _ : state) {
    BlendBand(work, band);
    benchmark::DoNotOptimize(work.ScanLine(500));
  }
}

void BM_BlurTextLine(benchmark::State& state) {
  TKVBitmap line(700, 40);
  line.BrushColor = clBlack;
  line.FillRect(GraphicBounds(line));
  line.Font.setPixelSize(24);
  line.FontColor = clWhite;
  line.TextOut(10, 8, QStringLiteral("September 2025  Mo Tu We Th Fr Sa Su"));
  const double radius = double(state.range(0)) / 10.0;
  for (auto _ : state) {
    TKVBitmap copy(line.Image());
    Blur(copy, radius);
    benchmark::DoNotOptimize(copy.ScanLine(0));
  }
}

void BM_ShadowTextLine(benchmark::State& state) {
  TKVBitmap item(700, 60);
  item.Font.setPixelSize(32);
  item.FontColor = clWhite;
  for (auto _ : state) {
    DrawShadowText(item, 3, 3, QStringLiteral("September 2025"), 0, 0.8);
    benchmark::DoNotOptimize(item.ScanLine(10));
  }
}

void BM_WriteBmp(benchmark::State& state) {
  TKVBitmap work(int(state.range(0)), int(state.range(1)));
  for (auto _ : state) SaveBitmap24(OutPath(), work.Image());
}

// The bare work: decoding for the screen and writing a screen-sized bitmap.
void BM_Baseline_DecodeWrite1080(benchmark::State& state) {
  const TKVBitmap work(1920, 1080);
  for (auto _ : state) {
    const QImage pic = LoadPictureFromFile(ThePhoto().path, QSize(1920, 1080));
    benchmark::DoNotOptimize(pic.constBits());
    SaveBitmap24(OutPath(), work.Image());
  }
}

// The same from the libraries alone: libjpeg's decode at the scale the program takes for the
// screen, and as many bytes as the bitmap has written with one call and flushed.
void BM_Baseline_LibrariesDecodeWrite1080(benchmark::State& state) {
  const QString out = kvbench::TheSandbox().dir.path() + QStringLiteral("/bare.bmp");
  QSize decoded;
  for (auto _ : state) {
    decoded = kvbench::BareDecode(ThePhoto().path, 0, QSize(1920, 1080));
    kvbench::BareWriteAndSync(out, QSize(1920, 1080));
  }
  state.SetLabel(QStringLiteral("decoded %1x%2").arg(decoded.width()).arg(decoded.height()).toStdString());
}

// The whole path: decode, fit, blend 40 percent, write.
void BM_Path_DecodeFitBlendWrite1080(benchmark::State& state) {
  TKVBitmap work;
  const TKVBitmap band = Band(1920, 1080);
  for (auto _ : state) {
    const QImage pic = LoadPictureFromFile(ThePhoto().path, QSize(1920, 1080));
    PaintStretchFit(work, &pic, 1920, 1080);
    BlendBand(work, band);
    SaveBitmap24(OutPath(), work.Image());
  }
}

}  // namespace

BENCHMARK(BM_DecodeFullSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAndFit)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fit)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blend40Percent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlurTextLine)->Arg(8)->Arg(30)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShadowTextLine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteBmp)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_DecodeWrite1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_LibrariesDecodeWrite1080)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Path_DecodeFitBlendWrite1080)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  return kvbench::RunBenchmarks(argc, argv, [] { kvbench::ThePhoto(); });
}
