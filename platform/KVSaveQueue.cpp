#include "platform/KVSaveQueue.h"

#include <QMetaObject>

TKVSaveQueue::TKVSaveQueue() {
  pool_.setMaxThreadCount(1);
  // An idle saving thread is not kept for long; the next save starts another.
  pool_.setExpiryTimeout(2000);
}

TKVSaveQueue::~TKVSaveQueue() {
  pool_.waitForDone();
  std::lock_guard lock(mutex_);
  finished_.clear();
}

void TKVSaveQueue::Run(std::function<void()> Job, std::function<void()> Done) {
  ++pending_;
  pool_.start([this, job = std::move(Job), done = std::move(Done)]() mutable {
    job();
    job = nullptr;
    {
      std::lock_guard lock(mutex_);
      finished_.push_back(std::move(done));
    }
    QMetaObject::invokeMethod(&receiver_, [this] { RunFinished(); }, Qt::QueuedConnection);
  });
}

void TKVSaveQueue::Wait() {
  pool_.waitForDone();
  RunFinished();
}

void TKVSaveQueue::RunFinished() {
  std::vector<std::function<void()>> ready;
  {
    std::lock_guard lock(mutex_);
    ready.swap(finished_);
  }
  for (std::function<void()>& done : ready) {
    --pending_;
    if (done) done();
  }
}
