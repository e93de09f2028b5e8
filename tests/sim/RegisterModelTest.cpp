// The instrument's register model over the wire: writes read back, the clock, live values, the
// last cycle and the archive.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <set>
#include <thread>

#include "sim/SimClock.h"
#include "support/RawLineFixture.h"

namespace simtest {
namespace {

using k7104sim::WithCrc;
using namespace std::chrono_literals;

constexpr float kSwitchedOn = -32765.0f;
constexpr float kNotConfigured = -32764.0f;

class RegisterModelTest : public RawLineFixture {};

// The configurator's own write frames, and the read that fetches the same data again.
struct WriteCase {
  const char* name;
  Bytes write;  // with CRC
  Bytes read;   // without CRC
  Bytes readData;
};

class WriteReadBackTest : public RawLineFixture, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteReadBackTest, ReadAfterWriteGivesItBack) {
  const WriteCase& c = GetParam();
  const Bytes ack = client->Transact(c.write);
  ASSERT_EQ(ack.size(), 8u) << HexText(ack);
  EXPECT_EQ(HexText(ack), HexText(WithCrc(Bytes(c.write.begin(), c.write.begin() + 6))));
  Bytes expected{0x01, c.read[1]};
  expected.insert(expected.end(), c.readData.begin(), c.readData.end());
  EXPECT_EQ(HexText(client->Transact(WithCrc(c.read))), HexText(WithCrc(expected)));
}

INSTANTIATE_TEST_SUITE_P(
    Groups, WriteReadBackTest,
    ::testing::Values(
        WriteCase{"SensorTypes",
                  {0x01, 0x10, 0x00, 0x80, 0x00, 0x02, 0x04, 0x00, 0x1E, 0x00, 0x25, 0x5A, 0x12},
                  {0x01, 0x03, 0x00, 0x80, 0x00, 0x02},
                  {0x04, 0x00, 0x1E, 0x00, 0x25}},
        WriteCase{"ThreeWireCoils",
                  {0x01, 0x0F, 0x00, 0x40, 0x00, 0x0A, 0x02, 0x0D, 0x03, 0xAF, 0x69},
                  {0x01, 0x01, 0x00, 0x40, 0x00, 0x0A},
                  {0x02, 0x0D, 0x03}},
        WriteCase{"FirstSetpoint",
                  {0x01, 0x10, 0x04, 0x80, 0x00, 0x02, 0x04, 0x00, 0x00, 0x41, 0xCC, 0xF9, 0x0A},
                  {0x01, 0x03, 0x04, 0x80, 0x00, 0x02},
                  {0x04, 0x00, 0x00, 0x41, 0xCC}},
        WriteCase{"RelayTest",
                  {0x01, 0x0F, 0x00, 0x80, 0x00, 0x03, 0x01, 0x05, 0x4E, 0x8A},
                  {0x01, 0x01, 0x00, 0x80, 0x00, 0x03},
                  {0x01, 0x05}},
        WriteCase{"ArchivePeriod",
                  {0x01, 0x10, 0x00, 0x62, 0x00, 0x01, 0x02, 0x00, 0x3C, 0xAE, 0x03},
                  {0x01, 0x03, 0x00, 0x62, 0x00, 0x01},
                  {0x02, 0x00, 0x3C}},
        WriteCase{"MeasurePeriod",
                  {0x01, 0x10, 0x07, 0x02, 0x00, 0x02, 0x04, 0x00, 0x00, 0x40, 0x00, 0x65, 0x86},
                  {0x01, 0x03, 0x07, 0x02, 0x00, 0x02},
                  {0x04, 0x00, 0x00, 0x40, 0x00}},
        WriteCase{"FaultRelays",
                  WithCrc({0x01, 0x10, 0x00, 0x6D, 0x00, 0x04, 0x08, 0x00, 0x05, 0x00, 0x02, 0x00,
                           0x06, 0x00, 0x01}),
                  {0x01, 0x03, 0x00, 0x6D, 0x00, 0x04},
                  {0x08, 0x00, 0x05, 0x00, 0x02, 0x00, 0x06, 0x00, 0x01}},
        WriteCase{"SettingsAfterAddress",
                  WithCrc({0x01, 0x10, 0x00, 0x64, 0x00, 0x05, 0x0A, 0x00, 0x02, 0x12, 0x34, 0x04,
                           0xD2, 0x00, 0x00, 0x00, 0x01}),
                  {0x01, 0x03, 0x00, 0x64, 0x00, 0x05},
                  {0x0A, 0x00, 0x02, 0x12, 0x34, 0x04, 0xD2, 0x00, 0x00, 0x00, 0x01}},
        WriteCase{"LogicOfFourthSetpoint",
                  WithCrc({0x01, 0x06, 0x02, 0xE0, 0x00, 0x0D}),
                  {0x01, 0x03, 0x02, 0xE0, 0x00, 0x01},
                  {0x02, 0x00, 0x0D}},
        WriteCase{"ColdJunctionSource",
                  WithCrc({0x01, 0x06, 0x02, 0x60, 0x00, 0x10}),
                  {0x01, 0x03, 0x02, 0x60, 0x00, 0x01},
                  {0x02, 0x00, 0x10}},
        WriteCase{"RelayOfThirdSetpoint",
                  WithCrc({0x01, 0x06, 0x02, 0x00, 0x00, 0x20}),
                  {0x01, 0x03, 0x02, 0x00, 0x00, 0x01},
                  {0x02, 0x00, 0x20}},
        WriteCase{"HysteresisOfLastChannel",
                  WithCrc({0x01, 0x10, 0x06, 0xBE, 0x00, 0x02, 0x04, 0x00, 0x00, 0x3F, 0x80}),
                  {0x01, 0x03, 0x06, 0xBE, 0x00, 0x02},
                  {0x04, 0x00, 0x00, 0x3F, 0x80}},
        WriteCase{"SingleBreakCheckCoil",
                  WithCrc({0x01, 0x05, 0x00, 0x02, 0xFF, 0x00}),
                  {0x01, 0x01, 0x00, 0x00, 0x00, 0x03},
                  {0x01, 0x07}},
        WriteCase{"RelayByComputer",
                  WithCrc({0x01, 0x0F, 0x00, 0x60, 0x00, 0x20, 0x04, 0xFF, 0x00, 0x81, 0x80}),
                  {0x01, 0x01, 0x00, 0x60, 0x00, 0x20},
                  {0x04, 0xFF, 0x00, 0x81, 0x80}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegisterModelTest, RefusedWriteChangesNothing) {
  const uint16_t before = instrument->HoldingRegister(100);
  // Registers 100..105: 105 is in the gap, so none of the six is written.
  const Bytes reply = client->Transact(WriteRegisters(1, 100, {9, 9, 9, 9, 9, 9}));
  EXPECT_EQ(HexText(reply), HexText(WithCrc({0x01, 0x90, 0x02})));
  EXPECT_EQ(instrument->HoldingRegister(100), before);
}

TEST_F(RegisterModelTest, AccessorsAndTheWireSeeTheSameRegisters) {
  instrument->SetHoldingFloat(1280 + 2 * 5, -12.75f);
  instrument->SetCoil(64 + 31, true);
  instrument->SetHoldingRegister(97, 137);
  EXPECT_FLOAT_EQ(FloatAt(ReadRegisters(*client, 1, 3, 1280 + 10, 2), 0), -12.75f);
  EXPECT_EQ(ReadRegisters(*client, 1, 3, 97, 1), std::vector<uint16_t>{137});
  const Bytes coils = client->Transact(ReadRequest(1, 1, 64 + 24, 8));
  ASSERT_EQ(coils.size(), 6u);
  EXPECT_EQ(coils[3] & 0x80, 0x80);
  client->Transact(WriteRegisters(1, 896, {0x0000, 0x41CC}));
  EXPECT_FLOAT_EQ(instrument->HoldingFloat(896), 25.5f);
  client->Transact(WriteSingle(1, 5, 128 + 4, 0xFF00));
  EXPECT_TRUE(instrument->Coil(128 + 4));
}

TEST_F(RegisterModelTest, ClockWriteIsReadBackAndKeepsTicking) {
  const Bytes write{0x01, 0x10, 0x00, 0x0B, 0x00, 0x03, 0x06, 0x03,
                    0x05, 0x0E, 0x11, 0x24, 0x19, 0xD3, 0x71};
  ASSERT_EQ(client->Transact(write).size(), 8u);
  const std::vector<uint16_t> first = ReadRegisters(*client, 1, 3, 10, 4);
  ASSERT_EQ(first.size(), 4u);
  EXPECT_EQ(first[0], 500);
  EXPECT_EQ(first[1], 0x0305);
  EXPECT_EQ(first[2], 0x0E11);
  EXPECT_EQ(first[3] & 0xFF, 0x19);
  EXPECT_GE(first[3] >> 8, 36);
  EXPECT_LE(first[3] >> 8, 38);
  std::this_thread::sleep_for(1100ms);
  const std::vector<uint16_t> later = ReadRegisters(*client, 1, 3, 11, 3);
  ASSERT_EQ(later.size(), 3u);
  EXPECT_GT(later[2] >> 8, first[3] >> 8);
}

TEST_F(RegisterModelTest, SetClockIsWhatTheClockRegistersSay) {
  const double march17 = k7104sim::ToDateTime({2005, 3, 17, 14, 25, 36});
  instrument->SetClock(march17);
  EXPECT_NEAR(instrument->Clock(), march17, 3.0 / 86400);
  const std::vector<uint16_t> clock = ReadRegisters(*client, 1, 3, 11, 3);
  ASSERT_EQ(clock.size(), 3u);
  EXPECT_EQ(clock[0], 0x0305);
  EXPECT_EQ(clock[1], 0x0E11);
}

TEST_F(RegisterModelTest, FactoryConfigurationDiffersFromChannelToChannel) {
  const std::vector<uint16_t> types = ReadRegisters(*client, 1, 3, 128, 32);
  const std::vector<uint16_t> decimals = ReadRegisters(*client, 1, 3, 160, 32);
  const std::vector<uint16_t> filters = ReadRegisters(*client, 1, 3, 192, 32);
  ASSERT_EQ(types.size(), 32u);
  EXPECT_GE(std::set<uint16_t>(types.begin(), types.end()).size(), 5u);
  EXPECT_GE(std::set<uint16_t>(decimals.begin(), decimals.end()).size(), 3u);
  EXPECT_GE(std::set<uint16_t>(filters.begin(), filters.end()).size(), 3u);
  EXPECT_GE(std::count(types.begin(), types.end(), 0), 1);
  for (const uint16_t type : types) EXPECT_LE(type, 47);
}

TEST_F(RegisterModelTest, LiveValuesStayInRangeAndChange) {
  const std::vector<uint16_t> types = ReadRegisters(*client, 1, 3, 128, 32);
  const std::vector<uint16_t> minimums = ReadRegisters(*client, 1, 3, 896, 64);
  const std::vector<uint16_t> maximums = ReadRegisters(*client, 1, 3, 1024, 64);
  const std::vector<uint16_t> first = ReadRegisters(*client, 1, 3, 768, 64);
  ASSERT_EQ(first.size(), 64u);
  for (size_t channel = 0; channel < 32; ++channel) {
    const float value = FloatAt(first, 2 * channel);
    if (types[channel] == 0) {
      EXPECT_EQ(value, kNotConfigured) << "channel " << channel;
      continue;
    }
    EXPECT_GE(value, FloatAt(minimums, 2 * channel)) << "channel " << channel;
    EXPECT_LE(value, FloatAt(maximums, 2 * channel)) << "channel " << channel;
  }
  std::this_thread::sleep_for(1100ms);
  EXPECT_NE(ReadRegisters(*client, 1, 3, 768, 64), first);
}

TEST_F(RegisterModelTest, SensorTypeZeroMakesTheChannelUnconfigured) {
  client->Transact(WriteSingle(1, 6, 128 + 2, 0));
  EXPECT_EQ(FloatAt(ReadRegisters(*client, 1, 3, 768 + 4, 2), 0), kNotConfigured);
  EXPECT_EQ(FloatAt(ReadRegisters(*client, 1, 4, 0, 4 + 6), 8), kNotConfigured);
}

TEST_F(RegisterModelTest, FixedLiveValueShowsInCurrentAndLastCycle) {
  instrument->SetLiveValue(3, 25.5f);
  const Bytes current = client->Transact(ReadRequest(1, 3, 768 + 6, 2));
  EXPECT_EQ(HexText(current), HexText(WithCrc({0x01, 0x03, 0x04, 0x00, 0x00, 0x41, 0xCC})));
  EXPECT_FLOAT_EQ(FloatAt(ReadRegisters(*client, 1, 4, 0, 4 + 8), 4 + 6), 25.5f);
}

TEST_F(RegisterModelTest, FrozenLiveValuesStopChanging) {
  instrument->FreezeLive(true);
  const std::vector<uint16_t> before = ReadRegisters(*client, 1, 3, 768, 64);
  const std::vector<uint16_t> cycleBefore = ReadRegisters(*client, 1, 4, 0, 68);
  std::this_thread::sleep_for(1100ms);
  EXPECT_EQ(ReadRegisters(*client, 1, 3, 768, 64), before);
  EXPECT_EQ(ReadRegisters(*client, 1, 4, 0, 68), cycleBefore);
  instrument->FreezeLive(false);
}

TEST_F(RegisterModelTest, LastCycleIsARecentRecordWithUnusedFirstRegister) {
  const std::vector<uint16_t> cycle = ReadRegisters(*client, 1, 4, 0, 68);
  ASSERT_EQ(cycle.size(), 68u);
  EXPECT_EQ(cycle[0], 0);
  const auto time = k7104sim::DecodeClockRegisters({cycle[1], cycle[2], cycle[3]});
  ASSERT_TRUE(time.has_value());
  EXPECT_LE(*time, instrument->Clock());
  EXPECT_GE(*time, instrument->Clock() - 5.0 / 86400);
}

TEST(RegisterModelLine, ArchiveRecordsAreNumberedAndOneArchivePeriodApart) {
  k7104sim::Line line;
  k7104sim::Instrument& instrument = line.AddInstrument({.channels = 8});
  ASSERT_TRUE(line.Start());
  RawClient client(line.SlavePath());
  // The configurator's request for record 100 of an 8-channel instrument.
  const Bytes reply = client.Ask({0x01, 0x04, 0x00, 0x64, 0x00, 0x14, 0xB1, 0xDA}, 45);
  ASSERT_EQ(reply.size(), 45u);
  ASSERT_TRUE(CrcOk(reply));
  const std::vector<uint16_t> record100 = ReplyRegisters(reply);
  const std::vector<uint16_t> record99 = ReadRegisters(client, 1, 4, 99, 20);
  ASSERT_EQ(record99.size(), 20u);
  EXPECT_EQ(record100[0], 100);
  EXPECT_EQ(record99[0], 99);
  const auto time100 = k7104sim::DecodeClockRegisters({record100[1], record100[2], record100[3]});
  const auto time99 = k7104sim::DecodeClockRegisters({record99[1], record99[2], record99[3]});
  ASSERT_TRUE(time100 && time99);
  // Archive period 60 measurement periods of 0.5 s (the nominal period of 8 channels).
  EXPECT_NEAR((*time100 - *time99) * 86400, 30.0, 0.01);
  EXPECT_LT(*time100, instrument.Clock());
}

TEST_F(RegisterModelTest, ArchiveHasMarkersAmongItsValues) {
  const std::vector<uint16_t> types = ReadRegisters(*client, 1, 3, 128, 32);
  std::set<float> markers;
  bool switchedOnRecord = false;
  for (uint16_t record = 1; record <= 200; ++record) {
    const std::vector<uint16_t> registers = ReadRegisters(*client, 1, 4, record, 68);
    ASSERT_EQ(registers.size(), 68u) << "record " << record;
    ASSERT_EQ(registers[0], record);
    bool allSwitchedOn = true;
    for (size_t channel = 0; channel < 32; ++channel) {
      const float value = FloatAt(registers, 4 + 2 * channel);
      if (types[channel] == 0) {
        EXPECT_EQ(value, kNotConfigured);
        continue;
      }
      if (value <= -32763.0f) markers.insert(value);
      allSwitchedOn = allSwitchedOn && value == kSwitchedOn;
    }
    switchedOnRecord = switchedOnRecord || allSwitchedOn;
  }
  EXPECT_TRUE(switchedOnRecord);
  EXPECT_EQ(markers, (std::set<float>{-32768.0f, -32767.0f, -32765.0f, -32763.0f}));
}

TEST_F(RegisterModelTest, RecordBeyondTheDepthComesBackWithAnotherNumber) {
  const std::vector<uint16_t> last = ReadRegisters(*client, 1, 4, 500, 68);
  const std::vector<uint16_t> beyond = ReadRegisters(*client, 1, 4, 501, 68);
  ASSERT_EQ(last.size(), 68u);
  ASSERT_EQ(beyond.size(), 68u);
  EXPECT_EQ(last[0], 500);
  EXPECT_NE(beyond[0], 501);
}

TEST_F(RegisterModelTest, DeepArchiveReachesRecord65535) {
  instrument->SetArchiveDepth(65535);
  EXPECT_EQ(ReadRegisters(*client, 1, 3, 10, 1), std::vector<uint16_t>{65535});
  EXPECT_EQ(ReadRegisters(*client, 1, 3, 113, 1), std::vector<uint16_t>{65535});
  for (uint16_t record = 65530; record != 0; ++record) {
    const std::vector<uint16_t> registers = ReadRegisters(*client, 1, 4, record, 68);
    ASSERT_EQ(registers.size(), 68u);
    EXPECT_EQ(registers[0], record);
  }
}

TEST_F(RegisterModelTest, RecordTimeCanBeChosen) {
  const double chosen = k7104sim::ToDateTime({2024, 2, 29, 23, 59, 58});
  instrument->SetArchiveRecordTime(7, chosen);
  const std::vector<uint16_t> record = ReadRegisters(*client, 1, 4, 7, 4);
  ASSERT_EQ(record.size(), 4u);
  EXPECT_EQ(record, (std::vector<uint16_t>{7, 0x0218, 0x171D, 0x3A3B}));
}

}  // namespace
}  // namespace simtest
