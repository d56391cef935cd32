#include "ui/MirStartup.h"

#include "calendar/iniData.h"
#include "foundation/KVSaveReport.h"

bool IsAutoStartSwitch(const QStringList& Arguments) {
  for (qsizetype i = 1; i < Arguments.size(); ++i)
    if (Arguments[i].toUpper() == QLatin1String("/A")) return true;
  return false;
}

QString StartupActionName(const Tini& Settings, bool AutoStart) {
  if (!AutoStart) return QStringLiteral("actOpenDiary");
  if (Settings.StartupHideIcons) return QStringLiteral("actHideIcons");
  if (Settings.StartupOpenDiary) return QStringLiteral("actOpenDiary");
  if (Settings.StartupOpenQuickNotes) return QStringLiteral("actOpenQuickNotes");
  return {};
}

int RunMirova(const QStringList& Arguments, const TMirStartupHooks& Hooks) {
  if (!Hooks.ClaimInstance()) {
    // Another copy runs: it opens its window; this one ends without a window or tray icon.
    Hooks.ActivateRunningInstance();
    return 0;
  }
  const bool autoStart = IsAutoStartSwitch(Arguments);
  std::shared_ptr<TSaveFailures> told;
  {
    // What the start-up could not save is told once, over the window it opens; a start at
    // log-on tells it without taking the keys the user may be typing elsewhere.
    const TSaveReport startup(!autoStart);
    Hooks.CreateForms();
    if (!Hooks.InitializeMainForm(autoStart)) return 0;
    const QString action = StartupActionName(Hooks.Settings(), autoStart);
    if (!action.isEmpty()) Hooks.RunAction(action);
    told = TSaveReport::Current();
  }
  // Told from the loop, once the window is where the window manager puts it.
  KeepUntilWindowsShown(std::move(told));
  return Hooks.RunLoop();
}
