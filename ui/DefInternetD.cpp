#include "ui/DefInternetD.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

#include "foundation/KVForms.h"
#include "foundation/KVRes.h"
#include "foundation/KVSysUtils.h"

const char* const kInternetTestURL = "https://www.example.com/";
const char* const kInternetTestAddress = "test@example.com";

namespace {

// Paths are shortened to this many pixels, the labels' width.
constexpr int kPathWidth = 330;

QPushButton* NewButton(QWidget* parent, const char* name) {
  auto* b = new QPushButton(parent);
  b->setObjectName(QLatin1String(name));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

TDefInternetDlg::TDefInternetDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DefInternetDlg"));
  setWindowFlags((windowFlags() | Qt::WindowStaysOnTopHint) & ~Qt::WindowContextHelpButtonHint);

  const auto group = [this](const char* name, const char* label, const char* find, const char* automatic,
                            const char* test, QLabel*& l, QPushButton*& f, QPushButton*& a, QPushButton*& t) {
    auto* box = new QGroupBox(this);
    box->setObjectName(QLatin1String(name));
    l = new QLabel(box);
    l->setObjectName(QLatin1String(label));
    l->setFixedWidth(kPathWidth);
    f = NewButton(box, find);
    a = NewButton(box, automatic);
    t = NewButton(box, test);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(f);
    buttons->addWidget(a);
    buttons->addWidget(t);
    buttons->addStretch(1);
    auto* v = new QVBoxLayout(box);
    v->addWidget(l);
    v->addLayout(buttons);
    return box;
  };
  QGroupBox* groupBox1 = group("GroupBox1", "BLabel", "BFindBtn", "BAutoBtn", "BTestBtn", bLabel_, bFindBtn_,
                               bAutoBtn_, bTestBtn_);
  QGroupBox* groupBox2 = group("GroupBox2", "MLabel", "MFindBtn", "MAutoBtn", "MTestBtn", mLabel_, mFindBtn_,
                               mAutoBtn_, mTestBtn_);
  memo1_ = new QPlainTextEdit(this);
  memo1_->setObjectName(QStringLiteral("Memo1"));
  memo1_->setReadOnly(true);
  memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  okBtn_ = NewButton(this, "OKBtn");
  okBtn_->setDefault(true);
  cancelBtn_ = NewButton(this, "CancelBtn");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okBtn_);
  buttons->addWidget(cancelBtn_);
  auto* form = new QVBoxLayout(this);
  form->addWidget(groupBox1);
  form->addWidget(groupBox2);
  form->addWidget(memo1_, 1);
  form->addLayout(buttons);
  resize(384, 361);
  form->setSizeConstraint(QLayout::SetFixedSize);

  // FormCreate: the paths being edited start as the program's, then the texts.
  browser_ = BrowserPath;
  mail_ = MailProgramPath;
  ShowPath(bLabel_, browser_);
  ShowPath(mLabel_, mail_);
  const TKVLanguageResource& lang = LanguageResource();
  ApplyCaptions(*this, {{"DefInternetDlg", &TKVLanguageResource::RSInternetSettings},
                        {"GroupBox1", &TKVLanguageResource::RSCurrentWebBrowserSettings},
                        {"GroupBox2", &TKVLanguageResource::RSCurrentMailProgramSettings},
                        {"BFindBtn", &TKVLanguageResource::RSFindBrowser},
                        {"MFindBtn", &TKVLanguageResource::RSFindMail},
                        {"BAutoBtn", &TKVLanguageResource::RSUseAutomaticSettings},
                        {"MAutoBtn", &TKVLanguageResource::RSUseAutomaticSettings},
                        {"BTestBtn", &TKVLanguageResource::RSTest},
                        {"MTestBtn", &TKVLanguageResource::RSTest},
                        {"OKBtn", &TKVLanguageResource::RSOK},
                        {"CancelBtn", &TKVLanguageResource::RSCancel}});
  memo1_->setPlainText(QStringList{lang.RSTextDefBrowser1, QString(), lang.RSTextDefBrowser2, QString(),
                                   lang.RSTextDefBrowser3}
                           .join(QLatin1Char('\n')));

  for (QPushButton* b : {bFindBtn_, mFindBtn_})
    connect(b, &QPushButton::clicked, this, Guarded([this, b] { FindBtnClick(b); }));
  for (QPushButton* b : {bAutoBtn_, mAutoBtn_})
    connect(b, &QPushButton::clicked, this, Guarded([this, b] { AutoBtnClick(b); }));
  for (QPushButton* b : {bTestBtn_, mTestBtn_})
    connect(b, &QPushButton::clicked, this, Guarded([this, b] { TestBtnClick(b); }));
  connect(okBtn_, &QPushButton::clicked, this, Guarded([this] { OKBtnClick(); }));
  connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
}

void TDefInternetDlg::ShowPath(QLabel* label, const QString& path) {
  label->setText(path.isEmpty() ? LanguageResource().RSAutomaticSettings
                                : MinimizePath(path, label->fontMetrics(), kPathWidth));
}

void TDefInternetDlg::FindBtnClick(QPushButton* sender) {
  const TKVLanguageResource& lang = LanguageResource();
  const bool browser = sender == bFindBtn_;
  const QString current = browser ? browser_ : mail_;
  // Programs here carry no extension: the program filter shows every file.
  const QString filter = lang.RSProgramFiles + QLatin1String(" (*);;") + lang.RSAllFiles + QLatin1String(" (*)");
  const QString dir = current.isEmpty() ? QStringLiteral("/usr/bin") : QFileInfo(current).absolutePath();
  const QString file = FileDialogs().OpenFileName(this, sender->text(), dir, filter);
  if (file.isEmpty()) return;
  if (browser) {
    browser_ = file;
    ShowPath(bLabel_, browser_);
  } else {
    mail_ = file;
    ShowPath(mLabel_, mail_);
  }
}

void TDefInternetDlg::AutoBtnClick(QPushButton* sender) {
  if (sender == bAutoBtn_) {
    browser_.clear();
    ShowPath(bLabel_, browser_);
  } else {
    mail_.clear();
    ShowPath(mLabel_, mail_);
  }
}

void TDefInternetDlg::TestBtnClick(QPushButton* sender) {
  // The test uses the choices without keeping them, also when it fails.
  const QString savedBrowser = BrowserPath, savedMail = MailProgramPath;
  const auto restore = qScopeGuard([&] {
    BrowserPath = savedBrowser;
    MailProgramPath = savedMail;
  });
  BrowserPath = browser_;
  MailProgramPath = mail_;
  if (sender == bTestBtn_) OpenURL(QLatin1String(kInternetTestURL), browser_, true);
  else SendMailTo(QLatin1String(kInternetTestAddress), mail_, true);
}

void TDefInternetDlg::OKBtnClick() {
  BrowserPath = browser_;
  MailProgramPath = mail_;
  accept();
}

bool TDefInternetDialog::Execute() {
  TDefInternetDlg dialog(parent_);
  return ExecDialog(dialog) == QDialog::Accepted;
}
