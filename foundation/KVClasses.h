#pragma once
// The class-library layer: persistent objects with their own property descriptions
// (name, kind, accessors, default, stored-check; base class first, in declaration order),
// components with owners and free notifications, collections, string lists and fonts, and the
// reading and writing of object text into and out of live objects.
#include <QFont>
#include <QString>
#include <QStringList>
#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <typeindex>
#include <vector>

#include "foundation/KVException.h"
#include "foundation/KVObjectText.h"
#include "foundation/KVTypes.h"

class TPersistent;
class TComponent;
class TCollection;
class TFiler;

enum class PropKind { Integer, Bool, Enum, Set, Float, String, Object, Component, Event };

// Named constants of an integer property (colours, character sets).
struct IdentMap {
  QString (*toIdent)(qint64);
  std::optional<qint64> (*fromIdent)(const QString&);
};
extern const IdentMap kColorIdents;
extern const IdentMap kCharsetIdents;

// An enumeration type: names in value order.
struct EnumInfo {
  QString typeName;
  QStringList names;
  std::optional<int> ValueOf(const QString& name) const;
};

struct PropInfo {
  QString name;
  PropKind kind = PropKind::Integer;
  const EnumInfo* enumType = nullptr;  // Enum, Set
  const IdentMap* idents = nullptr;    // Integer
  qint64 minValue = INT32_MIN, maxValue = INT32_MAX;
  std::function<qint64(const TPersistent&)> getOrd;  // Integer, Bool, Enum, Set (bit mask)
  std::function<void(TPersistent&, qint64)> setOrd;
  std::function<double(const TPersistent&)> getFloat;
  std::function<void(TPersistent&, double)> setFloat;
  std::function<QString(const TPersistent&)> getStr;
  std::function<void(TPersistent&, const QString&)> setStr;
  std::function<TPersistent*(TPersistent&)> object;  // owned sub-object, collection or list
  std::function<TComponent*(const TPersistent&)> getComponent;
  std::function<void(TPersistent&, TComponent*)> setComponent;
  std::function<QString(const TPersistent&)> getEvent;  // bound method name, empty when none
  // Binds the event to a published method of methodOwner; throws when there is none.
  std::function<void(TPersistent&, TPersistent* methodOwner, const QString&)> setEvent;
  std::function<void(TPersistent&)> clearEvent;
  std::function<void(TPersistent& dest, const TPersistent& source)> copyEvent;
  std::optional<qint64> ordDefault;  // nullopt: always stored
  std::function<bool(const TPersistent&)> stored;
};

struct MethodInfo {
  QString name;
  std::type_index signature;
  std::function<std::any(TPersistent&)> bind;  // a std::function<Sig> bound to the instance
};

class ClassInfo {
 public:
  QString className;
  const ClassInfo* parent = nullptr;
  std::vector<PropInfo> props;  // own properties in declaration order
  std::vector<MethodInfo> methods;

  const PropInfo* FindProp(const QString& name) const;  // without regard to case, base chain
  std::vector<const PropInfo*> AllProps() const;        // base class first
  const MethodInfo* FindMethod(const QString& name) const;
  bool InheritsFrom(const ClassInfo& other) const;
};

// Declares the class description of a persistent class; leaves the access at public.
#define KV_CLASS(T)                                                      \
 public:                                                                 \
  static const ClassInfo& StaticClass();                                 \
  const ClassInfo& Class() const override { return StaticClass(); }

template <class Sig>
struct TEvent {
  std::function<Sig> fn;
  QString name;  // the published method it was bound to by name
  explicit operator bool() const { return bool(fn); }
  template <class... A>
  void operator()(A&&... a) const {
    if (fn) fn(std::forward<A>(a)...);
  }
  void Clear() {
    fn = nullptr;
    name.clear();
  }
  void Set(std::function<Sig> f) {
    fn = std::move(f);
    name.clear();
  }
};
using TNotifyEvent = TEvent<void(TPersistent* sender)>;
using TObjectProc = TEvent<void()>;

class TPersistent {
 public:
  TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;
  virtual ~TPersistent() = default;

  static const ClassInfo& StaticClass();
  virtual const ClassInfo& Class() const { return StaticClass(); }
  QString ClassName() const { return Class().className; }
  bool InheritsFrom(const ClassInfo& c) const { return Class().InheritsFrom(c); }

  // Copies the state of Source; raises EConvertError for a source of an unrelated class.
  virtual void Assign(const TPersistent& source);
  // Custom stored properties (binary blocks, string lists); none here.
  virtual void DefineProperties(TFiler& filer);

 protected:
  virtual void AssignTo(TPersistent& dest) const;
  // Copies every published property of Source, which must be of this class or a descendant.
  void AssignPublished(const TPersistent& source);
};

// Reads and writes the custom properties a class defines.
class TFiler {
 public:
  virtual ~TFiler() = default;
  virtual void DefineProperty(const QString& name, const std::function<void(const TextValue&)>& read,
                              const std::function<TextValue()>& write, bool hasData) = 0;
  virtual void DefineBinaryProperty(const QString& name,
                                    const std::function<void(const QByteArray&)>& read,
                                    const std::function<QByteArray()>& write, bool hasData) = 0;
};

enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
  KV_CLASS(TComponent)
 public:
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;

  const QString& Name() const { return name_; }
  virtual void SetName(const QString& name);
  TComponent* Owner() const { return owner_; }
  int Tag() const { return tag_; }
  void SetTag(int t) { tag_ = t; }

  int ComponentCount() const { return int(components_.size()); }
  TComponent* Components(int i) const { return components_.at(size_t(i)); }
  TComponent* FindComponent(const QString& name) const;
  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);

  void FreeNotification(TComponent* c);
  void RemoveFreeNotification(TComponent* c);
  // Called for inserted and removed components; the base passes it on to the owned ones.
  virtual void Notification(TComponent* component, TOperation operation);

  // Forms answer true; skin bindings take their form's name from the owner that is a form.
  virtual bool IsForm() const { return false; }
  bool IsLoading() const { return loading_; }
  bool IsDestroying() const { return destroying_; }
  void SetLoadingState(bool on) { loading_ = on; }
  virtual void Loaded() {}

 protected:
  // Marks the component as going away; derived destructors call it before freeing their parts.
  void Destroying();

 private:
  QString name_;
  TComponent* owner_ = nullptr;
  int tag_ = 0;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  bool loading_ = false;
  bool destroying_ = false;
};

class TCollectionItem : public TPersistent {
  KV_CLASS(TCollectionItem)
 public:
  explicit TCollectionItem(TCollection* collection) : collection_(collection) {}
  TCollection* Collection() const { return collection_; }
  int Index() const;
  virtual QString GetDisplayName() const { return ClassName(); }

 private:
  friend class TCollection;
  TCollection* collection_;
};

class TCollection : public TPersistent {
  KV_CLASS(TCollection)
 public:
  using Factory = std::function<std::unique_ptr<TCollectionItem>(TCollection*)>;
  TCollection(const ClassInfo& itemClass, Factory factory, TPersistent* owner = nullptr);
  ~TCollection() override;

  const ClassInfo& ItemClass() const { return *itemClass_; }
  TPersistent* Owner() const { return owner_; }
  int Count() const { return int(items_.size()); }
  TCollectionItem* Items(int i) const { return items_.at(size_t(i)).get(); }
  TCollectionItem* Add();
  TCollectionItem* Insert(int index);
  void Delete(int index);
  void Clear();
  int IndexOf(const TCollectionItem* item) const;
  void Move(int from, int to);
  void Exchange(int a, int b);
  void Assign(const TPersistent& source) override;

 private:
  const ClassInfo* itemClass_;
  Factory factory_;
  TPersistent* owner_;
  std::vector<std::unique_ptr<TCollectionItem>> items_;
};

template <class Item>
class TKVCollection : public TCollection {
 public:
  explicit TKVCollection(TPersistent* owner = nullptr)
      : TCollection(Item::StaticClass(), [](TCollection* c) { return std::make_unique<Item>(c); },
                    owner) {}
  Item* Add() { return static_cast<Item*>(TCollection::Add()); }
  Item* Insert(int i) { return static_cast<Item*>(TCollection::Insert(i)); }
  Item* operator[](int i) const { return static_cast<Item*>(Items(i)); }
};

// A string list that streams as "Name.Strings = ( ... )".
class TStringList : public TPersistent, public QStringList {
  KV_CLASS(TStringList)
 public:
  TStringList() = default;
  void Assign(const TPersistent& source) override;
  void DefineProperties(TFiler& filer) override;
  // The lines joined by CR LF, each closed by CR LF.
  QString Text() const;
  // Splits at CR LF, LF or CR.
  void SetText(const QString& text);
  QStringList& List() { return *this; }
  const QStringList& List() const { return *this; }
};

enum TFontStyle { fsBold = 0, fsItalic = 1, fsUnderline = 2, fsStrikeOut = 3 };
using TFontStyles = std::uint32_t;  // bit (1 << TFontStyle)
constexpr TFontStyles FontStyle(TFontStyle s) { return TFontStyles(1) << s; }
extern const EnumInfo kFontStyleEnum;

// A font: face name, character set (Windows number, stored only), colour, size in points, style.
class TFont : public TPersistent {
  KV_CLASS(TFont)
 public:
  QString Name = QStringLiteral("MS Sans Serif");
  int Charset = 1;  // DEFAULT_CHARSET
  TColor Color = clWindowText;
  int Size = 8;
  TFontStyles Style = 0;

  // Pixel height at 96 pixels per inch, negative as the class library keeps it.
  int Height() const { return -MulDiv(Size, 96, 72); }
  void SetHeight(int h) { Size = -MulDiv(h, 72, 96); }
  bool HasStyle(TFontStyle s) const { return Style & FontStyle(s); }
  void Assign(const TPersistent& source) override;
  bool operator==(const TFont& o) const;
  // The Qt font of this font at 96 pixels per inch.
  QFont ToQFont() const;
};

// ---------------------------------------------------------------------------------------------
// Reading object text into objects and writing objects as object text.

struct TReadHandlers {
  // An error in one property: return true to skip it and go on, false to let it pass.
  std::function<bool(const QString& message)> onError;
  // Whose published methods event names bind to; nullptr: an event name is an error.
  TPersistent* methodOwner = nullptr;
};

// Applies a parsed object block to an existing component: the block's name becomes the
// component's name, its properties are set in order, child blocks go to owned components
// of that name, and Loaded runs at the end.
void ReadComponentFromText(TComponent& root, const TextObject& block, const TReadHandlers& handlers);
// Applies properties to any persistent object (collection items, sub-objects).
void ReadProperties(TPersistent& target, const std::vector<TextProperty>& props,
                    const TReadHandlers& handlers);

// The object block of a component with every stored published and defined property.
TextObject WriteComponentToText(const TComponent& component);
std::vector<TextProperty> WriteProperties(const TPersistent& object);

// ---------------------------------------------------------------------------------------------
// Class descriptions

template <class T>
class ClassBuilder {
 public:
  ClassBuilder(const char* className, const ClassInfo* parent) {
    info_.className = QString::fromLatin1(className);
    info_.parent = parent;
  }

  ClassBuilder& Int(const char* name, std::function<int(const T&)> get, std::function<void(T&, int)> set,
                    std::optional<qint64> def = std::nullopt) {
    PropInfo& p = Add(name, PropKind::Integer);
    p.getOrd = [get](const TPersistent& o) { return qint64(get(static_cast<const T&>(o))); };
    p.setOrd = [set](TPersistent& o, qint64 v) { set(static_cast<T&>(o), int(v)); };
    p.ordDefault = def;
    return *this;
  }
  ClassBuilder& Int(const char* name, int T::*m, std::optional<qint64> def = std::nullopt) {
    return Int(name, [m](const T& o) { return o.*m; }, [m](T& o, int v) { o.*m = v; }, def);
  }
  ClassBuilder& Color(const char* name, std::function<TColor(const T&)> get,
                      std::function<void(T&, TColor)> set, std::optional<TColor> def = std::nullopt) {
    PropInfo& p = Add(name, PropKind::Integer);
    p.idents = &kColorIdents;
    p.getOrd = [get](const TPersistent& o) { return qint64(qint32(get(static_cast<const T&>(o)))); };
    p.setOrd = [set](TPersistent& o, qint64 v) { set(static_cast<T&>(o), TColor(std::uint32_t(v))); };
    if (def) p.ordDefault = qint64(qint32(*def));
    p.maxValue = UINT32_MAX;  // colours are full 32-bit patterns, written signed or unsigned
    return *this;
  }
  ClassBuilder& Color(const char* name, TColor T::*m, std::optional<TColor> def = std::nullopt) {
    return Color(name, [m](const T& o) { return o.*m; }, [m](T& o, TColor v) { o.*m = v; }, def);
  }
  ClassBuilder& Bool(const char* name, std::function<bool(const T&)> get, std::function<void(T&, bool)> set,
                     std::optional<bool> def = std::nullopt) {
    PropInfo& p = Add(name, PropKind::Bool);
    p.getOrd = [get](const TPersistent& o) { return qint64(get(static_cast<const T&>(o))); };
    p.setOrd = [set](TPersistent& o, qint64 v) { set(static_cast<T&>(o), v != 0); };
    if (def) p.ordDefault = *def ? 1 : 0;
    return *this;
  }
  ClassBuilder& Bool(const char* name, bool T::*m, std::optional<bool> def = std::nullopt) {
    return Bool(name, [m](const T& o) { return o.*m; }, [m](T& o, bool v) { o.*m = v; }, def);
  }
  template <class E>
  ClassBuilder& Enum(const char* name, const EnumInfo& type, std::function<E(const T&)> get,
                     std::function<void(T&, E)> set, std::optional<E> def = std::nullopt) {
    PropInfo& p = Add(name, PropKind::Enum);
    p.enumType = &type;
    p.getOrd = [get](const TPersistent& o) { return qint64(get(static_cast<const T&>(o))); };
    p.setOrd = [set](TPersistent& o, qint64 v) { set(static_cast<T&>(o), E(v)); };
    if (def) p.ordDefault = qint64(*def);
    return *this;
  }
  template <class E>
  ClassBuilder& Enum(const char* name, const EnumInfo& type, E T::*m, std::optional<E> def = std::nullopt) {
    return Enum<E>(name, type, [m](const T& o) { return o.*m; }, [m](T& o, E v) { o.*m = v; }, def);
  }
  ClassBuilder& Set(const char* name, const EnumInfo& type, std::function<std::uint32_t(const T&)> get,
                    std::function<void(T&, std::uint32_t)> set, std::optional<std::uint32_t> def = std::nullopt) {
    PropInfo& p = Add(name, PropKind::Set);
    p.enumType = &type;
    p.getOrd = [get](const TPersistent& o) { return qint64(get(static_cast<const T&>(o))); };
    p.setOrd = [set](TPersistent& o, qint64 v) { set(static_cast<T&>(o), std::uint32_t(v)); };
    if (def) p.ordDefault = qint64(*def);
    return *this;
  }
  ClassBuilder& Set(const char* name, const EnumInfo& type, std::uint32_t T::*m,
                    std::optional<std::uint32_t> def = std::nullopt) {
    return Set(name, type, [m](const T& o) { return o.*m; }, [m](T& o, std::uint32_t v) { o.*m = v; }, def);
  }
  ClassBuilder& Float(const char* name, std::function<double(const T&)> get, std::function<void(T&, double)> set) {
    PropInfo& p = Add(name, PropKind::Float);
    p.getFloat = [get](const TPersistent& o) { return get(static_cast<const T&>(o)); };
    p.setFloat = [set](TPersistent& o, double v) { set(static_cast<T&>(o), v); };
    return *this;
  }
  ClassBuilder& Float(const char* name, double T::*m) {
    return Float(name, [m](const T& o) { return o.*m; }, [m](T& o, double v) { o.*m = v; });
  }
  ClassBuilder& Str(const char* name, std::function<QString(const T&)> get,
                    std::function<void(T&, const QString&)> set) {
    PropInfo& p = Add(name, PropKind::String);
    p.getStr = [get](const TPersistent& o) { return get(static_cast<const T&>(o)); };
    p.setStr = [set](TPersistent& o, const QString& v) { set(static_cast<T&>(o), v); };
    return *this;
  }
  ClassBuilder& Str(const char* name, QString T::*m) {
    return Str(name, [m](const T& o) { return o.*m; }, [m](T& o, const QString& v) { o.*m = v; });
  }
  // An owned sub-object (also collections and string lists).
  ClassBuilder& Obj(const char* name, std::function<TPersistent*(T&)> get) {
    PropInfo& p = Add(name, PropKind::Object);
    p.object = [get](TPersistent& o) { return get(static_cast<T&>(o)); };
    return *this;
  }
  template <class M>
  ClassBuilder& Obj(const char* name, M T::*m) {
    return Obj(name, [m](T& o) -> TPersistent* { return ObjPtr(o.*m); });
  }
  ClassBuilder& Comp(const char* name, std::function<TComponent*(const T&)> get,
                     std::function<void(T&, TComponent*)> set) {
    PropInfo& p = Add(name, PropKind::Component);
    p.getComponent = [get](const TPersistent& o) { return get(static_cast<const T&>(o)); };
    p.setComponent = [set](TPersistent& o, TComponent* c) { set(static_cast<T&>(o), c); };
    return *this;
  }
  template <class Sig>
  ClassBuilder& Event(const char* name, TEvent<Sig> T::*m) {
    PropInfo& p = Add(name, PropKind::Event);
    p.getEvent = [m](const TPersistent& o) { return (static_cast<const T&>(o).*m).name; };
    p.clearEvent = [m](TPersistent& o) { (static_cast<T&>(o).*m).Clear(); };
    p.copyEvent = [m](TPersistent& d, const TPersistent& s) {
      static_cast<T&>(d).*m = static_cast<const T&>(s).*m;
    };
    p.setEvent = [m](TPersistent& o, TPersistent* owner, const QString& method) {
      auto fn = FindPublishedMethod<Sig>(owner, method);
      if (!fn) throw EReadError(QStringLiteral("Invalid property value: method %1 not found").arg(method));
      auto& ev = static_cast<T&>(o).*m;
      ev.fn = std::move(*fn);
      ev.name = method;
    };
    return *this;
  }
  // A published method that event properties can be bound to by name.
  template <class R, class... A>
  ClassBuilder& Method(const char* name, R (T::*fn)(A...)) {
    info_.methods.push_back(MethodInfo{
        QString::fromLatin1(name), std::type_index(typeid(R(A...))), [fn](TPersistent& o) -> std::any {
          T* self = static_cast<T*>(&o);
          return std::function<R(A...)>([self, fn](A... a) { return (self->*fn)(std::forward<A>(a)...); });
        }});
    return *this;
  }
  // Modifiers of the property added last.
  ClassBuilder& Stored(std::function<bool(const T&)> pred) {
    info_.props.back().stored = [pred](const TPersistent& o) { return pred(static_cast<const T&>(o)); };
    return *this;
  }
  ClassBuilder& NotStored() {
    info_.props.back().stored = [](const TPersistent&) { return false; };
    return *this;
  }
  ClassBuilder& Range(qint64 lo, qint64 hi) {
    info_.props.back().minValue = lo;
    info_.props.back().maxValue = hi;
    return *this;
  }
  ClassBuilder& Idents(const IdentMap& m) {
    info_.props.back().idents = &m;
    return *this;
  }

  ClassInfo Build() { return std::move(info_); }

  template <class Sig>
  static std::optional<std::function<Sig>> FindPublishedMethod(TPersistent* owner, const QString& name) {
    if (!owner) return std::nullopt;
    const MethodInfo* mi = owner->Class().FindMethod(name);
    if (!mi || mi->signature != std::type_index(typeid(Sig))) return std::nullopt;
    return std::any_cast<std::function<Sig>>(mi->bind(*owner));
  }

 private:
  ClassInfo info_;

  PropInfo& Add(const char* name, PropKind kind) {
    info_.props.push_back(PropInfo{});
    PropInfo& p = info_.props.back();
    p.name = QString::fromLatin1(name);
    p.kind = kind;
    return p;
  }
  template <class M>
  static TPersistent* ObjPtr(M& m) {
    if constexpr (std::is_pointer_v<M>) return m;
    else if constexpr (requires { m.get(); }) return m.get();
    else return &m;
  }
};

// Finds a published method of Owner with the given signature, by name.
template <class Sig>
std::optional<std::function<Sig>> FindPublishedMethod(TPersistent* owner, const QString& name) {
  return ClassBuilder<TPersistent>::FindPublishedMethod<Sig>(owner, name);
}

// Binds the owner's published "CompAfterLoad" and "CompBeforeLoad" methods to the two events of a
// skin binding, where they are not bound yet.
void BindCompLoadMethods(TPersistent* owner, TObjectProc& afterLoad, TObjectProc& beforeLoad);
