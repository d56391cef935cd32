#include <gtest/gtest.h>

#include <QScopeGuard>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include "foundation/KVApps.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVRegistry.h"

namespace {

const QString kKey = "Software\\Kel Voro\\Mirova Calendar";

class FormStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegistryStore::ResetAll();
    TKVRegistry reg;
    if (reg.KeyExists("\\" + kKey)) reg.DeleteKey("\\" + kKey);
    form_.setObjectName("KVMirovaCalendar");
    form_.resize(640, 480);
    form_.move(30, 40);
  }
  std::unique_ptr<TKVFormState> State(bool saveSize, bool savePos) {
    auto s = std::make_unique<TKVFormState>(&form_);
    s->SaveSize = saveSize;
    s->SavePos = savePos;
    s->RegKey = kKey;
    s->ScreenRect = [] { return QRect(0, 0, 1024, 768); };
    return s;
  }
  QWidget form_;
};

}  // namespace

TEST_F(FormStateTest, AFirstRunAppliesNothingButTheNormalState) {
  auto s = State(true, true);
  s->LoadState();
  EXPECT_EQ(s->Width, 0);
  EXPECT_EQ(s->Height, 0);
  s->ApplyBounds();
  EXPECT_EQ(form_.size(), QSize(640, 480));
  EXPECT_EQ(form_.pos(), QPoint(30, 40));
  EXPECT_FALSE(form_.isMaximized());
}

TEST_F(FormStateTest, SizeOnlyFormsStoreAndRestoreTheirSize) {
  auto s = State(true, false);
  EXPECT_EQ(s->KeyPath(), kKey + "\\KVMirovaCalendar");
  form_.resize(700, 500);
  s->StoreBounds();
  s->SaveState();
  TKVRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\" + s->KeyPath()));
  EXPECT_EQ(reg.ReadInteger("Width"), 700);
  EXPECT_EQ(reg.ReadInteger("Height"), 500);
  EXPECT_FALSE(reg.ReadBool("Maximized"));
  EXPECT_FALSE(reg.ValueExists("Left"));
  EXPECT_FALSE(reg.ValueExists("Top"));
  reg.CloseKey();

  QWidget next;
  next.setObjectName("KVMirovaCalendar");
  next.resize(640, 480);
  next.move(5, 6);
  TKVFormState n(&next);
  n.SavePos = false;
  n.RegKey = kKey;
  n.ScreenRect = [] { return QRect(0, 0, 1024, 768); };
  n.LoadState();
  n.ApplyBounds();
  EXPECT_EQ(next.size(), QSize(700, 500));
  EXPECT_EQ(next.pos(), QPoint(5, 6));  // the system's placement stays
}

TEST_F(FormStateTest, AMaximisedFormComesBackMaximisedOverItsLastNormalSize) {
  auto s = State(true, false);
  form_.resize(720, 520);
  s->StoreBounds();
  form_.showMaximized();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  s->StoreBounds();
  EXPECT_TRUE(s->Maximized);
  EXPECT_EQ(s->Width, 720);  // the maximised size is not taken
  s->SaveState();
  form_.hide();

  QWidget next;
  next.setObjectName("KVMirovaCalendar");
  next.resize(640, 480);
  TKVFormState n(&next);
  n.SavePos = false;
  n.RegKey = kKey;
  n.LoadState();
  n.ApplyBounds();
  next.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&next));
  EXPECT_TRUE(next.isMaximized());
  next.showNormal();
  EXPECT_TRUE(QTest::qWaitFor([&] { return next.size() == QSize(720, 520); }, 2000)) << next.width() << "x" << next.height();
}

TEST_F(FormStateTest, AFormBeyondTheScreenEdgeIsMovedBackEachWaySeparately) {
  auto s = State(true, true);
  s->Width = 300;
  s->Height = 200;
  s->Left = 900;  // 900 + 300 > 1024
  s->Top = 100;
  s->SaveState();
  s->LoadState();
  s->ApplyBounds();
  EXPECT_EQ(form_.pos(), QPoint(0, 100));
  s->Left = 100;
  s->Top = 700;  // 700 + 200 > 768
  s->SaveState();
  s->LoadState();
  s->ApplyBounds();
  EXPECT_EQ(form_.pos(), QPoint(100, 0));
  // A damaged size larger than the screen is cut to it.
  s->Width = 100000;
  s->Height = 90000;
  s->Left = s->Top = 0;
  s->ApplyBounds();
  EXPECT_EQ(form_.size(), QSize(1024, 768));
}

TEST_F(FormStateTest, WithoutAKeyTheApplicationTitleNamesIt) {
  SetApplicationTitle("Kel Voro Mirova Calendar 5.0");
  const auto untitled = qScopeGuard([] { SetApplicationTitle({}); });
  TKVFormState s(&form_);
  EXPECT_EQ(s.KeyPath(), "Software\\Kel Voro\\Kel Voro Mirova Calendar 5.0\\KVMirovaCalendar");
  s.RegKey = kKey + "\\";
  EXPECT_EQ(s.KeyPath(), kKey + "\\KVMirovaCalendar");
}
