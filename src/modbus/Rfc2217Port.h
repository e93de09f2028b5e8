// RFC 2217 (Telnet Com Port Control) over a byte stream: the serial server's port is set to the
// channel's rate and 8E2 through the telnet connection, and the data travels with 0xFF doubled.
// The stream is any port (a TCP connection; an in-memory one in the fuzz tests).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "modbus/SerialPort.h"
#include "modbus/TelnetDecoder.h"

// What the server last answered to each setting; 0 where no answer came.
struct TComPortAnswers {
  uint32_t BaudRate = 0;
  uint8_t DataSize = 0;
  uint8_t Parity = 0;    // 1 none, 2 odd, 3 even, 4 mark, 5 space
  uint8_t StopSize = 0;  // 1 one, 2 two, 3 one and a half
  uint8_t Control = 0;   // 1 no flow control
};

class TRfc2217Port final : public TSerialPort {
 public:
  explicit TRfc2217Port(std::unique_ptr<TSerialPort> stream);

  // Connects and offers the options: binary both ways, no go-ahead, Com Port Control.
  bool Open(const std::string& endpoint) override;
  bool Close() override;
  bool IsOpen() const override { return stream_->IsOpen(); }
  TOpenFailure LastOpenFailure() const override { return stream_->LastOpenFailure(); }
  int LastOpenError() const override { return stream_->LastOpenError(); }
  // Waits for the server to take Com Port Control, sends rate, data size, parity, stop size and
  // no flow control, and waits for its answers: true when it answered each with the value sent.
  bool Apply(const TLineSettings& settings) override;
  // Reads what has come and drops its data; the server's answers in it still count.
  void Purge() override;

  TWaitResult WaitReadable(int timeoutMs) override;
  TWaitResult WaitWritable(int timeoutMs) override;
  long ReadSome(uint8_t* into, size_t capacity) override;
  long WriteSome(const uint8_t* bytes, size_t count) override;
  void Wake() override { stream_->Wake(); }
  void ClearWake() override { stream_->ClearWake(); }
  uint32_t RoundTripUs() const override { return stream_->RoundTripUs(); }

  const TComPortAnswers& Answers() const { return answers_; }

 private:
  enum class TOption : uint8_t { No, Asked, Yes };
  struct TOptionStates {
    TOption Ours = TOption::No;    // we perform it (WILL)
    TOption Theirs = TOption::No;  // the server performs it (DO)
  };

  void Negotiate(uint8_t verb, uint8_t option);
  void Subnegotiation(const uint8_t* bytes, size_t count);
  TOptionStates* StatesOf(uint8_t option);
  void SendCommand(uint8_t verb, uint8_t option);
  void SendSetting(uint8_t command, const uint8_t* value, size_t length);
  bool Flush();
  TWaitResult FlushWithin(int timeoutMs);
  long Receive();
  bool ComPortAccepted() const;
  bool AnswerWait(const std::function<bool()>& done);

  std::unique_ptr<TSerialPort> stream_;
  TTelnetDecoder decoder_;
  std::vector<uint8_t> data_;      // decoded data not handed out yet
  std::vector<uint8_t> outgoing_;  // telnet bytes not written yet
  size_t pendingData_ = 0;         // caller's bytes that outgoing_ still holds, once sent
  bool refused_ = false;           // the server refused Com Port Control
  bool hungUp_ = false;
  TOptionStates binary_, goAhead_, comPort_;
  TComPortAnswers answers_;
  uint8_t answered_ = 0;  // bit k: an answer to command k + 1 came since the settings were sent
};
