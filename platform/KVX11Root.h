#pragma once
// The X11 root window picture, for sessions without a desktop that manages the background.
// Kept apart so that no other file sees the X headers.
#include <QString>

#include "platform/KVDesktop.h"

// Loads the picture, draws it on a pixmap of the root window's size and makes that the root
// background (also named by _XROOTPMAP_ID and ESETROOT_PMAP_ID for transparent terminals).
// The pixmap outlives the connection; the one it replaces is freed. Uses $DISPLAY.
TDesktopStatus SetX11RootPicture(const QString& fileName, TWallpaperStyle style);
