#include "ui/OptionsTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirDiaryStore.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "controls/KVListBox.h"
#include "controls/KVNbModule.h"
#include "controls/KVPanels.h"
#include "controls/MirPanels.h"
#include "foundation/KVForms.h"
#include "foundation/KVRes.h"
#include "foundation/KVSysUtils.h"
#include "foundation/KVXSkinBase.h"
#include "platform/KVClock.h"

namespace {

// A holiday row keeps the colour of the item it was made from.
constexpr const char* kRowColor = "kvHolidayColor";


}  // namespace

QDate HolidayKeyDate(const QString& Idx) {
  const TKeyDate k = ReadDateKey(Idx);
  const int year = std::clamp(k.Year, 1, 9999);
  const int month = std::clamp(k.Month, 1, 12);
  const int day = std::clamp(k.Day, 1, QDate(year, month, 1).daysInMonth());
  return QDate(year, month, day);
}

QString HotKeyText(int ShortCut) {
  const int code = ShortCut & 0xFF;
  int key = 0;
  if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z')) key = code;
  else if (code >= 0x70 && code <= 0x87) key = Qt::Key_F1 + (code - 0x70);  // VK_F1 .. VK_F24
  if (!key) return QString();
  int mods = 0;
  if (ShortCut & 0x2000) mods |= Qt::ShiftModifier;
  if (ShortCut & 0x4000) mods |= Qt::ControlModifier;
  if (ShortCut & 0x8000) mods |= Qt::AltModifier;
  return QKeySequence(key | mods).toString(QKeySequence::NativeText);
}

TOptionsTab::TOptionsTab(TMirModel& model, QWidget* parent) : QWidget(parent), model_(model) {
  setObjectName(QStringLiteral("OptionsPage"));
  CreateControls();
  ApplyTexts();
}

void TOptionsTab::CreateControls() {
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(6, 6, 6, 6);
  auto* small = new QHBoxLayout;

  // Holidays: the rows, and the buttons beside them.
  auto* holidays = Named(new QGroupBox(this), "GroupBox6");
  auto* hl = new QHBoxLayout(holidays);
  holidayScroll_ = Named(new TKVPanelsBox(holidays), "HolidayScroll");
  holidayScroll_->setMinimumWidth(496 + 20);
  hl->addWidget(holidayScroll_, 1);
  auto* hb = new QVBoxLayout;
  addHolidayBtn_ = Named(new QPushButton(holidays), "AddHolidayBtn");
  deleteHolidayBtn_ = Named(new QPushButton(holidays), "DeleteHolidayBtn");
  deleteAllHolidayBtn_ = Named(new QPushButton(holidays), "DeleteAllHolidayBtn");
  for (QPushButton* b : {addHolidayBtn_, deleteHolidayBtn_, deleteAllHolidayBtn_}) hb->addWidget(b);
  hb->addStretch(1);
  hl->addLayout(hb);
  page->addWidget(holidays, 1);
  page->addLayout(small);

  // Password, hot keys and clean-up: shown, without behaviour.
  auto* password = Named(new QGroupBox(this), "GroupBox19");
  auto* pl = new QHBoxLayout(password);
  pl->addWidget(Named(new QPushButton(password), "ChangePwdBtn"));
  pwdCheck_ = Named(new QCheckBox(password), "PwdCheck");
  pl->addWidget(pwdCheck_, 0, Qt::AlignLeft);
  auto* passwordAndCleanup = new QVBoxLayout;
  passwordAndCleanup->addWidget(password);
  small->addLayout(passwordAndCleanup, 1);

  auto* keys = Named(new QGroupBox(this), "GroupBox2");
  auto* kl = new QGridLayout(keys);
  const struct {
    const char* label;
    const char* edit;
  } hotKeys[] = {{"Label2", "QuickNotesHotKey"}, {"Label3", "OpenDiaryHotKey"},
                 {"Label10", "HideNotesHotKey"}, {"Label11", "AddReminderHotKey"}};
  for (int i = 0; i < 4; ++i) {
    kl->addWidget(Named(new QLabel(keys), hotKeys[i].label), i, 0);
    auto* edit = Named(new QLineEdit(keys), hotKeys[i].edit);
    edit->setReadOnly(true);
    edit->setMaximumWidth(90);
    kl->addWidget(edit, i, 1);
  }
  small->addWidget(keys, 1);

  auto* cleanup = Named(new QGroupBox(this), "GroupBox5");
  auto* cl = new QHBoxLayout(cleanup);
  cl->addWidget(Named(new QPushButton(cleanup), "DeleteOldNotesBtn"));
  deleteOldNotesBox_ = Named(new QComboBox(cleanup), "DeleteOldNotesBox");
  cl->addWidget(deleteOldNotesBox_);
  passwordAndCleanup->addWidget(cleanup);

  // The diary's style: the default font (shown only) and the list's date format.
  auto* style = Named(new QGroupBox(this), "GroupBox8");
  auto* sl = new QHBoxLayout(style);
  sl->addWidget(Named(new QPushButton(style), "ChangeDefaultStyleBtn"));
  styleSample_ = Named(new TKVRichEdit(style), "KVRichEdit");
  styleSample_->SetReadOnly(true);
  styleSample_->setFixedHeight(34);
  styleSample_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sl->addWidget(styleSample_, 1);
  diaryLongDateChk_ = Named(new QCheckBox(style), "DiaryLongDateChk");
  sl->addWidget(diaryLongDateChk_);
  page->addWidget(style);

  for (const char* name : {"ChangePwdBtn", "PwdCheck", "QuickNotesHotKey", "OpenDiaryHotKey", "HideNotesHotKey",
                           "AddReminderHotKey", "Label2", "Label3", "Label10", "Label11", "DeleteOldNotesBtn",
                           "DeleteOldNotesBox", "ChangeDefaultStyleBtn"})
    FindNamed<QWidget>(*this, name)->setEnabled(false);

  connect(addHolidayBtn_, &QPushButton::clicked, this, Guarded([this] { AddHolidayBtnClick(); }));
  connect(deleteHolidayBtn_, &QPushButton::clicked, this, Guarded([this] { DeleteHolidayBtnClick(); }));
  connect(deleteAllHolidayBtn_, &QPushButton::clicked, this, Guarded([this] { DeleteAllHolidayBtnClick(); }));
  connect(diaryLongDateChk_, &QCheckBox::clicked, this, Guarded([this] { DiaryLongDateChkClick(); }));
}

void TOptionsTab::ApplyTexts() {
  using L = TKVLanguageResource;
  ApplyCaptions(*this, {{"GroupBox19", &L::RSPassword},
                        {"ChangePwdBtn", &L::RSChange},
                        {"PwdCheck", &L::RSCheckPasswordOnlyatStartup},
                        {"GroupBox2", &L::RSKeyboardShortcuts},
                        {"Label2", &L::RSEditQuickNotes, ":"},
                        {"Label3", &L::RSOpenDiary, ":"},
                        {"Label10", &L::RSShowHideNotes, ":"},
                        {"Label11", &L::RSAddReminder, ":"},
                        {"GroupBox6", &L::RSImportantDatesandHolidays},
                        {"AddHolidayBtn", &L::RSAdd},
                        {"DeleteHolidayBtn", &L::RSDelete},
                        {"DeleteAllHolidayBtn", &L::RSDeleteAll},
                        {"GroupBox5", &L::RSCleanup},
                        {"DeleteOldNotesBtn", &L::RSDeletenotesolderthan},
                        {"GroupBox8", &L::RSSetDiaryDefaultStyle},
                        {"ChangeDefaultStyleBtn", &L::RSFont},
                        {"DiaryLongDateChk", &L::RSUseLongDateFormat}});
  const TKVLanguageResource& l = LanguageResource();
  // The clean-up button's text is long for its column.
  auto* cleanupBtn = FindNamed<QPushButton>(*this, "DeleteOldNotesBtn");
  cleanupBtn->setMinimumWidth(cleanupBtn->sizeHint().width());
  deleteOldNotesBox_->clear();
  deleteOldNotesBox_->addItems({l.RSoneday, l.RSoneweek, l.RSonemonth, l.RSthreemonths, l.RSayear});
}

void TOptionsTab::InitializePage() {
  const Tini& ini = *model_.Ini;
  diaryLongDateChk_->setChecked(ini.DiaryLongDate);
  pwdCheck_->setChecked(ini.CheckPasswordOnce);
  deleteOldNotesBox_->setCurrentIndex(3);
  FindNamed<QLineEdit>(*this, "QuickNotesHotKey")->setText(HotKeyText(ini.OpenQuickNotesHotKey));
  FindNamed<QLineEdit>(*this, "OpenDiaryHotKey")->setText(HotKeyText(ini.OpenDiaryHotKey));
  FindNamed<QLineEdit>(*this, "HideNotesHotKey")->setText(HotKeyText(ini.HideNotesHotKey));
  FindNamed<QLineEdit>(*this, "AddReminderHotKey")->setText(HotKeyText(ini.AddReminderHotKey));
  styleSample_->SetReadOnly(false);
  styleSample_->SetRTFText(QStringLiteral("This is default style"));
  styleSample_->selectAll();
  styleSample_->SelAttributes().Assign(ini.RichEditFont);
  styleSample_->DefAttributes().Assign(ini.RichEditFont);
  styleSample_->moveCursor(QTextCursor::Start);
  styleSample_->SetReadOnly(true);
}

// ---------------------------------------------------------------------------------------------
// Holidays

TMHolidayPanel* TOptionsTab::HolidayRow(int index) const {
  return static_cast<TMHolidayPanel*>(holidayScroll_->Items(index));
}

TMHolidayPanel* TOptionsTab::AddRow(const QDate& date, bool everyYear, const QString& title, bool editable) {
  const TKVLanguageResource& l = LanguageResource();
  auto* row = new TMHolidayPanel;
  row->DatePicker().setDateRange(QDate(1, 1, 1), QDate(9999, 12, 31));
  row->DatePicker().setDate(date);
  // Holidays span years: the year in full, whatever the locale's short form.
  QString format = row->DatePicker().displayFormat();
  if (!format.contains(QLatin1String("yyyy"))) format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  row->DatePicker().setDisplayFormat(format);
  row->Schedule().addItems({l.RSOnce, l.RSEveryYear});
  row->Schedule().setCurrentIndex(everyYear ? 1 : 0);
  row->Title().setText(title);
  row->setProperty(kRowColor, quint32(clBlack));
  row->OnSelected.Set([this](TKVIdxPanel*) { RunGuarded([this] { HolidaySelect(); }); });
  // A field changed from the keyboard counts as much as one changed after a click.
  connect(&row->DatePicker(), &QDateEdit::userDateChanged, this, Guarded([this] { Edited(); }));
  connect(&row->Schedule(), &QComboBox::activated, this, Guarded([this] { Edited(); }));
  connect(&row->Title(), &QLineEdit::textEdited, this, Guarded([this] { Edited(); }));
  for (QWidget* w : {static_cast<QWidget*>(&row->DatePicker()), static_cast<QWidget*>(&row->Schedule()),
                     static_cast<QWidget*>(&row->Title())})
    w->setEnabled(editable);
  holidayScroll_->Add(row);
  return row;
}

bool TOptionsTab::LoadHolidays() {
  const bool ok = LoadHolidayDocument(model_);
  holidayScroll_->Clear();
  const TMHolidayBase& doc = *model_.Holidays;
  TMHolidayBase builtin;
  LoadBuiltinHolidays(builtin);
  for (int i = 0; i < doc.Data().Count(); ++i) {
    const TKVXBHolidayItem& item = *doc.Data()[i];
    // The built-in holidays are shown as they ship; the user's own stay editable after a restart.
    TMHolidayPanel* row =
        AddRow(HolidayKeyDate(item.idx), item.Schedule != schOnce, item.Title, !IsBuiltinHoliday(item, builtin));
    row->setProperty(kRowColor, quint32(item.Color));
  }
  holidayScroll_->ArrangeFrom(0);
  rowsEdited_ = false;
  unsaved_ = false;
  return ok;
}

void TOptionsTab::Edited() {
  rowsEdited_ = true;
  emit model_.Changes.HolidaysEdited();
}

void TOptionsTab::HolidaySelect() { Edited(); }

void TOptionsTab::AddHolidayBtnClick() {
  Edited();
  TMHolidayPanel* row = AddRow(KVNow().date(), true, QString(), true);
  holidayScroll_->SetItemIndex(holidayScroll_->IndexOf(row));
  holidayScroll_->ensureWidgetVisible(row);
  row->Title().setFocus();
}

void TOptionsTab::DeleteHolidayBtnClick() {
  const int i = holidayScroll_->ItemIndex();
  if (i < 0) return;
  if (KVMessageBox(LanguageResource().RSAreYouSureDeleteHoliday, QString(), IDI_QUESTION_ICON, 1, ButtonsYesNo) != ResultYes)
    return;
  holidayScroll_->Delete(i);
  Edited();
}

void TOptionsTab::DeleteAllHolidayBtnClick() {
  if (KVMessageBox(LanguageResource().RSAreYouSureDeleteHolidays, QString(), IDI_QUESTION_ICON, 1, ButtonsYesNo) != ResultYes)
    return;
  holidayScroll_->Clear();
  Edited();
}

namespace {

// What a save would store of the holidays, to tell whether anything changed.
QStringList HolidayItems(const TMHolidayBase& doc) {
  QStringList items;
  for (int i = 0; i < doc.Data().Count(); ++i) {
    const TKVXBHolidayItem& h = *doc.Data()[i];
    items << QStringLiteral("%1|%2|%3|%4").arg(h.idx).arg(int(h.Schedule)).arg(h.Color).arg(h.Title);
  }
  return items;
}

}  // namespace

void TOptionsTab::ApplyHolidays() {
  TMHolidayBase& doc = *model_.Holidays;
  const QStringList before = HolidayItems(doc);
  doc.Data().Clear();
  for (int i = 0; i < holidayScroll_->Count(); ++i) {
    const TMHolidayPanel& row = *HolidayRow(i);
    TKVXBHolidayItem* item = doc.Data().Add();
    item->idx = DateKey(row.DatePicker().date());
    item->Title = row.Title().text();
    item->Schedule = row.Schedule().currentIndex() == 0 ? schOnce : schYearly;
    item->Color = TColor(row.property(kRowColor).toUInt());
  }
  doc.RebuildIndex();
  rowsEdited_ = false;
  // Only a real change makes the holidays the user's own file; selecting a row changes nothing.
  if (HolidayItems(doc) != before) unsaved_ = true;
}

bool TOptionsTab::SaveHolidays() {
  if (rowsEdited_) ApplyHolidays();
  if (!unsaved_) return true;
  if (!SaveHolidayDocument(model_)) return false;
  unsaved_ = false;
  return true;
}

void TOptionsTab::DiaryLongDateChkClick() {
  const bool on = diaryLongDateChk_->isChecked();
  model_.Ini->DiaryLongDate = on;
  model_.NbDiary->TitleFormat = on ? QStringLiteral("ddt") : QStringLiteral("dt");
  emit model_.Changes.DiaryListChanged();
}
