#include "controls/KVRichEdActions.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QVBoxLayout>
#include <QWidget>

#include "controls/KVRichEdOLE.h"
#include "controls/KVRtfReader.h"
#include "tests/common/FormTestKit.h"

namespace {

class RichEditActions : public ::testing::Test {
 protected:
  QWidget window;
  TKVRichEditOLE* editor = new TKVRichEditOLE(&window);
  TKVRichEditOLE* other = new TKVRichEditOLE(&window);
  QLineEdit* line = new QLineEdit(&window);
  TactREOSelectAll* selectAll = new TactREOSelectAll(&window);
  TactREOBold* bold = new TactREOBold(&window);
  TactREOItalic* italic = new TactREOItalic(&window);
  TactREOUnderline* underline = new TactREOUnderline(&window);
  TactREOLeftAlign* left = new TactREOLeftAlign(&window);
  TactREOCenterAlign* center = new TactREOCenterAlign(&window);
  TactREORightAlign* right = new TactREORightAlign(&window);
  TactREOIncFontSize* inc = new TactREOIncFontSize(&window);
  TactREODecFontSize* dec = new TactREODecFontSize(&window);
  TactREOUndo* undo = new TactREOUndo(&window);
  TactREOCopy* copy = new TactREOCopy(&window);
  TactREOCut* cut = new TactREOCut(&window);
  TactREOPaste* paste = new TactREOPaste(&window);
  TactREOPasteSpecial* pasteSpecial = new TactREOPasteSpecial(&window);
  TactREOInsertObject* insertObject = new TactREOInsertObject(&window);
  TactREOObjectProperties* properties = new TactREOObjectProperties(&window);
  TactREOProc* proc = new TactREOProc(&window);
  TactREOReadProc* readProc = new TactREOReadProc(&window);

  void SetUp() override {
    auto* v = new QVBoxLayout(&window);
    v->addWidget(editor);
    v->addWidget(other);
    v->addWidget(line);
    window.show();
    QApplication::setActiveWindow(&window);
    editor->SetRTFText("{\\rtf1\\ansi{\\fonttbl{\\f0 DejaVu Sans;}}\\f0\\fs24 Hello world}");
    editor->ClearUndo();
    Focus(editor);
  }
  void TearDown() override { QGuiApplication::clipboard()->clear(); }

  void Focus(QWidget* w) {
    w->setFocus();
    UpdateRichEditActions();
  }
  void Select(int start, int end) {
    editor->SetSelection(start, end, false);
    UpdateRichEditActions();
  }
  QString Plain() const { return editor->toPlainText(); }
  std::vector<TKVRichEditOLEAction*> All() const {
    return {selectAll, bold, italic, underline, left, center, right, inc, dec, undo,
            copy, cut, paste, pasteSpecial, insertObject, properties, proc, readProc};
  }
};

TEST_F(RichEditActions, FormattingActsOnTheSelection) {
  Select(6, 11);
  bold->trigger();
  EXPECT_TRUE(editor->SelAttributes().Style() & FontStyle(fsBold));
  italic->trigger();
  underline->trigger();
  EXPECT_EQ(editor->SelAttributes().Style(), FontStyle(fsBold) | FontStyle(fsItalic) | FontStyle(fsUnderline));
  bold->trigger();  // a toggle: off again
  EXPECT_FALSE(editor->SelAttributes().Style() & FontStyle(fsBold));
  // Only the selection changed.
  Select(0, 5);
  EXPECT_EQ(editor->SelAttributes().Style(), 0u);

  Select(6, 11);
  const int size = editor->SelAttributes().Size();
  inc->trigger();
  inc->trigger();
  EXPECT_EQ(editor->SelAttributes().Size(), size + 2);
  dec->trigger();
  EXPECT_EQ(editor->SelAttributes().Size(), size + 1);

  center->trigger();
  EXPECT_EQ(editor->Paragraph().Alignment(), 2);
  right->trigger();
  EXPECT_EQ(editor->Paragraph().Alignment(), 1);
  left->trigger();
  EXPECT_EQ(editor->Paragraph().Alignment(), 0);
}

TEST_F(RichEditActions, ClipboardUndoAndSelectAll) {
  Select(6, 11);
  EXPECT_TRUE(copy->isEnabled());
  copy->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "world");
  Select(0, 6);
  cut->trigger();
  EXPECT_EQ(Plain(), "world");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "Hello ");
  UpdateRichEditActions();
  EXPECT_TRUE(undo->isEnabled());
  undo->trigger();
  EXPECT_EQ(Plain(), "Hello world");

  Select(11, 11);
  EXPECT_FALSE(copy->isEnabled());
  EXPECT_FALSE(cut->isEnabled());
  EXPECT_TRUE(paste->isEnabled());
  paste->trigger();
  EXPECT_EQ(Plain(), "Hello worldHello ");

  selectAll->trigger();
  EXPECT_EQ(editor->SelLength(), editor->GetTextLen());

  // Nothing to paste: paste and paste special are off.
  QGuiApplication::clipboard()->clear();
  UpdateRichEditActions();
  EXPECT_FALSE(paste->isEnabled());
  EXPECT_FALSE(pasteSpecial->isEnabled());
}

TEST_F(RichEditActions, CutLeavesProtectedTextAlone) {
  editor->SetRTFText("{\\rtf1\\ansi{\\fonttbl{\\f0 DejaVu Sans;}}\\f0 {\\protect Kept} free}");
  Select(0, 4);
  cut->trigger();
  EXPECT_EQ(Plain(), "Kept free");
  // A handler that releases the text lets the cut go through.
  editor->OnProtectChange.Set([](TKVCustomRichEdit*, int, int, bool& allow) { allow = true; });
  cut->trigger();
  EXPECT_EQ(Plain(), " free");
}

TEST_F(RichEditActions, AReadOnlyEditorAllowsOnlyWhatLeavesItsTextAlone) {
  Select(0, 5);
  bold->trigger();  // something to undo
  editor->SetReadOnly(true);
  QGuiApplication::clipboard()->setText("on the clipboard");
  Select(0, 5);
  std::vector<TKVRichEditOLEAction*> on;
  for (TKVRichEditOLEAction* a : All())
    if (a->isEnabled()) on.push_back(a);
  EXPECT_EQ(on, (std::vector<TKVRichEditOLEAction*>{selectAll, copy, readProc}));
  // Without a selection copy goes off too.
  Select(2, 2);
  EXPECT_FALSE(copy->isEnabled());
  Select(0, 5);

  // The same editor writable again: everything that has something to act on is on.
  editor->SetReadOnly(false);
  UpdateRichEditActions();
  for (TKVRichEditOLEAction* a : All()) EXPECT_TRUE(a->isEnabled()) << typeid(*a).name();
}

TEST_F(RichEditActions, TheTargetIsTheFocusedVisibleEditorOrTheFixedControl) {
  other->setPlainText("Other text");
  // Focus on a line edit of the same window: the editor that had it last stays the target.
  Focus(line);
  EXPECT_EQ(bold->Target(), editor);
  Focus(other);
  EXPECT_EQ(bold->Target(), other);
  selectAll->trigger();
  EXPECT_EQ(other->SelLength(), other->GetTextLen());
  EXPECT_EQ(editor->SelLength(), 0);

  // A hidden editor is never a target: everything is off.
  other->hide();
  UpdateRichEditActions();
  EXPECT_EQ(bold->Target(), nullptr);
  for (TKVRichEditOLEAction* a : All()) EXPECT_FALSE(a->isEnabled());
  other->show();

  // A fixed control wins over the focus, and is forgotten when it goes.
  auto* fixed = new TKVRichEditOLE(&window);
  fixed->setPlainText("abc");
  fixed->show();
  selectAll->SetControl(fixed);
  Focus(editor);
  selectAll->trigger();
  EXPECT_EQ(fixed->SelLength(), 3);
  delete fixed;
  EXPECT_EQ(selectAll->Control(), nullptr);
  EXPECT_EQ(selectAll->Target(), editor);

  // Each window keeps its own last editor: working in another window's editor and coming back
  // to a line edit here leaves this window's editor the target.
  QWidget second;
  auto* far = new TKVRichEditOLE(&second);
  second.show();
  QApplication::setActiveWindow(&second);
  Focus(far);
  ASSERT_EQ(QApplication::focusWidget(), far);
  EXPECT_EQ(bold->Target(), far);  // it has the focus itself
  QApplication::setActiveWindow(&window);
  Focus(line);
  EXPECT_EQ(bold->Target(), editor);
}

TEST_F(RichEditActions, HandlerActionsRunOnTheEditorAndGiveItTheFocus) {
  TKVRichEditOLE* seen = nullptr;
  proc->ExecProc = [&](TKVRichEditOLE& e) {
    seen = &e;
    e.SetSelText("[time]");
  };
  Focus(line);
  Select(0, 0);
  proc->trigger();
  EXPECT_EQ(seen, editor);
  EXPECT_EQ(QApplication::focusWidget(), editor);
  EXPECT_EQ(Plain(), "[time]Hello world");

  editor->SetReadOnly(true);
  UpdateRichEditActions();
  EXPECT_FALSE(proc->isEnabled());
  EXPECT_TRUE(readProc->isEnabled());
  seen = nullptr;
  readProc->ExecProc = [&](TKVRichEditOLE& e) { seen = &e; };
  readProc->trigger();
  EXPECT_EQ(seen, editor);
  // Without a handler the action only gives the focus back.
  readProc->ExecProc = nullptr;
  EXPECT_NO_THROW(readProc->trigger());
}

TEST_F(RichEditActions, ActionsFollowChangesOnTheirOwn) {
  // No explicit update: the actions catch up within one turn of the event loop.
  editor->SetSelection(0, 5, false);
  QCoreApplication::processEvents();
  EXPECT_TRUE(copy->isEnabled());
  editor->SetSelection(3, 3, false);
  QCoreApplication::processEvents();
  EXPECT_FALSE(copy->isEnabled());
  editor->SetReadOnly(true);
  QCoreApplication::processEvents();
  EXPECT_FALSE(bold->isEnabled());
  editor->SetReadOnly(false);
  QCoreApplication::processEvents();
  EXPECT_TRUE(bold->isEnabled());
}

}  // namespace
