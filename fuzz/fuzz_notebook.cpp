// Notebook files: any content reads as entries or is refused with the store's errors; what was
// read writes out and reads back to the same entries and the same text; scrambling is its own
// inverse.
#include <QCoreApplication>
#include <cstdint>

#include "controls/KVNbData.h"
#include "fuzz/FuzzReach.h"

namespace {

// Parses Lines into a fresh notebook; false when the store refused them.
bool Parse(TNbDataList& list, const QStringList& lines, TNbStoreMode mode) {
  list.Clear();
  list.AddSection();
  try {
    list.ParseLines(lines, 0, mode);
    return true;
  } catch (const EKVError&) {
    return false;
  }
}

// 1 when the input read as a notebook with entries.
unsigned Run(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
  if (DescrambleNotebookText(DescrambleNotebookText(input, QStringLiteral("key")), QStringLiteral("key")) != input)
    FuzzPropertyFailed("scrambling twice with the same key gives the input back", "Descramble(Descramble(input)) == input",
                       __FILE__, __LINE__);
  const QStringList lines = SplitNotebookLines(DecodeNotebookBytes(input));
  TNbDataList list(size % 2 == 1);
  for (TNbStoreMode mode : {nbsmKeep, nbsmOverwrite, nbsmAddNew}) Parse(list, lines, mode);
  if (!Parse(list, lines, nbsmAddNew)) return 0;

  const QString text = list.SectionText(0);
  TNbDataList again(size % 2 == 1);
  FUZZ_CHECK(Parse(again, SplitNotebookLines(DecodeNotebookBytes(EncodeNotebookText(text))), nbsmAddNew),
             "what was read writes out to a notebook the store reads back");
  FUZZ_CHECK(again.Items(0)->Count() == list.Items(0)->Count(), "what was read reads back with the same number of entries");
  for (int i = 0; i < list.Items(0)->Count(); ++i) {
    const TNbObject &a = *list.Items(0)->Items(i), &b = *again.Items(0)->Items(i);
    if (a.Title.contains(QLatin1String("*-->")) || a.Title.contains(QLatin1String("<!--"))) continue;
    FUZZ_CHECK(a.Color == b.Color, "every entry reads back with its colour");
    FUZZ_CHECK_SAME(b.Title, a.Title, "every entry reads back with its title");
  }
  FUZZ_CHECK_SAME(again.SectionText(0), text, "what was read writes out again to the same text");
  return list.Items(0)->Count() > 0 ? 1 : 0;
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
