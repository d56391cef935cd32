#include <QAction>
#include <QApplication>
#include <QScopeGuard>
#include <QSessionManager>
#include <memory>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "calendar/MDataDM.h"
#include "calendar/iniData.h"
#include "foundation/KVApps.h"
#include "foundation/KVForms.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVTextHelper.h"
#include "foundation/KVTrovanaRem.h"
#include "platform/KVInstance.h"
#include "platform/KVSystemEvents.h"
#include "ui/MainF.h"
#include "ui/MirIcon.h"
#include "ui/MirStartup.h"

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // Freed memory at the top of any of the allocator's heaps goes back to the system once 4 MB are
  // free there. Left to itself the threshold follows the largest blocks freed, up to 64 MB, and
  // the diary's search text, made on a thread of its own and let go of when the window is put
  // away, would stay resident in the tray.
  mallopt(M_TRIM_THRESHOLD, 4 << 20);
  // Setting that threshold also fixes the one for mapping a block of its own at 128 KB, and
  // start-up makes and drops many blocks a little larger (a layout's text, a decompressed entry):
  // each would be mapped, faulted in page by page and unmapped again. Up to 1 MB they are taken
  // from the heap, whose freed pages are used again.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
  PrepareTextRendering();
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Kel Voro"));
  // No display name: Qt would append it to every window title.
  QApplication::setApplicationName(QStringLiteral("Mirova Calendar"));
  SetApplicationTitle(kApplicationTitle);
  QApplication::setWindowIcon(ProgramIcon());
  // Ties the windows to the installed menu entry and its icon (Wayland, task switchers).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.kelvoro.MirovaCalendar"));
  // The program lives in the tray: closing its windows never ends it.
  QApplication::setQuitOnLastWindowClosed(false);
  InitializeFolders();
  InitializeTrovanaPath();

  TKVInstanceLock lock(kApplicationTitle);
  TKVInstanceServer server(kApplicationTitle);
  std::unique_ptr<TKVMirovaCalendar> form;
  std::unique_ptr<TMData> data;
  TKVSignalWatch endSignals;
  TKVClockWatch clock;

  TMirStartupHooks hooks;
  hooks.ClaimInstance = [&] {
    if (!ClaimSingleInstance(lock, kApplicationTitle)) return false;
    // Messages from later copies wait until start-up is done.
    server.Listen();
    server.SetHeld(true);
    return true;
  };
  hooks.ActivateRunningInstance = [] {};
  hooks.CreateForms = [&] {
    form = std::make_unique<TKVMirovaCalendar>();
    data = std::make_unique<TMData>();
    data->DataModuleCreate();
    form->Tray().ListenTo(&server);
    form->Tray().Loaded();
  };
  hooks.InitializeMainForm = [&](bool) { return form->InitializeMainForm(); };
  hooks.Settings = [&]() -> const Tini& { return *form->Model().Ini; };
  hooks.RunAction = [&](const QString& name) { form->Action(name.toLatin1().constData())->trigger(); };
  hooks.RunLoop = [&] {
    server.SetHeld(false);
    QObject::connect(&clock, &TKVClockWatch::ClockSet, form.get(), Guarded([&] { form->WMTimeChange(); }));
    // The end of the session and a terminate signal save what the open windows hold; the
    // program ends even when that could not all be saved.
    const auto end = [&] {
      const auto quit = qScopeGuard([] { QCoreApplication::quit(); });
      form->SessionEnd();
    };
    QObject::connect(&endSignals, &TKVSignalWatch::Signalled, form.get(), [end](int) { RunGuarded(end); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, form.get(), [&](QSessionManager&) {
      RunGuarded([&] { form->SessionEnd(); });
    });
    return QApplication::exec();
  };
  const int rc = RunMirova(QApplication::arguments(), hooks);
  form.reset();
  return rc;
}
