// Streams of any shape from the server of a network line, in pieces of any size, into the
// channel through an in-memory connection: Modbus TCP frames (the MBAP header, transaction ids,
// a gateway's exceptions) and the telnet stream of RFC 2217 (negotiation, Com Port Control
// answers, IAC doubling). The channel must end with a result code, never read or write out of
// bounds, and take nothing for success that is no answer to the request; the telnet decoder must
// give back any data it was given escaped, however the stream is cut.
#include <cstdlib>
#include <memory>
#include <vector>

#include "MemoryPort.h"
#include "MemorySocket.h"
#include "modbus/Modbusunit.h"
#include "modbus/Rfc2217Port.h"
#include "modbus/TelnetDecoder.h"

namespace {

// Request frames without CRC: address, function, data.
const std::vector<std::vector<uint8_t>> kRequests = {
    {1, 3, 0, 0, 0, 9},                             // identity
    {1, 3, 0x03, 0x80, 0, 64},                      // one float per channel
    {1, 1, 0, 64, 0, 32},                           // one coil per channel
    {1, 4, 0, 1, 0, 68},                            // archive record 1
    {1, 16, 0, 11, 0, 3, 6, 3, 5, 14, 17, 36, 25},  // clock
    {1, 6, 0, 98, 0, 60},                           // raw: one register
    {7, 3, 0, 0, 0, 9},                             // probe through a gateway
};

// What a server that took Com Port Control and 9600 8E2 at once says first.
const std::vector<uint8_t> kAcceptingServer = {
    255, 253, 44,                                     // DO COM-PORT-OPTION
    255, 250, 44, 101, 0, 0,   0x25, 0x80, 255, 240,  // rate 9600
    255, 250, 44, 102, 8, 255, 240,                   // 8 data bits
    255, 250, 44, 103, 3, 255, 240,                   // even parity
    255, 250, 44, 104, 2, 255, 240,                   // 2 stop bits
    255, 250, 44, 105, 1, 255, 240,                   // no flow control
};

// The first transaction's MBAP header for a reply of `length` bytes after it.
std::vector<uint8_t> MbapHeader(size_t length) {
  return {0, 1, 0, 0, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
}

void CheckTransaction(TModBus& bus, const std::vector<uint8_t>& request) {
  TModBusFrame& frame = bus.RequestFrame();
  frame.Length = static_cast<uint16_t>(request.size());
  std::copy(request.begin(), request.end(), frame.FrameBytes());
  const TResult result = bus.Transaction();
  const TTransactionTrace& trace = bus.LastTrace();
  if (result == RESULT_OK && !ReplyAnswersRequest(request, bus.ReplyFrame())) std::abort();
  if (trace.GatewayException >= 0 && (result != RESULT_TIMEOUT || trace.Answered)) std::abort();
  if (trace.ReplyBytes > TModBus::AreaSize) std::abort();
}

// The data, escaped and cut into pieces of the sizes the input gives, comes back whole.
void CheckDecoderRoundTrip(const std::vector<uint8_t>& data, size_t piece) {
  std::vector<uint8_t> stream;
  for (uint8_t byte : data) {
    stream.push_back(byte);
    if (byte == telnet::Iac) stream.push_back(telnet::Iac);
  }
  TTelnetDecoder decoder;
  std::vector<uint8_t> decoded;
  for (size_t at = 0; at < stream.size(); at += piece)
    decoder.Feed(stream.data() + at, std::min(piece, stream.size() - at), decoded);
  if (decoded != data) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput input(data, size);
  const uint8_t mode = input.Byte();
  const size_t piece = input.Byte() % 64 + 1;
  const std::vector<uint8_t>& request = kRequests[input.Byte() % kRequests.size()];
  const bool prelude = (mode & 2) != 0;
  std::vector<uint8_t> stream = input.Rest();
  CheckDecoderRoundTrip(stream, piece);

  const bool mbap = (mode & 1) == 0;
  if (prelude && mbap) {
    std::vector<uint8_t> header = MbapHeader(stream.size());
    stream.insert(stream.begin(), header.begin(), header.end());
  } else if (prelude) {
    stream.insert(stream.begin(), kAcceptingServer.begin(), kAcceptingServer.end());
  }
  auto socket = std::make_unique<TMemorySocket>(std::move(stream), piece);
  std::unique_ptr<TSerialPort> port;
  if (mbap)
    port = std::move(socket);
  else
    port = std::make_unique<TRfc2217Port>(std::move(socket));
  TModBus bus(std::move(port));
  bus.SetLine(
      {TLineKind::Network, "fuzz", 1, mbap ? TNetworkMode::ModbusTcp : TNetworkMode::Rfc2217});
  bus.SetWaitTime(10);
  if (!bus.OpenPort()) return 0;  // a server that refused the settings
  CheckTransaction(bus, request);
  CheckTransaction(bus, request);  // after whatever the first one left behind
  return 0;
}
