#pragma once
// A drawing set-up for renderer tests: settings, layout, holidays, a fixed clock, a 1024 x 768
// screen at 96 pixels per inch, the fixed-metric text helper and a background picture drawn in code.
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>
#include <memory>
#include <vector>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirData.h"
#include "calendar/MirRender.h"
#include "calendar/iniData.h"
#include "foundation/KVTextHelper.h"
#include "platform/KVClock.h"

namespace rendertest {

// Records every text drawn, in the coordinates of the bitmap it was drawn on.
class TRecordingTextHelper : public TKVFixedTextHelper {
 public:
  struct Call {
    int x, y;
    QString text;
    TColor color;
    int width, height;  // of the bitmap drawn on
  };
  std::vector<Call> calls;
  void TextOut(QImage& image, int x, int y, const QFont& font, TColor color, const QString& text,
               std::optional<TColor> background) override {
    calls.push_back({x, y, text, color, image.width(), image.height()});
    TKVFixedTextHelper::TextOut(image, x, y, font, color, text, background);
  }
  const Call* Find(const QString& text, TColor color) const {
    for (const Call& c : calls)
      if (c.text == text && c.color == color) return &c;
    return nullptr;
  }
  int Count(const QString& text) const {
    int n = 0;
    for (const Call& c : calls) n += c.text == text;
    return n;
  }
};

// Sky, hills and a sun: enough structure that a misplaced picture changes the frame.
inline QImage DrawPicture(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient sky(0, 0, 0, h);
  sky.setColorAt(0, QColor(40, 90, 170));
  sky.setColorAt(1, QColor(210, 180, 120));
  p.fillRect(img.rect(), sky);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setBrush(QColor(60, 120, 50));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRect(-w / 4, h * 2 / 3, w, h));
  p.setBrush(QColor(240, 220, 80));
  p.drawEllipse(QRect(w * 3 / 4, h / 8, w / 8, w / 8));
  p.end();
  return img;
}

inline QImage Solid(int w, int h, QColor c) {
  QImage i(w, h, QImage::Format_RGB32);
  i.fill(c);
  return i;
}

inline QString FrameHash(const TKVBitmap& b) {
  QCryptographicHash h(QCryptographicHash::Sha1);
  for (int y = 0; y < b.Height(); ++y)
    h.addData(QByteArrayView(reinterpret_cast<const char*>(b.ScanLine(y)), qsizetype(b.Width()) * 3));
  return QString::fromLatin1(h.result().toHex().left(16));
}

inline TColor PixelAt(const TKVBitmap& b, int x, int y) {
  const TRGBTriple t = b.ScanLine(y)[x];
  return RGB(t.rgbtRed, t.rgbtGreen, t.rgbtBlue);
}

inline QString LayoutText(const QString& name) {
  QFile f(QStringLiteral(KV_DATA_DIR "/layouts/") + name);
  if (!f.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(f.readAll());
}

struct ClockAt {
  explicit ClockAt(const QDateTime& t) {
    SetClock([t] { return t; });
  }
  ~ClockAt() { SetClock({}); }
};

struct Scene {
  ClockAt clock;
  Tini ini;
  TLayoutIni layout;
  TMHolidayBase holidays;
  TMirovaIni pack;
  TKVBitmapObjectList packImages;
  TRenderState state;
  TRenderInputs in;
  TRecordingTextHelper text;

  explicit Scene(const QDateTime& now = QDateTime(QDate(2024, 3, 7), QTime(9, 30)), QSize screen = QSize(1024, 768))
      : clock(now) {
    ini.UserImageSet = true;
    ini.ImagePosition = 2;
    TCalendarStyle& s = ini.WorkStyle;
    s.UseDefaultColors = false;
    s.CalculateBackColors = true;
    s.DayFont.Name = QStringLiteral("DejaVu Sans");
    in.Settings = &ini;
    in.Layout = &layout;
    in.Holidays = &holidays;
    in.PackIni = &pack;
    in.PackImages = &packImages;
    in.ScreenSize = screen;
    in.PixelsPerInch = 96;
    in.TextHelper = &text;
    in.Locale = QLocale(QLocale::English, QLocale::UnitedStates);
    state.FirstDayOfWeek = 1;
    state.TaskbarHeight = 30;
    {
      TKVTextHelperScope scope(text);
      FitCalendarFont(state, s.DayFont, s.DaySpace, screen.height() - 30, in.PixelsPerInch, in.Locale);
    }
    SetPicture(DrawPicture(800, 600));
  }

  // The cached picture, as if loaded for this screen (for tiling: at full size).
  void SetPicture(const QImage& img) {
    state.CurrentPicture = std::make_unique<TCurrentPicture>();
    state.CurrentPicture->Graphic = img;
    state.CurrentPicture->LoadedFor = ini.ImagePosition == 3 ? QSize() : in.ScreenSize;
  }

  bool LoadLayout(const QString& text) { return layout.LoadLayout(text); }

  void AddHoliday(const QString& key, TKVXSchType s, const QString& title = QStringLiteral("Holiday")) {
    TKVXBHolidayItem* i = holidays.Data().Add();
    i->idx = key;
    i->Schedule = s;
    i->Title = title;
    holidays.RebuildIndex();
  }

  bool Render(bool recalc = true) {
    text.calls.clear();
    return RenderCalendar(state, in, recalc);
  }
  const TKVBitmap& Frame() const { return state.Preview; }
};

}  // namespace rendertest
