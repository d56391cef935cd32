#pragma once
#include <QTextListFormat>
// Shared pieces of the rich-text model over QTextDocument: our own format properties, the
// layout resolution, the code pages of the Windows character sets and the link finder.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QTextFormat>
#include <memory>

class QPaintDevice;
class QTextDocument;

// Format properties the rich-edit model needs beyond Qt's own.
enum TKVRichProperty : int {
  // character
  kvpCharset = QTextFormat::UserProperty + 0x4B00,  // int: Windows character set of the run's font
  kvpPitchFamily,                                   // int: pitch (bits 0-1) and family (bits 4-7)
  kvpProtected,                                     // bool
  kvpFieldInst,                                     // QString: instruction of the enclosing field
  // paragraph, in twips as RTF keeps them (\fi, \li, \ri)
  kvpFirstIndentTw,
  kvpLeftIndentTw,
  kvpRightIndentTw,
  // list format
  kvpNumbering,    // int: 1 bullet, 2 arabic, 3 lower letter, 4 upper letter, 5 lower roman, 6 upper roman
  kvpNumberStart,  // int
  // picture objects
  kvpPicImage,     // QImage shown; null draws a frame
  kvpPicData,      // QByteArray: PNG or JPEG data written for a new or changed picture
  kvpPicDataJpeg,  // bool: kvpPicData holds JPEG
  kvpPicRaw,       // QByteArray: the RTF group as read, written back while unchanged
  kvpPicWidthTw,   // int: shown width in twips
  kvpPicHeightTw,  // int
  kvpPicId,        // int: unique per picture, keeps formats apart
  kvpPicClass,     // QString: class name of a kept object group, empty for a picture
  // character, beyond Qt's single underline
  kvpUnderlineKind,  // int: index in KVUnderlineWords of an underline other than the single one
};

// The RTF words of the underline kinds, the single underline ("ul") first. Qt draws them all as
// a single line; the kind travels in kvpUnderlineKind so that a round trip keeps it.
const QList<QByteArray>& KVUnderlineWords();
// The kind of an underline word, -1 when Word is none.
int KVUnderlineKind(QByteArrayView word);

// The object type of pictures (and kept object groups) in our documents.
constexpr int KVPictureObjectType = QTextFormat::UserObject + 0x4B;

// Rich-edit paragraph numbering values.
enum TKVNumbering { nbNone = 0, nbBullet = 1, nbArabic = 2, nbLowerLetter = 3, nbUpperLetter = 4,
                    nbLowerRoman = 5, nbUpperRoman = 6 };
// The list format of a numbering, without indent; numbered lists get Before and After around the
// number.
QTextListFormat KVListFormat(int numbering, const QString& before = QString(),
                             const QString& after = QStringLiteral("."));

// Documents are laid out at 96 pixels per inch (15 twips per pixel) whatever the target; painting
// scales from there, so layout and painting always agree.
constexpr int KVLayoutDpi = 96;
constexpr double KVTwipsPerPixel = 1440.0 / KVLayoutDpi;
// A paint device of KVLayoutDpi for QTextDocument layouts.
QPaintDevice* KVLayoutDevice();
// Gives the document our layout resolution, default tab stops and picture handler.
void KVPrepareDocument(QTextDocument& doc);

// Code page of a Windows character set (\fcharset); AnsiCodePage for DEFAULT_CHARSET;
// 0 for SYMBOL_CHARSET.
int KVCharsetCodePage(int charset, int ansiCodePage);
// The character set that matches a code page, 0 (ANSI) when none does.
int KVCodePageCharset(int codePage);

// One 8-bit or double-byte Windows code page. Unknown code pages fall back to 1252.
class TKVCodePage {
 public:
  static const TKVCodePage& Get(int codePage);
  int CodePage() const { return cp_; }
  bool IsDoubleByte() const { return dbcs_; }
  bool IsLeadByte(unsigned char b) const { return dbcs_ && lead_[b]; }
  // True when bytes 0x20..0x7E are ASCII.
  bool AsciiCompatible() const { return cp_ != 0 && cp_ != 42; }
  char16_t Byte(unsigned char b) const { return table_[b]; }
  // A lead and trail byte; U+FFFD when the pair means nothing.
  QString Pair(unsigned char lead, unsigned char trail) const;
  // The bytes of Ch in this code page; empty when it has none.
  QByteArray Encode(char16_t ch) const;

  explicit TKVCodePage(int codePage);
  ~TKVCodePage();

 private:
  struct Impl;
  int cp_;
  bool dbcs_ = false;
  bool lead_[256] = {};
  char16_t table_[256] = {};
  std::unique_ptr<Impl> impl_;
};

// Links that the editor marks by itself: scheme URLs ("http:", "mailto:" ...) and "www." names.
struct TKVLinkRange {
  int Start = 0, Length = 0;
};
QList<TKVLinkRange> KVFindLinks(const QString& text);
// The target of a HYPERLINK field instruction; empty when the instruction is none.
QString KVHyperlinkTarget(const QString& instruction);
