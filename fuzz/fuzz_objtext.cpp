// Object text: parsing never crashes, and whatever parses formats to a text that parses back
// to the same formatted text.
#include <cstdint>
#include <cstdlib>

#include "foundation/KVObjectText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text = DecodeObjectTextBytes(QByteArray(reinterpret_cast<const char*>(data), int(size)));
  TextObject first;
  try {
    first = ParseObjectText(text);
  } catch (const EParserError&) {
    return 0;
  }
  const QString formatted = FormatObjectText(first);
  try {
    if (FormatObjectText(ParseObjectText(formatted)) != formatted) abort();
  } catch (const EParserError&) {
    abort();
  }
  return 0;
}
