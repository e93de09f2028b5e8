// The Winsock line on a real connection: k7104-sim --tcp on the Linux side of wine's loopback,
// its "host:port" in K7104_TEST_TCP and its mode (rtu, mbap, rfc2217) in K7104_TEST_TCP_MODE.
// Which simulator runs decides the suite: Win32Tcp a plain one, Win32TcpPieces one that sends
// every reply in pieces with pauses longer than a serial line's silence and glues junk to it,
// Win32TcpDropped one that drops the connection once in the middle of a reply.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "modbus/Modbusunit.h"

namespace {

using namespace std::chrono_literals;

const uint8_t kIdentity[] = {0x00, 0x00, 0x00, 0x09};
constexpr uint8_t kNobody = 200;  // no instrument answers there

std::string Environment(const char* name) {
  const char* text = std::getenv(name);
  return text ? text : "";
}

class Win32TcpLine : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto mode = ParseNetworkMode(Environment("K7104_TEST_TCP_MODE"));
    if (!ParseEndpoint(Environment("K7104_TEST_TCP"), host_, port_) || !mode)
      GTEST_SKIP() << "K7104_TEST_TCP and K7104_TEST_TCP_MODE name no simulator";
    mode_ = *mode;
    bus_ = std::make_unique<TModBus>();
    bus_->SetLine({TLineKind::Network, host_, port_, mode_});
    ASSERT_TRUE(bus_->OpenPort()) << bus_->LineName() << ": "
                                  << SystemErrorText(bus_->OpenSystemError());
  }

  TResult Identity(uint8_t address = 1) {
    TModBusFrame& request = bus_->RequestFrame();
    request.SetAddress(address);
    request.SetFunction(3);
    request.SetDataLength(sizeof kIdentity);
    std::memcpy(request.FrameData(), kIdentity, sizeof kIdentity);
    return bus_->Transaction();
  }

  void ExpectIdentityReply() {
    const TModBusFrame& reply = bus_->ReplyFrame();
    EXPECT_EQ(reply.Length, 2 + 1 + 18);
    EXPECT_EQ(reply.Data[0], 18);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply.Data[1]), 10), "OVTSERIL!N");
  }

  std::string host_;
  uint16_t port_ = 0;
  TNetworkMode mode_ = TNetworkMode::RtuOverTcp;
  std::unique_ptr<TModBus> bus_;
};

using Win32Tcp = Win32TcpLine;
using Win32TcpPieces = Win32TcpLine;
using Win32TcpDropped = Win32TcpLine;

// The reply is taken as soon as it is whole, and the timeout has room for the connection's round
// trip, which the connect measured.
TEST_F(Win32Tcp, AReplyEndsByItsLength) {
  ASSERT_EQ(Identity(), RESULT_OK);
  ExpectIdentityReply();
  EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::Length);
  EXPECT_GE(bus_->RoundTripAllowanceMs(), 1u);
  EXPECT_EQ(bus_->LastTrace().RoundTripMs, bus_->RoundTripAllowanceMs());
}

// A transaction waiting for a silent address ends at once when the line is closed.
TEST_F(Win32Tcp, ClosePortEndsAWaitingTransaction) {
  if (mode_ == TNetworkMode::ModbusTcp)
    GTEST_SKIP() << "a gateway answers for a silent address at once";
  bus_->SetWaitTime(60000);
  auto waiting = std::async(std::launch::async, [&] { return Identity(kNobody); });
  ASSERT_EQ(waiting.wait_for(300ms), std::future_status::timeout);
  bus_->ClosePort();
  ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready) << "the wait did not end";
  EXPECT_EQ(waiting.get(), RESULT_ABORTED);
}

TEST_F(Win32Tcp, ARefusedConnectionSaysSo) {
  TModBus other;
  other.SetLine({TLineKind::Network, "127.0.0.1", 1, mode_});  // nothing listens on port 1
  EXPECT_FALSE(other.OpenPort());
  EXPECT_EQ(other.OpenFailure(), TOpenFailure::Refused);
  EXPECT_EQ(other.OpenFailureResult(), RESULT_PORT_NOT_OPEN);
}

// Pauses in the middle of a reply longer than a serial line's silence, and junk after it.
TEST_F(Win32TcpPieces, RepliesInPiecesOrGluedToJunkEndByTheirLength) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(Identity(), RESULT_OK) << "round " << round;
    ExpectIdentityReply();
  }
}

TEST_F(Win32TcpDropped, ADroppedConnectionIsAHangUpAndTheLineOpensAgain) {
  bus_->SetWaitTime(60000);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Identity(), RESULT_UNKNOWN);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 30s) << "it waited for the timeout";
  ASSERT_TRUE(bus_->ClosePort());
  ASSERT_TRUE(bus_->OpenPort());
  EXPECT_EQ(Identity(), RESULT_OK);
}

}  // namespace
