// SIGINT and SIGTERM while k7104-cli works: the handler only notes the signal and writes a byte
// to a pipe, so that the thread waiting for the job wakes and cancels it as a closed port does.
// SIGPIPE (a reader of standard output or error has gone, as `| head` does) is noted the same way
// for the whole run; the job then stops after the group in progress.
// On Windows Ctrl+C counts as SIGINT and Ctrl+Break or closing the console as SIGTERM
// (InterruptsWin32.cpp).
#pragma once

#include "instrument/JobRunner.h"

namespace cli {

// The wait of the job runner: a signal, like the job's end, cuts it short.
class TInterrupts final : public TJobWait {
 public:
  // Catches SIGINT and SIGTERM from here on; a second signal of the same kind ends the program.
  TInterrupts();
  ~TInterrupts() override;
  TInterrupts(const TInterrupts&) = delete;
  TInterrupts& operator=(const TInterrupts&) = delete;

  // Waits until a signal or a Wake() came since the last wait ended, at most timeoutMs when it is
  // not negative.
  void WaitForWake(int timeoutMs = -1);
  void Wait() override { WaitForWake(); }
  void Wake() override;
};

// Notes SIGPIPE from here on instead of dying of it; the writes that met it fail with EPIPE.
void CatchBrokenPipe();

// The first signal that came (SIGINT, SIGTERM or SIGPIPE), or 0.
int InterruptSignal();
// "SIGINT", "SIGTERM" or "SIGPIPE": the signal that came.
const char* InterruptName();
// The signal was SIGPIPE: what the program prints has no reader any more.
bool ReaderGone();
// 128 + the signal when one came, as a shell reports a program that a signal ended; else code.
int ExitCodeAfterInterrupt(int code);

}  // namespace cli
