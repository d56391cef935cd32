// Image sets as the Images page handles them: switching to a pack of 50 full-HD pictures, with a
// thumbnail cache of the right size and without one (every thumbnail decoded at a reduced scale
// and the cache written), and listing 200 packs, which reads only their headers. Each is set
// against a baseline of the same run: decoding one picture at full size, and reading the 200
// pack files whole. Goals: a switch under 1 s with the cache, under 3 s without; the list under
// 200 ms.
#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cmath>
#include <memory>

#include "bench/BenchUtil.h"
#include "calendar/MirData.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "controls/KVPanels.h"
#include "foundation/KVPicture.h"
#include "foundation/KVSysUtils.h"
#include "tests/common/MainFormComponent.h"
#include "tools/kvpack/PackWriter.h"
#include "ui/ImagesTab.h"

namespace {

constexpr int kPictures = 50, kPacks = 200;

using kvtest::FormComponent;

// A photo-like full-HD JPEG: smooth shading with fine grain, as a camera picture compresses.
QByteArray FullHdJpeg(int key) {
  QImage img(1920, 1080, QImage::Format_RGB32);
  QRandomGenerator gen{quint32(key)};
  for (int y = 0; y < img.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) {
      const int grain = int(gen.bounded(24)) - 12;
      const double s = std::sin((x + key * 37) / 97.0) * std::cos(y / 61.0);
      row[x] = qRgb(std::clamp(int(120 + 80 * s + x / 50) + grain, 0, 255),
                    std::clamp(int(110 + 60 * std::sin((x + y) / 143.0)) + grain, 0, 255),
                    std::clamp(int(90 + y / 25) + grain, 0, 255));
    }
  }
  return kvpack::PictureFromImage(img, true, 90).Data;
}

struct Fixture {
  QTemporaryDir exe, many;
  QByteArray photo;
  Fixture() {
    ExeDir = exe.path() + QStringLiteral("/");
    std::vector<kvpack::PackPicture> pictures;
    for (int i = 0; i < kPictures; ++i) pictures.push_back({FullHdJpeg(i), true});
    photo = pictures[0].Data;
    kvpack::WriteImagePack(exe.filePath(QStringLiteral("fifty.mcp")), QStringLiteral("Fifty"), {}, pictures);
    kvpack::WriteImagePack(exe.filePath(QStringLiteral("a-small.mcp")), QStringLiteral("Small"), {},
                           {pictures[0]});
    // 200 packs of two full-HD pictures each: a listing that read them would show.
    const std::vector<kvpack::PackPicture> two(pictures.begin(), pictures.begin() + 2);
    for (int i = 0; i < kPacks; ++i)
      kvpack::WriteImagePack(many.filePath(QStringLiteral("pack%1.mcp").arg(i, 3, 10, QLatin1Char('0'))),
                             QStringLiteral("Pack %1").arg(i), {}, two);
  }
};

Fixture& TheFixture() {
  static Fixture f;
  return f;
}

// The model and the page as the program has them, drawing for real at 1920 x 1080.
struct Program {
  FormComponent form;
  bool visible = true;
  int draws = 0;
  std::unique_ptr<TMirModel> model;
  std::unique_ptr<TImagesTab> page;
  Program() {
    TMirModelHooks mh;
    mh.ScreenSize = [] { return QSize(1920, 1080); };
    mh.SettingsVisible = [this] { return visible; };
    model = std::make_unique<TMirModel>(form, mh);
    model->Layout->LoadLayout(kvbench::BuiltinLayout(151));
    model->Ini->WorkStyle.DayFont.Name = QStringLiteral("DejaVu Sans");
    model->Ini->MirPack = QStringLiteral("a-small.mcp");
    TImagesTabHooks h;
    // Drawn as the switch draws, without handing the picture to a desktop.
    h.ChangeMirova = [this] {
      model->DropPicture();
      if (model->RenderCalendar(true)) ++draws;
    };
    page = std::make_unique<TImagesTab>(*model, h);
    model->SetBusy(false);
    page->LoadImageSets();
  }
  void SwitchTo(const QString& title) {
    for (size_t i = 0; i < page->Sets().size(); ++i)
      if (page->Sets()[i].Title == title) {
        auto* box = page->findChild<QComboBox*>(QStringLiteral("ResTitles"));
        box->setCurrentIndex(int(i));
        page->ResTitlesChange();
        return;
      }
  }
};

void Switches(benchmark::State& state, bool keepCache) {
  Fixture& f = TheFixture();
  Program p;
  p.SwitchTo(QStringLiteral("Fifty"));  // makes the cache once
  const QString thn = f.exe.filePath(QStringLiteral("fifty.thn"));
  for (auto _ : state) {
    state.PauseTiming();
    p.SwitchTo(QStringLiteral("Small"));
    if (!keepCache) QFile::remove(thn);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const int before = p.draws;
    state.ResumeTiming();
    p.SwitchTo(QStringLiteral("Fifty"));
    if (p.draws != before + 1) state.SkipWithError("the switch drew nothing");
  }
  if (p.page->ImagesScroll().Count() != kPictures || !QFile::exists(thn))
    state.SkipWithError("the pack did not load");
  state.counters["goal_ms"] = keepCache ? 1000 : 3000;
}

void BM_SwitchTo50Pictures_WithThumbnailCache(benchmark::State& state) { Switches(state, true); }
void BM_SwitchTo50Pictures_WithoutThumbnailCache(benchmark::State& state) { Switches(state, false); }

// Baseline: one full-HD picture decoded at full size.
void BM_DecodeOnePictureFullSize(benchmark::State& state) {
  const QByteArray& jpeg = TheFixture().photo;
  for (auto _ : state) benchmark::DoNotOptimize(DecodeJPEG(jpeg));
}

// The same picture decoded for a medium thumbnail.
void BM_DecodeOnePictureForThumbnail(benchmark::State& state) {
  const QByteArray& jpeg = TheFixture().photo;
  for (auto _ : state) benchmark::DoNotOptimize(DecodeJPEG(jpeg, QSize(128, 96)));
}

void BM_List200Packs(benchmark::State& state) {
  Fixture& f = TheFixture();
  Program p;
  const QString saved = ExeDir;
  ExeDir = f.many.path() + QStringLiteral("/");
  for (auto _ : state) p.page->LoadImageSets();
  if (p.page->Sets().size() != size_t(kPacks)) state.SkipWithError("not every pack was listed");
  ExeDir = saved;
  state.counters["goal_ms"] = 200;
}

// Baseline: the same 200 files read whole.
void BM_Read200PacksWhole(benchmark::State& state) {
  Fixture& f = TheFixture();
  qint64 bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (int i = 0; i < kPacks; ++i) {
      QFile file(f.many.filePath(QStringLiteral("pack%1.mcp").arg(i, 3, 10, QLatin1Char('0'))));
      file.open(QIODevice::ReadOnly);
      bytes += file.readAll().size();
    }
  }
  state.counters["MB"] = double(bytes) / (1024 * 1024);
}

}  // namespace

BENCHMARK(BM_DecodeOnePictureFullSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOnePictureForThumbnail)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SwitchTo50Pictures_WithThumbnailCache)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_SwitchTo50Pictures_WithoutThumbnailCache)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_Read200PacksWhole)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_List200Packs)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return kvbench::RunBenchmarks(argc, argv, [] { TheFixture(); }); }
