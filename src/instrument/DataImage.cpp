#include <algorithm>
#include <cstddef>
#include <cstring>

#include "instrument/DataImage.h"

TDataImage::TDataImage() {
  Reset();
  SetGroupSources(TGroupSource::Initial);
}

bool TDataImage::GroupKnown(int group) const {
  return IsParameterGroup(group) && GroupSource[group] != TGroupSource::NotRead;
}

void TDataImage::ForgetReadGroups() {
  for (int g = FirstGroup; g <= LastGroup; ++g)
    if (GroupSource[g] == TGroupSource::Read || GroupSource[g] == TGroupSource::Initial)
      GroupSource[g] = TGroupSource::NotRead;
}

void TDataImage::SetGroupSources(TGroupSource source) {
  for (int g = FirstGroup; g <= LastGroup; ++g) GroupSource[g] = source;
  std::memset(EditedBits, 0, sizeof EditedBits);
}

bool TDataImage::AnyGroupFrom(TGroupSource source) const {
  for (int g = FirstGroup; g <= LastGroup; ++g)
    if (GroupSource[g] == source) return true;
  return false;
}

void TDataImage::MarkEdited(const void* field, size_t size, uint8_t bits) {
  const auto* at = static_cast<const uint8_t*>(field);
  if (at < ConfigBlockBytes() || at + size > ConfigBlockBytes() + ConfigBlockSize) return;
  const size_t offset = static_cast<size_t>(at - ConfigBlockBytes());
  for (size_t i = 0; i < size; ++i) EditedBits[offset + i] |= bits;
}

bool TDataImage::IsEdited(const void* field, size_t size, uint8_t bits) const {
  const auto* at = static_cast<const uint8_t*>(field);
  if (at < ConfigBlockBytes() || at + size > ConfigBlockBytes() + ConfigBlockSize) return false;
  const size_t offset = static_cast<size_t>(at - ConfigBlockBytes());
  for (size_t i = 0; i < size; ++i)
    if (EditedBits[offset + i] & bits) return true;
  return false;
}

void TDataImage::GroupTransferred(int group) {
  if (!IsParameterGroup(group)) return;
  GroupSource[group] = TGroupSource::Read;
  ClearEdits(group);
}

void TDataImage::ClearEdits(int group) {
  const TGroup* g = GroupByCode(static_cast<uint8_t>(group));
  if (g == nullptr || !IsParameterGroup(group)) return;
  for (const TConfigField& field : g->Fields) std::memset(EditedBits + field.Offset, 0, field.Size);
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
  SetGroupSources(TGroupSource::Reset);
}

// Records without a time cannot be placed among the others by it: they follow them, the higher
// number first.
void TDataImage::SortArchive() {
  const auto timeless =
      std::stable_partition(MeasArchive.begin(), MeasArchive.end(),
                            [](const MeasurementRecord& r) { return HasDateTime(r.Time); });
  std::sort(MeasArchive.begin(), timeless,
            [](const MeasurementRecord& a, const MeasurementRecord& b) { return a.Time > b.Time; });
  std::sort(
      timeless, MeasArchive.end(),
      [](const MeasurementRecord& a, const MeasurementRecord& b) { return a.Number > b.Number; });
}
