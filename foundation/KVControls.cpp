#include "foundation/KVControls.h"

#include <array>

namespace {

struct CursorName {
  int value;
  const char* name;
  Qt::CursorShape shape;
};

// The class library's cursor numbers; the program's own cursors follow.
constexpr std::array<CursorName, 24> kCursors{{
    {0, "crDefault", Qt::ArrowCursor},       {-1, "crNone", Qt::BlankCursor},
    {-2, "crArrow", Qt::ArrowCursor},        {-3, "crCross", Qt::CrossCursor},
    {-4, "crIBeam", Qt::IBeamCursor},        {-6, "crSizeNESW", Qt::SizeBDiagCursor},
    {-7, "crSizeNS", Qt::SizeVerCursor},     {-8, "crSizeNWSE", Qt::SizeFDiagCursor},
    {-9, "crSizeWE", Qt::SizeHorCursor},     {-10, "crUpArrow", Qt::UpArrowCursor},
    {-11, "crHourGlass", Qt::WaitCursor},    {-12, "crDrag", Qt::DragCopyCursor},
    {-13, "crNoDrop", Qt::ForbiddenCursor},  {-14, "crHSplit", Qt::SplitHCursor},
    {-15, "crVSplit", Qt::SplitVCursor},     {-16, "crMultiDrag", Qt::DragMoveCursor},
    {-17, "crSQLWait", Qt::BusyCursor},      {-18, "crNo", Qt::ForbiddenCursor},
    {-19, "crAppStart", Qt::BusyCursor},     {-20, "crHelp", Qt::WhatsThisCursor},
    {-21, "crHandPoint", Qt::PointingHandCursor}, {-22, "crSizeAll", Qt::SizeAllCursor},
    {1, "crHMove", Qt::OpenHandCursor},      {2, "crHPoint", Qt::PointingHandCursor},
}};

QString CursorIdentOf(qint64 v) {
  for (const CursorName& c : kCursors)
    if (c.value == v) return QLatin1String(c.name);
  return {};
}

std::optional<qint64> CursorValueOf(const QString& name) {
  if (name.compare(QLatin1String("crSize"), Qt::CaseInsensitive) == 0) return -22;
  if (name.compare(QLatin1String("crPick"), Qt::CaseInsensitive) == 0) return 3;
  for (const CursorName& c : kCursors)
    if (name.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0) return c.value;
  return std::nullopt;
}

}  // namespace

const IdentMap kCursorIdents{&CursorIdentOf, &CursorValueOf};

QCursor CursorOf(int Cursor) {
  if (Cursor == 3) return QCursor(Qt::CrossCursor);  // the pick cursor
  for (const CursorName& c : kCursors)
    if (c.value == Cursor) return QCursor(c.shape);
  return QCursor(Qt::ArrowCursor);
}

const ClassInfo& TKVWidgetComponent::StaticClass() {
  using C = TKVWidgetComponent;
  static const ClassInfo ci =
      ClassBuilder<C>("TControl", &TComponent::StaticClass())
          .Int("Left", [](const C& c) { return c.Widget().x(); },
               [](C& c, int v) { c.Widget().move(v, c.Widget().y()); })
          .Int("Top", [](const C& c) { return c.Widget().y(); },
               [](C& c, int v) { c.Widget().move(c.Widget().x(), v); })
          .Int("Width", [](const C& c) { return c.Widget().width(); },
               [](C& c, int v) { c.Widget().resize(std::clamp(v, 0, QWIDGETSIZE_MAX), c.Widget().height()); })
          .Int("Height", [](const C& c) { return c.Widget().height(); },
               [](C& c, int v) { c.Widget().resize(c.Widget().width(), std::clamp(v, 0, QWIDGETSIZE_MAX)); })
          .Bool("Visible", [](const C& c) { return !c.Widget().isHidden(); },
                [](C& c, bool v) { c.Widget().setVisible(v); }, true)
          .Bool("Enabled", [](const C& c) { return c.Enabled(); }, [](C& c, bool v) { c.SetEnabled(v); }, true)
          .Int("Cursor", [](const C& c) { return c.Cursor(); }, [](C& c, int v) { c.SetCursor(v); }, 0)
          .Idents(kCursorIdents)
          .Str("Hint", [](const C& c) { return c.Hint(); }, [](C& c, const QString& v) { c.SetHint(v); })
          .Bool("ShowHint", [](const C& c) { return c.ShowHint(); }, [](C& c, bool v) { c.SetShowHint(v); }, false)
          .Build();
  return ci;
}

void TKVWidgetComponent::SetName(const QString& name) {
  TComponent::SetName(name);
  widget_->setObjectName(Name());
}

void TKVWidgetComponent::SetCursor(int cursor) {
  cursor_ = cursor;
  if (cursor == 0) widget_->unsetCursor();
  else widget_->setCursor(CursorOf(cursor));
}

void TKVWidgetComponent::SetHint(const QString& hint) {
  hint_ = hint;
  ApplyToolTip();
}

void TKVWidgetComponent::SetShowHint(bool on) {
  showHint_ = on;
  ApplyToolTip();
}

void TKVWidgetComponent::ApplyToolTip() { widget_->setToolTip(showHint_ ? hint_ : QString()); }

bool TKVWidgetComponent::Enabled() const {
  // The control's own setting, not whether a disabled parent greys it.
  return !widget_->testAttribute(Qt::WA_ForceDisabled);
}

void TKVWidgetComponent::SetEnabled(bool on) { widget_->setEnabled(on); }

void TKVWidgetComponent::FreeComponents() {
  Destroying();
  while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
}
