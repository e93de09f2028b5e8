#include "cli/JobRunner.h"

#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>

#include "files/ArchiveText.h"
#include "instrument/JobMessages.h"

namespace cli {

JobRunner::JobRunner() {
  showProgress_ = isatty(STDERR_FILENO) == 1;
  mip_.OnProgress = [this](uint8_t value) { ShowProgress(value); };
  mip_.OnJobDone = [this](TResult result) {
    std::lock_guard lock(mutex_);
    result_ = result;
    finished_ = true;
    done_.notify_all();
  };
}

bool JobRunner::Open(const Options& options) {
  mip_.Address = options.address;
  return OpenChannel(mip_.Bus, options);
}

TResult JobRunner::Run(uint8_t jobCode) {
  {
    std::lock_guard lock(mutex_);
    finished_ = false;
  }
  shownProgress_ = -1;
  if (!mip_.StartJob(jobCode)) return RESULT_PORT_BUSY;
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return finished_; });
  if (showProgress_ && shownProgress_ >= 0) std::fputc('\n', stderr);
  return result_;
}

TResult JobRunner::RunOverRange(uint8_t jobCode, uint16_t first, uint16_t last) {
  mip_.RangeFirst = first;
  mip_.RangeLast = last;
  return Run(jobCode);
}

int JobRunner::Fail(TResult result) const {
  std::fprintf(stderr, "%s\n", FailureSentence(result, mip_.CurrentOp).c_str());
  return result;
}

void JobRunner::ShowProgress(uint8_t value) {
  if (!showProgress_ || value == shownProgress_) return;
  shownProgress_ = value;
  std::fprintf(stderr, "\r%3u%%", value);
  std::fflush(stderr);
}

std::string RegionalSeparator() {
  const lconv* conventions = std::localeconv();
  if (conventions == nullptr || conventions->decimal_point == nullptr ||
      conventions->decimal_point[0] == '\0')
    return ".";
  return conventions->decimal_point;
}

std::string RegionalFixed(double value, int decimals) {
  return FixedText(value, decimals, RegionalSeparator());
}

std::string RegionalDateTime(TDateTime value) {
  return DateTimeText(value, nl_langinfo(D_FMT), nl_langinfo(T_FMT));
}

std::string MeasurementText(float value) {
  const char* marker = MeasurementMarkerText(value);
  return marker ? marker : RegionalFixed(value, 3);
}

}  // namespace cli
