#pragma once
// The diary password block: up to two short texts hidden in 10,000 random bytes at strided
// positions and scrambled with a fixed byte table. The program writes it and never reads it.
#include <QByteArray>
#include <QRandomGenerator>
#include <QString>

constexpr int kPasswordBlockSize = 10000;
extern const QString kPasswordFileName;  // "config.dat" in the program folder
// The fixed marker text (248 letters and digits) and scramble table (195 bytes).
extern const QByteArray kPasswordMarker;
extern const QByteArray kPasswordXorTable;

// Random filler 1 .. 253, a random offset o = 17 .. 47 at position 13 (1-based), the marker at
// 21k + o, Text1 at 5229 + o + 21k and Text2 at 7350 + o + 21k (k from 1; each text padded with
// blanks to 100 bytes, longer texts cut), then every byte XORed with the table, repeated.
// Texts are taken as UTF-8 bytes. Rng: the generator to draw from (one started from the clock when null).
void ScramblePasswordBlock(const QString& Text1, const QString& Text2, const QByteArray& Marker, QByteArray& Block,
                           QRandomGenerator* Rng = nullptr);

// Writes the block for Password into FileName, atomically and readable by the owner only; an
// empty password deletes the file instead. A file that hides Password already is left as it is. False when the file cannot be written or deleted;
// Reason then gets the system's reason.
bool WritePasswordFile(const QString& FileName, const QString& Password, QString* Reason = nullptr);
