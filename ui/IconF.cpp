#include "ui/IconF.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirModel.h"
#include "calendar/MirNotesStore.h"
#include "calendar/iniData.h"
#include "controls/KVFileIcons.h"
#include "foundation/KVForms.h"
#include "foundation/KVRes.h"
#include "foundation/KVSysUtils.h"
#include "ui/MirIcon.h"

namespace {

constexpr int kClientWidth = 414, kClientHeight = 334;
constexpr int kItemSide = 40;
// Before the desktop's icon folders existed, the favourites came from this library in the
// program folder; it is still read when present.
const QString kDefaultIconLibrary = QStringLiteral("kvicons1.dll");

// Draws item n of a list as picture n of its image list, centred on the window or highlight
// colour (the item's text is the picture's number).
class TIconDelegate : public QStyledItemDelegate {
 public:
  TIconDelegate(const std::vector<QImage>* images, QObject* parent) : QStyledItemDelegate(parent), images_(images) {}

  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    p->fillRect(r, option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
    bool ok = false;
    int n = index.data(Qt::DisplayRole).toString().toInt(&ok);
    if (!ok) n = 0;
    if (n < 0 || size_t(n) >= images_->size()) return;
    const QImage& image = (*images_)[size_t(n)];
    p->drawImage(QPoint(r.left() + (r.width() - kIconBitmapSize) / 2, r.top() + (r.height() - kIconBitmapSize) / 2),
                 image);
  }
  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
    return QSize(kItemSide, kItemSide);
  }

 private:
  const std::vector<QImage>* images_;
};

QListWidget* NewIconList(QWidget* parent, const char* name, const std::vector<QImage>* images) {
  auto* l = new QListWidget(parent);
  l->setObjectName(QLatin1String(name));
  l->setViewMode(QListView::IconMode);
  l->setFlow(QListView::LeftToRight);
  l->setWrapping(true);
  l->setResizeMode(QListView::Adjust);
  l->setMovement(QListView::Static);
  l->setUniformItemSizes(true);
  l->setGridSize(QSize(kItemSide, kItemSide));
  l->setSpacing(0);
  l->setSelectionMode(QAbstractItemView::SingleSelection);
  l->setItemDelegate(new TIconDelegate(images, l));
  return l;
}

QPushButton* NewButton(QWidget* parent, const char* name) {
  auto* b = new QPushButton(parent);
  b->setObjectName(QLatin1String(name));
  b->setAutoDefault(false);
  return b;
}

// The texts "0" .. "n-1".
void FillNumbers(QListWidget* list, size_t n) {
  list->clear();
  for (size_t i = 0; i < n; ++i) list->addItem(QString::number(i));
}

int SelectedIndex(const QListWidget* list) {
  const QList<QListWidgetItem*> items = list->selectedItems();
  if (items.isEmpty()) return -1;
  bool ok = false;
  const int n = items.first()->text().toInt(&ok);
  return ok ? n : 0;
}

QStringList SplitLines(const QString& text) {
  return text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")), Qt::SkipEmptyParts);
}

QStringList FilterList() {
  QStringList formats;
  for (const QByteArray& f : QImageReader::supportedImageFormats()) formats << QString::fromLatin1(f).toLower();
  for (const char* own : {"ico", "bmp", "gif", "jpg", "jpeg"}) formats << QLatin1String(own);
  formats.sort();
  formats.removeDuplicates();
  QStringList patterns;
  for (const QString& f : formats) patterns << QStringLiteral("*.") + f;
  QStringList filters;
  filters << LanguageResource().RSProgramFiles + QStringLiteral(" (*.exe *.dll)");
  filters << QStringLiteral("All (%1)").arg(patterns.join(QLatin1Char(' ')));
  for (const QString& f : formats) filters << QStringLiteral("%1 (*.%2)").arg(f.toUpper(), f);
  return filters;
}

}  // namespace

QString TIconForm::PictureFilter() { return FilterList().join(QStringLiteral(";;")); }

TIconForm::TIconForm(TMirModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName(QStringLiteral("IconForm"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);

  importPanel_ = new QWidget(this);
  importPanel_->setObjectName(QStringLiteral("ImportPanel"));
  groupBox1_ = new QGroupBox(importPanel_);
  groupBox1_->setObjectName(QStringLiteral("GroupBox1"));
  label1_ = new QLabel(groupBox1_);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setMinimumWidth(120);
  label1_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  browseBtn_ = NewButton(groupBox1_, "BrowseBtn");
  auto* source = new QHBoxLayout(groupBox1_);
  source->addWidget(label1_, 1);
  source->addWidget(browseBtn_);
  listBox1_ = NewIconList(importPanel_, "ListBox1", &iconList_);
  addFavoritesBtn_ = NewButton(importPanel_, "AddFavoritesBtn");
  viewBtn_ = NewButton(importPanel_, "ViewBtn");
  okBtn_ = NewButton(importPanel_, "OKBtn");
  okBtn_->setDefault(true);
  cancelBtn_ = NewButton(importPanel_, "CancelBtn");
  auto* importButtons = new QHBoxLayout;
  importButtons->addWidget(addFavoritesBtn_);
  importButtons->addWidget(viewBtn_);
  importButtons->addStretch(1);
  importButtons->addWidget(okBtn_);
  importButtons->addWidget(cancelBtn_);
  auto* importLayout = new QVBoxLayout(importPanel_);
  importLayout->setContentsMargins(0, 0, 0, 0);
  importLayout->addWidget(groupBox1_);
  importLayout->addWidget(listBox1_, 1);
  importLayout->addLayout(importButtons);

  favoritesPanel_ = new QWidget(this);
  favoritesPanel_->setObjectName(QStringLiteral("FavoritesPanel"));
  favoritesList_ = NewIconList(favoritesPanel_, "FavoritesList", &model_.Icons->Icons);
  importBtn_ = NewButton(favoritesPanel_, "ImportBtn");
  removeBtn_ = NewButton(favoritesPanel_, "RemoveBtn");
  okFavoritesBtn_ = NewButton(favoritesPanel_, "OKFavoritesBtn");
  okFavoritesBtn_->setDefault(true);
  button3_ = NewButton(favoritesPanel_, "Button3");
  auto* favoriteButtons = new QHBoxLayout;
  favoriteButtons->addWidget(importBtn_);
  favoriteButtons->addWidget(removeBtn_);
  favoriteButtons->addStretch(1);
  favoriteButtons->addWidget(okFavoritesBtn_);
  favoriteButtons->addWidget(button3_);
  auto* favoritesLayout = new QVBoxLayout(favoritesPanel_);
  favoritesLayout->setContentsMargins(0, 0, 0, 0);
  favoritesLayout->addWidget(favoritesList_, 1);
  favoritesLayout->addLayout(favoriteButtons);

  auto* form = new QVBoxLayout(this);
  form->addWidget(importPanel_);
  form->addWidget(favoritesPanel_);

  // FormCreate.
  ApplyCaptions(*this, {{"RemoveBtn", &TKVLanguageResource::RSRemovefromfavorites},
                        {"ImportBtn", &TKVLanguageResource::RSImportfromfile},
                        {"GroupBox1", &TKVLanguageResource::RSLookforiconsinthisfile},
                        {"AddFavoritesBtn", &TKVLanguageResource::RSAddtofavorites},
                        {"ViewBtn", &TKVLanguageResource::RSViewfavorites},
                        {"BrowseBtn", &TKVLanguageResource::RSBrowse},
                        {"OKBtn", &TKVLanguageResource::RSOK},
                        {"OKFavoritesBtn", &TKVLanguageResource::RSOK},
                        {"CancelBtn", &TKVLanguageResource::RSCancel},
                        {"Button3", &TKVLanguageResource::RSCancel}});
  files_ = SplitLines(model_.Ini->IconFile);

  connect(viewBtn_, &QPushButton::clicked, this, Guarded([this] { ViewBtnClick(); }));
  connect(importBtn_, &QPushButton::clicked, this, Guarded([this] { ImportBtnClick(); }));
  connect(browseBtn_, &QPushButton::clicked, this, Guarded([this] { BrowseBtnClick(); }));
  connect(addFavoritesBtn_, &QPushButton::clicked, this, Guarded([this] { AddFavoritesBtnClick(); }));
  connect(removeBtn_, &QPushButton::clicked, this, Guarded([this] { RemoveBtnClick(); }));
  connect(okBtn_, &QPushButton::clicked, this, Guarded([this] { OKBtnClick(false); }));
  connect(okFavoritesBtn_, &QPushButton::clicked, this, Guarded([this] { OKBtnClick(true); }));
  connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
  connect(button3_, &QPushButton::clicked, this, &QDialog::reject);
  for (QListWidget* l : {listBox1_, favoritesList_})
    connect(l, &QListWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });

  ViewBtnClick();
  UpdateButtons();
  resize(kClientWidth, kClientHeight);
  setMinimumSize(QSize(kClientWidth, kClientHeight).expandedTo(minimumSizeHint()));
}

bool TIconForm::Execute() {
  FormShow();
  return ExecDialog(*this) == QDialog::Accepted;
}

void TIconForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  RunGuarded([this] { FormShow(); });
}

void TIconForm::FormShow() {
  if (!firstShow_) return;
  firstShow_ = false;
  TMIconBase& doc = *model_.Icons;
  doc.OnVerify.Set([](TPersistent*, const QString&, bool& accept) { accept = true; });
  const QString favorites = ExeDir + kIconsFileName;
  if (QFileInfo::exists(favorites)) {
    doc.LoadFromFile(favorites);
    if (doc.LoadFailed) qWarning("The favourite icons were not read: %s", qUtf8Printable(doc.LoadError));
  } else {
    // A new user: the old icon library where one was kept, else the icons the program draws.
    std::vector<QImage> icons;
    if (QFileInfo::exists(ExeDir + kDefaultIconLibrary)) LoadFileIcons(ExeDir + kDefaultIconLibrary, &icons);
    doc.Icons = icons.empty() ? DrawFavoriteIcons() : std::move(icons);
  }
  FillFavorites();
  ImportIcons();
}

void TIconForm::ViewBtnClick() {
  importPanel_->hide();
  favoritesPanel_->show();
  setWindowTitle(LanguageResource().RSFavoriteIcons);
}

void TIconForm::ImportBtnClick() {
  favoritesPanel_->hide();
  importPanel_->show();
  setWindowTitle(LanguageResource().RSImportIcons);
}

void TIconForm::FillFavorites() {
  FillNumbers(favoritesList_, model_.Icons->Icons.size());
  UpdateButtons();
}

void TIconForm::ImportIcons() {
  iconList_.clear();
  // Files chosen earlier that are gone, or the Windows library named by default, give way to the
  // desktop's icon folders, so there is always something to choose from.
  QStringList sources;
  for (const QString& f : files_)
    if (QFileInfo::exists(f)) sources << f;
  if (sources.isEmpty()) sources = DesktopIconFolders();
  BusyCursor();
  const auto normal = qScopeGuard([] { NormalCursor(); });
  for (const QString& s : sources) {
    if (iconList_.size() >= size_t(kMaxFileIcons)) break;
    if (QFileInfo(s).isDir()) LoadFolderIcons(s, &iconList_, kMaxFileIcons);
    else CollectFileIcons(s, &iconList_);
  }
  if (sources.size() == 1) {
    const int width = label1_->width() > 50 ? label1_->width() : 300;
    label1_->setText(MinimizePath(QDir::toNativeSeparators(sources.first()), label1_->fontMetrics(), width));
  } else {
    label1_->setText(sources.isEmpty() ? QString() : LanguageResource().RSMultipleFiles);
  }
  label1_->setToolTip(sources.join(QLatin1Char('\n')));
  FillNumbers(listBox1_, iconList_.size());
  UpdateButtons();
}

void TIconForm::BrowseBtnClick() {
  Tini& ini = *model_.Ini;
  const QStringList filters = FilterList();
  QString selected = filters.value(ini.IconFilterIndex - 1, filters.first());
  const QString dir = files_.isEmpty() ? QString() : files_.first();
  const QStringList chosen = FileDialogs().OpenFileNamesFiltered(this, LanguageResource().RSImportIcons, dir,
                                                                 filters.join(QStringLiteral(";;")), &selected);
  if (chosen.isEmpty()) return;
  files_ = chosen;
  ini.IconFile = chosen.join(QStringLiteral("\r\n"));
  ini.IconFilterIndex = std::max<int>(1, int(filters.indexOf(selected)) + 1);
  ImportIcons();
  ini.SaveSettings();
}

void TIconForm::AddFavoritesBtnClick() {
  const int i = SelectedIndex(listBox1_);
  if (i < 0 || size_t(i) >= iconList_.size()) return;
  std::vector<QImage>& favorites = model_.Icons->Icons;
  favorites.push_back(iconList_[size_t(i)].convertToFormat(QImage::Format_BGR888));
  favoritesList_->addItem(QString::number(favorites.size() - 1));
}

void TIconForm::RemoveBtnClick() {
  const int i = SelectedIndex(favoritesList_);
  std::vector<QImage>& favorites = model_.Icons->Icons;
  if (i < 0 || size_t(i) >= favorites.size()) return;
  favorites.erase(favorites.begin() + i);
  FillFavorites();
}

void TIconForm::OKBtnClick(bool fromFavorites) {
  const std::vector<QImage>& images = fromFavorites ? model_.Icons->Icons : iconList_;
  const int i = SelectedIndex(fromFavorites ? favoritesList_ : listBox1_);
  if (i < 0 || size_t(i) >= images.size()) return;
  QImage bitmap(kIconBitmapSize, kIconBitmapSize, QImage::Format_BGR888);
  bitmap.fill(Qt::white);
  {
    QPainter p(&bitmap);
    p.drawImage(QPoint(0, 0), images[size_t(i)]);
  }
  QGuiApplication::clipboard()->setImage(bitmap);
  ViewBtnClick();
  SaveDocumentReported(*model_.Icons, ExeDir + kIconsFileName, false);
  accept();
}

void TIconForm::UpdateButtons() {
  const bool imported = !listBox1_->selectedItems().isEmpty();
  const bool favorite = !favoritesList_->selectedItems().isEmpty();
  okBtn_->setEnabled(imported);
  addFavoritesBtn_->setEnabled(imported);
  okFavoritesBtn_->setEnabled(favorite);
  removeBtn_->setEnabled(favorite);
}
