#include "ui/StyleTab.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "calendar/MirRender.h"
#include "controls/KVFontCombo.h"
#include "controls/KVSkinExtCtrls.h"
#include "controls/KVStdCtrls.h"
#include "controls/MirPanels.h"
#include "foundation/KVException.h"
#include "tests/common/FormTestKit.h"
#include "tests/ui/StyleTestUtil.h"

using namespace styletest;
using kvtest::Child;

namespace {

// A stored style with values of every kind, some between the controls' steps.
void StoreStyle(TCalendarStyle& s) {
  s.DayFont.Name = QStringLiteral("DejaVu Sans");
  s.DayFont.Style = FontStyle(fsBold);
  s.DaySpace = 3;
  s.DayShadow = 2;
  s.BevelStyle = 1;
  s.MonthBarTransparency = 47;
  s.NotesTransparency = 47;
  s.MonthContrast = 135;
  s.DayContrast = -75;
  s.CalculateBackColors = false;
  s.UseDefaultColors = false;
  s.BackColor = 0x00112233;
  s.SundayColor = 0x80000005;  // a system colour, which the picker shows resolved
  s.LayoutID = 151;
}

struct Page : StyleFixture {
  explicit Page(const QString& name) : StyleFixture(name) {
    StoreStyle(stored());
    page->LoadLayouts();
    page->DefaultSettings();
    rec = {};
  }
  template <class T>
  T& c(const char* name) {
    return Child<T>(*page, name);
  }
  QByteArray Registry() {
    RegistryStore::Of(TRootKey::HKEY_CURRENT_USER).Flush();
    return kvtest::ReadFile(RegistryStore::Of(TRootKey::HKEY_CURRENT_USER).FileName());
  }
};

bool SameStyle(const TCalendarStyle& a, const TCalendarStyle& b) {
  return a.CalculateBackColors == b.CalculateBackColors && a.UseDefaultColors == b.UseDefaultColors &&
         a.BevelStyle == b.BevelStyle && a.BackColor == b.BackColor && a.SaturdayBackColor == b.SaturdayBackColor &&
         a.SundayBackColor == b.SundayBackColor && a.DayColor == b.DayColor && a.SaturdayColor == b.SaturdayColor &&
         a.SundayColor == b.SundayColor && a.DayShadowColor == b.DayShadowColor && a.TodayColor == b.TodayColor &&
         a.DayFont == b.DayFont && a.DaySpace == b.DaySpace && a.DayShadow == b.DayShadow &&
         a.DayContrast == b.DayContrast && a.MonthBarTransparency == b.MonthBarTransparency &&
         a.MonthContrast == b.MonthContrast && a.NotesTransparency == b.NotesTransparency && a.LayoutID == b.LayoutID;
}

}  // namespace

TEST(StyleTab, TheStoredStyleIsShownWithoutDrawingAndInBetweenValuesStayExact) {
  Page p("style-shown");
  EXPECT_EQ(p.c<QComboBox>("DaySpaceBox").currentIndex(), 3);
  EXPECT_EQ(p.c<QComboBox>("DayShadowBox").currentIndex(), 2);
  EXPECT_EQ(p.c<QComboBox>("BevelBox").currentText(), "Lowered");
  EXPECT_EQ(p.c<QSlider>("TransparencyTrack").value(), 11);
  EXPECT_EQ(p.c<QSlider>("NotesTransparencyTrack").value(), 11);
  EXPECT_EQ(p.c<QSlider>("MonthContrastTrack").value(), 13);
  EXPECT_EQ(p.c<QSlider>("DayContrastTrack").value(), -75);
  EXPECT_EQ(p.c<QLineEdit>("DayContrastEdit").text(), "-75");
  EXPECT_EQ(p.c<TKVFontComboBox>("CalFontBox").currentText(), "DejaVu Sans");
  EXPECT_TRUE(p.c<QToolButton>("CalBoldBtn").isChecked());
  EXPECT_FALSE(p.c<QToolButton>("CalItalicBtn").isChecked());
  EXPECT_TRUE(p.c<QRadioButton>("SundayBgColBtn").isVisibleTo(p.page.get()));
  EXPECT_FALSE(p.c<QGroupBox>("GroupBox16").isVisibleTo(p.page.get()));
  EXPECT_TRUE(p.c<QRadioButton>("CalendarBaseColBtn").isChecked());
  EXPECT_EQ(p.page->RGBPicker().Color(), 0x00112233u);
  EXPECT_EQ(p.model->Layout->LayoutID, 151);
  EXPECT_EQ(p.page->LayoutScroll().Panel(p.page->LayoutScroll().ItemIndex())->LayoutID, 151);
  // Positions set from code ran no handler: 47, 47 and 135 are still what they were.
  EXPECT_EQ(p.work().MonthBarTransparency, 47);
  EXPECT_EQ(p.work().NotesTransparency, 47);
  EXPECT_EQ(p.work().MonthContrast, 135);
  EXPECT_TRUE(SameStyle(p.work(), p.stored()));
  Settle();
  EXPECT_TRUE(p.rec.renders.isEmpty());
  EXPECT_FALSE(p.model->Busy());

  // Moving a track takes its step.
  QTest::keyClick(&p.c<QSlider>("TransparencyTrack"), Qt::Key_Right);
  EXPECT_EQ(p.work().MonthBarTransparency, 40);
  EXPECT_EQ(p.stored().MonthBarTransparency, 47);
}

TEST(StyleTab, EachControlEditsTheWorkingStyleOnlyAndRedrawsAsItShould) {
  Page p("style-controls");
  const QByteArray before = [&] {
    p.model->RenderCalendar(true);  // the first drawing saves the settings
    return p.Registry();
  }();
  // Each step: what the user does, then the drawing it brought (true: the layout recalculated).
  const auto drawn = [&p] {
    Settle();
    EXPECT_EQ(p.rec.renders.size(), 1);
    const bool recalc = !p.rec.renders.isEmpty() && p.rec.renders.last();
    p.rec = {};
    return recalc;
  };
  kvtest::ChooseItem(p.c<QComboBox>("DaySpaceBox"), 0);  // three steps up, one drawing
  EXPECT_EQ(p.work().DaySpace, 0);
  EXPECT_TRUE(drawn());
  kvtest::ChooseItem(p.c<QComboBox>("DayShadowBox"), 0);
  EXPECT_EQ(p.work().DayShadow, 0);
  EXPECT_FALSE(drawn());
  kvtest::ChooseItem(p.c<QComboBox>("BevelBox"), 2);
  EXPECT_EQ(p.work().BevelStyle, 2);
  EXPECT_FALSE(drawn());
  kvtest::Click(p.c<QToolButton>("CalItalicBtn"));
  EXPECT_TRUE(p.work().DayFont.HasStyle(fsItalic));
  EXPECT_TRUE(p.c<QToolButton>("CalItalicBtn").isChecked());
  EXPECT_TRUE(drawn());
  kvtest::Click(p.c<QToolButton>("CalBoldBtn"));
  EXPECT_FALSE(p.work().DayFont.HasStyle(fsBold));
  EXPECT_TRUE(drawn());

  auto& font = p.c<TKVFontComboBox>("CalFontBox");
  const int serif = font.findText("DejaVu Serif");
  ASSERT_GE(serif, 0);
  kvtest::ChooseItem(font, serif);
  EXPECT_EQ(p.work().DayFont.Name, "DejaVu Serif");
  EXPECT_TRUE(drawn());
  auto& charset = p.c<TKVFontCharsetComboBox>("CalFontCharsetBox");
  const int cyrillic = charset.IndexOfCharset(204);
  ASSERT_GE(cyrillic, 0);
  kvtest::ChooseItem(charset, cyrillic);
  EXPECT_EQ(p.work().DayFont.Charset, 204);
  EXPECT_TRUE(drawn());

  auto& transparency = p.c<QSlider>("TransparencyTrack");
  QTest::keyClick(&transparency, Qt::Key_Home);
  EXPECT_EQ(p.work().MonthBarTransparency, 100);
  QTest::keyClick(&transparency, Qt::Key_End);
  EXPECT_EQ(p.work().MonthBarTransparency, 0);
  QTest::keyClick(&p.c<QSlider>("NotesTransparencyTrack"), Qt::Key_End);
  EXPECT_EQ(p.work().NotesTransparency, 5);
  auto& contrast = p.c<QSlider>("MonthContrastTrack");
  QTest::keyClick(&contrast, Qt::Key_Right);  // 13 -> 14
  QTest::keyClick(&contrast, Qt::Key_Left);
  EXPECT_EQ(p.work().MonthContrast, 130);
  EXPECT_FALSE(drawn());  // five moves, one drawing

  // The stored style and the registry saw none of it.
  EXPECT_EQ(p.stored().DaySpace, 3);
  EXPECT_EQ(p.stored().MonthBarTransparency, 47);
  EXPECT_TRUE(p.stored().DayFont.HasStyle(fsBold));
  EXPECT_EQ(p.stored().DayFont.Name, "DejaVu Sans");
  EXPECT_EQ(p.Registry(), before);
}

TEST(StyleTab, TypingANumberIntoTheDayContrastEdit) {
  Page p("style-contrast-edit");
  kvtest::Click(p.c<QCheckBox>("CalculateSatSunChk"));
  p.rec = {};
  auto& edit = p.c<QLineEdit>("DayContrastEdit");
  auto& track = p.c<QSlider>("DayContrastTrack");
  kvtest::TypeInto(edit, "-25");
  EXPECT_EQ(p.work().DayContrast, -25);
  EXPECT_EQ(track.value(), -25);
  EXPECT_EQ(edit.text(), "-25");
  Settle();
  EXPECT_EQ(p.rec.renders, (QList<bool>{false}));  // one drawing for the number typed

  kvtest::TypeInto(edit, "-350");
  EXPECT_EQ(p.work().DayContrast, -200);
  EXPECT_EQ(edit.text(), "-200");
  kvtest::TypeInto(edit, "500");
  EXPECT_EQ(p.work().DayContrast, 200);
  EXPECT_EQ(edit.text(), "200");
  kvtest::TypeInto(edit, "x");
  EXPECT_EQ(p.work().DayContrast, 0);  // no number counts as 0
  // A lone sign waits; leaving the edit shows the value again.
  kvtest::TypeInto(edit, "-");
  EXPECT_EQ(p.work().DayContrast, 0);
  QMetaObject::invokeMethod(&edit, "editingFinished");
  EXPECT_EQ(edit.text(), "0");
  // The track writes the edit.
  QTest::keyClick(&track, Qt::Key_PageDown);
  EXPECT_EQ(p.work().DayContrast, -25);
  EXPECT_EQ(edit.text(), "-25");
  EXPECT_EQ(p.stored().DayContrast, -75);
}

TEST(StyleTab, AColourButtonOnlyShowsItsColourAndThePickerChangesIt) {
  Page p("style-colours");
  auto& sunday = p.c<QRadioButton>("SundayColBtn");
  kvtest::Click(sunday);
  EXPECT_TRUE(sunday.isChecked());
  EXPECT_EQ(p.work().SundayColor, 0x80000005u);  // not rewritten as the resolved colour
  EXPECT_EQ(p.page->RGBPicker().Color(), ColorToRGB(0x80000005));
  Settle();
  EXPECT_TRUE(p.rec.renders.isEmpty());

  kvtest::TypeInto(p.page->RGBPicker().Edit(0), "12");
  kvtest::TypeInto(p.page->RGBPicker().Edit(1), "34");
  EXPECT_EQ(p.work().SundayColor & 0xFFFFu, 0x220Cu);
  EXPECT_EQ(p.work().BackColor, 0x00112233u);
  EXPECT_EQ(p.stored().SundayColor, 0x80000005u);
  Settle();
  EXPECT_EQ(p.rec.renders, (QList<bool>{false}));

  // Deriving the weekend backgrounds moves the choice off a hidden button.
  kvtest::Click(p.c<QRadioButton>("SaturdayBgColBtn"));
  kvtest::Click(p.c<QCheckBox>("CalculateSatSunChk"));
  EXPECT_TRUE(p.work().CalculateBackColors);
  EXPECT_TRUE(p.c<QRadioButton>("CalendarBaseColBtn").isChecked());
  EXPECT_FALSE(p.c<QRadioButton>("SaturdayBgColBtn").isVisibleTo(p.page.get()));
  EXPECT_TRUE(p.c<QGroupBox>("GroupBox16").isVisibleTo(p.page.get()));
  EXPECT_EQ(p.page->RGBPicker().Color(), 0x00112233u);

  // The pack's colours disable every colour control until unchecked.
  auto& pack = p.c<QCheckBox>("ImagePackDefaultColorsChk");
  kvtest::Click(pack);
  EXPECT_TRUE(p.work().UseDefaultColors);
  for (const char* n : {"CalculateSatSunChk", "CalendarBaseColBtn", "DaysColBtn", "DayShadowColBtn",
                        "DayContrastTrack", "DayContrastEdit", "RGBPicker"})
    EXPECT_FALSE(p.c<QWidget>(n).isEnabled()) << n;
  kvtest::Click(pack);
  for (const char* n : {"CalculateSatSunChk", "TodayColBtn", "DayContrastEdit", "RGBPicker"})
    EXPECT_TRUE(p.c<QWidget>(n).isEnabled()) << n;
  Settle();
  EXPECT_EQ(p.rec.renders.size(), 2);
}

TEST(StyleTab, UndoRestoresTheStoredStyleAndDrawsOnce) {
  Page p("style-undo");
  p.ini().ShowNotes = false;
  kvtest::Click(p.c<QToolButton>("CalItalicBtn"));
  QTest::keyClick(&p.c<QSlider>("TransparencyTrack"), Qt::Key_End);
  kvtest::ChooseItem(p.c<QComboBox>("DaySpaceBox"), 1);
  kvtest::Click(p.c<QRadioButton>("TodayColBtn"));
  kvtest::TypeInto(p.page->RGBPicker().Edit(2), "9");
  TLayoutList& list = p.page->LayoutScroll();
  const int other = list.ItemIndex() == 0 ? 1 : 0;
  QTest::mouseClick(&list.Panel(other)->Image(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_NE(p.model->Layout->LayoutID, 151);
  ASSERT_FALSE(SameStyle(p.work(), p.stored()));
  p.rec = {};

  kvtest::Click(p.c<QPushButton>("UndoChangesBtn"));
  EXPECT_TRUE(SameStyle(p.work(), p.stored()));
  EXPECT_EQ(p.model->Layout->LayoutID, 151);
  EXPECT_EQ(p.c<QSlider>("TransparencyTrack").value(), 11);
  EXPECT_EQ(p.c<QComboBox>("DaySpaceBox").currentIndex(), 3);
  EXPECT_FALSE(p.c<QToolButton>("CalItalicBtn").isChecked());
  EXPECT_EQ(p.rec.NotesHidden, true);  // the hide-notes command shows the notes setting
  Settle();
  EXPECT_EQ(p.rec.renders, (QList<bool>{true}));
  EXPECT_FALSE(p.model->Busy());
}

TEST(StyleTab, AnErrorWhileRefillingLeavesTheRendererWorking) {
  StyleFixture f("style-busy-guard");
  f.page.reset();  // one page per form
  TStyleTabHooks h;
  h.WorkArea = []() -> TWorkArea { throw EKVError("no screen"); };
  TStyleTab page(*f.model, h);
  page.LoadLayouts();
  EXPECT_FALSE(f.model->Busy());
  EXPECT_THROW(page.DefaultSettings(), EKVError);
  EXPECT_FALSE(f.model->Busy());
  EXPECT_THROW(page.UndoChangesBtnClick(), EKVError);
  EXPECT_FALSE(f.model->Busy());
}

TEST(StyleTab, TheFontFitsTheMonthLineOfTheChosenLayoutAndStopsAtAFloor) {
  StyleFixture f("style-font-fit", kvpack::PackBytes(kLayoutPackVersion, {}));
  f.WritePack("a.mlt", {LayoutEntry(LayoutText(3, UprightMonthLine(320))), LayoutEntry(LayoutText(20))});
  f.area = {1080, 40, 1032, 96};
  f.page->LoadLayouts();
  TLayoutList& list = f.page->LayoutScroll();
  QTest::mouseClick(&list.Panel(0)->Image(), Qt::LeftButton, {}, QPoint(5, 5));
  Settle();
  const TRenderState& r = f.model->Render;
  const int small = r.CalendarFontSize;
  EXPECT_LT(r.DayRowHeight * 31 + 6, 320);
  EXPECT_TRUE(f.page->findChild<QComboBox*>("DaySpaceBox")->isEnabled());
  // Without a month line the whole work area is the room, and month line controls rest.
  QTest::mouseClick(&list.Panel(1)->Image(), Qt::LeftButton, {}, QPoint(5, 5));
  Settle();
  EXPECT_GT(r.CalendarFontSize, small);
  EXPECT_LT(r.DayRowHeight * 31 + 6, 1032 - 40);
  EXPECT_FALSE(f.page->findChild<QComboBox*>("DaySpaceBox")->isEnabled());
  EXPECT_FALSE(f.page->findChild<QSlider*>("MonthContrastTrack")->isEnabled());
  EXPECT_EQ(f.rec.renders, (QList<bool>{true, true}));

  // A work area too low for any size ends at size 1.
  f.area = {60, 0, 40, 96};
  f.page->FitCalendarFont();
  EXPECT_EQ(r.CalendarFontSize, 1);
}

TEST(StyleTab, DraggingATrackQueuesAtMostOneDrawing) {
  Page p("style-drag");
  p.page->resize(640, 420);
  p.page->show();
  auto& track = p.c<QSlider>("TransparencyTrack");
  QTest::keyClick(&track, Qt::Key_Home);
  Settle();
  p.rec = {};
  const int requested = p.page->RedrawsRequested();

  // A quick drag: every move arrives before the program gets to draw.
  const QPoint start = HandleCentre(track);
  QTest::mousePress(&track, Qt::LeftButton, {}, start);
  for (int x = start.x(); x <= track.width(); x += 4) {
    QTest::mouseMove(&track, QPoint(x, start.y()));
    EXPECT_LE(p.rec.renders.size(), 0);
  }
  QTest::mouseRelease(&track, Qt::LeftButton, {}, QPoint(track.width(), start.y()));
  EXPECT_EQ(track.value(), 20);
  EXPECT_GE(p.page->RedrawsRequested() - requested, 10);
  EXPECT_TRUE(p.page->RedrawQueued());
  Settle();
  EXPECT_EQ(p.rec.renders.size(), 1);
  EXPECT_EQ(p.work().MonthBarTransparency, 0);

  // A slow drag draws at most once per step, never more than the moves asked for.
  p.rec = {};
  const QPoint end = HandleCentre(track);
  QTest::mousePress(&track, Qt::LeftButton, {}, end);
  int moves = 0;
  for (int x = end.x(); x >= 0; x -= 8, ++moves) {
    QTest::mouseMove(&track, QPoint(x, end.y()));
    Settle();
    EXPECT_FALSE(p.page->RedrawQueued());
  }
  QTest::mouseRelease(&track, Qt::LeftButton, {}, QPoint(0, end.y()));
  Settle();
  EXPECT_EQ(track.value(), 0);
  EXPECT_GE(p.rec.renders.size(), 2);
  EXPECT_LE(p.rec.renders.size(), std::min(moves, 21));
}

TEST(StyleTab, TheNotesModeBoxHidesAndShowsTheNotes) {
  Page p("style-notes");
  p.ini().ShowNotesOptions = 1;
  p.page->ShowNotesSetting();
  auto& box = p.c<QComboBox>("ShowNotesBox");
  EXPECT_EQ(box.currentIndex(), 1);
  // The ampersand is the character, not a mnemonic marker.
  EXPECT_EQ(box.itemText(0), "Diary & Quick Notes");
  kvtest::ChooseItem(box, 3);
  Settle();
  EXPECT_FALSE(p.ini().ShowNotes);
  EXPECT_EQ(p.ini().ShowNotesOptions, 3);
  EXPECT_TRUE(p.rec.NotesHidden);
  p.page->ChooseNotesMode(0);
  EXPECT_TRUE(p.ini().ShowNotes);
  EXPECT_FALSE(p.rec.NotesHidden);
  EXPECT_EQ(box.currentIndex(), 0);
  EXPECT_EQ(p.rec.renders, (QList<bool>{true, true}));  // the second one made before returning
}

TEST(StyleTab, TheLayoutDownloadButtonRunsItsCommandOrIsDisabled) {
  Page p("style-download");
  EXPECT_FALSE(p.c<QPushButton>("LayoutDownloadBtn").isEnabled());
  p.page.reset();  // one page per form
  int ran = 0;
  TStyleTabHooks h;
  h.DownloadLayouts = [&] { ++ran; };
  TStyleTab page(*p.model, h);
  auto& b = Child<QPushButton>(page, "LayoutDownloadBtn");
  EXPECT_EQ(b.text(), "Download New Layouts");
  kvtest::Click(b);
  EXPECT_EQ(ran, 1);
}

TEST(StyleTab, AFontThatIsNotInstalledShowsTheFamilyDrawnInItsPlace) {
  Page p("style-font-substitute");
  p.stored().DayFont.Name = "Arial";
  p.page->DefaultSettings();
  EXPECT_FALSE(p.c<TKVFontComboBox>("CalFontBox").currentText().isEmpty());
  EXPECT_EQ(p.work().DayFont.Name, "Arial");  // shown, not taken
}
