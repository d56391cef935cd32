#pragma once
// The Internet settings dialog: the browser and the mail program that links and mail addresses
// open with (empty: the desktop's own choice), each with Find, automatic and Test. OK puts them
// into BrowserPath and MailProgramPath; the caller saves the settings.
#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// What the two Test buttons open.
extern const char* const kInternetTestURL;
extern const char* const kInternetTestAddress;

class TDefInternetDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TDefInternetDlg(QWidget* parent = nullptr);

  // The browser and the mail program being edited.
  QString Browser() const { return browser_; }
  QString MailProgram() const { return mail_; }

 private:
  void FindBtnClick(QPushButton* sender);
  void AutoBtnClick(QPushButton* sender);
  void TestBtnClick(QPushButton* sender);
  void OKBtnClick();
  void ShowPath(QLabel* label, const QString& path);

  QLabel* bLabel_;
  QLabel* mLabel_;
  QPushButton* bFindBtn_;
  QPushButton* bAutoBtn_;
  QPushButton* bTestBtn_;
  QPushButton* mFindBtn_;
  QPushButton* mAutoBtn_;
  QPushButton* mTestBtn_;
  QPlainTextEdit* memo1_;
  QPushButton* okBtn_;
  QPushButton* cancelBtn_;
  QString browser_;
  QString mail_;
};

// Shows a TDefInternetDlg modally; true when it closed with OK.
class TDefInternetDialog {
 public:
  explicit TDefInternetDialog(QWidget* parent = nullptr) : parent_(parent) {}
  bool Execute();

 private:
  QWidget* parent_;
};
