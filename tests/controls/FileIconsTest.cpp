#include "controls/KVFileIcons.h"

#include <gtest/gtest.h>

#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <functional>
#include <random>

#include "foundation/KVGraphics.h"
#include "tests/common/SkipMissing.h"
#include "tests/common/TestUtil.h"
#include "tests/controls/IconTestUtil.h"

using namespace icontest;

namespace {

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 160, 0), kBlue = qRgb(0, 0, 255);

QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) | 0xFF000000u; }

class FileIcons : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString Write(const QString& name, const QByteArray& data) {
    const QString path = dir.filePath(name);
    kvtest::WriteFile(path, data);
    return path;
  }
  // A list that already holds something, to see that icons are appended after it.
  std::vector<QImage> list{QImage(32, 32, QImage::Format_BGR888)};
};

TEST_F(FileIcons, AnIconFileGivesEveryPictureInOrder) {
  const QByteArray ico = Ico({{Dib(16, 16, 4, kRed, 4), 16, 4},
                              {Dib(32, 32, 32, qRgba(0, 160, 0, 255), 8), 32, 32},
                              {Dib(48, 48, 24, kBlue, 0), 48, 24},
                              {Png(256, 256, kRed), 256, 32},
                              {Dib(8, 8, 1, kBlue, 0), 8, 1}});
  const std::vector<QImage> raw = ReadFileIcons(ico);
  ASSERT_EQ(raw.size(), 5u);
  EXPECT_EQ(raw[0].size(), QSize(16, 16));
  EXPECT_EQ(raw[1].size(), QSize(32, 32));
  EXPECT_EQ(raw[2].size(), QSize(48, 48));
  EXPECT_EQ(raw[3].size(), QSize(256, 256));
  EXPECT_EQ(raw[4].size(), QSize(8, 8));
  // The mask hides the first columns of the paletted picture; the alpha those of the 32-bit one.
  EXPECT_EQ(qAlpha(raw[0].pixel(3, 5)), 0);
  EXPECT_EQ(raw[0].pixel(4, 5), qRgba(255, 0, 0, 255));
  EXPECT_EQ(qAlpha(raw[1].pixel(7, 0)), 0);
  EXPECT_EQ(raw[1].pixel(8, 31), qRgba(0, 160, 0, 255));
  EXPECT_EQ(raw[2].pixel(47, 47), qRgba(0, 0, 255, 255));
  EXPECT_EQ(raw[4].pixel(0, 0), qRgba(0, 0, 255, 255));

  const QString path = Write("several.ico", ico);
  ASSERT_TRUE(LoadFileIcons(path, &list));
  ASSERT_EQ(list.size(), 6u);
  for (size_t i = 1; i < list.size(); ++i) {
    EXPECT_EQ(list[i].size(), QSize(32, 32));
    EXPECT_EQ(list[i].format(), QImage::Format_BGR888);
  }
  // Smaller pictures sit at the top left on white; hidden pixels are white.
  EXPECT_EQ(At(list[1], 2, 2), qRgb(255, 255, 255));
  EXPECT_EQ(At(list[1], 10, 10), kRed);
  EXPECT_EQ(At(list[1], 20, 20), qRgb(255, 255, 255));
  EXPECT_EQ(At(list[2], 9, 9), kGreen);
  EXPECT_EQ(At(list[2], 2, 9), qRgb(255, 255, 255));
  // Larger ones are shrunk to the whole square, not cut.
  EXPECT_EQ(At(list[3], 31, 31), kBlue);
  EXPECT_EQ(At(list[4], 16, 16), kRed);
  EXPECT_EQ(At(list[4], 31, 31), kRed);
}

TEST_F(FileIcons, AProgramFileGivesOneIconPerGroupNearestToTheListSize) {
  for (bool plus : {false, true}) {
    const QByteArray pe = Pe({{{Dib(16, 16, 32, qRgba(255, 0, 0, 255)), 16, 32},
                               {Dib(32, 32, 8, kGreen), 32, 8},
                               {Dib(32, 32, 32, qRgba(0, 0, 255, 255)), 32, 32},
                               {Png(256, 256, kRed), 256, 32}},
                              {{Dib(48, 48, 24, kRed), 48, 24}, {Dib(16, 16, 4, kGreen), 16, 4}},
                              {{Dib(16, 16, 24, kBlue), 16, 24}}},
                             plus);
    const std::vector<QImage> raw = ReadFileIcons(pe);
    ASSERT_EQ(raw.size(), 3u) << plus;
    // 32 x 32 in the deepest colours; else the next larger; else what there is.
    EXPECT_EQ(raw[0].size(), QSize(32, 32));
    EXPECT_EQ(raw[0].pixel(5, 5), qRgba(0, 0, 255, 255));
    EXPECT_EQ(raw[1].size(), QSize(48, 48));
    EXPECT_EQ(raw[2].size(), QSize(16, 16));

    std::vector<QImage> icons;
    ASSERT_TRUE(LoadFileIcons(Write(plus ? "lib64.dll" : "prog.exe", pe), &icons));
    ASSERT_EQ(icons.size(), 3u);
    EXPECT_EQ(At(icons[0], 0, 0), kBlue);
    EXPECT_EQ(At(icons[1], 31, 31), kRed);
    EXPECT_EQ(At(icons[2], 15, 15), kBlue);
    EXPECT_EQ(At(icons[2], 16, 16), qRgb(255, 255, 255));
  }
}

TEST_F(FileIcons, APictureOfAGroupThatIsMissingOrBrokenFallsBackToAnother) {
  // The 32 x 32 picture is no picture at all: the 16 x 16 one stands in.
  QByteArray broken = Dib(32, 32, 32, kRed);
  broken[16] = 5;  // a compression the reader does not take
  const QByteArray pe = Pe({{{broken, 32, 32}, {Dib(16, 16, 24, kGreen), 16, 24}}, {{QByteArray(10, 'x'), 32, 32}}});
  const std::vector<QImage> raw = ReadFileIcons(pe);
  ASSERT_EQ(raw.size(), 1u);
  EXPECT_EQ(raw[0].size(), QSize(16, 16));
}

TEST_F(FileIcons, PictureFilesAreCentredShrunkAndNeverEnlarged) {
  QImage wide(64, 32, QImage::Format_ARGB32);
  wide.fill(Qt::transparent);
  QPainter(&wide).fillRect(0, 0, 64, 32, QColor(0, 0, 255, 255));
  ASSERT_TRUE(wide.save(dir.filePath("wide.png")));
  QImage small(10, 10, QImage::Format_RGB32);
  small.fill(kRed);
  ASSERT_TRUE(small.save(dir.filePath("small.bmp")));
  QImage half(20, 20, QImage::Format_ARGB32);
  half.fill(Qt::transparent);
  QPainter(&half).fillRect(10, 0, 10, 20, QColor(0, 160, 0));
  ASSERT_TRUE(half.save(dir.filePath("half.png")));

  ASSERT_TRUE(CollectFileIcons(dir.filePath("wide.png"), &list));
  ASSERT_TRUE(CollectFileIcons(dir.filePath("small.bmp"), &list));
  ASSERT_TRUE(LoadPictureIcon(dir.filePath("half.png"), &list));
  ASSERT_EQ(list.size(), 4u);
  // 64 x 32 becomes 32 x 16 in the middle rows.
  EXPECT_EQ(At(list[1], 16, 7), qRgb(255, 255, 255));
  EXPECT_EQ(At(list[1], 0, 8), kBlue);
  EXPECT_EQ(At(list[1], 31, 23), kBlue);
  EXPECT_EQ(At(list[1], 16, 24), qRgb(255, 255, 255));
  // 10 x 10 stays that size, centred: columns 11 to 20.
  EXPECT_EQ(At(list[2], 10, 15), qRgb(255, 255, 255));
  EXPECT_EQ(At(list[2], 11, 11), kRed);
  EXPECT_EQ(At(list[2], 20, 20), kRed);
  EXPECT_EQ(At(list[2], 21, 15), qRgb(255, 255, 255));
  // Transparent pixels are white.
  EXPECT_EQ(At(list[3], 10, 10), qRgb(255, 255, 255));
  EXPECT_EQ(At(list[3], 20, 10), kGreen);

  // The content decides, not the name: an icon file without its extension still gives icons.
  ASSERT_TRUE(CollectFileIcons(Write("noext", Ico({{Dib(32, 32, 24, kRed), 32, 24}})), &list));
  EXPECT_EQ(At(list[4], 5, 5), kRed);
}

TEST_F(FileIcons, SvgPicturesAreDrawnThroughQt) {
  if (!QImageReader::supportedImageFormats().contains("svg"))
    KV_SKIP_MISSING() << "the Qt SVG image plug-in (libqt6svg6) is not installed";
  const QString svg = Write("circle.svg",
                            "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='64'>"
                            "<rect x='0' y='0' width='64' height='64' fill='#ff0000'/></svg>");
  ASSERT_TRUE(CollectFileIcons(svg, &list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(At(list[1], 0, 0), kRed);
  EXPECT_EQ(At(list[1], 31, 31), kRed);
}

TEST_F(FileIcons, NothingToTakeLeavesTheListAlone) {
  EXPECT_FALSE(LoadFileIcons(dir.filePath("missing.ico"), &list));
  EXPECT_FALSE(LoadFileIcons(Write("empty.ico", QByteArray()), &list));
  EXPECT_FALSE(LoadFileIcons(Write("none.ico", Ico({})), &list));
  EXPECT_FALSE(LoadFileIcons(Write("text.exe", "MZ but nothing else"), &list));
  EXPECT_FALSE(LoadFileIcons(Write("noicons.dll", Pe({})), &list));
  EXPECT_FALSE(LoadFileIcons(Write("picture.ico", Png(16, 16, kRed)), &list));
  EXPECT_FALSE(LoadFileIcons(Write("ok.ico", Ico({{Dib(16, 16, 8, kRed), 16, 8}})), nullptr));
  EXPECT_FALSE(LoadPictureIcon(Write("junk.png", "not a picture"), &list));
  EXPECT_FALSE(CollectFileIcons(dir.filePath("missing.png"), &list));
  EXPECT_EQ(list.size(), 1u);
}

// ---- hostile files

QByteArray OneIcon() { return Ico({{Dib(16, 16, 8, kRed), 16, 8}}); }

TEST(FileIconsHostile, IconFilesWithLyingDirectoriesFailCleanly) {
  // A count far beyond the directory the file holds.
  QByteArray many = OneIcon();
  Set16(many, 4, 65535);
  EXPECT_THROW(ReadFileIcons(many), EInvalidGraphic);
  // Pictures outside the file, or claiming more than it holds, are left out.
  QByteArray outside = OneIcon();
  Set32(outside, 6 + 12, 0x7FFFFFF0u);
  EXPECT_TRUE(ReadFileIcons(outside).empty());
  QByteArray longer = OneIcon();
  Set32(longer, 6 + 8, 0xFFFFFFFFu);
  EXPECT_TRUE(ReadFileIcons(longer).empty());
  // Bitmaps whose sizes do not fit their data or reason.
  const auto withDib = [](const std::function<void(QByteArray&)>& change) {
    QByteArray dib = Dib(16, 16, 8, kRed);
    change(dib);
    return ReadFileIcons(Ico({{dib, 16, 8}}));
  };
  EXPECT_TRUE(withDib([](QByteArray& d) { Set32(d, 4, 100000); }).empty());     // width
  EXPECT_TRUE(withDib([](QByteArray& d) { Set32(d, 8, 0x80000000u); }).empty()); // negative height
  EXPECT_TRUE(withDib([](QByteArray& d) { Set32(d, 8, 2 * 1000); }).empty());    // rows the data lacks
  EXPECT_TRUE(withDib([](QByteArray& d) { Set32(d, 0, 0xFFFFFFFFu); }).empty()); // header size
  EXPECT_TRUE(withDib([](QByteArray& d) { Set32(d, 32, 100000); }).empty());     // palette size
  EXPECT_TRUE(withDib([](QByteArray& d) { Set16(d, 14, 7); }).empty());          // bit count
  EXPECT_TRUE(withDib([](QByteArray& d) { d.truncate(40); }).empty());
  // A PNG whose header claims a picture far larger than any icon is not decoded.
  QByteArray png = Png(16, 16, kRed);
  png[16] = char(0x7F);
  EXPECT_TRUE(ReadFileIcons(Ico({{png, 0, 32}})).empty());
}

TEST(FileIconsHostile, ProgramFilesWithLyingHeadersFailCleanly) {
  const QByteArray good = Pe({{{Dib(32, 32, 24, kRed), 32, 24}}});
  ASSERT_EQ(ReadFileIcons(good).size(), 1u);
  const auto changed = [&](const std::function<void(QByteArray&)>& change) {
    QByteArray pe = good;
    change(pe);
    return pe;
  };
  // Headers pointing outside the file.
  EXPECT_THROW(ReadFileIcons(changed([](QByteArray& f) { Set32(f, 0x3C, 0xFFFFFFF0u); })), EInvalidGraphic);
  EXPECT_THROW(ReadFileIcons(changed([](QByteArray& f) { f[0x41] = 'X'; })), EInvalidGraphic);
  EXPECT_THROW(ReadFileIcons(changed([](QByteArray& f) { Set16(f, 0x46, 65535); })), EInvalidGraphic);
  EXPECT_THROW(ReadFileIcons(changed([](QByteArray& f) { Set16(f, 0x54, 65535); })), EInvalidGraphic);
  EXPECT_THROW(ReadFileIcons(changed([](QByteArray& f) { Set16(f, 0x58, 0x999); })), EInvalidGraphic);
  // The section's data outside the file.
  EXPECT_THROW(ReadFileIcons(changed([](QByteArray& f) { Set32(f, 0x138 + 20, 0x7FFFFFF0u); })), EInvalidGraphic);
  EXPECT_THROW(ReadFileIcons(changed([](QByteArray& f) { Set32(f, 0x138 + 12, 0x5000); })), EInvalidGraphic);
  // A section claiming more data than the file holds: what is read still lies in the file.
  EXPECT_EQ(ReadFileIcons(changed([](QByteArray& f) { Set32(f, 0x138 + 16, 0xFFFFFFFFu); })).size(), 1u);
  // A resource directory claiming 65535 + 65535 entries.
  EXPECT_THROW(ReadFileIcons(changed([](QByteArray& f) {
                 Set16(f, 0x200 + 12, 65535);
                 Set16(f, 0x200 + 14, 65535);
               })),
               EInvalidGraphic);
  // A directory that points back at the root does not loop.
  EXPECT_NO_THROW(ReadFileIcons(changed([](QByteArray& f) { Set32(f, 0x200 + 16 + 4, 0x80000000u); })));
  // A group that claims more pictures than it holds, and one whose data lies outside the file.
  const QByteArray big = changed([](QByteArray& f) {
    const int groupCount = f.indexOf(QByteArray("\x00\x00\x01\x00\x01\x00\x20\x20", 8), 0x200);
    ASSERT_GT(groupCount, 0);
    Set16(f, groupCount + 4, 9999);
  });
  EXPECT_TRUE(ReadFileIcons(big).empty());
  // No resource directory at all: no icons, and no error.
  EXPECT_TRUE(ReadFileIcons(changed([](QByteArray& f) { Set32(f, 0x58 + 96 + 16, 0); })).empty());
}

TEST(FileIconsHostile, EveryCutAndAnyFlippedByteFailsCleanly) {
  const QByteArray ico = Ico({{Dib(16, 16, 4, kRed, 3), 16, 4}, {Png(24, 24, kBlue), 24, 32}});
  const QByteArray pe = Pe({{{Dib(16, 16, 8, kRed), 16, 8}, {Dib(32, 32, 32, kGreen), 32, 32}}, {{Png(20, 20, kRed), 20, 32}}});
  for (const QByteArray& file : {ico, pe}) {
    for (int n = 0; n < file.size(); ++n) {
      try {
        ReadFileIcons(file.left(n));
      } catch (const EInvalidGraphic&) {
      }
    }
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
      QByteArray f = file;
      for (int k = 0; k < 4; ++k) f[int(random() % f.size())] = char(random());
      try {
        for (const QImage& icon : ReadFileIcons(f)) {
          EXPECT_LE(icon.width(), kMaxIconSide);
          EXPECT_LE(icon.height(), kMaxIconSide);
        }
      } catch (const EInvalidGraphic&) {
      }
    }
  }
}

// ---- what one file may cost, however its entries name its pictures

// A file that counts the bytes read from it.
class CountingBuffer : public QBuffer {
 public:
  explicit CountingBuffer(const QByteArray& data) : bytes_(data) {
    setBuffer(&bytes_);
    open(QIODevice::ReadOnly);
  }
  qint64 bytesRead = 0;

 protected:
  qint64 readData(char* data, qint64 n) override {
    const qint64 r = QBuffer::readData(data, n);
    if (r > 0) bytesRead += r;
    return r;
  }

 private:
  QByteArray bytes_;
};

// An icon file of Count entries, all naming the one picture that follows the directory.
QByteArray IcoNaming(const QByteArray& picture, int count) {
  QByteArray b;
  Put16(b, 0);
  Put16(b, 1);
  Put16(b, count);
  const quint32 at = quint32(6 + 16 * count);
  for (int i = 0; i < count; ++i) {
    PutEntry(b, 0, 32, picture.size());
    Put32(b, at);
  }
  return b + picture;
}

TEST(FileIconsBudget, APictureNamedManyTimesIsDecodedOnce) {
  // 400 entries naming one 512 x 512 picture: 400 MB when each decoded its own copy.
  const QByteArray ico = IcoNaming(Png(512, 512, kRed), 400);
  ASSERT_LT(ico.size(), 64 * 1024);
  const kvtest::PeakGrowth cost = kvtest::MeasurePeakGrowth([&] { ReadFileIcons(ico); });
  EXPECT_GE(cost.resident, 0);
  EXPECT_LT(cost.resident, 64 << 20);
  const std::vector<QImage> icons = ReadFileIcons(ico);
  ASSERT_EQ(icons.size(), 400u);  // every entry still gives its icon
  EXPECT_EQ(At(icons[399], 511, 511), kRed);

  // The same through program files: 3000 groups naming one group of 20,000 choices are read once.
  const QByteArray picture = Dib(32, 32, 32, kGreen);
  const QByteArray pe = PeSharedGroups(picture, 20000, 3000);
  CountingBuffer device(pe);
  const std::vector<QImage> groups = ReadFileIcons(device);
  ASSERT_EQ(groups.size(), size_t(kMaxFileIcons));
  EXPECT_EQ(At(groups.back(), 5, 5), kGreen);
  EXPECT_LT(device.bytesRead, 3 * pe.size());
}

TEST(FileIconsBudget, EntriesAreCheckedBeforeTheirBytesAreCopied) {
  // 60,000 entries, each spanning (almost) the whole file from its start: none is a picture, and
  // what is read stays near the file's own size (60 GB when every range was copied first).
  const int count = 60000;
  QByteArray ico;
  Put16(ico, 0);
  Put16(ico, 1);
  Put16(ico, count);
  const int size = 6 + 16 * count;
  for (int i = 0; i < count; ++i) {
    ico.append(QByteArray(8, '\0'));
    Put32(ico, quint32(size - i));
    Put32(ico, 0);
  }
  CountingBuffer device(ico);
  EXPECT_TRUE(ReadFileIcons(device).empty());
  EXPECT_LT(device.bytesRead, 4 * qint64(size));
}

TEST(FileIconsBudget, OneFileDecodesNoMoreThanItsBudgetOfPixels) {
  // Twenty different large pictures: those that fit the file's budget come out, in order.
  std::vector<Picture> pictures;
  for (int i = 0; i < 20; ++i) pictures.push_back({Png(1000, 1000, qRgb(i, 0, 0)), 0, 32});
  const std::vector<QImage> icons = ReadFileIcons(Ico(pictures));
  ASSERT_EQ(icons.size(), 8u);
  EXPECT_EQ(At(icons[7], 0, 0), qRgb(7, 0, 0));
  // Small pictures after them still fit.
  pictures.push_back({Dib(16, 16, 8, kBlue), 16, 8});
  const std::vector<QImage> more = ReadFileIcons(Ico(pictures));
  ASSERT_EQ(more.size(), 9u);
  EXPECT_EQ(At(more.back(), 3, 3), kBlue);

  // Choices are counted with the directory entries: two groups of 40,000 choices are too many.
  EXPECT_THROW(ReadFileIcons(PeSharedGroups(Dib(32, 32, 32, kGreen), 40000, 2, 2)), EInvalidGraphic);
  EXPECT_EQ(ReadFileIcons(PeSharedGroups(Dib(32, 32, 32, kGreen), 40000, 2, 1)).size(), 2u);
}

TEST(FileIconsBudget, APngWhoseChunksRunPastItsDataIsNotDecoded) {
  // A text chunk after the header claiming 2 GB: refused before the decoder allocates (and
  // fills) that much for it.
  const QByteArray good = Png(16, 16, kRed);
  QByteArray lying = good.left(33);
  Put32(lying, 0);  // placeholder for the big-endian length
  lying.replace(33, 4, QByteArray("\x7f\xff\xff\xff", 4));
  lying += "tEXt" + good.mid(33);
  const QByteArray ico = Ico({{lying, 16, 32}, {good, 16, 32}});
  const kvtest::PeakGrowth cost = kvtest::MeasurePeakGrowth([&] { ReadFileIcons(ico); });
  EXPECT_GE(cost.allocated, 0);
  EXPECT_LT(cost.allocated, 256 << 20);
  EXPECT_LT(cost.resident, 64 << 20);
  const std::vector<QImage> icons = ReadFileIcons(ico);
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(At(icons[0], 8, 8), kRed);
  // A chunk cut short by the end of the picture is refused too; a whole one still reads.
  EXPECT_TRUE(ReadFileIcons(Ico({{good.left(good.size() - 6), 16, 32}})).empty());
  EXPECT_EQ(ReadFileIcons(Ico({{good, 16, 32}})).size(), 1u);
}

}  // namespace

TEST_F(FileIcons, DesktopIconFoldersAreTheThemesNearestSizeAndPixmapsInNameOrder) {
  const QString user = dir.filePath("user"), sys = dir.filePath("sys");
  QDir().mkpath(user + "/icons/hicolor/48x48/apps");
  QDir().mkpath(user + "/icons/hicolor/32x32/apps");  // empty: the next size is taken
  QDir().mkpath(sys + "/icons/hicolor/32x32/apps");
  QDir().mkpath(sys + "/icons/hicolor/48x48/apps");
  QDir().mkpath(sys + "/pixmaps");
  Write("user/icons/hicolor/48x48/apps/mine.png", Png(48, 48, kBlue));
  Write("sys/icons/hicolor/32x32/apps/b.png", Png(32, 32, kGreen));
  Write("sys/icons/hicolor/32x32/apps/a.png", Png(32, 32, kRed));
  Write("sys/icons/hicolor/32x32/apps/readme.txt", "not a picture");
  Write("sys/icons/hicolor/48x48/apps/c.png", Png(48, 48, kRed));
  Write("sys/pixmaps/z.ico", Ico({{Dib(16, 16, 24, kBlue), 16, 24}, {Dib(32, 32, 24, kGreen), 32, 24}}));
  const QByteArray home = qgetenv("XDG_DATA_HOME"), dirs = qgetenv("XDG_DATA_DIRS");
  qputenv("XDG_DATA_HOME", user.toUtf8());
  qputenv("XDG_DATA_DIRS", (sys + ":" + dir.filePath("none")).toUtf8());
  const QStringList folders = DesktopIconFolders();
  qputenv("XDG_DATA_HOME", home);
  qputenv("XDG_DATA_DIRS", dirs);
  EXPECT_EQ(folders, (QStringList{user + "/icons/hicolor/48x48/apps", sys + "/icons/hicolor/32x32/apps",
                                  sys + "/pixmaps"}));

  ASSERT_TRUE(LoadFolderIcons(sys + "/icons/hicolor/32x32/apps", &list));
  ASSERT_EQ(list.size(), 3u);  // a.png, b.png; the text file is passed over
  EXPECT_EQ(At(list[1], 16, 16), kRed);
  EXPECT_EQ(At(list[2], 16, 16), kGreen);
  ASSERT_TRUE(LoadFolderIcons(sys + "/pixmaps", &list, 4));  // stops at the limit
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(At(list[3], 4, 4), kBlue);
  EXPECT_FALSE(LoadFolderIcons(dir.filePath("none"), &list));
  EXPECT_EQ(list.size(), 4u);
}
