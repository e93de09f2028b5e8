// Starting a job and waiting for its end, the same for the command line, the window's worker
// threads and the window itself. How the time passes meanwhile is the caller's (TJobWait): a
// thread with nothing else to do blocks on a condition, the window's thread turns a local event
// loop, so that it never blocks on the job thread, whose end it has to report itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "modbus/Modbusunit.h"

class TJobWait {
 public:
  virtual ~TJobWait() = default;
  // Returns once Wake was called since the last return, or earlier on the waiter's own account
  // (a signal came, some time went by); the runner then looks again.
  virtual void Wait() = 0;
  // From any thread.
  virtual void Wake() = 0;
};

// The wait of a thread that does nothing else while the job runs.
class TBlockingJobWait final : public TJobWait {
 public:
  void Wait() override;
  void Wake() override;

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool wake_ = false;  // under mutex_
};

// What a caller may do to a job under way. Each is asked every time the wait returns; any may
// be left empty.
struct TJobRunControl {
  // True once the job should stop: Cancel is then called, once, and the end still waited for
  // (a cancelled job ends with 13).
  std::function<bool()> CancelWanted;
  std::function<void()> Cancel;
  // True once the job's end will never be told (the window closes): the wait ends at once.
  std::function<bool()> Abandoned;
};

class TJobRunner {
 public:
  // Which end is the started job's own. An engine of the caller's own runs nothing else, so the
  // first end after the start is it. A shared engine (the window's, which polls) may still be
  // reporting the end of the job before: only an end after Started() counts.
  enum class TEngine { Own, Shared };

  explicit TJobRunner(TJobWait& wait, TEngine engine = TEngine::Own);

  // Starts the job through start (false: it was refused) and waits for its end; returns its
  // result. A refused start gives RESULT_PORT_BUSY, an abandoned wait RESULT_ABORTED.
  TResult Run(const std::function<bool()>& start, const TJobRunControl& control = {});

  // From any thread: the job has been seen to start (a shared engine), or has ended. The
  // engine that tells of its ends must be gone before the runner and its wait are.
  void Started();
  void Ended(TResult result);

 private:
  TJobWait& wait_;
  const TEngine engine_;
  std::atomic<bool> started_{false};
  std::atomic<bool> ended_{false};
  std::atomic<TResult> result_{RESULT_OK};
};
