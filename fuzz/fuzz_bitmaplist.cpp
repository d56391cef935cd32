// Bitmap strips: hostile sizes, counts and bitmaps fail cleanly; whatever loads can be drawn.
#include <QBuffer>
#include <QPainter>
#include <cstdint>

#include "foundation/KVBitmapList.h"
#include "fuzz/FuzzReach.h"

namespace {

// 1 when the input loaded as a strip with images.
unsigned Run(const uint8_t* data, size_t size) {
  QBuffer buf;
  buf.setData(reinterpret_cast<const char*>(data), int(size));
  buf.open(QIODevice::ReadOnly);
  TKVBitmapList list;
  try {
    list.LoadFromStream(buf);
  } catch (const EKVError&) {
    return 0;
  }
  QImage canvas(16, 16, QImage::Format_RGB32);
  QPainter p(&canvas);
  TKVBitmap one;
  for (int i = 0; i < list.Count() && i < 16; ++i) {
    list.GetBitmap(one, i);
    list.DrawTransparent(p, -2, i, 1);
    list.CopyMaskPart(p, Rect(0, 0, 8, 8), i, Rect(-1, 0, 3, 3));
    (void)list.ImageRegion(i, 0, 0);
  }
  return list.Count() > 0 ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RequireStartingInputsReach(1, Run);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run(data, size);
  return 0;
}
