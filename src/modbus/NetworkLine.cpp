#include "modbus/NetworkLine.h"

#include <charconv>

#include "modbus/Rfc2217Port.h"

namespace {

struct TModeNames {
  TNetworkMode Mode;
  const char* Name;
  const char* Caption;
};

constexpr TModeNames kModes[NetworkModeCount] = {
    {TNetworkMode::RtuOverTcp, "rtu", "RTU поверх TCP"},
    {TNetworkMode::ModbusTcp, "mbap", "Modbus TCP"},
    {TNetworkMode::Rfc2217, "rfc2217", "RFC 2217"},
};

const TModeNames& NamesOf(TNetworkMode mode) {
  for (const TModeNames& names : kModes)
    if (names.Mode == mode) return names;
  return kModes[0];
}

}  // namespace

const char* NetworkModeName(TNetworkMode mode) {
  return NamesOf(mode).Name;
}

const char* NetworkModeCaption(TNetworkMode mode) {
  return NamesOf(mode).Caption;
}

std::optional<TNetworkMode> ParseNetworkMode(std::string_view name) {
  for (const TModeNames& names : kModes)
    if (name == names.Name) return names.Mode;
  return std::nullopt;
}

std::string EndpointText(const std::string& host, uint16_t port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool ParseEndpoint(std::string_view text, std::string& host, uint16_t& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view name = text.substr(0, colon);
  const std::string_view number = text.substr(colon + 1);
  if (name.front() == '[') {
    if (name.size() < 3 || name.back() != ']') return false;
    name = name.substr(1, name.size() - 2);
  } else if (name.find(':') != std::string_view::npos || name.find(']') != std::string_view::npos) {
    return false;  // an IPv6 address needs its brackets, or the port cannot be told apart
  }
  unsigned value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (number.empty() || error != std::errc() || end != number.data() + number.size() ||
      value == 0 || value > 65535)
    return false;
  host = std::string(name);
  port = static_cast<uint16_t>(value);
  return true;
}

std::unique_ptr<TSerialPort> MakeNetworkPort(TNetworkMode mode) {
  if (mode == TNetworkMode::Rfc2217) return std::make_unique<TRfc2217Port>(MakeTcpPort());
  return MakeTcpPort();
}
