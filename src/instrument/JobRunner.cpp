#include "instrument/JobRunner.h"

void TBlockingJobWait::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  woken_.wait(lock, [this] { return wake_; });
  wake_ = false;
}

// Notified under the lock: the waiter cannot return, and its owner go, before the notification.
void TBlockingJobWait::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_ = true;
  woken_.notify_all();
}

TJobRunner::TJobRunner(TJobWait& wait, TEngine engine) : wait_(wait), engine_(engine) {}

// An own engine may end the job before start() returns: the runner is ready for its end first.
TResult TJobRunner::Run(const std::function<bool()>& start, const TJobRunControl& control) {
  ended_ = false;
  started_ = engine_ == TEngine::Own;
  if (!start()) {
    started_ = false;
    return RESULT_PORT_BUSY;
  }
  bool cancelled = false;
  for (;;) {
    if (!cancelled && control.CancelWanted && control.CancelWanted()) {
      cancelled = true;
      if (control.Cancel) control.Cancel();
    }
    if (ended_) break;
    if (control.Abandoned && control.Abandoned()) {
      started_ = false;
      return RESULT_ABORTED;
    }
    wait_.Wait();
  }
  started_ = false;
  return result_;
}

void TJobRunner::Started() {
  started_ = true;
}

void TJobRunner::Ended(TResult result) {
  if (!started_) return;
  result_ = result;
  ended_ = true;
  wait_.Wake();
}
