#pragma once
// Driving forms in tests: boxes and dialogs that no test expected fail the test at once (instead
// of waiting for a click until CTest's time-out), hooks replaced for one scope, children found by
// name, and controls driven with QTest as a user drives them.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTest>
#include <functional>
#include <stdexcept>
#include <utility>

#include "foundation/KVForms.h"
#include "foundation/KVSysUtils.h"

namespace kvtest {

// Replaces a value (a hook, a global) for the scope; it comes back even when an ASSERT_ leaves early.
template <class T>
class ScopedOverride {
 public:
  ScopedOverride(T& slot, T value) : slot_(slot), saved_(std::exchange(slot, std::move(value))) {}
  ScopedOverride(const ScopedOverride&) = delete;
  ScopedOverride& operator=(const ScopedOverride&) = delete;
  ~ScopedOverride() { slot_ = std::move(saved_); }

 private:
  T& slot_;
  T saved_;
};

// Called once by the test main: unexpected message boxes, modal dialogs and file choosers fail
// the running test and are answered with Cancel; a modal window left open by code that bypasses
// the runners is failed and closed by a watchdog.
void InstallFormGuards();

// The answerer in force outside MessageBoxes scopes: fails the test, answers Cancel.
int UnexpectedMessageBox(const QString& msg, const QString& caption, int icon, const TKVButtons& buttons);

// Answers every message box of the scope with Answer (a button result) and records the texts.
class MessageBoxes {
 public:
  explicit MessageBoxes(int answer = 1);
  explicit MessageBoxes(std::function<int(const QString& msg, const TKVButtons& buttons)> answer);
  ~MessageBoxes();
  const QStringList& Texts() const { return texts_; }
  int Count() const { return int(texts_.size()); }

 private:
  QStringList texts_;
};

// Answers every dialog run through ExecDialog in the scope.
class Dialogs {
 public:
  explicit Dialogs(std::function<int(QDialog&)> answer);
  ~Dialogs();

 private:
  TDialogRunner saved_;
};

// The named child of Root; throws (failing the test) when there is none.
template <class T>
T& Child(const QObject& root, const char* name) {
  T* c = root.findChild<T*>(QLatin1String(name));
  if (!c) throw std::runtime_error(std::string("no child named ") + name);
  return *c;
}

// A click as the user makes it (fires clicked, toggled and the bound action).
inline void Click(QAbstractButton& b) { QTest::mouseClick(&b, Qt::LeftButton); }
// Replaces the edit's text by typing (fires textEdited for every key).
void TypeInto(QLineEdit& edit, const QString& text);
// Chooses an item with the keyboard, so that activated fires.
void ChooseItem(QComboBox& box, int index);

}  // namespace kvtest
