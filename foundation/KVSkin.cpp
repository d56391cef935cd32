#include "foundation/KVSkin.h"

#include <QTimer>
#include <algorithm>

#include "foundation/KVObjectText.h"
#include "foundation/KVPicture.h"
#include "foundation/KVString.h"

QString ExtractObjectBlock(const QStringList& Lines, const TComponent& Component) {
  const QString target = QStringLiteral("object ") + Component.Name() + QStringLiteral(": ") + Component.ClassName();
  QString result;
  int start = -1;
  for (int i = 0; i < Lines.size(); ++i) {
    const QString& l = Lines[i];
    if (!l.isEmpty() && l[0] == QLatin1Char('o') && l.startsWith(target, Qt::CaseInsensitive)) {
      start = i;
      break;
    }
  }
  if (start < 0) return result;
  for (int i = start; i < Lines.size(); ++i) {
    result += Lines[i] + QStringLiteral("\r\n");
    if (Lines[i].startsWith(QLatin1String("end"))) break;
  }
  return result;
}

TComponent& ReadSkinText(const QString& Text, TComponent& Component) {
  const TextObject block = ParseObjectText(Text);
  TReadHandlers handlers;
  handlers.onError = [](const QString&) { return true; };
  handlers.methodOwner = Component.Owner();
  ReadComponentFromText(Component, block, handlers);
  return Component;
}

// ---------------------------------------------------------------------------------------------
// TKVSkinComponentData

const ClassInfo& TKVSkinComponentData::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TKVSkinComponentData>("TKVSkinComponentData", &TPersistent::StaticClass())
          .Comp("AppSkin", [](const TKVSkinComponentData& d) -> TComponent* { return d.appSkin_; },
                [](TKVSkinComponentData& d, TComponent* c) {
                  if (c && !c->InheritsFrom(TAppSkin::StaticClass()))
                    throw EReadError(QStringLiteral("Invalid property value"));
                  d.SetAppSkin(static_cast<TAppSkin*>(c));
                })
          .Event("OnAfterLoad", &TKVSkinComponentData::OnAfterLoad)
          .Event("OnBeforeLoad", &TKVSkinComponentData::OnBeforeLoad)
          .Event("OwnerAfterLoad", &TKVSkinComponentData::OwnerAfterLoad)
          .Event("OwnerBeforeLoad", &TKVSkinComponentData::OwnerBeforeLoad)
          .Build();
  return ci;
}

TKVSkinComponentData::TKVSkinComponentData(TComponent* owner) : owner_(owner) {
  loading_ = true;
  SetAppSkin(&DefaultSkin());
  if (owner_ && owner_->Owner() && owner_->Owner()->IsForm()) formName_ = owner_->Owner()->Name();
  BindOwnerMethods();
  loading_ = false;
}

void TKVSkinComponentData::BindOwnerMethods() { BindCompLoadMethods(owner_, OwnerAfterLoad, OwnerBeforeLoad); }

TKVSkinComponentData::~TKVSkinComponentData() { SetAppSkin(nullptr); }

void TKVSkinComponentData::SetAppSkin(TAppSkin* skin) {
  if (skin == appSkin_) return;
  if (appSkin_) {
    auto& list = appSkin_->components_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  appSkin_ = skin;
  if (appSkin_) {
    appSkin_->components_.push_back(this);
    // The owner hears when the skin goes away, so it can fall back to the default skin.
    if (owner_ && appSkin_ != &DefaultSkin()) appSkin_->FreeNotification(owner_);
  }
}

void TKVSkinComponentData::TextLoaded(const QString&) {}

void TKVSkinComponentData::BeginLoad() {
  // A binding made inside its owner's constructor saw only the owner's base class; by the
  // first load the owner's own published methods are known.
  if (!ownerChecked_) {
    ownerChecked_ = true;
    BindOwnerMethods();
  }
  loading_ = true;
  BeforeLoad();
  OwnerBeforeLoad();
  OnBeforeLoad(this);
}

void TKVSkinComponentData::EndLoad() {
  AfterLoad();
  OwnerAfterLoad();
  OnAfterLoad(this);
  loading_ = false;
}

void TKVSkinComponentData::ReadBlock(const QString& block) {
  if (block.isEmpty()) return;
  try {
    ReadSkinText(block, *owner_);
  } catch (const EParserError&) {
    return;  // a malformed block from a package is skipped, never fatal
  }
  TextLoaded(block);
}

void TKVSkinComponentData::ApplyFormText(const QStringList& FormText) {
  BeginLoad();
  try {
    if (owner_) {
      if (appSkin_ && !appSkin_->Forms.empty()) {
        // A default block for the owner's class applies to every component of that class;
        // renaming it keeps the reading from renaming the owner "Default".
        const QString defaults =
            ReplaceAll(QStringLiteral("object Default: ") + owner_->ClassName(),
                       QStringLiteral("object ") + owner_->Name() + QStringLiteral(": ") + owner_->ClassName(),
                       appSkin_->Forms.front().text.join(QStringLiteral("\n")), false);
        ReadBlock(ExtractObjectBlock(defaults.split(QLatin1Char('\n')), *owner_));
      }
      ReadBlock(ExtractObjectBlock(FormText, *owner_));
    }
  } catch (...) {
    EndLoad();
    throw;
  }
  EndLoad();
}

// ---------------------------------------------------------------------------------------------
// TAppSkin

const ClassInfo& TAppSkin::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TAppSkin>("TAppSkin", &TComponent::StaticClass())
                                  .Event("OnLoadSkin", &TAppSkin::OnLoadSkin)
                                  .Build();
  return ci;
}

TAppSkin::TAppSkin(TComponent* owner) : TComponent(owner), animationTimer_(std::make_unique<QTimer>()) {
  animationTimer_->setInterval(50);
  PackStream.open(QIODevice::ReadWrite);
  PackReader.SetStream(&PackStream);
}

TAppSkin::~TAppSkin() {
  OnLoadSkin.Clear();
  Destroying();
  // Owners hear of the removal while this skin is still whole, so they can bind elsewhere.
  for (TKVSkinComponentData* c : std::vector<TKVSkinComponentData*>(components_))
    if (c->owner_ && c->appSkin_ == this) c->owner_->Notification(this, TOperation::opRemove);
  for (TKVSkinComponentData* c : components_) c->appSkin_ = nullptr;
  components_.clear();
}

const TAppSkin::Form* TAppSkin::FindForm(const QString& name) const {
  for (const Form& f : Forms)
    if (f.name.compare(name, Qt::CaseInsensitive) == 0) return &f;
  return nullptr;
}

namespace {
int ValueCount(const QStringList& values, const QString& name) {
  for (const QString& l : values)
    if (TextBefore(l, QStringLiteral("=")).trimmed().compare(name, Qt::CaseInsensitive) == 0)
      return std::max(0, StrToIntDef(TextAfter(l, QStringLiteral("=")).trimmed(), 0));
  return 0;
}

QStringList EntryLines(TKVResReader& r, int index) {
  QStringList lines = DecodeObjectTextBytes(r.ReadBuffer(index)).split(QLatin1Char('\n'));
  for (QString& l : lines)
    if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}
}  // namespace

void TAppSkin::LoadSkinPackage(QIODevice& stream) {
  Forms.clear();
  Images.Clear();
  Values.clear();
  TKVResReader reader;
  reader.SetStream(&stream);
  if (reader.ReadDirectory() && reader.Count() > 0) {
    try {
      Values = EntryLines(reader, 0);
    } catch (const EKVError&) {
    }
    PackStream.close();
    PackStream.setData(QByteArray());
    PackStream.open(QIODevice::ReadWrite);
    if (reader.Count() > 1) {
      try {
        reader.ReadToStream(1, PackStream, kMaxPictureDataSize);
      } catch (const EKVError&) {
        PackStream.buffer().clear();
      }
    }
    PackReader.ReadDirectory();
    // Counts are bounded by the entries the package really has.
    const int images = std::min(ValueCount(Values, QStringLiteral("imagescount")), std::max(0, reader.Count() - 2));
    const int forms =
        std::min(ValueCount(Values, QStringLiteral("formscount")), std::max(0, reader.Count() - 2 - images));
    for (int i = 0; i < images; ++i) {
      TKVBitmapList& strip = Images.Add();  // kept even when unreadable, so indices stay in place
      try {
        QBuffer b;
        b.setData(reader.ReadBuffer(2 + i, kMaxPictureDataSize));
        b.open(QIODevice::ReadOnly);
        strip.LoadFromStream(b);
      } catch (const EKVError&) {
      }
    }
    for (int i = 0; i < forms; ++i) {
      try {
        QStringList lines = EntryLines(reader, 2 + images + i);
        if (lines.isEmpty()) continue;
        const QString name = lines.takeFirst().trimmed();
        Forms.push_back({name, lines});
      } catch (const EKVError&) {
      }
    }
  }
  OnLoadSkin(this);
  ApplyForms();
  for (TKVSkinComponentData* c : std::vector<TKVSkinComponentData*>(components_)) c->SkinChanged();
}

void TAppSkin::ApplyForms() {
  for (TKVSkinComponentData* c : std::vector<TKVSkinComponentData*>(components_)) {
    if (c->FormName().isEmpty()) continue;
    const Form* f = FindForm(c->FormName());
    if (!f) continue;
    c->ApplyFormText(f->text);
  }
}

TAppSkin& DefaultSkin() {
  static TAppSkin* skin = new TAppSkin(nullptr);  // kept to process end: bindings refer to it
  return *skin;
}

// ---------------------------------------------------------------------------------------------
// TKVSkinIni

const ClassInfo& TKVSkinIni::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TKVSkinIni>("TKVSkinIni", &TComponent::StaticClass())
          .Obj("Skin", [](TKVSkinIni& s) -> TPersistent* { return s.skin_.get(); })
          .Build();
  return ci;
}

TKVSkinIni::TKVSkinIni(TComponent* owner) : TComponent(owner) {
  skin_ = std::make_unique<TKVSkinComponentData>(this);
}

TKVSkinIni::~TKVSkinIni() {
  Destroying();
  skin_.reset();
}

void TKVSkinIni::ApplyText(const QStringList& FormText) {
  ResetDefaults();
  skin_->ApplyFormText(FormText);
}

void TKVSkinIni::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && skin_ && component == skin_->AppSkin()) skin_->SetAppSkin(&DefaultSkin());
}
