#pragma once
// The dialog that names a new image set of the user's own pictures and creates its empty order
// list (the set's ".mcl" file) in the program folder.
#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPushButton;

enum class TImageSetNameCheck { Ok, Empty, Unsafe, Exists };

// Whether Name (already trimmed) can name a new set: not empty; usable as a file name (no path
// separators, no "..", no leading dot, no control characters, short enough for the set's side
// files); no pack (".mcp") or order list (".mcl") of that name in any of Folders, whatever the
// case of its letters.
TImageSetNameCheck CheckImageSetName(const QString& Name, const QStringList& Folders);

class TEditDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TEditDlg(QWidget* parent = nullptr);

  // The set the last OK created: its name and its order-list file.
  QString SetName;
  QString SetFile;

  // Shows the dialog with an empty name; true when a set was created.
  bool Execute();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Edit1Change();
  void OKBtnClick();

  QLabel* label1_;
  QLineEdit* edit1_;
  QPushButton* okBtn_;
  QPushButton* cancelBtn_;
};
