#include "controls/KVSkinCtrls.h"

#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QToolTip>
#include <QUrl>

#include "foundation/KVForms.h"
#include "foundation/KVSysUtils.h"
#include "platform/KVLaunch.h"

const EnumInfo kMapLinkTypeEnum{QStringLiteral("TMapLinkType"),
                                {QStringLiteral("mlNone"), QStringLiteral("mlWeb"), QStringLiteral("mlMail"),
                                 QStringLiteral("mlExe")}};

namespace {

// An area's State takes only these three.
const EnumInfo kAreaStateEnum{QStringLiteral("TSkinCtrlState"),
                              {QStringLiteral("cstOff"), QStringLiteral("cstOn"), QStringLiteral("cstDisabled")}};

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

bool Refuse(const char* kind, const QString& link, const char* why) {
  qWarning("Image map: %s link refused (%s): %s", kind, why, qUtf8Printable(link));
  return false;
}

bool HasControlChars(const QString& s) {
  for (const QChar c : s)
    if (c.category() == QChar::Other_Control || c.isSpace()) return true;
  return false;
}

bool OpenWebLink(const QString& link) {
  const QUrl url(link, QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (HasControlChars(link) || !url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
      url.host().isEmpty())
    return Refuse("web", link, "not an http or https URL");
  return OpenURL(link, QString(), true);
}

bool OpenMailLink(const QString& link) {
  static const QString prefix = QStringLiteral("mailto:");
  const QString address = link.startsWith(prefix, Qt::CaseInsensitive) ? link.mid(prefix.size()) : link;
  // The address part (before any "?" header) may not name another scheme or a path.
  const QString to = address.section(QLatin1Char('?'), 0, 0);
  if (to.isEmpty() || HasControlChars(address) || to.contains(QLatin1Char(':')) || to.contains(QLatin1Char('/')) ||
      !to.contains(QLatin1Char('@')))
    return Refuse("mail", link, "not a mail address");
  return SendMailTo(prefix + address, QString(), true);
}

bool StartProgramLink(const QString& link, const QString& params) {
  const QString program = link.trimmed();
  const QString folder = QFileInfo(ExeDir).canonicalFilePath();
  if (program.isEmpty() || folder.isEmpty()) return Refuse("program", link, "no program folder");
  // Relative names are taken from the program folder; links and ".." are resolved before the test.
  const QFileInfo info(QDir::isAbsolutePath(program) ? program : QDir(folder).filePath(program));
  const QString resolved = info.canonicalFilePath();
  if (resolved.isEmpty() || !resolved.startsWith(folder + QLatin1Char('/')))
    return Refuse("program", link, "not inside the program folder");
  const QFileInfo target(resolved);
  if (!target.isFile() || !target.isExecutable()) return Refuse("program", link, "not an executable file");
  return StartProgram(resolved, SplitCommandLine(params));
}

}  // namespace

bool OpenMapLink(TMapLinkType Type, const QString& Link, const QString& Params) {
  switch (Type) {
    case mlNone: return false;
    case mlWeb: return OpenWebLink(Link.trimmed());
    case mlMail: return OpenMailLink(Link.trimmed());
    case mlExe: return StartProgramLink(Link, Params);
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// TMapArea

const ClassInfo& TMapArea::StaticClass() {
  using A = TMapArea;
  static const ClassInfo ci =
      ClassBuilder<A>("TMapArea", &TCollectionItem::StaticClass())
          .Str("DisplayName", [](const A& a) { return a.GetDisplayName(); },
               [](A& a, const QString& v) { a.SetDisplayName(v); })
          .Enum<TSkinCtrlState>("State", kAreaStateEnum, [](const A& a) { return a.State(); },
                                [](A& a, TSkinCtrlState v) { a.SetState(v); }, cstOff)
          .Int("Cursor", &A::Cursor, 0)
          .Idents(kCursorIdents)
          .Str("Hint", &A::Hint)
          .Str("Area", [](const A& a) { return RectToStr(a.Area()); },
               [](A& a, const QString& v) { a.SetArea(StrToRect(v)); })
          .Str("Link", &A::Link)
          .Str("LinkParams", &A::LinkParams)
          .Enum<TMapLinkType>("LinkType", kMapLinkTypeEnum, &A::LinkType, mlNone)
          .Str("Additional", &A::Additional)
          .Build();
  return ci;
}

TMapArea::TMapArea(TCollection* collection) : TCollectionItem(collection) {}

TMapArea::~TMapArea() { *alive_ = false; }

TKVSkinMap* TMapArea::Map() const {
  return Collection() ? static_cast<TMapAreaCollection*>(Collection())->Map() : nullptr;
}

void TMapArea::SetArea(const TRect& r) {
  if (r == area_) return;
  if (TKVSkinMap* map = Map()) map->InvalidateArea(*this);
  area_ = r;
  if (TKVSkinMap* map = Map()) map->InvalidateArea(*this);
}

void TMapArea::UpdateDisplay() {
  TKVSkinMap* map = Map();
  // Over shows only where the skin has an over image, so a hovered selection still looks selected.
  const bool overShown = over_ && (!map || map->Skin().IdxOver() >= 0);
  const TSkinCtrlState s = pressed_ ? cstClicked : overShown ? cstOver : state_;
  if (s == display_) return;
  const bool repaint = !map || map->Skin().StateImage(s) != map->Skin().StateImage(display_);
  display_ = s;
  if (repaint && map) map->InvalidateArea(*this);
}

void TMapArea::SetOver(bool on) {
  if (on == over_) return;
  over_ = on;
  UpdateDisplay();
}

void TMapArea::SetPressed(bool on) {
  if (on == pressed_) return;
  pressed_ = on;
  UpdateDisplay();
}

void TMapArea::SetState(TSkinCtrlState state) {
  if (state != cstOff && state != cstOn && state != cstDisabled) return;
  TKVSkinMap* map = Map();
  const std::shared_ptr<bool> alive = alive_;
  const QString name = displayName_;
  const int index = Index();
  if (state == cstOn && map) {
    map->OnMapChanging(this, name, index);
    if (!*alive) return;
  }
  if (state != state_) {
    if (state_ == cstOn && map) {
      map->OnMapUnClick(this, name, index);
      if (!*alive) return;
    }
    state_ = state;
    UpdateDisplay();
  }
  if (state != cstOn || !map) return;
  // At most one area is on.
  TMapAreaCollection& areas = map->Areas();
  for (int i = 0; i < areas.Count(); ++i) {
    TMapArea* other = areas.Items(i);
    if (other && other != this && other->State() == cstOn) {
      other->SetState(cstOff);
      if (!*alive) return;
    }
  }
  map->OnMapClick(this, name, index);
  if (!*alive || map->LoadingNow() || Link.isEmpty()) return;
  const std::function<QString(const QString&)> expand =
      map->LinkExpander ? map->LinkExpander : [](const QString& s) { return s; };
  OpenMapLink(LinkType, expand(Link), LinkParams.isEmpty() ? QString() : expand(LinkParams));
}

// ---------------------------------------------------------------------------------------------
// TMapAreaCollection

TMapAreaCollection::TMapAreaCollection(TKVSkinMap* map) : TKVCollection<TMapArea>(map), map_(map) {}

int TMapAreaCollection::IndexOfName(const QString& name) const {
  for (int i = 0; i < Count(); ++i)
    if ((*this)[i]->GetDisplayName() == name) return i;
  return -1;
}

// ---------------------------------------------------------------------------------------------
// TKVSkinMap

const ClassInfo& TKVSkinMap::StaticClass() {
  using M = TKVSkinMap;
  static const ClassInfo ci =
      ClassBuilder<M>("TKVSkinMap", &TKVWidgetComponent::StaticClass())
          .Obj("Skin", [](M& m) -> TPersistent* { return m.skin_.get(); })
          .Obj("Areas", [](M& m) -> TPersistent* { return m.areas_.get(); })
          .Str("OutAreaHint", [](const M& m) { return m.OutAreaHint(); },
               [](M& m, const QString& v) { m.SetOutAreaHint(v); })
          .Bool("ChangeCursor", &M::ChangeCursor, true)
          .Bool("Transparent", [](const M& m) { return m.Transparent(); }, [](M& m, bool v) { m.SetTransparent(v); },
                false)
          .Bool("ToggleOnOff", &M::ToggleOnOff, false)
          .Event("OnMapChanging", &M::OnMapChanging)
          .Event("OnMapClick", &M::OnMapClick)
          .Event("OnMapUnClick", &M::OnMapUnClick)
          .Event("OnMouseDown", &M::OnMouseDown)
          .Event("OnMouseMove", &M::OnMouseMove)
          .Event("OnMouseUp", &M::OnMouseUp)
          .Build();
  return ci;
}

TKVSkinMap::TKVSkinMap(TComponent* owner, QWidget* parent)
    : TKVCustomControl(owner, parent),
      LinkExpander(&ExpandPathMacros),
      skin_(std::make_unique<TKVSkinData>(*this)),
      areas_(std::make_unique<TMapAreaCollection>(this)) {
  resize(100, 100);
  setMouseTracking(true);
  savedCursor_ = Cursor();
}

TKVSkinMap::~TKVSkinMap() {
  FreeComponents();
  areas_.reset();  // no events: the areas go without changing state
  skin_.reset();
}

void TKVSkinMap::Notification(TComponent* component, TOperation operation) {
  TKVCustomControl::Notification(component, operation);
  if (skin_) RebindRemovedSkin(*skin_, component, operation);
}

void TKVSkinMap::SetOutAreaHint(const QString& hint) {
  outAreaHint_ = hint;
  SetHint(hint);
}

void TKVSkinMap::SetTransparent(bool on) {
  if (on == transparent_) return;
  transparent_ = on;
  update();
}

TSkinCtrlState TKVSkinMap::GetAreaState(const QString& name) const {
  const TMapArea* a = areas_->Items(areas_->IndexOfName(name));
  return a ? a->State() : cstOff;
}

void TKVSkinMap::SetAreaState(const QString& name, TSkinCtrlState state) {
  if (TMapArea* a = areas_->Items(areas_->IndexOfName(name))) a->SetState(state);
}

void TKVSkinMap::ResetAreas() {
  for (int i = 0; i < areas_->Count(); ++i)
    if (TMapArea* a = areas_->Items(i)) a->SetState(cstOff);
}

void TKVSkinMap::SetEnabled(bool on) {
  for (int i = 0; i < areas_->Count(); ++i)
    if (TMapArea* a = areas_->Items(i)) a->SetState(on ? cstOff : cstDisabled);
  TKVCustomControl::SetEnabled(on);
}

void TKVSkinMap::Loaded() {
  TKVCustomControl::Loaded();
  savedCursor_ = Cursor();
  update();
}

TMapArea* TKVSkinMap::AreaAt(const QPoint& p) const {
  for (int i = 0; i < areas_->Count(); ++i) {
    TMapArea* a = areas_->Items(i);
    if (a && PointInRect(a->Area(), TPoint{p.x(), p.y()})) return a;
  }
  return nullptr;
}

void TKVSkinMap::InvalidateArea(const TMapArea& area) {
  TRect r;
  if (IntersectRects(r, area.Area(), TRect{0, 0, width(), height()}) && !RectIsEmpty(r)) update(ToQRect(r));
}

void TKVSkinMap::ClearOver(const TMapArea* except) {
  for (int i = 0; i < areas_->Count(); ++i)
    if (TMapArea* a = areas_->Items(i); a && a != except) a->SetOver(false);
}

void TKVSkinMap::paintEvent(QPaintEvent* event) {
  RunGuarded([&] {
    const TKVBitmapList* strip = skin_->Strip();
    if (!strip) return;
    QPainter p(this);
    const QRect c = event->rect();
    const TRect clip{c.left(), c.top(), c.right() + 1, c.bottom() + 1};
    if (!transparent_) strip->CopyPart(p, clip, skin_->StateImage(cstOff), clip);
    for (int i = 0; i < areas_->Count(); ++i) {
      const TMapArea* a = areas_->Items(i);
      TRect part;
      if (!a || !IntersectRects(part, a->Area(), clip) || RectIsEmpty(part)) continue;
      strip->CopyPart(p, part, skin_->StateImage(a->DisplayState()), part);
    }
  });
}

void TKVSkinMap::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  RunGuarded([&] {
    if (event->button() == Qt::LeftButton) {
      TMapArea* a = AreaAt(at);
      if (a && a->State() != cstDisabled) {
        a->SetPressed(true);
        return;
      }
      capturing_ = true;  // the widget keeps the mouse until the release
    }
    OnMouseDown(this, event->button(), event->modifiers(), at.x(), at.y());
  });
}

void TKVSkinMap::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  RunGuarded([&] {
    if (event->button() == Qt::LeftButton) {
      if (capturing_) {
        capturing_ = false;
      } else {
        TMapArea* a = AreaAt(at);
        // A press released elsewhere does not leave its area looking pressed.
        for (int i = 0; i < areas_->Count(); ++i)
          if (TMapArea* other = areas_->Items(i); other && other != a) other->SetPressed(false);
        if (a && a->State() != cstDisabled) {
          a->SetPressed(false);
          a->SetState(ToggleOnOff && a->State() == cstOn ? cstOff : cstOn);
          return;
        }
      }
    }
    OnMouseUp(this, event->button(), event->modifiers(), at.x(), at.y());
  });
}

void TKVSkinMap::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  RunGuarded([&] {
    const auto inherited = [&] { OnMouseMove(this, Qt::NoButton, event->modifiers(), at.x(), at.y()); };
    if (capturing_ || (!ShowHint() && !ChangeCursor && skin_->IdxOver() <= -1)) {
      inherited();
      return;
    }
    if (TMapArea* a = AreaAt(at)) {
      ClearOver(a);
      if (a->State() != cstDisabled) a->SetOver(true);
      if (ChangeCursor && Cursor() != a->Cursor) SetCursor(a->Cursor);
      if (ShowHint() && Hint() != a->Hint) {
        SetHint(a->Hint);
        QToolTip::hideText();
      }
      return;
    }
    ClearOver(nullptr);
    if (Cursor() != savedCursor_) SetCursor(savedCursor_);
    if (Hint() != outAreaHint_) {
      SetHint(outAreaHint_);
      QToolTip::hideText();
    }
    inherited();
  });
}

void TKVSkinMap::leaveEvent(QEvent* event) {
  ClearOver(nullptr);
  TKVCustomControl::leaveEvent(event);
}
