#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

#include "foundation/KVSkin.h"
#include "tests/common/SkinTestKit.h"

namespace {

class TX : public TKVSkinIni {
  KV_CLASS(TX)
 public:
  using TKVSkinIni::TKVSkinIni;
  int P = 0, Q = 0;
  int resets = 0;
  QStringList calls;
  void CompBeforeLoad() { calls << "ownerBefore"; }
  void CompAfterLoad() { calls << "ownerAfter"; }
  void ResetDefaults() override {
    ++resets;
    P = Q = 0;
  }
};

class TForm : public TComponent {
  KV_CLASS(TForm)
 public:
  using TComponent::TComponent;
  bool IsForm() const override { return true; }
};

const ClassInfo& TX::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TX>("TX", &TKVSkinIni::StaticClass())
                                  .Int("P", &TX::P, 0)
                                  .Int("Q", &TX::Q, 0)
                                  .Method("CompBeforeLoad", &TX::CompBeforeLoad)
                                  .Method("CompAfterLoad", &TX::CompAfterLoad)
                                  .Build();
  return ci;
}
const ClassInfo& TForm::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TForm>("TForm", &TComponent::StaticClass()).Build();
  return ci;
}

}  // namespace

TEST(KVSkin, ExtractObjectBlockFindsTheComponentsOwnBlock) {
  TX x;
  x.SetName("B");
  const QStringList lines = {
      "object A: TX",       "  P = 1", "end",
      "object b: tx",       "  P = 2", "  object Inner: TY", "    Q = 1", "  end",
      "  Items = <",        "    item", "    end>", "endless line closes it", "after"};
  EXPECT_EQ(ExtractObjectBlock(lines, x),
            "object b: tx\r\n  P = 2\r\n  object Inner: TY\r\n    Q = 1\r\n  end\r\n  Items = <\r\n"
            "    item\r\n    end>\r\nendless line closes it\r\n");
  EXPECT_EQ(ExtractObjectBlock({"OBJECT B: TX", "end"}, x), "");
  EXPECT_EQ(ExtractObjectBlock({"object B: TX", "  P = 1"}, x), "object B: TX\r\n  P = 1\r\n");
  EXPECT_EQ(ExtractObjectBlock({"object C: TX", "end"}, x), "");
}

TEST(KVSkin, ReadSkinTextSkipsWhatTheObjectLacks) {
  TX x;
  x.SetName("x1");
  ReadSkinText("object x1: TX\n  Nope = 5\n  Q = 3\n  P = 'str'\nend\n", x);
  EXPECT_EQ(x.Q, 3);
  EXPECT_EQ(x.P, 0);
  EXPECT_THROW(ReadSkinText("object x1: TX\n  Q = \nend\n", x), EParserError);
  EXPECT_EQ(x.Q, 3);
}

TEST(KVSkin, DefaultBlockThenOwnBlock) {
  TForm form;
  form.SetName("F");
  auto* b = new TX(&form);
  b->SetName("B");
  TAppSkin skin;
  skin.Forms.push_back({"Form0", {"object Default: TX", "  P = 1", "  Q = 2", "end"}});
  skin.Forms.push_back({"F", {"object B: TX", "  Q = 3", "end"}});
  b->Skin().SetAppSkin(&skin);
  EXPECT_EQ(b->Skin().FormName(), "F");
  skin.ApplyForms();
  EXPECT_EQ(b->P, 1);
  EXPECT_EQ(b->Q, 3);
  EXPECT_EQ(b->Name(), "B");  // the default block does not rename it

  // ApplyText resets first: only what the text sets survives.
  b->ApplyText({"object B: TX", "  Q = 9", "end"});
  EXPECT_EQ(b->P, 1);  // from the default block of form 0
  EXPECT_EQ(b->Q, 9);
  skin.Forms.clear();
  b->ApplyText({"object B: TX", "  Q = 4", "end"});
  EXPECT_EQ(b->P, 0);
  EXPECT_EQ(b->Q, 4);
}

TEST(KVSkin, LoadEventsFireAroundEachApplication) {
  TForm form;
  auto* b = new TX(&form);
  b->SetName("B");
  b->Skin().OnBeforeLoad.Set([b](TPersistent*) { b->calls << "before"; });
  b->Skin().OnAfterLoad.Set([b](TPersistent*) { b->calls << "after"; });
  b->ApplyText({"object B: TX", "end"});
  EXPECT_EQ(b->calls, QStringList({"ownerBefore", "before", "ownerAfter", "after"}));
}

TEST(KVSkin, BindingsWithoutAFormGetNoFormText) {
  TComponent owner;
  auto* b = new TX(&owner);
  b->SetName("B");
  EXPECT_EQ(b->Skin().FormName(), "");
  EXPECT_EQ(b->Skin().AppSkin(), &DefaultSkin());
}

TEST(KVSkin, RemovedSkinFallsBackToTheDefault) {
  TX x;
  auto* skin = new TAppSkin(nullptr);
  x.Skin().SetAppSkin(skin);
  EXPECT_EQ(x.Skin().AppSkin(), skin);
  delete skin;
  EXPECT_EQ(x.Skin().AppSkin(), &DefaultSkin());
}

namespace {

QByteArray StripBytes(int n) {
  TKVBitmapList strip;
  for (int i = 0; i < n; ++i) {
    QImage img(10 + i, 8, QImage::Format_BGR888);
    img.fill(Qt::red);
    strip.AddBitmap(img);
  }
  QBuffer b;
  b.open(QIODevice::WriteOnly);
  strip.SaveToStream(b);
  return b.data();
}

}  // namespace

TEST(KVSkin, PackageLoadsStripsAndFormsAndAppliesThem) {
  TForm form;
  form.SetName("F");
  auto* b = new TX(&form);
  b->SetName("B");
  TAppSkin skin;
  b->Skin().SetAppSkin(&skin);
  int loads = 0;
  skin.OnLoadSkin.Set([&loads](TPersistent*) { ++loads; });
  kvtest::LoadSkinPackage(skin, kvtest::SkinPackage("imagescount=2\r\nformscount=1\r\n", {StripBytes(3), StripBytes(1)},
                            {"F\r\nobject B: TX\r\n  P = 5\r\nend\r\n"}, "inner"));
  EXPECT_EQ(loads, 1);
  ASSERT_EQ(skin.Images.Count(), 2);
  EXPECT_EQ(skin.Images.Items(0)->Count(), 3);
  EXPECT_EQ(skin.Images.Items(1)->EntryWidth(0), 10);
  ASSERT_EQ(skin.Forms.size(), 1u);  // the form text sat in entry 4
  EXPECT_EQ(skin.Forms[0].name, "F");
  EXPECT_EQ(b->P, 5);
  EXPECT_EQ(skin.PackReader.Count(), 1);
  EXPECT_EQ(skin.PackReader.ReadBuffer(0), "inner");

  // A second package replaces everything of the first.
  kvtest::LoadSkinPackage(skin, kvtest::SkinPackage("formscount=1", {}, {"G\r\nobject B: TX\r\nend\r\n"}));
  EXPECT_EQ(skin.Images.Count(), 0);
  ASSERT_EQ(skin.Forms.size(), 1u);
  EXPECT_EQ(skin.Forms[0].name, "G");
  EXPECT_EQ(loads, 2);
}

TEST(KVSkin, HostilePackagesLoadWhatTheyCan) {
  TForm form;
  form.SetName("F");
  auto* b = new TX(&form);
  b->SetName("B");
  auto* c = new TX(&form);
  c->SetName("C");
  TAppSkin skin;
  b->Skin().SetAppSkin(&skin);
  c->Skin().SetAppSkin(&skin);
  // Counts beyond the entries, a strip that is garbage, a malformed block for B.
  kvtest::LoadSkinPackage(skin, kvtest::SkinPackage("imagescount=1\r\nformscount=99", {"garbage"},
                            {"F\r\nobject B: TX\r\n  P = 'unterminated\r\nend\r\nobject C: TX\r\n  Q = 7\r\nend\r\n"}));
  EXPECT_EQ(skin.Images.Count(), 1);
  EXPECT_EQ(skin.Images.Items(0)->Count(), 0);
  EXPECT_EQ(b->P, 0);
  EXPECT_EQ(c->Q, 7);
  // No entries at all: everything cleared, the event still fires.
  int loads = 0;
  skin.OnLoadSkin.Set([&loads](TPersistent*) { ++loads; });
  kvtest::LoadSkinPackage(skin, QByteArray("\0\0\0\0\0\0\0\0", 8));
  EXPECT_TRUE(skin.Forms.empty());
  EXPECT_EQ(loads, 1);
  kvtest::LoadSkinPackage(skin, "not a pack");
  EXPECT_EQ(loads, 2);
}
