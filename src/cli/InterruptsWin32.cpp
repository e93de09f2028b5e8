// Ctrl+C (as SIGINT) and Ctrl+Break or the console's closing (as SIGTERM) while k7104-cli works:
// the console's handler thread notes the event and sets the wake event, so that the thread
// waiting for the job wakes and cancels it as a closed port does. A second event of the same
// kind goes to the system's handler, which ends the program.
#include <windows.h>

#include <atomic>
#include <csignal>

#include "cli/Interrupts.h"

namespace cli {

namespace {

std::atomic<int> caught{0};
HANDLE wakeEvent = nullptr;

int SignalOf(DWORD event) {
  return event == CTRL_C_EVENT ? SIGINT : SIGTERM;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const int signal = SignalOf(event);
  int none = 0;
  if (!caught.compare_exchange_strong(none, signal) && none == signal) return FALSE;
  SetEvent(wakeEvent);
  return TRUE;
}

}  // namespace

TInterrupts::TInterrupts() {
  if (wakeEvent == nullptr) wakeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

TInterrupts::~TInterrupts() {
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

void TInterrupts::WaitForWake(int timeoutMs) {
  WaitForSingleObject(wakeEvent, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
}

void TInterrupts::Wake() {
  SetEvent(wakeEvent);
}

// Windows has no SIGPIPE: a write to a closed pipe fails with an error the output check sees.
void CatchBrokenPipe() {}

int InterruptSignal() {
  return caught;
}

const char* InterruptName() {
  return caught == SIGINT ? "SIGINT" : "SIGTERM";
}

bool ReaderGone() {
  return false;
}

int ExitCodeAfterInterrupt(int code) {
  return caught != 0 ? 128 + caught : code;
}

}  // namespace cli
