#include "ui/EditD.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/KVForms.h"
#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"

namespace {

// A file name holds at most 255 bytes; the longest side file adds four (".mcl", ".thn", ".sel").
constexpr int kMaxNameBytes = 255 - 4;

bool SafeFileName(const QString& name) {
  if (name.startsWith(QLatin1Char('.')) || name.contains(QLatin1String(".."))) return false;
  for (const QChar c : name) {
    if (c == QLatin1Char('/') || c == QLatin1Char('\\')) return false;
    if (c.category() == QChar::Other_Control) return false;
  }
  return name.toUtf8().size() <= kMaxNameBytes;
}

bool ExistsIn(const QString& folder, const QString& name) {
  if (folder.isEmpty()) return false;
  const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
  for (const QString& f : files)
    for (const char* ext : {".mcp", ".mcl"})
      if (f.compare(name + QLatin1String(ext), Qt::CaseInsensitive) == 0) return true;
  return false;
}

}  // namespace

TImageSetNameCheck CheckImageSetName(const QString& Name, const QStringList& Folders) {
  if (Name.isEmpty()) return TImageSetNameCheck::Empty;
  if (!SafeFileName(Name)) return TImageSetNameCheck::Unsafe;
  for (const QString& folder : Folders)
    if (ExistsIn(folder, Name)) return TImageSetNameCheck::Exists;
  return TImageSetNameCheck::Ok;
}

TEditDlg::TEditDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("EditDlg"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  label1_ = new QLabel(this);
  label1_->setObjectName(QStringLiteral("Label1"));
  edit1_ = new QLineEdit(this);
  edit1_->setObjectName(QStringLiteral("Edit1"));
  label1_->setBuddy(edit1_);
  okBtn_ = new QPushButton(this);
  okBtn_->setObjectName(QStringLiteral("OKBtn"));
  okBtn_->setDefault(true);
  cancelBtn_ = new QPushButton(this);
  cancelBtn_->setObjectName(QStringLiteral("CancelBtn"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okBtn_);
  buttons->addWidget(cancelBtn_);
  auto* form = new QVBoxLayout(this);
  form->addWidget(label1_);
  form->addWidget(edit1_);
  form->addStretch(1);
  form->addLayout(buttons);
  resize(272, 90);

  ApplyCaptions(*this, {{"EditDlg", &TKVLanguageResource::RSCreateNewImageSet},
                        {"Label1", &TKVLanguageResource::RSEnterImageSetName, ":"},
                        {"OKBtn", &TKVLanguageResource::RSOK},
                        {"CancelBtn", &TKVLanguageResource::RSCancel}});
  Edit1Change();

  // The button follows the text whoever changes it.
  connect(edit1_, &QLineEdit::textChanged, this, Guarded([this] { Edit1Change(); }));
  connect(okBtn_, &QPushButton::clicked, this, Guarded([this] { OKBtnClick(); }));
  connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
}

bool TEditDlg::Execute() {
  edit1_->clear();
  edit1_->setFocus();
  return ExecDialog(*this) == QDialog::Accepted;
}

void TEditDlg::showEvent(QShowEvent* event) {
  Edit1Change();
  QDialog::showEvent(event);
}

void TEditDlg::Edit1Change() { okBtn_->setEnabled(!edit1_->text().trimmed().isEmpty()); }

void TEditDlg::OKBtnClick() {
  const TKVLanguageResource& lang = LanguageResource();
  // Blanks at the ends would make a set that looks like another one.
  const QString name = edit1_->text().trimmed();
  switch (CheckImageSetName(name, {ExeDir, ShareDir})) {
    case TImageSetNameCheck::Empty: return;
    case TImageSetNameCheck::Unsafe:
      KVMessageBox(lang.RSInvalidImageSetName, QString(), IDI_WARNING_ICON, 0, ButtonsOK);
      return;
    case TImageSetNameCheck::Exists:
      KVMessageBox(lang.RSImageSetAlreadyExists, QString(), IDI_WARNING_ICON, 0, ButtonsOK);
      return;
    case TImageSetNameCheck::Ok: break;
  }
  // A new order list holds one blank, which names no picture. Created only when it does not
  // exist yet, so that no file is ever replaced by an empty set.
  const QString path = ExeDir + name + QLatin1String(".mcl");
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
    KVMessageBox(file.exists() ? lang.RSImageSetAlreadyExists : Format(lang.RSCannotSave, {path}) + "\n" + lang.RSDiskFull,
                 QString(), file.exists() ? IDI_WARNING_ICON : IDI_ERROR_ICON, 0, ButtonsOK);
    return;
  }
  const bool written = file.write(" ", 1) == 1 && file.flush();
  file.close();
  if (!written || file.error() != QFileDevice::NoError) {
    file.remove();
    KVMessageBox(Format(lang.RSCannotSave, {path}) + "\n" + lang.RSDiskFull, QString(), IDI_ERROR_ICON, 0, ButtonsOK);
    return;
  }
  SetName = name;
  SetFile = path;
  accept();
}
