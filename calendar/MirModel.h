#pragma once
// What the main form owns and every page shares: the settings, the layout, the pack's settings
// and skins, the documents, the diary notebook, the current image set with its pictures,
// the render state and the rotation. Widget-free, so pages and start-up are testable without
// a window. The components are owned by the form component given (the skin bindings take their
// form's name from it); the model frees them itself, in the order the form's destroy handler
// frees them, so it must go before the form's component tree does.
#include <QDate>
#include <QHash>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "calendar/MirData.h"
#include "calendar/MirRender.h"
#include "calendar/MirRotation.h"

class TAppSkin;
class TComponent;
class TLayoutIni;
class TMDiaryBase;
class TMEventBase;
class TMHolidayBase;
class TMIconBase;
class TMNotesBase;
class TMirImageSet;
class TMirovaIni;
class TNbModule;
class Tini;

// The component name of the main form, which image packs' form texts are keyed by.
extern const QString kMainFormName;

// What the windows lend the model.
struct TMirModelHooks {
  // The full-screen view is shown; the settings window is open (false, false).
  std::function<bool()> FullScreenVisible;
  std::function<bool()> SettingsVisible;
  // Everything the rotation needs beyond the model (clocks, random, desktop, report); the model
  // fills its window-state and drawing hooks itself.
  TMirRotationHooks Rotation;
  // The screen in physical pixels (the primary screen).
  std::function<QSize()> ScreenSize;
};

// What the model announces about the documents it holds; the pages subscribe. Nothing in the
// model knows a window.
class TMirModelChanges : public QObject {
  Q_OBJECT
 signals:
  // The diary's entries were replaced or are titled differently: lists show them all again.
  void DiaryListChanged();
  // A diary was loaded into the notebook (own or linked), after its list was shown.
  void DiaryLoaded();
  // The quick notes were loaded into the notes document.
  void QuickNotesLoaded();
  // A holiday row was selected, added, edited or deleted.
  void HolidaysEdited();
  // An image set's skin is about to fill the pack skin (again, with the defaults, after a damaged
  // one): what the skin fills by name is emptied first.
  void PackSkinLoading();
  // The skin is loaded; Cover is the size of its cover picture (image 0 of its first strip),
  // invalid when it has none.
  void PackSkinLoaded(QSize Cover);
  // An image set was loaded: its pictures, their order, checks and thumbnails are new.
  void ImageSetLoaded();
  // The checked pictures changed and the current picture is another one, or there is none: the
  // preview is due.
  void CurrentPictureChanged();
  // The working style's notes were hidden or shown (the Calendar Style page).
  void NotesHiddenChanged(bool Hidden);
};

class TMirModel {
 public:
  // Form: the main form's component (named kMainFormName, a form).
  explicit TMirModel(TComponent& Form, TMirModelHooks Hooks = {});
  TMirModel(const TMirModel&) = delete;
  TMirModel& operator=(const TMirModel&) = delete;
  ~TMirModel();

  TComponent& Form;
  TMirModelChanges Changes;
  // The skin of the current image pack (its texts fill Ini's pack colours, PackIni and the
  // cover map) and of the layout packs.
  TAppSkin* MirPackSkin = nullptr;
  TAppSkin* LayoutSkin = nullptr;
  Tini* Ini = nullptr;            // "ini"
  TLayoutIni* Layout = nullptr;   // "Lini"
  TMirovaIni* PackIni = nullptr;  // "MirPackIni"
  TMirovaHeaderObject Header;
  TMDiaryBase* Diary = nullptr;        // "DiaryBase"
  TMNotesBase* Notes = nullptr;        // "NotesBase"
  TMHolidayBase* Holidays = nullptr;   // "HolidayBase"
  TMIconBase* Icons = nullptr;         // "IconBase"
  TMEventBase* Events = nullptr;       // "EventBase"
  TNbModule* NbDiary = nullptr;        // "NbDiary": the diary entries, keyed "yyyy/MM/dd"
  // The set list and the current image set: its pictures, order, checks, thumbnails and side files.
  std::unique_ptr<TMirImageSet> ImageSet;
  // The checked pictures of the current set in display order (kept by ImageSet): pack picture
  // numbers as decimal text, or file paths of an own set.
  QStringList UsedImages;
  // The layout-pack files last listed (sorted), to notice changes.
  QStringList LayoutPackFiles;
  // No image set exists (start-up stops after telling so).
  bool NoImageSets = false;
  // Something of the user's could not be saved by the last save-all or the quick notes' OK:
  // Exit and the session's end try again before the program ends.
  bool SaveFailed = false;
  TRenderState Render;
  std::unique_ptr<TMirRotation> Rotation;

  bool Busy() const { return Render.Busy; }
  void SetBusy(bool On) { Render.Busy = On; }
  bool FullScreenVisible() const;
  bool SettingsVisible() const;

  // Draws the calendar into the preview from the model's state; false while busy.
  bool RenderCalendar(bool RecalcLayout);
  // The inputs of a drawing now (tests and benchmarks adjust them).
  TRenderInputs Inputs() const;
  void DropPicture() { Render.DropPicture(); }
  // Frees what drawing keeps (preview, spare bitmap, picture, notes panels) and gives the freed
  // memory back to the system: the tray needs none of it until the next drawing.
  void ReleaseDrawingMemory();
  // The diary entry's rich text under a date key; nothing when there is none or it is empty.
  std::optional<QString> FindDiaryEntry(const QString& Key) const;
  // Until the diary is loaded whole: the entries of the days the calendar shows, read ahead
  // (ReadDiaryDays). While set, FindDiaryEntry answers from them.
  std::optional<QHash<QString, QString>> DiaryDaysAhead;
  // The entry under Key among entries read ahead, by the rule of FindDiaryEntry.
  static std::optional<QString> FindDiaryEntry(const QHash<QString, QString>& Days, const QString& Key);

 private:
  TMirModelHooks hooks_;
};
