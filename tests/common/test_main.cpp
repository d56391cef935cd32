#include <QApplication>
#include <QLocale>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <cstdlib>

#include "foundation/KVTextHelper.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"

int main(int argc, char** argv) {
  // Tests draw offscreen unless a test asks for the X server itself.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("TZ", "UTC");
  qputenv("LC_ALL", "C.UTF-8");
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  testing::InitGoogleMock(&argc, argv);
  kvtest::IsolateUserFolders();
  int rc = 0;
  PrepareTextRendering();
  {
    QApplication app(argc, argv);
    kvtest::InstallFormGuards();
    rc = RUN_ALL_TESTS();
  }
  kvtest::RemoveUserFolders();
  return rc;
}
