// The date rules of the register map with replies no instrument would send: a raw peer on a
// pseudo-terminal answers the clock and record reads with the date-time registers given.
#include <gtest/gtest.h>

#include <memory>

#include "support/MipLineFixture.h"
#include "support/PtyPeer.h"

namespace {

struct ClockCase {
  const char* name;
  uint16_t monthYear, hourDay, secondMinute;
  bool stored;              // false: DeviceClock keeps its value
  TDateTimeParts expected;  // when stored
};

// A reply to the clock read: record number 42, then the three date-time registers.
Frame ClockReply(const ClockCase& c) {
  return k7104sim::WithCrc({0x01, 0x03, 0x08, 0x00, 0x2A, static_cast<uint8_t>(c.monthYear >> 8),
                            static_cast<uint8_t>(c.monthYear), static_cast<uint8_t>(c.hourDay >> 8),
                            static_cast<uint8_t>(c.hourDay),
                            static_cast<uint8_t>(c.secondMinute >> 8),
                            static_cast<uint8_t>(c.secondMinute)});
}

class ClockRuleTest : public ::testing::TestWithParam<ClockCase> {};

TEST_P(ClockRuleTest, StoresOnlyAValidDate) {
  const ClockCase& c = GetParam();
  PtyResponder peer(8, [&c](const Frame&) { return ClockReply(c); });
  TMIP mip;
  mip.Bus.SetPortDevice(mip.Bus.PortIndex(), peer.Path());
  ASSERT_TRUE(mip.Bus.OpenPort());
  mip.Bus.RequestFrame().SetAddress(1);
  const TDateTime before = 12345.5;
  mip.DeviceClock = before;
  EXPECT_EQ(mip.Execute(OpReadClock), RESULT_OK);
  EXPECT_EQ(mip.ArchiveCurrent, 42);
  if (c.stored) {
    EXPECT_EQ(mip.DeviceClock, EncodeDateTime(c.expected));
  } else {
    EXPECT_EQ(mip.DeviceClock, before);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Clock, ClockRuleTest,
    ::testing::Values(
        ClockCase{"Valid", 0x0305, 0x0E11, 0x2419, true, {2005, 3, 17, 14, 25, 36, 0}},
        ClockCase{"Month13", 0x0D05, 0x0E11, 0x2419, false, {}},
        ClockCase{"Month0", 0x0005, 0x0E11, 0x2419, false, {}},
        ClockCase{"Day0", 0x0305, 0x0E00, 0x2419, false, {}},
        ClockCase{"April31", 0x0405, 0x0E1F, 0x2419, false, {}},
        ClockCase{"February29In2005", 0x0205, 0x0E1D, 0x2419, false, {}},
        ClockCase{"February29In2004", 0x0204, 0x0E1D, 0x2419, true, {2004, 2, 29, 14, 25, 36, 0}},
        ClockCase{"Hour24", 0x0305, 0x1811, 0x2419, true, {2005, 3, 17, 0, 0, 0, 0}},
        ClockCase{"Minute60", 0x0305, 0x0E11, 0x243C, true, {2005, 3, 17, 0, 0, 0, 0}},
        ClockCase{"Second60", 0x0305, 0x0E11, 0x3C19, true, {2005, 3, 17, 0, 0, 0, 0}},
        ClockCase{"Year2255", 0x0CFF, 0x1713, 0x3B3B, true, {2255, 12, 19, 23, 59, 59, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// An archive record whose date is broken has no time; it never takes the previous record's.
TEST(RecordDateRuleTest, BrokenDateGivesNoTime) {
  int calls = 0;
  PtyResponder peer(8, [&calls](const Frame& request) {
    const uint8_t record = request[3];
    const uint8_t month = ++calls == 1 ? 3 : 14;
    // One channel: number, three date-time registers, one float (25.5).
    return k7104sim::WithCrc({0x01, 0x04, 0x0C, 0x00, record, month, 0x05, 0x0E, 0x11, 0x24, 0x19,
                              0x00, 0x00, 0x41, 0xCC});
  });
  TMIP mip;
  mip.Bus.SetPortDevice(mip.Bus.PortIndex(), peer.Path());
  ASSERT_TRUE(mip.Bus.OpenPort());
  mip.Bus.RequestFrame().SetAddress(1);
  mip.ChannelCount = 1;
  mip.RecordIndex = 5;
  ASSERT_EQ(mip.Execute(OpReadRecord), RESULT_OK);
  const TDateTime first = mip.MeasRecord.Time;
  EXPECT_EQ(first, EncodeDateTime({2005, 3, 17, 14, 25, 36, 0}));
  mip.RecordIndex = 6;
  ASSERT_EQ(mip.Execute(OpReadRecord), RESULT_OK);
  EXPECT_EQ(mip.MeasRecord.Number, 6);
  EXPECT_FALSE(HasDateTime(mip.MeasRecord.Time));
  EXPECT_EQ(mip.MeasRecord.Value[0], 25.5f);
}

}  // namespace
