// kvicon: the program's icon as theme PNGs.
//   kvicon --out DIR --name NAME     writes DIR/hicolor/<size>x<size>/apps/NAME.png for every usual size
#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>
#include <cstdio>

#include "ui/MirIcon.h"

int main(int argc, char** argv) {
  // Painting needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  QString out, name;
  for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == QLatin1String("--out")) out = args[i + 1];
    else if (args[i] == QLatin1String("--name")) name = args[i + 1];
  }
  if (out.isEmpty() || name.isEmpty() || args.size() != 5) {
    std::fputs("usage: kvicon --out DIR --name NAME\n", stderr);
    return 2;
  }
  for (int size : kProgramIconSizes) {
    const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(out).arg(size);
    const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    QImageWriter writer(file, "png");
    if (!QDir().mkpath(dir) || !writer.write(DrawProgramIcon(size))) {
      std::fprintf(stderr, "kvicon: cannot write %s: %s\n", qPrintable(file), qPrintable(writer.errorString()));
      return 1;
    }
  }
  return 0;
}
