#include "modbus/TelnetDecoder.h"

void TTelnetDecoder::Reset() {
  state_ = TState::Data;
  subLength_ = 0;
}

void TTelnetDecoder::Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t byte = bytes[i];
    switch (state_) {
      case TState::Data:
        if (byte == telnet::Iac)
          state_ = TState::Command;
        else
          data.push_back(byte);
        break;
      case TState::Command:
        Command(byte, data);
        break;
      case TState::Option:
        state_ = TState::Data;
        if (OnNegotiation) OnNegotiation(verb_, byte);
        break;
      case TState::Sub:
        if (byte == telnet::Iac)
          state_ = TState::SubCommand;
        else
          SubByte(byte);
        break;
      case TState::SubCommand:
        if (byte == telnet::Iac) {
          SubByte(byte);
          state_ = TState::Sub;
        } else if (byte == telnet::Se) {
          state_ = TState::Data;
          if (OnSubnegotiation) OnSubnegotiation(sub_, subLength_);
        } else {
          // A command inside a subnegotiation ends it unfinished: the command counts, the rest
          // of the subnegotiation is dropped.
          Command(byte, data);
        }
        break;
    }
  }
}

// The byte after an IAC outside a subnegotiation.
void TTelnetDecoder::Command(uint8_t byte, std::vector<uint8_t>& data) {
  state_ = TState::Data;
  switch (byte) {
    case telnet::Iac:
      data.push_back(byte);
      break;
    case telnet::Sb:
      subLength_ = 0;
      state_ = TState::Sub;
      break;
    case telnet::Will:
    case telnet::Wont:
    case telnet::Do:
    case telnet::Dont:
      verb_ = byte;
      state_ = TState::Option;
      break;
    default:
      break;  // NOP, GA, a stray SE and the like carry nothing for a serial line
  }
}

void TTelnetDecoder::SubByte(uint8_t byte) {
  if (subLength_ < MaxSubnegotiation) sub_[subLength_++] = byte;
}
