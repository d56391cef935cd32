#include <QBuffer>
#include <QDir>
#include <QPainter>
#include <climits>
#include <gtest/gtest.h>

#include "controls/KVImageList.h"
#include "foundation/KVPicture.h"
#include "foundation/KVRStream.h"
#include "platform/KVClock.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"

namespace {

QImage Solid(int w, int h, QColor c) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(c);
  return img;
}

QByteArray BitmapFile(const QImage& img) {
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  img.save(&b, "BMP");
  return b.data();
}

QColor Pixel(const TKVBitmap& b, int x, int y) { return b.Image().pixelColor(x, y); }

}  // namespace

TEST(ImageList, FramesOfVaryingSizesSideBySide) {
  TKVCustomImageList list;
  EXPECT_EQ(list.size(), QSize(100, 100));
  list.AddFrame(Solid(16, 16, Qt::red));
  list.AddFrame(Solid(32, 24, Qt::blue));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Picture().Width(), 48);
  EXPECT_EQ(list.Picture().Height(), 24);
  EXPECT_EQ(list.VarWidthS(), "16,32,");
  EXPECT_EQ(list.VarHeightS(), "16,24,");
  EXPECT_EQ(list.size(), QSize(16, 16));  // sized by the first frame
  EXPECT_EQ(list.FrameRect(1), (TRect{16, 0, 48, 24}));

  // Each frame is drawn with its own size; indices outside the frames draw nothing.
  TKVBitmap canvas(60, 30);
  canvas.BrushColor = clWhite;
  canvas.FillRect(GraphicBounds(canvas));
  list.DrawFrame(canvas, 10, 1, 2);
  EXPECT_EQ(Pixel(canvas, 10, 2), QColor(Qt::blue));
  EXPECT_EQ(Pixel(canvas, 41, 25), QColor(Qt::blue));
  EXPECT_EQ(Pixel(canvas, 42, 25), QColor(Qt::white));
  EXPECT_EQ(Pixel(canvas, 10, 26), QColor(Qt::white));
  for (int bad : {2, 3, -1, INT_MAX, INT_MIN}) list.DrawFrame(canvas, 0, bad, 0);
  EXPECT_EQ(Pixel(canvas, 0, 0), QColor(Qt::white));
  QImage target(20, 20, QImage::Format_RGB32);
  target.fill(Qt::white);
  QPainter p(&target);
  list.DrawFrame(p, 2, 0, 2);
  list.DrawFrame(p, 0, 5, 0);
  p.end();
  EXPECT_EQ(target.pixelColor(2, 2), QColor(Qt::red));
  EXPECT_EQ(target.pixelColor(1, 1), QColor(Qt::white));

  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.Picture().Empty());
  EXPECT_TRUE(list.VarWidthS().isEmpty());
}

TEST(ImageList, StoredSizesAreParsedOnLoadingAndNeverTrusted) {
  TKVCustomImageList source;
  source.AddFrame(Solid(8, 8, Qt::green));
  source.AddFrame(Solid(4, 6, Qt::red));
  TKVCustomImageList list;
  list.SetCount(2);
  list.SetVarWidthS("8,4,");
  list.SetVarHeightS("8,6,");
  list.Loaded();
  EXPECT_EQ(list.FrameRect(1), (TRect{8, 0, 12, 6}));
  // A count far beyond the texts gives frames without a size and allocates nothing for them.
  list.SetCount(INT_MAX);
  list.SetVarWidthS("8,x,-5,");
  list.Loaded();
  EXPECT_EQ(list.FrameRect(1), (TRect{8, 0, 8, 6}));
  EXPECT_EQ(list.FrameRect(2), (TRect{8, 0, 8, 0}));
  EXPECT_EQ(list.FrameRect(INT_MAX - 1), TRect{});
  TKVBitmap canvas(4, 4);
  list.DrawFrame(canvas, 0, INT_MAX - 1, 0);
  list.SetCount(-3);
  EXPECT_EQ(list.Count(), 0);
}

TEST(ImageList, FixedSizeFramesAndTheirSetters) {
  TKVCustomImageList list;
  list.SetVariableSize(false);
  list.AddFrame(Solid(10, 6, Qt::red));
  list.AddFrame(Solid(10, 6, Qt::blue));
  EXPECT_EQ(list.ImgWidth(), 10);
  EXPECT_EQ(list.ImgHeight(), 6);
  EXPECT_EQ(list.Picture().Width(), 20);
  EXPECT_EQ(list.size(), QSize(10, 6));
  EXPECT_EQ(list.FrameRect(1), (TRect{10, 0, 20, 6}));
  // Wider frames: each frame moves to its new place with its old width.
  list.SetImgWidth(15);
  EXPECT_EQ(list.Picture().Width(), 30);
  EXPECT_EQ(Pixel(list.Picture(), 15, 0), QColor(Qt::blue));
  EXPECT_EQ(list.width(), 15);
  list.SetImgHeight(4);
  EXPECT_EQ(list.Picture().Height(), 4);
  EXPECT_EQ(list.height(), 4);
  // Absurd sizes are refused before anything is allocated and change nothing.
  EXPECT_THROW(list.SetImgWidth(INT_MAX), EOutOfResources);
  EXPECT_THROW(list.SetImgHeight(INT_MAX), EOutOfResources);
  EXPECT_EQ(list.ImgWidth(), 15);
  EXPECT_EQ(list.Picture().Width(), 30);
  list.SetImgWidth(-7);
  EXPECT_EQ(list.ImgWidth(), 0);
  // The setters do nothing in variable-size mode.
  TKVCustomImageList var;
  var.SetImgWidth(33);
  EXPECT_EQ(var.ImgWidth(), 100);
}

TEST(ImageList, FramesFromAPackWithEmptyOnesForNegativeNumbers) {
  TKVResWriter w(1, true);
  for (QColor c : {Qt::black, Qt::black, Qt::black, Qt::red, Qt::blue}) w.AddBuffer(1, BitmapFile(Solid(5, 3, c)));
  w.AddBuffer(7, QByteArray("not a bitmap"));
  QBuffer pack;
  pack.open(QIODevice::ReadWrite);
  w.SaveToStream(pack);
  TKVResReader r;
  r.SetStream(&pack);
  ASSERT_TRUE(r.ReadDirectory());

  TKVCustomImageList list;
  list.LoadFromPack({3, -1, 4}, r);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.VarWidthS(), "5,0,5,");
  EXPECT_TRUE(RectIsEmpty(list.FrameRect(1)));
  EXPECT_EQ(Pixel(list.Picture(), 0, 0), QColor(Qt::red));
  EXPECT_EQ(Pixel(list.Picture(), 5, 0), QColor(Qt::blue));
  EXPECT_THROW(list.LoadFromPack({5}, r), EKVError);
  EXPECT_THROW(list.LoadFromPack({99}, r), EKVError);
}

TEST(ImageList, FramesFromBitmapResources) {
  const QString module = kvtest::TestRoot() + "/bitmaps";
  QDir().mkpath(module);
  Solid(6, 6, Qt::red).save(module + "/DIGIT0.bmp");
  Solid(7, 6, Qt::green).save(module + "/DIGIT1.bmp");
  Solid(8, 6, Qt::blue).save(module + "/ClockColon.bmp");

  TKVCustomImageList list;
  list.LoadFromResources(module, "DIGIT", 0, 1);
  EXPECT_EQ(list.VarWidthS(), "6,7,");
  list.LoadFromResources(module, "DIGIT", 1, 1);  // added to what is there
  EXPECT_EQ(list.Count(), 3);
  EXPECT_THROW(list.LoadFromResources(module, "DIGIT", 0, INT_MAX), EResNotFound);

  // A list: an empty item is an empty frame; with the own-name prefix the object name leads.
  list.LoadFromResourceList(module, "DIGIT1,,DIGIT0", false);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.VarWidthS(), "7,0,6,");
  list.setObjectName("Clock");
  list.LoadFromResourceList(module, "Colon, \"Colon\",", true);
  EXPECT_EQ(list.VarWidthS(), "8,8,0,");
  EXPECT_THROW(list.LoadFromResourceList(module, "Missing", false), EResNotFound);
  EXPECT_THROW(list.LoadFromResourceList(module, "../bitmaps/DIGIT0", false), EResNotFound);
}

TEST(ImageList, AssignTakesFramesAndTheSourceSize) {
  TKVCustomImageList source;
  source.AddFrame(Solid(12, 9, Qt::red));
  source.AddFrame(Solid(3, 9, Qt::blue));
  source.resize(40, 30);
  TKVCustomImageList copy;
  copy.Assign(source);
  EXPECT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.VarWidthS(), "12,3,");
  EXPECT_EQ(copy.ImgWidth(), 40);
  EXPECT_EQ(copy.ImgHeight(), 30);
  EXPECT_EQ(copy.size(), QSize(12, 9));
  EXPECT_EQ(copy.FrameRect(1), (TRect{12, 0, 15, 9}));
  EXPECT_EQ(Pixel(copy.Picture(), 12, 0), QColor(Qt::blue));
  copy.Assign(copy);
  EXPECT_EQ(copy.Count(), 2);
}

// ---------------------------------------------------------------------------------------------
// Clock timer

namespace {

// A clock display that counts what the timer asked of it.
class CountingClock : public TCustomClock {
 public:
  using TCustomClock::TCustomClock;
  int ticks = 0, minutes = 0, days = 0;
  std::vector<QString>* log = nullptr;
  void RefreshTick() override { ++ticks; }
  void RefreshMinute() override {
    ++minutes;
    if (log) log->push_back("paint minute");
  }
  void RefreshDay() override {
    ++days;
    if (log) log->push_back("paint day");
  }

 protected:
  void PaintDay(QPainter&) override {}
  void PaintMinute(QPainter&) override {}
  void PaintTick(QPainter&) override {}
};

struct Clock {
  QDateTime now = QDateTime(QDate(2024, 3, 9), QTime(23, 59, 10));
  std::vector<QString> log;
  Clock() { SetClock([this] { return now; }); }
  ~Clock() { SetClock(nullptr); }
  void Bind(TClockTimer& t) {
    t.OnDay.Set([this](TClockTimer*) { log.push_back("day"); });
    t.OnMinute.Set([this](TClockTimer*) { log.push_back("minute"); });
  }
};

}  // namespace

TEST(ClockTimer, MinuteAndMidnightEventsFromTheWallClock) {
  Clock c;
  TClockTimer t;
  EXPECT_TRUE(t.Enabled());
  EXPECT_EQ(t.interval(), 1000);
  EXPECT_EQ(t.Hour(), 23);
  c.Bind(t);

  // Within the same minute nothing fires.
  c.now = c.now.addSecs(30);
  t.Ticker();
  EXPECT_TRUE(c.log.empty());
  EXPECT_EQ(t.Second(), 40);

  // 23:59 -> 00:00: the day first, then the minute.
  c.now = QDateTime(QDate(2024, 3, 10), QTime(0, 0, 1));
  t.Ticker();
  EXPECT_EQ(c.log, (std::vector<QString>{"day", "minute"}));
  c.log.clear();
  c.now = c.now.addSecs(60);
  t.Ticker();
  EXPECT_EQ(c.log, std::vector<QString>{"minute"});
  t.SetEnabled(false);
  EXPECT_FALSE(t.Enabled());
}

TEST(ClockTimer, SuspendAndSetClocksAreNoticedOnTheNextTick) {
  Clock c;
  c.now = QDateTime(QDate(2024, 3, 9), QTime(10, 5, 0));
  TClockTimer t;
  c.Bind(t);
  // Asleep for exactly one hour: the minute number is the same, the minute is not.
  c.now = c.now.addSecs(3600);
  t.Ticker();
  EXPECT_EQ(c.log, std::vector<QString>{"minute"});
  // Asleep over midnight, woken at 08:15: the day changed although it is not 00:00.
  c.log.clear();
  c.now = QDateTime(QDate(2024, 3, 10), QTime(8, 15, 3));
  t.Ticker();
  EXPECT_EQ(c.log, (std::vector<QString>{"day", "minute"}));
  // The clock set back a whole day to the same minute.
  c.log.clear();
  c.now = c.now.addDays(-1);
  t.Ticker();
  EXPECT_EQ(c.log, (std::vector<QString>{"day", "minute"}));
  // The clock set back within the day.
  c.log.clear();
  c.now = c.now.addSecs(-7200);
  t.Ticker();
  EXPECT_EQ(c.log, std::vector<QString>{"minute"});
  // The timer's own ticks run the same check, and a handler's error stays inside the tick.
  c.log.clear();
  c.now = c.now.addSecs(60);
  t.OnMinute.Set([](TClockTimer*) { throw EKVError("minute handler failed"); });
  QStringList shown;
  TKVErrorPolicy& policy = ErrorPolicy();
  const TKVErrorPolicy saved = policy;
  policy.ShowException = [&](const QString& m) { shown << m; };
  policy.KeepRunning = [] { return true; };
  t.setInterval(1);
  QTest::qWait(30);
  policy = saved;
  EXPECT_EQ(shown, QStringList{"minute handler failed"});
}

TEST(ClockTimer, AVisibleDisplayIsRepaintedForTicksMinutesAndDays) {
  Clock c;
  TClockTimer t;
  CountingClock display;
  c.Bind(t);
  display.log = &c.log;
  t.SetDisplay(&display);
  t.Ticker();
  EXPECT_EQ(display.ticks, 0);  // hidden
  display.show();
  t.Ticker();
  EXPECT_EQ(display.ticks, 1);
  c.now = QDateTime(QDate(2024, 3, 10), QTime(0, 0, 0));
  t.Ticker();
  EXPECT_EQ(c.log, (std::vector<QString>{"paint minute", "paint day", "day", "minute"}));
  // A freed display is forgotten.
  {
    CountingClock shortLived;
    t.SetDisplay(&shortLived);
  }
  EXPECT_EQ(t.Display(), nullptr);
  c.now = c.now.addSecs(60);
  t.Ticker();
}
