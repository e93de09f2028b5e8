// RFC 2217 on the simulated serial server's side.
#include "sim/TelnetServer.h"

#include <algorithm>

namespace k7104sim {
namespace {

constexpr uint8_t kIac = 255;
constexpr uint8_t kDont = 254;
constexpr uint8_t kDo = 253;
constexpr uint8_t kWont = 252;
constexpr uint8_t kWill = 251;
constexpr uint8_t kSb = 250;
constexpr uint8_t kSe = 240;
constexpr uint8_t kBinary = 0;
constexpr uint8_t kSuppressGoAhead = 3;
constexpr uint8_t kComPort = 44;

constexpr size_t kLongestSubnegotiation = 32;
constexpr uint32_t kFastestRate = 115200;  // what the simulated server's UART makes
constexpr uint8_t kServerOffset = 100;     // the server answers command k with k + 100

bool Supported(uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

void AppendEscaped(std::vector<uint8_t>& out, const uint8_t* bytes, size_t count) {
  for (size_t k = 0; k < count; ++k) {
    out.push_back(bytes[k]);
    if (bytes[k] == kIac) out.push_back(kIac);
  }
}

}  // namespace

std::vector<uint8_t> TelnetServer::Greeting() {
  std::vector<uint8_t> answer;
  AgreeOnce(kWill, kBinary, answer);
  AgreeOnce(kDo, kBinary, answer);
  AgreeOnce(kWill, kSuppressGoAhead, answer);
  return answer;
}

std::vector<uint8_t> TelnetServer::Escaped(const uint8_t* bytes, size_t count) {
  std::vector<uint8_t> out;
  AppendEscaped(out, bytes, count);
  return out;
}

bool TelnetServer::TakeChanged() {
  const bool changed = changed_;
  changed_ = false;
  return changed;
}

void TelnetServer::Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data,
                        std::vector<uint8_t>& answer) {
  for (size_t k = 0; k < count; ++k) {
    const uint8_t byte = bytes[k];
    switch (state_) {
      case State::Data:
        if (byte == kIac)
          state_ = State::Command;
        else
          data.push_back(byte);
        break;
      case State::Command:
        Command(byte, data);
        break;
      case State::Option:
        state_ = State::Data;
        Negotiate(byte, answer);
        break;
      case State::Sub:
        if (byte == kIac)
          state_ = State::SubCommand;
        else if (sub_.size() < kLongestSubnegotiation)
          sub_.push_back(byte);
        break;
      case State::SubCommand:
        if (byte == kIac) {
          if (sub_.size() < kLongestSubnegotiation) sub_.push_back(byte);
          state_ = State::Sub;
        } else if (byte == kSe) {
          state_ = State::Data;
          ComPortCommand(answer);
        } else {
          Command(byte, data);
        }
        break;
    }
  }
}

void TelnetServer::Command(uint8_t byte, std::vector<uint8_t>& data) {
  state_ = State::Data;
  if (byte == kIac) {
    data.push_back(byte);
  } else if (byte == kSb) {
    sub_.clear();
    state_ = State::Sub;
  } else if (byte == kWill || byte == kWont || byte == kDo || byte == kDont) {
    verb_ = byte;
    state_ = State::Option;
  }
}

// The client's WILL is answered DO and its DO is answered WILL for the options the server knows,
// once each; the others are refused.
void TelnetServer::Negotiate(uint8_t option, std::vector<uint8_t>& answer) {
  if (verb_ == kWill) {
    if (Supported(option))
      AgreeOnce(kDo, option, answer);
    else
      answer.insert(answer.end(), {kIac, kDont, option});
  } else if (verb_ == kDo) {
    if (Supported(option))
      AgreeOnce(kWill, option, answer);
    else
      answer.insert(answer.end(), {kIac, kWont, option});
  }
}

void TelnetServer::AgreeOnce(uint8_t verb, uint8_t option, std::vector<uint8_t>& answer) {
  const auto key = static_cast<uint16_t>(verb << 8 | option);
  if (std::find(agreed_.begin(), agreed_.end(), key) != agreed_.end()) return;
  agreed_.push_back(key);
  answer.insert(answer.end(), {kIac, verb, option});
}

// Rate, data size, parity and stop size are set when the value is one the server can make, and
// answered with the value in force; flow control stays off; the other commands are answered with
// what they carried.
void TelnetServer::ComPortCommand(std::vector<uint8_t>& answer) {
  if (sub_.size() < 3 || sub_[0] != kComPort) return;
  const uint8_t command = sub_[1];
  const uint8_t* given = sub_.data() + 2;
  size_t length = sub_.size() - 2;
  uint8_t value[kLongestSubnegotiation] = {};
  std::copy(given, given + length, value);
  switch (command) {
    case 1: {
      if (length < 4) return;
      const uint32_t rate = static_cast<uint32_t>(given[0]) << 24 |
                            static_cast<uint32_t>(given[1]) << 16 |
                            static_cast<uint32_t>(given[2]) << 8 | given[3];
      if (rate != 0 && rate <= kFastestRate) settings_.baudRate = rate;
      const uint32_t now = settings_.baudRate;
      for (int k = 0; k < 4; ++k) value[k] = static_cast<uint8_t>(now >> (24 - 8 * k));
      length = 4;
      break;
    }
    case 2:
      if (given[0] >= 5 && given[0] <= 8) settings_.dataSize = given[0];
      value[0] = settings_.dataSize;
      length = 1;
      break;
    case 3:
      if (given[0] >= 1 && given[0] <= 5) settings_.parity = given[0];
      value[0] = settings_.parity;
      length = 1;
      break;
    case 4:
      if (given[0] >= 1 && given[0] <= 3) settings_.stopSize = given[0];
      value[0] = settings_.stopSize;
      length = 1;
      break;
    case 5:
      if (given[0] <= 3) value[0] = 1;  // no flow control, whatever was asked
      length = 1;
      break;
    default:
      break;
  }
  changed_ = changed_ || (command >= 1 && command <= 4);
  answer.insert(answer.end(), {kIac, kSb, kComPort, static_cast<uint8_t>(command + kServerOffset)});
  AppendEscaped(answer, value, length);
  answer.insert(answer.end(), {kIac, kSe});
}

}  // namespace k7104sim
