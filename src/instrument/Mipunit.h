// The instrument object TMIP: the in-memory data image of one instrument, the job engine that
// runs jobs on its own thread, and the register map that moves data between the image and the
// instrument's Modbus registers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "instrument/DataImage.h"
#include "modbus/Modbusunit.h"

// Jobs of the engine alone, run from several operations; the group jobs are in Groups.h.
inline constexpr uint8_t JobSearch = 126;
inline constexpr uint8_t JobReadAll = 127;
inline constexpr uint8_t JobWriteAll = 255;

// The instrument object: data image, job engine and register map. The job thread runs every
// transaction and calls the three callbacks on itself.
class TMIP : public TDataImage {
 public:
  TMIP();
  ~TMIP();
  TMIP(const TMIP&) = delete;
  TMIP& operator=(const TMIP&) = delete;

  // The serial channel; the shell opens and closes its port and sets its line settings.
  TModBus Bus;

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
  std::atomic<uint8_t> Cancel{1};  // stop request for the job under way
  std::atomic<uint8_t> Busy{0};    // 1 from an accepted StartJob until just before OnJobDone
  std::atomic<uint8_t> Progress{0};
  std::atomic<uint8_t> JobCode{0};
  std::atomic<uint8_t> CurrentOp{0};  // job code, or the operation under way in a bulk job

  // Accepts a job when none runs: clears Cancel in any case; false when a job is running.
  bool StartJob(uint8_t jobCode);
  // True once destruction has begun.
  bool Stopping() const { return stopping_.load(); }

  // The register map: one read or write operation on the job thread (or on any one thread while
  // no job runs). Expects the slave address in the request frame.
  TResult Execute(uint8_t op);

  // The configuration file: header and configuration block, 1738 bytes.
  bool SaveConfiguration(const std::string& path) const;
  bool LoadConfiguration(const std::string& path);

 private:
  void JobThreadMain();
  bool WaitForJob();
  void RunJob();
  TResult IdentityCheck(uint16_t* modelCode, uint16_t* channels, uint16_t* relays);
  TResult RunSearch();
  TResult RunJobCode(uint8_t code);
  TResult RunSequence(int firstOp, int lastOp, bool retryBusy,
                      const std::function<uint8_t(int)>& progressAfter);
  TResult ExecuteWhileBusy(uint8_t op);
  TResult RunSettingsPage();
  TResult RunArchive();
  bool FailedOnException(TResult result) const;
  TResult WriteGroup(uint8_t op, bool retryBusy);
  void ReportProgress(uint8_t value);
  void NotifyJobStart();
  void NotifyJobDone(TResult result);

  // Register map pieces.
  TResult Transact();
  uint16_t ElementCount(const TGroup& group) const;
  TResult ReadRegisters(uint8_t function, uint16_t first, uint16_t count, uint16_t expectedLength);
  TResult WriteRegisters(uint16_t first, const uint16_t* values, uint16_t count);
  TResult WriteWhileBusy(uint16_t first, const uint16_t* values, uint16_t count);
  TResult WriteCoils(uint16_t first, const uint8_t* flags, uint16_t count);
  TResult ReadOperation(const TGroup& group);
  TResult WriteOperation(const TGroup& group);
  TResult ReadLowBytes(const TGroup& group);
  TResult ReadFloats(uint8_t function, uint16_t first, uint16_t count, float* target);
  TResult ReadBlockFloats(const TGroup& group);
  TResult ReadCoils(const TGroup& group);
  TResult ReadRecordLayout(const TGroup& group, uint16_t first, uint16_t* number, TDateTime& time,
                           float* values);
  TResult ReadLogic(const TGroup& group);
  TResult ReadSettings(const TGroup& group);
  TResult ReadClock(const TGroup& group);
  TResult ReadState(const TGroup& group);
  TResult WriteLowBytes(const TGroup& group);
  TResult WriteFloats(const TGroup& group);
  TResult WriteLogic(const TGroup& group);
  TResult WriteSettings();
  TResult WriteClock(const TGroup& group);
  TResult ChangeAddress(const TGroup& group);

  std::mutex mutex_;
  std::condition_variable wake_;
  bool startRequested_ = false;  // the start event, under mutex_
  std::atomic<bool> stopping_{false};
  std::thread jobThread_;
};
