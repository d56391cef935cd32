#include "controls/KVListBox.h"

#include <QAbstractListModel>
#include <QBuffer>
#include <QCollator>
#include <QKeyEvent>
#include <QPainter>
#include <QSet>
#include <QStyledItemDelegate>
#include <numeric>
#include <optional>

#include "controls/KVRtfReader.h"

const EnumInfo kSortStyleEnum{QStringLiteral("TKVSortStyle"),
                              {QStringLiteral("soNone"), QStringLiteral("soAscending"), QStringLiteral("soDescending"),
                               QStringLiteral("soFolderAscending"), QStringLiteral("soFolderDescending"),
                               QStringLiteral("soDiaryAscending"), QStringLiteral("soDiaryDescending")}};

// ---------------------------------------------------------------------------------------------
// Sorting

namespace {

// The classic string-list quicksort: the pivot is followed through exchanges, the left part is
// sorted by recursion and the right part by the loop.
template <class Compare, class Exchange>
void QuickSortItems(int L, int R, const Compare& compare, const Exchange& exchange) {
  int I, J;
  do {
    I = L;
    J = R;
    int P = (L + R) / 2;
    do {
      while (compare(I, P) < 0) ++I;
      while (compare(J, P) > 0) --J;
      if (I <= J) {
        if (I != J) exchange(I, J);
        if (P == I) P = J;
        else if (P == J) P = I;
        ++I;
        --J;
      }
    } while (I <= J);
    if (L < J) QuickSortItems(L, J, compare, exchange);
    L = I;
  } while (I < R);
}

int Sign(qint64 v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

}  // namespace

qint64 DiaryKeyDays(const QString& id) {
  int y, m, d;
  NbKeyDateParts(id, y, m, d);
  const QDate date(y, m, d);
  if (y < 1 || y > 9999 || !date.isValid()) return 0;
  return QDate(1899, 12, 30).daysTo(date);
}

void SortListItems(TKVListItems& items, TKVSortStyle style) {
  std::vector<int> origin;
  SortListItems(items, style, origin);
}

void SortListItems(TKVListItems& items, TKVSortStyle style, std::vector<int>& origin) {
  const int n = int(items.size());
  origin.resize(size_t(n));
  std::iota(origin.begin(), origin.end(), 0);
  if (style == soNone || n < 2) return;

  if (style == soDiaryAscending || style == soDiaryDescending) {
    // An item without an entry cannot be placed: it compares equal to everything.
    std::vector<std::optional<qint64>> days(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
      if (items[size_t(i)].Object) days[size_t(i)] = DiaryKeyDays(items[size_t(i)].Object->ID);
    const int sign = style == soDiaryAscending ? 1 : -1;
    QuickSortItems(
        0, n - 1,
        [&](int i, int j) {
          const auto &a = days[size_t(i)], &b = days[size_t(j)];
          return a && b ? sign * Sign(*a - *b) : 0;
        },
        [&](int i, int j) {
          std::swap(items[size_t(i)], items[size_t(j)]);
          std::swap(days[size_t(i)], days[size_t(j)]);
          std::swap(origin[size_t(i)], origin[size_t(j)]);
        });
    return;
  }

  QCollator collator{QLocale()};
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::vector<QCollatorSortKey> keys;
  keys.reserve(size_t(n));
  for (const TKVListItem& it : items) keys.push_back(collator.sortKey(it.Caption));
  const bool folders = style == soFolderAscending || style == soFolderDescending;
  const int sign = (style == soAscending || style == soFolderAscending) ? 1 : -1;
  // 1 for a folder, 2 for the ".." folder.
  std::vector<char> kind(size_t(n), 0);
  if (folders)
    for (int i = 0; i < n; ++i) {
      const TKVListItem& it = items[size_t(i)];
      if (it.Object && it.Object->IsFolder) kind[size_t(i)] = it.Caption == QLatin1String("..") ? 2 : 1;
    }
  QuickSortItems(
      0, n - 1,
      [&](int i, int j) {
        if (folders) {
          const char a = kind[size_t(i)], b = kind[size_t(j)];
          if ((a != 0) != (b != 0)) return a ? -1 : 1;
          if (a == 2) return -1;
          if (b == 2) return 1;
        }
        return sign * Sign(keys[size_t(i)].compare(keys[size_t(j)]));
      },
      [&](int i, int j) {
        std::swap(items[size_t(i)], items[size_t(j)]);
        keys[size_t(i)].swap(keys[size_t(j)]);
        std::swap(kind[size_t(i)], kind[size_t(j)]);
        std::swap(origin[size_t(i)], origin[size_t(j)]);
      });
}

// ---------------------------------------------------------------------------------------------
// The model behind the list box

class TKVListModel : public QAbstractListModel {
 public:
  TKVListItems items;

  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(items.size()); }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= int(items.size())) return {};
    if (role == Qt::DisplayRole) return items[size_t(index.row())].Caption;
    return {};
  }

  void Append(const TKVListItem& item) {
    const int n = int(items.size());
    beginInsertRows({}, n, n);
    items.push_back(item);
    endInsertRows();
  }
  void Append(TKVListItems&& more) {
    if (more.empty()) return;
    const int n = int(items.size());
    beginInsertRows({}, n, n + int(more.size()) - 1);
    if (items.empty()) items = std::move(more);
    else items.insert(items.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    endInsertRows();
  }
  void Remove(int row) {
    beginRemoveRows({}, row, row);
    items.erase(items.begin() + row);
    endRemoveRows();
  }
  void RemoveIf(const std::function<bool(const TKVListItem&)>& gone) {
    beginResetModel();
    items.erase(std::remove_if(items.begin(), items.end(), gone), items.end());
    endResetModel();
  }
  void RemoveAll() {
    beginResetModel();
    items.clear();
    endResetModel();
  }
  void SetCaption(int row, const QString& caption) {
    items[size_t(row)].Caption = caption;
    emit dataChanged(index(row), index(row));
  }
  void Sort(TKVSortStyle style) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> origin;
    SortListItems(items, style, origin);
    std::vector<int> moved(origin.size());
    for (size_t i = 0; i < origin.size(); ++i) moved[size_t(origin[i])] = int(i);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& f : from) to.append(index(moved[size_t(f.row())]));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  }
};

// ---------------------------------------------------------------------------------------------
// The list box

TKVCustomListBox::TKVCustomListBox(QWidget* parent) : QListView(parent), model_(new TKVListModel) {
  model_->setParent(this);
  setModel(model_);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(this, &QAbstractItemView::clicked, this, [this] { OnClick(this); });
  connect(this, &QAbstractItemView::doubleClicked, this, [this] { OnDblClick(this); });
}

TKVCustomListBox::~TKVCustomListBox() = default;

void TKVCustomListBox::SetSortStyle(TKVSortStyle style) {
  if (style == sortStyle_) return;
  sortStyle_ = style;
  if (Count() > 0 && style != soNone) Resort();
}

void TKVCustomListBox::SetMultiSelect(bool on) {
  multiSelect_ = on;
  setSelectionMode(on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void TKVCustomListBox::Resort() { model_->Sort(sortStyle_); }

int TKVCustomListBox::Count() const { return int(model_->items.size()); }
const TKVListItems& TKVCustomListBox::Items() const { return model_->items; }

QString TKVCustomListBox::Strings(int index) const { return model_->items.at(size_t(index)).Caption; }

void TKVCustomListBox::SetStrings(int index, const QString& caption) {
  if (index < 0 || index >= Count()) throw EKVError(QStringLiteral("List index out of bounds (%1)").arg(index));
  model_->SetCaption(index, caption);
}

TNbObject* TKVCustomListBox::Objects(int index) const { return model_->items.at(size_t(index)).Object; }

int TKVCustomListBox::IndexOf(const QString& caption) const {
  for (int i = 0; i < Count(); ++i)
    if (model_->items[size_t(i)].Caption.compare(caption, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

int TKVCustomListBox::IndexOfObject(const TNbObject* object) const {
  for (int i = 0; i < Count(); ++i)
    if (model_->items[size_t(i)].Object == object) return i;
  return -1;
}

void TKVCustomListBox::AddItem(const QString& caption, TNbObject* object) {
  ++programmatic_;
  model_->Append({caption, object});
  if (sortStyle_ != soNone) Resort();
  --programmatic_;
}

void TKVCustomListBox::AddItems(TKVListItems&& items) {
  if (items.empty()) return;
  ++programmatic_;
  model_->Append(std::move(items));
  if (sortStyle_ != soNone) Resort();
  --programmatic_;
}

void TKVCustomListBox::DeleteString(int index) {
  if (index < 0 || index >= Count()) return;
  ++programmatic_;
  model_->Remove(index);
  --programmatic_;
}

void TKVCustomListBox::DeleteObjects(const std::vector<TNbObject*>& entries) {
  if (entries.empty() || Count() == 0) return;
  if (entries.size() == 1) {
    DeleteString(IndexOfObject(entries.front()));
    return;
  }
  const QSet<const TNbObject*> gone(entries.begin(), entries.end());
  bool any = false;
  for (const TKVListItem& i : model_->items) any = any || gone.contains(i.Object);
  if (!any) return;
  ++programmatic_;
  model_->RemoveIf([&](const TKVListItem& i) { return gone.contains(i.Object); });
  --programmatic_;
}

void TKVCustomListBox::Clear() {
  ++programmatic_;
  model_->RemoveAll();
  --programmatic_;
}

int TKVCustomListBox::ItemIndex() const {
  const QModelIndex current = currentIndex();
  if (current.isValid() && selectionModel()->isSelected(current)) return current.row();
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void TKVCustomListBox::SetItemIndex(int index) {
  ++programmatic_;
  if (index < 0 || index >= Count()) {
    selectionModel()->clearSelection();
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  } else {
    const QModelIndex i = model_->index(index);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
    scrollTo(i);
  }
  --programmatic_;
}

bool TKVCustomListBox::Selected(int index) const {
  return index >= 0 && index < Count() && selectionModel()->isSelected(model_->index(index));
}

void TKVCustomListBox::SetSelected(int index, bool on) {
  if (index < 0 || index >= Count()) return;
  ++programmatic_;
  if (!multiSelect_ && on) SetItemIndex(index);
  else selectionModel()->select(model_->index(index), on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
  --programmatic_;
}

int TKVCustomListBox::SelCount() const { return int(selectionModel()->selectedRows().size()); }

void TKVCustomListBox::ClearSelection() { SetItemIndex(-1); }

void TKVCustomListBox::keyPressEvent(QKeyEvent* e) {
  keyboardMove_ = true;
  QListView::keyPressEvent(e);
  keyboardMove_ = false;
}

void TKVCustomListBox::keyReleaseEvent(QKeyEvent* e) {
  QListView::keyReleaseEvent(e);
  if (!e->isAutoRepeat()) OnKeyUp(this, e->key(), e->modifiers());
}

void TKVCustomListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QListView::currentChanged(current, previous);
  // A mouse click reports itself once released; moving with the keys reports here.
  if (keyboardMove_ && !programmatic_) OnClick(this);
}

// ---------------------------------------------------------------------------------------------
// The owner-drawn list box

namespace {

class TKVListBoxDelegate : public QStyledItemDelegate {
 public:
  explicit TKVListBoxDelegate(TKVListBox* box) : QStyledItemDelegate(box), box_(box) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (box_->OnDrawItem) box_->OnDrawItem(box_, index.row(), option.rect, option.state, painter);
    else box_->DrawItem(painter, index.row(), option.rect, option.state);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    s.setHeight(box_->fontMetrics().height() + 2);
    return s;
  }

 private:
  TKVListBox* box_;
};

QColor QColorFromTColor(TColor c) {
  const TColor rgb = ColorToRGB(c);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

}  // namespace

TKVListBox::TKVListBox(QWidget* parent) : TKVCustomListBox(parent) {
  setItemDelegate(new TKVListBoxDelegate(this));
}

void TKVListBox::DrawItem(QPainter* painter, int index, const QRect& rect, QStyle::State state) {
  const bool selected = state & QStyle::State_Selected;
  const QPalette& pal = palette();
  painter->save();
  painter->fillRect(rect, selected ? pal.highlight() : pal.base());
  if (index >= 0 && index < Count()) {
    const TNbObject* entry = Objects(index);
    QFont f = font();
    if (entry && entry->IsFolder) f.setBold(true);
    painter->setFont(f);
    painter->setPen(selected ? pal.color(QPalette::HighlightedText)
                             : entry ? QColorFromTColor(entry->DisplayColor) : pal.color(QPalette::Text));
    painter->drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Strings(index));
  }
  painter->restore();
}

void TKVListBox::changeEvent(QEvent* e) {
  TKVCustomListBox::changeEvent(e);
  if (e->type() == QEvent::FontChange) UpdateItemHeight();
}

void TKVListBox::UpdateItemHeight() {
  // Items have one fixed height: the view asks again for it.
  setUniformItemSizes(false);
  setUniformItemSizes(true);
}

// ---------------------------------------------------------------------------------------------
// The plain rich-edit control

TKVRichEdit::TKVRichEdit(QWidget* parent) : TKVCustomRichEdit(parent) { SetAllowObjects(false); }

void TKVRichEdit::SetRTFText(const QString& text) { LoadRTFText(text); }

QString TKVRichEdit::GetRTFText() { return SaveRTFText(); }
