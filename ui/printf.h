#pragma once
// The print options dialog: scope, merging, copies, the four page margins with their unit, and
// the printer. The quick-notes window and the diary share one instance; the chosen values stay in
// public fields between uses and change only when the user presses Print.
#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QSpinBox;

// ---- margin arithmetic (the edits show values with two decimals)

// A margin in the other unit: centimetres to inches (ToInches) or inches to centimetres.
double ConvertMargin(double Value, bool ToInches);
// Fixed with two decimals, in the locale's decimal point: the value is first taken to 15
// significant digits, then rounded with halves away from zero (1.25 in gives "3.18" cm).
QString FormatMargin(double Value);
// A typed margin: a finite number, not below zero, in the locale's or the C form; nullopt otherwise.
std::optional<double> ParseMargin(const QString& Text);
// The four margin texts shown in the other unit; nullopt when one of them is not a margin.
std::optional<std::array<QString, 4>> ConvertMarginTexts(const std::array<QString, 4>& Texts, bool ToInches);
// The printer as the dialog names it: its name, the file a PDF printer writes, or
// "No printers installed".
QString PrinterDisplayName(const QPrinter& Printer);

class TPrintForm : public QDialog {
  Q_OBJECT
 public:
  explicit TPrintForm(QWidget* parent = nullptr);

  // The chosen values, read by the printing callers after Execute returned true.
  int Copies = 1;
  double LeftMargin = 1.25;
  double TopMargin = 1.0;
  double RightMargin = 0.75;
  double BottomMargin = 1.0;
  bool InInches = true;   // unit of the four margins; false: centimetres
  bool Merge = true;      // several notes share a page
  std::uint8_t Scope = 0; // 0 current entry, 1 all entries, 3 the found set

  // Shows the dialog modally with the fields' values; the scope and merge boxes are shown only
  // when the caller prints a set of entries (ScopeChoices). True when the user pressed Print.
  bool Execute(bool ScopeChoices);

 private:
  void ShowValues();
  void FormShow();
  void Button1Click();
  void OKBtnClick();
  void MeasurmentBoxChange();
  std::array<QLineEdit*, 4> MarginEdits() const;

  QPushButton* button1_;
  QComboBox* foldersBox_;
  QCheckBox* mergeBox_;
  QPushButton* okBtn_;
  QPushButton* cancelBtn_;
  QSpinBox* copiesEdit_;
  QLineEdit* mlEdit_;
  QLineEdit* mrEdit_;
  QLineEdit* mtEdit_;
  QLineEdit* mbEdit_;
  QComboBox* measurmentBox_;
  QLabel* label1_;
  // The unit the margin edits show now; InInches changes only on Print.
  bool shownInInches_ = true;
};
