// Resource packs: a hostile directory or entry fails cleanly, never reads or allocates beyond
// the input's means.
#include <QBuffer>
#include <cstdint>

#include "foundation/KVException.h"
#include "foundation/KVRStream.h"
#include "fuzz/FuzzReach.h"

namespace {

// 1 when the directory was read and an entry with it.
unsigned Run(const uint8_t* data, size_t size) {
  QBuffer buf;
  buf.setData(reinterpret_cast<const char*>(data), int(size));
  buf.open(QIODevice::ReadOnly);
  TKVResReader r(size > 0 ? data[0] % 4 : 0);
  r.SetStream(&buf);
  if (!r.ReadDirectory()) return 0;
  unsigned reached = 0;
  for (int i = 0; i < r.Count() && i < 64; ++i) {
    try {
      QBuffer out;
      out.open(QIODevice::ReadWrite);
      r.ReadToStream(i, out);
      (void)r.ReadBuffer(i);
      reached = 1;
    } catch (const EKVError&) {
    }
  }
  return reached;
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
