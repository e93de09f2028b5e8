// An in-memory serial line for the fuzz targets. What the channel writes is taken whole as one
// request; the next scripted reply answers it, handed out in chunks and with the request's echo
// in front when the script says so. Once a reply is used up the line reports a hang-up: the read
// then ends at once and the reply is judged as it stands, instead of waiting out the silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "modbus/Modbusunit.h"

struct TScriptedReply {
  std::vector<uint8_t> Bytes;
  bool Echo = false;  // the request comes back before the reply, as on a two-wire converter
  size_t Chunk = 0;   // bytes a read hands out at most; 0: all at once
};

class TMemoryPort : public TSerialPort {
 public:
  void Script(std::deque<TScriptedReply> replies);
  size_t RequestCount() const { return requests_; }

  bool Open(const std::string&) override;
  bool Close() override;
  bool IsOpen() const override { return open_; }
  bool Apply(const TLineSettings&) override { return open_; }
  void Purge() override { pending_.clear(); }
  TWaitResult WaitReadable(int timeoutMs) override;
  TWaitResult WaitWritable(int timeoutMs) override;
  long ReadSome(uint8_t* into, size_t capacity) override;
  long WriteSome(const uint8_t* bytes, size_t count) override;
  void Wake() override { woken_ = true; }
  void ClearWake() override { woken_ = false; }

 private:
  bool open_ = false;
  bool woken_ = false;
  std::deque<TScriptedReply> replies_;
  std::vector<uint8_t> pending_;
  size_t chunk_ = 0;
  size_t requests_ = 0;
};

// Reads a fuzz input front to back; past its end every read gives 0.
class TFuzzInput {
 public:
  TFuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::vector<uint8_t> Bytes(size_t count);
  std::vector<uint8_t> Rest() { return Bytes(size_ - at_); }
  bool AtEnd() const { return at_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Replies as the register map fuzz targets take them from their input: a length byte, a flag
// byte (bit 0: append the right CRC, bit 1: echo, bits 2..7: chunk size) and the reply bytes.
std::deque<TScriptedReply> ScriptedReplies(TFuzzInput& input);

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame);

// What a success must have come from: the request's address (without CRC: address, function,
// data), its own function, a byte count that fits the data read, the echo of the registers or
// coils written.
bool ReplyAnswersRequest(const std::vector<uint8_t>& request, const TModBusFrame& reply);
