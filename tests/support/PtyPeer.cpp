#include "support/PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

bool OpenRawPty(int& master, int& slave, std::string& path) {
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
  termios tio{};
  tcgetattr(slave, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave, TCSANOW, &tio);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  path = name;
  return true;
}

PtyResponder::PtyResponder(size_t requestLength, Responder responder)
    : requestLength_(requestLength), responder_(std::move(responder)) {
  if (OpenRawPty(master_, slave_, path_)) thread_ = std::thread([this] { Run(); });
}

PtyResponder::~PtyResponder() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

void PtyResponder::Run() {
  std::vector<uint8_t> request;
  while (!stop_) {
    pollfd fd{master_, POLLIN, 0};
    if (poll(&fd, 1, 20) <= 0) continue;
    uint8_t buffer[512];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) continue;
    request.insert(request.end(), buffer, buffer + n);
    while (request.size() >= requestLength_) {
      std::vector<uint8_t> one(request.begin(),
                               request.begin() + static_cast<long>(requestLength_));
      request.erase(request.begin(), request.begin() + static_cast<long>(requestLength_));
      const std::vector<uint8_t> reply = responder_(one);
      size_t sent = 0;
      while (sent < reply.size() && !stop_) {
        const ssize_t w = write(master_, reply.data() + sent, reply.size() - sent);
        if (w > 0) {
          sent += static_cast<size_t>(w);
        } else if (errno != EAGAIN) {
          break;
        }
      }
    }
  }
}

NullModem::NullModem() {
  if (OpenRawPty(masterA_, slaveA_, pathA_) && OpenRawPty(masterB_, slaveB_, pathB_))
    thread_ = std::thread([this] { Run(); });
}

NullModem::~NullModem() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  for (int fd : {masterA_, slaveA_, masterB_, slaveB_})
    if (fd >= 0) close(fd);
}

void NullModem::Run() {
  while (!stop_) {
    pollfd fds[2] = {{masterA_, POLLIN, 0}, {masterB_, POLLIN, 0}};
    if (poll(fds, 2, 20) <= 0) continue;
    uint8_t buffer[512];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) continue;
      [[maybe_unused]] const ssize_t w = write(fds[1 - i].fd, buffer, static_cast<size_t>(n));
    }
  }
}
