#pragma once
// The X11 root window picture, for sessions without a desktop that manages the background.
// Kept apart so that no other file sees the X headers.
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <optional>

#include "platform/KVDesktop.h"

// A program's desktop window, drawn over the root window so that the root's picture is hidden.
struct TX11DesktopWindow {
  QString Program;  // WM_CLASS: its instance name, else its class name; empty when it has none
  QRect Geometry;   // in root coordinates
};

// The first viewable window of type _NET_WM_WINDOW_TYPE_DESKTOP among the root window's
// children, or their children under a window manager's frame, that covers at least nine tenths
// of a monitor; a small desktop-type window (a desktop widget) hides nothing. Uses $DISPLAY;
// nullopt also when the display cannot be opened.
std::optional<TX11DesktopWindow> FindX11DesktopWindow();

// The active RandR monitors in root coordinates, clipped to the root; the whole root when the
// server has none. Empty when the display cannot be opened. Uses $DISPLAY.
QList<QRect> X11Monitors();

// Loads the picture (or takes Picture, when the caller has the file's picture in memory already),
// places it on every RandR monitor (across all of them for wsSpan) on a
// pixmap of the root window's size and makes that the root background (also named by
// _XROOTPMAP_ID and ESETROOT_PMAP_ID for transparent terminals). The pixmap outlives the
// connection; the one it replaces is freed. Refuses, without touching the root, while a desktop
// window hides it: the failure names that window's program, else sessionName. Uses $DISPLAY.
TDesktopStatus SetX11RootPicture(const QString& fileName, TWallpaperStyle style,
                                 const QString& sessionName = {}, const QImage& Picture = QImage());
