// The listening socket on POSIX.
#include "sim/TcpListener.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace k7104sim {

bool TcpListener::Listen(const std::string& address, uint16_t port, std::string& error) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  const int resolved = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (resolved != 0) {
    error = "no address " + address + ": " + gai_strerror(resolved);
    return false;
  }
  const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int on = 1;
  const bool listening = fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
                         bind(fd, found->ai_addr, found->ai_addrlen) == 0 && listen(fd, 8) == 0;
  freeaddrinfo(found);
  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  if (!listening || getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
    error = "cannot listen on " + address + " port " + std::to_string(port) + ": " +
            std::strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  fd_ = fd;
  port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                            : reinterpret_cast<sockaddr_in&>(bound).sin_port);
  return true;
}

void TcpListener::Close() {
  if (fd_ != kNoDescriptor) close(static_cast<int>(fd_));
  fd_ = kNoDescriptor;
}

Descriptor TcpListener::Accept() const {
  const int fd = accept4(static_cast<int>(fd_), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return kNoDescriptor;
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

}  // namespace k7104sim
