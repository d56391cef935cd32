// Icon files and Windows program files: a hostile directory, resource tree or picture fails
// cleanly and never reads or allocates beyond what the file holds.
#include <QByteArray>
#include <QImage>
#include <cstdint>

#include "controls/KVFileIcons.h"
#include "foundation/KVGraphics.h"
#include "fuzz/FuzzReach.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QImage& icon : ReadFileIcons(bytes)) {
      FUZZ_CHECK(icon.width() <= kMaxIconSide && icon.height() <= kMaxIconSide, "no icon read is larger than the icon limit");
      IconBitmap(icon);
    }
  } catch (const EKVError&) {
  }
  return 0;
}
