#include "calendar/encr.h"

#include <QDateTime>
#include <QFile>

#include "platform/KVError.h"
#include "platform/KVSafeSave.h"

const QString kPasswordFileName = QStringLiteral("config.dat");

const QByteArray kPasswordMarker = QByteArrayLiteral(
    "m0xVQzJXtw3XVBOsrT5mH3DaWvTrmFLHBMUAPTT0aZN0dnruqXa71P2tD8vkQXRYO1NiJ7brD03q2YBV097shZXGqa6tcVy4DHkmLrDzq9qS"
    "txuUsNh6AV1iB8PP1XXxhu0bsCjxJ675EvQ30xyQAnudQn9nIFP28UWcdYDESOKf5nsaLLSnDv40j599DtczwzyVrszEYX4aG8sSAXtMKNU"
    "J64ax6vm2EWmUby6RFnCakeiouTTyPati");

namespace {
const unsigned char kTable[195] = {
    0x53, 0x2D, 0x9B, 0x9B, 0x71, 0x58, 0xDE, 0xC4, 0xBE, 0x62, 0xD8, 0xEC, 0x0D, 0x7E, 0x03, 0x36, 0xBA, 0x44,
    0xA1, 0xB0, 0x79, 0xE8, 0xDA, 0x0B, 0x1F, 0x37, 0xE0, 0x5E, 0x0E, 0x10, 0x8E, 0x1B, 0xD6, 0x91, 0x67, 0x00,
    0xE5, 0x91, 0x5E, 0x5D, 0x82, 0xC2, 0x15, 0x54, 0x32, 0x03, 0xAB, 0x4C, 0x92, 0x35, 0xA7, 0xFE, 0xBD, 0xB0,
    0x81, 0xBF, 0x6F, 0x47, 0xC8, 0xB3, 0x50, 0x89, 0x05, 0xF7, 0xA2, 0xCC, 0x23, 0x7C, 0xCD, 0xDD, 0x87, 0x94,
    0x91, 0x55, 0xEF, 0xF7, 0xEC, 0xB7, 0xA5, 0x9E, 0x05, 0x3D, 0x24, 0x01, 0x56, 0x03, 0xD6, 0x04, 0x9A, 0xCE,
    0x5B, 0x8A, 0x98, 0x2E, 0x54, 0x0F, 0x3E, 0xE7, 0x18, 0x26, 0xB4, 0x44, 0x76, 0xF2, 0xA3, 0x48, 0x26, 0xFD,
    0x96, 0x35, 0xCF, 0xE4, 0xAC, 0xFA, 0x26, 0xFE, 0xF3, 0xB9, 0xFD, 0x30, 0xED, 0x03, 0xB3, 0x67, 0xEC, 0x9C,
    0xAF, 0xB1, 0xA3, 0x4F, 0x55, 0xED, 0xE6, 0x61, 0xE3, 0xB3, 0xC5, 0x57, 0x78, 0xF5, 0x45, 0x58, 0x97, 0x04,
    0x69, 0x4F, 0x15, 0xEA, 0x13, 0xF5, 0x0A, 0x3E, 0x71, 0x82, 0x60, 0x04, 0xCA, 0xF6, 0x2D, 0x98, 0xAF, 0xE2,
    0x3F, 0x6A, 0x5A, 0x6C, 0x3D, 0xDC, 0x83, 0xBC, 0x61, 0xD4, 0xA6, 0x20, 0x5C, 0xA2, 0x43, 0x3B, 0xAE, 0x80,
    0x44, 0x6C, 0xE4, 0xBE, 0x3F, 0x18, 0xE4, 0x72, 0xEB, 0xA8, 0x48, 0x62, 0x86, 0xCD, 0x61};
}  // namespace

const QByteArray kPasswordXorTable = QByteArray::fromRawData(reinterpret_cast<const char*>(kTable), sizeof kTable);

void ScramblePasswordBlock(const QString& Text1, const QString& Text2, const QByteArray& Marker, QByteArray& Block,
                           QRandomGenerator* Rng) {
  QRandomGenerator clockRng{quint32(QDateTime::currentMSecsSinceEpoch())};
  QRandomGenerator& rng = Rng ? *Rng : clockRng;
  Block.resize(kPasswordBlockSize);
  // Positions below are 1-based, as the layout is described.
  const auto at = [&Block](int pos) -> char& { return Block[pos - 1]; };
  for (int i = 1; i <= kPasswordBlockSize; ++i) at(i) = char(rng.bounded(253) + 1);
  const int o = int(rng.bounded(31)) + 17;
  at(13) = char(o);
  for (int k = 1; k <= 248 && k <= Marker.size(); ++k) at(21 * k + o) = Marker[k - 1];
  const auto putText = [&](const QString& text, int base) {
    const QByteArray bytes = text.toUtf8().left(100).leftJustified(100, ' ');
    for (int k = 1; k <= 100; ++k) at(base + o + 21 * k) = bytes[k - 1];
  };
  putText(Text1, 5229);
  putText(Text2, 7350);
  for (int i = 0; i < kPasswordBlockSize; ++i) Block[i] = char(Block[i] ^ kTable[i % 195]);
}

namespace {

// The file is a block that hides Password (so that writing it again would change nothing but the
// random filler).
bool FileHidesPassword(const QString& FileName, const QString& Password) {
  QFile file(FileName);
  if (!file.open(QIODevice::ReadOnly) || file.size() != kPasswordBlockSize) return false;
  QByteArray block = file.readAll();
  if (block.size() != kPasswordBlockSize) return false;
  for (int i = 0; i < kPasswordBlockSize; ++i) block[i] = char(block[i] ^ kTable[i % 195]);
  const auto at = [&block](int pos) { return block[pos - 1]; };
  const int o = static_cast<unsigned char>(at(13));
  if (o < 17 || o > 47) return false;
  for (int k = 1; k <= 248 && k <= kPasswordMarker.size(); ++k)
    if (at(21 * k + o) != kPasswordMarker[k - 1]) return false;
  const QByteArray bytes = Password.toUtf8().left(100).leftJustified(100, ' ');
  for (int k = 1; k <= 100; ++k)
    if (at(5229 + o + 21 * k) != bytes[k - 1] || at(7350 + o + 21 * k) != ' ') return false;
  return true;
}

}  // namespace

bool WritePasswordFile(const QString& FileName, const QString& Password, QString* Reason) {
  if (Password.isEmpty()) {
    QFile file(FileName);
    if (!file.exists() || file.remove()) return true;
    if (Reason) *Reason = file.errorString();
    return false;
  }
  if (FileHidesPassword(FileName, Password)) return true;
  QByteArray block;
  ScramblePasswordBlock(Password, QString(), kPasswordMarker, block);
  try {
    SafeSaveBytes(FileName, block, true);
    return true;
  } catch (const EKVError& e) {
    if (Reason) *Reason = e.Reason();
    return false;
  }
}
