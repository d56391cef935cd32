// Pictures: a hostile JPEG, GIF or bitmap file fails cleanly and never allocates beyond what its
// data can hold. The first byte picks the decoder.
#include <QImage>
#include <cstdint>

#include "foundation/KVPicture.h"
#include "fuzz/FuzzReach.h"

namespace {

// 1 << the decoder, when it gave a picture.
unsigned Run(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uchar* p = data + 1;
  const qint64 n = qint64(size - 1);
  const int decoder = data[0] % 3;
  try {
    QImage img;
    switch (decoder) {
      case 0: img = DecodeJPEG(p, n, QSize(64, 48)); break;
      case 1: img = DecodeGIF(p, n); break;
      default: img = DecodeBMP(p, n); break;
    }
    TKVBitmap b;
    PaintBestFit(b, &img, 32, 24);
    return img.isNull() ? 0 : 1u << decoder;
  } catch (const EKVError&) {
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RequireStartingInputsReach(7, Run);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run(data, size);
  return 0;
}
