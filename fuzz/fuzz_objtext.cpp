// Object text: parsing never crashes; whatever parses, whole or up to its damage, formats to a
// text that parses back whole to the same formatted text.
#include <cstdint>
#include <cstdio>

#include "foundation/KVObjectText.h"
#include "fuzz/FuzzReach.h"

namespace {

void RoundTrip(const TextObject& o) {
  const QString formatted = FormatObjectText(o);
  try {
    FUZZ_CHECK_SAME(FormatObjectText(ParseObjectText(formatted)), formatted,
                    "formatted object text parses back to the same formatted text");
  } catch (const EParserError& e) {
    std::fprintf(stderr, "==== %s\n", qPrintable(e.Message()));
    FuzzPropertyFailed("formatted object text parses back whole", "no parser error", __FILE__, __LINE__);
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
    FUZZ_CHECK(damage.damaged != bool(reached & kWhole), "the partial parse reports damage exactly when the whole parse fails");
    RoundTrip(o);
    if (damage.damaged && !o.props.empty()) reached |= kPartial;
  } catch (const EParserError&) {
    FUZZ_CHECK(!(reached & kWhole), "the partial parse gets through what the whole parse gets through");
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
