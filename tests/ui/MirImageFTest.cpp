#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <gtest/gtest.h>

#include "foundation/KVPicture.h"
#include "tests/common/TestUtil.h"
#include "ui/MirImageF.h"

namespace {

struct View {
  TKVBitmap preview;
  TMirImageForm form;
  int renders = 0;
  View() {
    form.SetPreview(&preview);
    form.BackgroundPath = kvtest::TestRoot() + "/exe/kvmir.bmp";
    form.Render = [this](bool recalc) {
      EXPECT_TRUE(recalc);
      ++renders;
      preview.BrushColor = RGB(1, 2, 3);
      preview.SetSize(64, 48);
    };
  }
  ~View() { QFile::remove(form.BackgroundPath); }
};

}  // namespace

TEST(FullScreenView, ABorderlessWindowOverTheWholeScreen) {
  View v;
  EXPECT_EQ(v.form.objectName(), "MirImageForm");
  EXPECT_TRUE(v.form.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(v.form.size(), QSize(640, 480));
  v.form.show();
  EXPECT_EQ(v.form.geometry(), QGuiApplication::primaryScreen()->geometry());
  EXPECT_TRUE(v.form.testAttribute(Qt::WA_OpaquePaintEvent));
  // What it shows is the preview bitmap.
  const QImage shown = v.form.grab().toImage();
  EXPECT_EQ(QColor(shown.pixel(5, 5)), QColor(1, 2, 3));
}

TEST(FullScreenView, ShowingWithoutAPictureReloadsTheCalendarFileOrDrawsAnew) {
  {
    View v;  // no file: drawn anew
    v.form.show();
    EXPECT_EQ(v.renders, 1);
    EXPECT_EQ(v.preview.Width(), 64);
    v.form.hide();
    v.form.show();  // already drawn: shown unchanged
    EXPECT_EQ(v.renders, 1);
  }
  {
    View v;  // the file of the last apply is shown as it is
    QImage img(32, 16, QImage::Format_RGB32);
    img.fill(QColor(9, 8, 7));
    SaveBitmap24(v.form.BackgroundPath, img);
    v.form.show();
    EXPECT_EQ(v.renders, 0);
    EXPECT_EQ(v.preview.Width(), 32);
    EXPECT_EQ(v.preview.Image().format(), QImage::Format_BGR888);
    EXPECT_EQ(QColor(v.preview.Image().pixel(3, 3)), QColor(9, 8, 7));
  }
  {
    View v;  // an unreadable file: drawn anew, no message
    kvtest::WriteFile(v.form.BackgroundPath, "BM not really a bitmap");
    v.form.show();
    EXPECT_EQ(v.renders, 1);
  }
  {
    View v;  // a failing drawing reaches no further than the view
    v.form.Render = [](bool) { throw EKVError("no picture"); };
    EXPECT_NO_THROW(v.form.show());
  }
}

TEST(FullScreenView, EscapeAndThePopUpMenuRestoreTheIcons) {
  View v;
  QAction restore("Restore Desktop Icons     Esc");
  int triggered = 0;
  QObject::connect(&restore, &QAction::triggered, [&triggered] { ++triggered; });
  v.form.SetRestoreAction(&restore);
  EXPECT_EQ(v.form.MirPopupMenu()->actions(), QList<QAction*>{&restore});
  v.form.show();
  QKeyEvent other(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
  QApplication::sendEvent(&v.form, &other);
  EXPECT_EQ(triggered, 0);
  QKeyEvent esc(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&v.form, &esc);
  EXPECT_EQ(triggered, 1);
  EXPECT_FALSE(v.form.PopupMenuEnabled());
  v.form.SetPopupMenuEnabled(true);
  EXPECT_TRUE(v.form.PopupMenuEnabled());
}

TEST(FullScreenView, ActivationBringsAnOpenSettingsWindowToTheFront) {
  View v;
  bool open = false;
  int raised = 0;
  v.form.SettingsOpen = [&open] { return open; };
  v.form.BringSettingsToFront = [&raised] { ++raised; };
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&v.form, &activate);
  EXPECT_EQ(raised, 0);
  open = true;
  QApplication::sendEvent(&v.form, &activate);
  EXPECT_EQ(raised, 1);
}
