#include "calendar/MirModel.h"

#include <QImage>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/iniData.h"
#include "controls/KVNbModule.h"
#include "foundation/KVSkin.h"
#include "foundation/KVSysUtils.h"
#include "tests/common/MainFormComponent.h"
#include "tests/common/TestUtil.h"

namespace {

using kvtest::FormComponent;

}  // namespace

TEST(MirModel, ComponentsCarryTheirNamesAndThePackSkinReachesTheSettings) {
  FormComponent form;
  {
    TMirModel m(form);
    for (const char* name : {"ini", "Lini", "MirPackIni", "DiaryBase", "NotesBase", "HolidayBase", "IconBase",
                             "EventBase", "NbDiary", "MirPackSkin", "LayoutSkin"})
      EXPECT_NE(form.FindComponent(QLatin1String(name)), nullptr) << name;
    EXPECT_TRUE(m.Busy());  // nothing is drawn before start-up clears it
    // A pack's text for the main form sets the pack colours of the settings.
    m.MirPackSkin->Forms.push_back({kMainFormName, QStringList{"object ini: Tini", "  DayColor = clRed", "end"}});
    m.MirPackSkin->ApplyForms();
    EXPECT_EQ(m.Ini->PackDefaults.DayColor, clRed);
  }
  EXPECT_EQ(form.ComponentCount(), 0);  // the model freed what it made; the form frees nothing twice
}

TEST(MirModel, DrawsFromItsStateOnlyWhenNotBusy) {
  FormComponent form;
  TMirModelHooks hooks;
  hooks.ScreenSize = [] { return QSize(320, 200); };
  TMirModel m(form, hooks);
  QImage pic(64, 48, QImage::Format_RGB32);
  pic.fill(Qt::darkGreen);
  const QString file = kvtest::TestRoot() + "/model-pic.png";
  ASSERT_TRUE(pic.save(file));
  m.Ini->UserImageSet = true;
  m.UsedImages = {file};
  EXPECT_FALSE(m.RenderCalendar(true));
  EXPECT_TRUE(m.Render.Preview.Image().isNull());
  m.SetBusy(false);
  ASSERT_TRUE(m.RenderCalendar(true));
  EXPECT_EQ(m.Render.Preview.Image().size(), QSize(320, 200));
  EXPECT_TRUE(m.Render.Dirty);
  // The tray keeps nothing of a drawing once the desktop has it; the next drawing loads again.
  ASSERT_TRUE(m.RenderCalendar(false));
  m.ReleaseDrawingMemory();
  EXPECT_TRUE(m.Render.Preview.Empty());
  EXPECT_TRUE(m.Render.Spare.Empty());
  EXPECT_EQ(m.Render.CurrentPicture, nullptr);
  ASSERT_TRUE(m.RenderCalendar(false));
  EXPECT_EQ(m.Render.Preview.Image().pixelColor(160, 100), QColor(Qt::darkGreen));
}

TEST(MirModel, TheDiaryLookUpFindsEntriesByDateKey) {
  FormComponent form;
  TMirModel m(form);
  m.NbDiary->Data().StoreEntry("2024/03/07", "t", "{\\rtf1 hello}", clBlack, 0, nbsmOverwrite);
  m.NbDiary->Data().StoreEntry("2024/03/08", "t", "", clBlack, 0, nbsmOverwrite);
  EXPECT_EQ(m.FindDiaryEntry("2024/03/07"), std::optional<QString>("{\\rtf1 hello}"));
  EXPECT_EQ(m.FindDiaryEntry("2024/03/08"), std::nullopt);
  EXPECT_EQ(m.FindDiaryEntry("2024/03/09"), std::nullopt);
}
