#include "platform/KVOwnedProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr qint64 kOutputLimit = 64 * 1024;

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

TOwnedProcess::~TOwnedProcess() {
  Stop();
  CloseFd(outputFd_);
}

bool TOwnedProcess::Start(const QString& program, const QStringList& arguments, QString* error) {
  Stop();
  CloseFd(outputFd_);
  exitStatus_ = 0;
  auto fail = [&](const QString& what) {
    if (error) *error = what;
    return false;
  };

  // Everything the child needs is made before fork: after it only async-signal-safe calls.
  const QByteArray path = QFile::encodeName(program);
  std::vector<QByteArray> args{path};
  for (const QString& a : arguments) args.push_back(QFile::encodeName(a));
  std::vector<char*> argv;
  for (QByteArray& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  outputFd_ = ::memfd_create("kv-owned-output", MFD_CLOEXEC);
  if (outputFd_ < 0)
    return fail(QStringLiteral("no output file: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
  int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  int execPipe[2];
  if (nullFd < 0 || ::pipe2(execPipe, O_CLOEXEC) != 0) {
    const int e = errno;
    if (nullFd >= 0) ::close(nullFd);
    return fail(QString::fromLocal8Bit(std::strerror(e)));
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);  // the parent died before the signal was armed
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD}) ::sigaction(sig, &dfl, nullptr);
    ::dup2(nullFd, 0);
    ::dup2(outputFd_, 1);
    ::dup2(outputFd_, 2);
    // Descriptors that some library opened without close-on-exec stay with us.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    ::execv(argv[0], argv.data());
    const int e = errno;
    (void)!::write(execPipe[1], &e, sizeof e);
    ::_exit(127);
  }
  const int forkErrno = errno;
  ::close(nullFd);
  ::close(execPipe[1]);
  if (pid < 0) {
    ::close(execPipe[0]);
    return fail(QString::fromLocal8Bit(std::strerror(forkErrno)));
  }
  // The pipe closes on a successful exec; otherwise it carries the exec error.
  int execErrno = 0;
  ssize_t got;
  do got = ::read(execPipe[0], &execErrno, sizeof execErrno);
  while (got < 0 && errno == EINTR);
  ::close(execPipe[0]);
  if (got == sizeof execErrno) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return fail(QString::fromLocal8Bit(std::strerror(execErrno)));
  }
  pid_ = pid;
  return true;
}

void TOwnedProcess::Reaped(int status) {
  exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : 0;
  pid_ = 0;
}

bool TOwnedProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  const pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == 0) return true;
  if (r == pid_)
    Reaped(status);
  else
    pid_ = 0;  // reaped elsewhere: it is gone all the same
  return false;
}

QByteArray TOwnedProcess::Output() const {
  if (outputFd_ < 0) return {};
  struct stat st {};
  if (::fstat(outputFd_, &st) != 0) return {};
  QByteArray out(int(std::min<qint64>(st.st_size, kOutputLimit)), '\0');
  const ssize_t got = ::pread(outputFd_, out.data(), size_t(out.size()), 0);
  out.resize(got > 0 ? int(got) : 0);
  return out;
}

void TOwnedProcess::Stop(int graceMs) {
  if (!Running()) return;
  ::kill(pid_, SIGTERM);
  QElapsedTimer clock;
  clock.start();
  while (Running()) {
    if (clock.elapsed() >= graceMs) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      pid_t r;
      do r = ::waitpid(pid_, &status, 0);
      while (r < 0 && errno == EINTR);
      if (r == pid_)
        Reaped(status);
      else
        pid_ = 0;
      return;
    }
    ::usleep(2000);
  }
}
