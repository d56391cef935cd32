#include "ui/LayoutList.h"

#include <QBuffer>
#include <QHash>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <new>

#include "calendar/MDataDM.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "controls/KVStdCtrls.h"
#include "controls/MirPanels.h"
#include "foundation/KVClasses.h"
#include "foundation/KVException.h"
#include "foundation/KVObjectText.h"
#include "foundation/KVRStream.h"
#include "foundation/KVSysUtils.h"

namespace {

// A memory buffer that refuses to grow past a ceiling, so that a compressed entry cannot
// inflate into more memory than any layout needs (the reader raises on the refused write).
class TCappedBuffer : public QBuffer {
 public:
  explicit TCappedBuffer(qint64 cap) : cap_(cap) {}

 protected:
  qint64 writeData(const char* data, qint64 len) override {
    if (pos() + len > cap_) return -1;
    return QBuffer::writeData(data, len);
  }

 private:
  qint64 cap_;
};

void SortFileNames(QStringList& names) {
  std::sort(names.begin(), names.end(),
            [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
}

}  // namespace

QList<int> ExchangeSortOrder(const QList<int>& ids) {
  QList<int> order;
  for (int i = 0; i < ids.size(); ++i) order << i;
  for (int i = 0; i + 1 < order.size(); ++i)
    for (int j = i + 1; j < order.size(); ++j)
      if (ids[order[i]] > ids[order[j]]) std::swap(order[i], order[j]);
  return order;
}

TLayoutList::TLayoutList(TMirModel& model, TLayoutListHooks hooks, QWidget* parent)
    : TKVPanelsBox(parent), model_(model), hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("LayoutScroll"));
  SetColumns(1);
  if (!hooks_.RenderCalendar) hooks_.RenderCalendar = [this](bool recalc) { model_.RenderCalendar(recalc); };
  if (!hooks_.BuiltinLayouts)
    hooks_.BuiltinLayouts = [] {
      return MData ? MData->DefaultLayouts->Bytes() : BuiltinDataBlock(QStringLiteral("DefaultLayouts"));
    };
  if (!hooks_.Folder) hooks_.Folder = [] { return ExeDir; };
  if (!hooks_.LayoutChanged) hooks_.LayoutChanged = [] {};
}

QString TLayoutList::Folder() const { return hooks_.Folder(); }

QStringList TLayoutList::ListLayoutFiles() const {
  QStringList files;
  ListFiles(Folder(), QStringLiteral("*.mlt"), files);
  SortFileNames(files);
  return files;
}

bool TLayoutList::LayoutFilesChanged() const {
  if (!loaded_) return true;
  const QStringList now = ListLayoutFiles();
  const QStringList& last = model_.LayoutPackFiles;
  if (now.size() != last.size()) return true;
  for (int i = 0; i < now.size(); ++i)
    if (now[i].compare(last[i], Qt::CaseInsensitive) != 0) return true;
  return false;
}

void TLayoutList::ForEachLayoutText(TKVResReader& reader, const std::function<void(const QString&)>& take) {
  for (int i = 0; i < reader.Count(); ++i) {
    const TKVResEntry e = reader.GetEntry(i);
    if (e.Kind != kLayoutEntryKind && e.Kind != kLayoutEntryKindCompressed) continue;
    if (e.Kind == kLayoutEntryKind && e.Size > kMaxLayoutTextBytes) continue;
    QString text;
    try {
      TCappedBuffer entry(kMaxLayoutTextBytes);
      entry.open(QIODevice::ReadWrite);
      reader.ReadToStream(i, entry);
      text = DecodeObjectTextBytes(entry.data());
    } catch (const EKVError&) {
      continue;
    } catch (const std::bad_alloc&) {
      continue;
    }
    // A blank text is told without a trimmed copy of each text.
    if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return !c.isSpace(); })) take(text);
  }
}

void TLayoutList::AddLayoutsFromReader(TKVResReader& reader, TLayoutIni& scratch, QList<TMLayoutPanel*>& panels) {
  ForEachLayoutText(reader, [&](const QString& text) { AddLayout(text, scratch, panels); });
}

void TLayoutList::AddLayout(const QString& text, TLayoutIni& scratch, QList<TMLayoutPanel*>& panels) {
  // A text that is no layout gives no panel.
  if (!scratch.LoadLayout(text)) return;
  auto* panel = new TMLayoutPanel;
  panel->setObjectName(QStringLiteral("LayoutPanel%1").arg(scratch.LayoutID));
  panel->LayoutText = text;
  panel->LayoutID = scratch.LayoutID;
  panel->Image().SetPicture(scratch.Picture.Image);
  panel->Image().Changed();
  panel->OnSelected.Set([this](TKVIdxPanel* sender) { LayoutSelected(sender); });
  panels << panel;
}

bool TLayoutList::OpenLayoutFile(QFile& file, TKVResReader& reader) {
  // Only regular files: a dangling link fails here, and a pipe or device could block the read.
  if (!QFileInfo(file.fileName()).isFile()) return false;
  if (!file.open(QIODevice::ReadOnly)) return false;
  // The version and count are looked at before the directory is read, so that a file claiming
  // millions of entries costs nothing.
  char head[8];
  if (file.read(head, 8) != 8) return false;
  if (qFromLittleEndian<qint32>(head) != kLayoutPackVersion) return false;
  const qint32 count = qFromLittleEndian<qint32>(head + 4);
  if (count < 0 || count > kMaxLayoutEntries) return false;
  reader.SetStream(&file);
  return reader.ReadDirectory();
}

void TLayoutList::ForEachLayoutText(const std::function<void(const QString&)>& take) {
  QBuffer builtin;
  builtin.setData(hooks_.BuiltinLayouts());
  builtin.open(QIODevice::ReadOnly);
  {
    TKVResReader reader;
    reader.SetStream(&builtin);
    if (reader.ReadDirectory() && reader.Count() <= kMaxLayoutEntries) ForEachLayoutText(reader, take);
  }
  model_.LayoutPackFiles = ListLayoutFiles();
  for (const QString& f : model_.LayoutPackFiles) {
    QFile file(f);
    TKVResReader reader;
    if (OpenLayoutFile(file, reader)) ForEachLayoutText(reader, take);
  }
}

std::optional<QString> TLayoutList::ChosenLayoutText(int id) {
  // The ids as the panels get them: a text that parses is a layout, and one without an id keeps
  // the one read before it, as in the list's scratch layout. The rest of each layout (its
  // picture, most of the work) is not read.
  TLayoutIni scratch;
  TReadHandlers handlers;
  handlers.onError = [](const QString&) { return true; };
  QList<int> ids;
  // Only a text carrying the id asked for can be the one: the others are not kept meanwhile.
  QHash<qsizetype, QString> carrying;
  ForEachLayoutText([&](const QString& text) {
    std::vector<TextProperty> idProps;
    try {
      TextObject block = ParseObjectText(text);
      for (TextProperty& prop : block.props)
        if (prop.name.compare(QLatin1String("LayoutID"), Qt::CaseInsensitive) == 0) idProps.push_back(std::move(prop));
    } catch (const EKVError&) {
      return;
    }
    ReadProperties(scratch, idProps, handlers);
    if (scratch.LayoutID == id) carrying.insert(ids.size(), text);
    ids << scratch.LayoutID;
  });
  // The first panel carrying the id in the list's order.
  for (int i : ExchangeSortOrder(ids))
    if (ids[i] == id) return carrying.value(i);
  return std::nullopt;
}

void TLayoutList::LoadLayouts() {
  Clear();
  loaded_ = true;
  TLayoutIni scratch;
  scratch.SetName(QStringLiteral("Lini"));
  QList<TMLayoutPanel*> panels;
  ForEachLayoutText([&](const QString& text) { AddLayout(text, scratch, panels); });

  QList<int> ids;
  for (const TMLayoutPanel* p : panels) ids << p->LayoutID;
  for (int i : ExchangeSortOrder(ids)) Add(panels[i]);

  // The chosen layout stays the current one; its panel is only shown.
  const int at = IndexOfId(model_.Ini->WorkStyle.LayoutID);
  if (at >= 0) {
    quiet_ = true;
    SetItemIndex(at);
    quiet_ = false;
  }
  ShowChosen();
}

void TLayoutList::ShowChosen() {
  if (TKVIdxPanel* p = Items(ItemIndex()); p && isVisible()) ensureWidgetVisible(p, 0, 0);
}

void TLayoutList::showEvent(QShowEvent* event) {
  TKVPanelsBox::showEvent(event);
  ShowChosen();
}

int TLayoutList::IndexOfId(int id) const {
  for (int i = 0; i < Count(); ++i)
    if (Panel(i) && Panel(i)->LayoutID == id) return i;
  return -1;
}

TMLayoutPanel* TLayoutList::Panel(int index) const { return qobject_cast<TMLayoutPanel*>(Items(index)); }

QList<int> TLayoutList::LayoutIds() const {
  QList<int> ids;
  for (int i = 0; i < Count(); ++i) ids << (Panel(i) ? Panel(i)->LayoutID : 0);
  return ids;
}

void TLayoutList::LayoutSelected(TKVIdxPanel* sender) {
  auto* panel = qobject_cast<TMLayoutPanel*>(sender);
  if (!panel || quiet_) return;
  LoadChosen(panel->LayoutText);
}

void TLayoutList::LoadChosen(const QString& text) {
  model_.Layout->LoadLayout(text);
  model_.Ini->WorkStyle.LayoutID = model_.Layout->LayoutID;
  hooks_.LayoutChanged();
  if (!model_.Busy()) hooks_.RenderCalendar(true);
}

bool TLayoutList::SelectLayoutID(int id) {
  if (!loaded_) {
    const std::optional<QString> text = ChosenLayoutText(id);
    if (!text) return false;
    LoadChosen(*text);
    return true;
  }
  const int at = IndexOfId(id);
  if (at < 0) {
    SetItemIndex(-1);
    return false;
  }
  // Selecting the selected panel again fires nothing, but its layout is loaded all the same.
  if (ItemIndex() == at) LayoutSelected(Items(at));
  else SetItemIndex(at);
  ShowChosen();
  return true;
}
