// Object text: parsing never crashes; whatever parses, whole or up to its damage, formats to a
// text that parses back whole to the same formatted text.
#include <cstdint>
#include <cstdlib>

#include "foundation/KVObjectText.h"
#include "fuzz/FuzzReach.h"

namespace {

void RoundTrip(const TextObject& o) {
  const QString formatted = FormatObjectText(o);
  try {
    if (FormatObjectText(ParseObjectText(formatted)) != formatted) abort();
  } catch (const EParserError&) {
    abort();
  }
}

enum : unsigned { kWhole = 1, kPartial = 2 };

unsigned Run(const uint8_t* data, size_t size) {
  const QString text = DecodeObjectTextBytes(QByteArray(reinterpret_cast<const char*>(data), int(size)));
  unsigned reached = 0;
  try {
    RoundTrip(ParseObjectText(text));
    reached |= kWhole;
  } catch (const EParserError&) {
  }
  try {
    TextDamage damage;
    const TextObject o = ParseObjectTextPartial(text, damage);
    if (damage.damaged == bool(reached & kWhole)) abort();  // damaged exactly when the whole parse failed
    RoundTrip(o);
    if (damage.damaged && !o.props.empty()) reached |= kPartial;
  } catch (const EParserError&) {
    if (reached & kWhole) abort();
  }
  return reached;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RequireStartingInputsReach(kWhole | kPartial, Run);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run(data, size);
  return 0;
}
