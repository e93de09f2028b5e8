// The Win32 serial backend on a real line: k7104-sim on the other end of the COM port named by
// K7104_TEST_COM (scripts/test-windows points wine's COM port at the simulator's pty). Which
// simulator runs decides the suite: Win32Line a plain one, Win32SlowLine one paced at 110 baud,
// Win32Unplug one that hangs up once in the middle of a reply.
#include <gtest/gtest.h>
#include <windows.h>

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

const uint8_t kIdentity[] = {0x00, 0x00, 0x00, 0x09};  // registers 0..8
constexpr uint8_t kNobody = 200;                       // no instrument answers there

int TestCom() {
  const char* text = std::getenv("K7104_TEST_COM");
  return text ? std::atoi(text) : 0;
}

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void SetRequest(TModBus& bus, uint8_t address, const uint8_t* data, uint16_t length) {
  TModBusFrame& request = bus.RequestFrame();
  request.SetAddress(address);
  request.SetFunction(3);
  request.SetDataLength(length);
  std::memcpy(request.FrameData(), data, length);
}

class Win32Port : public ::testing::Test {
 protected:
  void SetUp() override {
    com_ = TestCom();
    if (com_ < 1 || com_ > PortCount) GTEST_SKIP() << "K7104_TEST_COM names no port on a line";
    bus_ = std::make_unique<TModBus>();
    bus_->SetPortIndex(static_cast<uint8_t>(com_ - 1));
    ASSERT_TRUE(bus_->OpenPort()) << bus_->PortDevice(bus_->PortIndex()) << ": "
                                  << SystemErrorText(bus_->OpenSystemError());
  }

  TResult Identity(uint8_t address = 1) {
    SetRequest(*bus_, address, kIdentity, sizeof kIdentity);
    return bus_->Transaction();
  }

  int com_ = 0;
  std::unique_ptr<TModBus> bus_;
};

using Win32Line = Win32Port;
using Win32SlowLine = Win32Port;
using Win32Unplug = Win32Port;

TEST_F(Win32Line, TheDeviceNameCarriesTheNamespacePrefix) {
  EXPECT_EQ(bus_->DefaultPortDevice(0), "\\\\.\\COM1");
  EXPECT_EQ(bus_->DefaultPortDevice(19), "\\\\.\\COM20");
}

// The reply is taken as soon as it is complete, not after the silence that would end it.
TEST_F(Win32Line, AReplyEndsByItsLength) {
  ASSERT_EQ(Identity(), RESULT_OK);
  const TTransactionTrace& trace = bus_->LastTrace();
  EXPECT_EQ(trace.FirstEnd, TReadEnd::Length);
  EXPECT_EQ(trace.Reads, 1);
  EXPECT_EQ(bus_->ReplyFrame().Length, 2 + 1 + 18);
  EXPECT_EQ(bus_->ReplyFrame().Data[0], 18);
}

TEST_F(Win32Line, NoReplyEndsWithTheTimeout) {
  bus_->SetWaitTime(300);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Identity(kNobody), RESULT_TIMEOUT);
  EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::Timeout);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "the wait outlived its timeout";
  EXPECT_EQ(Identity(), RESULT_OK) << "a timeout left the port unusable";
}

// Windows' serial driver refuses a second open with ERROR_ACCESS_DENIED; wine does not keep a
// serial device to one handle.
TEST_F(Win32Line, ThePortIsNotShared) {
  TModBus second;
  second.SetPortIndex(static_cast<uint8_t>(com_ - 1));
  if (second.OpenPort() && UnderWine())
    GTEST_SKIP() << "wine opens a serial device that is open already a second time";
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(second.OpenFailure(), TOpenFailure::InUse);
  EXPECT_EQ(second.OpenFailureResult(), RESULT_PORT_BUSY);
  bus_->ClosePort();
  EXPECT_TRUE(second.OpenPort());
}

TEST_F(Win32Line, AMissingPortSaysSo) {
  TModBus missing;
  missing.SetPortDevice(0, "\\\\.\\COM97");
  missing.SetPortIndex(0);
  EXPECT_FALSE(missing.OpenPort());
  EXPECT_EQ(missing.OpenFailure(), TOpenFailure::NoDevice);
}

// The rates of the table that every serial driver knows, at 8 data bits, even parity and 2 stop
// bits. Under wine on a pseudo-terminal the kernel refuses a change of the parity bit alone
// (EINVAL, a pty keeps no parity), so from the second line setting on wine's SetCommState fails
// after it has set the rate; scripts/test-windows reads the rates back on the Linux side.
TEST_F(Win32Line, StandardRatesAreTaken) {
  auto port = MakeSerialPort();
  bus_->ClosePort();
  ASSERT_TRUE(port->Open(DefaultSerialDevice(static_cast<uint8_t>(com_ - 1))));
  std::string refused;
  for (const uint32_t rate :
       {110u, 300u, 600u, 1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u}) {
    TLineSettings settings;
    settings.BaudRate = rate;
    if (!port->Apply(settings)) {
      refused += ' ';
      refused += std::to_string(rate);
    }
  }
  if (!refused.empty() && UnderWine())
    GTEST_SKIP() << "wine's SetCommState reports a failure at" << refused;
  EXPECT_EQ(refused, "");
}

// 14400, 56000, 128000 and 256000 have no termios constant: wine's serial driver can set them
// only through a custom divisor, which a pseudo-terminal does not have.
TEST_F(Win32Line, NonStandardRatesAreTaken) {
  auto port = MakeSerialPort();
  bus_->ClosePort();
  ASSERT_TRUE(port->Open(DefaultSerialDevice(static_cast<uint8_t>(com_ - 1))));
  std::string refused;
  for (const uint32_t rate : {14400u, 56000u, 128000u, 256000u}) {
    TLineSettings settings;
    settings.BaudRate = rate;
    if (!port->Apply(settings)) {
      refused += ' ';
      refused += std::to_string(rate);
    }
  }
  if (!refused.empty() && UnderWine())
    GTEST_SKIP() << "wine's serial driver refuses" << refused << " on this line";
  EXPECT_EQ(refused, "");
}

TEST_F(Win32Line, ClosePortEndsAWaitingTransaction) {
  bus_->SetWaitTime(8000);
  SetRequest(*bus_, kNobody, kIdentity, sizeof kIdentity);
  const auto started = std::chrono::steady_clock::now();
  auto result = std::async(std::launch::async, [&] { return bus_->Transaction(); });
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(bus_->ClosePort());
  ASSERT_EQ(result.wait_for(4s), std::future_status::ready) << "the transaction kept waiting";
  EXPECT_EQ(result.get(), RESULT_ABORTED);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);
  ASSERT_TRUE(bus_->OpenPort());
  EXPECT_EQ(Identity(), RESULT_OK);
}

TEST_F(Win32Line, DestructionEndsAWaitingTransaction) {
  bus_->SetWaitTime(8000);
  SetRequest(*bus_, kNobody, kIdentity, sizeof kIdentity);
  TModBus* bus = bus_.get();
  auto result = std::async(std::launch::async, [bus] { return bus->Transaction(); });
  std::this_thread::sleep_for(300ms);
  bus_.reset();
  ASSERT_EQ(result.wait_for(4s), std::future_status::ready);
  EXPECT_EQ(result.get(), RESULT_ABORTED);
}

// At 110 baud a character takes 109 ms: the gaps between the reply's bytes are longer than the
// 50 ms that end a reply on faster lines, and the reply must still come whole.
TEST_F(Win32SlowLine, AReplyTricklingInAt110BaudComesWhole) {
  bus_->SetBaudIndex(0);
  ASSERT_EQ(bus_->BaudRate(), 110u);
  ASSERT_EQ(Identity(), RESULT_OK);
  EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::Length);
  EXPECT_EQ(bus_->ReplyFrame().Length, 2 + 1 + 18);
}

// The simulator hangs up after three bytes of the reply and makes a fresh line at the same
// place: the transaction ends at once with the unexpected fault, and the port opens again.
TEST_F(Win32Unplug, AHangUpEndsTheTransactionAndThePortOpensAgain) {
  bus_->SetWaitTime(5000);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Identity(), RESULT_UNKNOWN);
  EXPECT_EQ(bus_->LastTrace().FirstEnd, TReadEnd::HangUp);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 4s) << "the hang-up was not noticed";
  EXPECT_TRUE(bus_->ClosePort());
  bool reopened = false;
  for (int attempt = 0; attempt < 50 && !reopened; ++attempt) {
    reopened = bus_->OpenPort();
    if (!reopened) std::this_thread::sleep_for(100ms);  // the simulator makes its new line
  }
  ASSERT_TRUE(reopened);
  EXPECT_EQ(Identity(), RESULT_OK);
}

}  // namespace
