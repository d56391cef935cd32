#include "ui/LayoutList.h"

#include <QFile>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "controls/KVStdCtrls.h"
#include "controls/MirPanels.h"
#include "foundation/KVRStream.h"
#include "tests/ui/StyleTestUtil.h"

using namespace styletest;

namespace {

QByteArray NoBuiltins() { return kvpack::PackBytes(kLayoutPackVersion, {}); }

void ClickPanel(TLayoutList& list, int i) {
  TMLayoutPanel* p = list.Panel(i);
  ASSERT_NE(p, nullptr);
  QTest::mouseClick(&p->Image(), Qt::LeftButton, {}, QPoint(5, 5));
}

}  // namespace

TEST(LayoutList, TheExchangeSortOrdersByIdAndIsNotStable) {
  EXPECT_EQ(ExchangeSortOrder({151, 3, 20}), (QList<int>{1, 2, 0}));
  // Equal ids come out in the order the exchanges leave them: here the later one first.
  EXPECT_EQ(ExchangeSortOrder({5, 3, 5, 1}), (QList<int>{3, 1, 2, 0}));
  EXPECT_TRUE(ExchangeSortOrder({}).isEmpty());
}

TEST(LayoutList, LayoutsOfTwoFilesAreListedByIdWithoutTouchingTheCurrentLayout) {
  StyleFixture f("layouts-two-files", NoBuiltins());
  // Kinds 3 and -3 are layouts; kind 5 is not.
  f.WritePack("b.mlt", {LayoutEntry(LayoutText(151)), {5, "junk"}});
  f.WritePack("a.mlt", {LayoutEntry(LayoutText(3), false), LayoutEntry(LayoutText(20))});
  f.model->Layout->LoadLayout(LayoutText(77));
  f.work().LayoutID = 20;
  TLayoutList& list = f.page->LayoutScroll();
  list.LoadLayouts();
  EXPECT_EQ(list.LayoutIds(), (QList<int>{3, 20, 151}));
  EXPECT_EQ(f.model->Layout->LayoutID, 77);  // listing parsed into a layout of its own
  EXPECT_EQ(list.ItemIndex(), 1);           // the working layout's panel is shown chosen
  EXPECT_TRUE(f.rec.renders.isEmpty());
  EXPECT_EQ(f.model->LayoutPackFiles, (QStringList{f.folder + "a.mlt", f.folder + "b.mlt"}));
}

TEST(LayoutList, TheBuiltInLayoutsAreAllListedInIdOrder) {
  StyleFixture f("layouts-builtin");
  TLayoutList& list = f.page->LayoutScroll();
  list.LoadLayouts();
  const QList<int> ids = list.LayoutIds();
  EXPECT_EQ(ids.size(), 24);
  EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
  EXPECT_TRUE(ids.contains(151));
  for (int i = 0; i < list.Count(); ++i) EXPECT_FALSE(list.Panel(i)->Image().Bitmap().Empty()) << ids[i];
}

TEST(LayoutList, UnreadableDanglingAndHostileFilesAreSkipped) {
  StyleFixture f("layouts-hostile", NoBuiltins());
  f.WritePack("good.mlt", {LayoutEntry(LayoutText(3)), LayoutEntry("this is no layout"),
                           LayoutEntry(LayoutText(9).replace("end", "")),
                           // Inflates far beyond any layout.
                           {kvpack::kKindLayout, QByteArray(20 * 1024 * 1024, ' ')}});
  const QString& d = f.folder;
  kvtest::WriteFile(d + "version.mlt", kvpack::PackBytes(0x564B0065, {LayoutEntry(LayoutText(4))}));
  QByteArray huge = kvpack::PackBytes(kLayoutPackVersion, {LayoutEntry(LayoutText(5))});
  huge[4] = '\xff';
  huge[5] = '\xff';
  huge[6] = '\xff';
  huge[7] = '\x7f';  // two thousand million entries claimed
  kvtest::WriteFile(d + "count.mlt", huge);
  QByteArray cut = kvpack::PackBytes(kLayoutPackVersion, {LayoutEntry(LayoutText(6))});
  kvtest::WriteFile(d + "cut.mlt", cut.left(cut.size() - 10));
  QByteArray corrupt = kvpack::PackBytes(kLayoutPackVersion, {LayoutEntry(LayoutText(7))});
  corrupt[20] = corrupt[21] = corrupt[22] = '\x55';
  kvtest::WriteFile(d + "zlib.mlt", corrupt);
  kvtest::WriteFile(d + "short.mlt", "KV");
  ASSERT_EQ(::symlink((d + "nowhere.mlt").toUtf8().constData(), (d + "dangling.mlt").toUtf8().constData()), 0);
  ASSERT_EQ(::mkfifo((d + "pipe.mlt").toUtf8().constData(), 0600), 0);  // opening it would block
  ASSERT_TRUE(QDir().mkpath(d + "folder.mlt"));
  kvtest::WriteFile(d + "locked.mlt", kvpack::PackBytes(kLayoutPackVersion, {LayoutEntry(LayoutText(8))}));
  ::chmod((d + "locked.mlt").toUtf8().constData(), 0);

  TLayoutList& list = f.page->LayoutScroll();
  list.LoadLayouts();
  const QList<int> ids = list.LayoutIds();
  ::chmod((d + "locked.mlt").toUtf8().constData(), 0600);
  if (::geteuid() == 0) EXPECT_EQ(ids, (QList<int>{3, 8}));  // root reads what it likes
  else EXPECT_EQ(ids, (QList<int>{3}));
}

TEST(LayoutList, ChoosingALayoutLoadsItAndARebuildKeepsIt) {
  StyleFixture f("layouts-rebuild", NoBuiltins());
  f.WritePack("a.mlt", {LayoutEntry(LayoutText(3)), LayoutEntry(LayoutText(20))});
  TLayoutList& list = f.page->LayoutScroll();
  list.LoadLayouts();
  EXPECT_FALSE(list.LayoutFilesChanged());

  ClickPanel(list, 1);
  Settle();
  EXPECT_EQ(f.model->Layout->LayoutID, 20);
  EXPECT_EQ(f.work().LayoutID, 20);
  EXPECT_NE(f.stored().LayoutID, 20);
  EXPECT_EQ(f.rec.renders, (QList<bool>{true}));
  ClickPanel(list, 1);  // the chosen one again: nothing to do
  Settle();
  EXPECT_EQ(f.rec.renders.size(), 1);

  // A new file is noticed; the rebuild lists it and the chosen layout stays chosen and loaded.
  f.WritePack("b.mlt", {LayoutEntry(LayoutText(7))});
  EXPECT_TRUE(list.LayoutFilesChanged());
  list.LoadLayouts();
  EXPECT_EQ(list.LayoutIds(), (QList<int>{3, 7, 20}));
  EXPECT_EQ(list.ItemIndex(), 2);
  EXPECT_EQ(f.model->Layout->LayoutID, 20);
  EXPECT_EQ(f.rec.renders.size(), 1);
  EXPECT_FALSE(list.LayoutFilesChanged());

  // A renamed file counts as a change, a file of another case as none.
  ASSERT_TRUE(QFile::rename(f.folder + "b.mlt", f.folder + "c.mlt"));
  EXPECT_TRUE(list.LayoutFilesChanged());
  list.LoadLayouts();
  ASSERT_TRUE(QFile::rename(f.folder + "c.mlt", f.folder + "C.mlt"));
  EXPECT_FALSE(list.LayoutFilesChanged());
  ASSERT_TRUE(QFile::remove(f.folder + "C.mlt"));
  EXPECT_TRUE(list.LayoutFilesChanged());
}

TEST(LayoutList, TheArrowKeysChooseTheNextLayoutAsAClickDoes) {
  StyleFixture f("layouts-keys", NoBuiltins());
  f.WritePack("a.mlt", {LayoutEntry(LayoutText(3)), LayoutEntry(LayoutText(20)), LayoutEntry(LayoutText(7))});
  TLayoutList& list = f.page->LayoutScroll();
  list.LoadLayouts();
  ClickPanel(list, 0);
  Settle();
  ASSERT_EQ(f.work().LayoutID, 3);
  QTest::keyClick(&list, Qt::Key_Down);
  Settle();
  EXPECT_EQ(f.model->Layout->LayoutID, 7);
  EXPECT_EQ(f.work().LayoutID, 7);
  QTest::keyClick(&list, Qt::Key_End);
  Settle();
  EXPECT_EQ(f.work().LayoutID, 20);
  QTest::keyClick(&list, Qt::Key_Down);  // already the last: nothing to redraw
  QTest::keyClick(&list, Qt::Key_Home);
  Settle();
  EXPECT_EQ(f.work().LayoutID, 3);
  // Every move redrew the preview with the layout recalculated.
  EXPECT_EQ(f.rec.renders, (QList<bool>{true, true, true, true}));
}

TEST(LayoutList, AnIdNoPanelCarriesSelectsNothingAndKeepsTheLayout) {
  StyleFixture f("layouts-missing", NoBuiltins());
  f.WritePack("a.mlt", {LayoutEntry(LayoutText(3))});
  TLayoutList& list = f.page->LayoutScroll();
  list.LoadLayouts();
  list.SetItemIndex(0);
  f.model->Layout->LoadLayout(LayoutText(44));
  EXPECT_FALSE(list.SelectLayoutID(99));
  EXPECT_EQ(list.ItemIndex(), -1);
  EXPECT_EQ(f.model->Layout->LayoutID, 44);
}

TEST(LayoutList, TheLayoutChosenBeforeThePanelsAreMadeIsTheOneTheListChooses) {
  StyleFixture f("layouts-chosen-early", NoBuiltins());
  // Texts that differ beyond their ids show which of the equal ids won.
  const auto marked = [](int id, bool mark) {
    return LayoutText(id, QStringLiteral("  SundayFirst = %1\r\n").arg(mark ? "True" : "False"));
  };
  const QString noId = QStringLiteral("object Lini: TLayoutIni\r\n  SundayFirst = True\r\nend\r\n");
  const QString badId = QStringLiteral("object Lini: TLayoutIni\r\n  LayoutID = 'x'\r\n  XCalcOrder = '1,'\r\nend\r\n");
  // Ids 5 3 5 1 in list order: the exchanges put the later 5 first. Then a text without an id
  // and one with an id of the wrong kind (both keep the id read before them), text that is no
  // layout, one cut short, an id given twice (the last counts) and one in another case.
  f.WritePack("a.mlt", {LayoutEntry(marked(5, false)), LayoutEntry(LayoutText(3)), LayoutEntry(marked(5, true), false),
                        LayoutEntry(LayoutText(1))});
  f.WritePack("b.mlt", {LayoutEntry(noId), LayoutEntry(LayoutText(9)), LayoutEntry(badId),
                        LayoutEntry("this is no layout"), LayoutEntry(LayoutText(9).replace("end", "")),
                        LayoutEntry(LayoutText(12, "  LayoutID = 3\r\n")),
                        LayoutEntry(QStringLiteral("object Lini: TLayoutIni\r\n  layoutid = 12\r\nend\r\n"))});
  const QList<int> ids{1, 3, 5, 9, 12, 99};
  TLayoutList& list = f.page->LayoutScroll();
  EXPECT_TRUE(list.LayoutFilesChanged());  // nothing listed yet
  QList<std::optional<QString>> early;
  for (int id : ids) early << list.ChosenLayoutText(id);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(f.model->LayoutPackFiles, (QStringList{f.folder + "a.mlt", f.folder + "b.mlt"}));

  // Choosing by id before the list is made loads that text as a click on its panel would.
  f.work().LayoutID = 0;
  ASSERT_TRUE(list.SelectLayoutID(5));
  Settle();
  EXPECT_EQ(f.model->Layout->LayoutID, 5);
  EXPECT_TRUE(f.model->Layout->SundayFirst);
  EXPECT_EQ(f.work().LayoutID, 5);
  EXPECT_EQ(f.rec.renders, (QList<bool>{true}));
  f.model->Layout->LoadLayout(LayoutText(44));
  EXPECT_FALSE(list.SelectLayoutID(99));
  EXPECT_EQ(f.model->Layout->LayoutID, 44);

  list.LoadLayouts();
  EXPECT_FALSE(list.LayoutFilesChanged());
  EXPECT_EQ(list.LayoutIds(), (QList<int>{1, 1, 3, 3, 5, 5, 9, 9, 12}));
  const QList<int> listed = list.LayoutIds();
  for (int i = 0; i < ids.size(); ++i) {
    const int at = listed.indexOf(ids[i]);
    if (at < 0) {
      EXPECT_FALSE(early[i].has_value()) << ids[i];
      continue;
    }
    ASSERT_TRUE(early[i].has_value()) << ids[i];
    EXPECT_EQ(*early[i], list.Panel(at)->LayoutText) << ids[i];
    EXPECT_EQ(list.ChosenLayoutText(ids[i]), list.Panel(at)->LayoutText) << ids[i];
  }
  EXPECT_EQ(*early[ids.indexOf(5)], marked(5, true));
}

TEST(LayoutList, EachBuiltInLayoutIsChosenWithoutPanelsAsTheListChoosesIt) {
  StyleFixture f("layouts-chosen-builtin");
  TLayoutList& list = f.page->LayoutScroll();
  list.LoadLayouts();
  const QList<int> listed = list.LayoutIds();
  ASSERT_EQ(listed.size(), 24);
  for (int id : listed) EXPECT_EQ(list.ChosenLayoutText(id), list.Panel(listed.indexOf(id))->LayoutText) << id;
  EXPECT_FALSE(list.ChosenLayoutText(listed.first() - 1).has_value());
  EXPECT_FALSE(list.ChosenLayoutText(listed.last() + 1).has_value());
}
