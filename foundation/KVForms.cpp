#include "foundation/KVForms.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <algorithm>
#include <exception>

#include "foundation/KVException.h"
#include "foundation/KVSysUtils.h"

TKVErrorPolicy& ErrorPolicy() {
  static TKVErrorPolicy policy{
      [](const QString& message) {
        KVMessageBox(message, QString(), IDI_ERROR_ICON, 0, ButtonsOK);
      },
      [] { return true; },
      [] { QCoreApplication::exit(1); },
  };
  return policy;
}

namespace {

void Report(const QString& message) {
  TKVErrorPolicy& p = ErrorPolicy();
  // Showing the error must not throw out of the handler either.
  try {
    if (p.ShowException) p.ShowException(message);
  } catch (...) {
    qWarning("%s", qPrintable(message));
  }
  if (p.KeepRunning && !p.KeepRunning() && p.Terminate) p.Terminate();
}

}  // namespace

bool RunGuarded(const std::function<void()>& Handler) {
  try {
    Handler();
    return true;
  } catch (const EKVError& e) {
    Report(e.Message());
  } catch (const std::exception& e) {
    Report(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    Report(QStringLiteral("Unknown error"));
  }
  return false;
}

QAction* NewAction(QObject* Owner, const char* Name, const QString& Caption, std::function<void()> Run) {
  auto* a = new QAction(MnemonicText(Caption), Owner);
  a->setObjectName(QLatin1String(Name));
  QObject::connect(a, &QAction::triggered, a, Guarded(std::move(Run)));
  return a;
}

void BindButton(QAbstractButton* Button, QAction* Action) {
  const auto sync = [Button, Action] {
    Button->setText(Action->text());
    Button->setEnabled(Action->isEnabled());
    Button->setVisible(Action->isVisible());
    if (Action->isCheckable()) {
      Button->setCheckable(true);
      Button->setChecked(Action->isChecked());
    }
  };
  sync();
  QObject::connect(Action, &QAction::changed, Button, sync);
  QObject::connect(Button, &QAbstractButton::clicked, Action, [Action] { Action->trigger(); });
}

namespace {

// "&" marks the next character as the mnemonic only before a letter or digit; "&&" is one "&";
// any other "&" ("Diary & Quick Notes") is the character itself.
bool MarksMnemonic(const QString& Text, qsizetype i) {
  return Text[i] == QLatin1Char('&') && i + 1 < Text.size() &&
         (Text[i + 1] == QLatin1Char('&') || Text[i + 1].isLetterOrNumber());
}

}  // namespace

QString StripMnemonics(const QString& Text) {
  QString out;
  out.reserve(Text.size());
  for (qsizetype i = 0; i < Text.size(); ++i) {
    if (MarksMnemonic(Text, i)) ++i;
    out += Text[i];
  }
  return out;
}

QString MnemonicText(const QString& Text) {
  QString out;
  out.reserve(Text.size() + 2);
  for (qsizetype i = 0; i < Text.size(); ++i) {
    if (MarksMnemonic(Text, i)) {
      out += Text[i];
      out += Text[++i];
    } else {
      // Qt would take a lone "&" as a marker and hide it.
      if (Text[i] == QLatin1Char('&')) out += QLatin1Char('&');
      out += Text[i];
    }
  }
  return out;
}

void SetCaption(QObject& Control, const QString& Text) {
  if (auto* b = qobject_cast<QAbstractButton*>(&Control)) b->setText(MnemonicText(Text));
  else if (auto* l = qobject_cast<QLabel*>(&Control)) {
    // Qt shows a label's "&" literally unless it has a buddy: drop the mnemonic markers there.
    l->setText(l->buddy() ? MnemonicText(Text) : StripMnemonics(Text));
  } else if (auto* g = qobject_cast<QGroupBox*>(&Control)) g->setTitle(MnemonicText(Text));
  else if (auto* a = qobject_cast<QAction*>(&Control)) a->setText(MnemonicText(Text));
  else if (auto* e = qobject_cast<QLineEdit*>(&Control)) e->setPlaceholderText(StripMnemonics(Text));
  else if (auto* w = qobject_cast<QWidget*>(&Control)) w->setWindowTitle(StripMnemonics(Text));
  else throw EKVError(QStringLiteral("No caption for %1").arg(Control.objectName()));
}

void ApplyCaptions(QObject& Root, std::initializer_list<TCaption> Captions) {
  const TKVLanguageResource& lang = LanguageResource();
  for (const TCaption& c : Captions) {
    const QString name = QLatin1String(c.Control);
    QObject* control = Root.objectName() == name ? &Root : Root.findChild<QObject*>(name);
    if (!control) throw EKVError(QStringLiteral("No control named %1").arg(name));
    SetCaption(*control, lang.*(c.Text) + QLatin1String(c.Suffix));
  }
}

TDialogRunner& DialogRunner() {
  static TDialogRunner runner = [](QDialog& d) { return d.exec(); };
  return runner;
}

int ExecDialog(QDialog& Dialog) { return DialogRunner()(Dialog); }

void FitFileDialogColumns(QFileDialog& Dialog) {
  auto* tree = Dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  auto* model = Dialog.findChild<QFileSystemModel*>();
  if (!tree || !model) return;
  // Qt sizes the columns once for short sample texts; each folder shown widens them to what it
  // holds, never narrowing what the user widened. Sizes and dates arrive after the names, so every
  // update is fitted again, once per turn of the event loop.
  auto* fit = new QTimer(tree);
  fit->setSingleShot(true);
  fit->setInterval(0);
  QObject::connect(fit, &QTimer::timeout, tree, [tree] {
    QHeaderView* header = tree->header();
    for (int column = 1; column < header->count(); ++column) {
      const int before = header->sectionSize(column);
      tree->resizeColumnToContents(column);
      if (header->sectionSize(column) < before) header->resizeSection(column, before);
    }
  });
  const auto later = [fit] { fit->start(); };
  QObject::connect(model, &QFileSystemModel::directoryLoaded, fit, later);
  QObject::connect(model, &QAbstractItemModel::dataChanged, fit, later);
  QObject::connect(model, &QAbstractItemModel::rowsInserted, fit, later);
}

namespace {

QStringList RunFileDialog(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                          QFileDialog::FileMode mode, QString* selectedFilter = nullptr) {
  QFileDialog dialog(parent, caption, dir, filter);
  dialog.setFileMode(mode);
  if (mode == QFileDialog::AnyFile) dialog.setAcceptMode(QFileDialog::AcceptSave);
  if (selectedFilter && !selectedFilter->isEmpty()) dialog.selectNameFilter(*selectedFilter);
  FitFileDialogColumns(dialog);
  if (dialog.exec() != QDialog::Accepted) return {};
  if (selectedFilter) *selectedFilter = dialog.selectedNameFilter();
  return dialog.selectedFiles();
}

}  // namespace

TFileDialogs& FileDialogs() {
  static TFileDialogs d{
      [](QWidget* parent, const QString& caption, const QString& dir, const QString& filter) {
        return RunFileDialog(parent, caption, dir, filter, QFileDialog::ExistingFile).value(0);
      },
      [](QWidget* parent, const QString& caption, const QString& dir, const QString& filter) {
        return RunFileDialog(parent, caption, dir, filter, QFileDialog::ExistingFiles);
      },
      [](QWidget* parent, const QString& caption, const QString& dir, const QString& filter) {
        return RunFileDialog(parent, caption, dir, filter, QFileDialog::AnyFile).value(0);
      },
      [](QWidget* parent, const QString& caption, const QString& dir, const QString& filter, QString* selected) {
        return RunFileDialog(parent, caption, dir, filter, QFileDialog::ExistingFiles, selected);
      },
  };
  return d;
}
