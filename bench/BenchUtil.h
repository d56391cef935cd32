#pragma once
// Fixtures shared by the benchmarks: a user folder of their own, a photo-like JPEG, and the
// text of a built-in layout.
#include <QApplication>

#include "foundation/KVTextHelper.h"
#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <jpeglib.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "calendar/KVXSkinBaseM1.h"
#include "foundation/KVXSkinBase.h"
#include "calendar/MDataDM.h"
#include "calendar/MirData.h"
#include "calendar/MirLayout.h"
#include "calendar/MirRender.h"
#include "calendar/iniData.h"
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

// A 1080p photo (1920 x 1080), the screen's own size.
inline Photo& ThePhoto1080p() {
  static Photo p(1920, 1080);
  return p;
}

// What writing a calendar bitmap of a screen costs the system at the least: as many bytes as the
// 24-bit bitmap file has, written with one call and flushed to the disk.
inline void BareWriteAndSync(const QString& path, QSize screen) {
  static std::vector<char> bytes;
  const size_t size = 54 + size_t((screen.width() * 3 + 3) & ~3) * size_t(screen.height());
  if (bytes.size() != size) bytes.assign(size, char(0x5a));
  const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, bytes.data() + done, size - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  ::fsync(fd);
  ::close(fd);
}

// libjpeg alone: the file read and decoded at ScaleNum / 8 into 32-bit rows, as a bare program
// would. Scale 0: the coarsest of 1/8, 1/4, 1/2 and 1/1 that covers Target, the scales libjpeg has
// fast inverse transforms for (the program's decoder takes the same). The decoded size comes back.
struct BareJpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

inline QSize BareDecode(const QString& path, int scaleNum, QSize target = QSize()) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = f.readAll();
  jpeg_decompress_struct c;
  BareJpegError err;
  c.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = [](j_common_ptr info) { std::longjmp(reinterpret_cast<BareJpegError*>(info->err)->jump, 1); };
  QImage image;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&c);
    return {};
  }
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&c, TRUE);
  c.out_color_space = JCS_EXT_BGRX;
  c.scale_denom = 8;
  for (const unsigned m : {1u, 2u, 4u, 8u}) {
    c.scale_num = scaleNum > 0 ? unsigned(scaleNum) : m;
    jpeg_calc_output_dimensions(&c);
    if (scaleNum > 0 || (int(c.output_width) >= target.width() && int(c.output_height) >= target.height())) break;
  }
  jpeg_start_decompress(&c);
  image = QImage(int(c.output_width), int(c.output_height), QImage::Format_RGB32);
  while (c.output_scanline < c.output_height) {
    JSAMPROW row = image.scanLine(int(c.output_scanline));
    jpeg_read_scanlines(&c, &row, 1);
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  benchmark::DoNotOptimize(image.constBits());
  return image.size();
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

// The real program's own program folder (the image pack Pack, a diary of Entries entries of about
// 2 KB of rich text, the latest today) and a home of its own.
struct ProgramHome {
  QTemporaryDir dir;
  ProgramHome(int entries, const QString& pack) {
    for (const char* sub : {"home", "config", "data", "cache", "runtime", "exe"}) QDir(dir.path()).mkpath(sub);
    QFile::setPermissions(Path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::copy(pack, Path("exe/landscapes.mcp"));
    if (entries == 0) return;
    TMDiaryBase doc;
    QRandomGenerator rng(42);
    for (int i = 0; i < entries; ++i) {
      TKVXBDiaryItem* item = doc.Data().Add();
      item->idx = QDate::currentDate().addDays(-i).toString(QStringLiteral("yyyy/MM/dd"));
      item->Title = QStringLiteral("Note");
      item->Lines = NoteRtf(rng);
    }
    doc.SaveToFile(Path("exe/") + kDiaryFileName, true);
  }
  QString Path(const QString& sub) const { return dir.path() + QLatin1Char('/') + sub; }
  // Offscreen unless Display names an X server.
  QProcessEnvironment Environment(const QString& display = QString()) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "WAYLAND_DISPLAY", "SESSION_MANAGER", "DISPLAY"})
      env.remove(QLatin1String(name));
    if (display.isEmpty()) env.insert("QT_QPA_PLATFORM", "offscreen");
    else {
      env.insert("QT_QPA_PLATFORM", "xcb");
      env.insert("DISPLAY", display);
    }
    env.insert("HOME", Path("home"));
    env.insert("XDG_CONFIG_HOME", Path("config"));
    env.insert("XDG_DATA_HOME", Path("data"));
    env.insert("XDG_CACHE_HOME", Path("cache"));
    env.insert("XDG_RUNTIME_DIR", Path("runtime"));
    env.insert("KV_PROGRAM_DIR", Path("exe"));
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    return env;
  }
};

// One calendar to draw: the built-in layout 151 over a user picture, real fonts.
struct CalendarScene {
  Tini ini;
  TLayoutIni layout;
  TMHolidayBase holidays;
  TRenderState state;
  TRenderInputs in;

  explicit CalendarScene(QSize screen, const QString& photo = ThePhoto().path) {
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
