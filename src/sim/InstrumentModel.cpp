// The register model of a simulated instrument.
#include "sim/InstrumentModel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "sim/SimClock.h"

namespace k7104sim {
namespace {

constexpr char kIdentityText[] = "VOSTRELIN!";
constexpr uint16_t kFirmwareVersion = 0x0203;
constexpr uint16_t kStateMeasuring = 129;
constexpr uint16_t kDefaultArchivePeriod = 60;

constexpr float kMarkerInstrumentFault = -32768.0f;
constexpr float kMarkerSensorFault = -32767.0f;
constexpr float kMarkerSwitchedOn = -32765.0f;
constexpr float kMarkerNotConfigured = -32764.0f;
constexpr float kMarkerColdJunctionFault = -32763.0f;

// Register blocks of the map. Written out here on purpose, apart from the configurator's group
// table (instrument/Groups.h): the tests read and write every group through the real register
// map against this model, so a wrong address on either side shows instead of being copied.
constexpr uint16_t kArchiveCurrentRegister = 10;
constexpr uint16_t kClockRegister = 11;
constexpr uint16_t kStateRegister = 97;
constexpr uint16_t kArchivePeriodRegister = 98;
constexpr uint16_t kAddressRegister = 99;
constexpr uint16_t kArchiveDepthRegister = 113;
constexpr uint16_t kSensorTypeBase = 128;
constexpr uint16_t kCommaBase = 160;
constexpr uint16_t kFilterBase = 192;
constexpr uint16_t kSetpointRelayBase = 448;
constexpr uint16_t kColdJunctionBase = 608;
constexpr uint16_t kLogicBase = 640;
constexpr uint16_t kCurrentValueBase = 768;
constexpr uint16_t kMinimumBase = 896;
constexpr uint16_t kMaximumBase = 1024;
constexpr uint16_t kSetpointBase = 1152;
constexpr uint16_t kHysteresisBase = 1664;
constexpr uint16_t kNominalPeriodRegister = 1792;
constexpr uint16_t kMeasurePeriodRegister = 1794;
constexpr uint16_t kBreakCheckCoil = 0;
constexpr uint16_t kSquareRootCoil = 32;
constexpr uint16_t kThreeWireCoil = 64;
constexpr uint16_t kRelayByComputerCoil = 96;
constexpr uint16_t kRelayTestCoil = 128;

constexpr int kMaxReadRegisters = 125;
constexpr int kMaxWriteRegisters = 123;
constexpr int kMaxReadCoils = 2000;
constexpr int kMaxWriteCoils = 1968;

// What a channel of the factory configuration measures; channels repeat the eight in turn.
struct ChannelProfile {
  uint8_t sensorType;
  uint8_t decimals;
  float minimum;
  float maximum;
  bool breakCheck;
  bool squareRoot;
  bool threeWire;
  bool thermocouple;
};

constexpr ChannelProfile kProfiles[8] = {
    {37, 1, 0.0f, 1200.0f, true, false, false, true},   // thermocouple XA(K)
    {17, 1, -50.0f, 200.0f, true, false, true, false},  // resistance thermometer 100 P
    {25, 2, 0.0f, 100.0f, false, true, false, false},   // 4-20 mA flow transmitter
    {30, 1, 0.0f, 800.0f, true, false, false, true},    // thermocouple DIN(L)
    {13, 2, -50.0f, 150.0f, true, false, true, false},  // resistance thermometer 100 P'
    {27, 3, 0.0f, 1.0f, false, false, false, false},    // voltage 0-1 V
    {41, 0, 0.0f, 900.0f, true, false, false, true},    // thermocouple J
    {0, 1, 0.0f, 100.0f, false, false, false, false},   // no sensor connected
};

bool InGroups(int value, int base, int groups, int stride, int used) {
  if (value < base || value >= base + groups * stride) return false;
  return (value - base) % stride < used;
}

uint16_t Word(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

uint16_t SwapBytes(uint16_t value) {
  return static_cast<uint16_t>(value << 8 | value >> 8);
}

float RoundTo(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return static_cast<float>(std::round(value * scale) / scale);
}

// Repeatable noise in [-1, 1] for one channel and one whole second.
double Noise(int64_t tick, int channel) {
  uint64_t x = static_cast<uint64_t>(tick) * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(channel);
  x ^= x >> 33;
  x *= 0xFF51AFD7ED558CCDull;
  x ^= x >> 33;
  return static_cast<double>(x % 20001) / 10000.0 - 1.0;
}

ServeResult Reply(std::vector<uint8_t> pdu) {
  return ServeResult{std::move(pdu), std::nullopt};
}

ServeResult Refuse(uint8_t function, uint8_t code) {
  return Reply(ExceptionPdu(function, code));
}

std::vector<uint8_t> RegistersPdu(uint8_t function, const std::vector<uint16_t>& registers) {
  std::vector<uint8_t> pdu{function, static_cast<uint8_t>(registers.size() * 2)};
  for (const uint16_t value : registers) {
    pdu.push_back(static_cast<uint8_t>(value >> 8));
    pdu.push_back(static_cast<uint8_t>(value & 0xFF));
  }
  return pdu;
}

}  // namespace

std::vector<uint8_t> ExceptionPdu(uint8_t function, uint8_t code) {
  return {static_cast<uint8_t>(function | 0x80), code};
}

InstrumentModel::InstrumentModel(const InstrumentSpec& wanted, double now)
    : address_(wanted.address), channels_(wanted.channels), relays_(wanted.relays) {
  FillDefaults(wanted);
  AnchorArchive(now);
}

void InstrumentModel::FillDefaults(const InstrumentSpec& wanted) {
  for (int k = 0; k < 5; ++k) {
    stored_[k] = static_cast<uint16_t>(kIdentityText[2 * k + 1] << 8 | kIdentityText[2 * k]);
  }
  stored_[5] = wanted.model;
  stored_[6] = kFirmwareVersion;
  stored_[7] = wanted.channels;
  stored_[8] = wanted.relays;
  stored_[kStateRegister] = kStateMeasuring;
  stored_[kArchivePeriodRegister] = kDefaultArchivePeriod;
  stored_[100] = 1;
  const int relays = RelaysPresent();
  stored_[109] = static_cast<uint16_t>(relays);                        // device fault: last relay
  stored_[110] = 1;                                                    // on at a fault
  stored_[111] = static_cast<uint16_t>(relays >= 2 ? relays - 1 : 0);  // sensor fault relay
  stored_[112] = 3;  // off at a fault, from the second occurrence
  StoreFloat(kNominalPeriodRegister, ChannelsPresent() <= 8 ? 0.5f : 1.0f);
  StoreFloat(kMeasurePeriodRegister, 0.0f);
  for (int channel = 0; channel < kMaxChannels; ++channel) FillChannelDefaults(channel);
  for (int relay = 0; relay < kMaxChannels; ++relay) {
    coils_[kRelayByComputerCoil + relay] = relay % 4 == 3;
  }
}

void InstrumentModel::FillChannelDefaults(int channel) {
  const ChannelProfile& profile = kProfiles[channel % 8];
  const int block = channel / 8;
  const float span = profile.maximum - profile.minimum;
  stored_[kSensorTypeBase + channel] = profile.sensorType;
  stored_[kCommaBase + channel] = profile.decimals;
  stored_[kFilterBase + channel] = static_cast<uint16_t>(channel % 6);
  // Thermocouples take their cold junction from the resistance thermometer of their block.
  stored_[kColdJunctionBase + channel] =
      profile.thermocouple ? static_cast<uint16_t>(block * 8 + 2) : 0;
  StoreFloat(kMinimumBase + 2 * channel, profile.minimum);
  StoreFloat(kMaximumBase + 2 * channel, profile.maximum);
  StoreFloat(kHysteresisBase + 2 * channel,
             std::max(RoundTo(span * 0.01, profile.decimals),
                      static_cast<float>(std::pow(10.0, -profile.decimals))));
  const int relays = RelaysPresent();
  for (int k = 0; k < 4; ++k) {
    const double fraction = 0.2 * (k + 1) + 0.02 * block;
    StoreFloat(kSetpointBase + 128 * k + 2 * channel,
               RoundTo(profile.minimum + span * fraction, profile.decimals));
    const bool used = profile.sensorType != 0 && relays > 0;
    stored_[kSetpointRelayBase + 32 * k + channel] =
        used ? static_cast<uint16_t>((channel + 8 * k) % (relays + 1)) : 0;
    const int condition = k >= 2 ? 1 : 0;  // the low setpoints act below, the high ones above
    const int faultAction = (channel + k) % 3;
    const int filter = channel % 2;
    stored_[kLogicBase + 32 * k + channel] =
        static_cast<uint16_t>(condition | faultAction << 1 | filter << 3);
  }
  coils_[kBreakCheckCoil + channel] = profile.breakCheck;
  coils_[kSquareRootCoil + channel] = profile.squareRoot;
  coils_[kThreeWireCoil + channel] = profile.threeWire;
}

int InstrumentModel::ChannelsPresent() const {
  return std::min<int>(channels_, kMaxChannels);
}

int InstrumentModel::RelaysPresent() const {
  return std::min<int>(relays_, kMaxChannels);
}

InstrumentModel::Access InstrumentModel::RegisterAccess(uint16_t reg) const {
  const int n = ChannelsPresent();
  if (reg <= 8 || reg == kArchiveCurrentRegister || reg == kStateRegister ||
      reg == kArchiveDepthRegister) {
    return Access::ReadOnly;
  }
  if ((reg >= kClockRegister && reg <= kClockRegister + 2) || (reg >= 98 && reg <= 104) ||
      (reg >= 109 && reg <= 112)) {
    return Access::ReadWrite;
  }
  if (InGroups(reg, kSensorTypeBase, 3, 32, n) || InGroups(reg, kSetpointRelayBase, 4, 32, n) ||
      InGroups(reg, kColdJunctionBase, 1, 32, n) || InGroups(reg, kLogicBase, 4, 32, n) ||
      InGroups(reg, kMinimumBase, 2, 128, 2 * n) || InGroups(reg, kSetpointBase, 4, 128, 2 * n) ||
      InGroups(reg, kHysteresisBase, 1, 64, 2 * n) || reg == kMeasurePeriodRegister ||
      reg == kMeasurePeriodRegister + 1) {
    return Access::ReadWrite;
  }
  if (InGroups(reg, kCurrentValueBase, 1, 64, 2 * n) || reg == kNominalPeriodRegister ||
      reg == kNominalPeriodRegister + 1) {
    return Access::ReadOnly;
  }
  return Access::None;
}

bool InstrumentModel::CoilExists(uint16_t coil) const {
  return InGroups(coil, kBreakCheckCoil, 3, 32, ChannelsPresent()) ||
         InGroups(coil, kRelayByComputerCoil, 2, 32, RelaysPresent());
}

float InstrumentModel::StoredFloat(uint16_t reg) const {
  return std::bit_cast<float>(static_cast<uint32_t>(stored_[reg + 1]) << 16 | stored_[reg]);
}

void InstrumentModel::StoreFloat(uint16_t reg, float value) {
  const auto bits = std::bit_cast<uint32_t>(value);
  stored_[reg] = static_cast<uint16_t>(bits & 0xFFFF);
  stored_[reg + 1] = static_cast<uint16_t>(bits >> 16);
}

int InstrumentModel::Decimals(int channel) const {
  return std::clamp<int>(stored_[kCommaBase + channel] & 0xFF, 0, 3);
}

// The measurement period in force: the set one, or the nominal one when none is set.
double InstrumentModel::CyclePeriodSeconds() const {
  const double measure = StoredFloat(kMeasurePeriodRegister);
  const double period = measure > 0 ? measure : StoredFloat(kNominalPeriodRegister);
  return period >= 0.01 && period <= kSecondsPerDay ? period : 1.0;
}

double InstrumentModel::LiveSeconds(double now) const {
  return liveFrozenAt_.value_or(now) * kSecondsPerDay;
}

// A slow wave around the middle of the channel's range with a little noise on top.
float InstrumentModel::ValueAt(int channel, double seconds) const {
  double low = StoredFloat(kMinimumBase + 2 * channel);
  double high = StoredFloat(kMaximumBase + 2 * channel);
  if (!std::isfinite(low) || !std::isfinite(high) || high == low) high = low + 100.0;
  const double span = high - low;
  const double period = 240.0 + 37.0 * channel;
  const double wave = std::sin(2 * std::numbers::pi * seconds / period + 0.9 * channel);
  const double noise = Noise(static_cast<int64_t>(std::floor(seconds)), channel);
  return RoundTo(low + span * (0.5 + 0.3 * wave + 0.004 * noise), Decimals(channel));
}

float InstrumentModel::LiveValue(int channel, double now) const {
  if (SensorType(channel) == 0) return kMarkerNotConfigured;
  if (frozenValues_[channel]) return *frozenValues_[channel];
  return ValueAt(channel, LiveSeconds(now));
}

// Records show the instrument's life: switched on now and then, and a sensor or the cold junction
// failing here and there.
float InstrumentModel::ArchiveValue(int channel, uint16_t record) const {
  if (SensorType(channel) == 0) return kMarkerNotConfigured;
  if (record % 50 == 1) return kMarkerSwitchedOn;
  const unsigned hash = record * 31u + static_cast<unsigned>(channel) * 17u;
  if (hash % 53 == 7) return kMarkerSensorFault;
  if (hash % 71 == 11) return kMarkerColdJunctionFault;
  if (hash % 97 == 13) return kMarkerInstrumentFault;
  return ValueAt(channel, record * 600.0);
}

double InstrumentModel::RecordTime(uint16_t record) const {
  if (const auto set = recordTimes_.find(record); set != recordTimes_.end()) return set->second;
  // Records after the current one are left from the archive's previous round.
  const int age = record <= archiveCurrent_ ? archiveCurrent_ - record
                                            : archiveCurrent_ + archiveDepth_ - record;
  const double recordPeriod =
      std::max<uint16_t>(stored_[kArchivePeriodRegister], 1) * CyclePeriodSeconds();
  const double seconds = archiveAnchor_ * kSecondsPerDay - age * recordPeriod;
  return std::round(seconds) / kSecondsPerDay;
}

void InstrumentModel::AnchorArchive(double now) {
  archiveAnchor_ = std::floor(Clock(now) * kSecondsPerDay) / kSecondsPerDay;
}

std::vector<uint16_t> InstrumentModel::InputRecord(uint16_t record, double now,
                                                   const ReadOverrides& overrides) const {
  const int n = ChannelsPresent();
  std::vector<uint16_t> registers(4 + 2 * n, 0);
  const auto putFloat = [&](int channel, float value) {
    const auto bits = std::bit_cast<uint32_t>(value);
    registers[4 + 2 * channel] = static_cast<uint16_t>(bits & 0xFFFF);
    registers[5 + 2 * channel] = static_cast<uint16_t>(bits >> 16);
  };
  const auto putTime = [&](double dateTime) {
    const auto clock = EncodeClockRegisters(dateTime);
    std::copy(clock.begin(), clock.end(), registers.begin() + 1);
  };
  if (record == 0) {
    // The last finished cycle: values and time of the latest whole measurement period.
    const double period = CyclePeriodSeconds();
    const double cycleStart = std::floor(LiveSeconds(now) / period) * period;
    putTime(cycleStart / kSecondsPerDay + clockOffset_);
    for (int channel = 0; channel < n; ++channel) {
      const bool fixed = SensorType(channel) == 0 || frozenValues_[channel].has_value();
      putFloat(channel, fixed ? LiveValue(channel, now) : ValueAt(channel, cycleStart));
    }
    return registers;
  }
  if (record <= archiveDepth_) {
    registers[0] = record;
    if (const auto raw = recordClocks_.find(record); raw != recordClocks_.end())
      std::copy(raw->second.begin(), raw->second.end(), registers.begin() + 1);
    else
      putTime(RecordTime(record));
    for (int channel = 0; channel < n; ++channel) putFloat(channel, ArchiveValue(channel, record));
  }
  if (overrides.recordNumber) registers[0] = *overrides.recordNumber;
  return registers;
}

uint16_t InstrumentModel::ReadRegister(uint16_t reg, double now,
                                       const ReadOverrides& overrides) const {
  if (reg <= 4 && overrides.unswappedIdentity) return SwapBytes(stored_[reg]);
  if (reg == 5 && overrides.modelCode) return *overrides.modelCode;
  if (reg >= kClockRegister && reg <= kClockRegister + 2) {
    return EncodeClockRegisters(Clock(now))[reg - kClockRegister];
  }
  switch (reg) {
    case kArchiveCurrentRegister:
      return archiveCurrent_;
    case kAddressRegister:
      return address_;
    case kArchiveDepthRegister:
      return archiveDepth_;
    default:
      break;
  }
  if (InGroups(reg, kCurrentValueBase, 1, 64, 2 * kMaxChannels)) {
    const int channel = (reg - kCurrentValueBase) / 2;
    const auto bits = std::bit_cast<uint32_t>(LiveValue(channel, now));
    return static_cast<uint16_t>((reg - kCurrentValueBase) % 2 ? bits >> 16 : bits & 0xFFFF);
  }
  return reg < kRegisterSpace ? stored_[reg] : 0;
}

void InstrumentModel::SetRegister(uint16_t reg, uint16_t value, double now) {
  if (reg >= kClockRegister && reg <= kClockRegister + 2) {
    auto clock = EncodeClockRegisters(Clock(now));
    clock[reg - kClockRegister] = value;
    if (const auto dateTime = DecodeClockRegisters(clock)) SetClock(*dateTime, now);
    return;
  }
  if (InGroups(reg, kCurrentValueBase, 1, 64, 2 * kMaxChannels)) {
    const int channel = (reg - kCurrentValueBase) / 2;
    auto bits = std::bit_cast<uint32_t>(LiveValue(channel, now));
    bits = (reg - kCurrentValueBase) % 2 ? (bits & 0xFFFF) | static_cast<uint32_t>(value) << 16
                                         : (bits & 0xFFFF0000u) | value;
    frozenValues_[channel] = std::bit_cast<float>(bits);
    return;
  }
  switch (reg) {
    case kArchiveCurrentRegister:
      archiveCurrent_ = value;
      return;
    case kAddressRegister:
      address_ = static_cast<uint8_t>(value);
      return;
    case kArchiveDepthRegister:
      SetArchiveDepth(value, now);
      return;
    default:
      break;
  }
  if (reg < kRegisterSpace) stored_[reg] = value;
}

void InstrumentModel::SetCoil(uint16_t coil, bool on) {
  if (coil < kCoilSpace) coils_[coil] = on;
}

void InstrumentModel::SetLiveValue(int channel, float value) {
  if (channel >= 0 && channel < kMaxChannels) frozenValues_[channel] = value;
}

void InstrumentModel::FreezeLive(bool frozen, double now) {
  if (!frozen) {
    liveFrozenAt_.reset();
  } else if (!liveFrozenAt_) {
    liveFrozenAt_ = now;
  }
}

void InstrumentModel::SetArchiveDepth(uint16_t depth, double now) {
  archiveDepth_ = depth;
  archiveCurrent_ = depth;
  AnchorArchive(now);
}

void InstrumentModel::SetArchiveRecordTime(uint16_t record, double dateTime) {
  recordTimes_[record] = dateTime;
}

void InstrumentModel::SetArchiveRecordClock(uint16_t record,
                                            const std::array<uint16_t, 3>& registers) {
  recordClocks_[record] = registers;
}

// The archive follows the clock: its records keep their distance from the current one.
void InstrumentModel::SetClock(double dateTime, double now) {
  clockOffset_ = dateTime - now;
  AnchorArchive(now);
}

ServeResult InstrumentModel::Serve(const uint8_t* pdu, size_t length,
                                   const ReadOverrides& overrides, double now) {
  const uint8_t function = pdu[0];
  const uint8_t* data = pdu + 1;
  const size_t dataLength = length - 1;
  switch (function) {
    case 1:
      return ReadCoils(data, dataLength);
    case 3:
      return ReadHolding(data, dataLength, overrides, now);
    case 4:
      return ReadInput(data, dataLength, overrides, now);
    case 5:
      return WriteCoil(data, dataLength);
    case 6:
      return WriteRegister(data, dataLength, now);
    case 15:
      return WriteCoils(data, dataLength);
    case 16:
      return WriteRegisters(data, dataLength, now);
    default:
      return Refuse(function, kIllegalFunction);
  }
}

ServeResult InstrumentModel::ReadCoils(const uint8_t* data, size_t length) const {
  if (length != 4) return Refuse(1, kIllegalDataValue);
  const int first = Word(data);
  const int count = Word(data + 2);
  if (count < 1 || count > kMaxReadCoils) return Refuse(1, kIllegalDataValue);
  for (int coil = first; coil < first + count; ++coil) {
    if (coil > 0xFFFF || !CoilExists(static_cast<uint16_t>(coil))) {
      return Refuse(1, kIllegalDataAddress);
    }
  }
  std::vector<uint8_t> pdu{1, static_cast<uint8_t>((count + 7) / 8)};
  pdu.resize(2 + pdu[1], 0);
  for (int j = 0; j < count; ++j) {
    if (coils_[first + j]) pdu[2 + j / 8] |= static_cast<uint8_t>(1 << (j % 8));
  }
  return Reply(std::move(pdu));
}

ServeResult InstrumentModel::ReadHolding(const uint8_t* data, size_t length,
                                         const ReadOverrides& overrides, double now) const {
  if (length != 4) return Refuse(3, kIllegalDataValue);
  const int first = Word(data);
  const int count = Word(data + 2);
  if (count < 1 || count > kMaxReadRegisters) return Refuse(3, kIllegalDataValue);
  std::vector<uint16_t> registers;
  for (int reg = first; reg < first + count; ++reg) {
    if (reg > 0xFFFF || RegisterAccess(static_cast<uint16_t>(reg)) == Access::None) {
      return Refuse(3, kIllegalDataAddress);
    }
    registers.push_back(ReadRegister(static_cast<uint16_t>(reg), now, overrides));
  }
  return Reply(RegistersPdu(3, registers));
}

// Input register 0 starts the last finished cycle, input register k archive record k; the count
// asked for decides how many channels come with it.
ServeResult InstrumentModel::ReadInput(const uint8_t* data, size_t length,
                                       const ReadOverrides& overrides, double now) const {
  if (length != 4) return Refuse(4, kIllegalDataValue);
  const uint16_t record = Word(data);
  const int count = Word(data + 2);
  if (count < 1 || count > kMaxReadRegisters) return Refuse(4, kIllegalDataValue);
  std::vector<uint16_t> registers = InputRecord(record, now, overrides);
  if (count > static_cast<int>(registers.size())) return Refuse(4, kIllegalDataAddress);
  registers.resize(count);
  return Reply(RegistersPdu(4, registers));
}

ServeResult InstrumentModel::WriteCoil(const uint8_t* data, size_t length) {
  if (length != 4) return Refuse(5, kIllegalDataValue);
  const uint16_t coil = Word(data);
  const uint16_t value = Word(data + 2);
  if (value != 0xFF00 && value != 0x0000) return Refuse(5, kIllegalDataValue);
  if (!CoilExists(coil)) return Refuse(5, kIllegalDataAddress);
  coils_[coil] = value == 0xFF00;
  std::vector<uint8_t> pdu{5};
  pdu.insert(pdu.end(), data, data + 4);
  return Reply(std::move(pdu));
}

ServeResult InstrumentModel::WriteRegister(const uint8_t* data, size_t length, double now) {
  if (length != 4) return Refuse(6, kIllegalDataValue);
  ServeResult result;
  if (const auto refused = StoreRegisters(Word(data), {Word(data + 2)}, now, result.newAddress)) {
    return Refuse(6, *refused);
  }
  result.pdu = {6};
  result.pdu.insert(result.pdu.end(), data, data + 4);
  return result;
}

ServeResult InstrumentModel::WriteCoils(const uint8_t* data, size_t length) {
  if (length < 5) return Refuse(15, kIllegalDataValue);
  const int first = Word(data);
  const int count = Word(data + 2);
  const size_t byteCount = data[4];
  if (count < 1 || count > kMaxWriteCoils || byteCount != static_cast<size_t>((count + 7) / 8) ||
      length != 5 + byteCount) {
    return Refuse(15, kIllegalDataValue);
  }
  for (int coil = first; coil < first + count; ++coil) {
    if (coil > 0xFFFF || !CoilExists(static_cast<uint16_t>(coil))) {
      return Refuse(15, kIllegalDataAddress);
    }
  }
  for (int j = 0; j < count; ++j) coils_[first + j] = (data[5 + j / 8] >> (j % 8)) & 1;
  std::vector<uint8_t> pdu{15};
  pdu.insert(pdu.end(), data, data + 4);
  return Reply(std::move(pdu));
}

ServeResult InstrumentModel::WriteRegisters(const uint8_t* data, size_t length, double now) {
  if (length < 5) return Refuse(16, kIllegalDataValue);
  const int first = Word(data);
  const int count = Word(data + 2);
  const size_t byteCount = data[4];
  if (count < 1 || count > kMaxWriteRegisters || byteCount != static_cast<size_t>(2 * count) ||
      length != 5 + byteCount) {
    return Refuse(16, kIllegalDataValue);
  }
  std::vector<uint16_t> values;
  for (int k = 0; k < count; ++k) values.push_back(Word(data + 5 + 2 * k));
  ServeResult result;
  if (const auto refused =
          StoreRegisters(static_cast<uint16_t>(first), values, now, result.newAddress)) {
    return Refuse(16, *refused);
  }
  result.pdu = {16};
  result.pdu.insert(result.pdu.end(), data, data + 4);
  return result;
}

// All or nothing: a write that touches a register it may not write, or gives a clock or an
// address that cannot be, changes nothing.
std::optional<uint8_t> InstrumentModel::StoreRegisters(uint16_t first,
                                                       const std::vector<uint16_t>& values,
                                                       double now,
                                                       std::optional<uint8_t>& newAddress) {
  auto clock = EncodeClockRegisters(Clock(now));
  bool clockWritten = false;
  for (size_t k = 0; k < values.size(); ++k) {
    const size_t reg = first + k;
    if (reg > 0xFFFF || RegisterAccess(static_cast<uint16_t>(reg)) != Access::ReadWrite) {
      return kIllegalDataAddress;
    }
    if (reg >= kClockRegister && reg <= kClockRegister + 2u) {
      clock[reg - kClockRegister] = values[k];
      clockWritten = true;
    }
    if (reg == kAddressRegister && (values[k] < 1 || values[k] > 255)) return kIllegalDataValue;
  }
  const auto clockTime = clockWritten ? DecodeClockRegisters(clock) : std::nullopt;
  if (clockWritten && !clockTime) return kIllegalDataValue;
  for (size_t k = 0; k < values.size(); ++k) {
    const size_t reg = first + k;
    if (reg == kAddressRegister) {
      newAddress = static_cast<uint8_t>(values[k]);
    } else if (reg < kClockRegister || reg > kClockRegister + 2u) {
      stored_[reg] = values[k];
    }
  }
  if (clockTime) SetClock(*clockTime, now);
  return std::nullopt;
}

}  // namespace k7104sim
