// A started line with one factory-made instrument at address 1 and a raw client on its slave.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "sim/Simulator.h"
#include "support/HexCodec.h"
#include "support/RawClient.h"

namespace simtest {

class RawLineFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    instrument = &line.AddInstrument(wanted);
    ASSERT_TRUE(line.Start());
    client = std::make_unique<RawClient>(line.SlavePath());
    ASSERT_TRUE(client->IsOpen());
  }

  // Nothing comes back within a time far beyond any reply of an unpaced line.
  void ExpectSilence(const Bytes& request) {
    client->Write(request);
    EXPECT_EQ(HexText(client->ReadUntilQuiet(50, 300)), "") << "request " << HexText(request);
  }

  k7104sim::InstrumentSpec wanted;
  k7104sim::Line line;
  k7104sim::Instrument* instrument = nullptr;
  std::unique_ptr<RawClient> client;
};

// The registers a read of count registers brings back, or empty when the reply is anything else.
inline std::vector<uint16_t> ReadRegisters(RawClient& client, uint8_t address, uint8_t function,
                                           uint16_t first, uint16_t count) {
  const Bytes reply = client.Ask(ReadRequest(address, function, first, count), 5u + 2u * count);
  if (reply.size() != 5u + 2u * count || !CrcOk(reply) || reply[1] != function) return {};
  return ReplyRegisters(reply);
}

}  // namespace simtest
