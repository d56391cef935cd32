#include "platform/KVSystemEvents.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <cmath>
#include <cstdint>

namespace {

TKVClockWatch::THooks KernelClockHooks() {
  TKVClockWatch::THooks h;
  h.Create = [] { return ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC); };
  h.Arm = [](int fd) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    itimerspec timer{};
    // Far enough ahead never to run out; the set clock cancels it long before.
    timer.it_value.tv_sec = now.tv_sec + time_t(100) * 365 * 24 * 3600;
    return ::timerfd_settime(fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &timer, nullptr) == 0;
  };
  h.Consume = [](int fd) {
    std::uint64_t ticks = 0;
    return ::read(fd, &ticks, sizeof ticks) < 0 && errno == ECANCELED;
  };
  h.Close = [](int fd) { ::close(fd); };
  return h;
}

}  // namespace

TKVClockWatch::TKVClockWatch(QObject* parent) : TKVClockWatch(KernelClockHooks(), parent) {}

TKVClockWatch::TKVClockWatch(THooks Hooks, QObject* parent) : QObject(parent), hooks_(std::move(Hooks)) {
  fd_ = hooks_.Create();
  if (fd_ < 0) return;
  if (!hooks_.Arm(fd_)) {
    hooks_.Close(fd_);
    fd_ = -1;
    return;
  }
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TKVClockWatch::Readable);
}

TKVClockWatch::~TKVClockWatch() {
  delete notifier_;
  if (fd_ >= 0) hooks_.Close(fd_);
}

void TKVClockWatch::Readable() {
  const bool set = hooks_.Consume(fd_);
  // A cancelled timer stays cancelled until armed again; one that ran out is armed anew too.
  if (!hooks_.Arm(fd_)) {
    delete notifier_;
    notifier_ = nullptr;
  }
  if (set) emit ClockSet();
}

// ---------------------------------------------------------------------------------------------

namespace {

constexpr int kWatchedSignals[] = {SIGTERM, SIGHUP, SIGINT};
int g_signalPipe[2] = {-1, -1};
struct sigaction g_previous[3];

void SignalHandler(int signal) {
  const int saved = errno;
  const unsigned char code = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &code, 1);
  errno = saved;
}

}  // namespace

TKVSignalWatch::TKVSignalWatch(QObject* parent) : QObject(parent) {
  if (g_signalPipe[0] >= 0) return;  // another watch has them
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_signalPipe[0] = g_signalPipe[1] = -1;
    return;
  }
  struct sigaction action {};
  action.sa_handler = &SignalHandler;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int s : kWatchedSignals) sigaddset(&action.sa_mask, s);
  for (int i = 0; i < 3; ++i) ::sigaction(kWatchedSignals[i], &action, &g_previous[i]);
  notifier_ = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TKVSignalWatch::Readable);
}

TKVSignalWatch::~TKVSignalWatch() {
  if (!notifier_) return;
  for (int i = 0; i < 3; ++i) ::sigaction(kWatchedSignals[i], &g_previous[i], nullptr);
  delete notifier_;
  ::close(g_signalPipe[0]);
  ::close(g_signalPipe[1]);
  g_signalPipe[0] = g_signalPipe[1] = -1;
}

void TKVSignalWatch::Readable() {
  unsigned char codes[16];
  ssize_t n;
  while ((n = ::read(g_signalPipe[0], codes, sizeof codes)) > 0)
    for (ssize_t i = 0; i < n; ++i) emit Signalled(codes[i]);
}

// ---------------------------------------------------------------------------------------------

int TaskbarHeightOf(const QRect& Geometry, const QRect& Available, double DevicePixelRatio) {
  if (!Geometry.isValid() || !Available.isValid()) return 0;
  const int logical = (Geometry.y() + Geometry.height()) - (Available.y() + Available.height());
  if (logical <= 0) return 0;
  const double ratio = DevicePixelRatio > 0 ? DevicePixelRatio : 1.0;
  return int(std::nearbyint(logical * ratio));
}

int TaskbarHeight() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return 0;
  return TaskbarHeightOf(screen->geometry(), screen->availableGeometry(), screen->devicePixelRatio());
}
