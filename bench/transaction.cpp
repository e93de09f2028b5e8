// Time of a 32-channel current-values read (01 03 03 00 00 40, a reply of 133 bytes) against the
// simulated instrument paced like a wire, with and without the end of a reply by its length,
// beside the time the 141 characters take on the line; the last row with a traffic log that a
// reader drains and formats every 100 ms, as the traffic monitor does. A failed transaction (a
// paced line on a loaded machine may stall mid-reply) is counted on its row, never the end of the
// run; the median is of the transactions that went through.
//
// Then the line over Ethernet, the simulated line served over TCP at 9600 Bd on this machine's
// loopback, and again with 20 ms of round trip (netem on the loopback of a network namespace of
// the program's own, where the system allows one): the same read in each mode, a read all
// through RTU over TCP against its serial wire time plus one round trip per transaction, and a
// search of 1..247 through the simulator's Modbus TCP gateway with two instruments. One line
// each in name=value form.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "instrument/Mipunit.h"
#include "modbus/Modbusunit.h"
#include "modbus/Traffic.h"
#include "sim/Simulator.h"

namespace {

constexpr int kCharacters = 8 + 133;

double MedianMs(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

// Takes the log's records every 100 ms and formats them, until stopped.
class Reader {
 public:
  explicit Reader(std::shared_ptr<TTrafficLog> log)
      : log_(std::move(log)), thread_([this] { Run(); }) {}
  ~Reader() {
    stop_ = true;
    thread_.join();
  }
  size_t Lines() const { return lines_; }

 private:
  void Run() {
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      for (const TTrafficRecord& record : log_->Take()) lines_ += TrafficLines(record).size();
    }
  }
  std::shared_ptr<TTrafficLog> log_;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> lines_{0};
  std::thread thread_;
};

struct Row {
  double medianMs = 0;
  int failed = 0;
};

bool Measure(uint8_t baudIndex, bool byLength, bool traffic, int rounds, Row& row) {
  k7104sim::LineOptions options;
  options.paceBaud = BaudRates[baudIndex];
  k7104sim::Line line(options);
  line.AddInstrument({1, 1, 32, 32});
  if (!line.Start()) return false;
  TModBus bus;
  bus.SetPortDevice(bus.PortIndex(), line.SlavePath());
  bus.SetBaudIndex(baudIndex);
  bus.SetFrameEndByLength(byLength);
  if (!bus.OpenPort()) return false;
  std::unique_ptr<Reader> reader;
  if (traffic) {
    auto log = std::make_shared<TTrafficLog>();
    bus.SetTrafficLog(log);
    reader = std::make_unique<Reader>(log);
  }

  std::vector<double> samples;
  for (int round = -3; round < rounds; ++round) {
    TModBusFrame& request = bus.RequestFrame();
    request.SetAddress(1);
    request.SetFunction(3);
    request.SetDataLength(4);
    const uint8_t data[] = {0x03, 0x00, 0x00, 0x40};
    std::memcpy(request.FrameData(), data, sizeof data);
    const auto started = std::chrono::steady_clock::now();
    const TResult result = bus.Transaction();
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - started;
    if (result != RESULT_OK || bus.ReplyFrame().DataLength() != 129) {
      std::fprintf(stderr, "transaction failed: %u %s\n", result, ResultMessage(result));
      ++row.failed;
      continue;
    }
    if (round >= 0) samples.push_back(took.count());
  }
  row.medianMs = samples.empty() ? 0 : MedianMs(samples);
  return true;
}

void SetCurrentValuesRequest(TModBus& bus) {
  TModBusFrame& request = bus.RequestFrame();
  request.SetAddress(1);
  request.SetFunction(3);
  request.SetDataLength(4);
  const uint8_t data[] = {0x03, 0x00, 0x00, 0x40};
  std::memcpy(request.FrameData(), data, sizeof data);
}

constexpr uint8_t kNetworkBaudIndex = 6;  // 9600
constexpr int kNetworkRounds = 10;

struct NetworkMode {
  TNetworkMode channel;
  k7104sim::NetworkMode sim;
};
constexpr NetworkMode kNetworkModes[] = {
    {TNetworkMode::RtuOverTcp, k7104sim::NetworkMode::Rtu},
    {TNetworkMode::ModbusTcp, k7104sim::NetworkMode::Mbap},
    {TNetworkMode::Rfc2217, k7104sim::NetworkMode::Rfc2217},
};

// A simulated line over TCP, paced at the rate, with instruments at the addresses given.
std::unique_ptr<k7104sim::Line> ServedLine(k7104sim::NetworkMode mode, uint32_t paceBaud,
                                           std::initializer_list<uint8_t> addresses) {
  k7104sim::LineOptions options;
  options.paceBaud = paceBaud;
  options.tcpPort = 0;
  options.networkMode = mode;
  auto line = std::make_unique<k7104sim::Line>(options);
  for (uint8_t address : addresses) line->AddInstrument({address, 1, 32, 32});
  return line->Start() ? std::move(line) : nullptr;
}

TLineDescription Loopback(const k7104sim::Line& line, TNetworkMode mode) {
  return {TLineKind::Network, "127.0.0.1", line.TcpPort(), mode};
}

// The median of a request and reply that take no time on a wire: the round trip with the
// simulator's own handling.
bool RoundTripMs(double& medianMs) {
  const auto line = ServedLine(k7104sim::NetworkMode::Rtu, 0, {1});
  TModBus bus;
  if (!line) return false;
  bus.SetLine(Loopback(*line, TNetworkMode::RtuOverTcp));
  if (!bus.OpenPort()) return false;
  std::vector<double> samples;
  for (int round = 0; round < 20; ++round) {
    SetCurrentValuesRequest(bus);
    const auto started = std::chrono::steady_clock::now();
    if (bus.Transaction() != RESULT_OK) return false;
    samples.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count());
  }
  medianMs = MedianMs(samples);
  return true;
}

bool MeasureNetworkRead(const NetworkMode& mode, Row& row) {
  const auto line = ServedLine(mode.sim, BaudRates[kNetworkBaudIndex], {1});
  if (!line) return false;
  TModBus bus;
  bus.SetLine(Loopback(*line, mode.channel));
  bus.SetBaudIndex(kNetworkBaudIndex);
  if (!bus.OpenPort()) return false;
  std::vector<double> samples;
  for (int round = -1; round < kNetworkRounds; ++round) {
    SetCurrentValuesRequest(bus);
    const auto started = std::chrono::steady_clock::now();
    const TResult result = bus.Transaction();
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - started;
    if (result != RESULT_OK) {
      ++row.failed;
      continue;
    }
    if (round >= 0) samples.push_back(took.count());
  }
  row.medianMs = samples.empty() ? 0 : MedianMs(samples);
  return true;
}

// Runs a job on the TMIP and waits for its end; its result.
TResult RunJob(TMIP& mip, uint8_t job) {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  mip.OnJobDone = [&](TResult) {
    std::lock_guard lock(mutex);
    finished = true;
    done.notify_all();
  };
  if (!mip.StartJob(job)) return RESULT_PORT_BUSY;
  std::unique_lock lock(mutex);
  done.wait(lock, [&] { return finished; });
  return mip.JobResult;
}

// Read all through RTU over TCP: its time, its transactions and their characters on the wire.
bool MeasureReadAll(double& seconds, size_t& transactions, double& wireSeconds) {
  const auto line = ServedLine(k7104sim::NetworkMode::Rtu, BaudRates[kNetworkBaudIndex], {1});
  if (!line) return false;
  TMIP mip;
  auto log = std::make_shared<TTrafficLog>();
  mip.Bus.SetTrafficLog(log);
  mip.Bus.SetLine(Loopback(*line, TNetworkMode::RtuOverTcp));
  mip.Bus.SetBaudIndex(kNetworkBaudIndex);
  if (!mip.Bus.OpenPort()) return false;
  mip.Address = 1;
  log->Take();
  const auto started = std::chrono::steady_clock::now();
  if (RunJob(mip, JobReadAll) != RESULT_OK) return false;
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const auto records = log->Take();
  transactions = records.size();
  size_t characters = 0;
  for (const TTrafficRecord& record : records)
    characters += record.RequestLength + record.ReplyLength;
  wireSeconds = characters * TModBus::CharacterMs(BaudRates[kNetworkBaudIndex]) / 1000.0;
  return true;
}

bool MeasureGatewaySearch(double& seconds, int& found) {
  const auto line =
      ServedLine(k7104sim::NetworkMode::Mbap, BaudRates[kNetworkBaudIndex], {40, 200});
  if (!line) return false;
  TMIP mip;
  mip.Bus.SetLine(Loopback(*line, TNetworkMode::ModbusTcp));
  mip.Bus.SetBaudIndex(kNetworkBaudIndex);
  if (!mip.Bus.OpenPort()) return false;
  mip.RangeFirst = 1;
  mip.RangeLast = 247;
  const auto started = std::chrono::steady_clock::now();
  if (RunJob(mip, JobSearch) != RESULT_OK) return false;
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  found = mip.FoundCount;
  return true;
}

int NetworkRows(const char* link) {
  double rttMs = 0;
  if (!RoundTripMs(rttMs)) {
    std::fprintf(stderr, "bench_transaction: no round trip over %s\n", link);
    return 1;
  }
  const double wireMs = kCharacters * TModBus::CharacterMs(BaudRates[kNetworkBaudIndex]);
  for (const NetworkMode& mode : kNetworkModes) {
    Row row;
    if (!MeasureNetworkRead(mode, row)) {
      std::fprintf(stderr, "bench_transaction: no line over %s\n", NetworkModeName(mode.channel));
      return 1;
    }
    std::printf(
        "network link=%s mode=%s rate=9600 rtt_ms=%.2f read32_ms=%.2f wire_ms=%.2f ratio=%.3f "
        "failed=%d\n",
        link, NetworkModeName(mode.channel), rttMs, row.medianMs, wireMs,
        row.medianMs / (wireMs + rttMs), row.failed);
    std::fflush(stdout);
  }
  double seconds = 0, wireSeconds = 0;
  size_t transactions = 0;
  if (!MeasureReadAll(seconds, transactions, wireSeconds)) return 1;
  const double expected = wireSeconds + transactions * rttMs / 1000.0;
  std::printf(
      "readall link=%s mode=rtu rate=9600 transactions=%zu seconds=%.3f wire_seconds=%.3f "
      "rtt_ms=%.2f ratio=%.3f\n",
      link, transactions, seconds, wireSeconds, rttMs, seconds / expected);
  int found = 0;
  if (!MeasureGatewaySearch(seconds, found)) return 1;
  std::printf("search link=%s mode=mbap rate=9600 first=1 last=247 seconds=%.2f found=%d\n", link,
              seconds, found);
  std::fflush(stdout);
  return 0;
}

constexpr int kDelayedRowsFailed = 3;

// The network rows again in a network namespace of our own whose loopback delays every packet
// by 10 ms each way; a line with the reason where the system does not allow it.
int NetworkRowsWithDelay(const char* self) {
  std::fflush(stdout);
  const std::string command = std::string("unshare -n ") + self + " --delayed-loopback 2>/dev/null";
  const int status = std::system(command.c_str());
  if (WIFEXITED(status) && WEXITSTATUS(status) == kDelayedRowsFailed) return 1;
  if (status != 0)
    std::printf(
        "network link=loopback+20ms skipped=unshare -n refused (no right to make a "
        "network namespace)\n");
  return 0;
}

// In the namespace: its loopback up and delayed, then the rows.
int DelayedLoopbackRows() {
  if (std::system("ip link set lo up 2>/dev/null") != 0) {
    std::printf("network link=loopback+20ms skipped=no loopback in the namespace\n");
    return 0;
  }
  if (std::system("tc qdisc add dev lo root netem delay 10ms 2>/dev/null") != 0) {
    std::printf(
        "network link=loopback+20ms skipped=tc refused netem (no sch_netem in this "
        "kernel, or no right to change it)\n");
    return 0;
  }
  return NetworkRows("loopback+20ms") == 0 ? 0 : kDelayedRowsFailed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--delayed-loopback") == 0) return DelayedLoopbackRows();
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  std::printf("%-8s %-16s %10s %12s %7s %7s\n", "rate", "reply end", "wire, ms", "median, ms",
              "ratio", "failed");
  for (uint8_t baudIndex : {uint8_t{6}, uint8_t{12}}) {
    const uint32_t rate = BaudRates[baudIndex];
    const double wireMs = kCharacters * 12 * 1000.0 / rate;
    for (int variant = 0; variant < 3; ++variant) {
      const bool byLength = variant != 1;
      const bool traffic = variant == 2;
      Row row;
      if (!Measure(baudIndex, byLength, traffic, rounds, row)) return 1;
      const char* name = traffic ? "by length+log" : byLength ? "by length" : "by silence";
      std::printf("%-8u %-16s %10.2f %12.2f %7.3f %7d%s\n", rate, name, wireMs, row.medianMs,
                  row.medianMs > 0 ? wireMs / row.medianMs : 0.0, row.failed,
                  row.failed > 0 ? "  (failed transactions left out of the median)" : "");
    }
  }
  std::fflush(stdout);
  if (NetworkRows("loopback") != 0) return 1;
  if (access("/usr/bin/unshare", X_OK) != 0) {
    std::printf("network link=loopback+20ms skipped=no unshare (util-linux)\n");
    return 0;
  }
  return NetworkRowsWithDelay(argv[0]);
}
