#include "ui/MainF.h"

#include <QAction>
#include <array>
#include <optional>
#include <utility>
#include <QApplication>
#include <QBuffer>
#include <QScopeGuard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QTimer>
#include <QDir>
#include <QWindowStateChangeEvent>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MDataDM.h"
#include "calendar/MirImageSet.h"
#include "calendar/iniData.h"
#include "controls/KVRichEdOLE.h"
#include "controls/KVSkinCtrls.h"
#include "controls/MirPanels.h"
#include "foundation/KVSaveReport.h"
#include "foundation/KVSkinData.h"
#include "foundation/KVException.h"
#include "foundation/KVForms.h"
#include "foundation/KVPicture.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVUtils.h"
#include "foundation/KVTrovanaRem.h"
#include "platform/KVClock.h"
#include "platform/KVLaunch.h"
#include "platform/KVNotify.h"
#include "platform/KVRegistry.h"
#include "platform/KVSystemEvents.h"
#include "ui/ImagesTab.h"
#include "ui/MirIcon.h"
#include "calendar/MirDiaryStore.h"
#include "calendar/MirNotes.h"
#include "calendar/MirNotesStore.h"
#include "ui/DiaryTab.h"
#include "ui/OptionsTab.h"
#include "ui/SpecialTab.h"
#include "ui/MirImageF.h"
#include "ui/QuickNotesF.h"
#include "ui/printf.h"
#include "ui/StyleTab.h"

const QString kApplicationTitle = QStringLiteral("Kel Voro Mirova Calendar 5.0");

namespace {

// The settings window's client area at start-up; the window never gets smaller.
constexpr int kClientWidth = 640, kClientHeight = 480;

std::array<bool*, 3> StartupFlags(Tini& ini) {
  return {&ini.StartupHideIcons, &ini.StartupOpenDiary, &ini.StartupOpenQuickNotes};
}

struct TPageInfo {
  const char* Name;
  QString TKVLanguageResource::*Text;
};
const TPageInfo kPages[] = {
    {"CoverTab", &TKVLanguageResource::RSCover},   {"DiaryTab", &TKVLanguageResource::RSDiary},
    {"ImagesTab", &TKVLanguageResource::RSImages}, {"StyleTab", &TKVLanguageResource::RSCalendarStyle},
    {"OptionsTab", &TKVLanguageResource::RSOptions}, {"SpecialTab", &TKVLanguageResource::RSSpecial},
    {"HelpTab", &TKVLanguageResource::RSHelp},     {"AboutTab", &TKVLanguageResource::RSAbout},
};

// The days whose diary entries the calendar may show: the week-day boxes' week, a year on in the
// notes box.
std::pair<QDate, QDate> DaysShown() {
  const QDate today = KVNow().date();
  return {today.addDays(-7), today.addDays(366)};
}

// The calendar shows entries of the own diary (a linked one is read whole first).
bool CalendarShowsOwnDiary(const Tini& ini) {
  return DiaryNotesShown(ini.ShowNotes, ini.ShowNotesOptions) && !ini.NotavelDiary;
}

}  // namespace

TKVMirovaCalendar::TKVMirovaCalendar(TMirMainHooks hooks, TKVTray::THooks trayHooks)
    : TKVForm(nullptr, nullptr), hooks_(std::move(hooks)) {
  SetName(kMainFormName);
  setWindowTitle(kApplicationTitle);
  setWindowIcon(ProgramIcon());
  if (!hooks_.Terminate) hooks_.Terminate = [] { QCoreApplication::quit(); };
  if (!hooks_.StartScreenSaver) hooks_.StartScreenSaver = [] { ::StartScreenSaver(); };
  if (!hooks_.StartProgram)
    hooks_.StartProgram = [](const QString& program, const QStringList& args) {
      return ::StartProgram(program, args);
    };

  TMirModelHooks modelHooks = hooks_.Model;
  modelHooks.FullScreenVisible = [this] { return imageForm_ && imageForm_->isVisible(); };
  modelHooks.SettingsVisible = [this] { return SettingsOpen(); };
  model_ = std::make_unique<TMirModel>(*this, std::move(modelHooks));
  // The settings are read at once (which also keeps the log-on entry in step).
  model_->Ini->LoadSettings();
  PageChanging = false;

  imageForm_ = new TMirImageForm(this);
  imageForm_->SetPreview(&model_->Render.Preview);
  imageForm_->Render = [this](bool recalc) { model_->RenderCalendar(recalc); };
  imageForm_->SettingsOpen = [this] { return SettingsOpen(); };
  imageForm_->BringSettingsToFront = [this] { ForceForegroundWindow(this); };
  model_->Render.OnHandOver = [this] { imageForm_->update(); };

  if (!hooks_.QuickNotesVisible) hooks_.QuickNotesVisible = [this] { return quickNotes_ && quickNotes_->isVisible(); };
  // An error nobody handled is shown; it ends the program only when no window the user works in
  // is open.
  ErrorPolicy().KeepRunning = [this] { return SettingsOpen() || hooks_.QuickNotesVisible(); };
  ErrorPolicy().Terminate = [this] { hooks_.Terminate(); };

  if (!hooks_.ShowQuickNotes) hooks_.ShowQuickNotes = [this] { QuickNotesForm().ShowForm(); };
  // The quick-notes window shows the notes document whenever it opens: nothing to do on a load.
  diaryStore_ = std::make_unique<TMirDiaryStore>(*model_);
  // The days the calendar shows are read ahead from the diary while the windows are made.
  if (CalendarShowsOwnDiary(*model_->Ini)) {
    const auto [first, last] = DaysShown();
    diaryStore_->ReadDaysAhead(first, last);
  }
  connect(&model_->Changes, &TMirModelChanges::HolidaysEdited, this, [this] { HolidaysModified = true; });

  CreateActions();
  CreateTrayMenu();
  CreatePages();
  ApplyTexts();

  formState_ = std::make_unique<TKVFormState>(this);
  formState_->SaveSize = true;
  formState_->SavePos = false;
  tray_ = new TKVTray(this, this, std::move(trayHooks));
  tray_->SetIcon(windowIcon());
  tray_->SetPopupMenu(popupMenu_);
  tray_->OnClick = [this](TKVTray*) { RunGuarded([this] { actOpenDiaryExecute(); }); };
  tray_->OnDblClick = tray_->OnClick;
  tray_->OnTerminate = [this](TKVTray*) { RunGuarded([this] { TrayTerminate(); }); };
  connect(tray_, &TKVTray::NoTrayFound, this, Guarded([this] { NoTrayFound(); }));
  connect(tray_, &TKVTray::IconShown, trayMenuBtn_, [this] {
    trayMenuBtn_->setVisible(false);
    noTrayLabel_->setVisible(false);
  });
  if (!hooks_.NoTrayNotice)
    hooks_.NoTrayNotice = [](const QString& summary, const QString& text) {
      if (ShowDesktopNotification(QCoreApplication::applicationName(), QGuiApplication::desktopFileName(), summary,
                                  text))
        return;
      // A window on the screen tells it beside its Menu button already.
      if (!FormOnScreen()) KVNotice(text, QString(), IDI_INFORMATION_ICON);
    };

  // The window can grow on the diary page, never shrink below its start size.
  setWindowFlag(Qt::Window);
  resize(kClientWidth, kClientHeight);
  fixedSize_ = size();
  setMinimumSize(fixedSize_);
  setMaximumSize(fixedSize_);
  mainPanel_->setVisible(false);
}

TQuickNotesForm& TKVMirovaCalendar::QuickNotesForm() {
  if (!quickNotes_) {
    TQuickNotesHooks notesHooks;
    notesHooks.SaveMirova = [this] { acts_.SaveMirova->trigger(); };
    notesHooks.PrintForm = [this]() -> TPrintForm& { return PrintForm(); };
    quickNotes_ = std::make_unique<TQuickNotesForm>(*model_, std::move(notesHooks));
  }
  return *quickNotes_;
}

TPrintForm& TKVMirovaCalendar::PrintForm() {
  if (!printForm_) printForm_ = std::make_unique<TPrintForm>();
  return *printForm_;
}

TKVMirovaCalendar::~TKVMirovaCalendar() {
  ErrorPolicy().KeepRunning = [] { return true; };
  ErrorPolicy().Terminate = [] {};
  // The windows that edit the model's documents go first; then the model's components, which
  // refer to the skins and the form; then every other component the form owns.
  quickNotes_.reset();
  printForm_.reset();
  diaryStore_.reset();
  model_.reset();
  FreeComponents();
}

QAction* TKVMirovaCalendar::Action(const char* name) const {
  auto* a = findChild<QAction*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
  if (!a) throw EKVError(QStringLiteral("No action %1").arg(QLatin1String(name)));
  return a;
}

void TKVMirovaCalendar::CreateActions() {
  const TKVLanguageResource& l = LanguageResource();
  acts_.Open = NewAction(this, "actOpen", QStringLiteral("Images && Settings"), [this] { actOpenExecute(); });
  acts_.OpenDiary = NewAction(this, "actOpenDiary", l.RSDiary, [this] { actOpenDiaryExecute(); });
  acts_.OpenQuickNotes = NewAction(this, "actOpenQuickNotes", l.RSQuickNotes, [this] { actOpenQuickNotesExecute(); });
  acts_.Help = NewAction(this, "actHelp", l.RSHelp, [this] { actHelpExecute(); });
  acts_.About = NewAction(this, "actAbout", l.RSAbout, [this] { actAboutExecute(); });
  acts_.Close = NewAction(this, "actClose", l.RSOK, [this] { actCloseExecute(); });
  acts_.Save = NewAction(this, "actSave", QString(), [this] { actSaveExecute(); });
  acts_.Exit = NewAction(this, "actExit", l.RSExit, [this] { actExitExecute(); });
  acts_.ChangeMirova =
      NewAction(this, "actChangeMirova", QString(), [this] { model_->Rotation->actChangeMirovaExecute(); });
  acts_.SaveMirova = NewAction(this, "actSaveMirova", QString(), [this] { model_->Rotation->actSaveMirovaExecute(); });
  acts_.AutoStartup = NewAction(this, "actAutoStartup", l.RSEnabled, [this] { actAutoStartupExecute(); });
  acts_.StartupHideIcons =
      NewAction(this, "actStartupHideIcons", l.RSHideDesktopIcons, [this] { actStartupOptionExecute(0); });
  acts_.StartupOpenDiary =
      NewAction(this, "actStartupOpenDiary", l.RSOpenDiary, [this] { actStartupOptionExecute(1); });
  acts_.StartupOpenQuickNotes =
      NewAction(this, "actStartupOpenQuickNotes", l.RSOpenQuickNotes, [this] { actStartupOptionExecute(2); });
  acts_.StartScreenSaver =
      NewAction(this, "actStartScreenSaver", l.RSStartDefaultScreenSaver, [this] { actStartScreenSaverExecute(); });
  acts_.StartMirScreenSaver = NewAction(this, "actStartMirScreenSaver", l.RSStartMirovaCalendarScreenSaver,
                                        [this] { actStartMirScreenSaverExecute(); });
  acts_.HideIcons = NewAction(this, "actHideIcons", l.RSHideDesktopIcons, [this] { actHideIconsExecute(); });
  acts_.RestoreIcons = NewAction(this, "actRestoreIcons", QStringLiteral("Restore Desktop Icons     Esc"),
                                 [this] { actRestoreIconsExecute(); });
  acts_.DesktopIconTransparent = NewAction(this, "actDesktopIconTransparent", l.RSTransparentDesktopIcons,
                                           [this] { actDesktopIconTransparentExecute(); });
  acts_.HideNotes = NewAction(this, "actHideNotes", l.RSHideNotes, [this] { actHideNotesExecute(); });
  acts_.Trovana = NewAction(this, "actTrovana", l.RSDownloadNewImagesPrograms, [this] { actTrovanaExecute(); });
  acts_.DeleteDiaryEntry = NewAction(this, "actDeleteDiaryEntry", QStringLiteral("Delete Selected Entry"),
                                     [this] { DiaryPage().actDeleteDiaryEntryExecute(); });
  acts_.Power = NewAction(this, "actPower", QStringLiteral("Powered by Kel Voro"), [] {});
  for (QAction* a : {acts_.AutoStartup, acts_.StartupHideIcons, acts_.StartupOpenDiary, acts_.StartupOpenQuickNotes,
                     acts_.DesktopIconTransparent, acts_.HideNotes})
    a->setCheckable(true);
  imageForm_->SetRestoreAction(acts_.RestoreIcons);
}

void TKVMirovaCalendar::CreateTrayMenu() {
  popupMenu_ = new QMenu(this);
  popupMenu_->setObjectName(QStringLiteral("PopupMenu"));
  // Where the menu opens as a window of its own (Wayland), this names it.
  popupMenu_->setWindowTitle(StripMnemonics(LanguageResource().RSTrayMenu));
  popupMenu_->addAction(acts_.OpenQuickNotes);
  popupMenu_->addAction(acts_.OpenDiary);
  popupMenu_->addSeparator();
  QMenu* reminders = popupMenu_->addMenu(MnemonicText(LanguageResource().RSEditReminders));
  reminders->setObjectName(QStringLiteral("EditReminders1"));
  popupMenu_->addSeparator();
  popupMenu_->addAction(acts_.HideNotes);
  popupMenu_->addAction(acts_.DesktopIconTransparent);
  popupMenu_->addAction(acts_.HideIcons);
  popupMenu_->addAction(acts_.StartScreenSaver);
  popupMenu_->addAction(acts_.StartMirScreenSaver);
  popupMenu_->addAction(acts_.Trovana);
  QMenu* startup = popupMenu_->addMenu(MnemonicText(LanguageResource().RSRunatStartupOptions));
  startup->setObjectName(QStringLiteral("Runatstartup1"));
  startup->addAction(acts_.AutoStartup);
  startup->addSeparator();
  startup->addAction(acts_.StartupHideIcons);
  startup->addAction(acts_.StartupOpenDiary);
  startup->addAction(acts_.StartupOpenQuickNotes);
  // The image set's banner items go between these two.
  popupMenu_->addSeparator()->setObjectName(QStringLiteral("N1"));
  popupMenu_->addSeparator()->setObjectName(QStringLiteral("N2"));
  popupMenu_->addAction(acts_.Help);
  popupMenu_->addAction(acts_.About);
  popupMenu_->addSeparator();
  popupMenu_->addAction(acts_.Exit);
}

namespace {

void FillHost(QWidget* host, QWidget* content) {
  if (!host->layout()) {
    auto* l = new QVBoxLayout(host);
    l->setContentsMargins(0, 0, 0, 0);
  }
  host->layout()->addWidget(content);
}

}  // namespace

TDiaryTab* CreateDiaryPage(TMirModel& Model, const TDiaryTabHooks& DiaryHooks, QWidget* DiaryHost) {
  auto* diary = new TDiaryTab(Model, DiaryHooks, DiaryHost);
  FillHost(DiaryHost, diary);
  return diary;
}

TSettingsPages CreateOptionsAndSpecialPages(TMirModel& Model, TMirDiaryStore& Store,
                                            std::function<TDiaryTab*()> Diary, QWidget* OptionsHost,
                                            QWidget* SpecialHost) {
  TSettingsPages pages;
  pages.Options = new TOptionsTab(Model, OptionsHost);
  FillHost(OptionsHost, pages.Options);
  pages.Special = new TSpecialTab(Model,
                                  {[&Store, diary = std::move(Diary)](bool linked) {
                                    if (!Store.SwitchDiary(linked)) return false;
                                    diary()->SetDiaryReadOnly(linked);
                                    return true;
                                  }},
                                  SpecialHost);
  FillHost(SpecialHost, pages.Special);
  return pages;
}

TSettingsPages CreateSettingsPages(TMirModel& Model, TMirDiaryStore& Store, const TDiaryTabHooks& DiaryHooks,
                                   QWidget* DiaryHost, QWidget* OptionsHost, QWidget* SpecialHost) {
  TDiaryTab* diary = CreateDiaryPage(Model, DiaryHooks, DiaryHost);
  TSettingsPages pages = CreateOptionsAndSpecialPages(Model, Store, [diary] { return diary; }, OptionsHost, SpecialHost);
  pages.Diary = diary;
  return pages;
}

void TKVMirovaCalendar::CreatePages() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  mainPanel_ = new TKVSkinPanel(this, this);
  mainPanel_->SetName(QStringLiteral("MainPanel"));
  mainPanel_->BevelOuter = bvNone;
  outer->addWidget(mainPanel_);
  auto* v = new QVBoxLayout(mainPanel_);
  pageControl_ = new QTabWidget(mainPanel_);
  pageControl_->setObjectName(QStringLiteral("PageControl1"));
  v->addWidget(pageControl_, 1);
  for (const TPageInfo& p : kPages) {
    auto* page = new QWidget(pageControl_);
    page->setObjectName(QLatin1String(p.Name));
    pageControl_->addTab(page, QString());
  }

  // Cover: the image pack's map inside a bevel.
  QWidget* cover = pageControl_->widget(pgCover);
  coverBevel_ = new QFrame(cover);
  coverBevel_->setObjectName(QStringLiteral("CoverBevel"));
  coverBevel_->setFrameStyle(QFrame::Box | QFrame::Sunken);
  coverMap_ = new TKVSkinMap(this, cover);
  coverMap_->SetName(QStringLiteral("CoverMap"));
  coverMap_->Skin().SetAppSkin(model_->MirPackSkin);
  coverMap_->resize(400, 300);
  coverMap_->OnMapClick.Set([this](TMapArea* a, const QString& n, int i) { MapClick(a, n, i); });
  coverPicture_ = Named(new QLabel(cover), "CoverPicture");
  coverPicture_->hide();
  // The program's own map lies hidden on the page, bound to the application skin.
  kvMap_ = new TKVSkinMap(this, cover);
  kvMap_->SetName(QStringLiteral("KVMap"));
  kvMap_->hide();
  kvMap_->OnMapClick.Set([this](TMapArea* a, const QString& n, int i) { MapClick(a, n, i); });

  const auto richPage = [this](TMirPage page, const char* name) {
    auto* edit = new TKVRichEditOLE(pageControl_->widget(page));
    edit->setObjectName(QLatin1String(name));
    edit->SetReadOnly(true);
    // Texts to read: selectable with the mouse, no caret blinking in them.
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* l = new QVBoxLayout(pageControl_->widget(page));
    l->addWidget(edit);
    return edit;
  };
  CreateStyleTab();
  CreateImagesPage();
  helpEdit_ = richPage(pgHelp, "HelpRichEdit");
  aboutEdit_ = richPage(pgAbout, "AboutRichEdit");
  for (TKVRichEditOLE* edit : {helpEdit_, aboutEdit_})
    edit->OnURLClick.Set([](TKVCustomRichEdit*, const QString& url, Qt::MouseButton button) {
      RunGuarded([&] { RTFURLClick(url, button); });
    });

  // The options and special pages fill their tabs; the diary page comes with the diary.
  const TSettingsPages pages =
      CreateOptionsAndSpecialPages(*model_, *diaryStore_, [this] { return &DiaryPage(); },
                                   pageControl_->widget(pgOptions), pageControl_->widget(pgSpecial));
  optionsTab_ = pages.Options;
  specialTab_ = pages.Special;

  auto* buttons = new QHBoxLayout;
  v->addLayout(buttons);
  const auto button = [this](const char* name, QAction* action) {
    auto* b = new QPushButton(mainPanel_);
    b->setObjectName(QLatin1String(name));
    BindButton(b, action);
    return b;
  };
  buttons->addWidget(button("TrovanaBtn", acts_.Trovana));
  buttons->addStretch(1);
  // Where no tray shows the icon, its menu is reached from here.
  noTrayLabel_ = Named(new QLabel(StripMnemonics(LanguageResource().RSNoTrayHere), mainPanel_), "NoTrayLabel");
  noTrayLabel_->setVisible(false);
  buttons->addWidget(noTrayLabel_);
  trayMenuBtn_ = Named(new QPushButton(MnemonicText(LanguageResource().RSTrayMenu), mainPanel_), "TrayMenuBtn");
  trayMenuBtn_->setMenu(popupMenu_);
  trayMenuBtn_->setVisible(false);
  buttons->addWidget(trayMenuBtn_);
  buttons->addWidget(button("QuickNotesBtn", acts_.OpenQuickNotes));
  buttons->addWidget(button("CloseBtn", acts_.Close));

  connect(pageControl_, &QTabWidget::currentChanged, this, Guarded([this](int) {
            const auto from = TMirPage(shownPage_);
            shownPage_ = pageControl_->currentIndex();
            PageControl1Changing(from);
            PageControl1Change();
          }));
}

void TKVMirovaCalendar::CreateStyleTab() {
  TStyleTabHooks h;
  h.DownloadLayouts = [this] { acts_.Trovana->trigger(); };
  // "actHideNotes" is checked while the working style hides the notes.
  connect(&model_->Changes, &TMirModelChanges::NotesHiddenChanged, acts_.HideNotes, &QAction::setChecked);
  styleTab_ = new TStyleTab(*model_, std::move(h), pageControl_->widget(pgStyle));
  auto* l = new QVBoxLayout(pageControl_->widget(pgStyle));
  l->setContentsMargins(0, 0, 0, 0);
  l->addWidget(styleTab_);
  // The layout download button is there while the companion program is.
  QAction* trovana = acts_.Trovana;
  QPushButton* download = &styleTab_->LayoutDownloadBtn();
  const auto sync = [download, trovana] { download->setEnabled(trovana->isEnabled()); };
  sync();
  connect(trovana, &QAction::changed, download, sync);
}

void TKVMirovaCalendar::CreateImagesPage() {
  TImagesTabHooks h;
  h.ChangeMirova = [this] { acts_.ChangeMirova->trigger(); };
  h.CancelAllModes = [this] {
    if (tray_) tray_->CancelAllModes();
  };
  // A pack without a map text leaves no areas of the one before.
  connect(&model_->Changes, &TMirModelChanges::PackSkinLoading, this, [this] { coverMap_->Areas().Clear(); });
  connect(&model_->Changes, &TMirModelChanges::PackSkinLoaded, this, [this](QSize cover) {
    if (cover.isValid()) coverMap_->resize(cover);
    ownCover_ = !cover.isValid() && model_->Ini->UserImageSet;
    PlaceCoverMap();
  });
  QWidget* tab = pageControl_->widget(pgImages);
  imagesPage_ = new TImagesTab(*model_, std::move(h), tab);
  auto* l = new QVBoxLayout(tab);
  l->setContentsMargins(4, 4, 4, 4);
  l->addWidget(imagesPage_);
  imagesPage_->SetBannerPlace(popupMenu_, popupMenu_->findChild<QAction*>(QStringLiteral("N1")),
                              popupMenu_->findChild<QAction*>(QStringLiteral("N2")));
  imagesPage_->ApplyThumbSize();
}

void TKVMirovaCalendar::ApplyTexts() {
  const TKVLanguageResource& l = LanguageResource();
  for (int i = 0; i < pageControl_->count(); ++i) pageControl_->setTabText(i, MnemonicText(l.*(kPages[i].Text)));
}

TDiaryTab& TKVMirovaCalendar::DiaryPage() {
  if (!diaryTab_) {
    diaryTab_ = CreateDiaryPage(
        *model_, {[this](bool recalc) { model_->RenderCalendar(recalc); }, [this] { return &PrintForm(); }},
        pageControl_->widget(pgDiary));
    diaryTab_->DiaryListPopupMenu()->addAction(acts_.DeleteDiaryEntry);
  }
  return *diaryTab_;
}

TStyleTab* TKVMirovaCalendar::StyleTab() const {
  if (!styleTab_->LayoutScroll().Loaded()) styleTab_->LoadLayouts();
  return styleTab_;
}

TMirPage TKVMirovaCalendar::ActivePage() const { return TMirPage(pageControl_->currentIndex()); }

void TKVMirovaCalendar::SetActivePage(TMirPage page) {
  if (pageControl_->currentIndex() == page) {
    PageControl1Change();
    return;
  }
  pageControl_->setCurrentIndex(page);  // runs the page change
}

bool TKVMirovaCalendar::SettingsOpen() const { return mainPanel_->isVisibleTo(this); }

bool TKVMirovaCalendar::InitializeMainForm() {
  TMirModel& m = *model_;
  m.SetBusy(true);
  formState_->RegKey = kSettingsKey;
  formState_->LoadState();
  optionsTab_->InitializePage();
  specialTab_->InitializePage();
  m.Rotation->BackgroundPath = ExeDir + kBackgroundFileName;
  m.Render.TaskbarHeight = ::TaskbarHeight();
  imageForm_->BackgroundPath = m.Rotation->BackgroundPath;
  acts_.StartMirScreenSaver->setVisible(QFileInfo(m.Ini->ScrSaverExe).isFile());
  acts_.AutoStartup->setChecked(m.Ini->AutoStartup);
  const std::array<bool*, 3> startup = StartupFlags(*m.Ini);
  for (int i = 0; i < 3; ++i) {
    acts_.Startup()[i]->setEnabled(m.Ini->AutoStartup);
    acts_.Startup()[i]->setChecked(*startup[i]);
  }
  // Labels without a background are a matter of the desktop here: the command stays hidden.
  acts_.DesktopIconTransparent->setVisible(false);
  acts_.DesktopIconTransparent->setChecked(m.Ini->TransparentIcons);
  acts_.HideNotes->setChecked(!m.Ini->ShowNotes);
  // Without the companion program its commands have nothing to start.
  acts_.Trovana->setEnabled(TrovanaAvailable());
  styleTab_->ShowNotesSetting();
  // The chosen layout is read straight from its text; the list's panels come after the background.
  styleTab_->DefaultSettings();
  styleTab_->FitCalendarFont();
  imagesPage_->ShowSettings();
  imagesPage_->LoadImageSets();
  if (m.NoImageSets) return false;
  imagesPage_->ResTitlesChange();

  // The calendar shows diary entries only in some notes modes, and then only those of the days
  // it shows: they are read ahead from the file (on a thread begun when the form was made), the
  // background is applied, and the diary, however large, is read whole after it. A linked diary,
  // or an own one that cannot be read ahead, is read whole first.
  const bool calendarShowsDiary = DiaryNotesShown(m.Ini->ShowNotes, m.Ini->ShowNotesOptions);
  const auto [firstDay, lastDay] = DaysShown();
  LoadQuickNotes(m);
  optionsTab_->LoadHolidays();
  FillReminderItems();
  // As late as the background allows: the read ahead goes on meanwhile.
  if (CalendarShowsOwnDiary(*m.Ini)) m.DiaryDaysAhead = diaryStore_->DaysAhead(firstDay, lastDay);
  const bool diaryFirst = calendarShowsDiary && !m.DiaryDaysAhead;
  // The diary page is made and bound to the notebook just before the diary is read: the first
  // background waits for it only when it waits for the diary.
  const auto loadDiary = [&] {
    TDiaryTab& diary = DiaryPage();
    diary.InitializePage();
    diaryStore_->LoadDiary();
    // A linked diary is read-only from the first moment.
    diary.SetDiaryReadOnly(m.Ini->NotavelDiary);
  };
  if (diaryFirst) loadDiary();

  // What the end of an earlier session could not save was kept elsewhere: the user is told where,
  // beside the window, each start until it is dealt with.
  if (const QStringList rescued = RescuedFiles(); !rescued.isEmpty())
    QTimer::singleShot(0, this, [folder = QFileInfo(rescued.first()).absolutePath()] {
      KVNotice(Format(LanguageResource().RSKeptInstead,
                      {QDir::toNativeSeparators(folder), QDir::toNativeSeparators(ExeDir)}),
               QString(), IDI_WARNING_ICON);
    });

  m.Ini->CommitStyle();
  // While busy the tick only keeps the period and arms the timer.
  m.Rotation->AppTimerTimer();
  m.SetBusy(false);
  acts_.ChangeMirova->trigger();
  if (!diaryFirst) {
    const std::optional<QHash<QString, QString>> ahead = std::exchange(m.DiaryDaysAhead, std::nullopt);
    loadDiary();
    // The whole load took other texts for those days (it refused a diary too dense to read, say):
    // the background shows the diary the program holds.
    bool same = true;
    for (QDate d = firstDay; ahead && same && d <= lastDay; d = d.addDays(1))
      same = TMirModel::FindDiaryEntry(*ahead, DateKey(d)) == m.FindDiaryEntry(DateKey(d));
    if (!same) acts_.ChangeMirova->trigger();
  }
  // What the first background does not need. The layout list (every layout's preview) waits for
  // the Calendar Style page.
  PrintForm();
  QuickNotesForm();
  CheckTrovanaReminder();
  return true;
}

void TKVMirovaCalendar::FillReminderItems() {
  auto* reminders = popupMenu_->findChild<QMenu*>(QStringLiteral("EditReminders1"));
  reminders->clear();
  const TMEventBase& events = *model_->Events;
  for (int i = 0; i < events.Data().Count(); ++i) {
    const TKVXBEventItem& item = *events.Data()[i];
    QAction* a = reminders->addAction(EventItemCaption(item));
    a->setCheckable(true);
    a->setChecked(item.Enabled);
    // No reminder command exists: the items only show what is stored.
    a->setEnabled(false);
  }
  // An empty submenu would open onto nothing.
  reminders->setEnabled(!reminders->isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Pages and their sizes

void TKVMirovaCalendar::ApplyPageSize() {
  if (ActivePage() == pgDiary) {
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    return;
  }
  if (isMaximized()) showNormal();
  setMinimumSize(fixedSize_);
  setMaximumSize(fixedSize_);
  resize(fixedSize_);
}

void TKVMirovaCalendar::PageControl1Changing(TMirPage from) {
  PageChanging = true;
  const auto done = qScopeGuard([this] { PageChanging = false; });
  if (from == pgDiary) {
    formState_->StoreBounds();
    if (!model_->Busy()) model_->Ini->DiarySplit = DiaryPage().LeftPanelWidth();
    if (isMaximized()) showNormal();
  }
  // What the style page still has to draw is drawn before another page may apply it.
  if (from == pgStyle) styleTab_->FlushRedraw();
  if (from == pgOptions && HolidaysModified) {
    optionsTab_->ApplyHolidays();
    model_->RenderCalendar(false);
    if (!model_->FullScreenVisible()) acts_.SaveMirova->trigger();
  }
}

void TKVMirovaCalendar::PageControl1Change() {
  const TMirPage page = ActivePage();
  ApplyPageSize();
  switch (page) {
    case pgCover:
      PlaceCoverMap();
      break;
    case pgDiary: {
      if (model_->Render.Dirty) acts_.SaveMirova->trigger();
      if (imageForm_->isVisible()) imageForm_->close();
      formState_->ApplyBounds();
      TDiaryTab& diary = DiaryPage();
      diary.SetLeftPanelWidth(model_->Ini->DiarySplit);
      diary.UpdateTodayLabel();
      diary.EditorFocus();
      break;
    }
    case pgImages:
      if (imagesPage_->ImageSetFilesChanged()) {
        imagesPage_->LoadImageSets();
        imagesPage_->ResTitlesChange();
      }
      [[fallthrough]];
    case pgStyle:
      if (page == pgStyle && styleTab_->LayoutFilesChanged()) styleTab_->LoadLayouts();
      if (SettingsOpen() && !imageForm_->isVisible()) {
        imageForm_->show();
        raise();
        activateWindow();
      }
      break;
    case pgOptions:
      HolidaysModified = false;
      break;
    case pgHelp:
    case pgAbout:
      ShowBuiltinText(page);
      break;
    default:
      break;
  }
}

void TKVMirovaCalendar::ShowBuiltinText(TMirPage page) {
  bool& loaded = page == pgHelp ? helpLoaded_ : aboutLoaded_;
  if (loaded || !MLang) return;
  loaded = true;
  QByteArray data = (page == pgHelp ? MLang->HelpStream : MLang->AboutStream).Bytes();
  QBuffer b(&data);
  b.open(QIODevice::ReadOnly);
  (page == pgHelp ? helpEdit_ : aboutEdit_)->Lines().LoadFromStream(b);
}

void TKVMirovaCalendar::PlaceCoverMap() {
  ShowOwnCover();
  QWidget* shown = ownCover_ ? static_cast<QWidget*>(coverPicture_) : coverMap_;
  QWidget* parent = shown->parentWidget();
  shown->move(std::max(0, (parent->width() - shown->width()) / 2), std::max(0, (parent->height() - shown->height()) / 2));
  coverBevel_->setGeometry(shown->geometry().adjusted(-1, -1, 1, 1));
  coverBevel_->setVisible(!ownCover_ || !coverPicture_->isHidden());
}

void TKVMirovaCalendar::ShowOwnCover() {
  coverMap_->setVisible(!ownCover_);
  if (!ownCover_) {
    coverPicture_->hide();
    coverPictureKey_.clear();
    return;
  }
  const std::vector<TMSetPicture>& pictures = model_->ImageSet->Pictures();
  const QString key = pictures.empty() ? QString() : pictures.front().Key;
  if (key != coverPictureKey_ || key.isEmpty()) {
    coverPictureKey_ = key;
    QImage picture;
    const QSize box(400, 300);
    try {
      if (!key.isEmpty()) picture = LoadPictureFromFile(key, box);
    } catch (const std::exception&) {
      picture = QImage();
    }
    if (picture.width() > box.width() || picture.height() > box.height())
      picture = picture.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    coverPicture_->setPixmap(QPixmap::fromImage(picture));
    coverPicture_->resize(picture.size());
  }
  coverPicture_->setVisible(!coverPicture_->pixmap().isNull());
}

void TKVMirovaCalendar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (ActivePage() == pgCover) PlaceCoverMap();
  if (ActivePage() == pgDiary && !PageChanging) DiaryPage().FitLeftPanel();
}

void TKVMirovaCalendar::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Only the diary page grows with the window; maximising is refused elsewhere.
  if (event->type() == QEvent::WindowStateChange && isMaximized() && ActivePage() != pgDiary)
    QMetaObject::invokeMethod(this, [this] { showNormal(); }, Qt::QueuedConnection);
}

void TKVMirovaCalendar::closeEvent(QCloseEvent* event) {
  RunGuarded([this] { FormCloseQuery(); });
  // The window only hides; the program keeps running in the tray.
  event->accept();
}

// ---------------------------------------------------------------------------------------------
// Actions

void TKVMirovaCalendar::actOpenExecute() {
  if (SettingsOpen()) {
    ForceForegroundWindow(this);
    return;
  }
  mainPanel_->setVisible(true);
  imageForm_->SetPopupMenuEnabled(false);
  tray_->RestoreFromTray();
  ForceForegroundWindow(this);
  PageControl1Change();
}

void TKVMirovaCalendar::actOpenDiaryExecute() {
  DiaryPage().ShowToday();
  SetActivePage(pgCover);
  actOpenExecute();
}

void TKVMirovaCalendar::actOpenQuickNotesExecute() { hooks_.ShowQuickNotes(); }

void TKVMirovaCalendar::actHelpExecute() {
  SetActivePage(pgHelp);
  actOpenExecute();
}

void TKVMirovaCalendar::actAboutExecute() {
  SetActivePage(pgAbout);
  actOpenExecute();
}

void TKVMirovaCalendar::actCloseExecute() {
  {
    // OK always closes the window: a step that fails is told (the error policy) and the rest
    // runs; what could not be saved, the drawing's files included, is told once, over the window.
    const TSaveReport report;
    RunGuarded([this] {
      styleTab_->CancelRedraw();  // the drawing below covers it
      model_->Ini->CommitStyle();
    });
    if (ActivePage() == pgDiary)
      RunGuarded([this] {
        formState_->StoreBounds();
        model_->Ini->DiarySplit = DiaryPage().LeftPanelWidth();
      });
    actSaveExecute();
    acts_.ChangeMirova->trigger();
  }
  mainPanel_->setVisible(false);
  hide();
  if (imageForm_->isVisible()) imageForm_->close();
  model_->ReleaseDrawingMemory();
}

void TKVMirovaCalendar::actSaveExecute() {
  // Every step runs, whatever failed before it; the files that could not be saved are told
  // together in one box at the end.
  const TSaveReport report;
  RunGuarded([this] { model_->ImageSet->UpdateSelection(true); });
  // The diary is written on the saving thread: the window does not wait for the disk.
  RunGuarded([this] { diaryStore_->SaveDiary(false); });
  RunGuarded([this] { optionsTab_->SaveHolidays(); });
  RunGuarded([this] { model_->Ini->SaveSettings(); });
  RunGuarded([this] { formState_->SaveState(); });
  RunGuarded([this] { model_->ImageSet->Save(); });
  model_->SaveFailed = report.Lost();
}

void TKVMirovaCalendar::SaveBeforeEnd() {
  if (SettingsOpen()) actCloseExecute();
  // What an earlier OK could not save is tried again.
  else if (model_->SaveFailed) actSaveExecute();
}

void TKVMirovaCalendar::actExitExecute() {
  QList<TSaveFailure> unsaved;
  {
    TSaveReport report;
    RunGuarded([this] { SaveBeforeEnd(); });
    // The diary may still be on its way to the disk: whether it got there decides the question.
    RunGuarded([this] { diaryStore_->WaitForSaves(); });
    unsaved = LostFailures(report.Take());
  }
  // With changes that could not be saved the user may keep the program running; otherwise it
  // ends, also when OK could not do all it should.
  if (!unsaved.isEmpty() &&
      KVMessageBox(SaveFailureText(unsaved) + QStringLiteral("\n\n") + LanguageResource().RSExitUnsaved, QString(),
                   IDI_WARNING_ICON, 1, ButtonsYesNo) != ResultYes)
    return;
  hooks_.Terminate();
}

void TKVMirovaCalendar::FormCloseQuery() {
  if (SettingsOpen()) actCloseExecute();
}

void TKVMirovaCalendar::SessionEnd() {
  QList<TSaveFailure> unsaved;
  {
    TSaveReport report;
    // What the quick-notes window holds is kept as its OK keeps it; then the settings window's OK.
    if (quickNotes_ && quickNotes_->isVisible()) RunGuarded([this] { quickNotes_->OKBtnClick(); });
    RunGuarded([this] { SaveBeforeEnd(); });
    RunGuarded([this] { diaryStore_->WaitForSaves(); });
    unsaved = LostFailures(report.Take());
  }
  // Nobody can be asked now: what could not be saved is kept where it can be written.
  if (!unsaved.isEmpty()) RunGuarded([this, &unsaved] { diaryStore_->KeepUnsaved(unsaved); });
}

void TKVMirovaCalendar::SaveSettingsWhenHidden() {
  if (!SettingsOpen()) model_->Ini->SaveSettings();
}

void TKVMirovaCalendar::actAutoStartupExecute() {
  Tini& ini = *model_->Ini;
  {
    TKVRegistry reg;
    if (!reg.OpenKey(QLatin1Char('\\') + RunKeyPath(), true)) {
      acts_.AutoStartup->setChecked(ini.AutoStartup);
      return;
    }
    if (!ini.AutoStartup) reg.WriteString(kRunValueName, Tini::RunCommand());
    else reg.DeleteValue(kRunValueName);
  }
  ini.AutoStartup = !ini.AutoStartup;
  acts_.AutoStartup->setChecked(ini.AutoStartup);
  for (QAction* a : acts_.Startup()) a->setEnabled(ini.AutoStartup);
  ini.SaveSettings();
}

void TKVMirovaCalendar::actStartupOptionExecute(int which) {
  const std::array<bool*, 3> flags = StartupFlags(*model_->Ini);
  for (int i = 0; i < 3; ++i) {
    if (i == which) continue;
    *flags[i] = false;
    acts_.Startup()[i]->setChecked(false);
  }
  *flags[which] = !*flags[which];
  acts_.Startup()[which]->setChecked(*flags[which]);
  SaveSettingsWhenHidden();
}

void TKVMirovaCalendar::actStartScreenSaverExecute() { hooks_.StartScreenSaver(); }

void TKVMirovaCalendar::actStartMirScreenSaverExecute() {
  const QString exe = model_->Ini->ScrSaverExe;
  if (QFileInfo(exe).isFile() && hooks_.StartProgram(exe, {QStringLiteral("-s")})) return;
  KVMessageBox(LanguageResource().RSSNotInstalled.arg(QStringLiteral("Kel Voro Mirova Calendar Screen Saver")),
               QString(), IDI_WARNING_ICON, 0, ButtonsOK);
}

void TKVMirovaCalendar::actHideIconsExecute() {
  if (SettingsOpen()) actCloseExecute();
  imageForm_->SetPopupMenuEnabled(true);
  imageForm_->show();
  imageForm_->raise();
  imageForm_->activateWindow();
}

void TKVMirovaCalendar::actRestoreIconsExecute() {
  if (!imageForm_->isVisible() || SettingsOpen()) return;
  imageForm_->close();
  model_->ReleaseDrawingMemory();
}

void TKVMirovaCalendar::actDesktopIconTransparentExecute() {
  Tini& ini = *model_->Ini;
  ini.TransparentIcons = !ini.TransparentIcons;
  acts_.DesktopIconTransparent->setChecked(ini.TransparentIcons);
  if (ini.TransparentIcons) MakeDesktopIconLabelsTransparent();
  else RestoreDesktopIconLabels();
  SaveSettingsWhenHidden();
}

void TKVMirovaCalendar::actHideNotesExecute() {
  Tini& ini = *model_->Ini;
  const bool old = ini.ShowNotes;
  ini.ShowNotes = !old;
  acts_.HideNotes->setChecked(old);
  if (!old && ini.ShowNotesOptions == 3) styleTab_->ChooseNotesMode(0);
  else model_->RenderCalendar(true);
  if (!model_->FullScreenVisible()) {
    acts_.SaveMirova->trigger();
    SaveSettingsWhenHidden();
  }
}

void TKVMirovaCalendar::actTrovanaExecute() {
  if (SettingsOpen()) actCloseExecute();
  StartTrovana();
}

void TKVMirovaCalendar::TrayTerminate() { actExitExecute(); }

void TKVMirovaCalendar::NoTrayFound() {
  noTrayLabel_->setVisible(true);
  trayMenuBtn_->setVisible(true);
  const TKVLanguageResource& l = LanguageResource();
  hooks_.NoTrayNotice(l.RSNoTrayTitle, l.RSNoTray);
}

void TKVMirovaCalendar::MapClick(TMapArea*, const QString& AreaName, int) {
  if (AreaName == QLatin1String("trovana")) acts_.Trovana->trigger();
}

void TKVMirovaCalendar::WMTimeChange() { model_->Rotation->WMTimeChange(); }
