// The register map against a simulated instrument on a pseudo-terminal: the exact requests, the
// conversions of replies into the data image, reply-length checks, the date rules, the retries of
// the settings write and the probe of the address change.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <thread>

#include "support/MipLineFixture.h"

using k7104sim::Fault;
using k7104sim::FaultKind;

namespace {

std::string WithCrcText(const std::string& frame) {
  return HexText(k7104sim::WithCrc(Hex(frame)));
}

struct RequestCase {
  const char* name;
  std::function<void(TMIP&)> setup;
  uint8_t op;
  std::vector<std::string> frames;
};

class RequestTest : public MipLineFixture, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(RequestTest, SendsExactlyTheseFrames) {
  Add(1);
  Connect();
  const RequestCase& c = GetParam();
  c.setup(*mip_);
  EXPECT_EQ(Run(c.op), RESULT_OK);
  EXPECT_EQ(Sent(), c.frames);
}

void Channels(TMIP& mip, uint16_t n) {
  mip.ChannelCount = n;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, RequestTest,
    ::testing::Values(
        RequestCase{
            "CurrentValues32", [](TMIP& m) { Channels(m, 32); }, 0, {"01 03 03 00 00 40 44 7E"}},
        RequestCase{
            "CurrentValues8", [](TMIP& m) { Channels(m, 8); }, 0, {"01 03 03 00 00 10 44 42"}},
        RequestCase{
            "LastCycle32", [](TMIP& m) { Channels(m, 32); }, 1, {"01 04 00 00 00 44 F0 39"}},
        RequestCase{
            "ConnectionTypes32", [](TMIP& m) { Channels(m, 32); }, 3, {"01 01 00 40 00 20 3C 06"}},
        RequestCase{"ConnectionTypes9",
                    [](TMIP& m) { Channels(m, 9); },
                    3,
                    {WithCrcText("01 01 00 40 00 09")}},
        RequestCase{"Clock", [](TMIP&) {}, 28, {"01 03 00 0A 00 04 64 0B"}},
        RequestCase{"Record100",
                    [](TMIP& m) { Channels(m, 8), m.RecordIndex = 100; },
                    31,
                    {"01 04 00 64 00 14 B1 DA"}},
        RequestCase{"RelayControl3",
                    [](TMIP& m) { m.RelayCount = 3; },
                    21,
                    {WithCrcText("01 01 00 60 00 03")}},
        RequestCase{"SensorTypes",
                    [](TMIP& m) {
                      Channels(m, 2);
                      m.Config.TypeSensor[0] = 30;
                      m.Config.TypeSensor[1] = 37;
                    },
                    130,
                    {"01 10 00 80 00 02 04 00 1E 00 25 5A 12"}},
        RequestCase{"ThreeWire10",
                    [](TMIP& m) {
                      Channels(m, 10);
                      const uint8_t flags[10] = {1, 0, 1, 1, 0, 0, 0, 0, 1, 1};
                      std::memcpy(m.Config.ThreeWire, flags, 10);
                      m.Config.ThreeWire[10] = 1;  // beyond the count: never sent
                    },
                    131,
                    {"01 0F 00 40 00 0A 02 0D 03 AF 69"}},
        RequestCase{"FirstSetpoint",
                    [](TMIP& m) {
                      Channels(m, 1);
                      m.Config.Setpoint[0][0] = 25.5f;
                    },
                    139,
                    {"01 10 04 80 00 02 04 00 00 41 CC F9 0A"}},
        RequestCase{"RelayTest",
                    [](TMIP& m) {
                      m.RelayCount = 3;
                      m.Config.RelayTestOn[0] = 1;
                      m.Config.RelayTestOn[1] = 0;
                      m.Config.RelayTestOn[2] = 7;  // any non-zero byte switches on
                    },
                    150,
                    {"01 0F 00 80 00 03 01 05 4E 8A"}},
        RequestCase{"ClockWrite",
                    [](TMIP& m) {
                      m.DeviceClock = EncodeDateTime({2005, 3, 17, 14, 25, 36, 750});
                    },
                    156,
                    {"01 10 00 0B 00 03 06 03 05 0E 11 24 19 D3 71"}},
        RequestCase{"LogicFirstSetpoint",
                    [](TMIP& m) {
                      Channels(m, 1);
                      m.Config.LogicCondition[0][0] = 1;
                      m.Config.LogicFault[0][0] = 2;
                      m.Config.LogicFilter[0][0] = 1;
                    },
                    151,
                    {WithCrcText("01 10 02 80 00 01 02 00 0D")}},
        RequestCase{"Settings",
                    [](TMIP& m) {
                      m.Config.ArchivePeriod = 60;
                      m.Config.Register100 = 1;
                      m.Config.Register101 = 0x0203;
                      m.Config.Password = 1234;
                      m.Config.Protocol = 0;
                      m.Config.InterfaceSpeed = 1;
                      m.Config.MeasurePeriod = 2.0f;
                    },
                    155,
                    {"01 10 00 62 00 01 02 00 3C AE 03",
                     WithCrcText("01 10 00 64 00 05 0A 00 01 02 03 04 D2 00 00 00 01"),
                     "01 10 07 02 00 02 04 00 00 40 00 65 86"}},
        RequestCase{"NoOperation30", [](TMIP&) {}, 30, {}},
        RequestCase{"NoOperation157", [](TMIP&) {}, 157, {}}),
    [](const auto& info) { return std::string(info.param.name); });

class RegisterMapTest : public MipLineFixture {};

TEST_F(RegisterMapTest, FloatsArriveLowHalfFirst) {
  auto& instrument = Add(1);
  Connect();
  instrument.SetLiveValue(0, 25.5f);
  instrument.SetLiveValue(1, -32768.0f);
  ASSERT_EQ(Run(0), RESULT_OK);
  EXPECT_EQ(mip_->CurrentValue[0], 25.5f);
  EXPECT_EQ(mip_->CurrentValue[1], -32768.0f);
}

TEST_F(RegisterMapTest, IdentityTextIsSwappedBackAndCountsKeptAsReported) {
  Add(1, 6, 40, 0);
  Connect();
  ASSERT_EQ(Run(OpReadSettings), RESULT_OK);
  EXPECT_STREQ(mip_->DeviceId, "VOSTRELIN!");
  EXPECT_EQ(mip_->ModelCode, 6);
  EXPECT_EQ(mip_->DeviceChannels, 40);
  EXPECT_EQ(mip_->DeviceRelays, 0);
  EXPECT_EQ(mip_->ChannelCount, 32);  // not the register map's business
}

TEST_F(RegisterMapTest, LogicByteIsSplitAndItsOtherBitsIgnored) {
  auto& instrument = Add(1);
  Connect();
  mip_->ChannelCount = 2;
  instrument.SetHoldingRegister(640, 0x000D);
  instrument.SetHoldingRegister(641, 0xFFF6);  // high byte and bits 4..7 carry nothing
  ASSERT_EQ(Run(23), RESULT_OK);
  EXPECT_EQ(mip_->Config.LogicCondition[0][0], 1);
  EXPECT_EQ(mip_->Config.LogicFault[0][0], 2);
  EXPECT_EQ(mip_->Config.LogicFilter[0][0], 1);
  EXPECT_EQ(mip_->Config.LogicCondition[0][1], 0);
  EXPECT_EQ(mip_->Config.LogicFault[0][1], 3);
  EXPECT_EQ(mip_->Config.LogicFilter[0][1], 0);
}

TEST_F(RegisterMapTest, ByteFieldsTakeTheLowByte) {
  auto& instrument = Add(1);
  Connect();
  mip_->ChannelCount = 1;
  instrument.SetHoldingRegister(128, 0x0125);
  ASSERT_EQ(Run(2), RESULT_OK);
  EXPECT_EQ(mip_->Config.TypeSensor[0], 0x25);
}

TEST_F(RegisterMapTest, ClockAndCurrentRecordFromOneReply) {
  auto& instrument = Add(1);
  Connect();
  instrument.SetArchiveDepth(42);
  const TDateTime clock = EncodeDateTime({2005, 3, 17, 14, 25, 36, 0});
  instrument.SetClock(clock);
  ASSERT_EQ(Run(OpReadClock), RESULT_OK);
  EXPECT_EQ(mip_->ArchiveCurrent, 42);
  // The simulated clock ticks; the read carries whole seconds only.
  EXPECT_NEAR(mip_->DeviceClock, clock, 3.0 / 86400);
  EXPECT_EQ(DecodeDateTime(mip_->DeviceClock).Millisecond, 0);
}

TEST_F(RegisterMapTest, RelayCountLimitsTheFlagsRead) {
  auto& instrument = Add(1);
  Connect();
  mip_->RelayCount = 3;
  for (int j = 0; j < 32; ++j) instrument.SetCoil(static_cast<uint16_t>(96 + j), true);
  std::memset(mip_->Config.RelayByComputer, 9, sizeof mip_->Config.RelayByComputer);
  ASSERT_EQ(Run(21), RESULT_OK);
  EXPECT_EQ(mip_->Config.RelayByComputer[0], 1);
  EXPECT_EQ(mip_->Config.RelayByComputer[2], 1);
  for (int j = 3; j < 32; ++j) EXPECT_EQ(mip_->Config.RelayByComputer[j], 9) << j;
}

TEST_F(RegisterMapTest, ChannelCountLimitsTheChannelsRead) {
  Add(1);
  Connect();
  mip_->ChannelCount = 8;
  std::memset(mip_->Config.TypeSensor, 99, sizeof mip_->Config.TypeSensor);
  ASSERT_EQ(Run(2), RESULT_OK);
  for (int i = 8; i < 32; ++i) EXPECT_EQ(mip_->Config.TypeSensor[i], 99) << i;
}

TEST_F(RegisterMapTest, ReplyOneRegisterShortGivesLengthErrorAndChangesNothing) {
  auto& instrument = Add(1);
  Connect();
  for (int i = 0; i < 32; ++i) instrument.SetHoldingFloat(static_cast<uint16_t>(896 + 2 * i), 5.0f);
  for (int i = 0; i < 32; ++i) mip_->Config.Minimum[i] = -1.0f;
  line_->AddFault({.kind = FaultKind::ShortByOneRegister, .times = 1});
  EXPECT_EQ(Run(9), RESULT_LENGTH);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(mip_->Config.Minimum[i], -1.0f) << i;
  EXPECT_EQ(Run(9), RESULT_OK);
  EXPECT_EQ(mip_->Config.Minimum[31], 5.0f);
}

TEST_F(RegisterMapTest, ExceptionReplyGivesItsCodeAndChangesNothing) {
  Add(1);
  Connect();
  mip_->Config.KXC[0] = 77;
  line_->AddFault(
      {.kind = FaultKind::Exception, .arg = 2, .firstRegister = 608, .lastRegister = 639});
  EXPECT_EQ(Run(5), RESULT_ILLEGAL_ADDRESS);
  EXPECT_EQ(mip_->Config.KXC[0], 77);
}

TEST_F(RegisterMapTest, SilentInstrumentTimesOut) {
  Add(1);
  Connect();
  mip_->Bus.SetWaitTime(200);
  line_->AddFault({.kind = FaultKind::NoReply});
  EXPECT_EQ(Run(28), RESULT_TIMEOUT);
}

TEST_F(RegisterMapTest, SettingsReadKeepsEarlierTransactionsOnALaterFailure) {
  auto& instrument = Add(1, 2);
  Connect();
  instrument.SetArchiveDepth(300);
  mip_->Config.ArchivePeriod = 4444;
  line_->AddFault(
      {.kind = FaultKind::Exception, .arg = 4, .firstRegister = 97, .lastRegister = 104});
  EXPECT_EQ(Run(OpReadSettings), 4);
  EXPECT_STREQ(mip_->DeviceId, "VOSTRELIN!");
  EXPECT_EQ(mip_->ModelCode, 2);
  EXPECT_EQ(mip_->ArchiveDepth, 300);
  EXPECT_EQ(mip_->Config.ArchivePeriod, 4444);
}

TEST_F(RegisterMapTest, StateReadKeepsTheRecordNumberWhenTheStateFails) {
  auto& instrument = Add(1);
  Connect();
  instrument.SetArchiveDepth(123);
  mip_->DeviceState = 5;
  line_->AddFault({.kind = FaultKind::Exception, .arg = 3, .firstRegister = 97});
  EXPECT_EQ(Run(OpReadState), 3);
  EXPECT_EQ(mip_->ArchiveCurrent, 123);
  EXPECT_EQ(mip_->DeviceState, 5);
}

TEST_F(RegisterMapTest, SettingsWriteRetriesBusyAndSucceeds) {
  Add(1);
  Connect();
  line_->AddFault({.kind = FaultKind::Busy,
                   .function = 16,
                   .firstRegister = 100,
                   .lastRegister = 104,
                   .times = 3});
  line_->AddFault({.kind = FaultKind::Busy,
                   .function = 16,
                   .firstRegister = 1794,
                   .lastRegister = 1795,
                   .times = 9});
  EXPECT_EQ(Run(OpWriteSettings), RESULT_OK);
  EXPECT_EQ(Sent().size(), 1u + 4u + 10u);
}

TEST_F(RegisterMapTest, SettingsWriteGivesUpAfterTenBusyReplies) {
  Add(1);
  Connect();
  line_->AddFault({.kind = FaultKind::Busy,
                   .function = 16,
                   .firstRegister = 100,
                   .lastRegister = 104,
                   .times = 10});
  EXPECT_EQ(Run(OpWriteSettings), RESULT_DEVICE_BUSY);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 11u);  // the period, ten attempts, and not the measurement period
  EXPECT_EQ(sent.back().substr(0, 8), "01 10 00");
}

TEST_F(RegisterMapTest, ArchivePeriodIsNotRetried) {
  Add(1);
  Connect();
  line_->AddFault({.kind = FaultKind::Busy, .function = 16, .firstRegister = 98, .times = 1});
  EXPECT_EQ(Run(OpWriteSettings), RESULT_DEVICE_BUSY);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(RegisterMapTest, SingleWriteGivesUpOnTheFirstBusyReply) {
  Add(1);
  Connect();
  mip_->RelayCount = 3;
  line_->AddFault({.kind = FaultKind::Busy, .times = 1});
  EXPECT_EQ(Run(150), RESULT_DEVICE_BUSY);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(RegisterMapTest, AddressChangeProbesThenWrites) {
  auto& instrument = Add(1);
  Connect();
  mip_->Bus.SetWaitTime(200);
  mip_->Address = 1;
  mip_->InterfaceAddress = 7;
  EXPECT_EQ(Run(OpChangeAddress), RESULT_OK);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"07 03 00 00 00 01 84 6C",
                                              "01 10 00 63 00 01 02 00 07 EE 01"}));
  // The instrument moves once its reply is out, which may be a moment after we have it.
  for (int i = 0; i < 200 && instrument.Address() != 7; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(instrument.Address(), 7);
  EXPECT_EQ(mip_->Address, 1);  // the shell moves it
}

TEST_F(RegisterMapTest, AddressChangeRefusesAnAddressInUse) {
  Add(1);
  Add(7);
  Connect();
  mip_->InterfaceAddress = 7;
  EXPECT_EQ(Run(OpChangeAddress), RESULT_ADDRESS_IN_USE);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"07 03 00 00 00 01 84 6C"}));
}

TEST_F(RegisterMapTest, AddressChangeToItsOwnAddressIsRefused) {
  Add(1);
  Connect();
  mip_->InterfaceAddress = 1;
  EXPECT_EQ(Run(OpChangeAddress), RESULT_ADDRESS_IN_USE);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(RegisterMapTest, AddressChangeRefusesAnAddressAnsweringWithAnException) {
  Add(1);
  Add(7);
  Connect();
  line_->AddFault({.kind = FaultKind::Exception, .arg = 2, .address = 7});
  mip_->InterfaceAddress = 7;
  EXPECT_EQ(Run(OpChangeAddress), RESULT_ADDRESS_IN_USE);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(RegisterMapTest, BroadcastReadIsNotTakenForAReply) {
  Add(1);
  Connect();
  ASSERT_EQ(Run(28), RESULT_OK);  // leaves a good reply in the reply frame
  mip_->Bus.RequestFrame().SetAddress(0);
  EXPECT_EQ(Run(28), RESULT_LENGTH);
}

// Whatever the write operations send, the reads bring back: the whole configuration block makes
// the round trip through the instrument.
TEST_F(RegisterMapTest, WritesThenReadsGiveTheBlockBack) {
  Add(1);
  Connect();
  TConfigBlock& c = mip_->Config;
  c.ArchivePeriod = 12;
  c.MeasurePeriod = 1.5f;
  c.Register100 = 3;
  c.Register101 = 0x1234;
  c.Password = 9876;
  c.Protocol = 0;
  c.InterfaceSpeed = 1;
  c.DeviceFaultRelay = 5;
  c.DeviceFaultFlags = 3;
  c.SensorFaultRelay = 6;
  c.SensorFaultFlags = 2;
  for (int i = 0; i < 32; ++i) {
    c.TypeSensor[i] = static_cast<uint8_t>(i + 1);
    c.Comma[i] = static_cast<uint8_t>(i % 4);
    c.Filter[i] = static_cast<uint8_t>(i % 6);
    c.Minimum[i] = -10.25f * static_cast<float>(i);
    c.Maximum[i] = 100.5f + static_cast<float>(i);
    for (int k = 0; k < 4; ++k) {
      c.Setpoint[k][i] = static_cast<float>(k * 100 + i) + 0.125f;
      c.SetpointRelay[k][i] = static_cast<uint8_t>((i + k) % 33);
      c.LogicCondition[k][i] = static_cast<uint8_t>((i + k) % 2);
      c.LogicFault[k][i] = static_cast<uint8_t>((i + k) % 3);
      c.LogicFilter[k][i] = static_cast<uint8_t>(i % 2);
    }
    c.Hysteresis[i] = 0.5f * static_cast<float>(i);
    c.BreakCheck[i] = static_cast<uint8_t>(i % 2);
    c.SquareRoot[i] = static_cast<uint8_t>(i % 3 == 0);
    c.ThreeWire[i] = static_cast<uint8_t>(i % 5 == 0);
    c.RelayByComputer[i] = static_cast<uint8_t>(i % 7 == 0);
    c.RelayTestOn[i] = static_cast<uint8_t>(i % 4 == 0);
    c.KXC[i] = static_cast<uint8_t>(32 - i);
  }
  TConfigBlock written;
  std::memcpy(&written, &c, ConfigBlockSize);
  for (int op = 130; op <= 155; ++op) ASSERT_EQ(Run(static_cast<uint8_t>(op)), RESULT_OK) << op;

  mip_->Reset();
  for (int op = 0; op <= 28; ++op) ASSERT_EQ(Run(static_cast<uint8_t>(op)), RESULT_OK) << op;
  EXPECT_EQ(std::memcmp(&written, &mip_->Config, ConfigBlockSize), 0);
}

// The simulated instrument keeps its own register addresses: every row of the group table, read
// through the register map, brings the instrument's out-of-the-box settings (its eight channel
// profiles, Simulator.h) into that group's own fields. With the round trip above, the writes land
// where the instrument keeps them as well.
TEST_F(RegisterMapTest, EveryGroupReadsTheInstrumentsOwnSettings) {
  auto& instrument = Add(1);
  Connect();
  instrument.SetLiveValue(0, 123.5f);
  for (const TGroup& g : Groups) {
    if (g.Kind == TElementKind::Job || g.Kind == TElementKind::Address) continue;
    ASSERT_EQ(Run(g.Code), RESULT_OK) << g.Name;
  }
  const TConfigBlock& c = mip_->Config;
  const uint8_t types[8] = {37, 17, 25, 30, 13, 27, 41, 0};
  const uint8_t commas[8] = {1, 1, 2, 1, 2, 3, 0, 1};
  const float minimum[8] = {0, -50, 0, 0, -50, 0, 0, 0};
  const float maximum[8] = {1200, 200, 100, 800, 150, 1, 900, 100};
  const uint8_t breakCheck[8] = {1, 1, 0, 1, 1, 0, 1, 0};
  const uint8_t squareRoot[8] = {0, 0, 1, 0, 0, 0, 0, 0};
  const uint8_t threeWire[8] = {0, 1, 0, 0, 1, 0, 0, 0};
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(c.TypeSensor[i], types[i]);
    EXPECT_EQ(c.Comma[i], commas[i]);
    EXPECT_EQ(c.Filter[i], i % 6);
    const bool thermocouple = i == 0 || i == 3 || i == 6;
    EXPECT_EQ(c.KXC[i], thermocouple ? 2 : 0);  // the resistance thermometer of the block
    EXPECT_EQ(c.Minimum[i].Get(), minimum[i]);
    EXPECT_EQ(c.Maximum[i].Get(), maximum[i]);
    EXPECT_EQ(c.BreakCheck[i], breakCheck[i]);
    EXPECT_EQ(c.SquareRoot[i], squareRoot[i]);
    EXPECT_EQ(c.ThreeWire[i], threeWire[i]);
    for (int k = 0; k < SetpointCount; ++k) {
      EXPECT_EQ(c.SetpointRelay[k][i], types[i] != 0 ? (i + 8 * k) % 33 : 0) << k;
      EXPECT_EQ(c.LogicCondition[k][i], k >= 2 ? 1 : 0) << k;
      EXPECT_EQ(c.LogicFault[k][i], (i + k) % 3) << k;
      EXPECT_EQ(c.LogicFilter[k][i], i % 2) << k;
    }
  }
  const float setpoints[2][SetpointCount] = {{240, 480, 720, 960}, {0, 50, 100, 150}};
  for (int k = 0; k < SetpointCount; ++k) {
    EXPECT_EQ(c.Setpoint[k][0].Get(), setpoints[0][k]) << k;
    EXPECT_EQ(c.Setpoint[k][1].Get(), setpoints[1][k]) << k;
  }
  EXPECT_EQ(c.Hysteresis[0].Get(), 12.0f);
  EXPECT_EQ(c.Hysteresis[1].Get(), 2.5f);
  for (int j = 0; j < MaxRelays; ++j) {
    EXPECT_EQ(c.RelayByComputer[j], j % 4 == 3 ? 1 : 0) << j;
    EXPECT_EQ(c.RelayTestOn[j], 0) << j;
  }
  EXPECT_EQ(c.DeviceFaultRelay, 32);
  EXPECT_EQ(c.DeviceFaultFlags, 1);
  EXPECT_EQ(c.SensorFaultRelay, 31);
  EXPECT_EQ(c.SensorFaultFlags, 3);
  EXPECT_EQ(c.ArchivePeriod.Get(), 60);
  EXPECT_EQ(c.Register100, 1);
  EXPECT_EQ(c.MeasurePeriod.Get(), 0.0f);
  EXPECT_EQ(mip_->NominalPeriod, 1.0f);
  EXPECT_EQ(mip_->InterfaceAddress, 1);
  EXPECT_EQ(mip_->FirmwareVersion, 0x0203);
  EXPECT_EQ(mip_->DeviceState, StateMeasuring);
  EXPECT_EQ(mip_->CurrentValue[0], 123.5f);
  EXPECT_EQ(mip_->CurrentValue[7], MarkerNotConfigured);
  EXPECT_EQ(mip_->LastCycleValue[0], 123.5f);
  EXPECT_EQ(mip_->LastCycleValue[7], MarkerNotConfigured);
}

}  // namespace
