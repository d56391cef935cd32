// Documents: any file content loads, loads what came before its damage, or is refused without a
// crash; a loaded document saves and loads back, whole, to the same text.
#include <QBuffer>
#include <cstdint>

#include "foundation/KVXSkinBase.h"
#include "fuzz/FuzzReach.h"

namespace {

QByteArray Save(TKVXSkinIni& d, bool compress = false) {
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  d.SaveToStream(b, compress);
  return b.data();
}
void Load(TKVXSkinIni& d, const QByteArray& bytes) {
  QBuffer b;
  b.setData(bytes);
  b.open(QIODevice::ReadOnly);
  d.LoadFromStream(b);
}
// Named as the program names them: a text applies to a component by its name.
template <class Doc>
void Prepare(Doc& d, const char* name) {
  d.SetName(QString::fromLatin1(name));
  d.OnVerify.Set([](TPersistent*, const QString&, bool& ok) { ok = true; });
}

enum : unsigned { kLoaded = 1, kItems = 2, kRecovered = 4 };

unsigned Run(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), int(size));
  TKVXSkinEventBase events(nullptr);
  Prepare(events, "EventBase");
  Load(events, input);
  TKVXSkinHolidayBase holidays(nullptr);
  Prepare(holidays, "HolidayBase");
  Load(holidays, input);
  if (holidays.LoadFailed) return 0;
  const QByteArray saved = Save(holidays);
  TKVXSkinHolidayBase again(nullptr);
  Prepare(again, "HolidayBase");
  Load(again, saved);
  FUZZ_CHECK(!again.LoadFailed && !again.LoadDamaged, "a saved document loads back whole");
  FUZZ_CHECK_SAME(Save(again), saved, "a saved document loads back to the same text");
  FUZZ_CHECK(again.Data().Count() == holidays.Data().Count(), "a saved document loads back with the same number of items");
  // Compressed as the program saves it, it reads back to the same text too.
  TKVXSkinHolidayBase packed(nullptr);
  Prepare(packed, "HolidayBase");
  Load(packed, Save(holidays, true));
  FUZZ_CHECK(!packed.LoadFailed && !packed.LoadDamaged, "a compressed save loads back whole");
  FUZZ_CHECK_SAME(Save(packed), saved, "a compressed save loads back to the same text");
  unsigned reached = kLoaded;
  if (holidays.Data().Count() > 0) reached |= kItems;
  if (holidays.LoadDamaged && holidays.Data().Count() > 0) reached |= kRecovered;
  return reached;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RequireStartingInputsReach(kLoaded | kItems | kRecovered, Run);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run(data, size);
  return 0;
}
