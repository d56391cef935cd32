#pragma once
// The reminder dialog: one item of the events document shown for editing (text, start date and
// time, repetition, sound, enabled). The caller decides what OK and Delete do with the values.
#include <QDate>
#include <QDialog>
#include <QString>
#include <QTime>

#include "foundation/KVXSkinBase.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QPushButton;
class QRadioButton;
class QTimeEdit;
class TKVRichEditOLE;
class TMEventBase;
class Tini;

// The repetition box's item for a schedule (schedules it does not offer show "Start Once"), and
// back.
int ScheduleIndex(TKVXSchType Schedule);
TKVXSchType ScheduleOfIndex(int Index);
// A new reminder's time: the next hour with the current minute (23:41 gives 0:41).
QTime NewReminderTime(const QTime& Now);

class TReminderDlg : public QDialog {
  Q_OBJECT
 public:
  TReminderDlg(TMEventBase& Events, const Tini& Ini, QWidget* parent = nullptr);

  // Shows item Index of the events document, or a new reminder for -1; raises EKVError for an
  // index the document does not have.
  void Init(int Index);

  // The item shown (nullptr for a new reminder), and the values the user chose, set by OK.
  TKVXBEventItem* Item = nullptr;
  QString Note;  // RTF
  bool Enabled = true;
  QDate StartDate;
  QTime StartTime;
  // An item's schedule that the box cannot show stays as it was unless the user chose another.
  TKVXSchType Schedule = schOnce;
  bool Timed = true;
  bool Sound = true;
  // Delete closes the dialog like Cancel and sets this.
  bool DeleteRequested = false;

  // Init, then the dialog modally; true on OK.
  bool Execute(int Index);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void TimedChanged();
  void OKBtnClick();

  TMEventBase& events_;
  const Tini& ini_;
  TKVRichEditOLE* editor_;
  QCheckBox* enabledCheck_;
  QRadioButton* selTimeBtn_;
  QRadioButton* startupBtn_;
  QTimeEdit* remTime_;
  QDateEdit* remDate_;
  QComboBox* scheduleBox_;
  QCheckBox* soundChk_;
  QPushButton* okBtn_;
  QPushButton* cancelBtn_;
  QPushButton* deleteBtn_;
  TKVXSchType shownSchedule_ = schOnce;
};
