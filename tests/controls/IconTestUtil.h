#pragma once
// Icon and Windows program files built byte by byte for the icon reader's tests.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <functional>
#include <vector>

namespace icontest {

inline void Put16(QByteArray& b, int v) {
  b.append(char(v & 255));
  b.append(char((v >> 8) & 255));
}
inline void Put32(QByteArray& b, quint32 v) {
  for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 255));
}
inline void Set32(QByteArray& b, int at, quint32 v) {
  for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 255);
}
inline void Set16(QByteArray& b, int at, int v) {
  b[at] = char(v & 255);
  b[at + 1] = char((v >> 8) & 255);
}

// A device-independent bitmap as icons hold it: colour rows, then the AND mask (bit set: hidden),
// both bottom-up. Bits 1, 4 or 8 use a palette of Colour at index 1 and black at 0; Hidden
// marks the pixels the mask hides (x < HiddenColumns on every row).
inline QByteArray Dib(int w, int h, int bits, QRgb colour, int hiddenColumns = 0, bool withMask = true) {
  QByteArray b;
  Put32(b, 40);
  Put32(b, quint32(w));
  Put32(b, quint32(h * 2));
  Put16(b, 1);
  Put16(b, bits);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  if (bits <= 8) {
    for (int i = 0; i < (1 << bits); ++i) {
      const QRgb c = i == 1 ? colour : qRgb(0, 0, 0);
      b.append(char(qBlue(c)));
      b.append(char(qGreen(c)));
      b.append(char(qRed(c)));
      b.append(char(0));
    }
  }
  const int xorStride = ((w * bits + 31) / 32) * 4;
  for (int y = 0; y < h; ++y) {
    QByteArray row(xorStride, 0);
    for (int x = 0; x < w; ++x) {
      if (bits == 32) {
        row[x * 4] = char(qBlue(colour));
        row[x * 4 + 1] = char(qGreen(colour));
        row[x * 4 + 2] = char(qRed(colour));
        row[x * 4 + 3] = char(x < hiddenColumns ? 0 : qAlpha(colour));
      } else if (bits == 24) {
        row[x * 3] = char(qBlue(colour));
        row[x * 3 + 1] = char(qGreen(colour));
        row[x * 3 + 2] = char(qRed(colour));
      } else {
        const int perByte = 8 / bits;
        row[x / perByte] = char(row[x / perByte] | (1 << (8 - bits * (x % perByte + 1))));
      }
    }
    b += row;
  }
  if (withMask) {
    const int andStride = ((w + 31) / 32) * 4;
    for (int y = 0; y < h; ++y) {
      QByteArray row(andStride, 0);
      for (int x = 0; x < hiddenColumns; ++x) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
      b += row;
    }
  }
  return b;
}

inline QByteArray Png(int w, int h, QRgb colour) {
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(colour);
  QByteArray b;
  QBuffer buf(&b);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, "PNG");
  return b;
}

struct Picture {
  QByteArray data;
  int side;
  int bits;
};

// The first 12 bytes of a directory entry of a picture, in an icon file or an icon group.
inline void PutEntry(QByteArray& b, int side, int bits, qint64 bytes) {
  b.append(char(side >= 256 ? 0 : side));
  b.append(char(side >= 256 ? 0 : side));
  b.append(char(0));
  b.append(char(0));
  Put16(b, 1);
  Put16(b, bits);
  Put32(b, quint32(bytes));
}

// An icon file holding the pictures in order.
inline QByteArray Ico(const std::vector<Picture>& pictures) {
  QByteArray b;
  Put16(b, 0);
  Put16(b, 1);
  Put16(b, int(pictures.size()));
  quint32 offset = quint32(6 + 16 * pictures.size());
  for (const Picture& p : pictures) {
    PutEntry(b, p.side, p.bits, p.data.size());
    Put32(b, offset);
    offset += quint32(p.data.size());
  }
  for (const Picture& p : pictures) b += p.data;
  return b;
}

// A Windows program file whose only section (at RVA 0x1000) is the resource section R.
inline QByteArray PeFile(QByteArray r, bool plus = false) {
  constexpr quint32 kVa = 0x1000, kRaw = 0x200;
  while (r.size() % 0x200) r.append(char(0));

  const int optSize = plus ? 240 : 224;
  QByteArray f(int(kRaw), 0);
  f[0] = 'M';
  f[1] = 'Z';
  Set32(f, 0x3C, 0x40);
  f.replace(0x40, 4, QByteArray("PE\0\0", 4));
  Set16(f, 0x44, plus ? 0x8664 : 0x14c);
  Set16(f, 0x46, 1);  // one section
  Set16(f, 0x54, optSize);
  Set16(f, 0x56, 0x2102);
  const int opt = 0x58;
  Set16(f, opt, plus ? 0x20b : 0x10b);
  const int countAt = opt + (plus ? 108 : 92);
  Set32(f, countAt, 16);
  Set32(f, countAt + 4 + 16, kVa);
  Set32(f, countAt + 4 + 20, quint32(r.size()));
  const int section = opt + optSize;
  f.replace(section, 5, ".rsrc");
  Set32(f, section + 8, quint32(r.size()));
  Set32(f, section + 12, kVa);
  Set32(f, section + 16, quint32(r.size()));
  Set32(f, section + 20, kRaw);
  return f + r;
}

// The resource section of N icons (ids 1..N) and G icon groups (ids 1..G) over the data entries
// Payloads: icon i takes data entry i, group i the data entry GroupData(i).
inline QByteArray ResourceSection(int n, int g, const std::function<int(int)>& groupData,
                                  const std::vector<QByteArray>& payloads) {
  constexpr quint32 kVa = 0x1000;
  const int m = int(payloads.size());
  const quint32 iconDir = 32, groupDir = iconDir + 16 + 8 * n;
  const quint32 langDirs = groupDir + 16 + 8 * g;
  const quint32 dataEntries = langDirs + 24 * m;
  std::vector<quint32> at;
  quint32 pos = dataEntries + 16 * m;
  for (const QByteArray& p : payloads) {
    at.push_back(pos);
    pos += quint32((p.size() + 3) & ~3);
  }
  QByteArray r;
  const auto header = [&r](int ids) {
    Put32(r, 0);
    Put32(r, 0);
    Put16(r, 0);
    Put16(r, 0);
    Put16(r, 0);
    Put16(r, ids);
  };
  header(2);
  Put32(r, 3);
  Put32(r, 0x80000000u | iconDir);
  Put32(r, 14);
  Put32(r, 0x80000000u | groupDir);
  header(n);
  for (int i = 0; i < n; ++i) {
    Put32(r, quint32(i + 1));
    Put32(r, 0x80000000u | (langDirs + 24 * i));
  }
  header(g);
  for (int i = 0; i < g; ++i) {
    Put32(r, quint32(i + 1));
    Put32(r, 0x80000000u | (langDirs + 24 * groupData(i)));
  }
  for (int k = 0; k < m; ++k) {
    header(1);
    Put32(r, 1033);
    Put32(r, dataEntries + 16 * k);
  }
  for (int k = 0; k < m; ++k) {
    Put32(r, kVa + at[size_t(k)]);
    Put32(r, quint32(payloads[size_t(k)].size()));
    Put32(r, 0);
    Put32(r, 0);
  }
  for (const QByteArray& p : payloads) {
    r += p;
    while (r.size() % 4) r.append(char(0));
  }
  return r;
}

// A Windows program file whose only section holds icon groups: RT_ICON ids 1..N in the order
// of the groups' pictures, RT_GROUP_ICON ids 1..G. Plus: a 64-bit optional header.
inline QByteArray Pe(const std::vector<std::vector<Picture>>& groups, bool plus = false) {
  std::vector<const Picture*> icons;
  for (const auto& g : groups)
    for (const Picture& p : g) icons.push_back(&p);
  const int n = int(icons.size()), g = int(groups.size());
  // Payloads: the pictures, then the group directories.
  std::vector<QByteArray> payloads;
  for (const Picture* p : icons) payloads.push_back(p->data);
  int id = 1;
  for (const auto& group : groups) {
    QByteArray d;
    Put16(d, 0);
    Put16(d, 1);
    Put16(d, int(group.size()));
    for (const Picture& p : group) {
      PutEntry(d, p.side, p.bits, p.data.size());
      Put16(d, id++);
    }
    payloads.push_back(d);
  }
  return PeFile(ResourceSection(n, g, [n](int i) { return n + i; }, payloads), plus);
}

// A program file with one picture (icon 1) and Groups icon groups that all name one of Distinct
// group directories, each of Choices choices of that picture (as 32 x 32).
inline QByteArray PeSharedGroups(const QByteArray& picture, int choices, int groups, int distinct = 1) {
  QByteArray d;
  Put16(d, 0);
  Put16(d, 1);
  Put16(d, choices);
  for (int c = 0; c < choices; ++c) {
    PutEntry(d, 32, 32, picture.size());
    Put16(d, 1);
  }
  std::vector<QByteArray> payloads{picture};
  for (int k = 0; k < distinct; ++k) payloads.push_back(d);
  return PeFile(ResourceSection(1, groups, [distinct](int i) { return 1 + i % distinct; }, payloads));
}

}  // namespace icontest
