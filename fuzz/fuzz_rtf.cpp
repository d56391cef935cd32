// RTF: any input reads or is refused without a crash; the text-only reader sees the document's
// text; what was read writes out and reads back to the same text, and writes again to the same
// bytes; formatting whole lines stays within the text.
#include <QByteArrayView>
#include <QGuiApplication>
#include <QTextDocument>
#include <cstdint>

#include "controls/KVFormatRange.h"
#include "controls/KVRichPicture.h"
#include "controls/KVRtfReader.h"
#include "controls/KVRtfWriter.h"
#include "fuzz/FuzzReach.h"

// Laying text out loads fonts; the font configuration library keeps its caches for the life of
// the process, which the leak checker would otherwise report at exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

// 1 when the input read as rich text.
unsigned Run(const uint8_t* data, size_t size) {
  const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
  // The picture decoders take anything, too.
  KVDecodeDib(input);
  KVDecodeWmfBitmap(input);
  KVDecodeEmfBitmap(input);

  QTextDocument doc;
  const bool rtf = KVReadRtf(input, doc);
  const std::optional<QString> text = KVRtfToText(input);
  FUZZ_CHECK(rtf == text.has_value(), "the text-only reader takes the same inputs as the document reader");
  if (!rtf) return 0;
  const QString docText = KVDocumentText(doc);
  FUZZ_CHECK_SAME(*text, docText, "the text-only reader sees the document's text");

  const QByteArray written = KVWriteRtf(doc);
  QTextDocument again;
  FUZZ_CHECK(KVReadRtf(written, again), "what was read writes out as RTF that reads back");
  FUZZ_CHECK_SAME(KVDocumentText(again), docText, "the text survives writing and reading back");
  FUZZ_CHECK_SAME(KVWriteRtf(again), written, "what was read back writes out to the same bytes");

  TKVFormatter formatter(doc);
  TKVFormatRange fr;
  fr.rc = fr.rcPage = Rect(0, 0, 4000, 4000);
  const int next = formatter.Format(fr, false);
  FUZZ_CHECK(next >= 0 && next <= formatter.TextLength(), "formatting stops within the text");
  FUZZ_CHECK(fr.rc.Bottom >= fr.rc.Top && fr.rc.Bottom <= 4000, "formatting stays within the page");
  return 1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication* app = new QGuiApplication(*argc, *argv);
  (void)app;
  RequireStartingInputsReach(1, Run);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run(data, size);
  return 0;
}
