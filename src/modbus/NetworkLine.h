// The line the channel talks on: a serial port, or a line over Ethernet through a serial server or
// a Modbus TCP gateway at HOST:PORT. What the window and the command line hand to the channel.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class TSerialPort;

enum class TLineKind : uint8_t { Serial, Network };

// How a network line carries the requests.
enum class TNetworkMode : uint8_t {
  RtuOverTcp,  // the RTU frames, CRC included, unchanged in the TCP stream (transparent server)
  ModbusTcp,   // Modbus TCP frames with the MBAP header to a gateway; no CRC, no echo
  Rfc2217,     // RTU frames in a telnet stream whose Com Port Control sets rate and 8E2
};
inline constexpr int NetworkModeCount = 3;

struct TLineDescription {
  TLineKind Kind = TLineKind::Serial;
  std::string Host;  // a network line's server: a name or an address
  uint16_t Port = 0;
  TNetworkMode Mode = TNetworkMode::RtuOverTcp;

  bool operator==(const TLineDescription&) const = default;
};

// The mode's word on the command line: "rtu", "mbap", "rfc2217".
const char* NetworkModeName(TNetworkMode mode);
std::optional<TNetworkMode> ParseNetworkMode(std::string_view name);
// The mode as the user reads it: "RTU поверх TCP", "Modbus TCP", "RFC 2217".
const char* NetworkModeCaption(TNetworkMode mode);

// "host:port", with an IPv6 address in brackets: "[::1]:502".
std::string EndpointText(const std::string& host, uint16_t port);
// Takes "host:port" or "[v6 address]:port" with a port of 1..65535; false for anything else.
bool ParseEndpoint(std::string_view text, std::string& host, uint16_t& port);

// The port of a network line in its mode: a TCP connection that Open(EndpointText(...)) makes,
// with the telnet layer of RFC 2217 on top for that mode.
std::unique_ptr<TSerialPort> MakeNetworkPort(TNetworkMode mode);
// The TCP connection alone (POSIX sockets, or Winsock on Windows).
std::unique_ptr<TSerialPort> MakeTcpPort();
