#include "ui/printf.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>

#include "controls/KVListBox.h"
#include "controls/KVNbModule.h"
#include "controls/KVPrint.h"
#include "controls/KVRichEdOLE.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"
#include "tests/ui/DialogTestUtil.h"

using kvtest::Child;

namespace {

TEST(MarginUnits, TwoDecimalsAfterFifteenDigitsHalvesAwayFromZero) {
  EXPECT_EQ(FormatMargin(1.25), "1.25");
  EXPECT_EQ(FormatMargin(1.0), "1.00");
  EXPECT_EQ(FormatMargin(0), "0.00");
  // 1.25 in is 3.175 cm, held in binary just below it: shown as the decimal value, 3.18.
  EXPECT_EQ(FormatMargin(ConvertMargin(1.25, false)), "3.18");
  EXPECT_EQ(FormatMargin(ConvertMargin(0.75, false)), "1.91");
  EXPECT_EQ(FormatMargin(ConvertMargin(1.0, false)), "2.54");
  EXPECT_EQ(FormatMargin(ConvertMargin(3.18, true)), "1.25");
  EXPECT_EQ(FormatMargin(ConvertMargin(2.54, true)), "1.00");
  EXPECT_EQ(FormatMargin(0.005), "0.01");
  EXPECT_EQ(FormatMargin(0.004999), "0.00");
  EXPECT_EQ(FormatMargin(123456.785), "123456.79");
  EXPECT_EQ(FormatMargin(-1.005), "-1.01");
  EXPECT_EQ(FormatMargin(-0.001), "0.00");

  EXPECT_EQ(ParseMargin(" 2.5 "), 2.5);
  EXPECT_EQ(ParseMargin("0"), 0.0);
  for (const char* bad : {"", "abc", "-1", "1.2.3", "nan", "inf", "1e400"}) EXPECT_FALSE(ParseMargin(bad)) << bad;

  const auto cm = ConvertMarginTexts({"1.25", "1.00", "0.75", "1.00"}, false);
  ASSERT_TRUE(cm);
  EXPECT_EQ(*cm, (std::array<QString, 4>{"3.18", "2.54", "1.91", "2.54"}));
  EXPECT_FALSE(ConvertMarginTexts({"1", "x", "1", "1"}, true));
}

TEST(MarginUnits, TheLocaleDecimalPointIsShownAndBothAreRead) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(FormatMargin(1.25), "1,25");
  EXPECT_EQ(ParseMargin("1,25"), 1.25);
  EXPECT_EQ(ParseMargin("1.25"), 1.25);
  QLocale::setDefault(saved);
}

class PrintForm : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  TPrintForm form;
  QLineEdit& ml = Child<QLineEdit>(form, "MLEdit");
  QLineEdit& mr = Child<QLineEdit>(form, "MREdit");
  QLineEdit& mt = Child<QLineEdit>(form, "MTEdit");
  QLineEdit& mb = Child<QLineEdit>(form, "MBEdit");
  QComboBox& unit = Child<QComboBox>(form, "MeasurmentBox");
  QComboBox& scope = Child<QComboBox>(form, "FoldersBox");
  QCheckBox& merge = Child<QCheckBox>(form, "MergeBox");
  QSpinBox& copies = Child<QSpinBox>(form, "CopiesEdit");
  QPushButton& ok = Child<QPushButton>(form, "OKBtn");
  QPushButton& cancel = Child<QPushButton>(form, "CancelBtn");

  void SetUp() override {
    Printer().setOutputFormat(QPrinter::PdfFormat);
    Printer().setOutputFileName(Pdf());
  }
  void TearDown() override { Printer().setOutputFileName(QString()); }
  QString Pdf() const { return dir.filePath("out.pdf"); }
  QStringList Margins() const { return {ml.text(), mt.text(), mr.text(), mb.text()}; }

  // Runs the dialog as the user does: Act drives it, and the dialog ends as the user ended it.
  bool Run(bool scopeChoices, const std::function<void()>& act) {
    kvtest::Dialogs answer([&](QDialog& d) {
      EXPECT_EQ(&d, &form);
      d.show();
      act();
      return d.isVisible() ? int(QDialog::Rejected) : d.result();
    });
    return form.Execute(scopeChoices);
  }
};

TEST_F(PrintForm, OpensWithTheStartValuesAndTheTableTexts) {
  EXPECT_FALSE(Run(true, [&] {
    EXPECT_EQ(form.windowTitle(), "Print");
    EXPECT_EQ(ok.text(), "Print");
    EXPECT_EQ(Child<QPushButton>(form, "Button1").text(), "Printer Setup");
    EXPECT_EQ(Child<QLabel>(form, "Label2").text(), "Left:");
    EXPECT_EQ(Child<QLabel>(form, "Label6").text(), "Number of copies:");
    EXPECT_EQ(Child<QLabel>(form, "Label1").text(), "out.pdf");
    EXPECT_EQ(Margins(), (QStringList{"1.25", "1.00", "0.75", "1.00"}));
    EXPECT_EQ(copies.value(), 1);
    EXPECT_EQ(scope.count(), 3);
    EXPECT_EQ(scope.itemText(2), "Print selected (found) set");
    EXPECT_EQ(scope.currentIndex(), 0);
    EXPECT_EQ(unit.currentText(), "Inches");
    EXPECT_TRUE(merge.isChecked());
    EXPECT_EQ(merge.text(), "Enable multiple notes on each page");
    dialogtest::ExpectTextsFit(form);
    dialogtest::Screenshot(form, "PrintForm");
    kvtest::Click(cancel);
  }));
  EXPECT_EQ(form.LeftMargin, 1.25);
  EXPECT_TRUE(form.InInches);
}

TEST_F(PrintForm, SwitchingTheUnitConvertsTheShownMarginsOnly) {
  Run(true, [&] {
    kvtest::ChooseItem(unit, 1);
    EXPECT_EQ(Margins(), (QStringList{"3.18", "2.54", "1.91", "2.54"}));
    emit unit.activated(1);  // the unit already in force: nothing changes
    EXPECT_EQ(Margins(), (QStringList{"3.18", "2.54", "1.91", "2.54"}));
    kvtest::ChooseItem(unit, 0);
    EXPECT_EQ(Margins(), (QStringList{"1.25", "1.00", "0.75", "1.00"}));
    kvtest::ChooseItem(unit, 1);
    kvtest::Click(cancel);
  });
  // Cancelled: the fields are as they were, and the next use shows them again.
  EXPECT_TRUE(form.InInches);
  EXPECT_EQ(form.LeftMargin, 1.25);
  Run(true, [&] {
    EXPECT_EQ(unit.currentIndex(), 0);
    EXPECT_EQ(Margins(), (QStringList{"1.25", "1.00", "0.75", "1.00"}));
    kvtest::Click(cancel);
  });
}

TEST_F(PrintForm, ABadMarginIsReportedAndNothingIsConvertedOrKept) {
  kvtest::MessageBoxes boxes;
  Run(true, [&] {
    kvtest::TypeInto(ml, "1,2,3x");
    kvtest::ChooseItem(unit, 1);
    EXPECT_EQ(boxes.Texts(), QStringList{"Invalid margin format!"});
    // The edits still hold inches, and the box says so.
    EXPECT_EQ(unit.currentIndex(), 0);
    EXPECT_EQ(Margins(), (QStringList{"1,2,3x", "1.00", "0.75", "1.00"}));
    kvtest::Click(ok);
    EXPECT_EQ(boxes.Count(), 2);
    EXPECT_TRUE(form.isVisible());  // the dialog stays open
    kvtest::TypeInto(ml, "-1");
    kvtest::Click(ok);
    EXPECT_EQ(boxes.Count(), 3);
    kvtest::Click(cancel);
  });
  EXPECT_EQ(form.LeftMargin, 1.25);
}

TEST_F(PrintForm, PrintStoresEveryChoice) {
  EXPECT_TRUE(Run(true, [&] {
    kvtest::ChooseItem(unit, 1);
    kvtest::TypeInto(ml, "2");
    kvtest::TypeInto(mb, "1.5");
    copies.setFocus();
    copies.selectAll();
    QTest::keyClicks(&copies, "3");
    kvtest::ChooseItem(scope, 2);
    kvtest::Click(merge);
    kvtest::Click(ok);
  }));
  EXPECT_FALSE(form.InInches);
  EXPECT_EQ(form.LeftMargin, 2.0);
  EXPECT_EQ(form.TopMargin, 2.54);
  EXPECT_EQ(form.RightMargin, 1.91);
  EXPECT_EQ(form.BottomMargin, 1.5);
  EXPECT_EQ(form.Copies, 3);
  EXPECT_EQ(form.Scope, 3);  // the third scope item is stored as 3
  EXPECT_FALSE(form.Merge);
  // The next use starts from them.
  Run(false, [&] {
    EXPECT_EQ(unit.currentText(), "Centimeters");
    EXPECT_EQ(Margins(), (QStringList{"2.00", "2.54", "1.91", "1.50"}));
    EXPECT_EQ(copies.value(), 3);
    kvtest::Click(cancel);
  });
}

TEST_F(PrintForm, ASingleTextHidesTheScopeAndMergeChoices) {
  Run(false, [&] {
    EXPECT_FALSE(scope.isVisible());
    EXPECT_FALSE(merge.isVisible());
    dialogtest::ExpectTextsFit(form);
    kvtest::Click(cancel);
  });
  // The diary shows them again, whatever the quick notes did before.
  Run(true, [&] {
    EXPECT_TRUE(scope.isVisible());
    EXPECT_TRUE(merge.isVisible());
    kvtest::Click(cancel);
  });
}

TEST_F(PrintForm, PrinterSetupRunsThePrintDialogAndShowsTheNewPrinter) {
  int setups = 0;
  kvtest::Dialogs answer([&](QDialog& d) {
    if (d.objectName() == "PrinterSetupDialog") {
      ++setups;
      EXPECT_NE(qobject_cast<QPrintDialog*>(&d), nullptr);
      Printer().setOutputFileName(dir.filePath("other.pdf"));
      return int(QDialog::Accepted);
    }
    d.show();
    EXPECT_EQ(Child<QLabel>(form, "Label1").text(), "out.pdf");
    kvtest::Click(Child<QPushButton>(form, "Button1"));
    EXPECT_EQ(Child<QLabel>(form, "Label1").text(), "other.pdf");
    kvtest::Click(cancel);
    return d.result();
  });
  EXPECT_FALSE(form.Execute(true));
  EXPECT_EQ(setups, 1);
  Printer().setOutputFileName(QString());
  if (Printer().printerName().isEmpty()) {
    EXPECT_EQ(PrinterDisplayName(Printer()), "No printers installed");
  }
}

int PdfPages(const QString& file) {
  const QByteArray pdf = kvtest::ReadFile(file);
  return int(QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))));
}

TEST_F(PrintForm, TheDiaryPrintsWithTheChosenSettings) {
  TKVRichEditOLE editor;
  TKVListBox list;
  QLineEdit search;
  TNbModule nb;
  nb.SetNbEdit(&editor);
  nb.SetSearchBox(&list);
  nb.SetSearchEdit(&search);
  for (const char* id : {"1", "2", "3"})
    nb.Data().StoreEntry(id, id, QStringLiteral("{\\rtf1\\ansi Note %1}").arg(id), clBlack, 0, nbsmKeep);
  nb.SetShowAll(true);
  const auto print = [&] {
    nb.Print("Diary", form.InInches, form.LeftMargin, form.TopMargin, form.RightMargin, form.BottomMargin,
             form.Scope, form.Merge, form.Copies);
  };
  ASSERT_TRUE(Run(true, [&] {
    kvtest::ChooseItem(scope, 1);
    kvtest::Click(merge);
    kvtest::ChooseItem(unit, 1);
    kvtest::Click(ok);
  }));
  print();
  EXPECT_EQ(PdfPages(Pdf()), 3);  // all entries, one per page
  ASSERT_TRUE(Run(true, [&] {
    kvtest::Click(merge);
    kvtest::Click(ok);
  }));
  print();
  EXPECT_EQ(PdfPages(Pdf()), 1);
  // Margins that leave no room end in the printing error, and no page.
  QFile::remove(Pdf());
  ASSERT_TRUE(Run(true, [&] {
    kvtest::TypeInto(ml, "15");
    kvtest::TypeInto(mr, "15");
    kvtest::Click(ok);
  }));
  kvtest::MessageBoxes boxes;
  print();
  EXPECT_EQ(boxes.Texts(), QStringList{"Printing Error!"});
  EXPECT_FALSE(QFile::exists(Pdf()));
}

}  // namespace
