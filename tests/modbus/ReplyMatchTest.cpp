// The channel takes only the reply to the request it sent: not a late reply meant for another
// address, not a reply with another function or a byte count that contradicts it, not a write
// reply that names other registers. Against the simulated instrument on a pseudo-terminal.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "modbus/Modbusunit.h"
#include "sim/Simulator.h"
#include "support/PtyPeer.h"

namespace {

using k7104sim::EchoMode;
using k7104sim::Fault;
using k7104sim::FaultKind;

using Bytes = std::vector<uint8_t>;

const Bytes kIdentity{0x00, 0x00, 0x00, 0x09};
const Bytes kWriteArchivePeriod{0x00, 0x62, 0x00, 0x01, 0x02, 0x00, 0x3C};
const Bytes kWriteSingleArchivePeriod{0x00, 0x62, 0x00, 0x3C};

Fault Once(FaultKind kind, int arg = 0) {
  Fault fault{kind, arg};
  fault.times = 1;
  return fault;
}

class ReplyMatch : public ::testing::Test {
 protected:
  void SetUp() override {
    line_.AddInstrument({1, 1, 32, 32});
    ASSERT_TRUE(line_.Start());
    bus_.SetPortDevice(bus_.PortIndex(), line_.SlavePath());
    ASSERT_TRUE(bus_.OpenPort());
    bus_.SetWaitTime(250);
  }

  int Send(uint8_t address, uint8_t function, const Bytes& data) {
    TModBusFrame& request = bus_.RequestFrame();
    request.SetAddress(address);
    request.SetFunction(function);
    request.SetDataLength(static_cast<uint16_t>(data.size()));
    std::memcpy(request.FrameData(), data.data(), data.size());
    return bus_.Transaction();
  }

  k7104sim::Line line_;
  TModBus bus_;
};

// A scan with replies that come later than the probe's timeout: the late reply of address 3
// arrives while address 4 is asked, and must not make an instrument appear at 4.
TEST_F(ReplyMatch, LateReplyToTheLastProbeIsNotTakenForThisOne) {
  line_.AddInstrument({3, 1, 32, 32});
  bus_.SetWaitTime(150);
  Fault late = Once(FaultKind::Late, 200);
  late.address = 3;
  line_.AddFault(late);
  EXPECT_EQ(Send(3, 3, kIdentity), RESULT_TIMEOUT);
  EXPECT_EQ(Send(4, 3, kIdentity), RESULT_TIMEOUT);
  EXPECT_EQ(bus_.LastTrace().ForeignFrames, 1);

  // The wait goes on after the foreign reply: the right one that follows is taken.
  line_.AddFault(late);
  bus_.SetWaitTime(100);
  EXPECT_EQ(Send(3, 3, kIdentity), RESULT_TIMEOUT);
  bus_.SetWaitTime(1000);
  ASSERT_EQ(Send(1, 3, kIdentity), RESULT_OK);
  EXPECT_EQ(bus_.ReplyFrame().GetAddress(), 1);
  EXPECT_EQ(bus_.LastTrace().ForeignFrames, 1);
}

TEST_F(ReplyMatch, ReplyFromAnotherAddressIsNoAnswer) {
  for (int other : {0, 2, 17, 247, 255}) {
    line_.AddFault(Once(FaultKind::OtherAddress, other));
    EXPECT_EQ(Send(1, 3, kIdentity), RESULT_TIMEOUT) << "reply from " << other;
    line_.AddFault(Once(FaultKind::OtherAddress, other));
    EXPECT_EQ(Send(1, 16, kWriteArchivePeriod), RESULT_TIMEOUT) << "write reply from " << other;
  }
  EXPECT_EQ(Send(1, 3, kIdentity), RESULT_OK);
}

TEST_F(ReplyMatch, ReplyWithAnotherFunctionIsALengthError) {
  for (int other : {4, 1, 0x43, 0x84}) {
    line_.AddFault(Once(FaultKind::OtherFunction, other));
    EXPECT_EQ(Send(1, 3, kIdentity), RESULT_LENGTH) << "function " << other;
  }
  line_.AddFault(Once(FaultKind::OtherFunction, 3));
  EXPECT_EQ(Send(1, 16, kWriteArchivePeriod), RESULT_LENGTH) << "a read reply to a write";
}

TEST_F(ReplyMatch, ByteCountMustEqualTheDataThatFollows) {
  for (int wrong : {1, 255, 2}) {
    line_.AddFault(Once(FaultKind::ByteCount, wrong));
    EXPECT_EQ(Send(1, 3, kIdentity), RESULT_LENGTH) << "byte count off by " << wrong;
  }
  line_.AddFault(Once(FaultKind::ByteCount, 1));
  EXPECT_EQ(Send(1, 1, {0x00, 0x00, 0x00, 0x20}), RESULT_LENGTH) << "coil reply";
  EXPECT_EQ(Send(1, 1, {0x00, 0x00, 0x00, 0x20}), RESULT_OK);
}

TEST_F(ReplyMatch, WriteReplyMustEchoFirstRegisterAndCount) {
  line_.AddFault(Once(FaultKind::ShortByOneRegister));
  EXPECT_EQ(Send(1, 16, kWriteArchivePeriod), RESULT_LENGTH) << "one register short";
  line_.AddFault(Once(FaultKind::WriteEcho, 1));
  EXPECT_EQ(Send(1, 16, kWriteArchivePeriod), RESULT_LENGTH) << "other registers";
  line_.AddFault(Once(FaultKind::WriteEcho, 1));
  EXPECT_EQ(Send(1, 15, {0x00, 0x40, 0x00, 0x0A, 0x02, 0x0D, 0x03}), RESULT_LENGTH)
      << "other coils";
  line_.AddFault(Once(FaultKind::WriteEcho, 1));
  EXPECT_EQ(Send(1, 6, kWriteSingleArchivePeriod), RESULT_LENGTH) << "single register";
  EXPECT_EQ(Send(1, 16, kWriteArchivePeriod), RESULT_OK);
}

// A peer that answers every write with the bare function and nothing else, and one that echoes
// a count the request did not ask for.
TEST_F(ReplyMatch, WriteReplyWithoutOrWithAnotherCountIsALengthError) {
  const Bytes request{0x01, 0x10, 0x00, 0x62, 0x00, 0x01, 0x02, 0x00, 0x3C, 0xAE, 0x03};
  for (const Bytes& body : {Bytes{0x01, 0x10}, Bytes{0x01, 0x10, 0x00, 0x62, 0x00, 0x02}}) {
    PtyResponder peer(request.size(), [&](const Bytes&) {
      Bytes reply = body;
      const uint16_t crc = CalcCRC16(reply.data(), reply.size());
      reply.push_back(static_cast<uint8_t>(crc & 0xFF));
      reply.push_back(static_cast<uint8_t>(crc >> 8));
      return reply;
    });
    TModBus bus;
    bus.SetPortDevice(bus.PortIndex(), peer.Path());
    ASSERT_TRUE(bus.OpenPort());
    bus.SetWaitTime(300);
    TModBusFrame& frame = bus.RequestFrame();
    frame.SetAddress(1);
    frame.SetFunction(16);
    frame.SetDataLength(static_cast<uint16_t>(kWriteArchivePeriod.size()));
    std::memcpy(frame.FrameData(), kWriteArchivePeriod.data(), kWriteArchivePeriod.size());
    EXPECT_EQ(bus.Transaction(), RESULT_LENGTH) << body.size() << " bytes";
  }
}

TEST_F(ReplyMatch, ExceptionZeroIsAFailure) {
  line_.AddFault(Once(FaultKind::Exception, 0));
  EXPECT_EQ(Send(1, 3, kIdentity), RESULT_UNKNOWN);
  EXPECT_EQ(bus_.LastTrace().Exception, 0);
  line_.AddFault(Once(FaultKind::Exception, 11));
  EXPECT_EQ(Send(1, 3, kIdentity), 11);
  EXPECT_EQ(bus_.LastTrace().Exception, 11);
  EXPECT_EQ(Send(1, 3, kIdentity), RESULT_OK);
  EXPECT_EQ(bus_.LastTrace().Exception, -1);
}

// Without a converter the reply to function 6 (and 5) is the request itself.
TEST_F(ReplyMatch, SingleWriteWhoseReplyRepeatsTheRequestSucceeds) {
  EXPECT_EQ(Send(1, 6, kWriteSingleArchivePeriod), RESULT_OK);
  EXPECT_TRUE(bus_.LastTrace().EchoTakenAsReply);
  EXPECT_EQ(line_.Find(1)->HoldingRegister(98), 60);
  EXPECT_EQ(Send(1, 5, {0x00, 0x80, 0xFF, 0x00}), RESULT_OK);
  EXPECT_TRUE(line_.Find(1)->Coil(128));

  // Behind a converter the echo comes first and the reply after it.
  line_.SetEcho(EchoMode::Pause, 80);
  EXPECT_EQ(Send(1, 6, {0x00, 0x62, 0x00, 0x2D}), RESULT_OK);
  EXPECT_FALSE(bus_.LastTrace().EchoTakenAsReply);
  EXPECT_EQ(bus_.LastTrace().Reads, 2);
  EXPECT_EQ(line_.Find(1)->HoldingRegister(98), 45);

  // An echo that nobody answers is no success for a read.
  line_.SetEcho(EchoMode::Off);
  line_.AddFault(Once(FaultKind::RepeatRequest));
  EXPECT_EQ(Send(1, 3, kIdentity), RESULT_TIMEOUT);
}

}  // namespace
