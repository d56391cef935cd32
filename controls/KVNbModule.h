#pragma once
// The notebook component: a notebook store bound to a rich-text editor that edits the active
// entry, a search list that lists entries by caption and a search edit that holds keywords. It
// posts edits back into the store, searches, exports and prints entries.
#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>
#include <condition_variable>
#include <vector>

#include "controls/KVListBox.h"
#include "controls/KVNbData.h"
#include "controls/KVRichEdOLE.h"
#include "foundation/KVClasses.h"

class QLineEdit;
class TKVCustomListBox;
class TKVCustomRichEdit;
class TKVPrintJob;
class TKVRichEditOLE;
struct TKVFormatRange;

enum TNbSearchKeywords { nbsExact = 0, nbsAll = 1, nbsAny = 2 };
extern const EnumInfo kNbSearchKeywordsEnum;

// The keywords of a search text: the whole text for nbsExact; for nbsAll and nbsAny its words,
// parted by blanks or commas.
QStringList NbSearchKeywords(const QString& text, TNbSearchKeywords mode);
// A text as the search compares it: case-folded, with accented letters in one (composed) form.
QString NbSearchFold(const QString& text);
// The plain text of an entry's text (RTF, or plain text as it stands), as the editor would hold
// it: paragraphs end in CR.
QString NbPlainText(const QString& text);
// Whether Text holds the keywords as Mode asks, without regard to case or to how an accented
// letter is composed. No keywords: no match.
bool NbTextMatches(const QString& plainText, const QStringList& keywords, TNbSearchKeywords mode);

class TNbModule : public TComponent {
  KV_CLASS(TNbModule)
 public:
  explicit TNbModule(TComponent* owner = nullptr);
  ~TNbModule() override;

  // ---- published properties
  bool EditVisible() const { return editVisible_; }
  virtual void SetEditVisible(bool on);
  bool DeleteConfirmation = true;
  bool ReadOnly = false;
  const TStringList& DefaultData() const { return defaultData_; }
  void SetDefaultData(const QStringList& lines);
  bool LoadDefault = false;
  TKVRichEditOLE* NbEdit() const { return nbEdit_; }
  void SetNbEdit(TKVRichEditOLE* editor);
  TKVCustomListBox* SearchBox() const { return searchBox_; }
  void SetSearchBox(TKVCustomListBox* box);
  QLineEdit* SearchEdit() const { return searchEdit_; }
  void SetSearchEdit(QLineEdit* edit) { searchEdit_ = edit; }
  TNbSearchKeywords SearchKeywords = nbsExact;
  bool SearchAll = true;
  QString TitleFormat = QStringLiteral("i");
  bool ShowAll() const { return showAll_; }
  void SetShowAll(bool on);
  bool SearchBoxColor = false;
  TColor DefaultColor = clBlack;
  TFont& DefaultFont() { return defaultFont_; }
  bool AutoNewEntry = true;
  bool WordWrap() const { return wordWrap_; }
  virtual void SetWordWrap(bool on);
  TNotifyEvent OnActiveChanging;
  TNotifyEvent OnActiveChanged;

  // ---- state
  TNbDataList& Data() { return *data_; }
  const QStringList& DefaultIDs() const { return defaultIDs_; }
  bool IsDefaultID(const QString& id) const { return defaultIDs_.contains(id); }
  QString ActiveID() const { return activeID_; }
  void SetActiveID(const QString& id);
  int ActiveSection() const { return activeSection_; }
  TNbObject& ParentEntry() { return *parentEntry_; }
  // Sections are folders of ".dat" files; nothing in the calendar turns it on.
  bool FolderMode = false;

  // ---- operations
  virtual void BeforePost() {}
  virtual void DoActiveChanging();
  virtual void DoActiveChanged();
  virtual void ClearEditor();
  // An empty editor for an entry under a fresh ID; when that ID names a stored entry, the editor
  // shows that entry instead.
  virtual void NewEntry();
  virtual void ShowEntry(TNbObject* entry);
  virtual void SetActive(TNbObject* entry, const QString& id, bool select);
  virtual void SectionChanging() {}
  virtual void SectionChanged() {}
  // Scope 0 and 1: every entry of the active section (ShowAll is switched on); 2: the listed set.
  virtual void CollectEntries(int scope, std::vector<TNbObject*>& list);
  virtual void ListEntry(TNbObject* entry, bool update);
  virtual void SelectInSearchBox(TNbObject* entry);
  virtual void ClearSearchBox();
  virtual void Search();
  // Reads, on a thread of its own, the plain text the search compares for every entry, so that
  // the first search after a load finds it ready; a search waits for what is still being read.
  void PrepareSearch();
  // The search field is on the screen: what PrepareSearch prepares is wanted.
  bool SearchShown() const { return searchEdit_ && searchEdit_->isVisible(); }
  // Lets go of the prepared texts while nobody can search: a search reads what it needs again.
  void ReleaseSearch();
  virtual void FillSearchBox();
  virtual void RefreshColors();
  virtual void RefreshSectionColors(int index);
  virtual void UpdateDisplayColor(TNbObject* entry);
  // Raises ENbDataCrypt, EConvertError and EFOpenError of the store; the notebook then holds
  // what was read before the error.
  virtual void OpenNotebook(const QString& fileName);
  virtual void Reload();
  // Stores the editor's content under ID when it is modified and the notebook is not read-only.
  virtual void Post(const QString& id);
  void Post() { Post(activeID_); }
  virtual void SearchBoxKeyUp(int key, Qt::KeyboardModifiers shift);
  void SearchBoxClick();
  void SearchBoxDblClick();
  void LoadDefaultData();
  // Kind 0: one RTF file per entry into the folder Path, 1: one text file per entry, 2: all in
  // one RTF file Path, 3: all in one text file Path. Scope as CollectEntries. Raises
  // EFCreateError when a file cannot be written.
  virtual void Export(const QString& path, int kind, int scope);
  // Print the entry alone; raise EKVError when printing fails or the margins leave no room.
  virtual void PrintEntry(TNbObject* entry, const QString& title, double leftMargin, double topMargin,
                          double rightMargin, double bottomMargin, bool inInches, int copies);
  // Scope 1 and 2: all entries, 3: the found set; one print job. With Merge entries follow one
  // another on the page, parted by a rule; else each starts a page.
  virtual void PrintEntries(const QString& title, bool inInches, double leftMargin, double topMargin,
                            double rightMargin, double bottomMargin, int scope, bool merge, int copies);
  // Scope 0 prints the active entry, others as PrintEntries; a failure is shown as
  // "Printing Error!".
  void Print(const QString& title, bool inInches, double leftMargin, double topMargin, double rightMargin,
             double bottomMargin, int scope, bool merge, int copies);

 private:
  struct TSearchPrep;
  std::shared_ptr<TSearchPrep> searchPrep_;
  // The prepared texts into the entries that still hold what they were read from.
  void TakePreparedSearch();
  std::unique_ptr<TNbDataList> data_;
  TStringList defaultData_;
  QStringList defaultIDs_;
  TFont defaultFont_;
  std::unique_ptr<TNbObject> parentEntry_;
  QPointer<TKVRichEditOLE> nbEdit_;
  QPointer<TKVCustomListBox> searchBox_;
  QPointer<QLineEdit> searchEdit_;
  QString activeID_;
  int activeSection_ = 0;
  bool editVisible_ = true;
  bool showAll_ = true;
  bool wordWrap_ = true;

  void SwitchSection(int index);
  void SwitchToSectionOf(const TNbObject* entry);
  void RemoveEntry(TNbObject* entry);
  void UnhookSearchBox();
  void OpenFolder(const QString& folder);
  // Loads the entry into the printing editor, with its ID as the first line when the caption
  // format shows IDs, or its date when the format shows dates.
  void LoadForPrinting(TKVRichEditOLE& editor, const TNbObject& entry) const;
};
