#include "ui/ImagesTab.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QFileInfo>
#include <QGroupBox>
#include <QHash>
#include <QSet>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "calendar/MirNotesStore.h"
#include "calendar/MDataDM.h"
#include "calendar/MirData.h"
#include "calendar/MirModel.h"
#include "calendar/MirPicture.h"
#include "calendar/iniData.h"
#include "controls/KVPanels.h"
#include "controls/KVSkinCtrls.h"
#include "controls/KVStdCtrls.h"
#include "controls/MirPanels.h"
#include "foundation/KVException.h"
#include "foundation/KVForms.h"
#include "foundation/KVPicture.h"
#include "foundation/KVRStream.h"
#include "foundation/KVSkinData.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"
#include "ui/EditD.h"

namespace {

// A header record is 8 bytes; an entry 1 much larger is no header record.
constexpr qint32 kMaxHeaderEntry = 64;
// Sponsor settings are made per sponsor image, a banner item per caption; no pack has more.
constexpr int kMaxSponsorImages = 1024, kMaxBannerItems = 64;
// Pictures that cannot be read keep a placeholder panel, so that the user can uncheck them; a set
// of thousands of them is no set of pictures, and the rest are left out.
constexpr int kMaxUnreadablePanels = 64;

const char kPlaceholderProperty[] = "kvPlaceholder";

// The thumbnail of a picture that cannot be read: a grey face with a cross, so that the user
// still sees, checks and orders it.
QImage PlaceholderThumbnail(QSize size) {
  TKVBitmap b;
  b.BrushColor = 0xC8C8C8;
  b.SetSize(size.width(), size.height());
  b.FillRect(TRect{0, 0, size.width(), size.height()});
  QImage& img = b.Image();
  QPainter p(&img);
  p.setPen(QPen(QColor(128, 128, 128), 2));
  const QRect r = img.rect().adjusted(size.width() / 3, size.height() / 3, -size.width() / 3, -size.height() / 3);
  p.drawLine(r.topLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomLeft());
  p.end();
  return img;
}

bool IsPlaceholder(const TMImgPanel* p) { return p->property(kPlaceholderProperty).toBool(); }

// A picture file of an own set by its real path, one however its name is spelled ("//", "./",
// links); empty when there is no such file.
QString RealPicturePath(const QString& Path) {
  const QFileInfo f(Path);
  return f.isFile() ? f.canonicalFilePath() : QString();
}

}  // namespace

TBannerLinkKind BannerLinkKind(const QString& Link) {
  const QString link = Link.trimmed();
  if (link.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) return TBannerLinkKind::Mail;
  const QString scheme = QUrl(link).scheme().toLower();
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) return TBannerLinkKind::Web;
  return TBannerLinkKind::None;
}

TImagesTab::TImagesTab(TMirModel& Model, TImagesTabHooks Hooks, QWidget* parent)
    : QWidget(parent), model_(Model), hooks_(std::move(Hooks)) {
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

TMImgPanel* TImagesTab::Panel(int Index) const { return static_cast<TMImgPanel*>(imagesScroll_->Items(Index)); }

const TMImageSet* TImagesTab::SelectedSet() const {
  const int i = resTitles_->currentIndex();
  return i >= 0 && size_t(i) < sets_.size() ? &sets_[size_t(i)] : nullptr;
}

QString TImagesTab::SetPath(const QString& FileName) const { return ExeDir + FileName; }

QString TImagesTab::SideFile(const QString& Extension) const { return SideFileName(ExeDir, loadedSet_, Extension); }

void TImagesTab::UpdateButtons() {
  const bool own = loadedUserSet_ && !loadedSet_.isEmpty();
  imgAddNewBtn_->setEnabled(own);
  imgRemoveBtn_->setEnabled(own);
}

// ---------------------------------------------------------------------------------------------
// The set list

void TImagesTab::LoadImageSets() {
  Tini& ini = *model_.Ini;
  model_.ImagePackFiles = ListImageSetFiles(ExeDir);
  sets_ = ReadImageSets(model_.ImagePackFiles);
  const QSignalBlocker quiet(resTitles_);
  resTitles_->clear();
  for (const TMImageSet& s : sets_) resTitles_->addItem(s.Title);

  int selected = -1;
  for (size_t i = 0; i < sets_.size() && selected < 0; ++i)
    if (sets_[i].FileName == ini.MirPack) selected = int(i);
  // A name stored with other letter cases still finds its set; it is then spelled as on disk.
  for (size_t i = 0; i < sets_.size() && selected < 0; ++i)
    if (sets_[i].FileName.compare(ini.MirPack, Qt::CaseInsensitive) == 0) selected = int(i);
  if (selected < 0 && !sets_.empty()) selected = 0;
  if (selected >= 0) {
    model_.NoImageSets = false;
    resTitles_->setCurrentIndex(selected);
    ini.MirPack = sets_[size_t(selected)].FileName;
    ini.UserImageSet = sets_[size_t(selected)].UserSet;
    return;
  }
  model_.NoImageSets = true;
  KVMessageBox(LanguageResource().RSNoImagesError, QString(), IDI_ERROR_ICON, 0, ButtonsOK);
  // Later in the run (every set gone from disk) the program goes on with no pictures, so that
  // nothing open in its windows is lost.
  ClearPage();
}

void TImagesTab::ClearPage() {
  imagesScroll_->Clear();
  model_.UsedImages.clear();
  model_.ImageOrder.clear();
  model_.Thumbs.Clear();
  loadedSet_.clear();
  loadedUserSet_ = false;
  model_.Ini->UserImageSet = false;
  model_.DropPicture();
  UpdateButtons();
}

bool TImagesTab::ImageSetFilesChanged() const {
  const QStringList now = ListImageSetFiles(ExeDir);
  const QStringList& last = model_.ImagePackFiles;
  if (now.size() != last.size()) return true;
  for (qsizetype i = 0; i < now.size(); ++i)
    if (now[i].compare(last[i], Qt::CaseInsensitive) != 0) return true;
  return false;
}

// ---------------------------------------------------------------------------------------------
// Switching sets

void TImagesTab::ResTitlesChange() {
  const TMImageSet* selected = SelectedSet();
  if (!selected) return;
  const TMImageSet set = *selected;
  Tini& ini = *model_.Ini;
  const bool visible = model_.SettingsVisible();
  // What the panels show decides, not MirPack: a rebuilt list may have renamed MirPack to another
  // set while these panels still show the one before.
  if (visible && set.FileName == loadedSet_) return;
  if (visible && !loadedSet_.isEmpty()) SaveImageSetBtnClick();
  const QString old = loadedSet_;

  QApplication::setOverrideCursor(Qt::WaitCursor);
  const auto cursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
  ini.MirPack = set.FileName;
  ini.UserImageSet = set.UserSet;
  loadedSet_ = set.FileName;
  loadedUserSet_ = set.UserSet;
  model_.ImageOrder.clear();
  model_.Thumbs.Clear();
  thumbsMade_ = 0;
  imagesScroll_->Clear();
  UpdateButtons();

  const auto loadThumbCache = [this] {
    const QString thn = SideFile(QStringLiteral(".thn"));
    if (!QFileInfo::exists(thn)) return;
    TMThnList& t = model_.Thumbs;
    const qint32 w = t.ThumbWidth, h = t.ThumbHeight;
    t.ReadThumbHeader(thn);
    if (t.ThumbWidth == w && t.ThumbHeight == h) t.LoadThumbs(thn);
    t.ThumbWidth = w;
    t.ThumbHeight = h;
  };

  if (!set.UserSet) {
    // A pack that vanished or cannot be read since it was listed loads as a set without pictures.
    std::unique_ptr<TKVResFileReader> reader;
    try {
      reader = std::make_unique<TKVResFileReader>(SetPath(set.FileName));
      if (reader->Version() != kImagePackVersion1 && reader->Version() != kImagePackVersion2) reader.reset();
    } catch (const EKVError&) {
      reader.reset();
    }
    model_.Header.Title = ReadImagePackTitle(SetPath(set.FileName)).value_or(QString());
    model_.Header.Header[0] = model_.Header.Header[1] = 0;
    QBuffer skin;
    int pictures = 0;
    if (reader) {
      try {
        if (reader->GetEntry(1).Size <= kMaxHeaderEntry) {
          QBuffer header;
          header.setData(reader->ReadBuffer(1));
          header.open(QIODevice::ReadOnly);
          model_.Header.ReadHeaderRecord(header);
        }
      } catch (const EKVError&) {
      }
      pictures = ClampedPictureCount(model_.Header.PictureCount(), reader->Count());
      try {
        if (reader->Count() > 2) skin.setData(reader->ReadBuffer(2));
      } catch (const EKVError&) {
        skin.setData(QByteArray());
      }
    }
    skin.open(QIODevice::ReadOnly);
    LoadPackSkin(&skin);

    const QString sel = SideFile(QStringLiteral(".sel"));
    const bool haveSel = QFileInfo::exists(sel);
    if (haveSel) model_.UsedImages = LoadLines(sel);
    const QString mcl = SideFile(QStringLiteral(".mcl"));
    if (QFileInfo::exists(mcl)) model_.ImageOrder = LoadLines(mcl);
    loadThumbCache();
    LoadPackPanels(reader.get(), pictures);
    reader.reset();
    if (!haveSel) CheckAll(true);
  } else {
    QByteArray skinBytes = MData ? MData->DefaultSkin->Bytes() : QByteArray();
    QBuffer skin(&skinBytes);
    skin.open(QIODevice::ReadOnly);
    LoadPackSkin(&skin);
    loadThumbCache();
    if (QFileInfo(SetPath(set.FileName)).isFile()) model_.ImageOrder = LoadLines(SetPath(set.FileName));
    LoadUserImagePanels();
  }

  UpdateSponsors();
  UpdateBannerItems();
  model_.DropPicture();
  UpdateSelection(true);
  if (!model_.Busy() && loadedSet_ != old) {
    if (!model_.FullScreenVisible()) hooks_.ChangeMirova();
    else hooks_.RenderCalendar(true);
  }
  // A cache that did not hold every thumbnail is written anew; the thumbnails live on in the panels.
  if (thumbsMade_ > 0) SaveThumbnails();
  model_.Thumbs.Clear();
}

void TImagesTab::LoadPackSkin(QIODevice* Stream) {
  Tini& ini = *model_.Ini;
  TMirovaIni& pack = *model_.PackIni;
  const auto reset = [&] {
    ini.ResetDefaults();
    pack.ResetDefaults();
    bannerCaptions_->Lines().clear();
    bannerLinks_->Lines().clear();
  };
  hooks_.BeforePackSkin();
  reset();
  try {
    model_.MirPackSkin->LoadSkinPackage(*Stream);
  } catch (const EKVError&) {
    // A damaged skin keeps the defaults; whatever it set so far is undone.
    reset();
    QBuffer none;
    none.open(QIODevice::ReadOnly);
    try {
      model_.MirPackSkin->LoadSkinPackage(none);
    } catch (const EKVError&) {
    }
  }
  pack.ShowSponsorImg = true;
  QSize cover;
  if (const TKVBitmapList* strip = model_.MirPackSkin->Images.Items(0); strip && strip->IsIndex(0))
    cover = QSize(strip->EntryWidth(0), strip->EntryHeight(0));
  hooks_.PackSkinLoaded(cover);
}

int TImagesTab::FindThumb(const QString& Key) const {
  const TMThnList& t = model_.Thumbs;
  for (int i = 0; i < t.Count(); ++i)
    if (t.Keys(i) == Key) return i;
  return -1;
}

TMImgPanel* TImagesTab::MakePanel(const QString& Key, const std::function<QImage(QSize)>& Load) {
  auto* panel = new TMImgPanel;
  panel->Key = Key;
  QImage thumb;
  if (const int i = FindThumb(Key); i >= 0) thumb = model_.Thumbs.Thumb(i);
  if (thumb.isNull()) {
    try {
      thumb = Load(thumbSize_);
    } catch (const std::exception&) {
      thumb = QImage();
    }
    if (!thumb.isNull()) ++thumbsMade_;
  }
  if (thumb.isNull()) {
    panel->setProperty(kPlaceholderProperty, true);
    panel->Image().SetPicture(PlaceholderThumbnail(thumbSize_));
    return panel;
  }
  TKVBitmap fitted;
  PaintBestFit(fitted, &thumb, thumbSize_.width(), thumbSize_.height());
  panel->Image().SetPicture(fitted.Image());
  return panel;
}

void TImagesTab::AddPanel(TMImgPanel* Panel) {
  imagesScroll_->Add(Panel);
  Panel->SetNumber(imagesScroll_->Count());
  Panel->OnCheck.Set([this](TMImgPanel*) { ImgCheckClick(); });
}

void TImagesTab::LoadPackPanels(TKVResReader* Reader, int PictureCount) {
  const std::vector<int> order = Reader ? PackPictureOrder(model_.ImageOrder, PictureCount) : std::vector<int>();
  const QSet<QString> used(model_.UsedImages.begin(), model_.UsedImages.end());
  int unreadable = 0;
  for (const int n : order) {
    // An empty entry holds no picture, whatever the header counts.
    if (Reader->GetEntry(n + 2).Size <= 0) continue;
    const QString key = QString::number(n);
    TMImgPanel* panel = MakePanel(key, [Reader, n](QSize box) {
      QImage picture;
      LoadPackImage(picture, n, *Reader, box);
      return picture;
    });
    if (IsPlaceholder(panel) && ++unreadable > kMaxUnreadablePanels) {
      delete panel;
      continue;
    }
    panel->CheckBox().setChecked(used.contains(key));
    AddPanel(panel);
  }
}

void TImagesTab::LoadUserImagePanels() {
  imagesScroll_->Clear();
  // Lists name one file in many spellings: each spelling is looked up once, each file shown once.
  QHash<QString, QString> real;
  const auto realPath = [&real](const QString& line) {
    auto it = real.constFind(line);
    if (it == real.constEnd()) it = real.insert(line, line.trimmed().isEmpty() ? QString() : RealPicturePath(line));
    return *it;
  };
  QSet<QString> keys;
  int unreadable = 0;
  for (const QString& line : model_.ImageOrder) {
    const QString path = realPath(line);
    if (path.isEmpty() || keys.contains(path)) continue;
    TMImgPanel* panel = MakePanel(path, [path](QSize box) { return LoadPictureFromFile(path, box); });
    if (IsPlaceholder(panel) && ++unreadable > kMaxUnreadablePanels) {
      delete panel;
      continue;
    }
    keys.insert(path);
    AddPanel(panel);
  }
  const QString sel = SideFile(QStringLiteral(".sel"));
  if (!QFileInfo::exists(sel)) {
    CheckAll(true);
    return;
  }
  QStringList used;
  QSet<QString> checked;
  for (const QString& line : LoadLines(sel)) {
    const QString path = realPath(line);
    if (!path.isEmpty() && !checked.contains(path)) {
      checked.insert(path);
      used << path;
    }
  }
  model_.UsedImages = used;
  for (int i = 0; i < imagesScroll_->Count(); ++i) Panel(i)->CheckBox().setChecked(checked.contains(Panel(i)->Key));
}

void TImagesTab::UpdateSponsors() {
  Tini& ini = *model_.Ini;
  TMirovaIni& pack = *model_.PackIni;
  const TKVBitmapList* sponsors = model_.MirPackSkin->Images.Items(1);
  if (!pack.ShowSponsorImg || !sponsors) {
    pack.Ads.Clear();
    return;
  }
  // The images the strip really holds, not the count its text claims.
  const int count = std::min<int>(int(sponsors->Rects().size()), kMaxSponsorImages);
  ini.SponsorNo = ini.SponsorNo < 0 || ini.SponsorNo >= count - 1 ? 0 : ini.SponsorNo + 1;
  while (pack.Ads.Count() < count) {
    TMirovaAdItem* ad = pack.Ads.Add();
    ad->BlendImage = true;
    ad->BlendContrast = 50;
    ad->SponsorText.clear();
  }
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

void TImagesTab::UpdateSelection(bool Redraw) {
  Tini& ini = *model_.Ini;
  QStringList& used = model_.UsedImages;
  const auto current = [&]() -> QString {
    return ini.ImageIndex >= 0 && ini.ImageIndex < used.size() ? used[ini.ImageIndex] : QString();
  };
  const QString before = current();
  used.clear();
  for (int i = 0; i < imagesScroll_->Count(); ++i)
    if (Panel(i)->CheckBox().isChecked()) used << Panel(i)->Key;
  if (!used.isEmpty() && !Redraw) return;
  if (ini.ImageIndex >= 0 && ini.ImageIndex < used.size() && used[ini.ImageIndex] == before) return;
  model_.DropPicture();
  hooks_.RenderCalendar(true);
}

bool TImagesTab::SaveSideFile(const QString& FileName, const std::function<void()>& Save) {
  try {
    Save();
    failedSaves_.erase(FileName);
    return true;
  } catch (const EKVError& e) {
    saveReasons_[FileName] = e.Reason();
    return false;
  }
}

void TImagesTab::ReportSaveFailures(const QStringList& Failed) {
  QStringList news;
  for (const QString& f : Failed)
    if (failedSaves_.insert(f).second) news << f;
  if (news.isEmpty()) return;
  // Told in one box, or with the rest of a save-all.
  const TSaveReport report;
  // The thumbnail cache is made anew from the pictures; the order and the choice are the user's.
  for (const QString& f : news) ReportSaveFailure(f, saveReasons_[f], f.endsWith(QLatin1String(".thn")));
}

void TImagesTab::SaveImageSetBtnClick() {
  // A set whose file is gone gets no side files: they would outlive it, or make an order list
  // that lists as a set of its own.
  if (loadedSet_.isEmpty() || !QFileInfo(SetPath(loadedSet_)).isFile()) return;
  UpdateSelection(false);
  QStringList order;
  for (int i = 0; i < imagesScroll_->Count(); ++i) order << Panel(i)->Key;
  model_.ImageOrder = order;
  QStringList failed;
  const QString mcl = SideFile(QStringLiteral(".mcl")), sel = SideFile(QStringLiteral(".sel"));
  if (!SaveSideFile(mcl, [&] { SaveLines(mcl, model_.ImageOrder); })) failed << mcl;
  if (!SaveSideFile(sel, [&] { SaveLines(sel, model_.UsedImages); })) failed << sel;
  if (!WriteThumbnails()) failed << SideFile(QStringLiteral(".thn"));
  ReportSaveFailures(failed);
}

bool TImagesTab::WriteThumbnails() {
  if (loadedSet_.isEmpty()) return true;
  TMThnList& t = model_.Thumbs;
  t.Clear();
  t.ThumbWidth = thumbSize_.width();
  t.ThumbHeight = thumbSize_.height();
  for (int i = 0; i < imagesScroll_->Count(); ++i) {
    const TMImgPanel* p = Panel(i);
    // A placeholder is no thumbnail: the picture is tried again next time.
    if (!IsPlaceholder(p)) t.AddThumb(p->Key, p->Image().Bitmap().Image());
  }
  const QString thn = SideFile(QStringLiteral(".thn"));
  return SaveSideFile(thn, [&] {
    QString reason;
    const bool saved = t.SaveThumbs(thn, &reason);
    t.Clear();
    if (!saved) throw EFCreateError(thn, reason);
  });
}

void TImagesTab::SaveThumbnails() {
  if (!WriteThumbnails()) ReportSaveFailures({SideFile(QStringLiteral(".thn"))});
}

void TImagesTab::ApplyThumbSize() {
  const int thn = model_.Ini->ThnSize;
  ThumbSize = std::uint8_t(thn == 0 ? 0 : thn == 1 ? 1 : 2);
  imagesScroll_->SetColumns(thn == 0 ? 4 : thn == 1 ? 3 : 2);
  thumbSize_ = ThumbSizes(ThumbSize).Image;
  model_.Thumbs.ThumbWidth = thumbSize_.width();
  model_.Thumbs.ThumbHeight = thumbSize_.height();
}

// ---------------------------------------------------------------------------------------------
// Page commands

void TImagesTab::NewImageSetBtnClick() {
  if (!editDlg_) editDlg_ = new TEditDlg(this);
  if (!editDlg_->Execute()) return;
  const QString created = QFileInfo(editDlg_->SetFile).fileName();
  LoadImageSets();
  for (size_t i = 0; i < sets_.size(); ++i) {
    if (sets_[i].FileName != created) continue;
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
  if (sets_.size() <= 1) {
    KVMessageBox(l.RSCannotDeleteLastImageSet, QString(), IDI_WARNING_ICON, 0, ButtonsOK);
    return;
  }
  const TMImageSet* selected = SelectedSet();
  if (!selected) return;
  const TMImageSet set = *selected;
  if (KVMessageBox(Format(l.RSAreYouSureDeleteImageSet, {resTitles_->currentText()}), QString(), IDI_QUESTION_ICON, 1,
                   ButtonsYesNo) != ResultYes)
    return;
  QFile::remove(SetPath(set.FileName));
  for (const char* ext : kImageSetSideExtensions) QFile::remove(SideFileName(ExeDir, set.FileName, QLatin1String(ext)));
  LoadImageSets();
  model_.Ini->MirPack.clear();
  ResTitlesChange();
}

void TImagesTab::ImgAddNewBtnClick() {
  if (!loadedUserSet_ || loadedSet_.isEmpty()) return;
  const TKVLanguageResource& l = LanguageResource();
  const QString filter = l.RSImages + QStringLiteral(" (*.jpg *.jpeg *.jpe *.bmp *.gif *.png *.tif *.tiff *.webp);;") +
                         l.RSAllFiles + QStringLiteral(" (*)");
  Tini& ini = *model_.Ini;
  const QStringList files = FileDialogs().OpenFileNames(this, QString(), StartFolder(ini.ImageFolder, FolderPictures), filter);
  if (!files.isEmpty()) ini.ImageFolder = QFileInfo(files.first()).absolutePath();
  QStringList keys, bad;
  for (int i = 0; i < imagesScroll_->Count(); ++i) keys << Panel(i)->Key;
  bool added = false;
  for (const QString& file : files) {
    const QString real = RealPicturePath(file);
    const QString path = real.isEmpty() ? QFileInfo(file).absoluteFilePath() : real;
    if (keys.contains(path)) continue;
    QImage picture;
    try {
      // A name with a line break cannot be a line of the set's list.
      if (!path.contains(QLatin1Char('\n')) && !path.contains(QLatin1Char('\r')))
        picture = LoadPictureFromFile(path, thumbSize_);
    } catch (const std::exception&) {
      picture = QImage();
    }
    if (picture.isNull()) {
      bad << QDir::toNativeSeparators(path);
      continue;
    }
    TMImgPanel* panel = MakePanel(path, [&picture](QSize) { return picture; });
    panel->CheckBox().setChecked(true);
    AddPanel(panel);
    keys << path;
    model_.ImageOrder << path;
    added = true;
  }
  if (added) UpdateSelection(true);
  if (!bad.isEmpty())
    KVMessageBox(l.RSPicturesNotAdded + QLatin1Char('\n') + bad.join(QLatin1Char('\n')), QString(), IDI_WARNING_ICON, 0,
                 ButtonsOK);
}

void TImagesTab::ImgRemoveBtnClick() {
  if (!loadedUserSet_) return;
  const int i = imagesScroll_->ItemIndex();
  if (i < 0) return;
  model_.ImageOrder.removeOne(Panel(i)->Key);
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
  UpdateSelection(false);
  model_.Ini->ImageIndex = int(std::max<qsizetype>(0, model_.UsedImages.indexOf(panel->Key)));
  model_.DropPicture();
  hooks_.RenderCalendar(true);
}

void TImagesTab::ImgCheckClick() { UpdateSelection(true); }

void TImagesTab::CheckAll(bool Checked) {
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

void TImagesTab::ImgMoveUpBtnClick() {
  const int i = imagesScroll_->ItemIndex();
  if (i <= 0) return;
  imagesScroll_->Exchange(i, i - 1);
  RenumberFrom(i - 1);
  UpdateSelection(true);
}

void TImagesTab::ImgMoveDownBtnClick() {
  const int i = imagesScroll_->ItemIndex();
  if (i < 0 || i >= imagesScroll_->Count() - 1) return;
  imagesScroll_->Exchange(i, i + 1);
  RenumberFrom(i);
  UpdateSelection(true);
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
  SaveImageSetBtnClick();
  model_.Ini->ThnSize = size;
  ApplyThumbSize();
  // Reloaded at the new size, drawn and applied as a new set.
  model_.Ini->MirPack.clear();
  loadedSet_.clear();
  ResTitlesChange();
}
