// The search of addresses 1..255 at 9600 Bd against two simulated instruments (at 40 and 200)
// that answer 5 ms late and at the pace of the wire: the standard search with its 150 ms per
// address, and the fast one with its timeout from the rate and the measured latency. One line
// each: search mode=standard rate=9600 seconds=S found=2. Then the rate search of one address
// over all 15 rates against an instrument whose interface runs at 19200 only:
// search mode=rates rates=15 address=40 seconds=S found=1.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "instrument/Mipunit.h"
#include "sim/Simulator.h"

namespace {

constexpr uint32_t kRate = 9600;

// The end of a job, told from the job thread; made before the instrument object, so it outlives
// the callback.
struct JobEnd {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
};

// Runs the job over first..last on a fresh instrument object at 9600 Bd; how long it took.
bool RunSearchJob(k7104sim::Line& line, JobEnd& end, TMIP& mip, uint8_t job, uint8_t first,
                  uint8_t last, double& seconds) {
  mip.OnJobDone = [&end](TResult) {
    std::lock_guard<std::mutex> lock(end.mutex);
    end.finished = true;
    end.done.notify_all();
  };
  mip.Bus.SetPortDevice(mip.Bus.PortIndex(), line.SlavePath());
  mip.Bus.SetBaudIndex(DefaultBaudIndex);
  if (mip.Bus.BaudRate() != kRate || !mip.Bus.OpenPort()) return false;
  mip.RangeFirst = first;
  mip.RangeLast = last;
  const auto started = std::chrono::steady_clock::now();
  if (!mip.StartJob(job)) return false;
  std::unique_lock<std::mutex> lock(end.mutex);
  end.done.wait(lock, [&end] { return end.finished; });
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return mip.JobResult == RESULT_OK;
}

bool Search(k7104sim::Line& line, TSearchMode mode, double& seconds, int& found) {
  JobEnd end;
  TMIP mip;
  mip.SearchMode = mode;
  if (!RunSearchJob(line, end, mip, JobSearch, 1, 255, seconds)) return false;
  found = mip.FoundCount;
  return true;
}

// One address at every rate; the instrument there understands 19200 only and answers at once.
bool RateSearch() {
  constexpr uint8_t kAddress = 40;
  k7104sim::Line line;
  line.AddInstrument({kAddress, 1, 32, 32, 19200});
  JobEnd end;
  TMIP mip;
  double seconds = 0;
  if (!line.Start() || !RunSearchJob(line, end, mip, JobRateSearch, kAddress, kAddress, seconds)) {
    std::fprintf(stderr, "bench_search: the rate search failed\n");
    return false;
  }
  std::printf("search mode=rates rates=%d address=%u seconds=%.2f found=%zu\n", BaudRateCount,
              kAddress, seconds, mip.RateFinds.size());
  return true;
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
  return RateSearch() ? 0 : 1;
}
