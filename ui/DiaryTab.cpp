#include "ui/DiaryTab.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyleOptionToolButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "controls/KVFontCombo.h"
#include "controls/KVListBox.h"
#include "controls/KVNbModule.h"
#include "controls/KVRichEdActions.h"
#include "controls/KVRichEdOLE.h"
#include "controls/KVRichText.h"
#include "foundation/KVForms.h"
#include "foundation/KVRes.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVXSkinBase.h"
#include "platform/KVClock.h"
#include "ui/MainF.h"
#include "ui/ToolIcons.h"
#include "ui/printf.h"

// ---------------------------------------------------------------------------------------------
// Links

TRichLink ClassifyRichTextLink(const QString& URLText) {
  const QString text = URLText.trimmed();
  for (const QChar c : text)
    if (c.isSpace() || c.category() == QChar::Other_Control) return {};
  const auto starts = [&](const char* prefix) { return text.startsWith(QLatin1String(prefix), Qt::CaseInsensitive); };
  if (starts("mailto:")) {
    const QUrl url(text, QUrl::StrictMode);
    if (text.size() > 7 && url.isValid()) return {TRichLinkKind::Mail, text};
    return {};
  }
  QString address = text;
  if (starts("www.")) address = QStringLiteral("http://") + text;
  else if (!starts("http://") && !starts("https://") && !starts("ftp://")) return {};
  const QUrl url(address, QUrl::StrictMode);
  if (!url.isValid() || url.host().isEmpty()) return {};
  return {TRichLinkKind::Web, address};
}

void RTFURLClick(const QString& URLText, Qt::MouseButton Button) {
  if (Button != Qt::LeftButton) return;
  const TRichLink link = ClassifyRichTextLink(URLText);
  switch (link.Kind) {
    case TRichLinkKind::Web: OpenURL(link.Address, QString(), true); break;
    case TRichLinkKind::Mail: SendMailTo(link.Address, QString(), true); break;
    case TRichLinkKind::None: qWarning("A link that is no web or mail address was not opened"); break;
  }
}

bool IsEditingKey(const QKeyEvent& e) {
  if (StyleKeyOf(e)) return true;
  for (QKeySequence::StandardKey k : {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
                                      QKeySequence::Delete, QKeySequence::Backspace, QKeySequence::DeleteEndOfWord,
                                      QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfLine,
                                      QKeySequence::DeleteCompleteLine, QKeySequence::InsertParagraphSeparator,
                                      QKeySequence::InsertLineSeparator})
    if (e.matches(k)) return true;
  switch (e.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
      return true;
    default:
      break;
  }
  // Typed text; shortcuts with Ctrl (copy, select all) bring control characters or nothing.
  if (e.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
  const QString t = e.text();
  return !t.isEmpty() && t.at(0).isPrint();
}

// ---------------------------------------------------------------------------------------------
// The tri-state button

// ---------------------------------------------------------------------------------------------

namespace {


// Tells when the notebook goes, so that the page lets go of it only while it exists.
class TComponentWatch : public TComponent {
 public:
  explicit TComponentWatch(TComponent* watched) : watched_(watched) { FreeNotification(watched); }
  TComponent* Watched() const { return watched_; }
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == TOperation::opRemove && component == watched_) watched_ = nullptr;
    TComponent::Notification(component, operation);
  }

 private:
  TComponent* watched_;
};

}  // namespace

TDiaryTab::TDiaryTab(TMirModel& model, TDiaryTabHooks hooks, QWidget* parent)
    : QWidget(parent), model_(model), hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("DiaryPage"));
  if (!hooks_.PrintForm) hooks_.PrintForm = []() -> TPrintForm* { return nullptr; };
  CreateControls();
  ApplyTexts();
  nbWatch_ = std::make_unique<TComponentWatch>(model_.NbDiary);

  TNbModule& nb = *model_.NbDiary;
  nb.OnActiveChanging.Set([this](TPersistent*) { NbDiaryActiveChanging(); });
  nb.OnActiveChanged.Set([this](TPersistent*) { NbDiaryActiveChanged(); });
  connect(&model_.Changes, &TMirModelChanges::DiaryListChanged, this, Guarded([this] { ShowAllBtnClick(); }));
  // The editor's toolbar follows the loaded diary, which nobody has edited yet.
  connect(&model_.Changes, &TMirModelChanges::DiaryLoaded, this, Guarded([this] {
            EditorChange();
            DiaryEditorModified = false;
          }));
}

TDiaryTab::~TDiaryTab() {
  // The notebook may be gone already (the model goes before the form's widgets).
  if (auto* nb = static_cast<TNbModule*>(static_cast<TComponentWatch&>(*nbWatch_).Watched())) {
    nb->OnActiveChanging.Clear();
    nb->OnActiveChanged.Clear();
    nb->Data().OnNextID.Clear();
    nb->SetSearchBox(nullptr);
    nb->SetSearchEdit(nullptr);
    nb->SetNbEdit(nullptr);
  }
}

void TDiaryTab::CreateControls() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  bottomPanel_ = Named(new QWidget(this), "BottomPanel");
  outer->addWidget(bottomPanel_);
  auto* bottom = new QVBoxLayout(bottomPanel_);
  bottom->setContentsMargins(4, 4, 4, 4);
  splitter_ = Named(new QSplitter(Qt::Horizontal, bottomPanel_), "Splitter1");
  splitter_->setChildrenCollapsible(false);
  bottom->addWidget(splitter_);

  // The entry side: the calendar, the search and the list.
  leftPanel_ = Named(new QWidget(splitter_), "LeftPanel");
  auto* left = new QVBoxLayout(leftPanel_);
  left->setContentsMargins(0, 0, 4, 0);
  panel2_ = Named(new QWidget(leftPanel_), "Panel2");
  monthCalendar_ = Named(new QCalendarWidget(panel2_), "MonthCalendar");
  monthCalendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  todayLabel_ = Named(new QLabel(panel2_), "TodayLabel");
  todayLabel_->setCursor(Qt::PointingHandCursor);
  todayLabel_->installEventFilter(this);
  panel2_->installEventFilter(this);
  left->addWidget(panel2_);

  auto* searchRow = new QHBoxLayout;
  searchEdit_ = Named(new QLineEdit(leftPanel_), "SearchEdit");
  findBtn_ = Named(new QPushButton(leftPanel_), "FindBtn");
  searchRow->addWidget(searchEdit_, 1);
  searchRow->addWidget(findBtn_);
  left->addLayout(searchRow);
  findKeywords_ = Named(new QComboBox(leftPanel_), "FindKeywords");
  left->addWidget(findKeywords_);
  diaryList_ = Named(new TKVListBox(leftPanel_), "DiaryList");
  diaryList_->setContextMenuPolicy(Qt::CustomContextMenu);
  diaryList_->installEventFilter(this);
  left->addWidget(diaryList_, 1);
  auto* listButtons = new QHBoxLayout;
  showAllBtn_ = Named(new QPushButton(leftPanel_), "ShowAllBtn");
  printDiaryBtn_ = Named(new QPushButton(leftPanel_), "PrintDiaryBtn");
  listButtons->addWidget(showAllBtn_);
  listButtons->addWidget(printDiaryBtn_);
  left->addLayout(listButtons);
  diaryListPopupMenu_ = Named(new QMenu(this), "DiaryListPopupMenu");

  // The editing side: the toolbar and the editor.
  auto* right = Named(new QWidget(splitter_), "EditorPanel");
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(4, 0, 0, 0);
  auto* fonts = new QHBoxLayout;
  fontBox_ = Named(new TKVFontComboBox(right), "FontBox");
  fontBox_->setMinimumContentsLength(8);
  fontBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  fontSizeBox_ = Named(new TKVFontSizeComboBox(right), "FontSizeBox");
  fontSizeBox_->setMinimumContentsLength(3);
  fontSizeBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  fontCharsetBox_ = Named(new TKVFontCharsetComboBox(right), "FontCharsetBox");
  fontCharsetBox_->SetAddDefaultCharset(true);
  fontCharsetBox_->setMinimumContentsLength(7);
  fontCharsetBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  fontBox_->SetFontSize(fontSizeBox_);
  fontBox_->SetFontCharset(fontCharsetBox_);
  fonts->addWidget(fontBox_, 1);
  fonts->addWidget(fontSizeBox_);
  fonts->addWidget(fontCharsetBox_);
  rightLayout->addLayout(fonts);

  auto* tools = new QHBoxLayout;
  tools->setSpacing(1);
  const auto styleButton = [&](const char* name, const char* icon) {
    auto* b = Named(new TKVTriStateButton(right), name);
    b->setIcon(RichEditToolIcon(icon));
    tools->addWidget(b);
    return b;
  };
  bBtn_ = styleButton("BBtn", "format-text-bold");
  iBtn_ = styleButton("IBtn", "format-text-italic");
  uBtn_ = styleButton("UBtn", "format-text-underline");
  colorBtn_ = Named(new QToolButton(right), "ColorBtn");
  colorBtn_->setIcon(RichEditToolIcon("format-text-color"));
  colorBtn_->setAutoRaise(true);
  tools->addWidget(colorBtn_);
  tools->addSpacing(8);
  const auto paraButton = [&](const char* name, const char* icon) {
    auto* b = Named(new QToolButton(right), name);
    b->setIcon(RichEditToolIcon(icon));
    b->setCheckable(true);
    b->setAutoRaise(true);
    tools->addWidget(b);
    return b;
  };
  alignLeftBtn_ = paraButton("AlignLeftBtn", "format-justify-left");
  alignCenterBtn_ = paraButton("AlignCenterBtn", "format-justify-center");
  alignRightBtn_ = paraButton("AlignRightBtn", "format-justify-right");
  tools->addSpacing(8);
  bulletBtn_ = paraButton("BulletBtn", "format-list-unordered");
  tools->addStretch(1);
  rightLayout->addLayout(tools);

  editor_ = Named(new TKVRichEditOLE(right), "Editor");
  editor_->installEventFilter(this);
  rightLayout->addWidget(editor_, 1);
  auto* editorMenu = Named(new QMenu(this), "EditorPopupMenu");
  for (QAction* a : NewEditingActions(this, editor_)) editorMenu->addAction(a);
  editor_->PopupMenu = editorMenu;

  splitter_->addWidget(leftPanel_);
  splitter_->addWidget(right);
  // The entry side keeps its width while the window grows.
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);

  // The style and alignment buttons run the editor actions, which also know when they can act.
  actBold_ = new TactREOBold(this);
  actItalic_ = new TactREOItalic(this);
  actUnderline_ = new TactREOUnderline(this);
  actLeft_ = new TactREOLeftAlign(this);
  actCenter_ = new TactREOCenterAlign(this);
  actRight_ = new TactREORightAlign(this);
  auto* actColor = new TactREOProc(this);
  actColor->ExecProc = ChooseSelectionColor;
  const std::pair<QToolButton*, TKVRichEditOLEAction*> bound[] = {
      {bBtn_, actBold_},         {iBtn_, actItalic_},          {uBtn_, actUnderline_},    {colorBtn_, actColor},
      {alignLeftBtn_, actLeft_}, {alignCenterBtn_, actCenter_}, {alignRightBtn_, actRight_}};
  for (const auto& pair : bound) {
    // Named copies: clang 14 cannot capture structured bindings.
    QToolButton* button = pair.first;
    TKVRichEditOLEAction* action = pair.second;
    action->SetControl(editor_);
    const auto sync = [button, action] { button->setEnabled(action->isEnabled()); };
    sync();
    connect(action, &QAction::changed, button, sync);
    connect(button, &QToolButton::clicked, this, Guarded([this, action] {
              action->trigger();
              EditorChange();
            }));
  }
  connect(bulletBtn_, &QToolButton::clicked, this, Guarded([this] { BulletBtnClick(); }));

  connect(fontBox_, &QComboBox::activated, this, Guarded([this] { FontBoxChange(); }));
  connect(fontSizeBox_, &QComboBox::activated, this, Guarded([this] { FontSizeBoxChange(); }));
  connect(fontSizeBox_->lineEdit(), &QLineEdit::returnPressed, this, Guarded([this] { FontSizeBoxChange(); }));
  connect(fontCharsetBox_, &QComboBox::activated, this, Guarded([this] { FontCharsetBoxChange(); }));

  editor_->OnChange.Set([this](TKVCustomRichEdit*) { RunGuarded([this] { EditorChange(); }); });
  editor_->OnSelectionChange.Set([this](TKVCustomRichEdit*) { RunGuarded([this] { EditorChange(); }); });
  editor_->OnURLClick.Set([](TKVCustomRichEdit*, const QString& url, Qt::MouseButton button) {
    RunGuarded([&] { RTFURLClick(url, button); });
  });

  connect(monthCalendar_, &QCalendarWidget::selectionChanged, this, Guarded([this] { MonthCalendarChange(); }));
  connect(findBtn_, &QPushButton::clicked, this, Guarded([this] { FindBtnClick(); }));
  connect(searchEdit_, &QLineEdit::returnPressed, this, Guarded([this] { FindBtnClick(); }));
  connect(findKeywords_, &QComboBox::activated, this, Guarded([this] { FindKeywordsChange(); }));
  connect(showAllBtn_, &QPushButton::clicked, this, Guarded([this] { ShowAllBtnClick(); }));
  connect(printDiaryBtn_, &QPushButton::clicked, this, Guarded([this] { PrintDiaryBtnClick(); }));
  connect(splitter_, &QSplitter::splitterMoved, this, Guarded([this] { Splitter1Moved(); }));
  connect(diaryList_, &QWidget::customContextMenuRequested, this, Guarded([this](const QPoint& pos) {
            if (!diaryListPopupMenu_->actions().isEmpty())
              diaryListPopupMenu_->popup(diaryList_->viewport()->mapToGlobal(pos));
          }));
}

void TDiaryTab::ApplyTexts() {
  const TKVLanguageResource& l = LanguageResource();
  ApplyCaptions(*this, {{"FindBtn", &TKVLanguageResource::RSFind},
                        {"ShowAllBtn", &TKVLanguageResource::RSShowAllNotes},
                        {"PrintDiaryBtn", &TKVLanguageResource::RSPrintDiary}});
  findKeywords_->clear();
  findKeywords_->addItems({l.RSExactphrase, l.RSAllkeywords, l.RSAnykeyword});
  UpdateTodayLabel();
}

void TDiaryTab::UpdateTodayLabel() {
  todayLabel_->setText(LanguageResource().RSToday + QStringLiteral(": ") +
                       QLocale().toString(KVNow().date(), QLocale::ShortFormat));
  todayLabel_->adjustSize();
  Panel2Resize();
}

void TDiaryTab::InitializePage() {
  TNbModule& nb = *model_.NbDiary;
  nb.SetSearchEdit(searchEdit_);
  nb.SetSearchBox(diaryList_);
  nb.SetNbEdit(editor_);
  nb.Data().OnNextID.Set([this](QString& id) { id = DiaryDateKey(); });
  nb.TitleFormat = model_.Ini->DiaryLongDate ? QStringLiteral("ddt") : QStringLiteral("dt");
  findKeywords_->setCurrentIndex(0);
  nb.SearchKeywords = nbsExact;
  diaryList_->SetSortStyle(soDiaryAscending);
  SetLeftPanelWidth(model_.Ini->DiarySplit);
  Panel2Resize();
}

// ---------------------------------------------------------------------------------------------
// Entries and the calendar

QString TDiaryTab::DiaryDateKey() const { return DateKey(monthCalendar_->selectedDate()); }

void TDiaryTab::NbDiaryActiveChanging() { DiaryEditorModified = editor_->Modified(); }

void TDiaryTab::NbDiaryActiveChanged() {
  const QString id = model_.NbDiary->ActiveID();
  // Only an ID in the key form moves the calendar; other IDs (a linked diary's) leave it alone.
  const QDate date = QDate::fromString(id, QStringLiteral("yyyy/MM/dd"));
  if (id.size() == 10 && date.isValid()) {
    const QSignalBlocker quiet(monthCalendar_);
    monthCalendar_->setSelectedDate(date);
  }
  EditorChange();
  if (model_.Ini->ShowNotes && DiaryEditorModified && hooks_.RenderCalendar) hooks_.RenderCalendar(false);
  DiaryEditorModified = false;
}

void TDiaryTab::MonthCalendarChange() {
  const QString key = DiaryDateKey();
  if (key != model_.NbDiary->ActiveID()) model_.NbDiary->SetActiveID(key);
}

void TDiaryTab::TodayLabelClick() {
  const QSignalBlocker quiet(monthCalendar_);
  monthCalendar_->setSelectedDate(KVNow().date());
}

void TDiaryTab::ShowToday() {
  UpdateTodayLabel();
  TodayLabelClick();
  MonthCalendarChange();
}

void TDiaryTab::actDeleteDiaryEntryExecute() {
  if (model_.NbDiary->ReadOnly) {
    CheckDiaryReadOnly();
    return;
  }
  model_.NbDiary->SearchBoxKeyUp(Qt::Key_Delete, Qt::NoModifier);
}

bool TDiaryTab::CheckDiaryReadOnly() {
  if (!model_.NbDiary->ReadOnly) return false;
  KVMessageBox(LanguageResource().RSMirovaCalendarDiaryReadOnlyMsg, QString(), IDI_WARNING_ICON, 0, ButtonsOK);
  return true;
}

void TDiaryTab::ShowAllBtnClick() {
  model_.NbDiary->SetShowAll(true);
  showAllBtn_->setEnabled(false);
}

void TDiaryTab::FindBtnClick() {
  model_.NbDiary->SetShowAll(false);
  showAllBtn_->setEnabled(true);
}

void TDiaryTab::FindKeywordsChange() {
  model_.NbDiary->SearchKeywords = TNbSearchKeywords(std::clamp(findKeywords_->currentIndex(), 0, 2));
}

// ---------------------------------------------------------------------------------------------
// The toolbar

void TDiaryTab::SetFontSizeText(const QString& text) {
  const QSignalBlocker quiet(fontSizeBox_);
  fontSizeBox_->setCurrentIndex(fontSizeBox_->findText(text));
  fontSizeBox_->setEditText(text);
}

void TDiaryTab::EditorChange() {
  const QScopedValueRollback<int> filling(updating_, updating_ + 1);
  TKVTextAttributes& a = editor_->SelAttributes();
  const TConsistentAttributes same = a.ConsistentAttributes();
  const auto consistent = [same](TConsistentAttribute c) { return (same & (TConsistentAttributes(1) << c)) != 0; };
  const TFontStyles style = a.Style();
  {
    const QSignalBlocker q1(fontBox_), q2(fontCharsetBox_);
    fontBox_->SetFontName(consistent(caFace) ? DrawnFontFamily(a.Name()) : QString());
    SetFontSizeText(consistent(caSize) ? QString::number(a.Size()) : QString());
    const int charset = a.Charset() == 0 ? DEFAULT_CHARSET : a.Charset();
    fontCharsetBox_->setCurrentIndex(fontCharsetBox_->IndexOfCharset(charset));
  }
  const auto state = [&](TConsistentAttribute c, TFontStyle s) {
    if (!consistent(c)) return Qt::PartiallyChecked;
    return (style & FontStyle(s)) ? Qt::Checked : Qt::Unchecked;
  };
  bBtn_->SetState(state(caBold, fsBold));
  iBtn_->SetState(state(caItalic, fsItalic));
  uBtn_->SetState(state(caUnderline, fsUnderline));
  TKVParaAttributes& para = editor_->Paragraph();
  const int alignment = para.Alignment();
  alignLeftBtn_->setChecked(alignment == 0);
  alignRightBtn_->setChecked(alignment == 1);
  alignCenterBtn_->setChecked(alignment == 2);
  bulletBtn_->setChecked(para.Numbering() == nbBullet);
  bulletBtn_->setEnabled(!editor_->ReadOnly());
}

void TDiaryTab::EditorFocus() {
  if (editor_->isVisible() && editor_->isEnabled()) editor_->setFocus();
}

void TDiaryTab::FontBoxChange() {
  const QString name = fontBox_->currentText();
  if (!name.isEmpty() && !editor_->ReadOnly()) editor_->SelAttributes().SetName(name);
  EditorChange();
  EditorFocus();
}

void TDiaryTab::FontSizeBoxChange() {
  bool ok = false;
  const int size = fontSizeBox_->currentText().trimmed().toInt(&ok);
  // Sizes the editor can hold; anything else puts the selection's size back into the box.
  if (ok && size >= 1 && size <= 1638 && !editor_->ReadOnly()) editor_->SelAttributes().SetSize(size);
  EditorChange();
  if (!(ok && size >= 1 && size <= 1638)) SetFontSizeText(QString::number(editor_->SelAttributes().Size()));
  EditorFocus();
}

void TDiaryTab::FontCharsetBoxChange() {
  if (!editor_->ReadOnly())
    editor_->SelAttributes().SetCharset(fontCharsetBox_->GetItemCharset(fontCharsetBox_->currentIndex()));
  EditorFocus();
}

void TDiaryTab::BulletBtnClick() {
  if (CheckDiaryReadOnly() || editor_->ReadOnly()) {
    EditorChange();
    return;
  }
  TKVParaAttributes& para = editor_->Paragraph();
  para.SetNumbering(para.Numbering() == nbBullet ? nbNone : nbBullet);
  EditorChange();
  EditorFocus();
}

void TDiaryTab::SetDiaryReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  model_.NbDiary->ReadOnly = readOnly;
  editor_->SetReadOnly(readOnly);
  for (QWidget* w : {static_cast<QWidget*>(fontBox_), static_cast<QWidget*>(fontSizeBox_),
                     static_cast<QWidget*>(fontCharsetBox_)})
    w->setEnabled(!readOnly);
  UpdateRichEditActions();
  EditorChange();
}

// ---------------------------------------------------------------------------------------------
// Printing

TPrintForm& TDiaryTab::PrintOptions() {
  if (TPrintForm* f = hooks_.PrintForm()) return *f;
  if (!ownPrintForm_) ownPrintForm_ = new TPrintForm(this);
  return *ownPrintForm_;
}

void TDiaryTab::PrintDiaryBtnClick() {
  TNbModule& nb = *model_.NbDiary;
  nb.Post();
  TPrintForm& f = PrintOptions();
  if (!f.Execute(true)) return;
  // The notebook shows "Printing Error!" itself when printing fails.
  nb.Print(kApplicationTitle, f.InInches, f.LeftMargin, f.TopMargin, f.RightMargin, f.BottomMargin, f.Scope, f.Merge,
           f.Copies);
}

// ---------------------------------------------------------------------------------------------
// Sizes

int TDiaryTab::LeftPanelWidth() const {
  const QList<int> sizes = splitter_->sizes();
  return sizes.isEmpty() || sizes[0] <= 0 ? leftPanel_->width() : sizes[0];
}

void TDiaryTab::SetLeftPanelWidth(int width) {
  width = std::max(width, leftPanel_->minimumSizeHint().width());
  const int total = std::max(splitter_->width(), width + 200);
  splitter_->setSizes({width, std::max(1, total - width - splitter_->handleWidth())});
}

void TDiaryTab::Splitter1Moved() { model_.Ini->DiarySplit = LeftPanelWidth(); }

void TDiaryTab::FitLeftPanel() {
  if (LeftPanelWidth() > bottomPanel_->width() - 50) SetLeftPanelWidth(310);
}

void TDiaryTab::Panel2Resize() {
  const QSize c = monthCalendar_->sizeHint();
  const int labelHeight = todayLabel_->sizeHint().height();
  panel2_->setFixedHeight(c.height() + labelHeight + 6);
  const int x = std::max(0, (panel2_->width() - c.width()) / 2);
  const int y = std::max(0, (panel2_->height() - c.height()) / 2 - labelHeight);
  monthCalendar_->setGeometry(x, y, std::min(c.width(), std::max(panel2_->width(), 1)), c.height());
  todayLabel_->move(monthCalendar_->x(), monthCalendar_->geometry().bottom() + 1 + 2);
}

void TDiaryTab::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Panel2Resize();
}

// The search text of the diary is prepared while the page can be searched, and let go of when
// the settings window is put away.
void TDiaryTab::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  model_.NbDiary->PrepareSearch();
}

void TDiaryTab::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // The page is hidden before the window that is put away: looked at once that is done.
  QTimer::singleShot(0, this, [this] {
    if (!window()->isVisible()) model_.NbDiary->ReleaseSearch();
  });
}

bool TDiaryTab::eventFilter(QObject* watched, QEvent* event) {
  if (watched == editor_ && event->type() == QEvent::KeyPress) {
    // A linked diary is read-only: keys that would edit get the warning, others (moving,
    // selecting, copying) work as usual.
    const auto* key = static_cast<QKeyEvent*>(event);
    if (model_.NbDiary->ReadOnly && IsEditingKey(*key)) {
      RunGuarded([this] { CheckDiaryReadOnly(); });
      return true;
    }
  } else if (watched == diaryList_ && event->type() == QEvent::KeyPress) {
    // The list's Delete key deletes the entry; in a linked diary it gets the warning instead.
    if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete && model_.NbDiary->ReadOnly) {
      RunGuarded([this] { CheckDiaryReadOnly(); });
      return true;
    }
  } else if (watched == todayLabel_ && event->type() == QEvent::MouseButtonRelease) {
    if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) RunGuarded([this] { TodayLabelClick(); });
  } else if (watched == panel2_ && event->type() == QEvent::Resize) {
    Panel2Resize();
  }
  return QWidget::eventFilter(watched, event);
}
