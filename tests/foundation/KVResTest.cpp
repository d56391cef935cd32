#include <gtest/gtest.h>

#include "foundation/KVRes.h"
#include "foundation/KVString.h"

TEST(KVRes, EnglishTextsAsTheProgramShowsThem) {
  const TKVLanguageResource& t = LanguageResource();
  EXPECT_EQ(t.RSOK, "OK");
  EXPECT_EQ(t.RSCannotCreateFile, "Cannot create file ");
  EXPECT_EQ(t.RSImportantDatesandHolidays, "Important Dates && Holidays");
  EXPECT_EQ(t.RSMultipleFiles, "Multiple fiels");
  EXPECT_EQ(Format(t.RSUnableConnectURL, {"x"}), "Unable to connect to x");
  EXPECT_EQ(Format("%d%% of %s", {"5", "all"}), "5% of all");
  EXPECT_EQ(t.RSMirovaCalendarDiaryReadOnlyMsg,
            "Mirova Calendar is currently set to display Notavel Diary entries.\r\n"
            "You must use Notavel to add or edit entries. To disable this option go to\r\n"
            "\"Special\" tab and uncheck \"Use Notavel Diary and Password Settings\".");
  EXPECT_EQ(t.RSTextDefBrowser3, "To test the performance of new settings, click \"Test\"");
  // Slot order starts with the button captions.
  const auto props = TKVLanguageResource::StaticClass().AllProps();
  ASSERT_GE(props.size(), 3u);
  EXPECT_EQ(props[0]->name, "RSOK");
  EXPECT_EQ(props[1]->name, "RSCancel");
  EXPECT_EQ(props[2]->name, "RSYes");
}

TEST(KVRes, AssignCopiesEverySlotOrRefuses) {
  TKVLanguageResource a, b;
  a.SetDefaultTexts();
  a.RSOK = "Okay";
  b.Assign(static_cast<const TPersistent&>(a));
  EXPECT_EQ(b.RSOK, "Okay");
  EXPECT_EQ(b.RSNo, "No");
  TStringList other;
  EXPECT_THROW(b.Assign(other), EConvertError);
  EXPECT_EQ(b.RSOK, "Okay");
}

namespace {
class TDoc : public TComponent {
  KV_CLASS(TDoc)
 public:
  TKVLanguageResource Language;
};
const ClassInfo& TDoc::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TDoc>("TDoc", &TComponent::StaticClass()).Obj("Language", &TDoc::Language).Build();
  return ci;
}
}  // namespace

TEST(KVRes, TextsSurviveStreaming) {
  TDoc doc;
  doc.SetName("Lang");
  doc.Language.Assign(LanguageResource());
  const QString text = FormatObjectText(WriteComponentToText(doc));
  TDoc back;
  ReadComponentFromText(back, ParseObjectText(text), TReadHandlers{});
  for (const PropInfo* p : TKVLanguageResource::StaticClass().AllProps())
    EXPECT_EQ(p->getStr(back.Language), p->getStr(LanguageResource())) << p->name.toStdString();
}
