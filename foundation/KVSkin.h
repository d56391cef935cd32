#pragma once
// Property text: finding a component's block in a longer text and reading it into the
// component; the settings base class; skins and the binding of components to them.
#include <QBuffer>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "foundation/KVBitmapList.h"
#include "foundation/KVClasses.h"
#include "foundation/KVRStream.h"

class QIODevice;
class QTimer;
class TAppSkin;

// "object Name: Class" up to the first line that starts with "end", CR LF after every line;
// empty when the component has no block in Lines.
QString ExtractObjectBlock(const QStringList& Lines, const TComponent& Component);

// Reads one object block into Component: unknown or ill-typed properties are skipped one by one;
// event names bind to the published methods of the component's owner. Malformed text raises
// EParserError and changes nothing.
TComponent& ReadSkinText(const QString& Text, TComponent& Component);

// The binding of a component to a skin: form texts of the skin are applied to its owner.
class TKVSkinComponentData : public TPersistent {
  KV_CLASS(TKVSkinComponentData)
 public:
  explicit TKVSkinComponentData(TComponent* owner);
  ~TKVSkinComponentData() override;

  TComponent* Owner() const { return owner_; }
  TAppSkin* AppSkin() const { return appSkin_; }
  virtual void SetAppSkin(TAppSkin* skin);
  // The form whose text the skin applies to the owner; empty when there is none.
  virtual QString FormName() const { return formName_; }
  bool Loading() const { return loading_; }

  TNotifyEvent OnAfterLoad;
  TNotifyEvent OnBeforeLoad;
  TObjectProc OwnerAfterLoad;
  TObjectProc OwnerBeforeLoad;

  // Called with every block read into the owner.
  virtual void TextLoaded(const QString& block);
  // The form's default block for the owner's class (from the skin's first form text), then the
  // owner's own block from FormText, between BeginLoad and EndLoad. A block that cannot be parsed
  // is skipped.
  virtual void ApplyFormText(const QStringList& FormText);
  virtual void BeginLoad();
  virtual void EndLoad();
  // Called after a new package was applied; skinned controls repaint here.
  virtual void SkinChanged() {}

 protected:
  virtual void BeforeLoad() {}
  virtual void AfterLoad() {}
  void SetLoading(bool on) { loading_ = on; }
  void BindOwnerMethods();
  void ReadBlock(const QString& block);

 private:
  friend class TAppSkin;
  TComponent* owner_;
  TAppSkin* appSkin_ = nullptr;
  QString formName_;
  bool loading_ = true;
  bool ownerChecked_ = false;
};

// A skin: values, image strips and one property text per form, applied to every bound component.
class TAppSkin : public TComponent {
  KV_CLASS(TAppSkin)
 public:
  explicit TAppSkin(TComponent* owner = nullptr);
  ~TAppSkin() override;

  // Entry 0 of the package: name=value lines ("imagescount", "formscount").
  QStringList Values;
  // One bitmap strip per image entry, in package order.
  TKVBitmapObjectList Images;
  // Form names and their property texts, in package order; form 0 may hold default blocks.
  struct Form {
    QString name;
    QStringList text;
  };
  std::vector<Form> Forms;
  // Entry 1 of the package, a nested pack, kept with its directory read.
  QBuffer PackStream;
  TKVResReader PackReader;
  TNotifyEvent OnLoadSkin;

  const std::vector<TKVSkinComponentData*>& Components() const { return components_; }
  const Form* FindForm(const QString& name) const;
  // Reads a skin package from the stream's start and applies its forms to every binding. A strip
  // that cannot be read stays empty and a form block that cannot be parsed is skipped.
  void LoadSkinPackage(QIODevice& stream);
  // Applies each registered binding's form text, in registration order.
  void ApplyForms();
  // Steps of skin animations; never started by this program.
  QTimer& AnimationTimer() { return *animationTimer_; }

 private:
  friend class TKVSkinComponentData;
  std::vector<TKVSkinComponentData*> components_;
  std::unique_ptr<QTimer> animationTimer_;
};

// The skin every binding starts with; exists for the whole run.
TAppSkin& DefaultSkin();

// Base of the settings objects: published settings filled from property text after a reset.
class TKVSkinIni : public TComponent {
  KV_CLASS(TKVSkinIni)
 public:
  explicit TKVSkinIni(TComponent* owner = nullptr);
  ~TKVSkinIni() override;

  TKVSkinComponentData& Skin() { return *skin_; }
  const TKVSkinComponentData& Skin() const { return *skin_; }

  virtual void ResetDefaults() {}
  virtual void LoadSettings() {}
  virtual void SaveSettings() {}
  // ResetDefaults, then the form text through the skin binding.
  virtual void ApplyText(const QStringList& FormText);

  void Notification(TComponent* component, TOperation operation) override;

 private:
  std::unique_ptr<TKVSkinComponentData> skin_;
};
