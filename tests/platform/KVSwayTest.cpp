#include <gtest/gtest.h>

#include "platform/KVSway.h"

// The menu goes where swaybar draws its tray: the bar's right end, inside the windows' area.
TEST(SwayTrayMenu, SitsAtTheBarsEndJustInsideTheWindowsArea) {
  const QRect output(0, 0, 1280, 800);
  const QSize menu(265, 250);
  // A bar at the top takes 23 rows; one at the bottom the last 30.
  EXPECT_EQ(TrayMenuPosition(output, QRect(0, 23, 1280, 777), menu), QPoint(1015, 23));
  EXPECT_EQ(TrayMenuPosition(output, QRect(0, 0, 1280, 770), menu), QPoint(1015, 520));
  // No bar: the output's top right. A second output to the right, and a menu wider than it.
  EXPECT_EQ(TrayMenuPosition(output, output, menu), QPoint(1015, 0));
  EXPECT_EQ(TrayMenuPosition(QRect(1280, 0, 200, 200), QRect(1280, 20, 200, 180), menu), QPoint(1280, 20));
  EXPECT_EQ(TrayMenuPosition(QRect(0, 0, 300, 200), QRect(0, 0, 300, 180), QSize(100, 400)), QPoint(200, 0));
}
