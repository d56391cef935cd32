#include "foundation/KVXSkin.h"

#include <QBuffer>
#include <QFile>
#include <algorithm>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "foundation/KVGraphics.h"
#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "foundation/KVZlib.h"
#include "platform/KVSafeSave.h"

const EnumInfo kSkinLoadTypeEnum{QStringLiteral("TSkinLoadType"),
                                 {QStringLiteral("ldDefault"), QStringLiteral("ldCustom"), QStringLiteral("ldAll")}};

// ---------------------------------------------------------------------------------------------
// TAppXSkin

const ClassInfo& TAppXSkin::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TAppXSkin>("TAppXSkin", &TComponent::StaticClass()).Event("OnLoadSkin", &TAppXSkin::OnLoadSkin).Build();
  return ci;
}

TAppXSkin::TAppXSkin(TComponent* owner) : TComponent(owner) {}

TAppXSkin::~TAppXSkin() {
  OnLoadSkin.Clear();
  Destroying();
  for (TKVXSkinData* d : std::vector<TKVXSkinData*>(registered_))
    if (d->owner_ && d->appSkin_ == this) d->owner_->Notification(this, TOperation::opRemove);
  for (TKVXSkinData* d : registered_) d->appSkin_ = nullptr;
  registered_.clear();
}

TAppXSkin& GlobalXSkin() {
  static TAppXSkin* skin = new TAppXSkin(nullptr);  // kept to process end: bindings refer to it
  return *skin;
}

// ---------------------------------------------------------------------------------------------
// TKVXSkinData

const ClassInfo& TKVXSkinData::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TKVXSkinData>("TKVXSkinData", &TPersistent::StaticClass())
          .Comp("AppSkin", [](const TKVXSkinData& d) -> TComponent* { return d.appSkin_; },
                [](TKVXSkinData& d, TComponent* c) {
                  if (c && !c->InheritsFrom(TAppXSkin::StaticClass()))
                    throw EReadError(QStringLiteral("Invalid property value"));
                  d.SetAppSkin(static_cast<TAppXSkin*>(c));
                })
          .Str("DefaultName", &TKVXSkinData::DefaultName)
          .Enum<TSkinLoadType>("LoadType", kSkinLoadTypeEnum, &TKVXSkinData::LoadType, ldDefault)
          .Event("OwnerAfterLoad", &TKVXSkinData::OwnerAfterLoad)
          .Event("OwnerBeforeLoad", &TKVXSkinData::OwnerBeforeLoad)
          .Event("OnAfterLoad", &TKVXSkinData::OnAfterLoad)
          .Event("OnBeforeLoad", &TKVXSkinData::OnBeforeLoad)
          .Build();
  return ci;
}

TKVXSkinData::TKVXSkinData(TComponent* owner) : owner_(owner) {
  SetAppSkin(&GlobalXSkin());
  if (owner_ && owner_->Owner() && owner_->Owner()->IsForm()) DefaultName = owner_->Owner()->Name();
}

TKVXSkinData::~TKVXSkinData() { SetAppSkin(nullptr); }

void TKVXSkinData::SetAppSkin(TAppXSkin* skin) {
  if (skin == appSkin_) return;
  if (appSkin_) {
    auto& l = appSkin_->registered_;
    l.erase(std::remove(l.begin(), l.end(), this), l.end());
  }
  appSkin_ = skin;
  if (appSkin_) {
    appSkin_->registered_.push_back(this);
    if (owner_ && appSkin_ != &GlobalXSkin()) appSkin_->FreeNotification(owner_);
  }
}

void TKVXSkinData::BeginLoad() {
  // Owners publish CompBeforeLoad/CompAfterLoad; the binding is made in the owner's constructor,
  // where only the base class is known, so the lookup waits for the first load.
  if (!ownerChecked_ && owner_) {
    ownerChecked_ = true;
    BindCompLoadMethods(owner_, OwnerAfterLoad, OwnerBeforeLoad);
  }
  loading_ = true;
  BeforeLoadHook();
  OwnerBeforeLoad();
  OnBeforeLoad(this);
}

void TKVXSkinData::EndLoad() {
  AfterLoadHook();
  OwnerAfterLoad();
  OnAfterLoad(this);
  loading_ = false;
}

TextParseOptions TKVXSkinData::WrapOptions() const {
  TextParseOptions o;
  if (owner_) {
    o.wrap = true;
    o.rootName = owner_->Name();
    o.rootClass = owner_->ClassName();
  }
  return o;
}

void TKVXSkinData::ApplyFormText(const QString& Text, bool Wrap) {
  if (!owner_) return;
  // Parse first: malformed text must change nothing.
  ApplyFormObject(ParseObjectText(Text, Wrap ? WrapOptions() : TextParseOptions()));
}

void TKVXSkinData::ApplyFormObject(const TextObject& Block) {
  if (!owner_) return;
  BeginLoad();
  try {
    if (LoadType == ldCustom || LoadType == ldAll) {
      TReadHandlers h;
      h.onError = [](const QString&) { return true; };
      h.methodOwner = owner_->Owner();
      ReadComponentFromText(*owner_, Block, h);
      TextLoaded(Block.name);
    }
  } catch (...) {
    EndLoad();
    throw;
  }
  EndLoad();
}

// ---------------------------------------------------------------------------------------------
// TKVXSkinComponent

const ClassInfo& TKVXSkinComponent::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVXSkinComponent>("TKVXSkinComponent", &TComponent::StaticClass())
                                  .Obj("Skin", [](TKVXSkinComponent& c) -> TPersistent* { return c.skin_.get(); })
                                  .Build();
  return ci;
}

TKVXSkinComponent::TKVXSkinComponent(TComponent* owner) : TComponent(owner) {
  skin_ = std::make_unique<TKVXSkinData>(this);
}

TKVXSkinComponent::~TKVXSkinComponent() {
  Destroying();
  skin_.reset();
}

void TKVXSkinComponent::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && !IsDestroying() && skin_ && component == skin_->AppSkin())
    skin_->SetAppSkin(&GlobalXSkin());
}

// ---------------------------------------------------------------------------------------------
// TKVXSkinIni

const ClassInfo& TKVXSkinIni::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TKVXSkinIni>("TKVXSkinIni", &TKVXSkinComponent::StaticClass())
          .Str("DocType", &TKVXSkinIni::DocType)
          .Int("DocVer", &TKVXSkinIni::DocVer)
          .Obj("Skin", [](TKVXSkinIni& d) -> TPersistent* { return d.skin_.get(); })
          .Stored([](const TKVXSkinIni& d) { return d.storing_; })
          .Build();
  return ci;
}

TKVXSkinIni::TKVXSkinIni(TComponent* owner) : TKVXSkinComponent(owner) { skin_->LoadType = ldCustom; }

int TKVXSkinIni::CheckDocument(const QString&, int) { return 0; }

qint64 TKVXSkinIni::MaxTextSize() const { return kMaxTextSize; }

qint64 DocumentLoadBudget(qint64 StoredBytes) {
  return std::max(kDocumentBudgetFloor, std::max<qint64>(StoredBytes, 0) * kDocumentBudgetPerStoredByte);
}

namespace {

// A quoted header value as the object text has it ('a''b'#39 ...), or the plain text.
QString UnquoteValue(const QString& v) {
  if (v.startsWith(QLatin1Char('\'')) || v.startsWith(QLatin1Char('#'))) {
    try {
      const TextObject o = ParseObjectText(QStringLiteral("object a: T\n  v = ") + v + QStringLiteral("\nend\n"));
      if (!o.props.empty() && o.props[0].value.type == TextValue::Type::String) return o.props[0].value.text.trimmed();
    } catch (const EParserError&) {
    }
    // A value cut short (a string continued on the next line): take what the quotes hold.
    QString r;
    for (qsizetype i = 1; i < v.size(); ++i) {
      if (v[i] == QLatin1Char('\'')) {
        if (i + 1 < v.size() && v[i + 1] == QLatin1Char('\'')) {
          r += QLatin1Char('\'');
          ++i;
          continue;
        }
        break;
      }
      r += v[i];
    }
    return r.trimmed();
  }
  return v.trimmed();
}

}  // namespace

QString TKVXSkinIni::HeaderValue(const QString& Text, const QString& Name) {
  const QStringView all(Text);
  qsizetype start = 0;
  while (start < all.size()) {
    qsizetype end = all.indexOf(QLatin1Char('\n'), start);
    if (end < 0) end = all.size();
    const QStringView line = all.mid(start, end - start);
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq >= 0 && line.left(eq).trimmed().compare(Name, Qt::CaseInsensitive) == 0)
      return line.mid(eq + 1).trimmed().toString();
    start = end + 1;
  }
  return {};
}

void TKVXSkinIni::ResetLoadState() {
  LoadFailed = false;
  LoadDamaged = false;
  LoadTooLarge = false;
  LoadError.clear();
}

void TKVXSkinIni::Refuse(const QString& Why) {
  LoadFailed = true;
  LoadDamaged = false;
  LoadTooLarge = true;
  LoadError = Why;
}

qint64 TKVXSkinIni::MostInflatedText(qint64 StoredBytes) const {
  // Each byte of text costs TextCost::kPerTextByte to read: no more text than the budget of the
  // stored size pays for comes out of it.
  return std::min(MaxTextSize(), LoadBudget(StoredBytes) / TextCost::kPerTextByte);
}

QByteArray TKVXSkinIni::ReadDocumentBytes(QIODevice& Stream) {
  const qint64 most = MaxTextSize();
  const qint64 paid = LoadBudget(Stream.size()) / TextCost::kPerTextByte;
  QBuffer out;
  try {
    Stream.seek(0);
    const QByteArray head = Stream.peek(6);
    QByteArray bytes;
    if (head == "object") {
      if (Stream.size() > most) {
        Refuse(QStringLiteral("The document is larger than %1 bytes").arg(most));
        return {};
      }
      bytes = Stream.readAll();
    } else {
      out.open(QIODevice::WriteOnly);
      try {
        ZDecompressStream(Stream, Stream.size(), out, MostInflatedText(Stream.size()));
      } catch (const EZlibBudgetError&) {
        Refuse(paid < most ? QStringLiteral("The document would take more to read than a file of %1 bytes may: "
                                            "more than %2 bytes of text")
                                 .arg(Stream.size())
                                 .arg(paid)
                           : QStringLiteral("The document holds more than %1 bytes of text").arg(most));
        return {};
      }
      bytes = out.data();
      out.close();
      out.setData(QByteArray());
    }
    return bytes;
  } catch (const EKVError& e) {
    // A compressed text that breaks off still holds everything before the break.
    if (out.data().startsWith("object")) {
      LoadDamaged = true;
      LoadError = e.Message();
      return out.data();
    }
    LoadFailed = true;
    LoadError = e.Message();
    return {};
  }
}

namespace {
// Texts from this many characters on are parsed on a thread of their own.
constexpr qsizetype kOwnArenaTextSize = 1 << 20;

// glibc's trim gives back the freed pages inside a thread's arena but not the free space at its
// top, which the last small frees of a parse may leave tens of MB large; a free of a block this
// large in the arena does shrink it. So each parse thread keeps one, freed after the trim.
constexpr size_t kArenaMarkSize = 96 * 1024;
std::mutex arenaMarksLock;
std::vector<void*> arenaMarks;

void FreeArenaMarks() {
  std::vector<void*> marks;
  {
    const std::lock_guard<std::mutex> lock(arenaMarksLock);
    marks.swap(arenaMarks);
  }
  for (void* mark : marks) std::free(mark);
}

void MarkThisThreadsArena() {
  FreeArenaMarks();
  if (void* mark = std::malloc(kArenaMarkSize)) {
    const std::lock_guard<std::mutex> lock(arenaMarksLock);
    arenaMarks.push_back(mark);
  }
}

}  // namespace

QString TKVXSkinIni::ReadDocumentText(QIODevice& Stream) { return DecodeObjectTextBytes(ReadDocumentBytes(Stream)); }

void TKVXSkinIni::LoadDocumentText(QString Text, qint64 Budget) {
  const QString type = UnquoteValue(HeaderValue(Text, QStringLiteral("DocType")));
  const int ver = StrToIntDef(HeaderValue(Text, QStringLiteral("DocVer")), 0);
  const int r = CheckDocument(type, ver);
  if (r == 0) {
    // Parsed before the document is emptied: a text that gives nothing changes nothing, nor does
    // one that would cost more than its budget.
    TextObject block;
    TextBudget budget{Budget, TextCost::OfText(Text.size())};
    TextParseOptions options = skin_->WrapOptions();
    options.budget = &budget;
    options.itemCost = ItemCost();
    options.elementCost = ElementCost();
    bool parsed = false;
    const auto parse = [&] {
      try {
        try {
          block = ParseObjectText(Text, options);
        } catch (const EParserError& e) {
          // A damaged text of this document's own type gives what stands before the damage.
          TextDamage damage;
          budget.used = TextCost::OfText(Text.size());
          try {
            block = ParseObjectTextPartial(Text, damage, options);
          } catch (const EParserError&) {
          }
          if (block.props.empty()) {
            LoadDamaged = false;
            LoadFailed = true;
            LoadError = e.Message();
            return;
          }
          LoadDamaged = true;
          LoadError = damage.message;
        }
      } catch (const ETextBudgetError& e) {
        Refuse(e.Message());
        return;
      }
      parsed = true;
    };
    if (Text.size() < kOwnArenaTextSize) {
      parse();
    } else {
      // The tree of a large text takes many times what the document keeps of it. Built on a
      // thread of its own, it lies in an allocator arena of its own, which is given back whole
      // once the tree is gone; in the program's heap the pieces that are kept would pin it.
      std::exception_ptr failure;
      std::thread([&] {
        try {
          MarkThisThreadsArena();
          parse();
        } catch (...) {
          failure = std::current_exception();
        }
      }).join();
      if (failure) std::rethrow_exception(failure);
    }
    if (!parsed) return;
    // What the tree holds is all that is needed now: a large text is many times the document.
    Text = QString();
    ResetDefaults();
    skin_->ApplyFormObject(block);
  } else if (r == 1) {
    ResetDefaults();
    ConvertDocument(type, ver, Text);
  } else if (LoadDamaged) {
    // A text that broke off before its type says nothing: unreadable, not of another kind.
    LoadDamaged = false;
    LoadFailed = true;
  } else {
    LoadFailed = true;
    LoadError = QStringLiteral("Not a document of this kind: %1").arg(type);
    ResetDefaults();
  }
}

void TKVXSkinIni::LoadFromStream(QIODevice& Stream) {
  ResetLoadState();
  const qint64 budget = LoadBudget(Stream.size());
  QString text = ReadDocumentText(Stream);
  if (!LoadFailed) LoadDocumentText(std::move(text), budget);
}

void TKVXSkinIni::SaveToStream(QIODevice& Stream, bool Compress) {
  BeforeSave();
  storing_ = false;
  TextObject tree;
  try {
    tree = WriteComponentToText(*this);
  } catch (...) {
    storing_ = true;
    throw;
  }
  storing_ = true;
  const QByteArray bytes = EncodeObjectTextBytes(FormatObjectText(tree));
  // Measured as the next load measures it.
  const qint64 cost = TextCost::OfText(bytes.size()) + TextCost::OfTree(tree, ItemCost(), ElementCost());
  tree = TextObject();
  if (bytes.size() > MaxTextSize())
    throw ETextBudgetError(Format(LanguageResource().RSDocumentTooLarge, {QString::number(MaxTextSize() / (1024 * 1024))}));
  const auto write = [&Stream](const QByteArray& b) {
    if (Stream.write(b) != b.size()) throw EStreamError(QStringLiteral("Stream write error"));
  };
  if (Compress) {
    const QByteArray packed = ZCompress(bytes);
    if (cost <= LoadBudget(packed.size())) {
      write(packed);
      return;
    }
    // Too dense to be read back from so few bytes (thousands of alike entries): plain text,
    // which reads back at its own size.
  }
  if (cost > LoadBudget(bytes.size())) throw ETextBudgetError(LanguageResource().RSDocumentTooDense);
  write(bytes);
}

void TKVXSkinIni::LoadFromFile(const QString& FileName) {
  QFile f(FileName);
  if (!f.exists()) return;
  if (!f.open(QIODevice::ReadOnly)) {
    LoadFailed = true;
    LoadDamaged = false;
    LoadError = QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, f.errorString());
    return;
  }
  LoadFromStream(f);
}

void TKVXSkinIni::SaveToFile(const QString& FileName, bool Compress) {
  SafeSaveFile(FileName, [this, Compress](QIODevice& d) { SaveToStream(d, Compress); }, true);
}

// ---------------------------------------------------------------------------------------------
// TKVXSkinSafeIni

const ClassInfo& TKVXSkinSafeIni::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVXSkinSafeIni>("TKVXSkinSafeIni", &TKVXSkinIni::StaticClass())
                                  .Str("Safe", &TKVXSkinSafeIni::Safe)
                                  .Event("OnVerify", &TKVXSkinSafeIni::OnVerify)
                                  .Stored([](const TKVXSkinSafeIni& d) { return d.storing_; })
                                  .Build();
  return ci;
}

void TKVXSkinSafeIni::LoadFromStream(QIODevice& Stream) {
  ResetLoadState();
  const qint64 budget = LoadBudget(Stream.size());
  QString text = ReadDocumentText(Stream);
  if (LoadFailed) return;
  const QString safe = UnquoteValue(HeaderValue(text, QStringLiteral("Safe")));
  bool accept = false;
  if (OnVerify) OnVerify(this, safe, accept);
  if (!accept) {
    LoadDamaged = false;
    LoadFailed = true;
    LoadError = QStringLiteral("The document was not accepted");
    return;
  }
  LoadDocumentText(std::move(text), budget);
}

void KVGiveBackFreedMemory() {
  KVGiveBackPixelMemory();
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
  FreeArenaMarks();
}

void KVRenewThreadCache() {
#if defined(__GLIBC__)
  // glibc keeps up to 7 freed blocks of each size up to 1,032 bytes for the thread that freed them.
  constexpr int kPerSize = 7;
  constexpr size_t kLargestBlock = 1040;
  for (size_t block = 32; block <= kLargestBlock; block += 16) {
    void* taken[2 * kPerSize];
    // The first come from the cache; once it is empty the rest come from this thread's arena.
    for (void*& p : taken) p = std::malloc(block - 8);
    // Those fill the cache again, so that the first, whichever arena they are of, go back to it.
    for (int i = 2 * kPerSize - 1; i >= 0; --i) std::free(taken[i]);
  }
#endif
}
