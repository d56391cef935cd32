#pragma once
// The skinned image map: a picture from a skin's image strip with rectangular areas on it, like
// an HTML image map. Hovering, pressing and selecting an area show the same rectangle of another
// image of the strip; at most one area is selected (on) at a time; selecting one fires the map's
// events and opens the area's link.
//
// Links come from image packs, which are downloaded files, so a link opens only what it claims to
// be: a web link only an http or https URL, a mail link only a mail address (mailto), a program
// link only an executable file inside the program folder (ExeDir), started with an argument
// vector and never through a shell. Anything else is refused and logged; the events still fire.
#include <QString>
#include <functional>
#include <memory>

#include "foundation/KVControls.h"
#include "foundation/KVSkinData.h"

enum TMapLinkType { mlNone, mlWeb, mlMail, mlExe };
extern const EnumInfo kMapLinkTypeEnum;

class TKVSkinMap;
class TMapArea;

// Called with the area, its name and its index.
using TMapEvent = TEvent<void(TMapArea* Area, const QString& AreaName, int AreaIndex)>;

// Opens a link of the given type by the rules above; false when it was refused or did not start.
// A web or mail link that cannot be opened shows the opener's warning box.
bool OpenMapLink(TMapLinkType Type, const QString& Link, const QString& Params);

// One area. Published: DisplayName, State (cstOff, cstOn, cstDisabled), Cursor, Hint, Area
// ("left,top,right,bottom" in map coordinates), Link, LinkParams, LinkType, Additional.
class TMapArea : public TCollectionItem {
  KV_CLASS(TMapArea)
 public:
  explicit TMapArea(TCollection* collection);
  ~TMapArea() override;

  QString GetDisplayName() const override { return displayName_; }
  void SetDisplayName(const QString& name) { displayName_ = name; }
  TSkinCtrlState State() const { return state_; }
  // cstOn selects the area (the other areas go off, the events fire, the link opens); cstOff and
  // cstDisabled deselect it. Other states are ignored.
  void SetState(TSkinCtrlState state);
  const TRect& Area() const { return area_; }
  void SetArea(const TRect& r);

  int Cursor = 0;
  QString Hint;
  QString Link;
  QString LinkParams;
  TMapLinkType LinkType = mlNone;
  QString Additional;

  // Run-time: the mouse is over it, the left button went down in it, the image shown in it.
  bool Over() const { return over_; }
  void SetOver(bool on);
  bool Pressed() const { return pressed_; }
  void SetPressed(bool on);
  TSkinCtrlState DisplayState() const { return display_; }

  TKVSkinMap* Map() const;

 private:
  void UpdateDisplay();
  QString displayName_;
  TSkinCtrlState state_ = cstOff;
  TRect area_;
  bool over_ = false, pressed_ = false;
  TSkinCtrlState display_ = cstOff;
  // Cleared when the area is freed, so a handler that frees it (a new skin) stops the caller.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class TMapAreaCollection : public TKVCollection<TMapArea> {
 public:
  explicit TMapAreaCollection(TKVSkinMap* map);
  TKVSkinMap* Map() const { return map_; }
  // nullptr outside 0 .. Count - 1.
  TMapArea* Items(int i) const { return i >= 0 && i < Count() ? (*this)[i] : nullptr; }
  // The first area of that DisplayName (case-sensitive); -1 when none.
  int IndexOfName(const QString& name) const;

 private:
  TKVSkinMap* map_;
};

// Published besides the control's: Skin, Areas, OutAreaHint, ChangeCursor, Transparent,
// ToggleOnOff, OnMapChanging, OnMapClick, OnMapUnClick, OnMouseDown, OnMouseMove, OnMouseUp.
// Nothing is painted without the skin's strip idxImages; the areas still react.
class TKVSkinMap : public TKVCustomControl {
  Q_OBJECT
  KV_CLASS(TKVSkinMap)
 public:
  explicit TKVSkinMap(TComponent* owner = nullptr, QWidget* parent = nullptr);
  ~TKVSkinMap() override;

  TKVSkinData& Skin() { return *skin_; }
  const TKVSkinData& Skin() const { return *skin_; }
  TMapAreaCollection& Areas() { return *areas_; }
  const TMapAreaCollection& Areas() const { return *areas_; }

  const QString& OutAreaHint() const { return outAreaHint_; }
  // Also becomes the hint.
  void SetOutAreaHint(const QString& hint);
  bool ChangeCursor = true;
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  bool ToggleOnOff = false;

  TMapEvent OnMapChanging, OnMapClick, OnMapUnClick;
  TMouseEvent OnMouseDown, OnMouseMove, OnMouseUp;
  // Expands path macros in links and their parameters.
  std::function<QString(const QString&)> LinkExpander;

  // The state of the first area of that name; cstOff when none.
  TSkinCtrlState GetAreaState(const QString& name) const;
  void SetAreaState(const QString& name, TSkinCtrlState state);
  void ResetAreas();
  // Enabling puts every area off, disabling every area disabled (the selected one's unclick fires).
  void SetEnabled(bool on) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

  // The first area whose rectangle holds the point, in collection order; nullptr when none.
  TMapArea* AreaAt(const QPoint& p) const;
  void InvalidateArea(const TMapArea& area);
  // Whether a selection now comes from loading a text (links then stay closed).
  bool LoadingNow() const { return IsLoading() || skin_->Loading(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void ClearOver(const TMapArea* except);
  std::unique_ptr<TKVSkinData> skin_;
  std::unique_ptr<TMapAreaCollection> areas_;
  QString outAreaHint_;
  bool transparent_ = false;
  int savedCursor_ = 0;
  bool capturing_ = false;
};
