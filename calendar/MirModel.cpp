#include "calendar/MirModel.h"

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirImageSet.h"
#include "calendar/MirNotes.h"
#include "calendar/iniData.h"
#include "controls/KVNbModule.h"
#include "foundation/KVSkin.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVXSkin.h"

const QString kMainFormName = QStringLiteral("KVMirovaCalendar");

namespace {

template <class T>
T* Named(TComponent& owner, const char* name) {
  auto* c = new T(&owner);
  c->SetName(QLatin1String(name));
  return c;
}

template <class T>
void Free(T*& c) {
  delete c;
  c = nullptr;
}

}  // namespace

TMirModel::TMirModel(TComponent& form, TMirModelHooks hooks) : Form(form), hooks_(std::move(hooks)) {
  // An empty size lets the renderer ask the primary screen.
  if (!hooks_.ScreenSize) hooks_.ScreenSize = [] { return QSize(); };
  if (!hooks_.FullScreenVisible) hooks_.FullScreenVisible = [] { return false; };
  if (!hooks_.SettingsVisible) hooks_.SettingsVisible = [] { return false; };
  MirPackSkin = Named<TAppSkin>(Form, "MirPackSkin");
  LayoutSkin = Named<TAppSkin>(Form, "LayoutSkin");
  Ini = Named<Tini>(Form, "ini");
  Ini->Skin().SetAppSkin(MirPackSkin);
  Diary = Named<TMDiaryBase>(Form, "DiaryBase");
  Notes = Named<TMNotesBase>(Form, "NotesBase");
  Holidays = Named<TMHolidayBase>(Form, "HolidayBase");
  Icons = Named<TMIconBase>(Form, "IconBase");
  Events = Named<TMEventBase>(Form, "EventBase");
  Layout = Named<TLayoutIni>(Form, "Lini");
  Layout->Skin().SetAppSkin(LayoutSkin);
  PackIni = Named<TMirovaIni>(Form, "MirPackIni");
  PackIni->Skin().SetAppSkin(MirPackSkin);
  NbDiary = Named<TNbModule>(Form, "NbDiary");
  ImageSet = std::make_unique<TMirImageSet>(*this);
  Render.Busy = true;

  TMirRotationHooks r = hooks_.Rotation;
  r.Busy = [this] { return Render.Busy; };
  r.FullScreenVisible = [this] { return FullScreenVisible(); };
  r.SettingsVisible = [this] { return SettingsVisible(); };
  r.UsedImageCount = [this] { return int(UsedImages.size()); };
  r.DropPicture = [this] { DropPicture(); };
  r.RenderCalendar = [this](bool recalc) { RenderCalendar(recalc); };
  r.LastRenderDate = [this] { return Render.LastRenderDate; };
  r.PreviewBitmap = [this] { return Render.Preview.Image(); };
  r.ReleasePreview = [this] { ReleaseDrawingMemory(); };
  r.ClearDirty = [this] { Render.Dirty = false; };
  r.RebuildHolidayIndex = [this] { Holidays->RebuildIndex(); };
  Rotation = std::make_unique<TMirRotation>(*Ini, std::move(r));
  Render.FirstDayOfWeek = Rotation->FirstDayOfWeek;
}

TMirModel::~TMirModel() {
  Rotation.reset();
  ImageSet.reset();
  Render.DropPicture();
  Free(NbDiary);
  Free(Ini);
  Free(Layout);
  Free(Notes);
  Free(Holidays);
  Free(Events);
  Free(Icons);
  Free(PackIni);
  Free(Diary);
  Free(LayoutSkin);
  Free(MirPackSkin);
}

void TMirModel::ReleaseDrawingMemory() {
  Render.ReleaseMemory();
  // Screen-sized blocks freed below the allocator's mapping threshold stay in its heap otherwise.
  KVGiveBackFreedMemory();
}

bool TMirModel::FullScreenVisible() const { return hooks_.FullScreenVisible(); }
bool TMirModel::SettingsVisible() const { return hooks_.SettingsVisible(); }

std::optional<QString> TMirModel::FindDiaryEntry(const QHash<QString, QString>& Days, const QString& Key) {
  const auto found = Days.constFind(Key);
  if (found == Days.constEnd() || found->isEmpty()) return std::nullopt;
  return *found;
}

std::optional<QString> TMirModel::FindDiaryEntry(const QString& Key) const {
  if (DiaryDaysAhead) return FindDiaryEntry(*DiaryDaysAhead, Key);
  const TNbObject* e = NbDiary->Data().FindEntry(Key);
  if (!e || e->Text.isEmpty()) return std::nullopt;
  return e->Text;
}

TRenderInputs TMirModel::Inputs() const {
  TRenderInputs in;
  in.Settings = Ini;
  in.Layout = Layout;
  in.Holidays = Holidays;
  in.PackIni = PackIni;
  in.PackImages = &MirPackSkin->Images;
  in.UsedImages = UsedImages;
  in.ExeDir = ExeDir;
  in.ScreenSize = hooks_.ScreenSize();
  in.DrawNotes = DrawNotesBoxes;
  in.QuickNotes = Notes;
  in.FindDiaryEntry = [this](const QString& key) { return FindDiaryEntry(key); };
  return in;
}

bool TMirModel::RenderCalendar(bool RecalcLayout) {
  if (Render.Busy) return false;
  Render.FirstDayOfWeek = Rotation->FirstDayOfWeek;
  return ::RenderCalendar(Render, Inputs(), RecalcLayout);
}
