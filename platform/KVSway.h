#pragma once
// Placing a window of the program on sway, through sway's IPC (swaymsg). A Wayland client can
// neither place its own windows nor open a pop-up beside another program's surface, such as
// swaybar's tray; sway 1.7's bar tells the tray item only a guessed click point (which Qt
// drops), and shows no menu itself. What sway does allow is moving a floating window to a
// position on the screen, and telling where its bar takes room.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

// Where a menu of MenuSize belongs beside the tray of a bar on an output of the rectangle
// Output whose windows get the rectangle Usable (the rest is the bar's): at the bar's end, where
// swaybar draws the tray, just inside the usable area. Without a bar, the output's top right.
QPoint TrayMenuPosition(const QRect& Output, const QRect& Usable, QSize MenuSize);

// The session is sway's (SWAYSOCK is set).
bool SwaySession();

// The focused output's rectangle and its workspace's usable one, in sway's layout coordinates
// (the X11 coordinates under XWayland); nullopt when sway does not answer.
std::optional<std::pair<QRect, QRect>> SwayFocusedOutput();

// Asks sway to float the window of this process titled Title and move it to Position. False
// when sway has no such window (yet) or does not answer.
bool SwayMoveWindow(const QString& Title, QPoint Position);
