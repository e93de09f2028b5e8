// Replies of any shape through the channel's transaction, for every kind of request the register
// map and the raw command send, with and without echo and in chunks of any size. The channel must
// answer each with a result code, never read or write out of bounds, take nothing for success
// that is no answer to the request, and take the next right reply as if nothing had happened.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "MemoryPort.h"

namespace {

// Request frames without CRC: address, function, data.
const std::vector<std::vector<uint8_t>> kRequests = {
    {1, 3, 0, 0, 0, 9},                                // identity
    {1, 3, 0, 128, 0, 32},                             // one byte per channel
    {1, 3, 0x03, 0x80, 0, 64},                         // one float per channel
    {1, 3, 0, 97, 0, 8},                               // settings
    {1, 1, 0, 64, 0, 32},                              // one coil per channel
    {1, 4, 0, 1, 0, 68},                               // archive record 1
    {1, 4, 0, 0, 0, 68},                               // last cycle
    {1, 16, 0, 11, 0, 3, 6, 3, 5, 14, 17, 36, 25},     // clock
    {1, 16, 0, 99, 0, 1, 2, 0, 5},                     // address
    {1, 15, 0, 64, 0, 32, 4, 0xA5, 0x5A, 0xFF, 0x00},  // coils
    {1, 6, 0, 98, 0, 60},                              // raw: one register
    {1, 5, 0, 128, 0xFF, 0},                           // raw: one coil
    {5, 3, 0, 0, 0, 9},                                // probe of a new address
    {0, 16, 0, 98, 0, 1, 2, 0, 60},                    // broadcast
};

// A right reply to the identity request, to see that the channel recovers.
const std::vector<uint8_t> kIdentityReply =
    WithCrc({1, 3, 18, 'O', 'V', 'T', 'S', 'E', 'R', 'I', 'L', '!', 'N', 0, 1, 2, 3, 0, 32, 0, 32});

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput input(data, size);
  const std::vector<uint8_t>& request = kRequests[input.Byte() % kRequests.size()];
  const uint8_t flags = input.Byte();
  TScriptedReply reply;
  reply.Bytes = input.Rest();
  if (flags & 1) reply.Bytes = WithCrc(std::move(reply.Bytes));
  reply.Echo = (flags & 2) != 0;
  reply.Chunk = flags >> 3;

  auto owned = std::make_unique<TMemoryPort>();
  TMemoryPort& port = *owned;
  TModBus bus(std::move(owned));
  bus.SetFrameEndByLength((flags & 4) == 0);
  bus.SetBaudIndex(14);
  bus.SetWaitTime(10);
  if (!bus.OpenPort()) std::abort();

  port.Script({reply, {kIdentityReply, reply.Echo, 0}});
  TModBusFrame& frame = bus.RequestFrame();
  frame.Length = static_cast<uint16_t>(request.size());
  std::copy(request.begin(), request.end(), frame.FrameBytes());
  const TResult result = bus.Transaction();
  if (result == RESULT_OK && request[0] != 0 && !ReplyAnswersRequest(request, bus.ReplyFrame()))
    std::abort();

  const std::vector<uint8_t>& identity = kRequests[0];
  frame.Length = static_cast<uint16_t>(identity.size());
  std::copy(identity.begin(), identity.end(), frame.FrameBytes());
  if (bus.Transaction() != RESULT_OK || bus.ReplyFrame().Length != 21) std::abort();
  return 0;
}
