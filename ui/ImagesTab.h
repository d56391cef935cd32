#pragma once
// The Images page of the settings window: the list of image sets (the image packs of the program
// folder and the user's own sets of picture files), one thumbnail panel per picture of the
// current set (checked pictures take part in the rotation, in panel order), and the page's
// commands. Switching sets loads the pack's skin into the settings, the sponsor data, the cover
// map and the tray menu's banner items, and keeps each set's side files (order, checked pictures,
// thumbnails). Runs on the UI thread; its effects beyond the model go through the hooks.
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "ui/ImageSets.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QMenu;
class QPushButton;
class TEditDlg;
class TKVPanelsBox;
class TKVResReader;
class TKVSkinStrings;
class TMImgPanel;
class TMirModel;

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
  // Before and after a set's skin package is loaded into the pack skin; Cover is the size of the
  // skin's cover picture (image 0 of its first strip), invalid when it has none (nothing).
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
  // Model: lends the settings, the pack skin, the thumbnail cache and the picture lists; the
  // banner string lists "BannerCaptions" and "BannerLinks" are made as components of its form.
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
  // Switches to the set selected in the list (see the header's description).
  void ResTitlesChange();
  void LoadUserImagePanels();
  // UsedImages from the checked panels; redraws when the current picture changed, or always with
  // Redraw when the list is empty.
  void UpdateSelection(bool Redraw);
  // Writes the current set's ".mcl", ".sel" and ".thn".
  void SaveImageSetBtnClick();
  void SaveThumbnails();
  // ThumbSize, the columns and the thumbnail size from the ThnSize setting.
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

  const std::vector<TMImageSet>& Sets() const { return sets_; }
  // The set whose pictures the panels show; empty before the first switch.
  const QString& LoadedSet() const { return loadedSet_; }
  TKVPanelsBox& ImagesScroll() const { return *imagesScroll_; }
  TMImgPanel* Panel(int Index) const;
  TKVSkinStrings& BannerCaptions() const { return *bannerCaptions_; }
  TKVSkinStrings& BannerLinks() const { return *bannerLinks_; }
  // The banner items now in the menu, in order.
  std::vector<QAction*> BannerItems() const;
  QSize ThumbnailSize() const { return thumbSize_; }

 private:
  void CreateControls();
  void ApplyTexts();
  // The set at the list's selection, or none.
  const TMImageSet* SelectedSet() const;
  QString SetPath(const QString& FileName) const;
  QString SideFile(const QString& Extension) const;
  void LoadPackSkin(QIODevice* Stream);
  void LoadPackPanels(TKVResReader* Reader, int PictureCount);
  // A panel for a picture, its thumbnail from the cache or made by Load; placeholders stay keyed.
  TMImgPanel* MakePanel(const QString& Key, const std::function<QImage(QSize)>& Load);
  void AddPanel(TMImgPanel* Panel);
  void UpdateSponsors();
  void UpdateBannerItems();
  void RemoveBannerItems();
  void CheckAll(bool Checked);
  void RenumberFrom(int Index);
  void UpdateButtons();
  // Writes a side file; a failure is told once per file until it saves again.
  bool SaveSideFile(const QString& FileName, const std::function<void()>& Save);
  bool WriteThumbnails();
  void ReportSaveFailures(const QStringList& Failed);
  int FindThumb(const QString& Key) const;
  void ClearPage();

  TMirModel& model_;
  TImagesTabHooks hooks_;
  std::vector<TMImageSet> sets_;
  QString loadedSet_;
  bool loadedUserSet_ = false;
  QSize thumbSize_;
  // Thumbnails made from the pictures (not taken from the cache) during the current switch.
  int thumbsMade_ = 0;
  std::set<QString> failedSaves_;
  // The system's reason of each side file's last failed save.
  std::map<QString, QString> saveReasons_;

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
