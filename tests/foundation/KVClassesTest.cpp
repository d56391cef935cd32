#include <gtest/gtest.h>

#include "foundation/KVClasses.h"

namespace {

enum TShape { shCircle, shSquare, shTriangle };
const EnumInfo kShapeEnum{"TShape", {"shCircle", "shSquare", "shTriangle"}};
const EnumInfo kAnchorEnum{"TAnchorKind", {"akLeft", "akTop", "akRight", "akBottom"}};

class TItem : public TCollectionItem {
  KV_CLASS(TItem)
 public:
  using TCollectionItem::TCollectionItem;
  QString Key;
  int Size = 0;
};

class TSub : public TPersistent {
  KV_CLASS(TSub)
 public:
  int Depth = 0;
  TStringList Names;
  QByteArray Blob;
  void DefineProperties(TFiler& filer) override {
    filer.DefineBinaryProperty(
        "Blob", [this](const QByteArray& b) { Blob = b; }, [this] { return Blob; }, !Blob.isEmpty());
  }
};

class TThing : public TComponent {
  KV_CLASS(TThing)
 public:
  using TComponent::TComponent;
  int Count = 0;
  bool Visible = false;
  TShape Shape = shCircle;
  std::uint32_t Anchors = 0;
  double Ratio = 0;
  QString Caption;
  TColor Color = clBtnFace;
  TFont Font;
  TSub Sub;
  TKVCollection<TItem> Items{this};
  TComponent* Partner = nullptr;
  TNotifyEvent OnChange;
  int loadedCalls = 0;
  void Loaded() override { ++loadedCalls; }
};

class TOwnerForm : public TComponent {
  KV_CLASS(TOwnerForm)
 public:
  using TComponent::TComponent;
  int changes = 0;
  void ThingChanged(TPersistent*) { ++changes; }
  void Other() {}
};

const ClassInfo& TItem::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TItem>("TItem", &TCollectionItem::StaticClass())
                                  .Str("Key", &TItem::Key)
                                  .Int("Size", &TItem::Size, 0)
                                  .Build();
  return ci;
}
const ClassInfo& TSub::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TSub>("TSub", &TPersistent::StaticClass())
                                  .Int("Depth", &TSub::Depth, 0)
                                  .Obj("Names", &TSub::Names)
                                  .Build();
  return ci;
}
const ClassInfo& TThing::StaticClass() {
  static const ClassInfo ci =
      ClassBuilder<TThing>("TThing", &TComponent::StaticClass())
          .Int("Count", &TThing::Count)
          .Range(0, 100)
          .Bool("Visible", &TThing::Visible, false)
          .Enum<TShape>("Shape", kShapeEnum, &TThing::Shape, shCircle)
          .Set("Anchors", kAnchorEnum, &TThing::Anchors, 0)
          .Float("Ratio", &TThing::Ratio)
          .Str("Caption", &TThing::Caption)
          .Color("Color", &TThing::Color, clBtnFace)
          .Obj("Font", &TThing::Font)
          .Obj("Sub", &TThing::Sub)
          .Obj("Items", &TThing::Items)
          .Comp("Partner", [](const TThing& t) { return t.Partner; }, [](TThing& t, TComponent* c) { t.Partner = c; })
          .Event("OnChange", &TThing::OnChange)
          .Build();
  return ci;
}
const ClassInfo& TOwnerForm::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TOwnerForm>("TOwnerForm", &TComponent::StaticClass())
                                  .Method("ThingChanged", &TOwnerForm::ThingChanged)
                                  .Method("Other", &TOwnerForm::Other)
                                  .Build();
  return ci;
}

TReadHandlers Skipping(QStringList* errors, TPersistent* methods = nullptr) {
  TReadHandlers h;
  h.onError = [errors](const QString& m) {
    if (errors) *errors << m;
    return true;
  };
  h.methodOwner = methods;
  return h;
}

}  // namespace

TEST(KVClasses, ReadsPropertiesSkippingBadOnesOneByOne) {
  TOwnerForm form;
  auto* thing = new TThing(&form);
  thing->SetName("Thing1");
  auto* other = new TComponent(&form);
  other->SetName("Other1");
  QStringList errors;
  const TextObject block = ParseObjectText(
      "object Renamed: TThing\n"
      "  Count = 7\n"
      "  Unknown = 1\n"
      "  Visible = True\n"
      "  Shape = shSquare\n"
      "  Anchors = [akTop, akBottom]\n"
      "  Ratio = 2\n"
      "  Caption = 'Hi'\n"
      "  Color = clRed\n"
      "  Font.Name = 'Arial'\n"
      "  Font.Height = -16\n"
      "  Font.Style = [fsBold, fsItalic]\n"
      "  Font.Charset = RUSSIAN_CHARSET\n"
      "  Sub.Depth = 3\n"
      "  Sub.Names.Strings = ('a' 'b')\n"
      "  Sub.Blob = {CAFE}\n"
      "  Sub.Nope.Deeper = 1\n"
      "  Items = <item Key = 'k1' Size = 2 end item Key = 'k2' Bogus = 1 Size = 5 end>\n"
      "  Partner = Other1\n"
      "  OnChange = ThingChanged\n"
      "  Count = 'text'\n"
      "  Shape = shHexagon\n"
      "  Anchors = [akTop, akNowhere]\n"
      "  Visible = 1\n"
      "end\n");
  ReadComponentFromText(*thing, block, Skipping(&errors, &form));
  EXPECT_EQ(thing->Name(), "Renamed");
  EXPECT_EQ(thing->Count, 7);
  EXPECT_TRUE(thing->Visible);
  EXPECT_EQ(thing->Shape, shSquare);
  EXPECT_EQ(thing->Anchors, 0b1010u);
  EXPECT_DOUBLE_EQ(thing->Ratio, 2.0);
  EXPECT_EQ(thing->Caption, "Hi");
  EXPECT_EQ(thing->Color, clRed);
  EXPECT_EQ(thing->Font.Name, "Arial");
  EXPECT_EQ(thing->Font.Size, 12);
  EXPECT_EQ(thing->Font.Style, FontStyle(fsBold) | FontStyle(fsItalic));
  EXPECT_EQ(thing->Font.Charset, 204);
  EXPECT_EQ(thing->Sub.Depth, 3);
  EXPECT_EQ(thing->Sub.Names.List(), QStringList({"a", "b"}));
  EXPECT_EQ(thing->Sub.Blob, QByteArray("\xCA\xFE"));
  ASSERT_EQ(thing->Items.Count(), 2);
  EXPECT_EQ(thing->Items[1]->Key, "k2");
  EXPECT_EQ(thing->Items[1]->Size, 5);
  EXPECT_EQ(thing->Partner, other);
  thing->OnChange(thing);
  EXPECT_EQ(form.changes, 1);
  EXPECT_EQ(thing->loadedCalls, 1);
  EXPECT_FALSE(thing->IsLoading());
  // Unknown, Sub.Nope.Deeper, Bogus, and the four ill-typed values at the end.
  EXPECT_EQ(errors.size(), 7) << errors.join("\n").toStdString();
}

TEST(KVClasses, OutOfRangeAndUnboundEventsAreSkipped) {
  TOwnerForm form;
  TThing thing(&form);
  QStringList errors;
  ReadProperties(thing,
                 ParseObjectText("object t: TThing\n Count = 101\n OnChange = Other\n"
                                 " OnChange = Missing\n Partner = Nobody\nend\n").props,
                 Skipping(&errors, &form));
  EXPECT_EQ(thing.Count, 0);
  EXPECT_FALSE(thing.OnChange);
  EXPECT_EQ(errors.size(), 4);
  // Without a handler the first error passes to the caller.
  TReadHandlers strict;
  EXPECT_THROW(ReadProperties(thing, ParseObjectText("object t: TThing\n Count = 101\nend\n").props, strict),
               EReadError);
}

TEST(KVClasses, WritesStoredPropertiesInDeclarationOrder) {
  TThing thing;
  thing.SetName("Thing1");
  thing.Count = 0;
  thing.Shape = shTriangle;
  thing.Caption = "x";
  thing.Color = 0x80000005;
  thing.Sub.Names.append("n");
  thing.Sub.Blob = "\x01";
  thing.Items.Add()->Key = "k";
  const QString text = FormatObjectText(WriteComponentToText(thing));
  EXPECT_EQ(text,
            "object Thing1: TThing\r\n"
            "  Count = 0\r\n"
            "  Shape = shTriangle\r\n"
            "  Caption = 'x'\r\n"
            "  Color = clWindow\r\n"
            "  Font.Charset = DEFAULT_CHARSET\r\n"
            "  Font.Color = clWindowText\r\n"
            "  Font.Height = -11\r\n"
            "  Font.Name = 'MS Sans Serif'\r\n"
            "  Font.Style = []\r\n"
            "  Sub.Names.Strings = (\r\n"
            "    'n')\r\n"
            "  Sub.Blob = {01}\r\n"
            "  Items = <\r\n"
            "    item\r\n"
            "      Key = 'k'\r\n"
            "    end>\r\n"
            "end\r\n");
  // Reading the text back into a fresh object gives the same text.
  TThing copy;
  ReadComponentFromText(copy, ParseObjectText(text), Skipping(nullptr));
  EXPECT_EQ(FormatObjectText(WriteComponentToText(copy)), text);
}

TEST(KVClasses, AssignCopiesPublishedStateOfTheSameClassOnly) {
  TThing a, b;
  a.Count = 4;
  a.Caption = "c";
  a.Font.Size = 20;
  a.Items.Add()->Key = "z";
  a.Sub.Blob = "blob";
  b.Assign(a);
  EXPECT_EQ(b.Count, 4);
  EXPECT_EQ(b.Font.Size, 20);
  ASSERT_EQ(b.Items.Count(), 1);
  EXPECT_EQ(b.Items[0]->Key, "z");
  EXPECT_EQ(b.Sub.Blob, "blob");
  TOwnerForm f;
  EXPECT_THROW(b.Assign(f), EConvertError);
  EXPECT_EQ(b.Count, 4);
}

TEST(KVClasses, ComponentsHearOfRemovals) {
  struct Watcher : TComponent {
    using TComponent::TComponent;
    TComponent* watched = nullptr;
    void Notification(TComponent* c, TOperation op) override {
      TComponent::Notification(c, op);
      if (op == TOperation::opRemove && c == watched) watched = nullptr;
    }
  };
  Watcher w;
  auto* target = new TComponent(nullptr);
  w.watched = target;
  target->FreeNotification(&w);
  delete target;
  EXPECT_EQ(w.watched, nullptr);

  // Siblings of one owner hear through the owner; owned components go with their owner.
  auto* owner = new TComponent(nullptr);
  auto* sib = new Watcher(owner);
  auto* gone = new TComponent(owner);
  sib->watched = gone;
  delete gone;
  EXPECT_EQ(sib->watched, nullptr);
  EXPECT_EQ(owner->ComponentCount(), 1);
  delete owner;  // frees sib
}

TEST(KVClasses, ComponentNamesAreValidAndUniquePerOwner) {
  TComponent owner;
  auto* a = new TComponent(&owner);
  a->SetName("Alpha");
  auto* b = new TComponent(&owner);
  EXPECT_THROW(b->SetName("alpha"), EComponentError);
  EXPECT_THROW(b->SetName("1bad"), EComponentError);
  b->SetName("Beta");
  EXPECT_EQ(owner.FindComponent("BETA"), b);
}

TEST(KVClasses, StringListTextSplitsAtEveryLineEnd) {
  TStringList l;
  l.SetText("a\r\nb\nc\rd\n\re");
  EXPECT_EQ(l.List(), QStringList({"a", "b", "c", "d", "", "e"}));
  EXPECT_EQ(l.Text(), "a\r\nb\r\nc\r\nd\r\n\r\ne\r\n");
  l.SetText("");
  EXPECT_TRUE(l.isEmpty());
}
