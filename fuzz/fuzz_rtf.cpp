// RTF: any input reads or is refused without a crash; the text-only reader sees the document's
// text; what was read writes out, reads back and writes again to the same bytes; formatting
// whole lines stays within the text.
#include <QByteArrayView>
#include <QGuiApplication>
#include <QTextDocument>
#include <cstdint>
#include <cstdlib>

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
  if (rtf != text.has_value()) abort();
  if (!rtf) return 0;
  if (*text != KVDocumentText(doc)) abort();

  const QByteArray written = KVWriteRtf(doc);
  QTextDocument again;
  if (!KVReadRtf(written, again)) abort();
  if (KVWriteRtf(again) != written) abort();

  TKVFormatter formatter(doc);
  TKVFormatRange fr;
  fr.rc = fr.rcPage = Rect(0, 0, 4000, 4000);
  const int next = formatter.Format(fr, false);
  if (next < 0 || next > formatter.TextLength() || fr.rc.Bottom < fr.rc.Top || fr.rc.Bottom > 4000) abort();
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
