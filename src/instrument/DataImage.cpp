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

void TDataImage::SortArchive() {
  std::sort(MeasArchive.begin(), MeasArchive.end(),
            [](const MeasurementRecord& a, const MeasurementRecord& b) { return a.Time > b.Time; });
}
