#include "calendar/ImageSets.h"

#include "platform/KVSafeSave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "foundation/KVException.h"
#include "foundation/KVObjectText.h"
#include "foundation/KVRStream.h"
#include "foundation/KVString.h"
#include "foundation/KVZlib.h"

namespace {

// No title is this long; a larger entry 0 marks a damaged or hostile file.
constexpr qint32 kMaxTitleBytes = 4096;

bool LessNoCase(const QString& a, const QString& b) {
  const int c = a.compare(b, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a < b;
}

QString BaseName(const QString& fileName) {
  const QString name = QFileInfo(fileName).fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return dot > 0 ? name.left(dot) : name;
}

bool HasExtension(const QString& name, const char* ext) { return name.endsWith(QLatin1String(ext), Qt::CaseInsensitive); }

}  // namespace

const char* const kImageSetSideExtensions[7] = {".mcl", ".sel", ".thn", ".scl", ".ssl", ".sini", ".ini"};

std::optional<QString> ReadImagePackTitle(const QString& FileName) {
  // Only regular files: opening a pipe of that name would wait for a writer.
  if (!QFileInfo(FileName).isFile()) return std::nullopt;
  QFile file(FileName);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  TKVResReader reader;
  reader.SetStream(&file);
  if (!reader.ReadDirectory()) return std::nullopt;
  if ((reader.Version() != kImagePackVersion1 && reader.Version() != kImagePackVersion2) || reader.Count() <= 0)
    return std::nullopt;
  const TKVResEntry title = reader.GetEntry(0);
  if (title.Size > kMaxTitleBytes) return std::nullopt;
  try {
    if (title.Kind >= 0) return DecodeObjectTextBytes(reader.ReadBuffer(0));
    // Entry 0 is the first one: it starts right after the directory. Inflated within a title's size.
    if (!file.seek(8 + qint64(reader.Count()) * 8)) return std::nullopt;
    return DecodeObjectTextBytes(ZDecompress(file.read(title.Size), kMaxTitleBytes));
  } catch (const EKVError&) {
    return std::nullopt;
  }
}

QStringList ListImageSetFiles(const QString& Folder) {
  if (Folder.isEmpty()) return {};
  const QStringList names = QDir(Folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
  QStringList packBases;
  for (const QString& n : names)
    if (HasExtension(n, ".mcp")) packBases << BaseName(n).toCaseFolded();
  QStringList files;
  for (const QString& n : names) {
    if (HasExtension(n, ".mcp") || (HasExtension(n, ".mcl") && !packBases.contains(BaseName(n).toCaseFolded())))
      files << PathWithSlash(Folder) + n;
  }
  std::sort(files.begin(), files.end(), LessNoCase);
  return files;
}

std::vector<TMImageSet> ReadImageSets(const QStringList& SetFiles) {
  std::vector<TMImageSet> sets;
  for (const QString& f : SetFiles) {
    const QString name = QFileInfo(f).fileName();
    if (HasExtension(name, ".mcl")) {
      if (QFileInfo(f).isFile()) sets.push_back({true, BaseName(name), name});
      continue;
    }
    if (const auto title = ReadImagePackTitle(f)) sets.push_back({false, *title, name});
  }
  return sets;
}

QString SideFileName(const QString& Folder, const QString& SetFile, const QString& Extension) {
  return PathWithSlash(Folder) + BaseName(SetFile) + Extension;
}

int ClampedPictureCount(qint64 HeaderCount, int EntryCount) {
  return int(std::clamp<qint64>(HeaderCount, 0, std::max(0, EntryCount - kPackFirstPictureEntry)));
}

std::vector<int> PackPictureOrder(const QStringList& OrderLines, int PictureCount) {
  std::vector<int> order;
  std::vector<bool> placed(size_t(std::max(0, PictureCount)) + 1, false);
  for (const QString& line : OrderLines) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.size() > 10 || !std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
      continue;
    const qint64 n = t.toLongLong();
    if (n < 1 || n > PictureCount || placed[size_t(n)]) continue;
    placed[size_t(n)] = true;
    order.push_back(int(n));
  }
  for (int n = 1; n <= PictureCount; ++n)
    if (!placed[size_t(n)]) order.push_back(n);
  return order;
}

QStringList LoadLines(const QString& FileName) {
  QFile f(FileName);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
  for (QString& l : lines)
    if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

void SaveLines(const QString& FileName, const QStringList& Lines) {
  QByteArray text;
  for (const QString& l : Lines) text += l.toUtf8() + "\r\n";
  SafeSaveChangedBytes(FileName, text);
}
