#include "tests/common/FormTestKit.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

namespace kvtest {

int UnexpectedMessageBox(const QString& msg, const QString&, int, const TKVButtons& buttons) {
  ADD_FAILURE() << "unexpected message box: " << msg.toStdString();
  for (const TKVButton& b : buttons)
    if (b.Result == 2) return 2;
  return buttons.empty() ? 2 : buttons.back().Result;
}

namespace {

// A modal window open longer than this was not expected by any test.
constexpr int kModalLimitMs = 5000;

}  // namespace

void InstallFormGuards() {
  SetMessageBoxAnswerer(UnexpectedMessageBox);
  DialogRunner() = [](QDialog& d) {
    ADD_FAILURE() << "unexpected dialog: " << d.windowTitle().toStdString() << " ("
                  << d.objectName().toStdString() << ")";
    return int(QDialog::Rejected);
  };
  TFileDialogs& f = FileDialogs();
  f.OpenFileName = [](QWidget*, const QString& caption, const QString&, const QString&) {
    ADD_FAILURE() << "unexpected file chooser: " << caption.toStdString();
    return QString();
  };
  f.OpenFileNames = [](QWidget*, const QString& caption, const QString&, const QString&) {
    ADD_FAILURE() << "unexpected file chooser: " << caption.toStdString();
    return QStringList();
  };
  f.SaveFileName = f.OpenFileName;
  f.OpenFileNamesFiltered = [](QWidget*, const QString& caption, const QString&, const QString&, QString*) {
    ADD_FAILURE() << "unexpected file chooser: " << caption.toStdString();
    return QStringList();
  };
  auto* watchdog = new QTimer(qApp);
  auto* seen = new QPointer<QWidget>;
  auto* since = new qint64(0);
  QObject::connect(watchdog, &QTimer::timeout, qApp, [seen, since] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
      *seen = nullptr;
      return;
    }
    if (*seen != modal) {
      *seen = modal;
      *since = 0;
      return;
    }
    *since += 500;
    if (*since < kModalLimitMs) return;
    ADD_FAILURE() << "a modal window stayed open: " << modal->windowTitle().toStdString();
    if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
    else modal->close();
  });
  watchdog->start(500);
}

MessageBoxes::MessageBoxes(int answer)
    : MessageBoxes([answer](const QString&, const TKVButtons&) { return answer; }) {}

MessageBoxes::MessageBoxes(std::function<int(const QString&, const TKVButtons&)> answer) {
  SetMessageBoxAnswerer([this, answer](const QString& msg, const QString&, int, const TKVButtons& buttons) {
    texts_ << msg;
    return answer(msg, buttons);
  });
}

MessageBoxes::~MessageBoxes() { SetMessageBoxAnswerer(UnexpectedMessageBox); }

Dialogs::Dialogs(std::function<int(QDialog&)> answer) : saved_(std::exchange(DialogRunner(), std::move(answer))) {}

Dialogs::~Dialogs() { DialogRunner() = std::move(saved_); }

void TypeInto(QLineEdit& edit, const QString& text) {
  edit.setFocus();
  edit.selectAll();
  QTest::keyClick(&edit, Qt::Key_Delete);
  QTest::keyClicks(&edit, text);
}

void ChooseItem(QComboBox& box, int index) {
  box.setFocus();
  if (box.currentIndex() == index) return;
  const int steps = index - box.currentIndex();
  const Qt::Key key = steps > 0 ? Qt::Key_Down : Qt::Key_Up;
  for (int i = 0; i < std::abs(steps); ++i) QTest::keyClick(&box, key);
}

}  // namespace kvtest
