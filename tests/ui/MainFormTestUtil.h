#pragma once
// The settings window as tests make it: default settings, a program folder of its own holding one
// image pack, a screen of 320x240 and a desktop that only counts what it is given.
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

#include "calendar/iniData.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVRegistry.h"
#include "tests/common/FormTestKit.h"
#include "tools/kvpack/PackWriter.h"
#include "ui/MainF.h"

namespace kvtest {

class MainFormFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    RegistryStore::ResetAll();
    TKVRegistry().DeleteKey(kSettingsKey);
    InitializeFolders();
    exeDir.emplace(ExeDir, exe.path() + "/");
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    kvpack::WriteImagePack(exe.filePath("nature.mcp"), "Nature", {},
                           {kvpack::PictureFromImage(picture, true), kvpack::PictureFromImage(picture, false)});
    hooks.Terminate = [this] { ++terminated; };
    hooks.Model.ScreenSize = [] { return QSize(320, 240); };
    hooks.Model.Rotation.SetDesktopBackground = [this](const QString&) {
      ++applied;
      return TDesktopStatus{};
    };
  }
  QTemporaryDir exe;
  std::optional<ScopedOverride<QString>> exeDir;
  TMirMainHooks hooks;
  int terminated = 0, applied = 0;
};

}  // namespace kvtest
