#include "platform/KVInstance.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <cstring>
#include <exception>

namespace {

QString ErrnoText(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

QString SafeName(const QString& Title) {
  QString name;
  for (const QChar c : Title) {
    const bool keep = c.unicode() < 128 && (c.isLetterOrNumber() || c == QLatin1Char('.') ||
                                            c == QLatin1Char('-') || c == QLatin1Char('_'));
    name += keep ? c : QLatin1Char('_');
  }
  name.truncate(48);
  const QByteArray hash = QCryptographicHash::hash(Title.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
  return name + QLatin1Char('-') + QString::fromLatin1(hash);
}

// A message line is short; anything longer is not one of ours.
constexpr qint64 kMaxLine = 64;
// A client that connects and says nothing is dropped after this.
constexpr int kSilentClientMs = 5000;

}  // namespace

QString InstanceRuntimeFolder(QString* Error) {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return QDir::cleanPath(runtime);
  const QString folder = QDir::tempPath() + QStringLiteral("/kv-runtime-") + QString::number(::getuid());
  const QByteArray native = QFile::encodeName(folder);
  if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
    if (Error) *Error = QStringLiteral("cannot create %1: %2").arg(folder, ErrnoText(errno));
    return {};
  }
  struct stat st {};
  if (::lstat(native.constData(), &st) != 0) {
    if (Error) *Error = QStringLiteral("cannot read %1: %2").arg(folder, ErrnoText(errno));
    return {};
  }
  // Someone else's folder, or one others may enter, could hold a planted lock or socket.
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
    if (Error) *Error = QStringLiteral("%1 is not a private folder of this user").arg(folder);
    return {};
  }
  return folder;
}

QString InstanceLockPath(const QString& Title) {
  const QString folder = InstanceRuntimeFolder();
  return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + SafeName(Title) + QStringLiteral(".lock");
}

QString InstanceSocketPath(const QString& Title) {
  const QString folder = InstanceRuntimeFolder();
  return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + SafeName(Title) + QStringLiteral(".sock");
}

// ---------------------------------------------------------------------------------------------

TKVInstanceLock::TKVInstanceLock(const QString& Title) : title_(Title) {}

TKVInstanceLock::~TKVInstanceLock() { Release(); }

bool TKVInstanceLock::TryLock() {
  if (fd_ >= 0) return true;
  error_.clear();
  QString why;
  if (InstanceRuntimeFolder(&why).isEmpty()) {
    error_ = why;
    return false;
  }
  const QString path = InstanceLockPath(title_);
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error_ = QStringLiteral("cannot open %1: %2").arg(path, ErrnoText(errno));
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    fd_ = fd;
    return true;
  }
  const int e = errno;
  ::close(fd);
  if (e != EWOULDBLOCK) error_ = QStringLiteral("cannot lock %1: %2").arg(path, ErrnoText(e));
  return false;
}

void TKVInstanceLock::Release() {
  if (fd_ < 0) return;
  // The file stays: removing it would let a starting copy lock a new file while a third still
  // waits on the old one.
  ::close(fd_);
  fd_ = -1;
}

bool InstanceRunning(const QString& Title) {
  const QString path = InstanceLockPath(Title);
  if (path.isEmpty()) return false;
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool running = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return running;
}

// ---------------------------------------------------------------------------------------------

struct TKVInstanceServer::TPending {
  QPointer<QLocalSocket> socket;
  QString message;
};

TKVInstanceServer::TKVInstanceServer(const QString& Title, QObject* parent)
    : QObject(parent), path_(InstanceSocketPath(Title)) {}

TKVInstanceServer::~TKVInstanceServer() {
  // Closing removes the socket file.
  if (server_) server_->close();
}

bool TKVInstanceServer::Listen() {
  if (IsListening()) return true;
  if (path_.isEmpty()) {
    InstanceRuntimeFolder(&error_);
    return false;
  }
  if (!server_) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &TKVInstanceServer::Accept);
  }
  // Whatever is at the path was left by a copy that ended without closing it: the caller
  // holds the lock, so no live copy listens there.
  QLocalServer::removeServer(path_);
  if (!server_->listen(path_)) {
    error_ = server_->errorString();
    return false;
  }
  error_.clear();
  return true;
}

bool TKVInstanceServer::IsListening() const { return server_ && server_->isListening(); }

void TKVInstanceServer::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    struct ucred cred {};
    socklen_t len = sizeof cred;
    if (::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 ||
        cred.uid != ::getuid()) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
    QTimer::singleShot(kSilentClientMs, socket, [socket] {
      if (!socket->property("kvHeard").toBool()) socket->abort();
    });
    if (socket->bytesAvailable() > 0) Read(socket);
  }
}

void TKVInstanceServer::Read(QLocalSocket* socket) {
  if (socket->property("kvHeard").toBool()) {
    socket->readAll();  // one message per connection
    return;
  }
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() > kMaxLine) socket->abort();
    return;
  }
  socket->setProperty("kvHeard", true);
  const QString message = QString::fromUtf8(socket->readLine(kMaxLine + 1)).trimmed();
  if (message != QLatin1String(kInstanceActivate) && message != QLatin1String(kInstanceTerminate)) {
    socket->write("unknown\n");
    socket->flush();
    socket->disconnectFromServer();
    return;
  }
  auto pending = std::make_unique<TPending>();
  pending->socket = socket;
  pending->message = message;
  pending_.push_back(std::move(pending));
  Deliver();
}

void TKVInstanceServer::SetHeld(bool Held) {
  held_ = Held;
  if (!held_) Deliver();
}

void TKVInstanceServer::Deliver() {
  // A receiver that runs a modal loop may let the next message in: it waits its turn.
  if (held_ || delivering_) return;
  delivering_ = true;
  QPointer<TKVInstanceServer> self(this);
  while (self && !held_ && !pending_.empty()) {
    std::unique_ptr<TPending> next = std::move(pending_.front());
    pending_.pop_front();
    try {
      emit MessageReceived(next->message);
    } catch (const std::exception& e) {
      qWarning("instance message %s: %s", qPrintable(next->message), e.what());
    }
    if (next->socket && next->socket->state() == QLocalSocket::ConnectedState) {
      next->socket->write("ok\n");
      next->socket->flush();
      next->socket->disconnectFromServer();
    }
  }
  if (self) delivering_ = false;
}

// ---------------------------------------------------------------------------------------------

TKVSendResult SendInstanceMessage(const QString& Title, const QString& Message, int TimeoutMs) {
  const QString path = InstanceSocketPath(Title);
  if (path.isEmpty()) return TKVSendResult::NotRunning;
  QElapsedTimer clock;
  clock.start();
  const auto remaining = [&] { return int(qMax<qint64>(0, TimeoutMs - clock.elapsed())); };
  for (;;) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (socket.waitForConnected(qMin(remaining(), 1000))) {
      socket.write(Message.toUtf8() + '\n');
      socket.flush();
      while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(remaining())) return TKVSendResult::NoAnswer;
      while (!socket.canReadLine() && remaining() > 0)
        if (!socket.waitForReadyRead(remaining())) break;
      if (!socket.canReadLine()) return TKVSendResult::NoAnswer;
      return socket.readLine(kMaxLine + 1).trimmed() == "ok" ? TKVSendResult::Handled : TKVSendResult::NoAnswer;
    }
    if (!InstanceRunning(Title)) return TKVSendResult::NotRunning;
    if (remaining() == 0) return TKVSendResult::NoAnswer;
    // The running copy holds its lock but does not listen yet: it is starting.
    QThread::msleep(qMin(50, remaining()));
  }
}
