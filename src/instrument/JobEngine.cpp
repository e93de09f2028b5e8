// The job engine: one thread that waits for a job code, checks the instrument's identity and
// runs the register operations of the job, reporting progress and the result.
#include <algorithm>
#include <cstring>

#include "instrument/Mipunit.h"
#include "instrument/Platform.h"

namespace {

constexpr uint16_t SearchWaitTime = 150;  // ms per probed address
constexpr int WriteAllAttempts = 100;     // per operation while the instrument reports busy
constexpr int ReadAllLastOp = 28;
constexpr int WriteAllFirstOp = 130;
constexpr int WriteAllLastOp = 155;
constexpr int MaxSearchAddress = 255;
constexpr uint8_t WriteOffset = 128;
constexpr uint8_t FirstGroupWrite = FirstGroup + WriteOffset;
constexpr uint8_t LastGroupWrite = LastGroup + WriteOffset;

// The identity text with the two characters of every register swapped, as it arrives.
constexpr char WireIdentity[DeviceIdLength + 1] = "OVTSERIL!N";

bool IsKnownModel(uint16_t model) {
  return model == ModelK7104T1 || model == ModelK7104C1 || model == ModelK7104E025;
}

}  // namespace

TMIP::TMIP() {
  jobThread_ = std::thread([this] { JobThreadMain(); });
}

TMIP::~TMIP() {
  Cancel = 1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  // Ends a transaction that waits for the line with 13; later ones fail at once with 7.
  Bus.ClosePort();
  if (jobThread_.joinable()) jobThread_.join();
}

bool TMIP::StartJob(uint8_t jobCode) {
  if (stopping_) return false;
  Cancel = 0;
  uint8_t idle = 0;
  if (!Busy.compare_exchange_strong(idle, 1)) return false;
  JobCode = jobCode;
  Bus.RequestFrame().SetAddress(Address);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    startRequested_ = true;
  }
  wake_.notify_all();
  return true;
}

void TMIP::JobThreadMain() {
  RaiseJobThreadPriority();
  while (WaitForJob()) RunJob();
}

bool TMIP::WaitForJob() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [this] { return stopping_ || startRequested_; });
  return !stopping_;
}

void TMIP::RunJob() {
  NotifyJobStart();
  ReportProgress(0);
  const uint8_t code = JobCode;
  TResult result;
  if (code == JobSearch && Bus.IsOpen()) {
    result = RunSearch();
  } else {
    uint16_t model = 0, channels = 0, relays = 0;
    result = IdentityCheck(&model, &channels, &relays);
    if (result == RESULT_OK) {
      ChannelCount = std::min<uint16_t>(channels, MaxChannels);
      RelayCount = std::min<uint16_t>(relays, MaxRelays);
    }
    CurrentOp = code;
    if (result == RESULT_OK) result = RunJobCode(code);
  }
  ReportProgress(100);
  JobResult = Cancel ? TResult{RESULT_ABORTED} : result;
  JobException = FailedOnException(JobResult) ? Bus.LastTrace().Exception : int16_t{-1};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    startRequested_ = false;
  }
  Busy = 0;
  NotifyJobDone(JobResult);
}

// Registers 0..8 at the address in the request frame: the swapped identity text and a model
// code of the family. Nothing is stored; the counts come back through the arguments.
TResult TMIP::IdentityCheck(uint16_t* modelCode, uint16_t* channels, uint16_t* relays) {
  const TResult r = ReadRegisters(3, 0, 9, 19);
  if (r != RESULT_OK) return r;
  const uint8_t* data = Bus.ReplyFrame().FrameData();
  if (!std::equal(WireIdentity, WireIdentity + DeviceIdLength, data + 1)) {
    return RESULT_WRONG_DEVICE;
  }
  auto reg = [data](int k) {
    return static_cast<uint16_t>((data[1 + 2 * k] << 8) | data[2 + 2 * k]);
  };
  if (!IsKnownModel(reg(5))) return RESULT_WRONG_DEVICE;
  *modelCode = reg(5);
  *channels = reg(7);
  *relays = reg(8);
  return RESULT_OK;
}

// Probes every address of the range with a short timeout; silent or foreign addresses are
// skipped. Address 0 is the broadcast and never answers, so the search starts at 1.
TResult TMIP::RunSearch() {
  const uint16_t savedWaitTime = Bus.WaitTime();
  FoundCount = 0;
  const uint32_t first = RangeFirst;
  const uint32_t last = RangeLast;
  for (uint32_t a = first; a <= last; ++a) {
    if (a >= 1 && a <= MaxSearchAddress) {
      Bus.SetWaitTime(SearchWaitTime);
      Bus.RequestFrame().SetAddress(static_cast<uint8_t>(a));
      uint16_t model = 0, channels = 0, relays = 0;
      if (IdentityCheck(&model, &channels, &relays) == RESULT_OK && FoundCount < MaxFoundDevices) {
        FoundDevices[FoundCount] = {static_cast<uint8_t>(a), static_cast<uint8_t>(model)};
        ++FoundCount;
      }
    }
    ReportProgress(static_cast<uint8_t>((a - first) * 100 / (last - first + 1)));
    if (Cancel) break;
  }
  Bus.SetWaitTime(savedWaitTime);
  return RESULT_OK;
}

TResult TMIP::RunJobCode(uint8_t code) {
  switch (code) {
    case JobReadSettingsPage:
      return RunSettingsPage();
    case JobReadArchive:
      return RunArchive();
    case JobReadAll:
      return RunSequence(0, ReadAllLastOp, false,
                         [](int op) { return static_cast<uint8_t>(op * 100 / 29); });
    case JobWriteAll:
      return RunSequence(WriteAllFirstOp, WriteAllLastOp, true, [](int op) {
        return static_cast<uint8_t>((op - WriteAllFirstOp) * 100 / 26);
      });
    case JobWriteSettingsPage:
      return WriteGroup(OpWriteSettings, false);
    default:
      if (code >= FirstGroupWrite && code <= LastGroupWrite) return WriteGroup(code, false);
      return Execute(code);
  }
}

// Read all and write all: CurrentOp names the operation under way, so that a failure names it.
TResult TMIP::RunSequence(int firstOp, int lastOp, bool retryBusy,
                          const std::function<uint8_t(int)>& progressAfter) {
  for (int op = firstOp; op <= lastOp; ++op) {
    CurrentOp = static_cast<uint8_t>(op);
    const auto code = static_cast<uint8_t>(op);
    TResult r;
    if (code >= FirstGroupWrite && code <= LastGroupWrite)
      r = WriteGroup(code, retryBusy);
    else
      r = retryBusy ? ExecuteWhileBusy(code) : Execute(code);
    if (r != RESULT_OK) return r;
    ReportProgress(progressAfter(op));
    if (Cancel) return RESULT_ABORTED;
  }
  return RESULT_OK;
}

// A group whose values were never read from this instrument (nor loaded nor reset) is read
// first, so that what the user did not touch goes back as the instrument had it; the user's
// edits are put on top and stay marked until the write has succeeded. A failed read names the
// read.
TResult TMIP::WriteGroup(uint8_t op, bool retryBusy) {
  const int group = op - WriteOffset;
  if (!GroupKnown(group)) {
    const TConfigBlock edited = Config;
    uint8_t bits[ConfigBlockSize];
    std::memcpy(bits, EditedBits, sizeof bits);
    const uint8_t writeOp = CurrentOp;
    CurrentOp = static_cast<uint8_t>(group);
    const auto readOp = static_cast<uint8_t>(group);
    const TResult r = retryBusy ? ExecuteWhileBusy(readOp) : Execute(readOp);
    if (r != RESULT_OK) return r;
    CurrentOp = writeOp;
    const auto* from = reinterpret_cast<const uint8_t*>(&edited);
    uint8_t* to = ConfigBlockBytes();
    for (size_t i = 0; i < ConfigBlockSize; ++i)
      to[i] = static_cast<uint8_t>((to[i] & ~bits[i]) | (from[i] & bits[i]));
    std::memcpy(EditedBits, bits, sizeof bits);
  }
  return retryBusy ? ExecuteWhileBusy(op) : Execute(op);
}

TResult TMIP::ExecuteWhileBusy(uint8_t op) {
  TResult r = RESULT_DEVICE_BUSY;
  for (int attempt = 0; attempt < WriteAllAttempts && r == RESULT_DEVICE_BUSY; ++attempt) {
    r = Execute(op);
  }
  return r;
}

TResult TMIP::RunSettingsPage() {
  uint8_t progress = 0;
  for (uint8_t op : {OpReadSettings, OpReadClock}) {
    const TResult r = Execute(op);
    if (r != RESULT_OK) return r;
    progress = static_cast<uint8_t>(progress + 50);
    ReportProgress(progress);
    if (Cancel) return RESULT_ABORTED;
  }
  return RESULT_OK;
}

// Records RangeFirst..RangeLast one at a time; a reply with another record number is the end of
// the archive. Whatever was read stays, sorted newest first.
TResult TMIP::RunArchive() {
  ClearArchive();
  const uint32_t first = RangeFirst;
  const uint32_t last = RangeLast;
  TResult result = RESULT_OK;
  for (uint32_t i = first; i <= last; ++i) {
    RecordIndex = static_cast<uint16_t>(i);
    result = Execute(OpReadRecord);
    if (result != RESULT_OK || MeasRecord.Number != i) break;
    AppendRecord();
    if (!stopping_ && OnRecord) OnRecord(MeasRecord);
    ReportProgress(static_cast<uint8_t>((i - first) * 100 / (last - first + 1)));
    if (Cancel) {
      result = RESULT_ABORTED;
      break;
    }
  }
  SortArchive();
  return result;
}

// A job stops at its failing transaction, so the last one tells whether an exception reply of
// the instrument gave the job's result.
bool TMIP::FailedOnException(TResult result) const {
  const int16_t code = Bus.LastTrace().Exception;
  return result != RESULT_OK && code >= 0 && ExceptionResult(static_cast<uint8_t>(code)) == result;
}

void TMIP::ReportProgress(uint8_t value) {
  Progress = value;
  if (!stopping_ && OnProgress) OnProgress(value);
}

void TMIP::NotifyJobStart() {
  if (!stopping_ && OnJobStart) OnJobStart();
}

void TMIP::NotifyJobDone(TResult result) {
  if (!stopping_ && OnJobDone) OnJobDone(result);
}
