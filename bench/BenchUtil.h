#pragma once
// Fixtures shared by the benchmarks: a user folder of their own, a photo-like JPEG, and the
// text of a built-in layout.
#include <QApplication>

#include "foundation/KVTextHelper.h"
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <functional>

#include <benchmark/benchmark.h>

#include "calendar/MDataDM.h"
#include "foundation/KVObjectText.h"
#include "foundation/KVRStream.h"

namespace kvbench {

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

inline Sandbox& TheSandbox() {
  static Sandbox s;
  return s;
}

// A photo-like JPEG (smooth shading with fine grain) in the sandbox, 4000 x 3000 unless told.
struct Photo {
  QString path;
  qint64 bytes = 0;
  explicit Photo(int width = 4000, int height = 3000) {
    QImage img(width, height, QImage::Format_RGB32);
    QRandomGenerator gen(7);
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
    path = TheSandbox().dir.path() + QStringLiteral("/photo-%1x%2.jpg").arg(width).arg(height);
    QImageWriter writer(path, "jpg");
    writer.setQuality(90);
    writer.write(img);
    bytes = QFileInfo(path).size();
  }
};

inline Photo& ThePhoto() {
  static Photo p;
  return p;
}

// A 5K photo (5120 x 2880), as cameras and wallpaper sites give them.
inline Photo& ThePhoto5K() {
  static Photo p(5120, 2880);
  return p;
}

// The text of built-in layout Id, or empty.
inline QString BuiltinLayout(int id) {
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

inline const char* const kNoteWords[] = {"meeting", "dentist", "garden", "letter", "birthday", "train", "invoice",
                              "holiday", "coffee", "library", "concert", "doctor", "market", "friend"};

// A diary entry of about 2 KB of rich text, made of words a search can look for.
inline QString NoteRtf(QRandomGenerator& rng) {
  QString body;
  while (body.size() < 1800) {
    body += QStringLiteral("Note about the ");
    for (int w = 0; w < 6; ++w) body += QLatin1String(kNoteWords[rng.bounded(14)]) + QLatin1Char(' ');
    body += QStringLiteral("with \\b bold\\b0  and \\cf1 colour\\cf0  words.\\par\r\n");
  }
  return QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
                        "{\\colortbl ;\\red0\\green0\\blue255;}\r\n\\viewkind4\\uc1\\pard\\f0\\fs20 ") +
         body + "}\r\n";
}

// The main of every benchmark program: offscreen Qt, a sandboxed user folder, then the
// benchmarks; Prepare makes fixtures before the clock starts.
inline int RunBenchmarks(int argc, char** argv, const std::function<void()>& prepare = {}) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TheSandbox();
  PrepareTextRendering();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (prepare) prepare();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace kvbench
