// Texts of the command line: instruments, models and faults.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <sstream>

#include "sim/Simulator.h"

namespace k7104sim {
namespace {

struct KindName {
  FaultKind kind;
  const char* name;
  int defaultArg;
  const char* help;
};

constexpr KindName kKinds[] = {
    {FaultKind::NoReply, "noreply", 0, "the request is lost: no reply"},
    {FaultKind::BadCrc, "badcrc", 0, "wrong CRC; arg 0 swaps the two CRC bytes, 1 flips them"},
    {FaultKind::Truncate, "truncate", 2, "only the first arg bytes (1..3) of the reply"},
    {FaultKind::ShortByOneRegister, "short", 0,
     "the reply one register short (byte count and CRC fit)"},
    {FaultKind::Busy, "busy", 0, "exception 6 (busy) instead of carrying the request out"},
    {FaultKind::Exception, "exception", 4,
     "exception arg (0..255) instead of carrying the request out"},
    {FaultKind::RecordNumber, "record", 0,
     "an archive record read (regs = record) returns number arg"},
    {FaultKind::Stray, "stray", 5, "arg junk bytes instead of the reply"},
    {FaultKind::RepeatRequest, "repeat", 0, "the request comes back alone, no real reply"},
    {FaultKind::UnswappedIdentity, "unswapped", 0, "identity text \"VOSTRELIN!\" in wire order"},
    {FaultKind::ModelCode, "model", 3, "register 5 (model code) reads arg"},
    {FaultKind::HangUp, "hangup", 3,
     "arg bytes of the reply, then the line hangs up and a fresh pty (and link) replaces it; "
     "over TCP the connection is dropped"},
    {FaultKind::Echo, "echo", 0, "the request is echoed first, then arg ms pause, then the reply"},
    {FaultKind::Late, "late", 500, "the reply goes out arg ms later"},
    {FaultKind::OtherAddress, "otheraddr", 2, "the reply comes from address arg (0..255)"},
    {FaultKind::OtherFunction, "otherfn", 4, "the reply carries function code arg (0..255)"},
    {FaultKind::ByteCount, "bytecount", 1,
     "a read reply's byte count is arg more than the data (mod 256)"},
    {FaultKind::WriteEcho, "writeecho", 1,
     "a write reply names the first register or coil plus arg"},
    {FaultKind::Split, "split", 20, "the reply in three pieces, arg ms apart"},
    {FaultKind::Glue, "glue", 3, "arg junk bytes glued to the end of the reply"},
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::optional<long> Number(const std::string& text) {
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [last, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || last != end) return std::nullopt;
  return value;
}

// A probability, 0..1, with a point whatever the locale.
std::optional<double> Fraction(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [last, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || last != end || !(value >= 0 && value <= 1))
    return std::nullopt;
  return value;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

bool InRange(const std::optional<long>& value, long low, long high) {
  return value && *value >= low && *value <= high;
}

bool ParseRegisters(const std::string& text, Fault& fault) {
  const auto dash = text.find('-');
  const auto first = Number(text.substr(0, dash));
  const auto last = dash == std::string::npos ? first : Number(text.substr(dash + 1));
  if (!InRange(first, 0, 65535) || !InRange(last, *first, 65535)) return false;
  fault.firstRegister = static_cast<int>(*first);
  fault.lastRegister = static_cast<int>(*last);
  return true;
}

// One key=value pair of a fault; false with error set when it is wrong.
bool ApplyFaultKey(const std::string& key, const std::string& value, Fault& fault,
                   std::string& error) {
  const auto number = Number(value);
  if (key == "regs" || key == "reg" || key == "record") {
    if (ParseRegisters(value, fault)) return true;
    error = "regs wants N or FIRST-LAST within 0..65535, not \"" + value + "\"";
  } else if (key == "addr" || key == "address") {
    if (InRange(number, 1, 255)) {
      fault.address = static_cast<uint8_t>(*number);
      return true;
    }
    error = "addr wants 1..255";
  } else if (key == "fn" || key == "function") {
    if (InRange(number, 1, 127)) {
      fault.function = static_cast<uint8_t>(*number);
      return true;
    }
    error = "fn wants 1..127";
  } else if (key == "times") {
    if (InRange(number, 1, 1'000'000'000)) {
      fault.times = static_cast<int>(*number);
      return true;
    }
    error = "times wants a count of at least 1";
  } else if (key == "every") {
    if (InRange(number, 1, 1'000'000'000)) {
      fault.every = static_cast<int>(*number);
      return true;
    }
    error = "every wants a count of at least 1";
  } else if (key == "prob") {
    if (const auto p = Fraction(value)) {
      fault.probability = *p;
      return true;
    }
    error = "prob wants a number from 0 to 1, not \"" + value + "\"";
  } else if (key == "seed") {
    if (InRange(number, 0, 4'294'967'295)) {
      fault.seed = static_cast<uint32_t>(*number);
      return true;
    }
    error = "seed wants 0..4294967295";
  } else if (key == "arg") {
    if (InRange(number, 0, 65535)) {
      fault.arg = static_cast<int>(*number);
      return true;
    }
    error = "arg wants 0..65535";
  } else {
    error = "unknown key \"" + key + "\"";
  }
  return false;
}

}  // namespace

std::optional<uint16_t> ParseModel(const std::string& text) {
  std::string name = Lower(text);
  if (name.rfind("k7104", 0) == 0) name.erase(0, 5);
  if (name == "1" || name == "t1") return 1;
  if (name == "2" || name == "c1") return 2;
  if (name == "6" || name == "e025") return 6;
  return std::nullopt;
}

std::optional<InstrumentSpec> ParseInstrument(const std::string& given) {
  std::string text = given;
  InstrumentSpec wanted;
  if (const auto at = text.find('@'); at != std::string::npos) {
    const auto rate = Number(text.substr(at + 1));
    if (!InRange(rate, 1, 4'000'000)) return std::nullopt;
    wanted.baud = static_cast<uint32_t>(*rate);
    text.erase(at);
  }
  const std::vector<std::string> fields = Split(text, ':');
  if (fields.empty() || fields.size() > 4) return std::nullopt;
  const auto address = Number(fields[0]);
  if (!InRange(address, 1, 255)) return std::nullopt;
  wanted.address = static_cast<uint8_t>(*address);
  if (fields.size() > 1) {
    const auto model = ParseModel(fields[1]);
    if (!model) return std::nullopt;
    wanted.model = *model;
  }
  if (fields.size() > 2) {
    const auto channels = Number(fields[2]);
    if (!InRange(channels, 0, 65535)) return std::nullopt;
    wanted.channels = static_cast<uint16_t>(*channels);
  }
  if (fields.size() > 3) {
    const auto relays = Number(fields[3]);
    if (!InRange(relays, 0, 65535)) return std::nullopt;
    wanted.relays = static_cast<uint16_t>(*relays);
  }
  return wanted;
}

std::optional<Fault> ParseFault(const std::string& text, std::string& error) {
  std::vector<std::pair<std::string, std::string>> pairs;
  const KindName* kind = nullptr;
  for (const std::string& pair : Split(text, ',')) {
    const auto equals = pair.find('=');
    if (equals == std::string::npos) {
      error = "\"" + pair + "\" is not key=value";
      return std::nullopt;
    }
    const std::string key = Lower(pair.substr(0, equals));
    const std::string value = pair.substr(equals + 1);
    if (key != "kind") {
      pairs.emplace_back(key, value);
      continue;
    }
    const auto known = std::find_if(std::begin(kKinds), std::end(kKinds),
                                    [&](const KindName& k) { return Lower(value) == k.name; });
    if (known == std::end(kKinds)) {
      error = "unknown fault kind \"" + value + "\"";
      return std::nullopt;
    }
    kind = known;
  }
  if (!kind) {
    error = "a fault needs kind=...";
    return std::nullopt;
  }
  Fault fault{kind->kind};
  fault.arg = kind->defaultArg;
  for (const auto& [key, value] : pairs) {
    if (!ApplyFaultKey(key, value, fault, error)) return std::nullopt;
  }
  return fault;
}

std::optional<NetworkMode> ParseNetworkMode(const std::string& text) {
  if (text == "rtu") return NetworkMode::Rtu;
  if (text == "mbap") return NetworkMode::Mbap;
  if (text == "rfc2217") return NetworkMode::Rfc2217;
  return std::nullopt;
}

std::string FaultKindsHelp() {
  std::string help;
  for (const KindName& kind : kKinds) {
    std::string line = "  ";
    line += kind.name;
    line.resize(14, ' ');
    help += line + kind.help;
    if (kind.defaultArg != 0) help += " (arg " + std::to_string(kind.defaultArg) + ")";
    help += "\n";
  }
  return help;
}

}  // namespace k7104sim
