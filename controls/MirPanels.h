#pragma once
// The item panels of the settings window's picture, layout and holiday lists. Sizes are in
// device-independent pixels: Qt scales them for the screen.
#include <QString>

#include "controls/KVPanels.h"
#include "controls/MirThumbSizes.h"

#include "foundation/KVClasses.h"
#include "foundation/KVString.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class TKVBevel;
class TKVImage;

// One picture of the current image set: its thumbnail, a check box (used in the rotation or not)
// and a badge with its order number. Clicking the thumbnail or the badge selects the panel. The
// check box takes no keyboard focus: the keys stay with the box, where Space toggles it.
class TMImgPanel : public TKVIdxPanel {
  Q_OBJECT
 public:
  // Sized for ThumbSize (see ThumbSizes).
  explicit TMImgPanel(int ThumbSize = 1, QWidget* parent = nullptr);

  // The picture key: a pack picture number as decimal text or a picture file's path.
  QString Key;
  int Number() const { return number_; }
  // Stores N and draws it on the badge: white digits outlined in black with a black shadow,
  // transparent around.
  void SetNumber(int n);

  TKVImage& Image() const { return *image_; }
  TKVImage& Badge() const { return *badge_; }
  TKVBevel& Bevel() const { return *bevel_; }
  QCheckBox& CheckBox() const { return *checkBox_; }

  // The user clicked the check box (a change made by code fires nothing).
  TEvent<void(TMImgPanel* sender)> OnCheck;

  // Space on the panel: the check box toggles as a click on it does.
  bool Toggle() override;

 private:
  void CheckBoxClick();

  TKVBevel* bevel_;
  TKVImage* image_;
  QCheckBox* checkBox_;
  TKVImage* badge_;
  int number_ = 0;
};

// One layout of the layout list: its preview picture. Clicking the preview selects the panel.
class TMLayoutPanel : public TKVIdxPanel {
  Q_OBJECT
 public:
  explicit TMLayoutPanel(QWidget* parent = nullptr);

  int LayoutID = 0;
  // The layout's property text; the list keeps one for every layout it shows.
  TKVText LayoutText;

  TKVImage& Image() const { return *image_; }
  TKVBevel& Bevel() const { return *bevel_; }

 private:
  TKVBevel* bevel_;
  TKVImage* image_;
};

// One holiday as an editing row: date, schedule (its items are the holiday page's) and title.
// Clicking or dropping down the date or the schedule selects the row; clicking the title selects
// the row and the title's whole text.
class TMHolidayPanel : public TKVIdxPanel {
  Q_OBJECT
 public:
  explicit TMHolidayPanel(QWidget* parent = nullptr);

  QDateEdit& DatePicker() const { return *date_; }
  QComboBox& Schedule() const { return *schedule_; }
  QLineEdit& Title() const { return *title_; }

  void TitleEnter();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QDateEdit* date_;
  QComboBox* schedule_;
  QLineEdit* title_;
  QObject* dateText_ = nullptr;
};
