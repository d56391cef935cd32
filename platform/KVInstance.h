#pragma once
// One running copy per user and title: a lock that the kernel drops when its holder ends (however
// it ends), and a local socket beside it through which a later copy asks the running one to come
// forward ("activate") or to end ("terminate") and waits until it has done so.
#include <QObject>
#include <QString>
#include <deque>
#include <memory>

class QLocalServer;
class QLocalSocket;

inline constexpr char kInstanceActivate[] = "activate";
inline constexpr char kInstanceTerminate[] = "terminate";

// How long a later copy waits for the running one to handle its message.
inline constexpr int kInstanceAnswerTimeoutMs = 10000;

// The private folder of the user's locks and sockets: $XDG_RUNTIME_DIR, else "kv-runtime-<uid>"
// in the temporary folder, created owner-only. A fallback folder that is a link, belongs to
// someone else or lets others in is refused: the result is empty and Error says why.
QString InstanceRuntimeFolder(QString* Error = nullptr);

// The lock file and socket of a title: the title made a safe file name, plus a short hash so
// that titles differing only in punctuation do not share one. Empty without a runtime folder.
QString InstanceLockPath(const QString& Title);
QString InstanceSocketPath(const QString& Title);

// The lock of a title: flock on a file opened close-on-exec, so that programs the holder starts
// do not keep it, and a holder killed with -9 leaves nothing behind that blocks the next start.
class TKVInstanceLock {
 public:
  explicit TKVInstanceLock(const QString& Title);
  ~TKVInstanceLock();
  TKVInstanceLock(const TKVInstanceLock&) = delete;
  TKVInstanceLock& operator=(const TKVInstanceLock&) = delete;

  // Takes the lock without waiting; true when this object holds it (now or already). False when
  // another process holds it, or when the lock cannot be tried at all (Failed() tells which).
  bool TryLock();
  bool Held() const { return fd_ >= 0; }
  // The last TryLock could not even try (no runtime folder, file not creatable).
  bool Failed() const { return !error_.isEmpty(); }
  QString ErrorString() const { return error_; }
  void Release();

 private:
  QString title_;
  int fd_ = -1;
  QString error_;
};

// Whether some process holds the title's lock now.
bool InstanceRunning(const QString& Title);

// The running copy's end of the socket. Only the lock's holder listens; a socket file found at
// the path is then stale and replaced. Only processes of the same user are heard.
class TKVInstanceServer : public QObject {
  Q_OBJECT
 public:
  explicit TKVInstanceServer(const QString& Title, QObject* parent = nullptr);
  ~TKVInstanceServer() override;

  bool Listen();
  bool IsListening() const;
  QString SocketPath() const { return path_; }
  QString ErrorString() const { return error_; }

  // While held, messages wait in order (their senders waiting with them); releasing delivers
  // them. The program holds them during its start-up.
  void SetHeld(bool Held);
  bool IsHeld() const { return held_; }

 signals:
  // "activate" or "terminate" from another copy. The sender is answered once every receiver
  // has returned; a receiver that opens a modal window makes it wait (up to its time-out).
  void MessageReceived(const QString& Message);

 private:
  void Accept();
  void Read(QLocalSocket* socket);
  void Deliver();

  QString path_, error_;
  QLocalServer* server_ = nullptr;
  bool held_ = false, delivering_ = false;
  struct TPending;
  std::deque<std::unique_ptr<TPending>> pending_;
};

enum class TKVSendResult {
  Handled,     // the running copy answered after handling the message
  NoAnswer,    // a copy runs but did not answer in time (it still handles the message later)
  NotRunning,  // no copy holds the lock
};

// Sends Message to the running copy and waits up to TimeoutMs for its answer. While the copy
// holds its lock but does not listen yet (it is starting), connecting is retried.
TKVSendResult SendInstanceMessage(const QString& Title, const QString& Message,
                                  int TimeoutMs = kInstanceAnswerTimeoutMs);
