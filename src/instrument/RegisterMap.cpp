// The register map: where each piece of the data image lives in the instrument's register
// space, how it is encoded there, and the one entry point Execute that reads or writes it.
#include <algorithm>
#include <bit>
#include <cstring>

#include "instrument/Mipunit.h"

namespace {

constexpr uint8_t FnReadCoils = 1;
constexpr uint8_t FnReadHolding = 3;
constexpr uint8_t FnReadInput = 4;
constexpr uint8_t FnWriteCoils = 15;
constexpr uint8_t FnWriteRegisters = 16;

// A write operation's code is its read's code plus this.
constexpr uint8_t WriteOffset = 128;
// Attempts of one transaction of the settings write while the instrument reports busy.
constexpr int SettingsWriteAttempts = 10;

constexpr uint16_t CoilBytes(uint16_t flags) {
  return static_cast<uint16_t>((flags + 7) / 8);
}

// Register k of a read reply (data[0] is the byte count).
uint16_t RegisterAt(const uint8_t* data, int k) {
  return static_cast<uint16_t>((data[1 + 2 * k] << 8) | data[2 + 2 * k]);
}

uint8_t LowByteAt(const uint8_t* data, int k) {
  return data[2 + 2 * k];
}

// Two registers, the low half of the single first.
float FloatAt(const uint8_t* data, int k) {
  const uint32_t bits =
      (static_cast<uint32_t>(RegisterAt(data, k + 1)) << 16) | RegisterAt(data, k);
  return std::bit_cast<float>(bits);
}

uint8_t CoilAt(const uint8_t* data, int j) {
  return static_cast<uint8_t>((data[1 + j / 8] >> (j % 8)) & 1);
}

// Three registers: (month, year - 2000), (hour, day), (second, minute). A value that is no date
// leaves the target as it was; a date with an impossible time stores that date at midnight.
void StoreDateTime(const uint8_t* data, int k, TDateTime& target) {
  const uint16_t a = RegisterAt(data, k);
  const uint16_t b = RegisterAt(data, k + 1);
  const uint16_t c = RegisterAt(data, k + 2);
  const int month = a >> 8, year = (a & 0xFF) + 2000;
  const int hour = b >> 8, day = b & 0xFF;
  const int second = c >> 8, minute = c & 0xFF;
  if (!IsValidDate(year, month, day)) return;
  TDateTime value = EncodeDate(year, month, day);
  if (IsValidTime(hour, minute, second, 0)) value += EncodeTime(hour, minute, second, 0);
  target = value;
}

void PutRegister(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}

uint16_t LowHalf(float v) {
  return static_cast<uint16_t>(std::bit_cast<uint32_t>(v));
}
uint16_t HighHalf(float v) {
  return static_cast<uint16_t>(std::bit_cast<uint32_t>(v) >> 16);
}

uint16_t PackDateHigh(int high, int low) {
  return static_cast<uint16_t>(((high & 0xFF) << 8) | (low & 0xFF));
}

// Setpoint logic byte: bit 0 condition, bits 1..2 fault action, bit 3 filter.
uint8_t LogicByte(uint8_t condition, uint8_t fault, uint8_t filter) {
  return static_cast<uint8_t>((condition & 1) | ((fault & 3) << 1) | ((filter & 1) << 3));
}

}  // namespace

// A group read or written holds the instrument's values from then on.
TResult TMIP::Execute(uint8_t op) {
  const bool read = op < WriteOffset;
  const TResult result = read ? ReadOperation(op) : WriteOperation(op);
  if (result == RESULT_OK) GroupTransferred(read ? op : op - WriteOffset);
  return result;
}

TResult TMIP::Transact() {
  // A broadcast gets no reply: an empty reply frame then fails every length check instead of a
  // stale reply passing for a new one.
  Bus.ReplyFrame().Length = 0;
  return Bus.Transaction();
}

TResult TMIP::ReadRegisters(uint8_t function, uint16_t first, uint16_t count,
                            uint16_t expectedLength) {
  TModBusFrame& request = Bus.RequestFrame();
  request.SetDataLength(4);
  request.SetFunction(function);
  PutRegister(request.FrameData(), first);
  PutRegister(request.FrameData() + 2, count);
  const TResult result = Transact();
  if (result != RESULT_OK) return result;
  if (Bus.ReplyFrame().DataLength() != expectedLength) return RESULT_LENGTH;
  return RESULT_OK;
}

TResult TMIP::WriteRegisters(uint16_t first, const uint16_t* values, uint16_t count) {
  TModBusFrame& request = Bus.RequestFrame();
  request.SetDataLength(static_cast<uint16_t>(5 + 2 * count));
  request.SetFunction(FnWriteRegisters);
  uint8_t* data = request.FrameData();
  PutRegister(data, first);
  PutRegister(data + 2, count);
  data[4] = static_cast<uint8_t>(2 * count);
  for (uint16_t k = 0; k < count; ++k) PutRegister(data + 5 + 2 * k, values[k]);
  return Transact();
}

TResult TMIP::WriteCoils(uint16_t first, const uint8_t* flags, uint16_t count) {
  TModBusFrame& request = Bus.RequestFrame();
  const uint16_t bytes = CoilBytes(count);
  request.SetDataLength(static_cast<uint16_t>(5 + bytes));
  request.SetFunction(FnWriteCoils);
  uint8_t* data = request.FrameData();
  PutRegister(data, first);
  PutRegister(data + 2, count);
  data[4] = static_cast<uint8_t>(bytes);
  std::memset(data + 5, 0, bytes);
  for (uint16_t j = 0; j < count; ++j) {
    if (flags[j] != 0) data[5 + j / 8] |= static_cast<uint8_t>(1 << (j % 8));
  }
  return Transact();
}

uint16_t TMIP::Channels() const {
  return std::min<uint16_t>(ChannelCount, MaxChannels);
}
uint16_t TMIP::Relays() const {
  return std::min<uint16_t>(RelayCount, MaxRelays);
}

TResult TMIP::ReadChannelBytes(uint16_t first, uint8_t* target) {
  const uint16_t n = Channels();
  const TResult r = ReadRegisters(FnReadHolding, first, n, static_cast<uint16_t>(2 * n + 1));
  if (r != RESULT_OK) return r;
  const uint8_t* data = Bus.ReplyFrame().FrameData();
  for (int i = 0; i < n; ++i) target[i] = LowByteAt(data, i);
  return RESULT_OK;
}

TResult TMIP::ReadChannelFloats(uint16_t first, TLeFloat* target) {
  const uint16_t n = Channels();
  const TResult r = ReadRegisters(FnReadHolding, first, static_cast<uint16_t>(2 * n),
                                  static_cast<uint16_t>(4 * n + 1));
  if (r != RESULT_OK) return r;
  const uint8_t* data = Bus.ReplyFrame().FrameData();
  for (int i = 0; i < n; ++i) target[i] = FloatAt(data, 2 * i);
  return RESULT_OK;
}

TResult TMIP::ReadFlags(uint16_t firstCoil, uint16_t count, uint8_t* target) {
  const TResult r =
      ReadRegisters(FnReadCoils, firstCoil, count, static_cast<uint16_t>(CoilBytes(count) + 1));
  if (r != RESULT_OK) return r;
  const uint8_t* data = Bus.ReplyFrame().FrameData();
  for (int j = 0; j < count; ++j) target[j] = CoilAt(data, j);
  return RESULT_OK;
}

TResult TMIP::ReadCurrentValues() {
  const uint16_t n = Channels();
  const TResult r = ReadRegisters(FnReadHolding, 768, static_cast<uint16_t>(2 * n),
                                  static_cast<uint16_t>(4 * n + 1));
  if (r != RESULT_OK) return r;
  const uint8_t* data = Bus.ReplyFrame().FrameData();
  for (int i = 0; i < n; ++i) CurrentValue[i] = FloatAt(data, 2 * i);
  return RESULT_OK;
}

// The last finished cycle and an archive record share one layout: a number, three date-time
// registers, then two registers per channel.
TResult TMIP::ReadRecordLayout(uint16_t first, uint16_t* number, TDateTime& time, float* values) {
  const uint16_t n = Channels();
  const TResult r = ReadRegisters(FnReadInput, first, static_cast<uint16_t>(2 * n + 4),
                                  static_cast<uint16_t>(4 * n + 9));
  if (r != RESULT_OK) return r;
  const uint8_t* data = Bus.ReplyFrame().FrameData();
  if (number != nullptr) *number = RegisterAt(data, 0);
  StoreDateTime(data, 1, time);
  for (int i = 0; i < n; ++i) values[i] = FloatAt(data, 4 + 2 * i);
  return RESULT_OK;
}

TResult TMIP::ReadFaultRelays() {
  const TResult r = ReadRegisters(FnReadHolding, 109, 4, 9);
  if (r != RESULT_OK) return r;
  const uint8_t* data = Bus.ReplyFrame().FrameData();
  Config.DeviceFaultRelay = LowByteAt(data, 0);
  Config.DeviceFaultFlags = LowByteAt(data, 1);
  Config.SensorFaultRelay = LowByteAt(data, 2);
  Config.SensorFaultFlags = LowByteAt(data, 3);
  return RESULT_OK;
}

TResult TMIP::ReadLogic(int setpoint) {
  const uint16_t n = Channels();
  const auto first = static_cast<uint16_t>(640 + 32 * setpoint);
  const TResult r = ReadRegisters(FnReadHolding, first, n, static_cast<uint16_t>(2 * n + 1));
  if (r != RESULT_OK) return r;
  const uint8_t* data = Bus.ReplyFrame().FrameData();
  for (int i = 0; i < n; ++i) {
    const uint8_t b = LowByteAt(data, i);
    Config.LogicCondition[setpoint][i] = b & 1;
    Config.LogicFault[setpoint][i] = (b >> 1) & 3;
    Config.LogicFilter[setpoint][i] = (b >> 3) & 1;
  }
  return RESULT_OK;
}

// Identity, archive depth, settings and periods; each transaction keeps what the earlier ones
// stored when a later one fails.
TResult TMIP::ReadSettings() {
  TResult r = ReadRegisters(FnReadHolding, 0, 9, 19);
  if (r != RESULT_OK) return r;
  const uint8_t* data = Bus.ReplyFrame().FrameData();
  for (int k = 0; k < 5; ++k) {
    DeviceId[2 * k] = static_cast<char>(LowByteAt(data, k));
    DeviceId[2 * k + 1] = static_cast<char>(data[1 + 2 * k]);
  }
  DeviceId[DeviceIdLength] = '\0';
  ModelCode = RegisterAt(data, 5);
  FirmwareVersion = RegisterAt(data, 6);
  DeviceChannels = RegisterAt(data, 7);
  DeviceRelays = RegisterAt(data, 8);

  r = ReadRegisters(FnReadHolding, 113, 1, 3);
  if (r != RESULT_OK) return r;
  ArchiveDepth = RegisterAt(Bus.ReplyFrame().FrameData(), 0);

  r = ReadRegisters(FnReadHolding, 97, 8, 17);
  if (r != RESULT_OK) return r;
  data = Bus.ReplyFrame().FrameData();
  DeviceState = RegisterAt(data, 0);
  Config.ArchivePeriod = RegisterAt(data, 1);
  InterfaceAddress = LowByteAt(data, 2);
  Config.Register100 = LowByteAt(data, 3);
  Config.Register101 = RegisterAt(data, 4);
  Config.Password = RegisterAt(data, 5);
  Config.Protocol = LowByteAt(data, 6);
  Config.InterfaceSpeed = LowByteAt(data, 7);

  r = ReadRegisters(FnReadHolding, 1792, 4, 9);
  if (r != RESULT_OK) return r;
  data = Bus.ReplyFrame().FrameData();
  NominalPeriod = FloatAt(data, 0);
  Config.MeasurePeriod = FloatAt(data, 2);
  return RESULT_OK;
}

TResult TMIP::ReadClock() {
  const TResult r = ReadRegisters(FnReadHolding, 10, 4, 9);
  if (r != RESULT_OK) return r;
  const uint8_t* data = Bus.ReplyFrame().FrameData();
  ArchiveCurrent = RegisterAt(data, 0);
  StoreDateTime(data, 1, DeviceClock);
  return RESULT_OK;
}

TResult TMIP::ReadState() {
  TResult r = ReadRegisters(FnReadHolding, 10, 1, 3);
  if (r != RESULT_OK) return r;
  ArchiveCurrent = RegisterAt(Bus.ReplyFrame().FrameData(), 0);
  r = ReadRegisters(FnReadHolding, 97, 1, 3);
  if (r != RESULT_OK) return r;
  DeviceState = RegisterAt(Bus.ReplyFrame().FrameData(), 0);
  return RESULT_OK;
}

TResult TMIP::ReadOperation(uint8_t op) {
  TConfigBlock& c = Config;
  switch (op) {
    case 0:
      return ReadCurrentValues();
    case 1:
      return ReadRecordLayout(0, nullptr, LastCycleTime, LastCycleValue);
    case 2:
      return ReadChannelBytes(128, c.TypeSensor);
    case 3:
      return ReadFlags(64, Channels(), c.ThreeWire);
    case 4:
      return ReadFlags(0, Channels(), c.BreakCheck);
    case 5:
      return ReadChannelBytes(608, c.KXC);
    case 6:
      return ReadFlags(32, Channels(), c.SquareRoot);
    case 7:
      return ReadChannelBytes(192, c.Filter);
    case 8:
      return ReadChannelBytes(160, c.Comma);
    case 9:
      return ReadChannelFloats(896, c.Minimum);
    case 10:
      return ReadChannelFloats(1024, c.Maximum);
    case 11:
    case 12:
    case 13:
    case 14:
      return ReadChannelFloats(static_cast<uint16_t>(1152 + 128 * (op - 11)), c.Setpoint[op - 11]);
    case 15:
      return ReadChannelFloats(1664, c.Hysteresis);
    case 16:
    case 17:
    case 18:
    case 19:
      return ReadChannelBytes(static_cast<uint16_t>(448 + 32 * (op - 16)),
                              c.SetpointRelay[op - 16]);
    case 20:
      return ReadFaultRelays();
    case 21:
      return ReadFlags(96, Relays(), c.RelayByComputer);
    case 22:
      return ReadFlags(128, Relays(), c.RelayTestOn);
    case 23:
    case 24:
    case 25:
    case 26:
      return ReadLogic(op - 23);
    case OpReadSettings:
      return ReadSettings();
    case OpReadClock:
      return ReadClock();
    case OpReadState:
      return ReadState();
    case OpReadRecord:
      // A record whose date is no date has no time, rather than the previous record's.
      MeasRecord.Time = NoDateTime;
      return ReadRecordLayout(RecordIndex, &MeasRecord.Number, MeasRecord.Time, MeasRecord.Value);
    default:
      return RESULT_OK;  // no operation has this code
  }
}

TResult TMIP::WriteChannelBytes(uint16_t first, const uint8_t* source) {
  const uint16_t n = Channels();
  uint16_t values[MaxChannels];
  for (int i = 0; i < n; ++i) values[i] = source[i];
  return WriteRegisters(first, values, n);
}

TResult TMIP::WriteChannelFloats(uint16_t first, const TLeFloat* source) {
  const uint16_t n = Channels();
  uint16_t values[2 * MaxChannels];
  for (int i = 0; i < n; ++i) {
    const float v = source[i];
    values[2 * i] = LowHalf(v);
    values[2 * i + 1] = HighHalf(v);
  }
  return WriteRegisters(first, values, static_cast<uint16_t>(2 * n));
}

TResult TMIP::WriteFaultRelays() {
  const uint16_t values[4] = {Config.DeviceFaultRelay, Config.DeviceFaultFlags,
                              Config.SensorFaultRelay, Config.SensorFaultFlags};
  return WriteRegisters(109, values, 4);
}

TResult TMIP::WriteLogic(int setpoint) {
  const uint16_t n = Channels();
  uint16_t values[MaxChannels];
  for (int i = 0; i < n; ++i) {
    values[i] = LogicByte(Config.LogicCondition[setpoint][i], Config.LogicFault[setpoint][i],
                          Config.LogicFilter[setpoint][i]);
  }
  return WriteRegisters(static_cast<uint16_t>(640 + 32 * setpoint), values, n);
}

TResult TMIP::WriteWhileBusy(uint16_t first, const uint16_t* values, uint16_t count) {
  TResult r = RESULT_DEVICE_BUSY;
  for (int attempt = 0; attempt < SettingsWriteAttempts && r == RESULT_DEVICE_BUSY; ++attempt) {
    r = WriteRegisters(first, values, count);
  }
  return r;
}

// Archive period, the registers 100..104 and the measurement period; the state (97) and the
// address (99) are not written here.
TResult TMIP::WriteSettings() {
  const uint16_t period = Config.ArchivePeriod;
  TResult r = WriteRegisters(98, &period, 1);
  if (r != RESULT_OK) return r;
  const uint16_t block[5] = {Config.Register100, Config.Register101, Config.Password,
                             Config.Protocol, Config.InterfaceSpeed};
  r = WriteWhileBusy(100, block, 5);
  if (r != RESULT_OK) return r;
  const float measure = Config.MeasurePeriod;
  const uint16_t halves[2] = {LowHalf(measure), HighHalf(measure)};
  return WriteWhileBusy(1794, halves, 2);
}

TResult TMIP::WriteClock() {
  const TDateTimeParts p = DecodeDateTime(DeviceClock);
  const uint16_t values[3] = {PackDateHigh(p.Month, p.Year - 2000), PackDateHigh(p.Hour, p.Day),
                              PackDateHigh(p.Second, p.Minute)};
  return WriteRegisters(11, values, 3);
}

// Refuses an address that some instrument already answers at, then moves the instrument.
TResult TMIP::ChangeAddress() {
  TModBusFrame& request = Bus.RequestFrame();
  request.SetAddress(InterfaceAddress);
  request.SetDataLength(4);
  request.SetFunction(FnReadHolding);
  PutRegister(request.FrameData(), 0);
  PutRegister(request.FrameData() + 2, 1);
  const TResult probe = Transact();
  // Any answer from the new address, an exception or a reply that makes no sense included, means
  // a device is there: moving onto it would put two devices on one address. Only silence or a
  // broken reply lets the move go on.
  if (probe == RESULT_OK || Bus.LastTrace().Answered) return RESULT_ADDRESS_IN_USE;
  if (probe != RESULT_TIMEOUT && probe != RESULT_CRC && probe != RESULT_LENGTH) return probe;
  request.SetAddress(Address);
  const uint16_t value = InterfaceAddress;
  return WriteRegisters(99, &value, 1);
}

TResult TMIP::WriteOperation(uint8_t op) {
  const TConfigBlock& c = Config;
  switch (op) {
    case 130:
      return WriteChannelBytes(128, c.TypeSensor);
    case 131:
      return WriteCoils(64, c.ThreeWire, Channels());
    case 132:
      return WriteCoils(0, c.BreakCheck, Channels());
    case 133:
      return WriteChannelBytes(608, c.KXC);
    case 134:
      return WriteCoils(32, c.SquareRoot, Channels());
    case 135:
      return WriteChannelBytes(192, c.Filter);
    case 136:
      return WriteChannelBytes(160, c.Comma);
    case 137:
      return WriteChannelFloats(896, c.Minimum);
    case 138:
      return WriteChannelFloats(1024, c.Maximum);
    case 139:
    case 140:
    case 141:
    case 142:
      return WriteChannelFloats(static_cast<uint16_t>(1152 + 128 * (op - 139)),
                                c.Setpoint[op - 139]);
    case 143:
      return WriteChannelFloats(1664, c.Hysteresis);
    case 144:
    case 145:
    case 146:
    case 147:
      return WriteChannelBytes(static_cast<uint16_t>(448 + 32 * (op - 144)),
                               c.SetpointRelay[op - 144]);
    case 148:
      return WriteFaultRelays();
    case 149:
      return WriteCoils(96, c.RelayByComputer, Relays());
    case 150:
      return WriteCoils(128, c.RelayTestOn, Relays());
    case 151:
    case 152:
    case 153:
    case 154:
      return WriteLogic(op - 151);
    case OpWriteSettings:
      return WriteSettings();
    case OpWriteClock:
      return WriteClock();
    case OpChangeAddress:
      return ChangeAddress();
    default:
      return RESULT_OK;  // no operation has this code
  }
}
