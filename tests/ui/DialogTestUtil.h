#pragma once
// Checks shared by the dialog tests: every text fits its control, and a picture of the dialog
// for the eye (written when KV_SCREENSHOT_DIR names a folder).
#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>
#include <gtest/gtest.h>

namespace dialogtest {

// Shows the dialog laid out as the user sees it and checks that no visible text is cut.
inline void ExpectTextsFit(QWidget& dialog) {
  dialog.show();
  dialog.adjustSize();
  for (QWidget* w : dialog.findChildren<QWidget*>()) {
    if (!w->isVisibleTo(&dialog)) continue;
    const std::string name = w->objectName().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) {
      if (l->wordWrap()) EXPECT_GE(l->height(), l->heightForWidth(l->width())) << name;
      else EXPECT_GE(l->width(), l->sizeHint().width()) << name;
    } else if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w)) {
      EXPECT_GE(w->width(), w->sizeHint().width()) << name;
    } else if (qobject_cast<QGroupBox*>(w)) {
      EXPECT_GE(w->width(), w->minimumSizeHint().width()) << name;
    }
  }
}

inline void Screenshot(QWidget& dialog, const QString& name) {
  const QString folder = qEnvironmentVariable("KV_SCREENSHOT_DIR");
  if (folder.isEmpty()) return;
  dialog.show();
  QDir().mkpath(folder);
  EXPECT_TRUE(dialog.grab().save(QDir(folder).filePath(name + ".png")));
}

}  // namespace dialogtest
