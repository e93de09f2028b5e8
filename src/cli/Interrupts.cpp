#include "cli/Interrupts.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace cli {

namespace {

// Lock-free, so that the handler may set it on whichever thread the signal meets.
std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free);
int wakePipe[2] = {-1, -1};
struct sigaction previousInt {};
struct sigaction previousTerm {};

void WriteWakeByte() {
  const char byte = 1;
  // A full pipe already wakes the waiter: the byte may be dropped.
  (void)!write(wakePipe[1], &byte, 1);
}

void OnSignal(int signal) {
  const int savedErrno = errno;
  int none = 0;
  caught.compare_exchange_strong(none, signal);
  WriteWakeByte();
  errno = savedErrno;
}

void MakeWakePipe() {
  if (wakePipe[0] < 0 && pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) wakePipe[0] = -1;
}

}  // namespace

void CatchBrokenPipe() {
  MakeWakePipe();
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // Not reset: every later write to the gone reader raises it again.
  action.sa_flags = SA_RESTART;
  sigaction(SIGPIPE, &action, nullptr);
}

TInterrupts::TInterrupts() {
  MakeWakePipe();
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, &previousInt);
  sigaction(SIGTERM, &action, &previousTerm);
}

TInterrupts::~TInterrupts() {
  sigaction(SIGINT, &previousInt, nullptr);
  sigaction(SIGTERM, &previousTerm, nullptr);
}

void TInterrupts::WaitForWake(int timeoutMs) {
  pollfd wake{wakePipe[0], POLLIN, 0};
  poll(&wake, 1, wake.fd >= 0 ? timeoutMs : 50);
  char bytes[64];
  while (read(wakePipe[0], bytes, sizeof bytes) > 0) {
  }
}

void TInterrupts::Wake() {
  WriteWakeByte();
}

int InterruptSignal() {
  return caught;
}

const char* InterruptName() {
  switch (caught) {
    case SIGINT:
      return "SIGINT";
    case SIGPIPE:
      return "SIGPIPE";
    default:
      return "SIGTERM";
  }
}

bool ReaderGone() {
  return caught == SIGPIPE;
}

int ExitCodeAfterInterrupt(int code) {
  return caught != 0 ? 128 + caught : code;
}

}  // namespace cli
