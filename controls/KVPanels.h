#pragma once
// Item panels and the scroll box that lays them out: equally sized panels in a grid of columns
// (or stacked in one column), one of them selected and shown in the selection colour, and a
// mouse wheel that scrolls a page per notch. The keyboard moves the selection as a click does.
#include <QPointer>
#include <QScrollArea>
#include <vector>

#include "foundation/KVClasses.h"
#include "foundation/KVTypes.h"

class TKVPanelsBox;

class TKVIdxPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TKVIdxPanel(QWidget* parent = nullptr);
  // Leaves its box's list.
  ~TKVIdxPanel() override;

  bool Selected() const { return selected_; }
  // In a box that does not select several, selecting a panel deselects the others; the panel
  // takes the box's selection or item colour. OnSelected follows a selection.
  void SetSelected(bool value);
  void Select() { SetSelected(true); }

  // The face colour (a system colour is resolved when painting).
  TColor Color() const { return color_; }
  void SetColor(TColor color);

  // In a one-column box the panel takes the box's client width (the class library's panel
  // anchored left and right).
  bool StretchToWidth() const { return stretchToWidth_; }
  void SetStretchToWidth(bool on) { stretchToWidth_ = on; }

  // The box holding the panel, or none.
  TKVPanelsBox* Box() const { return box_; }

  // What Space does to the selected panel: a panel with a check box toggles it as a click on it
  // does. False where there is nothing to toggle.
  virtual bool Toggle() { return false; }

  TEvent<void(TKVIdxPanel* sender)> OnSelected;
  TEvent<void(TKVIdxPanel* sender)> OnClick;
  TEvent<void(TKVIdxPanel* sender)> OnDblClick;

 protected:
  // The click events first, then Select.
  virtual void Click();
  virtual void DblClick();
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  friend class TKVPanelsBox;
  QPointer<TKVPanelsBox> box_;
  TColor color_;
  bool selected_ = false;
  bool stretchToWidth_ = false;
  bool pressed_ = false;
};

class TKVPanelsBox : public QScrollArea {
  Q_OBJECT
 public:
  explicit TKVPanelsBox(QWidget* parent = nullptr);
  // Frees the panels first.
  ~TKVPanelsBox() override;

  int Count() const { return int(panels_.size()); }
  // Panel N, or none outside 0 .. Count - 1.
  TKVIdxPanel* Items(int n) const;
  // -1 when the panel is not in the box.
  int IndexOf(const TKVIdxPanel* panel) const;

  // The selected panel, -1 when none.
  int ItemIndex() const { return itemIndex_; }
  // Selects panel N and deselects the others; an N outside the panels deselects all. With
  // MultiSelect it only clears ItemIndex.
  void SetItemIndex(int n);
  // Selects or deselects panel N; ignored when N is out of range.
  void SetItemSelected(int n, bool value);

  // Columns of the grid; values below 1 are taken as 1. Panels already placed stay where they are.
  int Columns() const { return columns_; }
  void SetColumns(int columns) { columns_ = columns < 1 ? 1 : columns; }
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool on) { multiSelect_ = on; }
  TColor SelectedItemColor() const { return selectedItemColor_; }
  void SetSelectedItemColor(TColor color);
  TColor ItemColor() const { return itemColor_; }
  void SetItemColor(TColor color);

  // Takes the panel (and frees it with the box) and places it after the last one.
  void Add(TKVIdxPanel* panel);
  // Frees panel N (ignored out of range) and places the following panels again.
  void Delete(int n);
  // Frees every panel; nothing is selected.
  void Clear();
  // Swaps two panels, keeping the selection on the same panel, and shows the selected panel.
  void Exchange(int i, int j);
  // Places the panels from N to the last again (from 0: also scrolls to the top).
  void ArrangeFrom(int n);

  // The widget the panels live on (their positions are in its coordinates).
  QWidget* Content() const { return widget(); }

  // The panel the keyboard acts on: the selected one, else the first; -1 in an empty box.
  int CurrentIndex() const;
  // The keyboard is in the box (or on one of its panels, not on a control of one): the current
  // panel shows a focus frame.
  bool ShowsFocus() const;

 protected:
  void wheelEvent(QWheelEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  // Arrows, Home/End and Page Up/Down select another panel as a click does and scroll it into
  // view; Space toggles the current panel.
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  friend class TKVIdxPanel;
  void Place(int i);
  void UpdateExtent();
  void PanelGone(TKVIdxPanel* panel);
  void Recolour();
  void StretchPanels();
  // The panel a navigation key leads to from the current one, or -1 for a key that is none.
  int KeyTarget(int key) const;
  void SelectByKey(int n);
  void UpdateCurrent();

  std::vector<TKVIdxPanel*> panels_;
  int itemIndex_ = -1;
  int columns_ = 1;
  bool multiSelect_ = false;
  TColor selectedItemColor_ = clHighlight;
  TColor itemColor_ = clBtnFace;
  int wheelRest_ = 0;  // wheel angle not yet worth a notch
};
