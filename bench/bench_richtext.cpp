// Rich text: reading a large RTF with a picture, and the calendar's note drawing (load a note's
// RTF into a hidden editor and render it into a bitmap). Goal for the note: under 2 ms.
#include <benchmark/benchmark.h>

#include "bench/BenchUtil.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <QTextDocument>

#include "controls/KVRichEdOLE.h"
#include "controls/KVRtfReader.h"

namespace {

QByteArray Png(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  QRandomGenerator rng(7);
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<quint32*>(img.scanLine(y));
    for (int x = 0; x < w; ++x) line[x] = 0xFF000000u | (rng.generate() & 0x00FFFFFFu);
  }
  QByteArray out;
  QBuffer buf(&out);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, "PNG");
  return out;
}

// About 5 MB: a noisy picture of some 3.5 MB in hex, then formatted paragraphs.
const QByteArray& LargeRtf() {
  static const QByteArray rtf = [] {
    QByteArray r = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
                   "{\\f1\\fnil\\fcharset204 Tahoma;}}{\\colortbl ;\\red255\\green0\\blue0;}\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    const QByteArray hex = Png(760, 760).toHex();
    r += "{\\pict\\pngblip\\picw760\\pich760\\picwgoal11400\\pichgoal11400\r\n";
    for (qsizetype i = 0; i < hex.size(); i += 128) r += hex.mid(i, 128) + "\r\n";
    r += "}\\par ";
    int n = 0;
    while (r.size() < 5 * 1024 * 1024) {
      r += "Paragraph " + QByteArray::number(n++) + " with \\b bold\\b0 , \\cf1 red\\cf0 , \\i italic\\i0  and "
           "\\f1\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2\\f0  words that fill the line\\par\r\n";
    }
    return r + "}";
  }();
  return rtf;
}

// A diary note of about 2 KB as the editor writes it.
QString Note() {
  QString body;
  int i = 0;
  while (body.size() < 1700)
    body += QStringLiteral("Line %1 of the note with \\b some bold\\b0  and \\cf1 colour\\cf0  words.\\par\r\n").arg(++i);
  return QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
                        "{\\colortbl ;\\red0\\green0\\blue255;}\r\n\\viewkind4\\uc1\\pard\\f0\\fs20 ") +
         body + "}\r\n";
}

void BM_ReadLargeRtf(benchmark::State& state) {
  const QByteArray& rtf = LargeRtf();
  for (auto _ : state) {
    QTextDocument doc;
    benchmark::DoNotOptimize(KVReadRtf(rtf, doc));
  }
  state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_ReadLargeRtf)->Unit(benchmark::kMillisecond);

void BM_LargeRtfToText(benchmark::State& state) {
  const QByteArray& rtf = LargeRtf();
  for (auto _ : state) benchmark::DoNotOptimize(KVRtfToText(rtf));
  state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_LargeRtfToText)->Unit(benchmark::kMillisecond);

void BM_NoteSetAndRender(benchmark::State& state) {
  const QString note = Note();
  TKVRichEditOLE editor;
  editor.resize(1, 1);
  editor.SetColor(clWhite);
  QImage bitmap;
  for (auto _ : state) {
    editor.SetRTFText(note);
    benchmark::DoNotOptimize(editor.RenderToBitmap(bitmap, 400, 900, 6, 6, 6, 6));
  }
}
BENCHMARK(BM_NoteSetAndRender)->Unit(benchmark::kMicrosecond);

void BM_NoteSetRTFText(benchmark::State& state) {
  const QString note = Note();
  TKVRichEditOLE editor;
  editor.resize(1, 1);
  for (auto _ : state) editor.SetRTFText(note);
}
BENCHMARK(BM_NoteSetRTFText)->Unit(benchmark::kMicrosecond);

void BM_NoteRender(benchmark::State& state) {
  TKVRichEditOLE editor;
  editor.resize(1, 1);
  editor.SetRTFText(Note());
  QImage bitmap;
  for (auto _ : state) benchmark::DoNotOptimize(editor.RenderToBitmap(bitmap, 400, 900, 6, 6, 6, 6));
}
BENCHMARK(BM_NoteRender)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return kvbench::RunBenchmarks(argc, argv); }
