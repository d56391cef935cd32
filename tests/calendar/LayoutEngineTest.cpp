#include <gtest/gtest.h>

#include "calendar/MirLayout.h"
#include "calendar/iniData.h"
#include "foundation/KVBitmapList.h"
#include "foundation/KVTextHelper.h"

namespace {

QString LayoutOf(const QStringList& lines) {
  return "object Lini: TLayoutIni\n  " + lines.join("\n  ") + "\nend\n";
}

struct Engine {
  TLayoutIni L;
  TLayoutMetrics M;
  TKVFixedTextHelper text;

  Engine(const QStringList& lines, int w = 1024, int h = 768) {
    EXPECT_TRUE(L.LoadLayout(LayoutOf(lines)));
    M.ScreenWidth = w;
    M.ScreenHeight = h;
    M.DayFont.setPixelSize(13);
    M.TitleFont.setPixelSize(40);
    M.DayNameWidth = 30;
    M.TitleText = QStringLiteral("March 2024");
  }
  void Run() {
    TKVTextHelperScope scope(text);
    CalculateLayout(L, M);
  }
  TLayoutItem& Item(int i) { return *L.LayoutItems[size_t(i)]; }
  TRect R(int i) { return Item(i).Rect; }
};

}  // namespace

TEST(LayoutEngine, DirectSizesArePixelsPerMilleOrTheScreen) {
  Engine e({"Notes.Visible = True", "Notes.Anchors = [akLeft, akTop]", "Notes.Width.ValueType = lsPromil",
            "Notes.Width.Value = 250", "Notes.Height.ValueType = lsScr", "Notes.XSpace.ValueType = lsPromil",
            "Notes.XSpace.Value = 125", "Notes.YSpace.ValueType = lsFixed", "Notes.YSpace.Value = 7",
            "GeneralNotes.Width.ValueType = lsFixed", "GeneralNotes.Width.Value = 99"});
  e.Run();
  EXPECT_EQ(e.Item(14).Width->Computed, 256);
  EXPECT_EQ(e.Item(14).Height->Computed, 768);
  EXPECT_EQ(e.Item(14).XSpace->Computed, 128);  // 1024 x 125 / 1000 = 128
  EXPECT_EQ(e.R(14), (TRect{128, 7, 384, 775}));
  // Invisible items are not computed.
  EXPECT_EQ(e.Item(15).Width->Computed, 0);

  Engine f({"Notes.Visible = True", "Notes.Width.ValueType = lsPromil", "Notes.Width.Value = 125",
            "Notes.Height.ValueType = lsPromil", "Notes.Height.Value = 75"},
           1000, 1010);
  f.Run();
  EXPECT_EQ(f.Item(14).Width->Computed, 125);
  EXPECT_EQ(f.Item(14).Height->Computed, 76);  // 75.75
  Engine g({"Notes.Visible = True", "Notes.Height.ValueType = lsPromil", "Notes.Height.Value = 50"}, 1000, 1010);
  g.Run();
  EXPECT_EQ(g.Item(14).Height->Computed, 50);  // 50.5: halves go to even
  Engine h({"Notes.Visible = True", "Notes.Height.ValueType = lsPromil", "Notes.Height.Value = 150"}, 1000, 1010);
  h.Run();
  EXPECT_EQ(h.Item(14).Height->Computed, 152);  // 151.5
}

TEST(LayoutEngine, MonthLinesAndBoxesSnapToWholeCellsBeforeClamping) {
  Engine e({"MonthLine.Visible = True", "MonthLine.Horz = True", "MonthLine.Anchors = [akLeft, akTop]",
            "MonthLine.Width.ValueType = lsPromil", "MonthLine.Width.Value = 900", "MonthLine.Height.ValueType = lsFixed",
            "MonthLine.Height.Value = 47", "MonthBox1.Visible = True", "MonthBox1.Anchors = [akLeft, akTop]",
            "MonthBox1.Width.Value = 200", "MonthBox1.Height.Value = 170"});
  e.Run();
  EXPECT_EQ(e.Item(0).Width->Computed, 905);  // 922 -> 29 columns of 31 plus 6
  EXPECT_EQ(e.Item(0).Height->Computed, 47);  // never snapped vertically
  EXPECT_EQ(e.R(1), (TRect{0, 0, 195, 166}));

  Engine c({"MonthBox1.Visible = True", "MonthBox1.Width.ValueType = lsPromil", "MonthBox1.Width.Value = 250",
            "MonthBox1.Width.Min = 300", "MonthBox1.Height.ValueType = lsPromil", "MonthBox1.Height.Value = 500",
            "MonthBox1.Height.Max = 100", "MonthBox2.Visible = True", "MonthBox2.Width.Value = 50",
            "MonthBox2.Width.Min = 100", "MonthBox2.Height.Value = 500", "MonthBox2.Height.Max = 100",
            "MonthBox3.Visible = True", "MonthBox3.Width.ValueType = lsPromil", "MonthBox3.Width.Value = 500",
            "MonthBox3.Height.ValueType = lsPromil", "MonthBox3.Height.Value = 100"},
           1000, 1000);
  c.Run();
  EXPECT_EQ(c.Item(1).Width->Computed, 300);   // 250 snapped to 244, then raised to Min, not re-snapped
  EXPECT_EQ(c.Item(1).Height->Computed, 100);  // 494 lowered to Max
  EXPECT_EQ(c.Item(2).Width->Computed, 48);    // lsFixed is never clamped
  EXPECT_EQ(c.Item(2).Height->Computed, 494);
  EXPECT_EQ(c.Item(3).Width->Computed, 496);   // Min and Max 0 never clamp
  EXPECT_EQ(c.Item(3).Height->Computed, 94);
}

TEST(LayoutEngine, ControlSumsAddTheSpacesOfAllButTheFirstItem) {
  QStringList lines;
  for (int b = 1; b <= 3; ++b)
    lines << QString("MonthBox%1.Visible = True").arg(b) << QString("MonthBox%1.Width.Value = 200").arg(b)
          << QString("MonthBox%1.XSpace.Value = 10").arg(b) << QString("MonthBox%1.Height.Value = 86").arg(b)
          << QString("MonthBox%1.YSpace.Value = 4").arg(b);
  lines << "Notes.Visible = True"
        << "Notes.Width.ValueType = lsCtrl"
        << "Notes.Width.Ctrls = '1,2,3,'"
        << "Notes.Width.Min = 5000"
        << "Notes.Height.ValueType = lsCtrl"
        << "Notes.Height.Ctrls = '1,2,'";
  Engine e(lines);
  e.Run();
  EXPECT_EQ(e.Item(14).Width->Computed, 605);  // 195 + (195 + 10) + (195 + 10), never clamped
  EXPECT_EQ(e.Item(14).Height->Computed, 176);  // 86 + (86 + 4)

  // The calculation order decides which sizes a sum sees: summed before the boxes are snapped,
  // it adds their unsnapped widths.
  lines << "XCalcOrder = '14,0,1,2,3,4,5,6,7,8,9,10,11,12,13,15,16,17,18,19,20,21,22,23,'";
  Engine late(lines);
  late.Run();
  EXPECT_EQ(late.Item(14).Width->Computed, 620);
}

TEST(LayoutEngine, AnchorsMeasureFromTheirEdgesAfterTheNamedItems) {
  Engine e({"Notes.Visible = True", "Notes.Anchors = [akTop]", "Notes.Width.Value = 100", "Notes.XSpace.Value = 10",
            "Notes.Height.Value = 50", "Notes.YSpace.Value = 20", "GeneralNotes.Visible = True",
            "GeneralNotes.Anchors = []", "GeneralNotes.Width.Value = 100", "GeneralNotes.XSpace.Value = 10",
            "GeneralNotes.Height.Value = 40", "GeneralNotes.YSpace.Value = 8", "GeneralNotes.SXPos = '23,'",
            "GeneralNotes.SYPos = '23,'", "SponsorImage.Visible = True", "SponsorImage.Width.Value = 200", "SponsorImage.XSpace.Value = 5",
            "SponsorImage.Height.Value = 30", "SponsorImage.YSpace.Value = 2"});
  e.Run();
  EXPECT_EQ(e.R(14), (TRect{914, 20, 1014, 70}));
  // The sponsor's size is its picture's (none here: 0), whatever its rules say.
  EXPECT_EQ(e.R(15), (TRect{909, 718, 1009, 758}));
  Engine f({"Notes.Visible = True", "Notes.Anchors = [akTop]", "Notes.Width.Value = 100", "Notes.XSpace.Value = 10",
            "Notes.SXPos = '15,'", "GeneralNotes.Width.Value = 200", "GeneralNotes.XSpace.Value = 5",
            "GeneralNotes.Visible = True"});
  f.Run();
  EXPECT_EQ(f.R(14).Left, 709);
  EXPECT_EQ(f.R(14).Right, 809);
}

TEST(LayoutEngine, CentringMovesAGroupByHalfTheWidthLeftOver) {
  Engine e({"Notes.Visible = True", "Notes.Anchors = [akLeft, akTop]", "Notes.Width.Value = 300",
            "GeneralNotes.Visible = True", "GeneralNotes.Anchors = [akLeft, akTop]", "GeneralNotes.Width.Value = 190",
            "GeneralNotes.XSpace.Value = 10", "GeneralNotes.SXPos = '14,'", "WDayNotes1.Visible = True",
            "WDayNotes1.Anchors = [akTop]", "WDayNotes1.Width.Value = 500", "WDayNotes1.Height.Value = 100",
            "WDayNotes1.YSpace.Value = 100", "WDayNotes2.Width.Value = 50", "WDayNotes3.Visible = True",
            "WDayNotes3.Anchors = [akLeft, akTop]", "WDayNotes3.Width.Value = 40", "WDayNotes3.Height.Value = 100",
            "WDayNotes3.YSpace.Value = 50", "CenterX.Strings = ('14,15,' '16,' '17,')", "CenterY.Strings = ('18,')"},
           1000, 600);
  e.Run();
  EXPECT_EQ(e.R(14), (TRect{250, 0, 550, 0}));
  EXPECT_EQ(e.R(15), (TRect{560, 0, 750, 0}));
  EXPECT_EQ(e.R(16), (TRect{250, 100, 750, 200}));  // right-anchored: moved left
  // A group of invisible items moves nothing; item 18 is centred vertically by (600 - 150 + 50) div 2.
  EXPECT_EQ(e.R(18), (TRect{0, 300, 40, 400}));
  EXPECT_EQ(e.Item(17).Rect, TRect{});
}

TEST(LayoutEngine, ContentSizesOfTheVerticalLineTitleAndSponsor) {
  TKVBitmapObjectList strips;
  strips.Add();
  TKVBitmapList& sponsors = strips.Add();
  sponsors.AddBitmap(QImage(40, 30, QImage::Format_RGB32));
  sponsors.AddBitmap(QImage(64, 48, QImage::Format_RGB32));
  Engine e({"MonthLine.Visible = True", "MonthLine.Width.ValueType = lsFixed", "MonthLine.Width.Value = 500",
            "MonthYear.Visible = True", "MonthYear.Width.ValueType = lsCalc", "MonthYear.Height.ValueType = lsCalc",
            "MonthYear.Height.Max = 20", "SponsorImage.Width.ValueType = lsCalc", "SponsorImage.Height.ValueType = lsCalc"});
  e.M.PackImages = &strips;
  e.M.SponsorNo = 1;
  e.Run();
  EXPECT_EQ(e.Item(0).Width->Computed, 12 + 30 + 34);  // "99" in 13-pixel cells 6 pixels wide
  EXPECT_EQ(e.Item(13).Width->Computed, 11 * 20 / 2 + 6);
  EXPECT_EQ(e.Item(13).Height->Computed, 20);  // 40 / 2 + 6, lowered to Max
  // The sponsor's size is taken whether or not it is shown.
  EXPECT_EQ(e.Item(23).Width->Computed, 64);
  EXPECT_EQ(e.Item(23).Height->Computed, 48);
  e.M.SponsorNo = 5;
  e.Run();
  EXPECT_EQ(e.Item(23).Width->Computed, 0);
  TKVBitmapObjectList one;
  one.Add().AddBitmap(QImage(10, 10, QImage::Format_RGB32));
  e.M.PackImages = &one;
  e.M.SponsorNo = 0;
  e.Run();
  EXPECT_EQ(e.Item(23).Height->Computed, 0);
}

TEST(LayoutEngine, HostileSizesStayWithinRange) {
  Engine e({"Notes.Visible = True", "Notes.Anchors = []", "Notes.Width.Value = 2147483647",
            "Notes.XSpace.ValueType = lsPromil", "Notes.XSpace.Value = 2147483647", "Notes.SXPos = '14,14,14,14,'",
            "Notes.Height.Value = -2147483647", "MonthBox1.Visible = True", "MonthBox1.Width.Value = -2147483647",
            "CenterX.Strings = ('14,1,')"});
  e.Run();
  for (int i : {1, 14}) {
    const TRect r = e.R(i);
    for (int v : {r.Left, r.Top, r.Right, r.Bottom}) {
      EXPECT_LE(v, kMaxLayoutCoord);
      EXPECT_GE(v, -kMaxLayoutCoord);
    }
  }
}

TEST(LayoutEngine, AVerticalMonthLineSizedByContentHoldsItsRowsInTheRoomItHas) {
  const QStringList vertical = {"MonthLine.Visible = True", "MonthLine.Anchors = [akLeft, akTop]",
                                "MonthLine.Height.ValueType = lsCalc", "MonthLine.YSpace.ValueType = lsPromil",
                                "MonthLine.YSpace.Value = 56"};
  Engine e(vertical, 1920, 1080);
  e.M.DayRowHeight = 30;
  e.Run();
  EXPECT_EQ(e.R(0).Top, 60);
  EXPECT_EQ(e.R(0).Height(), 31 * 30 + 6);
  // Its room runs from its top to the bottom of the work area.
  EXPECT_EQ(MonthLineRoom(e.L, 1080, 40, 1032), 1032 - 60);
  // Measured from the bottom, to the top of the work area; never more than its Max.
  Engine up(QStringList(vertical).replaceInStrings("[akLeft, akTop]", "[akLeft]") << "MonthLine.Height.Max = 900",
            1920, 1080);
  EXPECT_EQ(MonthLineRoom(up.L, 1080, 40, 1032), 900);
  up.M.DayRowHeight = 30;
  up.Run();
  EXPECT_EQ(up.R(0).Height(), 900);
  EXPECT_EQ(up.R(0).Bottom, 1080 - 60);
  Engine upNoMax(QStringList(vertical).replaceInStrings("[akLeft, akTop]", "[akLeft]"), 1920, 1080);
  EXPECT_EQ(MonthLineRoom(upNoMax.L, 1080, 40, 1032), 1080 - 60 - 40);
  // A line of a given height has that height, within the work area; others have the work area.
  Engine fixed({"MonthLine.Visible = True", "MonthLine.Height.ValueType = lsPromil", "MonthLine.Height.Value = 500"});
  EXPECT_EQ(MonthLineRoom(fixed.L, 1080, 40, 1032), 540);
  Engine screen({"MonthLine.Visible = True", "MonthLine.Height.ValueType = lsScr"});
  EXPECT_EQ(MonthLineRoom(screen.L, 1080, 40, 1032), 992);
  Engine after(QStringList(vertical) << "MonthLine.SYPos = '13,'");
  EXPECT_EQ(MonthLineRoom(after.L, 1080, 40, 1032), 992);
  Engine none({"MonthBox1.Visible = True"});
  EXPECT_EQ(MonthLineRoom(none.L, 1080, 0, 1048), 1048);
  // A horizontal line has no rows to hold: its content height stays as loaded.
  Engine horizontal({"MonthLine.Visible = True", "MonthLine.Horz = True", "MonthLine.Width.Value = 500",
                     "MonthLine.Height.ValueType = lsCalc"});
  horizontal.M.DayRowHeight = 30;
  horizontal.Run();
  EXPECT_EQ(horizontal.R(0).Height(), 0);
  EXPECT_EQ(MonthLineRoom(horizontal.L, 1080, 40, 1032), 992);
}
