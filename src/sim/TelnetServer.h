// The server side of an RFC 2217 connection, as a serial server with the simulated line behind
// it: the telnet stream taken apart into data and commands, the option negotiation answered, the
// Com Port Control commands carried out and answered with the value in force.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/Simulator.h"

namespace k7104sim {

class TelnetServer {
 public:
  // What the server offers when a client connects: binary both ways, no go-ahead.
  std::vector<uint8_t> Greeting();
  // Appends the data among `bytes` to `data` and what the server says back to `answer`.
  void Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data,
            std::vector<uint8_t>& answer);
  const ComPortSettings& Settings() const { return settings_; }
  // True once a client set something since the last call.
  bool TakeChanged();
  // The data with 0xFF doubled, as it goes to the client.
  static std::vector<uint8_t> Escaped(const uint8_t* bytes, size_t count);

 private:
  enum class State : uint8_t { Data, Command, Option, Sub, SubCommand };
  void Command(uint8_t byte, std::vector<uint8_t>& data);
  void Negotiate(uint8_t option, std::vector<uint8_t>& answer);
  void ComPortCommand(std::vector<uint8_t>& answer);
  void AgreeOnce(uint8_t verb, uint8_t option, std::vector<uint8_t>& answer);

  State state_ = State::Data;
  uint8_t verb_ = 0;
  std::vector<uint8_t> sub_;
  std::vector<uint16_t> agreed_;  // verb << 8 | option for every WILL and DO already sent
  ComPortSettings settings_;
  bool changed_ = false;
};

}  // namespace k7104sim
