#pragma once
// The Images page of the settings window: shows the model's image set (TMirImageSet): the list of
// image sets (the image packs of the program folder and the user's own sets of picture files),
// one thumbnail panel per picture of the current set (checked pictures take part in the rotation,
// in panel order), and the page's commands. It keeps the tray menu's banner items of the set's
// skin. Runs on the UI thread; its effects beyond the model go through the hooks.
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

#include "calendar/ImageSets.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QMenu;
class QPushButton;
class TEditDlg;
class TKVPanelsBox;
class TKVSkinStrings;
class TMImgPanel;
class TMirImageSet;
class TMirModel;
struct TMSetPicture;

// What the page asks of the program. Empty hooks get the default named.
struct TImagesTabHooks {
  // Draws the preview (the model's RenderCalendar).
  std::function<void(bool RecalcLayout)> RenderCalendar;
  // Draws and applies the calendar (the rotation's actChangeMirovaExecute).
  std::function<void()> ChangeMirova;
  // The rotation tick (the rotation's AppTimerTimer).
  std::function<void()> AppTimerTimer;
  // Closes the tray menu and other pop-ups before its banner items change (nothing).
  std::function<void()> CancelAllModes;
  // Before and after a set's skin package is loaded into the pack skin, as the model's Changes
  // announce it; Cover is the size of the skin's cover picture (image 0 of its first strip),
  // invalid when it has none (nothing).
  std::function<void()> BeforePackSkin;
  std::function<void(QSize Cover)> PackSkinLoaded;
  // Opens a banner link; only http, https and mailto links reach it (OpenMapLink).
  std::function<void(const QString& Link)> OpenLink;
};

// The kind of link a banner item may open: "http:", "https:" or "mailto:" links; any other
// text opens nothing.
enum class TBannerLinkKind { None, Web, Mail };
TBannerLinkKind BannerLinkKind(const QString& Link);

class TImagesTab : public QWidget {
  Q_OBJECT
 public:
  // Model: lends the settings, the pack skin and the image set; the banner string lists
  // "BannerCaptions" and "BannerLinks" are made as components of its form.
  TImagesTab(TMirModel& Model, TImagesTabHooks Hooks, QWidget* parent = nullptr);
  ~TImagesTab() override;

  // Where the banner items go: between After and Before of Menu (the caller's; both actions in
  // it). Items already shown move there at the next switch.
  void SetBannerPlace(QMenu* Menu, QAction* After, QAction* Before);

  // Rebuilds the set list and selects the current set (or the first, naming it in MirPack). With
  // no set at all, NoImageSets is set and "Error: No images!" shown; the page then stays empty.
  void LoadImageSets();
  // The set files of the program folder differ from those of the last list.
  bool ImageSetFilesChanged() const;
  // Switches to the set selected in the list (TMirImageSet::Switch); a set newly loaded is drawn
  // and applied (only drawn while the full-screen view is shown).
  void ResTitlesChange();
  // UsedImages from the checks (TMirImageSet::UpdateSelection); the preview is drawn when the
  // current picture changed.
  void UpdateSelection(bool Redraw);
  // Writes the current set's ".mcl", ".sel" and ".thn".
  void SaveImageSetBtnClick();
  void SaveThumbnails();
  // The thumbnail size and the columns from the ThnSize setting.
  void ApplyThumbSize();
  // The frequency, random, position and thumbnail controls show the settings (no handler runs).
  void ShowSettings();

  // The page's handlers, as the controls run them.
  void NewImageSetBtnClick();
  void DeleteImageSetBtnClick();
  void ImgAddNewBtnClick();
  void ImgRemoveBtnClick();
  void ApplyImgBtnClick();
  void ImgCheckClick();
  void ImgCheckAllBtnClick();
  void ImgUncheckAllBtnClick();
  void ImgMoveUpBtnClick();
  void ImgMoveDownBtnClick();
  void FrequencyListChange();
  void RandomImagesBtnClick();
  void ThnSizeBoxChange();
  void PositionBoxChange();
  // A banner item of the tray menu was clicked: opens the link of its place.
  void actOpenSponsorExecute(QAction* Item);

  const std::vector<TMImageSet>& Sets() const;
  // The set whose pictures the panels show; empty before the first switch.
  const QString& LoadedSet() const;
  TKVPanelsBox& ImagesScroll() const { return *imagesScroll_; }
  TMImgPanel* Panel(int Index) const;
  TKVSkinStrings& BannerCaptions() const { return *bannerCaptions_; }
  TKVSkinStrings& BannerLinks() const { return *bannerLinks_; }
  // The banner items now in the menu, in order.
  std::vector<QAction*> BannerItems() const;
  QSize ThumbnailSize() const;

 private:
  void CreateControls();
  void ApplyTexts();
  // The set at the list's selection, or none.
  const TMImageSet* SelectedSet() const;
  // A panel per picture of the set, as the set holds them.
  void ShowPictures();
  // The panel of a picture: its key, thumbnail and check (placeholders marked).
  TMImgPanel* MakePanel(const TMSetPicture& Picture);
  void AddPanel(TMImgPanel* Panel);
  void UpdateBannerItems();
  void RemoveBannerItems();
  void CheckAll(bool Checked);
  // Pictures A and B change places, in the set and on the page.
  void Exchange(int A, int B);
  void RenumberFrom(int Index);
  void UpdateButtons();

  TMirModel& model_;
  TMirImageSet& set_;
  TImagesTabHooks hooks_;

  TKVSkinStrings* bannerCaptions_ = nullptr;
  TKVSkinStrings* bannerLinks_ = nullptr;
  QPointer<QMenu> bannerMenu_;
  QPointer<QAction> bannerAfter_, bannerBefore_;
  std::vector<QPointer<QAction>> bannerItems_;

  QGroupBox* groupBox9_ = nullptr;
  QComboBox* resTitles_ = nullptr;
  QPushButton* newImageSetBtn_ = nullptr;
  QPushButton* deleteImageSetBtn_ = nullptr;
  QPushButton* imgAddNewBtn_ = nullptr;
  QPushButton* imgRemoveBtn_ = nullptr;
  QPushButton* applyImgBtn_ = nullptr;
  QPushButton* imgCheckAllBtn_ = nullptr;
  QPushButton* imgUncheckAllBtn_ = nullptr;
  QPushButton* imgMoveUpBtn_ = nullptr;
  QPushButton* imgMoveDownBtn_ = nullptr;
  QComboBox* frequencyList_ = nullptr;
  QCheckBox* randomImagesBtn_ = nullptr;
  QComboBox* positionBox_ = nullptr;
  QComboBox* thnSizeBox_ = nullptr;
  TKVPanelsBox* imagesScroll_ = nullptr;
  TEditDlg* editDlg_ = nullptr;
};
