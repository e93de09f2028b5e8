// Running the instrument's jobs from the command line: one TMIP on the chosen port, a job at a
// time, progress on stderr when it is a terminal, and the window's sentence when a job fails.
#pragma once

#include <memory>
#include <string>

#include "cli/CliOptions.h"
#include "cli/Interrupts.h"
#include "cli/WriteJournal.h"
#include "instrument/JobRunner.h"
#include "instrument/Mipunit.h"
#include "instrument/TextForm.h"

namespace cli {

class JobRunner {
 public:
  JobRunner();

  // Opens the port of the options and takes their address; prints why on stderr when it cannot.
  bool Open(const Options& options);
  // The exit code of an Open that failed: 8 when another program holds the port, else 7.
  int OpenFailed() const { return mip_.Bus.OpenFailureResult(); }
  // Starts the job and waits for its end; returns its result. SIGINT or SIGTERM cancels the job
  // and closes the port, as the window's disconnect does: the job then ends with 13, and so does
  // every later Run without starting anything.
  TResult Run(uint8_t jobCode);
  // The same for the jobs that go over a range: search (addresses) and archive (records).
  TResult RunOverRange(uint8_t jobCode, uint16_t first, uint16_t last);
  // Prints the failure sentence of the last job on stderr and returns its result as exit code;
  // a write that the required journal refused is kExitFile.
  int Fail(TResult result) const;
  bool Interrupted() const { return InterruptSignal() != 0; }
  // Waits ms milliseconds between jobs; true when a signal cut the wait short.
  bool Pause(long ms);

  TMIP& Mip() { return mip_; }

 private:
  void ShowProgress(uint8_t value);
  void CancelJob();

  TInterrupts interrupts_;
  // Before mip_: its recorder is the job thread's until mip_ is gone.
  std::unique_ptr<WriteJournal> journal_;
  TJobRunner runner_{interrupts_};
  bool showProgress_ = false;
  int shownProgress_ = -1;
  // Last, so that it goes first: its job thread is gone before the members its callbacks use.
  TMIP mip_;
};

// The regional decimal separator of LC_NUMERIC.
std::string RegionalSeparator();
// The value with `decimals` places and the regional separator.
std::string RegionalFixed(double value, int decimals);
// The date and time forms of LC_TIME; the time is left out at exactly midnight.
std::string RegionalDateTime(TDateTime value);
// The way back from RegionalDateTime's text; false for a text it does not give.
bool RegionalDateTimeValue(const std::string& text, TDateTime& value);
// The three as the text form of the files the command line writes and reads back.
TTextForm RegionalTextForm();
// A live or last-cycle value: the window's marker texts, else three decimals.
std::string MeasurementText(float value);

}  // namespace cli
