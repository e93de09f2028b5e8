// The channel against the simulated instrument on a real pseudo-terminal: echo handling,
// timeouts, stray bytes, CRC, exceptions, broadcast, closing and unplugging, slow lines and the
// end of a reply by its length.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "modbus/Modbusunit.h"
#include "sim/Simulator.h"

namespace {

using namespace std::chrono_literals;
using k7104sim::EchoMode;
using k7104sim::Fault;
using k7104sim::FaultKind;

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  return std::vector<uint8_t>(values.begin(), values.end());
}

void SetRequest(TModBus& bus, uint8_t address, uint8_t function, const std::vector<uint8_t>& data) {
  TModBusFrame& request = bus.RequestFrame();
  request.SetAddress(address);
  request.SetFunction(function);
  request.SetDataLength(static_cast<uint16_t>(data.size()));
  std::memcpy(request.FrameData(), data.data(), data.size());
}

std::vector<uint8_t> ReplyBytes(TModBus& bus) {
  const TModBusFrame& reply = bus.ReplyFrame();
  return std::vector<uint8_t>(reply.FrameBytes(), reply.FrameBytes() + reply.Length);
}

const std::vector<uint8_t> kIdentity = Bytes({0x00, 0x00, 0x00, 0x09});
const std::vector<uint8_t> kCurrentValues32 = Bytes({0x03, 0x00, 0x00, 0x40});

class Channel : public ::testing::Test {
 protected:
  void SetUp() override { StartLine({}); }

  void StartLine(k7104sim::LineOptions options) {
    bus_.reset();
    line_ = std::make_unique<k7104sim::Line>(options);
    line_->AddInstrument({1, 1, 32, 32});
    ASSERT_TRUE(line_->Start());
    bus_ = std::make_unique<TModBus>();
    bus_->SetPortDevice(bus_->PortIndex(),
                        options.linkPath.empty() ? line_->SlavePath() : options.linkPath);
    ASSERT_TRUE(bus_->OpenPort());
  }

  TResult Identity(uint8_t address = 1) {
    SetRequest(*bus_, address, 3, kIdentity);
    return bus_->Transaction();
  }

  void ExpectIdentityReply() {
    const auto reply = ReplyBytes(*bus_);
    ASSERT_EQ(bus_->ReplyFrame().DataLength(), 19);
    EXPECT_EQ(reply[0], 1);
    EXPECT_EQ(reply[1], 3);
    EXPECT_EQ(reply[2], 18);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply[3]), 10), "OVTSERIL!N");
  }

  std::unique_ptr<k7104sim::Line> line_;
  std::unique_ptr<TModBus> bus_;
};

TEST_F(Channel, ReadsTheIdentityOfAnInstrument) {
  ASSERT_EQ(Identity(), RESULT_OK);
  ExpectIdentityReply();
  const auto sent = line_->ReceivedFrames();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x09, 0x85, 0xCC}));
  EXPECT_EQ(bus_->LastTrace().BytesWritten, 8);
  EXPECT_FALSE(bus_->LastTrace().EchoRemoved);
}

TEST_F(Channel, RemovesAnEchoThatArrivesWithTheReply) {
  for (bool byLength : {true, false}) {
    line_->SetEcho(EchoMode::Together);
    bus_->SetFrameEndByLength(byLength);
    ASSERT_EQ(Identity(), RESULT_OK) << byLength;
    ExpectIdentityReply();
    EXPECT_TRUE(bus_->LastTrace().EchoRemoved);
    EXPECT_EQ(bus_->LastTrace().Reads, 1);
  }
}

TEST_F(Channel, ReadsAgainWhenTheEchoCameAlone) {
  for (bool byLength : {true, false}) {
    line_->SetEcho(EchoMode::Pause, 120);
    bus_->SetFrameEndByLength(byLength);
    ASSERT_EQ(Identity(), RESULT_OK) << byLength;
    ExpectIdentityReply();
    EXPECT_TRUE(bus_->LastTrace().EchoRemoved);
    EXPECT_EQ(bus_->LastTrace().Reads, 2);
    EXPECT_EQ(bus_->LastTrace().FirstBytes, 8);
    EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::Silence);
    EXPECT_EQ(bus_->LastTrace().SecondEnd, byLength ? TReadEnd::Length : TReadEnd::Silence);
  }
}

TEST_F(Channel, TakesAReplyThatRepeatsTheRequestForAnEcho) {
  bus_->SetWaitTime(300);
  line_->AddFault({FaultKind::RepeatRequest});
  EXPECT_EQ(Identity(), RESULT_TIMEOUT);
  EXPECT_TRUE(bus_->LastTrace().EchoRemoved);
  EXPECT_EQ(bus_->LastTrace().Reads, 2);
}

TEST_F(Channel, TimesOutWhenNobodyAnswers) {
  bus_->SetWaitTime(200);
  EXPECT_EQ(Identity(9), RESULT_TIMEOUT);
  EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::Timeout);
  line_->AddFault({FaultKind::NoReply, 0, 0, 0, -1, -1, 1});
  EXPECT_EQ(Identity(), RESULT_TIMEOUT);
  EXPECT_EQ(Identity(), RESULT_OK);  // the fault was for one request only
}

TEST_F(Channel, OneToThreeBytesAreALengthError) {
  for (int count = 1; count <= 3; ++count) {
    line_->ClearFaults();
    line_->AddFault({FaultKind::Stray, count, 0, 0, -1, -1, 1});
    EXPECT_EQ(Identity(), RESULT_LENGTH) << count << " stray bytes";
    line_->AddFault({FaultKind::Truncate, count, 0, 0, -1, -1, 1});
    EXPECT_EQ(Identity(), RESULT_LENGTH) << count << " bytes of a reply";
  }
}

TEST_F(Channel, RefusesAReplyWithAWrongCrc) {
  line_->AddFault({FaultKind::BadCrc, 0, 0, 0, -1, -1, 1});
  EXPECT_EQ(Identity(), RESULT_CRC);
  EXPECT_EQ(Identity(), RESULT_OK);
}

TEST_F(Channel, ExceptionReplyGivesItsCode) {
  line_->AddFault({FaultKind::Exception, 2, 0, 0, -1, -1, 1});
  ASSERT_EQ(Identity(), RESULT_ILLEGAL_ADDRESS);
  EXPECT_EQ(ReplyBytes(*bus_), Bytes({0x01, 0x83, 0x02}));
  EXPECT_EQ(bus_->LastTrace().FirstBytes, 5);
  EXPECT_STREQ(ResultMessage(RESULT_ILLEGAL_ADDRESS), "Прибор: Неподдерживаемый адрес данных!!!");
  for (int code : {1, 3, 6, 7, 18, 200}) {
    line_->AddFault({FaultKind::Exception, code, 0, 0, -1, -1, 1});
    EXPECT_EQ(Identity(), code);
  }
  SetRequest(*bus_, 1, 0x2B, Bytes({0x0E, 0x01, 0x00}));  // a function the instrument lacks
  EXPECT_EQ(bus_->Transaction(), RESULT_ILLEGAL_FUNCTION);
}

TEST_F(Channel, BroadcastReturnsOnceWrittenWithoutReading) {
  SetRequest(*bus_, 0, 16, Bytes({0x00, 0x62, 0x00, 0x01, 0x02, 0x00, 0x2D}));
  ASSERT_EQ(bus_->Transaction(), RESULT_OK);
  EXPECT_EQ(bus_->LastTrace().Reads, 0);
  // The instrument carries the broadcast out without answering.
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (line_->Find(1)->HoldingRegister(98) != 45 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  EXPECT_EQ(line_->Find(1)->HoldingRegister(98), 45);
}

TEST_F(Channel, ClosedPortGivesSevenAndLeavesTheFramesAlone) {
  SetRequest(*bus_, 1, 3, kIdentity);
  ASSERT_TRUE(bus_->ClosePort());
  EXPECT_FALSE(bus_->IsOpen());
  const TModBusFrame requestBefore = bus_->RequestFrame();
  const TModBusFrame replyBefore = bus_->ReplyFrame();
  EXPECT_EQ(bus_->Transaction(), RESULT_PORT_NOT_OPEN);
  EXPECT_EQ(std::memcmp(&requestBefore, &bus_->RequestFrame(), sizeof(TModBusFrame)), 0);
  EXPECT_EQ(std::memcmp(&replyBefore, &bus_->ReplyFrame(), sizeof(TModBusFrame)), 0);
  EXPECT_EQ(bus_->LastTrace().Reads, 0);
}

TEST_F(Channel, ClosePortFromAnotherThreadEndsAWaitingTransaction) {
  bus_->SetWaitTime(8000);
  line_->AddFault({FaultKind::NoReply});
  SetRequest(*bus_, 1, 3, kIdentity);
  const auto started = std::chrono::steady_clock::now();
  auto result = std::async(std::launch::async, [&] { return bus_->Transaction(); });
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(bus_->ClosePort());
  ASSERT_EQ(result.wait_for(4s), std::future_status::ready) << "the transaction kept waiting";
  EXPECT_EQ(result.get(), RESULT_ABORTED);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);
  EXPECT_FALSE(bus_->IsOpen());
  line_->ClearFaults();
  ASSERT_TRUE(bus_->OpenPort());
  EXPECT_EQ(Identity(), RESULT_OK);
}

TEST_F(Channel, DestructionEndsAWaitingTransaction) {
  bus_->SetWaitTime(8000);
  line_->AddFault({FaultKind::NoReply});
  SetRequest(*bus_, 1, 3, kIdentity);
  TModBus* bus = bus_.get();
  auto result = std::async(std::launch::async, [bus] { return bus->Transaction(); });
  std::this_thread::sleep_for(200ms);
  bus_.reset();
  ASSERT_EQ(result.wait_for(4s), std::future_status::ready);
  EXPECT_EQ(result.get(), RESULT_ABORTED);
}

TEST_F(Channel, UnpluggingInTheMiddleOfAReplyEndsTheTransaction) {
  const std::string link = testing::TempDir() + "k7104-unplug-" + std::to_string(getpid());
  k7104sim::LineOptions options;
  options.linkPath = link;
  StartLine(options);
  line_->AddFault({FaultKind::HangUp, 40, 0, 0, -1, -1, 1});
  SetRequest(*bus_, 1, 3, kCurrentValues32);
  auto result = std::async(std::launch::async, [&] { return bus_->Transaction(); });
  ASSERT_EQ(result.wait_for(5s), std::future_status::ready) << "the transaction hangs";
  EXPECT_EQ(result.get(), RESULT_UNKNOWN);
  EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::HangUp);

  // A dead line keeps failing at once rather than waiting.
  EXPECT_NE(Identity(), RESULT_OK);
  ASSERT_TRUE(bus_->ClosePort());
  ASSERT_TRUE(bus_->OpenPort()) << "the line came back under the same name";
  EXPECT_EQ(Identity(), RESULT_OK);
  ExpectIdentityReply();
}

TEST_F(Channel, SetPortIndexFollowsItsRules) {
  const uint8_t first = bus_->PortIndex();
  EXPECT_EQ(first, 1);  // COM2 at construction
  bus_->SetPortIndex(first);
  bus_->SetPortIndex(20);
  EXPECT_EQ(bus_->PortIndex(), first);
  EXPECT_TRUE(bus_->IsOpen());

  // Another index reopens the port under that index's device.
  bus_->SetPortDevice(4, line_->SlavePath());
  bus_->SetPortIndex(4);
  EXPECT_EQ(bus_->PortIndex(), 4);
  ASSERT_TRUE(bus_->IsOpen());
  EXPECT_EQ(Identity(), RESULT_OK);

  // A port that does not exist leaves the channel closed.
  bus_->SetPortDevice(7, "/nonexistent/k7104-port");
  bus_->SetPortIndex(7);
  EXPECT_EQ(bus_->PortIndex(), 7);
  EXPECT_FALSE(bus_->IsOpen());

  TModBus closed;
  closed.SetPortIndex(20);
  closed.SetPortIndex(1);
  EXPECT_EQ(closed.PortIndex(), 1);
  EXPECT_FALSE(closed.IsOpen());
  EXPECT_EQ(closed.PortDevice(0), "/dev/ttyS0");
  EXPECT_EQ(closed.PortDevice(19), "/dev/ttyS19");
}

TEST_F(Channel, BaudIndexFollowsTheTable) {
  TModBus fresh;
  EXPECT_EQ(fresh.GetBaudIndex(), 6);
  EXPECT_EQ(fresh.BaudRate(), 9600u);
  fresh.SetBaudIndex(15);
  EXPECT_EQ(fresh.GetBaudIndex(), 6);
  for (uint8_t i = 0; i < BaudRateCount; ++i) {
    fresh.SetBaudIndex(i);
    EXPECT_EQ(fresh.GetBaudIndex(), i);
    EXPECT_EQ(fresh.BaudRate(), BaudRates[i]);
  }
  fresh.SetBaudIndex(200);
  EXPECT_EQ(fresh.BaudRate(), 256000u);
}

TEST_F(Channel, TheSamePortCannotBeOpenedTwice) {
  TModBus second;
  second.SetPortDevice(second.PortIndex(), line_->SlavePath());
  EXPECT_FALSE(second.OpenPort());
  EXPECT_FALSE(second.IsOpen());
  ASSERT_TRUE(bus_->ClosePort());
  EXPECT_TRUE(second.OpenPort());
  EXPECT_FALSE(bus_->OpenPort());
}

TEST_F(Channel, RequestTooLongForTheTransmitAreaIsRefused) {
  SetRequest(*bus_, 1, 16, Bytes({0x00, 0x80}));
  bus_->RequestFrame().Length = 255;
  EXPECT_EQ(bus_->Transaction(), RESULT_PARAMETER);
  EXPECT_EQ(bus_->LastTrace().BytesWritten, 0);
}

// A slow line: at 1200 Bd a 32-channel reply takes over a second on the wire.
TEST_F(Channel, ReadsAWholeLongReplyOnASlowLine) {
  k7104sim::LineOptions options;
  options.paceBaud = 1200;
  StartLine(options);
  bus_->SetBaudIndex(3);
  for (bool byLength : {true, false}) {
    bus_->SetFrameEndByLength(byLength);
    SetRequest(*bus_, 1, 3, kCurrentValues32);
    ASSERT_EQ(bus_->Transaction(), RESULT_OK) << byLength;
    EXPECT_EQ(bus_->ReplyFrame().DataLength(), 129);
    EXPECT_EQ(bus_->LastTrace().FirstEnd, byLength ? TReadEnd::Length : TReadEnd::Silence);
  }
}

// At 110 Bd one character lasts longer than 50 ms: the silence must stretch with the line.
TEST_F(Channel, ReadsAReplyAtOneHundredTenBaud) {
  k7104sim::LineOptions options;
  options.paceBaud = 110;
  StartLine(options);
  bus_->SetBaudIndex(0);
  bus_->SetFrameEndByLength(false);
  EXPECT_GT(TModBus::SilenceMs(110), 3 * TModBus::CharacterMs(110));
  ASSERT_EQ(Identity(), RESULT_OK);
  ExpectIdentityReply();
  EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::Silence);
}

TEST_F(Channel, CompleteReplyEndsTheReadWithoutWaitingForSilence) {
  k7104sim::LineOptions options;
  options.paceBaud = 9600;
  StartLine(options);
  SetRequest(*bus_, 1, 3, kCurrentValues32);
  ASSERT_EQ(bus_->Transaction(), RESULT_OK);
  EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::Length);
  EXPECT_EQ(bus_->LastTrace().FirstBytes, 133);

  // Writes end by length too, and a reply with a bad CRC is left to the silence rule.
  SetRequest(*bus_, 1, 16, Bytes({0x00, 0x62, 0x00, 0x01, 0x02, 0x00, 0x3C}));
  ASSERT_EQ(bus_->Transaction(), RESULT_OK);
  EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::Length);
  line_->AddFault({FaultKind::BadCrc, 0, 0, 0, -1, -1, 1});
  EXPECT_EQ(Identity(), RESULT_CRC);
  EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::Silence);

  bus_->SetFrameEndByLength(false);
  ASSERT_EQ(Identity(), RESULT_OK);
  EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::Silence);
}

TEST_F(Channel, SilenceIsFiftyMillisecondsOrThreeAndAHalfCharacters) {
  EXPECT_EQ(TModBus::SilenceMs(9600), 50u);
  EXPECT_EQ(TModBus::SilenceMs(1200), 50u);
  EXPECT_EQ(TModBus::SilenceMs(600), 70u);
  EXPECT_EQ(TModBus::SilenceMs(110), 382u);
}

}  // namespace
