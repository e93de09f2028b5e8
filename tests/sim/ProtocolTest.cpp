// The simulated line as a Modbus RTU slave: framing, addressing, broadcasts, exceptions.
#include <gtest/gtest.h>

#include "support/RawLineFixture.h"

namespace simtest {
namespace {

using k7104sim::WithCrc;

class ProtocolTest : public RawLineFixture {};

TEST_F(ProtocolTest, IdentityReadGivesSwappedTextModelFirmwareAndCounts) {
  const Bytes request{0x01, 0x03, 0x00, 0x00, 0x00, 0x09, 0x85, 0xCC};
  const Bytes expected = WithCrc({0x01, 0x03, 0x12, 'O',  'V',  'T',  'S',  'E',  'R',  'I', 'L',
                                  '!',  'N',  0x00, 0x01, 0x02, 0x03, 0x00, 0x20, 0x00, 0x20});
  EXPECT_EQ(HexText(client->Transact(request)), HexText(expected));
}

TEST(ProtocolLine, IdentityFollowsWhatTheInstrumentIs) {
  k7104sim::Line line;
  line.AddInstrument({.address = 17, .model = 6, .channels = 40, .relays = 0});
  ASSERT_TRUE(line.Start());
  RawClient client(line.SlavePath());
  const std::vector<uint16_t> registers = ReadRegisters(client, 17, 3, 5, 4);
  EXPECT_EQ(registers, (std::vector<uint16_t>{6, 0x0203, 40, 0}));
}

struct ExceptionCase {
  const char* name;
  Bytes request;  // without CRC
  uint8_t code;
};

class ExceptionReplyTest : public RawLineFixture,
                           public ::testing::WithParamInterface<ExceptionCase> {};

TEST_P(ExceptionReplyTest, AnswersWithTheExceptionCode) {
  const ExceptionCase& c = GetParam();
  const Bytes expected = WithCrc({0x01, static_cast<uint8_t>(c.request[1] | 0x80), c.code});
  EXPECT_EQ(HexText(client->Transact(WithCrc(c.request))), HexText(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ExceptionReplyTest,
    ::testing::Values(
        ExceptionCase{"UnknownFunctionOfUnknownLength", {0x01, 0x07}, 1},
        ExceptionCase{"ReadDiscreteInputs", {0x01, 0x02, 0x00, 0x00, 0x00, 0x01}, 1},
        ExceptionCase{"EncapsulatedTransport", {0x01, 0x2B, 0x0E, 0x01, 0x00}, 1},
        ExceptionCase{"RegisterInTheGap", {0x01, 0x03, 0x00, 0x09, 0x00, 0x01}, 2},
        ExceptionCase{"RangeOverTheGap", {0x01, 0x03, 0x00, 0x00, 0x00, 0x0B}, 2},
        ExceptionCase{"RegisterBeyondTheMap", {0x01, 0x03, 0x08, 0x00, 0x00, 0x01}, 2},
        ExceptionCase{"CountZero", {0x01, 0x03, 0x00, 0x00, 0x00, 0x00}, 3},
        ExceptionCase{"CountAboveModbusLimit", {0x01, 0x03, 0x00, 0x80, 0x00, 0x7E}, 3},
        ExceptionCase{"WriteIdentity", {0x01, 0x06, 0x00, 0x05, 0x00, 0x02}, 2},
        ExceptionCase{"WriteState", {0x01, 0x06, 0x00, 0x61, 0x00, 0x89}, 2},
        ExceptionCase{"WriteCurrentValue", {0x01, 0x06, 0x03, 0x00, 0x00, 0x00}, 2},
        ExceptionCase{"WriteNominalPeriod",
                      {0x01, 0x10, 0x07, 0x00, 0x00, 0x02, 0x04, 0x00, 0x00, 0x40, 0x00},
                      2},
        ExceptionCase{"ByteCountNotTwiceTheCount",
                      {0x01, 0x10, 0x00, 0x62, 0x00, 0x01, 0x04, 0x00, 0x01, 0x00, 0x02},
                      3},
        ExceptionCase{
            "ClockWithMonth13",
            {0x01, 0x10, 0x00, 0x0B, 0x00, 0x03, 0x06, 0x0D, 0x05, 0x0E, 0x11, 0x24, 0x19},
            3},
        ExceptionCase{"AddressZero", {0x01, 0x06, 0x00, 0x63, 0x00, 0x00}, 3},
        ExceptionCase{"AddressAbove255", {0x01, 0x06, 0x00, 0x63, 0x01, 0x00}, 3},
        ExceptionCase{"CoilValueNeitherOnNorOff", {0x01, 0x05, 0x00, 0x00, 0x12, 0x34}, 3},
        ExceptionCase{"CoilBeyondTheMap", {0x01, 0x01, 0x00, 0xA0, 0x00, 0x01}, 2},
        ExceptionCase{
            "CoilsWithWrongByteCount", {0x01, 0x0F, 0x00, 0x00, 0x00, 0x09, 0x01, 0xFF}, 3},
        ExceptionCase{"ArchiveRecordLongerThanChannels", {0x01, 0x04, 0x00, 0x05, 0x00, 0x45}, 2},
        ExceptionCase{"InputCountZero", {0x01, 0x04, 0x00, 0x00, 0x00, 0x00}, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProtocolLine, RegistersAndCoilsExistOnlyForPresentChannelsAndRelays) {
  k7104sim::Line line;
  line.AddInstrument({.address = 1, .model = 1, .channels = 8, .relays = 3});
  ASSERT_TRUE(line.Start());
  RawClient client(line.SlavePath());
  struct Probe {
    uint8_t function;
    uint16_t first;
    uint16_t count;
    bool exists;
  };
  const Probe probes[] = {
      {3, 128, 8, true},   {3, 128, 9, false},  {3, 455, 1, true},  {3, 456, 1, false},
      {3, 544, 8, true},   {3, 552, 1, false},  {3, 768, 16, true}, {3, 768, 17, false},
      {3, 1536, 16, true}, {3, 1552, 1, false}, {1, 96, 3, true},   {1, 96, 4, false},
      {1, 128, 3, true},   {1, 0, 8, true},     {1, 8, 1, false},   {4, 0, 20, true},
      {4, 0, 21, false},
  };
  for (const Probe& probe : probes) {
    const Bytes reply = client.Transact(ReadRequest(1, probe.function, probe.first, probe.count));
    ASSERT_GE(reply.size(), 5u);
    EXPECT_EQ(reply[1], probe.exists ? probe.function : probe.function | 0x80)
        << "function " << int(probe.function) << " from " << probe.first << " count "
        << probe.count;
  }
}

TEST_F(ProtocolTest, DamagedRequestIsIgnoredAndTheNextOneAnswered) {
  Bytes damaged = ReadRequest(1, 3, 0, 9);
  std::swap(damaged[6], damaged[7]);
  ExpectSilence(damaged);
  EXPECT_EQ(client->Transact(ReadRequest(1, 3, 0, 9)).size(), 23u);
}

TEST_F(ProtocolTest, RequestsToOtherAddressesAreIgnored) {
  ExpectSilence(ReadRequest(2, 3, 0, 9));
  ExpectSilence({0x07, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x6C});
  EXPECT_EQ(instrument->RequestCount(), 0u);
}

TEST_F(ProtocolTest, NoiseBeforeAPauseIsDroppedAndTheLineRecovers) {
  client->Write({0x01, 0x03, 0x00});
  EXPECT_EQ(HexText(client->ReadUntilQuiet(50, 200)), "");
  EXPECT_EQ(client->Transact(ReadRequest(1, 3, 0, 9)).size(), 23u);
}

TEST_F(ProtocolTest, RequestsWrittenBackToBackAreAnsweredInTurn) {
  Bytes both = ReadRequest(1, 3, 97, 1);
  const Bytes second = ReadRequest(1, 3, 113, 1);
  both.insert(both.end(), second.begin(), second.end());
  client->Write(both);
  const Bytes replies = client->ReadCount(14);
  EXPECT_EQ(HexText(replies),
            HexText(WithCrc({1, 3, 2, 0, 129})) + " " + HexText(WithCrc({1, 3, 2, 0x01, 0xF4})));
}

TEST_F(ProtocolTest, ReceivedFramesKeepEveryCompleteRequestInOrder) {
  Bytes damaged = ReadRequest(1, 3, 0, 9);
  damaged[7] ^= 0x01;
  const Bytes first = ReadRequest(2, 3, 0, 9);
  const Bytes last = WriteRegisters(1, 98, {77});
  ExpectSilence(first);
  ExpectSilence(damaged);
  client->Transact(last);
  EXPECT_EQ(line.ReceivedFrames(), (std::vector<Bytes>{first, damaged, last}));
  EXPECT_EQ(instrument->RequestCount(), 1u);
  line.ClearReceived();
  EXPECT_TRUE(line.ReceivedFrames().empty());
}

// A line polled for days keeps the recent requests only, not every one it ever got. The requests
// go in bursts the line takes whole: 59 to a silent address, then one that it answers.
TEST_F(ProtocolTest, ReceivedFramesKeepTheLastTenThousand) {
  constexpr uint16_t kBurst = 60;
  constexpr uint16_t kSent = 168 * kBurst;
  const auto frame = [](uint16_t k) {
    return k % kBurst == kBurst - 1 ? ReadRequest(1, 3, 97, 1) : ReadRequest(9, 3, k, 1);
  };
  for (uint16_t first = 0; first < kSent; first += kBurst) {
    Bytes burst;
    for (uint16_t k = first; k < first + kBurst; ++k) {
      const Bytes request = frame(k);
      burst.insert(burst.end(), request.begin(), request.end());
    }
    client->Write(burst);
    ASSERT_EQ(client->ReadCount(7, 60000).size(), 7u) << "the burst from " << first;
  }
  const std::vector<Bytes> kept = line.ReceivedFrames();
  ASSERT_EQ(kept.size(), 10000u);
  EXPECT_EQ(kept.front(), frame(kSent - 10000));
  EXPECT_EQ(kept.back(), frame(kSent - 1));
}

TEST(ProtocolLine, BroadcastIsCarriedOutByEveryInstrumentWithoutReply) {
  k7104sim::Line line;
  k7104sim::Instrument& first = line.AddInstrument({.address = 1});
  k7104sim::Instrument& second = line.AddInstrument({.address = 2});
  ASSERT_TRUE(line.Start());
  RawClient client(line.SlavePath());
  client.Write(WriteRegisters(0, 98, {77}));
  EXPECT_EQ(HexText(client.ReadUntilQuiet(50, 300)), "");
  client.Write(ReadRequest(0, 3, 0, 9));
  EXPECT_EQ(HexText(client.ReadUntilQuiet(50, 300)), "");
  EXPECT_EQ(first.HoldingRegister(98), 77);
  EXPECT_EQ(ReadRegisters(client, 2, 3, 98, 1), std::vector<uint16_t>{77});
  EXPECT_EQ(first.RequestCount(), 2u);
  EXPECT_EQ(second.RequestCount(), 3u);
}

TEST_F(ProtocolTest, AddressChangeRepliesAtTheOldAddressThenMoves) {
  const Bytes request{0x01, 0x10, 0x00, 0x63, 0x00, 0x01, 0x02, 0x00, 0x07, 0xEE, 0x01};
  EXPECT_EQ(HexText(client->Transact(request)),
            HexText(WithCrc({0x01, 0x10, 0x00, 0x63, 0x00, 0x01})));
  ExpectSilence(ReadRequest(1, 3, 0, 9));
  EXPECT_EQ(ReadRegisters(*client, 7, 3, 99, 1), std::vector<uint16_t>{7});
  EXPECT_EQ(line.Find(7), instrument);
  EXPECT_EQ(line.Find(1), nullptr);
}

TEST_F(ProtocolTest, InstrumentAddedWhileRunningAnswers) {
  line.AddInstrument({.address = 9, .model = 2, .channels = 4, .relays = 2});
  EXPECT_EQ(ReadRegisters(*client, 9, 3, 5, 1), std::vector<uint16_t>{2});
}

TEST(ProtocolLine, LinesStartAgainAndRunSideBySide) {
  k7104sim::Line first;
  k7104sim::Line second;
  first.AddInstrument({.address = 1});
  second.AddInstrument({.address = 2});
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    EXPECT_NE(first.SlavePath(), second.SlavePath());
    RawClient one(first.SlavePath());
    RawClient two(second.SlavePath());
    EXPECT_EQ(ReadRegisters(one, 1, 3, 99, 1), std::vector<uint16_t>{1});
    EXPECT_EQ(ReadRegisters(two, 2, 3, 99, 1), std::vector<uint16_t>{2});
    first.Stop();
    second.Stop();
  }
}

TEST(ProtocolLine, ClientThatLeavesAndComesBackIsServed) {
  k7104sim::Line line;
  line.AddInstrument({});
  ASSERT_TRUE(line.Start());
  for (int visit = 0; visit < 3; ++visit) {
    RawClient client(line.SlavePath());
    EXPECT_EQ(ReadRegisters(client, 1, 3, 97, 1), std::vector<uint16_t>{129});
  }
}

}  // namespace
}  // namespace simtest
