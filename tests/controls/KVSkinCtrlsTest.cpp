#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/KVSkinCtrls.h"
#include "platform/KVLaunch.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/SkinTestKit.h"
#include "tests/common/TestUtil.h"

using namespace kvtest;

namespace {

// The form the map lives on; its published methods are the map's event handlers.
class TMapForm : public TKVForm {
  KV_CLASS(TMapForm)
 public:
  TMapForm() {
    SetName(QStringLiteral("MapForm"));
    resize(200, 150);
  }
  QStringList log;
  void MapChanging(TMapArea*, const QString& name, int) { log << "changing " + name; }
  void MapClick(TMapArea*, const QString& name, int index) { log << QStringLiteral("click %1 %2").arg(name).arg(index); }
  void MapUnClick(TMapArea*, const QString& name, int) { log << "unclick " + name; }
};

const ClassInfo& TMapForm::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMapForm>("TMapForm", &TKVForm::StaticClass())
                                  .Method("MapChanging", &TMapForm::MapChanging)
                                  .Method("MapClick", &TMapForm::MapClick)
                                  .Method("MapUnClick", &TMapForm::MapUnClick)
                                  .Build();
  return ci;
}

// One image per display state, each in its own colour.
const QColor kOff("#f0f0f0"), kOn("#2040ff"), kDisabled("#808080"), kOver("#ffe000"), kClicked("#e00000");

const char* kMapText =
    "object CoverMap: TKVSkinMap\r\n"
    "  Left = 10\r\n"
    "  Top = 5\r\n"
    "  Skin.idxOff = 0\r\n"
    "  Skin.idxOn = 1\r\n"
    "  Skin.idxDisabled = 2\r\n"
    "  Skin.idxOver = 3\r\n"
    "  Skin.idxClicked = 4\r\n"
    "  ShowHint = True\r\n"
    "  OutAreaHint = 'outside'\r\n"
    "  OnMapChanging = MapChanging\r\n"
    "  OnMapClick = MapClick\r\n"
    "  OnMapUnClick = MapUnClick\r\n"
    "  Areas = <\r\n"
    "    item\r\n"
    "      DisplayName = 'A'\r\n"
    "      Area = '0,0,30,20'\r\n"
    "      Cursor = crHandPoint\r\n"
    "      Hint = 'hint A'\r\n"
    "      Link = 'https://example.org/a'\r\n"
    "      LinkType = mlWeb\r\n"
    "    end\r\n"
    "    item\r\n"
    "      DisplayName = 'B'\r\n"
    "      Area = '20,10,50,30'\r\n"
    "      Link = '<exe>tool.sh'\r\n"
    "      LinkParams = '--open \"two words\"'\r\n"
    "      LinkType = mlExe\r\n"
    "    end\r\n"
    "    item\r\n"
    "      DisplayName = 'C'\r\n"
    "      State = cstDisabled\r\n"
    "      Area = '0,25,10,35'\r\n"
    "    end\r\n"
    "    item\r\n"
    "      DisplayName = 'Inverted'\r\n"
    "      Area = '55,35,52,32'\r\n"
    "    end\r\n"
    "    item\r\n"
    "      DisplayName = 'Empty'\r\n"
    "      Area = '56,36,56,39'\r\n"
    "    end>\r\n"
    "end\r\n";

struct Launch {
  QString program;
  QStringList args;
};

// A map bound to a skin loaded from a package, on a shown form, with launches recorded and a
// program folder holding tool.sh.
struct MapFixture {
  MapFixture() {
    map = new TKVSkinMap(&form, &form);
    map->SetName(QStringLiteral("CoverMap"));
    map->Skin().SetAppSkin(&skin);
    TKVBitmapList strip;
    std::vector<QImage> images;
    for (const QColor& c : {kOff, kOn, kDisabled, kOver, kClicked}) images.push_back(SkinImage(60, 40, c));
    FillStrip(strip, images);
    LoadSkinPackage(skin, SkinPackage({StripBytes(strip)}, {QStringLiteral("MapForm\r\n") + kMapText}));
    tool = exeDir.path() + "/tool.sh";
    WriteFile(tool, "#!/bin/sh\n");
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    SetProgramStarter([this](const QString& p, const QStringList& a) {
      launches.push_back({p, a});
      return true;
    });
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
  }
  ~MapFixture() { SetProgramStarter(nullptr); }

  TMapArea& Area(const char* name) { return *map->Areas().Items(map->Areas().IndexOfName(QLatin1String(name))); }
  QString Seen(int x, int y) { return QColor(Shot(*map).pixel(x, y)).name(); }
  void Click(QPoint p) { QTest::mouseClick(map, Qt::LeftButton, {}, p); }

  TMapForm form;
  TAppSkin skin;
  TKVSkinMap* map;
  QTemporaryDir exeDir;
  ScopedOverride<QString> exe{ExeDir, exeDir.path() + "/"};
  QString tool;
  std::vector<Launch> launches;
};

// Collects the warnings logged in its scope.
class LoggedWarnings {
 public:
  LoggedWarnings() : previous_(qInstallMessageHandler(&Handler)) { Texts().clear(); }
  ~LoggedWarnings() { qInstallMessageHandler(previous_); }
  static QStringList& Texts() {
    static QStringList t;
    return t;
  }

 private:
  static void Handler(QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (type == QtWarningMsg) Texts() << msg;
  }
  QtMessageHandler previous_;
};

}  // namespace

TEST(KVSkinMap, PackageTextReachesTheMapByNameAndClass) {
  MapFixture f;
  TKVSkinMap& m = *f.map;
  EXPECT_EQ(m.pos(), QPoint(10, 5));
  EXPECT_EQ(m.size(), QSize(100, 100));
  ASSERT_EQ(m.Areas().Count(), 5);
  EXPECT_EQ(f.Area("A").Area(), Rect(0, 0, 30, 20));
  EXPECT_EQ(f.Area("A").Cursor, -21);
  EXPECT_EQ(f.Area("B").LinkType, mlExe);
  EXPECT_EQ(f.Area("B").LinkParams, "--open \"two words\"");
  EXPECT_EQ(f.Area("C").State(), cstDisabled);
  EXPECT_EQ(m.OnMapClick.name, "MapClick");
  EXPECT_EQ(m.Hint(), "outside");
  EXPECT_EQ(m.Areas().IndexOfName("a"), -1);  // names are case-sensitive
  EXPECT_EQ(m.Areas().Items(5), nullptr);
  EXPECT_EQ(m.GetAreaState("nobody"), cstOff);
  EXPECT_EQ(f.Seen(40, 25), kOff.name());
  EXPECT_EQ(f.Seen(5, 30), kDisabled.name());
}

TEST(KVSkinMap, HoverPressAndSelectWithOverlappingAreas) {
  MapFixture f;
  TKVSkinMap& m = *f.map;
  // The overlap of A and B belongs to A, the earlier area.
  QTest::mouseMove(&m, QPoint(25, 15));
  EXPECT_TRUE(f.Area("A").Over());
  EXPECT_FALSE(f.Area("B").Over());
  EXPECT_EQ(m.cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(m.toolTip(), "hint A");
  EXPECT_EQ(f.Seen(5, 5), kOver.name());
  EXPECT_EQ(f.Seen(45, 25), kOff.name());

  QTest::mousePress(&m, Qt::LeftButton, {}, QPoint(25, 15));
  EXPECT_EQ(f.Area("A").DisplayState(), cstClicked);
  EXPECT_EQ(f.Seen(5, 5), kClicked.name());
  QTest::mouseRelease(&m, Qt::LeftButton, {}, QPoint(25, 15));
  EXPECT_EQ(f.form.log, QStringList({"changing A", "click A 0"}));
  EXPECT_EQ(m.GetAreaState("A"), cstOn);
  ASSERT_EQ(f.launches.size(), 1u);
  EXPECT_EQ(f.launches[0].args, QStringList({"https://example.org/a"}));
  EXPECT_EQ(f.Seen(5, 5), kOver.name());  // still hovered

  QTest::mouseMove(&m, QPoint(80, 80));
  EXPECT_FALSE(f.Area("A").Over());
  EXPECT_EQ(m.cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(m.toolTip(), "outside");
  EXPECT_EQ(f.Seen(5, 5), kOn.name());

  // Selecting B turns A off first: A's unclick comes before B's click.
  f.form.log.clear();
  f.Click(QPoint(45, 25));
  EXPECT_EQ(f.form.log, QStringList({"changing B", "unclick A", "click B 1"}));
  EXPECT_EQ(m.GetAreaState("A"), cstOff);
  EXPECT_EQ(f.Seen(5, 5), kOff.name());
  ASSERT_EQ(f.launches.size(), 2u);
  EXPECT_EQ(f.launches[1].program, QFileInfo(f.tool).canonicalFilePath());
  EXPECT_EQ(f.launches[1].args, QStringList({"--open", "two words"}));

  // Clicking the selected area again selects it again: events and link once more.
  f.form.log.clear();
  f.Click(QPoint(45, 25));
  EXPECT_EQ(f.form.log, QStringList({"changing B", "click B 1"}));
  EXPECT_EQ(f.launches.size(), 3u);

  // With ToggleOnOff the second click turns it off and opens nothing.
  m.ToggleOnOff = true;
  f.form.log.clear();
  f.Click(QPoint(45, 25));
  EXPECT_EQ(f.form.log, QStringList({"unclick B"}));
  EXPECT_EQ(m.GetAreaState("B"), cstOff);
  EXPECT_EQ(f.launches.size(), 3u);
}

TEST(KVSkinMap, DisabledAreasBadRectanglesAndPressesReleasedElsewhere) {
  MapFixture f;
  TKVSkinMap& m = *f.map;
  std::vector<QString> ups;
  m.OnMouseUp.Set([&](TPersistent*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    ups.push_back(QStringLiteral("%1,%2").arg(x).arg(y));
  });
  f.Click(QPoint(5, 30));  // C is disabled: the map's own mouse handling gets the click
  EXPECT_EQ(m.GetAreaState("C"), cstDisabled);
  EXPECT_TRUE(f.form.log.isEmpty());
  EXPECT_EQ(ups, std::vector<QString>({"5,30"}));

  // Inverted and empty rectangles hold no point.
  EXPECT_EQ(m.AreaAt(QPoint(53, 33)), nullptr);
  EXPECT_EQ(m.AreaAt(QPoint(56, 37)), nullptr);
  f.Click(QPoint(53, 33));
  EXPECT_TRUE(f.form.log.isEmpty());

  // A press on A released outside every area leaves nothing pressed and selects nothing.
  QTest::mousePress(&m, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseRelease(&m, Qt::LeftButton, {}, QPoint(90, 90));
  EXPECT_FALSE(f.Area("A").Pressed());
  EXPECT_EQ(m.GetAreaState("A"), cstOff);
  EXPECT_TRUE(f.form.log.isEmpty());
}

TEST(KVSkinMap, DisablingTheMapDisablesEveryAreaAndUnclicksTheSelectedOne) {
  MapFixture f;
  TKVSkinMap& m = *f.map;
  m.SetAreaState("B", cstOn);
  f.form.log.clear();
  m.SetEnabled(false);
  EXPECT_EQ(f.form.log, QStringList({"unclick B"}));
  for (int i = 0; i < m.Areas().Count(); ++i) EXPECT_EQ(m.Areas().Items(i)->State(), cstDisabled);
  EXPECT_FALSE(m.isEnabled());
  EXPECT_EQ(f.Seen(5, 5), kDisabled.name());
  EXPECT_EQ(f.Seen(58, 38), kOff.name());
  m.SetEnabled(true);
  EXPECT_EQ(m.GetAreaState("C"), cstOff);
  EXPECT_EQ(f.Seen(5, 5), kOff.name());
  m.SetAreaState("A", cstOn);
  m.ResetAreas();
  EXPECT_EQ(m.GetAreaState("A"), cstOff);
}

TEST(KVSkinMap, LinksOpenOnlyWhatTheyClaimToBe) {
  MapFixture f;
  MessageBoxes boxes;  // a link that is refused shows no box
  LoggedWarnings warnings;
  const QString dir = f.exeDir.path();
  WriteFile(dir + "/data.txt", "x");
  QDir(dir).mkdir("sub");
  QTemporaryDir outside;
  WriteFile(outside.path() + "/evil.sh", "#!/bin/sh\n");
  QFile::setPermissions(outside.path() + "/evil.sh", QFile::ReadOwner | QFile::ExeOwner);
  QFile::link(outside.path() + "/evil.sh", dir + "/link.sh");

  struct Case {
    TMapLinkType type;
    QString link;
    bool opens;
  };
  const std::vector<Case> cases = {
      {mlWeb, "https://example.org/x?y=1", true},
      {mlWeb, "HTTP://example.org", true},
      {mlWeb, "javascript:alert(1)", false},
      {mlWeb, "file:///etc/passwd", false},
      {mlWeb, "ftp://example.org", false},
      {mlWeb, "http://", false},
      {mlWeb, "https://example.org/a b", false},
      {mlWeb, "--help", false},
      {mlWeb, "", false},
      {mlMail, "someone@example.org", true},
      {mlMail, "MAILTO:someone@example.org?subject=Hi", true},
      {mlMail, "mailto:file:///etc/passwd", false},
      {mlMail, "http://x@example.org", false},
      {mlMail, "no address", false},
      {mlMail, "", false},
      {mlExe, dir + "/tool.sh", true},
      {mlExe, "tool.sh", true},
      {mlExe, "/bin/sh", false},
      {mlExe, dir + "/../" + QFileInfo(outside.path()).fileName() + "/evil.sh", false},
      {mlExe, dir + "/link.sh", false},
      {mlExe, dir + "/data.txt", false},
      {mlExe, dir + "/sub", false},
      {mlExe, dir + "/missing.sh", false},
      {mlNone, "https://example.org", false},
  };
  for (const Case& c : cases) {
    const size_t before = f.launches.size();
    EXPECT_EQ(OpenMapLink(c.type, c.link, "-x"), c.opens) << c.link.toStdString();
    EXPECT_EQ(f.launches.size(), before + (c.opens ? 1 : 0)) << c.link.toStdString();
  }
  EXPECT_EQ(f.launches[2].args.back(), "mailto:someone@example.org");
  EXPECT_EQ(f.launches[4].args, QStringList({"-x"}));
  EXPECT_EQ(boxes.Count(), 0);
  EXPECT_EQ(warnings.Texts().size(), 17);  // one for each refusal but the mlNone one

  // A refused link still fires the events.
  f.Area("A").Link = QStringLiteral("file:///etc/passwd");
  const size_t before = f.launches.size();
  f.form.log.clear();
  f.Click(QPoint(5, 5));
  EXPECT_EQ(f.form.log, QStringList({"changing A", "click A 0"}));
  EXPECT_EQ(f.launches.size(), before);
}

TEST(KVSkinMap, WithoutImagesNothingIsPaintedButAreasReact) {
  MapFixture f;
  TKVSkinMap& m = *f.map;
  m.Skin().SetIdx(TKVSkinData::ixImages, 4);
  EXPECT_EQ(QColor(Shot(f.form).pixel(15, 10)), f.form.palette().color(QPalette::Window));
  f.Click(QPoint(5, 5));
  EXPECT_EQ(m.GetAreaState("A"), cstOn);
  // Indices beyond the strip paint nothing for that state.
  m.Skin().SetIdx(TKVSkinData::ixImages, 0);
  m.Skin().SetIdx(TKVSkinData::ixOn, 99);
  EXPECT_EQ(f.Seen(5, 5), kOff.name());
  // Transparent: no off image under the areas.
  m.SetTransparent(true);
  EXPECT_EQ(QColor(Shot(f.form).pixel(10 + 40, 5 + 35)), f.form.palette().color(QPalette::Window));
}

TEST(KVSkinMap, AHandlerThatReloadsTheSkinEndsTheSelection) {
  MapFixture f;
  TKVSkinMap& m = *f.map;
  m.OnMapChanging.Set([&](TMapArea*, const QString&, int) {
    LoadSkinPackage(f.skin, SkinPackage({}, {QStringLiteral("MapForm\r\nobject CoverMap: TKVSkinMap\r\n"
                                                            "  Areas = <>\r\nend\r\n")}));
  });
  f.Click(QPoint(5, 5));
  EXPECT_EQ(m.Areas().Count(), 0);
  EXPECT_TRUE(f.launches.empty());
  EXPECT_TRUE(f.form.log.isEmpty());
}

namespace {

// A cover drawn in code: a background with three labelled buttons, one image per display state.
QImage CoverImage(const QColor& button, const QColor& text) {
  QImage img = SkinImage(340, 170, QColor("#1d3557"));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor("#f1faee"));
  QFont title = p.font();
  title.setPixelSize(22);
  title.setBold(true);
  p.setFont(title);
  p.drawText(QRect(0, 10, 340, 40), Qt::AlignCenter, QStringLiteral("Mirova Calendar"));
  QFont small = p.font();
  small.setPixelSize(14);
  small.setBold(false);
  p.setFont(small);
  const char* labels[] = {"Web", "Mail", "Program"};
  for (int i = 0; i < 3; ++i) {
    const QRect r(20 + i * 105, 80, 90, 60);
    p.setBrush(button);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(r, 10, 10);
    p.setPen(text);
    p.drawText(r, Qt::AlignCenter, QLatin1String(labels[i]));
  }
  return img;
}

// A window frame drawn in code: 12-pixel bevelled border, a title band and a plain middle.
QImage WindowFrameImage() {
  QImage img = SkinImage(200, 100, QColor("#457b9d"));
  QPainter p(&img);
  p.fillRect(QRect(0, 0, 200, 30), QColor("#a8dadc"));
  p.fillRect(QRect(12, 30, 176, 58), QColor("#e9f1f7"));
  p.setPen(QColor("#1d3557"));
  p.drawRect(QRect(0, 0, 199, 99));
  for (int x = 20; x < 180; x += 8) p.fillRect(QRect(x, 12, 4, 6), QColor("#1d3557"));
  return img;
}

}  // namespace

TEST(KVSkinMap, ScreenshotOfSkinnedPanelAndMap) {
  // Saves what it drew when KV_SHOT_DIR is set (under Xvfb also what the X server shows).
  TMapForm form;
  form.resize(420, 280);
  TAppSkin skin;
  auto* frame = new TKVSkinPanel(&form, &form);
  frame->SetName(QStringLiteral("Frame"));
  frame->BevelOuter = bvNone;
  auto* map = new TKVSkinMap(&form, frame);
  map->SetName(QStringLiteral("CoverMap"));
  frame->Skin().SetAppSkin(&skin);
  map->Skin().SetAppSkin(&skin);
  TKVBitmapList frames, covers;
  FillStrip(frames, {WindowFrameImage()});
  FillStrip(covers, {CoverImage("#e63946", "#ffffff"), CoverImage("#2a9d8f", "#ffffff"),
                     CoverImage("#6c757d", "#cccccc"), CoverImage("#f4a261", "#1d3557")});
  LoadSkinPackage(skin, SkinPackage({StripBytes(frames), StripBytes(covers)},
                                    {"MapForm\r\n"
                                     "object Frame: TKVSkinPanel\r\n"
                                     "  Left = 10\r\n  Top = 10\r\n"
                                     "  Skin.idxOff = 0\r\n  Skin.PaintType = ptImage\r\n  Skin.Sizeable = True\r\n"
                                     "  Skin.TLCorner = '0,0,12,30'\r\n  Skin.TRCorner = '188,0,200,30'\r\n"
                                     "  Skin.BLCorner = '0,88,12,100'\r\n  Skin.BRCorner = '188,88,200,100'\r\n"
                                     "  Skin.SplitRect = '12,30,188,88'\r\n"
                                     "end\r\n"
                                     "object CoverMap: TKVSkinMap\r\n"
                                     "  Left = 30\r\n  Top = 50\r\n  Width = 340\r\n  Height = 170\r\n"
                                     "  Skin.idxImages = 1\r\n  Skin.idxOff = 0\r\n  Skin.idxOn = 1\r\n"
                                     "  Skin.idxDisabled = 2\r\n  Skin.idxOver = 3\r\n"
                                     "  Areas = <\r\n"
                                     "    item\r\n      DisplayName = 'web'\r\n      Area = '20,80,110,140'\r\n    end\r\n"
                                     "    item\r\n      DisplayName = 'mail'\r\n      Area = '125,80,215,140'\r\n    end\r\n"
                                     "    item\r\n      DisplayName = 'program'\r\n      State = cstDisabled\r\n"
                                     "      Area = '230,80,320,140'\r\n    end>\r\n"
                                     "end\r\n"}));
  frame->resize(400, 260);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  map->SetAreaState("mail", cstOn);
  QTest::mouseMove(map, QPoint(60, 110));
  QApplication::processEvents();
  const QImage shot = Shot(form);
  // The frame's corner, the map's hovered, selected and disabled buttons.
  EXPECT_EQ(QColor(shot.pixel(10 + 395, 10 + 5)).name(), "#a8dadc");
  EXPECT_EQ(QColor(shot.pixel(40 + 30, 60 + 85)).name(), "#f4a261");
  EXPECT_EQ(QColor(shot.pixel(40 + 135, 60 + 85)).name(), "#2a9d8f");
  EXPECT_EQ(QColor(shot.pixel(40 + 240, 60 + 85)).name(), "#6c757d");
  const QString dir = qEnvironmentVariable("KV_SHOT_DIR");
  if (dir.isEmpty()) return;
  shot.save(dir + "/skin_panel_map.png");
  if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    QTest::qWait(300);
    form.screen()->grabWindow(form.winId()).save(dir + "/skin_panel_map_x11.png");
  }
}
