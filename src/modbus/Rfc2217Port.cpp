// The client side of RFC 2217: option negotiation (RFC 1143's rule of answering only a change, so
// that no two sides loop), the Com Port Control settings and their answers, and the data with
// IAC doubled.
#include "modbus/Rfc2217Port.h"

#include <algorithm>
#include <chrono>

#include "modbus/Modbusunit.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long a server may take to answer the negotiation and the settings.
constexpr int kAnswerLimitMs = 3000;
// Data nobody has read yet is kept up to this much; what is older goes.
constexpr size_t kDataLimit = 4096;
// A purge reads at most this many pieces, so that a server that never stops sending cannot hold
// the channel.
constexpr int kPurgeReads = 256;

// Com Port Control commands from the client; the server answers each with the command plus 100.
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kSetControl = 5;
constexpr uint8_t kServerOffset = 100;
constexpr uint8_t kAllAnswered = 0x1F;  // one bit for each of the five commands
constexpr uint8_t kNoFlowControl = 1;

// The line settings' parity (0 none, 1 odd, 2 even) and stop bits (0 one, 1 one and a half, 2 two)
// in RFC 2217's numbers.
uint8_t ParityCode(uint8_t parity) {
  return parity == 1 ? 2 : parity == 2 ? 3 : 1;
}
uint8_t StopSizeCode(uint8_t stopBits) {
  return stopBits == 2 ? 2 : stopBits == 1 ? 3 : 1;
}

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

TRfc2217Port::TRfc2217Port(std::unique_ptr<TSerialPort> stream) : stream_(std::move(stream)) {
  decoder_.OnNegotiation = [this](uint8_t verb, uint8_t option) { Negotiate(verb, option); };
  decoder_.OnSubnegotiation = [this](const uint8_t* bytes, size_t count) {
    Subnegotiation(bytes, count);
  };
}

bool TRfc2217Port::Open(const std::string& endpoint) {
  if (IsOpen()) return true;
  if (!stream_->Open(endpoint)) return false;
  decoder_.Reset();
  data_.clear();
  outgoing_.clear();
  refused_ = false;
  hungUp_ = false;
  binary_ = goAhead_ = comPort_ = {};
  answers_ = {};
  answered_ = 0;
  for (TOptionStates* states : {&comPort_, &binary_, &goAhead_}) states->Ours = TOption::Asked;
  binary_.Theirs = goAhead_.Theirs = TOption::Asked;
  SendCommand(telnet::Will, telnet::ComPortOption);
  SendCommand(telnet::Will, telnet::Binary);
  SendCommand(telnet::Do, telnet::Binary);
  SendCommand(telnet::Will, telnet::SuppressGoAhead);
  SendCommand(telnet::Do, telnet::SuppressGoAhead);
  Flush();
  return true;
}

bool TRfc2217Port::Close() {
  data_.clear();
  outgoing_.clear();
  return stream_->Close();
}

bool TRfc2217Port::Apply(const TLineSettings& settings) {
  if (!IsOpen()) return false;
  if (!AnswerWait([this] { return ComPortAccepted() || refused_; }) || !ComPortAccepted())
    return false;
  answers_ = {};
  answered_ = 0;
  const uint32_t rate = settings.BaudRate;
  const uint8_t rateBytes[4] = {static_cast<uint8_t>(rate >> 24), static_cast<uint8_t>(rate >> 16),
                                static_cast<uint8_t>(rate >> 8), static_cast<uint8_t>(rate)};
  const uint8_t parity = ParityCode(settings.fParity ? settings.Parity : 0);
  const uint8_t stopSize = StopSizeCode(settings.StopBits);
  SendSetting(kSetBaudRate, rateBytes, 4);
  SendSetting(kSetDataSize, &settings.ByteSize, 1);
  SendSetting(kSetParity, &parity, 1);
  SendSetting(kSetStopSize, &stopSize, 1);
  SendSetting(kSetControl, &kNoFlowControl, 1);
  if (!AnswerWait([this] { return answered_ == kAllAnswered; })) return false;
  return answers_.BaudRate == rate && answers_.DataSize == settings.ByteSize &&
         answers_.Parity == parity && answers_.StopSize == stopSize &&
         answers_.Control == kNoFlowControl;
}

void TRfc2217Port::Purge() {
  Flush();
  for (int i = 0; i < kPurgeReads && Receive() > 0; ++i) {
  }
  data_.clear();
}

TWaitResult TRfc2217Port::WaitReadable(int timeoutMs) {
  if (!data_.empty()) return TWaitResult::Ready;
  if (hungUp_) return TWaitResult::HangUp;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  // A request that the stream did not take at once goes out before the wait for its reply.
  const TWaitResult sent = FlushWithin(timeoutMs);
  if (sent != TWaitResult::Ready) return sent;
  for (;;) {
    const TWaitResult wait = stream_->WaitReadable(MillisecondsUntil(deadline));
    if (wait != TWaitResult::Ready) return wait;
    if (Receive() < 0) return TWaitResult::HangUp;
    if (!data_.empty()) return TWaitResult::Ready;
    if (Clock::now() >= deadline) return TWaitResult::Timeout;
  }
}

TWaitResult TRfc2217Port::WaitWritable(int timeoutMs) {
  return FlushWithin(timeoutMs);
}

long TRfc2217Port::ReadSome(uint8_t* into, size_t capacity) {
  if (data_.empty() && !hungUp_ && Receive() < 0) hungUp_ = true;
  if (data_.empty()) return hungUp_ ? -1 : 0;
  const size_t n = std::min(capacity, data_.size());
  std::copy_n(data_.begin(), n, into);
  data_.erase(data_.begin(), data_.begin() + static_cast<long>(n));
  return static_cast<long>(n);
}

// All of the bytes are taken: what the stream does not take now goes before the next wait.
long TRfc2217Port::WriteSome(const uint8_t* bytes, size_t count) {
  if (hungUp_) return -1;
  for (size_t i = 0; i < count; ++i) {
    outgoing_.push_back(bytes[i]);
    if (bytes[i] == telnet::Iac) outgoing_.push_back(telnet::Iac);
  }
  Flush();
  return hungUp_ ? -1 : static_cast<long>(count);
}

void TRfc2217Port::Negotiate(uint8_t verb, uint8_t option) {
  TOptionStates* states = StatesOf(option);
  switch (verb) {
    case telnet::Do:
      if (!states) {
        SendCommand(telnet::Wont, option);
      } else if (states->Ours != TOption::Yes) {
        if (states->Ours == TOption::No) SendCommand(telnet::Will, option);
        states->Ours = TOption::Yes;
      }
      break;
    case telnet::Dont:
      if (states && states->Ours != TOption::No) {
        if (states->Ours == TOption::Yes) SendCommand(telnet::Wont, option);
        states->Ours = TOption::No;
        refused_ = refused_ || option == telnet::ComPortOption;
      }
      break;
    case telnet::Will:
      if (!states) {
        SendCommand(telnet::Dont, option);
      } else if (states->Theirs != TOption::Yes) {
        if (states->Theirs == TOption::No) SendCommand(telnet::Do, option);
        states->Theirs = TOption::Yes;
      }
      break;
    case telnet::Wont:
      if (states && states->Theirs != TOption::No) {
        if (states->Theirs == TOption::Yes) SendCommand(telnet::Dont, option);
        states->Theirs = TOption::No;
      }
      break;
    default:
      break;
  }
}

// The server's answers to the settings; its notifications of line and modem state are dropped.
void TRfc2217Port::Subnegotiation(const uint8_t* bytes, size_t count) {
  if (count < 3 || bytes[0] != telnet::ComPortOption) return;
  const int command = bytes[1] - kServerOffset;
  if (command < kSetBaudRate || command > kSetControl) return;
  if (command == kSetBaudRate) {
    if (count < 6) return;
    answers_.BaudRate = static_cast<uint32_t>(bytes[2]) << 24 |
                        static_cast<uint32_t>(bytes[3]) << 16 |
                        static_cast<uint32_t>(bytes[4]) << 8 | bytes[5];
  } else if (command == kSetDataSize) {
    answers_.DataSize = bytes[2];
  } else if (command == kSetParity) {
    answers_.Parity = bytes[2];
  } else if (command == kSetStopSize) {
    answers_.StopSize = bytes[2];
  } else {
    answers_.Control = bytes[2];
  }
  answered_ |= static_cast<uint8_t>(1u << (command - 1));
}

TRfc2217Port::TOptionStates* TRfc2217Port::StatesOf(uint8_t option) {
  switch (option) {
    case telnet::Binary:
      return &binary_;
    case telnet::SuppressGoAhead:
      return &goAhead_;
    case telnet::ComPortOption:
      return &comPort_;
    default:
      return nullptr;
  }
}

void TRfc2217Port::SendCommand(uint8_t verb, uint8_t option) {
  outgoing_.insert(outgoing_.end(), {telnet::Iac, verb, option});
}

void TRfc2217Port::SendSetting(uint8_t command, const uint8_t* value, size_t length) {
  outgoing_.insert(outgoing_.end(), {telnet::Iac, telnet::Sb, telnet::ComPortOption, command});
  for (size_t i = 0; i < length; ++i) {
    outgoing_.push_back(value[i]);
    if (value[i] == telnet::Iac) outgoing_.push_back(telnet::Iac);
  }
  outgoing_.insert(outgoing_.end(), {telnet::Iac, telnet::Se});
}

// True once everything waiting has gone out; false while the stream takes no more, or when it
// failed (hungUp_ then says so).
bool TRfc2217Port::Flush() {
  while (!outgoing_.empty() && !hungUp_) {
    const long n = stream_->WriteSome(outgoing_.data(), outgoing_.size());
    if (n < 0) {
      hungUp_ = true;
      outgoing_.clear();
    } else if (n == 0) {
      return false;
    } else {
      outgoing_.erase(outgoing_.begin(), outgoing_.begin() + n);
    }
  }
  return !hungUp_;
}

TWaitResult TRfc2217Port::FlushWithin(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  while (!Flush()) {
    if (hungUp_) return TWaitResult::HangUp;
    const TWaitResult wait = stream_->WaitWritable(MillisecondsUntil(deadline));
    if (wait != TWaitResult::Ready) return wait;
  }
  return TWaitResult::Ready;
}

// Reads one piece of the stream and decodes it; the bytes read, or -1 when the stream failed.
long TRfc2217Port::Receive() {
  uint8_t raw[512];
  const long n = stream_->ReadSome(raw, sizeof raw);
  if (n < 0) {
    hungUp_ = true;
    return -1;
  }
  decoder_.Feed(raw, static_cast<size_t>(n), data_);
  if (data_.size() > kDataLimit)
    data_.erase(data_.begin(), data_.end() - static_cast<long>(kDataLimit));
  Flush();  // the answers the negotiation called for
  return n;
}

bool TRfc2217Port::ComPortAccepted() const {
  return comPort_.Ours == TOption::Yes || comPort_.Theirs == TOption::Yes;
}

// Reads the stream until done() holds; false when the time ran out, the stream failed or
// ClosePort woke the wait.
bool TRfc2217Port::AnswerWait(const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerLimitMs);
  while (!done()) {
    if (hungUp_ || FlushWithin(MillisecondsUntil(deadline)) != TWaitResult::Ready) return false;
    const TWaitResult wait = stream_->WaitReadable(MillisecondsUntil(deadline));
    if (wait == TWaitResult::Ready) {
      if (Receive() < 0) return false;
    } else if (wait != TWaitResult::Timeout || Clock::now() >= deadline) {
      return done();
    }
  }
  return true;
}
