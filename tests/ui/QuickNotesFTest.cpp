#include "tests/common/MainFormComponent.h"
#include "ui/QuickNotesF.h"

#include "controls/KVStdCtrls.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolButton>
#include <gtest/gtest.h>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirModel.h"
#include "calendar/MirNotesStore.h"
#include "calendar/iniData.h"
#include "controls/KVFontCombo.h"
#include "controls/KVPrint.h"
#include "controls/KVRichEdActions.h"
#include "controls/KVRichEdOLE.h"
#include "controls/KVRichText.h"
#include "controls/KVRtfReader.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVLaunch.h"
#include "platform/KVRegistry.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/SkipMissing.h"
#include "tests/common/TestUtil.h"
#include "tests/ui/DialogTestUtil.h"
#include "ui/printf.h"

using kvtest::Child;

namespace {

using kvtest::FormComponent;

TMirModelHooks ModelHooks() {
  TMirModelHooks h;
  h.ScreenSize = [] { return QSize(320, 240); };
  h.Rotation.SetDesktopBackground = [](const QString&) { return TDesktopStatus{}; };
  return h;
}

class QuickNotesFormTest : public ::testing::Test {
 protected:
  QuickNotesFormTest() {
    RegistryStore::ResetAll();
    hooks.SaveMirova = [this] { ++applied; };
    hooks.Now = [] { return QDateTime(QDate(2024, 3, 7), QTime(14, 5)); };
    hooks.PickIcon = [this] { return pickIcon(); };
    model.SetBusy(false);
  }
  ~QuickNotesFormTest() override { QGuiApplication::clipboard()->clear(); }

  QTemporaryDir dir;
  kvtest::ScopedOverride<QString> exe{ExeDir, dir.path() + "/"};
  FormComponent owner;
  TMirModel model{owner, ModelHooks()};
  int applied = 0;
  std::function<bool()> pickIcon = [] { return false; };
  TQuickNotesHooks hooks;
  std::unique_ptr<TQuickNotesForm> form;

  TQuickNotesForm& Open() {
    if (!form) form = std::make_unique<TQuickNotesForm>(model, hooks);
    form->ShowForm();
    QApplication::setActiveWindow(form.get());
    form->Editor().setFocus();
    UpdateRichEditActions();
    return *form;
  }
  TKVRichEditOLE& Editor() { return form->Editor(); }
  // Key presses carrying each character, as a keyboard with those letters sends them.
  void Type(const QString& text) {
    for (QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(&Editor(), &press);
      QApplication::sendEvent(&Editor(), &release);
    }
  }
  void Select(int start, int end) {
    Editor().SetSelection(start, end, false);
    UpdateRichEditActions();
  }
  QToolButton& Button(const char* name) { return Child<QToolButton>(*form, name); }
  void Press(const char* name) {
    UpdateRichEditActions();
    ASSERT_TRUE(Button(name).isEnabled()) << name;
    kvtest::Click(Button(name));
  }
  bool Indeterminate(const char* name) {
    return Child<TKVTriStateButton>(*form, name).State() == Qt::PartiallyChecked;
  }
};

}  // namespace

TEST_F(QuickNotesFormTest, TypedNotesAreStoredSavedDrawnAndReadByTheNextStart) {
  Open();
  EXPECT_EQ(form->windowTitle(), "Quick Notes");
  EXPECT_EQ(Child<QPushButton>(*form, "PrintQuickNotesBtn").text(), "Print Quick Notes");
  EXPECT_EQ(form->Action("actREOInsTime")->toolTip(), "Insert Time");
  EXPECT_EQ(form->Action("actREOCut")->shortcut(), QKeySequence("Ctrl+X"));
  Type(QString::fromUtf8("Buy milk, café"));
  ASSERT_TRUE(model.Ini->ShowNotes);
  kvtest::Click(Child<QPushButton>(*form, "OKBtn"));
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(model.Notes->QuickNote.Text().contains("Buy milk, caf\\'e9"));
  EXPECT_EQ(applied, 1);            // drawn and applied: the calendar shows the notes
  EXPECT_TRUE(model.Render.Dirty);  // the new drawing is waiting to be written
  ASSERT_TRUE(QFile::exists(dir.filePath("mnotes.dat")));

  // The next start reads them, and the window shows them again.
  FormComponent nextOwner;
  TMirModel next(nextOwner, ModelHooks());
  ASSERT_TRUE(LoadQuickNotes(next));
  EXPECT_EQ(next.Notes->QuickNote.Text(), model.Notes->QuickNote.Text());
  TQuickNotesForm again(next, hooks);
  again.ShowForm();
  EXPECT_EQ(again.Editor().toPlainText(), QString::fromUtf8("Buy milk, café"));
  again.hide();

  // With the notes hidden from the calendar, OK saves without drawing.
  model.Ini->ShowNotes = false;
  Open();
  Type("!");
  kvtest::Click(Child<QPushButton>(*form, "OKBtn"));
  EXPECT_EQ(applied, 1);
  EXPECT_TRUE(model.Notes->QuickNote.Text().contains("!"));
}

TEST_F(QuickNotesFormTest, CancelAndTheCloseBoxDropTheEdits) {
  model.Notes->QuickNote.SetText("{\\rtf1\\ansi kept\\par}");
  const QString stored = model.Notes->QuickNote.Text();
  Open();
  EXPECT_EQ(Editor().toPlainText(), "kept");
  Type(" lost");
  kvtest::Click(Child<QPushButton>(*form, "CancelBtn"));
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(model.Notes->QuickNote.Text(), stored);
  EXPECT_FALSE(QFile::exists(dir.filePath("mnotes.dat")));
  Open();
  EXPECT_EQ(Editor().toPlainText(), "kept");
  Type(" lost too");
  form->close();
  Open();
  EXPECT_EQ(Editor().toPlainText(), "kept");
  EXPECT_EQ(applied, 0);
  form->hide();
}

TEST_F(QuickNotesFormTest, ToolbarButtonsActOnTheSelectionAndShowIt) {
  Open();
  Type("Hello world");
  Select(0, 5);
  Press("BoldBtn");
  EXPECT_TRUE(Editor().SelAttributes().Style() & FontStyle(fsBold));
  EXPECT_TRUE(form->Action("actREOBold")->isChecked());
  Press("ItalicBtn");
  Press("UnderlineBtn");
  EXPECT_EQ(Editor().SelAttributes().Style(), FontStyle(fsBold) | FontStyle(fsItalic) | FontStyle(fsUnderline));
  // A selection half bold, half plain: the button is neither down nor up.
  Select(3, 8);
  EXPECT_TRUE(Indeterminate("BoldBtn"));
  EXPECT_FALSE(form->Action("actREOBold")->isChecked());
  Select(6, 11);
  EXPECT_FALSE(Indeterminate("BoldBtn"));
  EXPECT_FALSE(form->Action("actREOBold")->isChecked());

  // The editor's own keys do the same, and the buttons show it.
  Select(6, 11);
  QTest::keyClick(&Editor(), Qt::Key_B, Qt::ControlModifier);
  EXPECT_TRUE(form->Action("actREOBold")->isChecked());
  EXPECT_EQ(Child<TKVTriStateButton>(*form, "BoldBtn").State(), Qt::Checked);
  QTest::keyClick(&Editor(), Qt::Key_B, Qt::ControlModifier);
  EXPECT_FALSE(form->Action("actREOBold")->isChecked());

  Press("CenterBtn");
  EXPECT_EQ(Editor().Paragraph().Alignment(), 2);
  EXPECT_TRUE(form->Action("actREOCenterAlign")->isChecked());
  EXPECT_FALSE(form->Action("actREOLeftAlign")->isChecked());
  Press("RightAlignBtn");
  EXPECT_EQ(Editor().Paragraph().Alignment(), 1);
  EXPECT_FALSE(form->Action("actREOCenterAlign")->isChecked());
  Press("BulletsBtn");
  EXPECT_EQ(Editor().Paragraph().Numbering(), int(nbBullet));
  EXPECT_TRUE(form->Action("actREOBullet")->isChecked());
  Press("BulletsBtn");
  EXPECT_EQ(Editor().Paragraph().Numbering(), int(nbNone));

  {
    kvtest::Dialogs answer([](QDialog& d) {
      auto* colours = qobject_cast<QColorDialog*>(&d);
      EXPECT_NE(colours, nullptr);
      if (colours) colours->setCurrentColor(QColor(0, 128, 0));
      return int(QDialog::Accepted);
    });
    Select(0, 5);
    Press("ColorBtn");
  }
  EXPECT_EQ(Editor().SelAttributes().Color(), RGB(0, 128, 0));
  EXPECT_EQ(Editor().toPlainText(), "Hello world");

  Select(0, 5);
  Press("CutBtn");
  EXPECT_EQ(Editor().toPlainText(), " world");
  Select(6, 6);
  Press("PasteBtn");
  EXPECT_EQ(Editor().toPlainText(), " worldHello");
  Select(0, 6);
  Press("CopyBtn");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), " world");
  form->hide();
}

TEST_F(QuickNotesFormTest, FontBoxesFollowTheSelectionAndSetIt) {
  Open();
  Editor().SetRTFText("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 DejaVu Sans;}{\\f1\\fcharset204 DejaVu Serif;}}"
                      "\\f0\\fs24 one \\f1\\fs32 two}");
  auto& fontBox = Child<TKVFontComboBox>(*form, "FontBox");
  auto& sizeBox = Child<TKVFontSizeComboBox>(*form, "FontSizeBox");
  auto& charsetBox = Child<TKVFontCharsetComboBox>(*form, "FontCharsetBox");
  Select(0, 2);
  EXPECT_EQ(fontBox.currentText(), "DejaVu Sans");
  EXPECT_EQ(sizeBox.currentText(), "12");
  EXPECT_EQ(charsetBox.currentText(), "(Default)");  // charset 0 shows as the default set
  Select(5, 7);
  EXPECT_EQ(fontBox.currentText(), "DejaVu Serif");
  EXPECT_EQ(sizeBox.currentText(), "16");
  EXPECT_EQ(charsetBox.currentText(), "Cyrillic");
  Select(0, 7);  // both fonts and sizes
  EXPECT_EQ(fontBox.currentIndex(), -1);
  EXPECT_EQ(sizeBox.currentText(), "");
  const QString before = Editor().GetRTFText();  // showing the selection changed nothing
  Select(0, 2);
  EXPECT_EQ(Editor().GetRTFText(), before);

  std::cerr << "from " << fontBox.currentIndex() << " to " << fontBox.findText("DejaVu Serif") << " sel " << Editor().SelStart() << "+" << Editor().SelLength() << "\n";
  kvtest::ChooseItem(fontBox, fontBox.findText("DejaVu Serif"));
  std::cerr << "now " << fontBox.currentIndex() << " " << fontBox.currentText().toStdString() << " sel " << Editor().SelStart() << "+" << Editor().SelLength() << " " << Editor().GetRTFText().toStdString() << "\n";
  EXPECT_EQ(Editor().SelAttributes().Name(), "DejaVu Serif");
  EXPECT_TRUE(Editor().hasFocus());
  // A size is typed and taken with Enter; a text that is no size shows the size again.
  sizeBox.setFocus();
  sizeBox.lineEdit()->selectAll();
  QTest::keyClicks(sizeBox.lineEdit(), "20");
  EXPECT_EQ(Editor().SelAttributes().Size(), 12);  // not at every key
  QTest::keyClick(sizeBox.lineEdit(), Qt::Key_Return);
  EXPECT_EQ(Editor().SelAttributes().Size(), 20);
  sizeBox.setFocus();
  sizeBox.lineEdit()->selectAll();
  QTest::keyClicks(sizeBox.lineEdit(), "abc");
  QTest::keyClick(sizeBox.lineEdit(), Qt::Key_Return);
  EXPECT_EQ(sizeBox.currentText(), "20");
  EXPECT_EQ(Editor().SelAttributes().Size(), 20);
  Select(0, 2);
  // Chosen from the list (the keys would pass "Western", shown as the default set it is).
  charsetBox.setCurrentIndex(charsetBox.IndexOfCharset(204));
  emit charsetBox.activated(charsetBox.currentIndex());
  EXPECT_EQ(Editor().SelAttributes().Charset(), 204);
  form->hide();
}

TEST_F(QuickNotesFormTest, InsertTimeAndInsertIconLeaveTheCaretAfterWhatTheyPutIn) {
  Open();
  Type("Time: ");
  Press("InsertTimeBtn");
  EXPECT_EQ(Editor().SelLength(), 0);
  Type("AFTER");
  EXPECT_EQ(Editor().toPlainText(), "Time: 2:05 PMAFTER");

  QImage icon(32, 32, QImage::Format_BGR888);
  icon.fill(Qt::red);
  pickIcon = [&] {
    QGuiApplication::clipboard()->setImage(icon);
    return true;
  };
  Press("InsertIconBtn");
  Type("!");
  EXPECT_EQ(Editor().toPlainText(), QString("Time: 2:05 PMAFTER") + QChar(0xFFFC) + "!");
  // Over a selection the time takes its place, and the caret follows it.
  Select(0, 4);
  Press("InsertTimeBtn");
  Type(" =");
  EXPECT_TRUE(Editor().toPlainText().startsWith("2:05 PM =: 2:05 PM")) << Editor().toPlainText().toStdString();
  // Cancelled, nothing goes in.
  pickIcon = [] { return false; };
  Press("InsertIconBtn");
  EXPECT_EQ(Editor().toPlainText().count(QChar(0xFFFC)), 1);
  EXPECT_TRUE(Editor().GetRTFText().contains("\\pict"));
  form->hide();
}

TEST_F(QuickNotesFormTest, PrintingUsesTheSharedDialogWithoutItsScopeChoices) {
  Printer().setOutputFormat(QPrinter::PdfFormat);
  Printer().setOutputFileName(dir.filePath("notes.pdf"));
  const auto reset = qScopeGuard([] { Printer().setOutputFileName(QString()); });
  TPrintForm shared;
  hooks.PrintForm = [&]() -> TPrintForm& { return shared; };
  Open();
  Type("Printed notes");
  {
    kvtest::Dialogs answer([&](QDialog& d) {
      EXPECT_EQ(&d, &shared);
      d.show();
      EXPECT_FALSE(Child<QWidget>(d, "FoldersBox").isVisible());
      EXPECT_FALSE(Child<QWidget>(d, "MergeBox").isVisible());
      return int(QDialog::Accepted);
    });
    kvtest::Click(Child<QPushButton>(*form, "PrintQuickNotesBtn"));
  }
  const QByteArray pdf = kvtest::ReadFile(dir.filePath("notes.pdf"));
  EXPECT_EQ(QString::fromLatin1(pdf).count(QRegularExpression("/Type\\s*/Page[^s]")), 1);

  // A printer that fails shows the printing error and leaves the notes as they were.
  Printer().setOutputFileName(dir.filePath("missing/folder/notes.pdf"));
  kvtest::MessageBoxes boxes;
  {
    kvtest::Dialogs answer([](QDialog&) { return int(QDialog::Accepted); });
    kvtest::Click(Child<QPushButton>(*form, "PrintQuickNotesBtn"));
  }
  EXPECT_EQ(boxes.Texts(), QStringList{"Printing Error!"});
  EXPECT_EQ(Editor().toPlainText(), "Printed notes");
  form->hide();
}

TEST_F(QuickNotesFormTest, OnlyALeftClickOnALinkOpensIt) {
  QStringList started;
  SetProgramStarter([&](const QString& program, const QStringList& args) {
    started << program + " " + args.join(' ');
    return true;
  });
  const auto restore = qScopeGuard([] { SetProgramStarter({}); });
  kvtest::ScopedOverride<QString> mail(MailProgramPath, "/opt/mailer"), web(BrowserPath, "/opt/browser");
  Open();
  Editor().OnURLClick(&Editor(), "mailto:ann@example.com", Qt::LeftButton);
  Editor().OnURLClick(&Editor(), "https://example.com/", Qt::LeftButton);
  Editor().OnURLClick(&Editor(), "mailto:bob@example.com", Qt::RightButton);
  EXPECT_EQ(started, (QStringList{"/opt/mailer mailto:ann@example.com", "/opt/browser https://example.com/"}));
  form->hide();
}

TEST_F(QuickNotesFormTest, TheWindowSizeIsRememberedButNotItsPlace) {
  Open();
  form->resize(500, 420);
  form->hide();
  TQuickNotesForm next(model, hooks);
  EXPECT_EQ(next.size(), QSize(500, 420));
  TKVRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Kel Voro\\Mirova Calendar\\QuickNotesForm", false));
  EXPECT_FALSE(reg.ValueExists("Left"));
  EXPECT_FALSE(reg.ReadBool("Maximized"));
}

TEST_F(QuickNotesFormTest, TheWindowLooksRight) {
  model.Notes->QuickNote.SetText(
      "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 DejaVu Sans;}}{\\colortbl;\\red200\\green0\\blue0;}"
      "\\f0\\fs20 {\\b Monday:} dentist at 10\\par {\\cf1 Call mum} \\par}");
  Open();
  dialogtest::ExpectTextsFit(*form);
  for (QToolButton* b : form->findChildren<QToolButton*>())
    if (b->isVisibleTo(form.get()) && b->defaultAction()) EXPECT_FALSE(b->icon().isNull()) << b->objectName().toStdString();
  dialogtest::Screenshot(*form, "QuickNotesForm");
  form->hide();
}

// ---------------------------------------------------------------------------------------------
// Saving the notes as an RTF file

namespace {

const char* const kFormattedNotes =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Liberation Sans;}}{\\colortbl;\\red255\\green0\\blue0;}"
    "\\f0\\fs24 {\\b Bold} {\\uldb twice} {\\cf1 red} caf\\'e9\\par\\pard\\qc centred\\par}";

// LibreOffice's converter; empty when it is not installed.
QString Soffice() { return QStandardPaths::findExecutable("soffice"); }

// Converts File with LibreOffice into Format in Out; the converted file's bytes.
QByteArray Convert(const QString& soffice, const QString& file, const QString& format, const QString& ext,
                   const QString& out) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", out);  // a profile of its own, never the user's
  p.setProcessEnvironment(env);
  p.start(soffice, {"--headless", "--norestore", "-env:UserInstallation=file://" + out + "/profile", "--convert-to",
                    format, "--outdir", out, file});
  if (!p.waitForFinished(120000)) {
    p.kill();
    ADD_FAILURE() << "soffice did not finish";
    return {};
  }
  const QString converted = out + "/" + QFileInfo(file).completeBaseName() + "." + ext;
  if (!QFile::exists(converted)) {
    ADD_FAILURE() << "soffice wrote nothing: " << p.readAllStandardError().toStdString();
    return {};
  }
  return kvtest::ReadFile(converted);
}

}  // namespace

TEST_F(QuickNotesFormTest, SaveToRtfWritesTheNotesAsTheyAreAndReportsAFailure) {
  Open();
  Editor().SetRTFText(kFormattedNotes);
  QString asked;
  kvtest::ScopedOverride<decltype(TFileDialogs::SaveFileName)> chooser(
      FileDialogs().SaveFileName, [&](QWidget*, const QString& caption, const QString&, const QString& filter) {
        asked = caption + "|" + filter;
        return dir.filePath("notes");  // no extension: ".rtf" is added
      });
  form->Action("actREOSaveRTF")->trigger();
  EXPECT_EQ(asked, "Save to RTF|Rich Text files (*.rtf)");
  const QByteArray saved = kvtest::ReadFile(dir.filePath("notes.rtf"));
  EXPECT_EQ(QString::fromLatin1(saved), Editor().GetRTFText());
  QTextDocument back;
  ASSERT_TRUE(KVReadRtf(saved, back));
  EXPECT_EQ(back.toPlainText(), QString::fromUtf8("Bold twice red café\ncentred"));

  // A folder that cannot take the file: told once, nothing else changes.
  FileDialogs().SaveFileName = [&](QWidget*, const QString&, const QString&, const QString&) {
    return dir.filePath("no/such/folder/notes.rtf");
  };
  kvtest::MessageBoxes boxes;
  form->Action("actREOSaveRTF")->trigger();
  ASSERT_EQ(boxes.Count(), 1);
  EXPECT_TRUE(boxes.Texts()[0].startsWith("Cannot save " + dir.filePath("no/such/folder/notes.rtf") + "."));
  EXPECT_TRUE(boxes.Texts()[0].endsWith("Disk may be full or write protected!"));
  form->hide();
}

TEST_F(QuickNotesFormTest, SaveToRtfOpensInTheUsersDocumentsThenWhereTheLastSaveWent) {
  Open();
  // No documents folder yet: the home folder, not wherever the program was started.
  const QString home = QDir::homePath(), documents = home + "/Documents";
  QDir(documents).removeRecursively();
  QStringList asked;
  QString target = dir.filePath("kept/notes.rtf");
  kvtest::ScopedOverride<decltype(TFileDialogs::SaveFileName)> chooser(
      FileDialogs().SaveFileName, [&](QWidget*, const QString&, const QString& folder, const QString&) {
        asked << QDir::cleanPath(folder);
        return target;
      });
  QDir().mkpath(dir.filePath("kept"));
  form->Action("actREOSaveRTF")->trigger();
  QDir().mkpath(documents);
  form->Action("actREOSaveRTF")->trigger();
  // A folder that is gone since gives way to the documents folder; a failed save is not remembered.
  QDir(dir.filePath("kept")).removeRecursively();
  target = dir.filePath("gone/notes.rtf");
  {
    kvtest::MessageBoxes failed;
    form->Action("actREOSaveRTF")->trigger();
  }
  target = dir.filePath("final/notes.rtf");
  QDir().mkpath(dir.filePath("final"));
  form->Action("actREOSaveRTF")->trigger();
  EXPECT_EQ(asked, (QStringList{home, dir.filePath("kept"), documents, documents}));
  // Kept with the settings for the next start.
  model.Ini->SaveSettings();
  Tini again;
  again.LoadSettings();
  EXPECT_EQ(again.RTFFolder, dir.filePath("final"));
}

TEST_F(QuickNotesFormTest, SavedNotesOpenInLibreOfficeWithTheirTextAndFormatting) {
  const QString soffice = Soffice();
  if (soffice.isEmpty()) KV_SKIP_MISSING() << "soffice is not installed (libreoffice-writer-nogui)";
  Open();
  QString rtf = QString::fromLatin1(kFormattedNotes);
  Editor().SetRTFText(rtf.replace("{\\b Bold}", "Cr\\'e8me {\\b Bold}"));
  kvtest::ScopedOverride<decltype(TFileDialogs::SaveFileName)> chooser(
      FileDialogs().SaveFileName,
      [&](QWidget*, const QString&, const QString&, const QString&) { return dir.filePath("notes.rtf"); });
  form->Action("actREOSaveRTF")->trigger();
  const QString out = dir.filePath("lo");
  QDir().mkpath(out);
  const QByteArray text = Convert(soffice, dir.filePath("notes.rtf"), "txt:Text (encoded):UTF8", "txt", out);
  EXPECT_TRUE(QString::fromUtf8(text).contains(QString::fromUtf8("Crème Bold twice red café"))) << text.toStdString();
  EXPECT_TRUE(QString::fromUtf8(text).contains("centred"));
  const QString fodt = QString::fromUtf8(Convert(soffice, dir.filePath("notes.rtf"), "fodt", "fodt", out));
  EXPECT_TRUE(fodt.contains("fo:font-weight=\"bold\""));
  EXPECT_TRUE(fodt.contains("style:text-underline-type=\"double\""));
  EXPECT_TRUE(fodt.contains("fo:color=\"#ff0000\""));
  EXPECT_TRUE(fodt.contains("fo:text-align=\"center\""));
  EXPECT_TRUE(fodt.contains("Liberation Sans"));
  form->hide();

  // Notes typed with the editor's own font come out readable too.
  Open();
  Editor().Clear();
  Type(QString::fromUtf8("Grüße à bientôt"));
  form->Action("actREOSaveRTF")->trigger();
  const QByteArray typed = Convert(soffice, dir.filePath("notes.rtf"), "txt:Text (encoded):UTF8", "txt", out);
  EXPECT_TRUE(QString::fromUtf8(typed).contains(QString::fromUtf8("Grüße à bientôt"))) << typed.toStdString();
  form->hide();
}
