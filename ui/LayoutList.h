#pragma once
// The layout list of the Calendar Style page ("LayoutScroll"): one preview panel per layout of the
// built-in layout pack and of every layout pack file (".mlt") in the program folder, sorted by
// layout id. Clicking a panel makes its layout the current one and redraws the preview.
//
// Listing never touches the current layout object: each entry is parsed into a scratch layout.
// A layout pack file that cannot be opened, is no regular file (a dangling link, a pipe), has
// another version or a damaged directory is skipped; so is an entry that is damaged, too large or
// not layout text. Nothing here raises.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "controls/KVPanels.h"

class QFile;
class TKVResReader;
class TLayoutIni;
class TMLayoutPanel;
class TMirModel;

// Entries and sizes beyond what any layout needs mark a hostile file.
constexpr int kMaxLayoutEntries = 4096;
constexpr qint64 kMaxLayoutTextBytes = qint64(8) * 1024 * 1024;

// The order the list's exchange sort gives: for i from 0, for j after i, swap when the id at i
// is greater. Equal ids are never swapped with each other directly, but the sort is not stable.
// Returns the indices of Ids in sorted order.
QList<int> ExchangeSortOrder(const QList<int>& Ids);

struct TLayoutListHooks {
  // A panel's layout was made current (before the redraw): the page enables its controls for the
  // layout and fits the calendar font to it.
  std::function<void()> LayoutChanged;
  // Redraws the preview (the argument recalculates the layout); none: the model's renderer.
  std::function<void(bool RecalcLayout)> RenderCalendar;
  // The built-in layout pack; none: the data module's (the compiled-in block without one).
  std::function<QByteArray()> BuiltinLayouts;
  // Where the layout pack files lie; none: the program folder ExeDir.
  std::function<QString()> Folder;
};

class TLayoutList : public TKVPanelsBox {
  Q_OBJECT
 public:
  TLayoutList(TMirModel& Model, TLayoutListHooks Hooks, QWidget* Parent = nullptr);

  // Rebuilds the panels from the built-in pack and the layout pack files (remembered in the
  // model's LayoutPackFiles), sorted by layout id. The panel of the working style's layout id is
  // then shown selected; nothing is loaded or drawn.
  void LoadLayouts();
  // The panels are made (LoadLayouts ran).
  bool Loaded() const { return loaded_; }
  // The layout pack files of the folder differ from those of the last LoadLayouts (names
  // compared without regard to case); always before the first LoadLayouts.
  bool LayoutFilesChanged() const;
  // One panel per layout entry of an open pack, into Panels (not yet in the box); Scratch is the
  // layout object the texts are parsed into.
  void AddLayoutsFromReader(TKVResReader& Reader, TLayoutIni& Scratch, QList<TMLayoutPanel*>& Panels);

  // OnSelected of every panel: loads the panel's layout into the model's layout object, takes
  // its id into the working style, tells LayoutChanged and, unless the renderer is busy, redraws.
  void LayoutSelected(TKVIdxPanel* Sender);
  // Selects the first panel carrying Id and loads its layout (also when it was already
  // selected); no panel is selected when none carries it. False then. Before the first
  // LoadLayouts there are no panels: the layout the list would choose is loaded from its text.
  bool SelectLayoutID(int Id);
  // The text of the layout the first panel carrying Id holds once the list is loaded (the same
  // sources and order, ties included), without making panels or reading the layouts' pictures;
  // none when no panel would carry it. Remembers the layout pack files as LoadLayouts does.
  std::optional<QString> ChosenLayoutText(int Id);

  TMLayoutPanel* Panel(int Index) const;
  // Scrolls the chosen panel into view.
  void ShowChosen();
  // The ids of the panels in list order.
  QList<int> LayoutIds() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QString Folder() const;
  QStringList ListLayoutFiles() const;
  // Each non-blank layout text of the built-in pack, then of the layout pack files, in list order.
  void ForEachLayoutText(const std::function<void(const QString&)>& Take);
  static void ForEachLayoutText(TKVResReader& Reader, const std::function<void(const QString&)>& Take);
  static bool OpenLayoutFile(QFile& File, TKVResReader& Reader);
  void AddLayout(const QString& Text, TLayoutIni& Scratch, QList<TMLayoutPanel*>& Panels);
  // The layout into the model's layout object and its id into the working style, as a click does.
  void LoadChosen(const QString& Text);
  int IndexOfId(int Id) const;

  TMirModel& model_;
  TLayoutListHooks hooks_;
  // Selecting from code without loading (after a rebuild).
  bool quiet_ = false;
  bool loaded_ = false;
};
