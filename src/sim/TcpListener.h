// The listening socket of a simulated line over TCP.
#pragma once

#include <cstdint>
#include <string>

#include "sim/LineIo.h"

namespace k7104sim {

class TcpListener {
 public:
  TcpListener() = default;
  ~TcpListener() { Close(); }
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // Listens on a numeric address (IPv4 or IPv6) at port, 0 for any free port; false with error
  // set when it cannot.
  bool Listen(const std::string& address, uint16_t port, std::string& error);
  void Close();
  Descriptor Fd() const { return fd_; }
  uint16_t Port() const { return port_; }
  // A waiting client's connection, non-blocking with Nagle off; kNoDescriptor when none waits.
  Descriptor Accept() const;

 private:
  Descriptor fd_ = kNoDescriptor;
  uint16_t port_ = 0;
};

}  // namespace k7104sim
