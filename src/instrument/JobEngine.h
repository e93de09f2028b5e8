// The job engine: one thread that waits for a job code, checks the instrument's identity and runs
// the register map's operations of the job, reporting its start, progress and end through the
// callbacks of a TJobState.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "instrument/DataImage.h"
#include "instrument/RegisterMap.h"
#include "modbus/Modbusunit.h"

// Jobs of the engine alone, run from several operations; the group jobs are in Groups.h.
// Every rate of the table, fastest first, over the search range with a fast probe's timeout;
// the finds go to RateFinds and the line is given its rate back at the end.
inline constexpr uint8_t JobRateSearch = 125;
inline constexpr uint8_t JobSearch = 126;
inline constexpr uint8_t JobReadAll = 127;
inline constexpr uint8_t JobWriteAll = 255;

// The reply timeout of a fast search's probe at the rate, once the instruments found so far have
// begun their replies latencyUs after the request (0: none found yet): three and a half
// characters of silence and a margin of half as much again as the latency, at least 10 ms. The
// request's own time on the wire comes on top of it in the channel.
uint16_t FastProbeWaitMs(uint32_t baudRate, uint32_t latencyUs);

// What the owner of a job engine registers and watches. The atomics may be read from any thread.
struct TJobState {
  // Registered once by the owner before the first job; an empty one is skipped. They run on the
  // job thread. Once destruction has begun none of them is called any more, so a callback that
  // waits for another thread should stop waiting when Stopping() turns true.
  std::function<void()> OnJobStart;
  std::function<void(uint8_t progress)> OnProgress;
  std::function<void(TResult result)> OnJobDone;
  // The archive read: a record has just been appended to the archive list (a copy of it).
  std::function<void(const MeasurementRecord& record)> OnRecord;

  std::atomic<uint8_t> JobResult{RESULT_OK};
  // The exception code when the job failed on an exception reply of the instrument, else -1.
  std::atomic<int16_t> JobException{-1};
  // 10 or 11 when the job failed on a timeout because a Modbus TCP gateway said the instrument
  // behind it did not answer, else -1.
  std::atomic<int16_t> JobGatewayException{-1};
  // 1 when a write job ended with 13 before it began because the journal of writes, which was
  // required, could not be kept (TWriteObserver::WritesMayStart); else 0.
  std::atomic<uint8_t> JobJournalRefused{0};
  std::atomic<uint8_t> Cancel{1};  // stop request for the job under way
  std::atomic<uint8_t> Busy{0};    // 1 from an accepted StartJob until just before OnJobDone
  std::atomic<uint8_t> Progress{0};
  std::atomic<uint8_t> JobCode{0};
  std::atomic<uint8_t> CurrentOp{0};  // job code, or the operation under way in a bulk job
};

class TJobEngine {
 public:
  // Starts the job thread; bus, image, map and state must outlive the engine.
  TJobEngine(TModBus& bus, TDataImage& image, TRegisterMap& map, TJobState& state);
  // Cancels the job under way, ends a transaction that waits for the line (the port is closed)
  // and joins the thread; no callback is called from here on.
  ~TJobEngine();
  TJobEngine(const TJobEngine&) = delete;
  TJobEngine& operator=(const TJobEngine&) = delete;

  // Accepts a job when none runs: clears Cancel in any case; false when a job is running.
  bool StartJob(uint8_t jobCode);
  // True once destruction has begun.
  bool Stopping() const { return stopping_.load(); }

 private:
  void JobThreadMain();
  bool WaitForJob();
  void RunJob();
  TResult RunSearch();
  TResult Probe(uint8_t address, uint16_t waitMs);
  struct TSilentProbe {
    uint8_t RateIndex;
    uint8_t Address;
  };
  TResult RunRateSearch();
  void ProbeAgain(const TSilentProbe& probe, uint8_t rateNow);
  bool ProbeAtRate(uint8_t address, uint16_t waitMs, bool& heardSomething);
  void AddRateFind(uint8_t address);
  bool Found(uint8_t address) const;
  void AddFound(uint8_t address, uint16_t modelCode);
  TResult RunJobCode(uint8_t code);
  TResult RunSequence(int firstOp, int lastOp, bool retryBusy,
                      const std::function<uint8_t(int)>& progressAfter);
  TResult Execute(uint8_t op, bool retryBusy);
  TResult RunSettingsPage();
  TResult RunArchive();
  bool FailedOnException(TResult result) const;
  TResult WriteGroup(const TGroup& group, uint8_t op, bool retryBusy);
  void ReportProgress(uint8_t value);
  void NotifyJobStart();
  void NotifyJobDone(TResult result);

  TModBus& bus_;
  TDataImage& image_;
  TRegisterMap& map_;
  TJobState& state_;

  uint8_t lastProbeModel_ = 0;  // of the last rate search probe that was answered
  TArchiveMode archiveMode_ = TArchiveMode::Fresh;  // the running job's, taken from the image
  std::mutex mutex_;
  std::condition_variable wake_;
  bool startRequested_ = false;  // the start event, under mutex_
  std::atomic<bool> stopping_{false};
  std::thread jobThread_;
};
