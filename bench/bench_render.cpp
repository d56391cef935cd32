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

namespace {

// Settings are saved after every drawing: keep them away from the user's own.
struct Sandbox {
  QTemporaryDir dir;
  Sandbox() {
    for (const char* sub : {"home", "config", "data", "cache"}) QDir(dir.path()).mkpath(sub);
    qputenv("HOME", (dir.path() + "/home").toUtf8());
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
    qputenv("XDG_CACHE_HOME", (dir.path() + "/cache").toUtf8());
  }
};

Sandbox& TheSandbox() {
  static Sandbox s;
  return s;
}

// A photo-like 4000 x 3000 JPEG.
struct Photo {
  QString path;
  Photo() {
    QImage img(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator gen(11);
    for (int y = 0; y < img.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
      for (int x = 0; x < img.width(); ++x) {
        const int grain = int(gen.bounded(24)) - 12;
        const double s = std::sin(x / 97.0) * std::cos(y / 61.0);
        row[x] = qRgb(std::clamp(int(120 + 80 * s + x / 50) + grain, 0, 255),
                      std::clamp(int(110 + 60 * std::sin((x + y) / 143.0)) + grain, 0, 255),
                      std::clamp(int(90 + y / 25) + grain, 0, 255));
      }
    }
    path = TheSandbox().dir.path() + QStringLiteral("/photo.jpg");
    QImageWriter writer(path, "jpg");
    writer.setQuality(90);
    writer.write(img);
  }
};

Photo& ThePhoto() {
  static Photo p;
  return p;
}

QString BuiltinLayout(int id) {
  QBuffer pack;
  pack.setData(BuiltinDataBlock(QStringLiteral("DefaultLayouts")));
  pack.open(QIODevice::ReadOnly);
  TKVResReader r;
  r.SetStream(&pack);
  r.ReadDirectory();
  for (int i = 0; i < r.Count(); ++i) {
    const QString text = DecodeObjectTextBytes(r.ReadBuffer(i));
    if (text.contains(QStringLiteral("LayoutID = %1\r").arg(id)) || text.contains(QStringLiteral("LayoutID = %1\n").arg(id)))
      return text;
  }
  return QString();
}

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
    FitCalendarFont(state, ini.WorkStyle.DayFont, ini.WorkStyle.DaySpace, screen.height() - 40);
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
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TheSandbox();
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  ThePhoto();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
