#include "ui/MirStartup.h"

#include <gtest/gtest.h>

#include "calendar/iniData.h"

TEST(MirStartup, TheLogOnSwitchIsSlashAInAnyCaseAndPosition) {
  EXPECT_TRUE(IsAutoStartSwitch({"mirova", "/a"}));
  EXPECT_TRUE(IsAutoStartSwitch({"mirova", "/A"}));
  EXPECT_TRUE(IsAutoStartSwitch({"mirova", "x", "y", "/A"}));
  for (const char* other : {"/b", "/ab", "-a", "a", "/", "//a"})
    EXPECT_FALSE(IsAutoStartSwitch({"mirova", other})) << other;
  EXPECT_FALSE(IsAutoStartSwitch({"/a"}));  // the program's own path is no argument
}

TEST(MirStartup, TheStartUpActionFollowsTheOptionsInTheirOrder) {
  Tini ini;
  EXPECT_EQ(StartupActionName(ini, false), "actOpenDiary");
  EXPECT_EQ(StartupActionName(ini, true), "");
  ini.StartupOpenQuickNotes = true;
  EXPECT_EQ(StartupActionName(ini, true), "actOpenQuickNotes");
  ini.StartupOpenDiary = true;  // both set: the diary comes first
  EXPECT_EQ(StartupActionName(ini, true), "actOpenDiary");
  ini.StartupHideIcons = true;
  EXPECT_EQ(StartupActionName(ini, true), "actHideIcons");
  EXPECT_EQ(StartupActionName(ini, false), "actOpenDiary");
}

namespace {

struct Recorder {
  QStringList steps;
  bool first = true, initialized = true;
  Tini ini;
  TMirStartupHooks Hooks() {
    return {
        [this] { steps << "claim"; return first; },
        [this] { steps << "activate"; },
        [this] { steps << "forms"; },
        [this](bool autoStart) { steps << (autoStart ? "init /a" : "init"); return initialized; },
        [this]() -> const Tini& { return ini; },
        [this](const QString& a) { steps << a; },
        [this] { steps << "loop"; return 3; },
    };
  }
};

}  // namespace

TEST(MirStartup, StepsRunInOrderAndEndEarlyWhereTheyMust) {
  Recorder r;
  EXPECT_EQ(RunMirova({"mirova"}, r.Hooks()), 3);
  EXPECT_EQ(r.steps, (QStringList{"claim", "forms", "init", "actOpenDiary", "loop"}));

  Recorder logon;  // "/a" with no start-up option: no window, straight to the loop
  RunMirova({"mirova", "/a"}, logon.Hooks());
  EXPECT_EQ(logon.steps, (QStringList{"claim", "forms", "init /a", "loop"}));

  Recorder second;  // another instance runs: it is told, nothing else happens
  second.first = false;
  EXPECT_EQ(RunMirova({"mirova"}, second.Hooks()), 0);
  EXPECT_EQ(second.steps, (QStringList{"claim", "activate"}));

  Recorder noImages;  // initialisation ended the program: no action, no loop
  noImages.initialized = false;
  EXPECT_EQ(RunMirova({"mirova"}, noImages.Hooks()), 0);
  EXPECT_EQ(noImages.steps, (QStringList{"claim", "forms", "init"}));
}
