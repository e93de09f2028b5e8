#include <algorithm>
#include <cstring>

#include "instrument/Mipunit.h"

TDataImage::TDataImage() {
  Reset();
}

void TDataImage::Reset() {
  std::memset(DeviceId, 0, sizeof DeviceId);
  ModelCode = 0;
  FirmwareVersion = 0;
  DeviceChannels = 0;
  DeviceRelays = 0;
  ArchiveDepth = 0;
  ArchiveCurrent = 0;
  std::fill(std::begin(CurrentValue), std::end(CurrentValue), 0.0f);
  LastCycleTime = 0;
  std::fill(std::begin(LastCycleValue), std::end(LastCycleValue), 0.0f);
  DeviceState = 0;
  InterfaceAddress = 0;
  NominalPeriod = 0;
  std::memset(ConfigBlockBytes(), 0, ConfigBlockSize);
  DeviceClock = NowLocal();
  ClearArchive();
  ChannelCount = MaxChannels;
  RelayCount = MaxRelays;
}

// Records without a time cannot be placed among the others by it: they follow them, the higher
// number first.
void TDataImage::SortArchive() {
  const auto timeless =
      std::stable_partition(MeasArchive.begin(), MeasArchive.end(),
                            [](const MeasurementRecord& r) { return HasDateTime(r.Time); });
  std::sort(MeasArchive.begin(), timeless,
            [](const MeasurementRecord& a, const MeasurementRecord& b) { return a.Time > b.Time; });
  std::sort(timeless, MeasArchive.end(), [](const MeasurementRecord& a, const MeasurementRecord& b) {
    return a.Number > b.Number;
  });
}
