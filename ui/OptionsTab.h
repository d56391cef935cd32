#pragma once
// The Options page of the settings window: the holiday list (one editing row per holiday of the
// holiday document; rows are added, deleted, applied to the document when the page is left and
// saved with everything else), the long-date option of the diary list and the diary's default
// style sample. The password, hot-key and clean-up controls have no behaviour and are disabled.
#include <QDate>
#include <QString>
#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QPushButton;
class TKVPanelsBox;
class TKVRichEdit;
class TMHolidayPanel;
class TMirModel;

// The date a holiday key names, clamped to a real date: the year to 1 .. 9999 (2000 when it is
// no number), the month to 1 .. 12, the day to the days of that month (2004/02/31 gives
// 2004/02/29).
QDate HolidayKeyDate(const QString& Idx);
// A hot key as the settings keep it (a shortcut value: key code in the low byte, 0x2000 Shift,
// 0x4000 Ctrl, 0x8000 Alt) in readable form, "Ctrl+Q"; empty for none or a key it cannot name.
QString HotKeyText(int ShortCut);

class TOptionsTab : public QWidget {
  Q_OBJECT
 public:
  // Holiday edits and the diary's title format are announced through the model's Changes.
  explicit TOptionsTab(TMirModel& Model, QWidget* parent = nullptr);

  // Start-up: the controls show the settings.
  void InitializePage();
  // The holiday document from its file (or the built-in list) and one row per holiday; rows of
  // the built-in holidays are shown, not edited, the user's own are edited. False when the
  // user's file could not be read.
  bool LoadHolidays();
  TKVPanelsBox* HolidayScroll() const { return holidayScroll_; }
  TMHolidayPanel* HolidayRow(int Index) const;

  void HolidaySelect();
  void AddHolidayBtnClick();
  void DeleteHolidayBtnClick();
  void DeleteAllHolidayBtnClick();
  // The rows become the holiday document's items (in row order) and its index is rebuilt.
  void ApplyHolidays();
  // Applies the rows when they were edited since the last apply, then saves the holidays when
  // they changed since they were loaded or saved. False when the save failed (reported once).
  bool SaveHolidays();
  // Rows edited since the last apply.
  bool RowsEdited() const { return rowsEdited_; }
  void DiaryLongDateChkClick();

 private:
  void CreateControls();
  void ApplyTexts();
  TMHolidayPanel* AddRow(const QDate& Date, bool EveryYear, const QString& Title, bool Editable);
  void Edited();

  TMirModel& model_;
  TKVPanelsBox* holidayScroll_;
  QPushButton* addHolidayBtn_;
  QPushButton* deleteHolidayBtn_;
  QPushButton* deleteAllHolidayBtn_;
  QCheckBox* diaryLongDateChk_;
  QCheckBox* pwdCheck_;
  QComboBox* deleteOldNotesBox_;
  TKVRichEdit* styleSample_;
  bool rowsEdited_ = false;     // rows differ from the document
  bool unsaved_ = false;        // the document differs from the file
};
