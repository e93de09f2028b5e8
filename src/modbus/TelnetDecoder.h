// A telnet stream taken apart (RFC 854), as an RFC 2217 server sends it: the data bytes, with
// IAC IAC standing for one 0xFF, go to the caller; option negotiations (WILL, WONT, DO, DONT) and
// subnegotiations (IAC SB ... IAC SE) go to the handlers. Any byte stream is taken, in pieces cut
// anywhere; a subnegotiation longer than any that RFC 2217 sends is cut to that length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace telnet {

inline constexpr uint8_t Iac = 255;
inline constexpr uint8_t Dont = 254;
inline constexpr uint8_t Do = 253;
inline constexpr uint8_t Wont = 252;
inline constexpr uint8_t Will = 251;
inline constexpr uint8_t Sb = 250;
inline constexpr uint8_t Se = 240;

inline constexpr uint8_t Binary = 0;
inline constexpr uint8_t SuppressGoAhead = 3;
inline constexpr uint8_t ComPortOption = 44;

}  // namespace telnet

class TTelnetDecoder {
 public:
  static constexpr size_t MaxSubnegotiation = 32;

  // verb is WILL, WONT, DO or DONT.
  std::function<void(uint8_t verb, uint8_t option)> OnNegotiation;
  // The bytes between IAC SB and IAC SE, IAC IAC undone.
  std::function<void(const uint8_t* bytes, size_t count)> OnSubnegotiation;

  // Appends the data bytes among `bytes` to `data` and hands the commands to the handlers.
  void Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data);
  // Back to plain data, as on a fresh connection.
  void Reset();

 private:
  enum class TState : uint8_t { Data, Command, Option, Sub, SubCommand };
  void Command(uint8_t byte, std::vector<uint8_t>& data);
  void SubByte(uint8_t byte);

  TState state_ = TState::Data;
  uint8_t verb_ = 0;
  uint8_t sub_[MaxSubnegotiation] = {};
  size_t subLength_ = 0;
};
