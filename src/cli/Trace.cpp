#include "cli/Trace.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "modbus/Traffic.h"

namespace cli {

namespace {

// The printer takes the log's records on its own thread, so that a slow terminal never holds the
// line up.
class TracePrinter {
 public:
  TracePrinter() : log_(std::make_shared<TTrafficLog>()), thread_([this] { Run(); }) {}
  ~TracePrinter() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    Print();
  }

  std::shared_ptr<TTrafficLog> Log() const { return log_; }
  void Print() {
    std::lock_guard lock(printMutex_);
    for (const TTrafficRecord& record : log_->Take())
      for (const std::string& line : TrafficLines(record))
        std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      wake_.wait_for(lock, std::chrono::milliseconds(50));
      lock.unlock();
      Print();
      lock.lock();
    }
  }

  std::shared_ptr<TTrafficLog> log_;
  std::mutex printMutex_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;  // last: it starts once everything it uses is there
};

std::unique_ptr<TracePrinter>& Printer() {
  static std::unique_ptr<TracePrinter> printer;
  return printer;
}

}  // namespace

void StartTrace(TModBus& bus) {
  if (!Printer()) Printer() = std::make_unique<TracePrinter>();
  bus.SetTrafficLog(Printer()->Log());
}

void FlushTrace() {
  if (Printer()) Printer()->Print();
}

void StopTrace() {
  Printer().reset();
}

}  // namespace cli
