// kvpack: builds the program's packs from files.
//   kvpack layouts --out FILE [--plain] LAYOUT.txt...       layout pack (previews drawn where missing)
//   kvpack image --out FILE --title TITLE [--skin TEXT] [--form NAME] [--cover PICTURE] PICTURE...
//   kvpack default-pack --out FILE [--skin TEXT] [--title TITLE]   the project's own pictures
//   kvpack compress --out FILE INPUT                        one zlib stream of a file
//   kvpack embed --out FILE.cpp NAME=FILE...                C++ source carrying the files as blocks
//   kvpack preview --out FILE.png LAYOUT.txt...             drawn previews of layouts, as one sheet
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QBuffer>
#include <cstdio>

#include "foundation/KVException.h"
#include "foundation/KVObjectText.h"
#include "foundation/KVZlib.h"
#include "platform/KVSafeSave.h"
#include "tools/kvpack/PackWriter.h"

namespace {

const char kMainForm[] = "KVMirovaCalendar";

struct Args {
  QString command, out, title, skin, form = QString::fromLatin1(kMainForm), cover;
  bool plain = false;
  QStringList inputs;
};

QByteArray ReadAll(const QString& name) {
  QFile f(name);
  if (!f.open(QIODevice::ReadOnly)) throw EFOpenError(QStringLiteral("Cannot open \"%1\"").arg(name));
  return f.readAll();
}

void WriteAll(const QString& name, const QByteArray& data) { SafeSaveBytes(name, data); }

int Usage() {
  std::fputs(
      "usage: kvpack layouts --out FILE [--plain] LAYOUT...\n"
      "       kvpack image --out FILE --title TITLE [--skin TEXT] [--form NAME] [--cover PICTURE] PICTURE...\n"
      "       kvpack default-pack --out FILE [--skin TEXT] [--title TITLE]\n"
      "       kvpack compress --out FILE INPUT\n"
      "       kvpack embed --out FILE NAME=FILE...\n"
      "       kvpack preview --out FILE LAYOUT...\n",
      stderr);
  return 2;
}

QByteArray Skin(const Args& a, const QImage& cover) {
  std::vector<std::vector<QImage>> strips;
  if (!cover.isNull()) strips.push_back({cover});
  std::vector<kvpack::SkinForm> forms;
  if (!a.skin.isEmpty()) forms.push_back({a.form, DecodeObjectTextBytes(ReadAll(a.skin))});
  return kvpack::SkinPackage(strips, forms);
}

int Run(const Args& a) {
  if (a.out.isEmpty()) return Usage();
  if (a.command == QLatin1String("layouts")) {
    QStringList texts;
    for (const QString& f : a.inputs) texts << kvpack::LayoutWithPreview(DecodeObjectTextBytes(ReadAll(f)));
    kvpack::WriteLayoutPack(a.out, texts, a.plain);
  } else if (a.command == QLatin1String("image")) {
    if (a.title.isEmpty() || a.inputs.isEmpty()) return Usage();
    std::vector<kvpack::PackPicture> pictures;
    for (const QString& f : a.inputs) pictures.push_back(kvpack::PictureFromFile(f));
    QImage cover;
    if (!a.cover.isEmpty() && !cover.load(a.cover)) throw EKVError(QStringLiteral("Cannot read \"%1\"").arg(a.cover));
    kvpack::WriteImagePack(a.out, a.title, Skin(a, cover), pictures);
  } else if (a.command == QLatin1String("default-pack")) {
    const QString skin = a.skin.isEmpty() ? QString() : DecodeObjectTextBytes(ReadAll(a.skin));
    if (a.title.isEmpty()) kvpack::WriteDefaultImagePack(a.out, skin);
    else kvpack::WriteDefaultImagePack(a.out, skin, a.title);
  } else if (a.command == QLatin1String("compress")) {
    if (a.inputs.size() != 1) return Usage();
    WriteAll(a.out, ZCompress(ReadAll(a.inputs[0])));
  } else if (a.command == QLatin1String("embed")) {
    std::vector<std::pair<QString, QByteArray>> blocks;
    for (const QString& in : a.inputs) {
      const qsizetype eq = in.indexOf(QLatin1Char('='));
      if (eq <= 0) return Usage();
      blocks.emplace_back(in.left(eq), ReadAll(in.mid(eq + 1)));
    }
    WriteAll(a.out, kvpack::EmbedSource(blocks));
  } else if (a.command == QLatin1String("preview")) {
    if (a.inputs.isEmpty()) return Usage();
    // Several layouts make a sheet of previews, six to a row.
    const int n = int(a.inputs.size()), cols = std::min(n, 6), rows = (n + 5) / 6;
    QImage sheet(cols * 124, rows * 94, QImage::Format_RGB888);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    for (int i = 0; i < n; ++i)
      p.drawImage((i % 6) * 124 + 2, (i / 6) * 94 + 2, kvpack::DrawLayoutPreview(DecodeObjectTextBytes(ReadAll(a.inputs[i]))));
    p.end();
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!sheet.save(&png, "PNG")) throw EFCreateError(QStringLiteral("Cannot write \"%1\"").arg(a.out));
    WriteAll(a.out, png.data());
  } else {
    return Usage();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing text needs a GUI application; the tool runs without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList list = app.arguments();
  if (list.size() < 2) return Usage();
  Args a;
  a.command = list[1];
  for (int i = 2; i < list.size(); ++i) {
    const QString& s = list[i];
    const auto value = [&]() -> QString { return i + 1 < list.size() ? list[++i] : QString(); };
    if (s == QLatin1String("--out")) a.out = value();
    else if (s == QLatin1String("--title")) a.title = value();
    else if (s == QLatin1String("--skin")) a.skin = value();
    else if (s == QLatin1String("--form")) a.form = value();
    else if (s == QLatin1String("--cover")) a.cover = value();
    else if (s == QLatin1String("--plain")) a.plain = true;
    else a.inputs << s;
  }
  try {
    return Run(a);
  } catch (const EKVError& e) {
    std::fprintf(stderr, "kvpack: %s\n", e.what());
    return 1;
  }
}
