#pragma once
// The Diary page of the settings window: the diary notebook of the model bound to its rich-text
// editor, entry list and search edit; the month calendar that picks the day's entry; search with
// three keyword modes, show all, delete and print; and the formatting toolbar, kept in step with
// the editor's selection. While the diary is linked to the other product it is read-only. Also
// the link handler every rich-text view of the program shares.
#include <QPointer>
#include <QString>
#include <QToolButton>
#include <QWidget>

#include "controls/KVStdCtrls.h"
#include <functional>
#include <memory>

class QCalendarWidget;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSplitter;
class TComponent;
class TKVFontCharsetComboBox;
class TKVFontComboBox;
class TKVFontSizeComboBox;
class TKVListBox;
class TKVRichEditOLE;
class TMirModel;
class TPrintForm;
class TactREOBold;
class TactREOItalic;
class TactREOUnderline;
class TactREOLeftAlign;
class TactREOCenterAlign;
class TactREORightAlign;

// ---- links in rich text

enum class TRichLinkKind { None, Web, Mail };
struct TRichLink {
  TRichLinkKind Kind = TRichLinkKind::None;
  QString Address;  // what is handed to the browser or the mail program
};
// What a link of the program's rich-text views may open: web addresses (http, https, ftp, and
// "www." taken as http) and mail addresses (mailto); Kind None for anything else (files,
// programs, other schemes, text with blanks or control characters), which is ignored.
TRichLink ClassifyRichTextLink(const QString& URLText);
// OnURLClick of the diary editor and of the help and about views: only the left button; a web
// link opens in the browser, a mail link in the mail program (argument vectors, warning on
// failure), anything else nothing.
void RTFURLClick(const QString& URLText, Qt::MouseButton Button);

// A key that would change the text of an editor: typing, deleting, a line break, pasting,
// cutting, undoing, a style key. Moving, selecting and copying are not.
bool IsEditingKey(const QKeyEvent& Event);

struct TDiaryTabHooks {
  // Draws the calendar again (an edited entry may show on it).
  std::function<void(bool RecalcLayout)> RenderCalendar;
  // The print options dialog the program shares; none: the page makes its own.
  std::function<TPrintForm*()> PrintForm;
};

class TDiaryTab : public QWidget {
  Q_OBJECT
 public:
  TDiaryTab(TMirModel& Model, TDiaryTabHooks Hooks, QWidget* parent = nullptr);
  ~TDiaryTab() override;

  // Start-up: the notebook bound to the editor, the list and the search edit with the selected
  // day as the ID of a new entry; the keyword mode, the list order and the title format.
  void InitializePage();

  TKVRichEditOLE* Editor() const { return editor_; }
  TKVListBox* DiaryList() const { return diaryList_; }
  QCalendarWidget* MonthCalendar() const { return monthCalendar_; }
  QMenu* DiaryListPopupMenu() const { return diaryListPopupMenu_; }

  // Set from the editor when the active entry is about to change; read and cleared after it did.
  bool DiaryEditorModified = false;

  // The selected day as an entry ID ("yyyy/MM/dd").
  QString DiaryDateKey() const;
  void NbDiaryActiveChanging();
  void NbDiaryActiveChanged();
  // The day picked in the calendar becomes the active entry (a new one when the day has none).
  void MonthCalendarChange();
  // The calendar shows today; the active entry stays.
  void TodayLabelClick();
  // Today's entry becomes the active one (the tray's Diary command).
  void ShowToday();
  void actDeleteDiaryEntryExecute();
  // Shows the read-only warning when the diary is linked; true then.
  bool CheckDiaryReadOnly();
  void ShowAllBtnClick();
  void FindBtnClick();
  void FindKeywordsChange();
  // Brings the toolbar in line with the editor's selection.
  void EditorChange();
  void EditorFocus();
  void FontBoxChange();
  void FontSizeBoxChange();
  void FontCharsetBoxChange();
  void BulletBtnClick();
  void PrintDiaryBtnClick();
  // The diary read-only (linked) or editable: notebook, editor and font boxes.
  void SetDiaryReadOnly(bool ReadOnly);
  // The today label's text: "Today: " and today's date.
  void UpdateTodayLabel();

  // The width of the entry side; the splitter keeps it while the window grows.
  int LeftPanelWidth() const;
  void SetLeftPanelWidth(int Width);
  void Splitter1Moved();
  // The window was resized on this page: the entry side is never wider than the page allows.
  void FitLeftPanel();
  void Panel2Resize();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void CreateControls();
  void ApplyTexts();
  void SetFontSizeText(const QString& text);
  TPrintForm& PrintOptions();

  TMirModel& model_;
  TDiaryTabHooks hooks_;
  QWidget* bottomPanel_;
  QSplitter* splitter_;
  QWidget* leftPanel_;
  QWidget* panel2_;
  QCalendarWidget* monthCalendar_;
  QLabel* todayLabel_;
  QLineEdit* searchEdit_;
  QPushButton* findBtn_;
  QComboBox* findKeywords_;
  TKVListBox* diaryList_;
  QPushButton* showAllBtn_;
  QPushButton* printDiaryBtn_;
  QMenu* diaryListPopupMenu_;
  TKVFontComboBox* fontBox_;
  TKVFontSizeComboBox* fontSizeBox_;
  TKVFontCharsetComboBox* fontCharsetBox_;
  TKVTriStateButton* bBtn_;
  TKVTriStateButton* iBtn_;
  TKVTriStateButton* uBtn_;
  QToolButton* colorBtn_;
  QToolButton* alignLeftBtn_;
  QToolButton* alignCenterBtn_;
  QToolButton* alignRightBtn_;
  QToolButton* bulletBtn_;
  TKVRichEditOLE* editor_;
  TactREOBold* actBold_;
  TactREOItalic* actItalic_;
  TactREOUnderline* actUnderline_;
  TactREOLeftAlign* actLeft_;
  TactREOCenterAlign* actCenter_;
  TactREORightAlign* actRight_;
  QPointer<TPrintForm> ownPrintForm_;
  std::unique_ptr<TComponent> nbWatch_;  // tells when the notebook is gone
  bool readOnly_ = false;
  int updating_ = 0;  // the toolbar is being filled by code
};
