// Soak of the channel against the simulated line: many transactions, a few percent of them with a
// fault of every kind the simulator offers, and after each one a check of what the channel said
// against what the instrument really holds. Prints per fault kind how often it came, the results
// it gave, how many wrong values were taken for right ones, how many transactions hung, and the
// longest transaction against its bound; the last line sums up for scripts.
//
//   bench_soak [TRANSACTIONS] [FAULT_PERCENT] [WAIT_MS]
//
// Requests go round-robin to two instruments, as a poll of a line does, and each is one of: read
// holding registers (3), read coils (1), write registers (16), write coils (15), write one
// register (6), write one coil (5), on the setpoints and the channels' coils. A reply counts as
// taken only after the check every caller makes: the data length a read of that many registers or
// coils has.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "modbus/Modbusunit.h"
#include "sim/Simulator.h"

namespace {

using k7104sim::Fault;
using k7104sim::FaultKind;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBaud = 115200;
constexpr int kHangLimitMs = 10000;  // a transaction still running then is taken for hung

struct KindInfo {
  const char* name;
  bool faulty;  // false: a reply may still be right (an echo, a late one that came in time)
};

enum Kind {
  None,
  NoReply,
  BadCrc,
  Truncate,
  Short,
  Busy,
  Exception,
  Stray,
  Repeat,
  Echo,
  Late,
  OtherAddress,
  OtherFunction,
  ByteCount,
  WriteEcho,
  KindCount
};

const KindInfo kKinds[KindCount] = {
    {"none", false},   {"noreply", true},   {"badcrc", true},    {"truncate", true},
    {"short", true},   {"busy", true},      {"exception", true}, {"stray", true},
    {"repeat", true},  {"echo", false},     {"late", false},     {"otheraddr", true},
    {"otherfn", true}, {"bytecount", true}, {"writeecho", true},
};

enum Request { ReadHolding, ReadCoils, WriteRegisters, WriteCoils, WriteOne, WriteOneCoil };

struct KindFigures {
  uint64_t count = 0;
  std::map<int, uint64_t> results;
  uint64_t wrongAccepted = 0;
  uint64_t hangs = 0;      // ended only by the watchdog
  uint64_t overBound = 0;  // longer than the bound, but ended on their own
  double longestMs = 0;
  double boundMs = 0;  // the bound of the longest one
};

// What one transaction asked for: enough to check the reply against the instrument.
struct Asked {
  Request request = ReadHolding;
  uint8_t address = 1;
  uint16_t first = 0;
  uint16_t count = 0;
  std::vector<uint16_t> values;  // written registers, or coils as 0/1
};

bool IsRead(Request r) {
  return r == ReadHolding || r == ReadCoils;
}

// The longest a transaction may take: the write, the wait for the first byte, the longest reply
// the line can carry and its silence, twice over for the second read after a lone echo.
double BoundMs(const TModBus& bus, size_t requestBytes) {
  const double character = TModBus::CharacterMs(bus.BaudRate());
  const double silence = TModBus::SilenceMs(bus.BaudRate());
  const double read = bus.WaitTime() + 256 * character + silence;
  return requestBytes * character + bus.WaitTime() + 2 * read + 50;  // 50: scheduling
}

class Watchdog {
 public:
  explicit Watchdog(TModBus& bus) : bus_(bus), thread_([this] { Run(); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Begin() {
    std::lock_guard lock(mutex_);
    running_ = true;
    fired_ = false;
    started_ = Clock::now();
    wake_.notify_all();
  }
  // True when the transaction had to be ended from outside.
  bool End() {
    std::lock_guard lock(mutex_);
    running_ = false;
    return fired_;
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (!running_) {
        wake_.wait(lock);
        continue;
      }
      const auto limit = started_ + std::chrono::milliseconds(kHangLimitMs);
      if (wake_.wait_until(lock, limit) == std::cv_status::timeout && running_ && !fired_) {
        fired_ = true;
        bus_.ClosePort();  // ends the waiting transaction with 13
      }
    }
  }

  TModBus& bus_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool running_ = false;
  bool fired_ = false;
  Clock::time_point started_;
  std::thread thread_;
};

void PutWord(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}

// Stable parts of the register map: nothing but the master changes them.
constexpr uint16_t kRegistersFirst = 1152;  // setpoints
constexpr uint16_t kBlockRegisters = 64;
constexpr uint16_t kCoilsCount = 96;  // break checks, square roots, connection types

// Mostly what the register map sends; the single writes only the raw command sends, and each
// costs a whole reply timeout when its reply repeats the request.
Request PickRequest(std::mt19937& random) {
  const uint32_t roll = random() % 100;
  if (roll < 30) return ReadHolding;
  if (roll < 50) return ReadCoils;
  if (roll < 75) return WriteRegisters;
  if (roll < 94) return WriteCoils;
  return roll < 97 ? WriteOne : WriteOneCoil;
}

// One of the four setpoint blocks: 64 registers of 32 channels at 1152 + 128 k.
uint16_t SetpointBlock(std::mt19937& random) {
  return static_cast<uint16_t>(kRegistersFirst + 128 * (random() % 4));
}

Asked MakeRequest(std::mt19937& random, uint8_t address, TModBusFrame& frame) {
  Asked asked;
  asked.address = address;
  asked.request = PickRequest(random);
  frame.SetAddress(address);
  uint8_t* data = frame.FrameData();
  switch (asked.request) {
    case ReadHolding:
    case WriteRegisters: {
      asked.count = static_cast<uint16_t>(1 + random() % 64);
      asked.first = static_cast<uint16_t>(SetpointBlock(random) +
                                          random() % (kBlockRegisters - asked.count + 1));
      PutWord(data, asked.first);
      PutWord(data + 2, asked.count);
      if (asked.request == ReadHolding) {
        frame.SetFunction(3);
        frame.SetDataLength(4);
        break;
      }
      frame.SetFunction(16);
      data[4] = static_cast<uint8_t>(2 * asked.count);
      for (uint16_t k = 0; k < asked.count; ++k) {
        asked.values.push_back(static_cast<uint16_t>(random()));
        PutWord(data + 5 + 2 * k, asked.values.back());
      }
      frame.SetDataLength(static_cast<uint16_t>(5 + 2 * asked.count));
      break;
    }
    case ReadCoils:
    case WriteCoils: {
      asked.count = static_cast<uint16_t>(1 + random() % 64);
      asked.first = static_cast<uint16_t>(random() % (kCoilsCount - asked.count + 1));
      PutWord(data, asked.first);
      PutWord(data + 2, asked.count);
      if (asked.request == ReadCoils) {
        frame.SetFunction(1);
        frame.SetDataLength(4);
        break;
      }
      frame.SetFunction(15);
      const uint16_t bytes = static_cast<uint16_t>((asked.count + 7) / 8);
      data[4] = static_cast<uint8_t>(bytes);
      std::memset(data + 5, 0, bytes);
      for (uint16_t j = 0; j < asked.count; ++j) {
        asked.values.push_back(random() & 1);
        if (asked.values.back()) data[5 + j / 8] |= static_cast<uint8_t>(1 << (j % 8));
      }
      frame.SetDataLength(static_cast<uint16_t>(5 + bytes));
      break;
    }
    case WriteOne:
      asked.count = 1;
      asked.first = static_cast<uint16_t>(SetpointBlock(random) + random() % kBlockRegisters);
      asked.values.push_back(static_cast<uint16_t>(random()));
      frame.SetFunction(6);
      PutWord(data, asked.first);
      PutWord(data + 2, asked.values.back());
      frame.SetDataLength(4);
      break;
    case WriteOneCoil:
      asked.count = 1;
      asked.first = static_cast<uint16_t>(random() % kCoilsCount);
      asked.values.push_back(random() & 1);
      frame.SetFunction(5);
      PutWord(data, asked.first);
      PutWord(data + 2, asked.values.back() ? 0xFF00 : 0x0000);
      frame.SetDataLength(4);
      break;
  }
  return asked;
}

// The kinds that can touch this request: a byte count only in read replies, an echo of
// registers only in write replies. A lone repeat of a single write is its valid reply, so a
// repeat that is no reply is tried on the other requests only.
bool Applies(Kind kind, Request request) {
  switch (kind) {
    case Short:
    case ByteCount:
      return IsRead(request);
    case WriteEcho:
      return !IsRead(request);
    case Repeat:
      return request != WriteOne && request != WriteOneCoil;
    default:
      return true;
  }
}

Fault MakeFault(Kind kind, std::mt19937& random, uint8_t address, uint8_t function, int waitMs) {
  Fault fault{FaultKind::NoReply};
  fault.address = address;
  fault.times = 1;
  switch (kind) {
    case NoReply:
      fault.kind = FaultKind::NoReply;
      break;
    case BadCrc:
      fault.kind = FaultKind::BadCrc;
      fault.arg = static_cast<int>(random() % 2);
      break;
    case Truncate:
      fault.kind = FaultKind::Truncate;
      fault.arg = static_cast<int>(1 + random() % 3);
      break;
    case Short:
      fault.kind = FaultKind::ShortByOneRegister;
      break;
    case Busy:
      fault.kind = FaultKind::Busy;
      break;
    case Exception:
      fault.kind = FaultKind::Exception;
      fault.arg = static_cast<int>(random() % 256);
      break;
    case Stray:
      fault.kind = FaultKind::Stray;
      fault.arg = static_cast<int>(1 + random() % 40);
      break;
    case Repeat:
      fault.kind = FaultKind::RepeatRequest;
      break;
    case Echo:
      fault.kind = FaultKind::Echo;
      fault.arg = static_cast<int>(random() % (waitMs / 2));
      break;
    // Late enough to miss its own wait, early enough to land in the next transaction's.
    case Late:
      fault.kind = FaultKind::Late;
      fault.arg = waitMs + 10 + static_cast<int>(random() % (waitMs / 2));
      break;
    case OtherAddress: {
      fault.kind = FaultKind::OtherAddress;
      int other = 0;
      do other = static_cast<int>(random() % 256);
      while (other == address);
      fault.arg = other;
      break;
    }
    case OtherFunction: {
      fault.kind = FaultKind::OtherFunction;
      do fault.arg = static_cast<int>(random() % 256);
      while (fault.arg == function);
      break;
    }
    case ByteCount:
      fault.kind = FaultKind::ByteCount;
      fault.arg = static_cast<int>(1 + random() % 255);
      break;
    case WriteEcho:
      fault.kind = FaultKind::WriteEcho;
      fault.arg = static_cast<int>(1 + random() % 100);
      break;
    default:
      break;
  }
  return fault;
}

// Whether the taken reply says what the instrument holds, and a write took effect.
bool ReplyIsTrue(const Asked& asked, const TModBusFrame& reply, k7104sim::Instrument& instrument) {
  const uint8_t* data = reply.FrameData();
  switch (asked.request) {
    case ReadHolding:
      for (uint16_t k = 0; k < asked.count; ++k) {
        const uint16_t value = static_cast<uint16_t>(data[1 + 2 * k] << 8 | data[2 + 2 * k]);
        if (value != instrument.HoldingRegister(static_cast<uint16_t>(asked.first + k)))
          return false;
      }
      return true;
    case ReadCoils:
      for (uint16_t j = 0; j < asked.count; ++j) {
        const bool on = (data[1 + j / 8] >> (j % 8)) & 1;
        if (on != instrument.Coil(static_cast<uint16_t>(asked.first + j))) return false;
      }
      return true;
    case WriteRegisters:
    case WriteOne:
      for (uint16_t k = 0; k < asked.count; ++k)
        if (instrument.HoldingRegister(static_cast<uint16_t>(asked.first + k)) != asked.values[k])
          return false;
      return true;
    case WriteCoils:
    case WriteOneCoil:
      for (uint16_t j = 0; j < asked.count; ++j)
        if (instrument.Coil(static_cast<uint16_t>(asked.first + j)) != (asked.values[j] != 0))
          return false;
      return true;
  }
  return false;
}

uint16_t ExpectedDataLength(const Asked& asked) {
  if (asked.request == ReadHolding) return static_cast<uint16_t>(1 + 2 * asked.count);
  if (asked.request == ReadCoils) return static_cast<uint16_t>(1 + (asked.count + 7) / 8);
  return 0;
}

std::string ResultsText(const std::map<int, uint64_t>& results) {
  std::string text;
  for (const auto& [result, count] : results) {
    if (!text.empty()) text += ",";
    text += std::to_string(result) + ":" + std::to_string(count);
  }
  return text.empty() ? "-" : text;
}

}  // namespace

int main(int argc, char** argv) {
  const long transactions = argc > 1 ? std::atol(argv[1]) : 100000;
  const double faultPercent = argc > 2 ? std::atof(argv[2]) : 5.0;
  const int waitMs = argc > 3 ? std::atoi(argv[3]) : 40;

  k7104sim::Line line;
  k7104sim::Instrument* instruments[2] = {&line.AddInstrument({1, 1, 32, 32}),
                                          &line.AddInstrument({2, 6, 32, 32})};
  if (!line.Start()) {
    std::fprintf(stderr, "soak: no pseudo-terminal\n");
    return 1;
  }
  TModBus bus;
  bus.SetPortDevice(bus.PortIndex(), line.SlavePath());
  for (uint8_t i = 0; i < BaudRateCount; ++i)
    if (BaudRates[i] == kBaud) bus.SetBaudIndex(i);
  bus.SetWaitTime(static_cast<uint16_t>(waitMs));
  if (!bus.OpenPort()) {
    std::fprintf(stderr, "soak: cannot open %s\n", line.SlavePath().c_str());
    return 1;
  }

  std::mt19937 random(20261209);
  std::uniform_real_distribution<double> percent(0.0, 100.0);
  KindFigures figures[KindCount];
  uint64_t faults = 0, wrongAccepted = 0, hangs = 0;
  Watchdog watchdog(bus);
  const auto soakStart = Clock::now();

  for (long t = 0; t < transactions; ++t) {
    const uint8_t address = static_cast<uint8_t>(1 + t % 2);
    TModBusFrame& request = bus.RequestFrame();
    const Asked asked = MakeRequest(random, address, request);
    Kind kind = None;
    if (percent(random) < faultPercent) {
      do kind = static_cast<Kind>(1 + random() % (KindCount - 1));
      while (!Applies(kind, asked.request));
      line.AddFault(MakeFault(kind, random, address, request.Function, waitMs));
      ++faults;
    }
    const double bound = BoundMs(bus, request.Length + 2u);
    watchdog.Begin();
    const auto start = Clock::now();
    TResult result = bus.Transaction();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const bool fired = watchdog.End();
    if (result == RESULT_OK && IsRead(asked.request) &&
        bus.ReplyFrame().DataLength() != ExpectedDataLength(asked))
      result = RESULT_LENGTH;  // the check every caller makes

    KindFigures& f = figures[kind];
    ++f.count;
    ++f.results[result];
    if (ms > f.longestMs) {
      f.longestMs = ms;
      f.boundMs = bound;
    }
    if (fired) {
      ++f.hangs;
      ++hangs;
    } else if (ms > bound) {
      ++f.overBound;
    }
    if (fired && !bus.OpenPort()) {
      std::fprintf(stderr, "soak: the port would not open again\n");
      return 1;
    }
    // Taken means right: the values read are the instrument's, the values written are in it.
    // A fault that leaves no valid reply must not be taken at all.
    const bool mustFail = kKinds[kind].faulty;
    if (result == RESULT_OK &&
        (mustFail || !ReplyIsTrue(asked, bus.ReplyFrame(), *instruments[address - 1]))) {
      ++f.wrongAccepted;
      ++wrongAccepted;
    }
    line.ClearReceived();
    if ((t + 1) % 10000 == 0) std::fprintf(stderr, "soak: %ld transactions\n", t + 1);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - soakStart).count();

  for (int k = 0; k < KindCount; ++k) {
    const KindFigures& f = figures[k];
    std::printf(
        "kind=%-10s count=%-6llu results=%-28s wrong_accepted=%llu hangs=%llu "
        "over_bound=%llu longest_ms=%.1f bound_ms=%.1f\n",
        kKinds[k].name, static_cast<unsigned long long>(f.count), ResultsText(f.results).c_str(),
        static_cast<unsigned long long>(f.wrongAccepted), static_cast<unsigned long long>(f.hangs),
        static_cast<unsigned long long>(f.overBound), f.longestMs, f.boundMs);
  }
  std::printf("soak seconds=%.0f wait_ms=%d baud=%u fault_percent=%.1f\n", seconds, waitMs, kBaud,
              faultPercent);
  std::printf("soak transactions=%ld faults=%llu wrong_accepted=%llu hangs=%llu crashes=0\n",
              transactions, static_cast<unsigned long long>(faults),
              static_cast<unsigned long long>(wrongAccepted),
              static_cast<unsigned long long>(hangs));
  return wrongAccepted == 0 && hangs == 0 ? 0 : 1;
}
