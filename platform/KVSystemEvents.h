#pragma once
// What the system tells a running program besides input: the wall clock was set, the process is
// asked to end, and how much of the screen the panels take.
#include <QObject>
#include <QRect>
#include <functional>

class QSocketNotifier;

// The kernel's own notice that the wall clock was set (by the user, by a time service stepping
// it), through a timer file descriptor armed far ahead with cancel-on-set: nothing polls.
// Ordinary ticking and suspend do not count as a set clock.
class TKVClockWatch : public QObject {
  Q_OBJECT
 public:
  // What the watch does with the kernel; tests replace it. Create returns a descriptor that
  // turns readable when something happened, Arm (re)arms it, and Consume reads it and tells
  // whether the clock was set (false: the far-ahead timer ran out, or nothing was there).
  struct THooks {
    std::function<int()> Create;
    std::function<bool(int Fd)> Arm;
    std::function<bool(int Fd)> Consume;
    std::function<void(int Fd)> Close;
  };

  explicit TKVClockWatch(QObject* parent = nullptr);
  TKVClockWatch(THooks Hooks, QObject* parent = nullptr);
  ~TKVClockWatch() override;

  // False when the kernel refused the watch (then no notice ever comes).
  bool IsActive() const { return notifier_ != nullptr; }

 signals:
  void ClockSet();

 private:
  void Readable();

  THooks hooks_;
  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

// SIGTERM, SIGHUP and SIGINT turned into a signal on the thread that made the watch, through a
// pipe written by the handler (the only thing a handler may safely do). One watch per process;
// a second stays inactive. The previous handlers come back when the watch is destroyed.
class TKVSignalWatch : public QObject {
  Q_OBJECT
 public:
  explicit TKVSignalWatch(QObject* parent = nullptr);
  ~TKVSignalWatch() override;

  bool IsActive() const { return notifier_ != nullptr; }

 signals:
  void Signalled(int Signal);

 private:
  void Readable();

  QSocketNotifier* notifier_ = nullptr;
};

// The height of the panels at the bottom of a screen in physical pixels: from the bottom of
// the available area to the bottom of the screen, times the device pixel ratio and rounded
// half to even; 0 when no available area is reported or it reaches the bottom.
int TaskbarHeightOf(const QRect& Geometry, const QRect& Available, double DevicePixelRatio);

// The primary screen's; 0 without a screen.
int TaskbarHeight();
