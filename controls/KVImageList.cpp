#include "controls/KVImageList.h"

#include <QDate>
#include <QFile>
#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <climits>

#include "foundation/KVBitmapList.h"
#include "foundation/KVForms.h"
#include "foundation/KVPicture.h"
#include "foundation/KVRStream.h"
#include "platform/KVClock.h"

namespace {

int Clamp32(qint64 v) { return int(std::clamp<qint64>(v, INT_MIN, INT_MAX)); }

// The class library's comma text: items separated by commas or blanks, double quotes around an
// item that holds either, an empty item between two commas and after a last comma.
QStringList SplitCommaText(const QString& text) {
  QStringList items;
  const auto blank = [&](int i) { return i < text.size() && text[i] <= QLatin1Char(' ') && text[i] != QChar(0); };
  int p = 0;
  while (blank(p)) ++p;
  while (p < text.size()) {
    QString s;
    if (text[p] == QLatin1Char('"')) {
      ++p;
      while (p < text.size()) {
        if (text[p] == QLatin1Char('"')) {
          if (p + 1 < text.size() && text[p + 1] == QLatin1Char('"')) {
            s += QLatin1Char('"');
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        s += text[p++];
      }
    } else {
      const int start = p;
      while (p < text.size() && text[p] > QLatin1Char(' ') && text[p] != QLatin1Char(',')) ++p;
      s = text.mid(start, p - start);
    }
    items << s;
    while (blank(p)) ++p;
    if (p < text.size() && text[p] == QLatin1Char(',')) {
      if (p + 1 == text.size()) items << QString();
      do ++p;
      while (blank(p));
    }
  }
  return items;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TKVCustomImageList

TKVCustomImageList::TKVCustomImageList(QWidget* parent) : QWidget(parent) { resize(100, 100); }

void TKVCustomImageList::SetVariableSize(bool on) {
  varSize_ = on;
  Rebuild();
}

void TKVCustomImageList::Loaded() { Rebuild(); }

void TKVCustomImageList::Rebuild() {
  rects_.clear();
  if (!varSize_) return;
  // Only frames the texts give a size can have one: an absurd Count allocates nothing.
  const qint64 sized = std::max(varWidthS_.count(QLatin1Char(',')), varHeightS_.count(QLatin1Char(',')));
  const int n = int(std::min<qint64>(count_, sized));
  const std::vector<int> widths = ParseSizes(varWidthS_, n), heights = ParseSizes(varHeightS_, n);
  rects_.reserve(size_t(n));
  qint64 x = 0;
  for (int i = 0; i < n; ++i) {
    const qint64 right = x + std::max(widths[size_t(i)], 0);
    rects_.push_back(TRect{Clamp32(x), 0, Clamp32(right), std::max(heights[size_t(i)], 0)});
    x = right;
  }
}

TRect TKVCustomImageList::FrameRect(int i) const {
  if (i < 0 || i >= count_) return TRect{};
  if (varSize_) return size_t(i) < rects_.size() ? rects_[size_t(i)] : TRect{};
  return TRect{Clamp32(qint64(i) * imgWidth_), 0, Clamp32(qint64(i + 1) * imgWidth_), imgHeight_};
}

void TKVCustomImageList::AddFrame(const QImage& graphic) {
  const int gw = graphic.isNull() ? 0 : graphic.width(), gh = graphic.isNull() ? 0 : graphic.height();
  qint64 newW = 0, newH = 0, x = 0;
  if (varSize_) {
    x = picture_.Width();
    newW = x + gw;
    newH = std::max(picture_.Height(), gh);
  } else {
    const int w = count_ == 0 ? gw : imgWidth_;
    x = picture_.Width();
    newW = x + w;
    newH = count_ == 0 ? gh : picture_.Height();
  }
  if (newW > INT_MAX || newW * newH > kMaxPicturePixels)
    throw EOutOfResources(QStringLiteral("Not enough memory for a frame strip of %1 x %2").arg(newW).arg(newH));
  if (varSize_) {
    if (count_ == 0 && autoSize_) resize(gw, gh);
    varWidthS_ += QString::number(gw) + QLatin1Char(',');
    varHeightS_ += QString::number(gh) + QLatin1Char(',');
  } else if (count_ == 0) {
    imgWidth_ = gw;
    imgHeight_ = gh;
    if (autoSize_) resize(gw, gh);
  }
  picture_.BrushStyle = bsSolid;
  picture_.BrushColor = clWhite;
  picture_.SetSize(int(newW), int(newH));
  if (gw > 0 && gh > 0) picture_.Draw(int(x), 0, graphic);
  ++count_;
  Rebuild();
}

void TKVCustomImageList::Clear() {
  picture_.SetSize(0, 0);
  varWidthS_.clear();
  varHeightS_.clear();
  count_ = 0;
  rects_.clear();
}

void TKVCustomImageList::DrawFrame(QPainter& canvas, int x, int i, int y) const {
  const TRect r = FrameRect(i);
  if (RectIsEmpty(r) || picture_.Empty()) return;
  canvas.drawImage(QPoint(x, y), picture_.Image(), QRect(r.Left, r.Top, r.Width(), r.Height()));
}

void TKVCustomImageList::DrawFrame(TKVBitmap& canvas, int x, int i, int y) const {
  const TRect r = FrameRect(i);
  if (RectIsEmpty(r) || picture_.Empty()) return;
  canvas.CopyRect(Bounds(x, y, r.Width(), r.Height()), picture_, r);
}

void TKVCustomImageList::SetImgHeight(int value) {
  if (varSize_) return;
  value = std::max(value, 0);
  if (count_ > 0) {
    if (qint64(picture_.Width()) * value > kMaxPicturePixels)
      throw EOutOfResources(QStringLiteral("Not enough memory for frames %1 high").arg(value));
    picture_.SetHeight(value);
  }
  imgHeight_ = value;
  if (autoSize_) resize(width(), value);
}

void TKVCustomImageList::SetImgWidth(int value) {
  if (varSize_) return;
  value = std::max(value, 0);
  if (count_ > 0) {
    const qint64 newW = qint64(count_) * value;
    if (newW > INT_MAX || newW * picture_.Height() > kMaxPicturePixels)
      throw EOutOfResources(QStringLiteral("Not enough memory for %1 frames %2 wide").arg(count_).arg(value));
    TKVBitmap n;
    n.SetSize(int(newW), picture_.Height());
    for (int i = 0; i < count_; ++i) {
      const TRect src{Clamp32(qint64(i) * imgWidth_), 0, Clamp32(qint64(i + 1) * imgWidth_), picture_.Height()};
      n.CopyRect(Bounds(i * value, 0, src.Width(), src.Height()), picture_, src);
    }
    picture_ = std::move(n);
  }
  imgWidth_ = value;
  if (autoSize_) resize(value, height());
}

QImage TKVCustomImageList::LoadResource(const QString& module, const QString& name) {
  const QString path = module + QLatin1Char('/') + name + QStringLiteral(".bmp");
  // A resource name is a name, never a path out of the module's folder.
  if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || !QFile::exists(path))
    throw EResNotFound(QStringLiteral("Resource %1 not found").arg(name));
  return LoadPictureFromFile(path);
}

void TKVCustomImageList::LoadFromPack(const std::vector<int>& numbers, TKVResReader& pack) {
  Clear();
  for (int n : numbers) {
    if (n < 0) {
      AddFrame(QImage());
      continue;
    }
    const QByteArray data = pack.ReadBuffer(n, kMaxPictureDataSize);
    AddFrame(data.isEmpty() ? QImage() : DecodeBMP(data));
  }
}

void TKVCustomImageList::LoadFromResources(const QString& module, const QString& prefix, int first, int last) {
  for (qint64 n = first; n <= last; ++n) AddFrame(LoadResource(module, prefix + QString::number(n)));
}

void TKVCustomImageList::LoadFromResourceList(const QString& module, const QString& commaText, bool prefixOwnName) {
  Clear();
  for (const QString& item : SplitCommaText(commaText)) {
    if (item.isEmpty()) AddFrame(QImage());
    else AddFrame(LoadResource(module, prefixOwnName ? objectName() + item : item));
  }
}

void TKVCustomImageList::Assign(const TKVCustomImageList& source) {
  if (&source == this) return;
  count_ = source.count_;
  varSize_ = source.varSize_;
  autoSize_ = source.autoSize_;
  varWidthS_ = source.varWidthS_;
  varHeightS_ = source.varHeightS_;
  picture_ = source.picture_;
  imgWidth_ = source.width();
  imgHeight_ = source.height();
  Rebuild();
  if (!autoSize_) return;
  if (varSize_ && count_ > 0) {
    const TRect r = FrameRect(0);
    resize(std::max(r.Width(), 0), std::max(r.Height(), 0));
  } else {
    resize(imgWidth_, imgHeight_);
  }
}

void TKVCustomImageList::paintEvent(QPaintEvent*) {}

// ---------------------------------------------------------------------------------------------
// TCustomClock

void TCustomClock::paintEvent(QPaintEvent* event) {
  TKVCustomImageList::paintEvent(event);
  QPainter p(this);
  PaintDay(p);
  PaintMinute(p);
  PaintTick(p);
}

// ---------------------------------------------------------------------------------------------
// TClockTimer

TClockTimer::TClockTimer(QObject* parent) : QTimer(parent) {
  setInterval(1000);
  Decode();
  connect(this, &QTimer::timeout, this, Guarded([this] { Ticker(); }));
  start();
}

void TClockTimer::SetEnabled(bool on) {
  if (on) start();
  else stop();
}

void TClockTimer::SetDisplay(TCustomClock* display) {
  display_ = display;
  if (display_) display_->update();
}

void TClockTimer::Decode() {
  const QDateTime now = KVNow();
  const QTime t = now.time();
  hour_ = t.hour();
  minute_ = t.minute();
  second_ = t.second();
  msec_ = t.msec();
  day_ = now.date().toJulianDay();
  minuteOfDay_ = hour_ * 60 + minute_;
}

void TClockTimer::Ticker() {
  const auto shown = [this] { return display_ && display_->isVisible(); };
  if (shown()) display_->RefreshTick();
  const qint64 lastDay = day_, lastMinute = minuteOfDay_;
  Decode();
  if (day_ == lastDay && minuteOfDay_ == lastMinute) return;
  if (shown()) display_->RefreshMinute();
  if (day_ != lastDay) {
    if (shown()) display_->RefreshDay();
    OnDay(this);
  }
  OnMinute(this);
}
