#include "ui/SpecialTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "calendar/MirModel.h"
#include "calendar/iniData.h"
#include "foundation/KVForms.h"
#include "foundation/KVRes.h"
#include "foundation/KVSysUtils.h"
#include "ui/DefInternetD.h"

TSpecialTab::TSpecialTab(TMirModel& model, TSpecialTabHooks hooks, QWidget* parent)
    : QWidget(parent), model_(model), hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("SpecialPage"));
  if (!hooks_.SwitchDiary) hooks_.SwitchDiary = [](bool) { return false; };
  CreateControls();
  ApplyTexts();
}

void TSpecialTab::CreateControls() {
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(6, 6, 6, 6);
  v->setSpacing(4);

  auto* notavel = Named(new QGroupBox(this), "GroupBox7");
  auto* nl = new QGridLayout(notavel);
  useNotavelDiaryChk_ = Named(new QCheckBox(notavel), "UseNotavelDiaryChk");
  nl->addWidget(useNotavelDiaryChk_, 0, 0, Qt::AlignLeft);
  // The other product's folder beside the box that links its diary.
  notavelPathLabel_ = Named(new QLabel(notavel), "NotavelPathLabel");
  notavelPathLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  notavelPathLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  nl->addWidget(notavelPathLabel_, 0, 1);
  nl->addWidget(Named(new QPushButton(notavel), "NotavelBrowseBtn"), 0, 2);
  auto* label7 = Named(new QLabel(notavel), "Label7");
  label7->setWordWrap(true);
  nl->addWidget(label7, 1, 0, 1, 3);
  nl->setColumnStretch(1, 1);
  v->addWidget(notavel);

  auto* imports = Named(new QGroupBox(this), "GroupBox21");
  auto* il = new QGridLayout(imports);
  // Each import: what it does, then its button and the choice between appending and replacing.
  const auto importRow = [&](int row, const char* button, const char* box, const char* label) {
    il->addWidget(Named(new QLabel(imports), label), row, 0, 1, 3);
    il->addWidget(Named(new QPushButton(imports), button), row + 1, 0);
    il->addWidget(Named(new QComboBox(imports), box), row + 1, 1);
  };
  importRow(0, "ImportDiaryBtn", "ImportDiaryBox", "Label8");
  importRow(2, "ImportHolidaysBtn", "ImportHolidaysBox", "Label9");
  il->setColumnStretch(2, 1);
  v->addWidget(imports);

  auto* trouble = Named(new QGroupBox(this), "GroupBox20");
  auto* tl = new QHBoxLayout(trouble);
  internetSettingsBtn_ = Named(new QPushButton(trouble), "InternetSettingsBtn");
  tl->addWidget(internetSettingsBtn_);
  tl->addStretch(1);
  v->addWidget(trouble);
  v->addStretch(1);

  // Locating the other product and the imports have no behaviour.
  for (const char* name : {"NotavelBrowseBtn", "ImportDiaryBtn", "ImportDiaryBox", "Label8", "ImportHolidaysBtn",
                           "ImportHolidaysBox", "Label9"})
    FindNamed<QWidget>(*this, name)->setEnabled(false);

  connect(useNotavelDiaryChk_, &QCheckBox::clicked, this, Guarded([this] { UseNotavelDiaryChkClick(); }));
  connect(internetSettingsBtn_, &QPushButton::clicked, this, Guarded([this] { InternetSettingsBtnClick(); }));
}

void TSpecialTab::ApplyTexts() {
  using L = TKVLanguageResource;
  ApplyCaptions(*this, {{"GroupBox7", &L::RSNotavelConnectivity},
                        {"UseNotavelDiaryChk", &L::RSUseNotavelDiaryandPasswordSettings},
                        {"GroupBox21", &L::RSImportfromotherKelVoroprogramsorfiles},
                        {"ImportDiaryBtn", &L::RSImportNotavelDiary},
                        {"Label8", &L::RSImportfromotherKelVoroprogramsorfilesLABEL1},
                        {"ImportHolidaysBtn", &L::RSImportHolidays},
                        {"Label9", &L::RSImportfromotherKelVoroprogramsorfilesLABEL2},
                        {"GroupBox20", &L::RSTroubleshootingChangeOnly},
                        {"InternetSettingsBtn", &L::RSInternetSettings},
                        {"NotavelBrowseBtn", &L::RSLocateNotavel}});
  const TKVLanguageResource& l = LanguageResource();
  SetCaption(*FindNamed<QLabel>(*this, "Label7"), l.RSUseNotavelDiaryandPasswordSettingsLABEL1 + QStringLiteral("\n") +
                                                      l.RSUseNotavelDiaryandPasswordSettingsLABEL2);
  for (const char* box : {"ImportDiaryBox", "ImportHolidaysBox"}) {
    auto* b = FindNamed<QComboBox>(*this, box);
    b->clear();
    b->addItems({l.RSAppend, l.RSReplace});
  }
}

void TSpecialTab::InitializePage() {
  {
    const QSignalBlocker quiet(useNotavelDiaryChk_);
    useNotavelDiaryChk_->setChecked(model_.Ini->NotavelDiary);
  }
  FindNamed<QComboBox>(*this, "ImportDiaryBox")->setCurrentIndex(0);
  FindNamed<QComboBox>(*this, "ImportHolidaysBox")->setCurrentIndex(0);
  ShowNotavelPath();
}

void TSpecialTab::ShowNotavelPath() {
  const int width = std::max(notavelPathLabel_->width(), 200);
  notavelPathLabel_->setText(MinimizePath(model_.Ini->NotavelPath, notavelPathLabel_->fontMetrics(), width));
  notavelPathLabel_->setToolTip(model_.Ini->NotavelPath);
}

void TSpecialTab::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ShowNotavelPath();
}

void TSpecialTab::UseNotavelDiaryChkClick() {
  const bool linked = useNotavelDiaryChk_->isChecked();
  if (linked == model_.Ini->NotavelDiary) return;
  if (!hooks_.SwitchDiary(linked)) {
    const QSignalBlocker quiet(useNotavelDiaryChk_);
    useNotavelDiaryChk_->setChecked(model_.Ini->NotavelDiary);
  }
}

void TSpecialTab::InternetSettingsBtnClick() {
  TDefInternetDialog dialog(window());
  if (dialog.Execute()) model_.Ini->SaveSettings();
}
