#include "calendar/MDataDM.h"

TMData* MData = nullptr;
TMLang* MLang = nullptr;

const QString kLanguageDocType = QStringLiteral("Kel Voro Language");

// ---------------------------------------------------------------------------------------------
// TMData

const ClassInfo& TMData::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMData>("TMData", &TComponent::StaticClass()).Build();
  return ci;
}

TMData::TMData(TComponent* owner) : TComponent(owner) {
  SetName(QStringLiteral("MData"));
  const auto make = [this](const char* name) {
    auto* s = new TKVStoredStream(this);
    s->SetName(QString::fromLatin1(name));
    s->Compressed = true;
    s->SetBytes(BuiltinDataBlock(s->Name()));
    return s;
  };
  DefaultSkin = make("DefaultSkin");
  DefaultLayouts = make("DefaultLayouts");
  HelpStream = make("HelpStream");
  AboutStream = make("AboutStream");
  HolidayStream = make("HolidayStream");
}

void TMData::DataModuleCreate() {
  delete MLang;
  MLang = new TMLang(nullptr, this);
  MLang->ResetDefaults();
}

// ---------------------------------------------------------------------------------------------
// TMLang

const ClassInfo& TMLang::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TMLang>("TMLang", &TKVXSkinIni::StaticClass())
                                  .Obj("Language", [](TMLang& l) -> TPersistent* { return &l.Language; })
                                  .Obj("HelpStream", [](TMLang& l) -> TPersistent* { return &l.HelpStream; })
                                  .Obj("AboutStream", [](TMLang& l) -> TPersistent* { return &l.AboutStream; })
                                  .Obj("HolidayStream", [](TMLang& l) -> TPersistent* { return &l.HolidayStream; })
                                  .Build();
  return ci;
}

TMLang::TMLang(TComponent* owner, TMData* DataModule) : TKVXSkinIni(owner), data_(DataModule) {
  SetName(QStringLiteral("MLang"));
  HelpStream.Compressed = AboutStream.Compressed = HolidayStream.Compressed = true;
}

void TMLang::ResetDefaults() {
  TMData* d = data_ ? data_ : MData;
  // A second reset replaces the contents rather than appending to them.
  HelpStream.SetBytes(d ? d->HelpStream->Bytes() : QByteArray());
  AboutStream.SetBytes(d ? d->AboutStream->Bytes() : QByteArray());
  HolidayStream.SetBytes(d ? d->HolidayStream->Bytes() : QByteArray());
  Language.Assign(LanguageResource());
}

int TMLang::CheckDocument(const QString& docType, int docVer) {
  return docType == kLanguageDocType && docVer == 1 ? 0 : 2;
}

void TMLang::SaveToStream(QIODevice& Stream, bool) {
  DocType = kLanguageDocType;
  DocVer = 1;
  TKVXSkinIni::SaveToStream(Stream, true);
}
