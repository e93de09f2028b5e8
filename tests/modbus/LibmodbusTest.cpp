// The channel against a Modbus RTU slave that nobody here wrote: libmodbus, across a null-modem
// cable of two pseudo-terminals.
#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "modbus/Modbusunit.h"
#include "support/PtyPeer.h"

namespace {

class LibmodbusSlave {
 public:
  LibmodbusSlave(const std::string& path, uint8_t address) {
    context_ = modbus_new_rtu(path.c_str(), 9600, 'E', 8, 2);
    mapping_ = modbus_mapping_new(0, 0, 200, 0);
    if (!context_ || !mapping_) return;
    modbus_set_slave(context_, address);
    modbus_set_indication_timeout(context_, 0, 100000);
    for (int i = 0; i < 200; ++i) mapping_->tab_registers[i] = static_cast<uint16_t>(0x1000 + i);
    if (modbus_connect(context_) == 0) thread_ = std::thread([this] { Serve(); });
  }
  ~LibmodbusSlave() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (context_) {
      modbus_close(context_);
      modbus_free(context_);
    }
    if (mapping_) modbus_mapping_free(mapping_);
  }
  bool Running() const { return thread_.joinable(); }
  uint16_t Register(int i) const { return mapping_->tab_registers[i]; }

 private:
  void Serve() {
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stop_) {
      const int length = modbus_receive(context_, query);
      if (length > 0) modbus_reply(context_, query, length, mapping_);
    }
  }
  modbus_t* context_ = nullptr;
  modbus_mapping_t* mapping_ = nullptr;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void SetRequest(TModBus& bus, uint8_t address, uint8_t function, std::initializer_list<int> data) {
  TModBusFrame& request = bus.RequestFrame();
  request.SetAddress(address);
  request.SetFunction(function);
  request.SetDataLength(static_cast<uint16_t>(data.size()));
  int i = 0;
  for (int byte : data) request.FrameData()[i++] = static_cast<uint8_t>(byte);
}

TEST(Libmodbus, SlaveAnswersTheChannel) {
  NullModem cable;
  LibmodbusSlave slave(cable.PathA(), 17);
  ASSERT_TRUE(slave.Running());
  TModBus bus;
  bus.SetPortDevice(bus.PortIndex(), cable.PathB());
  ASSERT_TRUE(bus.OpenPort());

  SetRequest(bus, 17, 3, {0x00, 0x05, 0x00, 0x03});
  ASSERT_EQ(bus.Transaction(), RESULT_OK);
  const TModBusFrame& reply = bus.ReplyFrame();
  ASSERT_EQ(reply.DataLength(), 7);
  EXPECT_EQ(reply.SlaveAddress, 17);
  EXPECT_EQ(reply.Data[0], 6);
  EXPECT_EQ(reply.Data[1], 0x10);
  EXPECT_EQ(reply.Data[2], 0x05);
  EXPECT_EQ(reply.Data[6], 0x07);
  EXPECT_EQ(bus.LastTrace().FirstEnd, TReadEnd::Length);

  SetRequest(bus, 17, 16, {0x00, 0x0A, 0x00, 0x02, 0x04, 0xBE, 0xEF, 0x00, 0x2A});
  ASSERT_EQ(bus.Transaction(), RESULT_OK);
  EXPECT_EQ(bus.ReplyFrame().DataLength(), 4);
  EXPECT_EQ(slave.Register(10), 0xBEEF);
  EXPECT_EQ(slave.Register(11), 42);

  SetRequest(bus, 17, 3, {0x01, 0x00, 0x00, 0x01});  // beyond the slave's 200 registers
  EXPECT_EQ(bus.Transaction(), RESULT_ILLEGAL_ADDRESS);

  bus.SetWaitTime(200);
  SetRequest(bus, 18, 3, {0x00, 0x00, 0x00, 0x01});  // nobody at 18
  EXPECT_EQ(bus.Transaction(), RESULT_TIMEOUT);
}

}  // namespace
