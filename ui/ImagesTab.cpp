#include "ui/ImagesTab.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "calendar/MirImageSet.h"
#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "controls/KVPanels.h"
#include "controls/KVSkinCtrls.h"
#include "controls/KVStdCtrls.h"
#include "controls/MirPanels.h"
#include "foundation/KVForms.h"
#include "foundation/KVSkinData.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"
#include "ui/EditD.h"

namespace {

// A banner item per caption; no pack has more.
constexpr int kMaxBannerItems = 64;

// Marks the panel of a picture that cannot be read.
const char kPlaceholderProperty[] = "kvPlaceholder";

}  // namespace

TBannerLinkKind BannerLinkKind(const QString& Link) {
  const QString link = Link.trimmed();
  if (link.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) return TBannerLinkKind::Mail;
  const QString scheme = QUrl(link).scheme().toLower();
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) return TBannerLinkKind::Web;
  return TBannerLinkKind::None;
}

TImagesTab::TImagesTab(TMirModel& Model, TImagesTabHooks Hooks, QWidget* parent)
    : QWidget(parent), model_(Model), set_(*Model.ImageSet), hooks_(std::move(Hooks)) {
  setObjectName(QStringLiteral("ImagesPage"));
  if (!hooks_.RenderCalendar) hooks_.RenderCalendar = [this](bool recalc) { model_.RenderCalendar(recalc); };
  if (!hooks_.ChangeMirova) hooks_.ChangeMirova = [this] { model_.Rotation->actChangeMirovaExecute(); };
  if (!hooks_.AppTimerTimer) hooks_.AppTimerTimer = [this] { model_.Rotation->AppTimerTimer(); };
  if (!hooks_.CancelAllModes) hooks_.CancelAllModes = [] {};
  if (!hooks_.BeforePackSkin) hooks_.BeforePackSkin = [] {};
  if (!hooks_.PackSkinLoaded) hooks_.PackSkinLoaded = [](QSize) {};
  if (!hooks_.OpenLink)
    hooks_.OpenLink = [](const QString& link) {
      switch (BannerLinkKind(link)) {
        case TBannerLinkKind::Web: OpenMapLink(mlWeb, link.trimmed(), QString()); break;
        case TBannerLinkKind::Mail: OpenMapLink(mlMail, link.trimmed(), QString()); break;
        case TBannerLinkKind::None: break;
      }
    };

  // The pack's texts fill these by their names, as parts of the main form.
  const auto strings = [this](const char* name) {
    auto* s = new TKVSkinStrings(&model_.Form);
    s->SetName(QLatin1String(name));
    s->Skin().SetAppSkin(model_.MirPackSkin);
    return s;
  };
  bannerCaptions_ = strings("BannerCaptions");
  bannerLinks_ = strings("BannerLinks");

  CreateControls();
  ApplyTexts();
  ApplyThumbSize();
  UpdateButtons();

  // The set's skin fills the banner lists by their names; a damaged skin's are emptied again.
  TMirModelChanges& changes = model_.Changes;
  connect(&changes, &TMirModelChanges::PackSkinLoading, this, [this] {
    bannerCaptions_->Lines().clear();
    bannerLinks_->Lines().clear();
    hooks_.BeforePackSkin();
  });
  connect(&changes, &TMirModelChanges::PackSkinLoaded, this, [this](QSize cover) {
    hooks_.PackSkinLoaded(cover);
    UpdateBannerItems();
  });
  connect(&changes, &TMirModelChanges::ImageSetLoaded, this, [this] { ShowPictures(); });
  connect(&changes, &TMirModelChanges::CurrentPictureChanged, this, [this] { hooks_.RenderCalendar(true); });
}

TImagesTab::~TImagesTab() {
  // The banner strings belong to the form, which may have freed them already.
  for (const QPointer<QAction>& a : bannerItems_)
    if (a) delete a.data();
}

void TImagesTab::CreateControls() {
  const auto button = [this](const char* name, void (TImagesTab::*handler)()) {
    auto* b = new QPushButton(this);
    b->setObjectName(QLatin1String(name));
    connect(b, &QPushButton::clicked, this, Guarded([this, handler] { (this->*handler)(); }));
    return b;
  };
  const auto group = [this](const char* name) {
    auto* g = new QGroupBox(this);
    g->setObjectName(QLatin1String(name));
    return g;
  };
  const auto combo = [this](const char* name, void (TImagesTab::*handler)()) {
    auto* c = new QComboBox(this);
    c->setObjectName(QLatin1String(name));
    // Only the user's choice runs the handler (activated), never a change made by code.
    connect(c, &QComboBox::activated, this, Guarded([this, handler] { (this->*handler)(); }));
    return c;
  };

  groupBox9_ = group("GroupBox9");
  resTitles_ = combo("ResTitles", &TImagesTab::ResTitlesChange);
  resTitles_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  resTitles_->setMinimumContentsLength(16);
  newImageSetBtn_ = button("NewImageSetBtn", &TImagesTab::NewImageSetBtnClick);
  deleteImageSetBtn_ = button("DeleteImageSetBtn", &TImagesTab::DeleteImageSetBtnClick);
  auto* setRow = new QHBoxLayout(groupBox9_);
  setRow->setContentsMargins(6, 4, 6, 6);
  setRow->addWidget(resTitles_, 1);
  setRow->addWidget(newImageSetBtn_);
  setRow->addWidget(deleteImageSetBtn_);

  imagesScroll_ = new TKVPanelsBox(this);
  imagesScroll_->setObjectName(QStringLiteral("ImagesScroll"));
  imagesScroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  imagesScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Every thumbnail size fills 408 pixels with its columns.
  imagesScroll_->setFixedWidth(408 + imagesScroll_->verticalScrollBar()->sizeHint().width() +
                               2 * imagesScroll_->frameWidth());

  // Two buttons of a group: one above the other, or side by side where both fit the column.
  const auto pair = [](QGroupBox* g, QPushButton* a, QPushButton* b, bool sideBySide) {
    QBoxLayout* l = sideBySide ? static_cast<QBoxLayout*>(new QHBoxLayout(g)) : new QVBoxLayout(g);
    l->setContentsMargins(6, 4, 6, 6);
    l->setSpacing(4);
    l->addWidget(a);
    l->addWidget(b);
  };
  QGroupBox* edit = group("GroupBox11");
  imgAddNewBtn_ = button("ImgAddNewBtn", &TImagesTab::ImgAddNewBtnClick);
  imgRemoveBtn_ = button("ImgRemoveBtn", &TImagesTab::ImgRemoveBtnClick);
  pair(edit, imgAddNewBtn_, imgRemoveBtn_, false);
  QGroupBox* use = group("GroupBox10");
  imgCheckAllBtn_ = button("ImgCheckAllBtn", &TImagesTab::ImgCheckAllBtnClick);
  imgUncheckAllBtn_ = button("ImgUncheckAllBtn", &TImagesTab::ImgUncheckAllBtnClick);
  pair(use, imgCheckAllBtn_, imgUncheckAllBtn_, true);
  QGroupBox* order = group("GroupBox12");
  imgMoveUpBtn_ = button("ImgMoveUpBtn", &TImagesTab::ImgMoveUpBtnClick);
  imgMoveDownBtn_ = button("ImgMoveDownBtn", &TImagesTab::ImgMoveDownBtnClick);
  pair(order, imgMoveUpBtn_, imgMoveDownBtn_, true);
  applyImgBtn_ = button("ApplyImgBtn", &TImagesTab::ApplyImgBtnClick);
  auto* side = new QVBoxLayout;
  side->setSpacing(4);
  side->addWidget(edit);
  side->addWidget(use);
  side->addWidget(order);
  side->addStretch(1);
  side->addWidget(applyImgBtn_);
  auto* middle = new QHBoxLayout;
  middle->setSpacing(6);
  middle->addWidget(imagesScroll_, 1);
  middle->addLayout(side);

  QGroupBox* replace = group("GroupBox18");
  frequencyList_ = combo("FrequencyList", &TImagesTab::FrequencyListChange);
  randomImagesBtn_ = new QCheckBox(this);
  randomImagesBtn_->setObjectName(QStringLiteral("RandomImagesBtn"));
  connect(randomImagesBtn_, &QCheckBox::clicked, this, Guarded([this] { RandomImagesBtnClick(); }));
  auto* replaceRow = new QHBoxLayout(replace);
  replaceRow->setContentsMargins(6, 4, 6, 6);
  replaceRow->addWidget(frequencyList_);
  replaceRow->addWidget(randomImagesBtn_);
  QGroupBox* position = group("GroupBox23");
  positionBox_ = combo("PositionBox", &TImagesTab::PositionBoxChange);
  auto* positionRow = new QHBoxLayout(position);
  positionRow->setContentsMargins(6, 4, 6, 6);
  positionRow->addWidget(positionBox_);
  QGroupBox* thumbs = group("GroupBox22");
  thnSizeBox_ = combo("ThnSizeBox", &TImagesTab::ThnSizeBoxChange);
  auto* thumbsRow = new QHBoxLayout(thumbs);
  thumbsRow->setContentsMargins(6, 4, 6, 6);
  thumbsRow->addWidget(thnSizeBox_);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(replace, 1);
  bottom->addWidget(position);
  bottom->addWidget(thumbs);

  // The page fills a fixed window of 640 x 480: every pixel of height counts.
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(0, 0, 0, 0);
  page->setSpacing(6);
  page->addWidget(groupBox9_);
  page->addLayout(middle, 1);
  page->addLayout(bottom);
}

void TImagesTab::ApplyTexts() {
  ApplyCaptions(*this, {{"GroupBox9", &TKVLanguageResource::RSSelectSet},
                        {"NewImageSetBtn", &TKVLanguageResource::RSCreateNew},
                        {"DeleteImageSetBtn", &TKVLanguageResource::RSDeleteSet},
                        {"GroupBox11", &TKVLanguageResource::RSEditImageSet},
                        {"ImgAddNewBtn", &TKVLanguageResource::RSAddImage},
                        {"ImgRemoveBtn", &TKVLanguageResource::RSRemoveImage},
                        {"ApplyImgBtn", &TKVLanguageResource::RSApplySelectedImageNow},
                        {"GroupBox10", &TKVLanguageResource::RSUseImages},
                        {"ImgCheckAllBtn", &TKVLanguageResource::RSCheckAll},
                        {"ImgUncheckAllBtn", &TKVLanguageResource::RSUncheckAll},
                        {"GroupBox12", &TKVLanguageResource::RSChangeOrder},
                        {"ImgMoveDownBtn", &TKVLanguageResource::RSMoveDown},
                        {"ImgMoveUpBtn", &TKVLanguageResource::RSMoveUp},
                        {"GroupBox18", &TKVLanguageResource::RSReplaceMirova},
                        {"RandomImagesBtn", &TKVLanguageResource::RSUseImagesinRandomOrder},
                        {"GroupBox23", &TKVLanguageResource::RSImagePosition},
                        {"GroupBox22", &TKVLanguageResource::RSThumbnailSize}});
  const TKVLanguageResource& l = LanguageResource();
  const auto items = [](QComboBox* box, const QStringList& texts) {
    const QSignalBlocker quiet(box);
    const int index = box->currentIndex();
    box->clear();
    box->addItems(texts);
    box->setCurrentIndex(index);
  };
  items(frequencyList_, {l.RSMonthly, l.RSWeekly, l.RSDaily, l.RSHourly});
  items(positionBox_, {l.RSBestFit, l.RSCenter, l.RSStretch, l.RSTile, l.RSHideImage});
  items(thnSizeBox_, {l.RSSmall, l.RSMedium, l.RSLarge});
}

void TImagesTab::ShowSettings() {
  const Tini& ini = *model_.Ini;
  const QSignalBlocker a(frequencyList_), b(positionBox_), c(thnSizeBox_), d(randomImagesBtn_);
  frequencyList_->setCurrentIndex(ini.Frequency);
  positionBox_->setCurrentIndex(ini.ImagePosition);
  // Any other stored value means the large thumbnails, as ApplyThumbSize takes it.
  thnSizeBox_->setCurrentIndex(ini.ThnSize == 0 || ini.ThnSize == 1 ? ini.ThnSize : 2);
  randomImagesBtn_->setChecked(ini.RandomImages);
}

const std::vector<TMImageSet>& TImagesTab::Sets() const { return set_.Sets(); }

const QString& TImagesTab::LoadedSet() const { return set_.Loaded(); }

QSize TImagesTab::ThumbnailSize() const { return set_.ThumbnailSize(); }

TMImgPanel* TImagesTab::Panel(int Index) const { return static_cast<TMImgPanel*>(imagesScroll_->Items(Index)); }

const TMImageSet* TImagesTab::SelectedSet() const {
  const int i = resTitles_->currentIndex();
  return i >= 0 && size_t(i) < set_.Sets().size() ? &set_.Sets()[size_t(i)] : nullptr;
}

void TImagesTab::UpdateButtons() {
  const bool own = set_.LoadedUserSet() && !set_.Loaded().isEmpty();
  imgAddNewBtn_->setEnabled(own);
  imgRemoveBtn_->setEnabled(own);
}

// ---------------------------------------------------------------------------------------------
// The set list

void TImagesTab::LoadImageSets() {
  const int selected = set_.LoadList();
  const QSignalBlocker quiet(resTitles_);
  resTitles_->clear();
  for (const TMImageSet& s : set_.Sets()) resTitles_->addItem(s.Title);
  if (selected >= 0) {
    resTitles_->setCurrentIndex(selected);
    return;
  }
  KVMessageBox(LanguageResource().RSNoImagesError, QString(), IDI_ERROR_ICON, 0, ButtonsOK);
  // Later in the run (every set gone from disk) the program goes on with no pictures, so that
  // nothing open in its windows is lost.
  set_.Clear();
}

bool TImagesTab::ImageSetFilesChanged() const { return set_.FilesChanged(); }

// ---------------------------------------------------------------------------------------------
// Switching sets

void TImagesTab::ResTitlesChange() {
  if (!SelectedSet()) return;
  const QString old = set_.Loaded();
  {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto cursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    if (!set_.Switch(resTitles_->currentIndex())) return;
  }
  if (!model_.Busy() && set_.Loaded() != old) {
    if (!model_.FullScreenVisible()) hooks_.ChangeMirova();
    else hooks_.RenderCalendar(true);
  }
  set_.SaveMadeThumbnails();
}

void TImagesTab::ShowPictures() {
  imagesScroll_->Clear();
  for (const TMSetPicture& p : set_.Pictures()) AddPanel(MakePanel(p));
  UpdateButtons();
}

TMImgPanel* TImagesTab::MakePanel(const TMSetPicture& Picture) {
  auto* panel = new TMImgPanel(set_.ThumbSize());
  panel->Key = Picture.Key;
  if (Picture.Placeholder) panel->setProperty(kPlaceholderProperty, true);
  panel->Image().SetPicture(Picture.Thumb);
  panel->CheckBox().setChecked(Picture.Checked);
  return panel;
}

void TImagesTab::AddPanel(TMImgPanel* Panel) {
  imagesScroll_->Add(Panel);
  Panel->SetNumber(imagesScroll_->Count());
  Panel->OnCheck.Set([this](TMImgPanel* p) {
    set_.SetChecked(imagesScroll_->IndexOf(p), p->CheckBox().isChecked());
    ImgCheckClick();
  });
}

// ---------------------------------------------------------------------------------------------
// Banner items of the tray menu

void TImagesTab::SetBannerPlace(QMenu* Menu, QAction* After, QAction* Before) {
  bannerMenu_ = Menu;
  bannerAfter_ = After;
  bannerBefore_ = Before;
}

std::vector<QAction*> TImagesTab::BannerItems() const {
  std::vector<QAction*> items;
  for (const QPointer<QAction>& a : bannerItems_)
    if (a) items.push_back(a);
  return items;
}

void TImagesTab::RemoveBannerItems() {
  QList<QAction*> between;
  if (bannerMenu_ && bannerAfter_ && bannerBefore_) {
    const QList<QAction*> actions = bannerMenu_->actions();
    const qsizetype first = actions.indexOf(bannerAfter_.data()), last = actions.indexOf(bannerBefore_.data());
    if (first >= 0 && last > first) between = actions.mid(first + 1, last - first - 1);
  }
  if (between.isEmpty() && BannerItems().empty()) return;
  hooks_.CancelAllModes();
  for (QAction* a : between) bannerMenu_->removeAction(a);
  for (const QPointer<QAction>& a : bannerItems_) {
    if (!a) continue;
    if (bannerMenu_) bannerMenu_->removeAction(a);
    // A click already queued for it finds it out of the menu and does nothing.
    a->deleteLater();
  }
  bannerItems_.clear();
}

void TImagesTab::UpdateBannerItems() {
  RemoveBannerItems();
  const QStringList& captions = bannerCaptions_->Lines();
  if (captions.isEmpty() || !bannerMenu_ || !bannerAfter_ || !bannerBefore_) return;
  hooks_.CancelAllModes();
  for (const QString& caption : captions.mid(0, kMaxBannerItems)) {
    auto* item = new QAction(caption, bannerMenu_);
    QPointer<QAction> weak(item);
    connect(item, &QAction::triggered, this, Guarded([this, weak] { actOpenSponsorExecute(weak); }));
    bannerMenu_->insertAction(bannerBefore_, item);
    bannerItems_.push_back(item);
  }
}

void TImagesTab::actOpenSponsorExecute(QAction* Item) {
  if (!Item || !bannerMenu_ || !bannerAfter_) return;
  if (std::find(bannerItems_.begin(), bannerItems_.end(), Item) == bannerItems_.end()) return;
  const QList<QAction*> actions = bannerMenu_->actions();
  const qsizetype at = actions.indexOf(Item), first = actions.indexOf(bannerAfter_.data());
  if (at < 0 || first < 0 || at <= first) return;
  const qsizetype index = at - first - 1;
  const QStringList& links = bannerLinks_->Lines();
  if (index >= links.size()) return;
  const QString link = links[index].trimmed();
  if (BannerLinkKind(link) == TBannerLinkKind::None) return;
  hooks_.OpenLink(link);
}

// ---------------------------------------------------------------------------------------------
// Selection, saving

void TImagesTab::UpdateSelection(bool Redraw) { set_.UpdateSelection(Redraw); }

void TImagesTab::SaveImageSetBtnClick() { set_.Save(); }

void TImagesTab::SaveThumbnails() { set_.SaveThumbnails(); }

void TImagesTab::ApplyThumbSize() {
  set_.ApplyThumbSize();
  const int size = set_.ThumbSize();
  imagesScroll_->SetColumns(size == 0 ? 4 : size == 1 ? 3 : 2);
}

// ---------------------------------------------------------------------------------------------
// Page commands

void TImagesTab::NewImageSetBtnClick() {
  if (!editDlg_) editDlg_ = new TEditDlg(this);
  if (!editDlg_->Execute()) return;
  const QString created = QFileInfo(editDlg_->SetFile).fileName();
  LoadImageSets();
  const std::vector<TMImageSet>& sets = set_.Sets();
  for (size_t i = 0; i < sets.size(); ++i) {
    if (sets[i].FileName != created) continue;
    {
      const QSignalBlocker quiet(resTitles_);
      resTitles_->setCurrentIndex(int(i));
    }
    ResTitlesChange();
    return;
  }
}

void TImagesTab::DeleteImageSetBtnClick() {
  const TKVLanguageResource& l = LanguageResource();
  if (set_.Sets().size() <= 1) {
    KVMessageBox(l.RSCannotDeleteLastImageSet, QString(), IDI_WARNING_ICON, 0, ButtonsOK);
    return;
  }
  if (!SelectedSet()) return;
  const int index = resTitles_->currentIndex();
  if (KVMessageBox(Format(l.RSAreYouSureDeleteImageSet, {resTitles_->currentText()}), QString(), IDI_QUESTION_ICON, 1,
                   ButtonsYesNo) != ResultYes)
    return;
  set_.Delete(index);
  LoadImageSets();
  model_.Ini->MirPack.clear();
  ResTitlesChange();
}

void TImagesTab::ImgAddNewBtnClick() {
  if (!set_.LoadedUserSet() || set_.Loaded().isEmpty()) return;
  const TKVLanguageResource& l = LanguageResource();
  const QString filter = l.RSImages + QStringLiteral(" (*.jpg *.jpeg *.jpe *.bmp *.gif *.png *.tif *.tiff *.webp);;") +
                         l.RSAllFiles + QStringLiteral(" (*)");
  Tini& ini = *model_.Ini;
  const QStringList files = FileDialogs().OpenFileNames(this, QString(), StartFolder(ini.ImageFolder, FolderPictures), filter);
  if (!files.isEmpty()) ini.ImageFolder = QFileInfo(files.first()).absolutePath();
  const int before = int(set_.Pictures().size());
  const QStringList bad = set_.AddPictures(files);
  const std::vector<TMSetPicture>& pictures = set_.Pictures();
  for (size_t i = size_t(before); i < pictures.size(); ++i) AddPanel(MakePanel(pictures[i]));
  if (int(pictures.size()) > before) UpdateSelection(true);
  if (!bad.isEmpty())
    KVMessageBox(l.RSPicturesNotAdded + QLatin1Char('\n') + bad.join(QLatin1Char('\n')), QString(), IDI_WARNING_ICON, 0,
                 ButtonsOK);
}

void TImagesTab::ImgRemoveBtnClick() {
  if (!set_.LoadedUserSet()) return;
  const int i = imagesScroll_->ItemIndex();
  if (i < 0) return;
  set_.Remove(i);
  imagesScroll_->Delete(i);
  RenumberFrom(i);
  UpdateSelection(true);
}

void TImagesTab::RenumberFrom(int Index) {
  for (int i = std::max(0, Index); i < imagesScroll_->Count(); ++i) Panel(i)->SetNumber(i + 1);
}

void TImagesTab::ApplyImgBtnClick() {
  const int i = imagesScroll_->ItemIndex();
  if (i < 0) return;
  TMImgPanel* panel = Panel(i);
  panel->CheckBox().setChecked(true);
  set_.SetChecked(i, true);
  UpdateSelection(false);
  model_.Ini->ImageIndex = int(std::max<qsizetype>(0, model_.UsedImages.indexOf(panel->Key)));
  model_.DropPicture();
  hooks_.RenderCalendar(true);
}

void TImagesTab::ImgCheckClick() { UpdateSelection(true); }

void TImagesTab::CheckAll(bool Checked) {
  set_.CheckAll(Checked);
  for (int i = 0; i < imagesScroll_->Count(); ++i) Panel(i)->CheckBox().setChecked(Checked);
}

void TImagesTab::ImgCheckAllBtnClick() {
  CheckAll(true);
  UpdateSelection(true);
}

void TImagesTab::ImgUncheckAllBtnClick() {
  CheckAll(false);
  UpdateSelection(true);
}

void TImagesTab::Exchange(int A, int B) {
  set_.Exchange(A, B);
  imagesScroll_->Exchange(A, B);
  RenumberFrom(std::min(A, B));
  UpdateSelection(true);
}

void TImagesTab::ImgMoveUpBtnClick() {
  const int i = imagesScroll_->ItemIndex();
  if (i <= 0) return;
  Exchange(i, i - 1);
}

void TImagesTab::ImgMoveDownBtnClick() {
  const int i = imagesScroll_->ItemIndex();
  if (i < 0 || i >= imagesScroll_->Count() - 1) return;
  Exchange(i, i + 1);
}

void TImagesTab::FrequencyListChange() {
  model_.Ini->Frequency = frequencyList_->currentIndex();
  hooks_.AppTimerTimer();
}

void TImagesTab::RandomImagesBtnClick() { model_.Ini->RandomImages = randomImagesBtn_->isChecked(); }

void TImagesTab::PositionBoxChange() {
  const int position = positionBox_->currentIndex();
  if (position == model_.Ini->ImagePosition) return;
  model_.Ini->ImagePosition = position;
  model_.DropPicture();
  hooks_.RenderCalendar(true);
}

void TImagesTab::ThnSizeBoxChange() {
  const int size = thnSizeBox_->currentIndex();
  if (size == model_.Ini->ThnSize) return;
  set_.ChangeThumbSize(size);
  ApplyThumbSize();
  ResTitlesChange();
}
