#include <QApplication>

#include "foundation/KVSysUtils.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Kel Voro"));
  QApplication::setApplicationName(QStringLiteral("Mirova Calendar"));
  QApplication::setApplicationDisplayName(QStringLiteral("Mirova Calendar"));
  InitializeFolders();
  // Settings are read from the user's store; nothing else runs yet.
  TKVRegistry reg;
  reg.OpenKeyReadOnly(QStringLiteral("Software\\Kel Voro\\Mirova Calendar"));
  return 0;
}
