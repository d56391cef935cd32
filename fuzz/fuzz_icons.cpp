// Icon files and Windows program files: a hostile directory, resource tree or picture fails
// cleanly and never reads or allocates beyond what the file holds.
#include <QByteArray>
#include <QImage>
#include <cstdint>

#include "controls/KVFileIcons.h"
#include "foundation/KVGraphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QImage& icon : ReadFileIcons(bytes)) {
      if (icon.width() > kMaxIconSide || icon.height() > kMaxIconSide) __builtin_trap();
      IconBitmap(icon);
    }
  } catch (const EKVError&) {
  }
  return 0;
}
