#include "ui/StyleTab.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "calendar/MirLayout.h"
#include "calendar/MirModel.h"
#include "calendar/MirRender.h"
#include "calendar/iniData.h"
#include "controls/KVFontCombo.h"
#include "controls/KVSkinExtCtrls.h"
#include "foundation/KVForms.h"
#include "foundation/KVRes.h"

namespace {

// Track ranges and how a position maps to a style value.
constexpr int kTransparencySteps = 20, kNotesTransparencySteps = 19, kMonthContrastSteps = 20;

const char* const kColorButtonNames[8] = {"CalendarBaseColBtn", "SaturdayBgColBtn", "SundayBgColBtn",
                                          "DaysColBtn",         "SaturdayColBtn",   "SundayColBtn",
                                          "TodayColBtn",        "DayShadowColBtn"};

int PhysicalPixels(int logical, double ratio) { return int(std::nearbyint(logical * ratio)); }

QSlider* NewTrack(QWidget* parent, const char* name, int min, int max) {
  auto* t = new QSlider(Qt::Horizontal, parent);
  t->setObjectName(QLatin1String(name));
  t->setRange(min, max);
  t->setPageStep(1);
  t->setTickPosition(QSlider::TicksBelow);
  t->setTickInterval(1);
  return t;
}

QComboBox* NewBox(QWidget* parent, const char* name) {
  auto* b = new QComboBox(parent);
  b->setObjectName(QLatin1String(name));
  return b;
}

QGroupBox* NewGroup(QWidget* parent, const char* name) {
  auto* g = new QGroupBox(parent);
  g->setObjectName(QLatin1String(name));
  return g;
}

template <class L>
L* Tight(L* layout, int margin = 4) {
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->setSpacing(3);
  return layout;
}

}  // namespace

TWorkArea PrimaryWorkArea() {
  TWorkArea a;
  a.PixelsPerInch = ScreenPixelsPerInch();
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) {
    const QSize s = PrimaryScreenSize();
    a.ScreenHeight = a.Bottom = s.height();
    return a;
  }
  const double ratio = screen->devicePixelRatio() > 0 ? screen->devicePixelRatio() : 1.0;
  const QRect g = screen->geometry(), avail = screen->availableGeometry();
  a.ScreenHeight = PhysicalPixels(g.height(), ratio);
  a.Top = PhysicalPixels(std::max(0, avail.top() - g.top()), ratio);
  a.Bottom = PhysicalPixels(std::min(g.height(), avail.bottom() + 1 - g.top()), ratio);
  if (a.Bottom <= a.Top) {
    a.Top = 0;
    a.Bottom = a.ScreenHeight;
  }
  return a;
}

TStyleTab::TStyleTab(TMirModel& model, TStyleTabHooks hooks, QWidget* parent)
    : QWidget(parent), model_(model), hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("StyleTabPage"));
  if (!hooks_.RenderCalendar) hooks_.RenderCalendar = [this](bool recalc) { model_.RenderCalendar(recalc); };
  if (!hooks_.WorkArea) hooks_.WorkArea = [] { return PrimaryWorkArea(); };
  redrawTimer_ = new QTimer(this);
  redrawTimer_->setSingleShot(true);
  redrawTimer_->setInterval(0);
  connect(redrawTimer_, &QTimer::timeout, this, Guarded([this] { RunQueuedRedraw(); }));
  CreateControls();
  ApplyTexts();
  Connect();
}

TKVSkinColorPicker& TStyleTab::RGBPicker() const { return *rgbPicker_; }

TStyleTab::~TStyleTab() {
  // The picker is a component of the form as well; it goes with the page.
  delete rgbPicker_.data();
}

void TStyleTab::CreateControls() {
  auto* columns = Tight(new QHBoxLayout(this), 4);
  columns->setSpacing(4);

  // Font, leading, shadow, bevel and the three tracks.
  auto* left = Tight(new QVBoxLayout, 0);
  columns->addLayout(left, 0);
  fontGroup_ = NewGroup(this, "GroupBox4");
  auto* fontGrid = Tight(new QGridLayout(fontGroup_));
  calFontBox_ = new TKVFontComboBox(fontGroup_);
  calFontBox_->setObjectName(QStringLiteral("CalFontBox"));
  calFontBox_->setMinimumContentsLength(8);
  calFontBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  calFontCharsetBox_ = new TKVFontCharsetComboBox(fontGroup_);
  calFontCharsetBox_->setObjectName(QStringLiteral("CalFontCharsetBox"));
  calFontCharsetBox_->SetAddDefaultCharset(true);
  calFontCharsetBox_->setMinimumContentsLength(8);
  calFontCharsetBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  calFontBox_->SetFontCharset(calFontCharsetBox_);
  const auto toolButton = [this](const char* name, const QString& text, bool bold) {
    auto* b = new QToolButton(fontGroup_);
    b->setObjectName(QLatin1String(name));
    b->setCheckable(true);
    b->setText(text);
    QFont f = b->font();
    if (bold) f.setBold(true);
    else f.setItalic(true);
    b->setFont(f);
    return b;
  };
  calBoldBtn_ = toolButton("CalBoldBtn", QStringLiteral("B"), true);
  calItalicBtn_ = toolButton("CalItalicBtn", QStringLiteral("I"), false);
  auto* distance = new QLabel(fontGroup_);
  distance->setObjectName(QStringLiteral("Label1"));
  dayShadowBox_ = NewBox(fontGroup_, "DayShadowBox");
  distance->setBuddy(dayShadowBox_);
  fontGrid->addWidget(calFontBox_, 0, 0, 1, 4);
  fontGrid->addWidget(calFontCharsetBox_, 1, 0, 1, 4);
  fontGrid->addWidget(calBoldBtn_, 2, 0);
  fontGrid->addWidget(calItalicBtn_, 2, 1);
  fontGrid->addWidget(distance, 2, 2, Qt::AlignRight);
  fontGrid->addWidget(dayShadowBox_, 2, 3);
  fontGrid->setColumnStretch(2, 1);
  left->addWidget(fontGroup_);

  const auto boxGroup = [this, left](const char* group, const char* name) {
    QGroupBox* g = NewGroup(this, group);
    QComboBox* b = NewBox(g, name);
    Tight(new QHBoxLayout(g))->addWidget(b);
    left->addWidget(g);
    return b;
  };
  daySpaceBox_ = boxGroup("GroupBox17", "DaySpaceBox");
  bevelBox_ = boxGroup("GroupBox1", "BevelBox");

  const auto trackGroup = [this, left](const char* group, const char* name, int min, int max) {
    QGroupBox* g = NewGroup(this, group);
    QSlider* t = NewTrack(g, name, min, max);
    Tight(new QVBoxLayout(g))->addWidget(t);
    left->addWidget(g);
    return t;
  };
  transparencyTrack_ = trackGroup("GroupBox13", "TransparencyTrack", 0, kTransparencySteps);
  notesTransparencyTrack_ = trackGroup("GroupBox3", "NotesTransparencyTrack", 0, kNotesTransparencySteps);
  monthContrastTrack_ = trackGroup("GroupBox14", "MonthContrastTrack", 0, kMonthContrastSteps);
  left->addStretch(1);

  // The colours.
  QGroupBox* colors = NewGroup(this, "GroupBox15");
  columns->addWidget(colors, 1);
  colors->setMinimumWidth(250);  // the picker's 240 and the group's margins
  auto* cv = Tight(new QVBoxLayout(colors));
  cv->setSpacing(0);
  imagePackDefaultColorsChk_ = new QCheckBox(colors);
  imagePackDefaultColorsChk_->setObjectName(QStringLiteral("ImagePackDefaultColorsChk"));
  cv->addWidget(imagePackDefaultColorsChk_);
  colorButtons_ = new QButtonGroup(this);
  colorButtons_->setExclusive(true);
  for (int i = 0; i < 8; ++i) {
    colorBtn_[i] = new QRadioButton(colors);
    colorBtn_[i]->setObjectName(QLatin1String(kColorButtonNames[i]));
    colorButtons_->addButton(colorBtn_[i], i);
  }
  auto* backgrounds = new QLabel(colors);
  backgrounds->setObjectName(QStringLiteral("Label5"));
  cv->addWidget(backgrounds);
  cv->addWidget(colorBtn_[scBack]);
  calculateSatSunChk_ = new QCheckBox(colors);
  calculateSatSunChk_->setObjectName(QStringLiteral("CalculateSatSunChk"));
  cv->addWidget(calculateSatSunChk_);
  // The weekend background buttons and the contrast that derives those colours share a place:
  // only one of the two is shown.
  auto* weekend = new QWidget(colors);
  auto* wl = Tight(new QGridLayout(weekend), 0);
  wl->addWidget(colorBtn_[scSaturdayBack], 0, 0);
  wl->addWidget(colorBtn_[scSundayBack], 1, 0);
  contrastGroup_ = NewGroup(weekend, "GroupBox16");
  auto* cg = Tight(new QHBoxLayout(contrastGroup_));
  dayContrastTrack_ = NewTrack(contrastGroup_, "DayContrastTrack", kMinDayContrast, kMaxDayContrast);
  dayContrastTrack_->setPageStep(25);
  dayContrastTrack_->setTickInterval(25);
  dayContrastEdit_ = new QLineEdit(contrastGroup_);
  dayContrastEdit_->setObjectName(QStringLiteral("DayContrastEdit"));
  dayContrastEdit_->setMaxLength(6);
  dayContrastEdit_->setFixedWidth(dayContrastEdit_->fontMetrics().horizontalAdvance(QStringLiteral("-0000")) + 12);
  cg->addWidget(dayContrastTrack_, 1);
  cg->addWidget(dayContrastEdit_);
  wl->addWidget(contrastGroup_, 0, 0, 2, 1);
  // Hidden, each keeps its room, so that nothing below moves when the check box is clicked.
  for (QWidget* w : {static_cast<QWidget*>(contrastGroup_), static_cast<QWidget*>(colorBtn_[scSaturdayBack]),
                     static_cast<QWidget*>(colorBtn_[scSundayBack])}) {
    QSizePolicy keep = w->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    w->setSizePolicy(keep);
  }
  cv->addWidget(weekend);
  auto* fonts = new QLabel(colors);
  fonts->setObjectName(QStringLiteral("Label6"));
  cv->addWidget(fonts);
  for (TStyleColor c : {scDay, scSaturday, scSunday, scToday, scDayShadow}) cv->addWidget(colorBtn_[c]);
  rgbPicker_ = new TKVSkinColorPicker(&model_.Form, colors);
  rgbPicker_->SetName(QStringLiteral("RGBPicker"));
  rgbPicker_->setFixedSize(240, 105);
  cv->addWidget(rgbPicker_, 0, Qt::AlignHCenter);
  cv->addStretch(1);
  colorBtn_[scBack]->setChecked(true);

  // Layouts, the notes mode and Undo.
  auto* right = Tight(new QVBoxLayout, 0);
  columns->addLayout(right, 0);
  QGroupBox* layouts = NewGroup(this, "Layout");
  auto* lv = Tight(new QVBoxLayout(layouts));
  TLayoutListHooks lh;
  lh.LayoutChanged = [this] { LayoutChanged(); };
  lh.RenderCalendar = [this](bool recalc) { Redraw(recalc); };
  lh.BuiltinLayouts = hooks_.BuiltinLayouts;
  lh.Folder = hooks_.LayoutFolder;
  layoutScroll_ = new TLayoutList(model_, std::move(lh), layouts);
  layoutScroll_->setMinimumWidth(104 + layoutScroll_->verticalScrollBar()->sizeHint().width() +
                                 2 * layoutScroll_->frameWidth());
  layoutScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  layoutScroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  lv->addWidget(layoutScroll_, 1);
  right->addWidget(layouts, 1);
  layoutDownloadBtn_ = new QPushButton(this);
  layoutDownloadBtn_->setObjectName(QStringLiteral("LayoutDownloadBtn"));
  // Without a way to download the button stays disabled.
  layoutDownloadBtn_->setEnabled(bool(hooks_.DownloadLayouts));
  if (!hooks_.DownloadLayouts) hooks_.DownloadLayouts = [] {};
  right->addWidget(layoutDownloadBtn_);
  auto* show = new QLabel(this);
  show->setObjectName(QStringLiteral("Label4"));
  showNotesBox_ = NewBox(this, "ShowNotesBox");
  show->setBuddy(showNotesBox_);
  right->addWidget(show);
  right->addWidget(showNotesBox_);
  undoChangesBtn_ = new QPushButton(this);
  undoChangesBtn_->setObjectName(QStringLiteral("UndoChangesBtn"));
  right->addWidget(undoChangesBtn_);
}

void TStyleTab::ApplyTexts() {
  const TKVLanguageResource& l = LanguageResource();
  ApplyCaptions(*this, {{"GroupBox4", &TKVLanguageResource::RSCalendarBaseFont},
                        {"GroupBox17", &TKVLanguageResource::RSSetLeading},
                        {"GroupBox14", &TKVLanguageResource::RSMonthNameVisibility},
                        {"GroupBox1", &TKVLanguageResource::RSBevelStyle},
                        {"GroupBox13", &TKVLanguageResource::RSCalendarTransparency},
                        {"GroupBox3", &TKVLanguageResource::RSNotesPanelTransparency},
                        {"UndoChangesBtn", &TKVLanguageResource::RSUndoChanges},
                        {"GroupBox15", &TKVLanguageResource::RSSetColors},
                        {"ImagePackDefaultColorsChk", &TKVLanguageResource::RSUseImagePackDefaultColors},
                        {"Label5", &TKVLanguageResource::RSBackgrounds},
                        {"CalendarBaseColBtn", &TKVLanguageResource::RSMainBackgroundColor},
                        {"CalculateSatSunChk", &TKVLanguageResource::RSCalculateSaturdayandSundayColors},
                        {"GroupBox16", &TKVLanguageResource::RSBackgroundContrast},
                        {"SaturdayBgColBtn", &TKVLanguageResource::RSSaturdayBackgroundColor},
                        {"SundayBgColBtn", &TKVLanguageResource::RSSundayBackgroundColor},
                        {"Label6", &TKVLanguageResource::RSFonts},
                        {"DaysColBtn", &TKVLanguageResource::RSWorkingDaysColor},
                        {"SaturdayColBtn", &TKVLanguageResource::RSSaturdayColor},
                        {"SundayColBtn", &TKVLanguageResource::RSSundayColor},
                        {"TodayColBtn", &TKVLanguageResource::RSCurrentDateColor},
                        {"DayShadowColBtn", &TKVLanguageResource::RSShadowColor},
                        {"Label1", &TKVLanguageResource::RSDistance, ":"},
                        {"Layout", &TKVLanguageResource::RSLayout},
                        {"Label4", &TKVLanguageResource::RSShow, ":"},
                        {"LayoutDownloadBtn", &TKVLanguageResource::RSDownloadNewLayouts}});
  const auto fill = [](QComboBox* box, std::initializer_list<QString> items) {
    const QSignalBlocker quiet(box);
    box->clear();
    for (const QString& s : items) box->addItem(StripMnemonics(s));
  };
  fill(daySpaceBox_, {l.RSVeryTight, l.RSTight, l.RSNormal, l.RSLoose, l.RSVeryLoose});
  fill(dayShadowBox_, {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
  fill(bevelBox_, {l.RSFlat, l.RSLowered, l.RSRaised});
  fill(showNotesBox_, {l.RSDiaryandQuickNotes, l.RSQuickNotesOnly, l.RSDiaryOnly, l.RSNone});
}

void TStyleTab::Connect() {
  calFontBox_->OnChange.Set([this](TKVFontComboBox*) { RunGuarded([this] { CalFontBoxChange(); }); });
  // The charset box also tells its refills (a new font listed); only the user's choice counts.
  connect(calFontCharsetBox_, &QComboBox::activated, this, Guarded([this] { CalFontCharsetBoxChange(); }));
  connect(calBoldBtn_, &QToolButton::clicked, this, Guarded([this] { CalBoldBtnClick(); }));
  connect(calItalicBtn_, &QToolButton::clicked, this, Guarded([this] { CalItalicBtnClick(); }));
  connect(daySpaceBox_, &QComboBox::activated, this, Guarded([this] { ChangeSpace(); }));
  connect(dayShadowBox_, &QComboBox::activated, this, Guarded([this] { DayShadowBoxChange(); }));
  connect(bevelBox_, &QComboBox::activated, this, Guarded([this] { BevelBoxChange(); }));
  connect(showNotesBox_, &QComboBox::activated, this, Guarded([this] { ShowNotesBoxChange(); }));
  // Positions set from code are made under a signal blocker: only the user's moves arrive here.
  connect(transparencyTrack_, &QSlider::valueChanged, this, Guarded([this] { TransparencyTrackChange(); }));
  connect(notesTransparencyTrack_, &QSlider::valueChanged, this, Guarded([this] { NotesTransparencyTrackChange(); }));
  connect(monthContrastTrack_, &QSlider::valueChanged, this, Guarded([this] { MonthContrastTrackChange(); }));
  connect(dayContrastTrack_, &QSlider::valueChanged, this, Guarded([this] { DayContrastTrackChange(); }));
  connect(dayContrastEdit_, &QLineEdit::textEdited, this, Guarded([this] { DayContrastEditChange(); }));
  connect(dayContrastEdit_, &QLineEdit::editingFinished, this, Guarded([this] { DayContrastEditDone(); }));
  connect(calculateSatSunChk_, &QCheckBox::clicked, this, Guarded([this] { CalculateSatSunChkClick(); }));
  connect(imagePackDefaultColorsChk_, &QCheckBox::clicked, this, Guarded([this] { ImagePackDefaultColorsChkClick(); }));
  connect(colorButtons_, &QButtonGroup::idClicked, this, Guarded([this] { ColorBtnClick(); }));
  rgbPicker_->OnChange.Set([this](TPersistent*) { RunGuarded([this] { RGBPickerChange(); }); });
  connect(undoChangesBtn_, &QPushButton::clicked, this, Guarded([this] { UndoChangesBtnClick(); }));
  connect(layoutDownloadBtn_, &QPushButton::clicked, this, Guarded([this] {
            hooks_.DownloadLayouts();
          }));
}

// ---------------------------------------------------------------------------------------------
// Redraws

void TStyleTab::RedrawNow(bool recalc) {
  // A drawing now covers what was waiting.
  recalc = recalc || (redrawTimer_->isActive() && queuedRecalc_);
  CancelRedraw();
  hooks_.RenderCalendar(recalc);
}

void TStyleTab::Redraw(bool recalc) {
  ++redrawsRequested_;
  queuedRecalc_ = queuedRecalc_ || recalc;
  if (!redrawTimer_->isActive()) redrawTimer_->start();
}

void TStyleTab::RunQueuedRedraw() {
  const bool recalc = queuedRecalc_;
  queuedRecalc_ = false;
  hooks_.RenderCalendar(recalc);
}

void TStyleTab::FlushRedraw() {
  if (!redrawTimer_->isActive()) return;
  redrawTimer_->stop();
  RunQueuedRedraw();
}

void TStyleTab::CancelRedraw() {
  redrawTimer_->stop();
  queuedRecalc_ = false;
}

bool TStyleTab::RedrawQueued() const { return redrawTimer_->isActive(); }

// ---------------------------------------------------------------------------------------------
// Filling the page

void TStyleTab::ShowNotesSetting() {
  const QSignalBlocker quiet(showNotesBox_);
  showNotesBox_->setCurrentIndex(model_.Ini->ShowNotesOptions);
}

void TStyleTab::DefaultSettings() {
  // Whatever the controls and the layout do meanwhile draws nothing.
  const QScopedValueRollback busy(model_.Render.Busy, true);
  const QScopedValueRollback fill(filling_, filling_ + 1);
  Tini& ini = *model_.Ini;
  ini.RevertStyle();
  const TCalendarStyle& s = ini.WorkStyle;

  if (!layoutScroll_->SelectLayoutID(s.LayoutID)) LayoutChanged();

  {
    const QSignalBlocker a(calculateSatSunChk_), b(imagePackDefaultColorsChk_);
    calculateSatSunChk_->setChecked(s.CalculateBackColors);
    imagePackDefaultColorsChk_->setChecked(s.UseDefaultColors);
  }
  CalculateSatSunChkClick();
  ImagePackDefaultColorsChkClick();

  calFontBox_->SetFontName(DrawnFontFamily(s.DayFont.Name));
  {
    const QSignalBlocker quiet(calFontCharsetBox_);
    calFontCharsetBox_->setCurrentIndex(calFontCharsetBox_->IndexOfCharset(s.DayFont.Charset));
  }
  calBoldBtn_->setChecked(s.DayFont.HasStyle(fsBold));
  calItalicBtn_->setChecked(s.DayFont.HasStyle(fsItalic));
  emit model_.Changes.NotesHiddenChanged(!ini.ShowNotes);

  const QSignalBlocker a(daySpaceBox_), b(dayShadowBox_), c(bevelBox_), d(transparencyTrack_),
      e(notesTransparencyTrack_), f(monthContrastTrack_), g(dayContrastTrack_);
  daySpaceBox_->setCurrentIndex(s.DaySpace);
  dayShadowBox_->setCurrentIndex(s.DayShadow);
  bevelBox_->setCurrentIndex(s.BevelStyle);
  transparencyTrack_->setValue(kTransparencySteps - s.MonthBarTransparency / 5);
  notesTransparencyTrack_->setValue(kNotesTransparencySteps + 1 - s.NotesTransparency / 5);
  monthContrastTrack_->setValue(s.MonthContrast / 10);
  dayContrastTrack_->setValue(s.DayContrast);
  SetDayContrastText(s.DayContrast);

  FitCalendarFont();
  ColorBtnClick();
}

void TStyleTab::FitCalendarFont() {
  const TWorkArea a = hooks_.WorkArea();
  const TCalendarStyle& s = model_.Ini->WorkStyle;
  // The room of the layout's month line, not the whole work area: the line may start below a
  // title or stop above a panel.
  const int room = MonthLineRoom(*model_.Layout, a.ScreenHeight, a.Top, a.Bottom);
  ::FitCalendarFont(model_.Render, s.DayFont, s.DaySpace, room, a.PixelsPerInch > 0 ? a.PixelsPerInch : 96);
}

void TStyleTab::UndoChangesBtnClick() {
  DefaultSettings();
  RedrawNow(true);
}

void TStyleTab::LayoutChanged() {
  const bool monthLine = model_.Layout->MonthLine().Visible;
  daySpaceBox_->setEnabled(monthLine);
  monthContrastTrack_->setEnabled(monthLine);
  // A new layout gives the month line another room: the font is fitted again.
  FitCalendarFont();
}

// ---------------------------------------------------------------------------------------------
// Font and leading

void TStyleTab::FontChanged() {
  FitCalendarFont();
  Redraw(true);
}

void TStyleTab::CalFontBoxChange() {
  if (calFontBox_->currentIndex() < 0) return;
  TFont& f = model_.Ini->WorkStyle.DayFont;
  f.Charset = DEFAULT_CHARSET;
  f.Name = calFontBox_->currentText();
  f.Charset = calFontCharsetBox_->GetItemCharset(calFontCharsetBox_->currentIndex());
  FontChanged();
}

void TStyleTab::CalFontCharsetBoxChange() {
  if (filling_) return;
  TFont& f = model_.Ini->WorkStyle.DayFont;
  const int charset = calFontCharsetBox_->GetItemCharset(calFontCharsetBox_->currentIndex());
  if (charset == f.Charset) return;
  f.Charset = charset;
  FontChanged();
}

void TStyleTab::CalBoldBtnClick() {
  TFont& f = model_.Ini->WorkStyle.DayFont;
  f.Style ^= FontStyle(fsBold);
  calBoldBtn_->setChecked(f.HasStyle(fsBold));
  FontChanged();
}

void TStyleTab::CalItalicBtnClick() {
  TFont& f = model_.Ini->WorkStyle.DayFont;
  f.Style ^= FontStyle(fsItalic);
  calItalicBtn_->setChecked(f.HasStyle(fsItalic));
  FontChanged();
}

void TStyleTab::ChangeSpace() {
  const int space = daySpaceBox_->currentIndex();
  if (space < 0 || space == model_.Ini->WorkStyle.DaySpace) return;
  model_.Ini->WorkStyle.DaySpace = space;
  FontChanged();
}

// ---------------------------------------------------------------------------------------------
// Boxes and tracks

void TStyleTab::DayShadowBoxChange() {
  const int shadow = dayShadowBox_->currentIndex();
  if (shadow < 0) return;
  model_.Ini->WorkStyle.DayShadow = shadow;
  Redraw(false);
}

void TStyleTab::BevelBoxChange() {
  const int bevel = bevelBox_->currentIndex();
  if (bevel < 0 || bevel == model_.Ini->WorkStyle.BevelStyle) return;
  model_.Ini->WorkStyle.BevelStyle = bevel;
  Redraw(false);
}

void TStyleTab::TransparencyTrackChange() {
  const int v = (kTransparencySteps - transparencyTrack_->value()) * 5;
  if (v == model_.Ini->WorkStyle.MonthBarTransparency) return;
  model_.Ini->WorkStyle.MonthBarTransparency = v;
  Redraw(false);
}

void TStyleTab::NotesTransparencyTrackChange() {
  const int v = (kNotesTransparencySteps + 1 - notesTransparencyTrack_->value()) * 5;
  if (v == model_.Ini->WorkStyle.NotesTransparency) return;
  model_.Ini->WorkStyle.NotesTransparency = v;
  Redraw(false);
}

void TStyleTab::MonthContrastTrackChange() {
  const int v = monthContrastTrack_->value() * 10;
  if (v == model_.Ini->WorkStyle.MonthContrast) return;
  model_.Ini->WorkStyle.MonthContrast = v;
  Redraw(false);
}

void TStyleTab::SetDayContrastText(int value) { dayContrastEdit_->setText(QString::number(value)); }

void TStyleTab::DayContrastTrackChange() {
  const int v = dayContrastTrack_->value();
  if (v == model_.Ini->WorkStyle.DayContrast) return;
  model_.Ini->WorkStyle.DayContrast = v;
  SetDayContrastText(v);
  Redraw(false);
}

void TStyleTab::DayContrastEditChange() {
  const QString text = dayContrastEdit_->text().trimmed();
  // A number being typed: nothing yet for an empty field or a lone sign.
  if (text.isEmpty() || text == QLatin1String("-") || text == QLatin1String("+")) return;
  bool ok = false;
  int typed = text.toInt(&ok);
  if (!ok) typed = 0;
  int& contrast = model_.Ini->WorkStyle.DayContrast;
  if (typed == contrast) return;
  {
    const QSignalBlocker quiet(dayContrastTrack_);
    dayContrastTrack_->setValue(typed);  // the track holds it within its range
  }
  const int v = dayContrastTrack_->value();
  // A number out of range, or no number, shows the value it became; "-2" on the way to "-25"
  // keeps its text and the cursor.
  if (!ok || v != typed) SetDayContrastText(v);
  if (v == contrast) return;
  contrast = v;
  Redraw(false);
}

void TStyleTab::DayContrastEditDone() {
  const int v = model_.Ini->WorkStyle.DayContrast;
  if (dayContrastEdit_->text() != QString::number(v)) SetDayContrastText(v);
}

void TStyleTab::DayContrastEditClick() {
  if (dayContrastEdit_->isEnabled() && dayContrastEdit_->isVisible()) dayContrastEdit_->setFocus();
}

// ---------------------------------------------------------------------------------------------
// Colours

void TStyleTab::CalculateSatSunChkClick() {
  const TStyleColor checked = CheckedColor();
  if (checked == scSaturdayBack || checked == scSundayBack) {
    CheckColor(scBack);
    ColorBtnClick();
  }
  const bool calculate = calculateSatSunChk_->isChecked();
  colorBtn_[scSaturdayBack]->setVisible(!calculate);
  colorBtn_[scSundayBack]->setVisible(!calculate);
  contrastGroup_->setVisible(calculate);
  bool& stored = model_.Ini->WorkStyle.CalculateBackColors;
  if (calculate == stored) return;
  stored = calculate;
  Redraw(false);
}

void TStyleTab::ImagePackDefaultColorsChkClick() {
  const bool own = !imagePackDefaultColorsChk_->isChecked();
  calculateSatSunChk_->setEnabled(own);
  for (QRadioButton* b : colorBtn_) b->setEnabled(own);
  dayContrastTrack_->setEnabled(own);
  dayContrastEdit_->setEnabled(own);
  rgbPicker_->setEnabled(own);
  bool& stored = model_.Ini->WorkStyle.UseDefaultColors;
  if (!own == stored) return;
  stored = !own;
  Redraw(false);
}

TStyleColor TStyleTab::CheckedColor() const {
  for (int i = 0; i < 8; ++i)
    if (colorBtn_[i]->isChecked()) return TStyleColor(i);
  return scBack;
}

void TStyleTab::CheckColor(TStyleColor which) { colorBtn_[which]->setChecked(true); }

TColor& TStyleTab::StyleColor(TStyleColor which) {
  TCalendarStyle& s = model_.Ini->WorkStyle;
  TColor* colors[8] = {&s.BackColor,     &s.SaturdayBackColor, &s.SundayBackColor, &s.DayColor,
                       &s.SaturdayColor, &s.SundayColor,       &s.TodayColor,      &s.DayShadowColor};
  return *colors[which];
}

void TStyleTab::ColorBtnClick() {
  // Showing a colour is no edit of it: the picker's change is not taken back into the style.
  const QScopedValueRollback showing(showingColor_, true);
  rgbPicker_->SetColor(StyleColor(CheckedColor()));
}

void TStyleTab::RGBPickerChange() {
  if (showingColor_) return;
  TColor& c = StyleColor(CheckedColor());
  const TColor picked = rgbPicker_->Color();
  if (c == picked) return;
  c = picked;
  Redraw(false);
}

// ---------------------------------------------------------------------------------------------
// Notes

void TStyleTab::ShowNotesBoxChange() {
  const int index = showNotesBox_->currentIndex();
  Tini& ini = *model_.Ini;
  if (index < 0 || index == ini.ShowNotesOptions) return;
  ini.ShowNotesOptions = index;
  ini.ShowNotes = index != 3;
  emit model_.Changes.NotesHiddenChanged(!ini.ShowNotes);
  Redraw(true);
}

void TStyleTab::ChooseNotesMode(int index) {
  {
    const QSignalBlocker quiet(showNotesBox_);
    showNotesBox_->setCurrentIndex(index);
  }
  ShowNotesBoxChange();
  FlushRedraw();
}
