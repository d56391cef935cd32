#pragma once
// The Calendar Style page of the settings window: the calendar's font, leading, shadow, bevel,
// transparencies, contrasts and eight colours, the notes display mode and the layout list. Every
// control edits the settings' working style (WorkStyle), never the stored one, and redraws the
// preview; OK in the main form commits the working style, Undo Changes reverts it.
//
// Controls filled from code run no handler, so values that lie between a control's steps (a
// transparency of 47 on a track of steps of 5) stay exact until the user moves that control.
// The controls' redraws are queued and merged: however fast they come (a dragged track or colour,
// a held arrow key, a typed number), at most one waits at a time. Undo and ChooseNotesMode draw
// at once.
#include <QPointer>
#include <QWidget>
#include <functional>

#include "ui/LayoutList.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;
class QToolButton;
class TKVFontCharsetComboBox;
class TKVFontComboBox;
class TKVSkinColorPicker;
class TMirModel;

// The screen the calendar font is fitted to, in physical pixels: its height, the work area (the
// part no panel covers) from Top to Bottom, and the pixels per inch fonts are drawn at.
struct TWorkArea {
  int ScreenHeight = 0;
  int Top = 0;
  int Bottom = 0;
  int PixelsPerInch = 96;
};
// The primary screen's, as the renderer draws on it.
TWorkArea PrimaryWorkArea();

struct TStyleTabHooks {
  // Draws the preview (the argument recalculates the layout); none: the model's renderer.
  std::function<void(bool RecalcLayout)> RenderCalendar;
  // "Download New Layouts"; none: the button is disabled.
  std::function<void()> DownloadLayouts;
  // The screen the font is fitted to; none: PrimaryWorkArea.
  std::function<TWorkArea()> WorkArea;
  // The layout list's sources (none: the data module's pack and the program folder).
  std::function<QByteArray()> BuiltinLayouts;
  std::function<QString()> LayoutFolder;
};

// The eight colours in the order the page looks for the checked one.
enum TStyleColor { scBack, scSaturdayBack, scSundayBack, scDay, scSaturday, scSunday, scToday, scDayShadow };

class TStyleTab : public QWidget {
  Q_OBJECT
 public:
  // Model: the settings, layout and renderer the page edits; its form owns the colour picker.
  TStyleTab(TMirModel& Model, TStyleTabHooks Hooks, QWidget* Parent = nullptr);
  ~TStyleTab() override;

  TLayoutList& LayoutScroll() const { return *layoutScroll_; }
  TKVSkinColorPicker& RGBPicker() const;
  QPushButton& LayoutDownloadBtn() const { return *layoutDownloadBtn_; }

  // The layout list (Part of the page).
  void LoadLayouts() { layoutScroll_->LoadLayouts(); }
  bool LayoutFilesChanged() const { return layoutScroll_->LayoutFilesChanged(); }

  // The stored style back into the working style, then every control from it; draws nothing
  // (the renderer is kept busy meanwhile), the callers draw.
  void DefaultSettings();
  // The calendar font size, day-name width and day-row height for the renderer: 31 rows of day
  // names fit into the room of the current layout's month line on the work area (at least size 1).
  void FitCalendarFont();
  // Drops the unsaved style edits and draws once.
  void UndoChangesBtnClick();
  // ShowNotesBox shows the settings' notes mode (start-up), no handler runs.
  void ShowNotesSetting();
  // Chooses a notes mode as the user would: the box, then ShowNotesBoxChange; the drawing is
  // made before it returns.
  void ChooseNotesMode(int Index);

  // Handlers, as the controls call them.
  void CalFontBoxChange();
  void CalFontCharsetBoxChange();
  void CalBoldBtnClick();
  void CalItalicBtnClick();
  void ChangeSpace();
  void DayShadowBoxChange();
  void BevelBoxChange();
  void TransparencyTrackChange();
  void NotesTransparencyTrackChange();
  void MonthContrastTrackChange();
  void DayContrastTrackChange();
  void DayContrastEditChange();
  void DayContrastEditDone();
  void DayContrastEditClick();
  void CalculateSatSunChkClick();
  void ImagePackDefaultColorsChkClick();
  void ShowNotesBoxChange();
  void ColorBtnClick();
  void RGBPickerChange();

  // The checked colour button's colour; which one is checked.
  TStyleColor CheckedColor() const;
  void CheckColor(TStyleColor Which);

  // Queued redraws: run the waiting one now, or drop it (the caller draws itself); how many wait
  // (0 or 1) and how many were asked for since the page was made.
  void FlushRedraw();
  void CancelRedraw();
  bool RedrawQueued() const;
  int RedrawsRequested() const { return redrawsRequested_; }

 private:
  void CreateControls();
  void ApplyTexts();
  void Connect();
  void LayoutChanged();
  void Redraw(bool RecalcLayout);  // queued
  void RedrawNow(bool RecalcLayout);
  void RunQueuedRedraw();
  void FontChanged();
  void SetDayContrastText(int Value);
  TColor& StyleColor(TStyleColor Which);

  TMirModel& model_;
  TStyleTabHooks hooks_;

  QGroupBox* fontGroup_ = nullptr;
  TKVFontComboBox* calFontBox_ = nullptr;
  TKVFontCharsetComboBox* calFontCharsetBox_ = nullptr;
  QToolButton* calBoldBtn_ = nullptr;
  QToolButton* calItalicBtn_ = nullptr;
  QComboBox* daySpaceBox_ = nullptr;
  QComboBox* dayShadowBox_ = nullptr;
  QComboBox* bevelBox_ = nullptr;
  QSlider* transparencyTrack_ = nullptr;
  QSlider* notesTransparencyTrack_ = nullptr;
  QSlider* monthContrastTrack_ = nullptr;
  QGroupBox* contrastGroup_ = nullptr;
  QSlider* dayContrastTrack_ = nullptr;
  QLineEdit* dayContrastEdit_ = nullptr;
  QCheckBox* calculateSatSunChk_ = nullptr;
  QCheckBox* imagePackDefaultColorsChk_ = nullptr;
  QButtonGroup* colorButtons_ = nullptr;
  QRadioButton* colorBtn_[8] = {};
  QPointer<TKVSkinColorPicker> rgbPicker_;
  QComboBox* showNotesBox_ = nullptr;
  TLayoutList* layoutScroll_ = nullptr;
  QPushButton* layoutDownloadBtn_ = nullptr;
  QPushButton* undoChangesBtn_ = nullptr;

  // Fills from code: the font and charset boxes tell their refills, which are no user choice.
  int filling_ = 0;
  // The picker is showing a colour, not taking one.
  bool showingColor_ = false;
  QTimer* redrawTimer_ = nullptr;
  bool queuedRecalc_ = false;
  int redrawsRequested_ = 0;
};
