#include "tools/kvpack/PackWriter.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QtEndian>
#include <array>
#include <cmath>
#include <map>

#include "foundation/KVBitmapList.h"
#include "foundation/KVException.h"
#include "foundation/KVPicture.h"
#include "foundation/KVObjectText.h"
#include "foundation/KVRStream.h"
#include "foundation/KVString.h"

namespace kvpack {

namespace {

constexpr qint32 kKindStrip = -6;

void PutI32(QByteArray& b, qint32 v) {
  char raw[4];
  qToLittleEndian<qint32>(v, raw);
  b.append(raw, 4);
}

// A 24-bit bottom-up Windows bitmap file.
QByteArray BitmapFile(const QImage& image) {
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  WriteBitmap24(b, image);
  return b.data();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Packs

QByteArray PackBytes(qint32 Version, const std::vector<PackEntry>& Entries) {
  TKVResWriter w(Version, true);
  for (const PackEntry& e : Entries) w.AddBuffer(e.Kind, e.Data);
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  w.SaveToStream(out);
  return out.data();
}

void WritePack(const QString& FileName, qint32 Version, const std::vector<PackEntry>& Entries) {
  TKVResFileWriter w(Version, true, FileName);
  for (const PackEntry& e : Entries) w.AddBuffer(e.Kind, e.Data);
  w.Save();
}

QByteArray BitmapStripStream(const std::vector<QImage>& Images, quint32 TransparentColor) {
  TKVBitmapList strip;
  for (const QImage& i : Images) strip.AddBitmap(i);
  strip.SetTransparentColor(TransparentColor);
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  strip.SaveToStream(b);
  return b.data();
}

QByteArray SkinPackage(const std::vector<std::vector<QImage>>& Strips, const std::vector<SkinForm>& Forms,
                       const QStringList& Values) {
  QString values = QStringLiteral("imagescount=%1\r\nformscount=%2\r\n").arg(Strips.size()).arg(Forms.size());
  for (const QString& v : Values) values += v + QStringLiteral("\r\n");
  std::vector<PackEntry> e;
  e.push_back({kKindRaw, values.toLatin1()});
  e.push_back({kKindRaw, PackBytes(kSkinPackVersion, {})});
  for (const auto& s : Strips) e.push_back({kKindStrip, BitmapStripStream(s)});
  for (const SkinForm& f : Forms) e.push_back({kKindText, (f.Name + QStringLiteral("\r\n") + f.Text).toLatin1()});
  return PackBytes(kSkinPackVersion, e);
}

// ---------------------------------------------------------------------------------------------
// Image packs

PackPicture PictureFromImage(const QImage& Image, bool Jpeg, int Quality) {
  if (Image.isNull()) throw EKVError(QStringLiteral("Empty picture"));
  if (Jpeg) {
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    QImageWriter w(&b, "jpeg");
    w.setQuality(Quality);
    if (w.write(Image.convertToFormat(QImage::Format_RGB32))) return {b.data(), true};
  }
  return {BitmapFile(Image), false};
}

PackPicture PictureFromFile(const QString& FileName) {
  QFile f(FileName);
  if (!f.open(QIODevice::ReadOnly)) throw EFOpenError(QStringLiteral("Cannot open \"%1\"").arg(FileName));
  const QByteArray data = f.readAll();
  const QString ext = QFileInfo(FileName).suffix().toLower();
  QImage img;
  if (!img.loadFromData(data)) throw EKVError(QStringLiteral("\"%1\" is not a picture").arg(FileName));
  if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg")) return {data, true};
  return PictureFromImage(img, false);
}

std::vector<PackEntry> ImagePackEntries(const QString& Title, const QByteArray& SkinPackage,
                                        const std::vector<PackPicture>& Pictures, qint32 Header0) {
  std::vector<PackEntry> e;
  e.push_back({kKindRaw, Title.toLatin1()});
  QByteArray header;
  PutI32(header, Header0);
  PutI32(header, qint32(Pictures.size()));
  e.push_back({kKindRaw, header});
  e.push_back({kKindRaw, SkinPackage});
  for (const PackPicture& p : Pictures) e.push_back({p.Jpeg ? kKindJpeg : kKindBitmap, p.Data});
  return e;
}

void WriteImagePack(const QString& FileName, const QString& Title, const QByteArray& SkinPackage,
                    const std::vector<PackPicture>& Pictures, qint32 Version) {
  WritePack(FileName, Version, ImagePackEntries(Title, SkinPackage, Pictures));
}

// ---------------------------------------------------------------------------------------------
// Layouts

namespace {

const char* const kItemNames[24] = {"MonthLine",    "MonthBox1",    "MonthBox2",  "MonthBox3",  "MonthBox4",
                                    "MonthBox5",    "MonthBox6",    "MonthBox7",  "MonthBox8",  "MonthBox9",
                                    "MonthBox10",   "MonthBox11",   "MonthBox12", "MonthYear",  "Notes",
                                    "GeneralNotes", "WDayNotes1",   "WDayNotes2", "WDayNotes3", "WDayNotes4",
                                    "WDayNotes5",   "WDayNotes6",   "WDayNotes7", "SponsorImage"};

std::vector<int> ItemList(const QString& text) {
  std::vector<int> r;
  for (const QString& t : GetTokens(text)) {
    const int i = StrToIntDef(t, 0);
    if (i >= 0 && i < 24) r.push_back(i);
  }
  return r;
}

// Where the items of a layout lie, worked out the way the calendar does it, with fixed guesses
// for the sizes that depend on fonts.
struct Sketch {
  struct Size {
    QString type = QStringLiteral("lsFixed");
    int value = 0, min = 0, max = 0, size = 0;
    std::vector<int> ctrls;
  };
  struct Item {
    bool visible = false, left = false, top = false, horz = false;
    Size s[4];  // Width, Height, XSpace, YSpace
    std::vector<int> sx, sy;
    QRect r;
  };
  Item items[24];
  std::vector<int> xorder, yorder;
  std::vector<std::vector<int>> cx, cy;
};

Sketch ReadSketch(const TextObject& o) {
  Sketch k;
  QString xo = QStringLiteral("0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,"), yo = xo;
  static const char* const kSizeNames[4] = {"Width", "Height", "XSpace", "YSpace"};
  for (const TextProperty& p : o.props) {
    const QStringList path = p.name.split(QLatin1Char('.'));
    const TextValue& v = p.value;
    if (path.size() == 1) {
      if (p.name.compare(QLatin1String("XCalcOrder"), Qt::CaseInsensitive) == 0) xo = v.text;
      if (p.name.compare(QLatin1String("YCalcOrder"), Qt::CaseInsensitive) == 0) yo = v.text;
      continue;
    }
    if (path.size() == 2 && path[1].compare(QLatin1String("Strings"), Qt::CaseInsensitive) == 0) {
      auto& groups = path[0].compare(QLatin1String("CenterX"), Qt::CaseInsensitive) == 0 ? k.cx : k.cy;
      for (const TextValue& line : v.list) groups.push_back(ItemList(line.text));
      continue;
    }
    int idx = -1;
    for (int i = 0; i < 24; ++i)
      if (path[0].compare(QLatin1String(kItemNames[i]), Qt::CaseInsensitive) == 0) idx = i;
    if (idx < 0) continue;
    Sketch::Item& it = k.items[idx];
    const QString& field = path[1];
    if (path.size() == 2) {
      if (field == QLatin1String("Visible")) it.visible = v.IsIdent("True");
      else if (field == QLatin1String("Horz")) it.horz = v.IsIdent("True");
      else if (field == QLatin1String("Anchors")) {
        it.left = v.set.contains(QStringLiteral("akLeft"));
        it.top = v.set.contains(QStringLiteral("akTop"));
      } else if (field == QLatin1String("SXPos")) it.sx = ItemList(v.text);
      else if (field == QLatin1String("SYPos")) it.sy = ItemList(v.text);
      continue;
    }
    for (int s = 0; s < 4; ++s) {
      if (field != QLatin1String(kSizeNames[s])) continue;
      Sketch::Size& z = it.s[s];
      if (path[2] == QLatin1String("ValueType")) z.type = v.text;
      else if (path[2] == QLatin1String("Value")) z.value = int(v.integer);
      else if (path[2] == QLatin1String("Min")) z.min = int(v.integer);
      else if (path[2] == QLatin1String("Max")) z.max = int(v.integer);
      else if (path[2] == QLatin1String("Ctrls")) z.ctrls = ItemList(v.text);
    }
  }
  for (int i = 0; i < 24; ++i) {
    const int x = StrToIntDef(GetToken(xo, i), 0), y = StrToIntDef(GetToken(yo, i), 0);
    if (x >= 0 && x < 24) k.xorder.push_back(x);
    if (y >= 0 && y < 24) k.yorder.push_back(y);
  }
  return k;
}

void Lay(Sketch& k, int W, int H) {
  const auto clamp = [](Sketch::Size& z) {
    if (z.type != QLatin1String("lsPromil") && z.type != QLatin1String("lsCalc")) return;
    if (z.min > 0 && z.min > z.size) z.size = z.min;
    else if (z.max > 0 && z.max < z.size) z.size = z.max;
  };
  for (auto& it : k.items) {
    if (!it.visible) continue;
    for (int s = 0; s < 4; ++s) {
      const int D = (s == 0 || s == 2) ? W : H;
      Sketch::Size& z = it.s[s];
      if (z.type == QLatin1String("lsFixed")) z.size = z.value;
      else if (z.type == QLatin1String("lsPromil")) z.size = int(std::nearbyint(D * z.value / 1000.0));
      else if (z.type == QLatin1String("lsScr")) z.size = D;
    }
  }
  k.items[23].s[0].size = k.items[23].s[1].size = 0;
  for (int i : k.xorder) {
    Sketch::Item& it = k.items[i];
    if (!it.visible) continue;
    if (it.s[0].type == QLatin1String("lsCtrl")) {
      int sum = 0;
      for (size_t c = 0; c < it.s[0].ctrls.size(); ++c)
        sum += k.items[it.s[0].ctrls[c]].s[0].size + (c ? k.items[it.s[0].ctrls[c]].s[2].size : 0);
      it.s[0].size = sum;
    }
    if (i == 0) it.s[0].size = it.horz ? (it.s[0].size - 6) / 31 * 31 + 6 : 140;
    else if (i <= 12) it.s[0].size = (it.s[0].size - 6) / 7 * 7 + 6;
    else if (i == 13) {
      it.s[0].size = 420;
      it.s[1].size = 72;
    }
    clamp(it.s[0]);
    clamp(it.s[2]);
  }
  for (int i : k.yorder) {
    Sketch::Item& it = k.items[i];
    if (!it.visible) continue;
    if (it.s[1].type == QLatin1String("lsCtrl")) {
      int sum = 0;
      for (size_t c = 0; c < it.s[1].ctrls.size(); ++c)
        sum += k.items[it.s[1].ctrls[c]].s[1].size + (c ? k.items[it.s[1].ctrls[c]].s[3].size : 0);
      it.s[1].size = sum;
    }
    if (i >= 1 && i <= 12) it.s[1].size = (it.s[1].size - 6) / 8 * 8 + 6;
    // A vertical month line sized by its rows: the 18-point rows, or as many as the screen holds.
    if (i == 0 && !it.horz && it.s[1].type == QLatin1String("lsCalc")) it.s[1].size = std::min(31 * 31 + 6, H * 86 / 100);
    clamp(it.s[1]);
    clamp(it.s[3]);
  }
  for (auto& it : k.items) {
    if (!it.visible) continue;
    int x = it.s[2].size, y = it.s[3].size;
    for (int s : it.sx) x += k.items[s].s[0].size + k.items[s].s[2].size;
    for (int s : it.sy) y += k.items[s].s[1].size + k.items[s].s[3].size;
    const int w = it.s[0].size, h = it.s[1].size;
    const int l = it.left ? x : W - x - w;
    const int t = it.top ? y : H - y - h;
    it.r = QRect(l, t, w, h);
  }
  for (int axis = 0; axis < 2; ++axis) {
    for (const auto& g : axis == 0 ? k.cx : k.cy) {
      int lo = axis == 0 ? W : H, hi = 0;
      for (int i : g) {
        if (!k.items[i].visible) continue;
        const QRect& r = k.items[i].r;
        lo = std::min(lo, axis == 0 ? r.left() : r.top());
        hi = std::max(hi, axis == 0 ? r.left() + r.width() : r.top() + r.height());
      }
      const int d = ((axis == 0 ? W : H) - hi + lo) / 2;
      if (d <= 0) continue;
      for (int i : g) {
        Sketch::Item& it = k.items[i];
        if (!it.visible) continue;
        const bool anchored = axis == 0 ? it.left : it.top;
        it.r.translate(axis == 0 ? (anchored ? d : -d) : 0, axis == 1 ? (anchored ? d : -d) : 0);
      }
    }
  }
}

}  // namespace

std::vector<QRect> SketchLayout(const QString& LayoutText, int W, int H) {
  Sketch k = ReadSketch(ParseObjectText(LayoutText));
  Lay(k, W, H);
  std::vector<QRect> r;
  for (const auto& it : k.items) r.push_back(it.visible ? it.r : QRect());
  return r;
}

QImage DrawLayoutPreview(const QString& LayoutText) {
  Sketch k = ReadSketch(ParseObjectText(LayoutText));
  constexpr int W = 1440, H = 1080;
  Lay(k, W, H);
  QImage img(120, 90, QImage::Format_RGB888);
  QPainter p(&img);
  QLinearGradient sky(0, 0, 0, 90);
  sky.setColorAt(0, QColor(70, 120, 190));
  sky.setColorAt(0.65, QColor(160, 200, 235));
  sky.setColorAt(0.66, QColor(90, 150, 80));
  sky.setColorAt(1, QColor(50, 100, 50));
  p.fillRect(img.rect(), sky);
  p.scale(120.0 / W, 90.0 / H);
  p.setRenderHint(QPainter::Antialiasing, false);
  const auto box = [&p](const QRect& r, QColor fill, QColor line) {
    p.setPen(QPen(line, 12));
    p.setBrush(fill);
    p.drawRect(r);
  };
  for (int i = 0; i < 24; ++i) {
    const Sketch::Item& it = k.items[i];
    if (!it.visible || it.r.width() <= 0 || it.r.height() <= 0) continue;
    if (i == 0) {
      box(it.r, QColor(30, 90, 40, 200), QColor(240, 240, 240));
      p.setPen(QPen(QColor(255, 255, 255), 8));
      const int n = 31;
      for (int d = 1; d < n; ++d) {
        if (it.horz) {
          const int x = it.r.left() + it.r.width() * d / n;
          p.drawLine(x, it.r.top() + 12, x, it.r.bottom() - 12);
        } else {
          const int y = it.r.top() + std::min(it.r.height(), 1000) * d / n;
          p.drawLine(it.r.left() + 12, y, it.r.right() - 12, y);
        }
      }
    } else if (i <= 12) {
      box(it.r, QColor(30, 90, 40, 210), QColor(240, 240, 240));
      p.setPen(QPen(QColor(255, 255, 255), 6));
      for (int c = 1; c < 7; ++c) {
        const int x = it.r.left() + it.r.width() * c / 7;
        p.drawLine(x, it.r.top() + it.r.height() / 4, x, it.r.bottom() - 6);
      }
      p.fillRect(QRect(it.r.left(), it.r.top(), it.r.width(), it.r.height() / 8), QColor(200, 230, 120));
    } else if (i == 13) {
      p.fillRect(it.r.adjusted(20, 14, -20, -14), QColor(250, 250, 250));
    } else if (i == 14 || i == 15) {
      box(it.r, i == 14 ? QColor(250, 250, 250, 230) : QColor(255, 245, 190, 230), QColor(60, 60, 60));
      p.setPen(QPen(QColor(120, 120, 120), 10));
      for (int y = it.r.top() + 60; y < it.r.bottom() - 30; y += 60)
        p.drawLine(it.r.left() + 30, y, it.r.right() - 30, y);
    } else if (i <= 22) {
      box(it.r, QColor(250, 235, 200, 230), QColor(60, 60, 60));
    } else {
      box(it.r, QColor(240, 140, 40), QColor(60, 60, 60));
    }
  }
  p.end();
  return img;
}

QByteArray PictureData(const QImage& Image) {
  const QByteArray bmp = BitmapFile(Image);
  QByteArray r;
  r.append(char(7)).append("TBitmap");
  PutI32(r, qint32(bmp.size()));
  return r.append(bmp);
}

QString LayoutWithPreview(const QString& LayoutText) {
  TextObject o = ParseObjectText(LayoutText);
  for (const TextProperty& p : o.props)
    if (p.name.compare(QLatin1String("Picture.Data"), Qt::CaseInsensitive) == 0) return LayoutText;
  TextProperty pic{QStringLiteral("Picture.Data"), TextValue::Binary(PictureData(DrawLayoutPreview(LayoutText))), 0};
  // The picture follows LayoutID, as the layout's properties are listed.
  auto at = o.props.begin();
  for (auto it = o.props.begin(); it != o.props.end(); ++it)
    if (it->name.compare(QLatin1String("LayoutID"), Qt::CaseInsensitive) == 0) at = it + 1;
  o.props.insert(at, pic);
  return FormatObjectText(o);
}

void WriteLayoutPack(const QString& FileName, const QStringList& LayoutTexts, bool Plain) {
  std::vector<PackEntry> e;
  for (const QString& t : LayoutTexts) e.push_back({Plain ? kKindLayoutPlain : kKindLayout, EncodeObjectTextBytes(t)});
  WritePack(FileName, kLayoutPackVersion, e);
}

// ---------------------------------------------------------------------------------------------
// Default pictures

namespace {

QPainterPath Hills(int W, int H, double base, double amp, double waves, double phase) {
  QPainterPath path(QPointF(0, H));
  for (int x = 0; x <= W; x += 8) {
    const double t = double(x) / W;
    const double y = H * (base - amp * (0.6 * std::sin(6.2832 * waves * t + phase) +
                                        0.4 * std::sin(6.2832 * waves * 2.3 * t + phase * 1.7)));
    path.lineTo(x, y);
  }
  path.lineTo(W, H);
  path.closeSubpath();
  return path;
}

void Sky(QPainter& p, int W, int H, std::initializer_list<std::pair<double, QColor>> stops) {
  QLinearGradient g(0, 0, 0, H);
  for (const auto& [at, c] : stops) g.setColorAt(at, c);
  p.fillRect(QRect(0, 0, W, H), g);
}

void Glow(QPainter& p, QPointF c, double r, QColor core, QColor halo) {
  QRadialGradient g(c, r * 4);
  g.setColorAt(0, halo);
  g.setColorAt(1, QColor(halo.red(), halo.green(), halo.blue(), 0));
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawEllipse(c, r * 4, r * 4);
  p.setBrush(core);
  p.drawEllipse(c, r, r);
}

void Layers(QPainter& p, int W, int H, std::initializer_list<std::tuple<double, double, double, QColor>> layers) {
  double phase = 0.7;
  for (const auto& [base, amp, waves, c] : layers) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(Hills(W, H, base, amp, waves, phase));
    phase += 1.9;
  }
}

}  // namespace

QImage DrawDefaultPicture(int Index, int W, int H) {
  QImage img(W, H, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QRandomGenerator rng(quint32(1000 + Index));
  switch (((Index % kDefaultPictureCount) + kDefaultPictureCount) % kDefaultPictureCount) {
    case 0:  // dawn over blue hills
      Sky(p, W, H, {{0, QColor(24, 40, 96)}, {0.45, QColor(214, 112, 84)}, {0.7, QColor(250, 206, 140)}});
      Glow(p, QPointF(W * 0.68, H * 0.62), H * 0.06, QColor(255, 240, 200), QColor(255, 190, 120, 150));
      Layers(p, W, H,
             {{0.66, 0.04, 1.5, QColor(120, 90, 130)},
              {0.74, 0.05, 1.1, QColor(80, 64, 110)},
              {0.84, 0.05, 0.8, QColor(44, 38, 74)}});
      break;
    case 1: {  // meadow at noon
      Sky(p, W, H, {{0, QColor(60, 130, 215)}, {0.6, QColor(170, 215, 245)}});
      p.setPen(Qt::NoPen);
      for (int c = 0; c < 7; ++c) {
        const QPointF at(rng.bounded(W), H * (0.08 + 0.3 * rng.generateDouble()));
        p.setBrush(QColor(255, 255, 255, 210));
        for (int b = 0; b < 5; ++b)
          p.drawEllipse(at + QPointF(b * W * 0.02, (b % 2) * H * 0.012), W * 0.035, H * 0.035);
      }
      Layers(p, W, H,
             {{0.62, 0.04, 1.2, QColor(120, 170, 90)},
              {0.72, 0.05, 0.9, QColor(80, 150, 60)},
              {0.85, 0.04, 0.6, QColor(50, 115, 40)}});
      break;
    }
    case 2: {  // sea under a low sun
      Sky(p, W, H, {{0, QColor(30, 80, 150)}, {0.55, QColor(240, 180, 120)}});
      Glow(p, QPointF(W * 0.3, H * 0.5), H * 0.05, QColor(255, 236, 190), QColor(255, 200, 130, 160));
      QLinearGradient sea(0, H * 0.56, 0, H);
      sea.setColorAt(0, QColor(40, 90, 140));
      sea.setColorAt(1, QColor(10, 30, 70));
      p.fillRect(QRectF(0, H * 0.56, W, H * 0.44), sea);
      p.setPen(QPen(QColor(255, 220, 160, 150), H * 0.004));
      for (int i = 0; i < 40; ++i) {
        const double y = H * (0.57 + 0.4 * i / 40.0);
        const double half = W * (0.02 + 0.1 * i / 40.0) * (0.5 + rng.generateDouble());
        p.drawLine(QPointF(W * 0.3 - half, y), QPointF(W * 0.3 + half, y));
      }
      break;
    }
    case 3: {  // mountains at dusk
      Sky(p, W, H, {{0, QColor(48, 30, 80)}, {0.5, QColor(170, 80, 120)}, {0.75, QColor(240, 150, 110)}});
      const auto range = [&](double base, double peak, int n, QColor c) {
        QPainterPath path(QPointF(0, H));
        path.lineTo(0, H * base);
        for (int i = 0; i <= n; ++i) {
          const double x = W * (i + 0.5) / n;
          path.lineTo(x - W * 0.5 / n, H * base);
          path.lineTo(x, H * (base - peak * (0.5 + 0.5 * rng.generateDouble())));
        }
        path.lineTo(W, H * base);
        path.lineTo(W, H);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawPath(path);
      };
      range(0.72, 0.3, 6, QColor(110, 60, 100));
      range(0.82, 0.25, 8, QColor(70, 40, 75));
      range(0.95, 0.2, 11, QColor(36, 22, 44));
      break;
    }
    case 4: {  // night with moon and stars
      Sky(p, W, H, {{0, QColor(6, 10, 32)}, {0.7, QColor(26, 44, 90)}});
      p.setPen(Qt::NoPen);
      for (int s = 0; s < 400; ++s) {
        const int a = 90 + int(rng.bounded(165));
        p.setBrush(QColor(255, 255, 240, a));
        const double r = H * 0.0012 * (1 + rng.bounded(3));
        p.drawEllipse(QPointF(rng.bounded(W), rng.bounded(int(H * 0.7))), r, r);
      }
      // A crescent: the moon's disc less a disc beside it.
      const QPointF moon(W * 0.75, H * 0.22);
      Glow(p, moon, H * 0.07, Qt::transparent, QColor(180, 190, 230, 70));
      QPainterPath disc, bite;
      disc.addEllipse(moon, H * 0.07, H * 0.07);
      bite.addEllipse(moon + QPointF(H * 0.035, -H * 0.015), H * 0.065, H * 0.065);
      p.setBrush(QColor(245, 240, 215));
      p.drawPath(disc.subtracted(bite));
      Layers(p, W, H, {{0.8, 0.04, 1.3, QColor(20, 30, 50)}, {0.9, 0.04, 0.7, QColor(8, 12, 24)}});
      break;
    }
    default: {  // autumn hills with trees
      Sky(p, W, H, {{0, QColor(110, 150, 200)}, {0.6, QColor(245, 215, 160)}});
      Layers(p, W, H,
             {{0.64, 0.05, 1.1, QColor(200, 140, 60)},
              {0.76, 0.05, 0.8, QColor(170, 90, 40)},
              {0.9, 0.03, 0.5, QColor(120, 60, 30)}});
      for (int t = 0; t < 14; ++t) {
        const double x = W * (0.05 + 0.9 * rng.generateDouble());
        const double y = H * (0.74 + 0.12 * rng.generateDouble());
        const double s = H * (0.03 + 0.03 * rng.generateDouble());
        p.setPen(QPen(QColor(70, 40, 20), s * 0.25));
        p.drawLine(QPointF(x, y), QPointF(x, y - s * 1.6));
        p.setPen(Qt::NoPen);
        p.setBrush(t % 3 == 0 ? QColor(220, 80, 30) : t % 3 == 1 ? QColor(240, 170, 40) : QColor(190, 60, 40));
        p.drawEllipse(QPointF(x, y - s * 2), s, s * 1.1);
      }
      break;
    }
  }
  p.end();
  return img.convertToFormat(QImage::Format_RGB888);
}

QImage DrawDefaultCover(int W, int H) {
  QImage img = DrawDefaultPicture(0, W, H).convertToFormat(QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(QRect(0, H * 2 / 3, W, H / 3), QColor(0, 0, 0, 90));
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(H / 9);
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRect(0, H * 2 / 3, W, H / 3), Qt::AlignCenter, QStringLiteral("Mirova Calendar"));
  p.end();
  return img.convertToFormat(QImage::Format_RGB888);
}

void WriteDefaultImagePack(const QString& FileName, const QString& SkinText, const QString& Title) {
  std::vector<PackPicture> pictures;
  for (int i = 0; i < kDefaultPictureCount; ++i) pictures.push_back(PictureFromImage(DrawDefaultPicture(i), true));
  std::vector<SkinForm> forms;
  if (!SkinText.isEmpty()) forms.push_back({QStringLiteral("KVMirovaCalendar"), SkinText});
  WriteImagePack(FileName, Title, SkinPackage({{DrawDefaultCover()}}, forms), pictures);
}

// ---------------------------------------------------------------------------------------------

QByteArray EmbedSource(const std::vector<std::pair<QString, QByteArray>>& Blocks) {
  QByteArray s =
      "// Generated by kvpack: built-in data blocks.\n"
      "#include <QByteArray>\n#include <QString>\n\nnamespace {\n";
  for (size_t b = 0; b < Blocks.size(); ++b) {
    const QByteArray& d = Blocks[b].second;
    s += "const unsigned char kBlock" + QByteArray::number(qulonglong(b)) + "[] = {";
    for (qsizetype i = 0; i < d.size(); ++i) {
      if (i % 24 == 0) s += "\n ";
      s += ' ' + QByteArray::number(uchar(d[i])) + ',';
    }
    if (d.isEmpty()) s += "0";
    s += "};\n";
  }
  s += "struct Block {\n  const char* name;\n  const unsigned char* data;\n  qsizetype size;\n};\n"
       "const Block kBlocks[] = {\n";
  for (size_t b = 0; b < Blocks.size(); ++b)
    s += "    {\"" + Blocks[b].first.toLatin1() + "\", kBlock" + QByteArray::number(qulonglong(b)) + ", " +
         QByteArray::number(Blocks[b].second.size()) + "},\n";
  if (Blocks.empty()) s += "    {\"\", nullptr, 0},\n";
  s += "};\n}  // namespace\n\n"
       "QByteArray BuiltinDataBlock(const QString& Name) {\n"
       "  for (const Block& b : kBlocks)\n"
       "    if (b.data && Name == QLatin1String(b.name))\n"
       "      return QByteArray(reinterpret_cast<const char*>(b.data), b.size);\n"
       "  return {};\n}\n";
  return s;
}

}  // namespace kvpack
