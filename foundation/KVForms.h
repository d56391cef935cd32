#pragma once
// What every window shares: one guarded runner for connected handlers (no exception crosses a
// Qt slot), actions defined once and bound to buttons, captions applied from the language table,
// and one replaceable runner for modal dialogs.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "foundation/KVRes.h"

class QAbstractButton;
class QAction;
class QDialog;
class QWidget;

// What happens to an error that reached a handler: it is shown, and the process ends only when
// KeepRunning says nothing the user is editing is open.
struct TKVErrorPolicy {
  std::function<void(const QString& message)> ShowException;
  std::function<bool()> KeepRunning;
  std::function<void()> Terminate;
};
// The policy in force; the default shows the error in a message box and keeps running.
TKVErrorPolicy& ErrorPolicy();

// Runs Handler; an exception is caught and handed to the policy. False when one was caught.
bool RunGuarded(const std::function<void()>& Handler);

namespace kvdetail {
// Outside the slot's lambda: clang 14 compiles a discarded branch in a lambda inside a generic one.
template <class F, class... A>
void CallGuarded(const F& f, A&&... args) {
  if constexpr (std::is_invocable_v<const F&, A...>)
    RunGuarded([&] { f(std::forward<A>(args)...); });
  else
    RunGuarded([&] { f(); });
}
}  // namespace kvdetail

// A slot that runs F through RunGuarded, with or without the signal's arguments.
template <class F>
auto Guarded(F f) {
  return [f = std::move(f)](auto&&... args) {
    kvdetail::CallGuarded(f, std::forward<decltype(args)>(args)...);
  };
}

// One action of a form: its object name is the action's name, so tests and menus find it. The
// caption is taken as SetCaption takes it.
QAction* NewAction(QObject* Owner, const char* Name, const QString& Caption, std::function<void()> Run);

// Buttons show what their action shows (text, enabled, visible) and trigger it when clicked.
void BindButton(QAbstractButton* Button, QAction* Action);

// A caption taken from the language table, with an optional suffix such as ":".
struct TCaption {
  const char* Control;
  QString TKVLanguageResource::*Text;
  const char* Suffix = "";
};
// Sets each named child's text (buttons, labels, group boxes, check boxes, actions, line-edit
// placeholders); raises EKVError naming a control that Root does not have, so a typo fails at once.
// Texts use "&" before a mnemonic letter or digit and "&&" for "&", as buttons show them; any
// other "&" is shown as it stands. Labels without a buddy, window titles and placeholders show the
// text without the markers.
void ApplyCaptions(QObject& Root, std::initializer_list<TCaption> Captions);
void SetCaption(QObject& Control, const QString& Text);
// The text as shown where "&" marks nothing (combo-box items, lists, titles).
QString StripMnemonics(const QString& Text);
// The text for a control that takes "&" as a mnemonic marker (buttons, group boxes, tabs, menus):
// a "&" that marks nothing is doubled so that it shows.
QString MnemonicText(const QString& Text);

// Runs a modal dialog and returns its result; tests replace it to answer dialogs synchronously.
using TDialogRunner = std::function<int(QDialog&)>;
TDialogRunner& DialogRunner();
int ExecDialog(QDialog& Dialog);

// File choosers; tests replace them. Empty (or an empty list) when the user cancels.
struct TFileDialogs {
  std::function<QString(QWidget* Parent, const QString& Caption, const QString& Dir, const QString& Filter)> OpenFileName;
  std::function<QStringList(QWidget* Parent, const QString& Caption, const QString& Dir, const QString& Filter)>
      OpenFileNames;
  std::function<QString(QWidget* Parent, const QString& Caption, const QString& Dir, const QString& Filter)> SaveFileName;
  // Several files, with the filter shown first in SelectedFilter and the one chosen put back there.
  std::function<QStringList(QWidget* Parent, const QString& Caption, const QString& Dir, const QString& Filter,
                            QString* SelectedFilter)>
      OpenFileNamesFiltered;
};
TFileDialogs& FileDialogs();
class QFileDialog;
// In Qt's own file dialog the columns widen to the sizes and dates each folder shows, instead of
// cutting them ("195...KiB").
void FitFileDialogColumns(QFileDialog& Dialog);

// A new control with its object name, the name tests and skin texts find it by.
template <class W>
W* Named(W* w, const char* name) {
  w->setObjectName(QLatin1String(name));
  return w;
}

// The named child of Root of type T; nullptr when there is none.
template <class T>
T* FindNamed(const QObject& Root, const char* Name) {
  return Root.findChild<T*>(QLatin1String(Name));
}
