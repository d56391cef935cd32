#include <QBuffer>
#include <gtest/gtest.h>

#include "calendar/MDataDM.h"
#include "calendar/iniData.h"
#include "foundation/KVRStream.h"
#include "tests/calendar/LayoutTestUtil.h"
#include "tools/kvpack/PackWriter.h"

namespace {

std::vector<int> V(std::initializer_list<int> l) { return l; }

}  // namespace

TEST(LayoutLists, CommaListsCountTheirCommas) {
  EXPECT_EQ(ParseCommaList("13,"), V({13}));
  EXPECT_EQ(ParseCommaList("1,4,7,10,"), V({1, 4, 7, 10}));
  EXPECT_EQ(ParseCommaList(""), V({}));
  EXPECT_EQ(ParseCommaList("1,x,"), V({1, 0}));
  EXPECT_EQ(ParseCommaList("1,2"), V({1}));
  // Indices that name no item are dropped.
  EXPECT_EQ(ParseItemList("1,24,-1,23,99,0,"), V({1, 23, 0}));
  // One pass over the list: 300,000 elements took minutes when each was looked up from the start.
  QString many;
  for (int i = 0; i < 300000; ++i) many += QString::number(i % 24) + ',';
  const std::vector<int> parsed = ParseCommaList(many);
  ASSERT_EQ(parsed.size(), 300000u);
  EXPECT_EQ(parsed[299999], 299999 % 24);
  TLayoutIni layout;
  ASSERT_TRUE(layout.LoadLayout("object Lini: TLayoutIni\r\n  Notes.SXPos = '" + many + "'\r\nend\r\n"));
  EXPECT_EQ(layout.Notes().SXPosIndices.size(), 300000u);
}

TEST(LayoutModel, AFreshLayoutHasEveryItemHiddenAndTheDefaultOrders) {
  TLayoutIni l;
  for (TLayoutItem* item : l.LayoutItems) {
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->Visible);
    EXPECT_EQ(item->Anchors, 0u);
    EXPECT_EQ(item->Width->ValueType, lsFixed);
  }
  std::vector<int> order;
  for (int i = 0; i < 24; ++i) order.push_back(i);
  EXPECT_EQ(l.XOrder, order);
  EXPECT_EQ(l.YOrder, order);
  EXPECT_TRUE(l.CenterXGroups.empty());
  EXPECT_TRUE(l.Notes().DiaryOnly);
  EXPECT_FALSE(l.GeneralNotes().DiaryOnly);
  EXPECT_EQ(l.Picture.Image.size(), QSize(120, 90));
  EXPECT_EQ(l.Picture.Image.pixel(60, 45), qRgb(255, 255, 255));
  EXPECT_EQ(l.LayoutItems[liMonthLine], &l.MonthLine());
  EXPECT_EQ(l.LayoutItems[12], &l.MonthBox(12));
  EXPECT_EQ(l.LayoutItems[liWDayNotes1 + 6], &l.WDayNotes(7));
  EXPECT_EQ(l.LayoutItems[liSponsorImage], &l.SponsorImage());
  EXPECT_TRUE(l.LoadLayout());
  EXPECT_EQ(l.XOrder, order);
}

TEST(LayoutModel, ALayoutTextReplacesThePreviousLayoutWhole) {
  TLayoutIni l;
  l.SetName("Lini");
  ASSERT_TRUE(l.LoadLayout(
      "object Other: TLayoutIni\r\n"
      "  LayoutID = 7\r\n"
      "  CenterX.Strings = (\r\n    '0,13,'\r\n    '1,2,30,')\r\n"
      "  SundayFirst = True\r\n"
      "  XCalcOrder = '23,22,40,'\r\n"
      "  MonthLine.Visible = True\r\n"
      "  MonthLine.Anchors = [akLeft, akTop]\r\n"
      "  MonthLine.Width.ValueType = lsCtrl\r\n"
      "  MonthLine.Width.Ctrls = '1,2,77,'\r\n"
      "  MonthLine.Horz = True\r\n"
      "  MonthBox3.Visible = True\r\n"
      "  MonthBox3.MonthID = -101\r\n"
      "  MonthBox3.SXPos = '1,2,-5,'\r\n"
      "  MonthBox3.NoSuchThing = 4\r\n"
      "  Notes.DiaryOnly = False\r\n"
      "end\r\n"));
  EXPECT_EQ(l.Name(), "Lini");  // loaded under its own name whatever the text says
  EXPECT_EQ(l.LayoutID, 7);
  EXPECT_TRUE(l.SundayFirst);
  EXPECT_TRUE(l.MonthLine().Visible);
  EXPECT_EQ(l.MonthLine().Anchors, Anchor(akLeft) | Anchor(akTop));
  EXPECT_EQ(l.MonthLine().Width->ValueType, lsCtrl);
  EXPECT_EQ(l.MonthLine().Width->CtrlIndices, V({1, 2}));
  EXPECT_EQ(l.MonthBox(3).MonthID, -101);
  EXPECT_EQ(l.MonthBox(3).SXPosIndices, V({1, 2}));
  EXPECT_FALSE(l.Notes().DiaryOnly);
  ASSERT_EQ(l.CenterXGroups.size(), 2u);
  EXPECT_EQ(l.CenterXGroups[1], V({1, 2}));
  // Token 2 names no item and is skipped; the missing tokens count as item 0.
  ASSERT_EQ(l.XOrder.size(), 23u);
  EXPECT_EQ(l.XOrder[0], 23);
  EXPECT_EQ(l.XOrder[2], 0);

  ASSERT_TRUE(l.LoadLayout("object Lini: TLayoutIni\r\n  MonthBox1.Visible = True\r\nend\r\n"));
  EXPECT_EQ(l.LayoutID, 7);  // not reset
  EXPECT_FALSE(l.MonthLine().Visible);
  EXPECT_FALSE(l.MonthBox(3).Visible);
  EXPECT_EQ(l.MonthBox(3).MonthID, 0);
  EXPECT_TRUE(l.MonthBox(1).Visible);
  EXPECT_TRUE(l.Notes().DiaryOnly);
  EXPECT_FALSE(l.SundayFirst);
  EXPECT_TRUE(l.CenterXGroups.empty());
  EXPECT_EQ(l.XOrder.size(), 24u);

  EXPECT_FALSE(l.LoadLayout("object Lini: TLayoutIni\r\n  MonthBox1.Visible = True\r\n  Broken = (\r\n"));
  EXPECT_FALSE(l.MonthBox(1).Visible);
}

TEST(LayoutModel, MonthIdsStandForMonthsAroundTheShownOne) {
  std::uint16_t y = 0, m = 0;
  TLayoutIni::MonthIdToYearMonth(101, 2024, 12, y, m);
  EXPECT_EQ(y, 2025);
  EXPECT_EQ(m, 1);
  TLayoutIni::MonthIdToYearMonth(-101, 2024, 1, y, m);
  EXPECT_EQ(y, 2023);
  EXPECT_EQ(m, 12);
  TLayoutIni::MonthIdToYearMonth(7, 2024, 3, y, m);
  EXPECT_EQ(y, 2024);
  EXPECT_EQ(m, 7);
  TLayoutIni::MonthIdToYearMonth(0, 2024, 3, y, m);
  EXPECT_EQ(m, 3);
  TLayoutIni::MonthIdToYearMonth(50, 2024, 6, y, m);  // offset 150: month 156
  EXPECT_EQ(y, 2036);
  EXPECT_EQ(m, 12);
  TLayoutIni::MonthIdToYearMonth(-106, 2024, 6, y, m);  // month 0
  EXPECT_EQ(y, 2023);
  EXPECT_EQ(m, 12);
  TLayoutIni::MonthIdToYearMonth(-113, 2024, 1, y, m);  // month -12
  EXPECT_EQ(y, 2022);
  EXPECT_EQ(m, 12);
  TLayoutIni::MonthIdToYearMonth(-112, 2024, 6, y, m);
  EXPECT_EQ(y, 2023);
  EXPECT_EQ(m, 6);
  TLayoutIni::MonthIdToYearMonth(2147483647, 2024, 6, y, m);  // no overflow, a valid month
  EXPECT_GE(m, 1);
  EXPECT_LE(m, 12);
}

TEST(LayoutModel, ThePreviewPictureTravelsAsBitmapData) {
  QImage img(120, 90, QImage::Format_BGR888);
  img.fill(QColor(10, 200, 30));
  const QByteArray data = TLayoutPicture::EncodeData(img);
  EXPECT_EQ(data.left(8), QByteArray("\x07TBitmap"));
  EXPECT_EQ(TLayoutPicture::DecodeData(data).pixel(5, 5), qRgb(10, 200, 30));
  EXPECT_EQ(data, kvpack::PictureData(img));  // the tool writes the same form
  EXPECT_THROW(TLayoutPicture::DecodeData(data.left(30)), EReadError);
  EXPECT_THROW(TLayoutPicture::DecodeData(QByteArray("\x06TIcon\x00\x00\x00\x00", 11)), EReadError);
  QByteArray huge = data;
  huge[8] = char(0xFF), huge[9] = char(0xFF), huge[10] = char(0xFF), huge[11] = char(0x7F);
  EXPECT_THROW(TLayoutPicture::DecodeData(huge), EReadError);
}

TEST(BuiltinLayouts, TwentyFourLayoutsInIdTextOrderEachWithAPreview) {
  QList<qint32> kinds;
  const QStringList texts = BuiltinLayoutTexts(&kinds);
  ASSERT_EQ(texts.size(), 24);
  const QList<int> ids = {0, 1, 101, 102, 11, 12, 151, 152, 161, 162, 171, 172,
                          2, 21, 22, 301, 302, 311, 312, 51, 52, 60, 601, 602};
  TLayoutIni l;
  for (int i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(ids[i]);
    EXPECT_EQ(kinds[i], kLayoutEntryKindCompressed);
    EXPECT_TRUE(texts[i].startsWith("object Lini: TLayoutIni"));
    ASSERT_TRUE(l.LoadLayout(texts[i]));
    EXPECT_EQ(l.LayoutID, ids[i]);
    EXPECT_EQ(l.Picture.Image.size(), QSize(120, 90));
    EXPECT_NE(l.Picture.Image.pixel(60, 10), qRgb(255, 255, 255));
    int visible = 0;
    for (TLayoutItem* item : l.LayoutItems) visible += item->Visible;
    EXPECT_GE(visible, 2);
    for (int b = 1; b <= 12; ++b) {
      const int id = l.MonthBox(b).MonthID;
      EXPECT_TRUE(id == 0 || (id >= 1 && id <= 12) || id == 101 || id == -101) << id;
    }
  }
  ASSERT_TRUE(l.LoadLayout(texts[6]));
  EXPECT_EQ(l.LayoutID, 151);
  EXPECT_TRUE(l.MonthLine().Visible);
  EXPECT_TRUE(l.MonthLine().Horz);
  EXPECT_FALSE(l.Notes().DiaryOnly);  // the quick notes show with the default notes option
}

TEST(BuiltinLayouts, VisibleItemsStayOnCommonScreensWithoutOverlapping) {
  const QStringList texts = BuiltinLayoutTexts();
  for (const QSize screen : {QSize(1920, 1080), QSize(1366, 768), QSize(1280, 1024), QSize(2560, 1440)}) {
    for (const QString& text : texts) {
      TLayoutIni l;
      l.LoadLayout(text);
      SCOPED_TRACE(QString("%1 at %2x%3").arg(l.LayoutID).arg(screen.width()).arg(screen.height()).toStdString());
      const std::vector<QRect> r = kvpack::SketchLayout(text, screen.width(), screen.height());
      const QRect all(QPoint(0, 0), screen);
      for (int i = 0; i < 24; ++i) {
        if (r[size_t(i)].isNull() || r[size_t(i)].isEmpty()) continue;
        EXPECT_TRUE(all.contains(r[size_t(i)])) << i;
        for (int j = i + 1; j < 24; ++j)
          if (!r[size_t(j)].isEmpty()) {
            EXPECT_FALSE(r[size_t(i)].intersects(r[size_t(j)])) << i << " and " << j;
          }
      }
    }
  }
}
