#include "ui/printf.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "controls/KVPrint.h"
#include "foundation/KVForms.h"
#include "foundation/KVRes.h"
#include "foundation/KVSysUtils.h"

double ConvertMargin(double Value, bool ToInches) { return ToInches ? Value / 2.54 : Value * 2.54; }

QString FormatMargin(double Value) {
  const QChar point = QLocale().decimalPoint().at(0);
  if (!std::isfinite(Value) || std::fabs(Value) >= 1e15) return QString::number(Value, 'f', 2);
  // 15 significant digits as an integer and a power of ten: Value ~ digits * 10^(exp - 14).
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(Value));
  char* e = std::strchr(buf, 'e');
  if (!e) return QString::number(Value, 'f', 2);
  *e = 0;
  const int exp = std::atoi(e + 1);
  const long long digits = std::llround(std::strtod(buf, nullptr) * 1e14);
  // Hundredths: digits * 10^(exp - 12), halves rounded away from zero.
  long long cents = 0;
  const int shift = exp - 12;
  if (shift >= 0) {
    cents = digits;
    for (int i = 0; i < shift; ++i) cents *= 10;
  } else if (shift > -18) {
    long long div = 1;
    for (int i = 0; i < -shift; ++i) div *= 10;
    cents = digits / div;
    if ((digits % div) * 2 >= div) ++cents;
  }
  const bool negative = Value < 0 && cents != 0;
  return QStringLiteral("%1%2%3%4")
      .arg(negative ? QStringLiteral("-") : QString())
      .arg(cents / 100)
      .arg(point)
      .arg(int(cents % 100), 2, 10, QLatin1Char('0'));
}

std::optional<double> ParseMargin(const QString& Text) {
  const QString t = Text.trimmed();
  bool ok = false;
  double v = QLocale().toDouble(t, &ok);
  if (!ok) v = QLocale::c().toDouble(t, &ok);
  if (!ok || !std::isfinite(v) || v < 0) return std::nullopt;
  return v;
}

std::optional<std::array<QString, 4>> ConvertMarginTexts(const std::array<QString, 4>& Texts, bool ToInches) {
  std::array<QString, 4> out;
  for (size_t i = 0; i < Texts.size(); ++i) {
    const std::optional<double> v = ParseMargin(Texts[i]);
    if (!v) return std::nullopt;
    out[i] = FormatMargin(ConvertMargin(*v, ToInches));
  }
  return out;
}

QString PrinterDisplayName(const QPrinter& Printer) {
  if (!Printer.printerName().isEmpty()) return Printer.printerName();
  if (Printer.outputFormat() == QPrinter::PdfFormat && !Printer.outputFileName().isEmpty())
    return QFileInfo(Printer.outputFileName()).fileName();
  return LanguageResource().RSNoPrintersInstalled;
}

// ---------------------------------------------------------------------------------------------

TPrintForm::TPrintForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PrintForm"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  auto* groupBox2 = Named(new QGroupBox(this), "GroupBox2");
  label1_ = Named(new QLabel(groupBox2), "Label1");
  label1_->setWordWrap(true);
  button1_ = Named(new QPushButton(groupBox2), "Button1");
  auto* printerRow = new QHBoxLayout(groupBox2);
  printerRow->addWidget(label1_, 1);
  printerRow->addWidget(button1_, 0, Qt::AlignTop);

  foldersBox_ = Named(new QComboBox(this), "FoldersBox");
  mergeBox_ = Named(new QCheckBox(this), "MergeBox");

  auto* label6 = Named(new QLabel(this), "Label6");
  copiesEdit_ = Named(new QSpinBox(this), "CopiesEdit");
  copiesEdit_->setRange(1, 9999);
  label6->setBuddy(copiesEdit_);
  auto* copiesRow = new QHBoxLayout;
  copiesRow->addWidget(label6);
  copiesRow->addWidget(copiesEdit_);
  copiesRow->addStretch(1);

  auto* groupBox1 = Named(new QGroupBox(this), "GroupBox1");
  auto* margins = new QGridLayout(groupBox1);
  const auto marginRow = [&](const char* label, const char* edit, int row, int column) {
    auto* l = Named(new QLabel(groupBox1), label);
    auto* e = Named(new QLineEdit(groupBox1), edit);
    e->setMaximumWidth(70);
    l->setBuddy(e);
    margins->addWidget(l, row, column);
    margins->addWidget(e, row, column + 1);
    return e;
  };
  mlEdit_ = marginRow("Label2", "MLEdit", 0, 0);
  mrEdit_ = marginRow("Label3", "MREdit", 0, 2);
  mtEdit_ = marginRow("Label4", "MTEdit", 1, 0);
  mbEdit_ = marginRow("Label5", "MBEdit", 1, 2);
  measurmentBox_ = Named(new QComboBox(groupBox1), "MeasurmentBox");
  margins->addWidget(measurmentBox_, 2, 0, 1, 4);
  margins->setColumnStretch(1, 1);
  margins->setColumnStretch(3, 1);

  okBtn_ = Named(new QPushButton(this), "OKBtn");
  okBtn_->setDefault(true);
  cancelBtn_ = Named(new QPushButton(this), "CancelBtn");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okBtn_);
  buttons->addWidget(cancelBtn_);

  auto* form = new QVBoxLayout(this);
  form->addWidget(groupBox2);
  form->addWidget(foldersBox_);
  form->addWidget(mergeBox_);
  form->addLayout(copiesRow);
  form->addWidget(groupBox1);
  form->addStretch(1);
  form->addLayout(buttons);
  setMinimumSize(264, 291);
  form->setSizeConstraint(QLayout::SetFixedSize);

  // FormCreate: texts from the language table, then the start values.
  const TKVLanguageResource& lang = LanguageResource();
  ApplyCaptions(*this, {{"PrintForm", &TKVLanguageResource::RSPrint},
                        {"OKBtn", &TKVLanguageResource::RSPrint},
                        {"Button1", &TKVLanguageResource::RSPrinterSetup},
                        {"CancelBtn", &TKVLanguageResource::RSCancel},
                        {"GroupBox2", &TKVLanguageResource::RSSelectedPrinter, ":"},
                        {"GroupBox1", &TKVLanguageResource::RSMargins, ":"},
                        {"Label2", &TKVLanguageResource::RSLeft, ":"},
                        {"Label3", &TKVLanguageResource::RSRight, ":"},
                        {"Label4", &TKVLanguageResource::RSTop, ":"},
                        {"Label5", &TKVLanguageResource::RSBottom, ":"},
                        {"Label6", &TKVLanguageResource::RSNumberOfCopies, ":"},
                        {"MergeBox", &TKVLanguageResource::RSEnablemultiplenotesoneachpage}});
  foldersBox_->addItems({lang.RSPrintcurrententryonly, lang.RSPrintcontentofallentries, lang.RSPrintselectedfoundsetonly});
  measurmentBox_->addItems({lang.RSInches, lang.RSCentimeters});
  ShowValues();

  connect(button1_, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
  connect(okBtn_, &QPushButton::clicked, this, Guarded([this] { OKBtnClick(); }));
  connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
  connect(measurmentBox_, &QComboBox::activated, this, Guarded([this] { MeasurmentBoxChange(); }));
}

std::array<QLineEdit*, 4> TPrintForm::MarginEdits() const { return {mlEdit_, mtEdit_, mrEdit_, mbEdit_}; }

void TPrintForm::ShowValues() {
  const std::array<double, 4> values{LeftMargin, TopMargin, RightMargin, BottomMargin};
  const std::array<QLineEdit*, 4> edits = MarginEdits();
  for (size_t i = 0; i < edits.size(); ++i) edits[i]->setText(FormatMargin(values[i]));
  copiesEdit_->setValue(Copies);
  foldersBox_->setCurrentIndex(Scope == 3 ? 2 : Scope == 1 ? 1 : 0);
  measurmentBox_->setCurrentIndex(InInches ? 0 : 1);
  shownInInches_ = InInches;
  mergeBox_->setChecked(Merge);
}

bool TPrintForm::Execute(bool ScopeChoices) {
  // Each use starts from the values last confirmed: what a cancelled use typed is gone.
  ShowValues();
  foldersBox_->setVisible(ScopeChoices);
  mergeBox_->setVisible(ScopeChoices);
  FormShow();
  return ExecDialog(*this) == QDialog::Accepted;
}

void TPrintForm::FormShow() { label1_->setText(PrinterDisplayName(Printer())); }

void TPrintForm::Button1Click() {
  QPrintDialog setup(&Printer(), this);
  setup.setObjectName(QStringLiteral("PrinterSetupDialog"));
  setup.setOptions(QAbstractPrintDialog::PrintToFile);
  if (ExecDialog(setup) == QDialog::Accepted) FormShow();
}

void TPrintForm::OKBtnClick() {
  const std::array<QLineEdit*, 4> edits = MarginEdits();
  std::array<double, 4> values{};
  for (size_t i = 0; i < edits.size(); ++i) {
    const std::optional<double> v = ParseMargin(edits[i]->text());
    if (!v) {
      KVMessageBox(LanguageResource().RSInvalidMarginFormat, QString(), 0, 0, ButtonsOK);
      edits[i]->setFocus();
      edits[i]->selectAll();
      return;
    }
    values[i] = *v;
  }
  LeftMargin = values[0];
  TopMargin = values[1];
  RightMargin = values[2];
  BottomMargin = values[3];
  Copies = copiesEdit_->value();
  const int scope = foldersBox_->currentIndex();
  Scope = scope == 1 ? 1 : scope == 2 ? 3 : 0;
  Merge = mergeBox_->isChecked();
  InInches = measurmentBox_->currentIndex() == 0;
  accept();
}

void TPrintForm::MeasurmentBoxChange() {
  const bool toInches = measurmentBox_->currentIndex() == 0;
  if (toInches == shownInInches_) return;
  const std::array<QLineEdit*, 4> edits = MarginEdits();
  const auto converted =
      ConvertMarginTexts({edits[0]->text(), edits[1]->text(), edits[2]->text(), edits[3]->text()}, toInches);
  if (!converted) {
    KVMessageBox(LanguageResource().RSInvalidMarginFormat, QString(), 0, 0, ButtonsOK);
    // The edits still hold values in the old unit: the box says so again.
    measurmentBox_->setCurrentIndex(shownInInches_ ? 0 : 1);
    return;
  }
  for (size_t i = 0; i < edits.size(); ++i) edits[i]->setText((*converted)[i]);
  shownInInches_ = toInches;
}
