#pragma once
// A settings-window stand-in for the page tests: a model in a program folder of its own, the
// diary store, and the Diary, Options and Special pages built by the settings window's own
// CreateSettingsPages and initialised as start-up does, in one 640 x 480 window.
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirDiaryStore.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "controls/KVNbModule.h"
#include "controls/KVRichEdActions.h"
#include "foundation/KVSysUtils.h"
#include "tests/common/FormTestKit.h"
#include "tests/common/MainFormComponent.h"
#include "ui/DiaryTab.h"
#include "ui/MainF.h"
#include "ui/OptionsTab.h"
#include "ui/SpecialTab.h"

namespace pagetest {

using kvtest::FormComponent;

struct Pages {
  QTemporaryDir dir;
  kvtest::ScopedOverride<QString> exe{ExeDir, dir.path() + "/"};
  FormComponent form;
  TMirModel model{form};
  int renders = 0, holidayEdits = 0;
  QTabWidget window;
  TDiaryTab* diary = nullptr;
  TOptionsTab* options = nullptr;
  TSpecialTab* special = nullptr;
  std::unique_ptr<TMirDiaryStore> store;

  Pages() {
    window.resize(640, 480);
    const auto host = [this](const char* name) {
      auto* page = new QWidget;
      page->setObjectName(QLatin1String(name));
      auto* l = new QVBoxLayout(page);
      l->setContentsMargins(0, 0, 0, 0);
      window.addTab(page, QLatin1String(name));
      return page;
    };
    QWidget* d = host("DiaryTab");
    QWidget* o = host("OptionsTab");
    QWidget* s = host("SpecialTab");
    store = std::make_unique<TMirDiaryStore>(model);
    const TSettingsPages pages = CreateSettingsPages(model, *store, {[this](bool) { ++renders; }, {}}, d, o, s);
    diary = pages.Diary;
    options = pages.Options;
    special = pages.Special;
    QObject::connect(&model.Changes, &TMirModelChanges::HolidaysEdited, &window, [this] { ++holidayEdits; });
  }
  ~Pages() { store.reset(); }

  // Start-up as the main form runs it.
  void Start() {
    diary->InitializePage();
    options->InitializePage();
    special->InitializePage();
    store->LoadDiaryAndNotes();
    options->LoadHolidays();
    diary->SetDiaryReadOnly(model.Ini->NotavelDiary);
    window.show();
    window.setCurrentIndex(0);
    UpdateRichEditActions();
    started = true;
  }

  TNbModule& Nb() { return *model.NbDiary; }
  // An entry of the diary document before Start, of the notebook after it.
  void Store(const QString& id, const QString& text) {
    if (!started) {
      TKVXBDiaryItem* item = model.Diary->Data().Add();
      item->idx = id;
      item->Lines = text;
      model.Diary->SaveToFile(DiaryFile(), true);
      return;
    }
    Nb().Data().StoreEntry(id, QString(), text, clBlack, 0, nbsmOverwrite);
  }
  bool started = false;
};

// A picture of a page for the eye, when KV_SCREENSHOT_DIR names a folder.
inline void Screenshot(QWidget& w, const QString& name) {
  const QString folder = qEnvironmentVariable("KV_SCREENSHOT_DIR");
  if (folder.isEmpty()) return;
  QDir().mkpath(folder);
  w.grab().save(QDir(folder).filePath(name + ".png"));
}

}  // namespace pagetest
