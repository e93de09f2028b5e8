// A simulated line's waits and transfers on POSIX: an eventfd for the wake-up, ppoll for the wait.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "sim/LineIo.h"

namespace k7104sim {

bool WakeUp::Open() {
  Close();
  handle_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return handle_ >= 0;
}

void WakeUp::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = kNoDescriptor;
}

void WakeUp::Signal() const {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = write(static_cast<int>(handle_), &one, sizeof one);
}

bool WaitFor(std::vector<Watch>& watched, const WakeUp& wake,
             std::optional<std::chrono::nanoseconds> timeout) {
  std::vector<pollfd> fds = {{static_cast<int>(wake.Get()), POLLIN, 0}};
  for (const Watch& watch : watched)
    fds.push_back({static_cast<int>(watch.handle), watch.forWriting ? POLLOUT : POLLIN, 0});
  timespec limit{};
  if (timeout) {
    const long long left = std::max<long long>(0, timeout->count());
    limit.tv_sec = static_cast<time_t>(left / 1'000'000'000);
    limit.tv_nsec = static_cast<long>(left % 1'000'000'000);
  }
  if (ppoll(fds.data(), fds.size(), timeout ? &limit : nullptr, nullptr) < 0 && errno != EINTR)
    return false;
  for (size_t k = 0; k < watched.size(); ++k) {
    const short events = fds[k + 1].revents;
    watched[k].ready = (events & fds[k + 1].events) != 0;
    watched[k].hungUp = (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }
  return true;
}

long ReadSome(Descriptor handle, uint8_t* bytes, size_t count) {
  const ssize_t got = read(static_cast<int>(handle), bytes, count);
  if (got > 0) return static_cast<long>(got);
  return got < 0 && (errno == EAGAIN || errno == EINTR) ? 0 : -1;
}

long WriteSome(Descriptor handle, const uint8_t* bytes, size_t count, bool socket) {
  const int fd = static_cast<int>(handle);
  const ssize_t written =
      socket ? send(fd, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT) : write(fd, bytes, count);
  if (written >= 0) return static_cast<long>(written);
  return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

void CloseSocket(Descriptor socket) {
  const int fd = static_cast<int>(socket);
  uint8_t scratch[256];
  while (recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
  }
  shutdown(fd, SHUT_RDWR);
  close(fd);
}

bool SocketsReady() {
  return true;
}

void SharpenTimers() {
  prctl(PR_SET_TIMERSLACK, 1000UL);
}

}  // namespace k7104sim
