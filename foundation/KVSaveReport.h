#pragma once
// What one user command could not save, told once. A command that saves (OK, Exit, the start-up,
// the quick notes' OK) opens a TSaveReport; every saver below it adds its failures with
// ReportSaveFailure, and when the command ends they are told together in one box that names each
// file (or the folder that cannot be written at all) and the system's reason. Failures outside
// any report (the rotation tick, the preview's drawing) are only logged: the next command that
// saves meets them again and tells them.
#include <QList>
#include <QString>
#include <functional>
#include <memory>

struct TSaveFailure {
  QString FileName;
  // The system's text of why ("No space left on device"); empty when it is not known.
  QString Reason;
  // The file is made anew from what the program holds (the calendar picture, a thumbnail
  // cache): nothing of the user's is lost with it.
  bool Derived = false;
};

// The failures gathered for one command. Told when the last holder lets it go, unless they were
// taken: a save that finishes later keeps the collector (TSaveReport::Current) until it is done.
class TSaveFailures {
 public:
  // UserCommand: the failures answer a command the user just gave, so the box may take the
  // keyboard (unless keys were typed meanwhile); otherwise it never does.
  explicit TSaveFailures(bool UserCommand = true);
  ~TSaveFailures();
  TSaveFailures(const TSaveFailures&) = delete;
  TSaveFailures& operator=(const TSaveFailures&) = delete;

  // A file named twice is kept once, with the first reason known.
  void Add(const TSaveFailure& Failure);
  const QList<TSaveFailure>& Items() const { return items_; }
  // The failures so far; the collector then has nothing left to tell.
  QList<TSaveFailure> Take();

 private:
  QList<TSaveFailure> items_;
  bool userCommand_;
  quint64 keysAtStart_ = 0;
};

class TSaveReport {
 public:
  // Joins the report that is open on this thread, or opens a new one (see TSaveFailures).
  explicit TSaveReport(bool UserCommand = true);
  ~TSaveReport();
  TSaveReport(const TSaveReport&) = delete;
  TSaveReport& operator=(const TSaveReport&) = delete;

  // The open report's collector; nullptr outside any report.
  static std::shared_ptr<TSaveFailures> Current();
  // The file names gathered so far by the open report.
  static QStringList Pending();
  // The failures gathered so far, for a caller that tells them its own way (Exit asks).
  QList<TSaveFailure> Take() { return failures_->Take(); }
  bool Failed() const { return !failures_->Items().isEmpty(); }
  // Something of the user's could not be saved (not only derived files).
  bool Lost() const;

 private:
  std::shared_ptr<TSaveFailures> failures_;
  std::shared_ptr<TSaveFailures> outer_;
};

// Keeps Failures until the program's windows are on the screen where the window manager put
// them (at most a few seconds), then lets go, so that their box opens over its window.
void KeepUntilWindowsShown(std::shared_ptr<TSaveFailures> Failures);

// FileName could not be saved: added to the open report, or logged outside one.
void ReportSaveFailure(const QString& FileName, const QString& Reason = {}, bool Derived = false);
// The failures that lose something of the user's.
QList<TSaveFailure> LostFailures(const QList<TSaveFailure>& Failures);

// The folder to name when FileName cannot be saved because nothing can be written there: the
// highest folder above it that cannot be written, up to the home folder; empty when the file's
// folder can be written (the file itself failed: a full disk, a file in the way).
QString UnwritableFolder(const QString& FileName);

// The text that tells the failures: per folder that cannot be written "Nothing can be saved in
// <folder>.", per other reason "Cannot save <files>.", each followed by the reason ("Disk may be
// full or write protected!" when it is not known).
QString SaveFailureText(const QList<TSaveFailure>& Failures);

// Shows the failures in one box (nothing for none). The box takes the keyboard only when it
// answers the user's command and nothing was typed since the command began (KeysAtStart);
// otherwise it stays open beside what the user types in, without taking the keys.
void TellSaveFailures(const QList<TSaveFailure>& Failures, bool UserCommand, quint64 KeysAtStart);

// Key presses the program's windows received so far (counting starts at the first call).
quint64 KeyPressCount();
