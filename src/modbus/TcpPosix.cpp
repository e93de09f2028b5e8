// A TCP connection as the channel's line, on POSIX sockets: a non-blocking socket with Nagle off,
// a connect bounded in time that Wake() cuts short, poll() on the socket and an eventfd, and the
// round trip from the kernel's own measure of the connection (TCP_INFO).
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>

#include "modbus/NetworkLine.h"
#include "modbus/SerialPort.h"
#include "modbus/WakeEvent.h"

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for one lost SYN to be sent again, short enough for a window that waits on it.
constexpr int kConnectLimitMs = 3000;

TOpenFailure ConnectFailureOf(int error) {
  switch (error) {
    case ECONNREFUSED:
      return TOpenFailure::Refused;
    case ETIMEDOUT:
      return TOpenFailure::ConnectTimeout;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
      return TOpenFailure::Unreachable;
    default:
      return TOpenFailure::Other;
  }
}

class TPosixTcpPort final : public TSerialPort {
 public:
  TPosixTcpPort() = default;
  ~TPosixTcpPort() override { Close(); }

  // endpoint is "host:port". A Wake() left over from an earlier close does not stop the connect.
  bool Open(const std::string& endpoint) override {
    if (IsOpen()) return true;
    ClearWake();
    failure_ = TOpenFailure::None;
    error_ = 0;
    std::string host;
    uint16_t port = 0;
    if (!ParseEndpoint(endpoint, host, port)) return Failed(TOpenFailure::NoHost, 0);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (resolved == EAI_SYSTEM) return Failed(TOpenFailure::Other, errno);
    if (resolved != 0) return Failed(TOpenFailure::NoHost, 0);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectLimitMs);
    int fd = -1;
    for (addrinfo* address = found; address && fd < 0; address = address->ai_next)
      fd = Connect(*address, deadline);
    freeaddrinfo(found);
    if (fd < 0) return false;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // a request goes out at once
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    fd_.store(fd);
    return true;
  }

  bool Close() override {
    const int fd = fd_.exchange(-1);
    if (fd >= 0) close(fd);
    return true;
  }

  bool IsOpen() const override { return fd_.load() >= 0; }
  TOpenFailure LastOpenFailure() const override { return failure_; }
  int LastOpenError() const override { return error_; }

  // The server keeps its serial settings in its own set-up.
  bool Apply(const TLineSettings&) override { return IsOpen(); }

  // What arrived since the last transaction is read and thrown away.
  void Purge() override {
    const int fd = fd_.load();
    uint8_t scratch[512];
    while (fd >= 0 && recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
  }

  TWaitResult WaitReadable(int timeoutMs) override { return Wait(POLLIN, timeoutMs); }
  TWaitResult WaitWritable(int timeoutMs) override { return Wait(POLLOUT, timeoutMs); }

  long ReadSome(uint8_t* into, size_t capacity) override {
    const ssize_t n = recv(fd_.load(), into, capacity, MSG_DONTWAIT);
    if (n > 0) return n;
    if (n == 0) return -1;  // the server closed the connection
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
  }

  long WriteSome(const uint8_t* bytes, size_t count) override {
    const ssize_t n = send(fd_.load(), bytes, count, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return n;
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
  }

  void Wake() override { wake_.Signal(); }

  void ClearWake() override { wake_.Clear(); }

  // The kernel's smoothed round trip and four times its mean deviation, as TCP itself allows
  // for a segment before it sends it again.
  uint32_t RoundTripUs() const override {
    tcp_info info{};
    socklen_t size = sizeof info;
    const int fd = fd_.load();
    if (fd < 0 || getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return 0;
    return info.tcpi_rtt + 4 * info.tcpi_rttvar;
  }

 private:
  bool Failed(TOpenFailure failure, int error) {
    failure_ = failure;
    error_ = error;
    return false;
  }

  // A connected socket to the address, or -1 with the failure noted.
  int Connect(const addrinfo& address, Clock::time_point deadline) {
    const int fd = socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      Failed(TOpenFailure::Other, errno);
      return -1;
    }
    if (connect(fd, address.ai_addr, address.ai_addrlen) == 0) return fd;
    int error = errno;
    if (error == EINPROGRESS) error = AwaitConnection(fd, deadline);
    if (error == 0) return fd;
    close(fd);
    if (error == ECANCELED)
      Failed(TOpenFailure::Other, error);
    else
      Failed(ConnectFailureOf(error), error);
    return -1;
  }

  // 0 once connected, else the error: ETIMEDOUT at the deadline, ECANCELED on Wake().
  int AwaitConnection(int fd, Clock::time_point deadline) {
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return ETIMEDOUT;
      pollfd fds[2] = {{fd, POLLOUT, 0}, {wake_.Fd(), POLLIN, 0}};
      const int ready = poll(fds, 2, static_cast<int>(left));
      if (ready < 0 && errno != EINTR) return errno;
      if (fds[1].revents & POLLIN) return ECANCELED;
      if (fds[0].revents == 0) continue;
      int error = 0;
      socklen_t size = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
      return error;
    }
  }

  TWaitResult Wait(short events, int timeoutMs) {
    return wake_.WaitFor(fd_.load(), events, timeoutMs);
  }

  std::atomic<int> fd_{-1};
  TWakeEvent wake_;
  TOpenFailure failure_ = TOpenFailure::None;
  int error_ = 0;
};

}  // namespace

std::unique_ptr<TSerialPort> MakeTcpPort() {
  return std::make_unique<TPosixTcpPort>();
}
