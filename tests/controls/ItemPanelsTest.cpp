#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QSpontaneKeyEvent>
#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>

#include "controls/MirPanels.h"
#include "controls/KVStdCtrls.h"
#include "foundation/KVTextHelper.h"
#include "tests/common/FormTestKit.h"

namespace {

QColor At(QWidget& w, int x, int y) { return QColor(w.grab().toImage().pixel(x, y)); }

// A box on screen with N panels made by Make.
template <class P>
struct Shown {
  TKVPanelsBox box;
  std::vector<P*> panels;
  std::vector<int> selected;
  Shown(int n, int columns, QSize size, const std::function<P*()>& make = [] { return new P; }) {
    box.SetColumns(columns);
    box.resize(size);
    for (int i = 0; i < n; ++i) {
      P* p = make();
      p->OnSelected.Set([this](TKVIdxPanel* s) { selected.push_back(box.IndexOf(s)); });
      box.Add(p);
      panels.push_back(p);
    }
    box.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&box));
  }
};

}  // namespace

TEST(ImagePanel, AnyThumbnailSizeBeyondTheTableIsTheLargeOneAndNothingIsScaledAgain) {
  TMImgPanel p(200);
  EXPECT_EQ(p.size(), QSize(204, 155));
  EXPECT_EQ(p.Image().geometry(), QRect(4, 4, 196, 147));
  // The check box is the style's whole indicator, so its frame is not cut off.
  EXPECT_EQ(p.CheckBox().width(), p.style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &p.CheckBox()));
  // The holiday row's fields fit inside it.
  TMHolidayPanel h;
  EXPECT_LE(h.Title().geometry().bottom(), h.height() - 1);
  EXPECT_LE(h.Title().geometry().right(), h.width() - 1);
}

TEST(ImagePanel, ThumbnailAndBadgeSelectTheCheckBoxReportsTheUsersClick) {
  Shown<TMImgPanel> s(3, 2, {260, 200}, [] { return new TMImgPanel(0); });
  TMImgPanel& p = *s.panels[1];
  QTest::mouseClick(&p.Image(), Qt::LeftButton, {}, QPoint(60, 50));
  EXPECT_EQ(s.box.ItemIndex(), 1);
  p.SetNumber(12);
  QTest::mouseClick(&s.panels[2]->Badge(), Qt::LeftButton, {}, QPoint(1, 1));
  EXPECT_EQ(s.box.ItemIndex(), 2);
  EXPECT_EQ(s.selected, (std::vector<int>{1, 2}));

  std::vector<TMImgPanel*> checks;
  p.OnCheck.Set([&](TMImgPanel* sender) { checks.push_back(sender); });
  kvtest::Click(p.CheckBox());
  EXPECT_TRUE(p.CheckBox().isChecked());
  EXPECT_EQ(checks, std::vector<TMImgPanel*>{&p});
  // A change made by code runs no handler; a click on a panel without one only toggles.
  p.CheckBox().setChecked(false);
  EXPECT_EQ(checks.size(), 1u);
  kvtest::Click(s.panels[0]->CheckBox());
  EXPECT_TRUE(s.panels[0]->CheckBox().isChecked());
  // The check box does not select the panel.
  EXPECT_EQ(s.box.ItemIndex(), 2);
}

TEST(ImagePanel, SpaceTogglesTheSelectedPicturesCheckBoxAndTheKeysStayWithTheBox) {
  Shown<TMImgPanel> s(4, 2, {260, 200}, [] { return new TMImgPanel(0); });
  s.box.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&s.box));
  std::vector<TMImgPanel*> checks;
  for (TMImgPanel* p : s.panels) p->OnCheck.Set([&](TMImgPanel* sender) { checks.push_back(sender); });
  // A click on a check box leaves the keys with the box, so the arrows keep moving.
  kvtest::Click(s.panels[2]->CheckBox());
  EXPECT_TRUE(s.box.hasFocus());
  QTest::mouseClick(&s.panels[1]->Image(), Qt::LeftButton, {}, QPoint(30, 30));
  QTest::keyClick(&s.box, Qt::Key_Space);
  EXPECT_TRUE(s.panels[1]->CheckBox().isChecked());
  QTest::keyClick(&s.box, Qt::Key_Down);
  EXPECT_EQ(s.box.ItemIndex(), 3);
  QTest::keyClick(&s.box, Qt::Key_Space);
  QTest::keyClick(&s.box, Qt::Key_Space);
  EXPECT_FALSE(s.panels[3]->CheckBox().isChecked());
  // Each toggle reported as the user's click.
  EXPECT_EQ(checks, (std::vector<TMImgPanel*>{s.panels[2], s.panels[1], s.panels[3], s.panels[3]}));
  EXPECT_EQ(s.selected, (std::vector<int>{1, 3}));
}

TEST(ImagePanel, BadgeShowsWhiteDigitsWithABlackShadowAndIsTransparentAround) {
  TKVFixedTextHelper fixed;
  TKVTextHelperScope scope(fixed);
  TMImgPanel p;
  p.Image().Bitmap().BrushColor = clGreen;
  p.Image().Bitmap().SetSize(p.Image().width(), p.Image().height());
  p.Image().Changed();
  const QFont font = TKVBitmap::DefaultFont();
  const int adv = TKVFixedTextHelper::Advance(font), cell = TKVFixedTextHelper::CellHeight(font);

  p.SetNumber(7);
  EXPECT_EQ(p.Number(), 7);
  EXPECT_EQ(p.Badge().size(), QSize(adv + 6, cell + 6));
  const QPoint o = p.Badge().pos();
  EXPECT_EQ(At(p, o.x() + 1, o.y() + 1), QColor(Qt::white));
  EXPECT_EQ(At(p, o.x() + adv + 1, o.y() + cell + 1), QColor(Qt::black));  // the shadow
  // Outlined on every side, so that they show on a light picture too.
  EXPECT_EQ(At(p, o.x(), o.y() + 1), QColor(Qt::black));
  EXPECT_EQ(At(p, o.x() + 1, o.y()), QColor(Qt::black));
  // Around that the thumbnail shows through.
  EXPECT_EQ(At(p, o.x() + adv + 4, o.y()), ToQColor(clGreen));
  EXPECT_EQ(At(p, o.x() + adv + 5, o.y() + cell + 5), ToQColor(clGreen));

  p.SetNumber(123);
  EXPECT_EQ(p.Badge().size(), QSize(3 * adv + 6, cell + 6));
  EXPECT_EQ(At(p, o.x() + 2 * adv + 1, o.y() + 1), QColor(Qt::white));
}

TEST(LayoutPanel, ClickingThePreviewSelectsIt) {
  Shown<TMLayoutPanel> s(3, 1, {130, 200});
  QImage preview(120, 90, QImage::Format_RGB32);
  preview.fill(Qt::blue);
  s.panels[2]->Image().SetPicture(preview);
  s.panels[2]->LayoutID = 151;
  QTest::mouseClick(&s.panels[2]->Image(), Qt::LeftButton, {}, QPoint(40, 30));
  EXPECT_EQ(s.box.ItemIndex(), 2);
  EXPECT_EQ(s.selected, std::vector<int>{2});
  // The preview is stretched over the image; the selection colour shows around it, inside the
  // focus frame of the list that has the keys now.
  EXPECT_EQ(At(*s.panels[2], 50, 40), QColor(Qt::blue));
  EXPECT_EQ(At(*s.panels[2], 2, 40), ToQColor(clHighlight));
  EXPECT_EQ(At(*s.panels[2], 1, 40), ToQColor(clWindowText));
  EXPECT_EQ(s.panels[1]->pos(), QPoint(0, 80));
}

TEST(HolidayPanel, ClickingOrDroppingDownSelectsTheRow) {
  Shown<TMHolidayPanel> s(4, 1, {520, 100});
  for (TMHolidayPanel* p : s.panels) p->Schedule().addItems({"Once", "Every Year"});

  auto* dateText = s.panels[1]->DatePicker().findChild<QLineEdit*>();
  ASSERT_NE(dateText, nullptr);
  QTest::mouseClick(dateText, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(s.box.ItemIndex(), 1);

  QTest::mouseClick(&s.panels[0]->Schedule(), Qt::LeftButton);
  EXPECT_EQ(s.box.ItemIndex(), 0);
  s.panels[0]->Schedule().hidePopup();

  // Dropped down from the keyboard.
  s.panels[2]->Schedule().setFocus();
  QTest::keyClick(&s.panels[2]->Schedule(), Qt::Key_F4);
  EXPECT_EQ(s.box.ItemIndex(), 2);
  s.panels[2]->Schedule().hidePopup();

  QDateEdit& date = s.panels[1]->DatePicker();
  date.setFocus();
  s.box.SetItemIndex(-1);
  QTest::keyClick(&date, Qt::Key_Down, Qt::AltModifier);
  EXPECT_EQ(s.box.ItemIndex(), 1);
  if (date.calendarWidget()) date.calendarWidget()->window()->hide();

  s.panels[3]->Title().setText("New Year");
  QTest::mouseClick(&s.panels[3]->Title(), Qt::LeftButton, {}, QPoint(30, 5));
  EXPECT_EQ(s.box.ItemIndex(), 3);
  EXPECT_EQ(s.panels[3]->Title().selectedText(), "New Year");
  EXPECT_EQ(s.selected, (std::vector<int>{1, 0, 2, 1, 3}));
}

TEST(HolidayPanel, ABuiltInRowWithDisabledFieldsIsSelectedByAClickOnThem) {
  Shown<TMHolidayPanel> s(2, 1, {520, 100});
  TMHolidayPanel& p = *s.panels[1];
  p.DatePicker().setEnabled(false);
  p.Schedule().setEnabled(false);
  p.Title().setEnabled(false);
  QTest::mouseClick(&p.Title(), Qt::LeftButton, {}, QPoint(10, 5));
  EXPECT_EQ(s.box.ItemIndex(), 1);
}

TEST(HolidayPanel, TheWheelOverAnUnfocusedFieldScrollsTheListInstead) {
  Shown<TMHolidayPanel> s(12, 1, {520, 99});
  for (TMHolidayPanel* p : s.panels) p->Schedule().addItems({"Once", "Every Year"});
  QComboBox& combo = s.panels[0]->Schedule();
  const auto wheel = [](QWidget* w) {
    QWheelEvent e(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&e);
    qApp->notify(w, &e);
  };
  wheel(&combo);
  EXPECT_EQ(combo.currentIndex(), 0);
  EXPECT_EQ(s.box.verticalScrollBar()->value(), s.box.viewport()->height());
  const QDate date = s.panels[1]->DatePicker().date();
  wheel(&s.panels[1]->DatePicker());
  EXPECT_EQ(s.panels[1]->DatePicker().date(), date);
}

// Under Xvfb with KV_SCREENSHOT_DIR set, the boxes are saved as pictures to look at.
TEST(ItemPanels, Screenshot) {
  QWidget window;
  window.resize(1000, 380);
  auto* images = new TKVPanelsBox(&window);
  images->setGeometry(10, 10, 340, 360);
  images->SetColumns(3);
  for (int i = 0; i < 10; ++i) {
    auto* p = new TMImgPanel(0);
    TKVBitmap& b = p->Image().Bitmap();
    b.SetSize(p->Image().width(), p->Image().height());
    GradientFill(b, RGB(40 * i % 255, 120, 200), RGB(250, 200 - 15 * i, 30), i % 2 == 0);
    p->Image().Changed();
    p->SetNumber(i + 1);
    p->CheckBox().setChecked(i % 3 != 1);
    images->Add(p);
  }
  images->SetItemIndex(4);

  auto* layouts = new TKVPanelsBox(&window);
  layouts->setGeometry(360, 10, 130, 360);
  for (int i = 0; i < 5; ++i) {
    auto* p = new TMLayoutPanel;
    QImage preview(120, 90, QImage::Format_RGB32);
    preview.fill(QColor(30 + 40 * i, 90, 160));
    p->Image().SetPicture(preview);
    layouts->Add(p);
  }
  layouts->SetItemIndex(1);

  auto* holidays = new TKVPanelsBox(&window);
  holidays->setGeometry(500, 10, 490, 360);
  const char* titles[] = {"New Year's Day", "Spring Festival", "Harvest Day", "Lantern Night", ""};
  for (int i = 0; i < 5; ++i) {
    auto* p = new TMHolidayPanel;
    p->Schedule().addItems({"Once", "Every Year"});
    p->Schedule().setCurrentIndex(i % 2);
    p->DatePicker().setDate(QDate(2024, 1 + 2 * i, 1 + i));
    p->Title().setText(QString::fromLatin1(titles[i]));
    const bool builtIn = i < 3;
    p->DatePicker().setEnabled(!builtIn);
    p->Schedule().setEnabled(!builtIn);
    p->Title().setEnabled(!builtIn);
    holidays->Add(p);
  }
  holidays->SetItemIndex(3);

  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QImage shot = window.grab().toImage();
  // The selected panels show the selection colour at their edge (inside the focus frame).
  const QPoint sel = images->Items(4)->mapTo(&window, QPoint(2, 40));
  EXPECT_EQ(QColor(shot.pixel(sel)), ToQColor(clHighlight));
  const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    EXPECT_TRUE(shot.save(QDir(dir).filePath("item-panels.png")));
  }
}
