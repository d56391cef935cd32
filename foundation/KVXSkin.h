#pragma once
// Component-text documents: a component whose published properties are saved as object text,
// plain or zlib-compressed, with a document type and version checked before a text is accepted.
#include <QIODevice>
#include <QString>
#include <memory>
#include <vector>

#include "foundation/KVClasses.h"

class TKVXSkinData;

enum TSkinLoadType { ldDefault, ldCustom, ldAll };
extern const EnumInfo kSkinLoadTypeEnum;

// The process-wide registry of document bindings.
class TAppXSkin : public TComponent {
  KV_CLASS(TAppXSkin)
 public:
  explicit TAppXSkin(TComponent* owner = nullptr);
  ~TAppXSkin() override;
  TNotifyEvent OnLoadSkin;
  const std::vector<TKVXSkinData*>& Registered() const { return registered_; }

 private:
  friend class TKVXSkinData;
  std::vector<TKVXSkinData*> registered_;
};

TAppXSkin& GlobalXSkin();

// Applies a text to its owner between BeginLoad and EndLoad.
class TKVXSkinData : public TPersistent {
  KV_CLASS(TKVXSkinData)
 public:
  explicit TKVXSkinData(TComponent* owner);
  ~TKVXSkinData() override;

  TComponent* Owner() const { return owner_; }
  TAppXSkin* AppSkin() const { return appSkin_; }
  virtual void SetAppSkin(TAppXSkin* skin);
  QString DefaultName;
  TSkinLoadType LoadType = ldDefault;
  TObjectProc OwnerAfterLoad, OwnerBeforeLoad;
  TNotifyEvent OnAfterLoad, OnBeforeLoad;
  bool Loading() const { return loading_; }

  virtual void TextLoaded(const QString&) {}
  // With Wrap the text's first line is made to name the owner, so a text saved under any name
  // and class loads into it. Raises EParserError on malformed text before changing anything.
  virtual void ApplyFormText(const QString& Text, bool Wrap);
  // Applies an already parsed block (its name and class are the owner's after wrapping).
  void ApplyFormObject(const TextObject& Block);
  // Parse options that read a text's first line as naming the owner, without copying the text.
  TextParseOptions WrapOptions() const;
  virtual void ApplyDefault(const QString&) {}
  virtual void BeginLoad();
  virtual void EndLoad();

 protected:
  virtual void BeforeLoadHook() {}
  virtual void AfterLoadHook() {}

 private:
  friend class TAppXSkin;
  TComponent* owner_;
  TAppXSkin* appSkin_ = nullptr;
  bool loading_ = false;
  bool ownerChecked_ = false;
};

class TKVXSkinComponent : public TComponent {
  KV_CLASS(TKVXSkinComponent)
 public:
  explicit TKVXSkinComponent(TComponent* owner = nullptr);
  ~TKVXSkinComponent() override;
  TKVXSkinData& Skin() { return *skin_; }
  void Notification(TComponent* component, TOperation operation) override;

 protected:
  std::unique_ptr<TKVXSkinData> skin_;
};

// What reading a document may cost (TextCost), by the size it was stored in: any file what a
// small one may, a larger one in proportion to its size. A saver stores a document so that its
// own next load takes it (TKVXSkinIni::SaveToStream).
// A file of 1 MB may cost 64 MB.
constexpr qint64 kDocumentBudgetFloor = qint64(60) * 1024 * 1024;
constexpr qint64 kDocumentBudgetPerStoredByte = 64;
qint64 DocumentLoadBudget(qint64 StoredBytes);

class TKVXSkinIni : public TKVXSkinComponent {
  KV_CLASS(TKVXSkinIni)
 public:
  explicit TKVXSkinIni(TComponent* owner = nullptr);

  QString DocType;
  int DocVer = 0;
  // Set when the last load did not take its text (unreadable, malformed, refused, wrong type,
  // larger than MaxTextSize).
  bool LoadFailed = false;
  // Set when the last load found the text damaged or cut short (a text that stops early, a
  // compressed stream that breaks off) and took what stood complete before the damage: the
  // properties before it and the whole items of the collection it cut. LoadError says where.
  bool LoadDamaged = false;
  // Set with LoadFailed when the text was refused for what reading it would take: more text than
  // MaxTextSize, or more than DocumentLoadBudget allows for the file's size.
  bool LoadTooLarge = false;
  QString LoadError;
  // The most bytes the document's text may have, compressed or not; larger texts are refused
  // before they are read whole, and a save that would write more is refused.
  virtual qint64 MaxTextSize() const;
  // What reading a file of StoredBytes may cost (DocumentLoadBudget).
  virtual qint64 LoadBudget(qint64 StoredBytes) const { return DocumentLoadBudget(StoredBytes); }
  // The most text a compressed file of StoredBytes may inflate to: MaxTextSize, or less where the
  // load budget of its size pays for less.
  qint64 MostInflatedText(qint64 StoredBytes) const;
  // What one item of the document's collection, and one line of its string lists, cost once
  // read (TextCost): the program builds more of them than the parse does.
  virtual qint64 ItemCost() const { return TextCost::kPerItem; }
  virtual qint64 ElementCost() const { return TextCost::kPerElement; }
  // The number of items of the document's collection; -1 for a document without one.
  virtual int ItemCount() const { return -1; }

  virtual void ResetDefaults() {}
  // 0: load the text as it is; 1: convert it; anything else: refuse it.
  virtual int CheckDocument(const QString& docType, int docVer);
  virtual void ConvertDocument(const QString&, int, const QString&) {}
  virtual void LoadFromStream(QIODevice& Stream);
  virtual void BeforeSave() {}
  // Writes what the next load takes back: compressed when asked, unless the text is too dense
  // to be read back from so few bytes, then plain. Raises ETextBudgetError, writing nothing, for
  // a text larger than MaxTextSize or one that even plain would cost more than it may.
  virtual void SaveToStream(QIODevice& Stream, bool Compress);
  // A missing file leaves the document as it is.
  void LoadFromFile(const QString& FileName);
  // Replaces the file atomically and owner-only; raises EFCreateError and leaves the old file
  // whole when it cannot be written.
  void SaveToFile(const QString& FileName, bool Compress);

  // The document's text as stored: plain object text, or inflated; sets LoadFailed when neither
  // (or, with LoadTooLarge, when it is larger than MaxTextSize or than the stream's size allows),
  // LoadDamaged when a compressed text breaks off (what came before is returned).
  QString ReadDocumentText(QIODevice& Stream);
  // The same text as stored bytes (Windows-1252), not yet decoded.
  QByteArray ReadDocumentBytes(QIODevice& Stream);
  static QString HeaderValue(const QString& Text, const QString& Name);

 protected:
  bool storing_ = true;  // the binding and the verify handler are never part of a saved text
  void ResetLoadState();
  void Refuse(const QString& Why);
  // Applies Text when parsing it costs no more than Budget (TextCost); Text is let go of once it
  // is parsed.
  void LoadDocumentText(QString Text, qint64 Budget);
};

using TKVXVerifyEvent = TEvent<void(TPersistent* Sender, const QString& Safe, bool& Accept)>;

class TKVXSkinSafeIni : public TKVXSkinIni {
  KV_CLASS(TKVXSkinSafeIni)
 public:
  explicit TKVXSkinSafeIni(TComponent* owner = nullptr) : TKVXSkinIni(owner) {}
  QString Safe;
  TKVXVerifyEvent OnVerify;
  void ResetDefaults() override { Safe.clear(); }
  // Loads only when OnVerify accepts the text's Safe value; otherwise nothing changes and
  // LoadFailed is set.
  void LoadFromStream(QIODevice& Stream) override;
};

// Gives back to the system the memory that the allocator keeps freed, also what a large
// document's parse left at the top of the arena of its own thread.
void KVGiveBackFreedMemory();
// Blocks of another thread's arena that this thread freed wait in its cache of freed blocks and
// serve its next allocations of their size; a text made in one then grows within that arena, so
// that the arena of a large parse ends up holding lasting texts and cannot be given back. Swaps
// what the cache holds for blocks of this thread's own arena.
void KVRenewThreadCache();
