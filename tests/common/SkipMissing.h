#pragma once
// Tests that need something scripts/setup.sh installs (a program, a schema, a font, the test X
// server) leave through KV_SKIP_MISSING() when it is missing: a skip with the streamed reason on
// a developer's machine, a failure under CI, where a missing package must never hide behind a skip.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QStandardPaths>

namespace kvtest {

// CI set to anything but empty, "0" or "false".
inline bool UnderCI() {
  const QByteArray ci = qgetenv("CI").trimmed().toLower();
  return !ci.isEmpty() && ci != "0" && ci != "false";
}

}  // namespace kvtest

#define KV_SKIP_MISSING()                                                          \
  return GTEST_MESSAGE_(::kvtest::UnderCI() ? "Missing under CI, where the set-up installs it, " \
                                              "so this fails instead of skipping: "            \
                                            : "",                                              \
                        ::kvtest::UnderCI() ? ::testing::TestPartResult::kFatalFailure         \
                                            : ::testing::TestPartResult::kSkip)

// Leaves the test as above when program is not on the PATH.
#define KV_REQUIRE_PROGRAM(program)                                                   \
  do {                                                                                \
    if (QStandardPaths::findExecutable(program).isEmpty())                            \
      KV_SKIP_MISSING() << (program) << " is not installed";                          \
  } while (0)
