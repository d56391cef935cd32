#pragma once
// A list box that keeps its items in one of seven orders, including orders that understand
// notebook entries (folders first, diary dates), its variant that draws entries in their colours,
// and a plain rich-edit control that takes and gives its content as RTF text.
#include <QListView>
#include <QString>
#include <QStyle>
#include <vector>

#include "controls/KVNbData.h"
#include "controls/KVRichEdOLE.h"
#include "foundation/KVClasses.h"

enum TKVSortStyle {
  soNone, soAscending, soDescending, soFolderAscending, soFolderDescending, soDiaryAscending, soDiaryDescending
};
extern const EnumInfo kSortStyleEnum;

// One item: its caption and the entry it stands for (not owned; may be none).
struct TKVListItem {
  QString Caption;
  TNbObject* Object = nullptr;
};
using TKVListItems = std::vector<TKVListItem>;

// Sorts Items in the order of Style (soNone keeps the order) with the classic string-list
// quicksort. Each item's sort key (collation key, folder flag, date) is worked out once.
void SortListItems(TKVListItems& items, TKVSortStyle style);
// The same, also giving where each item came from: Origin[new index] = old index.
void SortListItems(TKVListItems& items, TKVSortStyle style, std::vector<int>& origin);
// The day number (days since 30 December 1899) of a diary key as the diary order reads it:
// invalid dates count as day 0.
qint64 DiaryKeyDays(const QString& id);

class TKVListModel;

class TKVCustomListBox : public QListView {
  Q_OBJECT
 public:
  explicit TKVCustomListBox(QWidget* parent = nullptr);
  ~TKVCustomListBox() override;

  TKVSortStyle SortStyle() const { return sortStyle_; }
  // A new style re-sorts the items at once; soNone keeps the present order.
  void SetSortStyle(TKVSortStyle style);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool on);

  int Count() const;
  QString Strings(int index) const;
  void SetStrings(int index, const QString& caption);
  TNbObject* Objects(int index) const;
  int IndexOf(const QString& caption) const;
  int IndexOfObject(const TNbObject* object) const;
  // Appends the item; every style but soNone then sorts the whole list again.
  virtual void AddItem(const QString& caption, TNbObject* object);
  // Appends the items at once, then sorts as AddItem does: a search lists thousands.
  void AddItems(TKVListItems&& items);
  void DeleteString(int index);
  // Removes every item that stands for one of Entries.
  void DeleteObjects(const std::vector<TNbObject*>& entries);
  void Clear();
  const TKVListItems& Items() const;

  // The selected item (the focused one with MultiSelect), -1 when none.
  int ItemIndex() const;
  void SetItemIndex(int index);
  bool Selected(int index) const;
  void SetSelected(int index, bool on);
  int SelCount() const;
  void ClearSelection();

  TEvent<void(TKVCustomListBox* sender)> OnClick;
  TEvent<void(TKVCustomListBox* sender)> OnDblClick;
  TEvent<void(TKVCustomListBox* sender, int key, Qt::KeyboardModifiers shift)> OnKeyUp;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  TKVListModel& Model() const { return *model_; }

 private:
  TKVListModel* model_;
  TKVSortStyle sortStyle_ = soNone;
  bool multiSelect_ = false;
  bool keyboardMove_ = false;
  int programmatic_ = 0;

  void Resort();
};

// The owner-drawn list of notebook entries: each in its DisplayColor, folders in bold.
class TKVListBox : public TKVCustomListBox {
  Q_OBJECT
 public:
  explicit TKVListBox(QWidget* parent = nullptr);
  // When set it alone draws the items.
  TEvent<void(TKVListBox* sender, int index, const QRect& rect, QStyle::State state, QPainter* painter)> OnDrawItem;
  // Fills Rect with the brush of its state and writes the item at (left + 2, top).
  void DrawItem(QPainter* painter, int index, const QRect& rect, QStyle::State state);

 protected:
  void changeEvent(QEvent* e) override;

 private:
  void UpdateItemHeight();
};

// A rich-edit control without objects whose content goes in and out as RTF text (plain text
// with StreamFormat sfPlainText).
class TKVRichEdit : public TKVCustomRichEdit {
  Q_OBJECT
 public:
  explicit TKVRichEdit(QWidget* parent = nullptr);
  virtual void SetRTFText(const QString& text);
  virtual QString GetRTFText();
};
