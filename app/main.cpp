#include <QApplication>
#include <QAction>
#include <memory>

#include "calendar/MDataDM.h"
#include "calendar/iniData.h"
#include "foundation/KVSysUtils.h"
#include "ui/MainF.h"
#include "ui/MirStartup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Kel Voro"));
  QApplication::setApplicationName(QStringLiteral("Mirova Calendar"));
  QApplication::setApplicationDisplayName(QStringLiteral("Mirova Calendar"));
  // The program lives in the tray: closing its windows never ends it.
  QApplication::setQuitOnLastWindowClosed(false);
  InitializeFolders();

  std::unique_ptr<TKVMirovaCalendar> form;
  std::unique_ptr<TMData> data;
  TMirStartupHooks hooks;
  hooks.ClaimInstance = [] { return true; };
  hooks.ActivateRunningInstance = [] {};
  hooks.CreateForms = [&] {
    form = std::make_unique<TKVMirovaCalendar>();
    data = std::make_unique<TMData>();
    data->DataModuleCreate();
  };
  hooks.InitializeMainForm = [&](bool) { return form->InitializeMainForm(); };
  hooks.Settings = [&]() -> const Tini& { return *form->Model().Ini; };
  hooks.RunAction = [&](const QString& name) { form->Action(name.toLatin1().constData())->trigger(); };
  hooks.RunLoop = [] { return QApplication::exec(); };
  const int rc = RunMirova(QApplication::arguments(), hooks);
  form.reset();
  return rc;
}
