#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include "controls/KVPrint.h"

namespace {

// Letter paper at 600 pixels per inch, no unprintable border.
constexpr TKVPageMetrics kLetter{600, 600, 5100, 6600, 0, 0};

TEST(KVPrint, MarginsMeasureFromThePaperEdges) {
  const TRect r = PrintRectTwips(kLetter, true, 1, 1, 1, 1);
  EXPECT_EQ(r, Rect(1440, 1440, 12240 - 1440, 15840 - 1440));
  // 2.54 cm is one twip short of an inch: 2.54 * 1440 * 0.3937, truncated.
  const TRect cm = PrintRectTwips(kLetter, false, 2.54, 2.54, 2.54, 2.54);
  EXPECT_EQ(cm.Left, 1439);
  EXPECT_EQ(cm.Right, 12240 - 1439);
  // The rectangle is in the printable area's coordinates: a margin smaller than the unprintable
  // border gives a negative left.
  TKVPageMetrics offset = kLetter;
  offset.OffsetX = 100;  // 240 twips
  offset.OffsetY = 50;   // 120 twips
  const TRect o = PrintRectTwips(offset, true, 0.1, 0.25, 0, 0);
  EXPECT_EQ(o.Left, 144 - 240);
  EXPECT_EQ(o.Top, 360 - 120);
  EXPECT_EQ(o.Right, 12240 - 240);
  EXPECT_EQ(o.Bottom, 15840 - 120);
}

TEST(KVPrint, MarginsThatLeaveNoAreaAreRefused) {
  EXPECT_THROW(PrintRectTwips(kLetter, true, 5, 1, 3.5, 1), EKVError);   // exactly nothing left
  EXPECT_THROW(PrintRectTwips(kLetter, true, 1, 6, 1, 6), EKVError);     // no height
  EXPECT_THROW(PrintRectTwips(kLetter, false, 30, 1, 1, 1), EKVError);   // 30 cm on letter width
  EXPECT_THROW(PrintRectTwips(kLetter, true, std::numeric_limits<double>::quiet_NaN(), 1, 1, 1), EKVError);
  EXPECT_THROW(PrintRectTwips(kLetter, true, 1e300, 1, 1, 1), EKVError);
  EXPECT_THROW(PrintRectTwips(TKVPageMetrics{}, true, 1, 1, 1, 1), EKVError);
  EXPECT_NO_THROW(PrintRectTwips(kLetter, true, 4, 1, 4.49, 1));
}

class PrintJob : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString pdf;
  void SetUp() override {
    pdf = dir.filePath("out.pdf");
    Printer().setOutputFormat(QPrinter::PdfFormat);
    Printer().setOutputFileName(pdf);
  }
  void TearDown() override { Printer().setOutputFileName(QString()); }
};

TEST_F(PrintJob, StartsOnTheProcessPrinterAndFillsTheRange) {
  TKVFormatRange range;
  range.cpMin = 5;
  auto job = PrepareFormatRange("Diary", range, true, 1, 1, 1, 1, 2);
  ASSERT_TRUE(job);
  EXPECT_EQ(range.hdc, &job->Painter());
  EXPECT_TRUE(range.hdc->isActive());
  EXPECT_EQ(range.LogX, Printer().logicalDpiX());
  EXPECT_EQ(range.rc, range.rcPage);
  EXPECT_EQ(range.rc, PrintRectTwips(PageMetricsOf(Printer()), true, 1, 1, 1, 1));
  EXPECT_EQ(range.cpMin, 0);
  EXPECT_EQ(range.cpMax, 0);
  EXPECT_EQ(Printer().docName(), "Diary");
  EXPECT_EQ(Printer().copyCount(), 2);
  job->NewPage();
  job->EndDoc();
  EXPECT_TRUE(QFile::exists(pdf));
  EXPECT_THROW(job->NewPage(), EKVError);  // the job has ended
}

TEST_F(PrintJob, NoPrinterAndBadMarginsStartNoJob) {
  TKVFormatRange range;
  EXPECT_THROW(PrepareFormatRange("x", range, true, 5, 1, 5, 1, 1), EKVError);
  EXPECT_FALSE(QFile::exists(pdf));
  EXPECT_EQ(range.hdc, nullptr);

  Printer().setOutputFileName(QString());
  EXPECT_THROW(PrepareFormatRange("x", range, true, 1, 1, 1, 1, 1), EKVError);
  // The platform's own printing with no printer set up is no printer either.
  Printer().setOutputFormat(QPrinter::NativeFormat);
  if (Printer().outputFormat() == QPrinter::NativeFormat && Printer().printerName().isEmpty()) {
    EXPECT_THROW(PrepareFormatRange("x", range, true, 1, 1, 1, 1, 1), EKVError);
  }
  Printer().setOutputFormat(QPrinter::PdfFormat);
}

}  // namespace
