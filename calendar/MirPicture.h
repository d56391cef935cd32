#pragma once
// The background picture the calendar is drawn over: the current picture of the current image
// set, from a picture file of the user's own set or from an entry of an image pack. It is decoded
// once and kept until a caller drops it (a new picture, a set switch, a time change).
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>

#include "foundation/KVGraphics.h"

class Tini;
class TKVResReader;

// The cached picture. Dropping it is resetting its owner's pointer; the next drawing loads again.
struct TCurrentPicture {
  QImage Graphic;
  // The box the picture was decoded for; invalid when decoded at full size (for tiling).
  QSize LoadedFor;
  // The picture as last placed on the screen, reused while the screen size and placement stay.
  TKVBitmap Placed;
  int PlacedPosition = -1;
};

// Picture N of an image pack, which is pack entry N + 2: kinds 7 and -7 are JPEG pictures (decoded
// at a reduced scale when Target allows), every other kind a bitmap file. Raises on an entry that
// does not exist or cannot be decoded.
void LoadPackImage(QImage& Picture, int N, TKVResReader& Reader, QSize Target = QSize());

// Makes sure CurrentPicture holds picture ImageIndex of UsedImages (file paths for a user set,
// picture numbers of the pack ExeDir + MirPack otherwise), decoded for Target (invalid: full size).
// An index outside the list, negative included, is reset to 0 and the settings are saved. A picture
// that cannot be loaded becomes a 100 x 100 square in the desktop colour, without a message. A
// cached picture decoded for another box is loaded again.
void LoadCurrentImage(std::unique_ptr<TCurrentPicture>& CurrentPicture, Tini& Settings, const QStringList& UsedImages,
                      const QString& ExeDir, QSize Target);
