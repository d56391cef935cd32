#include <QApplication>
#include <QLocale>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <cstdlib>

#include "tests/common/TestUtil.h"

int main(int argc, char** argv) {
  // Tests draw offscreen unless a test asks for the X server itself.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("TZ", "UTC");
  qputenv("LC_ALL", "C.UTF-8");
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  testing::InitGoogleMock(&argc, argv);
  kvtest::IsolateUserFolders();
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
