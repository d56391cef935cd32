#pragma once
// A program that runs in the background for as long as its owner lives: it is stopped when the
// owner is destroyed and, through the parent-death signal, when this process dies first. What it
// writes to its standard output and error is kept in an anonymous in-memory file.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>

class TOwnedProcess {
 public:
  TOwnedProcess() = default;
  ~TOwnedProcess();
  TOwnedProcess(const TOwnedProcess&) = delete;
  TOwnedProcess& operator=(const TOwnedProcess&) = delete;

  // Starts the program (a path, not looked up on the PATH) with its arguments; false with
  // *error set when it cannot be started. The parent-death signal goes with the calling thread:
  // call this from a thread that lives as long as the program, as the user-interface thread does.
  bool Start(const QString& program, const QStringList& arguments, QString* error);

  // False once it has ended (it is reaped then) or when it never started.
  bool Running();
  // How it ended: its exit code, or minus the number of the signal that ended it.
  int ExitStatus() const { return exitStatus_; }
  // What it has written so far (the first 64 KiB).
  QByteArray Output() const;
  // Asks it to end (SIGTERM); after graceMs it is killed. Waits until it is gone.
  void Stop(int graceMs = 1000);
  pid_t Pid() const { return pid_; }

 private:
  void Reaped(int status);

  pid_t pid_ = 0;
  int outputFd_ = -1;
  int exitStatus_ = 0;
};
