// Waits for the jobs of a TMIP from the test thread and keeps what the job engine reported.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "instrument/Mipunit.h"

// Collects what the job engine reports; the waits give the test thread a happens-before edge
// with everything the job thread did before OnJobDone.
class JobRecorder {
 public:
  void Attach(TMIP& mip) {
    mip.OnJobStart = [this] {
      std::lock_guard<std::mutex> lock(mutex_);
      ++starts_;
    };
    mip.OnProgress = [this](uint8_t p) {
      std::lock_guard<std::mutex> lock(mutex_);
      progress_.push_back(p);
    };
    mip.OnJobDone = [this](TResult r) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        results_.push_back(r);
      }
      changed_.notify_all();
    };
  }

  // Waits until `count` jobs have ended in all; false when that takes longer than the limit.
  bool WaitDone(size_t count = 1, std::chrono::seconds limit = std::chrono::seconds(120)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return results_.size() >= count; });
  }

  std::vector<uint8_t> Progress() {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
  }
  std::vector<TResult> Results() {
    std::lock_guard<std::mutex> lock(mutex_);
    return results_;
  }
  int Starts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return starts_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    progress_.clear();
    results_.clear();
    starts_ = 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<uint8_t> progress_;
  std::vector<TResult> results_;
  int starts_ = 0;
};
