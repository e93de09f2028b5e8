// A TCP connection as the channel's line, on Winsock: the socket's events (WSAEventSelect) and a
// wake event under one WaitForMultipleObjects, so that ClosePort ends a wait at once as on the
// serial port; a connect bounded in time; the round trip from the connect itself, the one measure
// every Windows (and wine) gives.
#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h, which must come before it
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>

#include "modbus/NetworkLine.h"
#include "modbus/SerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectLimitMs = 3000;
constexpr int kPurgeReads = 256;

// Winsock is started once for the program and left to the system at exit.
bool WinsockStarted() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

TOpenFailure ConnectFailureOf(int error) {
  switch (error) {
    case WSAECONNREFUSED:
      return TOpenFailure::Refused;
    case WSAETIMEDOUT:
      return TOpenFailure::ConnectTimeout;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAENETDOWN:
    case WSAEHOSTDOWN:
      return TOpenFailure::Unreachable;
    default:
      return TOpenFailure::Other;
  }
}

DWORD MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<DWORD>(left) : 0;
}

class TWin32TcpPort final : public TSerialPort {
 public:
  TWin32TcpPort()
      : netEvent_(WSACreateEvent()), wakeEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~TWin32TcpPort() override {
    Close();
    WSACloseEvent(netEvent_);
    CloseHandle(wakeEvent_);
  }

  bool Open(const std::string& endpoint) override {
    if (IsOpen()) return true;
    ClearWake();
    failure_ = TOpenFailure::None;
    error_ = 0;
    std::string host;
    uint16_t port = 0;
    if (!ParseEndpoint(endpoint, host, port)) return Failed(TOpenFailure::NoHost, 0);
    if (!WinsockStarted()) return Failed(TOpenFailure::Other, WSAGetLastError());
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
      return Failed(TOpenFailure::NoHost, 0);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectLimitMs);
    SOCKET s = INVALID_SOCKET;
    for (addrinfo* address = found; address && s == INVALID_SOCKET; address = address->ai_next)
      s = Connect(*address, deadline);
    freeaddrinfo(found);
    if (s == INVALID_SOCKET) return false;
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    closed_ = false;
    canWrite_ = true;
    socket_.store(s);
    return true;
  }

  bool Close() override {
    const SOCKET s = socket_.exchange(INVALID_SOCKET);
    if (s != INVALID_SOCKET) closesocket(s);
    return true;
  }

  bool IsOpen() const override { return socket_.load() != INVALID_SOCKET; }
  TOpenFailure LastOpenFailure() const override { return failure_; }
  int LastOpenError() const override { return error_; }
  bool Apply(const TLineSettings&) override { return IsOpen(); }

  void Purge() override {
    const SOCKET s = socket_.load();
    char scratch[512];
    for (int i = 0; s != INVALID_SOCKET && i < kPurgeReads; ++i)
      if (recv(s, scratch, sizeof scratch, 0) <= 0) break;
  }

  // Ready only when bytes wait or the server closed: an event left over from bytes that were
  // read since is no reason to stop waiting.
  TWaitResult WaitReadable(int timeoutMs) override {
    const SOCKET s = socket_.load();
    if (s == INVALID_SOCKET) return TWaitResult::HangUp;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
      if (closed_ || Waiting(s) > 0) return TWaitResult::Ready;
      const TWaitResult wait = WaitEvents(s, MillisecondsUntil(deadline));
      if (wait != TWaitResult::Ready) return wait;
    }
  }

  TWaitResult WaitWritable(int timeoutMs) override {
    const SOCKET s = socket_.load();
    if (s == INVALID_SOCKET) return TWaitResult::HangUp;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
      if (closed_) return TWaitResult::HangUp;
      if (canWrite_) return TWaitResult::Ready;
      const TWaitResult wait = WaitEvents(s, MillisecondsUntil(deadline));
      if (wait != TWaitResult::Ready) return wait;
    }
  }

  long ReadSome(uint8_t* into, size_t capacity) override {
    const int n =
        recv(socket_.load(), reinterpret_cast<char*>(into), static_cast<int>(capacity), 0);
    if (n > 0) return n;
    if (n == 0) return -1;  // the server closed the connection
    return WSAGetLastError() == WSAEWOULDBLOCK && !closed_ ? 0 : -1;
  }

  long WriteSome(const uint8_t* bytes, size_t count) override {
    const int n =
        send(socket_.load(), reinterpret_cast<const char*>(bytes), static_cast<int>(count), 0);
    if (n >= 0) return n;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    canWrite_ = false;  // FD_WRITE tells when the socket takes more
    return 0;
  }

  void Wake() override { SetEvent(wakeEvent_); }
  void ClearWake() override { ResetEvent(wakeEvent_); }

  // The connect's own round trip, three times over: the room TCP itself gives a first measure.
  uint32_t RoundTripUs() const override { return IsOpen() ? 3 * connectUs_ : 0; }

 private:
  bool Failed(TOpenFailure failure, int error) {
    failure_ = failure;
    error_ = error;
    return false;
  }

  static u_long Waiting(SOCKET s) {
    u_long bytes = 0;
    return ioctlsocket(s, FIONREAD, &bytes) == 0 ? bytes : 0;
  }

  SOCKET Connect(const addrinfo& address, Clock::time_point deadline) {
    const SOCKET s = socket(address.ai_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
      Failed(TOpenFailure::Other, WSAGetLastError());
      return INVALID_SOCKET;
    }
    // The socket is non-blocking from here on, its events on netEvent_.
    WSAEventSelect(s, netEvent_, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE);
    const auto started = Clock::now();
    int error = 0;
    if (connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
      error = WSAGetLastError();
      if (error == WSAEWOULDBLOCK) error = AwaitConnection(s, deadline);
    }
    if (error == 0) {
      connectUs_ = static_cast<uint32_t>(
          std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count());
      return s;
    }
    closesocket(s);
    Failed(error == WSAECANCELLED ? TOpenFailure::Other : ConnectFailureOf(error), error);
    return INVALID_SOCKET;
  }

  // 0 once connected, else the error: WSAETIMEDOUT at the deadline, WSAECANCELLED on Wake().
  int AwaitConnection(SOCKET s, Clock::time_point deadline) {
    for (;;) {
      const DWORD left = MillisecondsUntil(deadline);
      if (left == 0) return WSAETIMEDOUT;
      HANDLE events[2] = {wakeEvent_, netEvent_};
      const DWORD woke = WaitForMultipleObjects(2, events, FALSE, left);
      if (woke == WAIT_OBJECT_0) return WSAECANCELLED;
      if (woke != WAIT_OBJECT_0 + 1) return woke == WAIT_TIMEOUT ? WSAETIMEDOUT : WSAGetLastError();
      WSANETWORKEVENTS happened{};
      if (WSAEnumNetworkEvents(s, netEvent_, &happened) != 0) return WSAGetLastError();
      if (happened.lNetworkEvents & FD_CONNECT) return happened.iErrorCode[FD_CONNECT_BIT];
    }
  }

  // Waits for any event of the socket: Ready when one came (the caller looks at what changed).
  TWaitResult WaitEvents(SOCKET s, DWORD limitMs) {
    HANDLE events[2] = {wakeEvent_, netEvent_};
    const DWORD woke = WaitForMultipleObjects(2, events, FALSE, limitMs);
    if (woke == WAIT_OBJECT_0) return TWaitResult::Interrupted;
    if (woke == WAIT_TIMEOUT) return TWaitResult::Timeout;
    if (woke != WAIT_OBJECT_0 + 1) return TWaitResult::HangUp;
    WSANETWORKEVENTS happened{};
    if (WSAEnumNetworkEvents(s, netEvent_, &happened) != 0) return TWaitResult::HangUp;
    if (happened.lNetworkEvents & FD_CLOSE) closed_ = true;
    if (happened.lNetworkEvents & FD_WRITE) canWrite_ = true;
    return TWaitResult::Ready;
  }

  std::atomic<SOCKET> socket_{INVALID_SOCKET};
  WSAEVENT netEvent_;
  HANDLE wakeEvent_;
  bool closed_ = false;
  bool canWrite_ = true;
  uint32_t connectUs_ = 0;
  TOpenFailure failure_ = TOpenFailure::None;
  int error_ = 0;
};

}  // namespace

std::unique_ptr<TSerialPort> MakeTcpPort() {
  return std::make_unique<TWin32TcpPort>();
}
