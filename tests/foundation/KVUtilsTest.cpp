#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTemporaryDir>

#include "foundation/KVUtils.h"
#include "tests/common/DesktopTestUtil.h"
#include "tests/common/SkipMissing.h"

using namespace kvtest;

TEST(KVUtils, SetDesktopBackgroundMapsTileAndStyleOnGnome) {
  KV_REQUIRE_PROGRAM("gsettings");
  QTemporaryDir dir(TestRoot() + "/utils-XXXXXX");
  ScopedEnv env;
  env.Set("KV_DESKTOP", "gnome");
  env.Set("GSETTINGS_BACKEND", "keyfile");
  env.Set("XDG_CONFIG_HOME", dir.path() + "/config");
  if (RunProgram("gsettings", {"list-keys", "org.gnome.desktop.background"}).exitCode != 0)
    KV_SKIP_MISSING() << "the schema org.gnome.desktop.background is not installed";
  const QString file = dir.path() + "/kvmir.bmp";
  SavePicture(PatternImage(20, 10), file);

  const struct {
    const char *tile, *style, *option;
  } cases[] = {{"0", "0", "'centered'"}, {"1", "0", "'wallpaper'"}, {"0", "2", "'stretched'"},
               {"0", "6", "'scaled'"},   {"0", "10", "'zoom'"},     {"0", "22", "'spanned'"},
               {"0", "x", "'centered'"}};
  for (const auto& c : cases) {
    const TDesktopStatus st = SetDesktopBackground(file, c.tile, c.style);
    ASSERT_TRUE(st.Ok()) << st.Message.toStdString();
    EXPECT_EQ(RunProgram("gsettings", {"get", "org.gnome.desktop.background", "picture-options"})
                  .out.trimmed(),
              c.option)
        << c.tile << "/" << c.style;
  }
  const QString uri =
      RunProgram("gsettings", {"get", "org.gnome.desktop.background", "picture-uri"}).out.trimmed();
  EXPECT_TRUE(uri.endsWith("/kvmir-a.bmp'") || uri.endsWith("/kvmir-b.bmp'")) << uri.toStdString();
}

TEST(KVUtils, UnsupportedDesktopFailsOnceThenRepeats) {
  QTemporaryDir dir(TestRoot() + "/utils-XXXXXX");
  const QString file = dir.path() + "/kvmir.bmp";
  SavePicture(PatternImage(20, 10), file);
  ScopedEnv env;
  env.Set("KV_DESKTOP", "none");
  TDesktopStatus st = SetDesktopBackground(file, "0", "0");
  EXPECT_EQ(st.Result, TDesktopResult::drUnsupported);
  EXPECT_FALSE(st.Repeated);
  st = SetDesktopBackground(file, "0", "0");
  EXPECT_TRUE(st.Repeated) << "the caller reports this failure only once";

  env.Set("KV_DESKTOP", "kde");
  const QString bin = dir.path() + "/bin";
  WriteRecordingStub(bin, "plasma-apply-wallpaperimage", dir.path() + "/calls.log");
  env.PrependPath(bin);
  EXPECT_TRUE(SetDesktopBackground(file, "0", "0").Ok());
  env.Set("KV_DESKTOP", "none");
  EXPECT_FALSE(SetDesktopBackground(file, "0", "0").Repeated) << "new after a success";
}

TEST(KVUtils, ScreenSaverAndDesktopWithoutIconListView) {
  QTemporaryDir dir(TestRoot() + "/utils-XXXXXX");
  ScopedEnv env;
  const QString log = dir.path() + "/calls.log";
  WriteRecordingStub(dir.path(), "xdg-screensaver", log);
  env.PrependPath(dir.path());
  EXPECT_TRUE(StartScreenSaver().Ok());
  ASSERT_EQ(ReadCalls(log).size(), 1u);
  EXPECT_EQ(ReadCalls(log)[0], QStringList{"activate"});

  EXPECT_FALSE(IsActiveDesktop());
  EXPECT_EQ(FindDesktopListView(), 0u);
  MakeDesktopIconLabelsTransparent();
  MakeDesktopIconLabelsTransparent();
  RestoreDesktopIconLabels();
  EXPECT_EQ(SavedIconTextBkColor, 0u);
}
