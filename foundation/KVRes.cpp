#include "foundation/KVRes.h"

#include <map>

const ClassInfo& TKVLanguageResource::StaticClass() {
  static const ClassInfo ci = [] {
    ClassBuilder<TKVLanguageResource> b("TKVLanguageResource", &TPersistent::StaticClass());
#define KV_REGISTER_SLOT(name, text) b.Str(#name, &TKVLanguageResource::name);
    KV_LANGUAGE_SLOTS(KV_REGISTER_SLOT)
#undef KV_REGISTER_SLOT
    return b.Build();
  }();
  return ci;
}

void TKVLanguageResource::SetDefaultTexts() {
#define KV_DEFAULT_SLOT(name, text) name = QString::fromUtf8(text);
  KV_LANGUAGE_SLOTS(KV_DEFAULT_SLOT)
#undef KV_DEFAULT_SLOT
}

void TKVLanguageResource::Assign(const TKVLanguageResource& source) {
#define KV_COPY_SLOT(name, text) name = source.name;
  KV_LANGUAGE_SLOTS(KV_COPY_SLOT)
#undef KV_COPY_SLOT
}

void TKVLanguageResource::Assign(const TPersistent& source) {
  if (source.InheritsFrom(StaticClass())) {
    Assign(static_cast<const TKVLanguageResource&>(source));
    return;
  }
  TPersistent::Assign(source);
}

TKVLanguageResource& LanguageResource() {
  static TKVLanguageResource* table = [] {
    auto* t = new TKVLanguageResource;  // lives to process end, like every reader expects
    t->SetDefaultTexts();
    return t;
  }();
  return *table;
}

namespace {
std::map<int, std::function<void()>>& Handlers() {
  static std::map<int, std::function<void()>> h;
  return h;
}
int g_nextHandler = 1;
}  // namespace

int AddLanguageChangeHandler(std::function<void()> handler) {
  const int id = g_nextHandler++;
  Handlers()[id] = std::move(handler);
  return id;
}

void RemoveLanguageChangeHandler(int id) { Handlers().erase(id); }

void NotifyLanguageChanged() {
  const auto copy = Handlers();
  for (const auto& [id, fn] : copy) fn();
}
