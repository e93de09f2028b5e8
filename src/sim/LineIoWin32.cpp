// A simulated line's waits and transfers on Winsock: WSAPoll, and for the wake-up a UDP socket on
// loopback that a second socket sends one byte to (WSAPoll waits on sockets only).
#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h, which must come before it
#include <windows.h>

#include <algorithm>

#include "sim/LineIo.h"

namespace k7104sim {
namespace {

SOCKET SocketOf(Descriptor handle) {
  return static_cast<SOCKET>(handle);
}

}  // namespace

// Winsock is started once for the program and left to the system at exit.
bool SocketsReady() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

bool WakeUp::Open() {
  Close();
  if (!SocketsReady()) return false;
  const SOCKET receiver = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const SOCKET sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  u_long nonBlocking = 1;
  const bool ready = receiver != INVALID_SOCKET && sender != INVALID_SOCKET &&
                     bind(receiver, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                     getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &size) == 0 &&
                     connect(sender, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                     ioctlsocket(receiver, FIONBIO, &nonBlocking) == 0;
  if (!ready) {
    if (receiver != INVALID_SOCKET) closesocket(receiver);
    if (sender != INVALID_SOCKET) closesocket(sender);
    return false;
  }
  handle_ = static_cast<Descriptor>(receiver);
  sender_ = static_cast<Descriptor>(sender);
  return true;
}

void WakeUp::Close() {
  if (handle_ != kNoDescriptor) closesocket(SocketOf(handle_));
  if (sender_ != kNoDescriptor) closesocket(SocketOf(sender_));
  handle_ = kNoDescriptor;
  sender_ = kNoDescriptor;
}

void WakeUp::Signal() const {
  const char one = 1;
  send(SocketOf(sender_), &one, 1, 0);
}

bool WaitFor(std::vector<Watch>& watched, const WakeUp& wake,
             std::optional<std::chrono::nanoseconds> timeout) {
  std::vector<WSAPOLLFD> fds = {{SocketOf(wake.Get()), POLLRDNORM, 0}};
  for (const Watch& watch : watched)
    fds.push_back({SocketOf(watch.handle),
                   static_cast<short>(watch.forWriting ? POLLWRNORM : POLLRDNORM), 0});
  int limitMs = -1;
  if (timeout) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*timeout).count();
    limitMs = static_cast<int>(std::clamp<long long>(left, 0, 1'000'000));
  }
  if (WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), limitMs) == SOCKET_ERROR) return false;
  for (size_t k = 0; k < watched.size(); ++k) {
    const short events = fds[k + 1].revents;
    watched[k].ready = (events & fds[k + 1].events) != 0;
    watched[k].hungUp = (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }
  return true;
}

long ReadSome(Descriptor handle, uint8_t* bytes, size_t count) {
  const int got =
      recv(SocketOf(handle), reinterpret_cast<char*>(bytes), static_cast<int>(count), 0);
  if (got > 0) return got;
  return got < 0 && WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

long WriteSome(Descriptor handle, const uint8_t* bytes, size_t count, bool) {
  const int written =
      send(SocketOf(handle), reinterpret_cast<const char*>(bytes), static_cast<int>(count), 0);
  if (written >= 0) return written;
  return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

void CloseSocket(Descriptor socket) {
  const SOCKET s = SocketOf(socket);
  char scratch[256];
  while (recv(s, scratch, sizeof scratch, 0) > 0) {
  }
  shutdown(s, SD_BOTH);
  closesocket(s);
}

// The line's waits take whole milliseconds on Windows; nothing to sharpen.
void SharpenTimers() {}

}  // namespace k7104sim
