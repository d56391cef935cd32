#include "ui/QuickNotesF.h"

#include "controls/KVStdCtrls.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QFrame>
#include <QToolButton>
#include <QVBoxLayout>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirModel.h"
#include "calendar/MirNotesStore.h"
#include "calendar/iniData.h"
#include "controls/KVFontCombo.h"
#include "controls/KVNbModule.h"
#include "controls/KVRichEdActions.h"
#include "controls/KVRichEdOLE.h"
#include "controls/KVRichText.h"
#include "foundation/KVApps.h"
#include "controls/KVRtfReader.h"
#include "foundation/KVException.h"
#include "foundation/KVForms.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVTextHelper.h"
#include "ui/IconF.h"
#include "ui/MainF.h"
#include "ui/ToolIcons.h"
#include "ui/printf.h"

namespace {

constexpr int kClientWidth = 314, kClientHeight = 334;

TConsistentAttributes Bit(TConsistentAttribute a) { return TConsistentAttributes(1) << a; }

}  // namespace

// A flat toolbar button that shows a greyed pattern while the selection is partly styled.
TQuickNotesForm::TQuickNotesForm(TMirModel& model, TQuickNotesHooks hooks, QWidget* parent)
    : QDialog(parent), model_(model), hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("QuickNotesForm"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);
  if (!hooks_.SaveMirova) hooks_.SaveMirova = [this] { model_.Rotation->actSaveMirovaExecute(); };
  if (!hooks_.Now) hooks_.Now = [] { return QDateTime::currentDateTime(); };
  if (!hooks_.PickIcon)
    hooks_.PickIcon = [this] {
      if (!ownIconForm_) ownIconForm_ = new TIconForm(model_, this);
      return ownIconForm_->Execute();
    };
  if (!hooks_.PrintForm)
    hooks_.PrintForm = [this]() -> TPrintForm& {
      if (!ownPrintForm_) ownPrintForm_ = new TPrintForm(this);
      return *ownPrintForm_;
    };

  nbPrint_ = new TNbModule();
  nbPrint_->SetName(QStringLiteral("NbPrint"));
  nbPrint_->TitleFormat = QStringLiteral("t");
  nbPrint_->SearchKeywords = nbsExact;
  nbPrint_->AutoNewEntry = false;

  editor_ = new TKVRichEditOLE(this);
  editor_->setObjectName(QStringLiteral("Editor"));
  editor_->SetHideSelection(false);
  CreateActions();
  CreateControls();

  // FormCreate: captions, and the hint of every action is its caption.
  ApplyCaptions(*this, {{"QuickNotesForm", &TKVLanguageResource::RSQuickNotes},
                        {"PrintQuickNotesBtn", &TKVLanguageResource::RSPrintQuickNotes},
                        {"OKBtn", &TKVLanguageResource::RSOK},
                        {"CancelBtn", &TKVLanguageResource::RSCancel},
                        {"actREOBold", &TKVLanguageResource::RSBold},
                        {"actREOItalic", &TKVLanguageResource::RSItalic},
                        {"actREOUnderline", &TKVLanguageResource::RSUnderline},
                        {"actREOColor", &TKVLanguageResource::RSColor},
                        {"actREOLeftAlign", &TKVLanguageResource::RSAlignLeft},
                        {"actREOCenterAlign", &TKVLanguageResource::RSCenter},
                        {"actREORightAlign", &TKVLanguageResource::RSAlignRight},
                        {"actREOBullet", &TKVLanguageResource::RSBullets},
                        {"actREOInsertObject", &TKVLanguageResource::RSInsertObject},
                        {"actREOObjectProperties", &TKVLanguageResource::RSObjectProperties},
                        {"actREOInsertIcon", &TKVLanguageResource::RSInsertIcon},
                        {"actREOInsTime", &TKVLanguageResource::RSInsertTime},
                        {"actREOSaveRTF", &TKVLanguageResource::RSSaveToRTF}});
  for (QAction* a : findChildren<QAction*>(Qt::FindDirectChildrenOnly))
    if (a->objectName().startsWith(QLatin1String("actREO"))) a->setToolTip(StripMnemonics(a->text()));

  resize(kClientWidth, kClientHeight);
  setMinimumSize(QSize(kClientWidth, kClientHeight).expandedTo(minimumSizeHint()));
  formState_ = std::make_unique<TKVFormState>(this);
  formState_->SaveSize = true;
  formState_->SavePos = false;
  formState_->RegKey = kSettingsKey;
  formState_->LoadState();
  formState_->ApplyBounds();
  EditorChange();
}

TQuickNotesForm::~TQuickNotesForm() {
  nbPrint_->SetNbEdit(nullptr);
  delete nbPrint_;
}

QAction* TQuickNotesForm::Action(const char* name) const {
  auto* a = findChild<QAction*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
  if (!a) throw EKVError(QStringLiteral("No action %1").arg(QLatin1String(name)));
  return a;
}

void TQuickNotesForm::CreateActions() {
  const auto add = [this](TKVRichEditOLEAction* a, const char* name) {
    a->setObjectName(QLatin1String(name));
    a->SetControl(editor_);
    return a;
  };
  const auto proc = [&](TactREOProc* a, const char* name, void (TQuickNotesForm::*run)(TKVRichEditOLE&)) {
    add(a, name);
    a->ExecProc = [this, run](TKVRichEditOLE& e) { (this->*run)(e); };
    return a;
  };
  acts_.Bold = add(new TactREOBold(this), "actREOBold");
  acts_.Italic = add(new TactREOItalic(this), "actREOItalic");
  acts_.Underline = add(new TactREOUnderline(this), "actREOUnderline");
  auto* color = new TactREOProc(this);
  color->ExecProc = ChooseSelectionColor;
  acts_.Color = add(color, "actREOColor");
  acts_.LeftAlign = add(new TactREOLeftAlign(this), "actREOLeftAlign");
  acts_.CenterAlign = add(new TactREOCenterAlign(this), "actREOCenterAlign");
  acts_.RightAlign = add(new TactREORightAlign(this), "actREORightAlign");
  auto* align = new QActionGroup(this);
  align->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);  // none is down for justified text
  for (QAction* a : {acts_.LeftAlign, acts_.CenterAlign, acts_.RightAlign}) align->addAction(a);
  acts_.Bullet = proc(new TactREOProc(this), "actREOBullet", &TQuickNotesForm::actREOBulletExecProc);
  const std::vector<TKVRichEditOLEAction*> editing = NewEditingActions(this, editor_);
  acts_.Cut = editing[0];
  acts_.Copy = editing[1];
  acts_.Paste = editing[2];
  acts_.PasteSpecial = editing[3];
  acts_.SelectAll = editing[4];
  acts_.Undo = editing[5];
  acts_.InsertObject = add(new TactREOInsertObject(this), "actREOInsertObject");
  acts_.ObjectProperties = add(new TactREOObjectProperties(this), "actREOObjectProperties");
  acts_.InsertIcon = proc(new TactREOProc(this), "actREOInsertIcon", &TQuickNotesForm::actREOInsertIconExecProc);
  acts_.InsTime = proc(new TactREOProc(this), "actREOInsTime", &TQuickNotesForm::actREOInsTimeExecProc);
  acts_.SaveRTF = proc(new TactREOReadProc(this), "actREOSaveRTF", &TQuickNotesForm::actREOSaveRTFExecProc);
  // The editor's own keys do these; the shortcuts are shown in the menu only.
  for (QAction* a : findChildren<QAction*>(Qt::FindDirectChildrenOnly)) a->setShortcutContext(Qt::WidgetShortcut);
  // A toggle leaves the button as the text now is.
  for (QAction* a : {acts_.Bold, acts_.Italic, acts_.Underline, acts_.LeftAlign, acts_.CenterAlign, acts_.RightAlign,
                     acts_.Bullet}) {
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, Guarded([this] { EditorChange(); }));
  }
}

void TQuickNotesForm::CreateControls() {
  // A row of flat buttons rather than a QToolBar: the window never gets narrower than all of them,
  // so none hides behind an overflow arrow.
  auto* toolBar = new QWidget(this);
  toolBar->setObjectName(QStringLiteral("ToolBar1"));
  auto* tools = new QHBoxLayout(toolBar);
  tools->setContentsMargins(0, 0, 0, 0);
  tools->setSpacing(1);
  const auto separator = [&] {
    auto* line = new QFrame(toolBar);
    line->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    tools->addSpacing(2);
    tools->addWidget(line);
    tools->addSpacing(2);
  };
  const auto button = [&](const char* name, QAction* a, const char* icon) {
    auto* b = new TKVTriStateButton(toolBar);
    b->setObjectName(QLatin1String(name));
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    a->setIcon(RichEditToolIcon(icon));
    b->setDefaultAction(a);
    b->setIconSize(QSize(16, 16));
    tools->addWidget(b);
    return b;
  };
  button("CutBtn", acts_.Cut, "edit-cut");
  button("CopyBtn", acts_.Copy, "edit-copy");
  button("PasteBtn", acts_.Paste, "edit-paste");
  separator();
  boldBtn_ = button("BoldBtn", acts_.Bold, "format-text-bold");
  italicBtn_ = button("ItalicBtn", acts_.Italic, "format-text-italic");
  underlineBtn_ = button("UnderlineBtn", acts_.Underline, "format-text-underline");
  button("ColorBtn", acts_.Color, "format-text-color");
  separator();
  button("LeftAlignBtn", acts_.LeftAlign, "format-justify-left");
  button("CenterBtn", acts_.CenterAlign, "format-justify-center");
  button("RightAlignBtn", acts_.RightAlign, "format-justify-right");
  button("BulletsBtn", acts_.Bullet, "format-list-unordered");
  separator();
  button("InsertIconBtn", acts_.InsertIcon, "insert-image");
  button("InsertTimeBtn", acts_.InsTime, "appointment-new");
  tools->addStretch(1);

  fontBox_ = new TKVFontComboBox(this);
  fontBox_->setObjectName(QStringLiteral("FontBox"));
  fontSizeBox_ = new TKVFontSizeComboBox(this);
  fontSizeBox_->setObjectName(QStringLiteral("FontSizeBox"));
  fontSizeBox_->setFixedWidth(fontSizeBox_->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 36);
  fontCharsetBox_ = new TKVFontCharsetComboBox(this);
  fontCharsetBox_->setObjectName(QStringLiteral("FontCharsetBox"));
  fontCharsetBox_->SetAddDefaultCharset(true);
  fontBox_->SetFontSize(fontSizeBox_);
  fontBox_->SetFontCharset(fontCharsetBox_);
  fontBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  fontBox_->setMinimumContentsLength(10);
  fontCharsetBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  fontCharsetBox_->setMinimumContentsLength(7);
  fontBox_->OnChange.Set([this](TKVFontComboBox*) { RunGuarded([this] { FontBoxChange(); }); });
  // The size and charset boxes report their refills too; only what the user chooses is applied. A
  // size is taken when chosen from the list or when typing ends (Enter, or leaving the box), not
  // at every key.
  connect(fontCharsetBox_, &QComboBox::activated, this, Guarded([this] { FontCharsetBoxChange(); }));
  connect(fontSizeBox_, &QComboBox::activated, this, Guarded([this] { FontSizeBoxChange(); }));
  connect(fontSizeBox_->lineEdit(), &QLineEdit::textEdited, this, [this] { sizeEdited_ = true; });
  connect(fontSizeBox_->lineEdit(), &QLineEdit::editingFinished, this, Guarded([this] {
            if (sizeEdited_) FontSizeBoxChange();
          }));

  popupMenu_ = new QMenu(this);
  popupMenu_->setObjectName(QStringLiteral("EditorPopupMenu"));
  popupMenu_->addActions({acts_.Cut, acts_.Copy, acts_.Paste, acts_.PasteSpecial, acts_.SelectAll, acts_.Undo});
  popupMenu_->addSeparator();
  popupMenu_->addAction(acts_.SaveRTF);
  popupMenu_->addSeparator();
  popupMenu_->addActions({acts_.InsertIcon, acts_.InsertObject, acts_.ObjectProperties});
  editor_->PopupMenu = popupMenu_;
  editor_->OnChange.Set([this](TKVCustomRichEdit*) { RunGuarded([this] { EditorChange(); }); });
  editor_->OnSelectionChange.Set([this](TKVCustomRichEdit*) { RunGuarded([this] { EditorChange(); }); });
  editor_->OnURLClick.Set([this](TKVCustomRichEdit*, const QString& url, Qt::MouseButton b) {
    RunGuarded([&] { EditorURLClick(url, b); });
  });

  printBtn_ = new QPushButton(this);
  printBtn_->setObjectName(QStringLiteral("PrintQuickNotesBtn"));
  printBtn_->setAutoDefault(false);
  okBtn_ = new QPushButton(this);
  okBtn_->setObjectName(QStringLiteral("OKBtn"));
  okBtn_->setAutoDefault(false);
  cancelBtn_ = new QPushButton(this);
  cancelBtn_->setObjectName(QStringLiteral("CancelBtn"));
  cancelBtn_->setAutoDefault(false);
  connect(printBtn_, &QPushButton::clicked, this, Guarded([this] { PrintQuickNotesBtnClick(); }));
  connect(okBtn_, &QPushButton::clicked, this, Guarded([this] { OKBtnClick(); }));
  connect(cancelBtn_, &QPushButton::clicked, this, Guarded([this] { CancelBtnClick(); }));

  auto* fonts = new QHBoxLayout;
  fonts->setSpacing(4);
  fonts->addWidget(fontBox_, 1);
  fonts->addWidget(fontSizeBox_);
  fonts->addWidget(fontCharsetBox_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(printBtn_);
  buttons->addStretch(1);
  buttons->addWidget(okBtn_);
  buttons->addWidget(cancelBtn_);
  auto* form = new QVBoxLayout(this);
  form->setContentsMargins(6, 4, 6, 6);
  form->setSpacing(4);
  form->addWidget(toolBar);
  form->addLayout(fonts);
  form->addWidget(editor_, 1);
  form->addLayout(buttons);
}

// ---------------------------------------------------------------------------------------------
// Showing and hiding

void TQuickNotesForm::ShowForm() {
  if (isVisible()) {
    ForceForegroundWindow(this);
    return;
  }
  show();
  ForceForegroundWindow(this);
}

void TQuickNotesForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A window restored from the task bar keeps what is being written.
  if (!event->spontaneous()) RunGuarded([this] { FormShow(); });
}

void TQuickNotesForm::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous()) RunGuarded([this] { FormHide(); });
}

void TQuickNotesForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  editor_->viewport()->update();
}

void TQuickNotesForm::FormShow() {
  editor_->SetRTFText(model_.Notes->QuickNote.Text());
  editor_->ClearUndo();
  editor_->SetModified(false);
  EditorChange();
  FocusEditor();
}

void TQuickNotesForm::FormHide() {
  formState_->StoreBounds();
  formState_->SaveState();
}

// ---------------------------------------------------------------------------------------------
// OK, Cancel, printing

void TQuickNotesForm::OKBtnClick() {
  // What cannot be saved is told once; the notes stay in memory for the next save.
  const TSaveReport report;
  model_.Notes->QuickNote.SetText(editor_->GetRTFText());
  if (!SaveQuickNotes(model_)) model_.SaveFailed = true;
  if (model_.Ini->ShowNotes) {
    model_.RenderCalendar(false);
    if (!model_.FullScreenVisible()) hooks_.SaveMirova();
  }
  accept();
}

void TQuickNotesForm::CancelBtnClick() { reject(); }

TPrintForm& TQuickNotesForm::PrintForm() {
  return hooks_.PrintForm();
}

void TQuickNotesForm::PrintQuickNotesBtnClick() {
  TNbObject entry;
  entry.Text = editor_->GetRTFText();
  nbPrint_->SetNbEdit(editor_);
  const auto unbind = qScopeGuard([this] { nbPrint_->SetNbEdit(nullptr); });
  TPrintForm& options = PrintForm();
  if (!options.Execute(false)) return;
  try {
    nbPrint_->PrintEntry(&entry, kApplicationTitle, options.LeftMargin, options.TopMargin, options.RightMargin,
                         options.BottomMargin, options.InInches, options.Copies);
  } catch (const std::exception& e) {
    qWarning("Printing the quick notes failed: %s", e.what());
    KVMessageBox(LanguageResource().RSPrintingError, QString(), IDI_WARNING_ICON, 0, ButtonsOK);
  }
}

// ---------------------------------------------------------------------------------------------
// Toolbar and font boxes

void TQuickNotesForm::EditorChange() {
  const QScopedValueRollback<int> quiet(updating_, updating_ + 1);
  sizeEdited_ = false;
  TKVTextAttributes& a = editor_->SelAttributes();
  const TConsistentAttributes ca = a.ConsistentAttributes();
  fontBox_->SetFontName(ca & Bit(caFace) ? DrawnFontFamily(a.Name()) : QString());
  ShowSizeAndCharset();
  const TFontStyles style = a.Style();
  const auto sync = [&](TKVTriStateButton* b, QAction* action, TConsistentAttribute attr, TFontStyle s) {
    const Qt::CheckState state = !(ca & Bit(attr)) ? Qt::PartiallyChecked
                                 : (style & FontStyle(s)) ? Qt::Checked
                                                          : Qt::Unchecked;
    action->setChecked(state == Qt::Checked);
    b->SetState(state);
  };
  sync(boldBtn_, acts_.Bold, caBold, fsBold);
  sync(italicBtn_, acts_.Italic, caItalic, fsItalic);
  sync(underlineBtn_, acts_.Underline, caUnderline, fsUnderline);
  const int align = editor_->Paragraph().Alignment();
  acts_.LeftAlign->setChecked(align == 0);
  acts_.CenterAlign->setChecked(align == 2);
  acts_.RightAlign->setChecked(align == 1);
  acts_.Bullet->setChecked(editor_->Paragraph().Numbering() != nbNone);
}

void TQuickNotesForm::ShowSizeAndCharset() {
  TKVTextAttributes& a = editor_->SelAttributes();
  fontSizeBox_->setEditText(a.ConsistentAttributes() & Bit(caSize) ? QString::number(a.Size()) : QString());
  const int charset = a.Charset();
  fontCharsetBox_->setCurrentIndex(fontCharsetBox_->IndexOfCharset(charset == 0 ? DEFAULT_CHARSET : charset));
}

void TQuickNotesForm::FocusEditor() {
  if (editor_->isVisible() && editor_->isEnabled()) editor_->setFocus();
}

void TQuickNotesForm::FontBoxChange() {
  if (updating_) return;
  const QString name = fontBox_->currentText();
  if (!name.isEmpty()) {
    editor_->SelAttributes().SetName(name);
    const QScopedValueRollback<int> quiet(updating_, updating_ + 1);
    ShowSizeAndCharset();
  }
  FocusEditor();
}

void TQuickNotesForm::FontSizeBoxChange() {
  if (updating_) return;
  sizeEdited_ = false;
  bool ok = false;
  const int size = fontSizeBox_->currentText().trimmed().toInt(&ok);
  if (ok && size > 0) {
    editor_->SelAttributes().SetSize(size);
  } else {
    const QScopedValueRollback<int> quiet(updating_, updating_ + 1);
    ShowSizeAndCharset();
  }
  FocusEditor();
}

void TQuickNotesForm::FontCharsetBoxChange() {
  if (updating_) return;
  editor_->SelAttributes().SetCharset(fontCharsetBox_->GetItemCharset(fontCharsetBox_->currentIndex()));
  FocusEditor();
}

// ---------------------------------------------------------------------------------------------
// The form's own actions

void TQuickNotesForm::actREOBulletExecProc(TKVRichEditOLE& KVRE) {
  KVRE.Paragraph().SetNumbering(KVRE.Paragraph().Numbering() == nbNone ? nbBullet : nbNone);
}

void TQuickNotesForm::actREOInsTimeExecProc(TKVRichEditOLE& KVRE) {
  KVRE.SetSelText(QLocale().toString(hooks_.Now().time(), QLocale::ShortFormat));
  // The caret goes after the time, as after anything typed or pasted.
  KVRE.SetSelStart(KVRE.SelStart() + KVRE.SelLength());
}

void TQuickNotesForm::actREOInsertIconExecProc(TKVRichEditOLE& KVRE) {
  if (hooks_.PickIcon()) KVRE.paste();
}

void TQuickNotesForm::actREOSaveRTFExecProc(TKVRichEditOLE& KVRE) {
  const TKVLanguageResource& l = LanguageResource();
  Tini& ini = *model_.Ini;
  QString name = FileDialogs().SaveFileName(this, StripMnemonics(l.RSSaveToRTF), StartFolder(ini.RTFFolder, FolderDocuments),
                                            QStringLiteral("Rich Text files (*.rtf)"));
  if (name.isEmpty()) return;
  if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".rtf");
  try {
    SaveStrToFile(name, KVRtfBytes(KVRE.GetRTFText()));
    ini.RTFFolder = QFileInfo(name).absolutePath();
  } catch (const EKVError& e) {
    qWarning("%s", qUtf8Printable(e.Message()));
    KVMessageBox(Format(l.RSCannotSave, {name}) + QLatin1Char('\n') + l.RSDiskFull, QString(), IDI_ERROR_ICON, 0,
                 ButtonsOK);
  }
}

void TQuickNotesForm::EditorURLClick(const QString& url, Qt::MouseButton button) {
  if (button != Qt::LeftButton) return;
  if (url.contains(QLatin1String("mailto:"), Qt::CaseInsensitive)) SendMailTo(url, MailProgramPath, false);
  else OpenURL(url, BrowserPath, false);
}
