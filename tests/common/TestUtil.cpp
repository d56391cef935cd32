#include "tests/common/TestUtil.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace kvtest {

static QTemporaryDir* g_root = nullptr;

void IsolateUserFolders() {
  if (g_root) return;
  g_root = new QTemporaryDir();
  const QString root = g_root->path();
  for (const char* sub : {"home", "config", "data", "cache", "runtime", "exe", "tmp"})
    QDir(root).mkpath(sub);
  QFile::setPermissions(root + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("HOME", (root + "/home").toUtf8());
  qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
  qputenv("XDG_DATA_HOME", (root + "/data").toUtf8());
  qputenv("XDG_CACHE_HOME", (root + "/cache").toUtf8());
  qputenv("XDG_RUNTIME_DIR", (root + "/runtime").toUtf8());
  qputenv("TMPDIR", (root + "/tmp").toUtf8());
  qputenv("KV_PROGRAM_DIR", (root + "/exe").toUtf8());
}

void RemoveUserFolders() {
  delete g_root;
  g_root = nullptr;
}

QString TestRoot() { return g_root ? g_root->path() : QString(); }

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
  return f.readAll();
}

QString FileStamp(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return QStringLiteral("missing");
  return QStringLiteral("%1@%2.%3").arg(st.st_ino).arg(st.st_mtim.tv_sec).arg(st.st_mtim.tv_nsec);
}

QStringList FileStamps(const QStringList& paths) {
  QStringList stamps;
  for (const QString& p : paths) stamps << FileStamp(p);
  return stamps;
}

void WriteFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw std::runtime_error("cannot write " + path.toStdString());
  f.write(data);
}

FullDisk::FullDisk(qint64 bytes) {
  oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
  getrlimit(RLIMIT_FSIZE, &old_);
  rlimit r = old_;
  r.rlim_cur = rlim_t(bytes);
  if (setrlimit(RLIMIT_FSIZE, &r) != 0) throw std::runtime_error("cannot set the file-size limit");
}

FullDisk::~FullDisk() {
  setrlimit(RLIMIT_FSIZE, &old_);
  std::signal(SIGXFSZ, oldHandler_);
}

QStringList FolderEntries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

namespace {

// A line of /proc/self/status ("VmPeak:  1234 kB") in bytes.
qint64 StatusBytes(const QByteArray& status, const char* name) {
  const QByteArray key = QByteArray(name) + ':';
  for (const QByteArray& line : status.split('\n'))
    if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').first().toLongLong() * 1024;
  return -1;
}

QByteArray Status() {
  QFile f(QStringLiteral("/proc/self/status"));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

PeakGrowth MeasurePeakGrowth(const std::function<void()>& work) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return {};
  }
  if (pid == 0) {
    close(fds[0]);
    // The resident peak starts again from what the child holds now.
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", f);
      std::fclose(f);
    }
    const QByteArray before = Status();
    try {
      work();
    } catch (...) {
    }
    const QByteArray after = Status();
    const qint64 r[2] = {StatusBytes(after, "VmPeak") - StatusBytes(before, "VmSize"),
                         StatusBytes(after, "VmHWM") - StatusBytes(before, "VmRSS")};
    const bool sent = write(fds[1], r, sizeof r) == sizeof r;
    _exit(sent ? 0 : 1);
  }
  close(fds[1]);
  qint64 r[2] = {-1, -1};
  const bool got = read(fds[0], r, sizeof r) == sizeof r;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return {r[0], r[1]};
}

}  // namespace kvtest
