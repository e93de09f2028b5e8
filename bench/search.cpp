// The search of addresses 1..255 at 9600 Bd against two simulated instruments (at 40 and 200)
// that answer 5 ms late and at the pace of the wire: the standard search with its 150 ms per
// address, and the fast one with its timeout from the rate and the measured latency. One line
// each: search mode=standard rate=9600 seconds=S found=2.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "instrument/Mipunit.h"
#include "sim/Simulator.h"

namespace {

constexpr uint32_t kRate = 9600;

bool Search(k7104sim::Line& line, TSearchMode mode, double& seconds, int& found) {
  TMIP mip;
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  mip.OnJobDone = [&](TResult) {
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
    done.notify_all();
  };
  mip.Bus.SetPortDevice(mip.Bus.PortIndex(), line.SlavePath());
  mip.Bus.SetBaudIndex(DefaultBaudIndex);
  if (mip.Bus.BaudRate() != kRate || !mip.Bus.OpenPort()) return false;
  mip.RangeFirst = 1;
  mip.RangeLast = 255;
  mip.SearchMode = mode;
  const auto started = std::chrono::steady_clock::now();
  if (!mip.StartJob(JobSearch)) return false;
  std::unique_lock<std::mutex> lock(mutex);
  done.wait(lock, [&] { return finished; });
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  found = mip.FoundCount;
  return mip.JobResult == RESULT_OK;
}

}  // namespace

int main() {
  k7104sim::LineOptions options;
  options.paceBaud = kRate;
  options.replyDelayMs = 5;
  k7104sim::Line line(options);
  line.AddInstrument({40, 1, 32, 32});
  line.AddInstrument({200, 6, 16, 16});
  if (!line.Start()) {
    std::fprintf(stderr, "bench_search: the simulated line would not start\n");
    return 1;
  }
  for (const auto& [mode, name] :
       {std::pair{TSearchMode::Standard, "standard"}, std::pair{TSearchMode::Fast, "fast"}}) {
    double seconds = 0;
    int found = 0;
    if (!Search(line, mode, seconds, found)) {
      std::fprintf(stderr, "bench_search: the %s search failed\n", name);
      return 1;
    }
    std::printf("search mode=%s rate=%u seconds=%.2f found=%d\n", name, kRate, seconds, found);
    std::fflush(stdout);
  }
  return 0;
}
