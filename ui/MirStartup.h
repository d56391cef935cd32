#pragma once
// The program's main block: one instance per user, the forms, the start at log-on switch, the
// main form's initialisation, the start-up action and the message loop, in this order. Each
// step is a hook, so the order and the early exits are testable without a display.
#include <QString>
#include <QStringList>
#include <functional>

class Tini;

// "/A" anywhere on the command line, in any case (the log-on entry writes "/a").
bool IsAutoStartSwitch(const QStringList& Arguments);

// The action a start runs: with the log-on switch the first start-up option that is set
// (hide the desktop icons, open the diary, open the quick notes) or none; without it the settings
// window ("actOpenDiary"). Empty: no action.
QString StartupActionName(const Tini& Settings, bool AutoStart);

struct TMirStartupHooks {
  // Takes the per-user instance lock; false when another instance holds it.
  std::function<bool()> ClaimInstance;
  // Tells the running instance to open its settings window (waits until it did, bounded).
  std::function<void()> ActivateRunningInstance;
  // Creates the forms in their order.
  std::function<void()> CreateForms;
  // The main form's initialisation; false when the program must end (no image set).
  std::function<bool(bool AutoStart)> InitializeMainForm;
  // The settings the start-up action is chosen from (after initialisation).
  std::function<const Tini&()> Settings;
  // Runs a main-form action by name.
  std::function<void(const QString& Action)> RunAction;
  // The message loop; its result is the process's exit code.
  std::function<int()> RunLoop;
};

// The main block; returns the process's exit code.
int RunMirova(const QStringList& Arguments, const TMirStartupHooks& Hooks);
