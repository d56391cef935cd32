#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QPdfWriter>
#include <QPrinter>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTest>
#include <QTextList>

#include "controls/KVRichEdOLE.h"
#include "controls/KVRichText.h"
#include "controls/KVRtfReader.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"
#include "tests/controls/RtfTestUtil.h"

using namespace rtftest;

namespace {

const char* const kFont = "{\\fonttbl{\\f0\\fswiss\\fcharset0 DejaVu Sans;}}";

QString Rtf(const QString& body) { return QStringLiteral("{\\rtf1\\ansi") + kFont + "\\f0\\fs20 " + body + "}"; }

void Key(QWidget* w, int key, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &press);
}

int PdfPages(const QString& file) {
  const QByteArray pdf = kvtest::ReadFile(file);
  return int(QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))));
}

// Converter that hands the stream over one byte at a time.
class ByteByByte : public TConversion {
 public:
  qint64 ConvertReadStream(QIODevice& stream, char* buffer, qint64 count) override {
    return stream.read(buffer, std::min<qint64>(count, 1));
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------

TEST(RichEditAttributes, SelectionReadsItsFirstCharacterAndWritesOnlyTheChangedField) {
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("\\b bo\\b0\\i it\\i0"));
  e.SetSelection(1, 3, false);
  EXPECT_TRUE(e.SelAttributes().Style() & FontStyle(fsBold));
  e.SetSelection(2, 4, false);
  EXPECT_FALSE(e.SelAttributes().Style() & FontStyle(fsBold));
  EXPECT_TRUE(e.SelAttributes().Style() & FontStyle(fsItalic));
  // A size change keeps the other attributes of every run.
  e.SetSelection(0, 4, false);
  e.SelAttributes().SetSize(11);
  QTextDocument* doc = e.document();
  EXPECT_EQ(FormatAt(*doc, 0).fontPointSize(), 11);
  EXPECT_EQ(FormatAt(*doc, 0).fontWeight(), QFont::Bold);
  EXPECT_TRUE(FormatAt(*doc, 3).fontItalic());
  EXPECT_EQ(e.SelAttributes().Size(), 11);
  EXPECT_TRUE(e.GetRTFText().contains("\\fs22"));
  // Mixed runs are not consistent in bold and italic, but are in size.
  const TConsistentAttributes ca = e.SelAttributes().ConsistentAttributes();
  EXPECT_FALSE(ca & (1u << caBold));
  EXPECT_FALSE(ca & (1u << caItalic));
  EXPECT_TRUE(ca & (1u << caSize));
  EXPECT_EQ(e.DefAttributes().ConsistentAttributes(), 0u);
}

TEST(RichEditAttributes, AutomaticColourIsWindowTextWhateverIsShown) {
  TKVRichEditOLE e;
  e.SetRTFText("{\\rtf1{\\colortbl;\\red0\\green0\\blue0;\\red255\\green0\\blue0;}a\\cf1 b\\cf2 c}");
  e.SetSelection(0, 1, false);
  EXPECT_EQ(e.SelAttributes().Color(), clWindowText);
  e.SetSelection(1, 2, false);
  EXPECT_EQ(e.SelAttributes().Color(), clBlack);
  e.SetSelection(2, 3, false);
  EXPECT_EQ(e.SelAttributes().Color(), clRed);
  e.SelAttributes().SetColor(clWindowText);
  EXPECT_EQ(e.SelAttributes().Color(), clWindowText);
  EXPECT_FALSE(FormatAt(*e.document(), 2).hasProperty(QTextFormat::ForegroundBrush));
  e.SetSelection(1, 2, false);
  e.SelAttributes().SetColor(TKVTextAttributes::clDefaultColor);
  EXPECT_EQ(e.SelAttributes().Color(), clWindowText);
}

TEST(RichEditAttributes, FontsGoInAndOut) {
  TKVRichEditOLE e;
  TFont font;
  font.Name = "DejaVu Serif";
  font.Size = 14;
  font.Color = clBlue;
  font.Style = FontStyle(fsItalic);
  font.Charset = 204;
  e.SelAttributes().Assign(font);
  e.SetSelText("x");
  TFont back;
  e.SetSelection(0, 1, false);
  back.Assign(e.SelAttributes());
  EXPECT_EQ(back.Name, "DejaVu Serif");
  EXPECT_EQ(back.Size, 14);
  EXPECT_EQ(back.Color, clBlue);
  EXPECT_EQ(back.Style, FontStyle(fsItalic));
  EXPECT_EQ(back.Charset, 204);
  // The control's font is the default format.
  font.Color = clWindowText;
  e.SetFont(font);
  EXPECT_EQ(e.DefAttributes().Name(), "DejaVu Serif");
  EXPECT_EQ(e.DefAttributes().Color(), clWindowText);
  EXPECT_THROW(e.SelAttributes().Assign(TStringList()), EConvertError);
}

TEST(RichEditAttributes, ParagraphIndentsNumberingAndTabs) {
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("one\\par two"));
  e.SetSelection(0, 5, false);
  TKVParaAttributes& p = e.Paragraph();
  p.SetFirstIndent(20);
  p.SetLeftIndent(15);
  p.SetRightIndent(5);
  EXPECT_EQ(p.FirstIndent(), 20);
  EXPECT_EQ(p.LeftIndent(), 15);
  EXPECT_EQ(p.RightIndent(), 5);
  EXPECT_TRUE(e.GetRTFText().contains("\\fi-300\\li700\\ri100"));
  // Bullets raise the following lines' indent to 10 points when lower; turning them off puts it
  // back to 0.
  p.SetLeftIndent(0);
  p.SetNumbering(nbBullet);
  EXPECT_EQ(p.Numbering(), nbBullet);
  EXPECT_EQ(p.LeftIndent(), 10);
  ASSERT_NE(e.document()->begin().textList(), nullptr);
  EXPECT_EQ(e.document()->begin().textList(), e.document()->begin().next().textList());
  p.SetNumbering(nbNone);
  EXPECT_EQ(p.Numbering(), nbNone);
  EXPECT_EQ(p.LeftIndent(), 0);
  EXPECT_EQ(p.FirstIndent(), 20);
  EXPECT_EQ(e.document()->begin().textList(), nullptr);
  p.SetTab(2, 72);
  EXPECT_EQ(p.TabCount(), 3);
  EXPECT_EQ(p.Tab(2), 72);
  p.SetAlignment(2);
  EXPECT_EQ(p.Alignment(), 2);
  EXPECT_EQ(e.document()->begin().next().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

// ---------------------------------------------------------------------------------------------

TEST(RichEditSelection, SetTextLeavesTheNewTextSelected) {
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("hello world"));
  e.SetSelection(6, 11, false);
  EXPECT_EQ(e.SelText(), "world");
  e.SetSelText("there\r\nnow");
  EXPECT_EQ(e.SelStart(), 6);
  EXPECT_EQ(e.SelLength(), 9);
  EXPECT_EQ(e.SelText(), "there\rnow");
  EXPECT_EQ(e.GetTextRange(0, 5), "hello");
  e.SetSelection(0, -1, false);
  EXPECT_EQ(e.SelLength(), e.GetTextLen());
  e.SetSelStart(3);
  EXPECT_EQ(e.SelLength(), 0);
  e.SetSelLength(2);
  EXPECT_EQ(e.SelText(), "lo");
  EXPECT_EQ(e.SelectionType(), std::uint32_t(stText | stMultiChar));
  e.InsertPicture(KVPictureFromImage(Solid(2, 2, Qt::red)));
  e.SetSelection(3, 4, false);
  EXPECT_EQ(e.SelectionType(), std::uint32_t(stObject));
  ASSERT_TRUE(e.SelectedPicture().has_value());
}

TEST(RichEditCommands, ToggleStyleDecidesOnceFromTheFirstCharacter) {
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("\\b ab\\b0 c\\i d\\i0"));
  e.SetSelection(0, 4, false);
  e.ToggleStyle(fsBold);  // first character bold: everything plain
  for (int i = 0; i < 4; ++i) EXPECT_EQ(FormatAt(*e.document(), i).fontWeight(), QFont::Normal) << i;
  EXPECT_TRUE(FormatAt(*e.document(), 3).fontItalic());
  e.SetSelection(2, 4, false);
  e.ToggleStyle(fsBold);  // first character plain: everything bold
  EXPECT_EQ(FormatAt(*e.document(), 2).fontWeight(), QFont::Bold);
  EXPECT_EQ(FormatAt(*e.document(), 3).fontWeight(), QFont::Bold);
  EXPECT_TRUE(FormatAt(*e.document(), 3).fontItalic());
  EXPECT_EQ(FormatAt(*e.document(), 1).fontWeight(), QFont::Normal);
  EXPECT_EQ(e.SelStart(), 2);
  EXPECT_EQ(e.SelLength(), 2);
  // Without a selection only the typing attributes change.
  e.SetSelection(1, 1, false);
  e.ToggleStyle(fsUnderline);
  EXPECT_TRUE(e.currentCharFormat().fontUnderline());
  EXPECT_FALSE(FormatAt(*e.document(), 0).fontUnderline());
}

TEST(RichEditInput, CtrlBIAndUToggleTheStyleAsTheToolbarsDo) {
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("plain line\\par second"));
  int told = 0;
  e.OnSelectionChange.Set([&](TKVCustomRichEdit*) { ++told; });
  e.SetSelection(0, 5, false);
  QTest::keyClick(&e, Qt::Key_B, Qt::ControlModifier);
  QTest::keyClick(&e, Qt::Key_I, Qt::ControlModifier);
  QTest::keyClick(&e, Qt::Key_U, Qt::ControlModifier);
  EXPECT_EQ(FormatAt(*e.document(), 4).fontWeight(), QFont::Bold);
  EXPECT_TRUE(FormatAt(*e.document(), 4).fontItalic());
  EXPECT_TRUE(FormatAt(*e.document(), 4).fontUnderline());
  EXPECT_EQ(FormatAt(*e.document(), 5).fontWeight(), QFont::Normal);
  // Ctrl+U underlines; it never deletes the line, as the text control's own binding would.
  EXPECT_EQ(e.Lines().Strings(), QStringList({"plain line", "second"}));
  QTest::keyClick(&e, Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(FormatAt(*e.document(), 0).fontWeight(), QFont::Normal);
  EXPECT_EQ(e.SelLength(), 5);
  // No selection: what is typed next, and whoever shows the style is told.
  e.SetSelection(10, 10, false);
  told = 0;
  QTest::keyClick(&e, Qt::Key_B, Qt::ControlModifier);
  EXPECT_GE(told, 1);
  QTest::keyClicks(&e, "x");
  EXPECT_EQ(FormatAt(*e.document(), 10).fontWeight(), QFont::Bold);
  // With Shift or Alt they are other keys; a read-only editor keeps its text as it is.
  e.SetSelection(0, 5, false);
  QTest::keyClick(&e, Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(FormatAt(*e.document(), 0).fontWeight(), QFont::Normal);
  e.SetReadOnly(true);
  QTest::keyClick(&e, Qt::Key_B, Qt::ControlModifier);
  QTest::keyClick(&e, Qt::Key_U, Qt::ControlModifier);
  EXPECT_EQ(FormatAt(*e.document(), 0).fontWeight(), QFont::Normal);
  EXPECT_TRUE(FormatAt(*e.document(), 0).fontUnderline());
  EXPECT_EQ(e.Lines().Strings(), QStringList({"plain linex", "second"}));
}

TEST(RichEditCommands, FontSizeStepsStayBetweenSixAndSeventyTwo) {
  TKVRichEditOLE e;
  e.SetRTFText("{\\rtf1\\fs144 big\\fs12 small\\fs21 mid}");
  e.SetSelection(0, -1, false);
  e.IncFontSize();
  EXPECT_EQ(FormatAt(*e.document(), 0).fontPointSize(), 72);
  EXPECT_EQ(FormatAt(*e.document(), 3).fontPointSize(), 7);
  EXPECT_EQ(FormatAt(*e.document(), 8).fontPointSize(), 11);
  e.DecFontSize();
  e.DecFontSize();
  EXPECT_EQ(FormatAt(*e.document(), 0).fontPointSize(), 70);
  EXPECT_EQ(FormatAt(*e.document(), 3).fontPointSize(), 6);
  EXPECT_EQ(FormatAt(*e.document(), 8).fontPointSize(), 9);
}

TEST(RichEditCommands, FindText) {
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("Cat scatter cat\\par CAT"));
  const int len = e.GetTextLen();
  EXPECT_EQ(e.FindText("cat", 0, len, 0), 0);
  EXPECT_EQ(e.FindText("cat", 1, len, 0), 5);
  EXPECT_EQ(e.FindText("cat", 1, len, stMatchCase), 5);
  EXPECT_EQ(e.FindText("cat", 1, len, stWholeWord), 12);
  EXPECT_EQ(e.FindText("Cat", 1, len, stMatchCase), -1);
  EXPECT_EQ(e.FindText("cat", 0, len, stBackwards), 16);
  EXPECT_EQ(e.FindText("cat", 0, 15, stBackwards | stMatchCase), 12);
  EXPECT_EQ(e.FindText("cat", 0, 14, stBackwards | stMatchCase), 5);  // a match must end inside
  EXPECT_EQ(e.FindText("scatter cat\rCAT", 0, len, 0), 4);
  EXPECT_EQ(e.FindText("dog", 0, len, 0), -1);
  EXPECT_EQ(e.FindText("cat", 0, 2, stBackwards), -1);  // a range shorter than the text sought
  EXPECT_EQ(e.FindText("CAT", len - 3, -3, stMatchCase), len - 3);  // the length counts as |Length|
  EXPECT_EQ(e.FindText("cat", 1, len, stWholeWord | stSelect), 12);
  EXPECT_EQ(e.SelStart(), 12);
  EXPECT_EQ(e.SelLength(), 3);
}

// ---------------------------------------------------------------------------------------------

TEST(RichEditLines, LinesCountInsertAndDelete) {
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("a\\par b\\line c\\par\\par"));
  TRichEditStrings& lines = e.Lines();
  EXPECT_EQ(lines.Count(), 3);  // the empty last line is not counted
  EXPECT_EQ(lines.Get(1), "b");
  EXPECT_EQ(lines.Get(2), "c");
  EXPECT_EQ(lines.Text(), "a\r\nb\r\nc\r\n");
  lines.Insert(5, "x");  // the line before does not exist
  lines.Insert(4, "x");  // the line before is the empty last one
  EXPECT_EQ(lines.Count(), 3);
  lines.Put(0, "A");
  lines.Delete(1);
  EXPECT_EQ(lines.Strings(), (QStringList{"A", "c"}));
  e.SetRTFText(Rtf("a"));
  lines.Insert(1, "b");  // one past a non-empty last line appends
  EXPECT_EQ(Blocks(*e.document()), "a|b");
  lines.SetText("x\r\ny\r\n");
  EXPECT_EQ(lines.Strings(), (QStringList{"x", "y"}));
  lines.Clear();
  EXPECT_EQ(lines.Count(), 0);
}

TEST(RichEditLines, StreamsFallBackAndExpandLineBreaks) {
  TKVRichEditOLE e;
  // Plain text while the format says RTF loads through the second attempt.
  e.SetStreamFormat(sfRichText);
  QByteArray plain = "first\nsecond\rthird\r\nfourth";
  QBuffer in(&plain);
  in.open(QIODevice::ReadOnly);
  e.Lines().LoadFromStream(in);
  EXPECT_EQ(Blocks(*e.document()), "first|second|third|fourth");
  e.SetStreamFormat(sfPlainText);
  EXPECT_EQ(e.GetRTFText(), "first\r\nsecond\r\nthird\r\nfourth");
  // A lone CR that ends one piece read is kept, and a CR LF split between pieces is one break.
  e.Lines().SetConverter(std::make_unique<ByteByByte>());
  e.Lines().SetReadChunk(1);
  QByteArray split = "a\rb\r\nc\r";
  QBuffer in2(&split);
  in2.open(QIODevice::ReadOnly);
  e.Lines().LoadFromStream(in2);
  EXPECT_EQ(Blocks(*e.document()), "a|b|c|");
  TKVLineBreakExpander x;
  QByteArray expanded = x.Feed("a\r");
  expanded += x.Feed("\nb\r");
  expanded += x.Feed("c\n");
  expanded += x.Finish();
  EXPECT_EQ(expanded, "a\r\nb\r\nc\r\n");
  // Non-UTF-8 text is read as Windows-1252.
  e.SetRTFText(QString::fromLatin1("caf\xe9"));
  EXPECT_EQ(e.Lines().Get(0), QString::fromUtf8("café"));
}

TEST(RichEditLines, FilesByExtension) {
  QTemporaryDir dir;
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("\\b bold\\b0  text"));
  e.Lines().SaveToFile(dir.filePath("note.rtf"));
  e.Lines().SaveToFile(dir.filePath("note.txt"));
  EXPECT_TRUE(kvtest::ReadFile(dir.filePath("note.rtf")).startsWith("{\\rtf1"));
  EXPECT_EQ(kvtest::ReadFile(dir.filePath("note.txt")), "bold text");
  TKVRichEditOLE f;
  f.Lines().LoadFromFile(dir.filePath("note.rtf"));
  EXPECT_EQ(FormatAt(*f.document(), 0).fontWeight(), QFont::Bold);
  f.Lines().LoadFromFile(dir.filePath("note.txt"));
  EXPECT_EQ(f.Lines().Get(0), "bold text");
  EXPECT_THROW(f.Lines().LoadFromFile(dir.filePath("missing.rtf")), EFOpenError);
}

TEST(RichEditLines, PlainTextModeDropsFormatting) {
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("\\b bold\\par next"));
  e.SetPlainText(true);
  EXPECT_EQ(Blocks(*e.document()), "bold|next");
  EXPECT_NE(FormatAt(*e.document(), 0).fontWeight(), QFont::Bold);
  EXPECT_EQ(e.GetRTFText(), "bold\r\nnext");
  e.SetRTFText(Rtf("\\b again"));  // plain mode streams text: RTF shows as what it is
  EXPECT_TRUE(Blocks(*e.document()).startsWith("{\\rtf1"));
  e.SetStreamFormat(sfRichText);
  e.SetRTFText(Rtf("\\b again"));
  EXPECT_EQ(Blocks(*e.document()), "again");
  EXPECT_NE(FormatAt(*e.document(), 0).fontWeight(), QFont::Bold);
}

TEST(RichEditLines, RtfTextRoundTripsExactly) {
  TKVRichEditOLE a, b;
  const QByteArray png = Encoded(Solid(3, 3, Qt::blue), "PNG");
  a.SetRTFText(Rtf("x{\\pict\\pngblip\\picwgoal45\\pichgoal45 " + QString::fromLatin1(png.toHex()) + "}y\\par z"));
  const QString rtf = a.GetRTFText();
  b.SetRTFText(rtf);
  EXPECT_EQ(b.GetRTFText(), rtf);
  EXPECT_FALSE(b.Modified());
  b.AssignLines(rtf.split(QStringLiteral("\r\n")));
  EXPECT_EQ(b.GetRTFText(), rtf);
}

// ---------------------------------------------------------------------------------------------

TEST(RichEditClipboard, CopyGivesRtfAndTextAndPastePrefersRtfThenPictures) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  TKVRichEditOLE a, b;
  a.SetRTFText(Rtf("\\b bold\\b0\\par plain"));
  a.SetSelection(0, -1, false);
  a.copy();
  const QMimeData* data = clipboard->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->hasFormat("text/rtf"));
  EXPECT_EQ(data->text(), "bold\nplain");
  b.paste();
  EXPECT_EQ(Blocks(*b.document()), "bold|plain");
  EXPECT_EQ(FormatAt(*b.document(), 0).fontWeight(), QFont::Bold);
  // A picture with a text: the picture comes in.
  auto* mime = new QMimeData;
  mime->setImageData(Solid(4, 4, Qt::green));
  mime->setText("alt");
  clipboard->setMimeData(mime);
  b.SetRTFText(Rtf(""));
  b.paste();
  ASSERT_EQ(b.GetTextLen(), 1);
  EXPECT_EQ(KVPictureOf(FormatAt(*b.document(), 0)).Image.pixelColor(0, 0), QColor(Qt::green));
  // Without objects only the text comes.
  b.SetAllowObjects(false);
  b.paste();
  EXPECT_EQ(b.GetTextLen(), 4);
  EXPECT_EQ(b.GetTextRange(1, 4), "alt");
}

TEST(RichEditClipboard, PasteSpecialOffersTheClipboardsFormats) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  auto* mime = new QMimeData;
  mime->setData("text/rtf", "{\\rtf1 \\b rich}");
  mime->setText("rich");
  clipboard->setMimeData(mime);
  TKVRichEditOLE e;
  EXPECT_EQ(e.PasteFormats(), (QList<TKVPasteFormat>{TKVPasteFormat::RichText, TKVPasteFormat::PlainText}));
  kvtest::ScopedOverride<TDialogRunner> run(DialogRunner(), [](QDialog& d) {
    auto* list = d.findChild<QListWidget*>("formats");
    list->setCurrentRow(list->count() - 1);  // "Unformatted text"
    return int(QDialog::Accepted);
  });
  EXPECT_TRUE(e.PasteSpecialDialog());
  EXPECT_EQ(Blocks(*e.document()), "rich");
  EXPECT_NE(FormatAt(*e.document(), 0).fontWeight(), QFont::Bold);
  TKVRichEditOLE f;
  DialogRunner() = [](QDialog&) { return int(QDialog::Rejected); };
  EXPECT_FALSE(f.PasteSpecialDialog());
  EXPECT_EQ(f.GetTextLen(), 0);
}

TEST(RichEditPictures, InsertFromFileAndResizeThroughTheDialogs) {
  QTemporaryDir dir;
  const QString file = dir.filePath("p.png");
  kvtest::WriteFile(file, Encoded(Solid(20, 10, Qt::red), "PNG"));
  kvtest::WriteFile(dir.filePath("bad.png"), "not a picture");
  using TOpen = decltype(TFileDialogs::OpenFileName);
  TOpen& open = FileDialogs().OpenFileName;
  kvtest::ScopedOverride<TOpen> openSaved(open, open);
  kvtest::ScopedOverride<TDialogRunner> execSaved(DialogRunner(), DialogRunner());
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("ab"));
  e.SetSelection(1, 1, false);
  open = [&](QWidget*, const QString&, const QString&, const QString&) { return file; };
  ASSERT_TRUE(e.InsertObjectDialog());
  EXPECT_EQ(e.SelStart(), 1);
  EXPECT_EQ(e.SelLength(), 1);
  const std::optional<TKVPicture> pic = e.SelectedPicture();
  ASSERT_TRUE(pic.has_value());
  EXPECT_EQ(pic->Data, kvtest::ReadFile(file));  // the file's own PNG data is kept
  EXPECT_EQ(pic->WidthTw, 300);
  DialogRunner() = [](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Picture Properties");
    d.findChild<QSpinBox*>("width")->setValue(40);
    return int(QDialog::Accepted);
  };
  ASSERT_TRUE(e.ObjectPropertiesDialog());
  EXPECT_EQ(e.SelectedPicture()->WidthTw, 600);
  EXPECT_TRUE(e.GetRTFText().contains("\\picwgoal600"));
  open = [&](QWidget*, const QString&, const QString&, const QString&) { return dir.filePath("bad.png"); };
  EXPECT_THROW(e.InsertObjectDialog(), EConvertError);
  open = [](QWidget*, const QString&, const QString&, const QString&) { return QString(); };
  EXPECT_FALSE(e.InsertObjectDialog());
  e.SetSelection(0, 1, false);
  EXPECT_FALSE(e.ObjectPropertiesDialog());  // no picture selected
}

// ---------------------------------------------------------------------------------------------

TEST(RichEditInput, ProtectedTextAndMaxLength) {
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("ab\\protect cd\\protect0 ef"));
  e.SetSelection(3, 3, false);
  Key(e.viewport(), Qt::Key_X, "x");
  Key(&e, Qt::Key_X, "x");
  EXPECT_EQ(e.Lines().Get(0), "abcdef");  // refused without a handler
  int asked = 0;
  e.OnProtectChange.Set([&](TKVCustomRichEdit*, int s, int en, bool& allow) {
    ++asked;
    EXPECT_EQ(s, 3);
    EXPECT_EQ(en, 3);
    allow = true;
  });
  Key(&e, Qt::Key_X, "x");
  EXPECT_EQ(e.Lines().Get(0), "abcxdef");
  EXPECT_EQ(asked, 1);
  e.SetSelection(6, 6, false);
  Key(&e, Qt::Key_Backspace);  // not protected: no question
  EXPECT_EQ(asked, 1);
  e.SetMaxLength(7);
  e.SetSelection(7, 7, false);
  Key(&e, Qt::Key_Y, "y");
  Key(&e, Qt::Key_Z, "z");
  EXPECT_EQ(e.Lines().Get(0), "abcxdfy");
}

TEST(RichEditInput, LinksAreDetectedAndAClickOnOneReportsIt) {
  TKVRichEditOLE e;
  e.resize(500, 200);
  e.show();
  e.SetRTFText(Rtf("see www.example.org and http://b.test/x. ok "
                   "{\\field{\\*\\fldinst HYPERLINK \"http://c.test/\"}{\\fldrslt field}}"));
  QApplication::processEvents();
  EXPECT_EQ(e.LinkAt(5).target, "www.example.org");
  EXPECT_EQ(e.LinkAt(25).target, "http://b.test/x");  // the closing full stop is not part of it
  EXPECT_EQ(e.LinkAt(2).start, -1);
  QStringList clicked;
  e.OnURLClick.Set([&](TKVCustomRichEdit*, const QString& url, Qt::MouseButton) { clicked << url; });
  auto pointOf = [&](int pos) {
    QTextCursor c(e.document());
    c.setPosition(pos);
    const QRect r = e.cursorRect(c);
    return QPointF(r.x() + 2, r.center().y());
  };
  auto mouse = [&](QEvent::Type type, QPointF pt) {
    QMouseEvent ev(type, pt, e.viewport()->mapToGlobal(pt), Qt::LeftButton,
                   type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(e.viewport(), &ev);
  };
  mouse(QEvent::MouseButtonPress, pointOf(6));
  mouse(QEvent::MouseButtonRelease, pointOf(8));
  mouse(QEvent::MouseButtonPress, pointOf(6));
  mouse(QEvent::MouseButtonRelease, pointOf(26));  // released on another link: nothing
  const int field = e.FindText("field", 0, e.GetTextLen(), 0);
  mouse(QEvent::MouseButtonPress, pointOf(field + 1));
  mouse(QEvent::MouseButtonRelease, pointOf(field + 2));
  EXPECT_EQ(clicked, (QStringList{"www.example.org", "http://c.test/"}));
  e.SetAutoURLDetect(false);
  EXPECT_EQ(e.LinkAt(5).start, -1);
}

// ---------------------------------------------------------------------------------------------

// The height of one line of the test font, from a render of one line.
int OneLineHeight() {
  TKVRichEditOLE probe;
  probe.SetRTFText(Rtf("line"));
  QImage one;
  EXPECT_TRUE(probe.RenderToBitmap(one, 200, 1000, 6, 6, 6, 6));
  return one.height() - 6;
}

class RichEditRender : public ::testing::Test {
 protected:
  TKVRichEditOLE e;
  int LineHeight() { return OneLineHeight(); }
};

TEST_F(RichEditRender, UsedHeightIncludesTheTopMarginOnly) {
  const int line = LineHeight();
  ASSERT_GT(line, 8);
  QImage bmp;
  e.SetRTFText(Rtf("one\\par two\\par three"));
  EXPECT_TRUE(e.RenderToBitmap(bmp, 200, 1000, 6, 6, 6, 6));
  EXPECT_EQ(bmp.width(), 200);
  EXPECT_EQ(bmp.height(), 6 + 3 * line);
  EXPECT_EQ(bmp.format(), QImage::Format_BGR888);
  // Room for two lines and a half: two whole lines, not fitted.
  EXPECT_FALSE(e.RenderToBitmap(bmp, 200, 6 + 2 * line + line / 2 + 6, 6, 6, 6, 6));
  EXPECT_EQ(bmp.height(), 6 + 2 * line);
  // Room for not even one line: nothing drawn, and that is no success.
  EXPECT_FALSE(e.RenderToBitmap(bmp, 200, 6 + line / 2 + 6, 6, 6, 6, 6));
  EXPECT_TRUE(bmp.isNull());
  EXPECT_FALSE(e.RenderToBitmap(bmp, 12, 500, 6, 6, 6, 6));  // no width left between the margins
  // An empty control draws nothing and has nothing left over.
  e.SetRTFText(Rtf(""));
  EXPECT_TRUE(e.RenderToBitmap(bmp, 200, 100, 6, 6, 6, 6));
  EXPECT_TRUE(bmp.isNull());
  // The content and the selection are as before.
  e.SetRTFText(Rtf("abc"));
  e.SetSelection(1, 2, false);
  e.RenderToBitmap(bmp, 200, 100, 6, 6, 6, 6);
  EXPECT_EQ(e.SelStart(), 1);
  EXPECT_EQ(e.SelLength(), 1);
  EXPECT_FALSE(e.Modified());
}

TEST_F(RichEditRender, CalendarBitmapsKeepTheirWidthWhenNothingIsDrawn) {
  TKVBitmap bmp(50, 50);
  e.SetColor(clYellow);
  e.SetRTFText(Rtf("two\\par lines"));
  EXPECT_TRUE(e.RenderToBitmap(bmp, 120, 500, 6, 6, 6, 6));
  EXPECT_EQ(bmp.Width(), 120);
  EXPECT_EQ(bmp.Height(), 6 + 2 * OneLineHeight());
  EXPECT_EQ(bmp.BrushColor, clYellow);
  EXPECT_EQ(bmp.Image().pixelColor(0, 0), QColor(255, 255, 0));
  e.SetRTFText(Rtf(""));
  EXPECT_TRUE(e.RenderToBitmap(bmp, 120, 500, 6, 6, 6, 6));
  EXPECT_EQ(bmp.Width(), 120);
  EXPECT_EQ(bmp.Height(), 0);
}

TEST_F(RichEditRender, PointsAreConvertedAtTheTargetsPixelsPerInch) {
  QString lines;
  for (int i = 0; i < 8; ++i) lines += QString("line %1\\par ").arg(i);
  e.SetRTFText(Rtf(lines));
  QImage at96, at192;
  ASSERT_TRUE(e.RenderToBitmap(at96, 300, 5000, 6, 6, 6, 6));
  ASSERT_TRUE(e.RenderToBitmap(at192, 300, 5000, 6, 6, 6, 6, 192));
  EXPECT_EQ(at192.width(), 300);
  // Twice the text in pixels; the margins stay pixels.
  const double ratio = double(at192.height() - 6) / (at96.height() - 6);
  EXPECT_NEAR(ratio, 2.0, 0.1);
  // Whole lines still decide what fits: room for half the text at 192 draws about half of it.
  QImage half;
  EXPECT_FALSE(e.RenderToBitmap(half, 300, 6 + (at192.height() - 6) / 2 + 6, 6, 6, 6, 6, 192));
  EXPECT_LE(half.height() - 6, (at192.height() - 6) / 2);
  EXPECT_GE(half.height() - 6, (at192.height() - 6) / 2 - (at192.height() - 6) / 8);
  // A paragraph wraps where the wider glyphs reach the same pixel width: more lines at 192.
  e.SetRTFText(Rtf("word word word word word word word word word word word word"));
  ASSERT_TRUE(e.RenderToBitmap(at96, 300, 5000, 6, 6, 6, 6));
  ASSERT_TRUE(e.RenderToBitmap(at192, 300, 5000, 6, 6, 6, 6, 192));
  EXPECT_GT(at192.height() - 6, 2 * (at96.height() - 6) + (at96.height() - 6) / 4);
}

TEST_F(RichEditRender, WidthZeroTakesTheClientWidth) {
  e.resize(300, 150);
  e.SetRTFText(Rtf("text"));
  QImage bmp;
  EXPECT_TRUE(e.RenderToBitmap(bmp, 0, 0, 6, 6, 6, 6));
  EXPECT_EQ(bmp.width(), e.viewport()->width());
}

TEST_F(RichEditRender, PaintsTheAutomaticColourAsWindowTextOnTheControlsColour) {
  const QPalette saved = QApplication::palette();
  QPalette dark = saved;
  dark.setColor(QPalette::Text, Qt::white);
  dark.setColor(QPalette::Base, Qt::black);
  QApplication::setPalette(dark);
  TKVRichEditOLE d;
  d.SetColor(clYellow);
  d.SetRTFText("{\\rtf1" + QString(kFont) + "\\f0\\fs48 MMMM}");
  QImage bmp;
  ASSERT_TRUE(d.RenderToBitmap(bmp, 200, 200, 6, 6, 6, 6));
  QApplication::setPalette(saved);
  EXPECT_EQ(bmp.pixelColor(1, 1), QColor(255, 255, 0));
  int darkest = 255 * 3;
  for (int y = 0; y < bmp.height(); ++y)
    for (int x = 0; x < bmp.width(); ++x) {
      const QColor c = bmp.pixelColor(x, y);
      darkest = std::min(darkest, c.red() + c.green() + c.blue());
    }
  EXPECT_LT(darkest, 60);  // black text, whatever the desktop's colours
}

TEST_F(RichEditRender, PrintsPagesToPdfAndRefusesAPageTooSmallForALine) {
  QTemporaryDir dir;
  QString body;
  for (int i = 0; i < 60; ++i) body += QStringLiteral("Paragraph %1 of the note\\par ").arg(i);
  e.SetRTFText(Rtf(body));
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath("a.pdf"));
  printer.setPageSize(QPageSize(QPageSize::A6));
  e.Print("Notes", printer);
  const int pages = PdfPages(dir.filePath("a.pdf"));
  EXPECT_GE(pages, 2);
  // The same with a page rectangle half as high: more pages.
  QPdfWriter pdf(dir.filePath("b.pdf"));
  pdf.setPageSize(QPageSize(QPageSize::A6));
  pdf.setResolution(300);
  e.PageRect = Rect(0, 0, pdf.width(), pdf.height() / 2);
  e.Print("Notes", pdf);
  EXPECT_GT(PdfPages(dir.filePath("b.pdf")), pages);
  // A page that cannot take one line ends with an error, not with endless pages.
  QPdfWriter tiny(dir.filePath("c.pdf"));
  tiny.setResolution(300);
  e.PageRect = Rect(0, 0, 300, 10);
  EXPECT_THROW(e.Print("Notes", tiny), EKVError);
  e.PageRect = TRect{};
  TKVRichEditOLE empty;
  QPdfWriter blank(dir.filePath("d.pdf"));
  empty.Print("Empty", blank);
  EXPECT_EQ(PdfPages(dir.filePath("d.pdf")), 1);
}

TEST_F(RichEditRender, FormatRangeGoesOnWhereThePreviousPageEnded) {
  const int line = LineHeight();
  e.SetRTFText(Rtf("aaa\\par bbb\\par ccc"));
  TKVFormatRange fr;
  fr.rc = fr.rcPage = Rect(0, 0, 3000, int((line * 2 + 1) * KVTwipsPerPixel));
  EXPECT_EQ(e.FormatRange(&fr, false), 8);
  EXPECT_EQ(fr.rc.Bottom, int(std::nearbyint(2 * line * KVTwipsPerPixel)));
  fr.rc = fr.rcPage;
  fr.cpMin = 8;
  EXPECT_EQ(e.FormatRange(&fr, false), 11);
  fr.rc = fr.rcPage;
  fr.cpMin = 11;
  EXPECT_EQ(e.FormatRange(&fr, false), 11);
  EXPECT_EQ(fr.rc.Bottom, fr.rc.Top);
}

TEST(RichEditLines, SavingOnAFullDiskKeepsTheOldFile) {
  QTemporaryDir dir;
  TKVRichEditOLE e;
  e.SetRTFText(Rtf("first"));
  const QString path = dir.filePath("note.rtf");
  e.Lines().SaveToFile(path);
  const QByteArray before = kvtest::ReadFile(path);
  e.SetRTFText(Rtf("second"));
  {
    kvtest::FullDisk full;
    EXPECT_THROW(e.Lines().SaveToFile(path), EFCreateError);
  }
  EXPECT_EQ(kvtest::ReadFile(path), before);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"note.rtf"});
}
