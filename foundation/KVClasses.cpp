#include "foundation/KVClasses.h"

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// Identifier maps and enumerations

static QString ColorIdentOf(qint64 v) { return ColorToIdent(TColor(std::uint32_t(v))); }
static std::optional<qint64> ColorValueOf(const QString& s) {
  if (auto c = IdentToColor(s)) return qint64(qint32(*c));
  return std::nullopt;
}
static QString CharsetIdentOf(qint64 v) { return CharsetToIdent(int(v)); }
static std::optional<qint64> CharsetValueOf(const QString& s) {
  if (auto c = IdentToCharset(s)) return *c;
  return std::nullopt;
}

const IdentMap kColorIdents{&ColorIdentOf, &ColorValueOf};
const IdentMap kCharsetIdents{&CharsetIdentOf, &CharsetValueOf};
const EnumInfo kFontStyleEnum{QStringLiteral("TFontStyle"),
                              {QStringLiteral("fsBold"), QStringLiteral("fsItalic"),
                               QStringLiteral("fsUnderline"), QStringLiteral("fsStrikeOut")}};
static const EnumInfo kFontPitchEnum{
    QStringLiteral("TFontPitch"),
    {QStringLiteral("fpDefault"), QStringLiteral("fpVariable"), QStringLiteral("fpFixed")}};

std::optional<int> EnumInfo::ValueOf(const QString& name) const {
  for (int i = 0; i < names.size(); ++i)
    if (names[i].compare(name, Qt::CaseInsensitive) == 0) return i;
  return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// ClassInfo

const PropInfo* ClassInfo::FindProp(const QString& name) const {
  for (const ClassInfo* c = this; c; c = c->parent)
    for (const PropInfo& p : c->props)
      if (p.name.compare(name, Qt::CaseInsensitive) == 0) return &p;
  return nullptr;
}

std::vector<const PropInfo*> ClassInfo::AllProps() const {
  std::vector<const ClassInfo*> chain;
  for (const ClassInfo* c = this; c; c = c->parent) chain.push_back(c);
  std::vector<const PropInfo*> out;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    for (const PropInfo& p : (*it)->props) {
      // A descendant that publishes a property again replaces the ancestor's in its place.
      auto same = std::find_if(out.begin(), out.end(),
                               [&p](const PropInfo* q) { return q->name.compare(p.name, Qt::CaseInsensitive) == 0; });
      if (same != out.end()) *same = &p;
      else out.push_back(&p);
    }
  }
  return out;
}

const MethodInfo* ClassInfo::FindMethod(const QString& name) const {
  for (const ClassInfo* c = this; c; c = c->parent)
    for (const MethodInfo& m : c->methods)
      if (m.name.compare(name, Qt::CaseInsensitive) == 0) return &m;
  return nullptr;
}

bool ClassInfo::InheritsFrom(const ClassInfo& other) const {
  for (const ClassInfo* c = this; c; c = c->parent)
    if (c == &other) return true;
  return false;
}

// ---------------------------------------------------------------------------------------------
// Filers for defined properties

namespace {

// Collects the defined properties that have data, for writing and copying.
class CollectingFiler : public TFiler {
 public:
  std::vector<std::pair<QString, TextValue>> values;
  void DefineProperty(const QString& name, const std::function<void(const TextValue&)>&,
                      const std::function<TextValue()>& write, bool hasData) override {
    if (hasData && write) values.emplace_back(name, write());
  }
  void DefineBinaryProperty(const QString& name, const std::function<void(const QByteArray&)>&,
                            const std::function<QByteArray()>& write, bool hasData) override {
    if (hasData && write) values.emplace_back(name, TextValue::Binary(write()));
  }
};

// Finds the reader of one defined property by name.
class LookupFiler : public TFiler {
 public:
  explicit LookupFiler(QString wanted) : wanted_(std::move(wanted)) {}
  std::function<void(const TextValue&)> reader;
  void DefineProperty(const QString& name, const std::function<void(const TextValue&)>& read,
                      const std::function<TextValue()>&, bool) override {
    if (!reader && name.compare(wanted_, Qt::CaseInsensitive) == 0) reader = read;
  }
  void DefineBinaryProperty(const QString& name, const std::function<void(const QByteArray&)>& read,
                            const std::function<QByteArray()>&, bool) override {
    if (!reader && name.compare(wanted_, Qt::CaseInsensitive) == 0) {
      reader = [read](const TextValue& v) {
        if (v.type != TextValue::Type::Binary) throw EReadError(QStringLiteral("Invalid binary value"));
        read(v.bytes);
      };
    }
  }

 private:
  QString wanted_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TPersistent

const ClassInfo& TPersistent::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TPersistent>("TPersistent", nullptr).Build();
  return ci;
}

void TPersistent::Assign(const TPersistent& source) {
  if (&source.Class() == &Class()) {
    AssignPublished(source);
    return;
  }
  source.AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& dest) const {
  throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2").arg(ClassName(), dest.ClassName()));
}

void TPersistent::DefineProperties(TFiler&) {}

void TPersistent::AssignPublished(const TPersistent& source) {
  if (&source == this) return;
  if (!source.Class().InheritsFrom(Class()))
    throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2").arg(source.ClassName(), ClassName()));
  auto& src = const_cast<TPersistent&>(source);
  for (const PropInfo* p : Class().AllProps()) {
    switch (p->kind) {
      case PropKind::Integer:
      case PropKind::Bool:
      case PropKind::Enum:
      case PropKind::Set: p->setOrd(*this, p->getOrd(source)); break;
      case PropKind::Float: p->setFloat(*this, p->getFloat(source)); break;
      case PropKind::String:
        if (p->setStr) p->setStr(*this, p->getStr(source));
        break;
      case PropKind::Object: {
        TPersistent* d = p->object(*this);
        TPersistent* s = p->object(src);
        if (d && s && d != s) d->Assign(*s);
        break;
      }
      case PropKind::Component: p->setComponent(*this, p->getComponent(source)); break;
      case PropKind::Event: p->copyEvent(*this, source); break;
    }
  }
  CollectingFiler collect;
  src.DefineProperties(collect);
  for (const auto& [name, value] : collect.values) {
    LookupFiler lookup(name);
    DefineProperties(lookup);
    if (lookup.reader) lookup.reader(value);
  }
}

// ---------------------------------------------------------------------------------------------
// TComponent

const ClassInfo& TComponent::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TComponent>("TComponent", &TPersistent::StaticClass())
          .Str("Name", [](const TComponent& c) { return c.Name(); },
               [](TComponent& c, const QString& v) { c.SetName(v); })
          .NotStored()
          .Int("Tag", [](const TComponent& c) { return c.Tag(); }, [](TComponent& c, int v) { c.SetTag(v); }, 0)
          .Build();
  return ci;
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell everyone who asked that this component goes away.
  while (!freeNotifies_.empty()) {
    TComponent* c = freeNotifies_.back();
    freeNotifies_.pop_back();
    auto& theirs = c->freeNotifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    c->Notification(this, TOperation::opRemove);
  }
  // Owned components go first, last created first.
  while (!components_.empty()) {
    TComponent* c = components_.back();
    components_.pop_back();
    c->owner_ = nullptr;
    delete c;
  }
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::Destroying() { destroying_ = true; }

static bool IsValidIdent(const QString& s) {
  if (s.isEmpty()) return false;
  for (int i = 0; i < s.size(); ++i) {
    const QChar c = s[i];
    const bool alpha = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                       (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c == QLatin1Char('_');
    const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!(alpha || (i > 0 && digit))) return false;
  }
  return true;
}

void TComponent::SetName(const QString& name) {
  if (name == name_) return;
  if (!name.isEmpty() && !IsValidIdent(name))
    throw EComponentError(QStringLiteral("'%1' is not a valid component name").arg(name));
  if (owner_ && !name.isEmpty()) {
    TComponent* other = owner_->FindComponent(name);
    if (other && other != this)
      throw EComponentError(QStringLiteral("A component named %1 already exists").arg(name));
  }
  name_ = name;
}

TComponent* TComponent::FindComponent(const QString& name) const {
  if (name.isEmpty()) return nullptr;
  for (TComponent* c : components_)
    if (c->name_.compare(name, Qt::CaseInsensitive) == 0) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* c) {
  if (!c || c->owner_ == this) return;
  if (c->owner_) c->owner_->RemoveComponent(c);
  if (!c->name_.isEmpty() && FindComponent(c->name_))
    throw EComponentError(QStringLiteral("A component named %1 already exists").arg(c->name_));
  c->owner_ = this;
  components_.push_back(c);
  Notification(c, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* c) {
  if (!c || c->owner_ != this) return;
  Notification(c, TOperation::opRemove);
  components_.erase(std::remove(components_.begin(), components_.end(), c), components_.end());
  c->owner_ = nullptr;
}

void TComponent::FreeNotification(TComponent* c) {
  if (!c || c == this) return;
  // Components of one owner hear of each other through that owner already.
  if (owner_ && c->owner_ == owner_) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), c) == freeNotifies_.end()) {
    freeNotifies_.push_back(c);
    c->freeNotifies_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* c) {
  if (!c) return;
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), c), freeNotifies_.end());
  c->freeNotifies_.erase(std::remove(c->freeNotifies_.begin(), c->freeNotifies_.end(), this),
                         c->freeNotifies_.end());
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove && component) RemoveFreeNotification(component);
  for (int i = int(components_.size()) - 1; i >= 0; --i) {
    if (i >= int(components_.size())) {
      i = int(components_.size());
      continue;
    }
    components_[size_t(i)]->Notification(component, operation);
  }
}

// ---------------------------------------------------------------------------------------------
// Collections

const ClassInfo& TCollectionItem::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TCollectionItem>("TCollectionItem", &TPersistent::StaticClass()).Build();
  return ci;
}

int TCollectionItem::Index() const { return collection_ ? collection_->IndexOf(this) : -1; }

const ClassInfo& TCollection::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TCollection>("TCollection", &TPersistent::StaticClass()).Build();
  return ci;
}

TCollection::TCollection(const ClassInfo& itemClass, Factory factory, TPersistent* owner)
    : itemClass_(&itemClass), factory_(std::move(factory)), owner_(owner) {}

TCollection::~TCollection() = default;

TCollectionItem* TCollection::Add() { return Insert(Count()); }

TCollectionItem* TCollection::Insert(int index) {
  index = std::clamp(index, 0, Count());
  auto item = factory_(this);
  item->collection_ = this;
  TCollectionItem* raw = item.get();
  items_.insert(items_.begin() + index, std::move(item));
  return raw;
}

void TCollection::Delete(int index) {
  if (index < 0 || index >= Count())
    throw EKVError(QStringLiteral("List index out of bounds (%1)").arg(index));
  items_.erase(items_.begin() + index);
}

void TCollection::Clear() { items_.clear(); }

int TCollection::IndexOf(const TCollectionItem* item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == item) return int(i);
  return -1;
}

void TCollection::Move(int from, int to) {
  if (from < 0 || from >= Count() || to < 0 || to >= Count() || from == to) return;
  auto item = std::move(items_[size_t(from)]);
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, std::move(item));
}

void TCollection::Exchange(int a, int b) {
  if (a < 0 || a >= Count() || b < 0 || b >= Count()) return;
  std::swap(items_[size_t(a)], items_[size_t(b)]);
}

void TCollection::Assign(const TPersistent& source) {
  if (source.InheritsFrom(TCollection::StaticClass())) {
    const auto& src = static_cast<const TCollection&>(source);
    if (&src == this) return;
    Clear();
    for (const auto& item : src.items_) Add()->Assign(*item);
    return;
  }
  TPersistent::Assign(source);
}

// ---------------------------------------------------------------------------------------------
// TStringList

const ClassInfo& TStringList::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TStringList>("TStringList", &TPersistent::StaticClass()).Build();
  return ci;
}

void TStringList::Assign(const TPersistent& source) {
  if (source.InheritsFrom(TStringList::StaticClass())) {
    List() = static_cast<const TStringList&>(source).List();
    return;
  }
  TPersistent::Assign(source);
}

void TStringList::DefineProperties(TFiler& filer) {
  filer.DefineProperty(
      QStringLiteral("Strings"),
      [this](const TextValue& v) {
        if (v.type != TextValue::Type::List) throw EReadError(QStringLiteral("Invalid property value"));
        QStringList lines;
        for (const TextValue& e : v.list) {
          if (e.type != TextValue::Type::String) throw EReadError(QStringLiteral("Invalid property value"));
          lines << e.text;
        }
        List() = lines;
      },
      [this] { return TextValue::StringList(List()); }, !isEmpty());
}

QString TStringList::Text() const {
  QString s;
  for (const QString& l : *this) s += l + QLatin1String("\r\n");
  return s;
}

void TStringList::SetText(const QString& text) {
  QStringList lines;
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n) {
    qsizetype j = i;
    while (j < n && text[j] != QLatin1Char('\r') && text[j] != QLatin1Char('\n')) ++j;
    lines << text.mid(i, j - i);
    if (j < n && text[j] == QLatin1Char('\r')) ++j;
    if (j < n && text[j] == QLatin1Char('\n')) ++j;
    i = j;
  }
  List() = lines;
}

// ---------------------------------------------------------------------------------------------
// TFont

const ClassInfo& TFont::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TFont>("TFont", &TPersistent::StaticClass())
          .Int("Charset", &TFont::Charset)
          .Idents(kCharsetIdents)
          .Range(0, 255)
          .Color("Color", &TFont::Color)
          .Int("Height", [](const TFont& f) { return f.Height(); }, [](TFont& f, int h) { f.SetHeight(h); })
          .Str("Name", &TFont::Name)
          .Enum<int>("Pitch", kFontPitchEnum, [](const TFont&) { return 0; }, [](TFont&, int) {}, 0)
          .Int("Size", &TFont::Size)
          .NotStored()
          .Set("Style", kFontStyleEnum, &TFont::Style)
          .Build();
  return ci;
}

void TFont::Assign(const TPersistent& source) {
  if (source.InheritsFrom(TFont::StaticClass())) {
    const auto& f = static_cast<const TFont&>(source);
    Name = f.Name;
    Charset = f.Charset;
    Color = f.Color;
    Size = f.Size;
    Style = f.Style;
    return;
  }
  TPersistent::Assign(source);
}

bool TFont::operator==(const TFont& o) const {
  return Name == o.Name && Charset == o.Charset && Color == o.Color && Size == o.Size && Style == o.Style;
}

QFont TFont::ToQFont() const {
  QFont f(Name);
  f.setPixelSize(std::max(1, -Height()));
  f.setBold(HasStyle(fsBold));
  f.setItalic(HasStyle(fsItalic));
  f.setUnderline(HasStyle(fsUnderline));
  f.setStrikeOut(HasStyle(fsStrikeOut));
  return f;
}

// ---------------------------------------------------------------------------------------------
// Reading

namespace {

struct ReadContext {
  const TReadHandlers& handlers;
  TComponent* root;
};

void ReadPropertyList(TPersistent& target, const std::vector<TextProperty>& props, const ReadContext& ctx);

TComponent* ResolveComponent(const QString& name, TComponent* root) {
  if (!root) return nullptr;
  const QStringList parts = name.split(QLatin1Char('.'));
  if (parts.size() == 1) {
    if (root->Name().compare(name, Qt::CaseInsensitive) == 0) return root;
    if (TComponent* c = root->FindComponent(name)) return c;
    if (TComponent* o = root->Owner()) {
      if (o->Name().compare(name, Qt::CaseInsensitive) == 0) return o;
      return o->FindComponent(name);
    }
    return nullptr;
  }
  // Owner.Component: the owner is the root, the root's owner or one of its components.
  TComponent* base = nullptr;
  for (TComponent* c = root; c && !base; c = c->Owner())
    base = c->Name().compare(parts[0], Qt::CaseInsensitive) == 0 ? c : c->FindComponent(parts[0]);
  for (int i = 1; base && i < parts.size(); ++i) base = base->FindComponent(parts[i]);
  return base;
}

void CheckRange(const PropInfo& p, qint64 v) {
  if (v < p.minValue || v > p.maxValue)
    throw EReadError(QStringLiteral("%1 is not a valid value for %2").arg(v).arg(p.name));
}

void ReadCollection(TCollection& coll, const TextValue& v, const ReadContext& ctx) {
  coll.Clear();
  for (const TextItem& item : v.items) ReadPropertyList(*coll.Add(), item.props, ctx);
}

void ApplyValue(TPersistent& obj, const PropInfo& p, const TextValue& v, const ReadContext& ctx) {
  using T = TextValue::Type;
  const auto invalid = [&p]() -> EReadError {
    return EReadError(QStringLiteral("Invalid property value for %1").arg(p.name));
  };
  switch (p.kind) {
    case PropKind::Integer: {
      if (v.type == T::Integer) {
        CheckRange(p, v.integer);
        p.setOrd(obj, v.integer);
      } else if (v.type == T::Ident && p.idents) {
        const auto val = p.idents->fromIdent(v.text);
        if (!val) throw invalid();
        p.setOrd(obj, *val);
      } else {
        throw invalid();
      }
      return;
    }
    case PropKind::Bool:
      if (v.IsIdent("True")) p.setOrd(obj, 1);
      else if (v.IsIdent("False")) p.setOrd(obj, 0);
      else throw invalid();
      return;
    case PropKind::Enum: {
      if (v.type != T::Ident) throw invalid();
      const auto val = p.enumType->ValueOf(v.text);
      if (!val) throw invalid();
      p.setOrd(obj, *val);
      return;
    }
    case PropKind::Set: {
      if (v.type != T::Set) throw invalid();
      qint64 mask = 0;
      for (const QString& e : v.set) {
        const auto val = p.enumType->ValueOf(e);
        if (!val || *val >= 32) throw invalid();
        mask |= qint64(1) << *val;
      }
      p.setOrd(obj, mask);
      return;
    }
    case PropKind::Float:
      if (v.type == T::Float) p.setFloat(obj, v.number);
      else if (v.type == T::Integer) p.setFloat(obj, double(v.integer));
      else throw invalid();
      return;
    case PropKind::String:
      if (v.type != T::String || !p.setStr) throw invalid();
      p.setStr(obj, v.text);
      return;
    case PropKind::Object: {
      TPersistent* sub = p.object(obj);
      if (sub && v.type == T::Collection && sub->InheritsFrom(TCollection::StaticClass())) {
        ReadCollection(static_cast<TCollection&>(*sub), v, ctx);
        return;
      }
      throw invalid();
    }
    case PropKind::Component: {
      if (v.type != T::Ident) throw invalid();
      if (v.IsIdent("nil")) {
        p.setComponent(obj, nullptr);
        return;
      }
      TComponent* c = ResolveComponent(v.text, ctx.root);
      if (!c) throw EReadError(QStringLiteral("Component %1 not found").arg(v.text));
      p.setComponent(obj, c);
      return;
    }
    case PropKind::Event:
      if (v.type != T::Ident) throw invalid();
      if (v.IsIdent("nil")) {
        p.clearEvent(obj);
        return;
      }
      p.setEvent(obj, ctx.handlers.methodOwner, v.text);
      return;
  }
}

void ReadOneProperty(TPersistent& target, const TextProperty& prop, const ReadContext& ctx) {
  const QStringList path = prop.name.split(QLatin1Char('.'));
  TPersistent* cur = &target;
  for (int i = 0; i + 1 < path.size(); ++i) {
    const PropInfo* p = cur->Class().FindProp(path[i]);
    if (!p || p->kind != PropKind::Object)
      throw EReadError(QStringLiteral("Property %1 does not exist").arg(prop.name));
    cur = p->object(*cur);
    if (!cur) throw EReadError(QStringLiteral("Property %1 does not exist").arg(prop.name));
  }
  const QString& last = path.back();
  if (const PropInfo* p = cur->Class().FindProp(last)) {
    ApplyValue(*cur, *p, prop.value, ctx);
    return;
  }
  LookupFiler lookup(last);
  cur->DefineProperties(lookup);
  if (!lookup.reader) throw EReadError(QStringLiteral("Property %1 does not exist").arg(prop.name));
  lookup.reader(prop.value);
}

void ReadPropertyList(TPersistent& target, const std::vector<TextProperty>& props, const ReadContext& ctx) {
  for (const TextProperty& prop : props) {
    try {
      ReadOneProperty(target, prop, ctx);
    } catch (const EKVError& e) {
      const QString msg = QStringLiteral("Error reading %1 on line %2: %3").arg(prop.name).arg(prop.line).arg(e.Message());
      if (!ctx.handlers.onError || !ctx.handlers.onError(msg)) throw;
    }
  }
}

void ReadComponentTree(TComponent& comp, const TextObject& block, const ReadContext& ctx,
                       std::vector<TComponent*>& loaded) {
  comp.SetLoadingState(true);
  loaded.push_back(&comp);
  if (!block.name.isEmpty() && block.name != comp.Name()) {
    try {
      comp.SetName(block.name);
    } catch (const EKVError& e) {
      if (!ctx.handlers.onError || !ctx.handlers.onError(e.Message())) throw;
    }
  }
  ReadPropertyList(comp, block.props, ctx);
  for (const TextObject& child : block.children) {
    TComponent* c = comp.FindComponent(child.name);
    if (!c) {
      const QString msg = QStringLiteral("Component %1 of class %2 not found").arg(child.name, child.className);
      if (!ctx.handlers.onError || !ctx.handlers.onError(msg)) throw EReadError(msg);
      continue;
    }
    ReadComponentTree(*c, child, ctx, loaded);
  }
}

}  // namespace

void ReadComponentFromText(TComponent& root, const TextObject& block, const TReadHandlers& handlers) {
  ReadContext ctx{handlers, &root};
  std::vector<TComponent*> loaded;
  try {
    ReadComponentTree(root, block, ctx, loaded);
  } catch (...) {
    for (TComponent* c : loaded) c->SetLoadingState(false);
    throw;
  }
  for (TComponent* c : loaded) {
    c->SetLoadingState(false);
    c->Loaded();
  }
}

void ReadProperties(TPersistent& target, const std::vector<TextProperty>& props, const TReadHandlers& handlers) {
  TComponent* root = target.InheritsFrom(TComponent::StaticClass()) ? static_cast<TComponent*>(&target) : nullptr;
  ReadContext ctx{handlers, root};
  ReadPropertyList(target, props, ctx);
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

void WritePropsInto(const TPersistent& obj, const QString& prefix, std::vector<TextProperty>& out);

TextValue OrdinalValue(const PropInfo& p, qint64 v) {
  switch (p.kind) {
    case PropKind::Bool: return TextValue::Ident(v ? QStringLiteral("True") : QStringLiteral("False"));
    case PropKind::Enum:
      if (v >= 0 && v < p.enumType->names.size()) return TextValue::Ident(p.enumType->names[int(v)]);
      return TextValue::Int(v);
    case PropKind::Set: {
      QStringList names;
      for (int i = 0; i < p.enumType->names.size() && i < 32; ++i)
        if (v & (qint64(1) << i)) names << p.enumType->names[i];
      return TextValue::Set(names);
    }
    default:
      if (p.idents) {
        const QString id = p.idents->toIdent(v);
        if (!id.isEmpty()) return TextValue::Ident(id);
      }
      // Full 32-bit patterns (colours) are written signed, as the class library does.
      if (p.maxValue > INT32_MAX && v > INT32_MAX) v = qint32(std::uint32_t(v));
      return TextValue::Int(v);
  }
}

QString ComponentRefName(const TComponent* c, const TPersistent& from) {
  // A component of another owner is written with its owner's name in front.
  const TComponent* self = from.InheritsFrom(TComponent::StaticClass()) ? static_cast<const TComponent*>(&from) : nullptr;
  if (self && c->Owner() && c->Owner() != self && c->Owner() != self->Owner() && c != self->Owner())
    return c->Owner()->Name() + QLatin1Char('.') + c->Name();
  return c->Name();
}

void WritePropsInto(const TPersistent& obj, const QString& prefix, std::vector<TextProperty>& out) {
  auto& mut = const_cast<TPersistent&>(obj);
  for (const PropInfo* p : obj.Class().AllProps()) {
    if (p->stored && !p->stored(obj)) continue;
    const QString name = prefix + p->name;
    switch (p->kind) {
      case PropKind::Integer:
      case PropKind::Bool:
      case PropKind::Enum:
      case PropKind::Set: {
        const qint64 v = p->getOrd(obj);
        if (p->ordDefault && *p->ordDefault == v) break;
        out.push_back({name, OrdinalValue(*p, v), 0});
        break;
      }
      case PropKind::Float: {
        const double v = p->getFloat(obj);
        if (v != 0) out.push_back({name, TextValue::Float(v), 0});
        break;
      }
      case PropKind::String: {
        const QString v = p->getStr(obj);
        if (!v.isEmpty()) out.push_back({name, TextValue::Str(v), 0});
        break;
      }
      case PropKind::Object: {
        TPersistent* sub = p->object(mut);
        if (!sub) break;
        if (sub->InheritsFrom(TCollection::StaticClass())) {
          const auto& coll = static_cast<const TCollection&>(*sub);
          TextValue v;
          v.type = TextValue::Type::Collection;
          for (int i = 0; i < coll.Count(); ++i) {
            TextItem item;
            WritePropsInto(*coll.Items(i), QString(), item.props);
            v.items.push_back(std::move(item));
          }
          out.push_back({name, std::move(v), 0});
        } else {
          WritePropsInto(*sub, name + QLatin1Char('.'), out);
        }
        break;
      }
      case PropKind::Component: {
        const TComponent* c = p->getComponent(obj);
        if (c && !c->Name().isEmpty()) out.push_back({name, TextValue::Ident(ComponentRefName(c, obj)), 0});
        break;
      }
      case PropKind::Event: {
        const QString m = p->getEvent(obj);
        if (!m.isEmpty()) out.push_back({name, TextValue::Ident(m), 0});
        break;
      }
    }
  }
  CollectingFiler defined;
  mut.DefineProperties(defined);
  for (auto& [n, v] : defined.values) out.push_back({prefix + n, std::move(v), 0});
}

}  // namespace

std::vector<TextProperty> WriteProperties(const TPersistent& object) {
  std::vector<TextProperty> out;
  WritePropsInto(object, QString(), out);
  return out;
}

TextObject WriteComponentToText(const TComponent& component) {
  TextObject o;
  o.name = component.Name();
  o.className = component.ClassName();
  o.props = WriteProperties(component);
  return o;
}

void BindCompLoadMethods(TPersistent* owner, TObjectProc& afterLoad, TObjectProc& beforeLoad) {
  const auto bind = [owner](TObjectProc& ev, const QString& name) {
    if (ev) return;
    if (auto fn = FindPublishedMethod<void()>(owner, name)) {
      ev.fn = *fn;
      ev.name = name;
    }
  };
  bind(afterLoad, QStringLiteral("CompAfterLoad"));
  bind(beforeLoad, QStringLiteral("CompBeforeLoad"));
}
