// Faults on demand, echo, pacing and hang-up: what each does to the bytes on the line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/RawLineFixture.h"

namespace simtest {
namespace {

using k7104sim::Fault;
using k7104sim::FaultKind;
using k7104sim::WithCrc;
using namespace std::chrono_literals;

const Bytes kIdentityRequest{0x01, 0x03, 0x00, 0x00, 0x00, 0x09, 0x85, 0xCC};
const Bytes kIdentityData{'O', 'V',  'T',  'S',  'E',  'R',  'I',  'L',  '!',
                          'N', 0x00, 0x01, 0x02, 0x03, 0x00, 0x20, 0x00, 0x20};

Bytes IdentityReply(const Bytes& data) {
  Bytes frame{0x01, 0x03, static_cast<uint8_t>(data.size())};
  frame.insert(frame.end(), data.begin(), data.end());
  return WithCrc(frame);
}

double MillisecondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

struct ReplyFaultCase {
  const char* name;
  Fault fault;
  std::function<Bytes(const Bytes& good)> expected;
};

class ReplyFaultTest : public RawLineFixture,
                       public ::testing::WithParamInterface<ReplyFaultCase> {};

TEST_P(ReplyFaultTest, ChangesTheIdentityReplyAsAsked) {
  const Bytes good = IdentityReply(kIdentityData);
  line.AddFault(GetParam().fault);
  EXPECT_EQ(HexText(client->Transact(kIdentityRequest)), HexText(GetParam().expected(good)));
}

// The reply with one byte changed and its CRC right.
Bytes Resealed(Bytes reply, size_t at, uint8_t value) {
  reply[at] = value;
  reply.resize(reply.size() - 2);
  return WithCrc(reply);
}

Bytes SwappedCrc(Bytes reply) {
  std::swap(reply[reply.size() - 2], reply[reply.size() - 1]);
  return reply;
}

Bytes FlippedCrc(Bytes reply) {
  reply[reply.size() - 2] ^= 0xFF;
  reply[reply.size() - 1] ^= 0xFF;
  return reply;
}

Bytes WithModelCode(uint8_t code) {
  Bytes data = kIdentityData;
  data[11] = code;
  return IdentityReply(data);
}

Bytes Unswapped() {
  Bytes data = kIdentityData;
  const std::string text = "VOSTRELIN!";
  std::copy(text.begin(), text.end(), data.begin());
  return IdentityReply(data);
}

Bytes EchoThenReply(const Bytes& good) {
  Bytes bytes = kIdentityRequest;
  bytes.insert(bytes.end(), good.begin(), good.end());
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReplyFaultTest,
    ::testing::Values(
        ReplyFaultCase{"NoReply", {FaultKind::NoReply}, [](const Bytes&) { return Bytes{}; }},
        ReplyFaultCase{"CrcBytesSwapped", {FaultKind::BadCrc, 0}, SwappedCrc},
        ReplyFaultCase{"CrcBytesFlipped", {FaultKind::BadCrc, 1}, FlippedCrc},
        ReplyFaultCase{"CutToOneByte",
                       {FaultKind::Truncate, 1},
                       [](const Bytes& good) { return Bytes(good.begin(), good.begin() + 1); }},
        ReplyFaultCase{"CutToThreeBytes",
                       {FaultKind::Truncate, 3},
                       [](const Bytes& good) { return Bytes(good.begin(), good.begin() + 3); }},
        ReplyFaultCase{"OneRegisterShort",
                       {FaultKind::ShortByOneRegister},
                       [](const Bytes&) {
                         return IdentityReply(
                             Bytes(kIdentityData.begin(), kIdentityData.end() - 2));
                       }},
        ReplyFaultCase{"Busy",
                       {FaultKind::Busy},
                       [](const Bytes&) {
                         return WithCrc({0x01, 0x83, 0x06});
                       }},
        ReplyFaultCase{"ChosenException",
                       {FaultKind::Exception, 4},
                       [](const Bytes&) {
                         return WithCrc({0x01, 0x83, 0x04});
                       }},
        ReplyFaultCase{"ExceptionZero",
                       {FaultKind::Exception, 0},
                       [](const Bytes&) {
                         return WithCrc({0x01, 0x83, 0x00});
                       }},
        ReplyFaultCase{"FromAnotherAddress",
                       {FaultKind::OtherAddress, 17},
                       [](const Bytes& good) { return Resealed(good, 0, 17); }},
        ReplyFaultCase{"WithAnotherFunction",
                       {FaultKind::OtherFunction, 0x43},
                       [](const Bytes& good) { return Resealed(good, 1, 0x43); }},
        ReplyFaultCase{"ByteCountBeyondTheData",
                       {FaultKind::ByteCount, 2},
                       [](const Bytes& good) { return Resealed(good, 2, 20); }},
        ReplyFaultCase{"RepeatedRequest",
                       {FaultKind::RepeatRequest},
                       [](const Bytes&) { return kIdentityRequest; }},
        ReplyFaultCase{"UnswappedIdentity",
                       {FaultKind::UnswappedIdentity},
                       [](const Bytes&) { return Unswapped(); }},
        ReplyFaultCase{"WrongModelCode",
                       {FaultKind::ModelCode, 9},
                       [](const Bytes&) { return WithModelCode(9); }},
        ReplyFaultCase{"EchoBeforeTheReply", {FaultKind::Echo, 0}, EchoThenReply},
        ReplyFaultCase{"FaultForAnotherInstrument",
                       {FaultKind::Busy, 0, 2},
                       [](const Bytes& good) { return good; }},
        ReplyFaultCase{"FaultForAnotherFunction",
                       {FaultKind::Busy, 0, 0, 16},
                       [](const Bytes& good) { return good; }},
        ReplyFaultCase{"FaultForOtherRegisters",
                       {FaultKind::NoReply, 0, 0, 0, 9, 200},
                       [](const Bytes& good) { return good; }}),
    [](const auto& info) { return std::string(info.param.name); });

class FaultTest : public RawLineFixture {};

TEST_F(FaultTest, StrayBytesComeInsteadOfTheReply) {
  line.AddFault({FaultKind::Stray, 5});
  const Bytes junk = client->Transact(kIdentityRequest);
  const Bytes good = IdentityReply(kIdentityData);
  EXPECT_EQ(junk.size(), 5u);
  EXPECT_NE(HexText(junk), HexText(Bytes(good.begin(), good.begin() + 5)));
}

TEST_F(FaultTest, FaultEndsAfterItsTimes) {
  line.AddFault({.kind = FaultKind::Busy, .times = 2});
  const Bytes busy = WithCrc({0x01, 0x83, 0x06});
  EXPECT_EQ(HexText(client->Transact(kIdentityRequest)), HexText(busy));
  EXPECT_EQ(HexText(client->Transact(kIdentityRequest)), HexText(busy));
  EXPECT_EQ(client->Transact(kIdentityRequest).size(), 23u);
}

// A noisy line for the tests of retries: every=N hits the N-th matching requests; prob=P with a
// seed hits a share of them that the seed repeats exactly, from the command line as from the API.
TEST_F(FaultTest, EveryNthAndSeededRandomFaultsRepeatThemselves) {
  const auto pattern = [this](const Fault& fault, int requests) {
    line.ClearFaults();
    line.AddFault(fault);
    std::string hits;
    for (int k = 0; k < requests; ++k) {
      client->Write(kIdentityRequest);
      const Bytes head = client->ReadCount(5);
      const bool busy = head.size() == 5u && head[1] == 0x83;
      if (!busy) client->ReadCount(IdentityReply(kIdentityData).size() - head.size());
      hits += busy ? 'x' : '.';
    }
    return hits;
  };
  EXPECT_EQ(pattern({.kind = FaultKind::Busy, .every = 3}, 9), "..x..x..x");
  EXPECT_EQ(pattern({.kind = FaultKind::Busy, .times = 1, .every = 2}, 6), ".x....");

  std::string error;
  const auto noisy = k7104sim::ParseFault("kind=busy,prob=0.25,seed=7", error);
  ASSERT_TRUE(noisy.has_value()) << error;
  EXPECT_EQ(noisy->probability, 0.25);
  EXPECT_EQ(noisy->seed, 7u);
  const std::string first = pattern(*noisy, 80);
  EXPECT_EQ(pattern(*noisy, 80), first) << "the same seed, the same line";
  const auto hits = std::count(first.begin(), first.end(), 'x');
  EXPECT_GT(hits, 5);
  EXPECT_LT(hits, 40);
  Fault other = *noisy;
  other.seed = 8;
  EXPECT_NE(pattern(other, 80), first);
  EXPECT_EQ(pattern({.kind = FaultKind::Busy, .probability = 0}, 10), "..........");
}

// The bulk write finds the second setpoints busy three times, then gets through.
TEST_F(FaultTest, BusyForGivenRegistersOfOneFunctionOnly) {
  line.AddFault({.kind = FaultKind::Busy,
                 .function = 16,
                 .firstRegister = 1280,
                 .lastRegister = 1343,
                 .times = 3});
  const Bytes write = WriteRegisters(1, 1280, {0x0000, 0x41CC});
  const Bytes busy = WithCrc({0x01, 0x90, 0x06});
  EXPECT_EQ(client->Transact(WriteRegisters(1, 1152, {0, 0})).size(), 8u);
  EXPECT_EQ(ReadRegisters(*client, 1, 3, 1280, 2).size(), 2u);
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_EQ(HexText(client->Transact(write)), HexText(busy));
    EXPECT_NE(instrument->HoldingFloat(1280), 25.5f);
  }
  EXPECT_EQ(client->Transact(write).size(), 8u);
  EXPECT_EQ(instrument->HoldingFloat(1280), 25.5f);
}

TEST_F(FaultTest, ExceptionForGivenRegisters) {
  line.AddFault(
      {.kind = FaultKind::Exception, .arg = 2, .firstRegister = 608, .lastRegister = 639});
  EXPECT_EQ(HexText(client->Transact(ReadRequest(1, 3, 608, 32))),
            HexText(WithCrc({0x01, 0x83, 0x02})));
  EXPECT_EQ(ReadRegisters(*client, 1, 3, 192, 32).size(), 32u);
}

TEST_F(FaultTest, LostRequestIsNotCarriedOutButACutReplyIs) {
  line.AddFault({.kind = FaultKind::NoReply, .times = 1});
  ExpectSilence(WriteRegisters(1, 98, {11}));
  EXPECT_EQ(instrument->HoldingRegister(98), 60);
  line.AddFault({.kind = FaultKind::Truncate, .arg = 2, .times = 1});
  EXPECT_EQ(client->Transact(WriteRegisters(1, 98, {12})).size(), 2u);
  EXPECT_EQ(instrument->HoldingRegister(98), 12);
  EXPECT_EQ(instrument->RequestCount(), 2u);
}

TEST_F(FaultTest, AnotherRecordNumberAtTheGivenRecord) {
  line.AddFault({.kind = FaultKind::RecordNumber, .arg = 0, .firstRegister = 7});
  EXPECT_EQ(ReadRegisters(*client, 1, 4, 6, 68).at(0), 6);
  EXPECT_EQ(ReadRegisters(*client, 1, 4, 7, 68).at(0), 0);
  EXPECT_EQ(ReadRegisters(*client, 1, 4, 8, 68).at(0), 8);
  EXPECT_EQ(ReadRegisters(*client, 1, 4, 0, 68).at(0), 0);
}

// A fault uses up its times only on requests it changes.
TEST_F(FaultTest, ModelCodeFaultWaitsForAReadOfRegisterFive) {
  line.AddFault({.kind = FaultKind::ModelCode, .arg = 9, .times = 1});
  EXPECT_EQ(ReadRegisters(*client, 1, 3, 6, 3), (std::vector<uint16_t>{0x0203, 32, 32}));
  EXPECT_EQ(HexText(client->Transact(kIdentityRequest)), HexText(WithModelCode(9)));
  EXPECT_EQ(HexText(client->Transact(kIdentityRequest)), HexText(IdentityReply(kIdentityData)));
}

TEST_F(FaultTest, CoilReplyOneByteShort) {
  line.AddFault({FaultKind::ShortByOneRegister});
  const Bytes reply = client->Transact(ReadRequest(1, 1, 96, 32));
  ASSERT_EQ(reply.size(), 8u);
  EXPECT_EQ(reply[2], 3);
  EXPECT_TRUE(CrcOk(reply));
}

TEST_F(FaultTest, ClearFaultsRestoresTheReply) {
  line.AddFault({FaultKind::NoReply});
  line.ClearFaults();
  EXPECT_EQ(client->Transact(kIdentityRequest).size(), 23u);
}

TEST_F(FaultTest, LineWideEchoComesBeforeEveryReply) {
  line.SetEcho(k7104sim::EchoMode::Together);
  const Bytes good = IdentityReply(kIdentityData);
  EXPECT_EQ(HexText(client->Transact(kIdentityRequest)), HexText(EchoThenReply(good)));
  // A converter echoes what nobody answers as well.
  const Bytes unanswered = ReadRequest(5, 3, 0, 9);
  EXPECT_EQ(HexText(client->Transact(unanswered)), HexText(unanswered));
}

TEST_F(FaultTest, EchoPauseKeepsTheReplyBack) {
  line.SetEcho(k7104sim::EchoMode::Pause, 80);
  const auto sent = SteadyClock::now();
  client->Write(kIdentityRequest);
  const Bytes bytes = client->ReadCount(8 + 23);
  const auto done = SteadyClock::now();
  EXPECT_EQ(HexText(bytes), HexText(EchoThenReply(IdentityReply(kIdentityData))));
  EXPECT_GE(MillisecondsBetween(sent, done), 80.0);
}

TEST_F(FaultTest, EchoFaultForOneRequest) {
  line.AddFault({.kind = FaultKind::Echo, .arg = 0, .times = 1});
  EXPECT_EQ(client->Transact(kIdentityRequest).size(), 8u + 23u);
  EXPECT_EQ(client->Transact(kIdentityRequest).size(), 23u);
}

TEST_F(FaultTest, WriteEchoNamesOtherRegistersAndLeavesReadsAlone) {
  line.AddFault({.kind = FaultKind::WriteEcho, .arg = 3, .times = 1});
  EXPECT_EQ(HexText(client->Transact(kIdentityRequest)), HexText(IdentityReply(kIdentityData)));
  EXPECT_EQ(HexText(client->Transact(WriteRegisters(1, 98, {30}))),
            HexText(WithCrc({0x01, 0x10, 0x00, 0x65, 0x00, 0x01})));
  EXPECT_EQ(instrument->HoldingRegister(98), 30);
  EXPECT_EQ(HexText(client->Transact(WriteRegisters(1, 98, {31}))),
            HexText(WithCrc({0x01, 0x10, 0x00, 0x62, 0x00, 0x01})));
}

TEST_F(FaultTest, LateFaultHoldsOneReply) {
  line.AddFault({.kind = FaultKind::Late, .arg = 150, .times = 1});
  for (double least : {150.0, 0.0}) {
    const auto sent = SteadyClock::now();
    EXPECT_EQ(client->Ask(kIdentityRequest, 23).size(), 23u);
    EXPECT_GE(MillisecondsBetween(sent, client->ArrivalTimes().front()), least);
  }
}

TEST_F(FaultTest, ReplyDelayHoldsTheReply) {
  line.SetReplyDelay(100);
  const auto sent = SteadyClock::now();
  EXPECT_EQ(client->Ask(kIdentityRequest, 23).size(), 23u);
  EXPECT_GE(MillisecondsBetween(sent, SteadyClock::now()), 100.0);
}

class PacingTest : public RawLineFixture, public ::testing::WithParamInterface<uint32_t> {};

// 64 registers make a reply of 133 bytes; request and reply take their time on the wire. Each
// byte is checked against the earliest moment it can have left a paced line: a reader held up by
// a busy machine only finds bytes later, so the verdict does not hang on the load.
TEST_P(PacingTest, ReplyTakesAboutItsWireTime) {
  const uint32_t baud = GetParam();
  line.SetPace(baud);
  const double characterMs = 12000.0 / baud;
  const auto sent = SteadyClock::now();
  client->Write(ReadRequest(1, 3, 1152, 64));
  const Bytes reply = client->ReadCount(133);
  ASSERT_EQ(reply.size(), 133u);
  EXPECT_TRUE(CrcOk(reply));
  const auto& arrivals = client->ArrivalTimes();
  ASSERT_EQ(arrivals.size(), 133u);
  for (size_t k = 0; k < arrivals.size(); ++k)
    ASSERT_GE(MillisecondsBetween(sent, arrivals[k]), 0.8 * (8 + k + 1) * characterMs)
        << "byte " << k << " came before its time on the wire";
}

INSTANTIATE_TEST_SUITE_P(Rates, PacingTest, ::testing::Values(9600u, 115200u),
                         [](const auto& info) { return "Baud" + std::to_string(info.param); });

class HangUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() /
             ("k7104-sim-test-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder);
    link = (folder / "port").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  std::filesystem::path folder;
  std::string link;
};

TEST_F(HangUpTest, LineHangsUpMidReplyAndTheLinkLeadsToAFreshOne) {
  k7104sim::Line line({.linkPath = link});
  line.AddInstrument({});
  line.AddFault({.kind = FaultKind::HangUp, .arg = 5, .times = 1});
  ASSERT_TRUE(line.Start());
  const std::string before = line.SlavePath();
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), before);
  const Bytes good = IdentityReply(kIdentityData);
  {
    RawClient client(link);
    client.Write(kIdentityRequest);
    EXPECT_EQ(HexText(client.ReadCount(5)), HexText(Bytes(good.begin(), good.begin() + 5)));
    EXPECT_TRUE(client.WaitHangUp());
  }
  EXPECT_EQ(line.HangUps(), 1u);
  EXPECT_NE(line.SlavePath(), before);
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), line.SlavePath());
  RawClient again(link);
  EXPECT_EQ(HexText(again.Transact(kIdentityRequest)), HexText(good));
  line.Stop();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST_F(HangUpTest, OldLinkIsReplacedButAFileNever) {
  std::filesystem::create_symlink("/nonexistent", link);
  {
    k7104sim::Line line({.linkPath = link});
    ASSERT_TRUE(line.Start());
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), line.SlavePath());
  }
  std::ofstream(link) << "keep me";
  k7104sim::Line line({.linkPath = link});
  EXPECT_FALSE(line.Start());
  std::ifstream kept(link);
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "keep me");
}

}  // namespace
}  // namespace simtest
