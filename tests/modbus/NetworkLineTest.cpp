// The channel on a line over Ethernet: against the simulated line served over TCP in each mode
// (its network faults: replies in pieces, glued to junk, a dropped connection, a gateway's
// exception 11), against pyserial's RFC 2217 server in front of the simulator's pseudo-terminal,
// and against connections that cannot be made.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "instrument/JobMessages.h"
#include "modbus/Modbusunit.h"
#include "modbus/Traffic.h"
#include "sim/Simulator.h"
#include "support/ChildProcess.h"

namespace {

using namespace std::chrono_literals;
using k7104sim::Fault;
using k7104sim::FaultKind;
using k7104sim::NetworkMode;

const uint8_t kIdentity[] = {0x00, 0x00, 0x00, 0x09};

void SetIdentityRequest(TModBus& bus, uint8_t address) {
  TModBusFrame& request = bus.RequestFrame();
  request.SetAddress(address);
  request.SetFunction(3);
  request.SetDataLength(sizeof kIdentity);
  std::memcpy(request.FrameData(), kIdentity, sizeof kIdentity);
}

TNetworkMode ChannelMode(NetworkMode mode) {
  switch (mode) {
    case NetworkMode::Mbap:
      return TNetworkMode::ModbusTcp;
    case NetworkMode::Rfc2217:
      return TNetworkMode::Rfc2217;
    default:
      return TNetworkMode::RtuOverTcp;
  }
}

// A simulated line over TCP with instrument 1, and a channel connected to it.
class SimulatedServer {
 public:
  explicit SimulatedServer(NetworkMode mode, uint32_t paceBaud = 0) : mode_(mode) {
    k7104sim::LineOptions options;
    options.tcpPort = 0;
    options.networkMode = mode;
    options.paceBaud = paceBaud;
    line_ = std::make_unique<k7104sim::Line>(options);
    line_->AddInstrument({1, 1, 32, 32});
  }
  bool Start() { return line_->Start(); }
  TLineDescription Description() const {
    return {TLineKind::Network, "127.0.0.1", line_->TcpPort(), ChannelMode(mode_)};
  }
  k7104sim::Line& Line() { return *line_; }

 private:
  NetworkMode mode_;
  std::unique_ptr<k7104sim::Line> line_;
};

TResult Identity(TModBus& bus, uint8_t address = 1) {
  SetIdentityRequest(bus, address);
  return bus.Transaction();
}

bool IsIdentityReply(const TModBus& bus) {
  const TModBusFrame& reply = const_cast<TModBus&>(bus).ReplyFrame();
  return reply.Length == 21 && reply.SlaveAddress == 1 && reply.Data[0] == 18 &&
         std::memcmp(&reply.Data[1], "OVTSERIL!N", 10) == 0;
}

std::string ModeName(const ::testing::TestParamInfo<NetworkMode>& info) {
  return NetworkModeName(ChannelMode(info.param));
}

class EachMode : public ::testing::TestWithParam<NetworkMode> {};

// A pause in the middle of a reply longer than a serial line's silence must not cut it, and junk
// right after it must not spoil it: over TCP a reply ends by its length alone.
TEST_P(EachMode, RepliesInPiecesOrGluedToJunkEndByTheirLength) {
  SimulatedServer server(GetParam());
  ASSERT_TRUE(server.Start());
  server.Line().AddFault({.kind = FaultKind::Split, .arg = 80, .times = 1});
  TModBus bus;
  bus.SetLine(server.Description());
  ASSERT_TRUE(bus.OpenPort()) << OpenFailureText(bus.OpenFailure(), bus.LineName(), 0);
  ASSERT_LT(TModBus::SilenceMs(bus.BaudRate()), 80u) << "the pause must outlast a serial silence";

  ASSERT_EQ(Identity(bus), RESULT_OK);
  EXPECT_TRUE(IsIdentityReply(bus));
  EXPECT_EQ(bus.LastTrace().FirstEnd, TReadEnd::Length);

  server.Line().AddFault({.kind = FaultKind::Glue, .arg = 7, .times = 1});
  ASSERT_EQ(Identity(bus), RESULT_OK);
  EXPECT_TRUE(IsIdentityReply(bus));
  ASSERT_EQ(Identity(bus), RESULT_OK) << "the junk after the last reply came back";
  EXPECT_TRUE(IsIdentityReply(bus));
}

// The server drops the connection in the middle of a reply: the same hang-up as a converter
// pulled out, at once and not after the timeout, and the line opens again.
TEST_P(EachMode, ADroppedConnectionIsAHangUpAndTheLineOpensAgain) {
  SimulatedServer server(GetParam());
  ASSERT_TRUE(server.Start());
  server.Line().AddFault({.kind = FaultKind::HangUp, .arg = 9, .times = 1});
  TModBus bus;
  bus.SetWaitTime(60000);
  bus.SetLine(server.Description());
  ASSERT_TRUE(bus.OpenPort());
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Identity(bus), RESULT_UNKNOWN);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 30s) << "it waited for the timeout";
  ASSERT_TRUE(bus.ClosePort());
  ASSERT_TRUE(bus.OpenPort());
  EXPECT_EQ(Identity(bus), RESULT_OK);
  EXPECT_EQ(server.Line().HangUps(), 1u);
}

INSTANTIATE_TEST_SUITE_P(NetworkLine, EachMode,
                         ::testing::Values(NetworkMode::Rtu, NetworkMode::Mbap,
                                           NetworkMode::Rfc2217),
                         ModeName);

// A gateway that says exception 11 for an address where nothing answered gives the timeout of a
// silent address, named as the gateway's; a late reply, which comes with the transaction id of an
// earlier request, is dropped like a reply from another address. The traffic record says what the
// timeout had for the network.
TEST(ModbusTcp, GatewayException11IsASilentAddressAndALateReplyIsDropped) {
  SimulatedServer server(NetworkMode::Mbap);
  ASSERT_TRUE(server.Start());
  TModBus bus;
  auto log = std::make_shared<TTrafficLog>();
  bus.SetTrafficLog(log);
  bus.SetLine(server.Description());
  ASSERT_TRUE(bus.OpenPort());

  EXPECT_EQ(Identity(bus, 9), RESULT_TIMEOUT);
  EXPECT_EQ(bus.LastTrace().GatewayException, 11);
  EXPECT_FALSE(bus.LastTrace().Answered);
  const std::string sentence =
      FailureSentence(RESULT_TIMEOUT, 0, -1, bus.LastTrace().GatewayException);
  EXPECT_EQ(sentence.rfind("Вышло время ожидания!!!", 0), 0u) << sentence;
  EXPECT_NE(sentence.find(" (исключение 11 от шлюза: прибор не ответил)"), std::string::npos);

  bus.SetWaitTime(100);
  server.Line().AddFault({.kind = FaultKind::Late, .arg = 1500, .times = 1});
  EXPECT_EQ(Identity(bus), RESULT_TIMEOUT);
  EXPECT_EQ(bus.LastTrace().GatewayException, -1);
  bus.SetWaitTime(5000);
  ASSERT_EQ(Identity(bus), RESULT_OK);
  EXPECT_TRUE(IsIdentityReply(bus));
  EXPECT_EQ(bus.LastTrace().ForeignFrames, 1);

  const auto records = log->Take();
  ASSERT_EQ(records.size(), 3u);
  const std::string gateway = TrafficLines(records[0]).back();
  EXPECT_NE(gateway.find(bus.LineName() + " Modbus TCP"), std::string::npos) << gateway;
  EXPECT_NE(gateway.find("исключение 11 от шлюза"), std::string::npos) << gateway;
  EXPECT_NE(DurationText(records[2]).find("мс на сеть)"), std::string::npos);
  EXPECT_NE(TrafficLines(records[2]).front().find("транзакция 3, адрес 1, функция 3"),
            std::string::npos);
}

// A server that will not take the rate the channel sends closes the line with the reason, on
// connect and on a later change alike.
TEST(Rfc2217, AServerThatRefusesTheRateClosesTheLine) {
  SimulatedServer server(NetworkMode::Rfc2217);
  ASSERT_TRUE(server.Start());
  TModBus bus;
  bus.SetLine(server.Description());
  bus.SetBaudIndex(14);  // 256000, beyond the simulated server's UART
  EXPECT_FALSE(bus.OpenPort());
  EXPECT_EQ(bus.OpenFailure(), TOpenFailure::SettingsRefused);
  EXPECT_EQ(bus.OpenFailureResult(), RESULT_PORT_NOT_OPEN);
  EXPECT_EQ(OpenFailureText(bus.OpenFailure(), bus.LineName(), bus.OpenSystemError()),
            "Сеть: сервер RFC 2217 " + bus.LineName() +
                " не принял скорость порта или формат 8E2 (8 бит, чётность, 2 стоп-бита).");

  bus.SetBaudIndex(8);  // 19200
  ASSERT_TRUE(bus.OpenPort());
  EXPECT_EQ(Identity(bus), RESULT_OK);
  EXPECT_EQ(server.Line().ComPort(), (k7104sim::ComPortSettings{19200, 8, 3, 2}));
  bus.SetBaudIndex(13);  // 128000
  EXPECT_EQ(Identity(bus), RESULT_PORT_NOT_OPEN);
  EXPECT_FALSE(bus.IsOpen());
  EXPECT_EQ(bus.OpenFailure(), TOpenFailure::SettingsRefused);
}

// pyserial's RFC 2217 server in front of the simulator's pseudo-terminal: it gets 9600 8E2 when
// the channel connects, and the new rate before the next request after a change.
TEST(Rfc2217, PyserialServerGetsTheRateAnd8E2OnConnectAndOnEveryChange) {
  k7104sim::Line line;
  line.AddInstrument({1, 1, 32, 32});
  ASSERT_TRUE(line.Start());
  ChildProcess peer({"/usr/bin/python3", K7104_RFC2217_SERVER, line.SlavePath()});
  const auto listening = peer.OutputLine(30s);
  if (!listening && peer.Errors().find("No module named 'serial'") != std::string::npos)
    GTEST_SKIP() << "python3-serial is not installed (scripts/setup installs it)";
  ASSERT_TRUE(listening && listening->rfind("port ", 0) == 0) << peer.Errors();
  TModBus bus;
  bus.SetLine({TLineKind::Network, "127.0.0.1",
               static_cast<uint16_t>(std::stoi(listening->substr(5))), TNetworkMode::Rfc2217});
  ASSERT_TRUE(bus.OpenPort()) << OpenFailureText(bus.OpenFailure(), bus.LineName(), 0);
  EXPECT_EQ(peer.OutputLine(30s).value_or(""), "settings 9600 8 E 2");
  ASSERT_EQ(Identity(bus), RESULT_OK);
  EXPECT_TRUE(IsIdentityReply(bus));

  bus.SetBaudIndex(12);  // 115200
  ASSERT_EQ(Identity(bus), RESULT_OK);
  EXPECT_TRUE(IsIdentityReply(bus));
  EXPECT_EQ(peer.OutputLine(30s).value_or(""), "settings 115200 8 E 2");
}

// No such host, nothing listening, a server that never completes the connection: each says why
// with a sentence of its own, and the result is 7.
TEST(NetworkLine, ConnectionsThatCannotBeMadeSayWhy) {
  TModBus bus;
  bus.SetLine({TLineKind::Network, "no-such-host.invalid", 502, TNetworkMode::ModbusTcp});
  EXPECT_FALSE(bus.OpenPort());
  EXPECT_EQ(bus.OpenFailure(), TOpenFailure::NoHost);
  EXPECT_EQ(OpenFailureText(bus.OpenFailure(), bus.LineName(), bus.OpenSystemError()),
            "Сеть: узел no-such-host.invalid:502 не найден.");
  EXPECT_EQ(bus.OpenFailureResult(), RESULT_PORT_NOT_OPEN);
  EXPECT_EQ(Identity(bus), RESULT_PORT_NOT_OPEN);

  const uint16_t closed = UnusedTcpPort();
  bus.SetLine({TLineKind::Network, "127.0.0.1", closed, TNetworkMode::RtuOverTcp});
  EXPECT_FALSE(bus.OpenPort());
  EXPECT_EQ(bus.OpenFailure(), TOpenFailure::Refused);
  EXPECT_EQ(OpenFailureText(bus.OpenFailure(), bus.LineName(), bus.OpenSystemError()),
            "Сеть: 127.0.0.1:" + std::to_string(closed) + " отказал в соединении.");

  // A listener whose queue is full and never accepted from: the kernel drops further connects.
  const int full = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(full, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(full, 0), 0);
  ASSERT_EQ(getsockname(full, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const int queued = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(connect(queued, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  bus.SetLine({TLineKind::Network, "127.0.0.1", ntohs(address.sin_port), TNetworkMode::Rfc2217});
  EXPECT_FALSE(bus.OpenPort());
  EXPECT_EQ(bus.OpenFailure(), TOpenFailure::ConnectTimeout);
  EXPECT_EQ(
      OpenFailureText(bus.OpenFailure(), bus.LineName(), bus.OpenSystemError()).rfind("Сеть: ", 0),
      0u);
  close(queued);
  close(full);
}

}  // namespace
