// A raw Modbus client on the slave side of a simulated line: it writes frames and collects the
// bytes that come back, with their arrival times, so tests see exactly what the line sends.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;
using SteadyClock = std::chrono::steady_clock;

class RawClient {
 public:
  explicit RawClient(const std::string& path);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  void Write(const Bytes& bytes);
  // Everything that arrives until quietMs pass without a byte (after the first byte), or until
  // timeoutMs pass with nothing at all.
  Bytes ReadUntilQuiet(int quietMs = 150, int timeoutMs = 2000);
  // Exactly count bytes unless timeoutMs pass first.
  Bytes ReadCount(size_t count, int timeoutMs = 3000);
  // Writes a request and reads its reply, which ends in quietMs of silence.
  Bytes Transact(const Bytes& request, int quietMs = 150);
  // Writes a request and reads a reply of known length.
  Bytes Ask(const Bytes& request, size_t replyLength);
  // Arrival time of every byte that the last read collected.
  const std::vector<SteadyClock::time_point>& ArrivalTimes() const { return arrivals_; }
  // True when the far side has gone away (a hang-up) within timeoutMs.
  bool WaitHangUp(int timeoutMs = 2000);

 private:
  bool ReadSome(Bytes& into, int waitMs, bool& hungUp);

  int fd_ = -1;
  std::vector<SteadyClock::time_point> arrivals_;
};

// Request frames with their CRC.
Bytes ReadRequest(uint8_t address, uint8_t function, uint16_t first, uint16_t count);
Bytes WriteSingle(uint8_t address, uint8_t function, uint16_t target, uint16_t value);
Bytes WriteRegisters(uint8_t address, uint16_t first, const std::vector<uint16_t>& values);
Bytes WriteCoils(uint8_t address, uint16_t first, const std::vector<bool>& flags);

// The registers of a read reply (address, function, byte count, data, CRC).
std::vector<uint16_t> ReplyRegisters(const Bytes& reply);
float FloatAt(const std::vector<uint16_t>& registers, size_t index);
bool CrcOk(const Bytes& frame);

}  // namespace simtest
