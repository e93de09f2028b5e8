// The data image without a line: reset, the little-endian configuration block, the archive
// list order, and the date-time encoding the register map relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "instrument/Mipunit.h"

namespace {

TEST(DataImageTest, ResetClearsImageButKeepsAddressRangesAndSearchResults) {
  TDataImage image;
  image.Address = 42;
  image.RangeFirst = 3;
  image.RangeLast = 9;
  image.FoundCount = 1;
  image.FoundDevices[0] = {17, 6};
  image.RecordIndex = 77;
  image.MeasRecord.Number = 77;
  image.ChannelCount = 8;
  image.RelayCount = 0;
  std::strcpy(image.DeviceId, "VOSTRELIN!");
  image.ModelCode = 6;
  image.CurrentValue[31] = 5.0f;
  image.NominalPeriod = 1.0f;
  image.InterfaceAddress = 9;
  std::memset(image.ConfigBlockBytes(), 0xAB, ConfigBlockSize);
  image.AppendRecord();
  image.DeviceClock = 1.0;

  const TDateTime before = NowLocal();
  image.Reset();
  const TDateTime after = NowLocal();

  EXPECT_EQ(image.Address, 42);
  EXPECT_EQ(image.RangeFirst, 3);
  EXPECT_EQ(image.RangeLast, 9);
  EXPECT_EQ(image.FoundCount, 1);
  EXPECT_EQ(image.FoundDevices[0].Address, 17);
  EXPECT_EQ(image.RecordIndex, 77);
  EXPECT_EQ(image.MeasRecord.Number, 77);
  EXPECT_EQ(image.ChannelCount, 32);
  EXPECT_EQ(image.RelayCount, 32);
  EXPECT_STREQ(image.DeviceId, "");
  EXPECT_EQ(image.ModelCode, 0);
  EXPECT_EQ(image.CurrentValue[31], 0.0f);
  EXPECT_EQ(image.NominalPeriod, 0.0f);
  EXPECT_EQ(image.InterfaceAddress, 0);
  for (size_t i = 0; i < ConfigBlockSize; ++i) ASSERT_EQ(image.ConfigBlockBytes()[i], 0) << i;
  EXPECT_EQ(image.ArchiveCount(), 0u);
  EXPECT_GE(image.DeviceClock, before);
  EXPECT_LE(image.DeviceClock, after);
}

TEST(DataImageTest, NewImageHasAddressOne) {
  TDataImage image;
  EXPECT_EQ(image.Address, 1);
  EXPECT_EQ(image.ChannelCount, 32);
}

TEST(DataImageTest, BlockFieldsAreLittleEndianBytes) {
  TDataImage image;
  image.Config.Password = 0x0102;
  image.Config.Hysteresis[0] = 25.5f;
  image.Config.Setpoint[2][1] = -32768.0f;
  const uint8_t* b = image.ConfigBlockBytes();
  EXPECT_EQ(b[11], 0x02);
  EXPECT_EQ(b[12], 0x01);
  EXPECT_EQ(b[883], 0x00);
  EXPECT_EQ(b[885], 0xCC);
  EXPECT_EQ(b[886], 0x41);
  EXPECT_EQ(b[627 + 4 + 3], 0xC7);
  EXPECT_EQ(image.Config.Password, 0x0102);
  EXPECT_EQ(image.Config.Hysteresis[0], 25.5f);
}

TEST(DataImageTest, ArchiveSortsNewestFirst) {
  TDataImage image;
  for (auto [number, time] : {std::pair{1, 2.0}, {2, 3.0}, {3, 1.0}}) {
    image.MeasRecord.Number = static_cast<uint16_t>(number);
    image.MeasRecord.Time = time;
    image.AppendRecord();
  }
  image.SortArchive();
  ASSERT_EQ(image.ArchiveCount(), 3u);
  EXPECT_EQ(image.ArchiveRecord(0).Time, 3.0);
  EXPECT_EQ(image.ArchiveRecord(1).Time, 2.0);
  EXPECT_EQ(image.ArchiveRecord(2).Time, 1.0);
  EXPECT_EQ(image.ArchiveRecord(0).Number, 2);
}

TEST(DataImageTest, AppendedRecordIsACopyOfTheBuffer) {
  TDataImage image;
  image.MeasRecord.Value[3] = 7.0f;
  image.AppendRecord();
  image.MeasRecord.Value[3] = 8.0f;
  EXPECT_EQ(image.ArchiveRecord(0).Value[3], 7.0f);
}

TEST(MarkerTest, ToleranceIsAbsoluteInDoublePrecision) {
  EXPECT_TRUE(IsMarker(-32767.995f, MarkerDeviceFault, LiveMarkerTolerance));
  EXPECT_FALSE(IsMarker(-32766.0f, MarkerDeviceFault, LiveMarkerTolerance));
  EXPECT_FALSE(IsMarker(-32767.995f, MarkerDeviceFault, ArchiveMarkerTolerance));
  EXPECT_TRUE(IsMarker(-32764.0f, MarkerNotConfigured, ArchiveMarkerTolerance));
}

struct DateCase {
  int y, mo, d, h, mi, s, ms;
  double value;
};

class DateTimeTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateTimeTest, EncodeAndDecodeAgree) {
  const DateCase& c = GetParam();
  const TDateTime v = EncodeDateTime({c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms});
  EXPECT_NEAR(v, c.value, 1e-9);
  const TDateTimeParts p = DecodeDateTime(v);
  EXPECT_EQ(p.Year, c.y);
  EXPECT_EQ(p.Month, c.mo);
  EXPECT_EQ(p.Day, c.d);
  EXPECT_EQ(p.Hour, c.h);
  EXPECT_EQ(p.Minute, c.mi);
  EXPECT_EQ(p.Second, c.s);
  EXPECT_EQ(p.Millisecond, c.ms);
}

INSTANTIATE_TEST_SUITE_P(Dates, DateTimeTest,
                         ::testing::Values(DateCase{1899, 12, 30, 0, 0, 0, 0, 0.0},
                                           DateCase{1900, 1, 1, 12, 0, 0, 0, 2.5},
                                           DateCase{2000, 1, 1, 0, 0, 0, 0, 36526.0},
                                           DateCase{2005, 3, 17, 14, 25, 36, 0, 38428.601111111115},
                                           DateCase{2000, 2, 29, 23, 59, 59, 999,
                                                    36585.999999988424},
                                           DateCase{2255, 12, 31, 6, 0, 0, 0, 130027.25}),
                         [](const auto& info) {
                           const DateCase& c = info.param;
                           char name[32];
                           std::snprintf(name, sizeof name, "%04d%02d%02dT%02d%02d%02d_%03d", c.y,
                                         c.mo, c.d, c.h, c.mi, c.s, c.ms);
                           return std::string(name);
                         });

TEST(DateTimeRulesTest, ValidDates) {
  EXPECT_TRUE(IsValidDate(2000, 2, 29));
  EXPECT_FALSE(IsValidDate(2100, 2, 29));
  EXPECT_FALSE(IsValidDate(2005, 13, 1));
  EXPECT_FALSE(IsValidDate(2005, 4, 31));
  EXPECT_FALSE(IsValidDate(2005, 1, 0));
  EXPECT_TRUE(IsValidTime(23, 59, 59, 0));
  EXPECT_FALSE(IsValidTime(24, 0, 0, 0));
  EXPECT_FALSE(IsValidTime(0, 60, 0, 0));
}

TEST(DateTimeRulesTest, DecodeRoundsToTheMillisecondAcrossMidnight) {
  const TDateTimeParts p = DecodeDateTime(EncodeDate(2005, 3, 17) - 1e-10);
  EXPECT_EQ(p.Day, 17);
  EXPECT_EQ(p.Hour, 0);
}

}  // namespace
