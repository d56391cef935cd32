#pragma once
// The main form: hidden in the tray most of the time, it doubles as the settings window. It owns
// the calendar model, the actions every menu and button share, the tray menu, the page control
// with its eight pages and their size rules, and the full-screen view; it runs the start-up
// initialisation and the ways the program is closed, saved and ended.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "calendar/MirModel.h"
#include "foundation/KVApps.h"
#include "foundation/KVControls.h"

class QAction;
class QMenu;
class QPushButton;
class QTabWidget;
class QFrame;
class QLabel;
class TImagesTab;
class TKVRichEditOLE;
class TKVSkinMap;
class TKVSkinPanel;
class TMapArea;
class TDiaryTab;
class TMirDiaryStore;
class TMirImageForm;
class TOptionsTab;
class TPrintForm;
class TSpecialTab;
class TQuickNotesForm;
class TStyleTab;
class TMirModel;
struct TDiaryTabHooks;

// The Diary, Options and Special pages of the settings window, each filling its Host (a layout is
// made for a host that has none); the Special page's diary switch goes through Store and leaves
// the Diary page read-only for a linked diary. The settings window and the page tests build them
// here; the pages follow the model's Changes themselves.
struct TSettingsPages {
  TDiaryTab* Diary = nullptr;
  TOptionsTab* Options = nullptr;
  TSpecialTab* Special = nullptr;
};
TSettingsPages CreateSettingsPages(TMirModel& Model, TMirDiaryStore& Store, const TDiaryTabHooks& DiaryHooks,
                                   QWidget* DiaryHost, QWidget* OptionsHost, QWidget* SpecialHost);
// The same in two steps, for a window that makes its Diary page later: the Diary page alone, and
// the Options and Special pages, whose diary switch asks Diary for the Diary page.
TDiaryTab* CreateDiaryPage(TMirModel& Model, const TDiaryTabHooks& DiaryHooks, QWidget* DiaryHost);
TSettingsPages CreateOptionsAndSpecialPages(TMirModel& Model, TMirDiaryStore& Store,
                                            std::function<TDiaryTab*()> Diary, QWidget* OptionsHost,
                                            QWidget* SpecialHost);

// The application title: names the instance lock and is the window caption.
extern const QString kApplicationTitle;

// What the program lends the main form; empty hooks get the defaults named.
struct TMirMainHooks {
  TMirModelHooks Model;
  // Ends the message loop (QCoreApplication::quit).
  std::function<void()> Terminate;
  // The quick-notes window: shown, and showing it in front (the form's own window).
  std::function<bool()> QuickNotesVisible;
  std::function<void()> ShowQuickNotes;
  // The desktop's screen saver (StartScreenSaver).
  std::function<void()> StartScreenSaver;
  // Starts a program with an argument vector; false when it cannot start (KVLaunch).
  std::function<bool(const QString& Program, const QStringList& Arguments)> StartProgram;
  // Tells the user once that no tray shows the icon: a desktop notification, else, when no window
  // of the program is on the screen, a box that takes no keyboard.
  std::function<void(const QString& Summary, const QString& Text)> NoTrayNotice;
};

enum TMirPage { pgCover = 0, pgDiary, pgImages, pgStyle, pgOptions, pgSpecial, pgHelp, pgAbout };

// The form's commands, made once; the tray menu, the buttons and the keys share them. Each is
// also found by its object name ("actOpen", ...), as the start-up action names it.
struct TMirActions {
  QAction *Open{}, *OpenDiary{}, *OpenQuickNotes{}, *Help{}, *About{}, *Close{}, *Save{}, *Exit{};
  QAction *ChangeMirova{}, *SaveMirova{};
  QAction *AutoStartup{}, *StartupHideIcons{}, *StartupOpenDiary{}, *StartupOpenQuickNotes{};
  QAction *StartScreenSaver{}, *StartMirScreenSaver{}, *HideIcons{}, *RestoreIcons{}, *DesktopIconTransparent{};
  QAction *HideNotes{}, *Trovana{}, *DeleteDiaryEntry{}, *Power{};
  // The three start-up choices, in the order of the settings' flags.
  std::array<QAction*, 3> Startup() const { return {StartupHideIcons, StartupOpenDiary, StartupOpenQuickNotes}; }
};

class TKVMirovaCalendar : public TKVForm {
  Q_OBJECT
 public:
  explicit TKVMirovaCalendar(TMirMainHooks Hooks = {}, TKVTray::THooks TrayHooks = {});
  ~TKVMirovaCalendar() override;

  TMirModel& Model() { return *model_; }
  const TMirActions& Actions() const { return acts_; }
  // The one action of that name; raises EKVError for a name the form does not have.
  QAction* Action(const char* Name) const;
  QMenu* PopupMenu() const { return popupMenu_; }
  TKVTray& Tray() { return *tray_; }
  TKVFormState& FormState() { return *formState_; }
  TKVSkinMap* CoverMap() const { return coverMap_; }
  TKVSkinPanel* MainPanel() const { return mainPanel_; }
  // The quick-notes window and the print options dialog the windows share; made when first
  // needed, at the latest once start-up has applied the first background.
  TQuickNotesForm& QuickNotesForm();
  TPrintForm& PrintForm();
  TMirImageForm* MirImageForm() const { return imageForm_; }
  // The Calendar Style page, its layout list loaded (otherwise loaded when the page is entered).
  TStyleTab* StyleTab() const;
  TImagesTab* ImagesPage() const { return imagesPage_; }
  QTabWidget* PageControl() const { return pageControl_; }
  // The diary, options and special pages, and the diary's store. The diary page is made when
  // start-up reads the diary, after the first background unless that shows the diary, or when
  // it is first needed before.
  TDiaryTab& DiaryPage();
  TOptionsTab& OptionsPage() const { return *optionsTab_; }
  TSpecialTab& SpecialPage() const { return *specialTab_; }
  TMirDiaryStore& DiaryStore() const { return *diaryStore_; }
  TMirPage ActivePage() const;
  void SetActivePage(TMirPage Page);

  // The start-up initialisation; false when the program must end (no image set).
  bool InitializeMainForm();

  // The settings window is open (its main panel is shown).
  bool SettingsOpen() const;
  bool PageChanging = false;
  bool HolidaysModified = false;
  // The window's size on every page but the diary (the start-up size).
  QSize FixedSize() const { return fixedSize_; }

  // Handlers of the actions.
  void actOpenExecute();
  void actOpenDiaryExecute();
  void actOpenQuickNotesExecute();
  void actHelpExecute();
  void actAboutExecute();
  void actCloseExecute();
  void actSaveExecute();
  // OK (or the failed save again), then the end; with changes that could not be saved it asks
  // first, and the program keeps running when the user says No.
  void actExitExecute();
  void actAutoStartupExecute();
  void actStartupOptionExecute(int Which);
  void actStartScreenSaverExecute();
  void actStartMirScreenSaverExecute();
  void actHideIconsExecute();
  void actRestoreIconsExecute();
  void actDesktopIconTransparentExecute();
  void actHideNotesExecute();
  void actTrovanaExecute();
  // The close box: OK when the settings are open.
  void FormCloseQuery();
  // The session ends (log-off, a terminate signal): the open quick notes are kept as by their
  // OK, then FormCloseQuery (or a save-all when the last one failed). What still cannot be saved
  // is kept where it can be written (TMirDiaryStore::KeepUnsaved).
  void SessionEnd();
  // The system clock was set.
  void WMTimeChange();
  // The tray's terminate request from another copy: Exit.
  void TrayTerminate();
  // No tray took the icon after start-up: the settings window offers the tray menu and says so
  // (until a tray shows the icon), and the user is told once.
  void NoTrayFound();
  // A click on an area of the cover map.
  void MapClick(TMapArea* Area, const QString& AreaName, int AreaIndex);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateActions();
  void CreateTrayMenu();
  void CreatePages();
  void CreateStyleTab();
  void CreateImagesPage();
  void ApplyTexts();
  // One item under Edit Reminders for each stored event.
  void FillReminderItems();
  void PageControl1Changing(TMirPage From);
  void PageControl1Change();
  // The help or about text, read into its page when the page is first shown.
  void ShowBuiltinText(TMirPage Page);
  void PlaceCoverMap();
  // An own set's skin has no cover: its first picture is shown in its place.
  void ShowOwnCover();
  void ApplyPageSize();
  void SaveSettingsWhenHidden();
  // OK when the settings are open, else a save-all when the last one failed.
  void SaveBeforeEnd();

  TMirMainHooks hooks_;
  TMirActions acts_;
  std::unique_ptr<TMirModel> model_;
  TKVSkinPanel* mainPanel_ = nullptr;
  QTabWidget* pageControl_ = nullptr;
  QFrame* coverBevel_ = nullptr;
  TKVSkinMap* coverMap_ = nullptr;
  QLabel* coverPicture_ = nullptr;
  QString coverPictureKey_;
  bool ownCover_ = false;
  TKVSkinMap* kvMap_ = nullptr;
  TKVTray* tray_ = nullptr;
  std::unique_ptr<TKVFormState> formState_;
  TImagesTab* imagesPage_ = nullptr;
  std::unique_ptr<TPrintForm> printForm_;
  std::unique_ptr<TQuickNotesForm> quickNotes_;
  std::unique_ptr<TMirDiaryStore> diaryStore_;
  TDiaryTab* diaryTab_ = nullptr;
  TOptionsTab* optionsTab_ = nullptr;
  TSpecialTab* specialTab_ = nullptr;
  TKVRichEditOLE* helpEdit_ = nullptr;
  TKVRichEditOLE* aboutEdit_ = nullptr;
  bool helpLoaded_ = false, aboutLoaded_ = false;
  QMenu* popupMenu_ = nullptr;
  QPushButton* trayMenuBtn_ = nullptr;
  QLabel* noTrayLabel_ = nullptr;
  TMirImageForm* imageForm_ = nullptr;
  TStyleTab* styleTab_ = nullptr;
  QSize fixedSize_;
  int shownPage_ = pgCover;
};
