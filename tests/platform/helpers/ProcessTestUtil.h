#pragma once
// Child processes for tests that need the real thing: a private X server, a private session
// bus, a tray, and test programs whose stdout lines are waited for.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>
#include <memory>

#include "tests/common/SkipMissing.h"

namespace kvtest {

// A started program whose output is read line by line.
class TChild {
 public:
  TChild() = default;
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;
  ~TChild() { Stop(); }

  bool Start(const QString& program, const QStringList& args,
             const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    process_ = std::make_unique<QProcess>();
    process_->setProcessEnvironment(env);
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->start(program, args);
    return process_->waitForStarted(5000);
  }
  qint64 Pid() const { return process_ ? process_->processId() : 0; }
  void Write(const QByteArray& line) {
    process_->write(line + '\n');
    process_->waitForBytesWritten(1000);
  }
  // Waits for a line that starts with prefix (lines before it are kept in Lines()).
  QString WaitForLine(const QString& prefix, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
      for (; next_ < lines_.size(); ++next_)
        if (lines_[next_].startsWith(prefix)) return lines_[next_++];
      if (deadline.hasExpired() || !process_) return {};
      if (process_->state() == QProcess::NotRunning) {
        if (!ReadLines()) return {};
        continue;
      }
      process_->waitForReadyRead(int(qMin<qint64>(200, qMax<qint64>(1, deadline.remainingTime()))));
      ReadLines();
    }
  }
  // True when a line with the prefix came (now or within timeoutMs), without moving past lines.
  bool Saw(const QString& prefix, int timeoutMs = 0) {
    QDeadlineTimer deadline(timeoutMs);
    do {
      ReadLines();
      for (const QString& line : lines_)
        if (line.startsWith(prefix)) return true;
      if (process_ && process_->state() != QProcess::NotRunning) process_->waitForReadyRead(50);
      else QThread::msleep(20);
    } while (!deadline.hasExpired());
    return false;
  }
  QStringList Lines() {
    ReadLines();
    return lines_;
  }
  QString Errors() { return process_ ? QString::fromUtf8(process_->readAllStandardError()) : QString(); }
  bool WaitForExit(int timeoutMs) {
    if (!process_) return true;
    const bool done = process_->waitForFinished(timeoutMs);
    ReadLines();
    return done || process_->state() == QProcess::NotRunning;
  }
  int ExitCode() const { return process_->exitCode(); }
  bool CrashedOrKilled() const { return process_->exitStatus() == QProcess::CrashExit; }
  void Kill() {
    if (process_ && process_->state() != QProcess::NotRunning) {
      process_->kill();
      process_->waitForFinished(5000);
    }
  }
  void Stop() {
    if (process_ && process_->state() != QProcess::NotRunning) {
      process_->terminate();
      if (!process_->waitForFinished(3000)) Kill();
    }
  }

 private:
  bool ReadLines() {
    if (!process_) return false;
    partial_ += process_->readAllStandardOutput();
    bool any = false;
    int end;
    while ((end = partial_.indexOf('\n')) >= 0) {
      lines_ << QString::fromUtf8(partial_.left(end));
      partial_.remove(0, end + 1);
      any = true;
    }
    return any;
  }

  std::unique_ptr<QProcess> process_;
  QByteArray partial_;
  QStringList lines_;
  qsizetype next_ = 0;
};

// An X server of the test's own (it picks a free display number), so that trays and windows of
// one test never meet those of another.
class TPrivateXServer {
 public:
  bool Start(const QString& size = QStringLiteral("800x600x24")) {
    if (!x_.Start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                          QStringLiteral("0"), size, QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                          QStringLiteral("-noreset")}))
      return false;
    const QString number = x_.WaitForLine(QString(), 10000).trimmed();
    if (number.isEmpty()) return false;
    display_ = QLatin1Char(':') + number;
    return true;
  }
  QString Display() const { return display_; }

 private:
  TChild x_;
  QString display_;
};

// A session bus of the test's own.
class TPrivateSessionBus {
 public:
  bool Start() {
    if (!bus_.Start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")}))
      return false;
    address_ = bus_.WaitForLine(QStringLiteral("unix:"), 10000).trimmed();
    return !address_.isEmpty();
  }
  QString Address() const { return address_; }

 private:
  TChild bus_;
  QString address_;
};

// The environment of a program drawn on display, on bus (when given), through xcb.
inline QProcessEnvironment DesktopEnvironment(const QString& display, const QString& bus = QString()) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), display);
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  if (bus.isEmpty())
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
  else
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
  return env;
}

}  // namespace kvtest
