#pragma once
// Saves the windows do not wait for. Each job runs on one saving thread of its own, in the order
// given, so that a later save of a file never lands before an earlier one; its Done part runs
// afterwards on the thread that queued it, from that thread's event loop or from Wait().
// The end of the program waits in Wait() until every queued save has reached the disk.
#include <QObject>
#include <QThreadPool>
#include <functional>
#include <mutex>
#include <vector>

class TKVSaveQueue {
 public:
  TKVSaveQueue();
  // Waits for the jobs queued so far; their Done parts are dropped.
  ~TKVSaveQueue();
  TKVSaveQueue(const TKVSaveQueue&) = delete;
  TKVSaveQueue& operator=(const TKVSaveQueue&) = delete;

  // Job must not raise; it touches only what it was given. Done runs on this thread.
  void Run(std::function<void()> Job, std::function<void()> Done = {});
  // Lets every queued job finish, then runs the Done parts not run yet.
  void Wait();
  // Jobs queued whose Done part has not run yet.
  int Pending() const { return pending_; }

 private:
  void RunFinished();
  QThreadPool pool_;
  QObject receiver_;
  std::mutex mutex_;
  std::vector<std::function<void()>> finished_;  // guarded by mutex_
  int pending_ = 0;
};
