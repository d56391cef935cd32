#pragma once
// The program's built-in content: the built-in layout pack, the help and about texts (rich text)
// and the default holiday document, carried inside the program; and the language document that
// gathers them with a copy of the language table.
#include <QByteArray>
#include <QString>

#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "foundation/KVXSkin.h"

constexpr qint32 kLayoutPackVersion = 0x564B0069;
constexpr qint32 kLayoutEntryKind = 3, kLayoutEntryKindCompressed = -3;

// The blocks compiled into the program by name ("DefaultLayouts", "HelpStream", "AboutStream",
// "HolidayStream"); empty for a name the program does not carry.
QByteArray BuiltinDataBlock(const QString& Name);

// The data module: one stored stream per built-in block.
class TMData : public TComponent {
  KV_CLASS(TMData)
 public:
  explicit TMData(TComponent* owner = nullptr);
  TKVStoredStream* DefaultSkin;
  TKVStoredStream* DefaultLayouts;
  TKVStoredStream* HelpStream;
  TKVStoredStream* AboutStream;
  TKVStoredStream* HolidayStream;
  // Creates the global language document and fills it.
  void DataModuleCreate();
};

extern const QString kLanguageDocType;

class TMLang : public TKVXSkinIni {
  KV_CLASS(TMLang)
 public:
  // DataModule: where ResetDefaults takes the streams from (the global one when null).
  explicit TMLang(TComponent* owner = nullptr, TMData* DataModule = nullptr);
  TKVLanguageResource Language;
  TKVStreamProp HelpStream, AboutStream, HolidayStream;
  // The data module's streams replace the stream properties' contents; the global language
  // table is copied into Language.
  void ResetDefaults() override;
  int CheckDocument(const QString& docType, int docVer) override;
  // Always compressed.
  void SaveToStream(QIODevice& Stream, bool Compress) override;

 private:
  TMData* data_;
};

extern TMData* MData;
extern TMLang* MLang;
