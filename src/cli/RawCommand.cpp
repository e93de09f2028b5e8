// The raw command: one Modbus request as typed, with the bytes on the line and the result shown.
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "cli/CliOptions.h"
#include "cli/Trace.h"
#include "cli/WriteJournal.h"
#include "instrument/JobMessages.h"
#include "modbus/Traffic.h"

namespace cli {

std::string Hex(const uint8_t* bytes, size_t count) {
  return HexText(bytes, count);
}

bool OpenChannel(TModBus& bus, const Options& options) {
  const auto index = static_cast<uint8_t>(options.com - 1);
  if (!options.tcpHost.empty()) {
    bus.SetLine({TLineKind::Network, options.tcpHost, options.tcpPort, options.tcpMode});
  } else {
    if (!options.port.empty()) bus.SetPortDevice(index, options.port);
    bus.SetPortIndex(index);
  }
  for (uint8_t i = 0; i < BaudRateCount; ++i)
    if (BaudRates[i] == options.baud) bus.SetBaudIndex(i);
  bus.SetWaitTime(options.timeoutMs);
  if (options.trace) StartTrace(bus);
  if (bus.OpenPort()) return true;
  const std::string line = bus.LineName();
  const std::string why = OpenFailureText(bus.OpenFailure(), line, bus.OpenSystemError());
  if (bus.IsNetworkLine())
    std::fprintf(stderr, "k7104-cli: %s\n", why.c_str());
  else
    std::fprintf(stderr, "k7104-cli: cannot open %s: %s\n", line.c_str(), why.c_str());
  return false;
}

namespace {

bool ParseHexBytes(const std::vector<std::string>& words, std::vector<uint8_t>& bytes) {
  for (const auto& word : words) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(word.c_str(), &end, 16);
    if (word.empty() || *end != '\0' || value > 0xFF) return false;
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return !bytes.empty() && bytes.size() <= 255;
}

int RunRaw(const Options& options, const std::vector<std::string>& args) {
  std::vector<uint8_t> bytes;
  if (!ParseHexBytes(args, bytes)) {
    std::fprintf(stderr, "k7104-cli raw: give the function and data as hexadecimal bytes\n");
    return kExitUsage;
  }
  TModBus bus;
  WriteJournal journal(bus);
  journal.Recorder().SetRequired(options.requireJournal);
  const bool writes = bytes[0] == 5 || bytes[0] == 6 || bytes[0] == 15 || bytes[0] == 16;
  if (writes && !journal.Recorder().WritesMayStart()) {
    std::fprintf(stderr, "k7104-cli: %s\n", kJournalRefused);
    return kExitFile;
  }
  if (!OpenChannel(bus, options)) return bus.OpenFailureResult();
  TModBusFrame& request = bus.RequestFrame();
  request.SetAddress(options.address);
  request.SetFunction(bytes[0]);
  request.SetDataLength(static_cast<uint16_t>(bytes.size() - 1));
  std::copy(bytes.begin() + 1, bytes.end(), request.FrameData());

  const TResult result = bus.Transaction();
  const TTransactionTrace& trace = bus.LastTrace();
  if (writes) journal.Recorder().RawWritten(request, result, trace.Exception);
  std::printf("request  %s\n", Hex(bus.TransmitArea(), trace.BytesWritten).c_str());
  const bool mbap = bus.IsNetworkLine() && bus.Line().Mode == TNetworkMode::ModbusTcp;
  if (mbap && (trace.Answered || trace.GatewayException >= 0)) {
    std::printf("reply    %s\n", Hex(bus.ReceiveArea(), trace.ReplyBytes).c_str());
  } else if (trace.Answered) {
    const TModBusFrame& reply = bus.ReplyFrame();
    const uint16_t crc = CalcCRC16(reply.FrameBytes(), reply.Length);
    const uint8_t crcBytes[2] = {static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)};
    std::printf("reply    %s %s%s\n", Hex(reply.FrameBytes(), reply.Length).c_str(),
                Hex(crcBytes, 2).c_str(), trace.EchoRemoved ? "  (echo removed)" : "");
  }
  std::printf("result   %u %s", result, ResultMessage(result));
  if (trace.Exception >= 0) std::printf(" (исключение %d от прибора)", trace.Exception);
  if (const char* gateway = GatewayExceptionText(trace.GatewayException))
    std::printf(" (%s)", gateway);
  std::printf("\n");
  return result;
}

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = [] {
    std::vector<Command> all = JobCommands();
    for (Command& command : CompareCommands()) all.push_back(std::move(command));
    all.push_back({"raw", "FUNCTION [DATA...]",
                   "send one request (hexadecimal bytes after the address) and show request, "
                   "reply and result",
                   RunRaw});
    all.push_back(PortsCommand());
    all.push_back(JournalCommand());
    return all;
  }();
  return commands;
}

}  // namespace cli
