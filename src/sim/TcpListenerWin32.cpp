// The listening socket on Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h, which must come before it
#include <windows.h>

#include "sim/TcpListener.h"

namespace k7104sim {
namespace {

bool MadeNonBlocking(SOCKET s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}

}  // namespace

bool TcpListener::Listen(const std::string& address, uint16_t port, std::string& error) {
  Close();
  if (!SocketsReady()) {
    error = "Winsock did not start: error " + std::to_string(WSAGetLastError());
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  const int resolved = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (resolved != 0) {
    error = "no address " + address + ": error " + std::to_string(resolved);
    return false;
  }
  const SOCKET s = socket(found->ai_family, SOCK_STREAM, IPPROTO_TCP);
  // Windows lets SO_REUSEADDR take a port another program listens on: an exclusive port instead.
  const BOOL on = TRUE;
  const bool listening = s != INVALID_SOCKET &&
                         setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                                    reinterpret_cast<const char*>(&on), sizeof on) == 0 &&
                         bind(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0 &&
                         listen(s, 8) == 0 && MadeNonBlocking(s);
  freeaddrinfo(found);
  sockaddr_storage bound{};
  int size = sizeof bound;
  if (!listening || getsockname(s, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
    error = "cannot listen on " + address + " port " + std::to_string(port) + ": error " +
            std::to_string(WSAGetLastError());
    if (s != INVALID_SOCKET) closesocket(s);
    return false;
  }
  fd_ = static_cast<Descriptor>(s);
  port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                            : reinterpret_cast<sockaddr_in&>(bound).sin_port);
  return true;
}

void TcpListener::Close() {
  if (fd_ != kNoDescriptor) closesocket(static_cast<SOCKET>(fd_));
  fd_ = kNoDescriptor;
}

Descriptor TcpListener::Accept() const {
  const SOCKET s = accept(static_cast<SOCKET>(fd_), nullptr, nullptr);
  if (s == INVALID_SOCKET) return kNoDescriptor;
  if (!MadeNonBlocking(s)) {
    closesocket(s);
    return kNoDescriptor;
  }
  const BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  return static_cast<Descriptor>(s);
}

}  // namespace k7104sim
