// Archive read throughput: 1000 records of 32 channels from a simulated instrument whose line is
// paced at 115200 Bd, against what the line itself allows (an 8-character request and a
// 141-character reply per record, 12 bit times a character). A record that fails (a paced line on
// a loaded machine may stall mid-reply) is counted and the read goes on from it, up to ten times.
// Prints figures; asserts nothing.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "instrument/Mipunit.h"
#include "sim/Simulator.h"

namespace {

constexpr uint32_t Baud = 115200;
constexpr int BaudIndex115200 = 12;
constexpr uint16_t Records = 1000;
constexpr uint16_t Channels = 32;
constexpr double RequestCharacters = 8;
constexpr double ReplyCharacters = 4 * Channels + 9 + 4;  // 141: data, address, function, CRC
constexpr double BitsPerCharacter = 12;
constexpr int MaxFailures = 10;

double LineLimitRecordsPerSecond() {
  return Baud / (BitsPerCharacter * (RequestCharacters + ReplyCharacters));
}

}  // namespace

int main() {
  k7104sim::LineOptions options;
  options.paceBaud = Baud;
  k7104sim::Line line(options);
  line.AddInstrument({1, 1, Channels, 32}).SetArchiveDepth(Records);
  if (!line.Start()) {
    std::fprintf(stderr, "cannot start the simulated line\n");
    return 1;
  }

  TMIP mip;
  mip.Bus.SetPortDevice(mip.Bus.PortIndex(), line.SlavePath());
  mip.Bus.SetBaudIndex(BaudIndex115200);
  if (!mip.Bus.OpenPort()) {
    std::fprintf(stderr, "cannot open %s\n", line.SlavePath().c_str());
    return 1;
  }

  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  TResult result = RESULT_OK;
  mip.OnJobDone = [&](TResult r) {
    std::lock_guard<std::mutex> lock(mutex);
    result = r;
    done = true;
    finished.notify_all();
  };

  size_t records = 0;
  int failed = 0;
  const auto start = std::chrono::steady_clock::now();
  while (records < Records && failed <= MaxFailures) {
    mip.RangeFirst = static_cast<uint16_t>(records + 1);
    mip.RangeLast = Records;
    done = false;
    if (!mip.StartJob(JobReadArchive)) return 1;
    {
      std::unique_lock<std::mutex> lock(mutex);
      finished.wait(lock, [&] { return done; });
    }
    records += mip.ArchiveCount();
    if (result == RESULT_OK) break;  // read to the end of the archive
    std::fprintf(stderr, "record %zu failed: %u %s\n", records + 1, result, ResultMessage(result));
    ++failed;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const double measured = static_cast<double>(records) / seconds;
  const double limit = LineLimitRecordsPerSecond();
  std::printf("archive read at %u Bd, %u channels: %zu records in %.3f s, %d failed%s\n", Baud,
              Channels, records, seconds, failed, failed > 0 ? " (read again from each)" : "");
  std::printf("  records per second:      %8.2f\n", measured);
  std::printf("  line limit (%g + %g characters a record): %8.2f records per second\n",
              RequestCharacters, ReplyCharacters, limit);
  std::printf("  ratio to the line limit: %8.3f\n", measured / limit);
  return records == Records ? 0 : 1;
}
