#include "foundation/KVUtils.h"

TColor SavedIconTextBkColor = 0;

namespace {

TDesktopBackground& Desktop() {
  static TDesktopBackground desktop;
  return desktop;
}

}  // namespace

TWallpaperStyle WallpaperStyleOf(const QString& Tile, const QString& Style) {
  if (Tile.trimmed() == QLatin1String("1")) return TWallpaperStyle::wsTiled;
  switch (StrToIntDef(Style, 0)) {
    case 2: return TWallpaperStyle::wsStretched;
    case 6: return TWallpaperStyle::wsFit;
    case 10: return TWallpaperStyle::wsFill;
    case 22: return TWallpaperStyle::wsSpan;
    default: return TWallpaperStyle::wsCentered;
  }
}

TDesktopStatus SetDesktopBackground(const QString& FileName, const QString& Tile,
                                    const QString& Style, const QImage& Picture) {
  return Desktop().Apply(FileName, WallpaperStyleOf(Tile, Style), Picture);
}

bool IsActiveDesktop() { return false; }

void SetActiveDesktopBackground(const QString&) {}

TDesktopStatus StartScreenSaver() { return ActivateScreenSaver(); }

std::uintptr_t FindDesktopListView() { return 0; }

// Without a list view both leave SavedIconTextBkColor as it is.
void MakeDesktopIconLabelsTransparent() {}

void RestoreDesktopIconLabels() {}
