// The simulated instrument against libmodbus, a Modbus RTU master that nobody here wrote.
#include <gtest/gtest.h>
#include <modbus.h>

#include <bit>
#include <cerrno>
#include <memory>

#include "sim/Simulator.h"

namespace {

struct ModbusDeleter {
  void operator()(modbus_t* context) const {
    modbus_close(context);
    modbus_free(context);
  }
};
using ModbusContext = std::unique_ptr<modbus_t, ModbusDeleter>;

class LibmodbusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    line.AddInstrument({.address = 1, .model = 2, .channels = 16, .relays = 8});
    ASSERT_TRUE(line.Start());
    context.reset(modbus_new_rtu(line.SlavePath().c_str(), 9600, 'E', 8, 2));
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(modbus_set_slave(context.get(), 1), 0);
    ASSERT_EQ(modbus_connect(context.get()), 0) << modbus_strerror(errno);
  }

  k7104sim::Line line;
  ModbusContext context;
};

TEST_F(LibmodbusTest, ReadsTheIdentityRegisters) {
  uint16_t registers[9] = {};
  ASSERT_EQ(modbus_read_registers(context.get(), 0, 9, registers), 9) << modbus_strerror(errno);
  const uint16_t expected[9] = {0x4F56, 0x5453, 0x4552, 0x494C, 0x214E, 2, 0x0203, 16, 8};
  for (int k = 0; k < 9; ++k) EXPECT_EQ(registers[k], expected[k]) << "register " << k;
}

TEST_F(LibmodbusTest, WrittenRegisterReadsBack) {
  ASSERT_EQ(modbus_write_register(context.get(), 102, 4321), 1) << modbus_strerror(errno);
  uint16_t value = 0;
  ASSERT_EQ(modbus_read_registers(context.get(), 102, 1, &value), 1);
  EXPECT_EQ(value, 4321);
}

TEST_F(LibmodbusTest, FloatsAndCoilsTravelAsTheMasterExpects) {
  const auto bits = std::bit_cast<uint32_t>(-7.25f);
  uint16_t pair[2] = {static_cast<uint16_t>(bits & 0xFFFF), static_cast<uint16_t>(bits >> 16)};
  ASSERT_EQ(modbus_write_registers(context.get(), 1664, 2, pair), 2) << modbus_strerror(errno);
  uint16_t back[2] = {};
  ASSERT_EQ(modbus_read_registers(context.get(), 1664, 2, back), 2);
  EXPECT_EQ(back[0], pair[0]);
  EXPECT_EQ(back[1], pair[1]);
  EXPECT_FLOAT_EQ(line.Find(1)->HoldingFloat(1664), -7.25f);
  const uint8_t relays[8] = {1, 0, 1, 1, 0, 0, 0, 1};
  ASSERT_EQ(modbus_write_bits(context.get(), 96, 8, relays), 8) << modbus_strerror(errno);
  uint8_t read[8] = {};
  ASSERT_EQ(modbus_read_bits(context.get(), 96, 8, read), 8);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(read[k], relays[k]) << "relay " << k;
}

TEST_F(LibmodbusTest, UnknownRegisterIsAnIllegalDataAddress) {
  uint16_t value = 0;
  EXPECT_EQ(modbus_read_registers(context.get(), 9, 1, &value), -1);
  EXPECT_EQ(errno, EMBXILADD);
  uint8_t bit = 0;
  EXPECT_EQ(modbus_read_input_bits(context.get(), 0, 1, &bit), -1);
  EXPECT_EQ(errno, EMBXILFUN);
}

}  // namespace
