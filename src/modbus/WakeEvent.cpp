#include "modbus/WakeEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

TWakeEvent::TWakeEvent() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

TWakeEvent::~TWakeEvent() {
  if (fd_ >= 0) close(fd_);
}

void TWakeEvent::Signal() const {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

void TWakeEvent::Clear() const {
  uint64_t count = 0;
  [[maybe_unused]] ssize_t n = read(fd_, &count, sizeof count);
}

TWaitResult TWakeEvent::WaitFor(int fd, short events, int timeoutMs) const {
  if (fd < 0) return TWaitResult::HangUp;
  pollfd fds[2] = {{fd, events, 0}, {fd_, POLLIN, 0}};
  const int ready = poll(fds, 2, timeoutMs < 0 ? 0 : timeoutMs);
  if (ready < 0) return errno == EINTR ? TWaitResult::Timeout : TWaitResult::HangUp;
  if (fds[1].revents & POLLIN) return TWaitResult::Interrupted;
  if (fds[0].revents & events) return TWaitResult::Ready;
  if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return TWaitResult::HangUp;
  return TWaitResult::Timeout;
}
