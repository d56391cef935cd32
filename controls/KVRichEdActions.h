#pragma once
// Actions that drive a rich-text editor from toolbar buttons and menu items: style toggles,
// alignment, font size steps, clipboard, undo, select all, the picture dialogs and two actions
// that run a handler of the form. Each works on its fixed Control, or else on the rich-text editor
// that has the focus (or had it last in the action's own window); a hidden editor is never a
// target. Each is enabled exactly when it can act there: a read-only editor allows only select
// all, copy of a selection and the read handler.
#include <QAction>
#include <QPointer>
#include <functional>
#include <vector>

class TKVRichEditOLE;

class TKVRichEditOLEAction : public QAction {
  Q_OBJECT
 public:
  explicit TKVRichEditOLEAction(QObject* owner, const QString& caption = QString());

  TKVRichEditOLE* Control() const { return control_; }
  // A fixed target; when that editor is destroyed the action follows the focus again.
  void SetControl(TKVRichEditOLE* editor);
  // The editor the action works on now, or nullptr.
  TKVRichEditOLE* Target() const;
  // Enables the action by what it can do on its target (disabled without one). The actions
  // update themselves after focus, selection, text, read-only and clipboard changes, once per
  // turn of the event loop; UpdateRichEditActions does it at once.
  void Update();

 protected:
  virtual void ExecuteTarget(TKVRichEditOLE& editor) = 0;
  virtual bool CanExecute(TKVRichEditOLE& editor) const = 0;

 private:
  QPointer<TKVRichEditOLE> control_;
};

// Brings every rich-text action up to date now.
void UpdateRichEditActions();

#define KV_REO_ACTION(Name)                                                                \
  class Name : public TKVRichEditOLEAction {                                               \
   public:                                                                                 \
    using TKVRichEditOLEAction::TKVRichEditOLEAction;                                      \
                                                                                           \
   protected:                                                                              \
    void ExecuteTarget(TKVRichEditOLE& editor) override;                                   \
    bool CanExecute(TKVRichEditOLE& editor) const override;                                \
  };

KV_REO_ACTION(TactREOSelectAll)
KV_REO_ACTION(TactREOBold)
KV_REO_ACTION(TactREOItalic)
KV_REO_ACTION(TactREOUnderline)
KV_REO_ACTION(TactREOLeftAlign)
KV_REO_ACTION(TactREOCenterAlign)
KV_REO_ACTION(TactREORightAlign)
KV_REO_ACTION(TactREOIncFontSize)
KV_REO_ACTION(TactREODecFontSize)
// Enabled when the editor can undo and is not read-only: undo must not change a read-only text.
KV_REO_ACTION(TactREOUndo)
KV_REO_ACTION(TactREOCopy)
// Cut leaves protected text alone, as the keyboard's cut does.
KV_REO_ACTION(TactREOCut)
KV_REO_ACTION(TactREOPaste)
KV_REO_ACTION(TactREOPasteSpecial)
KV_REO_ACTION(TactREOInsertObject)
KV_REO_ACTION(TactREOObjectProperties)
#undef KV_REO_ACTION

// A handler of the form run on the target editor, which then takes the focus.
using TKVRichEditOLEProcedure = std::function<void(TKVRichEditOLE& KVRE)>;

// Enabled on editors that are not read-only.
class TactREOProc : public TKVRichEditOLEAction {
 public:
  using TKVRichEditOLEAction::TKVRichEditOLEAction;
  TKVRichEditOLEProcedure ExecProc;

 protected:
  void ExecuteTarget(TKVRichEditOLE& editor) override;
  bool CanExecute(TKVRichEditOLE& editor) const override;
};

// Enabled on every editor, read-only ones too.
class TactREOReadProc : public TactREOProc {
 public:
  using TactREOProc::TactREOProc;

 protected:
  bool CanExecute(TKVRichEditOLE& editor) const override;
};

// The clipboard and undo actions that every editor's context menu starts with, in menu order:
// Cut, Copy, Paste, Paste Special, Select All, Undo. Each is named as the window's action
// ("actREOCut" ...), captioned from the language table, works on Editor and shows the editor's
// own key, which does the work (the action's shortcut is the widget's alone).
std::vector<TKVRichEditOLEAction*> NewEditingActions(QObject* owner, TKVRichEditOLE* editor);

// The colour dialog ("ColorDialog1"), starting at the selection's colour; a colour chosen goes to
// the selection (or to what is typed next).
void ChooseSelectionColor(TKVRichEditOLE& editor);
