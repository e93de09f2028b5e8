#include "support/RawClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <bit>
#include <cerrno>

#include "modbus/Modbusunit.h"
#include "sim/Simulator.h"

namespace simtest {

RawClient::RawClient(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return;
  termios settings{};
  tcgetattr(fd_, &settings);
  cfmakeraw(&settings);
  tcsetattr(fd_, TCSANOW, &settings);
  tcflush(fd_, TCIOFLUSH);
}

RawClient::~RawClient() {
  if (fd_ >= 0) close(fd_);
}

void RawClient::Write(const Bytes& bytes) {
  size_t done = 0;
  while (fd_ >= 0 && done < bytes.size()) {
    const ssize_t written = write(fd_, bytes.data() + done, bytes.size() - done);
    if (written > 0) {
      done += static_cast<size_t>(written);
    } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    } else {
      pollfd out{fd_, POLLOUT, 0};
      poll(&out, 1, 10);
    }
  }
}

// Reads what is there after waiting up to waitMs; false when nothing came.
bool RawClient::ReadSome(Bytes& into, int waitMs, bool& hungUp) {
  pollfd in{fd_, POLLIN, 0};
  if (poll(&in, 1, waitMs) <= 0) return false;
  uint8_t chunk[512];
  const ssize_t got = read(fd_, chunk, sizeof chunk);
  if (got <= 0) {
    hungUp = got == 0 || errno == EIO || (in.revents & POLLHUP);
    return false;
  }
  const auto now = SteadyClock::now();
  for (ssize_t k = 0; k < got; ++k) {
    into.push_back(chunk[k]);
    arrivals_.push_back(now);
  }
  return true;
}

Bytes RawClient::ReadUntilQuiet(int quietMs, int timeoutMs) {
  Bytes bytes;
  arrivals_.clear();
  bool hungUp = false;
  if (fd_ < 0 || !ReadSome(bytes, timeoutMs, hungUp)) return bytes;
  while (!hungUp && ReadSome(bytes, quietMs, hungUp)) {
  }
  return bytes;
}

Bytes RawClient::ReadCount(size_t count, int timeoutMs) {
  Bytes bytes;
  arrivals_.clear();
  bool hungUp = false;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  while (fd_ >= 0 && bytes.size() < count && !hungUp) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) break;
    ReadSome(bytes, static_cast<int>(left.count()), hungUp);
  }
  return bytes;
}

Bytes RawClient::Transact(const Bytes& request, int quietMs) {
  Write(request);
  return ReadUntilQuiet(quietMs);
}

Bytes RawClient::Ask(const Bytes& request, size_t replyLength) {
  Write(request);
  return ReadCount(replyLength);
}

bool RawClient::WaitHangUp(int timeoutMs) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  Bytes ignored;
  bool hungUp = false;
  while (!hungUp && SteadyClock::now() < deadline) ReadSome(ignored, 20, hungUp);
  return hungUp;
}

Bytes ReadRequest(uint8_t address, uint8_t function, uint16_t first, uint16_t count) {
  return k7104sim::WithCrc({address, function, static_cast<uint8_t>(first >> 8),
                            static_cast<uint8_t>(first), static_cast<uint8_t>(count >> 8),
                            static_cast<uint8_t>(count)});
}

Bytes WriteSingle(uint8_t address, uint8_t function, uint16_t target, uint16_t value) {
  return ReadRequest(address, function, target, value);  // the same four data bytes
}

Bytes WriteRegisters(uint8_t address, uint16_t first, const std::vector<uint16_t>& values) {
  Bytes frame{address,
              16,
              static_cast<uint8_t>(first >> 8),
              static_cast<uint8_t>(first),
              static_cast<uint8_t>(values.size() >> 8),
              static_cast<uint8_t>(values.size()),
              static_cast<uint8_t>(values.size() * 2)};
  for (const uint16_t value : values) {
    frame.push_back(static_cast<uint8_t>(value >> 8));
    frame.push_back(static_cast<uint8_t>(value));
  }
  return k7104sim::WithCrc(frame);
}

Bytes WriteCoils(uint8_t address, uint16_t first, const std::vector<bool>& flags) {
  Bytes frame{address,
              15,
              static_cast<uint8_t>(first >> 8),
              static_cast<uint8_t>(first),
              static_cast<uint8_t>(flags.size() >> 8),
              static_cast<uint8_t>(flags.size()),
              static_cast<uint8_t>((flags.size() + 7) / 8)};
  frame.resize(frame.size() + frame[6], 0);
  for (size_t j = 0; j < flags.size(); ++j) {
    if (flags[j]) frame[7 + j / 8] |= static_cast<uint8_t>(1 << (j % 8));
  }
  return k7104sim::WithCrc(frame);
}

std::vector<uint16_t> ReplyRegisters(const Bytes& reply) {
  std::vector<uint16_t> registers;
  if (reply.size() < 5) return registers;
  const size_t count = reply[2] / 2;
  for (size_t k = 0; k < count && 4 + 2 * k < reply.size() - 2; ++k) {
    registers.push_back(static_cast<uint16_t>(reply[3 + 2 * k] << 8 | reply[4 + 2 * k]));
  }
  return registers;
}

float FloatAt(const std::vector<uint16_t>& registers, size_t index) {
  return std::bit_cast<float>(static_cast<uint32_t>(registers.at(index + 1)) << 16 |
                              registers.at(index));
}

bool CrcOk(const Bytes& frame) {
  if (frame.size() < 4) return false;
  const uint16_t crc = CalcCRC16(frame.data(), frame.size() - 2);
  return frame[frame.size() - 2] == (crc & 0xFF) && frame.back() == (crc >> 8);
}

}  // namespace simtest
