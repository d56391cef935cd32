#pragma once
// Widgets that are also components of the owner tree: the base of every skinned control and of
// every form. The component side carries the name (also the object name, so tests and skin texts
// find the widget), the owner and the published properties that every control shares.
//
// Deleting such a widget first frees the components it owns, in the base's destructor, while both
// the widget and the component parts are whole: owned children then see their owner as a plain
// widget and component (its virtual functions are the base's), never a half-destroyed form. A form
// whose own members are still used while its components go (a skin held as a member, a handler
// that reads the form's fields) calls FreeComponents() first in its own destructor. Owned
// components are heap objects, as with every component.
#include <QCursor>
#include <QString>
#include <QWidget>

#include "foundation/KVClasses.h"

// Cursor numbers of the class library (crDefault 0, crNone -1, crArrow -2 ... crHandPoint -21,
// crSizeAll -22) and the program's own 1 (hand move), 2 (hand point), 3 (pick).
extern const IdentMap kCursorIdents;
QCursor CursorOf(int Cursor);

// The component side of a control. Published (class name "TControl"): Left, Top, Width, Height,
// Visible, Enabled, Cursor, Hint, ShowHint.
class TKVWidgetComponent : public TComponent {
  KV_CLASS(TKVWidgetComponent)
 public:
  QWidget& Widget() const { return *widget_; }

  // Also the widget's object name.
  void SetName(const QString& name) override;

  int Cursor() const { return cursor_; }
  virtual void SetCursor(int cursor);
  const QString& Hint() const { return hint_; }
  virtual void SetHint(const QString& hint);
  // The hint shows as the widget's tool tip only while ShowHint is set.
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool on);
  bool Enabled() const;
  // Controls that react to being enabled override this; the published property calls it.
  virtual void SetEnabled(bool on);

 protected:
  TKVWidgetComponent(TComponent* owner, QWidget* self) : TComponent(owner), widget_(self) {}
  // Frees the owned components, last created first. Also marks this component as going away.
  void FreeComponents();

 private:
  void ApplyToolTip();
  QWidget* widget_;
  int cursor_ = 0;
  QString hint_;
  bool showHint_ = false;
};

// A widget of class W (QWidget, QDialog, ...) that is a component.
template <class W>
class TKVControlOf : public W, public TKVWidgetComponent {
 public:
  explicit TKVControlOf(TComponent* owner = nullptr, QWidget* parent = nullptr)
      : W(parent), TKVWidgetComponent(owner, this) {}
  ~TKVControlOf() override { FreeComponents(); }
  TKVControlOf(const TKVControlOf&) = delete;
  TKVControlOf& operator=(const TKVControlOf&) = delete;
};
using TKVCustomControl = TKVControlOf<QWidget>;

// A form: skin bindings of its components take their form text by its name.
template <class W>
class TKVFormOf : public TKVControlOf<W> {
 public:
  using TKVControlOf<W>::TKVControlOf;
  static const ClassInfo& StaticClass() {
    static const ClassInfo ci = ClassBuilder<TKVFormOf>("TForm", &TKVWidgetComponent::StaticClass()).Build();
    return ci;
  }
  const ClassInfo& Class() const override { return StaticClass(); }
  bool IsForm() const override { return true; }
};
using TKVForm = TKVFormOf<QWidget>;
