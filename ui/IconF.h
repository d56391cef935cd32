#pragma once
// The icon picker: a favourite icon (the icon-list document "mficons.dat"), or an icon imported
// from program files, icon files, picture files or folders of pictures. OK puts the chosen
// 32 x 32 picture on the clipboard and saves the favourites; the caller pastes it.
#include <QDialog>
#include <QImage>
#include <QString>
#include <QStringList>
#include <vector>

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class TMirModel;

class TIconForm : public QDialog {
  Q_OBJECT
 public:
  explicit TIconForm(TMirModel& Model, QWidget* parent = nullptr);

  // Shows the picker modally; true when it ended with OK and the icon is on the clipboard.
  bool Execute();

  // The imported icons (ListBox1 shows them) and the files and folders they came from.
  const std::vector<QImage>& IconList() const { return iconList_; }
  const QStringList& Files() const { return files_; }
  // The picture file filters the file chooser offers, the program files first.
  static QString PictureFilter();

  // Handlers.
  void ViewBtnClick();
  void ImportBtnClick();
  void BrowseBtnClick();
  void AddFavoritesBtnClick();
  void RemoveBtnClick();
  void OKBtnClick(bool Favorites);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void FillFavorites();
  void ImportIcons();
  void UpdateButtons();

  TMirModel& model_;
  bool firstShow_ = true;
  std::vector<QImage> iconList_;
  QStringList files_;
  QWidget* importPanel_;
  QWidget* favoritesPanel_;
  QGroupBox* groupBox1_;
  QLabel* label1_;
  QPushButton* browseBtn_;
  QListWidget* listBox1_;
  QPushButton* okBtn_;
  QPushButton* cancelBtn_;
  QPushButton* addFavoritesBtn_;
  QPushButton* viewBtn_;
  QListWidget* favoritesList_;
  QPushButton* okFavoritesBtn_;
  QPushButton* button3_;
  QPushButton* importBtn_;
  QPushButton* removeBtn_;
};
