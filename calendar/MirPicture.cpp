#include "calendar/MirPicture.h"

#include <climits>

#include "calendar/iniData.h"
#include "foundation/KVPicture.h"
#include "foundation/KVRStream.h"

namespace {

constexpr int kJpegKind = 7;
constexpr int kMissingPictureSize = 100;

QImage MissingPicture() {
  QImage square(kMissingPictureSize, kMissingPictureSize, QImage::Format_BGR888);
  square.fill(ToQColor(clBackground));
  return square;
}

}  // namespace

void LoadPackImage(QImage& Picture, int N, TKVResReader& Reader, QSize Target) {
  if (N > INT_MAX - 2) throw EStreamError(QStringLiteral("Resource entry %1 does not exist").arg(qint64(N) + 2));
  const int entry = N + 2;
  const QByteArray data = Reader.ReadBuffer(entry, kMaxPictureDataSize);
  const qint32 kind = Reader.GetEntry(entry).Kind;
  if (kind == kJpegKind || kind == -kJpegKind)
    Picture = DecodeJPEG(data, Target);
  else
    Picture = DecodeBMP(data);
}

void LoadCurrentImage(std::unique_ptr<TCurrentPicture>& CurrentPicture, Tini& Settings, const QStringList& UsedImages,
                      const QString& ExeDir, QSize Target) {
  if (CurrentPicture && CurrentPicture->LoadedFor == Target) return;
  if (Settings.ImageIndex < 0 || UsedImages.size() <= Settings.ImageIndex) {
    Settings.ImageIndex = 0;
    Settings.SaveSettings();
  }
  auto picture = std::make_unique<TCurrentPicture>();
  picture->LoadedFor = Target;
  try {
    if (UsedImages.isEmpty()) throw EKVError(QStringLiteral("The image set has no pictures"));
    const QString line = UsedImages.at(Settings.ImageIndex);
    if (Settings.UserImageSet) {
      picture->Graphic = LoadPictureFromFile(line, Target);
    } else {
      TKVResFileReader reader(ExeDir + Settings.MirPack);
      LoadPackImage(picture->Graphic, StrToIntDef(line, 1), reader, Target);
    }
    if (picture->Graphic.isNull()) throw EInvalidGraphic(QStringLiteral("Empty picture"));
  } catch (const std::exception&) {
    // Any picture that cannot be had is drawn as the desktop-coloured square.
    picture->Graphic = MissingPicture();
  }
  CurrentPicture = std::move(picture);
}
