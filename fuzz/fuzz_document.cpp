// Documents: any file content loads or is refused without a crash; a loaded document saves and
// loads back to the same text.
#include <QBuffer>
#include <cstdint>
#include <cstdlib>

#include "foundation/KVXSkinBase.h"

namespace {
QByteArray Save(TKVXSkinIni& d) {
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  d.SaveToStream(b, false);
  return b.data();
}
void Load(TKVXSkinIni& d, const QByteArray& bytes) {
  QBuffer b;
  b.setData(bytes);
  b.open(QIODevice::ReadOnly);
  d.LoadFromStream(b);
}
void Accept(TKVXSkinSafeIni& d) {
  d.OnVerify.Set([](TPersistent*, const QString&, bool& ok) { ok = true; });
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), int(size));
  TKVXSkinEventBase events(nullptr);
  Accept(events);
  Load(events, input);
  TKVXSkinHolidayBase holidays(nullptr);
  Accept(holidays);
  Load(holidays, input);
  if (holidays.LoadFailed) return 0;
  const QByteArray saved = Save(holidays);
  TKVXSkinHolidayBase again(nullptr);
  Accept(again);
  Load(again, saved);
  if (again.LoadFailed || Save(again) != saved) abort();
  return 0;
}
