// An in-memory connection for the fuzz targets of the network line: what the server sends is a
// stream of bytes given in advance, handed out in pieces of a chosen size; what the channel
// writes is kept. Once the server's bytes are used up the connection reports a hang-up, so that
// no read waits out a timeout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "modbus/SerialPort.h"

class TMemorySocket : public TSerialPort {
 public:
  TMemorySocket(std::vector<uint8_t> fromServer, size_t piece)
      : fromServer_(std::move(fromServer)), piece_(piece ? piece : 1) {}

  const std::vector<uint8_t>& Written() const { return written_; }

  bool Open(const std::string&) override;
  bool Close() override;
  bool IsOpen() const override { return open_; }
  bool Apply(const TLineSettings&) override { return open_; }
  void Purge() override {}  // the stream is what the server sends after the request
  TWaitResult WaitReadable(int) override;
  TWaitResult WaitWritable(int) override;
  long ReadSome(uint8_t* into, size_t capacity) override;
  long WriteSome(const uint8_t* bytes, size_t count) override;
  void Wake() override { woken_ = true; }
  void ClearWake() override { woken_ = false; }

 private:
  std::vector<uint8_t> fromServer_;
  size_t piece_;
  size_t at_ = 0;
  bool open_ = false;
  bool woken_ = false;
  std::vector<uint8_t> written_;
};
