#include "ui/DiaryTab.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QFontInfo>
#include <QGuiApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTableView>
#include <gtest/gtest.h>

#include "controls/KVFontCombo.h"
#include "controls/KVListBox.h"
#include "controls/KVNbModule.h"
#include "controls/KVRichEdActions.h"
#include "controls/KVStdCtrls.h"
#include "controls/KVPrint.h"
#include "controls/KVRichEdOLE.h"
#include "platform/KVClock.h"
#include "platform/KVLaunch.h"
#include "tests/common/TestUtil.h"
#include "tests/ui/PageTestUtil.h"
#include "ui/MainF.h"
#include "ui/printf.h"

using kvtest::Child;

namespace {

const QString kDentist = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Dentist at nine\\par\r\n}";
const QString kGarden = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Garden and dentist\\par\r\n}";

class DiaryPage : public ::testing::Test {
 protected:
  pagetest::Pages p;
  TDiaryTab& page = *p.diary;
  TKVRichEditOLE& editor = *p.diary->Editor();
  QCalendarWidget& calendar = *p.diary->MonthCalendar();
  TKVListBox& list = *p.diary->DiaryList();
  // A date picked in the calendar as the user picks it (a click or a key).
  void Pick(const QDate& d) { calendar.setSelectedDate(d); }
};

}  // namespace

TEST_F(DiaryPage, TheCalendarPicksTheDaysEntryAndTypingMakesOneThatIsKeptOnTheNextDay) {
  p.Store("2004/03/07", kDentist);
  p.Start();
  EXPECT_EQ(list.Count(), 1);
  int changes = 0;
  const auto counted = p.Nb().OnActiveChanged;
  p.Nb().OnActiveChanged.Set([&](TPersistent* s) {
    ++changes;
    counted(s);
  });

  Pick(QDate(2004, 3, 6));
  EXPECT_EQ(p.Nb().ActiveID(), "2004/03/06");
  EXPECT_TRUE(editor.toPlainText().isEmpty());
  Pick(QDate(2004, 3, 7));
  EXPECT_EQ(p.Nb().ActiveID(), "2004/03/07");
  EXPECT_TRUE(editor.toPlainText().startsWith("Dentist"));
  Pick(QDate(2004, 3, 7));  // the day of the active entry again: nothing happens
  EXPECT_EQ(changes, 2);

  // The next day by the keyboard: a new entry under that date.
  calendar.findChild<QTableView*>()->setFocus();
  QTest::keyClick(calendar.findChild<QTableView*>(), Qt::Key_Right);
  EXPECT_EQ(p.Nb().ActiveID(), "2004/03/08");
  EXPECT_TRUE(editor.toPlainText().isEmpty());
  editor.setFocus();
  QTest::keyClicks(&editor, "Bought bulbs");
  const int rendersBefore = p.renders;
  Pick(QDate(2004, 3, 9));
  ASSERT_NE(p.Nb().Data().FindEntry("2004/03/08"), nullptr);
  EXPECT_EQ(p.Nb().Data().FindEntry("2004/03/08")->Title, "Bought bulbs");
  EXPECT_EQ(p.renders, rendersBefore + 1);  // the edited day may show on the calendar
  EXPECT_EQ(list.Count(), 2);
  // Moving on without an edit draws nothing.
  Pick(QDate(2004, 3, 10));
  EXPECT_EQ(p.renders, rendersBefore + 1);

  // An entry whose ID is no date (a linked diary's) leaves the calendar where it is.
  p.Store("17", kGarden);
  page.ShowAllBtnClick();
  const QDate shown = calendar.selectedDate();
  list.SetItemIndex(list.IndexOf(p.Nb().Data().FindEntry("17")->GetCaption(p.Nb().TitleFormat)));
  p.Nb().SearchBoxClick();
  EXPECT_EQ(p.Nb().ActiveID(), "17");
  EXPECT_EQ(calendar.selectedDate(), shown);

  // The today label moves the calendar, not the entry.
  page.TodayLabelClick();
  EXPECT_EQ(calendar.selectedDate(), KVNow().date());
  EXPECT_EQ(p.Nb().ActiveID(), "17");
}

TEST_F(DiaryPage, FindWithTheThreeKeywordModesShowAllAndDelete) {
  p.Store("2004/03/07", kDentist);
  p.Store("2004/03/08", kGarden);
  p.Store("2004/03/09", "{\\rtf1\\ansi Nothing here\\par}");
  p.Start();
  auto& search = Child<QLineEdit>(page, "SearchEdit");
  auto& modes = Child<QComboBox>(page, "FindKeywords");
  auto& showAll = Child<QPushButton>(page, "ShowAllBtn");
  EXPECT_EQ(modes.itemText(2), "Any keyword");
  EXPECT_FALSE(showAll.isEnabled());
  Pick(QDate(2004, 3, 8));
  pagetest::Screenshot(p.window, "diary-page");

  kvtest::TypeInto(search, "garden,dentist");
  kvtest::ChooseItem(modes, 1);
  QTest::keyClick(&search, Qt::Key_Return);
  EXPECT_EQ(list.Count(), 1);  // all keywords
  EXPECT_TRUE(showAll.isEnabled());
  kvtest::ChooseItem(modes, 2);
  kvtest::Click(Child<QPushButton>(page, "FindBtn"));
  EXPECT_EQ(list.Count(), 2);  // any keyword
  kvtest::ChooseItem(modes, 0);
  kvtest::Click(Child<QPushButton>(page, "FindBtn"));
  EXPECT_EQ(list.Count(), 0);  // the exact phrase is nowhere
  kvtest::Click(showAll);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_FALSE(showAll.isEnabled());

  // Delete asks first; No keeps the entry.
  Pick(QDate(2004, 3, 8));
  {
    kvtest::MessageBoxes no(7);
    page.actDeleteDiaryEntryExecute();
    EXPECT_EQ(no.Count(), 1);
  }
  EXPECT_EQ(list.Count(), 3);
  {
    kvtest::MessageBoxes yes(6);
    page.actDeleteDiaryEntryExecute();
    EXPECT_EQ(yes.Texts(), QStringList{"Are you sure you want to delete selected entry?"});
  }
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(p.Nb().Data().FindEntry("2004/03/08"), nullptr);

  // The long date option lists the entries with the other titles.
  const QString longTitle = list.Strings(0);
  auto& longDate = Child<QCheckBox>(*p.options, "DiaryLongDateChk");
  EXPECT_TRUE(longDate.isChecked());
  p.window.setCurrentIndex(1);
  kvtest::Click(longDate);
  EXPECT_FALSE(p.model.Ini->DiaryLongDate);
  EXPECT_EQ(p.Nb().TitleFormat, "dt");
  EXPECT_NE(list.Strings(0), longTitle);
  EXPECT_EQ(list.Count(), 2);
}

// Whatever the list shows, the editor edits the entry of the day the calendar shows selected.
TEST_F(DiaryPage, ASearchThatFindsNothingLeavesTheSelectedDaysEntryToEdit) {
  p.Store("2004/03/07", kDentist);
  p.Store("2004/03/08", kGarden);
  p.Start();
  auto& search = Child<QLineEdit>(page, "SearchEdit");
  for (const QDate day : {QDate(2004, 3, 7), QDate(2004, 3, 8)}) {
    Pick(day);
    const QString before = editor.toPlainText();
    kvtest::TypeInto(search, "zebra");
    QTest::keyClick(&search, Qt::Key_Return);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(calendar.selectedDate(), day);
    EXPECT_EQ(editor.toPlainText(), before);
    EXPECT_FALSE(editor.ReadOnly());
    editor.setFocus();
    QTest::keyClick(&editor, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClicks(&editor, "Also: ");
    Pick(day.addDays(7));
  }
  EXPECT_EQ(NbPlainText(p.Nb().Data().FindEntry("2004/03/07")->Text), "Also: Dentist at nine");
  EXPECT_EQ(NbPlainText(p.Nb().Data().FindEntry("2004/03/08")->Text), "Also: Garden and dentist");
  EXPECT_EQ(p.Nb().Data().FindEntry("2004/03/14"), nullptr);

  // Several words, as they are typed: all of them, or any.
  p.Store("2004/03/09", "{\\rtf1\\ansi Shopping: milk and bread\\par}");
  kvtest::TypeInto(search, "Milk BREAD");
  kvtest::ChooseItem(Child<QComboBox>(page, "FindKeywords"), 1);
  kvtest::Click(Child<QPushButton>(page, "FindBtn"));
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(p.Nb().ActiveID(), "2004/03/09");
  kvtest::TypeInto(search, "bread garden");
  kvtest::ChooseItem(Child<QComboBox>(page, "FindKeywords"), 2);
  kvtest::Click(Child<QPushButton>(page, "FindBtn"));
  EXPECT_EQ(list.Count(), 2);
}

// The editor of the Diary page is the one of the quick notes: its keys, its context menu and
// its text colour work here too, and its font box names a font that is drawn.
TEST_F(DiaryPage, TheEditorHasTheKeysTheContextMenuAndTheColourOfEveryEditor) {
  p.Store("2004/03/07", kDentist);
  p.Start();
  Pick(QDate(2004, 3, 7));
  auto& bold = Child<TKVTriStateButton>(page, "BBtn");
  editor.setFocus();
  editor.SetSelection(0, 7, false);  // "Dentist"
  QTest::keyClick(&editor, Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(bold.State(), Qt::Checked);
  QTest::keyClick(&editor, Qt::Key_I, Qt::ControlModifier);
  QTest::keyClick(&editor, Qt::Key_U, Qt::ControlModifier);
  EXPECT_EQ(editor.SelAttributes().Style(), FontStyle(fsBold) | FontStyle(fsItalic) | FontStyle(fsUnderline));
  EXPECT_EQ(Child<TKVTriStateButton>(page, "UBtn").State(), Qt::Checked);
  EXPECT_TRUE(editor.toPlainText().startsWith("Dentist at nine"));
  // With no selection the keys set what is typed next, and the button shows it at once.
  editor.SetSelection(15, 15, false);
  QTest::keyClick(&editor, Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(bold.State(), Qt::Checked);
  QTest::keyClicks(&editor, "!");
  editor.SetSelection(15, 16, false);
  EXPECT_TRUE(editor.SelAttributes().Style() & FontStyle(fsBold));

  // The context menu: cut, copy, paste, paste special, select all, undo, each on this editor.
  ASSERT_NE(editor.PopupMenu, nullptr);
  QStringList items;
  for (QAction* a : editor.PopupMenu->actions()) items << a->text();
  EXPECT_EQ(items, QStringList({"Cut", "Copy", "Paste", "Paste Special", "Select All", "Undo"}));
  const auto run = [&](const char* name) {
    UpdateRichEditActions();
    auto& a = Child<QAction>(page, name);
    ASSERT_TRUE(a.isEnabled()) << name;
    a.trigger();
  };
  run("actREOSelectAll");
  run("actREOCopy");
  EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith("Dentist at nine!"));
  run("actREOUndo");
  EXPECT_FALSE(editor.toPlainText().contains('!')) << editor.toPlainText().toStdString();

  // The text colour, from the toolbar.
  {
    kvtest::Dialogs answer([](QDialog& d) {
      auto* colours = qobject_cast<QColorDialog*>(&d);
      EXPECT_NE(colours, nullptr);
      if (colours) colours->setCurrentColor(QColor(0, 128, 0));
      return int(QDialog::Accepted);
    });
    editor.SetSelection(0, 7, false);
    UpdateRichEditActions();
    auto& colour = Child<QToolButton>(page, "ColorBtn");
    ASSERT_TRUE(colour.isEnabled());
    kvtest::Click(colour);
  }
  EXPECT_EQ(editor.SelAttributes().Color(), RGB(0, 128, 0));
  Pick(QDate(2004, 3, 8));
  EXPECT_EQ(p.Nb().Data().FindEntry("2004/03/07")->Color, RGB(0, 128, 0));  // the list shows it in that colour
}

// A new day's entry starts in the stored font, which is not installed: the font box names the
// family the text is drawn in, as the style page does, with that family's sizes.
TEST_F(DiaryPage, AFontThatIsNotInstalledIsShownAsTheFamilyDrawn) {
  p.Start();
  Pick(QDate(2004, 3, 8));
  const QString stored = p.Nb().DefaultFont().Name;
  ASSERT_FALSE(IsScreenFont(stored)) << stored.toStdString();
  auto& font = Child<TKVFontComboBox>(page, "FontBox");
  EXPECT_GE(font.currentIndex(), 0);
  EXPECT_EQ(font.currentText(), QFontInfo(QFont(stored)).family());
  EXPECT_GT(Child<TKVFontSizeComboBox>(page, "FontSizeBox").count(), 0);
}

TEST_F(DiaryPage, TheToolbarFollowsAMixedSelectionAndTakesOnlyRealSizes) {
  p.Start();
  Pick(QDate(2004, 3, 7));
  editor.SetRTFText(
      "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}\\f0\\fs24\\b Bold\\b0  \\f1\\fs40 plain\\par}");
  auto& bold = Child<TKVTriStateButton>(page, "BBtn");
  auto& italic = Child<TKVTriStateButton>(page, "IBtn");
  auto& size = Child<TKVFontSizeComboBox>(page, "FontSizeBox");
  auto& font = Child<TKVFontComboBox>(page, "FontBox");

  editor.SetSelection(0, 4, false);  // "Bold"
  EXPECT_EQ(bold.State(), Qt::Checked);
  EXPECT_EQ(italic.State(), Qt::Unchecked);
  EXPECT_EQ(size.currentText(), "12");
  editor.selectAll();  // bold and plain, 12 and 20 points, two faces
  EXPECT_EQ(bold.State(), Qt::PartiallyChecked);
  EXPECT_EQ(italic.State(), Qt::Unchecked);
  EXPECT_EQ(size.currentText(), "");
  EXPECT_EQ(font.currentIndex(), -1);
  EXPECT_TRUE(Child<QToolButton>(page, "AlignLeftBtn").isChecked());

  // Bold over the mixed selection gives it one style, and the button shows it.
  UpdateRichEditActions();
  ASSERT_TRUE(bold.isEnabled());
  kvtest::Click(bold);
  EXPECT_NE(bold.State(), Qt::PartiallyChecked);
  EXPECT_EQ(bold.State() == Qt::Checked, (editor.SelAttributes().Style() & FontStyle(fsBold)) != 0);

  // A typed size applies on Enter; text and sizes the editor cannot hold put the size back.
  editor.SetSelection(0, 4, false);
  size.lineEdit()->selectAll();
  QTest::keyClicks(size.lineEdit(), "abc");
  QTest::keyClick(size.lineEdit(), Qt::Key_Return);
  EXPECT_EQ(size.currentText(), "12");
  size.lineEdit()->selectAll();
  QTest::keyClicks(size.lineEdit(), "2000");
  QTest::keyClick(size.lineEdit(), Qt::Key_Return);
  EXPECT_EQ(size.currentText(), "12");
  EXPECT_EQ(editor.SelAttributes().Size(), 12);
  size.lineEdit()->selectAll();
  QTest::keyClicks(size.lineEdit(), "16");
  QTest::keyClick(size.lineEdit(), Qt::Key_Return);
  EXPECT_EQ(editor.SelAttributes().Size(), 16);

  kvtest::Click(Child<QToolButton>(page, "BulletBtn"));
  EXPECT_EQ(editor.Paragraph().Numbering(), nbBullet);
  EXPECT_TRUE(Child<QToolButton>(page, "BulletBtn").isChecked());
}

TEST_F(DiaryPage, ALinkedDiaryWarnsOnlyForKeysThatWouldEdit) {
  p.Store("2004/03/07", kDentist);
  p.Start();
  Pick(QDate(2004, 3, 7));
  page.SetDiaryReadOnly(true);
  EXPECT_FALSE(Child<QWidget>(page, "FontBox").isEnabled());
  EXPECT_FALSE(Child<QWidget>(page, "FontSizeBox").isEnabled());
  EXPECT_FALSE(Child<QWidget>(page, "FontCharsetBox").isEnabled());
  editor.setFocus();
  {
    kvtest::MessageBoxes boxes;
    QTest::keyClick(&editor, Qt::Key_A, Qt::ControlModifier);  // select all
    QTest::keyClick(&editor, Qt::Key_C, Qt::ControlModifier);  // copy
    QTest::keyClick(&editor, Qt::Key_Right);
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith("Dentist at nine"));  // copying works
    QTest::keyClick(&editor, Qt::Key_X);
    QTest::keyClick(&editor, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(&editor, Qt::Key_Delete);
    ASSERT_EQ(boxes.Count(), 3);
    EXPECT_TRUE(boxes.Texts()[0].startsWith("Mirova Calendar is currently set to display Notavel Diary entries."));
    page.actDeleteDiaryEntryExecute();
    EXPECT_EQ(boxes.Count(), 4);
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(boxes.Count(), 5);
  }
  EXPECT_TRUE(editor.toPlainText().startsWith("Dentist at nine"));
  EXPECT_NE(p.Nb().Data().FindEntry("2004/03/07"), nullptr);

  page.SetDiaryReadOnly(false);
  EXPECT_TRUE(Child<QWidget>(page, "FontBox").isEnabled());
  QTest::keyClick(&editor, Qt::Key_Home);
  QTest::keyClick(&editor, Qt::Key_X);
  EXPECT_TRUE(editor.toPlainText().startsWith("xDentist"));
}

TEST(DiaryEditingKeys, TypingDeletingPastingAndLineBreaksEditMovingAndCopyingDoNot) {
  const auto key = [](int k, Qt::KeyboardModifiers m = Qt::NoModifier, const QString& text = QString()) {
    return QKeyEvent(QEvent::KeyPress, k, m, text);
  };
  EXPECT_TRUE(IsEditingKey(key(Qt::Key_A, Qt::NoModifier, "a")));
  EXPECT_TRUE(IsEditingKey(key(Qt::Key_A, Qt::ShiftModifier, "A")));
  EXPECT_TRUE(IsEditingKey(key(Qt::Key_Space, Qt::NoModifier, " ")));
  EXPECT_TRUE(IsEditingKey(key(Qt::Key_Backspace)));
  EXPECT_TRUE(IsEditingKey(key(Qt::Key_Return, Qt::NoModifier, "\r")));
  EXPECT_TRUE(IsEditingKey(key(Qt::Key_V, Qt::ControlModifier, "\x16")));
  EXPECT_TRUE(IsEditingKey(key(Qt::Key_X, Qt::ControlModifier, "\x18")));
  EXPECT_TRUE(IsEditingKey(key(Qt::Key_Z, Qt::ControlModifier, "\x1a")));
  EXPECT_TRUE(IsEditingKey(key(Qt::Key_B, Qt::ControlModifier, "\x02")));
  EXPECT_TRUE(IsEditingKey(key(Qt::Key_U, Qt::ControlModifier, "\x15")));
  EXPECT_FALSE(IsEditingKey(key(Qt::Key_C, Qt::ControlModifier, "\x03")));
  EXPECT_FALSE(IsEditingKey(key(Qt::Key_A, Qt::ControlModifier, "\x01")));
  EXPECT_FALSE(IsEditingKey(key(Qt::Key_Left)));
  EXPECT_FALSE(IsEditingKey(key(Qt::Key_End, Qt::ShiftModifier)));
  EXPECT_FALSE(IsEditingKey(key(Qt::Key_PageDown)));
  EXPECT_FALSE(IsEditingKey(key(Qt::Key_Escape, Qt::NoModifier, "\x1b")));
}

TEST(RichTextLinks, OnlyWebAndMailAddressesOpenThroughArgumentVectors) {
  EXPECT_EQ(ClassifyRichTextLink("http://example.org/a?b=c").Address, "http://example.org/a?b=c");
  EXPECT_EQ(ClassifyRichTextLink("HTTPS://example.org").Kind, TRichLinkKind::Web);
  EXPECT_EQ(ClassifyRichTextLink("ftp://files.example.org/x").Kind, TRichLinkKind::Web);
  EXPECT_EQ(ClassifyRichTextLink("www.example.org").Address, "http://www.example.org");
  EXPECT_EQ(ClassifyRichTextLink("mailto:someone@example.org").Kind, TRichLinkKind::Mail);
  // "mailto:" somewhere inside a web address does not make it a mail link.
  EXPECT_EQ(ClassifyRichTextLink("http://example.org/?to=mailto:x").Kind, TRichLinkKind::Web);
  for (const char* refused : {"file:///etc/passwd", "/usr/bin/xterm", "javascript:alert(1)", "-display :0",
                              "smb://server/share", "http://", "www.exa mple.org", "mailto:", "http://a\nb", ""})
    EXPECT_EQ(ClassifyRichTextLink(refused).Kind, TRichLinkKind::None) << refused;

  std::vector<QStringList> started;
  SetProgramStarter([&](const QString& program, const QStringList& args) {
    started.push_back(QStringList{program} + args);
    return true;
  });
  const QString savedBrowser = BrowserPath, savedMail = MailProgramPath;
  BrowserPath.clear();
  MailProgramPath.clear();
  RTFURLClick("www.example.org", Qt::LeftButton);
  RTFURLClick("mailto:someone@example.org", Qt::LeftButton);
  RTFURLClick("http://example.org", Qt::RightButton);
  RTFURLClick("file:///etc/passwd", Qt::LeftButton);
  RTFURLClick("/usr/bin/xterm", Qt::LeftButton);
  SetProgramStarter({});
  BrowserPath = savedBrowser;
  MailProgramPath = savedMail;
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[0], (QStringList{"xdg-open", "http://www.example.org"}));
  EXPECT_EQ(started[1], (QStringList{"xdg-open", "mailto:someone@example.org"}));
}

TEST_F(DiaryPage, PrintsTheDiaryToPdfAndShowsAPrintingErrorOnce) {
  p.Store("2004/03/07", kDentist);
  p.Store("2004/03/08", kGarden);
  p.Start();
  QTemporaryDir out;
  Printer().setOutputFormat(QPrinter::PdfFormat);
  Printer().setOutputFileName(out.filePath("diary.pdf"));
  const auto printAll = [&](const QString& leftMargin) {
    kvtest::Dialogs answer([&](QDialog& d) {
      auto& form = dynamic_cast<TPrintForm&>(d);
      d.show();
      EXPECT_TRUE(Child<QComboBox>(form, "FoldersBox").isVisible());
      EXPECT_TRUE(Child<QCheckBox>(form, "MergeBox").isVisible());
      kvtest::ChooseItem(Child<QComboBox>(form, "FoldersBox"), 1);
      Child<QLineEdit>(form, "MLEdit").setText(leftMargin);
      kvtest::Click(Child<QPushButton>(form, "OKBtn"));
      return d.result();
    });
    kvtest::Click(Child<QPushButton>(page, "PrintDiaryBtn"));
  };
  printAll("1.00");
  EXPECT_GT(QFileInfo(out.filePath("diary.pdf")).size(), 1000);
  EXPECT_EQ(Printer().docName(), kApplicationTitle);

  // Margins that leave no room: one box, the diary as it was.
  {
    kvtest::MessageBoxes boxes;
    printAll("100");
    EXPECT_EQ(boxes.Texts(), QStringList{"Printing Error!"});
  }
  EXPECT_EQ(p.Nb().Data().Items(0)->Count(), 2);
  Printer().setOutputFileName(QString());
  Printer().setOutputFormat(QPrinter::NativeFormat);
}
