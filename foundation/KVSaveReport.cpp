#include "foundation/KVSaveReport.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <QWidget>
#include <utility>

#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"

namespace {

// The collector of the report open on the user-interface thread.
std::weak_ptr<TSaveFailures>& OpenReport() {
  static std::weak_ptr<TSaveFailures> open;
  return open;
}

class TKeyCounter : public QObject {
 public:
  quint64 count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    // A key event passes the filter once per receiver on its way up: the first receiver, the
    // focused widget, counts it.
    if (e->type() == QEvent::KeyPress && watched->isWidgetType()) {
      QWidget* focus = QApplication::focusWidget();
      if (watched == focus || (!focus && static_cast<QWidget*>(watched)->isWindow())) ++count;
    }
    return false;
  }
};

TKeyCounter* Counter() {
  static QPointer<TKeyCounter> counter;
  if (!counter && QCoreApplication::instance()) {
    counter = new TKeyCounter;
    counter->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(counter);
  }
  return counter;
}

bool Writable(const QString& Folder) { return IsDirWritable(Folder); }

}  // namespace

quint64 KeyPressCount() {
  TKeyCounter* c = Counter();
  return c ? c->count : 0;
}

// ---------------------------------------------------------------------------------------------

TSaveFailures::TSaveFailures(bool UserCommand) : userCommand_(UserCommand), keysAtStart_(KeyPressCount()) {}

TSaveFailures::~TSaveFailures() {
  if (items_.isEmpty()) return;
  try {
    TellSaveFailures(items_, userCommand_, keysAtStart_);
  } catch (...) {
    qWarning("%s", qUtf8Printable(SaveFailureText(items_)));
  }
}

void TSaveFailures::Add(const TSaveFailure& Failure) {
  for (TSaveFailure& f : items_)
    if (f.FileName == Failure.FileName) {
      if (f.Reason.isEmpty()) f.Reason = Failure.Reason;
      return;
    }
  items_.append(Failure);
}

QList<TSaveFailure> TSaveFailures::Take() { return std::exchange(items_, {}); }

TSaveReport::TSaveReport(bool UserCommand) : outer_(OpenReport().lock()) {
  failures_ = outer_ ? outer_ : std::make_shared<TSaveFailures>(UserCommand);
  if (!outer_) OpenReport() = failures_;
}

TSaveReport::~TSaveReport() {
  if (!outer_) OpenReport().reset();
}

std::shared_ptr<TSaveFailures> TSaveReport::Current() { return OpenReport().lock(); }

QStringList TSaveReport::Pending() {
  QStringList files;
  if (const auto open = Current())
    for (const TSaveFailure& f : open->Items()) files << f.FileName;
  return files;
}

bool TSaveReport::Lost() const { return !LostFailures(failures_->Items()).isEmpty(); }

QList<TSaveFailure> LostFailures(const QList<TSaveFailure>& Failures) {
  QList<TSaveFailure> lost;
  for (const TSaveFailure& f : Failures)
    if (!f.Derived) lost << f;
  return lost;
}

void KeepUntilWindowsShown(std::shared_ptr<TSaveFailures> Failures) {
  if (!Failures || !QCoreApplication::instance()) return;
  const auto shown = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && (!w->windowHandle() || !w->windowHandle()->isExposed())) return false;
    return true;
  };
  auto* timer = new QTimer(QCoreApplication::instance());
  timer->setInterval(50);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, shown, Failures, waited = 0]() mutable {
    waited += timer->interval();
    if (!shown() && waited < 3000) return;
    timer->stop();
    timer->deleteLater();
    // One more turn of the loop: the frame's place arrives with the exposure.
    QTimer::singleShot(0, [Failures = std::move(Failures)]() mutable { Failures.reset(); });
  });
  timer->start();
}

void ReportSaveFailure(const QString& FileName, const QString& Reason, bool Derived) {
  if (const auto open = TSaveReport::Current()) {
    open->Add({FileName, Reason, Derived});
    return;
  }
  qWarning("Cannot save %s: %s", qUtf8Printable(FileName), qUtf8Printable(Reason));
}

// ---------------------------------------------------------------------------------------------

QString UnwritableFolder(const QString& FileName) {
  QString folder = QFileInfo(FileName).absolutePath();
  while (!QFileInfo(folder).isDir()) {
    const QString up = QFileInfo(folder).absolutePath();
    if (up == folder) return {};
    folder = up;
  }
  if (Writable(folder)) return {};
  // Up to the highest folder that cannot be written either, but not past the home folder.
  const QString home = QDir::cleanPath(QDir::homePath());
  for (;;) {
    if (QDir::cleanPath(folder) == home) break;
    const QString up = QFileInfo(folder).absolutePath();
    if (up == folder || up == QLatin1String("/") || Writable(up)) break;
    folder = up;
  }
  return QDir::toNativeSeparators(folder);
}

QString SaveFailureText(const QList<TSaveFailure>& Failures) {
  const TKVLanguageResource& l = LanguageResource();
  // Groups in the order their first failure came: a folder that cannot be written, or a reason.
  struct TGroup {
    QString Folder, Reason;
    QStringList Files;
  };
  QList<TGroup> groups;
  for (const TSaveFailure& f : Failures) {
    const QString folder = UnwritableFolder(f.FileName);
    TGroup* group = nullptr;
    for (TGroup& g : groups)
      if (folder.isEmpty() ? g.Folder.isEmpty() && g.Reason == f.Reason : g.Folder == folder) group = &g;
    if (!group) {
      groups.append({folder, f.Reason, {}});
      group = &groups.last();
    }
    if (group->Reason.isEmpty()) group->Reason = f.Reason;
    group->Files << QDir::toNativeSeparators(f.FileName);
  }
  QStringList parts;
  for (const TGroup& g : std::as_const(groups)) {
    const QString what = g.Folder.isEmpty() ? Format(l.RSCannotSave, {g.Files.join(QStringLiteral(", "))})
                                            : Format(l.RSCannotSaveIn, {g.Folder});
    parts << what + QLatin1Char('\n') + (g.Reason.isEmpty() ? l.RSDiskFull : g.Reason);
  }
  return parts.join(QStringLiteral("\n\n"));
}

void TellSaveFailures(const QList<TSaveFailure>& Failures, bool UserCommand, quint64 KeysAtStart) {
  if (Failures.isEmpty()) return;
  const QString text = SaveFailureText(Failures);
  qWarning("%s", qUtf8Printable(text));
  // No box once the program is ending: the log has it.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()) || QCoreApplication::closingDown()) return;
  if (UserCommand && KeyPressCount() == KeysAtStart) {
    KVMessageBox(text, QString(), IDI_ERROR_ICON, 0, ButtonsOK);
    return;
  }
  KVNotice(text, QString(), IDI_ERROR_ICON);
}
