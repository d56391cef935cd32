#include "foundation/KVForms.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>
#include <QStyleOptionViewItem>
#include <QTreeView>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>
#include <stdexcept>

#include "foundation/KVException.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/TestUtil.h"

TEST(Guarded, AnErrorInAHandlerIsShownAndThePolicyDecides) {
  QStringList shown;
  int terminated = 0;
  bool keep = true;
  TKVErrorPolicy policy{[&](const QString& m) { shown << m; }, [&] { return keep; }, [&] { ++terminated; }};
  kvtest::ScopedOverride<TKVErrorPolicy> p(ErrorPolicy(), policy);
  EXPECT_TRUE(RunGuarded([] {}));
  EXPECT_FALSE(RunGuarded([] { throw EKVError("Disk full"); }));
  EXPECT_FALSE(RunGuarded([] { throw std::runtime_error("bad"); }));
  EXPECT_EQ(shown, (QStringList{"Disk full", "bad"}));
  EXPECT_EQ(terminated, 0);
  keep = false;  // nothing open: the process ends
  Guarded([](int) { throw EKVError("x"); })(7);
  EXPECT_EQ(terminated, 1);
  // A policy whose box itself fails still never throws out of the slot.
  ErrorPolicy().ShowException = [](const QString&) { throw std::runtime_error("box"); };
  EXPECT_FALSE(RunGuarded([] { throw EKVError("y"); }));
}

TEST(Actions, AButtonFollowsItsActionAndTriggersIt) {
  QWidget form;
  int runs = 0;
  QAction* a = NewAction(&form, "actApply", "Apply", [&] { ++runs; });
  auto* b = new QPushButton(&form);
  BindButton(b, a);
  EXPECT_EQ(form.findChild<QAction*>("actApply"), a);
  EXPECT_EQ(b->text(), "Apply");
  kvtest::Click(*b);
  EXPECT_EQ(runs, 1);
  a->setEnabled(false);
  a->setText("Later");
  EXPECT_FALSE(b->isEnabled());
  EXPECT_EQ(b->text(), "Later");
  kvtest::Click(*b);
  EXPECT_EQ(runs, 1);
}

TEST(Captions, TextsComeFromTheLanguageTableAndATypoFails) {
  QWidget form;
  form.setObjectName("Form");
  auto* ok = new QPushButton(&form);
  ok->setObjectName("OKBtn");
  auto* label = new QLabel(&form);
  label->setObjectName("Label1");
  auto* box = new QCheckBox(&form);
  box->setObjectName("Box");
  ApplyCaptions(form, {{"OKBtn", &TKVLanguageResource::RSOK},
                       {"Label1", &TKVLanguageResource::RSNumberOfCopies, ":"},
                       {"Form", &TKVLanguageResource::RSCancel}});
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_EQ(label->text(), "Number of copies:");
  EXPECT_EQ(form.windowTitle(), "Cancel");
  EXPECT_THROW(ApplyCaptions(form, {{"OkBtn", &TKVLanguageResource::RSOK}}), EKVError);
  // A label without a buddy shows the text without mnemonic markers.
  SetCaption(*label, "Fish && &Chips");
  EXPECT_EQ(label->text(), "Fish & Chips");
  SetCaption(*ok, "Fish && &Chips");
  EXPECT_EQ(ok->text(), "Fish && &Chips");
}

TEST(FileDialogColumns, SizesAndDatesOfTheFolderShownAreNotCut) {
  QTemporaryDir dir;
  // A large file (sparse: it takes no room) has the widest size text.
  QFile big(dir.filePath("holiday-video.mp4"));
  ASSERT_TRUE(big.open(QIODevice::WriteOnly));
  ASSERT_TRUE(big.resize(qint64(1023) * 1024 * 1024 + 900 * 1024 * 1024 / 1000));
  big.close();
  kvtest::WriteFile(dir.filePath("notes.rtf"), "{\\rtf1 x}");
  QFileDialog dialog(nullptr, "Open", dir.path());
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setViewMode(QFileDialog::Detail);
  FitFileDialogColumns(dialog);
  dialog.show();
  auto* tree = dialog.findChild<QTreeView*>("treeView");
  auto* model = dialog.findChild<QFileSystemModel*>();
  ASSERT_TRUE(tree && model);
  QModelIndex file;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    file = model->index(dir.filePath("holiday-video.mp4"));
    return file.isValid() && !model->data(file.siblingAtColumn(1)).toString().isEmpty();
  }, 10000));
  // Each column is as wide as its text needs in the view, margins included, once the details
  // have arrived (a turn of the event loop after the model has them).
  for (int column : {1, 3}) {
    const QModelIndex cell = file.siblingAtColumn(column);
    QStyleOptionViewItem option;
    option.initFrom(tree);
    option.font = tree->font();
    const int needed = tree->itemDelegate()->sizeHint(option, cell).width();
    QTest::qWaitFor([&] { return tree->header()->sectionSize(column) >= needed; }, 2000);
    EXPECT_GE(tree->header()->sectionSize(column), needed) << model->data(cell).toString().toStdString();
  }
}

namespace {
// What Qt draws of a text it takes mnemonics from: each "&" hides itself and marks the next character.
QString DrawnWithMnemonics(const QString& text) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}
}  // namespace

TEST(Captions, AnAmpersandThatMarksNoLetterShowsAsItStandsOnEveryKindOfControl) {
  QWidget form;
  auto* button = new QPushButton(&form);
  auto* group = new QGroupBox(&form);
  auto* label = new QLabel(&form);
  auto* buddyLabel = new QLabel(&form);
  buddyLabel->setBuddy(button);
  QAction action(&form);
  const QString text = "Diary & Quick Notes";
  for (QObject* control : std::initializer_list<QObject*>{button, group, buddyLabel, &action, &form})
    SetCaption(*control, text);
  SetCaption(*label, text);
  EXPECT_EQ(DrawnWithMnemonics(button->text()), text);
  EXPECT_EQ(DrawnWithMnemonics(group->title()), text);
  EXPECT_EQ(DrawnWithMnemonics(buddyLabel->text()), text);
  EXPECT_EQ(DrawnWithMnemonics(action.text()), text);
  EXPECT_EQ(label->text(), text);
  EXPECT_EQ(form.windowTitle(), text);
  // Controls without mnemonics (combo-box items, lists) and the tab and menu texts.
  EXPECT_EQ(StripMnemonics(text), text);
  EXPECT_EQ(DrawnWithMnemonics(MnemonicText(text)), text);
  EXPECT_TRUE(QKeySequence::mnemonic(button->text()).isEmpty());

  // "&&" is one ampersand and "&" before a letter or digit still marks it.
  SetCaption(*button, "Important Dates && Holidays");
  EXPECT_EQ(DrawnWithMnemonics(button->text()), "Important Dates & Holidays");
  EXPECT_EQ(StripMnemonics("Important Dates && Holidays"), "Important Dates & Holidays");
  SetCaption(*button, "&Menu");
  EXPECT_EQ(QKeySequence::mnemonic(button->text()), QKeySequence(Qt::ALT | Qt::Key_M));
  EXPECT_EQ(StripMnemonics("Page &2 & more&"), "Page 2 & more&");
  EXPECT_EQ(DrawnWithMnemonics(MnemonicText("Page &2 & more&")), "Page 2 & more&");
}
