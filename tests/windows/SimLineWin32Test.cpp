// The simulator's line over Winsock, in the test program itself: the channel's Winsock line talks
// to it over loopback in each network mode, as the window's tests built for Windows do.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "modbus/Modbusunit.h"
#include "sim/Simulator.h"

namespace {

using namespace std::chrono_literals;

const uint8_t kIdentity[] = {0x00, 0x00, 0x00, 0x09};

struct Mode {
  k7104sim::NetworkMode simulated;
  TNetworkMode channel;
};

class Win32SimLine : public ::testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
    k7104sim::LineOptions options;
    options.tcpPort = 0;
    options.networkMode = GetParam().simulated;
    line_ = std::make_unique<k7104sim::Line>(options);
    line_->AddInstrument({});
    ASSERT_TRUE(line_->Start());
    ASSERT_NE(line_->TcpPort(), 0);
    bus_.SetLine({TLineKind::Network, "127.0.0.1", line_->TcpPort(), GetParam().channel});
    ASSERT_TRUE(bus_.OpenPort()) << bus_.LineName() << ": "
                                 << SystemErrorText(bus_.OpenSystemError());
  }

  TResult Identity() {
    TModBusFrame& request = bus_.RequestFrame();
    request.SetAddress(1);
    request.SetFunction(3);
    request.SetDataLength(sizeof kIdentity);
    std::memcpy(request.FrameData(), kIdentity, sizeof kIdentity);
    return bus_.Transaction();
  }

  std::string IdentityText() {
    return std::string(reinterpret_cast<const char*>(&bus_.ReplyFrame().Data[1]), 10);
  }

  std::unique_ptr<k7104sim::Line> line_;
  TModBus bus_;
};

TEST_P(Win32SimLine, AnswersRequestsOneAfterAnother) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(Identity(), RESULT_OK) << "round " << round;
    EXPECT_EQ(IdentityText(), "OVTSERIL!N");
  }
  const auto received = line_->ReceivedFrames();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0], k7104sim::WithCrc({1, 3, 0, 0, 0, 9}));
  EXPECT_EQ(line_->Find(1)->RequestCount(), 3u);
}

// The connection dropped in the middle of a reply is a hang-up at once, not a timeout, and the
// line serves the client that connects again.
TEST_P(Win32SimLine, AHangUpDropsTheConnectionAndTheLineServesAgain) {
  line_->AddFault({.kind = k7104sim::FaultKind::HangUp, .arg = 3, .times = 1});
  bus_.SetWaitTime(60000);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Identity(), RESULT_UNKNOWN);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 30s) << "it waited for the timeout";
  EXPECT_EQ(line_->HangUps(), 1u);
  ASSERT_TRUE(bus_.ClosePort());
  ASSERT_TRUE(bus_.OpenPort());
  EXPECT_EQ(Identity(), RESULT_OK);
  EXPECT_EQ(IdentityText(), "OVTSERIL!N");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Win32SimLine,
    ::testing::Values(Mode{k7104sim::NetworkMode::Rtu, TNetworkMode::RtuOverTcp},
                      Mode{k7104sim::NetworkMode::Mbap, TNetworkMode::ModbusTcp},
                      Mode{k7104sim::NetworkMode::Rfc2217, TNetworkMode::Rfc2217}),
    [](const auto& info) {
      return std::string(info.index == 0 ? "Rtu" : info.index == 1 ? "Mbap" : "Rfc2217");
    });

// Windows has no pseudo-terminal: a line that is not over TCP does not start, and says so.
TEST(Win32SimLineWithoutTcp, DoesNotStart) {
  k7104sim::Line line;
  EXPECT_FALSE(line.Start());
  EXPECT_FALSE(line.Running());
}

}  // namespace
