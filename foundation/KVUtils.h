#pragma once
// The desktop itself: its background picture, the screen saver and the icon labels.
#include <QImage>
#include <QString>
#include <cstdint>

#include "foundation/KVTypes.h"
#include "platform/KVDesktop.h"

// The icon labels' text background before the last MakeDesktopIconLabelsTransparent.
extern TColor SavedIconTextBkColor;

// The picture placement named by the wallpaper values "TileWallpaper" and "WallpaperStyle":
// tile "1" tiles; style "2" stretches, "6" fits, "10" fills, "22" spans; anything else centres.
TWallpaperStyle WallpaperStyleOf(const QString& Tile, const QString& Style);

// Makes FileName the desktop background on the running desktop. A failure that repeats the
// previous one comes back with Repeated set, so that it is reported once. Where a swaybg shows
// the picture, it runs until the next call or the end of the program: call from the
// user-interface thread. Picture: the file's picture when the caller has it in memory (the X11
// root window takes it from there rather than read the file again).
TDesktopStatus SetDesktopBackground(const QString& FileName, const QString& Tile,
                                    const QString& Style, const QImage& Picture = QImage());

// Always false: there is no HTML desktop view here.
bool IsActiveDesktop();
// Nothing to do without an HTML desktop view.
void SetActiveDesktopBackground(const QString& FileName);

TDesktopStatus StartScreenSaver();

// The desktops here draw their icon labels themselves: no list view to find, nothing to change.
std::uintptr_t FindDesktopListView();
void MakeDesktopIconLabelsTransparent();
void RestoreDesktopIconLabels();
