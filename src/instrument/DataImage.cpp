#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "instrument/Mipunit.h"

namespace {

struct TByteRange {
  size_t Offset;
  size_t Size;
};

#define K7104_FIELD(name)                                    \
  TByteRange {                                               \
    offsetof(TConfigBlock, name), sizeof(TConfigBlock::name) \
  }
#define K7104_ROW(name, k)                                              \
  TByteRange {                                                          \
    offsetof(TConfigBlock, name) + (k) * sizeof(TConfigBlock::name[0]), \
        sizeof(TConfigBlock::name[0])                                   \
  }

// The configuration block bytes that a group's read and write transfer; up to three pieces.
std::array<TByteRange, 3> GroupBytes(int group) {
  switch (group) {
    case 2:
      return {K7104_FIELD(TypeSensor)};
    case 3:
      return {K7104_FIELD(ThreeWire)};
    case 4:
      return {K7104_FIELD(BreakCheck)};
    case 5:
      return {K7104_FIELD(KXC)};
    case 6:
      return {K7104_FIELD(SquareRoot)};
    case 7:
      return {K7104_FIELD(Filter)};
    case 8:
      return {K7104_FIELD(Comma)};
    case 9:
      return {K7104_FIELD(Minimum)};
    case 10:
      return {K7104_FIELD(Maximum)};
    case 11:
    case 12:
    case 13:
    case 14:
      return {K7104_ROW(Setpoint, group - 11)};
    case 15:
      return {K7104_FIELD(Hysteresis)};
    case 16:
    case 17:
    case 18:
    case 19:
      return {K7104_ROW(SetpointRelay, group - 16)};
    case 20:
      return {TByteRange{offsetof(TConfigBlock, DeviceFaultRelay), 4}};
    case 21:
      return {K7104_FIELD(RelayByComputer)};
    case 22:
      return {K7104_FIELD(RelayTestOn)};
    case 23:
    case 24:
    case 25:
    case 26:
      return {K7104_ROW(LogicCondition, group - 23), K7104_ROW(LogicFault, group - 23),
              K7104_ROW(LogicFilter, group - 23)};
    case 27:
      // ArchivePeriod .. InterfaceSpeed, the padding byte included: it is never transferred.
      return {TByteRange{offsetof(TConfigBlock, ArchivePeriod),
                         offsetof(TConfigBlock, DeviceFaultRelay) - 1}};
    default:
      return {};
  }
}

#undef K7104_FIELD
#undef K7104_ROW

bool IsGroup(int group) {
  return group >= FirstGroup && group <= LastGroup;
}

}  // namespace

TDataImage::TDataImage() {
  Reset();
  SetGroupSources(TGroupSource::Initial);
}

bool TDataImage::GroupKnown(int group) const {
  return IsGroup(group) && GroupSource[group] != TGroupSource::NotRead;
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
  if (!IsGroup(group)) return;
  GroupSource[group] = TGroupSource::Read;
  ClearEdits(group);
}

void TDataImage::ClearEdits(int group) {
  for (const TByteRange& range : GroupBytes(group))
    std::memset(EditedBits + range.Offset, 0, range.Size);
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
