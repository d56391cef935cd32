// One drawing of the calendar (the built-in layout 151 over a picture, real fonts, the settings
// saved as after every drawing) against the bare work it cannot avoid: a full-screen 40 percent
// blend for a redraw with the picture cached (goal: within 1.5 times at 1080p; 5K within 2.5
// times the 4K redraw), decoding and fitting for a picture change, and libjpeg's half-size decode
// plus the bitmap write for a whole picture change of a 5K photo (goal: within 1.3 times).
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>
#include <sys/resource.h>

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

  explicit Scene(QSize screen, const QString& photo = ThePhoto().path) {
    ini.UserImageSet = true;
    ini.ImagePosition = 0;
    ini.ImageIndex = 0;
    ini.WorkStyle.DayFont.Name = QStringLiteral("DejaVu Sans");
    ini.WorkStyle.MonthBarTransparency = 60;
    layout.LoadLayout(BuiltinLayout(151));
    in.Settings = &ini;
    in.Layout = &layout;
    in.Holidays = &holidays;
    in.UsedImages = QStringList{photo};
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
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  for (auto _ : st) {
    RenderCalendar(s.state, s.in, false);
    benchmark::DoNotOptimize(s.state.Preview.ScanLine(0));
  }
  getrusage(RUSAGE_SELF, &after);
  // Fresh screen-sized memory shows as page faults.
  st.counters["page_faults"] = benchmark::Counter(double(after.ru_minflt - before.ru_minflt), benchmark::Counter::kAvgIterations);
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

// A picture change as the tray does it: the 5K photo decoded, placed and drawn over, and the
// calendar bitmap written.
void BM_PictureChange5K(benchmark::State& st) {
  Scene s(QSize(int(st.range(0)), int(st.range(1))), kvbench::ThePhoto5K().path);
  const QString out = TheSandbox().dir.path() + QStringLiteral("/kvmir.bmp");
  for (auto _ : st) {
    s.state.DropPicture();
    RenderCalendar(s.state, s.in, true);
    SaveBitmap24(out, s.state.Preview.Image());
  }
}

// The floor of a picture change: the 5K photo decoded by libjpeg alone at half size, and a
// screen-sized bitmap written.
struct BareJpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

QImage BareHalfDecode(const QByteArray& data) {
  jpeg_decompress_struct c;
  BareJpegError err;
  c.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = [](j_common_ptr info) { std::longjmp(reinterpret_cast<BareJpegError*>(info->err)->jump, 1); };
  QImage image;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&c);
    return QImage();
  }
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&c, TRUE);
  c.scale_num = 1;
  c.scale_denom = 2;
  c.out_color_space = JCS_EXT_BGRX;
  jpeg_start_decompress(&c);
  image = QImage(int(c.output_width), int(c.output_height), QImage::Format_RGB32);
  while (c.output_scanline < c.output_height) {
    JSAMPROW row = image.scanLine(int(c.output_scanline));
    jpeg_read_scanlines(&c, &row, 1);
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  return image;
}

void BM_Baseline_HalfDecodeWrite5K(benchmark::State& st) {
  const TKVBitmap work(int(st.range(0)), int(st.range(1)));
  const QString out = TheSandbox().dir.path() + QStringLiteral("/bare.bmp");
  QFile f(kvbench::ThePhoto5K().path);
  f.open(QIODevice::ReadOnly);
  const QByteArray data = f.readAll();
  for (auto _ : st) {
    QFile again(kvbench::ThePhoto5K().path);
    again.open(QIODevice::ReadOnly);
    const QImage pic = BareHalfDecode(again.readAll());
    benchmark::DoNotOptimize(pic.constBits());
    SaveBitmap24(out, work.Image());
  }
  st.SetLabel(QStringLiteral("decoded %1x%2").arg(BareHalfDecode(data).width()).arg(BareHalfDecode(data).height()).toStdString());
}

}  // namespace

BENCHMARK(BM_Blend40FullScreen)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderCached)->Args({1920, 1080})->Args({3840, 2160})->Args({5120, 2880})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderCachedRecalc)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAndFit)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderNewPicture)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_HalfDecodeWrite5K)->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PictureChange5K)->Args({1920, 1080})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  return kvbench::RunBenchmarks(argc, argv, [] {
    kvbench::ThePhoto();
    kvbench::ThePhoto5K();
  });
}
