#include "controls/KVFileIcons.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>

#include "foundation/KVGraphics.h"
#include "foundation/KVPicture.h"

namespace {

// One icon picture may not claim more than this many bytes.
constexpr qint64 kMaxPictureBytes = 8LL * 1024 * 1024;
// Resource directory entries and icon group choices visited in one PE file, whatever the
// directories claim.
constexpr int kMaxResourceEntries = 65536;
// What the pictures of one file may cost together: the pixels decoded (some 120 icons of
// 256 x 256, or thousands of the usual sizes), and the bytes read for them beyond twice the file.
constexpr qint64 kMaxIconFilePixels = 8LL * 1024 * 1024;
constexpr qint64 kIconFileFreeBytes = 1LL * 1024 * 1024;

[[noreturn]] void Damaged(const char* what) {
  throw EInvalidGraphic(QStringLiteral("The icon file is damaged: %1").arg(QLatin1String(what)));
}

quint16 U16(const QByteArray& b, qint64 at) {
  const auto* p = reinterpret_cast<const uchar*>(b.constData()) + at;
  return quint16(p[0] | (p[1] << 8));
}
quint32 U32(const QByteArray& b, qint64 at) {
  const auto* p = reinterpret_cast<const uchar*>(b.constData()) + at;
  return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}
quint32 U32BE(const QByteArray& b, qint64 at) {
  const auto* p = reinterpret_cast<const uchar*>(b.constData()) + at;
  return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

// Random access to the file with every range checked against its size.
class TSource {
 public:
  explicit TSource(QIODevice& device) : device_(device), size_(device.size()) {}
  qint64 Size() const { return size_; }
  bool Fits(qint64 offset, qint64 length) const {
    return offset >= 0 && length >= 0 && offset <= size_ && length <= size_ - offset;
  }
  QByteArray Read(qint64 offset, qint64 length) {
    if (!Fits(offset, length)) Damaged("a range outside the file");
    if (!device_.seek(offset)) Damaged("a range that cannot be read");
    QByteArray b = device_.read(length);
    if (b.size() != length) Damaged("a range that cannot be read");
    return b;
  }

 private:
  QIODevice& device_;
  qint64 size_;
};

// ---- one picture: a PNG stream, or a device-independent bitmap with its AND mask

const QByteArray& PngSignature() {
  static const QByteArray png("\x89PNG\r\n\x1a\n", 8);
  return png;
}

// What a picture's first bytes say of it: its size in pixels and the bytes its decoding reads.
struct TPictureShape {
  qint64 pixels = 0;
  qint64 bytes = 0;
};
// The first bytes needed to tell a picture's shape.
constexpr qint64 kShapeBytes = 40;

// An IHDR of sides within reason first; a PNG is read whole.
std::optional<TPictureShape> PngShape(const QByteArray& head, qint64 n) {
  if (head.size() < 24 || !head.startsWith(PngSignature()) || U32BE(head, 8) != 13 || head.mid(12, 4) != "IHDR")
    return std::nullopt;
  const quint32 w = U32BE(head, 16), h = U32BE(head, 20);
  if (w < 1 || h < 1 || w > quint32(kMaxIconSide) || h > quint32(kMaxIconSide)) return std::nullopt;
  return TPictureShape{qint64(w) * h, n};
}

// The layout of a device-independent bitmap of N bytes, from its header.
struct TDibLayout {
  int width = 0, height = 0, bits = 0;
  qint64 palette = 0, paletteCount = 0, pixels = 0, xorStride = 0, andStride = 0, mask = 0;
  bool hasMask = false;
  qint64 Bytes() const { return hasMask ? mask + andStride * height : mask; }
};

std::optional<TDibLayout> DibLayout(const QByteArray& head, qint64 n) {
  if (head.size() < 40 || n < 40) return std::nullopt;
  const quint32 headerSize = U32(head, 0);
  const qint32 width = qint32(U32(head, 4));
  const qint32 height2 = qint32(U32(head, 8));  // the colour rows and the mask rows
  const int bits = U16(head, 14);
  const quint32 compression = U32(head, 16);
  const quint32 colorsUsed = U32(head, 32);
  if (headerSize < 40 || headerSize > quint64(n) || compression != 0) return std::nullopt;
  if (width < 1 || width > kMaxIconSide || height2 < 2 || height2 / 2 > kMaxIconSide) return std::nullopt;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return std::nullopt;
  TDibLayout l;
  l.width = width;
  l.height = height2 / 2;
  l.bits = bits;
  // Deeper pictures may carry a colour table too; it is skipped.
  l.paletteCount = colorsUsed ? qint64(colorsUsed) : bits <= 8 ? (qint64(1) << bits) : 0;
  if (bits <= 8 && l.paletteCount > (qint64(1) << bits)) return std::nullopt;
  if (l.paletteCount > n) return std::nullopt;
  l.palette = qint64(headerSize);
  l.pixels = l.palette + l.paletteCount * 4;
  l.xorStride = ((qint64(width) * bits + 31) / 32) * 4;
  l.andStride = ((qint64(width) + 31) / 32) * 4;
  l.mask = l.pixels + l.xorStride * l.height;
  if (l.mask > n) return std::nullopt;
  // 32-bit pictures may come without a mask: their alpha says it all.
  l.hasMask = l.mask + l.andStride * l.height <= n;
  if (!l.hasMask && bits != 32) return std::nullopt;
  return l;
}

std::optional<TPictureShape> PictureShape(const QByteArray& head, qint64 n) {
  if (head.startsWith(PngSignature())) return PngShape(head, n);
  const std::optional<TDibLayout> l = DibLayout(head, n);
  if (!l) return std::nullopt;
  return TPictureShape{qint64(l->width) * l->height, l->Bytes()};
}

// Every chunk must lie in the data: the decoder would allocate what a chunk claims.
bool PngChunksFit(const QByteArray& data) {
  qint64 pos = 8;
  const qint64 n = data.size();
  while (n - pos >= 12) {
    const qint64 length = U32BE(data, pos);
    if (length > n - pos - 12) return false;
    if (data.mid(pos + 4, 4) == "IEND") return true;
    pos += 12 + length;
  }
  return pos == n;
}

std::optional<QImage> DecodePng(const QByteArray& data) {
  const std::optional<TPictureShape> shape = PngShape(data, data.size());
  if (!shape || !PngChunksFit(data)) return std::nullopt;
  QImage image;
  if (!image.loadFromData(data, "PNG") || image.width() != int(U32BE(data, 16)) || image.height() != int(U32BE(data, 20)))
    return std::nullopt;
  return image.convertToFormat(QImage::Format_ARGB32);
}

std::optional<QImage> DecodeDib(const QByteArray& data) {
  const std::optional<TDibLayout> layout = DibLayout(data, data.size());
  if (!layout) return std::nullopt;
  const TDibLayout& l = *layout;
  const int width = l.width, h = l.height, bits = l.bits;
  const auto* d = reinterpret_cast<const uchar*>(data.constData());
  QImage image(width, h, QImage::Format_ARGB32);
  if (image.isNull()) return std::nullopt;
  bool anyAlpha = false;
  for (int y = 0; y < h; ++y) {
    const uchar* row = d + l.pixels + l.xorStride * (h - 1 - y);  // bottom-up
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      QRgb c = 0;
      if (bits == 32) {
        const uchar* p = row + x * 4;
        c = qRgba(p[2], p[1], p[0], p[3]);
        anyAlpha = anyAlpha || p[3] != 0;
      } else if (bits == 24) {
        const uchar* p = row + x * 3;
        c = qRgb(p[2], p[1], p[0]);
      } else {
        const int perByte = 8 / bits;
        const int shift = 8 - bits * (x % perByte + 1);
        const int index = (row[x / perByte] >> shift) & ((1 << bits) - 1);
        if (index < l.paletteCount) {
          const uchar* p = d + l.palette + index * 4;
          c = qRgb(p[2], p[1], p[0]);
        } else {
          c = qRgb(0, 0, 0);
        }
      }
      out[x] = c;
    }
  }
  // Without alpha the AND mask tells which pixels are shown.
  if (bits != 32 || !anyAlpha) {
    for (int y = 0; y < h; ++y) {
      auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
      const uchar* row = l.hasMask ? d + l.mask + l.andStride * (h - 1 - y) : nullptr;
      for (int x = 0; x < width; ++x) {
        const bool hidden = row && ((row[x / 8] >> (7 - x % 8)) & 1);
        out[x] = hidden ? qRgba(0, 0, 0, 0) : (out[x] | 0xFF000000u);
      }
    }
  }
  return image;
}

std::optional<QImage> DecodeIconPicture(const QByteArray& data) {
  if (data.startsWith(PngSignature())) return DecodePng(data);
  return DecodeDib(data);
}

// The pictures of one file, whatever names them: bytes named more than once are decoded once,
// and all the pictures of the file share one budget of bytes read and pixels decoded.
class TPictures {
 public:
  explicit TPictures(TSource& src) : src_(src), bytesLeft_(kIconFileFreeBytes + 2 * src.Size()) {}

  // The picture of Bytes at Offset; nothing when it is damaged or the file's budget is spent.
  std::optional<QImage> At(qint64 offset, qint64 bytes) {
    if (bytes < 1 || bytes > kMaxPictureBytes || !src_.Fits(offset, bytes)) return std::nullopt;
    const auto key = std::make_pair(offset, bytes);
    if (const auto it = done_.find(key); it != done_.end()) return it->second;
    std::optional<QImage>& slot = done_[key];
    // The first bytes say what decoding would read and make; nothing more is read before.
    const std::optional<TPictureShape> shape = PictureShape(src_.Read(offset, std::min(bytes, kShapeBytes)), bytes);
    if (!shape || shape->pixels > pixelsLeft_ || !Spend(shape->bytes)) return slot;
    slot = DecodeIconPicture(src_.Read(offset, shape->bytes));
    if (slot) pixelsLeft_ -= qint64(slot->width()) * slot->height();
    return slot;
  }

  // Takes Bytes from the file's budget of bytes read; false when it does not hold them.
  bool Spend(qint64 bytes) {
    if (bytes > bytesLeft_) return false;
    bytesLeft_ -= bytes;
    return true;
  }

 private:
  TSource& src_;
  qint64 bytesLeft_;
  qint64 pixelsLeft_ = kMaxIconFilePixels;
  std::map<std::pair<qint64, qint64>, std::optional<QImage>> done_;
};

// ---- icon files

std::vector<QImage> ReadIco(TSource& src) {
  const QByteArray head = src.Read(0, 6);
  const int count = U16(head, 4);
  if (count < 1) return {};
  const QByteArray dir = src.Read(6, qint64(count) * 16);
  TPictures pictures(src);
  std::vector<QImage> icons;
  for (int i = 0; i < count && int(icons.size()) < kMaxFileIcons; ++i) {
    const qint64 e = qint64(i) * 16;
    // A picture outside the file or beyond reason is left out; the others still count.
    if (std::optional<QImage> image = pictures.At(U32(dir, e + 12), U32(dir, e + 8))) icons.push_back(*image);
  }
  return icons;
}

// ---- Windows program files: the icon groups of the resource section

constexpr quint32 kRtIcon = 3, kRtGroupIcon = 14;

struct TSection {
  quint32 va, virtualSize, rawSize, rawOffset;
};

class TPeReader {
 public:
  explicit TPeReader(TSource& src) : src_(src), pictures_(src) {}

  std::vector<QImage> Icons() {
    ReadHeaders();
    if (rsrcRva_ == 0) return {};
    rsrc_ = Offset(rsrcRva_, 16);
    std::map<quint32, std::pair<quint32, quint32>> pictures;  // id -> (RVA, size)
    std::vector<std::pair<quint32, quint32>> groups;           // (RVA, size) in directory order
    for (const auto& [type, typeDir] : Entries(0, true)) {
      if (type != kRtIcon && type != kRtGroupIcon) continue;
      if (!(typeDir & 0x80000000u)) continue;
      for (const auto& [name, nameDir] : Entries(typeDir & 0x7FFFFFFFu, type == kRtGroupIcon)) {
        const std::optional<std::pair<quint32, quint32>> data = FirstData(nameDir);
        if (!data) continue;
        if (type == kRtIcon) pictures.emplace(name, *data);
        else groups.push_back(*data);
      }
    }
    std::vector<QImage> icons;
    // A group named more than once is read once.
    std::map<std::pair<quint32, quint32>, std::optional<QImage>> read;
    for (const auto& group : groups) {
      if (int(icons.size()) >= kMaxFileIcons) break;
      const auto it = read.find(group);
      const std::optional<QImage> icon =
          it != read.end() ? it->second : read.emplace(group, GroupIcon(group.first, group.second, pictures)).first->second;
      if (icon) icons.push_back(*icon);
    }
    return icons;
  }

 private:
  TSource& src_;
  TPictures pictures_;
  std::vector<TSection> sections_;
  quint32 rsrcRva_ = 0;
  qint64 rsrc_ = 0;
  int visited_ = 0;

  void ReadHeaders() {
    const QByteArray dos = src_.Read(0, 64);
    const qint64 pe = U32(dos, 0x3C);
    const QByteArray coff = src_.Read(pe, 24);
    if (coff.left(4) != QByteArray("PE\0\0", 4)) Damaged("no PE header");
    const int sectionCount = U16(coff, 6);
    const qint64 optSize = U16(coff, 20);
    const qint64 opt = pe + 24;
    const QByteArray optional = src_.Read(opt, optSize);
    if (optSize < 2) Damaged("no optional header");
    const int magic = U16(optional, 0);
    qint64 countAt = 0;
    if (magic == 0x10b) countAt = 92;
    else if (magic == 0x20b) countAt = 108;
    else Damaged("an unknown optional header");
    if (countAt + 4 > optSize) Damaged("a short optional header");
    const quint32 dirCount = U32(optional, countAt);
    const qint64 resourceDir = countAt + 4 + 2 * 8;
    if (dirCount > 2 && resourceDir + 8 <= optSize) rsrcRva_ = U32(optional, resourceDir);
    const QByteArray table = src_.Read(opt + optSize, qint64(sectionCount) * 40);
    for (int i = 0; i < sectionCount; ++i) {
      const qint64 s = qint64(i) * 40;
      sections_.push_back({U32(table, s + 12), U32(table, s + 8), U32(table, s + 16), U32(table, s + 20)});
    }
  }

  // The file offset of Length bytes at an RVA; they must lie in one section's data and the file.
  qint64 Offset(quint32 rva, qint64 length) const {
    for (const TSection& s : sections_) {
      if (rva < s.va) continue;
      const qint64 into = qint64(rva) - s.va;
      if (into >= qint64(s.rawSize) || length > qint64(s.rawSize) - into) continue;
      const qint64 at = qint64(s.rawOffset) + into;
      if (!src_.Fits(at, length)) Damaged("a resource outside the file");
      return at;
    }
    Damaged("a resource outside its sections");
  }

  // A directory's entries: (name or id, offset), ids only unless Named.
  void Visit(qint64 count) {
    visited_ += int(count);
    if (visited_ > kMaxResourceEntries) Damaged("too many resource entries");
  }

  std::vector<std::pair<quint32, quint32>> Entries(quint32 dirOffset, bool named) {
    const qint64 at = rsrc_ + dirOffset;
    const QByteArray head = src_.Read(at, 16);
    const qint64 count = qint64(U16(head, 12)) + U16(head, 14);
    Visit(count);
    const QByteArray list = src_.Read(at + 16, count * 8);
    std::vector<std::pair<quint32, quint32>> out;
    for (qint64 i = 0; i < count; ++i) {
      const quint32 name = U32(list, i * 8);
      if ((name & 0x80000000u) && !named) continue;
      out.emplace_back(name, U32(list, i * 8 + 4));
    }
    return out;
  }

  // The data of the first language of a name: (RVA, size).
  std::optional<std::pair<quint32, quint32>> FirstData(quint32 nameDir) {
    if (!(nameDir & 0x80000000u)) return std::nullopt;
    for (const auto& [lang, entry] : Entries(nameDir & 0x7FFFFFFFu, true)) {
      if (entry & 0x80000000u) continue;
      const QByteArray data = src_.Read(rsrc_ + entry, 16);
      return std::make_pair(U32(data, 0), U32(data, 4));
    }
    return std::nullopt;
  }

  std::optional<QImage> GroupIcon(quint32 rva, quint32 size, const std::map<quint32, std::pair<quint32, quint32>>& pictures) {
    if (size < 6 || size > kMaxPictureBytes) return std::nullopt;
    const qint64 at = Offset(rva, size);
    const QByteArray head = src_.Read(at, 6);
    const int count = U16(head, 4);
    const qint64 used = 6 + qint64(count) * 14;
    if (U16(head, 2) != 1 || used > qint64(size)) return std::nullopt;
    Visit(count);
    if (!pictures_.Spend(used)) return std::nullopt;
    const QByteArray group = src_.Read(at, used);
    struct Choice {
      int side, bits;
      quint32 id;
    };
    std::vector<Choice> choices;
    for (int i = 0; i < count; ++i) {
      const qint64 e = 6 + qint64(i) * 14;
      const int w = uchar(group[e]) ? uchar(group[e]) : 256;
      const int h = uchar(group[e + 1]) ? uchar(group[e + 1]) : 256;
      choices.push_back({std::max(w, h), U16(group, e + 6), U16(group, e + 12)});
    }
    // The same size first, then the next larger ones, then the smaller ones from the largest;
    // deeper colours before shallower.
    const auto rank = [](const Choice& c) {
      const int side = c.side == kIconBitmapSize ? 0 : c.side > kIconBitmapSize ? c.side : 100000 - c.side;
      return std::make_pair(side, -c.bits);
    };
    std::stable_sort(choices.begin(), choices.end(),
                     [&](const Choice& a, const Choice& b) { return rank(a) < rank(b); });
    for (const Choice& c : choices) {
      const auto it = pictures.find(c.id);
      if (it == pictures.end()) continue;
      const auto [pictureRva, pictureSize] = it->second;
      if (pictureSize < 1 || pictureSize > kMaxPictureBytes) continue;
      try {
        if (std::optional<QImage> image = pictures_.At(Offset(pictureRva, pictureSize), pictureSize)) return image;
      } catch (const EInvalidGraphic&) {
        // This picture lies outside the file; another size of the icon may not.
      }
    }
    return std::nullopt;
  }
};

}  // namespace

std::vector<QImage> ReadFileIcons(QIODevice& Device) {
  TSource src(Device);
  if (src.Size() < 6) Damaged("too short");
  const QByteArray head = src.Read(0, 6);
  if (head.startsWith("MZ")) return TPeReader(src).Icons();
  if (U16(head, 0) == 0 && U16(head, 2) == 1) return ReadIco(src);
  throw EInvalidGraphic(QStringLiteral("Neither an icon file nor a program file"));
}

std::vector<QImage> ReadFileIcons(const QByteArray& Data) {
  QByteArray copy = Data;
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  return ReadFileIcons(buffer);
}

QImage IconBitmap(const QImage& Icon) {
  QImage out(kIconBitmapSize, kIconBitmapSize, QImage::Format_BGR888);
  out.fill(Qt::white);
  if (Icon.isNull()) return out;
  QPainter p(&out);
  if (Icon.width() > kIconBitmapSize || Icon.height() > kIconBitmapSize) {
    // Shrunk rather than cut: a corner of a large icon shows nothing of it.
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QPoint(0, 0),
                Icon.scaled(kIconBitmapSize, kIconBitmapSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  } else {
    p.drawImage(QPoint(0, 0), Icon);
  }
  return out;
}

bool LoadFileIcons(const QString& FileName, std::vector<QImage>* ImageList) {
  if (!ImageList) return false;
  QFile file(FileName);
  if (!file.open(QIODevice::ReadOnly)) return false;
  std::vector<QImage> icons;
  try {
    icons = ReadFileIcons(file);
  } catch (const EKVError&) {
    return false;
  }
  if (icons.empty()) return false;
  // A picture named many times is shrunk once.
  std::map<qint64, QImage> bitmaps;
  for (const QImage& icon : icons) {
    auto it = bitmaps.find(icon.cacheKey());
    if (it == bitmaps.end()) it = bitmaps.emplace(icon.cacheKey(), IconBitmap(icon)).first;
    ImageList->push_back(it->second);
  }
  return true;
}

bool LoadPictureIcon(const QString& FileName, std::vector<QImage>* ImageList) {
  if (!ImageList) return false;
  try {
    const QImage picture = LoadPictureFromFile(FileName, QSize(kIconBitmapSize, kIconBitmapSize));
    if (picture.isNull()) return false;
    TKVBitmap bitmap;
    bitmap.BrushColor = clWhite;
    PaintBestFit(bitmap, &picture, kIconBitmapSize, kIconBitmapSize);
    ImageList->push_back(bitmap.Image().convertToFormat(QImage::Format_BGR888));
    return true;
  } catch (const EKVError&) {
    return false;
  }
}

bool CollectFileIcons(const QString& FileName, std::vector<QImage>* ImageList) {
  if (!ImageList) return false;
  QFile file(FileName);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray head = file.read(4);
  file.close();
  const bool iconFile = head.size() == 4 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0;
  if (head.startsWith("MZ") || iconFile) return LoadFileIcons(FileName, ImageList);
  return LoadPictureIcon(FileName, ImageList);
}

bool LoadFolderIcons(const QString& Folder, std::vector<QImage>* ImageList, std::size_t Max) {
  if (!ImageList) return false;
  static const QStringList kPictures = {"*.png", "*.svg", "*.svgz", "*.xpm", "*.ico", "*.bmp", "*.gif", "*.jpg", "*.jpeg"};
  const std::size_t before = ImageList->size();
  const QStringList files = QDir(Folder).entryList(kPictures, QDir::Files | QDir::Readable, QDir::Name);
  for (const QString& name : files) {
    if (ImageList->size() >= Max) break;
    std::vector<QImage> icons;
    if (!CollectFileIcons(QDir(Folder).filePath(name), &icons)) continue;
    for (QImage& icon : icons) {
      if (ImageList->size() >= Max) break;
      ImageList->push_back(std::move(icon));
    }
  }
  return ImageList->size() > before;
}

QStringList DesktopIconFolders() {
  QStringList roots;
  const QString home = qEnvironmentVariable("XDG_DATA_HOME");
  roots << (home.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : home);
  QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
  if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");
  roots << dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts);
  const auto holdsFiles = [](const QString& folder) {
    return !QDir(folder).entryList(QDir::Files | QDir::Readable).isEmpty();
  };
  QStringList out;
  for (const QString& root : roots) {
    for (const char* sub : {"/icons/hicolor/32x32/apps", "/icons/hicolor/48x48/apps", "/icons/hicolor/scalable/apps"}) {
      const QString folder = QDir::cleanPath(root + QLatin1String(sub));
      if (holdsFiles(folder)) {
        if (!out.contains(folder)) out << folder;
        break;
      }
    }
    const QString pixmaps = QDir::cleanPath(root + QStringLiteral("/pixmaps"));
    if (holdsFiles(pixmaps) && !out.contains(pixmaps)) out << pixmaps;
  }
  return out;
}
