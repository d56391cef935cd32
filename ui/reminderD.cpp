#include "ui/reminderD.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/iniData.h"
#include "controls/KVRichEdOLE.h"
#include "foundation/KVException.h"
#include "foundation/KVForms.h"
#include "foundation/KVRes.h"
#include "platform/KVClock.h"

int ScheduleIndex(TKVXSchType Schedule) {
  switch (Schedule) {
    case schDaily: return 1;
    case schWeekly: return 2;
    case schMonthly: return 3;
    case schYearly: return 4;
    default: return 0;
  }
}

TKVXSchType ScheduleOfIndex(int Index) {
  switch (Index) {
    case 1: return schDaily;
    case 2: return schWeekly;
    case 3: return schMonthly;
    case 4: return schYearly;
    default: return schOnce;
  }
}

QTime NewReminderTime(const QTime& Now) { return QTime((Now.hour() + 1) % 24, Now.minute(), 0); }

TReminderDlg::TReminderDlg(TMEventBase& Events, const Tini& Ini, QWidget* parent)
    : QDialog(parent), events_(Events), ini_(Ini) {
  setObjectName(QStringLiteral("ReminderDlg"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  editor_ = Named(new TKVRichEditOLE(this), "KVRichEditOLE1");
  enabledCheck_ = Named(new QCheckBox(this), "EnabledCheck");

  auto* groupBox2 = Named(new QGroupBox(this), "GroupBox2");
  remDate_ = Named(new QDateEdit(groupBox2), "RemDate");
  remDate_->setCalendarPopup(true);
  scheduleBox_ = Named(new QComboBox(groupBox2), "ScheduleBox");
  auto* dateRow = new QHBoxLayout(groupBox2);
  dateRow->addWidget(remDate_);
  dateRow->addWidget(scheduleBox_, 1);

  auto* groupBox1 = Named(new QGroupBox(this), "GroupBox1");
  selTimeBtn_ = Named(new QRadioButton(groupBox1), "SelTimeBtn");
  startupBtn_ = Named(new QRadioButton(groupBox1), "StartupBtn");
  remTime_ = Named(new QTimeEdit(groupBox1), "RemTime");
  auto* timeRow = new QHBoxLayout;
  timeRow->addWidget(selTimeBtn_);
  timeRow->addWidget(remTime_);
  timeRow->addStretch(1);
  auto* timeBox = new QVBoxLayout(groupBox1);
  timeBox->addLayout(timeRow);
  timeBox->addWidget(startupBtn_);

  soundChk_ = Named(new QCheckBox(this), "SoundChk");
  auto* bevel1 = Named(new QFrame(this), "Bevel1");
  bevel1->setFrameShape(QFrame::HLine);
  bevel1->setFrameShadow(QFrame::Sunken);
  okBtn_ = Named(new QPushButton(this), "OKBtn");
  okBtn_->setDefault(true);
  cancelBtn_ = Named(new QPushButton(this), "CancelBtn");
  deleteBtn_ = Named(new QPushButton(this), "DeleteBtn");
  deleteBtn_->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(deleteBtn_);
  buttons->addStretch(1);
  buttons->addWidget(okBtn_);
  buttons->addWidget(cancelBtn_);

  auto* form = new QVBoxLayout(this);
  form->addWidget(editor_, 1);
  form->addWidget(enabledCheck_);
  form->addWidget(groupBox2);
  form->addWidget(groupBox1);
  form->addWidget(soundChk_);
  form->addWidget(bevel1);
  form->addLayout(buttons);
  resize(314, 334);

  const TKVLanguageResource& lang = LanguageResource();
  ApplyCaptions(*this, {{"ReminderDlg", &TKVLanguageResource::RSReminderSetup},
                        {"GroupBox2", &TKVLanguageResource::RSStartDate, ":"},
                        {"GroupBox1", &TKVLanguageResource::RSStartTime, ":"},
                        {"SelTimeBtn", &TKVLanguageResource::RSStartatselectedtime},
                        {"StartupBtn", &TKVLanguageResource::RSStartatcomputerstartuponly},
                        {"EnabledCheck", &TKVLanguageResource::RSEnabled},
                        {"SoundChk", &TKVLanguageResource::RSSound},
                        {"DeleteBtn", &TKVLanguageResource::RSDelete},
                        {"OKBtn", &TKVLanguageResource::RSOK},
                        {"CancelBtn", &TKVLanguageResource::RSCancel}});
  scheduleBox_->addItems({lang.RSStartOnce, lang.RSDaily, lang.RSWeekly, lang.RSMonthly, lang.RSYearly});

  for (QRadioButton* b : {selTimeBtn_, startupBtn_})
    connect(b, &QRadioButton::clicked, this, Guarded([this] { TimedChanged(); }));
  connect(okBtn_, &QPushButton::clicked, this, Guarded([this] { OKBtnClick(); }));
  connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
  connect(deleteBtn_, &QPushButton::clicked, this, [this] {
    DeleteRequested = true;
    reject();
  });
}

void TReminderDlg::Init(int Index) {
  auto& data = events_.Data();
  if (Index != -1 && (Index < 0 || Index >= data.Count()))
    throw EKVError(QStringLiteral("List index out of bounds (%1)").arg(Index));
  DeleteRequested = false;
  editor_->DefAttributes().Assign(ini_.RichEditFont);
  editor_->SelAttributes().Assign(ini_.RichEditFont);
  editor_->Clear();
  if (Index != -1) {
    Item = data[Index];
    editor_->SetRTFText(Item->Note);
    enabledCheck_->setChecked(Item->Enabled);
    remDate_->setDate(DateTimeToDate(Item->StartDate));
    remTime_->setTime(DateTimeToTime(Item->StartTime));
    shownSchedule_ = Item->Schedule;
    selTimeBtn_->setChecked(Item->Timed);
    startupBtn_->setChecked(!Item->Timed);
    soundChk_->setChecked(Item->Sound);
  } else {
    Item = nullptr;
    const QDateTime now = KVNow();
    remDate_->setDate(now.date());
    remTime_->setTime(NewReminderTime(now.time()));
    enabledCheck_->setChecked(true);
    shownSchedule_ = schOnce;
    selTimeBtn_->setChecked(true);
    startupBtn_->setChecked(false);
    soundChk_->setChecked(true);
  }
  scheduleBox_->setCurrentIndex(ScheduleIndex(shownSchedule_));
  editor_->SetModified(false);
  TimedChanged();
}

bool TReminderDlg::Execute(int Index) {
  Init(Index);
  return ExecDialog(*this) == QDialog::Accepted;
}

void TReminderDlg::TimedChanged() { remTime_->setEnabled(selTimeBtn_->isChecked()); }

void TReminderDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  editor_->setFocus();
}

void TReminderDlg::OKBtnClick() {
  Note = editor_->GetRTFText();
  Enabled = enabledCheck_->isChecked();
  StartDate = remDate_->date();
  StartTime = remTime_->time();
  const int index = scheduleBox_->currentIndex();
  Schedule = index == ScheduleIndex(shownSchedule_) ? shownSchedule_ : ScheduleOfIndex(index);
  Timed = selTimeBtn_->isChecked();
  Sound = soundChk_->isChecked();
  accept();
}
