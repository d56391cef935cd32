#include "controls/KVRichEdActions.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QEvent>
#include <QTimer>
#include <utility>
#include <vector>

#include "controls/KVRichEdOLE.h"
#include "foundation/KVForms.h"
#include "foundation/KVRes.h"
#include "foundation/KVTextHelper.h"

namespace {

// Follows the focused editor and tells the actions when what they can do may have changed.
class TActionHub : public QObject {
  Q_OBJECT
 public:
  static TActionHub& Instance() {
    static TActionHub* hub = new TActionHub(qApp);
    return *hub;
  }

  // The editor that had the focus last in Window (in any window for nullptr).
  TKVRichEditOLE* LastEditor(const QWidget* window) const {
    if (!window) return last_;
    for (const auto& [w, editor] : lastOf_)
      if (w == window && editor) return editor;
    return nullptr;
  }

  void Watch(TKVRichEditOLE* editor) {
    if (!editor || editor->property(kWatched).toBool()) return;
    editor->setProperty(kWatched, true);
    editor->installEventFilter(this);
    for (auto signal : {&QTextEdit::selectionChanged, &QTextEdit::textChanged})
      connect(editor, signal, this, &TActionHub::Schedule);
    connect(editor, &QTextEdit::undoAvailable, this, &TActionHub::Schedule);
    connect(editor, &QObject::destroyed, this, &TActionHub::Schedule);
  }

  void Schedule() {
    if (pending_) return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] { UpdateNow(); });
  }

  void UpdateNow() {
    pending_ = false;
    emit Changed();
  }

 signals:
  void Changed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::ReadOnlyChange:
      case QEvent::Show:
      case QEvent::Hide:
      case QEvent::EnabledChange: Schedule(); break;
      default: break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  static constexpr const char* kWatched = "kvReoActionsWatched";
  QPointer<TKVRichEditOLE> last_;
  std::vector<std::pair<QPointer<QWidget>, QPointer<TKVRichEditOLE>>> lastOf_;

  void Remember(TKVRichEditOLE* editor) {
    last_ = editor;
    QWidget* window = editor->window();
    std::erase_if(lastOf_, [window](const auto& e) { return !e.first || !e.second || e.first == window; });
    lastOf_.emplace_back(window, editor);
  }
  bool pending_ = false;

  explicit TActionHub(QObject* parent) : QObject(parent) {
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
      for (QWidget* w = now; w; w = w->parentWidget())
        if (auto* editor = qobject_cast<TKVRichEditOLE*>(w)) {
          Remember(editor);
          Watch(editor);
          break;
        }
      Schedule();
    });
    if (QClipboard* clipboard = QGuiApplication::clipboard())
      connect(clipboard, &QClipboard::dataChanged, this, &TActionHub::Schedule);
  }
};

// The window an action belongs to: that of the first widget among its owners.
QWidget* OwnerWindow(const QObject* action) {
  for (QObject* o = action->parent(); o; o = o->parent())
    if (auto* w = qobject_cast<QWidget*>(o)) return w->window();
  return nullptr;
}

}  // namespace

TKVRichEditOLEAction::TKVRichEditOLEAction(QObject* owner, const QString& caption) : QAction(caption, owner) {
  TActionHub& hub = TActionHub::Instance();
  connect(&hub, &TActionHub::Changed, this, &TKVRichEditOLEAction::Update);
  connect(this, &QAction::triggered, this, Guarded([this] {
            if (TKVRichEditOLE* editor = Target()) ExecuteTarget(*editor);
            TActionHub::Instance().Schedule();
          }));
  setEnabled(false);
  hub.Schedule();
}

void TKVRichEditOLEAction::SetControl(TKVRichEditOLE* editor) {
  control_ = editor;
  TActionHub::Instance().Watch(editor);
  Update();
}

TKVRichEditOLE* TKVRichEditOLEAction::Target() const {
  TKVRichEditOLE* editor = control_;
  if (!editor) {
    // The editor with the focus, or the one that had it last in the action's window: a toolbar
    // button that takes the focus leaves the editor the target.
    for (QWidget* w = QApplication::focusWidget(); w && !editor; w = w->parentWidget())
      editor = qobject_cast<TKVRichEditOLE*>(w);
    if (!editor) editor = TActionHub::Instance().LastEditor(OwnerWindow(this));
  }
  return editor && editor->isVisible() ? editor : nullptr;
}

void TKVRichEditOLEAction::Update() {
  TKVRichEditOLE* editor = Target();
  setEnabled(editor && CanExecute(*editor));
}

void UpdateRichEditActions() { TActionHub::Instance().UpdateNow(); }

// ---------------------------------------------------------------------------------------------

namespace {

bool Writable(const TKVRichEditOLE& editor) { return !editor.isReadOnly(); }

}  // namespace

void TactREOSelectAll::ExecuteTarget(TKVRichEditOLE& editor) { editor.selectAll(); }
bool TactREOSelectAll::CanExecute(TKVRichEditOLE&) const { return true; }

void TactREOBold::ExecuteTarget(TKVRichEditOLE& editor) { editor.ToggleStyle(fsBold); }
bool TactREOBold::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor); }

void TactREOItalic::ExecuteTarget(TKVRichEditOLE& editor) { editor.ToggleStyle(fsItalic); }
bool TactREOItalic::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor); }

void TactREOUnderline::ExecuteTarget(TKVRichEditOLE& editor) { editor.ToggleStyle(fsUnderline); }
bool TactREOUnderline::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor); }

void TactREOLeftAlign::ExecuteTarget(TKVRichEditOLE& editor) { editor.Paragraph().SetAlignment(0); }
bool TactREOLeftAlign::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor); }

void TactREOCenterAlign::ExecuteTarget(TKVRichEditOLE& editor) { editor.Paragraph().SetAlignment(2); }
bool TactREOCenterAlign::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor); }

void TactREORightAlign::ExecuteTarget(TKVRichEditOLE& editor) { editor.Paragraph().SetAlignment(1); }
bool TactREORightAlign::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor); }

void TactREOIncFontSize::ExecuteTarget(TKVRichEditOLE& editor) { editor.IncFontSize(); }
bool TactREOIncFontSize::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor); }

void TactREODecFontSize::ExecuteTarget(TKVRichEditOLE& editor) { editor.DecFontSize(); }
bool TactREODecFontSize::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor); }

void TactREOUndo::ExecuteTarget(TKVRichEditOLE& editor) {
  if (Writable(editor)) editor.undo();
}
bool TactREOUndo::CanExecute(TKVRichEditOLE& editor) const {
  return Writable(editor) && editor.document()->isUndoAvailable();
}

void TactREOCopy::ExecuteTarget(TKVRichEditOLE& editor) { editor.copy(); }
bool TactREOCopy::CanExecute(TKVRichEditOLE& editor) const { return editor.textCursor().hasSelection(); }

void TactREOCut::ExecuteTarget(TKVRichEditOLE& editor) {
  const QTextCursor c = editor.textCursor();
  if (!Writable(editor) || !c.hasSelection()) return;
  if (!editor.ProtectChange({TKVEditRequest::Cut, {}}, c.selectionStart(), c.selectionEnd())) return;
  editor.cut();
}
bool TactREOCut::CanExecute(TKVRichEditOLE& editor) const {
  return Writable(editor) && editor.textCursor().hasSelection();
}

void TactREOPaste::ExecuteTarget(TKVRichEditOLE& editor) { editor.paste(); }
bool TactREOPaste::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor) && editor.CanPaste(); }

void TactREOPasteSpecial::ExecuteTarget(TKVRichEditOLE& editor) { editor.PasteSpecialDialog(); }
bool TactREOPasteSpecial::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor) && editor.CanPaste(); }

void TactREOInsertObject::ExecuteTarget(TKVRichEditOLE& editor) { editor.InsertObjectDialog(); }
bool TactREOInsertObject::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor); }

void TactREOObjectProperties::ExecuteTarget(TKVRichEditOLE& editor) { editor.ObjectPropertiesDialog(); }
bool TactREOObjectProperties::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor); }

void TactREOProc::ExecuteTarget(TKVRichEditOLE& editor) {
  if (ExecProc) ExecProc(editor);
  editor.setFocus();
}
bool TactREOProc::CanExecute(TKVRichEditOLE& editor) const { return Writable(editor); }

bool TactREOReadProc::CanExecute(TKVRichEditOLE&) const { return true; }

std::vector<TKVRichEditOLEAction*> NewEditingActions(QObject* owner, TKVRichEditOLE* editor) {
  const TKVLanguageResource& l = LanguageResource();
  const std::pair<TKVRichEditOLEAction*, const char*> made[] = {
      {new TactREOCut(owner, l.RSCut), "actREOCut"},
      {new TactREOCopy(owner, l.RSCopy), "actREOCopy"},
      {new TactREOPaste(owner, l.RSPaste), "actREOPaste"},
      {new TactREOPasteSpecial(owner, l.RSPasteSpecial), "actREOPasteSpecial"},
      {new TactREOSelectAll(owner, l.RSSelectAll), "actREOSelectAll"},
      {new TactREOUndo(owner, l.RSUndo), "actREOUndo"}};
  const QKeySequence keys[] = {QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::CTRL | Qt::Key_C),
                               QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(),
                               QKeySequence(Qt::CTRL | Qt::Key_A), QKeySequence(Qt::CTRL | Qt::Key_Z)};
  std::vector<TKVRichEditOLEAction*> actions;
  for (size_t i = 0; i < std::size(made); ++i) {
    TKVRichEditOLEAction* a = made[i].first;
    a->setObjectName(QLatin1String(made[i].second));
    a->setShortcut(keys[i]);
    a->setShortcutContext(Qt::WidgetShortcut);
    a->SetControl(editor);
    actions.push_back(a);
  }
  return actions;
}

void ChooseSelectionColor(TKVRichEditOLE& editor) {
  QColorDialog dialog(ToQColor(editor.SelAttributes().Color()), editor.window());
  dialog.setObjectName(QStringLiteral("ColorDialog1"));
  if (ExecDialog(dialog) != QDialog::Accepted) return;
  const QColor c = dialog.currentColor();
  editor.SelAttributes().SetColor(RGB(c.red(), c.green(), c.blue()));
}

#include "KVRichEdActions.moc"
