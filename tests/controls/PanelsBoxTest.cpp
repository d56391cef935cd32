#include <QApplication>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QSpontaneKeyEvent>
#include <climits>
#include <gtest/gtest.h>
#include <stdexcept>

#include "controls/KVPanels.h"
#include "foundation/KVForms.h"
#include "foundation/KVTextHelper.h"

namespace {

struct Box {
  TKVPanelsBox box;
  std::vector<TKVIdxPanel*> panels;
  std::vector<int> selectedEvents;
  // N panels of W x H in a box whose viewport is VW x VH.
  Box(int n, int columns, int w = 100, int h = 80, int vw = 300, int vh = 300) {
    box.SetColumns(columns);
    box.setFrameShape(QFrame::NoFrame);
    box.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box.resize(vw, vh);
    for (int i = 0; i < n; ++i) AddPanel(w, h);
  }
  TKVIdxPanel* AddPanel(int w, int h) {
    auto* p = new TKVIdxPanel;
    p->resize(w, h);
    p->OnSelected.Set([this](TKVIdxPanel* sender) { selectedEvents.push_back(box.IndexOf(sender)); });
    box.Add(p);
    panels.push_back(p);
    return p;
  }
  void Show() {
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  }
  std::vector<int> Selected() const {
    std::vector<int> s;
    for (int i = 0; i < box.Count(); ++i)
      if (box.Items(i)->Selected()) s.push_back(i);
    return s;
  }
  QColor PixelOf(int i) {
    const QImage img = box.Items(i)->grab().toImage();
    return QColor(img.pixel(img.width() / 2, img.height() / 2));
  }
};

void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

TEST(PanelsBox, PlacesPanelsInAGridOrInOneColumn) {
  Box b(7, 3);
  EXPECT_EQ(b.box.Items(0)->pos(), QPoint(0, 0));
  EXPECT_EQ(b.box.Items(4)->pos(), QPoint(100, 80));
  EXPECT_EQ(b.box.Items(6)->pos(), QPoint(0, 160));
  EXPECT_EQ(b.box.Content()->size(), QSize(300, 240));

  b.box.SetColumns(0);
  EXPECT_EQ(b.box.Columns(), 1);
  b.box.SetColumns(-4);
  EXPECT_EQ(b.box.Columns(), 1);
  // Changing the columns does not move what is placed; the next panel follows the new rule.
  EXPECT_EQ(b.box.Items(4)->pos(), QPoint(100, 80));
  b.AddPanel(100, 30);
  EXPECT_EQ(b.box.Items(7)->pos(), QPoint(0, 240));

  // One column stacks panels of any height.
  Box c(0, 1);
  c.AddPanel(50, 10);
  c.AddPanel(60, 25);
  c.AddPanel(70, 5);
  EXPECT_EQ(c.box.Items(1)->pos(), QPoint(0, 10));
  EXPECT_EQ(c.box.Items(2)->pos(), QPoint(0, 35));
  EXPECT_EQ(c.box.Content()->size(), QSize(70, 40));
}

TEST(PanelsBox, ClickingSelectsOnePanelByColour) {
  Box b(5, 3);
  b.Show();
  EXPECT_EQ(b.box.ItemIndex(), -1);
  const QColor face = ToQColor(clBtnFace), highlight = ToQColor(clHighlight);
  EXPECT_EQ(b.PixelOf(1), face);

  QTest::mouseClick(b.box.Items(1), Qt::LeftButton);
  EXPECT_EQ(b.box.ItemIndex(), 1);
  EXPECT_EQ(b.Selected(), std::vector<int>{1});
  EXPECT_EQ(b.PixelOf(1), highlight);
  EXPECT_EQ(b.PixelOf(0), face);
  EXPECT_EQ(b.selectedEvents, std::vector<int>{1});

  QTest::mouseClick(b.box.Items(4), Qt::LeftButton);
  EXPECT_EQ(b.box.ItemIndex(), 4);
  EXPECT_EQ(b.Selected(), std::vector<int>{4});
  EXPECT_EQ(b.PixelOf(1), face);
  // A click on the panel already selected selects nothing new; a right click selects nothing.
  QTest::mouseClick(b.box.Items(4), Qt::LeftButton);
  QTest::mouseClick(b.box.Items(2), Qt::RightButton);
  EXPECT_EQ(b.selectedEvents, (std::vector<int>{1, 4}));
  QTest::mouseDClick(b.box.Items(3), Qt::LeftButton);
  EXPECT_EQ(b.box.ItemIndex(), 3);

  // By index: out of range deselects all.
  b.box.SetItemIndex(0);
  EXPECT_EQ(b.Selected(), std::vector<int>{0});
  b.box.SetItemIndex(INT_MAX);
  EXPECT_EQ(b.box.ItemIndex(), -1);
  EXPECT_TRUE(b.Selected().empty());
  b.box.SetItemSelected(2, true);
  EXPECT_EQ(b.box.ItemIndex(), 2);
  // Deselecting the selected panel leaves no selected index behind.
  b.box.SetItemSelected(2, false);
  EXPECT_EQ(b.box.ItemIndex(), -1);
  b.box.SetItemSelected(-1, true);
  b.box.SetItemSelected(99, true);
  EXPECT_TRUE(b.Selected().empty());

  // New colours reach the panels at once.
  b.box.SetItemIndex(1);
  b.box.SetSelectedItemColor(clRed);
  b.box.SetItemColor(clWhite);
  EXPECT_EQ(b.PixelOf(1), QColor(Qt::red));
  EXPECT_EQ(b.PixelOf(0), QColor(Qt::white));
}

TEST(PanelsBox, MultiSelectKeepsEveryPanelsOwnSelection) {
  Box b(4, 2);
  b.box.SetMultiSelect(true);
  b.box.SetItemSelected(0, true);
  b.box.SetItemSelected(3, true);
  EXPECT_EQ(b.Selected(), (std::vector<int>{0, 3}));
  EXPECT_EQ(b.box.ItemIndex(), -1);
  b.box.SetItemIndex(1);  // only clears the index
  EXPECT_EQ(b.Selected(), (std::vector<int>{0, 3}));
  EXPECT_EQ(b.box.ItemIndex(), -1);
}

TEST(PanelsBox, DeletingAndClearingKeepTheSelectionHonest) {
  {
    Box b(4, 1, 100, 80, 100, 100);
    b.box.SetItemIndex(2);
    b.box.Delete(2);
    EXPECT_EQ(b.box.Count(), 3);
    EXPECT_EQ(b.box.ItemIndex(), -1);
    EXPECT_TRUE(b.Selected().empty());
  }
  {
    // Deleting a panel before the selected one keeps the selection on the same panel.
    Box b(4, 1, 100, 80, 100, 100);
    b.box.SetItemIndex(2);
    TKVIdxPanel* selected = b.box.Items(2);
    b.box.Delete(0);
    EXPECT_EQ(b.box.ItemIndex(), 1);
    EXPECT_EQ(b.box.Items(1), selected);
    EXPECT_TRUE(selected->Selected());
  }
  {
    // Deleting panel 0 of one column moves the rest up and scrolls to the top.
    Box b(4, 1, 100, 80, 100, 100);
    b.Show();
    b.box.verticalScrollBar()->setValue(150);
    ASSERT_EQ(b.box.verticalScrollBar()->value(), 150);
    QPointer<TKVIdxPanel> first = b.box.Items(0);
    b.box.Delete(0);
    EXPECT_EQ(b.box.Items(0)->pos(), QPoint(0, 0));
    EXPECT_EQ(b.box.Items(2)->pos(), QPoint(0, 160));
    EXPECT_EQ(b.box.verticalScrollBar()->value(), 0);
    EXPECT_EQ(b.box.IndexOf(first), -1);
    FlushDeletes();
    EXPECT_TRUE(first.isNull());
  }
  {
    Box b(3, 2);
    b.box.SetItemIndex(1);
    QPointer<TKVIdxPanel> p = b.box.Items(1);
    b.box.Clear();
    EXPECT_EQ(b.box.Count(), 0);
    EXPECT_EQ(b.box.ItemIndex(), -1);
    FlushDeletes();
    EXPECT_TRUE(p.isNull());
    // The first panel of an empty box goes to the corner again.
    b.AddPanel(100, 80);
    EXPECT_EQ(b.box.Items(0)->pos(), QPoint(0, 0));
  }
  {
    // A panel freed by someone else leaves the list; the box frees the rest with itself.
    auto* b = new Box(3, 1);
    b->box.SetItemIndex(2);
    delete b->box.Items(0);
    EXPECT_EQ(b->box.Count(), 2);
    EXPECT_EQ(b->box.ItemIndex(), 1);
    QPointer<TKVIdxPanel> p = b->box.Items(1);
    delete b;
    EXPECT_TRUE(p.isNull());
  }
}

TEST(PanelsBox, DeleteFromThePanelsOwnHandlerIsSafe) {
  Box b(3, 1);
  b.Show();
  b.box.Items(1)->OnSelected.Set([&b](TKVIdxPanel* sender) { b.box.Delete(b.box.IndexOf(sender)); });
  QTest::mouseClick(b.box.Items(1), Qt::LeftButton);
  FlushDeletes();
  EXPECT_EQ(b.box.Count(), 2);
  EXPECT_EQ(b.box.ItemIndex(), -1);
}

TEST(PanelsBox, ExchangeKeepsTheSelectionOnTheSamePanel) {
  Box b(4, 2);
  b.Show();
  b.box.SetItemIndex(0);
  TKVIdxPanel* first = b.box.Items(0);
  TKVIdxPanel* third = b.box.Items(2);
  b.selectedEvents.clear();
  b.box.Exchange(0, 2);
  EXPECT_EQ(b.box.ItemIndex(), 2);
  EXPECT_EQ(b.box.Items(2), first);
  EXPECT_EQ(b.box.Items(0), third);
  EXPECT_EQ(b.Selected(), std::vector<int>{2});
  EXPECT_EQ(first->pos(), QPoint(0, 80));
  EXPECT_EQ(third->pos(), QPoint(0, 0));
  EXPECT_TRUE(b.selectedEvents.empty());
  EXPECT_TRUE(first->hasFocus());
  // The other way round, and ignored calls.
  b.box.Exchange(3, 2);
  EXPECT_EQ(b.box.ItemIndex(), 3);
  b.box.Exchange(1, 1);
  b.box.Exchange(-1, 2);
  b.box.Exchange(0, 4);
  EXPECT_EQ(b.box.ItemIndex(), 3);
  EXPECT_EQ(b.box.Items(3), first);
}

TEST(PanelsBox, ExchangeScrollsTheSelectedPanelIntoView) {
  Box b(10, 1, 100, 80, 100, 160);
  b.Show();
  b.box.SetItemIndex(8);
  b.box.Exchange(8, 9);
  const int top = b.box.Items(9)->y() - b.box.verticalScrollBar()->value();
  EXPECT_GE(top, 0);
  EXPECT_LE(top + 80, 160);
}

TEST(PanelsBox, AWheelNotchScrollsOnePage) {
  Box b(20, 1, 100, 80, 100, 300);
  b.Show();
  QScrollBar* bar = b.box.verticalScrollBar();
  ASSERT_EQ(bar->maximum(), 20 * 80 - 300);
  // As the window system delivers it: to the panel under the pointer first.
  const auto wheel = [&](QPoint delta) {
    const QPoint at(50, 150);
    QWidget* under = b.box.childAt(at);
    ASSERT_TRUE(qobject_cast<TKVIdxPanel*>(under));
    QWheelEvent e(under->mapFrom(&b.box, QPointF(at)), b.box.mapToGlobal(QPointF(at)), QPoint(), delta, Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&e);
    // Delivered as the window system does (sendEvent would make it synthetic, which stops at
    // the first receiver).
    qApp->notify(under, &e);
  };
  wheel(QPoint(0, -120));
  EXPECT_EQ(bar->value(), 300);
  wheel(QPoint(0, -120));
  EXPECT_EQ(bar->value(), 600);
  // Small steps add up to a notch.
  wheel(QPoint(0, 60));
  EXPECT_EQ(bar->value(), 600);
  wheel(QPoint(0, 60));
  EXPECT_EQ(bar->value(), 300);
  // Two notches at once, and the ends hold.
  wheel(QPoint(0, -240));
  EXPECT_EQ(bar->value(), 900);
  for (int i = 0; i < 5; ++i) wheel(QPoint(0, -120));
  EXPECT_EQ(bar->value(), bar->maximum());
  for (int i = 0; i < 9; ++i) wheel(QPoint(0, 120));
  EXPECT_EQ(bar->value(), 0);
  // A horizontal wheel changes nothing.
  wheel(QPoint(120, 0));
  EXPECT_EQ(bar->value(), 0);
}

TEST(PanelsBox, StretchedPanelsTakeTheClientWidthInOneColumn) {
  Box b(0, 1, 100, 80, 250, 100);
  auto* p = new TKVIdxPanel;
  p->resize(40, 20);
  p->SetStretchToWidth(true);
  b.box.Add(p);
  b.Show();
  EXPECT_EQ(p->width(), 250);
  b.box.resize(180, 100);
  EXPECT_EQ(p->width(), 180);
}

TEST(PanelsBox, BadInputNeverCrashesOrGrowsBeyondReason) {
  Box b(2, 3);
  EXPECT_EQ(b.box.Items(-1), nullptr);
  EXPECT_EQ(b.box.Items(INT_MAX), nullptr);
  EXPECT_EQ(b.box.IndexOf(nullptr), -1);
  b.box.Delete(-5);
  b.box.Delete(INT_MAX);
  b.box.Add(nullptr);
  b.box.Add(b.box.Items(0));  // already there
  EXPECT_EQ(b.box.Count(), 2);
  b.box.ArrangeFrom(-3);
  b.box.ArrangeFrom(INT_MAX);
  // Panels of absurd sizes are placed at representable positions.
  b.box.SetColumns(INT_MAX);
  b.AddPanel(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  b.AddPanel(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  EXPECT_LE(b.box.Items(3)->x(), QWIDGETSIZE_MAX);
  EXPECT_LE(b.box.Content()->width(), QWIDGETSIZE_MAX);
  // A panel moved to another box leaves the first.
  TKVPanelsBox other;
  TKVIdxPanel* p = b.box.Items(0);
  other.Add(p);
  EXPECT_EQ(b.box.IndexOf(p), -1);
  EXPECT_EQ(other.IndexOf(p), 0);
  EXPECT_EQ(p->Box(), &other);
}

TEST(PanelsBox, AnExceptionInASelectionHandlerStaysInsideTheClick) {
  Box b(2, 1);
  b.Show();
  b.box.Items(1)->OnSelected.Set([](TKVIdxPanel*) { throw std::runtime_error("handler failed"); });
  TKVErrorPolicy& policy = ErrorPolicy();
  const TKVErrorPolicy saved = policy;
  QStringList shown;
  policy.ShowException = [&](const QString& m) { shown << m; };
  policy.KeepRunning = [] { return true; };
  QTest::mouseClick(b.box.Items(1), Qt::LeftButton);
  policy = saved;
  EXPECT_EQ(shown.size(), 1);
  EXPECT_EQ(b.box.ItemIndex(), 1);
}

TEST(PanelsBox, TheKeysMoveTheSelectionAsAClickDoesAndScrollItIntoView) {
  // Ten panels in three columns, two rows to a page.
  Box b(10, 3, 100, 80, 300, 160);
  b.Show();
  b.box.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&b.box));
  QTest::mouseClick(b.box.Items(1), Qt::LeftButton);
  EXPECT_TRUE(b.box.hasFocus()) << "a click on a panel gives the box the keys";
  const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), k, m);
    return b.box.ItemIndex();
  };
  EXPECT_EQ(key(Qt::Key_Right), 2);
  EXPECT_EQ(key(Qt::Key_Down), 5);
  EXPECT_EQ(key(Qt::Key_Down), 8);
  // The last row has no panel under 8: down takes the last panel, then stays.
  EXPECT_EQ(key(Qt::Key_Down), 9);
  EXPECT_EQ(key(Qt::Key_Down), 9);
  const int top = b.box.Items(9)->y() - b.box.verticalScrollBar()->value();
  EXPECT_TRUE(top >= 0 && top + 80 <= 160) << "the selected panel is scrolled into view";
  EXPECT_EQ(key(Qt::Key_Up), 6);
  EXPECT_EQ(key(Qt::Key_Left), 5);
  EXPECT_EQ(key(Qt::Key_Home), 0);
  EXPECT_EQ(b.box.verticalScrollBar()->value(), 0);
  EXPECT_EQ(key(Qt::Key_Left), 0);
  EXPECT_EQ(key(Qt::Key_PageDown), 6);
  EXPECT_EQ(key(Qt::Key_PageDown), 9);
  EXPECT_EQ(key(Qt::Key_PageUp), 3);
  EXPECT_EQ(key(Qt::Key_End), 9);
  // Each move was a selection as by a click: one event per panel reached, one panel selected.
  EXPECT_EQ(b.selectedEvents, (std::vector<int>{1, 2, 5, 8, 9, 6, 5, 0, 6, 9, 3, 9}));
  EXPECT_EQ(b.Selected(), std::vector<int>{9});
  // Keys with Ctrl or Alt are not the box's.
  EXPECT_EQ(key(Qt::Key_Home, Qt::ControlModifier), 9);
  EXPECT_EQ(key(Qt::Key_Up, Qt::AltModifier), 9);

  // With nothing selected the keys start at the first panel (End at the last).
  b.box.SetItemIndex(-1);
  EXPECT_EQ(key(Qt::Key_Down), 0);
  b.box.SetItemIndex(-1);
  EXPECT_EQ(key(Qt::Key_End), 9);
  // In one column up and down go by one panel, a page by what the box shows.
  Box c(6, 1, 100, 50, 100, 110);
  c.Show();
  c.box.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&c.box));
  c.box.setFocus();
  QTest::keyClick(&c.box, Qt::Key_Down);
  QTest::keyClick(&c.box, Qt::Key_Down);
  EXPECT_EQ(c.box.ItemIndex(), 1);
  QTest::keyClick(&c.box, Qt::Key_PageDown);
  EXPECT_EQ(c.box.ItemIndex(), 3);
  // Space in a box of panels with nothing to toggle changes nothing.
  QTest::keyClick(&c.box, Qt::Key_Space);
  EXPECT_EQ(c.box.ItemIndex(), 3);
}

TEST(PanelsBox, ThePanelTheKeysActOnShowsAFrameWhileTheBoxHasTheKeys) {
  Box b(3, 3);
  b.Show();
  b.box.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&b.box));
  const auto edge = [&](int i) {
    const QImage img = b.box.Items(i)->grab().toImage();
    return QColor(img.pixel(1, img.height() / 2));
  };
  const QColor face = ToQColor(clBtnFace), highlight = ToQColor(clHighlight), frame = ToQColor(clWindowText);
  b.box.clearFocus();
  EXPECT_EQ(edge(0), face);
  // Focused with nothing selected: the first panel, where the keys start.
  b.box.setFocus();
  EXPECT_EQ(edge(0), frame);
  EXPECT_EQ(edge(1), face);
  QTest::keyClick(&b.box, Qt::Key_Right);
  QTest::keyClick(&b.box, Qt::Key_Right);
  EXPECT_EQ(b.box.ItemIndex(), 1);
  EXPECT_EQ(edge(1), frame);
  EXPECT_EQ(edge(0), face);
  // The keys gone elsewhere: the selection shows, the frame does not.
  b.box.clearFocus();
  EXPECT_EQ(edge(1), highlight);
}
