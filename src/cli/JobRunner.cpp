#include "cli/JobRunner.h"
#include "cli/Platform.h"
#include "cli/Trace.h"

#include <chrono>
#include <cstdio>

#include "instrument/JobMessages.h"
#include "instrument/NumberTexts.h"

namespace cli {

JobRunner::JobRunner() : journal_(std::make_unique<WriteJournal>(mip_.Bus)) {
  mip_.SetWriteObserver(&journal_->Recorder());
  showProgress_ = StderrIsTerminal();
  mip_.OnProgress = [this](uint8_t value) { ShowProgress(value); };
  mip_.OnJobDone = [this](TResult result) { runner_.Ended(result); };
}

bool JobRunner::Open(const Options& options) {
  journal_->Recorder().SetRequired(options.requireJournal);
  mip_.Address = options.address;
  mip_.SetReadRetries(options.readRetries);
  return OpenChannel(mip_.Bus, options);
}

TResult JobRunner::Run(uint8_t jobCode) {
  if (Interrupted()) return RESULT_ABORTED;
  shownProgress_ = -1;
  TJobRunControl control;
  control.CancelWanted = [this] { return Interrupted(); };
  control.Cancel = [this] { CancelJob(); };
  const TResult result = runner_.Run([this, jobCode] { return mip_.StartJob(jobCode); }, control);
  FlushTrace();
  if (showProgress_ && shownProgress_ >= 0) std::fputc('\n', stderr);
  // A job that a signal met is not taken as done, even if its last transaction went through.
  return Interrupted() ? TResult{RESULT_ABORTED} : result;
}

bool JobRunner::Pause(long ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (Interrupted()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    interrupts_.WaitForWake(static_cast<int>(left.count()));
  }
}

// The transaction under way gives up at once with 13; the job checks Cancel and stops. A reader
// that has gone is no reason to break off a transaction: the job stops after the group in
// progress, so that no group is left with its request sent and its reply unheard.
void JobRunner::CancelJob() {
  mip_.Cancel = 1;
  if (!ReaderGone()) mip_.Bus.ClosePort();
  std::fprintf(stderr, "%sk7104-cli: stopped by %s\n", showProgress_ ? "\n" : "", InterruptName());
}

TResult JobRunner::RunOverRange(uint8_t jobCode, uint16_t first, uint16_t last) {
  mip_.RangeFirst = first;
  mip_.RangeLast = last;
  return Run(jobCode);
}

int JobRunner::Fail(TResult result) const {
  if (mip_.JobJournalRefused) {
    std::fprintf(stderr, "k7104-cli: %s\n", kJournalRefused);
    return kExitFile;
  }
  std::fprintf(
      stderr, "%s\n",
      FailureSentence(result, mip_.CurrentOp, mip_.JobException, mip_.JobGatewayException).c_str());
  return result;
}

void JobRunner::ShowProgress(uint8_t value) {
  if (!showProgress_ || value == shownProgress_) return;
  shownProgress_ = value;
  std::fprintf(stderr, "\r%3u%%", value);
  std::fflush(stderr);
}

TTextForm RegionalTextForm() {
  TTextForm form;
  form.DecimalSeparator = RegionalSeparator();
  form.DateTimeText = RegionalDateTime;
  form.DateTimeValue = RegionalDateTimeValue;
  return form;
}

std::string RegionalFixed(double value, int decimals) {
  return FixedText(value, decimals, RegionalSeparator());
}

std::string MeasurementText(float value) {
  const char* marker = MeasurementMarkerText(value);
  return marker ? marker : RegionalFixed(value, 3);
}

}  // namespace cli
