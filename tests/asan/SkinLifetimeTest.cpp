// Lifetimes of widgets that are components: forms owning and parenting skinned children, deleted
// in every order a program meets. Built with AddressSanitizer, so a read of freed memory fails the
// test where an ordinary build would pass by luck.
#include <QApplication>
#include <QChildEvent>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

#include "controls/KVSkinCtrls.h"
#include "foundation/KVForms.h"
#include "foundation/KVSkinData.h"
#include "tests/common/SkinTestKit.h"

// Leak reports would only list the toolkit's process-wide caches.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

using namespace kvtest;

namespace {

// What a real form does: its own fields, read when a component goes and when a child widget goes.
struct FormFields {
  std::vector<int> removed{0};
  std::vector<int> childEvents{0};
  std::vector<QString> clicks;
};

// A form that is both widget and component the way the hazard was first met: without the base,
// whichever of the two bases comes first.
class NaiveComponentFirst : public TComponent, public QWidget {
 public:
  NaiveComponentFirst() { SetName(QStringLiteral("Naive")); }
  bool IsForm() const override { return true; }
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    ++fields.removed[0];
  }
  FormFields fields;
};

class NaiveWidgetFirst : public QWidget, public TComponent {
 public:
  NaiveWidgetFirst() { SetName(QStringLiteral("Naive")); }
  bool IsForm() const override { return true; }

 protected:
  void childEvent(QChildEvent* e) override {
    QWidget::childEvent(e);
    ++fields.childEvents[0];
  }

 public:
  FormFields fields;
};

// The same form on the base. Careful frees its components first, as a form whose fields serve its
// components must; Forgetful relies on the base alone.
template <bool Careful>
class TTestForm : public TKVForm {
 public:
  TTestForm() { SetName(QStringLiteral("F")); }
  ~TTestForm() override {
    if (Careful) FreeComponents();
  }
  void Notification(TComponent* c, TOperation op) override {
    TKVForm::Notification(c, op);
    ++fields.removed[0];
  }
  FormFields fields;
  TAppSkin memberSkin;  // a skin held as a field, bound to the children

 protected:
  void childEvent(QChildEvent* e) override {
    TKVForm::childEvent(e);
    ++fields.childEvents[0];
  }
};

// A skin with one strip and a map text with two areas, A on.
void FillSkin(TAppSkin& skin) {
  TKVBitmapList strip;
  FillStrip(strip, {SkinImage(40, 30, Qt::white), SkinImage(40, 30, Qt::blue)});
  LoadSkinPackage(skin, SkinPackage({StripBytes(strip)},
                                    {"F\r\n"
                                     "object Map: TKVSkinMap\r\n"
                                     "  Skin.idxOff = 0\r\n"
                                     "  Skin.idxOn = 1\r\n"
                                     "  Areas = <\r\n"
                                     "    item\r\n"
                                     "      DisplayName = 'A'\r\n"
                                     "      State = cstOn\r\n"
                                     "      Area = '0,0,20,20'\r\n"
                                     "    end\r\n"
                                     "    item\r\n"
                                     "      DisplayName = 'B'\r\n"
                                     "      Area = '20,0,40,20'\r\n"
                                     "    end>\r\n"
                                     "end\r\n"
                                     "object Panel: TKVSkinPanel\r\n"
                                     "  Skin.idxOff = 0\r\n"
                                     "  Skin.PaintType = ptImage\r\n"
                                     "end\r\n"}));
}

// Children the way forms build them: a panel on the form, a map on the panel and a string list,
// all owned by the form; the map's unclick handler writes into the form's fields.
template <class Form>
void Populate(Form& form, TAppSkin& skin, std::vector<QString>* clicks) {
  auto* panel = new TKVSkinPanel(&form, &form);
  panel->SetName(QStringLiteral("Panel"));
  auto* map = new TKVSkinMap(&form, panel);
  map->SetName(QStringLiteral("Map"));
  auto* strings = new TKVSkinStrings(&form);
  strings->SetName(QStringLiteral("Strings"));
  for (TKVSkinComponentData* s : {static_cast<TKVSkinComponentData*>(&panel->Skin()),
                                  static_cast<TKVSkinComponentData*>(&map->Skin()), &strings->Skin()})
    s->SetAppSkin(&skin);
  map->OnMapUnClick.Set([clicks](TMapArea*, const QString& name, int) { clicks->push_back(name); });
  FillSkin(skin);
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
TEST(SkinLifetime, TheHazardIsRealWithoutTheBase) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Component first: the widget part frees the children, whose removal reaches the form's
  // Notification after the form's fields are gone.
  EXPECT_DEATH(
      {
        auto* f = new NaiveComponentFirst;
        TAppSkin skin;
        Populate(*f, skin, &f->fields.clicks);
        delete f;
      },
      "heap-use-after-free");
  // Widget first: the component part frees the children, whose removal reaches the form's
  // childEvent after the form's fields are gone.
  EXPECT_DEATH(
      {
        auto* f = new NaiveWidgetFirst;
        TAppSkin skin;
        Populate(*f, skin, &f->fields.clicks);
        delete f;
      },
      "heap-use-after-free");
}
#endif

TEST(SkinLifetime, FormsOnTheBaseFreeTheirChildrenSafely) {
  for (int careful = 0; careful < 2; ++careful) {
    std::vector<QString> clicks;
    TAppSkin outer;  // a skin that outlives the form
    {
      auto* f = careful ? static_cast<TKVForm*>(new TTestForm<true>) : static_cast<TKVForm*>(new TTestForm<false>);
      TAppSkin& skin = careful ? static_cast<TTestForm<true>*>(f)->memberSkin
                               : static_cast<TTestForm<false>*>(f)->memberSkin;
      Populate(*f, skin, &clicks);
      auto* map = FindNamed<TKVSkinMap>(*f, "Map");
      ASSERT_NE(map, nullptr);
      EXPECT_EQ(map->GetAreaState("A"), cstOn);
      // Half the children move to the outer skin, so both kinds of skin meet the deletion.
      map->Skin().SetAppSkin(&outer);
      f->show();
      QApplication::processEvents();
      delete f;
    }
    EXPECT_TRUE(clicks.empty()) << careful;  // going away is not an unclick
    EXPECT_TRUE(outer.Components().empty());
    FillSkin(outer);  // a skin that outlives its controls holds no dangling binding
  }
}

TEST(SkinLifetime, ChildrenDeletedInEveryOrder) {
  // A skin component owned by the form goes before the controls bound to it.
  {
    TTestForm<false> f;
    auto* skin = new TAppSkin(&f);
    std::vector<QString> clicks;
    Populate(f, *skin, &clicks);
    delete skin;
    auto* map = FindNamed<TKVSkinMap>(f, "Map");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->Skin().AppSkin(), &DefaultSkin());
    map->update();
    QApplication::processEvents();
  }
  // The panel goes first and takes the map (its child widget) with it; the form then frees the rest.
  {
    auto* f = new TTestForm<true>;
    std::vector<QString> clicks;
    Populate(*f, f->memberSkin, &clicks);
    delete FindNamed<TKVSkinPanel>(*f, "Panel");
    EXPECT_EQ(f->FindComponent(QStringLiteral("Map")), nullptr);
    delete f;
  }
  // A control that owns components frees them while it is whole.
  {
    TTestForm<true> f;
    auto* panel = new TKVSkinPanel(&f, &f);
    auto* map = new TKVSkinMap(panel, &f);
    map->Skin().SetAppSkin(&f.memberSkin);
    QPointer<TKVSkinMap> watch(map);
    delete panel;
    EXPECT_TRUE(watch.isNull());
  }
  // A handler closes the form from a click; it goes at the next turn of the event loop.
  {
    auto* f = new TTestForm<true>;
    std::vector<QString> clicks;
    Populate(*f, f->memberSkin, &clicks);
    f->resize(100, 100);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f));
    QPointer<QWidget> watch(f);
    auto* map = FindNamed<TKVSkinMap>(*f, "Map");
    map->OnMapClick.Set([f](TMapArea*, const QString&, int) { f->deleteLater(); });
    QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(25, 5));
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(clicks, std::vector<QString>({"A"}));  // A went off when B was selected
  }
  // A skin loaded while its form's children come and go finds only live bindings.
  {
    TAppSkin skin;
    for (int i = 0; i < 3; ++i) {
      TTestForm<false> f;
      std::vector<QString> clicks;
      Populate(f, skin, &clicks);
      FillSkin(skin);
    }
    EXPECT_TRUE(skin.Components().empty());
    FillSkin(skin);
  }
}
