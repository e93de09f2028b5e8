#include "instrument/JobEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

#include "instrument/BusyRetry.h"
#include "instrument/Platform.h"

namespace {

constexpr uint16_t SearchWaitTime = 150;  // ms per probed address
constexpr double FastSearchMinMarginMs = 10;
constexpr int WriteAllAttempts = 100;  // per operation while the instrument reports busy
constexpr int ReadAllLastOp = OpReadClock;
constexpr int WriteAllFirstOp = FirstGroup + WriteCodeBit;
constexpr int WriteAllLastOp = OpWriteSettings;
constexpr int MaxSearchAddress = 255;

bool FoundAtAnyRate(const TDataImage& image, uint8_t address) {
  for (const TRateFind& find : image.RateFinds)
    if (find.Address == address) return true;
  return false;
}

// The parameter group that code writes; nullptr when it writes none.
const TGroup* WrittenParameterGroup(uint8_t code) {
  const TGroup* group = GroupByCode(code);
  return group != nullptr && group->WriteCode == code && IsParameterGroup(group->Code) ? group
                                                                                       : nullptr;
}

}  // namespace

TJobEngine::TJobEngine(TModBus& bus, TDataImage& image, TRegisterMap& map, TJobState& state)
    : bus_(bus), image_(image), map_(map), state_(state) {
  jobThread_ = std::thread([this] { JobThreadMain(); });
}

TJobEngine::~TJobEngine() {
  state_.Cancel = 1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  // Ends a transaction that waits for the line with 13; later ones fail at once with 7.
  bus_.ClosePort();
  if (jobThread_.joinable()) jobThread_.join();
}

bool TJobEngine::StartJob(uint8_t jobCode) {
  if (stopping_) return false;
  state_.Cancel = 0;
  uint8_t idle = 0;
  if (!state_.Busy.compare_exchange_strong(idle, 1)) return false;
  state_.JobCode = jobCode;
  bus_.RequestFrame().SetAddress(image_.Address);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    startRequested_ = true;
  }
  wake_.notify_all();
  return true;
}

void TJobEngine::JobThreadMain() {
  RaiseJobThreadPriority();
  while (WaitForJob()) RunJob();
}

bool TJobEngine::WaitForJob() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [this] { return stopping_ || startRequested_; });
  return !stopping_;
}

void TJobEngine::RunJob() {
  NotifyJobStart();
  ReportProgress(0);
  const uint8_t code = state_.JobCode;
  archiveMode_ = std::exchange(image_.ArchiveMode, TArchiveMode::Fresh);
  TResult result;
  state_.JobJournalRefused = IsWriteCode(code) && !map_.WritesMayStart() ? 1 : 0;
  if (state_.JobJournalRefused) {
    result = RESULT_ABORTED;
  } else if (code == JobSearch && bus_.IsOpen()) {
    result = RunSearch();
  } else if (code == JobRateSearch && bus_.IsOpen()) {
    result = RunRateSearch();
  } else {
    TIdentity identity;
    result = map_.CheckIdentity(identity);
    if (result == RESULT_OK) {
      image_.ChannelCount = std::min<uint16_t>(identity.Channels, MaxChannels);
      image_.RelayCount = std::min<uint16_t>(identity.Relays, MaxRelays);
    }
    state_.CurrentOp = code;
    if (result == RESULT_OK) result = RunJobCode(code);
  }
  ReportProgress(100);
  state_.JobResult = state_.Cancel ? TResult{RESULT_ABORTED} : result;
  state_.JobException =
      FailedOnException(state_.JobResult) ? bus_.LastTrace().Exception : int16_t{-1};
  state_.JobGatewayException =
      state_.JobResult == RESULT_TIMEOUT ? bus_.LastTrace().GatewayException : int16_t{-1};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    startRequested_ = false;
  }
  state_.Busy = 0;
  NotifyJobDone(state_.JobResult);
}

uint16_t FastProbeWaitMs(uint32_t baudRate, uint32_t latencyUs) {
  const double margin = std::max(FastSearchMinMarginMs, 1.5 * latencyUs / 1000.0);
  const double ms = std::ceil(3.5 * TModBus::CharacterMs(baudRate) + margin);
  return static_cast<uint16_t>(std::min<double>(ms, SearchWaitTime));
}

// Probes every address of the range; silent or foreign addresses are skipped. Through a Modbus
// TCP gateway a silent address costs no more than the gateway's answer that it is. Address 0 is the
// broadcast and never answers, so the search starts at 1. A fast probe trusts only silence: when
// something else than a whole reply or nothing came, a late reply may have met it, and the
// addresses before it are probed again with the standard timeout.
TResult TJobEngine::RunSearch() {
  const uint16_t savedWaitTime = bus_.WaitTime();
  const TSearchMode mode = image_.SearchMode;
  if (mode != TSearchMode::SilentAgain) image_.FoundCount = 0;
  const uint32_t first = image_.RangeFirst;
  const uint32_t last = image_.RangeLast;
  uint32_t latencyUs = 0;
  for (uint32_t a = first; a <= last; ++a) {
    const auto address = static_cast<uint8_t>(a);
    if (a >= 1 && a <= MaxSearchAddress && !Found(address)) {
      const bool fast = mode == TSearchMode::Fast;
      const TResult r =
          Probe(address, fast ? FastProbeWaitMs(bus_.BaudRate(), latencyUs) : SearchWaitTime);
      const TTransactionTrace& trace = bus_.LastTrace();
      if (fast && r == RESULT_OK) latencyUs = std::max(latencyUs, trace.LatencyUs);
      // A Modbus TCP gateway's exception 10 or 11 says the address is silent.
      const bool quiet = r == RESULT_OK || r == RESULT_WRONG_DEVICE || trace.ReplyBytes == 0 ||
                         trace.GatewayException >= 0;
      if (fast && (!quiet || trace.ForeignFrames > 0)) {
        for (uint32_t b = std::max(first, std::max(a, 4u) - 3); b <= a; ++b)
          if (b >= 1 && !Found(static_cast<uint8_t>(b)))
            Probe(static_cast<uint8_t>(b), SearchWaitTime);
      }
    }
    ReportProgress(static_cast<uint8_t>((a - first) * 100 / (last - first + 1)));
    if (state_.Cancel) break;
  }
  bus_.SetWaitTime(savedWaitTime);
  return RESULT_OK;
}

// At every rate, fastest first, each address of the range with the fast search's first timeout
// (nothing is known yet of the latency at that rate). An answer is taken once a second probe with
// the standard timeout has it too: a reply that came late to the probe before, at another rate,
// is not that rate's, and the probe it belonged to is made again with time to answer; so is it
// when bytes came between the two probes. Anything heard that was no reply is probed again the
// same way, so that a slow line or a slow instrument loses no find.
// A find is kept the moment it is confirmed, whenever the search is stopped. With the search mode
// SilentAgain it is a second look: the addresses nothing answered at are probed at every rate
// with the standard timeout and the finds added.
TResult TJobEngine::RunRateSearch() {
  // Behind a transparent server or a gateway the rate is the server's, which no request sets.
  if (bus_.IsNetworkLine() && bus_.Line().Mode != TNetworkMode::Rfc2217) return RESULT_PARAMETER;
  // An RFC 2217 server that refuses a rate closes the line; it is opened again at the next rate.
  const bool reopens = bus_.IsNetworkLine();
  const uint16_t savedWaitTime = bus_.WaitTime();
  const uint8_t savedRate = bus_.GetBaudIndex();
  // A second look probes the addresses that nothing answered at with the standard timeout.
  const bool again = image_.SearchMode == TSearchMode::SilentAgain;
  if (!again) image_.RateFinds.clear();
  const uint32_t first = std::max<uint32_t>(image_.RangeFirst, 1);
  const uint32_t last = std::min<uint32_t>(image_.RangeLast, MaxSearchAddress);
  const uint32_t total = last >= first ? (last - first + 1) * BaudRateCount : 0;
  uint32_t done = 0;
  std::optional<TSilentProbe> silent;  // the last probe that heard nothing
  for (int index = BaudRateCount - 1; index >= 0 && total > 0 && !state_.Cancel; --index) {
    const auto rate = static_cast<uint8_t>(index);
    bus_.SetBaudIndex(rate);
    if (reopens && !bus_.IsOpen() && !bus_.OpenPort()) {
      done += total / BaudRateCount;
      continue;
    }
    const uint16_t firstWait = again ? SearchWaitTime : FastProbeWaitMs(bus_.BaudRate(), 0);
    for (uint32_t a = first; a <= last && !state_.Cancel; ++a) {
      const auto address = static_cast<uint8_t>(a);
      ReportProgress(static_cast<uint8_t>(++done * 100 / total));
      if (again && FoundAtAnyRate(image_, address)) continue;
      bool heard = false;
      const bool answered = ProbeAtRate(address, firstWait, heard);
      const TTransactionTrace& trace = bus_.LastTrace();
      const bool lateReply = trace.StaleBytes > 0 || trace.ForeignFrames > 0;
      bool confirmed = false;
      if (answered || heard) confirmed = ProbeAtRate(address, SearchWaitTime, heard);
      if ((lateReply || (answered && !confirmed)) && silent) ProbeAgain(*silent, rate);
      if (confirmed) AddRateFind(address);
      silent = confirmed ? std::nullopt : std::optional<TSilentProbe>({rate, address});
    }
  }
  bus_.SetBaudIndex(savedRate);
  if (reopens && !bus_.IsOpen() && !state_.Cancel) bus_.OpenPort();
  bus_.SetWaitTime(savedWaitTime);
  return RESULT_OK;
}

// A probe that heard nothing, made again with the standard timeout at its own rate, and back to
// the rate under way.
void TJobEngine::ProbeAgain(const TSilentProbe& probe, uint8_t rateNow) {
  bus_.SetBaudIndex(probe.RateIndex);
  bool heard = false;
  if (ProbeAtRate(probe.Address, SearchWaitTime, heard)) AddRateFind(probe.Address);
  bus_.SetBaudIndex(rateNow);
}

// One identity probe at the rate the line has now; true when an instrument of the family
// answered (its model is then in lastProbeModel_). heardSomething: any byte came.
bool TJobEngine::ProbeAtRate(uint8_t address, uint16_t waitMs, bool& heardSomething) {
  bus_.SetWaitTime(waitMs);
  bus_.RequestFrame().SetAddress(address);
  TIdentity identity;
  const TResult r = map_.ProbeIdentity(identity);
  heardSomething = bus_.LastTrace().ReplyBytes > 0;
  lastProbeModel_ = static_cast<uint8_t>(identity.ModelCode);
  return r == RESULT_OK;
}

// Fastest rate first, then by address: a second look may find one before others.
void TJobEngine::AddRateFind(uint8_t address) {
  const TRateFind found{bus_.BaudRate(), address, lastProbeModel_};
  const auto before = [](const TRateFind& a, const TRateFind& b) {
    return a.BaudRate != b.BaudRate ? a.BaudRate > b.BaudRate : a.Address < b.Address;
  };
  auto& finds = image_.RateFinds;
  const auto at = std::lower_bound(finds.begin(), finds.end(), found, before);
  if (at != finds.end() && at->BaudRate == found.BaudRate && at->Address == address) return;
  finds.insert(at, found);
}

TResult TJobEngine::Probe(uint8_t address, uint16_t waitMs) {
  bus_.SetWaitTime(waitMs);
  bus_.RequestFrame().SetAddress(address);
  TIdentity identity;
  const TResult r = map_.ProbeIdentity(identity);
  if (r == RESULT_OK) AddFound(address, identity.ModelCode);
  return r;
}

bool TJobEngine::Found(uint8_t address) const {
  for (int i = 0; i < image_.FoundCount; ++i)
    if (image_.FoundDevices[i].Address == address) return true;
  return false;
}

// In address order: a probe repeated or made again later may find an instrument before others.
void TJobEngine::AddFound(uint8_t address, uint16_t modelCode) {
  if (image_.FoundCount >= MaxFoundDevices) return;
  int at = image_.FoundCount;
  while (at > 0 && image_.FoundDevices[at - 1].Address > address) {
    image_.FoundDevices[at] = image_.FoundDevices[at - 1];
    --at;
  }
  image_.FoundDevices[at] = {address, static_cast<uint8_t>(modelCode)};
  ++image_.FoundCount;
}

TResult TJobEngine::RunJobCode(uint8_t code) {
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
      return WriteGroup(*GroupByCode(OpWriteSettings), OpWriteSettings, false);
    default:
      if (const TGroup* group = WrittenParameterGroup(code)) return WriteGroup(*group, code, false);
      return Execute(code, false);
  }
}

// Read all and write all: CurrentOp names the operation under way, so that a failure names it.
TResult TJobEngine::RunSequence(int firstOp, int lastOp, bool retryBusy,
                                const std::function<uint8_t(int)>& progressAfter) {
  for (int op = firstOp; op <= lastOp; ++op) {
    state_.CurrentOp = static_cast<uint8_t>(op);
    const auto code = static_cast<uint8_t>(op);
    const TGroup* group = WrittenParameterGroup(code);
    const TResult r =
        group != nullptr ? WriteGroup(*group, code, retryBusy) : Execute(code, retryBusy);
    if (r != RESULT_OK) return r;
    ReportProgress(progressAfter(op));
    if (state_.Cancel) return RESULT_ABORTED;
  }
  return RESULT_OK;
}

// A group whose values were never read from this instrument (nor loaded nor reset) is read
// first, so that what the user did not touch goes back as the instrument had it; the user's
// edits are put on top and stay marked until the write has succeeded. A failed read names the
// read.
TResult TJobEngine::WriteGroup(const TGroup& group, uint8_t op, bool retryBusy) {
  if (!image_.GroupKnown(group.Code)) {
    const TConfigBlock edited = image_.Config;
    uint8_t bits[ConfigBlockSize];
    std::memcpy(bits, image_.EditedBits, sizeof bits);
    const uint8_t writeOp = state_.CurrentOp;
    state_.CurrentOp = group.Code;
    const TResult r = Execute(group.Code, retryBusy);
    if (r != RESULT_OK) return r;
    state_.CurrentOp = writeOp;
    const auto* from = reinterpret_cast<const uint8_t*>(&edited);
    uint8_t* to = image_.ConfigBlockBytes();
    for (size_t i = 0; i < ConfigBlockSize; ++i)
      to[i] = static_cast<uint8_t>((to[i] & ~bits[i]) | (from[i] & bits[i]));
    std::memcpy(image_.EditedBits, bits, sizeof bits);
  }
  return Execute(op, retryBusy);
}

// Write all keeps trying an operation while the instrument reports busy; every other job takes
// the first answer.
TResult TJobEngine::Execute(uint8_t op, bool retryBusy) {
  if (!retryBusy) return map_.Execute(op);
  return RetryWhileBusy(WriteAllAttempts, [this, op] { return map_.Execute(op); });
}

TResult TJobEngine::RunSettingsPage() {
  uint8_t progress = 0;
  for (uint8_t op : {OpReadSettings, OpReadClock}) {
    const TResult r = Execute(op, false);
    if (r != RESULT_OK) return r;
    progress = static_cast<uint8_t>(progress + 50);
    ReportProgress(progress);
    if (state_.Cancel) return RESULT_ABORTED;
  }
  return RESULT_OK;
}

// Records one at a time, from RangeFirst (or, going on, from the record after the last one read)
// to the end of the range asked; a reply with another record number is the end of the archive.
// Whatever was read stays, sorted newest first; ArchiveNext names the record to go on from.
TResult TJobEngine::RunArchive() {
  if (archiveMode_ != TArchiveMode::Continue) {
    image_.ClearArchive();
    image_.ArchiveAskedLast = image_.RangeLast;
    image_.ArchiveNext = image_.RangeFirst;
  }
  const uint32_t first = image_.ArchiveNext;
  const uint32_t last = image_.ArchiveAskedLast;
  TResult result = RESULT_OK;
  for (uint32_t i = first; i <= last; ++i) {
    image_.RecordIndex = static_cast<uint16_t>(i);
    result = Execute(OpReadRecord, false);
    if (result != RESULT_OK) break;
    if (image_.MeasRecord.Number != i) {
      image_.ArchiveNext = last + 1;
      break;
    }
    image_.AppendRecord();
    image_.ArchiveNext = i + 1;
    if (!stopping_ && state_.OnRecord) state_.OnRecord(image_.MeasRecord);
    ReportProgress(static_cast<uint8_t>((i - first) * 100 / (last - first + 1)));
    if (state_.Cancel) {
      result = RESULT_ABORTED;
      break;
    }
  }
  image_.SortArchive();
  return result;
}

// A job stops at its failing transaction, so the last one tells whether an exception reply of
// the instrument gave the job's result.
bool TJobEngine::FailedOnException(TResult result) const {
  const int16_t code = bus_.LastTrace().Exception;
  return result != RESULT_OK && code >= 0 && ExceptionResult(static_cast<uint8_t>(code)) == result;
}

void TJobEngine::ReportProgress(uint8_t value) {
  state_.Progress = value;
  if (!stopping_ && state_.OnProgress) state_.OnProgress(value);
}

void TJobEngine::NotifyJobStart() {
  if (!stopping_ && state_.OnJobStart) state_.OnJobStart();
}

void TJobEngine::NotifyJobDone(TResult result) {
  if (!stopping_ && state_.OnJobDone) state_.OnJobDone(result);
}
