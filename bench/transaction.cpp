// Time of a 32-channel current-values read (01 03 03 00 00 40, a reply of 133 bytes) against the
// simulated instrument paced like a wire, with and without the end of a reply by its length,
// beside the time the 141 characters take on the line; the last row with a traffic log that a
// reader drains and formats every 100 ms, as the traffic monitor does. A failed transaction (a
// paced line on a loaded machine may stall mid-reply) is counted on its row, never the end of the
// run; the median is of the transactions that went through.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

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

}  // namespace

int main(int argc, char** argv) {
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
  return 0;
}
