#pragma once
// The quick-notes window: the quick-notes document edited as rich text with a formatting
// toolbar. OK stores the text in the document, saves "mnotes.dat" and, when the calendar shows
// notes, draws and applies the calendar; Cancel and the close box drop the edits (the next show
// loads the document again). It also prints the notes, saves them as an RTF file, inserts the
// time and a favourite icon.
#include <QDateTime>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QPushButton;
class QToolButton;
class TIconForm;
class TKVFormState;
class TKVFontCharsetComboBox;
class TKVFontComboBox;
class TKVFontSizeComboBox;
class TKVRichEditOLE;
class TMirModel;
class TNbModule;
class TPrintForm;

// What the program lends the window; empty hooks get the defaults named.
struct TQuickNotesHooks {
  // Writes the drawn calendar and makes it the desktop background: the main form's
  // actSaveMirova (default: the model's rotation does it).
  std::function<void()> SaveMirova;
  // Shows the icon picker modally; true when it put the chosen icon on the clipboard (default: an
  // icon picker of the window's own).
  std::function<bool()> PickIcon;
  // The print options dialog shared with the diary (default: one of the window's own).
  std::function<TPrintForm&()> PrintForm;
  // The clock of Insert Time (default: now).
  std::function<QDateTime()> Now;
};

class TKVTriStateButton;

// The window's commands, made once; the buttons and the editor's menu share them. Each is also
// found by its object name ("actREOBold", ...).
struct TQuickNotesActions {
  QAction *Cut{}, *Copy{}, *Paste{}, *PasteSpecial{}, *SelectAll{}, *Undo{};
  QAction *Bold{}, *Italic{}, *Underline{}, *Color{}, *LeftAlign{}, *CenterAlign{}, *RightAlign{}, *Bullet{};
  QAction *InsertObject{}, *ObjectProperties{}, *InsertIcon{}, *InsTime{}, *SaveRTF{};
};

class TQuickNotesForm : public QDialog {
  Q_OBJECT
 public:
  TQuickNotesForm(TMirModel& Model, TQuickNotesHooks Hooks = {}, QWidget* parent = nullptr);
  ~TQuickNotesForm() override;

  // Shows the window with the document's notes, or brings it to the front when it is shown.
  void ShowForm();
  TKVRichEditOLE& Editor() const { return *editor_; }
  const TQuickNotesActions& Actions() const { return acts_; }
  // The one action of that name; raises EKVError for a name the window does not have.
  QAction* Action(const char* Name) const;

  // Handlers.
  void OKBtnClick();
  void CancelBtnClick();
  void PrintQuickNotesBtnClick();
  // Brings the toolbar and the font boxes in line with the selection.
  void EditorChange();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateActions();
  void CreateControls();
  void FormShow();
  void FormHide();
  void FontBoxChange();
  void FontSizeBoxChange();
  void FontCharsetBoxChange();
  void ShowSizeAndCharset();
  void FocusEditor();
  void actREOBulletExecProc(TKVRichEditOLE& KVRE);
  void actREOInsTimeExecProc(TKVRichEditOLE& KVRE);
  void actREOInsertIconExecProc(TKVRichEditOLE& KVRE);
  void actREOSaveRTFExecProc(TKVRichEditOLE& KVRE);
  void EditorURLClick(const QString& URLText, Qt::MouseButton Button);
  TPrintForm& PrintForm();

  TMirModel& model_;
  TQuickNotesHooks hooks_;
  TQuickNotesActions acts_;
  TKVRichEditOLE* editor_ = nullptr;
  TKVFontComboBox* fontBox_ = nullptr;
  TKVFontSizeComboBox* fontSizeBox_ = nullptr;
  TKVFontCharsetComboBox* fontCharsetBox_ = nullptr;
  QPushButton* okBtn_ = nullptr;
  QPushButton* cancelBtn_ = nullptr;
  QPushButton* printBtn_ = nullptr;
  QMenu* popupMenu_ = nullptr;
  TKVTriStateButton* boldBtn_ = nullptr;
  TKVTriStateButton* italicBtn_ = nullptr;
  TKVTriStateButton* underlineBtn_ = nullptr;
  TNbModule* nbPrint_ = nullptr;
  // Its size and maximised state (not its place) under the settings key.
  std::unique_ptr<TKVFormState> formState_;
  QPointer<TPrintForm> ownPrintForm_;
  QPointer<TIconForm> ownIconForm_;
  // The toolbar is being brought in line: the boxes' change handlers do nothing meanwhile.
  int updating_ = 0;
  // The user typed in the size box since the selection changed.
  bool sizeEdited_ = false;
};
